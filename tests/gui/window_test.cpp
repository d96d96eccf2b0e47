// The headline window as a user meets it: size and corner, captions, hiding
// and showing, Exit, and the trace of its start-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "resource.h"
#include "tests/support/Ticker.h"

using namespace testsupport;

namespace {

// "Vurizaru ZIDU - <name> at :h:m:s " with h, m, s without leading zeros.
bool ParseFinalCaption(const std::string& caption, std::string* name) {
  const std::string rest = caption.substr(std::strlen(kCaptionStart));
  const size_t at = rest.rfind(" at :");
  if (at == std::string::npos) return false;
  *name = rest.substr(0, at);
  unsigned h, m, s;
  char trailer[8] = "";
  if (std::sscanf(rest.c_str() + at, " at :%u:%u:%u%7[^\n]", &h, &m, &s, trailer) != 4)
    return false;
  char expected[64];
  std::snprintf(expected, sizeof(expected), " at :%u:%u:%u ", h, m, s);
  return rest.substr(at) == expected && h < 24 && m < 60 && s < 60;
}

class WindowTest : public ::testing::Test {
 protected:
  // The ticker reads "India news" from the test bed's feed service.
  void SetUp() override {
    DeleteSettingsKey();
    ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, 282));
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));
    ClearTraceLog();
  }
  void TearDown() override { DeleteSettingsKey(); }
};

TEST_F(WindowTest, StartsInTheLowerRightCornerWithTheFinalCaption) {
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  RECT rect;
  GetWindowRect(ticker.window, &rect);
  EXPECT_EQ(rect.right - rect.left, 350);
  EXPECT_EQ(rect.bottom - rect.top, 200);
  EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXFULLSCREEN) - 10);
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYFULLSCREEN));

  std::string name;
  const std::string caption = WindowText(ticker.window);
  EXPECT_TRUE(ParseFinalCaption(caption, &name)) << caption;
  EXPECT_EQ(name, "India news");

  // Template 102: the two buttons and twenty labels are there.
  EXPECT_EQ(WindowText(GetDlgItem(ticker.window, IDC_CHANGE_CATEGORY)), "Change category");
  EXPECT_EQ(WindowText(GetDlgItem(ticker.window, IDC_RELOAD_NEWS)), "Reload NEWS");
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("window-start")));

  // The start-up trace, in order, with CR LF line ends.
  const std::vector<std::string> lines = TraceLines();
  const char* expected[] = {"CVelquoraDlg::OnInitDialog", "Before Get Set URLs",
                            "After Get Set URLs"};
  size_t next = 0;
  for (const std::string& line : lines) {
    if (next < 3 && line == expected[next]) ++next;
  }
  EXPECT_EQ(next, 3u);
}

TEST_F(WindowTest, CloseEscapeAndEnterHideTheWindowAndTheProgramLivesOn) {
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  HWND window = ticker.window;
  auto hidden = [&] { return !IsWindowVisible(window); };

  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
  EXPECT_TRUE(WaitUntil(hidden));
  ShowWindow(window, SW_SHOW);

  // Escape, typed while a control of the window has the focus.
  PostMessageA(GetDlgItem(window, IDC_CHANGE_CATEGORY), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitUntil(hidden));
  ShowWindow(window, SW_SHOW);

  // Enter without a focused push button arrives as IDOK.
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil(hidden));

  EXPECT_EQ(WaitForExit(ticker.child, 500), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(IsWindow(window));
  std::vector<std::string> lines = TraceLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "CVelquoraDlg::OnOK"), lines.end());
}

TEST_F(WindowTest, ExitEndsTheProcess) {
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  PostMessageA(ticker.window, WM_COMMAND, ID_TRAY_EXIT, 0);
  EXPECT_EQ(WaitForExit(ticker.child), 0u);
  std::vector<std::string> lines = TraceLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "CVelquoraDlg::OnPreferencesExit"), lines.end());
}

TEST_F(WindowTest, ExitWorksWhileTheWindowIsHidden) {
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  PostMessageA(ticker.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(ticker.window); }));
  PostMessageA(ticker.window, WM_COMMAND, ID_TRAY_EXIT, 0);
  EXPECT_EQ(WaitForExit(ticker.child), 0u);
}

TEST_F(WindowTest, CommandLineChangesNothing) {
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker, "/install -UnInstall \"some thing\""));
  RECT rect;
  GetWindowRect(ticker.window, &rect);
  EXPECT_EQ(rect.right - rect.left, 350);
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYFULLSCREEN));
  std::string name;
  EXPECT_TRUE(ParseFinalCaption(WindowText(ticker.window), &name));
  EXPECT_EQ(name, "India news");
}

}  // namespace
