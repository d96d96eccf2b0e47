// UTF-8 encoding and decoding.
#include "feedservice/text/Utf8.h"

namespace {

constexpr uint32_t kBadChar = 0xFFFD;

}  // namespace

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t DecodeUtf8(std::string_view text, size_t pos, Utf8Check check, uint32_t* cp) {
  const unsigned char first = static_cast<unsigned char>(text[pos]);
  if (first < 0x80) {
    *cp = first;
    return 1;
  }
  size_t extra = 0;
  uint32_t value = 0;
  uint32_t minimum = 0;
  if ((first & 0xE0) == 0xC0) {
    extra = 1;
    value = first & 0x1F;
    minimum = 0x80;
  } else if ((first & 0xF0) == 0xE0) {
    extra = 2;
    value = first & 0x0F;
    minimum = 0x800;
  } else if ((first & 0xF8) == 0xF0) {
    extra = 3;
    value = first & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + 1 + extra > text.size()) return 0;
  for (size_t i = 1; i <= extra; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[pos + i]);
    if ((c & 0xC0) != 0x80) return 0;
    value = (value << 6) | (c & 0x3F);
  }
  // C0 and C1 can only begin overlong forms: no check lets them through.
  if (extra == 1 && first < 0xC2) return 0;
  if (check == Utf8Check::kStrict &&
      (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) {
    return 0;
  }
  *cp = value;
  return extra + 1;
}

uint32_t NextCodePoint(std::string_view text, size_t* pos) {
  uint32_t cp = 0;
  const size_t length = DecodeUtf8(text, *pos, Utf8Check::kStrict, &cp);
  *pos += length == 0 ? 1 : length;
  return length == 0 ? kBadChar : cp;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t length = DecodeUtf8(text, i, Utf8Check::kShape, &cp);
    if (length != 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}
