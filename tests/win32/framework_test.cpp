// The application framework with real windows: binding, message tables,
// reflection, self-deleting objects, modal and modeless dialogs, data exchange.
// Runs are driven from inside (posted messages, handlers); every loop is bounded.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Wnd.h"

namespace {

// Templates and control ids of framework_test.rc.
constexpr UINT kFontDialog = 9100;   // DS_SETFONT
constexpr UINT kPlainDialog = 9101;  // no font
constexpr int kLinkStatic = 100;
constexpr int kPlainStatic = 101;
constexpr int kEdit = 102;
constexpr int kPushButton = 200;

constexpr UINT kMenuCommand = 32771;
constexpr UINT kProbe = WM_APP + 1;       // handled by the test dialog
constexpr UINT kBaseOnly = WM_APP + 2;    // handled by the test dialog's table only
constexpr UINT kProbeChild = WM_APP + 3;  // handled by the probe static
constexpr UINT kCustom = WM_APP + 4;      // handled by nobody's table
constexpr UINT kHandled = WM_APP + 5;
constexpr UINT kTrayNotify = WM_USER + 101;  // a private message left to DefWindowProc
constexpr LRESULT kOriginalResult = 0x1234;
constexpr INT_PTR kTimedOut = -77;

// What happened during one test, in order.
std::vector<std::string> g_events;
void Log(const std::string& event) {
  g_events.push_back(event);
}

// Runs this thread's messages the way CWinApp::Run does until done() holds or
// the time is up. Leaves WM_QUIT in the queue.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return done();
    }
    if (!AfxPreTranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return true;
}

// Empties this thread's queue, WM_QUIT included, so that tests do not see
// each other's leftovers.
void DrainQueue() {
  MSG msg;
  for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message != WM_QUIT) DispatchMessageA(&msg);
  }
}

// Takes the WM_QUIT waiting in the queue, if any.
bool TakeQuit(WPARAM* code) {
  MSG msg;
  for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      *code = msg.wParam;
      return true;
    }
    DispatchMessageA(&msg);
  }
  return false;
}

// Ends a run that would otherwise hang: after the time-out the action runs
// once (from a thread timer, so any message loop triggers it).
class Watchdog {
 public:
  explicit Watchdog(std::function<void()> action, UINT timeoutMs = 3000)
      : m_action(std::move(action)) {
    s_current = this;
    m_timer = SetTimer(nullptr, 0, timeoutMs, &Watchdog::OnTimer);
  }
  ~Watchdog() {
    KillTimer(nullptr, m_timer);
    s_current = nullptr;
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  bool fired() const { return m_fired; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    Watchdog* dog = s_current;
    if (dog == nullptr || id != dog->m_timer || dog->m_fired) return;
    dog->m_fired = true;
    dog->m_action();
  }
  static Watchdog* s_current;
  std::function<void()> m_action;
  UINT_PTR m_timer = 0;
  bool m_fired = false;
};
Watchdog* Watchdog::s_current = nullptr;

// A static control object that records what reaches it.
class CProbeStatic : public CStatic {
 public:
  static constexpr COLORREF kTextColour = RGB(12, 34, 56);
  HBRUSH brush = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  int attachCount = 0;
  int preTranslated = 0;  // kProbeChild seen by pre-translation
  int dispatched = 0;     // kProbeChild that reached the message table
  bool swallow = false;   // pre-translation claims kProbeChild
  bool setTextCallsDefault = true;
  int setTextCount = 0;

  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == kProbeChild && msg->hwnd == m_hWnd) {
      ++preTranslated;
      if (swallow) return TRUE;
    }
    return CStatic::PreTranslateMessage(msg);
  }

 protected:
  void OnAttach() override {
    ++attachCount;
    CStatic::OnAttach();
  }
  LRESULT OnReflectedCtlColor(WPARAM wParam, LPARAM) {
    SetTextColor(reinterpret_cast<HDC>(wParam), kTextColour);
    return reinterpret_cast<LRESULT>(brush);
  }
  LRESULT OnProbeChild(WPARAM, LPARAM) {
    ++dispatched;
    return 0;
  }
  LRESULT OnSetText(WPARAM, LPARAM) {
    ++setTextCount;
    return setTextCallsDefault ? Default() : TRUE;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeStatic, CStatic)
ON_REFLECT(WM_CTLCOLORSTATIC, OnReflectedCtlColor)
ON_MESSAGE(kProbeChild, OnProbeChild)
ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_MAP()

// A dialog whose behaviour each test plugs in.
class CTestDialog : public CDialog {
 public:
  explicit CTestDialog(UINT templateId = kFontDialog, CWnd* parent = nullptr)
      : CDialog(templateId, parent) {}

  std::function<void(CTestDialog&)> onInit;              // after the standard initialisation
  std::function<LRESULT(CTestDialog&, WPARAM)> onProbe;  // kProbe
  std::function<void(CTestDialog&)> onShown;             // the dialog is being shown
  CProbeStatic link;                                     // bound by data exchange
  CText text;                                            // exchanged with the edit control
  HWND hwndAtInit = nullptr;
  int initCount = 0, okCount = 0, cancelCount = 0, pushCount = 0, menuCount = 0;
  std::vector<UINT> defaulted;  // WM_APP.. and kTrayNotify messages left to DefWindowProc

  BOOL OnInitDialog() override {
    ++initCount;
    hwndAtInit = m_hWnd;
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void OnOK() override {
    ++okCount;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++cancelCount;
    CDialog::OnCancel();
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kLinkStatic, link);
    DDX_Text(dx, kEdit, text);
  }
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_APP || message == kTrayNotify) defaulted.push_back(message);
    return CDialog::DefWindowProc(message, wParam, lParam);
  }

 protected:
  LRESULT OnProbe(WPARAM wParam, LPARAM) { return onProbe ? onProbe(*this, wParam) : 1; }
  LRESULT OnBaseOnly(WPARAM, LPARAM) { return 2; }
  LRESULT OnShowWindow(WPARAM wParam, LPARAM) {
    const LRESULT result = Default();
    if (wParam && onShown) onShown(*this);
    return result;
  }
  void OnPush() { ++pushCount; }
  void OnMenu() { ++menuCount; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
ON_MESSAGE(kProbe, OnProbe)
ON_MESSAGE(kBaseOnly, OnBaseOnly)
ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
ON_COMMAND(kPushButton, OnPush)
ON_COMMAND(kMenuCommand, OnMenu)
END_MESSAGE_MAP()

// Overrides two of its base's entries.
class CDerivedDialog : public CTestDialog {
 public:
  int derivedPushCount = 0;

 protected:
  LRESULT OnDerivedProbe(WPARAM, LPARAM) { return 3; }
  void OnDerivedPush() { ++derivedPushCount; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedDialog, CTestDialog)
ON_MESSAGE(kProbe, OnDerivedProbe)
ON_COMMAND(kPushButton, OnDerivedPush)
END_MESSAGE_MAP()

// Handles the control-colour request itself and passes it on.
class CCtlColorDialog : public CTestDialog {
 public:
  int parentCount = 0;

 protected:
  LRESULT OnCtlColorStatic(WPARAM, LPARAM) {
    ++parentCount;
    return Default();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CCtlColorDialog, CTestDialog)
ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
END_MESSAGE_MAP()

// Lives on the heap and deletes itself after its window's final message.
class CSelfDeletingDialog : public CTestDialog {
 public:
  ~CSelfDeletingDialog() override { Log("deleted"); }

 protected:
  void PostNcDestroy() override {
    Log("final");
    delete this;
  }
  LRESULT OnNcDestroy(WPARAM, LPARAM) {
    Log("ncdestroy");
    return Default();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSelfDeletingDialog, CTestDialog)
ON_MESSAGE(WM_NCDESTROY, OnNcDestroy)
END_MESSAGE_MAP()

// A plain window class whose own procedure answers kCustom.
LRESULT CALLBACK CustomWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCustom) return kOriginalResult;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND CreateCustomWindow() {
  static const char* const kClass = "FrameworkTestWindow";
  WNDCLASSA wc{};
  wc.lpfnWndProc = &CustomWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);  // fails harmlessly when registered already
  return CreateWindowExA(0, kClass, "custom", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

class CDefProbe : public CWnd {
 public:
  std::vector<UINT> defaulted;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_APP) defaulted.push_back(message);
    return CWnd::DefWindowProc(message, wParam, lParam);
  }

 protected:
  LRESULT OnHandled(WPARAM, LPARAM) { return 7; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDefProbe, CWnd)
ON_MESSAGE(kHandled, OnHandled)
END_MESSAGE_MAP()

std::string WindowText(HWND hwnd) {
  std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
  GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
  return text.data();
}

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainQueue();
    g_events.clear();
  }
  void TearDown() override { DrainQueue(); }
};

// ---------------------------------------------------------------- binding

TEST_F(FrameworkTest, SubclassBindsOnceAndUnbindsWithTheWindow) {
  CTestDialog dialog;
  CProbeStatic probe, other;
  EXPECT_FALSE(probe.SubclassDlgItem(kPlainStatic, &dialog)) << "parent has no window yet";
  ASSERT_TRUE(dialog.Create());
  const HWND dialogHwnd = dialog.m_hWnd;
  const HWND item = GetDlgItem(dialogHwnd, kPlainStatic);
  EXPECT_EQ(CWnd::FromHandle(dialogHwnd), &dialog);
  EXPECT_EQ(CWnd::FromHandle(item), nullptr);

  ASSERT_TRUE(probe.SubclassDlgItem(kPlainStatic, &dialog));
  EXPECT_EQ(probe.m_hWnd, item);
  EXPECT_EQ(CWnd::FromHandle(item), &probe);
  EXPECT_EQ(probe.attachCount, 1);

  EXPECT_FALSE(probe.SubclassDlgItem(kPlainStatic, &dialog)) << "bound already";
  EXPECT_FALSE(probe.SubclassDlgItem(kEdit, &dialog)) << "the object is bound already";
  EXPECT_FALSE(other.SubclassDlgItem(kPlainStatic, &dialog)) << "the window is bound already";
  EXPECT_FALSE(other.SubclassDlgItem(4242, &dialog)) << "no such control";
  EXPECT_EQ(other.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandle(item), &probe);
  EXPECT_EQ(probe.attachCount, 1);
  EXPECT_EQ(other.attachCount, 0);

  // The bound control still behaves as a static control.
  SetWindowTextA(item, "changed");
  EXPECT_EQ(WindowText(item), "changed");

  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  EXPECT_EQ(probe.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandle(dialogHwnd), nullptr);
  EXPECT_EQ(CWnd::FromHandle(item), nullptr);
  EXPECT_FALSE(dialog.DestroyWindow());
}

TEST_F(FrameworkTest, ManyBoundWindowsEachFindTheirObjectAsOthersComeAndGo) {
  // More windows than the binding table first holds, unbound in another order
  // than they were bound.
  constexpr int kCount = 100;
  CTestDialog dialog;
  ASSERT_TRUE(dialog.Create());
  CProbeStatic probes[kCount];
  HWND windows[kCount];
  for (int i = 0; i < kCount; ++i) {
    windows[i] = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 1, 1, dialog.m_hWnd, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(probes[i].SubclassWindow(windows[i])) << i;
  }
  for (int i = 0; i < kCount; i += 2) EXPECT_TRUE(probes[i].DestroyWindow()) << i;
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(CWnd::FromHandle(windows[i]), i % 2 == 0 ? nullptr : &probes[i]) << i;
  }
  EXPECT_EQ(CWnd::FromHandle(dialog.m_hWnd), &dialog);
  EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
  EXPECT_TRUE(dialog.DestroyWindow());
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(CWnd::FromHandle(windows[i]), nullptr) << i;
}

TEST_F(FrameworkTest, ObjectGoneBeforeItsWindowLeavesAWorkingControl) {
  CTestDialog dialog;
  ASSERT_TRUE(dialog.Create());
  const HWND item = GetDlgItem(dialog.m_hWnd, kPlainStatic);
  {
    CProbeStatic probe;
    ASSERT_TRUE(probe.SubclassDlgItem(kPlainStatic, &dialog));
  }
  EXPECT_EQ(CWnd::FromHandle(item), nullptr);
  SetWindowTextA(item, "after");
  EXPECT_EQ(WindowText(item), "after");
  CProbeStatic again;
  EXPECT_TRUE(again.SubclassDlgItem(kPlainStatic, &dialog)) << "free to bind again";
}

// ---------------------------------------------------------------- dispatch

TEST_F(FrameworkTest, DerivedEntriesWinOverTheBase) {
  CDerivedDialog dialog;
  bool baseProbeCalled = false;
  dialog.onProbe = [&](CTestDialog&, WPARAM) -> LRESULT {
    baseProbeCalled = true;
    return 1;
  };
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(SendMessageA(dialog.m_hWnd, kProbe, 0, 0), 3);
  EXPECT_FALSE(baseProbeCalled);
  EXPECT_EQ(SendMessageA(dialog.m_hWnd, kBaseOnly, 0, 0), 2) << "the base's own entries remain";

  SendMessageA(GetDlgItem(dialog.m_hWnd, kPushButton), BM_CLICK, 0, 0);
  EXPECT_EQ(dialog.derivedPushCount, 1);
  EXPECT_EQ(dialog.pushCount, 0);
  SendMessageA(dialog.m_hWnd, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(dialog.cancelCount, 1) << "CDialog's entries reach the virtual handlers";
}

TEST_F(FrameworkTest, UnhandledMessagesReachTheOverriddenDefWindowProc) {
  CDefProbe probe;
  const HWND hwnd = CreateCustomWindow();
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(probe.SubclassWindow(hwnd));
  EXPECT_EQ(SendMessageA(hwnd, kCustom, 0, 0), kOriginalResult)
      << "passed on to the original window procedure";
  EXPECT_EQ(SendMessageA(hwnd, kHandled, 0, 0), 7);
  EXPECT_EQ(probe.defaulted, std::vector<UINT>{kCustom});
  probe.DestroyWindow();
  EXPECT_FALSE(IsWindow(hwnd));

  // A dialog's private messages (the tray icon's, for one) go the same way.
  CTestDialog dialog;
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(SendMessageA(dialog.m_hWnd, kTrayNotify, 1, WM_LBUTTONUP), 0);
  EXPECT_EQ(SendMessageA(dialog.m_hWnd, kProbe, 0, 0), 1);
  EXPECT_EQ(dialog.defaulted, std::vector<UINT>{kTrayNotify});
}

TEST_F(FrameworkTest, CommandsReachOnlyTheirHandlers) {
  struct Case {
    const char* what;
    std::function<void(HWND dialog)> send;
    int push, menu;
  };
  const Case cases[] = {
      {"button click", [](HWND d) { SendMessageA(GetDlgItem(d, kPushButton), BM_CLICK, 0, 0); }, 1,
       0},
      {"menu command", [](HWND d) { SendMessageA(d, WM_COMMAND, kMenuCommand, 0); }, 0, 1},
      {"accelerator", [](HWND d) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(kMenuCommand, 1), 0); },
       0, 1},
      {"posted menu command", [](HWND d) { PostMessageA(d, WM_COMMAND, kMenuCommand, 0); }, 0, 1},
      // Notifications of a control are not commands, even with code 1
      // (CBN_SELCHANGE, LBN_SELCHANGE, STN_DBLCLK).
      {"control notification 1",
       [](HWND d) {
         const HWND button = GetDlgItem(d, kPushButton);
         SendMessageA(d, WM_COMMAND, MAKEWPARAM(kPushButton, 1), reinterpret_cast<LPARAM>(button));
       },
       0, 0},
      {"focus notification",
       [](HWND d) {
         const HWND button = GetDlgItem(d, kPushButton);
         SendMessageA(d, WM_COMMAND, MAKEWPARAM(kPushButton, BN_SETFOCUS),
                      reinterpret_cast<LPARAM>(button));
       },
       0, 0},
      {"other id", [](HWND d) { SendMessageA(d, WM_COMMAND, kMenuCommand + 1, 0); }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CTestDialog dialog;
    ASSERT_TRUE(dialog.Create());
    c.send(dialog.m_hWnd);
    PumpUntil([&] { return dialog.pushCount + dialog.menuCount >= c.push + c.menu; }, 1000);
    EXPECT_EQ(dialog.pushCount, c.push);
    EXPECT_EQ(dialog.menuCount, c.menu);
  }
}

TEST_F(FrameworkTest, DefaultInsideAHandlerRunsTheDefaultHandling) {
  for (const bool callDefault : {true, false}) {
    SCOPED_TRACE(callDefault ? "with Default()" : "without Default()");
    CTestDialog dialog;
    ASSERT_TRUE(dialog.Create());
    dialog.link.setTextCallsDefault = callDefault;
    SetWindowTextA(dialog.link.m_hWnd, "New text");
    EXPECT_EQ(dialog.link.setTextCount, 1);
    EXPECT_EQ(WindowText(dialog.link.m_hWnd), callDefault ? "New text" : "Linked text");
  }
}

// ---------------------------------------------------------------- reflection

TEST_F(FrameworkTest, BoundChildAnswersTheParentsControlColourRequest) {
  for (const bool parentHandles : {false, true}) {
    SCOPED_TRACE(parentHandles ? "parent handles and passes on" : "parent leaves it");
    CCtlColorDialog handling;
    CTestDialog leaving;
    CTestDialog& dialog = parentHandles ? handling : leaving;
    ASSERT_TRUE(dialog.Create());
    const HWND bound = dialog.link.m_hWnd;
    const HWND unbound = GetDlgItem(dialog.m_hWnd, kPlainStatic);
    ASSERT_NE(bound, nullptr);
    const HDC dc = GetDC(dialog.m_hWnd);

    SetTextColor(dc, RGB(0, 0, 0));
    const LRESULT answer =
        SendMessageA(dialog.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(bound));
    EXPECT_EQ(answer, reinterpret_cast<LRESULT>(dialog.link.brush));
    EXPECT_EQ(GetTextColor(dc), CProbeStatic::kTextColour);

    SetTextColor(dc, RGB(0, 0, 0));
    const LRESULT expected =
        DefWindowProcA(dialog.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(unbound));
    const COLORREF expectedColour = GetTextColor(dc);
    SetTextColor(dc, RGB(0, 0, 0));
    const LRESULT plain =
        SendMessageA(dialog.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(unbound));
    EXPECT_EQ(plain, expected) << "an unbound child gets the default";
    EXPECT_EQ(GetTextColor(dc), expectedColour);
    EXPECT_NE(GetTextColor(dc), CProbeStatic::kTextColour);

    if (parentHandles) {
      EXPECT_EQ(handling.parentCount, 2);
    }
    ReleaseDC(dialog.m_hWnd, dc);
  }
}

TEST_F(FrameworkTest, ControlColourReachesTheChildWhenItPaints) {
  CCtlColorDialog dialog;
  ASSERT_TRUE(dialog.Create());
  ShowWindow(dialog.m_hWnd, SW_SHOWNA);
  RedrawWindow(dialog.link.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_GE(dialog.parentCount, 1) << "the static asks its parent while painting";
}

// ---------------------------------------------------------------- self-delete

TEST_F(FrameworkTest, SelfDeletingObjectIsDeletedOnceAfterItsFinalMessage) {
  struct Case {
    const char* what;
    std::function<void(CSelfDeletingDialog*, HWND)> destroy;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"destroyed from outside",
       [](CSelfDeletingDialog*, HWND hwnd) { DestroyWindow(hwnd); },
       {"ncdestroy", "final", "deleted"}},
      {"destroyed in its own handler",
       [](CSelfDeletingDialog* dialog, HWND hwnd) {
         dialog->onProbe = [](CTestDialog& self, WPARAM) -> LRESULT {
           self.DestroyWindow();
           Log(self.m_hWnd == nullptr && self.initCount == 1 ? "handler alive" : "handler wrong");
           return 0;
         };
         SendMessageA(hwnd, kProbe, 0, 0);
       },
       {"ncdestroy", "handler alive", "final", "deleted"}},
      {"destroyed in a nested handler",
       [](CSelfDeletingDialog* dialog, HWND hwnd) {
         dialog->onProbe = [](CTestDialog& self, WPARAM nested) -> LRESULT {
           if (nested) {
             self.DestroyWindow();
             Log("inner returns");
           } else {
             SendMessageA(self.m_hWnd, kProbe, 1, 0);
             Log(self.m_hWnd == nullptr ? "outer alive" : "outer wrong");
           }
           return 0;
         };
         SendMessageA(hwnd, kProbe, 0, 0);
       },
       {"ncdestroy", "inner returns", "outer alive", "final", "deleted"}},
      {"destroyed from a posted message",
       [](CSelfDeletingDialog* dialog, HWND hwnd) {
         dialog->onProbe = [](CTestDialog& self, WPARAM) -> LRESULT {
           self.DestroyWindow();
           return 0;
         };
         PostMessageA(hwnd, kProbe, 0, 0);
         PumpUntil([] { return !g_events.empty() && g_events.back() == "deleted"; });
       },
       {"ncdestroy", "final", "deleted"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_events.clear();
    auto* dialog = new CSelfDeletingDialog;
    ASSERT_TRUE(dialog->Create());
    const HWND hwnd = dialog->m_hWnd;
    c.destroy(dialog, hwnd);
    EXPECT_EQ(g_events, c.events);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
  }
}

TEST_F(FrameworkTest, RunPreTranslatesAndEndsWhenTheMainWindowIsDestroyed) {
  for (const bool swallow : {false, true}) {
    SCOPED_TRACE(swallow ? "pre-translation claims the message" : "message dispatched");
    g_events.clear();
    CWinApp app;
    auto* main = new CSelfDeletingDialog;
    ASSERT_TRUE(main->Create());
    app.m_pMainWnd = main;
    main->link.swallow = swallow;
    int preTranslated = -1, dispatched = -1;
    main->onProbe = [&](CTestDialog& self, WPARAM) -> LRESULT {
      preTranslated = self.link.preTranslated;
      dispatched = self.link.dispatched;
      self.DestroyWindow();
      return 0;
    };
    PostMessageA(main->link.m_hWnd, kProbeChild, 0, 0);
    PostMessageA(main->m_hWnd, kProbe, 0, 0);
    const HWND hwnd = main->m_hWnd;
    Watchdog dog([hwnd] { DestroyWindow(hwnd); });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_FALSE(dog.fired());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(preTranslated, 1);
    EXPECT_EQ(dispatched, swallow ? 0 : 1);
    EXPECT_EQ(g_events, (std::vector<std::string>{"ncdestroy", "final", "deleted"}));
  }
}

// ---------------------------------------------------------------- modal run

TEST_F(FrameworkTest, ModalRunDisablesTheOwnerAndShowsTheDialogWhenIdle) {
  for (const bool ownerWasDisabled : {false, true}) {
    SCOPED_TRACE(ownerWasDisabled ? "owner disabled before" : "owner enabled before");
    DrainQueue();  // the previous round's main window posted WM_QUIT when it went
    CWinApp app;
    CTestDialog main(kPlainDialog);
    ASSERT_TRUE(main.Create());
    ShowWindow(main.m_hWnd, SW_SHOWNA);
    app.m_pMainWnd = &main;
    if (ownerWasDisabled) EnableWindow(main.m_hWnd, FALSE);

    CTestDialog dialog;
    int probes = 0, probesWhenShown = -1, visibleProbes = 0, enabledOwnerProbes = 0;
    HWND owner = nullptr;
    dialog.onInit = [&](CTestDialog& self) {
      owner = GetWindow(self.m_hWnd, GW_OWNER);
      for (int i = 0; i < 3; ++i) PostMessageA(self.m_hWnd, kProbe, 0, 0);
    };
    dialog.onProbe = [&](CTestDialog& self, WPARAM end) -> LRESULT {
      if (end) {
        self.EndDialog(42);
        return 0;
      }
      ++probes;
      if (IsWindowVisible(self.m_hWnd)) ++visibleProbes;
      if (IsWindowEnabled(main.m_hWnd)) ++enabledOwnerProbes;
      return 0;
    };
    dialog.onShown = [&](CTestDialog& self) {
      probesWhenShown = probes;
      PostMessageA(self.m_hWnd, kProbe, 1, 0);
    };
    Watchdog dog([&] { dialog.EndDialog(static_cast<int>(kTimedOut)); });
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_FALSE(dog.fired());
    EXPECT_EQ(owner, main.m_hWnd) << "owned by the main window by default";
    EXPECT_EQ(probesWhenShown, 3) << "shown once the queue was idle";
    EXPECT_EQ(visibleProbes, 0);
    EXPECT_EQ(enabledOwnerProbes, 0);
    EXPECT_EQ(IsWindowEnabled(main.m_hWnd) != FALSE, !ownerWasDisabled);
    EXPECT_FALSE(IsWindow(dialog.hwndAtInit)) << "destroyed when DoModal returns";
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_EQ(dialog.initCount, 1);
  }
}

TEST_F(FrameworkTest, ModalRunWithAnExplicitParentDisablesItsTopLevelWindow) {
  CTestDialog owner;
  ASSERT_TRUE(owner.Create());
  CStatic child;
  ASSERT_TRUE(child.SubclassDlgItem(kPlainStatic, &owner));
  CTestDialog dialog(kFontDialog, &child);
  bool ownerEnabledDuringRun = true;
  HWND ownerDuringRun = nullptr;
  dialog.onInit = [&](CTestDialog& self) {
    ownerEnabledDuringRun = IsWindowEnabled(owner.m_hWnd) != FALSE;
    ownerDuringRun = GetWindow(self.m_hWnd, GW_OWNER);
    self.EndDialog(5);
  };
  EXPECT_EQ(dialog.DoModal(), 5);
  EXPECT_FALSE(ownerEnabledDuringRun);
  EXPECT_EQ(ownerDuringRun, owner.m_hWnd);
  EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

TEST_F(FrameworkTest, MissingTemplateFailsWithoutLeavingTheOwnerDisabled) {
  CWinApp app;
  CTestDialog main;
  ASSERT_TRUE(main.Create());
  app.m_pMainWnd = &main;
  CTestDialog missing(4711);
  EXPECT_FALSE(missing.Create());
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_EQ(missing.m_hWnd, nullptr);
  EXPECT_EQ(missing.initCount, 0);
  EXPECT_TRUE(IsWindowEnabled(main.m_hWnd));
  app.m_pMainWnd = nullptr;
}

// The installer's pattern: a hidden host run modally as the main window does
// its work while it initialises (a confirmation run nested in it), then posts
// WM_QUIT, so that its own run ends before it is ever shown.
TEST_F(FrameworkTest, HostDialogRunEndsOnQuitPostedDuringItsInitialisation) {
  CWinApp app;
  CTestDialog host(kPlainDialog);
  app.m_pMainWnd = &host;
  INT_PTR confirmResult = 0;
  HWND confirmOwner = nullptr;
  bool hostEnabledDuringConfirm = true, hostShown = false;
  host.onShown = [&](CTestDialog&) { hostShown = true; };
  host.onInit = [&](CTestDialog& self) {
    CTestDialog confirm;
    confirm.onInit = [&](CTestDialog& c) {
      confirmOwner = GetWindow(c.m_hWnd, GW_OWNER);
      hostEnabledDuringConfirm = IsWindowEnabled(self.m_hWnd) != FALSE;
      PostMessageA(GetDlgItem(c.m_hWnd, IDOK), BM_CLICK, 0, 0);
    };
    confirmResult = confirm.DoModal();
    PostQuitMessage(0);
  };
  Watchdog dog([&] { host.EndDialog(static_cast<int>(kTimedOut)); });
  EXPECT_EQ(host.DoModal(), -1);
  EXPECT_FALSE(dog.fired());
  EXPECT_EQ(confirmResult, IDOK);
  EXPECT_EQ(confirmOwner, host.hwndAtInit);
  EXPECT_FALSE(hostEnabledDuringConfirm);
  EXPECT_FALSE(hostShown);
  EXPECT_FALSE(IsWindow(host.hwndAtInit));
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  WPARAM code = 1;
  EXPECT_TRUE(TakeQuit(&code));
  EXPECT_EQ(code, 0u);
}

TEST_F(FrameworkTest, ModalRunReturnsTheEndDialogResult) {
  struct Case {
    const char* what;
    std::function<void(CTestDialog&)> drive;  // from OnInitDialog
    INT_PTR result;
    int ok, cancel;
  };
  const Case cases[] = {
      {"EndDialog during initialisation", [](CTestDialog& d) { d.EndDialog(7); }, 7, 0, 0},
      {"posted IDOK", [](CTestDialog& d) { PostMessageA(d.m_hWnd, WM_COMMAND, IDOK, 0); }, IDOK, 1,
       0},
      {"posted IDCANCEL", [](CTestDialog& d) { PostMessageA(d.m_hWnd, WM_COMMAND, IDCANCEL, 0); },
       IDCANCEL, 0, 1},
      {"Escape in the edit control",
       [](CTestDialog& d) {
         const HWND edit = GetDlgItem(d.m_hWnd, kEdit);
         SetFocus(edit);
         PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 1);
       },
       IDCANCEL, 0, 1},
      {"Enter in the edit control",
       [](CTestDialog& d) {
         const HWND edit = GetDlgItem(d.m_hWnd, kEdit);
         SetFocus(edit);
         PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
       },
       IDOK, 1, 0},
      {"click on OK",
       [](CTestDialog& d) { PostMessageA(GetDlgItem(d.m_hWnd, IDOK), BM_CLICK, 0, 0); }, IDOK, 1,
       0},
      {"handler calls EndDialog after the show",
       [](CTestDialog& d) {
         d.onShown = [](CTestDialog& self) { PostMessageA(self.m_hWnd, kProbe, 0, 0); };
         d.onProbe = [](CTestDialog& self, WPARAM) -> LRESULT {
           self.EndDialog(1234);
           return 0;
         };
       },
       1234, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CTestDialog dialog;
    dialog.onInit = c.drive;
    Watchdog dog([&] { dialog.EndDialog(static_cast<int>(kTimedOut)); });
    EXPECT_EQ(dialog.DoModal(), c.result);
    EXPECT_FALSE(dog.fired());
    EXPECT_EQ(dialog.okCount, c.ok);
    EXPECT_EQ(dialog.cancelCount, c.cancel);
    EXPECT_FALSE(IsWindow(dialog.hwndAtInit));
  }
}

// A command sent from another thread is handled inside GetMessage; the run
// must end then, not at whatever message comes next (with a push button
// focused there is not even a caret blink to come).
DWORD WINAPI SendOkOnceSettled(void* param) {
  HWND volatile* dialog = static_cast<HWND volatile*>(param);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 3000) {
    const HWND hwnd = *dialog;
    if (hwnd != nullptr && IsWindowVisible(hwnd) && !GetUpdateRect(hwnd, nullptr, FALSE)) {
      DWORD_PTR result = 0;
      SendMessageTimeoutA(hwnd, WM_COMMAND, IDOK, 0, SMTO_NORMAL, 3000, &result);
      return 0;
    }
    Sleep(10);
  }
  return 1;
}

TEST_F(FrameworkTest, ModalRunEndsOnACommandSentFromAnotherThread) {
  CTestDialog dialog;
  HWND volatile hwnd = nullptr;
  dialog.onShown = [&](CTestDialog& self) {
    SetFocus(GetDlgItem(self.m_hWnd, IDCANCEL));
    hwnd = self.m_hWnd;
  };
  Watchdog dog([&] { dialog.EndDialog(static_cast<int>(kTimedOut)); });
  const HANDLE thread =
      CreateThread(nullptr, 0, &SendOkOnceSettled, const_cast<HWND*>(&hwnd), 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_FALSE(dog.fired()) << "the run waited for another message after EndDialog";
  EXPECT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(thread);
}

TEST_F(FrameworkTest, QuitEndsTheModalRunAndIsPostedAgain) {
  struct Case {
    const char* what;
    bool before;                             // posted before DoModal
    std::function<void(CTestDialog&)> init;  // from OnInitDialog
    bool shown;
  };
  const Case cases[] = {
      {"posted before the run", true, nullptr, false},
      {"posted during initialisation", false, [](CTestDialog&) { PostQuitMessage(5); }, false},
      {"posted after the show", false,
       [](CTestDialog& d) {
         d.onShown = [](CTestDialog& self) { PostMessageA(self.m_hWnd, kProbe, 0, 0); };
         d.onProbe = [](CTestDialog&, WPARAM) -> LRESULT {
           PostQuitMessage(5);
           return 0;
         };
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DrainQueue();
    CWinApp app;
    CTestDialog main(kPlainDialog);
    ASSERT_TRUE(main.Create());
    app.m_pMainWnd = &main;
    CTestDialog dialog;
    bool shown = false;
    dialog.onInit = [&](CTestDialog& self) {
      if (c.init) c.init(self);
      auto next = self.onShown;
      self.onShown = [&shown, next](CTestDialog& d) {
        shown = true;
        if (next) next(d);
      };
    };
    if (c.before) PostQuitMessage(5);
    Watchdog dog([&] { dialog.EndDialog(static_cast<int>(kTimedOut)); });
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dog.fired());
    EXPECT_EQ(shown, c.shown);
    EXPECT_FALSE(IsWindow(dialog.hwndAtInit));
    EXPECT_TRUE(IsWindowEnabled(main.m_hWnd));
    WPARAM code = 0;
    EXPECT_TRUE(TakeQuit(&code)) << "WM_QUIT is there for the outer loop";
    EXPECT_EQ(code, 5u);
  }
}

TEST_F(FrameworkTest, ModalLoopPreTranslatesForABoundChild) {
  for (const bool swallow : {false, true}) {
    SCOPED_TRACE(swallow ? "pre-translation claims the message" : "message dispatched");
    CTestDialog dialog;
    dialog.onInit = [swallow](CTestDialog& self) {
      self.link.swallow = swallow;
      PostMessageA(self.link.m_hWnd, kProbeChild, 0, 0);
      PostMessageA(self.m_hWnd, kProbe, 0, 0);
    };
    dialog.onProbe = [](CTestDialog& self, WPARAM) -> LRESULT {
      self.EndDialog(IDOK);
      return 0;
    };
    Watchdog dog([&] { dialog.EndDialog(static_cast<int>(kTimedOut)); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.link.preTranslated, 1);
    EXPECT_EQ(dialog.link.dispatched, swallow ? 0 : 1);
    EXPECT_EQ(dialog.link.m_hWnd, nullptr) << "unbound with the dialog";
  }
}

// ---------------------------------------------------------------- modeless

TEST_F(FrameworkTest, ModelessDialogHidesOnEndAndTakesEscapeAndEnter) {
  for (const UINT templateId : {kFontDialog, kPlainDialog}) {
    SCOPED_TRACE(templateId == kFontDialog ? "template with font" : "template without font");
    CTestDialog dialog(templateId);
    ASSERT_TRUE(dialog.Create());
    const HWND hwnd = dialog.m_hWnd;
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(dialog.hwndAtInit, hwnd);
    EXPECT_FALSE(IsWindowVisible(hwnd)) << "the template is not visible";
    EXPECT_EQ(dialog.link.attachCount, 1);
    EXPECT_FALSE(dialog.Create()) << "one window per object";

    ShowWindow(hwnd, SW_SHOW);
    dialog.EndDialog(IDOK);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindow(hwnd)) << "hidden, not destroyed";

    const HWND edit = GetDlgItem(hwnd, kEdit);
    const struct {
      WPARAM key;
      int* count;
    } keys[] = {{VK_ESCAPE, &dialog.cancelCount}, {VK_RETURN, &dialog.okCount}};
    for (const auto& k : keys) {
      SCOPED_TRACE(k.key == VK_ESCAPE ? "Escape" : "Enter");
      ShowWindow(hwnd, SW_SHOW);
      SetFocus(edit);
      PostMessageA(edit, WM_KEYDOWN, k.key, 1);
      EXPECT_TRUE(PumpUntil([&] { return *k.count == 1; }));
      EXPECT_FALSE(IsWindowVisible(hwnd));
      EXPECT_TRUE(IsWindow(hwnd));
    }
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(CWnd::FromHandle(hwnd), &dialog);
  }
}

// ---------------------------------------------------------------- data exchange

TEST_F(FrameworkTest, DataExchangeMovesTextBothWaysAndBindsControlsOnce) {
  const std::string longText(5000, 'x');
  const std::string texts[] = {"", "plain", "with spaces and \xE9 8-bit", longText};
  CTestDialog dialog;
  dialog.text.Assign("initial");
  ASSERT_TRUE(dialog.Create());
  const HWND edit = GetDlgItem(dialog.m_hWnd, kEdit);
  EXPECT_EQ(WindowText(edit), "initial") << "members to controls at initialisation";
  const HWND link = dialog.link.m_hWnd;
  ASSERT_NE(link, nullptr);

  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    SetWindowTextA(edit, text.c_str());
    dialog.text.Assign("stale");
    EXPECT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.text.c_str(), text);

    SetWindowTextA(edit, "stale");
    EXPECT_TRUE(dialog.UpdateData(FALSE));
    EXPECT_EQ(WindowText(edit), text);
  }
  EXPECT_EQ(dialog.link.attachCount, 1) << "bound once however often data is exchanged";
  EXPECT_EQ(dialog.link.m_hWnd, link);

  // OK reads the controls back before ending.
  SetWindowTextA(edit, "typed");
  SendMessageA(dialog.m_hWnd, WM_COMMAND, IDOK, 0);
  EXPECT_STREQ(dialog.text.c_str(), "typed");
}

}  // namespace
