// Small containers of the bitmap library: a hash map from pointers to pointers with its
// iterator, a growable list of rectangles, and a list of classes searchable by name.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/TypInfo.h"
#include "pix32/Pix32.h"

namespace pix32 {

struct TPointerBucketItem {
    void* Item = nullptr;
    void* Data = nullptr;
};

struct TPointerBucket {
    int32_t Count = 0;
    // The bucket's array; its size is the array's length, of which the first Count are used.
    std::vector<TPointerBucketItem> Items;
};

// A map from pointers to pointers in 256 buckets, chosen by bits 8-15 of the pointer.
class TPointerMap : public cl::TObject {
    CL_DECLARE_CLASS(TPointerMap, cl::TObject)
public:
    TPointerMap() = default;
    // Clears the map. A derived class whose Delete frees the data it owns must call Clear in
    // its own destructor, while its Delete is still the one that runs.
    ~TPointerMap() override;

    static int32_t BucketIndexOf(const void* Item) {
        return static_cast<int32_t>((reinterpret_cast<uintptr_t>(Item) >> 8) & 0xFF);
    }

    // Adds Item with Data and returns the entry's Data slot; when Item is present already,
    // IsNew is false, Data is not stored and the existing slot is returned.
    void** Add(void* Item, void* Data, bool& IsNew);
    void** Add(void* Item, bool& IsNew) { return Add(Item, nullptr, IsNew); }
    // Linear search of the item's bucket.
    bool Find(const void* Item, int32_t& BucketIndex, int32_t& ItemIndex) const;
    // The entry's Data; a missing item raises EListError "Item not found ($0%x)".
    void* Data(const void* Item) const;
    // Removes the entry and returns its Data; nil when the item is not present.
    void* Remove(const void* Item);
    // Removes the entry at the position and returns its Data; a position outside the map
    // raises EListError.
    virtual void* Delete(int32_t BucketIndex, int32_t ItemIndex);
    void Clear();

    int32_t Count() const { return FCount; }
    const TPointerBucket& Bucket(int32_t Index) const { return FBuckets[Index]; }

private:
    TPointerBucket FBuckets[256];
    int32_t FCount = 0;
};

// Visits the entries of a map bucket by bucket from bucket 0, each bucket from its last
// entry to its first.
class TPointerMapIterator : public cl::TObject {
    CL_DECLARE_CLASS(TPointerMapIterator, cl::TObject)
public:
    explicit TPointerMapIterator(const TPointerMap* Map) : FSrcPointerMap(Map) {}
    bool Next();

    void* Item = nullptr;
    void* Data = nullptr;
    int32_t CurBucketIndex = -1;
    int32_t CurItemIndex = -1;

private:
    const TPointerMap* FSrcPointerMap;
};

// A growable list of rectangles.
class TRectList : public cl::TObject {
    CL_DECLARE_CLASS(TRectList, cl::TObject)
public:
    TRectList() = default;
    ~TRectList() override;

    int32_t Add(const TRect& R);
    // Removes the rectangle at Index; an index outside 0 .. Count - 1 raises EListError
    // "List index out of bounds (%d)" and changes nothing.
    void Delete(int32_t Index);
    // Pointer to the rectangle, nil when Index is outside 0 .. Count - 1.
    TRect* Items(int32_t Index);
    const TRect* Items(int32_t Index) const { return const_cast<TRectList*>(this)->Items(Index); }
    virtual void Clear();

    int32_t Count() const { return FCount; }
    // Grows the capacity when needed (new rectangles are zero) or deletes rectangles from the
    // end; a negative N raises EListError.
    void SetCount(int32_t N);
    int32_t Capacity() const { return FCapacity; }
    // Resizes the array; a capacity below Count raises EListError.
    void SetCapacity(int32_t N);
    TRect* List() { return FList.data(); }

protected:
    virtual void Grow();

private:
    std::vector<TRect> FList;  // Capacity rectangles
    int32_t FCount = 0;
    int32_t FCapacity = 0;
};

// A list of class references, searchable by exact class name.
class TClassList : public cl::TList {
    CL_DECLARE_CLASS(TClassList, cl::TList)
public:
    int Add(const cl::TClass* AClass) { return cl::TList::Add(const_cast<cl::TClass*>(AClass)); }
    const cl::TClass* Items(int Index) const { return static_cast<const cl::TClass*>(Get(Index)); }
    // The first class whose name equals ClassName (case-sensitive), or nil.
    const cl::TClass* Find(const cl::String& ClassName) const;
};

// Copies every published property of Source's class whose kind is in Kinds into Dest's
// property of the same name: when both hold objects, Dest's object is assigned from Source's;
// otherwise Dest's property is set to Source's value. A property Dest lacks, or publishes with
// another kind, raises cl::EPropertyError.
void CopyPublishedProperties(const cl::TObject* Source, cl::TObject* Dest, cl::TTypeKinds Kinds);

}  // namespace pix32
