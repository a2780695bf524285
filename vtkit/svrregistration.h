#pragma once

#include "tst/http/htclient.h"
#include "vtkit/svrexchange.h"
#include "vtkit/svrregistrationresults.h"

#include <cstdint>
#include <string>
#include <string_view>

class TSDomDocument;
class VTToolkit;

// The attach exchange: the login and password of an existing account go to
// the REGISTRATION record's "ATTACH" template as a GET, and the XATTACH
// reply brings the account's blinded user id.
class VTRegistrationServer : public VTServerExchange {
public:
    enum State : std::int32_t { kIdle = 0, kSent = 1, kAnswered = 2, kUnexpected = 3, kFailed = 4 };

    // The toolkit is required.
    explicit VTRegistrationServer(VTToolkit* toolkit);
    ~VTRegistrationServer() override;

    // True when sent. A REGISTRATION record without "ATTACH", or a request
    // that could not be sent, ends the exchange failed. VTToolkitException
    // code 0 while a request runs; null texts are internal errors.
    bool RequestAttach(const char* login, const char* password);
    bool RequestAttach(std::string_view login, std::string_view password);
    // VTToolkitException code 0 unless the exchange was answered.
    void GetAttachResults(VTAttachResults& results) const;

private:
    class RegistrationHttpListener : public TSHttpTransactionClientListener {
    public:
        explicit RegistrationHttpListener(VTRegistrationServer* server) : m_server(server) {}
        void OnHttpStateChange() override;

    private:
        VTRegistrationServer* m_server;
    };

    void OnHttpStateChange();
    void HandleAnswer(const TSHttpResponse& response);

    VTAttachResults m_results;
    RegistrationHttpListener m_httpListener{this};
};

// Reads an XATTACH reply to a request for `login` (as sent, form-encoded)
// into `results`: false for another root. A USERDATA whose login differs
// (case aside) raises VTToolkitException code 0; a blinded id that does not
// unblind code 3; missing required parts TSDomXmlException.
bool ReadXAttachReply(const TSDomDocument& document, std::string_view login, VTAttachResults& results);
