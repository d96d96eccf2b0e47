// The smallest dialog program: one modeless dialog window from a template
// built in memory (no resources), shown at once, and a message loop that runs
// until the window is closed. It is the reference the ticker's start-up time
// and memory are compared with.
//
// Given an address on its command line, it first downloads that page once
// with WinINet, the way the ticker does (session, request, reads of 1023
// bytes, here into memory and dropped), and only then shows the dialog: the
// floor of a program that has to fetch one page before it can show it.
#include <windows.h>
#include <wininet.h>

namespace {

constexpr char kCaption[] = "Minimal dialog";

// A dialog template without controls, menu or font, DWORD-aligned as the
// dialog manager requires: DLGTEMPLATE, then the menu, the class and the
// caption as UTF-16 strings.
struct Template {
  DLGTEMPLATE head;
  WORD menu;
  WORD windowClass;
  WCHAR caption[sizeof(kCaption)];
};

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

// False when the page could not be fetched.
bool FetchOnce(const char* url) {
  HINTERNET session = InternetOpenA("DediDodi", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session == nullptr) return false;
  HINTERNET request = InternetOpenUrlA(
      session, url, nullptr, 0,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_ASCII, 0);
  if (request != nullptr) {
    char buffer[1024];
    DWORD bytesRead = 0;
    while (InternetReadFile(request, buffer, sizeof(buffer) - 1, &bytesRead) && bytesRead != 0) {
    }
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  return request != nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  if (commandLine != nullptr && commandLine[0] != '\0' && !FetchOnce(commandLine)) return 3;

  static Template dialog;  // static: zeroed and suitably aligned
  dialog.head.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  dialog.head.cdit = 0;
  dialog.head.x = 10;
  dialog.head.y = 10;
  dialog.head.cx = 233;  // about 350 x 200 pixels with the system font
  dialog.head.cy = 125;
  for (size_t i = 0; i < sizeof(kCaption); ++i) dialog.caption[i] = kCaption[i];

  HWND hwnd = CreateDialogIndirectParamA(instance, &dialog.head, nullptr, DialogProc, 0);
  if (hwnd == nullptr) return 1;
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);

  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
    if (got == -1) return 2;
    if (!IsDialogMessageA(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
