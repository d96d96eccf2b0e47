// One conditional HTTP GET of a feed with libcurl: time-outs, gzip, a size
// cap, redirects among http and https only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// Header lines longer than this are ignored: no field read here is anywhere
// near it, and an answer's giant ETag is then neither kept nor sent back.
constexpr size_t kMaxHeaderLine = 8 * 1024;

struct HttpFetchLimits {
  std::chrono::milliseconds connectTimeout{10000};
  std::chrono::milliseconds totalTimeout{30000};
  size_t maxBytes = 5 * 1024 * 1024;  // of the decoded body
};

struct HttpFetchResult {
  enum Kind { kOk, kNotModified, kError } kind = kError;
  std::string body;
  std::string charset;  // from Content-Type, lower case; empty if none
  std::string etag;
  std::string lastModified;
  std::string error;  // one line, for kError
  // What the publisher asks of its readers (seconds since 1970 where a time):
  int status = 0;          // HTTP status of the final answer; 0 when none came
  int64_t retryAfter = 0;  // 429 or 503 with a readable Retry-After: not before then; 0 none
  bool gone = false;       // 410 Gone (kind kError)
  // Where a chain of permanent redirects (301 or 308 from the requested address
  // on) leads; empty when there was none or a hop was temporary, and unless
  // the final answer is 2xx or 304.
  std::string movedTo;
  // The feed's own freshness: Cache-Control max-age, else Expires; 0 none.
  // Read from 2xx and 304 answers only.
  int64_t freshUntil = 0;
};

// Calls curl_global_init once; call before the first fetch from any thread.
void InitHttpFetch();

// Fetches url, sending If-None-Match / If-Modified-Since when etag /
// lastModified are given. A body over limits.maxBytes is cut off and the fetch
// fails with a message saying so; *abort (may be null) cancels a fetch in
// progress within about a second (curl's progress interval).
HttpFetchResult HttpFetch(const std::string& url, const std::string& etag,
                          const std::string& lastModified, const HttpFetchLimits& limits,
                          const std::atomic<bool>* abort);
