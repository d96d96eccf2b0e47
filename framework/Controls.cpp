#include "framework/Controls.h"

BEGIN_MESSAGE_MAP(CStatic, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CComboBox, CWnd)
END_MESSAGE_MAP()

int CComboBox::AddString(const char* text) {
  return static_cast<int>(SendMessageA(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
  return static_cast<int>(SendMessageA(m_hWnd, CB_SETITEMDATA, index, static_cast<LPARAM>(data)));
}

DWORD_PTR CComboBox::GetItemData(int index) const {
  return static_cast<DWORD_PTR>(SendMessageA(m_hWnd, CB_GETITEMDATA, index, 0));
}

int CComboBox::GetCurSel() const {
  return static_cast<int>(SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0));
}

int CComboBox::SetCurSel(int index) {
  return static_cast<int>(SendMessageA(m_hWnd, CB_SETCURSEL, index, 0));
}

int CComboBox::SelectString(int indexStart, const char* text) {
  return static_cast<int>(
      SendMessageA(m_hWnd, CB_SELECTSTRING, indexStart, reinterpret_cast<LPARAM>(text)));
}

int CComboBox::GetCount() const {
  return static_cast<int>(SendMessageA(m_hWnd, CB_GETCOUNT, 0, 0));
}

int CComboBox::GetLBText(int index, char* buffer, int size) const {
  if (buffer == nullptr || size <= 0) return CB_ERR;
  buffer[0] = '\0';
  const LRESULT length = SendMessageA(m_hWnd, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR || length >= size) return CB_ERR;
  return static_cast<int>(
      SendMessageA(m_hWnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer)));
}
