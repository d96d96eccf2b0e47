#include "framework/Wnd.h"

#include <cstdlib>

#include "framework/App.h"

namespace {

// HWND -> bound object. One user-interface thread and a few dozen bound
// windows, so an unsorted table searched from the front serves.
struct Binding {
  HWND hwnd;
  CWnd* wnd;
};
Binding* g_bindings = nullptr;
size_t g_bindingCount = 0;
size_t g_bindingCapacity = 0;

Binding* FindBinding(HWND hwnd) {
  for (size_t i = 0; i < g_bindingCount; ++i) {
    if (g_bindings[i].hwnd == hwnd) return &g_bindings[i];
  }
  return nullptr;
}

// False when the table could not grow: the window then stays unbound.
bool AddBinding(HWND hwnd, CWnd* wnd) {
  if (Binding* existing = FindBinding(hwnd)) {
    existing->wnd = wnd;
    return true;
  }
  if (g_bindingCount == g_bindingCapacity) {
    const size_t capacity = g_bindingCapacity == 0 ? 32 : g_bindingCapacity * 2;
    void* grown = std::realloc(g_bindings, capacity * sizeof(Binding));
    if (grown == nullptr) return false;
    g_bindings = static_cast<Binding*>(grown);
    g_bindingCapacity = capacity;
  }
  g_bindings[g_bindingCount++] = {hwnd, wnd};
  return true;
}

void RemoveBinding(HWND hwnd) {
  if (Binding* found = FindBinding(hwnd)) *found = g_bindings[--g_bindingCount];
}

}  // namespace

CWnd::CWnd()
    : m_hWnd(nullptr), m_oldProc(nullptr), m_current(), m_depth(0), m_finalPending(false) {}

CWnd::~CWnd() {
  if (m_hWnd != nullptr) Unbind();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  const Binding* found = FindBinding(hwnd);
  return found != nullptr ? found->wnd : nullptr;
}

void CWnd::Bind(HWND hwnd) {
  m_hWnd = hwnd;
  AddBinding(hwnd, this);
}

void CWnd::Unbind() {
  if (m_oldProc != nullptr && IsWindow(m_hWnd) &&
      reinterpret_cast<WNDPROC>(GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) == &CWnd::WndProc) {
    SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
  }
  RemoveBinding(m_hWnd);
  m_hWnd = nullptr;
  m_oldProc = nullptr;
}

void CWnd::BindAndSubclass(HWND hwnd) {
  Bind(hwnd);
  m_oldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WndProc)));
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (m_hWnd != nullptr || hwnd == nullptr || !IsWindow(hwnd) || FromHandle(hwnd) != nullptr) {
    return FALSE;
  }
  BindAndSubclass(hwnd);
  OnAttach();
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  if (parent == nullptr || parent->m_hWnd == nullptr) return FALSE;
  return SubclassWindow(GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

BOOL CWnd::DestroyWindow() {
  return m_hWnd != nullptr && ::DestroyWindow(m_hWnd);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
  return FALSE;
}

void CWnd::OnAttach() {}

void CWnd::PostNcDestroy() {}

const MessageMap* CWnd::GetThisMessageMap() {
  static const MessageEntry entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}

const MessageMap* CWnd::GetMessageMap() const {
  return GetThisMessageMap();
}

const MessageEntry* CWnd::FindEntry(UINT message, WPARAM wParam, LPARAM lParam) const {
  for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
    for (const MessageEntry* e = map->entries; e->onMessage != nullptr || e->onCommand != nullptr;
         ++e) {
      if (message < e->firstMessage || message > e->lastMessage) continue;
      if (message == WM_COMMAND) {
        // Commands come from menus and button clicks (code 0) and from
        // accelerators (code 1 without a control). A control's other
        // notifications are not commands: code 1 from a control is, for
        // instance, a combo box's or list box's selection change.
        const UINT code = HIWORD(wParam);
        const bool command = code == 0 || (code == 1 && lParam == 0);
        const UINT id = LOWORD(wParam);
        if (!command || id < e->firstId || id > e->lastId) continue;
      }
      return e;
    }
  }
  return nullptr;
}

LRESULT CWnd::Call(const MessageEntry* entry, WPARAM wParam, LPARAM lParam) {
  if (entry->onCommand != nullptr) {
    (this->*entry->onCommand)();
    return 0;
  }
  return (this->*entry->onMessage)(wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (const MessageEntry* entry = FindEntry(message, wParam, lParam)) {
    return Call(entry, wParam, lParam);
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    CWnd* child = FromHandle(reinterpret_cast<HWND>(lParam));
    LRESULT result = 0;
    if (child != nullptr && child != this &&
        child->OnChildNotify(message, wParam, lParam, &result)) {
      return result;
    }
  }
  if (m_oldProc != nullptr) return CallWindowProcA(m_oldProc, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  const MessageEntry* entry = FindEntry(kReflectBase + message, wParam, lParam);
  if (entry == nullptr) return FALSE;
  *result = Call(entry, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CALLBACK CWnd::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = FromHandle(hwnd);
  if (wnd == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);

  const MSG saved = wnd->m_current;
  wnd->m_current = MSG{hwnd, message, wParam, lParam, 0, {0, 0}};
  ++wnd->m_depth;
  const LRESULT result = wnd->WindowProc(message, wParam, lParam);
  --wnd->m_depth;
  wnd->m_current = saved;

  if (message == WM_NCDESTROY) {
    // The window is gone: unbind, end the message loop if it was the main
    // window, and run the final hook once nothing else is being handled.
    wnd->Unbind();
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == wnd) {
      app->m_pMainWnd = nullptr;
      PostQuitMessage(0);
    }
    wnd->m_finalPending = true;
  }
  if (wnd->m_finalPending && wnd->m_depth == 0) {
    wnd->m_finalPending = false;
    wnd->PostNcDestroy();  // may delete wnd
  }
  return result;
}
