#include "hyperlink/LinkLauncher.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>

#include "framework/App.h"
#include "hyperlink/core/LaunchCommand.h"

namespace {

bool IsSystemLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

// Opens an address already made safe to pass as one argument.
int LaunchEncodedUrl(const char* target, int show) {
  const HINSTANCE shell = ShellExecuteA(nullptr, "open", target, nullptr, nullptr, show);
  const int shellResult = static_cast<int>(reinterpret_cast<INT_PTR>(shell));
  if (reinterpret_cast<UINT_PTR>(shell) > 32) return shellResult;

  // The shell refused: start the program registered for ".htm" files directly.
  char command[kLaunchCommandSize];
  if (ReadKeyDefault(HKEY_CLASSES_ROOT, ".htm", command) != ERROR_SUCCESS) return shellResult;
  if (!AppendBounded(command, sizeof(command), kOpenCommandSuffix)) return shellResult;
  if (ReadKeyDefault(HKEY_CLASSES_ROOT, command, command) != ERROR_SUCCESS) return shellResult;
  if (!CompleteLaunchCommand(command, sizeof(command), target, &IsSystemLeadByte)) {
    return shellResult;
  }
  return static_cast<int>(WinExec(command, static_cast<UINT>(show)));
}

}  // namespace

int LaunchUrl(const char* address, int show) {
  // Addresses come from the network: never hand anything but a web address
  // to the shell, which would just as well run a program or open a share.
  if (!IsWebAddress(address)) return kLaunchAccessDenied;
  char* target = EncodeLaunchAddress(address);
  if (target == nullptr) return kLaunchOutOfMemory;
  const int result = LaunchEncodedUrl(target, show);
  std::free(target);
  return result;
}

void ShowOpenError(int code) {
  // The box is captioned with the program file's base name, "Vantrel" when
  // installed.
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) path[0] = '\0';
  char caption[MAX_PATH];
  ProgramBaseName(path, &IsSystemLeadByte, caption, sizeof(caption));
  char message[kOpenErrorMessageSize];
  OpenErrorMessage(code, message, sizeof(message));

  // Modal to the window the user is working in.
  HWND owner = GetActiveWindow();
  if (owner == nullptr) {
    owner = AfxGetMainHwnd();
    if (owner != nullptr) owner = GetLastActivePopup(GetAncestor(owner, GA_ROOT));
  }
  MessageBoxA(owner, message, caption, MB_OK | MB_ICONEXCLAMATION);
}

LONG ReadKeyDefault(HKEY root, const char* subkey, char* out) {
  HKEY key;
  LONG result = RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key);
  if (result != ERROR_SUCCESS) return result;

  char value[kRegistryValueSize] = {};
  LONG size = sizeof(value);
  result = RegQueryValueA(key, nullptr, value, &size);
  // A value stored without its terminating NUL that fills the buffer exactly
  // is too long as well: the copy below must find the end within the buffer.
  if (result == ERROR_SUCCESS && std::memchr(value, '\0', sizeof(value)) == nullptr) {
    result = ERROR_MORE_DATA;
  }
  if (result != ERROR_SUCCESS) {
    RegCloseKey(key);
    return result;
  }
  lstrcpynA(out, value, sizeof(value));
  RegCloseKey(key);
  return ERROR_SUCCESS;
}
