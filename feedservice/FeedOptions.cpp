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

struct CountOption {
  const char* name;
  long max;
};

const CountOption kCountOptions[] = {
    {"--refresh", 7 * 24 * 3600}, {"--retry", 7 * 24 * 3600},    {"--max-interval", 30 * 24 * 3600},
    {"--connect-timeout", 3600},  {"--fetch-timeout", 3600},     {"--max-feed-bytes", 1L << 30},
    {"--parallel", 64},           {"--max-age", 365 * 24 * 3600}};

// The largest value of a whole-number option; 0 for any other option.
long CountMax(const std::string& name) {
  for (const CountOption& option : kCountOptions) {
    if (name == option.name) return option.max;
  }
  return 0;
}

bool IsCountOption(const std::string& name) {
  return CountMax(name) != 0;
}

// A whole number from 1 to max.
bool ParseCount(const std::string& text, long max, long* out) {
  if (text.empty() || text.size() > 10) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > max) return false;
  *out = value;
  return true;
}

// "windows-874, Shift_JIS, ..., windows-1258"; lineStart, when given, breaks
// the list into lines that begin with it.
std::string SupportedCharsets(const std::string& lineStart = "") {
  std::string names;
  size_t lineLength = 0;
  for (const CodePage* page : CodePage::All()) {
    if (!names.empty() && !lineStart.empty() && lineLength + page->name().size() > 58) {
      names += ",\n" + lineStart;
      lineLength = 0;
    } else if (!names.empty()) {
      names += ", ";
    }
    names += page->name();
    lineLength += page->name().size() + 2;
  }
  return names;
}

}  // namespace

std::string FeedUsage() {
  return "usage: feedservice [--listen ADDR] [--port N] [--port-file FILE] [--data DIR]\n"
         "                   [--access-log FILE] [--max-age S] [--sources FILE] [live-feed "
         "options]\n"
         "                   [--help]\n"
         "\n"
         "Serves headline pages at GET /cgi-local/page?c=<category>&o=xml.\n"
         "  --listen ADDR      address to listen on (default 127.0.0.1)\n"
         "  --port N           port, 0 for any free port (default " +
         std::to_string(VANTREL_FEED_PORT) +
         ")\n"
         "  --port-file FILE   once listening, write the port there (decimal, newline)\n"
         "  --data DIR         serve DIR/<encoded category>.xml where such a file exists\n"
         "  --access-log FILE  append one line per request (default: standard error)\n"
         "  --max-age S        seconds HTTP caches may keep a page (default 60)\n"
         "Live feeds (without --sources the bundled sample pages are served):\n"
         "  --sources FILE     OPML file mapping categories to RSS/Atom feeds; reread on SIGHUP\n"
         "  --refresh S        seconds between refreshes of a source (default 900)\n"
         "  --retry S          first retry after a failed fetch, doubling (default 60)\n"
         "  --max-interval S   longest a publisher's Retry-After, freshness or Gone puts a\n"
         "                     source off (default 86400)\n"
         "  --state DIR        keep items, validators and pages there (SQLite), read at start\n"
         "  --connect-timeout S  connect time-out of a fetch (default 10)\n"
         "  --fetch-timeout S  total time-out of a fetch (default 30)\n"
         "  --max-feed-bytes N largest feed read (default 5242880)\n"
         "  --parallel N       fetches at a time (default 4)\n"
         "  --charset NAME     code page of the live headlines: the ANSI code page of the\n"
         "                     readers' Windows (default windows-1252); one of\n"
         "                     " +
         SupportedCharsets("                     ") +
         "\n"
         "The ticker shows headline bytes in the ANSI code page of the Windows it runs on.\n"
         "Run one instance per reader community, each with its --charset and port, e.g.\n"
         "  feedservice --listen 0.0.0.0 --port 8643 --sources ru.opml --charset windows-1251\n"
         "and point those readers' tickers at it with the registry value FEEDHOST\n"
         "(host:port, under HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantrel).\n";
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
               name == "--data" || name == "--access-log" || name == "--sources" ||
               name == "--state" || name == "--charset" || IsCountOption(name)) {
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
    } else if (name == "--sources") {
      result.sources = value;
    } else if (name == "--state") {
      result.stateDir = value;
    } else if (name == "--charset") {
      result.codePage = CodePage::Find(value);
      if (result.codePage == nullptr) {
        *error = "unsupported --charset '" + value + "' (supported: " + SupportedCharsets() + ")";
        return FeedCommand::kError;
      }
      continue;
    } else if (IsCountOption(name)) {
      long count = 0;
      if (!ParseCount(value, CountMax(name), &count)) {
        *error = "invalid value '" + value + "' for " + name + " (expected 1 to " +
                 std::to_string(CountMax(name)) + ")";
        return FeedCommand::kError;
      }
      if (name == "--refresh") result.refreshSeconds = static_cast<int>(count);
      if (name == "--retry") result.retrySeconds = static_cast<int>(count);
      if (name == "--max-interval") result.maxIntervalSeconds = static_cast<int>(count);
      if (name == "--connect-timeout") result.connectTimeoutSeconds = static_cast<int>(count);
      if (name == "--fetch-timeout") result.fetchTimeoutSeconds = static_cast<int>(count);
      if (name == "--max-feed-bytes") result.maxFeedBytes = count;
      if (name == "--parallel") result.parallel = static_cast<int>(count);
      if (name == "--max-age") result.maxAge = static_cast<int>(count);
      continue;
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
