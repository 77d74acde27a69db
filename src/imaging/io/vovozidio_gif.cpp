// Loading GIF images and composing the frames of an animation.
#include "imaging/io/vovozidio_gif.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/formats/giffilter.h"
#include "imaging/io/vovozidio.h"

namespace ie {

namespace {

// The largest logical screen composed when no frame is as large: a screen the frames do not
// fill is not worth more memory than this (64 M pixels).
constexpr int64_t kMaxScreenPixels = int64_t{1} << 26;

cl::TColor ColorOf(const TRGB& C) { return static_cast<cl::TColor>(C.r | (C.g << 8) | (C.b << 16)); }

struct TFrameRect {
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

// The logical screen on which the frames are drawn: 24-bit pixels with an alpha channel,
// kept in memory.
class TGIFCanvas {
public:
    bool Empty() const { return !FImage || FImage->GetWidth() == 0; }
    TIEBitmap* Image() const { return FImage.get(); }

    bool Create(int32_t W, int32_t H, const TRGB& Background) {
        FImage = std::make_unique<TIEBitmap>();
        FImage->SetLocation(ieMemory);
        if (!FImage->Allocate(W, H, ie24RGB)) return false;
        FImage->Fill(ColorOf(Background));
        TIEBitmap* alpha = FImage->GetAlphaChannel();
        if (!alpha || alpha->GetWidth() != W) return false;
        alpha->Fill(0);
        alpha->Full = false;
        return true;
    }

    // Enlarges the screen to W x H when a frame is larger: the old content stays at the
    // top left, the new area is opaque background.
    void Grow(int32_t W, int32_t H, const TRGB& Background) {
        if (FImage->GetPixelFormat() != ie24RGB) FImage->SetPixelFormat(ie24RGB);
        if (FImage->GetWidth() < W || FImage->GetHeight() < H)
            FImage->Resize(std::max(W, FImage->GetWidth()), std::max(H, FImage->GetHeight()), ColorOf(Background), 255,
                           0, 0);
    }

    // The part of R inside the screen.
    TFrameRect Clip(const TFrameRect& R) const {
        TFrameRect c;
        c.X = std::max(R.X, 0);
        c.Y = std::max(R.Y, 0);
        const int32_t x2 = std::min(R.X + R.Width, FImage->GetWidth());
        const int32_t y2 = std::min(R.Y + R.Height, FImage->GetHeight());
        c.Width = std::max(x2 - c.X, 0);
        c.Height = std::max(y2 - c.Y, 0);
        return c;
    }

    // Restores an area to the background colour, transparent.
    void Clear(const TFrameRect& R, const TRGB& Background) {
        const TFrameRect c = Clip(R);
        if (c.Width == 0 || c.Height == 0) return;
        FImage->FillRect(c.X, c.Y, c.X + c.Width - 1, c.Y + c.Height - 1, ColorOf(Background));
        FImage->GetAlphaChannel()->FillRect(c.X, c.Y, c.X + c.Width - 1, c.Y + c.Height - 1, 0);
    }

    // Keeps an area (colours and alpha) to give it back before the next frame.
    void Save(const TFrameRect& R) {
        FSaved = Clip(R);
        FSavedPixels.clear();
        FSavedAlpha.clear();
        TIEBitmap* alpha = FImage->GetAlphaChannel();
        for (int32_t y = 0; y < FSaved.Height; ++y) {
            const auto* p = static_cast<const TRGB*>(FImage->GetScanline(FSaved.Y + y)) + FSaved.X;
            FSavedPixels.insert(FSavedPixels.end(), p, p + FSaved.Width);
            const auto* a = static_cast<const uint8_t*>(alpha->GetScanline(FSaved.Y + y)) + FSaved.X;
            FSavedAlpha.insert(FSavedAlpha.end(), a, a + FSaved.Width);
        }
    }
    void Restore() {
        TIEBitmap* alpha = FImage->GetAlphaChannel();
        const TFrameRect c = Clip(FSaved);
        for (int32_t y = 0; y < c.Height; ++y) {
            const size_t from = static_cast<size_t>(y) * FSaved.Width;
            std::copy_n(FSavedPixels.begin() + static_cast<std::ptrdiff_t>(from), c.Width,
                        static_cast<TRGB*>(FImage->GetScanline(c.Y + y)) + c.X);
            std::copy_n(FSavedAlpha.begin() + static_cast<std::ptrdiff_t>(from), c.Width,
                        static_cast<uint8_t*>(alpha->GetScanline(c.Y + y)) + c.X);
        }
        FSavedPixels.clear();
        FSavedAlpha.clear();
    }

    // Draws Frame at (X, Y), clipped to the screen, blended by its alpha channel; the
    // screen's alpha keeps the larger value of the two.
    void Draw(TIEBitmap* Frame, int32_t X, int32_t Y) {
        const TFrameRect c = Clip({X, Y, Frame->GetWidth(), Frame->GetHeight()});
        TIEBitmap* frameAlpha = Frame->HasAlphaChannel() ? Frame->GetAlphaChannel() : nullptr;
        TIEBitmap* alpha = FImage->GetAlphaChannel();
        std::vector<TRGB> colors(static_cast<size_t>(c.Width));
        std::vector<uint8_t> opacity(static_cast<size_t>(c.Width), 255);
        for (int32_t y = 0; y < c.Height; ++y) {
            const int32_t sy = c.Y - Y + y;
            for (int32_t x = 0; x < c.Width; ++x) colors[static_cast<size_t>(x)] = Frame->GetPixelRGB(c.X - X + x, sy);
            if (frameAlpha) {
                const auto* a = static_cast<const uint8_t*>(frameAlpha->GetScanline(sy));
                std::copy_n(a + (c.X - X), c.Width, opacity.begin());
            }
            auto* d = static_cast<TRGB*>(FImage->GetScanline(c.Y + y)) + c.X;
            auto* da = static_cast<uint8_t*>(alpha->GetScanline(c.Y + y)) + c.X;
            for (int32_t x = 0; x < c.Width; ++x) {
                const int32_t a = opacity[static_cast<size_t>(x)];
                const TRGB s = colors[static_cast<size_t>(x)];
                if (a == 255) {
                    d[x] = s;
                } else if (a > 0) {
                    d[x].r = static_cast<uint8_t>((s.r * a + d[x].r * (255 - a)) / 255);
                    d[x].g = static_cast<uint8_t>((s.g * a + d[x].g * (255 - a)) / 255);
                    d[x].b = static_cast<uint8_t>((s.b * a + d[x].b * (255 - a)) / 255);
                }
                da[x] = std::max<uint8_t>(da[x], static_cast<uint8_t>(a));
            }
        }
        alpha->Full = false;
    }

private:
    std::unique_ptr<TIEBitmap> FImage;
    TFrameRect FSaved;
    std::vector<TRGB> FSavedPixels;
    std::vector<uint8_t> FSavedAlpha;
};

}  // namespace

int32_t IESyncLoadFromStreamGIF(TVovozIdIO* IO, cl::TStream* Stream) {
    IO->Aborting = false;
    TProgressRec progress = IO->MakeProgressRec();
    struct TFinish {
        TVovozIdIO* IO;
        ~TFinish() { IO->DoFinishWork(); }
    } finish{IO};
    if (!IO->MakeConsistentBitmap()) return 0;

    TIOParamsVals& params = IO->Params();
    TIEBitmap* bitmap = IO->GetIEBitmap();
    params.ResetInfo();
    bitmap->RemoveAlphaChannel(false, 0);
    TIEBufferedReadStream stream(Stream, 8192, true);
    const int64_t start = stream.GetPosition();

    TGIFCanvas canvas;
    TFrameRect previous;
    int32_t previousDisposal = 0;
    const int32_t target = params.GIFImageIndex;
    // Only a load of the first frame lets the reader report its own progress.
    TProgressRec quiet;
    quiet.Aborting = &IO->Aborting;
    TProgressRec& frameProgress = target <= 0 ? progress : quiet;
    int32_t count = 0;
    for (int32_t i = 0;; ++i) {
        auto frame = std::make_unique<TIEBitmap>();
        stream.Seek(start, cl::soBeginning);
        params.SetImageIndex(i);
        std::unique_ptr<TIEMask> mask;
        IEReadGIFStream(&stream, frame.get(), count, false, mask, false, frameProgress, params);
        const TIEPixelFormat framePF = frame->GetPixelFormat();
        IO->FixMissingDPI();
        if (count == 0) IO->Aborting = true;  // no frame at all
        if (IO->Aborting) break;
        const int32_t w = std::max(params.GIFWinWidth, frame->GetWidth());
        const int32_t h = std::max(params.GIFWinHeight, frame->GetHeight());
        if (mask) {
            if (TIEBitmap* alpha = frame->GetAlphaChannel()) alpha->CopyFromTIEMask(mask.get());
            mask.reset();
        }
        TIEBitmap* result = frame.get();
        if (count > 1) {
            if (previousDisposal == 2 && !canvas.Empty()) canvas.Clear(previous, params.GIFBackground);
            if (previousDisposal == 3 && !canvas.Empty()) canvas.Restore();
            const int64_t framePixels = static_cast<int64_t>(frame->GetWidth()) * frame->GetHeight();
            if (static_cast<int64_t>(w) * h > std::max(kMaxScreenPixels, framePixels) ||
                (canvas.Empty() && !canvas.Create(w, h, params.GIFBackground))) {
                IO->Aborting = true;
                break;
            }
            canvas.Grow(w, h, params.GIFBackground);
            previous = {params.GIFXPos, params.GIFYPos, frame->GetWidth(), frame->GetHeight()};
            if (params.GIFAction == 3) canvas.Save(previous);
            canvas.Draw(frame.get(), params.GIFXPos, params.GIFYPos);
            previousDisposal = params.GIFAction;
            params.GIFAction = 2;
            params.GIFXPos = 0;
            params.GIFYPos = 0;
            result = canvas.Image();
        }
        const double per = 100.0 / count;
        bitmap->Assign(result);
        // A palette frame gives a palette bitmap again; a composed picture is kept in 24
        // bits unless palette bitmaps were asked for (the colours of earlier frames do not
        // fit a black-and-white bitmap).
        if (framePF != bitmap->GetPixelFormat() && (count == 1 || framePF == ie8p)) bitmap->SetPixelFormat(framePF);
        progress.Report(static_cast<int32_t>(std::nearbyint(i * per)));
        if (IO->Aborting || i + 1 >= count || i == target) break;
    }
    params.SetImageIndex(target);
    if (IO->AutoAdjustDPI) IO->AdjustDPI();
    IO->SetBackground(ColorOf(params.GIFTransparent ? params.GIFTranspColor : params.GIFBackground));
    params.FileType = ioGIF;
    params.FileName.clear();
    IO->Update();
    return count;
}

void IEGIFRegisterFrameLoader() { IEIOExtensionHooks().LoadGIFStream = &IESyncLoadFromStreamGIF; }

}  // namespace ie
