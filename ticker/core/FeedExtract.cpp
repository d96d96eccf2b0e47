#include "ticker/core/FeedExtract.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

TagTextAllocator g_tagTextAllocator = std::malloc;

char* ExtractTagText(const char*& cursor, const char* openTag, const char* closeTag,
                     bool* outOfMemory) {
  const char* open = std::strstr(cursor, openTag);
  if (open == nullptr) return nullptr;
  const char* start = open + std::strlen(openTag);
  const char* close = std::strstr(start, closeTag);
  if (close == nullptr) return nullptr;
  const std::size_t length = static_cast<std::size_t>(close - start);
  // An empty element counts as missing; the cursor stays in front of it.
  if (length == 0) return nullptr;

  char* copy = static_cast<char*>(g_tagTextAllocator(length + 1));
  if (copy == nullptr) {
    if (outOfMemory != nullptr) *outOfMemory = true;
    return nullptr;
  }
  std::memcpy(copy, start, length);
  copy[length] = '\0';
  cursor = close + std::strlen(closeTag);
  return copy;
}

void FreeTagText(char* text) {
  std::free(text);
}

namespace {

// Moves an extracted copy into target and frees it. False when the string
// cannot hold it.
bool TakeText(std::string& target, char* text) {
  bool stored = true;
  try {
    target = text;
  } catch (const std::bad_alloc&) {
    stored = false;
  }
  FreeTagText(text);
  return stored;
}

}  // namespace

int ExtractHeadlines(const char* buffer, std::string (&urls)[kHeadlineSlots],
                     std::string (&texts)[kHeadlineSlots]) {
  // The pairs are collected apart and handed over only when all went well, so
  // that running out of memory leaves the caller's arrays as they were.
  if (buffer == nullptr) return 0;
  std::string foundUrls[kHeadlineSlots];
  std::string foundTexts[kHeadlineSlots];
  const char* cursor = buffer;
  bool outOfMemory = false;
  int count = 0;

  // A 21st URL would be dropped unused, so the search stops at the 20th pair.
  while (count < kHeadlineSlots) {
    char* url = ExtractTagText(cursor, kUrlOpenTag, kUrlCloseTag, &outOfMemory);
    if (url == nullptr) break;
    if (!TakeText(foundUrls[count], url)) return -1;

    // Searched from behind this URL: the first headline there is this item's,
    // whatever item it belongs to. None found leaves the text empty.
    char* text = ExtractTagText(cursor, kHeadlineOpenTag, kHeadlineCloseTag, &outOfMemory);
    if (outOfMemory) return -1;
    if (text != nullptr && !TakeText(foundTexts[count], text)) return -1;
    ++count;
  }
  if (outOfMemory) return -1;

  for (int i = 0; i < count; ++i) {
    urls[i].swap(foundUrls[i]);
    texts[i].swap(foundTexts[i]);
  }
  return count;
}
