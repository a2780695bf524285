#pragma once

#include "tst/tsstrmap.h"
#include "vtkit/cdbase.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A data folder that cannot be served; the message names the file and the fault.
class RefDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the server ID and the item ID lie in the codes of one range.
struct RefFormat {
    VTCodeType m_type = kCodeUnknown;
    std::string m_low;
    std::string m_high;
    int m_ridStart = 0;
    int m_ridLength = 0;
    int m_iidStart = 0;
    int m_iidLength = 0;
    std::string m_canonical;
    // A date as the client reads it; empty means "a month from the reply".
    std::string m_expire;
};

// One routing key: the server that answers for it and its address templates.
struct RefRoutingKey {
    VTCodeType m_type = kCodeUnknown;
    std::string m_rid;
    // When set, a template query must name this domain for the key.
    std::string m_domain;
    std::string m_serverName;
    // Command and template, the base address already put in.
    std::vector<std::pair<std::string, std::string>> m_templates;
    // A date as the client reads it; empty means "a week from the reply".
    std::string m_cacheDate;

    bool HasCommand(std::string_view command) const;
};

// One linked item: what its code resolves to and the page it opens.
struct RefItem {
    VTCodeType m_type = kCodeUnknown;
    std::string m_rid;
    std::string m_iid;
    // A printed code that stands for the item.
    std::string m_code;
    std::string m_description;
    std::string m_canonical;
    std::string m_page;
};

struct RefAccount {
    std::string m_login;
    std::string m_password;
    // The blinded id handed out on attach, and the clear id inside it.
    std::string m_user;
    std::string m_clearId;
    std::string m_name;
};

// A core server record: "ROUTING", "REGISTRATION" or "HELP" and its commands.
struct RefCoreServer {
    std::string m_type;
    TSStringMap m_commands;
};

// Everything the server answers from, read once at start and never changed
// afterwards, so the connection threads share it without locks.
class RefDataStore {
public:
    // Stands for the server's own address in the templates of the data files.
    static constexpr std::string_view kBasePlaceholder = "{BASE}";

    // Reads formats.xml, templates.xml, items.xml, accounts.xml, core.xml and
    // the help pages help/N.html of `folder`, and checks that every sample
    // code resolves to its item. `baseUrl` ends with '/'.
    static RefDataStore Load(const std::filesystem::path& folder, const std::string& baseUrl);

    const std::string& BaseUrl() const { return m_baseUrl; }
    const std::filesystem::path& Folder() const { return m_folder; }
    const std::vector<RefFormat>& Formats() const { return m_formats; }
    const std::vector<RefRoutingKey>& RoutingKeys() const { return m_keys; }
    const std::vector<RefItem>& Items() const { return m_items; }
    const std::vector<RefAccount>& Accounts() const { return m_accounts; }
    // ROUTING, REGISTRATION and HELP, in that order.
    const std::vector<RefCoreServer>& CoreServers() const { return m_core; }
    const std::map<int, std::string>& HelpPages() const { return m_help; }

    // The first format of the type whose range holds the code (compared
    // byte by byte, as the client's format list does).
    const RefFormat* FindFormat(VTCodeType type, std::string_view code) const;
    const RefRoutingKey* FindKey(VTCodeType type, std::string_view rid) const;
    // By server ID alone, for the line form of the description query.
    const RefRoutingKey* FindKeyByRid(std::string_view rid) const;
    const RefItem* FindItem(VTCodeType type, std::string_view rid, std::string_view iid) const;
    std::vector<const RefItem*> ItemsOf(const RefRoutingKey& key) const;
    const RefAccount* FindAccountByLogin(std::string_view login) const;
    const RefAccount* FindAccountByClearId(std::string_view clearId) const;

private:
    void LoadFormats();
    void LoadRoutingKeys();
    void LoadItems();
    void LoadAccounts();
    void LoadCoreServers();
    void LoadHelpPages();
    void CheckSampleCodes() const;
    void CheckSampleCode(const RefItem& item) const;
    std::string WithBase(std::string text) const;

    std::filesystem::path m_folder;
    std::string m_baseUrl;
    std::vector<RefFormat> m_formats;
    std::vector<RefRoutingKey> m_keys;
    std::vector<RefItem> m_items;
    std::vector<RefAccount> m_accounts;
    std::vector<RefCoreServer> m_core;
    std::map<int, std::string> m_help;
};

// UPC-E codes share the routing keys, formats and items of UPC-A.
VTCodeType RoutingFamily(VTCodeType type);
// Vanity names are compared without regard to case, every other ID exactly.
bool SameId(VTCodeType type, std::string_view a, std::string_view b);
