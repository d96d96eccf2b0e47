// Live pages end to end on loopback: fixture feeds served by an in-test HTTP
// server, fetched in the background, merged into category pages, served by the
// feed service and read back with the ticker's own extraction.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
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
  // Undated items count as new when first seen (now, not 2003): on top, in
  // the order their feeds were fetched.
  std::vector<std::pair<std::string, std::string>> expected = {
      {"http://a.example/4", "No date"},
      {"http://c.example/r", "Novosti"},
      {"http://a.example/2", "Newest: caf\xE9 \x93quote\x94"},
      {"http://b.example/m", "Atom middle"},
      {"http://a.example/3?x=1&y=2", "a x b"},
      {"http://a.example/1", "Oldest & kept"},
  };
  if (india.urls[0] == expected[1].first) std::swap(expected[0], expected[1]);
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
  EXPECT_NE(std::find(ru.texts, ru.texts + ru.count, "Newest: cafe \x93quote\x94"),
            ru.texts + ru.count);
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
    // 503 until the good source has answered: an answer all the same.
    if (res && (res->status == 200 || res->status == 503)) ++answered;
  }
  EXPECT_EQ(answered, 10);
  EXPECT_EQ(StatusOf(live, fixtures.Url("/hang")).fetches, 0);

  // All three share one host, so the good one may wait for a free slot.
  ASSERT_TRUE(WaitFor(10, [&] {
    return StatusOf(live, fixtures.Url("/hang")).fetches >= 1 &&
           StatusOf(live, fixtures.Url("/big")).fetches >= 1 &&
           StatusOf(live, fixtures.Url("/good")).fetches >= 1;
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

namespace {

// Stands in for the network: every fetch is answered by a script per address,
// and counted, also by how many run at once against each host.
class ScriptedFeeds {
 public:
  using Script = std::function<HttpFetchResult(int request)>;  // request: 0, 1, ...

  void Set(const std::string& url, Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[url] = std::move(script);
  }
  int Requests(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_[url];
  }
  int MostAtOnce(const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostAtOnce_[host];
  }
  int MostAtOnceInAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostInAll_;
  }
  void HoldEachFetch(milliseconds hold) { hold_ = hold; }

  FeedFetchFunction Function() {
    return [this](const std::string& url, const std::string&, const std::string&,
                  const HttpFetchLimits&, const std::atomic<bool>*) {
      const std::string host = url.substr(7, url.find('/', 7) - 7);
      Script script;
      int request = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        request = requests_[url]++;
        script = scripts_[url];
        mostAtOnce_[host] = std::max(mostAtOnce_[host], ++atOnce_[host]);
        mostInAll_ = std::max(mostInAll_, ++inAll_);
      }
      if (hold_.count() > 0) std::this_thread::sleep_for(hold_);
      HttpFetchResult result;
      if (script) {
        result = script(request);
      } else {
        result.error = "HTTP status 404";
        result.status = 404;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      --atOnce_[host];
      --inAll_;
      return result;
    };
  }

 private:
  std::mutex mutex_;
  std::map<std::string, Script> scripts_;
  std::map<std::string, int> requests_, atOnce_, mostAtOnce_;
  int inAll_ = 0, mostInAll_ = 0;
  milliseconds hold_{0};
};

HttpFetchResult Answer(int status, const std::string& body = "") {
  HttpFetchResult r;
  r.status = status;
  if (status == 200) {
    r.kind = HttpFetchResult::kOk;
    r.body = body;
  } else {
    r.error = "HTTP status " + std::to_string(status);
  }
  return r;
}

int64_t Now() {
  return static_cast<int64_t>(std::time(nullptr));
}

TEST(LiveFeeds, PublishersAreAskedOnlyWhenTheyAllowIt) {
  FixtureFeeds fixtures;
  const auto requests = [&](const char* path) {
    return static_cast<int>(fixtures.ValidatorsSent(path).size());
  };
  const auto answer = [](int status, std::vector<std::pair<std::string, std::string>> headers,
                         const std::string& body = "") {
    FixtureFeeds::Doc doc(body);
    doc.status = status;
    doc.headers = std::move(headers);
    return doc;
  };
  const std::string feed = Rss(RssItem("Kept", "http://a.example/k", ""));
  // The clock of the test: asked every refresh.
  fixtures.Set("/steady", answer(200, {}, feed));
  fixtures.Set("/limited", answer(429, {{"Retry-After", "3600"}}));
  // Beyond the longest wait we allow.
  fixtures.Set("/busy", answer(503, {{"Retry-After", FormatHttpDate(Now() + 10 * 24 * 3600)}}));
  fixtures.Set("/failing", answer(500, {}));
  fixtures.Set("/fresh", answer(200, {{"Cache-Control", "max-age=3600"}}, feed));
  fixtures.Set("/ttl",
               answer(200, {}, Rss("<ttl>90</ttl>" + RssItem("T", "http://t.example/", ""))));
  fixtures.Set("/gone", answer(200, {}, Rss(RssItem("Soon gone", "http://g.example/1", ""))));
  fixtures.Set("/old", answer(301, {{"Location", "/new"}}));
  fixtures.Set("/new", answer(200, {}, Rss(RssItem("Moved", "http://m.example/1", ""))));

  LiveFeedSettings settings = QuickSettings();
  settings.refresh = milliseconds(40);
  settings.firstRetry = milliseconds(20);
  settings.maxInterval = milliseconds(7200 * 1000);
  settings.parallel = 8;
  LiveFeeds live(settings, [](const std::string&) {});
  live.SetSources({{"India news", fixtures.Url("/steady")},
                   {"India news", fixtures.Url("/limited")},
                   {"India news", fixtures.Url("/busy")},
                   {"India news", fixtures.Url("/failing")},
                   {"India news", fixtures.Url("/fresh")},
                   {"India news", fixtures.Url("/ttl")},
                   {"Top stories", fixtures.Url("/gone")},
                   {"Europe news", fixtures.Url("/old")}});
  live.Start();
  ASSERT_TRUE(WaitFor(20, [&] { return StatusOf(live, fixtures.Url("/gone")).items == 1; }));
  fixtures.Set("/gone", answer(410, {}));
  ASSERT_TRUE(WaitFor(20, [&] {
    return requests("/steady") >= 12 && requests("/new") >= 4 &&
           StatusOf(live, fixtures.Url("/gone")).status == "gone";
  })) << live.HealthText();
  const int64_t now = Now();

  // Retry-After, in seconds or as a date, is waited for, up to --max-interval.
  EXPECT_EQ(requests("/limited"), 1);
  EXPECT_EQ(requests("/busy"), 1);
  const SourceStatus limited = StatusOf(live, fixtures.Url("/limited"));
  EXPECT_EQ(limited.waitReason, "Retry-After");
  EXPECT_GE(limited.nextDue, now + 3590);
  EXPECT_LE(limited.nextDue, now + 3600 * 11 / 10 + 5);
  const SourceStatus busy = StatusOf(live, fixtures.Url("/busy"));
  EXPECT_GE(busy.nextDue, now + 7190);
  EXPECT_LE(busy.nextDue, now + 7200 * 11 / 10 + 5);
  // Without one, the doubling retry of any failure.
  EXPECT_GE(requests("/failing"), 3);
  // A feed's own freshness lengthens its interval: max-age, and <ttl> in minutes.
  EXPECT_EQ(requests("/fresh"), 1);
  EXPECT_EQ(StatusOf(live, fixtures.Url("/fresh")).waitReason, "max-age");
  EXPECT_GE(StatusOf(live, fixtures.Url("/fresh")).nextDue, now + 3000);
  EXPECT_EQ(requests("/ttl"), 1);
  EXPECT_EQ(StatusOf(live, fixtures.Url("/ttl")).waitReason, "ttl");
  EXPECT_GE(StatusOf(live, fixtures.Url("/ttl")).nextDue, now + 90 * 60 * 9 / 10 - 5);

  // Gone: said so, its items leave the page, not asked again soon.
  const SourceStatus gone = StatusOf(live, fixtures.Url("/gone"));
  EXPECT_EQ(gone.items, 0u);
  EXPECT_EQ(gone.waitReason, "gone");
  EXPECT_GE(gone.nextDue, now + 7190);
  const int goneAsked = requests("/gone");
  EXPECT_EQ(Extract(*live.Page("Top stories")).count, 0);
  EXPECT_TRUE(live.PageVersion("Top stories").filled);  // it had items: 200, not 503

  // A permanent move: asked once at the old address, then at the new one, and
  // the operator sees where it went.
  EXPECT_EQ(requests("/old"), 1);
  EXPECT_EQ(StatusOf(live, fixtures.Url("/old")).movedTo, fixtures.Url("/new"));
  const std::string health = live.HealthText();
  EXPECT_NE(health.find("\tgone\t0\t"), std::string::npos) << health;
  EXPECT_NE(health.find("\tRetry-After\t-\n"), std::string::npos) << health;
  EXPECT_NE(health.find("\t-\t" + fixtures.Url("/new") + "\n"), std::string::npos) << health;

  // Successes stay near their interval; and in the meantime nothing above was
  // asked again.
  ASSERT_TRUE(WaitFor(20, [&] { return requests("/steady") >= 24; }));
  EXPECT_EQ(StatusOf(live, fixtures.Url("/steady")).waitReason, "");
  EXPECT_EQ(requests("/limited") + requests("/busy") + requests("/fresh") + requests("/ttl") +
                requests("/old"),
            5);
  EXPECT_EQ(requests("/gone"), goneAsked);
}

TEST(LiveFeeds, AtMostTwoFetchesAtATimeGoToOneHost) {
  ScriptedFeeds net;
  net.HoldEachFetch(milliseconds(60));
  std::vector<FeedSource> sources;
  for (int i = 0; i < 6; ++i) {
    const std::string url = "http://section.example/feed" + std::to_string(i);
    net.Set(url, [](int) { return Answer(200, Rss(RssItem("S", "http://s.example/", ""))); });
    sources.push_back({"India news", url});
  }
  for (const char* other : {"http://other.example:8080/a", "http://third.example/b"}) {
    net.Set(other, [](int) { return Answer(200, Rss(RssItem("O", "http://o.example/", ""))); });
    sources.push_back({"Top stories", other});
  }
  LiveFeedSettings settings = QuickSettings();
  settings.parallel = 8;
  settings.refresh = milliseconds(50);
  settings.fetch = net.Function();
  LiveFeeds live(settings, [](const std::string&) {});
  live.SetSources(sources);
  live.Start();
  ASSERT_TRUE(WaitFor(20, [&] {
    for (int i = 0; i < 6; ++i) {
      if (net.Requests("http://section.example/feed" + std::to_string(i)) < 3) return false;
    }
    return true;
  }));
  EXPECT_EQ(net.MostAtOnce("section.example"), 2);
  // Meanwhile the other hosts were asked: more than two fetches ran at once.
  EXPECT_GE(net.MostAtOnceInAll(), 3);
  EXPECT_GE(net.Requests("http://third.example/b"), 3);
}

}  // namespace

namespace {

// Runs SQL on a state database behind the service's back.
void Tamper(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

int64_t CountRows(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  int64_t count = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK &&
        sqlite3_step(q) == SQLITE_ROW) {
      count = sqlite3_column_int64(q, 0);
    }
    sqlite3_finalize(q);
  }
  sqlite3_close(db);
  return count;
}

TEST(LiveFeeds, KeptStateComesBackAsItWasAndIsCheckedLikeAFeed) {
  char pattern[] = "/tmp/feedservice-state-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string db = dir + "/state.db";
  std::mutex logMutex;
  std::string log;
  const auto logger = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex);
    log += line + "\n";
  };

  ScriptedFeeds net;
  std::vector<std::string> etagsSent;
  const std::string url = "http://a.example/feed";
  net.Set(url, [](int) {
    HttpFetchResult r = Answer(
        200,
        Rss(RssItem("Caf\xC3\xA9 &amp; <b>bold</b> a &lt;i&gt; b", "http://a.example/1",
                    "Tue, 10 Jun 2003 12:00:00 GMT") +
            RssItem("Second \xE2\x80\x9Cquoted\xE2\x80\x9D", "http://a.example/2?x=1&amp;y", "") +
            RssItem("Third", "http://a.example/3", "Mon, 09 Jun 2003 12:00:00 GMT") +
            RssItem("Fourth", "http://a.example/4", "")));
    r.etag = "\"e1\"";
    return r;
  });
  LiveFeedSettings settings = QuickSettings();
  settings.refresh = milliseconds(300);
  settings.stateDir = dir;
  settings.fetch = [&](const std::string& u, const std::string& etag, const std::string& lm,
                       const HttpFetchLimits& limits, const std::atomic<bool>* abort) {
    {
      std::lock_guard<std::mutex> lock(logMutex);
      etagsSent.push_back(etag);
    }
    return net.Function()(u, etag, lm, limits, abort);
  };
  const std::vector<FeedSource> sources = {{"India news", url},
                                           {"Top stories", "http://down.example/"}};
  LivePageVersion before;
  {
    LiveFeeds live(settings, logger);
    live.SetSources(sources);
    // Nothing yet: no page to give rather than an empty one.
    EXPECT_FALSE(live.PageVersion("India news").filled);
    live.Start();
    ASSERT_TRUE(WaitFor(10, [&] { return StatusOf(live, url).status == "ok"; }));
    ASSERT_TRUE(live.WaitStateWritten(milliseconds(5000)));
    before = live.PageVersion("India news");
    ASSERT_EQ(Extract(*before.page).count, 4);
    EXPECT_FALSE(live.PageVersion("Top stories").filled);
  }

  // Back with every source down: the same bytes, time and validators at once.
  net.Set(url, [](int) { return Answer(500); });
  {
    LiveFeeds live(settings, logger);
    live.SetSources(sources);
    const LivePageVersion after = live.PageVersion("India news");
    EXPECT_EQ(*after.page, *before.page);
    EXPECT_EQ(after.changed, before.changed);
    EXPECT_TRUE(after.filled);
    EXPECT_FALSE(live.PageVersion("Top stories").filled);
    EXPECT_EQ(StatusOf(live, url).status, "ok");
    live.Start();
    ASSERT_TRUE(WaitFor(10, [&] { return StatusOf(live, url).fetches >= 1; }));
    {
      std::lock_guard<std::mutex> lock(logMutex);
      EXPECT_EQ(etagsSent.back(), "\"e1\"");
    }
    EXPECT_EQ(*live.Page("India news"), *before.page);  // a failure keeps the items
    ASSERT_TRUE(live.WaitStateWritten(milliseconds(5000)));
  }
  {
    std::lock_guard<std::mutex> lock(logMutex);
    EXPECT_EQ(log.find("skipping"), std::string::npos) << log;
  }

  // Rows changed behind our back are read as a feed is: markup made harmless,
  // unusable addresses and rows of the wrong type dropped, a forged page not
  // served; and no crash.
  Tamper(db,
         "UPDATE items SET title = '<url>x</url><headline_text>evil' WHERE position = 0;"
         "UPDATE items SET link = 'javascript:alert(1)' WHERE position = 1;"
         "UPDATE items SET title = x'00ff3c' WHERE position = 2;"
         "UPDATE pages SET body = '<url>http://forged.example/</url>';"
         "UPDATE sources SET etag = '\"e1\"' || char(13, 10) || 'X-Injected: 1';"
         "INSERT INTO sources(category, url, failures) VALUES('India news', 'http://x.example/', "
         "'many');");
  {
    LiveFeeds live(settings, logger);
    live.SetSources(sources);
    const std::string page = *live.Page("India news");
    const Pairs shown = Extract(page);
    ASSERT_EQ(shown.count, 2) << page;
    EXPECT_EQ(page.find("forged"), std::string::npos);
    EXPECT_EQ(page.find("javascript"), std::string::npos);
    EXPECT_EQ(page.find("<url>x"), std::string::npos);
    EXPECT_NE(page.find("evil"), std::string::npos);
    EXPECT_TRUE(shown.texts[0] == "Fourth" || shown.texts[1] == "Fourth") << page;
    EXPECT_NE(log.find("skipping a damaged item row"), std::string::npos) << log;
    EXPECT_NE(log.find("skipping a damaged source row"), std::string::npos) << log;
    EXPECT_NE(log.find("do not read as headlines"), std::string::npos) << log;
    // A validator that could smuggle a header into the request is not sent.
    live.Start();
    ASSERT_TRUE(WaitFor(10, [&] { return StatusOf(live, url).fetches >= 1; }));
    {
      std::lock_guard<std::mutex> lock(logMutex);
      EXPECT_EQ(etagsSent.back(), "");
    }

    // A source that leaves the sources file leaves the state.
    live.SetSources({{"Top stories", "http://down.example/"}});
    ASSERT_TRUE(live.WaitStateWritten(milliseconds(5000)));
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM sources WHERE url = '" + url + "'"), 0);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM items"), 0);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM pages"), 0);
  }

  // A file that is no database: kept aside untouched, a new state begun.
  const std::string garbage = "this is not a database, but someone's file\n";
  std::remove((db + "-wal").c_str());
  std::remove((db + "-shm").c_str());
  std::ofstream(db, std::ios::binary | std::ios::trunc) << garbage;
  log.clear();
  {
    LiveFeeds live(settings, logger);
    live.SetSources(sources);
    EXPECT_NE(log.find("cannot be used"), std::string::npos) << log;
    const size_t kept = log.find("kept as ");
    ASSERT_NE(kept, std::string::npos) << log;
    const std::string aside = log.substr(kept + 8, log.find(',', kept) - kept - 8);
    EXPECT_EQ(ReadFile(aside), garbage) << aside;
    live.Start();
    ASSERT_TRUE(WaitFor(10, [&] {
      return StatusOf(live, url).fetches >= 1 &&
             StatusOf(live, "http://down.example/").fetches >= 1;
    }));
    ASSERT_TRUE(live.WaitStateWritten(milliseconds(5000)));
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM sources"), 2);
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
