// The waterfall effect: the new picture runs over the old one like water, every column
// (downward, upward) or row (sideways) advancing on its own at a random speed.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"

namespace te {

struct TWaterfallGeometry {
    TTEEffectDirection Direction = tedDown;
    std::vector<uint16_t> Progress;  // per line: how far it has advanced from its side

    static int32_t FrameCount(TTEEffectDirection Direction, int32_t Width, int32_t Height);
    // One progress entry per column (down, up) or row (right, left), all 0.
    void Setup(TTEEffectDirection ADirection, int32_t Width, int32_t Height);
    // Advances every line by Step times a random 0..3 (one draw of the shared generator per
    // line), draws (with Draw, with Canvas's pen) the pieces added and sets Data.UpdateRect.
    void DrawFrame(cl::TCanvas* Canvas, int32_t Step, bool Draw, TTETransitionData* Data);
};

}  // namespace te
