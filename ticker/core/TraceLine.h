// Formatting of one diagnostic-log line.
#pragma once

#include <cstdarg>
#include <cstddef>

constexpr size_t kTraceLineSize = 512;
constexpr char kTracePrefix[] = ">>>  ";
constexpr size_t kTraceTextMax = 506;  // formatted text after the prefix

// Zero-fills line (kTraceLineSize bytes), puts the prefix at its start and
// formats the text behind it, cut after kTraceTextMax characters.
void FormatTraceLine(char* line, const char* format, va_list args);
