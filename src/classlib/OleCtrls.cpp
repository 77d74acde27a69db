// TOleControl and the drawing of embedded objects.
#include "classlib/OleCtrls.h"

#include "classlib/Controls_internal.h"

namespace cl {

using namespace win;

bool OleDraw(IOleDrawObject* Object, uint32_t Aspect, HDC DC, const RECT& Bounds) {
    if (!Object || !DC || Bounds.right <= Bounds.left || Bounds.bottom <= Bounds.top) return false;
    return Object->Draw(Aspect, DC, Bounds);
}

TOleControl::TOleControl(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks;
    width_ = 100;
    height_ = 100;
}

void TOleControl::SetOleObject(std::shared_ptr<IOleDrawObject> Object) {
    object_ = std::move(Object);
    Invalidate();
}

void TOleControl::PaintWindow(HDC dc) { OleDraw(object_.get(), DVASPECT_CONTENT, dc, ClientRect()); }

void ControlsInternal::RegisterOleCtrls() { RegisterClasses({&TOleControl::StaticClass()}); }

}  // namespace cl
