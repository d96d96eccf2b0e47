// The feed service's HTTP server. Each connection is one chain of
// asynchronous steps on its own strand: wait for a request, read its head and
// body, answer, wait for the next. Every step has a deadline, so a client that
// sends slowly or not at all costs a socket for a bounded time and never a
// thread; requests sent ahead of their answers (pipelined) wait in the read
// buffer and are answered in order; a client that shut down its sending side
// after a request still gets the answer.
#include "feedservice/http/HttpServer.h"

// GCC with the sanitizers warns that an optional inside Beast's parser may be
// read before it is set: a false alarm in the library's own headers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <boost/asio.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "feedservice/text/Ascii.h"

namespace net = boost::asio;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;
using boost::system::error_code;

namespace {

constexpr const char* kTextType = "text/plain";

// The parser's cap on a whole head: a request line and a header block at their
// limits, with room for line ends. Which limit was passed is told from the head.
constexpr size_t kMaxHeadBytes = kMaxRequestLineBytes + kMaxHeaderBytes + 1024;
// A connection's read buffer holds a head and a body at most and what was
// read after them; bytes are read in chunks of kReadChunk.
constexpr size_t kReadBufferBytes = kMaxHeadBytes + kMaxBodyBytes + 16 * 1024;
constexpr size_t kReadChunk = 16 * 1024;
// Writing one answer may take this long.
constexpr auto kWriteTimeout = std::chrono::seconds(30);
// After a connection's last answer, what the client still sends is read and
// dropped for at most this long before the socket is closed: closing with
// unread bytes would reset the connection and could destroy the answer before
// the client has read it.
constexpr auto kLingerTimeout = std::chrono::seconds(2);

// The status line and header fields of an answer, up to the empty line.
std::string ResponseHead(const HttpResponse& res, bool keepAlive, bool http10) {
  std::string head = "HTTP/1.1 " + std::to_string(res.status) + " ";
  const auto reason = http::obsolete_reason(http::int_to_status(res.status));
  head.append(reason.data(), reason.size());
  head += "\r\n";
  if (!res.contentType.empty()) head += "Content-Type: " + res.contentType + "\r\n";
  if (res.status >= 200 && res.status != 204 && res.status != 304) {
    head += "Content-Length: " + std::to_string(res.body.size()) + "\r\n";
  }
  for (const auto& field : res.headers) head += field.first + ": " + field.second + "\r\n";
  if (!keepAlive) {
    head += "Connection: close\r\n";
  } else if (http10) {
    head += "Connection: keep-alive\r\n";
  }
  head += "\r\n";
  return head;
}

// The answer to a connection over the limits, written at once and closed.
constexpr std::string_view kTooManyConnections =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 21\r\n"
    "Connection: close\r\n\r\ntoo many connections\n";

}  // namespace

const char* DefaultStatusMessage(int status) {
  switch (status) {
    case 400:
      return "bad request";
    case 404:
      return "not found";
    case 408:
      return "request timeout";
    case 413:
      return "request body too large";
    case 414:
      return "request URI too long";
    case 431:
      return "request header fields too large";
    case 500:
      return "internal error";
    default:
      return "error";
  }
}

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& field : headers) {
    if (EqualsNoCase(field.first, name)) return field.second;
  }
  return std::string();
}

void HttpResponse::SetText(int code, const std::string& message) {
  status = code;
  contentType = kTextType;
  body = message + "\n";
}

struct HttpServer::Impl {
  // The counts come first so that they outlive the connections, which end
  // when the I/O context below is destroyed.
  std::mutex mutex;  // the counts
  size_t maxConnections = 0;
  size_t maxPerAddress = 0;
  size_t connections = 0;
  std::unordered_map<std::string, size_t> perAddress;
  // Set by Drain: no more accepting, no more waiting for further requests.
  std::atomic<bool> draining{false};
  // Connections waiting for a request, which Drain closes; before the I/O
  // context like the counts, since connections leave it as they end.
  std::mutex idleMutex;
  std::unordered_map<const Connection*, std::weak_ptr<Connection>> idle;

  net::io_context io;
  // The acceptor's handlers run on a strand of their own, so that Drain can
  // close it from another thread.
  net::strand<net::io_context::executor_type> acceptStrand{net::make_strand(io)};
  tcp::acceptor acceptor{acceptStrand};
  net::steady_timer acceptRetry{acceptStrand};

  // Counts a new connection from address in; false when a limit is reached.
  bool Admit(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = perAddress.find(address);
    const size_t fromAddress = it == perAddress.end() ? 0 : it->second;
    if (connections >= maxConnections || fromAddress >= maxPerAddress) return false;
    ++connections;
    ++perAddress[address];
    return true;
  }

  void Release(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex);
    --connections;
    const auto it = perAddress.find(address);
    if (it != perAddress.end() && --it->second == 0) perAddress.erase(it);
  }
};

class HttpServer::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(HttpServer* server, Impl* impl, tcp::socket socket, std::string address)
      : server_(server),
        impl_(impl),
        socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        address_(std::move(address)),
        buffer_(kReadBufferBytes) {}
  ~Connection() {
    SetIdle(false);
    impl_->Release(address_);
  }

  // Ends the connection if it is still waiting for a request (on its strand).
  void CloseIfIdle() {
    net::dispatch(socket_.get_executor(), [self = shared_from_this()] {
      if (self->idle_) self->Close();
    });
  }

  void Start() {
    net::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->WaitForRequest(); });
  }

 private:
  // Starts the deadline of the next step: when it passes first, the pending
  // operation is cancelled and timedOut_ tells its handler why.
  void Arm(std::chrono::steady_clock::duration limit) {
    const unsigned armed = ++deadline_;
    timedOut_ = false;
    timer_.expires_after(limit);
    timer_.async_wait([self = shared_from_this(), armed](error_code ec) {
      if (ec || armed != self->deadline_) return;
      self->timedOut_ = true;
      error_code ignored;
      self->socket_.cancel(ignored);
    });
  }

  void WaitForRequest() {
    request_ = HttpRequest();
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(kMaxHeadBytes));
    parser_->body_limit(kMaxBodyBytes);
    if (buffer_.size() > 0) {  // sent ahead of the last answer
      ReadRequest();
      return;
    }
    if (impl_->draining) return Close();
    SetIdle(true);
    Arm(server_->config_.idleTimeout);
    socket_.async_read_some(buffer_.prepare(kReadChunk),
                            [self = shared_from_this()](error_code ec, size_t n) {
                              self->SetIdle(false);
                              // Idle too long, closed by Drain, or the client is
                              // gone: nothing to answer.
                              if (ec || !self->socket_.is_open()) return self->Close();
                              self->buffer_.commit(n);
                              self->ReadRequest();
                            });
  }

  // The first byte of a request is here: its head and body must follow
  // within the request time-out.
  void ReadRequest() {
    begun_ = std::chrono::steady_clock::now();
    Arm(server_->config_.requestTimeout);
    http::async_read_header(socket_, buffer_, *parser_,
                            [self = shared_from_this()](error_code ec, size_t) {
                              ec ? self->OnReadError(ec) : self->OnHead();
                            });
  }

  // Copies what the parser has taken of the head into request_; returns the
  // size of the header fields by the limit's measure.
  size_t TakeHead() {
    const auto& message = parser_->get();
    request_.method = std::string(message.method_string());
    request_.target = std::string(message.target());
    const size_t mark = request_.target.find('?');
    request_.path = request_.target.substr(0, mark);
    if (mark != std::string::npos) request_.query = request_.target.substr(mark + 1);
    size_t headerBytes = 0;
    for (const auto& field : message) {
      request_.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
      headerBytes += field.name_string().size() + field.value().size() + 4;
    }
    return headerBytes;
  }

  void OnHead() {
    const size_t headerBytes = TakeHead();
    const unsigned version = parser_->get().version();
    if (version != 10 && version != 11) return Refuse(400);
    // Method, target, version and the blanks between them.
    if (request_.method.size() + request_.target.size() + 10 > kMaxRequestLineBytes) {
      return Refuse(414);
    }
    if (request_.headers.size() > kMaxHeaderCount || headerBytes > kMaxHeaderBytes) {
      return Refuse(431);
    }
    if (parser_->is_done()) return Answer();
    // A body is read (and dropped) so that the next request starts in step.
    http::async_read(socket_, buffer_, *parser_,
                     [self = shared_from_this()](error_code ec, size_t) {
                       ec ? self->OnReadError(ec) : self->Answer();
                     });
  }

  void OnReadError(error_code ec) {
    // For the log: a head read whole before a body failed.
    if (request_.method.empty()) TakeHead();
    if (timedOut_) return Refuse(408);
    if (ec == http::error::header_limit) return Refuse(RequestLineEnds() ? 431 : 414);
    if (ec == http::error::body_limit) return Refuse(413);
    // The client stopped sending (or shut its side) in the middle of a request.
    if (ec == http::error::partial_message) return Refuse(400);
    if (ec.category() == http::make_error_code(http::error::bad_method).category() &&
        ec != http::error::end_of_stream) {
      return Refuse(400);
    }
    Close();  // the connection failed: no one to answer
  }

  // Whether the request line of a head over the limit had ended within its
  // own limit: taken by the parser already, or its end still in the buffer.
  bool RequestLineEnds() const {
    if (!request_.method.empty()) return true;
    const auto data = buffer_.cdata();
    const char* begin = static_cast<const char*>(data.data());
    const size_t n = std::min(data.size(), kMaxRequestLineBytes + 2);
    return std::find(begin, begin + n, '\n') != begin + n;
  }

  void Answer() {
    HttpResponse res;
    server_->handler_(request_, res);
    Send(std::move(res), parser_->keep_alive());
  }

  // An answer to a request that cannot be read on: sent, then the connection ends.
  void Refuse(int status) {
    HttpResponse res;
    res.SetText(status, DefaultStatusMessage(status));
    Send(std::move(res), false);
  }

  void Send(HttpResponse res, bool keepAlive) {
    const bool head = request_.method == "HEAD";
    status_ = res.status;
    keepAlive_ = keepAlive && !impl_->draining;
    outHead_ = ResponseHead(res, keepAlive_, parser_->get().version() == 10);
    outBody_ = head ? std::string() : std::move(res.body);
    Arm(kWriteTimeout);
    const std::array<net::const_buffer, 2> buffers = {net::buffer(outHead_), net::buffer(outBody_)};
    net::async_write(socket_, buffers,
                     [self = shared_from_this()](error_code ec, size_t) { self->OnSent(ec); });
  }

  void OnSent(error_code ec) {
    if (server_->observer_) {
      server_->observer_(HttpExchange{request_, status_, outBody_.size(),
                                      std::chrono::steady_clock::now() - begun_});
    }
    outHead_.clear();
    outBody_.clear();
    if (ec) return Close();
    if (keepAlive_) return WaitForRequest();
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    Arm(kLingerTimeout);
    Drain();
  }

  void Drain() {
    buffer_.clear();
    socket_.async_read_some(
        buffer_.prepare(kReadChunk),
        [self = shared_from_this()](error_code ec, size_t) { ec ? self->Close() : self->Drain(); });
  }

  void SetIdle(bool idle) {
    if (idle_ == idle) return;
    idle_ = idle;
    std::lock_guard<std::mutex> lock(impl_->idleMutex);
    if (idle) {
      impl_->idle[this] = weak_from_this();
    } else {
      impl_->idle.erase(this);
    }
  }

  void Close() {
    error_code ignored;
    socket_.close(ignored);
    timer_.cancel();
  }

  HttpServer* server_;
  Impl* impl_;
  tcp::socket socket_;
  net::steady_timer timer_;
  const std::string address_;
  boost::beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  unsigned deadline_ = 0;
  bool timedOut_ = false;
  bool idle_ = false;
  std::chrono::steady_clock::time_point begun_ = std::chrono::steady_clock::now();
  HttpRequest request_;
  int status_ = 0;
  bool keepAlive_ = false;
  std::string outHead_, outBody_;
};

HttpServer::HttpServer(HttpServerConfig config, HttpHandler handler, HttpObserver observer)
    : config_(std::move(config)),
      handler_(std::move(handler)),
      observer_(std::move(observer)),
      impl_(std::make_unique<Impl>()) {
  impl_->maxConnections = config_.maxConnections;
  impl_->maxPerAddress = config_.maxConnectionsPerAddress;
}

HttpServer::~HttpServer() {
  Stop();
}

bool HttpServer::Bind(std::string* error) {
  error_code ec;
  tcp::resolver resolver(impl_->io);
  const auto found = resolver.resolve(config_.listenAddress, std::to_string(config_.port),
                                      tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (!ec && found.empty()) ec = net::error::host_not_found;
  tcp::acceptor& acceptor = impl_->acceptor;
  for (const auto& entry : found) {
    // SO_REUSEADDR, so a restart may reuse the port at once; never
    // SO_REUSEPORT, which would let a second service share it silently.
    ec.clear();
    acceptor.open(entry.endpoint().protocol(), ec);
    if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(entry.endpoint(), ec);
    if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (!ec) {
      port_ = acceptor.local_endpoint().port();
      // Each connection is an open file: keep room for the log, feeds and the like.
      struct rlimit files;
      if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const size_t room = files.rlim_cur > 128 ? files.rlim_cur - 64 : files.rlim_cur / 2;
        impl_->maxConnections = std::min(impl_->maxConnections, room);
      }
      return true;
    }
    error_code ignored;
    acceptor.close(ignored);
  }
  *error = "cannot listen on " + config_.listenAddress + " port " + std::to_string(config_.port) +
           ": " + ec.message();
  return false;
}

void HttpServer::Accept() {
  impl_->acceptor.async_accept(
      net::make_strand(impl_->io), [this](error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted) return;
        if (ec == net::error::bad_descriptor || ec == net::error::invalid_argument ||
            ec == net::error::not_socket || ec == net::error::operation_not_supported) {
          acceptFailed_ = true;
          impl_->io.stop();
          return;
        }
        if (ec) {
          // Out of files or memory, or a connection reset before it was taken:
          // try again shortly; the kernel keeps the waiting connections queued.
          impl_->acceptRetry.expires_after(std::chrono::milliseconds(50));
          impl_->acceptRetry.async_wait([this](error_code waited) {
            if (!waited) Accept();
          });
          return;
        }
        error_code ignored;
        const tcp::endpoint remote = socket.remote_endpoint(ignored);
        std::string address = remote.address().to_string();
        if (ignored) {
          // Gone before it was taken.
        } else if (!impl_->Admit(address)) {
          socket.non_blocking(true, ignored);
          socket.write_some(net::buffer(kTooManyConnections.data(), kTooManyConnections.size()),
                            ignored);
          socket.shutdown(tcp::socket::shutdown_send, ignored);
          // What the client has sent so far is read first: closing with unread
          // bytes would reset the connection, and the answer might be lost.
          char scratch[4096];
          for (int i = 0; i < 16 && socket.read_some(net::buffer(scratch), ignored) > 0; ++i) {
          }
          socket.close(ignored);
        } else {
          // The head and body go out in one write, but small answers must not
          // wait for the client's delayed acknowledgement of the last one.
          socket.set_option(tcp::no_delay(true), ignored);
          std::make_shared<Connection>(this, impl_.get(), std::move(socket), std::move(address))
              ->Start();
        }
        Accept();
      });
}

bool HttpServer::Run() {
  if (!impl_->acceptor.is_open()) return false;
  Accept();
  // Requests are answered on a few threads; none ever waits for a client.
  const unsigned count = std::clamp(std::thread::hardware_concurrency(), 2u, 8u);
  const auto loop = [this] {
    for (;;) {
      try {
        impl_->io.run();
        return;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "feedservice: %s\n", e.what());
      }
    }
  };
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < count; ++i) threads.emplace_back(loop);
  loop();
  for (auto& thread : threads) thread.join();
  error_code ignored;
  impl_->acceptor.close(ignored);
  return !acceptFailed_;
}

void HttpServer::Stop() {
  if (impl_) impl_->io.stop();
}

void HttpServer::Drain() {
  impl_->draining = true;
  net::post(impl_->acceptStrand, [impl = impl_.get()] {
    error_code ignored;
    impl->acceptor.close(ignored);
    impl->acceptRetry.cancel();
  });
  std::vector<std::shared_ptr<Connection>> idle;
  {
    std::lock_guard<std::mutex> lock(impl_->idleMutex);
    for (const auto& entry : impl_->idle) {
      if (auto connection = entry.second.lock()) idle.push_back(std::move(connection));
    }
  }
  for (const auto& connection : idle) connection->CloseIfIdle();
}
