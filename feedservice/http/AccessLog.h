// The feed service's access log: one line per request, written and flushed
// whole under a lock, so lines from concurrent requests never interleave.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

class AccessLog {
 public:
  // Logs to stderr until Open succeeds.
  AccessLog() = default;
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Opens path for appending. False (and *error set) when it cannot be opened.
  bool Open(const std::string& path, std::string* error);

  // `<METHOD> <path?query> <status> <body bytes> "<User-Agent>"`.
  void Write(std::string_view method, std::string_view target, int status, size_t bodyBytes,
             std::string_view userAgent);

  // The line Write writes, without its line feed. Bytes that could break the
  // line apart (control bytes, and in the agent '"' and '\') are written as \xHH;
  // an empty method or target as "-".
  static std::string FormatLine(std::string_view method, std::string_view target, int status,
                                size_t bodyBytes, std::string_view userAgent);

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};
