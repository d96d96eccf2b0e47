// Background refreshing of the live sources.
#include "feedservice/live/LiveFeeds.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <unordered_map>

#include "feedservice/live/LivePage.h"
#include "feedservice/live/StateStore.h"
#include "feedservice/text/Headline.h"
#include "feedservice/text/Links.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct LiveFeeds::Source {
  FeedSource listed;  // category and address, as the sources file gives them
  ParsedFeed feed;    // last good items
  std::string etag;
  std::string lastModified;
  std::string status = "pending";
  std::string error;
  std::string movedTo;  // a permanent new address, asked instead of the listed one
  std::string host;     // of the address asked
  bool gone = false;
  int fetches = 0;
  int failuresInRow = 0;
  int64_t lastFetch = 0;
  int64_t lastSuccess = 0;
  int64_t fetchedOk = 0;
  int64_t fetchedNotModified = 0;
  int64_t fetchedError = 0;
  int64_t bytesFetched = 0;
  Clock::time_point due;
  milliseconds interval{0};  // before the spread; 0: not fetched yet
  std::string waitReason;
  bool inFlight = false;
  bool removed = false;
};

namespace {

constexpr const char* kFetchDuration = "feedservice_source_fetch_duration_seconds";

int64_t WallMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Printable ASCII and blanks, as long as a header we would have kept.
bool IsHeaderValue(const std::string& text) {
  if (text.size() > kMaxHeaderLine) return false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  }
  return true;
}

bool KnownStatus(const std::string& status) {
  return status == "pending" || status == "ok" || status == "not modified" || status == "error" ||
         status == "gone";
}

}  // namespace

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
    : settings_(std::move(settings)), logger_(std::move(logger)) {
  if (!logger_) {
    logger_ = [](const std::string& line) {
      std::fprintf(stderr, "feedservice: %s\n", line.c_str());
    };
  }
  InitHttpFetch();
  std::random_device seed;
  randomState_ = (static_cast<uint64_t>(seed()) << 32) ^ seed() ^ 0x9E3779B97F4A7C15ull;
  fetchMetrics_.DeclareHistogram(kFetchDuration,
                                 "Time one fetch of a live source took, answer or failure.",
                                 {0.01, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30});
  if (!settings_.stateDir.empty()) {
    store_ = std::make_unique<StateStore>(settings_.stateDir, logger_);
    restored_ = std::make_unique<StoredState>(store_->Load());
    store_->Start();
  }
}

LiveFeeds::~LiveFeeds() {
  Stop();
}

double LiveFeeds::Random() {
  // xorshift64*: spreading due times needs no more than this.
  randomState_ ^= randomState_ >> 12;
  randomState_ ^= randomState_ << 25;
  randomState_ ^= randomState_ >> 27;
  return static_cast<double>((randomState_ * 0x2545F4914F6CDD1Dull) >> 11) / 9007199254740992.0;
}

ScheduleSettings LiveFeeds::Schedule() const {
  ScheduleSettings schedule;
  schedule.refresh = settings_.refresh;
  schedule.firstRetry = settings_.firstRetry;
  schedule.maxInterval = settings_.maxInterval;
  schedule.jitter = settings_.jitter;
  return schedule;
}

std::string LiveFeeds::FetchUrl(const Source& source) const {
  return source.movedTo.empty() ? source.listed.url : source.movedTo;
}

void LiveFeeds::Restore(Source* source, StoredSource& stored, double random) const {
  const CodePage& codePage = *settings_.codePage;
  // Validators go back out as request headers: only what a header could hold.
  if (IsHeaderValue(stored.etag) && IsHeaderValue(stored.lastModified)) {
    source->etag = stored.etag;
    source->lastModified = stored.lastModified;
  }
  source->failuresInRow = stored.failuresInRow;
  source->gone = stored.gone;
  source->status = KnownStatus(stored.status) ? stored.status : "pending";
  source->error = stored.lastError;
  source->lastFetch = stored.lastFetch;
  source->lastSuccess = stored.lastSuccess;
  for (const char* reason : {"Retry-After", "failures", "max-age", "ttl", "gone"}) {
    if (stored.waitReason == reason) source->waitReason = reason;
  }
  // Only an address that reads as one a feed could have sent.
  if (!stored.movedTo.empty() && CleanLink(stored.movedTo, "") == stored.movedTo) {
    source->movedTo = stored.movedTo;
  }
  // What comes from the file is data from the network: it is cleaned again
  // exactly as a fresh feed is, and an item that does not survive is dropped.
  source->feed.title = CleanHeadline(stored.feedTitle, TitleMarkup::kText, codePage);
  source->feed.ttl = std::min<int64_t>(stored.ttl, 365 * 24 * 3600);
  size_t dropped = 0;
  for (FeedItem& item : stored.items) {
    FeedItem clean;
    clean.title = CleanHeadline(item.title, TitleMarkup::kText, codePage);
    clean.link = CleanLink(item.link, "");
    clean.published = item.published;
    clean.firstSeen = item.firstSeen;
    if (clean.title.empty() || clean.link.empty()) {
      ++dropped;
      continue;
    }
    source->feed.items.push_back(std::move(clean));
  }
  if (dropped != 0) {
    // The validators belong to the whole stored list: ask for the feed anew.
    source->etag.clear();
    source->lastModified.clear();
    logger_("state: skipping " + std::to_string(dropped) + " stored items of " + stored.url + " (" +
            stored.category + ") that do not read as headlines");
  }
  const milliseconds longest = std::max(settings_.maxInterval, settings_.refresh);
  source->interval = std::clamp(milliseconds(stored.intervalMs), milliseconds(0), longest);
  const int64_t waitMs = stored.nextDueMs - WallMs();
  if (stored.nextDueMs != 0 && waitMs > 0) {
    source->due = Clock::now() + std::min(milliseconds(waitMs), longest + longest / 5);
  } else {
    // Overdue while the service was down: spread over a tenth of the interval
    // so that a restart does not ask everyone at once.
    const milliseconds interval =
        source->interval.count() > 0 ? source->interval : settings_.refresh;
    source->due =
        Clock::now() +
        milliseconds(static_cast<int64_t>(static_cast<double>(interval.count()) *
                                          std::clamp(settings_.jitter, 0.0, 0.5) * random));
  }
}

StoredSource LiveFeeds::Snapshot(const Source& source, bool withItems) const {
  StoredSource out;
  out.category = source.listed.category;
  out.url = source.listed.url;
  out.movedTo = source.movedTo;
  out.gone = source.gone;
  out.etag = source.etag;
  out.lastModified = source.lastModified;
  out.failuresInRow = source.failuresInRow;
  out.nextDueMs =
      WallMs() + std::chrono::duration_cast<milliseconds>(source.due - Clock::now()).count();
  out.intervalMs = source.interval.count();
  out.waitReason = source.waitReason;
  out.status = source.status;
  out.lastError = source.error;
  out.lastFetch = source.lastFetch;
  out.lastSuccess = source.lastSuccess;
  out.feedTitle = settings_.codePage->ToUtf8(source.feed.title);
  out.ttl = source.feed.ttl;
  out.hasItems = withItems;
  if (withItems) {
    for (const FeedItem& item : source.feed.items) {
      FeedItem kept = item;
      kept.title = settings_.codePage->ToUtf8(item.title);
      out.items.push_back(std::move(kept));
    }
  }
  return out;
}

void LiveFeeds::SetSources(const std::vector<FeedSource>& sources) {
  std::lock_guard<std::mutex> lock(mutex_);
  StateChange change;
  std::map<std::pair<std::string, std::string>, StoredSource*> stored;
  std::map<std::string, const StoredPage*> storedPages;
  if (restored_) {
    for (StoredSource& s : restored_->sources) stored[{s.category, s.url}] = &s;
    for (const StoredPage& p : restored_->pages) storedPages[p.category] = &p;
  }
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
    bool duplicate = false;
    for (const auto& s : next) {
      duplicate =
          duplicate || (s->listed.category == wanted.category && s->listed.url == wanted.url);
    }
    if (duplicate) continue;
    if (!kept) {
      kept = std::make_shared<Source>();
      kept->listed = wanted;
      const auto found = stored.find({wanted.category, wanted.url});
      if (found != stored.end()) {
        Restore(kept.get(), *found->second, Random());
        stored.erase(found);
      } else {
        kept->due = Clock::now() + FirstFetchDelay(Schedule(), Random());
      }
      kept->host = HostOf(FetchUrl(*kept));
    }
    next.push_back(kept);
  }
  for (const auto& old : sources_) {
    bool stays = false;
    for (const auto& s : next) stays = stays || s == old;
    if (!stays) {
      old->removed = true;
      change.removedSources.emplace_back(old->listed.category, old->listed.url);
    }
  }
  // Sources kept in the state that the sources file no longer names leave it.
  for (const auto& [key, row] : stored) change.removedSources.push_back(key);
  sources_ = std::move(next);
  // The new pages replace the old ones at once: a request in between gets
  // either, never none. A page whose bytes stay keeps its time of change.
  std::map<std::string, LivePageVersion> pages;
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  for (const auto& s : sources_) {
    LivePageVersion& version = pages[s->listed.category];
    if (!version.page) version = {BuildPage(s->listed.category), now, false};
    version.filled = version.filled || !s->feed.items.empty();
  }
  {
    std::lock_guard<std::mutex> pagesLock(pagesMutex_);
    for (auto& [category, version] : pages) {
      const auto old = pages_.find(category);
      const auto kept = storedPages.find(category);
      // Only a page whose bytes are new to the state is written.
      bool stored = false;
      if (old != pages_.end() && *old->second.page == *version.page) {
        version.changed = old->second.changed;
        version.filled = version.filled || old->second.filled;
        stored = true;
      } else if (kept != storedPages.end()) {
        // A page was given before the restart: the category has had items.
        version.filled = true;
        if (kept->second->body == *version.page) {
          version.changed = kept->second->changed;
          stored = true;
        }
      }
      if (version.filled && !stored)
        change.pages.push_back({category, *version.page, version.changed});
    }
    for (const auto& [category, version] : pages_) {
      if (pages.count(category) == 0) change.removedPages.push_back(category);
    }
    for (const auto& [category, page] : storedPages) {
      if (pages.count(category) == 0) change.removedPages.push_back(category);
    }
    pages_.swap(pages);
  }
  restored_.reset();
  if (store_) store_->Submit(std::move(change));
  wake_.notify_all();
}

void LiveFeeds::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!workers_.empty()) return;
  stopping_ = false;
  abort_ = false;
  if (store_) store_->Start();
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
  // What the fetchers learnt is written before the process ends.
  if (store_) store_->Stop();
}

bool LiveFeeds::WaitStateWritten(milliseconds limit) const {
  return !store_ || store_->WaitWritten(limit);
}

std::shared_ptr<const std::string> LiveFeeds::Page(const std::string& category) const {
  return PageVersion(category).page;
}

LivePageVersion LiveFeeds::PageVersion(const std::string& category) const {
  std::lock_guard<std::mutex> lock(pagesMutex_);
  const auto it = pages_.find(category);
  return it == pages_.end() ? LivePageVersion{} : it->second;
}

int LiveFeeds::RetryAfterSeconds() const {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::min(settings_.firstRetry, settings_.refresh));
  return static_cast<int>(std::max<int64_t>(1, seconds.count()));
}

std::shared_ptr<const std::string> LiveFeeds::BuildPage(const std::string& category) const {
  std::vector<const ParsedFeed*> feeds;
  for (const auto& s : sources_) {
    if (s->listed.category == category) feeds.push_back(&s->feed);
  }
  return std::make_shared<const std::string>(BuildLivePage(category, feeds, *settings_.codePage));
}

bool LiveFeeds::RebuildPage(const std::string& category, LivePageVersion* changed) {
  auto page = BuildPage(category);
  bool filled = false;
  for (const auto& s : sources_) {
    filled = filled || (s->listed.category == category && !s->feed.items.empty());
  }
  std::lock_guard<std::mutex> lock(pagesMutex_);
  LivePageVersion& version = pages_[category];
  version.filled = version.filled || filled;
  if (version.page && *version.page == *page) return false;
  version.page = std::move(page);
  version.changed = static_cast<int64_t>(std::time(nullptr));
  *changed = version;
  return true;
}

void LiveFeeds::Worker() {
  const FeedFetchFunction fetch = settings_.fetch ? settings_.fetch : FeedFetchFunction(&HttpFetch);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    // The source due longest ago whose host has a fetch to spare.
    const Clock::time_point steadyNow = Clock::now();
    std::shared_ptr<Source> next;
    Clock::time_point wakeAt = Clock::time_point::max();
    for (const auto& s : sources_) {
      if (s->inFlight) continue;
      const auto busy = hostsInFlight_.find(s->host);
      if (busy != hostsInFlight_.end() && busy->second >= std::max(1, settings_.perHost)) continue;
      if (s->due > steadyNow) {
        wakeAt = std::min(wakeAt, s->due);
      } else if (!next || s->due < next->due) {
        next = s;
      }
    }
    if (!next) {
      if (wakeAt == Clock::time_point::max()) {
        wake_.wait(lock);
      } else {
        wake_.wait_until(lock, wakeAt);
      }
      continue;
    }
    next->inFlight = true;
    const std::string host = next->host;
    ++hostsInFlight_[host];
    const std::string url = FetchUrl(*next);
    const std::string etag = next->etag;
    const std::string lastModified = next->lastModified;
    lock.unlock();

    const Clock::time_point began = Clock::now();
    HttpFetchResult result = fetch(url, etag, lastModified, settings_.limits, &abort_);
    fetchMetrics_.Observe(kFetchDuration, {},
                          std::chrono::duration<double>(Clock::now() - began).count());
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
    const auto busy = hostsInFlight_.find(host);
    if (busy != hostsInFlight_.end() && --busy->second <= 0) hostsInFlight_.erase(busy);
    // A host slot is free again: a waiting fetcher may take it.
    wake_.notify_all();
    if (stopping_ && error == "cancelled") break;
    ++next->fetches;
    next->lastFetch = now;
    next->bytesFetched += static_cast<int64_t>(result.body.size());
    // A permanent move: asked at the new address from now on (the sources
    // file is the operator's to change; the status pages show the address).
    // Only where the new address answered with the feed: a retired feed moved
    // to a home page keeps its listed address.
    if ((parsedOk || result.kind == HttpFetchResult::kNotModified) && !result.movedTo.empty() &&
        result.movedTo != url && CleanLink(result.movedTo, "") == result.movedTo) {
      next->movedTo = result.movedTo == next->listed.url ? std::string() : result.movedTo;
      next->host = HostOf(FetchUrl(*next));
      logger_("source " + next->listed.url + " (" + next->listed.category +
              "): moved permanently to " + result.movedTo + "; asking there from now on");
    }
    bool itemsChanged = false;
    if (result.kind == HttpFetchResult::kNotModified) {
      next->status = "not modified";
      ++next->fetchedNotModified;
      next->error.clear();
      next->failuresInRow = 0;
      next->lastSuccess = now;
      next->gone = false;
    } else if (parsedOk) {
      next->status = "ok";
      ++next->fetchedOk;
      next->error.clear();
      next->failuresInRow = 0;
      next->lastSuccess = now;
      next->gone = false;
      // An item seen before keeps the time it was first seen; a new one is
      // first seen now.
      std::unordered_map<std::string, int64_t> seen;
      for (const FeedItem& item : next->feed.items) seen.emplace(item.link, item.firstSeen);
      for (FeedItem& item : parsed.items) {
        const auto before = seen.find(item.link);
        item.firstSeen = before != seen.end() && before->second != 0 ? before->second : now;
      }
      // A feed answered in full but unchanged (no validators) rebuilds no page
      // and rewrites no stored items; its title names it on the page.
      itemsChanged = parsed.title != next->feed.title ||
                     !std::equal(parsed.items.begin(), parsed.items.end(), next->feed.items.begin(),
                                 next->feed.items.end(), [](const FeedItem& a, const FeedItem& b) {
                                   return a.title == b.title && a.link == b.link &&
                                          a.published == b.published && a.firstSeen == b.firstSeen;
                                 });
      next->feed = std::move(parsed);
      next->etag = result.etag;
      next->lastModified = result.lastModified;
    } else if (result.gone) {
      next->status = "gone";
      ++next->fetchedError;
      next->error = error.empty() ? "HTTP status 410" : error;
      next->failuresInRow = 0;
      next->gone = true;
      next->etag.clear();
      next->lastModified.clear();
      // Its items leave the page.
      itemsChanged = !next->feed.items.empty();
      next->feed.items.clear();
    } else {
      next->status = "error";
      ++next->fetchedError;
      next->error = error;
      ++next->failuresInRow;
    }
    FetchAnswer answer;
    answer.success = next->status == "ok" || next->status == "not modified";
    answer.gone = next->gone;
    answer.retryAfter = result.retryAfter;
    answer.freshUntil = result.freshUntil;
    answer.ttl = next->feed.ttl;
    answer.failuresInRow = next->failuresInRow;
    const NextFetch plan = PlanNextFetch(Schedule(), answer, now, Random());
    next->due = Clock::now() + plan.delay;
    next->interval = plan.interval;
    next->waitReason = plan.reason;
    const std::string wait = std::to_string((plan.delay.count() + 500) / 1000) + " s";
    if (next->gone) {
      logger_("source " + next->listed.url + " (" + next->listed.category + "): " + next->error +
              "; its items leave the page, asked again in " + wait);
    } else if (!next->error.empty()) {
      logger_("source " + next->listed.url + " (" + next->listed.category + "): " + next->error +
              "; keeping " + std::to_string(next->feed.items.size()) + " items, retry in " + wait);
    }
    if (next->removed) continue;
    LivePageVersion page;
    const bool pageChanged = itemsChanged && RebuildPage(next->listed.category, &page);
    if (store_) {
      // The whole fetch result in one change: the source, its items if they
      // changed, and its category's page if that did.
      StateChange change;
      change.sources.push_back(Snapshot(*next, itemsChanged));
      if (pageChanged && page.filled) {
        change.pages.push_back({next->listed.category, *page.page, page.changed});
      }
      store_->Submit(std::move(change));
    }
  }
}

std::vector<SourceStatus> LiveFeeds::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SourceStatus> out;
  const Clock::time_point steadyNow = Clock::now();
  const int64_t wallNow = WallMs();
  for (const auto& s : sources_) {
    SourceStatus status;
    status.category = s->listed.category;
    status.url = s->listed.url;
    status.status = s->status;
    status.error = s->error;
    status.items = s->feed.items.size();
    status.fetches = s->fetches;
    status.failuresInRow = s->failuresInRow;
    status.lastFetch = s->lastFetch;
    status.lastSuccess = s->lastSuccess;
    status.fetchedOk = s->fetchedOk;
    status.fetchedNotModified = s->fetchedNotModified;
    status.fetchedError = s->fetchedError;
    status.bytesFetched = s->bytesFetched;
    status.movedTo = s->movedTo;
    status.nextDue =
        (wallNow + std::chrono::duration_cast<milliseconds>(s->due - steadyNow).count()) / 1000;
    const milliseconds interval = s->interval.count() > 0 ? s->interval : settings_.refresh;
    status.interval = std::max<int64_t>(1, interval.count() / 1000);
    status.waitReason = s->waitReason;
    for (const FeedItem& item : s->feed.items) {
      status.newestItem = std::max(status.newestItem, ItemTime(item));
    }
    out.push_back(std::move(status));
  }
  return out;
}

std::string LiveFeeds::HealthText() const {
  const std::vector<SourceStatus> status = Status();
  std::string text = "sources " + std::to_string(status.size()) + ", refresh every " +
                     std::to_string(settings_.refresh.count() / 1000) + " s\n";
  text +=
      "category\turl\tstatus\titems\tfetches\tlast_fetch\tlast_success\terror\tnext_due\twaits\t"
      "moved_to\n";
  for (const SourceStatus& s : status) {
    text += OneField(s.category) + '\t' + OneField(s.url) + '\t' + s.status + '\t' +
            std::to_string(s.items) + '\t' + std::to_string(s.fetches) + '\t' +
            FormatSourceTime(s.lastFetch) + '\t' + FormatSourceTime(s.lastSuccess) + '\t' +
            OneField(s.error) + '\t' + FormatSourceTime(s.nextDue) + '\t' + OneField(s.waitReason) +
            '\t' + OneField(s.movedTo) + '\n';
  }
  return text;
}
