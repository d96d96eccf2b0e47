// A loopback feed server for the service's tests: fixed documents by path,
// served on 127.0.0.1 with an optional ETag, status or hanging answer, and a
// record of the validators each request sent; extra headers per document.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class FixtureFeeds {
 public:
  // A document and how it is answered; hang: the answer is held until the
  // server is destroyed (at most 10 s).
  struct Doc {
    Doc(std::string b = "", std::string type = "application/rss+xml")
        : body(std::move(b)), contentType(std::move(type)) {}
    std::string body;
    std::string contentType;
    std::string etag;
    int status = 200;
    bool hang = false;
    std::vector<std::pair<std::string, std::string>> headers;  // sent with every answer
  };

  // Listens on a free port of 127.0.0.1 until destroyed.
  FixtureFeeds();
  // Lets hanging answers go, then stops.
  ~FixtureFeeds();
  FixtureFeeds(const FixtureFeeds&) = delete;
  FixtureFeeds& operator=(const FixtureFeeds&) = delete;

  // Serves doc at path from now on.
  void Set(const std::string& path, Doc doc);
  // The If-None-Match of each request for path so far ("" when none was sent).
  std::vector<std::string> ValidatorsSent(const std::string& path);
  // The Accept-Encoding of the last request.
  std::string AcceptEncoding();
  // The address of path on this server.
  std::string Url(const std::string& path) const;

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable released_;
  bool released = false;
  std::string acceptEncoding_;  // of the last request
  std::map<std::string, Doc> docs_;
  std::map<std::string, std::vector<std::string>> conditional_;
};
