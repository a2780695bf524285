#include "tools/refserver/refdocs.h"

#include "tools/refserver/refdata.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/transcode.h"

#include <array>

std::u16string Wide(std::string_view utf8)
{
    return Utf8ToWide(utf8);
}

std::string Narrow(std::u16string_view text)
{
    return WideToUtf8(text);
}

TSDomElement AppendElement(TSDomNode parent, std::u16string_view name)
{
    TSDomElement element{TSDomString(name)};
    parent.AppendChild(element);
    return element;
}

void AppendTextElement(TSDomNode parent, std::u16string_view name, std::string_view text, bool keepEmpty)
{
    if (text.empty() && !keepEmpty)
        return;
    TSDomElement element = AppendElement(parent, name);
    if (!text.empty())
        element.AppendChild(TSDomText(TSDomString(Wide(text))));
}

void SetAttributeText(TSDomElement& element, std::u16string_view name, std::string_view value)
{
    element.SetAttribute(TSDomString(name), TSDomString(Wide(value)));
}

std::string AttributeText(const TSDomElement& element, std::u16string_view name)
{
    return Narrow(element.GetAttribute(name));
}

std::string ElementText(const TSDomElement& element)
{
    return Narrow(GetElementText(element));
}

std::string Excerpt(std::string_view text, std::size_t limit)
{
    std::string out;
    for (const char c : text.substr(0, limit))
        out += (c >= 32 && c < 127) ? c : '?';
    if (text.size() > limit)
        out += "...";
    return out;
}

const char* ErrorReason(int number)
{
    switch (number) {
    case kErrorMalformedRequest:
        return "Malformed request";
    case kErrorUnknownRequest:
        return "Unknown request";
    case kErrorRequestTooLarge:
        return "Request too large";
    case kErrorRequestTimeout:
        return "Request timed out";
    case kErrorUnknownUser:
        return "Unknown user";
    case kErrorLoginFailed:
        return "Login failed";
    case kErrorUnknownServerId:
        return "Unknown server ID";
    case kErrorInternal:
        return "Internal server error";
    case kErrorBusy:
        return "Server busy";
    default:
        return "";
    }
}

TSDomDocument MakeErrorDocument(const RefDataStore& store, int number, std::string_view details)
{
    TSDomDocument document(u"ERROR");
    TSDomElement root = document.GetDocumentElement();
    SetAttributeText(root, u"NUM", std::to_string(number));
    AppendTextElement(root, u"REASON", ErrorReason(number));
    AppendTextElement(root, u"DETAILS", details);
    AppendTextElement(root, u"URL", store.BaseUrl() + "error?NUM=" + std::to_string(number));
    AppendCoreServers(root, store);
    return document;
}

void AppendCoreServers(TSDomElement& root, const RefDataStore& store)
{
    for (const RefCoreServer& server : store.CoreServers()) {
        if (server.m_commands.IsEmpty())
            continue;
        TSDomElement element = AppendElement(root, u"SERVER");
        SetAttributeText(element, u"TYPE", server.m_type);
        // The client writes commands in its map's order; so do we, so that a
        // file it reads and saves again comes out the same.
        server.m_commands.ForEach([&](const std::string& command, const std::string& text) {
            TSDomElement templ = AppendElement(element, u"TEMPLATE");
            SetAttributeText(templ, u"CMD", command);
            templ.AppendChild(TSDomText(TSDomString(Wide(text))));
        });
    }
}

TSDomDocument MakeCoreServerList(const RefDataStore& store)
{
    TSDomDocument document(u"CORE_SERVER_LIST");
    TSDomElement root = document.GetDocumentElement();
    AppendCoreServers(root, store);
    return document;
}

std::string FormatToolkitDate(std::time_t time)
{
    std::tm parts{};
    gmtime_r(&time, &parts);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y%m%d%H%M%S", &parts);
    return text.data();
}
