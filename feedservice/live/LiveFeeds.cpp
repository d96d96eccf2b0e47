// Background refreshing of the live sources.
#include "feedservice/live/LiveFeeds.h"

#include <cstdio>
#include <ctime>

#include "feedservice/live/LivePage.h"

using Clock = std::chrono::steady_clock;

struct LiveFeeds::Source {
  FeedSource listed;  // category and address, as the sources file gives them
  ParsedFeed feed;    // last good items
  std::string etag;
  std::string lastModified;
  std::string status = "pending";
  std::string error;
  int fetches = 0;
  int failuresInRow = 0;
  int64_t lastFetch = 0;
  int64_t lastSuccess = 0;
  int64_t fetchedOk = 0;
  int64_t fetchedNotModified = 0;
  int64_t fetchedError = 0;
  int64_t bytesFetched = 0;
  Clock::time_point due;
  bool inFlight = false;
  bool removed = false;
};

std::string FormatSourceTime(int64_t t) {
  if (t == 0) return "never";
  const time_t value = static_cast<time_t>(t);
  struct tm parts;
  gmtime_r(&value, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

namespace {

// Tabs and line breaks would split a health line.
std::string OneField(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out.empty() ? "-" : out;
}

}  // namespace

LiveFeeds::LiveFeeds(LiveFeedSettings settings, Logger logger)
    : settings_(settings), logger_(std::move(logger)) {
  if (!logger_) {
    logger_ = [](const std::string& line) {
      std::fprintf(stderr, "feedservice: %s\n", line.c_str());
    };
  }
  InitHttpFetch();
}

LiveFeeds::~LiveFeeds() {
  Stop();
}

void LiveFeeds::SetSources(const std::vector<FeedSource>& sources) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::shared_ptr<Source>> next;
  for (const FeedSource& wanted : sources) {
    std::shared_ptr<Source> kept;
    for (const auto& old : sources_) {
      if (!old->removed && old->listed.category == wanted.category &&
          old->listed.url == wanted.url) {
        kept = old;
        break;
      }
    }
    if (!kept) {
      kept = std::make_shared<Source>();
      kept->listed = wanted;
      kept->due = Clock::now();
    }
    next.push_back(kept);
  }
  for (const auto& old : sources_) {
    bool stays = false;
    for (const auto& s : next) stays = stays || s == old;
    if (!stays) old->removed = true;
  }
  sources_ = std::move(next);
  // The new pages replace the old ones at once: a request in between gets
  // either, never none. A page whose bytes stay keeps its time of change.
  std::map<std::string, LivePageVersion> pages;
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  for (const auto& s : sources_) {
    LivePageVersion& version = pages[s->listed.category];
    if (!version.page) version = {BuildPage(s->listed.category), now};
  }
  {
    std::lock_guard<std::mutex> pagesLock(pagesMutex_);
    for (auto& [category, version] : pages) {
      const auto old = pages_.find(category);
      if (old != pages_.end() && *old->second.page == *version.page) version = old->second;
    }
    pages_.swap(pages);
  }
  wake_.notify_all();
}

void LiveFeeds::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!workers_.empty()) return;
  stopping_ = false;
  abort_ = false;
  const int count = settings_.parallel < 1 ? 1 : settings_.parallel;
  for (int i = 0; i < count; ++i) workers_.emplace_back([this] { Worker(); });
}

void LiveFeeds::Stop() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    abort_ = true;
    workers.swap(workers_);
  }
  wake_.notify_all();
  for (std::thread& t : workers) t.join();
}

std::shared_ptr<const std::string> LiveFeeds::Page(const std::string& category) const {
  return PageVersion(category).page;
}

LivePageVersion LiveFeeds::PageVersion(const std::string& category) const {
  std::lock_guard<std::mutex> lock(pagesMutex_);
  const auto it = pages_.find(category);
  return it == pages_.end() ? LivePageVersion{} : it->second;
}

std::chrono::milliseconds LiveFeeds::RetryDelay(int failures) const {
  const auto cap = std::max(settings_.refresh * 4, settings_.firstRetry);
  auto delay = settings_.firstRetry;
  for (int i = 1; i < failures && delay < cap; ++i) delay *= 2;
  return std::min(delay, cap);
}

std::shared_ptr<const std::string> LiveFeeds::BuildPage(const std::string& category) const {
  std::vector<const ParsedFeed*> feeds;
  for (const auto& s : sources_) {
    if (s->listed.category == category) feeds.push_back(&s->feed);
  }
  return std::make_shared<const std::string>(BuildLivePage(category, feeds, *settings_.codePage));
}

void LiveFeeds::RebuildPage(const std::string& category) {
  auto page = BuildPage(category);
  std::lock_guard<std::mutex> lock(pagesMutex_);
  LivePageVersion& version = pages_[category];
  if (version.page && *version.page == *page) return;
  version = {std::move(page), static_cast<int64_t>(std::time(nullptr))};
}

void LiveFeeds::Worker() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    std::shared_ptr<Source> next;
    for (const auto& s : sources_) {
      if (!s->inFlight && (!next || s->due < next->due)) next = s;
    }
    if (!next) {
      wake_.wait(lock);
      continue;
    }
    if (next->due > Clock::now()) {
      wake_.wait_until(lock, next->due);
      continue;
    }
    next->inFlight = true;
    const std::string url = next->listed.url;
    const std::string etag = next->etag;
    const std::string lastModified = next->lastModified;
    lock.unlock();

    HttpFetchResult result = HttpFetch(url, etag, lastModified, settings_.limits, &abort_);
    ParsedFeed parsed;
    std::string error = result.error;
    bool parsedOk = false;
    if (result.kind == HttpFetchResult::kOk) {
      parsedOk =
          ParseFeedDocument(result.body, result.charset, url, &parsed, &error, *settings_.codePage);
    }
    const int64_t now = static_cast<int64_t>(std::time(nullptr));

    lock.lock();
    next->inFlight = false;
    if (stopping_ && error == "cancelled") break;
    ++next->fetches;
    next->lastFetch = now;
    next->bytesFetched += static_cast<int64_t>(result.body.size());
    bool changed = false;
    if (result.kind == HttpFetchResult::kNotModified) {
      next->status = "not modified";
      ++next->fetchedNotModified;
      next->error.clear();
      next->failuresInRow = 0;
      next->lastSuccess = now;
    } else if (parsedOk) {
      next->status = "ok";
      ++next->fetchedOk;
      next->error.clear();
      next->failuresInRow = 0;
      next->lastSuccess = now;
      next->feed = std::move(parsed);
      next->etag = result.etag;
      next->lastModified = result.lastModified;
      changed = true;
    } else {
      next->status = "error";
      ++next->fetchedError;
      next->error = error;
      ++next->failuresInRow;
    }
    const auto delay =
        next->failuresInRow == 0 ? settings_.refresh : RetryDelay(next->failuresInRow);
    next->due = Clock::now() + delay;
    if (!next->error.empty()) {
      logger_("source " + next->listed.url + " (" + next->listed.category + "): " + next->error +
              "; keeping " + std::to_string(next->feed.items.size()) + " items, retry in " +
              std::to_string(delay.count() / 1000) + " s");
    }
    if (changed && !next->removed) RebuildPage(next->listed.category);
  }
}

std::vector<SourceStatus> LiveFeeds::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SourceStatus> out;
  for (const auto& s : sources_) {
    out.push_back({s->listed.category, s->listed.url, s->status, s->error, s->feed.items.size(),
                   s->fetches, s->failuresInRow, s->lastFetch, s->lastSuccess, s->fetchedOk,
                   s->fetchedNotModified, s->fetchedError, s->bytesFetched});
  }
  return out;
}

std::string LiveFeeds::HealthText() const {
  const std::vector<SourceStatus> status = Status();
  std::string text = "sources " + std::to_string(status.size()) + ", refresh every " +
                     std::to_string(settings_.refresh.count() / 1000) + " s\n";
  text += "category\turl\tstatus\titems\tfetches\tlast_fetch\tlast_success\terror\n";
  for (const SourceStatus& s : status) {
    text += OneField(s.category) + '\t' + OneField(s.url) + '\t' + s.status + '\t' +
            std::to_string(s.items) + '\t' + std::to_string(s.fetches) + '\t' +
            FormatSourceTime(s.lastFetch) + '\t' + FormatSourceTime(s.lastSuccess) + '\t' +
            OneField(s.error) + '\n';
  }
  return text;
}
