#include "player/zb_ImageUtils.h"

#include <memory>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/io/vovozidio.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/ielibrary.h"
#include "imaging/view/vovozidview.h"
#include "player/zb_ExeConverter.h"

namespace player {

namespace {

// The picture of the range as an 8-bit grey bitmap, or null when it cannot be had. The
// imaging view is never shown: it is made without owner or parent only to decode, convert
// and write the picture through its input/output and processing components.
std::unique_ptr<cl::TBitmap> DecodeMask(cl::TStream* Source, int64_t StartPos, int64_t EndPos) {
    auto view = std::make_unique<ie::TVovozIdView>(nullptr);
    auto bytes = std::make_unique<cl::TMemoryStream>();
    if (CopyShowRange(Source, StartPos, EndPos, bytes.get()) <= 0) return nullptr;
    bytes->SetPosition(0);
    ie::TVovozIdIO* io = view->GetIO();
    {
        // The reader refuses a picture beyond the masks' budget before it allocates it.
        ie::TIEReaderBudgetScope budget(kMaskPixelBudget);
        io->LoadFromStream(bytes.get());
    }
    bytes->Clear();
    // A reader that gives up part way may leave part of a picture: that is no mask either.
    if (io->Aborting || view->GetIEBitmap()->GetWidth() <= 0 || view->GetIEBitmap()->GetHeight() <= 0) return nullptr;
    view->GetProc()->ConvertToGray();
    io->Params().BitsPerSample = 8;
    io->Params().SamplesPerPixel = 1;
    io->SaveToStreamBMP(bytes.get());
    if (io->Aborting) return nullptr;
    bytes->SetPosition(0);
    auto mask = std::make_unique<cl::TBitmap>();
    mask->LoadFromStream(bytes.get());
    if (mask->GetEmpty() || mask->GetPixelFormat() != cl::pf8bit) return nullptr;
    return mask;
}

}  // namespace

void StartUpImagingLibrary() { ie::IEStartLibrary(); }

void ShutDownImagingLibrary() { ie::IEStopLibrary(); }

void LoadMaskFromStream(cl::TStream* Source, cl::TBitmap* Bitmap, int64_t StartPos, int64_t EndPos) noexcept {
    if (!Source || !Bitmap) return;
    try {
        std::unique_ptr<cl::TBitmap> mask = DecodeMask(Source, StartPos, EndPos);
        // Assign makes the whole copy before it replaces the pixels: a copy that cannot be
        // made leaves the previous mask.
        if (mask) Bitmap->Assign(mask.get());
    } catch (...) {
        // A mask that cannot be had leaves the previous one (none at first: the transition
        // is then a plain cut).
    }
}

}  // namespace player
