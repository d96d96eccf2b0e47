// Command-line parsing for the feed service.
#include "feedservice/FeedOptions.h"

#include <cstring>

namespace {

bool ParsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return false;
  *port = value;
  return true;
}

}  // namespace

std::string FeedUsage() {
  return "usage: feedservice [--listen ADDR] [--port N] [--port-file FILE] [--data DIR]\n"
         "                   [--access-log FILE] [--help]\n"
         "\n"
         "Serves headline pages at GET /cgi-local/page?c=<category>&o=xml.\n"
         "  --listen ADDR      address to listen on (default 127.0.0.1)\n"
         "  --port N           port, 0 for any free port (default " +
         std::to_string(VANTREL_FEED_PORT) +
         ")\n"
         "  --port-file FILE   once listening, write the port there (decimal, newline)\n"
         "  --data DIR         serve DIR/<encoded category>.xml where such a file exists\n"
         "  --access-log FILE  append one line per request (default: standard error)\n";
}

FeedCommand ParseFeedOptions(int argc, const char* const* argv, FeedOptions* options,
                             std::string* error) {
  FeedOptions result;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return FeedCommand::kHelp;
    if (arg.compare(0, 2, "--") != 0) {
      *error = "unexpected argument '" + arg + "'";
      return FeedCommand::kError;
    }
    std::string name = arg;
    std::string value;
    const size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    } else if (name == "--listen" || name == "--port" || name == "--port-file" ||
               name == "--data" || name == "--access-log") {
      if (i + 1 >= argc) {
        *error = "option " + name + " needs a value";
        return FeedCommand::kError;
      }
      value = argv[++i];
    }
    if (name == "--listen") {
      result.listenAddress = value;
    } else if (name == "--port") {
      if (!ParsePort(value, &result.port)) {
        *error = "invalid port '" + value + "' (expected 0 to 65535)";
        return FeedCommand::kError;
      }
      continue;
    } else if (name == "--port-file") {
      result.portFile = value;
    } else if (name == "--data") {
      result.dataDir = value;
    } else if (name == "--access-log") {
      result.accessLog = value;
    } else {
      *error = "unknown option '" + name + "'";
      return FeedCommand::kError;
    }
    if (value.empty()) {
      *error = "option " + name + " needs a non-empty value";
      return FeedCommand::kError;
    }
  }
  *options = std::move(result);
  return FeedCommand::kRun;
}
