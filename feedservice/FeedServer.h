// The feed service's application: which page a category's request gets
// (overlay, sample or live) with its validators, the status page, health and
// metrics, as routes on the HTTP server (http/HttpServer.h), whose answers it
// writes to the access log and counts.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "feedservice/http/HttpServer.h"

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
  int port() const;
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
  // Writes an answer sent to the access log and counts it.
  void Record(const HttpExchange& exchange) const;

  FeedServerConfig config_;
  AccessLog* log_;
  std::map<std::string, HttpHandler, std::less<>> routes_;
  // When the process started: the sample pages' bytes never change after it.
  int64_t started_ = 0;
  std::unique_ptr<ServiceMetrics> metrics_;
  // Last, so that no connection outlives what its handler uses.
  std::unique_ptr<HttpServer> http_;
};
