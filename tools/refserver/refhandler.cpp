#include "tools/refserver/refhandler.h"

#include "tools/refserver/refdata.h"
#include "tools/refserver/refdocs.h"
#include "tools/refserver/refexchange.h"
#include "tools/refserver/refpages.h"
#include "tst/tsexcep.h"
#include "vtkit/vtparsers.h"

#include <exception>

namespace {

enum class Method { kGet, kPost, kGetOrPost };

struct Route {
    std::string_view m_path;
    Method m_method;
    RefReply (*m_answer)(const RefDataStore&, const RefRequest&);
};

RefReply AnswerCoreCache(const RefDataStore& store, const RefRequest&)
{
    RefReply reply;
    reply.m_body = FormatDocument(MakeCoreServerList(store));
    reply.m_note = "Server.dat";
    return reply;
}

RefReply AnswerIndex(const RefDataStore& store, const RefRequest&)
{
    return IndexPage(store);
}

template <const char* kWhich> RefReply AnswerAccountPage(const RefDataStore& store, const RefRequest& request)
{
    return AccountPage(store, request, kWhich);
}

constexpr char kRegister[] = "register";
constexpr char kLostPassword[] = "lostpwd";
constexpr char kLogin[] = "login";

constexpr Route kRoutes[] = {
    {"/route", Method::kPost, AnswerRouting},
    {"/desc", Method::kPost, AnswerDescriptions},
    {"/desc2", Method::kGetOrPost, AnswerDescriptionLines},
    {"/attach", Method::kGetOrPost, AnswerAttach},
    {"/item", Method::kGet, ItemPage},
    {"/help", Method::kGet, HelpPage},
    {"/register", Method::kGet, AnswerAccountPage<kRegister>},
    {"/lostpwd", Method::kGet, AnswerAccountPage<kLostPassword>},
    {"/login", Method::kGet, AnswerAccountPage<kLogin>},
    {"/error", Method::kGet, ErrorInfoPage},
    {"/Server.dat", Method::kGet, AnswerCoreCache},
    {"/", Method::kGet, AnswerIndex},
};

constexpr std::string_view kKeyLinesPrefix = "/desc2/";

bool Allows(Method method, std::string_view verb)
{
    return (verb == "GET" && method != Method::kPost) || (verb == "POST" && method != Method::kGet);
}

const char* AllowHeader(Method method)
{
    return method == Method::kGet ? "GET" : method == Method::kPost ? "POST" : "GET, POST";
}

int ErrorNumberFor(int httpStatus)
{
    switch (httpStatus) {
    case 408:
        return kErrorRequestTimeout;
    case 413:
    case 431:
        return kErrorRequestTooLarge;
    case 503:
        return kErrorBusy;
    default:
        return kErrorMalformedRequest;
    }
}

} // namespace

RefReply RefHandler::Dispatch(const RefRequest& request) const
{
    if (Allows(Method::kGetOrPost, request.m_method) && request.m_path.starts_with(kKeyLinesPrefix)) {
        // "/desc2/TYPE/SID": the line form at the address of one routing key.
        const std::string_view rest = std::string_view(request.m_path).substr(kKeyLinesPrefix.size());
        const auto slash = rest.find('/');
        if (slash != std::string_view::npos)
            return AnswerKeyDescriptionLines(m_store, request, FormDecode(rest.substr(0, slash)),
                                             FormDecode(rest.substr(slash + 1)));
    }
    for (const Route& route : kRoutes) {
        if (request.m_path != route.m_path)
            continue;
        if (!Allows(route.m_method, request.m_method)) {
            RefReply reply =
                ErrorReply(m_store, 405, kErrorUnknownRequest,
                           Excerpt(request.m_method, 20) + " is not served at " + request.m_path + ".");
            reply.m_headers.emplace_back("Allow", AllowHeader(route.m_method));
            return reply;
        }
        return route.m_answer(m_store, request);
    }
    return ErrorReply(m_store, 404, kErrorUnknownRequest,
                      "Nothing is served at " + Excerpt(request.m_path, 200) + ".");
}

RefReply RefHandler::InternalError(std::string_view what) const
{
    try {
        return ErrorReply(m_store, 500, kErrorInternal, what);
    } catch (...) {
        RefReply reply;
        reply.m_status = 500;
        reply.m_contentType = "text/plain";
        reply.m_body = "Internal server error\n";
        reply.m_note = "internal error";
        return reply;
    }
}

RefReply RefHandler::Handle(const RefRequest& request) const
{
    try {
        return Dispatch(request);
    } catch (const TSException& e) {
        return InternalError(e.GetMessage());
    } catch (const std::exception& e) {
        return InternalError(e.what());
    } catch (...) {
        return InternalError("unknown exception");
    }
}

RefReply RefHandler::Refuse(const RefRequestError& error) const
{
    try {
        return ErrorReply(m_store, error.m_status, ErrorNumberFor(error.m_status), error.m_reason);
    } catch (...) {
        return InternalError("unknown exception");
    }
}

std::optional<RefReply> RefHandler::HandleBytes(std::string_view bytes, const RefLimits& limits) const
{
    RefRequestReader reader(limits);
    switch (reader.Feed(bytes)) {
    case RefRequestReader::kComplete:
        return Handle(reader.GetRequest());
    case RefRequestReader::kFailed:
        return Refuse(reader.GetError());
    default:
        return std::nullopt;
    }
}
