// What Setup's installer and uninstaller share with the shell: the message
// box and the Start-menu program group.
#pragma once

#include <windows.h>

#include <cstddef>

// A plain information box: "OK" only, no icon, captioned with the name of the
// running executable without its extension.
int ShowSetupMessage(HWND owner, const char* text);

// The current user's Programs folder followed by "\Vantrel", into out (size
// bytes). False when the folder cannot be resolved or the path does not fit.
bool GetProgramGroupPath(char* out, size_t size);
