// A photograph-like picture for the benchmarks that decode a camera-sized slide.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"

namespace bench {

// Smooth light, textured areas, sharp edges and sensor noise, so that the JPEG has the size
// and entropy of a camera picture (about 3 MB at quality 90 for 4000 x 3000). No pixel is
// black.
inline std::unique_ptr<cl::TBitmap> Photograph(int W, int H) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(W, H);
    std::mt19937 rng(7);
    for (int y = 0; y < H; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int x = 0; x < W; ++x) {
            const int sky = y < H / 3;
            const int stripes = ((x / 37 + y / 53) & 1) * 40;
            const int noise = static_cast<int>(rng() % 24);
            const int r = sky ? 90 + y * 100 / H : 60 + stripes + (x * 120 / W);
            const int g = sky ? 140 + x * 60 / W : 90 + (stripes >> 1) + ((x ^ y) & 31);
            const int bl = sky ? 200 : 40 + ((x * y) >> 14 & 63);
            row[3 * x] = static_cast<uint8_t>(std::min(255, bl + noise));
            row[3 * x + 1] = static_cast<uint8_t>(std::min(255, g + noise));
            row[3 * x + 2] = static_cast<uint8_t>(std::min(255, r + noise));
        }
    }
    return b;
}

// The picture as the bytes of a JPEG file written by the class library's JPEG picture.
inline std::vector<uint8_t> PhotographJpeg(int W, int H) {
    auto photo = Photograph(W, H);
    cl::TJPEGImage jpeg;
    jpeg.Assign(photo.get());
    cl::TMemoryStream out;
    jpeg.SaveToStream(&out);
    const auto* p = static_cast<const uint8_t*>(out.GetMemory());
    return std::vector<uint8_t>(p, p + out.GetSize());
}

}  // namespace bench
