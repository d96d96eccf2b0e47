// Routes of the feed service: the page, a health check, and clear answers to
// every request it does not serve.
#include "feedservice/FeedServer.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstring>
#include <fstream>
#include <sstream>

#include "feedservice/AccessLog.h"
#include "feedservice/FeedPage.h"
#include "feedservice/LiveFeeds.h"
#include "ticker/core/Catalogue.h"

namespace {

constexpr const char* kXmlType = "text/xml";
constexpr const char* kTextType = "text/plain";

// Set by the pre-routing hook on the thread that serves the request: tells a
// response the library made before routing (unreadable request) from ours.
thread_local bool t_routed = false;

void SetError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(message + "\n", kTextType);
}

const char* DefaultMessage(int status) {
  switch (status) {
    case 400:
      return "bad request";
    case 404:
      return "not found";
    case 405:
      return "method not allowed";
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

// Reads a regular file whole. 1: read, 0: no such regular file, -1: exists
// but cannot be read.
int ReadOverlayFile(const std::string& path, std::string* body) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return -1;
  *body = text.str();
  return 1;
}

bool IsServedMethod(const std::string& method) {
  return method == "GET" || method == "HEAD";
}

// Methods whose body the library reads before it calls a handler.
bool IsBodyMethod(const std::string& method) {
  return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" ||
         method == "OPTIONS";
}

void RefuseMethod(httplib::Response& res) {
  res.set_header("Allow", "GET, HEAD");
  SetError(res, 405, "method not allowed: only GET and HEAD are served");
}

}  // namespace

FeedServer::FeedServer(FeedServerConfig config, AccessLog* log)
    : config_(std::move(config)), log_(log), server_(std::make_unique<httplib::Server>()) {
  httplib::Server& s = *server_;
  s.new_task_queue = [] { return new httplib::ThreadPool(32); };
  s.set_keep_alive_max_count(100);
  // The library's default on Linux is SO_REUSEPORT, which lets a second
  // service bind the same port and silently share its connections. Only
  // SO_REUSEADDR: a restart may reuse the port, a second live listener may not.
  // TCP_NODELAY (inherited by accepted sockets): the library writes head and
  // body separately, and Nagle's algorithm would hold the body back until the
  // client's delayed acknowledgement, some 40 ms per answer.
  s.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  });

  s.set_payload_max_length(kMaxBodyBytes);
  s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    t_routed = true;
    // Methods the library does not route are refused here; those that carry a
    // body are refused by the handlers below, after the library has read the
    // body, so a kept-alive connection stays in step.
    if (!IsServedMethod(req.method) && !IsBodyMethod(req.method)) {
      RefuseMethod(res);
      return httplib::Server::HandlerResponse::Handled;
    }
    size_t headerBytes = 0;
    for (const auto& header : req.headers) {
      headerBytes += header.first.size() + header.second.size() + 4;
    }
    if (req.headers.size() > kMaxHeaderCount || headerBytes > kMaxHeaderBytes) {
      SetError(res, 431, "request header fields too large");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  const auto refuse = [](const httplib::Request&, httplib::Response& res) { RefuseMethod(res); };
  s.Post(".*", refuse);
  s.Put(".*", refuse);
  s.Patch(".*", refuse);
  s.Delete(".*", refuse);
  s.Options(".*", refuse);

  s.Get("/health", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("ok\n", kTextType);
  });
  s.Get("/health/sources", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(config_.live != nullptr ? config_.live->HealthText()
                                            : std::string("no sources file: sample pages\n"),
                    kTextType);
  });
  s.Get("/cgi-local/page",
        [this](const httplib::Request& req, httplib::Response& res) { ServePage(req, res); });

  s.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
        // The flag is cleared here as well as in the logger, in case an answer
        // that cannot be sent skips the logger.
        const bool routed = t_routed;
        t_routed = false;
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        // The library answers 400 to a request it cannot take apart, before
        // routing. Of those, a well-formed request line with a method other than
        // GET or HEAD is a refused method, and one with GET or HEAD failed on a
        // header line longer than the library reads (8192 bytes).
        if (res.status == 400 && !routed && !req.target.empty() &&
            (req.version == "HTTP/1.1" || req.version == "HTTP/1.0")) {
          if (!IsServedMethod(req.method)) {
            RefuseMethod(res);
            return httplib::Server::HandlerResponse::Handled;
          }
          res.status = 431;
        }
        SetError(res, res.status, DefaultMessage(res.status));
        return httplib::Server::HandlerResponse::Handled;
      }));

  s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    const size_t bytes = req.method == "HEAD" ? 0 : res.body.size();
    if (log_ != nullptr) {
      log_->Write(req.method, req.target, res.status, bytes, req.get_header_value("User-Agent"));
    }
    t_routed = false;
  });
}

FeedServer::~FeedServer() {
  Stop();
}

bool FeedServer::Bind(std::string* error) {
  int bound = -1;
  errno = 0;
  if (config_.port == 0) {
    bound = server_->bind_to_any_port(config_.listenAddress);
  } else if (server_->bind_to_port(config_.listenAddress, config_.port)) {
    bound = config_.port;
  }
  if (bound <= 0) {
    *error = "cannot listen on " + config_.listenAddress + " port " + std::to_string(config_.port) +
             (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
  }
  port_ = bound;
  return true;
}

bool FeedServer::Run() {
  return server_->listen_after_bind();
}

void FeedServer::Stop() {
  server_->stop();
}

void FeedServer::ServePage(const httplib::Request& req, httplib::Response& res) {
  const size_t mark = req.target.find('?');
  const std::string_view query = mark == std::string::npos
                                     ? std::string_view()
                                     : std::string_view(req.target).substr(mark + 1);
  FeedQuery parsed;
  std::string error;
  if (!ParseFeedQuery(query, &parsed, &error)) {
    SetError(res, 400, "bad request: " + error);
    return;
  }
  if (!parsed.hasCategory) {
    SetError(res, 400, "bad request: parameter c (the category) is missing");
    return;
  }
  if (!parsed.hasFormat || parsed.format != "xml") {
    SetError(res, 400, "bad request: parameter o must be xml");
    return;
  }
  if (!config_.dataDir.empty()) {
    // The encoded name holds only letters, digits and "%": no path can escape
    // the data directory.
    const std::string path =
        config_.dataDir + "/" + EncodeCategoryName(parsed.category.c_str()) + ".xml";
    std::string body;
    const int found = ReadOverlayFile(path, &body);
    if (found < 0) {
      SetError(res, 500, "cannot read feed file for this category");
      return;
    }
    if (found > 0) {
      res.set_content(body, kXmlType);
      return;
    }
  }
  if (config_.live != nullptr) {
    const std::shared_ptr<const std::string> page = config_.live->Page(parsed.category);
    res.set_content(page ? *page : BuildFeedPage(parsed.category, 0, BundledSampleHeadlines()),
                    page ? config_.live->ContentType() : kXmlType);
    return;
  }
  res.set_content(
      BuildFeedPage(parsed.category, CatalogueCodeOf(parsed.category), BundledSampleHeadlines()),
      kXmlType);
}
