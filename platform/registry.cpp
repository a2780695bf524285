#include "platform/registry.h"

#include "platform/atomicfile.h"
#include "platform/folders.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::size_t kHexBytesPerLine = 25;

char FoldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted name or string at the start of `text` ("\\" and "\""
// escaped); on success `text` is left after the closing quote.
bool ReadQuoted(std::string_view& text, std::string& out)
{
    if (text.empty() || text.front() != '"')
        return false;
    out.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"'))
                return false;
            out.push_back(text[++i]);
        } else {
            out.push_back(c);
        }
    }
    return false;
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    text = Trim(text);
    if (!text.empty() && text.back() == ',')
        text.remove_suffix(1); // a trailing comma is left by some editors
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        if (item.empty() || item.size() > 2)
            return false;
        int value = 0;
        for (char c : item) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
        if (Trim(text).empty())
            return false;
    }
    return true;
}

// The data after "name=": a quoted string, dword:, hex: or hex(N):.
const char* ParseData(std::string_view data, RegistryValue& value)
{
    if (!data.empty() && data.front() == '"') {
        std::string text;
        if (!ReadQuoted(data, text))
            return "unterminated or badly escaped string";
        if (!Trim(data).empty())
            return "text after the closing quote";
        value = RegistryValue::String(std::move(text));
        return nullptr;
    }
    if (data.starts_with("dword:")) {
        data.remove_prefix(6);
        if (data.empty() || data.size() > 8)
            return "a dword needs 1 to 8 hex digits";
        std::uint32_t number = 0;
        for (char c : data) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return "a dword needs 1 to 8 hex digits";
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        value = RegistryValue::Number(number);
        return nullptr;
    }
    if (data == "-")
        return "deleting a value is not allowed in a hive";
    if (!data.starts_with("hex"))
        return "unknown value type";
    data.remove_prefix(3);
    long kind = 3;
    if (data.starts_with("(")) {
        const auto close = data.find(')');
        if (close == std::string_view::npos || close < 2 || close > 9)
            return "bad hex(N) type";
        kind = 0;
        for (char c : data.substr(1, close - 1)) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return "bad hex(N) type";
            kind = kind * 16 + digit;
        }
        data.remove_prefix(close + 1);
    }
    if (!data.starts_with(":"))
        return "missing ':' after hex";
    std::vector<std::uint8_t> bytes;
    if (!ParseHexBytes(data.substr(1), bytes))
        return "bad hex byte list";
    switch (kind) {
    case 1: // text
    case 2: // text with variables
        if (!bytes.empty() && bytes.back() == 0)
            bytes.pop_back();
        value = RegistryValue::String(std::string(bytes.begin(), bytes.end()));
        return nullptr;
    case 3:
        value = RegistryValue::Binary(std::move(bytes));
        return nullptr;
    case 4:
        if (bytes.size() != 4)
            return "a hex(4) number needs 4 bytes";
        value = RegistryValue::Number(static_cast<std::uint32_t>(bytes[0]) | (bytes[1] << 8) |
                                      (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24));
        return nullptr;
    default:
        return "unsupported value type";
    }
}

std::string TooLarge(std::string_view name, std::size_t bytes)
{
    return "value \"" + std::string(name) + "\" of " + std::to_string(bytes) + " bytes is larger than the " +
           std::to_string(RegistryHive::kMaxValueBytes) + " a value may have";
}

class HiveReader {
public:
    HiveReader(std::string_view text, std::string_view rootName, std::vector<HiveProblem>& problems)
        : m_text(text), m_rootName(rootName), m_problems(problems)
    {
    }

    RegistryNode Read()
    {
        if (m_text.starts_with("\xEF\xBB\xBF"))
            m_text.remove_prefix(3);
        std::string_view line;
        if (NextLine(line)) {
            if (Trim(line) == kHeader)
                line = {};
            else
                Reject("missing REGEDIT4 header");
            do
                ReadLine(line);
            while (NextLine(line));
        }
        return std::move(m_root);
    }

private:
    bool NextLine(std::string_view& line)
    {
        if (m_position >= m_text.size())
            return false;
        const auto end = m_text.find('\n', m_position);
        const auto stop = end == std::string_view::npos ? m_text.size() : end;
        line = m_text.substr(m_position, stop - m_position);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        m_position = stop + 1;
        ++m_lineNumber;
        return true;
    }

    void Reject(std::string reason) { m_problems.push_back({m_lineNumber, std::move(reason)}); }

    void ReadLine(std::string_view line)
    {
        line = Trim(line);
        if (line.empty() || line.front() == ';')
            return;
        if (line.front() == '[')
            ReadSection(line);
        else if (line.front() == '"' || line.front() == '@')
            ReadValue(line);
        else
            Reject("not a key, a value or a comment");
    }

    void ReadSection(std::string_view line)
    {
        m_key = nullptr;
        m_keyLine = m_lineNumber;
        if (line.size() < 2 || line.back() != ']')
            return Reject("a key line must end with ']'");
        std::string_view path = line.substr(1, line.size() - 2);
        if (path.starts_with("-"))
            return Reject("deleting a key is not allowed in a hive");
        const auto slash = path.find('\\');
        if (!SameName(path.substr(0, slash), m_rootName))
            return Reject("key is not under " + std::string(m_rootName));
        std::vector<std::string_view> names;
        for (bool more = slash != std::string_view::npos; more;) {
            path.remove_prefix(path.find('\\') + 1);
            const std::string_view name = path.substr(0, path.find('\\'));
            if (!RegistryNode::IsValidKeyName(name) || names.size() >= RegistryHive::kMaxKeyDepth)
                return Reject("bad key name");
            names.push_back(name);
            more = name.size() < path.size();
        }
        RegistryNode* node = &m_root;
        for (auto name : names)
            node = &node->AddSubKey(name);
        m_key = node;
        m_keyPath = slash == std::string_view::npos
                        ? ""
                        : std::string(line.substr(slash + 2, line.size() - slash - 3));
    }

    void ReadValue(std::string_view line)
    {
        const std::size_t first = m_lineNumber;
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (!ReadQuoted(line, name) || !RegistryNode::IsValidValueName(name)) {
            return Reject("bad value name");
        }
        line = Trim(line);
        if (!line.starts_with("="))
            return Reject("missing '=' after the value name");
        std::string data(Trim(line.substr(1)));
        // Hex lists may go on over several lines, each but the last ending in '\'.
        std::string_view more;
        while (data.starts_with("hex") && data.ends_with("\\") && NextLine(more)) {
            data.pop_back();
            data.append(Trim(more));
        }
        RegistryValue value;
        if (const char* error = ParseData(data, value)) {
            m_problems.push_back({first, error});
            return;
        }
        if (value.Size() > RegistryHive::kMaxValueBytes) {
            m_problems.push_back({first, TooLarge(name, value.Size()) + " (key " + m_keyPath + ")"});
            return;
        }
        if (!m_key) {
            m_problems.push_back(
                {first, m_keyLine ? "value of the key rejected at line " + std::to_string(m_keyLine)
                                  : std::string("value before any key")});
            return;
        }
        m_key->SetValue(name, std::move(value));
    }

    std::string_view m_text;
    std::string_view m_rootName;
    std::vector<HiveProblem>& m_problems;
    RegistryNode m_root;
    RegistryNode* m_key = nullptr;
    std::string m_keyPath; // of m_key, below the root
    std::size_t m_keyLine = 0;
    std::size_t m_position = 0;
    std::size_t m_lineNumber = 0;
};

void AppendQuoted(std::string& out, std::string_view text)
{
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendHex(std::string& out, std::string_view prefix, const std::uint8_t* bytes, std::size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    out.append(prefix);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
        if (i + 1 < count) {
            out.push_back(',');
            if ((i + 1) % kHexBytesPerLine == 0)
                out.append("\\\r\n  ");
        }
    }
}

void AppendValue(std::string& out, const std::string& name, const RegistryValue& value)
{
    if (name.empty())
        out.push_back('@');
    else
        AppendQuoted(out, name);
    out.push_back('=');
    switch (value.Type()) {
    case RegistryType::Number: {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(value.AsNumber()));
        out.append(digits);
        break;
    }
    case RegistryType::String: {
        const std::string& text = value.AsString();
        if (text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
            AppendQuoted(out, text);
        } else {
            // Line breaks and NULs cannot stand in a quoted string.
            std::vector<std::uint8_t> bytes(text.begin(), text.end());
            bytes.push_back(0);
            AppendHex(out, "hex(1):", bytes.data(), bytes.size());
        }
        break;
    }
    case RegistryType::Binary:
        AppendHex(out, "hex:", value.AsBinary().data(), value.AsBinary().size());
        break;
    }
    out.append("\r\n");
}

void AppendKey(std::string& out, const RegistryNode& node, const std::string& path, bool isRoot)
{
    if (!isRoot || !node.Values().empty()) {
        out.append("[").append(path).append("]\r\n");
        for (const auto& [name, value] : node.Values())
            AppendValue(out, name, value);
        out.append("\r\n");
    }
    for (const auto& [name, child] : node.SubKeys())
        AppendKey(out, *child, path + "\\" + child->Name(), false);
}

} // namespace

const char* RegistryRootName(RegistryRoot root)
{
    return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

RegistryValue RegistryValue::Number(std::uint32_t number)
{
    RegistryValue value;
    value.m_data = number;
    return value;
}

RegistryValue RegistryValue::String(std::string text)
{
    RegistryValue value;
    value.m_data = std::move(text);
    return value;
}

RegistryValue RegistryValue::Binary(std::vector<std::uint8_t> bytes)
{
    RegistryValue value;
    value.m_data = std::move(bytes);
    return value;
}

std::uint32_t RegistryValue::AsNumber() const
{
    const auto* number = std::get_if<std::uint32_t>(&m_data);
    return number ? *number : 0;
}

const std::string& RegistryValue::AsString() const
{
    static const std::string kEmpty;
    const auto* text = std::get_if<std::string>(&m_data);
    return text ? *text : kEmpty;
}

const std::vector<std::uint8_t>& RegistryValue::AsBinary() const
{
    static const std::vector<std::uint8_t> kEmpty;
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&m_data);
    return bytes ? *bytes : kEmpty;
}

std::size_t RegistryValue::Size() const
{
    switch (Type()) {
    case RegistryType::Number:
        return sizeof(std::uint32_t);
    case RegistryType::String:
        return AsString().size();
    case RegistryType::Binary:
        return AsBinary().size();
    }
    return 0;
}

bool RegistryNameLess::operator()(std::string_view a, std::string_view b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(FoldCase(x)) < static_cast<unsigned char>(FoldCase(y));
    });
}

RegistryNode::RegistryNode(const RegistryNode& other) : m_name(other.m_name), m_values(other.m_values)
{
    for (const auto& [name, child] : other.m_subKeys)
        m_subKeys.emplace(name, std::make_unique<RegistryNode>(*child));
}

RegistryNode& RegistryNode::operator=(const RegistryNode& other)
{
    if (this != &other) {
        RegistryNode copy(other);
        *this = std::move(copy);
    }
    return *this;
}

const RegistryNode* RegistryNode::SubKey(std::string_view name) const
{
    const auto found = m_subKeys.find(name);
    return found == m_subKeys.end() ? nullptr : found->second.get();
}

RegistryNode* RegistryNode::SubKey(std::string_view name)
{
    const auto found = m_subKeys.find(name);
    return found == m_subKeys.end() ? nullptr : found->second.get();
}

RegistryNode& RegistryNode::AddSubKey(std::string_view name)
{
    auto found = m_subKeys.find(name);
    if (found == m_subKeys.end())
        found = m_subKeys.emplace(std::string(name), std::make_unique<RegistryNode>(std::string(name))).first;
    return *found->second;
}

bool RegistryNode::RemoveSubKey(std::string_view name)
{
    const auto found = m_subKeys.find(name);
    if (found == m_subKeys.end())
        return false;
    m_subKeys.erase(found);
    return true;
}

const RegistryValue* RegistryNode::Value(std::string_view name) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? nullptr : &found->second;
}

void RegistryNode::SetValue(std::string_view name, RegistryValue value)
{
    const auto found = m_values.find(name);
    if (found == m_values.end())
        m_values.emplace(std::string(name), std::move(value));
    else
        found->second = std::move(value);
}

bool RegistryNode::RemoveValue(std::string_view name)
{
    const auto found = m_values.find(name);
    if (found == m_values.end())
        return false;
    m_values.erase(found);
    return true;
}

bool RegistryNode::operator==(const RegistryNode& other) const
{
    if (m_name != other.m_name || m_values.size() != other.m_values.size() ||
        m_subKeys.size() != other.m_subKeys.size())
        return false;
    for (const auto& [name, value] : m_values) {
        const auto found = other.m_values.find(name);
        if (found == other.m_values.end() || found->first != name || !(found->second == value))
            return false;
    }
    for (const auto& [name, child] : m_subKeys) {
        const RegistryNode* theirs = other.SubKey(name);
        if (!theirs || !(*theirs == *child))
            return false;
    }
    return true;
}

bool RegistryNode::IsValidKeyName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxKeyNameLength)
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

bool RegistryNode::IsValidValueName(std::string_view name)
{
    return name.size() <= kMaxValueNameLength &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

RegistryNode ParseHive(std::string_view text, std::string_view rootName, std::vector<HiveProblem>& problems)
{
    return HiveReader(text, rootName, problems).Read();
}

std::string FormatHive(const RegistryNode& root, std::string_view rootName)
{
    std::string out;
    out.append(kHeader).append("\r\n\r\n");
    AppendKey(out, root, std::string(rootName), true);
    return out;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names)
{
    names.clear();
    while (!path.empty()) {
        const auto slash = path.find('\\');
        const std::string_view name = path.substr(0, slash);
        if (!name.empty()) {
            if (!RegistryNode::IsValidKeyName(name) || names.size() >= RegistryHive::kMaxKeyDepth)
                return false;
            names.push_back(name);
        }
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return true;
}

// ---------------------------------------------------------------------------

namespace {

// Holds the lock file of a hive for the life of a change. Another
// process's lock is waited for up to RegistryHive::kLockWait, told once.
class HiveLock {
public:
    HiveLock(const std::filesystem::path& hive, const RegistryHive::WaitReporter& reporter)
        : m_name(hive.string() + ".lock")
    {
        m_fd = ::open(m_name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + RegistryHive::kLockWait;
        for (bool told = false;; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return;
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK) {
                m_error = errno;
                return;
            }
            if (std::chrono::steady_clock::now() >= giveUp) {
                m_error = EWOULDBLOCK;
                return;
            }
            if (!told && reporter)
                reporter(m_name);
            told = true;
        }
    }
    ~HiveLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

    int Error() const { return m_error; }
    // Why the lock was not taken, naming the lock file.
    std::string Reason() const
    {
        if (m_error == EWOULDBLOCK)
            return "another process holds the lock " + m_name + " (waited " +
                   std::to_string(RegistryHive::kLockWait.count() / 1000) + " s)";
        return "cannot lock " + m_name + ": " + std::strerror(m_error);
    }

private:
    std::string m_name;
    int m_fd = -1;
    int m_error = 0;
};

void ReportOnStandardError(const std::filesystem::path& file, const HiveProblem& problem)
{
    if (problem.line == 0)
        std::cerr << "lumora: " << problem.reason << "; the settings in it are not used\n";
    else
        std::cerr << "lumora: " << file.string() << " line " << problem.line
                  << " rejected: " << problem.reason << '\n';
}

void ReportWaitOnStandardError(const std::filesystem::path& lockFile)
{
    std::cerr << "lumora: waiting for " << lockFile.string() << ", which another process holds\n";
}

} // namespace

RegistryHive::RegistryHive(RegistryRoot root, std::filesystem::path file)
    : m_root(root), m_file(std::move(file)), m_reporter(ReportOnStandardError),
      m_waitReporter(ReportWaitOnStandardError)
{
}

std::optional<RegistryHive::Signature> RegistryHive::ReadSignature()
{
    struct stat info {};
    if (::stat(m_file.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Signature{};
        m_lastError = "cannot read " + m_file.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    Signature signature;
    signature.exists = true;
    signature.device = info.st_dev;
    signature.inode = info.st_ino;
    signature.size = static_cast<std::uint64_t>(info.st_size);
    signature.modifiedSec = info.st_mtim.tv_sec;
    signature.modifiedNsec = info.st_mtim.tv_nsec;
    signature.changedSec = info.st_ctim.tv_sec;
    signature.changedNsec = info.st_ctim.tv_nsec;
    return signature;
}

bool RegistryHive::Refresh(bool locked)
{
    const auto signature = ReadSignature();
    if (!signature) {
        m_loaded.reset();
        return false;
    }
    if (m_loaded && *m_loaded == *signature)
        return true;
    std::string text;
    if (signature->exists && !ReadText(*signature, text)) {
        m_loaded.reset();
        m_tree = RegistryNode();
        // Said once for each state of the file, however often it is asked.
        if (m_unreadable != signature && m_reporter)
            m_reporter(m_file, {0, m_lastError});
        m_unreadable = signature;
        return false;
    }
    m_unreadable.reset();
    m_problems.clear();
    m_tree = ParseHive(text, RegistryRootName(m_root), m_problems);
    m_damagedText.reset();
    if (!m_problems.empty()) {
        m_damagedText = std::move(text);
        if (m_reporter)
            for (const auto& problem : m_problems)
                m_reporter(m_file, problem);
    }
    m_loaded = signature;
    if (m_damagedText && !locked)
        Repair();
    return true;
}

bool RegistryHive::ReadText(const Signature& signature, std::string& text)
{
    if (signature.size > kMaxHiveBytes) {
        m_lastError = m_file.string() + " is " + std::to_string(signature.size) + " bytes, more than the " +
                      std::to_string(kMaxHiveBytes) + " a settings file may have";
        return false;
    }
    return ReadWholeFile(m_file, text, kMaxHiveBytes, &m_lastError);
}

void RegistryHive::Repair()
{
    HiveLock lock(m_file, m_waitReporter);
    // Another process may have written the file meanwhile; its version is
    // read the next time.
    if (lock.Error() != 0 || ReadSignature() != m_loaded)
        return;
    const RegistryNode repaired = m_tree;
    Store(repaired);
}

bool RegistryHive::KeepDamagedCopy()
{
    return WriteFileAtomically(DamagedCopyName(m_file), *m_damagedText, 0600, &m_lastError);
}

bool RegistryHive::Store(const RegistryNode& root)
{
    if (m_damagedText && !KeepDamagedCopy())
        return false;
    if (!WriteFileAtomically(m_file, FormatHive(root, RegistryRootName(m_root)), 0600, &m_lastError))
        return false;
    m_damagedText.reset();
    m_problems.clear();
    m_tree = root;
    m_loaded = ReadSignature();
    return true;
}

bool RegistryHive::Modify(const std::function<Change(RegistryNode&)>& change)
{
    std::lock_guard guard(m_mutex);
    if (!EnsureFolder(m_file.parent_path(), 0700, &m_lastError))
        return false;
    HiveLock lock(m_file, m_waitReporter);
    if (lock.Error() != 0) {
        m_lastError = lock.Reason();
        return false;
    }
    // A file that could not be read is never replaced: it may hold the user's settings.
    if (!Refresh(true))
        return false;
    RegistryNode changed = m_tree;
    switch (change(changed)) {
    case Change::None:
        // A damaged file is written back all the same, so it is reported once.
        if (m_damagedText)
            Store(m_tree);
        return true;
    case Change::Refused:
        return false;
    case Change::Made:
        break;
    }
    return Store(changed);
}

const RegistryNode* RegistryHive::FindKey(std::string_view path)
{
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names) || !Refresh())
        return nullptr;
    const RegistryNode* node = &m_tree;
    for (auto name : names)
        if (!(node = node->SubKey(name)))
            return nullptr;
    return node;
}

bool RegistryHive::KeyExists(std::string_view path)
{
    std::lock_guard guard(m_mutex);
    return FindKey(path) != nullptr;
}

bool RegistryHive::CreateKey(std::string_view path)
{
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names)) {
        m_lastError = "bad key path";
        return false;
    }
    return Modify([&](RegistryNode& root) {
        RegistryNode* node = &root;
        bool made = false;
        for (auto name : names) {
            made = made || !node->SubKey(name);
            node = &node->AddSubKey(name);
        }
        return made ? Change::Made : Change::None;
    });
}

bool RegistryHive::DeleteKey(std::string_view path)
{
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names) || names.empty()) {
        m_lastError = "bad key path";
        return false;
    }
    return Modify([&](RegistryNode& root) {
        RegistryNode* node = &root;
        for (std::size_t i = 0; i + 1 < names.size(); ++i)
            if (!(node = node->SubKey(names[i])))
                return Change::None;
        return node->RemoveSubKey(names.back()) ? Change::Made : Change::None;
    });
}

std::optional<RegistryValue> RegistryHive::QueryValue(std::string_view path, std::string_view name)
{
    std::lock_guard guard(m_mutex);
    const RegistryNode* key = FindKey(path);
    const RegistryValue* value = key ? key->Value(name) : nullptr;
    if (!value)
        return std::nullopt;
    return *value;
}

bool RegistryHive::SetValue(std::string_view path, std::string_view name, const RegistryValue& value)
{
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names) || !RegistryNode::IsValidValueName(name)) {
        m_lastError = "bad key path or value name";
        return false;
    }
    return Modify([&](RegistryNode& root) {
        RegistryNode* node = &root;
        for (auto keyName : names)
            if (!(node = node->SubKey(keyName))) {
                m_lastError = "no such key";
                return Change::Refused;
            }
        if (value.Size() > kMaxValueBytes) {
            m_lastError =
                m_file.string() + ": " + TooLarge(name, value.Size()) + " (key " + std::string(path) + ")";
            return Change::Refused;
        }
        const RegistryValue* old = node->Value(name);
        if (old && *old == value)
            return Change::None;
        node->SetValue(name, value);
        return Change::Made;
    });
}

bool RegistryHive::DeleteValue(std::string_view path, std::string_view name)
{
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names)) {
        m_lastError = "bad key path";
        return false;
    }
    return Modify([&](RegistryNode& root) {
        RegistryNode* node = &root;
        for (auto keyName : names)
            if (!(node = node->SubKey(keyName)))
                return Change::None;
        return node->RemoveValue(name) ? Change::Made : Change::None;
    });
}

std::vector<std::string> RegistryHive::SubKeyNames(std::string_view path)
{
    std::lock_guard guard(m_mutex);
    std::vector<std::string> names;
    if (const RegistryNode* key = FindKey(path))
        for (const auto& [name, child] : key->SubKeys())
            names.push_back(child->Name());
    return names;
}

std::vector<std::string> RegistryHive::ValueNames(std::string_view path)
{
    std::lock_guard guard(m_mutex);
    std::vector<std::string> names;
    if (const RegistryNode* key = FindKey(path))
        for (const auto& [name, value] : key->Values())
            names.push_back(name);
    return names;
}

std::vector<HiveProblem> RegistryHive::Problems()
{
    std::lock_guard guard(m_mutex);
    Refresh();
    return m_problems;
}

std::string RegistryHive::LastError()
{
    std::lock_guard guard(m_mutex);
    return m_lastError;
}

void RegistryHive::SetWaitReporter(WaitReporter reporter)
{
    std::lock_guard guard(m_mutex);
    m_waitReporter = std::move(reporter);
}

void RegistryHive::SetProblemReporter(ProblemReporter reporter)
{
    std::lock_guard guard(m_mutex);
    m_reporter = std::move(reporter);
}

Registry::Registry(std::filesystem::path currentUserHive, std::filesystem::path localMachineHive)
    : m_currentUser(RegistryRoot::CurrentUser, std::move(currentUserHive)),
      m_localMachine(RegistryRoot::LocalMachine, std::move(localMachineHive))
{
}

std::unique_ptr<Registry> Registry::ForUser()
{
    return std::make_unique<Registry>(CurrentUserHivePath(), LocalMachineHivePath());
}

RegistryHive& Registry::Hive(RegistryRoot root)
{
    return root == RegistryRoot::CurrentUser ? m_currentUser : m_localMachine;
}

} // namespace platform
