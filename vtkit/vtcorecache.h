#pragma once

#include "vtkit/svrdata.h"
#include "vtkit/vtcachefile.h"

#include <cstdint>
#include <string>
#include <string_view>

class TSDomDocument;

// The three core server records (REGISTRATION, ROUTING, HELP): where the
// client reaches its servers at all. Replies refresh them from the HTTP
// workers while other threads read them, so every access takes the lock.
class VTCoreCacheFile : public VTCacheFile {
public:
    VTCoreCacheFile();
    ~VTCoreCacheFile() override;

    // Root "CORE_SERVER_LIST"; each record present replaces the stored one.
    std::int32_t Parse(std::string_view text) override;
    // ROUTING, REGISTRATION, HELP, each only when it has a command.
    bool Serialize(std::string& text) override;

    // Replaces each stored record of which the document carries a "SERVER"
    // element, whatever its root; returns how many were replaced.
    int Update(const TSDomDocument& document);

    // A copy of the record of that server type; an unknown type is an
    // internal error.
    VTServerData GetRecord(std::string_view serverType) const;
    // Stores the record under its own server type.
    void SetRecord(const VTServerData& record);

private:
    // The text Serialize writes; under the lock.
    std::string FileText() const;
    VTServerData* Slot(std::string_view serverType);
    const VTServerData* Slot(std::string_view serverType) const;

    VTServerData m_registration;
    VTServerData m_routing;
    VTServerData m_help;
};
