// The video capture and playback glue: the graph's interfaces and the notification window.
#include "imaging/io/ieds.h"

namespace ie {

const win::IID IID_IMediaControl = {0x56a868b1, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const win::IID IID_IMediaEventEx = {0x56a868c0, 0x0ad4, 0x11ce, {0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const win::IID IID_IVMRWindowlessControl = {
    0x0eb1088c, 0x4dcd, 0x46f0, {0x87, 0x8f, 0x39, 0xda, 0xe8, 0x6a, 0x51, 0xb7}};

const char* const IEDSVideoStandards[20] = {"None",    "NTSC_M",   "NTSC_M_J", "NTSC_433", "PAL_B",
                                            "PAL_D",   "PAL_H",    "PAL_I",    "PAL_M",    "PAL_N",
                                            "PAL_60",  "SECAM_B",  "SECAM_D",  "SECAM_G",  "SECAM_H",
                                            "SECAM_K", "SECAM_K1", "SECAM_L",  "SECAM_L1", "PAL_N_COMBO"};

const char* const IEDSVideoSubtypes[36] = {
    "CLPL", "YUYV", "IYUV",   "YVU9",   "Y411",  "Y41P",  "YUY2",     "YVYU",     "UYVY",   "Y211", "YV12", "CLJR",
    "IF09", "CPLA", "MJPG",   "TVMJ",   "WAKE",  "CFCC",  "IJPG",     "Plum",     "DVCS",   "DVSD", "MDVF", "RGB1",
    "RGB4", "RGB8", "RGB565", "RGB555", "RGB24", "RGB32", "ARGB1555", "ARGB4444", "ARGB32", "AYUV", "AI44", "IA44"};

TIEDirectShow::TIEDirectShow()
    : FVideoInputs(std::make_unique<cl::TStringList>()), FAudioInputs(std::make_unique<cl::TStringList>()),
      FVideoCodecs(std::make_unique<cl::TStringList>()), FAudioCodecs(std::make_unique<cl::TStringList>()),
      FVideoFormats(std::make_unique<cl::TStringList>()) {
    FOleInitialized = win::SUCCEEDED(win::OleInitialize(nullptr));
}

TIEDirectShow::~TIEDirectShow() {
    Disconnect();
    ClearFilterList();
    FVideoInputs.reset();
    FAudioInputs.reset();
    FVideoCodecs.reset();
    FAudioCodecs.reset();
    FVideoFormats.reset();
    if (FOleInitialized) win::OleUninitialize();
}

void TIEDirectShow::ClearFilterList() { FFilterList.clear(); }

int32_t TIEDirectShow::GetGraphState() {
    if (!FMediaControl) return 0;
    // A graph that fails to answer (or is still changing state) counts as stopped: the
    // state variable is only read when the call succeeded.
    win::LONG state = 0;
    if (win::FAILED(FMediaControl->GetState(100, &state))) return 0;
    return state & 0xFF;
}

void TIEDirectShow::Disconnect() {
    if (FMediaControl && GetGraphState() != 0) FMediaControl->Stop();
    FWindowlessControl.Reset();
    FMediaEvent.Reset();
    FMediaControl.Reset();
    // The parts of a built graph go before the graph itself.
    while (!FGraphParts.empty()) FGraphParts.pop_back();
    FGraph.Reset();
}

void TIEDirectShow::SetNotifyWindow(win::HWND Window, uint32_t NewFrameMessage, uint32_t EventMessage) {
    FNotifyWindow = Window;
    FNewFrameMessage = NewFrameMessage;
    FEventMessage = EventMessage;
    if (IsConnected() && FMediaEvent)
        FMediaEvent->SetNotifyWindow(Window, static_cast<win::LONG>(EventMessage),
                                     reinterpret_cast<win::LONG_PTR>(this));
}

void TIEDirectShow::SetVideoPosition(const win::RECT& Source, const win::RECT& Dest) {
    if (!FWindowlessControl) return;
    const win::RECT src = Source, dst = Dest;
    FWindowlessControl->SetVideoPosition(&src, &dst);
}

void TIEDirectShow::GetNativeVideoSize(int32_t& Width, int32_t& Height) {
    if (!FWindowlessControl) return;
    win::LONG w = Width, h = Height;
    if (win::SUCCEEDED(FWindowlessControl->GetNativeVideoSize(&w, &h, nullptr, nullptr))) {
        Width = w;
        Height = h;
    }
}

void TIEDirectShow::RepaintVideo(win::HWND Window, win::HDC DC) {
    if (FWindowlessControl) FWindowlessControl->RepaintVideo(Window, DC);
}

}  // namespace ie
