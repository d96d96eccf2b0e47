// What screen readers are told about a hyperlink label: a small IAccessible
// that answers as a link (role, name, value, state and default action of its
// own) and hands every other question to the system's object for the label's
// window. The label makes one when first asked (WM_GETOBJECT) and disconnects
// it when its window goes; clients may hold it longer, and from then on are
// told that it is gone. (The interface's id is __uuidof(IAccessible): MinGW's
// oleacc import library has IID_IAccessible as a function, not as the id.)
#pragma once

#include <windows.h>

#include <oleacc.h>

class CHyperLink;

class CLinkAccessible final : public IAccessible, public IOleWindow {
 public:
  // The object for a bound label, with one reference for the caller; null
  // when the system's object for its window cannot be made.
  static CLinkAccessible* Create(CHyperLink* link);
  // The label is going: drops its pointer and the system's object, and cuts
  // off the clients of other processes.
  void Disconnect();

  // IUnknown: the object's interfaces are IUnknown, IDispatch, IAccessible
  // and IOleWindow.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch: no type information; clients call IAccessible directly.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** parent) override;
  STDMETHODIMP get_accChildCount(LONG* count) override;
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override;
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override;
  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override;
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* description) override;
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override;
  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override;
  STDMETHODIMP get_accHelp(VARIANT child, BSTR* help) override;
  STDMETHODIMP get_accHelpTopic(BSTR* helpFile, VARIANT child, LONG* topic) override;
  STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
  STDMETHODIMP get_accFocus(VARIANT* child) override;
  STDMETHODIMP get_accSelection(VARIANT* children) override;
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override;
  STDMETHODIMP accSelect(LONG flags, VARIANT child) override;
  STDMETHODIMP accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                           VARIANT child) override;
  STDMETHODIMP accNavigate(LONG direction, VARIANT start, VARIANT* end) override;
  STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT* child) override;
  STDMETHODIMP accDoDefaultAction(VARIANT child) override;
  STDMETHODIMP put_accName(VARIANT child, BSTR name) override;
  STDMETHODIMP put_accValue(VARIANT child, BSTR value) override;

  // IOleWindow: the label's window, for WindowFromAccessibleObject.
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;

 private:
  CLinkAccessible(CHyperLink* link, IAccessible* system);
  ~CLinkAccessible();
  CLinkAccessible(const CLinkAccessible&) = delete;
  CLinkAccessible& operator=(const CLinkAccessible&) = delete;

  // Whether a question about child is this object's to answer: one about
  // the label itself while the label lives and shows a text. Everything
  // else, an empty label included, gets the system's answer.
  bool AnswersFor(const VARIANT& child) const;

  LONG m_references;
  CHyperLink* m_link;     // null once disconnected
  IAccessible* m_system;  // the system's object for the window; null once disconnected
};
