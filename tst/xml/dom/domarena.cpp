#include "tst/xml/dom/domarena.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace {

// A block being filled holds this many extra counts, so that objects freed
// before it is committed cannot bring its count to zero.
constexpr std::int64_t kOpenBias = std::int64_t(1) << 40;
// Below the allocator's usual threshold for mapping memory of its own, and
// well within the 16-bit offsets (in 8-byte units).
constexpr std::size_t kMaxBlock = 64 * 1024;
// Freed full-size blocks kept for the next parse: fresh pages cost a page
// fault each on first touch, and a tree's blocks tend to be freed together
// and handed back to the system.
constexpr std::size_t kKeptBlocks = 64;

std::mutex gKeptMutex;
std::vector<void*>& KeptBlocks()
{
    static auto* blocks = new std::vector<void*>(); // outlives every tree
    return *blocks;
}

void* AllocateBlock(std::size_t size)
{
    if (size == kMaxBlock) {
        std::lock_guard lock(gKeptMutex);
        std::vector<void*>& kept = KeptBlocks();
        if (!kept.empty()) {
            void* block = kept.back();
            kept.pop_back();
            return block;
        }
    }
    void* memory = std::malloc(size);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void FreeBlock(void* block, std::size_t size) noexcept
{
    if (size == kMaxBlock) {
        std::lock_guard lock(gKeptMutex);
        std::vector<void*>& kept = KeptBlocks();
        if (kept.size() < kKeptBlocks) {
            if (kept.capacity() == 0)
                kept.reserve(kKeptBlocks);
            kept.push_back(block);
            return;
        }
    }
    std::free(block);
}

thread_local TSDomArena::FreeBatch* tBatch = nullptr;

} // namespace

TSDomArena::FreeBatch::FreeBatch() noexcept
{
    if (!tBatch) {
        tBatch = this;
        m_active = true;
    }
}

TSDomArena::FreeBatch::~FreeBatch()
{
    if (m_active) {
        Flush();
        tBatch = nullptr;
    }
}

void TSDomArena::FreeBatch::Flush() noexcept
{
    if (!m_block)
        return;
    auto* block = static_cast<Block*>(m_block);
    if (block->m_live.fetch_sub(m_count, std::memory_order_acq_rel) == m_count)
        FreeBlock(block, block->m_size);
    m_block = nullptr;
    m_count = 0;
}

void TSDomArena::ReleaseKeptBlocks() noexcept
{
    std::lock_guard lock(gKeptMutex);
    for (void* block : KeptBlocks())
        std::free(block);
    KeptBlocks().clear();
}

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
    if (FreeBatch* batch = tBatch) {
        if (batch->m_block != block) {
            batch->Flush();
            batch->m_block = block;
        }
        ++batch->m_count;
        return;
    }
    if (block->m_live.fetch_sub(1, std::memory_order_acq_rel) == 1)
        FreeBlock(block, block->m_size);
}

void TSDomArena::NewBlock(std::size_t atLeast)
{
    Commit();
    const std::size_t size = std::max(m_nextSize, atLeast + sizeof(Block));
    void* memory = AllocateBlock(size);
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
        FreeBlock(m_block, m_block->m_size);
    m_block = nullptr;
    m_next = m_end = nullptr;
    m_count = 0;
}
