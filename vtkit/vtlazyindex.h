#pragma once

#include <atomic>
#include <mutex>

// The data of a list's lookup index, built by the first lookup after a
// change. Copies and moves start unbuilt and empty: a copy builds its own
// from its own list on first use, and a list moved from must not keep
// positions into entries it no longer has.
template <class Data> class VTLazyIndex {
public:
    VTLazyIndex() = default;
    VTLazyIndex(const VTLazyIndex&) {}
    VTLazyIndex(VTLazyIndex&& other) noexcept { other.Invalidate(); }
    VTLazyIndex& operator=(const VTLazyIndex&)
    {
        Invalidate();
        return *this;
    }
    VTLazyIndex& operator=(VTLazyIndex&& other) noexcept
    {
        Invalidate();
        other.Invalidate();
        return *this;
    }
    ~VTLazyIndex() = default;

    // Called by every change the index is not kept in step with.
    void Invalidate() { m_built.store(false, std::memory_order_relaxed); }
    bool IsBuilt() const { return m_built.load(std::memory_order_relaxed); }

    // The data, built first by `build(data)` when a change came since the
    // last build. Concurrent lookups are safe; changes must not overlap them.
    template <class Build> const Data& Get(Build&& build) const
    {
        if (!m_built.load(std::memory_order_acquire)) {
            std::lock_guard guard(m_buildLock);
            if (!m_built.load(std::memory_order_relaxed)) {
                build(m_data);
                m_built.store(true, std::memory_order_release);
            }
        }
        return m_data;
    }
    // For a change that keeps a built index in step with its list.
    Data& Mutable() { return m_data; }

private:
    mutable std::mutex m_buildLock;
    mutable std::atomic<bool> m_built{false};
    mutable Data m_data;
};
