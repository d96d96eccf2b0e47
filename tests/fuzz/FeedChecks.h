// Invariants the fuzz targets hold the feed service's output to: what a
// headline, an article address and a built page may look like for the ticker.
// A broken invariant aborts, which libFuzzer reports with the input.
#pragma once

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "feedservice/text/FeedParser.h"
#include "feedservice/text/Headline.h"
#include "feedservice/text/Links.h"
#include "feedservice/live/LivePage.h"
#include "common/ContractStrings.h"

inline void Require(bool condition) {
  if (!condition) std::abort();
}

inline bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One line of Windows-1252 the ticker can show: defined bytes only, no control
// characters, single blanks inside only, no "<" that could open a tag, at most
// kMaxHeadlineBytes. Empty is allowed (an item without one is left out).
inline void CheckHeadline(const std::string& text) {
  Require(text.size() <= kMaxHeadlineBytes);
  if (text.empty()) return;
  Require(text.front() != ' ' && text.back() != ' ');
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    Require(c >= 0x20 && c != 0x7F);
    Require(c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D);
    if (i + 1 < text.size()) {
      Require(!(c == ' ' && text[i + 1] == ' '));
      Require(!(c == '<' && (text[i + 1] == '/' || IsLetter(text[i + 1]))));
    }
  }
  for (const char* tag : {kUrlOpenTag, kUrlCloseTag, kHeadlineOpenTag, kHeadlineCloseTag}) {
    Require(text.find(tag) == std::string::npos);
  }
}

// Empty, or an http(s) address of printable ASCII without blanks, quotes or
// angle brackets, at most kMaxLinkBytes.
inline void CheckLink(const std::string& link) {
  if (link.empty()) return;
  Require(link.compare(0, 7, "http://") == 0 || link.compare(0, 8, "https://") == 0);
  Require(IsHttpUrl(link) && link.size() <= kMaxLinkBytes);
  for (char c : link) Require(c > 0x20 && c < 0x7F && c != '<' && c != '>' && c != '"');
}

// The page built from these feeds, read back by the ticker's own extraction,
// gives exactly the merged items: every address and headline, in order.
inline void CheckPageRoundTrip(const std::vector<const ParsedFeed*>& feeds) {
  const std::vector<MergedItem> merged = MergeFeedItems(feeds);
  // At most a page, one item per address, newest first with timeless items last.
  Require(merged.size() <= kMaxPageItems);
  std::set<std::string> links;
  for (size_t i = 0; i < merged.size(); ++i) {
    Require(links.insert(merged[i].item->link).second);
    if (i == 0) continue;
    const int64_t before = ItemTime(*merged[i - 1].item), time = ItemTime(*merged[i].item);
    Require(time == 0 || (before != 0 && before >= time));
  }
  const std::string page = BuildLivePage("India news", feeds);
  std::string urls[kHeadlineSlots];
  std::string texts[kHeadlineSlots];
  const int count = ExtractHeadlines(page.c_str(), urls, texts);
  Require(count == static_cast<int>(merged.size()));
  for (int i = 0; i < count; ++i) {
    Require(urls[i] == merged[i].item->link);
    Require(texts[i] == merged[i].item->title);
  }
}
