// What the feed service answers for one category: query decoding, the XML page
// and the sample headlines it is filled with. No sockets here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The two query keys of a page request, percent-decoded.
struct FeedQuery {
  std::string category;  // "c"
  std::string format;    // "o"
  bool hasCategory = false;
  bool hasFormat = false;
};

// Decodes one query value: "%XX" (either case of hex digit) becomes the byte,
// "+" a space, everything else stands. False for "%" not followed by two hex
// digits and for an escape that yields a NUL byte (no category can hold one).
bool DecodeQueryValue(std::string_view text, std::string* out);

// Splits "k=v&k=v" and decodes "c" and "o"; other keys are ignored. False, with
// a short reason in *error, for a malformed escape in c or o or a key given twice.
bool ParseFeedQuery(std::string_view query, FeedQuery* out, std::string* error);

// Element content: "&", "<" and ">" as entities; control bytes other than tab,
// line feed and carriage return (which XML cannot carry) as "?".
std::string EscapeXmlText(std::string_view text);

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
