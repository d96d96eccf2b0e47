// Text made safe to place in an XML document.
#pragma once

#include <string>
#include <string_view>

// Element content: "&", "<" and ">" as entities; control bytes other than tab,
// line feed and carriage return (which XML cannot carry) as "?".
std::string EscapeXmlText(std::string_view text);
