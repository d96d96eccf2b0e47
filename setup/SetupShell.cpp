// What Setup's installer and uninstaller share with the shell.
#include "setup/SetupShell.h"

#include <shlobj.h>

#include "setup/core/PathText.h"
#include "setup/core/SetupNames.h"

int ShowSetupMessage(HWND owner, const char* text) {
  char modulePath[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
  // A path that did not fit comes back cut short and maybe unterminated.
  char title[MAX_PATH] = "Setup";
  if (length > 0 && length < sizeof modulePath) ProgramTitle(modulePath, title, sizeof title);
  return MessageBoxA(owner, text, title, MB_OK);
}

bool GetProgramGroupPath(char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list)) || list == nullptr) {
    return false;
  }
  char folder[MAX_PATH] = "";
  const BOOL resolved = SHGetPathFromIDListA(list, folder);
  CoTaskMemFree(list);
  if (!resolved) return false;
  return CopyPath(out, size, folder) && AppendPath(out, size, kProgramGroupSuffix);
}
