// The sample pages of the feed service.
#include "feedservice/FeedPage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "feedservice/text/Ascii.h"
#include "feedservice/text/XmlEscape.h"

namespace {

// FNV-1a: a stable hash, so a category's page is the same on every run.
uint32_t StableHash(std::string_view text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

bool ParseCode(std::string_view s, int* out) {
  if (s.empty() || s.size() > 4) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// "262-273 275 278-307": ranges of codes separated by blanks.
bool ParseCodeRanges(std::string_view s, std::vector<std::pair<int, int>>* out) {
  while (true) {
    s = TrimAscii(s, " \t\r");
    if (s.empty()) return true;
    size_t end = s.find_first_of(" \t");
    std::string_view word = s.substr(0, end);
    s = end == std::string_view::npos ? std::string_view() : s.substr(end);
    size_t dash = word.find('-');
    int lo = 0;
    int hi = 0;
    if (dash == std::string_view::npos) {
      if (!ParseCode(word, &lo)) return false;
      hi = lo;
    } else if (!ParseCode(word.substr(0, dash), &lo) || !ParseCode(word.substr(dash + 1), &hi) ||
               hi < lo) {
      return false;
    }
    out->emplace_back(lo, hi);
  }
}

void ReplaceAll(std::string* text, std::string_view from, std::string_view to) {
  for (size_t pos = text->find(from); pos != std::string::npos;
       pos = text->find(from, pos + to.size())) {
    text->replace(pos, from.size(), to);
  }
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

// "India news" -> "india-news": the path part of the sample article addresses.
std::string Slug(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      out += static_cast<char>(c);
    } else if (c >= 'A' && c <= 'Z') {
      out += static_cast<char>(c + 32);
    } else if (!out.empty() && out.back() != '-') {
      out += '-';
    }
  }
  while (!out.empty() && out.back() == '-') out.pop_back();
  return out.empty() ? "news" : out;
}

const HeadlineGroup* GroupFor(const SampleHeadlines& data, int code) {
  const HeadlineGroup* fallback = nullptr;
  for (const HeadlineGroup& group : data.groups) {
    if (group.codeRanges.empty()) {
      if (fallback == nullptr) fallback = &group;
      continue;
    }
    for (const auto& range : group.codeRanges) {
      if (code >= range.first && code <= range.second) return &group;
    }
  }
  return fallback;
}

}  // namespace

// The text of sample-headlines.txt, generated into the build.
extern const char kSampleHeadlinesText[];

bool ParseSampleHeadlines(std::string_view text, SampleHeadlines* out, std::string* error) {
  SampleHeadlines data;
  enum { kNone, kSources, kGroup } section = kNone;
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = TrimAscii(text.substr(0, nl), " \t\r");
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (line == "[sources]") {
      section = kSources;
    } else if (line.size() > 8 && line.substr(0, 7) == "[group " && line.back() == ']') {
      section = kGroup;
      data.groups.push_back(
          HeadlineGroup{std::string(TrimAscii(line.substr(7, line.size() - 8))), {}, {}});
    } else if (line[0] == '[') {
      *error = where + "unknown section";
      return false;
    } else if (section == kSources) {
      data.sources.emplace_back(line);
    } else if (section == kGroup && line.substr(0, 6) == "codes:") {
      if (!ParseCodeRanges(line.substr(6), &data.groups.back().codeRanges)) {
        *error = where + "bad code list";
        return false;
      }
    } else if (section == kGroup) {
      data.groups.back().templates.emplace_back(line);
    } else {
      *error = where + "text outside a section";
      return false;
    }
  }
  if (data.sources.empty()) {
    *error = "no sources";
    return false;
  }
  for (const HeadlineGroup& group : data.groups) {
    if (group.templates.size() < 12) {
      *error = "group " + group.name + " has fewer than 12 headlines";
      return false;
    }
  }
  *out = std::move(data);
  return true;
}

const SampleHeadlines& BundledSampleHeadlines() {
  static const SampleHeadlines data = [] {
    SampleHeadlines parsed;
    std::string error;
    if (!ParseSampleHeadlines(kSampleHeadlinesText, &parsed, &error)) {
      // The bundled file is part of the build; a broken one is a build fault.
      std::fprintf(stderr, "feedservice: bundled sample headlines: %s\n", error.c_str());
      std::abort();
    }
    return parsed;
  }();
  return data;
}

std::string CategoryTopic(const std::string& name) {
  std::string topic = name;
  static const char* const kPrefixes[] = {
      "Sports: ", "Consumer: ", "Entertainment: ", "Science: ", "Media: ", "Internet: "};
  for (const char* prefix : kPrefixes) {
    const size_t length = std::strlen(prefix);
    if (topic.size() > length && topic.compare(0, length, prefix) == 0) {
      topic.erase(0, length);
      break;
    }
  }
  static const char kSuffix[] = " news";
  const size_t suffixLength = sizeof kSuffix - 1;
  if (topic.size() > suffixLength &&
      topic.compare(topic.size() - suffixLength, suffixLength, kSuffix) == 0) {
    topic.erase(topic.size() - suffixLength);
  }
  ReplaceAll(&topic, "&amp;", "&");
  return topic;
}

std::string BuildFeedPage(const std::string& name, int code, const SampleHeadlines& data) {
  std::string page = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<headlines>\n";
  page += "<category>" + EscapeXmlText(name) + "</category>\n";
  const HeadlineGroup* group = code != 0 ? GroupFor(data, code) : nullptr;
  if (group != nullptr && !group->templates.empty()) {
    const uint32_t hash = StableHash(name);
    const size_t pool = group->templates.size();
    const size_t count = std::min<size_t>(5 + hash % 8, pool);
    // A fixed permutation walk through the group: start and stride come from
    // the name, the stride is coprime to the pool size so no template repeats.
    size_t stride = 1 + (hash >> 8) % (pool - 1);
    while (std::gcd(stride, pool) != 1) ++stride;
    size_t index = (hash >> 16) % pool;
    const std::string topic = CategoryTopic(name);
    const std::string slug = Slug(name);
    for (size_t i = 0; i < count; ++i, index = (index + stride) % pool) {
      std::string headline = group->templates[index];
      ReplaceAll(&headline, "{Topic}", Capitalized(topic));
      ReplaceAll(&headline, "{topic}", topic);
      const std::string& source = data.sources[(hash + i) % data.sources.size()];
      char url[256];
      std::snprintf(url, sizeof url, "http://news.example.com/%s/%d-%zu.html", slug.c_str(), code,
                    i + 1);
      page += "<item><url>" + EscapeXmlText(url) + "</url><headline_text>" +
              EscapeXmlText(headline) + "</headline_text><source>" + EscapeXmlText(source) +
              "</source></item>\n";
    }
  }
  page += "</headlines>\n";
  return page;
}
