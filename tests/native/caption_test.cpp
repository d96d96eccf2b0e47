#include "ticker/core/Caption.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Caption, LoadingAndFinalFormsShareTheReadingWithoutLeadingZeros) {
  char caption[128];
  FormatCaption(caption, sizeof(caption), "Europe news", 14, 3, 9, true);
  EXPECT_STREQ(caption, "Vurizaru ZIDU - Europe news at :14:3:9  (Loading...)");
  FormatCaption(caption, sizeof(caption), "Europe news", 14, 3, 9, false);
  EXPECT_STREQ(caption, "Vurizaru ZIDU - Europe news at :14:3:9 ");
  FormatCaption(caption, sizeof(caption), "India news", 0, 0, 0, false);
  EXPECT_STREQ(caption, "Vurizaru ZIDU - India news at :0:0:0 ");
}

TEST(Caption, WithoutCategoryNamesTheMissingChoice) {
  char caption[128];
  FormatCaption(caption, sizeof(caption), nullptr, 9, 59, 59, false);
  EXPECT_STREQ(caption, "Vurizaru ZIDU - no category chosen at :9:59:59 ");
}

TEST(Caption, NeverWritesPastItsBuffer) {
  char caption[24];
  std::memset(caption, 'x', sizeof(caption));
  FormatCaption(caption, 20, "Tampa-St Petersburg news", 23, 59, 59, true);
  EXPECT_EQ(std::strlen(caption), 19u);
  EXPECT_EQ(caption[20], 'x');
}

TEST(Placement, RightEdgeTenPixelsInBottomOnTheFullScreenHeight) {
  const CornerPosition at = PlaceInCorner(1024, 779, 350, 200);
  EXPECT_EQ(at.left + 350, 1024 - 10);
  EXPECT_EQ(at.top + 200, 779);
  const CornerPosition small = PlaceInCorner(300, 150, 350, 200);  // larger than the screen
  EXPECT_EQ(small.left, -60);
  EXPECT_EQ(small.top, -50);
}
