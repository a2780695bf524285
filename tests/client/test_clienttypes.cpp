#include "client/config.h"
#include "client/docstate.h"
#include "client/scannertype.h"

#include <gtest/gtest.h>

namespace {

// The scanner kinds as the scanner manager and the settings pages tell them apart.
TEST(ScannerTypes, MemoryScannersPortsAndVolumes)
{
    using enum CScannerType;
    using Port = CScannerPort;
    using Volume = CScannerVolume;
    const struct {
        CScannerType type;
        std::int32_t number;
        bool memory;
        CScannerPort port;
        CScannerVolume volume;
    } rows[] = {
        {NetPen, 0, true, Port::Pen, Volume::Pen},
        {Aim, 1, false, Port::Serial, Volume::None},
        {OtherSerial, 2, false, Port::Serial, Volume::None},
        {Pocket, 3, true, Port::None, Volume::None},
        {Cs2000, 4, true, Port::Symbol, Volume::Symbol},
        {CyberPen, 5, true, Port::Pen, Volume::Pen},
        {WelchAllyn6180, 6, false, Port::Serial, Volume::None},
        {Pennyscanner, 7, true, Port::Penny, Volume::None},
        {Qoder, 8, true, Port::None, Volume::None},
        {Keyfob, 9, true, Port::None, Volume::None},
        {Cs1504, 10, true, Port::Symbol, Volume::Symbol},
    };
    ASSERT_EQ(std::size(rows), static_cast<std::size_t>(kScannerTypeCount));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(ScannerTypeNumber(row.type), row.number);
        EXPECT_EQ(ScannerTypeFromNumber(row.number), row.type);
        EXPECT_EQ(IsMemoryScanner(row.type), row.memory);
        EXPECT_EQ(ScannerPort(row.type), row.port);
        EXPECT_EQ(ScannerVolume(row.type), row.volume);
    }
    EXPECT_EQ(ScannerTypeFromNumber(11), std::nullopt);
    EXPECT_EQ(ScannerTypeFromNumber(-1), std::nullopt);
    EXPECT_EQ(CClientSettings().scanner, ScannerTypeNumber(WelchAllyn6180)) << "the default";
}

// What entering each document state does beside remembering it.
TEST(DocumentStates, NumbersAndWhatEnteringThemStops)
{
    using enum CDocState;
    const struct {
        CDocState state;
        std::int32_t number;
        bool stopsScanner;
        bool disablesControls;
    } rows[] = {
        {StartUp, 0, false, false},       {Idle, 1, false, false},      {ModalDialog, 2, true, true},
        {SettingsOpen, 3, true, true},    {ListBusy, 4, true, true},    {HandlingScans, 10, true, true},
        {StartingBatch, 11, true, false}, {Processing, 13, true, true}, {TakingResults, 14, true, true},
        {Registering, 20, false, false},  {Closing, 30, true, true},
    };
    int known = 0;
    for (std::int32_t number = -1; number <= 31; ++number)
        known += DocStateFromNumber(number).has_value();
    EXPECT_EQ(known, static_cast<int>(std::size(rows))) << "no other number is a state";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(DocStateFromNumber(row.number), row.state);
        EXPECT_EQ(static_cast<std::int32_t>(row.state), row.number);
        EXPECT_EQ(StopsScanner(row.state), row.stopsScanner);
        EXPECT_EQ(DisablesControls(row.state), row.disablesControls);
    }
}

} // namespace
