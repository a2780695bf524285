#include "tools/cli/resolvereasons.h"

#include "tst/http/htreq.h"
#include "tst/tsexcep.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtbatchlist.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr std::array<const char*, VTBatchCode::kFailed + 1> kStatusNames = {
    "new",
    "no type",
    "invalid code",
    "waiting for format",
    "recognised",
    "no format",
    "offline, no format",
    "format query failed",
    "waiting for template",
    "routed",
    "description requested",
    "no template",
    "offline, no template",
    "template query failed",
    "address failed",
    "no description",
    "description query failed",
    "has description",
    "offline, no description",
    "done",
    "cancelled",
    "failed",
};

// What went wrong on the way, from the HTTP client's error number.
std::string TransportCause(std::int32_t code, const TSHttpTimeouts& timeouts, bool& atProxy)
{
    atProxy = false;
    switch (code) {
    case kHttpErrorUnknownHost:
        atProxy = true;
        return "the host name is unknown";
    case kHttpErrorConnectFailed:
        atProxy = true;
        return "connection refused (or the host is unreachable)";
    case kHttpErrorConnectTimedOut:
        atProxy = true;
        return "no connection within " + std::to_string(timeouts.m_connect) + " s";
    case kHttpErrorSendFailed:
    case kHttpErrorSendTimedOut:
        return "the request could not be sent";
    case kHttpErrorReceiveTimedOut:
        // Whichever bound came first: the wait for the first byte or the
        // whole exchange's deadline.
        return "no answer within " + std::to_string(std::min(timeouts.m_firstByte, timeouts.m_total)) + " s";
    case kHttpErrorReceiveFailed:
    case kHttpErrorPeerClosed:
        return "the connection was closed before an answer came";
    case kHttpErrorBadHead:
        return "the answer was not HTTP";
    case kHttpErrorCancelled:
        return "cancelled";
    default:
        return "";
    }
}

std::string HttpStatusCause(std::int32_t status)
{
    switch (status) {
    case 401:
    case 403:
    case 407:
        return "the server refused the request (HTTP " + std::to_string(status) + ")";
    case 404:
        return "the server has no such page (HTTP 404)";
    default:
        return status >= 500 ? "the server failed (HTTP " + std::to_string(status) + ")"
                             : "the server answered HTTP " + std::to_string(status);
    }
}

std::string Who(const ServerRoute& route)
{
    return route.address.empty() ? route.role : route.role + " " + route.address;
}

} // namespace

std::string StatusName(std::int32_t status)
{
    return status >= 0 && status < static_cast<std::int32_t>(kStatusNames.size())
               ? kStatusNames[static_cast<std::size_t>(status)]
               : "status " + std::to_string(status);
}

std::string ServerAddress(const VTServerData& record)
{
    std::string address;
    record.GetCommands().ForEach([&](const std::string&, const std::string& urlTemplate) {
        const auto scheme = urlTemplate.find("://");
        if (!address.empty() || scheme == std::string::npos)
            return;
        const auto end = urlTemplate.find_first_of("/?<", scheme + 3);
        try {
            const TSHttpUrl url = TSHttpUrl::Parse(urlTemplate.substr(0, end) + "/");
            address = url.m_host + ":" + std::to_string(url.m_port);
        } catch (const TSException&) {
        }
    });
    return address;
}

bool IsNetworkFailure(const VTServerError& error)
{
    bool atProxy = false;
    return error.GetKind() == VTServerError::kTransaction &&
           !TransportCause(error.GetCode(), TSHttpTimeouts{}, atProxy).empty() &&
           error.GetCode() != kHttpErrorCancelled;
}

std::string ExchangeFailure(const VTServerError& error, const ServerRoute& route,
                            const TSHttpTimeouts& timeouts)
{
    if (error.GetKind() == VTServerError::kServer)
        return Who(route) + " answered with an error: " + error.GetMessage();
    const std::int32_t code = error.GetCode();
    const bool viaProxy = !route.proxy.empty();
    bool atProxy = false;
    if (const std::string cause = TransportCause(code, timeouts, atProxy); !cause.empty()) {
        if (atProxy && viaProxy)
            return "the proxy " + route.proxy + " could not be reached: " + cause;
        return Who(route) + (atProxy ? " could not be reached: " : " did not answer: ") + cause;
    }
    if (code == VTServerError::kCodeUnexpected || code == VTServerError::kCodeXmlParse ||
        code == VTServerError::kCodeDom)
        return Who(route) + " gave an answer that is not what the exchange expects";
    if (code > VTServerError::kCodeHttpStatusBase && code < VTServerError::kCodeHttpStatusBase + 1000) {
        const std::int32_t status = code - VTServerError::kCodeHttpStatusBase;
        // Only the proxy is sent credentials, whichever of the two refusals it answers with.
        if ((status == 401 || status == 407) && viaProxy)
            return "the proxy " + route.proxy + " refused the credentials (HTTP " + std::to_string(status) +
                   ")";
        return Who(route) + ": " + HttpStatusCause(status);
    }
    if (code == VTServerError::kCodeToolkit)
        return Who(route) + " gave an answer the toolkit could not use";
    return Who(route) + " could not be asked";
}

std::string CheckDigitHint(std::string_view text)
{
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits),
                 [](char c) { return c != ' ' && c != '-'; });
    if (digits.size() < 8 ||
        !std::all_of(digits.begin(), digits.end() - 1, [](char c) { return c >= '0' && c <= '9'; }))
        return "";
    std::vector<VTCodeType> candidates;
    for (const char last : std::string_view("0123456789X")) {
        digits.back() = last;
        AnalyzeCode(std::string_view(digits), candidates, kScanTypeUnknown, false);
        const auto retail = std::find_if(candidates.begin(), candidates.end(), [](VTCodeType type) {
            return type != kCodeVantrel && type != kCodeNumi && type != kCodeVanity;
        });
        if (retail != candidates.end())
            return std::string("as ") + CodeTypeName(*retail, false) + " its check digit would be " + last;
    }
    return "";
}
