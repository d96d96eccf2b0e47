// Access log lines of the feed service.
#include "feedservice/http/AccessLog.h"

#include <cerrno>
#include <cstring>

#include "feedservice/text/Ascii.h"

namespace {

void AppendEscaped(std::string* out, std::string_view text, bool quoted) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || (quoted && (c == '"' || c == '\\')) || (!quoted && c == ' ')) {
      *out += "\\x";
      *out += kHexDigits[c >> 4];
      *out += kHexDigits[c & 0x0F];
    } else {
      *out += static_cast<char>(c);
    }
  }
}

}  // namespace

AccessLog::~AccessLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool AccessLog::Open(const std::string& path, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) {
    *error = "cannot open access log " + path + ": " + std::strerror(errno);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = file;
  return true;
}

std::string AccessLog::FormatLine(std::string_view method, std::string_view target, int status,
                                  size_t bodyBytes, std::string_view userAgent) {
  std::string line;
  line.reserve(method.size() + target.size() + userAgent.size() + 32);
  if (method.empty()) {
    line += '-';
  } else {
    AppendEscaped(&line, method, false);
  }
  line += ' ';
  if (target.empty()) {
    line += '-';
  } else {
    AppendEscaped(&line, target, false);
  }
  line += ' ';
  line += std::to_string(status);
  line += ' ';
  line += std::to_string(bodyBytes);
  line += " \"";
  AppendEscaped(&line, userAgent, true);
  line += '"';
  return line;
}

void AccessLog::Write(std::string_view method, std::string_view target, int status,
                      size_t bodyBytes, std::string_view userAgent) {
  std::string line = FormatLine(method, target, status, bodyBytes, userAgent);
  line += '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  FILE* out = file_ != nullptr ? file_ : stderr;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}
