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
