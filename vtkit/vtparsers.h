#pragma once

#include "tst/xml/dom/domnode.h"
#include "vtkit/cdfmtlist.h"
#include "vtkit/cdformat.h"
#include "vtkit/svrdata.h"

#include <string>
#include <string_view>

// Readers and writers of the routing vocabulary shared by the routing
// replies and the cache files. Names are upper case and compared exactly.

// Default lifetimes of entries whose reply gives no date.
constexpr VTTime kOldFormatLifetime = 2592000; // 30 days
constexpr VTTime kTemplateLifetime = 25200;    // 7 hours

// What one entry of a reply may carry. A routing reply with an entry
// beyond them is refused (TSDomXmlException naming the entry), and such an
// entry of a cache file is left out, so that no server can grow a cache
// past what its reader takes.
constexpr std::size_t kMaxServerIdBytes = 64;        // routing keys (RID)
constexpr std::size_t kMaxNameBytes = 256;           // server names and template commands
constexpr std::size_t kMaxTemplateBytes = 4096;      // address templates
constexpr std::size_t kMaxDisplayTemplateBytes = 64; // CANONICAL formats
constexpr std::size_t kMaxDescriptionBytes = 4096;
// The longest code of the type, add-on included: the bound of a format's LOW and HIGH.
std::size_t MaxCodeLength(VTCodeType type);
// Why the entry is beyond those limits, or "" when it is not.
std::string OverLimit(const VTCodeFormat& format);
std::string OverLimit(const VTServerData& record);

// Texts between the 16-bit DOM and the 8-bit records: UTF-8 one way; the
// other way UTF-8, with a byte that is not part of valid UTF-8 taken as
// its Latin-1 character, so writing a record never fails.
std::string NarrowText(std::u16string_view text);
TSDomString WideText(std::string_view text);

// The attribute's value, or "" when it is absent.
std::string ReadTextAttribute(const TSDomElement& element, std::u16string_view name);
// The decimal value of a non-empty all-digit value (beyond 2^31 - 1 it stays
// there), else 0.
long ReadIntegerAttribute(const TSDomElement& element, std::u16string_view name);
// The date of the attribute, or 0 when it is absent or not a date.
VTTime ReadDateAttribute(const TSDomElement& element, std::u16string_view name);
std::string ReadElementText(const TSDomElement& element);

// Up to 14 digits, padded with '0' on the right to "YYYYMMDDhhmmss", in UTC;
// fields beyond their range carry over into the next larger one. 0 for
// anything else: more or other characters, or a moment the 32-bit time
// cannot hold.
VTTime ParseDate(std::string_view text);
// "%Y%m%d%H%M%S" in UTC.
std::string FormatDate(VTTime time);

// What a reader does with an entry beyond the limits above: a reply is
// refused with it, a cache file keeps the entries around it.
enum class VTOverLimit { kRefuse, kLeaveOut };

// Code formats under a root whose name the caller has checked ("XSPLIT",
// "CODE_FORMAT_LIST"). The list is emptied first; formats of unknown type
// are dropped; a format beyond the limits throws or is left out, as
// `overLimit` says. `version` must not be 0.
bool ReadCodeFormats(const TSDomElement& root, VTCodeFormatList& list, int version,
                     VTOverLimit overLimit = VTOverLimit::kRefuse);
// ParseDocument, a check that the root is called `root` and
// ReadCodeFormats, for a whole text (a cache file), with each child of the
// root read and let go as soon as it is parsed. False for broken XML or
// another root, which leave the list untouched.
bool ReadCodeFormatText(std::string_view bytes, std::u16string_view root, VTCodeFormatList& list,
                        int version);
TSDomDocument WriteCodeFormats(const VTCodeFormatList& list, int version);
// FormatDocument(WriteCodeFormats(list, version)), written without the tree.
std::string FormatCodeFormats(const VTCodeFormatList& list, int version);

// Routing templates of an "XGET" or "SERVER_DATA_LIST" document; false for
// another root. The list is emptied first; a key beyond the limits throws
// or is left out, as `overLimit` says. `version` must not be 0.
bool ReadServerTemplates(const TSDomDocument& document, VTServerDataList& list, int version,
                         VTOverLimit overLimit = VTOverLimit::kRefuse);
// ParseDocument and ReadServerTemplates the same way; false also for broken XML.
bool ReadServerTemplateText(std::string_view bytes, VTServerDataList& list, int version);
TSDomDocument WriteServerTemplates(const VTServerDataList& list);
// FormatDocument(WriteServerTemplates(list)), written without the tree.
std::string FormatServerTemplates(const VTServerDataList& list);

// The "SERVER" element of that server type (case ignored) among the
// children of the root, whatever the root is called; false when there is none.
bool ReadCoreServer(const TSDomDocument& document, const char* serverType, VTServerData& record);
// "CORE_SERVER_LIST" of the records that have commands, in this order.
TSDomDocument WriteCoreServers(const VTServerData& routing, const VTServerData& registration,
                               const VTServerData& help);

// The document as the system writes every request and cache file:
// declaration, 4 blanks per level, 8-bit text.
std::string FormatDocument(const TSDomDocument& document);
// Parses UTF-8 text; malformed text raises TSXmlException.
TSDomDocument ParseDocument(std::string_view bytes);
// ASCII letters compared without regard to case, as names and types are.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The name of the document element, or "" when there is none.
std::u16string RootName(const TSDomDocument& document);
