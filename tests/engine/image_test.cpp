#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "engine/image.h"

namespace {

// Heap hooks that fail every allocation.
void* failingAlloc(std::size_t) { return nullptr; }
void plainRelease(void* p) { std::free(p); }

struct HeapFailure {
    HeapFailure() { vpSetHeapHooks(failingAlloc, plainRelease); }
    ~HeapFailure() { vpSetHeapHooks(nullptr, nullptr); }
};

// Heap hooks that count the blocks requested. A release followed by an
// allocation of the same size usually gets the same block back with its old
// contents, so kept pointers and values alone cannot tell a kept buffer from
// a reallocated one; the count can.
int allocationsSeen = 0;
void* countingAlloc(std::size_t bytes)
{
    ++allocationsSeen;
    return std::malloc(bytes);
}

struct HeapCounter {
    HeapCounter()
    {
        allocationsSeen = 0;
        vpSetHeapHooks(countingAlloc, plainRelease);
    }
    ~HeapCounter() { vpSetHeapHooks(nullptr, nullptr); }
};

TEST(ImageRecords, AllocateSizesAndSteps)
{
    Image8u a;
    a.allocate(0, 480);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.step, 0);
    EXPECT_EQ(a.width, 0);
    EXPECT_EQ(a.height, 480);

    Image32f f;
    f.allocate(640, 480);
    EXPECT_NE(f.data, nullptr);
    EXPECT_EQ(f.step, 2560);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(f.data) % 32, 0u);

    Image8u b;
    b.allocate(641, 1);
    EXPECT_EQ(b.step, 672);
    Image8uC3 c;
    c.allocate(641, 1);
    EXPECT_EQ(c.step, 1952);
    Image64f z;
    z.allocate(3, 2);
    EXPECT_EQ(z.step, 32);

    Image8u ctor(5, 7);
    EXPECT_NE(ctor.data, nullptr);
    EXPECT_EQ(ctor.step, 32);
    ctor.release();
    EXPECT_EQ(ctor.data, nullptr);
    EXPECT_EQ(ctor.width, 0);
    EXPECT_EQ(ctor.height, 0);
    EXPECT_EQ(ctor.step, 0);
}

TEST(ImageRecords, NegativeOrHugeSizesThrow)
{
    Image8u a;
    EXPECT_THROW(a.allocate(-3, 4), MemoryException);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.width, -3);
    EXPECT_EQ(a.height, 4);
    Image64f z;
    // Row bytes beyond the int range are refused before the allocator.
    EXPECT_THROW(z.allocate(400000000, 1), MemoryException);
}

TEST(ImageRecords, ReallocateVersusEnsureSize)
{
    HeapCounter heap;
    Image32f f;
    f.allocate(8, 4);
    ASSERT_EQ(allocationsSeen, 1);
    f.row(2)[3] = 42.0f;
    f.ensureSize(8, 4);
    EXPECT_EQ(f.row(2)[3], 42.0f);
    EXPECT_EQ(allocationsSeen, 1);  // same size: the rows are kept
    f.ensureSize(9, 4);
    EXPECT_EQ(f.width, 9);
    EXPECT_EQ(f.step, 64);
    EXPECT_EQ(allocationsSeen, 2);
    // reallocate always replaces the rows, even at the same size.
    f.reallocate(9, 4);
    EXPECT_EQ(allocationsSeen, 3);
    EXPECT_EQ(f.width, 9);
    EXPECT_EQ(f.step, 64);
}

TEST(ImageRecords, EnsureSizeRetriesAfterAFailedAllocation)
{
    // A failed allocation leaves the size in the record without rows; asking
    // for that size again must allocate rather than keep the missing rows.
    Image32f f;
    {
        HeapFailure fail;
        EXPECT_THROW(f.allocate(9, 4), MemoryException);
    }
    ASSERT_EQ(f.data, nullptr);
    HeapCounter heap;
    f.ensureSize(9, 4);
    EXPECT_NE(f.data, nullptr);
    EXPECT_EQ(f.step, 64);
    EXPECT_EQ(allocationsSeen, 1);
}

TEST(ImageHelpers, CopyIntoARecordLeftWithoutRowsAllocatesThem)
{
    // A destination of the right size whose earlier allocation failed must
    // get rows and the pixels, not be skipped.
    Image8u source(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) *source.at(x, y) = static_cast<Vp8u>(10 * y + x);
    Image8u destination;
    {
        HeapFailure fail;
        EXPECT_THROW(destination.allocate(5, 3), MemoryException);
    }
    ASSERT_EQ(destination.data, nullptr);
    copyImage8u(&source, &destination);
    ASSERT_NE(destination.data, nullptr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(*destination.at(x, y), *source.at(x, y));
}

TEST(ImageRecords, FailedAllocationThrowsMemoryExceptionCaughtAsBase)
{
    Image8uC3 c;
    bool caught = false;
    {
        HeapFailure fail;
        try {
            c.allocate(10, 10);
        } catch (const BException&) {
            caught = true;
        }
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.step, 0);
    EXPECT_EQ(c.width, 10);
    EXPECT_EQ(c.height, 10);
    EXPECT_EQ(sizeof(MemoryException), sizeof(void*));
}

TEST(ImageHelpers, ConvertTo8uRoundsToEvenAndSaturates)
{
    Image32f f;
    f.allocate(6, 1);
    const float in[6] = {254.5f, 253.5f, -3.2f, 300.0f, 127.5f, 128.5f};
    const int expected[6] = {254, 254, 0, 255, 128, 128};
    std::memcpy(f.data, in, sizeof in);
    Image8u b;
    convertTo8u(&f, &b);
    ASSERT_EQ(b.width, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(b.data[i], expected[i]) << i;

    Image32f back;
    convertTo32f(&b, &back);
    EXPECT_EQ(back.row(0)[0], 254.0f);
    EXPECT_EQ(back.width, 6);
}

TEST(ImageHelpers, CopiesReallocateOnlyOnSizeChange)
{
    HeapCounter heap;
    Image32f a, b;
    a.allocate(5, 3);
    setImageValue(2.5f, &a);
    b.allocate(5, 3);
    Vp32f* keep = b.data;
    const int before = allocationsSeen;
    copyImage32f(&a, &b);
    EXPECT_EQ(b.data, keep);
    EXPECT_EQ(allocationsSeen, before);
    EXPECT_EQ(b.row(2)[4], 2.5f);
    Image32f wider;
    wider.allocate(6, 3);
    const int beforeWider = allocationsSeen;
    copyImage32f(&a, &wider);
    EXPECT_EQ(allocationsSeen, beforeWider + 1);
    EXPECT_EQ(wider.width, 5);
    EXPECT_EQ(wider.row(2)[4], 2.5f);

    Image8u s(4, 3), d;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            s.row(y)[x] = static_cast<Vp8u>(10 * y + x);
    copyImage8u(&s, &d);
    EXPECT_EQ(d.width, 4);
    EXPECT_EQ(d.row(2)[3], 23);
}

TEST(ImageHelpers, CopyBorderCopiesOnlyTheRing)
{
    Image8u s(8, 6), d(8, 6);
    for (int y = 0; y < 6; ++y) {
        std::memset(s.row(y), 7, 8);
        std::memset(d.row(y), 0, 8);
    }
    copyBorder(&s, &d, 2, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool ring = y < 1 || y >= 5 || x < 2 || x >= 6;
            EXPECT_EQ(d.row(y)[x], ring ? 7 : 0) << x << "," << y;
        }
}

TEST(ByteMaps, AllocateKeepsWhatStillFits)
{
    ByteMap m(3, 4);
    ASSERT_NE(m.data, nullptr);
    EXPECT_EQ(m.size, 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(m.data[i], 0);
    m.data[5] = 9;
    uint8_t* bytes = m.data;
    uint8_t** table = m.rowPointers;
    ASSERT_TRUE(m.allocate(3, 4));
    EXPECT_EQ(m.data, bytes);
    EXPECT_EQ(m.data[5], 9);
    ASSERT_TRUE(m.allocate(3, 6));
    EXPECT_EQ(m.rowPointers, table);
    EXPECT_EQ(m.rowPointers[2], m.data + 12);
    EXPECT_EQ(m.size, 18);
    EXPECT_FALSE(m.allocate(0, 6));
    EXPECT_EQ(m.data, nullptr);
}

TEST(ByteMaps, RoundTripThroughImage)
{
    Image8u s(5, 3), d;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            s.row(y)[x] = static_cast<Vp8u>(y * 5 + x);
    ByteMap m;
    copyToByteMap(&s, &m);
    ASSERT_EQ(m.rows, 3);
    ASSERT_EQ(m.columns, 5);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(m.data[i], i);
    copyFromByteMap(&m, &d);
    EXPECT_EQ(d.row(2)[4], 14);
}

TEST(ImageHelpers, SmallRecordsAndLog2)
{
    EXPECT_EQ(ceilLog2(128), 7);
    EXPECT_EQ(ceilLog2(129), 8);
    EXPECT_EQ(ceilLog2(1), 0);
    EXPECT_EQ(ceilLog2(0), 0);
    EXPECT_EQ(ceilLog2(-5), 0);
    EXPECT_EQ(ceilLog2((1 << 30) + 1), 31);
    const VpiRect r = MakeVpiRectAt(3, 4, MakeVpiSize(5, 6));
    VpiRect c{};
    copyVpiRect(&c, &r);
    EXPECT_EQ(c.x, 3);
    EXPECT_EQ(c.height, 6);
    EXPECT_EQ(DoNothing(17), 0);
}

}  // namespace
