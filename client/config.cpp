#include "client/config.h"

#include "platform/atomicfile.h"
#include "platform/folders.h"
#include "tst/tsexcep.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr const char* kConfigKey = "Config";
constexpr const char* kColumnWidthNames[CClientSettings::kColumnCount] = {
    "Col1Width", "Col2Width", "Col3Width", "Col4Width", "Col5Width",
    "Col6Width", "Col7Width", "Col8Width", "Col9Width",
};

// The numbers of the "Config" key, in the order a full load reads them.
struct NumberSetting {
    const char* name;
    std::int32_t CClientSettings::*member;
};
constexpr NumberSetting kConfigNumbers[] = {
    {"Scanner", &CClientSettings::scanner},       {"UseScanner", &CClientSettings::useScanner},
    {"Auto Run", &CClientSettings::autoRun},      {"Auto Descriptions", &CClientSettings::autoDescriptions},
    {"Auto Go", &CClientSettings::autoGo},        {"WebView", &CClientSettings::webView},
    {"Installing", &CClientSettings::installing}, {"Maximized", &CClientSettings::maximized},
    {"ToolBar", &CClientSettings::toolBar},       {"StatusBar", &CClientSettings::statusBar},
    {"Use Proxy", &CClientSettings::useProxy},    {"EnableOffline", &CClientSettings::enableOffline},
};

struct StringSetting {
    const char* name;
    std::string CClientSettings::*member;
};
constexpr StringSetting kConfigStrings[] = {
    {"ProxyAddr", &CClientSettings::proxyAddr},
    {"ProxyPort", &CClientSettings::proxyPort},
    {"Language", &CClientSettings::language},
    {"LanguageName", &CClientSettings::languageName},
};

// Writes values one after the other and does nothing more once one fails,
// so that a group stops at its first failing value.
class GroupWriter {
public:
    explicit GroupWriter(CRegistryKey& key) : m_key(key) {}

    GroupWriter& Number(std::string_view name, std::int32_t value)
    {
        m_ok = m_ok && m_key.WriteNumber(name, value);
        return *this;
    }
    GroupWriter& String(std::string_view name, std::string_view value)
    {
        m_ok = m_ok && m_key.WriteString(name, value);
        return *this;
    }
    GroupWriter& Binary(std::string_view name, const std::vector<std::uint8_t>& value)
    {
        m_ok = m_ok && m_key.WriteBinary(name, value);
        return *this;
    }
    bool Ok() const { return m_ok; }

private:
    CRegistryKey& m_key;
    bool m_ok = true;
};

bool WriteSubKey(const CRegistryKey& config, const char* name,
                 const std::function<void(GroupWriter&)>& values)
{
    CRegistryKey key;
    if (!key.CreateSubKey(config, name))
        return false;
    GroupWriter writer(key);
    values(writer);
    return writer.Ok();
}

} // namespace

CClientConfig::CClientConfig(platform::Registry& registry)
    : m_registry(registry), m_programPath(DesktopProgramPath()),
      m_autostartEntry(platform::AutostartEntryPath())
{
}

std::filesystem::path CClientConfig::DesktopProgramPath(const std::filesystem::path& programFolder)
{
    return (programFolder.empty() ? platform::ProgramFolder() : programFolder) / kDesktopProgram;
}

bool CClientConfig::OpenUserKey()
{
    return m_userKey.IsOpen() ||
           m_userKey.Create(m_registry.Hive(platform::RegistryRoot::CurrentUser), kUserKey);
}

bool CClientConfig::Initialize()
{
    // Saving group 0 afterwards leaves every value stored: the defaults,
    // with "Installing" set, on a first start.
    return OpenUserKey() && Load() && Save(CConfigGroup::Everything);
}

bool CClientConfig::Load()
{
    CRegistryKey user;
    CRegistryKey config;
    m_configKeyExisted = config.OpenSubKey(UserKeyForReading(user), kConfigKey, CRegistryKey::kRead);
    if (m_configKeyExisted) {
        LoadConfigKey(config);
        LoadScannerKeys(config);
        LoadColumnData(config);
    } else {
        m_settings.installing = 1;
    }
    DeriveProxyString();
    return true;
}

const CRegistryKey& CClientConfig::UserKeyForReading(CRegistryKey& user)
{
    if (m_userKey.IsOpen())
        return m_userKey;
    user.Open(m_registry.Hive(platform::RegistryRoot::CurrentUser), kUserKey, CRegistryKey::kRead);
    return user;
}

void CClientConfig::LoadConfigKey(const CRegistryKey& config)
{
    for (const auto& setting : kConfigNumbers)
        config.ReadNumber(setting.name, m_settings.*setting.member);
    for (const auto& setting : kConfigStrings)
        config.ReadString(setting.name, m_settings.*setting.member);
    std::vector<std::uint8_t> placement;
    if (config.ReadBinary("Window Placement", placement) &&
        placement.size() == CClientSettings::kPlacementBytes)
        std::copy(placement.begin(), placement.end(), m_settings.windowPlacement.begin());
}

void CClientConfig::LoadScannerKeys(const CRegistryKey& config)
{
    CRegistryKey key;
    if (key.OpenSubKey(config, "PenConfig", CRegistryKey::kRead)) {
        key.ReadNumber("Port", m_settings.penPort);
        key.ReadNumber("Pen Volume", m_settings.penVolume);
    }
    // The cradles start from the pen's values; either cradle key may override them.
    m_settings.symbolPort = m_settings.penPort;
    m_settings.symbolVolume = m_settings.penVolume;
    for (const char* cradle : {"CS2000Config", "CS1504Config"})
        if (key.OpenSubKey(config, cradle, CRegistryKey::kRead)) {
            key.ReadNumber("Port", m_settings.symbolPort);
            key.ReadNumber("Pen Volume", m_settings.symbolVolume);
        }
    if (key.OpenSubKey(config, "IncaPennyConfig", CRegistryKey::kRead))
        key.ReadNumber("Port", m_settings.pennyPort);
    if (key.OpenSubKey(config, "ScannerConfig", CRegistryKey::kRead)) {
        key.ReadNumber("Port", m_settings.scannerPort);
        key.ReadNumber("Baud Rate", m_settings.baudRate);
        key.ReadNumber("Data Bits", m_settings.dataBits);
        key.ReadNumber("Stop Bits", m_settings.stopBits);
        key.ReadNumber("Parity", m_settings.parity);
    }
}

void CClientConfig::LoadColumnData(const CRegistryKey& config)
{
    CRegistryKey key;
    const bool open = key.OpenSubKey(config, "ColData", CRegistryKey::kRead);
    const auto read = [&](const char* name, std::int32_t& value) {
        value = -1;
        if (open)
            key.ReadNumber(name, value);
    };
    read("SortAsc", m_settings.sortAsc);
    read("SortCol", m_settings.sortCol);
    for (std::size_t i = 0; i < CClientSettings::kColumnCount; ++i)
        read(kColumnWidthNames[i], m_settings.colWidth[i]);
}

bool CClientConfig::Save(CConfigGroup group)
{
    if (!OpenUserKey() || !m_userKey.WriteString("ClientVersion", m_clientVersion))
        return false;
    CRegistryKey config;
    return config.CreateSubKey(m_userKey, kConfigKey) && SaveGroup(group, config);
}

bool CClientConfig::SaveGroup(CConfigGroup group, CRegistryKey& config)
{
    using enum CConfigGroup;
    GroupWriter write(config);
    switch (group) {
    case Everything:
        for (CConfigGroup part : {AllSettings, Window, Language, Bars, Installing})
            if (!SaveGroup(part, config))
                return false;
        return write.Number("Maximized", m_settings.maximized).Ok();
    case Scanner:
        return write.Number("Scanner", m_settings.scanner).Number("UseScanner", m_settings.useScanner).Ok();
    case ScannerLine:
        return SaveScannerSettings(config);
    case ScannerPort:
        return SaveScannerPorts(config);
    case AutoRun:
        return write.Number("Auto Run", m_settings.autoRun).Ok() && UpdateLogOnStart();
    case Descriptions:
        return write.Number("Auto Descriptions", m_settings.autoDescriptions)
            .Number("WebView", m_settings.webView)
            .Ok();
    case AutoGo:
        return write.Number("Auto Go", m_settings.autoGo).Ok();
    case Proxy:
        return SaveProxy(config);
    case AllSettings:
        for (CConfigGroup part : {ScannerPort, ScannerLine, Scanner, Proxy, AutoRun, Descriptions, AutoGo})
            if (!SaveGroup(part, config))
                return false;
        return true;
    case Window:
        return SaveWindowData(config);
    case Language:
        return write.String("Language", m_settings.language)
            .String("LanguageName", m_settings.languageName)
            .Ok();
    case Installing:
        return write.Number("Installing", m_settings.installing).Ok();
    case Bars:
        return write.Number("ToolBar", m_settings.toolBar).Number("StatusBar", m_settings.statusBar).Ok();
    default:
        TS_ASSERT_MSG(false, "unknown configuration group");
    }
    return false;
}

bool CClientConfig::SaveScannerSettings(const CRegistryKey& config)
{
    const auto type = ScannerTypeFromNumber(m_settings.scanner);
    if (!m_settings.useScanner || !type || ScannerPort(*type) != CScannerPort::Serial)
        return true;
    return WriteSubKey(config, "ScannerConfig", [&](GroupWriter& write) {
        write.Number("Port", m_settings.scannerPort)
            .Number("Baud Rate", m_settings.baudRate)
            .Number("Data Bits", m_settings.dataBits)
            .Number("Stop Bits", m_settings.stopBits)
            .Number("Parity", m_settings.parity);
    });
}

bool CClientConfig::SaveScannerPorts(const CRegistryKey& config)
{
    const auto type = ScannerTypeFromNumber(m_settings.scanner);
    if (!m_settings.useScanner || !type)
        return true;
    const auto portAndVolume = [](std::int32_t port, std::int32_t volume) {
        return [=](GroupWriter& write) { write.Number("Port", port).Number("Pen Volume", volume); };
    };
    switch (*type) {
    case CScannerType::NetPen:
    case CScannerType::CyberPen:
        return WriteSubKey(config, "PenConfig", portAndVolume(m_settings.penPort, m_settings.penVolume));
    case CScannerType::Cs2000:
        return WriteSubKey(config, "CS2000Config",
                           portAndVolume(m_settings.symbolPort, m_settings.symbolVolume));
    case CScannerType::Cs1504:
        return WriteSubKey(config, "CS1504Config",
                           portAndVolume(m_settings.symbolPort, m_settings.symbolVolume));
    case CScannerType::Pennyscanner:
        return WriteSubKey(config, "IncaPennyConfig",
                           [&](GroupWriter& write) { write.Number("Port", m_settings.pennyPort); });
    default:
        return true;
    }
}

bool CClientConfig::SaveProxy(CRegistryKey& config)
{
    DeriveProxyString();
    return GroupWriter(config)
        .Number("Use Proxy", m_settings.useProxy)
        .String("ProxyAddr", m_settings.proxyAddr)
        .String("ProxyPort", m_settings.proxyPort)
        .Ok();
}

bool CClientConfig::SaveWindowData(CRegistryKey& config)
{
    const std::vector<std::uint8_t> placement(m_settings.windowPlacement.begin(),
                                              m_settings.windowPlacement.end());
    if (!config.WriteBinary("Window Placement", placement))
        return false;
    return WriteSubKey(config, "ColData", [&](GroupWriter& write) {
        const auto unlessUnset = [&](const char* name, std::int32_t value) {
            if (value != -1)
                write.Number(name, value);
        };
        unlessUnset("SortAsc", m_settings.sortAsc);
        unlessUnset("SortCol", m_settings.sortCol);
        for (std::size_t i = 0; i < CClientSettings::kColumnCount; ++i)
            unlessUnset(kColumnWidthNames[i], m_settings.colWidth[i]);
    });
}

void CClientConfig::DeriveProxyString()
{
    m_proxyString.clear();
    if (m_settings.useProxy && !m_settings.proxyAddr.empty() && !m_settings.proxyPort.empty())
        m_proxyString = m_settings.proxyAddr + ":" + m_settings.proxyPort;
}

bool CClientConfig::UpdateLogOnStart()
{
    const bool ok = m_settings.autoRun ? WriteLogOnEntry() : RemoveLogOnEntry();
    if (!ok)
        ReportInternalError(kLineLogOnStart);
    return ok;
}

bool CClientConfig::WriteLogOnEntry()
{
    CRegistryKey run;
    // A Run key that cannot be opened is passed over, as on systems that lock it.
    if (run.Create(m_registry.Hive(platform::RegistryRoot::CurrentUser), kRunKey) &&
        !run.WriteString(kRunValue, RunCommand(m_programPath)))
        return false;
    std::string entry;
    return AutostartEntryText(m_programPath, entry) &&
           platform::EnsureFolder(m_autostartEntry.parent_path()) &&
           platform::WriteFileAtomically(m_autostartEntry, entry, 0644);
}

bool CClientConfig::RemoveLogOnEntry()
{
    CRegistryKey run;
    if (run.Open(m_registry.Hive(platform::RegistryRoot::CurrentUser), kRunKey) &&
        !run.DeleteValue(kRunValue))
        return false;
    return ::unlink(m_autostartEntry.c_str()) == 0 || errno == ENOENT;
}

void CClientConfig::ReportInternalError(long line)
{
    if (m_errorHandler)
        m_errorHandler(kErrorNumber, "config", line);
}

bool CClientConfig::ReadUserId(std::string& uid)
{
    CRegistryKey user;
    return UserKeyForReading(user).ReadString("UID", uid);
}

bool CClientConfig::WriteUserId(std::string_view uid)
{
    return OpenUserKey() && m_userKey.WriteString("UID", uid);
}

CSystemProxy CClientConfig::ReadSystemProxy(platform::RegistryHive& currentUser)
{
    CSystemProxy proxy;
    CRegistryKey key;
    if (!key.Open(currentUser, kInternetSettingsKey, CRegistryKey::kRead))
        return proxy;
    std::int32_t number = 0;
    std::vector<std::uint8_t> bytes;
    if (key.ReadNumber("ProxyEnable", number)) {
        proxy.enabled = number != 0;
    } else if (key.ReadBinary("ProxyEnable", bytes) && bytes.size() <= 4) {
        for (auto byte : bytes)
            proxy.enabled = proxy.enabled || byte != 0;
    }
    std::string server;
    if (key.ReadString("ProxyServer", server)) {
        proxy.readable = true;
        const auto colon = server.find(':');
        proxy.address = server.substr(0, colon);
        if (colon != std::string::npos)
            proxy.port = server.substr(colon + 1);
    }
    return proxy;
}

std::string CClientConfig::RunCommand(const std::filesystem::path& program)
{
    return "\"" + program.string() + "\" -autorun";
}

bool CClientConfig::DesktopExecProgram(const std::filesystem::path& program, std::string& exec)
{
    // The Exec line quotes the path; inside the quotes '"', '`', '$' and '\'
    // take a backslash, and the file's own escaping doubles every backslash.
    exec = "\"";
    for (char c : program.string()) {
        if (c == '\n' || c == '\r' || c == '\0')
            return false;
        if (c == '"' || c == '`' || c == '$')
            exec.append("\\\\");
        else if (c == '\\')
            exec.append("\\\\\\");
        else if (c == '%')
            exec.push_back('%');
        exec.push_back(c);
    }
    exec.push_back('"');
    return true;
}

bool CClientConfig::AutostartEntryText(const std::filesystem::path& program, std::string& text)
{
    std::string exec;
    if (!DesktopExecProgram(program, exec))
        return false;
    exec.append(" -autorun");
    text = "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Lumora PC Software\n"
           "Comment=Starts Lumora PC Software at log-on\n"
           "Exec=" +
           exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
    return true;
}
