#include "transitions/teBkgrnd.h"

#include "platform/gdi.h"

namespace te {

namespace {

const char* const kModeNames[6] = {"Center", "Center stretch", "Stretch", "Tile", "Zoom", "Top left"};

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

cl::String PictureModeName(TFCPictureMode Mode) { return Mode <= fcpmTopLeft ? kModeNames[Mode] : ""; }

TFCPictureMode PictureModeFromName(const cl::String& Name) {
    for (int i = 0; i < 6; ++i)
        if (Name == kModeNames[i]) return static_cast<TFCPictureMode>(i);
    return fcpmCenter;
}

win::RECT ZoomRect(int PW, int PH, const win::RECT& D) {
    const int64_t dw = D.right - D.left, dh = D.bottom - D.top;
    win::RECT r = D;
    if (PW <= 0 || PH <= 0 || dw <= 0 || dh <= 0) return r;
    if (dw * PH > dh * PW) {
        // Relatively wider: the width fits, the height is rounded up and centred.
        const int64_t sh = (static_cast<int64_t>(PH) * dw + PW - 1) / PW;
        r.top = D.top - static_cast<int>((sh - dh) / 2);
        r.bottom = r.top + static_cast<int>(sh);
    } else {
        const int64_t sw = (static_cast<int64_t>(PW) * dh + PH - 1) / PH;
        r.left = D.left - static_cast<int>((sw - dw) / 2);
        r.right = r.left + static_cast<int>(sw);
    }
    return r;
}

void DrawPicture(cl::TBitmap* Picture, TFCPictureMode Mode, cl::TColor TransparentColor, cl::TCanvas* Target,
                 const win::RECT& TileRect, const win::RECT& DestRect, const win::RECT& ClipRect, bool ClipToArea) {
    if (!Picture || !Target || DestRect.right <= DestRect.left || DestRect.bottom <= DestRect.top) return;
    if (TransparentColor == static_cast<cl::TColor>(0x1FFFFFFF)) {
        Picture->SetTransparent(false);
    } else {
        Picture->SetTransparentColor(TransparentColor);
        Picture->SetTransparent(true);
    }
    const bool clip = ClipToArea && Mode != fcpmCenterStretch && Mode != fcpmStretch;
    win::HDC dc = Target->GetHandle();
    int saved = 0;
    if (clip) {
        saved = win::SaveDC(dc);
        win::IntersectClipRect(dc, ClipRect.left, ClipRect.top, ClipRect.right, ClipRect.bottom);
    }
    const int pw = Picture->GetWidth(), ph = Picture->GetHeight();
    switch (Mode) {
        case fcpmCenterStretch:
        case fcpmStretch: Target->StretchDraw(DestRect, Picture); break;
        case fcpmTile:
            if (pw > 0 && ph > 0) {
                const int x0 = DestRect.left + FloorDiv(TileRect.left - DestRect.left, pw) * pw;
                const int y0 = DestRect.top + FloorDiv(TileRect.top - DestRect.top, ph) * ph;
                for (int y = y0; y < TileRect.bottom; y += ph)
                    for (int x = x0; x < TileRect.right; x += pw) Target->Draw(x, y, Picture);
            }
            break;
        case fcpmZoom: Target->StretchDraw(ZoomRect(pw, ph, DestRect), Picture); break;
        default: Target->Draw(DestRect.left, DestRect.top, Picture); break;
    }
    if (clip) win::RestoreDC(dc, saved);
}

}  // namespace te
