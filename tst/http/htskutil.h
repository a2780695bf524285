#pragma once

#include "tst/socket/skdata.h"
#include "tst/tsbuffer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Reading a response from a connected socket. Each operation returns a
// socket result (skdata); when it fails for a reason of its own rather
// than the socket's, `why` says so.

// Lines read for a head at most; a longer head is parsed as it stands.
constexpr int kHttpMaxHeadLines = 50;
// Longest head line kept; a peer that never ends a line fails the read.
constexpr std::size_t kHttpMaxHeadLine = 64 * 1024;

// Appends the head lines, each with its line end, to `head`, which holds
// the first byte already received. A blank first line is skipped; a blank
// line after it ends the head.
int32_t HttpReadHead(TSDataSocket& socket, std::string& head, uint32_t lineTimeout, std::string& why);

struct TSHttpBodyRead {
    // Read pieces of at most this many bytes.
    std::size_t m_chunkSize = 1024;
    uint32_t m_firstTimeout = 5;
    uint32_t m_nextTimeout = 10;
    // A body larger than this fails instead of filling the memory.
    uint64_t m_maxSize = 16u * 1024 * 1024;
};

// Reads `length` bytes, or without a length everything until the peer
// closes (which is then the normal end).
int32_t HttpReadBody(TSDataSocket& socket, TSBuffer& body, std::optional<uint64_t> length,
                     const TSHttpBodyRead& read, std::string& why);
