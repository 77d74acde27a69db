// The view's transitions: the frame step, the timing curves, the 30 built-in effects, the
// GDI effects' dispatch and pan and zoom.
#include "imaging/processing/ietransitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/ieview.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/processing/iextratransitions.h"
#include "platform/clock.h"
#include "platform/gdi.h"

namespace ie {

namespace {

constexpr int32_t kFull = 1024;

int32_t Nearest(double X) { return static_cast<int32_t>(cl::Round(X)); }

std::unique_ptr<cl::TBitmap> NewIdleBitmap() {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf24bit);
    b->SetSize(1, 1);
    return b;
}

// Bitmap's rectangle (SX, SY, Width, Height) to (DX, DY) of Dest, unscaled.
void Blit(cl::TBitmap* Dest, int32_t DX, int32_t DY, int32_t Width, int32_t Height, cl::TBitmap* Bitmap, int32_t SX,
          int32_t SY) {
    if (Width <= 0 || Height <= 0) return;
    win::BitBlt(Dest->GetCanvas()->GetHandle(), DX, DY, Width, Height, Bitmap->GetCanvas()->GetHandle(), SX, SY,
                win::SRCCOPY);
}

// The whole of Bitmap stretched in halftone mode into (DX, DY, DW, DH) of Dest.
void StretchWhole(cl::TBitmap* Dest, int32_t DX, int32_t DY, int32_t DW, int32_t DH, cl::TBitmap* Bitmap) {
    if (DW <= 0 || DH <= 0) return;
    const win::HDC dc = Dest->GetCanvas()->GetHandle();
    win::SetStretchBltMode(dc, win::HALFTONE);
    win::StretchBlt(dc, DX, DY, DW, DH, Bitmap->GetCanvas()->GetHandle(), 0, 0, Bitmap->GetWidth(), Bitmap->GetHeight(),
                    win::SRCCOPY);
}

}  // namespace

TIETransitionEffects::TIETransitionEffects(TIEView* Owner)
    : SourceBitmap(NewIdleBitmap()), TargetBitmap(NewIdleBitmap()), FrameBitmap(NewIdleBitmap()), View(Owner) {
    Timer = new cl::TTimer(Owner);  // the view owns it; the destructor frees it first
    Timer->SetEnabled(false);
    Timer->SetInterval(1);
    Timer->SetOnTimer([this](cl::TObject* Sender) { TimerEvent(Sender); });
}

TIETransitionEffects::~TIETransitionEffects() { delete Timer; }

// ---------------------------------------------------------------------------------------
// Stopping

void TIETransitionEffects::Stop() {
    if (!Running || Effect == 0) return;
    Finish();
}

void TIETransitionEffects::Finish() {
    Timer->SetEnabled(false);
    Running = false;
    FrameBitmap->SetSize(1, 1);
    SourceBitmap->SetSize(1, 1);
    TargetBitmap->SetSize(1, 1);
    if (View) View->UnlockUpdateEx();
    if (UpdateOnStop && ViewUpdate) ViewUpdate();
    if (OnTransitionStop) OnTransitionStop(View);
}

// ---------------------------------------------------------------------------------------
// The frame step

bool TIETransitionEffects::SetUpSound() const {
    if (Effect < 1 || Effect > IEPanZoomEffect) return false;
    if (Effect == IEPanZoomEffect && !PanZoomImage) return false;
    if (FrameWidth <= 0 || FrameHeight <= 0) return false;
    // The row arrays must be the rows of the bitmaps as they are now: a bitmap resized
    // since (Stop makes them 1 x 1) has new rows.
    const std::pair<cl::TBitmap*, const std::vector<uint8_t*>*> sets[] = {
        {SourceBitmap.get(), &SourceRows}, {TargetBitmap.get(), &TargetRows}, {FrameBitmap.get(), &FrameRows}};
    for (const auto& [bitmap, rows] : sets) {
        if (bitmap->GetWidth() != FrameWidth || bitmap->GetHeight() != FrameHeight) return false;
        if (bitmap->GetPixelFormat() != cl::pf24bit) return false;
        if (rows->size() != static_cast<size_t>(FrameHeight)) return false;
        if (rows->front() != bitmap->ScanLine(0) || rows->back() != bitmap->ScanLine(FrameHeight - 1)) return false;
    }
    return true;
}

void TIETransitionEffects::TimerEvent(cl::TObject* /*Sender*/) {
    if (!Running) return;
    if (!SetUpSound()) {
        // Nothing sound to draw: the transition ends at once.
        Finish();
        return;
    }
    if (Duration > 0) {
        if (OnTransitionStep) OnTransitionStep(View, Step);
        if (!Running) return;  // the event stopped the transition
        ++FrameCount;
        ComposeFrame();
        ShowOnView(FrameBitmap.get());
        if (FOnTransitionPaint) FOnTransitionPaint(View, FrameBitmap.get(), this, Step);
        if (!Running) return;
    }
    const uint32_t elapsed = win::GetTickCount() - StartTick;
    if (Duration <= 0 || static_cast<int64_t>(elapsed) >= Duration) {
        if (UpdateOnStop && Effect != IEPanZoomEffect) {
            ShowOnView(TargetBitmap.get());
            if (FOnTransitionPaint) FOnTransitionPaint(View, TargetBitmap.get(), this, kFull);
        }
        Stop();
        return;
    }
    NextStep(elapsed);
}

void TIETransitionEffects::NextStep(uint32_t Elapsed) {
    const double t = static_cast<double>(Elapsed) / Duration;
    double v = 0;
    switch (Timing) {
        case ietExponential: v = kFull * std::exp(5 * t - 2.718) / 10; break;
        case ietLogarithmic:
            // The curve starts below 0 (and at minus infinity at t = 0): the step stays 0
            // until it comes above.
            v = t > 0 ? kFull * (std::log(10 * t) + 2.718) / 5 : 0;
            break;
        default: v = kFull * t; break;
    }
    Step = static_cast<int32_t>(std::clamp(std::trunc(v), 0.0, static_cast<double>(kFull)));
}

void TIETransitionEffects::ShowOnView(cl::TBitmap* Bitmap) {
    if (!View || !View->HandleAllocated()) return;
    win::BitBlt(View->GetCanvas()->GetHandle(), 0, 0, FrameWidth, FrameHeight, Bitmap->GetCanvas()->GetHandle(), 0, 0,
                win::SRCCOPY);
}

void TIETransitionEffects::ComposeFrame() {
    if (Effect >= 1 && Effect <= 30) {
        ComposeBuiltIn(Step);
    } else if (Effect == IEPanZoomEffect) {
        ComposePanZoom(Step);
    } else {
        ComposeExtra(Step);
    }
}

// ---------------------------------------------------------------------------------------
// The built-in effects

void TIETransitionEffects::ComposeBuiltIn(int32_t s) {
    const int32_t W = FrameWidth, H = FrameHeight;
    const size_t rowBytes = static_cast<size_t>(W) * 3;
    cl::TBitmap* frame = FrameBitmap.get();
    cl::TBitmap* source = SourceBitmap.get();
    cl::TBitmap* target = TargetBitmap.get();
    // Effects that add to the frame start from the old picture.
    auto start = [&] {
        if (s == 0) Blit(frame, 0, 0, W, H, source, 0, 0);
    };
    auto redLine = [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        cl::TCanvas* c = frame->GetCanvas();
        c->GetPen()->SetColor(static_cast<cl::TColor>(255));
        c->GetPen()->SetWidth(1);
        c->GetPen()->SetStyle(cl::psSolid);
        c->MoveTo(X1, Y1);
        c->LineTo(X2, Y2);
    };
    // Every byte of the frame from a source byte and a target byte (or a colour).
    auto blend = [&](auto Pixel) {
        for (int32_t y = 0; y < H; ++y) {
            uint8_t* d = FrameRows[static_cast<size_t>(y)];
            const uint8_t* a = SourceRows[static_cast<size_t>(y)];
            const uint8_t* b = TargetRows[static_cast<size_t>(y)];
            for (size_t i = 0; i < rowBytes; ++i) d[i] = Pixel(a[i], b[i], i % 3);
        }
    };
    auto fadeOut = [&](int32_t S) {
        const TRGB bg = IEColorToRGB(View ? View->GetBackground() : cl::clBlack);
        const uint32_t c[3] = {bg.b, bg.g, bg.r};
        const uint32_t k = static_cast<uint32_t>(S);
        blend([&](uint32_t a, uint32_t, size_t ch) { return uint8_t((c[ch] * k + a * (kFull - k)) >> 10); });
    };
    auto fadeIn = [&](int32_t S) {
        const TRGB bg = IEColorToRGB(View ? View->GetBackground() : cl::clBlack);
        const uint32_t c[3] = {bg.b, bg.g, bg.r};
        const uint32_t k = static_cast<uint32_t>(S);
        blend([&](uint32_t, uint32_t b, size_t ch) { return uint8_t((c[ch] * (kFull - k) + b * k) >> 10); });
    };
    // Rows of the frame from columns of two pictures: First's columns F0 .. F0 + N - 1, then
    // Second's columns S0 .. S0 + (W - N) - 1.
    auto joinColumns = [&](const std::vector<uint8_t*>& First, int32_t F0, int32_t N,
                           const std::vector<uint8_t*>& Second, int32_t S0) {
        N = std::clamp(N, 0, W);
        for (int32_t y = 0; y < H; ++y) {
            uint8_t* d = FrameRows[static_cast<size_t>(y)];
            std::memcpy(d, First[static_cast<size_t>(y)] + static_cast<size_t>(F0) * 3, static_cast<size_t>(N) * 3);
            std::memcpy(d + static_cast<size_t>(N) * 3, Second[static_cast<size_t>(y)] + static_cast<size_t>(S0) * 3,
                        static_cast<size_t>(W - N) * 3);
        }
    };
    auto copyRow = [&](int32_t Dst, const std::vector<uint8_t*>& From, int32_t Src) {
        std::memcpy(FrameRows[static_cast<size_t>(Dst)], From[static_cast<size_t>(Src)], rowBytes);
    };
    auto centred = [&](int32_t S, int32_t& X, int32_t& Y, int32_t& CW, int32_t& CH) {
        X = W / 2 - ((S * (W / 2)) >> 10);
        Y = H / 2 - ((S * (H / 2)) >> 10);
        CW = static_cast<int32_t>((int64_t{S} * W) >> 10);
        CH = static_cast<int32_t>((int64_t{S} * H) >> 10);
    };
    const int32_t sW = static_cast<int32_t>((int64_t{s} * W) >> 10);
    const int32_t sH = static_cast<int32_t>((int64_t{s} * H) >> 10);
    const int32_t rW = static_cast<int32_t>((int64_t{kFull - s} * W) >> 10);
    const int32_t rH = static_cast<int32_t>((int64_t{kFull - s} * H) >> 10);

    switch (Effect) {
        case 1: {  // Cross Fade
            const uint32_t k = static_cast<uint32_t>(s);
            blend([&](uint32_t a, uint32_t b, size_t) { return uint8_t((a * (kFull - k) + b * k) >> 10); });
            break;
        }
        case 2: fadeOut(s); break;
        case 3: fadeIn(s); break;
        case 4:
            if (s < 512) {
                fadeOut(2 * s);
            } else {
                fadeIn(2 * s - kFull);
            }
            break;
        case 5:
        case 6:  // Wipe Left to Right (2: with a red edge)
            start();
            Blit(frame, 0, 0, sW, H, target, 0, 0);
            if (Effect == 6) redLine(sW, 0, sW, H);
            break;
        case 7:
        case 8: {  // Wipe Right to Left
            start();
            const int32_t x = Nearest(W * (kFull - s) / 1024.0);
            Blit(frame, x, 0, Nearest(s * W / 1024.0), H, target, x, 0);
            if (Effect == 8) redLine(x, 0, x, H);
            break;
        }
        case 9:
        case 10: {  // Wipe Top to Bottom
            start();
            const int32_t y = Nearest(s * H / 1024.0);
            Blit(frame, 0, 0, W, y, target, 0, 0);
            if (Effect == 10) redLine(0, y, W, y);
            break;
        }
        case 11:
        case 12: {  // Wipe Bottom to Top
            start();
            const int32_t y = Nearest(H * (kFull - s) / 1024.0);
            Blit(frame, 0, y, W, Nearest(s * H / 1024.0), target, 0, y);
            if (Effect == 12) redLine(0, y, W, y);
            break;
        }
        case 13:
            start();
            Blit(frame, -rW, -rH, W, H, target, 0, 0);
            break;  // Slide from Top Left
        case 14:
            start();
            Blit(frame, rW, -rH, W, H, target, 0, 0);
            break;  // Slide from Top Right
        case 15:
            start();
            Blit(frame, -rW, rH, W, H, target, 0, 0);
            break;  // Slide from Bottom Left
        case 16:
            start();
            Blit(frame, rW, rH, W, H, target, 0, 0);
            break;                                                           // Slide from Bottom Right
        case 17: joinColumns(TargetRows, W - sW, sW, SourceRows, 0); break;  // Push Left to Right
        case 18: joinColumns(TargetRows, 0, sW, SourceRows, 0); break;       // Slide Out Left to Right
        case 19: joinColumns(SourceRows, W - rW, rW, TargetRows, 0); break;  // Push Right to Left
        case 20: joinColumns(SourceRows, 0, rW, TargetRows, 0); break;       // Slide Out Right to Left
        case 21: {                                                           // Push Top to Bottom
            const int32_t c = std::clamp(sH, 0, H);
            for (int32_t y = 0; y < c; ++y) copyRow(y, TargetRows, H - c + y);
            for (int32_t y = c; y < H; ++y) copyRow(y, SourceRows, y - c);
            break;
        }
        case 22: {  // Slide Out Top to Bottom
            const int32_t c = std::clamp(sH, 0, H);
            for (int32_t y = 0; y < c; ++y) copyRow(y, TargetRows, y);
            for (int32_t y = c; y < H; ++y) copyRow(y, SourceRows, y - c);
            break;
        }
        case 23: {  // Push Bottom to Top
            const int32_t c = std::clamp(rH, 0, H);
            for (int32_t y = 0; y < c; ++y) copyRow(y, SourceRows, H - c + y);
            for (int32_t y = c; y < H; ++y) copyRow(y, TargetRows, y - c);
            break;
        }
        case 24: {  // Slide Out Bottom to Top
            const int32_t c = std::clamp(rH, 0, H);
            for (int32_t y = 0; y < c; ++y) copyRow(y, SourceRows, H - c + y);
            for (int32_t y = c; y < H; ++y) copyRow(y, TargetRows, y);
            break;
        }
        case 25: {  // Random Points
            if (s == 0) {
                for (int32_t y = 0; y < H; ++y) copyRow(y, SourceRows, y);
                break;
            }
            const int32_t count = Nearest(W * static_cast<double>(s) * (s / 180.0) / 1024);
            for (int32_t y = 0; y < H; ++y) {
                uint8_t* d = FrameRows[static_cast<size_t>(y)];
                const uint8_t* t = TargetRows[static_cast<size_t>(y)];
                for (int32_t i = LastCount; i < count; ++i) {
                    const size_t x = static_cast<size_t>(cl::Random(W)) * 3;
                    std::memcpy(d + x, t + x, 3);
                }
            }
            LastCount = count;
            break;
        }
        case 26: {  // Random Boxes
            if (s == 0) {
                start();
                break;
            }
            const int32_t count = Nearest(static_cast<double>(s) * ((int64_t{W} * H) / 64) * (s / 180.0) / 1024);
            for (int32_t i = LastCount; i < count; ++i) {
                const int32_t x = cl::Random(W) / 8 * 8;
                const int32_t y = cl::Random(H) / 8 * 8;
                Blit(frame, x, y, 8, 8, target, x, y);
            }
            LastCount = count;
            break;
        }
        case 27: {  // Wipe Out from Center
            start();
            int32_t x, y, cw, ch;
            centred(s, x, y, cw, ch);
            Blit(frame, x, y, cw, ch, target, x, y);
            break;
        }
        case 28: {  // Wipe In to Center
            Blit(frame, 0, 0, W, H, target, 0, 0);
            int32_t x, y, cw, ch;
            centred(kFull - s, x, y, cw, ch);
            Blit(frame, x, y, cw, ch, source, x, y);
            break;
        }
        case 29: {  // Expand Out from Center
            start();
            int32_t x, y, cw, ch;
            centred(s, x, y, cw, ch);
            StretchWhole(frame, x, y, cw, ch, target);
            break;
        }
        case 30: {  // Expand In to Center
            Blit(frame, 0, 0, W, H, target, 0, 0);
            int32_t x, y, cw, ch;
            centred(kFull - s, x, y, cw, ch);
            StretchWhole(frame, x, y, cw, ch, source);
            break;
        }
        default: break;
    }
}

// ---------------------------------------------------------------------------------------
// The GDI effects and pan and zoom

void TIETransitionEffects::ComposeExtra(int32_t s) {
    if (s == 0) {
        Blit(FrameBitmap.get(), 0, 0, FrameWidth, FrameHeight, SourceBitmap.get(), 0, 0);
        return;
    }
    const TEffectProc proc = IEEffectTable[Effect - 1].Proc;
    if (!proc) return;
    cl::TCanvas* canvas = FrameBitmap->GetCanvas();
    win::SetStretchBltMode(canvas->GetHandle(), win::HALFTONE);
    proc(canvas, SourceBitmap.get(), TargetBitmap.get(), cl::Rect(0, 0, FrameWidth, FrameHeight), 1,
         Nearest(s / 1024.0 * 100));
}

void TIETransitionEffects::ComposePanZoom(int32_t s) {
    auto at = [s](int32_t Start, int32_t End) {
        return static_cast<int32_t>(std::trunc(Start - s * (static_cast<double>(Start) - End) / 1024));
    };
    int32_t left = at(PanZoomStart.left, PanZoomEnd.left);
    int32_t top = at(PanZoomStart.top, PanZoomEnd.top);
    int32_t w = at(PanZoomStart.right, PanZoomEnd.right) - left;
    int32_t h = at(PanZoomStart.bottom, PanZoomEnd.bottom) - top;
    const int32_t iw = PanZoomImage->GetWidth(), ih = PanZoomImage->GetHeight();
    bool clipped = false;
    if (left < 0) {
        w += left;
        left = 0;
        clipped = true;
    }
    // Never past the image's right or bottom edge.
    if (w > iw - left) {
        w = iw - left;
        clipped = true;
    }
    if (top < 0) {
        h += top;
        top = 0;
        clipped = true;
    }
    if (h > ih - top) {
        h = ih - top;
        clipped = true;
    }
    const int32_t W = FrameWidth, H = FrameHeight;
    int32_t dx = 0, dy = 0, dw = W, dh = H;
    if (clipped) {
        if (DrawBackgroundTo) {
            DrawBackgroundTo(FrameBitmap->GetCanvas());
        } else {
            cl::TCanvas* c = FrameBitmap->GetCanvas();
            c->GetBrush()->SetColor(View ? View->GetBackground() : cl::clBlack);
            c->GetBrush()->SetStyle(cl::bsSolid);
            c->FillRect(cl::Rect(0, 0, W, H));
        }
        if (w <= 0 || h <= 0) return;
        const double f = static_cast<double>(w) / W > static_cast<double>(h) / H ? static_cast<double>(W) / w
                                                                                 : static_cast<double>(H) / h;
        dw = Nearest(w * f);
        dh = Nearest(h * f);
        dx = static_cast<int32_t>(std::trunc(W / 2.0 - dw / 2.0));
        dy = static_cast<int32_t>(std::trunc(H / 2.0 - dh / 2.0));
    }
    if (w <= 0 || h <= 0) return;
    PanZoomImage->DrawToTBitmap(FrameBitmap.get(), dx, dy, dw, dh, left, top, w, h, 255, rfNone, boCopy);
}

}  // namespace ie
