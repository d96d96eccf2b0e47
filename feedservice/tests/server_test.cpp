// The feed service over HTTP: a server on a free loopback port, asked with
// cpp-httplib's client and, where a client must misbehave, over raw sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feedservice/http/AccessLog.h"
#include "feedservice/FeedPage.h"
#include "feedservice/FeedServer.h"
#include "feedservice/tests/support/Files.h"
#include "feedservice/text/XmlEscape.h"
#include "feedservice/http/HttpCache.h"
#include "common/ContractStrings.h"

namespace {

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

// A connection to 127.0.0.1:port from the loopback address from, so that
// clients can differ in address; -1 if it cannot be made.
int ConnectFrom(const std::string& from, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// What the server sends on fd until it closes the connection (*closed set)
// or limit has passed.
std::string ReadUntilClosed(int fd, std::chrono::milliseconds limit, bool* closed) {
  std::string text;
  *closed = false;
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) return text;
    char chunk[4096];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      *closed = true;
      return text;
    }
    text.append(chunk, static_cast<size_t>(n));
  }
}

// Whether the server has neither answered on fd nor closed it.
bool StillHeld(int fd) {
  pollfd ready{fd, POLLIN | POLLRDHUP, 0};
  return poll(&ready, 1, 0) == 0;
}

struct Answer {
  int status = 0;
  std::string body;
};

// Answers one after another in text; those of HEAD requests (bodyless) carry
// a Content-Length but no body.
std::vector<Answer> SplitAnswers(std::string_view text, const std::vector<bool>& bodyless) {
  std::vector<Answer> answers;
  while (!text.empty() && answers.size() < bodyless.size()) {
    const size_t end = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) != 0 || end == std::string_view::npos) break;
    const std::string head(text.substr(0, end));
    Answer answer;
    answer.status = std::atoi(head.c_str() + 9);
    const size_t length = head.find("\r\nContent-Length: ");
    const size_t size = length == std::string::npos || bodyless[answers.size()]
                            ? 0
                            : std::strtoul(head.c_str() + length + 18, nullptr, 10);
    answer.body = std::string(text.substr(end + 4, size));
    text.remove_prefix(std::min(text.size(), end + 4 + size));
    answers.push_back(answer);
  }
  return answers;
}

// Sockets closed when the test ends.
struct Sockets {
  ~Sockets() {
    for (int fd : fds) close(fd);
  }
  std::vector<int> fds;
};

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
    Serve(FeedServerConfig{"127.0.0.1", 0, dataDir_});
  }

  void TearDown() override {
    StopServer();
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Starts a server with config in place of the one running.
  void Serve(const FeedServerConfig& config) {
    StopServer();
    std::string error;
    server_ = std::make_unique<FeedServer>(config, &log_);
    ASSERT_TRUE(server_->Bind(&error)) << error;
    ASSERT_GT(server_->port(), 0);
    thread_ = std::thread([this] { server_->Run(); });
  }

  void StopServer() {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
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

  // A raw request from a client of its own; the answer's status and body.
  Answer Ask(const std::string& from, const std::string& request) {
    Sockets socket;
    socket.fds.push_back(ConnectFrom(from, server_->port()));
    bool closed = false;
    if (socket.fds[0] < 0 || !SendAll(socket.fds[0], request)) return Answer();
    const auto answers =
        SplitAnswers(ReadUntilClosed(socket.fds[0], std::chrono::seconds(10), &closed), {false});
    return answers.empty() ? Answer() : answers[0];
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
  // An empty name has no overlay file: ".xml" is hidden, not a category's.
  WriteFile(dataDir_ + "/.xml", "<hidden/>");
  auto empty = client.Get("/cgi-local/page?c=&o=xml");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->body, BuildFeedPage("", 0, BundledSampleHeadlines()));
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
      // Heads beyond all limits at once: which limit was passed still shows.
      {"GET", "/health", {{"X-Huge", std::string(20000, 'a')}}, 431},
      {"GET", "/cgi-local/page?c=" + std::string(20000, 'a') + "&o=xml", {}, 414},
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

// Draining for a stop: connections waiting for a request close at once (not
// at their idle deadline), a request already arriving is answered and its
// connection then closed, nothing new is accepted, and Run returns by itself.
TEST_F(FeedServerTest, DrainAnswersWhatArrivedAndClosesWaitingConnections) {
  StopServer();
  FeedServerConfig config{"127.0.0.1", 0, dataDir_};
  config.idleTimeout = std::chrono::minutes(5);
  config.requestTimeout = std::chrono::minutes(5);
  server_ = std::make_unique<FeedServer>(config, &log_);
  std::string error;
  ASSERT_TRUE(server_->Bind(&error)) << error;
  std::atomic<bool> returned{false};
  thread_ = std::thread([this, &returned] {
    server_->Run();
    returned = true;
  });
  Sockets sockets;
  const int idle = ConnectFrom("127.0.0.1", server_->port());
  const int arriving = ConnectFrom("127.0.0.1", server_->port());
  sockets.fds = {idle, arriving};
  ASSERT_GE(idle, 0);
  ASSERT_GE(arriving, 0);
  const std::string request = "GET " + PagePath("India news") + " HTTP/1.1\r\nHost: x\r\n";
  ASSERT_TRUE(SendAll(idle, request + "\r\n"));
  ASSERT_EQ(LogLines(1).size(), 1u);
  // Once the first is answered, the head of the second is in the server's hands.
  ASSERT_TRUE(SendAll(arriving, request + "\r\n" + request));
  ASSERT_EQ(LogLines(2).size(), 2u);

  server_->Drain();
  bool closed = false;
  auto answers = SplitAnswers(ReadUntilClosed(idle, std::chrono::seconds(10), &closed), {false});
  EXPECT_TRUE(closed);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].status, 200);
  bool refused = false;
  for (int i = 0; i < 500 && !refused; ++i) {
    const int fd = ConnectFrom("127.0.0.1", server_->port());
    refused = fd < 0;
    if (fd >= 0) close(fd);
    if (!refused) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(refused);
  ASSERT_TRUE(SendAll(arriving, "\r\n"));
  const std::string text = ReadUntilClosed(arriving, std::chrono::seconds(10), &closed);
  EXPECT_TRUE(closed);
  answers = SplitAnswers(text, {false, false});
  ASSERT_EQ(answers.size(), 2u) << text;
  EXPECT_EQ(answers[1].status, 200);
  EXPECT_EQ(answers[1].body, answers[0].body);
  EXPECT_NE(text.rfind("Connection: close\r\n"), std::string::npos);
  for (int i = 0; i < 500 && !returned; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(returned);
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

// While 100 clients trickle a request head a line at a time and 500 hold
// connections without sending anything, others are answered at once: 20
// single requests, five requests sent in one write (answered in order, a HEAD
// among them) and a request whose client then shuts down its sending side.
// The slow and idle clients are still connected at the end: held, not
// turned away.
TEST_F(FeedServerTest, ClientsAreAnsweredWhileSlowAndIdleOnesAreHeld) {
  struct rlimit files;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  if (files.rlim_cur < 1500) GTEST_SKIP() << "needs 1500 open files, has " << files.rlim_cur;
  FeedServerConfig config{"127.0.0.1", 0, dataDir_};
  config.idleTimeout = config.requestTimeout = std::chrono::minutes(2);  // all held to the end
  Serve(config);
  const int port = server_->port();

  Sockets idle, trickling;
  for (int i = 0; i < 500; ++i) {  // 100 per address, under the cap per address
    idle.fds.push_back(ConnectFrom("127.0.1." + std::to_string(1 + i / 100), port));
    ASSERT_GE(idle.fds.back(), 0) << i;
  }
  for (int i = 0; i < 100; ++i) {
    trickling.fds.push_back(ConnectFrom("127.0.2.1", port));
    ASSERT_TRUE(SendAll(trickling.fds.back(), "GET /health HTTP/1.1\r\n")) << i;
  }
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread trickle([&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (int line = 0; !wake.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; });
         ++line) {
      for (int fd : trickling.fds) SendAll(fd, "X-Line-" + std::to_string(line) + ": 1\r\n");
    }
  });

  for (int i = 0; i < 20; ++i) {
    const std::string name = CategoryNameTable[i * 13].text;
    const auto start = std::chrono::steady_clock::now();
    httplib::Client client = Client();
    auto res = client.Get(PagePath(name));
    ASSERT_TRUE(res) << name;
    EXPECT_EQ(res->body,
              BuildFeedPage(name, CategoryNameTable[i * 13].code, BundledSampleHeadlines()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << name;
  }

  Sockets clients;
  clients.fds.push_back(ConnectFrom("127.0.0.1", port));
  ASSERT_TRUE(SendAll(clients.fds[0],
                      "GET /health HTTP/1.1\r\n\r\n"
                      "GET " +
                          PagePath("India news") +
                          " HTTP/1.1\r\n\r\n"
                          "HEAD " +
                          PagePath("India news") +
                          " HTTP/1.1\r\n\r\n"
                          "GET /nope HTTP/1.1\r\n\r\n"
                          "GET /health/sources HTTP/1.1\r\nConnection: close\r\n\r\n"));
  bool closed = false;
  const auto pipelined = SplitAnswers(
      ReadUntilClosed(clients.fds[0], std::chrono::seconds(10), &closed), {0, 0, 1, 0, 0});
  EXPECT_TRUE(closed);
  const std::string page = BuildFeedPage("India news", 282, BundledSampleHeadlines());
  const std::vector<std::pair<int, std::string>> expected = {
      {200, "ok\n"},
      {200, page},
      {200, ""},
      {404, "not found\n"},
      {200, "no sources file: sample pages\n"}};
  ASSERT_EQ(pipelined.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(pipelined[i].status, expected[i].first) << i;
    EXPECT_EQ(pipelined[i].body, expected[i].second) << i;
  }

  clients.fds.push_back(ConnectFrom("127.0.0.1", port));
  ASSERT_TRUE(SendAll(clients.fds[1], "GET /health HTTP/1.1\r\n\r\n"));
  shutdown(clients.fds[1], SHUT_WR);
  const auto halfClosed =
      SplitAnswers(ReadUntilClosed(clients.fds[1], std::chrono::seconds(10), &closed), {false});
  EXPECT_TRUE(closed);
  ASSERT_EQ(halfClosed.size(), 1u);
  EXPECT_EQ(halfClosed[0].status, 200);
  EXPECT_EQ(halfClosed[0].body, "ok\n");

  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  wake.notify_all();
  trickle.join();
  for (int fd : idle.fds) EXPECT_TRUE(StillHeld(fd));
  for (int fd : trickling.fds) EXPECT_TRUE(StillHeld(fd));
}

// The limits that end hostile connections: a request head still incomplete
// at the deadline, though bytes keep coming, is answered 408 and closed; a
// connection idle too long is closed without a word; a client address at its
// cap gets 503 while other addresses are served, and gets served again once
// one of its connections has closed.
TEST_F(FeedServerTest, DeadlinesAndCapsEndHostileConnections) {
  FeedServerConfig config{"127.0.0.1", 0, dataDir_};
  config.idleTimeout = std::chrono::milliseconds(1500);
  config.requestTimeout = std::chrono::milliseconds(1000);
  config.maxConnectionsPerAddress = 3;
  Serve(config);
  const int port = server_->port();
  const std::string crowded = "127.0.3.1";

  Sockets held;  // the three the address may have
  for (int i = 0; i < 3; ++i) {
    held.fds.push_back(ConnectFrom(crowded, port));
    ASSERT_GE(held.fds.back(), 0);
  }
  ASSERT_TRUE(SendAll(held.fds[0], "GET /health HTTP/1.1\r\nX-A: 1\r\n"));
  const Answer refused = Ask(crowded, "GET /health HTTP/1.1\r\n\r\n");
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(refused.body, "too many connections\n");
  const Answer other = Ask("127.0.0.1", "GET /health HTTP/1.1\r\n\r\n");
  EXPECT_EQ(other.status, 200);

  std::string slow;
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) {
    SendAll(held.fds[0], "X-More: 1\r\n");
    slow += ReadUntilClosed(held.fds[0], std::chrono::milliseconds(100), &closed);
  }
  EXPECT_TRUE(closed);
  const auto timedOut = SplitAnswers(slow, {false});
  ASSERT_EQ(timedOut.size(), 1u) << slow;
  EXPECT_EQ(timedOut[0].status, 408);
  EXPECT_EQ(timedOut[0].body, "request timeout\n");
  EXPECT_EQ(ReadUntilClosed(held.fds[1], std::chrono::seconds(10), &closed), "");
  EXPECT_TRUE(closed);

  // Both closed by the server: the address is under its cap again (polled:
  // the count is given back once the server has noticed).
  Answer again;
  for (int i = 0; i < 250 && again.status != 200; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    again = Ask(crowded, "GET /health HTTP/1.1\r\n\r\n");
  }
  EXPECT_EQ(again.status, 200);
  EXPECT_EQ(again.body, "ok\n");
  bool logged = false;
  for (const std::string& line : LogLines(3)) logged |= line.find(" 408 16 ") != std::string::npos;
  EXPECT_TRUE(logged);
}

}  // namespace
