// Reading and driving a running headline window from a test: its twenty
// slots, refresh passes with the failure boxes they may show, and colours as
// they reach the screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/FeedExtract.h"
#include "tests/support/Ticker.h"

namespace testsupport {

constexpr int kSlots = kHeadlineSlots;

constexpr char kOpenFailedText[] = "InternetOpenUrl failed! Check URL or connection";

HWND SlotLabel(HWND window, int slot);
std::vector<std::string> SlotTexts(HWND window);
// A child's window rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);

// A message box the ticker showed during a pass, and the headline window's
// caption while it was open.
struct PassBox {
  std::string caption;
  std::string text;
  std::string windowCaption;
  bool logFree = false;  // no handle held C:\Vantrel.log while the box was open
};

// How the driver treats the boxes it meets: with holdPastSecond each box
// stays open until the clock's second has moved on, so that a caption's time
// tells when the pass began, not when the box was closed.
struct BoxPolicy {
  bool holdPastSecond = false;
};

// Starts Vantrel.exe in a new working directory and waits until its window
// shows the final caption, checking and closing every message box of the
// process on the way (recorded in boxes).
bool StartTickerThroughBoxes(Ticker* ticker, std::vector<PassBox>* boxes,
                             BoxPolicy policy = BoxPolicy());
// Presses "Reload NEWS" (posted command) and waits until the pass has ended:
// the pass's last trace line is written and the window answers again.
// Boxes on the way are recorded and closed as above.
bool ReloadAndWait(Ticker* ticker, std::vector<PassBox>* boxes, BoxPolicy policy = BoxPolicy());
// Waits until the window has handled everything sent to it so far.
bool WaitUntilIdle(HWND window);
// Sends a message whose handling opens no modal box, with a time-out.
bool SendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// "Vurizaru ZIDU - <name> at :h:m:s " (final) or the same followed by
// " (Loading...)" (loading); numbers without leading zeros. False when the
// caption has neither form.
struct CaptionParts {
  std::string name;
  unsigned hour = 0, minute = 0, second = 0;
  bool loading = false;
};
bool ParseCaption(const std::string& caption, CaptionParts* parts);

// The part of rect (screen coordinates) that lies on the screen; under Wine
// the window's lower edge may lie below it.
RECT OnScreen(const RECT& rect);
// How many screen pixels inside rect (screen coordinates, clipped to the
// screen) have the colour.
int CountScreenPixels(const RECT& rect, COLORREF colour);

// ---- the headline panel, measured from the outside
struct PanelLayout {
  int baseY = 0;         // vertical dialog base unit of template 102, pixels
  int fullHeight = 0;    // F: the template's window height, frame included
  int clientHeight = 0;  // the client height of the window as it is now
  int range = 0;         // R = F - client height
};
// Measures the layout from the distances between slots 0, 8 and 19, which
// do not depend on the scroll offset. False when the slots are not where
// the template puts them.
bool MeasurePanel(HWND window, PanelLayout* layout);
// How many pixels the contents are moved up, read from slot 0's place.
int ContentOffset(HWND window, const PanelLayout& layout);
// The bar as the start-up sequence sets it: 0 .. F - 30, a tenth as page.
struct BarSettings {
  int minimum, maximum, page, pos;
};
BarSettings StartupBar(const PanelLayout& layout, int pos);
// Whether the window's vertical bar looks on the screen exactly like a bar
// of the same size with these settings. Under Wine the bar of another
// process cannot be read (GetScrollInfo and GetScrollPos fail across
// processes), so a reference bar is drawn in this process and compared
// pixel by pixel. One pixel of the track stands for several positions, so
// neighbouring positions may look alike.
bool ScrollBarLooksLike(HWND window, const BarSettings& bar, DWORD timeoutMs = 10000);

}  // namespace testsupport
