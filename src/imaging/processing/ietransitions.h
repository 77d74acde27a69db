// The view's animated change of picture: on a 1 ms timer a frame is composed from the old
// picture and the new one by one of 188 numbered effects and a timing curve and copied onto
// the view's window, until the duration has passed.
//
// Effects 1 to 30 are built in (fades, wipes, slides, pushes, random points and boxes,
// centred wipes and expands), 31 to 187 are the GDI effects of IEEffectTable, and 188 pans
// and zooms over an image of the view.
//
// Starting a transition is the caller's business: it fills the three bitmaps (24 bits per
// pixel, FrameWidth x FrameHeight), the row arrays, Effect, Duration, Timing, UpdateOnStop
// (and for 188 the pan-zoom image and rectangles), sets Step, LastCount and FrameCount to 0
// and StartTick to the tick count, locks the view's updates once (Stop unlocks them), sets
// Running and enables the timer. A transition set up otherwise (an effect number outside
// 1 .. 188, bitmaps or row arrays that do not match the frame size, effect 188 without an
// image) ends at its first tick without drawing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Graphics.h"

namespace ie {

class TIEView;
class TIEBitmap;
class TIETransitionEffects;

// Sender is the view; Step the progress 0 .. 1024 of the frame about to be composed.
using TIETransitionStepEvent = std::function<void(cl::TObject* Sender, int32_t Step)>;
// Sender is the view; Bitmap the frame just shown (or the new picture at the end, step 1024).
using TIEOnTransitionPaint =
    std::function<void(cl::TObject* Sender, cl::TBitmap* Bitmap, TIETransitionEffects* Transition, int32_t Step)>;

// Timing curves of the step.
constexpr uint8_t ietLinear = 0;
constexpr uint8_t ietExponential = 1;
constexpr uint8_t ietLogarithmic = 2;

constexpr int32_t IEPanZoomEffect = 188;

class TIETransitionEffects : public cl::TObject {
public:
    // Three 1 x 1 bitmaps of 24 bits per pixel, not running, effect 0, 1000 ms, linear, and a
    // disabled 1 ms timer owned by the view whose tick handler is TimerEvent.
    explicit TIETransitionEffects(TIEView* Owner);
    // Frees the timer and the bitmaps.
    ~TIETransitionEffects() override;
    TIETransitionEffects(const TIETransitionEffects&) = delete;
    TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

    std::unique_ptr<cl::TBitmap> SourceBitmap;  // the old picture
    std::unique_ptr<cl::TBitmap> TargetBitmap;  // the new picture
    std::unique_ptr<cl::TBitmap> FrameBitmap;   // the frame being composed
    TIEBitmap* PanZoomImage = nullptr;          // the image effect 188 pans over (not owned)
    // The bitmaps' rows, top row first (filled by the starting operation; kept by Stop).
    std::vector<uint8_t*> SourceRows, TargetRows, FrameRows;
    int32_t FrameWidth = 0;
    int32_t FrameHeight = 0;
    bool Running = false;
    TIEView* View = nullptr;      // the owning view
    cl::TTimer* Timer = nullptr;  // a component of the view, freed here
    int32_t Step = 0;             // 0 .. 1024
    int32_t LastCount = 0;        // points or boxes drawn so far (effects 25 and 26)
    uint8_t Effect = 0;           // 1 .. 188; 0 none
    int32_t Duration = 1000;      // milliseconds
    uint32_t StartTick = 0;       // the tick count at the start
    bool UpdateOnStop = false;    // end on the whole new picture and update the view
    cl::TRect PanZoomStart{};     // the image part shown at step 0
    cl::TRect PanZoomEnd{};       // ... and at step 1024
    cl::TNotifyEvent OnTransitionStop;
    TIETransitionStepEvent OnTransitionStep;
    uint8_t Timing = ietLinear;
    int32_t FrameCount = 0;  // ticks handled since the start

    // The two calls only the full view has, installed by the view when it creates this
    // object. ViewUpdate: the view's Update (repaints the whole view), called by Stop when
    // UpdateOnStop is set. DrawBackgroundTo: paints the view's background over the whole
    // canvas, used by pan and zoom before it draws a rectangle that does not fill the frame;
    // without it the frame is filled with the view's background colour.
    std::function<void()> ViewUpdate;
    std::function<void(cl::TCanvas* Canvas)> DrawBackgroundTo;

    const TIEOnTransitionPaint& GetOnTransitionPaint() const { return FOnTransitionPaint; }
    void SetOnTransitionPaint(TIEOnTransitionPaint Event) { FOnTransitionPaint = std::move(Event); }

    // Ends a running transition (nothing when idle or when the effect is 0): disables the
    // timer, clears Running, shrinks the frame, source and target bitmaps to 1 x 1, unlocks
    // the view's updates, updates the view when UpdateOnStop is set, and fires
    // OnTransitionStop.
    void Stop();
    // The frame step, on every tick of the timer.
    void TimerEvent(cl::TObject* Sender);

private:
    // Whether the fields describe a transition the frame step can draw.
    bool SetUpSound() const;
    // The end of a transition, whatever its effect number.
    void Finish();
    void ComposeFrame();
    void ComposeBuiltIn(int32_t S);
    void ComposeExtra(int32_t S);
    void ComposePanZoom(int32_t S);
    // Frame (or Bitmap) onto the view's canvas at (0, 0).
    void ShowOnView(cl::TBitmap* Bitmap);
    void NextStep(uint32_t Elapsed);

    TIEOnTransitionPaint FOnTransitionPaint;
};

}  // namespace ie
