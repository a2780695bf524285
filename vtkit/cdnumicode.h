#pragma once

#include "vtkit/cdbase.h"

#include <string_view>

// One to five digits, all served by the server ID "NUMI".
class VTNumicode : public VTCodeBase {
public:
    static constexpr const char* kServerId = "NUMI";

    VTNumicode() : VTCodeBase(kCodeNumi) {}
    ~VTNumicode() override;

    // The item ID is the code; the server ID is ignored.
    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    static bool ValidlyFormed(const char* text, bool strip);
    static bool ValidlyFormed(std::string_view text, bool strip);
};
