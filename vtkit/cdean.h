#pragma once

#include "vtkit/cdbase.h"

#include <string>
#include <string_view>

class VTEanBase : public VTCodeBase {
protected:
    using VTCodeBase::VTCodeBase;
};

// EAN-8: 8 digits, no add-on.
class VTEan8Code : public VTEanBase {
public:
    VTEan8Code() : VTEanBase(kCodeEan8) {}
    ~VTEan8Code() override;

    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    // Over the first 7 digits (weights 3, 1, 3, ...).
    static char CheckDigit(std::string_view digits);
    static bool ValidlyFormed(const char* text, bool strip);
    static bool ValidlyFormed(std::string_view text, bool strip);
};

// EAN-13: 13 digits not beginning 978, optionally with a 2- or 5-digit add-on.
class VTEan13Code : public VTEanBase {
public:
    VTEan13Code() : VTEanBase(kCodeEan13) {}
    ~VTEan13Code() override;

    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    // Over the first 12 digits (weights 1, 3, 1, ...).
    static char CheckDigit(std::string_view digits);
    static bool ValidlyFormed(const char* text, bool strip, bool supplemental);
    static bool ValidlyFormed(std::string_view text, bool strip, bool supplemental);
    static bool RemoveSupplemental(std::string& code, std::string& supplemental);
};

// BookLand: an EAN-13 beginning 978, the book numbers.
class VTBookLandCode : public VTEanBase {
public:
    VTBookLandCode() : VTEanBase(kCodeBookLand) {}
    ~VTBookLandCode() override;

    // The code is "978", the server ID, the item ID and the check digit.
    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    static bool ValidlyFormed(const char* text, bool strip, bool supplemental);
    static bool ValidlyFormed(std::string_view text, bool strip, bool supplemental);
    static bool RemoveSupplemental(std::string& code, std::string& supplemental);
};
