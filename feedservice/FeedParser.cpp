// RSS and Atom reading on top of the guarded XML reader.
#include "feedservice/FeedParser.h"

#include "feedservice/FeedText.h"
#include "feedservice/XmlReader.h"

namespace {

constexpr std::string_view kRss10 = "http://purl.org/rss/1.0/";
constexpr std::string_view kRss09 = "http://my.netscape.com/rdf/simple/0.9/";
constexpr std::string_view kAtom = "http://www.w3.org/2005/Atom";
constexpr std::string_view kAtom03 = "http://purl.org/atom/ns#";
constexpr std::string_view kDublinCore = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// Longest text collected for one field; the rest of a longer one is ignored.
constexpr size_t kMaxFieldBytes = 64 * 1024;

// The feed vocabularies' own elements: no namespace (RSS 2.0), RSS 1.0 / 0.9
// and Atom.
bool IsFeedNamespace(std::string_view ns) {
  return ns.empty() || ns == kRss10 || ns == kRss09 || ns == kAtom || ns == kAtom03;
}

enum class Field { kNone, kTitle, kLink, kGuid, kDate, kUpdated, kFeedTitle };

struct RawItem {
  std::string title;
  std::string link;
  std::string guid;
  std::string date;
  std::string updated;
  bool hasTitle = false;
  bool hasDate = false;
  bool hasUpdated = false;
};

class FeedReader : public XmlReader {
 public:
  std::vector<RawItem> items;
  std::string feedTitle;
  bool sawRoot = false;
  bool isFeed = false;

 protected:
  void OnStart(std::string_view name, const Attributes& attributes) override {
    const std::string_view local = LocalName(name);
    const std::string_view ns = NamespaceOf(name);
    const bool inChannel =
        !stack_.empty() && (stack_.back() == "channel" || stack_.back() == "feed");
    stack_.emplace_back(local);
    if (!sawRoot) {
      sawRoot = true;
      isFeed = (local == "rss" && ns.empty()) || (local == "RDF" && ns == kRdf) ||
               (local == "feed" && (ns == kAtom || ns == kAtom03));
      if (!isFeed) Fail("not an RSS or Atom feed (root element " + std::string(local) + ")");
      return;
    }
    if (field_ != Field::kNone) return;  // markup inside a field (Atom xhtml): text only
    const bool feedElement = IsFeedNamespace(ns);
    if (itemDepth_ == 0) {
      if (feedElement && (local == "item" || local == "entry")) {
        itemDepth_ = Depth();
        items.emplace_back();
      } else if (feedElement && local == "title" && feedTitle.empty() && inChannel) {
        StartField(Field::kFeedTitle);
      }
      return;
    }
    if (Depth() != itemDepth_ + 1) return;
    RawItem& item = items.back();
    if (feedElement && local == "title" && !item.hasTitle) {
      item.hasTitle = true;
      StartField(Field::kTitle);
    } else if (feedElement && local == "link") {
      std::string_view href;
      std::string_view rel;
      bool hasHref = false;
      for (const auto& attribute : attributes) {
        if (attribute.first == "href") {
          href = attribute.second;
          hasHref = true;
        } else if (attribute.first == "rel") {
          rel = attribute.second;
        }
      }
      if (hasHref) {
        // Atom: the alternate link is the article.
        if ((rel.empty() || rel == "alternate") && item.link.empty()) item.link = href;
      } else if (item.link.empty()) {
        StartField(Field::kLink);
      }
    } else if (feedElement && local == "guid") {
      bool permalink = true;
      for (const auto& attribute : attributes) {
        if (attribute.first == "isPermaLink" && attribute.second == "false") permalink = false;
      }
      if (permalink && item.guid.empty()) StartField(Field::kGuid);
    } else if (((feedElement &&
                 (local == "pubDate" || local == "published" || local == "issued")) ||
                (ns == kDublinCore && local == "date")) &&
               !item.hasDate) {
      item.hasDate = true;
      StartField(Field::kDate);
    } else if (feedElement && (local == "updated" || local == "modified") && !item.hasUpdated) {
      item.hasUpdated = true;
      StartField(Field::kUpdated);
    }
  }

  void OnEnd(std::string_view) override {
    if (field_ != Field::kNone && Depth() == fieldDepth_) field_ = Field::kNone;
    if (itemDepth_ != 0 && Depth() == itemDepth_) {
      itemDepth_ = 0;
      if (items.size() > kMaxItemsPerFeed) items.pop_back();
    }
    stack_.pop_back();
  }

  void OnText(std::string_view text) override {
    std::string* target = nullptr;
    switch (field_) {
      case Field::kNone:
        return;
      case Field::kTitle:
        target = &items.back().title;
        break;
      case Field::kLink:
        target = &items.back().link;
        break;
      case Field::kGuid:
        target = &items.back().guid;
        break;
      case Field::kDate:
        target = &items.back().date;
        break;
      case Field::kUpdated:
        target = &items.back().updated;
        break;
      case Field::kFeedTitle:
        target = &feedTitle;
        break;
    }
    if (target->size() < kMaxFieldBytes) {
      target->append(text.substr(0, kMaxFieldBytes - target->size()));
    }
  }

 private:
  void StartField(Field field) {
    field_ = field;
    fieldDepth_ = Depth();
  }
  int Depth() const { return static_cast<int>(stack_.size()); }

  int itemDepth_ = 0;
  int fieldDepth_ = 0;
  Field field_ = Field::kNone;
  std::vector<std::string> stack_;  // local names of the open elements
};

}  // namespace

bool ParseFeedDocument(std::string_view bytes, std::string_view charsetHint,
                       std::string_view feedUrl, ParsedFeed* out, std::string* error) {
  FeedReader reader;
  if (!reader.Parse(bytes, charsetHint, error)) return false;
  if (!reader.isFeed) {
    *error = "not an RSS or Atom feed";
    return false;
  }
  ParsedFeed result;
  result.title = CleanHeadline(reader.feedTitle);
  for (const RawItem& raw : reader.items) {
    FeedItem item;
    item.title = CleanHeadline(raw.title);
    item.link = CleanLink(raw.link.empty() ? raw.guid : raw.link, feedUrl);
    item.published = ParseFeedDate(raw.date);
    if (item.published == 0) item.published = ParseFeedDate(raw.updated);
    if (item.title.empty() || item.link.empty()) continue;
    result.items.push_back(std::move(item));
  }
  *out = std::move(result);
  return true;
}
