// The cache files: loading, saving in one step, lookups and expiry.
#include "tests/exchange/exchangetest.h"
#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"
#include "vtkit/vtcache.h"
#include "vtkit/vtcorecache.h"
#include "vtkit/vtparsers.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

VTCodeFormat Format(VTCodeType type, const std::string& low, const std::string& high, VTTime expiry)
{
    VTCodeFormat format;
    format.SetCodeType(type);
    format.SetLowCode(low);
    format.SetHighCode(high);
    format.SetRoutingId(1, 5);
    format.SetItemId(6, 5);
    format.SetDisplayTemplate("X XXXXX XXXXX X");
    format.SetExpiry(expiry);
    return format;
}

VTServerData Template(VTCodeType type, const std::string& key, VTTime expiry)
{
    VTServerData record(type, key);
    record.SetName("Server " + key);
    record.SetServerType(kServerTypeResolution);
    record.SetExpiry(expiry);
    record.SetCommand(kCommandGet, "http://" + key + ".example/<^IID^>");
    record.SetCommand(kCommandDesc2, "http://" + key + ".example/d?c=<^CODE^>");
    return record;
}

std::vector<std::string> Files(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CacheTest : public ::testing::Test {
protected:
    VTCache& Cache() { return m_toolkit.GetCache(); }

    const VTTime m_now = VTCurrentTime();
    TempDir m_dir;
    VTToolkit m_toolkit;
};

TEST_F(CacheTest, ACacheReadInTheBackgroundIsWaitedForWhenAskedFor)
{
    std::atomic<bool> started = false;
    m_toolkit.LoadCacheInBackground([&](VTCache& cache) {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cache.AddFormat(Format(kCodeUpcA, "036000000000", "036000999999", m_now + 3600));
    });
    std::thread other([&] {
        while (!started)
            std::this_thread::yield();
        VTCodeFormat found;
        EXPECT_TRUE(m_toolkit.GetCache().FindFormat(kCodeUpcA, "036000291452", found, false))
            << "another thread";
    });
    VTCodeFormat found;
    EXPECT_TRUE(Cache().FindFormat(kCodeUpcA, "036000291452", found, false));
    other.join();

    // A second read waits for the first before it starts.
    m_toolkit.LoadCacheInBackground([&](VTCache& cache) { cache.ClearFormats(); });
    m_toolkit.LoadCacheInBackground([&](VTCache& cache) {
        cache.AddFormat(Format(kCodeIsbn, "0000000000", "0999999999", m_now + 3600));
    });
    EXPECT_EQ(Cache().Formats().GetFormats().Size(), 1u);
}

TEST_F(CacheTest, FormatsSurviveSaveAndLoad)
{
    Cache().AddFormat(Format(kCodeUpcA, "036000000000", "036000999999", m_now + 3600));
    Cache().AddFormat(Format(kCodeIsbn, "0000000000", "0999999999", m_now + 7200));
    const fs::path path = m_dir / "Format.cache";
    ASSERT_TRUE(Cache().SaveFormats(path));

    VTToolkit fresh;
    ASSERT_EQ(fresh.GetCache().LoadFormats(path), VTCacheFile::kLoaded);
    const VTCodeFormatList loaded = fresh.GetCache().Formats().GetFormats();
    const VTCodeFormatList savedList = Cache().Formats().GetFormats();
    ASSERT_EQ(loaded.Size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const VTCodeFormat& saved = savedList.At(i);
        EXPECT_EQ(loaded.At(i).GetCodeType(), saved.GetCodeType());
        EXPECT_EQ(loaded.At(i).GetLowCode(), saved.GetLowCode());
        EXPECT_EQ(loaded.At(i).GetHighCode(), saved.GetHighCode());
        EXPECT_EQ(loaded.At(i).GetRoutingIdOffset(), 1);
        EXPECT_EQ(loaded.At(i).GetItemIdLength(), 5);
        EXPECT_EQ(loaded.At(i).GetDisplayTemplate(), "X XXXXX XXXXX X");
        EXPECT_EQ(loaded.At(i).GetExpiry(), saved.GetExpiry()) << "to the second";
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(CacheTest, TemplatesSurviveSaveAndLoad)
{
    Cache().AddTemplate(Template(kCodeEan13, "590123", m_now + 25200));
    Cache().AddTemplate(Template(kCodeVanity, "ACME", m_now + 1));
    const fs::path path = m_dir / "Templates.cache";
    ASSERT_TRUE(Cache().SaveTemplates(path));

    VTToolkit fresh;
    ASSERT_EQ(fresh.GetCache().LoadTemplates(path), VTCacheFile::kLoaded);
    const VTServerDataList saved = Cache().Templates().GetRecords();
    const VTServerDataList loaded = fresh.GetCache().Templates().GetRecords();
    ASSERT_EQ(loaded.Size(), saved.Size());
    for (std::size_t i = 0; i < saved.Size(); ++i) {
        SCOPED_TRACE(saved.At(i).GetKey());
        EXPECT_EQ(loaded.At(i).GetCodeType(), saved.At(i).GetCodeType());
        EXPECT_EQ(loaded.At(i).GetKey(), saved.At(i).GetKey());
        EXPECT_EQ(loaded.At(i).GetName(), saved.At(i).GetName());
        EXPECT_EQ(loaded.At(i).GetServerType(), kServerTypeResolution);
        EXPECT_EQ(loaded.At(i).GetExpiry(), saved.At(i).GetExpiry()) << "to the second";
        EXPECT_EQ(loaded.At(i).GetCommands().Size(), 2u);
        saved.At(i).GetCommands().ForEach([&](const std::string& name, const std::string& value) {
            std::string read;
            EXPECT_TRUE(loaded.At(i).GetCommand(name, read));
            EXPECT_EQ(read, value);
        });
    }
}

TEST_F(CacheTest, CoreRecordsSurviveSaveAndLoad)
{
    ASSERT_EQ(m_toolkit.GetCoreCache().Parse(
                  "<CORE_SERVER_LIST><SERVER TYPE='REGISTRATION'>"
                  "<TEMPLATE CMD='ATTACH'>http://r/a?l=&lt;^LOGIN^&gt;</TEMPLATE></SERVER>"
                  "<SERVER TYPE='ROUTING'><TEMPLATE CMD='GET'>http://r/g</TEMPLATE>"
                  "</SERVER></CORE_SERVER_LIST>"),
              VTCacheFile::kLoaded);
    const fs::path path = m_dir / "Server.dat";
    ASSERT_TRUE(m_toolkit.SaveCoreCache(path));
    const std::string text = TempDir::ReadFile(path);
    EXPECT_LT(text.find("'ROUTING'"), text.find("'REGISTRATION'")) << text;
    EXPECT_EQ(text.find("'HELP'"), std::string::npos) << "a record without commands is left out";

    VTToolkit fresh;
    ASSERT_EQ(fresh.LoadCoreCache(path), VTCacheFile::kLoaded);
    std::string attach;
    EXPECT_TRUE(fresh.GetRegistrationRecord().GetCommand(kCommandAttach, attach));
    EXPECT_EQ(attach, "http://r/a?l=<^LOGIN^>");
    EXPECT_EQ(fresh.GetRoutingRecord().GetCommands().Size(), 1u);
}

TEST_F(CacheTest, FilesThatCannotBeReadLeaveTheCacheAsItWas)
{
    Cache().AddFormat(Format(kCodeUpcA, "0", "9", m_now + 60));
    Cache().AddTemplate(Template(kCodeUpcA, "036", m_now + 60));
    const std::pair<std::string, std::int32_t> cases[] = {
        {"", VTCacheFile::kCannotOpen},
        {"<SERVER_DATA_LIST/>", VTCacheFile::kInvalid},
        {"<CODE_FORMAT_LIST><CODE TYPE='UPCA'></CODE_FORMAT_LIST>", VTCacheFile::kInvalid},
        {"", VTCacheFile::kInvalid},
        {std::string("\xff\xfe<", 3), VTCacheFile::kInvalid},
    };
    int index = 0;
    for (const auto& [content, result] : cases) {
        SCOPED_TRACE(content);
        fs::path path = m_dir / ("Format" + std::to_string(index++) + ".cache");
        if (result != VTCacheFile::kCannotOpen)
            path = m_dir.WriteFile(path.filename().string(), content);
        EXPECT_EQ(Cache().LoadFormats(path), result);
        EXPECT_EQ(Cache().Formats().GetFormats().Size(), 1u);
    }
    EXPECT_EQ(Cache().LoadFormats(m_dir.Path()), VTCacheFile::kCannotRead) << "a folder";
    EXPECT_EQ(Cache().LoadTemplates(m_dir.WriteFile("T.cache", "<CODE_FORMAT_LIST/>")),
              VTCacheFile::kInvalid);
    EXPECT_EQ(Cache().LoadTemplates(m_dir.WriteFile("X.cache", "<XGET/>")), VTCacheFile::kLoaded)
        << "a template reply as it came";
    EXPECT_EQ(m_toolkit.LoadCoreCache(m_dir.WriteFile("S.dat", "<XGET/>")), VTCacheFile::kInvalid);
    EXPECT_THROW(Cache().Formats().Load(static_cast<const char*>(nullptr)), TSInternalError);
}

TEST_F(CacheTest, LookupsTakeExpiredEntriesOnlyWhenAsked)
{
    Cache().AddFormat(Format(kCodeUpcA, "036000000000", "036000999999", m_now - 86400));
    Cache().AddFormat(Format(kCodeEan13, "5000000000000", "5999999999999", m_now + 3600));
    Cache().AddTemplate(Template(kCodeUpcA, "03600", m_now - 86400));
    Cache().AddTemplate(Template(kCodeEan13, "590", m_now + 3600));

    VTCodeFormat format;
    VTServerData record;
    EXPECT_FALSE(Cache().FindFormat(kCodeUpcA, "036000291452", format, false)) << "expired yesterday";
    EXPECT_TRUE(Cache().FindFormat(kCodeUpcA, "036000291452", format, true));
    EXPECT_TRUE(Cache().FindFormat(kCodeEan13, "5901234123457", format, false));
    EXPECT_FALSE(Cache().FindFormat(kCodeEan8, "5901234123457", format, true)) << "another type";
    EXPECT_FALSE(Cache().FindTemplate(kCodeUpcA, "03600", record, false));
    EXPECT_TRUE(Cache().FindTemplate(kCodeUpcA, "03600", record, true));
    EXPECT_TRUE(Cache().FindTemplate(kCodeEan13, "590", record, false));

    Cache().Expire(VTCache::kExpireFormats | VTCache::kExpireTemplates);
    EXPECT_FALSE(Cache().FindFormat(kCodeEan13, "5901234123457", format, false));
    EXPECT_FALSE(Cache().FindTemplate(kCodeEan13, "590", record, false));
    EXPECT_TRUE(Cache().FindFormat(kCodeEan13, "5901234123457", format, true));
    EXPECT_TRUE(Cache().FindTemplate(kCodeEan13, "590", record, true));
    EXPECT_LE(record.GetExpiry(), VTCurrentTime() - 60);

    Cache().ClearFormats();
    Cache().ClearTemplates();
    EXPECT_FALSE(Cache().FindFormat(kCodeEan13, "5901234123457", format, true));
    EXPECT_FALSE(Cache().FindTemplate(kCodeEan13, "590", record, true));
}

// An entry is valid up to and including its expiry second, formats and
// routing templates alike.
TEST_F(CacheTest, EntryExpiringThisSecondIsStillValid)
{
    const std::pair<VTTime, bool> cases[] = {{m_now + 1, true}, {m_now, true}, {m_now - 1, false}};
    for (const auto& [expiry, valid] : cases) {
        SCOPED_TRACE("expiry now " + std::to_string(static_cast<std::int64_t>(expiry) - m_now));
        Cache().AddFormat(Format(kCodeUpcA, "0", "9", expiry));
        Cache().AddTemplate(Template(kCodeUpcA, "036", expiry));
        VTCodeFormat format;
        VTServerData record;
        EXPECT_EQ(Cache().Formats().Find(kCodeUpcA, "5", format, false, m_now), valid);
        EXPECT_EQ(Cache().Templates().Find(kCodeUpcA, "036", record, false, m_now), valid);
        EXPECT_TRUE(Cache().Formats().Find(kCodeUpcA, "5", format, true, m_now));
        EXPECT_TRUE(Cache().Templates().Find(kCodeUpcA, "036", record, true, m_now));
    }

    // The same through the toolkit's clock, taking a try in which the second
    // did not turn during the lookups.
    bool checked = false;
    for (int attempt = 0; attempt < 20 && !checked; ++attempt) {
        const VTTime now = VTCurrentTime();
        Cache().AddFormat(Format(kCodeEan13, "0", "9", now));
        Cache().AddTemplate(Template(kCodeEan13, "590", now));
        VTCodeFormat format;
        VTServerData record;
        const bool formatFound = Cache().FindFormat(kCodeEan13, "5", format, false);
        const bool templateFound = Cache().FindTemplate(kCodeEan13, "590", record, false);
        if (VTCurrentTime() != now)
            continue;
        checked = true;
        EXPECT_TRUE(formatFound);
        EXPECT_TRUE(templateFound);
    }
    EXPECT_TRUE(checked) << "the second turned during every try";
}

TEST_F(CacheTest, ExpireTouchesOnlyTheFlaggedCache)
{
    Cache().AddFormat(Format(kCodeEan13, "5", "6", m_now + 3600));
    Cache().AddTemplate(Template(kCodeEan13, "590", m_now + 3600));
    Cache().Expire(VTCache::kExpireTemplates);
    VTCodeFormat format;
    VTServerData record;
    EXPECT_TRUE(Cache().FindFormat(kCodeEan13, "5901234123457", format, false));
    EXPECT_FALSE(Cache().FindTemplate(kCodeEan13, "590", record, false));
}

// What a client asks before it saves: did the content change since the
// file was last read or written?
TEST_F(CacheTest, EachFileKnowsWhetherItsContentChanged)
{
    const fs::path formats = m_dir / "Format.cache";
    VTCodeCacheFile& file = Cache().Formats();
    EXPECT_FALSE(file.IsModified()) << "an empty cache has nothing to save";
    Cache().AddFormat(Format(kCodeUpcA, "036000000000", "036000999999", m_now + 3600));
    EXPECT_TRUE(file.IsModified());
    EXPECT_FALSE(Cache().SaveFormats(m_dir / "no such folder" / "Format.cache"));
    EXPECT_TRUE(file.IsModified()) << "a failed save leaves the change to save";
    ASSERT_TRUE(Cache().SaveFormats(formats));
    EXPECT_FALSE(file.IsModified());

    const std::function<void()> changes[] = {
        [&] { Cache().AddTemplate(Template(kCodeEan13, "590", m_now)); },
        [&] { Cache().ClearTemplates(); },
        [&] { Cache().Expire(VTCache::kExpireTemplates); },
        [&] { Cache().Templates().Parse("<SERVER_DATA_LIST/>"); },
    };
    for (const auto& change : changes) {
        ASSERT_TRUE(Cache().SaveTemplates(m_dir / "Templates.cache"));
        change();
        EXPECT_TRUE(Cache().Templates().IsModified());
        EXPECT_FALSE(file.IsModified()) << "each file on its own";
    }
    ASSERT_EQ(Cache().LoadTemplates(m_dir / "Templates.cache"), VTCacheFile::kLoaded);
    EXPECT_FALSE(Cache().Templates().IsModified()) << "what was just read is what the file holds";
    EXPECT_EQ(Cache().LoadTemplates(m_dir / "missing.cache"), VTCacheFile::kCannotOpen);
    EXPECT_FALSE(Cache().Templates().IsModified());

    // Replies carry the core records every time; only other records are a change.
    const std::string core = "<CORE_SERVER_LIST><SERVER TYPE='HELP'><TEMPLATE CMD='GET'>http://h/</TEMPLATE>"
                             "</SERVER></CORE_SERVER_LIST>";
    VTCoreCacheFile& coreCache = m_toolkit.GetCoreCache();
    ASSERT_EQ(coreCache.Parse(core), VTCacheFile::kLoaded);
    ASSERT_TRUE(coreCache.Save(m_dir / "Server.dat"));
    m_toolkit.UpdateCoreServers(ParseDocument(core));
    EXPECT_FALSE(coreCache.IsModified());
    m_toolkit.UpdateCoreServers(ParseDocument("<XGET><SERVER TYPE='HELP'><TEMPLATE CMD='GET'>http://other/"
                                              "</TEMPLATE></SERVER></XGET>"));
    EXPECT_TRUE(coreCache.IsModified());
}

// A save that fails part way, as on a full disk, keeps the previous file.
TEST_F(CacheTest, FailedSaveKeepsThePreviousFile)
{
    const fs::path path = m_dir / "Templates.cache";
    Cache().AddTemplate(Template(kCodeEan13, "590", m_now + 3600));
    ASSERT_TRUE(Cache().SaveTemplates(path));
    const std::string before = TempDir::ReadFile(path);

    for (int i = 0; i < 200; ++i)
        Cache().AddTemplate(Template(kCodeIsbn, std::to_string(i), m_now));
    {
        FileSizeLimit limit(before.size() + 100);
        EXPECT_FALSE(Cache().SaveTemplates(path));
    }
    EXPECT_EQ(TempDir::ReadFile(path), before);
    EXPECT_EQ(Files(m_dir.Path()), std::vector<std::string>{"Templates.cache"}) << "no temporary file stays";
    VTToolkit fresh;
    ASSERT_EQ(fresh.GetCache().LoadTemplates(path), VTCacheFile::kLoaded);
    EXPECT_EQ(fresh.GetCache().Templates().GetRecords().Size(), 1u);

    EXPECT_FALSE(Cache().SaveTemplates(m_dir / "no such folder" / "Templates.cache"));
}

// A process killed in the middle of writing the cache (here by the file
// size signal after a few hundred bytes) leaves the previous file loadable.
TEST_F(CacheTest, SaveKilledHalfwayLeavesThePreviousFileLoadable)
{
    const fs::path path = m_dir / "Format.cache";
    Cache().AddFormat(Format(kCodeUpcA, "0", "9", m_now + 3600));
    ASSERT_TRUE(Cache().SaveFormats(path));
    const std::string before = TempDir::ReadFile(path);
    for (int i = 0; i < 100; ++i)
        Cache().AddFormat(Format(kCodeEan13, std::to_string(i), std::to_string(i + 1), m_now));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit small{before.size() + 200, before.size() + 200};
        ::setrlimit(RLIMIT_FSIZE, &small);
        Cache().SaveFormats(path);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save was not cut short";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);

    EXPECT_EQ(TempDir::ReadFile(path), before);
    VTToolkit fresh;
    ASSERT_EQ(fresh.GetCache().LoadFormats(path), VTCacheFile::kLoaded);
    EXPECT_EQ(fresh.GetCache().Formats().GetFormats().Size(), 1u);
    const std::vector<std::string> left = Files(m_dir.Path());
    ASSERT_EQ(left.size(), 2u) << "only the dead process's temporary file beside it";
    EXPECT_TRUE(left[1].starts_with("Format.cache.tmp.")) << left[1];

    // The next save removes it once no process holds it; a young one might
    // still be on its way to its lock, so it is aged first.
    fs::last_write_time(m_dir / left[1], fs::file_time_type::clock::now() - std::chrono::minutes(1));
    const fs::path other = m_dir.WriteFile("Templates.cache.tmp.OTHER1", "another file's");
    fs::last_write_time(other, fs::file_time_type::clock::now() - std::chrono::minutes(1));
    ASSERT_TRUE(Cache().SaveFormats(path));
    EXPECT_EQ(Files(m_dir.Path()), (std::vector<std::string>{"Format.cache", "Templates.cache.tmp.OTHER1"}));
}

// A cache grown past what its reader takes is never written: the next
// start would have to drop every entry of it.
TEST_F(CacheTest, ACacheTheReaderWouldRefuseIsNotWritten)
{
    const fs::path path = m_dir / "Templates.cache";
    Cache().AddTemplate(Template(kCodeEan13, "590", m_now + 3600));
    ASSERT_TRUE(Cache().SaveTemplates(path));
    const std::string before = TempDir::ReadFile(path);
    const std::string longTemplate(kMaxTemplateBytes, 't');
    for (std::size_t i = 0; i * kMaxTemplateBytes < VTCacheFile::kMaxFileBytes; ++i) {
        VTServerData record = Template(kCodeIsbn, std::to_string(i), m_now + 3600);
        record.SetCommand(kCommandGet, longTemplate);
        Cache().AddTemplate(record);
    }
    VTCacheFile& file = Cache().Templates();
    std::string why;
    EXPECT_FALSE(file.Save(path, &why));
    EXPECT_TRUE(why.starts_with("the cache would be ")) << why;
    EXPECT_TRUE(why.ends_with(" bytes, more than the " + std::to_string(VTCacheFile::kMaxFileBytes) +
                              " it may have; the file is left as it was"))
        << why;
    EXPECT_TRUE(file.IsModified()) << "what was not saved is still to save";
    EXPECT_EQ(TempDir::ReadFile(path), before);
}

// Saves on one thread while another keeps adding: every saved file is whole.
TEST_F(CacheTest, SavesWhileEntriesAreAddedAreAlwaysWhole)
{
    const fs::path path = m_dir / "Templates.cache";
    std::thread adder([&] {
        for (int i = 0; i < 300; ++i)
            Cache().AddTemplate(Template(kCodeIsbn, std::to_string(i), m_now + 60));
    });
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(Cache().SaveTemplates(path));
        VTToolkit reader;
        ASSERT_EQ(reader.GetCache().LoadTemplates(path), VTCacheFile::kLoaded);
    }
    adder.join();
    ASSERT_TRUE(Cache().SaveTemplates(path));
    VTToolkit reader;
    ASSERT_EQ(reader.GetCache().LoadTemplates(path), VTCacheFile::kLoaded);
    EXPECT_EQ(reader.GetCache().Templates().GetRecords().Size(), 300u);
}

} // namespace
