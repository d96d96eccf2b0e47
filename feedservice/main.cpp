// feedservice: the local headline-feed service the ticker downloads its
// category pages from. See README.md for options and conventions.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feedservice/http/AccessLog.h"
#include "feedservice/FeedOptions.h"
#include "feedservice/FeedServer.h"
#include "feedservice/live/LiveFeeds.h"
#include "feedservice/live/OpmlSources.h"

namespace {

// After SIGTERM or SIGINT the server stops accepting; requests in flight get
// this long to finish before they are cut off.
constexpr std::chrono::seconds kDrainLimit{5};

// Set once the server's Run has returned.
struct RunEnd {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;

  void Mark() {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    changed.notify_all();
  }
  bool WaitFor(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [this] { return done; });
  }
};

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

// Reads the sources file, reporting what it skipped on standard error.
bool LoadSources(const std::string& path, std::vector<FeedSource>* sources, std::string* error) {
  std::vector<std::string> warnings;
  const bool loaded = LoadOpmlSources(path, sources, &warnings, error);
  for (const std::string& w : warnings) std::fprintf(stderr, "feedservice: %s\n", w.c_str());
  return loaded;
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
  // SIGINT, SIGTERM and SIGHUP are taken by one thread with sigwait; every
  // other thread, the server's pool and the fetchers included, inherits the
  // blocked mask
  // (so it is set before the state's writer starts).
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<LiveFeeds> live;
  if (!options.sources.empty()) {
    std::vector<FeedSource> sources;
    if (!LoadSources(options.sources, &sources, &error)) return Fail(error);
    LiveFeedSettings settings;
    settings.refresh = std::chrono::seconds(options.refreshSeconds);
    settings.firstRetry = std::chrono::seconds(options.retrySeconds);
    settings.maxInterval = std::chrono::seconds(options.maxIntervalSeconds);
    settings.stateDir = options.stateDir;
    settings.limits.connectTimeout = std::chrono::seconds(options.connectTimeoutSeconds);
    settings.limits.totalTimeout = std::chrono::seconds(options.fetchTimeoutSeconds);
    settings.limits.maxBytes = static_cast<size_t>(options.maxFeedBytes);
    settings.parallel = options.parallel;
    settings.codePage = options.codePage;
    live = std::make_unique<LiveFeeds>(settings);
    live->SetSources(sources);
    std::fprintf(stderr, "feedservice: %zu feed sources from %s\n", sources.size(),
                 options.sources.c_str());
  }
  // Every client connection is an open file: allow as many as the hard limit
  // does (the server keeps its connection cap below the limit).
  struct rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  AccessLog log;
  if (!options.accessLog.empty() && !log.Open(options.accessLog, &error)) return Fail(error);

  if (live) live->Start();
  FeedServerConfig config;
  config.listenAddress = options.listenAddress;
  config.port = options.port;
  config.dataDir = options.dataDir;
  config.live = live.get();
  config.maxAge = options.maxAge;
  FeedServer server(config, &log);
  if (!server.Bind(&error)) return Fail(error);
  if (!options.portFile.empty() && !WritePortFile(options.portFile, server.port(), &error)) {
    return Fail(error);
  }
  std::fprintf(stderr, "feedservice: listening on %s port %d\n", options.listenAddress.c_str(),
               server.port());

  RunEnd runEnd;
  std::thread waiter([&server, &stopSignals, &live, &options, &runEnd] {
    int signal = 0;
    while (sigwait(&stopSignals, &signal) == 0 && signal == SIGHUP) {
      if (!live) continue;
      // A sources file that no longer reads keeps the sources in use.
      std::vector<FeedSource> sources;
      std::string error;
      if (!LoadSources(options.sources, &sources, &error)) {
        std::fprintf(stderr, "feedservice: %s; keeping the sources in use\n", error.c_str());
        continue;
      }
      live->SetSources(sources);
      std::fprintf(stderr, "feedservice: reloaded %zu feed sources\n", sources.size());
    }
    server.Drain();
    if (!runEnd.WaitFor(kDrainLimit)) {
      std::fprintf(stderr, "feedservice: requests still in flight after %lld s; ending them\n",
                   static_cast<long long>(kDrainLimit.count()));
      server.Stop();
    }
  });
  const bool ok = server.Run();
  runEnd.Mark();
  // Wake the waiter if the server ended by itself; after a signal it is done.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (live) live->Stop();
  if (!ok) return Fail("the server stopped unexpectedly");
  return 0;
}
