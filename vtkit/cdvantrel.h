#pragma once

#include "vtkit/cdbase.h"

#include <string>
#include <string_view>

// The system's own two-part numeric code: a seed digit, then kind, length of
// the server ID, server ID and item ID, scrambled, with a checksum that makes
// every code decode and re-encode to itself. Never a valid UPC-A or UPC-E.
class VTVantrelCode : public VTCodeBase {
public:
    static constexpr std::size_t kMinLength = 6;
    static constexpr std::size_t kMaxLength = 22;

    VTVantrelCode() : VTCodeBase(kCodeVantrel) {}
    ~VTVantrelCode() override;

    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    static bool ValidlyFormed(const char* text, bool strip);
    static bool ValidlyFormed(std::string_view text, bool strip);

    // Leading zeros of both IDs do not count. Fails for a non-digit, a server
    // ID of more than 9 significant digits, a code that would be longer than
    // 22 digits, or when every seed gives a UPC.
    static bool EncodeVantrel(const char* serverId, const char* itemId, std::string& code);
    static bool EncodeVantrel(std::string_view serverId, std::string_view itemId, std::string& code);
    // The IDs without leading zeros, when the code is exactly what
    // EncodeVantrel makes of them.
    static bool DecodeVantrel(const char* code, std::string& serverId, std::string& itemId);
    static bool DecodeVantrel(std::string_view code, std::string& serverId, std::string& itemId);
};
