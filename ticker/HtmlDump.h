// Downloads the body of one address with WinINet into a local file.
#pragma once

#include <windows.h>
#include <wininet.h>

// The two WinINet calls that open the Internet session. Tests replace them to
// walk the proxy fall-back, which a working network never reaches.
struct InternetSessionCalls {
  HINTERNET(WINAPI* openSession)
  (LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR bypass, DWORD flags);
  BOOL(WINAPI* setOption)(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length);
};
extern InternetSessionCalls g_internetSessionCalls;  // InternetOpenA, InternetSetOptionA

// One object per download, on the caller's stack; it holds no state.
class CHtmlDump {
 public:
  // Fetches url (never from the cache) and stores its body in path, replacing
  // what the file held. Returns the number of bytes received, 0 on failure.
  // A null url or no session leaves the file alone; an address that cannot be
  // opened leaves it empty and says so in a message box.
  DWORD DumpHtml(const char* url, const char* path);

  // Opens the session with the system's settings, or failing that through the
  // proxy stored under "PROXY". 1 with *session set, or 0 with it null.
  int InitializeInternet(HINTERNET* session);
  // Creates path or truncates it to length 0.
  void ResetOutputFile(const char* path);
  // Appends one NUL-terminated chunk to path in text mode (LF stored as CR LF).
  void DumpToFile(const char* path, const char* text);
  // 1 when the session handle closed, 0 otherwise.
  int CloseInternet(HINTERNET session);
};
