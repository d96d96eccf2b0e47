// Code page tables built from iconv, and the stand-ins for characters a code
// page lacks.
#include "feedservice/text/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "feedservice/text/Ascii.h"
#include "feedservice/text/Utf8.h"

namespace {

// Characters of Windows-1252 between 0x80 and 0x9F, by byte (0: unassigned).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Letters of Latin-1, U+00C0 to U+00FF, as bare Latin letters.
const char* const kLatin1Letters[64] = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
    "D", "N", "O", "O", "O", "O", "O",  "x", "O", "U", "U", "U", "U", "Y", "Th", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "/", "o", "u", "u", "u", "u", "y", "th", "y"};

// Bare letters of Latin Extended-A, U+0100 to U+017F.
constexpr char kLatinExtendedA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRr"
    "SsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(sizeof kLatinExtendedA == 129, "one letter per character");

// Cyrillic capitals U+0410 to U+042F in Latin letters; small letters follow.
const char* const kCyrillic[32] = {"A",  "B",  "V",  "G",    "D", "E", "Zh", "Z", "I",  "Y", "K",
                                   "L",  "M",  "N",  "O",    "P", "R", "S",  "T", "U",  "F", "Kh",
                                   "Ts", "Ch", "Sh", "Shch", "",  "Y", "",   "E", "Yu", "Ya"};

// Further characters with a close stand-in: another character the code page
// may hold, else ASCII text.
struct Transliteration {
  uint32_t cp;
  uint32_t alternative;  // 0: none
  const char* text;
};
const Transliteration kTransliterations[] = {
    {0x401, 0, "Yo"},
    {0x451, 0, "yo"},
    {0x404, 0, "Ye"},
    {0x454, 0, "ye"},
    {0x406, 0, "I"},
    {0x456, 0, "i"},
    {0x407, 0, "Yi"},
    {0x457, 0, "yi"},
    {0x490, 0, "G"},
    {0x491, 0, "g"},
    {0x218, 0, "S"},
    {0x219, 0, "s"},
    {0x21A, 0, "T"},
    {0x21B, 0, "t"},
    {0x2010, 0, "-"},
    {0x2011, 0, "-"},
    {0x2012, 0, "-"},
    {0x2212, 0, "-"},
    {0x2015, 0x2014, "-"},
    {0x201B, 0, "'"},
    {0x2032, 0, "'"},
    {0x201F, 0, "\""},
    {0x2033, 0, "\""},
    {0x2044, 0, "/"},
    // Only for code pages without them (Windows-1252 has them all).
    {0x2018, 0, "'"},
    {0x2019, 0, "'"},
    {0x201A, 0, "'"},
    {0x201C, 0, "\""},
    {0x201D, 0, "\""},
    {0x201E, 0, "\""},
    {0x2013, 0, "-"},
    {0x2014, 0x2013, "-"},
    {0x2026, 0, "..."},
    {0x20AC, 0, "EUR"},
    {0x2022, 0x00B7, "*"},
    {0x2039, 0, "'"},
    {0x203A, 0, "'"},
    {0x00AB, 0, "\""},
    {0x00BB, 0, "\""},
    {0x2122, 0, "TM"},
    {0x00A9, 0, "(C)"},
    {0x00AE, 0, "(R)"},
    {0x0192, 0, "f"},
    {0x02C6, 0, "^"},
    {0x02DC, 0, "~"},
    {0x2020, 0, "+"},
    {0x00B7, 0, "."},
    {0x00B4, 0, "'"}};

constexpr uint32_t kLength1 = 1u << 16;
constexpr uint32_t kLength2 = 2u << 16;

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

}  // namespace

CodePage::CodePage(int number, const char* name, const char* iconvName, bool doubleByte)
    : number_(number), name_(name), iconvName_(iconvName), doubleByte_(doubleByte) {}

std::vector<const CodePage*> CodePage::All() {
  static const CodePage kPages[] = {{874, "windows-874", "CP874", false},
                                    {932, "Shift_JIS", "CP932", true},
                                    {936, "GBK", "CP936", true},
                                    {949, "EUC-KR", "CP949", true},
                                    {950, "Big5", "CP950", true},
                                    {1250, "windows-1250", "CP1250", false},
                                    {1251, "windows-1251", "CP1251", false},
                                    {1252, "windows-1252", "CP1252", false},
                                    {1253, "windows-1253", "CP1253", false},
                                    {1254, "windows-1254", "CP1254", false},
                                    {1255, "windows-1255", "CP1255", false},
                                    {1256, "windows-1256", "CP1256", false},
                                    {1257, "windows-1257", "CP1257", false},
                                    {1258, "windows-1258", "CP1258", false}};
  std::vector<const CodePage*> all;
  for (const CodePage& page : kPages) all.push_back(&page);
  return all;
}

const CodePage& CodePage::Windows1252() {
  static const CodePage* const page = Find("windows-1252");
  return *page;
}

const CodePage* CodePage::Find(std::string_view label) {
  std::string lower = AsciiLowerCase(label);
  for (const std::string prefix : {"windows-", "cp"}) {
    if (lower.compare(0, prefix.size(), prefix) == 0) {
      lower = lower.substr(prefix.size());
      break;
    }
  }
  for (const CodePage* page : All()) {
    if (lower == std::to_string(page->number_) || lower == AsciiLowerCase(page->name_)) {
      return page;
    }
  }
  return nullptr;
}

void CodePage::Load() const {
  std::call_once(loaded_, [this] {
    table_.assign(0x10000, 0);
    if (number_ == 1252) {
      // Windows-1252 from its own table, as the service always wrote it.
      for (uint32_t cp = 0; cp < 0x100; ++cp) {
        if (cp < 0x80 || cp >= 0xA0) table_[cp] = kLength1 | cp;
      }
      for (uint32_t i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0) table_[kCp1252High[i]] = kLength1 | (0x80 + i);
      }
    } else if (iconv_t cd = iconv_open(iconvName_.c_str(), "UTF-32LE");
               cd != reinterpret_cast<iconv_t>(-1)) {
      for (uint32_t cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF), 0, 0};
        char bytes[8];
        char* inPtr = in;
        size_t inLeft = sizeof in;
        char* outPtr = bytes;
        size_t outLeft = sizeof bytes;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
        // Characters held back for composition (Windows-1255, -1258) come out here.
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
        const size_t length = sizeof bytes - outLeft;
        const unsigned char b0 = static_cast<unsigned char>(bytes[0]);
        const unsigned char b1 = static_cast<unsigned char>(bytes[1]);
        // One character in one byte, or in two: a double-byte character, or a
        // letter and its combining mark in Windows-1258. Longer forms and
        // control bytes standing for something else are not taken.
        if (length == 1 && (b0 >= 0x20 || b0 == cp)) {
          table_[cp] = kLength1 | b0;
        } else if (length == 2 && b0 >= 0x20 && b1 >= 0x20) {
          table_[cp] = kLength2 | (b0 << 8) | b1;
          if (doubleByte_) lead_[b0] = true;
        }
      }
      iconv_close(cd);
    }
    tagStandIn_ = Lookup(0x2039);
    if (tagStandIn_.empty()) tagStandIn_ = Lookup(0xFF1C);
    if (tagStandIn_.empty()) tagStandIn_ = "(";
    ellipsis_ = Lookup(0x2026);
    if (ellipsis_.empty()) ellipsis_ = "...";
  });
}

std::string CodePage::Encode(uint32_t cp) const {
  Load();
  return Lookup(cp);
}

std::string CodePage::Lookup(uint32_t cp) const {
  const uint32_t entry = cp < table_.size() ? table_[cp] : 0;
  std::string out;
  if ((entry >> 16) == 2) out += static_cast<char>((entry >> 8) & 0xFF);
  if ((entry >> 16) != 0) out += static_cast<char>(entry & 0xFF);
  return out;
}

bool CodePage::IsLeadByte(unsigned char byte) const {
  Load();
  return lead_[byte];
}

const std::string& CodePage::tagStandIn() const {
  Load();
  return tagStandIn_;
}

const std::string& CodePage::ellipsis() const {
  Load();
  return ellipsis_;
}

void CodePage::Append(uint32_t cp, std::string* out) const {
  const std::string own = Encode(cp);
  if (!own.empty()) {
    *out += own;
    return;
  }
  if (cp >= 0xC0 && cp <= 0xFF) {
    *out += kLatin1Letters[cp - 0xC0];
    return;
  }
  if (cp >= 0x100 && cp <= 0x17F) {
    *out += kLatinExtendedA[cp - 0x100];
    return;
  }
  if (cp >= 0x410 && cp <= 0x42F) {
    *out += kCyrillic[cp - 0x410];
    return;
  }
  if (cp >= 0x430 && cp <= 0x44F) {
    for (const char* c = kCyrillic[cp - 0x430]; *c != '\0'; ++c) *out += AsciiLower(*c);
    return;
  }
  if (cp >= 0x300 && cp <= 0x36F) return;  // combining marks: keep the base letter
  for (const Transliteration& t : kTransliterations) {
    if (t.cp != cp) continue;
    const std::string alternative = t.alternative != 0 ? Encode(t.alternative) : std::string();
    *out += alternative.empty() ? t.text : alternative;
    return;
  }
  *out += '?';
}

std::string CodePage::ToUtf8(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size());
  if (number_ == 1252) {
    for (unsigned char c : bytes) {
      const uint32_t code = c < 0x80 || c >= 0xA0 ? c : kCp1252High[c - 0x80];
      if (code == 0) {
        out += kReplacement;
      } else {
        AppendUtf8(code, &out);
      }
    }
    return out;
  }
  iconv_t cd = iconv_open("UTF-8", iconvName_.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes.size(), '?');
  std::string input(bytes);
  char* in = input.data();
  size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t leftBefore = inLeft;
    const size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, outPtr);
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;  // on from where it stopped
    if (inLeft == leftBefore) {
      // Stuck on an undefined byte or a cut-off pair: one stand-in, on after it.
      out += kReplacement;
      ++in;
      --inLeft;
    } else if (inLeft == 0) {
      // Some of glibc's converters step past a bad pair themselves.
      out += kReplacement;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}
