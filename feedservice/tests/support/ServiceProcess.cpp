#include "feedservice/tests/support/ServiceProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

#include "feedservice/tests/support/Files.h"

extern char** environ;

bool ServiceProcess::Start(const std::vector<std::string>& args) {
  Kill();  // a program left from an earlier case that did not end
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv = {const_cast<char*>(FEEDSERVICE_EXE)};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, FEEDSERVICE_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) pid_ = 0;
  return spawned == 0;
}

int ServiceProcess::WaitForPort(const std::string& portFile, double seconds) {
  if (!WaitFor(seconds, [&] { return !ReadFile(portFile).empty(); })) return 0;
  return std::atoi(ReadFile(portFile).c_str());
}

void ServiceProcess::Signal(int sig) const {
  if (pid_ > 0) kill(pid_, sig);
}

int ServiceProcess::ExitStatus(double seconds) {
  if (pid_ <= 0) return -1;
  int status = 0;
  const bool ended = WaitFor(seconds, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
  if (!ended) return -1;
  pid_ = 0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ServiceProcess::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
}
