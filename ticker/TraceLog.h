// The ticker's diagnostic log: each line to the debugger output and appended
// to "c:\Vantrel.log".
#pragma once

// Set when the program is built. logEnabled 0: nothing is traced;
// logToDebuggerOnly non-zero: the file is left alone.
extern const int logEnabled;
extern const int logToDebuggerOnly;

// printf-style; callers end the format with "\n". The text is cut after 506
// characters.
void TraceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While one lives, the log file stays open from one line to the next (each
// line still reaches the file as it is traced), for a run of lines with
// nothing between them that waits for the user; the file is closed when the
// last one ends, so that other programs can rename or delete it again.
class TraceLogBurst {
 public:
  TraceLogBurst();
  ~TraceLogBurst();
  TraceLogBurst(const TraceLogBurst&) = delete;
  TraceLogBurst& operator=(const TraceLogBurst&) = delete;
};

// Closes the log if a burst holds it open; the next line opens it again. For
// the moments within a burst that wait for the user, such as a message box.
void TraceLogRelease();
