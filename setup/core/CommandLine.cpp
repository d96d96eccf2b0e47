#include "setup/core/CommandLine.h"

std::string ScanOptionText(const char* commandLine) {
  std::string option;
  bool wordStart = true;
  for (const char* p = commandLine; *p != '\0'; ++p) {
    if (*p == ' ') {
      wordStart = true;
    } else if ((*p == '-' || *p == '/') && wordStart) {
      option = p + 1;
      wordStart = false;
    } else {
      wordStart = false;
    }
  }
  return option;
}
