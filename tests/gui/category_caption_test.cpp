// The category the headline window names in its caption and asks the feed
// service for: the stored code, codes the catalogue lacks, no code at all,
// and a feed host setting that cannot be used.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ContractStrings.h"
#include "tests/support/HeadlineWindow.h"
#include "ticker/core/CategoryFeeds.h"

using namespace testsupport;

namespace {

constexpr char kNoCategory[] = "no category chosen";

// The feed requests the test bed's service received since count.
std::vector<std::string> FeedRequestsSince(size_t count) {
  std::vector<std::string> requests;
  for (const std::string& line : FeedLogLinesSince(count)) {
    if (line.find("/cgi-local/page") != std::string::npos) requests.push_back(line);
  }
  return requests;
}

int SecondOfDay(unsigned hour, unsigned minute, unsigned second) {
  return static_cast<int>(hour * 3600 + minute * 60 + second);
}

int SecondOfDayNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return SecondOfDay(now.wHour, now.wMinute, now.wSecond);
}

enum class Stored { kCode, kNothing, kCodeAsText };
enum class Host { kTestBed, kGiven };

struct Case {
  const char* name;
  Stored stored;
  DWORD code;
  Host host;
  const char* givenHost;
  const char* captionName;
  const char* query;  // what the test bed's service is asked; null: nothing
};

class CategoryCaptionTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSettingsKey(); }
  void TearDown() override { DeleteSettingsKey(); }

  void Store(const Case& c) {
    DeleteSettingsKey();
    if (c.stored == Stored::kCode) {
      ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, c.code));
    }
    if (c.stored == Stored::kCodeAsText) {
      ASSERT_TRUE(SetSettingsString(kUrlCodeValue, std::to_string(c.code).c_str()));
    }
    const std::string host = c.host == Host::kTestBed ? FeedHost() : c.givenHost;
    ASSERT_TRUE(SetSettingsString(kFeedHostValue, host.c_str()));
  }
};

TEST_F(CategoryCaptionTest, TheCaptionNamesTheStoredCategoryAndTheServiceIsAskedForIt) {
  const Case cases[] = {
      {"Europe news", Stored::kCode, 276, Host::kTestBed, nullptr, "Europe news",
       "c=Europe%20news&o=xml"},
      {"a name with an entity", Stored::kCode, 124, Host::kTestBed, nullptr, "AT&amp;T news",
       "c=AT%26amp%3BT%20news&o=xml"},
      {"the last code, dashes escaped", Stored::kCode, 426, Host::kTestBed, nullptr,
       "Tampa-St Petersburg news", "c=Tampa%2DSt%20Petersburg%20news&o=xml"},
      {"the first code", Stored::kCode, 101, Host::kTestBed, nullptr, "CRM news",
       "c=CRM%20news&o=xml"},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Store(c));
    const size_t logBefore = FeedLogLineCount();
    const int before = SecondOfDayNow();
    Ticker ticker;
    std::vector<PassBox> boxes;
    ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes)) << c.name;
    const int after = SecondOfDayNow();
    EXPECT_TRUE(boxes.empty()) << c.name;

    const std::string caption = WindowText(ticker.window);
    CaptionParts parts;
    ASSERT_TRUE(ParseCaption(caption, &parts)) << c.name << ": \"" << caption << "\"";
    EXPECT_FALSE(parts.loading) << caption;
    EXPECT_EQ(parts.name, c.captionName);
    EXPECT_EQ(caption, std::string(kCaptionStart) + c.captionName +
                           " at :" + std::to_string(parts.hour) + ":" +
                           std::to_string(parts.minute) + ":" + std::to_string(parts.second) + " ");
    // The time is the local time of the pass (unless midnight came between).
    const int shown = SecondOfDay(parts.hour, parts.minute, parts.second);
    if (after >= before) {
      EXPECT_GE(shown, before) << caption;
      EXPECT_LE(shown, after) << caption;
    }

    const std::vector<std::string> requests = FeedRequestsSince(logBefore);
    ASSERT_EQ(requests.size(), 1u) << c.name;
    const std::string wanted = std::string("GET /cgi-local/page?") + c.query + " 200 ";
    EXPECT_EQ(requests[0].rfind(wanted, 0), 0u) << requests[0];
    EXPECT_EQ(requests[0].substr(requests[0].rfind(' ') + 1), "\"DediDodi\"") << requests[0];
  }
}

TEST_F(CategoryCaptionTest, WithoutAKnownCodeTheWindowStartsAndNamesNoCategory) {
  const Case cases[] = {
      {"no code stored", Stored::kNothing, 0, Host::kTestBed, nullptr, kNoCategory, nullptr},
      {"an unknown code", Stored::kCode, 999, Host::kTestBed, nullptr, kNoCategory, nullptr},
      {"just below the catalogue", Stored::kCode, 100, Host::kTestBed, nullptr, kNoCategory,
       nullptr},
      {"just above the catalogue", Stored::kCode, 427, Host::kTestBed, nullptr, kNoCategory,
       nullptr},
      {"the terminator's code", Stored::kCode, 0, Host::kTestBed, nullptr, kNoCategory, nullptr},
      {"a code stored as text", Stored::kCodeAsText, 276, Host::kTestBed, nullptr, kNoCategory,
       nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Store(c));
    const size_t logBefore = FeedLogLineCount();
    Ticker ticker;
    std::vector<PassBox> boxes;
    ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes)) << c.name;
    CaptionParts parts;
    ASSERT_TRUE(ParseCaption(WindowText(ticker.window), &parts)) << c.name;
    EXPECT_EQ(parts.name, kNoCategory) << c.name;
    EXPECT_FALSE(parts.loading) << c.name;
    // Without an address the download fails at once, with its box.
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_EQ(boxes[0].text, kOpenFailedText) << c.name;
    EXPECT_EQ(boxes[0].caption, "") << c.name;
    EXPECT_TRUE(FeedRequestsSince(logBefore).empty()) << c.name;
    EXPECT_EQ(SlotTexts(ticker.window), std::vector<std::string>(kSlots)) << c.name;
  }
}

TEST_F(CategoryCaptionTest, AReloadReadsTheStoredCategoryAgain) {
  ASSERT_NO_FATAL_FAILURE(
      Store({"none yet", Stored::kNothing, 0, Host::kTestBed, nullptr, kNoCategory, nullptr}));
  Ticker ticker;
  std::vector<PassBox> boxes;
  ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes));

  ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, 276));
  const size_t logBefore = FeedLogLineCount();
  boxes.clear();
  ASSERT_TRUE(ReloadAndWait(&ticker, &boxes));
  EXPECT_TRUE(boxes.empty());
  CaptionParts parts;
  ASSERT_TRUE(ParseCaption(WindowText(ticker.window), &parts));
  EXPECT_EQ(parts.name, "Europe news");
  const std::vector<std::string> requests = FeedRequestsSince(logBefore);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("GET /cgi-local/page?c=Europe%20news&o=xml 200 ", 0), 0u)
      << requests[0];

  // A code removed later leaves the category in use as it was.
  DeleteSettingsKey();
  const size_t logAgain = FeedLogLineCount();
  ASSERT_TRUE(ReloadAndWait(&ticker, &boxes));
  EXPECT_TRUE(boxes.empty());
  ASSERT_TRUE(ParseCaption(WindowText(ticker.window), &parts));
  EXPECT_EQ(parts.name, "Europe news");
  EXPECT_EQ(FeedRequestsSince(logAgain).size(), 1u);
}

TEST_F(CategoryCaptionTest, AnUnusableFeedHostFallsBackToTheBuiltInOne) {
  const std::string fallbackUrl = MakeFeedUrl(DefaultFeedHost(), "Europe news");
  const Case cases[] = {
      {"a slash in the host", Stored::kCode, 276, Host::kGiven, "127.0.0.1/evil", "Europe news",
       nullptr},
      {"a blank in the host", Stored::kCode, 276, Host::kGiven, "bad host:80", "Europe news",
       nullptr},
      {"an empty host", Stored::kCode, 276, Host::kGiven, "", "Europe news", nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Store(c));
    const size_t logBefore = FeedLogLineCount();
    Ticker ticker;
    std::vector<PassBox> boxes;
    ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes)) << c.name;
    CaptionParts parts;
    ASSERT_TRUE(ParseCaption(WindowText(ticker.window), &parts)) << c.name;
    EXPECT_EQ(parts.name, c.captionName) << c.name;
    // The built-in host is not the test bed's service; whatever answers
    // there, a failure box names the built-in address.
    EXPECT_TRUE(FeedRequestsSince(logBefore).empty()) << c.name;
    for (const PassBox& box : boxes) {
      EXPECT_EQ(box.caption, fallbackUrl) << c.name;
      EXPECT_EQ(box.text, kOpenFailedText) << c.name;
    }
  }
}

}  // namespace
