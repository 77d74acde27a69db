// The acquisition parameters TIETWainParams: the settings and capability lists of a
// scanner acquisition, and the component's shared acquisition state (the source-manager
// library, its entry point and the proxy window). Nothing acquires on this system; the
// object's one effect is that destroying it releases whatever acquisition state is left.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "platform/windef.h"

namespace ie {

class TVovozIdIO;
class TIEDoubleList;
class TIEIntegerList;

// The shared acquisition state of a component.
struct TIETWainShared {
    void* DSMLibrary = nullptr;  // the source-manager library when loaded
    void* DSMEntry = nullptr;    // its entry point
    win::HWND ProxyWindow = nullptr;
};

// Releases what the shared state holds (the proxy window, the source-manager library);
// IETWReleaseAllOf of the acquisition glue, replaceable, null: nothing is released.
extern void (*IETWReleaseAll)(TIETWainShared& Shared, win::HWND OwnerWindow);

// Components of this class (set by the dialog glue) count as the dialog's owners.
extern const cl::TClass* IETWainOwnerClass;

class TIETWainParams : public cl::TObject {
    CL_DECLARE_CLASS(TIETWainParams, cl::TObject)
public:
    explicit TIETWainParams(TVovozIdIO* AOwner);
    ~TIETWainParams() override;

    // Frees the capability blocks and sets every setting to its default.
    void SetDefaultParams();

    TVovozIdIO* Owner = nullptr;
    uint8_t VisibleDialog = 1;
    uint8_t ShowProgressIndicator = 0;
    // Memory blocks holding capability data.
    std::vector<std::unique_ptr<uint8_t[]>> Blocks;
    int32_t SelectedSource = 0;
    uint8_t BufferedTransfer = 0, FileTransfer = 0;
    // Capability lists: eight of Doubles, four of integers.
    std::unique_ptr<TIEDoubleList> XResolution, YResolution, XScaling, YScaling;
    std::unique_ptr<TIEIntegerList> PixelType, BitDepth;
    double Gamma = 2.2;
    uint8_t Reserved1[16] = {};
    bool OwnerClassFlag = false;  // the owner is of the class the dialog glue registers
    std::unique_ptr<TIEIntegerList> Orientation;
    uint8_t UseMemoryHandle = 1;
    uint8_t Reserved2[16] = {};
    uint8_t AutoFeed = 1, DuplexEnabled = 1, FeederEnabled = 0, OwnerClassFlag2 = 0, AcquireFrame = 0;
    std::unique_ptr<TIEDoubleList> Contrast, Brightness, Threshold, Rotation;
    uint8_t AutoDeskew = 0;
    std::unique_ptr<TIEIntegerList> StandardSize;
    uint8_t OwnerClassFlag3 = 0;
    uint8_t Flags4[4] = {};
    int32_t LastError = -2;
    uint8_t CompatibilityMode = 0;
    double AcquireFrameLeft = -1.0, AcquireFrameTop = -1.0;
    cl::String ProductName, Manufacturer, ProductFamily, SourceName;
    uint8_t LogFlag = 0;
    int16_t Language = -1, Country = 1;
    std::unique_ptr<cl::TMemoryStream> CapabilityStream;
    TIETWainShared Shared;
    int32_t FrameCount = 0;
    cl::String LogFile;

private:
    void ClearLists();
};

}  // namespace ie
