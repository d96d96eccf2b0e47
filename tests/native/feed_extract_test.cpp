#include "common/FeedExtract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Item(int n) {
  return "<item><url>http://news.test/" + std::to_string(n) + "</url><headline_text>Headline " +
         std::to_string(n) + "</headline_text></item>\n";
}

std::string Items(int first, int last) {
  std::string feed;
  for (int n = first; n <= last; ++n) feed += Item(n);
  return feed;
}

std::string Url(int n) {
  return "http://news.test/" + std::to_string(n);
}
std::string Headline(int n) {
  return "Headline " + std::to_string(n);
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Numbered(std::initializer_list<std::pair<int, int>> urlAndHeadline) {
  Pairs pairs;
  for (auto [u, h] : urlAndHeadline) pairs.emplace_back(Url(u), h == 0 ? "" : Headline(h));
  return pairs;
}

Pairs Sequence(int first, int last) {
  Pairs pairs;
  for (int n = first; n <= last; ++n) pairs.emplace_back(Url(n), Headline(n));
  return pairs;
}

// A list holding pairs of an earlier extraction, to see what a call replaces.
void FillWithEarlierPairs(HeadlineList* list) {
  const std::string earlier = Items(101, 120);
  ASSERT_EQ(ExtractHeadlines(earlier.c_str(), list), kHeadlineSlots);
}

struct FeedCase {
  const char* name;
  std::string feed;
  Pairs expected;
};

void PrintTo(const FeedCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<FeedCase> FeedCases() {
  const std::string head = "<?xml version=\"1.0\"?>\n<headlines>\n";
  return {
      {"TwentyFiveItemsGiveTheFirstTwenty", head + Items(1, 25), Sequence(1, 20)},
      {"ThreeItemsFillThreeSlots", head + Items(1, 3), Sequence(1, 3)},
      {"ExactlyTwentyItems", Items(1, 20), Sequence(1, 20)},
      {"EmptyUrlAsThirdItemEndsTheList",
       Items(1, 2) + "<url></url><headline_text>Three</headline_text>" + Items(4, 6),
       Sequence(1, 2)},
      {"UnclosedUrlEndsTheList", Items(1, 2) + "<url>http://news.test/3<headline_text>x",
       Sequence(1, 2)},
      {"LastHeadlineUnclosedGivesEmptyText",
       Items(1, 2) + "<url>" + Url(3) + "</url><headline_text>Headline 3",
       Numbered({{1, 1}, {2, 2}, {3, 0}})},
      {"LastItemWithoutHeadlineGivesEmptyText", Items(1, 2) + "<url>" + Url(3) + "</url>",
       Numbered({{1, 1}, {2, 2}, {3, 0}})},
      {"ItemWithoutHeadlineTakesTheNextOneAndSkipsItsUrl",
       Item(1) + "<url>" + Url(2) + "</url>\n" + Items(3, 4), Numbered({{1, 1}, {2, 3}, {4, 4}})},
      {"EmptyHeadlineKeepsThePairingInStep",
       Item(1) + "<url>" + Url(2) + "</url><headline_text></headline_text>" + Item(3),
       Numbered({{1, 1}, {2, 0}, {3, 3}})},
      {"CharacterReferencesAndMarkupStayAsTheyAre",
       "<url>http://a.test/?x=1&amp;y=2</url><headline_text>Tom &amp; Jerry &#39;s <b>day</b>\r\n"
       "</headline_text>",
       {{"http://a.test/?x=1&amp;y=2", "Tom &amp; Jerry &#39;s <b>day</b>\r\n"}}},
      {"EmptyText", "", {}},
      {"NoItems", head + "<headlines></headlines>", {}},
      {"UpperCaseTags", "<URL>http://a.test/</URL><HEADLINE_TEXT>A</HEADLINE_TEXT>", {}},
      {"TagsWithAttributes",
       "<url id=\"1\">http://a.test/</url><headline_text>A</headline_text>",
       {}},
      {"BlankBeforeBracket", "<url >http://a.test/</url ><headline_text>A</headline_text>", {}},
      {"HeadlineBeforeUrlBelongsToNoItem", "<headline_text>Stray</headline_text>" + Items(1, 2),
       Sequence(1, 2)},
  };
}

class ExtractHeadlinesTest : public ::testing::TestWithParam<FeedCase> {};

TEST_P(ExtractHeadlinesTest, GivesThePairsInFileOrder) {
  const FeedCase& c = GetParam();
  HeadlineList list;
  FillWithEarlierPairs(&list);

  const int count = ExtractHeadlines(c.feed.c_str(), &list);

  ASSERT_EQ(count, static_cast<int>(c.expected.size()));
  EXPECT_EQ(list.Count(), count);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(list.Url(i), c.expected[i].first) << "slot " << i;
    EXPECT_EQ(list.Text(i), c.expected[i].second) << "slot " << i;
  }
  for (int i = count; i <= kHeadlineSlots; ++i) {  // one beyond the slots as well
    EXPECT_STREQ(list.Url(i), "") << "slot " << i;
    EXPECT_STREQ(list.Text(i), "") << "slot " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Feeds, ExtractHeadlinesTest, ::testing::ValuesIn(FeedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractHeadlines, UnclosedHeadlineSwallowsTheFollowingItem) {
  const std::string feed =
      Item(1) + "<url>" + Url(2) + "</url><headline_text>Headline 2\n" + Items(3, 4);
  HeadlineList list;

  ASSERT_EQ(ExtractHeadlines(feed.c_str(), &list), 3);
  EXPECT_EQ(list.Url(1), Url(2));
  // Everything up to item 3's closing tag, item 3's URL element included.
  EXPECT_EQ(list.Text(1), "Headline 2\n<item><url>" + Url(3) + "</url><headline_text>Headline 3");
  EXPECT_EQ(list.Url(2), Url(4));
  EXPECT_EQ(list.Text(2), Headline(4));
}

TEST(ExtractHeadlines, StopsAtTheFirstNulByte) {
  const std::string behindNul = std::string(1, '\0') + Items(1, 3);
  const std::string afterTwo = Items(1, 2) + std::string(1, '\0') + Items(3, 5);
  HeadlineList list;

  EXPECT_EQ(ExtractHeadlines(behindNul.c_str(), &list), 0);
  EXPECT_EQ(ExtractHeadlines(afterTwo.c_str(), &list), 2);
  EXPECT_EQ(ExtractHeadlines(nullptr, &list), 0);
}

TEST(ExtractTagText, MovesTheCursorOnlyOnSuccess) {
  struct Case {
    const char* text;
    const char* expected;  // null: none
    size_t cursorAdvance;  // where the cursor ends, from the text's start
  };
  const Case cases[] = {
      {"ab<url>x</url>cd", "x", 14},
      {"<url>x</url><url>y</url>", "x", 12},
      {"<url></url><url>y</url>", nullptr, 0},  // empty element: cursor stays in front
      {"<url>x", nullptr, 0},
      {"</url><url>", nullptr, 0},
      {"no tags", nullptr, 0},
  };
  for (const Case& c : cases) {
    const char* cursor = c.text;
    char* found = ExtractTagText(cursor, "<url>", "</url>");
    if (c.expected == nullptr) {
      EXPECT_EQ(found, nullptr) << c.text;
    } else {
      ASSERT_NE(found, nullptr) << c.text;
      EXPECT_STREQ(found, c.expected);
    }
    EXPECT_EQ(cursor, c.text + c.cursorAdvance) << c.text;
    FreeTagText(found);
  }
}

// Fails the allocation number failAt (1-based), lets all others through.
int g_allocations = 0;
int g_failAt = 0;
void* FailingAllocator(std::size_t size) {
  return ++g_allocations == g_failAt ? nullptr : std::malloc(size);
}

class AllocatorGuard {
 public:
  explicit AllocatorGuard(int failAt) {
    g_allocations = 0;
    g_failAt = failAt;
    g_tagTextAllocator = FailingAllocator;
  }
  ~AllocatorGuard() { g_tagTextAllocator = std::malloc; }
};

TEST(ExtractHeadlines, RunningOutOfMemoryLeavesTheArraysAlone) {
  // Item 2 has no headline: its URL extraction is followed by item 3's
  // headline; four copies in all for three items.
  const std::string feed = Item(1) + "<url>" + Url(2) + "</url>" + Item(3);
  for (int failAt = 1; failAt <= 4; ++failAt) {
    HeadlineList list;
    FillWithEarlierPairs(&list);
    AllocatorGuard guard(failAt);

    EXPECT_EQ(ExtractHeadlines(feed.c_str(), &list), -1) << "allocation " << failAt;
    ASSERT_EQ(list.Count(), kHeadlineSlots);
    for (int i = 0; i < kHeadlineSlots; ++i) {
      EXPECT_EQ(list.Url(i), Url(101 + i));
      EXPECT_EQ(list.Text(i), Headline(101 + i));
    }
  }
  AllocatorGuard noFailure(0);
  HeadlineList list;
  EXPECT_EQ(ExtractHeadlines(feed.c_str(), &list), 2);
  EXPECT_EQ(g_allocations, 4);
}

TEST(ExtractTagText, ReportsAFailedCopyAndKeepsTheCursor) {
  AllocatorGuard guard(1);
  const char* text = "<url>x</url>";
  const char* cursor = text;
  bool outOfMemory = false;
  EXPECT_EQ(ExtractTagText(cursor, "<url>", "</url>", &outOfMemory), nullptr);
  EXPECT_TRUE(outOfMemory);
  EXPECT_EQ(cursor, text);
}

}  // namespace
