// Dates as the service reads and writes them, in seconds since 1970 (UTC):
// feed dates, read leniently since feeds write them every which way, and HTTP
// dates, read and written only in the exact forms HTTP defines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Seconds since 1970 of an RFC 822 date ("Tue, 10 Jun 2003 04:00:00 GMT", also
// with numeric or North American zones, without weekday or seconds, two-digit
// years) or an ISO 8601 / RFC 3339 date ("2003-12-13T18:30:02Z",
// "2003-12-13T18:30:02.25+01:00", "2003-12-13"). 0 when it cannot be read:
// impossible dates ("31 Feb"), unreadable zones and text after the zone (other
// than blanks and, in RFC 822, one comment in parentheses) give no date.
int64_t ParseFeedDate(std::string_view text);

// Seconds since 1970 as an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT").
std::string FormatHttpDate(int64_t seconds);
// Reads the three date forms HTTP recipients accept (IMF-fixdate, the obsolete
// RFC 850 and asctime forms). False for anything else.
bool ParseHttpDate(std::string_view text, int64_t* seconds);
