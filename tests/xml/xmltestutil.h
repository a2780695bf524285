#pragma once

#include "tst/xml/dom/domnode.h"

#include <string>
#include <string_view>

// Parses UTF-8 text into a document (TSXmlException on malformed input).
TSDomDocument ParseUtf8(std::string_view text);
// UTF-8 of a 16-bit text, for readable assertions.
std::string U8(std::u16string_view text);
// Formats with a formatter configured by the caller's defaults.
std::string FormatUtf8(const TSDomDocument& document, int pretty = 1, int indentWidth = 0);
// One line per node, children indented, adjacent text nodes merged (the
// parser gives one text node per line): "E name a=v", "T text", "C ...",
// "D cdata", "P target data". Values are written in UTF-8 with control
// characters as \xNN.
std::string DumpTree(const TSDomNode& node);
// The message of a TSXmlException thrown by parsing `text`, or "" when it parses.
std::string ParseError(std::string_view text);
