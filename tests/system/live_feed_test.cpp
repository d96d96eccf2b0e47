// The ticker reading live headlines: a feed service whose "Europe news" page
// is filled from an RSS 2.0 and an Atom fixture feed (feed-test.sh live
// starts it and names it in LIVE_FEED_HOST). What the feeds say in UTF-8, with
// entities, CDATA and markup, reaches the labels as Windows-1252 text; a click
// opens the item's address; a new story appears after "Reload NEWS".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Browser.h"
#include "tests/support/HeadlineWindow.h"

using namespace testsupport;

namespace {

constexpr int kEuropeNews = 276;

// The fixture feeds merged: newest first, the older copy of the café story
// and the item without a web address left out; the undated story counts as
// published when the service first saw it, so it is the newest.
std::vector<std::string> FixtureTexts() {
  std::vector<std::string> texts = {
      "Undated story across lines",
      "Storm warning for the coast",
      "Caf\xE9 owners & bakers agree",
      "Markets rally as the euro reaches \x80"
      "1.20",
      "A quote \x8B/headline_text> inside",
  };
  texts.resize(kSlots);
  return texts;
}

// The RSS fixture again with one story newer than all others.
std::string RssWithFreshStory() {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
         "<rss version=\"2.0\"><channel><title>Example Europe Desk</title>\n"
         "<item><title>Fresh story from the \xC9lys\xE9"
         "e</title><link>http://news.example.org/fresh</link>\n"
         "<pubDate>Tue, 08 Dec 2026 11:00:00 GMT</pubDate></item>\n"
         "</channel></rss>\n";
}

TEST(LiveFeed, HeadlinesFromRssAndAtomFeedsReachTheLabelsAndTheBrowser) {
  const std::string host = Env("LIVE_FEED_HOST");
  ASSERT_FALSE(host.empty()) << "run by tests/system/feed-test.sh live";
  DeleteSettingsKey();
  ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, kEuropeNews));
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, host.c_str()));

  BrowserRecorder browser;  // before the start, so the ticker inherits its log
  ASSERT_TRUE(browser.Registered());
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  EXPECT_EQ(SlotTexts(ticker.window), FixtureTexts());
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("live-feed")));

  HWND label = SlotLabel(ticker.window, 2);
  PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(browser.WaitForOpened(1), std::vector<std::string>{"http://news.example.org/cafe"});

  // The service refreshes its sources every second; a reload shows the new
  // story once the service has fetched it.
  ASSERT_TRUE(WriteFeedPage("RssFixture", RssWithFreshStory()));
  std::vector<std::string> refreshed = {
      "Fresh story from the \xC9lys\xE9"
      "e",
      "Storm warning for the coast",
      "An older copy of the caf\xE9 story",
  };
  refreshed.resize(kSlots);
  EXPECT_TRUE(WaitUntil(
      [&] { return ReloadAndWait(&ticker, nullptr) && SlotTexts(ticker.window) == refreshed; },
      30000))
      << ::testing::PrintToString(SlotTexts(ticker.window));
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("live-feed-fresh")));
  DeleteSettingsKey();
}

}  // namespace
