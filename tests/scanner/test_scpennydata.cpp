#include "tests/scanner/scanbytes.h"
#include "tests/support/pennysim.h"
#include "tst/tsexcep.h"
#include "vtkit/scanner/scpenny.h"
#include "vtkit/scanner/scpennydata.h"

#include <gtest/gtest.h>

namespace {

using Delivery = std::vector<VTScanData>;

VTPennyMemoryImage ImageOf(std::string_view bytes)
{
    VTPennyMemoryImage image;
    EXPECT_TRUE(image.Append(bytes));
    return image;
}

Delivery Decode(std::string_view bytes)
{
    return Contents(DecodeImage(ImageOf(bytes)));
}

// Stored oldest first: characters, an optional 4-byte field, the header.
const std::vector<std::string> kRecords = {
    "5901234123457" + Byte(0x80),
    // The field holds bytes with bit 7 set; it is skipped, not searched.
    "ABC" + std::string("\x81\xFF\x90\x80", 4) + Byte(0xB2), "1234567" + Byte(0xE0), "7654321" + Byte(0xB0),
    "X" + Byte(0xF0), "96385074" + Byte(0xD0), "Q" + Byte(0x88),
    Byte(0x80), // no characters
    "zz",       // after the last header: passed over
};

TEST(DecodeImage, RecordsOfBothFormats)
{
    constexpr uint32_t kConfiguration = PennySim::kGoodConfiguration;
    const struct {
        const char* name;
        std::string image;
        Delivery expected;
    } cases[] = {
        {"empty memory", PennySim::MakeImage(kConfiguration, 4, {}), {}},
        {"newer format",
         PennySim::MakeImage(kConfiguration, 4, kRecords),
         {{kScanTypeUPCOrEAN, "5901234123457"},
          {kScanTypeCode128, "ABC"},
          {kScanTypeUPCE, "01234567"},
          {kScanTypeCode128, "7654321"},
          {kScanTypeEAN8, "96385074"},
          {kScanTypeUnknown, "Q"}}},
        {"older format",
         PennySim::MakeImage(kConfiguration, 3, kRecords),
         {{kScanTypeUPCOrEAN, "5901234123457"},
          {kScanTypeCode128, "ABC"},
          {kScanTypeUPCOrEAN, "01234567"},
          {kScanTypeCode128, "7654321"},
          {kScanTypeUnknown, "X"},
          {kScanTypeUPCOrEAN, "96385074"},
          {kScanTypeUPCOrEAN, "Q"}}},
        {"field reaching into the header", PennySim::MakeImage(kConfiguration, 4, {"12" + Byte(0x82)}), {}},
        {"end pointer below the records",
         PennySim::MakeImage(kConfiguration, 4, {}).replace(16, 2, "\x10\x00", 2),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.image), c.expected);
    }
}

TEST(DecodeImage, IncompleteImageGivesNothing)
{
    const std::string image = PennySim::MakeImage(PennySim::kGoodConfiguration, 4, kRecords);
    EXPECT_EQ(Decode(image.substr(0, image.size() - 1)), Delivery{});
    EXPECT_EQ(Decode(image.substr(0, 100)), Delivery{});
    EXPECT_EQ(Decode(""), Delivery{});
    EXPECT_FALSE(ImageOf(image.substr(0, 127)).IsComplete());
    EXPECT_TRUE(ImageOf(image).IsComplete());
}

TEST(VTPennyMemoryImage, BoundsOfReadsWritesAndLength)
{
    VTPennyMemoryImage image = ImageOf("\x01\x02\x03");
    EXPECT_EQ(image.GetWord(1), 0x0302);
    EXPECT_THROW(image.GetByte(3), TSInternalError);
    EXPECT_THROW(image.GetWord(2), TSInternalError);
    image.SetWord(8, 0xBEEF);
    EXPECT_EQ(image.GetBytes(), std::string_view("\x01\x02\x03\0\0\0\0\0\xEF\xBE", 10));
    EXPECT_THROW(image.SetWord(4094, 1), TSInternalError);
    EXPECT_FALSE(image.Append(std::string(4086, 'x')));
    EXPECT_EQ(image.GetLength(), 10u);
    EXPECT_TRUE(image.Append(std::string(4085, 'x')));
    EXPECT_EQ(image.GetLength(), 4095u);
    EXPECT_FALSE(image.Append("x"));
}

TEST(VTPennyMemoryImage, RewriteEmptiesTheMemoryAndSetsTheConfiguration)
{
    const uint32_t downloaded = 0x0000F00Fu; // lacks most wanted bits, has all unwanted ones
    const std::string bytes = PennySim::MakeImage(downloaded, 4, kRecords);
    VTPennyMemoryImage image = ImageOf(bytes);
    EXPECT_TRUE(image.NeedsConfiguration());
    image.PrepareRewrite();
    EXPECT_EQ(image.GetConfiguration(), (downloaded | VTPennyMemoryImage::kBitsWanted) & ~0x7000u);
    EXPECT_FALSE(image.NeedsConfiguration());
    EXPECT_EQ(image.GetEndPointer(), 128);
    EXPECT_EQ(image.GetWord(VTPennyMemoryImage::kRewriteMarkAt), 0);
    const std::string_view after = image.GetBytes();
    EXPECT_EQ(after.substr(4, 12), std::string_view(bytes).substr(4, 12));
    EXPECT_EQ(after.substr(20), std::string_view(bytes).substr(20));
}

TEST(VTPennyMemoryImage, WhichConfigurationsNeedARewrite)
{
    const struct {
        uint32_t configuration;
        bool needed;
    } cases[] = {
        {PennySim::kGoodConfiguration, false},
        {PennySim::kGoodConfiguration & ~(1u << 23), false}, // bit 23 is set, never checked
        {PennySim::kGoodConfiguration | 0x3, false},
        {PennySim::kGoodConfiguration & ~0x100u, true},
        {PennySim::kGoodConfiguration & ~0x4u, true},
        {PennySim::kGoodConfiguration | 0x2000u, true},
        {0, true},
    };
    for (const auto& c : cases) {
        const VTPennyMemoryImage image = ImageOf(PennySim::MakeImage(c.configuration, 4, {}));
        EXPECT_EQ(image.NeedsConfiguration(), c.needed) << std::hex << c.configuration;
        VTPennyScanner scanner;
        EXPECT_EQ(scanner.NeedsRewrite(image, false), c.needed);
        EXPECT_TRUE(scanner.NeedsRewrite(image, true));
        scanner.SetClearAfterDownload(false);
        EXPECT_EQ(scanner.NeedsRewrite(image, true), c.needed);
    }
}

TEST(VTPennyScanner, ModeBytesAndBlockChecks)
{
    const struct {
        uint32_t gap, size;
        uint8_t download, rewrite;
    } cases[] = {
        {250, 64, 0x8A, 0x0A},
        {10, 16, 0x80, 0x00},
        {100, 32, 0x85, 0x05},
        {1000, 128, 0x8F, 0x0F},
    };
    VTPennyScanner scanner;
    for (const auto& c : cases) {
        scanner.SetBlockGap(c.gap);
        scanner.SetBlockSize(c.size);
        EXPECT_EQ(scanner.MakeModeByte(true), c.download);
        EXPECT_EQ(scanner.MakeModeByte(false), c.rewrite);
    }
    EXPECT_THROW(scanner.SetBlockGap(200), TSInternalError);
    EXPECT_THROW(scanner.SetBlockSize(48), TSInternalError);
    EXPECT_THROW(scanner.GetTimeout(9), TSInternalError);
    EXPECT_EQ(scanner.GetBlockSize(), 128u);
    EXPECT_EQ(VTPennyScanner::BlockCrc("123456789"), 0x31C3);
    EXPECT_EQ(VTPennyScanner::BlockCrc(std::string("123456789\x31\xC3", 11)), 0);
    EXPECT_EQ(VTPennyScanner::BlockCrc(""), 0);
}

TEST(VTPennyScanner, Defaults)
{
    VTPennyScanner scanner;
    EXPECT_TRUE(scanner.CanDetect());
    EXPECT_TRUE(scanner.GetClearAfterDownload());
    EXPECT_EQ(scanner.GetBreakPulses(), 3u);
    EXPECT_EQ(scanner.GetBlockGap(), 250u);
    EXPECT_EQ(scanner.GetBlockSize(), 64u);
    EXPECT_EQ(scanner.GetRewriteAttempts(), 3u);
    std::vector<uint32_t> timeouts;
    for (std::size_t index = 0; index < VTPennyScanner::kTimeoutCount; ++index)
        timeouts.push_back(scanner.GetTimeout(index));
    EXPECT_EQ(timeouts, (std::vector<uint32_t>{250, 1000, 500, 250, 500, 250, 250, 500, 5}));
}

} // namespace
