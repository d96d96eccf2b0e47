// The status page for people: per category with live sources, each source's
// state and the headlines the ticker would show now. Plain HTML, no script;
// every text from a feed or the sources file is escaped.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "feedservice/text/CodePage.h"
#include "feedservice/live/LiveFeeds.h"

// Text for HTML element content and attribute values: & < > " ' as references.
std::string EscapeHtml(std::string_view text);

// The page, in UTF-8. pages holds each category's current page, written in
// codePage; live is false when the service serves sample pages (no sources
// file).
std::string RenderStatusPage(bool live, const std::vector<SourceStatus>& sources,
                             const std::map<std::string, std::string>& pages, int64_t now,
                             const CodePage& codePage = CodePage::Windows1252());
