// A small COM core: result codes, GUIDs, reference-counted interfaces with a smart
// pointer, per-thread initialisation, and CoCreateInstance over a process-wide class
// table. The table holds the classes the platform provides itself (the imaging factory);
// everything else answers "class not registered" unless code or a test registers a
// creator for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "platform/windef.h"

namespace win {

// ---------------------------------------------------------------------------------------
// Results

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001Du);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// ---------------------------------------------------------------------------------------
// GUIDs

struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
};
using IID = GUID;
using CLSID = GUID;

bool operator==(const GUID& A, const GUID& B);
inline bool operator!=(const GUID& A, const GUID& B) { return !(A == B); }

constexpr GUID GUID_NULL{};

// ---------------------------------------------------------------------------------------
// Interfaces

extern const IID IID_IUnknown;

class IUnknown {
public:
    // S_OK with an added reference in *Object, or E_NOINTERFACE with *Object null.
    virtual HRESULT QueryInterface(const IID& Iid, void** Object) = 0;
    // The new reference count.
    virtual ULONG AddRef() = 0;
    // The new reference count; the object destroys itself at 0.
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// The reference count and QueryInterface of one object. Derived: the most derived
// class implements FindInterface, giving the interface pointer for each IID it answers
// (IUnknown included).
template <class... Interfaces>
class TComObject : public Interfaces... {
public:
    HRESULT QueryInterface(const IID& Iid, void** Object) override {
        if (!Object) return E_POINTER;
        *Object = FindInterface(Iid);
        if (!*Object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++FRefCount; }
    ULONG Release() override {
        const ULONG n = --FRefCount;
        if (n == 0) delete this;
        return n;
    }

protected:
    TComObject() = default;
    ~TComObject() override = default;
    virtual void* FindInterface(const IID& Iid) = 0;

private:
    std::atomic<ULONG> FRefCount{1};
};

// Holds one reference; releases it when destroyed or reset.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already owns (a newly created object).
    static ComPtr Attach(T* P) {
        ComPtr r;
        r.FPtr = P;
        return r;
    }
    ComPtr(const ComPtr& O) : FPtr(O.FPtr) {
        if (FPtr) FPtr->AddRef();
    }
    ComPtr(ComPtr&& O) noexcept : FPtr(std::exchange(O.FPtr, nullptr)) {}
    ComPtr& operator=(ComPtr O) noexcept {
        std::swap(FPtr, O.FPtr);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (T* p = std::exchange(FPtr, nullptr)) p->Release();
    }
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    // Releases the held reference and gives the address an out parameter fills.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &FPtr;
    }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(FPtr, nullptr); }

private:
    T* FPtr = nullptr;
};

// ---------------------------------------------------------------------------------------
// Streams and option bags

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;
constexpr DWORD STATFLAG_NONAME = 1;

// What Stat tells of a stream (only its size here).
struct STATSTG {
    ULARGE_INTEGER cbSize{};
};

extern const IID IID_IStream;

class IStream : public IUnknown {
public:
    // S_OK when Count bytes were read, S_FALSE for fewer (the end); *Done may be null.
    virtual HRESULT Read(void* Buffer, ULONG Count, ULONG* Done) = 0;
    // S_OK when Count bytes were written, STG_E_WRITEFAULT for fewer.
    virtual HRESULT Write(const void* Buffer, ULONG Count, ULONG* Done) = 0;
    virtual HRESULT Seek(LARGE_INTEGER Move, DWORD Origin, ULARGE_INTEGER* NewPosition) = 0;
    virtual HRESULT Stat(STATSTG* Stat, DWORD Flag) = 0;
};

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        float fltVal;
        VARIANT_BOOL boolVal;
        BYTE bVal;
        USHORT uiVal;
        LONG lVal = 0;
    };
};

constexpr DWORD PROPBAG2_TYPE_DATA = 1;

// One entry of an option bag: its kind, variant type and name (a 16-bit string).
struct PROPBAG2 {
    DWORD dwType = 0;
    VARTYPE vt = VT_EMPTY;
    WORD cfType = 0;
    DWORD dwHint = 0;
    const char16_t* pstrName = nullptr;
    CLSID clsid{};
};

extern const IID IID_IPropertyBag2;

class IPropertyBag2 : public IUnknown {
public:
    // Stores Count options; E_INVALIDARG for a name the bag does not know or a value of
    // the wrong type (the options before it are kept).
    virtual HRESULT Write(ULONG Count, PROPBAG2* Bag, VARIANT* Values) = 0;
};

// ---------------------------------------------------------------------------------------
// Initialisation, counted per thread

// S_OK the first time on a thread, S_FALSE when already initialised (each success is
// matched by one CoUninitialize).
HRESULT CoInitialize(void* Reserved);
void CoUninitialize();
HRESULT OleInitialize(void* Reserved);
void OleUninitialize();
// The initialisation count of the calling thread.
int32_t CoInitializeCount();

// ---------------------------------------------------------------------------------------
// Object creation

constexpr DWORD CLSCTX_INPROC_SERVER = 1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 4;

// Makes a new object answering Iid into *Object (S_OK), or a failure with *Object null.
using TComCreator = std::function<HRESULT(const IID& Iid, void** Object)>;

// CO_E_NOTINITIALIZED on a thread that has not initialised COM; CLASS_E_NOAGGREGATION for
// an outer object; REGDB_E_CLASSNOTREG when no class of that id is registered for one of
// the contexts asked; else what the class's creator answers.
HRESULT CoCreateInstance(const CLSID& Clsid, IUnknown* Outer, DWORD ClsContext, const IID& Iid, void** Object);

// Registers (or replaces) the creator of a class, served in the contexts of ClsContext.
void CoRegisterClass(const CLSID& Clsid, DWORD ClsContext, TComCreator Creator);
// Removes the class; False when it was not registered.
bool CoUnregisterClass(const CLSID& Clsid);
// Puts the table back to the platform's own classes.
void CoResetClassTable();

}  // namespace win
