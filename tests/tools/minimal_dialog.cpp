// The smallest dialog program: one modeless dialog window from a template
// built in memory (no resources), shown at once, and a message loop that runs
// until the window is closed. It is the reference the ticker's start-up time
// and memory are compared with.
#include <windows.h>

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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
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
