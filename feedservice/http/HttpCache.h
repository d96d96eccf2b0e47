// What HTTP caches need from a page: validators, the answer to a conditional
// request, Cache-Control and a Content-Type that names the page's encoding.
// Plain functions over strings, independent of the server library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The HTTP dates of Last-Modified and If-Modified-Since.
#include "feedservice/text/Dates.h"

// A strong entity tag, quoted, derived from the page bytes alone: the same
// bytes give the same tag in every process and on every machine.
std::string PageEtag(std::string_view body);

// Whether an If-None-Match value matches etag: "*", or any listed tag by weak
// comparison (a "W/" prefix is ignored on either side). Malformed members of
// the list match nothing; the rest are still compared.
bool IfNoneMatchMatches(std::string_view ifNoneMatch, std::string_view etag);

// The conditional headers of a GET or HEAD, as sent (absent: nullopt).
struct ConditionalHeaders {
  std::optional<std::string_view> ifNoneMatch;
  std::optional<std::string_view> ifModifiedSince;
};

// True when the answer is 304 Not Modified. If-None-Match, when present,
// decides alone; otherwise an If-Modified-Since that parses, is not later than
// now, and is not earlier than lastModified.
bool IsNotModified(const ConditionalHeaders& request, std::string_view etag, int64_t lastModified,
                   int64_t now);

// "public, max-age=N, stale-while-revalidate=N, stale-if-error=86400": caches
// keep a page N seconds, may serve it while they revalidate for N more, and
// keep serving it for a day while the service is down or failing.
std::string PageCacheControl(int maxAgeSeconds);

// "text/xml; charset=ENC" with ENC the encoding of the page's XML declaration,
// or plain "text/xml" when the page declares none (or an unreadable one).
std::string XmlContentType(std::string_view page);

// The cache headers of a page answer, in the order they are sent.
struct PageCacheHeaders {
  std::string etag;
  std::string lastModified;
  std::string cacheControl;
};
PageCacheHeaders MakePageCacheHeaders(std::string_view body, int64_t lastModified,
                                      int maxAgeSeconds);
