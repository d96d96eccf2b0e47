// Merging live feed items into a category page.
#include "feedservice/live/LivePage.h"

#include <algorithm>
#include <unordered_set>

#include "feedservice/text/XmlEscape.h"

std::vector<MergedItem> MergeFeedItems(const std::vector<const ParsedFeed*>& feeds) {
  std::vector<MergedItem> all;
  for (size_t f = 0; f < feeds.size(); ++f) {
    for (const FeedItem& item : feeds[f]->items) all.push_back({&item, f});
  }
  std::stable_sort(all.begin(), all.end(), [](const MergedItem& a, const MergedItem& b) {
    const bool aDated = a.item->published != 0;
    const bool bDated = b.item->published != 0;
    if (aDated != bDated) return aDated;
    return a.item->published > b.item->published;
  });
  std::vector<MergedItem> page;
  std::unordered_set<std::string> links;
  for (const MergedItem& m : all) {
    if (page.size() >= kMaxPageItems) break;
    if (links.insert(m.item->link).second) page.push_back(m);
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
