#include "classlib/TypInfo.h"

#include <deque>
#include <map>
#include <mutex>
#include <shared_mutex>

namespace cl {

namespace {

std::shared_mutex& TableMutex() {
    static std::shared_mutex m;
    return m;
}
// Entries are kept in deques so that pointers handed out stay valid as tables grow.
std::map<const TClass*, std::deque<TPropInfo>>& Tables() {
    static std::map<const TClass*, std::deque<TPropInfo>> t;
    return t;
}

PPropInfo Require(const TObject* Instance, const String& Name, TTypeKinds kinds) {
    PPropInfo p = Instance ? GetPropInfo(Instance, Name) : nullptr;
    if (!p) throw EPropertyError(Format("Property %s does not exist", Name));
    if (!(KindBit(p->Kind) & kinds)) throw EPropertyError(Format("Invalid property type: %s", p->TypeName));
    return p;
}

constexpr TTypeKinds kOrdinal = KindBit(tkInteger) | KindBit(tkChar) | KindBit(tkEnumeration) | KindBit(tkSet) |
                                KindBit(tkWChar) | KindBit(tkInt64) | KindBit(tkClass);
constexpr TTypeKinds kString = KindBit(tkString) | KindBit(tkLString) | KindBit(tkWString);

}  // namespace

void DeclarePublished(const TClass& Class, std::vector<TPropInfo> Props) {
    std::unique_lock lock(TableMutex());
    auto& table = Tables()[&Class];
    for (auto& p : Props) {
        // A re-declared name replaces the earlier entry in place.
        bool replaced = false;
        for (auto& q : table)
            if (SameText(q.Name, p.Name)) {
                q = std::move(p);
                replaced = true;
                break;
            }
        if (!replaced) table.push_back(std::move(p));
    }
}

PPropInfo GetPropInfo(const TClass& Class, const String& Name) {
    std::shared_lock lock(TableMutex());
    for (const TClass* c = &Class; c; c = c->Parent) {
        auto it = Tables().find(c);
        if (it == Tables().end()) continue;
        for (const auto& p : it->second)
            if (SameText(p.Name, Name)) return &p;
    }
    return nullptr;
}

PPropInfo GetPropInfo(const TObject* Instance, const String& Name) {
    return Instance ? GetPropInfo(Instance->ClassType(), Name) : nullptr;
}

std::vector<PPropInfo> GetPropList(const TClass& Class, TTypeKinds Kinds) {
    std::vector<const TClass*> chain;
    for (const TClass* c = &Class; c; c = c->Parent) chain.insert(chain.begin(), c);
    std::vector<PPropInfo> out;
    std::shared_lock lock(TableMutex());
    for (const TClass* c : chain) {
        auto it = Tables().find(c);
        if (it == Tables().end()) continue;
        for (const auto& p : it->second) {
            if (!(KindBit(p.Kind) & Kinds)) continue;
            // A descendant's re-declaration stands in the ancestor's place.
            bool shadowed = false;
            for (auto& q : out)
                if (SameText(q->Name, p.Name)) {
                    q = &p;
                    shadowed = true;
                }
            if (!shadowed) out.push_back(&p);
        }
    }
    return out;
}

bool IsPublishedProp(const TObject* Instance, const String& Name) { return GetPropInfo(Instance, Name) != nullptr; }

int64_t GetOrdProp(const TObject* Instance, const String& Name) {
    PPropInfo p = Require(Instance, Name, kOrdinal);
    if (p->Kind == tkClass) return reinterpret_cast<intptr_t>(p->GetObject ? p->GetObject(Instance) : nullptr);
    return p->GetOrd(Instance);
}

void SetOrdProp(TObject* Instance, const String& Name, int64_t Value) {
    PPropInfo p = Require(Instance, Name, kOrdinal & ~KindBit(tkClass));
    if (!p->SetOrd) throw EPropertyError(Format("Property %s is read-only", Name));
    p->SetOrd(Instance, Value);
}

double GetFloatProp(const TObject* Instance, const String& Name) {
    return Require(Instance, Name, KindBit(tkFloat))->GetFloat(Instance);
}

void SetFloatProp(TObject* Instance, const String& Name, double Value) {
    PPropInfo p = Require(Instance, Name, KindBit(tkFloat));
    if (!p->SetFloat) throw EPropertyError(Format("Property %s is read-only", Name));
    p->SetFloat(Instance, Value);
}

String GetStrProp(const TObject* Instance, const String& Name) {
    return Require(Instance, Name, kString)->GetStr(Instance);
}

void SetStrProp(TObject* Instance, const String& Name, const String& Value) {
    PPropInfo p = Require(Instance, Name, kString);
    if (!p->SetStr) throw EPropertyError(Format("Property %s is read-only", Name));
    p->SetStr(Instance, Value);
}

TObject* GetObjectProp(const TObject* Instance, const String& Name) {
    return Require(Instance, Name, KindBit(tkClass))->GetObject(Instance);
}

void SetObjectProp(TObject* Instance, const String& Name, TObject* Value) {
    PPropInfo p = Require(Instance, Name, KindBit(tkClass));
    if (!p->SetObject) throw EPropertyError(Format("Property %s is read-only", Name));
    p->SetObject(Instance, Value);
}

String GetEnumName(PPropInfo Info, int64_t Value) {
    if (!Info || Value < 0 || Value >= static_cast<int64_t>(Info->EnumNames.size())) return String();
    return Info->EnumNames[static_cast<size_t>(Value)];
}

int64_t GetEnumValue(PPropInfo Info, const String& Name) {
    if (!Info) return -1;
    for (size_t i = 0; i < Info->EnumNames.size(); ++i)
        if (SameText(Info->EnumNames[i], Name)) return static_cast<int64_t>(i);
    return -1;
}

String GetEnumProp(const TObject* Instance, const String& Name) {
    PPropInfo p = Require(Instance, Name, KindBit(tkEnumeration));
    return GetEnumName(p, p->GetOrd(Instance));
}

void SetEnumProp(TObject* Instance, const String& Name, const String& Value) {
    PPropInfo p = Require(Instance, Name, KindBit(tkEnumeration));
    int64_t v = GetEnumValue(p, Value);
    if (v < 0) throw EPropertyError(Format("Invalid property value: %s", Value));
    if (!p->SetOrd) throw EPropertyError(Format("Property %s is read-only", Name));
    p->SetOrd(Instance, v);
}

void CopyPublishedProperties(const TObject* Source, TObject* Dest) {
    if (!Source || !Dest) return;
    for (PPropInfo sp : GetPropList(Source->ClassType(), tkProperties)) {
        PPropInfo dp = GetPropInfo(Dest, sp->Name);
        if (!dp || dp->Kind != sp->Kind) continue;
        switch (sp->Kind) {
            case tkFloat:
                if (dp->SetFloat) dp->SetFloat(Dest, sp->GetFloat(Source));
                break;
            case tkString:
            case tkLString:
            case tkWString:
                if (dp->SetStr) dp->SetStr(Dest, sp->GetStr(Source));
                break;
            case tkClass: {
                TObject* s = sp->GetObject ? sp->GetObject(Source) : nullptr;
                TObject* d = dp->GetObject ? dp->GetObject(Dest) : nullptr;
                auto* sd = dynamic_cast<TPersistent*>(d);
                auto* ss = dynamic_cast<TPersistent*>(s);
                if (sd && ss)
                    sd->Assign(ss);
                else if (dp->SetObject)
                    dp->SetObject(Dest, s);
                break;
            }
            default:
                if (dp->SetOrd && sp->GetOrd) dp->SetOrd(Dest, sp->GetOrd(Source));
                break;
        }
    }
}

}  // namespace cl
