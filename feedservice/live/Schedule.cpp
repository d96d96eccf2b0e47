// Polite fetching: back-off, the publisher's own times, freshness and spread.
#include "feedservice/live/Schedule.h"

#include <algorithm>

#include "feedservice/text/Ascii.h"

using std::chrono::milliseconds;

namespace {

milliseconds Scaled(milliseconds delay, double factor) {
  return milliseconds(static_cast<int64_t>(static_cast<double>(delay.count()) * factor));
}

milliseconds SecondsUntil(int64_t when, int64_t now) {
  return milliseconds(std::max<int64_t>(0, when - now) * 1000);
}

}  // namespace

milliseconds RetryDelay(const ScheduleSettings& settings, int failuresInRow) {
  milliseconds cap = std::min(settings.refresh * 4, settings.maxInterval);
  cap = std::max(cap, settings.firstRetry);
  milliseconds delay = settings.firstRetry;
  for (int i = 1; i < failuresInRow && delay < cap; ++i) delay *= 2;
  return std::min(delay, cap);
}

NextFetch PlanNextFetch(const ScheduleSettings& settings, const FetchAnswer& answer, int64_t now,
                        double random) {
  NextFetch next;
  // The longest wait a publisher can ask for; never below the refresh.
  const milliseconds longest = std::max(settings.maxInterval, settings.refresh);
  bool publisherTime = false;
  if (answer.gone) {
    next.interval = longest;
    next.reason = "gone";
    publisherTime = true;
  } else if (answer.success) {
    next.interval = settings.refresh;
    const milliseconds fresh = SecondsUntil(answer.freshUntil, now);
    const milliseconds ttl = milliseconds(std::max<int64_t>(0, answer.ttl) * 1000);
    if (fresh > next.interval && fresh >= ttl) {
      next.interval = std::min(fresh, longest);
      next.reason = "max-age";
    } else if (ttl > next.interval) {
      next.interval = std::min(ttl, longest);
      next.reason = "ttl";
    }
  } else {
    next.interval = RetryDelay(settings, std::max(1, answer.failuresInRow));
    if (next.interval > settings.refresh) next.reason = "failures";
    const milliseconds asked = std::min(SecondsUntil(answer.retryAfter, now), longest);
    if (answer.retryAfter != 0 && asked >= next.interval) {
      next.interval = asked;
      next.reason = "Retry-After";
      publisherTime = true;
    }
  }
  random = std::clamp(random, 0.0, 1.0);
  const double jitter = std::clamp(settings.jitter, 0.0, 0.5);
  next.delay = publisherTime ? Scaled(next.interval, 1 + jitter * random)
                             : Scaled(next.interval, 1 - jitter + 2 * jitter * random);
  return next;
}

milliseconds FirstFetchDelay(const ScheduleSettings& settings, double random) {
  const milliseconds window =
      std::min(Scaled(settings.refresh, std::clamp(settings.jitter, 0.0, 0.5)), milliseconds(2000));
  return Scaled(window, std::clamp(random, 0.0, 1.0));
}

std::string HostOf(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const size_t at = rest.rfind('@');
  if (at != std::string_view::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest.front() == '[') {
    rest = rest.substr(0, rest.find(']') + 1);  // an IPv6 literal keeps its colons
  } else {
    rest = rest.substr(0, rest.find(':'));
  }
  return AsciiLowerCase(rest);
}
