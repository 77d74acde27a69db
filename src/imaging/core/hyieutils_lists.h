// Small containers of the imaging core: growable arrays of fixed-size items (doubles,
// integers, records), a set of 32-bit keys, and a growable byte buffer.
//
// Sizes are computed in 64 bits; a buffer that cannot be had raises cl::EOutOfMemory and
// leaves the container as it was. Item indexes are not checked except by Delete: an index
// outside 0 .. Count - 1 is the caller's error.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// TIEList: a growable array of items of ItemSize bytes. The base class has items of 0
// bytes; the subclasses give them their size.

class TIEList : public cl::TObject {
    CL_DECLARE_CLASS(TIEList, cl::TObject)
public:
    TIEList();
    ~TIEList() override;

    // Grows the buffer when needed (to the larger of twice the capacity and NewCount,
    // keeping the items; new items are zero) and sets the count; shrinking keeps the
    // buffer. Sets bit 0 of the flags. EListError for a negative count.
    virtual void SetCount(int32_t NewCount);
    // Removes item Index into a buffer of exactly the remaining items; nothing when Index
    // is outside 0 .. Count - 1.
    virtual void Delete(int32_t Index);
    // No items, no buffer, flags 0.
    virtual void Clear();
    // Count, item size, flags and a copy of the items of Source, in a buffer of exactly
    // Count items. Nothing for null.
    virtual void Assign(const TIEList* Source);

    // Appends a copy of the ItemSize bytes at Item; returns its index.
    int32_t AddItem(const void* Item);
    // Address of item Index (not checked).
    void* GetItemPtr(int32_t Index) const { return FData + static_cast<int64_t>(Index) * FItemSize; }

    int32_t GetCount() const { return FCount; }
    int32_t GetCapacity() const { return FCapacity; }
    int32_t GetItemSize() const { return FItemSize; }
    // Bit 0: the list was changed through SetCount, Delete or AddItem since the last Clear.
    uint8_t GetFlags() const { return FFlags; }
    // The item buffer; null when the list has none.
    void* GetData() const { return FData; }

protected:
    // Replaces the buffer by one of Capacity items holding the first Keep items.
    void Reallocate(int32_t Capacity, int32_t Keep);
    void SetItemSize(int32_t ItemSize) { FItemSize = ItemSize; }

private:
    int32_t FCapacity = 0;
    int32_t FCount = 0;
    int32_t FItemSize = 0;
    uint8_t* FData = nullptr;
    uint8_t FFlags = 0;
};

// Items are doubles. Beside them the list keeps three doubles and two integers that
// Clear zeroes and Assign copies.
class TIEDoubleList : public TIEList {
    CL_DECLARE_CLASS(TIEDoubleList, TIEList)
public:
    TIEDoubleList();
    void Clear() override;
    void Assign(const TIEList* Source) override;

    double Reals[3] = {};
    int32_t Ints[2] = {};
};

// Items are 32-bit integers. Beside them the list keeps four integers that Clear zeroes
// and Assign copies.
class TIEIntegerList : public TIEList {
    CL_DECLARE_CLASS(TIEIntegerList, TIEList)
public:
    TIEIntegerList();
    void Clear() override;
    void Assign(const TIEList* Source) override;

    int32_t Ints[4] = {};
};

// Items are records of a size given at construction; clearing keeps the record size.
class TIERecordList : public TIEList {
    CL_DECLARE_CLASS(TIERecordList, TIEList)
public:
    // EListError for a negative size.
    explicit TIERecordList(int32_t RecordSize);
    void* GetRecord(int32_t Index) const { return GetItemPtr(Index); }
    int32_t AddRecord(const void* Rec) { return AddItem(Rec); }
};

// ---------------------------------------------------------------------------------------
// THash1: a set of 32-bit keys in 2^Bits buckets. A bucket holds one key inline, or a
// chain of items once a second key falls into it.

struct THash1Item {
    uint32_t Key = 0;
    THash1Item* Next = nullptr;  // null at the tail
    void* Data = nullptr;
};

class THash1 : public cl::TObject {
    CL_DECLARE_CLASS(THash1, cl::TObject)
public:
    // 2^(Bits mod 32) buckets, all empty.
    explicit THash1(int32_t Bits);
    ~THash1() override;

    // Bucket states.
    static constexpr uint8_t hsEmpty = 0;
    static constexpr uint8_t hsInline = 1;
    static constexpr uint8_t hsChain = 2;

    uint32_t BucketOf(uint32_t Key) const { return Key & (FBucketCount - 1); }
    // Adds Key when it is not held yet: True with Bucket set to its bucket and NewItem to
    // the chain item made for it (null when it went inline); False when it was there.
    bool Insert(uint32_t Key, uint32_t& Bucket, THash1Item*& NewItem);
    // True when the key was new.
    bool AddKey(uint32_t Key);

    int32_t GetCount() const { return FCount; }
    int32_t GetBits() const { return FBits; }
    uint32_t GetBucketCount() const { return FBucketCount; }
    uint8_t GetState(uint32_t Bucket) const { return FBuckets[Bucket].State; }
    // The inline key of a state-1 bucket.
    uint32_t GetInlineKey(uint32_t Bucket) const { return static_cast<uint32_t>(FBuckets[Bucket].Key); }
    // The first chain item of a state-2 bucket, else null.
    THash1Item* GetChain(uint32_t Bucket) const;
    // The data pointer of the inline key of a bucket.
    void* GetData(uint32_t Bucket) const { return FBuckets[Bucket].Data; }
    void SetData(uint32_t Bucket, void* Data) { FBuckets[Bucket].Data = Data; }

private:
    struct Bucket {
        uintptr_t Key = 0;  // the key (state 1) or the head item (state 2)
        void* Data = nullptr;
        uint8_t State = hsEmpty;
    };
    std::vector<Bucket> FBuckets;
    int32_t FBits = 0;
    uint32_t FBucketCount = 0;
    int32_t FCount = 0;
};

// ---------------------------------------------------------------------------------------
// TIEByteArray: a growable byte buffer that grows and shrinks in steps of BlockSize.

class TIEByteArray : public cl::TObject {
    CL_DECLARE_CLASS(TIEByteArray, cl::TObject)
public:
    // A buffer of BlockSize bytes at once. EListError for a negative block size.
    explicit TIEByteArray(int64_t BlockSize);
    ~TIEByteArray() override;

    // Growing beyond the capacity, or shrinking below capacity - BlockSize, reallocates to
    // NewSize + BlockSize bytes keeping the content; otherwise only the size changes.
    // EListError for a negative size.
    void SetSize(int64_t NewSize);
    void AddByte(uint8_t B);
    // Appends up to Count bytes read from Stream's position; the size grows only by the
    // bytes that came. Returns them.
    int64_t AppendFromStream(cl::TStream* Stream, int64_t Count);

    int64_t GetSize() const { return FSize; }
    int64_t GetCapacity() const { return FCapacity; }
    int64_t GetBlockSize() const { return FBlockSize; }
    uint8_t* GetData() const { return FData; }

private:
    void Reallocate(int64_t NewSize);
    int64_t FSize = 0;
    int64_t FCapacity = 0;
    int64_t FBlockSize = 0;
    uint8_t* FData = nullptr;
};

// Dest gets Source's count and the same pointers in the same order.
void IECopyList(const cl::TList* Source, cl::TList* Dest);

}  // namespace ie
