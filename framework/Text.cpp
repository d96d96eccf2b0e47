#include "framework/Text.h"

#include <cstdlib>
#include <cstring>

CText::~CText() {
  std::free(m_text);
}

void CText::Clear() {
  std::free(m_text);
  m_text = nullptr;
}

bool CText::Assign(const char* text) {
  if (text == nullptr || text[0] == '\0') {
    Clear();
    return true;
  }
  const size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);  // before the free: text may be ours
  Clear();
  m_text = copy;
  return copy != nullptr;
}

bool CText::AssignWindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) {
    Clear();
    return true;
  }
  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
  if (text != nullptr) {
    const int copied = GetWindowTextA(hwnd, text, length + 1);
    text[copied > 0 ? copied : 0] = '\0';
  }
  Clear();
  m_text = text;
  return text != nullptr;
}
