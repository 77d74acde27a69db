// Helpers for the tests of the masked effects' geometry: a 1-bit mask with the pen and brush
// the masked base gives it, run data of a given size, and pixel sets of masks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"
#include "classlib/TypInfo.h"
#include "te_frame_driver.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"

namespace tegeom {

// A W x H 1-bit mask, all white, pen and brush black (what the hard-edge base draws with).
inline std::unique_ptr<cl::TBitmap> WhiteMask(int W, int H) {
    auto m = std::make_unique<cl::TBitmap>();
    m->SetPixelFormat(cl::pf1bit);
    m->SetSize(W, H);
    cl::TCanvas* c = m->GetCanvas();
    c->GetBrush()->SetColor(cl::clWhite);
    c->FillRect(cl::Rect(0, 0, W, H));
    c->GetPen()->SetColor(cl::clBlack);
    c->GetBrush()->SetColor(cl::clBlack);
    return m;
}

// Which pixels of the mask are black, row by row.
inline std::vector<bool> BlackPixels(cl::TBitmap* m, int W, int H) {
    std::vector<bool> v(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) v[static_cast<size_t>(y) * W + x] = (m->GetCanvas()->Pixels(x, y) & 0xFFFFFF) == 0;
    return v;
}

inline bool InRect(const win::RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

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

// ---- whole effects, driven frame by frame over random pictures

// Smoothing needs MMX: the fixture sets the probe's flag for its tests and restores it.
class MaskedEffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = te::MMXAvailable;
        te::MMXAvailable = true;
    }
    void TearDown() override { te::MMXAvailable = saved_; }
    bool saved_ = false;
};

inline int FramesOf(te::TTransitionEffect* e, int w, int h, cl::TPixelFormat pf = cl::pf32bit) {
    tetest::FrameDriver d(e, w, h, pf, 1);
    return d.Frames();
}

// A run that shows every frame and runs that jump (the paced loop skipping frames) show the
// same picture at every frame they share.
inline ::testing::AssertionResult PathIndependent(te::TTransitionEffect* e, int w, int h,
                                                  cl::TPixelFormat pf = cl::pf32bit) {
    std::vector<std::unique_ptr<cl::TBitmap>> reference;
    int frames = 0;
    {
        tetest::FrameDriver d(e, w, h, pf, 3);
        frames = d.Frames();
        reference.resize(static_cast<size_t>(frames) + 1);
        for (int k = 1; k <= frames; ++k) {
            d.Frame(k);
            reference[static_cast<size_t>(k)] = tetest::CopyOf(d.Work());
        }
    }
    for (const auto& script : tetest::JumpScripts(frames)) {
        tetest::FrameDriver d(e, w, h, pf, 3);
        for (int k : script) {
            d.Frame(k);
            auto same = tetest::SamePicture(d.Work(), reference[static_cast<size_t>(k)].get(), w, h);
            if (!same) return ::testing::AssertionFailure() << "frame " << k << ": " << same.message();
        }
    }
    return ::testing::AssertionSuccess();
}

// The first frame changes the old picture only where Allowed(x, y) holds, and changes it
// somewhere (when MustChange); the last frame shows the new picture everywhere (when
// EndsOnNew).
template <class Pred>
::testing::AssertionResult FirstAndLastFrame(te::TTransitionEffect* e, int w, int h, Pred Allowed, bool EndsOnNew,
                                             cl::TPixelFormat pf = cl::pf32bit, bool MustChange = true) {
    tetest::FrameDriver d(e, w, h, pf, 5);
    d.Frame(1);
    int changed = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (tetest::RawPixel(d.Work(), x, y) != tetest::RawPixel(d.Old.get(), x, y)) {
                if (!Allowed(x, y))
                    return ::testing::AssertionFailure() << "frame 1 changes (" << x << ", " << y << ")";
                ++changed;
            }
    if (changed == 0 && MustChange) return ::testing::AssertionFailure() << "frame 1 changes nothing";
    if (!EndsOnNew) return ::testing::AssertionSuccess();
    d.Frame(d.Frames());
    return tetest::SamePicture(d.Work(), d.New.get(), w, h);
}

}  // namespace tegeom
