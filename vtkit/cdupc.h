#pragma once

#include "vtkit/cdbase.h"

#include <string>
#include <string_view>

class VTUpcBase : public VTCodeBase {
protected:
    using VTCodeBase::VTCodeBase;
};

// UPC-A: 12 digits, optionally followed by a 2- or 5-digit add-on.
class VTUpcACode : public VTUpcBase {
public:
    VTUpcACode() : VTUpcBase(kCodeUpcA) {}
    ~VTUpcACode() override;

    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    // The check digit over the first 11 digits (weights 3, 1, 3, ...). A
    // non-digit or a shorter text raises an assertion.
    static char CheckDigit(std::string_view digits);
    static bool ValidlyFormed(const char* text, bool strip, bool supplemental);
    static bool ValidlyFormed(std::string_view text, bool strip, bool supplemental);
    // Splits 14 or 17 digits into the 12-digit code and its add-on; 12 digits
    // give no add-on. Any other length fails and changes nothing.
    static bool RemoveSupplemental(std::string& code, std::string& supplemental);
};

// UPC-E: 8 digits beginning with 0, optionally with a 2-digit add-on; it
// stands for a UPC-A code with the zeros suppressed.
class VTUpcECode : public VTUpcBase {
public:
    VTUpcECode() : VTUpcBase(kCodeUpcE) {}
    ~VTUpcECode() override;

    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    static bool ValidlyFormed(const char* text, bool strip, bool supplemental);
    static bool ValidlyFormed(std::string_view text, bool strip, bool supplemental);
    static bool RemoveSupplemental(std::string& code, std::string& supplemental);
    // The 12-digit UPC-A code of the first 8 characters; succeeds only when
    // that code is a valid UPC-A, and leaves upcA alone otherwise.
    static bool ExpandUpcE(std::string_view upcE, std::string& upcA);
};
