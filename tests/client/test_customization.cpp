#include "client/customization.h"

#include "tests/support/tempdir.h"
#include "tst/tsexcep.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Kind = CCustomMedia::Kind;
using Origin = CCustomMedia::Origin;

void Put16(std::string& out, unsigned value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A BMP file with a BITMAPINFOHEADER, `colors` table entries (blue, green,
// red, 0) and no pixel data to speak of.
std::string Bmp(int width, int height, unsigned bitCount, const std::vector<CPaletteEntry>& colors,
                std::uint32_t colorsUsed)
{
    std::string info;
    Put32(info, 40);
    Put32(info, static_cast<std::uint32_t>(width));
    Put32(info, static_cast<std::uint32_t>(height));
    Put16(info, 1);
    Put16(info, bitCount);
    Put32(info, 0);
    Put32(info, 0);
    Put32(info, 2835);
    Put32(info, 2835);
    Put32(info, colorsUsed);
    Put32(info, 0);
    for (const auto& color : colors) {
        info.push_back(static_cast<char>(color.blue));
        info.push_back(static_cast<char>(color.green));
        info.push_back(static_cast<char>(color.red));
        info.push_back(0);
    }
    std::string file = "BM";
    Put32(file, static_cast<std::uint32_t>(14 + info.size() + 4));
    Put32(file, 0);
    Put32(file, static_cast<std::uint32_t>(14 + info.size()));
    return file + info + std::string(4, '\0');
}

const std::string kIcon = std::string("\0\0\1\0\1\0", 6) + std::string(16, 'i');

// The program's own media as a resource loader hands them out.
CCustomMedia Resource(Kind kind, int id)
{
    CCustomMedia media;
    media.kind = kind;
    media.origin = Origin::Resource;
    media.data = {static_cast<std::uint8_t>(id & 0xFF)};
    return media;
}

class CustomizationTest : public ::testing::Test {
protected:
    std::filesystem::path Program() const { return m_dir / "lumora"; }
    TempDir m_dir;
};

TEST_F(CustomizationTest, WithoutAFileEverythingIsTheProgramsOwn)
{
    m_dir.WriteFile("lumora", "");
    m_dir.WriteFile("notes.custom", "[source]\nCSRCM=NOT-ME\n"); // only "*.cust" counts
    CCustomization custom(Program());
    EXPECT_TRUE(custom.File().empty());
    EXPECT_EQ(custom.SourceModifier(), "");
    EXPECT_EQ(custom.SourceName(), "Tessaly Technologies");
    EXPECT_EQ(custom.FrameTemplate(), m_dir / "wvframesrc.htm");
    EXPECT_EQ(custom.MenuTemplate(), m_dir / "wvmenusrc.htm");
    EXPECT_TRUE(custom.AppIconLarge().Empty() && custom.Splash().Empty() && custom.ErrorSound().Empty());

    custom.CompleteFromResources(Resource);
    const std::pair<const CCustomMedia*, int> slots[] = {
        {&custom.AppIconLarge(), 202}, {&custom.AppIconSmall(), 202}, {&custom.TrayIconGood(), 243},
        {&custom.TrayIconBad(), 244},  {&custom.AboutIcon(), 202},    {&custom.ErrorSound(), 120},
        {&custom.Splash(), 211},       {&custom.Banner(), 203},
    };
    for (const auto& [slot, id] : slots) {
        EXPECT_EQ(slot->origin, Origin::Resource) << id;
        EXPECT_EQ(slot->resourceId, id);
    }
    EXPECT_EQ(custom.BackgroundColor(), CCustomization::kWhite);
}

TEST_F(CustomizationTest, EveryKeyOfTheFile)
{
    m_dir.WriteFile("lumora", "");
    m_dir.WriteFile("media/app.ico", kIcon);
    m_dir.WriteFile("media/bad.png", "\x89PNG\r\n\x1a\n....");
    m_dir.WriteFile("media/error.wav", "RIFF....WAVEfmt sound bytes");
    m_dir.WriteFile("media/splash.bmp", Bmp(320, 200, 24, {}, 0));
    m_dir.WriteFile("media/banner.bmp",
                    Bmp(100, -40, 8, {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}}, 3));
    m_dir.WriteFile("acme.cust", "[source]\r\nCSRCM=ACME-1\r\nCSRCString=Acme Books\r\n"
                                 "[icons]\r\napp=media/app.ico\r\ntraybad=media/bad.png\r\nabout=\r\n"
                                 "[sounds]\r\nerror=media/error.wav\r\n"
                                 "[bitmaps]\r\nsplash=media/splash.bmp\r\nbanner=media/banner.bmp\r\n"
                                 "background=0 , 128 , 255\r\n"
                                 "[webview]\r\nframesrc=pages/frame.htm\r\n");
    CCustomization custom(Program());
    EXPECT_EQ(custom.File(), m_dir / "acme.cust");
    EXPECT_EQ(custom.SourceModifier(), "ACME-1");
    EXPECT_EQ(custom.SourceName(), "Acme Books");
    EXPECT_EQ(custom.AppIconLarge().origin, Origin::File);
    EXPECT_EQ(custom.AppIconLarge().width, 32);
    EXPECT_EQ(custom.AppIconSmall().width, 16) << "the app icon is taken twice, large and small";
    EXPECT_EQ(std::string(custom.AppIconSmall().data.begin(), custom.AppIconSmall().data.end()), kIcon);
    EXPECT_EQ(custom.TrayIconBad().file, m_dir / "media/bad.png");
    EXPECT_TRUE(custom.TrayIconGood().Empty());
    EXPECT_TRUE(custom.AboutIcon().Empty()) << "an empty value leaves the slot empty";
    EXPECT_EQ(std::string(custom.ErrorSound().data.begin(), custom.ErrorSound().data.end()),
              "RIFF....WAVEfmt sound bytes");

    EXPECT_EQ(custom.Splash().width, 320);
    EXPECT_EQ(custom.Splash().height, 200);
    EXPECT_TRUE(custom.Splash().palette.empty()) << "24 bits per pixel: no palette";
    EXPECT_EQ(custom.Banner().height, 40) << "a top-down bitmap";
    EXPECT_EQ(custom.Banner().palette,
              (std::vector<CPaletteEntry>{{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}}));
    EXPECT_EQ(custom.BackgroundColor(), 0xFF8000u);
    EXPECT_EQ(custom.FrameTemplate(), m_dir / "pages/frame.htm");
    EXPECT_EQ(custom.MenuTemplate(), m_dir / "wvmenusrc.htm") << "the key's default";

    custom.CompleteFromResources(Resource);
    EXPECT_EQ(custom.AppIconLarge().origin, Origin::File) << "filled slots stay";
    EXPECT_EQ(custom.TrayIconGood().resourceId, 243);
    EXPECT_EQ(custom.AboutIcon().resourceId, 202);
    EXPECT_EQ(custom.BackgroundColor(), 0xFF8000u) << "a custom banner keeps the custom colour";
}

TEST_F(CustomizationTest, OnlyTrayBadFromTheFile)
{
    m_dir.WriteFile("lumora", "");
    m_dir.WriteFile("bad.ico", kIcon);
    m_dir.WriteFile("x.cust", "[icons]\ntraybad=bad.ico\n[bitmaps]\nbackground=1,2,3\n");
    CCustomization custom(Program());
    custom.CompleteFromResources(Resource);
    EXPECT_EQ(custom.TrayIconBad().origin, Origin::File);
    for (const CCustomMedia* icon :
         {&custom.AppIconLarge(), &custom.AppIconSmall(), &custom.TrayIconGood(), &custom.AboutIcon()})
        EXPECT_EQ(icon->origin, Origin::Resource);
    EXPECT_EQ(custom.BackgroundColor(), CCustomization::kWhite) << "a resource banner resets the colour";
}

TEST_F(CustomizationTest, UnusableMediaFallBack)
{
    m_dir.WriteFile("lumora", "");
    m_dir.WriteFile("text.ico", "just text");
    std::string truncated = Bmp(16, 16, 8, {{1, 2, 3, 0}}, 200); // says 200 colours, holds one
    m_dir.WriteFile("short.bmp", truncated);
    m_dir.WriteFile("wide.bmp", Bmp(100000, 1, 24, {}, 0));
    m_dir.WriteFile("x.cust", "[icons]\napp=missing.ico\ntraygood=text.ico\n[sounds]\nerror=missing.wav\n"
                              "[bitmaps]\nsplash=short.bmp\nbanner=wide.bmp\n");
    CCustomization custom(Program());
    for (const CCustomMedia* slot : {&custom.AppIconLarge(), &custom.TrayIconGood(), &custom.ErrorSound(),
                                     &custom.Splash(), &custom.Banner()})
        EXPECT_TRUE(slot->Empty()) << slot->file;
    custom.CompleteFromResources(Resource);
    EXPECT_EQ(custom.Splash().resourceId, 211);
    EXPECT_EQ(custom.ErrorSound().kind, Kind::Sound);
}

TEST_F(CustomizationTest, FirstFileInNameOrderAndInFolders)
{
    m_dir.WriteFile("lumora", "");
    m_dir.WriteFile("b.cust", "[source]\nCSRCM=B\n");
    m_dir.WriteFile("c.CUST", "[source]\nCSRCM=C\n");
    EXPECT_EQ(CCustomization(Program()).SourceModifier(), "B");

    m_dir.WriteFile("a.cust/empty.txt", "");
    EXPECT_EQ(CCustomization(Program()).SourceModifier(), "B") << "a folder without a file is passed over";
    m_dir.WriteFile("a.cust/inner/deep.cust", "[source]\nCSRCM=NOT-LISTED\n");
    EXPECT_EQ(CCustomization(Program()).SourceModifier(), "B") << "only folders named *.cust are searched";
    m_dir.WriteFile("a.cust/in.cust", "[source]\nCSRCM=INSIDE\n");
    EXPECT_EQ(CCustomization(Program()).SourceModifier(), "INSIDE");
}

TEST(Customization, BackgroundColourText)
{
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t color;
    } const cases[] = {
        {"0,128,255", true, 0xFF8000},
        {"255,255,255", true, 0xFFFFFF},
        {"0 , 128 , 255", true, 0xFF8000},
        {"1,\t2 ,3  ", true, 0x030201},
        {"256,257,511", true, 0xFF0100},
        {"007,0,0", true, 0x000007},
        {"0,128", false, 0},
        {"0,128,255x", false, 0},
        {" 0,128,255", false, 0},
        {"", false, 0},
        {"1,,2", false, 0},
        {"1, 2, 3,", false, 0},
        {"1 2,3,4", false, 0},
        {"-1,2,3", false, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t color = 0xABCDEF;
        EXPECT_EQ(CCustomization::ParseBackgroundColor(c.text, color), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(color, c.ok ? c.color : 0xABCDEFu) << '"' << c.text << '"';
    }
}

TEST(Customization, BitmapHeaders)
{
    struct Case {
        std::string bytes;
        bool ok;
        std::size_t paletteSize;
    } const cases[] = {
        {Bmp(8, 8, 4, std::vector<CPaletteEntry>(16), 0), true, 16}, // no count: 2^bits entries
        {Bmp(8, 8, 1, std::vector<CPaletteEntry>(2), 2), true, 2},
        {Bmp(8, 8, 8, std::vector<CPaletteEntry>(256), 300), true, 256}, // never more than 256
        {Bmp(8, 8, 32, {}, 0), true, 0},
        {Bmp(0, 8, 24, {}, 0), false, 0},
        {Bmp(8, 8, 7, {}, 0), false, 0},
        {Bmp(8, 8, 24, {}, 0).substr(0, 30), false, 0},
        {"BM", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        CCustomMedia bitmap;
        bitmap.data.assign(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(CCustomization::ReadBitmapInfo(bitmap), c.ok) << c.bytes.size();
        EXPECT_EQ(bitmap.palette.size(), c.paletteSize);
    }
}

TEST(Customization, ProgramPathWithoutAFolderIsAnInternalError)
{
    EXPECT_THROW(CCustomization(std::filesystem::path("lumora")), TSInternalError);
}

} // namespace

TEST_F(CustomizationTest, ErrorSoundPlaysFromMemoryWhenThereIsAnOutput)
{
    m_dir.WriteFile("lumora", "");
    m_dir.WriteFile("error.wav", "RIFF....WAVEfmt sound bytes");
    m_dir.WriteFile("x.cust", "[sounds]\nerror=error.wav\n");
    const auto heard = m_dir / "heard";
    CCustomization custom(Program(),
                          platform::SoundPlayer::Command{"/bin/sh", "-c", "cat > '" + heard.string() + "'"});
    std::filesystem::remove(m_dir / "error.wav"); // played from memory, not from the file
    ASSERT_TRUE(custom.PlayErrorSound());
    for (int i = 0; i < 1000 && custom.ErrorSoundPlaying(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(TempDir::ReadFile(heard), "RIFF....WAVEfmt sound bytes");

    CCustomization noOutput(Program(), platform::SoundPlayer::Command{});
    EXPECT_FALSE(noOutput.PlayErrorSound()) << "no wave output: nothing plays";
    std::filesystem::remove(m_dir / "x.cust");
    CCustomization noSound(Program(), platform::SoundPlayer::Command{"/bin/sh", "-c", "cat > /dev/null"});
    EXPECT_FALSE(noSound.PlayErrorSound()) << "no sound loaded";
}
