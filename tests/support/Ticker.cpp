#include "tests/support/Ticker.h"

#include <cstring>

namespace testsupport {

bool IsFinalCaption(const std::string& caption) {
  return caption.rfind(kCaptionStart, 0) == 0 &&
         caption.find("(Loading...)") == std::string::npos && !caption.empty() &&
         caption.back() == ' ';
}

Ticker::~Ticker() {
  Stop(child);
  if (!workDir.empty()) RemoveTree(workDir);
}

bool StartTicker(Ticker* ticker, const std::string& arguments, DWORD timeoutMs) {
  ticker->workDir = MakeTempDir("ticker");
  ticker->child = StartProgram(BinPath("Vantrel.exe"), arguments, ticker->workDir);
  if (!ticker->child.Started()) return false;
  ticker->window =
      WaitForWindow(ticker->child.info.dwProcessId, "#32770", IsFinalCaption, timeoutMs);
  return ticker->window != nullptr;
}

std::vector<std::string> TraceLines() {
  std::string text;
  std::vector<std::string> lines;
  if (!ReadFileText("C:\\Vantrel.log", &text)) return lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    if (line.rfind(">>>  ", 0) == 0) line.erase(0, 5);
    lines.push_back(line);
  }
  return lines;
}

void ClearTraceLog() {
  DeleteFileA("C:\\Vantrel.log");
}

}  // namespace testsupport
