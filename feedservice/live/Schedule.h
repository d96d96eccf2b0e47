// When a source is asked next: the pure rules of polite fetching. A fetch's
// answer (what the publisher asked for) and the service's settings give the
// next delay and, when it is longer than the plain refresh, the reason why.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

struct ScheduleSettings {
  std::chrono::milliseconds refresh{15 * 60 * 1000};
  std::chrono::milliseconds firstRetry{60 * 1000};  // doubles per failure in a row
  std::chrono::milliseconds maxInterval{24 * 3600 * 1000};
  double jitter = 0.1;  // each delay is spread by about this share of it
};

// What one fetch came back with, as far as the schedule cares.
struct FetchAnswer {
  bool success = false;    // a 200 that parsed, or a 304
  bool gone = false;       // 410
  int64_t retryAfter = 0;  // seconds since 1970 the publisher asks us to wait until; 0 none
  int64_t freshUntil = 0;  // seconds since 1970 the answer stays fresh until; 0 none
  int64_t ttl = 0;         // the feed's own <ttl>, seconds; 0 none
  int failuresInRow = 0;   // after this fetch
};

struct NextFetch {
  std::chrono::milliseconds delay{0};     // with its random spread
  std::chrono::milliseconds interval{0};  // before the spread
  // Why the source waits longer than its refresh: "Retry-After", "failures",
  // "max-age", "ttl", "gone"; empty when it does not.
  std::string reason;
};

// The doubling retry after failures in a row (at least one): firstRetry, twice
// that, ... up to four refreshes and never past maxInterval (unless firstRetry
// itself is longer).
std::chrono::milliseconds RetryDelay(const ScheduleSettings& settings, int failuresInRow);

// The next fetch after answer at nowSeconds. random is uniform in [0, 1): the
// spread is -jitter..+jitter of the interval, except where the publisher gave a
// time (Retry-After, Gone), which is never shortened, only lengthened by up to
// jitter.
NextFetch PlanNextFetch(const ScheduleSettings& settings, const FetchAnswer& answer,
                        int64_t nowSeconds, double random);

// The first fetch of a source nothing is known of: within the first
// min(jitter x refresh, 2 s), spread so sources are not all asked at once.
std::chrono::milliseconds FirstFetchDelay(const ScheduleSettings& settings, double random);

// The host name of an http(s) address, lower case, without user or port: what
// the per-host limit counts. Empty for an address without one.
std::string HostOf(std::string_view url);
