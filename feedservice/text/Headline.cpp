// Headline and address cleaning for the ticker, and feed date reading.
#include "feedservice/text/Headline.h"

#include <cstring>
#include <vector>

namespace {

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

constexpr uint32_t kBadChar = 0xFFFD;

// Decodes one UTF-8 sequence at text[*pos]; malformed bytes (overlong forms,
// surrogates, truncated sequences) give kBadChar and advance one byte.
uint32_t NextCodePoint(std::string_view text, size_t* pos) {
  const unsigned char first = static_cast<unsigned char>(text[*pos]);
  ++*pos;
  if (first < 0x80) return first;
  int extra = 0;
  uint32_t cp = 0;
  uint32_t minimum = 0;
  if ((first & 0xE0) == 0xC0) {
    extra = 1;
    cp = first & 0x1F;
    minimum = 0x80;
  } else if ((first & 0xF0) == 0xE0) {
    extra = 2;
    cp = first & 0x0F;
    minimum = 0x800;
  } else if ((first & 0xF8) == 0xF0) {
    extra = 3;
    cp = first & 0x07;
    minimum = 0x10000;
  } else {
    return kBadChar;
  }
  if (*pos + extra > text.size()) return kBadChar;
  for (int i = 0; i < extra; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[*pos + i]);
    if ((c & 0xC0) != 0x80) return kBadChar;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kBadChar;
  *pos += extra;
  return cp;
}

// White space and control characters that become one blank in a headline.
bool IsBlankLike(uint32_t cp) {
  return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0xA0) || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

// Invisible characters dropped from a headline.
bool IsInvisible(uint32_t cp) {
  return cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF;
}

struct NamedEntity {
  const char* name;
  uint32_t cp;
};

// Latin-1 names, U+00A0 to U+00FF in order.
const char* const kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

const NamedEntity kOtherEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"euro", 0x20AC},   {"ndash", 0x2013},  {"mdash", 0x2014},
    {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C},
    {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"hellip", 0x2026}, {"bull", 0x2022},
    {"trade", 0x2122},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"OElig", 0x152},   {"oelig", 0x153},
    {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},
    {"circ", 0x2C6},    {"tilde", 0x2DC},   {"thinsp", 0x2009}, {"ensp", 0x2002},
    {"emsp", 0x2003},   {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},
    {"rlm", 0x200F},    {"minus", 0x2212},  {"prime", 0x2032},  {"Prime", 0x2033}};

bool LookupEntity(std::string_view name, uint32_t* cp) {
  for (int i = 0; i < 96; ++i) {
    if (name == kLatin1Names[i]) {
      *cp = 0xA0 + i;
      return true;
    }
  }
  for (const NamedEntity& entity : kOtherEntities) {
    if (name == entity.name) {
      *cp = entity.cp;
      return true;
    }
  }
  return false;
}

// Tags after which text continues on a new line or block: they leave a blank.
bool IsBreakingTag(std::string_view name) {
  static const char* const kNames[] = {"br", "p",  "div",   "li",         "tr", "td", "th",
                                       "h1", "h2", "h3",    "h4",         "h5", "h6", "hr",
                                       "ul", "ol", "table", "blockquote", "dd", "dt"};
  for (const char* n : kNames) {
    if (name.size() == std::strlen(n) && StartsWithNoCase(name, n)) return true;
  }
  return false;
}

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

int ParseDigits(std::string_view text, size_t* pos, size_t minDigits, size_t maxDigits) {
  size_t start = *pos;
  int value = 0;
  while (*pos < text.size() && *pos - start < maxDigits && IsAsciiDigit(text[*pos])) {
    value = value * 10 + (text[*pos] - '0');
    ++*pos;
  }
  return *pos - start >= minDigits ? value : -1;
}

void SkipBlanks(std::string_view text, size_t* pos) {
  while (*pos < text.size() &&
         (text[*pos] == ' ' || text[*pos] == '\t' || text[*pos] == '\n' || text[*pos] == '\r')) {
    ++*pos;
  }
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// 0 for a date that does not exist ("31 Feb", hour 25): a reader is better
// served by an undated item than by one moved to another day.
int64_t ToEpoch(int year, int month, int day, int hour, int minute, int second, int offsetMinutes) {
  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 60) {
    return 0;
  }
  const int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const int64_t t = days * 86400 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
  return t > 0 ? t : 0;
}

// "+0100", "-05:00", "+01", "GMT", "EST", "Z", ... as minutes east of UTC; the
// whole text must be the zone.
bool ParseZone(std::string_view zone, int* minutes) {
  if (zone.empty()) {
    *minutes = 0;
    return true;
  }
  if (zone[0] == '+' || zone[0] == '-') {
    size_t pos = 1;
    const int hours = ParseDigits(zone, &pos, 2, 2);
    if (pos < zone.size() && zone[pos] == ':') ++pos;
    const int mins = pos < zone.size() ? ParseDigits(zone, &pos, 2, 2) : 0;
    if (hours < 0 || mins < 0 || hours > 23 || mins > 59 || pos != zone.size()) return false;
    *minutes = (zone[0] == '-' ? -1 : 1) * (hours * 60 + mins);
    return true;
  }
  for (char c : zone) {
    if (!IsAsciiAlpha(c)) return false;
  }
  static const struct {
    const char* name;
    int hours;
  } kZones[] = {{"GMT", 0},  {"UT", 0},   {"UTC", 0},  {"Z", 0},    {"EST", -5}, {"EDT", -4},
                {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
  for (const auto& z : kZones) {
    if (zone.size() == std::strlen(z.name) && StartsWithNoCase(zone, z.name)) {
      *minutes = z.hours * 60;
      return true;
    }
  }
  // Military single letters and unknown names: taken as UTC.
  *minutes = 0;
  return true;
}

// "h:mm" or "h:mm:ss" with at least minHourDigits (and at most two) digits of
// hour; pos moves past it.
bool ParseClock(std::string_view text, size_t* pos, size_t minHourDigits, int* hour, int* minute,
                int* second) {
  *hour = ParseDigits(text, pos, minHourDigits, 2);
  if (*hour < 0 || *pos >= text.size() || text[*pos] != ':') return false;
  ++*pos;
  *minute = ParseDigits(text, pos, 2, 2);
  if (*minute < 0) return false;
  if (*pos < text.size() && text[*pos] == ':') {
    ++*pos;
    *second = ParseDigits(text, pos, 2, 2);
    if (*second < 0) return false;
  }
  return true;
}

int64_t ParseIsoDate(std::string_view text) {
  size_t pos = 0;
  const int year = ParseDigits(text, &pos, 4, 4);
  if (year < 0 || pos >= text.size() || text[pos] != '-') return 0;
  ++pos;
  const int month = ParseDigits(text, &pos, 2, 2);
  if (month < 0 || pos >= text.size() || text[pos] != '-') return 0;
  ++pos;
  const int day = ParseDigits(text, &pos, 2, 2);
  if (day < 0) return 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int offset = 0;
  const bool dateOnly = text.find_first_not_of(" \t\r\n", pos) == std::string_view::npos;
  if (!dateOnly) {
    if (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' ') return 0;
    ++pos;
    if (!ParseClock(text, &pos, 2, &hour, &minute, &second)) return 0;
    // Fractions of a second.
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
      ++pos;
      while (pos < text.size() && IsAsciiDigit(text[pos])) ++pos;
    }
    std::string_view zone = text.substr(pos);
    while (!zone.empty() && (zone.back() == ' ' || zone.back() == '\n' || zone.back() == '\r' ||
                             zone.back() == '\t')) {
      zone.remove_suffix(1);
    }
    // Names are not ISO zones; only "Z" is.
    const bool named = !zone.empty() && zone[0] != '+' && zone[0] != '-';
    if ((named && zone != "Z" && zone != "z") || !ParseZone(zone, &offset)) return 0;
  }
  return ToEpoch(year, month, day, hour, minute, second, offset);
}

int64_t ParseRfc822Date(std::string_view text) {
  size_t pos = 0;
  // An optional weekday, with or without its comma.
  if (pos < text.size() && IsAsciiAlpha(text[pos])) {
    while (pos < text.size() && IsAsciiAlpha(text[pos])) ++pos;
    if (pos < text.size() && text[pos] == ',') ++pos;
    SkipBlanks(text, &pos);
  }
  const int day = ParseDigits(text, &pos, 1, 2);
  if (day < 0) return 0;
  SkipBlanks(text, &pos);
  if (pos < text.size() && text[pos] == '-') ++pos;
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  int month = 0;
  for (int i = 0; i < 12; ++i) {
    if (StartsWithNoCase(text.substr(pos), kMonths[i])) month = i + 1;
  }
  if (month == 0) return 0;
  while (pos < text.size() && IsAsciiAlpha(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == '-') ++pos;
  SkipBlanks(text, &pos);
  const size_t yearStart = pos;
  int year = ParseDigits(text, &pos, 2, 4);
  if (year < 0) return 0;
  if (pos - yearStart == 2) year += year < 50 ? 2000 : 1900;
  SkipBlanks(text, &pos);
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (pos < text.size() && !ParseClock(text, &pos, 1, &hour, &minute, &second)) return 0;
  SkipBlanks(text, &pos);
  std::string_view zone = text.substr(pos);
  const size_t blank = zone.find_first_of(" \t\r\n(");
  std::string_view rest;
  if (blank != std::string_view::npos) {
    rest = zone.substr(blank);
    zone = zone.substr(0, blank);
  }
  // Behind the zone only blanks and one comment: "GMT (Greenwich)".
  size_t restPos = 0;
  SkipBlanks(rest, &restPos);
  if (restPos < rest.size() && rest[restPos] == '(') {
    const size_t close = rest.find(')', restPos);
    if (close == std::string_view::npos) return 0;
    restPos = close + 1;
    SkipBlanks(rest, &restPos);
  }
  if (restPos != rest.size()) return 0;
  int offset = 0;
  if (!ParseZone(zone, &offset)) return 0;
  return ToEpoch(year, month, day, hour, minute, second, offset);
}

// Position of needle in text at or after from, ignoring ASCII case; npos when
// absent. The needles are short, so this stays linear in the text.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

// Removes HTML/XML markup: "<" followed by a letter, "/", "!" or "?" up to the
// next ">" (line breaks and block elements leave a space). Comments, scripts
// and style sheets go with their contents; an unclosed one hides the rest. A
// "<" that does not start a tag stays. The next ">" is remembered, so text full
// of "<a" costs one pass, not one per "<".
std::string StripMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t nextClose = 0;  // the first ">" after the last search; npos: none left
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c != '<' || !(IsAsciiAlpha(next) || next == '/' || next == '!' || next == '?')) {
      out += c;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      const size_t end = text.find("-->", i + 4);
      if (end == std::string_view::npos) break;
      i = end + 2;
      continue;
    }
    if (nextClose != std::string_view::npos && nextClose <= i) nextClose = text.find('>', i + 1);
    if (nextClose == std::string_view::npos) {
      out += c;
      continue;
    }
    const size_t end = nextClose;
    size_t nameStart = i + 1 + (next == '/' ? 1 : 0);
    size_t nameEnd = nameStart;
    while (nameEnd < end && (IsAsciiAlpha(text[nameEnd]) || IsAsciiDigit(text[nameEnd]))) ++nameEnd;
    const std::string_view name = text.substr(nameStart, nameEnd - nameStart);
    if (IsBreakingTag(name)) out += ' ';
    i = end;
    const bool hidesContent = name.size() == 6
                                  ? StartsWithNoCase(name, "script")
                                  : name.size() == 5 && StartsWithNoCase(name, "style");
    if (next != '/' && hidesContent && text[end - 1] != '/') {
      const size_t close = FindNoCase(text, std::string("</") + std::string(name), end + 1);
      if (close == std::string_view::npos) break;
      const size_t closeEnd = text.find('>', close);
      if (closeEnd == std::string_view::npos) break;
      i = closeEnd;
    }
  }
  return out;
}

// Decodes HTML character references (the common named ones and "&#N;" /
// "&#xH;") into UTF-8; unknown or malformed references stay as written.
std::string DecodeHtmlEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    // A reference is short: the ";" is looked for only close by, so text full
    // of "&" stays linear.
    const size_t near = text.substr(i + 1, 12).find(';');
    const size_t semi = near == std::string_view::npos ? near : i + 1 + near;
    if (semi == std::string_view::npos) {
      out += '&';
      continue;
    }
    const std::string_view name = text.substr(i + 1, semi - i - 1);
    uint32_t cp = 0;
    bool ok = false;
    if (name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      ok = !digits.empty();
      uint64_t value = 0;
      for (char d : digits) {
        int v = -1;
        if (IsAsciiDigit(d)) v = d - '0';
        if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
        if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
        if (v < 0) ok = false;
        if (ok) value = value * (hex ? 16 : 10) + static_cast<uint64_t>(v);
        if (value > 0x10FFFF) value = kBadChar;
      }
      cp = static_cast<uint32_t>(value);
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kBadChar;
    } else {
      ok = LookupEntity(name, &cp);
    }
    if (!ok) {
      out += '&';
      continue;
    }
    AppendUtf8(cp, &out);
    i = semi;
  }
  return out;
}

// text (whole characters of the code page) cut to at most limit bytes: at the
// last blank if that keeps two thirds, else between two characters, and ended
// with an ellipsis.
std::string CutHeadline(const std::string& text, size_t limit, const CodePage& codePage) {
  if (text.size() <= limit) return text;
  const std::string& ellipsis = codePage.ellipsis();
  const size_t room = limit - ellipsis.size();
  size_t cut = 0;  // the last character start at or before room
  for (size_t i = 0; i <= room && i < text.size();) {
    cut = i;
    i += codePage.IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  // A blank byte is always a character of its own: trail bytes start at 0x40.
  const size_t blank = text.rfind(' ', cut);
  if (blank != std::string::npos && blank > limit * 2 / 3) cut = blank;
  std::string out = text.substr(0, cut);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out + ellipsis;
}

// Every "<" that could begin a tag (before a letter or "/") replaced by the
// code page's stand-in. No trail byte is "<", so each "<" byte is a character.
std::string MarkTagStarts(const std::string& text, const CodePage& codePage) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '<' && (next == '/' || IsAsciiAlpha(next))) {
      out += codePage.tagStandIn();
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string CleanHeadline(std::string_view utf8Title, TitleMarkup markup,
                          const CodePage& codePage) {
  const std::string decoded = markup == TitleMarkup::kHtml
                                  ? DecodeHtmlEntities(StripMarkup(utf8Title))
                                  : std::string(utf8Title);
  // One pass over the characters: blanks collapsed, invisible ones dropped,
  // the rest converted. A character whose stand-in is empty (the hard and soft
  // signs, combining marks) leaves no trace, so it cannot part two blanks.
  std::string text;
  text.reserve(decoded.size());
  bool pendingBlank = false;
  for (size_t pos = 0; pos < decoded.size();) {
    const uint32_t cp = NextCodePoint(decoded, &pos);
    if (IsInvisible(cp)) continue;
    if (IsBlankLike(cp) || cp == ' ') {
      pendingBlank = !text.empty();
      continue;
    }
    if (pendingBlank) text += ' ';
    const size_t before = text.size();
    codePage.Append(cp, &text);
    if (text.size() == before) {
      if (pendingBlank) text.pop_back();  // the blank waits for a visible character
      continue;
    }
    pendingBlank = false;
  }
  // Cut first, then the tag stand-ins, as they always were; a stand-in of two
  // bytes (double-byte code pages) can make the line longer again, and then it
  // is cut shorter.
  std::string line = MarkTagStarts(CutHeadline(text, kMaxHeadlineBytes, codePage), codePage);
  for (size_t limit = kMaxHeadlineBytes; line.size() > kMaxHeadlineBytes;) {
    limit -= line.size() - kMaxHeadlineBytes;
    line = MarkTagStarts(CutHeadline(text, limit, codePage), codePage);
  }
  return line;
}

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
  size_t first = trimmed.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  trimmed = trimmed.substr(first, trimmed.find_last_not_of(' ') - first + 1);

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
      static const char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (out.size() > kMaxLinkBytes) return {};
  return out;
}

int64_t ParseFeedDate(std::string_view text) {
  size_t pos = 0;
  SkipBlanks(text, &pos);
  text.remove_prefix(pos);
  if (text.size() >= 5 && IsAsciiDigit(text[0]) && IsAsciiDigit(text[1]) && IsAsciiDigit(text[2]) &&
      IsAsciiDigit(text[3]) && text[4] == '-') {
    return ParseIsoDate(text);
  }
  return ParseRfc822Date(text);
}
