// Driving a running Vantrel.exe from a test.
#pragma once

#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

constexpr char kCaptionStart[] = "Vurizaru ZIDU - ";

// A caption in its final form: "Vurizaru ZIDU - <name> at :h:m:s ".
bool IsFinalCaption(const std::string& caption);

struct Ticker {
  Child child;
  HWND window = nullptr;
  std::string workDir;
  ~Ticker();  // ends the process if it still runs, removes workDir
};

// Starts Vantrel.exe in a new working directory and waits until its window
// shows the final caption, at most timeoutMs. False (with what is known) on
// failure.
bool StartTicker(Ticker* ticker, const std::string& arguments = "", DWORD timeoutMs = 30000);

// Lines of C:\Vantrel.log without the prefix ">>>  " and the CR LF.
std::vector<std::string> TraceLines();
void ClearTraceLog();

}  // namespace testsupport
