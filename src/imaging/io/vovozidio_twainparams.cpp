// The acquisition parameters: defaults and the release of the shared acquisition state.
#include "imaging/io/vovozidio_twainparams.h"

#include "imaging/core/hyieutils_geometry.h"
#include "imaging/core/hyieutils_lists.h"
#include "imaging/io/ietwain.h"
#include "imaging/io/vovozidio.h"

namespace ie {

void (*IETWReleaseAll)(TIETWainShared& Shared, win::HWND OwnerWindow) = &IETWReleaseAllOf;

const cl::TClass* IETWainOwnerClass = nullptr;

TIETWainParams::TIETWainParams(TVovozIdIO* AOwner)
    : Owner(AOwner), XResolution(std::make_unique<TIEDoubleList>()), YResolution(std::make_unique<TIEDoubleList>()),
      XScaling(std::make_unique<TIEDoubleList>()), YScaling(std::make_unique<TIEDoubleList>()),
      PixelType(std::make_unique<TIEIntegerList>()), BitDepth(std::make_unique<TIEIntegerList>()),
      Orientation(std::make_unique<TIEIntegerList>()), Contrast(std::make_unique<TIEDoubleList>()),
      Brightness(std::make_unique<TIEDoubleList>()), Threshold(std::make_unique<TIEDoubleList>()),
      Rotation(std::make_unique<TIEDoubleList>()), StandardSize(std::make_unique<TIEIntegerList>()),
      CapabilityStream(std::make_unique<cl::TMemoryStream>()) {
    SetDefaultParams();
}

TIETWainParams::~TIETWainParams() {
    // Whatever acquisition state is left open goes first.
    if (IETWReleaseAll) IETWReleaseAll(Shared, IEGetOwnerWindow(Owner));
    SetDefaultParams();
}

void TIETWainParams::ClearLists() {
    for (TIEList* list : std::initializer_list<TIEList*>{
             XResolution.get(), YResolution.get(), XScaling.get(), YScaling.get(), PixelType.get(), BitDepth.get(),
             Orientation.get(), Contrast.get(), Brightness.get(), Threshold.get(), Rotation.get(), StandardSize.get()})
        list->Clear();
}

void TIETWainParams::SetDefaultParams() {
    Blocks.clear();
    VisibleDialog = 1;
    ShowProgressIndicator = 0;
    SelectedSource = 0;
    BufferedTransfer = 0;
    FileTransfer = 0;
    ClearLists();
    Gamma = 2.2;
    std::fill(std::begin(Reserved1), std::end(Reserved1), uint8_t{0});
    OwnerClassFlag = Owner && IETWainOwnerClass && Owner->InheritsFrom(*IETWainOwnerClass);
    UseMemoryHandle = 1;
    std::fill(std::begin(Reserved2), std::end(Reserved2), uint8_t{0});
    AutoFeed = 1;
    DuplexEnabled = 1;
    FeederEnabled = 0;
    OwnerClassFlag2 = OwnerClassFlag ? 1 : 0;
    AcquireFrame = 0;
    AutoDeskew = 0;
    OwnerClassFlag3 = OwnerClassFlag ? 1 : 0;
    std::fill(std::begin(Flags4), std::end(Flags4), uint8_t{0});
    LastError = -2;
    CompatibilityMode = 0;
    AcquireFrameLeft = -1.0;
    AcquireFrameTop = -1.0;
    ProductName.clear();
    Manufacturer.clear();
    ProductFamily.clear();
    SourceName.clear();
    LogFlag = 0;
    Language = -1;
    Country = 1;
    CapabilityStream->Clear();
    FrameCount = 0;
    LogFile.clear();
}

}  // namespace ie
