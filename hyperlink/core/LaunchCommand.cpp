#include "hyperlink/core/LaunchCommand.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool IsLead(LeadBytePredicate isLeadByte, const char* p) {
  return isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0';
}

bool IsArgumentBreaker(unsigned char byte) {
  return byte < 0x20 || byte == ' ' || byte == '"' || byte == 0x7F;
}

struct ErrorText {
  int code;
  const char* text;
};

// What ShellExecuteA and WinExec report, by result code.
constexpr ErrorText kErrorTexts[] = {
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30,
     "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
     "processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
};

}  // namespace

bool IsWebAddress(const char* address) {
  if (address == nullptr) return false;
  static const char kHttp[] = "http";
  size_t i = 0;
  for (; i < 4; ++i) {
    char c = address[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kHttp[i]) return false;
  }
  if (address[i] == 's' || address[i] == 'S') ++i;
  return address[i] == ':';
}

char* EncodeLaunchAddress(const char* address) {
  static const char kHex[] = "0123456789ABCDEF";
  if (address == nullptr) address = "";
  size_t length = 0;
  for (const char* p = address; *p != '\0'; ++p) {
    length += IsArgumentBreaker(static_cast<unsigned char>(*p)) ? 3 : 1;
  }
  char* encoded = static_cast<char*>(std::malloc(length + 1));
  if (encoded == nullptr) return nullptr;
  char* out = encoded;
  for (const char* p = address; *p != '\0'; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (IsArgumentBreaker(byte)) {
      *out++ = '%';
      *out++ = kHex[byte >> 4];
      *out++ = kHex[byte & 0x0F];
    } else {
      *out++ = *p;
    }
  }
  *out = '\0';
  return encoded;
}

size_t FindPlaceholder(const char* command, LeadBytePredicate isLeadByte) {
  if (command == nullptr) return kNoPlaceholder;
  // The quoted form, one character at a time so that a trail byte is never
  // taken for a quotation mark.
  for (const char* p = command; *p != '\0'; p += IsLead(isLeadByte, p) ? 2 : 1) {
    if (std::strncmp(p, "\"%1\"", 4) == 0) return static_cast<size_t>(p - command);
  }
  if (const char* bare = std::strstr(command, "%1")) return static_cast<size_t>(bare - command);
  return kNoPlaceholder;
}

bool AppendBounded(char* buffer, size_t size, const char* suffix) {
  const size_t used = strnlen(buffer, size);
  const size_t extra = std::strlen(suffix);
  if (used >= size || extra >= size - used) return false;
  std::memcpy(buffer + used, suffix, extra + 1);
  return true;
}

bool CompleteLaunchCommand(char* buffer, size_t size, const char* address,
                           LeadBytePredicate isLeadByte) {
  if (buffer == nullptr || size == 0 || address == nullptr) return false;
  if (strnlen(buffer, size) >= size) {
    buffer[0] = '\0';
    return false;
  }
  const size_t cut = FindPlaceholder(buffer, isLeadByte);
  if (cut != kNoPlaceholder) buffer[cut] = '\0';
  // Both parts or nothing: a command with half an address must never run.
  const size_t used = std::strlen(buffer);
  const size_t extra = 1 + std::strlen(address);
  if (extra >= size - used) return false;
  buffer[used] = ' ';
  std::memcpy(buffer + used + 1, address, extra);
  return true;
}

void OpenErrorText(int code, char* out, size_t size) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) {
      std::snprintf(out, size, "%s", entry.text);
      return;
    }
  }
  std::snprintf(out, size, "Unknown Error (%d) occurred.", code);
}

void OpenErrorMessage(int code, char* out, size_t size) {
  char text[kOpenErrorMessageSize];
  OpenErrorText(code, text, sizeof(text));
  std::snprintf(out, size, "Can't open link:\n\n%s", text);
}

void ProgramBaseName(const char* path, LeadBytePredicate isLeadByte, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  if (path == nullptr) return;
  const char* name = path;
  const char* dot = nullptr;
  for (const char* p = path; *p != '\0'; p += IsLead(isLeadByte, p) ? 2 : 1) {
    if (*p == '\\' || *p == '/' || *p == ':') {
      name = p + 1;
      dot = nullptr;
    } else if (*p == '.') {
      dot = p;
    }
  }
  const size_t length = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
  const size_t kept = length < size ? length : size - 1;
  std::memcpy(out, name, kept);
  out[kept] = '\0';
}
