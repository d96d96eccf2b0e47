// The feed service's connections: an event-driven HTTP/1.1 server (Boost.Asio
// for the sockets, Boost.Beast's parser for requests) run by a few threads. A
// connection holds a thread only while its request is being answered, never
// while it waits. It knows no routes, pages, log or metrics: it hands each
// whole request to one handler and tells one observer about each answer sent.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The short text of the server's own error answers ("not found" for 404).
const char* DefaultStatusMessage(int status);

// Answers one whole request.
using HttpHandler = std::function<void(const HttpRequest&, HttpResponse&)>;

// One answer sent (or given up on while sending): the request as far as it
// was read (an empty method when not even its head was), the status, the body
// bytes sent, and the time from the request's first byte to the answer sent.
struct HttpExchange {
  const HttpRequest& request;
  int status;
  size_t bodyBytes;
  std::chrono::steady_clock::duration took;
};
using HttpObserver = std::function<void(const HttpExchange&)>;

struct HttpServerConfig {
  std::string listenAddress = "127.0.0.1";
  int port = 0;  // 0: any free port
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
};

class HttpServer {
 public:
  // handler answers every request that could be read whole; observer (may be
  // empty) hears of every answer sent, the server's own refusals included.
  // Both are called on the server's threads, several at a time.
  HttpServer(HttpServerConfig config, HttpHandler handler, HttpObserver observer);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

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

 private:
  class Connection;
  struct Impl;

  void Accept();

  HttpServerConfig config_;
  HttpHandler handler_;
  HttpObserver observer_;
  int port_ = 0;
  std::atomic<bool> acceptFailed_{false};
  std::unique_ptr<Impl> impl_;
};
