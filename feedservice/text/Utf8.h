// UTF-8 in both directions, with one decoder at two strictnesses: the
// headline cleaning reads only well-formed characters, while the status page
// only needs text a browser will take as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Appends the UTF-8 bytes of code point cp to out.
void AppendUtf8(uint32_t cp, std::string* out);

enum class Utf8Check {
  // Overlong forms, surrogates and code points above U+10FFFF are malformed.
  kStrict,
  // Only the shape counts: a lead byte (C2 to F7), its count of continuation
  // bytes, all present.
  kShape,
};

// The length of the sequence at text[pos] (pos < text.size()) with its code
// point in *cp; 0 when the bytes there are malformed by check.
size_t DecodeUtf8(std::string_view text, size_t pos, Utf8Check check, uint32_t* cp);

// The character at text[*pos] (strictly read), pos moved past it; a malformed
// byte gives U+FFFD and moves one byte.
uint32_t NextCodePoint(std::string_view text, size_t* pos);

// text with every byte that does not take part in a sequence of the right
// shape replaced by U+FFFD, so a page that shows it stays well-formed.
std::string ValidUtf8(std::string_view text);
