// Command line of the feed service.
#pragma once

#include <string>

struct FeedOptions {
  std::string listenAddress = "127.0.0.1";
  int port = VANTREL_FEED_PORT;  // 0: any free port
  std::string portFile;          // empty: none written
  std::string dataDir;           // empty: no overlay files
  std::string accessLog;         // empty: stderr
};

enum class FeedCommand { kRun, kHelp, kError };

// Reads `[--listen ADDR] [--port N] [--port-file FILE] [--data DIR]
// [--access-log FILE] [--help]`; each option as "--opt VALUE" or "--opt=VALUE",
// a repeated option takes its last value. kError sets *error to a one-line reason.
FeedCommand ParseFeedOptions(int argc, const char* const* argv, FeedOptions* options,
                             std::string* error);

// The text --help prints.
std::string FeedUsage();
