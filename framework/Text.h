// An owned, NUL-terminated text on the C heap: what the windows hold as
// member texts (link addresses, edit contents, the feed address). The
// programs link no C++ library containers, so that they stay small and throw
// nothing; a text that cannot be allocated becomes empty.
#pragma once

#include <windows.h>

#include <cstddef>

class CText {
 public:
  CText() : m_text(nullptr) {}
  ~CText();
  CText(const CText&) = delete;
  CText& operator=(const CText&) = delete;

  // A copy of text (null counts as empty). False when it could not be
  // allocated; the text is then empty.
  bool Assign(const char* text);
  // The whole window text of hwnd.
  bool AssignWindowText(HWND hwnd);
  void Clear();

  const char* c_str() const { return m_text != nullptr ? m_text : ""; }
  bool empty() const { return m_text == nullptr || m_text[0] == '\0'; }

 private:
  char* m_text;  // null: empty
};
