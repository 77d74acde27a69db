// The processing component of the imaging library: TVovozIdProc works on one TIEBitmap
// (its own, a TImage's picture bitmap that it wraps, or a caller's bitmap) and runs every
// image operation inside one frame: an optional undo snapshot, a pixel-format check with
// automatic conversion, restriction to the selection, the pixel work with progress, the
// copy-back through the selection mask, the refresh of what it is attached to and the
// finish notification. Also the undo and redo stacks, the grey conversion, the colour
// reduction and the dialog parameter set each component owns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"

namespace cl {
class TForm;
}

namespace ie {

class TIEBitmap;
class TIEMask;
class TIEView;
struct TIEBitmapChangeRecord;

// The kind of an undo snapshot.
enum TIEUndoSource : uint8_t {
    ieuUnknown,
    ieuImage,
    ieuSelection,
    ieuObject,
    ieuLayer,
    ieuFullLayer,
    ieuObjectsAndLayers,
};

// A set of pixel formats (bit f for the format f).
using TIEPixelFormatSet = uint32_t;
constexpr TIEPixelFormatSet IEFormatSet(std::initializer_list<TIEPixelFormat> Formats) {
    TIEPixelFormatSet s = 0;
    for (TIEPixelFormat f : Formats) s |= 1u << f;
    return s;
}

// The preview dialogs' options (a set: bit v for the value v).
enum TPRPreviewsParam : uint8_t {
    prppDefaultLockPreview,
    prppShowResetButton,
    prppHardReset,
    prppResetSelectedTab,
};
using TPRPreviewsParams = uint8_t;

using TIESaveUndoEvent = std::function<void(cl::TObject* Sender, TIEUndoSource Source)>;
using TIEPreviewEvent = std::function<void(cl::TObject* Sender, cl::TForm* PreviewForm)>;

// ---------------------------------------------------------------------------------------
// The parameters of the preview dialogs, kept per component (nothing else reads them).

class TIPDialogParams {
public:
    TIPDialogParams();
    TIPDialogParams(const TIPDialogParams&) = delete;
    TIPDialogParams& operator=(const TIPDialogParams&) = delete;

    // Every value back to its start and the cached preview emptied.
    void Reset();
    // The four values whose change makes the cached preview stale.
    int32_t GetTracked(int Index) const { return FTracked[Index & 3]; }
    void SetTracked(int Index, int32_t Value);

    int32_t Values[11] = {};
    int32_t Matrix[9] = {};  // a 3 x 3 matrix, row by row
    int32_t Divisor = 0;
    TRGB Colors[4];  // two colour pairs
    int32_t Values2[3] = {};
    int32_t Size1[2] = {};
    TRGB Color;
    int32_t Values3[4] = {};
    int32_t Size2[2] = {};
    double Factor1 = 0;
    int32_t Values4[5] = {};
    int32_t Values5[2] = {};
    double Value = 0;
    double Factor2 = 0;
    int32_t Values6[2] = {};
    bool Flag = false;
    cl::TMemoryStream PreviewCache;

private:
    int32_t FTracked[4] = {-1, -1, -1, -1};
};

// ---------------------------------------------------------------------------------------
// The component.

// What the component asks of an attached view that keeps a selection, layers and undo kinds
// of its own (the library's view control is one). A base view without them is worked on
// whole, and only its image is snapshotted.
class TIEProcViewHost {
public:
    virtual TIEMask* GetSelectionMask() const = 0;
    virtual bool GetSelected() const = 0;
    virtual const cl::TPoint* GetSelectionPolygon() const = 0;
    virtual int32_t GetSelectionPointCount() const = 0;
    virtual int32_t GetLayerCount() const = 0;
    virtual int32_t GetCurrentLayer() const = 0;
    // The bitmap of layer Index (0 <= Index < GetLayerCount()).
    virtual TIEBitmap* GetLayerBitmap(int32_t Index) const = 0;
    // The snapshot of a kind the view keeps (selection, layers, objects); nil when none.
    virtual std::unique_ptr<cl::TObject> MakeUndoSnapshot(TIEUndoSource Source) = 0;
    virtual bool RestoreUndoSnapshot(TIEUndoSource Source, cl::TObject* Snapshot) = 0;

protected:
    ~TIEProcViewHost() = default;
};

class TVovozIdProc : public cl::TComponent {
    CL_DECLARE_COMPONENT(TVovozIdProc, cl::TComponent)
public:
    // AutoUndo is on exactly when an owner is given.
    explicit TVovozIdProc(cl::TComponent* AOwner);
    ~TVovozIdProc() override;

    // ----- attachment (a view, a TImage and a caller's bitmap exclude each other)
    TIEView* GetAttachedVovozId() const { return FAttachedVovozId; }
    // Works on the view's current image from now on and follows it when the view shows
    // another one (a view offering only a class-library bitmap is wrapped); nil detaches and
    // leaves an empty bitmap of the component's own. Operations then honour the view's
    // selection, refresh the view and fire its image-change event, and snapshots of the
    // selection, the layers and the objects are taken through it.
    void SetAttachedVovozId(TIEView* Value);
    // The attached view's bitmap-change event: the view shows another image object, or
    // (Destroying) it goes away and is forgotten.
    void ViewBitmapChanged(cl::TObject* Sender, bool Destroying);
    cl::TImage* GetAttachedTImage() const { return FAttachedTImage; }
    // Works on the TImage's picture bitmap (wrapped, not copied); nil detaches and leaves
    // an empty bitmap of the component's own.
    void SetAttachedTImage(cl::TImage* Value);
    // Works on a caller's bitmap from now on (nil with nothing attached: no work bitmap,
    // and every operation does nothing). The caller keeps it alive while attached.
    void AttachBitmap(TIEBitmap* Bitmap);
    TIEBitmap* GetWorkBitmap() const { return FWorkBitmap; }
    cl::TBitmap* GetWrappedBitmap() const { return FWrappedBitmap; }

    // The attached view's Background, else the component's own.
    cl::TColor GetBackground() const;
    void SetBackground(cl::TColor Value);

    // ----- published settings and events
    bool AutoUndo = true;
    bool AutoConvertFormat = true;
    int32_t UndoLimit = 1;  // stored only; older entries go at the next push
    TMsgLanguage MsgLanguage = msSystem;
    TPRPreviewsParams PreviewsParams = (1u << prppShowResetButton) | (1u << prppHardReset);
    cl::TFont* GetPreviewFont() const { return FPreviewFont.get(); }
    void SetPreviewFont(cl::TFont* Value);
    TIEProgressEvent OnProgress;
    cl::TNotifyEvent OnFinishWork;
    TIESaveUndoEvent OnSaveUndo;
    TIEPreviewEvent OnPreview;
    TIELocation UndoLocation = ieFile;  // where image snapshots keep their pixels
    TIPDialogParams* GetDialogParams() const { return FDialogParams.get(); }

    // ----- the frame of an operation
    // False without a work bitmap; re-wraps the wrapped bitmap, then CheckPixelFormat.
    bool MakeConsistentBitmap(TIEPixelFormatSet AllowedFormats);
    // True when the format is allowed (empty set: any); else, with AutoConvertFormat, the
    // first allowed format of the current format's preference row (then the formats from
    // the last down to ieNone) is applied.
    bool CheckPixelFormat(TIEPixelFormatSet AllowedFormats);
    // The rectangle to work on (X2, Y2 exclusive), the selection polygon and the selection
    // mask: the whole picture and no mask without an attached view; with one, its mask, and
    // while it has a selection the mask's box (when the mask is not empty) and its polygon.
    // The result tells whether a selection is there.
    virtual bool GetWorkArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, const cl::TPoint*& PolygonPoints,
                             int32_t& PolygonCount, TIEMask*& Mask);
    // Snapshot, format check, work area; ProcBitmap is the work bitmap or, with a selection,
    // a copy of the selection's box. False: the operation ends (the snapshot stays).
    bool BeginImageProcessing(TIEPixelFormatSet AllowedFormats, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                              const std::string& Caption, TIEBitmap*& ProcBitmap, TIEMask*& Mask);
    // Writes a box copy back through the mask and frees it, then UpdateAttached.
    void EndImageProcessing(TIEBitmap* ProcBitmap, TIEMask* Mask);
    // A wrapped TBitmap loses the alpha channel it cannot hold; then an attached view is
    // updated and fires its image-change event, else a wrapped TBitmap is marked modified.
    void UpdateAttached();
    // OnProgress(100), then OnFinishWork.
    virtual void DoFinishWork();

    // ----- undo and redo
    virtual void SaveUndo(TIEUndoSource Source);
    virtual void SaveRedo(TIEUndoSource Source);
    void SaveUndoCaptioned(const std::string& Caption, TIEUndoSource Source);
    void Undo(bool SaveRedo = false) { UndoAt(0, SaveRedo); }
    void Redo() { RedoAt(0); }
    // Restore the entry Position counted from the newest; the entry stays on its stack.
    virtual void UndoAt(int32_t Position, bool SaveRedo = false);
    virtual void RedoAt(int32_t Position);
    void ClearUndoAt(int32_t Position);
    virtual void ClearLastRedo();
    void ClearAllUndo() { FUndo.clear(); }
    void ClearAllRedo() { FRedo.clear(); }
    int32_t GetUndoCount() const { return static_cast<int32_t>(FUndo.size()); }
    int32_t GetRedoCount() const { return static_cast<int32_t>(FRedo.size()); }
    // Absolute index, 0 = oldest; ieuUnknown / empty outside.
    TIEUndoSource GetUndoSourceAt(int32_t Index) const;
    std::string GetUndoCaptionAt(int32_t Index) const;
    TIEUndoSource GetRedoSourceAt(int32_t Index) const;
    // The image snapshot of an undo entry (absolute index), nil for other kinds.
    TIEBitmap* GetUndoBitmapAt(int32_t Index) const;

    // ----- operations
    // Grey levels (the library's weights) into the three channels of a 24-bit picture;
    // other formats are first converted to 24 bits when AutoConvertFormat is on.
    void ConvertToGray();
    // A new canvas size with the picture aligned inside it (0 left or top, 1 centre, 2 right
    // or bottom); new area in the Background, new alpha area FillAlpha.
    void ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign = 0, uint8_t VertAlign = 0,
                     int32_t FillAlpha = 255);
    // The whole picture to the Background (the alpha channel and the selection untouched).
    void Clear();
    // The picture, or the selection, to one colour.
    void Fill(const TRGB& Color);
    // The picture becomes its part X1..X2 x Y1..Y2 (inclusive). The whole picture, a part
    // reaching outside it or one of negative size: nothing, not even a snapshot.
    void Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void CropToRect(const cl::TRect& Rect) { Crop(Rect.left, Rect.top, Rect.right, Rect.bottom); }
    // Crops to the columns and rows whose alpha is not zero, without a snapshot; nothing
    // without an alpha channel or when every alpha is zero.
    void CropTransparent();
    // New pixel dimensions (-1 keeps the aspect ratio from the other size, other negative
    // values count by their magnitude, 0 keeps that size). Both negative: nothing at all.
    void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
    // The work bitmap resampled into Dest (the work bitmap unchanged).
    void ResampleTo(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
    // Turns the picture and its alpha channel by Angle degrees (counter-clockwise), growing
    // the canvas. Mode 0 three shears, 1 bilinear, 2 bicubic (with AntiAlias); other modes
    // and an angle of 0 do nothing. Background -1 is the Background property.
    void Rotate(double Angle, bool AntiAlias, uint8_t Mode, cl::TColor Background);
    // Colour reduction of the whole picture: below 3 colours black and white (DitherMethod
    // 0 ordered dither, else the average threshold), 3..1024 colours by the quantizer (the
    // picture stays 24-bit); above 1024 nothing changes.
    void ConvertTo(int32_t NumColors, uint8_t DitherMethod);
    // As ConvertTo, and Palette receives the colours used. False, with nothing done, when
    // NumColors is 0 or the palette holds fewer than max(2, NumColors) entries.
    bool ConvertToPalette(int32_t NumColors, TRGB* Palette, int32_t PaletteLength, uint8_t DitherMethod);

protected:
    void Notification(cl::TComponent* AComponent, cl::TOperation Operation) override;

private:
    struct TUndoEntry {
        std::unique_ptr<cl::TObject> Object;
        TIEUndoSource Source = ieuUnknown;
        std::string Caption;
    };
    // Builds the snapshot of Source; nil when there is nothing to take. Fire tells whether
    // the event still fires (an image too small for a snapshot).
    std::unique_ptr<cl::TObject> MakeSnapshot(TIEUndoSource Source, bool& Fire);
    bool Push(std::vector<TUndoEntry>& Stack, TIEUndoSource Source, bool Event);
    void Restore(const TUndoEntry& Entry);
    void TakeOwnBitmap();
    void ReplaceWorkBitmap(TIEBitmap* Bitmap, bool Own);
    // Removes the bitmap-change event and the free notification from the attached view and
    // forgets it.
    void ReleaseView();
    // The attached view's current image becomes the work bitmap (a class-library bitmap is
    // wrapped; without either, an empty bitmap of the component's own).
    void TakeViewBitmap();
    // Forgets a view that is going, without calling it, and keeps an empty bitmap.
    void ForgetView();

    TIEView* FAttachedVovozId = nullptr;
    TIEBitmapChangeRecord* FBitmapChangeHandle = nullptr;
    TIEBitmap* FWorkBitmap = nullptr;
    std::unique_ptr<TIEBitmap> FOwnBitmap;  // set when the work bitmap is the component's
    cl::TBitmap* FWrappedBitmap = nullptr;
    cl::TImage* FAttachedTImage = nullptr;
    cl::TColor FBackground = 0;
    std::unique_ptr<cl::TFont> FPreviewFont;
    std::unique_ptr<TIPDialogParams> FDialogParams;
    std::vector<TUndoEntry> FUndo;  // index 0 the oldest
    std::vector<TUndoEntry> FRedo;
};

// The grey worker: rows Y1 .. min(Y2, height) - 1, columns X1 .. min(X2, width) - 1 of an
// ie24RGB bitmap get (R x red + G x green + B x blue weight) div 100 in all three channels;
// after each row OnProgress(Sender, Trunc(rows done x 100 / (rows - 1 + 0.5))).
void IEConvertToGray24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       const TIEProgressEvent& OnProgress, cl::TObject* Sender);

// ---------------------------------------------------------------------------------------
// Start-up of the processing unit.

// The clipboard format "VOVOZID RAW FORMAT" (0 before the start-up).
extern uint32_t IEClipboardRawFormat;
void VovozIdProcStaticInit();
void VovozIdProcStaticFinal();
// Registers the two hooks with the library start-up (before IELibraryStaticInit).
void VovozIdProcRegisterStaticHooks();

}  // namespace ie
