// Colours, graphics objects and canvases drawing into bitmaps.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "classlib/Graphics.h"
#include "classlib/TypInfo.h"
#include "platform/gdi_testhooks.h"
#include "platform/user.h"

using namespace cl;

namespace {

bool SamePoint(TPoint a, TPoint b) { return a.x == b.x && a.y == b.y; }
bool SameSize(TSize a, TSize b) { return a.cx == b.cx && a.cy == b.cy; }

uint32_t Px(TBitmap& b, int x, int y) { return static_cast<uint32_t>(b.GetCanvas()->Pixels(x, y)); }

std::unique_ptr<TBitmap> Make(int w, int h, TPixelFormat pf = pf24bit) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf);
    b->SetSize(w, h);
    return b;
}

}  // namespace

TEST(Colors, SystemColoursFollowThePlatformOthersStay) {
    EXPECT_EQ(static_cast<uint32_t>(ColorToRGB(clBtnFace)), win::GetSysColor(win::COLOR_BTNFACE));
    EXPECT_EQ(static_cast<uint32_t>(ColorToRGB(clWindowText)), win::GetSysColor(win::COLOR_WINDOWTEXT));
    EXPECT_EQ(static_cast<uint32_t>(ColorToRGB(clInfoBk)), win::GetSysColor(win::COLOR_INFOBK));
    EXPECT_EQ(ColorToRGB(clNone), clNone);
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
    EXPECT_EQ(ColorToRGB(0x020A0B0C), 0x020A0B0C);
    EXPECT_EQ(static_cast<uint32_t>(clBtnFace), 0x8000000Fu);
}

TEST(GraphicsObjects, DefaultsChangesAndHandles) {
    TFont f;
    EXPECT_EQ(f.GetName(), "MS Sans Serif");
    EXPECT_EQ(f.GetHeight(), -11);
    EXPECT_EQ(f.GetSize(), 8);
    EXPECT_EQ(f.GetColor(), clWindowText);
    EXPECT_EQ(f.GetCharset(), win::DEFAULT_CHARSET);
    int changes = 0;
    f.OnChange = [&](TObject*) { ++changes; };
    f.SetSize(12);
    EXPECT_EQ(f.GetHeight(), -16);
    EXPECT_EQ(f.GetSize(), 12);
    f.SetStyle(FontStyleBit(fsBold) | FontStyleBit(fsItalic));
    f.SetColor(clRed);
    f.SetColor(clRed);  // unchanged: no event
    EXPECT_EQ(changes, 3);
    win::LOGFONTA lf;
    ASSERT_EQ(win::GetObjectA(f.GetHandle(), sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -16);
    EXPECT_EQ(lf.lfWeight, win::FW_BOLD);
    EXPECT_EQ(lf.lfItalic, 1);
    EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");

    TFont g;
    g.Assign(&f);
    EXPECT_EQ(g.GetHeight(), -16);
    EXPECT_EQ(g.GetStyle(), f.GetStyle());
    EXPECT_EQ(g.GetColor(), clRed);
    lf.lfWeight = win::FW_NORMAL;
    lf.lfUnderline = 1;
    std::strcpy(lf.lfFaceName, "Tahoma");
    g.SetLogFont(lf);
    EXPECT_EQ(g.GetName(), "Tahoma");
    EXPECT_EQ(g.GetStyle(), FontStyleBit(fsItalic) | FontStyleBit(fsUnderline));

    TPen p;
    EXPECT_EQ(p.GetColor(), clBlack);
    EXPECT_EQ(p.GetWidth(), 1);
    EXPECT_EQ(p.GetStyle(), psSolid);
    EXPECT_EQ(p.GetMode(), pmCopy);
    p.SetColor(clBlue);
    p.SetWidth(3);
    win::LOGPEN lp;
    ASSERT_GT(win::GetObjectA(p.GetHandle(), sizeof lp, &lp), 0);
    EXPECT_EQ(lp.lopnColor, 0xFF0000u);
    EXPECT_EQ(lp.lopnWidth.x, 3);

    TBrush b;
    EXPECT_EQ(b.GetColor(), clWhite);
    EXPECT_EQ(b.GetStyle(), bsSolid);
    b.SetColor(clBtnFace);  // system colours are resolved for the GDI
    win::LOGBRUSH lb;
    ASSERT_GT(win::GetObjectA(b.GetHandle(), sizeof lb, &lb), 0);
    EXPECT_EQ(lb.lbColor, win::GetSysColor(win::COLOR_BTNFACE));
    b.SetStyle(bsClear);
    ASSERT_GT(win::GetObjectA(b.GetHandle(), sizeof lb, &lb), 0);
    EXPECT_EQ(lb.lbStyle, win::BS_NULL);
}

TEST(GraphicsObjects, PenModesMapToTheirRop2Codes) {
    const std::pair<TPenMode, int> cases[] = {{pmBlack, win::R2_BLACK},
                                              {pmWhite, win::R2_WHITE},
                                              {pmNop, win::R2_NOP},
                                              {pmNot, win::R2_NOT},
                                              {pmCopy, win::R2_COPYPEN},
                                              {pmNotCopy, win::R2_NOTCOPYPEN},
                                              {pmMergePenNot, win::R2_MERGEPENNOT},
                                              {pmMaskPenNot, win::R2_MASKPENNOT},
                                              {pmMergeNotPen, win::R2_MERGENOTPEN},
                                              {pmMaskNotPen, win::R2_MASKNOTPEN},
                                              {pmMerge, win::R2_MERGEPEN},
                                              {pmNotMerge, win::R2_NOTMERGEPEN},
                                              {pmMask, win::R2_MASKPEN},
                                              {pmNotMask, win::R2_NOTMASKPEN},
                                              {pmXor, win::R2_XORPEN},
                                              {pmNotXor, win::R2_NOTXORPEN}};
    for (auto [mode, rop2] : cases) EXPECT_EQ(PenModeToROP2(mode), rop2) << mode;
}

TEST(GraphicsObjects, PublishedByName) {
    TFont f;
    SetOrdProp(&f, "Height", -20);
    EXPECT_EQ(f.GetHeight(), -20);
    SetStrProp(&f, "Name", "Arial");
    EXPECT_EQ(GetStrProp(&f, "Name"), "Arial");
    TPen p;
    SetEnumProp(&p, "Style", "psDot");
    EXPECT_EQ(p.GetStyle(), psDot);
    TBrush b;
    SetOrdProp(&b, "Color", clYellow);
    EXPECT_EQ(b.GetColor(), clYellow);
    EXPECT_EQ(GetEnumProp(&b, "Style"), "bsSolid");
}

TEST(Canvas, BitmapCanvasIsAMemoryDcWithTheBitmapSelected) {
    auto b = Make(8, 6);
    win::HDC dc = b->GetCanvas()->GetHandle();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(win::GetObjectType(dc), win::OBJ_MEMDC);
    EXPECT_EQ(win::GetCurrentObject(dc, win::OBJ_BITMAP), b->GetHandle());
    // A new size gives a new bitmap, selected into the same canvas.
    b->SetSize(20, 10);
    dc = b->GetCanvas()->GetHandle();
    EXPECT_EQ(win::GetCurrentObject(dc, win::OBJ_BITMAP), b->GetHandle());
    EXPECT_TRUE(EqualRect(b->GetCanvas()->GetClipRect(), Rect(0, 0, 20, 10)));
}

TEST(Canvas, SelectionSetsColoursAndModes) {
    auto b = Make(4, 4);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(clRed);
    c->GetFont()->SetColor(clBlue);
    c->FillRect(Rect(0, 0, 1, 1));
    c->TextOut(0, 0, "");
    win::HDC dc = c->GetHandle();
    EXPECT_EQ(win::GetBkColor(dc), 0x0000FFu);
    EXPECT_EQ(win::GetTextColor(dc), 0xFF0000u);
    EXPECT_EQ(win::GetBkMode(dc), win::OPAQUE);
    c->GetBrush()->SetStyle(bsClear);
    c->FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(win::GetBkMode(dc), win::TRANSPARENT);
    c->GetPen()->SetMode(pmXor);
    c->LineTo(1, 1);
    EXPECT_EQ(win::GetROP2(dc), win::R2_XORPEN);
    c->Refresh();
    EXPECT_NE(win::GetCurrentObject(dc, win::OBJ_PEN), c->GetPen()->GetHandle());
}

TEST(Canvas, ShapesGoToTheRightPixels) {
    auto b = Make(10, 10);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 10, 10));
    c->GetBrush()->SetColor(clLime);
    c->GetPen()->SetColor(clRed);
    c->Rectangle(1, 1, 6, 5);
    EXPECT_EQ(Px(*b, 1, 1), 0x0000FFu);
    EXPECT_EQ(Px(*b, 5, 4), 0x0000FFu);
    EXPECT_EQ(Px(*b, 3, 2), 0x00FF00u);
    EXPECT_EQ(Px(*b, 6, 4), 0xFFFFFFu);
    EXPECT_EQ(Px(*b, 0, 0), 0xFFFFFFu);

    c->GetPen()->SetColor(clBlue);
    c->MoveTo(0, 8);
    c->LineTo(5, 8);
    EXPECT_TRUE(SamePoint(c->GetPenPos(), Point(5, 8)));
    EXPECT_EQ(Px(*b, 0, 8), 0xFF0000u);
    EXPECT_EQ(Px(*b, 4, 8), 0xFF0000u);
    EXPECT_EQ(Px(*b, 5, 8), 0xFFFFFFu);  // end pixel excluded

    c->GetBrush()->SetColor(clYellow);
    c->FrameRect(Rect(7, 0, 10, 3));
    EXPECT_EQ(Px(*b, 7, 0), 0x00FFFFu);
    EXPECT_EQ(Px(*b, 9, 2), 0x00FFFFu);
    EXPECT_EQ(Px(*b, 8, 1), 0xFFFFFFu);

    c->GetBrush()->SetStyle(bsClear);
    c->FillRect(Rect(0, 0, 10, 10));  // a clear brush fills nothing
    EXPECT_EQ(Px(*b, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Px(*b, 3, 2), 0x00FF00u);

    c->SetPixels(9, 9, clFuchsia);
    EXPECT_EQ(Px(*b, 9, 9), 0xFF00FFu);
    EXPECT_EQ(static_cast<uint32_t>(c->Pixels(10, 10)), win::CLR_INVALID);

    c->GetBrush()->SetColor(clBlack);
    c->GetPen()->SetStyle(psClear);
    c->Polygon({Point(0, 0), Point(4, 0), Point(4, 4), Point(0, 4)});
    EXPECT_EQ(Px(*b, 0, 0), 0u);
    EXPECT_EQ(Px(*b, 3, 3), 0u);
    EXPECT_EQ(Px(*b, 4, 4), 0x0000FFu);  // right and bottom edges excluded: the earlier outline stays
}

TEST(Canvas, EllipseAndPolylineMatchTheGdi) {
    auto a = Make(16, 12);
    auto b = Make(16, 12);
    a->GetCanvas()->GetBrush()->SetColor(clNavy);
    a->GetCanvas()->GetPen()->SetColor(clMaroon);
    a->GetCanvas()->Ellipse(1, 1, 15, 11);
    a->GetCanvas()->Polyline({Point(0, 11), Point(8, 0), Point(15, 11)});
    win::HDC dc = b->GetCanvas()->GetHandle();
    win::HBRUSH br = win::CreateSolidBrush(0x800000);
    win::HPEN pen = win::CreatePen(win::PS_SOLID, 1, 0x000080);
    win::HGDIOBJ ob = win::SelectObject(dc, br), op = win::SelectObject(dc, pen);
    win::Ellipse(dc, 1, 1, 15, 11);
    const win::POINT pts[] = {{0, 11}, {8, 0}, {15, 11}};
    win::Polyline(dc, pts, 3);
    win::SelectObject(dc, ob);
    win::SelectObject(dc, op);
    win::DeleteObject(br);
    win::DeleteObject(pen);
    for (int y = 0; y < 12; ++y)
        ASSERT_EQ(std::memcmp(a->ScanLine(y), b->ScanLine(y), static_cast<size_t>(a->RowBytes())), 0) << y;
    EXPECT_EQ(Px(*a, 8, 6), 0x800000u);
}

TEST(Canvas, TextWithTheTestFont) {
    win::test::UseTestFont(true);
    auto b = Make(40, 20);
    TCanvas* c = b->GetCanvas();
    c->GetBrush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, 40, 20));
    c->GetFont()->SetColor(clBlack);
    EXPECT_EQ(c->TextWidth("abc"), 21);
    EXPECT_EQ(c->TextHeight("abc"), 13);
    EXPECT_TRUE(SameSize(c->TextExtent("ab"), TSize{14, 13}));
    c->GetBrush()->SetStyle(bsClear);
    c->TextOut(2, 3, "ab");
    // Glyph boxes at (1, 2) of each 7 x 13 cell, 5 x 8 pixels.
    EXPECT_EQ(Px(*b, 3, 5), 0u);
    EXPECT_EQ(Px(*b, 7, 12), 0u);
    EXPECT_EQ(Px(*b, 2, 3), 0xFFFFFFu);
    EXPECT_EQ(Px(*b, 8, 5), 0xFFFFFFu);
    EXPECT_EQ(Px(*b, 10, 5), 0u);
    EXPECT_TRUE(SamePoint(c->GetPenPos(), Point(16, 3)));

    // TextRect clips to its rectangle and fills it with an opaque brush.
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(clRed);
    c->TextRect(Rect(20, 0, 24, 20), 20, 0, "x");
    EXPECT_EQ(Px(*b, 22, 4), 0u);
    EXPECT_EQ(Px(*b, 20, 15), 0x0000FFu);
    EXPECT_EQ(Px(*b, 24, 4), 0xFFFFFFu);
    EXPECT_EQ(Px(*b, 25, 4), 0xFFFFFFu);
    win::test::UseTestFont(false);
}

TEST(Canvas, CopyRectUsesCopyModeAndStretches) {
    auto src = Make(2, 2);
    src->GetCanvas()->SetPixels(0, 0, clRed);
    src->GetCanvas()->SetPixels(1, 0, clLime);
    src->GetCanvas()->SetPixels(0, 1, clBlue);
    src->GetCanvas()->SetPixels(1, 1, clWhite);
    auto dst = Make(4, 4);
    dst->GetCanvas()->CopyRect(Rect(0, 0, 4, 4), src->GetCanvas(), Rect(0, 0, 2, 2));
    EXPECT_EQ(Px(*dst, 1, 1), 0x0000FFu);
    EXPECT_EQ(Px(*dst, 2, 1), 0x00FF00u);
    EXPECT_EQ(Px(*dst, 1, 2), 0xFF0000u);
    EXPECT_EQ(Px(*dst, 3, 3), 0xFFFFFFu);
    dst->GetCanvas()->SetCopyMode(cmNotSrcCopy);
    dst->GetCanvas()->CopyRect(Rect(0, 0, 2, 2), src->GetCanvas(), Rect(0, 0, 2, 2));
    EXPECT_EQ(Px(*dst, 0, 0), 0xFFFF00u);
    EXPECT_EQ(Px(*dst, 1, 1), 0u);
}

TEST(Canvas, DrawAndStretchDrawABitmap) {
    auto src = Make(2, 1);
    src->GetCanvas()->SetPixels(0, 0, clRed);
    src->GetCanvas()->SetPixels(1, 0, clBlue);
    auto dst = Make(6, 3);
    dst->GetCanvas()->Draw(1, 1, src.get());
    EXPECT_EQ(Px(*dst, 1, 1), 0x0000FFu);
    EXPECT_EQ(Px(*dst, 2, 1), 0xFF0000u);
    EXPECT_EQ(Px(*dst, 0, 0), 0xFFFFFFu);
    // Mirrored stretch.
    dst->GetCanvas()->StretchDraw(Rect(6, 0, 2, 1), src.get());
    EXPECT_EQ(Px(*dst, 2, 0), 0xFF0000u);
    EXPECT_EQ(Px(*dst, 3, 0), 0xFF0000u);
    EXPECT_EQ(Px(*dst, 4, 0), 0x0000FFu);
    EXPECT_EQ(Px(*dst, 5, 0), 0x0000FFu);
}

TEST(Canvas, TransparentBitmapSkipsItsTransparentColour) {
    auto src = Make(3, 3);
    src->GetCanvas()->GetBrush()->SetColor(clLime);
    src->GetCanvas()->FillRect(Rect(0, 0, 3, 3));
    src->GetCanvas()->SetPixels(1, 1, clRed);
    src->SetTransparent(true);
    EXPECT_EQ(src->GetTransparentMode(), tmAuto);
    EXPECT_EQ(src->GetTransparentColor(), clLime);  // the bottom-left pixel

    for (TPixelFormat pf : {pf8bit, pf24bit, pf32bit}) {
        auto dst = Make(6, 6, pf);
        dst->GetCanvas()->GetBrush()->SetColor(clBlack);
        dst->GetCanvas()->FillRect(Rect(0, 0, 6, 6));
        dst->GetCanvas()->StretchDraw(Rect(0, 0, 6, 6), src.get());
        EXPECT_EQ(Px(*dst, 0, 0), 0u) << pf;
        EXPECT_EQ(Px(*dst, 2, 2), 0x0000FFu) << pf;
        EXPECT_EQ(Px(*dst, 3, 3), 0x0000FFu) << pf;
        EXPECT_EQ(Px(*dst, 4, 4), 0u) << pf;
    }
    // Only the visible part is worked on: a huge or partly outside rectangle.
    auto part = Make(4, 4);
    part->GetCanvas()->GetBrush()->SetColor(clBlack);
    part->GetCanvas()->FillRect(Rect(0, 0, 4, 4));
    part->GetCanvas()->StretchDraw(Rect(-3, -3, 3, 3), src.get());
    EXPECT_EQ(Px(*part, 0, 0), 0x0000FFu);
    EXPECT_EQ(Px(*part, 1, 1), 0u);
    part->GetCanvas()->StretchDraw(Rect(-50000, -50000, 50000, 50000), src.get());
    EXPECT_EQ(Px(*part, 3, 3), 0x0000FFu);
    src->SetTransparentColor(clRed);
    EXPECT_EQ(src->GetTransparentMode(), tmFixed);
    auto dst = Make(3, 3);
    dst->GetCanvas()->GetBrush()->SetColor(clBlack);
    dst->GetCanvas()->FillRect(Rect(0, 0, 3, 3));
    dst->GetCanvas()->Draw(0, 0, src.get());
    EXPECT_EQ(Px(*dst, 1, 1), 0u);
    EXPECT_EQ(Px(*dst, 0, 0), 0x00FF00u);
}

TEST(Canvas, LockIsReentrantAndCounted) {
    TCanvas c;
    c.Lock();
    c.Lock();
    EXPECT_EQ(c.GetLockCount(), 2);
    EXPECT_TRUE(c.TryLock());
    c.Unlock();
    c.Unlock();
    c.Unlock();
    EXPECT_EQ(c.GetLockCount(), 0);
    // Another thread cannot take a held lock.
    c.Lock();
    bool got = true;
    std::thread t([&] { got = c.TryLock(); });
    t.join();
    EXPECT_FALSE(got);
    c.Unlock();
}

TEST(Canvas, WithoutAHandleDrawingRaises) {
    TCanvas c;
    EXPECT_THROW(c.FillRect(Rect(0, 0, 1, 1)), EInvalidOperation);
    auto b = Make(4, 4);
    c.SetHandle(b->GetCanvas()->GetHandle());
    c.GetBrush()->SetColor(clRed);
    c.FillRect(Rect(0, 0, 2, 2));
    EXPECT_EQ(Px(*b, 1, 1), 0x0000FFu);
    c.SetHandle(nullptr);
}

TEST(Canvas, ChangesReachTheBitmap) {
    auto b = Make(4, 4);
    int changes = 0;
    b->OnChange = [&](TObject*) { ++changes; };
    b->GetCanvas()->FillRect(Rect(0, 0, 2, 2));
    b->GetCanvas()->LineTo(3, 3);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(b->GetModified());
}
