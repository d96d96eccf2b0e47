// feedservice: the local headline-feed service the ticker downloads its
// category pages from. See README.md for options and conventions.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "feedservice/AccessLog.h"
#include "feedservice/FeedOptions.h"
#include "feedservice/FeedServer.h"

namespace {

// Writes the port through a temporary file and a rename, so a reader polling
// for the file never sees it half written.
bool WritePortFile(const std::string& path, int port, std::string* error) {
  const std::string temp = path + ".tmp." + std::to_string(getpid());
  FILE* file = std::fopen(temp.c_str(), "w");
  if (file == nullptr) {
    *error = "cannot write port file " + temp + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fprintf(file, "%d\n", port) > 0;
  if (std::fclose(file) != 0 || !written) {
    *error = "cannot write port file " + temp;
    std::remove(temp.c_str());
    return false;
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "feedservice: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  FeedOptions options;
  std::string error;
  switch (ParseFeedOptions(argc, argv, &options, &error)) {
    case FeedCommand::kHelp:
      std::fputs(FeedUsage().c_str(), stdout);
      return 0;
    case FeedCommand::kError:
      std::fprintf(stderr, "feedservice: %s\n%s", error.c_str(), FeedUsage().c_str());
      return 2;
    case FeedCommand::kRun:
      break;
  }

  if (!options.dataDir.empty()) {
    struct stat info;
    if (stat(options.dataDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      return Fail("data directory " + options.dataDir + " does not exist");
    }
  }
  AccessLog log;
  if (!options.accessLog.empty() && !log.Open(options.accessLog, &error)) return Fail(error);

  // SIGINT and SIGTERM are taken by one thread with sigwait; every other
  // thread, the server's pool included, inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  FeedServer server({options.listenAddress, options.port, options.dataDir}, &log);
  if (!server.Bind(&error)) return Fail(error);
  if (!options.portFile.empty() && !WritePortFile(options.portFile, server.port(), &error)) {
    return Fail(error);
  }
  std::fprintf(stderr, "feedservice: listening on %s port %d\n", options.listenAddress.c_str(),
               server.port());

  std::thread waiter([&server, &stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
  });
  const bool ok = server.Run();
  // Wake the waiter if the server ended by itself; after a signal it is done.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!ok) return Fail("the server stopped unexpectedly");
  return 0;
}
