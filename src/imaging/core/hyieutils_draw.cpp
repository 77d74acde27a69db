// Drawing helpers, the palette dialog and the view parameter objects.
#include "imaging/core/hyieutils_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_render.h"

namespace ie {

namespace {

// The canvas' pixel through the device context; false outside its surface.
bool ReadPixel(win::HDC dc, int32_t x, int32_t y, uint8_t& r, uint8_t& g, uint8_t& b) {
    const win::COLORREF c = win::GetPixel(dc, x, y);
    if (c == win::CLR_INVALID) return false;
    r = static_cast<uint8_t>(c & 0xFF);
    g = static_cast<uint8_t>((c >> 8) & 0xFF);
    b = static_cast<uint8_t>((c >> 16) & 0xFF);
    return true;
}

inline win::COLORREF RGBRef(int r, int g, int b) { return static_cast<win::COLORREF>(r | (g << 8) | (b << 16)); }

// Lays Color with Alpha (0 transparent .. 255 opaque) over the rectangle (right and bottom
// exclusive) of the canvas.
void BlendRect(cl::TCanvas* Canvas, cl::TRect R, cl::TColor Color, int Alpha) {
    if (R.right <= R.left || R.bottom <= R.top) return;
    win::HDC dc = Canvas->GetHandle();
    if (!dc) return;
    const auto c = static_cast<uint32_t>(cl::ColorToRGB(Color));
    const int cr = static_cast<int>(c & 0xFF), cg = static_cast<int>((c >> 8) & 0xFF),
              cb = static_cast<int>((c >> 16) & 0xFF);
    for (int32_t y = R.top; y < R.bottom; ++y)
        for (int32_t x = R.left; x < R.right; ++x) {
            uint8_t r, g, b;
            if (!ReadPixel(dc, x, y, r, g, b)) continue;
            win::SetPixelV(dc, x, y,
                           RGBRef((cr * Alpha + r * (255 - Alpha)) / 255, (cg * Alpha + g * (255 - Alpha)) / 255,
                                  (cb * Alpha + b * (255 - Alpha)) / 255));
        }
}

// Pixel access of the shadow strips: through the bitmap's rows where the pixel lies inside
// a 24-bit Bitmap, else through the canvas.
class ShadowPixels {
public:
    ShadowPixels(cl::TCanvas* Canvas, cl::TBitmap* Bitmap)
        : FCanvas(Canvas), FBitmap(Bitmap && Bitmap->GetPixelFormat() == cl::pf24bit ? Bitmap : nullptr) {}
    bool Get(int32_t x, int32_t y, uint8_t& r, uint8_t& g, uint8_t& b) {
        if (uint8_t* p = Row(x, y)) {
            b = p[0];
            g = p[1];
            r = p[2];
            return true;
        }
        return FCanvas && FCanvas->GetHandle() && ReadPixel(FCanvas->GetHandle(), x, y, r, g, b);
    }
    void Set(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
        if (uint8_t* p = Row(x, y)) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        } else if (FCanvas && FCanvas->GetHandle()) {
            win::SetPixelV(FCanvas->GetHandle(), x, y, RGBRef(r, g, b));
        }
    }
    void Darken(int32_t x, int32_t y, double f) {
        uint8_t r, g, b;
        if (!Get(x, y, r, g, b)) return;
        Set(x, y, static_cast<uint8_t>(r * f), static_cast<uint8_t>(g * f), static_cast<uint8_t>(b * f));
    }

private:
    uint8_t* Row(int32_t x, int32_t y) {
        if (!FBitmap || x < 0 || y < 0 || x >= FBitmap->GetWidth() || y >= FBitmap->GetHeight()) return nullptr;
        return static_cast<uint8_t*>(FBitmap->ScanLine(y)) + static_cast<size_t>(x) * 3;
    }
    cl::TCanvas* FCanvas;
    cl::TBitmap* FBitmap;
};

// The shadow strips share one walk: "along" runs down a vertical strip (across a
// horizontal one), "across" from the image outwards. Put(along, across) maps a strip
// position to a pixel.
template <class Put>
void ShadowStrip(ShadowPixels& px, int32_t Width, int32_t First, int32_t Last, int32_t Extent, int32_t Style,
                 Put&& at) {
    if (Width < 1) return;
    if (Style == 2) {
        const double third = Width / 3.0;
        for (int32_t k = 0; k < Width; ++k) {
            const double t = (Width - k) / third;
            const double f = std::exp(-0.1 - t * t / 6);
            // Each column ends one pixel further than the one before it: a bevelled corner.
            const int64_t end = int64_t{Last} + k - Width + 3;
            for (int64_t i = First; i <= end; ++i) {
                int32_t x, y;
                at(static_cast<int32_t>(i), k, x, y);
                px.Darken(x, y, f);
            }
        }
    } else if (Style == 3) {
        const double e = std::exp(1.0);
        for (int32_t i = 0; i < Extent; ++i) {
            const double rv = std::exp(static_cast<double>(Extent - 3 * i) / Extent) / e * 255;
            const int r = static_cast<int>(std::min(255.0, std::trunc(rv)));
            for (int32_t j = 0; j < Width; ++j) {
                const int g =
                    std::max(static_cast<int>(std::trunc(std::exp(static_cast<double>(j) / Width) / e * 255)), r);
                int32_t x, y;
                at(First + i, j, x, y);
                const auto v = static_cast<uint8_t>(std::min(g, 255));
                px.Set(x, y, v, v, v);
            }
        }
    }
}

}  // namespace

void IEDrawBevel(cl::TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor LightColor,
                 cl::TColor DarkColor) {
    IEDrawBevelOn(Canvas, X1, Y1, X2, Y2, LightColor, DarkColor);
}

void IEDrawHint(cl::TCanvas* Canvas, int32_t& X, int32_t& Y, cl::TColor DarkColor, cl::TColor LightColor,
                int32_t MaxHeight, int32_t MaxWidth, std::unique_ptr<cl::TBitmap>& Saved, cl::TBrush* Brush,
                cl::TFont* Font, const cl::String& Text) {
    if (!Canvas) return;
    if (Font) Canvas->SetFont(Font);
    if (Brush) Canvas->SetBrush(Brush);
    const int32_t W = Canvas->TextWidth(Text) + 12;
    const int32_t H = Canvas->TextHeight(Text) + 12;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    X = std::min(X, MaxWidth - W - 1);
    Y = std::min(Y, MaxHeight - H - 1);
    if (!Saved) Saved = std::make_unique<cl::TBitmap>();
    Saved->SetPixelFormat(cl::pf24bit);
    Saved->SetSize(W, H);
    Saved->GetCanvas()->SetCopyMode(cl::cmSrcCopy);
    Saved->GetCanvas()->CopyRect(cl::Rect(0, 0, W, H), Canvas, cl::Rect(X, Y, X + W, Y + H));
    Canvas->FillRect(cl::Rect(X + 6, Y + 6, X + W, Y + H));
    IEDrawBevel(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, LightColor, DarkColor);
    Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDrawAlphaHint(cl::TCanvas* Canvas, int32_t& X, int32_t& Y, const cl::String& Template, const cl::String& Text) {
    if (!Canvas) return;
    cl::TFont* font = Canvas->GetFont();
    font->SetName("Arial");
    font->SetSize(9);
    font->SetColor(cl::clBlack);
    const int32_t W = std::max(Canvas->TextWidth(Text), Canvas->TextWidth(Template)) + 12;
    const int32_t H = Canvas->TextHeight(Text) + 12;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    BlendRect(Canvas, cl::Rect(X + 6, Y + 6, X + W, Y + H), static_cast<cl::TColor>(0x60FFFF), 128);
    IEDrawBevel(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, static_cast<cl::TColor>(0xFFFFFF),
                static_cast<cl::TColor>(0x808080));
    Canvas->GetBrush()->SetStyle(cl::bsClear);
    if (Canvas->GetHandle()) win::SetBkMode(Canvas->GetHandle(), win::TRANSPARENT);
    Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDarkenOutsideRect(cl::TCanvas* Canvas, const cl::TRect& Outer, const cl::TRect& Inner) {
    if (!Canvas || Inner.right <= Inner.left || Inner.bottom <= Inner.top) return;
    // Left and right strips over the whole height, top and bottom ones between them: no
    // pixel is darkened twice.
    const cl::TRect strips[] = {
        cl::Rect(Outer.left, Outer.top, std::min(Inner.left, Outer.right), Outer.bottom),
        cl::Rect(std::max(Inner.right, Outer.left), Outer.top, Outer.right, Outer.bottom),
        cl::Rect(std::max(Inner.left, Outer.left), Outer.top, std::min(Inner.right, Outer.right),
                 std::min(Inner.top, Outer.bottom)),
        cl::Rect(std::max(Inner.left, Outer.left), std::max(Inner.bottom, Outer.top),
                 std::min(Inner.right, Outer.right), Outer.bottom),
    };
    for (const auto& r : strips) BlendRect(Canvas, r, cl::clBlack, 150);
}

cl::TFontStyles IELogFontToStyles(const win::LOGFONTA* LogFont) {
    cl::TFontStyles s = 0;
    if (!LogFont) return s;
    if (LogFont->lfWeight >= 700) s |= cl::FontStyleBit(cl::fsBold);
    if (LogFont->lfItalic) s |= cl::FontStyleBit(cl::fsItalic);
    if (LogFont->lfUnderline) s |= cl::FontStyleBit(cl::fsUnderline);
    if (LogFont->lfStrikeOut) s |= cl::FontStyleBit(cl::fsStrikeOut);
    return s;
}

void IEDrawShadowVert(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      int32_t Style) {
    const int64_t W = int64_t{X2} - X1 + 1;
    if (W < 1 || W > 0x10000 || int64_t{Y2} - Y1 > 0x1000000) return;
    if (Style == 1) {
        if (Canvas) Canvas->FillRect(cl::Rect(X1, Y1 + static_cast<int32_t>(W), X2, Y2 + 1));
        return;
    }
    ShadowPixels px(Canvas, Bitmap);
    const int32_t H = Y2 - Y1 + 1;
    ShadowStrip(px, static_cast<int32_t>(W), Style == 2 ? Y1 + static_cast<int32_t>(W) : Y1, Y2, H, Style,
                [X1, Y1](int32_t along, int32_t across, int32_t& x, int32_t& y) {
                    x = X1 + across;
                    y = along;
                    (void)Y1;
                });
}

void IEDrawShadowHorz(cl::TCanvas* Canvas, cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      int32_t Style) {
    const int64_t H = int64_t{Y2} - Y1 + 1;
    if (H < 1 || H > 0x10000 || int64_t{X2} - X1 > 0x1000000) return;
    if (Style == 1) {
        if (Canvas) Canvas->FillRect(cl::Rect(X1 + static_cast<int32_t>(H), Y1, X2 + 1, Y2));
        return;
    }
    ShadowPixels px(Canvas, Bitmap);
    const int32_t W = X2 - X1 + 1;
    ShadowStrip(px, static_cast<int32_t>(H), Style == 2 ? X1 + static_cast<int32_t>(H) : X1, X2, W, Style,
                [Y1](int32_t along, int32_t across, int32_t& x, int32_t& y) {
                    x = along;
                    y = Y1 + across;
                });
}

void IEDrawSoftShadow(cl::TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
    if (!Bitmap || Bitmap->GetPixelFormat() != cl::pf24bit || Right < Left || Bottom < Top) return;
    const int32_t bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
    // Far beyond the bitmap the rectangle's edges draw nothing on it: the mask is cut there
    // (the blur reaches a few pixels only), so its size follows the bitmap, not the numbers.
    Left = std::max(Left, -16);
    Top = std::max(Top, -16);
    Right = std::min(Right, bw + 16);
    Bottom = std::min(Bottom, bh + 16);
    if (Right < Left || Bottom < Top) return;
    TIEBitmap mask;
    mask.MinFileSize = int64_t{1} << 40;
    if (!mask.Allocate(Right - Left + 11, Bottom - Top + 11, ie8g)) return;
    mask.Fill(0);
    mask.FillRect(5 + 2, 5 + 2, Right - Left + 6, Bottom - Top + 6, 255);
    if (IERenderResamplers.GaussianBlurGray)
        IERenderResamplers.GaussianBlurGray(&mask, 0, 0, mask.GetWidth() - 1, mask.GetHeight() - 1, 2.5);
    for (int32_t y = std::max(Top - 5, 0); y <= std::min(Bottom + 5, bh - 1); ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
        const auto* m = static_cast<const uint8_t*>(mask.GetScanline(y - Top + 5));
        if (!row || !m) continue;
        for (int32_t x = std::max(Left - 5, 0); x <= std::min(Right + 5, bw - 1); ++x) {
            if (x >= Left && x < Right && y >= Top && y < Bottom) continue;
            const double f = 1 - m[x - Left + 5] / 255.0;
            uint8_t* p = row + static_cast<size_t>(x) * 3;
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::trunc(p[c] * f));
        }
    }
}

void IEGaussianCurve(int32_t Count, double Low, double High, std::vector<double>& Out, double Sharpness, int32_t) {
    Out.assign(static_cast<size_t>(std::max(Count, 0)), 0.0);
    if (Count <= 0) return;
    const double norm = Sharpness * std::sqrt(2 * M_PI);
    double top = 0;
    for (int32_t i = 0; i < Count; ++i) {
        const double t = 2.0 * i / Count - 1;
        Out[static_cast<size_t>(i)] = std::exp(-0.5 * Sharpness * Sharpness * t * t) / norm;
        top = std::max(top, Out[static_cast<size_t>(i)]);
    }
    if (!(top > 0) || !std::isfinite(top)) return;
    for (double& v : Out) v = v / top * (High - Low) + Low;
}

void IEDrawStripesBackground(cl::TBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (!Bitmap) return;
    Bitmap->SetPixelFormat(cl::pf24bit);
    Bitmap->SetSize(std::max(Width, 0), std::max(Height, 0));
    std::vector<double> level;
    IEGaussianCurve(4, 130, 255, level, 0.5);
    for (int32_t r = 0; r < Bitmap->GetHeight(); ++r)
        std::memset(Bitmap->ScanLine(r), static_cast<uint8_t>(std::trunc(level[static_cast<size_t>(r % 4)])),
                    static_cast<size_t>(Bitmap->GetWidth()) * 3);
}

void IEDrawNoiseBackground(cl::TBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (!Bitmap) return;
    Bitmap->SetPixelFormat(cl::pf24bit);
    Bitmap->SetSize(std::max(Width, 0), std::max(Height, 0));
    const int32_t w = Bitmap->GetWidth();
    if (w <= 0) return;
    std::vector<double> curve;
    IEGaussianCurve(w, 160, 208, curve, 3);
    int32_t o = 0;
    for (int32_t r = 0; r < Bitmap->GetHeight(); ++r) {
        auto* p = static_cast<uint8_t*>(Bitmap->ScanLine(r));
        int32_t i = 0;
        for (int32_t j = 0; j < w; ++j, p += 3) {
            const auto g = static_cast<uint8_t>(o + static_cast<int32_t>(std::trunc(curve[static_cast<size_t>(j)])));
            p[0] = p[1] = p[2] = g;
            ++i;
            if (cl::Random(w) + 100 < i) {
                i = 0;
                o = cl::Random(11);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Drawing device-independent bitmaps

namespace {
struct DrawDibContext {
    uint32_t magic = 0x44444942;  // "DDIB"
};
}  // namespace

HDRAWDIB IEDrawDibOpen() { return new DrawDibContext(); }

bool IEDrawDibClose(HDRAWDIB Handle) {
    if (!Handle) return false;
    delete static_cast<DrawDibContext*>(Handle);
    return true;
}

bool IEDrawDibDraw(HDRAWDIB Handle, win::HDC DC, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                   const win::BITMAPINFOHEADER* Info, const void* Bits, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                   int32_t SrcHeight, uint32_t) {
    if (!Handle || !DC || !Info || !Bits) return false;
    if (SrcWidth < 0) SrcWidth = Info->biWidth;
    if (SrcHeight < 0) SrcHeight = std::abs(Info->biHeight);
    if (DstWidth < 0) DstWidth = SrcWidth;
    if (DstHeight < 0) DstHeight = SrcHeight;
    return win::StretchDIBits(DC, XDst, YDst, DstWidth, DstHeight, XSrc, YSrc, SrcWidth, SrcHeight, Bits,
                              reinterpret_cast<const win::BITMAPINFO*>(Info), win::DIB_RGB_COLORS, win::SRCCOPY) != 0;
}

uint32_t IEDrawDibRealize(HDRAWDIB, win::HDC, bool) { return 0; }

// ---------------------------------------------------------------------------------------
// The palette dialog

namespace {
constexpr int32_t kCell = 16;
constexpr int32_t kCellsPerRow = 32;
}  // namespace

TVovozIdPaletteDialog::TVovozIdPaletteDialog(cl::TComponent* AOwner) : cl::TForm(AOwner) {
    SetCaption("Palette");
    SetBorderStyle(cl::bsDialog);
    SetBorderIcons(cl::BorderIconBit(cl::biSystemMenu));
    Position = cl::poScreenCenter;
    SetBounds(GetLeft(), GetTop(), 520, 199);
    FCancel = new cl::TButton(this);
    FCancel->SetParent(this);
    FCancel->SetCaption("&Cancel");
    FCancel->ModalResult = cl::mrCancel;
    FCancel->Cancel = true;
    FCancel->SetLeft(4);
    FCancel->SetTop(136);
    OnPaint = [this](cl::TObject* s) { PaintCells(s); };
    OnMouseMove = [this](cl::TObject* s, cl::TShiftState sh, int x, int y) { CellMouseMove(s, sh, x, y); };
    OnClick = [this](cl::TObject* s) { CellClick(s); };
}

void TVovozIdPaletteDialog::SetPalette(const TRGB* Palette, int32_t Count) {
    FPalette = Palette;
    FPaletteCount = Palette ? std::clamp(Count, 0, 256) : 0;
    if (Selected >= FPaletteCount) Selected = -1;
    FOverCell = false;
    Invalidate();
}

cl::TRect TVovozIdPaletteDialog::CellRect(int32_t Index) {
    const int32_t x = kCell * (Index % kCellsPerRow) + 1, y = kCell * (Index / kCellsPerRow) + 1;
    return cl::Rect(x, y, x + kCell - 1, y + kCell - 1);
}

int32_t TVovozIdPaletteDialog::CellAt(int32_t X, int32_t Y) const {
    // Only the cell area: a point right of the last column would otherwise count as the
    // next row's first cells.
    if (X < 1 || Y < 1) return -1;
    const int32_t col = (X - 1) / kCell, row = (Y - 1) / kCell;
    if (col >= kCellsPerRow) return -1;
    const int64_t index = int64_t{row} * kCellsPerRow + col;
    return index < FPaletteCount ? static_cast<int32_t>(index) : -1;
}

void TVovozIdPaletteDialog::PaintCells(cl::TObject*) {
    cl::TCanvas* c = GetCanvas();
    if (!c || !FPalette) return;
    for (int32_t i = 0; i < FPaletteCount; ++i) {
        const TRGB& e = FPalette[i];
        c->GetBrush()->SetStyle(cl::bsSolid);
        c->GetBrush()->SetColor(static_cast<cl::TColor>(e.r | (e.g << 8) | (e.b << 16)));
        c->GetPen()->SetStyle(cl::psSolid);
        c->GetPen()->SetColor(i == Selected ? cl::clBlack : cl::clWhite);
        const cl::TRect r = CellRect(i);
        c->Rectangle(r.left, r.top, r.right, r.bottom);
    }
}

void TVovozIdPaletteDialog::CellMouseMove(cl::TObject*, cl::TShiftState, int X, int Y) {
    const int32_t index = CellAt(X, Y);
    FOverCell = index >= 0;
    if (index >= 0 && index != Selected) {
        Selected = index;
        Invalidate();
    }
}

void TVovozIdPaletteDialog::CellClick(cl::TObject*) {
    if (!FOverCell || Selected < 0 || Selected >= FPaletteCount || !FPalette) return;
    const TRGB& e = FPalette[Selected];
    Color = static_cast<cl::TColor>(e.r | (e.g << 8) | (e.b << 16));
    ModalResult = cl::mrOk;
}

bool TVovozIdPaletteDialog::Execute() { return ShowModal() == cl::mrOk; }

}  // namespace ie
