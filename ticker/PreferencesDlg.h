// The Preferences dialog: the news category (a sorted list of every catalogue
// name) and the proxy server text, read from the settings when it opens and
// written back on OK.
#pragma once

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Text.h"
#include "resource.h"

class CPreferencesDlg : public CDialog {
 public:
  enum { IDD = IDD_PREFERENCES };

  // No parent: owned by the application's main window.
  explicit CPreferencesDlg(CWnd* parent = nullptr);

  // Catalogue lookups, offered here as well; they use no dialog state and
  // work on an object whose dialog was never created.
  static const char* GetCategoryName(int code);
  static const char* GetCategoryFeedUrl(int code);

  BOOL OnInitDialog() override;
  // Stores the proxy text, then the chosen category code (0 with nothing
  // selected), then ends the dialog with IDOK, whether or not the writes
  // succeeded.
  void OnOK() override;

  CComboBox m_categoryList;  // names as item texts, codes as item data
  CText m_proxyText;         // exchanged with the proxy edit

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};
