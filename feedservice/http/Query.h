// The query of a page request ("c=India+news&o=xml"), decoded.
#pragma once

#include <string>
#include <string_view>

// The two query keys of a page request, percent-decoded.
struct FeedQuery {
  std::string category;  // "c"
  std::string format;    // "o"
  bool hasCategory = false;
  bool hasFormat = false;
};

// Decodes one query value: "%XX" (either case of hex digit) becomes the byte,
// "+" a space, everything else stands. False for "%" not followed by two hex
// digits and for an escape that yields a NUL byte (no category can hold one).
bool DecodeQueryValue(std::string_view text, std::string* out);

// Splits "k=v&k=v" and decodes "c" and "o"; other keys are ignored. False, with
// a short reason in *error, for a malformed escape in c or o or a key given twice.
bool ParseFeedQuery(std::string_view query, FeedQuery* out, std::string* error);
