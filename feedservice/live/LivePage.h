// The page of a category filled from live feeds: the items of all its sources
// merged, de-duplicated and ordered for the ticker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "feedservice/text/FeedParser.h"

// Items on one page: the ticker shows twenty.
constexpr size_t kMaxPageItems = 20;

// The time an item is ordered by: its date, unless it has none or the date
// lies more than 10 minutes after the item was first seen; then the time it
// was first seen (an item not yet seen keeps its date).
int64_t ItemTime(const FeedItem& item);

// The fair page of all feeds: with k feeds holding items, each gets its
// newest up to kMaxPageItems / k of the slots, the newest of the rest fill
// the others. One item per article address (the newer counts); ordered newest
// first by ItemTime, ties in feed order, then each feed's own order; items
// with no time last. Each result names the feed it came from by index.
struct MergedItem {
  const FeedItem* item;
  size_t feed;
};
std::vector<MergedItem> MergeFeedItems(const std::vector<const ParsedFeed*>& feeds);

// The page: the same frame as the sample pages, items as
// <item><url>…</url><headline_text>…</headline_text><source>…</source></item>.
// Item texts are written as the ticker shows them (it does not decode
// references): they are already cleaned, so they hold no tag text. The XML
// declaration names codePage, the code page the items were written in.
std::string BuildLivePage(const std::string& category, const std::vector<const ParsedFeed*>& feeds,
                          const CodePage& codePage = CodePage::Windows1252());
