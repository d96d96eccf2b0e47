// The application object: start hook, message loop, message pre-translation.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Start hook. TRUE runs the message loop; FALSE ends the process at once.
  virtual BOOL InitInstance();
  // The message loop; ends when the main window is destroyed. Returns the
  // process exit code.
  virtual int Run();

  HINSTANCE m_hInstance;
  CWnd* m_pMainWnd;  // its destruction ends the message loop
};

CWinApp* AfxGetApp();
// The module of the running program (the test program's under a test).
HINSTANCE AfxGetInstanceHandle();
HWND AfxGetMainHwnd();

// Offers a message to the bound objects from its window up to the top-level
// window (PreTranslateMessage). TRUE when one of them handled it.
BOOL AfxPreTranslateMessage(MSG* msg);
