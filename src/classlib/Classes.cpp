#include "classlib/Classes.h"

#include <algorithm>

namespace cl {

// ---------------------------------------------------------------------------------------
// TPersistent

void TPersistent::Assign(TPersistent* Source) {
    if (Source) {
        Source->AssignTo(this);
        return;
    }
    AssignTo(this);  // nil source: the default refuses like any other unsupported source
}

void TPersistent::AssignTo(TPersistent* Dest) {
    throw EConvertError(
        Format("Cannot assign a %s to a %s", String(ClassName()), String(Dest ? Dest->ClassName() : "nil")));
}

// ---------------------------------------------------------------------------------------
// TList

void TList::Error(int index) { throw EListError(Format("List index out of bounds (%d)", index)); }

void TList::SetCount(int n) {
    if (n < 0) Error(n);
    FItems.resize(n, nullptr);
}

void TList::SetCapacity(int n) {
    if (n < GetCount()) Error(n);
    FItems.reserve(n);
}

void* TList::Get(int index) const {
    if (index < 0 || index >= GetCount()) Error(index);
    return FItems[index];
}

void TList::Put(int index, void* item) {
    if (index < 0 || index >= GetCount()) Error(index);
    FItems[index] = item;
}

int TList::Add(void* item) {
    FItems.push_back(item);
    return GetCount() - 1;
}

void TList::Insert(int index, void* item) {
    if (index < 0 || index > GetCount()) Error(index);
    FItems.insert(FItems.begin() + index, item);
}

void TList::Delete(int index) {
    if (index < 0 || index >= GetCount()) Error(index);
    FItems.erase(FItems.begin() + index);
}

int TList::Remove(void* item) {
    int i = IndexOf(item);
    if (i >= 0) Delete(i);
    return i;
}

void* TList::Extract(void* item) {
    int i = IndexOf(item);
    if (i < 0) return nullptr;
    FItems.erase(FItems.begin() + i);
    return item;
}

int TList::IndexOf(void* item) const {
    auto it = std::find(FItems.begin(), FItems.end(), item);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TList::Exchange(int a, int b) {
    if (a < 0 || a >= GetCount()) Error(a);
    if (b < 0 || b >= GetCount()) Error(b);
    std::swap(FItems[a], FItems[b]);
}

void TList::Move(int from, int to) {
    if (from == to) return;
    if (from < 0 || from >= GetCount()) Error(from);
    if (to < 0 || to >= GetCount()) Error(to);
    void* item = FItems[from];
    FItems.erase(FItems.begin() + from);
    FItems.insert(FItems.begin() + to, item);
}

void TList::Clear() { FItems.clear(); }

void TList::Pack() { FItems.erase(std::remove(FItems.begin(), FItems.end(), nullptr), FItems.end()); }

void TList::Sort(const std::function<int(void*, void*)>& compare) {
    std::stable_sort(FItems.begin(), FItems.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

// ---------------------------------------------------------------------------------------
// TStringList

int TStringList::Compare(const String& a, const String& b) const {
    return FCaseSensitive ? a.compare(b) : CompareText(a, b);
}

void TStringList::Check(int index) const {
    if (index < 0 || index >= GetCount()) throw EStringListError(Format("List index out of bounds (%d)", index));
}

const String& TStringList::Strings(int index) const {
    Check(index);
    return FItems[index].s;
}

void TStringList::SetStrings(int index, const String& s) {
    Check(index);
    FItems[index].s = s;
}

TObject* TStringList::Objects(int index) const {
    Check(index);
    return FItems[index].obj;
}

void TStringList::SetObjects(int index, TObject* obj) {
    Check(index);
    FItems[index].obj = obj;
}

int TStringList::Add(const String& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const String& s, TObject* obj) {
    if (!FSorted) {
        FItems.push_back({s, obj});
        return GetCount() - 1;
    }
    int index;
    if (Find(s, index)) {
        if (Duplicates == dupIgnore) return index;
        if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    FItems.insert(FItems.begin() + index, Item{s, obj});
    return index;
}

void TStringList::Insert(int index, const String& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const String& s, TObject* obj) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted list");
    if (index < 0 || index > GetCount()) throw EStringListError(Format("List index out of bounds (%d)", index));
    FItems.insert(FItems.begin() + index, Item{s, obj});
}

void TStringList::Delete(int index) {
    Check(index);
    FItems.erase(FItems.begin() + index);
}

void TStringList::Clear() { FItems.clear(); }

int TStringList::IndexOf(const String& s) const {
    for (int i = 0; i < GetCount(); ++i)
        if (Compare(FItems[i].s, s) == 0) return i;
    return -1;
}

String TStringList::Names(int index) const {
    const String& s = Strings(index);
    size_t p = s.find('=');
    return p == String::npos ? String() : s.substr(0, p);
}

int TStringList::IndexOfName(const String& name) const {
    for (int i = 0; i < GetCount(); ++i) {
        size_t p = FItems[i].s.find('=');
        if (p != String::npos && Compare(FItems[i].s.substr(0, p), name) == 0) return i;
    }
    return -1;
}

int TStringList::IndexOfObject(const TObject* obj) const {
    for (int i = 0; i < GetCount(); ++i)
        if (FItems[i].obj == obj) return i;
    return -1;
}

String TStringList::Values(const String& name) const {
    int i = IndexOfName(name);
    if (i < 0) return String();
    const String& s = FItems[i].s;
    return s.substr(s.find('=') + 1);
}

void TStringList::SetValue(const String& name, const String& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    if (i >= 0)
        FItems[i].s = name + "=" + value;
    else
        Add(name + "=" + value);
}

String TStringList::GetText() const {
    String out;
    for (const auto& it : FItems) out += it.s + "\r\n";
    return out;
}

void TStringList::SetText(const String& text) {
    Clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == String::npos) {
            Add(text.substr(start));
            break;
        }
        Add(text.substr(start, end - start));
        if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
}

String TStringList::GetCommaText() const {
    String out;
    for (int i = 0; i < GetCount(); ++i) {
        if (i) out += ',';
        const String& s = FItems[i].s;
        bool quote = s.empty() || s.find_first_of(" ,\"") != String::npos;
        if (!quote) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

void TStringList::Sort() {
    std::stable_sort(FItems.begin(), FItems.end(), [&](const Item& a, const Item& b) { return Compare(a.s, b.s) < 0; });
}

void TStringList::SetSorted(bool v) {
    if (v && !FSorted) Sort();
    FSorted = v;
}

void TStringList::SetCaseSensitive(bool v) {
    FCaseSensitive = v;
    if (FSorted) Sort();
}

bool TStringList::Find(const String& s, int& index) const {
    if (!FSorted) {
        index = IndexOf(s);
        return index >= 0;
    }
    int lo = 0, hi = GetCount() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = Compare(FItems[mid].s, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

void TStringList::Exchange(int a, int b) {
    Check(a);
    Check(b);
    std::swap(FItems[a], FItems[b]);
}

void TStringList::Assign(TPersistent* Source) {
    if (auto* src = dynamic_cast<TStringList*>(Source)) {
        if (src == this) return;
        FItems = src->FItems;
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FState |= csDestroying;
    // Tell everyone who asked that this component goes away.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        other->RemoveNotification(this);
        other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= GetComponentCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return FComponents[index];
}

int TComponent::GetComponentIndex() const {
    if (!FOwner) return -1;
    auto& list = FOwner->FComponents;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const String& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name)) return c;
    return nullptr;
}

void TComponent::ValidateRename(TComponent* AComponent, const String&, const String& newName) {
    if (!newName.empty()) {
        TComponent* existing = FindComponent(newName);
        if (existing && existing != AComponent)
            throw EComponentError(Format("A component named %s already exists", newName));
    }
}

void TComponent::SetName(const String& name) {
    if (name == FName) return;
    if (!name.empty() && !IsValidIdent(name)) throw EComponentError(Format("'%s' is not a valid component name", name));
    if (FOwner) FOwner->ValidateRename(this, FName, name);
    FName = name;
}

void TComponent::Insert(TComponent* c) {
    FComponents.push_back(c);
    c->FOwner = this;
}

void TComponent::Remove(TComponent* c) {
    auto it = std::find(FComponents.begin(), FComponents.end(), c);
    if (it != FComponents.end()) FComponents.erase(it);
    c->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
    if (!c) return;
    if (!c->FName.empty()) ValidateRename(c, String(), c->FName);
    if (c->FOwner) c->FOwner->RemoveComponent(c);
    Insert(c);
    Notification(c, opInsert);
    for (TComponent* other : std::vector<TComponent*>(FComponents))
        if (other != c) other->Notification(c, opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
    if (!c || c->FOwner != this) return;
    Notification(c, opRemove);
    for (TComponent* other : std::vector<TComponent*>(FComponents))
        if (other != c) other->Notification(c, opRemove);
    Remove(c);
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        Remove(c);
        c->BeforeDestruction();
        delete c;
    }
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
        FFreeNotifies.push_back(other);
    if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) == other->FFreeNotifies.end())
        other->FFreeNotifies.push_back(this);
    FState |= csFreeNotification;
}

void TComponent::RemoveNotification(TComponent* c) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), c), FFreeNotifies.end());
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    RemoveNotification(other);
    other->RemoveNotification(this);
}

void TComponent::Loaded() { FState &= ~uint32_t(csLoading); }

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

}  // namespace cl
