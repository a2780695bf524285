#pragma once

#include <string>
#include <string_view>

// The server's side of the user identity: a blinded id is two check digits
// and thirteen scrambled digits (the nine-digit clear id and four of salt).

// The clear id inside a blinded id; false when the text is not fifteen
// digits whose check matches.
bool UnblindUserId(std::string_view blinded, std::string& clearId);

// A blinded form of a nine-digit clear id with the salt taken modulo 10000;
// empty when the clear id is not nine digits.
std::string BlindUserId(std::string_view clearId, unsigned salt);
