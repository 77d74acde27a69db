#include "imaging/processing/vovozidproc.h"

#include <algorithm>
#include <cmath>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/ieview.h"
#include "imaging/core/vovozidproc_bw.h"
#include "imaging/processing/iecanvas.h"
#include "imaging/processing/ieresample.h"
#include "imaging/processing/ierotate.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Construction and attachment

TVovozIdProc::TVovozIdProc(cl::TComponent* AOwner)
    : cl::TComponent(AOwner), AutoUndo(AOwner != nullptr), FPreviewFont(std::make_unique<cl::TFont>()),
      FDialogParams(std::make_unique<TIPDialogParams>()) {
    TakeOwnBitmap();
}

TVovozIdProc::~TVovozIdProc() {
    ReleaseView();
    if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
    ClearAllUndo();
    ClearAllRedo();
}

void TVovozIdProc::ReplaceWorkBitmap(TIEBitmap* Bitmap, bool Own) {
    if (Own) {
        FOwnBitmap.reset(Bitmap);
    } else {
        FOwnBitmap.reset();
    }
    FWorkBitmap = Bitmap;
}

void TVovozIdProc::TakeOwnBitmap() { ReplaceWorkBitmap(new TIEBitmap(), true); }

void TVovozIdProc::ReleaseView() {
    if (!FAttachedVovozId) return;
    FAttachedVovozId->RemoveBitmapChangeEvent(FBitmapChangeHandle);
    FAttachedVovozId->RemoveFreeNotification(this);
    FBitmapChangeHandle = nullptr;
    FAttachedVovozId = nullptr;
}

void TVovozIdProc::SetAttachedVovozId(TIEView* Value) {
    ReleaseView();
    if (!Value) {
        FWrappedBitmap = nullptr;
        TakeOwnBitmap();
        return;
    }
    if (FAttachedTImage) {
        FAttachedTImage->RemoveFreeNotification(this);
        FAttachedTImage = nullptr;
    }
    FAttachedVovozId = Value;
    TakeViewBitmap();
    Value->FreeNotification(this);
    FBitmapChangeHandle =
        Value->RegisterBitmapChangeEvent([this](cl::TObject* Sender, bool Destroying) { ViewBitmapChanged(Sender, Destroying); });
}

void TVovozIdProc::ViewBitmapChanged(cl::TObject* Sender, bool Destroying) {
    (void)Sender;
    if (!FAttachedVovozId) return;
    if (Destroying) {
        // The view frees the registration itself.
        FAttachedVovozId->RemoveFreeNotification(this);
        ForgetView();
        return;
    }
    TakeViewBitmap();
}

void TVovozIdProc::TakeViewBitmap() {
    if (TIEBitmap* image = FAttachedVovozId->GetIEBitmap()) {
        FWrappedBitmap = nullptr;
        ReplaceWorkBitmap(image, false);
    } else if (cl::TBitmap* vcl = FAttachedVovozId->GetBitmap()) {
        // A view that keeps its picture only in a class-library bitmap: wrapped, not copied.
        FWrappedBitmap = vcl;
        TakeOwnBitmap();
        FWorkBitmap->EncapsulateTBitmap(FWrappedBitmap, true);
    } else {
        // Nothing to show: an empty bitmap of the component's own, never a stale one.
        FWrappedBitmap = nullptr;
        TakeOwnBitmap();
    }
}

void TVovozIdProc::ForgetView() {
    // The view's bitmaps go with it: the component keeps an empty bitmap of its own, so no
    // later operation reaches freed pixels.
    FBitmapChangeHandle = nullptr;
    FAttachedVovozId = nullptr;
    FWrappedBitmap = nullptr;
    TakeOwnBitmap();
}

void TVovozIdProc::SetAttachedTImage(cl::TImage* Value) {
    ReleaseView();
    if (FAttachedTImage && FAttachedTImage != Value) FAttachedTImage->RemoveFreeNotification(this);
    FAttachedTImage = Value;
    if (Value) {
        FWrappedBitmap = Value->GetPicture()->GetBitmap();
        if (!FOwnBitmap || FWorkBitmap != FOwnBitmap.get()) TakeOwnBitmap();
        FWorkBitmap->EncapsulateTBitmap(FWrappedBitmap, true);
        Value->FreeNotification(this);
    } else {
        // Detaching forgets the TImage's bitmap: nothing may reach it any more.
        FWrappedBitmap = nullptr;
        TakeOwnBitmap();
    }
}

void TVovozIdProc::AttachBitmap(TIEBitmap* Bitmap) {
    if (!Bitmap && (FAttachedTImage || FAttachedVovozId)) return;
    ReleaseView();
    if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
    FWrappedBitmap = nullptr;
    ReplaceWorkBitmap(Bitmap, false);
    if (Bitmap) FAttachedTImage = nullptr;
}

void TVovozIdProc::Notification(cl::TComponent* AComponent, cl::TOperation Operation) {
    cl::TComponent::Notification(AComponent, Operation);
    if (Operation != cl::opRemove || !AComponent) return;
    // Normally the view's bitmap-change event came first; this covers a view that went
    // without calling it.
    if (AComponent == FAttachedVovozId) ForgetView();
    if (AComponent == FAttachedTImage) {
        // The TImage and its bitmap are going: the work bitmap that wrapped it is dropped
        // with it, so no later operation reaches freed pixels.
        FAttachedTImage = nullptr;
        FWrappedBitmap = nullptr;
        TakeOwnBitmap();
    }
}

cl::TColor TVovozIdProc::GetBackground() const {
    return FAttachedVovozId ? FAttachedVovozId->GetBackground() : FBackground;
}

void TVovozIdProc::SetBackground(cl::TColor Value) {
    if (FAttachedVovozId)
        FAttachedVovozId->SetBackground(Value);
    else
        FBackground = Value;
}

void TVovozIdProc::SetPreviewFont(cl::TFont* Value) {
    if (Value) FPreviewFont->Assign(Value);
}

// ---------------------------------------------------------------------------------------
// The frame of an operation

namespace {

// Preference rows of the automatic conversion (ieNone ends a row).
constexpr TIEPixelFormat kPreferences[IEPixelFormatCount][7] = {
    /* ieNone   */ {ieNone},
    /* ie1g     */ {ie8g, ie16g, ie32f, ie24RGB},
    /* ie8p     */ {ie24RGB, ieCMYK, ieRGB48, ieCIELab},
    /* ie8g     */ {ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48},
    /* ie16g    */ {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK},
    /* ie24RGB  */ {ieCMYK, ieCIELab, ieRGB48, ie8p, ie16g, ie8g},
    /* ie32f    */ {ie16g, ie8g, ie24RGB, ieRGB48, ieCIELab},
    /* ieCMYK   */ {ie24RGB, ieRGB48, ieCIELab, ie8g},
    /* ieRGB48  */ {ie24RGB, ieCMYK, ieCIELab, ie16g},
    /* ieCIELab */ {ie24RGB, ieCMYK, ieRGB48, ie8g},
    /* ie32RGB  */ {ie24RGB, ieCMYK, ieRGB48, ie8g},
};

bool InSet(TIEPixelFormatSet Set, TIEPixelFormat Format) { return (Set >> Format) & 1u; }

}  // namespace

bool TVovozIdProc::MakeConsistentBitmap(TIEPixelFormatSet AllowedFormats) {
    if (!FWorkBitmap) return false;
    if (FAttachedTImage) {
        // The picture may have been given another bitmap since the last operation.
        FWrappedBitmap = FAttachedTImage->GetPicture()->GetBitmap();
    }
    if (FWrappedBitmap) FWorkBitmap->EncapsulateTBitmap(FWrappedBitmap, false);
    return CheckPixelFormat(AllowedFormats);
}

bool TVovozIdProc::CheckPixelFormat(TIEPixelFormatSet AllowedFormats) {
    const TIEPixelFormat current = FWorkBitmap->GetPixelFormat();
    if (AllowedFormats == 0 || InSet(AllowedFormats, current)) return true;
    if (!AutoConvertFormat) return false;
    if (IEIsValidPixelFormat(current))
        for (TIEPixelFormat f : kPreferences[current]) {
            if (f == ieNone) break;
            if (InSet(AllowedFormats, f)) return FWorkBitmap->SetPixelFormat(f);
        }
    for (int f = IEPixelFormatCount - 1; f >= 0; --f)
        if (InSet(AllowedFormats, static_cast<TIEPixelFormat>(f)))
            return FWorkBitmap->SetPixelFormat(static_cast<TIEPixelFormat>(f));
    return false;
}

bool TVovozIdProc::GetWorkArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, const cl::TPoint*& PolygonPoints,
                               int32_t& PolygonCount, TIEMask*& Mask) {
    if (FWorkBitmap && FWrappedBitmap) FWorkBitmap->EncapsulateTBitmap(FWrappedBitmap, false);
    X1 = Y1 = 0;
    X2 = FWorkBitmap ? FWorkBitmap->GetWidth() : 0;
    Y2 = FWorkBitmap ? FWorkBitmap->GetHeight() : 0;
    PolygonPoints = nullptr;
    PolygonCount = 0;
    Mask = nullptr;
    auto* view = dynamic_cast<TIEProcViewHost*>(FAttachedVovozId);
    if (!view) return false;
    Mask = view->GetSelectionMask();
    if (!view->GetSelected()) return false;
    if (Mask && !Mask->IsEmpty()) {
        // The mask's box is inclusive.
        X1 = Mask->X1;
        Y1 = Mask->Y1;
        X2 = Mask->X2 + 1;
        Y2 = Mask->Y2 + 1;
    }
    PolygonPoints = view->GetSelectionPolygon();
    PolygonCount = view->GetSelectionPointCount();
    return true;
}

bool TVovozIdProc::BeginImageProcessing(TIEPixelFormatSet AllowedFormats, int32_t& X1, int32_t& Y1, int32_t& X2,
                                        int32_t& Y2, const std::string& Caption, TIEBitmap*& ProcBitmap,
                                        TIEMask*& Mask) {
    ProcBitmap = nullptr;
    Mask = nullptr;
    if (AutoUndo) SaveUndoCaptioned(Caption, ieuImage);
    if (!MakeConsistentBitmap(AllowedFormats)) return false;
    const cl::TPoint* polygon = nullptr;
    int32_t points = 0;
    GetWorkArea(X1, Y1, X2, Y2, polygon, points, Mask);
    if (!Mask || Mask->IsEmpty()) {
        // The view's mask is there also without a selection: the whole picture is worked on.
        Mask = nullptr;
        ProcBitmap = FWorkBitmap;
        return true;
    }
    // The selection's box, clipped to the picture.
    const int32_t bx1 = std::max(Mask->X1, 0), by1 = std::max(Mask->Y1, 0);
    const int32_t bx2 = std::min(Mask->X2, FWorkBitmap->GetWidth() - 1);
    const int32_t by2 = std::min(Mask->Y2, FWorkBitmap->GetHeight() - 1);
    if (bx2 < bx1 || by2 < by1) {
        ProcBitmap = FWorkBitmap;
        Mask = nullptr;
        X1 = Y1 = 0;
        X2 = FWorkBitmap->GetWidth();
        Y2 = FWorkBitmap->GetHeight();
        return true;
    }
    const int32_t w = bx2 - bx1 + 1, h = by2 - by1 + 1;
    auto box = std::make_unique<TIEBitmap>(w, h, FWorkBitmap->GetPixelFormat());
    FWorkBitmap->CopyRectTo(box.get(), bx1, by1, 0, 0, w, h);
    if (FWorkBitmap->HasAlphaChannel())
        FWorkBitmap->GetAlphaChannel()->CopyRectTo(box->GetAlphaChannel(), bx1, by1, 0, 0, w, h);
    X1 = Y1 = 0;
    X2 = w;
    Y2 = h;
    ProcBitmap = box.release();
    return true;
}

void TVovozIdProc::EndImageProcessing(TIEBitmap* ProcBitmap, TIEMask* Mask) {
    if (ProcBitmap && ProcBitmap != FWorkBitmap) {
        std::unique_ptr<TIEBitmap> box(ProcBitmap);
        if (Mask) {
            // Pixels first; the alpha channel only when the operation made it non-opaque.
            const bool alpha = box->HasAlphaChannel() && !box->GetAlphaChannel()->Full;
            Mask->CopyBitmap(FWorkBitmap, box.get(), alpha, true, false);
            if (alpha) FWorkBitmap->GetAlphaChannel()->Full = false;
        }
    }
    UpdateAttached();
}

void TVovozIdProc::UpdateAttached() {
    // A class-library bitmap holds no alpha channel.
    if (FWrappedBitmap && FWorkBitmap && FWorkBitmap->HasAlphaChannel())
        FWorkBitmap->RemoveAlphaChannel(false, cl::clWhite);
    if (FAttachedVovozId) {
        FAttachedVovozId->Update();
        FAttachedVovozId->ImageChange();
    } else if (FWrappedBitmap) {
        FWrappedBitmap->SetModified(true);
    }
}

void TVovozIdProc::DoFinishWork() {
    if (OnProgress) OnProgress(this, 100);
    if (OnFinishWork) OnFinishWork(this);
}

// ---------------------------------------------------------------------------------------
// Undo and redo

std::unique_ptr<cl::TObject> TVovozIdProc::MakeSnapshot(TIEUndoSource Source, bool& Fire) {
    Fire = false;
    auto* view = dynamic_cast<TIEProcViewHost*>(FAttachedVovozId);
    if (Source != ieuImage) {
        // Selections, layers and objects are the view's: without one there is nothing to
        // take, and nothing is pushed.
        if (!view) return nullptr;
        std::unique_ptr<cl::TObject> snapshot = view->MakeUndoSnapshot(Source);
        Fire = snapshot != nullptr;
        return snapshot;
    }
    if (!MakeConsistentBitmap(0)) return nullptr;
    Fire = true;
    if (FWorkBitmap->GetWidth() < 2 || FWorkBitmap->GetHeight() < 2) return nullptr;
    auto snapshot = std::make_unique<TIEBitmap>();
    snapshot->MinFileSize = 0;
    snapshot->SetLocation(UndoLocation);
    snapshot->Assign(FWorkBitmap);
    // The layer the picture belongs to: undo writes it back there, whichever layer is
    // current by then.
    snapshot->LayerIndex = view ? view->GetCurrentLayer() : -1;
    return snapshot;
}

bool TVovozIdProc::Push(std::vector<TUndoEntry>& Stack, TIEUndoSource Source, bool Event) {
    if (UndoLimit <= 0) return false;
    bool fire = false;
    std::unique_ptr<cl::TObject> snapshot = MakeSnapshot(Source, fire);
    const bool pushed = snapshot != nullptr;
    if (pushed) {
        const size_t limit = static_cast<size_t>(UndoLimit);
        if (Stack.size() >= limit)
            Stack.erase(Stack.begin(), Stack.begin() + static_cast<ptrdiff_t>(Stack.size() - limit + 1));
        Stack.push_back(TUndoEntry{std::move(snapshot), Source, std::string()});
    }
    if (Event && fire && OnSaveUndo) OnSaveUndo(this, Source);
    return pushed;
}

void TVovozIdProc::SaveUndo(TIEUndoSource Source) { Push(FUndo, Source, true); }

void TVovozIdProc::SaveRedo(TIEUndoSource Source) { Push(FRedo, Source, false); }

void TVovozIdProc::SaveUndoCaptioned(const std::string& Caption, TIEUndoSource Source) {
    if (!MakeConsistentBitmap(0) || FWorkBitmap->GetWidth() < 2 || FWorkBitmap->GetHeight() < 2) return;
    if (UndoLimit <= 0) return;
    // The caption goes to the entry this call pushed, and only to it.
    if (Push(FUndo, Source, true)) FUndo.back().Caption = Caption;
}

void TVovozIdProc::Restore(const TUndoEntry& Entry) {
    auto* view = dynamic_cast<TIEProcViewHost*>(FAttachedVovozId);
    if (Entry.Source != ieuImage) {
        // The view's loaders repaint it.
        if (view) view->RestoreUndoSnapshot(Entry.Source, Entry.Object.get());
        return;
    }
    auto* snapshot = static_cast<TIEBitmap*>(Entry.Object.get());
    TIEBitmap* target = FWorkBitmap;
    if (view && snapshot->LayerIndex >= 0 && view->GetLayerCount() > 0) {
        const int32_t layer = std::min(snapshot->LayerIndex, view->GetLayerCount() - 1);
        if (TIEBitmap* b = view->GetLayerBitmap(layer)) target = b;
    }
    target->Assign(snapshot);
    UpdateAttached();
}

void TVovozIdProc::UndoAt(int32_t Position, bool SaveRedoFirst) {
    if (!MakeConsistentBitmap(0)) return;
    if (Position < 0 || Position >= GetUndoCount()) return;
    const size_t index = FUndo.size() - 1 - static_cast<size_t>(Position);
    if (SaveRedoFirst) SaveRedo(FUndo[index].Source);
    Restore(FUndo[index]);
}

void TVovozIdProc::RedoAt(int32_t Position) {
    if (!MakeConsistentBitmap(0)) return;
    if (Position < 0 || Position >= GetRedoCount()) return;
    Restore(FRedo[FRedo.size() - 1 - static_cast<size_t>(Position)]);
}

void TVovozIdProc::ClearUndoAt(int32_t Position) {
    if (Position < 0 || Position >= GetUndoCount()) return;
    FUndo.erase(FUndo.begin() + static_cast<ptrdiff_t>(FUndo.size() - 1 - static_cast<size_t>(Position)));
}

void TVovozIdProc::ClearLastRedo() {
    if (!FRedo.empty()) FRedo.pop_back();
}

TIEUndoSource TVovozIdProc::GetUndoSourceAt(int32_t Index) const {
    if (Index < 0 || Index >= GetUndoCount()) return ieuUnknown;
    return FUndo[static_cast<size_t>(Index)].Source;
}

std::string TVovozIdProc::GetUndoCaptionAt(int32_t Index) const {
    if (Index < 0 || Index >= GetUndoCount()) return std::string();
    return FUndo[static_cast<size_t>(Index)].Caption;
}

TIEUndoSource TVovozIdProc::GetRedoSourceAt(int32_t Index) const {
    if (Index < 0 || Index >= GetRedoCount()) return ieuUnknown;
    return FRedo[static_cast<size_t>(Index)].Source;
}

TIEBitmap* TVovozIdProc::GetUndoBitmapAt(int32_t Index) const {
    if (Index < 0 || Index >= GetUndoCount() || FUndo[static_cast<size_t>(Index)].Source != ieuImage) return nullptr;
    return static_cast<TIEBitmap*>(FUndo[static_cast<size_t>(Index)].Object.get());
}

// ---------------------------------------------------------------------------------------
// Grey conversion

void IEConvertToGray24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    const int32_t xe = std::min(X2, Bitmap->GetWidth());
    const int32_t lastRow = std::min(Y2, Bitmap->GetHeight()) - 1;
    if (lastRow < Y1) return;
    const double factor = 100.0 / ((lastRow - Y1) + 0.5);
    const int32_t wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
    const TIEBitmapAccess saved = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    for (int32_t y = Y1; y <= lastRow; ++y) {
        auto* p = static_cast<uint8_t*>(Bitmap->GetScanline(y));
        if (p) {
            for (int32_t x = X1; x < xe; ++x) {
                uint8_t* px = p + 3 * static_cast<size_t>(x);
                const auto grey = static_cast<uint8_t>((px[2] * wr + px[1] * wg + px[0] * wb) / 100);
                px[0] = px[1] = px[2] = grey;
            }
        }
        if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc((y - Y1 + 1) * factor)));
    }
    Bitmap->GetScanline(-1);
    Bitmap->Access = saved;
}

void TVovozIdProc::ConvertToGray() {
    int32_t x1, y1, x2, y2;
    TIEBitmap* proc;
    TIEMask* mask;
    if (!BeginImageProcessing(IEFormatSet({ie24RGB}), x1, y1, x2, y2, "ConvertToGray", proc, mask)) return;
    IEConvertToGray24(proc, x1, y1, x2, y2, OnProgress, this);
    EndImageProcessing(proc, mask);
    DoFinishWork();
}

// ---------------------------------------------------------------------------------------
// Canvas size, clear, fill and crop

void TVovozIdProc::ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                               int32_t FillAlpha) {
    if (!MakeConsistentBitmap(0) || NewWidth <= 0 || NewHeight <= 0) return;
    if (NewWidth == FWorkBitmap->GetWidth() && NewHeight == FWorkBitmap->GetHeight()) return;
    if (AutoUndo)
        SaveUndoCaptioned("ImageResize " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), ieuImage);
    if (FWorkBitmap->GetWidth() < 2 && FWorkBitmap->GetHeight() < 2) Clear();
    IEImageResizeBitmap(FWorkBitmap, NewWidth, NewHeight, HorizAlign, VertAlign, FillAlpha,
                        cl::ColorToRGB(GetBackground()));
    UpdateAttached();
    DoFinishWork();
}

void TVovozIdProc::Clear() {
    if (!MakeConsistentBitmap(0)) return;
    if (AutoUndo) SaveUndoCaptioned("Clear", ieuImage);
    FWorkBitmap->Fill(static_cast<double>(cl::ColorToRGB(GetBackground())));
    UpdateAttached();
    DoFinishWork();
}

void TVovozIdProc::Fill(const TRGB& Color) {
    int32_t x1, y1, x2, y2;
    TIEBitmap* proc;
    TIEMask* mask;
    if (!BeginImageProcessing(0, x1, y1, x2, y2, "Fill", proc, mask)) return;
    IEFillRect(proc, x1, y1, x2, y2, Color, OnProgress, this);
    EndImageProcessing(proc, mask);
    DoFinishWork();
}

void TVovozIdProc::Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!MakeConsistentBitmap(0)) return;
    const int32_t w = FWorkBitmap->GetWidth(), h = FWorkBitmap->GetHeight();
    if (X1 == 0 && Y1 == 0 && X2 == w - 1 && Y2 == h - 1) return;
    // Parts reaching outside the picture, and parts of negative size, change nothing.
    if (X1 < 0 || Y1 < 0 || X2 >= w || Y2 >= h || X2 < X1 || Y2 < Y1) return;
    if (AutoUndo) SaveUndoCaptioned("Crop", ieuImage);
    IECropBitmap(FWorkBitmap, X1, Y1, X2, Y2);
    UpdateAttached();
    DoFinishWork();
}

void TVovozIdProc::CropTransparent() {
    if (!MakeConsistentBitmap(0)) return;
    cl::TRect bounds{};
    IEGetAlphaBounds(FWorkBitmap, bounds);
    const bool saved = AutoUndo;
    AutoUndo = false;
    CropToRect(bounds);
    AutoUndo = saved;
}

// ---------------------------------------------------------------------------------------
// Resampling and rotation

void TVovozIdProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
    if (!MakeConsistentBitmap(0)) return;
    const int32_t w = FWorkBitmap->GetWidth(), h = FWorkBitmap->GetHeight();
    if (w == 0 || h == 0 || (NewWidth == w && NewHeight == h)) return;
    // Both negative names no size: nothing is taken or changed.
    if (NewWidth < 0 && NewHeight < 0) return;
    if (AutoUndo) SaveUndoCaptioned("Resample " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), ieuImage);
    auto resampled = std::make_unique<TIEBitmap>();
    ResampleTo(resampled.get(), NewWidth, NewHeight, Filter);
    if (resampled->GetWidth() > 0 && resampled->GetHeight() > 0) FWorkBitmap->Assign(resampled.get());
    UpdateAttached();
    DoFinishWork();
}

void TVovozIdProc::ResampleTo(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
    if (!Dest || Dest == FWorkBitmap || !MakeConsistentBitmap(0)) return;
    if (FWorkBitmap->GetWidth() == 0 || FWorkBitmap->GetHeight() == 0 || (NewWidth < 0 && NewHeight < 0)) return;
    IEResampleTo(FWorkBitmap, Dest, NewWidth, NewHeight, Filter, OnProgress, this);
    DoFinishWork();
}

void TVovozIdProc::Rotate(double Angle, bool AntiAlias, uint8_t Mode, cl::TColor Background) {
    if (Angle == 0 || !std::isfinite(Angle) || Mode > 2 || !MakeConsistentBitmap(0)) return;
    if (AutoUndo) SaveUndoCaptioned("Rotate " + cl::FloatToStr(Angle), ieuImage);
    if (Background == -1) Background = GetBackground();
    Background = cl::ColorToRGB(Background);  // a system colour as the red, green and blue it stands for
    IERotateImage(FWorkBitmap, Angle, AntiAlias, Mode, Background, OnProgress, this);
    UpdateAttached();
    DoFinishWork();
}

// ---------------------------------------------------------------------------------------
// Colour reduction

void TVovozIdProc::ConvertTo(int32_t NumColors, uint8_t DitherMethod) {
    if (!MakeConsistentBitmap(IEFormatSet({ie24RGB}))) return;
    if (AutoUndo) SaveUndoCaptioned("ConvertTo " + std::to_string(NumColors), ieuImage);
    if (NumColors < 3) {
        if (DitherMethod != 0)
            IEConvertToBWThreshold(FWorkBitmap, -1, OnProgress, this);
        else
            IEConvertToBWOrdered(FWorkBitmap, OnProgress, this);
    } else if (NumColors <= 1024) {
        IEQuantize24(FWorkBitmap, NumColors, nullptr, OnProgress, this);
    }
    UpdateAttached();
    DoFinishWork();
}

bool TVovozIdProc::ConvertToPalette(int32_t NumColors, TRGB* Palette, int32_t PaletteLength, uint8_t DitherMethod) {
    if (NumColors == 0 || !Palette || PaletteLength < std::max(2, NumColors)) return false;
    if (!MakeConsistentBitmap(IEFormatSet({ie24RGB}))) return false;
    if (AutoUndo) SaveUndoCaptioned("ConvertToPalette", ieuImage);
    if (NumColors < 3) {
        if (DitherMethod != 0)
            IEConvertToBWThreshold(FWorkBitmap, -1, OnProgress, this);
        else
            IEConvertToBWOrdered(FWorkBitmap, OnProgress, this);
        Palette[0] = TRGB{0, 0, 0};
        Palette[1] = TRGB{255, 255, 255};
    } else if (NumColors <= 1024) {
        IEQuantize24(FWorkBitmap, NumColors, Palette, OnProgress, this);
    }
    UpdateAttached();
    DoFinishWork();
    return true;
}

}  // namespace ie
