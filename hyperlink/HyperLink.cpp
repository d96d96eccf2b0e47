#include "hyperlink/HyperLink.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "framework/App.h"
#include "hyperlink/LinkAccessible.h"
#include "hyperlink/LinkLauncher.h"

const COLORREF CHyperLink::LinkColour = RGB(0, 0, 255);
const COLORREF CHyperLink::ActiveColour = RGB(0, 128, 128);
const COLORREF CHyperLink::VisitedColour = RGB(128, 0, 128);
const COLORREF CHyperLink::HoverColour = RGB(255, 0, 0);

HCURSOR CHyperLink::handCursor = nullptr;

namespace {

constexpr UINT_PTR kToolId = 1;
constexpr int kHandCursorId = 106;  // the hand pointer of the Windows help viewer
// Posted to a label to open its link from its own queue (a static control
// uses no messages of the WM_USER range).
constexpr UINT kOpenLinkMessage = WM_USER + 0x100;

// One tool record as every comctl32 version understands it (the original
// layout, without lParam and later fields).
TOOLINFOA MakeToolInfo(HWND label, const CText& text) {
  TOOLINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.uFlags = 0;
  info.hwnd = label;
  info.uId = kToolId;
  info.lpszText = const_cast<char*>(text.c_str());
  return info;
}

// A screen-compatible memory DC for measuring texts, made once and kept: it
// measures as the labels' own DCs would, without fetching a window DC (and
// its visible region) per label.
HDC MeasuringDc() {
  static HDC dc = CreateCompatibleDC(nullptr);
  return dc;
}

// Where a dialog keeps the one tooltip window its labels share.
constexpr char kToolTipProperty[] = "CHyperLink.ToolTip";

// The tooltip window of the labels of one dialog: made for its first label and
// owned by the dialog, each label a tool of it. One window for all, as a
// tooltip window per label costs a top-level window each to create.
HWND SharedToolTip(HWND dialog) {
  if (dialog == nullptr) return nullptr;
  if (HWND tip = static_cast<HWND>(GetPropA(dialog, kToolTipProperty))) {
    if (IsWindow(tip)) return tip;
  }
  static bool controlsReady = false;
  if (!controlsReady) {
    InitCommonControls();
    controlsReady = true;
  }
  HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, AfxGetInstanceHandle(),
                             nullptr);
  if (tip != nullptr) SetPropA(dialog, kToolTipProperty, tip);
  return tip;
}

}  // namespace

BEGIN_MESSAGE_MAP(CHyperLink, CStatic)
ON_REFLECT(WM_CTLCOLORSTATIC, OnCtlColor)
ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
ON_MESSAGE(WM_SETFOCUS, OnSetFocus)
ON_MESSAGE(WM_KILLFOCUS, OnKillFocus)
ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
ON_MESSAGE(WM_NCHITTEST, OnNcHitTest)
ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
ON_MESSAGE(WM_DESTROY, OnDestroy)
ON_MESSAGE(WM_GETOBJECT, OnGetObject)
ON_MESSAGE(WM_GETDLGCODE, OnGetDlgCode)
ON_MESSAGE(kOpenLinkMessage, OnOpenLater)
END_MESSAGE_MAP()

CHyperLink::CHyperLink()
    : active(FALSE),
      mouseOver(FALSE),
      visited(FALSE),
      linkStyle(DefaultLinkStyle),
      linkFont(nullptr),
      toolTip(nullptr),
      accessible(nullptr) {}

CHyperLink::~CHyperLink() {
  if (m_hWnd != nullptr) LeaveToolTip();  // the window outlives its object
  LetAccessibleGo();
  if (linkFont != nullptr) DeleteObject(linkFont);
}

// The label stops being a tool of the dialog's tooltip window, and the last
// label to leave destroys it. Once the dialog is being destroyed, the tooltip
// window (which it owns) has gone already.
void CHyperLink::LeaveToolTip() {
  if (toolTip == nullptr) return;
  if (IsWindow(toolTip)) {
    TOOLINFOA info = MakeToolInfo(m_hWnd, url);
    SendMessageA(toolTip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    if (SendMessageA(toolTip, TTM_GETTOOLCOUNT, 0, 0) == 0) {
      if (HWND owner = GetWindow(toolTip, GW_OWNER)) RemovePropA(owner, kToolTipProperty);
      ::DestroyWindow(toolTip);
    }
  }
  toolTip = nullptr;
}

LRESULT CHyperLink::OnDestroy(WPARAM, LPARAM) {
  LeaveToolTip();
  LetAccessibleGo();
  return Default();
}

void CHyperLink::LetAccessibleGo() {
  if (accessible == nullptr) return;
  CLinkAccessible* going = accessible;
  accessible = nullptr;
  going->Disconnect();
  going->Release();
}

// Screen readers ask the label what it is: a label with a text answers as a
// link, through one object kept for its life; an empty one, and every other
// object id, gets the system's answer.
LRESULT CHyperLink::OnGetObject(WPARAM wParam, LPARAM lParam) {
  if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT) ||
      GetWindowTextLengthA(m_hWnd) <= 0) {
    return Default();
  }
  if (accessible == nullptr) accessible = CLinkAccessible::Create(this);
  if (accessible == nullptr) return Default();
  const LRESULT result =
      LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(accessible));
  return result >= 0 ? result : Default();
}

// A link's text is never a mnemonic. The dialog manager takes an "&" in the
// text of a static control for one (Wine's even with SS_NOPREFIX), so a
// headline such as "Markets & money" would make every typed space, the one
// that opens a link included, send the focus on to the next control.
LRESULT CHyperLink::OnGetDlgCode(WPARAM, LPARAM) {
  return Default() & ~static_cast<LRESULT>(DLGC_STATIC);
}

bool CHyperLink::OpenLater() {
  return IsWindow(m_hWnd) && PostMessageA(m_hWnd, kOpenLinkMessage, 0, 0) != FALSE;
}

LRESULT CHyperLink::OnOpenLater(WPARAM, LPARAM) {
  OpenLink();
  return 0;
}

void CHyperLink::Redraw() {
  InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CHyperLink::OnAttach() {
  // A control without an address links to its own text; a control without
  // text shows its address.
  if (url.empty()) url.AssignWindowText(m_hWnd);
  if (GetWindowTextLengthA(m_hWnd) <= 0) SetWindowTextA(m_hWnd, url.c_str());

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  if (font != nullptr) {
    LOGFONTA description;
    ZeroMemory(&description, sizeof(description));
    if (GetObjectA(font, sizeof(description), &description) != 0) {
      description.lfUnderline = (linkStyle & LinkUnderline) ? 1 : 0;
      linkFont = CreateFontIndirectA(&description);
    }
    if (linkFont != nullptr) {
      SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont), TRUE);
    }
    FitToText();
  } else {
    // Nothing to measure with: the label keeps its template size.
    linkStyle &= ~LinkFitText;
  }

  if (!(linkStyle & LinkNoHandCursor)) LoadHandCursor();

  RECT client;
  GetClientRect(m_hWnd, &client);

  toolTip = SharedToolTip(GetAncestor(m_hWnd, GA_ROOT));
  if (toolTip != nullptr) {
    TOOLINFOA info = MakeToolInfo(m_hWnd, url);
    info.rect = client;
    SendMessageA(toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  }

  CStatic::OnAttach();
}

// Both setters leave the label shown. It is changed in place, not hidden
// meanwhile: every hide and show would repaint the dialog behind it.
void CHyperLink::SetLinkTarget(const char* text) {
  url.Assign(text);
  if (!IsWindow(m_hWnd)) return;
  FitToText();
  if (toolTip != nullptr) {
    TOOLINFOA info = MakeToolInfo(m_hWnd, url);
    SendMessageA(toolTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
  }
  Show();
}

void CHyperLink::SetLinkText(const char* text) {
  if (!IsWindow(m_hWnd)) return;
  if (text == nullptr) text = "";
  // The text it shows already (a reload of unchanged headlines) is not set
  // again: setting it would still repaint the label.
  CText shown;
  shown.AssignWindowText(m_hWnd);
  if (std::strcmp(shown.c_str(), text) != 0) SetWindowTextA(m_hWnd, text);
  FitToText();
  Show();
}

void CHyperLink::Show() {
  if ((GetWindowLongA(m_hWnd, GWL_STYLE) & WS_VISIBLE) == 0) ShowWindow(m_hWnd, SW_SHOW);
}

void CHyperLink::MarkVisited(BOOL flag) {
  visited = flag;
}

void CHyperLink::FitToText() {
  if (!(linkStyle & LinkFitText) || !IsWindow(m_hWnd)) return;

  RECT r;
  GetWindowRect(m_hWnd, &r);
  const int windowWidth = r.right - r.left;
  const int windowHeight = r.bottom - r.top;
  if (HWND parent = GetParent(m_hWnd)) {
    POINT topLeft = {r.left, r.top};
    POINT bottomRight = {r.right, r.bottom};
    ScreenToClient(parent, &topLeft);
    ScreenToClient(parent, &bottomRight);
    r = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  }
  const POINT topLeftBefore = {r.left, r.top};
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int borderWidth = windowWidth - (client.right - client.left);
  const int borderHeight = windowHeight - (client.bottom - client.top);

  // Measure with the font the control draws with: our underlined copy, or
  // the control's own if the copy could not be made.
  CText text;
  text.AssignWindowText(m_hWnd);
  HFONT font = linkFont;
  if (font == nullptr) font = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  SIZE extent = {0, 0};
  HDC dc = MeasuringDc();
  if (dc == nullptr) return;
  HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
  GetTextExtentPoint32A(dc, text.c_str(), lstrlenA(text.c_str()), &extent);
  if (previous != nullptr) SelectObject(dc, previous);

  const LONG style = GetWindowLongA(m_hWnd, GWL_STYLE);
  if (style & SS_CENTERIMAGE) {
    const int shift = (r.bottom - r.top - extent.cy) / 2;
    r.top += shift;
    r.bottom -= shift;
  } else {
    r.bottom = r.top + extent.cy;
  }
  // SS_CENTER and SS_RIGHT are values of the alignment field, tested as bits.
  if (style & SS_CENTER) {
    const int shift = (r.right - r.left - extent.cx) / 2;
    r.left += shift;
    r.right -= shift;
  } else if (style & SS_RIGHT) {
    r.left = r.right - extent.cx;
  } else {
    r.right = r.left + extent.cx;
  }
  const int width = r.right - r.left + borderWidth;
  const int height = r.bottom - r.top + borderHeight;
  // Already there (the usual case for a new address): nothing to move or repaint.
  if (r.left == topLeftBefore.x && r.top == topLeftBefore.y && width == windowWidth &&
      height == windowHeight) {
    return;
  }
  MoveWindow(m_hWnd, r.left, r.top, width, height, TRUE);
}

void CHyperLink::OpenLink() {
  const int result = LaunchUrl(url.c_str(), SW_SHOW);
  if (result > 32) {
    visited = TRUE;
    Redraw();
  } else {
    MessageBeep(MB_ICONEXCLAMATION);
    ShowOpenError(result);
  }
}

void CHyperLink::LoadHandCursor() {
  if (handCursor != nullptr) return;
  char windowsDir[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
  char path[MAX_PATH];
  if (length > 0 && length < sizeof(windowsDir) &&
      static_cast<size_t>(snprintf(path, sizeof(path), "%s\\winhlp32.exe", windowsDir)) <
          sizeof(path)) {
    if (HMODULE viewer = LoadLibraryA(path)) {
      if (HCURSOR hand = LoadCursorA(viewer, MAKEINTRESOURCEA(kHandCursorId))) {
        handCursor = CopyIcon(hand);
      }
      FreeLibrary(viewer);
    }
  }
  // Systems without the help viewer's pointer have a hand of their own.
  if (handCursor == nullptr) handCursor = LoadCursorA(nullptr, IDC_HAND);
}

BOOL CHyperLink::PreTranslateMessage(MSG* msg) {
  if (toolTip != nullptr) {
    SendMessageA(toolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
  }
  return CStatic::PreTranslateMessage(msg);
}

LRESULT CHyperLink::OnCtlColor(WPARAM wParam, LPARAM) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  COLORREF colour;
  if (mouseOver && (linkStyle & LinkHoverColour)) {
    colour = HoverColour;
  } else if (!(linkStyle & LinkNoActiveColour) && active) {
    colour = ActiveColour;
  } else if (visited) {
    colour = VisitedColour;
  } else {
    colour = LinkColour;
  }
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

LRESULT CHyperLink::OnSetCursor(WPARAM, LPARAM) {
  if (handCursor == nullptr) return FALSE;
  SetCursor(handCursor);
  return TRUE;
}

LRESULT CHyperLink::OnMouseMove(WPARAM, LPARAM lParam) {
  if (!mouseOver) {
    // The first move that reaches the label counts as entering it.
    mouseOver = TRUE;
    Redraw();
    SetCapture(m_hWnd);
    return 0;
  }
  RECT client;
  GetClientRect(m_hWnd, &client);
  const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (!PtInRect(&client, point)) {
    mouseOver = FALSE;
    ReleaseCapture();
    Redraw();
  }
  return 0;
}

LRESULT CHyperLink::OnLButtonUp(WPARAM, LPARAM) {
  if (active && !(linkStyle & LinkOpenOnPress)) OpenLink();
  return 0;
}

LRESULT CHyperLink::OnSetFocus(WPARAM, LPARAM) {
  active = TRUE;
  Redraw();
  return 0;
}

LRESULT CHyperLink::OnKillFocus(WPARAM, LPARAM) {
  // The capture stays: the next move counts as entering again and ends it
  // once the pointer is outside.
  mouseOver = FALSE;
  active = FALSE;
  Redraw();
  return 0;
}

LRESULT CHyperLink::OnKeyDown(WPARAM wParam, LPARAM) {
  if (wParam == VK_SPACE) {
    OpenLink();
    return 0;
  }
  return Default();
}

LRESULT CHyperLink::OnNcHitTest(WPARAM, LPARAM) {
  return HTCLIENT;
}

LRESULT CHyperLink::OnLButtonDown(WPARAM, LPARAM) {
  if (linkStyle & LinkTakeFocus) SetFocus(m_hWnd);
  if (linkStyle & LinkOpenOnPress) OpenLink();
  active = TRUE;
  return 0;
}
