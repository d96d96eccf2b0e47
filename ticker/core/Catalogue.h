// The fixed catalogue of news categories: code, display name and feed address.
#pragma once

#include <cstddef>
#include <string>

// One row of a category table: a display name or a feed address, and its code.
// A table ends with the row {"~", 0}.
struct CategoryEntry {
  const char* text;
  int code;
};

constexpr int kCategoryCount = 326;
constexpr int kFirstCategoryCode = 101;
constexpr int kLastCategoryCode = 426;
constexpr int kDefaultCategoryCode = 282;  // "India news"

extern const CategoryEntry CategoryNameTable[kCategoryCount + 1];
// Feed addresses, row by row parallel to CategoryNameTable. Filled by
// BuildCategoryFeedTable; the first lookup builds it for the default host.
extern CategoryEntry CategoryFeedTable[kCategoryCount + 1];

// Linear scan by code over a table of kCategoryCount + 1 rows; none (null)
// for a code the table does not hold. Rows with a null text are skipped.
const char* LookupCategory(const CategoryEntry* table, int code);
const char* GetCategoryName(int code);
const char* GetCategoryFeedUrl(int code);

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
// The same as strings, for the feed service and the tests (FeedUrlStrings.cpp;
// the programs keep to the forms above and link no string library).
std::string EncodeCategoryName(const char* name);
std::string MakeFeedUrl(const char* host, const char* name);

// A host the feed addresses may use: "host" or "host:port", at most 253
// characters, no slash, blank or control character.
bool IsWellFormedFeedHost(const char* host);
// The host built into the program.
const char* DefaultFeedHost();
// Rebuilds CategoryFeedTable for host, or for the default host when host is
// null or not well-formed. Returns the host in use.
const char* BuildCategoryFeedTable(const char* host);
