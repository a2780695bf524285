#include "vtkit/vtcsum.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"

#include <array>

namespace {

constexpr std::array<unsigned, 16> kPrimeWeights = {1,  3,  5,  7,  11, 13, 17, 19,
                                                    23, 29, 31, 37, 41, 43, 47, 53};

unsigned DigitValue(char c)
{
    TS_ASSERT_MSG(IsDecimalDigit(c), "non-digit in checksum");
    return static_cast<unsigned>(c - '0');
}

} // namespace

int PositionalChecksum(const char* digits)
{
    TS_CHECK_NULL(digits);
    return PositionalChecksum(std::string_view(digits));
}

int PositionalChecksum(std::string_view digits)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i)
        sum = (sum + static_cast<unsigned>(i % 100 + 1) * DigitValue(digits[i])) % 100;
    return static_cast<int>(sum);
}

int PrimeWeightedChecksum(const char* digits)
{
    TS_CHECK_NULL(digits);
    return PrimeWeightedChecksum(std::string_view(digits));
}

int PrimeWeightedChecksum(std::string_view digits)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i)
        sum = (sum + kPrimeWeights[i % kPrimeWeights.size()] * DigitValue(digits[i])) % 100;
    return static_cast<int>(sum);
}
