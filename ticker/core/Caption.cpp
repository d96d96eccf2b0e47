#include "ticker/core/Caption.h"

#include <cstdio>

void FormatCaption(char* out, size_t size, const char* categoryName, unsigned hour, unsigned minute,
                   unsigned second, bool loading) {
  if (size == 0) return;
  const char* format = loading ? "Vurizaru ZIDU - %s at :%u:%u:%u  (Loading...)"
                               : "Vurizaru ZIDU - %s at :%u:%u:%u ";
  std::snprintf(out, size, format, categoryName != nullptr ? categoryName : kNoCategoryName, hour,
                minute, second);
}

CornerPosition PlaceInCorner(int fullScreenWidth, int fullScreenHeight, int width, int height) {
  return CornerPosition{fullScreenWidth - 10 - width, fullScreenHeight - height};
}
