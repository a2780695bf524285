#pragma once

#include "tools/refserver/refhttp.h"

#include <string>
#include <string_view>

class RefDataStore;

// The exchanges the toolkit holds with its servers, answered from the data
// store. A request the server cannot serve gets an ERROR document; those
// of the XML exchanges come with status 200, so that every client exchange
// reads them as server errors rather than transport failures.

// "SPLIT" gets the code formats of its codes ("XSPLIT"); "GET" gets the
// templates of its routing keys ("XGET"). Codes and keys the data does not
// know are left out of the reply. Both need the USER of an account.
RefReply AnswerRouting(const RefDataStore& store, const RefRequest& request);

// "DESC" gets one "XDESC" CODE per distinct item ID, with the item's
// description and canonical form (an empty description for an item the
// data does not hold). A server ID without a routing key is an error.
RefReply AnswerDescriptions(const RefDataStore& store, const RefRequest& request);

// The line form: fields SID, CODE and IID (comma-separated), optionally
// TYPE; one "IID=description" line per distinct item ID, ended by CR LF.
RefReply AnswerDescriptionLines(const RefDataStore& store, const RefRequest& request);

// The line form at the address of one routing key: the items the field IID
// names (comma-separated), or, when the request names none (a template
// without a query part, which the client fetches as it stands), every item
// of the key.
RefReply AnswerKeyDescriptionLines(const RefDataStore& store, const RefRequest& request,
                                   std::string_view typeName, std::string_view rid);

// LOGIN and PASSWORD (form-encoded) of an account get "XATTACH" with the
// account's blinded user id.
RefReply AnswerAttach(const RefDataStore& store, const RefRequest& request);

// An ERROR document reply.
RefReply ErrorReply(const RefDataStore& store, int httpStatus, int number, std::string_view details);

// The XML text a request carries: the body as it stands ("text/xml"), or
// the form field holding it ("text/x-url-encoded": the field named
// XMLREQUEST or XML, else the only field, else the first whose value is
// markup). False with `why` when there is none.
bool RequestDocumentText(const RefRequest& request, std::string& text, std::string& why);

// The fields of the query and, for a form body, of the body.
RefForm RequestFields(const RefRequest& request);
