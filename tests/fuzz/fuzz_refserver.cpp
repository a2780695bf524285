// The reference server's request handling fed arbitrary bytes. The first
// byte picks what the rest is: a whole HTTP request, the document of a
// routing or description query (raw or in a form), the fields of the line
// form, the query of an attach or an item page, or the target of a GET. Every reply must be a
// complete HTTP reply, and every XML reply must parse.
#include "tools/refserver/refdata.h"
#include "tools/refserver/refdocs.h"
#include "tools/refserver/refhandler.h"
#include "tools/refserver/refhttp.h"
#include "tst/tsexcep.h"
#include "vtkit/vtparsers.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

const RefDataStore& Store()
{
    static const RefDataStore store = RefDataStore::Load(LUMORA_REFSERVER_DATA, "http://127.0.0.1:8470/");
    return store;
}

void Check(const RefReply& reply)
{
    if (reply.m_status < 200 || reply.m_status > 599)
        __builtin_trap();
    const std::string bytes = reply.Bytes();
    if (bytes.size() < reply.m_body.size() ||
        bytes.compare(bytes.size() - reply.m_body.size(), std::string::npos, reply.m_body) != 0)
        __builtin_trap();
    if (reply.m_contentType == "text/xml") {
        try {
            ParseDocument(reply.m_body);
        } catch (const TSException&) {
            __builtin_trap();
        }
    }
}

RefRequest MakeRequest(const char* method, const char* path, const char* contentType, std::string_view body)
{
    RefRequest request;
    request.m_method = method;
    request.m_target = path;
    request.m_path = path;
    request.m_version = "1.0";
    request.m_headers.Add("Content-Type", contentType);
    request.m_body = std::string(body);
    return request;
}

// The same bytes fed in two pieces read as the same request.
void CheckSplitFeeding(std::string_view bytes, std::size_t cut, const RefLimits& limits)
{
    RefRequestReader whole(limits);
    RefRequestReader pieces(limits);
    whole.Feed(bytes);
    cut = bytes.empty() ? 0 : cut % bytes.size();
    if (pieces.Feed(bytes.substr(0, cut)) == RefRequestReader::kNeedMore)
        pieces.Feed(bytes.substr(cut));
    if (whole.GetState() != pieces.GetState())
        __builtin_trap();
    if (whole.GetState() == RefRequestReader::kComplete &&
        (whole.GetRequest().m_target != pieces.GetRequest().m_target ||
         whole.GetRequest().m_body != pieces.GetRequest().m_body))
        __builtin_trap();
    if (whole.GetState() == RefRequestReader::kFailed &&
        whole.GetError().m_status != pieces.GetError().m_status)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const RefHandler handler(Store());
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    RefLimits limits;
    limits.m_maxHeadBytes = 4096;
    limits.m_maxHeadLines = 40;
    limits.m_maxBodyBytes = 64 * 1024;

    switch (data[0] % 8) {
    case 0:
        CheckSplitFeeding(input, data[0] / 8u + size / 2, limits);
        if (const auto reply = handler.HandleBytes(input, limits))
            Check(*reply);
        break;
    case 1:
        Check(handler.Handle(MakeRequest("POST", "/route", "text/xml", input)));
        break;
    case 2:
        Check(handler.Handle(MakeRequest("POST", "/desc", "text/xml", input)));
        break;
    case 3:
        Check(handler.Handle(MakeRequest("POST", "/route", "text/x-url-encoded", input)));
        break;
    case 4:
        Check(handler.Handle(MakeRequest("POST", "/desc2", "text/x-url-encoded", input)));
        break;
    case 5:
    case 6: {
        // The query of an attach or of an item page.
        RefRequest request = MakeRequest("GET", data[0] % 8 == 5 ? "/attach" : "/item", "", "");
        request.m_query = std::string(input);
        Check(handler.Handle(request));
        break;
    }
    default:
        if (const auto reply =
                handler.HandleBytes("GET /" + std::string(input) + " HTTP/1.0\r\n\r\n", limits))
            Check(*reply);
        break;
    }
    return 0;
}
