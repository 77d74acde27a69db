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
    FWidth = 100;
    FHeight = 100;
}

void TOleControl::SetOleObject(std::shared_ptr<IOleDrawObject> Object) {
    FObject = std::move(Object);
    Invalidate();
}

void TOleControl::PaintWindow(HDC dc) { OleDraw(FObject.get(), DVASPECT_CONTENT, dc, GetClientRect()); }

void ControlsInternal::RegisterOleCtrls() { RegisterClasses({&TOleControl::StaticClass()}); }

}  // namespace cl
