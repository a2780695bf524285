#include "client/customization.h"

#include "platform/atomicfile.h"
#include "platform/folders.h"
#include "platform/inifile.h"
#include "tst/tsexcep.h"

#include <algorithm>
#include <system_error>

namespace {

constexpr long kLineNoProgramPath = 121;
constexpr long kLineNoProgramFolder = 394;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

CCustomMedia EmptyMedia(CCustomMedia::Kind kind)
{
    CCustomMedia media;
    media.kind = kind;
    return media;
}

bool ReadMedia(const std::filesystem::path& file, CCustomMedia& media)
{
    std::string bytes;
    if (!platform::ReadWholeFile(file, bytes, CCustomization::kMaxMediaBytes))
        return false;
    media.data.assign(bytes.begin(), bytes.end());
    media.file = file;
    media.origin = CCustomMedia::Origin::File;
    return true;
}

// Formats an icon can come in: Windows icons and cursors, PNG, BMP, XPM, SVG.
bool LooksLikeIcon(const std::vector<std::uint8_t>& data)
{
    const auto startsWith = [&](std::string_view magic) {
        return data.size() >= magic.size() &&
               std::equal(magic.begin(), magic.end(), data.begin(),
                          [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    };
    if (startsWith(std::string_view("\0\0\1\0", 4)) || startsWith(std::string_view("\0\0\2\0", 4)) ||
        startsWith("\x89PNG\r\n\x1a\n") || startsWith("BM") || startsWith("/* XPM */"))
        return true;
    const std::string_view head(reinterpret_cast<const char*>(data.data()),
                                std::min<std::size_t>(data.size(), 1024));
    return head.find("<svg") != std::string_view::npos;
}

class LittleEndian {
public:
    explicit LittleEndian(const std::vector<std::uint8_t>& data) : m_data(data) {}
    bool Has(std::size_t offset, std::size_t count) const
    {
        return offset <= m_data.size() && count <= m_data.size() - offset;
    }
    std::uint32_t U16(std::size_t at) const { return m_data[at] | (m_data[at + 1] << 8); }
    std::uint32_t U32(std::size_t at) const
    {
        return U16(at) | (static_cast<std::uint32_t>(U16(at + 2)) << 16);
    }
    std::uint8_t Byte(std::size_t at) const { return m_data[at]; }

private:
    const std::vector<std::uint8_t>& m_data;
};

} // namespace

CCustomization::CCustomization(const std::filesystem::path& programPath,
                               std::optional<platform::SoundPlayer::Command> soundOutput)
    : m_soundPlayer(std::make_unique<platform::SoundPlayer>(
          soundOutput ? std::move(*soundOutput) : platform::SoundPlayer::FindOutput()))
{
    const std::filesystem::path program = programPath.empty() ? platform::ProgramPath() : programPath;
    if (program.empty())
        RaiseInternalError("customization", kLineNoProgramPath, "program path not available");
    if (!program.has_parent_path())
        RaiseInternalError("customization", kLineNoProgramFolder, "program path has no folder");
    m_folder = program.parent_path();
    m_errorSound.kind = CCustomMedia::Kind::Sound;
    m_splash.kind = m_banner.kind = CCustomMedia::Kind::Bitmap;
    m_frameTemplate = m_folder / "wvframesrc.htm";
    m_menuTemplate = m_folder / "wvmenusrc.htm";
    m_file = FindFile(m_folder, 0);
    if (!m_file.empty())
        ReadFile(m_file);
}

CCustomization::~CCustomization() = default;

bool CCustomization::PlayErrorSound(bool loop)
{
    if (m_errorSound.Empty())
        return false;
    return m_soundPlayer->Play(m_errorSound.data, loop);
}

void CCustomization::StopErrorSound()
{
    m_soundPlayer->Stop();
}

bool CCustomization::ErrorSoundPlaying() const
{
    return m_soundPlayer->IsPlaying();
}

std::filesystem::path CCustomization::FindFile(const std::filesystem::path& folder, std::size_t depth)
{
    if (depth > kMaxSearchDepth)
        return {};
    std::error_code error;
    // Names in byte order, so that "first" means the same on every system.
    std::vector<std::filesystem::path> matches;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (platform::NameHasSuffix(it->path().filename().string(), ".cust"))
            matches.push_back(it->path());
    std::sort(matches.begin(), matches.end());
    for (const auto& match : matches) {
        if (std::filesystem::is_regular_file(match, error))
            return match;
        if (std::filesystem::is_directory(match, error) && !std::filesystem::is_symlink(match, error))
            if (auto found = FindFile(match, depth + 1); !found.empty())
                return found;
    }
    return {};
}

void CCustomization::ReadFile(const std::filesystem::path& file)
{
    platform::IniFile ini;
    if (!ini.Load(file))
        return;
    const auto value = [&](const char* section, const char* key, const char* fallback = "") {
        return ini.GetString(section, key, fallback, kValueBufferSize);
    };
    // Media paths may be relative to the customisation file's own folder.
    const auto media = [&](const char* section, const char* key) -> std::filesystem::path {
        const std::string path = value(section, key);
        return path.empty() ? std::filesystem::path() : file.parent_path() / path;
    };

    m_sourceModifier = value("source", "CSRCM");
    if (const std::string name = value("source", "CSRCString"); !name.empty())
        m_sourceName = name;

    if (const auto app = media("icons", "app"); !app.empty()) {
        m_appIconLarge = LoadIcon(app, 32);
        m_appIconSmall = LoadIcon(app, 16);
    }
    if (const auto good = media("icons", "traygood"); !good.empty())
        m_trayIconGood = LoadIcon(good, 32);
    if (const auto bad = media("icons", "traybad"); !bad.empty())
        m_trayIconBad = LoadIcon(bad, 32);
    if (const auto about = media("icons", "about"); !about.empty())
        m_aboutIcon = LoadIcon(about, 32);
    if (const auto sound = media("sounds", "error"); !sound.empty())
        m_errorSound = LoadSound(sound);
    if (const auto splash = media("bitmaps", "splash"); !splash.empty())
        m_splash = LoadBitmap(splash);
    if (const auto banner = media("bitmaps", "banner"); !banner.empty())
        m_banner = LoadBitmap(banner);
    ParseBackgroundColor(value("bitmaps", "background", "255,255,255"), m_background);

    m_frameTemplate = m_folder / value("webview", "framesrc", "wvframesrc.htm");
    m_menuTemplate = m_folder / value("webview", "menusrc", "wvmenusrc.htm");
}

CCustomMedia CCustomization::LoadIcon(const std::filesystem::path& file, int size)
{
    CCustomMedia icon;
    icon.kind = CCustomMedia::Kind::Icon;
    if (!ReadMedia(file, icon) || !LooksLikeIcon(icon.data))
        return EmptyMedia(CCustomMedia::Kind::Icon);
    icon.width = icon.height = size;
    return icon;
}

CCustomMedia CCustomization::LoadSound(const std::filesystem::path& file)
{
    CCustomMedia sound;
    sound.kind = CCustomMedia::Kind::Sound;
    if (!ReadMedia(file, sound))
        return EmptyMedia(CCustomMedia::Kind::Sound);
    return sound;
}

CCustomMedia CCustomization::LoadBitmap(const std::filesystem::path& file)
{
    CCustomMedia bitmap;
    bitmap.kind = CCustomMedia::Kind::Bitmap;
    if (!ReadMedia(file, bitmap) || !ReadBitmapInfo(bitmap))
        return EmptyMedia(CCustomMedia::Kind::Bitmap);
    return bitmap;
}

bool CCustomization::ReadBitmapInfo(CCustomMedia& bitmap)
{
    const LittleEndian bytes(bitmap.data);
    constexpr std::size_t kInfo = 14; // after the file header
    if (!bytes.Has(0, kInfo + 4) || bytes.Byte(0) != 'B' || bytes.Byte(1) != 'M')
        return false;
    const std::uint32_t headerSize = bytes.U32(kInfo);
    const bool core = headerSize == 12;
    if (!core && headerSize < 40)
        return false;
    if (!bytes.Has(kInfo, headerSize))
        return false;
    std::int64_t width = 0, height = 0;
    std::uint32_t planes = 0, bitCount = 0, colorsUsed = 0;
    if (core) {
        width = bytes.U16(kInfo + 4);
        height = bytes.U16(kInfo + 6);
        planes = bytes.U16(kInfo + 8);
        bitCount = bytes.U16(kInfo + 10);
    } else {
        width = static_cast<std::int32_t>(bytes.U32(kInfo + 4));
        height = static_cast<std::int32_t>(bytes.U32(kInfo + 8)); // negative: top-down
        planes = bytes.U16(kInfo + 12);
        bitCount = bytes.U16(kInfo + 14);
        colorsUsed = bytes.U32(kInfo + 32);
    }
    height = height < 0 ? -height : height;
    const bool knownDepth =
        bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide || planes != 1 ||
        !knownDepth)
        return false;
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    bitmap.palette.clear();
    if (bitCount * planes > 8)
        return true;
    // The colour table follows the header: blue, green, red (and a spare byte).
    const std::size_t entrySize = core ? 3 : 4;
    const std::size_t entries = std::min<std::size_t>(colorsUsed ? colorsUsed : (1u << bitCount), 256);
    const std::size_t table = kInfo + headerSize;
    if (!bytes.Has(table, entries * entrySize))
        return false;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t at = table + i * entrySize;
        bitmap.palette.push_back({bytes.Byte(at + 2), bytes.Byte(at + 1), bytes.Byte(at), 0});
    }
    return true;
}

bool CCustomization::ParseBackgroundColor(std::string_view text, std::uint32_t& color)
{
    std::uint8_t parts[3] = {0, 0, 0};
    std::size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != ',')
                return false;
            ++at;
            while (at < text.size() && IsBlank(text[at]))
                ++at;
        }
        if (at >= text.size() || text[at] < '0' || text[at] > '9')
            return false;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            parts[part] = static_cast<std::uint8_t>(parts[part] * 10 + (text[at++] - '0'));
        while (at < text.size() && IsBlank(text[at]))
            ++at;
    }
    if (at != text.size())
        return false;
    color = parts[0] | (parts[1] << 8) | (static_cast<std::uint32_t>(parts[2]) << 16);
    return true;
}

void CCustomization::CompleteFromResources(const ResourceLoader& loader)
{
    const auto fill = [&](CCustomMedia& slot, CCustomMedia::Kind kind, int id) {
        if (!slot.Empty())
            return false;
        slot = loader(kind, id);
        if (!slot.Empty()) {
            slot.origin = CCustomMedia::Origin::Resource;
            slot.resourceId = id;
        }
        return true;
    };
    fill(m_appIconLarge, CCustomMedia::Kind::Icon, kIconApp);
    fill(m_appIconSmall, CCustomMedia::Kind::Icon, kIconApp);
    fill(m_trayIconGood, CCustomMedia::Kind::Icon, kIconTrayGood);
    fill(m_trayIconBad, CCustomMedia::Kind::Icon, kIconTrayBad);
    fill(m_aboutIcon, CCustomMedia::Kind::Icon, kIconApp);
    fill(m_errorSound, CCustomMedia::Kind::Sound, kSoundError);
    fill(m_splash, CCustomMedia::Kind::Bitmap, kBitmapSplash);
    // The custom colour belongs to the custom banner.
    if (fill(m_banner, CCustomMedia::Kind::Bitmap, kBitmapBanner))
        m_background = kWhite;
}
