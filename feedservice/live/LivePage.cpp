// Merging live feed items into a category page.
#include "feedservice/live/LivePage.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "feedservice/text/XmlEscape.h"

int64_t ItemTime(const FeedItem& item) {
  constexpr int64_t kFutureSlack = 10 * 60;
  if (item.firstSeen == 0) return item.published;
  if (item.published == 0 || item.published > item.firstSeen + kFutureSlack) return item.firstSeen;
  return item.published;
}

std::vector<MergedItem> MergeFeedItems(const std::vector<const ParsedFeed*>& feeds) {
  struct Candidate {
    MergedItem merged;
    int64_t time;
  };
  std::vector<Candidate> all;
  for (size_t f = 0; f < feeds.size(); ++f) {
    for (const FeedItem& item : feeds[f]->items) all.push_back({{&item, f}, ItemTime(item)});
  }
  // Newest first; items without a time after all others; ties in feed order,
  // then in each feed's own order (the stable sort keeps both).
  std::stable_sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) {
    if ((a.time != 0) != (b.time != 0)) return a.time != 0;
    return a.time > b.time;
  });
  // One item per address: the first in this order, the newer one.
  std::vector<Candidate> unique;
  std::unordered_set<std::string_view> links;
  for (const Candidate& c : all) {
    if (links.insert(c.merged.item->link).second) unique.push_back(c);
  }

  // Each feed that holds items is owed its newest ones up to an equal share of
  // the page; the slots left go to the newest of the rest, whatever their feed.
  std::vector<size_t> held(feeds.size(), 0);
  for (const Candidate& c : unique) ++held[c.merged.feed];
  const size_t holding = feeds.size() - std::count(held.begin(), held.end(), size_t{0});
  const size_t share = holding == 0 ? 0 : kMaxPageItems / holding;
  std::vector<size_t> taken(feeds.size(), 0);
  std::vector<bool> chosen(unique.size(), false);
  size_t count = 0;
  for (size_t i = 0; i < unique.size(); ++i) {
    if (taken[unique[i].merged.feed] < share) {
      ++taken[unique[i].merged.feed];
      chosen[i] = true;
      ++count;
    }
  }
  for (size_t i = 0; i < unique.size() && count < kMaxPageItems; ++i) {
    if (!chosen[i]) {
      chosen[i] = true;
      ++count;
    }
  }
  std::vector<MergedItem> page;
  for (size_t i = 0; i < unique.size(); ++i) {
    if (chosen[i]) page.push_back(unique[i].merged);
  }
  return page;
}

std::string BuildLivePage(const std::string& category, const std::vector<const ParsedFeed*>& feeds,
                          const CodePage& codePage) {
  std::string page = "<?xml version=\"1.0\" encoding=\"" + codePage.name() + "\"?>\n<headlines>\n";
  page += "<category>" + EscapeXmlText(category) + "</category>\n";
  for (const MergedItem& m : MergeFeedItems(feeds)) {
    page += "<item><url>" + m.item->link + "</url><headline_text>" + m.item->title +
            "</headline_text><source>" + feeds[m.feed]->title + "</source></item>\n";
  }
  page += "</headlines>\n";
  return page;
}
