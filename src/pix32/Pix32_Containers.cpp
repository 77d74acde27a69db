#include "pix32/Pix32_Containers.h"

#include <cstring>

namespace pix32 {

// ---------------------------------------------------------------------------------------------
// TPointerMap

TPointerMap::~TPointerMap() { Clear(); }

void** TPointerMap::Add(void* Item, void* Data, bool& IsNew) {
    int32_t bi, ii;
    if (Find(Item, bi, ii)) {
        IsNew = false;
        return &FBuckets[bi].Items[ii].Data;
    }
    TPointerBucket& b = FBuckets[bi];
    const int32_t len = static_cast<int32_t>(b.Items.size());
    if (b.Count == len) {
        int32_t delta;
        if (len <= 8)
            delta = 4;
        else if (len <= 64)
            delta = 16;
        else
            delta = len / 4;
        b.Items.resize(static_cast<size_t>(len + delta));
    }
    b.Items[b.Count] = TPointerBucketItem{Item, Data};
    ++b.Count;
    ++FCount;
    IsNew = true;
    return &b.Items[b.Count - 1].Data;
}

bool TPointerMap::Find(const void* Item, int32_t& BucketIndex, int32_t& ItemIndex) const {
    BucketIndex = BucketIndexOf(Item);
    const TPointerBucket& b = FBuckets[BucketIndex];
    for (int32_t i = 0; i < b.Count; ++i)
        if (b.Items[i].Item == Item) {
            ItemIndex = i;
            return true;
        }
    ItemIndex = -1;
    return false;
}

void* TPointerMap::Data(const void* Item) const {
    int32_t bi, ii;
    if (!Find(Item, bi, ii))
        throw cl::EListError(
            cl::Format("Item not found ($0%x)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(Item))));
    return FBuckets[bi].Items[ii].Data;
}

void* TPointerMap::Remove(const void* Item) {
    int32_t bi, ii;
    if (!Find(Item, bi, ii)) return nullptr;
    return Delete(bi, ii);
}

void* TPointerMap::Delete(int32_t BucketIndex, int32_t ItemIndex) {
    if (BucketIndex < 0 || BucketIndex > 255)
        throw cl::EListError(cl::Format("List index out of bounds (%d)", BucketIndex));
    TPointerBucket& b = FBuckets[BucketIndex];
    if (ItemIndex < 0 || ItemIndex >= b.Count)
        throw cl::EListError(cl::Format("List index out of bounds (%d)", ItemIndex));
    void* data = b.Items[ItemIndex].Data;
    if (b.Count == 1) {
        b.Items.clear();
        b.Items.shrink_to_fit();
    } else {
        for (int32_t i = ItemIndex; i < b.Count - 1; ++i) b.Items[i] = b.Items[i + 1];
        b.Items[b.Count - 1] = TPointerBucketItem{};
    }
    --b.Count;
    --FCount;
    return data;
}

void TPointerMap::Clear() {
    for (int32_t bi = 0; bi < 256; ++bi) {
        TPointerBucket& b = FBuckets[bi];
        for (int32_t ii = b.Count - 1; ii >= 0; --ii) Delete(bi, ii);
        b.Count = 0;
        b.Items.clear();
        b.Items.shrink_to_fit();
    }
    FCount = 0;
}

// ---------------------------------------------------------------------------------------------
// TPointerMapIterator

bool TPointerMapIterator::Next() {
    if (CurItemIndex > 0) {
        --CurItemIndex;
    } else {
        int32_t bi = CurBucketIndex + 1;
        while (bi <= 255 && FSrcPointerMap->Bucket(bi).Count == 0) ++bi;
        if (bi > 255) {
            CurBucketIndex = 256;
            CurItemIndex = -1;
            Item = Data = nullptr;
            return false;
        }
        CurBucketIndex = bi;
        CurItemIndex = FSrcPointerMap->Bucket(bi).Count - 1;
    }
    const TPointerBucketItem& e = FSrcPointerMap->Bucket(CurBucketIndex).Items[CurItemIndex];
    Item = e.Item;
    Data = e.Data;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TRectList

TRectList::~TRectList() {
    FCount = 0;
    FList.clear();
    FCapacity = 0;
}

int32_t TRectList::Add(const TRect& R) {
    if (FCount == FCapacity) Grow();
    FList[FCount] = R;
    return FCount++;
}

void TRectList::Grow() {
    int32_t delta;
    if (FCapacity <= 8)
        delta = 8;
    else if (FCapacity <= 128)
        delta = 32;
    else
        delta = FCapacity / 4;
    SetCapacity(FCapacity + delta);
}

void TRectList::Delete(int32_t Index) {
    if (Index < 0 || Index >= FCount) throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    --FCount;
    for (int32_t i = Index; i < FCount; ++i) FList[i] = FList[i + 1];
}

TRect* TRectList::Items(int32_t Index) {
    if (Index < 0 || Index >= FCount) return nullptr;
    return &FList[Index];
}

void TRectList::SetCapacity(int32_t N) {
    if (N == FCapacity) return;
    if (N < FCount) throw cl::EListError(cl::Format("List capacity out of bounds (%d)", N));
    FList.resize(static_cast<size_t>(N));
    FList.shrink_to_fit();
    FCapacity = N;
}

void TRectList::SetCount(int32_t N) {
    if (N < 0) throw cl::EListError(cl::Format("List count out of bounds (%d)", N));
    if (N > FCapacity) SetCapacity(N);
    if (N > FCount) {
        for (int32_t i = FCount; i < N; ++i) FList[i] = TRect{};
        FCount = N;
    } else {
        while (FCount > N) Delete(FCount - 1);
    }
}

void TRectList::Clear() {
    SetCount(0);
    SetCapacity(10);
}

// ---------------------------------------------------------------------------------------------
// TClassList

const cl::TClass* TClassList::Find(const cl::String& ClassName) const {
    for (int i = 0; i < GetCount(); ++i) {
        const cl::TClass* c = Items(i);
        if (c && ClassName == c->Name) return c;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Copying published properties

void CopyPublishedProperties(const cl::TObject* Source, cl::TObject* Dest, cl::TTypeKinds Kinds) {
    if (!Source || !Dest) return;
    for (cl::PPropInfo sp : cl::GetPropList(Source->ClassType(), Kinds)) {
        const cl::String& name = sp->Name;
        switch (sp->Kind) {
            case cl::tkClass: {
                cl::TObject* src = cl::GetObjectProp(Source, name);
                const cl::PPropInfo dp = cl::GetPropInfo(Dest, name);
                cl::TObject* dst = (dp && dp->Kind == cl::tkClass) ? cl::GetObjectProp(Dest, name) : nullptr;
                auto* srcP = dynamic_cast<cl::TPersistent*>(src);
                auto* dstP = dynamic_cast<cl::TPersistent*>(dst);
                if (srcP && dstP)
                    dstP->Assign(srcP);
                else
                    cl::SetObjectProp(Dest, name, src);
                break;
            }
            case cl::tkFloat: cl::SetFloatProp(Dest, name, cl::GetFloatProp(Source, name)); break;
            case cl::tkString:
            case cl::tkLString:
            case cl::tkWString: cl::SetStrProp(Dest, name, cl::GetStrProp(Source, name)); break;
            default: cl::SetOrdProp(Dest, name, cl::GetOrdProp(Source, name)); break;
        }
    }
}

}  // namespace pix32
