// RSS and Atom reading on top of the guarded XML reader.
#include "feedservice/text/FeedParser.h"
#include "feedservice/text/Dates.h"

#include "feedservice/text/Headline.h"
#include "feedservice/text/Links.h"
#include "feedservice/text/XmlReader.h"

namespace {

constexpr std::string_view kRss10 = "http://purl.org/rss/1.0/";
// RSS 2.0 elements in a namespace of their own, as some publishers still write.
constexpr std::string_view kRssUserland = "http://backend.userland.com/rss2";
constexpr std::string_view kRss09 = "http://my.netscape.com/rdf/simple/0.9/";
constexpr std::string_view kAtom = "http://www.w3.org/2005/Atom";
constexpr std::string_view kAtom03 = "http://purl.org/atom/ns#";
constexpr std::string_view kDublinCore = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kMediaRss = "http://search.yahoo.com/mrss/";

// Longest text collected for one field; the rest of a longer one is ignored.
constexpr size_t kMaxFieldBytes = 64 * 1024;

// The feed vocabularies' own elements: no namespace or userland's (RSS 2.0),
// RSS 1.0 / 0.9 and Atom.
bool IsFeedNamespace(std::string_view ns) {
  return ns.empty() || ns == kRssUserland || ns == kRss10 || ns == kRss09 || ns == kAtom ||
         ns == kAtom03;
}

// Longest <ttl> read, in digits: nine are nearly two thousand years of minutes.
constexpr size_t kMaxTtlDigits = 9;

// An RSS <ttl> in minutes as seconds: digits only, blanks around allowed; 0
// when empty, unreadable or longer than kMaxTtlDigits.
int64_t TtlSeconds(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return 0;
  text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  if (text.size() > kMaxTtlDigits) return 0;
  int64_t minutes = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    minutes = minutes * 10 + (c - '0');
  }
  return minutes * 60;
}

enum class Field { kNone, kTitle, kOtherTitle, kLink, kGuid, kDate, kUpdated, kFeedTitle, kTtl };

// A title as written, and how to read it.
struct RawTitle {
  std::string text;
  TitleMarkup markup = TitleMarkup::kHtml;
  bool xhtml = false;   // child elements are markup, kept as HTML tags in text
  bool base64 = false;  // Atom 0.3 mode="base64": text is encoded
  bool seen = false;
};

struct RawItem {
  RawTitle title;
  RawTitle otherTitle;  // dc:title or media:title, for items without a title
  std::string link;
  std::string guid;
  std::string date;
  std::string updated;
  bool hasDate = false;
  bool hasUpdated = false;
};

std::string_view AttributeValue(
    const std::vector<std::pair<std::string_view, std::string_view>>& list, std::string_view name) {
  for (const auto& attribute : list) {
    if (attribute.first == name) return attribute.second;
  }
  return {};
}

// How a title element of the namespace ns says its text is to be read. RSS
// titles are HTML in practice; Atom's are plain text unless marked otherwise
// ("html"/"xhtml" in Atom 1.0; MIME types and a mode in Atom 0.3); Dublin Core
// and Media RSS titles are plain text unless Media RSS says "html".
RawTitle TitleKind(std::string_view ns,
                   const std::vector<std::pair<std::string_view, std::string_view>>& attributes) {
  RawTitle title;
  title.seen = true;
  const std::string_view type = AttributeValue(attributes, "type");
  if (ns == kAtom) {
    title.markup = type == "html" ? TitleMarkup::kHtml : TitleMarkup::kText;
    title.xhtml = type == "xhtml";
  } else if (ns == kAtom03) {
    const std::string_view mode = AttributeValue(attributes, "mode");
    const bool html = type == "text/html" || type == "application/xhtml+xml";
    title.base64 = mode == "base64";
    title.xhtml = html && (mode.empty() || mode == "xml");
    title.markup = html && !title.xhtml ? TitleMarkup::kHtml : TitleMarkup::kText;
  } else if (ns == kDublinCore || ns == kMediaRss) {
    title.markup = type == "html" ? TitleMarkup::kHtml : TitleMarkup::kText;
  }
  // xhtml content arrives as elements and text; it is rebuilt as HTML.
  if (title.xhtml) title.markup = TitleMarkup::kHtml;
  return title;
}

// Standard base64 with or without padding and line breaks; other bytes end it.
std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v = -1;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    if (c >= '0' && c <= '9') v = c - '0' + 52;
    if (c == '+') v = 62;
    if (c == '/') v = 63;
    if (c == '=') break;
    if (v < 0) {
      if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
      break;
    }
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count == 4) {
      out += static_cast<char>(bits >> 16);
      out += static_cast<char>((bits >> 8) & 0xFF);
      out += static_cast<char>(bits & 0xFF);
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) out += static_cast<char>(bits >> 4);
  if (count == 3) {
    out += static_cast<char>(bits >> 10);
    out += static_cast<char>((bits >> 2) & 0xFF);
  }
  return out;
}

std::string CleanTitle(const RawTitle& title, const CodePage& codePage) {
  return CleanHeadline(title.base64 ? DecodeBase64(title.text) : title.text, title.markup,
                       codePage);
}

// Text of an xhtml title written as HTML, so that its escaped "<" and "&" stay
// characters.
void AppendEscaped(std::string_view text, std::string* out) {
  for (char c : text) {
    if (c == '&') {
      *out += "&amp;";
    } else if (c == '<') {
      *out += "&lt;";
    } else {
      *out += c;
    }
  }
}

class FeedReader : public XmlReader {
 public:
  std::vector<RawItem> items;
  RawTitle feedTitle;
  std::string ttl;
  bool sawTtl = false;
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
      isFeed = (local == "rss" && (ns.empty() || ns == kRssUserland)) ||
               (local == "RDF" && ns == kRdf) ||
               (local == "feed" && (ns == kAtom || ns == kAtom03));
      if (!isFeed) Fail("not an RSS or Atom feed (root element " + std::string(local) + ")");
      return;
    }
    if (field_ != Field::kNone) {
      // Markup inside a field: an xhtml title keeps it as an HTML tag, so that
      // line breaks, scripts and style sheets are treated as in HTML titles.
      RawTitle* title = FieldTitle();
      if (title != nullptr && title->xhtml) AppendField("<" + std::string(local) + ">", false);
      return;
    }
    const bool feedElement = IsFeedNamespace(ns);
    if (itemDepth_ == 0) {
      if (feedElement && (local == "item" || local == "entry")) {
        itemDepth_ = Depth();
        items.emplace_back();
      } else if (feedElement && local == "title" && !feedTitle.seen && inChannel) {
        feedTitle = TitleKind(ns, attributes);
        StartField(Field::kFeedTitle);
      } else if (feedElement && local == "ttl" && !sawTtl && inChannel) {
        sawTtl = true;
        StartField(Field::kTtl);
      }
      return;
    }
    RawItem& item = items.back();
    // media:title may sit in media:content or media:group.
    if (((ns == kDublinCore && Depth() == itemDepth_ + 1) || ns == kMediaRss) && local == "title" &&
        !item.otherTitle.seen) {
      item.otherTitle = TitleKind(ns, attributes);
      StartField(Field::kOtherTitle);
      return;
    }
    if (Depth() != itemDepth_ + 1) return;
    if (feedElement && local == "title" && !item.title.seen) {
      item.title = TitleKind(ns, attributes);
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

  void OnEnd(std::string_view name) override {
    if (field_ != Field::kNone && Depth() == fieldDepth_) {
      field_ = Field::kNone;
    } else if (field_ != Field::kNone) {
      RawTitle* title = FieldTitle();
      if (title != nullptr && title->xhtml) {
        AppendField("</" + std::string(LocalName(name)) + ">", false);
      }
    }
    if (itemDepth_ != 0 && Depth() == itemDepth_) {
      itemDepth_ = 0;
      if (items.size() > kMaxItemsPerFeed) items.pop_back();
    }
    stack_.pop_back();
  }

  void OnText(std::string_view text) override {
    if (field_ != Field::kNone) AppendField(text, true);
  }

 private:
  void StartField(Field field) {
    field_ = field;
    fieldDepth_ = Depth();
  }

  // The title being collected, or null when the field is no title.
  RawTitle* FieldTitle() {
    switch (field_) {
      case Field::kTitle:
        return &items.back().title;
      case Field::kOtherTitle:
        return &items.back().otherTitle;
      case Field::kFeedTitle:
        return &feedTitle;
      default:
        return nullptr;
    }
  }

  // Adds to the field being collected, up to kMaxFieldBytes. Text of an xhtml
  // title is escaped for its HTML form.
  void AppendField(std::string_view text, bool isText) {
    std::string* target = nullptr;
    std::string escaped;
    if (RawTitle* title = FieldTitle()) {
      target = &title->text;
      if (title->xhtml && isText) {
        AppendEscaped(text, &escaped);
        text = escaped;
      }
    } else if (field_ == Field::kLink) {
      target = &items.back().link;
    } else if (field_ == Field::kGuid) {
      target = &items.back().guid;
    } else if (field_ == Field::kDate) {
      target = &items.back().date;
    } else if (field_ == Field::kUpdated) {
      target = &items.back().updated;
    } else if (field_ == Field::kTtl) {
      target = &ttl;
    } else {
      return;
    }
    if (target->size() < kMaxFieldBytes) {
      target->append(text.substr(0, kMaxFieldBytes - target->size()));
    }
  }
  int Depth() const { return static_cast<int>(stack_.size()); }

  int itemDepth_ = 0;
  int fieldDepth_ = 0;
  Field field_ = Field::kNone;
  std::vector<std::string> stack_;  // local names of the open elements
};

}  // namespace

bool ParseFeedDocument(std::string_view bytes, std::string_view charsetHint,
                       std::string_view feedUrl, ParsedFeed* out, std::string* error,
                       const CodePage& codePage) {
  FeedReader reader;
  if (!reader.Parse(bytes, charsetHint, error)) return false;
  if (!reader.isFeed) {
    *error = "not an RSS or Atom feed";
    return false;
  }
  ParsedFeed result;
  result.title = CleanTitle(reader.feedTitle, codePage);
  result.ttl = TtlSeconds(reader.ttl);
  for (const RawItem& raw : reader.items) {
    FeedItem item;
    item.title = CleanTitle(raw.title, codePage);
    if (item.title.empty()) item.title = CleanTitle(raw.otherTitle, codePage);
    item.link = CleanLink(raw.link.empty() ? raw.guid : raw.link, feedUrl);
    item.published = ParseFeedDate(raw.date);
    if (item.published == 0) item.published = ParseFeedDate(raw.updated);
    if (item.title.empty() || item.link.empty()) continue;
    result.items.push_back(std::move(item));
  }
  *out = std::move(result);
  return true;
}
