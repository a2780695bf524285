#pragma once

#include "tst/xml/dom/domnode.h"

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

class RefDataStore;

// Text between the DOM's 16-bit strings and the UTF-8 of files and wires.
std::u16string Wide(std::string_view utf8);
std::string Narrow(std::u16string_view text);

TSDomElement AppendElement(TSDomNode parent, std::u16string_view name);
// An element holding only the text (no element when `text` is empty and
// `keepEmpty` is false).
void AppendTextElement(TSDomNode parent, std::u16string_view name, std::string_view text,
                       bool keepEmpty = true);
void SetAttributeText(TSDomElement& element, std::u16string_view name, std::string_view value);
// The attribute's value, or empty when it is absent.
std::string AttributeText(const TSDomElement& element, std::u16string_view name);
// The element's text content.
std::string ElementText(const TSDomElement& element);

// Text taken from a request, safe to quote in a reply or a log line:
// printable ASCII only (others become '?'), at most `limit` characters.
std::string Excerpt(std::string_view text, std::size_t limit = 120);

// The numbers of the ERROR documents this server sends. The client
// repeats a query at once on 100, so that number is never used for a
// lasting failure.
enum RefErrorNumber : int {
    kErrorMalformedRequest = 10,
    kErrorUnknownRequest = 11,
    kErrorRequestTooLarge = 12,
    kErrorRequestTimeout = 13,
    kErrorUnknownUser = 20,
    kErrorLoginFailed = 21,
    kErrorUnknownServerId = 30,
    kErrorInternal = 50,
    kErrorBusy = 51,
};

// The REASON text of an error number; empty for a number not listed.
const char* ErrorReason(int number);

// "ERROR" with NUM, REASON, DETAILS, the URL of the page that explains the
// error, and the core server records.
TSDomDocument MakeErrorDocument(const RefDataStore& store, int number, std::string_view details);

// The ROUTING, REGISTRATION and HELP records as SERVER children of `root`,
// each with one TEMPLATE per command.
void AppendCoreServers(TSDomElement& root, const RefDataStore& store);

// "CORE_SERVER_LIST": the core cache the client keeps as Server.dat.
TSDomDocument MakeCoreServerList(const RefDataStore& store);

// "%Y%m%d%H%M%S" in UTC: the date attributes of formats and templates.
std::string FormatToolkitDate(std::time_t time);
