#pragma once

#include <cstdint>
#include <optional>

// The kinds of scanner the client drives, numbered as the configuration
// stores them ("Scanner") and the settings pages list them.
enum class CScannerType : std::int32_t {
    NetPen = 0,
    Aim = 1,
    OtherSerial = 2,
    Pocket = 3, // no driver: starting it succeeds at once
    Cs2000 = 4,
    CyberPen = 5,
    WelchAllyn6180 = 6, // the default
    Pennyscanner = 7,
    Qoder = 8,
    Keyfob = 9,
    Cs1504 = 10,
};

inline constexpr std::int32_t kScannerTypeCount = 11;

// Which stored port a kind of scanner opens: the pen's, the one the two
// Symbol cradles share, the Pennyscanner's, the serial scanners' (with
// their line settings), or none.
enum class CScannerPort { None, Pen, Symbol, Penny, Serial };
// Which stored volume it is given, if any.
enum class CScannerVolume { None, Pen, Symbol };

constexpr std::int32_t ScannerTypeNumber(CScannerType type)
{
    return static_cast<std::int32_t>(type);
}

// None for a number outside 0 to 10.
constexpr std::optional<CScannerType> ScannerTypeFromNumber(std::int32_t number)
{
    if (number < 0 || number >= kScannerTypeCount)
        return std::nullopt;
    return static_cast<CScannerType>(number);
}

// Memory scanners deliver their codes in downloads, perhaps many at once;
// the others (AIM, other serial, Welch Allyn) one code per scan.
constexpr bool IsMemoryScanner(CScannerType type)
{
    return type != CScannerType::Aim && type != CScannerType::OtherSerial &&
           type != CScannerType::WelchAllyn6180;
}

constexpr CScannerPort ScannerPort(CScannerType type)
{
    switch (type) {
    case CScannerType::NetPen:
    case CScannerType::CyberPen:
        return CScannerPort::Pen;
    case CScannerType::Cs2000:
    case CScannerType::Cs1504:
        return CScannerPort::Symbol;
    case CScannerType::Pennyscanner:
        return CScannerPort::Penny;
    case CScannerType::Aim:
    case CScannerType::OtherSerial:
    case CScannerType::WelchAllyn6180:
        return CScannerPort::Serial;
    default:
        return CScannerPort::None;
    }
}

constexpr CScannerVolume ScannerVolume(CScannerType type)
{
    switch (ScannerPort(type)) {
    case CScannerPort::Pen:
        return CScannerVolume::Pen;
    case CScannerPort::Symbol:
        return CScannerVolume::Symbol;
    default:
        return CScannerVolume::None;
    }
}
