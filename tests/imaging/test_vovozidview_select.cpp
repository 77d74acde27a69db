// The view's selections on the headless screen: rectangles, ellipses, polygons and the magic
// wand give the masks they describe; moving, grips, the selection stream (round trip, a layer
// moved in between, damaged streams) and the marching ants, which change only the screen.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "classlib/Classes.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/ielayer.h"
#include "imaging/view/vovozidview.h"
#include "platform/user_testhooks.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

// A 100 x 80 white picture filling a 100 x 80 view at the screen's top-left corner, zoom
// 100 %, so that client and bitmap coordinates agree.
class ViewSelect : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 300, 200);
        view = new TVovozIdView(form);
        view->SetBorderStyle(cl::bsNone);
        view->SetParent(form);
        view->SetBounds(0, 0, 100, 80);
        view->GetIEBitmap()->Allocate(100, 80, ie24RGB);
        FillRect(0, 0, 100, 80, 255, 255, 255);
        view->Update();
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    // Pixels [X1, X2) x [Y1, Y2) of the picture in (R, G, B).
    void FillRect(int X1, int Y1, int X2, int Y2, uint8_t R, uint8_t G, uint8_t B) {
        TIEBitmap* bmp = view->GetIEBitmap();
        for (int y = Y1; y < Y2; ++y) {
            auto* row = static_cast<uint8_t*>(bmp->GetScanline(y));
            for (int x = X1; x < X2; ++x) {
                row[3 * x] = B;
                row[3 * x + 1] = G;
                row[3 * x + 2] = R;
            }
        }
    }
    TIEMask* Mask() { return view->GetSelectionMask(); }
    std::vector<uint8_t> PictureBytes() {
        std::vector<uint8_t> out;
        TIEBitmap* bmp = view->GetIEBitmap();
        for (int y = 0; y < bmp->GetHeight(); ++y) {
            const auto* row = static_cast<const uint8_t*>(bmp->GetScanline(y));
            out.insert(out.end(), row, row + 3 * bmp->GetWidth());
        }
        return out;
    }
    int Count() {
        int n = 0;
        for (int y = 0; y < Mask()->Height; ++y)
            for (int x = 0; x < Mask()->Width; ++x) n += Mask()->IsPointInside(x, y) ? 1 : 0;
        return n;
    }
    // True when the mask holds exactly the pixels of [X1, X2) x [Y1, Y2).
    bool MaskIsRect(int X1, int Y1, int X2, int Y2) {
        for (int y = 0; y < Mask()->Height; ++y)
            for (int x = 0; x < Mask()->Width; ++x) {
                const bool in = x >= X1 && x < X2 && y >= Y1 && y < Y2;
                if (Mask()->IsPointInside(x, y) != in) return false;
            }
        return true;
    }
    std::vector<uint8_t> Saved() {
        cl::TMemoryStream s;
        view->SaveSelectionToStream(&s);
        std::vector<uint8_t> out(static_cast<size_t>(s.GetSize()));
        s.SetPosition(0);
        if (!out.empty()) s.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
        return out;
    }
    bool Load(const std::vector<uint8_t>& Bytes, int Mode) {
        cl::TMemoryStream s;
        if (!Bytes.empty()) s.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
        s.SetPosition(0);
        return view->LoadSelectionFromStream(&s, Mode);
    }
    cl::TForm* form = nullptr;
    TVovozIdView* view = nullptr;
};

TEST_F(ViewSelect, RectanglesFillTheirPixelsAndAddWithOpOne) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 10, 50, 0);  // no width: nothing
    EXPECT_FALSE(view->GetSelected());
    EXPECT_TRUE(Mask()->IsEmpty());

    view->Select(30, 40, 10, 20, 0);  // corners in any order
    EXPECT_TRUE(view->GetSelected());
    EXPECT_TRUE(view->SelectionIsRectangle());
    EXPECT_TRUE(MaskIsRect(10, 20, 30, 40));
    EXPECT_EQ(Mask()->X1, 10);
    EXPECT_EQ(Mask()->Y1, 20);
    EXPECT_EQ(Mask()->X2, 29);
    EXPECT_EQ(Mask()->Y2, 39);

    view->Select(60, 50, 70, 60, 1);  // a second rectangle
    EXPECT_EQ(Count(), 20 * 20 + 10 * 10);
    EXPECT_TRUE(Mask()->IsPointInside(65, 55));
    EXPECT_TRUE(Mask()->IsPointInside(15, 25));
    const auto& pts = view->GetSelectionRecord()->Points;
    ASSERT_EQ(pts.size(), 9u);
    EXPECT_EQ(pts[4].x, IEPolygonSeparator);

    view->Select(0, 0, 5, 5, 0);  // Op 0 replaces
    EXPECT_TRUE(MaskIsRect(0, 0, 5, 5));

    view->Select(-20, -20, 500, 500, 0);  // clamped to the bitmap
    EXPECT_TRUE(MaskIsRect(0, 0, 100, 80));
}

TEST_F(ViewSelect, ClientCoordinatesFollowZoomAndScrolling) {
    form->Show();
    cl::Application->ProcessMessages();
    view->SetZoom(200);  // two client pixels a bitmap pixel, the origin keeps the centre
    const int ox = view->GetOriginX(), oy = view->GetOriginY();
    ASSERT_GT(ox, 0);
    view->Select(20, 30, 60, 50, 0);
    EXPECT_TRUE(MaskIsRect((20 + ox) / 2, (30 + oy) / 2, (60 + ox) / 2, (50 + oy) / 2));
}

TEST_F(ViewSelect, RatioAndSquareShapeTheRectangle) {
    view->SetSelectionBase(iesbBitmap);
    view->SetSelectionRatio(2);
    view->AddSelectRect(10, 10, 20, 12, 0, false, true);
    view->EndSelect();
    EXPECT_TRUE(MaskIsRect(10, 10, 20, 30));  // 10 wide, 20 high
    view->SetSelectionRatio(-1);
    view->AddSelectRect(10, 10, 25, 12, 0, false, true);
    view->EndSelect();
    EXPECT_TRUE(MaskIsRect(10, 10, 25, 25));  // square
    // Clip shifts the rectangle inside instead of cutting it.
    view->AddSelectRect(90, 70, 110, 90, 0, true, false);
    view->EndSelect();
    EXPECT_TRUE(MaskIsRect(80, 60, 100, 80));
}

TEST_F(ViewSelect, EllipseMaskIsInsideItsBoxAndCoversItsArea) {
    view->SetSelectionBase(iesbBitmap);
    view->AddSelectEllipse(10, 10, 70, 50, 0, false);  // radii 30 and 20
    view->EndSelect();
    ASSERT_TRUE(view->GetSelected());
    EXPECT_TRUE(Mask()->IsPointInside(40, 30));
    for (auto [x, y] : {std::pair{11, 11}, {68, 11}, {11, 48}, {68, 48}}) EXPECT_FALSE(Mask()->IsPointInside(x, y));
    EXPECT_GE(Mask()->X1, 10);
    EXPECT_LE(Mask()->X2, 70);
    const double area = 3.14159265 * 30 * 20;
    EXPECT_NEAR(Count(), area, area * 0.05);
    // Inside the ellipse equation by a margin: selected; outside by a margin: not.
    for (int y = 10; y < 50; ++y)
        for (int x = 10; x < 70; ++x) {
            const double d = (x + 0.5 - 40) * (x + 0.5 - 40) / 900.0 + (y + 0.5 - 30) * (y + 0.5 - 30) / 400.0;
            if (d < 0.85) {
                EXPECT_TRUE(Mask()->IsPointInside(x, y)) << x << "," << y;
            } else if (d > 1.15) {
                EXPECT_FALSE(Mask()->IsPointInside(x, y)) << x << "," << y;
            }
        }
}

TEST_F(ViewSelect, PolygonsSubPolygonsAndRemovingTheLast) {
    view->SetSelectionBase(iesbBitmap);
    // A right triangle: (10,10), (50,10), (10,50).
    for (auto [x, y] : {std::pair{10, 10}, {50, 10}, {10, 50}}) view->AddSelectionPoint(x, y);
    view->EndSelect();
    EXPECT_TRUE(Mask()->IsPointInside(12, 12));
    EXPECT_TRUE(Mask()->IsPointInside(25, 20));
    EXPECT_FALSE(Mask()->IsPointInside(40, 40));
    EXPECT_FALSE(Mask()->IsPointInside(60, 12));
    const int triangle = Count();
    EXPECT_NEAR(triangle, 40 * 40 / 2, 40);

    view->StartNewSubPolygon();
    view->StartNewSubPolygon();  // never twice in a row
    for (auto [x, y] : {std::pair{60, 60}, {80, 60}, {80, 70}, {60, 70}}) view->AddSelectionPoint(x, y);
    EXPECT_EQ(view->GetSelectionRecord()->Points.size(), 8u);
    view->EndSelect();
    EXPECT_EQ(Count(), triangle + 20 * 10);

    view->RemoveLastSubPolygon();
    EXPECT_EQ(view->GetSelectionRecord()->Points.size(), 3u);
    view->RemoveLastSubPolygon();  // no separator left: everything goes
    EXPECT_TRUE(view->GetSelectionRecord()->Points.empty());
}

TEST_F(ViewSelect, PolygonsWhollyOutsideEndTheSelection) {
    view->SetSelectionBase(iesbBitmap);
    view->SetSelectionBase(iesbBitmap);
    for (auto [x, y] : {std::pair{200, 200}, {300, 200}, {300, 300}}) view->AddSelectionPoint(x, y);
    EXPECT_TRUE(view->GetSelected());
    view->EndSelect();
    EXPECT_FALSE(view->GetSelected());
    EXPECT_TRUE(view->GetSelectionRecord()->Points.empty());
}

TEST_F(ViewSelect, MagicWandModesGiveTheRegionOrEveryMatch) {
    view->SetSelectionBase(iesbBitmap);
    FillRect(20, 20, 40, 35, 255, 0, 0);  // two red boxes on white
    FillRect(60, 50, 70, 60, 250, 5, 0);
    struct Case {
        int Mode;
        int Want;
    };
    for (Case c : {Case{0, 20 * 15}, Case{1, 20 * 15}, Case{2, 20 * 15 + 10 * 10}}) {
        view->Deselect();
        view->MagicWandMode = c.Mode;
        view->SelectMagicWand(25, 25, 0);
        EXPECT_TRUE(view->GetSelected()) << c.Mode;
        EXPECT_EQ(Count(), c.Want) << c.Mode;
        EXPECT_TRUE(Mask()->IsPointInside(20, 20)) << c.Mode;
        EXPECT_FALSE(Mask()->IsPointInside(40, 20)) << c.Mode;
    }
    // Op 1 adds the other box to the connected region.
    view->Deselect();
    view->MagicWandMode = 1;
    view->SelectMagicWand(25, 25, 0);
    view->SelectMagicWand(65, 55, 1);
    EXPECT_EQ(Count(), 20 * 15 + 10 * 10);
    // A tolerance of 0 leaves the slightly different box out of a global match.
    view->Deselect();
    view->MagicWandMode = 2;
    view->MagicWandTolerance = 0;
    view->SelectMagicWand(25, 25, 0);
    EXPECT_EQ(Count(), 20 * 15);
}

TEST_F(ViewSelect, MagicWandOutsideTheBitmapChangesNothing) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 20, 20, 0);
    const std::vector<uint8_t> before = Saved();
    for (int mode : {0, 1, 2}) {
        view->MagicWandMode = mode;
        for (auto [x, y] : {std::pair{-1, 5}, {100, 5}, {5, 80}, {5, -3}, {100, 80}}) {
            view->SelectMagicWand(x, y, 0);
            EXPECT_EQ(Saved(), before) << mode << " " << x << "," << y;
        }
    }
}

TEST_F(ViewSelect, MovingARectangleStopsAtTheEdgeOrIsCut) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(70, 10, 90, 20, 0);
    view->MoveSelection(30, 0);  // stops at the right edge
    EXPECT_TRUE(MaskIsRect(80, 10, 100, 20));
    view->SetSelectionOptions(view->GetSelectionOptions() | IESelOpt(iesoCutBorders));
    view->MoveSelection(15, 0);  // the part outside is cut
    EXPECT_TRUE(MaskIsRect(95, 10, 100, 20));
    // A non-rectangular selection moves its mask.
    view->Deselect();
    view->SetSelectionOptions(view->GetSelectionOptions() & ~IESelOpt(iesoCutBorders));
    for (auto [x, y] : {std::pair{10, 10}, {30, 10}, {10, 30}}) view->AddSelectionPoint(x, y);
    view->EndSelect();
    const int n = Count();
    view->MoveSelection(5, 7);
    EXPECT_EQ(Count(), n);
    EXPECT_TRUE(Mask()->IsPointInside(16, 18));
    EXPECT_FALSE(Mask()->IsPointInside(11, 11));
    EXPECT_EQ(view->GetSelectionRecord()->Points[0].x, 15);
    EXPECT_EQ(view->GetSelectionRecord()->Points[0].y, 17);
}

TEST_F(ViewSelect, GripsAreFoundAndResizeTheRectangle) {
    form->Show();
    cl::Application->ProcessMessages();
    view->SetSelectionBase(iesbBitmap);
    view->Select(20, 20, 60, 50, 0);
    struct Case {
        int X, Y, Grip;
    };
    // clang-format off
    for (Case c : {Case{20, 20, 1}, {60, 20, 2}, {60, 50, 3}, {20, 50, 4}, {21, 35, 5}, {59, 35, 6}, {40, 21, 7},
                   {40, 49, 8}, {40, 35, 0}, {5, 5, 0}})
        EXPECT_EQ(view->SelectionGripAt(c.X, c.Y), c.Grip) << c.X << "," << c.Y;
    // clang-format on
    // The bottom-right grip dragged to (80, 70); dragged past the left side it becomes grip 4.
    EXPECT_EQ(view->ResizeSelectionByGrip(3, 79, 69, false), 3);
    view->EndSelect();
    EXPECT_TRUE(MaskIsRect(20, 20, 80, 70));
    view->GetSelectionMask()->Clear();
    EXPECT_EQ(view->ResizeSelectionByGrip(6, 5, 40, false), 6);  // stays one pixel right of X1
    view->EndSelect();
    EXPECT_TRUE(MaskIsRect(20, 20, 21, 70));
    // Not sizeable: no grips.
    view->SetSelectionOptions(view->GetSelectionOptions() & ~IESelOpt(iesoSizeable));
    EXPECT_EQ(view->SelectionGripAt(20, 20), 0);
}

TEST_F(ViewSelect, InSelectionAtNeedsAMovableSelectionAndNoShift) {
    view->SetSelectionBase(iesbBitmap);
    EXPECT_EQ(view->InSelectionAt(15, 15, 0), -1);
    view->Select(10, 10, 30, 30, 0);
    EXPECT_EQ(view->InSelectionAt(15, 15, 0), 0);
    EXPECT_EQ(view->InSelectionAt(15, 15, cl::ssShift), -1);
    EXPECT_EQ(view->InSelectionAt(35, 15, 0), -1);
    view->SetSelectionOptions(view->GetSelectionOptions() & ~IESelOpt(iesoMoveable));
    EXPECT_EQ(view->InSelectionAt(15, 15, 0), -1);
}

TEST_F(ViewSelect, StreamRoundTripsAndPushPopRestore) {
    view->SetSelectionBase(iesbBitmap);
    for (auto [x, y] : {std::pair{10, 10}, {50, 12}, {30, 60}}) view->AddSelectionPoint(x, y);
    view->EndSelect();
    const std::vector<uint8_t> saved = Saved();
    // Width, height, point count, points, box, flag, position, depth, box, flag, rows.
    EXPECT_EQ(saved.size(), 12u + 3 * 8 + 16 + 1 + 8 + 4 + 16 + 1 + 80 * 16);
    view->PushSelection();
    EXPECT_EQ(view->GetSavedSelectionCount(), 1);
    view->Select(0, 0, 5, 5, 0);
    EXPECT_TRUE(view->PopSelection(true, 0));
    EXPECT_EQ(view->GetSavedSelectionCount(), 0);
    EXPECT_EQ(Saved(), saved);
    EXPECT_FALSE(view->PopSelection(true, 0));  // empty stack

    // Loading an empty selection deselects.
    view->Deselect();
    const std::vector<uint8_t> empty = Saved();
    view->Select(0, 0, 5, 5, 0);
    EXPECT_TRUE(Load(empty, 0));
    EXPECT_FALSE(view->GetSelected());
}

TEST_F(ViewSelect, ModeTwoKeepsTheSameImagePixelsWhenTheLayerMoved) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 30, 20, 0);
    const std::vector<uint8_t> saved = Saved();
    view->GetCurrentLayerObject()->PositionX = 5;
    view->GetCurrentLayerObject()->PositionY = -3;
    ASSERT_TRUE(Load(saved, 2));
    EXPECT_TRUE(MaskIsRect(5, 13, 25, 23));
    EXPECT_TRUE(view->GetSelectionRecord()->Points.empty());
}

TEST_F(ViewSelect, ModeOneMovesASelectionPastTheNewEdgeInside) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(70, 60, 90, 75, 0);
    const std::vector<uint8_t> saved = Saved();
    view->GetIEBitmap()->Allocate(80, 70, ie24RGB);
    view->Update();
    ASSERT_TRUE(Load(saved, 1));
    EXPECT_EQ(Mask()->Width, 80);
    EXPECT_TRUE(MaskIsRect(60, 55, 80, 70));
}

TEST_F(ViewSelect, DamagedStreamsAreRefusedAndChangeNothing) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 30, 20, 0);
    const std::vector<uint8_t> good = Saved();
    view->Select(40, 40, 50, 50, 0);
    const std::vector<uint8_t> before = Saved();
    // Every shorter stream.
    for (size_t n = 0; n < good.size(); n += (n < 120 ? 1 : 97)) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(Load(cut, 0)) << n;
        ASSERT_EQ(Saved(), before) << n;
    }
    auto patched = [&](size_t At, int32_t V) {
        std::vector<uint8_t> b = good;
        std::memcpy(b.data() + At, &V, 4);
        return b;
    };
    const size_t afterPoints = 12 + 4 * 8;
    const size_t depth = afterPoints + 16 + 1 + 8;
    struct Case {
        const char* What;
        std::vector<uint8_t> Bytes;
    };
    const Case cases[] = {
        {"negative width", patched(0, -1)},
        {"height beyond the rows", patched(4, 81)},
        {"huge height", patched(4, 0x7FFFFFFF)},
        {"negative point count", patched(8, -5)},
        {"point count beyond the stream", patched(8, 1000000)},
        {"point far away", patched(12, INT32_MIN)},
        {"depth 3", patched(depth, 3)},
        {"mask box past the width", patched(depth + 4 + 8, 100)},
        {"mask box reversed", patched(depth + 4, 50)},
        {"layer position overflowing", patched(afterPoints + 17, INT32_MAX)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Load(c.Bytes, 2)) << c.What;
        EXPECT_EQ(Saved(), before) << c.What;
    }
    EXPECT_TRUE(Load(good, 0));
    EXPECT_TRUE(MaskIsRect(10, 10, 30, 20));
}

TEST_F(ViewSelect, DeselectClearsEverything) {
    view->SetSelectionBase(iesbBitmap);
    view->Select(10, 10, 30, 20, 0);
    view->Deselect();
    EXPECT_FALSE(view->GetSelected());
    EXPECT_TRUE(Mask()->IsEmpty());
    EXPECT_TRUE(view->GetSelectionRecord()->Points.empty());
    EXPECT_FALSE(view->GetSelectionRecord()->OutlineShown);
}

TEST_F(ViewSelect, RatioSettingTogglesSizeable) {
    view->SetSelectionRatio(0);
    EXPECT_EQ(view->GetSelectionOptions() & IESelOpt(iesoSizeable), 0);
    EXPECT_FALSE(view->GetSelectionRecord()->Sizeable);
    view->SetSelectionRatio(1.5);
    EXPECT_NE(view->GetSelectionOptions() & IESelOpt(iesoSizeable), 0);
    EXPECT_TRUE(view->GetSelectionRecord()->Sizeable);
}

// The ants are drawn on the window, never into the picture; drawing them twice at one phase
// gives the same screen, and only the outline's pixels change.
TEST_F(ViewSelect, MarchingAntsChangeOnlyTheOutlineOnTheScreen) {
    form->Show();
    cl::Application->ProcessMessages();
    view->SetSelectionBase(iesbBitmap);
    view->SetSelectionOptions(view->GetSelectionOptions() & ~IESelOpt(iesoSizeable));  // no grips
    const std::vector<uint8_t> picture = PictureBytes();
    view->SetOutlineDrawing(false);
    view->Select(20, 10, 60, 40, 0);
    cl::Application->ProcessMessages();
    // A known screen under the ants: grey everywhere.
    {
        win::HDC dc = win::GetDC(view->GetHandle());
        win::RECT r{0, 0, 100, 80};
        win::HBRUSH b = win::CreateSolidBrush(win::RGB(128, 128, 128));
        win::FillRect(dc, &r, b);
        win::DeleteObject(b);
        win::ReleaseDC(view->GetHandle(), dc);
    }
    const win::POINT o = view->ClientToScreen({0, 0});
    const win::test::Screen before = win::test::ScreenComposite();
    view->SetOutlineDrawing(true);
    view->DrawSelectionOutline(view, false);
    const win::test::Screen once = win::test::ScreenComposite();
    view->DrawSelectionOutline(view, false);
    const win::test::Screen twice = win::test::ScreenComposite();
    EXPECT_EQ(once.pixels, twice.pixels);
    int black = 0, white = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint32_t b = before.At(o.x + x, o.y + y) & 0xFFFFFF, a = once.At(o.x + x, o.y + y) & 0xFFFFFF;
            const bool outline =
                ((x == 20 || x == 59) && y >= 10 && y <= 39) || ((y == 10 || y == 39) && x >= 20 && x <= 59);
            if (outline) {
                EXPECT_TRUE(a == 0 || a == 0xFFFFFF) << x << "," << y;
                black += a == 0;
                white += a == 0xFFFFFF;
            } else {
                ASSERT_EQ(a, b) << x << "," << y;
            }
        }
    EXPECT_GT(black, 20);
    EXPECT_GT(white, 20);
    // The picture itself is untouched.
    EXPECT_EQ(PictureBytes(), picture);
    // The next phase marches: the outline's colours move.
    EXPECT_NE(view->GetAntsTimer(), nullptr);
    EXPECT_TRUE(view->GetAntsTimer()->GetEnabled());
    const int counter = view->GetAnimationCounter();
    RunFor(250);
    EXPECT_GT(view->GetAnimationCounter(), counter);
    const win::test::Screen moved = win::test::ScreenComposite();
    EXPECT_NE(moved.pixels, once.pixels);
}

// A paint of the window ends with the selection's ants and the interaction hint on top of
// the copied picture.
TEST_F(ViewSelect, PaintEndsWithTheAntsAndTheHint) {
    form->Show();
    cl::Application->ProcessMessages();
    view->SetSelectionBase(iesbBitmap);
    view->SetSelectionOptions(view->GetSelectionOptions() & ~IESelOpt(iesoSizeable));  // no grips
    view->Select(20, 10, 60, 40, 0);
    cl::Application->ProcessMessages();
    const win::POINT o = view->ClientToScreen({0, 0});
    auto darkOnOutline = [&](const win::test::Screen& S) {
        int dark = 0;
        for (int x = 20; x < 60; ++x) dark += (S.At(o.x + x, o.y + 10) & 0xFFFFFF) == 0;
        return dark;
    };
    view->Paint();
    EXPECT_GT(darkOnOutline(win::test::ScreenComposite()), 5);
    // With the outline switched off the same paint leaves the white picture.
    view->SetOutlineDrawing(false);
    view->Paint();
    EXPECT_EQ(darkOnOutline(win::test::ScreenComposite()), 0);

    view->Deselect();
    view->Paint();
    const win::test::Screen plain = win::test::ScreenComposite();
    view->SetInteractionHint("X=1 Y=2", 10, 50, "X=000 Y=000");
    view->Paint();
    const win::test::Screen hinted = win::test::ScreenComposite();
    int changed = 0;
    for (int y = 40; y < 80; ++y)
        for (int x = 0; x < 100; ++x) changed += plain.At(o.x + x, o.y + y) != hinted.At(o.x + x, o.y + y);
    EXPECT_GT(changed, 20);
    view->EnableInteractionHints = false;
    view->Paint();
    EXPECT_EQ(win::test::ScreenComposite().pixels, plain.pixels);
}

// The filled and the mark-outer looks are composed into the back buffer, for one plain
// picture and for the layers' own composition alike.
TEST_F(ViewSelect, FilledAndMarkOuterShowOnBothCompositionPaths) {
    form->Show();
    cl::Application->ProcessMessages();
    view->SetSelectionBase(iesbBitmap);
    view->SetSelectionOptions(view->GetSelectionOptions() & ~IESelOpt(iesoSizeable));
    view->Select(20, 10, 60, 40, 0);
    view->SetOutlineDrawing(false);  // only the composed looks on the screen
    view->MarkOuterColor = 0;
    view->MarkOuterOpacity = 255;
    const win::POINT o = view->ClientToScreen({0, 0});
    auto shot = [&](TIESelectionOptions Look) {
        view->SetSelectionOptions((view->GetSelectionOptions() & ~(IESelOpt(iesoFilled) | IESelOpt(iesoMarkOuter))) |
                                  Look);
        view->Update();
        view->Paint();
        const win::test::Screen s = win::test::ScreenComposite();
        return std::pair<uint32_t, uint32_t>{s.At(o.x + 40, o.y + 25) & 0xFFFFFF, s.At(o.x + 5, o.y + 5) & 0xFFFFFF};
    };
    for (bool layered : {false, true}) {
        if (layered) {
            // A placed second layer takes the layers' own composition road; it lies away
            // from the points looked at.
            TIELayer* top = view->GetLayer(view->LayersAdd());
            top->GetBitmap()->Allocate(4, 4, ie24RGB);
            top->PositionX = 90;
            top->PositionY = 70;
            view->SetCurrentLayer(0);
            // The selection followed the layer changes (it went with the moved layer): again.
            view->Select(20, 10, 60, 40, 0);
        }
        const auto plain = shot(0);
        EXPECT_EQ(plain.first, 0xFFFFFFu) << layered;
        EXPECT_EQ(plain.second, 0xFFFFFFu) << layered;
        const auto outer = shot(IESelOpt(iesoMarkOuter));
        EXPECT_EQ(outer.first, 0xFFFFFFu) << layered;  // the selected pixels stay
        EXPECT_EQ(outer.second, 0u) << layered;        // the others take the mark colour
        const auto filled = shot(IESelOpt(iesoFilled));
        EXPECT_NE(filled.first, 0xFFFFFFu) << layered;  // inverted inside
        EXPECT_EQ(filled.second, 0xFFFFFFu) << layered;
    }
}

}  // namespace
}  // namespace ie
