// What the feed service answers for one category without live feeds: the XML
// page and the sample headlines it is filled with. No sockets here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One group of headline templates and the category codes that use it. A group
// without codes serves every category no other group claims.
struct HeadlineGroup {
  std::string name;
  std::vector<std::pair<int, int>> codeRanges;  // inclusive
  std::vector<std::string> templates;           // "{topic}" / "{Topic}" placeholders
};

struct SampleHeadlines {
  std::vector<std::string> sources;
  std::vector<HeadlineGroup> groups;
};

// Parses the sample data text (format described in sample-headlines.txt).
// Lines it cannot place are reported in *error and parsing fails.
bool ParseSampleHeadlines(std::string_view text, SampleHeadlines* out, std::string* error);

// The data bundled with the service, parsed once.
const SampleHeadlines& BundledSampleHeadlines();

// The subject a category's headlines talk about: the name without a "Sports: ",
// "Consumer: " etc. prefix and without a trailing " news", "&amp;" read as "&".
std::string CategoryTopic(const std::string& name);

// The page for a catalogue category (code 101..426): 5 to 12 deterministic
// items. For any other name (code 0) a page with no items.
std::string BuildFeedPage(const std::string& name, int code, const SampleHeadlines& data);
