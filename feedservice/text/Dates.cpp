// Dates in the two forms the service reads: the lenient forms feeds carry and
// the exact forms of HTTP, on one proleptic Gregorian calendar in UTC.
#include "feedservice/text/Dates.h"

#include <cstdio>

#include "feedservice/text/Ascii.h"

namespace {

// The calendar.

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

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

// Civil date of a day counted from 1970-01-01 (the inverse of DaysFromCivil).
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2);
}

// a / b rounded down, for times before 1970 as well (b > 0).
int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - (a % b != 0 && a < 0);
}

// Feed dates.

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
    if (EqualsNoCase(zone, z.name)) {
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

// HTTP dates.

// The fields of an HTTP date as read; month 0 to 11.
struct HttpDateFields {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

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
  bool Time(HttpDateFields* parts) {
    return Digits(2, &parts->hour) && Literal(":") && Digits(2, &parts->minute) && Literal(":") &&
           Digits(2, &parts->second);
  }
  bool AtEnd() const { return pos_ == text_.size(); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// False for a date the calendar does not have ("31 Feb").
bool ToSeconds(HttpDateFields parts, int64_t* seconds) {
  if (parts.day < 1 || parts.day > DaysInMonth(parts.year, parts.month + 1) || parts.hour > 23 ||
      parts.minute > 59 || parts.second > 60) {
    return false;
  }
  if (parts.second == 60) parts.second = 59;  // a leap second reads as the one before
  *seconds = DaysFromCivil(parts.year, static_cast<unsigned>(parts.month + 1),
                           static_cast<unsigned>(parts.day)) *
                 86400 +
             parts.hour * 3600 + parts.minute * 60 + parts.second;
  return true;
}

}  // namespace

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

std::string FormatHttpDate(int64_t seconds) {
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t ofDay = seconds - days * 86400;
  const int64_t weekday = days + 4 - FloorDiv(days + 4, 7) * 7;  // 1 Jan 1970 was a Thursday
  int64_t year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(days, &year, &month, &day);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04lld %02d:%02d:%02d GMT", kDays[weekday], day,
                kMonths[month - 1], static_cast<long long>(year), static_cast<int>(ofDay / 3600),
                static_cast<int>(ofDay / 60 % 60), static_cast<int>(ofDay % 60));
  return text;
}

bool ParseHttpDate(std::string_view text, int64_t* seconds) {
  HttpDateFields parts;
  int index = 0;
  int year = 0;
  {  // IMF-fixdate: Sun, 06 Nov 1994 08:49:37 GMT
    DateScanner s(text);
    if (s.OneOf(kDays, 7, &index) && s.Literal(", ") && s.Digits(2, &parts.day) && s.Literal(" ") &&
        s.Month(&parts.month) && s.Literal(" ") && s.Digits(4, &year) && s.Literal(" ") &&
        s.Time(&parts) && s.Literal(" GMT") && s.AtEnd()) {
      parts.year = year;
      return ToSeconds(parts, seconds);
    }
  }
  {  // RFC 850: Sunday, 06-Nov-94 08:49:37 GMT; two-digit years before 70 are 20xx
    DateScanner s(text);
    parts = HttpDateFields();
    if (s.OneOf(kLongDays, 7, &index) && s.Literal(", ") && s.Digits(2, &parts.day) &&
        s.Literal("-") && s.Month(&parts.month) && s.Literal("-") && s.Digits(2, &year) &&
        s.Literal(" ") && s.Time(&parts) && s.Literal(" GMT") && s.AtEnd()) {
      parts.year = year < 70 ? 2000 + year : 1900 + year;
      return ToSeconds(parts, seconds);
    }
  }
  {  // asctime: Sun Nov  6 08:49:37 1994
    DateScanner s(text);
    parts = HttpDateFields();
    if (s.OneOf(kDays, 7, &index) && s.Literal(" ") && s.Month(&parts.month) && s.Literal(" ") &&
        (s.Digits(2, &parts.day) || (s.Literal(" ") && s.Digits(1, &parts.day))) &&
        s.Literal(" ") && s.Time(&parts) && s.Literal(" ") && s.Digits(4, &year) && s.AtEnd()) {
      parts.year = year;
      return ToSeconds(parts, seconds);
    }
  }
  return false;
}
