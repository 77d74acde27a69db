// The imaging library's view control, TVovozIdView: a windowed control that holds an image as
// a stack of layers, shows it zoomed and scrolled over a styled background, and gives the
// input/output component and the processing component an image to work on. It works without
// a window as well: a view made in code with no owner and no parent holds, loads, converts
// and saves a picture, and Update then does only the work that needs no window.
//
// The sources: vovozidview.cpp (construction, the image holder, the companions, the locks,
// Update, messages), vovozidview_zoom.cpp (zoom, scrolling, the coordinate tables, the
// overview view), vovozidview_paint.cpp (the back buffer, the background styles, DrawLayers),
// ielayer.cpp (TIELayer) and the units named in the sections below.
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
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/ieview.h"
#include "imaging/io/vovozidio.h"
#include "imaging/processing/ietransitions.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/ielayer.h"

namespace ie {

class TIEBitmap;
class TIEMask;
class TIEScrollBarParams;
class TIEMouseWheelParams;
class TIETransitionEffects;
class TVovozIdView;

// ---------------------------------------------------------------------------------------
// Settings and events of the view

enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TIEBackgroundStyle : uint8_t {
    iebsSolid,
    iebsHorizontal,
    iebsVertical,
    iebsFDiagonal,
    iebsBDiagonal,
    iebsCross,
    iebsDiagCross,
    iebsChessboard,
    iebsDiagonals,
    iebsCropped,
    iebsCropShadow,
    iebsGradient,
    iebsSoftShadow,
    iebsPhotoLike,
};

enum TIEWallPaperStyle : uint8_t { iewoNormal, iewoStretch, iewoTile };

// The selection options (a set: bit v for the value v).
enum TIESelectionOption : uint8_t {
    iesoAnimated,
    iesoSizeable,
    iesoMoveable,
    iesoFilled,
    iesoCutBorders,
    iesoMarkOuter,
    iesoCanScroll,
    iesoSelectTranspLayers,
    iesoRightButtonSelectLayers,
    iesoRightButtonTerminatePolySelect,
};
using TIESelectionOptions = uint16_t;
constexpr TIESelectionOptions IESelOpt(TIESelectionOption Option) {
    return static_cast<TIESelectionOptions>(1u << Option);
}

// Whether coordinates given to the selection operations are client or bitmap coordinates.
enum TIESelectionBase : uint8_t { iesbClientArea, iesbBitmap };

// The mouse interactions (a set: bit v for the value v).
enum TIEMouseInteractItem : uint8_t {
    miZoom,
    miScroll,
    miSelect,
    miSelectPolygon,
    miSelectCircle,
    miSelectZoom,
    miSelectMagicWand,
    miSelectLasso,
    miMoveLayers,
    miResizeLayers,
    miRotateLayers,
    miMovingScroll,
};
using TIEMouseInteract = uint16_t;
constexpr TIEMouseInteract IEMouseOpt(TIEMouseInteractItem Item) { return static_cast<TIEMouseInteract>(1u << Item); }

// What happened to a layer (OnLayerNotify).
enum TIELayerEvent : uint8_t { ielMoving, ielMoved, ielResizing, ielResized, ielSelected, ielRotating, ielRotated };

// The grips of a layer or of a selection (scoped: ieNone is also a pixel format).
enum class TIEGrip : uint8_t {
    ieNone,
    ieTopLeft,
    ieTopRight,
    ieBottomRight,
    ieBottomLeft,
    ieLeftSide,
    ieRightSide,
    ieTopSide,
    ieBottomSide,
    ieRotationCenter,
};

using TViewChangeEvent = std::function<void(cl::TObject* Sender, int32_t Change)>;
using TViewChangingEvent = std::function<void(cl::TObject* Sender, int32_t Change, double NewValue)>;
using TIEMouseInResizingGripEvent = std::function<void(cl::TObject* Sender, TIEGrip Grip)>;
using TIEZoomEvent = std::function<void(cl::TObject* Sender, double& NewZoom)>;
using TIELayerNotify = std::function<void(cl::TObject* Sender, int32_t Layer, TIELayerEvent Event)>;
using TIESpecialKeyEvent =
    std::function<void(cl::TObject* Sender, uint16_t CharCode, cl::TShiftState Shift, bool& Handled)>;
using TIEOnDrawBackground =
    std::function<void(cl::TObject* Sender, cl::TCanvas* ACanvas, const cl::TRect& ARect, bool& Handled)>;
using TIEOnDrawCanvas = std::function<void(cl::TObject* Sender, cl::TCanvas* ACanvas, const cl::TRect& ARect)>;
using TIEDrawLayerBoxEvent = std::function<void(cl::TObject* Sender, cl::TBitmap* ABitmap, int32_t Layer)>;
using TIEDrawLayerGrip =
    std::function<void(cl::TObject* Sender, cl::TBitmap* ABitmap, int32_t Layer, int32_t Grip, const cl::TRect& Rect)>;
using TIEOnDrawPolygon =
    std::function<void(cl::TObject* Sender, int32_t Polygon, int32_t Point, cl::TCanvas* Canvas, int32_t X, int32_t Y)>;
using TIEVirtualKeyEvent =
    std::function<void(cl::TObject* Sender, uint32_t VirtualKey, uint32_t KeyData, bool KeyDown)>;

// The number of the first of the view's screen cursors and its resting cursor.
constexpr cl::TCursor IEFirstViewCursor = 1778;
constexpr cl::TCursor IEDefaultViewCursor = 1785;
// The library version a view reports and draws.
inline constexpr const char* IEVovozIdVersion = "3.1.0";

// One selection of the view (the view uses its first record).
struct TIESelectionRecord {
    std::vector<cl::TPoint> Points;  // bitmap coordinates; sub-polygons end at a separator
    int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    cl::TColor SelectionColor1 = 0;
    cl::TColor SelectionColor2 = 0xFFFFFF;
    bool Animated = true;
    bool Sizeable = true;
    cl::TCanvas* Canvas = nullptr;  // none at design time
    bool OutlineShown = false;
    int32_t AntsPhase = 0;                    // 0 .. 9
    std::unique_ptr<cl::TBitmap> DashBitmap;  // 1 x 1 pf24bit scratch of the polygon dashes
};

// ---------------------------------------------------------------------------------------
// The view

class TVovozIdView : public TIEView, public TIEProcViewHost {
    CL_DECLARE_COMPONENT(TVovozIdView, TIEView)
public:
    explicit TVovozIdView(cl::TComponent* AOwner);
    ~TVovozIdView() override;
    TVovozIdView(const TVovozIdView&) = delete;
    TVovozIdView& operator=(const TVovozIdView&) = delete;

    // ----- the image holder
    TIEBitmap* GetIEBitmap() override { return FIEBitmap; }
    // The class-library bitmap the image lives in (LegacyBitmap), else nil.
    cl::TBitmap* GetBitmap() override { return FBitmap; }
    // The image's alpha channel, made fully opaque on first use.
    TIEBitmap* GetAlphaChannel() override;
    bool GetHasAlphaChannel() override;
    void RemoveAlphaChannel(bool Merge) override;
    bool GetLegacyBitmap() const { return FLegacyBitmap; }
    virtual void SetLegacyBitmap(bool Value);
    // The current layer shows Bitmap, which the view does not own; nil gives it back an empty
    // bitmap of its own.
    void SetExternalBitmap(TIEBitmap* Bitmap);
    // IEBitmap into the current layer (after a direct change of the class-library bitmap)
    // and the image size from layer 0.
    void SyncLayers();
    // True for images narrower and lower than 2 pixels.
    virtual bool IsEmpty();
    // The image filled with Background, without alpha channel.
    void Clear();
    // A 1 x 1 image, cleared.
    void ResetToEmpty();
    void Assign(cl::TPersistent* Source) override;
    void SetBackground(cl::TColor Value) override;
    // Fires OnImageChange; the input/output component calls it after every load.
    void ImageChange() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    int32_t GetImageWidth() const { return FImageWidth; }
    int32_t GetImageHeight() const { return FImageHeight; }

    // ----- the companions, made on first use and owned
    TVovozIdIO* GetIO();
    TVovozIdProc* GetProc();
    // The view transitions' component (nil until made).
    TIETransitionEffects* GetTransition() const { return FTransition.get(); }
    // Makes the transitions' component when there is none yet.
    void CreateTransition();
    // The transition events live in the transitions' component: setting one makes it,
    // reading one while it does not exist gives an unassigned event.
    void SetOnTransitionStop(cl::TNotifyEvent Event);
    cl::TNotifyEvent GetOnTransitionStop() const;
    void SetOnTransitionStep(TIETransitionStepEvent Event);
    TIETransitionStepEvent GetOnTransitionStep() const;
    void SetOnTransitionPaint(TIEOnTransitionPaint Event);
    TIEOnTransitionPaint GetOnTransitionPaint() const;

    // ----- locks and the recompute
    // While held Update does nothing.
    void HoldUpdate() { ++FUpdateHoldCount; }
    // Releases a hold, then Update when none is left.
    void ResumeUpdate();
    // Releases a hold without Update; never below 0.
    void ReleaseUpdateHold();
    int32_t GetUpdateHoldCount() const { return FUpdateHoldCount; }
    // While locked painting and repaint requests are skipped.
    void LockUpdate() override { ++FPaintLockCount; }
    // Releases a lock; the last one runs Update.
    void UnlockUpdate() override { (void)UnlockUpdateCount(); }
    void UnlockUpdateEx() override { (void)UnlockUpdateExCount(); }
    // UnlockUpdate and UnlockUpdateEx with the count left.
    int32_t UnlockUpdateCount();
    int32_t UnlockUpdateExCount();
    int32_t GetPaintLockCount() const { return FPaintLockCount; }
    // Brings the shown state (extent, zoom, selection mask size, alpha size, scroll bars,
    // window) in step with the image.
    void Update() override;
    bool GetUpdating() const { return FUpdating; }
    void SetUpdateReason(int32_t Reason) { FUpdateReason = Reason; }
    int32_t GetUpdateReason() const { return FUpdateReason; }
    // The layer whose display cache the next Update drops (-1: all).
    void SetLayerCacheToDrop(int32_t Layer) { FLayerCacheToDrop = Layer; }

    // ----- the view's size
    // True with a parent form or a parent window.
    virtual bool HasParentForm();
    // The client size when the view has a parent and a window, else 50.
    virtual int32_t GetViewWidth();
    virtual int32_t GetViewHeight();

    // ----- layers
    int32_t GetLayerCount() const override { return static_cast<int32_t>(FLayers.size()); }
    // No range check.
    TIELayer* GetLayer(int32_t Index) const { return FLayers[static_cast<size_t>(Index)].get(); }
    TIEBitmap* GetLayerBitmap(int32_t Index) const override { return GetLayer(Index)->GetBitmap(); }
    TIELayer* GetCurrentLayerObject() const { return GetLayer(FCurrentLayer); }
    int32_t GetCurrentLayer() const override { return FCurrentLayer; }
    // Makes a pickable layer at or below Index current.
    virtual void SetCurrentLayer(int32_t Index);
    virtual void DoLayerNotify(int32_t Layer, TIELayerEvent Event);

    // ----- zoom and scrolling (vovozidview_zoom.cpp)
    double GetZoom() const { return FZoomPercentX; }
    double GetZoomX() const { return FZoomPercentX; }
    double GetZoomY() const { return FZoomPercentY; }
    double GetZoomFactorX() const { return FZoomFactorX; }
    double GetZoomFactorY() const { return FZoomFactorY; }
    int32_t GetOriginX() const { return FOriginX; }
    int32_t GetOriginY() const { return FOriginY; }
    // The view origin under its other name.
    int32_t GetViewX() const { return FOriginX; }
    int32_t GetViewY() const { return FOriginY; }
    int32_t GetExtentWidth() const { return FExtentWidth; }
    int32_t GetExtentHeight() const { return FExtentHeight; }
    int32_t GetDisplayWidth() const { return FDisplayWidth; }
    int32_t GetDisplayHeight() const { return FDisplayHeight; }
    int32_t GetOffsetX() const { return FOffsetX; }
    int32_t GetOffsetY() const { return FOffsetY; }
    int32_t GetVisibleX() const { return FVisibleX; }
    int32_t GetVisibleY() const { return FVisibleY; }
    int32_t GetVisibleWidth() const { return FVisibleWidth; }
    int32_t GetVisibleHeight() const { return FVisibleHeight; }
    int32_t GetVisibleDisplayWidth() const { return FVisibleDisplayWidth; }
    int32_t GetVisibleDisplayHeight() const { return FVisibleDisplayHeight; }
    // The zoom of both axes, keeping the bitmap point at the view's centre in place.
    void SetZoom(double Value);
    virtual void DoSetZoom(double Value);
    virtual void DoSetZoomX(double Value);
    virtual void DoSetZoomY(double Value);
    // The zoom of one axis, keeping the bitmap point at the view's centre in place.
    void SetZoomHorz(double Value);
    void SetZoomVert(double Value);
    // Zooms keeping the bitmap point under client (X, Y) in place, or with Center bringing it
    // to the view's centre.
    void ZoomAtPoint(int32_t X, int32_t Y, bool Center, double Value);
    // Hides the scroll bars and zooms so that the image fits.
    void ZoomToFit();
    // Zooms so that the selection's box fills the control (both axes alike, or each on its
    // own) and centres the box; AskEvent lets OnZoomIn change the zoom. Nothing without a
    // selection of at least 2 x 2 pixels.
    void ZoomToSelection(bool BothAxes, bool AskEvent);
    // Scrolls to the origin (zoomed pixels), clamped to 0 .. the largest origin.
    void SetViewXY(int32_t X, int32_t Y);
    void SetOriginX(int32_t X);
    void SetOriginY(int32_t Y);
    virtual void SetScrollBars(TScrollStyle Value);
    void SetFlatScrollBars(bool Value);
    void SetCenter(bool Value);
    void SetZoomFilter(TResampleFilter Value);
    // The last zoom filter written (also when it did not change).
    TResampleFilter GetZoomFilterStored() const { return FZoomFilterStored; }
    // What the mouse wheel does: Delta as the wheel message gives it, (X, Y) the client point.
    void MouseWheelAction(int32_t Delta, int32_t X, int32_t Y, bool Ctrl);
    // Links View as this view's overview: it shows this view's image whole with a rectangle
    // of the visible part, and moving that rectangle scrolls this view. Options bit 0: the
    // wheel over the overview zooms this view; bit 1: the overview darkens outside the
    // rectangle. Nil unlinks.
    void LinkOverviewView(TVovozIdView* View, uint8_t Options);
    // The overview's rectangle follows this view's visible part.
    void UpdateOverview();
    bool GetIsOverview() const { return FIsOverview; }
    // The zoom at which the image fits the control (border margins taken off).
    double GetFitZoom();
    // The fitting zoom when shrinking or stretching is allowed for this image, else 100.
    double GetAutoFitZoom(int32_t ImageW, int32_t ImageH, bool ShrinkAllowed, bool StretchAllowed, int32_t AvailH,
                          int32_t AvailW);
    void GetBackgroundMargins(int32_t& MarginX, int32_t& MarginY, bool BorderForm);
    // The largest scroll origins.
    void GetMaxOrigin(int32_t& MaxX, int32_t& MaxY);
    virtual void DoViewChange(int32_t Change);
    virtual void DoViewChanging(int32_t Change, double NewValue);
    virtual void UpdateCoordTables();
    virtual void UpdateVisibleArea();
    virtual void UpdateExtent();
    // Client coordinates to bitmap coordinates and back (any value converts).
    int32_t ClientToBitmapX(int32_t X);
    int32_t ClientToBitmapY(int32_t Y);
    int32_t BitmapToClientX(int32_t X);
    int32_t BitmapToClientY(int32_t Y);
    // The first zoomed coordinate of the bitmap pixel that holds V.
    int32_t SnapOriginX(int32_t V);
    int32_t SnapOriginY(int32_t V);
    bool GetCenter() const { return FCenter; }
    bool GetAutoFit() const { return FAutoFit; }
    void SetAutoFit(bool Value) { FAutoFit = Value; }
    bool GetAutoStretch() const { return FAutoStretch; }
    void SetAutoStretch(bool Value) { FAutoStretch = Value; }
    bool GetAutoShrink() const { return FAutoShrink; }
    void SetAutoShrink(bool Value) { FAutoShrink = Value; }
    TResampleFilter GetZoomFilter() const { return FZoomFilter; }
    bool GetDelayZoomFilter() const { return FDelayZoomFilter; }
    void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
    TScrollStyle GetScrollBars() const { return FScrollBars; }
    bool GetFlatScrollBars() const { return FFlatScrollBars; }
    TIEScrollBarParams* GetHorizScrollBarParams() const { return FHScrollBarParams.get(); }
    TIEScrollBarParams* GetVertScrollBarParams() const { return FVScrollBarParams.get(); }
    TIEMouseWheelParams* GetMouseWheelParams() const { return FMouseWheelParams.get(); }
    int32_t GetFilterDelayCount() const { return FFilterDelayCount; }
    int32_t GetViewChangeCount() const { return FViewChangeCount; }
    TVovozIdView* GetOverviewView() const { return FOverviewView; }

    // ----- painting and background (vovozidview_paint.cpp)
    // Composes the back buffer when it is dirty and copies the part of the view that needs
    // it to the window; then the version text and OnPaint.
    void Paint() override;
    // The back buffer at the view's size, composed again when dirty, copied to the window.
    void PaintBackBuffer(const cl::TRect& Rect);
    // Composes the visible layers into Dest for display: the background behind them when
    // DrawBackground, the boxes and the selection overlay when DrawBoxes, only inside
    // ClipRect when given.
    virtual void DrawLayers(TIEBitmap* Dest, bool DrawBoxes, bool DrawBackground, const cl::TRect* ClipRect);
    // The background style over the whole control, without an image (the view transitions
    // draw their frames over it).
    void DrawBackgroundTo(cl::TCanvas* Canvas);
    // The system palette changed: the DrawDib palette is realized on the main form's canvas
    // and the view repainted when that changed anything (always without a main form).
    bool PaletteChanged(bool Foreground);
    // Marks the back buffer dirty and invalidates Rect of the window without erasing.
    void InvalidateRectDirty(const cl::TRect& Rect);
    // The back buffer's class-library bitmap (nil at design time).
    cl::TBitmap* GetBackBuffer() const;
    TIEBackgroundStyle GetBackgroundStyle() const { return FBackgroundStyle; }
    void SetBackgroundStyle(TIEBackgroundStyle Value);
    TIEWallPaperStyle GetWallPaperStyle() const { return FWallPaperStyle; }
    void SetWallPaperStyle(TIEWallPaperStyle Value);
    cl::TPicture* GetWallPaper() const { return FWallPaper.get(); }
    void SetWallPaper(cl::TPicture* Value);
    void SetDrawVersion(bool Value);
    // The text DrawVersion shows in the view's bottom-right corner.
    static cl::String VersionText();
    cl::TColor GradientEndColor = 0xFF0000;
    int32_t GetChessboardSize() const { return FChessboardSize; }
    cl::TBrushStyle GetChessboardBrushStyle() const { return FChessboardBrushStyle; }
    void SetChessboardStyle(int32_t Size, cl::TBrushStyle BrushStyle) {
        FChessboardSize = Size;
        FChessboardBrushStyle = BrushStyle;
    }
    bool GetDrawVersion() const { return FDrawVersion; }
    const char* GetVovozIdVersion() const { return IEVovozIdVersion; }
    // The back buffer the layers are composed into (nil at design time).
    TIEBitmap* GetBackBufferBitmap() const { return FBackBuffer.get(); }
    void SetBackBufferDirty(bool Value) { FBackBufferDirty = Value; }
    bool GetBackBufferDirty() const { return FBackBufferDirty; }

    // ----- published settings stored only (their users read them)
    bool DoubleBuffer = true;
    bool EnableInteractionHints = true;
    bool GetEnableAlphaChannel() const { return FEnableAlphaChannel; }
    void SetEnableAlphaChannel(bool Value);
    TIEMouseInteract GetMouseInteract() const { return FMouseInteract; }
    virtual void SetMouseInteract(TIEMouseInteract Value);
    TIESelectionOptions GetSelectionOptions() const { return FSelectionOptions; }
    TIESelectionBase GetSelectionBase() const { return FSelectionBase; }
    void SetSelectionBase(TIESelectionBase Value) { FSelectionBase = Value; }
    cl::TCursor GetViewCursor() const { return FViewCursor; }

    // ----- events handed to the companions
    virtual void SetOnProgress(TIEProgressEvent Value);
    virtual void SetOnFinishWork(cl::TNotifyEvent Value);
    virtual TIEProgressEvent GetOnProgress() { return FOnProgress; }
    virtual cl::TNotifyEvent GetOnFinishWork() { return FOnFinishWork; }
    void SetOnSaveUndo(TIESaveUndoEvent Value);
    TIESaveUndoEvent GetOnSaveUndo() const { return FOnSaveUndo; }

    // ----- own events
    TViewChangeEvent OnViewChange;
    TViewChangingEvent OnViewChanging;
    cl::TNotifyEvent OnImageChange;
    cl::TNotifyEvent OnSelectionChange;
    cl::TNotifyEvent OnSelectionChanging;
    cl::TNotifyEvent OnBeforeSelectionChange;
    cl::TNotifyEvent OnMouseInSel;
    cl::TNotifyEvent OnPaint;
    TIEMouseInResizingGripEvent OnMouseInResizingGrip;
    TIEZoomEvent OnZoomIn;
    TIEZoomEvent OnZoomOut;
    cl::TNotifyEvent OnDrawBackBuffer;
    TIELayerNotify OnLayerNotify;
    TIESpecialKeyEvent OnSpecialKey;
    TIEOnDrawBackground OnDrawBackground;
    TIEOnDrawCanvas OnDrawCanvas;
    TIEDrawLayerBoxEvent OnDrawLayerBox;
    TIEDrawLayerGrip OnDrawLayerGrip;
    TIEOnDrawPolygon OnDrawPolygon;
    cl::TNotifyEvent OnDShowNewFrame;
    cl::TNotifyEvent OnDShowEvent;
    TIEVirtualKeyEvent OnVirtualKey;

    // ----- the selection state made at construction
    TIEMask* GetSelectionMask() const override { return FSelectionMask.get(); }
    bool GetSelected() const override { return FSelected; }
    // The selection's polygon points (bitmap coordinates, sub-polygons ended by a
    // separator) and their number; nil and 0 without points.
    const cl::TPoint* GetSelectionPolygon() const override;
    int32_t GetSelectionPointCount() const override;
    TIESelectionRecord* GetSelectionRecord() const { return FSelectionRecords.front().get(); }
    cl::TTimer* GetAntsTimer() const { return FAntsTimer.get(); }

    // ---------------------------------------------------------------------------------------
    // Selections (vovozidview_select.cpp)

    // A rectangle selection: Op 0 replaces the selection, Op 1 adds to it.
    void Select(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op = 0);
    // The rectangle's polygon (nothing for a zero width or height); Clip shifts it into the
    // bitmap; Square makes it square or gives it the selection ratio.
    void AddSelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Clip, bool Square);
    // The polygon of the ellipse inside the rectangle, as AddSelectRect places it.
    void AddSelectEllipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Square);
    void AddSelectionPoint(int32_t X, int32_t Y);
    // Fills the polygons into the mask; an empty result ends the selection.
    void EndSelect();
    void Deselect();
    void StartNewSubPolygon();
    void RemoveLastSubPolygon();
    // The magic wand at a point inside the bitmap (MagicWandMode 0 outline, 1 connected
    // fill, 2 every matching pixel); a point outside changes nothing.
    void SelectMagicWand(int32_t X, int32_t Y, int32_t Op);
    void MoveSelection(int32_t DX, int32_t DY);
    // Moves a side or corner of a rectangular selection; the result is the grip now held.
    int32_t ResizeSelectionByGrip(int32_t Grip, int32_t X, int32_t Y, bool KeepRatio);
    // The selection grip (0..8) at a client point.
    int32_t SelectionGripAt(int32_t X, int32_t Y);
    // 0 when the point lies on a movable selection, else -1.
    int32_t InSelectionAt(int32_t X, int32_t Y, cl::TShiftState Shift);
    // True when the selection is one axis-aligned rectangle (four points).
    bool SelectionIsRectangle() const;
    void SaveSelectionToStream(cl::TStream* Stream);
    // False, and nothing changed, when the stream holds no complete selection.
    bool LoadSelectionFromStream(cl::TStream* Stream, int32_t Mode);
    void PushSelection();
    bool PopSelection(bool Delete, int32_t Mode);
    int32_t GetSavedSelectionCount() const { return static_cast<int32_t>(FSavedSelections.size()); }
    void SetSelectionOptions(TIESelectionOptions Value);
    double GetSelectionRatio() const { return FSelectionRatio; }
    void SetSelectionRatio(double Value);
    // The marching ants, grips and grid of the selection on the view's canvas.
    void DrawSelectionOutline(cl::TObject* Sender, bool FromTimer);
    void DrawSelectionGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // Switches the outline drawing of this view off and on.
    void SetOutlineDrawing(bool Value) { FOutlineDrawingOff = !Value; }
    void DoSelectionChanging();
    void DoSelectionChange();
    void DoBeforeSelectionChange();
    void DoMouseInSel();
    int32_t GetAnimationCounter() const { return FAnimationCounter; }

    int32_t FixedSelectionWidth = 100;
    int32_t FixedSelectionHeight = 100;
    int32_t SelectionGridCount = 1;
    int32_t MagicWandMode = 0;
    int32_t MagicWandTolerance = 15;
    bool MagicWandMaxFilter = false;
    cl::TColor MarkOuterColor = 0xFFFFFF;
    int32_t MarkOuterOpacity = -1;
    int32_t SelectionGripSize = 5;
    int32_t SelectionGripShape = 0;  // 0 rectangle, 1 ellipse
    bool SelectionSideGrips = true;
    cl::TColor SelectionGripPenColor = cl::clBlack;
    cl::TBrushStyle SelectionGripBrushStyle = cl::bsSolid;
    cl::TColor SelectionGripBrushColor = 0xBAFFFF;

    // ---------------------------------------------------------------------------------------
    // Mouse, keyboard, cursors and automatic scrolling (vovozidview_mouse.cpp)

    // The start values of the interaction state and the view's screen cursors (constructor).
    void InitInteraction();
    // Subtracts (DX, DY) from the previous move point, the clamped press point and the anchor.
    virtual void OffsetSelectionPoints(int32_t DX, int32_t DY);
    // The resting cursor, shown at once.
    void SetViewCursor(cl::TCursor Value);
    // Shows a cursor (only for a view with an owner); RestoreCursor shows the resting one.
    void ShowViewCursor(cl::TCursor Value);
    void RestoreCursor() { ShowViewCursor(FViewCursor); }
    cl::TCursor GetShownCursor() const { return FShownCursor; }
    // Scrolls while the mouse lies outside the displayed image; true when it scrolled.
    bool EdgeScroll();
    // Glides the origin towards (X, Y) in steps of an eighth of the distance.
    void StartGlide(int32_t X, int32_t Y);
    bool GetGliding() const { return FGlideTimer && FGlideTimer->GetEnabled(); }
    void SetInteractionHint(const cl::String& Text, int32_t X, int32_t Y, const cl::String& Sample);
    const cl::String& GetInteractionHint() const { return FHintText; }
    bool GetDrawingRectangle() const { return FRectSelecting; }
    bool GetDrawingPolygon() const { return FPolySelecting; }
    bool GetDrawingEllipse() const { return FCircleSelecting; }
    double DragScrollSpeed = 1.0;
    bool ShiftAddsSelection = true;

    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;
    void MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void KeyDown(uint16_t& Key, cl::TShiftState Shift) override;
    void KeyUp(uint16_t& Key, cl::TShiftState Shift) override;
    void WMLButtonDblClk(cl::TMessage& Message);
    void CMWantSpecialKey(cl::TMessage& Message);
    void CNKeyMessage(cl::TMessage& Message, bool Down);

private:
    // Selection state.
    double FSelectionRatio = -1;
    std::vector<std::unique_ptr<cl::TMemoryStream>> FSavedSelections;
    bool FOutlineDrawingOff = false;
    int32_t FAnimationCounter = 0;
    bool FSelectionChanged = false;
    TIESelectionBase FAppSelectionBase = iesbClientArea;  // the application's, during the mouse work
    bool FSelectionBaseSwapped = false;
    // The layer's bitmap size and the conversions the selection operations use.
    int32_t SelWidth() const;
    int32_t SelHeight() const;
    void ToLayer(int32_t& X, int32_t& Y);
    void AddPoint(int32_t X, int32_t Y);
    void SyncPolygonBox();
    void RepaintSelection();
    // The destination and source rectangles of the current layer's visible part.
    bool SelectionDrawRects(int32_t& XDst, int32_t& YDst, int32_t& WDst, int32_t& HDst, int32_t& XSrc, int32_t& YSrc,
                            int32_t& WSrc, int32_t& HSrc);
    void DrawSelectionGrips(cl::TCanvas* Canvas);
    // The filled and the mark-outer looks of the selection over the composed back buffer.
    void DrawSelectionOverlay(TIEBitmap* Dest);
    void DrawPolygonDashes(TIESelectionRecord* Rec, cl::TCanvas* Canvas);
    // Runs Fire (an event) with the application's SelectionBase in place.
    void WithAppSelectionBase(const std::function<void()>& Fire);

    // Mouse state.
    cl::TPoint FPressPoint{0, 0};
    cl::TPoint FPressClamped{0, 0};
    cl::TPoint FPrevPoint{0, 0};
    cl::TPoint FMoveAnchor{0, 0};
    cl::TPoint FPressOrigin{0, 0};
    int32_t FPressPointCount = 0;
    bool FRectSelecting = false;
    bool FCircleSelecting = false;
    bool FPolySelecting = false;
    bool FLassoSelecting = false;
    bool FZoomSelecting = false;
    bool FScrolling = false;
    bool FMoved = false;
    int32_t FGripHeld = 0;
    int32_t FHoverSel = -1;
    int32_t FHoveredGrip = 0;
    int32_t FMovingLayer = -1;
    bool FLayerMoved = false;
    cl::TPoint FLayerPressPos{0, 0};
    int32_t FResizingLayer = -1;  // the layer resized by a grip
    TIEGrip FLayerGrip = TIEGrip::ieNone;
    cl::TRect FLayerPressRect{0, 0, 0, 0};  // position and displayed size at the press (bitmap)
    double FLayerRatio = 0;                 // height / width at the first move of a resize
    int32_t FRotatingLayer = -1;
    double FRotateAngle = 0;   // accumulated rotation of the drag
    int32_t FPivotLayer = -1;  // the layer whose rotation centre is dragged
    bool FLayerDragged = false;
    cl::TPoint FLayerPrev{0, 0};  // the previous mouse point of a layer drag (client)
    void ResizeLayerByGrip(TIELayer* Layer, int32_t X, int32_t Y, bool KeepRatio);
    bool UpdateLayerCursor(int32_t X, int32_t Y);
    cl::TRect FGripBox{0, 0, 0, 0};
    double FGripRatio = 0;
    cl::TRect FDragRect{0, 0, 0, 0};  // the rectangle added by this drag (bitmap)
    bool FDragAdded = false;
    bool FEdgeScrolling = false;
    bool FMouseCaptured = false;
    cl::TMouseButton FPressButton = cl::mbLeft;
    TResampleFilter FPressZoomFilter = rfNone;
    cl::TCursor FShownCursor = IEDefaultViewCursor;
    std::unique_ptr<cl::TTimer> FGlideTimer;
    cl::TPoint FGlideTarget{0, 0};
    cl::String FHintText, FHintSample;
    cl::TPoint FHintPos{0, 0};
    bool FRubberShown = false;  // the polygon's rubber band, drawn inverted
    cl::TPoint FRubberFrom{0, 0};
    cl::TPoint FRubberTo{0, 0};
    void InvertRubberBand();
    void ClampToLayer(int32_t& X, int32_t& Y);
    cl::TRect CurrentLayerClientRect();
    void SyncGeometry();
    void GlideStep();
    void UpdateHoverCursor(cl::TShiftState Shift, int32_t X, int32_t Y);
    void FinishPolygon(bool KeepMask);
    void EndInteraction();

public:
    // ---------------------------------------------------------------------------------------
    // Layer operations (vovozidview_layers.cpp)

    // Appends a layer shaped like the current bitmap and filled with Background, makes it
    // current and returns its index.
    int32_t LayersAdd();
    // Frees the layer at Index (and first the mask layer right above it); nothing with one
    // layer or an index out of range.
    void LayersRemove(int32_t Index);
    // Every layer but layer 0 goes; layer 0 becomes current, reset, fixed and cleared.
    void LayersClear();
    // The topmost visible layer under the client point (-1: none); with SelectableOnly only
    // pickable layers count, and a transparent pixel lets the search go on downwards.
    int32_t LayerAtPoint(int32_t X, int32_t Y, bool SelectableOnly);
    // Whether the client point lies on the visible layer Index (its rotated outline when
    // rotated, else ClientRect).
    bool PointInLayer(int32_t X, int32_t Y, int32_t Index);
    // The client rectangle of a grip of a layer, from its last composition.
    cl::TRect GetLayerGripRect(int32_t Layer, TIEGrip Grip);
    // The first grip of the current layer whose rectangle holds the client point (the
    // rotation centre only with miRotateLayers), else ieNone.
    TIEGrip LayerGripAt(int32_t X, int32_t Y);
    // True when the layers are drawn as one plain picture: a single layer at 0, 0 without a
    // displayed size of its own. Otherwise DrawLayers hands the layers to DrawLayersGeneral.
    bool LayersAreSimple();
    // Composes every visible layer into Dest through the zoom and the coordinate tables:
    // masks of the layer below, rotation, magnifiers, clipping to the image, opacity, alpha
    // and blend mode; with DrawBoxes the current layer's box and grips and the dimming of the
    // others. The caller paints the background first and keeps the tables up to date.
    void DrawLayersGeneral(TIEBitmap* Dest, bool DrawBoxes, const cl::TRect* ClipRect);
    // The parts of the composition: a magnifier's content from under its centre, the box
    // and grips of a layer, the checkerboard of grey around a dimming layer.
    void DrawMagnifierContent(TIEBitmap* Dest, TIELayer* Layer);
    void DrawLayerBoxAndGrips(TIEBitmap* Dest, int32_t Index);
    void DimAroundLayer(TIEBitmap* Dest, const cl::TRect& Keep);
    // Every layer drawn at 100% into Dest, which is sized to the merged extent (negative
    // positions included) and filled with Background first.
    void RenderLayersTo(TIEBitmap* Dest);
    // Merges all layers into layer 0 (24 bits, Background under transparent pixels).
    void FlattenLayers();
    // Resamples layers with a displayed size of their own to that size (-1: every layer).
    void BakeLayerSizes(int32_t Index = -1);
    // Turns rotated layers' bitmaps by their angle and moves them so that they stay where
    // they were shown (-1: every layer).
    void BakeLayerRotations(int32_t Index = -1);
    // Crops the layers' bitmaps to their non-transparent part (-1: every layer).
    void CropLayersToAlpha(int32_t Index = -1);
    // The layers' undo snapshot: one undo record per layer from 0 up; the pixels only of the
    // current layer and only with WithBitmap.
    void SaveLayersUndo(cl::TStream* Stream, bool WithBitmap);
    // Gives every record of such a snapshot to the layer with its GUID (records of layers
    // that are gone are skipped), then Update.
    void LoadLayersUndo(cl::TStream* Stream);
    // The view's part of the processing component's undo: the snapshot of a kind the view
    // keeps (nil for the others), and its restoration (False when the kind is not the
    // view's).
    std::unique_ptr<cl::TObject> MakeUndoSnapshot(TIEUndoSource Source) override;
    bool RestoreUndoSnapshot(TIEUndoSource Source, cl::TObject* Snapshot) override;

    // ---------------------------------------------------------------------------------------
    // Layers stream (vovozidview_stream.cpp)

    // Writes every layer with its settings and its image: Codec -2 raw, -1 raw through zlib,
    // else the file type whose writer stores the images (1 means PNG). Raises when a layer
    // cannot be stored (an image writer fails, a raw form beyond 2 GiB).
    void SaveLayersToStream(cl::TStream* Stream, int32_t Codec);
    void SaveLayersToFile(const cl::String& FileName, int32_t Codec);
    // Replaces the layers with those of the stream. False for a wrong signature (nothing
    // changed) or a version below 1; a damaged stream raises and leaves the layers as they
    // were.
    bool LoadLayersFromStream(cl::TStream* Stream);
    bool LoadLayersFromFile(const cl::String& FileName);

    // ----- messages
    void WMViewUpdate(cl::TMessage& Message);
    void WMProgress(cl::TMessage& Message);
    void WMFinishWork(cl::TMessage& Message);
    void WMDShowNewFrame(cl::TMessage& Message);
    void WMDShowEvent(cl::TMessage& Message);
    void WMSize(cl::TMessage& Message);
    void WMFocus(cl::TMessage& Message);
    void WMScroll(cl::TMessage& Message);
    void WMMouseWheel(cl::TMessage& Message);

protected:
    void Notification(cl::TComponent* AComponent, cl::TOperation Operation) override;
    // Step 7 of Update, with a window: origin limits, scroll bars, extent, repaint.
    void UpdateWindowState();
    // Shows, hides and sets the window's scroll bars for the largest origins.
    void UpdateScrollBars(int32_t MaxX, int32_t MaxY);
    void SetZoomAxis(double Value, bool Horizontal);
    void SetOrigins(int32_t X, int32_t Y, bool AxisX, bool AxisY);
    double WheelZoom(TIEMouseWheelParams* Params, int32_t Direction) const;
    // In an overview view: the rectangle of the served view's visible part (bitmap pixels)
    // becomes its selection.
    void MarkOverviewRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void OverviewSelectionChanging();
    void OverviewMouseWheel(int32_t WheelDelta, win::POINT MousePos, bool& Handled);
    bool FInUpdateOverview = false;
    bool FInOverviewScroll = false;
    // The ants timer's tick: the filter delay and the view-change pause count down, and the
    // timer runs only while there is something to wait for or to animate.
    void AntsTimerTick();
    // Enables the ants timer exactly when a count is running or a selection is animated.
    void UpdateAntsTimer();

    // The image holder.
    std::vector<std::unique_ptr<TIELayer>> FLayers;
    int32_t FCurrentLayer = 0;
    TIEBitmap* FIEBitmap = nullptr;  // owned by the layer that holds it
    cl::TBitmap* FBitmap = nullptr;  // the legacy bitmap behind FIEBitmap, owned with it
    bool FLegacyBitmap = true;
    int32_t FImageWidth = 0;
    int32_t FImageHeight = 0;
    int32_t FLastBitmapWidth = 0;
    int32_t FLastBitmapHeight = 0;

    // The companions (components owned by the view).
    TVovozIdIO* FIO = nullptr;
    TVovozIdProc* FProc = nullptr;
    std::unique_ptr<TIETransitionEffects> FTransition;
    TVovozIdView* FOverviewView = nullptr;  // not owned
    bool FIsOverview = false;
    uint8_t FOverviewOptions = 0;

    // Counters and flags.
    int32_t FUpdateHoldCount = 0;
    int32_t FPaintLockCount = 0;
    int32_t FUpdateReason = 0;
    bool FUpdating = false;
    bool FUpdatingAgain = false;  // the second pass after a scroll bar came or went
    int32_t FLayerCacheToDrop = -1;

    // Events handed to the companions.
    TIEProgressEvent FOnProgress;
    cl::TNotifyEvent FOnFinishWork;
    TIESaveUndoEvent FOnSaveUndo;

    // Zoom, scrolling and the coordinate tables.
    double FZoomPercentX = 100, FZoomPercentY = 100;
    double FZoomFactorX = 1, FZoomFactorY = 1;
    double FInvZoomX = 1, FInvZoomY = 1;
    int32_t FOriginX = 0, FOriginY = 0;
    int32_t FExtentWidth = 0, FExtentHeight = 0;
    int32_t FDisplayWidth = 0, FDisplayHeight = 0;
    int32_t FOffsetX = 0, FOffsetY = 0;
    int32_t FVisibleX = 0, FVisibleY = 0, FVisibleWidth = 0, FVisibleHeight = 0;
    int32_t FVisibleDisplayWidth = 0, FVisibleDisplayHeight = 0;
    struct TCoordAxis {
        std::vector<int32_t> ZoomedToBitmap;  // zoomed coordinate to bitmap coordinate
        std::vector<int32_t> BitmapToZoomed;  // bitmap coordinate to its first zoomed coordinate
        int32_t ScreenWindow = 0;             // index into ZoomedToBitmap of the origin's window
        int32_t ScreenWindowLength = 0;
        int32_t BitmapWindow = 0;  // index into BitmapToZoomed of the visible bitmap window
        int32_t BitmapWindowLength = 0;
        double BuiltZoom = -1;
        int32_t BuiltDisplay = -1;
        int32_t BuiltImage = -1;
        bool Valid() const { return !ZoomedToBitmap.empty(); }
    };
    TCoordAxis FCoordX, FCoordY;
    double FHScrollFactor = 1, FVScrollFactor = 1;
    bool FHScrollShown = false, FVScrollShown = false;
    int32_t FFilterDelayCount = 0;
    int32_t FViewChangeCount = 0;
    TResampleFilter FZoomFilter = rfNone;
    TResampleFilter FZoomFilterStored = rfNone;
    bool FDelayZoomFilter = false;
    TScrollStyle FScrollBars = ssBoth;
    bool FFlatScrollBars = false;
    bool FCenter = true;
    bool FAutoFit = false;
    bool FAutoStretch = false;
    bool FAutoShrink = false;
    std::unique_ptr<TIEScrollBarParams> FVScrollBarParams;
    std::unique_ptr<TIEScrollBarParams> FHScrollBarParams;
    std::unique_ptr<TIEMouseWheelParams> FMouseWheelParams;

    // Painting.
    std::unique_ptr<TIEBitmap> FBackBuffer;
    bool FBackBufferDirty = true;
    bool FFullRepaint = true;
    TIEBackgroundStyle FBackgroundStyle = iebsSolid;
    int32_t FChessboardSize = 16;
    cl::TBrushStyle FChessboardBrushStyle = cl::bsSolid;
    std::unique_ptr<cl::TPicture> FWallPaper;
    TIEWallPaperStyle FWallPaperStyle = iewoNormal;
    bool FDrawVersion = false;
    // Tables and rows of the renderer for the simple composition, kept between paints.
    TIERowCache FRenderRows;
    TIECoordTable FRenderXTable, FRenderYTable;
    win::HWND FLastPaintHandle = nullptr;
    std::unique_ptr<TIEBitmap> FDarkBuffer;  // an overview's copy darkened outside its rectangle
    // Paints the background into Dest's canvas around the image's place.
    void PaintBackgroundInto(TIEBitmap* Dest);
    // Copies R of the back buffer to DC through the DrawDib context; False when its rows
    // are not one device-independent block.
    bool DrawDibFromBackBuffer(win::HDC DC, const cl::TRect& R);
    std::unique_ptr<cl::TPen> FInstancePen;  // dotted, mode not: layer boxes
    bool FEnableAlphaChannel = true;

    // Interaction settings.
    TIEMouseInteract FMouseInteract = 0;
    cl::TCursor FViewCursor = IEDefaultViewCursor;
    TIESelectionOptions FSelectionOptions =
        IESelOpt(iesoAnimated) | IESelOpt(iesoSizeable) | IESelOpt(iesoMoveable) | IESelOpt(iesoCanScroll);
    TIESelectionBase FSelectionBase = iesbClientArea;

    // Layer grips.
    int32_t FLayersGripSize = 5;
    cl::TColor FLayersGripPenColor = cl::clBlack;
    cl::TBrushStyle FLayersGripBrushStyle = cl::bsSolid;
    cl::TColor FLayersGripBrushColor = 0xBAFFFF;
    uint8_t FLayersGripShape = 0;

    // The selection state made at construction.
    std::unique_ptr<TIEMask> FSelectionMask;
    bool FSelected = false;
    std::vector<std::unique_ptr<TIESelectionRecord>> FSelectionRecords;
    std::unique_ptr<cl::TTimer> FAntsTimer;  // only with an owner or a parent window
    // A 10 x 10 ie24RGB scratch bitmap (not at design time).
    std::unique_ptr<TIEBitmap> FScratchBitmap;
    void* FDrawDib = nullptr;  // the DrawDib context

private:
    class TIOLink;
    void CreateSelectionRecord();
    std::unique_ptr<TIEIOViewLink> FIOLink;
};

// Paints a background of Style into the rectangle (Left, Top, Left + Width, Top + Height) of
// Canvas around the image rectangle (ImageLeft, ImageTop) .. (ImageRight, ImageBottom), then
// the wallpaper. Bitmap is the 24-bit bitmap behind Canvas when there is one (the chessboard
// writes straight into it; the soft shadow needs it).
void IEDrawBackground(cl::TComponentState State, cl::TCanvas* Canvas, cl::TBitmap* Bitmap,
                      TIEWallPaperStyle WallPaperStyle, cl::TPicture* WallPaper, cl::TColor GradientEndColor,
                      cl::TBrushStyle ChessboardBrushStyle, int32_t ChessboardSize, int32_t ImageBottom,
                      int32_t ImageRight, int32_t ImageTop, int32_t ImageLeft, int32_t Height, int32_t Width,
                      int32_t Top, int32_t Left, cl::TColor Background, TIEBackgroundStyle Style);
// A two-colour gradient over Rect, from Color1 at the left or top to Color2 at the right or
// bottom, through the gradient entry of MSIMG32.DLL (loaded on first use). False, with
// nothing drawn, when the library or its entry cannot be had.
bool IEGradientRect(const cl::TRect& Rect, win::HDC DC, cl::TColor Color1, bool Vertical, cl::TColor Color2);
// Frees MSIMG32.DLL when the gradient loaded it.
void IEGradientLibraryRelease();

// The unit's start-up: the screen's colour depth and resolution, the default resolution of
// new views (300 x 300), the edge and border metrics and the shared pen. The final hook frees
// what the start-up made. The library registers them through IEViewStartUp (ielibrary.h),
// which also registers the view's file formats.
void VovozIdViewStaticInit();
void VovozIdViewStaticFinal();
// Values the start-up reads.
extern int32_t IEScreenBitsPerPixel;
extern int32_t IEScreenDpiX;
extern int32_t IEScreenDpiY;
extern int32_t IEEdgeX, IEEdgeY, IEBorderX, IEBorderY;
// The layers stream's signature.
inline constexpr const char* IELayersSignature = "VOVOZIDLAYERS";

}  // namespace ie
