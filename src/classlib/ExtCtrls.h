// Panels, images, shapes, timers, and the manifest component.
#pragma once

#include "classlib/Controls.h"
#include "classlib/StdCtrls.h"

namespace cl {

// A windowed container with bevels and a centred caption.
class TPanel : public TCustomControl {
    CL_DECLARE_COMPONENT(TPanel, TCustomControl)
public:
    explicit TPanel(TComponent* AOwner);

    TBevelCut GetBevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut v);
    TBevelCut GetBevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut v);
    int GetBevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int v);
    int GetBorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(int v);
    TAlignment GetAlignment() const { return FAlignment; }
    void SetAlignment(TAlignment v);

protected:
    void Paint() override;
    void AdjustClientRect(win::RECT& Rect) const override;

private:
    TBevelCut FBevelOuter = bvRaised;
    TBevelCut FBevelInner = bvNone;
    int FBevelWidth = 1;
    int FBorderStyle = 0;
    TAlignment FAlignment = taCenter;
};

// A picture drawn by its parent: at its own size from the top-left, centred, or stretched
// over the control; AutoSize takes the picture's size. Canvas draws into a bitmap picture
// of the control's size (made on first use).
class TImage : public TGraphicControl {
    CL_DECLARE_COMPONENT(TImage, TGraphicControl)
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* GetPicture() const { return FPicture.get(); }
    void SetPicture(TPicture* v) { FPicture->Assign(v); }
    bool GetStretch() const { return FStretch; }
    void SetStretch(bool v);
    bool GetCenter() const { return FCenter; }
    void SetCenter(bool v);
    bool GetProportional() const { return FProportional; }
    void SetProportional(bool v);
    bool GetTransparent() const { return FTransparent; }
    void SetTransparent(bool v);
    TCanvas* GetCanvas();
    // Where the picture goes in the control.
    win::RECT DestRect() const;

protected:
    void Paint() override;
    bool CanAutoSize(int& NewWidth, int& NewHeight) override;

private:
    void PictureChanged();
    std::unique_ptr<TPicture> FPicture;
    bool FStretch = false;
    bool FCenter = false;
    bool FProportional = false;
    bool FTransparent = false;
    bool FDrawing = false;
};

enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TShape : public TGraphicControl {
    CL_DECLARE_COMPONENT(TShape, TGraphicControl)
public:
    explicit TShape(TComponent* AOwner);
    ~TShape() override;
    TShapeType GetShape() const { return FShape; }
    void SetShape(TShapeType v);
    TPen* GetPen() const { return FPen.get(); }
    void SetPen(TPen* v) { FPen->Assign(v); }
    TBrush* GetBrush() const { return FBrush.get(); }
    void SetBrush(TBrush* v) { FBrush->Assign(v); }

protected:
    void Paint() override;

private:
    TShapeType FShape = stRectangle;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
};

// A timer on the message queue (SetTimer on its own utility window). It runs while Enabled,
// Interval > 0 and OnTimer is assigned; any change of the three restarts the interval.
class TTimer : public TComponent {
    CL_DECLARE_COMPONENT(TTimer, TComponent)
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;
    bool GetEnabled() const { return FEnabled; }
    void SetEnabled(bool v);
    unsigned GetInterval() const { return FInterval; }
    void SetInterval(unsigned v);
    const TNotifyEvent& GetOnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent v);

protected:
    virtual void Timer();

private:
    void UpdateTimer();
    win::HWND FWindow = nullptr;
    bool FEnabled = true;
    unsigned FInterval = 1000;
    TNotifyEvent FOnTimer;
};

// The component that asks for themed controls; it does nothing here.
class TXPManifest : public TComponent {
    CL_DECLARE_COMPONENT(TXPManifest, TComponent)
public:
    explicit TXPManifest(TComponent* AOwner) : TComponent(AOwner) {}
};

}  // namespace cl
