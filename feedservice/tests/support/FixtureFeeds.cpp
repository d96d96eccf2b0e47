#include "feedservice/tests/support/FixtureFeeds.h"

#include <chrono>

FixtureFeeds::FixtureFeeds() {
  server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
    std::unique_lock<std::mutex> lock(mutex_);
    conditional_[req.path].push_back(req.get_header_value("If-None-Match"));
    acceptEncoding_ = req.get_header_value("Accept-Encoding");
    const auto it = docs_.find(req.path);
    if (it == docs_.end()) {
      res.status = 404;
      return;
    }
    const Doc doc = it->second;
    if (doc.hang) {
      released_.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
      return;
    }
    for (const auto& header : doc.headers) res.set_header(header.first, header.second);
    if (!doc.etag.empty() && req.get_header_value("If-None-Match") == doc.etag) {
      res.status = 304;
      return;
    }
    res.status = doc.status;
    if (!doc.etag.empty()) res.set_header("ETag", doc.etag);
    res.set_content(doc.body, doc.contentType.c_str());
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
}

FixtureFeeds::~FixtureFeeds() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released = true;
  }
  released_.notify_all();
  server_.stop();
  thread_.join();
}

void FixtureFeeds::Set(const std::string& path, Doc doc) {
  std::lock_guard<std::mutex> lock(mutex_);
  docs_[path] = std::move(doc);
}

std::vector<std::string> FixtureFeeds::ValidatorsSent(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return conditional_[path];
}

std::string FixtureFeeds::AcceptEncoding() {
  std::lock_guard<std::mutex> lock(mutex_);
  return acceptEncoding_;
}

std::string FixtureFeeds::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}
