// The page of a category filled from live feeds: the items of all its sources
// merged, de-duplicated and ordered for the ticker.
#pragma once

#include <string>
#include <vector>

#include "feedservice/text/FeedParser.h"

// Items on one page: the ticker shows twenty.
constexpr size_t kMaxPageItems = 20;

// Items of all feeds, newest first (undated items after the dated ones, in
// their feeds' order), one per article address, at most kMaxPageItems. Each
// result names the feed it came from by index.
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
