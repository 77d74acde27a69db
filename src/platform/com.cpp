// The COM core: initialisation counts and the class table.
#include "platform/com.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/wic.h"

namespace win {

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPropertyBag2 = {0x22F55882, 0x280B, 0x11D0, {0xA8, 0xA9, 0x00, 0xA0, 0xC9, 0x0C, 0x20, 0x04}};

bool operator==(const GUID& A, const GUID& B) {
    return A.Data1 == B.Data1 && A.Data2 == B.Data2 && A.Data3 == B.Data3 &&
           std::memcmp(A.Data4, B.Data4, sizeof A.Data4) == 0;
}

namespace {

thread_local int32_t tInitCount = 0;

struct ClassEntry {
    CLSID Clsid;
    DWORD Context;
    TComCreator Creator;
};

std::mutex& TableLock() {
    static std::mutex m;
    return m;
}

// The platform's own classes.
std::vector<ClassEntry> DefaultClasses() {
    return {{CLSID_WICImagingFactory, CLSCTX_INPROC_SERVER, &WICCreateImagingFactory}};
}

std::vector<ClassEntry>& Table() {
    static std::vector<ClassEntry> table = DefaultClasses();
    return table;
}

}  // namespace

HRESULT CoInitialize(void*) { return tInitCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (tInitCount > 0) --tInitCount;
}

HRESULT OleInitialize(void* Reserved) { return CoInitialize(Reserved); }
void OleUninitialize() { CoUninitialize(); }
int32_t CoInitializeCount() { return tInitCount; }

HRESULT CoCreateInstance(const CLSID& Clsid, IUnknown* Outer, DWORD ClsContext, const IID& Iid, void** Object) {
    if (!Object) return E_POINTER;
    *Object = nullptr;
    if (tInitCount == 0) return CO_E_NOTINITIALIZED;
    if (Outer) return CLASS_E_NOAGGREGATION;
    TComCreator creator;
    {
        std::lock_guard lock(TableLock());
        for (const ClassEntry& e : Table())
            if (e.Clsid == Clsid && (e.Context & ClsContext) != 0) {
                creator = e.Creator;
                break;
            }
    }
    if (!creator) return REGDB_E_CLASSNOTREG;
    const HRESULT hr = creator(Iid, Object);
    if (FAILED(hr)) *Object = nullptr;
    return hr;
}

void CoRegisterClass(const CLSID& Clsid, DWORD ClsContext, TComCreator Creator) {
    std::lock_guard lock(TableLock());
    for (ClassEntry& e : Table())
        if (e.Clsid == Clsid) {
            e.Context = ClsContext;
            e.Creator = std::move(Creator);
            return;
        }
    Table().push_back({Clsid, ClsContext, std::move(Creator)});
}

bool CoUnregisterClass(const CLSID& Clsid) {
    std::lock_guard lock(TableLock());
    auto& t = Table();
    for (auto it = t.begin(); it != t.end(); ++it)
        if (it->Clsid == Clsid) {
            t.erase(it);
            return true;
        }
    return false;
}

void CoResetClassTable() {
    std::lock_guard lock(TableLock());
    Table() = DefaultClasses();
}

}  // namespace win
