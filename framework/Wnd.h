// Window objects bound to HWNDs, with per-class message tables.
//
// A CWnd is bound to a window either when the framework creates it (dialogs)
// or by subclassing an existing control (SubclassDlgItem, used by data
// exchange). Every message of a bound window goes to the virtual WindowProc,
// which looks it up in the class's message table (chained to the base class's)
// and otherwise calls the virtual DefWindowProc: the window's original
// procedure, after offering WM_CTLCOLOR* requests to the bound child that sent
// them (reflection).
#pragma once

#include <windows.h>

class CWnd;

using MsgHandler = LRESULT (CWnd::*)(WPARAM, LPARAM);
using CmdHandler = void (CWnd::*)();

// Reflected messages travel from a parent to the bound child that sent them,
// under their number plus this base.
constexpr UINT kReflectBase = 0x2000;

struct MessageEntry {
  UINT firstMessage, lastMessage;  // the messages handled (WM_COMMAND for commands)
  UINT firstId, lastId;            // WM_COMMAND only: the command ids handled
  MsgHandler onMessage;            // LRESULT handler(wParam, lParam), or
  CmdHandler onCommand;            // void handler() for a command
};

struct MessageMap {
  const MessageMap* base;
  const MessageEntry* entries;  // ends with an all-zero entry
};

#define DECLARE_MESSAGE_MAP()                       \
 public:                                            \
  static const MessageMap* GetThisMessageMap();     \
                                                    \
 protected:                                         \
  const MessageMap* GetMessageMap() const override; \
                                                    \
 protected:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
  const MessageMap* theClass::GetMessageMap() const { \
    return GetThisMessageMap();                       \
  }                                                   \
  const MessageMap* theClass::GetThisMessageMap() {   \
    typedef theClass ThisClass [[maybe_unused]];      \
    typedef baseClass TheBaseClass;                   \
    static const MessageEntry entries[] = {
#define ON_MESSAGE(msg, fn) {msg, msg, 0, 0, static_cast<MsgHandler>(&ThisClass::fn), nullptr},
#define ON_MESSAGE_RANGE(first, last, fn) \
  {first, last, 0, 0, static_cast<MsgHandler>(&ThisClass::fn), nullptr},
#define ON_REFLECT(msg, fn)                 \
  {kReflectBase + (msg),                    \
   kReflectBase + (msg),                    \
   0,                                       \
   0,                                       \
   static_cast<MsgHandler>(&ThisClass::fn), \
   nullptr},
#define ON_COMMAND(id, fn) \
  {WM_COMMAND, WM_COMMAND, id, id, nullptr, static_cast<CmdHandler>(&ThisClass::fn)},
#define END_MESSAGE_MAP()                                                     \
  { 0, 0, 0, 0, nullptr, nullptr }                                            \
  }                                                                           \
  ;                                                                           \
  static const MessageMap map = {TheBaseClass::GetThisMessageMap(), entries}; \
  return &map;                                                                \
  }

class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd;

  // The object bound to a window, or null.
  static CWnd* FromHandle(HWND hwnd);

  // Binds this object to an existing window by subclassing it, then runs the
  // attach hook. Fails when the object or the window is bound already.
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);

  BOOL DestroyWindow();

  // Message pre-translation: asked before the message loop dispatches a
  // message bound for this window or one of its children. TRUE: handled.
  virtual BOOL PreTranslateMessage(MSG* msg);

  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // What happens to a message the message table does not handle.
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // A request reflected by the parent (WM_CTLCOLOR*). TRUE when this object's
  // message table answered it; the answer is in *result.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Default handling of the message being handled.
  LRESULT Default();
  // Whether this object's message table has an entry for the message.
  bool HandlesMessage(UINT message, WPARAM wParam) const {
    return FindEntry(message, wParam, 0) != nullptr;
  }

  static const MessageMap* GetThisMessageMap();

 protected:
  virtual const MessageMap* GetMessageMap() const;
  // Run once the window is bound to an existing control.
  virtual void OnAttach();
  // Run after the window's final message, once no message to the object is
  // being handled any more. Self-deleting classes delete themselves here.
  virtual void PostNcDestroy();

  // Binds a window that the framework is creating for this object and routes
  // its messages through the message table (no attach hook).
  void BindAndSubclass(HWND hwnd);
  void Bind(HWND hwnd);
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Unbind();
  const MessageEntry* FindEntry(UINT message, WPARAM wParam, LPARAM lParam) const;
  LRESULT Call(const MessageEntry* entry, WPARAM wParam, LPARAM lParam);

  WNDPROC m_oldProc;
  MSG m_current;        // the message being handled, for Default()
  int m_depth;          // messages to this object being handled
  bool m_finalPending;  // the final message came while others were handled
};
