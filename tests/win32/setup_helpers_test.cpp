// The uninstaller's helpers in-process against the real registry and file
// system: registry trees, directory trees (links inside them included) and
// delete-at-restart in the NT form.
#include "setup/UninstallDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace ts = testsupport;

namespace {

const char kTestKey[] = "Software\\VantrelSetupTest";
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

bool KeyExists(const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void MakeKey(const std::string& path) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS) << path;
  RegSetValueExA(key, "value", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(key);
}

class RegistryTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  void Clean() {
    CUninstallDlg helper;
    helper.RemoveRegistryTree(HKEY_CURRENT_USER, kTestKey);
    helper.RemoveRegistryTree(HKEY_CURRENT_USER, "Software\\VantrelSetupTestSibling");
  }
  CUninstallDlg uninstall_;
};

TEST_F(RegistryTreeTest, RemovesAKeyWithAllItsSubKeys) {
  const std::string root = kTestKey;
  // Deep, wide, and names that sort in different orders.
  for (const char* sub : {"\\a\\b\\c\\d", "\\a\\b2", "\\Z", "\\z\\y", "\\m m\\n.n"}) {
    MakeKey(root + sub);
  }
  MakeKey("Software\\VantrelSetupTestSibling");

  EXPECT_EQ(uninstall_.RemoveRegistryTree(HKEY_CURRENT_USER, kTestKey), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(root));
  EXPECT_TRUE(KeyExists("Software\\VantrelSetupTestSibling"));
}

TEST_F(RegistryTreeTest, AnEmptyNameRemovesTheOpenedKeyItself) {
  const std::string root = kTestKey;
  MakeKey(root + "\\child\\grandchild");
  MakeKey(root + "\\second");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(uninstall_.RemoveRegistryTree(key, ""), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_FALSE(KeyExists(root));
  EXPECT_TRUE(KeyExists("Software"));
}

TEST_F(RegistryTreeTest, AMissingKeyReportsItsErrorAndDeletesNothing) {
  MakeKey(std::string(kTestKey) + "\\kept");
  EXPECT_EQ(uninstall_.RemoveRegistryTree(HKEY_CURRENT_USER, "Software\\VantrelSetupTest\\none"),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(KeyExists(std::string(kTestKey) + "\\kept"));
}

// Sees chosen entries as reparse points, as a junction or symlink would be
// reported on Windows (Wine cannot make either).
class LinkSeeingUninstall : public CUninstallDlg {
 protected:
  DWORD EntryAttributes(const WIN32_FIND_DATAA& entry) override {
    DWORD attributes = entry.dwFileAttributes;
    if (std::strncmp(entry.cFileName, "link", 4) == 0) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
  }
};

class DirectoryTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pending_ = ReadPending();
    base_ = ts::MakeTempDir("vtree");
    ASSERT_FALSE(base_.empty());
    root_ = base_ + "\\Vantrel";
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
  }
  void TearDown() override {
    if (mapped_ != nullptr) FreeLibrary(mapped_);
    if (pendingPresent_) {
      HKEY key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) ==
          ERROR_SUCCESS) {
        RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(pending_.data()),
                       static_cast<DWORD>(pending_.size()));
        RegCloseKey(key);
      }
    } else {
      HKEY key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) ==
          ERROR_SUCCESS) {
        RegDeleteValueA(key, kPendingValue);
        RegCloseKey(key);
      }
    }
    ts::RemoveTree(base_);
  }

  std::string ReadPending() {
    std::string data;
    pendingPresent_ = false;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return data;
    }
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      data.assign(size, '\0');
      RegQueryValueExA(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                       &size);
      data.resize(size);
      pendingPresent_ = true;
    }
    RegCloseKey(key);
    return data;
  }

  // Pending deletions recorded since SetUp, without "\??\".
  std::vector<std::string> NewPendingDeletions() {
    const bool present = pendingPresent_;
    std::vector<std::string> paths = ParseDeletions(ReadPending());
    pendingPresent_ = present;
    const size_t before = ParseDeletions(pending_).size();
    paths.erase(paths.begin(), paths.begin() + static_cast<long>(std::min(before, paths.size())));
    return paths;
  }

  static std::vector<std::string> ParseDeletions(const std::string& multi) {
    std::vector<std::string> strings;
    for (size_t at = 0; at < multi.size();) {
      const size_t end = multi.find('\0', at);
      if (end == std::string::npos) break;
      strings.push_back(multi.substr(at, end - at));
      at = end + 1;
    }
    std::vector<std::string> paths;
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
      if (strings[i].empty() || !strings[i + 1].empty()) continue;
      const std::string& s = strings[i];
      paths.push_back(s.compare(0, 4, "\\??\\") == 0 ? s.substr(4) : s);
    }
    return paths;
  }

  void File(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    const std::string path = root_ + "\\" + relative;
    ASSERT_TRUE(ts::WriteFileText(path, relative)) << path;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
  }
  void Dir(const std::string& relative) {
    ASSERT_TRUE(CreateDirectoryA((root_ + "\\" + relative).c_str(), nullptr)) << relative;
  }
  bool Exists(const std::string& relative) { return ts::FileExists(root_ + "\\" + relative); }

  std::string base_, root_;
  std::string pending_;
  bool pendingPresent_ = false;
  HMODULE mapped_ = nullptr;
  CUninstallDlg uninstall_;
};

TEST_F(DirectoryTreeTest, RemovesFilesOfEveryKindAndNestedDirectories) {
  File("Vantrel.EXE");
  File("Readme.txt", FILE_ATTRIBUTE_READONLY);
  File("hidden.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  Dir("sub");
  File("sub\\a.txt", FILE_ATTRIBUTE_READONLY);
  Dir("sub\\deeper");
  Dir("sub\\deeper\\deepest");
  File("sub\\deeper\\deepest\\b.txt");
  Dir("empty");
  // A sibling whose name begins like ours stays.
  const std::string sibling = base_ + "\\Vantrel2";
  ASSERT_TRUE(CreateDirectoryA(sibling.c_str(), nullptr));
  ASSERT_TRUE(ts::WriteFileText(sibling + "\\keep.txt", "keep"));

  EXPECT_EQ(uninstall_.RemoveDirectoryTree(root_.c_str()), 0);
  EXPECT_FALSE(ts::FileExists(root_));
  EXPECT_TRUE(ts::FileExists(sibling + "\\keep.txt"));
  EXPECT_TRUE(NewPendingDeletions().empty());
}

TEST_F(DirectoryTreeTest, AMissingDirectoryIsNoError) {
  EXPECT_EQ(uninstall_.RemoveDirectoryTree((base_ + "\\none").c_str()), 0);
  EXPECT_TRUE(ts::FileExists(base_));
}

TEST_F(DirectoryTreeTest, AFileInUseIsScheduledAndTheRestGoes) {
  File("other.txt");
  ASSERT_TRUE(
      CopyFileA(ts::BinPath("recorder.exe").c_str(), (root_ + "\\Vantrel.EXE").c_str(), FALSE));
  mapped_ = LoadLibraryExA((root_ + "\\Vantrel.EXE").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(mapped_, nullptr);

  EXPECT_EQ(uninstall_.RemoveDirectoryTree(root_.c_str()), 0);
  EXPECT_FALSE(Exists("other.txt"));
  EXPECT_TRUE(Exists("Vantrel.EXE"));
  const std::vector<std::string> pending = NewPendingDeletions();
  ASSERT_FALSE(pending.empty());
  EXPECT_EQ(lstrcmpiA(pending.back().c_str(), (root_ + "\\Vantrel.EXE").c_str()), 0)
      << pending.back();
}

TEST_F(DirectoryTreeTest, LinksAreRemovedWithoutTouchingTheirTargets) {
  // "linkdir" stands for a junction to a folder elsewhere: the walk must not
  // enter it. Its stand-in is a real folder, so its removal fails here, where
  // a real junction would simply go.
  Dir("linkdir");
  File("linkdir\\precious.doc", FILE_ATTRIBUTE_READONLY);
  // "linkfile" stands for a symlink to a read-only file elsewhere: deleting
  // the link must not clear the target's attributes first.
  File("linkfile.txt", FILE_ATTRIBUTE_READONLY);
  File("linkplain.txt");
  File("plain.txt", FILE_ATTRIBUTE_READONLY);

  LinkSeeingUninstall seeing;
  EXPECT_EQ(seeing.RemoveDirectoryTree(root_.c_str()), 0);

  EXPECT_TRUE(Exists("linkdir\\precious.doc"));
  EXPECT_EQ(
      GetFileAttributesA((root_ + "\\linkdir\\precious.doc").c_str()) & FILE_ATTRIBUTE_READONLY,
      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(Exists("linkfile.txt"));
  EXPECT_EQ(GetFileAttributesA((root_ + "\\linkfile.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(Exists("linkplain.txt"));  // a link that can go, goes
  EXPECT_FALSE(Exists("plain.txt"));      // ordinary files as always
  // A link refused is not handed to the restart either.
  EXPECT_TRUE(NewPendingDeletions().empty());
}

TEST_F(DirectoryTreeTest, EntriesTooLongForThePathBufferAreSkipped) {
  // A directory path of 240 characters, then entry names that push the entry
  // path past 259.
  std::string deep = root_;
  while (deep.size() < 200) {
    deep += "\\dddddddddd";
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep;
  }
  deep += "\\" + std::string(239 - deep.size(), 'e');
  ASSERT_EQ(deep.size(), 240u);
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  const std::string fits = deep + "\\short.txt";  // 250 characters
  ASSERT_TRUE(ts::WriteFileText(fits, "x"));
  // 240 + 1 + 30 characters: reachable only through the long-path form.
  const std::wstring longName =
      L"\\\\?\\" + std::wstring(deep.begin(), deep.end()) + L"\\" + std::wstring(30, L'n');
  HANDLE file = CreateFileW(longName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  EXPECT_EQ(uninstall_.RemoveDirectoryTree(root_.c_str()), 0);
  EXPECT_FALSE(ts::FileExists(fits));
  // The long entry stays, and so do the directories above it.
  EXPECT_NE(GetFileAttributesW(longName.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ts::FileExists(deep));
  DeleteFileW(longName.c_str());
}

TEST_F(DirectoryTreeTest, NtFormSchedulesFilesAndDirectoriesInOrder) {
  File("Setup.exe");
  const std::string setup = root_ + "\\Setup.exe";
  EXPECT_TRUE(uninstall_.DeleteOnReboot(setup.c_str()));
  EXPECT_TRUE(uninstall_.DeleteOnReboot(setup.c_str()));
  EXPECT_TRUE(uninstall_.DeleteOnReboot(root_.c_str()));
  const std::vector<std::string> pending = NewPendingDeletions();
  ASSERT_GE(pending.size(), 3u);
  const std::vector<std::string> last(pending.end() - 3, pending.end());
  EXPECT_EQ(lstrcmpiA(last[0].c_str(), setup.c_str()), 0) << last[0];
  EXPECT_EQ(lstrcmpiA(last[1].c_str(), setup.c_str()), 0) << last[1];
  EXPECT_EQ(lstrcmpiA(last[2].c_str(), root_.c_str()), 0) << last[2];
  // Nothing is deleted before the restart.
  EXPECT_TRUE(Exists("Setup.exe"));
}

}  // namespace
