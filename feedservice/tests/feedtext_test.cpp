// Reading real feeds and the sources file into what the ticker can show:
// dialects, encodings, hostile documents and the headline cleaning rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "feedservice/text/FeedParser.h"
#include "feedservice/text/Dates.h"
#include "feedservice/text/Headline.h"
#include "feedservice/text/Links.h"
#include "feedservice/live/OpmlSources.h"

namespace {

TEST(FeedText, HeadlinesComeOutAsOneSafeWindows1252Line) {
  struct Case {
    const char* title;  // UTF-8, XML entities already decoded
    std::string expected;
  } cases[] = {
      {"Plain headline", "Plain headline"},
      {"  Many \n\t spaces\xC2\xA0"
       "and\xE2\x80\x83kinds  ",
       "Many spaces and kinds"},
      {"<b>Bold</b> move &amp; <a href=\"x\">link</a>", "Bold move & link"},
      {"Line<br/>break", "Line break"},
      {"Block<DIV>ends", "Block ends"},
      {"Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\x94 \xE2\x82\xAC"
       "5",
       "Caf\xE9 \x93quoted\x94 \x97 \x80"
       "5"},
      {"&eacute;t&eacute; &#8230; &#x263A; &bogus; & alone", "\xE9t\xE9 \x85 ? &bogus; & alone"},
      {"\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8 \xD0\xA9\xD1\x83\xD0\xBA\xD0\xB0",
       "Novosti Shchuka"},
      {"\xD0\x81\xD0\xB6 \xE2\x80\x90 \xE2\x81\x84", "Yozh - /"},
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA \xC5\x9Bwi\xC4\x99ty \xE6\x9D\xB1\xE4\xBA\xAC",
       "L\xF3"
       "dz swiety ??"},
      {"zero\xE2\x80\x8Bwidth\xC2\xAD soft", "zerowidth soft"},
      {"bad \xFF\xC3 utf8", "bad ?? utf8"},
      // Tag texts the ticker searches for can never survive.
      {"a </headline_text><url>http://evil/</url> b", "a http://evil/ b"},
      {"a &lt;/headline_text&gt; b", "a \x8B/headline_text> b"},
      {"<</url>url> nested", "\x8Burl> nested"},
      {"x < y and 3<4", "x < y and 3<4"},
      {"<p></p>   ", ""},
      // Scripts, style sheets and comments go with their contents.
      {"Safe<script>alert(1)</script> headline", "Safe headline"},
      {"<STYLE type=\"text/css\">p { color: red }</Style>Styled <!-- note -->text", "Styled text"},
      {"Kept <script src=\"x\"/>and <script>never closed", "Kept and"},
      // A character with an empty stand-in leaves no double blank.
      {"Putin \xD1\x8A said \xCC\x81 so \xD1\x8C", "Putin said so"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CleanHeadline(c.title), c.expected) << c.title;
  }
  // Plain-text titles: "<" and "&" are characters, nothing is decoded again.
  EXPECT_EQ(CleanHeadline("Why <canvas> &amp; <video> matter", TitleMarkup::kText),
            "Why \x8B"
            "canvas> &amp; \x8Bvideo> matter");
  EXPECT_EQ(CleanHeadline("</url> <!-- x -->", TitleMarkup::kText), "\x8B/url> <!-- x -->");
  // Runs of "&" or "<a" (which once cost a pass each) come out whole.
  EXPECT_EQ(CleanHeadline(std::string(65536, '&')), std::string(149, '&') + "\x85");
  std::string tags;
  for (int i = 0; i < 32768; ++i) tags += "<a";
  EXPECT_EQ(CleanHeadline(tags).substr(0, 4),
            "\x8B"
            "a\x8B"
            "a");
  const std::string longTitle(400, 'x');
  const std::string words = std::string(140, 'a') + " tail of a long headline";
  EXPECT_EQ(CleanHeadline(longTitle).size(), kMaxHeadlineBytes);
  EXPECT_EQ(CleanHeadline(longTitle).back(), '\x85');
  EXPECT_EQ(CleanHeadline(words), std::string(140, 'a') + " tail of\x85");
}

TEST(FeedText, OnlyHttpAddressesSurviveAndAreMadeSafe) {
  const char* feed = "https://news.example.org/feeds/main.xml?x=1";
  struct Case {
    const char* link;
    const char* expected;
  } cases[] = {
      {"http://a.example/x?y=1&z=2", "http://a.example/x?y=1&z=2"},
      {"  HTTPS://a.example/\n", "https://a.example/"},
      {"/story/1", "https://news.example.org/story/1"},
      {"//cdn.example/p", "https://cdn.example/p"},
      {"story/2.html", "https://news.example.org/feeds/story/2.html"},
      {"http://a.example/a b<\"c\">\xC3\xA9", "http://a.example/a%20b%3C%22c%22%3E%C3%A9"},
      {"?page=2", "https://news.example.org/feeds/main.xml?page=2"},
      {"#top", "https://news.example.org/feeds/main.xml?x=1#top"},
      {"list?at=12:00", "https://news.example.org/feeds/list?at=12:00"},
      {"javascript:alert(1)", ""},
      {"ftp://a.example/file", ""},
      {"mailto:x@example.org", ""},
      {"http:///nohost", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanLink(c.link, feed), c.expected) << c.link;
  EXPECT_EQ(CleanLink("http://a.example/" + std::string(kMaxLinkBytes, 'x'), feed), "");
}

TEST(FeedText, DatesOfBothFamiliesAreRead) {
  const int64_t kJun10 = 1055217600;  // 2003-06-10T04:00:00Z
  struct Case {
    const char* text;
    int64_t expected;
  } cases[] = {
      {"Tue, 10 Jun 2003 04:00:00 GMT", kJun10},
      {"Tue, 10 Jun 2003 06:00:00 +0200", kJun10},
      {"10 Jun 2003 00:00:00 EDT", kJun10},
      {"Tue, 10 June 03 04:00 Z", kJun10},
      {"Tue, 10 Jun 2003 4:00:00 GMT", kJun10},
      {"Tue, 10 Jun 2003 04:0 GMT", 0},
      {"2003-06-10T04:00:00Z", kJun10},
      {"2003-06-10T05:30:00.25+01:30", kJun10},
      {"2003-06-10", kJun10 - 4 * 3600},
      {"2003-06-10T4:00:00Z", 0},
      {"yesterday", 0},
      {"", 0},
      {"Tue, 40 Jun 2003 04:00:00 GMT", 0},
      // Dates that do not exist and text behind the zone give no date.
      {"Sat, 31 Feb 2004 04:00:00 GMT", 0},
      {"29 Feb 2003 04:00 GMT", 0},
      {"2003-02-29", 0},
      {"2004-02-29T00:00:00Z", 1078012800},
      {"Tue, 10 Jun 2003 04:00:00 GMT and more", 0},
      {"Tue, 10 Jun 2003 04:00:00 GMT (Greenwich) ", kJun10},
      {"Tue, 10 Jun 2003 06:00:00 +0200x", 0},
      {"2003-06-10T04:00:00Zjunk", 0},
      {"2003-06-10junk", 0},
      {"2003-06-10T06:00:00+02", kJun10},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFeedDate(c.text), c.expected) << c.text;
}

struct FeedCase {
  const char* name;
  std::string document;
  const char* charsetHint;
  std::vector<std::string> titles;
  std::vector<std::string> links;
};

TEST(FeedParser, ReadsTheUsualDialectsAndEncodings) {
  const FeedCase cases[] = {
      {"RSS 2.0, UTF-8, CDATA, entities, guid as link",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel>"
       "<title>Main</title><link>http://example.org/</link>"
       "<item><title><![CDATA[Caf\xC3\xA9 <i>opens</i> & more]]></title>"
       "<link>http://example.org/1</link><pubDate>Tue, 10 Jun 2003 04:00:00 GMT</pubDate></item>"
       "<item><title>Tom &amp; Jerry &#8217;s &lt;b&gt;day&lt;/b&gt;</title>"
       "<guid>http://example.org/2</guid></item>"
       "<item><title>no link</title></item>"
       "<item><title></title><link>http://example.org/empty</link></item>"
       "</channel></rss>",
       "",
       {"Caf\xE9 opens & more", "Tom & Jerry \x92s day"},
       {"http://example.org/1", "http://example.org/2"}},
      {"RSS 1.0 with namespaces and dc:date",
       "<?xml version=\"1.0\"?>"
       "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
       "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
       "<channel rdf:about=\"http://example.org/\"><title>One</title></channel>"
       "<item rdf:about=\"http://example.org/a\"><title>First</title>"
       "<link>http://example.org/a</link><dc:date>2003-06-10T04:00:00Z</dc:date></item>"
       "</rdf:RDF>",
       "",
       {"First"},
       {"http://example.org/a"}},
      {"Atom with html title, alternate link, relative href",
       "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Atom</title>"
       "<entry><title type=\"html\">A &lt;em&gt;big&lt;/em&gt; day</title>"
       "<link rel=\"self\" href=\"http://example.org/self\"/>"
       "<link href=\"/entry/1\"/><updated>2003-06-10T04:00:00Z</updated></entry>"
       "<entry><title type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">X<b>html</b>"
       "</div></title><link rel=\"alternate\" href=\"http://example.org/2\"/></entry>"
       "</feed>",
       "",
       {"A big day", "Xhtml"},
       {"http://feeds.example.net/entry/1", "http://example.org/2"}},
      {"ISO-8859-1 read as Windows-1252",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel>"
       "<item><title>M\xFCller \x80 10 &#233;</title><link>http://example.org/m</link></item>"
       "</channel></rss>",
       "",
       {"M\xFCller \x80 10 \xE9"},
       {"http://example.org/m"}},
      {"Windows-1251 transliterated",
       "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss><channel>"
       "<item><title>\xCD\xEE\xE2\xEE\xF1\xF2\xE8 &amp; \xC6\xE8\xE7\xED\xFC</title>"
       "<link>http://example.org/r</link></item></channel></rss>",
       "",
       {"Novosti & Zhizn"},
       {"http://example.org/r"}},
      {"Atom titles read by their type; other titles when there is none",
       "<feed xmlns=\"http://www.w3.org/2005/Atom\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
       " xmlns:media=\"http://search.yahoo.com/mrss/\">"
       "<entry><title type=\"text\">Why &lt;canvas&gt; &amp;amp; &lt;video&gt; matter</title>"
       "<link href=\"http://e.org/1\"/></entry>"
       "<entry><title>Plain &amp;lt;b&amp;gt;</title><link href=\"http://e.org/2\"/></entry>"
       "<entry><title type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">1 &lt; 2"
       "<br/>&lt;b&gt;<script>x()</script></div></title><link href=\"http://e.org/3\"/></entry>"
       "<entry><title type=\"html\">Safe&lt;script&gt;alert(1)&lt;/script&gt; headline</title>"
       "<link href=\"http://e.org/4\"/></entry>"
       "<entry><dc:title>Dublin &lt;core&gt;</dc:title><link href=\"http://e.org/5\"/></entry>"
       "<entry><media:group><media:title>From media</media:title></media:group>"
       "<link href=\"http://e.org/6\"/></entry>"
       "</feed>",
       "",
       {"Why \x8B"
        "canvas> &amp; \x8Bvideo> matter",
        "Plain &lt;b&gt;",
        "1 < 2 \x8B"
        "b>",
        "Safe headline",
        "Dublin \x8B"
        "core>",
        "From media"},
       {"http://e.org/1", "http://e.org/2", "http://e.org/3", "http://e.org/4", "http://e.org/5",
        "http://e.org/6"}},
      {"Atom 0.3 titles: plain, escaped HTML, base64",
       "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\">"
       "<entry><title type=\"text/plain\">a &lt;b&gt; &amp;amp;</title>"
       "<link rel=\"alternate\" href=\"http://e.org/a\"/></entry>"
       "<entry><title type=\"text/html\" mode=\"escaped\">&lt;i&gt;it&lt;/i&gt; &amp;amp;</title>"
       "<link href=\"http://e.org/b\"/></entry>"
       "<entry><title mode=\"base64\">Q2Fmw6kgPG5ld3M+</title>"
       "<link href=\"http://e.org/c\"/></entry>"
       "</feed>",
       "",
       {"a \x8B"
        "b> &amp;",
        "it &", "Caf\xE9 \x8Bnews>"},
       {"http://e.org/a", "http://e.org/b", "http://e.org/c"}},
      {"charset from the HTTP header when the document declares none",
       "<rss><channel><item><title>\xCD\xEE\xE2\xEE\xF1\xF2\xE8</title>"
       "<link>http://example.org/h</link></item></channel></rss>",
       "windows-1251",
       {"Novosti"},
       {"http://example.org/h"}},
  };
  for (const FeedCase& c : cases) {
    ParsedFeed feed;
    std::string error;
    ASSERT_TRUE(ParseFeedDocument(c.document, c.charsetHint, "http://feeds.example.net/a.xml",
                                  &feed, &error))
        << c.name << ": " << error;
    std::vector<std::string> titles;
    std::vector<std::string> links;
    for (const FeedItem& item : feed.items) {
      titles.push_back(item.title);
      links.push_back(item.link);
    }
    EXPECT_EQ(titles, c.titles) << c.name;
    EXPECT_EQ(links, c.links) << c.name;
  }
}

TEST(FeedParser, ReadsUserlandRssAndTheChannelsTtl) {
  // RSS 2.0 in userland's namespace is RSS 2.0; the channel's first <ttl>
  // counts, in minutes, not an item's.
  ParsedFeed feed;
  std::string error;
  ASSERT_TRUE(ParseFeedDocument(
      "<rss version=\"2.0\" xmlns=\"http://backend.userland.com/rss2\"><channel><ttl> 30 </ttl>"
      "<item><title>One</title><link>http://example.org/1</link><ttl>5</ttl></item>"
      "<ttl>7</ttl></channel></rss>",
      "", "http://example.org/", &feed, &error))
      << error;
  EXPECT_EQ(feed.items.size(), 1u);
  EXPECT_EQ(feed.ttl, 1800);
  const std::pair<const char*, int64_t> ttls[] = {
      {"999999999", 59999999940}, {"1000000000", 0}, {"-5", 0}, {"1 hour", 0}, {"", 0}};
  for (const auto& [ttl, seconds] : ttls) {
    ASSERT_TRUE(
        ParseFeedDocument(std::string("<rss><channel><ttl>") + ttl + "</ttl></channel></rss>", "",
                          "http://example.org/", &feed, &error));
    EXPECT_EQ(feed.ttl, seconds) << ttl;
  }
  // Another namespace on the root is still no feed.
  EXPECT_FALSE(ParseFeedDocument("<rss xmlns=\"http://example.org/rss\"/>", "",
                                 "http://example.org/", &feed, &error));
}

TEST(FeedParser, RefusesHostileAndBrokenDocumentsQuickly) {
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j)
      laughs += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
    laughs += "\">";
  }
  laughs += "]><rss><channel><item><title>&lol9;</title></item></channel></rss>";
  std::string deep = "<rss><channel>";
  for (int i = 0; i < 100000; ++i) deep += "<x>";
  std::string external =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<rss><channel><item><title>&x;</title></item></channel></rss>";
  struct Case {
    const char* name;
    std::string document;
    const char* message;
  } cases[] = {
      {"billion laughs", laughs, "entity declarations"},
      {"external entity", external, "entity declarations"},
      {"deep nesting", deep, "nested deeper"},
      {"HTML page", "<html><body>Oops</body></html>", "not an RSS or Atom feed"},
      {"not well-formed", "<rss><channel><item></channel></rss>", "line 1"},
      {"unknown multi-byte encoding", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><rss/>",
       "encoding"},
      {"empty", "", "line 1"},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    ParsedFeed feed;
    std::string error;
    EXPECT_FALSE(ParseFeedDocument(c.document, "", "http://example.org/", &feed, &error)) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
  }
}

TEST(OpmlSources, MapsCategoryOutlinesToFeeds) {
  const std::string opml =
      "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><head><title>mine</title></head><body>\n"
      "<outline text=\"India news\">\n"
      "  <outline type=\"rss\" text=\"A\" xmlUrl=\"http://a.example/rss\"/>\n"
      "  <outline type=\"rss\" text=\"A again\" xmlUrl=\"http://a.example/rss\"/>\n"
      "  <outline type=\"rss\" text=\"B\" xmlUrl=\"https://b.example/atom\"/>\n"
      "</outline>\n"
      "<outline title=\"AT&amp;T news\"><outline xmlUrl=\"http://att.example/\"/></outline>\n"
      "<outline text=\"Gardening\"><outline xmlUrl=\"http://g.example/\"/></outline>\n"
      "<outline text=\"Top stories\"><outline xmlUrl=\"file:///etc/passwd\"/></outline>\n"
      "<outline xmlUrl=\"http://loose.example/\"/>\n"
      "</body></opml>\n";
  std::vector<FeedSource> sources;
  std::vector<std::string> warnings;
  std::string error;
  ASSERT_TRUE(ParseOpmlSources(opml, &sources, &warnings, &error)) << error;
  ASSERT_EQ(sources.size(), 3u);
  EXPECT_EQ(sources[0].category, "India news");
  EXPECT_EQ(sources[0].url, "http://a.example/rss");
  EXPECT_EQ(sources[1].url, "https://b.example/atom");
  EXPECT_EQ(sources[2].category, "AT&amp;T news");
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_NE(warnings[0].find("line 9: 'Gardening' is not a catalogue category"), std::string::npos)
      << warnings[0];
  EXPECT_NE(warnings[1].find("not http or https"), std::string::npos) << warnings[1];
  EXPECT_NE(warnings[2].find("not inside a category outline"), std::string::npos) << warnings[2];
}

TEST(OpmlSources, BrokenFilesGiveAClearError) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"<opml><body><outline text=\"India news\"></body></opml>", "line 1: mismatched tag"},
      {"<html/>", "not an OPML document"},
      {"<opml><body><outline text=\"Gardening\"><outline xmlUrl=\"http://g/\"/></outline>"
       "</body></opml>",
       "no feed of a catalogue category"},
      {"<!DOCTYPE o [<!ENTITY a \"b\">]><opml/>", "entity declarations"},
  };
  for (const Case& c : cases) {
    std::vector<FeedSource> sources;
    std::vector<std::string> warnings;
    std::string error;
    EXPECT_FALSE(ParseOpmlSources(c.text, &sources, &warnings, &error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
  }
  // About the source limit: a file cut short is refused whatever its count; a
  // whole file with more feeds keeps the first kMaxSources.
  for (size_t count : {kMaxSources - 1, kMaxSources, kMaxSources + 1}) {
    std::string feeds = "<opml><body><outline text=\"India news\">";
    for (size_t i = 0; i < count; ++i) {
      feeds += "<outline xmlUrl=\"http://f.example/" + std::to_string(i) + "\"/>";
    }
    for (bool whole : {false, true}) {
      const std::string text = whole ? feeds + "</outline></body></opml>" : feeds;
      std::vector<FeedSource> sources;
      std::vector<std::string> warnings;
      std::string error;
      const bool expected = whole;
      EXPECT_EQ(ParseOpmlSources(text, &sources, &warnings, &error), expected)
          << count << " feeds, whole: " << whole << ", " << error;
      if (whole) {
        EXPECT_EQ(sources.size(), std::min(count, kMaxSources));
      }
      EXPECT_EQ(warnings.size(), count > kMaxSources ? 1u : 0u) << count;
    }
  }
}

}  // namespace
