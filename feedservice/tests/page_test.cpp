// The feed service's pure logic: query decoding, the pages it generates, the
// bundled sample data, the command line and the access log line.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "feedservice/http/AccessLog.h"
#include "feedservice/FeedOptions.h"
#include "feedservice/http/Query.h"
#include "feedservice/text/XmlEscape.h"
#include "feedservice/FeedPage.h"
#include "feedservice/live/LivePage.h"
#include "common/ContractStrings.h"

namespace {

// The pairs the ticker would take out of a page: (<url>, following
// <headline_text>), found by plain substring search as the ticker does.
std::vector<std::pair<std::string, std::string>> TickerPairs(const std::string& page) {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t pos = 0;
  auto extract = [&](const std::string& open, const std::string& close, std::string* out) {
    const size_t start = page.find(open, pos);
    if (start == std::string::npos) return false;
    const size_t end = page.find(close, start + open.size());
    if (end == std::string::npos || end == start + open.size()) return false;
    *out = page.substr(start + open.size(), end - start - open.size());
    pos = end + close.size();
    return true;
  };
  std::string url;
  while (pairs.size() < 20 && extract("<url>", "</url>", &url)) {
    std::string text;
    extract("<headline_text>", "</headline_text>", &text);
    pairs.emplace_back(url, text);
  }
  return pairs;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

TEST(FeedQuery, DecodesValues) {
  struct Case {
    const char* in;
    bool ok;
    const char* out;
  } cases[] = {
      {"India%20news", true, "India news"},
      {"AT%26amp%3BT%20news", true, "AT&amp;T news"},
      {"Coca%2DCola%20news", true, "Coca-Cola news"},
      {"Media%3A%20Europe%20news", true, "Media: Europe news"},
      {"a%2fb%2Fc", true, "a/b/c"},
      {"a+b", true, "a b"},
      {"%E9t%E9", true, "\xE9t\xE9"},
      {"", true, ""},
      {"%", false, ""},
      {"abc%4", false, ""},
      {"%zz", false, ""},
      {"%4g", false, ""},
      {"%00", false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(DecodeQueryValue(c.in, &out), c.ok) << c.in;
    if (c.ok) {
      EXPECT_EQ(out, c.out) << c.in;
    }
  }
}

TEST(FeedQuery, ParsesKeys) {
  FeedQuery q;
  std::string error;
  ASSERT_TRUE(ParseFeedQuery("c=India%20news&o=xml", &q, &error));
  EXPECT_TRUE(q.hasCategory && q.hasFormat);
  EXPECT_EQ(q.category, "India news");
  EXPECT_EQ(q.format, "xml");

  ASSERT_TRUE(ParseFeedQuery("x=%zz&o=xml&c=", &q, &error));  // other keys are not read
  EXPECT_TRUE(q.hasCategory);
  EXPECT_EQ(q.category, "");

  ASSERT_TRUE(ParseFeedQuery("o=xml", &q, &error));
  EXPECT_FALSE(q.hasCategory);

  for (const char* bad : {"c=%zz&o=xml", "c=a&o=%", "c=a&c=b&o=xml", "c=a&o=xml&o=xml"}) {
    error.clear();
    EXPECT_FALSE(ParseFeedQuery(bad, &q, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(FeedPage, EscapesElementText) {
  EXPECT_EQ(EscapeXmlText("a&b<c>d"), "a&amp;b&lt;c&gt;d");
  EXPECT_EQ(EscapeXmlText("AT&amp;T"), "AT&amp;amp;T");
  EXPECT_EQ(EscapeXmlText(std::string("x\x01y\tz\n", 6)), "x?y\tz\n");
  EXPECT_EQ(EscapeXmlText("\xE9"), "\xE9");
}

// Every catalogue name: encoded by the ticker's rule, decoded by the service,
// and answered with a page of 5 to 12 items the ticker can read.
TEST(FeedPage, EveryCatalogueNameRoundTrips) {
  const SampleHeadlines& data = BundledSampleHeadlines();
  for (int i = 0; i < kCategoryCount; ++i) {
    const std::string name = CategoryNameTable[i].text;
    const int code = CategoryNameTable[i].code;
    FeedQuery q;
    std::string error;
    ASSERT_TRUE(ParseFeedQuery("c=" + EncodeCategoryName(name.c_str()) + "&o=xml", &q, &error))
        << name;
    ASSERT_EQ(q.category, name);
    ASSERT_EQ(CatalogueCodeOf(q.category), code) << name;

    const std::string page = BuildFeedPage(q.category, code, data);
    EXPECT_EQ(page.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", 0), 0u);
    EXPECT_NE(page.find("<category>" + EscapeXmlText(name) + "</category>"), std::string::npos);
    const auto pairs = TickerPairs(page);
    EXPECT_GE(pairs.size(), 5u) << name;
    EXPECT_LE(pairs.size(), 12u) << name;
    EXPECT_EQ(Count(page, "<item>"), pairs.size()) << name;
    EXPECT_EQ(Count(page, "<headline_text>"), pairs.size()) << name;
    std::set<std::string> headlines;
    for (const auto& [url, text] : pairs) {
      EXPECT_EQ(url.rfind("http://news.example.com/", 0), 0u) << url;
      EXPECT_EQ(url.find_first_of("&<> \""), std::string::npos) << url;
      EXPECT_FALSE(text.empty()) << name;
      EXPECT_EQ(text.find('{'), std::string::npos) << text;  // no placeholder left over
      headlines.insert(text);
    }
    EXPECT_EQ(headlines.size(), pairs.size()) << name << ": a headline repeats";
    EXPECT_EQ(page, BuildFeedPage(q.category, code, data)) << "pages must be deterministic";
  }
}

TEST(FeedPage, CountsVaryAcrossCategories) {
  std::set<size_t> counts;
  for (int i = 0; i < kCategoryCount; ++i) {
    const char* name = CategoryNameTable[i].text;
    counts.insert(
        Count(BuildFeedPage(name, CategoryNameTable[i].code, BundledSampleHeadlines()), "<item>"));
  }
  EXPECT_GE(counts.size(), 5u);
}

TEST(FeedPage, TopicsReadWell) {
  struct Case {
    const char* name;
    const char* topic;
  } cases[] = {
      {"India news", "India"},
      {"Europe news", "Europe"},
      {"AT&amp;T news", "AT&T"},
      {"Sports: golf news", "golf"},
      {"Consumer: book reviews", "book reviews"},
      {"Jokes", "Jokes"},
      {"Top stories", "Top stories"},
  };
  for (const Case& c : cases) EXPECT_EQ(CategoryTopic(c.name), c.topic) << c.name;

  // The ampersand of "AT&amp;T" reaches the page as one entity, which the
  // ticker shows as the catalogue does.
  const std::string page = BuildFeedPage("AT&amp;T news", 124, BundledSampleHeadlines());
  EXPECT_NE(page.find("AT&amp;T "), std::string::npos);
  EXPECT_EQ(page.find("AT&amp;T news</headline"), std::string::npos);
  EXPECT_EQ(TickerPairs(page).front().second.find("&amp;amp;"), std::string::npos);
}

TEST(FeedPage, OtherNamesGetAPageWithoutItems) {
  const std::vector<std::string> names = {"",
                                          "Nope",
                                          "india news",
                                          "India news ",
                                          "<url>http://x</url>",
                                          "a</category><item><url>u</url><headline_text>t"};
  for (const std::string& name : names) {
    EXPECT_EQ(CatalogueCodeOf(name), 0) << name;
    const std::string page = BuildFeedPage(name, 0, BundledSampleHeadlines());
    EXPECT_TRUE(TickerPairs(page).empty()) << name;
    EXPECT_EQ(Count(page, "<item>"), 0u) << name;
    EXPECT_NE(page.find("<headlines>"), std::string::npos);
    EXPECT_NE(page.find("</headlines>"), std::string::npos);
  }
}

// An item at http://x.example/<name>, or at the address of item sameAs.
FeedItem Item(const std::string& name, int64_t published, int64_t firstSeen,
              const std::string& sameAs = "") {
  return {name, "http://x.example/" + (sameAs.empty() ? name : sameAs), published, firstSeen};
}
// n items <letter><k>, newest first, dated start - k and first seen at start.
ParsedFeed Dated(char letter, int n, int64_t start) {
  ParsedFeed feed;
  for (int k = 0; k < n; ++k) {
    feed.items.push_back(Item(letter + std::to_string(k), start - k, start));
  }
  return feed;
}

TEST(LivePage, EverySourceGetsItsShareOfTheFairPage) {
  constexpr int64_t t = 1700000000;
  // A source with 40 recent items beside three with nine each: one dated 2099
  // (it counts from when it was first seen), undated ones (likewise), and two
  // addresses found twice (the newer item counts).
  const ParsedFeed a = Dated('a', 40, t);
  ParsedFeed b = Dated('b', 9, t - 60);
  b.items[0] = Item("b0", 4070908800, t - 50);
  ParsedFeed c;
  for (int k = 0; k < 9; ++k) c.items.push_back(Item("c" + std::to_string(k), 0, t - 2 - 10 * k));
  ParsedFeed d = Dated('d', 9, t - 100);
  d.items[0] = Item("d0", t + 5, t, "a1");
  d.items[1] = Item("d1", t - 90, t, "c8");
  // A feed without items is owed nothing; an undated item never seen comes last.
  ParsedFeed e;
  e.items = {Item("e0", t - 1000, t), Item("e1", 0, 0)};
  const ParsedFeed none, later = Dated('c', 9, t - 100);
  const struct {
    std::vector<const ParsedFeed*> feeds;
    const char* page;
  } cases[] = {
      {{&a, &b, &c, &d}, "d0 a0 a2 c0 a3 a4 a5 c1 c2 c3 c4 b0 b1 b2 b3 b4 d2 d3 d4 d5"},
      {{&a, &e, &none, &later}, "a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 a10 a11 c0 c1 c2 c3 c4 c5 e0 e1"},
  };
  for (const auto& test : cases) {
    std::string page;
    for (const MergedItem& m : MergeFeedItems(test.feeds)) {
      page += (page.empty() ? "" : " ") + m.item->title;
      const std::vector<FeedItem>& own = test.feeds[m.feed]->items;  // the feed it names
      EXPECT_TRUE(m.item >= own.data() && m.item < own.data() + own.size()) << m.item->title;
    }
    EXPECT_EQ(page, test.page);
  }
}

TEST(FeedOptionsTest, ParsesTheCommandLine) {
  struct Case {
    std::vector<const char*> args;
    FeedCommand command;
    const char* listen;
    int port;
    const char* portFile;
  } cases[] = {
      {{}, FeedCommand::kRun, "127.0.0.1", VANTREL_FEED_PORT, ""},
      {{"--listen", "0.0.0.0", "--port", "0", "--port-file", "p", "--data", "d", "--access-log",
        "l"},
       FeedCommand::kRun,
       "0.0.0.0",
       0,
       "p"},
      {{"--port=65535", "--port-file=x"}, FeedCommand::kRun, "127.0.0.1", 65535, "x"},
      {{"--port", "1", "--port", "2"}, FeedCommand::kRun, "127.0.0.1", 2, ""},
      {{"--help"}, FeedCommand::kHelp, "", 0, ""},
      {{"--port", "65536"}, FeedCommand::kError, "", 0, ""},
      {{"--port", "-1"}, FeedCommand::kError, "", 0, ""},
      {{"--port", "12ab"}, FeedCommand::kError, "", 0, ""},
      {{"--port", ""}, FeedCommand::kError, "", 0, ""},
      {{"--port"}, FeedCommand::kError, "", 0, ""},
      {{"--data="}, FeedCommand::kError, "", 0, ""},
      {{"--verbose"}, FeedCommand::kError, "", 0, ""},
      {{"stray"}, FeedCommand::kError, "", 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"feedservice"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    FeedOptions options;
    std::string error;
    const FeedCommand command =
        ParseFeedOptions(static_cast<int>(argv.size()), argv.data(), &options, &error);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(command, c.command) << label;
    if (command == FeedCommand::kError) {
      EXPECT_FALSE(error.empty()) << label;
    }
    if (command != FeedCommand::kRun) continue;
    EXPECT_EQ(options.listenAddress, c.listen);
    EXPECT_EQ(options.port, c.port);
    EXPECT_EQ(options.portFile, c.portFile);
  }
  // The live state's options: a directory, and the longest wait up to 30 days.
  const char* live[] = {"feedservice", "--state", "/var/lib/x", "--max-interval=3600"};
  FeedOptions options;
  std::string error;
  ASSERT_EQ(ParseFeedOptions(4, live, &options, &error), FeedCommand::kRun) << error;
  EXPECT_EQ(options.stateDir, "/var/lib/x");
  EXPECT_EQ(options.maxIntervalSeconds, 3600);
  const char* tooLong[] = {"feedservice", "--max-interval", "2592001"};
  EXPECT_EQ(ParseFeedOptions(3, tooLong, &options, &error), FeedCommand::kError);
}

TEST(FeedOptionsTest, DefaultPortIsTheTickersDefaultHost) {
  const std::string host = VANTREL_FEED_HOST;
  EXPECT_EQ(host.substr(host.rfind(':') + 1), std::to_string(VANTREL_FEED_PORT));
}

TEST(AccessLogLine, Format) {
  EXPECT_EQ(
      AccessLog::FormatLine("GET", "/cgi-local/page?c=India%20news&o=xml", 200, 1607, "DediDodi"),
      "GET /cgi-local/page?c=India%20news&o=xml 200 1607 \"DediDodi\"");
  EXPECT_EQ(AccessLog::FormatLine("", "", 414, 21, ""), "- - 414 21 \"\"");
  EXPECT_EQ(AccessLog::FormatLine("GET", "/a\nb", 404, 10, "x\"y\\z\r\n"),
            "GET /a\\x0Ab 404 10 \"x\\x22y\\x5Cz\\x0D\\x0A\"");
}

}  // namespace
