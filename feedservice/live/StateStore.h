// The live state kept on disk in SQLite, so that readers keep their headlines
// and publishers their validators through restarts: per source its last good
// items, validators, failures, schedule, new address and whether it is gone;
// per category the page's bytes and when they last changed.
//
// Changes are queued by the fetchers and written by one writer thread, each
// change in one transaction, so no fetcher and no request ever waits for the
// disk. A write that fails (full disk, read-only directory) is reported in one
// line and retried; what it held stays queued, the newest change of a row
// winning. A database that cannot be read is kept aside under another name and
// a new one started.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feedservice/text/FeedParser.h"

// One source's row: keyed by category and address as the sources file gives them.
struct StoredSource {
  std::string category;
  std::string url;
  std::string movedTo;  // a permanent new address; empty: none
  bool gone = false;
  std::string etag;
  std::string lastModified;
  int failuresInRow = 0;
  int64_t nextDueMs = 0;   // milliseconds since 1970
  int64_t intervalMs = 0;  // the interval that due time came from
  std::string waitReason;
  std::string status;
  std::string lastError;
  int64_t lastFetch = 0;  // seconds since 1970
  int64_t lastSuccess = 0;
  std::string feedTitle;  // UTF-8
  int64_t ttl = 0;
  // The last good items (titles in UTF-8); hasItems false leaves the stored
  // items as they are.
  bool hasItems = false;
  std::vector<FeedItem> items;
};

struct StoredPage {
  std::string category;
  std::string body;
  int64_t changed = 0;  // seconds since 1970
};

// Everything in the database, as read at start. Damaged rows are left out.
struct StoredState {
  std::vector<StoredSource> sources;
  std::vector<StoredPage> pages;
};

// What one fetch result (or one reload of the sources) changes.
struct StateChange {
  std::vector<StoredSource> sources;
  std::vector<StoredPage> pages;
  std::vector<std::pair<std::string, std::string>> removedSources;  // category, url
  std::vector<std::string> removedPages;
};

class StateStore {
 public:
  using Logger = std::function<void(const std::string&)>;
  // dir/state.db; dir is made if missing. logger gets one line per problem.
  StateStore(std::string dir, Logger logger,
             std::chrono::milliseconds firstRetry = std::chrono::milliseconds(1000));
  ~StateStore();
  StateStore(const StateStore&) = delete;
  StateStore& operator=(const StateStore&) = delete;

  // Opens the database (keeping an unreadable one aside) and reads it. Call
  // once, before Start.
  StoredState Load();
  // Starts and stops the writer; Stop writes what is queued (one attempt).
  void Start();
  void Stop();

  void Submit(StateChange change);
  // Waits (at most limit) until everything submitted so far is written. False
  // when something is still queued, e.g. after a failed write.
  bool WaitWritten(std::chrono::milliseconds limit);

  const std::string& path() const { return path_; }

 private:
  struct Pending {
    std::map<std::pair<std::string, std::string>, std::optional<StoredSource>> sources;
    std::map<std::string, std::optional<StoredPage>> pages;
    bool empty() const { return sources.empty() && pages.empty(); }
  };
  // Folds newer into *older: for each row the newer change wins; a source row
  // without items keeps the items of the change before it.
  static void Merge(Pending* older, Pending newer);
  bool Open(std::string* error);
  void Close();
  bool SetAside(const std::string& reason);
  bool Write(const Pending& pending, std::string* error);
  void Writer();

  const std::string dir_;
  const std::string path_;
  Logger logger_;
  const std::chrono::milliseconds firstRetry_;
  sqlite3* db_ = nullptr;  // the writer's after Start

  std::mutex mutex_;  // pending_ and the flags below
  std::condition_variable changed_;
  Pending pending_;
  bool writing_ = false;
  bool stopping_ = false;
  std::thread writer_;
};
