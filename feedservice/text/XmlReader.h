// A guarded XML reader over expat for documents from outside: feeds fetched
// from the network and the sources file. Entity declarations (the ground of
// entity-expansion attacks) and nesting deeper than kMaxXmlDepth stop the
// parse at once; single-byte encodings that expat does not know itself
// (Windows-125x, KOI8-R, ISO-8859-x) are read through iconv tables.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr int kMaxXmlDepth = 64;

class XmlReader {
 public:
  virtual ~XmlReader() = default;

  // Parses one whole document. Element names arrive as "namespace-uri\nlocal"
  // for names in a namespace and as "local" otherwise. charsetHint (from an
  // HTTP Content-Type, may be empty) is used when the document declares no
  // encoding and has no byte-order mark. Labels ISO-8859-1 and US-ASCII are
  // read as Windows-1252, their common superset in practice. False with a
  // one-line *error (with the line number) for a document that is not
  // well-formed or is refused.
  bool Parse(std::string_view bytes, std::string_view charsetHint, std::string* error);

 protected:
  using Attributes = std::vector<std::pair<std::string_view, std::string_view>>;
  virtual void OnStart(std::string_view name, const Attributes& attributes) = 0;
  virtual void OnEnd(std::string_view name) = 0;
  virtual void OnText(std::string_view text) = 0;
  // Ends the parse with this reason (called from a handler).
  void Fail(const std::string& reason);
  // The line the parse is at (in a handler: the line of the current markup).
  int CurrentLine() const;

  // The local part of a name as delivered, and its namespace.
  static std::string_view LocalName(std::string_view name);
  static std::string_view NamespaceOf(std::string_view name);

 private:
  static void StartThunk(void* self, const char* name, const char** attributes);
  static void EndThunk(void* self, const char* name);
  static void TextThunk(void* self, const char* text, int length);
  static void EntityThunk(void* self, const char*, int, const char*, int, const char*, const char*,
                          const char*, const char*);

  void* parser_ = nullptr;
  int depth_ = 0;
  std::string failure_;
};

// The encoding a document declares in its XML declaration, or empty.
std::string DeclaredXmlEncoding(std::string_view bytes);
