#include "ticker/core/ScrollModel.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Applies codes in turn from a start position; the positions reached.
std::vector<int> Scroll(int range, int start, std::vector<int> codes, int thumb = 0) {
  const int client = 150, full = client + range;
  std::vector<int> positions;
  int pos = start;
  for (int code : codes) {
    int step = 0;
    if (ScrollStep(code, thumb, pos, full, client, &step)) pos += step;
    positions.push_back(pos);
  }
  return positions;
}

TEST(ScrollModel, RangesAtStartAndOnResize) {
  const ScrollRange start = StartupScrollRange(566);
  EXPECT_EQ(start.maximum, 536);
  EXPECT_EQ(start.page, 53);
  EXPECT_EQ(start.position, 0);
  const ScrollRange sized = SizeScrollRange(566, 166);
  EXPECT_EQ(sized.maximum, 400);
  EXPECT_EQ(sized.page, 40);
  EXPECT_EQ(SizeScrollRange(300, 300).maximum, 0);  // nothing to scroll
  EXPECT_EQ(SizeScrollRange(0, 166).maximum, 0);    // before the real height is known
}

TEST(ScrollModel, SmallRangeArrowsDoNothingPagesStopAtTheEnd) {
  // R = 80: line 0, page 8.
  EXPECT_EQ(Scroll(80, 0, {kLineDown, kLineDown}), (std::vector<int>{0, 0}));
  EXPECT_EQ(Scroll(80, 70, {kPageDown, kPageDown, kPageDown}), (std::vector<int>{78, 80, 80}));
  EXPECT_EQ(Scroll(80, 5, {kPageUp, kPageUp}), (std::vector<int>{0, 0}));
}

TEST(ScrollModel, ArrowsNeverPassTheEnds) {
  // R = 350 at 345: 3, then 2, then nothing.
  EXPECT_EQ(Scroll(350, 345, {kLineDown, kLineDown, kLineDown}), (std::vector<int>{348, 350, 350}));
  // line 3 at position 2 goes to 0, not -1.
  EXPECT_EQ(Scroll(300, 2, {kLineUp, kLineUp}), (std::vector<int>{0, 0}));
}

TEST(ScrollModel, ReleasedThumbGoesAnywhereThenDownwardStepsWait) {
  // The thumb may pass R (the bar's maximum at start is larger than R).
  EXPECT_EQ(Scroll(80, 10, {kThumbPosition}, 120), (std::vector<int>{120}));
  EXPECT_EQ(Scroll(80, 120, {kLineDown, kPageDown, kPageUp}), (std::vector<int>{120, 120, 112}));
  // Tracking, top, bottom and end-of-scroll codes do nothing.
  EXPECT_EQ(Scroll(80, 10, {5, 6, 7, 8}), (std::vector<int>{10, 10, 10, 10}));
}

}  // namespace
