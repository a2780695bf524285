#pragma once

#include "vtkit/cdbase.h"

#include <string_view>

// A name chosen by a publisher, then optionally a separator and an item:
// "ACME/123". The name is the server ID.
class VTVanityCode : public VTCodeBase {
public:
    VTVanityCode() : VTCodeBase(kCodeVanity) {}
    ~VTVanityCode() override;

    // The code is the server ID followed by the item ID, if any.
    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    // Not a URL, no separator first, no "." as separator, a name that is not
    // all digits, and not an ISBN.
    static bool ValidlyFormed(const char* text, bool strip);
    static bool ValidlyFormed(std::string_view text, bool strip);
    // The position of the first character that is not a letter, digit, blank
    // or dash; -1 when there is none.
    static int FindSeparator(const char* text);
    static int FindSeparator(std::string_view text);
};
