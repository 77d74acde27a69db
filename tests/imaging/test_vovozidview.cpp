// The view control's core: a view made in code without a window holds, loads, converts and
// saves a picture (the player's mask road, checked with ImageMagick); the companions, the
// locks, the image holder, the layers made at construction and the layer class.
#include <gtest/gtest.h>

#include <string>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/vovozidview.h"

namespace ie::test {
namespace {

using ViewMaskRoad = CodecIOTest;

// The player's road: a view without owner or parent loads a JPEG mask by content, converts
// it to grey and saves it as an 8-bit BMP, which ImageMagick reads back as the grey picture.
TEST_F(ViewMaskRoad, WindowlessViewLoadsConvertsToGreyAndSavesAGreyBMP) {
    auto view = std::make_unique<TVovozIdView>(nullptr);
    TIEBitmap* image = view->GetIEBitmap();
    view->GetIO()->LoadFromFile(cl::String(FixturePath("jpeg", "s444.jpg")));
    ASSERT_FALSE(view->GetIO()->Aborting);
    EXPECT_FALSE(view->HandleAllocated());
    EXPECT_EQ(view->GetIEBitmap(), image);
    EXPECT_EQ(image->GetLocation(), ieTBitmap);
    EXPECT_EQ(image->GetPixelFormat(), ie24RGB);
    const RefImage ref = LoadRef(FixturePath("jpeg", "s444.ref.ppm"));
    ExpectSameRGB(*image, ref);
    // Update ran without a window: the extent and the selection mask follow the picture.
    EXPECT_EQ(view->GetImageWidth(), ref.Width);
    EXPECT_EQ(view->GetImageHeight(), ref.Height);
    EXPECT_EQ(view->GetSelectionMask()->Width, ref.Width);
    EXPECT_EQ(view->GetSelectionMask()->Height, ref.Height);

    TVovozIdProc* proc = view->GetProc();
    EXPECT_TRUE(proc->AutoUndo);
    EXPECT_EQ(proc->GetWorkBitmap(), image);
    proc->ConvertToGray();
    EXPECT_EQ(proc->GetUndoCount(), 1);
    RefImage grey = ref;
    grey.Channels = 1;
    grey.Pixels.clear();
    for (int32_t y = 0; y < ref.Height; ++y)
        for (int32_t x = 0; x < ref.Width; ++x) {
            const uint8_t* p = ref.At(x, y);
            grey.Pixels.push_back(static_cast<uint8_t>((p[0] * 21 + p[1] * 71 + p[2] * 8) / 100));
        }
    ExpectSameRGB(*image, grey);

    view->GetIO()->Params().BitsPerSample = 8;
    view->GetIO()->Params().SamplesPerPixel = 1;
    const std::string out = Temp("mask.bmp");
    view->GetIO()->SaveToFile(cl::String(out));
    ASSERT_FALSE(view->GetIO()->Aborting);
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%m %z %[type]' '" + out + "'"), "BMP3 8 Grayscale");
    ExpectSameRGB(*image, DecodeWithImageMagick(out));
    // Freeing the view frees the companions, the layers and both bitmaps (the leak checker
    // sees the rest).
    view.reset();
}

TEST(ViewCore, ConstructionDefaults) {
    const int32_t uses = IEGDIPlusUseCount();
    TVovozIdView view(nullptr);
    EXPECT_EQ(IEGDIPlusUseCount(), uses + 1);
    EXPECT_EQ(view.GetWidth(), 105);
    EXPECT_EQ(view.GetHeight(), 105);
    EXPECT_EQ(view.GetLayerCount(), 1);
    EXPECT_EQ(view.GetCurrentLayer(), 0);
    TIELayer* layer = view.GetCurrentLayerObject();
    EXPECT_EQ(layer->GetBitmap(), view.GetIEBitmap());
    EXPECT_TRUE(layer->GetOwnsBitmap());
    EXPECT_FALSE(layer->ShowBox);
    EXPECT_TRUE(layer->Immovable);
    EXPECT_TRUE(view.GetLegacyBitmap());
    ASSERT_NE(view.GetBitmap(), nullptr);
    EXPECT_EQ(view.GetBitmap()->GetPixelFormat(), cl::pf24bit);
    EXPECT_TRUE(view.GetIEBitmap()->Encapsulated);
    // A view made in code keeps its empty picture when it is sized.
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 0);
    EXPECT_EQ(view.GetIEBitmap()->GetHeight(), 0);
    EXPECT_EQ(view.GetDpiX(), IEDefaultDpiX);
    EXPECT_EQ(view.GetDpiY(), IEDefaultDpiY);
    EXPECT_EQ(view.GetZoom(), 100);
    EXPECT_TRUE(view.GetCenter());
    EXPECT_TRUE(view.DoubleBuffer);
    EXPECT_EQ(view.GetScrollBars(), ssBoth);
    EXPECT_EQ(view.GetBackgroundStyle(), iebsSolid);
    EXPECT_EQ(view.GetBackground(), cl::clBtnFace);
    EXPECT_EQ(view.GetViewCursor(), 1785);
    EXPECT_EQ(view.GetSelectionOptions(),
              IESelOpt(iesoAnimated) | IESelOpt(iesoSizeable) | IESelOpt(iesoMoveable) | IESelOpt(iesoCanScroll));
    EXPECT_EQ(view.GetMouseWheelParams()->Value, 8);
    EXPECT_EQ(std::string(view.GetVovozIdVersion()), "3.1.0");
    EXPECT_EQ(view.GetUpdateHoldCount(), 0);
    // Without owner or parent window there is no ants timer.
    EXPECT_EQ(view.GetAntsTimer(), nullptr);
    EXPECT_NE(view.GetBackBufferBitmap(), nullptr);
}

TEST(ViewCore, ResizingAViewMadeInCodeKeepsItsPicture) {
    TVovozIdView view(nullptr);
    view.GetIEBitmap()->Allocate(7, 3, ie24RGB);
    view.SetBounds(0, 0, 300, 200);
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 7);
    EXPECT_EQ(view.GetIEBitmap()->GetHeight(), 3);
}

TEST(ViewCore, AnOwnerGivesTheAntsTimer) {
    cl::TComponent owner(nullptr);
    auto* view = new TVovozIdView(&owner);  // owned by owner
    ASSERT_NE(view->GetAntsTimer(), nullptr);
    EXPECT_EQ(view->GetAntsTimer()->GetInterval(), 210u);
}

TEST(ViewCore, CompanionsAreMadeOnceAndTakeTheEvents) {
    TVovozIdView view(nullptr);
    int progress = 0;
    view.SetOnProgress([&](cl::TObject*, int) { ++progress; });
    TVovozIdIO* io = view.GetIO();
    EXPECT_EQ(view.GetIO(), io);
    EXPECT_EQ(io->GetIEBitmap(), view.GetIEBitmap());
    ASSERT_TRUE(io->OnProgress);
    io->OnProgress(io, 5);
    EXPECT_EQ(progress, 1);
    int finished = 0;
    view.SetOnFinishWork([&](cl::TObject*) { ++finished; });
    TVovozIdProc* proc = view.GetProc();
    EXPECT_EQ(view.GetProc(), proc);
    ASSERT_TRUE(io->OnFinishWork);
    ASSERT_TRUE(proc->OnFinishWork);
    ASSERT_TRUE(proc->OnProgress);
    proc->OnFinishWork(proc);
    EXPECT_EQ(finished, 1);
}

TEST(ViewCore, UpdateHoldsAndPaintLocks) {
    TVovozIdView view(nullptr);
    int changes = 0;
    view.SetAutoFit(true);
    view.OnViewChange = [&](cl::TObject*, int32_t) { ++changes; };
    view.GetIEBitmap()->Allocate(200, 100, ie24RGB);
    view.HoldUpdate();
    view.HoldUpdate();
    view.ResumeUpdate();
    EXPECT_EQ(changes, 0);  // still held
    view.ResumeUpdate();
    EXPECT_EQ(changes, 1);  // the automatic fit ran
    view.ReleaseUpdateHold();
    EXPECT_EQ(view.GetUpdateHoldCount(), 0);
    // UnlockUpdate at 0 still updates and answers 0.
    EXPECT_EQ(view.UnlockUpdateCount(), 0);
    EXPECT_EQ(changes, 2);
    view.LockUpdate();
    view.LockUpdate();
    EXPECT_EQ(view.UnlockUpdateExCount(), 1);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(view.UnlockUpdateCount(), 0);
    EXPECT_EQ(changes, 3);
}

TEST(ViewCore, IsEmptyBelowTwoPixelsOnBothAxes) {
    struct Case {
        int32_t W, H;
        bool Empty;
    };
    // clang-format off
    const Case cases[] = {{0, 0, true}, {1, 1, true}, {1, 0, true}, {2, 1, false}, {1, 2, false}, {1, 5, false}};
    // clang-format on
    TVovozIdView view(nullptr);
    for (const Case& c : cases) {
        view.GetIEBitmap()->Allocate(c.W, c.H, ie24RGB);
        EXPECT_EQ(view.IsEmpty(), c.Empty) << c.W << "x" << c.H;
    }
}

TEST(ViewCore, LegacyBitmapSwitchKeepsThePixels) {
    TVovozIdView view(nullptr);
    view.GetIEBitmap()->Allocate(3, 2, ie24RGB);
    view.GetIEBitmap()->SetPixel24(2, 1, CreateRGB(10, 20, 30));
    int calls = 0;
    view.RegisterBitmapChangeEvent([&](cl::TObject*, bool) { ++calls; });
    view.SetLegacyBitmap(false);
    EXPECT_EQ(view.GetBitmap(), nullptr);
    EXPECT_NE(view.GetIEBitmap()->GetLocation(), ieTBitmap);
    EXPECT_EQ(calls, 1);
    view.SetLegacyBitmap(true);
    ASSERT_NE(view.GetBitmap(), nullptr);
    EXPECT_EQ(view.GetBitmap()->GetWidth(), 3);
    TRGB p = view.GetIEBitmap()->GetPixel24(2, 1);
    EXPECT_EQ(p.r, 10);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.b, 30);
    EXPECT_EQ(calls, 2);
    view.SetLegacyBitmap(true);  // unchanged: nothing
    EXPECT_EQ(calls, 2);
}

// An external bitmap replaces the owned one; nil gives the layer an empty bitmap of its own
// and tells the attached components, so that none keeps the freed bitmap.
TEST(ViewCore, ExternalBitmapAndBackTellTheComponents) {
    TVovozIdView view(nullptr);
    TVovozIdIO* io = view.GetIO();
    TVovozIdProc* proc = view.GetProc();
    TIEBitmap external(4, 3, ie24RGB);
    view.SetExternalBitmap(&external);
    EXPECT_EQ(view.GetIEBitmap(), &external);
    EXPECT_EQ(view.GetBitmap(), nullptr);
    EXPECT_FALSE(view.GetCurrentLayerObject()->GetOwnsBitmap());
    EXPECT_EQ(io->GetIEBitmap(), &external);
    EXPECT_EQ(proc->GetWorkBitmap(), &external);
    EXPECT_EQ(view.GetImageWidth(), 4);

    view.SetExternalBitmap(nullptr);
    TIEBitmap* own = view.GetIEBitmap();
    ASSERT_NE(own, &external);
    EXPECT_TRUE(view.GetCurrentLayerObject()->GetOwnsBitmap());
    EXPECT_EQ(view.GetBitmap(), nullptr);
    EXPECT_EQ(io->GetIEBitmap(), own);
    EXPECT_EQ(proc->GetWorkBitmap(), own);
    EXPECT_EQ(view.GetImageWidth(), 0);
    EXPECT_EQ(external.GetWidth(), 4);  // not the view's to free

    // A second nil frees the owned empty bitmap and tells again.
    view.SetExternalBitmap(nullptr);
    EXPECT_EQ(io->GetIEBitmap(), view.GetIEBitmap());
    EXPECT_EQ(proc->GetWorkBitmap(), view.GetIEBitmap());
}

TEST(ViewCore, UpdateFollowsANewImageSize) {
    TVovozIdView view(nullptr);
    view.GetIEBitmap()->Allocate(8, 6, ie24RGB);
    view.GetIEBitmap()->GetAlphaChannel()->Fill(7);
    view.Update();
    // No selection: an empty mask of the new size.
    EXPECT_EQ(view.GetSelectionMask()->Width, 8);
    EXPECT_EQ(view.GetSelectionMask()->Height, 6);
    EXPECT_EQ(view.GetSelectionMask()->BitsPerPixel, 1);
    EXPECT_TRUE(view.GetSelectionMask()->IsEmpty());
    // The alpha channel of another size is made anew, opaque.
    view.GetIEBitmap()->Allocate(5, 9, ie24RGB);
    view.Update();
    TIEBitmap* alpha = view.GetIEBitmap()->GetAlphaChannel();
    EXPECT_EQ(alpha->GetWidth(), 5);
    EXPECT_EQ(alpha->GetHeight(), 9);
    EXPECT_EQ(alpha->GetPixel8(4, 8), 255);
    EXPECT_EQ(view.GetSelectionMask()->Width, 5);
}

TEST(ViewCore, ClearResetAndAlphaChannel) {
    TVovozIdView view(nullptr);
    view.SetBackground(0x00030201);  // blue 3, green 2, red 1
    view.GetIEBitmap()->Allocate(4, 3, ie24RGB);
    EXPECT_FALSE(view.GetHasAlphaChannel());
    TIEBitmap* alpha = view.GetAlphaChannel();
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->GetPixel8(3, 2), 255);
    EXPECT_TRUE(view.GetHasAlphaChannel());
    view.Clear();
    EXPECT_FALSE(view.GetHasAlphaChannel());
    const TRGB p = view.GetIEBitmap()->GetPixel24(3, 2);
    EXPECT_EQ(p.r, 1);
    EXPECT_EQ(p.g, 2);
    EXPECT_EQ(p.b, 3);
    view.GetAlphaChannel()->Fill(0);
    view.RemoveAlphaChannel(true);  // merged over the background
    EXPECT_FALSE(view.GetHasAlphaChannel());
    view.ResetToEmpty();
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 1);
    EXPECT_EQ(view.GetIEBitmap()->GetHeight(), 1);
    EXPECT_EQ(view.GetIEBitmap()->GetPixel24(0, 0).r, 1);
    EXPECT_TRUE(view.IsEmpty());
}

TEST(ViewCore, AssignFromBitmapsAndViews) {
    TVovozIdView view(nullptr);
    int changes = 0;
    view.OnImageChange = [&](cl::TObject*) { ++changes; };
    struct Case {
        cl::TPixelFormat Vcl;
        TIEPixelFormat Want;
    };
    for (const Case& c : {Case{cl::pf32bit, ie24RGB}, Case{cl::pf1bit, ie1g}, Case{cl::pf24bit, ie24RGB}}) {
        cl::TBitmap bmp;
        bmp.SetPixelFormat(c.Vcl);
        bmp.SetSize(5, 4);
        view.Assign(&bmp);
        EXPECT_EQ(view.GetIEBitmap()->GetPixelFormat(), c.Want) << c.Vcl;
        EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 5);
    }
    EXPECT_EQ(changes, 3);
    TVovozIdView source(nullptr);
    source.GetIEBitmap()->Allocate(2, 2, ie24RGB);
    source.GetIEBitmap()->SetPixel24(1, 1, CreateRGB(1, 2, 3));
    source.SetBackground(0x00FF00);
    source.SetDpi(72, 144);
    view.Assign(&source);
    EXPECT_EQ(changes, 4);  // one image change for the assignment
    EXPECT_EQ(view.GetIEBitmap()->GetPixel24(1, 1).g, 2);
    EXPECT_EQ(view.GetBackground(), 0x00FF00);
    EXPECT_EQ(view.GetDpiX(), 72);
    EXPECT_EQ(view.GetDpiY(), 144);
    cl::TComponent other(nullptr);
    view.Assign(&other);  // a class it does not know: nothing
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 2);
}

// ---------------------------------------------------------------------------------------
// The layer class

TEST(Layer, CreateResetAndRotate) {
    TIEBitmap shape(7, 5, ie8g);
    TIELayer layer(nullptr, false, &shape);
    ASSERT_NE(layer.GetBitmap(), &shape);
    EXPECT_EQ(layer.GetBitmap()->GetWidth(), 7);
    EXPECT_EQ(layer.GetBitmap()->GetPixelFormat(), ie8g);
    EXPECT_TRUE(layer.GetOwnsBitmap());
    EXPECT_EQ(layer.GetShownWidth(), 7);
    layer.ShownWidth = 20;
    EXPECT_EQ(layer.GetShownWidth(), 20);
    EXPECT_EQ(layer.GetShownHeight(), 5);
    layer.Opacity = 3;
    layer.Name = "top";
    layer.UseOwnFilter = true;
    layer.Reset();
    EXPECT_EQ(layer.ShownWidth, 0);
    EXPECT_EQ(layer.Opacity, 255);
    EXPECT_EQ(layer.Name, "top");
    EXPECT_TRUE(layer.UseOwnFilter);
    struct Case {
        double Set, Stored;
    };
    for (const Case& c : {Case{720, 0}, Case{720.5, 720.5}, Case{-360, 0}, Case{90, 90}}) {
        layer.SetRotate(c.Set);
        EXPECT_EQ(layer.Angle, c.Stored) << c.Set;
    }
    TIELayer other(nullptr, false, nullptr);
    EXPECT_NE(std::memcmp(&other.GUID, &layer.GUID, sizeof(win::GUID)), 0);
}

TEST(Layer, LegacyShapeMakesAClassLibraryBitmap) {
    TVovozIdView view(nullptr);
    view.GetBitmap()->SetSize(6, 2);
    view.SyncLayers();
    TIELayer layer(&view, false, view.GetIEBitmap());
    EXPECT_TRUE(layer.GetBitmap()->Encapsulated);
    ASSERT_NE(layer.GetBitmap()->VclBitmap(), nullptr);
    EXPECT_NE(layer.GetBitmap()->VclBitmap(), view.GetBitmap());
    EXPECT_EQ(layer.GetBitmap()->GetWidth(), 6);
}

TEST(Layer, AssignCopiesSettingsAndPixelsButNotTheRotation) {
    TIEBitmap shape(3, 3, ie24RGB);
    TIELayer a(nullptr, false, &shape), b(nullptr, false, nullptr);
    a.GetBitmap()->Fill(0x0000FF);
    a.PositionX = -4;
    a.Opacity = 100;
    a.MaskForBelow = true;
    a.Magnifier.Zoom = 3;
    a.SetRotate(30);
    a.PivotX = 0.1;
    const char data[] = "abc";
    a.SetUserData(data, 3);
    b.Assign(&a);
    EXPECT_EQ(b.PositionX, -4);
    EXPECT_EQ(b.Opacity, 100);
    EXPECT_TRUE(b.MaskForBelow);
    EXPECT_EQ(b.Magnifier.Zoom, 3);
    EXPECT_EQ(b.Angle, 0);
    EXPECT_EQ(b.PivotX, 0.5);
    EXPECT_EQ(b.GetBitmap()->GetWidth(), 3);
    EXPECT_EQ(b.GetBitmap()->GetPixel24(2, 2).r, 255);
    ASSERT_EQ(b.GetUserDataSize(), 3);
    EXPECT_NE(b.GetUserData(), a.GetUserData());  // each owns its block
}

TEST(Layer, UndoRecordRoundTripsWithAndWithoutPixels) {
    TIEBitmap shape(4, 2, ie24RGB);
    TIELayer a(nullptr, false, &shape);
    a.GetBitmap()->Fill(0x112233);
    a.PositionX = 9;
    a.PositionY = -2;
    a.Name = "layer one";
    a.Visible = false;
    a.BlendMode = 5;
    a.SetRotate(12.5);
    a.PivotY = 0.25;
    a.Magnifier.Magnifier = true;
    a.Magnifier.Shape = 1;
    for (bool withBitmap : {false, true}) {
        cl::TMemoryStream s;
        a.SaveUndoRecord(&s, withBitmap);
        int32_t length = 0;
        s.SetPosition(0);
        s.ReadBuffer(&length, 4);
        EXPECT_EQ(length, s.GetSize());
        TIELayer b(nullptr, false, nullptr);
        b.GetBitmap()->Allocate(1, 1, ie24RGB);
        b.GetBitmap()->Fill(0);
        s.SetPosition(0);
        ASSERT_TRUE(b.LoadUndoRecord(&s));
        EXPECT_EQ(s.GetPosition(), s.GetSize());
        EXPECT_EQ(std::memcmp(&b.GUID, &a.GUID, sizeof(win::GUID)), 0);
        EXPECT_EQ(b.PositionX, 9);
        EXPECT_EQ(b.PositionY, -2);
        EXPECT_EQ(b.Name, "layer one");
        EXPECT_FALSE(b.Visible);
        EXPECT_EQ(b.BlendMode, 5);
        EXPECT_EQ(b.Angle, 12.5);
        EXPECT_EQ(b.PivotY, 0.25);
        EXPECT_TRUE(b.Magnifier.Magnifier);
        EXPECT_EQ(b.Magnifier.Shape, 1);
        if (withBitmap) {
            EXPECT_EQ(b.GetBitmap()->GetWidth(), 4);
            EXPECT_EQ(b.GetBitmap()->GetPixel24(3, 1).r, 0x33);
        } else {
            EXPECT_EQ(b.GetBitmap()->GetWidth(), 1);  // the pixels stay
        }
    }
}

TEST(Layer, DamagedUndoRecordChangesNothing) {
    TIEBitmap shape(4, 2, ie24RGB);
    TIELayer a(nullptr, false, &shape);
    a.Name = "n";
    cl::TMemoryStream s;
    a.SaveUndoRecord(&s, true);
    const std::vector<uint8_t> good = StreamBytes(s);
    struct Case {
        const char* What;
        size_t Cut;     // keep this many bytes (0: all)
        size_t Offset;  // patch 4 bytes here
        int32_t Value;
    };
    // clang-format off
    const Case cases[] = {
        {"short", 30, 0, 0},
        {"length past the end", 0, 0, 100000},
        {"negative name length", 0, 4 + 16 + 8 + 3 + 12 + 16 + 2 + 24 + 1 + 4 + 2, -1},
        {"name past the record", 0, 4 + 16 + 8 + 3 + 12 + 16 + 2 + 24 + 1 + 4 + 2, 5000},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        if (c.Cut) bytes.resize(c.Cut);
        if (c.Offset || c.Value) std::memcpy(bytes.data() + c.Offset, &c.Value, 4);
        TIELayer b(nullptr, false, nullptr);
        b.PositionX = 77;
        b.Name = "keep";
        auto m = MemStream(bytes);
        EXPECT_FALSE(b.LoadUndoRecord(m.get())) << c.What;
        EXPECT_EQ(b.PositionX, 77) << c.What;
        EXPECT_EQ(b.Name, "keep") << c.What;
        EXPECT_EQ(m->GetPosition(), 0) << c.What;
    }
}

}  // namespace
}  // namespace ie::test
