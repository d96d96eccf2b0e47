#include "common/FeedExtract.h"

#include <cstdlib>
#include <cstring>

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

HeadlineList::HeadlineList() : m_count(0), m_urls(), m_texts() {}

HeadlineList::~HeadlineList() {
  Clear();
}

void HeadlineList::Clear() {
  for (int i = 0; i < kHeadlineSlots; ++i) {
    FreeTagText(m_urls[i]);
    FreeTagText(m_texts[i]);
    m_urls[i] = m_texts[i] = nullptr;
  }
  m_count = 0;
}

const char* HeadlineList::Url(int slot) const {
  return slot >= 0 && slot < kHeadlineSlots && m_urls[slot] != nullptr ? m_urls[slot] : "";
}

const char* HeadlineList::Text(int slot) const {
  return slot >= 0 && slot < kHeadlineSlots && m_texts[slot] != nullptr ? m_texts[slot] : "";
}

int ExtractHeadlines(const char* buffer, HeadlineList* list) {
  // The pairs are collected apart and handed over only when all went well, so
  // that running out of memory leaves the caller's list as it was.
  HeadlineList found;
  const char* cursor = buffer;
  bool outOfMemory = false;

  // A 21st URL would be dropped unused, so the search stops at the 20th pair.
  while (buffer != nullptr && found.m_count < kHeadlineSlots) {
    char* url = ExtractTagText(cursor, kUrlOpenTag, kUrlCloseTag, &outOfMemory);
    if (url == nullptr) break;
    found.m_urls[found.m_count] = url;

    // Searched from behind this URL: the first headline there is this item's,
    // whatever item it belongs to. None found leaves the text empty.
    found.m_texts[found.m_count] =
        ExtractTagText(cursor, kHeadlineOpenTag, kHeadlineCloseTag, &outOfMemory);
    ++found.m_count;
    if (outOfMemory) break;
  }
  if (outOfMemory) return -1;

  list->Clear();
  for (int i = 0; i < found.m_count; ++i) {
    list->m_urls[i] = found.m_urls[i];
    list->m_texts[i] = found.m_texts[i];
    found.m_urls[i] = found.m_texts[i] = nullptr;
  }
  list->m_count = found.m_count;
  found.m_count = 0;
  return list->m_count;
}
