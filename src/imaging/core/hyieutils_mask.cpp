#include "imaging/core/hyieutils_mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

namespace {

// Rows of more than this many bytes in all are refused.
constexpr int64_t kMaxMaskBytes = int64_t{1} << 40;

}  // namespace

TIEMask::TIEMask() {
    FDrawHeader.Header.biSize = sizeof(win::BITMAPINFOHEADER);
    FDrawHeader.Header.biPlanes = 1;
    FDrawHeader.Header.biBitCount = 1;
    FDrawHeader.Header.biCompression = win::BI_RGB;
    FDrawHeader.Colors[0] = win::RGBQUAD{0, 0, 0, 0};
    FDrawHeader.Colors[1] = win::RGBQUAD{255, 255, 255, 0};
}

TIEMask::~TIEMask() { FreeBits(); }

void TIEMask::EmptyBox() {
    X1 = Y1 = INT_MAX;
    X2 = Y2 = 0;
}

void TIEMask::GrowBox(int32_t X, int32_t Y) {
    X1 = std::max(std::min(X1, X), 0);
    X2 = std::min(std::max(X2, X), Width - 1);
    Y1 = std::max(std::min(Y1, Y), 0);
    Y2 = std::min(std::max(Y2, Y), Height - 1);
}

void TIEMask::FreeBits() {
    delete[] Bits;
    Bits = nullptr;
    FZoom.clear();
    FZoom.shrink_to_fit();
    FZoomWidth = FZoomHeight = 0;
    Width = Height = BitsPerPixel = RowLen = 0;
}

void TIEMask::Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
    FreeBits();
    EmptyBox();
    Full = false;
    if (AWidth <= 0 || AHeight <= 0 || (ABitsPerPixel != 1 && ABitsPerPixel != 8)) return;
    const int64_t rowLen = IEBitmapRowLen(AWidth, ABitsPerPixel, 32);
    if (rowLen <= 0 || rowLen > std::numeric_limits<int32_t>::max() || rowLen * AHeight > kMaxMaskBytes) return;
    const auto size = static_cast<size_t>(rowLen * AHeight);
    Bits = new (std::nothrow) uint8_t[size];
    if (!Bits) return;
    std::memset(Bits, 0, size);
    Width = AWidth;
    Height = AHeight;
    BitsPerPixel = ABitsPerPixel;
    RowLen = static_cast<int32_t>(rowLen);
}

void TIEMask::Resize(int32_t NewWidth, int32_t NewHeight) {
    if (!Bits) return;
    const int32_t bpp = BitsPerPixel;
    const bool full = Full;
    const int32_t oldW = Width, oldH = Height, oldLen = RowLen;
    const int32_t bx1 = X1, by1 = Y1, bx2 = X2, by2 = Y2;
    std::unique_ptr<uint8_t[]> old(Bits);
    Bits = nullptr;
    FreeBits();
    Allocate(NewWidth, NewHeight, bpp);
    if (Bits) {
        const int32_t rows = std::min(oldH, Height), len = std::min(oldLen, RowLen);
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(Bits + static_cast<size_t>(RowLen) * (Height - 1 - y),
                        old.get() + static_cast<size_t>(oldLen) * (oldH - 1 - y), static_cast<size_t>(len));
        if (bpp == 1 && NewWidth < oldW) {
            // Bits beyond the new width are not pixels any more.
            const int rest = NewWidth % 8;
            if (rest)
                for (int32_t y = 0; y < Height; ++y)
                    static_cast<uint8_t*>(GetScanline(y))[NewWidth / 8] &= static_cast<uint8_t>(0xFF00u >> rest);
        }
    }
    X1 = bx1;
    Y1 = by1;
    X2 = bx2;
    Y2 = by2;
    if (X1 < X2) {
        X1 = std::min(X1, Width - 1);
        X2 = std::min(X2, Width - 1);
        Y1 = std::min(Y1, Height - 1);
        Y2 = std::min(Y2, Height - 1);
    }
    Full = full;
}

void* TIEMask::GetScanline(int32_t Row) const {
    if (!Bits || Row < 0 || Row >= Height) return nullptr;
    return Bits + static_cast<size_t>(RowLen) * static_cast<size_t>(Height - 1 - Row);
}

int32_t TIEMask::GetPixel(int32_t X, int32_t Y) const {
    if (X < 0 || X >= Width || Y < 0 || Y >= Height || !Bits) return 0;
    const auto* row = static_cast<const uint8_t*>(GetScanline(Y));
    if (BitsPerPixel == 1) return row[X >> 3] & IEBitMask8[X & 7];
    return row[X];
}

void TIEMask::SetPixel(int32_t X, int32_t Y, int32_t Value) {
    if (X < 0 || X >= Width || Y < 0 || Y >= Height || !Bits) return;
    auto* row = static_cast<uint8_t*>(GetScanline(Y));
    bool set;
    if (BitsPerPixel == 1) {
        set = Value != 0;
        IESetBit(row, X, set);
        if (!set) Full = false;
    } else {
        row[X] = static_cast<uint8_t>(Value);
        set = row[X] != 0;
        if (row[X] != 255) Full = false;
    }
    if (set) GrowBox(X, Y);
}

int32_t TIEMask::FillRow(int32_t Value, int32_t AX1, int32_t Y, int32_t AX2) {
    if (!Bits || Y < 0 || Y >= Height) return 0;
    AX1 = std::max(AX1, 0);
    AX2 = std::min(AX2, Width - 1);
    if (AX2 < AX1) return 0;
    auto* row = static_cast<uint8_t*>(GetScanline(Y));
    const int32_t n = AX2 - AX1 + 1;
    if (BitsPerPixel == 1) {
        const bool set = Value != 0;
        if (!set) Full = false;
        // Whole bytes inside the run at once, the partial ones bit by bit.
        int32_t x = AX1;
        for (; x <= AX2 && (x & 7); ++x) IESetBit(row, x, set);
        for (; x + 7 <= AX2; x += 8) row[x >> 3] = set ? 0xFF : 0x00;
        for (; x <= AX2; ++x) IESetBit(row, x, set);
    } else {
        const auto v = static_cast<uint8_t>(Value);
        if (v != 255) Full = false;
        std::memset(row + AX1, v, static_cast<size_t>(n));
    }
    return n;
}

void TIEMask::Fill(uint8_t Value) {
    if (!Bits) return;
    std::memset(Bits, Value, static_cast<size_t>(RowLen) * static_cast<size_t>(Height));
    Full = Value == 255;
    SyncRect();
}

void TIEMask::Clear() {
    if (Bits) std::memset(Bits, 0, static_cast<size_t>(RowLen) * static_cast<size_t>(Height));
    Full = false;
    EmptyBox();
}

void TIEMask::SyncRect() {
    EmptyBox();
    if (!Bits) return;
    for (int32_t y = 0; y < Height; ++y) {
        const auto* row = static_cast<const uint8_t*>(GetScanline(y));
        int32_t first = -1, last = -1;
        if (BitsPerPixel == 1) {
            const int32_t bytes = (Width + 7) / 8;
            for (int32_t i = 0; i < bytes && first < 0; ++i)
                if (row[i])
                    for (int32_t b = 0; b < 8; ++b)
                        if ((row[i] & IEBitMask8[b]) && i * 8 + b < Width) {
                            first = i * 8 + b;
                            break;
                        }
            for (int32_t i = bytes - 1; i >= 0 && last < 0 && first >= 0; --i)
                if (row[i])
                    for (int32_t b = 7; b >= 0; --b)
                        if ((row[i] & IEBitMask8[b]) && i * 8 + b < Width) {
                            last = i * 8 + b;
                            break;
                        }
        } else {
            for (int32_t x = 0; x < Width; ++x)
                if (row[x]) {
                    first = x;
                    break;
                }
            for (int32_t x = Width - 1; x >= 0 && first >= 0; --x)
                if (row[x]) {
                    last = x;
                    break;
                }
        }
        if (first >= 0) {
            GrowBox(first, y);
            GrowBox(last, y);
        }
    }
}

void TIEMask::SyncFull() {
    if (!Bits) {
        Full = false;
        return;
    }
    for (int32_t y = 0; y < Height; ++y) {
        const auto* row = static_cast<const uint8_t*>(GetScanline(y));
        if (BitsPerPixel == 1) {
            const int32_t whole = Width / 8;
            for (int32_t i = 0; i < whole; ++i)
                if (row[i] != 0xFF) {
                    Full = false;
                    return;
                }
            const int rest = Width % 8;
            const auto mask = static_cast<uint8_t>(0xFF00u >> rest);
            if (rest && (row[whole] & mask) != mask) {
                Full = false;
                return;
            }
        } else {
            for (int32_t x = 0; x < Width; ++x)
                if (row[x] != 255) {
                    Full = false;
                    return;
                }
        }
    }
    Full = true;
}

// ---------------------------------------------------------------------------------------
// Polygons

void TIEMask::FillPolygons(int32_t Value, const cl::TPoint* Points, int32_t Count) {
    if (!Points || Count <= 0) return;
    int32_t start = 0;
    for (int32_t i = 0; i <= Count; ++i) {
        if (i == Count || Points[i].x == IEPolygonSeparator) {
            if (i > start) FillPolygon(Value, Points + start, i - start);
            start = i + 1;
        }
    }
    SyncFull();
}

void TIEMask::FillPolygon(int32_t Value, const cl::TPoint* Points, int32_t Count) {
    if (!Bits || !Points || Count <= 0) return;
    const int32_t bx1 = X1, by1 = Y1, bx2 = X2, by2 = Y2;
    int64_t ymin = Points[0].y, ymax = Points[0].y;
    for (int32_t i = 0; i < Count; ++i) {
        const int32_t x = Points[i].x, y = Points[i].y;
        ymin = std::min<int64_t>(ymin, y);
        ymax = std::max<int64_t>(ymax, y);
        if (Value != 0) {
            X1 = std::min(X1, x);
            Y1 = std::min(Y1, y);
            if (x > X2) X2 = x - 1;
            if (y > Y2) Y2 = y - 1;
        }
    }
    if (Value != 0) {
        X1 = std::max(X1, 0);
        Y1 = std::max(Y1, 0);
        X2 = std::min(X2, Width - 1);
        Y2 = std::min(Y2, Height - 1);
    }
    // The edges, each from its upper end (xt, yt) to its lower end; active on the rows
    // yt .. yb - 1. Its column on a row follows the integer stepping of the scan: a whole
    // step dx div dy per row and one more column whenever the accumulated remainder passes
    // half a row, which can be computed directly for any row.
    struct Edge {
        int64_t xt, yt, yb, dx, dy, q, r;
        int64_t XAt(int64_t y) const {
            const __int128 k = y - yt;
            const __int128 n = 2 * static_cast<__int128>(r < 0 ? -r : r) * k - dy;
            const __int128 m = n <= 0 ? 0 : (n + 2 * dy - 1) / (2 * dy);
            return static_cast<int64_t>(xt + q * k + (dx > 0 ? m : -m));
        }
    };
    std::vector<Edge> edges;
    edges.reserve(static_cast<size_t>(Count));
    for (int32_t i = 0; i < Count; ++i) {
        const cl::TPoint& a = Points[i];
        const cl::TPoint& b = Points[(i + 1) % Count];
        if (a.y == b.y) continue;
        const cl::TPoint& top = a.y < b.y ? a : b;
        const cl::TPoint& bottom = a.y < b.y ? b : a;
        Edge e;
        e.xt = top.x;
        e.yt = top.y;
        e.yb = bottom.y;
        e.dx = static_cast<int64_t>(bottom.x) - top.x;
        e.dy = static_cast<int64_t>(bottom.y) - top.y;
        e.q = e.dx / e.dy;
        e.r = e.dx - e.q * e.dy;
        edges.push_back(e);
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.yt < b.yt; });
    // Only the rows of the mask are scanned.
    const int64_t first = std::max<int64_t>(ymin, 0), last = std::min<int64_t>(ymax, Height - 1);
    int64_t written = 0;
    struct Active {
        int64_t x;
        const Edge* e;
    };
    std::vector<Active> active;
    size_t next = 0;
    for (int64_t y = first; y <= last; ++y) {
        while (next < edges.size() && edges[next].yt <= y) ++next;
        active.clear();
        for (size_t i = 0; i < next; ++i)
            if (edges[i].yb > y) active.push_back(Active{edges[i].XAt(y), &edges[i]});
        std::sort(active.begin(), active.end(), [](const Active& a, const Active& b) {
            if (a.x != b.x) return a.x < b.x;
            return static_cast<__int128>(a.e->dx) * b.e->dy < static_cast<__int128>(b.e->dx) * a.e->dy;
        });
        for (size_t i = 0; i + 1 < active.size(); i += 2) {
            const int64_t xa = active[i].x, xb = active[i + 1].x - 1;
            if (xb < xa || xb < 0 || xa >= Width) continue;
            written += FillRow(Value, static_cast<int32_t>(std::max<int64_t>(xa, 0)), static_cast<int32_t>(y),
                               static_cast<int32_t>(std::min<int64_t>(xb, Width - 1)));
        }
    }
    if (written == 0) {
        // Nothing was painted: the box stays as it was.
        X1 = bx1;
        Y1 = by1;
        X2 = bx2;
        Y2 = by2;
    }
}

// ---------------------------------------------------------------------------------------
// Moving the selection

void TIEMask::Translate(int32_t& DX, int32_t& DY, bool Clip) {
    if (!Bits) return;
    if (IsEmpty()) SyncRect();
    if (IsEmpty()) return;
    int64_t x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
    if (Clip) {
        if (x1 + DX < 0) x1 = -static_cast<int64_t>(DX);
        if (x2 + DX >= Width) x2 = static_cast<int64_t>(Width) - DX - 1;
        if (y1 + DY < 0) y1 = -static_cast<int64_t>(DY);
        if (y2 + DY >= Height) y2 = static_cast<int64_t>(Height) - DY - 1;
    } else {
        if (x1 + DX < 0) DX = static_cast<int32_t>(-x1);
        if (x2 + DX >= Width) DX = static_cast<int32_t>(Width - x2 - 1);
        if (y1 + DY < 0) DY = static_cast<int32_t>(-y1);
        if (y2 + DY >= Height) DY = static_cast<int32_t>(Height - y2 - 1);
    }
    if (DX == 0 && DY == 0) return;
    if (x2 < x1 || y2 < y1) {
        // Everything moves out of the mask.
        Clear();
        return;
    }
    const size_t size = static_cast<size_t>(RowLen) * static_cast<size_t>(Height);
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    std::memcpy(copy.get(), Bits, size);
    std::memset(Bits, 0, size);
    auto oldRow = [&](int64_t y) {
        return copy.get() + static_cast<size_t>(RowLen) * static_cast<size_t>(Height - 1 - y);
    };
    const auto bx = static_cast<int32_t>(x2 - x1 + 1);
    for (int64_t y = y1; y <= y2; ++y) {
        auto* d = static_cast<uint8_t*>(GetScanline(static_cast<int32_t>(y + DY)));
        if (!d) continue;
        if (BitsPerPixel == 1)
            IECopyBits(d, oldRow(y), static_cast<int32_t>(x1 + DX), RowLen, bx, static_cast<int32_t>(x1));
        else
            std::memcpy(d + x1 + DX, oldRow(y) + x1, static_cast<size_t>(bx));
    }
    X1 = static_cast<int32_t>(x1 + DX);
    X2 = static_cast<int32_t>(x2 + DX);
    Y1 = static_cast<int32_t>(y1 + DY);
    Y2 = static_cast<int32_t>(y2 + DY);
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Width - 1);
    Y2 = std::min(Y2, Height - 1);
    Full = false;
}

// ---------------------------------------------------------------------------------------
// Copying pixels through the mask

void TIEMask::CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool CopyAlpha, bool SourceAtBox, bool DestAtBox) {
    if (!Bits || !Dest || !Source || IsEmpty()) return;
    std::unique_ptr<TIEBitmap> own;
    if (Source == Dest) {
        // Reading and writing one bitmap: read from a copy.
        own = std::make_unique<TIEBitmap>();
        own->Assign(Source);
        Source = own.get();
    }
    const int64_t sox = SourceAtBox ? X1 : 0, soy = SourceAtBox ? Y1 : 0;
    const int64_t dox = DestAtBox ? X1 : 0, doy = DestAtBox ? Y1 : 0;
    const int64_t sw = Source->GetWidth(), sh = Source->GetHeight(), dw = Dest->GetWidth(), dh = Dest->GetHeight();
    const int64_t rx1 = std::max<int64_t>({X1, 0, sox, dox});
    const int64_t ry1 = std::max<int64_t>({Y1, 0, soy, doy});
    const int64_t rx2 = std::min<int64_t>({X2, Width - 1, sox + sw - 1, dox + dw - 1});
    const int64_t ry2 = std::min<int64_t>({Y2, Height - 1, soy + sh - 1, doy + dh - 1});
    if (rx2 < rx1 || ry2 < ry1) return;

    const TIEPixelFormat sf = Source->GetPixelFormat(), df = Dest->GetPixelFormat();
    // What is done with the pixels: 0 nothing, 1 copy bytes, 2 copy bits, 3 blend bytes.
    int mode = 0;
    int32_t bpp = 0;
    if (sf == df) {
        switch (sf) {
            case ie1g: mode = 2; break;
            case ie8g:
            case ie8p: bpp = 1; break;
            case ie16g: bpp = 2; break;
            case ie24RGB:
            case ieCIELab: bpp = 3; break;
            case ie32f:
            case ieCMYK:
            case ie32RGB: bpp = 4; break;
            case ieRGB48: bpp = 6; break;
            default: break;
        }
        if (bpp) mode = 1;
        if (BitsPerPixel == 8 && mode == 1) mode = (sf == ie24RGB || sf == ie8g || sf == ie8p) ? 3 : 0;
    }

    if (mode != 0) {
        const TIEBitmapAccess saved = Source->Access;
        Source->Access = ieaRead;
        for (int64_t y = ry1; y <= ry2; ++y) {
            const auto* m = static_cast<const uint8_t*>(GetScanline(static_cast<int32_t>(y)));
            const auto* s = static_cast<const uint8_t*>(Source->MapRow(static_cast<int32_t>(y - soy)));
            auto* d = static_cast<uint8_t*>(Dest->MapRow(static_cast<int32_t>(y - doy)));
            if (m && s && d) {
                for (int64_t x = rx1; x <= rx2; ++x) {
                    const int64_t xs = x - sox, xd = x - dox;
                    if (BitsPerPixel == 1) {
                        if (!IEGetBit(m, x)) continue;
                        if (mode == 2)
                            IESetBit(d, xd, IEGetBit(s, xs));
                        else
                            std::memcpy(d + xd * bpp, s + xs * bpp, static_cast<size_t>(bpp));
                    } else {
                        const int32_t v = m[x];
                        if (mode == 2) {
                            if (v) IESetBit(d, xd, IEGetBit(s, xs));
                        } else if (v) {
                            for (int32_t c = 0; c < bpp; ++c) {
                                const int32_t sv = s[xs * bpp + c], dv = d[xd * bpp + c];
                                const int32_t diff = (sv - dv) * v;
                                d[xd * bpp + c] =
                                    static_cast<uint8_t>(dv + (diff >= 0 ? diff / 256 : -((-diff + 255) / 256)));
                            }
                        }
                    }
                }
            }
            Source->UnmapRow(const_cast<uint8_t*>(s));
            Dest->UnmapRow(d);
        }
        Source->Access = saved;
    }

    if (!CopyAlpha) return;
    TIEBitmap* da = Dest->GetAlphaChannel();
    if (!da) return;
    TIEBitmap* sa = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
    const TIEBitmapAccess saved = sa ? sa->Access : ieaRead;
    if (sa) sa->Access = ieaRead;
    for (int64_t y = ry1; y <= ry2; ++y) {
        const auto* m = static_cast<const uint8_t*>(GetScanline(static_cast<int32_t>(y)));
        const auto* s = sa ? static_cast<const uint8_t*>(sa->MapRow(static_cast<int32_t>(y - soy))) : nullptr;
        auto* d = static_cast<uint8_t*>(da->MapRow(static_cast<int32_t>(y - doy)));
        if (m && d && (s || !sa)) {
            for (int64_t x = rx1; x <= rx2; ++x) {
                const int32_t a = s ? s[x - sox] : 255;
                if (BitsPerPixel == 1)
                    d[x - dox] = IEGetBit(m, x) ? static_cast<uint8_t>(a) : 0;
                else
                    d[x - dox] = m[x] ? static_cast<uint8_t>(std::min<int32_t>(a, m[x])) : 0;
            }
        }
        if (sa) sa->UnmapRow(const_cast<uint8_t*>(s));
        da->UnmapRow(d);
    }
    if (sa) sa->Access = saved;
    da->Full = false;
}

// ---------------------------------------------------------------------------------------
// Drawing

bool TIEMask::BuildZoom(int32_t DstWidth, int32_t DstHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                        int32_t SrcHeight) {
    if (!Bits || IsEmpty() || DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1) return false;
    const auto stepX = static_cast<int64_t>(std::trunc(static_cast<double>(SrcWidth) / DstWidth * 16384));
    const auto stepY = static_cast<int64_t>(std::trunc(static_cast<double>(SrcHeight) / DstHeight * 16384));
    auto mapX = [&](int64_t k) { return XSrc + ((k * stepX) >> 14); };
    auto mapY = [&](int64_t k) { return YSrc + ((k * stepY) >> 14); };
    const int64_t bx1 = std::max(X1, 0), bx2 = std::min(X2, Width - 1);
    const int64_t by1 = std::max(Y1, 0), by2 = std::min(Y2, Height - 1);
    if (bx2 < bx1 || by2 < by1) return false;
    int64_t kx1 = -1, kx2 = -1, ky1 = -1, ky2 = -1;
    for (int64_t k = 0; k < DstWidth; ++k) {
        const int64_t sx = mapX(k);
        if (sx > bx2) break;
        if (sx >= bx1) {
            if (kx1 < 0) kx1 = k;
            kx2 = k;
        }
    }
    for (int64_t k = 0; k < DstHeight; ++k) {
        const int64_t sy = mapY(k);
        if (sy > by2) break;
        if (sy >= by1) {
            if (ky1 < 0) ky1 = k;
            ky2 = k;
        }
    }
    if (kx1 < 0 || ky1 < 0) return false;
    FZoomLeft = static_cast<int32_t>(kx1);
    FZoomTop = static_cast<int32_t>(ky1);
    FZoomWidth = static_cast<int32_t>(kx2 - kx1 + 1);
    FZoomHeight = static_cast<int32_t>(ky2 - ky1 + 1);
    FZoomBoxLeft = kx1 > 0 || XSrc <= bx1;
    FZoomBoxTop = ky1 > 0 || YSrc <= by1;
    FZoomBoxRight = kx2 < DstWidth - 1 || bx2 <= mapX(DstWidth - 1);
    FZoomBoxBottom = ky2 < DstHeight - 1 || by2 <= mapY(DstHeight - 1);
    FZoom.assign(static_cast<size_t>(FZoomWidth) * static_cast<size_t>(FZoomHeight), 0);
    std::vector<int32_t> cols(static_cast<size_t>(FZoomWidth));
    for (int32_t i = 0; i < FZoomWidth; ++i) cols[static_cast<size_t>(i)] = static_cast<int32_t>(mapX(kx1 + i));
    for (int32_t j = 0; j < FZoomHeight; ++j) {
        const auto* row = static_cast<const uint8_t*>(GetScanline(static_cast<int32_t>(mapY(ky1 + j))));
        if (!row) continue;
        uint8_t* out = FZoom.data() + static_cast<size_t>(j) * FZoomWidth;
        for (int32_t i = 0; i < FZoomWidth; ++i) {
            const int32_t x = cols[static_cast<size_t>(i)];
            out[i] = (BitsPerPixel == 1 ? IEGetBit(row, x) : row[x] != 0) ? 1 : 0;
        }
    }
    return true;
}

void TIEMask::DrawXor(cl::TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                      int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight) {
    if (!Canvas || !Bits || BitsPerPixel != 1 || IsEmpty() || DstWidth < 1 || DstHeight < 1) return;
    FDrawHeader.Header.biWidth = Width;
    FDrawHeader.Header.biHeight = Height;
    FDrawHeader.Header.biSizeImage = static_cast<win::DWORD>(static_cast<int64_t>(RowLen) * Height);
    win::StretchDIBits(Canvas->GetHandle(), XDst, YDst, DstWidth, DstHeight, XSrc, Height - SrcHeight - YSrc, SrcWidth,
                       SrcHeight, Bits, reinterpret_cast<const win::BITMAPINFO*>(&FDrawHeader), win::DIB_RGB_COLORS,
                       win::SRCINVERT);
}

void TIEMask::DrawOutline(cl::TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                          int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, int32_t Phase,
                          cl::TColor Color1, cl::TColor Color2, cl::TRect* Rect) {
    if (!Canvas || !BuildZoom(DstWidth, DstHeight, XSrc, YSrc, SrcWidth, SrcHeight)) return;
    const win::COLORREF c1 = static_cast<win::COLORREF>(cl::ColorToRGB(Color1));
    const win::COLORREF c2 = static_cast<win::COLORREF>(cl::ColorToRGB(Color2));
    win::HDC dc = Canvas->GetHandle();
    const int32_t zw = FZoomWidth, zh = FZoomHeight;
    // A neighbour beyond the scaled area is clear where that side is a side of the box, and
    // counts as selected where the view cut the box.
    auto at = [&](int32_t i, int32_t j) -> bool {
        bool outsideBox = false, outsideView = false;
        if (i < 0) (FZoomBoxLeft ? outsideBox : outsideView) = true;
        if (i >= zw) (FZoomBoxRight ? outsideBox : outsideView) = true;
        if (j < 0) (FZoomBoxTop ? outsideBox : outsideView) = true;
        if (j >= zh) (FZoomBoxBottom ? outsideBox : outsideView) = true;
        if (outsideBox) return false;
        if (outsideView) return true;
        return FZoom[static_cast<size_t>(j) * zw + i] != 0;
    };
    for (int32_t j = 0; j < zh; ++j)
        for (int32_t i = 0; i < zw; ++i) {
            if (!FZoom[static_cast<size_t>(j) * zw + i]) continue;
            bool edge = false;
            for (int32_t dj = -1; dj <= 1 && !edge; ++dj)
                for (int32_t di = -1; di <= 1; ++di)
                    if ((di || dj) && !at(i + di, j + dj)) {
                        edge = true;
                        break;
                    }
            if (!edge) continue;
            const int32_t X = XDst + FZoomLeft + i, Y = YDst + FZoomTop + j;
            win::SetPixelV(dc, X, Y, ((X + Y + Phase) & 4) != 0 ? c1 : c2);
        }
    if (Rect)
        *Rect =
            cl::Rect(XDst + FZoomLeft + 1, YDst + FZoomTop + 1, XDst + FZoomLeft + zw - 1, YDst + FZoomTop + zh - 1);
}

void TIEMask::PaintUnselected(cl::TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                              int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity,
                              cl::TColor Color) {
    if (!Bitmap || !Bits || Bitmap->GetPixelFormat() != cl::pf24bit || DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 ||
        SrcHeight < 1)
        return;
    const auto stepX = static_cast<int64_t>(std::trunc(static_cast<double>(SrcWidth) / DstWidth * 16384));
    const auto stepY = static_cast<int64_t>(std::trunc(static_cast<double>(SrcHeight) / DstHeight * 16384));
    const int32_t bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
    // Destination columns and rows inside the bitmap.
    const int64_t k1 = std::max<int64_t>(0, -static_cast<int64_t>(XDst));
    const int64_t k2 = std::min<int64_t>(DstWidth, static_cast<int64_t>(bw) - XDst);
    const int64_t j1 = std::max<int64_t>(0, -static_cast<int64_t>(YDst));
    const int64_t j2 = std::min<int64_t>(DstHeight, static_cast<int64_t>(bh) - YDst);
    if (k2 <= k1 || j2 <= j1) return;
    std::vector<int64_t> cols(static_cast<size_t>(k2 - k1));
    for (int64_t k = k1; k < k2; ++k) cols[static_cast<size_t>(k - k1)] = XSrc + ((k * stepX) >> 14);
    const TRGB tint = IEColorToRGB(Color);
    const int32_t opacity = std::clamp(Opacity, 0, 255);
    const double w = opacity / 255.0;
    for (int64_t j = j1; j < j2; ++j) {
        const int64_t sy = YSrc + ((j * stepY) >> 14);
        const auto* mrow =
            sy >= 0 && sy < Height ? static_cast<const uint8_t*>(GetScanline(static_cast<int32_t>(sy))) : nullptr;
        auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(static_cast<int>(YDst + j)));
        for (int64_t k = k1; k < k2; ++k) {
            const int64_t sx = cols[static_cast<size_t>(k - k1)];
            const bool selected =
                mrow && sx >= 0 && sx < Width && (BitsPerPixel == 1 ? IEGetBit(mrow, sx) : mrow[sx] != 0);
            if (selected) continue;
            uint8_t* p = row + 3 * (XDst + k);
            if (Opacity == -1) {
                if (((k + j) & 1) == 0) p[0] = p[1] = p[2] = 97;
            } else {
                p[0] = static_cast<uint8_t>(std::trunc(w * tint.b + (1 - w) * p[0]));
                p[1] = static_cast<uint8_t>(std::trunc(w * tint.g + (1 - w) * p[1]));
                p[2] = static_cast<uint8_t>(std::trunc(w * tint.r + (1 - w) * p[2]));
            }
        }
    }
}

}  // namespace ie
