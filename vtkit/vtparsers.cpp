#include "vtkit/vtparsers.h"

#include "tst/tsexcep.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/io/xmlsource.h"
#include "tst/xml/io/xmlwriter.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"
#include "vtkit/cdanalyze.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kDateDigits = 14;
// Blanks per level in every document the system writes.
constexpr int kIndentWidth = 4;

std::int64_t DaysFrom1970(int year, unsigned month, unsigned day)
{
    using namespace std::chrono;
    return sys_days(std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day))
        .time_since_epoch()
        .count();
}

int DateField(std::string_view digits, std::size_t offset, std::size_t length)
{
    int value = 0;
    for (const char c : digits.substr(offset, length))
        value = value * 10 + (c - '0');
    return value;
}

std::string IntegerText(long value)
{
    // The magnitude in unsigned arithmetic, so the most negative value has one too.
    const auto magnitude = static_cast<unsigned long>(value);
    std::string text = FormatUnsigned(value < 0 ? 0UL - magnitude : magnitude);
    if (value < 0)
        text.insert(text.begin(), '-');
    return text;
}

// An element with attributes only.
void WriteEmpty(TSXmlWriter& out, std::u16string_view name,
                std::initializer_list<std::pair<std::u16string_view, std::string_view>> attributes)
{
    out.StartElement(name);
    for (const auto& [attribute, value] : attributes)
        out.Attribute(attribute, value);
    out.EndElement();
}

VTCodeType ReadCodeType(const TSDomElement& element)
{
    return CodeTypeFromName(ReadTextAttribute(element, u"TYPE"));
}

VTCodeFormat ReadCurrentFormat(const TSDomElement& code)
{
    VTCodeFormat format;
    format.SetCodeType(ReadCodeType(code));
    format.SetLowCode(ReadTextAttribute(code, u"LOW"));
    format.SetHighCode(ReadTextAttribute(code, u"HIGH"));
    format.SetExpiry(VTCurrentTime());
    for (TSDomNode node = code.GetFirstChild(); !node.IsNull(); node = node.GetNextSibling()) {
        if (node.GetNodeType() != kDomElementNode)
            continue;
        const TSDomElement child(node);
        const TSDomString name = child.GetTagName();
        const auto start = static_cast<int>(ReadIntegerAttribute(child, u"START"));
        const auto length = static_cast<int>(ReadIntegerAttribute(child, u"LENGTH"));
        if (name == u"RID") {
            format.SetRoutingId(start, length);
        } else if (name == u"IID") {
            format.SetItemId(start, length);
        } else if (name == u"CANONICAL") {
            format.SetDisplayTemplate(ReadTextAttribute(child, u"FORMAT"));
        } else if (name == u"EXPIRE") {
            if (const VTTime expiry = ReadDateAttribute(child, u"DATE"); expiry != 0)
                format.SetExpiry(expiry);
        }
    }
    return format;
}

// The older form counts its starts from 1.
int FromOneBased(long start)
{
    return static_cast<int>(start != 0 ? start - 1 : 0);
}

VTCodeFormat ReadOlderFormat(const TSDomElement& barcode)
{
    VTCodeFormat format;
    format.SetCodeType(ReadCodeType(barcode));
    format.SetLowCode(ReadTextAttribute(barcode, u"LOW"));
    format.SetHighCode(ReadTextAttribute(barcode, u"HIGH"));
    format.SetRoutingId(FromOneBased(ReadIntegerAttribute(barcode, u"RIDSTART")),
                        static_cast<int>(ReadIntegerAttribute(barcode, u"RIDDIGITS")));
    format.SetItemId(FromOneBased(ReadIntegerAttribute(barcode, u"IIDSTART")),
                     static_cast<int>(ReadIntegerAttribute(barcode, u"IIDDIGITS")));
    format.SetDisplayTemplate(ReadTextAttribute(barcode, u"FORMAT"));
    format.SetExpiry(VTCurrentTime() + kOldFormatLifetime);
    return format;
}

// A template's own date shortens the record's life, never lengthens it.
void ReadTemplate(const TSDomElement& element, VTServerData& record)
{
    record.SetCommand(ReadTextAttribute(element, u"CMD"), ReadElementText(element));
    if (ReadTextAttribute(element, u"CACHEDATE").empty())
        return;
    const VTTime date = ReadDateAttribute(element, u"CACHEDATE");
    if (date != 0 && date < record.GetExpiry())
        record.SetExpiry(date);
}

VTServerData ReadRoutingKey(const TSDomElement& key)
{
    VTServerData record(ReadCodeType(key), ReadTextAttribute(key, u"RID"));
    if (ReadTextAttribute(key, u"CACHEDATE").empty()) {
        record.SetExpiry(VTCurrentTime() + kTemplateLifetime);
    } else if (const VTTime date = ReadDateAttribute(key, u"CACHEDATE"); date != 0) {
        record.SetExpiry(date);
    }
    for (TSDomNode node = key.GetFirstChild(); !node.IsNull(); node = node.GetNextSibling()) {
        if (node.GetNodeType() != kDomElementNode)
            continue;
        const TSDomElement child(node);
        if (child.GetTagName() == u"SERVERNAME")
            record.SetName(ReadElementText(child));
        else if (child.GetTagName() == u"TEMPLATE")
            ReadTemplate(child, record);
    }
    return record;
}

// A "CODE" or "BARCODE" element among the root's children, unless its type is unknown.
void ReadFormatNode(const TSDomNode& node, std::vector<VTCodeFormat>& formats)
{
    if (node.GetNodeType() != kDomElementNode)
        return;
    const TSDomElement child(node);
    VTCodeFormat format;
    if (child.GetTagName() == u"CODE")
        format = ReadCurrentFormat(child);
    else if (child.GetTagName() == u"BARCODE")
        format = ReadOlderFormat(child);
    else
        return;
    if (format.GetCodeType() != kCodeUnknown)
        formats.push_back(format);
}

// A "ROUTING_KEY" element among the root's children, when it has templates.
void ReadRoutingKeyNode(const TSDomNode& node, std::vector<VTServerData>& records)
{
    if (node.GetNodeType() != kDomElementNode || node.GetNodeName() != u"ROUTING_KEY")
        return;
    VTServerData record = ReadRoutingKey(TSDomElement(node));
    if (!record.HasCommands())
        return;
    if (record.GetCodeType() != kCodeUnknown)
        record.SetServerType(kServerTypeResolution);
    records.push_back(record);
    // One routing key serves both UPC types.
    if (record.GetCodeType() == kCodeUpcA) {
        record.SetCodeType(kCodeUpcE);
        records.push_back(std::move(record));
    }
}

// Parses the text handing each child of the root to `take`; false for
// broken XML or a root of none of those names.
bool ParseChildByChild(std::string_view bytes, const TSDomParser::ChildTaker& take,
                       std::initializer_list<std::u16string_view> roots)
{
    TSDomDocument document;
    try {
        TSXmlUtf8DataSource source(bytes);
        TSDomParser(&source).Parse(document, take);
    } catch (const TSException&) {
        return false;
    }
    const std::u16string root = RootName(document);
    return std::find(roots.begin(), roots.end(), root) != roots.end();
}

void WriteTemplates(TSXmlWriter& out, const VTServerData& record)
{
    record.GetCommands().ForEach([&](const std::string& command, const std::string& urlTemplate) {
        out.StartElement(u"TEMPLATE");
        out.Attribute(u"CMD", command);
        out.Text(urlTemplate);
        out.EndElement();
    });
}

void WriteCodeFormatsTo(TSXmlWriter& out, const VTCodeFormatList& list)
{
    out.StartElement(u"CODE_FORMAT_LIST");
    for (const VTCodeFormat& format : list) {
        out.StartElement(u"CODE");
        out.Attribute(u"TYPE", CodeTypeName(format.GetCodeType(), false));
        out.Attribute(u"LOW", format.GetLowCode());
        out.Attribute(u"HIGH", format.GetHighCode());
        WriteEmpty(out, u"RID",
                   {{u"START", IntegerText(format.GetRoutingIdOffset())},
                    {u"LENGTH", IntegerText(format.GetRoutingIdLength())}});
        WriteEmpty(out, u"IID",
                   {{u"START", IntegerText(format.GetItemIdOffset())},
                    {u"LENGTH", IntegerText(format.GetItemIdLength())}});
        WriteEmpty(out, u"CANONICAL", {{u"FORMAT", format.GetDisplayTemplate()}});
        WriteEmpty(out, u"EXPIRE", {{u"DATE", FormatDate(format.GetExpiry())}});
        out.EndElement();
    }
    out.EndElement();
}

void WriteServerTemplatesTo(TSXmlWriter& out, const VTServerDataList& list)
{
    out.StartElement(u"SERVER_DATA_LIST");
    for (const VTServerData& record : list) {
        out.StartElement(u"ROUTING_KEY");
        out.Attribute(u"TYPE", CodeTypeName(record.GetCodeType(), false));
        out.Attribute(u"RID", record.GetKey());
        out.Attribute(u"CACHEDATE", FormatDate(record.GetExpiry()));
        out.StartElement(u"SERVERNAME");
        out.Text(record.GetName());
        out.EndElement();
        WriteTemplates(out, record);
        out.EndElement();
    }
    out.EndElement();
}

} // namespace

std::string NarrowText(std::u16string_view text)
{
    return WideToUtf8(text);
}

TSDomString WideText(std::string_view text)
{
    return TSDomString(Utf8OrLatin1ToWide(text));
}

std::string ReadTextAttribute(const TSDomElement& element, std::u16string_view name)
{
    return NarrowText(GetAttribute(element, name, false));
}

long ReadIntegerAttribute(const TSDomElement& element, std::u16string_view name)
{
    const TSDomString value = GetAttribute(element, name, false);
    if (value.IsEmpty())
        return 0;
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    std::int64_t number = 0;
    for (const char16_t c : value.View()) {
        if (c < u'0' || c > u'9')
            return 0;
        number = std::min(kLargest, number * 10 + (c - u'0'));
    }
    return static_cast<long>(number);
}

VTTime ReadDateAttribute(const TSDomElement& element, std::u16string_view name)
{
    return ParseDate(ReadTextAttribute(element, name));
}

std::string ReadElementText(const TSDomElement& element)
{
    return NarrowText(GetElementText(element));
}

VTTime ParseDate(std::string_view text)
{
    if (text.empty() || text.size() > kDateDigits || !IsAllDigits(text))
        return 0;
    std::string digits(text);
    digits.resize(kDateDigits, '0');
    // Fields out of range carry over as the C library's calendar does, so
    // "2030" (month and day 0) is the last day of November 2029.
    const int months = DateField(digits, 4, 2) - 1;
    const int year = DateField(digits, 0, 4) + (months < 0 ? -1 : months / 12);
    const unsigned month = static_cast<unsigned>(months < 0 ? 11 : months % 12) + 1;
    const std::int64_t days = DaysFrom1970(year, month, 1) + DateField(digits, 6, 2) - 1;
    const std::int64_t seconds = days * 86400 + std::int64_t{DateField(digits, 8, 2)} * 3600 +
                                 DateField(digits, 10, 2) * 60 + DateField(digits, 12, 2) +
                                 std::int64_t{kVTTimeFrom1970};
    if (seconds <= 0 || seconds > std::int64_t{std::numeric_limits<VTTime>::max()})
        return 0;
    return static_cast<VTTime>(seconds);
}

std::string FormatDate(VTTime time)
{
    using namespace std::chrono;
    const std::int64_t since1970 = std::int64_t{time} - std::int64_t{kVTTimeFrom1970};
    std::int64_t days = since1970 / 86400;
    if (since1970 % 86400 < 0)
        --days;
    const auto secondsOfDay = static_cast<unsigned>(since1970 - days * 86400);
    const year_month_day date{sys_days(std::chrono::days(days))};
    // Every moment of the 32-bit time falls in a four-digit year.
    std::string text(kDateDigits, '0');
    const auto put = [&text](std::size_t end, unsigned value, std::size_t digits) {
        for (std::size_t i = 0; i < digits; ++i, value /= 10)
            text[end - 1 - i] = static_cast<char>('0' + value % 10);
    };
    put(4, static_cast<unsigned>(static_cast<int>(date.year())), 4);
    put(6, static_cast<unsigned>(date.month()), 2);
    put(8, static_cast<unsigned>(date.day()), 2);
    put(10, secondsOfDay / 3600, 2);
    put(12, secondsOfDay / 60 % 60, 2);
    put(14, secondsOfDay % 60, 2);
    return text;
}

bool ReadCodeFormats(const TSDomElement& root, VTCodeFormatList& list, int version)
{
    TS_ASSERT(version != 0);
    std::vector<VTCodeFormat> formats;
    for (TSDomNode node = root.GetFirstChild(); !node.IsNull(); node = node.GetNextSibling())
        ReadFormatNode(node, formats);
    // A later format of the same range replaces an earlier one.
    list.Assign(formats);
    return true;
}

bool ReadCodeFormatText(std::string_view bytes, std::u16string_view root, VTCodeFormatList& list, int version)
{
    TS_ASSERT(version != 0);
    std::vector<VTCodeFormat> formats;
    if (!ParseChildByChild(bytes, [&](const TSDomNode& node) { ReadFormatNode(node, formats); }, {root}))
        return false;
    list.Assign(formats);
    return true;
}

TSDomDocument WriteCodeFormats(const VTCodeFormatList& list, int version)
{
    TS_ASSERT(version != 0);
    TSDomTreeWriter tree;
    WriteCodeFormatsTo(tree, list);
    return tree.Take();
}

std::string FormatCodeFormats(const VTCodeFormatList& list, int version)
{
    TS_ASSERT(version != 0);
    TSXmlTextWriter text(kIndentWidth);
    WriteCodeFormatsTo(text, list);
    return text.Take();
}

bool ReadServerTemplates(const TSDomDocument& document, VTServerDataList& list, int version)
{
    TS_ASSERT(version != 0);
    const std::u16string root = RootName(document);
    if (root != u"XGET" && root != u"SERVER_DATA_LIST")
        return false;
    std::vector<VTServerData> records;
    for (TSDomNode node = document.GetDocumentElement().GetFirstChild(); !node.IsNull();
         node = node.GetNextSibling())
        ReadRoutingKeyNode(node, records);
    // A later record of the same type and key replaces an earlier one (a
    // saved cache holds the UPC-E copy of each UPC-A key as well).
    list.Assign(std::move(records));
    return true;
}

bool ReadServerTemplateText(std::string_view bytes, VTServerDataList& list, int version)
{
    TS_ASSERT(version != 0);
    std::vector<VTServerData> records;
    if (!ParseChildByChild(bytes, [&](const TSDomNode& node) { ReadRoutingKeyNode(node, records); },
                           {u"XGET", u"SERVER_DATA_LIST"}))
        return false;
    list.Assign(std::move(records));
    return true;
}

TSDomDocument WriteServerTemplates(const VTServerDataList& list)
{
    TSDomTreeWriter tree;
    WriteServerTemplatesTo(tree, list);
    return tree.Take();
}

std::string FormatServerTemplates(const VTServerDataList& list)
{
    TSXmlTextWriter text(kIndentWidth);
    WriteServerTemplatesTo(text, list);
    return text.Take();
}

bool ReadCoreServer(const TSDomDocument& document, const char* serverType, VTServerData& record)
{
    TS_CHECK_NULL(serverType);
    const TSDomElement root = document.GetDocumentElement();
    if (root.IsNull())
        return false;
    for (const TSDomElement& server : GetChildElements(root, u"SERVER")) {
        if (!EqualsIgnoringCase(ReadTextAttribute(server, u"TYPE"), serverType))
            continue;
        record.Reset();
        record.SetServerType(serverType);
        for (const TSDomElement& element : GetChildElements(server, u"TEMPLATE"))
            record.SetCommand(ReadTextAttribute(element, u"CMD"), ReadElementText(element));
        return true;
    }
    return false;
}

TSDomDocument WriteCoreServers(const VTServerData& routing, const VTServerData& registration,
                               const VTServerData& help)
{
    TSDomTreeWriter tree;
    tree.StartElement(u"CORE_SERVER_LIST");
    const std::pair<const char*, const VTServerData*> records[] = {
        {kServerTypeRouting, &routing}, {kServerTypeRegistration, &registration}, {kServerTypeHelp, &help}};
    for (const auto& [type, record] : records) {
        if (!record->HasCommands())
            continue;
        tree.StartElement(u"SERVER");
        tree.Attribute(u"TYPE", type);
        WriteTemplates(tree, *record);
        tree.EndElement();
    }
    tree.EndElement();
    return tree.Take();
}

std::string FormatDocument(const TSDomDocument& document)
{
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetPretty(1);
    formatter.SetIndentWidth(kIndentWidth);
    formatter.Format(document);
    return WideToUtf8(sink.GetText());
}

TSDomDocument ParseDocument(std::string_view bytes)
{
    TSXmlUtf8DataSource source(bytes);
    return TSDomParser(&source).Parse();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::u16string RootName(const TSDomDocument& document)
{
    const TSDomElement root = document.GetDocumentElement();
    return root.IsNull() ? std::u16string() : root.GetTagName().ToStdString();
}
