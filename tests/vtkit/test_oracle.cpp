// Our validity verdicts against python3-stdnum on random retail codes, valid
// and corrupted. Differences the code rules call for are named below; any
// other disagreement fails.
#include "tests/support/tempdir.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdean.h"
#include "vtkit/cdisbn.h"
#include "vtkit/cdupc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace {

enum class Kind { Ean13, Ean8, UpcA, UpcE, Isbn10 };
constexpr std::array<Kind, 5> kKinds = {Kind::Ean13, Kind::Ean8, Kind::UpcA, Kind::UpcE, Kind::Isbn10};
constexpr int kTextsPerKind = 24000;

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Ean13:
        return "EAN13";
    case Kind::Ean8:
        return "EAN8";
    case Kind::UpcA:
        return "UPCA";
    case Kind::UpcE:
        return "UPCE";
    case Kind::Isbn10:
        return "ISBN10";
    }
    return "";
}

struct Sample {
    Kind kind;
    std::string text;
};

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    Sample Next(Kind kind)
    {
        std::string text = Valid(kind);
        if (Chance(60))
            Corrupt(text);
        return {kind, text};
    }

private:
    bool Chance(unsigned percent) { return m_rng() % 100 < percent; }
    char Digit() { return static_cast<char>('0' + m_rng() % 10); }
    std::size_t Below(std::size_t n) { return m_rng() % n; }

    std::string Digits(std::size_t count)
    {
        std::string s;
        for (std::size_t i = 0; i < count; ++i)
            s.push_back(Digit());
        return s;
    }

    // A code that our own check digits call valid.
    std::string Valid(Kind kind)
    {
        switch (kind) {
        case Kind::Ean13: {
            // Book numbers often enough to cover the BookLand split.
            const std::string body = Chance(25) ? "978" + Digits(9) : Digits(12);
            return body + VTEan13Code::CheckDigit(body);
        }
        case Kind::Ean8: {
            const std::string body = Digits(7);
            return body + VTEan8Code::CheckDigit(body);
        }
        case Kind::UpcA: {
            const std::string body = Digits(11);
            return body + VTUpcACode::CheckDigit(body);
        }
        case Kind::UpcE:
            return UpcE();
        case Kind::Isbn10: {
            const std::string body = Chance(5) ? "978" + Digits(6) : Digits(9);
            std::string code = body + VTIsbnCode::CheckDigit(body);
            if (code.back() == 'X' && Chance(30))
                code.back() = 'x';
            return code;
        }
        }
        return {};
    }

    // A number system 0 or 1, six data digits and the check digit whose
    // expansion is valid (or, now and then, a digit that is not).
    std::string UpcE()
    {
        std::string code = std::string(1, Chance(85) ? '0' : '1') + Digits(6) + "0";
        std::string probe = code;
        probe[0] = '0';
        for (char c = '0'; c <= '9'; ++c) {
            probe.back() = c;
            std::string expanded;
            if (VTUpcECode::ExpandUpcE(probe, expanded))
                code.back() = VTUpcACode::CheckDigit(std::string(1, code[0]) + expanded.substr(1));
        }
        return code;
    }

    void Corrupt(std::string& text)
    {
        const std::size_t at = Below(text.size());
        switch (m_rng() % 9) {
        case 0:
            text[at] = Digit();
            break;
        case 1:
            if (at + 1 < text.size())
                std::swap(text[at], text[at + 1]);
            break;
        case 2:
            text.erase(at, 1);
            break;
        case 3:
            text.insert(at, 1, Digit());
            break;
        case 4:
            text.insert(at, 1, Chance(50) ? ' ' : '-');
            break;
        case 5:
            text[at] = static_cast<char>(0x21 + m_rng() % 94);
            break;
        case 6:
            text.append(Digits(Chance(50) ? 2 : 5));
            break;
        case 7:
            text = Digits(text.size());
            break;
        case 8:
            text.back() = Chance(50) ? 'X' : 'x';
            break;
        }
    }

    std::mt19937 m_rng;
};

bool Ours(const Sample& s)
{
    switch (s.kind) {
    case Kind::Ean13:
        return VTEan13Code::ValidlyFormed(s.text, true, false) ||
               VTBookLandCode::ValidlyFormed(s.text, true, false);
    case Kind::Ean8:
        return VTEan8Code::ValidlyFormed(s.text, true);
    case Kind::UpcA:
        return VTUpcACode::ValidlyFormed(s.text, true, false);
    case Kind::UpcE:
        return VTUpcECode::ValidlyFormed(s.text, true, false);
    case Kind::Isbn10:
        return VTIsbnCode::ValidlyFormed(s.text, true);
    }
    return false;
}

// The same verdict as analysis gives it to a typed text.
bool OfferedByAnalysis(const Sample& s)
{
    std::vector<VTCodeType> candidates;
    AnalyzeCode(s.text, candidates, kScanTypeUnknown, false);
    const auto has = [&](VTCodeType type) {
        return std::find(candidates.begin(), candidates.end(), type) != candidates.end();
    };
    switch (s.kind) {
    case Kind::Ean13:
        return has(kCodeEan13) || has(kCodeBookLand);
    case Kind::Ean8:
        return has(kCodeEan8);
    case Kind::UpcA:
        return has(kCodeUpcA);
    case Kind::UpcE:
        return has(kCodeUpcE);
    case Kind::Isbn10:
        return has(kCodeIsbn);
    }
    return false;
}

// Where the code rules deliberately part from the general standards; the
// reason, or nullptr when the oracle's verdict must be ours.
const char* MandatedDifference(const Sample& s, bool oracle)
{
    const std::string plain = StripSpacesAndDashes(s.text);
    if (s.kind == Kind::UpcE && oracle && plain[0] == '1')
        return "UPC-E is read in number system 0 only";
    if (s.kind == Kind::Isbn10 && oracle && plain.starts_with("978"))
        return "ten characters beginning 978 are a BookLand prefix, never an ISBN";
    return nullptr;
}

std::vector<bool> AskOracle(const std::vector<Sample>& samples)
{
    const TempDir dir;
    std::string batch;
    for (const auto& s : samples)
        batch.append(KindName(s.kind)).append("\t").append(s.text).append("\n");
    const auto in = dir.WriteFile("texts", batch);
    const auto out = dir / "verdicts";
    const std::string command = "/usr/bin/python3 '" LUMORA_SOURCE_DIR "/tests/vtkit/stdnum_oracle.py' '" +
                                in.string() + "' '" + out.string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    std::vector<bool> verdicts;
    std::istringstream lines(TempDir::ReadFile(out));
    for (std::string line; std::getline(lines, line);)
        verdicts.push_back(line == "1");
    return verdicts;
}

TEST(StdnumOracle, RetailValidityAgreesOnRandomCodes)
{
    Generator generator(20240611);
    std::vector<Sample> samples;
    for (int i = 0; i < kTextsPerKind; ++i)
        for (const Kind kind : kKinds)
            samples.push_back(generator.Next(kind));
    const std::vector<bool> oracle = AskOracle(samples);
    ASSERT_EQ(oracle.size(), samples.size());

    std::map<std::string, int> mandated;
    std::array<int, kKinds.size()> validByOracle{};
    int disagreements = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const bool ours = Ours(s);
        EXPECT_EQ(OfferedByAnalysis(s), ours) << KindName(s.kind) << " '" << s.text << "'";
        validByOracle[static_cast<std::size_t>(s.kind)] += oracle[i];
        if (ours == oracle[i])
            continue;
        if (const char* reason = MandatedDifference(s, oracle[i])) {
            ++mandated[reason];
            continue;
        }
        if (++disagreements <= 20)
            ADD_FAILURE() << KindName(s.kind) << " '" << s.text << "': ours " << ours << ", stdnum "
                          << oracle[i];
    }
    EXPECT_EQ(disagreements, 0);
    // The sample must hold plenty of both verdicts for every kind, and the
    // named differences must actually have been met.
    for (const Kind kind : kKinds) {
        const int valid = validByOracle[static_cast<std::size_t>(kind)];
        EXPECT_GT(valid, kTextsPerKind / 4) << KindName(kind);
        EXPECT_LT(valid, kTextsPerKind * 3 / 4) << KindName(kind);
    }
    EXPECT_EQ(mandated.size(), 2u);
    for (const auto& [reason, count] : mandated)
        std::cout << count << " texts differ as mandated: " << reason << '\n';
}

} // namespace
