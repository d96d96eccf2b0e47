// The headline window for a user of the wheel, the keyboard or a screen
// reader, driven from this process as they would drive it: wheel notches
// against arrow clicks, Tab and Shift+Tab through the buttons and the
// headlines (an empty slot skipped, headlines brought into view), the space
// bar opening the focused headline, the focus kept on a headline through
// reloads, and each headline read as a link with AccessibleObjectFromWindow.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <string>
#include <vector>

#include "resource.h"
#include "tests/support/Browser.h"
#include "tests/support/HeadlineWindow.h"

using namespace testsupport;

namespace {

constexpr int kCategory = 276;
constexpr char kCategoryName[] = "Europe news";
constexpr int kEmptySlot = 3;      // its item has an empty headline
constexpr int kAmpersandSlot = 2;  // its headline holds " & "
const COLORREF kActiveTeal = RGB(0, 128, 128);

std::string ItemUrl(int slot) {
  return "http://127.0.0.1/europe/item" + std::to_string(slot) + ".htm";
}
std::string ItemHeadline(int slot) {
  if (slot == kEmptySlot) return "";
  if (slot == kAmpersandSlot) return "Markets & money in slot 2";
  return "Europe headline in slot " + std::to_string(slot);
}
std::string FeedPage(int count) {
  std::string page = "<?xml version=\"1.0\"?>\n<page>\n";
  for (int slot = 0; slot < count; ++slot) {
    page += "<item><url>" + ItemUrl(slot) + "</url><headline_text>" + ItemHeadline(slot) +
            "</headline_text></item>\n";
  }
  return page + "</page>\n";
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());  // the texts here are ASCII
}

// An IAccessible held by this process, and its answers about itself.
struct Accessible {
  IAccessible* object = nullptr;
  explicit Accessible(HWND window) {  // the object the window's process gives out
    AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                               reinterpret_cast<void**>(&object));
  }
  explicit Accessible(IAccessible* adopted) : object(adopted) {}
  ~Accessible() {
    if (object != nullptr) object->Release();
  }
  LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) const {
    VARIANT result;
    VariantInit(&result);
    return SUCCEEDED((object->*get)(Self(), &result)) && result.vt == VT_I4 ? result.lVal : -1;
  }
  std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) const {
    BSTR text = nullptr;
    if (FAILED((object->*get)(Self(), &text)) || text == nullptr) return L"<none>";
    std::wstring copy(text, SysStringLen(text));
    SysFreeString(text);
    return copy;
  }
  LONG Role() const { return Number(&IAccessible::get_accRole); }
  LONG State() const { return Number(&IAccessible::get_accState); }
  static VARIANT Self() {
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
  }
};

class HeadlineAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    DeleteSettingsKey();
    ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, kCategory));
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));
    ASSERT_TRUE(WriteFeedPage(kCategoryName, FeedPage(kSlots)));
    ASSERT_TRUE(browser_.Registered());  // before the start: the ticker inherits its log
    ASSERT_TRUE(StartTicker(&ticker_));
    window_ = ticker_.window;
    ASSERT_TRUE(MeasurePanel(window_, &layout_));
    ASSERT_GE(layout_.range / 100, 2) << "an arrow click moves the panel";
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue, for AttachThreadInput
  }
  void TearDown() override {
    RemoveFeedPage(kCategoryName);
    DeleteSettingsKey();
    CoUninitialize();
  }

  HWND Button(int id) const { return GetDlgItem(window_, id); }
  HWND Focus() const {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof(gui);
    return GetGUIThreadInfo(ticker_.child.info.dwThreadId, &gui) ? gui.hwndFocus : nullptr;
  }
  int Offset() const { return ContentOffset(window_, layout_); }
  void ScrollTo(int pos) {
    ASSERT_TRUE(SendAndWait(window_, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos), 0));
  }
  void Wheel(HWND over, int delta) {
    ASSERT_TRUE(SendAndWait(over, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0));
  }
  // Waits until the messages posted to the ticker so far are handled: a
  // posted scroll comes after them in the queue, and shows once it is done.
  // For keys that move nothing.
  void Settle() {
    const int before = Offset(), marker = before == 7 ? 8 : 7;
    ASSERT_TRUE(PostMessageA(window_, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, marker), 0));
    ASSERT_TRUE(WaitUntil([&] { return Offset() == marker; }, 10000)) << "the ticker is stuck";
    ScrollTo(before);
  }
  // Tab (with Shift held in the ticker's thread: posted keys do not change
  // the keyboard state) to the focused control; the control reached.
  HWND PressTab(bool shift) {
    const DWORD ticker = ticker_.child.info.dwThreadId, self = GetCurrentThreadId();
    auto holdShift = [&](bool down) {
      if (down) AttachThreadInput(self, ticker, TRUE);
      BYTE keys[256];
      GetKeyboardState(keys);
      keys[VK_SHIFT] = down ? 0x80 : 0;
      SetKeyboardState(keys);
      if (!down) AttachThreadInput(self, ticker, FALSE);
    };
    if (shift) holdShift(true);
    HWND from = Focus();
    PostMessageA(from, WM_KEYDOWN, VK_TAB, 0);
    // The focus moves, then the same handler scrolls; a sent message is
    // handled only once that handler is done.
    WaitUntil([&] { return Focus() != from; }, 10000);
    WaitUntilIdle(window_);
    if (shift) holdShift(false);
    return Focus();
  }
  bool InView(HWND control) const {
    const RECT rect = RectInParent(control);
    return rect.top >= 0 && rect.bottom <= layout_.clientHeight;
  }
  int TealPixels(int slot) const {
    RECT rect;
    GetWindowRect(SlotLabel(window_, slot), &rect);
    return CountScreenPixels(rect, kActiveTeal);
  }

  BrowserRecorder browser_;
  Ticker ticker_;
  HWND window_ = nullptr;
  PanelLayout layout_;
};

TEST_F(HeadlineAccessTest, WheelKeyboardAndScreenReaderReachEveryHeadline) {
  // ---- the wheel: a notch is as many arrow clicks as the system says, over
  // a headline, over a button or over the window itself
  UINT lines = 0;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
  ASSERT_TRUE(lines >= 1 && lines <= 10) << "the test bed scrolls lines: " << lines;
  const int line = layout_.range / 100;
  ScrollTo(1);
  for (UINT i = 0; i < lines; ++i) {
    ASSERT_TRUE(SendAndWait(window_, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0));
  }
  const int byArrows = Offset();
  EXPECT_EQ(byArrows, 1 + static_cast<int>(lines) * line);
  ScrollTo(1);
  Wheel(SlotLabel(window_, 0), -WHEEL_DELTA);
  EXPECT_EQ(Offset(), byArrows) << "one notch toward the user over a headline";
  Wheel(Button(IDC_RELOAD_NEWS), -WHEEL_DELTA / 2);
  Wheel(Button(IDC_RELOAD_NEWS), -WHEEL_DELTA / 2);
  EXPECT_EQ(Offset(), 1 + 2 * static_cast<int>(lines) * line) << "two half notches over a button";
  Wheel(window_, 3 * WHEEL_DELTA);
  EXPECT_EQ(Offset(), 0) << "three notches back stop at the top, as the arrows do";
  ScrollTo(layout_.range - 1);
  Wheel(SlotLabel(window_, 19), -WHEEL_DELTA);
  EXPECT_EQ(Offset(), layout_.range) << "and at the bottom";

  // ---- Tab from "Change category": "Reload NEWS", then the headlines with
  // a text in slot order, then round; each brought into view when reached
  ScrollTo(1);
  ASSERT_TRUE(SendAndWait(window_, WM_NEXTDLGCTL,
                          reinterpret_cast<WPARAM>(Button(IDC_CHANGE_CATEGORY)), TRUE));
  ASSERT_EQ(Focus(), Button(IDC_CHANGE_CATEGORY));
  std::vector<HWND> order = {Button(IDC_RELOAD_NEWS)};
  for (int slot = 0; slot < kSlots; ++slot) {
    if (slot != kEmptySlot) order.push_back(SlotLabel(window_, slot));
  }
  order.push_back(Button(IDC_CHANGE_CATEGORY));
  bool scrolled = false;
  for (size_t i = 0; i < order.size(); ++i) {
    const int before = Offset();
    HWND reached = PressTab(false);
    ASSERT_EQ(reached, order[i]) << "Tab number " << i + 1 << " reached id "
                                 << GetDlgCtrlID(reached);
    EXPECT_TRUE(InView(reached)) << "Tab number " << i + 1;
    scrolled = scrolled || Offset() > before;
    if (reached == SlotLabel(window_, 0)) {
      EXPECT_TRUE(WaitUntil([&] { return TealPixels(0) > 0; }, 5000)) << "focused: active colour";
    }
    if (reached == SlotLabel(window_, 1)) {
      EXPECT_TRUE(WaitUntil([&] { return TealPixels(0) == 0; }, 5000)) << "left: link colour";
    }
  }
  EXPECT_TRUE(scrolled) << "the lower headlines lie below the panel's view at first";

  // Shift+Tab goes the same way back.
  order.pop_back();
  for (size_t i = order.size(); i-- > 0;) {
    HWND reached = PressTab(true);
    ASSERT_EQ(reached, order[i]) << "Shift+Tab to id " << GetDlgCtrlID(order[i]) << " reached id "
                                 << GetDlgCtrlID(reached);
    EXPECT_TRUE(InView(reached));
  }
  ASSERT_EQ(PressTab(true), Button(IDC_CHANGE_CATEGORY));

  // ---- space opens the focused headline; its " & " is text, not a
  // mnemonic that would send the focus on
  ASSERT_TRUE(SendAndWait(window_, WM_NEXTDLGCTL,
                          reinterpret_cast<WPARAM>(SlotLabel(window_, kAmpersandSlot)), TRUE));
  HWND ampersand = SlotLabel(window_, kAmpersandSlot);
  PostMessageA(ampersand, WM_KEYDOWN, VK_SPACE, 0);
  PostMessageA(ampersand, WM_CHAR, ' ', 0);
  PostMessageA(ampersand, WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_EQ(browser_.WaitForOpened(1), std::vector<std::string>{ItemUrl(kAmpersandSlot)});
  Settle();
  EXPECT_EQ(Focus(), ampersand) << "the space bar moved the focus to id " << GetDlgCtrlID(Focus());
  EXPECT_TRUE(SaveWindowPng(window_, ShotPath("headline-keyboard-focus")));

  // ---- screen readers: each headline with a text is a link
  {
    Accessible link(ampersand);
    ASSERT_NE(link.object, nullptr);
    EXPECT_EQ(link.Role(), ROLE_SYSTEM_LINK);
    EXPECT_EQ(link.Text(&IAccessible::get_accName), Wide(ItemHeadline(kAmpersandSlot)));
    EXPECT_EQ(link.Text(&IAccessible::get_accValue), Wide(ItemUrl(kAmpersandSlot)));
    EXPECT_EQ(link.Text(&IAccessible::get_accDefaultAction), L"Jump");
    const LONG wanted = STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSED |
                        STATE_SYSTEM_TRAVERSED;
    EXPECT_EQ(link.State() & wanted, wanted) << "focused, and opened by the space bar";
    HWND found = nullptr;
    EXPECT_EQ(WindowFromAccessibleObject(link.object, &found), S_OK);
    EXPECT_EQ(found, ampersand);
  }
  Accessible lower(SlotLabel(window_, 17));
  ASSERT_NE(lower.object, nullptr);
  EXPECT_EQ(lower.Text(&IAccessible::get_accName), Wide(ItemHeadline(17)));
  EXPECT_EQ(lower.State() & (STATE_SYSTEM_FOCUSED | STATE_SYSTEM_TRAVERSED), 0);
  EXPECT_EQ(lower.object->accDoDefaultAction(Accessible::Self()), S_OK);
  EXPECT_EQ(browser_.WaitForOpened(2).back(), ItemUrl(17)) << "the default action opens it";
  EXPECT_TRUE(WaitUntil([&] { return (lower.State() & STATE_SYSTEM_TRAVERSED) != 0; }, 5000))
      << "and marks it visited, as a click does";
  // The empty slot and the buttons keep the system's answers.
  for (HWND other : {SlotLabel(window_, kEmptySlot), Button(IDC_RELOAD_NEWS)}) {
    Accessible shown(other);
    ASSERT_NE(shown.object, nullptr);
    IAccessible* system = nullptr;
    ASSERT_EQ(CreateStdAccessibleObject(other, OBJID_CLIENT, __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&system)),
              S_OK);
    Accessible reference(system);
    EXPECT_NE(shown.Role(), ROLE_SYSTEM_LINK) << "id " << GetDlgCtrlID(other);
    EXPECT_EQ(shown.Role(), reference.Role()) << "id " << GetDlgCtrlID(other);
  }

  // ---- reloads: the focus stays on a headline, the nearest one left, or
  // goes to "Reload NEWS" when none is; a held object follows its label
  ASSERT_TRUE(
      SendAndWait(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(SlotLabel(window_, 15)), TRUE));
  ASSERT_TRUE(WriteFeedPage(kCategoryName, FeedPage(6)));
  ASSERT_TRUE(ReloadAndWait(&ticker_, nullptr));
  EXPECT_EQ(Focus(), SlotLabel(window_, 5));
  EXPECT_TRUE(InView(SlotLabel(window_, 5)));
  EXPECT_NE(lower.Role(), ROLE_SYSTEM_LINK) << "slot 17 is empty now";
  EXPECT_EQ(PressTab(false), Button(IDC_CHANGE_CATEGORY)) << "Tab passes the emptied slots";
  ASSERT_EQ(PressTab(true), SlotLabel(window_, 5));
  ASSERT_TRUE(WriteFeedPage(kCategoryName, FeedPage(0)));
  ASSERT_TRUE(ReloadAndWait(&ticker_, nullptr));
  EXPECT_EQ(Focus(), Button(IDC_RELOAD_NEWS));
  EXPECT_EQ(browser_.Opened().size(), 2u) << "nothing else was opened";
}

}  // namespace
