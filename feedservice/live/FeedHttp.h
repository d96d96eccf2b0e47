// One conditional HTTP GET of a feed with libcurl: time-outs, gzip, a size
// cap, redirects among http and https only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

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
