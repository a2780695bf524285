#include "tests/vtkit/codetest.h"
#include "vtkit/cddescrip.h"
#include "vtkit/cdfmtlist.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

VTCodeFormat Display(VTCodeType type, const char* layout = "", char placeholder = 'X')
{
    VTCodeFormat format;
    format.SetCodeType(type);
    format.SetDisplayTemplate(layout);
    format.SetPlaceholder(placeholder);
    return format;
}

TEST(FormatForDisplay, TemplatesDefaultsAndPlaceholders)
{
    struct Case {
        VTCodeFormat format;
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {Display(kCodeUpcA), "036000291452", "0 36000 29145 2"},
        {Display(kCodeUpcA), "03600029145212", "0 36000 29145 212"},
        {Display(kCodeUpcA), "0-36000 291452", "0 36000 29145 2"},
        {Display(kCodeUpcE), "04252614", "0 425261 4"},
        {Display(kCodeEan13), "4006381333931", "4 006381 333931"},
        {Display(kCodeBookLand), "9780306406157", "9 780306 406157"},
        {Display(kCodeEan8), "96385074", "9638 5074"},
        {Display(kCodeIsbn), "080442957X", "0-804429-57-X"},
        {Display(kCodeIsbn, "", '#'), "080442957X", "0-804429-57-X"},
        {Display(kCodeNumi), "1-23", "1-23"},
        {Display(kCodeVanity), "ACME / 1-2", "ACME / 1-2"},
        {Display(kCodeUrl), "http://a.b/c d", "http://a.b/c d"},
        {Display(kCodeUnknown), "12 34-5", "12345"},
        {Display(kCodeVantrel), "237659", "237-659"},
        {Display(kCodeVantrel), "13258528", "1325-8528"},
        {Display(kCodeVantrel), "687813053406", "6878-1305-3406"},
        {Display(kCodeUnknown, "XXX-XXX"), "1234", "123-4"},
        {Display(kCodeUnknown, "XXX-XXX"), "123", "123"},
        {Display(kCodeUnknown, "XXX-XXX"), "12345678", "123-45678"},
        {Display(kCodeUpcA, "##-##", '#'), "12-3 4", "12-34"},
        // A template of its own is taken as it stands, whatever the placeholder.
        {Display(kCodeUpcA, "XX-XX", '#'), "1234", "XX-XX1234"},
        {Display(kCodeUpcA, "(X) X"), "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.format.FormatForDisplay(c.text), c.shown) << c.text;
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([] { VTCodeFormat().FormatForDisplay(static_cast<const char*>(nullptr)); })));
}

TEST(FormatForDisplay, VantrelGroupsByLength)
{
    const std::pair<std::size_t, const char*> lengths[] = {
        {4, "XXXX"},
        {6, "XXX-XXX"},
        {8, "XXXX-XXXX"},
        {9, "XXX-XXX-XXX"},
        {10, "XXXX-XXX-XXX"},
        {12, "XXXX-XXXX-XXXX"},
        {14, "XXXX-XXXX-XXX-XXX"},
        {16, "XXXX-XXXX-XXXX-XXXX"},
        {18, "XXXX-XXXX-XXXX-XXX-XXX"},
        {20, "XXXX-XXXX-XXXX-XXXX-XXXX"},
        {22, "XXXX-XXXX-XXXX-XXXX-XXX-XXX"},
    };
    for (const auto& [n, layout] : lengths)
        EXPECT_EQ(VTCodeFormat::DefaultTemplate(kCodeVantrel, std::string(n, '1')), layout) << n;
    for (const std::size_t n : {0, 1, 2, 3, 5, 7, 11, 13, 15, 23}) {
        EXPECT_EQ(RaisedMessage([n] { VTCodeFormat::DefaultTemplate(kCodeVantrel, std::string(n, '1')); }),
                  "VTToolkitException: Invalid code")
            << n;
    }
    // So a 7-digit Vantrel code cannot be shown.
    EXPECT_EQ(RaisedMessage([] { Display(kCodeVantrel).FormatForDisplay("1234567"); }),
              "VTToolkitException: Invalid code");
}

TEST(FormatForDisplay, DefaultTemplatesByType)
{
    const std::pair<int, const char*> templates[] = {
        {kCodeUnknown, ""},        {kCodeUpcA, "X XXXXX XXXXX X"},
        {kCodeUpcE, "X XXXXXX X"}, {kCodeEan13, "X XXXXXX XXXXXX"},
        {kCodeEan8, "XXXX XXXX"},  {kCodeIsbn, "X-XXXXXX-XX-X"},
        {kCodeVanity, ""},         {kCodeBookLand, "X XXXXXX XXXXXX"},
        {kCodeNumi, "XXX"},        {kCodeUrl, ""},
    };
    for (const auto& [type, layout] : templates)
        EXPECT_EQ(VTCodeFormat::DefaultTemplate(type, "123"), layout) << type;
    for (const int bad : {11, -1}) {
        const std::string message = RaisedMessage([bad] { VTCodeFormat::DefaultTemplate(bad, "123"); });
        EXPECT_TRUE(message.starts_with("code type out of range at cdformat line ")) << message;
    }
}

VTCodeFormat Range(VTCodeType type, const char* low, const char* high, int routingLength)
{
    VTCodeFormat format = MakeFormat(type, 0, routingLength, routingLength, 1);
    format.SetLowCode(low);
    format.SetHighCode(high);
    return format;
}

TEST(CodeFormatList, FindTakesTheFirstMatchOfTheType)
{
    VTCodeFormatList list;
    list.Add(Range(kCodeEan13, "4000000000000", "4999999999999", 1));
    list.Add(Range(kCodeUpcA, "000000000000", "099999999999", 2));
    list.Add(Range(kCodeUpcA, "030000000000", "039999999999", 3));
    list.Add(Range(kCodeUpcA, "100000000000", "199999999999", 4));

    struct Case {
        int type;
        const char* code;
        int routingLength; // 0: not found
    };
    const Case cases[] = {
        {kCodeUpcA, "036000291452", 2}, // two overlap: the first wins
        {kCodeUpcA, "000000000000", 2}, // bounds are inclusive
        {kCodeUpcA, "099999999999", 2},   {kCodeUpcA, "199999999999", 4},
        {kCodeUpcA, "200000000000", 0},   {kCodeUpcA, "1999999999990", 0}, // byte-wise: longer sorts after
        {kCodeEan13, "036000291452", 0},                                   // another type never matches
        {kCodeEan13, "4006381333931", 1}, {kCodeUpcA, "05", 2},            // compared as text, not as numbers
        {kCodeUpcA, "0-36000291452", 0}, // as given: a dash sorts before the digits
        {kCodeEan8, "40000000", 0},
    };
    for (const auto& c : cases) {
        VTCodeFormat found;
        const bool ok = list.Find(c.type, c.code, found);
        EXPECT_EQ(ok, c.routingLength != 0) << c.code;
        if (ok) {
            EXPECT_EQ(found.GetRoutingIdLength(), c.routingLength) << c.code;
        }
    }
    VTCodeFormat unused;
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([&] { list.Find(kCodeUpcA, static_cast<const char*>(nullptr), unused); })));
}

TEST(CodeFormatList, RemoveClearAndCapacity)
{
    VTCodeFormatList list;
    EXPECT_GE(list.Capacity(), VTCodeFormatList::kInitialCapacity);
    for (int i = 0; i < 100; ++i)
        list.Add(Range(kCodeUpcA, std::to_string(i).c_str(), "9", 1));
    list.Add(Range(kCodeUpcA, "5", "6", 7)); // a second format equal to the one of "5"
    EXPECT_EQ(list.Size(), 101u);
    EXPECT_TRUE(list.Remove(Range(kCodeUpcA, "5", "x", 0)));
    EXPECT_EQ(list.Size(), 99u);
    EXPECT_FALSE(list.Remove(Range(kCodeEan8, "6", "x", 0)));
    EXPECT_EQ(list.At(5).GetLowCode(), "6");
    EXPECT_THROW(list.At(99), std::out_of_range);

    VTCodeFormatList copy;
    copy = list;
    EXPECT_EQ(copy.Size(), 99u);
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Capacity(), VTCodeFormatList::kInitialCapacity);
    EXPECT_EQ(copy.Size(), 99u);
}

TEST(CodeFormatList, ExpireAllLeavesEveryFormatAMinutePastItsExpiry)
{
    const VTTime now = 4000000000u;
    VTCodeFormatList list;
    const VTTime expiries[] = {now + 86400, now, now - 59, now - 60, now - 61, 1000};
    for (const auto expiry : expiries) {
        VTCodeFormat format;
        format.SetExpiry(expiry);
        list.Add(format);
    }
    list.ExpireAll(now);
    const VTTime after[] = {now - 60, now - 60, now - 60, now - 60, now - 61, 1000};
    for (std::size_t i = 0; i < list.Size(); ++i) {
        EXPECT_EQ(list.At(i).GetExpiry(), after[i]) << i;
        EXPECT_TRUE(list.At(i).IsExpired(now)) << i;
    }
}

TEST(CodeFormatQueryItem, EqualWhenTypeAndCodeAreEqual)
{
    const VTCodeFormatQueryItem item{kCodeUpcA, "036000291452"};
    EXPECT_EQ(item, (VTCodeFormatQueryItem{kCodeUpcA, "036000291452"}));
    EXPECT_NE(item, (VTCodeFormatQueryItem{kCodeEan13, "036000291452"}));
    EXPECT_NE(item, (VTCodeFormatQueryItem{kCodeUpcA, "036000291453"}));
}

TEST(CodeDescriptionList, OneEntryPerItemId)
{
    VTCodeDescriptionList list;
    VTCodeDescription first("12-34");
    first.SetDescription("first");
    EXPECT_EQ(first.GetContents().GetRawItemId(), "12-34");
    EXPECT_EQ(first.GetItemId(), "1234");
    EXPECT_EQ(first.GetContents().GetCodeType(), kCodeUnknown);

    EXPECT_EQ(list.Add(first), 0u);
    EXPECT_EQ(list.Add(VTCodeDescription("999")), 1u);
    VTCodeDescription replacement("1234");
    replacement.SetDescription("second");
    replacement.SetCanonical("12 34");
    EXPECT_EQ(list.Add(replacement), 0u);
    EXPECT_EQ(list.Size(), 2u);
    EXPECT_EQ(list[0].GetDescription(), "second");
    EXPECT_EQ(list[0].GetCanonical(), "12 34");
    EXPECT_EQ(list[1].GetItemId(), "999");
    EXPECT_THROW(list[2], std::out_of_range);

    VTCodeContents contents;
    contents.SetItemId("777");
    contents.SetCodeType(kCodeNumi);
    EXPECT_EQ(list.Add(VTCodeDescription(contents)), 2u);
    EXPECT_EQ(list[2].GetContents().GetCodeType(), kCodeNumi);

    VTCodeDescriptionList copy;
    copy = list;
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(copy.Size(), 3u);
}

// A format as the list should hold it, with a serial that tells which one a
// lookup found.
struct ModelFormat {
    int type;
    std::string low;
    std::string high;
    int serial;
};

// Short texts over few characters so that ranges overlap, nest, share ends
// and meet codes exactly at their ends; dash and bytes above 0x7f check the
// byte-wise order.
std::string RandomCode(std::mt19937& random)
{
    static const char kAlphabet[] = {'0', '1', '2', '9', '-', 'a', '\x7f', '\xff'};
    std::string text(std::uniform_int_distribution<std::size_t>(0, 4)(random), '0');
    for (char& c : text)
        c = kAlphabet[std::uniform_int_distribution<std::size_t>(0, random() % 4 == 0 ? 7 : 3)(random)];
    return text;
}

VTCodeFormat ToFormat(const ModelFormat& model)
{
    VTCodeFormat format =
        Range(static_cast<VTCodeType>(model.type), model.low.c_str(), model.high.c_str(), 1);
    format.SetItemId(model.serial, 1);
    return format;
}

// The serial of the first format of the type holding the code, by walking
// the model in order; -1 when none does.
int FirstHolding(const std::vector<ModelFormat>& model, int type, const std::string& code)
{
    for (const ModelFormat& format : model)
        if (format.type == type && format.low <= code && code <= format.high)
            return format.serial;
    return -1;
}

void ExpectSameAnswers(const VTCodeFormatList& list, const std::vector<ModelFormat>& model,
                       std::mt19937& random, const std::string& where)
{
    ASSERT_EQ(list.Size(), model.size()) << where;
    for (std::size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(list.At(i).GetItemIdOffset(), model[i].serial) << where << " at " << i;
        ASSERT_EQ(list.At(i).GetLowCode(), model[i].low) << where << " at " << i;
    }
    std::vector<std::string> codes;
    for (int i = 0; i < 24; ++i)
        codes.push_back(RandomCode(random));
    // Exactly the ends of some ranges, where off-by-one slots would show.
    for (int i = 0; i < 8 && !model.empty(); ++i) {
        const ModelFormat& format = model[random() % model.size()];
        codes.push_back(format.low);
        codes.push_back(format.high);
    }
    for (const std::string& code : codes) {
        for (const int type : {kCodeUpcA, kCodeEan13, kCodeIsbn}) {
            VTCodeFormat found;
            const bool ok = list.Find(type, code, found);
            const int expected = FirstHolding(model, type, code);
            ASSERT_EQ(ok ? found.GetItemIdOffset() : -1, expected)
                << where << ": type " << type << " code \"" << code << '"';
        }
    }
}

TEST(CodeFormatList, IndexedFindAgreesWithAScanInListOrderThroughChanges)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        VTCodeFormatList list;
        std::vector<ModelFormat> model;
        VTCodeFormatList snapshot;
        std::vector<ModelFormat> snapshotModel;
        int serial = 0;
        for (int step = 0; step < 300; ++step) {
            const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            const unsigned action = random() % 100;
            if (action < 55) {
                // Two types mostly, so that ranges of one type crowd together.
                const int type = random() % 8 == 0 ? kCodeIsbn : (random() % 2 ? kCodeUpcA : kCodeEan13);
                std::string low = RandomCode(random), high = RandomCode(random);
                if (low > high && random() % 8 != 0)
                    std::swap(low, high); // now and then an inverted range, which holds nothing
                model.push_back({type, low, high, ++serial});
                list.Add(ToFormat(model.back()));
            } else if (action < 70) {
                // Remove takes every format of that type and low code, if any.
                const ModelFormat gone = !model.empty() && random() % 4 != 0
                                             ? model[random() % model.size()]
                                             : ModelFormat{kCodeUpcA, RandomCode(random), "", 0};
                const bool held = std::erase_if(
                    model, [&](const ModelFormat& f) { return f.type == gone.type && f.low == gone.low; });
                ASSERT_EQ(list.Remove(ToFormat(gone)), held) << where;
            } else if (action < 80 && !model.empty()) {
                // The cache's insert-or-replace: remove the equal one, append.
                ModelFormat changed = model[random() % model.size()];
                std::erase_if(model, [&](const ModelFormat& f) {
                    return f.type == changed.type && f.low == changed.low;
                });
                changed.high = RandomCode(random);
                changed.serial = ++serial;
                model.push_back(changed);
                list.Remove(ToFormat(changed));
                list.Add(ToFormat(changed));
            } else if (action < 84) {
                list.ExpireAll(4000000000u);
            } else if (action < 86) {
                list.Clear();
                model.clear();
            } else if (action < 92) {
                snapshot = list;
                snapshotModel = model;
            } else if (action < 96) {
                // A list moved from is empty and must not answer from the
                // index it had built.
                VTCodeFormatList taken(std::move(list));
                ASSERT_TRUE(list.IsEmpty()) << where;
                VTCodeFormat unused;
                for (const auto& format : model)
                    ASSERT_FALSE(list.Find(format.type, format.low, unused)) << where;
                list = std::move(taken);
            } else {
                // A copy answers for itself; changing it leaves the original alone.
                VTCodeFormatList copy(snapshot);
                std::vector<ModelFormat> copyModel = snapshotModel;
                copyModel.push_back({kCodeUpcA, "", "\xff\xff\xff\xff", ++serial});
                copy.Add(ToFormat(copyModel.back()));
                ExpectSameAnswers(copy, copyModel, random, where + " (copy)");
                ExpectSameAnswers(snapshot, snapshotModel, random, where + " (snapshot)");
            }
            ExpectSameAnswers(list, model, random, where);
        }
    }
}

TEST(CodeFormatList, AssignLeavesWhatRemoveAndAddOfEachInTurnLeave)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        // Few distinct low codes, so that most formats repeat an earlier one.
        std::vector<VTCodeFormat> formats;
        VTCodeFormatList oneByOne;
        std::vector<ModelFormat> model;
        const int count = static_cast<int>(random() % 300);
        for (int serial = 1; serial <= count; ++serial) {
            const int type = random() % 2 ? kCodeUpcA : kCodeEan13;
            std::string low = RandomCode(random), high = RandomCode(random);
            if (low > high)
                std::swap(low, high);
            std::erase_if(model, [&](const ModelFormat& f) { return f.type == type && f.low == low; });
            model.push_back({type, low, high, serial});
            formats.push_back(ToFormat(model.back()));
            oneByOne.Remove(formats.back());
            oneByOne.Add(formats.back());
        }
        const std::string where = "seed " + std::to_string(seed);
        // Whatever the list held before goes.
        VTCodeFormatList assigned;
        assigned.Add(Range(kCodeIsbn, "0", "9", 1));
        assigned.Assign(formats);
        ExpectSameAnswers(oneByOne, model, random, where + " (one by one)");
        ExpectSameAnswers(assigned, model, random, where + " (assigned)");
        // Changes after the assignment are seen as well.
        model.push_back({kCodeIsbn, "", "\xff", count + 1});
        assigned.Add(ToFormat(model.back()));
        ASSERT_FALSE(model.empty());
        const ModelFormat gone = model.front();
        std::erase_if(model, [&](const ModelFormat& f) { return f.type == gone.type && f.low == gone.low; });
        ASSERT_TRUE(assigned.Remove(ToFormat(gone))) << where;
        ExpectSameAnswers(assigned, model, random, where + " (changed after)");
    }
}

TEST(CodeFormatList, LookupsFromSeveralThreadsAfterAChangeAgree)
{
    std::mt19937 random(99);
    VTCodeFormatList list;
    std::vector<ModelFormat> model;
    for (int serial = 1; serial <= 3000; ++serial) {
        std::string low = RandomCode(random) + RandomCode(random),
                    high = RandomCode(random) + RandomCode(random);
        if (low > high)
            std::swap(low, high);
        model.push_back({kCodeUpcA, low, high, serial});
        list.Add(ToFormat(model.back()));
    }
    std::vector<std::string> codes;
    for (int i = 0; i < 2000; ++i)
        codes.push_back(RandomCode(random) + RandomCode(random));
    // The first lookups after the last Add race to build the index.
    std::vector<std::vector<int>> answers(4);
    std::vector<std::thread> threads;
    for (auto& threadAnswers : answers) {
        threads.emplace_back([&list, &codes, &threadAnswers] {
            for (const std::string& code : codes) {
                VTCodeFormat found;
                threadAnswers.push_back(list.Find(kCodeUpcA, code, found) ? found.GetItemIdOffset() : -1);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& threadAnswers : answers)
        for (std::size_t i = 0; i < codes.size(); ++i)
            ASSERT_EQ(threadAnswers[i], FirstHolding(model, kCodeUpcA, codes[i])) << codes[i];
}

} // namespace
