#include "client/langmgr.h"

#include "client/uitextids.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "tst/tsexcep.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

// Lines of the language manager that its internal errors name.
constexpr long kLineMissingText = 380;
constexpr long kLineMissingMenu = 445;
constexpr long kLineMissingDialog = 473;

constexpr std::size_t kMaxIdentityLength = 256;
constexpr std::uint32_t kMaxTableEntries = 1u << 16;

std::string CopyIdentity(const char* text)
{
    return std::string(text, ::strnlen(text, kMaxIdentityLength));
}

// Every table, the program's own too, holds Windows-1252; what leaves the
// manager is UTF-8.
std::string FromTable(const char* text)
{
    return text ? platform::Cp1252ToUtf8(text) : std::string();
}

[[noreturn]] void MissingResource(long line, const char* what, int id)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s %d not found", what, id);
    RaiseInternalError("langmgr", line, text);
}

} // namespace

std::string CLanguageEntry::VersionText() const
{
    char text[48];
    std::snprintf(text, sizeof text, "%ld.%ld.%ld", static_cast<long>(version[0]),
                  static_cast<long>(version[1]), static_cast<long>(version[2]));
    return text;
}

CLanguageMgr::CLanguageMgr(const LumoraResourceTable& programResources) : m_program(programResources)
{
    Reset({});
}

CLanguageMgr::CLanguageMgr() : CLanguageMgr(kProgramResources) {}

void CLanguageMgr::Initialize(const std::filesystem::path& programPath)
{
    Reset(programPath);
    std::set<std::filesystem::path> visited;
    ScanFolder(m_entries.front().path.parent_path(), 0, visited);
}

void CLanguageMgr::Reset(const std::filesystem::path& programPath)
{
    m_library.Close();
    m_libraryTable = nullptr;
    m_current = 0;
    m_entries.clear();

    CLanguageEntry english;
    english.path = programPath.empty() ? platform::ProgramPath() : programPath;
    english.fileName = english.path.filename().string();
    english.code = "en";
    english.text = "English";
    english.number = 0;
    english.version[0] = 1;
    m_entries.push_back(english);
}

void CLanguageMgr::ScanFolder(const std::filesystem::path& folder, std::size_t depth,
                              std::set<std::filesystem::path>& visited)
{
    std::error_code error;
    // Symbolic links could lead back here: each folder is scanned once.
    const auto canonical = std::filesystem::canonical(folder, error);
    if (error || depth > kMaxScanDepth || !visited.insert(canonical).second)
        return;
    // Names in byte order, so that "first found" means the same on every system.
    std::vector<std::filesystem::path> names;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (platform::NameHasSuffix(it->path().filename().string(), ".so"))
            names.push_back(it->path());
    std::sort(names.begin(), names.end());
    for (const auto& path : names) {
        if (std::filesystem::is_directory(path, error)) {
            ScanFolder(path, depth + 1, visited);
            continue;
        }
        CLanguageEntry entry;
        if (Probe(path, entry))
            m_entries.push_back(std::move(entry));
    }
}

bool CLanguageMgr::Probe(const std::filesystem::path& file, CLanguageEntry& entry)
{
    platform::DynamicLibrary library;
    if (!library.Open(file))
        return false;
    const auto getVersion = library.Function<LumoraGetVersionInfoFn>(LUMORA_EXPORT_VERSION_INFO);
    const auto getText = library.Function<LumoraGetLangTextFn>(LUMORA_EXPORT_LANG_TEXT);
    const auto getNumber = library.Function<LumoraGetLangIdFn>(LUMORA_EXPORT_LANG_ID);
    const auto getCode = library.Function<LumoraGetLangCodeFn>(LUMORA_EXPORT_LANG_CODE);
    if (!getVersion || !getText || !getNumber || !getCode)
        return false;
    const char* text = getText();
    const char* code = getCode();
    // A library without a name or code cannot be offered; it is passed over.
    if (!text || !code)
        return false;
    LumoraVersionInfo version{0, 0, 0};
    if (getVersion(&version) != &version)
        return false;
    entry.path = file;
    entry.fileName = file.filename().string();
    entry.text = platform::Cp1252ToUtf8(CopyIdentity(text));
    entry.code = CopyIdentity(code);
    entry.number = getNumber();
    entry.version[0] = version.major;
    entry.version[1] = version.minor;
    entry.version[2] = version.build;
    return true;
}

const LumoraResourceTable* CLanguageMgr::ValidTable(const void* symbol)
{
    const auto* table = static_cast<const LumoraResourceTable*>(symbol);
    if (!table || table->size < sizeof(LumoraResourceTable) || table->format != LUMORA_RESOURCE_FORMAT)
        return nullptr;
    const auto usable = [](const void* items, std::uint32_t count) {
        return count <= kMaxTableEntries && (items || count == 0);
    };
    if (!usable(table->strings, table->stringCount) || !usable(table->menus, table->menuCount) ||
        !usable(table->dialogs, table->dialogCount))
        return nullptr;
    for (std::uint32_t i = 1; i < table->stringCount; ++i)
        if (table->strings[i - 1].id >= table->strings[i].id)
            return nullptr; // lookups rely on the order
    return table;
}

bool CLanguageMgr::MakeCurrent(std::size_t index)
{
    m_library.Close();
    m_libraryTable = nullptr;
    m_current = 0;
    if (index == 0)
        return true;
    if (!m_library.Open(m_entries.at(index).path))
        return false;
    m_libraryTable = ValidTable(m_library.Symbol(LUMORA_EXPORT_RESOURCES));
    m_current = index;
    return true;
}

bool CLanguageMgr::SelectByNumber(std::int32_t number, bool force)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const CLanguageEntry& entry) { return entry.number == number; });
    if (found == m_entries.end())
        return false;
    if (!force && Current().number == number)
        return true;
    return MakeCurrent(static_cast<std::size_t>(found - m_entries.begin()));
}

bool CLanguageMgr::SelectByCode(std::string_view code)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const CLanguageEntry& entry) { return entry.code == code; });
    return found != m_entries.end() && MakeCurrent(static_cast<std::size_t>(found - m_entries.begin()));
}

void CLanguageMgr::SelectConfigured(std::string_view code)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const CLanguageEntry& entry) { return entry.code == code; });
    if (found == m_entries.end() || !SelectByNumber(found->number, true))
        SelectByNumber(0, true);
}

const char* CLanguageMgr::FindText(const LumoraResourceTable* table, int id)
{
    if (!table)
        return nullptr;
    const auto* begin = table->strings;
    const auto* end = begin + table->stringCount;
    const auto* found = std::lower_bound(
        begin, end, id, [](const LumoraStringResource& entry, int key) { return entry.id < key; });
    return found != end && found->id == id ? found->text : nullptr;
}

bool CLanguageMgr::HasText(int id) const
{
    return FindText(m_libraryTable, id) || FindText(&m_program, id);
}

std::string CLanguageMgr::LoadText(int id) const
{
    const char* text = FindText(m_libraryTable, id);
    if (!text)
        text = FindText(&m_program, id);
    if (!text)
        MissingResource(kLineMissingText, "string", id);
    return FromTable(text);
}

std::string CLanguageMgr::FormatMessage(int id, const std::vector<std::string>& inserts) const
{
    return FormatInserts(LoadText(id), inserts);
}

std::string CLanguageMgr::FormatInserts(std::string_view text, const std::vector<std::string>& inserts)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '%' && next == '%') {
            out.push_back('%');
            ++i;
        } else if (c == '%' && next >= '1' && next <= '9' &&
                   static_cast<std::size_t>(next - '0') <= inserts.size()) {
            out.append(inserts[static_cast<std::size_t>(next - '1')]);
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string CLanguageMgr::FormatNumbers(std::string_view text, const std::vector<long>& numbers)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        std::size_t length = 0;
        for (std::string_view conversion : {"%ld", "%lu", "%d", "%u"})
            if (rest.substr(0, conversion.size()) == conversion) {
                length = conversion.size();
                break;
            }
        if (rest.substr(0, 2) == "%%") {
            out.push_back('%');
            ++i;
        } else if (length && next < numbers.size()) {
            out.append(std::to_string(numbers[next++]));
            i += length - 1;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

bool CLanguageMgr::BuildMenu(const LumoraResourceTable* table, int id, std::vector<CMenuItem>& items)
{
    if (!table)
        return false;
    bool found = false;
    std::vector<std::vector<CMenuItem>*> open{&items};
    for (std::uint32_t i = 0; i < table->menuCount; ++i) {
        const LumoraMenuResource& entry = table->menus[i];
        if (entry.menuId != id)
            continue;
        found = true;
        if (entry.kind == LUMORA_MENU_END) {
            if (open.size() > 1)
                open.pop_back();
            continue;
        }
        CMenuItem item;
        item.id = entry.itemId;
        item.text = FromTable(entry.text);
        item.kind = entry.kind == LUMORA_MENU_POPUP       ? CMenuItem::Kind::Popup
                    : entry.kind == LUMORA_MENU_SEPARATOR ? CMenuItem::Kind::Separator
                                                          : CMenuItem::Kind::Item;
        open.back()->push_back(std::move(item));
        if (open.back()->back().kind == CMenuItem::Kind::Popup)
            open.push_back(&open.back()->back().children);
    }
    return found;
}

std::vector<CMenuItem> CLanguageMgr::LoadMenu(int id) const
{
    std::vector<CMenuItem> items;
    if (BuildMenu(m_libraryTable, id, items))
        return items;
    items.clear();
    if (!BuildMenu(&m_program, id, items))
        MissingResource(kLineMissingMenu, "menu", id);
    return items;
}

bool CLanguageMgr::FindDialog(const LumoraResourceTable* table, int id, CDialogTexts& dialog)
{
    if (!table)
        return false;
    bool found = false;
    for (std::uint32_t i = 0; i < table->dialogCount; ++i) {
        const LumoraDialogResource& entry = table->dialogs[i];
        if (entry.dialogId != id || !entry.text)
            continue;
        found = true;
        if (entry.controlId == 0)
            dialog.caption = FromTable(entry.text);
        else
            dialog.controls[entry.controlId] = FromTable(entry.text);
    }
    return found;
}

CDialogTexts CLanguageMgr::LoadDialog(int id) const
{
    CDialogTexts program;
    const bool inProgram = FindDialog(&m_program, id, program);
    CDialogTexts dialog;
    if (!FindDialog(m_libraryTable, id, dialog)) {
        if (!inProgram)
            MissingResource(kLineMissingDialog, "dialog", id);
        return program;
    }
    // A control the library does not name keeps the program's text.
    for (auto& [control, text] : program.controls)
        dialog.controls.emplace(control, std::move(text));
    return dialog;
}

std::string CLanguageMgr::LanguageListText() const
{
    std::string text = LoadText(kStrAvailableLanguages);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CLanguageEntry& entry = m_entries[i];
        text += entry.text + "\t";
        if (platform::Utf8Length(entry.text) < 9)
            text += "\t";
        text += entry.VersionText();
        if (i == m_current)
            text += "  " + LoadText(kStrCurrentLanguage);
        text += "\r\n";
    }
    return text;
}
