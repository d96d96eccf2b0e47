// Setup's command line: the option text and the mode it selects.
#include "setup/core/CommandLine.h"

#include <cstring>

const char* ScanOptionText(const char* commandLine) {
  const char* option = "";
  if (commandLine == nullptr) return option;
  bool wordStart = true;
  for (const char* p = commandLine; *p != '\0'; ++p) {
    if (*p == ' ') {
      wordStart = true;
    } else if ((*p == '-' || *p == '/') && wordStart) {
      // Everything behind the switch character, later words included.
      option = p + 1;
      wordStart = false;
    } else {
      wordStart = false;
    }
  }
  return option;
}

SetupMode ChooseSetupMode(const char* optionText) {
  if (optionText == nullptr || optionText[0] == '\0' || std::strcmp(optionText, "UnInstall") == 0) {
    return SetupMode::kUninstall;
  }
  return SetupMode::kInstall;
}
