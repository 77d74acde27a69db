// Bitmaps and DIB sections: allocation, pixel formats, colour matching and the DIB
// transfer calls.
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/gdi_internal.h"

namespace win::gdi {

uintptr_t StockBitmapHandle();

namespace {

constexpr size_t kMapFrom = size_t{4} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

// Mapped blocks given back are kept for the next picture of about the same size (a slide
// show frees the pictures of one slide change, the decoded slide and the transition's
// bitmaps, and makes the same again at the next): taking one back saves the system's
// clearing and mapping of fresh pages. At most eight blocks, 256 MiB in all.
class BlockCache {
public:
    // A kept block of at least `bytes` that wastes at most a quarter; null when none.
    uint8_t* Take(size_t bytes, size_t* mapped) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
            if (it->second >= bytes && it->second - bytes <= bytes / 4 + kHugePage) {
                uint8_t* p = it->first;
                *mapped = it->second;
                total_ -= it->second;
                blocks_.erase(it);
                return p;
            }
        }
        return nullptr;
    }
    // Keeps the block, or unmaps it (or an older one) when the cache is full.
    void Give(uint8_t* p, size_t mapped) {
        std::vector<std::pair<uint8_t*, size_t>> drop;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (mapped > kBytes) {
                drop.emplace_back(p, mapped);
            } else {
                blocks_.emplace_back(p, mapped);
                total_ += mapped;
                while (blocks_.size() > kBlocks || total_ > kBytes) {
                    drop.push_back(blocks_.front());
                    total_ -= blocks_.front().second;
                    blocks_.erase(blocks_.begin());
                }
            }
        }
        for (auto& [q, n] : drop) munmap(q, n);
    }

private:
    static constexpr size_t kBlocks = 8;
    static constexpr size_t kBytes = size_t{256} << 20;
    std::mutex mutex_;
    std::vector<std::pair<uint8_t*, size_t>> blocks_;  // oldest first
    size_t total_ = 0;
};

BlockCache& Cache() {
    // Never destroyed: bitmaps may still be freed while the program exits.
    static BlockCache* cache = new BlockCache;
    return *cache;
}

// A mapping of at least `bytes` that starts on a huge-page boundary; null on failure.
uint8_t* MapAligned(size_t bytes, size_t* mapped) {
    const size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    // Give back the unaligned head and the tail beyond the aligned block.
    if (aligned > start) munmap(raw, aligned - start);
    const size_t tail = start + length + kHugePage - (aligned + length);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
    *mapped = length;
    return reinterpret_cast<uint8_t*>(aligned);
}

}  // namespace

void PixelRelease::operator()(uint8_t* p) const {
    if (!p) return;
    if (mapped)
        Cache().Give(p, mapped);
    else
        std::free(p);
}

// Under AddressSanitizer every block comes from the ordinary allocator, so that an overrun
// of a large picture is caught like that of a small one.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif
#else
constexpr bool kMapLargeBlocks = true;
#endif

PixelStorage AllocPixels(size_t bytes, bool zeroed) {
    if (bytes == 0) return nullptr;
    if (kMapLargeBlocks && bytes >= kMapFrom) {
        size_t mapped = 0;
        if (uint8_t* p = Cache().Take(bytes, &mapped)) {
            if (zeroed) std::memset(p, 0, bytes);
            return PixelStorage(p, PixelRelease{mapped});
        }
        if (uint8_t* p = MapAligned(bytes, &mapped)) return PixelStorage(p, PixelRelease{mapped});
    }
    void* p = zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
    return PixelStorage(static_cast<uint8_t*>(p), PixelRelease{});
}

namespace {

Fmt FormatFor(int bpp, bool is565) {
    switch (bpp) {
        case 1: return Fmt::I1;
        case 4: return Fmt::I4;
        case 8: return Fmt::I8;
        case 16: return is565 ? Fmt::R565 : Fmt::X555;
        case 24: return Fmt::B24;
        default: return Fmt::B32;
    }
}

inline uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
inline uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }

// The colour table GetDIBits writes for an indexed request from a bitmap without a
// usable table: black and white; the 16 standard colours; a 6x6x6 cube and 40 greys.
std::vector<RGBQUAD> DefaultTable(int bpp) {
    std::vector<RGBQUAD> t;
    auto add = [&](int r, int g, int b) {
        RGBQUAD q;
        q.rgbRed = static_cast<BYTE>(r);
        q.rgbGreen = static_cast<BYTE>(g);
        q.rgbBlue = static_cast<BYTE>(b);
        t.push_back(q);
    };
    if (bpp == 1) {
        add(0, 0, 0);
        add(255, 255, 255);
    } else if (bpp == 4) {
        static const int vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                       {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                       {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                       {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (auto& c : vga) add(c[0], c[1], c[2]);
    } else {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) add(r * 51, g * 51, b * 51);
        for (int k = 0; k < 40; ++k) {
            int v = (k * 255 + 19) / 39;
            add(v, v, v);
        }
    }
    return t;
}

}  // namespace

std::shared_ptr<BitmapObj> NewBitmap(int width, int height, int bpp, bool topDown, bool dib, bool bitfields565) {
    if (width <= 0 || height <= 0) return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
    uint64_t stride = ((static_cast<uint64_t>(width) * static_cast<uint64_t>(bpp) + 31) / 32) * 4;
    uint64_t bytes = stride * static_cast<uint64_t>(height);
    if (bytes == 0 || bytes > kMaxBitmapBytes) return nullptr;
    auto bm = std::make_shared<BitmapObj>();
    bm->kind = HandleKind::Bitmap;
    bm->width = width;
    bm->height = height;
    bm->bpp = bpp;
    bm->fmt = FormatFor(bpp, bitfields565);
    bm->topDown = topDown;
    bm->dib = dib;
    bm->stride = static_cast<long>(stride);
    bm->storage = AllocPixels(static_cast<size_t>(bytes), true);
    if (!bm->storage) return nullptr;
    bm->bits = bm->storage.get();
    if (bpp <= 8) bm->colors.assign(size_t{1} << bpp, RGBQUAD{});
    if (bpp == 16 && bitfields565) {
        bm->compression = BI_BITFIELDS;
        bm->masks[0] = 0xF800;
        bm->masks[1] = 0x07E0;
        bm->masks[2] = 0x001F;
    }
    return bm;
}

bool ParseBitmapInfo(const BITMAPINFO* bmi, UINT usage, const std::vector<PALETTEENTRY>* palette, int* width,
                     int* height, int* bpp, bool* topDown, bool* is565, std::vector<RGBQUAD>* table) {
    if (!bmi) return false;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > 1024) return false;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
    int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    *width = h.biWidth;
    *height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    *topDown = h.biHeight < 0;
    *bpp = bits;
    *is565 = false;
    const uint8_t* base = reinterpret_cast<const uint8_t*>(bmi);
    size_t tableOffset = h.biSize;
    if (h.biCompression == BI_BITFIELDS) {
        if (bits != 16 && bits != 32) return false;
        DWORD m[3];
        std::memcpy(m, base + (h.biSize == sizeof(BITMAPINFOHEADER) ? h.biSize : sizeof(BITMAPINFOHEADER)), sizeof m);
        if (h.biSize == sizeof(BITMAPINFOHEADER)) tableOffset += sizeof m;
        if (bits == 16) {
            if (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) {
                *is565 = true;
            } else if (!(m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F)) {
                return false;
            }
        } else if (!(m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF)) {
            return false;
        }
    } else if (h.biCompression != BI_RGB) {
        return false;
    }
    table->clear();
    if (bits <= 8) {
        size_t n = size_t{1} << bits;
        if (h.biClrUsed != 0 && h.biClrUsed < n) n = h.biClrUsed;
        table->resize(n);
        for (size_t i = 0; i < n; ++i) {
            if (usage == DIB_PAL_COLORS) {
                WORD idx;
                std::memcpy(&idx, base + tableOffset + i * sizeof(WORD), sizeof idx);
                const auto& pal = palette ? *palette : DefaultPaletteEntries();
                PALETTEENTRY e = idx < pal.size() ? pal[idx] : PALETTEENTRY{};
                (*table)[i].rgbRed = e.peRed;
                (*table)[i].rgbGreen = e.peGreen;
                (*table)[i].rgbBlue = e.peBlue;
            } else {
                std::memcpy(&(*table)[i], base + tableOffset + i * sizeof(RGBQUAD), sizeof(RGBQUAD));
                (*table)[i].rgbReserved = 0;
            }
        }
    }
    return true;
}

std::shared_ptr<BitmapObj> ViewPackedDib(const BITMAPINFO* bmi, const void* bits, UINT usage,
                                         const std::vector<PALETTEENTRY>* palette, size_t rowsAvailable) {
    int w, h, bpp;
    bool topDown, is565;
    std::vector<RGBQUAD> table;
    if (!bits || !ParseBitmapInfo(bmi, usage, palette, &w, &h, &bpp, &topDown, &is565, &table)) return nullptr;
    uint64_t stride = ((static_cast<uint64_t>(w) * static_cast<uint64_t>(bpp) + 31) / 32) * 4;
    if (stride * static_cast<uint64_t>(h) > kMaxBitmapBytes) return nullptr;
    auto bm = std::make_shared<BitmapObj>();
    bm->kind = HandleKind::Bitmap;
    bm->width = w;
    bm->height = static_cast<int>(std::min<size_t>(static_cast<size_t>(h), rowsAvailable));
    if (bm->height <= 0) return nullptr;
    bm->bpp = bpp;
    bm->fmt = FormatFor(bpp, is565);
    bm->topDown = topDown;
    bm->stride = static_cast<long>(stride);
    bm->bits = static_cast<uint8_t*>(const_cast<void*>(bits));
    bm->colors = std::move(table);
    return bm;
}

// ------------------------------------------------------------------ raw pixels

void ReadRaw(const BitmapObj& bm, int y, int x0, int n, uint32_t* out) {
    const uint8_t* row = bm.Row(y);
    switch (bm.fmt) {
        case Fmt::I1:
            for (int i = 0; i < n; ++i) {
                int x = x0 + i;
                out[i] = (row[x >> 3] >> (7 - (x & 7))) & 1u;
            }
            break;
        case Fmt::I4:
            for (int i = 0; i < n; ++i) {
                int x = x0 + i;
                out[i] = (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
            }
            break;
        case Fmt::I8:
            for (int i = 0; i < n; ++i) out[i] = row[x0 + i];
            break;
        case Fmt::X555:
        case Fmt::R565:
            for (int i = 0; i < n; ++i) {
                const uint8_t* p = row + 2 * (x0 + i);
                out[i] = static_cast<uint32_t>(p[0] | (p[1] << 8));
            }
            break;
        case Fmt::B24:
            for (int i = 0; i < n; ++i) {
                const uint8_t* p = row + 3 * (x0 + i);
                out[i] = static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
            }
            break;
        case Fmt::B32: std::memcpy(out, row + 4 * x0, 4 * static_cast<size_t>(n)); break;
    }
}

void WriteRaw(BitmapObj& bm, int y, int x0, int n, const uint32_t* in) {
    uint8_t* row = bm.Row(y);
    switch (bm.fmt) {
        case Fmt::I1:
            for (int i = 0; i < n; ++i) {
                int x = x0 + i;
                uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
                if (in[i] & 1) {
                    row[x >> 3] |= bit;
                } else {
                    row[x >> 3] &= static_cast<uint8_t>(~bit);
                }
            }
            break;
        case Fmt::I4:
            for (int i = 0; i < n; ++i) {
                int x = x0 + i;
                uint8_t& b = row[x >> 1];
                b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (in[i] & 0x0F))
                            : static_cast<uint8_t>((b & 0x0F) | ((in[i] & 0x0F) << 4));
            }
            break;
        case Fmt::I8:
            for (int i = 0; i < n; ++i) row[x0 + i] = static_cast<uint8_t>(in[i]);
            break;
        case Fmt::X555:
        case Fmt::R565:
            for (int i = 0; i < n; ++i) {
                uint8_t* p = row + 2 * (x0 + i);
                uint32_t v = bm.fmt == Fmt::X555 ? (in[i] & 0x7FFF) : in[i];
                p[0] = static_cast<uint8_t>(v);
                p[1] = static_cast<uint8_t>(v >> 8);
            }
            break;
        case Fmt::B24:
            for (int i = 0; i < n; ++i) {
                uint8_t* p = row + 3 * (x0 + i);
                p[0] = static_cast<uint8_t>(in[i]);
                p[1] = static_cast<uint8_t>(in[i] >> 8);
                p[2] = static_cast<uint8_t>(in[i] >> 16);
            }
            break;
        case Fmt::B32: std::memcpy(row + 4 * x0, in, 4 * static_cast<size_t>(n)); break;
    }
}

void FillRaw(BitmapObj& bm, int y, int x0, int n, uint32_t v) {
    if (n <= 0) return;
    uint8_t* row = bm.Row(y);
    switch (bm.fmt) {
        case Fmt::I1: {
            const uint8_t fill = (v & 1) ? 0xFF : 0x00;
            int x = x0;
            const int end = x0 + n;
            // Bits up to the next byte boundary, whole bytes, then the bits of the last byte.
            while (x < end && (x & 7)) {
                const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
                row[x >> 3] = static_cast<uint8_t>(fill ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
                ++x;
            }
            const int bytes = (end - x) >> 3;
            if (bytes > 0) {
                std::memset(row + (x >> 3), fill, static_cast<size_t>(bytes));
                x += bytes * 8;
            }
            while (x < end) {
                const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
                row[x >> 3] = static_cast<uint8_t>(fill ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
                ++x;
            }
            break;
        }
        case Fmt::I4: {
            const auto nib = static_cast<uint8_t>(v & 0x0F);
            int x = x0;
            const int end = x0 + n;
            if ((x & 1) && x < end) {
                row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | nib);
                ++x;
            }
            const int bytes = (end - x) >> 1;
            if (bytes > 0) {
                std::memset(row + (x >> 1), nib * 0x11, static_cast<size_t>(bytes));
                x += bytes * 2;
            }
            if (x < end) row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (nib << 4));
            break;
        }
        case Fmt::I8: std::memset(row + x0, static_cast<uint8_t>(v), static_cast<size_t>(n)); break;
        case Fmt::X555:
        case Fmt::R565: {
            const auto w = static_cast<uint16_t>(bm.fmt == Fmt::X555 ? (v & 0x7FFF) : v);
            uint8_t* p = row + 2 * static_cast<size_t>(x0);
            for (int i = 0; i < n; ++i, p += 2) std::memcpy(p, &w, 2);
            break;
        }
        case Fmt::B24: {
            uint8_t* p = row + 3 * static_cast<size_t>(x0);
            for (int i = 0; i < n; ++i, p += 3) {
                p[0] = static_cast<uint8_t>(v);
                p[1] = static_cast<uint8_t>(v >> 8);
                p[2] = static_cast<uint8_t>(v >> 16);
            }
            break;
        }
        case Fmt::B32: {
            auto* p = reinterpret_cast<uint8_t*>(row + 4 * static_cast<size_t>(x0));
            for (int i = 0; i < n; ++i, p += 4) std::memcpy(p, &v, 4);
            break;
        }
    }
}

uint32_t ReadPixelRaw(const BitmapObj& bm, int x, int y) {
    uint32_t v;
    ReadRaw(bm, y, x, 1, &v);
    return v;
}

void WritePixelRaw(BitmapObj& bm, int x, int y, uint32_t v) { WriteRaw(bm, y, x, 1, &v); }

uint32_t RawMask(const BitmapObj& bm) {
    switch (bm.fmt) {
        case Fmt::I1: return 0x1;
        case Fmt::I4: return 0xF;
        case Fmt::I8: return 0xFF;
        case Fmt::X555: return 0x7FFF;
        case Fmt::R565: return 0xFFFF;
        case Fmt::B24: return 0xFFFFFF;
        case Fmt::B32: return 0xFFFFFFFF;
    }
    return 0;
}

COLORREF RawToColor(const BitmapObj& bm, uint32_t raw) {
    switch (bm.fmt) {
        case Fmt::I1:
        case Fmt::I4:
        case Fmt::I8: {
            if (raw >= bm.colors.size()) return RGB(0, 0, 0);
            const RGBQUAD& q = bm.colors[raw];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        case Fmt::X555:
            return RGB(static_cast<BYTE>(Expand5((raw >> 10) & 31)), static_cast<BYTE>(Expand5((raw >> 5) & 31)),
                       static_cast<BYTE>(Expand5(raw & 31)));
        case Fmt::R565:
            return RGB(static_cast<BYTE>(Expand5((raw >> 11) & 31)), static_cast<BYTE>(Expand6((raw >> 5) & 63)),
                       static_cast<BYTE>(Expand5(raw & 31)));
        case Fmt::B24:
        case Fmt::B32: return ((raw & 0xFF) << 16) | (raw & 0xFF00) | ((raw >> 16) & 0xFF);
    }
    return 0;
}

uint32_t NearestIndex(const std::vector<RGBQUAD>& table, COLORREF c) {
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    uint32_t best = 0;
    int bestD = -1;
    for (size_t i = 0; i < table.size(); ++i) {
        int dr = table[i].rgbRed - r, dg = table[i].rgbGreen - g, db = table[i].rgbBlue - b;
        int d = dr * dr + dg * dg + db * db;
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = static_cast<uint32_t>(i);
            if (d == 0) break;
        }
    }
    return best;
}

uint32_t ColorToRaw(const BitmapObj& bm, COLORREF c, const PaletteObj* palette) {
    if ((c >> 24) == 0x01) {
        uint32_t idx = c & 0xFFFF;
        if (bm.Indexed()) return idx < bm.colors.size() ? idx : 0;
        const auto& entries = palette ? palette->entries : DefaultPaletteEntries();
        PALETTEENTRY e = idx < entries.size() ? entries[idx] : PALETTEENTRY{};
        c = RGB(e.peRed, e.peGreen, e.peBlue);
    }
    c &= 0xFFFFFF;
    uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    switch (bm.fmt) {
        case Fmt::I1:
        case Fmt::I4:
        case Fmt::I8: return NearestIndex(bm.colors, c);
        case Fmt::X555: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        case Fmt::R565: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        case Fmt::B24:
        case Fmt::B32: return b | (g << 8) | (r << 16);
    }
    return 0;
}

bool EqualTables(const BitmapObj& a, const BitmapObj& b) {
    if (!a.Indexed() || !b.Indexed() || a.colors.size() != b.colors.size()) return false;
    for (size_t i = 0; i < a.colors.size(); ++i) {
        if (a.colors[i].rgbRed != b.colors[i].rgbRed || a.colors[i].rgbGreen != b.colors[i].rgbGreen ||
            a.colors[i].rgbBlue != b.colors[i].rgbBlue) {
            return false;
        }
    }
    return true;
}

uint32_t ColorMatcher::operator()(COLORREF c) {
    if (!bm_.Indexed()) return ColorToRaw(bm_, c);
    if (cache_.empty()) cache_.assign(kSize, {0xFFFFFFFFu, 0});
    c &= 0xFFFFFF;
    size_t slot = ((c * 2654435761u) >> 20) & (kSize - 1);
    if (cache_[slot].first == c) return cache_[slot].second;
    uint32_t v = NearestIndex(bm_.colors, c);
    cache_[slot] = {c, v};
    return v;
}

RowConverter::RowConverter(const BitmapObj& src, const BitmapObj& dst, const BlitColors* colors)
    : src_(src), match_(dst) {
    bool sameFormat = src.fmt == dst.fmt;
    if (src.Indexed() && dst.Indexed() && EqualTables(src, dst) && src.bpp <= dst.bpp) {
        mode_ = Mode::Identity;
    } else if (sameFormat && !src.Indexed()) {
        mode_ = Mode::Identity;
    } else if (src.Indexed()) {
        mode_ = Mode::Lookup;
        size_t n = size_t{1} << src.bpp;
        lookup_.resize(n);
        for (size_t i = 0; i < n; ++i) {
            COLORREF c = RawToColor(src, static_cast<uint32_t>(i));
            if (src.bpp == 1 && colors && dst.bpp != 1) c = i == 0 ? colors->dstText : colors->dstBk;
            if (dst.monoDdb && colors && src.bpp != 1) {
                lookup_[i] = (c & 0xFFFFFF) == (colors->srcBk & 0xFFFFFF) ? 1u : 0u;
            } else {
                lookup_[i] = match_(c);
            }
        }
    } else if (dst.monoDdb && colors) {
        mode_ = Mode::ToMonoDdb;
        srcBk_ = colors->srcBk & 0xFFFFFF;
    } else {
        mode_ = Mode::Generic;
    }
}

void RowConverter::Run(const uint32_t* in, uint32_t* out, int n) {
    switch (mode_) {
        case Mode::Identity:
            if (in != out) std::memcpy(out, in, sizeof(uint32_t) * static_cast<size_t>(n));
            break;
        case Mode::Lookup:
            for (int i = 0; i < n; ++i) out[i] = in[i] < lookup_.size() ? lookup_[in[i]] : lookup_[0];
            break;
        case Mode::ToMonoDdb:
            for (int i = 0; i < n; ++i) out[i] = RawToColor(src_, in[i]) == srcBk_ ? 1u : 0u;
            break;
        case Mode::Generic:
            for (int i = 0; i < n; ++i) out[i] = match_(RawToColor(src_, in[i]));
            break;
    }
}

}  // namespace win::gdi

namespace win {

using namespace gdi;

namespace {

HBITMAP AddBitmap(std::shared_ptr<BitmapObj> bm) { return AsHandle<HBITMAP>(Objects().Add(std::move(bm))); }

std::shared_ptr<BitmapObj> GetBitmap(HBITMAP h) { return Objects().GetAs<BitmapObj>(HV(h), HandleKind::Bitmap); }

const std::vector<PALETTEENTRY>* DcPalette(HDC hdc) {
    auto dc = GetDc(hdc);
    if (!dc || !dc->st.palette) return nullptr;
    return &dc->st.palette->entries;  // palettes outlive this call: the handle table keeps them
}

}  // namespace

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD offset) {
    (void)offset;
    if (bits) *bits = nullptr;
    if (section) return nullptr;  // file-mapping sections are not supported
    int w, h, bpp;
    bool topDown, is565;
    std::vector<RGBQUAD> table;
    if (!ParseBitmapInfo(bmi, usage, DcPalette(hdc), &w, &h, &bpp, &topDown, &is565, &table)) return nullptr;
    auto bm = NewBitmap(w, h, bpp, topDown, true, is565);
    if (!bm) return nullptr;
    if (bpp <= 8) std::copy(table.begin(), table.end(), bm->colors.begin());
    if (bpp <= 8 && table.size() < bm->colors.size()) bm->colors.resize(table.size());
    if (bmi->bmiHeader.biCompression == BI_BITFIELDS) {
        bm->compression = BI_BITFIELDS;
        if (bpp == 16 && !is565) {
            bm->masks[0] = 0x7C00;
            bm->masks[1] = 0x03E0;
            bm->masks[2] = 0x001F;
        } else if (bpp == 32) {
            bm->masks[0] = 0xFF0000;
            bm->masks[1] = 0xFF00;
            bm->masks[2] = 0xFF;
        }
    }
    if (bits) *bits = bm->bits;
    return AddBitmap(std::move(bm));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    if (width < 0 || height < 0) return nullptr;
    if (width == 0 || height == 0) return AsHandle<HBITMAP>(StockBitmapHandle());
    bool mono = false;
    if (auto dc = GetDc(hdc)) mono = dc->dcKind == DcKind::Memory && dc->st.bitmap && dc->st.bitmap->bpp == 1;
    auto bm = NewBitmap(width, height, mono ? 1 : 32, true, false, false);
    if (!bm) return nullptr;
    if (mono) {
        bm->monoDdb = true;
        bm->colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    }
    return AddBitmap(std::move(bm));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || width < 0 || height < 0) return nullptr;
    if (width == 0 || height == 0) return AsHandle<HBITMAP>(StockBitmapHandle());
    if (bitsPerPixel != 1 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
    int bpp = static_cast<int>(bitsPerPixel);
    auto bm = NewBitmap(width, height, bpp, true, false, false);
    if (!bm) return nullptr;
    if (bpp == 1) {
        bm->monoDdb = true;
        bm->colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    }
    if (bits) {
        // Rows of device-dependent bitmaps are padded to 16 bits.
        size_t srcStride = ((static_cast<size_t>(width) * static_cast<size_t>(bpp) + 15) / 16) * 2;
        const uint8_t* src = static_cast<const uint8_t*>(bits);
        for (int y = 0; y < height; ++y) std::memcpy(bm->Row(y), src + srcStride * static_cast<size_t>(y), srcStride);
    }
    return AddBitmap(std::move(bm));
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* bmi,
                       UINT usage) {
    if (!header || header->biWidth <= 0 || header->biHeight == 0) return nullptr;
    int h = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    bool mono = header->biBitCount == 1;
    auto bm = NewBitmap(header->biWidth, h, mono ? 1 : 32, true, false, false);
    if (!bm) return nullptr;
    if (mono) {
        bm->monoDdb = true;
        bm->colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    }
    HBITMAP hbm = AddBitmap(bm);
    if ((init & CBM_INIT) && bits && bmi) {
        if (SetDIBits(hdc, hbm, 0, static_cast<UINT>(h), bits, bmi, usage) == 0) {
            DeleteObject(hbm);
            return nullptr;
        }
    }
    return hbm;
}

int SetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage) {
    auto dst = GetBitmap(bitmap);
    if (!dst || !bits || !bmi) return 0;
    auto src = ViewPackedDib(bmi, bits, usage, DcPalette(hdc), lines);
    if (!src) return 0;
    int fullHeight = bmi->bmiHeader.biHeight < 0 ? -bmi->bmiHeader.biHeight : bmi->bmiHeader.biHeight;
    if (start >= static_cast<UINT>(fullHeight)) return 0;
    int count = static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(fullHeight) - start));
    count = std::min(count, src->height);
    int w = std::min(src->width, dst->width);
    RowConverter conv(*src, *dst, nullptr);
    std::vector<uint32_t> row(static_cast<size_t>(src->width));
    bool keepAlpha = src->fmt == Fmt::B32 && dst->fmt == Fmt::B32;
    for (int i = 0; i < count; ++i) {
        // Scan line numbers count from the bottom of a bottom-up DIB, from the top otherwise.
        int scan = static_cast<int>(start) + i;
        int dstRow = src->topDown ? scan : fullHeight - 1 - scan;
        int srcRow = src->topDown ? i : src->height - 1 - i;  // the supplied block holds scans start..
        if (dstRow < 0 || dstRow >= dst->height) continue;
        ReadRaw(*src, srcRow, 0, w, row.data());
        conv.Run(row.data(), row.data(), w);
        if (dst->fmt == Fmt::B32 && !keepAlpha) {
            for (int x = 0; x < w; ++x) row[static_cast<size_t>(x)] &= 0xFFFFFF;
        }
        WriteRaw(*dst, dstRow, 0, w, row.data());
    }
    return count;
}

int GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* bmi, UINT usage) {
    (void)hdc;
    auto src = GetBitmap(bitmap);
    if (!src || !bmi || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (h.biBitCount == 0) {
        // Only the format of the bitmap is asked for.
        h.biWidth = src->width;
        h.biHeight = src->height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(src->bpp);
        h.biCompression = src->compression;
        h.biSizeImage = static_cast<DWORD>(src->stride * src->height);
        h.biClrUsed = 0;
        return src->height;
    }
    int bpp = h.biBitCount;
    bool is565 = false;
    if (h.biCompression == BI_BITFIELDS && bpp == 16) {
        DWORD m[3];
        std::memcpy(m, bmi->bmiColors, sizeof m);
        is565 = m[0] == 0xF800;
    }
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return 0;
    bool topDown = h.biHeight < 0;
    int height = topDown ? -h.biHeight : h.biHeight;
    auto dst = NewBitmap(h.biWidth, 1, bpp, true, true, is565);  // one-row scratch in the requested format
    if (!dst) return 0;
    h.biSizeImage = static_cast<DWORD>(static_cast<uint64_t>(dst->stride) * static_cast<uint64_t>(height));
    if (bpp <= 8) {
        if (src->Indexed() && src->colors.size() <= (size_t{1} << bpp)) {
            dst->colors = src->colors;
        } else {
            dst->colors = DefaultTable(bpp);
        }
        if (usage == DIB_RGB_COLORS) {
            std::memcpy(bmi->bmiColors, dst->colors.data(), dst->colors.size() * sizeof(RGBQUAD));
            h.biClrUsed = 0;
        }
    } else if (h.biCompression == BI_BITFIELDS) {
        DWORD m[3] = {0xFF0000, 0xFF00, 0xFF};
        if (bpp == 16) {
            m[0] = is565 ? 0xF800 : 0x7C00;
            m[1] = is565 ? 0x07E0 : 0x03E0;
            m[2] = 0x001F;
        }
        std::memcpy(bmi->bmiColors, m, sizeof m);
    }
    if (!bits) return height;
    if (start >= static_cast<UINT>(height)) return 0;
    int count = static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(height) - start));
    RowConverter conv(*src, *dst, nullptr);
    bool keepAlpha = src->fmt == Fmt::B32 && dst->fmt == Fmt::B32;
    int w = std::min(src->width, dst->width);
    std::vector<uint32_t> row(static_cast<size_t>(dst->width), 0);
    uint8_t* out = static_cast<uint8_t*>(bits);
    for (int i = 0; i < count; ++i) {
        int scan = static_cast<int>(start) + i;
        int srcRow = topDown ? scan : height - 1 - scan;
        std::fill(row.begin(), row.end(), 0);
        if (srcRow >= 0 && srcRow < src->height) {
            ReadRaw(*src, srcRow, 0, w, row.data());
            conv.Run(row.data(), row.data(), w);
            if (dst->fmt == Fmt::B32 && !keepAlpha) {
                for (int x = 0; x < w; ++x) row[static_cast<size_t>(x)] &= 0xFFFFFF;
            }
        }
        std::memset(dst->bits, 0, static_cast<size_t>(dst->stride));
        WriteRaw(*dst, 0, 0, dst->width, row.data());
        std::memcpy(out + static_cast<size_t>(i) * static_cast<size_t>(dst->stride), dst->bits,
                    static_cast<size_t>(dst->stride));
    }
    return count;
}

UINT GetDIBColorTable(HDC hdc, UINT start, UINT count, RGBQUAD* colors) {
    auto dc = GetDc(hdc);
    if (!dc || dc->dcKind != DcKind::Memory || !colors) return 0;
    const BitmapObj& bm = dc->Surface();
    if (!bm.dib || !bm.Indexed() || start >= bm.colors.size()) return 0;
    UINT n = std::min<UINT>(count, static_cast<UINT>(bm.colors.size()) - start);
    std::copy_n(bm.colors.begin() + start, n, colors);
    return n;
}

UINT SetDIBColorTable(HDC hdc, UINT start, UINT count, const RGBQUAD* colors) {
    auto dc = GetDc(hdc);
    if (!dc || dc->dcKind != DcKind::Memory || !colors) return 0;
    BitmapObj& bm = dc->Surface();
    if (!bm.dib || !bm.Indexed() || bm.stock) return 0;
    size_t capacity = size_t{1} << bm.bpp;
    if (start >= capacity) return 0;
    UINT n = std::min<UINT>(count, static_cast<UINT>(capacity) - start);
    if (bm.colors.size() < start + n) bm.colors.resize(start + n);
    for (UINT i = 0; i < n; ++i) {
        bm.colors[start + i] = colors[i];
        bm.colors[start + i].rgbReserved = 0;
    }
    return n;
}

}  // namespace win
