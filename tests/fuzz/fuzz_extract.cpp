// libFuzzer target: headline extraction over arbitrary bytes, as a feed file
// would be read back (a NUL-terminated copy; bytes behind a NUL are unseen).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/FeedExtract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> feed(data, data + size);
  feed.push_back('\0');
  const std::string text(feed.data());  // what the search can see

  HeadlineList list;
  const int count = ExtractHeadlines(feed.data(), &list);

  if (count < 0 || count > kHeadlineSlots || count != list.Count()) std::abort();
  size_t from = 0;
  for (int i = 0; i < count; ++i) {
    // Every URL is a non-empty element of the text, found in file order.
    const std::string url = list.Url(i);
    const std::string headline = list.Text(i);
    if (url.empty()) std::abort();
    const size_t at = text.find(kUrlOpenTag + url + kUrlCloseTag, from);
    if (at == std::string::npos) std::abort();
    from = at + 1;
    if (!headline.empty() &&
        text.find(kHeadlineOpenTag + headline + kHeadlineCloseTag) == std::string::npos) {
      std::abort();
    }
  }
  for (int i = count; i < kHeadlineSlots; ++i) {
    if (list.Url(i)[0] != '\0' || list.Text(i)[0] != '\0') std::abort();
  }
  return 0;
}
