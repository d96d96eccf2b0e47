// The live state in SQLite: WAL mode, one writer thread, a transaction per change.
#include "feedservice/live/StateStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int kSchemaVersion = 1;
// Damaged rows are each reported up to this many, then counted.
constexpr int kDamagedRowsReported = 5;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS sources(category TEXT NOT NULL, url TEXT NOT NULL,"
    " moved_to TEXT, gone INTEGER, etag TEXT, last_modified TEXT, failures INTEGER,"
    " next_due_ms INTEGER, interval_ms INTEGER, wait_reason TEXT, status TEXT, last_error TEXT,"
    " last_fetch INTEGER, last_success INTEGER, feed_title TEXT, ttl INTEGER,"
    " PRIMARY KEY(category, url));"
    "CREATE TABLE IF NOT EXISTS items(category TEXT NOT NULL, url TEXT NOT NULL,"
    " position INTEGER NOT NULL, title TEXT, link TEXT, published INTEGER, first_seen INTEGER,"
    " PRIMARY KEY(category, url, position));"
    "CREATE TABLE IF NOT EXISTS pages(category TEXT PRIMARY KEY, body BLOB, changed INTEGER);";

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// A prepared statement, finalized however its scope ends.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return rc_ == SQLITE_OK; }
  sqlite3_stmt* get() const { return stmt_; }
  void Text(int i, const std::string& text) {
    sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Blob(int i, const std::string& bytes) {
    sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void Int(int i, int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
  // Runs a statement that returns no rows and readies it for the next binding.
  int Run() {
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

// Column readers that refuse a value of the wrong type: the file may have been
// changed by anyone.
bool TextAt(sqlite3_stmt* row, int i, std::string* out, bool required) {
  const int type = sqlite3_column_type(row, i);
  if (type == SQLITE_NULL) {
    out->clear();
    return !required;
  }
  if (type != SQLITE_TEXT) return false;
  const unsigned char* text = sqlite3_column_text(row, i);
  const int size = sqlite3_column_bytes(row, i);
  if (text == nullptr || size < 0) return false;
  out->assign(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
  if (required && out->empty()) return false;
  return true;
}

bool IntAt(sqlite3_stmt* row, int i, int64_t* out) {
  const int type = sqlite3_column_type(row, i);
  if (type == SQLITE_NULL) {
    *out = 0;
    return true;
  }
  if (type != SQLITE_INTEGER) return false;
  *out = sqlite3_column_int64(row, i);
  return *out >= 0;
}

std::string UtcStamp() {
  const time_t now = std::time(nullptr);
  struct tm parts;
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return text;
}

}  // namespace

StateStore::StateStore(std::string dir, Logger logger, std::chrono::milliseconds firstRetry)
    : dir_(std::move(dir)),
      path_(dir_ + "/state.db"),
      logger_(std::move(logger)),
      firstRetry_(firstRetry) {}

StateStore::~StateStore() {
  Stop();
  Close();
}

void StateStore::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool StateStore::Open(std::string* error) {
  Close();
  if (mkdir(dir_.c_str(), 0750) != 0 && errno != EEXIST) {
    *error = "cannot make " + dir_ + ": " + std::strerror(errno);
    return false;
  }
  int rc =
      sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db_, 2000);
    sqlite3_extended_result_codes(db_, 0);
    rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr,
                      nullptr);
  }
  int version = 0;
  if (rc == SQLITE_OK) {
    Statement query(db_, "PRAGMA user_version");
    rc = query.ok() ? sqlite3_step(query.get()) : sqlite3_errcode(db_);
    if (rc == SQLITE_ROW) {
      version = sqlite3_column_int(query.get(), 0);
      rc = SQLITE_OK;
    }
  }
  if (rc == SQLITE_OK && version > kSchemaVersion) {
    *error = "written by a newer feedservice (schema " + std::to_string(version) + ")";
    Close();
    return false;
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK && version != kSchemaVersion) {
    rc = sqlite3_exec(db_, "PRAGMA user_version=1", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    *error = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    Close();
    return false;
  }
  return true;
}

bool StateStore::SetAside(const std::string& reason) {
  Close();
  std::string aside = path_ + ".bad-" + UtcStamp();
  for (int n = 1; Exists(aside); ++n)
    aside = path_ + ".bad-" + UtcStamp() + "-" + std::to_string(n);
  if (std::rename(path_.c_str(), aside.c_str()) != 0) {
    logger_("state: " + path_ + " cannot be used (" + reason + ") nor moved aside (" +
            std::strerror(errno) + "); keeping the state in memory only");
    return false;
  }
  // The journal and its index belong to the bad file: a new database must not
  // take them up.
  for (const char* suffix : {"-wal", "-shm"}) {
    if (Exists(path_ + suffix)) std::rename((path_ + suffix).c_str(), (aside + suffix).c_str());
  }
  logger_("state: " + path_ + " cannot be used (" + reason + "); kept as " + aside +
          ", starting a new state");
  return true;
}

StoredState StateStore::Load() {
  StoredState state;
  std::string error;
  if (!Open(&error)) {
    // A file that is there but will not open is set aside; a directory we
    // cannot write leaves us in memory, with the writer trying again.
    if (!Exists(path_) || access(dir_.c_str(), W_OK) != 0 || !SetAside(error) || !Open(&error)) {
      logger_("state: cannot open " + path_ + ": " + error +
              "; serving from memory, retrying the writes");
      return state;
    }
  }
  int damaged = 0;
  const auto skip = [&](const std::string& what) {
    if (++damaged <= kDamagedRowsReported) logger_("state: skipping a damaged " + what + " row");
  };
  std::map<std::pair<std::string, std::string>, size_t> index;
  int rc = SQLITE_OK;
  {
    Statement q(db_,
                "SELECT category, url, moved_to, gone, etag, last_modified, failures, next_due_ms,"
                " interval_ms, wait_reason, status, last_error, last_fetch, last_success,"
                " feed_title, ttl FROM sources");
    rc = q.ok() ? SQLITE_OK : sqlite3_errcode(db_);
    while (rc == SQLITE_OK && (rc = sqlite3_step(q.get())) == SQLITE_ROW) {
      rc = SQLITE_OK;
      sqlite3_stmt* r = q.get();
      StoredSource s;
      int64_t gone = 0, failures = 0;
      const bool ok = TextAt(r, 0, &s.category, true) && TextAt(r, 1, &s.url, true) &&
                      TextAt(r, 2, &s.movedTo, false) && IntAt(r, 3, &gone) &&
                      TextAt(r, 4, &s.etag, false) && TextAt(r, 5, &s.lastModified, false) &&
                      IntAt(r, 6, &failures) && IntAt(r, 7, &s.nextDueMs) &&
                      IntAt(r, 8, &s.intervalMs) && TextAt(r, 9, &s.waitReason, false) &&
                      TextAt(r, 10, &s.status, false) && TextAt(r, 11, &s.lastError, false) &&
                      IntAt(r, 12, &s.lastFetch) && IntAt(r, 13, &s.lastSuccess) &&
                      TextAt(r, 14, &s.feedTitle, false) && IntAt(r, 15, &s.ttl) &&
                      failures < 1000000;
      if (!ok) {
        skip("source");
        continue;
      }
      s.gone = gone != 0;
      s.failuresInRow = static_cast<int>(failures);
      s.hasItems = true;
      index[{s.category, s.url}] = state.sources.size();
      state.sources.push_back(std::move(s));
    }
  }
  if (rc == SQLITE_DONE) {
    Statement q(db_,
                "SELECT category, url, title, link, published, first_seen FROM items"
                " ORDER BY category, url, position");
    rc = q.ok() ? SQLITE_OK : sqlite3_errcode(db_);
    while (rc == SQLITE_OK && (rc = sqlite3_step(q.get())) == SQLITE_ROW) {
      rc = SQLITE_OK;
      sqlite3_stmt* r = q.get();
      std::string category, url;
      FeedItem item;
      const bool ok = TextAt(r, 0, &category, true) && TextAt(r, 1, &url, true) &&
                      TextAt(r, 2, &item.title, true) && TextAt(r, 3, &item.link, true) &&
                      IntAt(r, 4, &item.published) && IntAt(r, 5, &item.firstSeen);
      const auto owner = index.find({category, url});
      if (!ok || owner == index.end()) {
        skip("item");
        continue;
      }
      std::vector<FeedItem>& items = state.sources[owner->second].items;
      if (items.size() < kMaxItemsPerFeed) items.push_back(std::move(item));
    }
  }
  if (rc == SQLITE_DONE) {
    Statement q(db_, "SELECT category, body, changed FROM pages");
    rc = q.ok() ? SQLITE_OK : sqlite3_errcode(db_);
    while (rc == SQLITE_OK && (rc = sqlite3_step(q.get())) == SQLITE_ROW) {
      rc = SQLITE_OK;
      sqlite3_stmt* r = q.get();
      StoredPage page;
      const int type = sqlite3_column_type(r, 1);
      if (!TextAt(r, 0, &page.category, true) || (type != SQLITE_BLOB && type != SQLITE_TEXT) ||
          !IntAt(r, 2, &page.changed)) {
        skip("page");
        continue;
      }
      const void* bytes = sqlite3_column_blob(r, 1);
      const int size = sqlite3_column_bytes(r, 1);
      if (bytes != nullptr && size > 0) {
        page.body.assign(static_cast<const char*>(bytes), static_cast<size_t>(size));
      }
      state.pages.push_back(std::move(page));
    }
  }
  if (damaged > kDamagedRowsReported) {
    logger_("state: " + std::to_string(damaged) + " damaged rows skipped in all");
  }
  if (rc != SQLITE_DONE) {
    error = sqlite3_errmsg(db_);
    if (!SetAside(error) || !Open(&error)) {
      logger_("state: cannot open " + path_ + ": " + error +
              "; serving from memory, retrying the writes");
    }
    return {};
  }
  return state;
}

void StateStore::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (writer_.joinable()) return;
  stopping_ = false;
  writer_ = std::thread([this] { Writer(); });
}

void StateStore::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void StateStore::Merge(Pending* older, Pending newer) {
  for (auto& [key, row] : newer.sources) {
    auto found = older->sources.find(key);
    if (found == older->sources.end()) {
      older->sources.emplace(key, std::move(row));
      continue;
    }
    if (row && !row->hasItems && (!found->second || found->second->hasItems)) {
      // Items unchanged since the older change: those (or, after a removal,
      // none). Where neither carried items, the stored ones still stand.
      row->hasItems = true;
      if (found->second) row->items = std::move(found->second->items);
    }
    found->second = std::move(row);
  }
  for (auto& [key, page] : newer.pages) older->pages[key] = std::move(page);
}

void StateStore::Submit(StateChange change) {
  Pending next;
  for (auto& [category, url] : change.removedSources) next.sources[{category, url}].reset();
  for (StoredSource& s : change.sources) {
    const auto key = std::make_pair(s.category, s.url);
    next.sources[key] = std::move(s);
  }
  for (const std::string& category : change.removedPages) next.pages[category].reset();
  for (StoredPage& p : change.pages) {
    const std::string key = p.category;
    next.pages[key] = std::move(p);
  }
  if (next.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Merge(&pending_, std::move(next));
  }
  changed_.notify_all();
}

bool StateStore::WaitWritten(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return pending_.empty() && !writing_; });
}

bool StateStore::Write(const Pending& pending, std::string* error) {
  if (db_ == nullptr && !Open(error)) return false;
  int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  {
    Statement putSource(db_,
                        "INSERT OR REPLACE INTO sources VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9,"
                        " ?10, ?11, ?12, ?13, ?14, ?15, ?16)");
    Statement dropSource(db_, "DELETE FROM sources WHERE category = ?1 AND url = ?2");
    Statement dropItems(db_, "DELETE FROM items WHERE category = ?1 AND url = ?2");
    Statement putItem(db_, "INSERT INTO items VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    Statement putPage(db_, "INSERT OR REPLACE INTO pages VALUES(?1, ?2, ?3)");
    Statement dropPage(db_, "DELETE FROM pages WHERE category = ?1");
    if (rc == SQLITE_OK && !(putSource.ok() && dropSource.ok() && dropItems.ok() && putItem.ok() &&
                             putPage.ok() && dropPage.ok())) {
      rc = sqlite3_errcode(db_);
    }
    for (const auto& [key, row] : pending.sources) {
      if (rc != SQLITE_OK) break;
      if (!row || row->hasItems) {
        dropItems.Text(1, key.first);
        dropItems.Text(2, key.second);
        rc = dropItems.Run();
      }
      if (rc == SQLITE_OK && !row) {
        dropSource.Text(1, key.first);
        dropSource.Text(2, key.second);
        rc = dropSource.Run();
      }
      if (rc != SQLITE_OK || !row) continue;
      const StoredSource& s = *row;
      putSource.Text(1, s.category);
      putSource.Text(2, s.url);
      putSource.Text(3, s.movedTo);
      putSource.Int(4, s.gone ? 1 : 0);
      putSource.Text(5, s.etag);
      putSource.Text(6, s.lastModified);
      putSource.Int(7, s.failuresInRow);
      putSource.Int(8, s.nextDueMs);
      putSource.Int(9, s.intervalMs);
      putSource.Text(10, s.waitReason);
      putSource.Text(11, s.status);
      putSource.Text(12, s.lastError);
      putSource.Int(13, s.lastFetch);
      putSource.Int(14, s.lastSuccess);
      putSource.Text(15, s.feedTitle);
      putSource.Int(16, s.ttl);
      rc = putSource.Run();
      for (size_t i = 0; rc == SQLITE_OK && s.hasItems && i < s.items.size(); ++i) {
        const FeedItem& item = s.items[i];
        putItem.Text(1, s.category);
        putItem.Text(2, s.url);
        putItem.Int(3, static_cast<int64_t>(i));
        putItem.Text(4, item.title);
        putItem.Text(5, item.link);
        putItem.Int(6, item.published);
        putItem.Int(7, item.firstSeen);
        rc = putItem.Run();
      }
    }
    for (const auto& [category, page] : pending.pages) {
      if (rc != SQLITE_OK) break;
      if (!page) {
        dropPage.Text(1, category);
        rc = dropPage.Run();
        continue;
      }
      putPage.Text(1, page->category);
      putPage.Blob(2, page->body);
      putPage.Int(3, page->changed);
      rc = putPage.Run();
    }
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return true;
  *error = sqlite3_errmsg(db_);
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  // Open afresh next time: the directory may have changed under us.
  Close();
  return false;
}

void StateStore::Writer() {
  std::unique_lock<std::mutex> lock(mutex_);
  std::chrono::milliseconds retry = firstRetry_;
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    if (pending_.empty()) return;
    const bool last = stopping_;
    Pending taken;
    std::swap(taken, pending_);
    writing_ = true;
    lock.unlock();
    std::string error;
    const bool written = Write(taken, &error);
    lock.lock();
    writing_ = false;
    if (!written) {
      // What came meanwhile is newer than what failed.
      Merge(&taken, std::move(pending_));
      pending_ = std::move(taken);
      logger_("state: cannot write " + path_ + ": " + error + "; serving from memory, retry in " +
              std::to_string((retry.count() + 999) / 1000) + " s");
    } else {
      retry = firstRetry_;
    }
    changed_.notify_all();
    if (last) return;
    if (!written) {
      changed_.wait_for(lock, retry, [this] { return stopping_; });
      retry = std::min(retry * 2, std::chrono::milliseconds(60 * 1000));
    }
  }
}
