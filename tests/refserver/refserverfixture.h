#pragma once

#include "tests/support/serverprocess.h"
#include "tests/support/tempdir.h"
#include "tst/http/htrsp.h"
#include "tst/tsstrmap.h"
#include "tst/xml/dom/domnode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The demo account of the sample data.
inline constexpr const char* kDemoUser = "116306380970205";
inline constexpr const char* kDemoClearId = "271828182";

// A reply as read off the wire, up to the server's close.
struct WireReply {
    bool m_parsed = false;
    int m_status = 0;
    TSHttpResponse m_response;
    std::string m_body;
    std::string m_raw;

    std::string Header(std::string_view name) const;
};

// One connection to 127.0.0.1 made with plain sockets, so that a test can
// misbehave the way a broken peer would.
class RawConnection {
public:
    explicit RawConnection(std::uint16_t port);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // False when the peer no longer takes bytes.
    bool Send(std::string_view bytes);
    // Half-closes the sending side.
    void ShutdownSend();
    // Everything until the server closes (at most `timeoutMs` of silence).
    std::string ReadAll(int timeoutMs = 20000);
    // Closes so that the peer sees a reset rather than an orderly close.
    void Reset();
    void Close();

private:
    int m_fd = -1;
};

// Sends `bytes` on a fresh connection and reads the reply.
WireReply Exchange(std::uint16_t port, std::string_view bytes);
// Parses what a server sent: status line, headers, body.
WireReply ParseReply(std::string raw);
// The document of an XML reply (the test fails on malformed XML).
TSDomDocument ParseXml(const std::string& text);
std::string Utf8(std::u16string_view text);
std::u16string Wide(std::string_view text);
std::string Attr(const TSDomElement& element, std::u16string_view name);
std::string ChildText(const TSDomElement& element, std::u16string_view name);

// Request documents as the client writes them: the root's attributes and
// one child element per entry, each with its attributes, formatted with
// four blanks of indent.
using Attributes = std::vector<std::pair<std::string, std::string>>;
std::string RequestDocument(std::u16string_view root, const Attributes& rootAttributes,
                            std::u16string_view child, const std::vector<Attributes>& children);

// A blinded form of a nine-digit clear id, made the way the client re-blinds.
std::string Reblind(std::string_view clearId, unsigned salt);
// What the client puts into every template: CAPP, CVER, CLANG, USER, USERC...
TSStringMap ClientVariables();

// The client's substitution of "<^KEY^>" variables, missing keys dropped.
std::string Substitute(std::string text, const TSStringMap& values);

// The HTTP request for an XML request document and a template: without
// '?' a POST of the XML as "text/xml"; with '?' the form-encoded XML is
// the XMLREQUEST variable and the template is split at its '?' into the
// address and a "text/x-url-encoded" body.
std::string XmlRequestForTemplate(const std::string& templateText, const std::string& xml);
// The line-form description request: without '?' a GET of the template
// as it stands; with '?' the template filled with CODE, IID and SID, split
// and posted as a form.
std::string LinesRequestForTemplate(const std::string& templateText, const TSStringMap& values);
// A plain request through the project's request formatter.
std::string HttpRequestText(const std::string& verb, const std::string& url, int contentType = -1,
                            const std::string& body = {});

// The reference server started on a free loopback port with the sample
// data of the source tree; stopped (and checked to end cleanly) after
// each test.
class RefServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Extra options for the server; called before it starts.
    virtual std::vector<std::string> ExtraOptions() const { return {}; }

    std::string Url(std::string_view pathAndQuery) const;
    WireReply Get(std::string_view pathAndQuery) const;
    WireReply Post(std::string_view path, std::string_view contentType, std::string_view body) const;
    WireReply Send(std::string_view bytes) const { return Exchange(m_port, bytes); }
    // A routing or description reply's ERROR number, checking the document's shape.
    void ExpectErrorDocument(const WireReply& reply, int number) const;
    // A command of a core record in the Server.dat the server wrote for itself.
    std::string CoreTemplate(std::string_view serverType, std::string_view command) const;

    TempDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::uint16_t m_port = 0;
    bool m_stopInTearDown = true;
};

std::string RefServerProgram();
std::filesystem::path SampleDataFolder();
