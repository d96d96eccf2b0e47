// Article addresses from feeds made into addresses the ticker can open: the
// ticker hands them to the shell, so only http and https with a host survive,
// and nothing in them may be read as markup. No I/O here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest article address kept; items with longer ones are dropped.
constexpr size_t kMaxLinkBytes = 2048;

// An article address from a feed, resolved against the feed's own address when
// relative ("/path", "//host/path", "path", "?query", "#fragment"). Only http and https survive;
// bytes outside printable ASCII and characters not allowed in an address are percent-encoded. Empty
// when the address is unusable.
std::string CleanLink(std::string_view link, std::string_view feedUrl);

// True for an absolute http:// or https:// address with a host.
bool IsHttpUrl(std::string_view url);
