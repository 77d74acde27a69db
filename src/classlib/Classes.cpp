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
    throw EConvertError(Format("Cannot assign a %s to a %s", String(ClassName()), String(Dest ? Dest->ClassName() : "nil")));
}

// ---------------------------------------------------------------------------------------
// TList

void TList::Error(int index) { throw EListError(Format("List index out of bounds (%d)", index)); }

void TList::SetCount(int n) {
    if (n < 0) Error(n);
    items_.resize(n, nullptr);
}

void TList::SetCapacity(int n) {
    if (n < Count()) Error(n);
    items_.reserve(n);
}

void* TList::Get(int index) const {
    if (index < 0 || index >= Count()) Error(index);
    return items_[index];
}

void TList::Put(int index, void* item) {
    if (index < 0 || index >= Count()) Error(index);
    items_[index] = item;
}

int TList::Add(void* item) {
    items_.push_back(item);
    return Count() - 1;
}

void TList::Insert(int index, void* item) {
    if (index < 0 || index > Count()) Error(index);
    items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
    if (index < 0 || index >= Count()) Error(index);
    items_.erase(items_.begin() + index);
}

int TList::Remove(void* item) {
    int i = IndexOf(item);
    if (i >= 0) Delete(i);
    return i;
}

void* TList::Extract(void* item) {
    int i = IndexOf(item);
    if (i < 0) return nullptr;
    items_.erase(items_.begin() + i);
    return item;
}

int TList::IndexOf(void* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Exchange(int a, int b) {
    if (a < 0 || a >= Count()) Error(a);
    if (b < 0 || b >= Count()) Error(b);
    std::swap(items_[a], items_[b]);
}

void TList::Move(int from, int to) {
    if (from == to) return;
    if (from < 0 || from >= Count()) Error(from);
    if (to < 0 || to >= Count()) Error(to);
    void* item = items_[from];
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, item);
}

void TList::Clear() { items_.clear(); }

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::Sort(const std::function<int(void*, void*)>& compare) {
    std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

// ---------------------------------------------------------------------------------------
// TStringList

int TStringList::Compare(const String& a, const String& b) const {
    return caseSensitive_ ? a.compare(b) : CompareText(a, b);
}

void TStringList::Check(int index) const {
    if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
}

const String& TStringList::Strings(int index) const {
    Check(index);
    return items_[index].s;
}

void TStringList::SetStrings(int index, const String& s) {
    Check(index);
    items_[index].s = s;
}

TObject* TStringList::Objects(int index) const {
    Check(index);
    return items_[index].obj;
}

void TStringList::SetObjects(int index, TObject* obj) {
    Check(index);
    items_[index].obj = obj;
}

int TStringList::Add(const String& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const String& s, TObject* obj) {
    if (!sorted_) {
        items_.push_back({s, obj});
        return Count() - 1;
    }
    int index;
    if (Find(s, index)) {
        if (Duplicates == dupIgnore) return index;
        if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    items_.insert(items_.begin() + index, Item{s, obj});
    return index;
}

void TStringList::Insert(int index, const String& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const String& s, TObject* obj) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
    items_.insert(items_.begin() + index, Item{s, obj});
}

void TStringList::Delete(int index) {
    Check(index);
    items_.erase(items_.begin() + index);
}

void TStringList::Clear() { items_.clear(); }

int TStringList::IndexOf(const String& s) const {
    for (int i = 0; i < Count(); ++i)
        if (Compare(items_[i].s, s) == 0) return i;
    return -1;
}

String TStringList::Names(int index) const {
    const String& s = Strings(index);
    size_t p = s.find('=');
    return p == String::npos ? String() : s.substr(0, p);
}

int TStringList::IndexOfName(const String& name) const {
    for (int i = 0; i < Count(); ++i) {
        size_t p = items_[i].s.find('=');
        if (p != String::npos && Compare(items_[i].s.substr(0, p), name) == 0) return i;
    }
    return -1;
}

int TStringList::IndexOfObject(const TObject* obj) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[i].obj == obj) return i;
    return -1;
}

String TStringList::Values(const String& name) const {
    int i = IndexOfName(name);
    if (i < 0) return String();
    const String& s = items_[i].s;
    return s.substr(s.find('=') + 1);
}

void TStringList::SetValue(const String& name, const String& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    if (i >= 0)
        items_[i].s = name + "=" + value;
    else
        Add(name + "=" + value);
}

String TStringList::Text() const {
    String out;
    for (const auto& it : items_) out += it.s + "\r\n";
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

String TStringList::CommaText() const {
    String out;
    for (int i = 0; i < Count(); ++i) {
        if (i) out += ',';
        const String& s = items_[i].s;
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
    std::stable_sort(items_.begin(), items_.end(), [&](const Item& a, const Item& b) { return Compare(a.s, b.s) < 0; });
}

void TStringList::SetSorted(bool v) {
    if (v && !sorted_) Sort();
    sorted_ = v;
}

void TStringList::SetCaseSensitive(bool v) {
    caseSensitive_ = v;
    if (sorted_) Sort();
}

bool TStringList::Find(const String& s, int& index) const {
    if (!sorted_) {
        index = IndexOf(s);
        return index >= 0;
    }
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = Compare(items_[mid].s, s);
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
    std::swap(items_[a], items_[b]);
}

void TStringList::Assign(TPersistent* Source) {
    if (auto* src = dynamic_cast<TStringList*>(Source)) {
        if (src == this) return;
        items_ = src->items_;
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
    state_ |= csDestroying;
    // Tell everyone who asked that this component goes away.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        other->RemoveNotification(this);
        other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return components_[index];
}

int TComponent::ComponentIndex() const {
    if (!owner_) return -1;
    auto& list = owner_->components_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const String& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, name)) return c;
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
    if (name == name_) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError(Format("'%s' is not a valid component name", name));
    if (owner_) owner_->ValidateRename(this, name_, name);
    name_ = name;
}

void TComponent::Insert(TComponent* c) {
    components_.push_back(c);
    c->owner_ = this;
}

void TComponent::Remove(TComponent* c) {
    auto it = std::find(components_.begin(), components_.end(), c);
    if (it != components_.end()) components_.erase(it);
    c->owner_ = nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
    if (!c) return;
    if (!c->name_.empty()) ValidateRename(c, String(), c->name_);
    if (c->owner_) c->owner_->RemoveComponent(c);
    Insert(c);
    Notification(c, opInsert);
    for (TComponent* other : std::vector<TComponent*>(components_))
        if (other != c) other->Notification(c, opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
    if (!c || c->owner_ != this) return;
    Notification(c, opRemove);
    for (TComponent* other : std::vector<TComponent*>(components_))
        if (other != c) other->Notification(c, opRemove);
    Remove(c);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* c = components_.back();
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
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
        freeNotifies_.push_back(other);
    if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) == other->freeNotifies_.end())
        other->freeNotifies_.push_back(this);
    state_ |= csFreeNotification;
}

void TComponent::RemoveNotification(TComponent* c) {
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), c), freeNotifies_.end());
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    RemoveNotification(other);
    other->RemoveNotification(this);
}

void TComponent::Loaded() { state_ &= ~uint32_t(csLoading); }

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

}  // namespace cl
