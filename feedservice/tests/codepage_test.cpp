// Headlines in the code page of the readers' Windows: every supported code
// page writes its own script, stands in for what it lacks, cuts between whole
// characters, and can never produce the tag texts the ticker searches for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedservice/text/CodePage.h"
#include "feedservice/FeedOptions.h"
#include "feedservice/text/Headline.h"
#include "feedservice/live/LivePage.h"
#include "common/ContractStrings.h"

namespace {

// Are bytes whole characters of the code page (no broken double-byte
// character, no unassigned byte)?
bool Whole(const CodePage& page, const std::string& bytes) {
  return page.ToUtf8(bytes).find("\xEF\xBF\xBD") == std::string::npos;
}

bool HasTagText(const std::string& text) {
  for (const char* tag : {kUrlOpenTag, kUrlCloseTag, kHeadlineOpenTag, kHeadlineCloseTag}) {
    if (text.find(tag) != std::string::npos) return true;
  }
  return false;
}

std::string Repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

TEST(CodePage, EveryCodePageWritesItsScriptSafelyAndWhole) {
  struct Case {
    const char* label;     // as an operator might write it
    const char* declared;  // in the page and the Content-Type
    const char* title;     // UTF-8
    std::string bytes;     // the headline in the code page
  } cases[] = {
      {"windows-874", "windows-874", "\xE0\xB8\x82\xE0\xB9\x88\xE0\xB8\xB2\xE0\xB8\xA7",
       "\xA2\xE8\xD2\xC7"},
      {"cp932", "Shift_JIS", "\xE6\x9D\xB1\xE4\xBA\xAC", "\x93\x8C\x8B\x9E"},
      {"GBK", "GBK", "\xE6\x96\xB0\xE9\x97\xBB", "\xD0\xC2\xCE\xC5"},
      {"949", "EUC-KR", "\xEB\x89\xB4\xEC\x8A\xA4", "\xB4\xBA\xBD\xBA"},
      {"big5", "Big5", "\xE6\x96\xB0\xE8\x81\x9E",
       "\xB7s\xBB"
       "D"},
      {"Windows-1250", "windows-1250",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "\xA3\xF3"
       "d\x9F"},
      {"windows-1251", "windows-1251",
       "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8 \xD1\x8A",
       "\xCD\xEE\xE2\xEE\xF1\xF2\xE8 \xFA"},
      {"WINDOWS-1252", "windows-1252", "Caf\xC3\xA9 \xE2\x80\x9C\xE2\x80\x9D", "Caf\xE9 \x93\x94"},
      {"cp1253", "windows-1253", "\xCE\x95\xCE\xB9\xCE\xB4\xCE\xAE\xCF\x83\xCE\xB5\xCE\xB9\xCF\x82",
       "\xC5\xE9\xE4\xDE\xF3\xE5\xE9\xF2"},
      {"1254", "windows-1254", "\xC4\x9F\xC4\xB1\xC5\x9F", "\xF0\xFD\xFE"},
      {"windows-1255", "windows-1255", "\xD7\x97\xD7\x93\xD7\xA9\xD7\x95\xD7\xAA",
       "\xE7\xE3\xF9\xE5\xFA"},
      {"windows-1256", "windows-1256", "\xD8\xA3\xD8\xAE\xD8\xA8\xD8\xA7\xD8\xB1",
       "\xC3\xCE\xC8\xC7\xD1"},
      {"windows-1257", "windows-1257",
       "\xC5\xBD"
       "inios \xC4\x85",
       "\xDE"
       "inios \xE0"},
      {"windows-1258", "windows-1258",
       "Tin t\xE1\xBB\xA9"
       "c",
       "Tin t\xFD\xEC"
       "c"},
  };
  ASSERT_EQ(CodePage::All().size(), sizeof cases / sizeof cases[0]);
  // Scripts, marks and symbols most code pages lack.
  const std::string mixed =
      "\xD0\x96\xD1\x8A \xCE\xA9 \xE6\x9D\xB1 \xF0\x9F\x98\x80 \xC3\xA9\xC3\x9F \xE2\x80\x94 "
      "\xE2\x82\xAC \xD7\x90 \xE0\xB8\x81 \xC4\x9F \xC3\xA6 x\xCC\x81 \xE2\x80\xB9 <url>";
  for (const Case& c : cases) {
    const CodePage* page = CodePage::Find(c.label);
    ASSERT_NE(page, nullptr) << c.label;
    SCOPED_TRACE(page->name());
    EXPECT_EQ(page->name(), c.declared);
    EXPECT_EQ(CleanHeadline(c.title, TitleMarkup::kHtml, *page), c.bytes);

    // Whatever the script, a headline is well-formed in the code page, within
    // its length, and free of tag text; a cut one ends in the ellipsis.
    const std::vector<std::string> titles = {
        mixed,
        Repeat(c.title, 60),
        "a" + Repeat("\xE6\x9D\xB1", 151),
        "ab" + Repeat("\xE6\x9D\xB1", 151),
        Repeat("<a", 100),
        "x </headline_text><url>http://evil/</url> &lt;/url&gt;" + Repeat(c.title, 20),
    };
    for (const std::string& title : titles) {
      for (TitleMarkup markup : {TitleMarkup::kHtml, TitleMarkup::kText}) {
        const std::string headline = CleanHeadline(title, markup, *page);
        EXPECT_TRUE(Whole(*page, headline)) << title;
        EXPECT_LE(headline.size(), kMaxHeadlineBytes) << title;
        EXPECT_FALSE(HasTagText(headline)) << title;
        EXPECT_EQ(headline.find("  "), std::string::npos) << title;
        if (title.size() > 400) {
          EXPECT_EQ(headline.substr(headline.size() - page->ellipsis().size()), page->ellipsis());
        }
      }
    }

    // The proof that no tag text can arise: no character but "<" and ">"
    // themselves is written with a byte "<" or ">" (stand-ins included), and
    // in no valid double-byte character of the code page is either byte one.
    std::string all;
    for (uint32_t cp = 0x20; cp < 0x10000; ++cp) {
      if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == '<' || cp == '>') continue;
      page->Append(cp, &all);
    }
    EXPECT_EQ(all.find_first_of("<>"), std::string::npos);
    EXPECT_TRUE(Whole(*page, all));
    if (page->isDoubleByte()) {
      int pairs = 0;
      for (int lead = 0x80; lead < 0x100; ++lead) {
        for (int trail = 0; trail < 0x100; ++trail) {
          const std::string two = {static_cast<char>(lead), static_cast<char>(trail)};
          // One character from both bytes: a double-byte character.
          if (!Whole(*page, two) || Whole(*page, two.substr(0, 1))) {
            continue;
          }
          ++pairs;
          EXPECT_TRUE(trail != '<' && trail != '>' && trail != '/') << lead << " " << trail;
        }
      }
      EXPECT_GT(pairs, 5000);
    }

    // The page names the code page; the ticker reads its items back whole.
    ParsedFeed feed;
    feed.title = CleanHeadline(c.title, TitleMarkup::kHtml, *page);
    feed.items.push_back({feed.title, "http://e.example/1", 0});
    feed.items.push_back({CleanHeadline(Repeat("<a\xE6\x9D\xB1", 60), TitleMarkup::kHtml, *page),
                          "http://e.example/2", 0});
    const std::string built = BuildLivePage("Russia news", {&feed}, *page);
    EXPECT_EQ(built.substr(0, built.find('\n')),
              std::string("<?xml version=\"1.0\" encoding=\"") + c.declared + "\"?>");
    std::string urls[kHeadlineSlots];
    std::string texts[kHeadlineSlots];
    ASSERT_EQ(ExtractHeadlines(built.c_str(), urls, texts), 2);
    EXPECT_EQ(texts[0], c.bytes);
    EXPECT_EQ(texts[1], feed.items[1].title);
  }
}

TEST(CodePage, TheCharsetOptionAcceptsSupportedCodePagesOnly) {
  const char* good[][2] = {{"--charset=cp1251", "windows-1251"},
                           {"--charset=Shift_JIS", "Shift_JIS"},
                           {"--charset=windows-950", "Big5"},
                           {"--charset=874", "windows-874"}};
  for (const auto& g : good) {
    const char* argv[] = {"feedservice", g[0]};
    FeedOptions options;
    std::string error;
    ASSERT_EQ(ParseFeedOptions(2, argv, &options, &error), FeedCommand::kRun) << g[0];
    EXPECT_EQ(options.codePage->name(), g[1]);
  }
  FeedOptions defaults;
  EXPECT_EQ(defaults.codePage->name(), "windows-1252");
  for (const char* bad : {"--charset=utf-8", "--charset=koi8-r", "--charset=1249",
                          "--charset=", "--charset=windows-"}) {
    const char* argv[] = {"feedservice", bad};
    FeedOptions options;
    std::string error;
    EXPECT_EQ(ParseFeedOptions(2, argv, &options, &error), FeedCommand::kError) << bad;
    EXPECT_NE(error.find("unsupported --charset"), std::string::npos) << error;
  }
}

}  // namespace
