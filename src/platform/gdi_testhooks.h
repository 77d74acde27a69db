// Test seams of the GDI (ours). Only tests, benchmarks, fuzz targets and the platform's own
// sources include this header.
#pragma once

#include "platform/gdi.h"

namespace win::test {

// The fixed-metric test font for every face (advance 7, height 13, ascent 10, descent 3,
// internal leading 2; every glyph a filled 5 x 8 box at (1, 2) of its cell). The face
// name "LumetraTestFont" selects it regardless of this switch.
void UseTestFont(bool on);

}  // namespace win::test
