#include "vtkit/vtcrypt.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"

namespace {

// The classic rand(): state * 1103515245 + 12345, bits 16..30 of the state.
class Lcg {
public:
    constexpr explicit Lcg(std::uint32_t state) : m_state(state) {}
    constexpr std::uint8_t NextDigit()
    {
        m_state = m_state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(((m_state >> 16) & 0x7FFFu) % 10u);
    }

private:
    std::uint32_t m_state;
};

constexpr VTDigitScrambler::Tables MakeTables(std::uint32_t seed)
{
    VTDigitScrambler::Tables t;
    for (std::uint8_t i = 0; i < 10; ++i)
        t.p1[i] = t.p2[i] = i;
    Lcg lcg(seed);
    for (std::size_t i = 0; i < 10; ++i) {
        std::swap(t.p1[i], t.p1[lcg.NextDigit()]);
        std::swap(t.p2[i], t.p2[lcg.NextDigit()]);
    }
    for (std::uint8_t i = 0; i < 10; ++i) {
        t.i1[t.p1[i]] = i;
        t.i2[t.p2[i]] = i;
    }
    return t;
}

// Vantrel codes use seeds 0..9 and user ids 0..99 on every analysis, so
// those tables are built once at compile time.
constexpr std::size_t kCachedSeeds = 100;

constexpr std::array<VTDigitScrambler::Tables, kCachedSeeds> MakeCachedTables()
{
    std::array<VTDigitScrambler::Tables, kCachedSeeds> all{};
    for (std::uint32_t s = 0; s < kCachedSeeds; ++s)
        all[s] = MakeTables(s);
    return all;
}

constexpr auto kCachedTables = MakeCachedTables();

unsigned DigitValue(char c)
{
    TS_ASSERT_MSG(IsDecimalDigit(c), "non-digit in scrambler input");
    return static_cast<unsigned>(c - '0');
}

} // namespace

void VTDigitScrambler::Seed(std::uint32_t seed)
{
    m_seed = seed;
    m_tables = seed < kCachedSeeds ? kCachedTables[seed] : MakeTables(seed);
}

// The running value takes part only modulo 10 and divided by 10 modulo 10,
// so it is kept as a plain counter; (a mod 10 + b) keeps the two directions
// exact inverses even when a counter near 2^32 would wrap.
void VTDigitScrambler::ScrambleInPlace(char* digits, std::size_t count) const
{
    std::uint32_t a = m_seed;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned b = DigitValue(digits[i]);
        const unsigned mixed = (a / 10 % 10 + m_tables.p1[(a % 10 + b) % 10]) % 10;
        digits[i] = static_cast<char>('0' + m_tables.p2[mixed]);
        a += b + 1;
    }
}

void VTDigitScrambler::UnscrambleInPlace(char* digits, std::size_t count) const
{
    std::uint32_t a = m_seed;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned d = DigitValue(digits[i]);
        const unsigned mixed = (m_tables.i2[d] + 10 - a / 10 % 10) % 10;
        const unsigned b = (m_tables.i1[mixed] + 10 - a % 10) % 10;
        digits[i] = static_cast<char>('0' + b);
        a += b + 1;
    }
}

std::string VTDigitScrambler::Scramble(const char* digits) const
{
    TS_CHECK_NULL(digits);
    return Scramble(std::string_view(digits));
}

std::string VTDigitScrambler::Scramble(std::string_view digits) const
{
    std::string out(digits);
    ScrambleInPlace(out.data(), out.size());
    return out;
}

std::string VTDigitScrambler::Unscramble(const char* digits) const
{
    TS_CHECK_NULL(digits);
    return Unscramble(std::string_view(digits));
}

std::string VTDigitScrambler::Unscramble(std::string_view digits) const
{
    std::string out(digits);
    UnscrambleInPlace(out.data(), out.size());
    return out;
}
