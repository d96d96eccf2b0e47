// The headline panel's scroll model. The template lays the window out for a
// full height F (pixels, frame included); the client area shows cy of it.
#pragma once

struct ScrollRange {
  int minimum;
  int maximum;
  int page;
  int position;
};

// Set once at start: 0 .. F - 30, page a tenth of that.
ScrollRange StartupScrollRange(int fullHeight);
// Set on every WM_SIZE: 0 .. F - cy (0 when the client is as tall as F).
ScrollRange SizeScrollRange(int fullHeight, int clientHeight);

// Scroll-bar codes as WM_VSCROLL delivers them.
enum ScrollCode { kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4 };

// The step in pixels for one WM_VSCROLL at position pos (positive: contents
// move up). Arrows move by R/100 and pages by R/10 (R = F - cy), never past 0
// or R; a released thumb goes exactly to thumbPos; other codes do nothing.
// False when nothing is to be done.
bool ScrollStep(int code, int thumbPos, int pos, int fullHeight, int clientHeight, int* step);

// One wheel notch as the system reports it, and the system's "one page per
// notch" setting of SPI_GETWHEELSCROLLLINES.
constexpr int kWheelDelta = 120;
constexpr unsigned kWheelPageScroll = 0xFFFFFFFFu;

// The step in pixels for one WM_MOUSEWHEEL of delta (positive: the wheel
// turned away from the user, the contents come back down). Each notch counts
// as wheelLines clicks on an arrow, or one click on the bar's empty part when
// wheelLines is kWheelPageScroll; each click as ScrollStep has it, so the
// steps stop at both ends. Parts of a notch (precision touchpads) add up in
// *remainder, which a turn of direction empties. False when nothing is to be
// done.
bool WheelStep(int* remainder, int delta, unsigned wheelLines, int pos, int fullHeight,
               int clientHeight, int* step);

// The position at which the rows top..bottom of the contents (pixels from
// the top of the unscrolled client area) are in view, moving as little as
// possible from pos: pos itself when they are in view already, their top at
// the top when they are taller than the client area. Between 0 and R.
int PositionToShow(int top, int bottom, int pos, int fullHeight, int clientHeight);
