// The ticker's feed address of every category, built at run time for the feed
// host in use (the stored one or the one the program was built with).
#pragma once

#include "common/Catalogue.h"

// Feed addresses, row by row parallel to CategoryNameTable. Filled by
// BuildCategoryFeedTable; the first lookup builds it for the default host.
extern CategoryEntry CategoryFeedTable[kCategoryCount + 1];

const char* GetCategoryFeedUrl(int code);

// The host built into the program.
const char* DefaultFeedHost();
// Rebuilds CategoryFeedTable for host, or for the default host when host is
// null or not well-formed. Returns the host in use.
const char* BuildCategoryFeedTable(const char* host);
