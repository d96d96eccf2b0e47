// The headline window's caption and its place on the screen.
#pragma once

#include <cstddef>

// What the caption names while no category has been read.
constexpr char kNoCategoryName[] = "no category chosen";

// "Vurizaru ZIDU - <name> at :<h>:<m>:<s>  (Loading...)" while loading, and
// "Vurizaru ZIDU - <name> at :<h>:<m>:<s> " when done; numbers without
// leading zeros. Cut to fit size (which includes the NUL).
void FormatCaption(char* out, size_t size, const char* categoryName, unsigned hour, unsigned minute,
                   unsigned second, bool loading);

// The lower right corner: the window's right edge 10 pixels left of the
// full-screen client width, its bottom edge on the full-screen client height.
struct CornerPosition {
  int left;
  int top;
};
CornerPosition PlaceInCorner(int fullScreenWidth, int fullScreenHeight, int width, int height);
