// XML escaping of element content.
#include "feedservice/text/XmlEscape.h"

std::string EscapeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\t':
      case '\n':
      case '\r':
        out += static_cast<char>(c);
        break;
      default:
        out += c < 0x20 ? '?' : static_cast<char>(c);
    }
  }
  return out;
}
