#include "tools/refserver/refexchange.h"

#include "tools/refserver/refdata.h"
#include "tools/refserver/refdocs.h"
#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vtuserid.h"

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <set>
#include <vector>

namespace {

// How long the client may keep what it is sent when the data gives no date.
constexpr std::time_t kStampedFormatLifetime = 30 * 24 * 3600;
constexpr std::time_t kStampedTemplateLifetime = 7 * 24 * 3600;

RefReply XmlReply(const TSDomDocument& document, std::string note)
{
    RefReply reply;
    reply.m_body = FormatDocument(document);
    reply.m_note = std::move(note);
    return reply;
}

std::string DateOr(const std::string& date, std::time_t lifetime)
{
    return date.empty() ? FormatToolkitDate(std::time(nullptr) + lifetime) : date;
}

bool IsFormMedia(std::string_view media)
{
    return media == "text/x-url-encoded" || media == "application/x-www-form-urlencoded";
}

bool LooksLikeMarkup(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<';
}

bool DocumentFromForm(std::string_view body, std::string& text)
{
    const RefForm form = RefForm::Parse(body);
    for (const char* name : {"XMLREQUEST", "XML"})
        if (auto value = form.Get(name)) {
            text = std::move(*value);
            return true;
        }
    if (form.Fields().size() == 1) {
        text = form.Fields().front().second;
        return true;
    }
    for (const auto& field : form.Fields())
        if (LooksLikeMarkup(field.second)) {
            text = field.second;
            return true;
        }
    return false;
}

// The request document when its root is one of `roots`; otherwise nothing,
// and the ERROR reply in `failure`.
std::optional<TSDomDocument> ReadRequestDocument(const RefDataStore& store, const RefRequest& request,
                                                 std::initializer_list<std::string_view> roots,
                                                 std::optional<RefReply>& failure)
{
    std::string text;
    std::string why;
    if (!RequestDocumentText(request, text, why)) {
        failure = ErrorReply(store, 200, kErrorMalformedRequest, why);
        return std::nullopt;
    }
    TSDomDocument document;
    try {
        document = ParseDocument(text);
    } catch (const TSException& e) {
        failure = ErrorReply(store, 200, kErrorMalformedRequest, e.GetMessage());
        return std::nullopt;
    }
    const std::string name = Narrow(document.GetDocumentElement().GetTagName());
    if (std::find(roots.begin(), roots.end(), name) == roots.end()) {
        std::string expected;
        for (const std::string_view root : roots)
            expected += (expected.empty() ? "" : " or ") + std::string(root);
        failure = ErrorReply(store, 200, kErrorUnknownRequest,
                             "This address answers " + expected + ", not " + name + ".");
        return std::nullopt;
    }
    return document;
}

// The USER of a routing query must unblind to the id of an account.
bool CheckUser(const RefDataStore& store, const TSDomElement& root, std::string& why)
{
    const std::string user = AttributeText(root, u"USER");
    std::string clearId;
    if (user.empty())
        why = "The request names no USER.";
    else if (!VTUserId::Unblind(user, clearId))
        why = "USER is not a blinded user id.";
    else if (!store.FindAccountByClearId(clearId))
        why = "No account has this user id.";
    else
        return true;
    return false;
}

void AppendFormat(TSDomElement& root, const RefFormat& format)
{
    TSDomElement code = AppendElement(root, u"CODE");
    SetAttributeText(code, u"TYPE", CodeTypeName(format.m_type, false));
    SetAttributeText(code, u"LOW", format.m_low);
    SetAttributeText(code, u"HIGH", format.m_high);
    TSDomElement rid = AppendElement(code, u"RID");
    SetAttributeText(rid, u"START", std::to_string(format.m_ridStart));
    SetAttributeText(rid, u"LENGTH", std::to_string(format.m_ridLength));
    TSDomElement iid = AppendElement(code, u"IID");
    SetAttributeText(iid, u"START", std::to_string(format.m_iidStart));
    SetAttributeText(iid, u"LENGTH", std::to_string(format.m_iidLength));
    TSDomElement canonical = AppendElement(code, u"CANONICAL");
    SetAttributeText(canonical, u"FORMAT", format.m_canonical);
    TSDomElement expire = AppendElement(code, u"EXPIRE");
    SetAttributeText(expire, u"DATE", DateOr(format.m_expire, kStampedFormatLifetime));
}

RefReply AnswerSplit(const RefDataStore& store, const TSDomElement& request)
{
    TSDomDocument document(u"XSPLIT");
    TSDomElement root = document.GetDocumentElement();
    std::vector<const RefFormat*> sent;
    const auto barcodes = GetChildElements(request, u"BARCODE");
    for (const TSDomElement& barcode : barcodes) {
        const VTCodeType type = CodeTypeFromName(AttributeText(barcode, u"TYPE"));
        const RefFormat* format =
            store.FindFormat(type, StripSpacesAndDashes(AttributeText(barcode, u"CODE")));
        if (format && std::find(sent.begin(), sent.end(), format) == sent.end()) {
            AppendFormat(root, *format);
            sent.push_back(format);
        }
    }
    AppendCoreServers(root, store);
    return XmlReply(document, "XSPLIT " + std::to_string(sent.size()) + " formats for " +
                                  std::to_string(barcodes.size()) + " codes");
}

void AppendRoutingKey(TSDomElement& root, const RefRoutingKey& key, const std::string& typeName,
                      const std::string& rid)
{
    TSDomElement element = AppendElement(root, u"ROUTING_KEY");
    // The client files the answer under the key it asked for, so type and
    // server ID go back exactly as they came.
    SetAttributeText(element, u"TYPE", typeName);
    SetAttributeText(element, u"RID", rid);
    SetAttributeText(element, u"CACHEDATE", DateOr(key.m_cacheDate, kStampedTemplateLifetime));
    AppendTextElement(element, u"SERVERNAME", key.m_serverName);
    for (const auto& [command, text] : key.m_templates) {
        TSDomElement templ = AppendElement(element, u"TEMPLATE");
        SetAttributeText(templ, u"CMD", command);
        templ.AppendChild(TSDomText(TSDomString(Wide(text))));
    }
}

RefReply AnswerTemplates(const RefDataStore& store, const TSDomElement& request)
{
    TSDomDocument document(u"XGET");
    TSDomElement root = document.GetDocumentElement();
    std::set<std::pair<int, std::string>> sent;
    const auto keys = GetChildElements(request, u"ROUTING_KEY");
    for (const TSDomElement& wanted : keys) {
        const std::string typeName = AttributeText(wanted, u"TYPE");
        const std::string rid = AttributeText(wanted, u"RID");
        const VTCodeType type = CodeTypeFromName(typeName);
        const RefRoutingKey* key = store.FindKey(type, rid);
        if (!key || (!key->m_domain.empty() && !EqualNoCase(key->m_domain, AttributeText(wanted, u"DOMAIN"))))
            continue;
        if (sent.insert({RoutingFamily(type), rid}).second)
            AppendRoutingKey(root, *key, typeName, rid);
    }
    AppendCoreServers(root, store);
    return XmlReply(document,
                    "XGET " + std::to_string(sent.size()) + " of " + std::to_string(keys.size()) + " keys");
}

// Item descriptions go out on one line each.
std::string OneLine(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

std::vector<std::string> SplitList(std::string_view text)
{
    std::vector<std::string> parts;
    while (true) {
        const auto comma = text.find(',');
        parts.emplace_back(text.substr(0, comma));
        if (comma == std::string_view::npos)
            return parts;
        text.remove_prefix(comma + 1);
    }
}

RefReply LinesReply(const RefDataStore& store, const RefRoutingKey& key,
                    const std::vector<std::string>& itemIds)
{
    RefReply reply;
    reply.m_contentType = "text/plain";
    std::vector<std::string> answered;
    for (const std::string& iid : itemIds) {
        // An empty item ID cannot be answered in this form: its line would
        // begin with '='.
        if (iid.empty() || std::find(answered.begin(), answered.end(), iid) != answered.end())
            continue;
        const RefItem* item = store.FindItem(key.m_type, key.m_rid, iid);
        reply.m_body += iid + "=" + OneLine(item ? item->m_description : std::string()) + "\r\n";
        answered.push_back(iid);
    }
    reply.m_note = "DESC2 " + std::to_string(answered.size()) + " lines for " + key.m_rid;
    return reply;
}

} // namespace

RefReply ErrorReply(const RefDataStore& store, int httpStatus, int number, std::string_view details)
{
    RefReply reply = XmlReply(MakeErrorDocument(store, number, Excerpt(details, 400)),
                              "ERROR " + std::to_string(number) + " " + Excerpt(details, 80));
    reply.m_status = httpStatus;
    return reply;
}

bool RequestDocumentText(const RefRequest& request, std::string& text, std::string& why)
{
    const std::string media = request.MediaType();
    bool found = false;
    if (media == "text/xml" || media == "application/xml" ||
        (media.empty() && LooksLikeMarkup(request.m_body))) {
        text = request.m_body;
        found = true;
    } else if (IsFormMedia(media) || media.empty()) {
        found = DocumentFromForm(request.m_body, text);
        if (!found)
            why = "The form holds no XML request.";
    } else {
        why = "Unsupported Content-Type " + Excerpt(media, 60) + ".";
        return false;
    }
    if (found && text.find_first_not_of(" \t\r\n") == std::string::npos) {
        why = "The request is empty.";
        return false;
    }
    return found;
}

RefForm RequestFields(const RefRequest& request)
{
    std::string fields = request.m_query;
    if (IsFormMedia(request.MediaType()) && !request.m_body.empty())
        fields += (fields.empty() ? "" : "&") + request.m_body;
    return RefForm::Parse(fields);
}

RefReply AnswerRouting(const RefDataStore& store, const RefRequest& httpRequest)
{
    std::optional<RefReply> failure;
    const auto request = ReadRequestDocument(store, httpRequest, {"SPLIT", "GET"}, failure);
    if (!request)
        return *failure;
    const TSDomElement root = request->GetDocumentElement();
    std::string why;
    if (!CheckUser(store, root, why))
        return ErrorReply(store, 200, kErrorUnknownUser, why);
    return root.GetTagName() == u"SPLIT" ? AnswerSplit(store, root) : AnswerTemplates(store, root);
}

RefReply AnswerDescriptions(const RefDataStore& store, const RefRequest& httpRequest)
{
    std::optional<RefReply> failure;
    const auto request = ReadRequestDocument(store, httpRequest, {"DESC"}, failure);
    if (!request)
        return *failure;
    const TSDomElement root = request->GetDocumentElement();
    const auto codes = GetChildElements(root, u"CODE");
    for (const TSDomElement& code : codes) {
        const std::string typeName = AttributeText(code, u"TYPE");
        const std::string rid = AttributeText(code, u"RID");
        if (!store.FindKey(CodeTypeFromName(typeName), rid))
            return ErrorReply(store, 200, kErrorUnknownServerId,
                              "No description server for " + typeName + " " + rid + ".");
    }
    TSDomDocument answer(u"XDESC");
    TSDomElement reply = answer.GetDocumentElement();
    std::vector<std::string> answered;
    for (const TSDomElement& code : codes) {
        const std::string iid = AttributeText(code, u"IID");
        // The client matches answers by item ID; a second answer for one
        // would read as a duplicate.
        if (std::find(answered.begin(), answered.end(), iid) != answered.end())
            continue;
        answered.push_back(iid);
        const std::string typeName = AttributeText(code, u"TYPE");
        const std::string rid = AttributeText(code, u"RID");
        const RefItem* item = store.FindItem(CodeTypeFromName(typeName), rid, iid);
        TSDomElement element = AppendElement(reply, u"CODE");
        SetAttributeText(element, u"TYPE", typeName);
        SetAttributeText(element, u"RID", rid);
        SetAttributeText(element, u"IID", iid);
        AppendTextElement(element, u"DESCRIPTION", item ? item->m_description : std::string());
        AppendTextElement(element, u"CANONICAL", item ? item->m_canonical : std::string(), false);
    }
    return XmlReply(answer, "XDESC " + std::to_string(answered.size()) + " codes");
}

RefReply AnswerDescriptionLines(const RefDataStore& store, const RefRequest& request)
{
    const RefForm form = RequestFields(request);
    const auto rid = form.Get("SID");
    if (!rid || rid->empty())
        return ErrorReply(store, 400, kErrorMalformedRequest, "The request names no SID.");
    const auto typeName = form.Get("TYPE");
    const RefRoutingKey* key =
        typeName ? store.FindKey(CodeTypeFromName(*typeName), *rid) : store.FindKeyByRid(*rid);
    if (!key)
        return ErrorReply(store, 404, kErrorUnknownServerId, "No description server for " + *rid + ".");
    return LinesReply(store, *key, SplitList(form.Get("IID").value_or("")));
}

RefReply AnswerKeyDescriptionLines(const RefDataStore& store, const RefRequest& request,
                                   std::string_view typeName, std::string_view rid)
{
    const RefRoutingKey* key = store.FindKey(CodeTypeFromName(typeName), rid);
    if (!key)
        return ErrorReply(store, 404, kErrorUnknownServerId,
                          "No description server for " + std::string(typeName) + " " + std::string(rid) +
                              ".");
    // The client takes only lines of the items it asked for, so the items
    // named are answered, known or not; a request that names none can only
    // be given the whole key.
    if (const auto named = RequestFields(request).Get("IID"))
        return LinesReply(store, *key, SplitList(*named));
    std::vector<std::string> itemIds;
    for (const RefItem* item : store.ItemsOf(*key))
        itemIds.push_back(item->m_iid);
    return LinesReply(store, *key, itemIds);
}

RefReply AnswerAttach(const RefDataStore& store, const RefRequest& request)
{
    const RefForm form = RequestFields(request);
    const auto login = form.Get("LOGIN");
    const auto password = form.Get("PASSWORD");
    if (!login || !password)
        return ErrorReply(store, 200, kErrorMalformedRequest, "The request needs LOGIN and PASSWORD.");
    const RefAccount* account = store.FindAccountByLogin(*login);
    if (!account || account->m_password != *password)
        return ErrorReply(store, 200, kErrorLoginFailed, "The login or the password is wrong.");

    TSDomDocument document(u"XATTACH");
    TSDomElement root = document.GetDocumentElement();
    TSDomElement userData = AppendElement(root, u"USERDATA");
    // The client compares LOGIN with the login it sent, which it sent
    // form-encoded; give it back in that form.
    std::string sentLogin = *login;
    UrlEncode(sentLogin);
    SetAttributeText(userData, u"LOGIN", sentLogin);
    SetAttributeText(userData, u"APPID", Excerpt(form.Get("CAPP").value_or("PC"), 40));
    AppendTextElement(userData, u"USER", account->m_user);
    AppendCoreServers(root, store);
    return XmlReply(document, "XATTACH " + Excerpt(account->m_login, 40));
}
