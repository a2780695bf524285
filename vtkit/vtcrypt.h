#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The digit scrambler of Vantrel codes, blinded user ids and cache names:
// two seeded permutations of 0..9 mixed with a running value, so that the
// same digits scramble differently at every position.
class VTDigitScrambler {
public:
    using Permutation = std::array<std::uint8_t, 10>;

    explicit VTDigitScrambler(std::uint32_t seed = 0) { Seed(seed); }

    // Derives both permutations and their inverses from the seed.
    void Seed(std::uint32_t seed);

    // Each call starts its running value from the seed. A non-digit raises an
    // assertion, a null text the null-pointer error.
    std::string Scramble(const char* digits) const;
    std::string Scramble(std::string_view digits) const;
    std::string Unscramble(const char* digits) const;
    std::string Unscramble(std::string_view digits) const;

    // Forms for callers that keep digits in their own buffers: `count`
    // digits from `in` to `out`, which may be the same buffer.
    void Scramble(const char* in, char* out, std::size_t count) const;
    void Unscramble(const char* in, char* out, std::size_t count) const;

    const Permutation& P1() const { return m_tables.p1; }
    const Permutation& P2() const { return m_tables.p2; }

    struct Tables {
        Permutation p1{}, p2{}, i1{}, i2{};
    };

private:
    std::uint32_t m_seed = 0;
    Tables m_tables;
};
