// Validators and conditional requests for the feed pages.
#include "feedservice/http/HttpCache.h"

#include <cstdio>
#include <ctime>

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A left-to-right reader for the fixed date layouts.
class DateScanner {
 public:
  explicit DateScanner(std::string_view text) : text_(text) {}
  bool Literal(std::string_view s) {
    if (text_.substr(pos_, s.size()) != s) return false;
    pos_ += s.size();
    return true;
  }
  // Exactly count digits.
  bool Digits(size_t count, int* value) {
    if (pos_ + count > text_.size()) return false;
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
      const char c = text_[pos_ + i];
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    pos_ += count;
    *value = v;
    return true;
  }
  bool OneOf(const char* const* names, size_t count, int* index) {
    for (size_t i = 0; i < count; ++i) {
      if (Literal(names[i])) {
        *index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }
  bool Month(int* month) { return OneOf(kMonths, 12, month); }
  bool Time(struct tm* parts) {
    return Digits(2, &parts->tm_hour) && Literal(":") && Digits(2, &parts->tm_min) &&
           Literal(":") && Digits(2, &parts->tm_sec);
  }
  bool AtEnd() const { return pos_ == text_.size(); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool ToSeconds(struct tm parts, int64_t* seconds) {
  if (parts.tm_mday < 1 || parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 60) {
    return false;
  }
  if (parts.tm_sec == 60) parts.tm_sec = 59;  // a leap second reads as the one before
  const int day = parts.tm_mday;
  const int month = parts.tm_mon;
  const time_t t = timegm(&parts);
  // timegm rolls 31 Feb over into March: such a date is not a date.
  if (parts.tm_mday != day || parts.tm_mon != month) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

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

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsEncNameChar(char c, bool first) {
  const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
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

std::string FormatHttpDate(int64_t seconds) {
  const time_t value = static_cast<time_t>(seconds);
  struct tm parts;
  gmtime_r(&value, &parts);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday],
                parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return text;
}

bool ParseHttpDate(std::string_view text, int64_t* seconds) {
  struct tm parts = {};
  int index = 0;
  int year = 0;
  {  // IMF-fixdate: Sun, 06 Nov 1994 08:49:37 GMT
    DateScanner s(text);
    if (s.OneOf(kDays, 7, &index) && s.Literal(", ") && s.Digits(2, &parts.tm_mday) &&
        s.Literal(" ") && s.Month(&parts.tm_mon) && s.Literal(" ") && s.Digits(4, &year) &&
        s.Literal(" ") && s.Time(&parts) && s.Literal(" GMT") && s.AtEnd()) {
      parts.tm_year = year - 1900;
      return ToSeconds(parts, seconds);
    }
  }
  {  // RFC 850: Sunday, 06-Nov-94 08:49:37 GMT; two-digit years before 70 are 20xx
    DateScanner s(text);
    parts = {};
    if (s.OneOf(kLongDays, 7, &index) && s.Literal(", ") && s.Digits(2, &parts.tm_mday) &&
        s.Literal("-") && s.Month(&parts.tm_mon) && s.Literal("-") && s.Digits(2, &year) &&
        s.Literal(" ") && s.Time(&parts) && s.Literal(" GMT") && s.AtEnd()) {
      parts.tm_year = year < 70 ? year + 100 : year;
      return ToSeconds(parts, seconds);
    }
  }
  {  // asctime: Sun Nov  6 08:49:37 1994
    DateScanner s(text);
    parts = {};
    if (s.OneOf(kDays, 7, &index) && s.Literal(" ") && s.Month(&parts.tm_mon) && s.Literal(" ") &&
        (s.Digits(2, &parts.tm_mday) || (s.Literal(" ") && s.Digits(1, &parts.tm_mday))) &&
        s.Literal(" ") && s.Time(&parts) && s.Literal(" ") && s.Digits(4, &year) && s.AtEnd()) {
      parts.tm_year = year - 1900;
      return ToSeconds(parts, seconds);
    }
  }
  return false;
}

bool IfNoneMatchMatches(std::string_view ifNoneMatch, std::string_view etag) {
  const std::string_view value = Trim(ifNoneMatch);
  if (value == "*") return true;
  const std::string_view ours = OpaqueTag(etag);
  if (ours.empty()) return false;
  size_t start = 0;
  while (start <= value.size()) {
    // Entity tags hold no comma, so the list splits at every one.
    size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) comma = value.size();
    if (OpaqueTag(Trim(value.substr(start, comma - start))) == ours) return true;
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
  if (!ParseHttpDate(Trim(*request.ifModifiedSince), &since) || since > now) return false;
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
