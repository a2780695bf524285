#pragma once

#include "vtkit/cdbase.h"

#include <string>
#include <string_view>

// A web address printed as a code. Its server ID is always "URL".
class VTUrlCode : public VTCodeBase {
public:
    static constexpr const char* kServerId = "URL";

    VTUrlCode() : VTCodeBase(kCodeUrl) {}
    ~VTUrlCode() override;

    // The address is the item ID; server ID and supplemental are ignored.
    void ConstructCode(const char* serverId, const char* itemId, const char* supplemental) override;
    // Treats the text as ConstructCode treats an address, tested for
    // validity without its blanks and dashes as analysis does.
    void DecomposeCode(const char* code, const VTCodeFormat& format) override;

    // Letters, then ".", "://", or ":" after mailto or telnet.
    static bool ValidlyFormed(const char* text);
    static bool ValidlyFormed(std::string_view text);
    static bool HasScheme(const char* text);
    static bool HasScheme(std::string_view text);
    // "ftp://" in front of a text beginning "ftp.", "http://" in front of any other.
    static void AddScheme(std::string& text);
    // False for an address holding a blank or a control character: no
    // browser opens it as the code says, and a terminal would act on it.
    static bool IsOpenable(std::string_view address);
    // White space and unprintable bytes as "%xx", lower-case hex.
    static std::string Escape(std::string_view text);
};
