// The ticker's settings: single values under HKEY_LOCAL_MACHINE\<string 102>
// ("SOFTWARE\Vantrel"). Every call opens the key, does one query or one write
// and closes it again; nothing is cached. The key is never created here (the
// installer creates it): with the key missing every call fails.
#pragma once

#include <windows.h>

#include "common/SettingsNames.h"

// Longest string value that reads back: 254 characters and the NUL.
constexpr DWORD kSettingsStringLimit = 255;

// Copies a string value (REG_SZ or REG_EXPAND_SZ, stored with its terminating
// NUL, at most 254 characters) with its NUL into buffer, which must hold at
// least 256 bytes. Anything else (missing, too long, another type, no NUL)
// reads as absent: false, and buffer is left untouched.
bool GetRegistryString(const char* name, char* buffer);
// Writes text as REG_SZ including its NUL (an empty text is one byte).
bool SetRegistryString(const char* name, const char* text);
// Reads a REG_DWORD of exactly 4 bytes into *value. Anything else reads as
// absent: false, and *value keeps what the caller preset.
bool GetRegistryDword(const char* name, DWORD* value);
// Writes value as a 4-byte REG_DWORD.
bool SetRegistryDword(const char* name, DWORD value);
