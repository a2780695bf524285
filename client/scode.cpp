#include "client/scode.h"

#include "client/config.h"
#include "client/langmgr.h"
#include "client/uitextids.h"
#include "platform/atomicfile.h"
#include "platform/codepage.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/vtbatchlist.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <fstream>
#include <istream>
#include <sstream>
#include <unistd.h>

namespace {

constexpr std::string_view kVersionTag = "Version Format:";
constexpr std::int64_t kFileTimeEpochOffset = 11644473600; // seconds from 1601 to 1970
constexpr std::int64_t kFileTicksPerSecond = 10000000;
constexpr int kErrorWrongFormat = 8;
constexpr int kErrorBadLine = 540;

constexpr int kTypeNameIds[] = {
    kStrTypeUnknown, kStrTypeLumora, kStrTypeUpca,     kStrTypeUpce,     kStrTypeEan13, kStrTypeEan8,
    kStrTypeIsbn,    kStrTypeVanity, kStrTypeBookland, kStrTypeNumicode, kStrTypeUrl,
};
constexpr int kStatusNameIds[] = {kStrStatusInvalid, kStrStatusNew, kStrStatusNotShown, kStrStatusShown};
constexpr int kColumnTitleIds[kColumnCount] = {
    kStrColumnNumber,       kStrColumnCode,   kStrColumnDescription, kStrColumnType,   kStrColumnEnterDate,
    kStrColumnLastAccessed, kStrColumnItemId, kStrColumnServerId,    kStrColumnStatus,
};
constexpr int kLastType = 10;

std::string Fold(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return folded;
}

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> Split(std::string_view line, char separator, std::size_t maxFields = 0)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const auto at = line.find(separator);
        if (at == std::string_view::npos || (maxFields && fields.size() + 1 == maxFields)) {
            fields.push_back(line);
            return fields;
        }
        fields.push_back(line.substr(0, at));
        line.remove_prefix(at + 1);
    }
}

// A whole decimal number, optionally signed; nothing else in the text.
template <class T> bool ParseNumber(std::string_view text, T& value)
{
    if (text.empty() || text.front() == '+')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Old type numbers of the 1.0 lists and the plain lists.
int MapOldType(int oldType, std::string_view code)
{
    switch (oldType) {
    case 3:
        return 1;
    case 4:
        return code.size() == 8 ? 3 : 2;
    case 5:
        return 4;
    case 6:
        return 5;
    case 7:
        return 7;
    default:
        return 0;
    }
}

int MapOldStatus(int oldStatus)
{
    static constexpr int kStatus[] = {CStoredCode::kShown, CStoredCode::kNotShown, CStoredCode::kInvalid,
                                      CStoredCode::kNew};
    return oldStatus >= 0 && oldStatus < 4 ? kStatus[oldStatus] : CStoredCode::kNew;
}

// Tabs and line breaks would split a field in the file.
std::string FileField(std::string_view text)
{
    std::string field(text);
    std::replace_if(
        field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return field;
}

// One CSV field: quoted when it holds a separator, a quote or a line break.
// A text that a spreadsheet would take for a formula (descriptions come from
// servers) is kept as text by a leading apostrophe.
std::string CsvField(std::string_view text, bool entry)
{
    std::string field;
    if (entry && !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        field.push_back('\'');
    field.append(text);
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (char c : field)
        quoted.append(c == '"' ? "\"\"" : std::string(1, c));
    return quoted + "\"";
}

// Reads one line of at most `limit` bytes; false at the end of the input.
bool NextLine(std::istream& in, std::string& line, std::size_t limit, bool& tooLong)
{
    line.clear();
    tooLong = false;
    std::streambuf* buffer = in.rdbuf();
    for (int c = buffer->sbumpc();; c = buffer->sbumpc()) {
        if (c == std::char_traits<char>::eof())
            return !line.empty();
        if (c == '\n')
            break;
        if (line.size() == limit) {
            tooLong = true;
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

CCodeRecognizer CodeModelRecognizer()
{
    CCodeRecognizer recognizer;
    recognizer.analyze = [](std::string_view text, ScanType scanType, bool scanned) {
        std::vector<VTCodeType> candidates;
        AnalyzeCode(text, candidates, scanType, scanned);
        return std::vector<int>(candidates.begin(), candidates.end());
    };
    recognizer.completeUrl = [](std::string_view url) {
        std::string text(url);
        if (!VTUrlCode::HasScheme(text))
            VTUrlCode::AddScheme(text);
        return text;
    };
    return recognizer;
}

const std::string& CStoredCode::ShownDescription() const
{
    if (!userDescription.empty())
        return userDescription;
    return itemDescription.empty() ? genericDescription : itemDescription;
}

std::string CStoredCode::NormalizedText() const
{
    return Fold(Trim(codeText));
}

bool CStoredCode::SameCode(std::string_view text, int type) const
{
    return type == codeType && Fold(Trim(text)) == NormalizedText();
}

struct CStoredCodeMgr::ReadState {
    enum class Format { Current, Old, Plain };
    Format format = Format::Plain;
    std::vector<CStoredCode> read;
    const std::vector<CStoredCode>* existing = nullptr;
    std::size_t room = 0;
    std::size_t lineNumber = 0;
};

CStoredCodeMgr::CStoredCodeMgr(const CLanguageMgr& language, const CClientSettings& settings)
    : m_language(language), m_settings(settings)
{
}

int StoredColumnTitleId(int column)
{
    return kColumnTitleIds[column >= 0 && column < kColumnCount ? column : 0];
}

int StoredTypeNameId(int type)
{
    return kTypeNameIds[type >= 0 && type <= kLastType ? type : 0];
}

int StoredStatusNameId(int status)
{
    return kStatusNameIds[status >= 0 && status <= 3 ? status : 1];
}

std::string CStoredCodeMgr::TypeName(int type) const
{
    return m_language.LoadText(StoredTypeNameId(type));
}

std::string CStoredCodeMgr::StatusName(int status) const
{
    return m_language.LoadText(StoredStatusNameId(status));
}

std::string CStoredCodeMgr::FileTimeText(std::chrono::system_clock::time_point when, bool zeroMilliseconds)
{
    const auto since = when.time_since_epoch();
    const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    std::tm local{};
    localtime_r(&seconds, &local);
    // The list keeps local time: the local calendar time counted as if it were UTC.
    const std::int64_t localSeconds = timegm(&local);
    std::int64_t ticks = (localSeconds + kFileTimeEpochOffset) * kFileTicksPerSecond;
    if (!zeroMilliseconds)
        ticks += (std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000) * 10000;
    return std::to_string(ticks);
}

std::string CStoredCodeMgr::DateText(std::string_view fileTime)
{
    std::uint64_t ticks = 0;
    if (!ParseNumber(fileTime, ticks))
        return std::string(fileTime);
    const std::time_t seconds = static_cast<std::time_t>(
        static_cast<std::int64_t>(ticks / kFileTicksPerSecond) - kFileTimeEpochOffset);
    std::tm calendar{};
    char text[32];
    if (!gmtime_r(&seconds, &calendar) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &calendar))
        return std::string(fileTime);
    return text;
}

std::string CStoredCodeMgr::Now(bool zeroMilliseconds) const
{
    return FileTimeText(m_clock ? m_clock() : std::chrono::system_clock::now(), zeroMilliseconds);
}

CStoredCodeListener::~CStoredCodeListener() = default;
void CStoredCodeListener::OnRowsAboutToBeInserted(std::size_t, std::size_t) {}
void CStoredCodeListener::OnRowsInserted(std::size_t, std::size_t) {}
void CStoredCodeListener::OnRowsAboutToBeRemoved(std::size_t, std::size_t) {}
void CStoredCodeListener::OnRowsRemoved(std::size_t, std::size_t) {}
void CStoredCodeListener::OnRowsAboutToBeMoved(std::size_t, std::size_t, std::size_t) {}
void CStoredCodeListener::OnRowsMoved(std::size_t, std::size_t, std::size_t) {}
void CStoredCodeListener::OnRowsChanged(std::size_t, std::size_t) {}
void CStoredCodeListener::OnAboutToReset() {}
void CStoredCodeListener::OnReset() {}
void CStoredCodeListener::OnSortChanged(int, bool) {}

void CStoredCodeMgr::InsertRows(std::size_t at, std::vector<CStoredCode> rows)
{
    if (rows.empty())
        return;
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].number = static_cast<unsigned>(at + i + 1);
    const std::size_t last = at + rows.size() - 1;
    Tell([&](CStoredCodeListener& listener) { listener.OnRowsAboutToBeInserted(at, last); });
    m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(at),
                     std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    Tell([&](CStoredCodeListener& listener) { listener.OnRowsInserted(at, last); });
    Renumber();
}

void CStoredCodeMgr::RemoveRows(std::size_t first, std::size_t last)
{
    Tell([&](CStoredCodeListener& listener) { listener.OnRowsAboutToBeRemoved(first, last); });
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(first),
                    m_entries.begin() + static_cast<std::ptrdiff_t>(last + 1));
    Tell([&](CStoredCodeListener& listener) { listener.OnRowsRemoved(first, last); });
}

void CStoredCodeMgr::MoveToTop(std::size_t row)
{
    if (row == 0)
        return; // already there; a model may not be told of a move onto itself
    Tell([&](CStoredCodeListener& listener) { listener.OnRowsAboutToBeMoved(row, row, 0); });
    const auto at = m_entries.begin() + static_cast<std::ptrdiff_t>(row);
    std::rotate(m_entries.begin(), at, at + 1);
    Tell([&](CStoredCodeListener& listener) { listener.OnRowsMoved(row, row, 0); });
}

void CStoredCodeMgr::ChangeRow(std::size_t row, const std::function<void(CStoredCode&)>& change)
{
    const CStoredCode before = m_entries[row];
    change(m_entries[row]);
    if (!(m_entries[row] == before))
        Tell([&](CStoredCodeListener& listener) { listener.OnRowsChanged(row, row); });
}

void CStoredCodeMgr::ResetRows(std::vector<CStoredCode> rows)
{
    Tell([](CStoredCodeListener& listener) { listener.OnAboutToReset(); });
    m_entries = std::move(rows);
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_entries[i].number = static_cast<unsigned>(i + 1);
    Tell([](CStoredCodeListener& listener) { listener.OnReset(); });
}

void CStoredCodeMgr::Renumber()
{
    std::optional<std::size_t> first;
    std::size_t last = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].number == i + 1)
            continue;
        m_entries[i].number = static_cast<unsigned>(i + 1);
        first = first.value_or(i);
        last = i;
    }
    if (first)
        Tell([&](CStoredCodeListener& listener) { listener.OnRowsChanged(*first, last); });
}

CStoredCode* CStoredCodeMgr::Find(std::string_view text, int type)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const CStoredCode& entry) { return entry.SameCode(text, type); });
    return found == m_entries.end() ? nullptr : &*found;
}

void CStoredCodeMgr::Remember(int undoTextId)
{
    m_undo = UndoState{undoTextId, m_entries};
}

bool CStoredCodeMgr::Undo()
{
    if (!m_undo)
        return false;
    std::vector<CStoredCode> entries = std::move(m_undo->entries);
    m_undo.reset();
    ResetRows(std::move(entries));
    return true;
}

// ---------------------------------------------------------------------------
// Reading list files

CListLoadResult CStoredCodeMgr::Load(const std::filesystem::path& path)
{
    CListLoadResult result = ReadFile(path, false);
    // The stored list may be saved over soon: remember to keep what could not be read.
    if (result.status == CListLoadResult::Status::WrongFormat ||
        result.status == CListLoadResult::Status::BadLine)
        m_damagedSource = path;
    else
        m_damagedSource.clear();
    return result;
}

CListLoadResult CStoredCodeMgr::Replace(const std::filesystem::path& path)
{
    return ReadWithUndo(path, false, kStrUndoReplace);
}

CListLoadResult CStoredCodeMgr::Insert(const std::filesystem::path& path)
{
    return ReadWithUndo(path, true, kStrUndoInsert);
}

CListLoadResult CStoredCodeMgr::ReadWithUndo(const std::filesystem::path& path, bool append, int undoTextId)
{
    auto before = m_entries;
    CListLoadResult result = ReadFile(path, append);
    if (result.status != CListLoadResult::Status::CannotOpen)
        m_undo = UndoState{undoTextId, std::move(before)};
    return result;
}

CListLoadResult CStoredCodeMgr::ReadFile(const std::filesystem::path& path, bool append)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        CListLoadResult result;
        result.status = CListLoadResult::Status::CannotOpen;
        result.messageId = kStrFatalMissingFile;
        return result;
    }
    return Read(in, append);
}

CListLoadResult CStoredCodeMgr::Read(std::istream& in, bool append)
{
    Forget();
    const std::vector<CStoredCode> none;
    ReadState state;
    state.existing = append ? &m_entries : &none;
    state.room = kMaxEntries - std::min(kMaxEntries, state.existing->size());
    CListLoadResult result;
    std::string line;
    bool tooLong = false;
    while (state.read.size() < state.room && NextLine(in, line, kMaxLineBytes, tooLong)) {
        ++state.lineNumber;
        if (state.lineNumber == 1 && line.find(kVersionTag) != std::string::npos) {
            if (line.find("2.0") != std::string::npos) {
                state.format = ReadState::Format::Current;
            } else if (line.find("1.0") != std::string::npos) {
                state.format = ReadState::Format::Old;
            } else {
                result = {CListLoadResult::Status::WrongFormat, kStrListFileWrongFormat, kErrorWrongFormat,
                          1};
                break;
            }
            continue;
        }
        if (line.empty())
            continue;
        if (tooLong || !ReadLine(state, line)) {
            result = {CListLoadResult::Status::BadLine, kStrListFileBadLine, kErrorBadLine, state.lineNumber};
            break;
        }
    }
    if (result.status == CListLoadResult::Status::WrongFormat)
        return result; // a refused file changes nothing
    // The file's own numbers order what it held; they follow what the list had.
    std::stable_sort(state.read.begin(), state.read.end(),
                     [](const CStoredCode& a, const CStoredCode& b) { return a.number < b.number; });
    if (append)
        InsertRows(m_entries.size(), std::move(state.read));
    else
        ResetRows(std::move(state.read));
    return result;
}

bool CStoredCodeMgr::ReadLine(ReadState& state, std::string_view line)
{
    CStoredCode entry;
    entry.number = static_cast<unsigned>(state.lineNumber);
    if (state.format == ReadState::Format::Current) {
        auto fields = Split(line, '\t');
        if (fields.size() > 1 && fields.back().empty())
            fields.pop_back(); // every field, the last too, ends with a tab
        if (fields.size() < 3)
            return false;
        fields.resize(11);
        if (!ParseNumber(fields[0], entry.number) || !ParseNumber(fields[2], entry.codeType) ||
            entry.codeType < 0 || entry.codeType > kLastType)
            return false;
        if (!fields[5].empty() &&
            (!ParseNumber(fields[5], entry.status) || entry.status < 0 || entry.status > 3))
            return false;
        entry.codeText = fields[1];
        entry.serverId = fields[3];
        entry.itemId = fields[4];
        entry.genericDescription = fields[6];
        entry.itemDescription = fields[7];
        entry.userDescription = fields[8];
        entry.lastAccessed = fields[9];
        entry.enterDate = fields[10];
    } else if (state.format == ReadState::Format::Old) {
        auto fields = Split(line, '\x03');
        if (fields.size() < 3)
            return false;
        fields.resize(8);
        int oldType = 0, oldStatus = 0, kind = 0;
        if (!ParseNumber(fields[1], oldType) || (!fields[4].empty() && !ParseNumber(fields[4], oldStatus)) ||
            (!fields[5].empty() && !ParseNumber(fields[5], kind)))
            return false;
        entry.codeText = fields[0];
        entry.codeType = MapOldType(oldType, entry.codeText);
        entry.serverId = fields[2];
        entry.itemId = fields[3];
        entry.status = MapOldStatus(oldStatus);
        entry.enterDate = fields[7];
        const std::string text(fields[6]);
        switch (kind) {
        case 1:
            entry.genericDescription = m_language.LoadText(kStrInvalid);
            break;
        case 2:
            entry.userDescription = text;
            break;
        case 3:
            entry.itemDescription = text;
            break;
        case 4:
            entry.genericDescription = text;
            break;
        default:
            entry.genericDescription = entry.status == CStoredCode::kInvalid
                                           ? m_language.LoadText(kStrInvalid)
                                           : TypeName(entry.codeType);
        }
    } else {
        // A plain list: code, old type, server ID and an optional description, which may hold commas.
        const auto fields = Split(line, ',', 4);
        if (fields.size() < 3)
            return false;
        int oldType = 0;
        if (!ParseNumber(Trim(fields[1]), oldType))
            return false;
        entry.codeText = Trim(fields[0]);
        entry.serverId = Trim(fields[2]);
        entry.codeType = entry.serverId.empty() ? 0 : MapOldType(oldType, entry.codeText);
        if (fields.size() > 3)
            entry.userDescription = Trim(fields[3]);
        entry.status = CStoredCode::kNew;
        entry.enterDate = Now(true);
    }
    // Lists of older programs hold Windows-1252; the list is UTF-8.
    for (std::string CStoredCode::*field :
         {&CStoredCode::codeText, &CStoredCode::serverId, &CStoredCode::itemId,
          &CStoredCode::genericDescription, &CStoredCode::itemDescription, &CStoredCode::userDescription})
        entry.*field = platform::Utf8OrCp1252(entry.*field);
    // An entry without any description shows its type's name.
    if (entry.genericDescription.empty() && entry.itemDescription.empty() && entry.userDescription.empty())
        entry.genericDescription = TypeName(entry.codeType);
    const auto same = [&](const CStoredCode& other) {
        return other.SameCode(entry.codeText, entry.codeType);
    };
    if (std::none_of(state.existing->begin(), state.existing->end(), same) &&
        std::none_of(state.read.begin(), state.read.end(), same))
        state.read.push_back(std::move(entry));
    return true;
}

// ---------------------------------------------------------------------------
// Writing

std::string CStoredCodeMgr::FormatList() const
{
    std::string out = std::string(kVersionTag) + " 2.0\n";
    for (const auto& entry : m_entries) {
        const std::string fields[] = {
            std::to_string(entry.number),
            entry.codeText,
            std::to_string(entry.codeType),
            entry.serverId,
            entry.itemId,
            std::to_string(entry.status),
            entry.genericDescription,
            entry.itemDescription,
            entry.userDescription,
            entry.lastAccessed,
            entry.enterDate,
        };
        for (const auto& field : fields)
            out.append(FileField(field)).push_back('\t');
        out.push_back('\n');
    }
    return out;
}

bool CStoredCodeMgr::Save(const std::filesystem::path& path, std::string* error)
{
    std::error_code ignored;
    if (!m_damagedSource.empty() && std::filesystem::equivalent(m_damagedSource, path, ignored)) {
        std::string original;
        if (!platform::ReadWholeFile(path, original, kMaxFileBytes, error) ||
            !platform::WriteFileAtomically(platform::DamagedCopyName(path), original, 0600, error))
            return false;
    }
    if (!platform::WriteFileAtomically(path, FormatList(), 0600, error))
        return false;
    m_damagedSource.clear();
    return true;
}

std::string CStoredCodeMgr::FormatText() const
{
    const std::string title = m_language.LoadText(kStrStoredCodes);
    const std::string none = m_language.LoadText(kStrNone);
    const auto orNone = [&](const std::string& text) { return text.empty() ? none : text; };
    std::string out = "  " + title + "\n  " + std::string(platform::Utf8Length(title), '=') + "\n\n";
    // Titles in the order of the fields below them.
    for (int column : {kColumnNumber, kColumnCode, kColumnType, kColumnDescription, kColumnEnterDate,
                       kColumnLastAccessed, kColumnItemId, kColumnServerId, kColumnStatus})
        out.append(m_language.LoadText(kColumnTitleIds[column])).push_back('\t');
    out.append("\n\n");
    for (const CStoredCode* entry : SortedEntries()) {
        const std::string fields[] = {
            std::to_string(entry->number),
            entry->codeText,
            TypeName(entry->codeType),
            orNone(entry->ShownDescription()),
            orNone(DateText(entry->enterDate)),
            orNone(DateText(entry->lastAccessed)),
            entry->itemId,
            entry->serverId,
            StatusName(entry->status),
        };
        for (std::size_t i = 0; i < std::size(fields); ++i)
            out.append(i ? "\t" : "").append(FileField(fields[i]));
        out.push_back('\n');
    }
    return out;
}

bool CStoredCodeMgr::ExportText(const std::filesystem::path& path, std::string* error) const
{
    return platform::WriteFileAtomically(path, FormatText(), 0644, error);
}

std::string CStoredCodeMgr::FormatCsv() const
{
    std::string out;
    const auto row = [&out](const auto& fields, bool entry) {
        for (std::size_t i = 0; i < std::size(fields); ++i)
            out.append(i ? "," : "").append(CsvField(fields[i], entry));
        out.append("\r\n");
    };
    std::vector<std::string> titles;
    for (int column = 0; column < kColumnCount; ++column)
        titles.emplace_back(Trim(m_language.LoadText(kColumnTitleIds[column])));
    row(titles, false);
    const auto date = [](const std::string& fileTime) {
        return fileTime.empty() ? fileTime : DateText(fileTime);
    };
    for (const CStoredCode* entry : SortedEntries()) {
        const std::string fields[] = {
            std::to_string(entry->number),
            entry->codeText,
            entry->ShownDescription(),
            TypeName(entry->codeType),
            date(entry->enterDate),
            date(entry->lastAccessed),
            entry->itemId,
            entry->serverId,
            StatusName(entry->status),
        };
        static_assert(std::size(fields) == kColumnCount);
        row(fields, true);
    }
    return out;
}

bool CStoredCodeMgr::ExportCsv(const std::filesystem::path& path, std::string* error) const
{
    return platform::WriteFileAtomically(path, FormatCsv(), 0644, error);
}

bool CStoredCodeMgr::Export(const std::filesystem::path& path, CListFileKind kind, std::string* error)
{
    switch (kind) {
    case CListFileKind::kText:
        return ExportText(path, error);
    case CListFileKind::kCsv:
        return ExportCsv(path, error);
    default:
        return Save(path, error);
    }
}

std::string CStoredCodeMgr::ExportFilter() const
{
    // "A|*.a|B|*.b||" ends with an empty entry; the CSV entry goes before it.
    std::string filter = m_language.LoadText(kStrExportFilter);
    if (filter.size() >= 2 && filter.compare(filter.size() - 2, 2, "||") == 0)
        filter.pop_back();
    return filter + m_language.LoadText(kStrExportFilterCsv);
}

CListFileKind CStoredCodeMgr::ExportKind(const std::filesystem::path& path, std::size_t filterIndex)
{
    const std::string extension = Fold(path.extension().string());
    if (extension == ".codelist")
        return CListFileKind::kCodeList;
    if (extension == ".txt")
        return CListFileKind::kText;
    if (extension == ".csv")
        return CListFileKind::kCsv;
    static constexpr CListFileKind kByFilter[] = {CListFileKind::kCodeList, CListFileKind::kText,
                                                  CListFileKind::kCsv};
    return filterIndex < std::size(kByFilter) ? kByFilter[filterIndex] : CListFileKind::kCodeList;
}

// ---------------------------------------------------------------------------
// Changing the list

bool CStoredCodeMgr::AddEntry(CStoredCode entry, bool first)
{
    if (entry.codeType < 0 || entry.codeType > kLastType || (entry.codeType == 0 && !first))
        return false;
    Forget();
    if (entry.enterDate.empty())
        entry.enterDate = Now(true);
    entry.selected = false;
    if (CStoredCode* old = Find(entry.codeText, entry.codeType)) {
        const std::size_t row = RowOf(old);
        if (m_refreshingAccessTimes) {
            ChangeRow(row, [&](CStoredCode& stored) { stored.lastAccessed = Now(false); });
            return true;
        }
        if (!m_settings.autoDescriptions && !m_settings.webView && m_settings.autoGo == 2) {
            entry.genericDescription = old->genericDescription;
            entry.itemDescription = old->itemDescription;
            entry.userDescription = old->userDescription;
            entry.status = old->status;
        }
        // The new entry takes the old one's place at the top.
        MoveToTop(row);
        entry.number = 1;
        ChangeRow(0, [&](CStoredCode& stored) { stored = std::move(entry); });
        Renumber();
        return true;
    }
    if (m_entries.size() >= kMaxEntries)
        RemoveRows(kMaxEntries - 1, m_entries.size() - 1); // the oldest goes first
    std::vector<CStoredCode> rows;
    rows.push_back(std::move(entry));
    InsertRows(0, std::move(rows));
    return true;
}

CTakeCodesResult CStoredCodeMgr::TakeCodes(std::vector<CPendingCode>& codes,
                                           const CCodeRecognizer& recognizer, const CTypeChooser& choose,
                                           bool first)
{
    CTakeCodesResult result;
    for (CPendingCode& code : codes) {
        if (code.type == 0) {
            const std::vector<int> types = recognizer.analyze(code.text, code.scanType, code.scanned);
            if (types.size() > 1) {
                const std::optional<int> chosen = choose(code.text, types);
                if (!chosen) {
                    result.canceled = true;
                    CStoredCode ambiguous;
                    ambiguous.codeText = code.text;
                    ambiguous.genericDescription = m_language.LoadText(kStrAmbiguousCode);
                    if (first && !AddEntry(std::move(ambiguous), first))
                        result.failed.push_back(code.text);
                    continue;
                }
                code.type = *chosen;
            } else if (types.size() == 1) {
                code.type = types.front();
            }
        }
        if (code.type == kLastType && recognizer.completeUrl)
            code.text = recognizer.completeUrl(code.text);
        if (CStoredCode* stored = Find(code.text, code.type)) {
            // A known code moves to the top with all it holds, and hands its descriptions on.
            code.itemDescription = stored->itemDescription;
            code.userDescription = stored->userDescription;
            if (code.type == 7)
                code.text = stored->codeText;
            Forget();
            MoveToTop(RowOf(stored));
            m_entries.front().selected = false;
            Renumber();
            continue;
        }
        CStoredCode entry;
        entry.codeText = code.text;
        entry.codeType = code.type;
        entry.genericDescription = TypeName(code.type);
        if (!AddEntry(std::move(entry), first))
            result.failed.push_back(code.text);
    }
    return result;
}

CTakeCodesResult CStoredCodeMgr::TakeCodes(VTBatchCodeList& list, const CCodeRecognizer& recognizer,
                                           const CTypeChooser& choose, bool first)
{
    const std::vector<VTBatchCode> batch = list.GetAll();
    std::vector<CPendingCode> pending(batch.size());
    for (std::size_t i = 0; i < batch.size(); ++i) {
        pending[i].text = batch[i].GetRawCode();
        pending[i].type = batch[i].GetCodeType();
    }
    CTakeCodesResult result = TakeCodes(pending, recognizer, choose, first);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        VTBatchCode code = batch[i];
        // The type is fixed when a batch code is made.
        if (pending[i].type != code.GetCodeType() || pending[i].text != code.GetRawCode())
            code = VTBatchCode(pending[i].type, pending[i].text, batch[i].GetDescriptionMode());
        code.SetDescription(pending[i].itemDescription);
        code.SetUserDescription(pending[i].userDescription);
        list.Set(i, code);
    }
    return result;
}

std::vector<CProcessedCode> CStoredCodeMgr::ProcessedCodes(const VTBatchCodeList& list, bool pageOpened)
{
    using Outcome = CProcessedCode::Outcome;
    std::vector<CProcessedCode> results;
    const std::vector<VTBatchCode> batch = list.GetAll();
    for (std::size_t index = 0; index < batch.size(); ++index) {
        const VTBatchCode& code = batch[index];
        std::optional<Outcome> outcome;
        switch (code.GetStatus()) {
        case VTBatchCode::kTypeUnknown:
        case VTBatchCode::kInvalidCode:
            outcome = Outcome::Invalid;
            break;
        case VTBatchCode::kNoFormat:
        case VTBatchCode::kOfflineNoFormat:
        case VTBatchCode::kFormatQuerySkipped:
        case VTBatchCode::kNoTemplate:
        case VTBatchCode::kOfflineNoTemplate:
        case VTBatchCode::kTemplateQuerySkipped:
        case VTBatchCode::kAddressFailed:
            outcome = Outcome::Unlinked;
            break;
        case VTBatchCode::kRouted:
        case VTBatchCode::kNoDescription:
        case VTBatchCode::kDescriptionQuerySkipped:
        case VTBatchCode::kHasDescription:
        case VTBatchCode::kOfflineNoDescription:
        case VTBatchCode::kDone:
            outcome = Outcome::Linked;
            break;
        default:
            break;
        }
        if (!outcome)
            continue;
        CProcessedCode processed;
        processed.text = code.GetRawCode();
        processed.type = code.GetCodeType();
        processed.outcome = *outcome;
        processed.serverId = code.GetContents().GetServerId();
        processed.itemId = code.GetContents().GetItemId();
        if (*outcome == Outcome::Linked) {
            processed.serverDescription = code.GetServerData().GetName();
            processed.itemDescription = code.GetDescription();
            processed.pageOpened = pageOpened && index == 0;
        }
        results.push_back(std::move(processed));
    }
    return results;
}

void CStoredCodeMgr::UpdateAfterProcessing(const std::vector<CProcessedCode>& results,
                                           bool refreshDescriptions)
{
    Forget();
    for (const CProcessedCode& processed : results)
        if (const CStoredCode* entry = Find(processed.text, processed.type))
            ChangeRow(RowOf(entry),
                      [&](CStoredCode& stored) { TakeResult(stored, processed, refreshDescriptions); });
}

void CStoredCodeMgr::TakeResult(CStoredCode& entry, const CProcessedCode& processed,
                                bool refreshDescriptions) const
{
    if (refreshDescriptions)
        entry.userDescription.clear();
    if (processed.outcome == CProcessedCode::Outcome::Invalid) {
        entry.status = CStoredCode::kInvalid;
        entry.itemDescription.clear();
        entry.genericDescription = m_language.LoadText(kStrInvalid);
        return;
    }
    if (entry.status != CStoredCode::kShown)
        entry.status = CStoredCode::kNotShown;
    entry.serverId = processed.serverId;
    entry.itemId = processed.itemId;
    const std::string typeName = TypeName(entry.codeType);
    if (processed.outcome == CProcessedCode::Outcome::Unlinked) {
        entry.genericDescription = typeName + " " + m_language.LoadText(kStrUnlinked);
        return;
    }
    entry.itemDescription = processed.itemDescription;
    entry.genericDescription =
        processed.serverDescription.empty() ? typeName : processed.serverDescription + " " + typeName;
    if (processed.pageOpened) {
        entry.status = CStoredCode::kShown;
        entry.lastAccessed = Now(false);
    }
}

void CStoredCodeMgr::Select(unsigned number, bool selected)
{
    if (number >= 1 && number <= m_entries.size())
        m_entries[number - 1].selected = selected;
}

std::size_t CStoredCodeMgr::DeleteSelected()
{
    const auto selected = std::count_if(m_entries.begin(), m_entries.end(),
                                        [](const CStoredCode& entry) { return entry.selected; });
    if (selected == 0)
        return 0;
    Remember(kStrUndoDelete);
    // Each run of selected rows at once, from the bottom, so that every run
    // is still where it was when the listener hears of it.
    for (std::size_t end = m_entries.size(); end > 0;) {
        if (!m_entries[end - 1].selected) {
            --end;
            continue;
        }
        std::size_t first = end - 1;
        while (first > 0 && m_entries[first - 1].selected)
            --first;
        RemoveRows(first, end - 1);
        end = first;
    }
    Renumber();
    return static_cast<std::size_t>(selected);
}

void CStoredCodeMgr::DeleteAll()
{
    if (m_entries.empty())
        return;
    Remember(kStrUndoDelete);
    RemoveRows(0, m_entries.size() - 1);
}

bool CStoredCodeMgr::EditDescription(unsigned number, std::string text)
{
    if (number < 1 || number > m_entries.size())
        return false;
    Remember(kStrUndoDescription);
    ChangeRow(number - 1, [&](CStoredCode& entry) { entry.userDescription = std::move(text); });
    return true;
}

// ---------------------------------------------------------------------------
// Sorting

void CStoredCodeMgr::Sort(int column, bool ascending)
{
    m_sortColumn = column >= 0 && column < kColumnCount ? column : kColumnNumber;
    m_sortAscending = ascending;
    Tell([&](CStoredCodeListener& listener) { listener.OnSortChanged(m_sortColumn, m_sortAscending); });
}

std::vector<const CStoredCode*> CStoredCodeMgr::SortedEntries() const
{
    std::vector<const CStoredCode*> order;
    for (const auto& entry : m_entries)
        order.push_back(&entry);
    const auto key = [&](const CStoredCode& entry) -> std::string {
        switch (m_sortColumn) {
        case kColumnCode:
            return Fold(entry.codeText);
        case kColumnDescription:
            return Fold(entry.ShownDescription());
        case kColumnType:
            return Fold(TypeName(entry.codeType));
        case kColumnEnterDate:
            return entry.enterDate;
        case kColumnLastAccessed:
            return entry.lastAccessed;
        case kColumnItemId:
            return Fold(entry.itemId);
        case kColumnServerId:
            return Fold(entry.serverId);
        case kColumnStatus:
            return StatusName(entry.status);
        default:
            return {};
        }
    };
    std::stable_sort(order.begin(), order.end(), [&](const CStoredCode* a, const CStoredCode* b) {
        int compared = 0;
        if (m_sortColumn == kColumnNumber)
            compared = a->number < b->number ? -1 : a->number > b->number ? 1 : 0;
        else
            compared = key(*a).compare(key(*b));
        if (compared == 0)
            return a->number < b->number; // equal keys keep number order
        return m_sortAscending ? compared < 0 : compared > 0;
    });
    return order;
}
