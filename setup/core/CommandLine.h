// Setup's command line: the option text and the mode it selects.
#pragma once

// The text after the last "-" or "/" that begins a word (words start after a
// space only, and at the very beginning), to the end of the line; empty when
// there is none. Quotation marks and tabs are ordinary characters. The text is
// the end of commandLine itself.
const char* ScanOptionText(const char* commandLine);

enum class SetupMode { kInstall, kUninstall };

// No option, or exactly "UnInstall" (case counts), uninstalls; anything else
// installs.
SetupMode ChooseSetupMode(const char* optionText);
