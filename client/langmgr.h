#pragma once

#include "lang/langres.h"
#include "platform/dynlib.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// One available interface language: the program's own English or a
// language library found beside the program.
struct CLanguageEntry {
    std::filesystem::path path;
    std::string fileName;
    std::string code;
    std::string text;
    std::int32_t number = 0;
    std::int32_t version[3] = {0, 0, 0};

    // "major.minor.build".
    std::string VersionText() const;
};

// A menu as the current language gives it, popups holding their items.
struct CMenuItem {
    enum class Kind { Item, Popup, Separator };
    Kind kind = Kind::Item;
    int id = 0;
    std::string text;
    std::vector<CMenuItem> children;
};

// A dialog's caption and its controls' texts by control identifier.
struct CDialogTexts {
    std::string caption;
    std::map<int, std::string> controls;
};

// Finds the language libraries, keeps one of them current and is the one
// place every text, menu and dialog of the client comes from: the current
// library first, the program's own tables when the library lacks one.
// The tables hold Windows-1252; every text the manager hands out, the
// entries' names too, is UTF-8.
class CLanguageMgr {
public:
    static constexpr std::size_t kMaxScanDepth = 16;

    // English only until Initialize; `programResources` are the program's
    // own (English) tables.
    explicit CLanguageMgr(const LumoraResourceTable& programResources);
    CLanguageMgr();

    // Empties the list, adds English as entry 0 and scans the program's
    // folder for "*.so" libraries; `programPath` empty means the running program.
    void Initialize(const std::filesystem::path& programPath = {});

    const std::vector<CLanguageEntry>& Entries() const { return m_entries; }
    std::size_t CurrentIndex() const { return m_current; }
    const CLanguageEntry& Current() const { return m_entries.at(m_current); }

    // The first entry with that number becomes current; false when none has
    // it or its library cannot be loaded (English is current then). Without
    // `force` nothing changes when the current entry has the number already.
    bool SelectByNumber(std::int32_t number, bool force = false);
    // The first entry whose code equals `code` exactly becomes current.
    bool SelectByCode(std::string_view code);
    // The stored "Language": its entry's number, forced; English when unknown.
    void SelectConfigured(std::string_view code);

    // The text of a string identifier; a text neither the library nor the
    // program has is an internal error of the language manager.
    std::string LoadText(int id) const;
    bool HasText(int id) const;
    // LoadText with "%1" to "%9" replaced by the inserts.
    std::string FormatMessage(int id, const std::vector<std::string>& inserts = {}) const;
    std::vector<CMenuItem> LoadMenu(int id) const;
    CDialogTexts LoadDialog(int id) const;

    // "Available Languages" and one line per entry, the current one marked.
    std::string LanguageListText() const;

    // Fills "%1" to "%9"; "%%" is "%", and a "%" before any other character
    // (or a digit beyond the inserts, or 0) stays as it is.
    static std::string FormatInserts(std::string_view text, const std::vector<std::string>& inserts);
    // Fills the printf-style "%d", "%ld", "%u" and "%lu" of some texts with
    // the numbers in order; "%%" is "%", anything else stays as it is.
    static std::string FormatNumbers(std::string_view text, const std::vector<long>& numbers);

private:
    void Reset(const std::filesystem::path& programPath);
    void ScanFolder(const std::filesystem::path& folder, std::size_t depth,
                    std::set<std::filesystem::path>& visited);
    static bool Probe(const std::filesystem::path& file, CLanguageEntry& entry);
    bool MakeCurrent(std::size_t index);
    static const LumoraResourceTable* ValidTable(const void* symbol);
    static const char* FindText(const LumoraResourceTable* table, int id);
    static bool BuildMenu(const LumoraResourceTable* table, int id, std::vector<CMenuItem>& items);
    static bool FindDialog(const LumoraResourceTable* table, int id, CDialogTexts& dialog);

    const LumoraResourceTable& m_program;
    std::vector<CLanguageEntry> m_entries;
    std::size_t m_current = 0;
    platform::DynamicLibrary m_library;
    const LumoraResourceTable* m_libraryTable = nullptr;
};
