// Arbitrary bytes as a stored code list or an imported list. Whatever is
// read must save as a list that reads back without error and saves the same.
#include "client/config.h"
#include "client/langmgr.h"
#include "client/scode.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const CLanguageMgr language;
    static const CClientSettings settings;
    CStoredCodeMgr codes(language, settings);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    codes.Read(in, false);
    if (codes.Entries().size() > CStoredCodeMgr::kMaxEntries)
        __builtin_trap();
    for (std::size_t i = 0; i < codes.Entries().size(); ++i)
        if (codes.Entries()[i].number != i + 1)
            __builtin_trap();

    const std::string saved = codes.FormatList();
    CStoredCodeMgr again(language, settings);
    std::istringstream back(saved);
    if (!again.Read(back, false).Ok() || again.Entries().size() > codes.Entries().size())
        __builtin_trap();
    // Only texts that held tabs or line breaks can make two entries one.
    if (again.Entries().size() == codes.Entries().size() && again.FormatList() != saved)
        __builtin_trap();
    codes.FormatText();
    return 0;
}
