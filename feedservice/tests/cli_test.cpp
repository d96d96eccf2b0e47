// The feedservice program as the test bed runs it: started with --port 0, found
// through its port file, stopped with a signal.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
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
