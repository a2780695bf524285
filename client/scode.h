#pragma once

#include "vtkit/scanner/scantype.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CLanguageMgr;
class VTBatchCodeList;
struct CClientSettings;

// One entry of the stored code list. Types are the stored type numbers
// (0 unknown to 10 URL); dates are the decimal text of a local file time
// (100 ns units since 1601), empty when never.
struct CStoredCode {
    enum Status { kInvalid = 0, kNew = 1, kNotShown = 2, kShown = 3 };

    unsigned number = 0; // 1 = most recent
    std::string codeText;
    int codeType = 0;
    std::string serverId;
    std::string itemId;
    int status = kNew;
    std::string genericDescription;
    std::string itemDescription;
    std::string userDescription;
    std::string lastAccessed;
    std::string enterDate;
    bool selected = false;

    bool operator==(const CStoredCode&) const = default;

    // The user's description, else the item's, else the generic one.
    const std::string& ShownDescription() const;
    // Trimmed and case-folded: two entries with the same normalised text
    // and type are the same code.
    std::string NormalizedText() const;
    bool SameCode(std::string_view text, int type) const;
};

// The columns of the list, in their order.
enum CStoredColumn {
    kColumnNumber,
    kColumnCode,
    kColumnDescription,
    kColumnType,
    kColumnEnterDate,
    kColumnLastAccessed,
    kColumnItemId,
    kColumnServerId,
    kColumnStatus,
    kColumnCount
};

// The string identifiers of a column's title, a stored type's name and a
// status's name; values out of range give column 0, type 0 and status New.
int StoredColumnTitleId(int column);
int StoredTypeNameId(int type);
int StoredStatusNameId(int status);

// What an exported list is written as.
enum class CListFileKind { kCodeList, kText, kCsv };

// How reading a list file ended. Entries read before an error stay.
struct CListLoadResult {
    enum class Status { Ok, CannotOpen, WrongFormat, BadLine };
    Status status = Status::Ok;
    int messageId = 0;    // the text to show, its %1 the file name
    int errorCode = 0;    // shown after "Error Code = "
    std::size_t line = 0; // the line that stopped the reading

    bool Ok() const { return status == Status::Ok; }
};

// The parts of a code waiting to be processed that the stored list reads
// and fills when it takes the code in (a typed code or a scan).
struct CPendingCode {
    std::string text;
    int type = 0; // 0: not yet known
    ScanType scanType = kScanTypeUnknown;
    bool scanned = false;
    std::string itemDescription;
    std::string userDescription;
};

// What taking codes in needs of the code model: the types a text could be
// (most likely first) and the URL rule that puts a scheme in front.
struct CCodeRecognizer {
    std::function<std::vector<int>(std::string_view text, ScanType scanType, bool scanned)> analyze;
    std::function<std::string(std::string_view url)> completeUrl;
};

// The code model's analysis and URL rule.
CCodeRecognizer CodeModelRecognizer();

// The user's pick among several fitting types; none when the user cancels.
using CTypeChooser = std::function<std::optional<int>(std::string_view text, const std::vector<int>& types)>;

struct CTakeCodesResult {
    bool canceled = false;           // show "User has canceled processing."
    std::vector<std::string> failed; // codes that could not be stored (50107)
};

// The outcome of processing one code, as the stored list takes it.
struct CProcessedCode {
    enum class Outcome { Invalid, Unlinked, Linked };
    std::string text;
    int type = 0;
    Outcome outcome = Outcome::Invalid;
    std::string serverId;
    std::string itemId;
    std::string serverDescription;
    std::string itemDescription;
    bool pageOpened = false; // the first code, whose page was opened
};

// Hears every change of the stored list as rows in number order (row 0 is
// number 1), so that a table model can follow it without reading the list
// again. A change of shape comes as an "about to" call while the list is
// still as it was and a second call once it has changed, as Qt's models
// begin and end them; changed rows are told after the change. A move puts
// rows first..last before `destination`, counted before the move. The
// default bodies do nothing.
class CStoredCodeListener {
public:
    virtual ~CStoredCodeListener();

    virtual void OnRowsAboutToBeInserted(std::size_t first, std::size_t last);
    virtual void OnRowsInserted(std::size_t first, std::size_t last);
    virtual void OnRowsAboutToBeRemoved(std::size_t first, std::size_t last);
    virtual void OnRowsRemoved(std::size_t first, std::size_t last);
    virtual void OnRowsAboutToBeMoved(std::size_t first, std::size_t last, std::size_t destination);
    virtual void OnRowsMoved(std::size_t first, std::size_t last, std::size_t destination);
    // Some texts, the status or the number of these rows changed.
    virtual void OnRowsChanged(std::size_t first, std::size_t last);
    // The whole list is replaced (a list read in, an undo).
    virtual void OnAboutToReset();
    virtual void OnReset();
    // The order of SortedEntries changed; the rows did not.
    virtual void OnSortChanged(int column, bool ascending);
};

// The stored code list: at most 200 entries, most recent first, kept in
// "Codes.dat" (format 2.0), importable from older and plain lists,
// exportable as a list or as text, with one level of undo.
class CStoredCodeMgr {
public:
    static constexpr std::size_t kMaxEntries = 200;
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;
    static constexpr std::size_t kMaxFileBytes = 64u << 20;
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    CStoredCodeMgr(const CLanguageMgr& language, const CClientSettings& settings);

    void SetClock(Clock clock) { m_clock = std::move(clock); }
    // Not owned; null for none.
    void SetListener(CStoredCodeListener* listener) { m_listener = listener; }
    // While the view refreshes access times, a code added again only gets
    // its last-accessed date set.
    void SetRefreshingAccessTimes(bool refreshing) { m_refreshingAccessTimes = refreshing; }

    // In number order: entry i has number i + 1.
    const std::vector<CStoredCode>& Entries() const { return m_entries; }
    // In the order of the current sort.
    std::vector<const CStoredCode*> SortedEntries() const;

    // Replaces the list with a list file (the stored list at start-up).
    CListLoadResult Load(const std::filesystem::path& path);
    // Replace and insert for the menu commands: with undo.
    CListLoadResult Replace(const std::filesystem::path& path);
    CListLoadResult Insert(const std::filesystem::path& path);
    // Reads list-file text, appending to the list (or replacing it).
    CListLoadResult Read(std::istream& in, bool append);

    // Writes the list in format 2.0. When the list was read from this file
    // with an error, the file is first kept as "<path>.damaged".
    bool Save(const std::filesystem::path& path, std::string* error = nullptr);
    bool ExportText(const std::filesystem::path& path, std::string* error = nullptr) const;
    std::string FormatList() const;
    std::string FormatText() const;
    // Comma-separated values (RFC 4180, UTF-8, CR LF): a row of the column
    // titles, then the entries in the order of the current sort.
    std::string FormatCsv() const;
    bool ExportCsv(const std::filesystem::path& path, std::string* error = nullptr) const;
    // The export command: a code list (as Save), text or CSV.
    bool Export(const std::filesystem::path& path, CListFileKind kind, std::string* error = nullptr);
    // The export dialog's filter: code lists, text and CSV, in this order.
    std::string ExportFilter() const;
    // What to write: the kind the file's extension names, else the filter
    // entry chosen (0 code list, 1 text, 2 CSV).
    static CListFileKind ExportKind(const std::filesystem::path& path, std::size_t filterIndex);

    // Adds a code at the top or moves it there; false when it cannot be
    // stored (a type outside 1 to 10, unless `first` allows type 0).
    bool AddEntry(CStoredCode entry, bool first);
    // Gives each pending code its type (analysing it, asking `choose` when
    // several types fit) and stores it, passing stored descriptions back.
    CTakeCodesResult TakeCodes(std::vector<CPendingCode>& codes, const CCodeRecognizer& recognizer,
                               const CTypeChooser& choose, bool first);
    void UpdateAfterProcessing(const std::vector<CProcessedCode>& results, bool refreshDescriptions);

    // The same for the batch list handed to the processor: codes without a
    // type get one (a cancelled choice leaves type 0), every code is stored,
    // and the batch codes take back the stored texts and descriptions.
    CTakeCodesResult TakeCodes(VTBatchCodeList& list, const CCodeRecognizer& recognizer,
                               const CTypeChooser& choose, bool first);
    // What the processor found, read from its list. Codes it did not finish
    // (cancelled, failed, still waiting) are left out, so their entries keep
    // what they had. `pageOpened`: the first code's page was opened.
    static std::vector<CProcessedCode> ProcessedCodes(const VTBatchCodeList& list, bool pageOpened);

    // The selection is the view's: marking entries is not a change of the list.
    void Select(unsigned number, bool selected);
    std::size_t DeleteSelected();
    void DeleteAll();
    bool EditDescription(unsigned number, std::string text);

    void Sort(int column, bool ascending);
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_sortAscending; }

    // Undoes the last delete, insert, replace or description change.
    bool Undo();
    // The menu text of what Undo would undo, or 0 when there is nothing.
    int UndoTextId() const { return m_undo ? m_undo->textId : 0; }

    std::string TypeName(int type) const;
    std::string StatusName(int status) const;
    std::string Now(bool zeroMilliseconds) const;

    // A file time as a local time point and back, as the list stores them.
    static std::string FileTimeText(std::chrono::system_clock::time_point when, bool zeroMilliseconds);
    // "YYYY-MM-DD HH:MM:SS" of a stored date; the text itself when it is not one.
    static std::string DateText(std::string_view fileTime);

private:
    struct UndoState {
        int textId;
        std::vector<CStoredCode> entries;
    };
    struct ReadState;

    CListLoadResult ReadFile(const std::filesystem::path& path, bool append);
    CListLoadResult ReadWithUndo(const std::filesystem::path& path, bool append, int undoTextId);
    bool ReadLine(ReadState& state, std::string_view line);
    CStoredCode* Find(std::string_view text, int type);
    std::size_t RowOf(const CStoredCode* entry) const
    {
        return static_cast<std::size_t>(entry - m_entries.data());
    }

    // Every change of the list goes through these, which tell the listener.
    void InsertRows(std::size_t at, std::vector<CStoredCode> rows);
    void RemoveRows(std::size_t first, std::size_t last);
    void MoveToTop(std::size_t row);
    // Applies `change` to the row and tells of it when the row is no longer the same.
    void ChangeRow(std::size_t row, const std::function<void(CStoredCode&)>& change);
    void ResetRows(std::vector<CStoredCode> rows);
    void TakeResult(CStoredCode& entry, const CProcessedCode& processed, bool refreshDescriptions) const;
    // Numbers the rows 1 to N, telling of those whose number moved.
    void Renumber();
    template <class Call> void Tell(Call call)
    {
        if (m_listener)
            call(*m_listener);
    }
    void Remember(int undoTextId);
    void Forget() { m_undo.reset(); }

    const CLanguageMgr& m_language;
    const CClientSettings& m_settings;
    Clock m_clock;
    CStoredCodeListener* m_listener = nullptr;
    std::vector<CStoredCode> m_entries;
    int m_sortColumn = kColumnNumber;
    bool m_sortAscending = true;
    bool m_refreshingAccessTimes = false;
    std::optional<UndoState> m_undo;
    std::filesystem::path m_damagedSource; // read with an error, not yet kept
};
