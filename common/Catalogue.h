// The fixed catalogue of news categories (code and display name) and the rule
// that turns a host and a category name into a feed address. The ticker asks
// by these addresses and the feed service answers them, so both build on this
// one copy.
#pragma once

#include <cstddef>

#include "common/SettingsNames.h"

// One row of a category table: a display name or a feed address, and its code.
// A table ends with the row {"~", 0}.
struct CategoryEntry {
  const char* text;
  int code;
};

constexpr int kCategoryCount = 326;
constexpr int kFirstCategoryCode = 101;
constexpr int kLastCategoryCode = 426;
static_assert(kDefaultCategoryCode >= kFirstCategoryCode &&
                  kDefaultCategoryCode <= kLastCategoryCode,
              "the default category is one of the catalogue's");

extern const CategoryEntry CategoryNameTable[kCategoryCount + 1];

// Linear scan by code over a table of kCategoryCount + 1 rows; none (null)
// for a code the table does not hold. Rows with a null text are skipped.
const char* LookupCategory(const CategoryEntry* table, int code);
const char* GetCategoryName(int code);

// The longest feed host: a domain name of 253 characters (a port makes it
// shorter, as the name must leave room for it).
constexpr size_t kFeedHostMax = 253;

// The category part of a feed address: every byte that is not an ASCII letter
// or digit becomes "%" and two upper-case hex digits ("-" included). Written
// into out (size bytes) as far as it fits, always NUL-terminated when size is
// not 0; returns the whole length, like snprintf.
size_t EncodeCategoryName(const char* name, char* out, size_t size);
// "http://" + host + "/cgi-local/page?c=" + encoded name + "&o=xml", written
// the same way.
size_t MakeFeedUrl(const char* host, const char* name, char* out, size_t size);

// A host the feed addresses may use: "host" or "host:port", at most 253
// characters, no slash, blank or control character.
bool IsWellFormedFeedHost(const char* host);
