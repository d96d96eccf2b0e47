#include "common/ContractStrings.h"
#include "ticker/core/CategoryFeeds.h"
#include "common/SettingsNames.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Lower(const char* text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The address rule written out independently of the catalogue's encoder.
std::string ExpectedUrl(const std::string& host, const char* name) {
  std::string url = "http://" + host + "/cgi-local/page?c=";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if (std::isalnum(*p) && *p < 0x80) {
      url += static_cast<char>(*p);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", *p);
      url += escape;
    }
  }
  return url + "&o=xml";
}

std::string Query(const char* url) {
  const char* query = url ? std::strchr(url, '?') : nullptr;
  return query ? query + 1 : "";
}

// Each test starts from the addresses of the built-in host.
class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildCategoryFeedTable(nullptr); }
  void TearDown() override { BuildCategoryFeedTable(nullptr); }
};

TEST_F(CatalogueTest, KnownCodesGiveTheirNames) {
  const struct {
    int code;
    const char* name;
  } cases[] = {
      {101, "CRM news"},       {123, "3M news"},     {124, "AT&amp;T news"},
      {130, "Coca-Cola news"}, {159, "Jokes"},       {276, "Europe news"},
      {282, "India news"},     {402, "Top stories"}, {426, "Tampa-St Petersburg news"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_STREQ(GetCategoryName(c.code), c.name);
    ASSERT_NE(GetCategoryFeedUrl(c.code), nullptr);
    EXPECT_EQ(GetCategoryFeedUrl(c.code), ExpectedUrl(DefaultFeedHost(), c.name));
  }
  EXPECT_EQ(kDefaultCategoryCode, 282);
}

TEST_F(CatalogueTest, CodesOutsideTheCatalogueGiveNothing) {
  for (int code : {100, 427, 0, -1, -101, -282, 1000, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(GetCategoryName(code), nullptr);
    EXPECT_EQ(GetCategoryFeedUrl(code), nullptr);
  }
}

TEST_F(CatalogueTest, LookupStopsAtTheEndOfATableWithoutTerminator) {
  // A table whose rows are all still empty (as the feed table is before it is
  // built) has no terminator: the scan must end at the table's size.
  std::vector<CategoryEntry> blank(kCategoryCount + 1, CategoryEntry{nullptr, 0});
  EXPECT_EQ(LookupCategory(blank.data(), 101), nullptr);
  EXPECT_EQ(LookupCategory(blank.data(), 0), nullptr);
  EXPECT_EQ(LookupCategory(nullptr, 101), nullptr);
}

TEST_F(CatalogueTest, NameTableHoldsEveryCodeOnceInOrder) {
  for (int i = 0; i < kCategoryCount; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(CategoryNameTable[i].text, nullptr);
    EXPECT_EQ(CategoryNameTable[i].code, kFirstCategoryCode + i);
    EXPECT_NE(CategoryNameTable[i].text[0], '~');
    ASSERT_NE(CategoryFeedTable[i].text, nullptr);
    EXPECT_EQ(CategoryFeedTable[i].code, CategoryNameTable[i].code);
  }
  EXPECT_EQ(kLastCategoryCode - kFirstCategoryCode + 1, kCategoryCount);
  EXPECT_STREQ(CategoryNameTable[kCategoryCount].text, "~");
  EXPECT_EQ(CategoryNameTable[kCategoryCount].code, 0);
  EXPECT_STREQ(CategoryFeedTable[kCategoryCount].text, "~");
  EXPECT_EQ(CategoryFeedTable[kCategoryCount].code, 0);
}

TEST_F(CatalogueTest, NamesAreShortPlainAndUniqueByPrefix) {
  std::set<std::string> seen;
  int withoutNews = 0;
  std::vector<int> withEntity;
  for (int i = 0; i < kCategoryCount; ++i) {
    const char* name = CategoryNameTable[i].text;
    SCOPED_TRACE(name);
    const size_t length = std::strlen(name);
    EXPECT_GT(length, 0u);
    EXPECT_LE(length, 35u);
    for (const char* p = name; *p; ++p) {
      EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(*p)) || std::strchr(" &-:;", *p))
          << "unexpected character '" << *p << "'";
    }
    EXPECT_TRUE(seen.insert(Lower(name)).second) << "duplicate name (case ignored)";
    if (length < 5 || std::strcmp(name + length - 5, " news") != 0) ++withoutNews;
    if (std::strstr(name, "&amp;") != nullptr) withEntity.push_back(CategoryNameTable[i].code);
    // The list selects by prefix: no name may begin another.
    for (int j = 0; j < kCategoryCount; ++j) {
      if (j == i) continue;
      const std::string other = Lower(CategoryNameTable[j].text);
      EXPECT_NE(other.compare(0, length, Lower(name)), 0)
          << "\"" << name << "\" begins \"" << CategoryNameTable[j].text << "\"";
    }
  }
  EXPECT_EQ(withoutNews, 34);
  EXPECT_EQ(withEntity, (std::vector<int>{124, 143, 145, 148}));
}

TEST_F(CatalogueTest, WorkedAddressExamples) {
  const struct {
    int code;
    const char* query;
  } cases[] = {
      {282, "c=India%20news&o=xml"},
      {124, "c=AT%26amp%3BT%20news&o=xml"},
      {130, "c=Coca%2DCola%20news&o=xml"},
      {118, "c=Media%3A%20Europe%20news&o=xml"},
      {143, "c=Johnson%20%26amp%3B%20Johnson%20news&o=xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const char* url = GetCategoryFeedUrl(c.code);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(Query(url), c.query);
    EXPECT_EQ(std::string(url),
              std::string("http://") + DefaultFeedHost() + "/cgi-local/page?" + c.query);
  }
}

TEST_F(CatalogueTest, EveryAddressFollowsTheRule) {
  for (int code = kFirstCategoryCode; code <= kLastCategoryCode; ++code) {
    const char* url = GetCategoryFeedUrl(code);
    ASSERT_NE(url, nullptr) << code;
    EXPECT_EQ(url, ExpectedUrl(DefaultFeedHost(), GetCategoryName(code))) << code;
  }
}

TEST_F(CatalogueTest, EncodingEscapesEverythingButLettersAndDigits) {
  const struct {
    const char* name;
    const char* encoded;
  } cases[] = {
      {"", ""},
      {"Az09", "Az09"},
      {" &-:;", "%20%26%2D%3A%3B"},
      {"a.b_c~d/e?f=g", "a%2Eb%5Fc%7Ed%2Fe%3Ff%3Dg"},
      {"\xE9t\xE9\x7F\x01", "%E9t%E9%7F%01"},
      {"%41", "%2541"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeCategoryName(c.name), c.encoded) << c.name;
  }
  // Into a buffer: as much as fits, always terminated, the whole length told.
  char small[6];
  EXPECT_EQ(EncodeCategoryName(" &-", small, sizeof small), 9u);
  EXPECT_STREQ(small, "%20%2");
  EXPECT_EQ(MakeFeedUrl("h", "a b", nullptr, 0),
            std::strlen("http://h/cgi-local/page?c=a%20b&o=xml"));
}

TEST_F(CatalogueTest, FeedHostWellFormedness) {
  const std::string longest(253, 'a');
  const std::string tooLong(254, 'a');
  const struct {
    const char* host;
    bool wellFormed;
  } cases[] = {
      {"127.0.0.1:8642", true},
      {"news.example.org", true},
      {"feed-1.example:80", true},
      {"localhost:65535", true},
      {"h:1", true},
      {longest.c_str(), true},
      {nullptr, false},
      {"", false},
      {tooLong.c_str(), false},
      {"news.example.org/path", false},
      {"http://news.example.org", false},
      {"news example.org", false},
      {" news.example.org", false},
      {"news.example.org\t", false},
      {"news\r\nHost: other", false},
      {"news.example.org\x7F", false},
      {"user@news.example.org", false},
      {"news.example.org?x", false},
      {":8642", false},
      {"news.example.org:", false},
      {"news.example.org:0", false},
      {"news.example.org:65536", false},
      {"news.example.org:123456", false},
      {"news.example.org:80a", false},
      {"news.example.org:-80", false},
      {"a:b:80", false},
      {"[::1]:80", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWellFormedFeedHost(c.host), c.wellFormed) << (c.host ? c.host : "(null)");
  }
  EXPECT_TRUE(IsWellFormedFeedHost(DefaultFeedHost()));
  EXPECT_STREQ(DefaultFeedHost(), VANTREL_FEED_HOST);
}

TEST_F(CatalogueTest, FeedTableUsesAWellFormedHostOrFallsBack) {
  const char* host = BuildCategoryFeedTable("news.example.org:8080");
  EXPECT_STREQ(host, "news.example.org:8080");
  EXPECT_STREQ(GetCategoryFeedUrl(282),
               "http://news.example.org:8080/cgi-local/page?c=India%20news&o=xml");
  for (int code = kFirstCategoryCode; code <= kLastCategoryCode; ++code) {
    ASSERT_EQ(GetCategoryFeedUrl(code),
              ExpectedUrl("news.example.org:8080", GetCategoryName(code)));
  }

  for (const char* bad : {static_cast<const char*>(nullptr), "", "a b", "x/y", "host:99999"}) {
    SCOPED_TRACE(bad ? bad : "(null)");
    BuildCategoryFeedTable("other.example");
    EXPECT_STREQ(BuildCategoryFeedTable(bad), DefaultFeedHost());
    EXPECT_EQ(GetCategoryFeedUrl(282), ExpectedUrl(DefaultFeedHost(), "India news"));
    EXPECT_EQ(GetCategoryFeedUrl(426), ExpectedUrl(DefaultFeedHost(), "Tampa-St Petersburg news"));
  }

  // The longest host fits whole.
  const std::string longest(253, 'a');
  EXPECT_EQ(BuildCategoryFeedTable(longest.c_str()), longest);
  EXPECT_EQ(GetCategoryFeedUrl(426), ExpectedUrl(longest.c_str(), "Tampa-St Petersburg news"));

  // Building again from the host in use keeps it.
  const char* inUse = BuildCategoryFeedTable("again.example:81");
  EXPECT_STREQ(BuildCategoryFeedTable(inUse), "again.example:81");
  EXPECT_STREQ(GetCategoryFeedUrl(101),
               "http://again.example:81/cgi-local/page?c=CRM%20news&o=xml");
}

}  // namespace

// The stored names are what installed copies already hold: the programs and
// the tests spell them through one header, so a rename there would pass every
// other test while every installation lost its category, proxy and host.
TEST(SettingsNames, StayWhatInstalledCopiesHold) {
  EXPECT_STREQ(kSettingsKey, "Software\\Vantrel");
  EXPECT_STREQ(kUrlCodeValue, "URLCODE");
  EXPECT_STREQ(kProxyValue, "PROXY");
  EXPECT_STREQ(kFeedHostValue, "FEEDHOST");
  EXPECT_EQ(kDefaultCategoryCode, 282);
}
