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
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdvantrel.h"
#include "vtkit/vtcachescan.h"

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
// About what a format or a routing key takes in a cache file, so that a
// large one is not copied again and again as it grows (pages reserved and
// not written cost nothing).
constexpr std::size_t kBytesPerEntry = 320;

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

// The readers walk the bodies: a handle per node would cost two locked
// count changes for every step.
using Node = const TSDomNodeImpl*;

// The attribute's value in place; empty when there is none.
std::u16string_view AttributeText(Node element, std::u16string_view name)
{
    const TSDomAttrList& attributes = static_cast<const TSDomElementImpl*>(element)->Attributes();
    const std::ptrdiff_t at = attributes.Find(name);
    return at < 0 ? std::u16string_view() : attributes.Slot(static_cast<std::size_t>(at)).Value().View();
}

std::string ReadText(Node element, std::u16string_view name)
{
    return NarrowText(AttributeText(element, name));
}

// The decimal value of a non-empty all-digit text (beyond 2^31 - 1 it stays there), else 0.
template <class Char> long IntegerValue(std::basic_string_view<Char> value)
{
    if (value.empty())
        return 0;
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    std::int64_t number = 0;
    for (const Char c : value) {
        if (c < Char('0') || c > Char('9'))
            return 0;
        number = std::min(kLargest, number * 10 + (c - Char('0')));
    }
    return static_cast<long>(number);
}

long ReadInteger(Node element, std::u16string_view name)
{
    return IntegerValue(AttributeText(element, name));
}

VTTime ReadDate(Node element, std::u16string_view name)
{
    return ParseDate(ReadText(element, name));
}

// What GetElementText gives once the element is normalised: the run of
// text nodes it starts with, joined; the element itself is left as it is.
std::string ReadContent(Node element)
{
    std::string text;
    for (Node child = element->GetFirstChild(); child && child->GetNodeType() == kDomTextNode;
         child = child->GetNextSibling())
        text += NarrowText(child->GetNodeValue().View());
    return text;
}

VTCodeType ReadCodeType(Node element)
{
    return CodeTypeFromName(ReadText(element, u"TYPE"));
}

VTCodeFormat ReadCurrentFormat(Node code)
{
    VTCodeFormat format;
    format.SetCodeType(ReadCodeType(code));
    format.SetLowCode(ReadText(code, u"LOW"));
    format.SetHighCode(ReadText(code, u"HIGH"));
    format.SetExpiry(VTCurrentTime());
    for (Node child = code->GetFirstChild(); child; child = child->GetNextSibling()) {
        if (child->GetNodeType() != kDomElementNode)
            continue;
        const std::u16string_view name = child->GetNodeName().View();
        const auto start = static_cast<int>(ReadInteger(child, u"START"));
        const auto length = static_cast<int>(ReadInteger(child, u"LENGTH"));
        if (name == u"RID") {
            format.SetRoutingId(start, length);
        } else if (name == u"IID") {
            format.SetItemId(start, length);
        } else if (name == u"CANONICAL") {
            format.SetDisplayTemplate(ReadText(child, u"FORMAT"));
        } else if (name == u"EXPIRE") {
            if (const VTTime expiry = ReadDate(child, u"DATE"); expiry != 0)
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

VTCodeFormat ReadOlderFormat(Node barcode)
{
    VTCodeFormat format;
    format.SetCodeType(ReadCodeType(barcode));
    format.SetLowCode(ReadText(barcode, u"LOW"));
    format.SetHighCode(ReadText(barcode, u"HIGH"));
    format.SetRoutingId(FromOneBased(ReadInteger(barcode, u"RIDSTART")),
                        static_cast<int>(ReadInteger(barcode, u"RIDDIGITS")));
    format.SetItemId(FromOneBased(ReadInteger(barcode, u"IIDSTART")),
                     static_cast<int>(ReadInteger(barcode, u"IIDDIGITS")));
    format.SetDisplayTemplate(ReadText(barcode, u"FORMAT"));
    format.SetExpiry(VTCurrentTime() + kOldFormatLifetime);
    return format;
}

// A template's own date shortens the record's life, never lengthens it.
void ReadTemplate(Node element, VTServerData& record)
{
    record.SetCommand(ReadText(element, u"CMD"), ReadContent(element));
    if (AttributeText(element, u"CACHEDATE").empty())
        return;
    const VTTime date = ReadDate(element, u"CACHEDATE");
    if (date != 0 && date < record.GetExpiry())
        record.SetExpiry(date);
}

VTServerData ReadRoutingKey(Node key)
{
    VTServerData record(ReadCodeType(key), ReadText(key, u"RID"));
    if (AttributeText(key, u"CACHEDATE").empty()) {
        record.SetExpiry(VTCurrentTime() + kTemplateLifetime);
    } else if (const VTTime date = ReadDate(key, u"CACHEDATE"); date != 0) {
        record.SetExpiry(date);
    }
    for (Node child = key->GetFirstChild(); child; child = child->GetNextSibling()) {
        if (child->GetNodeType() != kDomElementNode)
            continue;
        if (child->GetNodeName() == u"SERVERNAME")
            record.SetName(ReadContent(child));
        else if (child->GetNodeName() == u"TEMPLATE")
            ReadTemplate(child, record);
    }
    return record;
}

std::string TooLong(std::string_view what, std::size_t bytes, std::size_t limit)
{
    return std::string(what) + " of " + std::to_string(bytes) + " bytes, more than " + std::to_string(limit);
}

// A reply's entry beyond the limits is refused with the whole reply.
template <class Entry> void Refuse(const Entry& entry, const char* element)
{
    if (const std::string why = OverLimit(entry); !why.empty())
        throw TSDomXmlException(TSDomXmlException::kElementInvalid, std::string(element) + ": " + why);
}

// A cache file's entry beyond the limits is left out.
template <class Entry> bool WithinLimits(const Entry& entry)
{
    return OverLimit(entry).empty();
}

// A "CODE" or "BARCODE" element among the root's children, unless its type is unknown.
void ReadFormatNode(Node node, std::vector<VTCodeFormat>& formats, bool refuse)
{
    if (node->GetNodeType() != kDomElementNode)
        return;
    VTCodeFormat format;
    if (node->GetNodeName() == u"CODE")
        format = ReadCurrentFormat(node);
    else if (node->GetNodeName() == u"BARCODE")
        format = ReadOlderFormat(node);
    else
        return;
    if (format.GetCodeType() == kCodeUnknown)
        return;
    if (refuse)
        Refuse(format, "CODE");
    else if (!WithinLimits(format))
        return;
    formats.push_back(std::move(format));
}

// Scanned fields of a format, as ReadCurrentFormat reads the element they come from.
VTCodeFormat MakeCurrentFormat(const VTFormatFields& fields)
{
    VTCodeFormat format;
    format.SetCodeType(CodeTypeFromName(fields.type));
    format.SetLowCode(fields.low);
    format.SetHighCode(fields.high);
    format.SetExpiry(VTCurrentTime());
    format.SetRoutingId(static_cast<int>(IntegerValue(std::string_view(fields.ridStart))),
                        static_cast<int>(IntegerValue(std::string_view(fields.ridLength))));
    format.SetItemId(static_cast<int>(IntegerValue(std::string_view(fields.iidStart))),
                     static_cast<int>(IntegerValue(std::string_view(fields.iidLength))));
    format.SetDisplayTemplate(fields.canonical);
    if (const VTTime expiry = ParseDate(fields.expire); expiry != 0)
        format.SetExpiry(expiry);
    return format;
}

// Scanned fields of a routing key, as ReadRoutingKey and ReadTemplate read
// the elements they come from.
VTServerData MakeRoutingKey(const VTRoutingKeyFields& fields)
{
    VTServerData record(CodeTypeFromName(fields.type), fields.rid);
    if (fields.cacheDate.empty()) {
        record.SetExpiry(VTCurrentTime() + kTemplateLifetime);
    } else if (const VTTime date = ParseDate(fields.cacheDate); date != 0) {
        record.SetExpiry(date);
    }
    record.SetName(fields.name);
    for (const VTTemplateFields& added : fields.templates) {
        record.SetCommand(added.command, added.text);
        if (added.cacheDate.empty())
            continue;
        const VTTime date = ParseDate(added.cacheDate);
        if (date != 0 && date < record.GetExpiry())
            record.SetExpiry(date);
    }
    return record;
}

// A routing key read, when it has templates.
void AddRoutingKey(VTServerData record, std::vector<VTServerData>& records, bool refuse)
{
    if (!record.HasCommands())
        return;
    if (refuse)
        Refuse(record, "ROUTING_KEY");
    else if (!WithinLimits(record))
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

// A "ROUTING_KEY" element among the root's children.
void ReadRoutingKeyNode(Node node, std::vector<VTServerData>& records, bool refuse)
{
    if (node->GetNodeType() == kDomElementNode && node->GetNodeName() == u"ROUTING_KEY")
        AddRoutingKey(ReadRoutingKey(node), records, refuse);
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

std::size_t MaxCodeLength(VTCodeType type)
{
    // Main code and a five-digit add-on; Vantrel codes have their own bound.
    switch (type) {
    case kCodeUpcA:
        return 12 + 5;
    case kCodeUpcE:
    case kCodeEan8:
        return 8 + 5;
    case kCodeEan13:
    case kCodeBookLand:
        return 13 + 5;
    case kCodeIsbn:
        return 10 + 5;
    case kCodeVantrel:
        return VTVantrelCode::kMaxLength;
    default:
        return kMaxServerIdBytes;
    }
}

std::string OverLimit(const VTCodeFormat& format)
{
    const std::size_t codeLimit = MaxCodeLength(format.GetCodeType());
    if (format.GetLowCode().size() > codeLimit)
        return TooLong("LOW", format.GetLowCode().size(), codeLimit);
    if (format.GetHighCode().size() > codeLimit)
        return TooLong("HIGH", format.GetHighCode().size(), codeLimit);
    if (format.GetDisplayTemplate().size() > kMaxDisplayTemplateBytes)
        return TooLong("CANONICAL FORMAT", format.GetDisplayTemplate().size(), kMaxDisplayTemplateBytes);
    return {};
}

std::string OverLimit(const VTServerData& record)
{
    if (record.GetKey().size() > kMaxServerIdBytes)
        return TooLong("RID", record.GetKey().size(), kMaxServerIdBytes);
    if (record.GetName().size() > kMaxNameBytes)
        return TooLong("SERVERNAME", record.GetName().size(), kMaxNameBytes);
    std::string why;
    record.GetCommands().ForEach([&](const std::string& command, const std::string& urlTemplate) {
        if (!why.empty())
            return;
        if (command.size() > kMaxNameBytes)
            why = TooLong("TEMPLATE CMD", command.size(), kMaxNameBytes);
        else if (urlTemplate.size() > kMaxTemplateBytes)
            why = TooLong("TEMPLATE " + command, urlTemplate.size(), kMaxTemplateBytes);
    });
    return why;
}

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
    TS_ASSERT(!element.IsNull() && !name.empty());
    return ReadInteger(element.Impl(), name);
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

bool ReadCodeFormats(const TSDomElement& root, VTCodeFormatList& list, int version, VTOverLimit overLimit)
{
    TS_ASSERT(version != 0);
    std::vector<VTCodeFormat> formats;
    for (Node node = root.Impl()->GetFirstChild(); node; node = node->GetNextSibling())
        ReadFormatNode(node, formats, overLimit == VTOverLimit::kRefuse);
    // A later format of the same range replaces an earlier one.
    list.Assign(std::move(formats));
    return true;
}

bool ReadCodeFormatText(std::string_view bytes, std::u16string_view root, VTCodeFormatList& list, int version)
{
    TS_ASSERT(version != 0);
    std::vector<VTCodeFormat> formats;
    // A file as this program writes it is read directly; the parser reads any other.
    const auto scanned = [&](const VTFormatFields& fields) {
        if (VTCodeFormat format = MakeCurrentFormat(fields);
            format.GetCodeType() != kCodeUnknown && WithinLimits(format))
            formats.push_back(std::move(format));
    };
    if (root != u"CODE_FORMAT_LIST" || !ScanCodeFormatText(bytes, scanned)) {
        formats.clear();
        if (!ParseChildByChild(
                bytes, [&](const TSDomNode& node) { ReadFormatNode(node.Impl(), formats, false); }, {root}))
            return false;
    }
    list.Assign(std::move(formats));
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
    text.Reserve(list.Size() * kBytesPerEntry);
    WriteCodeFormatsTo(text, list);
    return text.Take();
}

bool ReadServerTemplates(const TSDomDocument& document, VTServerDataList& list, int version,
                         VTOverLimit overLimit)
{
    TS_ASSERT(version != 0);
    const std::u16string root = RootName(document);
    if (root != u"XGET" && root != u"SERVER_DATA_LIST")
        return false;
    std::vector<VTServerData> records;
    for (Node node = document.GetDocumentElement().Impl()->GetFirstChild(); node;
         node = node->GetNextSibling())
        ReadRoutingKeyNode(node, records, overLimit == VTOverLimit::kRefuse);
    // A later record of the same type and key replaces an earlier one (a
    // saved cache holds the UPC-E copy of each UPC-A key as well).
    list.Assign(std::move(records));
    return true;
}

bool ReadServerTemplateText(std::string_view bytes, VTServerDataList& list, int version)
{
    TS_ASSERT(version != 0);
    std::vector<VTServerData> records;
    const auto scanned = [&](const VTRoutingKeyFields& fields) {
        AddRoutingKey(MakeRoutingKey(fields), records, false);
    };
    if (!ScanServerTemplateText(bytes, scanned)) {
        records.clear();
        if (!ParseChildByChild(
                bytes, [&](const TSDomNode& node) { ReadRoutingKeyNode(node.Impl(), records, false); },
                {u"XGET", u"SERVER_DATA_LIST"}))
            return false;
    }
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
    text.Reserve(list.Size() * kBytesPerEntry);
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
