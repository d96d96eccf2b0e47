// The feedservice program as the test bed runs it: started with --port 0, found
// through its port file, stopped with a signal.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feedservice/FeedServer.h"

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Polls cond every 10 ms for at most seconds.
template <typename Cond>
bool WaitFor(double seconds, Cond cond) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class FeedServiceProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/feedservice-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(mkdir((dir_ + "/feeds").c_str(), 0755), 0);
  }

  void TearDown() override {
    Kill();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
  }

  // Starts the program with args, its output going to files in the test's directory.
  void Start(const std::vector<std::string>& args) {
    Kill();  // a program left from an earlier case that did not end
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv = {const_cast<char*>(FEEDSERVICE_EXE)};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, FEEDSERVICE_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }

  // The exit status once the program has ended (bounded wait), -1 if it did
  // not end or did not exit normally.
  int ExitStatus(double seconds = 10) {
    int status = 0;
    const bool ended = WaitFor(seconds, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) return -1;
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
  pid_t pid_ = 0;
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

    kill(pid_, stopSignal);
    EXPECT_EQ(ExitStatus(), 0) << "signal " << stopSignal;
  }
  // Only the port file is left: the temporary name it was written under is gone.
  EXPECT_TRUE(Exists(dir_ + "/port"));
  EXPECT_EQ(std::system(("test $(ls '" + dir_ + "' | grep -c tmp) -eq 0").c_str()), 0);
}

TEST_F(FeedServiceProgram, ServesLiveFeedsAndRereadsTheSourcesFileOnHangup) {
  httplib::Server feeds;
  feeds.Get("/(a|b)", [](const httplib::Request& req, httplib::Response& res) {
    const std::string title = req.matches[1] == "a" ? "Alpha" : "Beta";
    res.set_content("<rss><channel><item><title>" + title + "</title><link>http://x.example/" +
                        title + "</link></item></channel></rss>",
                    "application/rss+xml");
  });
  const int feedPort = feeds.bind_to_any_port("127.0.0.1");
  std::thread feedThread([&feeds] { feeds.listen_after_bind(); });
  const std::string base = "http://127.0.0.1:" + std::to_string(feedPort);
  const std::string sources = dir_ + "/sources.opml";
  auto writeSources = [&](const std::string& body) {
    std::ofstream(sources) << "<opml version=\"2.0\"><body>" << body << "</body></opml>\n";
  };
  writeSources("<outline text=\"India news\"><outline xmlUrl=\"" + base + "/a\"/></outline>");

  const std::string portFile = dir_ + "/port";
  Start({"--port", "0", "--port-file", portFile, "--sources", sources, "--access-log",
         dir_ + "/access.log"});
  ASSERT_TRUE(WaitFor(10, [&] { return !ReadFile(portFile).empty(); }));
  httplib::Client client("127.0.0.1", std::atoi(ReadFile(portFile).c_str()));
  auto pageHas = [&](const char* query, const char* text) {
    auto res = client.Get((std::string("/cgi-local/page?") + query + "&o=xml").c_str());
    return res && res->body.find(text) != std::string::npos;
  };
  EXPECT_TRUE(WaitFor(10, [&] { return pageHas("c=India%20news", "<headline_text>Alpha<"); }));

  writeSources("<outline text=\"India news\"><outline xmlUrl=\"" + base +
               "/a\"/></outline><outline text=\"Top stories\"><outline xmlUrl=\"" + base +
               "/b\"/></outline>");
  kill(pid_, SIGHUP);
  EXPECT_TRUE(WaitFor(10, [&] { return pageHas("c=Top%20stories", "<headline_text>Beta<"); }));

  writeSources("<outline text=\"India news\">");
  kill(pid_, SIGHUP);
  EXPECT_TRUE(WaitFor(10, [&] {
    return ReadFile(dir_ + "/stderr").find("keeping the sources in use") != std::string::npos;
  })) << ReadFile(dir_ + "/stderr");
  EXPECT_TRUE(pageHas("c=India%20news", "<headline_text>Alpha<"));
  EXPECT_TRUE(pageHas("c=Top%20stories", "<headline_text>Beta<"));

  kill(pid_, SIGTERM);
  EXPECT_EQ(ExitStatus(), 0);
  feeds.stop();
  feedThread.join();
}

// The live page of a category as a reader gets it, with its validators.
struct Answered {
  int status = 0;
  std::string body, etag, lastModified, retryAfter;
};

TEST_F(FeedServiceProgram, RestartsAndKillsWithSourcesDownKeepEveryReadersPage) {
  // One feed that answers (with an ETag) until it is taken down, one that never does.
  std::atomic<bool> down{false};
  std::mutex sentMutex;
  std::vector<std::string> validatorsSent;
  httplib::Server feeds;
  feeds.Get("/(a|never)", [&](const httplib::Request& req, httplib::Response& res) {
    if (req.matches[1] == "never" || down) {
      res.status = 500;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(sentMutex);
      validatorsSent.push_back(req.get_header_value("If-None-Match"));
    }
    res.set_header("ETag", "\"a1\"");
    if (req.get_header_value("If-None-Match") == "\"a1\"") {
      res.status = 304;
      return;
    }
    res.set_content(
        "<rss><channel><title>Fixture</title>"
        "<item><title>Caf\xC3\xA9 &amp; co &lt;b&gt;</title><link>http://x.example/1</link>"
        "<pubDate>Tue, 10 Jun 2003 12:00:00 GMT</pubDate></item>"
        "<item><title>Undated</title><link>http://x.example/2</link></item>"
        "</channel></rss>",
        "application/rss+xml");
  });
  const int feedPort = feeds.bind_to_any_port("127.0.0.1");
  std::thread feedThread([&feeds] { feeds.listen_after_bind(); });
  const std::string base = "http://127.0.0.1:" + std::to_string(feedPort);
  const std::string sources = dir_ + "/sources.opml";
  std::ofstream(sources) << "<opml version=\"2.0\"><body><outline text=\"India news\"><outline "
                            "xmlUrl=\""
                         << base
                         << "/a\"/></outline><outline text=\"Top stories\"><outline xmlUrl=\""
                         << base << "/never\"/></outline></body></opml>\n";
  const std::string state = dir_ + "/state";
  const std::string portFile = dir_ + "/port";
  const auto start = [&](const std::string& stateDir) {
    unlink(portFile.c_str());
    Start({"--port", "0", "--port-file", portFile, "--sources", sources, "--state", stateDir,
           "--refresh", "1", "--retry", "1", "--access-log", dir_ + "/access.log"});
    return WaitFor(10, [&] { return !ReadFile(portFile).empty(); });
  };
  const auto get = [&](const char* category) {
    httplib::Client client("127.0.0.1", std::atoi(ReadFile(portFile).c_str()));
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
  const auto committed = [&] {
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2((state + "/state.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
      sqlite3_stmt* q = nullptr;
      found = sqlite3_prepare_v2(db, "SELECT count(*) FROM pages", -1, &q, nullptr) == SQLITE_OK &&
              sqlite3_step(q) == SQLITE_ROW && sqlite3_column_int(q, 0) == 1;
      sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return found;
  };
  ASSERT_TRUE(WaitFor(10, committed));
  down = true;
  size_t sentBefore = 0;
  {
    std::lock_guard<std::mutex> lock(sentMutex);
    sentBefore = validatorsSent.size();
  }
  kill(pid_, SIGKILL);
  EXPECT_EQ(ExitStatus(), -1);

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
    if (round == 0) {
      kill(pid_, SIGTERM);
      EXPECT_EQ(ExitStatus(), 0);
    }
  }
  // Back up: asked with the kept validator, and answered 304.
  down = false;
  ASSERT_TRUE(WaitFor(10, [&] {
    std::lock_guard<std::mutex> lock(sentMutex);
    return validatorsSent.size() > sentBefore;
  }));
  {
    std::lock_guard<std::mutex> lock(sentMutex);
    EXPECT_EQ(validatorsSent[0], "");
    EXPECT_EQ(validatorsSent[sentBefore], "\"a1\"");
  }
  kill(pid_, SIGTERM);
  EXPECT_EQ(ExitStatus(), 0);

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
  kill(pid_, SIGTERM);
  EXPECT_EQ(ExitStatus(), 0);
  feeds.stop();
  feedThread.join();
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
