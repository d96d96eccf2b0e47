// The ANSI code pages of Windows that headlines can be written in: the ticker
// shows a headline's bytes in the code page of the Windows it runs on, so one
// service instance writes the code page of the readers it serves.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CodePage {
 public:
  // The supported code page a label names, or null: "windows-1251", "cp1251",
  // "1251", and for the double-byte ones also "shift_jis", "gbk", "euc-kr",
  // "big5" (any case).
  static const CodePage* Find(std::string_view label);
  // Windows-1252, the default: headlines exactly as the service always wrote them.
  static const CodePage& Windows1252();
  // Every supported code page, in order of number.
  static std::vector<const CodePage*> All();

  // The label pages and the HTTP Content-Type declare ("windows-1251", "Shift_JIS").
  const std::string& name() const { return name_; }
  int number() const { return number_; }
  bool isDoubleByte() const { return doubleByte_; }

  // Appends character cp. A character the code page lacks becomes a close
  // ASCII stand-in (a bare letter, Cyrillic in Latin letters, plain quotes)
  // or "?"; a combining mark becomes nothing. Never a byte of "<" or ">"
  // unless cp is that character.
  void Append(uint32_t cp, std::string* out) const;
  // The code page's own bytes for cp, empty when it lacks the character.
  std::string Encode(uint32_t cp) const;
  // Bytes of this code page as UTF-8, for pages people read; a byte or pair
  // the code page does not define becomes U+FFFD.
  std::string ToUtf8(std::string_view bytes) const;
  // True for a byte that starts a two-byte character (double-byte pages).
  bool IsLeadByte(unsigned char byte) const;
  // What stands in for a "<" that could begin a tag ("‹" or a full-width
  // "<"), and the ellipsis that ends a cut headline.
  const std::string& tagStandIn() const;
  const std::string& ellipsis() const;

  CodePage(int number, const char* name, const char* iconvName, bool doubleByte);

 private:
  void Load() const;
  std::string Lookup(uint32_t cp) const;  // Encode on a loaded table

  int number_;
  std::string name_;
  std::string iconvName_;
  bool doubleByte_;
  // Built on first use from iconv: per BMP character its bytes (low 16 bits)
  // and their count (bits 16 and up, 0: lacking).
  mutable std::once_flag loaded_;
  mutable std::vector<uint32_t> table_;
  mutable bool lead_[256] = {};
  mutable std::string tagStandIn_;
  mutable std::string ellipsis_;
};
