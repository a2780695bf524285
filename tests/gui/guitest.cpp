#include "tests/gui/guitest.h"

#include <chrono>
#include <filesystem>

namespace {

struct Sample {
    const char* text;
    int type;
    int status;
    const char* generic;
    const char* item;
    const char* user;
    const char* serverId;
    const char* itemId;
    bool accessed;
};

// Codes of every type the way a list holds them after some use.
constexpr Sample kSamples[] = {
    {"036000291452", 2, 3, "Reference UPCA Code", "Oat Crunch cereal, 500 g", "", "036000", "29145", true},
    {"04252614", 3, 2, "Reference UPCE Code", "Pretzel bites, 60 g", "", "042100", "00526", false},
    {"4006381333931", 4, 2, "Reference EAN13 Code", "Fine-liner pen, black", "Office", "4006381", "33393",
     false},
    {"96385074", 5, 1, "EAN8 Code", "", "", "", "", false},
    {"080442957X", 6, 3, "Reference ISBN Code", "Field Guide to Printed Codes", "", "08044", "2957", true},
    {"9780306406157", 8, 2, "Reference Bookland Code", "Handbook of Linked Print", "", "030640", "615",
     false},
    {"42", 9, 1, "Numicode", "", "", "", "", false},
    {"PRINTSHOP/SPRING", 7, 2, "Lumora Code Unlinked", "", "Spring catalogue", "PRINTSHOP", "SPRING", false},
    {"687813053406", 1, 3, "Reference Lumora Code", "Lumora sample item", "", "6878", "13053", true},
    {"http://127.0.0.1:8470/item?type=URL&sid=URL&iid=welcome", 10, 1, "URL", "", "", "", "", false},
    {"12345678", 0, 0, "Ambiguous Code", "", "", "", "", false},
    {"4006381123457", 4, 2, "Reference EAN13 Code", "Highlighter, yellow", "", "4006381", "12345", false},
};

} // namespace

QStringList ShownCodes(const QAbstractItemModel& model)
{
    QStringList codes;
    for (int row = 0; row < model.rowCount(); ++row)
        codes << model.index(row, kColumnCode).data().toString();
    return codes;
}

ListFixture::ListFixture() : codes(language, settings)
{
    program.WriteFile("lumora", "");
    std::filesystem::copy_file(LUMORA_LIB_POR, program / "lumorapor.so");
    std::filesystem::copy_file(LUMORA_LIB_SPA, program / "lumoraspa.so");
    language.Initialize(program / "lumora");
    codes.SetClock([] { return std::chrono::system_clock::from_time_t(946684800); });
}

bool ListFixture::SelectLanguage(const std::string& code)
{
    return code == "en" ? language.SelectByNumber(0) : language.SelectByCode(code);
}

void ListFixture::Add(const std::string& text, int type, const std::string& description)
{
    CStoredCode entry;
    entry.codeText = text;
    entry.codeType = type;
    entry.genericDescription = codes.TypeName(type);
    entry.userDescription = description;
    codes.AddEntry(entry, true);
}

void ListFixture::Fill(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        CStoredCode entry;
        if (i < std::size(kSamples)) {
            const Sample& sample = kSamples[i];
            entry.codeText = sample.text;
            entry.codeType = sample.type;
            entry.status = sample.status;
            entry.genericDescription = sample.generic;
            entry.itemDescription = sample.item;
            entry.userDescription = sample.user;
            entry.serverId = sample.serverId;
            entry.itemId = sample.itemId;
            if (sample.accessed)
                entry.lastAccessed = "125911620000000000"; // an hour later
        } else {
            entry.codeText = std::to_string(10000 + i);
            entry.codeType = 9;
            entry.genericDescription = codes.TypeName(9);
        }
        entry.enterDate = kY2k;
        codes.AddEntry(entry, true);
    }
}
