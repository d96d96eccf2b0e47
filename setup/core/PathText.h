// Bounded text handling for paths in fixed buffers: a path that does not fit
// is refused, never cut and never written past the buffer.
#pragma once

#include <cstddef>

// Copies text into out (size bytes). False, with out left empty, when it does
// not fit with its terminator.
bool CopyPath(char* out, size_t size, const char* text);

// Appends suffix to the text in out. False, with out unchanged, when the
// result would not fit.
bool AppendPath(char* out, size_t size, const char* suffix);

// out = directory + "\" + name. False, with out left empty, when it does not
// fit.
bool JoinPath(char* out, size_t size, const char* directory, const char* name);

// Cuts a module path right after its last backslash, keeping the backslash:
// "C:\dl\Setup.exe" becomes "C:\dl\". A path without a backslash stays whole.
void CutAfterLastBackslash(char* path);

// The file name of an executable's path without its extension: the program's
// title ("C:\dl\Setup.exe" gives "Setup"), into out (size bytes; cut short
// when it does not fit).
void ProgramTitle(const char* modulePath, char* out, size_t size);
