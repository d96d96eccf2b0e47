// Setup's command line: the option text and the mode it selects.
#pragma once

#include <string>

// The text after the last "-" or "/" that begins a word (words start after a
// space only, and at the very beginning), to the end of the line; empty when
// there is none. Quotation marks and tabs are ordinary characters.
std::string ScanOptionText(const char* commandLine);

enum class SetupMode { kInstall, kUninstall };

// No option, or exactly "UnInstall" (case counts), uninstalls; anything else
// installs.
SetupMode ChooseSetupMode(const std::string& optionText);
