#include "imaging/processing/ieresample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_threadpool.h"
#include "imaging/core/vovozidproc_helpers.h"

namespace ie {

namespace {

constexpr int32_t kFixedOne = 131072;  // 17 fractional bits

// Puts a bitmap's Access back on the way out.
class AccessScope {
public:
    AccessScope(TIEBitmap* b, TIEBitmapAccess a) : b_(b), saved_(b->Access) { b->Access = a; }
    ~AccessScope() { b_->Access = saved_; }
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;

private:
    TIEBitmap* b_;
    TIEBitmapAccess saved_;
};

// Reports a percentage when it differs from the previous one (or always, with EveryCall).
class Progress {
public:
    Progress(const TIEProgressEvent& e, cl::TObject* sender, bool everyCall = false)
        : e_(e), sender_(sender), every_(everyCall) {}
    void operator()(int32_t per) {
        if (!e_) return;
        if (!every_ && per == last_) return;
        last_ = per;
        e_(sender_, per);
    }
    explicit operator bool() const { return static_cast<bool>(e_); }

private:
    const TIEProgressEvent& e_;
    cl::TObject* sender_;
    bool every_;
    int32_t last_ = -1;
};

// Dest in Format at its own size (reallocated when the format differs). False when Dest
// has no pixels.
bool PrepareDest(TIEBitmap* Dest, TIEPixelFormat Format) {
    const int32_t w = Dest->GetWidth(), h = Dest->GetHeight();
    if (w < 1 || h < 1) return false;
    if (Dest->GetPixelFormat() != Format && !Dest->Allocate(w, h, Format)) return false;
    return Dest->GetWidth() == w && Dest->GetHeight() == h && Dest->GetPixelFormat() == Format;
}

bool Usable(TIEBitmap* Source, TIEBitmap* Dest) {
    return Source && Dest && Source != Dest && Source->GetWidth() > 0 && Source->GetHeight() > 0 &&
           Dest->GetWidth() > 0 && Dest->GetHeight() > 0;
}

inline bool GetBit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
inline void PutBit(uint8_t* row, int32_t x, bool v) {
    const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
    if (v)
        row[x >> 3] |= m;
    else
        row[x >> 3] = static_cast<uint8_t>(row[x >> 3] & ~m);
}

// Set bits as 255, clear bits as 0.
void UnpackBits(const uint8_t* row, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x) out[x] = GetBit(row, x) ? 255 : 0;
}

void WriteGrey24(uint8_t* dst, const uint8_t* grey, int32_t width) {
    for (int32_t x = 0; x < width; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = grey[x];
}

// Every pixel of Dest := the C bytes at Pixel.
void FillWith(TIEBitmap* Dest, const uint8_t* Pixel, int32_t C) {
    const int32_t w = Dest->GetWidth(), h = Dest->GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        auto* d = static_cast<uint8_t*>(Dest->GetScanline(y));
        if (!d) continue;
        for (int32_t x = 0; x < w; ++x) std::memcpy(d + static_cast<size_t>(x) * C, Pixel, static_cast<size_t>(C));
    }
}

// ---------------------------------------------------------------------------------------
// The fixed-point linear scheme on C bytes per pixel. Rows come from SourceRow (one at a
// time), results go to PutRow(j, row of DW x C bytes).

template <int C, class SourceRowF, class PutRowF>
void LinearResample(int32_t SW, int32_t SH, int32_t DW, int32_t DH, bool AlwaysInterpolate, SourceRowF SourceRow,
                    PutRowF PutRow, Progress& progress) {
    const double sx = static_cast<double>(DW) / SW, sy = static_cast<double>(DH) / SH;
    const bool interpX = AlwaysInterpolate || sx > 1, interpY = AlwaysInterpolate || sy > 1;
    std::vector<int32_t> q(static_cast<size_t>(DW)), f(static_cast<size_t>(DW)), e(static_cast<size_t>(DW));
    for (int32_t i = 0; i < DW; ++i) {
        const double x = i / sx;
        q[i] = std::min(static_cast<int32_t>(x), SW - 1);
        f[i] = static_cast<int32_t>((x - q[i]) * kFixedOne);
        e[i] = std::clamp(static_cast<int32_t>(std::min(i + 1, DW - 1) / sx + 1e-10), q[i], SW - 1);
    }
    const double factor = 100.0 / (SH + DH + 0.5);
    const size_t workLen = static_cast<size_t>(DW) * C;
    std::vector<uint8_t> work(workLen * static_cast<size_t>(SH));
    for (int32_t h = 0; h < SH; ++h) {
        const uint8_t* src = SourceRow(h);
        uint8_t* w = work.data() + workLen * static_cast<size_t>(h);
        if (src) {
            for (int32_t i = 0; i < DW; ++i) {
                if (interpX) {
                    const uint8_t* a = src + static_cast<size_t>(q[i]) * C;
                    const uint8_t* b = src + static_cast<size_t>(std::min(q[i] + 1, SW - 1)) * C;
                    for (int c = 0; c < C; ++c)
                        w[i * C + c] = static_cast<uint8_t>(a[c] + ((static_cast<int64_t>(b[c] - a[c]) * f[i]) >> 17));
                } else {
                    for (int c = 0; c < C; ++c) {
                        int32_t sum = 0;
                        for (int32_t k = q[i]; k <= e[i]; ++k) sum += src[static_cast<size_t>(k) * C + c];
                        w[i * C + c] = static_cast<uint8_t>(sum / (e[i] - q[i] + 1));
                    }
                }
            }
        }
        progress(static_cast<int32_t>(factor * h));
    }
    std::vector<uint8_t> out(workLen);
    for (int32_t j = 0; j < DH; ++j) {
        if (interpY) {
            const double y = j / sy;
            const int32_t l = std::min(static_cast<int32_t>(y), SH - 1);
            const int32_t fr = static_cast<int32_t>((y - l) * kFixedOne);
            const uint8_t* a = work.data() + workLen * static_cast<size_t>(l);
            const uint8_t* b = work.data() + workLen * static_cast<size_t>(std::min(l + 1, SH - 1));
            for (size_t x = 0; x < workLen; ++x)
                out[x] = static_cast<uint8_t>(a[x] + ((static_cast<int64_t>(b[x] - a[x]) * fr) >> 17));
        } else {
            const int32_t r1 = std::min(static_cast<int32_t>(j / sy), SH - 1);
            const int32_t r2 = std::clamp(static_cast<int32_t>(std::min(j + 1, DH - 1) / sy), r1, SH - 1);
            for (size_t x = 0; x < workLen; ++x) {
                int32_t sum = 0;
                for (int32_t r = r1; r <= r2; ++r) sum += work[workLen * static_cast<size_t>(r) + x];
                out[x] = static_cast<uint8_t>(sum / (r2 - r1 + 1));
            }
        }
        PutRow(j, out.data());
        progress(static_cast<int32_t>(factor * (SH + j)));
    }
}

template <int C>
void FastLinear(TIEBitmap* Source, TIEBitmap* Dest, TIEPixelFormat Format, cl::TObject* Sender,
                const TIEProgressEvent& OnProgress) {
    if (!Usable(Source, Dest) || Source->GetPixelFormat() != Format) return;
    const int32_t SW = Source->GetWidth(), SH = Source->GetHeight(), DW = Dest->GetWidth(), DH = Dest->GetHeight();
    if (SW == DW && SH == DH) {
        Dest->Assign(Source);
        return;
    }
    if (!PrepareDest(Dest, Format)) return;
    Progress progress(OnProgress, Sender, true);
    LinearResample<C>(
        SW, SH, DW, DH, false, [&](int32_t r) { return static_cast<const uint8_t*>(Source->GetScanline(r)); },
        [&](int32_t j, const uint8_t* row) {
            if (auto* d = static_cast<uint8_t*>(Dest->GetScanline(j))) std::memcpy(d, row, static_cast<size_t>(DW) * C);
        },
        progress);
}

// ---------------------------------------------------------------------------------------
// Projection to 1 bit

struct Span {
    int32_t first, last;
};

// Destination index 0 covers source index 0; k >= 1 covers m(k - 1) .. m(k).
std::vector<Span> ProjectionSpans(int32_t S, int32_t D) {
    std::vector<Span> spans(static_cast<size_t>(D));
    const double g = static_cast<double>(S) / D;
    auto m = [&](int32_t k) { return std::min(static_cast<int32_t>(g * k), S - 1); };
    for (int32_t k = 0; k < D; ++k) spans[k] = k == 0 ? Span{0, 0} : Span{m(k - 1), m(k)};
    return spans;
}

template <class HitF>
void Project(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, HitF Hit, const TIEProgressEvent& OnProgress,
             cl::TObject* Sender) {
    if (!Usable(Source, Dest) || !PrepareDest(Dest, ie1g)) return;
    const int32_t SW = Source->GetWidth(), SH = Source->GetHeight(), DW = Dest->GetWidth(), DH = Dest->GetHeight();
    AccessScope ra(Source, ieaRead), wa(Dest, ieaWrite);
    const std::vector<Span> cols = ProjectionSpans(SW, DW), rows = ProjectionSpans(SH, DH);
    Progress progress(OnProgress, Sender);
    const size_t rowLen = static_cast<size_t>(Dest->GetRowLen());
    std::vector<uint8_t> out(rowLen);
    for (int32_t j = 0; j < DH; ++j) {
        std::fill(out.begin(), out.end(), WhiteWins ? 0x00 : 0xFF);
        for (int32_t r = rows[j].first; r <= rows[j].last; ++r) {
            const auto* src = static_cast<const uint8_t*>(Source->GetScanline(r));
            if (!src) continue;
            for (int32_t k = 0; k < DW; ++k)
                for (int32_t c = cols[k].first; c <= cols[k].last; ++c)
                    if (Hit(src, c)) {
                        PutBit(out.data(), k, WhiteWins);
                        break;
                    }
        }
        if (auto* d = static_cast<uint8_t*>(Dest->GetScanline(j))) std::memcpy(d, out.data(), rowLen);
        progress(static_cast<int32_t>(j * 100 / (DH + 0.5)));
    }
}

// ---------------------------------------------------------------------------------------
// Area integration

struct Piece {
    int32_t src;    // source pixel
    double length;  // in source units
    double end;     // end position inside the source pixel, 1 on its far edge
};

// Cuts 0 .. S into pieces at every source and destination boundary, grouped by
// destination pixel. A source boundary at most 1e-4 past a destination boundary is
// reached together with it.
std::vector<std::vector<Piece>> CutAxis(int32_t S, int32_t D) {
    std::vector<std::vector<Piece>> out(static_cast<size_t>(D));
    const double g = static_cast<double>(S) / D;
    double pos = 0;
    int32_t s = 0;
    for (int32_t d = 0; d < D; ++d) {
        const double dEnd = d == D - 1 ? S : (d + 1) * g;
        while (s < S) {
            const double sEnd = s + 1;
            if (sEnd <= dEnd + 1e-4) {
                out[d].push_back({s, std::min(sEnd, dEnd) - pos, 1.0});
                pos = sEnd;
                ++s;
                if (sEnd >= dEnd) break;
            } else {
                out[d].push_back({s, dEnd - pos, dEnd - s});
                pos = dEnd;
                break;
            }
        }
    }
    return out;
}

// Copies of up to four source rows, found by row index.
template <class T>
class RowWindow {
public:
    RowWindow(TIEBitmap* b, size_t samples) : b_(b), samples_(samples) {
        for (auto& r : rows_) r.assign(samples, T{});
    }
    const T* Row(int32_t r) {
        const size_t slot = static_cast<size_t>(r) % 4;
        if (index_[slot] != r) {
            const void* p = b_->GetScanline(r);
            if (p)
                std::memcpy(rows_[slot].data(), p, samples_ * sizeof(T));
            else
                std::fill(rows_[slot].begin(), rows_[slot].end(), T{});
            index_[slot] = r;
        }
        return rows_[slot].data();
    }

private:
    TIEBitmap* b_;
    size_t samples_;
    std::vector<T> rows_[4];
    int32_t index_[4] = {-1, -1, -1, -1};
};

template <class T, int C>
void AreaResample(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, double MaxValue, const TIEProgressEvent& OnProgress,
                  cl::TObject* Sender) {
    const int32_t SW = Source->GetWidth(), SH = Source->GetHeight(), DW = Dest->GetWidth(), DH = Dest->GetHeight();
    const double gx = static_cast<double>(SW) / DW, gy = static_cast<double>(SH) / DH;
    const bool ix = gx < 1, iy = gy < 1;
    const std::vector<std::vector<Piece>> xs = CutAxis(SW, DW), ys = CutAxis(SH, DH);
    RowWindow<T> window(Source, static_cast<size_t>(SW) * C);
    std::vector<double> sums(static_cast<size_t>(DW) * C);
    std::vector<T> out(static_cast<size_t>(DW) * C);
    auto col = [&](int32_t x) { return std::clamp(x, 0, SW - 1); };
    auto rowAt = [&](int32_t y) { return window.Row(std::clamp(y, 0, SH - 1)); };
    auto cubic = [&](double p0, double p1, double p2, double x, double p3) {
        return IECubicInterpolate(static_cast<int32_t>(p0), static_cast<int32_t>(p1), static_cast<int32_t>(p2), x,
                                  static_cast<int32_t>(p3), 0, MaxValue);
    };
    for (int32_t j = 0; j < DH; ++j) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (const Piece& py : ys[j]) {
            const int32_t y = py.src;
            const double G = py.end;
            const T* rows[4] = {rowAt(y - 1), rowAt(y), rowAt(y + 1), rowAt(y + 2)};
            // rowAt may reload a slot; the four rows are distinct indices (consecutive,
            // clamped), so they live in distinct slots.
            for (int32_t i = 0; i < DW; ++i) {
                for (const Piece& px : xs[i]) {
                    const int32_t x = px.src;
                    const double L = px.end;
                    const double w = px.length * py.length;
                    const size_t c0 = static_cast<size_t>(x) * C, cr = static_cast<size_t>(col(x + 1)) * C;
                    const size_t cl1 = static_cast<size_t>(col(x - 1)) * C, cr2 = static_cast<size_t>(col(x + 2)) * C;
                    for (int c = 0; c < C; ++c) {
                        double v;
                        const double pc = rows[1][c0 + c];
                        if (Mode == 0) {
                            const double pr = rows[1][cr + c], pd = rows[2][c0 + c], pdr = rows[2][cr + c];
                            if (ix && iy)
                                v = (1 - G) * ((1 - L) * pc + L * pr) + G * ((1 - L) * pd + L * pdr);
                            else if (ix)
                                v = (1 - L) * pc + L * pr;
                            else if (iy)
                                v = (1 - G) * pc + G * pd;
                            else
                                v = pc;
                        } else {
                            if (ix && iy) {
                                double r4[4];
                                for (int k = 0; k < 4; ++k)
                                    r4[k] = std::nearbyint(
                                        cubic(rows[k][cl1 + c], rows[k][c0 + c], rows[k][cr + c], L, rows[k][cr2 + c]));
                                v = cubic(r4[0], r4[1], r4[2], G, r4[3]);
                            } else if (ix) {
                                v = cubic(rows[1][cl1 + c], pc, rows[1][cr + c], L, rows[1][cr2 + c]);
                            } else if (iy) {
                                v = cubic(rows[0][c0 + c], pc, rows[2][c0 + c], G, rows[3][c0 + c]);
                            } else {
                                v = pc;
                            }
                        }
                        sums[static_cast<size_t>(i) * C + c] += w * v;
                    }
                }
            }
        }
        const double area = gx * gy;
        for (size_t k = 0; k < sums.size(); ++k)
            out[k] = static_cast<T>(std::clamp(std::nearbyint(sums[k] / area), 0.0, MaxValue));
        if (void* d = Dest->GetScanline(j)) std::memcpy(d, out.data(), out.size() * sizeof(T));
        if (OnProgress) OnProgress(Sender, static_cast<int32_t>(static_cast<double>(j + 1) / DH * 100));
    }
}

// Area integration of a three-channel format and its one-channel kind; other formats are
// left alone.
template <class T>
void AreaResampleFormats(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, TIEPixelFormat Colour, TIEPixelFormat Grey,
                         const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    if (!Usable(Source, Dest)) return;
    const TIEPixelFormat f = Source->GetPixelFormat();
    if ((f != Colour && f != Grey) || !PrepareDest(Dest, f)) return;
    constexpr double max = std::numeric_limits<T>::max();
    if (f == Colour)
        AreaResample<T, 3>(Source, Dest, Mode, max, OnProgress, Sender);
    else
        AreaResample<T, 1>(Source, Dest, Mode, max, OnProgress, Sender);
}

// The kernel resampler's parameters for Source into Dest (rows still to be given).
TResampleParams KernelParams(TIEBitmap* Source, TIEBitmap* Dest, int32_t Channels, TResampleFilter Filter,
                             int32_t ThreadCount) {
    TResampleParams p;
    p.ThreadCount = ThreadCount;
    p.Channels = Channels;
    p.SrcWidth = Source->GetWidth();
    p.SrcHeight = Source->GetHeight();
    p.DstWidth = Dest->GetWidth();
    p.DstHeight = Dest->GetHeight();
    p.Filter = Filter;
    return p;
}

void FillFromSinglePixel(TIEBitmap* Source, TIEBitmap* Dest) {
    const TIEPixelFormat f = Source->GetPixelFormat();
    if (f == ie24RGB || f == ie8g) {
        if (!PrepareDest(Dest, f)) return;
        const auto* p = static_cast<const uint8_t*>(Source->GetScanline(0));
        if (!p) return;
        const uint8_t px[3] = {p[0], f == ie24RGB ? p[1] : uint8_t{0}, f == ie24RGB ? p[2] : uint8_t{0}};
        FillWith(Dest, px, f == ie24RGB ? 3 : 1);
        return;
    }
    const TRGB c = f == ie1g
                       ? (GetBit(static_cast<const uint8_t*>(Source->GetScanline(0)), 0) ? CreateRGB(255, 255, 255)
                                                                                         : CreateRGB(0, 0, 0))
                       : Source->GetPixelRGB(0, 0);
    if (!PrepareDest(Dest, ie24RGB)) return;
    const uint8_t px[3] = {c.b, c.g, c.r};
    FillWith(Dest, px, 3);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Nearest neighbour

void IEResampleNearest(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender, const TIEProgressEvent& OnProgress) {
    if (!Usable(Source, Dest)) return;
    const TIEPixelFormat f = Source->GetPixelFormat();
    if (f == ieNone || !PrepareDest(Dest, f)) return;
    const int32_t SW = Source->GetWidth(), SH = Source->GetHeight(), DW = Dest->GetWidth(), DH = Dest->GetHeight();
    AccessScope ra(Source, ieaRead), wa(Dest, ieaWrite);
    std::vector<int32_t> cols(static_cast<size_t>(DW));
    for (int32_t i = 0; i < DW; ++i) cols[i] = std::min(static_cast<int32_t>(static_cast<double>(SW) / DW * i), SW - 1);
    const int32_t bytes = Source->GetBitCount() / 8;
    const size_t rowLen = static_cast<size_t>(Dest->GetRowLen());
    std::vector<uint8_t> out(rowLen);
    Progress progress(OnProgress, Sender);
    for (int32_t j = 0; j < DH; ++j) {
        const int32_t sr = std::min(static_cast<int32_t>(static_cast<double>(SH) / DH * j), SH - 1);
        const auto* src = static_cast<const uint8_t*>(Source->GetScanline(sr));
        if (src) {
            std::fill(out.begin(), out.end(), uint8_t{0});
            if (f == ie1g) {
                for (int32_t i = 0; i < DW; ++i) PutBit(out.data(), i, GetBit(src, cols[i]));
            } else {
                for (int32_t i = 0; i < DW; ++i)
                    std::memcpy(out.data() + static_cast<size_t>(i) * bytes, src + static_cast<size_t>(cols[i]) * bytes,
                                static_cast<size_t>(bytes));
            }
            if (auto* d = static_cast<uint8_t*>(Dest->GetScanline(j))) std::memcpy(d, out.data(), rowLen);
        }
        progress(static_cast<int32_t>(j * 100 / (DH + 0.5)));
    }
    if (f == ie8p) Source->CopyPaletteTo(Dest);
}

// ---------------------------------------------------------------------------------------
// Fixed-point linear

void IEResampleFastLinear24(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender,
                            const TIEProgressEvent& OnProgress) {
    FastLinear<3>(Source, Dest, ie24RGB, Sender, OnProgress);
}

void IEResampleGray8Linear(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender,
                           const TIEProgressEvent& OnProgress) {
    FastLinear<1>(Source, Dest, ie8g, Sender, OnProgress);
}

void IEResample1BitLinear(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender, const TIEProgressEvent& OnProgress) {
    if (!Usable(Source, Dest) || Source->GetPixelFormat() != ie1g) return;
    const int32_t SW = Source->GetWidth(), SH = Source->GetHeight(), DW = Dest->GetWidth(), DH = Dest->GetHeight();
    if (SW == DW && SH == DH) {
        Dest->Assign(Source);
        return;
    }
    if (DW < SW && DH < SH) {
        IEBoxResample1BitTo24(Source, 0, 0, SW - 1, SH - 1, Dest);
        return;
    }
    if (!PrepareDest(Dest, ie24RGB)) return;
    std::vector<uint8_t> unpacked(static_cast<size_t>(SW));
    Progress progress(OnProgress, Sender, true);
    LinearResample<1>(
        SW, SH, DW, DH, true,
        [&](int32_t r) -> const uint8_t* {
            const auto* p = static_cast<const uint8_t*>(Source->GetScanline(r));
            if (!p) return nullptr;
            UnpackBits(p, SW, unpacked.data());
            return unpacked.data();
        },
        [&](int32_t j, const uint8_t* row) {
            if (auto* d = static_cast<uint8_t*>(Dest->GetScanline(j))) WriteGrey24(d, row, DW);
        },
        progress);
}

void IEBoxResample1BitTo24(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest) {
    if (!Usable(Source, Dest) || Source->GetPixelFormat() != ie1g) return;
    const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
    X1 = std::clamp(X1, 0, SW - 1);
    X2 = std::clamp(X2, 0, SW - 1);
    Y1 = std::clamp(Y1, 0, SH - 1);
    Y2 = std::clamp(Y2, 0, SH - 1);
    if (X2 < X1 || Y2 < Y1 || !PrepareDest(Dest, ie24RGB)) return;
    const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
    const double fx = static_cast<double>(X2 - X1 + 1) / DW, fy = static_cast<double>(Y2 - Y1 + 1) / DH;
    std::vector<int32_t> c1(static_cast<size_t>(DW)), c2(static_cast<size_t>(DW));
    for (int32_t j = 0; j < DW; ++j) {
        c1[j] = std::clamp(X1 + static_cast<int32_t>(fx * j - fx / 2), 0, SW - 1);
        c2[j] = std::clamp(X1 + static_cast<int32_t>(fx / 2 + fx * j), c1[j], SW - 1);
    }
    // Counts of set bits per source column over the rows of the destination row.
    std::vector<int32_t> counts(static_cast<size_t>(SW));
    std::vector<uint8_t> grey(static_cast<size_t>(DW));
    for (int32_t i = 0; i < DH; ++i) {
        const int32_t r1 = std::clamp(static_cast<int32_t>(fy * i - fy / 2), 0, SH - 1);
        const int32_t r2 = std::clamp(static_cast<int32_t>(std::trunc(fy) / 2 + fy * i), r1, SH - 1);
        const int32_t a = std::clamp(Y1 + r1, 0, SH - 1), b = std::clamp(Y1 + r2, a, SH - 1);
        std::fill(counts.begin(), counts.end(), 0);
        for (int32_t r = a; r <= b; ++r) {
            const auto* src = static_cast<const uint8_t*>(Source->GetScanline(r));
            if (!src) continue;
            for (int32_t x = 0; x < SW; ++x) counts[x] += GetBit(src, x) ? 1 : 0;
        }
        for (int32_t j = 0; j < DW; ++j) {
            int32_t set = 0;
            for (int32_t x = c1[j]; x <= c2[j]; ++x) set += counts[x];
            const int32_t n = (c2[j] - c1[j] + 1) * (b - a + 1);
            grey[j] = static_cast<uint8_t>(255 * set / n);
        }
        if (auto* d = static_cast<uint8_t*>(Dest->GetScanline(i))) WriteGrey24(d, grey.data(), DW);
    }
}

// ---------------------------------------------------------------------------------------
// Projection

void IEProject1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress,
                   cl::TObject* Sender) {
    if (!Source || Source->GetPixelFormat() != ie1g) return;
    Project(
        Source, Dest, WhiteWins, [WhiteWins](const uint8_t* row, int32_t x) { return GetBit(row, x) == WhiteWins; },
        OnProgress, Sender);
}

void IEProject24To1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress,
                       cl::TObject* Sender) {
    if (!Source || Source->GetPixelFormat() != ie24RGB) return;
    Project(
        Source, Dest, WhiteWins,
        [WhiteWins](const uint8_t* row, int32_t x) {
            const uint8_t* p = row + static_cast<size_t>(x) * 3;
            return WhiteWins ? p[0] > 128 && p[1] > 128 && p[2] > 128 : p[0] < 128 && p[1] < 128 && p[2] < 128;
        },
        OnProgress, Sender);
}

// ---------------------------------------------------------------------------------------
// Area integration

double IECubicInterpolate(int32_t P0, int32_t P1, int32_t P2, double X, int32_t P3, double Min, double Max) {
    auto k1 = [](double t) { return t * t * t - 2 * t * t + 1; };
    auto k2 = [](double t) { return -t * t * t + 5 * t * t - 8 * t + 4; };
    const double v =
        P0 * k2(std::fabs(X + 1)) + P1 * k1(std::fabs(X)) + P2 * k1(std::fabs(X - 1)) + P3 * k2(std::fabs(X - 2));
    return std::clamp(v, Min, Max);
}

void IEResampleInterpolated24(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, const TIEProgressEvent& OnProgress,
                              cl::TObject* Sender) {
    AreaResampleFormats<uint8_t>(Source, Dest, Mode, ie24RGB, ie8g, OnProgress, Sender);
}

void IEResampleInterpolated48(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, const TIEProgressEvent& OnProgress,
                              cl::TObject* Sender) {
    AreaResampleFormats<uint16_t>(Source, Dest, Mode, ieRGB48, ie16g, OnProgress, Sender);
}

// ---------------------------------------------------------------------------------------
// The filtered resampler and the dispatcher

int32_t IEResampleThreadCount(TIEBitmap* Source) {
    return Source && Source->GetLocation() == ieFile ? 1 : IEProcessorCoreCount();
}

void IEResampleFiltered(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                        cl::TObject* Sender) {
    if (!Usable(Source, Dest) || Filter == rfNone || Filter > rfProjectWB) return;
    const TIEPixelFormat f = Source->GetPixelFormat();
    if (f == ie1g || f == ieNone) return;
    if (Source->GetWidth() <= 1 && Source->GetHeight() <= 1) {
        FillFromSinglePixel(Source, Dest);
        return;
    }
    if (Filter == rfBilinear || Filter == rfBicubic) {
        const int32_t mode = Filter == rfBilinear ? 0 : 1;
        if (f == ie24RGB || f == ie8g) {
            IEResampleInterpolated24(Source, Dest, mode, OnProgress, Sender);
            return;
        }
        if (f == ieRGB48 || f == ie16g) {
            IEResampleInterpolated48(Source, Dest, mode, OnProgress, Sender);
            return;
        }
        Filter = rfTriangle;
    }
    if (f == ie8g) {
        IEResampleGray8(Source, Dest, Filter);
        return;
    }
    TIEBitmap* src = Source;
    std::unique_ptr<TIEBitmap> copy;
    if (f != ie24RGB) {
        copy = TIEBitmap::CreateWithSize(Source->GetWidth(), Source->GetHeight(), ie24RGB);
        if (copy->GetWidth() != Source->GetWidth() || copy->GetHeight() != Source->GetHeight()) return;
        copy->CopyAndConvertFormat(Source);
        src = copy.get();
    }
    if (!PrepareDest(Dest, ie24RGB)) return;
    switch (Filter) {
        case rfFastLinear: IEResampleFastLinear24(src, Dest, Sender, OnProgress); return;
        case rfProjectBW: IEProject24To1Bit(src, Dest, false, OnProgress, Sender); return;
        case rfProjectWB: IEProject24To1Bit(src, Dest, true, OnProgress, Sender); return;
        default: break;
    }
    if (!IEIsKernelFilter(Filter)) return;

    TResampleParams p = KernelParams(src, Dest, 3, Filter, IEResampleThreadCount(src));
    // Rows of memory and TBitmap storage are found here, before the workers start: they
    // then only read plain addresses. A file-located bitmap maps one row at a time on its
    // single worker while this thread waits.
    std::vector<const uint8_t*> rows;
    if (src->GetLocation() != ieFile) {
        rows.resize(static_cast<size_t>(p.SrcHeight));
        for (int32_t r = 0; r < p.SrcHeight; ++r) rows[r] = static_cast<const uint8_t*>(src->GetScanline(r));
        p.SourceRow = [&rows](int32_t r) { return rows[static_cast<size_t>(r)]; };
    } else {
        p.SourceRow = [src](int32_t r) { return static_cast<const uint8_t*>(src->GetScanline(r)); };
    }
    p.DestRow = [Dest](int32_t r) { return static_cast<uint8_t*>(Dest->GetScanline(r)); };
    if (OnProgress) p.OnProgress = [&OnProgress, Sender](int32_t per) { OnProgress(Sender, per); };
    IEResampleKernelRows(p);
}

void IEResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
    if (!Usable(Source, Dest) || Source->GetPixelFormat() != ie8g) return;
    if (Source->GetWidth() <= 1 && Source->GetHeight() <= 1) {
        FillFromSinglePixel(Source, Dest);
        return;
    }
    switch (Filter) {
        case rfFastLinear:
        case rfBilinear:
        case rfBicubic:
        case rfProjectBW:
        case rfProjectWB: IEResampleGray8Linear(Source, Dest, nullptr, {}); return;
        default: break;
    }
    if (!IEIsKernelFilter(Filter) || !PrepareDest(Dest, ie8g)) return;
    TResampleParams p = KernelParams(Source, Dest, 1, Filter, 0);
    p.SourceRow = [Source](int32_t r) { return static_cast<const uint8_t*>(Source->GetScanline(r)); };
    p.DestRow = [Dest](int32_t r) { return static_cast<uint8_t*>(Dest->GetScanline(r)); };
    IEResampleKernelRows(p);
}

void IEResample1Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
    if (!Usable(Source, Dest) || Source->GetPixelFormat() != ie1g) return;
    switch (Filter) {
        case rfFastLinear:
        case rfBilinear:
        case rfBicubic: IEResample1BitLinear(Source, Dest, nullptr, {}); return;
        case rfProjectBW: IEProject1Bit(Source, Dest, false, {}, nullptr); return;
        case rfProjectWB: IEProject1Bit(Source, Dest, true, {}, nullptr); return;
        default: break;
    }
    if (!IEIsKernelFilter(Filter)) return;
    if (Source->GetWidth() <= 1 && Source->GetHeight() <= 1) {
        FillFromSinglePixel(Source, Dest);
        return;
    }
    if (!PrepareDest(Dest, ie24RGB)) return;
    const int32_t SW = Source->GetWidth(), DW = Dest->GetWidth();
    std::vector<uint8_t> unpacked(static_cast<size_t>(SW)), grey(static_cast<size_t>(DW));
    int32_t pending = -1;  // the destination row whose grey values wait in grey
    auto flush = [&] {
        if (pending < 0) return;
        if (auto* d = static_cast<uint8_t*>(Dest->GetScanline(pending))) WriteGrey24(d, grey.data(), DW);
        pending = -1;
    };
    TResampleParams p = KernelParams(Source, Dest, 1, Filter, 0);
    p.SourceRow = [&](int32_t r) -> const uint8_t* {
        const auto* b = static_cast<const uint8_t*>(Source->GetScanline(r));
        if (!b) return nullptr;
        UnpackBits(b, SW, unpacked.data());
        return unpacked.data();
    };
    p.DestRow = [&](int32_t r) {
        flush();
        pending = r;
        return grey.data();
    };
    IEResampleKernelRows(p);
    flush();
}

void IEResampleBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                      cl::TObject* Sender) {
    if (!Usable(Source, Dest)) return;
    const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
    if (Source->GetWidth() == DW && Source->GetHeight() == DH) {
        Dest->Assign(Source);
        return;
    }
    if (Filter == rfNone) {
        IEResampleNearest(Source, Dest, Sender, OnProgress);
    } else if (Source->GetPixelFormat() == ie1g) {
        const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
        if (!PrepareDest(Dest, project ? ie1g : ie24RGB)) return;
        IEResample1Bit(Source, Dest, Filter);
    } else {
        IEResampleFiltered(Source, Dest, Filter, OnProgress, Sender);
    }
    if (Source->HasAlphaChannel()) {
        TIEBitmap* sa = Source->GetAlphaChannel();
        TIEBitmap* da = Dest->GetAlphaChannel();
        if (!sa || !da) return;
        if ((da->GetWidth() != DW || da->GetHeight() != DH) && !da->Allocate(DW, DH, ie8g)) return;
        if (Filter == rfNone)
            IEResampleNearest(sa, da, nullptr, {});
        else
            IEResampleGray8(sa, da, Filter);
        da->Full = sa->Full;
    }
}

bool IEResampleNewSize(int32_t Width, int32_t Height, int32_t NewWidth, int32_t NewHeight, int32_t& OutWidth,
                       int32_t& OutHeight) {
    if (Width < 1 || Height < 1 || (NewWidth < 0 && NewHeight < 0)) return false;
    auto magnitude = [](int32_t v) { return v == INT32_MIN ? INT32_MAX : -v; };
    int64_t w;
    if (NewWidth == -1)
        w = static_cast<int64_t>(NewHeight) * Width / Height;
    else if (NewWidth < 0)
        w = magnitude(NewWidth);
    else if (NewWidth == 0)
        w = Width;
    else
        w = NewWidth;
    w = std::clamp<int64_t>(w, 1, INT32_MAX);
    int64_t h;
    if (NewHeight == -1)
        h = w * Height / Width;
    else if (NewHeight < 0)
        h = magnitude(NewHeight);
    else if (NewHeight == 0)
        h = Height;
    else
        h = NewHeight;
    h = std::clamp<int64_t>(h, 1, INT32_MAX);
    OutWidth = static_cast<int32_t>(w);
    OutHeight = static_cast<int32_t>(h);
    return true;
}

bool IEResampleTo(TIEBitmap* Source, TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter,
                  const TIEProgressEvent& OnProgress, cl::TObject* Sender) {
    int32_t w = 0, h = 0;
    if (!Source || !Dest || Source == Dest ||
        !IEResampleNewSize(Source->GetWidth(), Source->GetHeight(), NewWidth, NewHeight, w, h))
        return false;
    Dest->FreeImage(true);
    if (!Dest->Allocate(w, h, Source->GetPixelFormat())) return false;
    IEResampleBitmap(Source, Dest, Filter, OnProgress, Sender);
    return true;
}

}  // namespace ie
