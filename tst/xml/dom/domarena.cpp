#include "tst/xml/dom/domarena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// A block being filled holds this many extra counts, so that objects freed
// before it is committed cannot bring its count to zero.
constexpr std::int64_t kOpenBias = std::int64_t(1) << 40;
constexpr std::size_t kMaxBlock = 256 * 1024; // offsets fit 16 bits of 8-byte units

} // namespace

TSDomArena::~TSDomArena()
{
    Commit();
}

void* TSDomArena::Allocate(std::size_t bytes, std::uint16_t& blockOffset)
{
    bytes = (bytes + 7) & ~std::size_t(7);
    if (bytes > std::size_t(m_end - m_next))
        NewBlock(bytes);
    char* object = m_next;
    m_next += bytes;
    ++m_count;
    blockOffset = static_cast<std::uint16_t>((object - reinterpret_cast<char*>(m_block)) / 8);
    return object;
}

void TSDomArena::Free(void* object, std::uint16_t blockOffset) noexcept
{
    auto* block = reinterpret_cast<Block*>(static_cast<char*>(object) - std::size_t(blockOffset) * 8);
    if (block->m_live.fetch_sub(1, std::memory_order_acq_rel) == 1)
        std::free(block);
}

void TSDomArena::NewBlock(std::size_t atLeast)
{
    Commit();
    const std::size_t size = std::max(m_nextSize, atLeast + sizeof(Block));
    void* memory = std::malloc(size);
    if (!memory)
        throw std::bad_alloc();
    m_block = new (memory) Block{{kOpenBias}, size};
    m_next = static_cast<char*>(memory) + sizeof(Block);
    m_end = static_cast<char*>(memory) + size;
    m_count = 0;
    m_nextSize = std::min(m_nextSize * 2, kMaxBlock);
}

void TSDomArena::Commit() noexcept
{
    if (!m_block)
        return;
    const std::int64_t change = m_count - kOpenBias;
    if (m_block->m_live.fetch_add(change, std::memory_order_acq_rel) + change == 0)
        std::free(m_block);
    m_block = nullptr;
    m_next = m_end = nullptr;
    m_count = 0;
}
