#pragma once

#include <string_view>

// Two-digit checksums over decimal digits, used by Vantrel codes, the user
// identity and the caches. Each returns 0 to 99; a non-digit raises an
// assertion, a null text the null-pointer error.

// Sum of (position + 1) x digit, positions counted from 0.
int PositionalChecksum(const char* digits);
int PositionalChecksum(std::string_view digits);

// Sum of digit x the (position mod 16)-th prime of 1, 3, 5, 7, 11, ..., 53.
int PrimeWeightedChecksum(const char* digits);
int PrimeWeightedChecksum(std::string_view digits);
