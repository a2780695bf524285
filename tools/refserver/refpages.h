#pragma once

#include "tools/refserver/refhttp.h"

#include <string>
#include <string_view>

class RefDataStore;

// The pages a browser opens: the page of each linked item (what a resolved
// code shows), the help pages, the account pages of the REGISTRATION
// record and an index of the sample data. Unknown pages get a 404 page.

// "/": every sample code with a link to its page, the accounts and help.
RefReply IndexPage(const RefDataStore& store);
// "/item?type=T&sid=S&iid=I[&user=BLINDED]".
RefReply ItemPage(const RefDataStore& store, const RefRequest& request);
// "/help?IID=n": the page help/n.html of the data folder.
RefReply HelpPage(const RefDataStore& store, const RefRequest& request);
// "/register", "/lostpwd" and "/login" (with "user=BLINDED").
RefReply AccountPage(const RefDataStore& store, const RefRequest& request, std::string_view which);
// "/error?NUM=n": what an ERROR document's number means.
RefReply ErrorInfoPage(const RefDataStore& store, const RefRequest& request);

// The five characters that matter in HTML text and attribute values.
std::string HtmlEscape(std::string_view text);
