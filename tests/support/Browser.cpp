#include "tests/support/Browser.h"

#include "tests/support/TestSupport.h"

namespace testsupport {
namespace {
constexpr const char* kKeys[] = {"http", "http\\shell", "http\\shell\\open",
                                 "http\\shell\\open\\command"};

bool KeyExists(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ReadDefault(const char* path, std::string* value) {
  char text[2048];
  LONG size = sizeof(text);
  if (RegQueryValueA(HKEY_CLASSES_ROOT, path, text, &size) != ERROR_SUCCESS) return false;
  text[sizeof(text) - 1] = '\0';
  *value = text;
  return true;
}
}  // namespace

BrowserRecorder::BrowserRecorder() {
  for (const char* path : kKeys) {
    if (!KeyExists(path)) createdKeys_.push_back(path);
  }
  hadCommand_ = ReadDefault(kKeys[3], &savedCommand_);
  hadLogVariable_ = !Env("VANTREL_RECORDER_LOG").empty();
  savedLogVariable_ = Env("VANTREL_RECORDER_LOG");

  dir_ = MakeTempDir("browser");
  log_ = dir_ + "\\browser.log";
  SetEnvironmentVariableA("VANTREL_RECORDER_LOG", log_.c_str());
  const std::string command = "\"" + BinPath("recorder.exe") + "\" \"%1\"";
  registered_ = FileExists(BinPath("recorder.exe")) &&
                RegSetValueA(HKEY_CLASSES_ROOT, kKeys[3], REG_SZ, command.c_str(),
                             static_cast<DWORD>(command.size())) == ERROR_SUCCESS;
}

BrowserRecorder::~BrowserRecorder() {
  if (hadCommand_) {
    RegSetValueA(HKEY_CLASSES_ROOT, kKeys[3], REG_SZ, savedCommand_.c_str(),
                 static_cast<DWORD>(savedCommand_.size()));
  }
  // Keys this object made, innermost first; a key that existed keeps its
  // other values (its default value is put back above).
  for (auto key = createdKeys_.rbegin(); key != createdKeys_.rend(); ++key) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key->c_str());
  }
  SetEnvironmentVariableA("VANTREL_RECORDER_LOG",
                          hadLogVariable_ ? savedLogVariable_.c_str() : nullptr);
  if (!dir_.empty()) RemoveTree(dir_);
}

std::vector<std::string> BrowserRecorder::Opened() const {
  std::string text;
  std::vector<std::string> addresses;
  if (!ReadFileText(log_, &text)) return addresses;
  // Each line is the recorder's command line: "<exe>" "<address>".
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t open = line.rfind(" \"");
    if (open != std::string::npos && line.size() >= open + 3 && line.back() == '"') {
      addresses.push_back(line.substr(open + 2, line.size() - open - 3));
    }
  }
  return addresses;
}

std::vector<std::string> BrowserRecorder::WaitForOpened(size_t count, DWORD timeoutMs) const {
  WaitUntil([&] { return Opened().size() >= count; }, timeoutMs);
  return Opened();
}

}  // namespace testsupport
