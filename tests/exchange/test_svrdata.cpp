// Server records, their ordered lists, the error record and the user id.
#include "tests/exchange/exchangetest.h"
#include "tst/http/htclient.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vtuserid.h"

#include <random>
#include <utility>

namespace {

TEST(ServerDataList, InsertReplacesAnEqualRecordAndMovesItToTheEnd)
{
    VTServerData first(kCodeUpcA, "03600");
    first.SetName("First");
    VTServerData renamed(kCodeUpcA, "03600");
    renamed.SetName("Renamed");
    EXPECT_TRUE(first == renamed) << "names do not count";
    EXPECT_FALSE(first == VTServerData(kCodeUpcE, "03600"));

    VTServerDataList list;
    list.InsertOrReplace(first);
    list.InsertOrReplace(VTServerData(kCodeEan13, "590"));
    list.InsertOrReplace(renamed);
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.At(0).GetKey(), "590");
    EXPECT_EQ(list.At(1).GetName(), "Renamed");

    VTServerData found;
    EXPECT_TRUE(list.Find(kCodeUpcA, "03600", found));
    EXPECT_EQ(found.GetName(), "Renamed");
    EXPECT_FALSE(list.Find(kCodeUpcA, "0360", found)) << "keys compare exactly";
    EXPECT_FALSE(list.Find(kCodeUpcE, "03600", found));
}

TEST(ServerDataList, ExpireAllLeavesEveryRecordAMinuteOld)
{
    const VTTime now = 4000000000u;
    VTServerData future(kCodeUpcA, "1");
    future.SetExpiry(now + 3600);
    VTServerData longGone(kCodeUpcA, "2");
    longGone.SetExpiry(now - 86400);
    VTServerDataList list;
    list.InsertOrReplace(future);
    list.InsertOrReplace(longGone);
    list.ExpireAll(now);
    EXPECT_EQ(list.At(0).GetExpiry(), now - 60);
    EXPECT_EQ(list.At(1).GetExpiry(), now - 86400) << "an earlier expiry stays";
}

TEST(ServerData, CommandLookupCopiesTheTemplate)
{
    VTServerData record;
    EXPECT_FALSE(record.HasCommands());
    record.SetCommand(kCommandGet, "http://a/<^IID^>");
    std::string text = "untouched";
    EXPECT_FALSE(record.GetCommand(kCommandDesc, text));
    EXPECT_EQ(text, "untouched");
    EXPECT_TRUE(record.GetCommand(kCommandGet, text));
    EXPECT_EQ(text, "http://a/<^IID^>");
    EXPECT_LE(record.GetExpiry(), VTCurrentTime()) << "a new record expires now";
}

TEST(ServerError, ErrorCodesNameStateAndNumber)
{
    VTServerError error;
    EXPECT_EQ(error.GetErrorCode(), "");
    error.SetStateNumber(301);
    error.FromHttpStatus(404);
    EXPECT_EQ(error.GetErrorCode(), "T-301-1404");
    EXPECT_EQ(error.GetMessage(), "Transaction Failed");

    error.FromTransaction(TSHttpStateRecord{kHttpFailed, kHttpErrorCancelled, ""});
    EXPECT_EQ(error.GetMessage(), "Transaction Aborted");
    error.FromTransaction(TSHttpStateRecord{kHttpFailed, kHttpErrorReceiveTimedOut, "slow"});
    EXPECT_EQ(error.GetMessage(), "Transaction Failed");
    EXPECT_EQ(error.GetDetails(), "slow");
    EXPECT_EQ(error.GetErrorCode(), "T-301-9");

    error.FromException(VTToolkitException(VTToolkitException::kInvalidCode), 19);
    EXPECT_EQ(error.GetMessage(), "Internal error");
    EXPECT_EQ(error.GetDetails(), "VTToolkitException: Invalid code");

    error.SetStateNumber(104);
    ASSERT_TRUE(error.FromErrorDocument(ParseDocument("<ERROR NUM='7'/>"), false));
    EXPECT_EQ(error.GetErrorCode(), "S-104-7");
    EXPECT_EQ(error.GetMessage(), "Internal error") << "a document without children keeps the texts";

    error.Clear();
    EXPECT_EQ(error.GetErrorCode(), "");
    EXPECT_EQ(error.GetDetails(), "");
}

TEST(ServerError, ErrorDocumentIsReadOnlyFromAnErrorRoot)
{
    VTServerError error;
    error.FromHttpStatus(500);
    EXPECT_FALSE(error.FromErrorDocument(ParseDocument("<XSPLIT NUM='3'/>"), false));
    EXPECT_EQ(error.GetKind(), VTServerError::kTransaction) << "unchanged";

    const std::pair<const char*, int> numbers[] = {
        {"<ERROR NUM=''/>", 0}, {"<ERROR NUM='12a'/>", 0}, {"<ERROR/>", 0}, {"<ERROR NUM='100'/>", 100}};
    for (const auto& [text, number] : numbers) {
        ASSERT_TRUE(error.FromErrorDocument(ParseDocument(text), false)) << text;
        EXPECT_EQ(error.GetServerNumber(), number) << text;
        EXPECT_EQ(error.GetKind(), VTServerError::kServer);
    }
    EXPECT_THROW(error.FromErrorDocument(ParseDocument("<ERROR/>"), true), TSInternalError)
        << "refreshing needs the toolkit";

    VTToolkit toolkit;
    error.SetToolkit(&toolkit);
    ASSERT_TRUE(error.FromErrorDocument(
        ParseDocument(
            "<ERROR NUM='1'><REASON>r</REASON><SERVER TYPE='HELP'><TEMPLATE CMD='1'>http://h/1</TEMPLATE>"
            "</SERVER></ERROR>"),
        true));
    std::string help;
    EXPECT_TRUE(toolkit.GetHelpRecord().GetCommand("1", help));
    EXPECT_EQ(error.GetMessage(), "r");
}

TEST(ToolkitException, MessageNamesCodeAndDetail)
{
    EXPECT_EQ(VTToolkitException(VTToolkitException::kInvalidUserId, "GetBlindedId()").GetMessage(),
              "VTToolkitException: Invalid user id: GetBlindedId()");
    EXPECT_THROW(VTToolkitException(6), TSInternalError);
}

TEST(UserId, BlindedIdUnblindsToItsClearId)
{
    VTUserId id;
    EXPECT_FALSE(id.IsValid());
    id.SetBlindedId(kBlindedId);
    EXPECT_TRUE(id.IsValid());
    EXPECT_EQ(id.GetClearId(), kClearId);
    EXPECT_EQ(id.GetBlindedId(), kBlindedId);
}

TEST(UserId, ReblindingWithOneSaltIsStableAndUnblindsToTheSameId)
{
    VTUserId id;
    id.SetBlindedId(kBlindedId);
    for (const int salt : {0, 42, 9999, 12345, -7}) {
        SCOPED_TRACE(salt);
        const std::string blinded = id.GetReblindedBlindedId(salt);
        EXPECT_EQ(blinded.size(), 15u);
        EXPECT_EQ(id.GetReblindedBlindedId(salt), blinded);
        const int expectedSalt = (salt % 10000 + 10000) % 10000;
        char saltText[5];
        std::snprintf(saltText, sizeof saltText, "%04d", expectedSalt);
        EXPECT_EQ(blinded, BlindedFor(kClearId, saltText));
        VTUserId again;
        again.SetBlindedId(blinded);
        EXPECT_EQ(again.GetClearId(), kClearId);
    }
    EXPECT_EQ(id.GetReblindedBlindedId(42), kBlindedId) << "the salt of the stored form";
}

// What the server side uses: the same digits as the identity's own forms.
TEST(UserId, BlindingWithoutAnIdentityMatchesTheIdentitysForms)
{
    for (const int salt : {42, 10042, -9958})
        EXPECT_EQ(VTUserId::Blind(kClearId, salt), kBlindedId) << salt;
    std::string clearId;
    ASSERT_TRUE(VTUserId::Unblind(kBlindedId, clearId));
    EXPECT_EQ(clearId, kClearId);
    for (const char* bad : {"12345678", "1234567890", "12345678x", ""})
        EXPECT_EQ(VTUserId::Blind(bad, 1), "") << bad;
    std::string wrongCheck = kBlindedId;
    wrongCheck[0] = wrongCheck[0] == '9' ? '0' : static_cast<char>(wrongCheck[0] + 1);
    clearId = "untouched";
    EXPECT_FALSE(VTUserId::Unblind(wrongCheck, clearId));
    EXPECT_FALSE(VTUserId::Unblind(kBlindedId.substr(1), clearId));
    EXPECT_EQ(clearId, "untouched");
}

TEST(UserId, ClockSaltIsTheTimeModuloTenThousand)
{
    VTUserId id;
    id.SetBlindedId(kBlindedId);
    const VTTime before = VTCurrentTime();
    const std::string blinded = id.GetReblindedBlindedId();
    const VTTime after = VTCurrentTime();
    const int check = std::stoi(blinded.substr(0, 2));
    const std::string body =
        VTDigitScrambler(static_cast<std::uint32_t>(check)).Unscramble(blinded.substr(2));
    const auto salt = static_cast<VTTime>(std::stoul(body.substr(9)));
    EXPECT_TRUE(salt == before % 10000 || salt == after % 10000) << salt;
}

TEST(UserId, RejectedTextsRaiseCode3AndLeaveTheIdInvalid)
{
    std::string wrongCheck = kBlindedId;
    wrongCheck[1] = wrongCheck[1] == '9' ? '0' : static_cast<char>(wrongCheck[1] + 1);
    for (const std::string& text : {kBlindedId.substr(0, 14), kBlindedId + "0",
                                    std::string("12345678901234x"), std::string(), wrongCheck}) {
        SCOPED_TRACE(text);
        VTUserId id;
        id.SetBlindedId(kBlindedId);
        EXPECT_EQ(RaisedMessage([&] { id.SetBlindedId(text); }),
                  "VTToolkitException: Invalid user id: SetBlindedId()");
        EXPECT_FALSE(id.IsValid());
        EXPECT_EQ(RaisedMessage([&] { id.GetBlindedId(); }),
                  "VTToolkitException: Invalid user id: GetBlindedId()");
        EXPECT_EQ(RaisedMessage([&] { id.GetClearId(); }),
                  "VTToolkitException: Invalid user id: GetClearId()");
        EXPECT_EQ(RaisedMessage([&] { id.GetReblindedBlindedId(1); }),
                  "VTToolkitException: Invalid user id: GetReblindedBlindedId - Invalid");
    }
    VTUserId id;
    EXPECT_THROW(id.SetBlindedId(static_cast<const char*>(nullptr)), TSInternalError);
}

TEST(ServerDataList, AssignLeavesWhatInsertingEachInTurnLeaves)
{
    const auto serialOf = [](const VTServerData& record) { return std::stoi(record.GetName()); };
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        // Few distinct keys, so that most records repeat an earlier one.
        std::vector<VTServerData> records;
        VTServerDataList oneByOne;
        const int count = static_cast<int>(random() % 300);
        for (int serial = 1; serial <= count; ++serial) {
            const VTCodeType type = random() % 2 ? kCodeUpcA : kCodeUpcE;
            VTServerData record(type, std::to_string(random() % 40));
            record.SetName(std::to_string(serial));
            records.push_back(record);
            oneByOne.InsertOrReplace(record);
        }
        const std::string where = "seed " + std::to_string(seed);
        VTServerDataList assigned;
        assigned.InsertOrReplace(VTServerData(kCodeEan13, "gone")); // whatever it held before goes
        assigned.Assign(records);
        ASSERT_EQ(assigned.Size(), oneByOne.Size()) << where;
        for (std::size_t i = 0; i < oneByOne.Size(); ++i) {
            ASSERT_EQ(serialOf(assigned.At(i)), serialOf(oneByOne.At(i))) << where << " at " << i;
            ASSERT_TRUE(assigned.At(i) == oneByOne.At(i)) << where << " at " << i;
        }
        VTServerData found;
        EXPECT_FALSE(assigned.Find(kCodeEan13, "gone", found)) << where;
        for (const VTServerData& record : records) {
            ASSERT_TRUE(assigned.Find(record.GetCodeType(), record.GetKey(), found)) << where;
            VTServerData expected;
            ASSERT_TRUE(oneByOne.Find(record.GetCodeType(), record.GetKey(), expected)) << where;
            ASSERT_EQ(found.GetName(), expected.GetName()) << where << " key " << record.GetKey();
        }
        // Replacing after the assignment moves the record to the end.
        if (!records.empty()) {
            VTServerData again = records.front();
            again.SetName(std::to_string(count + 1));
            assigned.InsertOrReplace(again);
            ASSERT_EQ(assigned.Size(), oneByOne.Size()) << where;
            ASSERT_EQ(serialOf(assigned.At(assigned.Size() - 1)), count + 1) << where;
            ASSERT_TRUE(assigned.Find(again.GetCodeType(), again.GetKey(), found)) << where;
            EXPECT_EQ(serialOf(found), count + 1) << where;
        }
    }
}

TEST(ServerDataList, IndexedFindAgreesWithAScanThroughChanges)
{
    struct ModelRecord {
        int type;
        std::string key;
        int serial;
    };
    const auto randomKey = [](std::mt19937& random) {
        static const char kAlphabet[] = "0129-";
        std::string key(random() % 4, '0');
        for (char& c : key)
            c = kAlphabet[random() % 5];
        return key;
    };
    const auto serialOf = [](const VTServerData& record) { return std::stoi(record.GetName()); };
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        VTServerDataList list;
        std::vector<ModelRecord> model;
        int serial = 0;
        for (int step = 0; step < 400; ++step) {
            const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            const unsigned action = random() % 100;
            if (action < 80) {
                // New keys and replacements of present ones, which move to the end.
                const int type = random() % 2 ? kCodeUpcA : kCodeUpcE;
                const std::string key = randomKey(random);
                std::erase_if(model, [&](const ModelRecord& r) { return r.type == type && r.key == key; });
                model.push_back({type, key, ++serial});
                VTServerData record(static_cast<VTCodeType>(type), key);
                record.SetName(std::to_string(serial));
                list.InsertOrReplace(record);
            } else if (action < 84) {
                list.ExpireAll(4000000000u);
            } else if (action < 86) {
                list.Clear();
                model.clear();
            } else if (action < 94) {
                VTServerDataList copy = list;
                list = copy;
            } else {
                VTServerDataList taken(std::move(list));
                ASSERT_TRUE(list.IsEmpty()) << where;
                VTServerData unused;
                for (const auto& record : model)
                    ASSERT_FALSE(list.Find(record.type, record.key, unused)) << where;
                list = std::move(taken);
            }
            ASSERT_EQ(list.Size(), model.size()) << where;
            for (std::size_t i = 0; i < model.size(); ++i)
                ASSERT_EQ(serialOf(list.At(i)), model[i].serial) << where << " at " << i;
            for (int query = 0; query < 40; ++query) {
                const int type = random() % 3 == 0 ? kCodeEan13 : (random() % 2 ? kCodeUpcA : kCodeUpcE);
                const std::string key = randomKey(random);
                int expected = -1;
                for (const ModelRecord& r : model)
                    if (r.type == type && r.key == key) {
                        expected = r.serial;
                        break;
                    }
                VTServerData found;
                ASSERT_EQ(list.Find(type, key, found) ? serialOf(found) : -1, expected)
                    << where << ": type " << type << " key \"" << key << '"';
            }
        }
    }
}

} // namespace
