// The "rename" section of wininit.ini.
#include "setup/core/RenameSection.h"

#include <cstdio>
#include <cstring>

bool AppendRenameLine(char* section, size_t capacity, size_t used, const char* shortPath) {
  char line[kRenameLineSize];
  const int length = std::snprintf(line, sizeof line, "NUL=%s", shortPath);
  if (length < 0 || static_cast<size_t>(length) >= sizeof line) return false;

  // A section read that did not fit reports capacity - 2 characters.
  if (capacity < 2 || used >= capacity - 2) return false;
  // The line, its NUL, and the NUL that closes the list.
  if (static_cast<size_t>(length) + 2 > capacity - used) return false;

  std::memcpy(section + used, line, static_cast<size_t>(length) + 1);
  section[used + static_cast<size_t>(length) + 1] = '\0';
  return true;
}
