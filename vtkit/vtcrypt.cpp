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

// The running value a counts up by each plain digit plus one, and takes part
// only through its last two decimal digits, so those are what is kept. This
// keeps both directions exact inverses even where a 32-bit counter would wrap.
class RunningValue {
public:
    explicit RunningValue(std::uint32_t seed) : m_ones(seed % 10), m_tens(seed / 10 % 10) {}
    unsigned Ones() const { return m_ones; }
    unsigned Tens() const { return m_tens; }
    void Advance(unsigned plainDigit)
    {
        m_ones += plainDigit + 1;
        if (m_ones >= 10) {
            m_ones -= 10;
            m_tens = m_tens == 9 ? 0 : m_tens + 1;
        }
    }

private:
    unsigned m_ones;
    unsigned m_tens;
};

} // namespace

void VTDigitScrambler::Seed(std::uint32_t seed)
{
    m_seed = seed;
    m_tables = seed < kCachedSeeds ? kCachedTables[seed] : MakeTables(seed);
}

void VTDigitScrambler::Scramble(const char* in, char* out, std::size_t count) const
{
    RunningValue a(m_seed);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned b = DigitValue(in[i]);
        const unsigned sum = a.Ones() + b;
        const unsigned mixed = a.Tens() + m_tables.p1[sum >= 10 ? sum - 10 : sum];
        out[i] = static_cast<char>('0' + m_tables.p2[mixed >= 10 ? mixed - 10 : mixed]);
        a.Advance(b);
    }
}

void VTDigitScrambler::Unscramble(const char* in, char* out, std::size_t count) const
{
    RunningValue a(m_seed);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned d = DigitValue(in[i]);
        const unsigned mixed = m_tables.i2[d] + 10 - a.Tens();
        const unsigned sum = m_tables.i1[mixed >= 10 ? mixed - 10 : mixed] + 10 - a.Ones();
        const unsigned b = sum >= 10 ? sum - 10 : sum;
        out[i] = static_cast<char>('0' + b);
        a.Advance(b);
    }
}

std::string VTDigitScrambler::Scramble(const char* digits) const
{
    TS_CHECK_NULL(digits);
    return Scramble(std::string_view(digits));
}

std::string VTDigitScrambler::Scramble(std::string_view digits) const
{
    std::string out(digits.size(), '0');
    Scramble(digits.data(), out.data(), digits.size());
    return out;
}

std::string VTDigitScrambler::Unscramble(const char* digits) const
{
    TS_CHECK_NULL(digits);
    return Unscramble(std::string_view(digits));
}

std::string VTDigitScrambler::Unscramble(std::string_view digits) const
{
    std::string out(digits.size(), '0');
    Unscramble(digits.data(), out.data(), digits.size());
    return out;
}
