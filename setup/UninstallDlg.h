// The uninstall confirmation dialog and the uninstallation itself.
#pragma once

#include <windows.h>

#include "framework/Dialog.h"

class CUninstallDlg : public CDialog {
 public:
  // Owned by the application's main window (Setup's hidden host dialog).
  explicit CUninstallDlg(CWnd* parent = nullptr);

  // Removes the settings key with the current user's virtualized copies of
  // it, the program group and the program directory, schedules what cannot
  // go now for deletion at restart, and says so.
  void OnUninstall();

  // Deletes parent\name with everything below it, children first. An empty
  // name means parent itself. 0 on success, otherwise the first registry error
  // (what was not deleted then stays).
  LONG RemoveRegistryTree(HKEY parent, const char* name);
  // Deletes a directory (no trailing backslash) with its contents, as far as
  // possible; a file refused with ERROR_ACCESS_DENIED is scheduled for
  // deletion at restart. Links inside are removed, never followed. Returns 0.
  int RemoveDirectoryTree(const char* directory);
  // Schedules a file or directory for deletion at the next restart.
  bool DeleteOnReboot(const char* path);

 protected:
  // The attributes the walk acts on for one directory entry.
  virtual DWORD EntryAttributes(const WIN32_FIND_DATAA& entry);
};
