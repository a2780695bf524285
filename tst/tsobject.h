#pragma once

#include <atomic>
#include <cstdint>

// A reference-counted body shared by handles. Counts change atomically, so
// handles sharing a body may live on different threads; the body itself is
// not locked.
class TSObjectImpl {
public:
    TSObjectImpl() = default;
    // A copied body starts unshared.
    TSObjectImpl(const TSObjectImpl&) noexcept {}
    TSObjectImpl& operator=(const TSObjectImpl&) = delete;
    virtual ~TSObjectImpl();

    // A new body equal to this one with count 0. The base returns the body
    // itself: such bodies are shared by all handles even across changes.
    virtual TSObjectImpl* Clone() const;

    int32_t AddRef() noexcept { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    // True when the count reached 0.
    bool Release() noexcept { return m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1; }
    int32_t GetRefCount() const noexcept { return m_refCount.load(std::memory_order_relaxed); }

private:
    std::atomic<int32_t> m_refCount{0};
};

// A handle over a TSObjectImpl body (which may be null).
class TSObjectRef {
public:
    TSObjectRef() noexcept = default;
    explicit TSObjectRef(TSObjectImpl* body) noexcept;
    TSObjectRef(const TSObjectRef& other) noexcept;
    TSObjectRef(TSObjectRef&& other) noexcept;
    TSObjectRef& operator=(const TSObjectRef& other);
    TSObjectRef& operator=(TSObjectRef&& other);
    // A handle class that overrides DeleteBody must call ReleaseBody() in its
    // own destructor: the base destructor no longer sees the override.
    virtual ~TSObjectRef();

    // Takes the new body; releases the current one unless they are the same.
    void SetBody(TSObjectImpl* body);
    // Gives this handle its own copy of a shared body (copy on write).
    void Unshare();

    TSObjectImpl* GetBody() const noexcept { return m_body; }
    bool IsNull() const noexcept { return m_body == nullptr; }

protected:
    virtual void DeleteBody(TSObjectImpl* body);
    void ReleaseBody();

    // Checked down-cast to the handle's own body class; null when the body
    // is missing or of another class.
    template <class Body> Body* BodyAs() const noexcept { return dynamic_cast<Body*>(m_body); }

private:
    TSObjectImpl* m_body = nullptr;
};
