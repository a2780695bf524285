#include "platform/soundplay.h"

#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>

using platform::SoundPlayer;

namespace {

constexpr std::uint32_t kPcm = 1;

// A short WAVE: 8 kHz, 16-bit mono silence, PCM unless told otherwise.
std::vector<std::uint8_t> Wave(std::uint32_t frames, std::uint32_t format = kPcm)
{
    std::vector<std::uint8_t> wave;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wave.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const auto tag = [&](std::string_view text) {
        for (const char c : text)
            wave.push_back(static_cast<std::uint8_t>(c));
    };
    const std::uint32_t dataBytes = frames * 2;
    tag("RIFF"), put(36 + dataBytes, 4), tag("WAVE");
    tag("fmt "), put(16, 4), put(format, 2), put(1, 2), put(8000, 4), put(16000, 4), put(2, 2), put(16, 2);
    tag("data"), put(dataBytes, 4);
    wave.resize(wave.size() + dataBytes, 0);
    return wave;
}

template <typename Predicate> bool WaitFor(Predicate done)
{
    for (int i = 0; i < 1000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

// A player that keeps what it is given, so the test sees the bytes handed over.
SoundPlayer::Command Recorder(const std::filesystem::path& out, const std::string& after = "")
{
    return {"/bin/sh", "-c",
            "cat >> '" + out.string() + "'; echo end >> '" + out.string() + ".runs'" + after};
}

std::vector<std::uint8_t> Bytes(const std::filesystem::path& file)
{
    const std::string text = TempDir::ReadFile(file);
    return {text.begin(), text.end()};
}

} // namespace

TEST(SoundPlayer, ChoosesTheSoundServersPlayerWhenOneAnswers)
{
    TempDir dir;
    dir.WriteFile("bin/paplay", "#!/bin/sh\n");
    std::filesystem::permissions(dir / "bin/paplay", std::filesystem::perms::owner_all);
    dir.WriteFile("run/pulse/native", "");
    const std::string bin = (dir / "bin").string();
    const std::string run = (dir / "run").string();
    ScopedEnv path("PATH", bin.c_str());
    ScopedEnv server("PULSE_SERVER", nullptr);
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", run.c_str());
        EXPECT_EQ(SoundPlayer::FindOutput(), SoundPlayer::Command{(dir / "bin/paplay").string()});
    }
    ScopedEnv noServer("XDG_RUNTIME_DIR", (dir / "bin").c_str());
    const auto output = SoundPlayer::FindOutput();
    EXPECT_TRUE(output.empty() || output.front().ends_with("aplay")) << "no server answers: not paplay";
}

TEST(SoundPlayer, NothingPlaysWithoutAnOutputOrASound)
{
    SoundPlayer silent(SoundPlayer::Command{});
    EXPECT_FALSE(silent.HasOutput());
    EXPECT_FALSE(silent.Play(Wave(10), false));
    EXPECT_FALSE(silent.IsPlaying());

    TempDir dir;
    SoundPlayer player(Recorder(dir / "out"));
    EXPECT_FALSE(player.Play({}, false));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.runs")) << "no player started for an empty sound";
}

TEST(SoundPlayer, HandsTheWholeSoundToThePlayerOnce)
{
    TempDir dir;
    const auto wave = Wave(40000);
    SoundPlayer player(Recorder(dir / "out"));
    ASSERT_TRUE(player.Play(wave, false));
    ASSERT_TRUE(WaitFor([&] { return !player.IsPlaying(); }));
    EXPECT_EQ(Bytes(dir / "out"), wave);
    EXPECT_EQ(TempDir::ReadFile(dir / "out.runs"), "end\n");
}

TEST(SoundPlayer, LoopsUntilStoppedAndPlayingAgainStopsTheFirstSound)
{
    TempDir dir;
    const auto wave = Wave(100);
    SoundPlayer player(Recorder(dir / "out"));
    ASSERT_TRUE(player.Play(wave, true));
    ASSERT_TRUE(WaitFor([&] { return TempDir::ReadFile(dir / "out.runs").size() >= 3 * 4; }));
    EXPECT_TRUE(player.IsPlaying());
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    const std::string runs = TempDir::ReadFile(dir / "out.runs");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(TempDir::ReadFile(dir / "out.runs"), runs) << "no player starts after Stop";
    EXPECT_EQ(Bytes(dir / "out").size(), wave.size() * (runs.size() / 4)) << "every run got the whole sound";

    // A player that holds on: the next Play ends it before starting its own.
    SoundPlayer holding(
        Recorder(dir / "held", "; echo $$ > '" + (dir / "pid").string() + "'; exec sleep 60"));
    ASSERT_TRUE(holding.Play(wave, false));
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "pid"); }));
    const pid_t first = std::stoi(TempDir::ReadFile(dir / "pid"));
    ASSERT_TRUE(holding.Play(wave, false));
    EXPECT_NE(::kill(first, 0), 0) << "the first player is gone";
    holding.Stop();
    EXPECT_FALSE(holding.IsPlaying());
}

// aplay on ALSA's null device: a real player that checks the WAVE it reads.
TEST(SoundPlayer, RealPlayerAcceptsTheSoundAndAFailingPlayerIsNotRestarted)
{
    SoundPlayer player({"aplay", "-q", "-D", "null"});
    ASSERT_TRUE(player.Play(Wave(800), true));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(player.IsPlaying()) << "a good sound keeps looping";
    player.Stop();

    ASSERT_TRUE(player.Play(Wave(800, 0x9999), true));
    EXPECT_TRUE(WaitFor([&] { return !player.IsPlaying(); }))
        << "aplay refuses the format; no endless retries";
}
