#include "hyperlink/AboutBox.h"

#include "resource.h"

CAboutBox::CAboutBox(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

void CAboutBox::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_WEB_LINK, m_webLink);
}
