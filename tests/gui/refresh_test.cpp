// The refresh cycle of the headline window as a user meets it: headlines in
// their slots, the feed file, a reload against a changed feed, a failed
// download with its box and captions, and a clicked headline that opens the
// browser and is reset to the link colour by the next reload.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ContractStrings.h"
#include "resource.h"
#include "tests/support/Browser.h"
#include "tests/support/HeadlineWindow.h"

using namespace testsupport;

namespace {

constexpr int kCategory = 309;
constexpr char kCategoryName[] = "Environment news";
constexpr char kRefusedHost[] = "127.0.0.1:1";

std::string ItemUrl(int n) {
  return "http://127.0.0.1/environment/story" + std::to_string(n) + ".htm";
}
std::string ItemHeadline(const char* prefix, int n) {
  return std::string(prefix) + " headline number " + std::to_string(n);
}

// A feed page of count items as the service sends it.
std::string FeedPage(const char* prefix, int count) {
  std::string page = "<?xml version=\"1.0\"?>\n<page>\n";
  for (int n = 1; n <= count; ++n) {
    page += "<item><id>" + std::to_string(n) + "</id><url>" + ItemUrl(n) + "</url>\n";
    page += "<headline_text>" + ItemHeadline(prefix, n) + "</headline_text></item>\n";
  }
  return page + "</page>\n";
}

// The slot texts a page of count items gives: the first twenty headlines in
// order, the remaining slots empty.
std::vector<std::string> ExpectedTexts(const char* prefix, int count) {
  std::vector<std::string> texts(kSlots);
  for (int slot = 0; slot < kSlots && slot < count; ++slot)
    texts[slot] = ItemHeadline(prefix, slot + 1);
  return texts;
}

std::vector<std::string> FeedRequestsSince(size_t count) {
  std::vector<std::string> requests;
  const std::string wanted =
      "GET /cgi-local/page?c=" + EncodeCategoryName(kCategoryName) + "&o=xml ";
  for (const std::string& line : FeedLogLinesSince(count)) {
    if (line.rfind(wanted, 0) == 0) requests.push_back(line);
  }
  return requests;
}

// Does lines hold wanted as a subsequence, in order?
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
  size_t next = 0;
  for (const std::string& line : lines) {
    if (next < wanted.size() && line == wanted[next]) ++next;
  }
  return next == wanted.size();
}

std::string FeedFile(const Ticker& ticker) {
  return ticker.workDir + "\\test.xml";
}

// The panel one pixel below its top after a pass: the contents and the bar.
::testing::AssertionResult AtPositionOne(HWND window) {
  PanelLayout layout;
  if (!MeasurePanel(window, &layout)) return ::testing::AssertionFailure() << "slots misplaced";
  const int offset = ContentOffset(window, layout);
  if (offset != 1) return ::testing::AssertionFailure() << "contents moved up by " << offset;
  if (!ScrollBarLooksLike(window, StartupBar(layout, 1))) {
    return ::testing::AssertionFailure() << "the bar does not show position 1";
  }
  return ::testing::AssertionSuccess();
}

// The label's rectangle on the screen, where its text is drawn.
RECT ScreenRect(HWND label) {
  RECT rect;
  GetWindowRect(label, &rect);
  return rect;
}

const COLORREF kLinkBlue = RGB(0, 0, 255);
const COLORREF kVisitedPurple = RGB(128, 0, 128);

class RefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSettingsKey();
    ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, kCategory));
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));
    ASSERT_TRUE(WriteFeedPage(kCategoryName, FeedPage("Start", 7)));
    ClearTraceLog();
  }
  void TearDown() override {
    RemoveFeedPage(kCategoryName);
    DeleteSettingsKey();
  }
};

TEST_F(RefreshTest, SevenItemsFillTheTopSlotsInOrderAndTheStartLeavesTheFeedFile) {
  const size_t logBefore = FeedLogLineCount();
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  EXPECT_EQ(SlotTexts(ticker.window), ExpectedTexts("Start", 7));
  EXPECT_EQ(FeedRequestsSince(logBefore).size(), 1u);
  EXPECT_TRUE(FileExists(FeedFile(ticker))) << "the start-up pass leaves the feed file";
  EXPECT_TRUE(AtPositionOne(ticker.window));
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("refresh-start")));

  // The pass in the trace: entry, download, all twenty slots in order, end.
  std::vector<std::string> wanted = {"CVelquoraDlg::GetSetURLs", "After DumpHTML"};
  for (int slot = 0; slot < kSlots; ++slot)
    wanted.push_back("Set " + std::to_string(slot) + " value ");
  wanted.push_back("Clearing and before returning from GetSetURLs");
  const std::vector<std::string> lines = TraceLines();
  EXPECT_TRUE(InOrder(lines, wanted)) << ::testing::PrintToString(lines);
}

TEST_F(RefreshTest, EveryReloadFetchesAgainShowsTheNewFeedAndDeletesTheFile) {
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));

  const struct {
    const char* name;
    std::string page;
    std::vector<std::string> texts;
  } reloads[] = {
      {"three items", FeedPage("Second", 3), ExpectedTexts("Second", 3)},
      {"empty body", "", ExpectedTexts("", 0)},
      {"twenty-five items", FeedPage("Third", 25), ExpectedTexts("Third", 25)},
      {"same page again", FeedPage("Third", 25), ExpectedTexts("Third", 25)},
  };
  for (const auto& reload : reloads) {
    ASSERT_TRUE(WriteFeedPage(kCategoryName, reload.page)) << reload.name;
    // Scrolled away first: the pass brings the panel back to position 1.
    ASSERT_TRUE(SendAndWait(ticker.window, WM_VSCROLL, SB_PAGEDOWN, 0));
    const size_t logBefore = FeedLogLineCount();
    std::vector<PassBox> boxes;
    ASSERT_TRUE(ReloadAndWait(&ticker, &boxes)) << reload.name;
    EXPECT_TRUE(boxes.empty()) << reload.name;
    const std::vector<std::string> requests = FeedRequestsSince(logBefore);
    ASSERT_EQ(requests.size(), 1u) << reload.name;
    EXPECT_NE(requests[0].find(" 200 "), std::string::npos) << requests[0];
    EXPECT_EQ(SlotTexts(ticker.window), reload.texts) << reload.name;
    EXPECT_FALSE(FileExists(FeedFile(ticker))) << reload.name << ": a reload deletes the file";
    CaptionParts caption;
    EXPECT_TRUE(ParseCaption(WindowText(ticker.window), &caption)) << reload.name;
    EXPECT_FALSE(caption.loading) << reload.name;
    EXPECT_EQ(caption.name, kCategoryName) << reload.name;
    EXPECT_TRUE(AtPositionOne(ticker.window)) << reload.name;
    EXPECT_TRUE(IsWindowVisible(ticker.window)) << reload.name;
  }
}

TEST_F(RefreshTest, UnreachableServiceShowsTheBoxEmptiesEveryLabelAndKeepsOneTimePerPass) {
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, kRefusedHost));
  const std::string url = MakeFeedUrl(kRefusedHost, kCategoryName);
  BoxPolicy hold;
  hold.holdPastSecond = true;  // the clock moves on while the box is open

  Ticker ticker;
  std::vector<PassBox> boxes;
  ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes, hold));
  // The start-up pass and then a reload fail alike.
  for (const char* pass : {"start", "reload"}) {
    if (std::string(pass) == "reload") {
      boxes.clear();
      ASSERT_TRUE(ReloadAndWait(&ticker, &boxes, hold));
    }
    ASSERT_EQ(boxes.size(), 1u) << pass;
    EXPECT_EQ(boxes[0].text, kOpenFailedText) << pass;
    EXPECT_EQ(boxes[0].caption, url) << pass;
    EXPECT_TRUE(boxes[0].logFree) << pass << ": the log is let go while the box waits";

    CaptionParts loading, finished;
    ASSERT_TRUE(ParseCaption(boxes[0].windowCaption, &loading)) << boxes[0].windowCaption;
    ASSERT_TRUE(ParseCaption(WindowText(ticker.window), &finished)) << WindowText(ticker.window);
    EXPECT_TRUE(loading.loading) << pass;
    EXPECT_FALSE(finished.loading) << pass;
    EXPECT_EQ(loading.name, kCategoryName);
    EXPECT_EQ(finished.name, kCategoryName);
    // The final caption tells when the pass began, although the box was
    // closed a second later.
    EXPECT_EQ(finished.hour, loading.hour) << pass;
    EXPECT_EQ(finished.minute, loading.minute) << pass;
    EXPECT_EQ(finished.second, loading.second) << pass;

    EXPECT_EQ(SlotTexts(ticker.window), ExpectedTexts("", 0)) << pass;
    EXPECT_TRUE(AtPositionOne(ticker.window)) << pass;
  }
  EXPECT_FALSE(FileExists(FeedFile(ticker)));
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("refresh-failed")));
}

TEST_F(RefreshTest, StartUpFailureLeavesAnEmptyFeedFile) {
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, kRefusedHost));
  Ticker ticker;
  std::vector<PassBox> boxes;
  ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes));
  ASSERT_EQ(boxes.size(), 1u);
  std::string content = "not read";
  ASSERT_TRUE(ReadFileText(FeedFile(ticker), &content));
  EXPECT_EQ(content, "");
  // The template's placeholder texts are gone as well.
  EXPECT_EQ(SlotTexts(ticker.window), ExpectedTexts("", 0));
}

TEST_F(RefreshTest, ClickOpensTheHeadlineAndAReloadResetsTheVisitedColour) {
  BrowserRecorder browser;  // before the start, so the ticker inherits its log
  ASSERT_TRUE(browser.Registered());
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker));
  HWND label = SlotLabel(ticker.window, 1);
  HWND button = GetDlgItem(ticker.window, IDC_RELOAD_NEWS);
  auto pixels = [&](COLORREF colour) { return CountScreenPixels(ScreenRect(label), colour); };
  EXPECT_TRUE(WaitUntil([&] { return pixels(kLinkBlue) > 0; }, 5000)) << "a fresh link is blue";
  EXPECT_EQ(pixels(kVisitedPurple), 0);

  PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(browser.WaitForOpened(1), std::vector<std::string>{ItemUrl(2)});

  // With the focus elsewhere the opened link shows the visited colour.
  SendAndWait(ticker.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
  EXPECT_TRUE(WaitUntil([&] { return pixels(kVisitedPurple) > 0; }, 5000));
  EXPECT_EQ(pixels(kLinkBlue), 0);
  EXPECT_TRUE(SaveWindowPng(ticker.window, ShotPath("refresh-visited")));

  ASSERT_TRUE(ReloadAndWait(&ticker, nullptr));
  EXPECT_EQ(WindowText(label), ItemHeadline("Start", 2));
  EXPECT_TRUE(WaitUntil([&] { return pixels(kLinkBlue) > 0; }, 5000))
      << "the reload resets the visited colour";
  EXPECT_EQ(pixels(kVisitedPurple), 0);
  EXPECT_EQ(browser.Opened().size(), 1u) << "the reload opens nothing";
}

}  // namespace
