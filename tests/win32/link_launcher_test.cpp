// The link launcher against the real shell and registry under Wine, with the
// recorder program registered as the browser: which road an address takes,
// what command line the browser gets, and that nothing else is ever started.
#include "hyperlink/LinkLauncher.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

// ---- a registry key and everything below it, saved and put back

struct RegValue {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};

struct RegTree {
  bool exists = false;
  std::vector<RegValue> values;
  std::vector<std::pair<std::string, RegTree>> children;
};

RegTree SaveTree(HKEY root, const std::string& path) {
  RegTree tree;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return tree;
  tree.exists = true;
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD nameSize = sizeof(name);
    DWORD type = 0, dataSize = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    RegValue value{name, type, std::vector<BYTE>(dataSize + 2)};
    DWORD size = static_cast<DWORD>(value.data.size());
    RegQueryValueExA(key, value.name.empty() ? nullptr : value.name.c_str(), nullptr, &value.type,
                     value.data.data(), &size);
    value.data.resize(size);
    tree.values.push_back(value);
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof(name);
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    tree.children.emplace_back(name, SaveTree(root, path + "\\" + name));
  }
  RegCloseKey(key);
  return tree;
}

void DeleteTree(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    char name[256];
    DWORD nameSize = sizeof(name);
    std::vector<std::string> children;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
         ++i, nameSize = sizeof(name)) {
      children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children) DeleteTree(root, path + "\\" + child);
  }
  RegDeleteKeyA(root, path.c_str());
}

void RestoreTree(HKEY root, const std::string& path, const RegTree& tree) {
  if (!tree.exists) return;
  HKEY key;
  if (RegCreateKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return;
  for (const RegValue& value : tree.values) {
    RegSetValueExA(key, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                   value.data.data(), static_cast<DWORD>(value.data.size()));
  }
  RegCloseKey(key);
  for (const auto& child : tree.children)
    RestoreTree(root, path + "\\" + child.first, child.second);
}

// Sets the default value of HKCR\path (creating the key); raw bytes, so that
// a value without its terminating NUL can be stored as well.
void SetClassDefault(const std::string& path, const std::string& bytes) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS) << path;
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

std::string WithNul(const std::string& text) {
  return std::string(text.c_str(), text.size() + 1);
}

const char* const kClassKeys[] = {"http", ".htm", "htmlfile"};

class LinkLauncher : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* path : kClassKeys)
      saved_.emplace_back(path, SaveTree(HKEY_CLASSES_ROOT, path));
    dir_ = MakeTempDir("launcher");
    ASSERT_FALSE(dir_.empty());
    log_ = dir_ + "\\browser.log";
    SetEnvironmentVariableA("VANTREL_RECORDER_LOG", log_.c_str());
    recorder_ = "\"" + BinPath("recorder.exe") + "\"";
    ASSERT_TRUE(FileExists(BinPath("recorder.exe")));
  }

  void TearDown() override {
    for (const auto& entry : saved_) {
      DeleteTree(HKEY_CLASSES_ROOT, entry.first);
      RestoreTree(HKEY_CLASSES_ROOT, entry.first, entry.second);
    }
    SetEnvironmentVariableA("VANTREL_RECORDER_LOG", nullptr);
    RemoveTree(dir_);
  }

  // The shell opens http addresses with the recorder.
  void RegisterShellBrowser() {
    SetClassDefault("http\\shell\\open\\command", WithNul(recorder_ + " \"%1\""));
  }
  // The shell knows no http handler: it refuses.
  void RemoveShellBrowser() { DeleteTree(HKEY_CLASSES_ROOT, "http"); }
  void RegisterHtmBrowser(const std::string& command) {
    SetClassDefault(".htm", WithNul("htmlfile"));
    SetClassDefault("htmlfile\\shell\\open\\command", WithNul(command));
  }
  void RemoveHtmBrowser() {
    DeleteTree(HKEY_CLASSES_ROOT, ".htm");
    DeleteTree(HKEY_CLASSES_ROOT, "htmlfile");
  }

  std::vector<std::string> BrowserLines() {
    std::string text;
    std::vector<std::string> lines;
    if (!ReadFileText(log_, &text)) return lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // Waits until the browser has been started count times in all.
  std::vector<std::string> WaitForBrowser(size_t count) {
    WaitUntil([&] { return BrowserLines().size() >= count; });
    return BrowserLines();
  }

  void ClearBrowserLog() { DeleteFileA(log_.c_str()); }

  std::vector<std::pair<std::string, RegTree>> saved_;
  std::string dir_, log_, recorder_;
};

TEST_F(LinkLauncher, ShellOpensAWebAddressAsOneArgument) {
  RegisterShellBrowser();
  RemoveHtmBrowser();  // the shell's road needs no ".htm" association
  const int result = LaunchUrl("http://127.0.0.1/a b?q=\"x\" -evil", SW_SHOW);
  EXPECT_GT(result, 32);
  const std::vector<std::string> lines = WaitForBrowser(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], recorder_ + " \"http://127.0.0.1/a%20b?q=%22x%22%20-evil\"");
}

TEST_F(LinkLauncher, ShellRefusalRunsTheHtmCommandWithTheAddressAppended) {
  RemoveShellBrowser();
  const char address[] = "http://127.0.0.1/p?a=1&b=two words\"\t!";
  const std::string encoded = "http://127.0.0.1/p?a=1&b=two%20words%22%09!";
  const struct {
    const char* name;
    std::string registered;
    std::string started;
  } cases[] = {
      {"quoted placeholder, later option dropped", recorder_ + " -o \"%1\" -x",
       recorder_ + " -o  " + encoded},
      {"bare placeholder", recorder_ + " %1", recorder_ + "  " + encoded},
      {"no placeholder", recorder_, recorder_ + " " + encoded},
  };
  for (const auto& c : cases) {
    RegisterHtmBrowser(c.registered);
    ClearBrowserLog();
    EXPECT_GT(LaunchUrl(address, SW_SHOW), 32) << c.name;
    const std::vector<std::string> lines = WaitForBrowser(1);
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0], c.started) << c.name;
  }
}

TEST_F(LinkLauncher, ShellRefusalWithoutHtmCommandReturnsTheShellsCode) {
  RemoveShellBrowser();
  RemoveHtmBrowser();
  EXPECT_EQ(LaunchUrl("http://127.0.0.1/", SW_SHOW), SE_ERR_NOASSOC);
  SetClassDefault(".htm", WithNul("htmlfile"));  // class without an open command
  EXPECT_EQ(LaunchUrl("http://127.0.0.1/", SW_SHOW), SE_ERR_NOASSOC);
}

TEST_F(LinkLauncher, OnlyWebAddressesStartAnything) {
  // Every road would start the recorder: the shell for http and for local
  // programs, the ".htm" command as the fall-back.
  RegisterShellBrowser();
  RegisterHtmBrowser(recorder_ + " \"%1\"");
  std::string fileUrl = "file:///" + BinPath("recorder.exe");
  for (char& c : fileUrl) {
    if (c == '\\') c = '/';
  }
  const std::string program = BinPath("recorder.exe");
  const std::string refused[] = {
      program,
      "\"" + program + "\"",
      fileUrl,
      "\\\\127.0.0.1\\share\\x.exe",
      "javascript:alert(1)",
      "",
      "http",
  };
  for (const std::string& address : refused) {
    EXPECT_EQ(LaunchUrl(address.c_str(), SW_SHOW), SE_ERR_ACCESSDENIED) << address;
  }
  EXPECT_EQ(LaunchUrl(nullptr, SW_SHOW), SE_ERR_ACCESSDENIED);

  // One allowed address afterwards: it must be the only start recorded.
  EXPECT_GT(LaunchUrl("http://127.0.0.1/after", SW_SHOW), 32);
  const std::vector<std::string> lines = WaitForBrowser(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], recorder_ + " \"http://127.0.0.1/after\"");
}

TEST_F(LinkLauncher, OverlongValuesAndCommandsStartNothing) {
  RemoveShellBrowser();
  // A registered command of 260 characters does not fit the value buffer.
  const std::string command = recorder_ + " " + std::string(258 - recorder_.size(), 'x');
  ASSERT_EQ(command.size(), 259u);
  RegisterHtmBrowser(command + "y");
  EXPECT_EQ(LaunchUrl("http://127.0.0.1/long-command", SW_SHOW), SE_ERR_NOASSOC);

  // A command of 259 characters and an address too long to follow it.
  RegisterHtmBrowser(command);
  const std::string longAddress = "http://127.0.0.1/" + std::string(300, 'a');
  EXPECT_EQ(LaunchUrl(longAddress.c_str(), SW_SHOW), SE_ERR_NOASSOC);

  // The same command with a short address runs, and is the only start.
  EXPECT_GT(LaunchUrl("http://127.0.0.1/short", SW_SHOW), 32);
  const std::vector<std::string> lines = WaitForBrowser(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], command + " http://127.0.0.1/short");
}

TEST(ReadKeyDefault, ReadsUpTo259CharactersAndLeavesTheBufferOtherwise) {
  const char path[] = "Software\\VantrelLinkLauncherTest";
  const struct {
    const char* name;
    std::string stored;  // raw bytes of a REG_SZ default value; empty: no key
    bool read;
  } cases[] = {
      {"259 characters", WithNul(std::string(259, 'a')), true},
      {"empty text", WithNul(""), true},
      {"260 characters", WithNul(std::string(260, 'b')), false},
      {"260 bytes without terminator", std::string(260, 'c'), false},
      {"no key", "", false},
  };
  for (const auto& c : cases) {
    DeleteTree(HKEY_CURRENT_USER, path);
    if (!c.stored.empty()) {
      HKEY key;
      ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
      RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(c.stored.data()),
                     static_cast<DWORD>(c.stored.size()));
      RegCloseKey(key);
    }
    // Guard bytes behind the 260-byte buffer catch a copy that runs past it.
    char out[260 + 16];
    memset(out, '#', sizeof(out));
    strcpy(out, "before");
    const LONG result = ReadKeyDefault(HKEY_CURRENT_USER, path, out);
    EXPECT_EQ(result == ERROR_SUCCESS, c.read) << c.name << ": " << result;
    if (c.read) {
      EXPECT_STREQ(out, c.stored.c_str()) << c.name;
    } else {
      EXPECT_STREQ(out, "before") << c.name;
    }
    EXPECT_EQ(std::string(out + 260, 16), std::string(16, '#')) << c.name;
  }

  // The same buffer may name the key and receive its value.
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("value"), 6);
  RegCloseKey(key);
  char buffer[260];
  strcpy(buffer, path);
  EXPECT_EQ(ReadKeyDefault(HKEY_CURRENT_USER, buffer, buffer), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "value");
  DeleteTree(HKEY_CURRENT_USER, path);
}

}  // namespace
