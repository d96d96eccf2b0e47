#include "ticker/core/TraceLine.h"

#include <cstdio>
#include <cstring>

void FormatTraceLine(char* line, const char* format, va_list args) {
  const size_t prefixLength = sizeof(kTracePrefix) - 1;
  std::memset(line, 0, kTraceLineSize);
  std::memcpy(line, kTracePrefix, prefixLength);
  std::vsnprintf(line + prefixLength, kTraceTextMax + 1, format, args);
}
