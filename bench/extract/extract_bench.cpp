// Bytes per second of the headline extraction over a whole feed buffer, beside
// memchr over the same buffer (the physical bound of one forward pass).
//
// Both feed shapes make the extraction read the buffer to its end: either the
// twenty items are spread over it with other elements between them, or a few
// items stand at the start and the search for a further "<url>" runs through
// the rest.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "common/FeedExtract.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

std::string Item(int n) {
  return "<item><url>http://news.test/story/" + std::to_string(n) +
         ".html</url><headline_text>Headline number " + std::to_string(n) +
         " &amp; more</headline_text></item>\n";
}

std::string Filler(size_t size) {
  static const std::string element =
      "<description>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do "
      "eiusmod tempor incididunt ut labore et dolore magna aliqua.</description>\n";
  std::string filler;
  filler.reserve(size + element.size());
  while (filler.size() < size) filler += element;
  filler.resize(size);
  return filler;
}

// items items spread evenly over size bytes, filler between them.
std::string Feed(size_t size, int items, bool spread) {
  std::string feed = "<?xml version=\"1.0\"?>\n<headlines>\n";
  std::string itemText;
  for (int n = 1; n <= items; ++n) itemText += Item(n);
  const size_t fillerTotal = size - feed.size() - itemText.size() - 13;
  if (spread) {
    for (int n = 1; n <= items; ++n) feed += Filler(fillerTotal / items) + Item(n);
  } else {
    feed += itemText + Filler(fillerTotal);
  }
  feed += "</headlines>\n";
  feed.resize(size, ' ');
  return feed;
}

void CheckPairs(benchmark::State& state, int count, int expected) {
  if (count != expected) state.SkipWithError("unexpected number of pairs");
}

void BM_ExtractSpread(benchmark::State& state) {
  const std::string feed = Feed(static_cast<size_t>(state.range(0)), kHeadlineSlots, true);
  for (auto _ : state) {
    HeadlineList list;
    const int count = ExtractHeadlines(feed.c_str(), &list);
    benchmark::DoNotOptimize(count);
    CheckPairs(state, count, kHeadlineSlots);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_ExtractFewItems(benchmark::State& state) {
  const std::string feed = Feed(static_cast<size_t>(state.range(0)), 3, false);
  for (auto _ : state) {
    HeadlineList list;
    const int count = ExtractHeadlines(feed.c_str(), &list);
    benchmark::DoNotOptimize(count);
    CheckPairs(state, count, 3);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_MemchrBound(benchmark::State& state) {
  const std::string feed = Feed(static_cast<size_t>(state.range(0)), kHeadlineSlots, true);
  for (auto _ : state) {
    // A byte the feed does not hold: memchr reads every byte once.
    const void* found = std::memchr(feed.data(), '\x01', feed.size());
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_ExtractSpread)->Arg(1 * kMiB)->Arg(16 * kMiB);
BENCHMARK(BM_ExtractFewItems)->Arg(1 * kMiB)->Arg(16 * kMiB);
BENCHMARK(BM_MemchrBound)->Arg(1 * kMiB)->Arg(16 * kMiB);

BENCHMARK_MAIN();
