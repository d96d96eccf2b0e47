// Helpers shared by the Wine tests and the GUI scenarios: the test bed's
// environment, files, child processes, windows found and driven with
// messages, message boxes, and PNG screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/SettingsNames.h"

namespace testsupport {

// ---- environment and files
std::string Env(const char* name);            // empty when unset
std::string BinPath(const char* file);        // %VANTREL_BIN%\file
std::string FeedHost();                       // "127.0.0.1:<FEED_PORT>"
std::string MakeTempDir(const char* prefix);  // a new empty directory
bool RemoveTree(const std::string& path);     // files and directories below, then path
bool ReadFileText(const std::string& path, std::string* text);
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Writes a page into the feed service's overlay data under the category
// name as the ticker encodes it.
bool WriteFeedPage(const char* categoryName, const std::string& body);
void RemoveFeedPage(const char* categoryName);
// Number of lines in the feed service's access log so far, and the lines
// after a given count.
size_t FeedLogLineCount();
std::vector<std::string> FeedLogLinesSince(size_t count);

// ---- waiting: bounded polls, never fixed sleeps
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 15000);

// ---- child processes
struct Child {
  PROCESS_INFORMATION info{};
  bool Started() const { return info.hProcess != nullptr; }
};
// Starts exe with arguments (appended after the quoted exe path) in workDir
// (current directory when empty).
Child StartProgram(const std::string& exe, const std::string& arguments = "",
                   const std::string& workDir = "");
// Waits for the child to end; its exit code, or STILL_ACTIVE on time-out.
DWORD WaitForExit(Child& child, DWORD timeoutMs = 15000);
// Ends the child if it still runs and closes its handles.
void Stop(Child& child);

// ---- windows
// Visible or hidden top-level windows of a process, optionally of one class.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* className = nullptr);
// Waits for a top-level window of the process whose class matches (null:
// any) and whose caption satisfies the predicate (null: any).
HWND WaitForWindow(DWORD processId, const char* className,
                   const std::function<bool(const std::string&)>& caption = nullptr,
                   DWORD timeoutMs = 15000);
std::string WindowText(HWND hwnd);  // WM_GETTEXT, with a time-out
std::string ClassName(HWND hwnd);
// A message box: its text (the static with id 0xFFFF) and closing it.
std::string MessageBoxText(HWND box);
void CloseMessageBox(HWND box);  // posts WM_COMMAND IDOK

// ---- screenshots (PNG, from the screen as shown)
bool SaveScreenRectPng(const RECT& rect, const std::string& path);
bool SaveWindowPng(HWND hwnd, const std::string& path);
// %VANTREL_SHOTS%\<name>.png, the folder created when missing.
std::string ShotPath(const char* name);
// The screen's pixels under rect, row by row, top row first; empty when any
// of it lies off the screen.
std::vector<COLORREF> ScreenPixels(const RECT& rect);
// The colour of one screen pixel.
COLORREF ScreenPixel(int x, int y);

// ---- registry
bool KeyExists(HKEY root, const std::string& path);
// The settings key is HKLM\<kSettingsKey> (common/SettingsNames.h).
// Deletes it with everything below it.
void DeleteSettingsKey();
void CreateSettingsKey();
bool SetSettingsDword(const char* name, DWORD value);  // creates the key
bool SetSettingsString(const char* name, const char* value);
bool GetSettingsDword(const char* name, DWORD* value);
bool GetSettingsString(const char* name, std::string* value);

// A value of the settings key exactly as stored.
struct RawSetting {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;  // the stored bytes
};
// Stores exactly these bytes, creating the key. The byte after them is not a
// NUL: the system would otherwise count a NUL that follows a string's data as
// part of it.
bool SetRawSetting(const char* name, DWORD type, const std::string& data);
// Every value of the key, in enumeration order; false when the key is missing.
bool ReadRawSettings(std::vector<RawSetting>* values);
// Puts the key back as ReadRawSettings found it: gone when it did not exist,
// otherwise exactly these values.
void RestoreSettings(bool existed, const std::vector<RawSetting>& values);

}  // namespace testsupport
