#include "hyperlink/LinkAccessible.h"

#include <new>

#include "hyperlink/HyperLink.h"

namespace {

// The verb screen readers announce for following a link.
const wchar_t kDefaultAction[] = L"Jump";

// The system's state bits that stay true of the label as a link: whether it
// can be seen at all. Everything else the link states itself.
constexpr LONG kSystemStates =
    STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_UNAVAILABLE;

// A text of the program's code page as a new BSTR; null when out of memory.
BSTR AnsiToBstr(const char* text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);  // with the NUL
  if (size <= 1) return SysAllocString(L"");
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(size - 1));
  if (result != nullptr) MultiByteToWideChar(CP_ACP, 0, text, -1, result, size);
  return result;
}

HRESULT ReturnText(BSTR text, BSTR* out) {
  *out = text;
  return text != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

CLinkAccessible* CLinkAccessible::Create(CHyperLink* link) {
  IAccessible* system = nullptr;
  if (FAILED(CreateStdAccessibleObject(link->m_hWnd, OBJID_CLIENT, __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&system))) ||
      system == nullptr) {
    return nullptr;
  }
  CLinkAccessible* object = new (std::nothrow) CLinkAccessible(link, system);
  if (object == nullptr) system->Release();
  return object;
}

CLinkAccessible::CLinkAccessible(CHyperLink* link, IAccessible* system)
    : m_references(1), m_link(link), m_system(system) {}

CLinkAccessible::~CLinkAccessible() {
  if (m_system != nullptr) m_system->Release();
}

void CLinkAccessible::Disconnect() {
  m_link = nullptr;
  if (m_system != nullptr) {
    m_system->Release();
    m_system = nullptr;
  }
  // Proxies in other processes let go of their references now; their next
  // call learns that the object is gone.
  AddRef();
  CoDisconnectObject(static_cast<IAccessible*>(this), 0);
  Release();
}

bool CLinkAccessible::AnswersFor(const VARIANT& child) const {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF && m_link != nullptr &&
         IsWindow(m_link->m_hWnd) && GetWindowTextLengthA(m_link->m_hWnd) > 0;
}

// ---- IUnknown

STDMETHODIMP CLinkAccessible::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
    *object = static_cast<IAccessible*>(this);
  } else if (iid == IID_IOleWindow) {
    *object = static_cast<IOleWindow*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CLinkAccessible::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CLinkAccessible::Release() {
  const LONG left = InterlockedDecrement(&m_references);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---- IDispatch: the system object's type information, invoked on this object

STDMETHODIMP CLinkAccessible::GetTypeInfoCount(UINT* count) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->GetTypeInfoCount(count);
}

STDMETHODIMP CLinkAccessible::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->GetTypeInfo(index, locale, info);
}

STDMETHODIMP CLinkAccessible::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->GetIDsOfNames(iid, names, count, locale, ids);
}

STDMETHODIMP CLinkAccessible::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  const HRESULT found = m_system->GetTypeInfo(0, locale, &info);
  if (FAILED(found) || info == nullptr) return FAILED(found) ? found : E_NOTIMPL;
  // Through this object's own methods, so that a call by name gets the
  // link's answers too.
  const HRESULT invoked = DispInvoke(static_cast<IAccessible*>(this), info, id, flags, params,
                                     result, exception, argumentError);
  info->Release();
  return invoked;
}

// ---- IAccessible: the link's own answers

STDMETHODIMP CLinkAccessible::get_accName(VARIANT child, BSTR* name) {
  if (name == nullptr) return E_POINTER;
  if (!AnswersFor(child)) {
    if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
    return m_system->get_accName(child, name);
  }
  CText shown;
  shown.AssignWindowText(m_link->m_hWnd);
  return ReturnText(AnsiToBstr(shown.c_str()), name);
}

STDMETHODIMP CLinkAccessible::get_accValue(VARIANT child, BSTR* value) {
  if (value == nullptr) return E_POINTER;
  if (!AnswersFor(child)) {
    if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
    return m_system->get_accValue(child, value);
  }
  return ReturnText(AnsiToBstr(m_link->LinkTarget()), value);
}

STDMETHODIMP CLinkAccessible::get_accRole(VARIANT child, VARIANT* role) {
  if (role == nullptr) return E_POINTER;
  if (!AnswersFor(child)) {
    if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
    return m_system->get_accRole(child, role);
  }
  VariantInit(role);
  role->vt = VT_I4;
  role->lVal = ROLE_SYSTEM_LINK;
  return S_OK;
}

STDMETHODIMP CLinkAccessible::get_accState(VARIANT child, VARIANT* state) {
  if (state == nullptr) return E_POINTER;
  if (!AnswersFor(child)) {
    if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
    return m_system->get_accState(child, state);
  }
  LONG bits = 0;
  VARIANT system;
  VariantInit(&system);
  if (SUCCEEDED(m_system->get_accState(child, &system)) && system.vt == VT_I4) {
    bits = system.lVal & kSystemStates;
  }
  VariantClear(&system);
  bits |= STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_LINKED;
  if (GetFocus() == m_link->m_hWnd) bits |= STATE_SYSTEM_FOCUSED;
  if (m_link->IsVisited()) bits |= STATE_SYSTEM_TRAVERSED;
  VariantInit(state);
  state->vt = VT_I4;
  state->lVal = bits;
  return S_OK;
}

STDMETHODIMP CLinkAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
  if (action == nullptr) return E_POINTER;
  if (!AnswersFor(child)) {
    if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
    return m_system->get_accDefaultAction(child, action);
  }
  return ReturnText(SysAllocString(kDefaultAction), action);
}

STDMETHODIMP CLinkAccessible::accDoDefaultAction(VARIANT child) {
  if (!AnswersFor(child)) {
    if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
    return m_system->accDoDefaultAction(child);
  }
  // Later, from the label's queue: a failed open shows a box, and the
  // client's call should not wait for the user to close it.
  return m_link->OpenLater() ? S_OK : E_FAIL;
}

// ---- IAccessible: the system's answers

STDMETHODIMP CLinkAccessible::get_accParent(IDispatch** parent) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accParent(parent);
}

STDMETHODIMP CLinkAccessible::get_accChildCount(LONG* count) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accChildCount(count);
}

STDMETHODIMP CLinkAccessible::get_accChild(VARIANT child, IDispatch** object) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accChild(child, object);
}

STDMETHODIMP CLinkAccessible::get_accDescription(VARIANT child, BSTR* description) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accDescription(child, description);
}

STDMETHODIMP CLinkAccessible::get_accHelp(VARIANT child, BSTR* help) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accHelp(child, help);
}

STDMETHODIMP CLinkAccessible::get_accHelpTopic(BSTR* helpFile, VARIANT child, LONG* topic) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accHelpTopic(helpFile, child, topic);
}

STDMETHODIMP CLinkAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accKeyboardShortcut(child, shortcut);
}

STDMETHODIMP CLinkAccessible::get_accFocus(VARIANT* child) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accFocus(child);
}

STDMETHODIMP CLinkAccessible::get_accSelection(VARIANT* children) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->get_accSelection(children);
}

STDMETHODIMP CLinkAccessible::accSelect(LONG flags, VARIANT child) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->accSelect(flags, child);
}

STDMETHODIMP CLinkAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->accLocation(left, top, width, height, child);
}

STDMETHODIMP CLinkAccessible::accNavigate(LONG direction, VARIANT start, VARIANT* end) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->accNavigate(direction, start, end);
}

STDMETHODIMP CLinkAccessible::accHitTest(LONG x, LONG y, VARIANT* child) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->accHitTest(x, y, child);
}

STDMETHODIMP CLinkAccessible::put_accName(VARIANT child, BSTR name) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->put_accName(child, name);
}

STDMETHODIMP CLinkAccessible::put_accValue(VARIANT child, BSTR value) {
  if (m_system == nullptr) return CO_E_OBJNOTCONNECTED;
  return m_system->put_accValue(child, value);
}

// ---- IOleWindow

STDMETHODIMP CLinkAccessible::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = m_link != nullptr ? m_link->m_hWnd : nullptr;
  return m_link != nullptr ? S_OK : CO_E_OBJNOTCONNECTED;
}

STDMETHODIMP CLinkAccessible::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}
