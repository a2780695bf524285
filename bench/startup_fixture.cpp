// The per-user files of a client that has run for a while, written into the
// home that HOME and the XDG variables name: the settings and an identity
// (no first-run wizard), STORED stored codes with descriptions, and format
// and template caches of ENTRIES entries each, all through the client's own
// writers.
//
//   startup_fixture [STORED [ENTRIES]]
#include "bench/batchdata.h"
#include "client/appcontext.h"
#include "vtkit/vtuserid.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

constexpr std::size_t kDefaultStored = 200;
constexpr std::size_t kDefaultEntries = 10000;
// A day in the 2020s as a file time (100 ns units since 1601).
constexpr const char* kEntered = "133000000000000000";

bool Fail(const std::string& what)
{
    std::fprintf(stderr, "startup_fixture: %s\n", what.c_str());
    return false;
}

// The settings of an installed client that starts on its own.
bool WriteSettings(CAppContext& context)
{
    if (!context.InitializeConfiguration())
        return Fail("cannot initialise the settings");
    CClientSettings& settings = context.Config().Settings();
    settings.installing = 0;
    settings.autoRun = 0;
    settings.useScanner = 0;
    VTUserId user;
    user.SetBlindedId(VTUserId::Blind("123456789", 42));
    if (!context.StoreIdentity(user) || !context.Config().Save(CConfigGroup::Everything))
        return Fail("cannot store the settings and the identity");
    return true;
}

// The generated codes as a stored list of format 2.0, each linked with an
// item description.
std::string StoredList(const BatchData& data)
{
    std::ostringstream list;
    list << "Version Format: 2.0\r\n";
    std::size_t number = 0;
    for (const BatchCode& code : data.codes) {
        const std::string fields[] = {std::to_string(++number),
                                      code.text,
                                      std::to_string(static_cast<int>(code.type)),
                                      code.serverId,
                                      "",
                                      "3",
                                      "",
                                      "Stored item " + std::to_string(number) + " of the bench list",
                                      "",
                                      kEntered,
                                      kEntered};
        for (const std::string& field : fields)
            list << field << '\t';
        list << "\r\n";
    }
    return list.str();
}

bool WriteUserFiles(CAppContext& context, std::size_t stored, std::size_t entries)
{
    const BatchData data = MakeBatchData(entries, stored, 2026);
    VTCache& cache = context.Toolkit().GetCache();
    for (const VTCodeFormat& format : data.formats)
        cache.AddFormat(format);
    for (const VTServerData& record : data.records)
        cache.AddTemplate(record);
    std::string why;
    if (!context.SaveUserCaches(&why))
        return Fail("cannot save the caches: " + why);
    std::istringstream list(StoredList(data));
    const CListLoadResult read = context.StoredCodes().Read(list, false);
    if (!read.Ok() || context.StoredCodes().Entries().size() != stored)
        return Fail("the generated list did not read back whole");
    if (!context.SaveStoredCodes(&why))
        return Fail("cannot save the stored codes: " + why);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t stored = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultStored;
    const std::size_t entries = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : kDefaultEntries;
    CAppContext context;
    if (!WriteSettings(context) || !WriteUserFiles(context, stored, entries))
        return 1;
    std::printf("%zu stored codes and caches of %zu entries each in %s\n",
                context.StoredCodes().Entries().size(), entries, context.Paths().userFolder.c_str());
    return 0;
}
