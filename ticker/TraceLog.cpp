#include "ticker/TraceLog.h"

#include <windows.h>

#include <cstdio>

#include "ticker/core/TraceLine.h"

const int logEnabled = 1;
const int logToDebuggerOnly = 0;

namespace {
int g_burstDepth = 0;
FILE* g_heldLog = nullptr;  // open during a burst, once a line was written
}  // namespace

TraceLogBurst::TraceLogBurst() {
  ++g_burstDepth;
}

TraceLogBurst::~TraceLogBurst() {
  if (--g_burstDepth == 0) TraceLogRelease();
}

void TraceLogRelease() {
  if (g_heldLog == nullptr) return;
  std::fclose(g_heldLog);
  g_heldLog = nullptr;
}

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
  // Text mode: each line feed is stored as CR LF. Opened and closed per line
  // outside a burst, so other programs can read the file between lines.
  FILE* file = g_heldLog != nullptr ? g_heldLog : std::fopen(path, "a");
  if (file == nullptr) return;
  std::fputs(line, file);
  if (g_burstDepth == 0) {
    std::fclose(file);
  } else {
    std::fflush(file);  // in the file now, should the program end mid-burst
    g_heldLog = file;
  }
}
