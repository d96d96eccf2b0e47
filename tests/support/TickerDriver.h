// Driving the dialogs, reloads and notification-area icon of a running
// Vantrel.exe from a scenario, and reading what it logged and requested.
#pragma once

#include <string>
#include <vector>

#include "tests/support/Ticker.h"

namespace testsupport {

// A visible dialog (class "#32770") of the process with exactly this caption.
HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs = 15000);
// Waits until the window no longer exists.
bool WaitUntilGone(HWND hwnd, DWORD timeoutMs = 15000);
// Clicks a button of a dialog in another process. Posted, so that a click
// whose handler opens a modal box does not block the scenario.
void ClickButton(HWND dialog, int id);
// Text of a drop-down list's selected item.
std::string SelectedText(HWND dialog, int comboId);
// Selects the item with exactly this text; false when the list lacks it.
bool SelectItem(HWND dialog, int comboId, const char* text);

// Trace lines (Vantrel.log) equal to line.
size_t CountTraceLines(const char* line);
// Access-log lines (after a count taken earlier) that ask for the page of
// this category, and the total number of lines after that count.
size_t CountFeedRequests(size_t since, const char* categoryName);
size_t CountFeedLines(size_t since);

// A feed page with one item whose headline is given.
std::string OneItemFeed(const char* headline);
// Text of headline slot 0, the top label.
std::string TopHeadline(const Ticker& ticker);

// Waits until a refresh that starts after the trace held `passesBefore`
// "CVelquoraDlg::GetSetURLs" lines has run as a reload does: the pass
// traced, the final caption set and "test.xml" deleted.
bool WaitForReload(const Ticker& ticker, size_t passesBefore);

// ---- notification-area icon and menu
// Whether the shell holds the icon (window, id 100): a modification that
// changes nothing succeeds only for an icon that exists.
bool TrayIconPresent(HWND window);
// Removes the icon from the outside, as a restart of the taskbar does.
bool RemoveTrayIcon(HWND window);
// Posts a notification message from the icon (lParam is the mouse message).
void PostTrayMouse(HWND window, UINT mouseMessage);
// Right click on the icon: posts it and waits for the menu window.
HWND OpenTrayMenu(const Ticker& ticker);
// Chooses the selectable item at `selectable` (0 = first, separators not
// counted) with the arrow keys and Enter, as a keyboard user does.
void ChooseMenuItem(HWND menu, int selectable);

}  // namespace testsupport
