// The feed addresses of the catalogue for one host, in one heap block.
#include "ticker/core/CategoryFeeds.h"

#include <cstdio>
#include <cstdlib>

#ifndef VANTREL_FEED_HOST
#define VANTREL_FEED_HOST "127.0.0.1:8642"
#endif

CategoryEntry CategoryFeedTable[kCategoryCount + 1];

namespace {

// The feed addresses of all categories, back to back in one heap block.
char* g_feedUrls = nullptr;
char g_feedHost[kFeedHostMax + 1];

void EnsureFeedTable() {
  if (CategoryFeedTable[0].text == nullptr) BuildCategoryFeedTable(nullptr);
}

}  // namespace

const char* GetCategoryFeedUrl(int code) {
  EnsureFeedTable();
  return LookupCategory(CategoryFeedTable, code);
}

const char* DefaultFeedHost() {
  return VANTREL_FEED_HOST;
}

const char* BuildCategoryFeedTable(const char* host) {
  const char* chosen = IsWellFormedFeedHost(host) ? host : DefaultFeedHost();
  if (chosen != g_feedHost) std::snprintf(g_feedHost, sizeof(g_feedHost), "%s", chosen);

  // Measured first, so that one block holds them all.
  size_t total = 0;
  for (int i = 0; i < kCategoryCount; ++i) {
    total += MakeFeedUrl(g_feedHost, CategoryNameTable[i].text, nullptr, 0) + 1;
  }
  char* urls = static_cast<char*>(std::malloc(total));
  if (urls == nullptr) return g_feedHost;  // out of memory: the table stays as it was
  char* next = urls;
  for (int i = 0; i < kCategoryCount; ++i) {
    const size_t length = MakeFeedUrl(g_feedHost, CategoryNameTable[i].text, next, total);
    CategoryFeedTable[i] = {next, CategoryNameTable[i].code};
    next += length + 1;
    total -= length + 1;
  }
  CategoryFeedTable[kCategoryCount] = {"~", 0};
  std::free(g_feedUrls);
  g_feedUrls = urls;
  return g_feedHost;
}
