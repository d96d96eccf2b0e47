// The ticker's application object: creates the headline window, then runs the
// message loop until that window is destroyed.
#include <new>

#include "framework/App.h"
#include "ticker/FeedHost.h"
#include "ticker/VelquoraDlg.h"

class CVelquoraApp : public CWinApp {
 public:
  BOOL InitInstance() override;
};

CVelquoraApp theApp;

BOOL CVelquoraApp::InitInstance() {
  // The command line is not interpreted.
  LoadFeedHost();  // the feed addresses, before the first category lookup
  CVelquoraDlg* dialog = new (std::nothrow) CVelquoraDlg();
  if (dialog == nullptr) return FALSE;
  if (dialog->m_hWnd == nullptr) {
    // No window could be made: nothing would ever end the loop.
    delete dialog;
    return FALSE;
  }
  m_pMainWnd = dialog;
  return TRUE;
}
