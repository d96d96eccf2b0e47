#include "ticker/VelquoraDlg.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>

#include "framework/App.h"
#include "hyperlink/AboutBox.h"
#include "resource.h"
#include "ticker/FeedFile.h"
#include "ticker/HeadlineSlots.h"
#include "ticker/HtmlDump.h"
#include "ticker/PreferencesDlg.h"
#include "ticker/SettingsStore.h"
#include "ticker/TraceLog.h"
#include "ticker/core/Caption.h"
#include "ticker/core/ScrollModel.h"

namespace {
constexpr int kWindowWidth = 350;
constexpr int kWindowHeight = 200;
constexpr char kFeedFile[] = "test.xml";
static_assert(kWheelPageScroll == WHEEL_PAGESCROLL, "the system's one-page-per-notch setting");

// The notification-area icon, filled once at start and used unchanged.
NOTIFYICONDATAA g_trayIcon;
// The form with a 128-character tip: 488 bytes on 32-bit Windows, 504 on 64-bit.
constexpr DWORD kTrayIconRecordSize = NOTIFYICONDATAA_V2_SIZE;
static_assert(sizeof(void*) != 4 || kTrayIconRecordSize == 488, "32-bit tray record");

// Broadcast by the shell when the taskbar is created again (after a restart
// of the shell): the icon has to be added anew.
const UINT g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
}  // namespace

BEGIN_MESSAGE_MAP(CVelquoraDlg, CDialog)
ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
ON_MESSAGE(WM_DESTROY, OnDestroy)
ON_MESSAGE(WM_CLOSE, OnClose)
ON_COMMAND(ID_TRAY_EXIT, OnPreferencesExit)
ON_COMMAND(IDC_RELOAD_NEWS, OnReloadNews)
ON_MESSAGE(WM_VSCROLL, OnVScroll)
ON_MESSAGE(WM_MOUSEWHEEL, OnMouseWheel)
ON_MESSAGE(WM_NEXTDLGCTL, OnNextDlgCtl)
ON_MESSAGE(WM_SIZE, OnSize)
ON_MESSAGE(WM_PAINT, OnPaint)
ON_MESSAGE(WM_SETTEXT, OnSetText)
ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
ON_MESSAGE(WM_CTLCOLORDLG, OnCtlColorDialog)
ON_COMMAND(ID_TRAY_PREFERENCES, OnPreferences)
ON_COMMAND(ID_TRAY_ABOUT, OnAbout)
ON_COMMAND(IDC_CHANGE_CATEGORY, OnChangeCategory)
ON_MESSAGE(WM_TRAYNOTIFY, OnTrayNotify)
END_MESSAGE_MAP()

CVelquoraDlg::CVelquoraDlg(CWnd* parent)
    : CDialog(IDD_VANTREL_DIALOG, parent),
      m_hIcon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_hWhiteBrush(nullptr),
      m_exitRequested(0),
      m_startRect{0, 0, 0, 0},
      m_scrollPos(0),
      m_clientHeight(0),
      m_wheelRemainder(0) {
  m_categoryName.Assign(kNoCategoryName);
  Create();
}

CVelquoraDlg::~CVelquoraDlg() = default;

void CVelquoraDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  for (int slot = 0; slot < kHeadlineSlots; ++slot) {
    DDX_Control(dx, kHeadlineSlotControls[slot], m_headlineLinks[slot]);
  }
}

BOOL CVelquoraDlg::OnInitDialog() {
  // Nothing up to the end of the first pass waits for the user (the pass's
  // message boxes let go of the log themselves): one open log for its lines.
  TraceLogBurst burst;
  TraceLog("CVelquoraDlg::OnInitDialog\n");
  CDialog::OnInitDialog();

  ReadCategory();

  CoInitialize(nullptr);  // for the shell; kept for the life of the thread

  char aboutText[256];
  if (LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, aboutText, sizeof(aboutText)) > 0) {
    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
      AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
    }
  }

  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  GetWindowRect(m_hWnd, &m_startRect);
  // Still hidden: the window is activated when it shows, not by its sizing.
  SetWindowPos(m_hWnd, nullptr, 0, 0, kWindowWidth, kWindowHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  const ScrollRange range = StartupScrollRange(FullHeight());
  SetScrollBar(range.minimum, range.maximum, range.page, range.position);
  m_scrollPos = 0;

  AddTrayIcon();
  m_hWhiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

  SYSTEMTIME now;
  GetLocalTime(&now);
  SetCaption(now, true);
  PlaceInCorner();
  ShowWindow(m_hWnd, SW_SHOW);

  TraceLog("Before Get Set URLs\n");
  GetSetURLs();

  TraceLog("After Get Set URLs\n");
  SetCaption(now, false);
  UpdateWindow(m_hWnd);
  return TRUE;
}

// The captions name the category whose address m_feedUrl holds: the one read
// last, or none yet.
void CVelquoraDlg::ReadCategory() {
  DWORD code = 0;
  if (GetRegistryDword(kUrlCodeValue, &code) != 1) return;
  // A code the catalogue does not know counts as no code at all.
  const char* url = CPreferencesDlg::GetCategoryFeedUrl(static_cast<int>(code));
  const char* name = CPreferencesDlg::GetCategoryName(static_cast<int>(code));
  if (url == nullptr || name == nullptr) return;
  char feedUrl[INTERNET_MAX_URL_LENGTH];
  char categoryName[64];
  lstrcpynA(feedUrl, url, sizeof(feedUrl));
  lstrcpynA(categoryName, name, sizeof(categoryName));
  m_feedUrl.Assign(feedUrl);
  m_categoryName.Assign(categoryName);
}

void CVelquoraDlg::SetCaption(const SYSTEMTIME& time, bool loading) {
  char caption[256];
  FormatCaption(caption, sizeof(caption), m_categoryName.c_str(), time.wHour, time.wMinute,
                time.wSecond, loading);
  SetWindowTextA(m_hWnd, caption);
}

void CVelquoraDlg::PlaceInCorner() {
  RECT rect;
  GetWindowRect(m_hWnd, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const CornerPosition at = ::PlaceInCorner(GetSystemMetrics(SM_CXFULLSCREEN),
                                            GetSystemMetrics(SM_CYFULLSCREEN), width, height);
  if (at.left == rect.left && at.top == rect.top) return;  // in its corner already
  MoveWindow(m_hWnd, at.left, at.top, width, height, TRUE);
}

// One refresh pass: download into the feed file, extract up to twenty pairs,
// hand each to its label. Blocks the thread for its whole length, with the
// log open for its lines (its message boxes let go of it).
void CVelquoraDlg::GetSetURLs() {
  TraceLogBurst burst;
  TraceLog("CVelquoraDlg::GetSetURLs\n");
  HCURSOR previousCursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  ScrollToPosition(1);

  CHtmlDump dump;
  dump.DumpHtml(m_feedUrl.c_str(), kFeedFile);  // what counts is what the file holds now
  TraceLog("After DumpHTML\n");

  char* feed = nullptr;
  if (ReadWholeFile(kFeedFile, &feed) != S_OK) {
    SetCursor(previousCursor);
    return;
  }
  HeadlineList headlines;
  const int pairs = ExtractHeadlines(feed, &headlines);
  const int focusedSlot = SlotOf(GetFocus());
  FreeFeedBuffer(feed);
  if (pairs < 0) {  // out of memory: the labels keep what they show
    SetCursor(previousCursor);
    return;
  }

  for (int slot = 0; slot < kHeadlineSlots; ++slot) {
    TraceLog("Set %d value \n", slot);
    m_headlineLinks[slot].MarkVisited(FALSE);
    m_headlineLinks[slot].SetLinkTarget(headlines.Url(slot));
    m_headlineLinks[slot].SetLinkText(headlines.Text(slot));
    // Tab goes to the headlines that have a text, and to no empty slot.
    HWND label = m_headlineLinks[slot].m_hWnd;
    const LONG style = GetWindowLongA(label, GWL_STYLE);
    const LONG wanted = headlines.Text(slot)[0] != '\0' ? style | WS_TABSTOP : style & ~WS_TABSTOP;
    if (wanted != style) SetWindowLongA(label, GWL_STYLE, wanted);
  }
  if (focusedSlot >= 0) KeepFocusOnHeadline(focusedSlot);
  InvalidateRect(m_hWnd, nullptr, TRUE);
  TraceLog("Clearing and before returning from GetSetURLs\n");
  SetCursor(previousCursor);
}

// ---- scrolling and painting of the headline panel

void CVelquoraDlg::SetScrollBar(int minimum, int maximum, int page, int position) {
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);  // 28 bytes
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMin = minimum;
  info.nMax = maximum;
  info.nPage = static_cast<UINT>(page);
  info.nPos = position;
  SetScrollInfo(m_hWnd, SB_VERT, &info, TRUE);
}

void CVelquoraDlg::ScrollToPosition(int pos) {
  const int step = pos - m_scrollPos;
  m_scrollPos = pos;
  // Where the bar and the contents are already, nothing is set: setting them
  // anyway would still repaint the bar and the window.
  if (GetScrollPos(m_hWnd, SB_VERT) != m_scrollPos) MoveThumb(m_scrollPos);
  if (step != 0) ScrollWindow(m_hWnd, 0, -step, nullptr, nullptr);
}

// Sets the bar's position and repaints the bar only if that moved its thumb
// by a pixel: a step of one line often does not, and a repaint of the bar
// redraws the whole frame, which under Wine costs more than the step itself.
void CVelquoraDlg::MoveThumb(int pos) {
  SCROLLBARINFO before = {};
  before.cbSize = sizeof(before);
  SCROLLBARINFO after = before;
  const bool known = GetScrollBarInfo(m_hWnd, OBJID_VSCROLL, &before) != FALSE;
  SetScrollPos(m_hWnd, SB_VERT, pos, FALSE);
  if (known && GetScrollBarInfo(m_hWnd, OBJID_VSCROLL, &after) &&
      after.xyThumbTop == before.xyThumbTop && after.xyThumbBottom == before.xyThumbBottom &&
      std::memcmp(after.rgstate, before.rgstate, sizeof(after.rgstate)) == 0) {
    return;  // the bar looks as it did
  }
  // The bar's rectangle, from the screen into client coordinates, where a
  // frame repaint takes it.
  RECT bar = before.rcScrollBar;
  MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&bar), 2);
  RedrawWindow(m_hWnd, known ? &bar : nullptr, nullptr,
               RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
}

LRESULT CVelquoraDlg::OnVScroll(WPARAM wParam, LPARAM) {
  int step = 0;
  if (!ScrollStep(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), m_scrollPos, FullHeight(),
                  m_clientHeight, &step)) {
    return 0;
  }
  ScrollToPosition(m_scrollPos + step);
  return Default();
}

// A wheel notch over any of the window's controls comes here too: the
// controls pass what they do not handle on to their parent.
LRESULT CVelquoraDlg::OnMouseWheel(WPARAM wParam, LPARAM) {
  UINT lines = 3;
  if (!SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0)) lines = 3;
  int step = 0;
  if (WheelStep(&m_wheelRemainder, GET_WHEEL_DELTA_WPARAM(wParam), lines, m_scrollPos, FullHeight(),
                m_clientHeight, &step)) {
    ScrollToPosition(m_scrollPos + step);
  }
  return 0;
}

// Tab, Shift+Tab and the program itself move the focus with WM_NEXTDLGCTL;
// a control reached this way outside the panel's view is scrolled into it.
LRESULT CVelquoraDlg::OnNextDlgCtl(WPARAM, LPARAM) {
  const LRESULT result = Default();
  ScrollIntoView(GetFocus());
  return result;
}

void CVelquoraDlg::ScrollIntoView(HWND control) {
  if (control == nullptr || GetParent(control) != m_hWnd) return;
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
  // In the contents, the control lies where it is shown plus the scrolled distance.
  const int pos = PositionToShow(rect.top + m_scrollPos, rect.bottom + m_scrollPos, m_scrollPos,
                                 FullHeight(), m_clientHeight);
  if (pos != m_scrollPos) ScrollToPosition(pos);
}

int CVelquoraDlg::SlotOf(HWND hwnd) const {
  if (hwnd == nullptr) return -1;
  for (int slot = 0; slot < kHeadlineSlots; ++slot) {
    if (m_headlineLinks[slot].m_hWnd == hwnd) return slot;
  }
  return -1;
}

void CVelquoraDlg::KeepFocusOnHeadline(int was) {
  auto hasText = [this](int slot) {
    return GetWindowTextLengthA(m_headlineLinks[slot].m_hWnd) > 0;
  };
  // The slots are filled from the top: the nearest one above is the last
  // one left, and only an empty slot inside the list leaves one below.
  int slot = hasText(was) ? was : -1;
  for (int above = was - 1; slot < 0 && above >= 0; --above) slot = hasText(above) ? above : -1;
  for (int below = was + 1; slot < 0 && below < kHeadlineSlots; ++below) {
    slot = hasText(below) ? below : -1;
  }
  HWND target = slot >= 0 ? m_headlineLinks[slot].m_hWnd : GetDlgItem(m_hWnd, IDC_RELOAD_NEWS);
  SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

LRESULT CVelquoraDlg::OnSize(WPARAM, LPARAM lParam) {
  const LRESULT result = Default();
  m_clientHeight = HIWORD(lParam);
  const ScrollRange range = SizeScrollRange(FullHeight(), m_clientHeight);
  SetScrollBar(range.minimum, range.maximum, range.page, range.position);
  return result;
}

LRESULT CVelquoraDlg::OnPaint(WPARAM, LPARAM) {
  if (!IsIconic(m_hWnd)) return Default();
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(m_hWnd, &client);
  DrawIcon(dc, (client.right - client.left - iconWidth + 1) / 2,
           (client.bottom - client.top - iconHeight + 1) / 2, m_hIcon);
  EndPaint(m_hWnd, &paint);
  return 0;
}

// A new caption repaints the frame, and with it the scroll bar, which under
// Wine costs several times the caption itself: twice a pass. Without the
// scroll-bar style while the text is set, only the frame and the caption are
// drawn and the bar keeps its pixels; nothing else looks at the style meanwhile.
LRESULT CVelquoraDlg::OnSetText(WPARAM, LPARAM) {
  const LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
  if ((style & WS_VSCROLL) == 0) return Default();
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, style & ~WS_VSCROLL);
  const LRESULT result = Default();
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, style);
  return result;
}

LRESULT CVelquoraDlg::OnQueryDragIcon(WPARAM, LPARAM) {
  return reinterpret_cast<LRESULT>(m_hIcon);
}

// The window's own background is white; every other colour request goes on
// to the default handling, where the headline labels answer their own.
LRESULT CVelquoraDlg::OnCtlColorDialog(WPARAM, LPARAM) {
  return reinterpret_cast<LRESULT>(m_hWhiteBrush);
}

void CVelquoraDlg::ReloadNews() {
  ReadCategory();
  SYSTEMTIME now;
  GetLocalTime(&now);
  SetCaption(now, true);
  PlaceInCorner();
  ShowWindow(m_hWnd, SW_SHOW);
  SetForegroundWindow(m_hWnd);
  GetSetURLs();
  SetCaption(now, false);
  DeleteFileA(kFeedFile);
  UpdateWindow(m_hWnd);
}

void CVelquoraDlg::OnReloadNews() {
  ReloadNews();
}

LRESULT CVelquoraDlg::OnSysCommand(WPARAM wParam, LPARAM) {
  if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return Default();
  ShowAboutBox();
  return 0;
}

void CVelquoraDlg::OnAbout() {
  ShowAboutBox();
}

void CVelquoraDlg::ShowAboutBox() {
  CAboutBox about(this);
  about.DoModal();
}

void CVelquoraDlg::OnChangeCategory() {
  CPreferencesDlg preferences;
  if (preferences.DoModal() == IDOK) ReloadNews();
}

void CVelquoraDlg::OnPreferences() {
  TraceLog("CVelquoraDlg::OnPreferences\n");
  CPreferencesDlg preferences;
  preferences.DoModal();  // the choice takes effect at the next reload
}

// ---- notification-area icon

void CVelquoraDlg::AddTrayIcon() {
  if (g_trayIcon.cbSize == 0) {
    g_trayIcon.cbSize = kTrayIconRecordSize;
    g_trayIcon.hWnd = m_hWnd;
    g_trayIcon.uID = TRAY_ICON_ID;
    g_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_trayIcon.uCallbackMessage = WM_TRAYNOTIFY;
    g_trayIcon.hIcon =
        static_cast<HICON>(LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                      IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    lstrcpynA(g_trayIcon.szTip, "Vantrel", sizeof(g_trayIcon.szTip));
  }
  Shell_NotifyIconA(NIM_ADD, &g_trayIcon);
}

void CVelquoraDlg::DeleteTrayIcon() {
  Shell_NotifyIconA(NIM_DELETE, &g_trayIcon);
}

LRESULT CVelquoraDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  switch (lParam) {
    case WM_LBUTTONUP:
      ShowWindow(m_hWnd, SW_SHOW);
      SetForegroundWindow(m_hWnd);
      break;
    case WM_RBUTTONUP: {
      SetForegroundWindow(m_hWnd);
      POINT pointer;
      GetCursorPos(&pointer);
      HMENU menu = LoadMenuA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_TRAY_MENU));
      HMENU popup = GetSubMenu(menu, 0);
      SetForegroundWindow(m_hWnd);
      // The chosen item arrives later as an ordinary WM_COMMAND.
      TrackPopupMenu(popup, TPM_RIGHTBUTTON, pointer.x, pointer.y, 0, m_hWnd, nullptr);
      PostMessageA(m_hWnd, WM_NULL, 0, 0);
      DestroyMenu(menu);
      break;
    }
    default:
      return 0;  // moves, presses and double clicks do nothing
  }
  return CDialog::DefWindowProc(WM_TRAYNOTIFY, wParam, lParam);
}

LRESULT CVelquoraDlg::OnClose(WPARAM, LPARAM) {
  if (m_exitRequested == 0) {
    ShowWindow(m_hWnd, SW_HIDE);
    return 0;
  }
  DeleteTrayIcon();
  DestroyWindow();
  return 0;
}

LRESULT CVelquoraDlg::OnDestroy(WPARAM, LPARAM) {
  const LRESULT result = Default();
  DeleteTrayIcon();  // fails quietly when Exit removed it already
  return result;
}

void CVelquoraDlg::OnPreferencesExit() {
  TraceLog("CVelquoraDlg::OnPreferencesExit\n");
  m_exitRequested = 1;
  PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

void CVelquoraDlg::OnOK() {
  TraceLog("CVelquoraDlg::OnOK\n");
  ShowWindow(m_hWnd, SW_HIDE);
  CDialog::OnOK();
}

LRESULT CVelquoraDlg::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The shell's message number is known only at run time, so it cannot be a
  // row of the message table.
  if (message == g_taskbarCreated && g_taskbarCreated != 0) AddTrayIcon();
  return CDialog::DefWindowProc(message, wParam, lParam);
}

void CVelquoraDlg::PostNcDestroy() {
  delete this;
}
