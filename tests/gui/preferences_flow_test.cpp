// The Preferences dialog as the headline window's "Change category" button
// opens it: owned by the disabled window, Cancel leaves everything as it was,
// OK stores the choice and reloads at once.
#include <gtest/gtest.h>

#include "resource.h"
#include "tests/support/TickerDriver.h"

using namespace testsupport;

namespace {

constexpr char kPreferences[] = "Vantrel Preferences";
constexpr char kPass[] = "CVelquoraDlg::GetSetURLs";

class PreferencesFlowTest : public ::testing::Test {
 protected:
  // The ticker starts on "India news", served from pages of our own so that
  // a reload shows which page it read.
  void SetUp() override {
    DeleteSettingsKey();
    ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, 282));
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));
    ASSERT_TRUE(WriteFeedPage("India news", OneItemFeed("India at start")));
    ASSERT_TRUE(WriteFeedPage("Europe news", OneItemFeed("Europe headline")));
    ClearTraceLog();
    ASSERT_TRUE(StartTicker(&ticker));
    ASSERT_EQ(TopHeadline(ticker), "India at start");
    pid = ticker.child.info.dwProcessId;
  }
  void TearDown() override {
    RemoveFeedPage("India news");
    RemoveFeedPage("Europe news");
    DeleteSettingsKey();
  }

  // "Change category" as a click; returns the dialog it opens.
  HWND ChangeCategory() {
    ClickButton(ticker.window, IDC_CHANGE_CATEGORY);
    return WaitForDialog(pid, kPreferences);
  }

  Ticker ticker;
  DWORD pid = 0;
};

TEST_F(PreferencesFlowTest, OpensOwnedByTheDisabledWindowAndCancelChangesNothing) {
  const std::string caption = WindowText(ticker.window);
  const size_t feedMark = FeedLogLineCount();
  const size_t passes = CountTraceLines(kPass);

  HWND dialog = ChangeCategory();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), ticker.window);
  EXPECT_FALSE(IsWindowEnabled(ticker.window));
  EXPECT_EQ(SelectedText(dialog, IDC_CATEGORY_LIST), "India news");
  EXPECT_TRUE(SaveWindowPng(dialog, ShotPath("preferences-from-ticker")));

  // Another choice, then Cancel: nothing of it may stay.
  ASSERT_TRUE(SelectItem(dialog, IDC_CATEGORY_LIST, "Europe news"));
  ClickButton(dialog, IDCANCEL);
  ASSERT_TRUE(WaitUntilGone(dialog));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(ticker.window) != 0; }));
  EXPECT_EQ(WindowText(ticker.window), caption);
  DWORD code = 0;
  EXPECT_TRUE(GetSettingsDword(kUrlCodeValue, &code));
  EXPECT_EQ(code, 282u);

  // "Reload NEWS", posted after the Cancel, runs once the button's handler
  // has returned: by then a reload of the Cancel would have been traced and
  // requested before it.
  ClickButton(ticker.window, IDC_RELOAD_NEWS);
  ASSERT_TRUE(WaitForReload(ticker, passes));
  EXPECT_TRUE(WaitUntil([&] { return CountFeedLines(feedMark) >= 1; }));
  EXPECT_EQ(CountTraceLines(kPass), passes + 1);
  EXPECT_EQ(CountFeedLines(feedMark), 1u);
  EXPECT_EQ(CountFeedRequests(feedMark, "India news"), 1u);
}

// OK reloads at once, whether the category changed or not.
TEST_F(PreferencesFlowTest, OkStoresTheChoiceAndReloadsIt) {
  struct Case {
    const char* choose;  // null: leave the preset selection
    const char* name;
    DWORD code;
    const char* page;  // the category's page at the time of the OK
    const char* headline;
  };
  const Case cases[] = {
      {nullptr, "India news", 282, "India news", "India, later"},
      {"Europe news", "Europe news", 276, "Europe news", "Europe headline"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFeedPage(c.page, OneItemFeed(c.headline)));
    const size_t feedMark = FeedLogLineCount();
    const size_t passes = CountTraceLines(kPass);

    HWND dialog = ChangeCategory();
    ASSERT_NE(dialog, nullptr);
    if (c.choose != nullptr) {
      ASSERT_TRUE(SelectItem(dialog, IDC_CATEGORY_LIST, c.choose));
    }
    ClickButton(dialog, IDOK);
    ASSERT_TRUE(WaitUntilGone(dialog));

    ASSERT_TRUE(WaitForReload(ticker, passes));
    DWORD code = 0;
    EXPECT_TRUE(GetSettingsDword(kUrlCodeValue, &code));
    EXPECT_EQ(code, c.code);
    EXPECT_TRUE(WaitUntil([&] { return CountFeedLines(feedMark) >= 1; }));
    EXPECT_EQ(CountFeedLines(feedMark), 1u);
    EXPECT_EQ(CountFeedRequests(feedMark, c.name), 1u);
    const std::string caption = WindowText(ticker.window);
    EXPECT_EQ(caption.rfind(std::string(kCaptionStart) + c.name + " at :", 0), 0u) << caption;
    EXPECT_EQ(TopHeadline(ticker), c.headline);
    EXPECT_TRUE(IsWindowEnabled(ticker.window));
    EXPECT_TRUE(IsWindowVisible(ticker.window));
  }
}

// Right after start the keyboard focus is on "Change category", so that
// Enter presses it. (Under Wine, whose dialog manager does not make a
// focused push button the default one, Enter then gives IDOK instead, so
// only the focus is checked.)
TEST_F(PreferencesFlowTest, FocusStartsOnChangeCategory) {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof(gui);
  ASSERT_TRUE(GetGUIThreadInfo(ticker.child.info.dwThreadId, &gui));
  EXPECT_EQ(gui.hwndFocus, GetDlgItem(ticker.window, IDC_CHANGE_CATEGORY));
  EXPECT_EQ(gui.hwndActive, ticker.window);
}

}  // namespace
