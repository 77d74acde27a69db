// OLE controls: windowed controls that show an embedded object. The platform has no OLE, so
// the object is reached through a small drawing interface of the class library's own.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Controls.h"

namespace cl {

// Aspects an object can be drawn in.
constexpr uint32_t DVASPECT_CONTENT = 1;
constexpr uint32_t DVASPECT_THUMBNAIL = 2;
constexpr uint32_t DVASPECT_ICON = 4;
constexpr uint32_t DVASPECT_DOCPRINT = 8;

// The drawing side of an embedded object.
class IOleDrawObject {
public:
    virtual ~IOleDrawObject() = default;
    // Draws the aspect into DC over Bounds (logical coordinates of DC); false when the
    // object cannot draw that aspect.
    virtual bool Draw(uint32_t Aspect, win::HDC DC, const win::RECT& Bounds) = 0;
};

// Draws an object's aspect into DC over Bounds. False, drawing nothing, for a missing object
// or DC, an empty rectangle, or an aspect the object refuses.
bool OleDraw(IOleDrawObject* Object, uint32_t Aspect, win::HDC DC, const win::RECT& Bounds);

// A windowed control showing its object's content over the client area (the background is
// erased with the brush first). Without an object only the background shows.
class TOleControl : public TWinControl {
    CL_DECLARE_COMPONENT(TOleControl, TWinControl)
public:
    explicit TOleControl(TComponent* AOwner);

    IOleDrawObject* GetOleObject() const { return FObject.get(); }
    // Repaints the control.
    void SetOleObject(std::shared_ptr<IOleDrawObject> Object);

protected:
    void PaintWindow(win::HDC dc) override;

private:
    std::shared_ptr<IOleDrawObject> FObject;
};

}  // namespace cl
