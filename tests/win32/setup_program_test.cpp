// The real Setup.exe under Wine, run as a child process from a download
// folder: installation, reinstallation, uninstallation with delete-at-restart
// in both platform forms, and the confirmation's way out.
//
// These tests change HKLM\Software\Vantrel, c:\Vantrel, the Start-menu group
// and the pending delete operations of the test prefix; each one starts from
// a clean state and restores what it found.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace ts = testsupport;

namespace {

const char kProgramDir[] = "c:\\Vantrel";
const char kSettingsKey[] = "Software\\Vantrel";
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";
const char kWineAppDefaults[] = "Software\\Wine\\AppDefaults\\Setup.exe";
const char kConfirmCaption[] = "Vantrel NEWS UnInstall";
const char kInstallText[] =
    "Setup complete. \r \n Please start Vantrel from Start->Programs->Vantrel->Vantrel menu. "
    "\r \n Thank you for downloading Vantrel.";
const char kUninstallText[] = "Uninstall Complete. Thank you for using Vantrel.";

bool SameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string ProgramGroup() {
  char folder[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAMS, FALSE);
  return std::string(folder) + "\\Vantrel";
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

// ---- registry

bool KeyExists(HKEY root, const char* path) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

struct RawValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::string data;
  bool operator==(const RawValue& o) const {
    return present == o.present && type == o.type && data == o.data;
  }
};

RawValue ReadValue(HKEY root, const char* keyPath, const char* name) {
  RawValue value;
  HKEY key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.data.assign(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.data[0]),
                         &size) == ERROR_SUCCESS) {
      value.data.resize(size);
      value.present = true;
    }
  }
  RegCloseKey(key);
  return value;
}

void WriteValue(HKEY root, const char* keyPath, const char* name, const RawValue& value) {
  HKEY key;
  if (!value.present) {
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, name);
      RegCloseKey(key);
    }
    return;
  }
  if (RegCreateKeyA(root, keyPath, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                 static_cast<DWORD>(value.data.size()));
  RegCloseKey(key);
}

RawValue Dword(DWORD number) {
  return {true, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

RawValue Text(const std::string& text) {
  return {true, REG_SZ, text + '\0'};
}

// The pending delete operations as (source, target) pairs.
std::vector<std::pair<std::string, std::string>> PendingOperations() {
  std::vector<std::pair<std::string, std::string>> pairs;
  const RawValue value = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
  std::vector<std::string> strings;
  size_t at = 0;
  while (at < value.data.size()) {
    const size_t end = value.data.find('\0', at);
    if (end == std::string::npos) break;
    strings.push_back(value.data.substr(at, end - at));
    at = end + 1;
  }
  // A trailing empty string ends the list.
  for (size_t i = 0; i + 1 < strings.size(); i += 2) pairs.emplace_back(strings[i], strings[i + 1]);
  return pairs;
}

// Sources of pending deletions (empty targets), in order, without "\??\".
std::vector<std::string> PendingDeletions() {
  std::vector<std::string> paths;
  for (const auto& op : PendingOperations()) {
    if (!op.second.empty()) continue;
    paths.push_back(op.first.compare(0, 4, "\\??\\") == 0 ? op.first.substr(4) : op.first);
  }
  return paths;
}

std::vector<std::string> RenameLines() {
  std::vector<char> section(1 << 17, '\0');
  const DWORD n = GetPrivateProfileSectionA("rename", section.data(),
                                            static_cast<DWORD>(section.size()), "wininit.ini");
  std::vector<std::string> lines;
  for (size_t at = 0; at < n && section[at] != '\0';) {
    lines.emplace_back(section.data() + at);
    at += lines.back().size() + 1;
  }
  return lines;
}

// ---- shortcuts

struct LinkInfo {
  bool loaded = false;
  std::string path, description, arguments;
};

LinkInfo ReadLink(const std::string& file) {
  LinkInfo info;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
      WCHAR wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
      if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
        char text[MAX_PATH] = "";
        info.loaded = true;
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        info.path = text;
        text[0] = '\0';
        link->GetDescription(text, sizeof text);
        info.description = text;
        text[0] = '\0';
        link->GetArguments(text, sizeof text);
        info.arguments = text;
      }
      persist->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return info;
}

bool WriteLink(const std::string& file, const char* target, const char* description) {
  CoInitialize(nullptr);
  bool saved = false;
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
      link->SetPath(target);
      link->SetDescription(description);
      WCHAR wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
      saved = SUCCEEDED(persist->Save(wide, TRUE));
      persist->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return saved;
}

struct ExpectedLink {
  const char* file;
  const char* target;
  const char* description;
};

const ExpectedLink kLinks[] = {
    {"Vantrel.lnk", "c:\\Vantrel\\Vantrel.exe", "Vantrel"},
    {"ReadMe.lnk", "c:\\Vantrel\\ReadMe.txt", "ReadMe"},
    {"Uninstall.lnk", "c:\\Vantrel\\Setup.exe", "Uninstall Vantrel"},
};

// ---- files

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

std::string FileText(const std::string& path) {
  std::string text;
  return ts::ReadFileText(path, &text) ? text : std::string("<missing>");
}

void RemoveProgramTree() {
  if (ts::FileExists(kProgramDir)) ts::RemoveTree(kProgramDir);
  if (ts::FileExists(ProgramGroup())) ts::RemoveTree(ProgramGroup());
}

// Everything an installation leaves, to compare two states.
struct Installation {
  bool key = false;
  RawValue urlcode, proxy;
  std::map<std::string, std::string> files;  // name -> content, in c:\Vantrel
  std::map<std::string, std::string> links;  // name -> "target|description"
  bool operator==(const Installation& o) const {
    return key == o.key && urlcode == o.urlcode && proxy == o.proxy && files == o.files &&
           links == o.links;
  }
};

Installation CurrentInstallation() {
  Installation state;
  state.key = KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
  state.urlcode = ReadValue(HKEY_LOCAL_MACHINE, kSettingsKey, "URLCODE");
  state.proxy = ReadValue(HKEY_LOCAL_MACHINE, kSettingsKey, "PROXY");
  for (const std::string& name : DirectoryNames(kProgramDir)) {
    state.files[name] = FileText(std::string(kProgramDir) + "\\" + name);
  }
  for (const std::string& name : DirectoryNames(ProgramGroup())) {
    const LinkInfo link = ReadLink(ProgramGroup() + "\\" + name);
    state.links[name] = link.path + "|" + link.description;
  }
  return state;
}

// ---- the child

// Runs Setup and answers its windows; fails the test on anything unexpected.
class SetupProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pending_ = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
    hadWininit_ = ts::ReadFileText(WininitPath(), &wininit_);
    ts::DeleteSettingsKey();
    RemoveProgramTree();
    RegDeleteKeyA(HKEY_CURRENT_USER, kWineAppDefaults);
    download_ = ts::MakeTempDir("vsetup");
    ASSERT_FALSE(download_.empty());
  }

  void TearDown() override {
    if (mapped_ != nullptr) FreeLibrary(mapped_);
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
    ts::DeleteSettingsKey();
    RemoveProgramTree();
    RegDeleteKeyA(HKEY_CURRENT_USER, kWineAppDefaults);
    WriteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, pending_);
    if (hadWininit_) {
      ts::WriteFileText(WininitPath(), wininit_);
    } else {
      DeleteFileA(WininitPath().c_str());
    }
    ts::RemoveTree(download_);
  }

  // The download folder: copies of the programs and a read-me.
  void StageDownload(bool complete = true) {
    const std::string setup = download_ + "\\Setup.exe";
    ASSERT_TRUE(CopyFileA(ts::BinPath("Setup.exe").c_str(), setup.c_str(), FALSE));
    if (!complete) return;
    ASSERT_TRUE(CopyFileA(ts::BinPath("Vantrel.exe").c_str(), (download_ + "\\Vantrel.exe").c_str(),
                          FALSE));
    // The read-me users get.
    ASSERT_TRUE(ts::ReadFileText(ts::Env("VANTREL_SRC") + "\\res\\Readme.txt", &readme_));
    ASSERT_FALSE(readme_.empty());
    // Notepad shows bare line feeds as one long line.
    for (size_t at = readme_.find('\n'); at != std::string::npos; at = readme_.find('\n', at + 1)) {
      ASSERT_TRUE(at > 0 && readme_[at - 1] == '\r') << "bare line feed at " << at;
    }
    ASSERT_TRUE(ts::WriteFileText(download_ + "\\Readme.txt", readme_));
  }

  // Waits for the child's message box captioned "Setup", checks its text and
  // closes it.
  void AnswerBox(ts::Child& child, const char* text) {
    HWND box = ts::WaitForWindow(child.info.dwProcessId, "#32770",
                                 [](const std::string& caption) { return caption == "Setup"; });
    ASSERT_NE(box, nullptr) << "no \"Setup\" box";
    EXPECT_EQ(ts::MessageBoxText(box), text);
    ts::CloseMessageBox(box);
  }

  void ExpectExitCodeZero(ts::Child& child) {
    EXPECT_EQ(ts::WaitForExit(child), 0u);
    ts::Stop(child);
  }

  void Install(const std::string& setup) {
    ts::Child child = ts::StartProgram(setup, "/install", download_);
    ASSERT_TRUE(child.Started());
    AnswerBox(child, kInstallText);
    ExpectExitCodeZero(child);
  }

  // Starts Setup without an option and answers the confirmation with the
  // given action; expects the completion box only after "OK".
  void Uninstall(const std::string& setup, const std::function<void(HWND)>& answer,
                 bool confirmed) {
    ts::Child child = ts::StartProgram(setup, "", download_);
    ASSERT_TRUE(child.Started());
    HWND confirm =
        ts::WaitForWindow(child.info.dwProcessId, "#32770",
                          [](const std::string& caption) { return caption == kConfirmCaption; });
    ASSERT_NE(confirm, nullptr) << "no confirmation";
    answer(confirm);
    if (confirmed) AnswerBox(child, kUninstallText);
    ExpectExitCodeZero(child);
  }

  static void ClickOk(HWND dialog) { PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); }

  // What a running ticker does to its program file: maps it as an image,
  // so that deleting it is refused with ERROR_ACCESS_DENIED.
  void MapAsImage(const std::string& path) {
    mapped_ = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(mapped_, nullptr);
  }

  void UseWin98ForSetup() {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kWineAppDefaults, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);
  }

  std::string download_;
  std::string readme_;
  RawValue pending_;
  std::string wininit_;
  bool hadWininit_ = false;
  HMODULE mapped_ = nullptr;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

void ExpectFreshInstallation(const std::string& readmeText, bool complete) {
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kSettingsKey, "URLCODE"), Dword(282));
  const RawValue proxy = ReadValue(HKEY_LOCAL_MACHINE, kSettingsKey, "PROXY");
  EXPECT_EQ(proxy, Text(""));
  EXPECT_EQ(proxy.data.size(), 1u);

  std::string setupBytes;
  ASSERT_TRUE(ts::ReadFileText(ts::BinPath("Setup.exe"), &setupBytes));
  EXPECT_EQ(FileText("c:\\Vantrel\\Setup.exe"), setupBytes);
  if (complete) {
    std::string tickerBytes;
    ASSERT_TRUE(ts::ReadFileText(ts::BinPath("Vantrel.exe"), &tickerBytes));
    EXPECT_EQ(FileText("c:\\Vantrel\\Vantrel.EXE"), tickerBytes);
    EXPECT_EQ(FileText("c:\\Vantrel\\Readme.txt"), readmeText);
    EXPECT_EQ(DirectoryNames(kProgramDir).size(), 3u);
  } else {
    EXPECT_EQ(DirectoryNames(kProgramDir), std::vector<std::string>{"Setup.exe"});
  }

  EXPECT_EQ(DirectoryNames(ProgramGroup()).size(), 3u);
  for (const ExpectedLink& expected : kLinks) {
    SCOPED_TRACE(expected.file);
    const LinkInfo link = ReadLink(ProgramGroup() + "\\" + expected.file);
    ASSERT_TRUE(link.loaded);
    EXPECT_TRUE(SameText(link.path, expected.target)) << link.path;
    EXPECT_EQ(link.description, expected.description);
    EXPECT_EQ(link.arguments, "");
  }
}

TEST_F(SetupProgramTest, FirstInstallationWritesSettingsFilesAndShortcuts) {
  StageDownload();
  Install(download_ + "\\Setup.exe");
  ExpectFreshInstallation(readme_.c_str(), true);
  // The Windows name of the ticker is the one the copy gives it.
  EXPECT_TRUE(ts::FileExists("c:\\Vantrel\\Vantrel.EXE"));
}

TEST_F(SetupProgramTest, SecondInstallationResetsSettingsAndReplacesFilesAndShortcuts) {
  StageDownload();
  const std::string setup = download_ + "\\Setup.exe";
  Install(setup);
  // The user picked another category and a proxy; the files and a shortcut
  // changed since.
  ASSERT_TRUE(ts::SetSettingsDword("URLCODE", 101));
  ASSERT_TRUE(ts::SetSettingsString("PROXY", "proxy.example:8080"));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\Readme.txt", "old read-me"));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\Vantrel.EXE", "old ticker"));
  ASSERT_TRUE(WriteLink(ProgramGroup() + "\\ReadMe.lnk", "c:\\elsewhere\\x.txt", "stale"));

  Install(setup);
  ExpectFreshInstallation(readme_.c_str(), true);
}

TEST_F(SetupProgramTest, InstallationFromAFolderHoldingOnlySetupStillMakesTheShortcuts) {
  StageDownload(false);
  Install(download_ + "\\Setup.exe");
  ExpectFreshInstallation("", false);
}

TEST_F(SetupProgramTest, UninstallFromElsewhereRemovesKeyGroupAndDirectory) {
  StageDownload();
  const std::string setup = download_ + "\\Setup.exe";
  Install(setup);
  // More than a fresh installation holds: sub-keys below the settings key, a
  // read-only file, and a subdirectory with its own files.
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Vantrel\\a\\b\\c", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Vantrel\\d", &key), ERROR_SUCCESS);
  RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(key);
  ASSERT_TRUE(SetFileAttributesA("c:\\Vantrel\\Readme.txt", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateDirectoryA("c:\\Vantrel\\logs", nullptr));
  ASSERT_TRUE(CreateDirectoryA("c:\\Vantrel\\logs\\old", nullptr));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\logs\\old\\1.log", "x"));
  ASSERT_TRUE(ts::WriteFileText("c:\\Vantrel\\logs\\2.log", "y"));
  ASSERT_TRUE(SetFileAttributesA("c:\\Vantrel\\logs\\2.log",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  // Keys and files beside ours stay.
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Vantrel2", &key), ERROR_SUCCESS);
  RegCloseKey(key);

  Uninstall(setup, ClickOk, true);

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Vantrel2"));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vantrel2");
  EXPECT_FALSE(ts::FileExists(ProgramGroup()));
  EXPECT_FALSE(ts::FileExists(kProgramDir));
  EXPECT_TRUE(ts::FileExists(setup));
  // Nothing was refused, but the installed Setup and the directory are
  // handed to the platform all the same (NT form: MoveFileExA).
  const std::vector<std::string> pending = PendingDeletions();
  ASSERT_GE(pending.size(), 2u);
  EXPECT_TRUE(SameText(pending[pending.size() - 2], "c:\\Vantrel\\Setup.exe"));
  EXPECT_TRUE(SameText(pending.back(), "c:\\Vantrel"));
}

TEST_F(SetupProgramTest, UninstallThroughItsShortcutSchedulesWhatIsInUse) {
  StageDownload();
  Install(download_ + "\\Setup.exe");
  // The ticker runs (its program file is mapped) and the read-me is open in
  // an editor that does not share deletion.
  MapAsImage("c:\\Vantrel\\Vantrel.EXE");
  held_ = CreateFileA("c:\\Vantrel\\Readme.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held_, INVALID_HANDLE_VALUE);
  const size_t pendingBefore = PendingDeletions().size();

  // The shortcut starts the installed copy without arguments.
  const LinkInfo shortcut = ReadLink(ProgramGroup() + "\\Uninstall.lnk");
  ASSERT_TRUE(shortcut.loaded);
  Uninstall(shortcut.path, ClickOk, true);

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_FALSE(ts::FileExists(ProgramGroup()));
  // The running Setup and the mapped ticker are refused with access denied
  // and scheduled; the file held open is refused for sharing and stays as it
  // is; the directory stays because it is not empty.
  EXPECT_TRUE(ts::FileExists("c:\\Vantrel\\Setup.exe"));
  EXPECT_TRUE(ts::FileExists("c:\\Vantrel\\Vantrel.EXE"));
  EXPECT_TRUE(ts::FileExists("c:\\Vantrel\\Readme.txt"));

  std::vector<std::string> pending = PendingDeletions();
  ASSERT_GE(pending.size(), pendingBefore);
  pending.erase(pending.begin(), pending.begin() + static_cast<long>(pendingBefore));
  // The walk's own order decides where the two refused files come; then the
  // installed Setup once more, then the directory.
  ASSERT_EQ(pending.size(), 4u);
  std::vector<std::string> walked(pending.begin(), pending.begin() + 2);
  const bool setupFirst = SameText(walked[0], "c:\\Vantrel\\Setup.exe");
  EXPECT_TRUE(SameText(walked[setupFirst ? 0 : 1], "c:\\Vantrel\\Setup.exe"));
  EXPECT_TRUE(SameText(walked[setupFirst ? 1 : 0], "c:\\Vantrel\\Vantrel.EXE"));
  EXPECT_TRUE(SameText(pending[2], "c:\\Vantrel\\Setup.exe"));
  EXPECT_TRUE(SameText(pending[3], "c:\\Vantrel"));
}

TEST_F(SetupProgramTest, Windows95FamilyUsesTheRenameSectionWithShortPaths) {
  StageDownload();
  Install(download_ + "\\Setup.exe");
  UseWin98ForSetup();
  // Lines already there stay, in order, ahead of the new ones.
  ASSERT_TRUE(ts::WriteFileText(
      WininitPath(), "[rename]\r\nC:\\NEW.DLL=C:\\TEMP~1.DLL\r\nNUL=C:\\OLDFILE.TXT\r\n"));
  const std::string setupShort = ShortPath("c:\\Vantrel\\Setup.exe");
  const std::string dirShort = ShortPath("c:\\Vantrel");
  ASSERT_FALSE(setupShort.empty());
  ASSERT_FALSE(dirShort.empty());
  const size_t pendingBefore = PendingDeletions().size();

  Uninstall("c:\\Vantrel\\Setup.exe", ClickOk, true);

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_FALSE(ts::FileExists("c:\\Vantrel\\Vantrel.EXE"));
  EXPECT_TRUE(ts::FileExists("c:\\Vantrel\\Setup.exe"));
  const std::vector<std::string> expected = {
      "C:\\NEW.DLL=C:\\TEMP~1.DLL", "NUL=C:\\OLDFILE.TXT", "NUL=" + setupShort,
      "NUL=" + setupShort,          "NUL=" + dirShort,
  };
  EXPECT_EQ(RenameLines(), expected);
  EXPECT_EQ(PendingDeletions().size(), pendingBefore);  // nothing through MoveFileExA
}

TEST_F(SetupProgramTest, Windows95FamilyWritesNothingWhenEverythingWentAtOnce) {
  StageDownload();
  const std::string setup = download_ + "\\Setup.exe";
  Install(setup);
  UseWin98ForSetup();
  const std::string before = "[rename]\r\nNUL=C:\\OLDFILE.TXT\r\n";
  ASSERT_TRUE(ts::WriteFileText(WininitPath(), before));

  Uninstall(setup, ClickOk, true);

  EXPECT_FALSE(ts::FileExists(kProgramDir));
  // No short path can be formed for what no longer exists.
  EXPECT_EQ(RenameLines(), std::vector<std::string>{"NUL=C:\\OLDFILE.TXT"});
}

TEST_F(SetupProgramTest, Windows95FamilyLeavesAFullRenameSectionIntact) {
  StageDownload();
  Install(download_ + "\\Setup.exe");
  UseWin98ForSetup();
  // More lines than the section buffer holds: writing back what could be
  // read would drop the rest.
  std::string full = "[rename]\r\n";
  for (int i = 0; i < 1500; ++i) full += "NUL=C:\\SCHEDULED\\FILE" + std::to_string(i) + ".TXT\r\n";
  ASSERT_GT(full.size(), 32767u);
  ASSERT_TRUE(ts::WriteFileText(WininitPath(), full));

  Uninstall("c:\\Vantrel\\Setup.exe", ClickOk, true);

  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
  EXPECT_EQ(FileText(WininitPath()), full);
}

TEST_F(SetupProgramTest, DecliningTheConfirmationChangesNothing) {
  StageDownload();
  const std::string setup = download_ + "\\Setup.exe";
  Install(setup);
  const Installation installed = CurrentInstallation();
  ASSERT_TRUE(installed.key);
  ASSERT_EQ(installed.files.size(), 3u);
  ASSERT_EQ(installed.links.size(), 3u);
  const RawValue pending = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);

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
    // No box follows: the child ends by itself.
    Uninstall(setup, way.answer, false);
    EXPECT_TRUE(CurrentInstallation() == installed);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue), pending);
  }
  // "UnInstall" with other capitals installs again instead of asking.
  ts::Child child = ts::StartProgram(setup, "/uninstall", download_);
  AnswerBox(child, kInstallText);
  ExpectExitCodeZero(child);
  EXPECT_TRUE(CurrentInstallation() == installed);
}

}  // namespace
