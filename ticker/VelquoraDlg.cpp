#include "ticker/VelquoraDlg.h"

#include <objbase.h>

#include "framework/App.h"
#include "resource.h"
#include "ticker/TraceLog.h"
#include "ticker/core/Caption.h"
#include "ticker/core/ScrollModel.h"

namespace {
constexpr int kWindowWidth = 350;
constexpr int kWindowHeight = 200;
}  // namespace

BEGIN_MESSAGE_MAP(CVelquoraDlg, CDialog)
ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
ON_MESSAGE(WM_DESTROY, OnDestroy)
ON_MESSAGE(WM_CLOSE, OnClose)
ON_COMMAND(ID_TRAY_EXIT, OnPreferencesExit)
ON_COMMAND(IDC_RELOAD_NEWS, OnReloadNews)
END_MESSAGE_MAP()

CVelquoraDlg::CVelquoraDlg(CWnd* parent)
    : CDialog(IDD_VANTREL_DIALOG, parent),
      m_hIcon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_hWhiteBrush(nullptr),
      m_exitRequested(0),
      m_startRect{0, 0, 0, 0},
      m_scrollPos(0),
      m_clientHeight(0),
      m_parseCursor(nullptr) {
  Create();
}

CVelquoraDlg::~CVelquoraDlg() = default;

void CVelquoraDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
}

BOOL CVelquoraDlg::OnInitDialog() {
  TraceLog("CVelquoraDlg::OnInitDialog\n");
  CDialog::OnInitDialog();

  char categoryName[256];
  ReadCategory(categoryName, sizeof(categoryName));

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
  SetWindowPos(m_hWnd, nullptr, 0, 0, kWindowWidth, kWindowHeight, SWP_NOMOVE | SWP_NOZORDER);

  const ScrollRange range = StartupScrollRange(FullHeight());
  SetScrollBar(range.minimum, range.maximum, range.page, range.position);
  m_scrollPos = 0;

  m_hWhiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

  SYSTEMTIME now;
  GetLocalTime(&now);
  SetCaption(categoryName, now, true);
  PlaceInCorner();
  ShowWindow(m_hWnd, SW_SHOW);

  TraceLog("Before Get Set URLs\n");
  GetSetURLs();

  TraceLog("After Get Set URLs\n");
  SetCaption(categoryName, now, false);
  UpdateWindow(m_hWnd);
  return TRUE;
}

void CVelquoraDlg::ReadCategory(char* categoryName, size_t size) {
  lstrcpynA(categoryName, kNoCategoryName, static_cast<int>(size));
}

void CVelquoraDlg::SetCaption(const char* categoryName, const SYSTEMTIME& time, bool loading) {
  char caption[256];
  FormatCaption(caption, sizeof(caption), categoryName, time.wHour, time.wMinute, time.wSecond,
                loading);
  SetWindowTextA(m_hWnd, caption);
}

void CVelquoraDlg::PlaceInCorner() {
  RECT rect;
  GetWindowRect(m_hWnd, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const CornerPosition at = ::PlaceInCorner(GetSystemMetrics(SM_CXFULLSCREEN),
                                            GetSystemMetrics(SM_CYFULLSCREEN), width, height);
  MoveWindow(m_hWnd, at.left, at.top, width, height, TRUE);
}

void CVelquoraDlg::GetSetURLs() {}

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
  SetScrollPos(m_hWnd, SB_VERT, m_scrollPos, TRUE);
  ScrollWindow(m_hWnd, 0, -step, nullptr, nullptr);
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

LRESULT CVelquoraDlg::OnQueryDragIcon(WPARAM, LPARAM) {
  return reinterpret_cast<LRESULT>(m_hIcon);
}

// The window's own background is white; every other colour request goes on
// to the default handling, where the headline labels answer their own.
LRESULT CVelquoraDlg::OnCtlColorDialog(WPARAM, LPARAM) {
  return reinterpret_cast<LRESULT>(m_hWhiteBrush);
}

void CVelquoraDlg::ReloadNews() {
  char categoryName[256];
  ReadCategory(categoryName, sizeof(categoryName));
  SYSTEMTIME now;
  GetLocalTime(&now);
  SetCaption(categoryName, now, true);
  PlaceInCorner();
  ShowWindow(m_hWnd, SW_SHOW);
  SetForegroundWindow(m_hWnd);
  GetSetURLs();
  SetCaption(categoryName, now, false);
  DeleteFileA("test.xml");
  UpdateWindow(m_hWnd);
}

void CVelquoraDlg::OnReloadNews() {
  ReloadNews();
}

LRESULT CVelquoraDlg::OnSysCommand(WPARAM wParam, LPARAM) {
  if ((wParam & 0xFFF0) == IDM_ABOUTBOX) return 0;
  return Default();
}

LRESULT CVelquoraDlg::OnClose(WPARAM, LPARAM) {
  if (m_exitRequested == 0) {
    ShowWindow(m_hWnd, SW_HIDE);
    return 0;
  }
  DestroyWindow();
  return 0;
}

LRESULT CVelquoraDlg::OnDestroy(WPARAM, LPARAM) {
  return Default();
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
  return CDialog::DefWindowProc(message, wParam, lParam);
}

void CVelquoraDlg::PostNcDestroy() {
  delete this;
}
