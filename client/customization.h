#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/soundplay.h"

// One colour of a bitmap's logical palette.
struct CPaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
    bool operator==(const CPaletteEntry&) const = default;
};

// An icon, sound or bitmap held in memory, from the customisation file or
// from the program's own resources. The window layer makes pixmaps and
// sounds of the bytes.
struct CCustomMedia {
    enum class Kind { Icon, Sound, Bitmap };
    enum class Origin { None, File, Resource };
    static constexpr std::uint16_t kPaletteVersion = 0x300;

    Kind kind = Kind::Icon;
    Origin origin = Origin::None;
    int resourceId = 0;         // when from the program's resources
    std::filesystem::path file; // when from a file
    std::vector<std::uint8_t> data;
    int width = 0; // icons: the size asked for; bitmaps: their own
    int height = 0;
    std::vector<CPaletteEntry> palette; // bitmaps of 8 bits or fewer per pixel

    bool Empty() const { return origin == Origin::None; }
};

// The look of a distribution: a "*.cust" initialisation file beside the
// program names the distributor and replaces icons, the error sound, the
// splash and banner bitmaps, the background colour and the web view's page
// templates. Whatever it does not give comes from the program.
class CCustomization {
public:
    static constexpr std::size_t kValueBufferSize = 1024;
    static constexpr std::size_t kMaxMediaBytes = 32u << 20;
    static constexpr int kMaxBitmapSide = 16384;
    static constexpr std::size_t kMaxSearchDepth = 16;
    static constexpr const char* kDefaultSourceName = "Tessaly Technologies";
    static constexpr std::uint32_t kWhite = 0xFFFFFF;

    // The program's resources the media fall back to.
    static constexpr int kIconApp = 202;
    static constexpr int kIconTrayGood = 243;
    static constexpr int kIconTrayBad = 244;
    static constexpr int kSoundError = 120;
    static constexpr int kBitmapSplash = 211;
    static constexpr int kBitmapBanner = 203;

    // Reads the customisation file of the program's folder, if there is
    // one; `programPath` empty means the running program. The wave output
    // is looked for once, here; `soundOutput` names a player instead.
    explicit CCustomization(const std::filesystem::path& programPath = {},
                            std::optional<platform::SoundPlayer::Command> soundOutput = std::nullopt);
    ~CCustomization();

    // Gives the program's resource for one item, or an empty media.
    using ResourceLoader = std::function<CCustomMedia(CCustomMedia::Kind kind, int resourceId)>;
    // Fills every media slot still empty from the program's resources:
    // icons, sound, splash, banner. A banner from the resources resets the
    // background to white.
    void CompleteFromResources(const ResourceLoader& loader);

    const std::filesystem::path& File() const { return m_file; }
    const std::string& SourceModifier() const { return m_sourceModifier; }
    std::string SourceName() const { return m_sourceName; }
    const CCustomMedia& AppIconLarge() const { return m_appIconLarge; }
    const CCustomMedia& AppIconSmall() const { return m_appIconSmall; }
    const CCustomMedia& TrayIconGood() const { return m_trayIconGood; }
    const CCustomMedia& TrayIconBad() const { return m_trayIconBad; }
    const CCustomMedia& AboutIcon() const { return m_aboutIcon; }
    const CCustomMedia& ErrorSound() const { return m_errorSound; }
    const CCustomMedia& Splash() const { return m_splash; }
    const CCustomMedia& Banner() const { return m_banner; }
    // Red in the low byte, then green, then blue.
    std::uint32_t BackgroundColor() const { return m_background; }
    const std::filesystem::path& FrameTemplate() const { return m_frameTemplate; }
    const std::filesystem::path& MenuTemplate() const { return m_menuTemplate; }

    // Stops any sound still playing and plays the error sound in the
    // background, once or until stopped. False, and silent, when there is no
    // wave output or no sound.
    bool PlayErrorSound(bool loop = false);
    void StopErrorSound();
    bool ErrorSoundPlaying() const;

    // "R,G,B": a digit first, blanks allowed after each number and comma,
    // each number taken modulo 256. False (colour unchanged) otherwise.
    static bool ParseBackgroundColor(std::string_view text, std::uint32_t& color);
    // Width, height and palette of a BMP file's bytes; false when its
    // headers cannot be read.
    static bool ReadBitmapInfo(CCustomMedia& bitmap);

private:
    static std::filesystem::path FindFile(const std::filesystem::path& folder, std::size_t depth);
    void ReadFile(const std::filesystem::path& file);
    static CCustomMedia LoadIcon(const std::filesystem::path& file, int size);
    static CCustomMedia LoadSound(const std::filesystem::path& file);
    static CCustomMedia LoadBitmap(const std::filesystem::path& file);

    std::filesystem::path m_folder;
    std::filesystem::path m_file;
    std::string m_sourceModifier;
    std::string m_sourceName = kDefaultSourceName;
    CCustomMedia m_appIconLarge;
    CCustomMedia m_appIconSmall;
    CCustomMedia m_trayIconGood;
    CCustomMedia m_trayIconBad;
    CCustomMedia m_aboutIcon;
    CCustomMedia m_errorSound;
    CCustomMedia m_splash;
    CCustomMedia m_banner;
    std::uint32_t m_background = kWhite;
    std::filesystem::path m_frameTemplate;
    std::filesystem::path m_menuTemplate;
    std::unique_ptr<platform::SoundPlayer> m_soundPlayer;
};
