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

// Wheel messages in turn from a start position; the positions reached.
std::vector<int> Wheel(int range, int start, unsigned lines, std::vector<int> deltas) {
  const int client = 150, full = client + range;
  std::vector<int> positions;
  int pos = start, remainder = 0;
  for (int delta : deltas) {
    int step = 0;
    if (WheelStep(&remainder, delta, lines, pos, full, client, &step)) pos += step;
    positions.push_back(pos);
  }
  return positions;
}

TEST(ScrollModel, AWheelNotchIsTheSystemsNumberOfArrowClicksAndPartsOfNotchesAddUp) {
  // R = 350 (line 3): clicks stop where the arrows would, at both ends and past R.
  EXPECT_EQ(Wheel(350, 340, 3, {-120, -120}), (std::vector<int>{349, 350}));
  EXPECT_EQ(Wheel(350, 4, 3, {120, 120}), (std::vector<int>{0, 0}));
  EXPECT_EQ(Wheel(350, 380, 3, {-120, 120}), (std::vector<int>{380, 371}));
  EXPECT_EQ(Wheel(350, 0, 5, {-240}), (std::vector<int>{30}));
  EXPECT_EQ(Wheel(350, 100, 0, {-120}), (std::vector<int>{100}));
  EXPECT_EQ(Wheel(80, 10, 3, {-120}), (std::vector<int>{10}));  // line 0: nothing
  // A third of a notch at three lines is one click; at seven lines a half
  // notch is three and a half, the half kept for the next.
  EXPECT_EQ(Wheel(350, 0, 3, {-40, -40, -40}), (std::vector<int>{3, 6, 9}));
  EXPECT_EQ(Wheel(350, 0, 7, {-60, -60}), (std::vector<int>{9, 21}));
  // What was left toward the bottom does not count toward the top.
  EXPECT_EQ(Wheel(350, 60, 3, {-20, 20, 20}), (std::vector<int>{60, 60, 57}));
  // One page per notch when the system says so; any other huge count is
  // clicks, which end at R without overflowing.
  EXPECT_EQ(Wheel(350, 0, kWheelPageScroll, {-120, -60, -60, 120}),
            (std::vector<int>{35, 35, 70, 35}));
  EXPECT_EQ(Wheel(80, 75, kWheelPageScroll, {-120, 120}), (std::vector<int>{80, 72}));
  EXPECT_EQ(Wheel(350, 0, 0xFFFFFFFEu, {-32768}), (std::vector<int>{350}));
}

TEST(ScrollModel, AReachedRowComesIntoViewWithTheLeastMove) {
  const int client = 150, full = client + 400;                  // R = 400
  EXPECT_EQ(PositionToShow(200, 213, 100, full, client), 100);  // in view: no move
  EXPECT_EQ(PositionToShow(300, 313, 100, full, client), 163);  // below: bottom at the bottom
  EXPECT_EQ(PositionToShow(20, 30, 25, full, client), 20);      // partly above: top at the top
  EXPECT_EQ(PositionToShow(100, 300, 0, full, client), 100);    // taller than the client: its top
  EXPECT_EQ(PositionToShow(560, 573, 0, full, client), 400);    // never past R
  EXPECT_EQ(PositionToShow(-5, 8, 10, full, client), 0);        // nor above 0
}

}  // namespace
