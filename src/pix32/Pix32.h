// The bitmap library's basic types: the 32-bit pixel, fixed-point numbers, rectangles and the
// modes by which one bitmap is drawn into another.
#pragma once

#include <cstdint>

#include "platform/windef.h"

namespace pix32 {

// A pixel: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7; alpha 255 is opaque.
// In memory (little-endian) its bytes are blue, green, red, alpha.
using TColor32 = uint32_t;
using PColor32 = TColor32*;

// 16.16 fixed-point value (value x 65536).
using TFixed = int32_t;
constexpr TFixed FixedOne = 0x10000;
constexpr TFixed FixedHalf = 0x7FFF;

// Rectangles are the platform's: left, top, right, bottom (right and bottom exclusive).
using TRect = win::RECT;
using TPoint = win::POINT;

struct TFixedRect {
    TFixed Left = 0;
    TFixed Top = 0;
    TFixed Right = 0;
    TFixed Bottom = 0;
};

struct TFloatRect {
    float Left = 0;
    float Top = 0;
    float Right = 0;
    float Bottom = 0;
};

// How a bitmap is combined when drawn into another.
enum TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2, dmTransparent = 3 };
// Which blend family dmBlend uses.
enum TCombineMode : uint8_t { cmBlend = 0, cmMerge = 1 };
// How the wrapped pixel readers map a coordinate into the clip rectangle.
enum TWrapMode : uint8_t { wmClamp = 0, wmRepeat = 1, wmMirror = 2 };

// Channel access.
constexpr uint32_t AlphaOf(TColor32 c) { return c >> 24; }
constexpr uint32_t RedOf(TColor32 c) { return (c >> 16) & 0xFF; }
constexpr uint32_t GreenOf(TColor32 c) { return (c >> 8) & 0xFF; }
constexpr uint32_t BlueOf(TColor32 c) { return c & 0xFF; }
constexpr TColor32 Color32(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0xFF) {
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

}  // namespace pix32
