#include "vtkit/vtcorecache.h"

#include "tst/tsexcep.h"
#include "tst/xml/dom/domnode.h"
#include "vtkit/vtparsers.h"

namespace {

constexpr const char* kCoreTypes[] = {kServerTypeRegistration, kServerTypeRouting, kServerTypeHelp};

} // namespace

VTCoreCacheFile::VTCoreCacheFile()
{
    m_registration.SetServerType(kServerTypeRegistration);
    m_routing.SetServerType(kServerTypeRouting);
    m_help.SetServerType(kServerTypeHelp);
}

VTCoreCacheFile::~VTCoreCacheFile() = default;

std::int32_t VTCoreCacheFile::Parse(std::string_view text)
{
    TSDomDocument document;
    if (!ParseWithRoot(text, u"CORE_SERVER_LIST", document))
        return kInvalid;
    Update(document);
    return kLoaded;
}

bool VTCoreCacheFile::Serialize(std::string& text)
{
    std::lock_guard guard(Lock());
    text = FileText();
    return true;
}

std::string VTCoreCacheFile::FileText() const
{
    return FormatDocument(WriteCoreServers(m_routing, m_registration, m_help));
}

int VTCoreCacheFile::Update(const TSDomDocument& document)
{
    // Read everything first, so the records change together.
    VTServerData read[std::size(kCoreTypes)];
    bool found[std::size(kCoreTypes)] = {};
    for (std::size_t i = 0; i < std::size(kCoreTypes); ++i)
        found[i] = ReadCoreServer(document, kCoreTypes[i], read[i]);
    std::lock_guard guard(Lock());
    // Every reply carries the records; only a different file text is a change.
    const std::string before = FileText();
    int replaced = 0;
    for (std::size_t i = 0; i < std::size(kCoreTypes); ++i) {
        if (found[i]) {
            *Slot(kCoreTypes[i]) = read[i];
            ++replaced;
        }
    }
    if (replaced > 0 && FileText() != before)
        NoteModified();
    return replaced;
}

VTServerData VTCoreCacheFile::GetRecord(std::string_view serverType) const
{
    std::lock_guard guard(Lock());
    return *Slot(serverType);
}

void VTCoreCacheFile::SetRecord(const VTServerData& record)
{
    std::lock_guard guard(Lock());
    const std::string before = FileText();
    *Slot(record.GetServerType()) = record;
    if (FileText() != before)
        NoteModified();
}

VTServerData* VTCoreCacheFile::Slot(std::string_view serverType)
{
    return const_cast<VTServerData*>(std::as_const(*this).Slot(serverType));
}

const VTServerData* VTCoreCacheFile::Slot(std::string_view serverType) const
{
    if (serverType == kServerTypeRegistration)
        return &m_registration;
    if (serverType == kServerTypeRouting)
        return &m_routing;
    if (serverType == kServerTypeHelp)
        return &m_help;
    TS_INTERNAL_ERROR("not a core server type");
}
