#include "ticker/SettingsStore.h"

#include <cstring>

#include "framework/App.h"
#include "resource.h"

namespace {

// Opens HKEY_LOCAL_MACHINE\<string 102>. An empty or missing key path fails
// rather than opening HKEY_LOCAL_MACHINE itself.
bool OpenSettingsKey(HKEY* key) {
  char path[256];
  if (LoadStringA(AfxGetInstanceHandle(), IDS_REGISTRY_KEY, path, sizeof path) <= 0) return false;
  return RegOpenKeyA(HKEY_LOCAL_MACHINE, path, key) == ERROR_SUCCESS;
}

}  // namespace

bool GetRegistryString(const char* name, char* buffer) {
  if (name == nullptr || buffer == nullptr) return false;
  HKEY key;
  if (!OpenSettingsKey(&key)) return false;
  char data[256];
  DWORD type = REG_NONE;
  DWORD size = kSettingsStringLimit;
  const LONG result =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;  // missing, or longer than 254 characters
  // Only a string that ends in its NUL within what was read is copied: a
  // value of another type, or one stored without the NUL, reads as absent.
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (size == 0 || size > kSettingsStringLimit || data[size - 1] != '\0') return false;
  std::memcpy(buffer, data, std::strlen(data) + 1);
  return true;
}

bool SetRegistryString(const char* name, const char* text) {
  if (name == nullptr || text == nullptr) return false;
  const size_t length = std::strlen(text);
  if (length >= 0x7FFFFFFF) return false;
  HKEY key;
  if (!OpenSettingsKey(&key)) return false;
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(length + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool GetRegistryDword(const char* name, DWORD* value) {
  if (name == nullptr || value == nullptr) return false;
  HKEY key;
  if (!OpenSettingsKey(&key)) return false;
  DWORD data = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof data;
  const LONG result =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  // A longer value fails the query (the variable is 4 bytes); a shorter one
  // or another type is not a category code either.
  if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
  *value = data;
  return true;
}

bool SetRegistryDword(const char* name, DWORD value) {
  if (name == nullptr) return false;
  HKEY key;
  if (!OpenSettingsKey(&key)) return false;
  const LONG result =
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}
