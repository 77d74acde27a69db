// The selection and alpha mask of the imaging library: 1 or 8 bits per pixel, rows stored
// bottom-up and padded to 32 bits, with the inclusive bounding box of its non-zero pixels
// and a flag telling that every pixel is selected.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"
#include "platform/gdi.h"

namespace ie {

class TIEBitmap;

// The X of a point that ends one polygon of a point list given to TIEMask::FillPolygons.
constexpr int32_t IEPolygonSeparator = 0xFFFFF;

class TIEMask : public cl::TObject {
    CL_DECLARE_CLASS(TIEMask, cl::TObject)
public:
    TIEMask();
    ~TIEMask() override;

    // Frees everything, then zero-filled rows of that size (BitsPerPixel 1 or 8), an empty
    // box and Full False. A size or depth that cannot be had leaves the mask empty.
    void Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
    // Frees the rows and the scaled copy; the size becomes 0.
    void FreeBits();
    // New zero-filled rows with the old top-left content; the box is limited to the new
    // size. BitsPerPixel and Full are kept.
    void Resize(int32_t NewWidth, int32_t NewHeight);

    // Row Row (0 = top); null outside the mask.
    void* GetScanline(int32_t Row) const;
    // 0 outside; for 1 bit 0 or the bit's weight in its byte (X = 1 gives 64); for 8 bits
    // the byte.
    int32_t GetPixel(int32_t X, int32_t Y) const;
    bool IsPointInside(int32_t X, int32_t Y) const { return GetPixel(X, Y) != 0; }
    // Nothing outside the mask. A non-zero pixel grows the box; a pixel below the maximum
    // clears Full. 1 bit: any non-zero Value sets the bit.
    void SetPixel(int32_t X, int32_t Y, int32_t Value);
    // Pixels X1..X2 (limited to the mask) of row Y; a row outside the mask is left alone.
    // 1 bit: any non-zero Value sets, 0 clears. The box is not changed. Returns the pixels
    // written.
    int32_t FillRow(int32_t Value, int32_t X1, int32_t Y, int32_t X2);
    // Every byte (the row padding included) := Value; Full and the box follow the pixels.
    void Fill(uint8_t Value);
    // All zero, empty box, Full False.
    void Clear();
    bool IsEmpty() const { return X1 == INT_MAX; }
    // Recompute the box / Full from the pixels.
    void SyncRect();
    void SyncFull();

    // Fills the polygons of a point list (separated by points whose X is
    // IEPolygonSeparator) with Value, even-odd rule, right and bottom edges excluded,
    // clipped to the mask; then recomputes Full.
    void FillPolygons(int32_t Value, const cl::TPoint* Points, int32_t Count);
    void FillPolygon(int32_t Value, const cl::TPoint* Points, int32_t Count);

    // Moves the selected area by (DX, DY). Clip: the part leaving the mask is cut off;
    // otherwise DX and DY are reduced so that the box stays inside (the caller sees them).
    void Translate(int32_t& DX, int32_t& DY, bool Clip);

    // Copies Source's pixels into Dest where the mask selects them (1 bit: where set; 8
    // bits: blended by the value), over the box, clipped to both bitmaps. SourceAtBox /
    // DestAtBox: that bitmap is read / written relative to the box's corner. CopyAlpha: the
    // alpha channels get the same region.
    void CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool CopyAlpha, bool SourceAtBox, bool DestAtBox);

    // The part of the mask at (XSrc, YSrc) of SrcWidth x SrcHeight pixels shown in the
    // destination rectangle at (XDst, YDst) of DstWidth x DstHeight pixels:
    // a 1-bit mask stretched onto the canvas with XOR (drawing twice restores the canvas);
    void DrawXor(cl::TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight, int32_t XSrc,
                 int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight);
    // the outline of the selection in diagonal dashes of Color1 and Color2 that march with
    // Phase; Rect (may be null) receives the destination rectangle of the box, one pixel
    // inside on each side;
    void DrawOutline(cl::TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight, int32_t XSrc,
                     int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, int32_t Phase, cl::TColor Color1,
                     cl::TColor Color2, cl::TRect* Rect);
    // the unselected pixels of a pf24bit bitmap tinted with Color by Opacity (0..255), or,
    // with Opacity -1, greyed (97, 97, 97) in a one-pixel checkerboard.
    void PaintUnselected(cl::TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                         int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity,
                         cl::TColor Color);

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t RowLen = 0;
    uint8_t* Bits = nullptr;  // owned; row Y at Bits + RowLen x (Height - 1 - Y)
    // Inclusive box of the non-zero pixels; empty: X1 = Y1 = INT_MAX, X2 = Y2 = 0.
    int32_t X1 = INT_MAX;
    int32_t Y1 = INT_MAX;
    int32_t X2 = 0;
    int32_t Y2 = 0;
    bool Full = false;

private:
    void EmptyBox();
    void GrowBox(int32_t X, int32_t Y);
    // Builds the scaled copy of the box's visible part for the drawing operations: the
    // destination columns and rows the box covers and, for each, the mask's value there.
    // False when nothing of the box is visible.
    bool BuildZoom(int32_t DstWidth, int32_t DstHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                   int32_t SrcHeight);

    struct DibHeader {
        win::BITMAPINFOHEADER Header;
        win::RGBQUAD Colors[2];
    } FDrawHeader{};
    // The scaled copy: FZoomWidth x FZoomHeight values (0 or 1) for destination columns
    // FZoomLeft.. and rows FZoomTop.., and whether its sides are sides of the box.
    std::vector<uint8_t> FZoom;
    int32_t FZoomWidth = 0, FZoomHeight = 0, FZoomLeft = 0, FZoomTop = 0;
    bool FZoomBoxLeft = false, FZoomBoxTop = false, FZoomBoxRight = false, FZoomBoxBottom = false;
};

}  // namespace ie
