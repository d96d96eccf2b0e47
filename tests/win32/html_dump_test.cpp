// Feed download against the test bed's feed service, against servers that
// misbehave on the wire, through a proxy stand-in when the feed host cannot
// be reached, the proxy fall-back through replaced session calls, and
// reading the feed file back.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/ContractStrings.h"
#include "tests/support/HeadlineWindow.h"
#include "ticker/FeedFile.h"
#include "ticker/HtmlDump.h"

using namespace testsupport;

namespace {

constexpr char kOpenUrlFailed[] = "InternetOpenUrl failed! Check URL or connection";
constexpr char kProxyWarning[] =
    "If you are using Proxy to access internet, Please set the proxy server in Preferences "
    "dialog and retry";

struct ShownBox {
  std::string caption;
  std::string text;
};

// Watches for message boxes of this process with the given caption while it
// lives, records their text and closes them with OK (the code under test
// blocks in MessageBoxA on this test's main thread meanwhile).
class BoxWatcher {
 public:
  explicit BoxWatcher(std::string caption) : caption_(std::move(caption)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<ShownBox> Shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }

 private:
  void Run() {
    while (!stop_) {
      HWND box = FindWindowA("#32770", caption_.c_str());
      DWORD pid = 0;
      if (box != nullptr) GetWindowThreadProcessId(box, &pid);
      if (box != nullptr && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          shown_.push_back({caption_, MessageBoxText(box)});
        }
        CloseMessageBox(box);
        WaitUntil([box] { return !IsWindow(box); }, 5000);
      }
      Sleep(10);
    }
  }

  const std::string caption_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<ShownBox> shown_;
  std::thread thread_;
};

// n bytes of line-structured text with printf directives in it (a chunk must
// be written as text, never used as a format).
std::string Body(size_t n) {
  std::string body;
  for (int line = 0; body.size() < n; ++line) {
    body += "<item n=\"" + std::to_string(line) + "\">100% %s %d %n sure</item>\n";
  }
  body.resize(n);
  return body;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string FileText(const std::string& path) {
  std::string text;
  if (!ReadFileText(path, &text)) return "(missing)";
  return text;
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& wanted) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), wanted));
}

class HtmlDumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("FEED_PORT").empty()) << "needs the test bed";
    dir_ = MakeTempDir("htmldump");
    ASSERT_FALSE(dir_.empty());
    path_ = dir_ + "\\test.xml";
  }
  void TearDown() override {
    for (const std::string& name : pages_) RemoveFeedPage(name.c_str());
    RemoveTree(dir_);
  }

  // A page of the feed service under a category name of this test only, and
  // the address the ticker would ask for it.
  std::string ServePage(const std::string& name, const std::string& body) {
    pages_.push_back(name);
    EXPECT_TRUE(WriteFeedPage(name.c_str(), body));
    return MakeFeedUrl(FeedHost().c_str(), name.c_str());
  }

  std::string dir_;
  std::string path_;
  std::vector<std::string> pages_;
};

TEST_F(HtmlDumpTest, StoresTheBodyInChunksWithWidenedLineEnds) {
  struct Case {
    size_t size;
    size_t chunks;  // reads of at most 1023 bytes
  };
  for (const Case& c : {Case{2500, 3}, Case{1023, 1}, Case{1024, 2}, Case{1, 1}}) {
    SCOPED_TRACE(c.size);
    const std::string body = Body(c.size);
    const std::string url = ServePage("Feed download " + std::to_string(c.size), body);
    ASSERT_TRUE(WriteFileText(path_, "an earlier, longer feed that must go entirely\n"));
    ClearTraceLog();

    CHtmlDump dump;
    EXPECT_EQ(dump.DumpHtml(url.c_str(), path_.c_str()), c.size);

    EXPECT_EQ(FileText(path_), WithCrLf(body));
    const std::vector<std::string> trace = TraceLines();
    EXPECT_EQ(CountLines(trace, "CHtmlDump::DumpToFile"), c.chunks);
    EXPECT_EQ(CountLines(trace, "CHtmlDump::DumpHtml"), 1u);
    EXPECT_EQ(CountLines(trace, "CHtmlDump::InitializeInternet"), 1u);
  }
}

TEST_F(HtmlDumpTest, AsksWithTheAddressAndAgentNeverFromTheCache) {
  const std::string name = "Feed download & agent";
  const std::string query = "/cgi-local/page?c=" + EncodeCategoryName(name.c_str()) + "&o=xml";
  const std::string url = ServePage(name, "first answer\n");
  const size_t logStart = FeedLogLineCount();

  CHtmlDump dump;
  EXPECT_EQ(dump.DumpHtml(url.c_str(), path_.c_str()), 13u);
  // The same address again, with a new answer: it must come from the server.
  ASSERT_TRUE(WriteFeedPage(name.c_str(), "second answer\n"));
  EXPECT_EQ(dump.DumpHtml(url.c_str(), path_.c_str()), 14u);
  EXPECT_EQ(FileText(path_), "second answer\r\n");

  std::vector<std::string> requests;
  EXPECT_TRUE(WaitUntil([&] {
    requests = FeedLogLinesSince(logStart);
    return requests.size() >= 2;
  }));
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& line : requests) {
    EXPECT_EQ(line.rfind("GET " + query + " ", 0), 0u) << line;
    EXPECT_NE(line.find(" \"DediDodi\""), std::string::npos) << line;
  }
}

TEST_F(HtmlDumpTest, AnEmptyBodyLeavesAnEmptyFile) {
  const std::string url = ServePage("Feed download empty", "");
  ASSERT_TRUE(WriteFileText(path_, "earlier feed\n"));
  ClearTraceLog();

  CHtmlDump dump;
  EXPECT_EQ(dump.DumpHtml(url.c_str(), path_.c_str()), 0u);
  EXPECT_EQ(FileText(path_), "");
  EXPECT_EQ(CountLines(TraceLines(), "CHtmlDump::DumpToFile"), 0u);
}

TEST_F(HtmlDumpTest, AnAddressThatCannotBeOpenedIsShownAndEmptiesTheFile) {
  const std::string url = "http://127.0.0.1:1/cgi-local/page?c=Refused&o=xml";
  ASSERT_TRUE(WriteFileText(path_, "earlier feed\n"));

  BoxWatcher boxes(url);
  CHtmlDump dump;
  EXPECT_EQ(dump.DumpHtml(url.c_str(), path_.c_str()), 0u);

  const std::vector<ShownBox> shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, kOpenUrlFailed);
  EXPECT_TRUE(FileExists(path_));
  EXPECT_EQ(FileText(path_), "");
}

TEST_F(HtmlDumpTest, NoAddressLeavesTheFileAlone) {
  ASSERT_TRUE(WriteFileText(path_, "earlier feed\n"));
  CHtmlDump dump;
  EXPECT_EQ(dump.DumpHtml(nullptr, path_.c_str()), 0u);
  EXPECT_EQ(FileText(path_), "earlier feed\n");
}

// ---- servers that misbehave on the wire

enum class Wire {
  kEndless,      // answers 200, then sends bytes for as long as it is read
  kTrickle,      // answers 200, then one byte every 100 ms
  kSilent,       // accepts, reads the request, sends nothing
  kHeadersOnly,  // answers 200 and then sends nothing
  kSomeBytes,    // answers 200, sends 1500 bytes and then nothing
  kPage,         // answers 200 with a whole page and closes, as a proxy that reached the feed
};
constexpr char kWireChunk[] = "<headline_text>endless</headline_text>";  // no line feed
constexpr DWORD kSomeBytes = 1500;

// One misbehaving HTTP server on a free port of a loopback address, on a
// thread of its own. It serves one connection at a time until it is
// destroyed; each of its waits is bounded and ends at once when it is
// stopped. It keeps the first line of every request it was sent.
class WireServer {
 public:
  explicit WireServer(Wire wire, const char* ip = "127.0.0.1", std::string page = "")
      : wire_(wire),
        ip_(ip),
        page_(std::move(page)),
        stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(ip);
    int length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        listen(listener_, 4) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
      thread_ = std::thread([this] { Serve(); });
    }
  }
  ~WireServer() {
    Stop();
    if (thread_.joinable()) thread_.join();
    closesocket(listener_);
    CloseHandle(stop_);
    WSACleanup();
  }
  std::string Host() const { return ip_ + ":" + std::to_string(port_); }
  std::string Url() const { return MakeFeedUrl(Host().c_str(), "Wire"); }
  // Closes the connection: a client still reading sees the body end.
  void Stop() { SetEvent(stop_); }
  std::vector<std::string> RequestLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requestLines_;
  }

 private:
  bool Stopped(DWORD waitMs = 0) const { return WaitForSingleObject(stop_, waitMs) == 0; }

  // Whether s becomes readable within 100 ms.
  static bool Readable(SOCKET s) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {0, 100 * 1000};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
  }

  void Serve() {
    while (!Stopped()) {
      if (!Readable(listener_)) continue;
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      Answer(client);
      closesocket(client);
    }
  }

  // Sends all of text; false once the client has gone.
  static bool Send(SOCKET client, const std::string& text) {
    return send(client, text.data(), static_cast<int>(text.size()), 0) ==
           static_cast<int>(text.size());
  }

  void Answer(SOCKET client) {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && !Stopped()) {
      if (!Readable(client)) continue;
      const int n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      request.append(buffer, n);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requestLines_.push_back(request.substr(0, request.find("\r\n")));
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n";
    if (wire_ != Wire::kSilent && !Send(client, head)) return;
    if (wire_ == Wire::kPage) {
      Send(client, page_);
      return;
    }
    if (wire_ == Wire::kEndless) {
      std::string block;
      while (block.size() < 65536) block += kWireChunk;
      while (!Stopped() && Send(client, block)) {
      }
      return;
    }
    if (wire_ == Wire::kSomeBytes) Send(client, std::string(kSomeBytes, 'x'));
    // Paced by the stop event: one byte per 100 ms for the trickle, nothing
    // at all for the others, until the client gives up or the test ends.
    while (!Stopped(100)) {
      if (wire_ == Wire::kTrickle ? !Send(client, "x") : Readable(client)) return;
    }
  }

  const Wire wire_;
  const std::string ip_;
  const std::string page_;
  const HANDLE stop_;
  std::mutex mutex_;
  std::vector<std::string> requestLines_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
};

size_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeLow;
}

TEST_F(HtmlDumpTest, NoServerCanHoldTheDownloadOrFillTheDisk) {
  // Limits lowered so that each case takes a few seconds; the ticker's own
  // are met by the endless body in the next test. The time-out stays well
  // above the trickle's pace even on a loaded machine.
  const DownloadLimits limits = {2000, 2000, 100 * 1000};
  const std::string stopAtSize = "CHtmlDump::DumpHtml stopped: the page reached 100000 bytes";
  const std::string stopInTime = "CHtmlDump::DumpHtml stopped: reading took more than 2000 ms";
  struct Case {
    const char* name;
    Wire wire;
    bool box;              // the failure box, for a server that sent nothing
    std::string stopLine;  // the one line that tells why reading stopped
    DWORD minCount, maxCount;
  };
  const Case cases[] = {
      {"endless body", Wire::kEndless, false, stopAtSize, limits.maxBytes, limits.maxBytes},
      {"trickle", Wire::kTrickle, false, stopInTime, 1, limits.maxBytes - 1},
      {"silent after accepting", Wire::kSilent, true, "", 0, 0},
      {"silent after the headers", Wire::kHeadersOnly, true, "", 0, 0},
      {"silent after some bytes", Wire::kSomeBytes, false, "", kSomeBytes, kSomeBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WireServer server(c.wire);
    const std::string url = server.Url();
    ASSERT_TRUE(WriteFileText(path_, "earlier feed\n"));
    ClearTraceLog();

    BoxWatcher boxes(url);
    std::atomic<bool> done{false};
    DWORD count = 0;
    std::thread download([&] {
      CHtmlDump dump(limits);
      count = dump.DumpHtml(url.c_str(), path_.c_str());
      done = true;
    });
    // The whole bound and one time-out, with room for a loaded machine.
    const bool ended = WaitUntil([&] { return done.load(); }, 20000);
    EXPECT_TRUE(ended) << "the download is still running";
    if (!ended) server.Stop();  // its connection closed, the download ends
    download.join();

    const std::vector<ShownBox> shown = boxes.Shown();
    ASSERT_EQ(shown.size(), c.box ? 1u : 0u);
    for (const ShownBox& box : shown) EXPECT_EQ(box.text, kOpenUrlFailed);
    const std::vector<std::string> trace = TraceLines();
    for (const std::string& line : {stopAtSize, stopInTime}) {
      EXPECT_EQ(CountLines(trace, line), line == c.stopLine ? 1u : 0u) << line;
    }
    // What arrived is kept, and no more than the size allows.
    EXPECT_GE(count, c.minCount);
    EXPECT_LE(count, c.maxCount);
    EXPECT_EQ(FileSize(path_), count);
  }
}

TEST_F(HtmlDumpTest, AnEndlessBodyEndsTheTickersPassWithinItsLimits) {
  struct SettingsRemover {
    ~SettingsRemover() { DeleteSettingsKey(); }
  } removeSettings;  // after the ticker has ended
  WireServer server(Wire::kEndless);
  ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, 282));
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, server.Host().c_str()));
  ClearTraceLog();

  // The pass writes a chunk and a log line per 1023 bytes, which takes a
  // while on a loaded machine; the ticker's own bounds end it within 90 s.
  Ticker ticker;
  ASSERT_TRUE(StartTicker(&ticker, "", 120000)) << "the start-up pass did not end";
  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutA(ticker.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
  // Stopped at the size limit, or, where writing is slow, by the time bound
  // before it: either way once, and the file no larger than the limit.
  const std::vector<std::string> trace = TraceLines();
  const size_t atSize =
      CountLines(trace, "CHtmlDump::DumpHtml stopped: the page reached 4194304 bytes");
  const size_t inTime =
      CountLines(trace, "CHtmlDump::DumpHtml stopped: reading took more than 60000 ms");
  EXPECT_EQ(atSize + inTime, 1u);
  const size_t size = FileSize(ticker.workDir + "\\test.xml");
  EXPECT_LE(size, kDownloadLimits.maxBytes);
  if (atSize == 1) {
    EXPECT_EQ(size, kDownloadLimits.maxBytes);
  }
}

// ---- the stored proxy, for a feed host the system's settings cannot reach

TEST_F(HtmlDumpTest, AnUnreachableFeedHostIsAskedOnceMoreThroughTheStoredProxy) {
  struct SettingsRemover {
    ~SettingsRemover() { DeleteSettingsKey(); }
  } removeSettings;                        // after the ticker has ended
  const char kDeadHost[] = "127.0.0.1:1";  // refused at once
  const char kName[] = "India news";       // the default category
  const std::string url = MakeFeedUrl(kDeadHost, kName);
  std::string page = "<?xml version=\"1.0\"?>\n<page>\n";
  std::vector<std::string> expected(kSlots);
  for (int n = 0; n < 3; ++n) {
    expected[n] = "Through the proxy " + std::to_string(n);
    page += "<item><url>http://127.0.0.1/story" + std::to_string(n) + ".htm</url>";
    page += "<headline_text>" + expected[n] + "</headline_text></item>\n";
  }
  page += "</page>\n";
  // The stand-in on another loopback address answers the absolute address
  // with the page, as a proxy that reached the feed service would.
  auto proxy = std::make_unique<WireServer>(Wire::kPage, "127.0.0.2", page);
  ASSERT_TRUE(SetSettingsDword(kUrlCodeValue, kDefaultCategoryCode));
  ASSERT_TRUE(SetSettingsString(kFeedHostValue, kDeadHost));
  ASSERT_TRUE(SetSettingsString(kProxyValue, proxy->Host().c_str()));

  // The ticker's start-up pass: the headlines come through the proxy, which
  // was asked for the feed's whole address, and no box appears.
  Ticker ticker;
  std::vector<PassBox> boxes;
  ASSERT_TRUE(StartTickerThroughBoxes(&ticker, &boxes));
  EXPECT_TRUE(boxes.empty()) << boxes.size() << " boxes, the first: " << boxes[0].text;
  EXPECT_EQ(SlotTexts(ticker.window), expected);
  EXPECT_EQ(proxy->RequestLines(), std::vector<std::string>{"GET " + url + " HTTP/1.1"});

  // The proxy gone as well: the reload shows the failure box, once.
  proxy.reset();
  boxes.clear();
  ASSERT_TRUE(ReloadAndWait(&ticker, &boxes));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kOpenUrlFailed);
  EXPECT_EQ(boxes[0].caption, url);
  EXPECT_EQ(SlotTexts(ticker.window), std::vector<std::string>(kSlots));

  // A proxy that accepts and stays silent holds the retry no longer than the
  // download's time-out; the box follows. The process's own proxy setting is
  // left alone: the next address that works is fetched directly.
  WireServer silent(Wire::kSilent, "127.0.0.2");
  ASSERT_TRUE(SetSettingsString(kProxyValue, silent.Host().c_str()));
  {
    BoxWatcher watcher(url);
    std::atomic<bool> done{false};
    std::thread download([&] {
      CHtmlDump({2000, 2000, 100 * 1000}).DumpHtml(url.c_str(), path_.c_str());
      done = true;
    });
    const bool ended = WaitUntil([&] { return done.load(); }, 20000);
    EXPECT_TRUE(ended) << "the retry is still waiting";
    if (!ended) silent.Stop();
    download.join();
    EXPECT_EQ(watcher.Shown().size(), 1u);
  }
  const std::string working = ServePage("Feed download after the proxy", "direct\n");
  EXPECT_EQ(CHtmlDump().DumpHtml(working.c_str(), path_.c_str()), 7u);
  EXPECT_EQ(silent.RequestLines().size(), 1u) << "the proxy is asked by the retry only";
}

// ---- the proxy fall-back, through replaced session calls

struct SessionCall {
  std::string agent;
  DWORD accessType;
  bool proxyNull;
  bool bypassNull;
  DWORD flags;
};

struct ProxyOption {
  HINTERNET internet;
  DWORD option;
  DWORD length;
  DWORD accessType;
  std::string proxy;
  std::string bypass;
  bool sameText;
};

struct FakeSession {
  int failOpens = 0;  // this many session opens fail before the real one is used
  bool optionWorks = true;
  std::vector<SessionCall> opens;
  std::vector<ProxyOption> options;
};
FakeSession* g_fake = nullptr;

HINTERNET WINAPI FakeOpen(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR bypass,
                          DWORD flags) {
  g_fake->opens.push_back(
      {agent ? agent : "(null)", accessType, proxy == nullptr, bypass == nullptr, flags});
  if (static_cast<int>(g_fake->opens.size()) <= g_fake->failOpens) return nullptr;
  // A working session for the rest of the download; no real proxy exists here.
  return InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

BOOL WINAPI FakeSetOption(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length) {
  const INTERNET_PROXY_INFO* info = static_cast<const INTERNET_PROXY_INFO*>(buffer);
  g_fake->options.push_back({internet, option, length, info->dwAccessType,
                             info->lpszProxy ? info->lpszProxy : "(null)",
                             info->lpszProxyBypass ? info->lpszProxyBypass : "(null)",
                             info->lpszProxy == info->lpszProxyBypass});
  return g_fake->optionWorks;
}

// Replaces the session calls and the "PROXY" setting for one test and puts
// both back afterwards.
class ProxyFallbackTest : public HtmlDumpTest {
 protected:
  void SetUp() override {
    HtmlDumpTest::SetUp();
    keyExisted_ = KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
    proxyExisted_ = GetSettingsString(kProxyValue, &savedProxy_);
    saved_ = g_internetSessionCalls;
    g_fake = &fake_;
    g_internetSessionCalls = {FakeOpen, FakeSetOption};
  }
  void TearDown() override {
    g_internetSessionCalls = saved_;
    g_fake = nullptr;
    if (!keyExisted_) {
      DeleteSettingsKey();
    } else if (proxyExisted_) {
      SetSettingsString(kProxyValue, savedProxy_.c_str());
    } else {
      RemoveProxyValue();
    }
    HtmlDumpTest::TearDown();
  }

  static void RemoveProxyValue() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, kProxyValue);
      RegCloseKey(key);
    }
  }

  FakeSession fake_;
  InternetSessionCalls saved_{};
  bool keyExisted_ = false;
  bool proxyExisted_ = false;
  std::string savedProxy_;
};

TEST_F(ProxyFallbackTest, ProxyStoredButEmptyWarnsWithoutTryingIt) {
  ASSERT_TRUE(SetSettingsString(kProxyValue, ""));
  fake_.failOpens = 1;
  ASSERT_TRUE(WriteFileText(path_, "earlier feed\n"));

  BoxWatcher warnings("Warning");
  CHtmlDump dump;
  EXPECT_EQ(dump.DumpHtml(ServePage("Feed download proxy", "x\n").c_str(), path_.c_str()), 0u);

  const std::vector<ShownBox> shown = warnings.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, kProxyWarning);
  EXPECT_EQ(fake_.opens.size(), 1u);
  EXPECT_TRUE(fake_.options.empty());
  EXPECT_EQ(FileText(path_), "earlier feed\n");
}

TEST_F(ProxyFallbackTest, TriesTheStoredProxyWhenTheSystemSettingsFail) {
  struct Case {
    const char* name;
    const char* proxy;  // null: no "PROXY" value; "(no key)": no settings key
    int failOpens;
    bool optionWorks;
    size_t expectedOpens;
    std::string expectedList;  // both lists of the proxy record
    bool warned;
    bool downloaded;
  };
  const Case cases[] = {
      {"proxy works", "proxy.test:8080", 1, true, 2, "proxy.test:8080", false, true},
      {"proxy fails too", "proxy.test:8080", 2, true, 2, "proxy.test:8080", true, false},
      {"no value, proxy fails", nullptr, 2, true, 2, "", true, false},
      {"no key, proxy fails", "(no key)", 2, true, 2, "", true, false},
      {"option refused", "proxy.test:8080", 2, false, 1, "proxy.test:8080", false, false},
  };
  const std::string url = ServePage("Feed download proxy", "via proxy\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.proxy == nullptr) {
      ASSERT_TRUE(SetSettingsString(kProxyValue, "placeholder"));
      RemoveProxyValue();
    } else if (std::string(c.proxy) == "(no key)") {
      DeleteSettingsKey();
    } else {
      ASSERT_TRUE(SetSettingsString(kProxyValue, c.proxy));
    }
    fake_ = FakeSession{};
    fake_.failOpens = c.failOpens;
    fake_.optionWorks = c.optionWorks;
    ASSERT_TRUE(WriteFileText(path_, "earlier feed\n"));

    BoxWatcher warnings("Warning");
    CHtmlDump dump;
    const DWORD count = dump.DumpHtml(url.c_str(), path_.c_str());

    const std::vector<ShownBox> shown = warnings.Shown();
    EXPECT_EQ(shown.size(), c.warned ? 1u : 0u);
    for (const ShownBox& box : shown) EXPECT_EQ(box.text, kProxyWarning);
    ASSERT_EQ(fake_.opens.size(), c.expectedOpens);
    for (size_t i = 0; i < fake_.opens.size(); ++i) {
      EXPECT_EQ(fake_.opens[i].agent, "DediDodi");
      EXPECT_EQ(fake_.opens[i].accessType, i == 0 ? 0u : 3u);  // PRECONFIG, then PROXY
      EXPECT_TRUE(fake_.opens[i].proxyNull && fake_.opens[i].bypassNull);
      EXPECT_EQ(fake_.opens[i].flags, 0u);
    }
    ASSERT_EQ(fake_.options.size(), 1u);
    const ProxyOption& option = fake_.options[0];
    EXPECT_EQ(option.internet, nullptr);  // process-wide
    EXPECT_EQ(option.option, 38u);        // INTERNET_OPTION_PROXY
    EXPECT_EQ(option.length, sizeof(INTERNET_PROXY_INFO));
    EXPECT_EQ(option.accessType, 3u);  // INTERNET_OPEN_TYPE_PROXY
    EXPECT_EQ(option.proxy, c.expectedList);
    EXPECT_EQ(option.bypass, c.expectedList);
    EXPECT_TRUE(option.sameText);
    EXPECT_EQ(count, c.downloaded ? 10u : 0u);
    EXPECT_EQ(FileText(path_), c.downloaded ? "via proxy\r\n" : "earlier feed\n");
  }
}

TEST_F(ProxyFallbackTest, AWorkingDefaultSessionNeverLooksAtTheProxy) {
  const std::string url = ServePage("Feed download default", "direct\n");
  for (const char* proxy : {"", "proxy.test:8080"}) {
    ASSERT_TRUE(SetSettingsString(kProxyValue, proxy));
    fake_ = FakeSession{};

    BoxWatcher warnings("Warning");
    CHtmlDump dump;
    EXPECT_EQ(dump.DumpHtml(url.c_str(), path_.c_str()), 7u);
    EXPECT_TRUE(warnings.Shown().empty());
    EXPECT_EQ(fake_.opens.size(), 1u);
    EXPECT_TRUE(fake_.options.empty());
  }
}

// ---- reading the feed file back

TEST_F(HtmlDumpTest, ReadWholeFileGivesTheBytesAndATerminatingNul) {
  struct Case {
    const char* name;
    bool create;
    std::string content;
  };
  const Case cases[] = {
      {"content", true, std::string("<url>a</url>\r\n\x01\xff", 16)},
      {"empty", true, ""},
      {"inner NUL", true, std::string("ab\0cd", 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFileText(path_, c.content));
    char* buffer = reinterpret_cast<char*>(1);
    ASSERT_EQ(ReadWholeFile(path_.c_str(), &buffer), S_OK);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer, c.content.size()), c.content);
    EXPECT_EQ(buffer[c.content.size()], '\0');
    FreeFeedBuffer(buffer);
  }
}

TEST_F(HtmlDumpTest, ReadWholeFileFailsWithoutTheFile) {
  char* buffer = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadWholeFile((dir_ + "\\missing.xml").c_str(), &buffer), E_FAIL);
  EXPECT_EQ(buffer, nullptr);
  buffer = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadWholeFile(dir_.c_str(), &buffer), E_FAIL);  // a directory
  EXPECT_EQ(buffer, nullptr);
}

}  // namespace
