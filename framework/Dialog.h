// Dialogs from templates: modeless (Create) or modal (DoModal), with data
// exchange between member variables and the template's controls.
#pragma once

#include "framework/Text.h"
#include "framework/Wnd.h"

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
};

// Binds a control object to the template's control (once; later calls do
// nothing). The object's attach hook runs when it is bound.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
// Exchanges a member text with a control's window text.
void DDX_Text(CDataExchange* dx, int id, CText& value);

class CDialog : public CWnd {
 public:
  // A dialog on template templateId of the program's resources; parent null
  // means owned by the application's main window.
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Creates the dialog modeless (hidden unless the template says visible).
  BOOL Create();
  // Runs the dialog modally: disables the owner, shows the dialog once the
  // message queue is first idle, and returns the EndDialog result, or -1 when
  // the dialog could not be created or the run ended on WM_QUIT (which is
  // posted again for the outer loop) or on the dialog's destruction.
  INT_PTR DoModal();
  // Modal: ends the run with result. Modeless: hides the dialog.
  void EndDialog(int result);

  virtual BOOL OnInitDialog();  // runs data exchange to the controls
  virtual void OnOK();          // data exchange from the controls, then EndDialog(IDOK)
  virtual void OnCancel();      // EndDialog(IDCANCEL)
  virtual void DoDataExchange(CDataExchange* dx);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  BOOL PreTranslateMessage(MSG* msg) override;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  UINT m_templateId;
  CWnd* m_pParent;

  DECLARE_MESSAGE_MAP()
  LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND CreateFromTemplate(HWND owner);
  void CenterOnOwner();

  bool m_modal;
  bool m_endRequested;
  INT_PTR m_result;
  bool m_initStarted;
  UINT m_passingDown;  // the message being passed to the dialog manager, if any
};
