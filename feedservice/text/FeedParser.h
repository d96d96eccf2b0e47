// Reading RSS 2.0 (and 0.9x), RSS 1.0 and Atom documents into headline items
// ready for the ticker's page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "feedservice/text/CodePage.h"

// One headline: text in the page's code page as CleanHeadline makes it, an http(s)
// address as CleanLink makes it, and its date (seconds since 1970, 0: none).
struct FeedItem {
  std::string title;
  std::string link;
  int64_t published = 0;
  // When the service first saw the item (seconds since 1970); set by the
  // fetchers, kept across restarts. 0: not yet seen.
  int64_t firstSeen = 0;
};

struct ParsedFeed {
  std::string title;  // the feed's own title, cleaned like a headline
  std::vector<FeedItem> items;
  int64_t ttl = 0;  // RSS <ttl>, in seconds; 0 none
};

// Items kept of one feed document; the rest are ignored.
constexpr size_t kMaxItemsPerFeed = 200;

// Parses one feed document. feedUrl resolves relative article addresses;
// charsetHint is the charset of the HTTP Content-Type (may be empty); titles
// are written in codePage. Items
// without a usable title or http(s) address are left out. False with *error
// for a document that is not well-formed, is refused (entity declarations,
// deep nesting) or is no RSS or Atom feed.
bool ParseFeedDocument(std::string_view bytes, std::string_view charsetHint,
                       std::string_view feedUrl, ParsedFeed* out, std::string* error,
                       const CodePage& codePage = CodePage::Windows1252());
