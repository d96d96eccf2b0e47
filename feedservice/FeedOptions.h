// Command line of the feed service.
#pragma once

#include <string>

#include "feedservice/text/CodePage.h"

struct FeedOptions {
  std::string listenAddress = "127.0.0.1";
  int port = VANTREL_FEED_PORT;  // 0: any free port
  std::string portFile;          // empty: none written
  std::string dataDir;           // empty: no overlay files
  std::string accessLog;         // empty: stderr
  std::string sources;           // OPML sources file; empty: sample pages
  std::string stateDir;          // where the live state is kept; empty: in memory
  int refreshSeconds = 900;
  int maxIntervalSeconds = 24 * 3600;
  int retrySeconds = 60;
  int connectTimeoutSeconds = 10;
  int fetchTimeoutSeconds = 30;
  long maxFeedBytes = 5 * 1024 * 1024;
  int parallel = 4;
  int maxAge = 60;                                      // seconds HTTP caches may keep a page
  const CodePage* codePage = &CodePage::Windows1252();  // of live headlines
};

enum class FeedCommand { kRun, kHelp, kError };

// Reads `[--listen ADDR] [--port N] [--port-file FILE] [--data DIR]
// [--access-log FILE] [--sources FILE] [--state DIR] [--refresh S] [--retry S] [--max-interval S]
// [--connect-timeout S] [--fetch-timeout S] [--max-feed-bytes N] [--parallel N]
// [--max-age S] [--charset NAME] [--help]`; each option as "--opt VALUE" or "--opt=VALUE",
// a repeated option takes its last value. kError sets *error to a one-line reason.
FeedCommand ParseFeedOptions(int argc, const char* const* argv, FeedOptions* options,
                             std::string* error);

// The text --help prints.
std::string FeedUsage();
