// expat with the limits the feed service needs for documents from outside.
#include "feedservice/text/XmlReader.h"

#include <expat.h>
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "feedservice/text/Ascii.h"

namespace {

// Labels whose documents are read as Windows-1252.
bool IsLatin1Label(const std::string& label) {
  return label == "iso-8859-1" || label == "iso8859-1" || label == "latin1" ||
         label == "iso_8859-1" || label == "l1" || label == "us-ascii" || label == "ascii" ||
         label == "cp1252";
}

bool HasByteOrderMark(std::string_view bytes) {
  return (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") ||
         (bytes.size() >= 2 &&
          (bytes.substr(0, 2) == "\xFE\xFF" || bytes.substr(0, 2) == "\xFF\xFE"));
}

// Builds expat's byte map of a single-byte encoding through iconv. Encodings
// with multi-byte sequences, or whose ASCII range differs from ASCII, are
// refused (expat then reports the encoding as unknown).
int UnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
  iconv_t cd = iconv_open("UTF-32LE", name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return XML_STATUS_ERROR;
  bool ok = true;
  for (int byte = 0; byte < 256 && ok; ++byte) {
    char in = static_cast<char>(byte);
    unsigned char outBytes[8] = {};
    char* inPtr = &in;
    size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(outBytes);
    size_t outLeft = sizeof outBytes;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (result == static_cast<size_t>(-1)) {
      if (errno == EINVAL) ok = false;  // a lead byte: not a single-byte encoding
      info->map[byte] = -1;
      continue;
    }
    if (sizeof outBytes - outLeft != 4) {
      info->map[byte] = -1;
      continue;
    }
    const int cp = outBytes[0] | (outBytes[1] << 8) | (outBytes[2] << 16) | (outBytes[3] << 24);
    if (byte < 0x80 && cp != byte) ok = false;
    info->map[byte] = cp;
  }
  iconv_close(cd);
  if (!ok) return XML_STATUS_ERROR;
  info->data = nullptr;
  info->convert = nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

constexpr char kNamespaceSeparator = '\n';

}  // namespace

std::string DeclaredXmlEncoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml") return {};
  const size_t end = bytes.find("?>");
  if (end == std::string_view::npos || end > 512) return {};
  const std::string_view decl = bytes.substr(0, end);
  size_t pos = decl.find("encoding");
  if (pos == std::string_view::npos) return {};
  pos = decl.find_first_of("\"'", pos);
  if (pos == std::string_view::npos) return {};
  const size_t close = decl.find(decl[pos], pos + 1);
  if (close == std::string_view::npos) return {};
  return std::string(decl.substr(pos + 1, close - pos - 1));
}

bool XmlReader::Parse(std::string_view bytes, std::string_view charsetHint, std::string* error) {
  std::string encoding;
  if (!HasByteOrderMark(bytes)) {
    encoding = AsciiLowerCase(DeclaredXmlEncoding(bytes));
    if (encoding.empty()) encoding = AsciiLowerCase(charsetHint);
    if (IsLatin1Label(encoding)) encoding = "windows-1252";
  }
  XML_Parser parser =
      XML_ParserCreateNS(encoding.empty() ? nullptr : encoding.c_str(), kNamespaceSeparator);
  if (parser == nullptr) {
    *error = "out of memory";
    return false;
  }
  parser_ = parser;
  depth_ = 0;
  failure_.clear();
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, &XmlReader::StartThunk, &XmlReader::EndThunk);
  XML_SetCharacterDataHandler(parser, &XmlReader::TextThunk);
  XML_SetEntityDeclHandler(parser, &XmlReader::EntityThunk);
  XML_SetUnknownEncodingHandler(parser, &UnknownEncoding, nullptr);
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

  bool ok = true;
  // expat takes int lengths; documents here are capped far below that.
  constexpr size_t kChunk = 1 << 20;
  size_t offset = 0;
  do {
    const size_t length = std::min(kChunk, bytes.size() - offset);
    const bool last = offset + length == bytes.size();
    if (XML_Parse(parser, bytes.data() + offset, static_cast<int>(length), last) != XML_STATUS_OK) {
      ok = false;
      const std::string line = std::to_string(XML_GetCurrentLineNumber(parser));
      *error = "line " + line + ": " +
               (!failure_.empty() ? failure_ : XML_ErrorString(XML_GetErrorCode(parser)));
      break;
    }
    offset += length;
  } while (offset < bytes.size());
  XML_ParserFree(parser);
  parser_ = nullptr;
  return ok;
}

void XmlReader::Fail(const std::string& reason) {
  if (failure_.empty()) failure_ = reason;
  XML_StopParser(static_cast<XML_Parser>(parser_), XML_FALSE);
}

int XmlReader::CurrentLine() const {
  return parser_ == nullptr
             ? 0
             : static_cast<int>(XML_GetCurrentLineNumber(static_cast<XML_Parser>(parser_)));
}

std::string_view XmlReader::LocalName(std::string_view name) {
  const size_t sep = name.rfind(kNamespaceSeparator);
  return sep == std::string_view::npos ? name : name.substr(sep + 1);
}

std::string_view XmlReader::NamespaceOf(std::string_view name) {
  const size_t sep = name.rfind(kNamespaceSeparator);
  return sep == std::string_view::npos ? std::string_view() : name.substr(0, sep);
}

void XmlReader::StartThunk(void* self, const char* name, const char** attributes) {
  XmlReader* reader = static_cast<XmlReader*>(self);
  if (!reader->failure_.empty()) return;
  if (++reader->depth_ > kMaxXmlDepth) {
    reader->Fail("elements nested deeper than " + std::to_string(kMaxXmlDepth) + " levels");
    return;
  }
  Attributes list;
  for (int i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2) {
    list.emplace_back(attributes[i], attributes[i + 1]);
  }
  reader->OnStart(name, list);
}

void XmlReader::EndThunk(void* self, const char* name) {
  XmlReader* reader = static_cast<XmlReader*>(self);
  if (!reader->failure_.empty()) return;
  --reader->depth_;
  reader->OnEnd(name);
}

void XmlReader::TextThunk(void* self, const char* text, int length) {
  XmlReader* reader = static_cast<XmlReader*>(self);
  if (!reader->failure_.empty()) return;
  reader->OnText(std::string_view(text, static_cast<size_t>(length)));
}

void XmlReader::EntityThunk(void* self, const char*, int, const char*, int, const char*,
                            const char*, const char*, const char*) {
  static_cast<XmlReader*>(self)->Fail("entity declarations are not accepted");
}
