#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "pix32/Pix32_Containers.h"

using namespace pix32;

namespace {

// A pointer value whose bucket is B (bits 8-15) and which differs by K elsewhere.
void* P(uint32_t bucket, uint32_t k) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(0x100000u * (k + 1) + (bucket << 8) + 0x10));
}

TEST(PointerMap, AddTwiceReturnsTheSameSlot) {
    TPointerMap map;
    int data1 = 1, data2 = 2;
    bool isNew = false;
    void** slot1 = map.Add(P(3, 0), &data1, isNew);
    EXPECT_TRUE(isNew);
    EXPECT_EQ(*slot1, &data1);
    void** slot2 = map.Add(P(3, 0), &data2, isNew);
    EXPECT_FALSE(isNew);
    EXPECT_EQ(slot1, slot2);
    EXPECT_EQ(*slot2, &data1);  // the second Data is not stored
    EXPECT_EQ(map.Count(), 1);
    *slot2 = &data2;  // the slot is the entry's Data
    EXPECT_EQ(map.Data(P(3, 0)), &data2);
    map.Add(P(4, 0), isNew);
    EXPECT_TRUE(isNew);
    EXPECT_EQ(map.Data(P(4, 0)), nullptr);
}

TEST(PointerMap, BucketArrayGrowth) {
    TPointerMap map;
    const int bucket = TPointerMap::BucketIndexOf(P(9, 0));
    ASSERT_EQ(bucket, 9);
    std::vector<size_t> lengths;
    bool isNew;
    for (uint32_t k = 0; k < 95; ++k) {
        map.Add(P(9, k), isNew);
        const size_t len = map.Bucket(bucket).Items.size();
        if (lengths.empty() || lengths.back() != len) lengths.push_back(len);
    }
    EXPECT_EQ(lengths, (std::vector<size_t>{4, 8, 12, 28, 44, 60, 76, 95}));
    EXPECT_EQ(map.Count(), 95);
}

TEST(PointerMap, FindDataRemove) {
    TPointerMap map;
    int a = 1, b = 2, c = 3;
    bool isNew;
    map.Add(P(7, 0), &a, isNew);
    map.Add(P(7, 1), &b, isNew);
    map.Add(P(7, 2), &c, isNew);
    int32_t bi = -1, ii = -1;
    ASSERT_TRUE(map.Find(P(7, 1), bi, ii));
    EXPECT_EQ(bi, 7);
    EXPECT_EQ(ii, 1);
    EXPECT_FALSE(map.Find(P(8, 1), bi, ii));
    // Removing the middle of three keeps the other two in order.
    EXPECT_EQ(map.Remove(P(7, 1)), &b);
    EXPECT_EQ(map.Count(), 2);
    ASSERT_EQ(map.Bucket(7).Count, 2);
    EXPECT_EQ(map.Bucket(7).Items[0].Item, P(7, 0));
    EXPECT_EQ(map.Bucket(7).Items[1].Item, P(7, 2));
    EXPECT_EQ(map.Remove(P(7, 1)), nullptr);  // missing: nothing changes
    EXPECT_EQ(map.Count(), 2);
    // The last entry of a bucket frees its array.
    map.Remove(P(7, 0));
    map.Remove(P(7, 2));
    EXPECT_EQ(map.Count(), 0);
    EXPECT_TRUE(map.Bucket(7).Items.empty());
}

TEST(PointerMap, MissingItemRaisesListError) {
    TPointerMap map;
    void* item = reinterpret_cast<void*>(uintptr_t{0x12AB00});
    try {
        map.Data(item);
        FAIL() << "no error";
    } catch (const cl::EListError& e) {
        EXPECT_EQ(e.Message, "Item not found ($012ab00)");
    }
}

TEST(PointerMap, DeleteChecksItsPosition) {
    TPointerMap map;
    bool isNew;
    map.Add(P(1, 0), isNew);
    EXPECT_THROW(map.Delete(1, 1), cl::EListError);
    EXPECT_THROW(map.Delete(1, -1), cl::EListError);
    EXPECT_THROW(map.Delete(256, 0), cl::EListError);
    EXPECT_THROW(map.Delete(2, 0), cl::EListError);
    EXPECT_EQ(map.Count(), 1);
}

// A map that owns its data, as the repaint optimiser's tile maps do.
class TOwningMap : public TPointerMap {
public:
    ~TOwningMap() override { Clear(); }
    void* Delete(int32_t BucketIndex, int32_t ItemIndex) override {
        delete static_cast<int*>(TPointerMap::Delete(BucketIndex, ItemIndex));
        ++deletes;
        return nullptr;
    }
    int deletes = 0;
};

TEST(PointerMap, ClearDeletesEveryEntryThroughDelete) {
    TOwningMap map;
    bool isNew;
    for (uint32_t k = 0; k < 5; ++k) map.Add(P(k * 50, k), new int(static_cast<int>(k)), isNew);
    map.Add(P(0, 9), new int(9), isNew);
    map.Clear();
    EXPECT_EQ(map.deletes, 6);
    EXPECT_EQ(map.Count(), 0);
    for (int b = 0; b < 256; ++b) EXPECT_TRUE(map.Bucket(b).Items.empty());
    // Entries left at destruction are freed too (the sanitizer sees any leak).
    map.Add(P(5, 5), new int(5), isNew);
}

TEST(PointerMapIterator, VisitsBucketsInOrderEachFromItsLastEntry) {
    TPointerMap map;
    bool isNew;
    map.Add(P(200, 0), isNew);
    map.Add(P(3, 0), isNew);
    map.Add(P(3, 1), isNew);
    map.Add(P(3, 2), isNew);
    map.Add(P(255, 0), isNew);
    map.Add(P(0, 0), isNew);
    TPointerMapIterator it(&map);
    EXPECT_EQ(it.CurBucketIndex, -1);
    EXPECT_EQ(it.CurItemIndex, -1);
    std::vector<void*> seen;
    while (it.Next()) seen.push_back(it.Item);
    EXPECT_EQ(seen, (std::vector<void*>{P(0, 0), P(3, 2), P(3, 1), P(3, 0), P(200, 0), P(255, 0)}));
    EXPECT_FALSE(it.Next());  // stays finished
}

TEST(PointerMapIterator, OnlyTheLastBucketAndEmptyMap) {
    TPointerMap map;
    TPointerMapIterator empty(&map);
    EXPECT_FALSE(empty.Next());
    bool isNew;
    int d = 4;
    map.Add(P(255, 0), &d, isNew);
    map.Add(P(255, 1), isNew);
    TPointerMapIterator it(&map);
    ASSERT_TRUE(it.Next());
    EXPECT_EQ(it.Item, P(255, 1));
    ASSERT_TRUE(it.Next());
    EXPECT_EQ(it.Item, P(255, 0));
    EXPECT_EQ(it.Data, &d);
    EXPECT_FALSE(it.Next());
}

TEST(RectList, CapacityGrowth) {
    TRectList list;
    std::vector<int32_t> caps{list.Capacity()};
    for (int32_t i = 0; i < 145; ++i) {
        EXPECT_EQ(list.Add(TRect{i, 0, i + 1, 1}), i);
        if (caps.back() != list.Capacity()) caps.push_back(list.Capacity());
    }
    EXPECT_EQ(caps, (std::vector<int32_t>{0, 8, 16, 48, 80, 112, 144, 180}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 10);
}

TEST(RectList, ItemsAndDelete) {
    TRectList list;
    for (int32_t i = 0; i < 4; ++i) list.Add(TRect{i, i, i + 10, i + 10});
    EXPECT_EQ(list.Items(-1), nullptr);
    EXPECT_EQ(list.Items(4), nullptr);
    ASSERT_NE(list.Items(3), nullptr);
    EXPECT_EQ(list.Items(3)->left, 3);
    list.Delete(1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0)->left, 0);
    EXPECT_EQ(list.Items(1)->left, 2);
    EXPECT_EQ(list.Items(2)->left, 3);
    list.Delete(2);  // the last one
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(1)->left, 2);
}

TEST(RectList, DeleteChecksItsIndex) {
    TRectList list;
    list.Add(TRect{1, 2, 3, 4});
    for (int32_t bad : {-1, 1, 100}) {
        EXPECT_THROW(list.Delete(bad), cl::EListError) << bad;
        EXPECT_EQ(list.Count(), 1);
    }
    list.Delete(0);
    EXPECT_THROW(list.Delete(0), cl::EListError);
    EXPECT_EQ(list.Count(), 0);
}

TEST(RectList, SetCountAndCapacity) {
    TRectList list;
    list.Add(TRect{5, 5, 6, 6});
    list.SetCount(3);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_GE(list.Capacity(), 3);
    EXPECT_EQ(list.Items(0)->left, 5);
    for (int32_t i = 1; i < 3; ++i) {
        const TRect& r = *list.Items(i);
        EXPECT_TRUE(r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0);
    }
    list.SetCount(1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0)->left, 5);
    EXPECT_THROW(list.SetCount(-1), cl::EListError);
    EXPECT_THROW(list.SetCapacity(0), cl::EListError);  // below the count
    list.SetCapacity(50);
    EXPECT_EQ(list.Capacity(), 50);
    EXPECT_EQ(list.Items(0)->left, 5);
}

class TAlpha : public cl::TObject {
    CL_DECLARE_CLASS(TAlpha, cl::TObject)
};
class TLinearResampler : public cl::TObject {
    CL_DECLARE_CLASS(TLinearResampler, cl::TObject)
};

TEST(ClassList, FindByExactName) {
    TClassList list;
    list.Add(&TAlpha::StaticClass());
    list.Add(&TLinearResampler::StaticClass());
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Find("TLinearResampler"), &TLinearResampler::StaticClass());
    EXPECT_EQ(list.Find("tlinearresampler"), nullptr);
    EXPECT_EQ(list.Find("TAlpha"), &TAlpha::StaticClass());
    EXPECT_EQ(list.Find(""), nullptr);
}

// Objects with published properties of every kind the routine handles.
class TInner : public cl::TPersistent {
    CL_DECLARE_CLASS(TInner, cl::TPersistent)
public:
    int value = 0;
    int assigns = 0;
    void Assign(cl::TPersistent* Source) override {
        auto* s = dynamic_cast<TInner*>(Source);
        if (!s) return cl::TPersistent::Assign(Source);
        value = s->value;
        ++assigns;
    }
};

class TOuter : public cl::TPersistent {
    CL_DECLARE_CLASS(TOuter, cl::TPersistent)
public:
    int32_t Count = 0;
    double Scale = 0;
    cl::String Caption;
    TInner* Inner = nullptr;
    static void Declare() {
        static bool done = false;
        if (done) return;
        done = true;
        cl::TPropInfo count;
        count.Name = "Count";
        count.Kind = cl::tkInteger;
        count.TypeName = "Integer";
        count.GetOrd = [](const cl::TObject* o) { return int64_t{static_cast<const TOuter*>(o)->Count}; };
        count.SetOrd = [](cl::TObject* o, int64_t v) { static_cast<TOuter*>(o)->Count = static_cast<int32_t>(v); };
        cl::TPropInfo scale;
        scale.Name = "Scale";
        scale.Kind = cl::tkFloat;
        scale.TypeName = "Double";
        scale.GetFloat = [](const cl::TObject* o) { return static_cast<const TOuter*>(o)->Scale; };
        scale.SetFloat = [](cl::TObject* o, double v) { static_cast<TOuter*>(o)->Scale = v; };
        cl::TPropInfo caption;
        caption.Name = "Caption";
        caption.Kind = cl::tkLString;
        caption.TypeName = "string";
        caption.GetStr = [](const cl::TObject* o) { return static_cast<const TOuter*>(o)->Caption; };
        caption.SetStr = [](cl::TObject* o, const cl::String& v) { static_cast<TOuter*>(o)->Caption = v; };
        cl::TPropInfo inner;
        inner.Name = "Inner";
        inner.Kind = cl::tkClass;
        inner.TypeName = "TInner";
        inner.GetObject = [](const cl::TObject* o) -> cl::TObject* { return static_cast<const TOuter*>(o)->Inner; };
        inner.SetObject = [](cl::TObject* o, cl::TObject* v) {
            static_cast<TOuter*>(o)->Inner = static_cast<TInner*>(v);
        };
        cl::DeclarePublished(StaticClass(), {count, scale, caption, inner});
    }
};

// Publishes Count only.
class TSmall : public cl::TPersistent {
    CL_DECLARE_CLASS(TSmall, cl::TPersistent)
public:
    int32_t Count = 0;
    static void Declare() {
        static bool done = false;
        if (done) return;
        done = true;
        cl::TPropInfo count;
        count.Name = "Count";
        count.Kind = cl::tkInteger;
        count.TypeName = "Integer";
        count.GetOrd = [](const cl::TObject* o) { return int64_t{static_cast<const TSmall*>(o)->Count}; };
        count.SetOrd = [](cl::TObject* o, int64_t v) { static_cast<TSmall*>(o)->Count = static_cast<int32_t>(v); };
        cl::DeclarePublished(StaticClass(), {count});
    }
};

TEST(CopyPublishedProperties, CopiesValuesAndAssignsObjects) {
    TOuter::Declare();
    TInner srcInner, dstInner;
    srcInner.value = 42;
    TOuter src, dst;
    src.Count = 7;
    src.Scale = 2.5;
    src.Caption = "Заголовок";
    src.Inner = &srcInner;
    dst.Inner = &dstInner;
    CopyPublishedProperties(&src, &dst, cl::tkProperties);
    EXPECT_EQ(dst.Count, 7);
    EXPECT_EQ(dst.Scale, 2.5);
    EXPECT_EQ(dst.Caption, "Заголовок");
    EXPECT_EQ(dst.Inner, &dstInner);  // both hold objects: assigned, not replaced
    EXPECT_EQ(dstInner.value, 42);
    EXPECT_EQ(dstInner.assigns, 1);

    // Source's object property nil: Dest's property is set to nil.
    src.Inner = nullptr;
    CopyPublishedProperties(&src, &dst, cl::tkProperties);
    EXPECT_EQ(dst.Inner, nullptr);
}

TEST(CopyPublishedProperties, KindsSelectAndMissingPropertiesFail) {
    TOuter::Declare();
    TSmall::Declare();
    TOuter src, dst;
    src.Count = 3;
    src.Scale = 9.0;
    CopyPublishedProperties(&src, &dst, cl::KindBit(cl::tkInteger));
    EXPECT_EQ(dst.Count, 3);
    EXPECT_EQ(dst.Scale, 0.0);  // not among the kinds

    TSmall small;
    CopyPublishedProperties(&src, &small, cl::KindBit(cl::tkInteger));
    EXPECT_EQ(small.Count, 3);
    EXPECT_THROW(CopyPublishedProperties(&src, &small, cl::tkProperties), cl::EPropertyError);
    EXPECT_NO_THROW(CopyPublishedProperties(nullptr, &small, cl::tkProperties));
}

}  // namespace
