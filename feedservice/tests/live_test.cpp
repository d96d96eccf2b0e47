// Live pages end to end on loopback: fixture feeds served by an in-test HTTP
// server, fetched in the background, merged into category pages, served by the
// feed service and read back with the ticker's own extraction.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feedservice/FeedServer.h"
#include "feedservice/http/AccessLog.h"
#include "feedservice/live/FeedHttp.h"
#include "feedservice/live/LiveFeeds.h"
#include "feedservice/tests/support/Files.h"
#include "feedservice/tests/support/FixtureFeeds.h"
#include "feedservice/text/Dates.h"
#include "common/Catalogue.h"
#include "common/ContractStrings.h"

namespace {

using std::chrono::milliseconds;

// The feed service serving live's pages on a free loopback port for the
// lifetime of the object; stopped and joined however the test ends.
class ServedLive {
 public:
  explicit ServedLive(LiveFeeds* live)
      : server_(FeedServerConfig{"127.0.0.1", 0, "", live}, &log_) {
    bound_ = log_.Open("/dev/null", &error_) && server_.Bind(&error_);
    if (bound_) thread_ = std::thread([this] { server_.Run(); });
  }
  ~ServedLive() {
    server_.Stop();
    if (thread_.joinable()) thread_.join();
  }
  ServedLive(const ServedLive&) = delete;
  ServedLive& operator=(const ServedLive&) = delete;

  bool bound() const { return bound_; }
  const std::string& error() const { return error_; }
  httplib::Client Client() const { return httplib::Client("127.0.0.1", server_.port()); }

 private:
  AccessLog log_;
  FeedServer server_;
  std::string error_;
  bool bound_ = false;
  std::thread thread_;
};

std::string Rss(const std::string& items, const std::string& encoding = "UTF-8") {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\"?>\n<rss version=\"2.0\"><channel><title>Fixture</title>\n" + items +
         "</channel></rss>\n";
}

std::string RssItem(const std::string& title, const std::string& link, const std::string& date) {
  return "<item><title>" + title + "</title><link>" + link + "</link>" +
         (date.empty() ? "" : "<pubDate>" + date + "</pubDate>") + "</item>\n";
}

struct Pairs {
  int count = 0;
  std::string urls[kHeadlineSlots];
  std::string texts[kHeadlineSlots];
};

// What the ticker would show for a page.
Pairs Extract(const std::string& page) {
  Pairs pairs;
  pairs.count = ExtractHeadlines(page.c_str(), pairs.urls, pairs.texts);
  return pairs;
}

SourceStatus StatusOf(const LiveFeeds& live, const std::string& url) {
  for (const SourceStatus& s : live.Status()) {
    if (s.url == url) return s;
  }
  return {};
}

LiveFeedSettings QuickSettings() {
  LiveFeedSettings settings;
  settings.refresh = milliseconds(3600 * 1000);
  settings.firstRetry = milliseconds(50);
  settings.limits.connectTimeout = milliseconds(1000);
  settings.limits.totalTimeout = milliseconds(2000);
  settings.parallel = 3;
  return settings;
}

TEST(LiveFeeds, TheTickerReadsMergedHeadlinesFromRssRdfAndAtom) {
  FixtureFeeds fixtures;
  fixtures.Set("/rss2",
               {Rss(RssItem("Oldest &amp; <![CDATA[kept]]>", "http://a.example/1",
                            "Mon, 09 Jun 2003 10:00:00 GMT") +
                    RssItem("Newest: caf\xC3\xA9 \xE2\x80\x9Cquote\xE2\x80\x9D",
                            "http://a.example/2", "Tue, 10 Jun 2003 12:00:00 GMT") +
                    RssItem("a &lt;/headline_text&gt;&lt;url&gt;x&lt;/url&gt; b",
                            "http://a.example/3?x=1&amp;y=2", "Tue, 10 Jun 2003 08:00:00 GMT") +
                    RssItem("No date", "http://a.example/4", "")),
                "application/rss+xml"});
  fixtures.Set("/atom", {"<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Atom</title>"
                         "<entry><title>Atom middle</title><link href=\"http://b.example/m\"/>"
                         "<updated>2003-06-10T10:00:00Z</updated></entry>"
                         "<entry><title>Same link as RSS</title><link href=\"http://a.example/1\"/>"
                         "<updated>2003-06-09T09:00:00Z</updated></entry></feed>",
                         "application/atom+xml"});
  fixtures.Set("/rdf", {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
                        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                        "xmlns=\"http://purl.org/rss/1.0/\"><channel><title>RDF</title></channel>"
                        "<item><title>\xCD\xEE\xE2\xEE\xF1\xF2\xE8</title>"
                        "<link>http://c.example/r</link></item></rdf:RDF>",
                        "application/rdf+xml"});
  std::string many;
  for (int i = 0; i < 25; ++i) {
    many += RssItem("Item " + std::to_string(i), "http://d.example/" + std::to_string(i),
                    "Tue, 10 Jun 2003 " + std::to_string(10 + i % 10) + ":" +
                        std::to_string(10 + i) + ":00 GMT");
  }
  fixtures.Set("/many", {Rss("<title>x</title>" + many, "ISO-8859-1")});

  LiveFeeds live(QuickSettings(), [](const std::string&) {});
  live.SetSources({{"India news", fixtures.Url("/rss2")},
                   {"India news", fixtures.Url("/atom")},
                   {"India news", fixtures.Url("/rdf")},
                   {"Top stories", fixtures.Url("/many")}});
  live.Start();
  ASSERT_TRUE(WaitFor(10, [&] {
    for (const SourceStatus& s : live.Status()) {
      if (s.status != "ok") return false;
    }
    return true;
  })) << live.HealthText();

  EXPECT_NE(fixtures.AcceptEncoding().find("gzip"), std::string::npos);

  ServedLive served(&live);
  ASSERT_TRUE(served.bound()) << served.error();
  httplib::Client client = served.Client();
  client.set_read_timeout(5);
  auto page = [&](const std::string& name) {
    auto res =
        client.Get(("/cgi-local/page?c=" + EncodeCategoryName(name.c_str()) + "&o=xml").c_str());
    return res ? res->body : std::string("no answer");
  };

  const Pairs india = Extract(page("India news"));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"http://a.example/2", "Newest: caf\xE9 \x93quote\x94"},
      {"http://b.example/m", "Atom middle"},
      {"http://a.example/3?x=1&y=2", "a x b"},
      {"http://a.example/1", "Oldest & kept"},
      {"http://a.example/4", "No date"},
      {"http://c.example/r", "Novosti"},
  };
  ASSERT_EQ(india.count, static_cast<int>(expected.size())) << page("India news");
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(india.urls[i], expected[i].first) << i;
    EXPECT_EQ(india.texts[i], expected[i].second) << i;
  }

  const Pairs top = Extract(page("Top stories"));
  EXPECT_EQ(top.count, 20);
  EXPECT_EQ(top.texts[0], "Item 19");  // 19:29, the latest

  // With a sources file, categories without sources have no invented items.
  EXPECT_EQ(Extract(page("Jokes")).count, 0);
  auto health = client.Get("/health/sources");
  ASSERT_TRUE(health);
  EXPECT_NE(health->body.find("India news\t" + fixtures.Url("/atom") + "\tok\t2\t1\t"),
            std::string::npos)
      << health->body;
  auto india1252 = client.Get("/cgi-local/page?c=India%20news&o=xml");
  ASSERT_TRUE(india1252);
  EXPECT_EQ(india1252->get_header_value("Content-Type"), "text/xml; charset=windows-1252");

  // An instance for readers of Windows-1251 writes their script and says so.
  LiveFeedSettings settings1251 = QuickSettings();
  settings1251.codePage = CodePage::Find("windows-1251");
  LiveFeeds live1251(settings1251, [](const std::string&) {});
  live1251.SetSources(
      {{"Russia news", fixtures.Url("/rdf")}, {"Russia news", fixtures.Url("/rss2")}});
  live1251.Start();
  ASSERT_TRUE(WaitFor(10, [&] {
    for (const SourceStatus& s : live1251.Status()) {
      if (s.status != "ok") return false;
    }
    return true;
  }));
  ServedLive served1251(&live1251);
  ASSERT_TRUE(served1251.bound()) << served1251.error();
  auto russia = served1251.Client().Get("/cgi-local/page?c=Russia%20news&o=xml");
  ASSERT_TRUE(russia);
  EXPECT_EQ(russia->get_header_value("Content-Type"), "text/xml; charset=windows-1251");
  EXPECT_EQ(russia->body.find("<?xml version=\"1.0\" encoding=\"windows-1251\"?>"), 0u);
  const Pairs ru = Extract(russia->body);
  ASSERT_EQ(ru.count, 5) << russia->body;
  EXPECT_EQ(ru.texts[0], "Newest: cafe \x93quote\x94");
  EXPECT_NE(std::find(ru.texts, ru.texts + ru.count, "\xCD\xEE\xE2\xEE\xF1\xF2\xE8"),
            ru.texts + ru.count);
}

TEST(FeedHttp, OneFetchReadsWhatThePublisherAsks) {
  FixtureFeeds fixtures;
  const int64_t later = std::time(nullptr) + 7200;
  const std::string past = "Thu, 01 Jan 2004 00:00:00 GMT";
  const auto ok = HttpFetchResult::kOk, error = HttpFetchResult::kError;
  // Each path answers its status with its headers (and a feed for 200); then
  // what one fetch of it reads. Times: 0 none, `later`, else seconds from now.
  const struct {
    const char* path;
    int answer;
    std::vector<std::pair<std::string, std::string>> headers;
    HttpFetchResult::Kind kind;
    int status;
    int64_t retryAfter;
    int64_t freshUntil;
    const char* movedTo;
    const char* error;  // "@": the retry time as an HTTP date
  } cases[] = {
      // clang-format off
      {"/busy", 429, {{"Retry-After", " 3600 "}}, error, 429, 3600, 0, "",
       "HTTP status 429 Too Many Requests, retry after @"},
      {"/down", 503, {{"retry-after", FormatHttpDate(later)}}, error, 503, later, 0, "",
       "HTTP status 503 Service Unavailable, retry after @"},
      {"/forever", 429, {{"Retry-After", "99999999999999999999"}}, error, 429, 0, 0, "",
       "HTTP status 429 Too Many Requests"},
      {"/gone", 410, {{"Retry-After", "60"}}, error, 410, 0, 0, "",
       "HTTP status 410 Gone: the publisher has removed the feed"},
      {"/old", 301, {{"Location", "/mid"}}, ok, 200, 0, 600, "/feed", ""},
      {"/mid", 308, {{"Location", "/feed"}}, ok, 200, 0, 600, "/feed", ""},
      {"/moving", 301, {{"Location", "/visiting"}}, ok, 200, 0, 600, "", ""},
      {"/visiting", 302, {{"Location", "/feed"}}, ok, 200, 0, 600, "", ""},
      {"/lost", 301, {{"Location", "/nothing"}}, error, 404, 0, 0, "", "HTTP status 404"},
      {"/feed", 200, {{"CACHE-CONTROL", "public, max-age=600"},
                      {"ETag", '"' + std::string(9000, 'x') + '"'}}, ok, 200, 0, 600, "", ""},
      {"/dated", 200, {{"Expires", FormatHttpDate(later)}}, ok, 200, 0, later, "", ""},
      {"/skewed", 200, {{"Date", past}, {"Expires", "Thu, 01 Jan 2004 00:10:00 GMT"}},
       ok, 200, 0, 600, "", ""},
      {"/stale", 200, {{"Expires", past}}, ok, 200, 0, 0, "", ""},
      {"/private", 200, {{"Cache-Control", "max-age=600"}, {"Cache-Control", "no-cache"},
                         {"Expires", FormatHttpDate(later)}}, ok, 200, 0, 0, "", ""},
      {"/same", 304, {{"Cache-Control", "max-age=99999999999999"}},
       HttpFetchResult::kNotModified, 304, 0, int64_t{1} << 31, "", ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    FixtureFeeds::Doc doc(c.answer == 200 ? Rss(RssItem("One", "http://a.example/1", "")) : "");
    doc.status = c.answer;
    doc.headers = c.headers;
    fixtures.Set(c.path, doc);
  }
  for (const auto& c : cases) {
    const int64_t before = std::time(nullptr);
    const HttpFetchResult r = HttpFetch(fixtures.Url(c.path), "", "", HttpFetchLimits{}, nullptr);
    const int64_t after = std::time(nullptr);
    auto at = [&](int64_t actual, int64_t expected) {
      if (expected == 0 || expected == later) return actual == expected;
      return actual >= before + expected && actual <= after + expected;
    };
    std::string line = c.error;
    if (line.find('@') != std::string::npos) {
      line.replace(line.find('@'), 1, FormatHttpDate(r.retryAfter));
    }
    EXPECT_EQ(r.kind, c.kind) << c.path << ": " << r.error;
    EXPECT_EQ(r.status, c.status) << c.path;
    EXPECT_TRUE(at(r.retryAfter, c.retryAfter) && at(r.freshUntil, c.freshUntil))
        << c.path << ": " << r.retryAfter << ", " << r.freshUntil;
    EXPECT_EQ(r.gone, c.status == 410) << c.path;
    EXPECT_EQ(r.movedTo, *c.movedTo ? fixtures.Url(c.movedTo) : "") << c.path;
    EXPECT_EQ(r.error, line) << c.path;
    EXPECT_EQ(r.etag, "") << c.path;  // the only one sent is over 8 KiB: ignored
  }
  EXPECT_EQ(HttpFetch("http://127.0.0.1:1/", "", "", HttpFetchLimits{}, nullptr).status, 0);
}

TEST(LiveFeeds, ValidatorsFailuresAndReloadsKeepTheLastGoodItems) {
  FixtureFeeds fixtures;
  FixtureFeeds::Doc doc{
      Rss(RssItem("One", "http://a.example/1", "") + RssItem("Two", "http://a.example/2", ""))};
  doc.etag = "\"v1\"";
  fixtures.Set("/feed", doc);
  LiveFeedSettings settings = QuickSettings();
  settings.refresh = milliseconds(30);
  std::mutex logMutex;
  std::vector<std::string> logLines;
  LiveFeeds live(settings, [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.push_back(line);
  });
  const std::string url = fixtures.Url("/feed");
  live.SetSources({{"India news", url}});
  live.Start();

  // Refreshes after the first carry the ETag and get 304: items stay.
  ASSERT_TRUE(WaitFor(10, [&] { return StatusOf(live, url).fetches >= 3; }));
  SourceStatus s = StatusOf(live, url);
  EXPECT_EQ(s.status, "not modified");
  EXPECT_EQ(s.items, 2u);
  const auto sent = fixtures.ValidatorsSent("/feed");
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], "");
  EXPECT_EQ(sent[1], "\"v1\"");
  EXPECT_EQ(Extract(*live.Page("India news")).count, 2);

  // A failing source keeps its items, is retried and says why.
  doc.etag.clear();
  doc.status = 500;
  fixtures.Set("/feed", doc);
  ASSERT_TRUE(WaitFor(10, [&] { return StatusOf(live, url).failuresInRow >= 3; }));
  s = StatusOf(live, url);
  EXPECT_EQ(s.status, "error");
  EXPECT_EQ(s.error, "HTTP status 500");
  EXPECT_EQ(s.items, 2u);
  EXPECT_EQ(Extract(*live.Page("India news")).count, 2);
  {
    std::lock_guard<std::mutex> lock(logMutex);
    ASSERT_FALSE(logLines.empty());
    EXPECT_NE(logLines[0].find(url + " (India news): HTTP status 500; keeping 2 items"),
              std::string::npos)
        << logLines[0];
  }

  // A reload that keeps the source keeps its items; a new category starts empty.
  live.SetSources({{"India news", url}, {"Top stories", fixtures.Url("/none")}});
  EXPECT_EQ(Extract(*live.Page("India news")).count, 2);
  EXPECT_EQ(Extract(*live.Page("Top stories")).count, 0);
  EXPECT_EQ(live.Page("Jokes"), nullptr);
}

TEST(LiveFeeds, HangingAndOversizedSourcesNeverDelayRequests) {
  FixtureFeeds fixtures;
  FixtureFeeds::Doc hang;
  hang.hang = true;
  fixtures.Set("/hang", hang);
  fixtures.Set("/big",
               {Rss(std::string(200 * 1024, ' ') + RssItem("Big", "http://a.example/", ""))});
  fixtures.Set("/good", {Rss(RssItem("Good", "http://a.example/g", ""))});
  LiveFeedSettings settings = QuickSettings();
  settings.limits.totalTimeout = milliseconds(1000);
  settings.limits.maxBytes = 64 * 1024;
  settings.firstRetry = milliseconds(3600 * 1000);
  LiveFeeds live(settings, [](const std::string&) {});
  live.SetSources({{"India news", fixtures.Url("/hang")},
                   {"India news", fixtures.Url("/good")},
                   {"Top stories", fixtures.Url("/big")}});
  live.Start();

  ServedLive served(&live);
  ASSERT_TRUE(served.bound()) << served.error();
  httplib::Client client = served.Client();
  client.set_read_timeout(0, 300 * 1000);  // well below the hanging fetch

  // While the hanging fetch is in progress every request is answered.
  int answered = 0;
  for (int i = 0; i < 10; ++i) {
    auto res = client.Get("/cgi-local/page?c=India%20news&o=xml");
    if (res && res->status == 200) ++answered;
  }
  EXPECT_EQ(answered, 10);
  EXPECT_EQ(StatusOf(live, fixtures.Url("/hang")).fetches, 0);

  ASSERT_TRUE(WaitFor(10, [&] {
    return StatusOf(live, fixtures.Url("/hang")).fetches >= 1 &&
           StatusOf(live, fixtures.Url("/big")).fetches >= 1;
  }));
  EXPECT_NE(StatusOf(live, fixtures.Url("/hang")).error.find("timed out"), std::string::npos)
      << StatusOf(live, fixtures.Url("/hang")).error;
  EXPECT_EQ(StatusOf(live, fixtures.Url("/big")).error, "feed larger than 65536 bytes; cut off");
  EXPECT_EQ(StatusOf(live, fixtures.Url("/good")).status, "ok");
  auto res = client.Get("/cgi-local/page?c=India%20news&o=xml");
  ASSERT_TRUE(res);
  EXPECT_EQ(Extract(res->body).texts[0], "Good");
}

}  // namespace
