#include "ticker/FeedHost.h"

#include "ticker/SettingsStore.h"
#include "ticker/core/CategoryFeeds.h"

const char* LoadFeedHost() {
  // A value too long, of another type or without its NUL reads as absent;
  // one that is not a plain host[:port] is refused by BuildCategoryFeedTable.
  char host[1024];
  if (GetRegistryString(kFeedHostValue, host) && host[0] != '\0') {
    return BuildCategoryFeedTable(host);
  }
  return BuildCategoryFeedTable(nullptr);
}
