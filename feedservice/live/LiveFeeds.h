// Live category pages: the sources of the sources file, refreshed by a small
// pool of background fetchers, and the pages built from their last good items.
// Requests only read a finished page under a short lock; no request ever waits
// for the network or the disk. With a state directory, what the fetchers learn
// is kept there and read back at start.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feedservice/Metrics.h"
#include "feedservice/live/FeedHttp.h"
#include "feedservice/live/OpmlSources.h"
#include "feedservice/live/Schedule.h"
#include "feedservice/text/CodePage.h"
#include "feedservice/text/FeedParser.h"

class StateStore;
struct StoredSource;
struct StoredState;

// One fetch: HttpFetch's signature, so tests can stand in for the network.
using FeedFetchFunction = std::function<HttpFetchResult(
    const std::string& url, const std::string& etag, const std::string& lastModified,
    const HttpFetchLimits& limits, const std::atomic<bool>* abort)>;

struct LiveFeedSettings {
  std::chrono::milliseconds refresh{15 * 60 * 1000};
  std::chrono::milliseconds firstRetry{60 * 1000};  // after a failure; doubles up to 4 x refresh
  // The longest a publisher's Retry-After, freshness or Gone puts a source off.
  std::chrono::milliseconds maxInterval{24 * 3600 * 1000};
  double jitter = 0.1;  // share of each interval its due time is spread by
  HttpFetchLimits limits;
  int parallel = 4;  // fetches at a time
  int perHost = 2;   // fetches at a time to one host name
  // Where the state is kept (StateStore); empty: in memory only.
  std::string stateDir;
  FeedFetchFunction fetch;  // null: HttpFetch
  // The code page headlines are written in: the ANSI code page of the readers'
  // Windows.
  const CodePage* codePage = &CodePage::Windows1252();
};

// What the health page shows of one source.
struct SourceStatus {
  std::string category;
  std::string url;
  std::string status;    // "pending", "ok", "not modified", "error", "gone"
  std::string error;     // last error, empty after a success
  std::string movedTo;   // the permanent new address fetched instead; empty: none
  int64_t nextDue = 0;   // seconds since 1970
  int64_t interval = 0;  // seconds the source waits between fetches now
  // Why it waits longer than the refresh ("Retry-After", "failures", "max-age",
  // "ttl", "gone"); empty when it does not.
  std::string waitReason;
  int64_t newestItem = 0;  // the time of its newest item (ItemTime); 0: no items
  size_t items = 0;        // last good items
  int fetches = 0;         // attempts finished
  int failuresInRow = 0;
  int64_t lastFetch = 0;    // seconds since 1970, 0: never
  int64_t lastSuccess = 0;  // likewise
  // Fetches finished by outcome, and the body bytes all of them received.
  int64_t fetchedOk = 0;
  int64_t fetchedNotModified = 0;
  int64_t fetchedError = 0;
  int64_t bytesFetched = 0;
};

// A category's page and when its bytes last changed (seconds since 1970).
struct LivePageVersion {
  std::shared_ptr<const std::string> page;
  int64_t changed = 0;
  // False while none of the category's sources has ever had items (and
  // nothing was stored): there is no page to give yet.
  bool filled = false;
};

// A time of the health and status pages: "2003-06-10T09:41:00Z" (UTC), or
// "never" for 0.
std::string FormatSourceTime(int64_t secondsSince1970);

class LiveFeeds {
 public:
  using Logger = std::function<void(const std::string&)>;
  // logger gets one line per failed fetch (default: standard error).
  explicit LiveFeeds(LiveFeedSettings settings, Logger logger = nullptr);
  ~LiveFeeds();
  LiveFeeds(const LiveFeeds&) = delete;
  LiveFeeds& operator=(const LiveFeeds&) = delete;

  // Replaces the sources. Sources that stay (same category and address) keep
  // their items and validators; new ones are fetched at once. Categories
  // without sources get pages without items.
  void SetSources(const std::vector<FeedSource>& sources);
  // Starts and stops the fetchers. Stop cancels fetches in progress.
  void Start();
  void Stop();

  // The page for a category with sources, or null for one without.
  std::shared_ptr<const std::string> Page(const std::string& category) const;
  // The code page the live pages are written in.
  const CodePage& codePage() const { return *settings_.codePage; }
  // The same with the time its bytes last changed (page null: no sources).
  LivePageVersion PageVersion(const std::string& category) const;
  std::vector<SourceStatus> Status() const;
  // The health page: a summary line, a header line and one tab-separated line
  // per source (category, url, status, items, fetches, last fetch, last
  // success, last error, next due, why it waits longer, new address).
  std::string HealthText() const;
  // Seconds a client is told to wait for a category not filled yet.
  int RetryAfterSeconds() const;
  // The fetch-duration histogram.
  const MetricsRegistry& fetchMetrics() const { return fetchMetrics_; }
  // Waits (at most limit) until every change so far is in the state; true at
  // once without a state directory.
  bool WaitStateWritten(std::chrono::milliseconds limit) const;

 private:
  struct Source;
  void Worker();
  // All with mutex_ held.
  std::shared_ptr<const std::string> BuildPage(const std::string& category) const;
  // True with *changed the new page when the page's bytes changed.
  bool RebuildPage(const std::string& category, LivePageVersion* changed);
  // Takes a source's stored state; random spreads an overdue source.
  void Restore(Source* source, StoredSource& stored, double random) const;
  StoredSource Snapshot(const Source& source, bool withItems) const;
  double Random();
  std::string FetchUrl(const Source& source) const;

  ScheduleSettings Schedule() const;

  const LiveFeedSettings settings_;
  Logger logger_;
  std::unique_ptr<StateStore> store_;
  std::unique_ptr<StoredState> restored_;  // read at start, taken by the first SetSources
  std::map<std::string, int> hostsInFlight_;
  uint64_t randomState_;
  MetricsRegistry fetchMetrics_;
  mutable std::mutex mutex_;  // sources_ and their state
  std::condition_variable wake_;
  std::vector<std::shared_ptr<Source>> sources_;
  bool stopping_ = false;
  std::atomic<bool> abort_{false};
  std::vector<std::thread> workers_;

  mutable std::mutex pagesMutex_;  // pages_ only: what requests take
  std::map<std::string, LivePageVersion> pages_;
};
