// Setup's application object: scans the command line and runs the hidden host
// dialog, whose initialisation does all the work; then the process ends.
#include "framework/App.h"
#include "setup/SetupDlg.h"
#include "setup/core/CommandLine.h"

class CSetupApp : public CWinApp {
 public:
  BOOL InitInstance() override;
};

CSetupApp theApp;

BOOL CSetupApp::InitInstance() {
  CSetupDlg dialog;
  dialog.m_optionText = ScanOptionText(GetCommandLineA());
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  // No message loop afterwards: the process ends with exit code 0.
  return FALSE;
}
