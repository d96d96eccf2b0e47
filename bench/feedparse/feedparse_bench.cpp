// Reading a 5 MiB feed whose titles are 64 KiB each, three kinds of title side
// by side: plain words (the bound), "&" repeated and "<a" repeated (each "&"
// and "<" makes the headline cleaning look for the end of a reference or tag).
#include <benchmark/benchmark.h>

#include <string>

#include "feedservice/text/FeedParser.h"

namespace {

constexpr size_t kFeedBytes = 5 * 1024 * 1024;
constexpr size_t kTitleBytes = 64 * 1024;

// Titles in CDATA sections, so that the cleaning sees unit repeated.
std::string Feed(const std::string& unit) {
  std::string title;
  while (title.size() < kTitleBytes) title += unit;
  title.resize(kTitleBytes - kTitleBytes % unit.size());
  std::string feed = "<rss><channel>";
  int n = 0;
  while (feed.size() < kFeedBytes) {
    feed += "<item><title><![CDATA[" + title + "]]></title><link>http://e.org/" +
            std::to_string(n++) + "</link></item>";
  }
  return feed + "</channel></rss>";
}

void Parse(benchmark::State& state, const std::string& unit) {
  const std::string feed = Feed(unit);
  for (auto _ : state) {
    ParsedFeed parsed;
    std::string error;
    if (!ParseFeedDocument(feed, "", "http://e.org/feed", &parsed, &error)) {
      state.SkipWithError(error.c_str());
    }
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * feed.size()));
}

void BM_PlainTitles(benchmark::State& state) {
  Parse(state, "word ");
}
void BM_AmpersandTitles(benchmark::State& state) {
  Parse(state, "&");
}
void BM_TagStartTitles(benchmark::State& state) {
  Parse(state, "<a");
}

BENCHMARK(BM_PlainTitles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AmpersandTitles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagStartTitles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
