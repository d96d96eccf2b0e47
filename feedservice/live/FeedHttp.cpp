// Feed downloads with libcurl.
#include "feedservice/live/FeedHttp.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <mutex>
#include <string_view>
#include <vector>

#include "feedservice/text/Ascii.h"
#include "feedservice/text/Dates.h"

namespace {

// Delta-seconds from 2^31 (about 68 years) on read as 2^31, as HTTP caches do.
constexpr int64_t kMaxDeltaSeconds = int64_t{1} << 31;

struct Transfer {
  std::string* body;
  size_t maxBytes;
  bool overflow = false;
  HttpFetchResult* result;
  const std::atomic<bool>* abort;
  // The status of every answer in turn (redirects, then the final one).
  std::vector<int> statuses;
  // Raw fields of the answer being read.
  std::string retryAfter;
  std::string cacheControl;  // every Cache-Control line, joined with commas
  std::string expires;
  std::string date;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (t->body->size() + bytes > t->maxBytes) {
    t->overflow = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  t->body->append(data, bytes);
  return bytes;
}

bool HeaderIs(const std::string& line, const char* name, std::string* value) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  if (!EqualsNoCase(std::string_view(line).substr(0, colon), name)) return false;
  *value = std::string(TrimAscii(std::string_view(line).substr(colon + 1), " \t\r\n"));
  return true;
}

std::string CharsetOf(const std::string& contentType) {
  const std::string lower = AsciiLowerCase(contentType);
  const size_t pos = lower.find("charset=");
  if (pos == std::string::npos) return {};
  std::string value = lower.substr(pos + 8);
  value = value.substr(0, value.find_first_of("; \t"));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// The status code of a status line ("HTTP/1.1 301 Moved", "HTTP/2 200"), or 0.
int StatusOfLine(const std::string& line) {
  const size_t space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 4) return 0;
  int status = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (!IsAsciiDigit(line[i])) return 0;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  const std::string line(data, std::min(bytes, kMaxHeaderLine + 1));
  std::string value;
  if (line.compare(0, 5, "HTTP/") == 0) {
    // A new response (after a redirect): forget the previous one's fields.
    t->result->etag.clear();
    t->result->lastModified.clear();
    t->result->charset.clear();
    t->retryAfter.clear();
    t->cacheControl.clear();
    t->expires.clear();
    t->date.clear();
    const int status = StatusOfLine(line);
    if (status < 100 || status >= 200) t->statuses.push_back(status);  // not 1xx interim
  } else if (line.size() > kMaxHeaderLine) {
    // Too long to be any field read here: ignored.
  } else if (HeaderIs(line, "etag", &value)) {
    t->result->etag = value;
  } else if (HeaderIs(line, "last-modified", &value)) {
    t->result->lastModified = value;
  } else if (HeaderIs(line, "content-type", &value)) {
    t->result->charset = CharsetOf(value);
  } else if (HeaderIs(line, "retry-after", &value)) {
    t->retryAfter = value;
  } else if (HeaderIs(line, "cache-control", &value)) {
    if (t->cacheControl.size() + value.size() < kMaxHeaderLine) {
      t->cacheControl += t->cacheControl.empty() ? value : "," + value;
    }
  } else if (HeaderIs(line, "expires", &value)) {
    t->expires = value;
  } else if (HeaderIs(line, "date", &value)) {
    t->date = value;
  }
  return bytes;
}

// HTTP delta-seconds: digits only, saturating at kMaxDeltaSeconds.
bool DeltaSeconds(std::string_view text, int64_t* seconds) {
  if (text.empty()) return false;
  int64_t value = 0;
  for (char c : text) {
    if (!IsAsciiDigit(c)) return false;
    value = std::min(value * 10 + (c - '0'), kMaxDeltaSeconds);
  }
  *seconds = value;
  return true;
}

// Retry-After as a time: delta-seconds from now or an HTTP date; 0 when
// unreadable or absurdly far (then the usual retry applies).
int64_t RetryAfterTime(std::string_view value, int64_t now) {
  int64_t seconds = 0;
  if (DeltaSeconds(value, &seconds)) return seconds < kMaxDeltaSeconds ? now + seconds : 0;
  if (ParseHttpDate(value, &seconds) && seconds > 0) return seconds;
  return 0;
}

// How long the final answer says it stays fresh: Cache-Control max-age (no-cache
// and no-store: not at all), else Expires less the answer's Date (now when it
// has none, so that a clock set wrong at either end is not taken for freshness).
int64_t FreshUntil(const Transfer& t, int64_t now) {
  bool hasMaxAge = false;
  int64_t lifetime = 0;
  std::string_view rest = t.cacheControl;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view directive = TrimAscii(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const size_t equals = directive.find('=');
    const std::string name = AsciiLowerCase(TrimAscii(directive.substr(0, equals)));
    if (name == "no-cache" || name == "no-store") return 0;
    if (name == "max-age" && equals != std::string_view::npos && !hasMaxAge) {
      std::string_view value = TrimAscii(directive.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      hasMaxAge = DeltaSeconds(value, &lifetime);
    }
  }
  int64_t expires = 0;
  if (!hasMaxAge && ParseHttpDate(t.expires, &expires)) {
    int64_t date = 0;
    lifetime = expires - (ParseHttpDate(t.date, &date) ? date : now);
  }
  return lifetime > 0 ? now + lifetime : 0;
}

// The address a chain of redirects ends at when every one was permanent (301
// or 308) and the final answer is the feed (2xx or 304); empty otherwise. A
// count of answers that does not match curl's count of redirects (a proxy's
// own answer in between) gives empty too.
std::string MovedTo(const Transfer& t, long redirects, const char* effective,
                    const std::string& url) {
  if (redirects <= 0 || effective == nullptr || url == effective) return {};
  if (t.statuses.size() != static_cast<size_t>(redirects) + 1) return {};
  const int final = t.statuses.back();
  if (final != 304 && (final < 200 || final >= 300)) return {};
  for (size_t i = 0; i + 1 < t.statuses.size(); ++i) {
    if (t.statuses[i] != 301 && t.statuses[i] != 308) return {};
  }
  return effective;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const Transfer* t = static_cast<const Transfer*>(user);
  return t->abort != nullptr && t->abort->load() ? 1 : 0;
}

}  // namespace

void InitHttpFetch() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpFetchResult HttpFetch(const std::string& url, const std::string& etag,
                          const std::string& lastModified, const HttpFetchLimits& limits,
                          const std::atomic<bool>* abort) {
  InitHttpFetch();
  HttpFetchResult result;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    result.error = "cannot start a transfer";
    return result;
  }
  Transfer transfer{&result.body, limits.maxBytes, false, &result, abort, {}, {}, {}, {}, {}};
  char errorText[CURL_ERROR_SIZE] = "";
  curl_slist* headers = nullptr;
  if (!etag.empty()) headers = curl_slist_append(headers, ("If-None-Match: " + etag).c_str());
  if (!lastModified.empty()) {
    headers = curl_slist_append(headers, ("If-Modified-Since: " + lastModified).c_str());
  }
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(limits.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // every encoding curl can decode
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "feedservice/1.0");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  long redirects = 0;
  curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
  const char* effective = nullptr;
  curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
  if (code == CURLE_OK) result.movedTo = MovedTo(transfer, redirects, effective, url);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);

  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  result.status = static_cast<int>(status);
  // What an error answer asks counts even when its body did not come whole.
  if (status == 429 || status == 503) result.retryAfter = RetryAfterTime(transfer.retryAfter, now);
  result.gone = status == 410;

  if (transfer.overflow || code == CURLE_FILESIZE_EXCEEDED) {
    result.error = "feed larger than " + std::to_string(limits.maxBytes) + " bytes; cut off";
  } else if (code == CURLE_ABORTED_BY_CALLBACK) {
    result.error = "cancelled";
  } else if (code != CURLE_OK) {
    result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
  } else if (status == 304) {
    result.kind = HttpFetchResult::kNotModified;
  } else if (status >= 200 && status < 300) {
    result.kind = HttpFetchResult::kOk;
  } else if (status == 429 || status == 503) {
    result.error = "HTTP status " + std::to_string(status) +
                   (status == 429 ? " Too Many Requests" : " Service Unavailable");
    if (result.retryAfter != 0) {
      result.error += ", retry after " + FormatHttpDate(result.retryAfter);
    }
  } else if (status == 410) {
    result.error = "HTTP status 410 Gone: the publisher has removed the feed";
  } else {
    result.error = "HTTP status " + std::to_string(status);
  }
  if (result.kind != HttpFetchResult::kError) result.freshUntil = FreshUntil(transfer, now);
  if (result.kind == HttpFetchResult::kError) result.body.clear();
  return result;
}
