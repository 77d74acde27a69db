// Pictures with random content, a device whose display format a test chooses, and a driver
// that runs one pass of an effect frame by frame (every frame, or a scripted sequence of
// jumps) the way the device's loops call it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"

namespace fxtest {

inline int BitsOf(cl::TPixelFormat pf) {
    switch (pf) {
    case cl::pf1bit: return 1;
    case cl::pf4bit: return 4;
    case cl::pf8bit: return 8;
    case cl::pf15bit:
    case cl::pf16bit: return 16;
    case cl::pf24bit: return 24;
    default: return 32;
    }
}

inline uint8_t* RowOf(cl::TBitmap* b, int y) { return static_cast<uint8_t*>(b->ScanLine(y)); }

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

inline std::unique_ptr<cl::TBitmap> CopyOf(cl::TBitmap* src) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), src->Palette(), src->Width(), src->Height(), src->PixelFormat());
    for (int y = 0; y < src->Height(); ++y) std::memcpy(RowOf(b.get(), y), RowOf(src, y), src->RowBytes());
    return b;
}

// The bytes of pixel (x, y) (whole bytes: 4-bit pixels give their byte).
inline uint32_t RawPixel(cl::TBitmap* b, int x, int y) {
    const int bits = BitsOf(b->PixelFormat());
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

// Shows frames in a memory bitmap; old and new looks are given pictures; the display format
// is the test's choice.
class FxDevice : public te::TTETransitionDevice {
    CL_DECLARE_CLASS(FxDevice, te::TTETransitionDevice)
public:
    ~FxDevice() override { FreeRunData(); }

    // Run data over the screen bitmap; OldPicture becomes the old look.
    void PrepareRun(cl::TBitmap* OldPicture, cl::TBitmap* NewPicture, int w, int h) {
        CreateRunData();
        Data->Width = w;
        Data->Height = h;
        Screen = CopyOf(OldPicture);
        Data->Canvas = Screen->Canvas();
        delete OldImage;
        OldImage = CopyOf(OldPicture).release();
        New = NewPicture;
    }
    void DoExecute() override {
        try {
            RunPasses();
        } catch (...) {
            FreeRunData();
            FreeImages();
            throw;
        }
        FreeRunData();
        FreeImages();
    }
    bool IsPaletteDisplay() override { return Format <= cl::pf8bit; }
    uint8_t GetPixelFormat() override { return Format; }
    bool SupportsTwoPasses() override { return true; }

    cl::TPixelFormat Format = cl::pf32bit;
    std::unique_ptr<cl::TBitmap> Screen;
    cl::TBitmap* New = nullptr;

protected:
    void CaptureNewLook() override {
        if (!NewImage && New) NewImage = CopyOf(New).release();
    }
};

// One pass driven by hand: Initialize, ExecuteFrame per scripted frame with the device's
// roll-over of the update rectangles, Finalize.
class PassDriver {
public:
    PassDriver(te::TTransitionEffect* Effect, int w, int h, cl::TPixelFormat Display, uint32_t seed)
        : effect_(Effect), w_(w), h_(h) {
        device_.Format = Display;
        data_ = std::make_unique<te::TTETransitionData>();
        data_->Device = &device_;
        data_->Width = w;
        data_->Height = h;
        data_->PixelFormat = Effect->GetPixelFormat(&device_);
        data_->PassCount = 1;
        const int bw = Effect->GetBitmapsWidth(data_.get());
        const auto pf = static_cast<cl::TPixelFormat>(data_->PixelFormat);
        Old = RandomPicture(bw, h, pf, seed);
        New = RandomPicture(bw, h, pf, seed * 7 + 3);
        work_ = CopyOf(Old.get());
        data_->Bitmap = work_.get();
        data_->SrcImage = Old.get();
        data_->DstImage = New.get();
        data_->LastImage = work_.get();
        if (Effect->GetInfo(&device_) & te::tetiUseDirtyRects) data_->DirtyRects = std::make_unique<te::TTEDirtyRects>();
        Effect->Initialize(data_.get(), data_->Frames);
        data_->LastFrame = data_->Frames;
    }
    ~PassDriver() {
        if (!finalized_) effect_->Finalize(data_.get());
        data_->Bitmap = nullptr;
    }
    void Frame(int k) {
        effect_->ExecuteFrame(data_.get(), k, k - prev_, prev_);
        prev_ = k;
        data_->PrevUpdateRect = data_->UpdateRect;
        data_->PrevUnUpdateRect = data_->UnUpdateRect;
        data_->UpdateRect = win::RECT{0, 0, 0, 0};
        data_->UnUpdateRect = win::RECT{0, 0, 0, 0};
        if (data_->DirtyRects && data_->DirtyRects->AutoClear) data_->DirtyRects->Clear();
    }
    void Finish() {
        effect_->Finalize(data_.get());
        finalized_ = true;
    }
    int Frames() const { return data_->Frames; }
    cl::TBitmap* Work() const { return work_.get(); }
    te::TTETransitionData* Data() const { return data_.get(); }
    FxDevice& Device() { return device_; }

    std::unique_ptr<cl::TBitmap> Old, New;

private:
    te::TTransitionEffect* effect_;
    int w_, h_;
    FxDevice device_;
    std::unique_ptr<te::TTETransitionData> data_;
    std::unique_ptr<cl::TBitmap> work_;
    int prev_ = 0;
    bool finalized_ = false;
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

}  // namespace fxtest
