#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Bump allocation for the nodes and strings of one parse. Objects come from
// blocks that count their living objects; a block is freed when its last
// object goes, whichever thread releases it. Each object records the
// distance to its block (in 8-byte units) so that no header is needed.
class TSDomArena {
public:
    static constexpr std::size_t kMaxObject = 4096; // larger objects go to the heap

    TSDomArena() = default;
    TSDomArena(const TSDomArena&) = delete;
    TSDomArena& operator=(const TSDomArena&) = delete;
    ~TSDomArena();

    // Storage for `bytes` (at most kMaxObject), 8-byte aligned.
    void* Allocate(std::size_t bytes, std::uint16_t& blockOffset);
    // Frees the blocks kept for reuse (they are otherwise kept for the process).
    static void ReleaseKeptBlocks() noexcept;

    // Gives back the storage of one object allocated here.
    static void Free(void* object, std::uint16_t blockOffset) noexcept;

    // While one exists on a thread, frees on that thread are counted per
    // block and applied together (a tree's objects lie side by side).
    class FreeBatch {
    public:
        FreeBatch() noexcept;
        FreeBatch(const FreeBatch&) = delete;
        FreeBatch& operator=(const FreeBatch&) = delete;
        ~FreeBatch();

    private:
        friend class TSDomArena;
        void Flush() noexcept;
        bool m_active = false;
        void* m_block = nullptr;
        std::int64_t m_count = 0;
    };

private:
    struct Block {
        std::atomic<std::int64_t> m_live;
        std::uint64_t m_size;
    };

    void NewBlock(std::size_t atLeast);
    void Commit() noexcept;

    Block* m_block = nullptr;
    char* m_next = nullptr;
    char* m_end = nullptr;
    std::int64_t m_count = 0;
    std::size_t m_nextSize = 8 * 1024;
};
