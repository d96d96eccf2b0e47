// libFuzzer target: headline extraction over arbitrary bytes, as a feed file
// would be read back (a NUL-terminated copy; bytes behind a NUL are unseen).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ticker/core/FeedExtract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> feed(data, data + size);
  feed.push_back('\0');
  const std::string text(feed.data());  // what the search can see

  std::string urls[kHeadlineSlots];
  std::string texts[kHeadlineSlots];
  const int count = ExtractHeadlines(feed.data(), urls, texts);

  if (count < 0 || count > kHeadlineSlots) std::abort();
  size_t from = 0;
  for (int i = 0; i < count; ++i) {
    // Every URL is a non-empty element of the text, found in file order.
    if (urls[i].empty()) std::abort();
    const size_t at = text.find(kUrlOpenTag + urls[i] + kUrlCloseTag, from);
    if (at == std::string::npos) std::abort();
    from = at + 1;
    if (!texts[i].empty() &&
        text.find(kHeadlineOpenTag + texts[i] + kHeadlineCloseTag) == std::string::npos) {
      std::abort();
    }
  }
  for (int i = count; i < kHeadlineSlots; ++i) {
    if (!urls[i].empty() || !texts[i].empty()) std::abort();
  }
  return 0;
}
