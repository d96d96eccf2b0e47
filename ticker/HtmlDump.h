// Downloads the body of one address with WinINet into a local file.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdio>

// The two WinINet calls that open the Internet session. Tests replace them to
// walk the proxy fall-back, which a working network never reaches.
struct InternetSessionCalls {
  HINTERNET(WINAPI* openSession)
  (LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR bypass, DWORD flags);
  BOOL(WINAPI* setOption)(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length);
};
extern InternetSessionCalls g_internetSessionCalls;  // InternetOpenA, InternetSetOptionA

// What one download may take from the server. Whatever the server does, a
// pass ends: no single wait outlasts the time-out, no page grows past the
// size, no download reads for longer than the whole-download bound.
struct DownloadLimits {
  DWORD timeoutMs;  // connect, send and each wait for data
  DWORD totalMs;    // reading stops once the download has taken longer
  DWORD maxBytes;   // reading stops once the page has reached this size
};
// 30 s, 60 s and 4 MiB: far above what a real feed page needs.
constexpr DownloadLimits kDownloadLimits = {30 * 1000, 60 * 1000, 4 * 1024 * 1024};

// One object per download, on the caller's stack; it holds only its limits.
class CHtmlDump {
 public:
  CHtmlDump() = default;
  // Other limits than the program's own: only the tests use this, to meet a
  // stalled or trickling server in seconds rather than in minutes.
  explicit CHtmlDump(const DownloadLimits& limits) : m_limits(limits) {}

  // Fetches url (never from the cache) and stores its body in path, replacing
  // what the file held. Returns the number of bytes received, 0 on failure.
  // A null url or no session leaves the file alone. An address that cannot be
  // opened with the system's settings, or that times out before sending a
  // byte, is asked once more through the proxy stored under "PROXY", if one
  // is; when that fails too (or there is none) the file stays empty and a
  // message box says so. Reading stops at the limits; what arrived stays.
  DWORD DumpHtml(const char* url, const char* path);

  // Opens the session with the system's settings, or failing that through the
  // proxy stored under "PROXY" (set process-wide). 1 with *session set, or 0
  // with it null.
  int InitializeInternet(HINTERNET* session);
  // Creates path or truncates it to length 0.
  void ResetOutputFile(const char* path);
  // Appends one NUL-terminated chunk to path in text mode (LF stored as CR LF).
  void DumpToFile(const char* path, const char* text);
  // 1 when the session handle closed, 0 otherwise.
  int CloseInternet(HINTERNET session);

 private:
  // One request for url on session, its body appended to path and its size
  // added to *count. False when nothing could be had: the address did not
  // open, or the server sent no byte within the time-out.
  bool Fetch(HINTERNET session, const char* url, const char* path, DWORD* count);
  // Writes the *filled bytes of buffer as one chunk, adds them to *count and
  // empties the buffer. Nothing when it is empty.
  void FlushChunk(const char* path, char* buffer, DWORD* filled, DWORD* count);

  DownloadLimits m_limits = kDownloadLimits;
  bool m_sessionThroughProxy = false;  // InitializeInternet fell back to the stored proxy
  FILE* m_out = nullptr;  // the file being downloaded into, open while the body is read
};
