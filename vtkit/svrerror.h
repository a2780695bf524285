#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

class TSDomDocument;
class TSException;
class VTToolkit;
struct TSHttpStateRecord;

// The error record of one server exchange: a failed transaction (kind 1)
// or an error document from the server (kind 2), with the number of the
// exchange state in which it was set.
class VTServerError {
public:
    enum Kind : std::int32_t { kNone = 0, kTransaction = 1, kServer = 2 };

    // Transaction error codes besides those of the HTTP client.
    static constexpr std::int32_t kCodeAborted = 1;
    static constexpr std::int32_t kCodeToolkit = 19;
    static constexpr std::int32_t kCodeHttpStatusBase = 1000;
    static constexpr std::int32_t kCodeUnexpected = 1200;
    static constexpr std::int32_t kCodeXmlParse = 3000;
    static constexpr std::int32_t kCodeDom = 3002;

    static constexpr const char* kTextAborted = "Transaction Aborted";
    static constexpr const char* kTextFailed = "Transaction Failed";
    static constexpr const char* kTextInternal = "Internal error";

    VTServerError() = default;
    virtual ~VTServerError();
    VTServerError(const VTServerError&) = default;
    VTServerError& operator=(const VTServerError&) = default;

    // Everything but the toolkit pointer back to zero and empty.
    void Clear();
    void SetStateNumber(std::int32_t number) { m_stateNumber = number; }

    // From the HTTP client's final state: "Transaction Aborted" for a
    // cancelled transaction, else "Transaction Failed".
    void FromTransaction(const TSHttpStateRecord& record);
    // A library exception under `code`; a null or empty text reads "Internal error".
    void FromException(const TSException& exception, std::int32_t code, const char* text = nullptr);
    // A reply whose status or content type was not the one required.
    void FromHttpStatus(std::int32_t status);
    // Any other transaction error.
    void FromTransactionError(std::int32_t code, std::string_view message, std::string_view details = {});
    // Reads an "ERROR" document; false (and nothing changed) for another
    // root. With `refresh`, the core server records it carries replace the
    // toolkit's first, so a toolkit pointer is required.
    bool FromErrorDocument(const TSDomDocument& document, bool refresh);

    // "T-<state>-<code>", "S-<state>-<server number>", or "" without an error.
    std::string GetErrorCode() const;

    VTToolkit* GetToolkit() const { return m_toolkit; }
    void SetToolkit(VTToolkit* toolkit) { m_toolkit = toolkit; }
    std::int32_t GetCode() const { return m_code; }
    std::int32_t GetServerNumber() const { return m_serverNumber; }
    const std::string& GetMessage() const { return m_message; }
    const std::string& GetDetails() const { return m_details; }
    const std::string& GetUrl() const { return m_url; }
    // "host:port" of the server the failed request went to; empty when the
    // request never went out.
    const std::string& GetServer() const { return m_server; }
    void SetServer(std::string server) { m_server = std::move(server); }
    std::int32_t GetKind() const { return m_kind; }
    bool HasError() const { return m_kind != kNone; }
    std::int32_t GetStateNumber() const { return m_stateNumber; }

private:
    VTToolkit* m_toolkit = nullptr;
    std::int32_t m_code = 0;
    std::int32_t m_serverNumber = 0;
    std::string m_message;
    std::string m_details;
    std::string m_url;
    std::string m_server;
    std::int32_t m_kind = kNone;
    std::int32_t m_stateNumber = 0;
};
