// The ticker's About box: icon, name and version, where to send reports, and
// a live link to our web page.
#pragma once

#include "framework/Dialog.h"
#include "hyperlink/HyperLink.h"

class CAboutBox : public CDialog {
 public:
  explicit CAboutBox(CWnd* parent = nullptr);

 protected:
  void DoDataExchange(CDataExchange* dx) override;

  CHyperLink m_webLink;  // the web-page line; its address is its own text
};
