// Readers and writers of the routing vocabulary: formats, templates and
// core records, dates, and the exact text the cache files get.
#include "tests/exchange/exchangetest.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"
#include "vtkit/vtcache.h"
#include "vtkit/vtcachescan.h"
#include "vtkit/vtcorecache.h"
#include "vtkit/vtparsers.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kDeclaration = "<?xml version='1.0' standalone='yes'?>\n";

// The toolkit time of a UTC moment, through the C library's own calendar.
VTTime Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<VTTime>(static_cast<long long>(timegm(&fields)) + kVTTimeFrom1970);
}

VTCodeFormatList ReadFormats(const std::string& xml)
{
    VTCodeFormatList list;
    EXPECT_TRUE(ReadCodeFormats(ParseDocument(xml).GetDocumentElement(), list, VTCacheFile::kVersion));
    return list;
}

VTServerDataList ReadTemplates(const std::string& xml)
{
    VTServerDataList list;
    EXPECT_TRUE(ReadServerTemplates(ParseDocument(xml), list, VTCacheFile::kVersion));
    return list;
}

TEST(Dates, ReadPaddedToFourteenDigitsInUtc)
{
    const std::pair<const char*, VTTime> cases[] = {
        {"20300101", Utc(2030, 1, 1)},
        {"20300615", Utc(2030, 6, 15)},
        {"20300615123456", Utc(2030, 6, 15, 12, 34, 56)},
        {"19700101000001", Utc(1970, 1, 1, 0, 0, 1)},
        {"20360229235959", Utc(2036, 2, 29, 23, 59, 59)},
        // Fields carry over as the C library's calendar has them do.
        {"2030", Utc(2030, 0, 0)},
        {"20301301", Utc(2030, 13, 1)},
        {"20300230", Utc(2030, 2, 30)},
        {"20300615240000", Utc(2030, 6, 16)},
        {"20300615126099", Utc(2030, 6, 15, 13, 1, 39)},
        // Not dates: the readers then fall back to their defaults.
        {"", 0},
        {"203006151234567", 0},
        {"2030-06-15", 0},
        {"1900", 0},
        {"19010101000000", 0},
        {"2040", 0},
    };
    for (const auto& [text, time] : cases) {
        EXPECT_EQ(ParseDate(text), time) << text;
        if (time != 0) {
            EXPECT_EQ(ParseDate(FormatDate(time)), time) << text;
        }
    }
    EXPECT_EQ(FormatDate(Utc(2030, 6, 15, 12, 34, 56)), "20300615123456");
    EXPECT_EQ(FormatDate(Utc(1969, 12, 31, 23, 59, 59)), "19691231235959");
}

TEST(Dates, WrittenAsTheCLibraryCalendarHasThem)
{
    std::mt19937 random(7);
    std::vector<VTTime> times = {0, 1, 86399, 86400, kVTTimeFrom1970 - 1, kVTTimeFrom1970, 0xFFFFFFFFu};
    for (int i = 0; i < 2000; ++i)
        times.push_back(static_cast<VTTime>(random()));
    for (const VTTime time : times) {
        const std::time_t since1970 =
            static_cast<std::time_t>(std::int64_t{time} - std::int64_t{kVTTimeFrom1970});
        std::tm fields{};
        ASSERT_NE(gmtime_r(&since1970, &fields), nullptr);
        char expected[32];
        ASSERT_EQ(std::strftime(expected, sizeof expected, "%Y%m%d%H%M%S", &fields), 14u);
        EXPECT_EQ(FormatDate(time), expected) << time;
    }
}

TEST(CodeFormats, CurrentFormReadsEveryPart)
{
    const VTCodeFormatList list = ReadFormats("<XSPLIT><CODE TYPE='ISBN' LOW='0000000000' HIGH='0999999999'>"
                                              "<RID START='0' LENGTH='4'/><IID START='4' LENGTH='5'/>"
                                              "<CANONICAL FORMAT='X-XXX-XXXXX-X'/><UNKNOWN/>"
                                              "<EXPIRE DATE='20300615'/></CODE></XSPLIT>");
    ASSERT_EQ(list.Size(), 1u);
    const VTCodeFormat& format = list.At(0);
    EXPECT_EQ(format.GetCodeType(), kCodeIsbn);
    EXPECT_EQ(format.GetLowCode(), "0000000000");
    EXPECT_EQ(format.GetHighCode(), "0999999999");
    EXPECT_EQ(format.GetRoutingIdOffset(), 0);
    EXPECT_EQ(format.GetRoutingIdLength(), 4);
    EXPECT_EQ(format.GetItemIdOffset(), 4);
    EXPECT_EQ(format.GetItemIdLength(), 5);
    EXPECT_EQ(format.GetDisplayTemplate(), "X-XXX-XXXXX-X");
    EXPECT_EQ(format.GetExpiry(), Utc(2030, 6, 15));
}

TEST(CodeFormats, OlderFormCountsFromOneAndLastsThirtyDays)
{
    const VTTime before = VTCurrentTime();
    const VTCodeFormatList list =
        ReadFormats("<XSPLIT><BARCODE TYPE='UPC' LOW='0' HIGH='9' RIDSTART='1' "
                    "RIDDIGITS='5' IIDSTART='7' IIDDIGITS='5' FORMAT='X XXXXX'/></XSPLIT>");
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.At(0).GetCodeType(), kCodeUpcA);
    EXPECT_EQ(list.At(0).GetRoutingIdOffset(), 0);
    EXPECT_EQ(list.At(0).GetRoutingIdLength(), 5);
    EXPECT_EQ(list.At(0).GetItemIdOffset(), 6);
    EXPECT_EQ(list.At(0).GetDisplayTemplate(), "X XXXXX");
    EXPECT_GE(list.At(0).GetExpiry(), before + 2592000);
    EXPECT_LE(list.At(0).GetExpiry(), VTCurrentTime() + 2592000);

    // Written back it is a current-form entry that reads the same.
    const std::string text = FormatDocument(WriteCodeFormats(list, VTCacheFile::kVersion));
    EXPECT_NE(text.find("<RID START='0' LENGTH='5'/>"), std::string::npos) << text;
    EXPECT_EQ(FormatDocument(WriteCodeFormats(ReadFormats(text), VTCacheFile::kVersion)), text);
}

TEST(CodeFormats, UnknownTypesAreDroppedAndRangesReplaced)
{
    const VTTime before = VTCurrentTime();
    const VTCodeFormatList list =
        ReadFormats("<CODE_FORMAT_LIST>"
                    "<CODE TYPE='EAN8' LOW='1' HIGH='2'><RID LENGTH='3'/></CODE>"
                    "<CODE TYPE='DOUBLOON' LOW='1' HIGH='2'/>"
                    "<CODE TYPE='EAN13' LOW='5' HIGH='6'/>"
                    "<CODE TYPE='EAN8' LOW='1' HIGH='3'><RID LENGTH='4'/></CODE>"
                    "<CODE TYPE='EAN8' LOW='x' HIGH='y'><RID START='-2' LENGTH='9999999999'/>"
                    "<IID START='2147483646'/></CODE></CODE_FORMAT_LIST>");
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.At(0).GetCodeType(), kCodeEan13);
    EXPECT_EQ(list.At(1).GetHighCode(), "3") << "the later entry for the same range wins";
    EXPECT_EQ(list.At(1).GetRoutingIdLength(), 4);
    EXPECT_EQ(list.At(2).GetRoutingIdOffset(), 0) << "not all digits reads as 0";
    EXPECT_EQ(list.At(2).GetRoutingIdLength(), 2147483647) << "too large stays at the largest";
    EXPECT_EQ(list.At(2).GetItemIdOffset(), 2147483646);
    EXPECT_GE(list.At(0).GetExpiry(), before) << "without EXPIRE a format expires when read";
    EXPECT_LE(list.At(0).GetExpiry(), VTCurrentTime());
}

// A reply entry beyond its named limit is refused with the whole reply,
// naming what was too long; in a cache file the entry is left out.
TEST(ReplyLimits, OverLongEntriesAreRefusedInRepliesAndLeftOutOfCaches)
{
    const std::string longCode(MaxCodeLength(kCodeUpcA) + 1, '0');
    const std::string fitting(MaxCodeLength(kCodeUpcA), '0');
    const std::string good = "<CODE TYPE='EAN8' LOW='96380000' HIGH='96389999'/>";
    struct Case {
        std::string entry;
        std::string why;
    };
    const Case formatCases[] = {
        {"<CODE TYPE='UPCA' LOW='" + longCode + "' HIGH='1'/>", "LOW of 18 bytes, more than 17"},
        {"<CODE TYPE='UPCA' LOW='0' HIGH='" + longCode + "'/>", "HIGH of 18 bytes, more than 17"},
        {"<BARCODE TYPE='UPC' LOW='0' HIGH='" + std::string(8000, '9') + "'/>",
         "HIGH of 8000 bytes, more than 17"},
        {"<CODE TYPE='EAN13' LOW='0' HIGH='1'><CANONICAL FORMAT='" + std::string(65, 'X') + "'/></CODE>",
         "CANONICAL FORMAT of 65 bytes, more than 64"},
    };
    for (const Case& c : formatCases) {
        SCOPED_TRACE(c.why);
        VTCodeFormatList list;
        const TSDomDocument reply = ParseDocument("<XSPLIT>" + good + c.entry + "</XSPLIT>");
        try {
            ReadCodeFormats(reply.GetDocumentElement(), list, VTCacheFile::kVersion);
            ADD_FAILURE() << "the reply was taken";
        } catch (const TSDomXmlException& error) {
            EXPECT_EQ(error.GetMessage(), "TSDomXmlException: Element invalid: CODE: " + c.why);
        }
        ASSERT_TRUE(ReadCodeFormatText("<CODE_FORMAT_LIST>" + good + c.entry + "</CODE_FORMAT_LIST>",
                                       u"CODE_FORMAT_LIST", list, VTCacheFile::kVersion));
        ASSERT_EQ(list.Size(), 1u) << "only the entry within the limits is read";
        EXPECT_EQ(list.At(0).GetCodeType(), kCodeEan8);
    }
    EXPECT_EQ(ReadFormats("<XSPLIT><CODE TYPE='UPCA' LOW='" + fitting + "' HIGH='" + fitting + "'/></XSPLIT>")
                  .Size(),
              1u);

    const std::string key = "<ROUTING_KEY TYPE='EAN8' RID='9638'><TEMPLATE CMD='GET'>http://x/</TEMPLATE>"
                            "</ROUTING_KEY>";
    const Case keyCases[] = {
        {"<ROUTING_KEY TYPE='UPCA' RID='" + std::string(65, '1') +
             "'><TEMPLATE CMD='GET'>u</TEMPLATE>"
             "</ROUTING_KEY>",
         "RID of 65 bytes, more than 64"},
        {"<ROUTING_KEY TYPE='UPCA' RID='1'><SERVERNAME>" + std::string(257, 'n') +
             "</SERVERNAME><TEMPLATE CMD='GET'>u</TEMPLATE></ROUTING_KEY>",
         "SERVERNAME of 257 bytes, more than 256"},
        {"<ROUTING_KEY TYPE='UPCA' RID='1'><TEMPLATE CMD='GET'>" + std::string(4097, 'u') +
             "</TEMPLATE></ROUTING_KEY>",
         "TEMPLATE GET of 4097 bytes, more than 4096"},
    };
    for (const Case& c : keyCases) {
        SCOPED_TRACE(c.why);
        VTServerDataList list;
        try {
            ReadServerTemplates(ParseDocument("<XGET>" + key + c.entry + "</XGET>"), list,
                                VTCacheFile::kVersion);
            ADD_FAILURE() << "the reply was taken";
        } catch (const TSDomXmlException& error) {
            EXPECT_EQ(error.GetMessage(), "TSDomXmlException: Element invalid: ROUTING_KEY: " + c.why);
        }
        ASSERT_TRUE(ReadServerTemplateText("<SERVER_DATA_LIST>" + key + c.entry + "</SERVER_DATA_LIST>", list,
                                           VTCacheFile::kVersion));
        ASSERT_EQ(list.Size(), 1u);
        EXPECT_EQ(list.At(0).GetKey(), "9638");
    }
}

TEST(CodeFormats, WriterGivesTheCacheFileText)
{
    VTCodeFormat format;
    format.SetCodeType(kCodeUpcE);
    format.SetLowCode("0100000");
    format.SetHighCode("0199999");
    format.SetRoutingId(1, 2);
    format.SetItemId(3, 4);
    format.SetExpiry(Utc(2030, 6, 15, 1, 2, 3));
    VTCodeFormatList list;
    list.Add(format);
    EXPECT_EQ(FormatDocument(WriteCodeFormats(list, VTCacheFile::kVersion)),
              kDeclaration + "<CODE_FORMAT_LIST>\n"
                             "    <CODE TYPE='UPCE' LOW='0100000' HIGH='0199999'>\n"
                             "        <RID START='1' LENGTH='2'/>\n"
                             "        <IID START='3' LENGTH='4'/>\n"
                             "        <CANONICAL FORMAT=''/>\n"
                             "        <EXPIRE DATE='20300615010203'/>\n"
                             "    </CODE>\n"
                             "</CODE_FORMAT_LIST>\n");
}

TEST(RoutingTemplates, ExpiryComesFromTheEarliestDate)
{
    const VTTime before = VTCurrentTime();
    const VTServerDataList list =
        ReadTemplates("<XGET>"
                      "<ROUTING_KEY TYPE='ISBN' RID='1'><SERVERNAME>One</SERVERNAME>"
                      "<TEMPLATE CMD='GET'>http://one/</TEMPLATE></ROUTING_KEY>"
                      "<ROUTING_KEY TYPE='ISBN' RID='2' CACHEDATE='20300615'>"
                      "<TEMPLATE CMD='GET' CACHEDATE='20300101'>http://two/</TEMPLATE>"
                      "<TEMPLATE CMD='DESC' CACHEDATE='20310101'>http://two/d</TEMPLATE></ROUTING_KEY>"
                      "<ROUTING_KEY TYPE='ISBN' RID='3' CACHEDATE='someday'>"
                      "<TEMPLATE CMD='GET'>http://three/</TEMPLATE></ROUTING_KEY>"
                      "</XGET>");
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_GE(list.At(0).GetExpiry(), before + 25200) << "seven hours without a date";
    EXPECT_LE(list.At(0).GetExpiry(), VTCurrentTime() + 25200);
    EXPECT_EQ(list.At(0).GetName(), "One");
    EXPECT_EQ(list.At(0).GetServerType(), kServerTypeResolution);
    EXPECT_EQ(list.At(1).GetExpiry(), Utc(2030, 1, 1)) << "the earliest template";
    EXPECT_LE(list.At(2).GetExpiry(), VTCurrentTime()) << "a date that is no date: expires at once";
}

TEST(RoutingTemplates, UpcKeysServeBothTypesAndKeysWithoutTemplatesGo)
{
    const VTServerDataList list =
        ReadTemplates("<SERVER_DATA_LIST>"
                      "<ROUTING_KEY TYPE='UPC' RID='036'><TEMPLATE CMD='GET'>g</TEMPLATE>"
                      "</ROUTING_KEY><ROUTING_KEY TYPE='EAN13' RID='5'>"
                      "<SERVERNAME>Empty</SERVERNAME></ROUTING_KEY>"
                      "<ROUTING_KEY TYPE='NOSUCH' RID='9'><TEMPLATE CMD='GET'>n</TEMPLATE>"
                      "</ROUTING_KEY></SERVER_DATA_LIST>");
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.At(0).GetCodeType(), kCodeUpcA);
    EXPECT_EQ(list.At(1).GetCodeType(), kCodeUpcE);
    EXPECT_EQ(list.At(1).GetKey(), "036");
    std::string text;
    EXPECT_TRUE(list.At(1).GetCommand(kCommandGet, text));
    EXPECT_EQ(list.At(2).GetCodeType(), kCodeUnknown);
    EXPECT_EQ(list.At(2).GetServerType(), "") << "only typed keys are resolution servers";

    VTServerDataList untouched = list;
    EXPECT_FALSE(ReadServerTemplates(ParseDocument("<XSPLIT/>"), untouched, VTCacheFile::kVersion));
    EXPECT_EQ(untouched.Size(), 3u);
}

TEST(RoutingTemplates, WriterGivesTheCacheFileText)
{
    VTServerData record(kCodeVantrel, "12");
    record.SetName("Vantrel & Co");
    record.SetExpiry(Utc(2030, 6, 15));
    record.SetCommand(kCommandGet, "http://v/<^IID^>");
    VTServerDataList list;
    list.InsertOrReplace(record);
    EXPECT_EQ(FormatDocument(WriteServerTemplates(list)),
              kDeclaration + "<SERVER_DATA_LIST>\n"
                             "    <ROUTING_KEY TYPE='VANTREL' RID='12' CACHEDATE='20300615000000'>\n"
                             "        <SERVERNAME>Vantrel &amp; Co</SERVERNAME>\n"
                             "        <TEMPLATE CMD='GET'>http://v/&lt;^IID^&gt;</TEMPLATE>\n"
                             "    </ROUTING_KEY>\n"
                             "</SERVER_DATA_LIST>\n");
}

// Texts that the writers must escape or convert, mixed with plain ones.
// With `blanks`, tabs and line feeds too, which the writer leaves as they
// are (and which only the parser then reads).
std::string AwkwardText(std::mt19937& random, bool blanks)
{
    static const char* const kPieces[] = {"0360",
                                          "http://x/?a=1&b=<^IID^>",
                                          "'",
                                          "\"",
                                          "\xc3\xa9",
                                          "\xe9",
                                          "\x01",
                                          "\x7f",
                                          "Bench server",
                                          "\xe2\x82\xac",
                                          "",
                                          "&amp;",
                                          "\t",
                                          "\n"};
    std::string text;
    for (unsigned i = random() % 4; i > 0; --i)
        text += kPieces[random() % (std::size(kPieces) - (blanks ? 0 : 2))];
    return text;
}

void AwkwardLists(unsigned seed, VTCodeFormatList& formats, VTServerDataList& records, bool blanks = true)
{
    std::mt19937 random(seed);
    const auto AwkwardText = [&](std::mt19937& r) { return ::AwkwardText(r, blanks); };
    for (unsigned i = random() % 30; i > 0; --i) {
        VTCodeFormat format;
        format.SetCodeType(static_cast<VTCodeType>(random() % 11));
        format.SetLowCode(AwkwardText(random));
        format.SetHighCode(AwkwardText(random));
        format.SetRoutingId(static_cast<int>(random() % 20) - 5, static_cast<int>(random()));
        format.SetItemId(static_cast<int>(random() % 20), -static_cast<int>(random() % 3));
        format.SetDisplayTemplate(AwkwardText(random));
        format.SetExpiry(static_cast<VTTime>(random()));
        formats.Add(format);
        VTServerData record(static_cast<VTCodeType>(random() % 11), AwkwardText(random));
        record.SetName(AwkwardText(random));
        record.SetExpiry(static_cast<VTTime>(random()));
        for (unsigned c = random() % 3; c > 0; --c)
            record.SetCommand(random() % 2 ? kCommandGet : AwkwardText(random), AwkwardText(random));
        records.InsertOrReplace(record);
    }
}

TEST(CacheText, WrittenWithoutTheTreeAsFromTheTree)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        VTCodeFormatList formats;
        VTServerDataList records;
        AwkwardLists(seed, formats, records);
        EXPECT_EQ(FormatCodeFormats(formats, VTCacheFile::kVersion),
                  FormatDocument(WriteCodeFormats(formats, VTCacheFile::kVersion)))
            << "seed " << seed;
        EXPECT_EQ(FormatServerTemplates(records), FormatDocument(WriteServerTemplates(records)))
            << "seed " << seed;
    }
}

// What the whole tree gives, read as a cache file is (entries beyond the
// limits left out), or nothing for a text that does not parse or has another root.
std::optional<VTCodeFormatList> FormatsFromTree(const std::string& text)
{
    VTCodeFormatList list;
    try {
        const TSDomDocument document = ParseDocument(text);
        if (RootName(document) != u"CODE_FORMAT_LIST")
            return std::nullopt;
        ReadCodeFormats(document.GetDocumentElement(), list, VTCacheFile::kVersion, VTOverLimit::kLeaveOut);
    } catch (const TSException&) {
        return std::nullopt;
    }
    return list;
}

std::optional<VTServerDataList> TemplatesFromTree(const std::string& text)
{
    VTServerDataList list;
    try {
        if (!ReadServerTemplates(ParseDocument(text), list, VTCacheFile::kVersion, VTOverLimit::kLeaveOut))
            return std::nullopt;
    } catch (const TSException&) {
        return std::nullopt;
    }
    return list;
}

TEST(CacheText, ReadChildByChildAsFromTheWholeTree)
{
    std::vector<std::string> formatTexts, templateTexts;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        VTCodeFormatList formats;
        VTServerDataList records;
        AwkwardLists(seed, formats, records);
        formatTexts.push_back(FormatCodeFormats(formats, VTCacheFile::kVersion));
        templateTexts.push_back(FormatServerTemplates(records));
    }
    // A later entry of the same key replaces the earlier one.
    const std::string repeated =
        "<ROUTING_KEY TYPE='UPCA' RID='1' CACHEDATE='20300101'><SERVERNAME>A</SERVERNAME>"
        "<TEMPLATE CMD='GET'>a</TEMPLATE></ROUTING_KEY>"
        "<ROUTING_KEY TYPE='UPCE' RID='1' CACHEDATE='20300102'><SERVERNAME>E</SERVERNAME>"
        "<TEMPLATE CMD='GET'>e</TEMPLATE></ROUTING_KEY>";
    templateTexts.push_back("<XGET>" + repeated + "<ROUTING_KEY TYPE='EAN13' RID='2'/></XGET>");
    templateTexts.push_back("<SERVER_DATA_LIST>" + repeated + "</SERVER_DATA_LIST>");
    formatTexts.push_back("<CODE_FORMAT_LIST><CODE TYPE='EAN8' LOW='1' HIGH='2'><EXPIRE DATE='2030'/></CODE>"
                          "<CODE TYPE='EAN8' LOW='1' HIGH='3'><EXPIRE DATE='2031'/></CODE>"
                          "<CODE TYPE='NOSUCH' LOW='1'/><OTHER/></CODE_FORMAT_LIST>");
    // Broken texts, also broken after some entries, and other roots.
    for (const char* broken : {"<CODE_FORMAT_LIST>", "<CODE_FORMAT_LIST><CODE TYPE='EAN8' LOW='1'/><x>",
                               "<SERVER_DATA_LIST>"
                               "<ROUTING_KEY TYPE='EAN8' RID='1'><TEMPLATE CMD='GET'>a"
                               "</TEMPLATE></ROUTING_KEY><x></SERVER_DATA_LIST>",
                               "<XSPLIT/>", "<XGET>\xff</XGET>", ""}) {
        formatTexts.push_back(broken);
        templateTexts.push_back(broken);
    }
    for (const std::string& text : formatTexts) {
        const std::optional<VTCodeFormatList> expected = FormatsFromTree(text);
        VTCodeFormatList list;
        list.Add(VTCodeFormat()); // untouched unless the text is read
        ASSERT_EQ(ReadCodeFormatText(text, u"CODE_FORMAT_LIST", list, VTCacheFile::kVersion),
                  expected.has_value())
            << text;
        if (!expected) {
            EXPECT_EQ(list.Size(), 1u) << text;
            continue;
        }
        EXPECT_EQ(FormatCodeFormats(list, VTCacheFile::kVersion),
                  FormatCodeFormats(*expected, VTCacheFile::kVersion))
            << text;
    }
    for (const std::string& text : templateTexts) {
        const std::optional<VTServerDataList> expected = TemplatesFromTree(text);
        VTServerDataList list;
        list.InsertOrReplace(VTServerData(kCodeNumi, "untouched"));
        ASSERT_EQ(ReadServerTemplateText(text, list, VTCacheFile::kVersion), expected.has_value()) << text;
        if (!expected) {
            EXPECT_EQ(list.Size(), 1u) << text;
            continue;
        }
        EXPECT_EQ(FormatServerTemplates(list), FormatServerTemplates(*expected)) << text;
        ASSERT_EQ(list.Size(), expected->Size()) << text;
        for (std::size_t i = 0; i < list.Size(); ++i)
            EXPECT_EQ(list.At(i).GetServerType(), expected->At(i).GetServerType()) << text;
    }
}

// Reads the text as the cache does and as the whole tree gives it, and
// expects the same; true when the direct reading took both files.
bool ExpectSameAsTheTree(const std::string& formatText, const std::string& templateText,
                         const std::string& where)
{
    // A format without a readable expiry expires now: both readings must
    // see the same second, so a pair that straddles one is read again.
    std::optional<VTCodeFormatList> formats;
    VTCodeFormatList formatList;
    bool direct = false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const VTTime before = VTCurrentTime();
        formats = FormatsFromTree(formatText);
        formatList = VTCodeFormatList();
        direct = ReadCodeFormatText(formatText, u"CODE_FORMAT_LIST", formatList, VTCacheFile::kVersion);
        if (VTCurrentTime() == before)
            break;
    }
    EXPECT_EQ(direct, formats.has_value()) << where << formatText;
    if (formats) {
        EXPECT_EQ(FormatCodeFormats(formatList, VTCacheFile::kVersion),
                  FormatCodeFormats(*formats, VTCacheFile::kVersion))
            << where << formatText;
    }
    const std::optional<VTServerDataList> records = TemplatesFromTree(templateText);
    VTServerDataList recordList;
    EXPECT_EQ(ReadServerTemplateText(templateText, recordList, VTCacheFile::kVersion), records.has_value())
        << where << templateText;
    if (records) {
        EXPECT_EQ(FormatServerTemplates(recordList), FormatServerTemplates(*records))
            << where << templateText;
        for (std::size_t i = 0; i < std::min(recordList.Size(), records->Size()); ++i)
            EXPECT_EQ(recordList.At(i).GetServerType(), records->At(i).GetServerType())
                << where << templateText;
    }
    const auto ignore = [](const auto&) {};
    return ScanCodeFormatText(formatText, ignore) && ScanServerTemplateText(templateText, ignore);
}

TEST(CacheText, OwnFilesAreReadDirectlyAsTheParserReadsThem)
{
    for (unsigned seed = 1; seed <= 30; ++seed) {
        VTCodeFormatList formats;
        VTServerDataList records;
        AwkwardLists(seed, formats, records, false);
        const std::string where = "seed " + std::to_string(seed) + ":\n";
        EXPECT_TRUE(ExpectSameAsTheTree(FormatCodeFormats(formats, VTCacheFile::kVersion),
                                        FormatServerTemplates(records), where))
            << where << "the files this program writes are read without the parser";
    }
    // Empty files, and a record whose name and template are empty.
    VTServerData bare(kCodeUpcA, "1");
    bare.SetCommand(kCommandGet, "");
    VTServerDataList one;
    one.InsertOrReplace(bare);
    EXPECT_TRUE(ExpectSameAsTheTree(FormatCodeFormats(VTCodeFormatList(), VTCacheFile::kVersion),
                                    FormatServerTemplates(one), "bare: "));
}

TEST(CacheText, AnyOtherTextIsReadAsTheParserReadsIt)
{
    // Each text once as written and then cut, stretched or changed one byte
    // at a time, in every part of it.
    static const char kBytes[] = {' ', '\n', '\'', '"', '<', '>', '/',    '&',
                                  ';', '#',  '0',  '9', 'A', 'x', '\xe9', '\0'};
    std::mt19937 random(11);
    for (unsigned seed = 1; seed <= 6; ++seed) {
        VTCodeFormatList formats;
        VTServerDataList records;
        AwkwardLists(seed, formats, records, seed % 2 == 0);
        const std::string formatText = FormatCodeFormats(formats, VTCacheFile::kVersion);
        const std::string templateText = FormatServerTemplates(records);
        for (int change = 0; change < 300; ++change) {
            std::string f = formatText, t = templateText;
            for (std::string* text : {&f, &t}) {
                // Near either end half the time, where the root and the
                // declaration are.
                const std::size_t near = random() % 48;
                const std::size_t at = random() % 2   ? random() % (text->size() + 1)
                                       : random() % 2 ? std::min(near, text->size())
                                                      : text->size() - std::min(near, text->size());
                const char byte = kBytes[random() % std::size(kBytes)];
                switch (random() % 4) {
                case 0:
                    text->resize(at);
                    break;
                case 1:
                    text->insert(text->begin() + static_cast<std::ptrdiff_t>(at), byte);
                    break;
                case 2:
                    if (at < text->size())
                        text->erase(at, 1);
                    break;
                default:
                    if (at < text->size())
                        (*text)[at] = byte;
                    break;
                }
            }
            ExpectSameAsTheTree(f, t,
                                "seed " + std::to_string(seed) + " change " + std::to_string(change) + ":\n");
            if (HasFailure())
                return;
        }
    }
}

TEST(CoreRecords, ReadByTypeFromAnyRootAndWrittenInOrder)
{
    const TSDomDocument reply =
        ParseDocument("<XATTACH><SERVER TYPE='help'><TEMPLATE CMD='1'>http://h/1</TEMPLATE>"
                      "</SERVER><SERVER TYPE='ROUTING'><TEMPLATE CMD='GET'>http://r/g"
                      "</TEMPLATE><TEMPLATE CMD='SPLIT'>http://r/s</TEMPLATE></SERVER>"
                      "</XATTACH>");
    VTServerData routing, registration, help;
    EXPECT_TRUE(ReadCoreServer(reply, kServerTypeRouting, routing));
    EXPECT_TRUE(ReadCoreServer(reply, kServerTypeHelp, help));
    EXPECT_FALSE(ReadCoreServer(reply, kServerTypeRegistration, registration));
    EXPECT_EQ(help.GetServerType(), kServerTypeHelp);
    std::string text;
    EXPECT_TRUE(routing.GetCommand(kCommandSplit, text));
    EXPECT_EQ(text, "http://r/s");

    EXPECT_EQ(
        FormatDocument(WriteCoreServers(routing, registration, help)),
        kDeclaration +
            "<CORE_SERVER_LIST>\n"
            "    <SERVER TYPE='ROUTING'>\n" +
            [&] {
                // Commands come in the map's order; both must be there.
                std::string lines;
                routing.GetCommands().ForEach([&](const std::string& name, const std::string& value) {
                    lines += "        <TEMPLATE CMD='" + name + "'>" + value + "</TEMPLATE>\n";
                });
                return lines;
            }() +
            "    </SERVER>\n"
            "    <SERVER TYPE='HELP'>\n"
            "        <TEMPLATE CMD='1'>http://h/1</TEMPLATE>\n"
            "    </SERVER>\n"
            "</CORE_SERVER_LIST>\n");
}

TEST(Texts, EightBitTextsSurviveTheDocument)
{
    EXPECT_EQ(NarrowText(WideText("Caf\xc3\xa9")), "Caf\xc3\xa9");
    EXPECT_EQ(WideText("Caf\xe9").View(), u"Caf\u00e9") << "not UTF-8: taken as Latin-1";
}

} // namespace
