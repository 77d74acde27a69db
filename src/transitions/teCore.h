// The core of the transition library: the effect component every effect derives from, the
// list that holds a form's effects, the run data handed to effects, the abstract device
// with its passes, frame loops, pacing, abort polling and thread mode, the plain cut, and
// the registry of effect classes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "platform/kernel.h"
#include "platform/windef.h"
#include "transitions/teChrono.h"

namespace cl {
class TBitmap;
class TCanvas;
class TControl;
class TWinControl;
}  // namespace cl

namespace te {

class TTransitionEffect;
class TTransitionList;
class TTETransitionDevice;
class TTEVCLScreenTrDevice;
class TTETransitionData;

class ETransitionEffectError : public cl::Exception {
public:
    using cl::Exception::Exception;
    const char* ClassName() const noexcept override { return "ETransitionEffectError"; }
};

// ---- directions and pass settings -----------------------------------------------------

enum TTEEffectDirection : uint8_t {
    tedNone = 0,
    tedRight = 1,
    tedLeft = 2,
    tedDown = 3,
    tedUp = 4,
    tedDownRight = 5,
    tedDownLeft = 6,
    tedUpRight = 7,
    tedUpLeft = 8,
    tedIn = 9,
    tedOut = 10,
    tedRandom = 11,
};
// A set of directions: bit (1 << value) for values 0 to 15.
using TTEEffectDirections = uint16_t;
constexpr TTEEffectDirections DirectionBit(TTEEffectDirection d) { return static_cast<TTEEffectDirections>(1u << d); }

// The name of a direction in settings strings (bit 7 of the value is ignored; values above
// 11 have the empty name), and the direction of a name (exact comparison; tedNone when the
// name is unknown).
cl::String DirectionName(uint8_t value);
TTEEffectDirection DirectionFromName(const cl::String& name);

enum TTEPassSettingType : uint8_t { teOnePass = 0, teTwoPasses = 1, tePaletteDependent = 2 };

// Capability flags answered by TTransitionEffect::GetInfo.
constexpr uint16_t tetiMillisecondsCapable = 0x001;
constexpr uint16_t tetiNeedDstBmp = 0x002;
constexpr uint16_t tetiNeedOffScreenBmp = 0x004;
constexpr uint16_t tetiNeedSrcBmp = 0x008;
constexpr uint16_t tetiOffScreenBmpCapable = 0x010;
constexpr uint16_t tetiStaticSrcPixels = 0x020;
constexpr uint16_t tetiUseDirtyRects = 0x040;
constexpr uint16_t tetiUseSrcAsOffScreenBmp = 0x080;
constexpr uint16_t tetiThreadSafe = 0x100;
constexpr uint16_t tetiTwoPassesCapable = 0x200;

// The version text published by effects and lists.
extern const char* const TEVersionText;

// ---- small rectangle helpers --------------------------------------------------------------

inline bool RectEmpty(const win::RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
// The intersection; all zero (and false) when empty.
bool IntersectRects(win::RECT& dest, const win::RECT& a, const win::RECT& b);
// Widens Dest to the smallest rectangle holding Dest and R; an empty R leaves Dest as it is,
// an empty Dest becomes R.
void UniteRect(win::RECT& Dest, const win::RECT& R);
inline win::RECT MakeRect(int l, int t, int r, int b) {
    win::RECT x;
    x.left = l;
    x.top = t;
    x.right = r;
    x.bottom = b;
    return x;
}

// ---- options of two-pass runs ---------------------------------------------------------------

class TTEPass2OptionsType : public cl::TPersistent {
    CL_DECLARE_CLASS(TTEPass2OptionsType, cl::TPersistent)
public:
    void Assign(cl::TPersistent* Source) override;

    bool DistributedTime = false;
    bool Reversed = false;
    bool UseSolidColor = true;
    int32_t SolidColor = 0x1FFFFFFF;  // clNone: the colour of the animated control
};

// ---- run data ----------------------------------------------------------------------------------

// The changed areas of one frame.
class TTEDirtyRects {
public:
    // Adds a copy of R, cut to ClipRect first when Clip is set (dropped when nothing is left).
    void AddRect(const win::RECT& R);
    void Clear() { Rects.clear(); }
    int Count() const { return static_cast<int>(Rects.size()); }

    std::vector<win::RECT> Rects;
    bool Clip = false;
    bool AutoClear = true;
    win::RECT ClipRect;
};

// Base of an effect's own run data.
class TTECustomData : public cl::TObject {
    CL_DECLARE_CLASS(TTECustomData, cl::TObject)
public:
    explicit TTECustomData(TTETransitionData* AData) : Data(AData) {}
    TTETransitionData* Data;
};

// The state of one run, created by the device and handed to every effect operation.
class TTETransitionData : public cl::TObject {
    CL_DECLARE_CLASS(TTETransitionData, cl::TObject)
public:
    TTETransitionData();
    // Frees the stopwatches, the effect's data, the dirty rectangles and the work bitmap
    // (unless it is the old look itself).
    ~TTETransitionData() override;

    // Setting FrameSync False creates the pacing stopwatch; True frees it.
    void SetFrameSync(bool Value);
    bool GetFrameSync() const { return FFrameSync; }

    cl::TBitmap* Bitmap = nullptr;
    cl::TBitmap* SrcImage = nullptr;
    std::unique_ptr<TTEChrono> AbortChrono;
    cl::TBitmap* LastImage = nullptr;
    double BlitTime = 0;
    std::unique_ptr<TTEChrono> PaceChrono;
    bool ShowFrames = true;
    bool ShowFinal = true;
    std::unique_ptr<TTECustomData> Custom;
    TTETransitionDevice* Device = nullptr;
    cl::TCanvas* Canvas = nullptr;
    win::HWND Window = nullptr;
    std::unique_ptr<TTEDirtyRects> DirtyRects;
    cl::TBitmap* DstImage = nullptr;
    int32_t StartFrame = -1;
    int32_t Frames = 0;
    int32_t LastFrame = 0;
    int32_t TotalFrames = 0;
    int32_t FramesShown = 0;
    int32_t Height = 0;
    int32_t OffsetX = 0;
    int32_t OffsetY = 0;
    win::HPALETTE Palette = nullptr;
    int32_t Pass = 1;
    int32_t PassCount = 1;
    uint8_t PixelFormat = 0;
    bool HasFirstFrame = false;
    bool HasLastFrame = false;
    win::RECT UnUpdateRect;
    win::RECT PrevUnUpdateRect;
    win::RECT UpdateRect;
    win::RECT PrevUpdateRect;
    int32_t Width = 0;

private:
    bool FFrameSync = true;
};

// ---- the effect component --------------------------------------------------------------------

using TTEAbortQueryEvent = std::function<void(cl::TObject* Sender, TTransitionEffect* Transition, bool& Abort)>;

class TTransitionEffect : public cl::TComponent {
    CL_DECLARE_CLASS(TTransitionEffect, cl::TComponent)
public:
    explicit TTransitionEffect(cl::TComponent* AOwner);
    // Detaches from the list, unprepares and frees the device.
    ~TTransitionEffect() override;

    // What a caller does: capture the current look of Control inside Rect, change the
    // control, run, release.
    bool Prepare(cl::TControl* Control, const win::RECT& R);
    void Execute();
    void UnPrepare();
    void CreateDevice();
    void FreeDevice();
    // 1 or 2; with no device given the effect's own device answers (created for the call
    // and freed again when it did not exist).
    int GetPassCount(TTETransitionDevice* ADevice);

    TTEEffectDirection GetDirection() const { return FDirection; }
    // Accepts only a value in AllowedDirections (values above 15 are refused).
    void SetDirection(TTEEffectDirection Value);
    // ReversedDirection when Reversed is set, else Direction.
    TTEEffectDirection EffectiveDirection() const;

    TTransitionList* GetTransitionList() const { return FTransitionList; }
    void SetTransitionList(TTransitionList* List);
    bool GetEnabled() const { return FEnabled; }
    // Switching off releases a prepared capture.
    void SetEnabled(bool Value);
    TTEPass2OptionsType* GetPass2Options() const { return FPass2Options.get(); }
    void SetPass2Options(TTEPass2OptionsType* Value) { FPass2Options->Assign(Value); }
    TTEVCLScreenTrDevice* GetDevice() const { return FDevice; }
    cl::String GetVersion() const { return TEVersionText; }
    void SetVersion(const cl::String&) {}

    // Virtual operations, in slot order.
    void Assign(cl::TPersistent* Source) override;
    void SetName(const cl::String& NewName) override;
    // A text query and an integer query kept for effects that answer them; no effect of
    // the library does.
    virtual cl::String QueryText() const { return cl::String(); }
    virtual TTEEffectDirection ReversedDirection() const;
    virtual int GetBitmapsWidth(TTETransitionData* Data);
    virtual uint8_t GetPixelFormat(TTETransitionDevice* ADevice);
    virtual void Initialize(TTETransitionData* Data, int32_t& Frames);
    virtual int32_t QueryInteger() const { return 0; }
    virtual void Finalize(TTETransitionData* Data);
    virtual void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step,
                              int32_t LastExecutedFrame) = 0;
    virtual uint16_t GetInfo(TTETransitionDevice* ADevice);
    virtual void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix);
    virtual void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix);
    virtual cl::String Description() const { return ClassName(); }
    virtual cl::String EditorClassName() const { return "TTransitionEffectEditor"; }
    virtual TTransitionEffect* TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy);

    // Component streaming: effects are children of their list.
    bool HasParent() const override { return FTransitionList != nullptr; }
    cl::TComponent* GetParentComponent() const override;
    void SetParentComponent(cl::TComponent* Value) override;

    bool Reversed = false;
    bool AbortOnClick = false;
    bool AbortOnEscape = false;
    bool FlickerFreeWhenDisabled = false;
    int32_t AbortCheckInterval = 300;
    int32_t Milliseconds = 0;
    TTEPassSettingType PassSetting = teOnePass;
    TTransitionEffect* SourceEffect = nullptr;
    TTEAbortQueryEvent OnAbortQuery;
    cl::TNotifyEvent OnAfterTransition;
    cl::TNotifyEvent OnBeforeTransition;
    cl::TNotifyEvent OnStartTransition;
    cl::TNotifyEvent OnEndTransition;
    bool RectInClientCoords = true;
    TTEEffectDirections AllowedDirections = DirectionBit(tedNone);
    bool InternalFlag1 = false;
    bool InternalFlag2 = false;

protected:
    TTEEffectDirection FDirection = tedNone;

private:
    friend class TTransitionList;
    friend class TTETransitionDevice;
    TTransitionList* FTransitionList = nullptr;
    bool FEnabled = true;
    std::unique_ptr<TTEPass2OptionsType> FPass2Options;
    TTEVCLScreenTrDevice* FDevice = nullptr;
};

// ---- the list --------------------------------------------------------------------------------------

class TTransitionList : public cl::TComponent {
    CL_DECLARE_COMPONENT(TTransitionList, cl::TComponent)
public:
    explicit TTransitionList(cl::TComponent* AOwner);
    // Frees every attached effect.
    ~TTransitionList() override;

    void Clear();
    void AddTransition(TTransitionEffect* Effect);
    void RemoveTransition(TTransitionEffect* Effect);
    int GetTransitionCount() const { return static_cast<int>(FTransitions.size()); }
    // EListError outside the list.
    TTransitionEffect* GetTransition(int Index) const;
    int IndexOfTransition(const TTransitionEffect* Effect) const;
    void Assign(cl::TPersistent* Source) override;
    void GetChildren(const std::function<void(cl::TComponent*)>& proc, cl::TComponent* root) override;
    cl::String GetVersion() const { return TEVersionText; }
    void SetVersion(const cl::String&) {}

    // A design-time editor's window; nil at run time.
    cl::TObject* Editor = nullptr;

protected:
    void Notification(cl::TComponent* AComponent, cl::TOperation Operation) override;

private:
    std::vector<TTransitionEffect*> FTransitions;
};

// ---- the abstract device ------------------------------------------------------------------------

class TTETransitionThread;

class TTETransitionDevice : public cl::TObject {
    CL_DECLARE_CLASS(TTETransitionDevice, cl::TObject)
public:
    TTETransitionDevice();
    // Frees the run data, the working copy and the locks.
    ~TTETransitionDevice() override;

    TTransitionEffect* GetTransition() const;
    // "Transition is busy" while run data exists.
    void SetTransition(TTransitionEffect* Value);

    // Virtual operations, in slot order.
    virtual bool CanRun();
    virtual bool CheckAbort(bool CheckTime);
    virtual void FreeRunData();
    virtual void CreateRunData();
    virtual void CalcFrameCounts();
    virtual void DoExecute() = 0;
    virtual void PrepareWorkBitmap(win::HPALETTE& OldPalette);
    virtual TTransitionEffect* TransitionToRun(TTransitionEffect* Transition, bool MakeCopy);
    virtual int AfterFrame(int Flag);
    virtual win::HWND GetThreadWindow();
    virtual bool NeedsWorkBitmap();
    virtual void DoThreadEnded();
    virtual bool IsThreadSafe() const { return false; }
    virtual bool IsTransitionDisabled(TTransitionEffect* Transition, bool ForRun) const;
    virtual void Abort();
    virtual bool HasWindowRegion();
    virtual bool IsObscured();
    virtual bool NoDirectPaint() { return false; }
    virtual void Execute(bool Synchronous);
    virtual bool IsPaletteDisplay() = 0;
    virtual uint8_t GetPixelFormat() = 0;
    virtual bool SupportsTwoPasses() = 0;

    // The passes of a run over OldImage: the solid picture between two passes, one or two
    // passes (with DistributedTime sharing the duration), the new look captured before the
    // pass that ends on it.
    void RunPasses();
    // One pass: pass number, pass stopwatch (may be null), duration.
    void RunPass(int32_t Pass, TTEChrono* PassChrono, int32_t Total);
    // Copies a bitmap onto the run's canvas at the drawing offset.
    void ShowImage(cl::TBitmap* Image);
    // Shows what the effect drew for the frame (work bitmap to canvas) and rolls the
    // update rectangles over.
    void ShowFrame(TTEChrono* FrameChrono);
    // Fires an event of the effect with the device as sender.
    void FireEvent(const cl::TNotifyEvent& Event);

    // Read across the transition thread and the thread that owns the device.
    std::atomic<bool> Threaded{false};
    std::atomic<bool> Aborted{false};
    std::atomic<bool> Executing{false};
    bool OwnsWorkingCopy = true;
    bool ExtraFirstFrame = false;
    bool ExtraLastFrame = false;
    TTETransitionThread* Thread = nullptr;
    cl::TBitmap* OldImage = nullptr;
    cl::TBitmap* Pass2Image = nullptr;
    cl::TBitmap* NewImage = nullptr;
    std::unique_ptr<TTETransitionData> Data;
    win::CRITICAL_SECTION ThreadLock;
    win::CRITICAL_SECTION DataLock;
    bool EndEventPending = false;
    bool OutsideEvents = true;
    TTransitionEffect* WorkingTransition = nullptr;

    // The message a transition thread posts to the thread window when it ends.
    static constexpr unsigned int CM_TETHREADENDED = 0xB216;

protected:
    // Makes NewImage (the new look) when the effect wants it; the screen device renders the
    // control. The base has no new look of its own.
    virtual void CaptureNewLook() {}
    // The colour of the animated area (fills the picture between two passes).
    virtual int32_t BackgroundColor() { return 0; }
    // Frees the three pictures of a run.
    void FreeImages();
    // Selects the palette saved by PrepareWorkBitmap back into the canvas.
    void RestorePalette();
    win::HPALETTE FOldPalette = nullptr;
    void PlainLoop(TTEChrono& FrameChrono);
    void PacedLoop(TTEChrono& FrameChrono, int32_t Duration);
    // Draws one frame: the old look, the new look, or ExecuteFrame; true when shown.
    void DrawFrame(int32_t Index, int32_t Step, int32_t Previous, TTEChrono* FrameChrono);
    void PaceWait(float Wait, float Avg);
    void StartThread();

    TTransitionEffect* FTransition = nullptr;
    friend class TTETransitionThread;
};

// ---- the plain cut ---------------------------------------------------------------------------------

class TFlickerFreeTransition : public TTransitionEffect {
    CL_DECLARE_COMPONENT(TFlickerFreeTransition, TTransitionEffect)
public:
    explicit TFlickerFreeTransition(cl::TComponent* AOwner);
    void Assign(cl::TPersistent* Source) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData*, int32_t, int32_t, int32_t) override {}
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    cl::String Description() const override { return "Flicker free cut"; }

    bool InternalCutFlag = false;
};

// ---- registration and start-up --------------------------------------------------------------------

// Appends the class to the library's list of effect classes (once) and registers it with
// the class library's class registry.
void RegisterTransitionClass(const cl::TClass& EffectClass);
// The registered effect classes in registration order.
const std::vector<const cl::TClass*>& TransitionClasses();

// Empties the list of effect classes (library shutdown).
void ClearTransitionClasses();

// The library's start-up and shutdown: probes, paint registry, published properties,
// random seed, the cut's registration. Each runs once (a counter guards repeats).
void StartUp();
void ShutDown();

}  // namespace te
