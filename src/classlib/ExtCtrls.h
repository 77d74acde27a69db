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

    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut v);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut v);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v);
    int BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int v);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);

protected:
    void Paint() override;
    void AdjustClientRect(win::RECT& Rect) const override;

private:
    TBevelCut bevelOuter_ = bvRaised;
    TBevelCut bevelInner_ = bvNone;
    int bevelWidth_ = 1;
    int borderStyle_ = 0;
    TAlignment alignment_ = taCenter;
};

// A picture drawn by its parent: at its own size from the top-left, centred, or stretched
// over the control; AutoSize takes the picture's size. Canvas draws into a bitmap picture
// of the control's size (made on first use).
class TImage : public TGraphicControl {
    CL_DECLARE_COMPONENT(TImage, TGraphicControl)
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() const { return picture_; }
    void SetPicture(TPicture* v) { picture_->Assign(v); }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v);
    bool Center() const { return center_; }
    void SetCenter(bool v);
    bool Proportional() const { return proportional_; }
    void SetProportional(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    TCanvas* Canvas();
    // Where the picture goes in the control.
    win::RECT DestRect() const;

protected:
    void Paint() override;
    bool CanAutoSize(int& NewWidth, int& NewHeight) override;

private:
    void PictureChanged();
    TPicture* picture_ = nullptr;
    bool stretch_ = false;
    bool center_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
    bool drawing_ = false;
};

enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TShape : public TGraphicControl {
    CL_DECLARE_COMPONENT(TShape, TGraphicControl)
public:
    explicit TShape(TComponent* AOwner);
    ~TShape() override;
    TShapeType Shape() const { return shape_; }
    void SetShape(TShapeType v);
    TPen* Pen() const { return pen_; }
    void SetPen(TPen* v) { pen_->Assign(v); }
    TBrush* Brush() const { return brush_; }
    void SetBrush(TBrush* v) { brush_->Assign(v); }

protected:
    void Paint() override;

private:
    TShapeType shape_ = stRectangle;
    TPen* pen_ = nullptr;
    TBrush* brush_ = nullptr;
};

// A timer on the message queue (SetTimer on its own utility window). It runs while Enabled,
// Interval > 0 and OnTimer is assigned; any change of the three restarts the interval.
class TTimer : public TComponent {
    CL_DECLARE_COMPONENT(TTimer, TComponent)
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned v);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent v);

protected:
    virtual void Timer();

private:
    void UpdateTimer();
    win::HWND window_ = nullptr;
    bool enabled_ = true;
    unsigned interval_ = 1000;
    TNotifyEvent onTimer_;
};

// The component that asks for themed controls; it does nothing here.
class TXPManifest : public TComponent {
    CL_DECLARE_COMPONENT(TXPManifest, TComponent)
public:
    explicit TXPManifest(TComponent* AOwner) : TComponent(AOwner) {}
};

}  // namespace cl
