// The video capture and playback glue TIEDirectShow: it holds the interfaces of a filter
// graph (the media control, the media event interface, the windowless video renderer)
// and tells the image view where frames and graph events are reported. Nothing on this
// system builds a graph, so the object is created, queried and released; every operation
// that needs an interface does nothing without one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "platform/com.h"
#include "platform/windef.h"

namespace ie {

// The graph's run control.
extern const win::IID IID_IMediaControl;
class IMediaControl : public win::IUnknown {
public:
    virtual win::HRESULT Run() = 0;
    virtual win::HRESULT Pause() = 0;
    virtual win::HRESULT Stop() = 0;
    // The graph's state (0 stopped, 1 paused, 2 running), waiting at most Timeout ms.
    virtual win::HRESULT GetState(win::LONG Timeout, win::LONG* State) = 0;
};

// The graph's events, posted as Message to Window with InstanceData as lParam.
extern const win::IID IID_IMediaEventEx;
class IMediaEventEx : public win::IUnknown {
public:
    virtual win::HRESULT SetNotifyWindow(win::HWND Window, win::LONG Message, win::LONG_PTR InstanceData) = 0;
};

// The video renderer that draws into a window of the caller.
extern const win::IID IID_IVMRWindowlessControl;
class IVMRWindowlessControl : public win::IUnknown {
public:
    virtual win::HRESULT GetNativeVideoSize(win::LONG* Width, win::LONG* Height, win::LONG* ARWidth,
                                            win::LONG* ARHeight) = 0;
    virtual win::HRESULT SetVideoPosition(const win::RECT* Source, const win::RECT* Dest) = 0;
    virtual win::HRESULT RepaintVideo(win::HWND Window, win::HDC DC) = 0;
};

// The names of the analog video standards and of the video media subtypes.
extern const char* const IEDSVideoStandards[20];
extern const char* const IEDSVideoSubtypes[36];

class TIEDirectShow : public cl::TObject {
    CL_DECLARE_CLASS(TIEDirectShow, cl::TObject)
public:
    TIEDirectShow();
    ~TIEDirectShow() override;

    // Stops a running or paused graph and lets go of every graph interface.
    void Disconnect();
    // True while a filter graph is held.
    bool IsConnected() const { return bool(FGraph); }
    // 0 stopped (or no graph), 1 paused, 2 running. A graph that cannot tell its state
    // counts as stopped.
    int32_t GetGraphState();
    // Where new frames (NewFrameMessage) and graph events (EventMessage, lParam the
    // object) are reported.
    void SetNotifyWindow(win::HWND Window, uint32_t NewFrameMessage, uint32_t EventMessage);
    win::HWND GetNotifyWindow() const { return FNotifyWindow; }
    uint32_t GetNewFrameMessage() const { return FNewFrameMessage; }
    uint32_t GetEventMessage() const { return FEventMessage; }
    void SetVideoPosition(const win::RECT& Source, const win::RECT& Dest);
    void GetNativeVideoSize(int32_t& Width, int32_t& Height);
    void RepaintVideo(win::HWND Window, win::HDC DC);
    // Frees the objects of the filter list.
    void ClearFilterList();

    // The view clears it while it handles a new-frame message.
    bool FrameReady = true;

    bool GetOleInitialized() const { return FOleInitialized; }
    cl::TStringList* VideoInputs() const { return FVideoInputs.get(); }
    cl::TStringList* AudioInputs() const { return FAudioInputs.get(); }
    cl::TStringList* VideoCodecs() const { return FVideoCodecs.get(); }
    cl::TStringList* AudioCodecs() const { return FAudioCodecs.get(); }
    cl::TStringList* VideoFormats() const { return FVideoFormats.get(); }
    std::vector<std::unique_ptr<cl::TObject>>& FilterList() { return FFilterList; }

protected:
    // The graph's interfaces (held while a graph is built).
    win::ComPtr<win::IUnknown> FGraph;
    win::ComPtr<IMediaControl> FMediaControl;
    win::ComPtr<IMediaEventEx> FMediaEvent;
    win::ComPtr<IVMRWindowlessControl> FWindowlessControl;
    // The builder, filters, pins and grabber of a built graph.
    std::vector<win::ComPtr<win::IUnknown>> FGraphParts;

private:
    bool FOleInitialized = false;
    std::unique_ptr<cl::TStringList> FVideoInputs, FAudioInputs, FVideoCodecs, FAudioCodecs, FVideoFormats;
    std::vector<std::unique_ptr<cl::TObject>> FFilterList;
    win::HWND FNotifyWindow = nullptr;
    uint32_t FNewFrameMessage = 0, FEventMessage = 0;
};

}  // namespace ie
