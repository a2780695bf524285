#pragma once

#include "client/regkey.h"
#include "client/scannertype.h"
#include "platform/registry.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The client's settings as the pages and commands edit them, with the
// defaults of a new installation. Port values are indices 0 to 8 for COM1
// to COM9 (-1: none chosen); volumes index High, Medium, Low.
struct CClientSettings {
    static constexpr std::size_t kColumnCount = 9;
    static constexpr std::size_t kPlacementBytes = 44;

    // A CScannerType number as stored, so possibly one that no type has.
    std::int32_t scanner = ScannerTypeNumber(CScannerType::WelchAllyn6180);
    std::int32_t useScanner = 0;
    std::int32_t autoRun = 1;
    std::int32_t autoDescriptions = 1;
    std::int32_t autoGo = 0;
    std::int32_t webView = 0;
    std::int32_t installing = 0;
    std::int32_t maximized = 0;
    std::int32_t toolBar = 1;
    std::int32_t statusBar = 1;
    std::int32_t useProxy = 0;
    std::string proxyAddr;
    std::string proxyPort;
    std::string language;
    std::string languageName;
    std::int32_t enableOffline = 0; // read only
    std::array<std::uint8_t, kPlacementBytes> windowPlacement{};

    std::int32_t penPort = -1;
    std::int32_t penVolume = 1;
    // The CS2000 and CS1504 cradles share one port and one volume.
    std::int32_t symbolPort = -1;
    std::int32_t symbolVolume = 1;
    std::int32_t pennyPort = -1;
    std::int32_t scannerPort = -1;
    std::int32_t baudRate = 3; // 9600
    std::int32_t dataBits = 3; // 8
    std::int32_t stopBits = 0; // 1
    std::int32_t parity = 2;   // none

    // Stored code list columns, in units of the list's average character
    // width; -1 leaves the column as it is and is never written.
    std::int32_t sortAsc = -1;
    std::int32_t sortCol = -1;
    std::array<std::int32_t, kColumnCount> colWidth{-1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// The groups of values that one save writes, numbered as the pages and
// commands that change them know them.
enum class CConfigGroup : std::int32_t {
    Everything = 0,   // AllSettings, Window, Language, Bars, Installing, then "Maximized"
    Scanner = 1,      // "Scanner", "UseScanner"
    ScannerLine = 2,  // a serial scanner's port and line settings
    ScannerPort = 3,  // a pen, cradle or Pennyscanner port (and volume)
    AutoRun = 4,      // "Auto Run" and the log-on start entry
    Descriptions = 5, // "Auto Descriptions", "WebView"
    AutoGo = 6,
    Proxy = 7,
    AllSettings = 8, // ScannerPort, ScannerLine, Scanner, Proxy, AutoRun, Descriptions, AutoGo
    Window = 9,      // "Window Placement" and the list's columns
    Language = 10,
    Installing = 11,
    Bars = 12, // "ToolBar", "StatusBar"
};

// The system's proxy settings, offered by the proxy page.
struct CSystemProxy {
    bool enabled = false;
    bool readable = false; // "ProxyServer" was there
    std::string address;
    std::string port;
};

// Loads and saves CClientSettings under the current user's key, group by
// group, keeps the log-on start entry in step with "Auto Run" and derives
// the proxy string the HTTP client uses.
class CClientConfig {
public:
    static constexpr const char* kUserKey = "Software\\Tessaly Technologies\\Lumora";
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kRunValue = "Lumora PC Software";
    static constexpr const char* kInternetSettingsKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    // The desktop client, which the log-on entry starts.
    static constexpr const char* kDesktopProgram = "lumora";
    static constexpr int kErrorNumber = 530;
    static constexpr long kLineLogOnStart = 878;

    // Internal errors are reported here as (530, "config", line).
    using InternalErrorHandler = std::function<void(int number, std::string_view module, long line)>;

    explicit CClientConfig(platform::Registry& registry);

    CClientSettings& Settings() { return m_settings; }
    const CClientSettings& Settings() const { return m_settings; }

    // The client version written as "ClientVersion" at every save.
    void SetClientVersion(std::string version) { m_clientVersion = std::move(version); }
    const std::string& ClientVersion() const { return m_clientVersion; }
    // The program that the log-on entry starts, and where the autostart
    // entry goes; by default the desktop client beside the running program
    // (the two are installed side by side) and the user's autostart folder.
    void SetProgramPath(std::filesystem::path path) { m_programPath = std::move(path); }
    const std::filesystem::path& ProgramPath() const { return m_programPath; }
    void SetAutostartEntry(std::filesystem::path path) { m_autostartEntry = std::move(path); }
    void SetInternalErrorHandler(InternalErrorHandler handler) { m_errorHandler = std::move(handler); }

    // The desktop client's start-up: creates the user key, loads, then
    // saves group 0 so that every value exists afterwards (which also sets
    // the log-on entry as "Auto Run" says). False when the key cannot be
    // created or a value cannot be written.
    bool Initialize();
    // Reads every stored value, keeping the default of each missing one,
    // then derives the proxy string; without a "Config" key "Installing" is
    // set in memory. Writes nothing, so the command line can read settings
    // without changing the user's session.
    bool Load();
    // Writes "ClientVersion" and then the group; stops at the first value
    // that cannot be written and returns false.
    bool Save(CConfigGroup group);
    bool ConfigKeyExisted() const { return m_configKeyExisted; }

    // Writes or deletes the log-on start entry (the Run value and the
    // autostart file) as "Auto Run" says.
    bool UpdateLogOnStart();

    // "ProxyAddr:ProxyPort" when "Use Proxy" is set and both are given.
    void DeriveProxyString();
    const std::string& ProxyString() const { return m_proxyString; }

    // The "UID" value of the user key.
    bool ReadUserId(std::string& uid);
    bool WriteUserId(std::string_view uid);

    static CSystemProxy ReadSystemProxy(platform::RegistryHive& currentUser);
    // The desktop client in that folder (empty: the running program's).
    static std::filesystem::path DesktopProgramPath(const std::filesystem::path& programFolder = {});
    // The text of the Run value and of the autostart entry for a program.
    static std::string RunCommand(const std::filesystem::path& program);
    static bool AutostartEntryText(const std::filesystem::path& program, std::string& text);
    // The program as the Exec line of a desktop entry quotes it; false for a
    // path no entry can carry (a line break).
    static bool DesktopExecProgram(const std::filesystem::path& program, std::string& exec);

private:
    bool OpenUserKey();
    // The open user key, else `user` opened for reading only (closed when
    // there is none), so that reading creates nothing.
    const CRegistryKey& UserKeyForReading(CRegistryKey& user);
    void LoadConfigKey(const CRegistryKey& config);
    void LoadScannerKeys(const CRegistryKey& config);
    void LoadColumnData(const CRegistryKey& config);
    bool SaveGroup(CConfigGroup group, CRegistryKey& config);
    bool SaveScannerSettings(const CRegistryKey& config);
    bool SaveScannerPorts(const CRegistryKey& config);
    bool SaveProxy(CRegistryKey& config);
    bool SaveWindowData(CRegistryKey& config);
    bool WriteLogOnEntry();
    bool RemoveLogOnEntry();
    void ReportInternalError(long line);

    platform::Registry& m_registry;
    CRegistryKey m_userKey;
    CClientSettings m_settings;
    std::string m_clientVersion;
    std::string m_proxyString;
    std::filesystem::path m_programPath;
    std::filesystem::path m_autostartEntry;
    InternalErrorHandler m_errorHandler;
    bool m_configKeyExisted = false;
};
