// Setup's command line: the option text and the mode it selects.
#include "setup/core/CommandLine.h"

std::string ScanOptionText(const char* commandLine) {
  std::string option;
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

SetupMode ChooseSetupMode(const std::string& optionText) {
  if (optionText.empty() || optionText == "UnInstall") return SetupMode::kUninstall;
  return SetupMode::kInstall;
}
