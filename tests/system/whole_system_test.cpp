// From download to uninstall, in a fresh Wine prefix, with the release archive
// unpacked to C:\download and the feed service on loopback. Run in two phases
// by system-test.sh, with a restart of the prefix between them:
//   InstallUseUninstall: Setup /install, the ticker through its Start-menu
//     link, a category change, a click, hiding and the tray, Exit, then the
//     uninstaller through its link;
//   AfterRestart: what was scheduled for deletion is gone.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "tests/support/SetupTexts.h"
#include "tests/support/Ticker.h"

using namespace testsupport;

namespace {

const char kDownload[] = "C:\\download";

bool SettingsKeyExists() {
  return KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
}

// The target and description of a shell link.
bool ReadLink(const std::string& path, std::string* target, std::string* description) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  bool ok = false;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char text[MAX_PATH] = "";
    if (SUCCEEDED(file->Load(wide, STGM_READ))) {
      link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
      *target = text;
      link->GetDescription(text, sizeof(text));
      *description = text;
      ok = true;
    }
    file->Release();
  }
  link->Release();
  return ok;
}

// Opens a file the way the shell would for a user (a double click).
void ShellOpen(const std::string& path) {
  ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// A visible top-level window of any process whose caption satisfies test.
HWND WaitForAnyWindow(const char* className, const std::function<bool(const std::string&)>& test,
                      DWORD timeoutMs = 30000) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr;
             hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
          if (!IsWindowVisible(hwnd) || ClassName(hwnd) != className) continue;
          if (!test(WindowText(hwnd))) continue;
          found = hwnd;
          return true;
        }
        return false;
      },
      timeoutMs);
  return found;
}

// Waits for a message box of the given caption, checks its text, saves a
// screenshot and closes it.
void ConfirmBox(const char* caption, const char* text, const char* shot) {
  HWND box = WaitForAnyWindow("#32770", [&](const std::string& c) { return c == caption; });
  ASSERT_NE(box, nullptr) << "no box captioned " << caption;
  EXPECT_EQ(MessageBoxText(box), text);
  SaveWindowPng(box, ShotPath(shot));
  CloseMessageBox(box);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
}

// The first headline of a category as the feed service serves it.
bool IsCaptionOf(const std::string& caption, const char* category) {
  return IsFinalCaption(caption) &&
         caption.rfind(std::string(kCaptionStart) + category + " at :", 0) == 0;
}

std::string ProcessOf(HWND hwnd, DWORD* pid) {
  GetWindowThreadProcessId(hwnd, pid);
  return std::to_string(*pid);
}

TEST(System, InstallUseUninstall) {
  CoInitialize(nullptr);
  const std::string recorderLog = MakeTempDir("system") + "\\browser.log";
  SetEnvironmentVariableA("VANTREL_RECORDER_LOG", recorderLog.c_str());
  // The recorder stands in for the browser.
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", &key), ERROR_SUCCESS);
  const std::string browser = "\"" + BinPath("recorder.exe") + "\" \"%1\"";
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(browser.c_str()),
                 static_cast<DWORD>(browser.size() + 1));
  RegCloseKey(key);

  // ---- installation from the unpacked archive
  Child setup = StartProgram(std::string(kDownload) + "\\Setup.exe", "/install", kDownload);
  ASSERT_TRUE(setup.Started());
  ConfirmBox("Setup", kInstallText, "system-1-installed");
  EXPECT_EQ(WaitForExit(setup), 0u);
  Stop(setup);

  DWORD code = 0;
  std::string proxy = "unset";
  EXPECT_TRUE(GetSettingsDword(kUrlCodeValue, &code));
  EXPECT_EQ(code, 282u);
  EXPECT_TRUE(GetSettingsString(kProxyValue, &proxy));
  EXPECT_EQ(proxy, "");
  for (const char* file : {"Vantrel.EXE", "Readme.txt", "Setup.exe"}) {
    EXPECT_TRUE(FileExists(std::string(kProgramDir) + "\\" + file)) << file;
  }
  const std::string group = ProgramGroup();
  const struct {
    const char* link;
    const char* target;
    const char* description;
  } links[] = {{"Vantrel.lnk", "c:\\Vantrel\\Vantrel.exe", "Vantrel"},
               {"ReadMe.lnk", "c:\\Vantrel\\ReadMe.txt", "ReadMe"},
               {"Uninstall.lnk", "c:\\Vantrel\\Setup.exe", "Uninstall Vantrel"}};
  for (const auto& expected : links) {
    std::string target, description;
    EXPECT_TRUE(ReadLink(group + "\\" + expected.link, &target, &description)) << expected.link;
    EXPECT_EQ(lstrcmpiA(target.c_str(), expected.target), 0) << target;
    EXPECT_EQ(description, expected.description);
  }

  // The ticker asks the test bed's feed service (Setup never writes this).
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, FeedHost().c_str()));

  // ---- the ticker, started through its Start-menu link
  ShellOpen(group + "\\Vantrel.lnk");
  HWND window =
      WaitForAnyWindow("#32770", [](const std::string& c) { return IsCaptionOf(c, "India news"); });
  ASSERT_NE(window, nullptr) << "the ticker did not show India news";
  DWORD tickerPid = 0;
  ProcessOf(window, &tickerPid);
  HANDLE ticker = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, tickerPid);
  const std::string firstIndia = WindowText(GetDlgItem(window, IDC_HEADLINE_0));
  EXPECT_FALSE(firstIndia.empty());
  EXPECT_NE(firstIndia, "Static");
  SaveWindowPng(window, ShotPath("system-2-india"));

  // ---- another category through the Preferences dialog
  PostMessageA(GetDlgItem(window, IDC_CHANGE_CATEGORY), BM_CLICK, 0, 0);
  HWND preferences =
      WaitForAnyWindow("#32770", [](const std::string& c) { return c == "Vantrel Preferences"; });
  ASSERT_NE(preferences, nullptr);
  HWND list = GetDlgItem(preferences, IDC_CATEGORY_LIST);
  ASSERT_NE(SendMessageA(list, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("Europe news")),
            CB_ERR);
  SaveWindowPng(preferences, ShotPath("system-3-preferences"));
  PostMessageA(GetDlgItem(preferences, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return IsCaptionOf(WindowText(window), "Europe news"); }, 30000));
  const std::string firstEurope = WindowText(GetDlgItem(window, IDC_HEADLINE_0));
  EXPECT_FALSE(firstEurope.empty());
  EXPECT_NE(firstEurope, firstIndia);
  SaveWindowPng(window, ShotPath("system-4-europe"));

  // ---- a click on the first headline opens it in the browser
  HWND label = GetDlgItem(window, IDC_HEADLINE_0);
  PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  std::string opened;
  EXPECT_TRUE(WaitUntil([&] {
    return ReadFileText(recorderLog, &opened) && opened.find("http://") != std::string::npos;
  }));
  EXPECT_NE(opened.find("europe-news"), std::string::npos) << opened;

  // ---- closing hides; the notification-area icon brings it back
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }));
  PostMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONUP);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }));
  SaveWindowPng(window, ShotPath("system-5-back"));

  // ---- Exit
  PostMessageA(window, WM_COMMAND, ID_TRAY_EXIT, 0);
  EXPECT_EQ(WaitForSingleObject(ticker, 15000), WAIT_OBJECT_0);
  CloseHandle(ticker);

  // ---- the uninstaller through its Start-menu link
  ShellOpen(group + "\\Uninstall.lnk");
  HWND confirm =
      WaitForAnyWindow("#32770", [](const std::string& c) { return c == kConfirmCaption; });
  ASSERT_NE(confirm, nullptr);
  SaveWindowPng(confirm, ShotPath("system-6-confirm"));
  PostMessageA(GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
  ConfirmBox("Setup", kUninstallText, "system-7-uninstalled");

  EXPECT_FALSE(SettingsKeyExists());
  EXPECT_FALSE(FileExists(group));
  EXPECT_FALSE(FileExists(std::string(kProgramDir) + "\\Vantrel.EXE"));
  EXPECT_FALSE(FileExists(std::string(kProgramDir) + "\\Readme.txt"));
  // The running uninstaller and the directory wait for the next restart.
  std::string pending;
  HKEY session;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                          0, KEY_READ, &session),
            ERROR_SUCCESS);
  char data[8192];
  DWORD size = sizeof(data);
  if (RegQueryValueExA(session, "PendingFileRenameOperations", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
    pending.assign(data, size);
  }
  RegCloseKey(session);
  CharUpperBuffA(&pending[0], static_cast<DWORD>(pending.size()));
  EXPECT_NE(pending.find("C:\\VANTREL\\SETUP.EXE"), std::string::npos);
  EXPECT_NE(pending.find(std::string("C:\\VANTREL\0", 11)), std::string::npos);
  CoUninitialize();
}

TEST(System, AfterRestart) {
  EXPECT_FALSE(FileExists(kProgramDir));
  EXPECT_FALSE(SettingsKeyExists());
}

}  // namespace
