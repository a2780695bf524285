#include "bench/batchdata.h"

#include "vtkit/vttoolkit.h"

#include <condition_variable>
#include <mutex>

#include <random>
#include <thread>
#include <string_view>
#include <unordered_set>

namespace {

class FinishWaiter : public VTBatchCodeListener {
public:
    void OnBatchFinished() override
    {
        std::lock_guard guard(m_lock);
        m_finished = true;
        m_changed.notify_all();
    }

    void Wait()
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_finished; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_finished = false;
};

// How one retail type lays out its codes: a company prefix of `prefixLength`
// digits after `lead`, then `itemLength` item digits and a check character.
struct RetailLayout {
    VTCodeType type;
    const char* lead;
    int prefixLength;
    int itemLength;
    unsigned share; // of the formats, in percent
};

constexpr RetailLayout kLayouts[] = {
    {kCodeUpcA, "", 6, 5, 35}, {kCodeEan13, "", 7, 5, 30},       {kCodeEan8, "", 4, 3, 10},
    {kCodeIsbn, "", 5, 4, 10}, {kCodeBookLand, "978", 6, 3, 15},
};

std::string Digits(std::mt19937& random, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text.push_back(static_cast<char>('0' + random() % 10));
    return text;
}

char Gtin10Check(std::string_view body)
{
    int sum = 0;
    int weight = 3;
    for (auto it = body.rbegin(); it != body.rend(); ++it, weight = 4 - weight)
        sum += (*it - '0') * weight;
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

char IsbnCheck(std::string_view body)
{
    int sum = 0;
    for (std::size_t i = 0; i < body.size(); ++i)
        sum += (body[i] - '0') * static_cast<int>(10 - i);
    const int check = (11 - sum % 11) % 11;
    return check == 10 ? 'X' : static_cast<char>('0' + check);
}

std::string WithCheck(VTCodeType type, const std::string& body)
{
    return body + (type == kCodeIsbn ? IsbnCheck(body) : Gtin10Check(body));
}

// A prefix not yet taken for the layout; EAN-13 keeps clear of the UPC-A
// (0) and BookLand (978, 979) number systems, and an ISBN never starts as
// a BookLand code does.
std::string NewPrefix(std::mt19937& random, const RetailLayout& layout,
                      std::unordered_set<std::string>& taken)
{
    for (;;) {
        std::string prefix = Digits(random, layout.prefixLength);
        if (layout.type == kCodeEan13)
            prefix[0] = static_cast<char>('1' + random() % 8);
        if ((layout.type == kCodeEan8 && prefix[0] == '0') ||
            (layout.type == kCodeIsbn && prefix.starts_with("97")))
            continue;
        if (taken.insert(prefix).second)
            return prefix;
    }
}

VTCodeFormat RangeFormat(const RetailLayout& layout, const std::string& low, const std::string& high,
                         int ridOffset, int ridLength, VTTime expiry)
{
    VTCodeFormat format;
    format.SetCodeType(layout.type);
    format.SetLowCode(low);
    format.SetHighCode(high);
    format.SetRoutingId(ridOffset, ridLength);
    format.SetItemId(ridOffset + ridLength, layout.itemLength);
    format.SetExpiry(expiry);
    return format;
}

VTServerData Record(VTCodeType type, const std::string& key, std::size_t number, VTTime expiry)
{
    VTServerData record(type, key);
    record.SetName("Bench server " + std::to_string(number));
    record.SetServerType(kServerTypeResolution);
    record.SetExpiry(expiry);
    record.SetCommand(kCommandGet, kBenchGetTemplate);
    return record;
}

} // namespace

BatchData MakeBatchData(std::size_t entries, std::size_t codes, unsigned seed)
{
    std::mt19937 random(seed);
    const VTTime expiry = VTCurrentTime() + 86400;
    BatchData data;
    const std::size_t broad = entries / 100;
    struct Range {
        const RetailLayout* layout;
        std::string prefix;
    };
    std::vector<Range> ranges;
    std::unordered_set<std::string> taken[std::size(kLayouts)];
    for (std::size_t i = 0; i + broad < entries; ++i) {
        // Spread the types by their shares.
        unsigned pick = random() % 100;
        std::size_t which = 0;
        while (pick >= kLayouts[which].share)
            pick -= kLayouts[which++].share;
        const RetailLayout& layout = kLayouts[which];
        const std::string prefix = NewPrefix(random, layout, taken[which]);
        const std::string start = layout.lead + prefix;
        const std::string fill(static_cast<std::size_t>(layout.itemLength), '0');
        std::string high = start + std::string(static_cast<std::size_t>(layout.itemLength), '9');
        data.formats.push_back(
            RangeFormat(layout, start + fill + "0", high + (layout.type == kCodeIsbn ? "X" : "9"),
                        static_cast<int>(std::string_view(layout.lead).size()), layout.prefixLength, expiry));
        data.records.push_back(Record(layout.type, prefix, i, expiry));
        ranges.push_back({&layout, prefix});
    }
    // Broad ranges over one leading digit each, after the narrow ones they
    // overlap, so they never answer first for a generated code.
    for (std::size_t i = 0; i < broad; ++i) {
        const RetailLayout& layout = kLayouts[i % std::size(kLayouts)];
        const std::string digit(1, static_cast<char>('0' + i % 10));
        data.formats.push_back(
            RangeFormat(layout, layout.lead + digit, layout.lead + digit + "\x7f", 0, 1, expiry));
        data.records.push_back(
            Record(layout.type, digit + "/broad" + std::to_string(i), entries + i, expiry));
    }
    data.records.push_back(Record(kCodeNumi, "NUMI", entries + broad, expiry));

    for (std::size_t i = 0; i < codes; ++i) {
        const unsigned kind = random() % 100;
        if (kind < 10) {
            data.codes.push_back({kCodeNumi, std::to_string(1 + random() % 99999), "NUMI", -1,
                                  static_cast<int>(data.records.size() - 1)});
        } else if (kind < 15) {
            data.codes.push_back(
                {kCodeUrl, "http://127.0.0.1:8470/item?type=URL&iid=" + std::to_string(i), "", -1, -1});
        } else {
            const std::size_t at = random() % ranges.size();
            const RetailLayout& layout = *ranges[at].layout;
            const std::string body = layout.lead + ranges[at].prefix + Digits(random, layout.itemLength);
            data.codes.push_back({layout.type, WithCheck(layout.type, body), ranges[at].prefix,
                                  static_cast<int>(at), static_cast<int>(at)});
        }
    }
    return data;
}

bool RunBatch(VTToolkit& toolkit, const VTBatchCodeList& list)
{
    VTBatchCodeProcessor& processor = toolkit.GetBatchProcessor();
    FinishWaiter waiter;
    processor.SetListener(&waiter);
    processor.SetList(list);
    if (processor.Start(false, false) != VTBatchCodeProcessor::kStarted)
        return false;
    waiter.Wait();
    // Joins the worker, which ends right after telling the listener.
    while (processor.IsRunning())
        std::this_thread::yield();
    processor.SetListener(nullptr);
    return true;
}
