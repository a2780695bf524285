// End to end: the client's own toolkit and lumora-cli against the running
// reference server and its sample data, over loopback. The toolkit reads
// the Server.dat the server wrote for itself, attaches with a sample
// account, and resolves every sample code as the client would: formats,
// caches, templates, the item's page and its description.
#include "client/config.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tests/exchange/exchangewaiter.h"
#include "tests/refserver/refserverfixture.h"
#include "tests/refserver/samplecodes.h"
#include "tests/support/runprogram.h"
#include "tests/support/temphome.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtexcep.h"
#include "vtkit/vttoolkit.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kJaneUser = "339430961779487";
constexpr const char* kJaneClearId = "314159265";

// One routing key: the type the templates are filed under (one key serves
// both UPC types) and the server ID.
using KeyOf = std::pair<VTCodeType, std::string>;

KeyOf RoutingKeyOf(const SampleCode& sample, const VTCodeContents& contents)
{
    return {sample.m_type == kCodeUpcE ? kCodeUpcA : sample.m_type, contents.GetServerId()};
}

// A sample code as the client holds it once resolved.
struct Resolved {
    const SampleCode* m_sample;
    VTCodeContents m_contents;
    VTServerData m_record;
};

class EndToEndTest : public RefServerTest {
protected:
    void SetUp() override
    {
        RefServerTest::SetUp();
        if (HasFatalFailure())
            return;
        m_toolkit.SetClientVariables({.capp = "PC", .cver = "1.0", .clang = "ENU"});
        ASSERT_EQ(m_toolkit.LoadCoreCache(m_dir / "Server.dat"), VTCacheFile::kLoaded);
        m_toolkit.GetRoutingServer().SetListener(&m_waiter);
        m_toolkit.GetResolutionServer().SetListener(&m_waiter);
        m_toolkit.GetRegistrationServer().SetListener(&m_waiter);
    }

    // Waits for a sent exchange to end; true when it ended in `answered`.
    template <class Exchange> bool Ended(Exchange& exchange, std::int32_t answered)
    {
        const ExchangeWaiter::Outcome outcome = m_waiter.Wait();
        const std::int32_t state = exchange.GetState(true);
        if (outcome != ExchangeWaiter::kSuccess || state != answered) {
            VTServerError error;
            exchange.GetError(error);
            ADD_FAILURE() << "state " << state << ", error " << error.GetErrorCode() << ": "
                          << error.GetMessage() << " " << error.GetDetails() << "\nserver:\n"
                          << m_server->ErrorOutput();
            return false;
        }
        return true;
    }

    VTAttachResults Attach(const char* login, const char* password)
    {
        VTRegistrationServer& registration = m_toolkit.GetRegistrationServer();
        VTAttachResults results;
        const bool sent = registration.RequestAttach(login, password);
        EXPECT_TRUE(sent);
        if (sent && Ended(registration, VTRegistrationServer::kAnswered))
            registration.GetAttachResults(results);
        return results;
    }

    void AttachDemo()
    {
        const VTAttachResults results = Attach("demo", "demo");
        ASSERT_TRUE(results.IsAttached());
        m_toolkit.SetUserId(results.GetUserId());
    }

    // One format query for the codes, its answers put into the format cache.
    void QueryFormats(const VTCodeFormatQueryList& items)
    {
        VTRoutingServer& routing = m_toolkit.GetRoutingServer();
        VTCodeFormatList formats;
        ASSERT_TRUE(routing.RequestFormats(items));
        ASSERT_TRUE(Ended(routing, VTRoutingServer::kFormatsAnswered));
        ASSERT_TRUE(routing.GetFormats(formats));
        for (const VTCodeFormat& format : formats)
            m_toolkit.GetCache().AddFormat(format);
    }

    // One template query for the keys, its answers put into the template cache.
    void QueryTemplates(const VTTemplateQueryList& items)
    {
        VTRoutingServer& routing = m_toolkit.GetRoutingServer();
        VTServerDataList templates;
        ASSERT_TRUE(routing.RequestTemplates(items));
        ASSERT_TRUE(Ended(routing, VTRoutingServer::kTemplatesAnswered));
        ASSERT_TRUE(routing.GetTemplates(templates));
        for (const VTServerData& record : templates)
            m_toolkit.GetCache().AddTemplate(record);
    }

    // The caches through their files, as a later run of the client finds them.
    void ReloadCaches()
    {
        VTCache& cache = m_toolkit.GetCache();
        ASSERT_TRUE(cache.SaveFormats(m_dir / "Format.cache"));
        ASSERT_TRUE(cache.SaveTemplates(m_dir / "Server.cache"));
        cache.ClearFormats();
        cache.ClearTemplates();
        ASSERT_EQ(cache.LoadFormats(m_dir / "Format.cache"), VTCacheFile::kLoaded);
        ASSERT_EQ(cache.LoadTemplates(m_dir / "Server.cache"), VTCacheFile::kLoaded);
    }

    // The descriptions of the codes of one key, asked of that key's server;
    // false when the key offers no description command.
    bool Describe(const VTServerData& record, const std::vector<const Resolved*>& codes,
                  VTCodeDescriptionList& answers)
    {
        VTResolutionServer& resolution = m_toolkit.GetResolutionServer();
        resolution.SetServerData(record);
        VTCodeDescriptionList request;
        for (const Resolved* code : codes)
            request.Add(VTCodeDescription(code->m_contents));
        if (!resolution.RequestDescriptions(request))
            return false;
        EXPECT_TRUE(Ended(resolution, VTResolutionServer::kAnswered));
        EXPECT_TRUE(resolution.GetDescriptions(answers));
        return true;
    }

    // The address the GET template gives for a code, filled as the client fills it.
    std::string PageAddress(const Resolved& code) const
    {
        std::string urlTemplate;
        EXPECT_TRUE(code.m_record.GetCommand(kCommandGet, urlTemplate));
        TSStringMap values;
        m_toolkit.AddClientVariables(values);
        code.m_contents.ExportTo(values);
        return Substitute(urlTemplate, values);
    }

    std::vector<Resolved> ResolveSamples();
    void CheckPage(const Resolved& code) const;
    void CheckDescriptions(const std::vector<Resolved>& resolved, const char* unknownItem = nullptr);

    ExchangeWaiter m_waiter;
    // Declared after the waiter, so that it goes first; a domain of its own,
    // so that the vanity and Vantrel keys must be asked in "PC".
    VTToolkit m_toolkit{"US"};
};

// Formats for every code that needs one, in one query; then the templates
// of every key, in one query; both through the cache files.
std::vector<Resolved> EndToEndTest::ResolveSamples()
{
    VTCodeFormatQueryList formatQuery;
    for (const SampleCode& sample : kSamples)
        if (RequiresCodeFormat(sample.m_type))
            formatQuery.push_back({sample.m_type, sample.m_code});
    QueryFormats(formatQuery);

    std::vector<Resolved> resolved;
    VTTemplateQueryList templateQuery;
    for (const SampleCode& sample : kSamples) {
        SCOPED_TRACE(sample.m_code);
        std::vector<VTCodeType> candidates;
        AnalyzeCode(sample.m_code, candidates, kScanTypeUnknown, false);
        EXPECT_THAT(candidates, Contains(sample.m_type));
        VTCodeFormat format;
        format.SetCodeType(sample.m_type);
        if (RequiresCodeFormat(sample.m_type)) {
            EXPECT_TRUE(m_toolkit.GetCache().FindFormat(sample.m_type, StripSpacesAndDashes(sample.m_code),
                                                        format, false));
        }
        Resolved code{&sample, {}, {}};
        EXPECT_NO_THROW(DecomposeAs(sample.m_code, sample.m_type, format, code.m_contents));
        EXPECT_EQ(code.m_contents.GetServerId(), sample.m_sid);
        EXPECT_EQ(code.m_contents.GetItemId(), sample.m_iid);
        templateQuery.push_back({sample.m_type, code.m_contents.GetServerId()});
        resolved.push_back(code);
    }
    QueryTemplates(templateQuery);
    ReloadCaches();
    for (Resolved& code : resolved) {
        SCOPED_TRACE(code.m_sample->m_code);
        const std::string serverId = code.m_contents.GetServerId();
        EXPECT_TRUE(m_toolkit.GetCache().FindTemplate(code.m_sample->m_type, serverId, code.m_record, false));
        EXPECT_EQ(code.m_record.GetKey(), serverId) << "filed under the key that was asked";
        EXPECT_TRUE(code.m_record.HasCommand(kCommandGet));
    }
    return resolved;
}

// The code's page opens, names the item and knows the attached account:
// the USER the toolkit re-blinded unblinds on the server.
void EndToEndTest::CheckPage(const Resolved& code) const
{
    const SampleCode& sample = *code.m_sample;
    const std::string address = PageAddress(code);
    EXPECT_THAT(address, StartsWith(Url("/item?type=" + std::string(CodeTypeName(sample.m_type, false)) +
                                        "&sid=" + sample.m_sid + "&iid=" + sample.m_iid + "&user=")));
    const WireReply page = Send(HttpRequestText("GET", address));
    EXPECT_EQ(page.m_status, 200) << address;
    EXPECT_THAT(page.m_body, HasSubstr(sample.m_description));
    EXPECT_THAT(page.m_body, HasSubstr("Opened for Demo User"));
}

// One description query per key, with all of that key's codes: DESC as raw
// XML or as a form, DESC2 as a form with and without TYPE, and DESC2 posted
// to the key's own address; a key with both commands is asked with DESC.
// With `unknownItem`, each query also asks for that item of the key, which
// no item of the data is: its answer is an empty description.
void EndToEndTest::CheckDescriptions(const std::vector<Resolved>& resolved, const char* unknownItem)
{
    std::map<KeyOf, std::vector<const Resolved*>> byKey;
    for (const Resolved& code : resolved)
        byKey[RoutingKeyOf(*code.m_sample, code.m_contents)].push_back(&code);
    for (auto& [key, codes] : byKey) {
        SCOPED_TRACE(key.second);
        const VTServerData& record = codes.front()->m_record;
        Resolved unknown = *codes.front();
        if (unknownItem) {
            unknown.m_contents.SetItemId(unknownItem);
            unknown.m_contents.SetRawItemId(std::string_view(unknownItem));
            codes.push_back(&unknown);
        }
        VTCodeDescriptionList answers;
        const std::string command = codes.front()->m_sample->m_command;
        if (!Describe(record, codes, answers)) {
            EXPECT_EQ(command, "") << "a key with a description command sent nothing";
            // Without a description the client shows the server's name.
            EXPECT_EQ(record.GetName(), "Lumora Short Links");
            continue;
        }
        EXPECT_NE(command, "");
        for (const Resolved* code : codes) {
            SCOPED_TRACE(code->m_contents.GetItemId());
            const auto answer =
                std::find_if(answers.begin(), answers.end(), [&](const VTCodeDescription& entry) {
                    return entry.GetItemId() == code->m_contents.GetItemId();
                });
            ASSERT_NE(answer, answers.end());
            const bool known = code != &unknown;
            EXPECT_EQ(answer->GetDescription(), known ? code->m_sample->m_description : "");
            EXPECT_EQ(answer->GetCanonical(), known ? code->m_sample->m_canonical : "");
        }
    }
}

// A code of a known key whose item the data does not hold, asked for
// together with the key's own items.
TEST_F(EndToEndTest, ItemsAKeyDoesNotHoldAreAnsweredWithAnEmptyDescription)
{
    AttachDemo();
    const std::vector<Resolved> resolved = ResolveSamples();
    ASSERT_FALSE(HasFailure());
    CheckDescriptions(resolved, "999");
}

TEST_F(EndToEndTest, AttachBringsTheSampleAccountsIdentity)
{
    struct Case {
        const char* m_login;
        const char* m_password;
        const char* m_sentLogin; // form-encoded, as the reply must name it
        const char* m_user;
        const char* m_clearId;
    };
    const Case cases[] = {
        {"demo", "demo", "demo", kDemoUser, kDemoClearId},
        {"DEMO", "demo", "DEMO", kDemoUser, kDemoClearId},
        {"Jane Doe", "p&ss word", "Jane+Doe", kJaneUser, kJaneClearId},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_login);
        const VTAttachResults results = Attach(c.m_login, c.m_password);
        ASSERT_TRUE(results.IsAttached());
        EXPECT_EQ(results.GetUserId().GetBlindedId(), c.m_user);
        EXPECT_EQ(results.GetUserId().GetClearId(), c.m_clearId);
        EXPECT_EQ(results.GetLogin(), c.m_sentLogin);
        EXPECT_EQ(results.GetApplicationId(), "PC");
    }

    // A wrong password is the server's error 21, told as a failed attach.
    VTRegistrationServer& registration = m_toolkit.GetRegistrationServer();
    ASSERT_TRUE(registration.RequestAttach("demo", "Demo"));
    EXPECT_EQ(m_waiter.Wait(), ExchangeWaiter::kFailure);
    EXPECT_EQ(registration.GetState(true), VTRegistrationServer::kFailed);
    VTServerError error;
    registration.GetError(error);
    EXPECT_EQ(error.GetErrorCode(), "S-205-21");
    EXPECT_THROW(registration.GetAttachResults(*std::make_unique<VTAttachResults>()), VTToolkitException);
}

TEST_F(EndToEndTest, RoutingQueriesNeedTheAttachedIdentity)
{
    EXPECT_THROW(m_toolkit.GetRoutingServer().RequestFormats({{kCodeEan8, "96385074"}}), VTToolkitException);
    AttachDemo();
    QueryFormats({{kCodeEan8, "96385074"}, {kCodeEan8, "12345670"}});
    VTCodeFormat format;
    EXPECT_TRUE(m_toolkit.GetCache().FindFormat(kCodeEan8, "96385074", format, false));
    EXPECT_FALSE(m_toolkit.GetCache().FindFormat(kCodeEan8, "12345670", format, true))
        << "a code outside every range gets no format";
}

TEST_F(EndToEndTest, EverySampleCodeResolvesToItsPageAndDescription)
{
    AttachDemo();
    const std::vector<Resolved> resolved = ResolveSamples();
    ASSERT_FALSE(HasFailure());
    for (const Resolved& code : resolved) {
        SCOPED_TRACE(code.m_sample->m_code);
        CheckPage(code);
    }
    CheckDescriptions(resolved);
    // A successful routing exchange is stamped, and the core cache the
    // replies refreshed saves as a whole.
    m_toolkit.StampTemplateDate();
    EXPECT_EQ(m_toolkit.GetTemplateDate().size(), 14u);
    ASSERT_TRUE(m_toolkit.SaveCoreCache(m_dir / "Saved.dat"));
    VTToolkit later;
    ASSERT_EQ(later.LoadCoreCache(m_dir / "Saved.dat"), VTCacheFile::kLoaded);
    std::string attach;
    EXPECT_TRUE(later.GetRegistrationRecord().GetCommand(kCommandAttach, attach));
    EXPECT_EQ(attach, CoreTemplate("REGISTRATION", "ATTACH"));
}

// lumora-cli attach as a user runs it, with a Server.dat that points at
// this server and a throw-away home for the stored identity.
TEST_F(EndToEndTest, CliAttachPrintsAndStoresTheBlindedId)
{
    const TempHome home;
    const auto storedId = [] {
        platform::Registry registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
        CClientConfig config(registry);
        std::string uid;
        return config.ReadUserId(uid) ? uid : "(none)";
    };
    const std::string serverDat = (m_dir / "Server.dat").string();

    const ProgramResult refused =
        RunProgram(LUMORA_CLI_PATH, {"attach", "demo", "wrong", "--server-dat", serverDat});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_THAT(refused.err, HasSubstr("S-205-21"));
    EXPECT_EQ(storedId(), "(none)");

    const ProgramResult result =
        RunProgram(LUMORA_CLI_PATH, {"attach", "demo", "demo", "--server-dat", serverDat, "--json"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "{\"attached\":1,\"uid\":\"" + std::string(kDemoUser) +
                              "\",\"appid\":\"PC\",\"login\":\"demo\"}\n");
    EXPECT_EQ(storedId(), kDemoUser);

    const ProgramResult jane =
        RunProgram(LUMORA_CLI_PATH, {"attach", "Jane Doe", "p&ss word", "--server-dat", serverDat, "--json"});
    EXPECT_EQ(jane.exitStatus, 0) << jane.err;
    EXPECT_THAT(jane.out, HasSubstr(std::string("\"uid\":\"") + kJaneUser + "\""));
    EXPECT_EQ(storedId(), kJaneUser) << "a new attach replaces the stored identity";
}

} // namespace
