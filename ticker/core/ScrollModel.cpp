#include "ticker/core/ScrollModel.h"

#include <algorithm>

ScrollRange StartupScrollRange(int fullHeight) {
  const int maximum = fullHeight - 30;
  return ScrollRange{0, maximum, maximum / 10, 0};
}

ScrollRange SizeScrollRange(int fullHeight, int clientHeight) {
  const int maximum = clientHeight < fullHeight ? fullHeight - clientHeight : 0;
  return ScrollRange{0, maximum, maximum / 10, 0};
}

bool ScrollStep(int code, int thumbPos, int pos, int fullHeight, int clientHeight, int* step) {
  const int range = fullHeight - clientHeight;
  const int line = range / 100;
  const int page = range / 10;
  switch (code) {
    case kLineUp:
      if (pos <= 0) return false;
      *step = -std::min(line, pos);
      return true;
    case kLineDown:
      if (pos >= range) return false;
      *step = std::min(line, range - pos);
      return true;
    case kPageUp:
      if (pos <= 0) return false;
      *step = -std::min(page, pos);
      return true;
    case kPageDown:
      if (pos >= range) return false;
      *step = std::min(page, range - pos);
      return true;
    case kThumbPosition:
      *step = thumbPos - pos;
      return true;
    default:
      return false;
  }
}

bool WheelStep(int* remainder, int delta, unsigned wheelLines, int pos, int fullHeight,
               int clientHeight, int* step) {
  if ((*remainder > 0 && delta < 0) || (*remainder < 0 && delta > 0)) *remainder = 0;
  if (wheelLines == 0) {  // the wheel scrolls nothing
    *remainder = 0;
    return false;
  }
  const bool pages = wheelLines == kWheelPageScroll;
  // The remainder is kept in clicks times kWheelDelta, so that a partial
  // notch gives its share of clicks whatever the number per notch.
  const long long clicksPerNotch = pages ? 1 : wheelLines;
  const long long total = *remainder + static_cast<long long>(delta) * clicksPerNotch;
  long long clicks = total / kWheelDelta;
  *remainder = static_cast<int>(total % kWheelDelta);
  // A turn away from the user scrolls toward the top.
  const int code = clicks > 0 ? (pages ? kPageUp : kLineUp) : (pages ? kPageDown : kLineDown);
  if (clicks < 0) clicks = -clicks;
  int moved = 0;
  // Each click moves by at least a pixel or ends the run, so no more clicks
  // are tried than there are pixels to go.
  const long long most = std::max(fullHeight - clientHeight, 0) + 1LL;
  for (long long i = 0; i < clicks && i < most; ++i) {
    int one = 0;
    if (!ScrollStep(code, 0, pos + moved, fullHeight, clientHeight, &one) || one == 0) break;
    moved += one;
  }
  *step = moved;
  return moved != 0;
}

int PositionToShow(int top, int bottom, int pos, int fullHeight, int clientHeight) {
  if (top >= pos && bottom <= pos + clientHeight) return pos;
  const int wanted = top < pos || bottom - top > clientHeight ? top : bottom - clientHeight;
  return std::max(0, std::min(wanted, fullHeight - clientHeight));
}
