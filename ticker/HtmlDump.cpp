#include "ticker/HtmlDump.h"

#include <cstdio>

#include "ticker/SettingsStore.h"
#include "ticker/TraceLog.h"

InternetSessionCalls g_internetSessionCalls = {InternetOpenA, InternetSetOptionA};

namespace {

constexpr char kAgent[] = "DediDodi";
// Always from the server, never stored in the cache, ASCII transfer.
constexpr DWORD kOpenUrlFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_ASCII;
static_assert(kOpenUrlFlags == 0x84000001, "request flags");

constexpr DWORD kReadBufferSize = 1024;  // one byte kept for the NUL behind the data
constexpr DWORD kProxyTextSize = 1024;

constexpr char kOpenUrlFailedText[] = "InternetOpenUrl failed! Check URL or connection";
constexpr char kProxyWarningText[] =
    "If you are using Proxy to access internet, Please set the proxy server in Preferences "
    "dialog and retry";
constexpr char kProxyWarningCaption[] = "Warning";

}  // namespace

DWORD CHtmlDump::DumpHtml(const char* url, const char* path) {
  TraceLog("CHtmlDump::DumpHtml\n");
  DWORD count = 0;
  if (url == nullptr) return 0;

  HINTERNET session = nullptr;
  // Without a session the file keeps what an earlier download left in it.
  if (InitializeInternet(&session) != 1) return 0;
  ResetOutputFile(path);

  HINTERNET request = InternetOpenUrlA(session, url, nullptr, 0, kOpenUrlFlags, 0);
  if (request == nullptr) {
    MessageBoxA(nullptr, kOpenUrlFailedText, url, MB_OK);
  } else {
    char buffer[kReadBufferSize];
    DWORD bytesRead = 0;
    while (InternetReadFile(request, buffer, kReadBufferSize - 1, &bytesRead) && bytesRead != 0) {
      buffer[bytesRead] = '\0';
      count += bytesRead;
      DumpToFile(path, buffer);
    }
    InternetCloseHandle(request);
  }

  if (CloseInternet(session) != 1) return 0;
  return count;
}

int CHtmlDump::InitializeInternet(HINTERNET* session) {
  TraceLog("CHtmlDump::InitializeInternet\n");
  *session =
      g_internetSessionCalls.openSession(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (*session != nullptr) return 1;

  // The system's settings did not work: try the proxy the user entered. A
  // missing value counts as an empty proxy text and is still tried; a value
  // stored empty means the user has set none, so there is nothing to try.
  char proxy[kProxyTextSize] = "";
  if (GetRegistryString("PROXY", proxy) == 1 && proxy[0] == '\0') {
    MessageBoxA(nullptr, kProxyWarningText, kProxyWarningCaption, MB_OK);
    return 0;
  }

  INTERNET_PROXY_INFO proxyInfo;
  proxyInfo.dwAccessType = INTERNET_OPEN_TYPE_PROXY;
  proxyInfo.lpszProxy = proxy;
  proxyInfo.lpszProxyBypass = proxy;
  if (!g_internetSessionCalls.setOption(nullptr, INTERNET_OPTION_PROXY, &proxyInfo,
                                        sizeof(proxyInfo))) {
    return 0;
  }

  *session =
      g_internetSessionCalls.openSession(kAgent, INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0);
  if (*session != nullptr) return 1;
  MessageBoxA(nullptr, kProxyWarningText, kProxyWarningCaption, MB_OK);
  return 0;
}

void CHtmlDump::ResetOutputFile(const char* path) {
  if (path == nullptr) return;
  FILE* file = std::fopen(path, "w");
  if (file != nullptr) std::fclose(file);
}

void CHtmlDump::DumpToFile(const char* path, const char* text) {
  TraceLog("CHtmlDump::DumpToFile\n");
  if (path == nullptr || text == nullptr) return;
  FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fprintf(file, "%s", text);
  std::fclose(file);
}

int CHtmlDump::CloseInternet(HINTERNET session) {
  return InternetCloseHandle(session) ? 1 : 0;
}
