// The view's layers: composition with opacity, alpha, blend modes and masks against a
// per-pixel reference written from the rules of the renderer; adding, removing, clearing
// and picking layers; grips; merging; baking sizes and rotations; cropping to the alpha;
// and the layer snapshots of the processing component's undo.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidview.h"

namespace ie::test {
namespace {

// ---------------------------------------------------------------------------------------
// The reference: one picture of RGB values per image pixel, layers laid over it in order.

struct Pix {
    int r = 0, g = 0, b = 0;
    bool operator==(const Pix&) const = default;
};

int BlendChannel(int s, int d, TIEBlendOperation Op) {
    switch (Op) {
        case boCopy: return s;
        case boAdd: return std::min(255, s + d);
        case boDifference: return std::abs(d - s);
        case boMultiply: return (s * d) / 256;
        case boLighten: return std::max(s, d);
        case boDarken: return std::min(s, d);
        case boScreen: return 255 - ((255 - s) * (255 - d)) / 255;
        default: ADD_FAILURE() << "no reference for operation " << int(Op); return d;
    }
}

// d + floor(t x (p - d) / 256): the renderer's mix of a pixel with opacity t.
int Mix(int d, int p, int t) {
    const int v = t * (p - d);
    return d + (v >= 0 ? v / 256 : -((-v + 255) / 256));
}

struct RefLayer {
    int X = 0, Y = 0, W = 0, H = 0;
    std::vector<Pix> Pixels;
    std::vector<int> Alpha;  // empty: none
    int Opacity = 255;
    TIEBlendOperation Op = boCopy;
};

void LayOver(std::vector<Pix>& Dest, int DW, int DH, const RefLayer& L, const std::vector<int>* Mask = nullptr) {
    for (int y = 0; y < L.H; ++y)
        for (int x = 0; x < L.W; ++x) {
            const int dx = L.X + x, dy = L.Y + y;
            if (dx < 0 || dy < 0 || dx >= DW || dy >= DH) continue;
            Pix& d = Dest[static_cast<size_t>(dy * DW + dx)];
            const Pix& s = L.Pixels[static_cast<size_t>(y * L.W + x)];
            Pix p{BlendChannel(s.r, d.r, L.Op), BlendChannel(s.g, d.g, L.Op), BlendChannel(s.b, d.b, L.Op)};
            int a = L.Alpha.empty() ? 255 : L.Alpha[static_cast<size_t>(y * L.W + x)];
            if (Mask) a = std::min(a, (*Mask)[static_cast<size_t>(y * L.W + x)]);
            const bool alphaUsed = !L.Alpha.empty() || Mask;
            if (L.Opacity >= 255 && !alphaUsed) {
                d = p;
            } else {
                const int t = std::min(L.Opacity, a);
                d = Pix{Mix(d.r, p.r, t), Mix(d.g, p.g, t), Mix(d.b, p.b, t)};
            }
        }
}

// Puts a reference layer's pixels (and alpha) into a view layer's bitmap.
void Fill(TIELayer* Layer, const RefLayer& L) {
    TIEBitmap* b = Layer->GetBitmap();
    b->Allocate(L.W, L.H, ie24RGB);
    for (int y = 0; y < L.H; ++y)
        for (int x = 0; x < L.W; ++x) {
            const Pix& p = L.Pixels[static_cast<size_t>(y * L.W + x)];
            b->SetPixel24(x, y, TRGB{static_cast<uint8_t>(p.b), static_cast<uint8_t>(p.g), static_cast<uint8_t>(p.r)});
        }
    if (!L.Alpha.empty()) {
        TIEBitmap* a = b->GetAlphaChannel();
        for (int y = 0; y < L.H; ++y)
            for (int x = 0; x < L.W; ++x) a->SetPixel8(x, y, static_cast<uint8_t>(L.Alpha[size_t(y * L.W + x)]));
        a->Full = false;
    } else {
        b->RemoveAlphaChannel(false, 0);
    }
    Layer->PositionX = L.X;
    Layer->PositionY = L.Y;
    Layer->Opacity = L.Opacity;
    Layer->BlendMode = L.Op;
}

RefLayer Pattern(int X, int Y, int W, int H, int Seed) {
    RefLayer L;
    L.X = X, L.Y = Y, L.W = W, L.H = H;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            L.Pixels.push_back(Pix{(x * 37 + y * 11 + Seed * 53) & 255, (x * 13 + y * 29 + Seed * 7) & 255,
                                   (x * 5 + y * 61 + Seed * 101) & 255});
    return L;
}

std::array<int32_t, 4> Corners(const cl::TRect& R) { return {R.left, R.top, R.right, R.bottom}; }

void ExpectPixels(TIEBitmap& B, const std::vector<Pix>& Want, int W, int H) {
    ASSERT_EQ(B.GetWidth(), W);
    ASSERT_EQ(B.GetHeight(), H);
    int bad = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const TRGB p = B.GetPixelRGB(x, y);
            const Pix& w = Want[static_cast<size_t>(y * W + x)];
            if ((Pix{p.r, p.g, p.b} != w) && bad++ < 5)
                ADD_FAILURE() << x << "," << y << ": " << int(p.r) << " " << int(p.g) << " " << int(p.b) << " want "
                              << w.r << " " << w.g << " " << w.b;
        }
}

// A windowless view with a black background and layer 0 holding Base.
std::unique_ptr<TVovozIdView> ViewWith(const RefLayer& Base) {
    auto view = std::make_unique<TVovozIdView>(nullptr);
    view->SetBackground(0);
    Fill(view->GetLayer(0), Base);
    view->Update();
    return view;
}

// ---------------------------------------------------------------------------------------
// Composition

struct BlendCase {
    TIEBlendOperation Op;
    int Opacity;
    bool Alpha;
};

class LayerComposition : public ::testing::TestWithParam<BlendCase> {};

// Two layers over layer 0, one reaching out of the picture on the left (which enlarges the
// merged picture) and one on the right (clipped to the image), with the case's blend mode,
// opacity and alpha.
TEST_P(LayerComposition, RenderLayersToMatchesTheReference) {
    const BlendCase c = GetParam();
    const RefLayer base = Pattern(0, 0, 9, 7, 1);
    auto view = ViewWith(base);
    RefLayer a = Pattern(-2, 1, 5, 4, 2);
    a.Opacity = c.Opacity;
    a.Op = c.Op;
    RefLayer b = Pattern(6, 3, 5, 3, 3);
    b.Op = c.Op;
    if (c.Alpha)
        for (int i = 0; i < b.W * b.H; ++i) b.Alpha.push_back((i * 47) & 255);
    Fill(view->GetLayer(view->LayersAdd()), a);
    const int32_t top = view->LayersAdd();
    Fill(view->GetLayer(top), b);
    view->GetLayer(top)->ClipToImage = true;

    TIEBitmap out;
    view->RenderLayersTo(&out);
    // The merged picture: 2 more columns on the left for layer a; layer b does not enlarge it.
    const int W = 11, H = 7;
    std::vector<Pix> want(static_cast<size_t>(W * H));
    RefLayer shifted = base;
    shifted.X += 2;
    LayOver(want, W, H, shifted);
    a.X += 2;
    LayOver(want, W, H, a);
    // Layer b is clipped to layer 0's columns 6..8 (shifted 8..10).
    RefLayer bc = b;
    bc.X += 2;
    LayOver(want, W, H, bc);
    ExpectPixels(out, want, W, H);
}

INSTANTIATE_TEST_SUITE_P(Modes, LayerComposition,
                         ::testing::Values(BlendCase{boCopy, 255, false}, BlendCase{boCopy, 128, false},
                                           BlendCase{boCopy, 255, true}, BlendCase{boMultiply, 255, false},
                                           BlendCase{boScreen, 200, true}, BlendCase{boDifference, 77, false},
                                           BlendCase{boAdd, 255, true}, BlendCase{boLighten, 255, false},
                                           BlendCase{boDarken, 10, true}));

TEST(LayerCompositionMask, AMaskLayerShapesTheLayerBelowAndIsNotDrawn) {
    const RefLayer base = Pattern(0, 0, 8, 6, 4);
    auto view = ViewWith(base);
    RefLayer a = Pattern(1, 1, 6, 4, 5);
    a.Opacity = 220;
    for (int i = 0; i < a.W * a.H; ++i) a.Alpha.push_back(255 - i * 5);
    Fill(view->GetLayer(view->LayersAdd()), a);
    // The mask covers only part of layer a: its grey value limits a's alpha there, and a is
    // invisible where the mask is not.
    const int32_t m = view->LayersAdd();
    TIELayer* mask = view->GetLayer(m);
    mask->MaskForBelow = true;
    mask->GetBitmap()->Allocate(3, 3, ie8g);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) mask->GetBitmap()->SetPixel8(x, y, static_cast<uint8_t>(40 + 70 * x + 10 * y));
    mask->PositionX = 3;
    mask->PositionY = 2;

    TIEBitmap out;
    view->RenderLayersTo(&out);
    std::vector<Pix> want(8 * 6);
    LayOver(want, 8, 6, base);
    std::vector<int> maskValues;
    for (int y = 0; y < a.H; ++y)
        for (int x = 0; x < a.W; ++x) {
            const int mx = a.X + x - 3, my = a.Y + y - 2;
            maskValues.push_back(mx >= 0 && my >= 0 && mx < 3 && my < 3 ? 40 + 70 * mx + 10 * my : 0);
        }
    LayOver(want, 8, 6, a, &maskValues);
    ExpectPixels(out, want, 8, 6);
    // Layer a's own alpha channel is back after the composition.
    EXPECT_EQ(view->GetLayer(1)->GetBitmap()->GetAlpha(0, 0), 255);
}

TEST(LayerCompositionMask, InvisibleLayersAndTinyBitmapsAreSkipped) {
    const RefLayer base = Pattern(0, 0, 6, 5, 6);
    auto view = ViewWith(base);
    Fill(view->GetLayer(view->LayersAdd()), Pattern(0, 0, 6, 5, 7));
    view->GetLayer(1)->Visible = false;
    Fill(view->GetLayer(view->LayersAdd()), Pattern(2, 2, 1, 1, 8));
    TIEBitmap out;
    view->RenderLayersTo(&out);
    std::vector<Pix> want(6 * 5);
    LayOver(want, 6, 5, base);
    ExpectPixels(out, want, 6, 5);
}

TEST(LayerMerge, FlattenOfALayerAtANegativePositionKeepsEveryPixel) {
    const RefLayer base = Pattern(0, 0, 5, 4, 9);
    auto view = ViewWith(base);
    const RefLayer a = Pattern(-3, -2, 4, 3, 10);
    Fill(view->GetLayer(view->LayersAdd()), a);
    view->FlattenLayers();
    EXPECT_EQ(view->GetLayerCount(), 1);
    EXPECT_EQ(view->GetCurrentLayer(), 0);
    const int W = 8, H = 6;
    std::vector<Pix> want(W * H);
    RefLayer b2 = base, a2 = a;
    b2.X += 3, b2.Y += 2, a2.X += 3, a2.Y += 2;
    LayOver(want, W, H, b2);
    LayOver(want, W, H, a2);
    ExpectPixels(*view->GetIEBitmap(), want, W, H);
    EXPECT_EQ(view->GetImageWidth(), W);
}

TEST(LayerMerge, ADisplayedSizeIsDrawnStretched) {
    const RefLayer base = Pattern(0, 0, 8, 8, 11);
    auto view = ViewWith(base);
    RefLayer a = Pattern(2, 2, 2, 2, 12);
    Fill(view->GetLayer(view->LayersAdd()), a);
    view->GetLayer(1)->ShownWidth = 4;
    view->GetLayer(1)->ShownHeight = 4;
    TIEBitmap out;
    view->RenderLayersTo(&out);
    // Without a filter every source pixel becomes a 2 x 2 block.
    RefLayer big;
    big.X = 2, big.Y = 2, big.W = 4, big.H = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) big.Pixels.push_back(a.Pixels[static_cast<size_t>((y / 2) * 2 + x / 2)]);
    std::vector<Pix> want(64);
    LayOver(want, 8, 8, base);
    LayOver(want, 8, 8, big);
    ExpectPixels(out, want, 8, 8);
}

// ---------------------------------------------------------------------------------------
// The layer list

TEST(LayerList, AddIsShapedLikeTheCurrentBitmapAndFilledWithTheBackground) {
    auto view = ViewWith(Pattern(0, 0, 7, 3, 1));
    view->SetBackground(0x0000FF);  // red
    const int32_t i = view->LayersAdd();
    EXPECT_EQ(i, 1);
    EXPECT_EQ(view->GetCurrentLayer(), 1);
    TIEBitmap* b = view->GetIEBitmap();
    EXPECT_EQ(b, view->GetLayer(1)->GetBitmap());
    EXPECT_EQ(b->GetWidth(), 7);
    EXPECT_EQ(b->GetHeight(), 3);
    EXPECT_EQ(b->GetPixelRGB(3, 1).r, 255);
    EXPECT_EQ(b->GetPixelRGB(3, 1).g, 0);
    EXPECT_EQ(view->GetProc()->GetWorkBitmap(), b);
}

TEST(LayerList, RemovingALayerTakesItsMaskAndMovesTheCurrentIndex) {
    auto view = ViewWith(Pattern(0, 0, 4, 4, 1));
    for (int i = 0; i < 4; ++i) view->LayersAdd();  // layers 0..4
    view->GetLayer(3)->MaskForBelow = true;
    view->GetLayer(4)->Name = "top";
    TVovozIdProc* proc = view->GetProc();
    view->LayersRemove(2);  // and its mask, layer 3
    ASSERT_EQ(view->GetLayerCount(), 3);
    EXPECT_EQ(view->GetLayer(2)->Name, "top");
    EXPECT_EQ(view->GetCurrentLayer(), 2);  // the top layer was current and stays so
    EXPECT_EQ(view->GetIEBitmap(), view->GetLayer(2)->GetBitmap());
    view->LayersRemove(2);  // the current one: the one below becomes current
    EXPECT_EQ(view->GetCurrentLayer(), 1);
    EXPECT_EQ(view->GetIEBitmap(), view->GetLayer(1)->GetBitmap());
    EXPECT_EQ(proc->GetWorkBitmap(), view->GetIEBitmap());
    view->LayersRemove(7);
    view->LayersRemove(-1);
    EXPECT_EQ(view->GetLayerCount(), 2);
    view->LayersRemove(1);
    view->LayersRemove(0);  // the last layer stays
    EXPECT_EQ(view->GetLayerCount(), 1);
}

TEST(LayerList, ClearLeavesOneFixedLayerWithoutBox) {
    auto view = ViewWith(Pattern(0, 0, 4, 4, 1));
    view->GetLayer(0)->PositionX = 5;
    view->GetLayer(0)->Immovable = false;
    view->LayersAdd();
    view->LayersAdd();
    view->LayersClear();
    ASSERT_EQ(view->GetLayerCount(), 1);
    EXPECT_EQ(view->GetCurrentLayer(), 0);
    TIELayer* l = view->GetLayer(0);
    EXPECT_TRUE(l->Immovable);
    EXPECT_FALSE(l->ShowBox);
    EXPECT_EQ(l->PositionX, 0);
    EXPECT_EQ(view->GetIEBitmap(), l->GetBitmap());
    EXPECT_EQ(view->GetProc()->GetWorkBitmap(), l->GetBitmap());
}

// Layers composed at 100% into a buffer at offset (10, 20): their client rectangles are
// their image rectangles moved by the offset.
class LayerPicking : public ::testing::Test {
protected:
    void SetUp() override {
        view_ = ViewWith(Pattern(0, 0, 30, 30, 1));
        RefLayer a = Pattern(2, 2, 20, 20, 2);
        for (int i = 0; i < 400; ++i) a.Alpha.push_back(i % 20 == 0 ? 0 : 255);  // column 0 transparent
        Fill(view_->GetLayer(view_->LayersAdd()), a);
        Fill(view_->GetLayer(view_->LayersAdd()), Pattern(24, 24, 4, 4, 3));
        view_->GetLayer(2)->Pickable = false;
        TIEBitmap out;
        view_->RenderLayersTo(&out);  // at offset 0
    }
    std::unique_ptr<TVovozIdView> view_;
};

TEST_F(LayerPicking, LayerAtPointSkipsTransparentPixelsAndUnpickableLayers) {
    struct Case {
        int X, Y;
        bool SelectableOnly;
        int Want;
    };
    const Case cases[] = {
        {3, 3, false, 1},   {2, 3, false, 0},  // a's transparent column: the layer below
        {25, 25, false, 2}, {25, 25, true, 0}, {35, 35, false, -1}, {7, 7, true, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(view_->LayerAtPoint(c.X, c.Y, c.SelectableOnly), c.Want) << c.X << "," << c.Y;
    view_->GetLayer(1)->Visible = false;
    EXPECT_EQ(view_->LayerAtPoint(3, 3, false), 0);
}

TEST_F(LayerPicking, PointInLayerAndGrips) {
    EXPECT_TRUE(view_->PointInLayer(2, 2, 1));
    EXPECT_FALSE(view_->PointInLayer(22, 22, 1));
    EXPECT_FALSE(view_->PointInLayer(2, 2, -1));
    view_->SetCurrentLayer(1);
    const cl::TRect r = view_->GetLayer(1)->ClientRect;
    EXPECT_EQ(Corners(r), (std::array<int32_t, 4>{2, 2, 22, 22}));
    struct Case {
        int X, Y;
        TIEGrip Want;
    };
    const Case cases[] = {
        {2, 2, TIEGrip::ieTopLeft},       {-3, -3, TIEGrip::ieTopLeft},   {22, 2, TIEGrip::ieTopRight},
        {22, 22, TIEGrip::ieBottomRight}, {2, 22, TIEGrip::ieBottomLeft}, {2, 12, TIEGrip::ieLeftSide},
        {22, 12, TIEGrip::ieRightSide},   {12, 1, TIEGrip::ieTopSide},    {12, 23, TIEGrip::ieBottomSide},
        {12, 12, TIEGrip::ieNone},
    };
    for (const Case& c : cases) EXPECT_EQ(view_->LayerGripAt(c.X, c.Y), c.Want) << c.X << "," << c.Y;
    // The rotation centre, at the middle of the layer, is a grip only with rotation among the
    // interactions.
    EXPECT_EQ(Corners(view_->GetLayerGripRect(1, TIEGrip::ieRotationCenter)), (std::array<int32_t, 4>{7, 7, 17, 17}));
    view_->SetMouseInteract(IEMouseOpt(miRotateLayers));
    EXPECT_EQ(view_->LayerGripAt(12, 12), TIEGrip::ieRotationCenter);
}

// ---------------------------------------------------------------------------------------
// Baking and cropping

TEST(LayerBake, SizesAreResampledIntoThePixels) {
    auto view = ViewWith(Pattern(0, 0, 8, 8, 1));
    const RefLayer a = Pattern(1, 1, 2, 3, 2);
    Fill(view->GetLayer(view->LayersAdd()), a);
    view->GetLayer(1)->ShownWidth = 4;
    view->GetLayer(1)->ShownHeight = 6;
    TIEBitmap before;
    view->RenderLayersTo(&before);
    view->BakeLayerSizes();
    TIEBitmap* b = view->GetLayer(1)->GetBitmap();
    EXPECT_EQ(b->GetWidth(), 4);
    EXPECT_EQ(b->GetHeight(), 6);
    EXPECT_EQ(view->GetLayer(1)->ShownWidth, 0);
    // With no filter the picture is the same after baking.
    TIEBitmap after;
    view->RenderLayersTo(&after);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(before.GetPixelRGB(x, y), after.GetPixelRGB(x, y)) << x << "," << y;
}

TEST(LayerBake, AQuarterTurnIsBakedAroundTheCentre) {
    auto view = ViewWith(Pattern(0, 0, 20, 20, 1));
    const RefLayer a = Pattern(10, 10, 4, 2, 2);
    const int32_t i = view->LayersAdd();
    Fill(view->GetLayer(i), a);
    view->GetLayer(i)->SetRotate(90);
    view->BakeLayerRotations(i);
    TIELayer* l = view->GetLayer(i);
    EXPECT_EQ(l->Angle, 0);
    TIEBitmap* b = l->GetBitmap();
    ASSERT_EQ(b->GetWidth(), 2);
    ASSERT_EQ(b->GetHeight(), 4);
    // Centre (12, 11): the 4 x 2 box becomes 2 x 4 at (11, 9).
    EXPECT_EQ(l->PositionX, 11);
    EXPECT_EQ(l->PositionY, 9);
    // Counter-clockwise: the top row, read left to right, becomes the left column read
    // bottom to top.
    for (int x = 0; x < 4; ++x) {
        const Pix& p = a.Pixels[static_cast<size_t>(x)];
        const TRGB q = b->GetPixelRGB(0, 3 - x);
        EXPECT_EQ((Pix{q.r, q.g, q.b}), p) << x;
    }
}

TEST(LayerBake, CropToAlphaKeepsThePixelsWhereTheyWere) {
    auto view = ViewWith(Pattern(0, 0, 20, 20, 1));
    RefLayer a = Pattern(4, 5, 6, 5, 2);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) a.Alpha.push_back(x >= 2 && x <= 4 && y >= 1 && y <= 2 ? 255 : 0);
    Fill(view->GetLayer(view->LayersAdd()), a);
    TIEBitmap before;
    view->RenderLayersTo(&before);
    view->CropLayersToAlpha(1);
    TIELayer* l = view->GetLayer(1);
    EXPECT_EQ(l->GetBitmap()->GetWidth(), 3);
    EXPECT_EQ(l->GetBitmap()->GetHeight(), 2);
    EXPECT_EQ(l->PositionX, 6);
    EXPECT_EQ(l->PositionY, 6);
    TIEBitmap after;
    view->RenderLayersTo(&after);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(before.GetPixelRGB(x, y), after.GetPixelRGB(x, y)) << x << "," << y;
}

// ---------------------------------------------------------------------------------------
// Undo

TEST(LayerUndo, LayerSnapshotsRestorePlacementAndTheFullOneThePixels) {
    auto view = ViewWith(Pattern(0, 0, 6, 6, 1));
    Fill(view->GetLayer(view->LayersAdd()), Pattern(1, 1, 3, 3, 2));
    TVovozIdProc* proc = view->GetProc();
    int fired = 0;
    TIEUndoSource kind = ieuLayer;
    view->SetOnSaveUndo([&](cl::TObject*, TIEUndoSource S) { fired += S == kind; });
    for (TIEUndoSource k : {ieuLayer, ieuFullLayer}) {
        kind = k;
        fired = 0;
        SCOPED_TRACE(int(kind));
        TIELayer* l = view->GetLayer(1);
        l->PositionX = 1;
        l->Opacity = 255;
        l->GetBitmap()->SetPixel24(0, 0, TRGB{1, 2, 3});
        proc->SaveUndo(kind);
        EXPECT_EQ(fired, 1);
        EXPECT_EQ(proc->GetUndoSourceAt(proc->GetUndoCount() - 1), kind);
        l->PositionX = 4;
        l->Opacity = 9;
        l->GetBitmap()->SetPixel24(0, 0, TRGB{9, 9, 9});
        proc->Undo();
        EXPECT_EQ(l->PositionX, 1);
        EXPECT_EQ(l->Opacity, 255);
        const TRGB p = l->GetBitmap()->GetPixel24(0, 0);
        if (kind == ieuFullLayer)
            EXPECT_EQ(p, (TRGB{1, 2, 3}));
        else
            EXPECT_EQ(p, (TRGB{9, 9, 9}));
    }
    // A record of a layer that is gone is skipped.
    proc->SaveUndo(ieuLayer);
    view->LayersRemove(1);
    proc->Undo();
    EXPECT_EQ(view->GetLayerCount(), 1);
}

// The processing component's selection snapshot brings the selection back.
TEST(SelectionUndo, TheSelectionSnapshotRestoresTheSelection) {
    auto view = ViewWith(Pattern(0, 0, 8, 8, 1));
    view->SetSelectionBase(iesbBitmap);
    view->Select(1, 1, 4, 4);
    ASSERT_TRUE(view->GetSelected());
    std::vector<bool> before;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) before.push_back(view->GetSelectionMask()->IsPointInside(x, y));
    ASSERT_TRUE(before[2 * 8 + 2]);
    TVovozIdProc* proc = view->GetProc();
    int fired = 0;
    view->SetOnSaveUndo([&](cl::TObject*, TIEUndoSource S) { fired += S == ieuSelection; });
    proc->SaveUndo(ieuSelection);
    EXPECT_EQ(fired, 1);
    ASSERT_EQ(proc->GetUndoSourceAt(proc->GetUndoCount() - 1), ieuSelection);
    view->Select(5, 5, 8, 8);
    ASSERT_FALSE(view->GetSelectionMask()->IsPointInside(2, 2));
    proc->Undo();
    ASSERT_TRUE(view->GetSelected());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(view->GetSelectionMask()->IsPointInside(x, y), before[size_t(y * 8 + x)]) << x << "," << y;
}

}  // namespace
}  // namespace ie::test
