// The imaging core's lists, key set and byte buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "imaging/core/hyieutils_lists.h"
#include "imaging/core/hyieutils_streams.h"

namespace ie {
namespace {

double DoubleAt(const TIEList& l, int i) { return *static_cast<const double*>(l.GetItemPtr(i)); }
int32_t IntAt(const TIEList& l, int i) { return *static_cast<const int32_t*>(l.GetItemPtr(i)); }

// ---------------------------------------------------------------------------------------
// TIEList and its typed lists

TEST(IEList, GrowsByDoublingAndKeepsItsItems) {
    TIEIntegerList l;
    EXPECT_EQ(l.GetData(), nullptr);
    for (int32_t i = 0; i < 40; ++i) {
        EXPECT_EQ(l.AddItem(&i), i);
        int32_t expected = 1;
        while (expected < i + 1) expected *= 2;
        EXPECT_EQ(l.GetCapacity(), expected) << "after " << i + 1 << " items";
    }
    for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(IntAt(l, i), i);
}

TEST(IEList, CountChangesKeepTheBufferAndNewItemsStartAtZero) {
    TIEDoubleList l;
    l.SetCount(5);
    EXPECT_EQ(l.GetCapacity(), 5);
    for (int i = 0; i < 5; ++i) *static_cast<double*>(l.GetItemPtr(i)) = i + 0.5;
    l.SetCount(2);  // shrinking keeps the buffer
    EXPECT_EQ(l.GetCapacity(), 5);
    l.SetCount(4);  // and growing inside it gives zeroed items
    EXPECT_EQ(l.GetCapacity(), 5);
    EXPECT_EQ(DoubleAt(l, 1), 1.5);
    EXPECT_EQ(DoubleAt(l, 2), 0.0);
    EXPECT_EQ(DoubleAt(l, 3), 0.0);
    l.SetCount(7);  // beyond: twice the capacity, the items kept
    EXPECT_EQ(l.GetCapacity(), 10);
    EXPECT_EQ(DoubleAt(l, 0), 0.5);
    EXPECT_EQ(DoubleAt(l, 6), 0.0);
    EXPECT_THROW(l.SetCount(-1), cl::EListError);
    EXPECT_EQ(l.GetCount(), 7);
}

TEST(IEList, DeleteLeavesExactlyTheRemainingItems) {
    struct Case {
        int32_t index;
        std::vector<int32_t> left;
    };
    const Case cases[] = {
        {0, {11, 12, 13}}, {2, {10, 11, 13}}, {3, {10, 11, 12}}, {-1, {10, 11, 12, 13}}, {4, {10, 11, 12, 13}}};
    for (const Case& c : cases) {
        TIEIntegerList l;
        for (int32_t v : {10, 11, 12, 13}) l.AddItem(&v);
        const int32_t capacityBefore = l.GetCapacity();
        l.Delete(c.index);
        ASSERT_EQ(l.GetCount(), static_cast<int32_t>(c.left.size())) << c.index;
        for (size_t i = 0; i < c.left.size(); ++i) EXPECT_EQ(IntAt(l, static_cast<int>(i)), c.left[i]) << c.index;
        if (c.left.size() == 3) {
            EXPECT_EQ(l.GetCapacity(), 3);
        } else {
            EXPECT_EQ(l.GetCapacity(), capacityBefore);  // an index outside does nothing
        }
    }
    TIEIntegerList one;
    int32_t v = 7;
    one.AddItem(&v);
    one.Delete(0);
    EXPECT_EQ(one.GetCount(), 0);
    EXPECT_EQ(one.GetCapacity(), 0);
    EXPECT_EQ(one.GetData(), nullptr);
}

TEST(IEList, FlagsFollowChangesClearAndAssign) {
    TIEIntegerList l;
    EXPECT_EQ(l.GetFlags(), 0);
    l.SetCount(1);
    EXPECT_EQ(l.GetFlags() & 1, 1);
    l.Clear();
    EXPECT_EQ(l.GetFlags(), 0);
    int32_t v = 3;
    l.AddItem(&v);
    EXPECT_EQ(l.GetFlags() & 1, 1);
    l.Clear();
    l.AddItem(&v);
    l.AddItem(&v);
    l.Clear();
    l.SetCount(0);
    EXPECT_EQ(l.GetFlags() & 1, 1);
    TIEIntegerList copy;
    TIEIntegerList untouched;
    copy.Assign(&untouched);
    EXPECT_EQ(copy.GetFlags(), 0);
    copy.Assign(&l);
    EXPECT_EQ(copy.GetFlags(), l.GetFlags());
}

TEST(IEList, AssignCopiesExactlyAndTheNextGrowthReallocates) {
    TIEDoubleList big;
    big.SetCount(100);
    TIEDoubleList five;
    for (int i = 0; i < 5; ++i) {
        const double d = i * 1.25;
        five.AddItem(&d);
    }
    five.Reals[0] = 1.5;
    five.Reals[2] = -2;
    five.Ints[1] = 42;
    big.Assign(&five);
    EXPECT_EQ(big.GetCount(), 5);
    EXPECT_EQ(big.GetCapacity(), 5);
    EXPECT_NE(big.GetData(), five.GetData());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(DoubleAt(big, i), i * 1.25);
    EXPECT_EQ(big.Reals[0], 1.5);
    EXPECT_EQ(big.Reals[2], -2);
    EXPECT_EQ(big.Ints[1], 42);
    big.SetCount(6);
    EXPECT_EQ(big.GetCapacity(), 10);
    EXPECT_EQ(DoubleAt(big, 4), 5.0);
    big.Assign(nullptr);  // nothing
    EXPECT_EQ(big.GetCount(), 6);
    big.Assign(&big);  // nothing either
    EXPECT_EQ(DoubleAt(big, 4), 5.0);

    TIEIntegerList ints;
    ints.Ints[3] = 9;
    int32_t v = 5;
    ints.AddItem(&v);
    TIEIntegerList other;
    other.Assign(&ints);
    EXPECT_EQ(other.Ints[3], 9);
    EXPECT_EQ(IntAt(other, 0), 5);
}

TEST(IEList, ClearEmptiesAndGivesEachListItsItemSize) {
    TIEDoubleList d;
    d.Reals[1] = 3;
    d.Ints[0] = 4;
    d.SetCount(3);
    d.Clear();
    EXPECT_EQ(d.GetItemSize(), 8);
    EXPECT_EQ(d.Reals[1], 0);
    EXPECT_EQ(d.Ints[0], 0);
    EXPECT_EQ(d.GetData(), nullptr);
    EXPECT_EQ(d.GetCapacity(), 0);

    TIEIntegerList i;
    i.Ints[2] = 1;
    i.Clear();
    EXPECT_EQ(i.GetItemSize(), 4);
    EXPECT_EQ(i.Ints[2], 0);

    TIERecordList r(16);
    r.SetCount(2);
    r.Clear();
    EXPECT_EQ(r.GetItemSize(), 16);  // the record size survives
    EXPECT_EQ(TIEList().GetItemSize(), 0);
    EXPECT_THROW(TIERecordList(-1), cl::EListError);
}

TEST(IEList, RecordsAreCopiedInAndReadBack) {
    struct Span {
        int32_t y, xl, xr, dy;
    };
    TIERecordList spans(sizeof(Span));
    for (int32_t k = 0; k < 100; ++k) {
        const Span s{k, -k, k * 2, k % 2 ? 1 : -1};
        EXPECT_EQ(spans.AddRecord(&s), k);
    }
    for (int32_t k = 0; k < 100; ++k) {
        Span s;
        std::memcpy(&s, spans.GetRecord(k), sizeof s);
        EXPECT_EQ(s.y, k);
        EXPECT_EQ(s.xl, -k);
        EXPECT_EQ(s.xr, 2 * k);
        EXPECT_EQ(s.dy, k % 2 ? 1 : -1);
    }
    // The count is raised ahead of use, as the flood fill does, and the records stay.
    spans.SetCount(400);
    Span s;
    std::memcpy(&s, spans.GetRecord(99), sizeof s);
    EXPECT_EQ(s.xr, 198);
}

// ---------------------------------------------------------------------------------------
// THash1

TEST(Hash1, KeysAreAddedOnceAndChainsFormInOneBucket) {
    THash1 h(13);
    EXPECT_EQ(h.GetBucketCount(), 8192u);
    EXPECT_TRUE(h.AddKey(0x123456));
    EXPECT_FALSE(h.AddKey(0x123456));
    EXPECT_EQ(h.GetCount(), 1);
    const uint32_t bucket = h.BucketOf(0x123456);
    EXPECT_EQ(h.GetState(bucket), THash1::hsInline);
    EXPECT_EQ(h.GetInlineKey(bucket), 0x123456u);

    int payload = 0;
    h.SetData(bucket, &payload);
    uint32_t b = 0;
    THash1Item* item = nullptr;
    ASSERT_TRUE(h.Insert(0x123456 + 8192, b, item));
    EXPECT_EQ(b, bucket);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Key, 0x123456u + 8192);
    EXPECT_TRUE(h.AddKey(0x123456 + 2 * 8192));
    EXPECT_FALSE(h.AddKey(0x123456 + 8192));
    EXPECT_FALSE(h.AddKey(0x123456));
    EXPECT_EQ(h.GetCount(), 3);
    ASSERT_EQ(h.GetState(bucket), THash1::hsChain);
    std::vector<uint32_t> chain;
    for (THash1Item* i = h.GetChain(bucket); i; i = i->Next) chain.push_back(i->Key);
    EXPECT_EQ(chain, (std::vector<uint32_t>{0x123456, 0x123456 + 8192, 0x123456 + 2 * 8192}));
    EXPECT_EQ(h.GetChain(bucket)->Data, &payload);  // the inline key's data moved with it

    ASSERT_TRUE(h.Insert(7, b, item));
    EXPECT_EQ(item, nullptr);  // an empty bucket takes the key inline
    EXPECT_EQ(b, 7u);
}

TEST(Hash1, BucketCountIsTwoToTheBitsModulo32) {
    const struct {
        int32_t bits;
        uint32_t buckets;
    } cases[] = {{0, 1}, {1, 2}, {13, 8192}, {32, 1}, {35, 8}};
    for (const auto& c : cases) {
        THash1 h(c.bits);
        EXPECT_EQ(h.GetBucketCount(), c.buckets) << c.bits;
        EXPECT_EQ(h.GetBits(), c.bits);
    }
    THash1 one(0);  // every key in the one bucket
    for (uint32_t k = 0; k < 50; ++k) EXPECT_TRUE(one.AddKey(k * 977));
    EXPECT_EQ(one.GetCount(), 50);
    int links = 0;
    for (THash1Item* i = one.GetChain(0); i; i = i->Next) ++links;
    EXPECT_EQ(links, 50);
}

TEST(Hash1, CountsTheDistinctColoursOfARandomPicture) {
    std::mt19937 rng(5);
    std::set<uint32_t> reference;
    THash1 h(13);
    for (int i = 0; i < 200000; ++i) {
        const uint32_t colour = rng() & 0x3F3F3F;  // many repeats, many collisions
        EXPECT_EQ(h.AddKey(colour), reference.insert(colour).second);
    }
    EXPECT_EQ(h.GetCount(), static_cast<int32_t>(reference.size()));
}

// ---------------------------------------------------------------------------------------
// TIEByteArray

TEST(IEByteArray, GrowsAndShrinksByItsBlock) {
    struct Step {
        int64_t size, capacity;
    };
    // Block 100: within the capacity only the size moves; past it, or more than a block
    // below it, the buffer becomes size + 100.
    const Step steps[] = {{50, 100},  {100, 100}, {101, 201}, {150, 201}, {101, 201},
                          {100, 200}, {99, 199},  {10, 110},  {0, 100},   {0, 100}};
    TIEByteArray a(100);
    EXPECT_EQ(a.GetCapacity(), 100);
    EXPECT_EQ(a.GetSize(), 0);
    for (const Step& s : steps) {
        const int64_t keep = std::min(a.GetSize(), s.size);
        for (int64_t i = 0; i < a.GetSize(); ++i) a.GetData()[i] = static_cast<uint8_t>(i * 7 + 1);
        a.SetSize(s.size);
        EXPECT_EQ(a.GetSize(), s.size);
        EXPECT_EQ(a.GetCapacity(), s.capacity) << "size " << s.size;
        for (int64_t i = 0; i < keep; ++i) ASSERT_EQ(a.GetData()[i], static_cast<uint8_t>(i * 7 + 1));
    }
    EXPECT_THROW(a.SetSize(-1), cl::EListError);
    EXPECT_THROW(TIEByteArray(-5), cl::EListError);
}

TEST(IEByteArray, AddsBytesAndAppendsWhatAStreamHas) {
    TIEByteArray a(4);
    for (int i = 0; i < 10; ++i) a.AddByte(static_cast<uint8_t>(0xA0 + i));
    EXPECT_EQ(a.GetSize(), 10);
    std::vector<uint8_t> source(300);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i);
    TIEMemStream s(source.data(), static_cast<int64_t>(source.size()));
    s.SetPosition(100);
    EXPECT_EQ(a.AppendFromStream(&s, 50), 50);
    EXPECT_EQ(a.GetSize(), 60);
    // More than the stream has: only what came is added, and a count far beyond the
    // stream reserves nothing like it.
    EXPECT_EQ(a.AppendFromStream(&s, int64_t{1} << 40), 150);
    EXPECT_EQ(a.GetSize(), 210);
    EXPECT_LT(a.GetCapacity(), 210 + (1 << 17));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a.GetData()[i], 0xA0 + i);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(a.GetData()[10 + i], static_cast<uint8_t>(100 + i));
    EXPECT_EQ(a.AppendFromStream(&s, 10), 0);
    EXPECT_EQ(a.AppendFromStream(&s, -3), 0);
    EXPECT_EQ(a.GetSize(), 210);
}

TEST(IECopyList, DestGetsTheSamePointersInOrder) {
    int a = 0, b = 0, c = 0;
    cl::TList src, dst;
    dst.Add(&c);
    dst.Add(&c);
    dst.Add(&c);
    dst.Add(&c);
    for (int* p : {&a, &b, &c}) src.Add(p);
    IECopyList(&src, &dst);
    ASSERT_EQ(dst.GetCount(), 3);
    EXPECT_EQ(dst.Get(0), &a);
    EXPECT_EQ(dst.Get(1), &b);
    EXPECT_EQ(dst.Get(2), &c);
}

}  // namespace
}  // namespace ie
