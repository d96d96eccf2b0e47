// The pieces an operator's tools read, without a server: HTTP dates and
// conditions, the metrics text, the status page's escaping.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "feedservice/http/HttpCache.h"
#include "feedservice/Metrics.h"
#include "feedservice/text/CodePage.h"
#include "feedservice/live/StatusPage.h"

namespace {

constexpr int64_t kNov1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

TEST(HttpCacheTest, DatesInAllThreeFormsAndNothingElse) {
  EXPECT_EQ(FormatHttpDate(kNov1994), "Sun, 06 Nov 1994 08:49:37 GMT");
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994"}) {
    int64_t t = 0;
    EXPECT_TRUE(ParseHttpDate(text, &t)) << text;
    EXPECT_EQ(t, kNov1994) << text;
  }
  int64_t t = 0;
  EXPECT_TRUE(ParseHttpDate("Thursday, 01-Jan-26 00:00:00 GMT", &t));
  EXPECT_EQ(FormatHttpDate(t), "Thu, 01 Jan 2026 00:00:00 GMT");
  for (const char* text :
       {"", "garbage", "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 06 Nov 1994 08:49:37 GMT ",
        "Sun, 6 Nov 1994 08:49:37 GMT", "Sun, 31 Feb 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:60:00 GMT",
        "Sun, 00 Nov 1994 08:49:37 GMT", "Sun, 06 Foo 1994 08:49:37 GMT", "Sun Nov 6 08:49:37 1994",
        "1994-11-06T08:49:37Z"}) {
    EXPECT_FALSE(ParseHttpDate(text, &t)) << text;
  }
}

// The service's calendar against the C library's, over three centuries of
// odd times (leap years, the century rules, the last second of a day), and
// every date it writes read back to the same second.
TEST(HttpCacheTest, DatesFollowTheCalendarBothWays) {
  for (int64_t t = 0; t < 7258118400; t += 86400 * 13 + 3599) {  // to 2200
    for (const int64_t at : {t, t - t % 86400 + 86399}) {
      const time_t value = static_cast<time_t>(at);
      struct tm parts;
      ASSERT_NE(gmtime_r(&value, &parts), nullptr);
      char expected[64];
      strftime(expected, sizeof expected, "%a, %d %b %Y %H:%M:%S GMT", &parts);
      const std::string text = FormatHttpDate(at);
      ASSERT_EQ(text, expected) << at;
      int64_t back = 0;
      ASSERT_TRUE(ParseHttpDate(text, &back)) << text;
      ASSERT_EQ(back, at) << text;
    }
  }
  int64_t t = 0;
  EXPECT_TRUE(ParseHttpDate("Tue, 29 Feb 2000 12:00:00 GMT", &t));
  EXPECT_EQ(FormatHttpDate(t), "Tue, 29 Feb 2000 12:00:00 GMT");
  EXPECT_FALSE(ParseHttpDate("Mon, 29 Feb 2100 12:00:00 GMT", &t));
  EXPECT_FALSE(ParseHttpDate("Sun, 31 Apr 2001 12:00:00 GMT", &t));
}

// The cases the server test cannot reach: blanks and bad members in a tag
// list, and dates around the time of change and the present.
TEST(HttpCacheTest, ConditionsAndHeaders) {
  const std::string etag = PageEtag("<headlines/>");
  EXPECT_NE(etag, PageEtag("<headlines/ >"));
  const int64_t changed = kNov1994;
  const int64_t now = kNov1994 + 100;
  // nullptr: the header is absent.
  const auto notModified = [&](const char* tags, const char* since) {
    ConditionalHeaders request;
    if (tags != nullptr) request.ifNoneMatch = tags;
    if (since != nullptr) request.ifModifiedSince = since;
    return IsNotModified(request, etag, changed, now);
  };
  EXPECT_TRUE(notModified((" \"x\" ,\t" + etag + " ").c_str(), nullptr));
  EXPECT_TRUE(notModified(("\"x\", bad\"tag, W/" + etag).c_str(), nullptr));
  EXPECT_FALSE(notModified("", FormatHttpDate(changed).c_str()));
  EXPECT_TRUE(notModified(nullptr, FormatHttpDate(changed + 50).c_str()));
  EXPECT_FALSE(notModified(nullptr, FormatHttpDate(changed - 1).c_str()));
  EXPECT_FALSE(notModified(nullptr, FormatHttpDate(now + 1).c_str()));

  EXPECT_EQ(XmlContentType("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a/>"),
            "text/xml; charset=ISO-8859-1");
  EXPECT_EQ(XmlContentType("\xEF\xBB\xBF<?xml version='1.0' encoding = 'utf-8' ?><a/>"),
            "text/xml; charset=utf-8");
  for (const char* page :
       {"<a/>", "", "<?xml version=\"1.0\"?><a/>", "<?xml encoding=\"x",
        "<?xml version=\"1.0\" encoding=\"a\r\nSet-Cookie: x\"?>",
        "<?xml version=\"1.0\" encoding=\"\"?>", " <?xml encoding=\"utf-8\"?>"}) {
    EXPECT_EQ(XmlContentType(page), "text/xml") << page;
  }
}

TEST(MetricsTest, TextFormatCountsAndEscapes) {
  MetricsRegistry registry;
  registry.DeclareCounter("c_total", "Help with \\ and\nline.");
  registry.DeclareHistogram("h_seconds", "Durations.", {0.1, 1});
  registry.Add("c_total", {{"url", "http://x/\"q\"\\\n"}}, 2);
  registry.Add("c_total", {{"url", "http://x/\"q\"\\\n"}});
  registry.Add("c_total", {{"url", "b"}}, -1);  // counters only go up: dropped
  registry.Add("undeclared_total", {});
  for (double v : {0.05, 0.1, 0.5, 7.0}) registry.Observe("h_seconds", {{"route", "page"}}, v);
  MetricsText text;
  registry.Render(&text);
  EXPECT_EQ(text.text(),
            "# HELP c_total Help with \\\\ and\\nline.\n"
            "# TYPE c_total counter\n"
            "c_total{url=\"http://x/\\\"q\\\"\\\\\\n\"} 3\n"
            "# HELP h_seconds Durations.\n"
            "# TYPE h_seconds histogram\n"
            "h_seconds_bucket{route=\"page\",le=\"0.1\"} 2\n"
            "h_seconds_bucket{route=\"page\",le=\"1\"} 3\n"
            "h_seconds_bucket{route=\"page\",le=\"+Inf\"} 4\n"
            "h_seconds_sum{route=\"page\"} 7.65\n"
            "h_seconds_count{route=\"page\"} 4\n");
  EXPECT_STREQ(MetricsRouteOf("/cgi-local/page?c=x"), "page");
  EXPECT_STREQ(MetricsRouteOf("/anything/else"), "other");
}

TEST(StatusPageTest, EveryTextIsEscapedAndOnlyWebAddressesAreLinks) {
  SourceStatus failed;
  failed.category = "AT&amp;T news";
  failed.url = "http://x/?a=<script>alert(1)</script>";
  failed.status = "error";
  failed.error = "bad <b>byte</b> \xFF";
  const std::string page =
      "<headlines><item><url>javascript:alert(1)</url><headline_text>one</headline_text></item>"
      "<item><url>http://n/\"onmouseover=\"x</url><headline_text>caf\xE9 \x93<i>x</i>\x94"
      "</headline_text></item></headlines>";
  const std::string html = RenderStatusPage(true, {failed}, {{failed.category, page}}, kNov1994);
  EXPECT_NE(html.find("<h2>AT&amp;amp;T news</h2>"), std::string::npos);
  EXPECT_NE(html.find("<tr class=\"failed\"><td>http://x/?a=&lt;script&gt;alert(1)&lt;/script&gt;"),
            std::string::npos);
  EXPECT_NE(html.find("bad &lt;b&gt;byte&lt;/b&gt; \xEF\xBF\xBD"), std::string::npos);
  EXPECT_NE(html.find("<li>one</li>"), std::string::npos);
  EXPECT_NE(html.find("<li><a href=\"http://n/&quot;onmouseover=&quot;x\">caf\xC3\xA9 "
                      "\xE2\x80\x9C&lt;i&gt;x&lt;/i&gt;\xE2\x80\x9D</a></li>"),
            std::string::npos)
      << html;
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("javascript:"), std::string::npos);

  // An instance serving another code page shows its headlines as such.
  const std::string russian = RenderStatusPage(
      true, {failed},
      {{failed.category,
        "<headlines><item><url>http://r/</url><headline_text>\xCC\xE8\xF0</headline_text></item>"
        "</headlines>"}},
      kNov1994, *CodePage::Find("windows-1251"));
  EXPECT_NE(russian.find(">\xD0\x9C\xD0\xB8\xD1\x80</a>"), std::string::npos) << russian;
  EXPECT_EQ(CodePage::Find("Shift_JIS")
                ->ToUtf8("\x82\xA0"
                         "a\x82"),
            "\xE3\x81\x82"
            "a\xEF\xBF\xBD");
  // A pair glibc's EUC-KR converter steps past while failing: no read past the end.
  EXPECT_EQ(CodePage::Find("EUC-KR")->ToUtf8("\xA2\xE8"), "\xEF\xBF\xBD");
}

}  // namespace
