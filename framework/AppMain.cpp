// The program entry: the application object's start hook, then its loop. Also
// the program's allocation function for new (std::nothrow): the C heap, with
// no exception machinery behind it (the C++ library's own version catches
// what the throwing operator new throws, and would pull all of that in).
#include <cstdlib>
#include <new>

#include "framework/App.h"

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  app->m_hInstance = instance;
  if (!app->InitInstance()) return 0;
  return app->Run();
}
