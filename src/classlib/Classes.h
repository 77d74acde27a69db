// The class library's object model, lists, components and streams.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"

namespace cl {

class TObject;
class TComponent;

// ---------------------------------------------------------------------------------------
// Class metadata: one static instance per class, chained to the parent class, so that
// code can ask for a class's name, walk its ancestry and test inheritance.

struct TClass {
    const char* Name;
    const TClass* Parent;
    // Virtual constructor of a component class (null for other and abstract classes).
    TComponent* (*Create)(TComponent* Owner) = nullptr;
    bool InheritsFrom(const TClass& other) const {
        for (const TClass* c = this; c; c = c->Parent)
            if (c == &other) return true;
        return false;
    }
};

// Declares the metadata of a class derived from TObject.
#define CL_DECLARE_CLASS(Name, ParentName)                                   \
public:                                                                      \
    static const ::cl::TClass& StaticClass() {                               \
        static const ::cl::TClass info{#Name, &ParentName::StaticClass()};   \
        return info;                                                         \
    }                                                                        \
    const ::cl::TClass& ClassType() const override { return StaticClass(); } \
                                                                             \
private:

// Declares the metadata of a component class that can be created by its class name:
// the class needs a constructor taking the owner.
#define CL_DECLARE_COMPONENT(Name, ParentName)                                                                \
public:                                                                                                       \
    static const ::cl::TClass& StaticClass() {                                                                \
        static const ::cl::TClass info{#Name, &ParentName::StaticClass(),                                     \
                                       [](::cl::TComponent* o) -> ::cl::TComponent* { return new Name(o); }}; \
        return info;                                                                                          \
    }                                                                                                         \
    const ::cl::TClass& ClassType() const override { return StaticClass(); }                                  \
                                                                                                              \
private:

// A window message as message handlers see it.
struct TMessage {
    unsigned int Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    static const TClass& StaticClass() {
        static const TClass info{"TObject", nullptr};
        return info;
    }
    virtual const TClass& ClassType() const { return StaticClass(); }
    const char* ClassName() const { return ClassType().Name; }
    bool InheritsFrom(const TClass& c) const { return ClassType().InheritsFrom(c); }
    template <class T>
    bool Is() const {
        return InheritsFrom(T::StaticClass());
    }

    // Frees the object (null-safe when called through FreeAndNil): BeforeDestruction, then
    // the destructors.
    void Free() {
        BeforeDestruction();
        delete this;
    }
    // Called by Free and by an owner freeing its components while the object is still whole
    // (a form fires OnDestroy here).
    virtual void BeforeDestruction() {}

    // Message-method dispatch: calls the handler that the nearest class in the object's
    // class chain declares for Message.Msg, or DefaultHandler when none does.
    virtual void Dispatch(TMessage& Message);
    virtual void DefaultHandler(TMessage& Message);
};

// A message handler declared by a class for one message number.
using TMessageHandler = void (*)(TObject* Self, TMessage& Message);
// Declares Handler as class Class's handler for message Msg (numbers 0 and >= 0xC000
// never have handlers; re-declaring replaces).
void RegisterMessageHandler(const TClass& Class, unsigned int Msg, TMessageHandler Handler);
// The class in Class's chain (Class included) that declares a handler for Msg, or null.
const TClass* FindMessageHandlerClass(const TClass& Class, unsigned int Msg);
// From inside a handler of class Class: passes Message on to the handler of Class's
// ancestors, or to Self's DefaultHandler when none has one.
void InheritedDispatch(const TClass& Class, TObject* Self, TMessage& Message);

template <class T>
void FreeAndNil(T*& p) {
    T* q = p;
    p = nullptr;
    if (q) q->Free();
}

using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---------------------------------------------------------------------------------------

class TPersistent : public TObject {
    CL_DECLARE_CLASS(TPersistent, TObject)
public:
    // Copies Source into this object; the default asks Source->AssignTo(this).
    virtual void Assign(TPersistent* Source);
    virtual String GetNamePath() const { return ClassName(); }

protected:
    // The default raises EConvertError "Cannot assign a %s to a %s".
    virtual void AssignTo(TPersistent* Dest);
};

// ---------------------------------------------------------------------------------------
// Lists.

class TList : public TObject {
    CL_DECLARE_CLASS(TList, TObject)
public:
    ~TList() override = default;
    int GetCount() const { return static_cast<int>(FItems.size()); }
    void SetCount(int n);
    int GetCapacity() const { return static_cast<int>(FItems.capacity()); }
    void SetCapacity(int n);
    void* Get(int index) const;
    void Put(int index, void* item);
    void* operator[](int index) const { return Get(index); }
    int Add(void* item);
    void Insert(int index, void* item);
    virtual void Delete(int index);
    int Remove(void* item);
    void* Extract(void* item);
    int IndexOf(void* item) const;
    void Exchange(int a, int b);
    void Move(int from, int to);
    virtual void Clear();
    void Pack();
    void Sort(const std::function<int(void*, void*)>& compare);
    void* First() const { return Get(0); }
    void* Last() const { return Get(GetCount() - 1); }
    void* const* GetList() const { return FItems.data(); }

protected:
    static void Error(int index);
    std::vector<void*> FItems;
};

// ---------------------------------------------------------------------------------------
// String lists: UTF-8 strings with attached objects. The texts compare without regard to
// ASCII letter case unless CaseSensitive is set.

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TPersistent {
    CL_DECLARE_CLASS(TStringList, TPersistent)
public:
    int GetCount() const { return static_cast<int>(FItems.size()); }
    const String& Strings(int index) const;
    void SetStrings(int index, const String& s);
    TObject* Objects(int index) const;
    void SetObjects(int index, TObject* obj);
    int Add(const String& s);
    int AddObject(const String& s, TObject* obj);
    void Insert(int index, const String& s);
    void InsertObject(int index, const String& s, TObject* obj);
    void Delete(int index);
    void Clear();
    int IndexOf(const String& s) const;
    int IndexOfName(const String& name) const;
    int IndexOfObject(const TObject* obj) const;
    String Names(int index) const;
    String Values(const String& name) const;
    void SetValue(const String& name, const String& value);
    String GetText() const;
    void SetText(const String& text);
    String GetCommaText() const;
    bool GetSorted() const { return FSorted; }
    void SetSorted(bool v);
    bool GetCaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool v);
    TDuplicates Duplicates = dupIgnore;
    void Sort();
    bool Find(const String& s, int& index) const;
    void Assign(TPersistent* Source) override;
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate() {
        if (FUpdateCount > 0) --FUpdateCount;
    }
    void Exchange(int a, int b);

private:
    struct Item {
        String s;
        TObject* obj = nullptr;
    };
    int Compare(const String& a, const String& b) const;
    void Check(int index) const;
    std::vector<Item> FItems;
    bool FSorted = false;
    bool FCaseSensitive = false;
    int FUpdateCount = 0;
};

// ---------------------------------------------------------------------------------------
// Components: an owner frees the components it owns; components can ask to be told when
// another is destroyed.

enum TOperation { opInsert = 0, opRemove = 1 };

enum TComponentStateFlag : uint32_t {
    csLoading = 1 << 0,
    csReading = 1 << 1,
    csWriting = 1 << 2,
    csDestroying = 1 << 3,
    csDesigning = 1 << 4,
    csAncestor = 1 << 5,
    csUpdating = 1 << 6,
    csFixups = 1 << 7,
    csFreeNotification = 1 << 8,
    csInline = 1 << 9,
    csDesignInstance = 1 << 10,
};
using TComponentState = uint32_t;

class TComponent : public TPersistent {
    CL_DECLARE_COMPONENT(TComponent, TPersistent)
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent* GetOwner() const { return FOwner; }
    int GetComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const;
    int GetComponentIndex() const;
    TComponent* FindComponent(const String& name) const;

    const String& GetName() const { return FName; }
    virtual void SetName(const String& name);
    intptr_t Tag = 0;

    TComponentState GetComponentState() const { return FState; }
    bool HasState(TComponentStateFlag f) const { return (FState & f) != 0; }
    void SetState(TComponentStateFlag f, bool on) { FState = on ? (FState | f) : (FState & ~uint32_t(f)); }

    // Each of the two is told (Notification opRemove) when the other is destroyed.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // Called once after a form's table has been applied; clears csLoading.
    virtual void Loaded();

    // Ownership changes.
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);

    // Parent components (effects in a transition list, for example).
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent*) {}
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);

    // Frees the owned components, last inserted first.
    void DestroyComponents();

protected:
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    virtual void ValidateRename(TComponent* AComponent, const String& curName, const String& newName);

private:
    void Insert(TComponent* c);
    void Remove(TComponent* c);
    void RemoveNotification(TComponent* c);

    TComponent* FOwner = nullptr;
    String FName;
    TComponentState FState = 0;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
};

// ---------------------------------------------------------------------------------------
// The class registry: classes found by name (without regard to letter case).

// Registering the same class twice does nothing; another class of the same name raises
// EFilerError "A class named %s already exists".
void RegisterClass(const TClass& Class);
void RegisterClasses(std::initializer_list<const TClass*> Classes);
void UnRegisterClass(const TClass& Class);
// EClassNotFound "Class %s not found" when absent.
const TClass& FindClass(const String& Name);
// Null when absent.
const TClass* GetClass(const String& Name);
// Accepted for compatibility; grouping has no effect here.
inline void GroupDescendentsWith(const TClass&, const TClass&) {}
// Creates a component of a registered component class by its name.
TComponent* CreateComponent(const String& ClassName, TComponent* Owner);

// ---------------------------------------------------------------------------------------
// Streams. Positions and sizes are 64-bit.

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

class TStream : public TObject {
    CL_DECLARE_CLASS(TStream, TObject)
public:
    // The bytes read, possibly fewer than count (0 at the end); never throws for a short read.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // The bytes written (fewer on failure).
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // The new position. soEnd means size + offset; a negative result is clamped to 0.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    void ReadBuffer(void* buffer, int64_t count);         // EReadError on a short read
    void WriteBuffer(const void* buffer, int64_t count);  // EWriteError on a short write
    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t p) { Seek(p, soBeginning); }
    virtual int64_t GetSize();
    virtual void SetSize(int64_t newSize);
    // Copies count bytes from source's position; count 0 copies the whole source from its start.
    int64_t CopyFrom(TStream* source, int64_t count);
};

// File open modes.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TFileStream : public TStream {
    CL_DECLARE_CLASS(TFileStream, TStream)
public:
    // Raises EFCreateError / EFOpenError with the name and the system's message.
    TFileStream(const String& fileName, uint16_t mode);
    ~TFileStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t GetSize() override;
    // Positioned read that neither uses nor moves the stream's position (safe from
    // several threads at once).
    int64_t ReadAt(int64_t position, void* buffer, int64_t count) const;
    const String& GetFileName() const { return FFileName; }
    int GetHandle() const { return FFd; }

private:
    String FFileName;
    int FFd = -1;
};

class TCustomMemoryStream : public TStream {
    CL_DECLARE_CLASS(TCustomMemoryStream, TStream)
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return FSize; }
    // Null when empty.
    void* GetMemory() const { return FSize ? FMemory : nullptr; }
    void SaveToStream(TStream* dest);
    void SaveToFile(const String& fileName);
    // Makes the stream a view of foreign memory (neither copied nor freed).
    void SetPointer(void* ptr, int64_t size);

protected:
    ~TCustomMemoryStream() override;
    uint8_t* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
    bool FOwned = false;    // FMemory was allocated by this stream
    int64_t FCapacity = 0;  // bytes allocated when owned
};

class TMemoryStream : public TCustomMemoryStream {
    CL_DECLARE_CLASS(TMemoryStream, TCustomMemoryStream)
public:
    TMemoryStream() = default;
    int64_t Write(const void* buffer, int64_t count) override;
    // Keeps the contents and zero-fills new bytes.
    void SetSize(int64_t newSize) override;
    void Clear();
    void LoadFromStream(TStream* source);
    void LoadFromFile(const String& fileName);

private:
    void Reserve(int64_t capacity);
};

// A read-only view of a resource compiled into the program.
class TResourceStream : public TCustomMemoryStream {
    CL_DECLARE_CLASS(TResourceStream, TCustomMemoryStream)
public:
    // EResNotFound "Resource %s not found" when the module has no such resource. Names
    // and types are strings or integer ids (MAKEINTRESOURCE values below 0x10000).
    TResourceStream(void* Instance, const char* ResName, const char* ResType);
    // Writing raises EStreamError "Can't write to a read-only resource stream".
    int64_t Write(const void* buffer, int64_t count) override;
};

class TStringStream : public TStream {
    CL_DECLARE_CLASS(TStringStream, TStream)
public:
    explicit TStringStream(String s = String()) : FData(std::move(s)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    const String& GetDataString() const { return FData; }
    String ReadString(int64_t count);
    void WriteString(const String& s) { Write(s.data(), static_cast<int64_t>(s.size())); }

private:
    String FData;
    int64_t FPosition = 0;
};

}  // namespace cl
