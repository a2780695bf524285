#pragma once

#include "tst/http/htclient.h"
#include "vtkit/svrdata.h"
#include "vtkit/svrerror.h"

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

class TSDomDocument;
class TSHttpRequest;
class TSStringMap;
class VTToolkit;
class VTToolkitServerListener;

// What the routing, resolution and registration exchanges share: a
// numbered state, the server record whose templates are used, one HTTP
// client, the listener and the error record, all under one mutex, which
// is never held while the HTTP client or the listener is called.
class VTServerExchange {
public:
    // The numbers behind an exchange's states.
    struct StateTable {
        std::vector<std::int32_t> numbers;  // state number of each state
        std::vector<std::int32_t> ended;    // states after which the worker is done
        std::vector<std::int32_t> failed;   // states whose error record is reported
        std::vector<std::int32_t> answered; // states reported when an error document came
    };

    VTServerExchange(const VTServerExchange&) = delete;
    VTServerExchange& operator=(const VTServerExchange&) = delete;
    virtual ~VTServerExchange();

    void SetListener(VTToolkitServerListener* listener);
    VTToolkitServerListener* GetListener() const;
    void SetServerData(const VTServerData& record);
    VTServerData GetServerData() const;

    // With `join`, a finished HTTP worker is joined first when the exchange
    // has ended, so the caller may start the next request.
    std::int32_t GetState(bool join);
    // Sets the record's toolkit; copies the error of a failed exchange, or of
    // an answered one when the answer was an error document.
    void GetError(VTServerError& record) const;
    // The running transaction ends as "Transaction Aborted".
    void Abort();

    VTToolkit* GetToolkit() const { return m_toolkit; }
    // The HTTP client, for settings the exchange leaves alone (body limit).
    TSHttpTransactionClient& HttpClient() { return m_client; }

protected:
    // The toolkit is required. Each exchange attaches its own HTTP listener
    // to m_client once that listener exists.
    VTServerExchange(VTToolkit* toolkit, StateTable states);

    // Cancels and waits for a running transaction and stops the callbacks;
    // the destructor of each exchange calls it before its members go.
    void StopTransaction();

    // Under the lock.
    void EnterState(std::int32_t state);
    std::int32_t CurrentState() const { return m_state; }

    // Clears the cancel flag and the error record: the first step of a request.
    void BeginRequest();
    // Prepares and starts the request; the state is `sentState` from just
    // before the start, since the answer may come at once. A library error
    // gives error 19 and `failedState`. False when it did not start.
    bool Send(TSHttpRequest& request, std::int32_t sentState, std::int32_t failedState);

    // The HTTP client's state and progress after a change, with the listener.
    struct Change {
        TSHttpStateRecord record;
        VTToolkitServerListener* listener = nullptr;
        bool progressOnly = false;
    };
    // Progress is told at once; a change that is neither progress nor an
    // end (the idle state after a start that failed) is ignored.
    bool TakeChange(Change& change);
    // After the reply was handled: failure or success, as the error says.
    void Finish(VTToolkitServerListener* listener);

    // Runs the reply handler; every error it raises ends the exchange in
    // `failedState` with the error code of its kind (3000 XML, 3002 DOM,
    // 19 library, 1200 other, `unknownText` for the unknown).
    template <class Handler>
    void HandleReply(std::int32_t failedState, const char* unknownText, Handler&& handler);
    void FailWith(std::int32_t failedState, std::int32_t code, const char* message);

    // A request that could not go out: error 19 and `failedState`.
    void FailToSend(const TSException& error, std::int32_t failedState);

    // True for a reply of type "text/xml" (case ignored).
    static bool IsXmlReply(const TSHttpResponse& response);

    mutable std::mutex m_lock;
    VTServerData m_serverData;
    VTServerError m_error;
    VTToolkit* m_toolkit;
    TSHttpTransactionClient m_client;

private:
    bool HasState(const std::vector<std::int32_t>& states) const;
    void RecordException(std::int32_t failedState, const char* unknownText, std::exception_ptr error);

    StateTable m_states;
    std::int32_t m_state = 0;
    VTToolkitServerListener* m_listener = nullptr;
};

template <class Handler>
void VTServerExchange::HandleReply(std::int32_t failedState, const char* unknownText, Handler&& handler)
{
    try {
        handler();
    } catch (...) {
        RecordException(failedState, unknownText, std::current_exception());
    }
}

// Requests from a template (the rules shared by the routing and resolution
// exchanges).

// The 8-bit text of a request document.
std::string RequestText(const TSDomDocument& document);
// An XML request: without '?' in the template a POST of the raw XML as
// "text/xml"; with it, the form-encoded XML is the template's XMLREQUEST,
// and the substituted template splits at its first '?' into URL and
// "text/x-url-encoded" body.
TSHttpRequest MakeXmlRequest(const std::string& urlTemplate, const std::string& xml);
// A form request: without '?' a GET of the template as it is ("text/plain");
// with it, the template substituted with `values` and split as above.
TSHttpRequest MakeFormRequest(const std::string& urlTemplate, const TSStringMap& values);
