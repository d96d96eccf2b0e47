// The feed-address and extraction helpers as strings, and the catalogue
// looked up by name, for the feed service and the tests.
#include "common/ContractStrings.h"

#include <unordered_map>

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

int CatalogueCodeOf(const std::string& name) {
  static const std::unordered_map<std::string, int> byName = [] {
    std::unordered_map<std::string, int> map;
    for (int i = 0; i < kCategoryCount; ++i) {
      map.emplace(CategoryNameTable[i].text, CategoryNameTable[i].code);
    }
    return map;
  }();
  const auto it = byName.find(name);
  return it == byName.end() ? 0 : it->second;
}
