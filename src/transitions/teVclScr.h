// The screen device: it runs an effect over a control on the screen. Prepare lays a render
// window that never paints over the animated area, so the screen keeps the old look there
// while the caller changes the control; Execute captures that frozen look, renders the new
// look off-screen, runs the frames in the render window, hides it and refreshes the control.
#pragma once

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "transitions/teCore.h"

namespace te {

class TTERenderWindow : public cl::TCustomControl {
    CL_DECLARE_COMPONENT(TTERenderWindow, cl::TCustomControl)
public:
    explicit TTERenderWindow(cl::TComponent* AOwner);
    ~TTERenderWindow() override;

    // Painted by the erase handler when set (owned).
    cl::TBitmap* BackgroundBitmap = nullptr;
    // The control whose window decides whether an owner-less render window is topmost.
    cl::TWinControl* OwnerControl = nullptr;

protected:
    void CreateParams(cl::TCreateParams& Params) override;
};

class TTEVCLScreenTrDevice : public TTETransitionDevice {
    CL_DECLARE_CLASS(TTEVCLScreenTrDevice, TTETransitionDevice)
public:
    TTEVCLScreenTrDevice();
    // Unprepares first.
    ~TTEVCLScreenTrDevice() override;

    bool Prepare(cl::TControl* AControl, const win::RECT& R);
    void UnPrepare();

    void DoExecute() override;
    void PrepareWorkBitmap(win::HPALETTE& OldPalette) override;
    TTransitionEffect* TransitionToRun(TTransitionEffect* Transition, bool MakeCopy) override;
    win::HWND GetThreadWindow() override;
    bool IsTransitionDisabled(TTransitionEffect* Transition, bool ForRun) const override;
    bool HasWindowRegion() override;
    bool IsObscured() override;
    void Execute(bool Synchronous) override;
    bool IsPaletteDisplay() override;
    uint8_t GetPixelFormat() override;
    bool SupportsTwoPasses() override { return true; }

    TTERenderWindow* RenderWindow = nullptr;
    bool Prepared = false;
    bool WindowReady = false;
    bool RectInClientCoords = true;
    cl::TControl* Control = nullptr;
    win::RECT ScreenRect;
    win::RECT ControlRect;
    win::DWORD SavedParentStyle = 0;
    bool UseLayeredWindow = false;
    bool UseComposition = false;
    bool ClientCoordsNow = true;
    win::HRGN WindowRegion = nullptr;

protected:
    void CaptureNewLook() override;
    int32_t BackgroundColor() override;

private:
    bool SetUpWindow(cl::TControl* AControl, const win::RECT& R);
    void ReleaseWindow();
    // The animated area's rectangle for captures: Base's left and top, the run's bitmap
    // width and Base's bottom. Off-screen renderings take it in the control's own
    // coordinates (ControlRect), which the renderer expects in either coordinate mode.
    win::RECT CaptureRect(const win::RECT& Base);
    // R, given relative to wc (client or window coordinates by ClientCoordsNow), on the
    // screen.
    win::RECT OnScreen(cl::TWinControl* wc, const win::RECT& R) const;
    win::HWND ParentWindowOfRender() const;
    cl::TWinControl* RenderParent = nullptr;
};

// True while some screen device holds a prepared transition (one at a time in the program).
bool TransitionPrepared();

// Prepares an effect for the lifetime of the scope and unprepares it at its end, also when
// the caller's code between the two raises, so that the library-wide prepared flag is never
// left set.
class TTEPreparedScope {
public:
    TTEPreparedScope(TTransitionEffect* Effect, cl::TControl* Control, const win::RECT& R);
    ~TTEPreparedScope();
    TTEPreparedScope(const TTEPreparedScope&) = delete;
    TTEPreparedScope& operator=(const TTEPreparedScope&) = delete;
    bool Prepared() const { return prepared_; }

private:
    TTransitionEffect* effect_;
    bool prepared_ = false;
};

}  // namespace te
