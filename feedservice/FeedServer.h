// The feed service's HTTP side: routes, request limits and the access log on
// top of cpp-httplib's server and thread pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class AccessLog;
class LiveFeeds;
class ServiceMetrics;
namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

struct FeedServerConfig {
  std::string listenAddress = "127.0.0.1";
  int port = 0;         // 0: any free port
  std::string dataDir;  // overlay files; empty: none
  // Pages from live feeds; null: the bundled sample pages. With live feeds a
  // category without sources gets a page without items.
  const LiveFeeds* live = nullptr;
  // Seconds HTTP caches may keep a page (Cache-Control max-age).
  int maxAge = 60;
};

// Limits on a request's header block (the request line is limited by the
// library: longer than 8192 bytes gives 414).
constexpr size_t kMaxHeaderCount = 100;
constexpr size_t kMaxHeaderBytes = 8192;
// Bodies are never used; one larger than this is refused with 413.
constexpr size_t kMaxBodyBytes = 64 * 1024;

class FeedServer {
 public:
  FeedServer(FeedServerConfig config, AccessLog* log);
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  // Binds and listens. False with *error when the address or port cannot be used.
  bool Bind(std::string* error);
  // The port bound (valid after Bind).
  int port() const { return port_; }
  // Accepts and serves until Stop. False if the accept loop failed by itself.
  bool Run();
  // Makes Run return; safe from any thread, also before Run has started.
  void Stop();

 private:
  void ServePage(const httplib::Request& req, httplib::Response& res);
  // The page a category's request gets, whence, and when its bytes last
  // changed (seconds since 1970). False for an overlay file that cannot be read.
  struct ResolvedPage {
    std::string body;
    int64_t lastModified = 0;
    const char* origin = "sample";
  };
  bool ResolvePage(const std::string& category, ResolvedPage* page) const;

  FeedServerConfig config_;
  // When the process started: the sample pages' bytes never change after it.
  int64_t started_ = 0;
  std::unique_ptr<ServiceMetrics> metrics_;
  AccessLog* log_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
};
