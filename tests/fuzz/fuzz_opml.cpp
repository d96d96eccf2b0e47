// libFuzzer target: the sources file. Whatever it holds, what is accepted is a
// list of distinct catalogue categories and http(s) feeds within the limit,
// and a refusal says why.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/ContractStrings.h"
#include "feedservice/FeedPage.h"
#include "feedservice/live/OpmlSources.h"
#include "feedservice/text/Links.h"
#include "tests/fuzz/FeedChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<FeedSource> sources;
  std::vector<std::string> warnings;
  std::string error;
  if (!ParseOpmlSources(text, &sources, &warnings, &error)) {
    Require(!error.empty() && sources.empty());
    return 0;
  }
  Require(!sources.empty() && sources.size() <= kMaxSources);
  std::set<std::string> seen;
  for (const FeedSource& source : sources) {
    Require(CatalogueCodeOf(source.category) != 0);
    Require(IsHttpUrl(source.url));
    Require(seen.insert(source.category + '\n' + source.url).second);
  }
  for (const std::string& warning : warnings) Require(warning.compare(0, 5, "line ") == 0);
  return 0;
}
