// Published properties: per class, in declaration order, each property's name, kind,
// type name, declared default and accessors. A class's table includes its ancestors'
// entries. Code asks whether a class publishes a property, and reads or sets one by name.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"

namespace cl {

// clang-format off
enum TTypeKind {
    tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod, tkWChar, tkLString,
    tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64, tkDynArray
};
// clang-format on
using TTypeKinds = uint32_t;  // bit (1 << kind)
constexpr TTypeKinds tkAny = 0xFFFFFFFF;
constexpr TTypeKinds tkProperties = tkAny & ~((1u << tkUnknown) | (1u << tkMethod));
constexpr TTypeKinds KindBit(TTypeKind k) { return 1u << k; }

// The "no default" marker of ordinal properties.
constexpr int64_t NoDefault = static_cast<int64_t>(0x80000000);

struct TPropInfo {
    String Name;
    TTypeKind Kind = tkUnknown;
    String TypeName;
    int64_t Default = NoDefault;
    bool Stored = true;
    std::vector<String> EnumNames;  // tkEnumeration: the names of the values 0, 1, ...
    std::function<int64_t(const TObject*)> GetOrd;
    std::function<void(TObject*, int64_t)> SetOrd;
    std::function<double(const TObject*)> GetFloat;
    std::function<void(TObject*, double)> SetFloat;
    std::function<String(const TObject*)> GetStr;
    std::function<void(TObject*, const String&)> SetStr;
    std::function<TObject*(const TObject*)> GetObject;
    std::function<void(TObject*, TObject*)> SetObject;
};
using PPropInfo = const TPropInfo*;

// Declares Class's own published properties (appended in order; the class library's start-up
// and each library's start-up declare theirs).
void DeclarePublished(const TClass& Class, std::vector<TPropInfo> Props);

// Null when the class (or the object's class) publishes no property of that name
// (compared without regard to letter case).
PPropInfo GetPropInfo(const TClass& Class, const String& Name);
PPropInfo GetPropInfo(const TObject* Instance, const String& Name);
// Every property of the class and its ancestors whose kind is in Kinds, ancestors' first.
std::vector<PPropInfo> GetPropList(const TClass& Class, TTypeKinds Kinds = tkAny);
bool IsPublishedProp(const TObject* Instance, const String& Name);

// Accessors by name; EPropertyError when the property is missing or of another kind.
int64_t GetOrdProp(const TObject* Instance, const String& Name);
void SetOrdProp(TObject* Instance, const String& Name, int64_t Value);
double GetFloatProp(const TObject* Instance, const String& Name);
void SetFloatProp(TObject* Instance, const String& Name, double Value);
String GetStrProp(const TObject* Instance, const String& Name);
void SetStrProp(TObject* Instance, const String& Name, const String& Value);
TObject* GetObjectProp(const TObject* Instance, const String& Name);
void SetObjectProp(TObject* Instance, const String& Name, TObject* Value);
String GetEnumProp(const TObject* Instance, const String& Name);
void SetEnumProp(TObject* Instance, const String& Name, const String& Value);
// The name of an enumeration value, and the value of a name (-1 when unknown).
String GetEnumName(PPropInfo Info, int64_t Value);
int64_t GetEnumValue(PPropInfo Info, const String& Name);
// Copies every published property of Source that Dest also publishes with the same kind
// (object properties by Assign; methods and unknown kinds are skipped).
void CopyPublishedProperties(const TObject* Source, TObject* Dest);

CL_DECLARE_EXCEPTION(EPropertyError, Exception);

// Builders for property entries over getter/setter members.
template <class C, class T>
TPropInfo OrdProp(const String& name, TTypeKind kind, const String& typeName, T (C::*get)() const, void (C::*set)(T),
                  int64_t def = NoDefault) {
    TPropInfo p;
    p.Name = name;
    p.Kind = kind;
    p.TypeName = typeName;
    p.Default = def;
    p.GetOrd = [get](const TObject* o) { return static_cast<int64_t>((static_cast<const C*>(o)->*get)()); };
    if (set) p.SetOrd = [set](TObject* o, int64_t v) { (static_cast<C*>(o)->*set)(static_cast<T>(v)); };
    return p;
}

template <class C, class T>
TPropInfo OrdField(const String& name, TTypeKind kind, const String& typeName, T C::*field, int64_t def = NoDefault) {
    TPropInfo p;
    p.Name = name;
    p.Kind = kind;
    p.TypeName = typeName;
    p.Default = def;
    p.GetOrd = [field](const TObject* o) { return static_cast<int64_t>(static_cast<const C*>(o)->*field); };
    p.SetOrd = [field](TObject* o, int64_t v) { static_cast<C*>(o)->*field = static_cast<T>(v); };
    return p;
}

// A published Boolean (an enumeration of False and True) over a getter and setter, or over
// a field.
template <class C>
TPropInfo BoolProp(const String& name, bool (C::*get)() const, void (C::*set)(bool), bool def = false) {
    TPropInfo p = OrdProp<C, bool>(name, tkEnumeration, "Boolean", get, set, def ? 1 : 0);
    p.EnumNames = {"False", "True"};
    return p;
}

template <class C>
TPropInfo BoolField(const String& name, bool C::*field, bool def = false) {
    TPropInfo p = OrdField<C, bool>(name, tkEnumeration, "Boolean", field, def ? 1 : 0);
    p.EnumNames = {"False", "True"};
    return p;
}

// A published enumeration, or a set (bit I stands for Names[I]), over a getter and setter or a field.
template <class C, class E>
TPropInfo EnumProp(const String& name, const String& typeName, E (C::*get)() const, void (C::*set)(E), E def,
                   std::vector<String> names) {
    TPropInfo p = OrdProp<C, E>(name, tkEnumeration, typeName, get, set, static_cast<int64_t>(def));
    p.EnumNames = std::move(names);
    return p;
}

template <class C, class E>
TPropInfo EnumField(const String& name, const String& typeName, E C::*field, E def, std::vector<String> names) {
    TPropInfo p = OrdField<C, E>(name, tkEnumeration, typeName, field, static_cast<int64_t>(def));
    p.EnumNames = std::move(names);
    return p;
}

template <class C, class S>
TPropInfo SetProp(const String& name, const String& typeName, S (C::*get)() const, void (C::*set)(S), S def,
                  std::vector<String> names) {
    TPropInfo p = OrdProp<C, S>(name, tkSet, typeName, get, set, static_cast<int64_t>(def));
    p.EnumNames = std::move(names);
    return p;
}

// A published TColor (Graphics.h: a 32-bit integer) over a getter and setter.
template <class C>
TPropInfo ColorProp(const String& name, int32_t (C::*get)() const, void (C::*set)(int32_t), int32_t def) {
    return OrdProp<C, int32_t>(name, tkInteger, "TColor", get, set, def);
}

template <class C>
TPropInfo FloatProp(const String& name, const String& typeName, double (C::*get)() const, void (C::*set)(double)) {
    TPropInfo p;
    p.Name = name;
    p.Kind = tkFloat;
    p.TypeName = typeName;
    p.GetFloat = [get](const TObject* o) { return (static_cast<const C*>(o)->*get)(); };
    if (set) p.SetFloat = [set](TObject* o, double v) { (static_cast<C*>(o)->*set)(v); };
    return p;
}

// A published Single over a getter and setter of floats.
template <class C>
TPropInfo FloatProp(const String& name, float (C::*get)() const, void (C::*set)(float)) {
    TPropInfo p;
    p.Name = name;
    p.Kind = tkFloat;
    p.TypeName = "Single";
    p.GetFloat = [get](const TObject* o) { return static_cast<double>((static_cast<const C*>(o)->*get)()); };
    if (set) p.SetFloat = [set](TObject* o, double v) { (static_cast<C*>(o)->*set)(static_cast<float>(v)); };
    return p;
}

template <class C>
TPropInfo StrProp(const String& name, String (C::*get)() const, void (C::*set)(const String&)) {
    TPropInfo p;
    p.Name = name;
    p.Kind = tkLString;
    p.TypeName = "string";
    p.GetStr = [get](const TObject* o) { return (static_cast<const C*>(o)->*get)(); };
    if (set) p.SetStr = [set](TObject* o, const String& v) { (static_cast<C*>(o)->*set)(v); };
    return p;
}

}  // namespace cl
