// The scanner and camera glue TIEWia: it opens the image acquisition device manager and
// subscribes to the device events that change the tree of items (item created, item
// deleted, tree updated). Nothing on this system enumerates devices or transfers images;
// without the acquisition service the object exists without a manager.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "classlib/Classes.h"
#include "platform/com.h"

namespace ie {

class TIEBitmap;
class TVovozIdIO;
class TIEWia;

extern const win::CLSID CLSID_WiaDevMgr;
extern const win::IID IID_IWiaDevMgr;
extern const win::IID IID_IWiaEventCallback;
extern const win::GUID WIA_EVENT_ITEM_CREATED;
extern const win::GUID WIA_EVENT_ITEM_DELETED;
extern const win::GUID WIA_EVENT_TREE_UPDATED;

// The sink of device events.
class IWiaEventCallback : public win::IUnknown {
public:
    virtual win::HRESULT ImageEventCallback(const win::GUID* EventGUID, const char16_t* EventDescription,
                                            const char16_t* DeviceID, const char16_t* DeviceDescription,
                                            win::DWORD DeviceType, const char16_t* FullItemName, win::ULONG* EventType,
                                            win::ULONG Reserved) = 0;
};

// The device manager (the part of it the glue uses).
class IWiaDevMgr : public win::IUnknown {
public:
    // Subscribes Callback to the event of one device (DeviceID null: every device); the
    // subscription lasts until *EventObject is released.
    virtual win::HRESULT RegisterEventCallbackInterface(win::LONG Flags, const char16_t* DeviceID,
                                                        const win::GUID* EventGUID, IWiaEventCallback* Callback,
                                                        win::IUnknown** EventObject) = 0;
};

// Placeholders of generated transfer file names.
extern const char* const IEWiaFileNamePlaceholders[6];

// What a sink reports to: the TIEWia while it lives (cleared when it goes).
struct TIEWiaEventTarget {
    std::mutex Lock;
    TIEWia* Wia = nullptr;
};

// One event sink: reference counted, kept alive by its registration.
class TWiaEventCallBack : public win::TComObject<IWiaEventCallback> {
public:
    explicit TWiaEventCallBack(std::shared_ptr<TIEWiaEventTarget> Owner) : FOwner(std::move(Owner)) {}
    // Records the kind of a tree event (1 tree updated, 2 item created, 3 item deleted) and
    // reports it on the owner component's thread; other events are ignored. Always S_OK.
    win::HRESULT ImageEventCallback(const win::GUID* EventGUID, const char16_t* EventDescription,
                                    const char16_t* DeviceID, const char16_t* DeviceDescription, win::DWORD DeviceType,
                                    const char16_t* FullItemName, win::ULONG* EventType, win::ULONG Reserved) override;

protected:
    void* FindInterface(const win::IID& Iid) override;

private:
    std::shared_ptr<TIEWiaEventTarget> FOwner;
};

class TIEWia : public cl::TObject {
    CL_DECLARE_CLASS(TIEWia, cl::TObject)
public:
    using TDeviceEvent = std::function<void(TIEWia* Sender)>;
    using TProgress = std::function<bool(int32_t Percent)>;

    explicit TIEWia(TVovozIdIO* Owner);
    ~TIEWia() override;

    // Frees the item objects.
    void ClearItems();
    // Calls OnDeviceEvent.
    void DoDeviceEvent();

    TVovozIdIO* GetOwner() const { return FOwner; }
    bool GetOleInitialized() const { return FOleInitialized; }
    // The device manager, null without the acquisition service.
    IWiaDevMgr* GetDeviceManager() const { return FDeviceManager.Get(); }
    // The event subscriptions held (three with a device manager, else none).
    int32_t RegistrationCount() const;
    std::vector<std::unique_ptr<cl::TObject>>& Items() { return FItems; }

    TDeviceEvent OnDeviceEvent;
    TProgress OnProgress;
    // The last device event: 1 tree updated, 2 item created, 3 item deleted (0: none yet).
    uint8_t LastEvent = 0;
    // The image being acquired (not owned) and the parent of a device's own dialog.
    TIEBitmap* ProcessingBitmap = nullptr;
    std::unique_ptr<cl::TObject> ControlParent;

private:
    TVovozIdIO* FOwner;
    bool FOleInitialized = false;
    std::vector<std::unique_ptr<cl::TObject>> FItems;
    win::ComPtr<IWiaDevMgr> FDeviceManager;
    win::ComPtr<win::IUnknown> FRegistrations[3];
    std::shared_ptr<TIEWiaEventTarget> FTarget;
};

}  // namespace ie
