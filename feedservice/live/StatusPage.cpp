// HTML of the status page.
#include "feedservice/live/StatusPage.h"

#include "feedservice/text/Utf8.h"

#include "common/ContractStrings.h"

namespace {

// Sources-file and error texts are UTF-8 already; bytes that do not form
// UTF-8 become U+FFFD so the page stays well-formed.
std::string Text(std::string_view utf8) {
  return EscapeHtml(ValidUtf8(utf8));
}

bool IsWebAddress(const std::string& url) {
  return url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
}

const char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse;margin-bottom:.8em}"
    "th,td{border:1px solid #bbb;padding:.25em .6em;text-align:left;vertical-align:top}"
    "th{background:#eee}"
    "tr.failed td{background:#f8d0d0;color:#800}"
    "tr.failed td.state{font-weight:bold}"
    "tr.ok td.state{color:#060}"
    "ol.headlines{margin-top:.2em}";

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const char* reference = c == '&'    ? "&amp;"
                            : c == '<'  ? "&lt;"
                            : c == '>'  ? "&gt;"
                            : c == '"'  ? "&quot;"
                            : c == '\'' ? "&#39;"
                                        : nullptr;
    if (reference != nullptr) {
      out += reference;
    } else {
      out += c;
    }
  }
  return out;
}

std::string RenderStatusPage(bool live, const std::vector<SourceStatus>& sources,
                             const std::map<std::string, std::string>& pages, int64_t now,
                             const CodePage& codePage) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>feedservice status</title><style>";
  html += kStyle;
  html += "</style></head><body>\n<h1>feedservice status</h1>\n<p>As of " + FormatSourceTime(now);
  if (!live) {
    html +=
        ". No sources file: every category is served from the bundled sample "
        "headlines.</p>\n</body></html>\n";
    return html;
  }
  size_t failed = 0;
  for (const SourceStatus& s : sources) failed += s.status == "error" || s.status == "gone" ? 1 : 0;
  html += ": " + std::to_string(sources.size()) + " sources, " + std::to_string(failed) +
          " failing.</p>\n";

  // Categories in the order the sources file first names them.
  std::vector<std::string> categories;
  for (const SourceStatus& s : sources) {
    bool seen = false;
    for (const std::string& c : categories) seen = seen || c == s.category;
    if (!seen) categories.push_back(s.category);
  }
  for (const std::string& category : categories) {
    html += "<section>\n<h2>" + Text(category) + "</h2>\n<table>\n";
    html +=
        "<tr><th>source</th><th>state</th><th>last success</th><th>items</th>"
        "<th>next due</th><th>last error</th></tr>\n";
    for (const SourceStatus& s : sources) {
      if (s.category != category) continue;
      const bool bad = s.status == "error" || s.status == "gone";
      // The address asked now, when a permanent redirect moved the feed: the
      // operator's cue to change the sources file.
      const std::string moved =
          s.movedTo.empty() ? std::string() : "<br>moved to " + Text(s.movedTo);
      const std::string waits =
          s.waitReason.empty() ? std::string() : " (" + Text(s.waitReason) + ")";
      html += std::string("<tr class=\"") +
              (bad                     ? "failed"
               : s.status == "pending" ? "pending"
                                       : "ok") +
              "\"><td>" + Text(s.url) + moved + "</td><td class=\"state\">" + Text(s.status) +
              "</td><td>" + FormatSourceTime(s.lastSuccess) + "</td><td>" +
              std::to_string(s.items) + "</td><td>" + FormatSourceTime(s.nextDue) + waits +
              "</td><td>" + (s.error.empty() ? std::string("-") : Text(s.error)) + "</td></tr>\n";
    }
    html += "</table>\n";
    std::string urls[kHeadlineSlots];
    std::string texts[kHeadlineSlots];
    const auto page = pages.find(category);
    const int count = page == pages.end() ? 0 : ExtractHeadlines(page->second.c_str(), urls, texts);
    if (count <= 0) {
      html += "<p>No headlines.</p>\n";
    } else {
      html += "<ol class=\"headlines\">\n";
      for (int i = 0; i < count; ++i) {
        // The text as the ticker shows it: undecoded, so a reference reads as written.
        const std::string text = EscapeHtml(codePage.ToUtf8(texts[i]));
        const std::string url = codePage.ToUtf8(urls[i]);
        html += IsWebAddress(url)
                    ? "<li><a href=\"" + EscapeHtml(url) + "\">" + text + "</a></li>\n"
                    : "<li>" + text + "</li>\n";
      }
      html += "</ol>\n";
    }
    html += "</section>\n";
  }
  html += "</body></html>\n";
  return html;
}
