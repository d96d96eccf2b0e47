#include "framework/Dialog.h"

#include "framework/App.h"

namespace {
// The dialog whose window is being created: its procedure binds the window
// on the first message it sees.
CDialog* g_creating = nullptr;
}  // namespace

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

void DDX_Text(CDataExchange* dx, int id, CText& value) {
  HWND item = GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  if (item == nullptr) return;
  if (!dx->m_bSaveAndValidate) {
    SetWindowTextA(item, value.c_str());
    return;
  }
  value.AssignWindowText(item);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId),
      m_pParent(parent),
      m_modal(false),
      m_endRequested(false),
      m_result(-1),
      m_initStarted(false),
      m_passingDown(0) {}

CDialog::~CDialog() {
  if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
}

HWND CDialog::CreateFromTemplate(HWND owner) {
  m_initStarted = false;
  CDialog* outer = g_creating;
  g_creating = this;
  HWND hwnd = CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_templateId), owner,
                                 &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  g_creating = outer;
  return hwnd;
}

BOOL CDialog::Create() {
  if (m_hWnd != nullptr) return FALSE;
  m_modal = false;
  HWND owner = m_pParent != nullptr ? m_pParent->m_hWnd : AfxGetMainHwnd();
  return CreateFromTemplate(owner) != nullptr;
}

// The template's dialog procedure. It binds the window to its object and
// subclasses it, so every later message goes through the object's message
// table first and reaches the dialog manager as default handling; here it
// passes WM_INITDIALOG on and leaves everything else to the manager, except
// colour requests that the manager (or a theme) asks this procedure for
// directly: those the object answers when its table handles them, with the
// brush as the result.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = static_cast<CDialog*>(FromHandle(hwnd));
  if (dialog == nullptr) {
    dialog = message == WM_INITDIALOG ? reinterpret_cast<CDialog*>(lParam) : g_creating;
    if (dialog == nullptr || dialog->m_hWnd != nullptr) return FALSE;
    g_creating = nullptr;
    dialog->BindAndSubclass(hwnd);
  }
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    if (dialog->m_passingDown == message || !dialog->HandlesMessage(message, wParam)) return FALSE;
    return CWnd::WndProc(hwnd, message, wParam, lParam);
  }
  if (message != WM_INITDIALOG || dialog->m_initStarted) return FALSE;
  dialog->m_initStarted = true;
  return CWnd::WndProc(hwnd, message, wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT outer = m_passingDown;
  m_passingDown = message;
  const LRESULT result = CWnd::DefWindowProc(message, wParam, lParam);
  m_passingDown = outer;
  return result;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
  const BOOL result = OnInitDialog();
  if (m_modal && m_hWnd != nullptr) CenterOnOwner();
  return result;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result) {
  if (m_modal) {
    m_result = result;
    m_endRequested = true;
    // Wake the modal loop: a request that came in a message sent from another
    // thread was handled inside GetMessage, which would otherwise go on
    // waiting for some unrelated message before the loop sees the request.
    if (m_hWnd != nullptr) PostMessageA(m_hWnd, WM_NULL, 0, 0);
  } else if (m_hWnd != nullptr) {
    ShowWindow(m_hWnd, SW_HIDE);
  }
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  // A modeless dialog gets the dialog keys (Tab, Enter, Escape) here; a modal
  // run handles them in its own loop.
  if (m_modal || m_hWnd == nullptr) return FALSE;
  if (msg->hwnd != m_hWnd && !IsChild(m_hWnd, msg->hwnd)) return FALSE;
  return IsDialogMessageA(m_hWnd, msg);
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr) return -1;
  HWND owner = m_pParent != nullptr ? m_pParent->m_hWnd : AfxGetMainHwnd();
  if (owner != nullptr) owner = GetAncestor(owner, GA_ROOT);
  const bool ownerDisabled = owner != nullptr && IsWindowEnabled(owner);
  if (ownerDisabled) EnableWindow(owner, FALSE);

  m_modal = true;
  m_endRequested = false;
  m_result = -1;
  if (CreateFromTemplate(owner) != nullptr) {
    bool shown = false;
    MSG msg;
    while (!m_endRequested && m_hWnd != nullptr) {
      if (!shown && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        ShowWindow(m_hWnd, SW_SHOWNORMAL);
        UpdateWindow(m_hWnd);
        shown = true;
        continue;
      }
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
        break;
      }
      if (got == -1) break;
      if (!AfxPreTranslateMessage(&msg) && !IsDialogMessageA(m_hWnd, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }

  // The owner comes back before the dialog goes, so that it gets the activation.
  if (ownerDisabled) EnableWindow(owner, TRUE);
  if (m_hWnd != nullptr) {
    if (owner != nullptr && GetActiveWindow() == m_hWnd) SetActiveWindow(owner);
    ::DestroyWindow(m_hWnd);
  }
  m_modal = false;
  return m_result;
}

void CDialog::CenterOnOwner() {
  RECT window, area, work;
  GetWindowRect(m_hWnd, &window);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  HWND owner = GetWindow(m_hWnd, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    area = work;
  }
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  // Keep it on the work area.
  if (x + width > work.right) x = work.right - width;
  if (y + height > work.bottom) y = work.bottom - height;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
