#include "tst/tsobject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// A body that counts its deletions and, when asked, copies on write.
struct CountedBody : TSObjectImpl {
    CountedBody(int* deleted, bool copyOnWrite, int value = 0)
        : m_deleted(deleted), m_copyOnWrite(copyOnWrite), m_value(value)
    {
    }
    ~CountedBody() override { ++*m_deleted; }
    TSObjectImpl* Clone() const override
    {
        return m_copyOnWrite ? new CountedBody(*this) : TSObjectImpl::Clone();
    }
    int* m_deleted;
    bool m_copyOnWrite;
    int m_value;
};

class Handle : public TSObjectRef {
public:
    using TSObjectRef::TSObjectRef;
    int Value() const { return BodyAs<CountedBody>()->m_value; }
    void SetValue(int value)
    {
        Unshare();
        BodyAs<CountedBody>()->m_value = value;
    }
};

TEST(TSObjectRef, CopyOnWriteBodyIsCopiedOnlyWhenShared)
{
    int deleted = 0;
    {
        Handle first(new CountedBody(&deleted, true, 1));
        TSObjectImpl* original = first.GetBody();
        first.SetValue(2);
        EXPECT_EQ(first.GetBody(), original) << "an unshared body must not be copied";

        Handle second(first);
        EXPECT_EQ(original->GetRefCount(), 2);
        second.SetValue(3);
        EXPECT_NE(second.GetBody(), first.GetBody());
        EXPECT_EQ(first.Value(), 2);
        EXPECT_EQ(second.Value(), 3);
        EXPECT_EQ(original->GetRefCount(), 1);
    }
    EXPECT_EQ(deleted, 2);
}

TEST(TSObjectRef, SharedBodyStaysSharedAcrossChanges)
{
    int deleted = 0;
    {
        Handle first(new CountedBody(&deleted, false, 1));
        Handle second(first);
        second.SetValue(5);
        EXPECT_EQ(first.GetBody(), second.GetBody());
        EXPECT_EQ(first.Value(), 5);
    }
    EXPECT_EQ(deleted, 1);
}

TEST(TSObjectRef, LastOfThreeHandlesDeletesTheBodyOnce)
{
    int deleted = 0;
    auto* a = new Handle(new CountedBody(&deleted, true));
    auto* b = new Handle(*a);
    auto* c = new Handle(*b);
    EXPECT_EQ(a->GetBody()->GetRefCount(), 3);
    delete a;
    delete c;
    EXPECT_EQ(deleted, 0);
    delete b;
    EXPECT_EQ(deleted, 1);
}

TEST(TSObjectRef, SelfAssignmentKeepsBodyAndCount)
{
    int deleted = 0;
    Handle handle(new CountedBody(&deleted, true));
    TSObjectImpl* body = handle.GetBody();
    Handle& alias = handle;
    handle = alias;
    handle.SetBody(body);
    EXPECT_EQ(handle.GetBody(), body);
    EXPECT_EQ(body->GetRefCount(), 1);
    EXPECT_EQ(deleted, 0);
}

TEST(TSObjectRef, AssignmentReleasesTheOldBody)
{
    int deleted = 0;
    Handle first(new CountedBody(&deleted, true, 1));
    Handle second(new CountedBody(&deleted, true, 2));
    first = second;
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(first.Value(), 2);
    EXPECT_EQ(second.GetBody()->GetRefCount(), 2);

    Handle moved(std::move(first));
    EXPECT_TRUE(first.IsNull());
    EXPECT_EQ(moved.GetBody()->GetRefCount(), 2);
}

TEST(TSObjectRef, NullHandleIgnoresUnshare)
{
    Handle empty;
    empty.Unshare();
    EXPECT_TRUE(empty.IsNull());
}

// Handles of one body copied and dropped on several threads: the count must
// end exactly at zero (the thread sanitizer build checks the rest).
TEST(TSObjectRef, CountsAreAtomicAcrossThreads)
{
    int deleted = 0;
    {
        Handle shared(new CountedBody(&deleted, false));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&shared] {
                for (int i = 0; i < 20000; ++i) {
                    Handle copy(shared);
                    Handle other;
                    other = copy;
                }
            });
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(shared.GetBody()->GetRefCount(), 1);
    }
    EXPECT_EQ(deleted, 1);
}

// An override of DeleteBody takes effect when the derived handle releases.
class RecyclingHandle : public TSObjectRef {
public:
    RecyclingHandle(TSObjectImpl* body, int* recycled) : TSObjectRef(body), m_recycled(recycled) {}
    ~RecyclingHandle() override { ReleaseBody(); }

protected:
    void DeleteBody(TSObjectImpl* body) override
    {
        ++*m_recycled;
        TSObjectRef::DeleteBody(body);
    }

private:
    int* m_recycled;
};

TEST(TSObjectRef, DerivedDeleteBodyIsUsed)
{
    int deleted = 0;
    int recycled = 0;
    {
        RecyclingHandle handle(new CountedBody(&deleted, false), &recycled);
    }
    EXPECT_EQ(recycled, 1);
    EXPECT_EQ(deleted, 1);
}

} // namespace
