// The frame of a windowed control as the tests' tables give it: border and bevels.
#pragma once

#include "classlib/Controls.h"

namespace frametest {

struct TFrameSettings {
    cl::TBevelKind kind;
    cl::TBevelCut inner, outer;
    int width, border;
    cl::TBevelEdges edges;
    bool ctl3D;

    // Before the control has a window: Ctl3D is read when the frame is painted.
    void ApplyTo(cl::TWinControl* c) const {
        c->Ctl3D = ctl3D;
        c->SetBevelKind(kind);
        c->SetBevelInner(inner);
        c->SetBevelOuter(outer);
        c->SetBevelWidth(width);
        c->SetBevelEdges(edges);
        c->SetBorderWidth(border);
    }
};

}  // namespace frametest
