#include "platform/folders.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path AbsoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return {};
    std::filesystem::path path(value);
    return path.is_absolute() ? path : std::filesystem::path();
}

bool IsInside(const std::filesystem::path& path, const std::filesystem::path& folder)
{
    if (folder.empty())
        return false;
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

} // namespace

std::filesystem::path ProgramPath()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

std::filesystem::path ProgramFolder()
{
    return ProgramPath().parent_path();
}

std::filesystem::path HomeFolder()
{
    if (auto home = AbsoluteVariable("HOME"); !home.empty())
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::filesystem::path XdgConfigHome()
{
    auto path = AbsoluteVariable("XDG_CONFIG_HOME");
    return path.empty() ? HomeFolder() / ".config" : path;
}

std::filesystem::path XdgDataHome()
{
    auto path = AbsoluteVariable("XDG_DATA_HOME");
    return path.empty() ? HomeFolder() / ".local" / "share" : path;
}

std::filesystem::path XdgRuntimeDir()
{
    return AbsoluteVariable("XDG_RUNTIME_DIR");
}

std::filesystem::path TempFolder()
{
    auto path = AbsoluteVariable("TMPDIR");
    return path.empty() ? std::filesystem::path("/tmp") : path;
}

std::filesystem::path UserDataFolder()
{
    return XdgDataHome() / "lumora";
}

std::filesystem::path CurrentUserHivePath()
{
    return XdgConfigHome() / "lumora" / "user.reg";
}

std::filesystem::path LocalMachineHivePath(const std::filesystem::path& programFolder)
{
    if (programFolder.empty() || IsInside(programFolder.lexically_normal(), HomeFolder().lexically_normal()))
        return XdgDataHome() / "lumora" / "system.reg";
    return programFolder / "system.reg";
}

bool NameHasSuffix(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [&](char a, char b) { return fold(a) == fold(b); });
}

std::filesystem::path AutostartEntryPath()
{
    return XdgConfigHome() / "autostart" / "lumora.desktop";
}

} // namespace platform
