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
