// Fonts and text: face mapping, metrics, extents against FreeType, glyph output with the
// fixed-metric test font, ExtTextOut options and DrawText layout.
#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <string>

#include "gdi_dib_canvas.h"
#include "platform/gdi.h"
#include "platform/gdi_testhooks.h"

using namespace win;
using gditest::Canvas;

namespace {

HFONT MakeFont(const char* face, int height, int weight = FW_NORMAL, bool italic = false, bool underline = false,
               int escapement = 0) {
    return CreateFontA(height, 0, escapement, escapement, weight, italic, underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, face);
}

// The file fontconfig gives for a family and style, independently of the GDI.
std::string FontFile(const char* family, bool bold) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcConfigSubstitute(config, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult r;
    FcPattern* m = FcFontMatch(config, pat, &r);
    FcPatternDestroy(pat);
    std::string out;
    FcChar8* file = nullptr;
    if (m && FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) out = reinterpret_cast<const char*>(file);
    if (m) FcPatternDestroy(m);
    FcConfigDestroy(config);
    return out;
}

// Sum of FreeType's hinted monochrome advances at a pixel em size.
int FreeTypeWidth(const std::string& file, int em, const char* text) {
    FT_Library lib;
    EXPECT_EQ(FT_Init_FreeType(&lib), 0);
    FT_Face face;
    EXPECT_EQ(FT_New_Face(lib, file.c_str(), 0, &face), 0) << file;
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em));
    int w = 0;
    for (const char* p = text; *p; ++p) {
        FT_Load_Char(face, static_cast<unsigned char>(*p), FT_LOAD_TARGET_MONO);
        w += static_cast<int>((face->glyph->advance.x + 32) >> 6);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return w;
}

class TestFontScope {
public:
    TestFontScope() { test::UseTestFont(true); }
    ~TestFontScope() { test::UseTestFont(false); }
};

}  // namespace

TEST(GdiFonts, WindowsFaceNamesMapToMetricCompatibleFaces) {
    struct Case {
        const char* face;
        const char* family;
        int weight;
    } cases[] = {{"Arial", "Liberation Sans", FW_NORMAL},       {"Times New Roman", "Liberation Serif", FW_NORMAL},
                 {"Courier New", "Liberation Mono", FW_NORMAL}, {"MS Sans Serif", "Liberation Sans", FW_NORMAL},
                 {"Tahoma", "Liberation Sans", FW_NORMAL},      {"Verdana", "Liberation Sans", FW_NORMAL},
                 {"Arial", "Liberation Sans", FW_BOLD},         {"NoSuchFaceAnywhere", "Liberation Sans", FW_NORMAL}};
    const char* sample = "Hello, World! 0123 Wij";
    Canvas cv(4, 4, 32);
    for (const auto& c : cases) {
        for (int em : {11, 16, 27}) {
            HFONT font = MakeFont(c.face, -em, c.weight);
            HGDIOBJ old = SelectObject(cv.dc, font);
            SIZE sz;
            ASSERT_TRUE(GetTextExtentPoint32A(cv.dc, sample, static_cast<int>(std::strlen(sample)), &sz));
            std::string file = FontFile(c.family, c.weight >= FW_BOLD);
            ASSERT_FALSE(file.empty());
            EXPECT_EQ(sz.cx, FreeTypeWidth(file, em, sample)) << c.face << " " << em;
            TEXTMETRICA tm;
            ASSERT_TRUE(GetTextMetricsA(cv.dc, &tm));
            EXPECT_EQ(sz.cy, tm.tmHeight);
            EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, em) << "negative height is the em size";
            EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
            EXPECT_EQ(tm.tmWeight, c.weight);
            SelectObject(cv.dc, old);
            DeleteObject(font);
        }
    }
}

TEST(GdiFonts, PositiveHeightIsTheCellHeightAndLogfontRoundTrips) {
    Canvas cv(4, 4, 32);
    for (int h : {10, 13, 20, 33}) {
        HFONT font = MakeFont("Times New Roman", h, FW_NORMAL, true, true);
        SelectObject(cv.dc, font);
        TEXTMETRICA tm;
        GetTextMetricsA(cv.dc, &tm);
        EXPECT_EQ(tm.tmHeight, h);
        EXPECT_GT(tm.tmInternalLeading, 0);
        EXPECT_EQ(tm.tmItalic, 1);
        EXPECT_EQ(tm.tmUnderlined, 1);
        LOGFONTA lf;
        ASSERT_EQ(GetObjectA(font, sizeof lf, &lf), 60);
        EXPECT_EQ(lf.lfHeight, h);
        EXPECT_STREQ(lf.lfFaceName, "Times New Roman");
        char face[LF_FACESIZE];
        EXPECT_EQ(GetTextFaceA(cv.dc, sizeof face, face), 15);
        EXPECT_STREQ(face, "Times New Roman");
        SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(font);
    }
    // Fixed pitch shows in the metrics: every Courier New character has the same advance.
    HFONT mono = MakeFont("Courier New", -13);
    SelectObject(cv.dc, mono);
    SIZE a, b;
    GetTextExtentPoint32A(cv.dc, "iiii", 4, &a);
    GetTextExtentPoint32A(cv.dc, "WWWW", 4, &b);
    EXPECT_EQ(a.cx, b.cx);
    TEXTMETRICA tm;
    GetTextMetricsA(cv.dc, &tm);
    EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(mono);
}

TEST(GdiText, TestFontMetricsAndGlyphBoxes) {
    TestFontScope scope;
    Canvas cv(16, 14, 32);
    cv.Fill32(0x00FFFFFF);
    HFONT font = MakeFont("Arial", -20);
    SelectObject(cv.dc, font);
    TEXTMETRICA tm;
    GetTextMetricsA(cv.dc, &tm);
    EXPECT_EQ(tm.tmHeight, 13);
    EXPECT_EQ(tm.tmAscent, 10);
    EXPECT_EQ(tm.tmDescent, 3);
    EXPECT_EQ(tm.tmInternalLeading, 2);
    EXPECT_EQ(tm.tmAveCharWidth, 7);
    SIZE sz;
    GetTextExtentPoint32A(cv.dc, "AB", 2, &sz);
    EXPECT_EQ(sz.cx, 14);
    EXPECT_EQ(sz.cy, 13);
    GetTextExtentPoint32A(cv.dc, "\xD0\x96\xFF", 3, &sz);  // one Cyrillic letter and one invalid byte
    EXPECT_EQ(sz.cx, 14);
    SetBkMode(cv.dc, TRANSPARENT);
    SetTextColor(cv.dc, RGB(0, 0, 0));
    TextOutA(cv.dc, 0, 0, "AB", 2);
    auto pic = cv.Picture(RGB(0, 0, 0));
    EXPECT_EQ(pic[1], "................");
    for (int y = 2; y < 10; ++y) EXPECT_EQ(pic[static_cast<size_t>(y)], ".#####..#####...") << y;
    EXPECT_EQ(pic[10], "................");
    // Opaque mode fills the text cell with the background colour first.
    SetBkMode(cv.dc, OPAQUE);
    SetBkColor(cv.dc, RGB(255, 0, 0));
    TextOutA(cv.dc, 1, 0, "A", 1);
    EXPECT_EQ(GetPixel(cv.dc, 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(cv.dc, 7, 12), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(cv.dc, 8, 12), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(cv.dc, 2, 2), RGB(0, 0, 0));
    SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(GdiText, AlignmentAndCurrentPosition) {
    TestFontScope scope;
    struct Case {
        UINT align;
        int x, y;
        int boxLeft, boxTop;  // where the first glyph's box lands
    } cases[] = {{TA_LEFT | TA_TOP, 10, 5, 11, 7},
                 {TA_RIGHT | TA_TOP, 24, 5, 11, 7},
                 {TA_CENTER | TA_TOP, 17, 5, 11, 7},
                 {TA_LEFT | TA_BASELINE, 10, 15, 11, 7},
                 {TA_LEFT | TA_BOTTOM, 10, 18, 11, 7}};
    for (const auto& c : cases) {
        Canvas cv(40, 30, 32);
        cv.Fill32(0x00FFFFFF);
        SetBkMode(cv.dc, TRANSPARENT);
        SetTextAlign(cv.dc, c.align);
        TextOutA(cv.dc, c.x, c.y, "AB", 2);
        EXPECT_EQ(GetPixel(cv.dc, c.boxLeft, c.boxTop), RGB(0, 0, 0)) << c.align;
        EXPECT_EQ(GetPixel(cv.dc, c.boxLeft - 1, c.boxTop), RGB(255, 255, 255)) << c.align;
        EXPECT_EQ(GetPixel(cv.dc, c.boxLeft, c.boxTop - 1), RGB(255, 255, 255)) << c.align;
    }
    Canvas cv(40, 20, 32);
    SetTextAlign(cv.dc, TA_UPDATECP);
    EXPECT_EQ(GetTextAlign(cv.dc), TA_UPDATECP);
    MoveToEx(cv.dc, 3, 0, nullptr);
    TextOutA(cv.dc, 100, 100, "ABC", 3);
    POINT pos;
    GetCurrentPositionEx(cv.dc, &pos);
    EXPECT_EQ(pos.x, 24);
}

TEST(GdiText, ExtTextOutOpaqueAndClippedRectangles) {
    TestFontScope scope;
    Canvas cv(20, 14, 32);
    cv.Fill32(0x00FFFFFF);
    SetBkColor(cv.dc, RGB(0, 255, 0));
    RECT rc{0, 0, 4, 14};
    ExtTextOutA(cv.dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &rc, "AB", 2, nullptr);
    auto pic = cv.Picture(RGB(0, 0, 0));
    EXPECT_EQ(pic[5], ".###................");
    EXPECT_EQ(GetPixel(cv.dc, 0, 13), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(cv.dc, 4, 13), RGB(255, 255, 255));
    // An advance array places each character.
    int dx[2] = {10, 10};
    cv.Fill32(0x00FFFFFF);
    SetBkMode(cv.dc, TRANSPARENT);
    ExtTextOutA(cv.dc, 0, 0, 0, nullptr, "AB", 2, dx);
    EXPECT_EQ(cv.Picture(RGB(0, 0, 0))[5], ".#####.....#####....");
}

TEST(GdiText, DrawTextLayout) {
    TestFontScope scope;
    Canvas cv(60, 60, 32);
    // Word breaks: 3 words of 3 characters in a 50-pixel box: "aaa bbb" is 49 wide.
    RECT calc{0, 0, 50, 0};
    EXPECT_EQ(DrawTextA(cv.dc, "aaa bbb ccc", -1, &calc, DT_WORDBREAK | DT_CALCRECT), 26);
    EXPECT_EQ(calc.right, 49);
    EXPECT_EQ(calc.bottom, 26);
    RECT narrow{0, 0, 20, 0};
    DrawTextA(cv.dc, "aaaaa b", -1, &narrow, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(narrow.right, 35) << "a word longer than the box stays whole";
    RECT lines{0, 0, 100, 0};
    EXPECT_EQ(DrawTextA(cv.dc, "a\r\nbb\nc", -1, &lines, DT_CALCRECT), 39);
    EXPECT_EQ(lines.right, 14);
    RECT single{0, 0, 100, 0};
    EXPECT_EQ(DrawTextA(cv.dc, "a\nb", -1, &single, DT_CALCRECT | DT_SINGLELINE), 13);
    EXPECT_EQ(single.right, 14);
    RECT prefix{0, 0, 100, 0};
    DrawTextA(cv.dc, "&File && more", -1, &prefix, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefix.right, 7 * 11);
    DrawTextA(cv.dc, "&File", -1, &prefix, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(prefix.right, 7 * 5);

    // Centred in both directions on one line.
    cv.Fill32(0x00FFFFFF);
    SetBkMode(cv.dc, TRANSPARENT);
    RECT box{0, 0, 60, 60};
    EXPECT_EQ(DrawTextA(cv.dc, "ab", 2, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE), 36);
    // text 14 wide at x = 23, cell top at y = 23: boxes from (24, 25)
    EXPECT_EQ(GetPixel(cv.dc, 24, 25), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(cv.dc, 23, 25), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(cv.dc, 24, 24), RGB(255, 255, 255));
    // Right alignment and the end ellipsis.
    cv.Fill32(0x00FFFFFF);
    RECT right{0, 0, 60, 13};
    DrawTextA(cv.dc, "a", 1, &right, DT_RIGHT);
    EXPECT_EQ(GetPixel(cv.dc, 54, 5), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(cv.dc, 53, 5), RGB(255, 255, 255));
    RECT ell{0, 0, 40, 0};
    DrawTextA(cv.dc, "abcdefghij", -1, &ell, DT_CALCRECT | DT_END_ELLIPSIS | DT_SINGLELINE);
    EXPECT_EQ(ell.right, 35) << "two letters and three dots";
    // Prefix underline: a line under the marked character only.
    cv.Fill32(0x00FFFFFF);
    RECT pr{0, 0, 60, 20};
    DrawTextA(cv.dc, "a&b", -1, &pr, DT_LEFT);
    EXPECT_EQ(GetPixel(cv.dc, 9, 11), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(cv.dc, 3, 11), RGB(255, 255, 255));
    // Clipped to the rectangle unless DT_NOCLIP.
    cv.Fill32(0x00FFFFFF);
    RECT small{0, 0, 3, 13};
    DrawTextA(cv.dc, "a", 1, &small, DT_LEFT);
    EXPECT_EQ(GetPixel(cv.dc, 2, 5), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(cv.dc, 3, 5), RGB(255, 255, 255));
    DrawTextA(cv.dc, "a", 1, &small, DT_LEFT | DT_NOCLIP);
    EXPECT_EQ(GetPixel(cv.dc, 3, 5), RGB(0, 0, 0));
}

TEST(GdiText, RealGlyphsDrawInsideTheCellAndUnderlineAddsALine) {
    Canvas cv(60, 30, 32);
    cv.Fill32(0x00FFFFFF);
    HFONT font = MakeFont("Arial", -20);
    HFONT under = MakeFont("Arial", -20, FW_NORMAL, false, true);
    SelectObject(cv.dc, font);
    SetBkMode(cv.dc, TRANSPARENT);
    TextOutA(cv.dc, 2, 2, "H", 1);
    TEXTMETRICA tm;
    GetTextMetricsA(cv.dc, &tm);
    SIZE sz;
    GetTextExtentPoint32A(cv.dc, "H", 1, &sz);
    int ink = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            if (GetPixel(cv.dc, x, y) == RGB(0, 0, 0)) {
                ++ink;
                EXPECT_GE(x, 2);
                EXPECT_LT(x, 2 + sz.cx);
                EXPECT_GE(y, 2 + tm.tmInternalLeading);
                EXPECT_LT(y, 2 + tm.tmAscent);
            }
    EXPECT_GT(ink, 20);
    cv.Fill32(0x00FFFFFF);
    SelectObject(cv.dc, under);
    TextOutA(cv.dc, 2, 2, "  ", 2);
    int row = 0;
    for (int y = 0; y < 30; ++y) {
        int n = 0;
        for (int x = 0; x < 60; ++x) n += GetPixel(cv.dc, x, y) == RGB(0, 0, 0);
        row = std::max(row, n);
    }
    GetTextExtentPoint32A(cv.dc, "  ", 2, &sz);
    EXPECT_EQ(row, sz.cx) << "the underline spans the text's extent";
    SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteObject(under);
    // Rotated text keeps its extent.
    HFONT rot = MakeFont("Arial", -20, FW_NORMAL, false, false, 900);
    SelectObject(cv.dc, rot);
    SIZE rs;
    GetTextExtentPoint32A(cv.dc, "Hello", 5, &rs);
    HFONT plain = MakeFont("Arial", -20);
    SelectObject(cv.dc, plain);
    SIZE ps;
    GetTextExtentPoint32A(cv.dc, "Hello", 5, &ps);
    EXPECT_EQ(rs.cx, ps.cx);
    SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(rot);
    DeleteObject(plain);
}

TEST(GdiText, BadArgumentsFail) {
    Canvas cv(4, 4, 32);
    SIZE sz;
    EXPECT_FALSE(GetTextExtentPoint32A(cv.dc, nullptr, 3, &sz));
    EXPECT_FALSE(GetTextExtentPoint32A(cv.dc, "abc", -1, &sz));
    EXPECT_FALSE(TextOutA(reinterpret_cast<HDC>(0x7FFF0000), 0, 0, "a", 1));
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
    EXPECT_EQ(DrawTextA(cv.dc, "a", 1, nullptr, 0), 0);
}

TEST(GdiText, GlyphMetricsMatchTheExtents) {
    Canvas cv(4, 4, 32);
    MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm;
    {
        TestFontScope scope;
        ASSERT_NE(GetGlyphOutlineA(cv.dc, 'x', GGO_METRICS, &gm, 0, nullptr, &identity), GDI_ERROR);
        EXPECT_EQ(gm.gmBlackBoxX, 5u);
        EXPECT_EQ(gm.gmBlackBoxY, 8u);
        EXPECT_EQ(gm.gmptGlyphOrigin.x, 1);
        EXPECT_EQ(gm.gmptGlyphOrigin.y, 8);
        EXPECT_EQ(gm.gmCellIncX, 7);
    }
    HFONT font = MakeFont("Arial", -24);
    SelectObject(cv.dc, font);
    for (char c : std::string("iWg ")) {
        ASSERT_NE(GetGlyphOutlineA(cv.dc, static_cast<UINT>(c), GGO_METRICS, &gm, 0, nullptr, &identity), GDI_ERROR);
        SIZE sz;
        GetTextExtentPoint32A(cv.dc, &c, 1, &sz);
        EXPECT_EQ(gm.gmCellIncX, sz.cx) << c;
        EXPECT_GE(gm.gmBlackBoxX, 1u);
    }
    MAT2 scale{{0, 2}, {0, 0}, {0, 0}, {0, 2}};
    EXPECT_EQ(GetGlyphOutlineA(cv.dc, 'i', GGO_METRICS, &gm, 0, nullptr, &scale), GDI_ERROR);
    SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(GdiText, EscapementRotatesTheRunCounterClockwise) {
    Canvas cv(60, 80, 32);
    cv.Fill32(0x00FFFFFF);
    HFONT font = MakeFont("Arial", -20, FW_NORMAL, false, false, 900);
    SelectObject(cv.dc, font);
    SetBkMode(cv.dc, TRANSPARENT);
    SetTextAlign(cv.dc, TA_BASELINE);
    TextOutA(cv.dc, 30, 75, "HHHH", 4);
    int minX = 99, maxX = -1, minY = 99, maxY = -1;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 60; ++x)
            if (GetPixel(cv.dc, x, y) == RGB(0, 0, 0)) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0);
    EXPECT_GT(maxY - minY, 2 * (maxX - minX)) << "the run goes upwards";
    EXPECT_LT(maxX, 30) << "glyphs stand left of the upward baseline";
    EXPECT_LE(maxY, 75);
    SelectObject(cv.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(GdiText, AntialiasedQualityBlendsGreyEdgesWithTheSameAdvances) {
    Canvas mono(80, 30, 32), grey(80, 30, 32);
    HFONT m = CreateFontA(-18, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, "Arial");
    HFONT g = CreateFontA(-18, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0, "Arial");
    SIZE ms, gs;
    for (auto [cv, font, size] : {std::tuple{&mono, m, &ms}, {&grey, g, &gs}}) {
        cv->Fill32(0x00FFFFFF);
        SelectObject(cv->dc, font);
        SetBkMode(cv->dc, TRANSPARENT);
        TextOutA(cv->dc, 2, 2, "Sow", 3);
        GetTextExtentPoint32A(cv->dc, "Sow", 3, size);
    }
    EXPECT_EQ(ms.cx, gs.cx);
    int monoGrey = 0, greyGrey = 0, greyInk = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 80; ++x) {
            COLORREF a = GetPixel(mono.dc, x, y), b = GetPixel(grey.dc, x, y);
            monoGrey += a != RGB(0, 0, 0) && a != RGB(255, 255, 255);
            greyGrey += b != RGB(0, 0, 0) && b != RGB(255, 255, 255);
            greyInk += b != RGB(255, 255, 255);
            EXPECT_EQ(GetRValue(b), GetBValue(b)) << "grey, not coloured";
            EXPECT_EQ(grey.Px32(x, y) >> 24, 0u);
        }
    EXPECT_EQ(monoGrey, 0);
    EXPECT_GT(greyGrey, 10);
    EXPECT_GT(greyInk, 40);
    for (Canvas* cv : {&mono, &grey}) SelectObject(cv->dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(m);
    DeleteObject(g);
}
