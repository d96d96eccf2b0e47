// The feed service over HTTP: a server on a free loopback port, asked with
// cpp-httplib's client.
#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feedservice/AccessLog.h"
#include "feedservice/FeedPage.h"
#include "feedservice/FeedServer.h"
#include "feedservice/HttpCache.h"
#include "ticker/core/Catalogue.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string PagePath(const std::string& name) {
  return "/cgi-local/page?c=" + EncodeCategoryName(name.c_str()) + "&o=xml";
}

// A server on 127.0.0.1, any free port, with its own data directory and log.
class FeedServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/feedservice-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    dataDir_ = dir_ + "/feeds";
    logPath_ = dir_ + "/access.log";
    ASSERT_EQ(mkdir(dataDir_.c_str(), 0755), 0);
    std::string error;
    ASSERT_TRUE(log_.Open(logPath_, &error)) << error;
    server_ = std::make_unique<FeedServer>(FeedServerConfig{"127.0.0.1", 0, dataDir_}, &log_);
    ASSERT_TRUE(server_->Bind(&error)) << error;
    ASSERT_GT(server_->port(), 0);
    thread_ = std::thread([this] { server_->Run(); });
  }

  void TearDown() override {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", server_->port());
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    return client;
  }

  // The access log once it holds at least n lines (it is written after the
  // answer is sent), polled for at most five seconds.
  std::vector<std::string> LogLines(size_t n) {
    std::vector<std::string> lines;
    for (int i = 0; i < 500; ++i) {
      lines = Lines(ReadFile(logPath_));
      if (lines.size() >= n) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines;
  }

  std::string dir_, dataDir_, logPath_;
  AccessLog log_;
  std::unique_ptr<FeedServer> server_;
  std::thread thread_;
};

TEST_F(FeedServerTest, ServesEveryCatalogueCategory) {
  httplib::Client client = Client();
  for (int i = 0; i < kCategoryCount; ++i) {
    const std::string name = CategoryNameTable[i].text;
    auto res = client.Get(PagePath(name));
    ASSERT_TRUE(res) << name;
    EXPECT_EQ(res->status, 200) << name;
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml; charset=ISO-8859-1");
    EXPECT_EQ(res->body, BuildFeedPage(name, CategoryNameTable[i].code, BundledSampleHeadlines()))
        << name;
    EXPECT_NE(res->body.find("<url>http://news.example.com/"), std::string::npos) << name;
  }
}

TEST_F(FeedServerTest, OverlayFileIsServedByteForByte) {
  const std::string bytes = std::string("<url>a</url>\r\n") + '\0' + "\xFF<headline_text>b\n";
  WriteFile(dataDir_ + "/" + EncodeCategoryName("India news") + ".xml", bytes);
  WriteFile(dataDir_ + "/" + EncodeCategoryName("AT&amp;T news") + ".xml", "");
  WriteFile(dataDir_ + "/" + EncodeCategoryName("No such category") + ".xml", "<x/>");

  httplib::Client client = Client();
  struct Case {
    const char* name;
    std::string body;
  } cases[] = {{"India news", bytes}, {"AT&amp;T news", ""}, {"No such category", "<x/>"}};
  for (const Case& c : cases) {
    auto res = client.Get(PagePath(c.name));
    ASSERT_TRUE(res) << c.name;
    EXPECT_EQ(res->status, 200) << c.name;
    EXPECT_EQ(res->body, c.body) << c.name;
    EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(c.body.size()));
  }
  // Removing the file brings the generated page back at once.
  unlink((dataDir_ + "/" + EncodeCategoryName("India news") + ".xml").c_str());
  auto res = client.Get(PagePath("India news"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, BuildFeedPage("India news", 282, BundledSampleHeadlines()));
}

TEST_F(FeedServerTest, UnknownCategoryGetsPageWithoutItems) {
  httplib::Client client = Client();
  // A name too long for a file name in the data directory is still answered.
  for (const std::string& name : {std::string("Nope"), std::string("india news"),
                                  std::string(3000, 'x'), std::string("<url>u</url>")}) {
    auto res = client.Get(PagePath(name));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.find("<url>"), std::string::npos);
    EXPECT_NE(res->body.find("</headlines>"), std::string::npos);
  }
}

TEST_F(FeedServerTest, BadRequestsGetTheirStatus) {
  httplib::Client client = Client();
  struct Case {
    const char* method;
    std::string path;
    httplib::Headers headers;
    int status;
  } cases[] = {
      {"GET", "/cgi-local/page?o=xml", {}, 400},
      {"GET", "/cgi-local/page?c=%zz&o=xml", {}, 400},
      {"GET", "/cgi-local/page?c=India%2&o=xml", {}, 400},
      {"GET", "/cgi-local/page?c=India%00&o=xml", {}, 400},
      {"GET", "/cgi-local/page?c=India%20news", {}, 400},
      {"GET", "/cgi-local/page?c=India%20news&o=html", {}, 400},
      {"GET", "/cgi-local/page?c=India%20news&o=xml&c=x", {}, 400},
      {"GET", "/cgi-local/page", {}, 400},
      {"GET", "/cgi-local/pages?c=India%20news&o=xml", {}, 404},
      {"GET", "/index.html", {}, 404},
      {"POST", "/cgi-local/page?c=India%20news&o=xml", {}, 405},
      {"PUT", "/health", {}, 405},
      {"DELETE", "/health", {}, 405},
      {"OPTIONS", "/health", {}, 405},
      {"TRACE", "/health", {}, 405},
      {"BREW", "/health", {}, 405},
      {"GET", "/cgi-local/page?c=" + std::string(9000, 'a') + "&o=xml", {}, 414},
      {"GET", "/health", {{"X-Big", std::string(9000, 'a')}}, 431},
      {"GET", "/health", {{"X-A", std::string(5000, 'a')}, {"X-B", std::string(5000, 'b')}}, 431},
  };
  httplib::Headers many;
  for (int i = 0; i <= 100; ++i) many.emplace("X-H" + std::to_string(i), "v");
  for (const Case& c : cases) {
    httplib::Request req;
    req.method = c.method;
    req.path = c.path;
    req.headers = c.headers;
    auto res = client.send(req);
    ASSERT_TRUE(res) << c.method << " " << c.path.substr(0, 60);
    EXPECT_EQ(res->status, c.status) << c.method << " " << c.path.substr(0, 60);
    EXPECT_FALSE(res->body.empty());
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain");
  }
  auto res = client.Get("/health", many);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 431);
  // The service still answers afterwards.
  res = client.Get("/health");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "ok\n");
}

TEST_F(FeedServerTest, HeadAnswersWithoutBody) {
  httplib::Client client = Client();
  auto res = client.Head(PagePath("Europe news"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_TRUE(res->body.empty());
  EXPECT_EQ(res->get_header_value("Content-Length"),
            std::to_string(BuildFeedPage("Europe news", 276, BundledSampleHeadlines()).size()));
}

// What an HTTP cache relies on: validators that follow the page bytes, 304
// without a body for a matching condition, the full page for everything else
// (the ticker's own no-cache request among them), never a 5xx.
TEST_F(FeedServerTest, PagesCarryValidatorsAndAnswerConditionalRequests) {
  const std::string path = PagePath("India news");
  const std::string overlay = dataDir_ + "/" + EncodeCategoryName("India news") + ".xml";
  WriteFile(overlay, "<?xml version='1.0' encoding='windows-1252'?>\n<headlines>\x93</headlines>");
  const time_t now = time(nullptr);
  const struct timeval before[2] = {{now - 100, 0}, {now - 100, 0}};
  utimes(overlay.c_str(), before);
  httplib::Client client = Client();
  auto first = client.Get(path);
  ASSERT_TRUE(first);
  const std::string etag = first->get_header_value("ETag");
  const std::string modified = first->get_header_value("Last-Modified");
  EXPECT_EQ(first->get_header_value("Content-Type"), "text/xml; charset=windows-1252");
  EXPECT_EQ(first->get_header_value("Cache-Control"),
            "public, max-age=60, stale-while-revalidate=60, stale-if-error=86400");
  ASSERT_EQ(etag.front(), '"');
  int64_t modifiedAt = 0;
  ASSERT_TRUE(ParseHttpDate(modified, &modifiedAt)) << modified;
  EXPECT_EQ(modifiedAt, now - 100);

  struct Case {
    httplib::Headers headers;
    int status;
  } cases[] = {
      {{{"If-None-Match", etag}}, 304},
      {{{"If-None-Match", "\"other\", W/" + etag}}, 304},
      {{{"If-None-Match", "\"other\""}, {"If-None-Match", etag}}, 304},
      {{{"If-None-Match", "*"}}, 304},
      {{{"If-None-Match", "garbage, \"other\""}}, 200},
      {{{"If-None-Match", "\"other\""}, {"If-Modified-Since", modified}}, 200},
      {{{"If-Modified-Since", modified}}, 304},
      {{{"If-Modified-Since", "Mon, 01 Jan 2001 00:00:00 GMT"}}, 200},
      {{{"If-Modified-Since", "not a date"}}, 200},
      {{{"If-Modified-Since", "Sun, 31 Feb 2001 00:00:00 GMT"}}, 200},
      {{{"If-Modified-Since", "Fri, 01 Jan 2100 00:00:00 GMT"}}, 200},
      {{{"Cache-Control", "no-cache"}, {"Pragma", "no-cache"}}, 200},
  };
  for (const Case& c : cases) {
    const std::string label = c.headers.begin()->second;
    for (const bool head : {false, true}) {
      auto res = head ? client.Head(path, c.headers) : client.Get(path, c.headers);
      ASSERT_TRUE(res) << label;
      EXPECT_EQ(res->status, c.status) << label << (head ? " HEAD" : " GET");
      EXPECT_EQ(res->body, c.status == 200 && !head ? first->body : "") << label;
      EXPECT_EQ(res->get_header_value("ETag"), etag) << label;
      EXPECT_EQ(res->get_header_value("Last-Modified"), modified) << label;
    }
  }

  // New bytes: a new tag, and the old validators no longer hold.
  WriteFile(overlay, "<headlines>changed</headlines>");
  const struct timeval later[2] = {{now - 50, 0}, {now - 50, 0}};
  utimes(overlay.c_str(), later);
  auto changed = client.Get(path, {{"If-None-Match", etag}});
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->status, 200);
  EXPECT_EQ(changed->body, "<headlines>changed</headlines>");
  EXPECT_NE(changed->get_header_value("ETag"), etag);
  EXPECT_EQ(changed->get_header_value("Last-Modified"), FormatHttpDate(now - 50));
  EXPECT_EQ(changed->get_header_value("Content-Type"), "text/xml");
  changed = client.Get(path, {{"If-Modified-Since", modified}});
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->status, 200);

  // Every answer above is counted, by route and status.
  auto metrics = client.Get("/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_NE(
      metrics->body.find("feedservice_http_requests_total{route=\"page\",status=\"304\"} 10\n"),
      std::string::npos)
      << metrics->body;
  EXPECT_NE(metrics->body.find("feedservice_pages_served_total{origin=\"overlay\"} 27\n"),
            std::string::npos)
      << metrics->body;
}

TEST_F(FeedServerTest, ConcurrentClientsAreAllAnswered) {
  constexpr int kThreads = 8;
  constexpr int kRequests = 40;
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      httplib::Client client = Client();
      for (int i = 0; i < kRequests; ++i) {
        const int row = (t * kRequests + i) % kCategoryCount;
        auto res = client.Get(PagePath(CategoryNameTable[row].text));
        if (res && res->status == 200 &&
            res->body.find(EscapeXmlText(CategoryNameTable[row].text)) != std::string::npos) {
          ++answered;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), kThreads * kRequests);
  // One whole line per request, none torn apart by another.
  const auto lines = LogLines(kThreads * kRequests);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kRequests));
  for (const auto& line : lines) {
    EXPECT_EQ(line.rfind("GET /cgi-local/page?c=", 0), 0u) << line;
    EXPECT_NE(line.find("&o=xml 200 "), std::string::npos) << line;
  }
}

TEST_F(FeedServerTest, AccessLogLines) {
  httplib::Client client = Client();
  const std::string page = PagePath("India news");
  // Each line is awaited before the next request: lines of requests on
  // different connections may be written in either order.
  ASSERT_TRUE(client.Get(page, {{"User-Agent", "DediDodi"}}));
  ASSERT_EQ(LogLines(1).size(), 1u);
  ASSERT_TRUE(client.Head(page, {{"User-Agent", "DediDodi"}}));
  ASSERT_EQ(LogLines(2).size(), 2u);
  ASSERT_TRUE(client.Get("/cgi-local/page?c=%zz&o=xml", {{"User-Agent", "say \"hi\""}}));
  const auto lines = LogLines(3);
  ASSERT_EQ(lines.size(), 3u);
  const size_t size = BuildFeedPage("India news", 282, BundledSampleHeadlines()).size();
  EXPECT_EQ(lines[0], "GET " + page + " 200 " + std::to_string(size) + " \"DediDodi\"");
  EXPECT_EQ(lines[1], "HEAD " + page + " 200 0 \"DediDodi\"");
  EXPECT_EQ(lines[2].rfind("GET /cgi-local/page?c=%zz&o=xml 400 ", 0), 0u) << lines[2];
  EXPECT_NE(lines[2].find(" \"say \\x22hi\\x22\""), std::string::npos) << lines[2];
}

}  // namespace
