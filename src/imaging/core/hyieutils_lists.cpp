#include "imaging/core/hyieutils_lists.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace ie {

namespace {

// A zeroed block of Bytes bytes (null for 0); EOutOfMemory when it cannot be had.
uint8_t* AllocZeroed(int64_t Bytes) {
    if (Bytes <= 0) return nullptr;
    if (static_cast<uint64_t>(Bytes) > std::numeric_limits<size_t>::max()) throw cl::EOutOfMemory("Out of memory");
    void* p = std::calloc(1, static_cast<size_t>(Bytes));
    if (!p) throw cl::EOutOfMemory("Out of memory");
    return static_cast<uint8_t*>(p);
}

// Replaces Block by a zeroed block of Bytes bytes that starts with its first Keep bytes.
void ReplaceBlock(uint8_t*& Block, int64_t Bytes, int64_t Keep) {
    uint8_t* fresh = AllocZeroed(Bytes);
    if (Keep > 0) std::memcpy(fresh, Block, static_cast<size_t>(Keep));
    std::free(Block);
    Block = fresh;
}

// Bytes of Items items of Size bytes, or EOutOfMemory when that does not fit 63 bits.
int64_t ItemBytes(int64_t Items, int64_t Size) {
    if (Items < 0 || Size < 0) throw cl::EOutOfMemory("Out of memory");
    if (Size != 0 && Items > std::numeric_limits<int64_t>::max() / Size) throw cl::EOutOfMemory("Out of memory");
    return Items * Size;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TIEList

TIEList::TIEList() { TIEList::Clear(); }

TIEList::~TIEList() { std::free(FData); }

void TIEList::Reallocate(int32_t Capacity, int32_t Keep) {
    ReplaceBlock(FData, ItemBytes(Capacity, FItemSize), ItemBytes(Keep, FItemSize));
    FCapacity = Capacity;
}

void TIEList::SetCount(int32_t NewCount) {
    if (NewCount < 0) throw cl::EListError(cl::Format("List count out of bounds (%d)", NewCount));
    if (FCapacity < NewCount) {
        const int64_t doubled = 2 * static_cast<int64_t>(FCapacity);
        const int64_t capacity = doubled > NewCount ? doubled : NewCount;
        const int32_t cap = capacity > std::numeric_limits<int32_t>::max() ? NewCount : static_cast<int32_t>(capacity);
        Reallocate(cap, FCount < NewCount ? FCount : NewCount);
    } else if (NewCount > FCount) {
        // Items that come back within the buffer start as zero, as new buffers do.
        std::memset(GetItemPtr(FCount), 0, static_cast<size_t>(ItemBytes(NewCount - FCount, FItemSize)));
    }
    FCount = NewCount;
    FFlags |= 1;
}

void TIEList::Delete(int32_t Index) {
    if (Index < 0 || Index >= FCount) return;
    uint8_t* block = AllocZeroed(ItemBytes(FCount - 1, FItemSize));
    const int64_t before = ItemBytes(Index, FItemSize);
    const int64_t after = ItemBytes(FCount - 1 - Index, FItemSize);
    if (before > 0) std::memcpy(block, FData, static_cast<size_t>(before));
    if (after > 0) std::memcpy(block + before, FData + before + FItemSize, static_cast<size_t>(after));
    std::free(FData);
    FData = block;
    FCount -= 1;
    FCapacity = FCount;
    FFlags |= 1;
}

void TIEList::Clear() {
    std::free(FData);
    FData = nullptr;
    FCapacity = 0;
    FCount = 0;
    FFlags = 0;
}

void TIEList::Assign(const TIEList* Source) {
    if (!Source || Source == this) return;
    const int64_t bytes = ItemBytes(Source->FCount, Source->FItemSize);
    uint8_t* block = AllocZeroed(bytes);
    if (bytes > 0) std::memcpy(block, Source->FData, static_cast<size_t>(bytes));
    std::free(FData);
    FData = block;
    FCount = Source->FCount;
    FCapacity = Source->FCount;
    FItemSize = Source->FItemSize;
    FFlags = Source->FFlags;
}

int32_t TIEList::AddItem(const void* Item) {
    if (FCount == std::numeric_limits<int32_t>::max()) throw cl::EListError("List capacity exceeded");
    const int32_t index = FCount;
    SetCount(FCount + 1);
    if (FItemSize > 0) std::memcpy(GetItemPtr(index), Item, static_cast<size_t>(FItemSize));
    FFlags |= 1;
    return index;
}

// ---------------------------------------------------------------------------------------
// Typed lists

TIEDoubleList::TIEDoubleList() { TIEDoubleList::Clear(); }

void TIEDoubleList::Clear() {
    TIEList::Clear();
    for (double& v : Reals) v = 0;
    for (int32_t& v : Ints) v = 0;
    SetItemSize(8);
}

void TIEDoubleList::Assign(const TIEList* Source) {
    TIEList::Assign(Source);
    if (auto* s = dynamic_cast<const TIEDoubleList*>(Source); s && s != this) {
        std::memcpy(Reals, s->Reals, sizeof Reals);
        std::memcpy(Ints, s->Ints, sizeof Ints);
    }
}

TIEIntegerList::TIEIntegerList() { TIEIntegerList::Clear(); }

void TIEIntegerList::Clear() {
    TIEList::Clear();
    for (int32_t& v : Ints) v = 0;
    SetItemSize(4);
}

void TIEIntegerList::Assign(const TIEList* Source) {
    TIEList::Assign(Source);
    if (auto* s = dynamic_cast<const TIEIntegerList*>(Source); s && s != this) std::memcpy(Ints, s->Ints, sizeof Ints);
}

TIERecordList::TIERecordList(int32_t RecordSize) {
    if (RecordSize < 0) throw cl::EListError(cl::Format("Invalid record size (%d)", RecordSize));
    SetItemSize(RecordSize);
}

// ---------------------------------------------------------------------------------------
// THash1

THash1::THash1(int32_t Bits) : FBits(Bits), FBucketCount(uint32_t{1} << (static_cast<uint32_t>(Bits) & 31)) {
    try {
        FBuckets.resize(FBucketCount);
    } catch (const std::bad_alloc&) {
        throw cl::EOutOfMemory("Out of memory");
    }
}

THash1::~THash1() {
    for (const Bucket& b : FBuckets) {
        if (b.State != hsChain) continue;
        auto* item = reinterpret_cast<THash1Item*>(b.Key);
        while (item) {
            THash1Item* next = item->Next;
            delete item;
            item = next;
        }
    }
}

THash1Item* THash1::GetChain(uint32_t Bucket) const {
    const auto& b = FBuckets[Bucket];
    return b.State == hsChain ? reinterpret_cast<THash1Item*>(b.Key) : nullptr;
}

bool THash1::Insert(uint32_t Key, uint32_t& BucketIndex, THash1Item*& NewItem) {
    NewItem = nullptr;
    BucketIndex = BucketOf(Key);
    Bucket& b = FBuckets[BucketIndex];
    switch (b.State) {
        case hsEmpty:
            b.State = hsInline;
            b.Key = Key;
            break;
        case hsInline: {
            if (static_cast<uint32_t>(b.Key) == Key) return false;
            auto item = std::make_unique<THash1Item>();
            item->Key = Key;
            auto head = std::make_unique<THash1Item>();
            head->Key = static_cast<uint32_t>(b.Key);
            head->Data = b.Data;
            head->Next = item.get();
            NewItem = item.release();
            b.Key = reinterpret_cast<uintptr_t>(head.release());
            b.State = hsChain;
            break;
        }
        default: {
            auto* last = reinterpret_cast<THash1Item*>(b.Key);
            for (;;) {
                if (last->Key == Key) return false;
                if (!last->Next) break;
                last = last->Next;
            }
            last->Next = new THash1Item{Key, nullptr, nullptr};
            NewItem = last->Next;
            break;
        }
    }
    ++FCount;
    return true;
}

bool THash1::AddKey(uint32_t Key) {
    uint32_t bucket;
    THash1Item* item;
    return Insert(Key, bucket, item);
}

// ---------------------------------------------------------------------------------------
// TIEByteArray

TIEByteArray::TIEByteArray(int64_t BlockSize) {
    if (BlockSize < 0) throw cl::EListError(cl::Format("Invalid block size (%d)", BlockSize));
    FBlockSize = BlockSize;
    FData = AllocZeroed(BlockSize);
    FCapacity = BlockSize;
}

TIEByteArray::~TIEByteArray() { std::free(FData); }

void TIEByteArray::Reallocate(int64_t NewSize) {
    if (NewSize > std::numeric_limits<int64_t>::max() - FBlockSize) throw cl::EOutOfMemory("Out of memory");
    const int64_t capacity = NewSize + FBlockSize;
    ReplaceBlock(FData, capacity, FSize < NewSize ? FSize : NewSize);
    FCapacity = capacity;
}

void TIEByteArray::SetSize(int64_t NewSize) {
    if (NewSize < 0) throw cl::EListError(cl::Format("Invalid size (%d)", NewSize));
    if (NewSize > FSize ? NewSize > FCapacity : NewSize < FCapacity - FBlockSize) Reallocate(NewSize);
    FSize = NewSize;
}

void TIEByteArray::AddByte(uint8_t B) {
    SetSize(FSize + 1);
    FData[FSize - 1] = B;
}

int64_t TIEByteArray::AppendFromStream(cl::TStream* Stream, int64_t Count) {
    // The room is made a piece at a time, so that a count larger than what the stream
    // holds never reserves more than one piece beyond the bytes that came.
    constexpr int64_t kPiece = 1 << 16;
    const int64_t old = FSize;
    int64_t total = 0;
    while (total < Count) {
        const int64_t want = Count - total < kPiece ? Count - total : kPiece;
        SetSize(old + total + want);
        const int64_t got = Stream->Read(FData + old + total, want);
        total += got > 0 ? got : 0;
        if (got < want) {
            SetSize(old + total);
            break;
        }
    }
    return total;
}

// ---------------------------------------------------------------------------------------

void IECopyList(const cl::TList* Source, cl::TList* Dest) {
    Dest->SetCount(Source->GetCount());
    for (int i = 0; i < Source->GetCount(); ++i) Dest->Put(i, Source->Get(i));
}

}  // namespace ie
