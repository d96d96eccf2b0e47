#include "ticker/PreferencesDlg.h"

#include "ticker/SettingsStore.h"
#include "ticker/core/CategoryFeeds.h"

CPreferencesDlg::CPreferencesDlg(CWnd* parent) : CDialog(IDD, parent) {}

const char* CPreferencesDlg::GetCategoryName(int code) {
  return ::GetCategoryName(code);
}

const char* CPreferencesDlg::GetCategoryFeedUrl(int code) {
  return ::GetCategoryFeedUrl(code);
}

void CPreferencesDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_CATEGORY_LIST, m_categoryList);
  DDX_Text(dx, IDC_PROXY, m_proxyText);
}

BOOL CPreferencesDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // Every category in code order; the list sorts them itself, so the item
  // data, not the position, tells the code.
  for (int code = kFirstCategoryCode; code <= kLastCategoryCode; ++code) {
    const char* name = GetCategoryName(code);
    if (name == nullptr) continue;
    const int index = m_categoryList.AddString(name);
    if (index >= 0) m_categoryList.SetItemData(index, static_cast<DWORD_PTR>(code));
  }

  // The stored category, or the default one when none is stored or the stored
  // code is not in the catalogue. No name begins another, so the prefix match
  // of the list selects exactly this category.
  DWORD code = 0;
  const char* name = nullptr;
  if (GetRegistryDword(kUrlCodeValue, &code)) name = GetCategoryName(static_cast<int>(code));
  if (name == nullptr) name = GetCategoryName(kDefaultCategoryCode);
  m_categoryList.SelectString(0, name);

  char proxy[1024];
  m_proxyText.Assign(GetRegistryString(kProxyValue, proxy) ? proxy : "");
  UpdateData(FALSE);
  return TRUE;
}

void CPreferencesDlg::OnOK() {
  UpdateData(TRUE);
  SetRegistryString(kProxyValue, m_proxyText.c_str());  // also when empty: clears the proxy

  DWORD code = 0;
  const int selection = m_categoryList.GetCurSel();
  if (selection != CB_ERR) {
    const DWORD_PTR data = m_categoryList.GetItemData(selection);
    if (data != static_cast<DWORD_PTR>(CB_ERR)) code = static_cast<DWORD>(data);
  }
  SetRegistryDword(kUrlCodeValue, code);

  CDialog::OnOK();
}
