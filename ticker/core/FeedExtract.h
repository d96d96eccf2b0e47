// Headline extraction from the feed text: plain, case-sensitive substring
// search for the exact element tags, one read position moving forward only.
#pragma once

#include <cstddef>
#include <string>

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

// Pairs up to kHeadlineSlots (<url>, <headline_text>) elements of the
// NUL-terminated feed text buffer into urls[i] and texts[i], in file order, and
// returns the number of pairs. Each headline is searched for behind its URL, so
// an item without a headline takes the next item's one (and that item's URL is
// skipped); a missing headline gives an empty text; an empty or unclosed <url>
// ends the list. Slots from the returned count on are not written; a null
// buffer gives no pairs.
// Returns -1 when memory runs out; urls and texts are then not written at all,
// so the caller can leave what it shows as it was.
int ExtractHeadlines(const char* buffer, std::string (&urls)[kHeadlineSlots],
                     std::string (&texts)[kHeadlineSlots]);

// Allocator of the extracted copies (malloc by default); replaceable so that
// tests can run out of memory on purpose.
using TagTextAllocator = void* (*)(std::size_t);
extern TagTextAllocator g_tagTextAllocator;
