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
    // Gives back the storage of one object allocated here.
    static void Free(void* object, std::uint16_t blockOffset) noexcept;

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
