// The scanner and camera glue: the device manager and its event subscriptions.
#include "imaging/io/iewia.h"

#include "imaging/io/vovozidio.h"

namespace ie {

const win::CLSID CLSID_WiaDevMgr = {0xa1f4e726, 0x8cf1, 0x11d1, {0xbf, 0x92, 0x00, 0x60, 0x08, 0x1e, 0xd8, 0x11}};
const win::IID IID_IWiaDevMgr = {0x5eb2502a, 0x8cf1, 0x11d1, {0xbf, 0x92, 0x00, 0x60, 0x08, 0x1e, 0xd8, 0x11}};
const win::IID IID_IWiaEventCallback = {0xae6287b0, 0x0084, 0x11d2, {0x97, 0x3b, 0x00, 0xa0, 0xc9, 0x06, 0x8f, 0x2e}};
const win::GUID WIA_EVENT_ITEM_CREATED = {0x4c8f4ef5, 0xe14f, 0x11d2, {0xb3, 0x26, 0x00, 0xc0, 0x4f, 0x68, 0xce, 0x61}};
const win::GUID WIA_EVENT_ITEM_DELETED = {0x1d22a559, 0xe14f, 0x11d2, {0xb3, 0x26, 0x00, 0xc0, 0x4f, 0x68, 0xce, 0x61}};
const win::GUID WIA_EVENT_TREE_UPDATED = {0xc9859b91, 0x4ab2, 0x4cd6, {0xa1, 0xfc, 0x58, 0x2e, 0xec, 0x55, 0xe5, 0x85}};

const char* const IEWiaFileNamePlaceholders[6] = {"$DATE$", "$TIME$", "$PAGE_COUNT$", "$DAY$", "$MONTH$", "$YEAR$"};

// ---------------------------------------------------------------------------------------
// The event sink

void* TWiaEventCallBack::FindInterface(const win::IID& Iid) {
    if (Iid == win::IID_IUnknown || Iid == IID_IWiaEventCallback) return static_cast<IWiaEventCallback*>(this);
    return nullptr;
}

win::HRESULT TWiaEventCallBack::ImageEventCallback(const win::GUID* EventGUID, const char16_t*, const char16_t*,
                                                   const char16_t*, win::DWORD, const char16_t*, win::ULONG*,
                                                   win::ULONG) {
    if (!EventGUID || !FOwner) return win::S_OK;
    uint8_t kind = 0;
    if (*EventGUID == WIA_EVENT_TREE_UPDATED)
        kind = 1;
    else if (*EventGUID == WIA_EVENT_ITEM_CREATED)
        kind = 2;
    else if (*EventGUID == WIA_EVENT_ITEM_DELETED)
        kind = 3;
    if (!kind) return win::S_OK;
    // The service calls from a thread of its own; the event is handed to the thread of
    // the owner component, where the object and its handler live.
    std::shared_ptr<TIEWiaEventTarget> target = FOwner;
    std::unique_lock<std::mutex> lock(target->Lock);
    TIEWia* wia = target->Wia;
    if (!wia) return win::S_OK;
    if (TVovozIdIO* io = wia->GetOwner()) {
        io->Queue([target, kind] {
            TIEWia* w = nullptr;
            {
                std::lock_guard<std::mutex> l(target->Lock);
                w = target->Wia;
            }
            // The object is destroyed on this same thread, so it cannot go in between.
            if (!w) return;
            w->LastEvent = kind;
            w->DoDeviceEvent();
        });
        return win::S_OK;
    }
    // Without an owner there is no thread to hand over to: it is reported here.
    lock.unlock();
    wia->LastEvent = kind;
    wia->DoDeviceEvent();
    return win::S_OK;
}

// ---------------------------------------------------------------------------------------
// The glue object

TIEWia::TIEWia(TVovozIdIO* Owner) : FOwner(Owner), FTarget(std::make_shared<TIEWiaEventTarget>()) {
    FOleInitialized = win::SUCCEEDED(win::OleInitialize(nullptr));
    FTarget->Wia = this;
    void* mgr = nullptr;
    if (win::SUCCEEDED(
            win::CoCreateInstance(CLSID_WiaDevMgr, nullptr, win::CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr, &mgr)) &&
        mgr) {
        FDeviceManager = win::ComPtr<IWiaDevMgr>::Attach(static_cast<IWiaDevMgr*>(mgr));
        static const win::GUID* const kEvents[3] = {&WIA_EVENT_ITEM_CREATED, &WIA_EVENT_ITEM_DELETED,
                                                    &WIA_EVENT_TREE_UPDATED};
        for (int i = 0; i < 3; ++i) {
            // The registration keeps the sink; this object keeps only the registration.
            auto sink = win::ComPtr<TWiaEventCallBack>::Attach(new TWiaEventCallBack(FTarget));
            win::IUnknown* registration = nullptr;
            if (win::SUCCEEDED(
                    FDeviceManager->RegisterEventCallbackInterface(0, nullptr, kEvents[i], sink.Get(), &registration)))
                FRegistrations[i] = win::ComPtr<win::IUnknown>::Attach(registration);
            else if (registration)
                registration->Release();
        }
    }
}

TIEWia::~TIEWia() {
    {
        std::lock_guard<std::mutex> lock(FTarget->Lock);
        FTarget->Wia = nullptr;
    }
    for (auto& r : FRegistrations) r.Reset();
    FDeviceManager.Reset();
    ClearItems();
    ControlParent.reset();
    if (FOleInitialized) win::OleUninitialize();
}

int32_t TIEWia::RegistrationCount() const {
    int32_t n = 0;
    for (const auto& r : FRegistrations)
        if (r) ++n;
    return n;
}

void TIEWia::ClearItems() { FItems.clear(); }

void TIEWia::DoDeviceEvent() {
    if (OnDeviceEvent) OnDeviceEvent(this);
}

}  // namespace ie
