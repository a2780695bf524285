#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The configuration store: hierarchical keys holding typed values (number,
// string, binary), one hive per root, each kept as a REGEDIT4 text file.
namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
const char* RegistryRootName(RegistryRoot root);

enum class RegistryType { Number, String, Binary };

class RegistryValue {
public:
    RegistryValue() = default;
    static RegistryValue Number(std::uint32_t number);
    static RegistryValue String(std::string text);
    static RegistryValue Binary(std::vector<std::uint8_t> bytes);

    RegistryType Type() const { return static_cast<RegistryType>(m_data.index()); }
    // The value as that type; a value of another type reads as 0 or empty.
    std::uint32_t AsNumber() const;
    const std::string& AsString() const;
    const std::vector<std::uint8_t>& AsBinary() const;

    bool operator==(const RegistryValue& other) const = default;
    // The bytes of its data.
    std::size_t Size() const;

private:
    std::variant<std::uint32_t, std::string, std::vector<std::uint8_t>> m_data;
};

// Orders names as the registry compares them: without regard to ASCII case.
struct RegistryNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// A key with its values and subkeys. Names keep the spelling they were
// created with and are found in any case.
class RegistryNode {
public:
    static constexpr std::size_t kMaxKeyNameLength = 255;
    static constexpr std::size_t kMaxValueNameLength = 16383;

    RegistryNode() = default;
    explicit RegistryNode(std::string name) : m_name(std::move(name)) {}
    RegistryNode(const RegistryNode& other);
    RegistryNode& operator=(const RegistryNode& other);
    RegistryNode(RegistryNode&&) noexcept = default;
    RegistryNode& operator=(RegistryNode&&) noexcept = default;
    ~RegistryNode() = default;

    const std::string& Name() const { return m_name; }

    const RegistryNode* SubKey(std::string_view name) const;
    RegistryNode* SubKey(std::string_view name);
    // The subkey of that name, made when missing.
    RegistryNode& AddSubKey(std::string_view name);
    bool RemoveSubKey(std::string_view name);

    const RegistryValue* Value(std::string_view name) const;
    void SetValue(std::string_view name, RegistryValue value);
    bool RemoveValue(std::string_view name);

    const std::map<std::string, std::unique_ptr<RegistryNode>, RegistryNameLess>& SubKeys() const
    {
        return m_subKeys;
    }
    const std::map<std::string, RegistryValue, RegistryNameLess>& Values() const { return m_values; }

    // Same names (spelling included), values and subkeys throughout.
    bool operator==(const RegistryNode& other) const;

    // Rules for names the hive files can carry.
    static bool IsValidKeyName(std::string_view name);
    static bool IsValidValueName(std::string_view name);

private:
    std::string m_name;
    std::map<std::string, RegistryValue, RegistryNameLess> m_values;
    std::map<std::string, std::unique_ptr<RegistryNode>, RegistryNameLess> m_subKeys;
};

// A line of a hive file that the reader could not take, with the reason.
struct HiveProblem {
    std::size_t line = 0;
    std::string reason;
};

// Reads REGEDIT4 text whose keys are all under `rootName`. Lines it cannot
// take are listed in `problems` and skipped; everything else is kept.
RegistryNode ParseHive(std::string_view text, std::string_view rootName, std::vector<HiveProblem>& problems);
// The REGEDIT4 text of a tree; ParseHive reads it back unchanged.
std::string FormatHive(const RegistryNode& root, std::string_view rootName);

// One root of the store over its hive file. Every change is written to the
// file before it returns (atomically, mode 0600), under a lock file that
// serialises processes; changes made by other processes are picked up when
// the file changes. Key paths are relative to the root, "A\B\C".
class RegistryHive {
public:
    static constexpr std::size_t kMaxHiveBytes = 16u << 20;
    static constexpr std::size_t kMaxKeyDepth = 512;
    // Far beyond any setting, and small enough that no value can push the
    // hive past what is read.
    static constexpr std::size_t kMaxValueBytes = 64u << 10;
    // How long a change waits for another process's lock before it fails.
    static constexpr std::chrono::milliseconds kLockWait{5000};
    using ProblemReporter = std::function<void(const std::filesystem::path& file, const HiveProblem&)>;
    using WaitReporter = std::function<void(const std::filesystem::path& lockFile)>;

    RegistryHive(RegistryRoot root, std::filesystem::path file);
    RegistryHive(const RegistryHive&) = delete;
    RegistryHive& operator=(const RegistryHive&) = delete;

    RegistryRoot Root() const { return m_root; }
    const std::filesystem::path& File() const { return m_file; }

    bool KeyExists(std::string_view path);
    // Creates the key and any missing parents; true when it exists afterwards.
    bool CreateKey(std::string_view path);
    // Deletes the key with everything under it; true when it is gone afterwards.
    bool DeleteKey(std::string_view path);

    std::optional<RegistryValue> QueryValue(std::string_view path, std::string_view name);
    // The key must exist. An unchanged value is not written again.
    bool SetValue(std::string_view path, std::string_view name, const RegistryValue& value);
    // True when the value is absent afterwards.
    bool DeleteValue(std::string_view path, std::string_view name);

    std::vector<std::string> SubKeyNames(std::string_view path);
    std::vector<std::string> ValueNames(std::string_view path);

    // What the last reading of the file rejected. A file with rejected lines
    // is copied to "<file>.damaged" and written back without them as soon
    // as it is read, so each damage is reported once.
    std::vector<HiveProblem> Problems();
    // Why the last failing call failed.
    std::string LastError();
    // Called for each rejected line when the file is read, and with line 0
    // once for a file that cannot be read at all; by default the problem
    // is reported on the standard error.
    void SetProblemReporter(ProblemReporter reporter);
    // Called once when a change has to wait for another process's lock;
    // by default it says so on the standard error.
    void SetWaitReporter(WaitReporter reporter);

private:
    struct Signature {
        bool exists = false;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t modifiedSec = 0, modifiedNsec = 0, changedSec = 0, changedNsec = 0;
        bool operator==(const Signature&) const = default;
    };
    enum class Change { None, Made, Refused };

    // With `locked`, the caller holds the lock file.
    bool Refresh(bool locked = false);
    // The file's text, unless it is larger than a hive may be or cannot be read.
    bool ReadText(const Signature& signature, std::string& text);
    // Writes back a hive read with rejected lines, keeping the original.
    void Repair();
    bool Modify(const std::function<Change(RegistryNode&)>& change);
    bool Store(const RegistryNode& root);
    bool KeepDamagedCopy();
    const RegistryNode* FindKey(std::string_view path);
    std::optional<Signature> ReadSignature();

    const RegistryRoot m_root;
    const std::filesystem::path m_file;
    std::mutex m_mutex;
    RegistryNode m_tree;
    std::optional<Signature> m_loaded;     // none until read, or after a failed read
    std::optional<Signature> m_unreadable; // the file as it was when it could not be read
    std::vector<HiveProblem> m_problems;
    std::optional<std::string> m_damagedText;
    std::string m_lastError;
    ProblemReporter m_reporter;
    WaitReporter m_waitReporter;
};

// The two roots of the store.
class Registry {
public:
    Registry(std::filesystem::path currentUserHive, std::filesystem::path localMachineHive);
    // The hives at their places for this user and this program.
    static std::unique_ptr<Registry> ForUser();

    RegistryHive& Hive(RegistryRoot root);

private:
    RegistryHive m_currentUser;
    RegistryHive m_localMachine;
};

// Splits "A\B\C" into its names; false when a name is not valid or the
// path is deeper than the hive allows. Empty names (doubled or outer
// backslashes) are skipped.
bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names);

} // namespace platform
