// Headline cleaning for the ticker.
#include "feedservice/text/Headline.h"

#include <vector>

#include "feedservice/text/Ascii.h"
#include "feedservice/text/Utf8.h"

namespace {

constexpr uint32_t kBadChar = 0xFFFD;

// White space and control characters that become one blank in a headline.
bool IsBlankLike(uint32_t cp) {
  return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0xA0) || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

// Invisible characters dropped from a headline.
bool IsInvisible(uint32_t cp) {
  return cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF;
}

struct NamedEntity {
  const char* name;
  uint32_t cp;
};

// Latin-1 names, U+00A0 to U+00FF in order.
const char* const kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

const NamedEntity kOtherEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"euro", 0x20AC},   {"ndash", 0x2013},  {"mdash", 0x2014},
    {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C},
    {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"hellip", 0x2026}, {"bull", 0x2022},
    {"trade", 0x2122},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"OElig", 0x152},   {"oelig", 0x153},
    {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},
    {"circ", 0x2C6},    {"tilde", 0x2DC},   {"thinsp", 0x2009}, {"ensp", 0x2002},
    {"emsp", 0x2003},   {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},
    {"rlm", 0x200F},    {"minus", 0x2212},  {"prime", 0x2032},  {"Prime", 0x2033}};

bool LookupEntity(std::string_view name, uint32_t* cp) {
  for (int i = 0; i < 96; ++i) {
    if (name == kLatin1Names[i]) {
      *cp = 0xA0 + i;
      return true;
    }
  }
  for (const NamedEntity& entity : kOtherEntities) {
    if (name == entity.name) {
      *cp = entity.cp;
      return true;
    }
  }
  return false;
}

// Tags after which text continues on a new line or block: they leave a blank.
bool IsBreakingTag(std::string_view name) {
  static const char* const kNames[] = {"br", "p",  "div",   "li",         "tr", "td", "th",
                                       "h1", "h2", "h3",    "h4",         "h5", "h6", "hr",
                                       "ul", "ol", "table", "blockquote", "dd", "dt"};
  for (const char* n : kNames) {
    if (EqualsNoCase(name, n)) return true;
  }
  return false;
}

// Position of needle in text at or after from, ignoring ASCII case; npos when
// absent. The needles are short, so this stays linear in the text.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

// Removes HTML/XML markup: "<" followed by a letter, "/", "!" or "?" up to the
// next ">" (line breaks and block elements leave a space). Comments, scripts
// and style sheets go with their contents; an unclosed one hides the rest. A
// "<" that does not start a tag stays. The next ">" is remembered, so text full
// of "<a" costs one pass, not one per "<".
std::string StripMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t nextClose = 0;  // the first ">" after the last search; npos: none left
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c != '<' || !(IsAsciiAlpha(next) || next == '/' || next == '!' || next == '?')) {
      out += c;
      continue;
    }
    if (text.compare(i, 4, "<!--") == 0) {
      const size_t end = text.find("-->", i + 4);
      if (end == std::string_view::npos) break;
      i = end + 2;
      continue;
    }
    if (nextClose != std::string_view::npos && nextClose <= i) nextClose = text.find('>', i + 1);
    if (nextClose == std::string_view::npos) {
      out += c;
      continue;
    }
    const size_t end = nextClose;
    size_t nameStart = i + 1 + (next == '/' ? 1 : 0);
    size_t nameEnd = nameStart;
    while (nameEnd < end && (IsAsciiAlpha(text[nameEnd]) || IsAsciiDigit(text[nameEnd]))) ++nameEnd;
    const std::string_view name = text.substr(nameStart, nameEnd - nameStart);
    if (IsBreakingTag(name)) out += ' ';
    i = end;
    const bool hidesContent = EqualsNoCase(name, "script") || EqualsNoCase(name, "style");
    if (next != '/' && hidesContent && text[end - 1] != '/') {
      const size_t close = FindNoCase(text, std::string("</") + std::string(name), end + 1);
      if (close == std::string_view::npos) break;
      const size_t closeEnd = text.find('>', close);
      if (closeEnd == std::string_view::npos) break;
      i = closeEnd;
    }
  }
  return out;
}

// Decodes HTML character references (the common named ones and "&#N;" /
// "&#xH;") into UTF-8; unknown or malformed references stay as written.
std::string DecodeHtmlEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    // A reference is short: the ";" is looked for only close by, so text full
    // of "&" stays linear.
    const size_t near = text.substr(i + 1, 12).find(';');
    const size_t semi = near == std::string_view::npos ? near : i + 1 + near;
    if (semi == std::string_view::npos) {
      out += '&';
      continue;
    }
    const std::string_view name = text.substr(i + 1, semi - i - 1);
    uint32_t cp = 0;
    bool ok = false;
    if (name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      ok = !digits.empty();
      uint64_t value = 0;
      for (char d : digits) {
        const int v = hex ? HexDigitValue(d) : IsAsciiDigit(d) ? d - '0' : -1;
        if (v < 0) ok = false;
        if (ok) value = value * (hex ? 16 : 10) + static_cast<uint64_t>(v);
        if (value > 0x10FFFF) value = kBadChar;
      }
      cp = static_cast<uint32_t>(value);
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kBadChar;
    } else {
      ok = LookupEntity(name, &cp);
    }
    if (!ok) {
      out += '&';
      continue;
    }
    AppendUtf8(cp, &out);
    i = semi;
  }
  return out;
}

// text (whole characters of the code page) cut to at most limit bytes: at the
// last blank if that keeps two thirds, else between two characters, and ended
// with an ellipsis.
std::string CutHeadline(const std::string& text, size_t limit, const CodePage& codePage) {
  if (text.size() <= limit) return text;
  const std::string& ellipsis = codePage.ellipsis();
  const size_t room = limit - ellipsis.size();
  size_t cut = 0;  // the last character start at or before room
  for (size_t i = 0; i <= room && i < text.size();) {
    cut = i;
    i += codePage.IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
  }
  // A blank byte is always a character of its own: trail bytes start at 0x40.
  const size_t blank = text.rfind(' ', cut);
  if (blank != std::string::npos && blank > limit * 2 / 3) cut = blank;
  std::string out = text.substr(0, cut);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out + ellipsis;
}

// Every "<" that could begin a tag (before a letter or "/") replaced by the
// code page's stand-in. No trail byte is "<", so each "<" byte is a character.
std::string MarkTagStarts(const std::string& text, const CodePage& codePage) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '<' && (next == '/' || IsAsciiAlpha(next))) {
      out += codePage.tagStandIn();
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string CleanHeadline(std::string_view utf8Title, TitleMarkup markup,
                          const CodePage& codePage) {
  const std::string decoded = markup == TitleMarkup::kHtml
                                  ? DecodeHtmlEntities(StripMarkup(utf8Title))
                                  : std::string(utf8Title);
  // One pass over the characters: blanks collapsed, invisible ones dropped,
  // the rest converted. A character whose stand-in is empty (the hard and soft
  // signs, combining marks) leaves no trace, so it cannot part two blanks.
  std::string text;
  text.reserve(decoded.size());
  bool pendingBlank = false;
  for (size_t pos = 0; pos < decoded.size();) {
    const uint32_t cp = NextCodePoint(decoded, &pos);
    if (IsInvisible(cp)) continue;
    if (IsBlankLike(cp) || cp == ' ') {
      pendingBlank = !text.empty();
      continue;
    }
    if (pendingBlank) text += ' ';
    const size_t before = text.size();
    codePage.Append(cp, &text);
    if (text.size() == before) {
      if (pendingBlank) text.pop_back();  // the blank waits for a visible character
      continue;
    }
    pendingBlank = false;
  }
  // Cut first, then the tag stand-ins, as they always were; a stand-in of two
  // bytes (double-byte code pages) can make the line longer again, and then it
  // is cut shorter.
  std::string line = MarkTagStarts(CutHeadline(text, kMaxHeadlineBytes, codePage), codePage);
  for (size_t limit = kMaxHeadlineBytes; line.size() > kMaxHeadlineBytes;) {
    limit -= line.size() - kMaxHeadlineBytes;
    line = MarkTagStarts(CutHeadline(text, limit, codePage), codePage);
  }
  return line;
}
