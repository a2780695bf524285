#include "tools/refserver/refdata.h"

#include "platform/atomicfile.h"
#include "tools/refserver/refdocs.h"
#include "tools/refserver/refhttp.h"
#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdformat.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vtuserid.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t kMaxDataFile = 4 * 1024 * 1024;
const std::array<const char*, 3> kCoreTypes = {"ROUTING", "REGISTRATION", "HELP"};

// The data files in the order they are read, each with its root.
struct DataFile {
    const char* m_name;
    const char16_t* m_root;
};
constexpr DataFile kFormatsFile{"formats.xml", u"CODE_FORMAT_LIST"};
constexpr DataFile kTemplatesFile{"templates.xml", u"SERVER_DATA_LIST"};
constexpr DataFile kItemsFile{"items.xml", u"ITEM_LIST"};
constexpr DataFile kAccountsFile{"accounts.xml", u"ACCOUNT_LIST"};
constexpr DataFile kCoreFile{"core.xml", u"CORE_SERVER_LIST"};

[[noreturn]] void Fail(const std::string& file, const std::string& what)
{
    throw RefDataError(file + ": " + what);
}

TSDomElement ReadRoot(const std::filesystem::path& folder, const DataFile& file)
{
    std::string bytes;
    std::string error;
    if (!platform::ReadWholeFile(folder / file.m_name, bytes, kMaxDataFile, &error))
        Fail(file.m_name, error);
    TSDomDocument document;
    try {
        document = ParseDocument(bytes);
    } catch (const TSException& e) {
        Fail(file.m_name, e.GetMessage());
    }
    TSDomElement root = document.GetDocumentElement();
    if (root.IsNull() || root.GetTagName() != std::u16string_view(file.m_root))
        Fail(file.m_name, "the root element must be " + Narrow(file.m_root));
    return root;
}

std::string Required(const TSDomElement& element, std::u16string_view name, const char* file)
{
    std::string value = AttributeText(element, name);
    if (value.empty())
        Fail(file, Narrow(element.GetTagName()) + " without " + Narrow(name));
    return value;
}

int NumberAttribute(const TSDomElement& element, std::u16string_view name, const char* file)
{
    const std::string text = AttributeText(element, name);
    if (!IsAllDigits(text) || text.size() > 4)
        Fail(file, Narrow(element.GetTagName()) + " " + Narrow(name) + " must be a small number");
    return std::stoi(text);
}

VTCodeType TypeAttribute(const TSDomElement& element, const char* file)
{
    const std::string name = Required(element, u"TYPE", file);
    const VTCodeType type = CodeTypeFromName(name);
    if (type == kCodeUnknown)
        Fail(file, "unknown code type " + name);
    return type;
}

// A date of up to 14 digits, as the client reads "DATE" and "CACHEDATE".
std::string DateAttribute(const TSDomElement& element, std::u16string_view name, const char* file)
{
    std::string text = AttributeText(element, name);
    if (!text.empty() && (!IsAllDigits(text) || text.size() > 14))
        Fail(file, Narrow(name) + " must be a date of up to 14 digits");
    return text;
}

} // namespace

bool RefRoutingKey::HasCommand(std::string_view command) const
{
    return std::any_of(m_templates.begin(), m_templates.end(),
                       [&](const auto& entry) { return entry.first == command; });
}

VTCodeType RoutingFamily(VTCodeType type)
{
    return type == kCodeUpcE ? kCodeUpcA : type;
}

bool SameId(VTCodeType type, std::string_view a, std::string_view b)
{
    return RoutingFamily(type) == kCodeVanity ? EqualNoCase(a, b) : a == b;
}

RefDataStore RefDataStore::Load(const std::filesystem::path& folder, const std::string& baseUrl)
{
    RefDataStore store;
    store.m_folder = folder;
    store.m_baseUrl = baseUrl;
    // A missing element or attribute surfaces as a DOM exception; name the file.
    const auto step = [&store](const char* file, auto load) {
        try {
            (store.*load)();
        } catch (const TSException& e) {
            Fail(file, e.GetMessage());
        }
    };
    step(kFormatsFile.m_name, &RefDataStore::LoadFormats);
    step(kTemplatesFile.m_name, &RefDataStore::LoadRoutingKeys);
    step(kItemsFile.m_name, &RefDataStore::LoadItems);
    step(kAccountsFile.m_name, &RefDataStore::LoadAccounts);
    step(kCoreFile.m_name, &RefDataStore::LoadCoreServers);
    step("help", &RefDataStore::LoadHelpPages);
    step(kItemsFile.m_name, &RefDataStore::CheckSampleCodes);
    return store;
}

std::string RefDataStore::WithBase(std::string text) const
{
    for (auto at = text.find(kBasePlaceholder); at != std::string::npos;
         at = text.find(kBasePlaceholder, at + m_baseUrl.size()))
        text.replace(at, kBasePlaceholder.size(), m_baseUrl);
    return text;
}

void RefDataStore::LoadFormats()
{
    const char* file = kFormatsFile.m_name;
    const TSDomElement root = ReadRoot(m_folder, kFormatsFile);
    for (const TSDomElement& code : GetChildElements(root, u"CODE")) {
        RefFormat format;
        format.m_type = TypeAttribute(code, file);
        format.m_low = Required(code, u"LOW", file);
        format.m_high = Required(code, u"HIGH", file);
        if (format.m_high < format.m_low)
            Fail(file, "range " + format.m_low + " to " + format.m_high + " is empty");
        const TSDomElement rid = GetChildElement(code, u"RID");
        format.m_ridStart = NumberAttribute(rid, u"START", file);
        format.m_ridLength = NumberAttribute(rid, u"LENGTH", file);
        const TSDomElement iid = GetChildElement(code, u"IID");
        format.m_iidStart = NumberAttribute(iid, u"START", file);
        format.m_iidLength = NumberAttribute(iid, u"LENGTH", file);
        if (const TSDomElement canonical = FindChildElement(code, u"CANONICAL"); !canonical.IsNull())
            format.m_canonical = AttributeText(canonical, u"FORMAT");
        if (const TSDomElement expire = FindChildElement(code, u"EXPIRE"); !expire.IsNull())
            format.m_expire = DateAttribute(expire, u"DATE", file);
        m_formats.push_back(std::move(format));
    }
}

void RefDataStore::LoadRoutingKeys()
{
    const char* file = kTemplatesFile.m_name;
    const TSDomElement root = ReadRoot(m_folder, kTemplatesFile);
    for (const TSDomElement& element : GetChildElements(root, u"ROUTING_KEY")) {
        RefRoutingKey key;
        key.m_type = RoutingFamily(TypeAttribute(element, file));
        key.m_rid = Required(element, u"RID", file);
        key.m_domain = AttributeText(element, u"DOMAIN");
        key.m_cacheDate = DateAttribute(element, u"CACHEDATE", file);
        key.m_serverName = Narrow(GetChildElementText(element, u"SERVERNAME", false));
        for (const TSDomElement& templ : GetChildElements(element, u"TEMPLATE")) {
            const std::string text = ElementText(templ);
            if (text.empty())
                Fail(file, "empty TEMPLATE for " + key.m_rid);
            key.m_templates.emplace_back(Required(templ, u"CMD", file), WithBase(text));
        }
        if (!key.HasCommand("GET"))
            Fail(file, "routing key " + key.m_rid + " has no GET template");
        if (FindKey(key.m_type, key.m_rid))
            Fail(file, "routing key " + key.m_rid + " is listed twice");
        m_keys.push_back(std::move(key));
    }
}

void RefDataStore::LoadItems()
{
    const char* file = kItemsFile.m_name;
    const TSDomElement root = ReadRoot(m_folder, kItemsFile);
    for (const TSDomElement& element : GetChildElements(root, u"ITEM")) {
        RefItem item;
        item.m_type = TypeAttribute(element, file);
        item.m_rid = Required(element, u"RID", file);
        item.m_iid = AttributeText(element, u"IID");
        item.m_code = Required(element, u"CODE", file);
        item.m_description = Narrow(GetChildElementText(element, u"DESCRIPTION", true));
        item.m_canonical = Narrow(GetChildElementText(element, u"CANONICAL", false));
        item.m_page = Narrow(GetChildElementText(element, u"PAGE", false));
        if (item.m_type != kCodeUrl && !FindKey(item.m_type, item.m_rid))
            Fail(file, "item " + item.m_code + " has no routing key " + item.m_rid);
        if (FindItem(item.m_type, item.m_rid, item.m_iid))
            Fail(file, "item " + item.m_code + " is listed twice");
        m_items.push_back(std::move(item));
    }
}

void RefDataStore::LoadAccounts()
{
    const char* file = kAccountsFile.m_name;
    const TSDomElement root = ReadRoot(m_folder, kAccountsFile);
    for (const TSDomElement& element : GetChildElements(root, u"ACCOUNT")) {
        RefAccount account;
        account.m_login = Required(element, u"LOGIN", file);
        account.m_password = Required(element, u"PASSWORD", file);
        account.m_user = Required(element, u"USER", file);
        account.m_name = AttributeText(element, u"NAME");
        if (!VTUserId::Unblind(account.m_user, account.m_clearId))
            Fail(file, "USER of " + account.m_login + " is not a blinded user id");
        if (FindAccountByLogin(account.m_login) || FindAccountByClearId(account.m_clearId))
            Fail(file, "account " + account.m_login + " is listed twice");
        m_accounts.push_back(std::move(account));
    }
}

void RefDataStore::LoadCoreServers()
{
    const char* file = kCoreFile.m_name;
    const TSDomElement root = ReadRoot(m_folder, kCoreFile);
    for (const char* type : kCoreTypes) {
        RefCoreServer server{type, TSStringMap()};
        for (const TSDomElement& element : GetChildElements(root, u"SERVER")) {
            if (!EqualNoCase(AttributeText(element, u"TYPE"), type))
                continue;
            for (const TSDomElement& templ : GetChildElements(element, u"TEMPLATE"))
                server.m_commands.Set(Required(templ, u"CMD", file), WithBase(ElementText(templ)));
            break;
        }
        m_core.push_back(std::move(server));
    }
    // The client cannot route, attach or open help without these.
    const std::array<std::pair<int, const char*>, 4> needed = {
        {{0, "SPLIT"}, {0, "GET"}, {1, "ATTACH"}, {2, "GET"}}};
    for (const auto& [index, command] : needed)
        if (!m_core[index].m_commands.Contains(command))
            Fail(file, std::string(kCoreTypes[index]) + " has no " + command + " template");
}

void RefDataStore::LoadHelpPages()
{
    const std::filesystem::path folder = m_folder / "help";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string stem = entry.path().stem().string();
        if (entry.path().extension() != ".html" || !IsAllDigits(stem) || stem.size() > 6)
            continue;
        std::string page;
        std::string why;
        if (!platform::ReadWholeFile(entry.path(), page, kMaxDataFile, &why))
            Fail("help/" + entry.path().filename().string(), why);
        m_help[std::stoi(stem)] = WithBase(std::move(page));
    }
}

void RefDataStore::CheckSampleCodes() const
{
    for (const RefItem& item : m_items)
        CheckSampleCode(item);
}

// Each sample code must reach its own item the way the client splits it:
// a typo in the data shows up here, not as a dead link in a demo.
void RefDataStore::CheckSampleCode(const RefItem& item) const
{
    if (item.m_type == kCodeUrl)
        return;
    VTCodeFormat format;
    format.SetCodeType(item.m_type);
    if (RequiresCodeFormat(item.m_type)) {
        const RefFormat* found = FindFormat(item.m_type, StripSpacesAndDashes(item.m_code));
        if (!found)
            Fail(kItemsFile.m_name, "no format covers the code " + item.m_code);
        format.SetLowCode(found->m_low);
        format.SetHighCode(found->m_high);
        format.SetRoutingId(found->m_ridStart, found->m_ridLength);
        format.SetItemId(found->m_iidStart, found->m_iidLength);
    }
    VTCodeContents contents;
    try {
        DecomposeAs(item.m_code.c_str(), item.m_type, format, contents);
    } catch (const TSException&) {
        Fail(kItemsFile.m_name,
             "the code " + item.m_code + " is not a valid " + CodeTypeName(item.m_type, false));
    }
    if (!SameId(item.m_type, contents.GetServerId(), item.m_rid) ||
        !SameId(item.m_type, contents.GetItemId(), item.m_iid))
        Fail(kItemsFile.m_name, "the code " + item.m_code + " splits into " + contents.GetServerId() +
                                    " and " + contents.GetItemId() + ", not " + item.m_rid + " and " +
                                    item.m_iid);
}

const RefFormat* RefDataStore::FindFormat(VTCodeType type, std::string_view code) const
{
    for (const RefFormat& format : m_formats)
        if (format.m_type == type && format.m_low <= code && code <= format.m_high)
            return &format;
    return nullptr;
}

const RefRoutingKey* RefDataStore::FindKey(VTCodeType type, std::string_view rid) const
{
    const VTCodeType family = RoutingFamily(type);
    for (const RefRoutingKey& key : m_keys)
        if (key.m_type == family && SameId(family, key.m_rid, rid))
            return &key;
    return nullptr;
}

const RefRoutingKey* RefDataStore::FindKeyByRid(std::string_view rid) const
{
    for (const RefRoutingKey& key : m_keys)
        if (SameId(key.m_type, key.m_rid, rid))
            return &key;
    return nullptr;
}

const RefItem* RefDataStore::FindItem(VTCodeType type, std::string_view rid, std::string_view iid) const
{
    const VTCodeType family = RoutingFamily(type);
    for (const RefItem& item : m_items)
        if (RoutingFamily(item.m_type) == family && SameId(family, item.m_rid, rid) &&
            SameId(family, item.m_iid, iid))
            return &item;
    return nullptr;
}

std::vector<const RefItem*> RefDataStore::ItemsOf(const RefRoutingKey& key) const
{
    std::vector<const RefItem*> items;
    for (const RefItem& item : m_items)
        if (RoutingFamily(item.m_type) == key.m_type && SameId(key.m_type, item.m_rid, key.m_rid))
            items.push_back(&item);
    return items;
}

const RefAccount* RefDataStore::FindAccountByLogin(std::string_view login) const
{
    for (const RefAccount& account : m_accounts)
        if (EqualNoCase(account.m_login, login))
            return &account;
    return nullptr;
}

const RefAccount* RefDataStore::FindAccountByClearId(std::string_view clearId) const
{
    for (const RefAccount& account : m_accounts)
        if (account.m_clearId == clearId)
            return &account;
    return nullptr;
}
