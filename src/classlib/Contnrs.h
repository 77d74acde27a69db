// Object containers of the class library.
#pragma once

#include "classlib/Classes.h"

namespace cl {

// A list of objects that, while OwnsObjects is set (the default), frees an object when it
// is deleted from the list, replaced, or the list is cleared or destroyed.
class TObjectList : public TList {
    CL_DECLARE_CLASS(TObjectList, TList)
public:
    explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
    ~TObjectList() override { Clear(); }
    TObject* Items(int index) const { return static_cast<TObject*>(Get(index)); }
    void SetItems(int index, TObject* obj) {
        TObject* old = Items(index);
        Put(index, obj);
        if (OwnsObjects && old != obj) delete old;
    }
    int Add(TObject* obj) { return TList::Add(obj); }
    void Insert(int index, TObject* obj) { TList::Insert(index, obj); }
    int Remove(TObject* obj) {
        int i = IndexOf(obj);
        if (i >= 0) Delete(i);
        return i;
    }
    int IndexOf(const TObject* obj) const { return TList::IndexOf(const_cast<TObject*>(obj)); }
    TObject* Extract(TObject* obj) { return static_cast<TObject*>(TList::Extract(obj)); }
    void Delete(int index) override {
        TObject* obj = Items(index);
        TList::Delete(index);
        if (OwnsObjects) delete obj;
    }
    void Clear() override {
        while (GetCount() > 0) Delete(GetCount() - 1);
    }
    bool OwnsObjects;
};

}  // namespace cl
