// The ticker in a Russian-language Windows (ANSI code page 1251) reading a
// feed service that writes its live headlines in Windows-1251
// (feed-test.sh codepage starts it with --charset windows-1251 and names it
// in LIVE_FEED_HOST). The labels hold the Cyrillic bytes as sent, which
// Windows shows as Cyrillic letters; the screenshot shows them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/HeadlineWindow.h"

using namespace testsupport;

namespace {

constexpr int kRussiaNews = 300;

// tests/system/fixtures/live-russian.xml in Windows-1251: markup stripped,
// the em dash, guillemets, "No" sign and yo kept as the code page's own
// characters, the e with acute (which the code page lacks) as a bare e and
// Greek as "?".
std::vector<std::string> FixtureTexts() {
  std::vector<std::string> texts = {
      "\xCC\xEE\xF1\xEA\xE2\xE0 \xE3\xEE\xF2\xEE\xE2\xE8\xF2\xF1\xFF \xEA \xE7\xE8\xEC\xE5",
      "\xD6\xE5\xED\xFB \xED\xE0 \xED\xE5\xF4\xF2\xFC \xE2\xFB\xF0\xEE\xF1\xEB\xE8 \x97 "
      "\xAB\xC3\xE0\xE7\xEF\xF0\xEE\xEC\xBB \xE4\xEE\xE2\xEE\xEB\xE5\xED",
      "\xD1\xFA\xE5\xE7\xE4 \xEF\xE0\xF0\xF2\xE8\xE8 \xB9 5 \xEF\xF0\xEE\xF8\xB8\xEB & "
      "\xE7\xE0\xEA\xF0\xFB\xEB\xF1\xFF",
      "Cafe \xE2 \xC0\xF4\xE8\xED\xE0\xF5: ??????",
  };
  texts.resize(kSlots);
  return texts;
}

TEST(CodePageFeed, CyrillicHeadlinesReachTheLabelsOfARussianWindows) {
  const std::string host = Env("LIVE_FEED_HOST");
  ASSERT_FALSE(host.empty()) << "run by tests/system/feed-test.sh codepage";
  // The session is Russian: the ticker's ANSI text is read as Windows-1251.
  ASSERT_EQ(GetACP(), 1251u) << "the Wine session should run with LANG=ru_RU.UTF-8";
  DeleteSettingsKey();
  ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, kRussiaNews));
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, host.c_str()));

  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  EXPECT_EQ(SlotTexts(ticker.window), FixtureTexts());
  // What the labels hold, as Unicode: the bytes were read as Cyrillic.
  wchar_t first[64] = {};
  GetWindowTextW(SlotLabel(ticker.window, 0), first, 64);
  EXPECT_EQ(std::wstring(first),
            L"\x041C\x043E\x0441\x043A\x0432\x0430 \x0433\x043E\x0442\x043E\x0432\x0438\x0442"
            L"\x0441\x044F \x043A \x0437\x0438\x043C\x0435");
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("codepage-feed-1251")));
  DeleteSettingsKey();
}

}  // namespace
