#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Collects received bytes in 4096-byte chunks (4088 bytes of data each), so
// growing never moves what was already received.
class TSBuffer {
public:
    static constexpr std::size_t kChunkData = 4088;

    TSBuffer() = default;
    TSBuffer(const TSBuffer& other);
    TSBuffer(TSBuffer&&) noexcept = default;
    TSBuffer& operator=(const TSBuffer& other);
    TSBuffer& operator=(TSBuffer&&) noexcept = default;
    ~TSBuffer();

    void Append(const void* bytes, std::size_t count);
    void Append(const std::string& bytes) { Append(bytes.data(), bytes.size()); }
    std::string ToString() const;
    void Clear();

    std::size_t GetCount() const { return m_count; }
    std::size_t GetChunkCount() const { return m_chunks.size(); }

    // Visits the filled part of every chunk in order as fn(data, size).
    template <class Fn> void ForEachChunk(Fn&& fn) const
    {
        for (const auto& chunk : m_chunks)
            fn(chunk->m_data.data(), chunk->m_used);
    }

private:
    struct Chunk {
        std::size_t m_used = 0;
        std::array<char, kChunkData> m_data;
    };

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::size_t m_count = 0;
};
