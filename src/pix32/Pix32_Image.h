// The windowed controls that show TBitmap32 pictures: TCustomPaintBox32 paints into a back
// buffer and copies it (or only its invalid rectangles) to the window; TCustomImage32 shows its
// own bitmap, placed by an alignment and sized by a scale mode, with layers on top, its buffer
// produced by a list of paint stages; TCustomImgView32 adds scroll bars, centring and a margin.
//
// WM_PAINT paints through the paint stages; a device context handed to the control (WM_PAINT
// or WM_PRINTCLIENT with a DC, or the platform's DC redirection) receives the same pixels as
// the screen.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_Containers.h"
#include "pix32/Pix32_Layers.h"
#include "pix32/Pix32_RangeBars.h"
#include "pix32/Pix32_RepaintOpt.h"

namespace pix32 {

// ---- paint stages -----------------------------------------------------------------------------

struct TPaintStage {
    bool DesignTime = false;
    bool RunTime = true;
    uint32_t Kind = 0;  // TPaintStageKind
    uint32_t Parameter = 0;
};
using PPaintStage = TPaintStage*;

constexpr uint32_t PST_CUSTOM = 1;
constexpr uint32_t PST_CLEAR_BUFFER = 2;
constexpr uint32_t PST_CLEAR_BACKGND = 3;
constexpr uint32_t PST_DRAW_BITMAP = 4;
constexpr uint32_t PST_DRAW_LAYERS = 5;
constexpr uint32_t PST_CONTROL_FRAME = 6;
constexpr uint32_t PST_BITMAP_FRAME = 7;
enum TPaintStageKind : uint32_t {
    psCustom = PST_CUSTOM,
    psClearBuffer = PST_CLEAR_BUFFER,
    psClearBackground = PST_CLEAR_BACKGND,
    psDrawBitmap = PST_DRAW_BITMAP,
    psDrawLayers = PST_DRAW_LAYERS,
    psControlFrame = PST_CONTROL_FRAME,
    psBitmapFrame = PST_BITMAP_FRAME,
};

class TPaintStages : public cl::TObject {
    CL_DECLARE_CLASS(TPaintStages, cl::TObject)
public:
    // Appends a new stage (design time off, run time on, kind 0, parameter 0) and returns it.
    PPaintStage Add();
    void Clear() { FItems.clear(); }
    void Delete(int32_t Index);
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    // A bad index raises EListError.
    PPaintStage Items(int32_t Index);

private:
    std::vector<std::unique_ptr<TPaintStage>> FItems;
};

// ---- enumerations and events ------------------------------------------------------------------

enum TBitmapAlign : uint8_t { baTopLeft = 0, baCenter = 1, baTile = 2, baCustom = 3 };
enum TScaleMode : uint8_t {
    smNormal = 0,
    smStretch = 1,
    smScale = 2,
    smResize = 3,
    smOptimal = 4,
    smOptimalScaled = 5
};
enum TRepaintMode : uint8_t { rmFull = 0, rmDirect = 1, rmOptimizer = 2 };
enum TScrollBarVisibility : uint8_t { svAlways = 0, svHidden = 1, svAuto = 2 };
enum TSizeGripStyle : uint8_t { sgAuto = 0, sgNone = 1, sgAlways = 2 };
enum TPaintBoxOption : uint8_t { pbWantArrowKeys = 1, pbFocusOnClick = 2 };
using TPaintBoxOptions = uint8_t;

class TCustomImage32;
using TPaintStageEvent = std::function<void(cl::TObject* Sender, TBitmap32* Buffer, uint32_t StageNum)>;
using TPaintStageHandler = void (TCustomImage32::*)(TBitmap32* Dest, int32_t StageNum);
using TImgMouseEvent = std::function<void(cl::TObject* Sender, cl::TMouseButton Button, cl::TShiftState Shift,
                                          int32_t X, int32_t Y, TCustomLayer* Layer)>;
using TImgMouseMoveEvent =
    std::function<void(cl::TObject* Sender, cl::TShiftState Shift, int32_t X, int32_t Y, TCustomLayer* Layer)>;

// ---- TCustomPaintBox32 ------------------------------------------------------------------------

class TCustomPaintBox32 : public cl::TCustomControl {
    CL_DECLARE_COMPONENT(TCustomPaintBox32, cl::TCustomControl)
public:
    explicit TCustomPaintBox32(cl::TComponent* AOwner);
    ~TCustomPaintBox32() override;

    TBitmap32* Buffer() const { return FBuffer.get(); }
    bool BufferValid() const { return FBufferValid; }
    int32_t BufferOversize() const { return FBufferOversize; }
    void SetBufferOversize(int32_t Value) { FBufferOversize = Value; }
    TRepaintMode RepaintMode() const { return FRepaintMode; }
    virtual void SetRepaintMode(TRepaintMode Value);
    TRectList* InvalidRects() const { return FInvalidRects.get(); }
    TCustomRepaintOptimizer* RepaintOptimizer() const { return FRepaintOptimizer.get(); }
    bool ForceFullRepaint() const { return FForceFullRepaint; }
    TPaintBoxOptions Options() const { return FOptions; }
    void SetOptions(TPaintBoxOptions Value) { FOptions = Value; }
    bool MouseInControl() const { return FMouseInControl; }

    virtual win::RECT GetViewportRect();
    virtual void ForceFullInvalidate();
    void Invalidate() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void Loaded() override;
    // Re-creates the back buffer when the viewport outgrew it or shrank by more than the
    // oversize margin.
    void ResizeBuffer();

    cl::TNotifyEvent OnGDIOverlay;

    // Used by the message handlers.
    void WMPaint(cl::TMessage& Message);
    void WMPrintClient(cl::TMessage& Message);
    void WMGetDlgCode(cl::TMessage& Message);
    void CMInvalidate(cl::TMessage& Message);
    virtual void MouseEnter();
    virtual void MouseLeave();

protected:
    void Paint() override;
    void Resize() override;
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;

    virtual bool CustomRepaint();
    virtual bool InvalidRectsAvailable();
    virtual void DoPrepareInvalidRects();
    virtual void DoPaintBuffer();
    virtual void DoPaintGDIOverlay();
    virtual void BufferResized(int32_t OldWidth, int32_t OldHeight);
    // The buffer's area reports in rmDirect.
    void DirectAreaUpdateHandler(cl::TObject* Sender, const TRect& Area, uint32_t Info);

    std::unique_ptr<TBitmap32> FBuffer;
    int32_t FBufferOversize = 40;
    bool FBufferValid = false;
    TRepaintMode FRepaintMode = rmFull;
    std::unique_ptr<TRectList> FInvalidRects;
    bool FForceFullRepaint = true;
    std::unique_ptr<TCustomRepaintOptimizer> FRepaintOptimizer;
    TPaintBoxOptions FOptions = 0;
    bool FMouseInControl = false;
};

class TPaintBox32 : public TCustomPaintBox32 {
    CL_DECLARE_COMPONENT(TPaintBox32, TCustomPaintBox32)
public:
    explicit TPaintBox32(cl::TComponent* AOwner) : TCustomPaintBox32(AOwner) {}
    cl::TNotifyEvent OnPaintBuffer;

protected:
    // Fires OnPaintBuffer after the base buffer paint.
    void DoPaintBuffer() override;
};

// ---- TCustomImage32 ---------------------------------------------------------------------------

class TCustomImage32 : public TCustomPaintBox32 {
    CL_DECLARE_COMPONENT(TCustomImage32, TCustomPaintBox32)
public:
    explicit TCustomImage32(cl::TComponent* AOwner);
    ~TCustomImage32() override;

    TBitmap32* Bitmap() const { return FBitmap.get(); }
    // Assigns into the owned bitmap.
    void SetBitmap(TBitmap32* Value);
    TBitmapAlign BitmapAlign() const { return FBitmapAlign; }
    void SetBitmapAlign(TBitmapAlign Value);
    TLayerCollection* Layers() const { return FLayers.get(); }
    float OffsetHorz() const { return FOffsetHorz; }
    void SetOffsetHorz(float Value);
    float OffsetVert() const { return FOffsetVert; }
    void SetOffsetVert(float Value);
    TPaintStages* PaintStages() const { return FPaintStages.get(); }
    float Scale() const { return FScaleX; }
    void SetScale(float Value);
    float ScaleX() const { return FScaleX; }
    float ScaleY() const { return FScaleY; }
    TScaleMode ScaleMode() const { return FScaleMode; }
    virtual void SetScaleMode(TScaleMode Value);
    void SetRepaintMode(TRepaintMode Value) override;

    virtual void BeginUpdate();
    virtual void EndUpdate();
    virtual void Changed();
    int32_t UpdateCount() const { return FUpdateCount; }
    void Invalidate() override;
    void InvalidateCache();
    void Loaded() override;
    bool CanAutoSize(int& NewWidth, int& NewHeight) override;

    virtual win::RECT GetBitmapRect();
    virtual win::SIZE GetBitmapSize();
    virtual void UpdateCache();
    // Bitmap pixels to control pixels through the cached 16.16 scale and shift.
    win::POINT BitmapToControl(const win::POINT& APoint);
    // Renders the stages that run at run time into Dest, the picture placed in DestRect.
    virtual void PaintTo(TBitmap32* Dest, const win::RECT& DestRect);
    // Sizes the bitmap like the viewport, optionally cleared.
    virtual void SetupBitmap(bool DoClear = false, TColor32 ClearColor = 0xFF000000u);

    // The cache (for tests and for the player's mapping).
    const win::RECT& CachedBitmapRect() const { return FCachedBitmapRect; }
    int32_t CachedScaleX() const { return FCachedScaleX; }
    int32_t CachedScaleY() const { return FCachedScaleY; }
    int32_t CachedShiftX() const { return FCachedShiftX; }
    int32_t CachedShiftY() const { return FCachedShiftY; }
    int32_t CachedRecScaleX() const { return FCachedRecScaleX; }
    int32_t CachedRecScaleY() const { return FCachedRecScaleY; }
    bool CacheValid() const { return FCacheValid; }

    cl::TNotifyEvent OnBitmapResize;
    cl::TNotifyEvent OnChange;
    cl::TNotifyEvent OnInitStages;
    TImgMouseEvent OnMouseDown;
    TImgMouseMoveEvent OnMouseMove;
    TImgMouseEvent OnMouseUp;
    TPaintStageEvent OnPaintStage;
    cl::TNotifyEvent OnScaleChange;

    // Stage operations (Dest the buffer being produced, StageNum the stage's index).
    virtual void ExecBitmapFrame(TBitmap32* Dest, int32_t StageNum);
    virtual void ExecClearBuffer(TBitmap32* Dest, int32_t StageNum);
    virtual void ExecClearBackgnd(TBitmap32* Dest, int32_t StageNum);
    virtual void ExecControlFrame(TBitmap32* Dest, int32_t StageNum);
    virtual void ExecCustom(TBitmap32* Dest, int32_t StageNum);
    virtual void ExecDrawBitmap(TBitmap32* Dest, int32_t StageNum);
    virtual void ExecDrawLayers(TBitmap32* Dest, int32_t StageNum);

protected:
    virtual void BitmapResized();
    virtual void BitmapChanged(const TRect& Area);
    virtual void DoInitStages();
    virtual void DoScaleChange();
    virtual void InitDefaultStages();
    virtual void DoMouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y, TCustomLayer* Layer);
    virtual void DoMouseMove(cl::TShiftState Shift, int32_t X, int32_t Y, TCustomLayer* Layer);
    virtual void DoMouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y, TCustomLayer* Layer);

    bool InvalidRectsAvailable() override;
    void DoPaintBuffer() override;
    void DoPaintGDIOverlay() override;
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;
    void MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseLeave() override;
    void Resize() override;

    void BitmapChangeHandler(cl::TObject* Sender);
    void BitmapAreaChangeHandler(cl::TObject* Sender, const TRect& Area, uint32_t Info, bool Optimizer);
    // The neutral or the computed cache values for a rectangle.
    void SetCacheFor(const win::RECT& R);

    std::unique_ptr<TBitmap32> FBitmap;
    TBitmapAlign FBitmapAlign = baTopLeft;
    std::unique_ptr<TLayerCollection> FLayers;
    float FOffsetHorz = 0;
    float FOffsetVert = 0;
    std::unique_ptr<TPaintStages> FPaintStages;
    std::vector<TPaintStageHandler> FPaintStageHandlers;
    std::vector<int32_t> FPaintStageNum;
    float FScaleX = 1.0f;
    float FScaleY = 1.0f;
    TScaleMode FScaleMode = smNormal;
    int32_t FUpdateCount = 0;
    win::RECT FCachedBitmapRect{};
    int32_t FCachedScaleX = 0x10000;
    int32_t FCachedScaleY = 0x10000;
    int32_t FCachedShiftX = 0;
    int32_t FCachedShiftY = 0;
    int32_t FCachedRecScaleX = 0x10000;
    int32_t FCachedRecScaleY = 0x10000;
    bool FCacheValid = false;
    bool FPaintToMode = false;
};

class TImage32 : public TCustomImage32 {
    CL_DECLARE_COMPONENT(TImage32, TCustomImage32)
public:
    explicit TImage32(cl::TComponent* AOwner) : TCustomImage32(AOwner) {}
};

// ---- TCustomImgView32 -------------------------------------------------------------------------

class TCustomImgView32;

// The look of the view's two bars, and the view's bar size and visibility.
class TIVScrollProperties : public TArrowBarAccess {
    CL_DECLARE_CLASS(TIVScrollProperties, TArrowBarAccess)
public:
    TCustomImgView32* ImgView = nullptr;

    int32_t Increment() const;
    void SetIncrement(int32_t Value);
    int32_t Size() const;
    void SetSize(int32_t Value);
    TScrollBarVisibility Visibility() const;
    void SetVisibility(TScrollBarVisibility Value);
};

class TCustomImgView32 : public TCustomImage32 {
    CL_DECLARE_COMPONENT(TCustomImgView32, TCustomImage32)
public:
    explicit TCustomImgView32(cl::TComponent* AOwner);
    ~TCustomImgView32() override;

    bool Centered() const { return FCentered; }
    void SetCentered(bool Value);
    int32_t OverSize() const { return FOverSize; }
    void SetOverSize(int32_t Value);
    TIVScrollProperties* ScrollBars() const { return FScrollBars.get(); }
    void SetScrollBars(TIVScrollProperties* Value);
    TSizeGripStyle SizeGrip() const { return FSizeGrip; }
    void SetSizeGrip(TSizeGripStyle Value);
    TCustomRangeBar* HScroll() const { return FHScroll; }
    TCustomRangeBar* VScroll() const { return FVScroll; }

    win::RECT GetViewportRect() override;
    bool GetScrollBarsVisible();
    int32_t GetScrollBarSize();
    bool IsSizeGripVisible();
    win::RECT GetSizeGripRect();
    void ScrollToCenter(int32_t X, int32_t Y);
    void SetScaleMode(TScaleMode Value) override;
    void Loaded() override;
    void AlignAll();
    void RecenterView();

    virtual void UpdateImage();
    virtual void UpdateScrollBars();

    cl::TNotifyEvent OnScroll;

protected:
    friend class TIVScrollProperties;
    void Paint() override;
    void Resize() override;
    void BitmapResized() override;
    void DoScaleChange() override;
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;
    virtual void DoScroll();
    virtual void ScrollHandler(cl::TObject* Sender);
    void PaintSizeGrip();

    bool FCentered = true;
    uint32_t FScrollBarSize = 0;
    TScrollBarVisibility FScrollBarVisibility = svAlways;
    std::unique_ptr<TIVScrollProperties> FScrollBars;
    TSizeGripStyle FSizeGrip = sgAuto;
    int32_t FOverSize = 0;
    bool FDisableScrollUpdate = false;
    TCustomRangeBar* FHScroll = nullptr;
    TCustomRangeBar* FVScroll = nullptr;
};

class TImgView32 : public TCustomImgView32 {
    CL_DECLARE_COMPONENT(TImgView32, TCustomImgView32)
public:
    explicit TImgView32(cl::TComponent* AOwner) : TCustomImgView32(AOwner) {}
};

// Declares the controls' message handlers and published properties and registers their
// classes, so that form tables can create them by name (idempotent; the constructors call it).
void StartupPix32Image();

}  // namespace pix32
