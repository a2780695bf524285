#include "tst/tsbuffer.h"

#include <algorithm>
#include <cstring>

TSBuffer::TSBuffer(const TSBuffer& other) : m_count(other.m_count)
{
    m_chunks.reserve(other.m_chunks.size());
    for (const auto& chunk : other.m_chunks)
        m_chunks.push_back(std::make_unique<Chunk>(*chunk));
}

TSBuffer& TSBuffer::operator=(const TSBuffer& other)
{
    if (this != &other)
        *this = TSBuffer(other);
    return *this;
}

TSBuffer::~TSBuffer() = default;

void TSBuffer::Append(const void* bytes, std::size_t count)
{
    const auto* source = static_cast<const char*>(bytes);
    while (count > 0) {
        if (m_chunks.empty() || m_chunks.back()->m_used == kChunkData)
            m_chunks.push_back(std::make_unique<Chunk>());
        Chunk& last = *m_chunks.back();
        const std::size_t take = std::min(count, kChunkData - last.m_used);
        std::memcpy(last.m_data.data() + last.m_used, source, take);
        last.m_used += take;
        m_count += take;
        source += take;
        count -= take;
    }
}

std::string TSBuffer::ToString() const
{
    std::string result;
    result.reserve(m_count);
    ForEachChunk([&](const char* data, std::size_t size) { result.append(data, size); });
    return result;
}

void TSBuffer::Clear()
{
    m_chunks.clear();
    m_count = 0;
}
