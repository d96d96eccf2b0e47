// libFuzzer target: headline, address and date cleaning on their own. The
// input is a title (read both as HTML and as plain text, and written in
// Windows-1252 and in one more code page), an address and a date; a line break
// before it makes its first line the feed's address.
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "feedservice/text/Dates.h"
#include "tests/fuzz/FeedChecks.h"

namespace {

// A date read back from its own ISO 8601 and RFC 822 forms gives the same time.
void CheckDateRoundTrip(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm parts;
  Require(gmtime_r(&t, &parts) != nullptr);
  // A zone can move the last day of 9999 into a year the formats cannot hold.
  if (parts.tm_year + 1900 > 9999) return;
  char iso[64];
  char rfc[64];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  Require(strftime(rfc, sizeof rfc, "%a, %d %b %Y %H:%M:%S GMT", &parts) > 0);
  Require(ParseFeedDate(iso) == seconds);
  Require(ParseFeedDate(rfc) == seconds);
}

// A headline in another code page: within its length, no tag can begin in it,
// and it reads back whole (no broken double-byte character).
void CheckHeadlineIn(const CodePage& page, const std::string& text) {
  Require(text.size() <= kMaxHeadlineBytes);
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    Require(!(text[i] == '<' && (text[i + 1] == '/' || IsLetter(text[i + 1]))));
  }
  Require(page.ToUtf8(text).find("\xEF\xBF\xBD") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view base = "http://example.com/news/feed.xml?x=1";
  const size_t newline = input.find('\n');
  if (newline != std::string_view::npos && IsHttpUrl(input.substr(0, newline))) {
    base = input.substr(0, newline);
    input.remove_prefix(newline + 1);
  }

  // The code page of the readers, picked by the length.
  static const std::vector<const CodePage*> pages = CodePage::All();
  const CodePage& page = *pages[input.size() % pages.size()];
  CheckHeadlineIn(page, CleanHeadline(input, TitleMarkup::kHtml, page));

  ParsedFeed feed;
  feed.title = CleanHeadline(input, TitleMarkup::kText);
  CheckHeadline(feed.title);
  FeedItem item;
  item.title = CleanHeadline(input);
  item.link = CleanLink(input, base);
  CheckHeadline(item.title);
  CheckLink(item.link);
  item.published = ParseFeedDate(input);
  Require(item.published >= 0);
  if (item.published != 0) CheckDateRoundTrip(item.published);
  if (!item.title.empty() && !item.link.empty()) feed.items.push_back(item);
  CheckPageRoundTrip({&feed});
  return 0;
}
