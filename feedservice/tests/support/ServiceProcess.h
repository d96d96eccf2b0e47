// The feed service program (the build's binary) run by a test: started with
// its standard output and error in files, waited for through its port file,
// stopped by signal or killed however the test ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

class ServiceProcess {
 public:
  // Output goes to dir/stdout and dir/stderr.
  explicit ServiceProcess(std::string dir) : dir_(std::move(dir)) {}
  ~ServiceProcess() { Kill(); }
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts the program with args, in place of one still running. False if it
  // cannot be started.
  bool Start(const std::vector<std::string>& args);
  // The port the program wrote to portFile once listening (bounded wait); 0
  // if none came within seconds.
  static int WaitForPort(const std::string& portFile, double seconds = 10);
  // Sends sig to the running program.
  void Signal(int sig) const;
  // The exit status once the program has ended (bounded wait), -1 if it did
  // not end or did not exit normally.
  int ExitStatus(double seconds = 10);
  // Ends the program at once, if one is running.
  void Kill();

 private:
  std::string dir_;
  pid_t pid_ = 0;
};
