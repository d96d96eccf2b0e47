#include "tests/support/HeadlineWindow.h"

#include <cstdio>
#include <cstring>

#include "resource.h"
#include "ticker/HeadlineSlots.h"

namespace testsupport {

HWND SlotLabel(HWND window, int slot) {
  return GetDlgItem(window, kHeadlineSlotControls[slot]);
}

std::vector<std::string> SlotTexts(HWND window) {
  std::vector<std::string> texts;
  for (int slot = 0; slot < kSlots; ++slot) texts.push_back(WindowText(SlotLabel(window, slot)));
  return texts;
}

RECT RectInParent(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

namespace {

bool IsMessageBox(HWND hwnd) {
  return GetDlgItem(hwnd, 0xFFFF) != nullptr && GetDlgItem(hwnd, IDC_RELOAD_NEWS) == nullptr;
}

HWND FindHeadlineWindow(DWORD processId) {
  for (HWND hwnd : TopLevelWindows(processId, "#32770")) {
    if (GetDlgItem(hwnd, IDC_RELOAD_NEWS) != nullptr) return hwnd;
  }
  return nullptr;
}

bool SameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wHour == b.wHour && a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// Whether the log can be opened with no sharing at all: true only while no
// other handle holds it (or when there is none).
bool LogFree() {
  HANDLE file = CreateFileA("C:\\Vantrel.log", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  CloseHandle(file);
  return true;
}

// One look at the process's message boxes: records a box when first seen
// and closes it once the policy allows. True while a box is still open.
class BoxWatcher {
 public:
  BoxWatcher(DWORD processId, std::vector<PassBox>* boxes, BoxPolicy policy)
      : processId_(processId), boxes_(boxes), policy_(policy) {}

  bool Poll() {
    bool open = false;
    for (HWND hwnd : TopLevelWindows(processId_, "#32770")) {
      if (!IsWindowVisible(hwnd) || !IsMessageBox(hwnd)) continue;
      open = true;
      if (hwnd != current_) {
        current_ = hwnd;
        GetLocalTime(&seen_);
        PassBox box;
        box.caption = WindowText(hwnd);
        box.text = MessageBoxText(hwnd);
        if (HWND window = FindHeadlineWindow(processId_)) box.windowCaption = WindowText(window);
        box.logFree = LogFree();
        if (boxes_ != nullptr) boxes_->push_back(box);
      }
      SYSTEMTIME now;
      GetLocalTime(&now);
      if (!policy_.holdPastSecond || !SameSecond(now, seen_)) CloseMessageBox(hwnd);
    }
    return open;
  }

 private:
  DWORD processId_;
  std::vector<PassBox>* boxes_;
  BoxPolicy policy_;
  HWND current_ = nullptr;
  SYSTEMTIME seen_{};
};

bool HasTraceLine(const char* wanted) {
  for (const std::string& line : TraceLines()) {
    if (line == wanted) return true;
  }
  return false;
}

}  // namespace

bool WaitUntilIdle(HWND window) {
  return SendAndWait(window, WM_NULL, 0, 0);
}

bool SendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 15000, &result) != 0;
}

bool StartTickerThroughBoxes(Ticker* ticker, std::vector<PassBox>* boxes, BoxPolicy policy) {
  ticker->workDir = MakeTempDir("ticker");
  ticker->child = StartProgram(BinPath("Vantrel.exe"), "", ticker->workDir);
  if (!ticker->child.Started()) return false;
  const DWORD processId = ticker->child.info.dwProcessId;
  BoxWatcher watcher(processId, boxes, policy);
  const bool done = WaitUntil(
      [&] {
        if (watcher.Poll()) return false;
        HWND window = FindHeadlineWindow(processId);
        if (window == nullptr || !IsWindowVisible(window) || !IsFinalCaption(WindowText(window)))
          return false;
        ticker->window = window;
        return true;
      },
      30000);
  return done && WaitUntilIdle(ticker->window);
}

bool ReloadAndWait(Ticker* ticker, std::vector<PassBox>* boxes, BoxPolicy policy) {
  ClearTraceLog();
  if (!PostMessageA(ticker->window, WM_COMMAND, IDC_RELOAD_NEWS, 0)) return false;
  BoxWatcher watcher(ticker->child.info.dwProcessId, boxes, policy);
  // The pass's last line comes after any box of the download is closed; the
  // rest of the reload opens none, so the window answers once it is done.
  const bool passEnded = WaitUntil(
      [&] {
        if (watcher.Poll()) return false;
        return HasTraceLine("Clearing and before returning from GetSetURLs");
      },
      30000);
  return passEnded && WaitUntilIdle(ticker->window);
}

bool ParseCaption(const std::string& caption, CaptionParts* parts) {
  if (caption.rfind(kCaptionStart, 0) != 0) return false;
  const std::string rest = caption.substr(std::strlen(kCaptionStart));
  const size_t at = rest.rfind(" at :");
  if (at == std::string::npos) return false;
  unsigned h = 0, m = 0, s = 0;
  if (std::sscanf(rest.c_str() + at, " at :%u:%u:%u", &h, &m, &s) != 3) return false;
  // Rebuild both forms and compare: this also refuses leading zeros and
  // stray blanks.
  char finished[64], loading[64];
  std::snprintf(finished, sizeof(finished), " at :%u:%u:%u ", h, m, s);
  std::snprintf(loading, sizeof(loading), " at :%u:%u:%u  (Loading...)", h, m, s);
  const std::string tail = rest.substr(at);
  if (tail != finished && tail != loading) return false;
  if (h > 23 || m > 59 || s > 59) return false;
  parts->name = rest.substr(0, at);
  parts->hour = h;
  parts->minute = m;
  parts->second = s;
  parts->loading = tail == loading;
  return true;
}

namespace {

// The vertical bar of a window, on the screen: right of the client area.
RECT VerticalBarRect(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {client.right, 0};
  ClientToScreen(window, &origin);
  return RECT{origin.x, origin.y, origin.x + GetSystemMetrics(SM_CXVSCROLL),
              origin.y + client.bottom};
}

// Template 102 in dialog units: its height and the top edges of slots 0, 8
// and 19.
constexpr int kTemplateHeight = 330;
constexpr int kSlot0Y = 32, kSlot8Y = 150, kSlot19Y = 315;

int DialogUnitsToPixels(int units, int baseY) {
  return MulDiv(units, baseY, 8);  // as the dialog manager converts them
}

int SlotTop(HWND window, int slot) {
  return RectInParent(SlotLabel(window, slot)).top;
}

}  // namespace

RECT OnScreen(const RECT& rect) {
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT visible;
  if (!IntersectRect(&visible, &rect, &screen)) SetRectEmpty(&visible);
  return visible;
}

int CountScreenPixels(const RECT& rect, COLORREF colour) {
  int count = 0;
  for (COLORREF pixel : ScreenPixels(OnScreen(rect))) count += pixel == colour ? 1 : 0;
  return count;
}

bool MeasurePanel(HWND window, PanelLayout* layout) {
  const int top0 = SlotTop(window, 0), top8 = SlotTop(window, 8), top19 = SlotTop(window, 19);
  int baseY = 0;
  for (int base = 8; base <= 40 && baseY == 0; ++base) {
    if (DialogUnitsToPixels(kSlot19Y, base) - DialogUnitsToPixels(kSlot0Y, base) == top19 - top0)
      baseY = base;
  }
  if (baseY == 0 ||
      top8 - top0 != DialogUnitsToPixels(kSlot8Y, baseY) - DialogUnitsToPixels(kSlot0Y, baseY)) {
    return false;
  }
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  layout->baseY = baseY;
  layout->clientHeight = client.bottom;
  // The frame and caption are as tall as they were before the resize.
  layout->fullHeight =
      DialogUnitsToPixels(kTemplateHeight, baseY) + (outer.bottom - outer.top) - client.bottom;
  layout->range = layout->fullHeight - layout->clientHeight;
  return true;
}

int ContentOffset(HWND window, const PanelLayout& layout) {
  return DialogUnitsToPixels(kSlot0Y, layout.baseY) - SlotTop(window, 0);
}

BarSettings StartupBar(const PanelLayout& layout, int pos) {
  const int maximum = layout.fullHeight - 30;
  return BarSettings{0, maximum, maximum / 10, pos};
}

bool ScrollBarLooksLike(HWND window, const BarSettings& settings, DWORD timeoutMs) {
  static ATOM referenceClass = 0;
  if (referenceClass == 0) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "ReferenceScrollBar";
    referenceClass = RegisterClassA(&wc);
  }
  const RECT whole = VerticalBarRect(window);
  const int width = whole.right - whole.left, height = whole.bottom - whole.top;
  // A borderless window of the bar's height: its bar is exactly as tall.
  HWND reference = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "ReferenceScrollBar", "",
                                   WS_POPUP | WS_VSCROLL, 0, 0, width + 16, height, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
  if (reference == nullptr) return false;
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMin = settings.minimum;
  info.nMax = settings.maximum;
  info.nPage = static_cast<UINT>(settings.page);
  info.nPos = settings.pos;
  SetScrollInfo(reference, SB_VERT, &info, TRUE);
  ShowWindow(reference, SW_SHOWNOACTIVATE);
  UpdateWindow(reference);
  // Only what is on the screen can be compared (under Wine the window's
  // lower edge may lie below it); the reference bar is at the screen's top.
  const RECT bar = OnScreen(whole);
  RECT referenceBar = VerticalBarRect(reference);
  referenceBar.top += bar.top - whole.top;
  referenceBar.bottom = referenceBar.top + (bar.bottom - bar.top);
  const bool same = WaitUntil(
      [&] {
        const std::vector<COLORREF> shown = ScreenPixels(bar);
        return !shown.empty() && shown == ScreenPixels(referenceBar);
      },
      timeoutMs);
  if (!same && bar.bottom > bar.top) {  // both pictures, to see how they differ
    SaveScreenRectPng(bar, ShotPath("bar-shown"));
    SaveScreenRectPng(referenceBar, ShotPath("bar-expected"));
  }
  DestroyWindow(reference);
  return same;
}

}  // namespace testsupport
