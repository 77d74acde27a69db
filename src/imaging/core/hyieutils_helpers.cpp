#include "imaging/core/hyieutils_helpers.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Memory

namespace {

constexpr uint64_t kSystemBlockSize = 1048576;  // from here on blocks come from the system

// Every block of IEAutoAlloc starts with this header; the caller's bytes follow it, so the
// address handed out stays 16-aligned.
struct AutoHeader {
    uint8_t tag;  // 0 memory manager, 1 system
    uint8_t pad[7];
    uint64_t total;  // bytes mapped for a system block, header included
};
static_assert(sizeof(AutoHeader) == 16);

std::atomic<uint64_t> gAllocationLimit{0};

bool Refused(uint64_t size) {
    const uint64_t limit = gAllocationLimit.load(std::memory_order_relaxed);
    return limit != 0 && size > limit;
}

constexpr uint64_t kHugePage = uint64_t{2} << 20;  // the kernel's transparent huge page
constexpr uint64_t kPage = 4096;

// A zero-filled mapping. Blocks of several huge pages start on a huge-page boundary and ask
// for huge pages: a new picture's first write then takes one fault per 2 MiB instead of one
// per 4 KiB, which costs more than decoding into it (notably in virtual machines).
void* SystemBlock(uint64_t total) {
    if (total == 0 || total > (uint64_t{1} << 47)) return nullptr;
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS;
    if (total < 4 * kHugePage) {
        void* p = ::mmap(nullptr, static_cast<size_t>(total), PROT_READ | PROT_WRITE, flags, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    const uint64_t span = total + kHugePage;
    void* p = ::mmap(nullptr, static_cast<size_t>(span), PROT_READ | PROT_WRITE, flags, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<uintptr_t>(p);
    const uintptr_t start = (base + kHugePage - 1) & ~uintptr_t{kHugePage - 1};
    const uintptr_t end = start + ((total + kPage - 1) & ~uintptr_t{kPage - 1});
    // The unused head and tail go back; IEAutoFree unmaps the block from its start.
    if (start > base) ::munmap(p, start - base);
    if (base + span > end) ::munmap(reinterpret_cast<void*>(end), base + span - end);
    ::madvise(reinterpret_cast<void*>(start), static_cast<size_t>(end - start), MADV_HUGEPAGE);
    return reinterpret_cast<void*>(start);
}

}  // namespace

void IESetAllocationLimitForTesting(uint64_t Limit) { gAllocationLimit.store(Limit, std::memory_order_relaxed); }

void* IEAutoAlloc(uint64_t Size) {
    if (Refused(Size)) return nullptr;
    if (Size > UINT64_MAX - sizeof(AutoHeader)) return nullptr;
    const uint64_t total = Size + sizeof(AutoHeader);
    AutoHeader* h = nullptr;
    if (Size < kSystemBlockSize) {
        h = static_cast<AutoHeader*>(std::malloc(static_cast<size_t>(total)));
        if (h) {
            h->tag = 0;
            h->total = total;
            return h + 1;
        }
    }
    // Large blocks, and small ones the memory manager cannot give, come from the system
    // (zero-filled).
    h = static_cast<AutoHeader*>(SystemBlock(total));
    if (!h) return nullptr;
    h->tag = 1;
    h->total = total;
    return h + 1;
}

void IEAutoFree(void*& P) {
    if (!P) return;
    AutoHeader* h = static_cast<AutoHeader*>(P) - 1;
    if (h->tag == 1)
        ::munmap(h, static_cast<size_t>(h->total));
    else
        std::free(h);
    P = nullptr;
}

void* IEGlobalAllocZeroed(uint64_t Size) {
    if (Refused(Size) || Size > (uint64_t{1} << 47)) return nullptr;
    return win::GlobalAlloc(win::GPTR, static_cast<size_t>(Size));
}

void IEGlobalFreeAndNil(void*& P) {
    if (!P) return;
    win::GlobalFree(P);
    P = nullptr;
}

void IEGetMemOrNil(void*& P, uint64_t Size) {
    P = nullptr;
    if (Refused(Size) || Size == 0 || Size > (uint64_t{1} << 47)) return;
    P = std::malloc(static_cast<size_t>(Size));
}

// ---------------------------------------------------------------------------------------
// Text and numbers

void IEFloatToStrDot(cl::String& S, double Value) {
    S = cl::FloatToStr(Value);
    for (char& c : S)
        if (c == ',') c = '.';
}

cl::String IEFloatToStrDot(double Value) {
    cl::String s;
    IEFloatToStrDot(s, Value);
    return s;
}

cl::String IEFloatToStrDot2(double Value) { return IEFloatToStrDot(Value); }

void IEWriteBase64Text(cl::TStream* Stream, cl::TStream* Text, int32_t LineLength) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (!Stream || !Text) return;
    // A line holds the smallest whole number of groups not below LineLength / 4.
    int64_t groupsPerLine = (static_cast<int64_t>(std::max(LineLength, 0)) + 3) / 4;
    if (groupsPerLine < 1) groupsPerLine = 1;
    int64_t onLine = 0;
    cl::String out;
    uint8_t chunk[3 * 1024];
    int64_t have = 0, at = 0;
    auto next = [&](uint8_t& b) {
        if (at == have) {
            have = Stream->Read(chunk, sizeof(chunk));
            at = 0;
            if (have <= 0) {
                have = 0;
                return false;
            }
        }
        b = chunk[at++];
        return true;
    };
    for (;;) {
        uint8_t b[3] = {0, 0, 0};
        int n = 0;
        while (n < 3 && next(b[n])) ++n;
        if (n == 0) break;
        char g[4];
        g[0] = kAlphabet[b[0] >> 2];
        g[1] = kAlphabet[((b[0] & 3) << 4) | (b[1] >> 4)];
        g[2] = n >= 2 ? kAlphabet[((b[1] & 15) << 2) | (b[2] >> 6)] : '=';
        g[3] = n == 3 ? kAlphabet[b[2] & 63] : '=';
        out.append(g, 4);
        if (++onLine >= groupsPerLine) {
            out += "\r\n";
            onLine = 0;
        }
        if (out.size() >= 65536) {
            Text->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
            out.clear();
        }
        if (n < 3) break;
    }
    if (onLine > 0) out += "\r\n";
    if (!out.empty()) Text->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

void WriteStreamChecked(cl::TStream* Stream, bool& Error, const void* Buffer, int32_t Count) {
    if (Count <= 0) return;
    if (!Stream || !Buffer) {
        Error = true;
        return;
    }
    int64_t written = 0;
    try {
        written = Stream->Write(Buffer, Count);
    } catch (const std::exception&) {
        written = 0;
    }
    if (written < Count) Error = true;
}

void IEQuickSort(int32_t Count, const std::function<void(int32_t, int32_t)>& Swap,
                 const std::function<int32_t(int32_t, int32_t)>& Compare) {
    if (Count <= 1) return;
    // Recursive on the left part, iterative on the right; the pivot index follows the
    // element it names when that one is swapped.
    std::function<void(int32_t, int32_t)> sort = [&](int32_t L, int32_t R) {
        int32_t I;
        do {
            I = L;
            int32_t J = R, P = L + (R - L) / 2;
            do {
                while (Compare(I, P) < 0) ++I;
                while (Compare(J, P) > 0) --J;
                if (I <= J) {
                    if (I == P)
                        P = J;
                    else if (J == P)
                        P = I;
                    Swap(I, J);
                    ++I;
                    --J;
                }
            } while (I <= J);
            if (L < J) sort(L, J);
            L = I;
        } while (I < R);
    };
    sort(0, Count - 1);
}

// ---------------------------------------------------------------------------------------
// Platform

bool IEIsRemoteSession() { return win::GetSystemMetrics(win::SM_REMOTESESSION) != 0; }

namespace {

void SetScrollParts(win::HWND Wnd, int32_t Bar, win::UINT Mask, int32_t Min, int32_t Max, int32_t Page, int32_t Pos,
                    bool Redraw, bool Flat) {
    win::SCROLLINFO si;
    si.fMask = Mask;
    si.nMin = Min;
    si.nMax = Max;
    si.nPage = static_cast<win::UINT>(std::max(Page, 0));
    si.nPos = Pos;
    if (Flat)
        win::FlatSB_SetScrollInfo(Wnd, Bar, &si, Redraw);
    else
        win::SetScrollInfo(Wnd, Bar, &si, Redraw);
}

}  // namespace

void IESetScrollInfo(win::HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw,
                     bool Flat) {
    SetScrollParts(Wnd, Bar, win::SIF_RANGE | win::SIF_PAGE | win::SIF_POS, Min, Max, Page, Pos, Redraw, Flat);
}

void IESetScrollRange(win::HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat) {
    SetScrollParts(Wnd, Bar, win::SIF_RANGE, Min, Max, 0, 0, Redraw, Flat);
}

void IESetScrollPos(win::HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw, bool Flat) {
    SetScrollParts(Wnd, Bar, win::SIF_POS, 0, 0, 0, Pos, Redraw, Flat);
}

void IEEnableScrollBar(win::HWND Wnd, int32_t Bar, int32_t Arrows, bool Flat) {
    if (Flat)
        win::FlatSB_EnableScrollBar(Wnd, Bar, static_cast<win::UINT>(Arrows));
    else
        win::EnableScrollBar(Wnd, static_cast<win::UINT>(Bar), static_cast<win::UINT>(Arrows));
}

void IEShowScrollBar(win::HWND Wnd, int32_t Bar, bool Show, bool Flat) {
    if (Flat)
        win::FlatSB_ShowScrollBar(Wnd, Bar, Show);
    else
        win::ShowScrollBar(Wnd, Bar, Show);
}

// ---------------------------------------------------------------------------------------
// Pixels

void IESetGrayPalette(cl::TBitmap* Bitmap) {
    if (!Bitmap || Bitmap->GetPixelFormat() != cl::pf8bit) return;
    std::vector<win::RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        table[static_cast<size_t>(i)] = win::RGBQUAD{v, v, v, 0};
    }
    Bitmap->SetColorTable(table);
}

bool IEIsGrayPalette(cl::TBitmap* Bitmap) {
    if (!Bitmap) return false;
    const auto& table = Bitmap->GetColorTable();
    if (table.empty()) return false;
    for (size_t i = 0; i < table.size(); ++i) {
        const auto& q = table[i];
        if (q.rgbRed != i || q.rgbGreen != i || q.rgbBlue != i) return false;
    }
    return true;
}

void IECopyVclPalette(cl::TBitmap* Bitmap, TIEBitmap* Dest) {
    if (!Bitmap || !Dest || Bitmap->GetPixelFormat() != cl::pf8bit || Dest->GetPixelFormat() != ie8p) return;
    const auto& table = Bitmap->GetColorTable();
    for (size_t i = 0; i < table.size() && i < 256; ++i)
        Dest->SetPaletteEntry(static_cast<int32_t>(i), TRGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed});
}

void IEYCbCrToRGB(TRGB& Color, int32_t Y, int32_t Cb, int32_t Cr) {
    auto clamp = [](double v) {
        const int64_t t = cl::Trunc(v);
        return static_cast<uint8_t>(std::clamp<int64_t>(t, 0, 255));
    };
    Color.r = clamp(Y + 1.402 * (Cr - 128));
    Color.g = clamp(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128));
    Color.b = clamp(Y + 1.772 * (Cb - 128));
}

// ---------------------------------------------------------------------------------------
// EXIF orientation

namespace {

inline void IESetBitLocal(uint8_t* row, int64_t i, bool v) {
    const uint8_t m = static_cast<uint8_t>(0x80 >> (i & 7));
    if (v)
        row[i >> 3] |= m;
    else
        row[i >> 3] &= static_cast<uint8_t>(~m);
}

// One pixel of Bits bits at column X of a row, copied to column DX of another row.
inline void CopyPixel(const uint8_t* src, int64_t x, uint8_t* dst, int64_t dx, int32_t bits) {
    if (bits == 1) {
        IESetBitLocal(dst, dx, (src[x >> 3] & (0x80 >> (x & 7))) != 0);
        return;
    }
    const size_t n = static_cast<size_t>(bits / 8);
    std::memcpy(dst + static_cast<size_t>(dx) * n, src + static_cast<size_t>(x) * n, n);
}

void FlipLeftRight(TIEBitmap* b) {
    const int32_t w = b->GetWidth(), h = b->GetHeight(), bits = b->GetBitCount();
    if (w <= 1 || bits <= 0) return;
    std::vector<uint8_t> copy(static_cast<size_t>(b->GetRowLen()));
    for (int32_t y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(b->MapRow(y));
        if (!row) continue;
        std::memcpy(copy.data(), row, copy.size());
        for (int32_t x = 0; x < w; ++x) CopyPixel(copy.data(), x, row, w - 1 - x, bits);
        b->UnmapRow(row);
    }
}

void FlipUpsideDown(TIEBitmap* b) {
    const int32_t h = b->GetHeight();
    const size_t len = static_cast<size_t>(b->GetRowLen());
    std::vector<uint8_t> tmp(len);
    for (int32_t y = 0; y < h / 2; ++y) {
        auto* top = static_cast<uint8_t*>(b->MapRow(y));
        auto* bottom = static_cast<uint8_t*>(b->MapRow(h - 1 - y));
        if (top && bottom) {
            std::memcpy(tmp.data(), top, len);
            std::memcpy(top, bottom, len);
            std::memcpy(bottom, tmp.data(), len);
        }
        b->UnmapRow(bottom);
        b->UnmapRow(top);
    }
}

// Rotates a quarter turn: clockwise (the EXIF "-90") or counter-clockwise ("+90").
// Destination row r is source column r (clockwise: read bottom to top).
bool RotateQuarter(TIEBitmap* b, bool clockwise) {
    const int32_t w = b->GetWidth(), h = b->GetHeight(), bits = b->GetBitCount();
    if (w <= 0 || h <= 0 || bits <= 0) return true;
    TIEBitmap rotated;
    rotated.SetLocation(b->GetLocation() == ieTBitmap ? ieMemory : b->GetLocation());
    rotated.MinFileSize = b->MinFileSize;
    if (!rotated.Allocate(h, w, b->GetPixelFormat())) return false;
    b->CopyPaletteTo(&rotated);
    const TIEBitmapAccess saved = rotated.Access;
    rotated.Access = ieaRead | ieaWrite;
    // Destination rows are filled a block at a time, each source row read once per block.
    constexpr int32_t kBlock = 64;
    std::vector<uint8_t*> dst;
    for (int32_t c0 = 0; c0 < w; c0 += kBlock) {
        const int32_t c1 = std::min(w, c0 + kBlock);
        dst.clear();
        for (int32_t r = c0; r < c1; ++r) {
            // Destination row r shows source column (clockwise) r, (counter-clockwise) w-1-r.
            dst.push_back(static_cast<uint8_t*>(rotated.MapRow(r)));
        }
        for (int32_t y = 0; y < h; ++y) {
            auto* src = static_cast<const uint8_t*>(b->MapRow(y));
            if (src) {
                const int32_t dx = clockwise ? h - 1 - y : y;
                for (int32_t r = c0; r < c1; ++r) {
                    uint8_t* d = dst[static_cast<size_t>(r - c0)];
                    if (d) CopyPixel(src, clockwise ? r : w - 1 - r, d, dx, bits);
                }
            }
            b->UnmapRow(const_cast<uint8_t*>(src));
        }
        for (uint8_t* d : dst) rotated.UnmapRow(d);
    }
    rotated.Access = saved;
    b->AssignImage(&rotated);
    return b->GetWidth() == h && b->GetHeight() == w;
}

// False when a rotation could not get its storage (the image is then unchanged).
bool Transform(TIEBitmap* b, int32_t orientation) {
    switch (orientation) {
        case 2: FlipLeftRight(b); return true;
        case 3:
            FlipUpsideDown(b);
            FlipLeftRight(b);
            return true;
        case 4: FlipUpsideDown(b); return true;
        case 5:
            if (!RotateQuarter(b, true)) return false;
            FlipLeftRight(b);
            return true;
        case 6: return RotateQuarter(b, true);
        case 7:
            if (!RotateQuarter(b, false)) return false;
            FlipLeftRight(b);
            return true;
        case 8: return RotateQuarter(b, false);
        default: return true;
    }
}

// The orientation that undoes another.
int32_t Inverse(int32_t orientation) {
    if (orientation == 6) return 8;
    if (orientation == 8) return 6;
    return orientation;
}

}  // namespace

void IEApplyEXIFOrientation(TIEBitmap* Bitmap, int32_t Orientation) {
    if (!Bitmap || Orientation < 2 || Orientation > 8 || Bitmap->IsEmpty()) return;
    // The alpha channel turns first, so that it already has the new size when the image
    // takes it; it turns back when the image cannot.
    TIEBitmap* alpha = Bitmap->HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
    if (alpha && !Transform(alpha, Orientation)) return;
    if (!Transform(Bitmap, Orientation) && alpha) Transform(alpha, Inverse(Orientation));
}

}  // namespace ie
