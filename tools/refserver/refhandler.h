#pragma once

#include "tools/refserver/refhttp.h"

#include <optional>
#include <string_view>

class RefDataStore;

// Turns one request into one reply: the exchanges by address, the pages,
// and an ERROR document for anything else. Shared by every connection
// thread; it only reads the store.
class RefHandler {
public:
    explicit RefHandler(const RefDataStore& store) : m_store(store) {}

    // Never throws: a fault inside becomes a 500 reply with an ERROR document.
    RefReply Handle(const RefRequest& request) const;
    // The reply to a request refused while it was read (malformed head,
    // too large, too slow, server busy).
    RefReply Refuse(const RefRequestError& error) const;
    // One whole request given as bytes; nothing when the bytes end before
    // the request does.
    std::optional<RefReply> HandleBytes(std::string_view bytes, const RefLimits& limits) const;

private:
    RefReply Dispatch(const RefRequest& request) const;
    RefReply InternalError(std::string_view what) const;

    const RefDataStore& m_store;
};
