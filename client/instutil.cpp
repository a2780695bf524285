#include "client/instutil.h"

#include "client/config.h"
#include "client/langmgr.h"
#include "client/uitextids.h"
#include "platform/atomicfile.h"
#include "platform/folders.h"
#include "platform/instance.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr const char* kDirPrefix = "dir ";
constexpr long kLineMissingCount = 170;
constexpr long kLineEntryTooLong = 192;

bool IsInside(const fs::path& path, const fs::path& folder)
{
    const auto relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
}

// A list "nameCount" and "name1", "name2", ... of one section.
std::vector<std::string> ReadList(const platform::IniFile& ini, const char* section, const char* name,
                                  bool required, const std::string& module)
{
    const std::string count = std::string(name) + "Count";
    const std::string countText = ini.GetString(section, count, "", 32);
    if (countText.empty()) {
        if (required)
            throw CSetupError::Internal(108, module, kLineMissingCount);
        return {};
    }
    std::vector<std::string> entries;
    const int total = ini.GetInt(section, count, 0);
    for (int i = 1; i <= total; ++i) {
        // One character more than an entry may hold shows an overlong one.
        const std::string key = std::string(name) + std::to_string(i);
        std::string entry = ini.GetString(section, key, "", CInstDescription::kMaxEntryLength + 2);
        if (entry.size() > CInstDescription::kMaxEntryLength)
            throw CSetupError::Internal(110, module, kLineEntryTooLong);
        if (!entry.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

CInstEntry MakeEntry(std::string text)
{
    CInstEntry entry;
    if (text.rfind(kDirPrefix, 0) == 0) {
        entry.directory = true;
        text.erase(0, std::string_view(kDirPrefix).size());
    }
    const auto comma = text.find(',');
    entry.source = text.substr(0, comma);
    entry.destination = comma == std::string::npos ? entry.source : text.substr(comma + 1);
    return entry;
}

std::vector<CInstEntry> ReadEntries(const platform::IniFile& ini, const char* section, bool required,
                                    const std::string& module)
{
    std::vector<CInstEntry> entries;
    for (std::string& text : ReadList(ini, section, "file", required, module))
        entries.push_back(MakeEntry(std::move(text)));
    return entries;
}

std::string EntryText(const CInstEntry& entry)
{
    std::string text = entry.directory ? kDirPrefix : "";
    text += entry.source;
    if (entry.destination != entry.source)
        text += "," + entry.destination;
    return text;
}

// "nameCount=N" and "name1=..." to "nameN=...".
void AppendItems(std::string& out, const char* name, const std::vector<std::string>& items)
{
    out += std::string(name) + "Count=" + std::to_string(items.size()) + "\n";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += std::string(name) + std::to_string(i + 1) + "=" + items[i] + "\n";
}

std::vector<std::string> EntryTexts(const std::vector<CInstEntry>& entries)
{
    std::vector<std::string> texts;
    std::transform(entries.begin(), entries.end(), std::back_inserter(texts), EntryText);
    return texts;
}

// A path between double quotes, as the shell reads it back unchanged.
std::string ShellQuoted(const fs::path& path)
{
    std::string out = "\"";
    for (char c : path.string()) {
        if (c == '"' || c == '$' || c == '`' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

std::vector<fs::path> OtherUsersHomes()
{
    std::vector<fs::path> homes;
    ::setpwent();
    while (const passwd* entry = ::getpwent())
        if (entry->pw_dir && entry->pw_uid != ::geteuid() && *entry->pw_dir == '/')
            homes.emplace_back(entry->pw_dir);
    ::endpwent();
    return homes;
}

} // namespace

CSetupError CSetupError::Message(int textId, int code, std::vector<std::string> inserts)
{
    CSetupError error;
    error.textId = textId;
    error.code = code;
    error.inserts = std::move(inserts);
    return error;
}

CSetupError CSetupError::Internal(int number, std::string module, long line)
{
    CSetupError error;
    error.internalNumber = number;
    error.module = std::move(module);
    error.line = line;
    return error;
}

std::string CSetupError::Text(const CLanguageMgr& language) const
{
    if (textId == 0)
        return language.FormatMessage(kStrInternalError,
                                      {std::to_string(internalNumber), module, std::to_string(line)});
    return language.FormatMessage(textId, inserts) + "\n\n\t" + language.LoadText(kStrErrorCode) +
           std::to_string(code) + "\n";
}

CSetupProgress::~CSetupProgress() = default;

int CompareVersions(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    const auto field = [](std::string_view text, std::size_t& at) {
        unsigned long long value = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
            value =
                std::min<unsigned long long>(value * 10 + static_cast<unsigned>(text[at] - '0'), 1ull << 40);
            ++at;
        }
        if (at < text.size() && text[at] == '.')
            ++at;
        return value;
    };
    for (int n = 0; n < 4; ++n) {
        if (i >= a.size() && j >= b.size())
            break;
        const auto x = field(a, i);
        const auto y = field(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

void CInstDescription::Load(const fs::path& file, const std::string& module)
{
    std::string text;
    if (!platform::ReadWholeFile(file, text, platform::IniFile::kMaxFileBytes))
        throw CSetupError::Internal(100, module, 0);
    Parse(text, module);
}

void CInstDescription::Parse(std::string_view text, const std::string& module)
{
    platform::IniFile ini;
    ini.Parse(text);
    install = ReadEntries(ini, "Install", true, module);
    remove = ReadEntries(ini, "Remove", false, module);
    createdFiles = ReadList(ini, "Created", "file", false, module);
    createdShortcuts = ReadList(ini, "Created", "shortcut", false, module);
    appIcon = ini.GetString("icons", "app", "", kMaxEntryLength + 1);
    uninstallIcon = ini.GetString("icons", "uninstall", "", kMaxEntryLength + 1);
    packageManager = ini.GetString("Package", "manager", "", kMaxEntryLength + 1);
}

std::string CInstDescription::Text() const
{
    std::string out;
    out += "[Install]\n";
    AppendItems(out, "file", EntryTexts(install));
    if (!remove.empty()) {
        out += "\n[Remove]\n";
        AppendItems(out, "file", EntryTexts(remove));
    }
    if (!appIcon.empty() || !uninstallIcon.empty())
        out += "\n[icons]\napp=" + appIcon + "\nuninstall=" + uninstallIcon + "\n";
    if (!packageManager.empty())
        out += "\n[Package]\nmanager=" + packageManager + "\n";
    if (!createdFiles.empty() || !createdShortcuts.empty()) {
        out += "\n[Created]\n";
        AppendItems(out, "file", createdFiles);
        AppendItems(out, "shortcut", createdShortcuts);
    }
    return out;
}

fs::path FindDescriptionFile(const fs::path& folder, const std::string& module)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder, error))
        if (platform::NameHasSuffix(item.path().filename().string(), CInstDescription::kSuffix) &&
            item.is_regular_file(error))
            found.push_back(item.path());
    if (found.empty())
        throw CSetupError::Internal(100, module, 0);
    if (found.size() > 1)
        throw CSetupError::Internal(101, module, 0);
    return found.front();
}

fs::path CSetupPlaces::DefaultFolder()
{
    if (::geteuid() == 0)
        return "/opt/lumora";
    return platform::HomeFolder() / ".local" / "lib" / "lumora";
}

CSetupPlaces CSetupPlaces::ForFolder(const fs::path& programFolder)
{
    CSetupPlaces places;
    places.programFolder = programFolder;
    if (IsInside(programFolder, platform::HomeFolder())) {
        places.binFolder = platform::HomeFolder() / ".local" / "bin";
        places.applicationsFolder = platform::XdgDataHome() / "applications";
        places.iconsFolder = platform::XdgDataHome() / "icons" / "hicolor";
    } else {
        places.binFolder = "/usr/local/bin";
        places.applicationsFolder = "/usr/local/share/applications";
        places.iconsFolder = "/usr/local/share/icons/hicolor";
    }
    if (::geteuid() == 0)
        places.otherHomes = OtherUsersHomes();
    return places;
}

bool CanWriteFolder(const fs::path& folder)
{
    fs::path probe = folder;
    std::error_code error;
    while (!probe.empty() && !fs::is_directory(probe, error)) {
        if (probe == probe.parent_path())
            return false;
        probe = probe.parent_path();
    }
    return !probe.empty() && ::access(probe.c_str(), W_OK | X_OK) == 0;
}

std::string MenuEntryText(const std::string& name, const fs::path& program, const std::string& arguments,
                          const std::string& icon)
{
    std::string exec;
    if (!CClientConfig::DesktopExecProgram(program, exec))
        return {};
    if (!arguments.empty())
        exec += " " + arguments;
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=" +
                       name + "\nExec=" + exec + "\n";
    if (!icon.empty())
        text += "Icon=" + icon + "\n";
    text += "Terminal=false\n";
    text += "Categories=Office;\n";
    return text;
}

std::string SelfRemovalScriptText(const std::vector<fs::path>& files, const fs::path& program,
                                  const fs::path& folder, const fs::path& script)
{
    std::string text = "#!/bin/sh\n"
                       "while :; do\n";
    for (const fs::path& file : files)
        text += "rm -f " + ShellQuoted(file) + "\n";
    text += "rm -f " + ShellQuoted(program) + "\n";
    text += "[ -e " + ShellQuoted(program) + " ] || break\n";
    text += "sleep 1\n"
            "done\n";
    text += "rmdir " + ShellQuoted(folder) + "\n";
    text += "rm -f " + ShellQuoted(script) + "\n";
    return text;
}

fs::path WriteSelfRemovalScript(const fs::path& tempFolder, const std::vector<fs::path>& files,
                                const fs::path& program, const fs::path& folder)
{
    for (int n = 0; n < 1000; ++n) {
        // "%slumora%d.sh": the folder with its separator, then the number.
        const fs::path script = tempFolder / ("lumora" + std::to_string(n) + ".sh");
        const int fd = ::open(script.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        const std::string text = SelfRemovalScriptText(files, program, folder, script);
        const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        if (written)
            return script;
        ::unlink(script.c_str());
        return {};
    }
    return {};
}

bool StartSelfRemovalScript(const fs::path& script)
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session, so that it outlives the remover and its terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    // The lowest priority: the remover ends before the loop can delete it.
    std::string nice = "nice", niceness = "-n19", shell = "/bin/sh", path = script.string();
    char* argv[] = {nice.data(), niceness.data(), shell.data(), path.data(), nullptr};
    pid_t child = -1;
    const int started = ::posix_spawnp(&child, "nice", &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (started != 0) {
        ::unlink(script.c_str());
        return false;
    }
    return true;
}

bool StopRunningClient(const fs::path& socketPath, CSetupProgress& progress, const std::string& stoppingText,
                       std::chrono::milliseconds limit)
{
    if (!platform::FindRunningClient(socketPath))
        return true;
    progress.Step(stoppingText);
    platform::InstanceMessage close;
    close.kind = platform::InstanceMessage::Kind::kCloseRequest;
    const auto interval = std::chrono::milliseconds(250);
    const auto end = std::chrono::steady_clock::now() + limit;
    platform::SendToRunningClient(close, interval, socketPath);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(interval);
        if (!platform::FindRunningClient(socketPath))
            return true;
    }
    return false;
}
