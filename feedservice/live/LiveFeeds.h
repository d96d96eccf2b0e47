// Live category pages: the sources of the sources file, refreshed by a small
// pool of background fetchers, and the pages built from their last good items.
// Requests only read a finished page under a short lock; no request ever waits
// for the network.
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

#include "feedservice/text/CodePage.h"
#include "feedservice/live/FeedHttp.h"
#include "feedservice/text/FeedParser.h"
#include "feedservice/live/OpmlSources.h"

struct LiveFeedSettings {
  std::chrono::milliseconds refresh{15 * 60 * 1000};
  std::chrono::milliseconds firstRetry{60 * 1000};  // after a failure; doubles up to 4 x refresh
  HttpFetchLimits limits;
  int parallel = 4;  // fetches at a time
  // The code page headlines are written in: the ANSI code page of the readers'
  // Windows.
  const CodePage* codePage = &CodePage::Windows1252();
};

// What the health page shows of one source.
struct SourceStatus {
  std::string category;
  std::string url;
  std::string status;  // "pending", "ok", "not modified", "error"
  std::string error;   // last error, empty after a success
  size_t items = 0;    // last good items
  int fetches = 0;     // attempts finished
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
  // success, last error).
  std::string HealthText() const;

 private:
  struct Source;
  void Worker();
  // Both with mutex_ held.
  std::shared_ptr<const std::string> BuildPage(const std::string& category) const;
  void RebuildPage(const std::string& category);
  std::chrono::milliseconds RetryDelay(int failures) const;

  const LiveFeedSettings settings_;
  Logger logger_;
  mutable std::mutex mutex_;  // sources_ and their state
  std::condition_variable wake_;
  std::vector<std::shared_ptr<Source>> sources_;
  bool stopping_ = false;
  std::atomic<bool> abort_{false};
  std::vector<std::thread> workers_;

  mutable std::mutex pagesMutex_;  // pages_ only: what requests take
  std::map<std::string, LivePageVersion> pages_;
};
