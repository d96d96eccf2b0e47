// The shared contract in std::string form, for the feed service and the tests.
// The two Windows programs keep to the char-buffer forms and link none of this.
#pragma once

#include <string>

#include "common/Catalogue.h"
#include "common/FeedExtract.h"

std::string EncodeCategoryName(const char* name);
std::string MakeFeedUrl(const char* host, const char* name);

// The pairs ExtractHeadlines finds, as strings; "" for the slots behind them.
int ExtractHeadlines(const char* buffer, std::string (&urls)[kHeadlineSlots],
                     std::string (&texts)[kHeadlineSlots]);

// The code of a catalogue name (as it stands, "&amp;" included), 0 for a name
// the catalogue does not hold.
int CatalogueCodeOf(const std::string& name);
