// Thin control objects for controls bound by data exchange.
#pragma once

#include "framework/Wnd.h"

class CStatic : public CWnd {
 public:
  DECLARE_MESSAGE_MAP()
};

class CComboBox : public CWnd {
 public:
  int AddString(const char* text);
  int SetItemData(int index, DWORD_PTR data);
  DWORD_PTR GetItemData(int index) const;
  int GetCurSel() const;
  int SetCurSel(int index);
  // Selects the first item after indexStart whose text begins with text
  // (case ignored); -1 searches from the top.
  int SelectString(int indexStart, const char* text);
  int GetCount() const;
  int GetLBText(int index, char* buffer, int size) const;  // bounded copy

  DECLARE_MESSAGE_MAP()
};
