// The feedservice program as the test bed runs it: started with --port 0, found
// through its port file, stopped with a signal.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "feedservice/FeedServer.h"
#include "feedservice/tests/support/Files.h"
#include "feedservice/tests/support/FixtureFeeds.h"
#include "feedservice/tests/support/ServiceProcess.h"

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

class FeedServiceProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/feedservice-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(mkdir((dir_ + "/feeds").c_str(), 0755), 0);
    program_ = std::make_unique<ServiceProcess>(dir_);
  }

  void TearDown() override {
    program_.reset();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Starts the program with args, its output going to files in the test's directory.
  void Start(const std::vector<std::string>& args) { ASSERT_TRUE(program_->Start(args)); }

  int ExitStatus() { return program_->ExitStatus(); }

  std::string dir_;
  std::unique_ptr<ServiceProcess> program_;
};

TEST_F(FeedServiceProgram, PortZeroWritesPortFileAndStopsOnSignal) {
  for (int stopSignal : {SIGTERM, SIGINT}) {
    const std::string portFile = dir_ + "/port";
    unlink(portFile.c_str());
    Start({"--listen", "127.0.0.1", "--port", "0", "--port-file", portFile, "--data",
           dir_ + "/feeds", "--access-log", dir_ + "/access.log"});
    ASSERT_TRUE(WaitFor(10, [&] { return !ReadFile(portFile).empty(); }));
    const std::string text = ReadFile(portFile);
    ASSERT_EQ(text.back(), '\n');
    const int port = std::atoi(text.c_str());
    ASSERT_GT(port, 0);
    ASSERT_LE(port, 65535);
    EXPECT_EQ(text, std::to_string(port) + "\n");

    httplib::Client client("127.0.0.1", port);
    auto res = client.Get("/health", {{"User-Agent", "cli-test"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "ok\n");
    ASSERT_TRUE(WaitFor(5, [&] { return !ReadFile(dir_ + "/access.log").empty(); }));
    EXPECT_EQ(ReadFile(dir_ + "/access.log"), "GET /health 200 3 \"cli-test\"\n");
    unlink((dir_ + "/access.log").c_str());

    program_->Signal(stopSignal);
    EXPECT_EQ(ExitStatus(), 0) << "signal " << stopSignal;
  }
  // Only the port file is left: the temporary name it was written under is gone.
  EXPECT_TRUE(Exists(dir_ + "/port"));
  EXPECT_EQ(std::system(("test $(ls '" + dir_ + "' | grep -c tmp) -eq 0").c_str()), 0);
}

TEST_F(FeedServiceProgram, ServesLiveFeedsAndRereadsTheSourcesFileOnHangup) {
  FixtureFeeds feeds;
  const auto rss = [](const std::string& title) {
    return FixtureFeeds::Doc("<rss><channel><item><title>" + title +
                             "</title><link>http://x.example/" + title +
                             "</link></item></channel></rss>");
  };
  feeds.Set("/a", rss("Alpha"));
  feeds.Set("/b", rss("Beta"));
  const std::string base = feeds.Url("");
  const std::string sources = dir_ + "/sources.opml";
  auto writeSources = [&](const std::string& body) {
    std::ofstream(sources) << "<opml version=\"2.0\"><body>" << body << "</body></opml>\n";
  };
  writeSources("<outline text=\"India news\"><outline xmlUrl=\"" + base + "/a\"/></outline>");

  const std::string portFile = dir_ + "/port";
  Start({"--port", "0", "--port-file", portFile, "--sources", sources, "--access-log",
         dir_ + "/access.log"});
  const int port = ServiceProcess::WaitForPort(portFile);
  ASSERT_GT(port, 0);
  httplib::Client client("127.0.0.1", port);
  auto pageHas = [&](const char* query, const char* text) {
    auto res = client.Get((std::string("/cgi-local/page?") + query + "&o=xml").c_str());
    return res && res->body.find(text) != std::string::npos;
  };
  EXPECT_TRUE(WaitFor(10, [&] { return pageHas("c=India%20news", "<headline_text>Alpha<"); }));

  writeSources("<outline text=\"India news\"><outline xmlUrl=\"" + base +
               "/a\"/></outline><outline text=\"Top stories\"><outline xmlUrl=\"" + base +
               "/b\"/></outline>");
  program_->Signal(SIGHUP);
  EXPECT_TRUE(WaitFor(10, [&] { return pageHas("c=Top%20stories", "<headline_text>Beta<"); }));

  writeSources("<outline text=\"India news\">");
  program_->Signal(SIGHUP);
  EXPECT_TRUE(WaitFor(10, [&] {
    return ReadFile(dir_ + "/stderr").find("keeping the sources in use") != std::string::npos;
  })) << ReadFile(dir_ + "/stderr");
  EXPECT_TRUE(pageHas("c=India%20news", "<headline_text>Alpha<"));
  EXPECT_TRUE(pageHas("c=Top%20stories", "<headline_text>Beta<"));

  program_->Signal(SIGTERM);
  EXPECT_EQ(ExitStatus(), 0);
}

// The live page of a category as a reader gets it, with its validators.
struct Answered {
  int status = 0;
  std::string body, etag, lastModified, retryAfter;
};

// Whether the state database holds a page yet (read beside the running service).
bool StateHasPage(const std::string& path) {
  sqlite3* db = nullptr;
  bool found = false;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* q = nullptr;
    found = sqlite3_prepare_v2(db, "SELECT count(*) FROM pages", -1, &q, nullptr) == SQLITE_OK &&
            sqlite3_step(q) == SQLITE_ROW && sqlite3_column_int(q, 0) == 1;
    sqlite3_finalize(q);
  }
  sqlite3_close(db);
  return found;
}

TEST_F(FeedServiceProgram, RestartsAndKillsWithSourcesDownKeepEveryReadersPage) {
  // One feed that answers (with an ETag) until it is taken down, one that never does.
  FixtureFeeds feeds;
  FixtureFeeds::Doc up(
      "<rss><channel><title>Fixture</title>"
      "<item><title>Caf\xC3\xA9 &amp; co &lt;b&gt;</title><link>http://x.example/1</link>"
      "<pubDate>Tue, 10 Jun 2003 12:00:00 GMT</pubDate></item>"
      "<item><title>Undated</title><link>http://x.example/2</link></item>"
      "</channel></rss>");
  up.etag = "\"a1\"";
  FixtureFeeds::Doc down;
  down.status = 500;
  feeds.Set("/a", up);
  feeds.Set("/never", down);
  const std::string sources = dir_ + "/sources.opml";
  std::ofstream(sources) << "<opml version=\"2.0\"><body><outline text=\"India news\"><outline "
                            "xmlUrl=\""
                         << feeds.Url("/a")
                         << "\"/></outline><outline text=\"Top stories\"><outline xmlUrl=\""
                         << feeds.Url("/never") << "\"/></outline></body></opml>\n";
  const std::string state = dir_ + "/state";
  const std::string portFile = dir_ + "/port";
  int port = 0;
  const auto start = [&](const std::string& stateDir) {
    unlink(portFile.c_str());
    Start({"--port", "0", "--port-file", portFile, "--sources", sources, "--state", stateDir,
           "--refresh", "1", "--retry", "1", "--access-log", dir_ + "/access.log"});
    port = ServiceProcess::WaitForPort(portFile);
    return port > 0;
  };
  const auto get = [&](const char* category) {
    httplib::Client client("127.0.0.1", port);
    Answered a;
    auto res = client.Get((std::string("/cgi-local/page?c=") + category + "&o=xml").c_str());
    if (!res) return a;
    a = {res->status, res->body, res->get_header_value("ETag"),
         res->get_header_value("Last-Modified"), res->get_header_value("Retry-After")};
    return a;
  };

  ASSERT_TRUE(start(state));
  // Before any source has had items: 503, so caches keep their last page.
  const Answered first = get("Top%20stories");
  EXPECT_EQ(first.status, 503);
  EXPECT_EQ(first.retryAfter, "1");
  Answered served;
  ASSERT_TRUE(WaitFor(10, [&] {
    served = get("India%20news");
    return served.status == 200 && served.body.find("<headline_text>Undated<") != std::string::npos;
  }));
  // Once the page is in the state, kill without warning, with the source down.
  ASSERT_TRUE(WaitFor(10, [&] { return StateHasPage(state + "/state.db"); }));
  feeds.Set("/a", down);
  program_->Kill();
  const size_t askedBefore = feeds.ValidatorsSent("/a").size();

  for (int round = 0; round < 2; ++round) {
    // The very first request gets the same bytes and validators.
    ASSERT_TRUE(start(state)) << ReadFile(dir_ + "/stderr");
    const Answered again = get("India%20news");
    EXPECT_EQ(again.status, 200) << round;
    EXPECT_EQ(again.body, served.body) << round;
    EXPECT_EQ(again.etag, served.etag) << round;
    EXPECT_EQ(again.lastModified, served.lastModified) << round;
    EXPECT_EQ(get("Top%20stories").status, 503) << round;
    // The source still down fails in turn; the page stays.
    ASSERT_TRUE(WaitFor(10, [&] {
      return ReadFile(dir_ + "/stderr").find("HTTP status 500; keeping 2 items") !=
             std::string::npos;
    })) << ReadFile(dir_ + "/stderr");
    EXPECT_EQ(get("India%20news").body, served.body);
    program_->Signal(SIGTERM);
    EXPECT_EQ(ExitStatus(), 0);
  }
  // Each start asked with the kept validator.
  const std::vector<std::string> asked = feeds.ValidatorsSent("/a");
  ASSERT_GT(asked.size(), askedBefore);
  EXPECT_EQ(asked.front(), "");
  EXPECT_EQ(asked[askedBefore], "\"a1\"");

  // A state file that is no database: set aside, never deleted, and the
  // service starts on a new one.
  std::ofstream(state + "/state.db", std::ios::trunc) << "not a database\n";
  ASSERT_TRUE(start(state)) << ReadFile(dir_ + "/stderr");
  EXPECT_NE(
      ReadFile(dir_ + "/stderr").find("state.db cannot be used (file is not a database); kept as "),
      std::string::npos)
      << ReadFile(dir_ + "/stderr");
  EXPECT_EQ(std::system(("grep -qx 'not a database' '" + state + "'/state.db.bad-*").c_str()), 0);
  EXPECT_EQ(get("Top%20stories").status, 503);
  program_->Signal(SIGTERM);
  EXPECT_EQ(ExitStatus(), 0);
}

TEST_F(FeedServiceProgram, HelpPrintsUsage) {
  Start({"--help"});
  EXPECT_EQ(ExitStatus(), 0);
  EXPECT_NE(ReadFile(dir_ + "/stdout").find("--port-file FILE"), std::string::npos);
}

TEST_F(FeedServiceProgram, RefusesToStartWithAClearError) {
  // A port already taken.
  FeedServer holder(FeedServerConfig{"127.0.0.1", 0, ""}, nullptr);
  std::string error;
  ASSERT_TRUE(holder.Bind(&error)) << error;
  const std::string busyPort = std::to_string(holder.port());

  // Sources files that cannot be used.
  const std::string broken = dir_ + "/broken.opml";
  const std::string unknown = dir_ + "/unknown.opml";
  std::ofstream(broken) << "<opml><body><outline text=\"India news\">\n</body></opml>\n";
  std::ofstream(unknown) << "<opml><body><outline text=\"Gardening\">"
                            "<outline xmlUrl=\"http://g.example/\"/></outline></body></opml>\n";

  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--port", "0", "--sources", dir_ + "/missing.opml"}, "cannot read sources file"},
      {{"--port", "0", "--sources", broken}, "broken.opml: line 2: mismatched tag"},
      {{"--port", "0", "--sources", unknown}, "'Gardening' is not a catalogue category"},
      {{"--refresh", "0"}, "invalid value '0' for --refresh"},
      {{"--parallel", "many"}, "invalid value 'many' for --parallel"},
      {{"--port", "70000"}, "invalid port"},
      {{"--port"}, "needs a value"},
      {{"--colour", "red"}, "unknown option"},
      {{"--charset", "koi8-r"}, "unsupported --charset 'koi8-r'"},
      {{"--port", "0", "--data", "/nonexistent/feeds"}, "data directory"},
      {{"--port", "0", "--access-log", "/nonexistent/dir/log"}, "cannot open access log"},
      {{"--port", "0", "--port-file", "/nonexistent/dir/port"}, "cannot write port file"},
      {{"--listen", "127.0.0.1", "--port", busyPort}, "cannot listen"},
      {{"--listen", "no.such.host.invalid", "--port", "0"}, "cannot listen"},
  };
  for (const Case& c : cases) {
    Start(c.args);
    const int status = ExitStatus();
    EXPECT_GT(status, 0) << c.args[0];
    EXPECT_NE(ReadFile(dir_ + "/stderr").find(c.message), std::string::npos)
        << c.args[0] << ": " << ReadFile(dir_ + "/stderr");
  }
}

}  // namespace
