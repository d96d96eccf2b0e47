// The sources file: an OPML outline list that maps catalogue categories to the
// RSS and Atom feeds whose headlines fill their pages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct FeedSource {
  std::string category;  // the catalogue name, as the ticker asks for it
  std::string url;       // http:// or https:// feed address
};

// Most sources read from one file; further ones are reported and skipped.
constexpr size_t kMaxSources = 2000;
// Largest sources file read.
constexpr size_t kMaxSourcesFileBytes = 4 * 1024 * 1024;

// The catalogue name an outline title stands for, or empty. Titles match
// exactly, and a bare "&" also matches the catalogue's "&amp;" (in OPML the
// catalogue's "AT&amp;T news" is naturally written title="AT&amp;T news",
// which reads as "AT&T news").
std::string CatalogueNameForTitle(std::string_view title);

// Reads OPML text: every outline with an xmlUrl attribute is a feed of the
// nearest enclosing outline without one, whose text (or title) attribute names
// the category. Feeds of names not in the catalogue, feeds outside any
// category outline and addresses other than http(s) are skipped, each with a
// line in *warnings. Duplicates are merged. False with *error when the text is
// not well-formed OPML or yields no feed at all.
bool ParseOpmlSources(std::string_view text, std::vector<FeedSource>* out,
                      std::vector<std::string>* warnings, std::string* error);

// ParseOpmlSources on a file's contents; errors and warnings name the file.
bool LoadOpmlSources(const std::string& path, std::vector<FeedSource>* out,
                     std::vector<std::string>* warnings, std::string* error);
