// Bounded text handling for paths in fixed buffers.
#include "setup/core/PathText.h"

#include <cstring>

bool CopyPath(char* out, size_t size, const char* text) {
  if (size == 0) return false;
  const size_t length = std::strlen(text);
  if (length >= size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, text, length + 1);
  return true;
}

bool AppendPath(char* out, size_t size, const char* suffix) {
  const size_t used = strnlen(out, size);
  const size_t length = std::strlen(suffix);
  if (used >= size || length >= size - used) return false;
  std::memcpy(out + used, suffix, length + 1);
  return true;
}

bool JoinPath(char* out, size_t size, const char* directory, const char* name) {
  if (!CopyPath(out, size, directory)) return false;
  if (AppendPath(out, size, "\\") && AppendPath(out, size, name)) return true;
  out[0] = '\0';
  return false;
}

void CutAfterLastBackslash(char* path) {
  char* last = std::strrchr(path, '\\');
  if (last != nullptr) last[1] = '\0';
}

void ProgramTitle(const char* modulePath, char* out, size_t size) {
  if (size == 0) return;
  const char* name = std::strrchr(modulePath, '\\');
  name = name != nullptr ? name + 1 : modulePath;
  const char* dot = std::strrchr(name, '.');
  const size_t length = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
  const size_t kept = length < size ? length : size - 1;
  std::memcpy(out, name, kept);
  out[kept] = '\0';
}
