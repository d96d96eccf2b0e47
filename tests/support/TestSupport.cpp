#include "tests/support/TestSupport.h"

#include <shlobj.h>

#include <cstdio>

#include "common/ContractStrings.h"
#include "common/SettingsNames.h"
#include "tests/support/SetupTexts.h"

namespace testsupport {

std::string Env(const char* name) {
  char value[4096];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
  return n == 0 || n >= sizeof(value) ? std::string() : std::string(value, n);
}

std::string BinPath(const char* file) {
  return Env("VANTREL_BIN") + "\\" + file;
}

std::string FeedHost() {
  return "127.0.0.1:" + Env("FEED_PORT");
}

std::string MakeTempDir(const char* prefix) {
  char base[MAX_PATH];
  GetTempPathA(sizeof(base), base);
  for (unsigned i = GetTickCount() & 0xFFFF;; ++i) {
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s%s%u", base, prefix, i);
    if (CreateDirectoryA(path, nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
}

bool RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(child);
      } else if (!DeleteFileA(child.c_str())) {
        RemoveDirectoryA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool ReadFileText(const std::string& path, std::string* text) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  text->clear();
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) text->append(buffer, n);
  fclose(file);
  return true;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && ok;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::string FeedPagePath(const char* categoryName) {
  return Env("TESTBED_FEEDS") + "\\" + EncodeCategoryName(categoryName) + ".xml";
}

bool WriteFeedPage(const char* categoryName, const std::string& body) {
  return WriteFileText(FeedPagePath(categoryName), body);
}

void RemoveFeedPage(const char* categoryName) {
  DeleteFileA(FeedPagePath(categoryName).c_str());
}

static std::vector<std::string> FeedLogLines() {
  std::string text;
  std::vector<std::string> lines;
  if (!ReadFileText(Env("TESTBED_FEEDLOG"), &text)) return lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

size_t FeedLogLineCount() {
  return FeedLogLines().size();
}

std::vector<std::string> FeedLogLinesSince(size_t count) {
  std::vector<std::string> lines = FeedLogLines();
  if (count >= lines.size()) return {};
  return std::vector<std::string>(lines.begin() + static_cast<long>(count), lines.end());
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    // Keep this thread's own windows (if any) responsive while polling.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(20);
  }
}

Child StartProgram(const std::string& exe, const std::string& arguments,
                   const std::string& workDir) {
  Child child;
  std::string commandLine = "\"" + exe + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workDir.empty() ? nullptr : workDir.c_str(), &startup, &child.info)) {
    child.info = PROCESS_INFORMATION{};
  }
  return child;
}

DWORD WaitForExit(Child& child, DWORD timeoutMs) {
  if (!child.Started()) return STILL_ACTIVE;
  if (WaitForSingleObject(child.info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(child.info.hProcess, &code);
  return code;
}

void Stop(Child& child) {
  if (!child.Started()) return;
  if (WaitForSingleObject(child.info.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(child.info.hProcess, 99);
    WaitForSingleObject(child.info.hProcess, 5000);
  }
  CloseHandle(child.info.hThread);
  CloseHandle(child.info.hProcess);
  child.info = PROCESS_INFORMATION{};
}

namespace {
struct EnumState {
  DWORD processId;
  const char* className;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam) {
  EnumState* state = reinterpret_cast<EnumState*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == state->processId &&
      (state->className == nullptr || ClassName(hwnd) == state->className)) {
    state->windows.push_back(hwnd);
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const char* className) {
  EnumState state{processId, className, {}};
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.windows;
}

HWND WaitForWindow(DWORD processId, const char* className,
                   const std::function<bool(const std::string&)>& caption, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND hwnd : TopLevelWindows(processId, className)) {
          if (!IsWindowVisible(hwnd)) continue;
          if (caption && !caption(WindowText(hwnd))) continue;
          found = hwnd;
          return true;
        }
        return false;
      },
      timeoutMs);
  return found;
}

std::string WindowText(HWND hwnd) {
  char text[1024] = "";
  DWORD_PTR result = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, &result);
  text[sizeof(text) - 1] = '\0';
  return text;
}

std::string ClassName(HWND hwnd) {
  char name[256] = "";
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

std::string MessageBoxText(HWND box) {
  return WindowText(GetDlgItem(box, 0xFFFF));
}

void CloseMessageBox(HWND box) {
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

static void DeleteKeyTree(HKEY parent, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char child[256];
  DWORD size = sizeof(child);
  while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    DeleteKeyTree(key, child);
    size = sizeof(child);
  }
  RegCloseKey(key);
  RegDeleteKeyA(parent, name);
}

std::string ProgramGroup() {
  char folder[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAMS, FALSE);
  return std::string(folder) + "\\Vantrel";
}

void RemoveInstallation() {
  DeleteSettingsKey();
  if (FileExists(kProgramDir)) RemoveTree(kProgramDir);
  if (FileExists(ProgramGroup())) RemoveTree(ProgramGroup());
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void DeleteSettingsKey() {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, kSettingsKey);
}

void CreateSettingsKey() {
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, &key) == ERROR_SUCCESS) RegCloseKey(key);
}

static bool SetSettingsValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsKey, &key) != ERROR_SUCCESS) return false;
  const bool ok =
      RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool SetSettingsDword(const char* name, DWORD value) {
  return SetSettingsValue(name, REG_DWORD, &value, sizeof(value));
}

bool SetSettingsString(const char* name, const char* value) {
  return SetSettingsValue(name, REG_SZ, value, static_cast<DWORD>(strlen(value) + 1));
}

static bool GetSettingsValue(const char* name, DWORD wantedType, void* data, DWORD* size) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  const bool ok = RegQueryValueExA(key, name, nullptr, &type, static_cast<BYTE*>(data), size) ==
                      ERROR_SUCCESS &&
                  type == wantedType;
  RegCloseKey(key);
  return ok;
}

bool GetSettingsDword(const char* name, DWORD* value) {
  DWORD size = sizeof(*value);
  return GetSettingsValue(name, REG_DWORD, value, &size) && size == sizeof(*value);
}

bool GetSettingsString(const char* name, std::string* value) {
  char text[2048] = "";
  DWORD size = sizeof(text) - 1;
  if (!GetSettingsValue(name, REG_SZ, text, &size)) return false;
  text[size] = '\0';
  *value = text;
  return true;
}

bool SetRawSetting(const char* name, DWORD type, const std::string& data) {
  const std::string bytes = data + 'Z';
  return SetSettingsValue(name, type, bytes.data(), static_cast<DWORD>(data.size()));
}

bool ReadRawSettings(std::vector<RawSetting>* values) {
  values->clear();
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name, type = 0, size = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      break;
    }
    std::string data(size, '\0');
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    data.resize(size);
    values->push_back({name, type, data});
  }
  RegCloseKey(key);
  return true;
}

void RestoreSettings(bool existed, const std::vector<RawSetting>& values) {
  DeleteSettingsKey();
  if (!existed) return;
  CreateSettingsKey();
  for (const RawSetting& v : values) SetRawSetting(v.name.c_str(), v.type, v.data);
}

}  // namespace testsupport
