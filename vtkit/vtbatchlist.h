#pragma once

#include "tst/tsobject.h"
#include "vtkit/cdbase.h"
#include "vtkit/svrdata.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One code on its way through the batch code processor: what the client
// handed over and what the processor found for it.
class VTBatchCode {
public:
    enum Status : std::int32_t {
        kNew = 0, // URL codes stay here until routed
        kTypeUnknown = 1,
        kInvalidCode = 2,
        kWaitingForFormat = 3,
        kRecognised = 4,
        kNoFormat = 5,
        kOfflineNoFormat = 6,
        kFormatQuerySkipped = 7,
        kWaitingForTemplate = 8,
        kRouted = 9,
        kDescriptionRequested = 10,
        kNoTemplate = 11,
        kOfflineNoTemplate = 12,
        kTemplateQuerySkipped = 13,
        kAddressFailed = 14,
        kNoDescription = 15,
        kDescriptionQuerySkipped = 16,
        kHasDescription = 17,
        kOfflineNoDescription = 18,
        kDone = 19,
        kCancelled = 20,
        kFailed = 21,
    };

    // What the batch is to find. Any other mode behaves as kDescribe,
    // except where kDescribe is tested by itself.
    enum Mode : std::int32_t { kAddressOnly = 0, kDescribe = 3, kRecognitionOnly = 4 };

    VTBatchCode() = default;
    // A null text is an internal error.
    VTBatchCode(int type, const char* text, std::int32_t mode);
    VTBatchCode(int type, std::string_view text, std::int32_t mode);
    VTBatchCode(const VTBatchCode&) = default;
    VTBatchCode& operator=(const VTBatchCode&) = default;
    VTBatchCode(VTBatchCode&&) noexcept = default;
    VTBatchCode& operator=(VTBatchCode&&) = default;
    virtual ~VTBatchCode();

    // Ordered by type, then by raw code text.
    bool operator==(const VTBatchCode& other) const;
    bool operator<(const VTBatchCode& other) const;

    // The raw code, the code without blanks and dashes, and that once more
    // as the canonical code (a UPC-E code expanded to its UPC-A form).
    void SetCodeText(std::string_view text);

    std::int32_t GetStatus() const { return m_status; }
    std::int32_t GetDescriptionMode() const { return m_mode; }
    const std::string& GetText() const { return m_text; }
    const std::string& GetUrl() const { return m_url; }
    const std::string& GetDescription() const { return m_description; }
    const std::string& GetUserDescription() const { return m_userDescription; }
    const VTCodeContents& GetContents() const { return m_contents; }
    const VTServerData& GetServerData() const { return m_serverData; }
    const std::string& GetErrorText() const { return m_errorText; }
    VTCodeType GetCodeType() const { return m_contents.GetCodeType(); }
    std::string GetRawCode() const { return m_contents.GetRawCode(); }

    void SetStatus(std::int32_t status) { m_status = status; }
    void SetDescriptionMode(std::int32_t mode) { m_mode = mode; }
    void SetText(std::string_view text) { m_text = text; }
    void SetUrl(std::string_view url) { m_url = url; }
    void SetDescription(std::string_view text) { m_description = text; }
    void SetUserDescription(std::string_view text) { m_userDescription = text; }
    void SetContents(const VTCodeContents& contents) { m_contents = contents; }
    void SetServerData(const VTServerData& record) { m_serverData = record; }
    void SetErrorText(std::string_view text) { m_errorText = text; }

private:
    std::int32_t m_status = kNew;
    std::int32_t m_mode = kAddressOnly;
    std::string m_text;
    std::string m_url;
    std::string m_description;
    std::string m_userDescription;
    VTCodeContents m_contents;
    VTServerData m_serverData;
    std::string m_errorText;
};

// Body of VTBatchCodeList. It keeps the base Clone, so every handle to a
// list sees the one body: the client and the processor's worker watch the
// same codes and statuses. Its own lock makes each operation whole.
class VTBatchCodeListImpl : public TSObjectImpl {
public:
    VTBatchCodeListImpl() = default;
    ~VTBatchCodeListImpl() override;

    mutable std::mutex m_lock;
    std::vector<VTBatchCode> m_codes;
};

// The unit of work between the client and the batch code processor: an
// ordered list of codes, shared by every copy of the handle.
class VTBatchCodeList : public TSObjectRef {
public:
    VTBatchCodeList();

    std::size_t Size() const;
    bool IsEmpty() const { return Size() == 0; }
    // Copies; an index past the end raises std::out_of_range.
    VTBatchCode Get(std::size_t index) const;
    std::vector<VTBatchCode> GetAll() const;
    void Set(std::size_t index, const VTBatchCode& code);
    void Add(VTBatchCode code);
    void Clear();
    // Changes one code in place under the list's lock; `change` must not
    // touch the list.
    void Update(std::size_t index, const std::function<void(VTBatchCode&)>& change);
    // Visits every code under the list's lock.
    void ForEach(const std::function<void(std::size_t index, VTBatchCode& code)>& visit);
    // True when the list has codes and every one passes `test`, which runs
    // under the list's lock and must not touch the list.
    bool AllOf(const std::function<bool(const VTBatchCode& code)>& test) const;

    // A new list with copies of these codes, not shared with this one.
    VTBatchCodeList Copy() const;

private:
    VTBatchCodeListImpl& Body() const;
};
