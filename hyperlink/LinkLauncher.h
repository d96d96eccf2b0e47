// Opening a web address in the user's browser, and reporting a failure.
#pragma once

#include <windows.h>

// Opens address with the shell; if the shell refuses, starts the command
// registered to open ".htm" files with the address as its last argument.
// Returns a launch result: greater than 32 on success, otherwise one of the
// shell's error codes. Only http and https addresses are opened; any other
// is refused with SE_ERR_ACCESSDENIED and nothing is started.
int LaunchUrl(const char* address, int show);

// Shows "Can't open link:" and the text for code in a modal message box
// captioned with the program's name.
void ShowOpenError(int code);

// Reads the default value of root\subkey into out (260 bytes; may be the same
// buffer as subkey). ERROR_SUCCESS, or the registry's error code with out left
// as it was; a value of 260 characters or more does not fit and fails.
LONG ReadKeyDefault(HKEY root, const char* subkey, char* out);
