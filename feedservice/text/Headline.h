// Turning the texts of real feeds into what the ticker shows: it takes element
// content byte for byte in its Windows' ANSI code page and finds items by plain
// search for its four tag texts, so headlines are decoded, cleaned, converted
// and made unable to contain those tags. No I/O here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "feedservice/text/CodePage.h"

// Longest headline written, in bytes of its code page (the ticker's labels show
// one line; longer titles are cut at a word and end in an ellipsis).
constexpr size_t kMaxHeadlineBytes = 150;

// How a title's text is to be read: as HTML (RSS titles, Atom "html") or as
// plain text (Atom "text"), in which "<" and "&" are just characters.
enum class TitleMarkup { kHtml, kText };

// A title from a feed (UTF-8, XML entities already decoded) made into one
// headline line for the ticker: for HTML, markup stripped (with the contents of
// scripts, style sheets and comments) and references decoded; then white space
// and control characters collapsed to single blanks, converted to the code
// page (Windows-1252 unless told), cut to kMaxHeadlineBytes between whole
// characters, and every "<" that could begin a tag written as the code page's
// stand-in (in Windows-1252 the single angle quotation mark, 0x8B), so no tag
// text the ticker searches for can occur. Empty when nothing visible is left.
// Linear in the length of the title.
std::string CleanHeadline(std::string_view utf8Title, TitleMarkup markup = TitleMarkup::kHtml,
                          const CodePage& codePage = CodePage::Windows1252());
