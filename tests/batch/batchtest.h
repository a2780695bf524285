#pragma once

#include "tests/exchange/exchangetest.h"
#include "vtkit/cdupc.h"
#include "vtkit/vtbatch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

// Records what a batch tells its listener and answers its errors from a
// script (2, go on, once the script is used up).
class BatchRecorder : public VTBatchCodeListener {
public:
    struct Error {
        std::int32_t phase;
        VTServerError error;
        std::string serverName;
    };
    struct Progress {
        std::int32_t phase;
        std::int32_t position;
        std::int32_t total;
    };

    void Answer(std::deque<Decision> decisions)
    {
        std::lock_guard guard(m_lock);
        m_decisions = std::move(decisions);
    }

    Decision OnBatchError(std::int32_t phase, const VTServerError& error,
                          const std::string& serverName) override
    {
        std::lock_guard guard(m_lock);
        m_errors.push_back({phase, error, serverName});
        if (m_decisions.empty())
            return kGoOn;
        const Decision decision = m_decisions.front();
        m_decisions.pop_front();
        return decision;
    }
    void OnBatchProgress(std::int32_t phase, std::int32_t position, std::int32_t total) override
    {
        std::lock_guard guard(m_lock);
        m_progress.push_back({phase, position, total});
    }
    void OnBatchUrlsReady(const VTBatchCodeList& list) override
    {
        std::lock_guard guard(m_lock);
        m_urlsReady.push_back(list.GetAll());
    }
    void OnBatchFinished() override
    {
        {
            std::lock_guard guard(m_lock);
            ++m_finished;
        }
        m_changed.notify_all();
    }

    bool WaitFinished(std::chrono::seconds timeout = std::chrono::seconds(30))
    {
        std::unique_lock guard(m_lock);
        return m_changed.wait_for(guard, timeout, [&] { return m_finished > 0; });
    }

    // Forgets what was told; the scripted answers stay.
    void Reset()
    {
        std::lock_guard guard(m_lock);
        m_errors.clear();
        m_progress.clear();
        m_urlsReady.clear();
        m_finished = 0;
    }

    std::vector<Error> Errors() const
    {
        std::lock_guard guard(m_lock);
        return m_errors;
    }
    std::vector<Progress> ProgressCalls() const
    {
        std::lock_guard guard(m_lock);
        return m_progress;
    }
    std::vector<std::vector<VTBatchCode>> UrlsReady() const
    {
        std::lock_guard guard(m_lock);
        return m_urlsReady;
    }
    int Finished() const
    {
        std::lock_guard guard(m_lock);
        return m_finished;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Decision> m_decisions;
    std::vector<Error> m_errors;
    std::vector<Progress> m_progress;
    std::vector<std::vector<VTBatchCode>> m_urlsReady;
    int m_finished = 0;
};

// A toolkit on a scriptable loopback server with the batch processor's
// listener attached; codes, formats and templates made to order.
class BatchTest : public ExchangeTest {
protected:
    using CodeSpec = std::tuple<VTCodeType, std::string, std::int32_t>;

    BatchTest() { Processor().SetListener(&m_recorder); }
    ~BatchTest() override
    {
        Processor().Cancel();
        Processor().SetListener(nullptr);
    }

    VTBatchCodeProcessor& Processor() { return m_toolkit.GetBatchProcessor(); }

    static VTBatchCodeList Batch(const std::vector<CodeSpec>& specs)
    {
        VTBatchCodeList list;
        for (const auto& [type, text, mode] : specs)
            list.Add(VTBatchCode(type, text, mode));
        return list;
    }

    // Runs the batch to its end and gives back the processed list.
    VTBatchCodeList Run(const VTBatchCodeList& list, bool urlsReady = false, bool offline = false)
    {
        m_recorder.Reset();
        Processor().SetList(list);
        EXPECT_EQ(Processor().Start(urlsReady, offline), VTBatchCodeProcessor::kStarted);
        EXPECT_TRUE(m_recorder.WaitFinished()) << "the batch did not end";
        EXPECT_FALSE(Processor().IsRunning());
        return Processor().GetList();
    }

    static std::vector<std::int32_t> Statuses(const VTBatchCodeList& list)
    {
        std::vector<std::int32_t> statuses;
        for (const VTBatchCode& code : list.GetAll())
            statuses.push_back(code.GetStatus());
        return statuses;
    }

    static VTTime Later() { return VTCurrentTime() + 3600; }
    static VTTime Earlier() { return VTCurrentTime() - 86400; }

    void CacheFormat(VTCodeType type, const std::string& low, const std::string& high, int sidLength,
                     int iidLength, VTTime expiry)
    {
        VTCodeFormat format;
        format.SetCodeType(type);
        format.SetLowCode(low);
        format.SetHighCode(high);
        format.SetRoutingId(0, sidLength);
        format.SetItemId(sidLength, iidLength);
        format.SetExpiry(expiry);
        m_toolkit.GetCache().AddFormat(format);
    }

    void CacheTemplate(VTCodeType type, const std::string& serverId, const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& commands, VTTime expiry)
    {
        VTServerData record(type, serverId);
        record.SetName(name);
        record.SetServerType(kServerTypeResolution);
        record.SetExpiry(expiry);
        for (const auto& [command, urlTemplate] : commands)
            record.SetCommand(command, urlTemplate);
        m_toolkit.GetCache().AddTemplate(record);
    }

    BatchRecorder m_recorder;
};

// A UPC-A code from its first eleven digits.
inline std::string UpcA(const std::string& elevenDigits)
{
    return elevenDigits + VTUpcACode::CheckDigit(elevenDigits);
}

// One XSPLIT format: the server ID from 0, the item ID right after it.
inline std::string SplitFormat(const std::string& type, const std::string& low, const std::string& high,
                               int sidLength, int iidLength)
{
    return "<CODE TYPE='" + type + "' LOW='" + low + "' HIGH='" + high + "'><RID START='0' LENGTH='" +
           std::to_string(sidLength) + "'/><IID START='" + std::to_string(sidLength) + "' LENGTH='" +
           std::to_string(iidLength) + "'/><EXPIRE DATE='20300101'/></CODE>";
}

// One XGET routing key with its commands.
inline std::string RoutingKey(const std::string& type, const std::string& serverId, const std::string& name,
                              const std::vector<std::pair<std::string, std::string>>& commands)
{
    std::string key =
        "<ROUTING_KEY TYPE='" + type + "' RID='" + serverId + "'><SERVERNAME>" + name + "</SERVERNAME>";
    for (const auto& [command, urlTemplate] : commands)
        key += "<TEMPLATE CMD='" + command + "'>" + urlTemplate + "</TEMPLATE>";
    return key + "</ROUTING_KEY>";
}

// One XDESC answer.
inline std::string DescAnswer(const std::string& type, const std::string& serverId, const std::string& itemId,
                              const std::string& description, const std::string& canonical = {})
{
    return "<CODE TYPE='" + type + "' RID='" + serverId + "' IID='" + itemId + "'><DESCRIPTION>" +
           description + "</DESCRIPTION>" +
           (canonical.empty() ? "" : "<CANONICAL>" + canonical + "</CANONICAL>") + "</CODE>";
}
