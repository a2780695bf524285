#include "tools/refserver/refpages.h"

#include "tools/refserver/refdata.h"
#include "tools/refserver/refdocs.h"
#include "tools/refserver/refexchange.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtuserid.h"

#include <optional>

namespace {

RefReply Page(int status, std::string_view title, const std::string& body, std::string note)
{
    RefReply reply;
    reply.m_status = status;
    reply.m_contentType = "text/html; charset=utf-8";
    reply.m_body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
                   "</title></head>\n<body>\n<h1>" + HtmlEscape(title) + "</h1>\n" + body +
                   "<hr><p><a href=\"/\">Lumora reference server</a></p>\n</body></html>\n";
    reply.m_note = std::move(note);
    return reply;
}

RefReply NotFound(std::string_view what)
{
    return Page(404, "Page not found", "<p>" + HtmlEscape(what) + "</p>\n", "404 " + Excerpt(what, 60));
}

std::string Link(const std::string& href, std::string_view text)
{
    return "<a href=\"" + HtmlEscape(href) + "\">" + HtmlEscape(text) + "</a>";
}

std::string Encoded(std::string text)
{
    UrlEncode(text);
    return text;
}

std::string ItemAddress(const RefItem& item)
{
    return "/item?type=" + std::string(CodeTypeName(item.m_type, false)) + "&sid=" + Encoded(item.m_rid) +
           "&iid=" + Encoded(item.m_iid);
}

// The account a blinded id in the request stands for, if any.
const RefAccount* AccountOf(const RefDataStore& store, const RefForm& fields)
{
    std::string clearId;
    const auto user = fields.Get("user");
    if (!user || !VTUserId::Unblind(*user, clearId))
        return nullptr;
    return store.FindAccountByClearId(clearId);
}

std::string SampleTable(const RefDataStore& store)
{
    std::string rows;
    for (const RefItem& item : store.Items())
        rows += "<tr><td>" + HtmlEscape(CodeTypeName(item.m_type, false)) + "</td><td><code>" +
                HtmlEscape(item.m_code) + "</code></td><td>" + HtmlEscape(item.m_rid) + "</td><td>" +
                HtmlEscape(item.m_iid) + "</td><td>" + Link(ItemAddress(item), item.m_description) +
                "</td></tr>\n";
    return "<table "
           "border=\"1\">\n<tr><th>Type</th><th>Code</th><th>SID</th><th>IID</th><th>Page</th></tr>\n" +
           rows + "</table>\n";
}

} // namespace

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

RefReply IndexPage(const RefDataStore& store)
{
    std::string body = "<p>This server answers the routing, description and registration exchanges of the "
                       "Lumora client from its sample data.</p>\n<h2>Sample codes</h2>\n" +
                       SampleTable(store) + "<h2>Accounts</h2>\n<ul>\n";
    for (const RefAccount& account : store.Accounts())
        body += "<li>" + HtmlEscape(account.m_name) + ": login <code>" + HtmlEscape(account.m_login) +
                "</code></li>\n";
    body += "</ul>\n<h2>Help</h2>\n<ul>\n";
    for (const auto& [number, page] : store.HelpPages())
        body += "<li>" + Link("/help?IID=" + std::to_string(number), "Help page " + std::to_string(number)) +
                "</li>\n";
    body += "</ul>\n<p>" + Link("/Server.dat", "Server.dat") + " for a client that uses this server.</p>\n";
    return Page(200, "Lumora reference server", body, "index");
}

RefReply ItemPage(const RefDataStore& store, const RefRequest& request)
{
    const RefForm fields = RequestFields(request);
    const std::string typeName = fields.Get("type").value_or("");
    const std::string rid = fields.Get("sid").value_or("");
    const std::string iid = fields.Get("iid").value_or("");
    const RefItem* item = store.FindItem(CodeTypeFromName(typeName), rid, iid);
    if (!item)
        return NotFound("No item is linked to " + typeName + " " + rid + " " + iid + ".");

    std::string body = "<p>" + HtmlEscape(item->m_page) + "</p>\n<table>\n";
    body += "<tr><th>Code</th><td><code>" +
            HtmlEscape(item->m_canonical.empty() ? item->m_code : item->m_canonical) + "</code></td></tr>\n";
    body += "<tr><th>Type</th><td>" + HtmlEscape(CodeTypeName(item->m_type, false)) + "</td></tr>\n";
    body += "<tr><th>Server ID</th><td>" + HtmlEscape(item->m_rid) + "</td></tr>\n";
    body += "<tr><th>Item ID</th><td>" + HtmlEscape(item->m_iid) + "</td></tr>\n</table>\n";
    if (const RefAccount* account = AccountOf(store, fields))
        body += "<p>Opened for " + HtmlEscape(account->m_name) + ".</p>\n";
    return Page(200, item->m_description, body, "item " + Excerpt(item->m_code, 40));
}

RefReply HelpPage(const RefDataStore& store, const RefRequest& request)
{
    const std::string number = RequestFields(request).Get("IID").value_or("");
    // Only small numbers name help pages; nothing else reaches the disk.
    if (!IsAllDigits(number) || number.size() > 6)
        return NotFound("Help pages are numbered.");
    const auto page = store.HelpPages().find(std::stoi(number));
    if (page == store.HelpPages().end())
        return NotFound("There is no help page " + number + ".");
    RefReply reply;
    reply.m_contentType = "text/html; charset=utf-8";
    reply.m_body = page->second;
    reply.m_note = "help " + number;
    return reply;
}

RefReply AccountPage(const RefDataStore& store, const RefRequest& request, std::string_view which)
{
    const RefForm fields = RequestFields(request);
    if (which == "register")
        return Page(200, "Create an account",
                    "<p>Accounts of the reference server are listed in its data folder "
                    "(accounts.xml). The sample account has the login <code>demo</code> and the "
                    "password <code>demo</code>.</p>\n",
                    "register");
    if (which == "lostpwd")
        return Page(200, "Lost password",
                    "<p>Passwords of the reference server's accounts are listed in accounts.xml in its "
                    "data folder.</p>\n",
                    "lostpwd");
    const RefAccount* account = AccountOf(store, fields);
    if (!account)
        return Page(200, "Registration information",
                    "<p>This installation is not attached to an account of this server.</p>\n", "login");
    return Page(200, "Registration information",
                "<p>Attached to the account of " + HtmlEscape(account->m_name) + " (login <code>" +
                    HtmlEscape(account->m_login) + "</code>, user id " + HtmlEscape(account->m_clearId) +
                    ").</p>\n",
                "login");
}

RefReply ErrorInfoPage(const RefDataStore&, const RefRequest& request)
{
    const std::string number = RequestFields(request).Get("NUM").value_or("");
    const std::string reason = IsAllDigits(number) && number.size() < 4 ? ErrorReason(std::stoi(number)) : "";
    if (reason.empty())
        return NotFound("The server sends no error with this number.");
    return Page(200, "Error " + number + ": " + reason,
                "<p>The reference server answered a request with this error. The DETAILS of the "
                "error document say what it found wrong.</p>\n",
                "error " + number);
}
