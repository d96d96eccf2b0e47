// The feed service's routes: the pages (overlay, sample or live, with their
// validators), the status page, health and metrics, on the HTTP server.
#include "feedservice/FeedServer.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>

#include "feedservice/http/AccessLog.h"
#include "feedservice/FeedPage.h"
#include "feedservice/http/HttpCache.h"
#include "feedservice/http/Query.h"
#include "feedservice/text/Ascii.h"
#include "feedservice/live/LiveFeeds.h"
#include "feedservice/Metrics.h"
#include "feedservice/live/StatusPage.h"
#include "common/ContractStrings.h"

namespace {

constexpr const char* kTextType = "text/plain";

// Reads a regular file whole, with its modification time. 1: read, 0: no such
// regular file, -1: exists but cannot be read.
int ReadOverlayFile(const std::string& path, std::string* body, int64_t* modified) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  *modified = static_cast<int64_t>(info.st_mtime);
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return -1;
  *body = text.str();
  return 1;
}

}  // namespace

FeedServer::FeedServer(FeedServerConfig config, AccessLog* log)
    : config_(std::move(config)),
      log_(log),
      started_(static_cast<int64_t>(std::time(nullptr))),
      metrics_(std::make_unique<ServiceMetrics>()),
      http_(std::make_unique<HttpServer>(
          HttpServerConfig{config_.listenAddress, config_.port, config_.maxConnections,
                           config_.maxConnectionsPerAddress, config_.idleTimeout,
                           config_.requestTimeout},
          [this](const HttpRequest& req, HttpResponse& res) { Handle(req, res); },
          [this](const HttpExchange& exchange) { Record(exchange); })) {
  Route("/health", [](const HttpRequest&, HttpResponse& res) {
    res.contentType = kTextType;
    res.body = "ok\n";
  });
  Route("/health/sources", [this](const HttpRequest&, HttpResponse& res) {
    res.contentType = kTextType;
    res.body = config_.live != nullptr ? config_.live->HealthText()
                                       : std::string("no sources file: sample pages\n");
  });
  Route("/cgi-local/page",
        [this](const HttpRequest& req, HttpResponse& res) { ServePage(req, res); });
  Route("/", [this](const HttpRequest&, HttpResponse& res) { ServeStatusPage(res); });
  Route("/metrics", [this](const HttpRequest&, HttpResponse& res) {
    std::vector<SourceStatus> sources;
    if (config_.live != nullptr) sources = config_.live->Status();
    res.contentType = "text/plain; version=0.0.4; charset=utf-8";
    res.headers.emplace_back("Cache-Control", "no-store");
    res.body = metrics_->Render(config_.live != nullptr ? &sources : nullptr,
                                config_.live != nullptr ? &config_.live->fetchMetrics() : nullptr);
  });
}

FeedServer::~FeedServer() {
  Stop();
}

bool FeedServer::Bind(std::string* error) {
  return http_->Bind(error);
}

int FeedServer::port() const {
  return http_->port();
}

bool FeedServer::Run() {
  return http_->Run();
}

void FeedServer::Stop() {
  if (http_) http_->Stop();
}

void FeedServer::Drain() {
  http_->Drain();
}

void FeedServer::Route(const std::string& path, HttpHandler handler) {
  routes_[path] = std::move(handler);
}

void FeedServer::Record(const HttpExchange& exchange) const {
  const HttpRequest& req = exchange.request;
  if (log_ != nullptr) {
    log_->Write(req.method, req.target, exchange.status, exchange.bodyBytes,
                req.Header("User-Agent"));
  }
  metrics_->Request(
      MetricsRouteOf(req.path), exchange.status,
      req.method.empty() ? -1.0 : std::chrono::duration<double>(exchange.took).count());
}

void FeedServer::Handle(const HttpRequest& req, HttpResponse& res) const {
  if (req.method != "GET" && req.method != "HEAD") {
    res.headers.emplace_back("Allow", "GET, HEAD");
    res.SetText(405, "method not allowed: only GET and HEAD are served");
    return;
  }
  const auto route = routes_.find(req.path);
  if (route == routes_.end()) {
    res.SetText(404, DefaultStatusMessage(404));
    return;
  }
  try {
    route->second(req, res);
  } catch (const std::exception&) {
    res = HttpResponse();
    res.SetText(500, DefaultStatusMessage(500));
  }
}

void FeedServer::ServePage(const HttpRequest& req, HttpResponse& res) const {
  FeedQuery parsed;
  std::string error;
  if (!ParseFeedQuery(req.query, &parsed, &error)) {
    res.SetText(400, "bad request: " + error);
    return;
  }
  if (!parsed.hasCategory) {
    res.SetText(400, "bad request: parameter c (the category) is missing");
    return;
  }
  if (!parsed.hasFormat || parsed.format != "xml") {
    res.SetText(400, "bad request: parameter o must be xml");
    return;
  }
  ResolvedPage page;
  if (!ResolvePage(parsed.category, &page)) {
    res.SetText(500, "cannot read feed file for this category");
    return;
  }
  if (page.unavailable) {
    res.SetText(503, "no headlines yet: the sources of this category have not answered");
    res.headers.emplace_back("Retry-After", std::to_string(config_.live->RetryAfterSeconds()));
    res.headers.emplace_back("Cache-Control", "no-store");
    return;
  }
  metrics_->Page(page.origin);
  // A file stamped in the future (clock skew) is taken as changed now.
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  const int64_t lastModified = std::min(page.lastModified, now);
  const PageCacheHeaders cache = MakePageCacheHeaders(page.body, lastModified, config_.maxAge);
  res.headers.emplace_back("ETag", cache.etag);
  res.headers.emplace_back("Last-Modified", cache.lastModified);
  res.headers.emplace_back("Cache-Control", cache.cacheControl);
  // Several If-None-Match fields are one list.
  std::string ifNoneMatch;
  ConditionalHeaders conditional;
  for (const auto& field : req.headers) {
    if (EqualsNoCase(field.first, "If-None-Match")) {
      ifNoneMatch += (conditional.ifNoneMatch ? ", " : "") + field.second;
      conditional.ifNoneMatch = ifNoneMatch;
    } else if (EqualsNoCase(field.first, "If-Modified-Since") && !conditional.ifModifiedSince) {
      conditional.ifModifiedSince = field.second;
    }
  }
  if (IsNotModified(conditional, cache.etag, lastModified, now)) {
    res.status = 304;
    return;
  }
  res.contentType = XmlContentType(page.body);
  res.body = std::move(page.body);
}

bool FeedServer::ResolvePage(const std::string& category, ResolvedPage* page) const {
  // An empty name would be the hidden file ".xml": it has no overlay.
  if (!config_.dataDir.empty() && !category.empty()) {
    // The encoded name holds only letters, digits and "%": no path can escape
    // the data directory.
    const std::string path = config_.dataDir + "/" + EncodeCategoryName(category.c_str()) + ".xml";
    const int found = ReadOverlayFile(path, &page->body, &page->lastModified);
    if (found < 0) return false;
    if (found > 0) {
      page->origin = "overlay";
      return true;
    }
  }
  if (config_.live != nullptr) {
    const LivePageVersion version = config_.live->PageVersion(category);
    page->origin = "live";
    page->body =
        version.page ? *version.page : BuildFeedPage(category, 0, BundledSampleHeadlines());
    page->lastModified = version.page ? version.changed : started_;
    page->unavailable = version.page && !version.filled;
    return true;
  }
  page->origin = "sample";
  page->body = BuildFeedPage(category, CatalogueCodeOf(category), BundledSampleHeadlines());
  page->lastModified = started_;
  return true;
}

void FeedServer::ServeStatusPage(HttpResponse& res) const {
  std::vector<SourceStatus> sources;
  std::map<std::string, std::string> pages;
  if (config_.live != nullptr) sources = config_.live->Status();
  for (const SourceStatus& source : sources) {
    if (pages.count(source.category) != 0) continue;
    ResolvedPage page;
    if (ResolvePage(source.category, &page)) pages[source.category] = std::move(page.body);
  }
  res.contentType = "text/html; charset=utf-8";
  res.headers.emplace_back("Cache-Control", "no-store");
  res.body = RenderStatusPage(
      config_.live != nullptr, sources, pages, static_cast<int64_t>(std::time(nullptr)),
      config_.live != nullptr ? config_.live->codePage() : CodePage::Windows1252());
}
