// The base control of the imaging library's views: a border, a background colour, the
// resolution of the shown image, and the list through which other components (the
// input/output and processing components) learn that the view's image changed or that the
// view is going away. The full view derives from it and implements the abstract
// operations; components that only need some view with an image hold a TIEView.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Forms.h"

namespace ie {

class TIEBitmap;

// Sent to the registered components: Destroying is true once, when the view goes away.
using TIEBitmapChangeEvent = std::function<void(cl::TObject* Sender, bool Destroying)>;

// A registration in the bitmap-change list; its address is the registration handle.
struct TIEBitmapChangeRecord {
    TIEBitmapChangeEvent Event;
};

class TIEView : public cl::TCustomControl {
    CL_DECLARE_CLASS(TIEView, cl::TCustomControl)
public:
    explicit TIEView(cl::TComponent* AOwner);
    // Tells every registered component (Destroying true), in registration order, and
    // frees the registrations.
    ~TIEView() override;

    // The border: bsNone or bsSingle (any other value counts as single). A change
    // recreates the window.
    cl::TFormBorderStyle GetBorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(cl::TFormBorderStyle Value);
    bool GetCtl3D() const { return Ctl3D; }
    void SetCtl3D(bool Value);

    cl::TColor GetBackground() const { return FBackground; }
    // Stores the colour; descendants repaint.
    virtual void SetBackground(cl::TColor Value);

    // The shown image as a class-library bitmap / as a TIEBitmap: none here.
    virtual cl::TBitmap* GetBitmap() { return nullptr; }
    virtual TIEBitmap* GetIEBitmap() { return nullptr; }
    virtual TIEBitmap* GetAlphaChannel() = 0;
    virtual bool GetHasAlphaChannel() = 0;
    virtual void RemoveAlphaChannel(bool Merge) = 0;
    virtual void LockUpdate() = 0;
    virtual void UnlockUpdate() = 0;
    virtual void UnlockUpdateEx() = 0;

    int32_t GetDpiX() const { return FDpiX; }
    int32_t GetDpiY() const { return FDpiY; }
    // Store a non-zero resolution (dots per inch); 0 is ignored.
    virtual void SetDpiX(int32_t Value);
    virtual void SetDpiY(int32_t Value);
    virtual void SetDpi(int32_t X, int32_t Y);
    // The image changed: descendants fire their image-change event.
    virtual void ImageChange() {}

    // Appends a registration and returns its handle.
    TIEBitmapChangeRecord* RegisterBitmapChangeEvent(TIEBitmapChangeEvent Event);
    // Removes and frees a registration; null and unknown handles are ignored.
    void RemoveBitmapChangeEvent(TIEBitmapChangeRecord* Handle);
    // Calls every registered event, in registration order, with Destroying false.
    virtual void CallBitmapChangeEvents();
    int32_t BitmapChangeEventCount() const { return static_cast<int32_t>(FBitmapChangeEvents.size()); }

    // OnMouseEnter and OnMouseLeave are the control's own events: the class library's
    // mouse enter and leave notifications fire them.

protected:
    void CreateParams(cl::TCreateParams& Params) override;

private:
    cl::TFormBorderStyle FBorderStyle = cl::bsSingle;
    cl::TColor FBackground = cl::clBtnFace;
    std::vector<std::unique_ptr<TIEBitmapChangeRecord>> FBitmapChangeEvents;
    int32_t FDpiX = 0;
    int32_t FDpiY = 0;
};

}  // namespace ie
