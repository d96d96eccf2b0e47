// Validators and conditional requests for the feed pages.
#include "feedservice/http/HttpCache.h"

#include <cstdio>

#include "feedservice/text/Ascii.h"

namespace {

// One member of an If-None-Match list, trimmed: W/"x" or "x". The opaque part
// with its quotes, or empty when the member is malformed.
std::string_view OpaqueTag(std::string_view member) {
  if (member.substr(0, 2) == "W/") member.remove_prefix(2);
  if (member.size() < 2 || member.front() != '"' || member.back() != '"') return {};
  for (size_t i = 1; i + 1 < member.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(member[i]);
    if (c == '"' || c < 0x21 || c == 0x7F) return {};
  }
  return member;
}

bool IsEncNameChar(char c, bool first) {
  if (first) return IsAsciiAlpha(c);
  return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '.' || c == '_' || c == '-';
}

}  // namespace

std::string PageEtag(std::string_view body) {
  // Two independent 64-bit FNV-1a hashes (different offsets) and the length.
  uint64_t a = 14695981039346656037ull;
  uint64_t b = 0x9e3779b97f4a7c15ull;
  for (unsigned char c : body) {
    a = (a ^ c) * 1099511628211ull;
    b = (b ^ c) * 1099511628211ull;
    b ^= b >> 29;
  }
  char text[64];
  std::snprintf(text, sizeof text, "\"%zx-%016llx%016llx\"", body.size(),
                static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
  return text;
}

bool IfNoneMatchMatches(std::string_view ifNoneMatch, std::string_view etag) {
  const std::string_view value = TrimAscii(ifNoneMatch);
  if (value == "*") return true;
  const std::string_view ours = OpaqueTag(etag);
  if (ours.empty()) return false;
  size_t start = 0;
  while (start <= value.size()) {
    // Entity tags hold no comma, so the list splits at every one.
    size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) comma = value.size();
    if (OpaqueTag(TrimAscii(value.substr(start, comma - start))) == ours) return true;
    start = comma + 1;
  }
  return false;
}

bool IsNotModified(const ConditionalHeaders& request, std::string_view etag, int64_t lastModified,
                   int64_t now) {
  if (request.ifNoneMatch) return IfNoneMatchMatches(*request.ifNoneMatch, etag);
  if (!request.ifModifiedSince) return false;
  int64_t since = 0;
  // A date that does not parse, or one in the future, is ignored.
  if (!ParseHttpDate(TrimAscii(*request.ifModifiedSince), &since) || since > now) return false;
  return lastModified <= since;
}

std::string PageCacheControl(int maxAgeSeconds) {
  const std::string age = std::to_string(maxAgeSeconds);
  return "public, max-age=" + age + ", stale-while-revalidate=" + age + ", stale-if-error=86400";
}

std::string XmlContentType(std::string_view page) {
  if (page.substr(0, 3) == "\xEF\xBB\xBF") page.remove_prefix(3);
  if (page.substr(0, 6) != "<?xml ") return "text/xml";
  const size_t end = page.find("?>");
  if (end == std::string_view::npos) return "text/xml";
  const std::string_view decl = page.substr(0, end);
  size_t at = decl.find(" encoding");
  if (at == std::string_view::npos) return "text/xml";
  at += 9;
  while (at < decl.size() && decl[at] == ' ') ++at;
  if (at >= decl.size() || decl[at] != '=') return "text/xml";
  ++at;
  while (at < decl.size() && decl[at] == ' ') ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return "text/xml";
  const char quote = decl[at++];
  const size_t close = decl.find(quote, at);
  if (close == std::string_view::npos || close == at || close - at > 40) return "text/xml";
  const std::string_view name = decl.substr(at, close - at);
  for (size_t i = 0; i < name.size(); ++i) {
    if (!IsEncNameChar(name[i], i == 0)) return "text/xml";
  }
  return "text/xml; charset=" + std::string(name);
}

PageCacheHeaders MakePageCacheHeaders(std::string_view body, int64_t lastModified,
                                      int maxAgeSeconds) {
  return {PageEtag(body), FormatHttpDate(lastModified), PageCacheControl(maxAgeSeconds)};
}
