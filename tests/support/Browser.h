// The recorder program (tests/tools/recorder.cpp) registered as the browser
// for http addresses, so that a test can see which addresses were opened.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// For its lifetime, HKCR\http\shell\open\command starts recorder.exe with the
// address, and VANTREL_RECORDER_LOG names a fresh log for programs started
// afterwards (they inherit it). The previous registration and environment
// come back on destruction.
class BrowserRecorder {
 public:
  BrowserRecorder();
  ~BrowserRecorder();
  BrowserRecorder(const BrowserRecorder&) = delete;
  BrowserRecorder& operator=(const BrowserRecorder&) = delete;

  bool Registered() const { return registered_; }
  // The addresses the browser was started with so far, in order.
  std::vector<std::string> Opened() const;
  // Waits (bounded) until at least count addresses were opened.
  std::vector<std::string> WaitForOpened(size_t count, DWORD timeoutMs = 15000) const;

 private:
  bool registered_ = false;
  bool hadCommand_ = false;
  std::string savedCommand_;
  std::vector<std::string> createdKeys_;  // outermost first
  bool hadLogVariable_ = false;
  std::string savedLogVariable_;
  std::string dir_, log_;
};

}  // namespace testsupport
