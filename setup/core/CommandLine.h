// Setup's command line: the option text and the mode it selects.
#pragma once

#include <string>

// The text after the last "-" or "/" that begins a word (words start after a
// space only), to the end of the line; empty when there is none.
std::string ScanOptionText(const char* commandLine);
