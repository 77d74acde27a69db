// GDI objects, DIB sections, memory DCs, regions, clipping, origins and window DCs.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <set>
#include <thread>

#include "gdi_dib_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_device_internal.h"
#include "platform/kernel.h"

using namespace win;
using gditest::Canvas;
using gditest::MakeInfo;

namespace {

std::vector<RECT> RectsOf(HRGN rgn) {
    DWORD size = GetRegionData(rgn, 0, nullptr);
    std::vector<char> buf(size);
    auto* data = reinterpret_cast<RGNDATA*>(buf.data());
    EXPECT_EQ(GetRegionData(rgn, size, data), size);
    std::vector<RECT> out(data->rdh.nCount);
    std::memcpy(out.data(), data->Buffer, out.size() * sizeof(RECT));
    return out;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(GdiObjects, StockObjectsSurviveDeletionAndSelection) {
    for (int i : {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, DKGRAY_BRUSH, BLACK_BRUSH, NULL_BRUSH, WHITE_PEN, BLACK_PEN,
                  NULL_PEN, ANSI_VAR_FONT, SYSTEM_FONT, DEFAULT_PALETTE, DEFAULT_GUI_FONT}) {
        HGDIOBJ obj = GetStockObject(i);
        ASSERT_NE(obj, nullptr) << i;
        EXPECT_GE(reinterpret_cast<uintptr_t>(obj), 0x10000u);
        EXPECT_TRUE(DeleteObject(obj));
        EXPECT_NE(GetObjectType(obj), 0u) << "stock object " << i << " was destroyed";
    }
    EXPECT_EQ(GetStockObject(9), nullptr);
    LOGBRUSH lb;
    ASSERT_EQ(GetObjectA(GetStockObject(LTGRAY_BRUSH), sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbColor, RGB(192, 192, 192));
}

TEST(GdiObjects, SelectedObjectsCannotBeDeletedAndStaleHandlesFail) {
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    EXPECT_EQ(oldPen, GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(SelectObject(dc, oldPen), pen);
    EXPECT_TRUE(DeleteObject(pen));
    // Stale: the handle is gone for good, of any kind, and never crashes.
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SelectObject(dc, pen), nullptr);
    EXPECT_EQ(GetObjectA(pen, sizeof(LOGPEN), nullptr), 0);
    EXPECT_EQ(GetObjectType(pen), 0u);
    // A brush handle is not a DC, a DC is not a bitmap.
    EXPECT_EQ(SaveDC(reinterpret_cast<HDC>(brush)), 0);
    EXPECT_EQ(SelectObject(dc, dc), nullptr);
    EXPECT_FALSE(DeleteObject(dc));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(brush));  // the DC released it
    SetLastError(0);
    EXPECT_EQ(PatBlt(dc, 0, 0, 1, 1, PATCOPY), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(GdiObjects, GetObjectDescribesPensBrushesAndDibSections) {
    HPEN pen = CreatePen(PS_DASH, 1, RGB(9, 8, 7));
    LOGPEN lp;
    ASSERT_EQ(GetObjectA(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, PS_DASH);
    EXPECT_EQ(lp.lopnColor, RGB(9, 8, 7));
    DeleteObject(pen);

    auto info = MakeInfo(13, -5, 24);
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bm, nullptr);
    DIBSECTION ds;
    ASSERT_EQ(GetObjectA(bm, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 13);
    EXPECT_EQ(ds.dsBm.bmHeight, 5);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 40);  // 39 bytes padded to 32 bits
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBm.bmPlanes, 1);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biHeight, -5);
    BITMAP b;
    EXPECT_EQ(GetObjectA(bm, sizeof b, &b), static_cast<int>(sizeof b));
    EXPECT_EQ(GetObjectType(bm), OBJ_BITMAP);
    DeleteObject(bm);
}

TEST(GdiBitmaps, DibSectionsOfEveryFormatRejectBadSizes) {
    struct Case {
        int bpp;
        bool b565;
        int stride;  // for width 10
    } cases[] = {{1, false, 4},  {4, false, 8},   {8, false, 12}, {16, false, 20},
                 {16, true, 20}, {24, false, 32}, {32, false, 40}};
    for (const auto& c : cases) {
        auto info =
            MakeInfo(10, 3, c.bpp, c.bpp <= 8 ? gditest::GreyTable(1 << c.bpp) : std::vector<COLORREF>{}, c.b565);
        void* bits = reinterpret_cast<void*>(1);
        HBITMAP bm = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bm, nullptr) << c.bpp;
        ASSERT_NE(bits, nullptr);
        for (int i = 0; i < c.stride * 3; ++i) EXPECT_EQ(static_cast<uint8_t*>(bits)[i], 0) << "new pixels are zero";
        BITMAP b;
        GetObjectA(bm, sizeof b, &b);
        EXPECT_EQ(b.bmWidthBytes, c.stride) << c.bpp;
        DeleteObject(bm);
    }
    for (auto [w, h, bpp] : {std::tuple{0, 5, 32}, {5, 0, 32}, {-1, 5, 32}, {5, 5, 7}, {70000, 70000, 32}}) {
        auto info = MakeInfo(w, h, bpp);
        void* bits = reinterpret_cast<void*>(1);
        EXPECT_EQ(CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr) << w << "x" << h;
        EXPECT_EQ(bits, nullptr);
    }
}

TEST(GdiBitmaps, PixelLayoutOfEachFormatAndOrientation) {
    // SetPixel writes exactly the documented layout; GetPixel reads it back.
    struct Case {
        int bpp;
        bool b565;
        COLORREF color;
        std::vector<uint8_t> bytesAtX1;  // bytes of the row holding pixel x = 1
        COLORREF readBack;
    } cases[] = {
        {1, false, RGB(255, 255, 255), {0x40}, RGB(255, 255, 255)},
        {4, false, RGB(255, 255, 255), {0x0F}, RGB(255, 255, 255)},
        {8, false, RGB(16, 16, 16), {0, 16}, RGB(16, 16, 16)},
        {16, false, RGB(255, 0, 8), {0, 0, 0x01, 0x7C}, RGB(255, 0, 8)},
        {16, true, RGB(0, 255, 0), {0, 0, 0xE0, 0x07}, RGB(0, 255, 0)},
        {24, false, RGB(1, 2, 3), {0, 0, 0, 3, 2, 1}, RGB(1, 2, 3)},
        {32, false, RGB(1, 2, 3), {0, 0, 0, 0, 3, 2, 1, 0}, RGB(1, 2, 3)},
    };
    for (const auto& c : cases) {
        for (bool topDown : {true, false}) {
            Canvas cv(8, 3, c.bpp, c.bpp <= 8 ? gditest::GreyTable(1 << c.bpp) : std::vector<COLORREF>{}, topDown,
                      c.b565);
            EXPECT_EQ(SetPixel(cv.dc, 1, 0, c.color), c.readBack) << c.bpp;
            EXPECT_EQ(GetPixel(cv.dc, 1, 0), c.readBack);
            // Row 0 is the top row: at the block start for top-down, at the end for bottom-up.
            const uint8_t* row = static_cast<uint8_t*>(cv.bits) + (topDown ? 0 : 2 * cv.stride);
            for (size_t i = 0; i < c.bytesAtX1.size(); ++i) EXPECT_EQ(row[i], c.bytesAtX1[i]) << c.bpp << " byte " << i;
            EXPECT_EQ(GetPixel(cv.dc, 8, 0), CLR_INVALID);
            EXPECT_EQ(SetPixel(cv.dc, -1, 0, 0), CLR_INVALID);
        }
    }
}

TEST(GdiBitmaps, SelectingABitmapIntoTwoDcsFails) {
    Canvas a(4, 4, 32);
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, a.bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(a.bitmap));
    // A fresh memory DC holds a 1x1 monochrome bitmap: compatible bitmaps are then monochrome.
    HBITMAP mono = CreateCompatibleBitmap(other, 8, 8);
    BITMAP b;
    GetObjectA(mono, sizeof b, &b);
    EXPECT_EQ(b.bmBitsPixel, 1);
    EXPECT_EQ(b.bmBits, nullptr);
    HBITMAP colour = CreateCompatibleBitmap(a.dc, 8, 8);
    GetObjectA(colour, sizeof b, &b);
    EXPECT_EQ(b.bmBitsPixel, 32);
    DeleteObject(mono);
    DeleteObject(colour);
    DeleteDC(other);
}

TEST(GdiDc, SaveAndRestoreTheWholeState) {
    Canvas cv(8, 8, 32);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    int level1 = SaveDC(cv.dc);
    EXPECT_EQ(level1, 1);
    SelectObject(cv.dc, red);
    SetTextColor(cv.dc, RGB(1, 1, 1));
    SetViewportOrgEx(cv.dc, 3, 3, nullptr);
    IntersectClipRect(cv.dc, 0, 0, 2, 2);
    int level2 = SaveDC(cv.dc);
    EXPECT_EQ(level2, 2);
    SetTextColor(cv.dc, RGB(2, 2, 2));
    SaveDC(cv.dc);
    EXPECT_TRUE(RestoreDC(cv.dc, -1));
    EXPECT_EQ(GetTextColor(cv.dc), RGB(2, 2, 2));
    EXPECT_TRUE(RestoreDC(cv.dc, 1));
    EXPECT_EQ(GetTextColor(cv.dc), RGB(0, 0, 0));
    POINT vp;
    GetViewportOrgEx(cv.dc, &vp);
    EXPECT_EQ(vp.x, 0);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(cv.dc, rgn), 0);
    EXPECT_EQ(GetCurrentObject(cv.dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_FALSE(RestoreDC(cv.dc, 2)) << "level 2 was dropped";
    EXPECT_FALSE(RestoreDC(cv.dc, -1));
    EXPECT_TRUE(DeleteObject(red));
    DeleteObject(rgn);
}

TEST(GdiRegions, CombineModesGiveTheExpectedRectangles) {
    // a: (0,0)-(4,4); b: (2,2)-(6,6)
    struct Case {
        int mode;
        int type;
        std::vector<RECT> rects;
    } cases[] = {
        {RGN_AND, SIMPLEREGION, {{2, 2, 4, 4}}},
        {RGN_OR, COMPLEXREGION, {{0, 0, 4, 2}, {0, 2, 6, 4}, {2, 4, 6, 6}}},
        {RGN_XOR, COMPLEXREGION, {{0, 0, 4, 2}, {0, 2, 2, 4}, {4, 2, 6, 4}, {2, 4, 6, 6}}},
        {RGN_DIFF, COMPLEXREGION, {{0, 0, 4, 2}, {0, 2, 2, 4}}},
        {RGN_COPY, SIMPLEREGION, {{0, 0, 4, 4}}},
    };
    for (const auto& c : cases) {
        HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), d = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.type) << c.mode;
        auto rects = RectsOf(d);
        ASSERT_EQ(rects.size(), c.rects.size()) << c.mode;
        for (size_t i = 0; i < rects.size(); ++i) EXPECT_TRUE(SameRect(rects[i], c.rects[i])) << c.mode << " " << i;
        // dest may be one of the sources
        EXPECT_EQ(CombineRgn(a, a, b, c.mode), c.type);
        EXPECT_TRUE(EqualRgn(a, d));
        DeleteObject(a);
        DeleteObject(b);
        DeleteObject(d);
    }
}

TEST(GdiRegions, BandsAreNormalisedSoEqualSetsCompareEqual) {
    // Two halves side by side and two halves on top of each other both give one rectangle.
    HRGN l = CreateRectRgn(0, 0, 3, 5), r = CreateRectRgn(3, 0, 6, 5), t = CreateRectRgn(0, 0, 6, 2),
         b = CreateRectRgn(0, 2, 6, 5), h = CreateRectRgn(0, 0, 0, 0), v = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(h, l, r, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(v, t, b, RGN_OR), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(h, v));
    EXPECT_EQ(RectsOf(h).size(), 1u);
    // Cutting a hole and filling it again gives back the plain rectangle.
    HRGN hole = CreateRectRgn(2, 1, 4, 3);
    EXPECT_EQ(CombineRgn(h, h, hole, RGN_DIFF), COMPLEXREGION);
    EXPECT_FALSE(EqualRgn(h, v));
    EXPECT_EQ(CombineRgn(h, h, hole, RGN_OR), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(h, v));
    // Empty results
    EXPECT_EQ(CombineRgn(h, l, r, RGN_AND), NULLREGION);
    RECT box;
    EXPECT_EQ(GetRgnBox(h, &box), NULLREGION);
    EXPECT_TRUE(SameRect(box, RECT{0, 0, 0, 0}));
    EXPECT_EQ(CreateRectRgn(5, 5, 5, 9) != nullptr, true);
    for (HRGN x : {l, r, t, b, h, v, hole}) DeleteObject(x);
}

TEST(GdiRegions, PointAndRectangleTestsOffsetAndRegionData) {
    HRGN a = CreateRectRgn(0, 0, 10, 10), hole = CreateRectRgn(3, 3, 6, 6);
    CombineRgn(a, a, hole, RGN_DIFF);
    struct {
        int x, y;
        BOOL in;
    } pts[] = {{0, 0, TRUE},  {9, 9, TRUE}, {10, 9, FALSE}, {9, 10, FALSE}, {3, 3, FALSE},
               {5, 5, FALSE}, {6, 5, TRUE}, {2, 4, TRUE},   {-1, 0, FALSE}};
    for (auto p : pts) EXPECT_EQ(PtInRegion(a, p.x, p.y), p.in) << p.x << "," << p.y;
    RECT inHole{3, 3, 6, 6}, touching{5, 5, 7, 7}, outside{10, 0, 12, 4};
    EXPECT_FALSE(RectInRegion(a, &inHole));
    EXPECT_TRUE(RectInRegion(a, &touching));
    EXPECT_FALSE(RectInRegion(a, &outside));
    EXPECT_EQ(OffsetRgn(a, 100, -5), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(a, 100, -5));
    EXPECT_FALSE(PtInRegion(a, 104, -1));
    RECT box;
    EXPECT_EQ(GetRgnBox(a, &box), COMPLEXREGION);
    EXPECT_TRUE(SameRect(box, RECT{100, -5, 110, 5}));
    // Round trip through RGNDATA; overlapping rectangles are united.
    DWORD size = GetRegionData(a, 0, nullptr);
    std::vector<char> buf(size);
    GetRegionData(a, size, reinterpret_cast<RGNDATA*>(buf.data()));
    EXPECT_EQ(GetRegionData(a, size - 1, reinterpret_cast<RGNDATA*>(buf.data())), 0u);
    HRGN copy = ExtCreateRegion(nullptr, size, reinterpret_cast<RGNDATA*>(buf.data()));
    EXPECT_TRUE(EqualRgn(a, copy));
    struct {
        RGNDATAHEADER h;
        RECT r[2];
    } overlap{{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 2, 0, {}}, {{0, 0, 4, 4}, {2, 2, 6, 6}}};
    HRGN u = ExtCreateRegion(nullptr, sizeof overlap, reinterpret_cast<RGNDATA*>(&overlap));
    HRGN a1 = CreateRectRgn(0, 0, 4, 4), b1 = CreateRectRgn(2, 2, 6, 6), expect = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(expect, a1, b1, RGN_OR);
    EXPECT_TRUE(EqualRgn(u, expect));
    overlap.h.nCount = 1000;  // claims more rectangles than the buffer holds
    EXPECT_EQ(ExtCreateRegion(nullptr, sizeof overlap, reinterpret_cast<RGNDATA*>(&overlap)), nullptr);
    for (HRGN x : {a, hole, copy, u, a1, b1, expect}) DeleteObject(x);
}

TEST(GdiRegion, RegionDataSkipsRectanglesWithoutPixelsAndUnitesMany) {
    // Inverted and empty rectangles add nothing (they are not turned round).
    struct {
        RGNDATAHEADER h;
        RECT r[4];
    } data{{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 4, 0, {}}, {{8, 0, 2, 4}, {0, 5, 3, 5}, {0, 9, 3, 6}, {1, 1, 3, 3}}};
    HRGN rgn = ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    HRGN only = CreateRectRgn(1, 1, 3, 3);
    EXPECT_TRUE(EqualRgn(rgn, only));
    data.h.nCount = 3;  // nothing but rectangles without pixels: an empty region
    HRGN none = ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    ASSERT_NE(none, nullptr);
    RECT box;
    EXPECT_EQ(GetRgnBox(none, &box), NULLREGION);
    // A checkerboard of 2001 one-pixel cells gives the same region as uniting them one by one.
    std::vector<char> buf(sizeof(RGNDATAHEADER) + 2001 * sizeof(RECT));
    RGNDATAHEADER h{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 2001, 0, {}};
    std::memcpy(buf.data(), &h, sizeof h);
    HRGN expect = CreateRectRgn(0, 0, 0, 0);
    for (int i = 0; i < 2001; ++i) {
        const int x = (i * 2) % 90 + (i / 45) % 2, y = i / 45;
        RECT rc{x, y, x + 1, y + 1};
        std::memcpy(buf.data() + sizeof h + i * sizeof(RECT), &rc, sizeof rc);
        HRGN cell = CreateRectRgnIndirect(&rc);
        CombineRgn(expect, expect, cell, RGN_OR);
        DeleteObject(cell);
    }
    HRGN many = ExtCreateRegion(nullptr, static_cast<DWORD>(buf.size()), reinterpret_cast<RGNDATA*>(buf.data()));
    EXPECT_TRUE(EqualRgn(many, expect));
    EXPECT_TRUE(PtInRegion(many, 1, 1));
    EXPECT_FALSE(PtInRegion(many, 0, 1));
    for (HRGN x : {rgn, only, none, expect, many}) DeleteObject(x);
}

TEST(GdiClip, ClipRectanglesUseTheOriginsCurrentAtTheCall) {
    Canvas cv(10, 10, 32);
    SetWindowOrgEx(cv.dc, 5, 0, nullptr);
    EXPECT_EQ(IntersectClipRect(cv.dc, 5, 0, 8, 10), SIMPLEREGION);  // device columns 0..2
    SetWindowOrgEx(cv.dc, 0, 0, nullptr);
    RECT box;
    EXPECT_EQ(GetClipBox(cv.dc, &box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(box, RECT{0, 0, 3, 10}));
    EXPECT_EQ(ExcludeClipRect(cv.dc, 0, 4, 10, 6), COMPLEXREGION);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 10, 10};
    HGDIOBJ old = SelectObject(cv.dc, red);
    PatBlt(cv.dc, 0, 0, 10, 10, PATCOPY);
    SelectObject(cv.dc, old);
    auto pic = cv.Picture(RGB(255, 0, 0));
    EXPECT_EQ(pic[0], "###.......");
    EXPECT_EQ(pic[4], "..........");
    EXPECT_EQ(pic[6], "###.......");
    HRGN got = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(cv.dc, got), 1);
    EXPECT_TRUE(PtInRegion(got, 2, 3));
    EXPECT_FALSE(PtInRegion(got, 2, 4));
    EXPECT_EQ(SelectClipRgn(cv.dc, nullptr), SIMPLEREGION);
    EXPECT_EQ(GetClipRgn(cv.dc, got), 0);
    EXPECT_EQ(IntersectClipRect(cv.dc, 20, 20, 30, 30), NULLREGION);
    EXPECT_EQ(GetClipBox(cv.dc, &box), NULLREGION);
    // ExtSelectClipRgn combines with the current clip (none = the whole bitmap).
    SelectClipRgn(cv.dc, nullptr);
    HRGN band = CreateRectRgn(2, 0, 4, 10);
    EXPECT_EQ(ExtSelectClipRgn(cv.dc, band, RGN_DIFF), COMPLEXREGION);
    EXPECT_EQ(ExtSelectClipRgn(cv.dc, band, RGN_OR), SIMPLEREGION);
    GetClipBox(cv.dc, &box);
    EXPECT_TRUE(SameRect(box, all));
    DeleteObject(red);
    DeleteObject(got);
    DeleteObject(band);
}

TEST(GdiClip, OriginsMapLogicalToDevice) {
    Canvas cv(4, 4, 32);
    POINT old;
    SetWindowOrgEx(cv.dc, 10, 20, &old);
    SetViewportOrgEx(cv.dc, 1, 2, nullptr);
    OffsetViewportOrgEx(cv.dc, 1, 1, &old);
    EXPECT_EQ(old.x, 1);
    POINT p[2] = {{10, 20}, {12, 21}};
    LPtoDP(cv.dc, p, 2);
    EXPECT_EQ(p[0].x, 2);
    EXPECT_EQ(p[0].y, 3);
    EXPECT_EQ(p[1].x, 4);
    DPtoLP(cv.dc, p, 2);
    EXPECT_EQ(p[1].x, 12);
    EXPECT_EQ(p[1].y, 21);
    EXPECT_EQ(SetPixel(cv.dc, 11, 20, RGB(9, 9, 9)), RGB(9, 9, 9));
    EXPECT_EQ(cv.Px32(3, 3), 0x090909u);
    RECT box;
    GetClipBox(cv.dc, &box);
    EXPECT_TRUE(SameRect(box, RECT{8, 17, 12, 21}));
}

TEST(GdiBlit, SrcCopyAndPatBltWithSolidBrushes) {
    Canvas src(4, 4, 32), dst(6, 6, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) src.SetPx32(x, y, 0x80000000u | static_cast<uint32_t>(y * 16 + x));
    EXPECT_TRUE(BitBlt(dst.dc, 1, 2, 4, 4, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.Px32(1, 2), 0x80000000u) << "SRCCOPY between 32-bit surfaces copies the fourth byte";
    EXPECT_EQ(dst.Px32(4, 5), 0x80000000u | 0x33);
    EXPECT_EQ(dst.Px32(0, 0), 0u);
    // Source pixels outside the source bitmap are not read: destination left as it was.
    dst.Fill32(0x00ABCDEF);
    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 6, 6, src.dc, 2, 2, SRCCOPY));
    EXPECT_EQ(dst.Px32(0, 0), 0x80000000u | 0x22);
    EXPECT_EQ(dst.Px32(1, 1), 0x80000000u | 0x33);
    EXPECT_EQ(dst.Px32(2, 1), 0x00ABCDEFu);
    EXPECT_EQ(dst.Px32(0, 2), 0x00ABCDEFu);
    // PatBlt fills with the brush and writes 0 into the fourth byte.
    HBRUSH b = CreateSolidBrush(RGB(0x10, 0x20, 0x30));
    HGDIOBJ old = SelectObject(dst.dc, b);
    EXPECT_TRUE(PatBlt(dst.dc, 5, 5, -2, -3, PATCOPY));  // negative extents cover 3..4 x 2..4
    EXPECT_EQ(dst.Px32(3, 2), 0x00102030u);
    EXPECT_EQ(dst.Px32(4, 4), 0x00102030u);
    EXPECT_EQ(dst.Px32(5, 5), 0x00ABCDEFu);
    EXPECT_EQ(dst.Px32(2, 2), 0x00ABCDEFu);
    EXPECT_TRUE(PatBlt(dst.dc, 0, 0, 0, 5, PATCOPY)) << "zero width draws nothing and succeeds";
    EXPECT_FALSE(PatBlt(dst.dc, 0, 0, 1, 1, SRCCOPY)) << "PatBlt has no source";
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    SelectObject(dst.dc, old);
    DeleteObject(b);
}

TEST(GdiBlit, OverlappingCopyWithinOneBitmap) {
    Canvas cv(8, 1, 32);
    for (int x = 0; x < 8; ++x) cv.SetPx32(x, 0, static_cast<uint32_t>(x));
    BitBlt(cv.dc, 2, 0, 6, 1, cv.dc, 0, 0, SRCCOPY);
    for (int x = 2; x < 8; ++x) EXPECT_EQ(cv.Px32(x, 0), static_cast<uint32_t>(x - 2));
}

TEST(GdiDevice, WindowDcDrawsAtItsOriginInsideAnUnwidenableSystemClip) {
    Canvas surface(20, 20, 32);
    HRGN sys = CreateRectRgn(5, 5, 15, 15);
    HDC wdc = gdi_device::CreateDeviceDC(gdi_device::DeviceKind::Window, surface.bitmap,
                                         reinterpret_cast<HWND>(0x12340), POINT{5, 5}, sys);
    ASSERT_NE(wdc, nullptr);
    EXPECT_EQ(gdi_device::DeviceWindow(wdc), reinterpret_cast<HWND>(0x12340));
    EXPECT_EQ(gdi_device::DeviceSurface(wdc), surface.bitmap);
    EXPECT_FALSE(DeleteDC(wdc));
    EXPECT_EQ(SelectObject(wdc, surface.bitmap), nullptr) << "bitmaps go into memory DCs only";
    HRGN wide = CreateRectRgn(-100, -100, 100, 100);
    SelectClipRgn(wdc, wide);
    HBRUSH b = CreateSolidBrush(RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(wdc, b);
    PatBlt(wdc, -5, -5, 30, 30, PATCOPY);
    auto pic = surface.Picture(RGB(255, 255, 255));
    EXPECT_EQ(pic[4], "....................");
    EXPECT_EQ(pic[5], ".....##########.....");
    EXPECT_EQ(pic[14], ".....##########.....");
    EXPECT_EQ(pic[15], "....................");
    RECT box;
    GetClipBox(wdc, &box);
    EXPECT_TRUE(SameRect(box, RECT{0, 0, 10, 10}));
    EXPECT_EQ(GetPixel(wdc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(wdc, -1, 0), CLR_INVALID);
    // A new system clip replaces the old one.
    HRGN small = CreateRectRgn(0, 0, 6, 6);
    gdi_device::SetDeviceSystemClip(wdc, small);
    GetClipBox(wdc, &box);
    EXPECT_TRUE(SameRect(box, RECT{-5, -5, 1, 1}));
    SelectObject(wdc, old);
    EXPECT_TRUE(gdi_device::DestroyDeviceDC(wdc));
    EXPECT_FALSE(gdi_device::DestroyDeviceDC(wdc));
    DeleteObject(b);
    for (HRGN r : {sys, wide, small}) DeleteObject(r);
}

TEST(GdiDevice, ScreenDcIsReadableButIgnoresDrawing) {
    Canvas composite(8, 8, 32);
    composite.Fill32(0x00112233);
    HDC screen =
        gdi_device::CreateDeviceDC(gdi_device::DeviceKind::Screen, composite.bitmap, nullptr, POINT{}, nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetPixel(screen, 3, 3), RGB(0x11, 0x22, 0x33));
    PatBlt(screen, 0, 0, 8, 8, BLACKNESS);
    SetPixel(screen, 1, 1, RGB(255, 0, 0));
    EXPECT_EQ(composite.Px32(1, 1), 0x00112233u);
    Canvas capture(8, 8, 32);
    EXPECT_TRUE(BitBlt(capture.dc, 0, 0, 8, 8, screen, 0, 0, SRCCOPY | CAPTUREBLT));
    EXPECT_EQ(capture.Px32(7, 7), 0x00112233u);
    gdi_device::DibView view;
    ASSERT_TRUE(gdi_device::GetDibView(composite.bitmap, &view));
    EXPECT_EQ(view.Row(0), composite.bits);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    gdi_device::DestroyDeviceDC(screen);
}

TEST(GdiDc, DeviceCapsAnswerForTheScreen) {
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE before = GetScreenSize();
    SetScreenSize(640, 480);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 640);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 480);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(dc, NUMCOLORS), -1);
    EXPECT_EQ(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
    EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 0);
    SetScreenSize(before.cx, before.cy);
    DeleteDC(dc);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 0);
}

TEST(GdiRegions, RandomCombinationsMatchAPixelModel) {
    std::mt19937 rng(77);
    constexpr int N = 24;
    using Grid = std::array<std::array<bool, N>, N>;
    auto randomRect = [&](HRGN* rgn, Grid* g) {
        int l = static_cast<int>(rng() % N), t = static_cast<int>(rng() % N);
        int r = l + static_cast<int>(rng() % (N - l + 1)), b = t + static_cast<int>(rng() % (N - t + 1));
        *rgn = CreateRectRgn(l, t, r, b);
        for (int y = 0; y < N; ++y)
            for (int x = 0; x < N; ++x) (*g)[y][x] = x >= l && x < r && y >= t && y < b;
    };
    for (int round = 0; round < 60; ++round) {
        HRGN acc;
        Grid model;
        randomRect(&acc, &model);
        for (int step = 0; step < 8; ++step) {
            HRGN other;
            Grid og;
            randomRect(&other, &og);
            int mode = 1 + static_cast<int>(rng() % 5);
            bool swap = rng() % 2;  // the destination may be either source
            int type = swap ? CombineRgn(acc, other, acc, mode) : CombineRgn(acc, acc, other, mode);
            int filled = 0;
            for (int y = 0; y < N; ++y)
                for (int x = 0; x < N; ++x) {
                    bool a = swap ? og[y][x] : model[y][x], b = swap ? model[y][x] : og[y][x], v = a;
                    if (mode == RGN_AND) v = a && b;
                    if (mode == RGN_OR) v = a || b;
                    if (mode == RGN_XOR) v = a != b;
                    if (mode == RGN_DIFF) v = a && !b;
                    model[y][x] = v;
                    filled += v;
                }
            for (int y = 0; y < N; ++y)
                for (int x = 0; x < N; ++x)
                    ASSERT_EQ(PtInRegion(acc, x, y) != 0, model[y][x])
                        << round << "/" << step << " at " << x << "," << y;
            EXPECT_EQ(type == NULLREGION, filled == 0);
            // Normal form: rebuilding the region from its own rectangles gives an equal one.
            DWORD size = GetRegionData(acc, 0, nullptr);
            std::vector<char> buf(size);
            GetRegionData(acc, size, reinterpret_cast<RGNDATA*>(buf.data()));
            HRGN copy = ExtCreateRegion(nullptr, size, reinterpret_cast<RGNDATA*>(buf.data()));
            EXPECT_TRUE(EqualRgn(copy, acc));
            DeleteObject(copy);
            DeleteObject(other);
        }
        DeleteObject(acc);
    }
}

TEST(GdiObjects, ObjectsAreCreatedAndUsedFromSeveralThreads) {
    // Each thread draws into its own DC; they share one font and create objects at once.
    HFONT font = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    std::vector<std::thread> threads;
    std::vector<std::vector<uintptr_t>> made(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, font, &made] {
            Canvas cv(32, 16, 32);
            SelectObject(cv.dc, font);
            for (int i = 0; i < 200; ++i) {
                HBRUSH b = CreateSolidBrush(RGB(t, i, 0));
                HRGN r = CreateRectRgn(0, 0, i % 32, 8);
                made[static_cast<size_t>(t)].push_back(reinterpret_cast<uintptr_t>(b));
                FillRgn(cv.dc, r, b);
                TextOutA(cv.dc, 0, 0, "Wg", 2);
                DeleteObject(r);
                DeleteObject(b);
            }
            SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
        });
    }
    for (auto& th : threads) th.join();
    std::set<uintptr_t> all;
    for (const auto& v : made) all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), 800u) << "handle values are never reused";
    EXPECT_TRUE(DeleteObject(font));
}
