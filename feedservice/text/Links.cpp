// Article address cleaning for the ticker.
#include "feedservice/text/Links.h"

#include <cstring>

#include "feedservice/text/Ascii.h"

namespace {

bool IsAllowedInUrl(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::strchr("\"<>\\^`{|}", c) == nullptr;
}

// Scheme, "://" and host of an absolute http(s) address: "https://example.com".
std::string_view Origin(std::string_view url) {
  const size_t colon = url.find("://");
  if (colon == std::string_view::npos) return {};
  const size_t end = url.find_first_of("/?#", colon + 3);
  return url.substr(0, end);
}

}  // namespace

bool IsHttpUrl(std::string_view url) {
  size_t hostStart = 0;
  if (StartsWithNoCase(url, "http://")) {
    hostStart = 7;
  } else if (StartsWithNoCase(url, "https://")) {
    hostStart = 8;
  } else {
    return false;
  }
  return hostStart < url.size() && std::strchr("/?#:@", url[hostStart]) == nullptr;
}

std::string CleanLink(std::string_view link, std::string_view feedUrl) {
  std::string trimmed;
  for (char c : link) {
    if (c != '\n' && c != '\r' && c != '\t') trimmed += c;
  }
  trimmed = std::string(TrimAscii(trimmed, " "));
  if (trimmed.empty()) return {};

  std::string absolute;
  // A scheme is a letter and then letters, digits, "+", "-" or "." up to ":";
  // "page?at=12:00" is a relative path.
  size_t schemeLength = 0;
  while (schemeLength < trimmed.size() &&
         (IsAsciiAlpha(trimmed[schemeLength]) ||
          (schemeLength > 0 && (IsAsciiDigit(trimmed[schemeLength]) ||
                                std::strchr("+-.", trimmed[schemeLength]) != nullptr)))) {
    ++schemeLength;
  }
  const bool hasScheme =
      schemeLength > 0 && schemeLength < trimmed.size() && trimmed[schemeLength] == ':';
  if (hasScheme) {
    absolute = trimmed;
  } else if (!IsHttpUrl(feedUrl)) {
    return {};
  } else if (trimmed.compare(0, 2, "//") == 0) {
    absolute = std::string(feedUrl.substr(0, feedUrl.find(':') + 1)) + trimmed;
  } else if (trimmed[0] == '/') {
    absolute = std::string(Origin(feedUrl)) + trimmed;
  } else if (trimmed[0] == '?') {
    // The feed's own path with another query.
    absolute = std::string(feedUrl.substr(0, feedUrl.find_first_of("?#"))) + trimmed;
  } else if (trimmed[0] == '#') {
    absolute = std::string(feedUrl.substr(0, feedUrl.find('#'))) + trimmed;
  } else {
    const std::string_view base = feedUrl.substr(0, feedUrl.find_first_of("?#"));
    const std::string_view origin = Origin(feedUrl);
    const size_t lastSlash = base.rfind('/');
    if (lastSlash == std::string_view::npos || lastSlash < origin.size()) {
      absolute = std::string(origin) + "/" + trimmed;
    } else {
      absolute = std::string(base.substr(0, lastSlash + 1)) + trimmed;
    }
  }
  if (!IsHttpUrl(absolute)) return {};
  std::string out;
  const size_t schemeEnd = absolute.find(':');
  for (size_t i = 0; i < absolute.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(absolute[i]);
    if (i < schemeEnd) {
      out += AsciiLower(static_cast<char>(c));
    } else if (IsAllowedInUrl(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 15];
    }
  }
  if (out.size() > kMaxLinkBytes) return {};
  return out;
}
