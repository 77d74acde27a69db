// Drawing a TIEBitmap of any pixel format into a rectangle of an ie24RGB TIEBitmap:
// clipping, nearest-neighbour mapping through coordinate tables (or a resampling filter),
// constant opacity or the source's alpha channel, display adjustments and blend operations.
#include "imaging/core/hyieutils_render.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_blend.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/vovozidio_colors.h"

namespace ie {

TIERenderResamplers IERenderResamplers;

double IEContrastFactor(int32_t Contrast) {
    if (Contrast < 0) return 1.0 - std::sqrt(-static_cast<double>(Contrast)) / 10.0;
    return Contrast / 10.0 + 1.0;
}

namespace {

constexpr int32_t kOneToOne = 16384;

inline int32_t Clamp32(int64_t v, int64_t lo, int64_t hi) { return static_cast<int32_t>(std::clamp(v, lo, hi)); }
inline uint8_t ClampByte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// d + floor(t x (p - d) / 256), per channel.
inline void Mix(uint8_t* d, const TRGB& p, int t) {
    d[0] = static_cast<uint8_t>(d[0] + ((t * (p.b - d[0])) >> 8));
    d[1] = static_cast<uint8_t>(d[1] + ((t * (p.g - d[1])) >> 8));
    d[2] = static_cast<uint8_t>(d[2] + ((t * (p.r - d[2])) >> 8));
}

inline bool RangeActive(const TIEBitmap& b) { return b.DisplayMin != b.DisplayMax; }

// The display-range stretch of an integer sample: Trunc((min(max(v, lo), hi) - lo) /
// (DisplayMax - DisplayMin) x 255), lo and hi the truncated bounds; kept within a byte.
struct RangeStretch {
    int64_t lo = 0, hi = 0;
    double range = 0;
    explicit RangeStretch(const TIEBitmap& b)
        : lo(static_cast<int64_t>(std::trunc(std::clamp(b.DisplayMin, -1e15, 1e15)))),
          hi(static_cast<int64_t>(std::trunc(std::clamp(b.DisplayMax, -1e15, 1e15)))),
          range(b.DisplayMax - b.DisplayMin) {}
    uint8_t operator()(int64_t v) const {
        const double r = static_cast<double>(std::min(std::max(v, lo), hi) - lo) / range * 255;
        if (!(r > 0)) return 0;
        return r >= 255 ? 255 : static_cast<uint8_t>(r);
    }
};

// Per-channel lookup of the offset and contrast adjustment of an 8-bit sample (and, when
// asked, the display range after it). Index 0 blue, 1 green, 2 red.
struct ChannelLut {
    uint8_t v[3][256];
    ChannelLut(const TIEBitmap& b, bool withRange) {
        const int64_t K = static_cast<int64_t>(std::trunc(IEContrastFactor(b.Contrast) * 65536));
        const int32_t off[3] = {b.ChannelOffsetEnabled ? b.ChannelOffset[2] : 0,
                                b.ChannelOffsetEnabled ? b.ChannelOffset[1] : 0,
                                b.ChannelOffsetEnabled ? b.ChannelOffset[0] : 0};
        const RangeStretch range(b);
        for (int ch = 0; ch < 3; ++ch)
            for (int s = 0; s < 256; ++s) {
                // div rounds toward zero, as C++ division does
                const uint8_t a = ClampByte(((s + static_cast<int64_t>(off[ch]) - 128) * K) / 65536 + 128);
                v[ch][s] = withRange ? range(a) : a;
            }
    }
};

// The walk over the span shared by every row renderer. Fetch(row, x, pixel) gives the
// colour the renderer writes for source column x of the source row, false to leave the
// destination pixel; Blend says the colour is laid over the destination pixel by the
// operation first.
template <class Fetch>
void WalkSpan(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant, bool ReuseRows, bool Blend,
              Fetch&& fetch) {
    TIEBitmap* alpha = AlphaVariant && P.UseAlphaChannel && Src.HasAlphaChannel() ? Src.GetAlphaChannel() : nullptr;
    const size_t spanOffset = static_cast<size_t>(P.FirstCol) * 3;
    const size_t spanBytes = static_cast<size_t>(P.LastCol - P.FirstCol + 1) * 3;
    int32_t prevY = INT32_MIN;
    for (int32_t r = P.FirstRow; r <= P.LastRow; ++r) {
        const int32_t y = P.YTable ? P.YTable[r - P.FirstRow] : r + P.SrcY - P.DstY;
        uint8_t* d = P.RowCache[r];
        if (!d) continue;
        if (ReuseRows && P.RowReuse && y == prevY && r > P.FirstRow && P.RowCache[r - 1]) {
            // The row maps to the same source row as the one above it.
            std::memcpy(d + spanOffset, P.RowCache[r - 1] + spanOffset, spanBytes);
            continue;
        }
        prevY = y;
        const auto* s = static_cast<const uint8_t*>(Src.GetScanline(y));
        if (!s) continue;
        const auto* a = alpha ? static_cast<const uint8_t*>(alpha->GetScanline(y)) : nullptr;
        for (int32_t c = P.FirstCol; c <= P.LastCol; ++c) {
            const int32_t x = P.XTable ? P.XTable[c - P.FirstCol] : c + P.SrcX - P.DstX;
            TRGB p;
            if (!fetch(s, x, p)) continue;
            uint8_t* dp = d + static_cast<size_t>(c) * 3;
            if (Blend) {
                TRGB under{dp[0], dp[1], dp[2]};
                IEBlendPixel(&p, &under, P.Operation, r);
                p = under;
            }
            if (!AlphaVariant) {
                dp[0] = p.b;
                dp[1] = p.g;
                dp[2] = p.r;
            } else {
                const int t = a ? std::min<int>(P.Opacity, a[x]) : P.Opacity;
                Mix(dp, p, t);
            }
        }
    }
}

void ClearBuffers(TIERowCache& RowCache, TIECoordTable& XTable, TIECoordTable& YTable) {
    TIERowCache().swap(RowCache);
    TIECoordTable().swap(XTable);
    TIECoordTable().swap(YTable);
}

// A copy of the rectangle resampled to DstWidth x DstHeight with Filter, through the
// processing unit's resamplers; null when they are not installed or a step fails.
std::unique_ptr<TIEBitmap> ResampleRect(TIEBitmap& Src, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                        int32_t DstWidth, int32_t DstHeight, bool UseAlpha, TResampleFilter Filter) {
    const TIERenderResamplers& rs = IERenderResamplers;
    const TIEPixelFormat f = Src.GetPixelFormat();
    const bool alphaUsed = UseAlpha && Src.HasAlphaChannel();
    const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
    auto out = std::make_unique<TIEBitmap>();
    out->MinFileSize = Src.MinFileSize;
    if (f == ie1g && SrcWidth >= DstWidth && !alphaUsed && !project) {
        if (!rs.BoxResample1BitTo24 || !out->Allocate(DstWidth, DstHeight, ie24RGB)) return nullptr;
        rs.BoxResample1BitTo24(&Src, SrcX, SrcY, SrcX + SrcWidth - 1, SrcY + SrcHeight - 1, out.get());
        return out;
    }
    if (f == ie1g ? !rs.Resample1Bit : !rs.ResampleFiltered) return nullptr;
    if (alphaUsed && !rs.ResampleGray8) return nullptr;
    TIEBitmap crop;
    crop.MinFileSize = Src.MinFileSize;
    if (!crop.Allocate(SrcWidth, SrcHeight, f)) return nullptr;
    Src.CopyRectTo(&crop, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
    if (!out->Allocate(DstWidth, DstHeight, f == ie1g && !project ? ie24RGB : f)) return nullptr;
    if (f == ie1g)
        rs.Resample1Bit(&crop, out.get(), Filter);
    else
        rs.ResampleFiltered(&crop, out.get(), Filter);
    if (alphaUsed) {
        TIEBitmap* srcAlpha = Src.GetAlphaChannel();
        TIEBitmap* cropAlpha = crop.GetAlphaChannel();
        TIEBitmap* outAlpha = out->GetAlphaChannel();
        if (!srcAlpha || !cropAlpha || !outAlpha) return nullptr;
        srcAlpha->CopyRectTo(cropAlpha, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
        cropAlpha->Full = srcAlpha->Full;
        rs.ResampleGray8(cropAlpha, outAlpha, Filter);
        outAlpha->Full = srcAlpha->Full;
    }
    return out;
}

void CopyAdjustments(TIEBitmap& From, TIEBitmap& To) {
    std::copy(std::begin(From.ChannelOffset), std::end(From.ChannelOffset), std::begin(To.ChannelOffset));
    To.ChannelOffsetEnabled = From.ChannelOffsetEnabled;
    To.Contrast = From.Contrast;
}

// Restores Access of a bitmap (and of its alpha channel) at the end of a scope.
class ReadAccess {
public:
    explicit ReadAccess(TIEBitmap& b) : FBitmap(b), FSaved(b.Access) {
        b.Access = ieaRead;
        if (b.HasAlphaChannel()) {
            FAlpha = b.GetAlphaChannel();
            FAlphaSaved = FAlpha->Access;
            FAlpha->Access = ieaRead;
        }
    }
    ~ReadAccess() {
        FBitmap.Access = FSaved;
        if (FAlpha) FAlpha->Access = FAlphaSaved;
    }
    ReadAccess(const ReadAccess&) = delete;
    ReadAccess& operator=(const ReadAccess&) = delete;

private:
    TIEBitmap& FBitmap;
    TIEBitmapAccess FSaved;
    TIEBitmap* FAlpha = nullptr;
    TIEBitmapAccess FAlphaSaved = 0;
};

// A destination the renderers can write: ie24RGB, with stable row addresses.
bool Writable24(TIEBitmap* Dest) {
    return Dest && Dest->GetPixelFormat() == ie24RGB && Dest->GetLocation() != ieFile && !Dest->IsEmpty();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The dispatcher

void TIEBitmap::RenderToTIEBitmap(TIEBitmap* Dest, TIERowCache& RowCache, TIECoordTable& XTable, TIECoordTable& YTable,
                                  const cl::TRect* Clip, int32_t DstX, int32_t DstY, int32_t DstWidth,
                                  int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                  bool UseAlpha, bool RowReuse, int32_t Opacity, TResampleFilter Filter,
                                  bool FreeBuffers, TIEBlendOperation Operation) {
    struct BufferRelease {
        bool free;
        TIERowCache& rc;
        TIECoordTable& xt;
        TIECoordTable& yt;
        ~BufferRelease() {
            if (free) ClearBuffers(rc, xt, yt);
        }
    } release{FreeBuffers, RowCache, XTable, YTable};

    // Only an ie24RGB bitmap in memory or in a TBitmap can take the rows written here.
    if (!Writable24(Dest) || Dest == this || IsEmpty()) return;
    if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return;
    const int64_t destW = Dest->GetWidth(), destH = Dest->GetHeight();
    const int64_t srcW = GetWidth(), srcH = GetHeight();
    if (DstY > destH - 1 || DstX > destW - 1) return;

    const double RY = static_cast<double>(SrcHeight) / DstHeight;
    const double RX = static_cast<double>(SrcWidth) / DstWidth;
    int64_t dx = DstX, dy = DstY, dw = DstWidth, dh = DstHeight, sx = SrcX, sy = SrcY, sw = SrcWidth, sh = SrcHeight;
    if (dy < 0) {
        const auto k = static_cast<int64_t>(std::nearbyint(RY * static_cast<double>(-dy)));
        dh += dy;
        sh -= k;
        sy += k;
        dy = 0;
    }
    if (dx < 0) {
        const auto k = static_cast<int64_t>(std::nearbyint(RX * static_cast<double>(-dx)));
        dw += dx;
        sw -= k;
        sx += k;
        dx = 0;
    }
    if (dy + dh > destH) {
        sh -= static_cast<int64_t>(std::trunc(static_cast<double>(dy + dh - destH) * RY));
        dh = destH - dy;
    }
    if (dx + dw > destW) {
        sw -= static_cast<int64_t>(std::trunc(static_cast<double>(dx + dw - destW) * RX));
        dw = destW - dx;
    }
    dx = std::clamp<int64_t>(dx, 0, destW - 1);
    dy = std::clamp<int64_t>(dy, 0, destH - 1);
    dw = std::clamp<int64_t>(dw, 0, destW);
    dh = std::clamp<int64_t>(dh, 0, destH);
    sx = std::clamp<int64_t>(sx, 0, srcW - 1);
    sy = std::clamp<int64_t>(sy, 0, srcH - 1);
    sw = std::clamp<int64_t>(sw, 0, srcW);
    sh = std::clamp<int64_t>(sh, 0, srcH);
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;

    const TIEPixelFormat fmt = GetPixelFormat();
    ReadAccess access(*this);

    if (Filter != rfNone && (dw != sw || dh != sh) && (fmt == ie1g || fmt == ie24RGB)) {
        std::unique_ptr<TIEBitmap> resampled;
        try {
            resampled = ResampleRect(*this, static_cast<int32_t>(sx), static_cast<int32_t>(sy),
                                     static_cast<int32_t>(sw), static_cast<int32_t>(sh), static_cast<int32_t>(dw),
                                     static_cast<int32_t>(dh), UseAlpha, Filter);
        } catch (const std::exception&) {
            resampled.reset();
        }
        if (resampled) {
            CopyAdjustments(*this, *resampled);
            TIERowCache rc;
            TIECoordTable xt, yt;
            resampled->RenderToTIEBitmap(Dest, rc, xt, yt, Clip, static_cast<int32_t>(dx), static_cast<int32_t>(dy),
                                         static_cast<int32_t>(dw), static_cast<int32_t>(dh), 0, 0,
                                         static_cast<int32_t>(dw), static_cast<int32_t>(dh), UseAlpha, RowReuse,
                                         Opacity, rfNone, true, Operation);
            return;
        }
        // Without the resamplers the rectangle is mapped by nearest neighbour below.
    }

    // The span.
    const cl::TRect clip = Clip ? *Clip : cl::TRect{-2147483646, -2147483646, 2147483646, 2147483646};
    int64_t firstCol = std::max<int64_t>(clip.left, dx), lastCol = std::min<int64_t>(clip.right, dx + dw - 1);
    int64_t firstRow = std::max<int64_t>(clip.top, dy), lastRow = std::min<int64_t>(clip.bottom, dy + dh - 1);
    firstCol = std::clamp<int64_t>(firstCol, 0, destW - 1);
    lastCol = std::clamp<int64_t>(lastCol, 0, destW - 1);
    firstRow = std::clamp<int64_t>(firstRow, 0, destH - 1);
    lastRow = std::clamp<int64_t>(lastRow, 0, destH - 1);
    if (firstCol > lastCol || firstRow > lastRow) return;

    // Tables of the caller are taken when they cover the span with source positions; the
    // span ends where they run beyond the source.
    auto usable = [](TIECoordTable& t, int64_t first, int64_t& last, int64_t limit) {
        if (t.empty()) return false;
        if (static_cast<int64_t>(t.size()) <= last) last = static_cast<int64_t>(t.size()) - 1;
        while (last >= first && t[static_cast<size_t>(last)] >= limit) --last;
        for (int64_t i = first; i <= last; ++i)
            if (t[static_cast<size_t>(i)] < 0 || t[static_cast<size_t>(i)] >= limit) return false;
        return true;
    };
    int64_t lastColT = lastCol, lastRowT = lastRow;
    const bool callerTables = !XTable.empty() && !YTable.empty() && usable(XTable, firstCol, lastColT, srcW) &&
                              usable(YTable, firstRow, lastRowT, srcH);
    if (callerTables) {
        lastCol = lastColT;
        lastRow = lastRowT;
        if (firstCol > lastCol || firstRow > lastRow) return;
    }

    const int32_t XStep = static_cast<int32_t>(std::min(std::trunc(static_cast<double>(sw) / dw * kOneToOne), 1e9));
    const int32_t YStep = static_cast<int32_t>(std::min(std::trunc(static_cast<double>(sh) / dh * kOneToOne), 1e9));
    const bool alphaUsed = UseAlpha && HasAlphaChannel() && !GetAlphaChannel()->Full &&
                           GetAlphaChannel()->GetWidth() >= srcW && GetAlphaChannel()->GetHeight() >= srcH;

    try {
        // The destination rows.
        const bool cacheValid =
            static_cast<int64_t>(RowCache.size()) == destH &&
            RowCache[static_cast<size_t>(firstRow)] == Dest->GetScanline(static_cast<int32_t>(firstRow)) &&
            RowCache[static_cast<size_t>(lastRow)] == Dest->GetScanline(static_cast<int32_t>(lastRow));
        if (!cacheValid) {
            RowCache.assign(static_cast<size_t>(destH), nullptr);
            for (int64_t r = 0; r < destH; ++r)
                RowCache[static_cast<size_t>(r)] = static_cast<uint8_t*>(Dest->GetScanline(static_cast<int32_t>(r)));
        }

        const bool plainCopy = XStep == kOneToOne && YStep == kOneToOne && fmt == ie24RGB && Opacity >= 255 &&
                               !alphaUsed && ChannelOffsetEnabled == 0 && Contrast == 0 && Operation == boCopy &&
                               DisplayMin == 0 && DisplayMax == 0;

        TIERenderRowsParams P;
        P.Dest = Dest;
        P.RowCache = RowCache.data();
        P.Operation = Operation;
        P.RowReuse = RowReuse;
        P.XStep = XStep;
        P.YStep = YStep;
        P.FirstRow = static_cast<int32_t>(firstRow);
        P.LastRow = static_cast<int32_t>(lastRow);
        P.FirstCol = static_cast<int32_t>(firstCol);
        P.LastCol = static_cast<int32_t>(lastCol);
        P.DstX = static_cast<int32_t>(dx);
        P.DstY = static_cast<int32_t>(dy);
        P.SrcX = static_cast<int32_t>(sx);
        P.SrcY = static_cast<int32_t>(sy);
        P.UseAlphaChannel = alphaUsed;
        P.Opacity = std::clamp(Opacity, 0, 255);

        if (!plainCopy) {
            if (!callerTables) {
                XTable.assign(static_cast<size_t>(lastCol + 1), 0);
                YTable.assign(static_cast<size_t>(lastRow + 1), 0);
                for (int64_t c = firstCol; c <= lastCol; ++c)
                    XTable[static_cast<size_t>(c)] = Clamp32(
                        static_cast<int64_t>(std::trunc(static_cast<double>(c - dx) * RX + static_cast<double>(sx))), 0,
                        srcW - 1);
                for (int64_t r = firstRow; r <= lastRow; ++r)
                    YTable[static_cast<size_t>(r)] = Clamp32(
                        static_cast<int64_t>(std::trunc(static_cast<double>(r - dy) * RY + static_cast<double>(sy))), 0,
                        srcH - 1);
            }
            P.XTable = XTable.data() + firstCol;
            P.YTable = YTable.data() + firstRow;
        } else {
            // The span copy reads row r + SrcY - DstY and column c + SrcX - DstX: keep it
            // inside the source.
            P.LastCol = static_cast<int32_t>(std::min<int64_t>(lastCol, srcW - 1 - sx + dx));
            P.LastRow = static_cast<int32_t>(std::min<int64_t>(lastRow, srcH - 1 - sy + dy));
            if (P.FirstCol > P.LastCol || P.FirstRow > P.LastRow) return;
        }

        const bool alphaVariant = Opacity < 255 || alphaUsed;
        switch (fmt) {
            case ie24RGB: alphaVariant ? RenderRows24RGBAlpha(P) : RenderRows24RGB(P); break;
            case ie32RGB: alphaVariant ? RenderRows32RGBAlpha(P) : RenderRows32RGB(P); break;
            case ie1g: alphaVariant ? RenderRows1gAlpha(P) : RenderRows1g(P); break;
            case ie8g: alphaVariant ? RenderRows8gAlpha(P) : RenderRows8g(P); break;
            case ie8p: alphaVariant ? RenderRows8pAlpha(P) : RenderRows8p(P); break;
            case ie16g: alphaVariant ? RenderRows16gAlpha(P) : RenderRows16g(P); break;
            case ie32f: alphaVariant ? RenderRows32fAlpha(P) : RenderRows32f(P); break;
            case ieCMYK: alphaVariant ? RenderRowsCMYKAlpha(P) : RenderRowsCMYK(P); break;
            case ieCIELab: alphaVariant ? RenderRowsCIELabAlpha(P) : RenderRowsCIELab(P); break;
            case ieRGB48: alphaVariant ? RenderRowsRGB48Alpha(P) : RenderRowsRGB48(P); break;
            default: break;
        }
    } catch (const std::exception&) {
        // A repaint never fails: what was drawn stays.
    }
    ReleaseScanlineRow();
}

void TIEBitmap::RenderToTBitmap(cl::TBitmap* Dest, TIERowCache& RowCache, TIECoordTable& XTable, TIECoordTable& YTable,
                                const cl::TRect* Clip, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, bool UseAlpha,
                                bool RowReuse, int32_t Opacity, TResampleFilter Filter, bool FreeBuffers,
                                TIEBlendOperation Operation) {
    // Only a 24-bit TBitmap has the rows the renderers write.
    if (!Dest || Dest->GetPixelFormat() != cl::pf24bit) {
        if (FreeBuffers) ClearBuffers(RowCache, XTable, YTable);
        return;
    }
    TIEBitmap wrapper;
    wrapper.EncapsulateTBitmap(Dest, false);
    RenderToTIEBitmap(&wrapper, RowCache, XTable, YTable, Clip, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth,
                      SrcHeight, UseAlpha, RowReuse, Opacity, Filter, FreeBuffers, Operation);
}

void TIEBitmap::DrawToTIEBitmap(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity,
                                TResampleFilter Filter, TIEBlendOperation Operation) {
    TIERowCache rc;
    TIECoordTable xt, yt;
    RenderToTIEBitmap(Dest, rc, xt, yt, nullptr, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, true,
                      false, Opacity, Filter, true, Operation);
}

void TIEBitmap::DrawToTBitmap(cl::TBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                              int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity,
                              TResampleFilter Filter, TIEBlendOperation Operation) {
    TIERowCache rc;
    TIECoordTable xt, yt;
    RenderToTBitmap(Dest, rc, xt, yt, nullptr, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, true,
                    false, Opacity, Filter, true, Operation);
}

// ---------------------------------------------------------------------------------------
// The row renderers

namespace {

// ie24RGB and ie32RGB (Bytes 3 or 4): offsets, contrast, display range and operation.
void RenderRGB8(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant, int Bytes) {
    const bool range = Bytes == 3 && !AlphaVariant && RangeActive(Src);
    const bool adjust = Src.ChannelOffsetEnabled != 0 || Src.Contrast != 0 || P.Operation != boCopy || range;
    const bool reuse = !(Bytes == 3 && RangeActive(Src));
    if (!adjust) {
        if (Bytes == 3 && !AlphaVariant && !P.XTable) {
            // 1:1 without tables: whole row spans.
            const size_t n = static_cast<size_t>(P.LastCol - P.FirstCol + 1) * 3;
            for (int32_t r = P.FirstRow; r <= P.LastRow; ++r) {
                const auto* s = static_cast<const uint8_t*>(Src.GetScanline(r + P.SrcY - P.DstY));
                uint8_t* d = P.RowCache[r];
                if (s && d)
                    std::memcpy(d + static_cast<size_t>(P.FirstCol) * 3,
                                s + static_cast<size_t>(P.FirstCol + P.SrcX - P.DstX) * 3, n);
            }
            return;
        }
        WalkSpan(Src, P, AlphaVariant, reuse, false, [Bytes](const uint8_t* s, int32_t x, TRGB& p) {
            const uint8_t* q = s + static_cast<size_t>(x) * Bytes;
            p = TRGB{q[0], q[1], q[2]};
            return true;
        });
        return;
    }
    const ChannelLut lut(Src, range);
    WalkSpan(Src, P, AlphaVariant, reuse, true, [&lut, Bytes](const uint8_t* s, int32_t x, TRGB& p) {
        const uint8_t* q = s + static_cast<size_t>(x) * Bytes;
        p = TRGB{lut.v[0][q[0]], lut.v[1][q[1]], lut.v[2][q[2]]};
        return true;
    });
}

void RenderRGB48(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    const bool adjust = Src.ChannelOffsetEnabled != 0 || Src.Contrast != 0 || P.Operation != boCopy;
    if (!adjust) {
        WalkSpan(Src, P, AlphaVariant, false, false, [](const uint8_t* s, int32_t x, TRGB& p) {
            const uint8_t* q = s + static_cast<size_t>(x) * 6;
            p = CreateRGB(q[1], q[3], q[5]);
            return true;
        });
        return;
    }
    const double F = IEContrastFactor(Src.Contrast);
    const int64_t off[3] = {Src.ChannelOffsetEnabled ? Src.ChannelOffset[0] : 0,
                            Src.ChannelOffsetEnabled ? Src.ChannelOffset[1] : 0,
                            Src.ChannelOffsetEnabled ? Src.ChannelOffset[2] : 0};
    auto adj = [F](int64_t w, int64_t o) {
        const double t = std::trunc(static_cast<double>(w + o - 32768) * F + 32768);
        return ClampByte(static_cast<int64_t>(std::floor(t / 256)));
    };
    WalkSpan(Src, P, AlphaVariant, false, true, [&](const uint8_t* s, int32_t x, TRGB& p) {
        const uint8_t* q = s + static_cast<size_t>(x) * 6;
        p = CreateRGB(adj(IELoad<uint16_t>(q), off[0]), adj(IELoad<uint16_t>(q + 2), off[1]),
                      adj(IELoad<uint16_t>(q + 4), off[2]));
        return true;
    });
}

void Render1g(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    WalkSpan(Src, P, AlphaVariant, true, false, [](const uint8_t* s, int32_t x, TRGB& p) {
        const uint8_t v = IEGetBit(s, x) ? 255 : 0;
        p = TRGB{v, v, v};
        return true;
    });
}

void Render8g(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    if (RangeActive(Src)) {
        const RangeStretch range(Src);
        WalkSpan(Src, P, AlphaVariant, false, false, [&range](const uint8_t* s, int32_t x, TRGB& p) {
            const uint8_t v = range(s[x]);
            p = TRGB{v, v, v};
            return true;
        });
        return;
    }
    WalkSpan(Src, P, AlphaVariant, false, false, [](const uint8_t* s, int32_t x, TRGB& p) {
        p = TRGB{s[x], s[x], s[x]};
        return true;
    });
}

void Render8p(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    const TRGB* pal = Src.GetPalette();
    const int32_t n = Src.GetPaletteLength();
    if (!pal || n <= 0) return;
    WalkSpan(Src, P, AlphaVariant, false, false, [pal, n](const uint8_t* s, int32_t x, TRGB& p) {
        if (s[x] >= n) return false;
        p = pal[s[x]];
        return true;
    });
}

void Render16g(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    const bool range = RangeActive(Src);
    const RangeStretch stretch(Src);
    WalkSpan(Src, P, AlphaVariant, false, false, [range, &stretch](const uint8_t* s, int32_t x, TRGB& p) {
        const uint16_t w = IELoad<uint16_t>(s + static_cast<size_t>(x) * 2);
        const uint8_t v = range ? stretch(w) : static_cast<uint8_t>(w >> 8);
        p = TRGB{v, v, v};
        return true;
    });
}

void Render32f(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    const bool range = RangeActive(Src);
    const float lo = static_cast<float>(Src.DisplayMin), hi = static_cast<float>(Src.DisplayMax);
    const double span = static_cast<double>(hi) - lo;
    WalkSpan(Src, P, AlphaVariant, false, false, [=](const uint8_t* s, int32_t x, TRGB& p) {
        const float f = IELoad<float>(s + static_cast<size_t>(x) * 4);
        double v;
        if (!std::isfinite(f))
            v = 0;
        else if (range)
            v = (static_cast<double>(std::min(std::max(f, lo), hi)) - lo) / span * 255;
        else
            v = static_cast<double>(f) * 255;
        const uint8_t g = !(v > 0) ? 0 : (v >= 255 ? 255 : static_cast<uint8_t>(v));
        p = TRGB{g, g, g};
        return true;
    });
}

void RenderCMYK(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    WalkSpan(Src, P, AlphaVariant, false, false, [](const uint8_t* s, int32_t x, TRGB& p) {
        const uint8_t* q = s + static_cast<size_t>(x) * 4;
        p = IECMYKToRGB(TCMYK{q[0], q[1], q[2], q[3]});
        return true;
    });
}

void RenderCIELab(TIEBitmap& Src, const TIERenderRowsParams& P, bool AlphaVariant) {
    WalkSpan(Src, P, AlphaVariant, false, false, [](const uint8_t* s, int32_t x, TRGB& p) {
        TCIELab lab;
        std::memcpy(&lab, s + static_cast<size_t>(x) * 3, 3);
        IECIELabToRGB(p, lab);
        return true;
    });
}

}  // namespace

void TIEBitmap::RenderRows24RGB(const TIERenderRowsParams& P) { RenderRGB8(*this, P, false, 3); }
void TIEBitmap::RenderRows24RGBAlpha(const TIERenderRowsParams& P) { RenderRGB8(*this, P, true, 3); }
void TIEBitmap::RenderRows32RGB(const TIERenderRowsParams& P) { RenderRGB8(*this, P, false, 4); }
void TIEBitmap::RenderRows32RGBAlpha(const TIERenderRowsParams& P) { RenderRGB8(*this, P, true, 4); }
void TIEBitmap::RenderRows1g(const TIERenderRowsParams& P) { Render1g(*this, P, false); }
void TIEBitmap::RenderRows1gAlpha(const TIERenderRowsParams& P) { Render1g(*this, P, true); }
void TIEBitmap::RenderRows8g(const TIERenderRowsParams& P) { Render8g(*this, P, false); }
void TIEBitmap::RenderRows8gAlpha(const TIERenderRowsParams& P) { Render8g(*this, P, true); }
void TIEBitmap::RenderRows8p(const TIERenderRowsParams& P) { Render8p(*this, P, false); }
void TIEBitmap::RenderRows8pAlpha(const TIERenderRowsParams& P) { Render8p(*this, P, true); }
void TIEBitmap::RenderRows16g(const TIERenderRowsParams& P) { Render16g(*this, P, false); }
void TIEBitmap::RenderRows16gAlpha(const TIERenderRowsParams& P) { Render16g(*this, P, true); }
void TIEBitmap::RenderRows32f(const TIERenderRowsParams& P) { Render32f(*this, P, false); }
void TIEBitmap::RenderRows32fAlpha(const TIERenderRowsParams& P) { Render32f(*this, P, true); }
void TIEBitmap::RenderRowsCMYK(const TIERenderRowsParams& P) { RenderCMYK(*this, P, false); }
void TIEBitmap::RenderRowsCMYKAlpha(const TIERenderRowsParams& P) { RenderCMYK(*this, P, true); }
void TIEBitmap::RenderRowsCIELab(const TIERenderRowsParams& P) { RenderCIELab(*this, P, false); }
void TIEBitmap::RenderRowsCIELabAlpha(const TIERenderRowsParams& P) { RenderCIELab(*this, P, true); }
void TIEBitmap::RenderRowsRGB48(const TIERenderRowsParams& P) { RenderRGB48(*this, P, false); }
void TIEBitmap::RenderRowsRGB48Alpha(const TIERenderRowsParams& P) { RenderRGB48(*this, P, true); }

// ---------------------------------------------------------------------------------------
// The stretch that writes the destination's alpha channel too

void TIEBitmap::StretchRectTo(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                              int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, TResampleFilter Filter,
                              int32_t MaxAlpha) {
    const TIEPixelFormat fmt = GetPixelFormat();
    if (!Writable24(Dest) || Dest == this || IsEmpty() || (fmt != ie1g && fmt != ie24RGB)) return;
    if (DstWidth <= 0 || DstHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return;
    const int64_t srcW = GetWidth(), srcH = GetHeight();
    // The source rectangle is cut to the source.
    int64_t sx = std::clamp<int64_t>(SrcX, 0, srcW - 1), sy = std::clamp<int64_t>(SrcY, 0, srcH - 1);
    int64_t sw = std::clamp<int64_t>(SrcWidth, 0, srcW - sx), sh = std::clamp<int64_t>(SrcHeight, 0, srcH - sy);
    if (sw == 0 || sh == 0) return;
    const uint8_t maxAlpha = static_cast<uint8_t>(std::clamp(MaxAlpha, 0, 255));
    ReadAccess access(*this);

    if (Filter != rfNone && (DstWidth != sw || DstHeight != sh)) {
        std::unique_ptr<TIEBitmap> resampled;
        try {
            resampled =
                ResampleRect(*this, static_cast<int32_t>(sx), static_cast<int32_t>(sy), static_cast<int32_t>(sw),
                             static_cast<int32_t>(sh), DstWidth, DstHeight, true, Filter);
        } catch (const std::exception&) {
            resampled.reset();
        }
        if (resampled) {
            resampled->StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone,
                                     MaxAlpha);
            return;
        }
    }

    const int64_t destW = Dest->GetWidth(), destH = Dest->GetHeight();
    const int64_t firstCol = std::max<int64_t>(DstX, 0),
                  lastCol = std::min<int64_t>(int64_t{DstX} + DstWidth - 1, destW - 1);
    const int64_t firstRow = std::max<int64_t>(DstY, 0),
                  lastRow = std::min<int64_t>(int64_t{DstY} + DstHeight - 1, destH - 1);
    if (firstCol > lastCol || firstRow > lastRow) return;
    const int64_t XStep = static_cast<int64_t>(std::trunc(static_cast<double>(SrcWidth) / DstWidth * kOneToOne));
    const int64_t YStep = static_cast<int64_t>(std::trunc(static_cast<double>(SrcHeight) / DstHeight * kOneToOne));
    TIEBitmap* srcAlpha = HasAlphaChannel() ? GetAlphaChannel() : nullptr;
    const bool alphaUsed = srcAlpha && !srcAlpha->Full && srcAlpha->GetWidth() >= srcW && srcAlpha->GetHeight() >= srcH;

    try {
        TIEBitmap* destAlpha = Dest->GetAlphaChannel();
        std::vector<int32_t> xt(static_cast<size_t>(lastCol - firstCol + 1));
        for (int64_t c = firstCol; c <= lastCol; ++c)
            xt[static_cast<size_t>(c - firstCol)] = Clamp32(sx + (((c - DstX) * XStep) >> 14), 0, srcW - 1);
        const auto n = static_cast<size_t>(lastCol - firstCol + 1);
        for (int64_t r = firstRow; r <= lastRow; ++r) {
            const int32_t y = Clamp32(sy + (((r - DstY) * YStep) >> 14), 0, srcH - 1);
            auto* d = static_cast<uint8_t*>(Dest->GetScanline(static_cast<int32_t>(r)));
            const auto* s = static_cast<const uint8_t*>(GetScanline(y));
            if (d && s) {
                uint8_t* dp = d + firstCol * 3;
                if (fmt == ie1g) {
                    for (size_t i = 0; i < n; ++i, dp += 3) std::memset(dp, IEGetBit(s, xt[i]) ? 255 : 0, 3);
                } else {
                    for (size_t i = 0; i < n; ++i, dp += 3) std::memcpy(dp, s + static_cast<size_t>(xt[i]) * 3, 3);
                }
            }
            auto* da = destAlpha ? static_cast<uint8_t*>(destAlpha->GetScanline(static_cast<int32_t>(r))) : nullptr;
            if (!da) continue;
            const auto* sa = alphaUsed ? static_cast<const uint8_t*>(srcAlpha->GetScanline(y)) : nullptr;
            for (size_t i = 0; i < n; ++i)
                da[firstCol + static_cast<int64_t>(i)] = sa ? std::min(sa[xt[i]], maxAlpha) : maxAlpha;
        }
        if (destAlpha) {
            destAlpha->ReleaseScanlineRow();
            if (maxAlpha < 255 || alphaUsed) destAlpha->Full = false;
        }
    } catch (const std::exception&) {
        // Nothing more is drawn.
    }
    ReleaseScanlineRow();
}

}  // namespace ie
