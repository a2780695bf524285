#include "vtkit/svrerror.h"

#include "tst/http/htclient.h"
#include "tst/tsexcep.h"
#include "tst/xml/dom/domnode.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/transcode.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vttoolkit.h"

#include <cstdio>

VTServerError::~VTServerError() = default;

void VTServerError::Clear()
{
    m_code = 0;
    m_serverNumber = 0;
    m_message.clear();
    m_details.clear();
    m_url.clear();
    m_server.clear();
    m_kind = kNone;
    m_stateNumber = 0;
}

void VTServerError::FromTransaction(const TSHttpStateRecord& record)
{
    FromTransactionError(record.m_error, record.m_error == kCodeAborted ? kTextAborted : kTextFailed,
                         record.m_text);
}

void VTServerError::FromException(const TSException& exception, std::int32_t code, const char* text)
{
    FromTransactionError(code, text && *text ? text : kTextInternal, exception.GetMessage());
}

void VTServerError::FromHttpStatus(std::int32_t status)
{
    FromTransactionError(status + kCodeHttpStatusBase, kTextFailed);
}

void VTServerError::FromTransactionError(std::int32_t code, std::string_view message,
                                         std::string_view details)
{
    m_kind = kTransaction;
    m_serverNumber = 0;
    m_code = code;
    m_message = message;
    m_details = details;
}

bool VTServerError::FromErrorDocument(const TSDomDocument& document, bool refresh)
{
    const TSDomElement root = document.GetDocumentElement();
    if (root.IsNull() || root.GetTagName() != u"ERROR")
        return false;
    if (refresh) {
        TS_CHECK_NULL(m_toolkit);
        m_toolkit->UpdateCoreServers(document);
    }
    m_serverNumber = static_cast<std::int32_t>(ReadIntegerAttribute(root, u"NUM"));
    m_kind = kServer;
    m_code = 0;
    for (TSDomNode child = root.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
        if (child.GetNodeType() != kDomElementNode)
            continue;
        const TSDomElement element(child);
        const TSDomString name = element.GetTagName();
        if (name == u"REASON")
            m_message = ReadElementText(element);
        else if (name == u"DETAILS")
            m_details = ReadElementText(element);
        else if (name == u"URL")
            m_url = ReadElementText(element);
    }
    return true;
}

std::string VTServerError::GetErrorCode() const
{
    char text[32];
    if (m_kind == kTransaction)
        std::snprintf(text, sizeof text, "T-%d-%d", static_cast<int>(m_stateNumber),
                      static_cast<int>(m_code));
    else if (m_kind == kServer)
        std::snprintf(text, sizeof text, "S-%d-%d", static_cast<int>(m_stateNumber),
                      static_cast<int>(m_serverNumber));
    else
        return {};
    return text;
}
