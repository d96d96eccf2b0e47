// The feed-address and extraction helpers as strings, for the feed service and
// the tests.
#include "ticker/core/Catalogue.h"
#include "ticker/core/FeedExtract.h"

std::string EncodeCategoryName(const char* name) {
  std::string encoded(EncodeCategoryName(name, nullptr, 0), '\0');
  EncodeCategoryName(name, &encoded[0], encoded.size() + 1);
  return encoded;
}

std::string MakeFeedUrl(const char* host, const char* name) {
  std::string url(MakeFeedUrl(host, name, nullptr, 0), '\0');
  MakeFeedUrl(host, name, &url[0], url.size() + 1);
  return url;
}

int ExtractHeadlines(const char* buffer, std::string (&urls)[kHeadlineSlots],
                     std::string (&texts)[kHeadlineSlots]) {
  HeadlineList list;
  const int count = ExtractHeadlines(buffer, &list);
  for (int i = 0; i < kHeadlineSlots; ++i) {
    urls[i] = list.Url(i);
    texts[i] = list.Text(i);
  }
  return count;
}
