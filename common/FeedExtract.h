// Headline extraction from the feed text: plain, case-sensitive substring
// search for the exact element tags, one read position moving forward only.
// The ticker shows what this finds, and the feed service's tests read its
// pages back with it, so both programs share this one reading of a feed.
#pragma once

#include <cstddef>

constexpr int kHeadlineSlots = 20;

// The element tags, exactly as the feed writes them (no attributes, no blanks).
constexpr char kUrlOpenTag[] = "<url>";
constexpr char kUrlCloseTag[] = "</url>";
constexpr char kHeadlineOpenTag[] = "<headline_text>";
constexpr char kHeadlineCloseTag[] = "</headline_text>";

// Searches cursor's text for openTag, then for closeTag behind it, and returns a
// heap copy (NUL-terminated, free it with FreeTagText) of the bytes between
// them, undecoded. On success cursor moves to the first byte after closeTag.
// Returns null and leaves cursor alone when either tag is missing, when the
// element is empty, or when the copy cannot be allocated; in the last case
// *outOfMemory (if given) is set to true, otherwise it is left unchanged.
char* ExtractTagText(const char*& cursor, const char* openTag, const char* closeTag,
                     bool* outOfMemory = nullptr);
void FreeTagText(char* text);

// The pairs of one feed, as heap copies owned by the list.
class HeadlineList {
 public:
  HeadlineList();
  ~HeadlineList();
  HeadlineList(const HeadlineList&) = delete;
  HeadlineList& operator=(const HeadlineList&) = delete;

  int Count() const { return m_count; }
  // The slot's address and headline text; "" for a slot beyond Count() and
  // for an item without a headline.
  const char* Url(int slot) const;
  const char* Text(int slot) const;

 private:
  friend int ExtractHeadlines(const char* buffer, HeadlineList* list);
  void Clear();

  int m_count;
  char* m_urls[kHeadlineSlots];   // null from m_count on
  char* m_texts[kHeadlineSlots];  // null: none
};

// Pairs up to kHeadlineSlots (<url>, <headline_text>) elements of the
// NUL-terminated feed text buffer into list, in file order, and returns the
// number of pairs. Each headline is searched for behind its URL, so an item
// without a headline takes the next item's one (and that item's URL is
// skipped); a missing headline gives an empty text; an empty or unclosed <url>
// ends the list. A null buffer gives no pairs.
// Returns -1 when memory runs out; list then keeps what it held, so the caller
// can leave what it shows as it was.
int ExtractHeadlines(const char* buffer, HeadlineList* list);

// Allocator of the extracted copies (malloc by default); replaceable so that
// tests can run out of memory on purpose.
using TagTextAllocator = void* (*)(std::size_t);
extern TagTextAllocator g_tagTextAllocator;
