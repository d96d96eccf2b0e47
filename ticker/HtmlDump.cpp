#include "ticker/HtmlDump.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
constexpr DWORD kChunkSize = kReadBufferSize - 1;
constexpr DWORD kProxyTextSize = 1024;

constexpr char kOpenUrlFailedText[] = "InternetOpenUrl failed! Check URL or connection";
constexpr char kProxyWarningText[] =
    "If you are using Proxy to access internet, Please set the proxy server in Preferences "
    "dialog and retry";
constexpr char kProxyWarningCaption[] = "Warning";
// The retry's bypass list: no host is passed by the proxy.
constexpr char kProxyBypassNone[] = "<-loopback>";

// A NUL-terminated heap copy of the length bytes at text (none: ""), and of
// moreLength bytes at more behind them; free it with std::free. Null when out
// of memory.
char* CopyPart(const char* text, DWORD length, const char* more = nullptr, DWORD moreLength = 0) {
  if (text == nullptr) length = 0;
  if (more == nullptr) moreLength = 0;
  char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(length) + moreLength + 1));
  if (copy == nullptr) return nullptr;
  if (length != 0) std::memcpy(copy, text, length);
  if (moreLength != 0) std::memcpy(copy + length, more, moreLength);
  copy[length + moreLength] = '\0';
  return copy;
}

// The connection and the request of OpenRequest, from the address's parts.
HINTERNET SendRequest(HINTERNET session, INTERNET_PORT port, const char* host, const char* user,
                      const char* password, const char* object, DWORD flags, DWORD timeoutMs,
                      HINTERNET* connection) {
  *connection =
      InternetConnectA(session, host, port, user[0] == '\0' ? nullptr : user,
                       password[0] == '\0' ? nullptr : password, INTERNET_SERVICE_HTTP, flags, 0);
  if (*connection == nullptr) return nullptr;
  const char* acceptTypes[] = {"*/*", nullptr};
  HINTERNET request =
      HttpOpenRequestA(*connection, "GET", object, nullptr, nullptr, acceptTypes, flags, 0);
  if (request != nullptr) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
      InternetSetOptionA(request, option, &timeoutMs, sizeof timeoutMs);
    }
    if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return request;
    InternetCloseHandle(request);
  }
  InternetCloseHandle(*connection);
  *connection = nullptr;
  return nullptr;
}

// Opens url as InternetOpenUrlA would: the same connection, a GET of the path
// with its query, the same flags and accepted types, then the send. Made of
// its parts so that the time-outs can be set on the request before the send:
// set on the session, WinINet does not apply them to InternetOpenUrlA. Null
// when the address cannot be opened, with nothing left open.
HINTERNET OpenRequest(HINTERNET session, const char* url, DWORD timeoutMs, HINTERNET* connection) {
  *connection = nullptr;
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  // Length 1 without a buffer: each part is found in url itself.
  parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength = 1;
  parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!InternetCrackUrlA(url, 0, 0, &parts)) return nullptr;
  DWORD flags = kOpenUrlFlags;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
    flags |= INTERNET_FLAG_SECURE;
  } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
    return nullptr;  // feeds come over HTTP only
  }
  char* host = CopyPart(parts.lpszHostName, parts.dwHostNameLength);
  char* user = CopyPart(parts.lpszUserName, parts.dwUserNameLength);
  char* password = CopyPart(parts.lpszPassword, parts.dwPasswordLength);
  // The path with the query behind it; an address without a path asks for "/".
  char* object = CopyPart(parts.lpszUrlPath, parts.dwUrlPathLength, parts.lpszExtraInfo,
                          parts.dwExtraInfoLength);
  if (object != nullptr && object[0] != '/') {
    char* rooted = CopyPart("/", 1, object, static_cast<DWORD>(std::strlen(object)));
    std::free(object);
    object = rooted;
  }
  HINTERNET request = nullptr;
  if (host != nullptr && user != nullptr && password != nullptr && object != nullptr) {
    request = SendRequest(session, parts.nPort, host, user, password, object, flags, timeoutMs,
                          connection);
  }
  std::free(host);
  std::free(user);
  std::free(password);
  std::free(object);
  return request;
}

// A box the user has to answer: the log is let go first, so that it can be
// read, renamed or deleted meanwhile.
void ShowBox(const char* text, const char* caption) {
  TraceLogRelease();
  MessageBoxA(nullptr, text, caption, MB_OK);
}

// Whether the stored proxy text names a server at all: an entry of the
// list is more than the blanks and semicolons that separate entries.
bool NamesProxyServer(const char* proxy) {
  for (const char* c = proxy; *c != '\0'; ++c) {
    if (*c != ' ' && *c != '\t' && *c != ';') return true;
  }
  return false;
}

// A session that sends every request through the proxy stored under
// "PROXY", or null when none is stored or WinINet refuses it. The bypass
// list is given, and names no host: left out, WinINet would still go
// straight to loopback hosts, and "<local>" would pass every host without a
// dot. "<-loopback>" takes loopback off the list the system adds by itself.
HINTERNET OpenStoredProxySession() {
  char proxy[kProxyTextSize] = "";
  if (GetRegistryString(kProxyValue, proxy) != 1 || !NamesProxyServer(proxy)) return nullptr;
  return g_internetSessionCalls.openSession(kAgent, INTERNET_OPEN_TYPE_PROXY, proxy,
                                            kProxyBypassNone, 0);
}

}  // namespace

DWORD CHtmlDump::DumpHtml(const char* url, const char* path) {
  TraceLog("CHtmlDump::DumpHtml\n");
  DWORD count = 0;
  if (url == nullptr) return 0;

  HINTERNET session = nullptr;
  // Without a session the file keeps what an earlier download left in it.
  if (InitializeInternet(&session) != 1) return 0;
  ResetOutputFile(path);

  bool failed = !Fetch(session, url, path, &count);
  if (failed && !m_sessionThroughProxy) {
    // The system's settings could not reach the address: once more through
    // the proxy the user entered, on a session of its own, so that neither
    // the process's proxy setting nor the next pass's normal path changes.
    HINTERNET proxySession = OpenStoredProxySession();
    if (proxySession != nullptr) {
      TraceLog("CHtmlDump::DumpHtml once more through the stored proxy\n");
      failed = !Fetch(proxySession, url, path, &count);
      InternetCloseHandle(proxySession);
    }
  }
  if (failed) ShowBox(kOpenUrlFailedText, url);

  if (CloseInternet(session) != 1) return 0;
  return count;
}

bool CHtmlDump::Fetch(HINTERNET session, const char* url, const char* path, DWORD* count) {
  HINTERNET connection = nullptr;
  HINTERNET request = OpenRequest(session, url, m_limits.timeoutMs, &connection);
  bool failed = request == nullptr;
  if (request != nullptr) {
    // Each chunk is written once it holds 1023 bytes or the body has ended,
    // as whole reads of 1023 bytes would give. Between the waits for data the
    // size and the time so far are looked at, so neither an endless body nor
    // a server that trickles a byte now and then can hold the pass.
    char buffer[kReadBufferSize];
    DWORD filled = 0;
    const DWORD start = GetTickCount();
    // The read is one run of chunk lines in the log and of chunks in the
    // file: both stay open until it ends, each chunk still written at once.
    TraceLogBurst burst;
    m_out = path != nullptr ? std::fopen(path, "a") : nullptr;
    for (;;) {
      DWORD available = 0;
      if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
        // Nothing arrived: the server accepted and then stayed silent for a
        // whole time-out.
        failed = *count + filled == 0;
        break;
      }
      if (available == 0) break;  // end of the body
      const DWORD wanted =
          std::min({available, kChunkSize - filled, m_limits.maxBytes - *count - filled});
      DWORD bytesRead = 0;
      if (!InternetReadFile(request, buffer + filled, wanted, &bytesRead) || bytesRead == 0) break;
      filled += bytesRead;
      if (filled == kChunkSize) FlushChunk(path, buffer, &filled, count);
      if (*count + filled >= m_limits.maxBytes) {
        FlushChunk(path, buffer, &filled, count);
        TraceLog("CHtmlDump::DumpHtml stopped: the page reached %lu bytes\n",
                 static_cast<unsigned long>(*count));
        break;
      }
      if (GetTickCount() - start > m_limits.totalMs) {
        FlushChunk(path, buffer, &filled, count);
        TraceLog("CHtmlDump::DumpHtml stopped: reading took more than %lu ms\n",
                 static_cast<unsigned long>(m_limits.totalMs));
        break;
      }
    }
    FlushChunk(path, buffer, &filled, count);
    if (m_out != nullptr) std::fclose(m_out);
    m_out = nullptr;
    InternetCloseHandle(request);
  }
  if (connection != nullptr) InternetCloseHandle(connection);
  return !failed;
}

void CHtmlDump::FlushChunk(const char* path, char* buffer, DWORD* filled, DWORD* count) {
  if (*filled == 0) return;
  buffer[*filled] = '\0';
  *count += *filled;
  *filled = 0;
  DumpToFile(path, buffer);
}

int CHtmlDump::InitializeInternet(HINTERNET* session) {
  TraceLog("CHtmlDump::InitializeInternet\n");
  m_sessionThroughProxy = false;
  *session =
      g_internetSessionCalls.openSession(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (*session != nullptr) return 1;

  // The system's settings did not work: try the proxy the user entered. A
  // missing value counts as an empty proxy text and is still tried; a value
  // stored empty means the user has set none, so there is nothing to try.
  char proxy[kProxyTextSize] = "";
  if (GetRegistryString(kProxyValue, proxy) == 1 && proxy[0] == '\0') {
    ShowBox(kProxyWarningText, kProxyWarningCaption);
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
  m_sessionThroughProxy = *session != nullptr;
  if (*session != nullptr) return 1;
  ShowBox(kProxyWarningText, kProxyWarningCaption);
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
  if (m_out != nullptr) {  // held open by the read in progress
    std::fprintf(m_out, "%s", text);
    std::fflush(m_out);
    return;
  }
  FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fprintf(file, "%s", text);
  std::fclose(file);
}

int CHtmlDump::CloseInternet(HINTERNET session) {
  return InternetCloseHandle(session) ? 1 : 0;
}
