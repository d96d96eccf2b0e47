// Sources file reading.
#include "feedservice/live/OpmlSources.h"

#include <fstream>
#include <set>
#include <sstream>

#include "common/ContractStrings.h"
#include "feedservice/text/Links.h"
#include "feedservice/text/XmlReader.h"

namespace {

class OpmlReader : public XmlReader {
 public:
  std::vector<FeedSource> sources;
  std::vector<std::string> warnings;

 protected:
  void OnStart(std::string_view name, const Attributes& attributes) override {
    const std::string_view local = LocalName(name);
    if (!sawRoot_) {
      sawRoot_ = true;
      if (local != "opml") Fail("not an OPML document (root element " + std::string(local) + ")");
      stack_.push_back({});
      return;
    }
    Frame frame;
    if (local != "outline") {
      stack_.push_back(frame);
      return;
    }
    frame.isOutline = true;
    std::string_view text;
    std::string_view title;
    std::string_view feed;
    bool hasFeed = false;
    for (const auto& attribute : attributes) {
      if (attribute.first == "text") text = attribute.second;
      if (attribute.first == "title") title = attribute.second;
      if (attribute.first == "xmlUrl") {
        feed = attribute.second;
        hasFeed = true;
      }
    }
    frame.title = std::string(text.empty() ? title : text);
    frame.isFeed = hasFeed;
    stack_.push_back(frame);
    if (hasFeed) AddFeed(feed);
  }

  void OnEnd(std::string_view) override { stack_.pop_back(); }
  void OnText(std::string_view) override {}

 private:
  struct Frame {
    bool isOutline = false;
    bool isFeed = false;
    std::string title;
  };

  void Warn(const std::string& message) {
    warnings.push_back("line " + std::to_string(CurrentLine()) + ": " + message);
  }

  void AddFeed(std::string_view url) {
    const Frame* category = nullptr;
    for (size_t i = stack_.size() - 1; i-- > 0;) {
      if (stack_[i].isOutline && !stack_[i].isFeed) {
        category = &stack_[i];
        break;
      }
    }
    if (category == nullptr) {
      Warn("feed " + std::string(url) + " is not inside a category outline; skipped");
      return;
    }
    const std::string catalogueName = CatalogueNameForTitle(category->title);
    if (catalogueName.empty()) {
      if (reported_.insert(category->title).second) {
        Warn("'" + category->title + "' is not a catalogue category; its feeds are skipped");
      }
      return;
    }
    if (!IsHttpUrl(url)) {
      Warn("feed address '" + std::string(url) + "' is not http or https; skipped");
      return;
    }
    if (!seen_.insert(catalogueName + '\n' + std::string(url)).second) return;
    // The rest of the file is still read, so that a file broken behind the
    // limit is refused like any other broken file.
    if (sources.size() >= kMaxSources) {
      if (!overLimit_)
        Warn("more than " + std::to_string(kMaxSources) + " feeds; the rest are skipped");
      overLimit_ = true;
      return;
    }
    sources.push_back({catalogueName, std::string(url)});
  }

  bool sawRoot_ = false;
  bool overLimit_ = false;
  std::vector<Frame> stack_;
  std::set<std::string> reported_;
  std::set<std::string> seen_;
};

}  // namespace

std::string CatalogueNameForTitle(std::string_view title) {
  std::string name(title);
  if (CatalogueCodeOf(name) != 0) return name;
  std::string withEntity;
  for (char c : title) {
    if (c == '&') {
      withEntity += "&amp;";
    } else {
      withEntity += c;
    }
  }
  return CatalogueCodeOf(withEntity) != 0 ? withEntity : std::string();
}

bool ParseOpmlSources(std::string_view text, std::vector<FeedSource>* out,
                      std::vector<std::string>* warnings, std::string* error) {
  OpmlReader reader;
  std::string parseError;
  const bool parsed = reader.Parse(text, {}, &parseError);
  *warnings = reader.warnings;
  if (!parsed) {
    *error = parseError;
    return false;
  }
  if (reader.sources.empty()) {
    *error =
        "no feed of a catalogue category (expected <outline text=\"India news\"> holding "
        "<outline xmlUrl=\"http://...\"/>)";
    return false;
  }
  *out = std::move(reader.sources);
  return true;
}

bool LoadOpmlSources(const std::string& path, std::vector<FeedSource>* out,
                     std::vector<std::string>* warnings, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read sources file " + path;
    return false;
  }
  std::string text(kMaxSourcesFileBytes + 1, '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  if (in.bad()) {
    *error = "cannot read sources file " + path;
    return false;
  }
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxSourcesFileBytes) {
    *error = "sources file " + path + " is larger than " +
             std::to_string(kMaxSourcesFileBytes / (1024 * 1024)) + " MiB";
    return false;
  }
  std::vector<std::string> found;
  const bool parsed = ParseOpmlSources(text, out, &found, error);
  for (std::string& w : found) w = path + ": " + w;
  *warnings = std::move(found);
  if (!parsed) *error = "sources file " + path + ": " + *error;
  return parsed;
}
