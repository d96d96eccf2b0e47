// Setup under Wine. The real Setup.exe runs as a child process from a
// download folder: installation, reinstallation, uninstallation with
// delete-at-restart in both platform forms, and every way of declining. The
// uninstaller's helpers run in-process for what a child cannot show.
//
// These tests change HKLM\Software\Vantrel, the user's virtual store,
// c:\Vantrel, the Start-menu group, wininit.ini and the pending delete
// operations of the test prefix; each one starts from a clean state and
// restores what it found.
#include "setup/UninstallDlg.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/SetupTexts.h"
#include "tests/support/TestSupport.h"

namespace ts = testsupport;
using ts::kConfirmCaption;
using ts::KeyExists;
using ts::kInstallText;
using ts::kPending;
using ts::kProgramDir;
using ts::kSessionManager;
using ts::kUninstallText;
using ts::ProgramGroup;
using ts::RemoveInstallation;

namespace {

const char kSetupAppDefaults[] = "Software\\Wine\\AppDefaults\\Setup.exe";
const char kTestKey[] = "Software\\VantrelSetupTest";
// Each file that could not be copied adds a line to the completion box.
const char kNextLine[] = " \r \n ";
const char kInUse[] =
    " could not be copied: the file is in use. Close Vantrel and run Setup again.";
const char kMissing[] =
    " could not be copied: it is missing from the folder Setup was started from.";

bool SameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string WininitPath() {
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  return std::string(windows) + "\\wininit.ini";
}

std::string ShortPath(const std::string& path) {
  char shortPath[MAX_PATH] = "";
  const DWORD n = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
  return n > 0 && n < sizeof shortPath ? shortPath : "";
}

std::string FileText(const std::string& path) {
  std::string text;
  return ts::ReadFileText(path, &text) ? text : std::string("<missing>");
}

// A value as stored: "<type>:<bytes>", or empty when absent.
std::string RawValue(HKEY root, const char* keyPath, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  DWORD type = 0, size = 0;
  std::string data;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    data.assign(size, '\0');
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    data = std::to_string(type) + ":" + data.substr(0, size);
  }
  RegCloseKey(key);
  return data;
}

void RestoreRawValue(HKEY root, const char* keyPath, const char* name, const std::string& raw) {
  HKEY key;
  if (RegCreateKeyA(root, keyPath, &key) != ERROR_SUCCESS) return;
  const size_t colon = raw.find(':');
  if (colon == std::string::npos) {
    RegDeleteValueA(key, name);
  } else {
    RegSetValueExA(key, name, 0, std::stoul(raw.substr(0, colon)),
                   reinterpret_cast<const BYTE*>(raw.data() + colon + 1),
                   static_cast<DWORD>(raw.size() - colon - 1));
  }
  RegCloseKey(key);
}

// The paths a raw PendingFileRenameOperations value schedules for deletion
// (empty targets), in order, without "\??\".
std::vector<std::string> PendingDeletions(const std::string& raw) {
  std::vector<std::string> strings;
  for (size_t at = raw.find(':') + 1; at > 0 && at < raw.size();) {
    const size_t end = raw.find('\0', at);
    if (end == std::string::npos) break;
    strings.push_back(raw.substr(at, end - at));
    at = end + 1;
  }
  std::vector<std::string> paths;
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty() || !strings[i + 1].empty()) continue;
    paths.push_back(strings[i].compare(0, 4, "\\??\\") == 0 ? strings[i].substr(4) : strings[i]);
  }
  return paths;
}

std::vector<std::string> RenameLines() {
  std::vector<char> section(1 << 17, '\0');
  const DWORD n = GetPrivateProfileSectionA("rename", section.data(),
                                            static_cast<DWORD>(section.size()), "wininit.ini");
  std::vector<std::string> lines;
  for (size_t at = 0; at < n && section[at] != '\0'; at += lines.back().size() + 1) {
    lines.emplace_back(section.data() + at);
  }
  return lines;
}

struct LinkInfo {
  bool loaded = false;
  std::string path, description, arguments;
};

LinkInfo ReadLink(const std::string& file) {
  LinkInfo info;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  IPersistFile* persist = nullptr;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(wide, STGM_READ))) {
    char text[3][MAX_PATH] = {"", "", ""};
    link->GetPath(text[0], MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetDescription(text[1], MAX_PATH);
    link->GetArguments(text[2], MAX_PATH);
    info = {true, text[0], text[1], text[2]};
  }
  if (persist != nullptr) persist->Release();
  if (link != nullptr) link->Release();
  CoUninitialize();
  return info;
}

std::vector<std::string> DirectoryNames(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

// Everything an installation leaves, as one text to compare.
std::string Installation() {
  std::string state = KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey) ? "key\n" : "no key\n";
  state += RawValue(HKEY_LOCAL_MACHINE, kSettingsKey, kUrlCodeValue) + "\n";
  state += RawValue(HKEY_LOCAL_MACHINE, kSettingsKey, kProxyValue) + "\n";
  for (const std::string& name : DirectoryNames(kProgramDir)) {
    state += name + "=" + FileText(std::string(kProgramDir) + "\\" + name) + "\n";
  }
  for (const std::string& name : DirectoryNames(ProgramGroup())) {
    const LinkInfo link = ReadLink(ProgramGroup() + "\\" + name);
    state += name + "->" + link.path + "|" + link.description + "|" + link.arguments + "\n";
  }
  return state;
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pending_ = RawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    hadWininit_ = ts::ReadFileText(WininitPath(), &wininit_);
    RemoveInstallation();
    RegDeleteKeyA(HKEY_CURRENT_USER, kSetupAppDefaults);
    download_ = ts::MakeTempDir("vsetup");
    ASSERT_FALSE(download_.empty());
  }

  void TearDown() override {
    if (mapped_ != nullptr) FreeLibrary(mapped_);
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
    RemoveInstallation();
    RegDeleteKeyA(HKEY_CURRENT_USER, kSetupAppDefaults);
    CUninstallDlg().RemoveRegistryTree(HKEY_CURRENT_USER, kTestKey);
    RestoreRawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, pending_);
    if (hadWininit_) {
      ts::WriteFileText(WininitPath(), wininit_);
    } else {
      DeleteFileA(WininitPath().c_str());
    }
    ts::RemoveTree(download_);
  }

  // The download folder: copies of the programs and the read-me users get.
  void StageDownload(bool complete = true) {
    ASSERT_TRUE(CopyFileA(ts::BinPath("Setup.exe").c_str(), setup().c_str(), FALSE));
    if (!complete) return;
    ASSERT_TRUE(CopyFileA(ts::BinPath("Vantrel.exe").c_str(), (download_ + "\\Vantrel.exe").c_str(),
                          FALSE));
    ASSERT_TRUE(ts::ReadFileText(ts::Env("VANTREL_SRC") + "\\res\\Readme.txt", &readme_));
    ASSERT_FALSE(readme_.empty());
    // Notepad shows bare line feeds as one long line.
    for (size_t at = readme_.find('\n'); at != std::string::npos; at = readme_.find('\n', at + 1)) {
      ASSERT_TRUE(at > 0 && readme_[at - 1] == '\r') << "bare line feed at " << at;
    }
    ASSERT_TRUE(ts::WriteFileText(download_ + "\\Readme.txt", readme_));
  }
  std::string setup() const { return download_ + "\\Setup.exe"; }

  // Waits for the child's box captioned "Setup", checks its text, closes it.
  void AnswerBox(ts::Child& child, const char* text) {
    HWND box = ts::WaitForWindow(child.info.dwProcessId, "#32770",
                                 [](const std::string& caption) { return caption == "Setup"; });
    ASSERT_NE(box, nullptr) << "no \"Setup\" box";
    EXPECT_EQ(ts::MessageBoxText(box), text);
    ts::CloseMessageBox(box);
  }

  void Run(const std::string& exe, const char* arguments, const std::function<void(HWND)>& answer,
           const char* boxText) {
    ts::Child child = ts::StartProgram(exe, arguments, download_);
    ASSERT_TRUE(child.Started());
    if (answer) {
      HWND confirm = ts::WaitForWindow(child.info.dwProcessId, "#32770",
                                       [](const std::string& c) { return c == kConfirmCaption; });
      ASSERT_NE(confirm, nullptr) << "no confirmation";
      answer(confirm);
    }
    // Without a box to answer, the child must end by itself.
    if (boxText != nullptr) AnswerBox(child, boxText);
    EXPECT_EQ(ts::WaitForExit(child), 0u);
    ts::Stop(child);
  }
  void Install(const std::string& exe) { Run(exe, "/install", nullptr, kInstallText); }
  void Uninstall(const std::string& exe) { Run(exe, "", ClickOk, kUninstallText); }
  static void ClickOk(HWND dialog) { PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); }

  // What a running ticker does to its program file: maps it as an image, so
  // that deleting it is refused with ERROR_ACCESS_DENIED.
  void MapAsImage(const std::string& path) {
    mapped_ = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(mapped_, nullptr);
  }

  void UseWin98ForSetup() {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSetupAppDefaults, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);
  }

  // Deletions scheduled since the test began.
  std::vector<std::string> NewPendingDeletions() const {
    std::vector<std::string> now =
        PendingDeletions(RawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending));
    const size_t before = std::min(PendingDeletions(pending_).size(), now.size());
    now.erase(now.begin(), now.begin() + static_cast<long>(before));
    return now;
  }

  std::string download_, readme_, pending_, wininit_;
  bool hadWininit_ = false;
  HMODULE mapped_ = nullptr;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

void ExpectFreshInstallation(const std::string& readme) {
  const DWORD urlcode = 282;
  EXPECT_EQ(
      RawValue(HKEY_LOCAL_MACHINE, kSettingsKey, kUrlCodeValue),
      std::to_string(REG_DWORD) + ":" + std::string(reinterpret_cast<const char*>(&urlcode), 4));
  EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kSettingsKey, kProxyValue),
            std::to_string(REG_SZ) + ":" + std::string(1, '\0'));

  EXPECT_EQ(FileText("c:\\Vantrel\\Setup.exe"), FileText(ts::BinPath("Setup.exe")));
  if (!readme.empty()) {
    EXPECT_EQ(FileText("c:\\Vantrel\\Vantrel.EXE"), FileText(ts::BinPath("Vantrel.exe")));
    EXPECT_EQ(FileText("c:\\Vantrel\\Readme.txt"), readme);
    EXPECT_EQ(DirectoryNames(kProgramDir).size(), 3u);
  } else {
    EXPECT_EQ(DirectoryNames(kProgramDir), std::vector<std::string>{"Setup.exe"});
  }

  const struct {
    const char* file;
    const char* target;
    const char* description;
  } links[] = {
      {"Vantrel.lnk", "c:\\Vantrel\\Vantrel.exe", "Vantrel"},
      {"ReadMe.lnk", "c:\\Vantrel\\ReadMe.txt", "ReadMe"},
      {"Uninstall.lnk", "c:\\Vantrel\\Setup.exe", "Uninstall Vantrel"},
  };
  EXPECT_EQ(DirectoryNames(ProgramGroup()).size(), 3u);
  for (const auto& expected : links) {
    SCOPED_TRACE(expected.file);
    const LinkInfo link = ReadLink(ProgramGroup() + "\\" + expected.file);
    ASSERT_TRUE(link.loaded);
    EXPECT_TRUE(SameText(link.path, expected.target)) << link.path;
    EXPECT_EQ(link.description, expected.description);
    EXPECT_EQ(link.arguments, "");
  }
}

// ---- installation

TEST_F(SetupTest, FirstInstallationWritesSettingsFilesAndShortcuts) {
  StageDownload();
  Install(setup());
  ExpectFreshInstallation(readme_);
}

TEST_F(SetupTest, SecondInstallationResetsSettingsAndReplacesFilesAndShortcuts) {
  StageDownload();
  Install(setup());
  ASSERT_TRUE(ts::SetSettingsDword(kUrlCodeValue, 101));
  ASSERT_TRUE(ts::SetSettingsString(kProxyValue, "proxy.example:8080"));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\Readme.txt", "old read-me"));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\Vantrel.EXE", "old ticker"));
  ASSERT_TRUE(ts::WriteFileText(ProgramGroup() + "\\ReadMe.lnk", "not a link"));

  Install(setup());
  ExpectFreshInstallation(readme_);
}

TEST_F(SetupTest, InstallationFromAFolderHoldingOnlySetupStillMakesTheShortcuts) {
  StageDownload(false);
  Run(setup(), "/install", nullptr,
      (std::string(kInstallText) + kNextLine + "Vantrel.exe" + kMissing + kNextLine + "Readme.txt" +
       kMissing)
          .c_str());
  ExpectFreshInstallation("");
}

TEST_F(SetupTest, ReinstallingOverARunningTickerNamesTheFileItCouldNotReplace) {
  StageDownload();
  Install(setup());
  const std::string installed = "c:\\Vantrel\\Vantrel.EXE";
  ASSERT_TRUE(ts::WriteFileText(download_ + "\\Readme.txt", "a newer read-me"));
  // Held as a running ticker holds it, and open without sharing for writes.
  for (const char* hold : {"mapped as an image", "open"}) {
    SCOPED_TRACE(hold);
    if (std::string(hold) == "open") {
      ASSERT_TRUE(ts::WriteFileText(installed, "old ticker"));
      held_ = CreateFileA(installed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          0, nullptr);
      ASSERT_NE(held_, INVALID_HANDLE_VALUE);
    } else {
      MapAsImage(installed);
    }
    Run(setup(), "/install", nullptr,
        (std::string(kInstallText) + kNextLine + "Vantrel.exe" + kInUse).c_str());
    // The other files were still copied; the old program stays.
    EXPECT_EQ(FileText("c:\\Vantrel\\Readme.txt"), "a newer read-me");
    if (held_ != INVALID_HANDLE_VALUE) {
      EXPECT_EQ(FileText(installed), "old ticker");
    }
    if (mapped_ != nullptr) FreeLibrary(mapped_);
    mapped_ = nullptr;
  }
}

// ---- uninstallation

TEST_F(SetupTest, UninstallFromElsewhereRemovesKeyGroupAndDirectory) {
  StageDownload();
  Install(setup());
  // More than an installation holds: sub-keys, a read-only file, and a
  // subdirectory with hidden and read-only files.
  HKEY key;
  for (const char* sub : {"\\a\\b\\c", "\\d", "\\a\\e"}) {
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, (std::string(kSettingsKey) + sub).c_str(), &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ASSERT_TRUE(SetFileAttributesA("c:\\Vantrel\\Readme.txt", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateDirectoryA("c:\\Vantrel\\logs", nullptr));
  ASSERT_TRUE(CreateDirectoryA("c:\\Vantrel\\logs\\old", nullptr));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\logs\\old\\1.log", "x"));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\logs\\2.log", "y"));
  ASSERT_TRUE(SetFileAttributesA("c:\\Vantrel\\logs\\2.log",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  // The copies of the key that Windows keeps for the ticker in the user's
  // virtual store, in both forms, and neighbours there that are not its own.
  const std::string store = "Software\\Classes\\VirtualStore";
  const std::string software = store + "\\MACHINE\\SOFTWARE";
  const std::string copies[] = {software + "\\Vantrel", software + "\\WOW6432Node\\Vantrel"};
  const std::string neighbours[] = {software + "\\VantrelOther", software + "\\WOW6432Node\\Other"};
  struct StoreRestorer {  // the whole store when the test made it, else what it added
    std::vector<std::string> made;
    ~StoreRestorer() {
      for (const std::string& path : made) {
        CUninstallDlg().RemoveRegistryTree(HKEY_CURRENT_USER, path.c_str());
      }
    }
  } restoreStore{KeyExists(HKEY_CURRENT_USER, store)
                     ? std::vector<std::string>{copies[0], copies[1], neighbours[0], neighbours[1]}
                     : std::vector<std::string>{store}};
  for (const std::string& path : {copies[0] + "\\sub", copies[1], neighbours[0], neighbours[1]}) {
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  Uninstall(setup());

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  for (const std::string& path : copies) EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path)) << path;
  for (const std::string& path : neighbours)
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path)) << path;
  EXPECT_FALSE(ts::FileExists(ProgramGroup()));
  EXPECT_FALSE(ts::FileExists(kProgramDir));
  EXPECT_TRUE(ts::FileExists(setup()));
  // Nothing was refused, yet the installed Setup and the directory are handed
  // to the platform all the same (NT form), file first.
  const std::vector<std::string> pending = NewPendingDeletions();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_TRUE(SameText(pending[0], "c:\\Vantrel\\Setup.exe"));
  EXPECT_TRUE(SameText(pending[1], "c:\\Vantrel"));
}

TEST_F(SetupTest, UninstallThroughItsShortcutSchedulesWhatIsInUse) {
  StageDownload();
  Install(setup());
  // The ticker runs, and the read-me is open in an editor that does not
  // share deletion.
  MapAsImage("c:\\Vantrel\\Vantrel.EXE");
  held_ = CreateFileA("c:\\Vantrel\\Readme.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held_, INVALID_HANDLE_VALUE);

  // What the shortcut starts: the installed Setup, without arguments.
  const LinkInfo shortcut = ReadLink(ProgramGroup() + "\\Uninstall.lnk");
  ASSERT_TRUE(shortcut.loaded);
  ASSERT_EQ(shortcut.arguments, "");
  Uninstall(shortcut.path);

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_FALSE(ts::FileExists(ProgramGroup()));
  // The running Setup and the mapped ticker are refused with access denied
  // and scheduled; the file held open is refused for sharing and stays
  // unscheduled; the directory stays because it is not empty.
  EXPECT_EQ(DirectoryNames(kProgramDir).size(), 3u);
  std::vector<std::string> pending = NewPendingDeletions();
  ASSERT_EQ(pending.size(), 4u);
  // The walk's order decides which refused file comes first; then the
  // installed Setup once more, then the directory.
  if (SameText(pending[0], "c:\\Vantrel\\Vantrel.EXE")) std::swap(pending[0], pending[1]);
  const char* expected[] = {"c:\\Vantrel\\Setup.exe", "c:\\Vantrel\\Vantrel.EXE",
                            "c:\\Vantrel\\Setup.exe", "c:\\Vantrel"};
  for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(SameText(pending[i], expected[i])) << pending[i];
}

TEST_F(SetupTest, Windows95FamilyAppendsShortPathsToTheRenameSection) {
  StageDownload();
  Install(setup());
  UseWin98ForSetup();
  ASSERT_TRUE(ts::WriteFileText(
      WininitPath(), "[rename]\r\nC:\\NEW.DLL=C:\\TEMP~1.DLL\r\nNUL=C:\\OLDFILE.TXT\r\n"));
  const std::string setupShort = ShortPath("c:\\Vantrel\\Setup.exe");
  const std::string dirShort = ShortPath(kProgramDir);
  ASSERT_FALSE(setupShort.empty());
  ASSERT_FALSE(dirShort.empty());

  // The usual case: the installed copy removes everything but itself.
  Uninstall("c:\\Vantrel\\Setup.exe");

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_EQ(DirectoryNames(kProgramDir), std::vector<std::string>{"Setup.exe"});
  const std::vector<std::string> expected = {
      "C:\\NEW.DLL=C:\\TEMP~1.DLL", "NUL=C:\\OLDFILE.TXT", "NUL=" + setupShort,
      "NUL=" + setupShort,          "NUL=" + dirShort,
  };
  EXPECT_EQ(RenameLines(), expected);
  EXPECT_TRUE(NewPendingDeletions().empty());
}

TEST_F(SetupTest, Windows95FamilyWritesNothingWhenEverythingWentAtOnce) {
  StageDownload();
  Install(setup());
  UseWin98ForSetup();
  ASSERT_TRUE(ts::WriteFileText(WininitPath(), "[rename]\r\nNUL=C:\\OLDFILE.TXT\r\n"));

  Uninstall(setup());

  // No short path can be formed for what no longer exists.
  EXPECT_FALSE(ts::FileExists(kProgramDir));
  EXPECT_EQ(RenameLines(), std::vector<std::string>{"NUL=C:\\OLDFILE.TXT"});
}

TEST_F(SetupTest, Windows95FamilyLeavesARenameSectionTooLargeToReadIntact) {
  StageDownload();
  Install(setup());
  UseWin98ForSetup();
  // Writing back the part that could be read would drop the rest.
  std::string full = "[rename]\r\n";
  for (int i = 0; i < 1500; ++i) full += "NUL=C:\\SCHEDULED\\FILE" + std::to_string(i) + ".TXT\r\n";
  ASSERT_GT(full.size(), 32767u);
  ASSERT_TRUE(ts::WriteFileText(WininitPath(), full));

  Uninstall("c:\\Vantrel\\Setup.exe");

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_EQ(FileText(WininitPath()), full);
}

TEST_F(SetupTest, DecliningTheConfirmationChangesNothing) {
  StageDownload();
  Install(setup());
  const std::string installed = Installation();
  ASSERT_NE(installed.find("Uninstall.lnk"), std::string::npos);
  const std::string pending = RawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending);

  const struct {
    const char* how;
    std::function<void(HWND)> answer;
  } ways[] = {
      {"Cancel", [](HWND d) { PostMessageA(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0); }},
      {"Esc", [](HWND d) { PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    Run(setup(), "", way.answer, nullptr);
    EXPECT_EQ(Installation(), installed);
    EXPECT_EQ(RawValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending), pending);
  }
  // "UnInstall" with other capitals installs again instead of asking.
  Run(setup(), "/uninstall", nullptr, kInstallText);
  EXPECT_EQ(Installation(), installed);
}

// ---- the uninstaller's helpers in-process

TEST_F(SetupTest, RegistryTreeGoesWithAllItsSubKeys) {
  CUninstallDlg uninstall;
  const std::string root = kTestKey;
  HKEY key;
  for (const char* sub : {"\\a\\b\\c\\d", "\\a\\b2", "\\Z", "\\z\\y", "\\m m\\n.n", "Sibling"}) {
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (root + sub).c_str(), &key), ERROR_SUCCESS);
    RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(key);
  }
  EXPECT_EQ(uninstall.RemoveRegistryTree(HKEY_CURRENT_USER, (root + "\\none").c_str()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, root + "\\a\\b\\c\\d"));

  EXPECT_EQ(uninstall.RemoveRegistryTree(HKEY_CURRENT_USER, kTestKey), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, root));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, root + "Sibling"));
  uninstall.RemoveRegistryTree(HKEY_CURRENT_USER, (root + "Sibling").c_str());

  // An empty name stands for the opened key itself.
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (root + "\\child\\grandchild").c_str(), &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(uninstall.RemoveRegistryTree(key, ""), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, root));
}

// Sees chosen entries as reparse points, as Windows reports a junction or a
// symlink (Wine can make neither).
class LinkSeeingUninstall : public CUninstallDlg {
 protected:
  DWORD EntryAttributes(const WIN32_FIND_DATAA& entry) override {
    DWORD attributes = entry.dwFileAttributes;
    if (std::strncmp(entry.cFileName, "link", 4) == 0) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
  }
};

TEST_F(SetupTest, LinksInsideTheDirectoryAreRemovedWithoutTouchingTheirTargets) {
  const std::string root = download_ + "\\tree";
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  // "linkdir" stands for a junction to a folder elsewhere, whose contents
  // must stay; as a real folder its removal fails here, where a real
  // junction would simply go.
  ASSERT_TRUE(CreateDirectoryA((root + "\\linkdir").c_str(), nullptr));
  const struct {
    const char* name;
    DWORD attributes;
    bool stays;
  } files[] = {
      {"linkdir\\precious.doc", FILE_ATTRIBUTE_READONLY, true},
      // A symlink to a read-only file: the target's attributes must not be
      // cleared to delete the link.
      {"linkfile.txt", FILE_ATTRIBUTE_READONLY, true},
      {"linkplain.txt", FILE_ATTRIBUTE_NORMAL, false},  // a link that can go, goes
      {"plain.txt", FILE_ATTRIBUTE_READONLY, false},
  };
  for (const auto& f : files) {
    ASSERT_TRUE(ts::WriteFileText(root + "\\" + f.name, f.name));
    ASSERT_TRUE(SetFileAttributesA((root + "\\" + f.name).c_str(), f.attributes));
  }

  EXPECT_EQ(LinkSeeingUninstall().RemoveDirectoryTree(root.c_str()), 0);

  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const DWORD attributes = GetFileAttributesA((root + "\\" + f.name).c_str());
    EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES, f.stays);
    if (f.stays) {
      EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, f.attributes);
    }
  }
  EXPECT_TRUE(NewPendingDeletions().empty());  // a refused link is not scheduled either
}

TEST_F(SetupTest, DirectoryEntriesTooLongForThePathBufferAreSkipped) {
  // A 240-character directory path, then an entry that pushes its path past
  // 259 characters (reachable only through the long-path form).
  std::string deep = download_ + "\\tree";
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  const std::string root = deep;
  while (deep.size() < 200) {
    deep += "\\dddddddddd";
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep;
  }
  deep += "\\" + std::string(239 - deep.size(), 'e');
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  const std::string fits = deep + "\\short.txt";
  ASSERT_TRUE(ts::WriteFileText(fits, "x"));
  const std::wstring longName =
      L"\\\\?\\" + std::wstring(deep.begin(), deep.end()) + L"\\" + std::wstring(30, L'n');
  HANDLE file = CreateFileW(longName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  EXPECT_EQ(CUninstallDlg().RemoveDirectoryTree(root.c_str()), 0);
  EXPECT_FALSE(ts::FileExists(fits));
  EXPECT_NE(GetFileAttributesW(longName.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ts::FileExists(deep));
  DeleteFileW(longName.c_str());
}

}  // namespace
