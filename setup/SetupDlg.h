// The hidden host dialog of Setup: its initialisation chooses the mode and
// runs the installation, or the confirmation and the uninstallation.
#pragma once

#include "framework/Dialog.h"

class CSetupDlg : public CDialog {
 public:
  explicit CSetupDlg(CWnd* parent = nullptr);

  // The command line's option text (a part of the command line, which lives
  // as long as the process); set before the dialog runs.
  const char* m_optionText;

  BOOL OnInitDialog() override;

  // The whole installation: settings, program directory, Start-menu group
  // with its shortcuts, the three files, and the completion box.
  void OnInstall();
  // Creates the program directory (one level; an existing one is fine).
  void CreateAppDirectory();
  // Creates the three shortcuts of the program group; the last one's result.
  HRESULT CreateProgramGroupandItem();
  // Copies the ticker, the read-me and Setup from sourceDirectory (ending in
  // a backslash) into the program directory, overwriting what is there. For
  // each file that could not be copied, appends one line for the completion
  // box (" \r \n " and the file's name with the reason) to the text in
  // failures, a buffer of size bytes; nothing when all went.
  void CopyFilesToSoftwareDir(const char* sourceDirectory, char* failures, size_t size);
  // Saves a shortcut to target, with description, as linkName in the program
  // group. Negative on failure.
  HRESULT CreateShellLink(const char* target, const char* linkName, const char* description);
};
