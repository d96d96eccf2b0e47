// The uninstall confirmation dialog and the uninstallation.
#include "setup/UninstallDlg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resource.h"
#include "setup/SetupShell.h"
#include "setup/core/DirectoryEntry.h"
#include "setup/core/PathText.h"
#include "setup/core/RenameSection.h"
#include "setup/core/SetupNames.h"

namespace {

constexpr size_t kGroupPathSize = 1024;
constexpr DWORD kSubKeyNameSize = 256;

}  // namespace

CUninstallDlg::CUninstallDlg(CWnd* parent) : CDialog(IDD_UNINSTALL, parent) {}

void CUninstallDlg::OnUninstall() {
  char group[kGroupPathSize];
  const bool haveGroup = GetProgramGroupPath(group, sizeof group);

  for (const SettingsKeyPlace& place : kSettingsKeyPlaces) {
    const HKEY root =
        place.root == SettingsRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, place.path, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RemoveRegistryTree(key, "");
      RegCloseKey(key);
    }
  }

  if (haveGroup) RemoveDirectoryTree(group);
  RemoveDirectoryTree(kProgramDirectory);

  // The running Setup cannot delete itself, and its directory is not empty
  // while it stays: both go at the next restart, file first.
  char installedSetup[MAX_PATH];
  if (JoinPath(installedSetup, sizeof installedSetup, kProgramDirectory, "Setup.exe")) {
    DeleteOnReboot(installedSetup);
  }
  DeleteOnReboot(kProgramDirectory);

  // The confirmation dialog is gone: the box has no owner.
  ShowSetupMessage(nullptr, "Uninstall Complete. Thank you for using Vantrel.");
}

LONG CUninstallDlg::RemoveRegistryTree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key);
  if (result != ERROR_SUCCESS) return result;

  // Index 0 every time: each sub-key deleted moves the next one up.
  char subKey[kSubKeyNameSize];
  DWORD size = kSubKeyNameSize;
  while (RegEnumKeyExA(key, 0, subKey, &size, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    result = RemoveRegistryTree(key, subKey);
    if (result != ERROR_SUCCESS) {
      RegCloseKey(key);
      return result;
    }
    size = kSubKeyNameSize;
  }
  RegCloseKey(key);
  return RegDeleteKeyA(parent, name);
}

DWORD CUninstallDlg::EntryAttributes(const WIN32_FIND_DATAA& entry) {
  return entry.dwFileAttributes;
}

int CUninstallDlg::RemoveDirectoryTree(const char* directory) {
  char pattern[MAX_PATH];
  // A directory whose pattern does not fit is not searched; removing it below
  // then fails unless it is empty.
  if (CopyPath(pattern, sizeof pattern, directory) &&
      AppendPath(pattern, sizeof pattern, "\\*.*")) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const EntryAction action = ClassifyDirectoryEntry(entry.cFileName, EntryAttributes(entry));
        if (action == EntryAction::kSkip) continue;
        char path[MAX_PATH];
        if (!JoinPath(path, sizeof path, directory, entry.cFileName)) continue;  // too long: skip
        switch (action) {
          case EntryAction::kRemoveTree:
            RemoveDirectoryTree(path);
            break;
          case EntryAction::kRemoveLinkDir:
            // A junction or directory symlink: its target may lie anywhere.
            RemoveDirectoryA(path);
            break;
          case EntryAction::kDeleteLinkFile:
            // Resetting the attributes could reach the link's target.
            DeleteFileA(path);
            break;
          case EntryAction::kDeleteFile:
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path) && GetLastError() == ERROR_ACCESS_DENIED) DeleteOnReboot(path);
            break;
          case EntryAction::kSkip:
            break;
        }
      } while (FindNextFileA(search, &entry));
      FindClose(search);
    }
  }

  if (!RemoveDirectoryA(directory)) {
    // Not for the user; a debugger may want to know.
    char message[256];
    std::snprintf(message, sizeof message,
                  "Helperfunction: RemoveDirectoryTree failed in RemoveDirectory API RC: %lu",
                  static_cast<unsigned long>(GetLastError()));
    OutputDebugStringA(message);
  }
  return 0;
}

bool CUninstallDlg::DeleteOnReboot(const char* path) {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) {
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  }

  // The Windows 95 family: a "NUL=<short path>" line in wininit.ini.
  char shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
  if (length == 0 || length >= sizeof shortPath) return false;

  char* section = static_cast<char*>(std::calloc(kRenameSectionSize, 1));
  if (section == nullptr) return false;
  const DWORD used =
      GetPrivateProfileSectionA("rename", section, kRenameSectionSize, "wininit.ini");
  const bool written = AppendRenameLine(section, kRenameSectionSize, used, shortPath) &&
                       WritePrivateProfileSectionA("rename", section, "wininit.ini");
  std::free(section);
  return written;
}
