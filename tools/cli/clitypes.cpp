#include "tools/cli/clitypes.h"

#include "vtkit/cdanalyze.h"

#include <algorithm>

VTCodeType CliCodeType(std::string_view name)
{
    std::string plain(name);
    std::erase(plain, '-');
    return plain.empty() ? kCodeUnknown : CodeTypeFromName(std::string_view(plain));
}

std::string CliCodeTypeNames()
{
    std::string names;
    for (int type = kCodeVantrel; type <= kCodeTypeLast; ++type)
        names.append(names.empty() ? "" : ", ").append(CodeTypeName(type, false));
    return names + " (UPC reads as UPCA)";
}
