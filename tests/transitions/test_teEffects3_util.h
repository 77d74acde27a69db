// Pictures with a distinct colour per pixel and a bench that drives an effect's frames by
// hand over a memory screen, for the slide, push, roll, page, drip, pixelate, blur and
// bitmap-mask tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "te_test_util.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"

namespace tetest {

using PixelFn = std::function<uint32_t(int x, int y)>;

// A bitmap of the format whose pixel (x, y) is f(x, y) as 0x00RRGGBB.
inline std::unique_ptr<cl::TBitmap> MakePicture(int w, int h, const PixelFn& f, cl::TPixelFormat pf = cl::pf32bit) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, w, h, pf);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        for (int x = 0; x < w; ++x) {
            uint32_t c = f(x, y);
            if (pf == cl::pf32bit) {
                reinterpret_cast<uint32_t*>(row)[x] = c & 0xFFFFFF;
            } else {
                row[x * 3] = static_cast<uint8_t>(c);
                row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
                row[x * 3 + 2] = static_cast<uint8_t>(c >> 16);
            }
        }
    }
    return b;
}

// Pixel (x, y) as 0x00RRGGBB of a 24- or 32-bit bitmap.
inline uint32_t At(cl::TBitmap* b, int x, int y) {
    auto* row = static_cast<const uint8_t*>(b->ScanLine(y));
    int bpp = b->PixelFormat() == cl::pf32bit ? 4 : 3;
    const uint8_t* p = row + x * bpp;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

// Distinct colours of the old and the new picture.
inline uint32_t OldColor(int x, int y) { return 0x100000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x); }
inline uint32_t NewColor(int x, int y) { return 0xE00000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x); }

// A device whose display has a given pixel format.
class TFormatDevice : public TTestDevice {
public:
    uint8_t GetPixelFormat() override { return Format; }
    bool IsPaletteDisplay() override { return Format <= cl::pf8bit; }
    bool IsObscured() override { return Obscured; }
    uint8_t Format = cl::pf32bit;
    bool Obscured = false;
};

// Runs an effect's frames by hand: the screen starts with the old picture; frames draw
// onto it (or into a work bitmap that is copied to it over the update rectangle, as the
// device does).
class FrameBench {
public:
    FrameBench(te::TTransitionEffect* effect, int w, int h, const PixelFn& oldPic = OldColor,
               const PixelFn& newPic = NewColor, cl::TPixelFormat pf = cl::pf32bit, bool workBitmap = false)
        : effect_(effect) {
        oldImage = MakePicture(w, h, oldPic, pf);
        newImage = MakePicture(w, h, newPic, pf);
        screen = MakePicture(w, h, oldPic, pf);
        data.Device = &device;
        device.Format = static_cast<uint8_t>(pf);
        data.Width = w;
        data.Height = h;
        data.Canvas = screen->Canvas();
        data.SrcImage = oldImage.get();
        data.DstImage = newImage.get();
        data.PixelFormat = static_cast<uint8_t>(pf);
        if (workBitmap) {
            auto* work = new cl::TBitmap();
            te::AdjustBitmapFormat(work, nullptr, effect->GetBitmapsWidth(&data), h, pf);
            win::BitBlt(work->Canvas()->Handle(), 0, 0, w, h, oldImage->Canvas()->Handle(), 0, 0, win::SRCCOPY);
            data.Bitmap = work;
        }
    }
    ~FrameBench() {
        if (initialized_) effect_->Finalize(&data);
    }
    int Init() {
        int32_t frames = 0;
        effect_->Initialize(&data, frames);
        data.Frames = frames;
        data.LastFrame = frames;
        initialized_ = true;
        return frames;
    }
    // Draws frame k after frame last.
    void Frame(int k, int last) {
        data.UpdateRect = win::RECT{};
        data.UnUpdateRect = win::RECT{};
        effect_->ExecuteFrame(&data, k, k - last, last);
        if (data.Bitmap) {
            const win::RECT& r = data.UpdateRect;
            win::BitBlt(screen->Canvas()->Handle(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                        data.Bitmap->Canvas()->Handle(), r.left, r.top, win::SRCCOPY);
        }
        data.PrevUpdateRect = data.UpdateRect;
        data.PrevUnUpdateRect = data.UnUpdateRect;
    }
    void Finish() {
        effect_->Finalize(&data);
        initialized_ = false;
    }
    // The first pixel of the screen that differs from the model, as text; empty when none.
    std::string Compare(const PixelFn& model) {
        for (int y = 0; y < data.Height; ++y)
            for (int x = 0; x < data.Width; ++x) {
                uint32_t got = At(screen.get(), x, y), want = model(x, y) & 0xFFFFFF;
                if (got != want) {
                    char buf[96];
                    std::snprintf(buf, sizeof buf, "(%d, %d): got %06X, want %06X", x, y, got, want);
                    return buf;
                }
            }
        return std::string();
    }

    TFormatDevice device;
    te::TTETransitionData data;
    std::unique_ptr<cl::TBitmap> oldImage, newImage, screen;

private:
    te::TTransitionEffect* effect_;
    bool initialized_ = false;
};

// Runs every frame of the effect over tiny areas (one pixel wide or high included), one by
// one and then skipping, with a work bitmap or drawing on the screen as its flags ask; the
// sanitizers catch any read or write outside the pictures.
inline void RunTinyAreas(const std::function<std::unique_ptr<te::TTransitionEffect>()>& make, cl::TPixelFormat pf) {
    struct Size {
        int w, h;
    } sizes[] = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 7}, {9, 4}};
    for (const Size& z : sizes) {
        for (int stride : {1, 4}) {
            auto effect = make();
            TFormatDevice probe;
            probe.Format = static_cast<uint8_t>(pf);
            const bool work = (effect->GetInfo(&probe) & te::tetiNeedOffScreenBmp) != 0;
            FrameBench bench(effect.get(), z.w, z.h, OldColor, NewColor, pf, work);
            const int frames = bench.Init();
            int last = 0;
            for (int k = stride; k <= frames; k += stride) {
                bench.Frame(k, last);
                last = k;
            }
            if (last < frames && frames > 0) bench.Frame(frames, last);
            bench.Finish();
        }
    }
}

// Runs the effect through the test device from a red to a lime look over 100 ms and tells
// whether the screen ends on the new look everywhere.
inline bool RunEndsOnNewLook(te::TTransitionEffect* effect) {
    effect->Milliseconds = 100;
    TTestDevice dev;
    dev.SetTransition(effect);
    dev.PrepareRun(cl::clRed, cl::clLime);
    dev.Execute(true);
    for (int y = 0; y < dev.Screen->Height(); ++y)
        for (int x = 0; x < dev.Screen->Width(); ++x)
            if (Pixel(dev.Screen.get(), x, y) != static_cast<uint32_t>(cl::clLime)) return false;
    return true;
}

}  // namespace tetest
