// The small ASCII helpers every part of the service needs, written once: the
// protocols and formats it reads (HTTP, XML declarations, feed dates, code page
// labels) are case-insensitive only over ASCII, whatever the locale says.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

inline std::string AsciiLowerCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) out += AsciiLower(c);
  return out;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

// text without the leading and trailing bytes found in blanks.
inline std::string_view TrimAscii(std::string_view text, std::string_view blanks = " \t") {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Upper-case hex digits by value, for percent and backslash escapes.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of a hex digit in either case; -1 for any other byte.
inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
