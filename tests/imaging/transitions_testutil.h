// Helpers of the transition tests: 24-bit class-library pictures filled with noise, their
// pixel bytes, and comparisons of frames with the pictures they come from.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "classlib/Graphics.h"

namespace ie::test {

// A W x H picture of 24 bits per pixel, every byte from a generator seeded with Seed.
inline std::unique_ptr<cl::TBitmap> NoisePicture(int W, int H, uint32_t Seed) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(W, H);
    std::mt19937 rng(Seed);
    for (int y = 0; y < H; ++y) {
        auto* p = static_cast<uint8_t*>(b->ScanLine(y));
        for (int i = 0; i < W * 3; ++i) p[i] = static_cast<uint8_t>(rng());
    }
    return b;
}

// Fills Dest (same size) with Source's pixels.
inline void CopyPixels(cl::TBitmap* Dest, cl::TBitmap* Source) {
    for (int y = 0; y < Source->GetHeight(); ++y)
        std::memcpy(Dest->ScanLine(y), Source->ScanLine(y), static_cast<size_t>(Source->GetWidth()) * 3);
}

// The pixel (x, y) as 0xBBGGRR in memory order.
inline uint32_t PixelAt(cl::TBitmap* b, int x, int y) {
    const auto* p = static_cast<const uint8_t*>(b->ScanLine(y)) + static_cast<size_t>(x) * 3;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// The pixels where A and B differ.
inline int64_t DifferentPixels(cl::TBitmap* A, cl::TBitmap* B) {
    int64_t n = 0;
    for (int y = 0; y < A->GetHeight(); ++y)
        for (int x = 0; x < A->GetWidth(); ++x) n += PixelAt(A, x, y) != PixelAt(B, x, y);
    return n;
}

}  // namespace ie::test
