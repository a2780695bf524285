#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TSStringMap;

// The user's identity: a 9-digit clear id that travels only blinded, as
// 15 digits: a 2-digit check value c, then the clear id and 4 digits of
// salt scrambled with seed c. c is the positional checksum of the clear
// id and salt, so the blinded form proves itself.
class VTUserId {
public:
    static constexpr std::size_t kBlindedLength = 15;
    static constexpr std::size_t kClearLength = 9;
    static constexpr int kClockSalt = -1;

    VTUserId() = default;
    virtual ~VTUserId();
    VTUserId(const VTUserId&) = default;
    VTUserId& operator=(const VTUserId&) = default;

    // Accepts 15 digits that unblind; anything else leaves the id invalid
    // and raises VTToolkitException code 3. A null text is an internal error.
    void SetBlindedId(const char* text);
    void SetBlindedId(std::string_view text);

    // Each raises VTToolkitException code 3 while the id is not valid.
    std::string GetBlindedId() const;
    std::string GetClearId() const;
    // A fresh blinded form of the same clear id; the salt is taken modulo
    // 10000, kClockSalt takes it from the clock.
    std::string GetReblindedBlindedId(int salt = kClockSalt) const;

    bool IsValid() const { return m_valid != 0; }
    void Invalidate();

    // "USER" (re-blinded with the clock) and "USERC" (clear); the id must be valid.
    void AddTo(TSStringMap& map) const;

    // The blinding itself, for whoever hands ids out or checks them without
    // holding one. Blind takes the salt modulo 10000 and gives "" unless the
    // clear id is 9 digits; Unblind is false unless the text is 15 digits
    // whose check matches.
    static std::string Blind(std::string_view clearId, int salt);
    static bool Unblind(std::string_view blindedId, std::string& clearId);

private:
    std::string m_blindedId;
    std::string m_clearId;
    std::int32_t m_valid = 0;
};
