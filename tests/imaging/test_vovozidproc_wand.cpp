// The magic wand (outline, connected fill, global match) and the channel swaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/processing/vovozidproc_wand.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

class Wand : public ImagingTest {
protected:
    // A picture drawn from text rows: '#' dark (10, 20, 30), '+' near it (12, 19, 33), '.' white.
    static std::unique_ptr<TIEBitmap> Picture(const std::vector<std::string>& rows, TIEPixelFormat f = ie24RGB) {
        const auto h = static_cast<int32_t>(rows.size()), w = static_cast<int32_t>(rows[0].size());
        auto b = std::make_unique<TIEBitmap>(w, h, ie24RGB);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const char c = rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
                b->SetPixel24(x, y,
                              c == '#'   ? CreateRGB(10, 20, 30)
                              : c == '+' ? CreateRGB(12, 19, 33)
                                         : CreateRGB(255, 255, 255));
            }
        if (f != ie24RGB) b->SetPixelFormat(f);
        return b;
    }
    static std::vector<std::string> MaskRows(TIEMask& m, int32_t w, int32_t h) {
        std::vector<std::string> out;
        for (int32_t y = 0; y < h; ++y) {
            std::string row;
            for (int32_t x = 0; x < w; ++x) row += m.GetPixel(x, y) ? 'x' : '.';
            out.push_back(row);
        }
        return out;
    }
    // Twice the signed area of a polygon.
    static int64_t Area2(const std::vector<cl::TPoint>& p) {
        int64_t a = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            const auto& u = p[i];
            const auto& v = p[(i + 1) % p.size()];
            a += int64_t{u.x} * v.y - int64_t{v.x} * u.y;
        }
        return a < 0 ? -a : a;
    }
};

std::vector<std::pair<int, int>> Points(const std::vector<cl::TPoint>& p) {
    std::vector<std::pair<int, int>> out;
    for (const auto& q : p) out.emplace_back(q.x, q.y);
    return out;
}

TEST_F(Wand, OnePixelAndAWholeUniformPicture) {
    auto b = Picture({".....", "..#..", "....."});
    EXPECT_EQ(Points(IEMagicWandPolygon(b.get(), 2, 1, 0, false)),
              (std::vector<std::pair<int, int>>{{2, 1}, {3, 1}, {3, 1}, {3, 2}, {3, 2}, {2, 2}, {2, 2}, {2, 1}}));
    auto u = Picture({"####", "####", "####"});
    for (const int tolerance : {0, 5, 255})
        EXPECT_EQ(Points(IEMagicWandPolygon(u.get(), 1, 2, tolerance, false)),
                  (std::vector<std::pair<int, int>>{{0, 0}, {4, 0}, {4, 0}, {4, 3}, {4, 3}, {0, 3}, {0, 3}, {0, 0}}));
}

TEST_F(Wand, OutlinesEncloseTheRegionsArea) {
    struct Case {
        std::vector<std::string> rows;
        int32_t x, y, tolerance;
        int64_t area;  // pixels enclosed by the outline
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{"......", ".##...", ".####.", "..##..", "......"}, 1, 1, 0, 8},
        {{"#.....", "##....", "###...", "####.."}, 0, 0, 0, 10},
        {{"..#..", ".###.", "#####", ".###.", "..#.."}, 2, 2, 0, 13},
        {{"#+#", "+.+", "#+#"}, 0, 0, 3, 9},  // the near colour joins within tolerance 3; the hole is inside
        {{"#+#", "+..", "#.."}, 0, 0, 2, 1},  // not within 2 (blue differs by 3)
        {{"##..", "##..", "..##", "..##"}, 0, 0, 0, 4},  // the corner contact does not join
    };
    // clang-format on
    for (const Case& c : cases) {
        auto b = Picture(c.rows);
        const auto poly = IEMagicWandPolygon(b.get(), c.x, c.y, c.tolerance, false);
        EXPECT_EQ(Area2(poly), 2 * c.area) << c.rows[0];
    }
}

TEST_F(Wand, SeedsOutsideAndNegativeTolerance) {
    auto b = Picture({"###", "###"});
    TIEMask mask;
    mask.Allocate(3, 2, 1);
    for (const auto& [x, y] : {std::pair{3, 0}, std::pair{0, 2}, std::pair{-1, 0}, std::pair{0, -1}}) {
        EXPECT_TRUE(IEMagicWandPolygon(b.get(), x, y, 10, false).empty());
        IEMagicWandFill(b.get(), x, y, 1, &mask, 10, true);
        IEMagicWandGlobal(b.get(), x, y, 1, &mask, 10);
    }
    EXPECT_TRUE(mask.IsEmpty());
    EXPECT_TRUE(IEMagicWandPolygon(b.get(), 1, 1, -1, false).empty());
    IEMagicWandFill(b.get(), 1, 1, 1, &mask, -1, false);
    IEMagicWandGlobal(b.get(), 1, 1, 1, &mask, -1);
    EXPECT_TRUE(mask.IsEmpty());
}

TEST_F(Wand, FillIsConnectedGlobalIsNotAndMaxFilterGrows) {
    const std::vector<std::string> rows = {"##....", "##....", "..##..", "..##..", "......"};
    struct Case {
        int kind;  // 0 fill, 1 fill with the 3 x 3 growth, 2 global
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {0, {"xx....", "xx....", "......", "......", "......"}},
        {1, {"xxx...", "xxx...", "xxx...", "......", "......"}},
        {2, {"xx....", "xx....", "..xx..", "..xx..", "......"}},
    };
    for (const TIEPixelFormat f : {ie24RGB, ie8p, ie32RGB})
        for (const Case& c : cases) {
            auto b = Picture(rows, f);
            TIEMask mask;
            mask.Allocate(6, 5, 8);
            if (c.kind == 2)
                IEMagicWandGlobal(b.get(), 1, 1, 200, &mask, 0);
            else
                IEMagicWandFill(b.get(), 1, 1, 200, &mask, 0, c.kind == 1);
            EXPECT_EQ(MaskRows(mask, 6, 5), c.want) << c.kind << " format " << int(f);
            EXPECT_EQ(mask.GetPixel(0, 0), 200);
        }
    // The outline's growth stays inside the region's box.
    auto b = Picture({"......", ".##...", ".##...", "......"});
    EXPECT_EQ(Area2(IEMagicWandPolygon(b.get(), 1, 1, 0, true)), 2 * 4);
}

TEST_F(Wand, FillMatchesAReferenceFloodOnRandomPictures) {
    std::mt19937 rnd(5);
    for (int k = 0; k < 40; ++k) {
        const int32_t w = 1 + static_cast<int32_t>(rnd() % 23), h = 1 + static_cast<int32_t>(rnd() % 17);
        std::vector<std::string> rows(static_cast<size_t>(h), std::string(static_cast<size_t>(w), '.'));
        for (auto& r : rows)
            for (auto& c : r) c = rnd() % 5 < 3 ? '#' : '.';
        const int32_t sx = static_cast<int32_t>(rnd() % static_cast<uint32_t>(w));
        const int32_t sy = static_cast<int32_t>(rnd() % static_cast<uint32_t>(h));
        // Reference: breadth-first over the four neighbours.
        std::vector<std::string> want(static_cast<size_t>(h), std::string(static_cast<size_t>(w), '.'));
        const char seed = rows[static_cast<size_t>(sy)][static_cast<size_t>(sx)];
        std::vector<std::pair<int32_t, int32_t>> queue{{sx, sy}};
        want[static_cast<size_t>(sy)][static_cast<size_t>(sx)] = 'x';
        for (size_t i = 0; i < queue.size(); ++i) {
            const auto [x, y] = queue[i];
            for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
                const int32_t nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                if (rows[static_cast<size_t>(ny)][static_cast<size_t>(nx)] != seed) continue;
                char& m = want[static_cast<size_t>(ny)][static_cast<size_t>(nx)];
                if (m == 'x') continue;
                m = 'x';
                queue.emplace_back(nx, ny);
            }
        }
        auto b = Picture(rows);
        TIEMask mask;
        mask.Allocate(w, h, 1);
        IEMagicWandFill(b.get(), sx, sy, 1, &mask, 0, false);
        ASSERT_EQ(MaskRows(mask, w, h), want) << "case " << k;
        const auto poly = IEMagicWandPolygon(b.get(), sx, sy, 0, false);
        ASSERT_FALSE(poly.empty());
        for (const auto& p : poly) {
            ASSERT_GE(p.x, 0);
            ASSERT_GE(p.y, 0);
            ASSERT_LE(p.x, w);
            ASSERT_LE(p.y, h);
        }
    }
}

// The outline as the grid walk defines it, with the whole grid four times finer than the
// region's box held in memory (a byte per cell): the region is taken as the 4-connected
// pixels of the seed's character in the rows.
std::vector<std::pair<int, int>> GridOutline(const std::vector<std::string>& rows, int32_t sx, int32_t sy,
                                             bool maxFilter) {
    const auto h = static_cast<int64_t>(rows.size()), w = static_cast<int64_t>(rows[0].size());
    std::vector<uint8_t> in(static_cast<size_t>(w * h), 0);
    const char seed = rows[static_cast<size_t>(sy)][static_cast<size_t>(sx)];
    std::vector<std::pair<int64_t, int64_t>> queue{{sx, sy}};
    in[static_cast<size_t>(sy * w + sx)] = 1;
    int64_t minX = sx, minY = sy, maxX = sx, maxY = sy;
    for (size_t i = 0; i < queue.size(); ++i) {
        const auto [x, y] = queue[i];
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
        for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
            const int64_t nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || in[static_cast<size_t>(ny * w + nx)]) continue;
            if (rows[static_cast<size_t>(ny)][static_cast<size_t>(nx)] != seed) continue;
            in[static_cast<size_t>(ny * w + nx)] = 1;
            queue.emplace_back(nx, ny);
        }
    }
    const int64_t bw = maxX - minX + 1, bh = maxY - minY + 1, gw = 4 * bw + 4, gh = 4 * bh + 4;
    std::vector<uint8_t> grid(static_cast<size_t>(gw * gh), 0);
    auto cell = [&](int64_t c, int64_t r) -> uint8_t& { return grid[static_cast<size_t>(r * gw + c)]; };
    auto at = [&](int64_t c, int64_t r) { return c < 0 || r < 0 || c >= gw || r >= gh ? 0 : cell(c, r); };
    for (int64_t y = 0; y < bh; ++y)
        for (int64_t x = 0; x < bw; ++x) {
            if (!in[static_cast<size_t>((y + minY) * w + x + minX)]) continue;
            const int64_t g = maxFilter ? 1 : 0;
            for (int64_t ny = std::max<int64_t>(y - g, 0); ny <= std::min(y + g, bh - 1); ++ny)
                for (int64_t nx = std::max<int64_t>(x - g, 0); nx <= std::min(x + g, bw - 1); ++nx)
                    for (int64_t r = 4 * ny + 2; r < 4 * ny + 6; ++r)
                        for (int64_t c = 4 * nx + 2; c < 4 * nx + 6; ++c) cell(c, r) = 1;
        }
    for (int64_t r = 0; r < gh; ++r) {
        for (int64_t c = 1; c < gw; ++c)
            if (cell(c, r) == 1 && cell(c - 1, r) != 1) cell(c - 1, r) = 3;
        for (int64_t c = gw - 2; c >= 0; --c)
            if (cell(c, r) == 1 && cell(c + 1, r) != 1) cell(c + 1, r) = 3;
    }
    for (int64_t c = 0; c < gw; ++c) {
        for (int64_t r = 1; r < gh; ++r)
            if (cell(c, r) == 1 && cell(c, r - 1) != 1) cell(c, r - 1) = 3;
        for (int64_t r = gh - 2; r >= 0; --r)
            if (cell(c, r) == 1 && cell(c, r + 1) != 1) cell(c, r + 1) = 3;
    }
    int64_t minC = INT64_MAX, minR = INT64_MAX;
    for (int64_t r = 0; r < gh; ++r)
        for (int64_t c = 1; c < gw; ++c)
            if (cell(c, r) == 3) minC = std::min(minC, c), minR = std::min(minR, r);
    int64_t startC = 0, startR = 0, best = INT64_MAX;
    for (int64_t r = 0; r < gh; ++r)
        for (int64_t c = 1; c < gw; ++c)
            if (cell(c, r) == 3 && (c - minC) * (c - minC) + (r - minR) * (r - minR) < best)
                best = (c - minC) * (c - minC) + (r - minR) * (r - minR), startC = c, startR = r;
    constexpr int dx[8] = {1, 0, -1, 0, 1, -1, -1, 1}, dy[8] = {0, -1, 0, 1, -1, -1, 1, 1};
    constexpr int code[8] = {0, 2, 4, 6, 1, 3, 5, 7};
    constexpr int cdx[8] = {1, 1, 0, -1, -1, -1, 0, 1}, cdy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
    cell(startC, startR) = 2;
    std::vector<int> codes;
    int64_t c = startC, r = startR;
    int last = 4;
    for (;;) {
        if (at(c + dx[last], r + dy[last]) == 3) {
            c += dx[last], r += dy[last];
            cell(c, r) = 2;
            codes.push_back(code[last]);
        }
        int found = -1;
        for (int d = 0; d < 8 && found < 0; ++d)
            if (at(c + dx[d], r + dy[d]) == 3) found = d;
        if (found < 0) break;
        c += dx[found], r += dy[found];
        cell(c, r) = 2;
        codes.push_back(code[found]);
        last = found;
    }
    for (int k = 0; k < 8; ++k)
        if (c + dx[k] == startC && r + dy[k] == startR) {
            codes.push_back(code[k]);
            break;
        }
    int64_t px = startC - 1 + 4 * minX, py = startR - 1 + 4 * minY;
    std::vector<std::pair<int, int>> out{{static_cast<int>(px / 4), static_cast<int>(py / 4)}};
    int previous = codes.empty() ? 0 : codes.front();
    for (const int k : codes) {
        if (k != previous) out.emplace_back(static_cast<int>(px / 4), static_cast<int>(py / 4)), previous = k;
        px += cdx[k], py += cdy[k];
    }
    return out;
}

// Pictures of three colours in random blobs have holes, one-pixel necks, diagonal contacts
// and pixels that touch the region only at a corner: the outline is the grid walk's.
TEST_F(Wand, OutlineIsTheFineGridWalksOnRandomPictures) {
    std::mt19937 rnd(11);
    for (int k = 0; k < 300; ++k) {
        const int32_t w = 1 + static_cast<int32_t>(rnd() % 19), h = 1 + static_cast<int32_t>(rnd() % 15);
        std::vector<std::string> rows(static_cast<size_t>(h), std::string(static_cast<size_t>(w), '.'));
        const uint32_t density = 2 + rnd() % 5;
        for (auto& row : rows)
            for (auto& ch : row) {
                const uint32_t v = rnd() % 8;
                ch = v < density ? '#' : v == 7 ? '+' : '.';
            }
        const int32_t sx = static_cast<int32_t>(rnd() % static_cast<uint32_t>(w));
        const int32_t sy = static_cast<int32_t>(rnd() % static_cast<uint32_t>(h));
        auto b = Picture(rows);
        for (const bool maxFilter : {false, true})
            ASSERT_EQ(Points(IEMagicWandPolygon(b.get(), sx, sy, 0, maxFilter)), GridOutline(rows, sx, sy, maxFilter))
                << "case " << k << " seed " << sx << "," << sy << " max filter " << maxFilter;
    }
}

TEST_F(Wand, LargeRegionsGetTheirOutline) {
    // A uniform 6-megapixel picture: the four corners, each twice.
    TIEBitmap u(3000, 2000, ie24RGB);
    u.Fill(0x00336699);
    EXPECT_EQ(Points(IEMagicWandPolygon(&u, 1500, 1000, 0, false)),
              (std::vector<std::pair<int, int>>{
                  {0, 0}, {3000, 0}, {3000, 0}, {3000, 2000}, {3000, 2000}, {0, 2000}, {0, 2000}, {0, 0}}));
    // A wide box of one colour, placed away from the picture's corner, inside another.
    TIEBitmap b(2600, 1800, ie8g);
    b.Fill(200);
    for (int32_t y = 100; y < 1700; ++y) std::memset(static_cast<uint8_t*>(b.GetScanline(y)) + 300, 40, 2200);
    EXPECT_EQ(Points(IEMagicWandPolygon(&b, 1000, 900, 10, true)),
              (std::vector<std::pair<int, int>>{{300, 100},
                                                {2500, 100},
                                                {2500, 100},
                                                {2500, 1700},
                                                {2500, 1700},
                                                {300, 1700},
                                                {300, 1700},
                                                {300, 100}}));
}

TEST(ChannelSwaps, ExchangeFirstAndThirdAndTwiceRestores) {
    uint8_t rgb[7] = {1, 2, 3, 4, 5, 6, 99};
    IESwapRedBlue(rgb, 2);
    EXPECT_EQ(std::vector<int>(rgb, rgb + 7), (std::vector<int>{3, 2, 1, 6, 5, 4, 99}));
    IESwapRedBlue(rgb, 2);
    IESwapRedBlue(rgb, 0);
    IESwapRedBlue(rgb, -4);
    EXPECT_EQ(std::vector<int>(rgb, rgb + 7), (std::vector<int>{1, 2, 3, 4, 5, 6, 99}));
    const uint8_t src[6] = {10, 20, 30, 40, 50, 60};
    uint8_t dst[7] = {0, 0, 0, 0, 0, 0, 77};
    IECopyBGRToRGB(dst, src, 2);
    EXPECT_EQ(std::vector<int>(dst, dst + 7), (std::vector<int>{30, 20, 10, 60, 50, 40, 77}));
    EXPECT_EQ(std::vector<int>(src, src + 6), (std::vector<int>{10, 20, 30, 40, 50, 60}));
    uint16_t wide[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    IESwapRedBlue48(wide, 1);
    EXPECT_EQ(std::vector<int>(wide, wide + 4), (std::vector<int>{0x3333, 0x2222, 0x1111, 0x4444}));
    TRGB pal[2] = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6)};
    IESwapRedBluePalette(pal, 1);
    EXPECT_EQ(pal[0], CreateRGB(3, 2, 1));
    EXPECT_EQ(pal[1], CreateRGB(4, 5, 6));
}

}  // namespace
}  // namespace ie
