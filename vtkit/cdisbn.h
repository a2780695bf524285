#pragma once

#include "vtkit/cdbase.h"

#include <string_view>

// ISBN: nine digits and a check character (a digit or X), never beginning
// 978 (those are BookLand codes).
class VTIsbnCode : public VTCodeBase {
public:
    VTIsbnCode() : VTCodeBase(kCodeIsbn) {}
    ~VTIsbnCode() override;

    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    // Over the first 9 digits: weights 10 down to 2, modulo 11.
    static char CheckDigit(std::string_view digits);
    // A lower-case x is accepted as the check character.
    static bool ValidlyFormed(const char* text, bool strip);
    static bool ValidlyFormed(std::string_view text, bool strip);
};
