#pragma once

#include "vtkit/cdbase.h"
#include "vtkit/scanner/scantype.h"

#include <memory>
#include <string_view>
#include <vector>

class VTCodeFormat;

// Case-insensitive; "UPC" reads as UPC-A. 0 for an unknown name; a null
// text raises the null-pointer error.
VTCodeType CodeTypeFromName(const char* name);
VTCodeType CodeTypeFromName(std::string_view name);

// "UPCA", "EAN13", ...; with mergeUpc both UPC types read "UPC". A type
// outside 0..10 raises an internal error.
const char* CodeTypeName(int type, bool mergeUpc);

// The types whose server and item IDs only a routing format can locate.
bool RequiresCodeFormat(int type);

// Every type whose validity test accepts the text (blanks and dashes
// removed), most specific numeric reading first. A scanned text may carry
// add-ons and is never an ISBN or Numicode; the scan type narrows the
// retail families tried. A null text raises the null-pointer error.
void AnalyzeCode(const char* text, std::vector<VTCodeType>& candidates, ScanType scanType, bool scanned);
void AnalyzeCode(std::string_view text, std::vector<VTCodeType>& candidates, ScanType scanType, bool scanned);

// A fresh code object of the type; none for 0 or a value above 10.
std::unique_ptr<VTCodeBase> CreateCode(int type);

// Decomposes the text as the given type into `contents`. Type 0 or above 10
// does nothing. Every rejection raises VTToolkitException code 1 without a
// detail.
void DecomposeAs(const char* text, int type, const VTCodeFormat& format, VTCodeContents& contents);
