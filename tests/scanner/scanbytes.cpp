#include "tests/scanner/scanbytes.h"

std::string Hex(std::initializer_list<int> bytes)
{
    std::string text;
    for (int byte : bytes)
        text += static_cast<char>(byte);
    return text;
}

std::string Byte(int value)
{
    return std::string(1, static_cast<char>(value));
}

std::vector<VTScanData> Contents(const VTScanDataSet& scans)
{
    std::vector<VTScanData> contents;
    for (std::size_t i = 0; i < scans.GetCount(); ++i)
        contents.push_back(scans.GetAt(i));
    return contents;
}
