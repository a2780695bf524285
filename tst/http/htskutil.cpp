#include "tst/http/htskutil.h"

#include "tst/tsstrutl.h"

#include <algorithm>
#include <cerrno>

namespace {

bool IsBlankLine(const std::string& line)
{
    return line.find_first_not_of("\r\n") == std::string::npos;
}

std::string TooLarge(uint64_t maxSize)
{
    return "Response body exceeds the limit of " + FormatUnsigned(maxSize) + " bytes";
}

int32_t ReadBodyOfLength(TSDataSocket& socket, TSBuffer& body, uint64_t length, const TSHttpBodyRead& read,
                         std::string& why)
{
    if (length > read.m_maxSize) {
        why = "Response body of " + FormatUnsigned(length) + " bytes exceeds the limit of " +
              FormatUnsigned(read.m_maxSize) + " bytes";
        return kSocketFailed;
    }
    std::string piece;
    uint64_t remaining = length;
    // The first byte may take longer to come than the ones after it.
    for (bool first = true; remaining > 0; first = false) {
        const std::size_t count =
            first ? 1 : static_cast<std::size_t>(std::min<uint64_t>(remaining, read.m_chunkSize));
        const int32_t result =
            socket.ReceiveExactly(piece, count, first ? read.m_firstTimeout : read.m_nextTimeout);
        if (result != kSocketDone)
            return result;
        body.Append(piece);
        remaining -= count;
    }
    return kSocketDone;
}

int32_t ReadBodyToClose(TSDataSocket& socket, TSBuffer& body, const TSHttpBodyRead& read, std::string& why)
{
    std::string piece;
    for (bool first = true;; first = false) {
        const int32_t result = socket.ReceiveAny(piece, first ? read.m_firstTimeout : read.m_nextTimeout);
        if (result == kSocketClosed)
            return kSocketDone;
        if (result != kSocketDone)
            return result;
        if (body.GetCount() + piece.size() > read.m_maxSize) {
            why = TooLarge(read.m_maxSize);
            return kSocketFailed;
        }
        body.Append(piece);
    }
}

} // namespace

int32_t HttpReadHead(TSDataSocket& socket, std::string& head, uint32_t lineTimeout, std::string& why)
{
    // The first line starts with the byte already received, unless that
    // byte is a blank line of its own.
    std::string prefix;
    prefix.swap(head);
    int count = 0;
    if (prefix == "\n") {
        prefix.clear();
        count = 1;
    }
    std::string line;
    for (; count < kHttpMaxHeadLines; ++count) {
        const int32_t result = socket.ReadLine(line, lineTimeout, false, false, kHttpMaxHeadLine);
        if (result == kSocketFailed && socket.GetLastError() == TSSocketErrorNumber(EMSGSIZE))
            why = "Response head line longer than " + FormatUnsigned(kHttpMaxHeadLine) + " bytes";
        if (result != kSocketDone)
            return result;
        line.insert(0, prefix);
        prefix.clear();
        const bool blank = IsBlankLine(line);
        if (blank && count == 0)
            continue;
        head.append(line);
        if (blank)
            break;
    }
    return kSocketDone;
}

int32_t HttpReadBody(TSDataSocket& socket, TSBuffer& body, std::optional<uint64_t> length,
                     const TSHttpBodyRead& read, std::string& why)
{
    return length ? ReadBodyOfLength(socket, body, *length, read, why)
                  : ReadBodyToClose(socket, body, read, why);
}
