// libFuzzer target: a fetched feed document, in any dialect and encoding, read
// into items and built into the ticker's page. The first byte picks the charset
// the HTTP header would have named; the rest is the document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/FeedChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kHints[] = {"",           "utf-8",  "windows-1251", "iso-8859-1",
                                       "iso-8859-7", "koi8-r", "utf-16",       "shift_jis"};
  if (size == 0) return 0;
  const std::string_view hint = kHints[data[0] % 8];
  const std::string_view document(reinterpret_cast<const char*>(data) + 1, size - 1);

  ParsedFeed feed;
  std::string error;
  if (!ParseFeedDocument(document, hint, "http://example.com/news/feed.xml?x=1", &feed, &error)) {
    Require(!error.empty());
    return 0;
  }
  Require(feed.items.size() <= kMaxItemsPerFeed && feed.ttl >= 0 && feed.ttl % 60 == 0);
  CheckHeadline(feed.title);
  for (const FeedItem& item : feed.items) {
    Require(!item.title.empty() && !item.link.empty() && item.published >= 0);
    CheckHeadline(item.title);
    CheckLink(item.link);
  }
  CheckPageRoundTrip({&feed, &feed});
  return 0;
}
