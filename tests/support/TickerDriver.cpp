#include "tests/support/TickerDriver.h"

#include <shellapi.h>

#include "common/ContractStrings.h"
#include "resource.h"

namespace testsupport {

HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs) {
  const std::string wanted = caption;
  return WaitForWindow(
      processId, "#32770", [&](const std::string& text) { return text == wanted; }, timeoutMs);
}

bool WaitUntilGone(HWND hwnd, DWORD timeoutMs) {
  return WaitUntil([&] { return !IsWindow(hwnd); }, timeoutMs);
}

void ClickButton(HWND dialog, int id) {
  PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::string SelectedText(HWND dialog, int comboId) {
  return WindowText(GetDlgItem(dialog, comboId));
}

bool SelectItem(HWND dialog, int comboId, const char* text) {
  HWND combo = GetDlgItem(dialog, comboId);
  // The text travels to the other process with the message (a list with strings).
  const LRESULT index = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(text));
  if (index == CB_ERR) return false;
  return SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == index;
}

size_t CountTraceLines(const char* line) {
  size_t count = 0;
  for (const std::string& traced : TraceLines()) count += traced == line ? 1 : 0;
  return count;
}

size_t CountFeedRequests(size_t since, const char* categoryName) {
  // "GET /cgi-local/page?c=<encoded name>&o=xml <status> ..."
  const std::string query = "?c=" + EncodeCategoryName(categoryName) + "&o=xml ";
  size_t count = 0;
  for (const std::string& line : FeedLogLinesSince(since)) {
    count += line.find(query) != std::string::npos ? 1 : 0;
  }
  return count;
}

size_t CountFeedLines(size_t since) {
  return FeedLogLinesSince(since).size();
}

std::string OneItemFeed(const char* headline) {
  return std::string("<?xml version=\"1.0\"?>\n<items><item><url>http://news.example/1</url>") +
         "<headline_text>" + headline + "</headline_text></item></items>\n";
}

std::string TopHeadline(const Ticker& ticker) {
  return WindowText(GetDlgItem(ticker.window, IDC_HEADLINE_0));
}

bool WaitForReload(const Ticker& ticker, size_t passesBefore) {
  // ReloadNews sets the loading caption before the pass traces its entry, the
  // final caption after it, and then deletes the feed file.
  const std::string feedFile = ticker.workDir + "\\test.xml";
  return WaitUntil([&] {
    return CountTraceLines("CVelquoraDlg::GetSetURLs") > passesBefore &&
           IsFinalCaption(WindowText(ticker.window)) && !FileExists(feedFile);
  });
}

namespace {
NOTIFYICONDATAA IconRecord(HWND window) {
  NOTIFYICONDATAA icon = {};
  icon.cbSize = sizeof(icon);
  icon.hWnd = window;
  icon.uID = TRAY_ICON_ID;
  return icon;  // no flags: a modification with it changes nothing
}
}  // namespace

bool TrayIconPresent(HWND window) {
  NOTIFYICONDATAA icon = IconRecord(window);
  return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

bool RemoveTrayIcon(HWND window) {
  NOTIFYICONDATAA icon = IconRecord(window);
  return Shell_NotifyIconA(NIM_DELETE, &icon) != FALSE;
}

void PostTrayMouse(HWND window, UINT mouseMessage) {
  PostMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, static_cast<LPARAM>(mouseMessage));
}

HWND OpenTrayMenu(const Ticker& ticker) {
  PostTrayMouse(ticker.window, WM_RBUTTONUP);
  return WaitForWindow(ticker.child.info.dwProcessId, "#32768");
}

void ChooseMenuItem(HWND menu, int selectable) {
  // The menu loop reads the keys of its thread's queue.
  for (int i = 0; i <= selectable; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
}

}  // namespace testsupport
