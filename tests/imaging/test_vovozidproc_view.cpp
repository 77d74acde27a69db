// The processing component on a real view: every operation honours the view's selection,
// fills with the view's background, refreshes the view and fires its image-change event
// once; an image snapshot goes back to the layer it was taken from; a component a caller
// owns attaches to a view, follows its current image, detaches and outlives it; and a view
// without a picture still paints its background.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/processing/vovozidproc_utils.h"
#include "view_testutil.h"

namespace ie::test {
namespace {

constexpr cl::TColor kBack = 0x00336699;  // TColor: red 0x99, green 0x66, blue 0x33
const TRGB kBackRGB = CreateRGB(0x99, 0x66, 0x33);
const TRGB kFill = CreateRGB(1, 2, 200);  // no pixel of the coordinate picture has it

uint8_t Grey(const TRGB& P) { return static_cast<uint8_t>((P.r * 21 + P.g * 71 + P.b * 8) / 100); }

// A view made in code, as the player makes it, holding a 40 x 30 coordinate picture, with
// the background kBack and the counts of its image-change and finish events.
struct PictureView {
    PictureView() {
        view = std::make_unique<TVovozIdView>(nullptr);
        FillCoordPicture(view->GetIEBitmap(), 40, 30);
        view->SetBackground(kBack);
        view->Update();
        view->OnImageChange = [this](cl::TObject*) { ++changes; };
        view->SetOnFinishWork([this](cl::TObject*) { ++finishes; });
        view->SetSelectionBase(iesbBitmap);
    }
    std::unique_ptr<TVovozIdView> view;
    int changes = 0;
    int finishes = 0;
};

std::unique_ptr<TIEBitmap> Copy(TIEBitmap* B) {
    auto c = std::make_unique<TIEBitmap>();
    c->Assign(B);
    return c;
}

// ---------------------------------------------------------------------------------------
// The selection

// ConvertToGray and Fill change the pixels inside the view's selection and no other; both
// reach the view once, and undo brings the whole picture back.
TEST(ProcOnView, PixelOperationsStayInsideTheSelection) {
    struct Case {
        const char* what;
        std::function<void(TVovozIdProc*)> op;
        std::function<TRGB(const TRGB&)> inside;  // what the operation makes of a pixel
    };
    const Case cases[] = {
        {"ConvertToGray", [](TVovozIdProc* p) { p->ConvertToGray(); },
         [](const TRGB& o) { return CreateRGB(Grey(o), Grey(o), Grey(o)); }},
        {"Fill", [](TVovozIdProc* p) { p->Fill(kFill); }, [](const TRGB&) { return kFill; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureView pv;
        TVovozIdView* v = pv.view.get();
        v->Select(10, 10, 20, 20);
        ASSERT_TRUE(v->GetSelected());
        const TIEMask* mask = v->GetSelectionMask();
        ASSERT_TRUE(mask->IsPointInside(15, 15));
        ASSERT_FALSE(mask->IsPointInside(5, 5));
        ASSERT_FALSE(mask->IsPointInside(30, 25));
        auto before = Copy(v->GetIEBitmap());
        TVovozIdProc* proc = v->GetProc();
        c.op(proc);
        TIEBitmap* b = v->GetIEBitmap();
        int changedInside = 0;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const TRGB old = before->GetPixel24(x, y);
                if (mask->IsPointInside(x, y)) {
                    ASSERT_EQ(b->GetPixel24(x, y), c.inside(old)) << "inside " << x << "," << y;
                    changedInside += !(c.inside(old) == old);
                } else {
                    ASSERT_EQ(b->GetPixel24(x, y), old) << "outside " << x << "," << y;
                }
            }
        EXPECT_GT(changedInside, 50);
        EXPECT_EQ(pv.changes, 1);
        EXPECT_EQ(pv.finishes, 1);
        // The snapshot holds the whole picture as it was.
        ASSERT_EQ(proc->GetUndoCount(), 1);
        EXPECT_EQ(proc->GetUndoCaptionAt(0), c.what);
        proc->Undo();
        EXPECT_TRUE(IEBitmapsEqual(v->GetIEBitmap(), before.get()));
    }
}

// With an 8-bit selection mask partial values blend the old and the new pixel.
TEST(ProcOnView, AnEightBitSelectionBlends) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    v->Select(10, 10, 20, 20);
    TIEMask* mask = v->GetSelectionMask();
    mask->Allocate(40, 30, 8);
    mask->SetPixel(12, 12, 255);
    mask->SetPixel(14, 12, 128);
    mask->SyncRect();
    auto before = Copy(v->GetIEBitmap());
    v->GetProc()->Fill(kFill);
    TIEBitmap* b = v->GetIEBitmap();
    // The mask's blend weighs 255 as 255/256 of the new pixel.
    const TRGB full = b->GetPixel24(12, 12), was = before->GetPixel24(12, 12);
    EXPECT_NEAR(full.b, kFill.b, 1.0);
    EXPECT_NEAR(full.g, kFill.g, 1.0);
    EXPECT_NEAR(full.r, kFill.r, 1.0);
    EXPECT_FALSE(full == was);
    const TRGB old = before->GetPixel24(14, 12), now = b->GetPixel24(14, 12);
    EXPECT_FALSE(now == old);
    EXPECT_FALSE(now == kFill);
    EXPECT_EQ(b->GetPixel24(13, 12), before->GetPixel24(13, 12));
    EXPECT_EQ(b->GetPixel24(5, 5), before->GetPixel24(5, 5));
}

// Without a selection the view's (empty) mask is no restriction: the whole picture changes.
TEST(ProcOnView, WithoutASelectionTheWholePictureIsWorkedOn) {
    PictureView pv;
    pv.view->GetProc()->Fill(kFill);
    TIEBitmap* b = pv.view->GetIEBitmap();
    for (int32_t y = 0; y < 30; y += 3)
        for (int32_t x = 0; x < 40; x += 3) ASSERT_EQ(b->GetPixel24(x, y), kFill) << x << "," << y;
}

TEST(ProcOnView, TheWorkAreaIsTheSelectionsBoxAndPolygon) {
    PictureView pv;
    TVovozIdProc* proc = pv.view->GetProc();
    int32_t x1, y1, x2, y2, count;
    const cl::TPoint* points;
    TIEMask* mask;
    EXPECT_FALSE(proc->GetWorkArea(x1, y1, x2, y2, points, count, mask));
    EXPECT_EQ(mask, pv.view->GetSelectionMask());
    EXPECT_EQ(x2, 40);
    EXPECT_EQ(y2, 30);
    EXPECT_EQ(count, 0);
    pv.view->Select(10, 10, 20, 20);
    ASSERT_TRUE(proc->GetWorkArea(x1, y1, x2, y2, points, count, mask));
    EXPECT_EQ(x1, mask->X1);
    EXPECT_EQ(y1, mask->Y1);
    EXPECT_EQ(x2, mask->X2 + 1);
    EXPECT_EQ(y2, mask->Y2 + 1);
    EXPECT_EQ(x1, 10);
    EXPECT_EQ(y1, 10);
    ASSERT_GT(count, 0);
    EXPECT_EQ(points, pv.view->GetSelectionPolygon());
    EXPECT_EQ(count, pv.view->GetSelectionPointCount());
}

// ---------------------------------------------------------------------------------------
// The background and the refresh

// The canvas operations fill with the view's background, and each reaches the view once:
// it is updated (the image size and the selection mask follow) and fires OnImageChange.
TEST(ProcOnView, CanvasOperationsUseTheViewsBackgroundAndUpdateIt) {
    struct Case {
        const char* what;
        std::function<void(TVovozIdProc*)> op;
        int32_t width, height;
        int32_t bx, by;  // a pixel that must hold the background
        int tolerance;   // the anti-aliased shears round background blends half up
    };
    const Case cases[] = {
        {"ImageResize", [](TVovozIdProc* p) { p->ImageResize(60, 45, 0, 0, 255); }, 60, 45, 50, 40, 0},
        {"Clear", [](TVovozIdProc* p) { p->Clear(); }, 40, 30, 20, 15, 0},
        {"Rotate nearest", [](TVovozIdProc* p) { p->Rotate(30, false, 0, -1); }, -1, -1, 0, 0, 0},
        {"Rotate shears", [](TVovozIdProc* p) { p->Rotate(30, true, 0, -1); }, -1, -1, 0, 0, 1},
        {"Rotate bilinear", [](TVovozIdProc* p) { p->Rotate(30, true, 1, -1); }, -1, -1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureView pv;
        TVovozIdView* v = pv.view.get();
        TVovozIdProc* proc = v->GetProc();
        EXPECT_EQ(proc->GetBackground(), kBack);
        c.op(proc);
        TIEBitmap* b = v->GetIEBitmap();
        if (c.width > 0) {
            EXPECT_EQ(b->GetWidth(), c.width);
            EXPECT_EQ(b->GetHeight(), c.height);
        } else {
            EXPECT_GT(b->GetWidth(), 40);
            EXPECT_GT(b->GetHeight(), 30);
        }
        const TRGB p = b->GetPixel24(c.bx, c.by);
        EXPECT_NEAR(p.r, kBackRGB.r, c.tolerance);
        EXPECT_NEAR(p.g, kBackRGB.g, c.tolerance);
        EXPECT_NEAR(p.b, kBackRGB.b, c.tolerance);
        EXPECT_EQ(pv.changes, 1);
        EXPECT_EQ(pv.finishes, 1);
        EXPECT_EQ(v->GetImageWidth(), b->GetWidth());
        EXPECT_EQ(v->GetImageHeight(), b->GetHeight());
        EXPECT_EQ(v->GetSelectionMask()->Width, b->GetWidth());
        EXPECT_EQ(v->GetSelectionMask()->Height, b->GetHeight());
    }
}

// Every operation that changes the picture runs its whole frame on the view: a captioned
// snapshot of the current layer, one image change, a finish with progress 100 last.
TEST(ProcOnView, EveryOperationReachesTheViewOnce) {
    struct Case {
        std::function<void(TVovozIdProc*)> op;
        const char* caption;
        int finishes = 1;  // Resample: its ResampleTo reports a finish of its own
    };
    const Case cases[] = {
        {[](TVovozIdProc* p) { p->ConvertToGray(); }, "ConvertToGray"},
        {[](TVovozIdProc* p) { p->Fill(kFill); }, "Fill"},
        {[](TVovozIdProc* p) { p->ImageResize(50, 20, 1, 1, 255); }, "ImageResize 50,20"},
        {[](TVovozIdProc* p) { p->Clear(); }, "Clear"},
        {[](TVovozIdProc* p) { p->Crop(2, 3, 20, 25); }, "Crop"},
        {[](TVovozIdProc* p) { p->Resample(20, 15, rfNone); }, "Resample 20,15", 2},
        {[](TVovozIdProc* p) { p->Rotate(90, true, 0, -1); }, "Rotate 90"},
        {[](TVovozIdProc* p) { p->ConvertTo(16, 0); }, "ConvertTo 16"},
        {[](TVovozIdProc* p) {
             TRGB palette[2];
             p->ConvertToPalette(2, palette, 2, 1);
         },
         "ConvertToPalette"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        PictureView pv;
        TVovozIdView* v = pv.view.get();
        std::vector<int> progress;
        v->SetOnProgress([&](cl::TObject*, int Per) { progress.push_back(Per); });
        TVovozIdProc* proc = v->GetProc();
        c.op(proc);
        EXPECT_EQ(pv.changes, 1);
        EXPECT_EQ(pv.finishes, c.finishes);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), 100);
        ASSERT_EQ(proc->GetUndoCount(), 1);
        EXPECT_EQ(proc->GetUndoCaptionAt(0), c.caption);
        EXPECT_EQ(proc->GetUndoBitmapAt(0)->LayerIndex, 0);
        EXPECT_EQ(v->GetImageWidth(), v->GetIEBitmap()->GetWidth());
        EXPECT_EQ(v->GetImageHeight(), v->GetIEBitmap()->GetHeight());
    }
}

// A refused format check ends the operation before the view is touched; the snapshot stays.
TEST(ProcOnView, ARefusedFormatLeavesTheViewAlone) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    v->GetIEBitmap()->SetPixelFormat(ie8g);
    TVovozIdProc* proc = v->GetProc();
    proc->AutoConvertFormat = false;
    proc->ConvertToGray();
    EXPECT_EQ(v->GetIEBitmap()->GetPixelFormat(), ie8g);
    EXPECT_EQ(pv.changes, 0);
    EXPECT_EQ(pv.finishes, 0);
    EXPECT_EQ(proc->GetUndoCount(), 1);
    proc->AutoConvertFormat = true;
    proc->ConvertToGray();
    EXPECT_EQ(v->GetIEBitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(pv.changes, 1);
}

// Setting the component's background sets the view's.
TEST(ProcOnView, TheBackgroundIsTheViews) {
    PictureView pv;
    TVovozIdProc* proc = pv.view->GetProc();
    proc->SetBackground(0x00123456);
    EXPECT_EQ(pv.view->GetBackground(), 0x00123456);
    pv.view->SetBackground(kBack);
    EXPECT_EQ(proc->GetBackground(), kBack);
}

// ---------------------------------------------------------------------------------------
// Undo and layers

// An image snapshot goes back to the layer it was taken from, whichever layer is current
// when it is restored.
TEST(ProcOnView, UndoWritesTheSnapshotBackToItsOwnLayer) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    TVovozIdProc* proc = v->GetProc();
    auto original = Copy(v->GetIEBitmap());
    proc->ConvertToGray();  // on layer 0
    const int32_t top = v->LayersAdd();
    ASSERT_EQ(top, 1);
    ASSERT_EQ(v->GetCurrentLayer(), 1);
    EXPECT_EQ(proc->GetWorkBitmap(), v->GetLayer(1)->GetBitmap());
    auto layer1 = Copy(v->GetLayer(1)->GetBitmap());
    v->SetCurrentLayer(0);
    v->SetCurrentLayer(1);
    proc->Undo();
    EXPECT_TRUE(IEBitmapsEqual(v->GetLayer(0)->GetBitmap(), original.get()));
    EXPECT_TRUE(IEBitmapsEqual(v->GetLayer(1)->GetBitmap(), layer1.get()));
    // A snapshot of a layer that is gone goes to the top layer that is left.
    v->SetCurrentLayer(1);
    v->GetProc()->Fill(kFill);  // snapshot of layer 1
    ASSERT_EQ(proc->GetUndoBitmapAt(proc->GetUndoCount() - 1)->LayerIndex, 1);
    v->LayersRemove(1);
    TIEBitmap* only = v->GetLayer(0)->GetBitmap();
    proc->Undo();
    EXPECT_TRUE(IEBitmapsEqual(only, layer1.get()));
}

// The layers-and-objects snapshot of a view without objects holds its layers whole and
// brings them back.
TEST(ProcOnView, ALayersSnapshotOfAPlainViewRestoresItsLayers) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    TVovozIdProc* proc = v->GetProc();
    v->GetLayer(0)->Name = "base";
    proc->SaveUndo(ieuObjectsAndLayers);
    ASSERT_EQ(proc->GetUndoCount(), 1);
    ASSERT_EQ(proc->GetUndoSourceAt(0), ieuObjectsAndLayers);
    v->LayersAdd();
    v->LayersAdd();
    ASSERT_EQ(v->GetLayerCount(), 3);
    proc->Undo();
    ASSERT_EQ(v->GetLayerCount(), 1);
    EXPECT_EQ(v->GetLayer(0)->Name, "base");
    EXPECT_EQ(proc->GetWorkBitmap(), v->GetIEBitmap());
    EXPECT_EQ(v->GetIEBitmap()->GetWidth(), 40);
}

// ---------------------------------------------------------------------------------------
// Attaching and detaching

TEST(ProcAttach, TheViewsOwnComponentIsAttachedLikeAnyOther) {
    PictureView pv;
    const int32_t before = pv.view->BitmapChangeEventCount();
    TVovozIdProc* proc = pv.view->GetProc();
    EXPECT_EQ(proc->GetAttachedVovozId(), pv.view.get());
    EXPECT_EQ(proc->GetOwner(), pv.view.get());
    EXPECT_EQ(pv.view->BitmapChangeEventCount(), before + 1);
    EXPECT_EQ(proc->GetWorkBitmap(), pv.view->GetIEBitmap());
    EXPECT_TRUE(proc->AutoUndo);
}

TEST(ProcAttach, ACallersComponentFollowsDetachesAndOutlivesTheView) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    auto proc = std::make_unique<TVovozIdProc>(nullptr);
    proc->AutoUndo = true;
    TIEBitmap* own = proc->GetWorkBitmap();
    proc->SetBackground(0x00010203);
    const int32_t before = v->BitmapChangeEventCount();
    proc->SetAttachedVovozId(v);
    EXPECT_EQ(proc->GetAttachedVovozId(), v);
    EXPECT_EQ(v->BitmapChangeEventCount(), before + 1);
    EXPECT_EQ(proc->GetWorkBitmap(), v->GetIEBitmap());
    EXPECT_EQ(proc->GetBackground(), kBack);
    // Attaching again to the same view registers once.
    proc->SetAttachedVovozId(v);
    EXPECT_EQ(v->BitmapChangeEventCount(), before + 1);

    // It honours the selection and tells the view, as the view's own component does.
    v->Select(10, 10, 20, 20);
    auto picture = Copy(v->GetIEBitmap());
    proc->Fill(kFill);
    EXPECT_EQ(v->GetIEBitmap()->GetPixel24(15, 15), kFill);
    EXPECT_EQ(v->GetIEBitmap()->GetPixel24(5, 5), picture->GetPixel24(5, 5));
    EXPECT_EQ(pv.changes, 1);

    // It follows the current image.
    v->LayersAdd();
    EXPECT_EQ(proc->GetWorkBitmap(), v->GetLayer(1)->GetBitmap());
    v->SetCurrentLayer(0);
    EXPECT_EQ(proc->GetWorkBitmap(), v->GetLayer(0)->GetBitmap());

    // Detached: its own empty bitmap and background; the view is neither changed nor told.
    proc->SetAttachedVovozId(nullptr);
    EXPECT_EQ(proc->GetAttachedVovozId(), nullptr);
    EXPECT_EQ(v->BitmapChangeEventCount(), before);
    EXPECT_NE(proc->GetWorkBitmap(), v->GetIEBitmap());
    EXPECT_NE(proc->GetWorkBitmap(), own);  // the old one was freed with the first attachment
    EXPECT_EQ(proc->GetWorkBitmap()->GetWidth(), 0);
    EXPECT_EQ(proc->GetBackground(), 0x00010203);
    auto now = Copy(v->GetIEBitmap());
    proc->GetWorkBitmap()->Allocate(4, 4, ie24RGB);
    proc->Fill(kFill);
    EXPECT_TRUE(IEBitmapsEqual(v->GetIEBitmap(), now.get()));
    EXPECT_EQ(pv.changes, 1);

    // Attached again, then the view goes: the component forgets it and works on a bitmap of
    // its own (the address checker sees any use of the view's freed bitmaps).
    proc->SetAttachedVovozId(v);
    proc->ConvertToGray();
    pv.view.reset();
    EXPECT_EQ(proc->GetAttachedVovozId(), nullptr);
    ASSERT_NE(proc->GetWorkBitmap(), nullptr);
    EXPECT_EQ(proc->GetWorkBitmap()->GetWidth(), 0);
    proc->ConvertToGray();
    proc->Undo();  // an image snapshot without its view goes to the work bitmap
    EXPECT_EQ(proc->GetWorkBitmap()->GetWidth(), 40);
    proc->SaveUndo(ieuSelection);  // nothing to take without a view
    EXPECT_EQ(proc->GetUndoSourceAt(proc->GetUndoCount() - 1), ieuImage);
}

TEST(ProcAttach, AComponentFreedWhileAttachedUnregisters) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    const int32_t before = v->BitmapChangeEventCount();
    {
        TVovozIdProc proc(nullptr);
        proc.SetAttachedVovozId(v);
        EXPECT_EQ(v->BitmapChangeEventCount(), before + 1);
    }
    EXPECT_EQ(v->BitmapChangeEventCount(), before);
    v->LayersAdd();  // calls the events: none of the freed component is left
    // The view's own component, freed by someone else, is made anew.
    TVovozIdProc* own = v->GetProc();
    delete own;
    EXPECT_EQ(v->BitmapChangeEventCount(), before);
    TVovozIdProc* again = v->GetProc();
    EXPECT_EQ(again->GetWorkBitmap(), v->GetIEBitmap());
}

// Attaching a caller's bitmap or a TImage ends the attachment to the view.
TEST(ProcAttach, OtherAttachmentsReplaceTheView) {
    PictureView pv;
    TVovozIdView* v = pv.view.get();
    const int32_t before = v->BitmapChangeEventCount();
    TVovozIdProc proc(nullptr);
    proc.SetAttachedVovozId(v);
    proc.AttachBitmap(nullptr);  // nil while a view is attached: nothing
    EXPECT_EQ(proc.GetAttachedVovozId(), v);
    TIEBitmap mine(5, 5, ie24RGB);
    proc.AttachBitmap(&mine);
    EXPECT_EQ(proc.GetAttachedVovozId(), nullptr);
    EXPECT_EQ(v->BitmapChangeEventCount(), before);
    EXPECT_EQ(proc.GetWorkBitmap(), &mine);
    proc.SetAttachedVovozId(v);
    cl::TImage image(nullptr);
    image.GetPicture()->GetBitmap()->SetSize(3, 3);
    proc.SetAttachedTImage(&image);
    EXPECT_EQ(proc.GetAttachedVovozId(), nullptr);
    EXPECT_EQ(v->BitmapChangeEventCount(), before);
    proc.SetAttachedVovozId(v);
    EXPECT_EQ(proc.GetAttachedTImage(), nullptr);
    EXPECT_EQ(proc.GetWorkBitmap(), v->GetIEBitmap());
}

// A view that keeps its picture only in a class-library bitmap: the component wraps it,
// works on its pixels, and tells the view.
class BitmapOnlyView : public TIEView {
public:
    BitmapOnlyView() : TIEView(nullptr) {
        Vcl.SetPixelFormat(cl::pf24bit);
        Vcl.SetSize(4, 3);
        for (int y = 0; y < 3; ++y) {
            auto* p = static_cast<uint8_t*>(Vcl.ScanLine(y));
            for (int x = 0; x < 4; ++x) {
                p[3 * x] = static_cast<uint8_t>(10 * x);       // blue
                p[3 * x + 1] = static_cast<uint8_t>(20 * y);   // green
                p[3 * x + 2] = static_cast<uint8_t>(200 - x);  // red
            }
        }
    }
    cl::TBitmap* GetBitmap() override { return &Vcl; }
    TIEBitmap* GetAlphaChannel() override { return nullptr; }
    bool GetHasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockUpdate() override {}
    void UnlockUpdate() override {}
    void UnlockUpdateEx() override {}
    void Update() override { ++Updates; }
    void ImageChange() override { ++Changes; }
    cl::TBitmap Vcl;
    int Updates = 0, Changes = 0;
};

TEST(ProcAttach, AViewOfferingOnlyAClassLibraryBitmapIsWrapped) {
    BitmapOnlyView view;
    TVovozIdProc proc(nullptr);
    proc.SetAttachedVovozId(&view);
    EXPECT_EQ(proc.GetWrappedBitmap(), &view.Vcl);
    ASSERT_NE(proc.GetWorkBitmap(), nullptr);
    EXPECT_EQ(proc.GetWorkBitmap()->GetWidth(), 4);
    proc.ConvertToGray();
    for (int y = 0; y < 3; ++y) {
        const auto* p = static_cast<const uint8_t*>(view.Vcl.ScanLine(y));
        for (int x = 0; x < 4; ++x) {
            const uint8_t g = Grey(CreateRGB(static_cast<uint8_t>(200 - x), static_cast<uint8_t>(20 * y),
                                             static_cast<uint8_t>(10 * x)));
            ASSERT_EQ(p[3 * x], g) << x << "," << y;
            ASSERT_EQ(p[3 * x + 1], g);
            ASSERT_EQ(p[3 * x + 2], g);
        }
    }
    EXPECT_EQ(view.Updates, 1);
    EXPECT_EQ(view.Changes, 1);
    // Such a view keeps no selection or layers: nothing is taken of them.
    proc.SaveUndo(ieuLayer);
    proc.SaveUndo(ieuSelection);
    EXPECT_EQ(proc.GetUndoCount(), 0);
}

// ---------------------------------------------------------------------------------------
// An empty view on the screen

using ProcViewScreen = ViewScreenTest;

// A view without a picture paints its background over the whole client area, also where a
// picture was shown before.
TEST_F(ProcViewScreen, AnEmptyViewPaintsItsBackground) {
    TVovozIdView* v = MakeView(320, 240);
    v->SetBackground(kBack);
    win::test::Screen s = Shot(v);
    for (int y = 0; y < 240; y += 4)
        for (int x = 0; x < 320; x += 4) ASSERT_EQ(At(s, v, x, y), ScreenRGB(kBack)) << "new " << x << "," << y;

    FillCoordPicture(v->GetIEBitmap(), 100, 60);
    v->Update();
    s = Shot(v);
    ASSERT_EQ(At(s, v, 110 + 50, 90 + 30), CoordColor(50, 30));
    v->GetProc()->Crop(0, 0, 0, 0);  // a 1 x 1 picture counts as none
    ASSERT_TRUE(v->IsEmpty());
    s = Shot(v);
    for (int y = 0; y < 240; y += 4)
        for (int x = 0; x < 320; x += 4)
            ASSERT_EQ(At(s, v, x, y), ScreenRGB(kBack)) << "after a 1x1 crop " << x << "," << y;

    FillCoordPicture(v->GetIEBitmap(), 100, 60);
    v->Update();
    s = Shot(v);
    ASSERT_EQ(At(s, v, 110 + 50, 90 + 30), CoordColor(50, 30));
    v->SetExternalBitmap(nullptr);  // a 0 x 0 picture
    s = Shot(v);
    for (int y = 0; y < 240; y += 4)
        for (int x = 0; x < 320; x += 4)
            ASSERT_EQ(At(s, v, x, y), ScreenRGB(kBack)) << "after emptying " << x << "," << y;
}

}  // namespace
}  // namespace ie::test
