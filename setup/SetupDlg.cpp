// The hidden host dialog of Setup and the installation.
#include "setup/SetupDlg.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "resource.h"
#include "setup/SetupShell.h"
#include "setup/UninstallDlg.h"
#include "setup/core/CommandLine.h"
#include "setup/core/PathText.h"
#include "setup/core/SetupNames.h"

namespace {

// Copy paths are built in buffers of this size.
constexpr size_t kCopyPathSize = 256;
// Shortcut file paths are handed to the shell in UTF-16 of this size.
constexpr int kLinkPathChars = 256;

constexpr char kInstallComplete[] =
    "Setup complete. \r \n Please start Vantrel from Start->Programs->Vantrel->Vantrel menu. "
    "\r \n Thank you for downloading Vantrel.";

// The completion box's text: the message of a clean run, then one line per
// file that could not be copied (three short lines always fit).
constexpr size_t kCompletionSize = 1024;

// Why a copy failed, in plain words; null for an error without such words.
const char* CopyFailureReason(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "the file is in use. Close Vantrel and run Setup again.";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "it is missing from the folder Setup was started from.";
    case ERROR_ACCESS_DENIED:
      return "access was denied. Close Vantrel and run Setup again.";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full.";
    case ERROR_FILENAME_EXCED_RANGE:
      return "the path is too long.";
    default:
      return nullptr;
  }
}

// Appends the completion box's line for a file that could not be copied: its
// name and, in plain words, why.
void AppendCopyFailure(char* text, size_t size, const char* name, DWORD error) {
  const size_t used = strlen(text);
  if (const char* reason = CopyFailureReason(error)) {
    snprintf(text + used, size - used, " \r \n %s could not be copied: %s", name, reason);
  } else {
    snprintf(text + used, size - used, " \r \n %s could not be copied: error %lu.", name,
             static_cast<unsigned long>(error));
  }
}

}  // namespace

CSetupDlg::CSetupDlg(CWnd* parent) : CDialog(IDD_SETUP_DIALOG, parent), m_optionText("") {}

BOOL CSetupDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The shell-link object needs COM; OnInstall uninitialises it.
  CoInitialize(nullptr);

  if (ChooseSetupMode(m_optionText) == SetupMode::kInstall) {
    OnInstall();
  } else {
    CUninstallDlg confirm;
    if (confirm.DoModal() == IDOK) confirm.OnUninstall();
  }
  // Already queued when the modal loop starts, the quit request ends it before
  // this dialog is ever shown.
  PostQuitMessage(0);
  return TRUE;
}

void CSetupDlg::OnInstall() {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, &key) == ERROR_SUCCESS) {
    const DWORD category = kDefaultCategoryCode;
    RegSetValueExA(key, kUrlCodeValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&category),
                   sizeof category);
    RegSetValueExA(key, kProxyValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
  }

  // The files come from the directory Setup was started from, never from the
  // current directory. A module path that does not fit is not guessed at.
  char sourceDirectory[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, sourceDirectory, sizeof sourceDirectory);
  const bool haveSource = length > 0 && length < sizeof sourceDirectory;
  if (haveSource) CutAfterLastBackslash(sourceDirectory);

  CreateAppDirectory();
  CreateProgramGroupandItem();
  // Every copy that failed is named in the completion box: a ticker still
  // running keeps its old program file, and the user must know.
  char completion[kCompletionSize];
  snprintf(completion, sizeof completion, "%s", kInstallComplete);
  if (haveSource) CopyFilesToSoftwareDir(sourceDirectory, completion, sizeof completion);

  ShowSetupMessage(m_hWnd, completion);
  CoUninitialize();
}

void CSetupDlg::CreateAppDirectory() {
  CreateDirectoryA(kProgramDirectory, nullptr);
}

HRESULT CSetupDlg::CreateProgramGroupandItem() {
  // The targets need not exist yet: the files are copied afterwards.
  char target[MAX_PATH];
  JoinPath(target, sizeof target, kProgramDirectory, "Vantrel.exe");
  CreateShellLink(target, "Vantrel.lnk", "Vantrel");
  JoinPath(target, sizeof target, kProgramDirectory, "ReadMe.txt");
  CreateShellLink(target, "ReadMe.lnk", "ReadMe");
  JoinPath(target, sizeof target, kProgramDirectory, "Setup.exe");
  return CreateShellLink(target, "Uninstall.lnk", "Uninstall Vantrel");
}

void CSetupDlg::CopyFilesToSoftwareDir(const char* sourceDirectory, char* failures, size_t size) {
  static const struct {
    const char* source;
    const char* destination;
  } kCopies[] = {
      {"Vantrel.exe", "Vantrel.EXE"},
      {"Readme.txt", "Readme.txt"},
      {"Setup.exe", "Setup.exe"},
  };
  for (const auto& copy : kCopies) {
    char source[kCopyPathSize];
    char destination[kCopyPathSize];
    // A path too long for its buffer skips that copy.
    if (!CopyPath(source, sizeof source, sourceDirectory) ||
        !AppendPath(source, sizeof source, copy.source) ||
        !JoinPath(destination, sizeof destination, kProgramDirectory, copy.destination)) {
      AppendCopyFailure(failures, size, copy.source, ERROR_FILENAME_EXCED_RANGE);
      continue;
    }
    // Setup started from the program directory is already in place.
    if (lstrcmpiA(source, destination) == 0) continue;
    if (!CopyFileA(source, destination, FALSE)) {
      AppendCopyFailure(failures, size, copy.source, GetLastError());
    }
  }
}

HRESULT CSetupDlg::CreateShellLink(const char* target, const char* linkName,
                                   const char* description) {
  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return result;

  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result)) {
    link->Release();
    return result;
  }

  result = link->SetPath(target);
  link->SetDescription(description);
  if (SUCCEEDED(result)) {
    char path[1024];
    WCHAR widePath[kLinkPathChars];
    if (!GetProgramGroupPath(path, sizeof path)) {
      result = E_FAIL;
    } else {
      CreateDirectoryA(path, nullptr);
      // A link path too long for the wide buffer is not saved.
      if (!AppendPath(path, sizeof path, "\\") || !AppendPath(path, sizeof path, linkName) ||
          MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, kLinkPathChars) == 0) {
        result = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
      } else {
        result = file->Save(widePath, TRUE);
      }
    }
  }

  file->Release();
  link->Release();
  return result;
}
