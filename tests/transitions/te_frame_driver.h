// Test pictures (a distinct colour per pixel, or random bytes in any format), the frame
// driver that runs one pass of an effect by hand the way the device's loops call it, and the
// checks every effect shares: runs over tiny areas and device runs that end on the new look.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "te_test_device.h"
#include "transitions/teCore.h"
#include "transitions/teMskWk.h"
#include "transitions/teRender.h"

namespace tetest {

using PixelFn = std::function<uint32_t(int x, int y)>;

inline uint8_t* RowOf(cl::TBitmap* b, int y) { return static_cast<uint8_t*>(b->ScanLine(y)); }

// A 24- or 32-bit bitmap whose pixel (x, y) is f(x, y) as 0x00RRGGBB.
inline std::unique_ptr<cl::TBitmap> MakePicture(int w, int h, const PixelFn& f, cl::TPixelFormat pf = cl::pf32bit) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, w, h, pf);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = RowOf(b.get(), y);
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

// A picture of w x h in pf whose row bytes are random.
inline std::unique_ptr<cl::TBitmap> RandomPicture(int w, int h, cl::TPixelFormat pf, uint32_t seed) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), nullptr, w, h, pf);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* r = RowOf(b.get(), y);
        for (int i = 0; i < b->RowBytes(); ++i) r[i] = static_cast<uint8_t>(rng());
    }
    return b;
}

// An 8-bit picture with the grey palette whose pixel (x, y) has the index f(x, y) (a mask
// picture of the bitmap-mask effect).
inline std::unique_ptr<cl::TBitmap> GreyPicture(int w, int h, const std::function<uint8_t(int x, int y)>& f) {
    auto b = std::make_unique<cl::TBitmap>();
    const win::HPALETTE grey = te::CreateGrayPalette();
    te::AdjustBitmapFormat(b.get(), grey, w, h, cl::pf8bit);
    win::DeleteObject(grey);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = RowOf(b.get(), y);
        for (int x = 0; x < w; ++x) row[x] = f(x, y);
    }
    return b;
}

// Pixel (x, y) as 0x00RRGGBB of a 24- or 32-bit bitmap.
inline uint32_t At(cl::TBitmap* b, int x, int y) {
    auto* row = static_cast<const uint8_t*>(b->ScanLine(y));
    int bpp = b->GetPixelFormat() == cl::pf32bit ? 4 : 3;
    const uint8_t* p = row + x * bpp;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

// The bytes of pixel (x, y) (whole bytes: 4-bit pixels give their byte).
inline uint32_t RawPixel(cl::TBitmap* b, int x, int y) {
    const int bits = te::MaskWorkerBitsPerPixel(b->GetPixelFormat());
    const uint8_t* r = RowOf(b, y);
    if (bits == 1) return (r[x >> 3] >> (7 - (x & 7))) & 1;
    if (bits == 4) return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
    uint32_t v = 0;
    std::memcpy(&v, r + static_cast<size_t>(x) * (bits / 8), bits / 8);
    return v;
}

// The first w pixels of the first h rows are the same in both pictures.
inline ::testing::AssertionResult SamePicture(cl::TBitmap* a, cl::TBitmap* b, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (RawPixel(a, x, y) != RawPixel(b, x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs: " << std::hex
                                                     << RawPixel(a, x, y) << " vs " << RawPixel(b, x, y);
    return ::testing::AssertionSuccess();
}

// Distinct colours of the old and the new picture.
inline uint32_t OldColor(int x, int y) {
    return 0x100000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x);
}
inline uint32_t NewColor(int x, int y) {
    return 0xE00000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x);
}

// One pass of an effect driven by hand over a w x h area of the test device's display. The
// old and new pictures are as wide as the effect's bitmaps; the screen starts as the old
// picture. The run's pixel format is the effect's answer for the display; the work bitmap (a
// copy of the old picture) exists when the effect can use one and its flags or the device
// (WorkBitmap) ask for it, and a rectangle list when the flags name it. Each frame goes to the screen as the device shows it: the work bitmap
// over the update rectangle, or over each rectangle of the list when it holds more than one.
//
// `data` is the run data as it is set up: a test may change it (or `device`, or the screen)
// before Init. Init, the first Frame or Frames initializes the pass.
class FrameDriver {
public:
    // Pictures from colour functions (24- or 32-bit displays).
    FrameDriver(te::TTransitionEffect* Effect, int w, int h, const PixelFn& OldPic = OldColor,
                const PixelFn& NewPic = NewColor, cl::TPixelFormat Display = cl::pf32bit)
        : effect_(Effect) {
        SetUp(w, h, Display);
        const int bw = Effect->GetBitmapsWidth(&data);
        Old = MakePicture(bw, h, OldPic, RunFormat());
        New = MakePicture(bw, h, NewPic, RunFormat());
        Attach();
    }
    // Random pictures (any display format) from a seed.
    FrameDriver(te::TTransitionEffect* Effect, int w, int h, cl::TPixelFormat Display, uint32_t Seed)
        : effect_(Effect) {
        SetUp(w, h, Display);
        const int bw = Effect->GetBitmapsWidth(&data);
        Old = RandomPicture(bw, h, RunFormat(), Seed);
        New = RandomPicture(bw, h, RunFormat(), Seed * 7 + 3);
        Attach();
    }
    FrameDriver(const FrameDriver&) = delete;
    FrameDriver& operator=(const FrameDriver&) = delete;
    ~FrameDriver() {
        if (initialized_ && !finished_) effect_->Finalize(&data);
        data.Bitmap = nullptr;
    }

    int Init() {
        if (!initialized_) {
            initialized_ = true;
            const uint16_t flags = effect_->GetInfo(&device);
            if ((flags & te::tetiOffScreenBmpCapable) &&
                ((flags & te::tetiNeedOffScreenBmp) || device.NeedsWorkBitmap())) {
                work_ = CopyOf(Old.get());
                data.Bitmap = work_.get();
                data.LastImage = work_.get();
            }
            if (flags & te::tetiUseDirtyRects) data.DirtyRects = std::make_unique<te::TTEDirtyRects>();
            effect_->Initialize(&data, data.Frames);
            data.LastFrame = data.Frames;
        }
        return data.Frames;
    }
    // Draws frame k after the frame drawn last (0 before the first).
    void Frame(int k) {
        Init();
        data.UpdateRect = win::RECT{};
        data.UnUpdateRect = win::RECT{};
        effect_->ExecuteFrame(&data, k, k - prev_, prev_);
        prev_ = k;
        if (work_ && data.ShowFrames) {
            if (data.DirtyRects && data.DirtyRects->Count() > 1) {
                for (const win::RECT& r : data.DirtyRects->Rects) Show(r);
            } else {
                Show(data.UpdateRect);
            }
        }
        data.PrevUpdateRect = data.UpdateRect;
        data.PrevUnUpdateRect = data.UnUpdateRect;
        if (data.DirtyRects && data.DirtyRects->AutoClear) data.DirtyRects->Clear();
    }
    void Finish() {
        Init();
        effect_->Finalize(&data);
        finished_ = true;
    }
    int Frames() { return Init(); }
    // The pass's run data (initialized).
    te::TTETransitionData* Data() {
        Init();
        return &data;
    }
    // Where the effect composes its frames: the work bitmap, or the screen without one.
    cl::TBitmap* Work() const { return work_ ? work_.get() : Screen.get(); }
    cl::TPixelFormat RunFormat() const { return static_cast<cl::TPixelFormat>(data.PixelFormat); }

    // The first pixel of the screen's area that differs from the model, as text; empty when
    // none.
    std::string Compare(const PixelFn& model) {
        for (int y = 0; y < data.Height; ++y)
            for (int x = 0; x < data.Width; ++x) {
                uint32_t got = At(Screen.get(), x, y), want = model(x, y) & 0xFFFFFF;
                if (got != want) {
                    char buf[96];
                    std::snprintf(buf, sizeof buf, "(%d, %d): got %06X, want %06X", x, y, got, want);
                    return buf;
                }
            }
        return std::string();
    }

    TTestDevice device;
    te::TTETransitionData data;
    std::unique_ptr<cl::TBitmap> Old, New, Screen;

private:
    void SetUp(int w, int h, cl::TPixelFormat Display) {
        device.Format = Display;
        data.Device = &device;
        data.Width = w;
        data.Height = h;
        data.PassCount = 1;
        data.PixelFormat = effect_->GetPixelFormat(&device);
    }
    void Attach() {
        Screen = CopyOf(Old.get());
        data.Canvas = Screen->GetCanvas();
        data.SrcImage = Old.get();
        data.DstImage = New.get();
    }
    void Show(const win::RECT& r) {
        if (te::RectEmpty(r)) return;
        win::BitBlt(Screen->GetCanvas()->GetHandle(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                    work_->GetCanvas()->GetHandle(), r.left, r.top, win::SRCCOPY);
    }

    te::TTransitionEffect* effect_;
    std::unique_ptr<cl::TBitmap> work_;
    int prev_ = 0;
    bool initialized_ = false;
    bool finished_ = false;
};

// Scripted jump sequences: the frames shown, each ending at the pass's last frame.
inline std::vector<std::vector<int>> JumpScripts(int frames) {
    std::vector<std::vector<int>> s;
    std::vector<int> every;
    for (int k = 1; k <= frames; ++k) every.push_back(k);
    s.push_back(every);
    for (int step : {2, 3, 7, 40}) {
        std::vector<int> v;
        for (int k = step; k < frames; k += step) v.push_back(k);
        v.push_back(frames);
        s.push_back(v);
    }
    std::mt19937 rng(11);
    std::vector<int> r;
    for (int k = 1 + static_cast<int>(rng() % 3); k < frames; k += 1 + static_cast<int>(rng() % 9)) r.push_back(k);
    r.push_back(frames);
    s.push_back(r);
    return s;
}

// Runs an effect over each w x h area of Sizes on a 24- or 32-bit display, first frame by
// frame, then showing only every Stride-th frame (the last frame always drawn; stride 0 jumps
// to the last frame at once), as the paced loop does when frames take long. Checks: the old
// and new pictures are left as they were; with SameWhenSkipping, a run that skips frames
// composes at each frame it draws what the frame-by-frame run composed there (in the work
// bitmap, or on the screen without one); with EndsOnNew, the last frame composes the new
// picture over the whole area (a run without frames is the device's final copy alone). Reads
// and writes outside the pictures are the sanitizers' to catch.
inline ::testing::AssertionResult RunsOverTinyAreas(const std::function<std::unique_ptr<te::TTransitionEffect>()>& Make,
                                                    cl::TPixelFormat Display, bool SameWhenSkipping, bool EndsOnNew,
                                                    const std::vector<std::pair<int, int>>& Sizes,
                                                    const std::vector<int>& Strides) {
    for (auto [w, h] : Sizes) {
        auto where = [w = w, h = h](const char* run, int frames) {
            return ::testing::AssertionFailure() << w << " x " << h << ", " << run << ", " << frames << " frames: ";
        };
        std::vector<std::unique_ptr<cl::TBitmap>> shown;
        int frames = 0;
        {
            auto effect = Make();
            FrameDriver d(effect.get(), w, h, OldColor, NewColor, Display);
            auto oldPic = CopyOf(d.Old.get()), newPic = CopyOf(d.New.get());
            frames = d.Init();
            shown.resize(static_cast<size_t>(std::max(frames, 0)) + 1);
            for (int k = 1; k <= frames; ++k) {
                d.Frame(k);
                shown[static_cast<size_t>(k)] = CopyOf(d.Work());
            }
            d.Finish();
            const int bw = d.Old->GetWidth();
            if (!SamePicture(d.Old.get(), oldPic.get(), bw, h))
                return where("every frame", frames) << "the old picture changed";
            if (!SamePicture(d.New.get(), newPic.get(), bw, h))
                return where("every frame", frames) << "the new picture changed";
            if (EndsOnNew && frames > 0) {
                auto same = SamePicture(d.Work(), newPic.get(), w, h);
                if (!same)
                    return where("every frame", frames) << "the last frame is not the new picture: " << same.message();
            }
        }
        for (int stride : Strides) {
            auto effect = Make();
            FrameDriver d(effect.get(), w, h, OldColor, NewColor, Display);
            if (d.Init() != frames) return where("skipping", frames) << "another run has " << d.Frames() << " frames";
            std::vector<int> drawn;
            if (stride > 0)
                for (int k = stride; k < frames; k += stride) drawn.push_back(k);
            if (frames > 0) drawn.push_back(frames);
            for (int k : drawn) {
                d.Frame(k);
                auto same = SamePicture(d.Work(), shown[static_cast<size_t>(k)].get(), w, h);
                if (!same && SameWhenSkipping)
                    return where(stride > 0 ? "every few frames" : "one jump", frames)
                           << "frame " << k << " (stride " << stride
                           << ") differs from the frame-by-frame run: " << same.message();
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// A whole run through the test device, from a random old picture to a random new one on a
// display of pf: the screen ends on the new picture.
inline ::testing::AssertionResult DeviceRunEndsOnNew(te::TTransitionEffect* e, int w, int h,
                                                     cl::TPixelFormat pf = cl::pf32bit) {
    TTestDevice dev;
    dev.Format = pf;
    dev.SetTransition(e);
    auto oldPic = RandomPicture(w, h, pf, 1), newPic = RandomPicture(w, h, pf, 2);
    dev.PrepareRun(oldPic.get(), newPic.get(), w, h);
    dev.Execute(true);
    return SamePicture(dev.Screen.get(), newPic.get(), w, h);
}

}  // namespace tetest
