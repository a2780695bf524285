#pragma once

#include "vtkit/cdbase.h"

#include <string>
#include <string_view>

// A code type as the command line names it: the toolkit's names in any
// case, also written with dashes ("UPC-A", "ean-13"); 0 for any other text.
VTCodeType CliCodeType(std::string_view name);

// The names CliCodeType knows, for help texts and refusals: "VANTREL, UPC, ...".
std::string CliCodeTypeNames();
