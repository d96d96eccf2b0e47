// Query decoding for the feed service's page requests.
#include "feedservice/http/Query.h"

#include <utility>

#include "feedservice/text/Ascii.h"

bool DecodeQueryValue(std::string_view text, std::string* out) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int hi = HexDigitValue(text[i + 1]);
      const int lo = HexDigitValue(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      const char byte = static_cast<char>(hi * 16 + lo);
      if (byte == '\0') return false;
      decoded += byte;
      i += 2;
    } else if (c == '+') {
      decoded += ' ';
    } else {
      decoded += c;
    }
  }
  *out = std::move(decoded);
  return true;
}

bool ParseFeedQuery(std::string_view query, FeedQuery* out, std::string* error) {
  FeedQuery result;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    const size_t eq = pair.find('=');
    std::string_view key = pair.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    std::string* target = nullptr;
    bool* seen = nullptr;
    if (key == "c") {
      target = &result.category;
      seen = &result.hasCategory;
    } else if (key == "o") {
      target = &result.format;
      seen = &result.hasFormat;
    } else {
      continue;
    }
    if (*seen) {
      *error = "parameter " + std::string(key) + " given twice";
      return false;
    }
    if (!DecodeQueryValue(value, target)) {
      *error = "parameter " + std::string(key) + " is not validly percent-encoded";
      return false;
    }
    *seen = true;
  }
  *out = std::move(result);
  return true;
}
