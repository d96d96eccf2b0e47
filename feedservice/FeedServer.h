// The feed service's HTTP side: routes, request and connection limits and the
// access log, on an event-driven HTTP/1.1 server (Boost.Asio for the sockets,
// Boost.Beast's parser for requests) run by a few threads. A connection holds
// a thread only while its request is being answered, never while it waits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class AccessLog;
class LiveFeeds;
class ServiceMetrics;

struct FeedServerConfig {
  std::string listenAddress = "127.0.0.1";
  int port = 0;         // 0: any free port
  std::string dataDir;  // overlay files; empty: none
  // Pages from live feeds; null: the bundled sample pages. With live feeds a
  // category without sources gets a page without items.
  const LiveFeeds* live = nullptr;
  // Connections held open at a time, in all (lowered to fit the open-file
  // limit) and from one client address; one more is answered 503 and closed.
  size_t maxConnections = 4096;
  size_t maxConnectionsPerAddress = 128;
  // A connection waiting for a request (new or kept alive) is closed after
  // idleTimeout without a byte; once the first byte of a request has come,
  // its whole head (and body) must follow within requestTimeout, or it is
  // answered 408 and closed.
  std::chrono::milliseconds idleTimeout{5000};
  std::chrono::milliseconds requestTimeout{10000};
  // Seconds HTTP caches may keep a page (Cache-Control max-age).
  int maxAge = 60;
};

// Limits on a request: its request line, its header block and its body.
constexpr size_t kMaxRequestLineBytes = 8192;  // longer: 414
constexpr size_t kMaxHeaderCount = 100;        // more: 431
constexpr size_t kMaxHeaderBytes = 8192;       // more (name, value and 4 per field): 431
// Bodies are never used; one larger than this is refused with 413.
constexpr size_t kMaxBodyBytes = 64 * 1024;

// A request as a handler sees it: whole, with its body read.
struct HttpRequest {
  std::string method;
  std::string target;  // path and query as sent, still percent-encoded
  std::string path;    // the target up to '?'
  std::string query;   // the target after '?'; empty if none
  std::vector<std::pair<std::string, std::string>> headers;
  // The value of the first header field of that name (any case); empty if none.
  std::string Header(std::string_view name) const;
};

// The answer a handler fills in. Content-Length is added when sending (for
// HEAD the body's length, the body itself left out); so is Connection: close
// when the connection ends after it.
struct HttpResponse {
  int status = 200;
  std::string contentType;  // empty: no Content-Type
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // further header fields
  // A text/plain answer: message and a line feed.
  void SetText(int status, const std::string& message);
};

// Serves GET (and HEAD, with the same headers and no body) for one path.
using HttpHandler = std::function<void(const HttpRequest&, HttpResponse&)>;

class FeedServer {
 public:
  FeedServer(FeedServerConfig config, AccessLog* log);
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  // Serves GET and HEAD of path (exactly, query aside) with handler, in place
  // of any earlier handler of that path. Call before Run.
  void Route(const std::string& path, HttpHandler handler);

  // Binds and listens. False with *error when the address or port cannot be used.
  bool Bind(std::string* error);
  // The port bound (valid after Bind).
  int port() const { return port_; }
  // Accepts and serves until Stop. False if the accept loop failed by itself.
  bool Run();
  // Makes Run return; safe from any thread, also before Run has started.
  void Stop();
  // Stops accepting and closes the connections that wait for a request;
  // requests already arriving are answered (with Connection: close), and Run
  // returns once the last connection has ended. Safe from any thread, once
  // Run has started. Stop still ends everything at once.
  void Drain();

  // Answers one whole request as the routes say: 405 for methods other than
  // GET and HEAD, 404 for paths without a route.
  void Handle(const HttpRequest& req, HttpResponse& res) const;

 private:
  class Connection;
  struct Impl;

  void ServePage(const HttpRequest& req, HttpResponse& res) const;
  // The page a category's request gets, whence ("overlay", "sample", "live"),
  // and when its bytes last changed (seconds since 1970). False for an overlay
  // file that cannot be read.
  struct ResolvedPage {
    std::string body;
    int64_t lastModified = 0;
    const char* origin = "sample";
    // A live category none of whose sources has had items yet: no page to
    // give, and an empty one would replace what HTTP caches hold.
    bool unavailable = false;
  };
  bool ResolvePage(const std::string& category, ResolvedPage* page) const;
  void ServeStatusPage(HttpResponse& res) const;
  // Counts an answer sent: the request (as far as it was read), its status and
  // the time from the request's first byte to the answer sent.
  void Record(const HttpRequest& req, int status, std::chrono::steady_clock::duration took) const;
  void Accept();

  FeedServerConfig config_;
  AccessLog* log_;
  std::map<std::string, HttpHandler, std::less<>> routes_;
  // When the process started: the sample pages' bytes never change after it.
  int64_t started_ = 0;
  std::unique_ptr<ServiceMetrics> metrics_;
  int port_ = 0;
  std::atomic<bool> acceptFailed_{false};
  std::unique_ptr<Impl> impl_;
};
