#include "framework/App.h"

#include "framework/Wnd.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() : m_hInstance(GetModuleHandleA(nullptr)), m_pMainWnd(nullptr) {
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
  return FALSE;
}

int CWinApp::Run() {
  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!AfxPreTranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp() {
  return g_app;
}

HINSTANCE AfxGetInstanceHandle() {
  return g_app != nullptr ? g_app->m_hInstance : GetModuleHandleA(nullptr);
}

HWND AfxGetMainHwnd() {
  return g_app != nullptr && g_app->m_pMainWnd != nullptr ? g_app->m_pMainWnd->m_hWnd : nullptr;
}

BOOL AfxPreTranslateMessage(MSG* msg) {
  for (HWND hwnd = msg->hwnd; hwnd != nullptr; hwnd = GetParent(hwnd)) {
    if (CWnd* wnd = CWnd::FromHandle(hwnd)) {
      if (wnd->PreTranslateMessage(msg)) return TRUE;
    }
    // Stop at the top-level window: a popup's "parent" is its owner.
    if ((GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) == 0) break;
  }
  return FALSE;
}
