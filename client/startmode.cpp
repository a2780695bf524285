#include "client/startmode.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

std::string SwitchName(const std::string& argument)
{
    if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/'))
        return {};
    return Lowered(argument.substr(1));
}

CStartMode ParseStartMode(const std::vector<std::string>& arguments)
{
    CStartMode mode = CStartMode::Normal;
    for (const std::string& argument : arguments) {
        const std::string name = SwitchName(argument);
        if (name == "autorun")
            mode = CStartMode::AutoRun;
        else if (name == "install")
            mode = CStartMode::Install;
        else if (name == "remove")
            mode = CStartMode::Remove;
    }
    return mode;
}

const char* StartModeSwitch(CStartMode mode)
{
    switch (mode) {
    case CStartMode::AutoRun:
        return "-autorun";
    case CStartMode::Install:
        return "-install";
    case CStartMode::Remove:
        return "-remove";
    case CStartMode::Normal:
        break;
    }
    return "";
}
