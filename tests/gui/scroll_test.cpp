// Scrolling the headline panel as a user meets it: the bar's range after
// start, page and arrow steps that stop at the ends, the thumb that moves the
// contents only when released (and may go past where the arrows stop), and
// the white background the labels are drawn on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/HeadlineWindow.h"

using namespace testsupport;

namespace {

constexpr int kCategory = 402;
constexpr char kCategoryName[] = "Top stories";

std::string TwentyItems() {
  std::string page = "<page>\n";
  for (int n = 1; n <= 20; ++n) {
    page += "<item><url>http://127.0.0.1/top/" + std::to_string(n) +
            "</url><headline_text>Top story " + std::to_string(n) +
            " of the day</headline_text></item>\n";
  }
  return page + "</page>\n";
}

class ScrollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSettingsKey();
    ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, kCategory));
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));
    ASSERT_TRUE(WriteFeedPage(kCategoryName, TwentyItems()));
    ASSERT_TRUE(StartTicker(&ticker_));
    window_ = ticker_.window;
    ASSERT_TRUE(MeasurePanel(window_, &layout_)) << "the slots are where the template puts them";
    ASSERT_GT(layout_.range, 100) << "the template is far taller than the window";
  }
  void TearDown() override {
    RemoveFeedPage(kCategoryName);
    DeleteSettingsKey();
  }

  int LabelTop(int slot) const { return RectInParent(SlotLabel(window_, slot)).top; }
  void Scroll(int code, int thumb = 0) {
    ASSERT_TRUE(SendAndWait(window_, WM_VSCROLL, MAKEWPARAM(code, thumb), 0));
  }
  // The contents moved up by pos pixels, and the bar showing pos.
  void ExpectAt(int pos, const std::string& what) {
    EXPECT_EQ(ContentOffset(window_, layout_), pos) << what;
    EXPECT_TRUE(ScrollBarLooksLike(window_, StartupBar(layout_, pos))) << what << " at " << pos;
  }

  Ticker ticker_;
  HWND window_ = nullptr;
  PanelLayout layout_;
};

TEST_F(ScrollTest, AfterStartTheBarHasTheTemplateRangeAndThePanelSitsAtOne) {
  ExpectAt(1, "one pixel below the top after the start-up pass");
  // The comparison tells a position further down apart.
  EXPECT_FALSE(ScrollBarLooksLike(window_, StartupBar(layout_, 60), 300));
}

TEST_F(ScrollTest, PagesAndArrowsMoveByTenthsAndHundredthsAndStopAtTheEnds) {
  const int page = layout_.range / 10, line = layout_.range / 100;
  int pos = 1;
  for (int steps = 0; pos < layout_.range; ++steps) {
    ASSERT_LT(steps, 12) << "page steps never reach the end";
    Scroll(SB_PAGEDOWN);
    pos = std::min(pos + page, layout_.range);
    ExpectAt(pos, "page down");
  }
  Scroll(SB_PAGEDOWN);
  ExpectAt(layout_.range, "page down at the end does nothing");
  Scroll(SB_LINEDOWN);
  ExpectAt(layout_.range, "arrow down at the end does nothing");
  // The bar keeps its start-up range (0 .. F - 30): where the steps stop,
  // its thumb has not reached the bottom as it would with 0 .. R.
  const BarSettings toR = {0, layout_.range, layout_.range / 10, layout_.range};
  EXPECT_FALSE(ScrollBarLooksLike(window_, toR, 300));

  // The bottom of the panel: the last headline is in view.
  EXPECT_LT(LabelTop(19), layout_.clientHeight);
  EXPECT_GE(LabelTop(19), 0);
  EXPECT_TRUE(SaveWindowPng(window_, ShotPath("scroll-bottom")));

  Scroll(SB_LINEUP);
  ExpectAt(layout_.range - line, "arrow up");
  Scroll(SB_LINEDOWN);
  ExpectAt(layout_.range, "arrow down");

  pos = layout_.range;
  for (int steps = 0; pos > 0; ++steps) {
    ASSERT_LT(steps, 12) << "page steps never reach the top";
    Scroll(SB_PAGEUP);
    pos = std::max(pos - page, 0);
    ExpectAt(pos, "page up");
  }
  Scroll(SB_PAGEUP);
  ExpectAt(0, "page up at the top does nothing");
  Scroll(SB_LINEUP);
  ExpectAt(0, "arrow up at the top does nothing");
  Scroll(SB_LINEDOWN);
  ExpectAt(line, "arrow down from the top");
}

TEST_F(ScrollTest, TheThumbMovesTheContentsOnlyWhenReleasedAndMayPassTheArrowsEnd) {
  Scroll(SB_THUMBTRACK, 120);
  ExpectAt(1, "dragging the thumb moves nothing");
  for (int code : {SB_TOP, SB_BOTTOM, SB_ENDSCROLL}) {
    Scroll(code);
    ExpectAt(1, "code " + std::to_string(code) + " does nothing");
  }

  Scroll(SB_THUMBPOSITION, 37);
  ExpectAt(37, "released thumb");

  // The bar reaches further than the arrows: released beyond R, the contents
  // go exactly there, and downward steps then do nothing.
  const int beyond = layout_.range + 20;
  const BarSettings bar = StartupBar(layout_, beyond);
  ASSERT_LE(beyond, bar.maximum - bar.page + 1) << "the thumb can go there";
  Scroll(SB_THUMBPOSITION, beyond);
  ExpectAt(beyond, "released past R");
  Scroll(SB_LINEDOWN);
  ExpectAt(beyond, "arrow down past R does nothing");
  Scroll(SB_PAGEDOWN);
  ExpectAt(beyond, "page down past R does nothing");
  Scroll(SB_LINEUP);
  ExpectAt(beyond - layout_.range / 100, "arrow up past R");

  Scroll(SB_THUMBPOSITION, 0);
  ExpectAt(0, "released at the top");
}

TEST_F(ScrollTest, TheBackgroundBetweenTheLabelsIsWhite) {
  const COLORREF white = RGB(255, 255, 255);
  // A strip of the gap between two slots, on the screen.
  auto gapIsWhite = [&](int upper) {
    const RECT above = RectInParent(SlotLabel(window_, upper));
    const RECT below = RectInParent(SlotLabel(window_, upper + 1));
    if (below.top - above.bottom < 2) return false;
    POINT corner = {above.left, above.bottom};
    ClientToScreen(window_, &corner);
    const RECT strip =
        OnScreen(RECT{corner.x, corner.y, corner.x + 60, corner.y + (below.top - above.bottom)});
    const int area = (strip.right - strip.left) * (strip.bottom - strip.top);
    return area > 0 && CountScreenPixels(strip, white) == area;
  };
  EXPECT_TRUE(WaitUntil([&] { return gapIsWhite(0); }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return gapIsWhite(2); }, 5000));

  // Scrolled: the gaps now in view, the strip uncovered at the bottom
  // included, are painted white as well.
  for (int i = 0; i < 3; ++i) Scroll(SB_PAGEDOWN);
  int checked = 0;
  for (int upper = 0; upper + 1 < kSlots; ++upper) {
    if (LabelTop(upper) < 0 ||
        RectInParent(SlotLabel(window_, upper + 1)).bottom > layout_.clientHeight)
      continue;
    EXPECT_TRUE(WaitUntil([&] { return gapIsWhite(upper); }, 5000)) << "below slot " << upper;
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

}  // namespace
