#include "imaging/processing/iecanvas.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

bool IEImageResizeBitmap(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                         int32_t FillAlpha, cl::TColor Background) {
    if (!Bitmap || Bitmap->IsAlphaChannel || NewWidth < 1 || NewHeight < 1 ||
        (Bitmap->GetWidth() == NewWidth && Bitmap->GetHeight() == NewHeight))
        return false;
    if (Bitmap->GetWidth() < 2 && Bitmap->GetHeight() < 2) Bitmap->Fill(Background);
    FillAlpha = std::clamp(FillAlpha, 0, 255);
    if (FillAlpha < 255) Bitmap->GetAlphaChannel();
    Bitmap->Resize(NewWidth, NewHeight, Background, FillAlpha, HorizAlign, VertAlign);
    return true;
}

void IEFillRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRGB& Color,
                const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Bitmap) return;
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Bitmap->GetWidth());
    Y2 = std::min(Y2, Bitmap->GetHeight());
    if (X2 <= X1 || Y2 <= Y1) return;
    if (f != ie1g && f != ie8g && f != ie24RGB) {
        Bitmap->FillRect(X1, Y1, X2 - 1, Y2 - 1, IERGBToColor(Color));
        return;
    }
    const uint8_t grey = static_cast<uint8_t>(IERGBToGray(Color));
    const double span = (Y2 - 1 - Y1) + 0.5;
    for (int32_t r = Y1; r < Y2; ++r) {
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(r));
        if (row) {
            switch (f) {
                case ie1g:
                    for (int32_t x = X1; x < X2; ++x) {
                        const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
                        row[x >> 3] = static_cast<uint8_t>(Color.r != 0 ? row[x >> 3] | m : row[x >> 3] & ~m);
                    }
                    break;
                case ie8g: std::memset(row + X1, grey, static_cast<size_t>(X2 - X1)); break;
                default:
                    for (int32_t x = X1; x < X2; ++x) std::memcpy(row + 3 * static_cast<size_t>(x), &Color, 3);
                    break;
            }
        }
        if (OnProgress) OnProgress(Sender, static_cast<int32_t>((r - Y1 + 1) * 100 / span));
    }
}

bool IECropBitmap(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!Bitmap || Bitmap->IsEmpty()) return false;
    const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
    if (X1 == 0 && Y1 == 0 && X2 == W - 1 && Y2 == H - 1) return false;
    if (X1 < 0 || Y1 < 0 || X2 >= W || Y2 >= H || X2 < X1 || Y2 < Y1) return false;
    const int32_t w = X2 - X1 + 1, h = Y2 - Y1 + 1;
    TIEBitmap part;
    if (!part.Allocate(w, h, Bitmap->GetPixelFormat()) || part.GetWidth() != w || part.GetHeight() != h) return false;
    Bitmap->CopyRectTo(&part, X1, Y1, 0, 0, W, H);
    Bitmap->CopyPaletteTo(&part);
    std::unique_ptr<TIEBitmap> alpha;
    if (Bitmap->HasAlphaChannel()) {
        TIEBitmap* old = Bitmap->GetAlphaChannel();
        alpha = TIEBitmap::CreateAsAlphaChannel(w, h, old->GetLocation());
        if (!alpha || alpha->GetWidth() != w || alpha->GetHeight() != h) return false;
        old->CopyRectTo(alpha.get(), X1, Y1, 0, 0, W, H);
        alpha->Full = old->Full;
    }
    Bitmap->AssignImage(&part);
    if (alpha) Bitmap->AttachAlphaChannel(alpha);
    return true;
}

void IEGetAlphaBounds(TIEBitmap* Bitmap, cl::TRect& Rect) {
    const int32_t W = Bitmap ? Bitmap->GetWidth() : 0, H = Bitmap ? Bitmap->GetHeight() : 0;
    Rect = {0, 0, W - 1, H - 1};
    if (!Bitmap || !Bitmap->HasAlphaChannel() || W < 1 || H < 1) return;
    TIEBitmap* a = Bitmap->GetAlphaChannel();
    int32_t left = W, right = -1, top = H, bottom = -1;
    for (int32_t y = 0; y < H; ++y) {
        const auto* row = static_cast<const uint8_t*>(a->GetScanline(y));
        if (!row) continue;
        int32_t first = -1, last = -1;
        for (int32_t x = 0; x < W; ++x)
            if (row[x] != 0) {
                if (first < 0) first = x;
                last = x;
            }
        if (first < 0) continue;
        left = std::min(left, first);
        right = std::max(right, last);
        if (top == H) top = y;
        bottom = y;
    }
    Rect = {left, top, right, bottom};
}

bool IECropTransparentBitmap(TIEBitmap* Bitmap) {
    if (!Bitmap) return false;
    cl::TRect r;
    IEGetAlphaBounds(Bitmap, r);
    return IECropBitmap(Bitmap, r.left, r.top, r.right, r.bottom);
}

}  // namespace ie
