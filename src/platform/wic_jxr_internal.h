// The HD Photo coder under the imaging factory: a narrow C++ face of the HD Photo library
// (its C headers and macros stay inside wic_jxr.cpp). Data are checked before the
// library sees them: the container's directory and the image's place in the data, the
// size of the picture against what the data can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace win::jxr {

// The pixel layouts the imaging factory knows, in their bytes.
// clang-format off
enum class TPixelKind {
    Unsupported,
    BlackWhite,  // 1 bit, most significant first, 1 white
    Gray8,
    Gray16,      // little-endian words
    BGR24,
    RGB24,
    BGR32,       // blue, green, red, unused
    BGRA32,
    RGB48,       // little-endian words red, green, blue
    CMYK32,
};
// clang-format on

// Bits per pixel of a layout; 0 for Unsupported.
uint32_t BitsPerPixel(TPixelKind Kind);
// Bytes of one row of Width pixels.
size_t RowBytes(TPixelKind Kind, uint32_t Width);

struct TImageInfo {
    uint32_t Width = 0;
    uint32_t Height = 0;
    float DpiX = 0;
    float DpiY = 0;
    TPixelKind Kind = TPixelKind::Unsupported;
};

// The largest picture decoded or encoded, in pixels.
constexpr uint64_t MaxPixels = 1ull << 28;

// Checks the container (little-endian directory, image inside the data, the coded stream's
// signature) and reads the picture's header. False for anything damaged or too large.
bool ReadInfo(const uint8_t* Data, size_t Size, TImageInfo& Info);

// Decodes the whole picture in its own layout: rows of RowBytes(Kind, Width) bytes, top
// first. False when the data cannot be decoded.
bool Decode(const uint8_t* Data, size_t Size, const TImageInfo& Info, std::vector<uint8_t>& Pixels);

struct TEncodeOptions {
    bool Lossless = false;
    float ImageQuality = -1;       // 0 .. 1; 1 or more: lossless; negative: not given
    bool UseCodecOptions = false;  // then the three below
    uint8_t Quality = 1;           // quantizer 1 .. 255
    uint8_t Overlap = 1;           // 0 .. 2
    uint8_t Subsampling = 3;       // 0 grey only, 1 4:2:0, 2 4:2:2, 3 4:4:4
    uint16_t HorizontalTileSlices = 0;
    uint16_t VerticalTileSlices = 0;
    bool FrequencyOrder = true;
};

// Encodes Height rows of Stride bytes in layout Kind (BlackWhite, Gray8, Gray16, BGR24,
// RGB48 or CMYK32) into a complete file in Out. False when the library refuses.
bool Encode(const TEncodeOptions& Options, TPixelKind Kind, uint32_t Width, uint32_t Height, float DpiX, float DpiY,
            const uint8_t* Pixels, size_t Stride, std::vector<uint8_t>& Out);

}  // namespace win::jxr
