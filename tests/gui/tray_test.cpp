// The notification-area icon and its menu as a user meets them: a left click
// brings the hidden window back, a right click opens the menu with Exit,
// Preferences and About, and the icon lives exactly as long as the program.
// The icon's mouse messages are posted to the window as the shell posts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "resource.h"
#include "tests/support/TickerDriver.h"

using namespace testsupport;

namespace {

constexpr char kAbout[] = "About Vantrel";
constexpr char kPreferences[] = "Vantrel Preferences";
constexpr char kPass[] = "CVelquoraDlg::GetSetURLs";

// Selectable positions of the tray menu (the separator is skipped).
constexpr int kExitItem = 0, kPreferencesItem = 1, kAboutItem = 2;

// The pixels of a window as shown on the screen, row by row.
struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> data;
};

Pixels Capture(HWND hwnd) {
  Pixels pixels;
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) return pixels;
  pixels.width = rect.right - rect.left;
  pixels.height = rect.bottom - rect.top;
  pixels.data = ScreenPixels(rect);
  return pixels;
}

// The menu the ticker should show, built here and opened by this process:
// "Exit", a separator, "Preferences", "About", no default (bold) item. Drawn
// by the same system with the same fonts, it must look the same pixel for
// pixel. (The items of another process's menu cannot be read under Wine.)
class ExpectedMenu {
 public:
  ExpectedMenu() : thread_([this] { Run(); }) {}
  ~ExpectedMenu() {
    if (HWND menu = window_) PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    thread_.join();
  }
  // The menu window once it is shown, or null.
  HWND Wait() {
    WaitUntil([&] { return shown_ || failed_; }, 10000);
    return window_;
  }

 private:
  void Run() {
    HWND owner =
        CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, ID_TRAY_EXIT, "Exit");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, ID_TRAY_PREFERENCES, "Preferences");
    AppendMenuA(menu, MF_STRING, ID_TRAY_ABOUT, "About");
    // The window is found from the other thread while the menu loop runs.
    std::thread finder([this] {
      const DWORD self = GetCurrentProcessId();
      WaitUntil(
          [&] {
            for (HWND hwnd : TopLevelWindows(self, "#32768")) {
              if (IsWindowVisible(hwnd)) window_ = hwnd;
            }
            return window_ != nullptr || failed_;
          },
          10000);
      shown_ = window_ != nullptr;
    });
    if (owner == nullptr || menu == nullptr ||
        !TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD, 10, 10, 0, owner, nullptr)) {
      failed_ = true;
    }
    finder.join();
    window_ = nullptr;
    DestroyMenu(menu);
    DestroyWindow(owner);
  }

  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> shown_{false}, failed_{false};
  std::thread thread_;
};

// Moves the pointer for one scenario and puts it back afterwards, so that it
// rests where the next scenario expects it.
class PointerAt {
 public:
  explicit PointerAt(POINT at) {
    GetCursorPos(&saved_);
    SetCursorPos(at.x, at.y);
  }
  ~PointerAt() { SetCursorPos(saved_.x, saved_.y); }

 private:
  POINT saved_ = {0, 0};
};

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSettingsKey();
    ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, 282));
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));
    ASSERT_TRUE(WriteFeedPage("India news", OneItemFeed("India headline")));
    ASSERT_TRUE(WriteFeedPage("Europe news", OneItemFeed("Europe headline")));
    ClearTraceLog();
    ASSERT_TRUE(StartTicker(&ticker));
    pid = ticker.child.info.dwProcessId;
  }
  void TearDown() override {
    RemoveFeedPage("India news");
    RemoveFeedPage("Europe news");
    DeleteSettingsKey();
  }

  void Hide() {
    PostMessageA(ticker.window, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(ticker.window); }));
  }
  // Dialogs of the ticker other than its headline window.
  size_t OpenDialogs() {
    size_t count = 0;
    for (HWND hwnd : TopLevelWindows(pid, "#32770")) count += hwnd != ticker.window ? 1 : 0;
    return count;
  }
  bool Running() { return WaitForExit(ticker.child, 0) == static_cast<DWORD>(STILL_ACTIVE); }

  Ticker ticker;
  DWORD pid = 0;
};

TEST_F(TrayTest, LeftClickShowsAndActivatesTheHiddenWindowOtherMouseMessagesDoNothing) {
  Hide();
  // A window of this process takes the foreground, so that activation shows.
  HWND other = CreateWindowA("STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr,
                             nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  ASSERT_NE(GetForegroundWindow(), ticker.window);

  for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                     WM_RBUTTONDBLCLK, WM_MBUTTONUP}) {
    PostTrayMouse(ticker.window, mouse);
  }
  // A right click posted after them opens the menu only once the window has
  // handled everything posted before.
  HWND menu = OpenTrayMenu(ticker);
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(IsWindowVisible(ticker.window));
  EXPECT_EQ(OpenDialogs(), 0u);
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
  SetForegroundWindow(other);

  PostTrayMouse(ticker.window, WM_LBUTTONUP);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(ticker.window) != 0; }));
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == ticker.window; }));
  DestroyWindow(other);
}

TEST_F(TrayTest, RightClickOpensTheMenuAtThePointerAndClosingItDoesNothing) {
  const POINT pointer = {400, 300};
  PointerAt moved(pointer);
  const size_t feedMark = FeedLogLineCount();
  const std::string caption = WindowText(ticker.window);

  HWND menu = OpenTrayMenu(ticker);
  ASSERT_NE(menu, nullptr);
  RECT rect;
  GetWindowRect(menu, &rect);
  EXPECT_EQ(rect.left, pointer.x);
  EXPECT_EQ(rect.top, pointer.y);
  EXPECT_TRUE(SaveWindowPng(menu, ShotPath("tray-menu")));
  {
    ExpectedMenu expected;
    HWND reference = expected.Wait();
    ASSERT_NE(reference, nullptr);
    // A menu is drawn after it shows: on a loaded machine either may still be
    // blank, so compare until they agree, for a bounded time.
    Pixels shown, wanted;
    WaitUntil(
        [&] {
          shown = Capture(menu);
          wanted = Capture(reference);
          return shown.data == wanted.data;
        },
        10000);
    EXPECT_EQ(shown.width, wanted.width);
    EXPECT_EQ(shown.height, wanted.height);
    EXPECT_TRUE(shown.data == wanted.data)
        << "the menu differs from Exit / - / Preferences / About";
    // Both really captured something: text on a plain background.
    EXPECT_NE(std::count(wanted.data.begin(), wanted.data.end(), wanted.data[0]),
              static_cast<long>(wanted.data.size()));
  }

  // Closed without a choice, by Escape and by a cancelled mode. Each next
  // menu opens only after whatever the closing posted has been handled.
  const struct {
    const char* how;
    bool escape;
  } closings[] = {{"Escape", true}, {"WM_CANCELMODE", false}};
  for (const auto& closing : closings) {
    SCOPED_TRACE(closing.how);
    if (closing.escape) {
      PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
      PostMessageA(ticker.window, WM_CANCELMODE, 0, 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
    menu = OpenTrayMenu(ticker);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(Running());
    EXPECT_EQ(OpenDialogs(), 0u);
    EXPECT_TRUE(IsWindowVisible(ticker.window));
    EXPECT_EQ(WindowText(ticker.window), caption);
  }
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }));
  EXPECT_EQ(CountFeedLines(feedMark), 0u);
  EXPECT_EQ(CountTraceLines("CVelquoraDlg::OnPreferences"), 0u);
  EXPECT_EQ(CountTraceLines("CVelquoraDlg::OnPreferencesExit"), 0u);
}

// The tray menu's About, its command and the system menu's About open one and
// the same modal box, owned by the headline window.
TEST_F(TrayTest, AboutFromTheMenuAndTheSystemMenuOpensTheSameBox) {
  const struct {
    const char* opener;
    int how;
  } openers[] = {{"tray menu item", 0}, {"tray command 32773", 1}, {"system menu", 2}};
  std::vector<std::string> firstTexts;
  for (const auto& opener : openers) {
    SCOPED_TRACE(opener.opener);
    if (opener.how == 0) {
      HWND menu = OpenTrayMenu(ticker);
      ASSERT_NE(menu, nullptr);
      ChooseMenuItem(menu, kAboutItem);
    } else if (opener.how == 1) {
      PostMessageA(ticker.window, WM_COMMAND, ID_TRAY_ABOUT, 0);
    } else {
      PostMessageA(ticker.window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    }
    HWND box = WaitForDialog(pid, kAbout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), ticker.window);
    EXPECT_FALSE(IsWindowEnabled(ticker.window));
    EXPECT_EQ(OpenDialogs(), 1u);
    std::vector<std::string> texts;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      texts.push_back(WindowText(child));
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Vantrel Version 1.0"), texts.end());
    if (firstTexts.empty()) firstTexts = texts;
    EXPECT_EQ(texts, firstTexts);

    ClickButton(box, IDOK);
    ASSERT_TRUE(WaitUntilGone(box));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(ticker.window) != 0; }));
  }
  EXPECT_TRUE(Running());
}

// A category chosen through the tray menu, typically while the window is
// closed, waits for the next reload.
TEST_F(TrayTest, PreferencesFromTheMenuTakeEffectAtTheNextReload) {
  const std::string caption = WindowText(ticker.window);
  const size_t feedMark = FeedLogLineCount();
  const size_t passes = CountTraceLines(kPass);
  Hide();

  HWND menu = OpenTrayMenu(ticker);
  ASSERT_NE(menu, nullptr);
  ChooseMenuItem(menu, kPreferencesItem);
  HWND dialog = WaitForDialog(pid, kPreferences);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), ticker.window);
  EXPECT_FALSE(IsWindowEnabled(ticker.window));
  RECT rect;  // on the screen although its owner is hidden
  GetWindowRect(dialog, &rect);
  EXPECT_GE(rect.left, 0);
  EXPECT_GE(rect.top, 0);
  EXPECT_LE(rect.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LE(rect.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(SelectedText(dialog, IDC_CATEGORY_LIST), "India news");
  ASSERT_TRUE(SelectItem(dialog, IDC_CATEGORY_LIST, "Europe news"));
  ClickButton(dialog, IDOK);
  ASSERT_TRUE(WaitUntilGone(dialog));
  DWORD code = 0;
  EXPECT_TRUE(GetSettingsDword(kUrlCodeValue, &code));
  EXPECT_EQ(code, 276u);
  EXPECT_EQ(CountTraceLines("CVelquoraDlg::OnPreferences"), 1u);

  // Back with a left click: still the old headlines under the old caption.
  PostTrayMouse(ticker.window, WM_LBUTTONUP);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(ticker.window) != 0; }));
  EXPECT_TRUE(IsWindowEnabled(ticker.window));
  EXPECT_EQ(WindowText(ticker.window), caption);
  EXPECT_EQ(TopHeadline(ticker), "India headline");

  // "Reload NEWS", handled after the menu's command has returned: the only
  // pass and request since the mark, and it loads the new category.
  ClickButton(ticker.window, IDC_RELOAD_NEWS);
  ASSERT_TRUE(WaitForReload(ticker, passes));
  EXPECT_TRUE(WaitUntil([&] { return CountFeedLines(feedMark) >= 1; }));
  EXPECT_EQ(CountTraceLines(kPass), passes + 1);
  EXPECT_EQ(CountFeedLines(feedMark), 1u);
  EXPECT_EQ(CountFeedRequests(feedMark, "Europe news"), 1u);
  const std::string reloaded = WindowText(ticker.window);
  EXPECT_EQ(reloaded.rfind(std::string(kCaptionStart) + "Europe news at :", 0), 0u) << reloaded;
  EXPECT_EQ(TopHeadline(ticker), "Europe headline");
}

// The icon is there from the start, also while the window is hidden; Exit
// in the menu removes it and ends the process.
TEST_F(TrayTest, ExitFromTheMenuRemovesTheIconAndEndsTheProcess) {
  EXPECT_TRUE(TrayIconPresent(ticker.window));
  Hide();
  EXPECT_TRUE(TrayIconPresent(ticker.window));

  HWND window = ticker.window;
  HWND menu = OpenTrayMenu(ticker);
  ASSERT_NE(menu, nullptr);
  ChooseMenuItem(menu, kExitItem);
  EXPECT_EQ(WaitForExit(ticker.child), 0u);
  // Checked at once: the shell also drops icons of vanished windows, but only
  // later, so an icon gone right now was removed by the program.
  EXPECT_FALSE(TrayIconPresent(window));
  EXPECT_EQ(CountTraceLines("CVelquoraDlg::OnPreferencesExit"), 1u);
}

// Exit chosen from the menu while a modal dialog of the window is open (the
// icon still answers then) ends the program cleanly.
TEST_F(TrayTest, ExitWhileADialogIsOpenEndsCleanly) {
  const struct {
    const char* dialog;
    UINT command;
    const char* caption;
  } cases[] = {{"Change category", IDC_CHANGE_CATEGORY, kPreferences},
               {"tray Preferences", ID_TRAY_PREFERENCES, kPreferences},
               {"tray About", ID_TRAY_ABOUT, kAbout}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dialog);
    if (!Running()) {  // the previous case ended it
      Stop(ticker.child);
      RemoveTree(ticker.workDir);
      ASSERT_TRUE(StartTicker(&ticker));
      pid = ticker.child.info.dwProcessId;
    }
    PostMessageA(ticker.window, WM_COMMAND, c.command, 0);
    HWND dialog = WaitForDialog(pid, c.caption);
    ASSERT_NE(dialog, nullptr);
    HWND menu = OpenTrayMenu(ticker);
    ASSERT_NE(menu, nullptr);
    ChooseMenuItem(menu, kExitItem);
    EXPECT_EQ(WaitForExit(ticker.child), 0u);  // a crash would give 0xC0000005
  }
}

// After a restart of the taskbar ("TaskbarCreated") the icon is added again,
// also while the window is hidden.
TEST_F(TrayTest, IconComesBackWhenTheTaskbarIsCreatedAgain) {
  Hide();
  ASSERT_TRUE(TrayIconPresent(ticker.window));
  ASSERT_TRUE(RemoveTrayIcon(ticker.window));
  ASSERT_FALSE(TrayIconPresent(ticker.window));

  PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return TrayIconPresent(ticker.window); }));
  EXPECT_TRUE(Running());
  EXPECT_FALSE(IsWindowVisible(ticker.window));
}

}  // namespace
