// Unstretched SRCCOPY between the common formats (1, 4, 8, 24 and 32 bits into 24 and 32
// bits), which take a row-to-row road, against a pixel-by-pixel model of the blit rules:
// clipping, origins, source pixels outside the source left alone, colour tables (short ones
// too), the monochrome colours of the destination DC and the fourth byte of 32-bit targets.
// Large copies are split over the processor's cores and must give the same bytes. Pixel
// memory of large bitmaps is reused between pictures and must still start zeroed.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "gdi_dib_canvas.h"
#include "platform/gdi.h"
#include "platform/parallel.h"

using namespace win;
using gditest::Canvas;

namespace {

struct Format {
    int bpp;
    int tableSize;  // entries given in the header (0: none)
};

// What the blit puts into a destination pixel from source pixel (x, y), as the bytes of the
// destination format; false when the model leaves it alone.
struct Model {
    const Canvas& src;
    Format fmt;
    const std::vector<COLORREF>& table;
    COLORREF text, bk;  // the destination DC's colours, for monochrome sources

    uint32_t Index(int x, int y) const {
        const uint8_t* row = src.Row(y);
        switch (fmt.bpp) {
            case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
            case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
            default: return row[x];
        }
    }
    // Blue, green, red and the fourth byte a 32-bit target receives.
    uint32_t Value(int x, int y) const {
        if (fmt.bpp == 24) {
            const uint8_t* p = src.Row(y) + 3 * x;
            return p[0] | (p[1] << 8) | (p[2] << 16);
        }
        if (fmt.bpp == 32) return src.Px32(x, y);
        uint32_t idx = Index(x, y);
        COLORREF c;
        if (fmt.bpp == 1)
            c = idx ? bk : text;
        else
            c = idx < table.size() ? table[idx] : RGB(0, 0, 0);
        return GetBValue(c) | (GetGValue(c) << 8) | (GetRValue(c) << 16);
    }
};

std::vector<COLORREF> RandomTable(std::mt19937& rng, int n) {
    std::vector<COLORREF> t;
    for (int i = 0; i < n; ++i) t.push_back(rng() & 0xFFFFFF);
    return t;
}

void FillRandom(Canvas& c, std::mt19937& rng) {
    for (int y = 0; y < c.height; ++y)
        for (int i = 0; i < c.stride; ++i) c.Row(y)[i] = static_cast<uint8_t>(rng());
}

// The bytes of the visible pixels of a 24- or 32-bit canvas (row padding left out).
std::vector<uint8_t> PixelBytes(const Canvas& c, int bpp) {
    std::vector<uint8_t> out;
    for (int y = 0; y < c.height; ++y) out.insert(out.end(), c.Row(y), c.Row(y) + c.width * (bpp / 8));
    return out;
}

struct Geometry {
    const char* name;
    int x, y, w, h, sx, sy;
    int clipL = 0, clipT = 0, clipR = 0, clipB = 0;          // IntersectClipRect when clipR > clipL
    int dstOrgX = 0, dstOrgY = 0, srcOrgX = 0, srcOrgY = 0;  // window origins
};

enum class Road { BitBlt, StretchDIBits };

// Runs one copy and compares the destination with the model, byte for byte.
void CheckCopy(std::mt19937& rng, Format sf, bool srcTopDown, int dstBpp, bool dstTopDown, int sw, int sh, int dw,
               int dh, const Geometry& g, Road road) {
    const std::vector<COLORREF> table = sf.tableSize ? RandomTable(rng, sf.tableSize) : std::vector<COLORREF>{};
    Canvas src(sw, sh, sf.bpp, table, srcTopDown);
    Canvas dst(dw, dh, dstBpp, {}, dstTopDown);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    const std::vector<uint8_t> before = PixelBytes(dst, dstBpp);
    const COLORREF text = RGB(10, 200, 30), bk = RGB(250, 5, 99);
    SetTextColor(dst.dc, text);
    SetBkColor(dst.dc, bk);
    SetWindowOrgEx(dst.dc, g.dstOrgX, g.dstOrgY, nullptr);
    SetWindowOrgEx(src.dc, g.srcOrgX, g.srcOrgY, nullptr);
    if (g.clipR > g.clipL) IntersectClipRect(dst.dc, g.clipL, g.clipT, g.clipR, g.clipB);

    // Source surface row of the rectangle's top row (a bottom-up DIB counts from its bottom).
    int srcTop, srcLeft;
    if (road == Road::BitBlt) {
        ASSERT_TRUE(BitBlt(dst.dc, g.x, g.y, g.w, g.h, src.dc, g.sx, g.sy, SRCCOPY));
        srcLeft = g.sx - g.srcOrgX;
        srcTop = g.sy - g.srcOrgY;
    } else {
        gditest::Info info = gditest::MakeInfo(sw, srcTopDown ? -sh : sh, sf.bpp, table);
        StretchDIBits(dst.dc, g.x, g.y, g.w, g.h, g.sx, g.sy, g.w, g.h, src.bits, info.get(), DIB_RGB_COLORS, SRCCOPY);
        srcLeft = g.sx;
        srcTop = srcTopDown ? g.sy : sh - (g.sy + g.h);
    }

    Model model{src, sf, table, text, bk};
    std::vector<uint8_t> want = before;
    const int bytes = dstBpp / 8;
    const int left = g.x - g.dstOrgX, top = g.y - g.dstOrgY;  // device coordinates
    for (int py = 0; py < dh; ++py)
        for (int px = 0; px < dw; ++px) {
            if (px < left || px >= left + g.w || py < top || py >= top + g.h) continue;
            if (g.clipR > g.clipL && (px < g.clipL - g.dstOrgX || px >= g.clipR - g.dstOrgX ||
                                      py < g.clipT - g.dstOrgY || py >= g.clipB - g.dstOrgY))
                continue;
            const int sx = srcLeft + (px - left), sy = srcTop + (py - top);
            if (sx < 0 || sx >= sw || sy < 0 || sy >= sh) continue;
            uint32_t v = model.Value(sx, sy);
            if (dstBpp == 32 && sf.bpp != 32) v &= 0x00FFFFFF;
            for (int b = 0; b < bytes; ++b)
                want[(static_cast<size_t>(py) * dw + px) * bytes + b] = static_cast<uint8_t>(v >> (8 * b));
        }
    const std::vector<uint8_t> got = PixelBytes(dst, dstBpp);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "byte " << i << " (pixel " << (i / bytes) % dw << "," << (i / bytes) / dw << ")";
}

std::string Describe(Format f, bool std_, int dbpp, bool dtd, const Geometry& g, Road r) {
    return std::to_string(f.bpp) + "-bit (" + std::to_string(f.tableSize) + " entries, " +
           (std_ ? "top-down" : "bottom-up") + ") to " + std::to_string(dbpp) + "-bit (" +
           (dtd ? "top-down" : "bottom-up") + "), " + g.name + (r == Road::BitBlt ? ", BitBlt" : ", StretchDIBits");
}

}  // namespace

TEST(GdiUnstretchedCopy, EveryCommonFormatPairMatchesThePixelRules) {
    const Format formats[] = {{1, 2}, {4, 16}, {4, 5}, {8, 256}, {8, 100}, {24, 0}, {32, 0}};
    constexpr int SW = 37, SH = 23, DW = 41, DH = 19;
    const Geometry geometries[] = {
        {"whole picture", 0, 0, SW, SH, 0, 0},
        {"odd offsets", 3, 2, 29, 13, 5, 1},
        {"negative destination", -7, -4, 30, 15, 2, 3},
        {"source partly outside", 1, 1, 25, 14, -3, 15},
        {"one pixel", 40, 18, 1, 1, 36, 22},
        {"past the destination's edges", 20, 10, 37, 23, 0, 0},
        {"clipped with origins", 0, 0, 30, 16, 4, 2, 4, 3, 20, 11, -2, 3, 1, -1},
        {"source origin", 6, 0, 17, 9, 10, 12, 0, 0, 0, 0, 0, 0, 5, 7},
    };
    std::mt19937 rng(99);
    for (const Format& f : formats)
        for (int dstBpp : {24, 32})
            for (bool srcTopDown : {true, false})
                for (bool dstTopDown : {true, false})
                    for (const Geometry& g : geometries)
                        for (Road road : {Road::BitBlt, Road::StretchDIBits}) {
                            if (road == Road::StretchDIBits && (g.srcOrgX || g.srcOrgY)) continue;
                            SCOPED_TRACE(Describe(f, srcTopDown, dstBpp, dstTopDown, g, road));
                            CheckCopy(rng, f, srcTopDown, dstBpp, dstTopDown, SW, SH, DW, DH, g, road);
                            if (::testing::Test::HasFatalFailure()) return;
                        }
}

TEST(GdiUnstretchedCopy, LargeCopiesSplitOverCoresGiveTheSameBytes) {
    // Above the size at which rows are split into bands; odd widths and a clip that cuts
    // every row.
    const Format formats[] = {{8, 256}, {24, 0}, {32, 0}, {1, 2}};
    const Geometry g{"large, clipped", -3, 5, 701, 500, 1, 0, 2, 0, 690, 505};
    std::mt19937 rng(5);
    for (const Format& f : formats)
        for (int dstBpp : {24, 32}) {
            SCOPED_TRACE(Describe(f, false, dstBpp, true, g, Road::BitBlt));
            CheckCopy(rng, f, false, dstBpp, true, 703, 499, 699, 511, g, Road::BitBlt);
            if (::testing::Test::HasFatalFailure()) return;
        }
}

TEST(GdiUnstretchedCopy, CopyWithinOneBitmapReadsTheRowsBeforeTheyChange) {
    // Overlapping source and destination in one large bitmap: the copy reads a private copy
    // of the pixels.
    std::mt19937 rng(8);
    Canvas c(800, 600, 32);
    FillRandom(c, rng);
    std::vector<uint32_t> before(800 * 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) before[static_cast<size_t>(y) * 800 + x] = c.Px32(x, y);
    ASSERT_TRUE(BitBlt(c.dc, 5, 7, 700, 500, c.dc, 0, 0, SRCCOPY));
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const bool moved = x >= 5 && x < 705 && y >= 7 && y < 507;
            const uint32_t want =
                moved ? before[static_cast<size_t>(y - 7) * 800 + (x - 5)] : before[static_cast<size_t>(y) * 800 + x];
            ASSERT_EQ(c.Px32(x, y), want) << x << "," << y;
        }
}

TEST(GdiBitmapMemory, LargePicturesStartZeroedAlsoWhenTheirMemoryIsReused) {
    // Pictures of several megabytes, freed and made again in the same and in nearby sizes.
    const int sizes[][2] = {{1600, 1200}, {1600, 1200}, {1599, 1201}, {2000, 1500}, {1600, 1200}, {1024, 1024}};
    for (auto [w, h] : sizes) {
        for (int bpp : {24, 32}) {
            auto info = gditest::MakeInfo(w, -h, bpp);
            void* bits = nullptr;
            HBITMAP bm = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
            ASSERT_NE(bm, nullptr);
            const size_t bytes = static_cast<size_t>((w * bpp + 31) / 32 * 4) * static_cast<size_t>(h);
            const uint8_t* p = static_cast<const uint8_t*>(bits);
            for (size_t i = 0; i < bytes; i += 4093) ASSERT_EQ(p[i], 0) << w << "x" << h << " byte " << i;
            ASSERT_EQ(p[bytes - 1], 0);
            std::memset(bits, 0xA5, bytes);
            DeleteObject(bm);
        }
    }
}
