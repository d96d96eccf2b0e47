// The settings store and the feed host against the real registry under Wine.
#include "ticker/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "ticker/FeedHost.h"
#include "ticker/core/CategoryFeeds.h"

namespace {

using testsupport::RawSetting;

bool KeyExists() {
  return testsupport::KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
}

bool ReadRaw(const char* name, RawSetting* value) {
  std::vector<RawSetting> values;
  testsupport::ReadRawSettings(&values);
  for (const RawSetting& v : values) {
    if (_stricmp(v.name.c_str(), name) == 0) {
      *value = v;
      return true;
    }
  }
  return false;
}

std::string DwordBytes(DWORD value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// Each test starts without the settings key and leaves the key as it found it.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    existed_ = testsupport::ReadRawSettings(&saved_);
    testsupport::DeleteSettingsKey();
    ASSERT_FALSE(KeyExists());
  }
  void TearDown() override {
    testsupport::RestoreSettings(existed_, saved_);
    BuildCategoryFeedTable(nullptr);
  }
  static void CreateKey() {
    ASSERT_TRUE(testsupport::SetRawSetting("Placeholder", REG_SZ, std::string("x", 2)));
  }

  bool existed_ = false;
  std::vector<RawSetting> saved_;
};

TEST_F(SettingsTest, WithoutTheKeyEverythingFailsAndNothingIsCreated) {
  char buffer[1024];
  std::memset(buffer, 'X', sizeof buffer);
  DWORD code = 77;
  EXPECT_FALSE(GetRegistryString(kProxyValue, buffer));
  EXPECT_FALSE(GetRegistryDword(kUrlCodeValue, &code));
  EXPECT_FALSE(SetRegistryString(kProxyValue, "proxy.example:3128"));
  EXPECT_FALSE(SetRegistryDword(kUrlCodeValue, 282));
  EXPECT_EQ(buffer[0], 'X');
  EXPECT_EQ(code, 77u);
  EXPECT_FALSE(KeyExists());

  // Nor did the writes land one level up.
  HKEY software;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS);
  for (const char* name : {kProxyValue, kUrlCodeValue}) {
    EXPECT_NE(RegQueryValueExA(software, name, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
        << name;
  }
  RegCloseKey(software);
}

TEST_F(SettingsTest, MissingValuesReadAsAbsent) {
  CreateKey();
  char buffer[256] = "untouched";
  DWORD code = 282;
  EXPECT_FALSE(GetRegistryString(kProxyValue, buffer));
  EXPECT_FALSE(GetRegistryDword(kUrlCodeValue, &code));
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(code, 282u);
}

TEST_F(SettingsTest, DwordsRoundTripAsFourByteDwords) {
  CreateKey();
  for (DWORD value : {282u, 130u, 0u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(value);
    ASSERT_TRUE(SetRegistryDword(kUrlCodeValue, value));
    RawSetting raw;
    ASSERT_TRUE(ReadRaw(kUrlCodeValue, &raw));
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(raw.data, DwordBytes(value));
    DWORD read = 12345;
    EXPECT_TRUE(GetRegistryDword(kUrlCodeValue, &read));
    EXPECT_EQ(read, value);
  }
}

TEST_F(SettingsTest, StringsRoundTripUpTo254Characters) {
  CreateKey();
  const struct {
    std::string text;
    bool readsBack;
  } cases[] = {
      {"", true},
      {"proxy.example:3128", true},
      {std::string(254, 'p'), true},
      {std::string(255, 'p'), false},
      {std::string(1500, 'p'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    ASSERT_TRUE(SetRegistryString(kProxyValue, c.text.c_str()));
    RawSetting raw;
    ASSERT_TRUE(ReadRaw(kProxyValue, &raw));
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.data, c.text + '\0');  // stored with its NUL; empty is one byte

    char buffer[1024];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(GetRegistryString(kProxyValue, buffer), c.readsBack);
    if (c.readsBack) {
      EXPECT_EQ(std::string(buffer), c.text);
      EXPECT_EQ(buffer[c.text.size() + 1], 'X');  // nothing copied past the NUL
    } else {
      EXPECT_EQ(buffer[0], 'X');
    }
  }
}

TEST_F(SettingsTest, HostileValuesReadSafely) {
  CreateKey();
  const std::string noNul255(255, 'a');
  const struct {
    const char* name;
    DWORD type;
    std::string data;
    bool readable;
    const char* text;  // strings: what reads back
    DWORD code;        // dwords: what reads back
  } cases[] = {
      {kUrlCodeValue, REG_BINARY, DwordBytes(130) + DwordBytes(0xDEADBEEF), false, nullptr, 0},
      {kUrlCodeValue, REG_QWORD, DwordBytes(130) + DwordBytes(0), false, nullptr, 0},
      {kUrlCodeValue, REG_SZ, std::string("282", 4), false, nullptr, 0},
      {kUrlCodeValue, REG_BINARY, DwordBytes(130), false, nullptr, 0},
      {kUrlCodeValue, REG_DWORD, std::string("\x82\x01", 2), false, nullptr, 0},
      {kUrlCodeValue, REG_DWORD, DwordBytes(130), true, nullptr, 130},
      {kProxyValue, REG_BINARY, "abc", false, nullptr, 0},
      {kProxyValue, REG_BINARY, std::string("abc", 4), false, nullptr, 0},
      {kProxyValue, REG_SZ, "abc", false, nullptr, 0},
      {kProxyValue, REG_SZ, noNul255, false, nullptr, 0},
      {kProxyValue, REG_SZ, "", false, nullptr, 0},
      {kProxyValue, REG_DWORD, DwordBytes(0x00636261), false, nullptr, 0},
      {kProxyValue, REG_MULTI_SZ, std::string("a\0b\0\0", 5), false, nullptr, 0},
      {kProxyValue, REG_SZ, std::string("ab\0cd", 6), true, "ab", 0},
      {kProxyValue, REG_EXPAND_SZ, std::string("%TEMP%", 7), true, "%TEMP%", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " type " + std::to_string(c.type) + " size " +
                 std::to_string(c.data.size()));
    ASSERT_TRUE(testsupport::SetRawSetting(c.name, c.type, c.data));
    if (std::strcmp(c.name, kUrlCodeValue) == 0) {
      struct {
        DWORD value;
        DWORD guard;
      } out = {77, 0xA5A5A5A5};
      EXPECT_EQ(GetRegistryDword(kUrlCodeValue, &out.value), c.readable);
      EXPECT_EQ(out.value, c.readable ? c.code : 77u);
      EXPECT_EQ(out.guard, 0xA5A5A5A5u);
    } else {
      char buffer[1024];
      std::memset(buffer, 'X', sizeof buffer);
      EXPECT_EQ(GetRegistryString(kProxyValue, buffer), c.readable);
      if (c.readable) {
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[std::strlen(c.text) + 1], 'X');
      } else {
        EXPECT_EQ(buffer[0], 'X');
      }
    }
  }
}

TEST_F(SettingsTest, FeedHostComesFromAWellFormedStoredValue) {
  const std::string defaultUrl =
      std::string("http://") + DefaultFeedHost() + "/cgi-local/page?c=India%20news&o=xml";
  const struct {
    const char* what;
    DWORD type;  // REG_NONE: no value stored
    std::string data;
    const char* host;  // null: the built-in host
  } cases[] = {
      {"absent", REG_NONE, "", nullptr},
      {"host:port", REG_SZ, std::string("127.0.0.1:9999", 15), "127.0.0.1:9999"},
      {"host", REG_SZ, std::string("news.example", 13), "news.example"},
      {"empty", REG_SZ, std::string("", 1), nullptr},
      {"blank", REG_SZ, std::string("news example", 13), nullptr},
      {"slash", REG_SZ, std::string("news.example/x", 15), nullptr},
      {"control", REG_SZ, std::string("news\texample", 13), nullptr},
      {"bad port", REG_SZ, std::string("news.example:99999", 19), nullptr},
      {"254 characters", REG_SZ, std::string(254, 'a') + '\0', nullptr},
      {"too long to read", REG_SZ, std::string(600, 'a') + '\0', nullptr},
      {"no NUL", REG_BINARY, "news.example", nullptr},
      {"not a string", REG_DWORD, DwordBytes(1), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::DeleteSettingsKey();
    CreateKey();
    if (c.type != REG_NONE) {
      ASSERT_TRUE(testsupport::SetRawSetting(kFeedHostValue, c.type, c.data));
    }
    BuildCategoryFeedTable("stale.example");
    const char* host = LoadFeedHost();
    ASSERT_NE(host, nullptr);
    if (c.host != nullptr) {
      EXPECT_STREQ(host, c.host);
      EXPECT_EQ(std::string(GetCategoryFeedUrl(282)),
                std::string("http://") + c.host + "/cgi-local/page?c=India%20news&o=xml");
    } else {
      EXPECT_STREQ(host, DefaultFeedHost());
      EXPECT_EQ(std::string(GetCategoryFeedUrl(282)), defaultUrl);
    }
  }

  // No settings key at all: the built-in host.
  testsupport::DeleteSettingsKey();
  BuildCategoryFeedTable("stale.example");
  EXPECT_STREQ(LoadFeedHost(), DefaultFeedHost());
  EXPECT_FALSE(KeyExists());
}

}  // namespace
