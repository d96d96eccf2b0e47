// System benchmark driver, run under Wine in the test bed: start-up time of
// Vantrel.exe beside a minimal dialog program, the time of one "Reload NEWS"
// pass for a twenty-item page and a 1 MiB page, and the memory of both
// programs after start-up and after many reloads.
//
//   bench_driver.exe RESULTS_FILE [START_RUNS] [RELOADS] [BIG_RELOADS]
//
// Writes one "key value" line per figure to RESULTS_FILE (the shell side adds
// its curl figures and the summary). Times come from QueryPerformanceCounter,
// taken in this process around CreateProcess or PostMessage and a bounded
// poll of the window's caption every millisecond.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/ContractStrings.h"
#include "resource.h"
#include "tests/support/Ticker.h"

using namespace testsupport;

namespace {

constexpr int kTwentyCode = 282;  // "India news"
constexpr int kBigCode = 276;     // "Europe news"
constexpr size_t kBigPageBytes = 1024 * 1024;
constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kPassTimeoutMs = 120000;
// Growth of the peak working set over the reloads above which the figure is
// flagged: allocation noise stays well below it, a leak of one feed buffer or
// of the label texts per pass does not.
constexpr double kGrowthBoundPercent = 10.0;

FILE* results = nullptr;

void Put(const char* key, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Put(const char* key, const char* format, ...) {
  char value[512];
  va_list args;
  va_start(args, format);
  vsnprintf(value, sizeof(value), format, args);
  va_end(args);
  fprintf(results, "%s %s\n", key, value);
  fflush(results);
  printf("%-40s %s\n", key, value);
  fflush(stdout);
}

[[noreturn]] void Fail(const char* what) {
  if (results != nullptr) fprintf(results, "error %s\n", what);
  fprintf(stderr, "bench_driver: %s\n", what);
  exit(1);
}

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Join(const std::vector<double>& values) {
  std::string text;
  char one[32];
  for (double v : values) {
    snprintf(one, sizeof(one), text.empty() ? "%.1f" : " %.1f", v);
    text += one;
  }
  return text;
}

// The caption of a window of another process as the window manager stores
// it: no message is sent, so this works while the window's thread is busy.
std::string Caption(HWND hwnd) {
  char text[512];
  const int n = GetWindowTextA(hwnd, text, sizeof(text));
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

// Polls every millisecond, up to timeoutMs, for a visible dialog window of the
// process whose caption satisfies the predicate.
HWND PollForWindow(DWORD processId, const std::function<bool(const std::string&)>& caption,
                   DWORD timeoutMs) {
  const double end = NowMs() + timeoutMs;
  do {
    for (HWND hwnd : TopLevelWindows(processId, "#32770")) {
      if (IsWindowVisible(hwnd) && caption(Caption(hwnd))) return hwnd;
    }
    Sleep(1);
  } while (NowMs() < end);
  return nullptr;
}

struct Started {
  Child child;
  HWND window = nullptr;
  double ms = 0;
};

// Starts the program and measures the time from CreateProcess to its window
// showing with a caption the predicate accepts.
Started StartAndTime(const std::string& exe, const std::string& workDir,
                     const std::function<bool(const std::string&)>& shown,
                     const std::string& arguments = "") {
  Started started;
  const double t0 = NowMs();
  started.child = StartProgram(exe, arguments, workDir);
  if (!started.child.Started()) Fail(("cannot start " + exe).c_str());
  started.window = PollForWindow(started.child.info.dwProcessId, shown, kStartTimeoutMs);
  started.ms = NowMs() - t0;
  if (started.window == nullptr) Fail(("no window from " + exe).c_str());
  return started;
}

// Waits until the window's thread has handled everything sent before.
void WaitIdle(HWND window) {
  DWORD_PTR answer;
  if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kPassTimeoutMs, &answer)) {
    Fail("the window does not answer");
  }
}

// Ends a program by the way its user would: Exit for the ticker, the close
// box for the minimal dialog; forced only if it does not end in time.
void End(Started& started, UINT message, WPARAM wParam) {
  PostMessageA(started.window, message, wParam, 0);
  if (WaitForExit(started.child, 15000) == STILL_ACTIVE)
    Put("warning", "a program had to be ended");
  Stop(started.child);
}

struct Memory {
  double peakKiB = 0, workingKiB = 0, privateKiB = 0;
};

Memory MemoryOf(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(process, &counters, sizeof(counters))) Fail("GetProcessMemoryInfo");
  return {counters.PeakWorkingSetSize / 1024.0, counters.WorkingSetSize / 1024.0,
          counters.PagefileUsage / 1024.0};
}

void PutMemory(const char* prefix, const Memory& memory) {
  Put((std::string(prefix) + ".peak_kib").c_str(), "%.0f", memory.peakKiB);
  Put((std::string(prefix) + ".working_kib").c_str(), "%.0f", memory.workingKiB);
  Put((std::string(prefix) + ".private_kib").c_str(), "%.0f", memory.privateKiB);
}

std::string Item(const char* prefix, int n, size_t fill) {
  std::string item = "<item><id>" + std::to_string(n) + "</id><url>http://127.0.0.1/" + prefix +
                     "/story" + std::to_string(n) + ".htm</url>\n<headline_text>" + prefix +
                     " headline number " + std::to_string(n) + "</headline_text>";
  if (fill > 0) {
    item += "<description>";
    for (size_t i = 0; i < fill; ++i) item += "abcdefghijklmnopqrstuvwxyz "[i % 27];
    item += "</description>";
  }
  return item + "</item>\n";
}

// Twenty items as the service sends them; with total > 0, each item carries a
// description that brings the page to exactly total bytes.
std::string FeedPage(const char* prefix, size_t total) {
  const std::string head = "<?xml version=\"1.0\"?>\n<page>\n", tail = "</page>\n";
  std::string page = head;
  for (int n = 1; n <= 20; ++n) page += Item(prefix, n, 0);
  page += tail;
  if (total == 0) return page;
  const size_t tagBytes = sizeof("<description></description>") - 1;
  if (page.size() + 20 * tagBytes > total) Fail("page size too small");
  const size_t fill = total - page.size() - 20 * tagBytes;
  page = head;
  for (int n = 1; n <= 20; ++n) page += Item(prefix, n, fill / 20 + (n == 20 ? fill % 20 : 0));
  return page + tail;
}

std::string HeadlineOne(const char* prefix) {
  return std::string(prefix) + " headline number 1";
}

// One "Reload NEWS" pass as the button runs it. The caption is first set to a
// marker that no pass writes, so that a final caption seen afterwards can only
// come from this pass, however short its loading form was.
double TimedReload(HWND window, bool* sawLoading) {
  DWORD_PTR answer;
  if (!SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("bench: reload posted"),
                           SMTO_NORMAL, 5000, &answer)) {
    Fail("cannot set the marker caption");
  }
  const double t0 = NowMs();
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_RELOAD_NEWS, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_RELOAD_NEWS)));
  const double end = t0 + kPassTimeoutMs;
  *sawLoading = false;
  for (;;) {
    const std::string caption = Caption(window);
    if (caption.find("(Loading...)") != std::string::npos) *sawLoading = true;
    if (IsFinalCaption(caption)) break;
    if (NowMs() > end) Fail("a reload did not end");
    Sleep(1);
  }
  const double ms = NowMs() - t0;
  WaitIdle(window);  // the handler has returned (feed file deleted, window repainted)
  return ms;
}

struct ReloadSeries {
  std::vector<double> ms;
  int loadingSeen = 0;
};

ReloadSeries Reloads(HWND window, int count) {
  ReloadSeries series;
  for (int i = 0; i < count; ++i) {
    bool loading = false;
    series.ms.push_back(TimedReload(window, &loading));
    series.loadingSeen += loading ? 1 : 0;
  }
  return series;
}

void PutSeries(const char* prefix, const ReloadSeries& series) {
  std::vector<double> sorted = series.ms;
  std::sort(sorted.begin(), sorted.end());
  Put((std::string(prefix) + ".passes").c_str(), "%lu", static_cast<unsigned long>(sorted.size()));
  Put((std::string(prefix) + ".median_ms").c_str(), "%.2f", Median(sorted));
  Put((std::string(prefix) + ".min_ms").c_str(), "%.2f", sorted.front());
  Put((std::string(prefix) + ".p90_ms").c_str(), "%.2f", sorted[sorted.size() * 9 / 10]);
  Put((std::string(prefix) + ".max_ms").c_str(), "%.2f", sorted.back());
  Put((std::string(prefix) + ".loading_form_seen").c_str(), "%d", series.loadingSeen);
}

// The download alone, inside Wine: a session, the request with the ticker's
// flags and reads of 1023 bytes into memory, as the ticker's download makes
// them but without its file and label work. The median over runs, in ms.
double WinInetFetchMedian(const std::string& url, int runs) {
  std::vector<double> ms;
  for (int run = 0; run <= runs; ++run) {  // run 0 is a warm-up
    const double t0 = NowMs();
    HINTERNET session =
        InternetOpenA("DediDodi", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session == nullptr) Fail("InternetOpenA");
    HINTERNET request = InternetOpenUrlA(
        session, url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_ASCII, 0);
    if (request == nullptr) Fail("InternetOpenUrlA");
    char buffer[1024];
    DWORD bytesRead = 0;
    size_t total = 0;
    while (InternetReadFile(request, buffer, sizeof(buffer) - 1, &bytesRead) && bytesRead != 0) {
      total += bytesRead;
    }
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    if (total == 0) Fail("empty fetch");
    if (run > 0) ms.push_back(NowMs() - t0);
  }
  return Median(ms);
}

void CheckTopHeadline(HWND window, const char* prefix) {
  if (Caption(GetDlgItem(window, IDC_HEADLINE_0)) != HeadlineOne(prefix)) {
    Fail(("the top headline is not the page's: " + Caption(GetDlgItem(window, IDC_HEADLINE_0)))
             .c_str());
  }
}

int Argument(int argc, char** argv, int index, int fallback) {
  if (argc <= index) return fallback;
  const int value = atoi(argv[index]);
  return value > 0 && value <= 10000 ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: bench_driver RESULTS_FILE [START_RUNS] [RELOADS] [BIG_RELOADS]\n");
    return 2;
  }
  results = fopen(argv[1], "wb");  // LF lines for the shell side
  if (results == nullptr) Fail("cannot write the results file");
  const int startRuns = Argument(argc, argv, 2, 9);
  const int reloads = Argument(argc, argv, 3, 100);
  const int bigReloads = Argument(argc, argv, 4, 20);

  // The ticker reads its category and the local service from the settings.
  DeleteSettingsKey();
  if (!SetSettingsDword(kUrlCodeValue, kTwentyCode) ||
      !SetSettingsString(kFeedHostValue, FeedHost().c_str())) {
    Fail("cannot write the settings");
  }
  const std::string twenty = FeedPage("Twenty", 0), big = FeedPage("Big", kBigPageBytes);
  if (!WriteFeedPage(GetCategoryName(kTwentyCode), twenty) ||
      !WriteFeedPage(GetCategoryName(kBigCode), big)) {
    Fail("cannot write the feed pages");
  }
  Put("page.twenty.bytes", "%lu", static_cast<unsigned long>(twenty.size()));
  Put("page.twenty.query", "/cgi-local/page?c=%s&o=xml",
      EncodeCategoryName(GetCategoryName(kTwentyCode)).c_str());
  Put("page.big.bytes", "%lu", static_cast<unsigned long>(big.size()));
  Put("page.big.query", "/cgi-local/page?c=%s&o=xml",
      EncodeCategoryName(GetCategoryName(kBigCode)).c_str());

  const std::string ticker = BinPath("Vantrel.exe"), minimal = BinPath("minimal_dialog.exe");
  const auto anyCaption = [](const std::string&) { return true; };

  // ---- start-up, the programs in turn; one discarded warm-up each. The
  // fetching floor is the minimal dialog downloading the twenty-item page
  // once with WinINet before it shows, as the ticker has to.
  const std::string twentyUrl = MakeFeedUrl(FeedHost().c_str(), GetCategoryName(kTwentyCode));
  std::vector<double> tickerMs, minimalMs, fetchingMs;
  Memory minimalMemory;  // of the last run
  for (int run = 0; run <= startRuns; ++run) {
    Started dialog = StartAndTime(minimal, "", anyCaption);
    WaitIdle(dialog.window);
    const Memory memory = MemoryOf(dialog.child.info.hProcess);
    End(dialog, WM_CLOSE, 0);

    Started fetching = StartAndTime(minimal, "", anyCaption, twentyUrl);
    WaitIdle(fetching.window);
    End(fetching, WM_CLOSE, 0);

    const std::string workDir = MakeTempDir("bench");
    Started headlines = StartAndTime(ticker, workDir, IsFinalCaption);
    WaitIdle(headlines.window);
    CheckTopHeadline(headlines.window, "Twenty");
    End(headlines, WM_COMMAND, ID_TRAY_EXIT);
    RemoveTree(workDir);
    if (run == 0) continue;
    minimalMs.push_back(dialog.ms);
    fetchingMs.push_back(fetching.ms);
    tickerMs.push_back(headlines.ms);
    minimalMemory = memory;
  }
  Put("startup.runs", "%d", startRuns);
  Put("startup.minimal.all_ms", "%s", Join(minimalMs).c_str());
  Put("startup.ticker.all_ms", "%s", Join(tickerMs).c_str());
  Put("startup.minimal.median_ms", "%.1f", Median(minimalMs));
  Put("startup.ticker.median_ms", "%.1f", Median(tickerMs));
  Put("startup.ratio", "%.2f", Median(tickerMs) / Median(minimalMs));
  Put("startup.fetching.all_ms", "%s", Join(fetchingMs).c_str());
  Put("startup.fetching.median_ms", "%.1f", Median(fetchingMs));
  Put("startup.fetching_ratio", "%.2f", Median(tickerMs) / Median(fetchingMs));
  PutMemory("memory.minimal", minimalMemory);

  // ---- reloads and memory, in one long-lived ticker.
  const std::string workDir = MakeTempDir("bench");
  Started headlines = StartAndTime(ticker, workDir, IsFinalCaption);
  WaitIdle(headlines.window);
  const Memory afterStart = MemoryOf(headlines.child.info.hProcess);
  PutMemory("memory.ticker.startup", afterStart);

  Reloads(headlines.window, 3);  // warm-up: first connections, first paint of each label
  const ReloadSeries small = Reloads(headlines.window, reloads);
  CheckTopHeadline(headlines.window, "Twenty");
  PutSeries("refresh.twenty", small);
  const Memory afterReloads = MemoryOf(headlines.child.info.hProcess);
  PutMemory("memory.ticker.reloads", afterReloads);
  Put("memory.ticker.reloads.count", "%d", reloads + 3);
  const double growth = 100.0 * (afterReloads.peakKiB - afterStart.peakKiB) / afterStart.peakKiB;
  const double privateGrowth =
      100.0 * (afterReloads.privateKiB - afterStart.privateKiB) / afterStart.privateKiB;
  Put("memory.ticker.peak_growth_percent", "%.1f", growth);
  Put("memory.ticker.private_growth_percent", "%.1f", privateGrowth);
  Put("memory.ticker.growth_bound_percent", "%.0f", kGrowthBoundPercent);
  Put("memory.ticker.growth_flagged", "%s",
      growth > kGrowthBoundPercent || privateGrowth > kGrowthBoundPercent ? "yes" : "no");

  if (!SetSettingsDword(kUrlCodeValue, kBigCode)) Fail("cannot change the category");
  Reloads(headlines.window, 1);  // warm-up
  const ReloadSeries large = Reloads(headlines.window, bigReloads);
  CheckTopHeadline(headlines.window, "Big");
  PutSeries("refresh.big", large);
  PutMemory("memory.ticker.big", MemoryOf(headlines.child.info.hProcess));

  End(headlines, WM_COMMAND, ID_TRAY_EXIT);
  RemoveTree(workDir);

  // The same addresses fetched by WinINet alone, with the ticker ended.
  Put("wininet.twenty.median_ms", "%.2f",
      WinInetFetchMedian(MakeFeedUrl(FeedHost().c_str(), GetCategoryName(kTwentyCode)), reloads));
  Put("wininet.big.median_ms", "%.2f",
      WinInetFetchMedian(MakeFeedUrl(FeedHost().c_str(), GetCategoryName(kBigCode)), bigReloads));
  // The pages stay in the overlay: the shell side fetches them with curl.
  DeleteSettingsKey();
  Put("done", "1");
  fclose(results);
  return 0;
}
