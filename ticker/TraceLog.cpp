#include "ticker/TraceLog.h"

#include <windows.h>

#include <cstdio>

#include "ticker/core/TraceLine.h"

const int logEnabled = 1;
const int logToDebuggerOnly = 0;

void TraceLog(const char* format, ...) {
  if (logEnabled == 0) return;

  char line[kTraceLineSize];
  va_list args;
  va_start(args, format);
  FormatTraceLine(line, format, args);
  va_end(args);

  OutputDebugStringA(line);
  if (logToDebuggerOnly != 0) return;

  char path[MAX_PATH];
  lstrcpynA(path, "c:\\", sizeof(path));
  lstrcatA(path, "Vantrel.log");
  // Text mode: each line feed is stored as CR LF. Opened and closed per line,
  // so other programs can read the file between lines.
  FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fputs(line, file);
  std::fclose(file);
}
