// Helpers for the tests of the masked effects' geometry: a 1-bit mask with the pen and brush
// the masked base gives it, run data of a given size, and pixel sets of masks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"

namespace tegeom {

// A W x H 1-bit mask, all white, pen and brush black (what the hard-edge base draws with).
inline std::unique_ptr<cl::TBitmap> WhiteMask(int W, int H) {
    auto m = std::make_unique<cl::TBitmap>();
    m->SetPixelFormat(cl::pf1bit);
    m->SetSize(W, H);
    cl::TCanvas* c = m->Canvas();
    c->Brush()->SetColor(cl::clWhite);
    c->FillRect(cl::Rect(0, 0, W, H));
    c->Pen()->SetColor(cl::clBlack);
    c->Brush()->SetColor(cl::clBlack);
    return m;
}

// Which pixels of the mask are black, row by row.
inline std::vector<bool> BlackPixels(cl::TBitmap* m, int W, int H) {
    std::vector<bool> v(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) v[static_cast<size_t>(y) * W + x] = (m->Canvas()->Pixels(x, y) & 0xFFFFFF) == 0;
    return v;
}

inline bool InRect(const win::RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// Run data of a W x H run with FC frames and a clipped rectangle list.
inline std::unique_ptr<te::TTETransitionData> RunData(int W, int H, int FC) {
    auto d = std::make_unique<te::TTETransitionData>();
    d->Width = W;
    d->Height = H;
    d->Frames = FC;
    d->DirtyRects = std::make_unique<te::TTEDirtyRects>();
    d->DirtyRects->Clip = true;
    d->DirtyRects->ClipRect = te::MakeRect(0, 0, W, H);
    return d;
}

// Every black pixel of Drawn lies in the update rectangle (and, when Rects is not empty,
// in one of them). Returns the first pixel outside, or {-1, -1}.
inline win::POINT OutsideReported(const std::vector<bool>& Drawn, int W, int H, const win::RECT& Update,
                                  const std::vector<win::RECT>& Rects) {
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (!Drawn[static_cast<size_t>(y) * W + x]) continue;
            bool in = InRect(Update, x, y);
            if (in && !Rects.empty()) {
                in = false;
                for (const auto& r : Rects) in = in || InRect(r, x, y);
            }
            if (!in) return win::POINT{x, y};
        }
    return win::POINT{-1, -1};
}

}  // namespace tegeom
