// The processing component: the frame of an operation (snapshot, format check, selection,
// copy-back, refresh, finish), undo and redo, the grey conversion on the player's mask
// road, the colour reduction, and what it works on when a TImage goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "classlib/ExtCtrls.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_bw.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/processing/vovozidproc_utils.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

class Proc : public ImagingTest {
protected:
    // A 24-bit picture of random colours in memory.
    static std::unique_ptr<TIEBitmap> Random24(int32_t w, int32_t h, uint32_t seed) {
        auto b = std::make_unique<TIEBitmap>();
        test::PlaceAt(*b, ieMemory);
        b->Allocate(w, h, ie24RGB);
        std::mt19937 rnd(seed);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                b->SetPixel24(x, y, CreateRGB(uint8_t(rnd()), uint8_t(rnd()), uint8_t(rnd())));
        return b;
    }
    static uint8_t Grey(const TRGB& c) { return static_cast<uint8_t>((c.r * 21 + c.g * 71 + c.b * 8) / 100); }
};

TEST_F(Proc, GreyLevelsOfPrimariesAndRandomPixels) {
    struct Case {
        TRGB in;
        uint8_t grey;
    };
    const Case cases[] = {{CreateRGB(255, 0, 0), 53},      {CreateRGB(0, 255, 0), 181}, {CreateRGB(0, 0, 255), 20},
                          {CreateRGB(255, 255, 255), 255}, {CreateRGB(0, 0, 0), 0},     {CreateRGB(10, 200, 99), 152}};
    TIEBitmap b(static_cast<int32_t>(std::size(cases)), 2, ie24RGB);
    for (int32_t x = 0; x < b.GetWidth(); ++x)
        for (int32_t y = 0; y < 2; ++y) b.SetPixel24(x, y, cases[x].in);
    TVovozIdProc proc(nullptr);
    proc.AttachBitmap(&b);
    proc.ConvertToGray();
    for (int32_t x = 0; x < b.GetWidth(); ++x) {
        const uint8_t g = cases[x].grey;
        EXPECT_EQ(b.GetPixel24(x, 1), CreateRGB(g, g, g)) << x;
    }
    auto r = Random24(17, 9, 5);
    auto before = std::make_unique<TIEBitmap>();
    before->Assign(r.get());
    proc.AttachBitmap(r.get());
    proc.ConvertToGray();
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 17; ++x) {
            const uint8_t g = Grey(before->GetPixel24(x, y));
            ASSERT_EQ(r->GetPixel24(x, y), CreateRGB(g, g, g)) << x << "," << y;
        }
}

TEST_F(Proc, WeightsAreReadWhenUsed) {
    TIEBitmap b(2, 2, ie24RGB);
    b.Fill(0);
    b.SetPixel24(0, 0, CreateRGB(100, 0, 0));
    const int32_t saved[3] = {IEGrayWeightRed, IEGrayWeightGreen, IEGrayWeightBlue};
    IEGrayWeightRed = 50;
    IEConvertToGray24(&b, 0, 0, 2, 2, nullptr, nullptr);
    IEGrayWeightRed = saved[0];
    IEGrayWeightGreen = saved[1];
    IEGrayWeightBlue = saved[2];
    EXPECT_EQ(b.GetPixel24(0, 0), CreateRGB(50, 50, 50));
}

TEST_F(Proc, ProgressOfTheWorkerThenTheFinish) {
    struct Case {
        int32_t rows;
        std::vector<int> reports;
    };
    const Case cases[] = {{1, {200, 100}}, {10, {10, 21, 31, 42, 52, 63, 73, 84, 94, 105, 100}}};
    for (const Case& c : cases) {
        TIEBitmap b(3, c.rows, ie24RGB);
        TVovozIdProc proc(nullptr);
        proc.AttachBitmap(&b);
        std::vector<int> seen;
        int finished = 0;
        proc.OnProgress = [&](cl::TObject* sender, int per) {
            EXPECT_EQ(sender, &proc);
            seen.push_back(per);
        };
        proc.OnFinishWork = [&](cl::TObject*) { ++finished; };
        proc.ConvertToGray();
        EXPECT_EQ(seen, c.reports) << c.rows << " rows";
        EXPECT_EQ(finished, 1);
    }
}

TEST_F(Proc, OtherFormatsBecome24BitOrAreLeftWithoutAutomaticConversion) {
    for (const bool automatic : {true, false}) {
        TIEBitmap b(4, 3, ie8g);
        for (int32_t x = 0; x < 4; ++x) b.SetPixel8(x, 1, static_cast<uint8_t>(60 * x));
        cl::TComponent owner(nullptr);
        auto* proc = new TVovozIdProc(&owner);
        proc->AutoConvertFormat = automatic;
        proc->AttachBitmap(&b);
        int finished = 0;
        proc->OnFinishWork = [&](cl::TObject*) { ++finished; };
        proc->ConvertToGray();
        // The snapshot is taken before the format check, either way.
        EXPECT_EQ(proc->GetUndoCount(), 1);
        if (automatic) {
            ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
            for (int32_t x = 0; x < 4; ++x) {
                const auto v = static_cast<uint8_t>(60 * x);
                EXPECT_EQ(b.GetPixel24(x, 1), CreateRGB(v, v, v));
            }
            EXPECT_EQ(finished, 1);
        } else {
            EXPECT_EQ(b.GetPixelFormat(), ie8g);
            EXPECT_EQ(finished, 0);
        }
    }
}

TEST_F(Proc, PreferenceRowsOfTheFormatCheck) {
    struct Case {
        TIEPixelFormat from;
        TIEPixelFormatSet allowed;
        TIEPixelFormat to;
    };
    // clang-format off
    const Case cases[] = {
        {ie8g, IEFormatSet({ie24RGB, ie16g}), ie16g},     {ie24RGB, IEFormatSet({ie8g, ie8p}), ie8p},
        {ie1g, IEFormatSet({ie24RGB, ie32f}), ie32f},     {ieCMYK, IEFormatSet({ie8g, ieRGB48}), ieRGB48},
        {ie24RGB, IEFormatSet({ie1g}), ie1g},  // no preference: the search from the last format down
        {ie8g, IEFormatSet({ie8g, ie24RGB}), ie8g},
    };
    // clang-format on
    for (const Case& c : cases) {
        TIEBitmap b(4, 4, c.from);
        TVovozIdProc proc(nullptr);
        proc.AttachBitmap(&b);
        EXPECT_TRUE(proc.CheckPixelFormat(c.allowed)) << int(c.from);
        EXPECT_EQ(b.GetPixelFormat(), c.to) << int(c.from);
    }
}

TEST_F(Proc, UndoLimitAutoUndoAndTheSnapshotEvent) {
    cl::TComponent owner(nullptr);
    auto* proc = new TVovozIdProc(&owner);
    EXPECT_TRUE(proc->AutoUndo);
    auto b = Random24(6, 5, 1);
    proc->AttachBitmap(b.get());
    std::vector<TIEUndoSource> events;
    proc->OnSaveUndo = [&](cl::TObject*, TIEUndoSource s) { events.push_back(s); };
    proc->UndoLimit = 2;
    // Three different pictures, each a snapshot: the third push drops the oldest.
    std::vector<std::unique_ptr<TIEBitmap>> states;
    for (int i = 0; i < 3; ++i) {
        auto copy = std::make_unique<TIEBitmap>();
        copy->Assign(b.get());
        states.push_back(std::move(copy));
        proc->ConvertTo(4 + i, 0);
    }
    ASSERT_EQ(proc->GetUndoCount(), 2);
    EXPECT_EQ(events, (std::vector<TIEUndoSource>{ieuImage, ieuImage, ieuImage}));
    EXPECT_EQ(proc->GetUndoCaptionAt(0), "ConvertTo 5");
    EXPECT_EQ(proc->GetUndoCaptionAt(1), "ConvertTo 6");
    EXPECT_TRUE(IEBitmapsEqual(proc->GetUndoBitmapAt(0), states[1].get()));
    EXPECT_TRUE(IEBitmapsEqual(proc->GetUndoBitmapAt(1), states[2].get()));
    EXPECT_EQ(proc->GetUndoBitmapAt(1)->GetLocation(), ieFile);
    // A lower limit keeps both until the next push, which drops both older ones.
    proc->UndoLimit = 1;
    EXPECT_EQ(proc->GetUndoCount(), 2);
    proc->ConvertToGray();
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(proc->GetUndoCaptionAt(0), "ConvertToGray");
    // Limit 0: nothing at all.
    proc->UndoLimit = 0;
    events.clear();
    proc->ConvertToGray();
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_TRUE(events.empty());
    // Without owner: no snapshot, no event.
    TVovozIdProc plain(nullptr);
    EXPECT_FALSE(plain.AutoUndo);
    plain.AttachBitmap(b.get());
    plain.OnSaveUndo = [&](cl::TObject*, TIEUndoSource s) { events.push_back(s); };
    plain.ConvertToGray();
    EXPECT_EQ(plain.GetUndoCount(), 0);
    EXPECT_TRUE(events.empty());
}

TEST_F(Proc, SmallPicturesAndOtherKindsGetNoSnapshot) {
    cl::TComponent owner(nullptr);
    auto* proc = new TVovozIdProc(&owner);
    int events = 0;
    proc->OnSaveUndo = [&](cl::TObject*, TIEUndoSource) { ++events; };
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{1, 7}, std::pair{7, 1}}) {
        TIEBitmap b(w, h, ie24RGB);
        b.Fill(0);
        b.SetPixel24(0, 0, CreateRGB(255, 0, 0));
        proc->AttachBitmap(&b);
        proc->ConvertToGray();
        EXPECT_EQ(proc->GetUndoCount(), 0);
        EXPECT_EQ(b.GetPixel24(0, 0), CreateRGB(53, 53, 53)) << w << "x" << h;
        // Asked directly, a too small picture still tells the event.
        proc->SaveUndo(ieuImage);
        EXPECT_EQ(proc->GetUndoCount(), 0);
    }
    EXPECT_EQ(events, 3);
    // Selections, layers and objects belong to a view; without one nothing is pushed.
    TIEBitmap b(4, 4, ie24RGB);
    proc->AttachBitmap(&b);
    for (TIEUndoSource s : {ieuSelection, ieuObject, ieuLayer, ieuFullLayer, ieuObjectsAndLayers, ieuUnknown})
        proc->SaveUndo(s);
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_EQ(proc->GetUndoSourceAt(0), ieuUnknown);
    EXPECT_EQ(proc->GetUndoSourceAt(-1), ieuUnknown);
}

TEST_F(Proc, UndoThenRedoReturnsAndEntriesStay) {
    cl::TComponent owner(nullptr);
    auto* proc = new TVovozIdProc(&owner);
    auto b = Random24(8, 6, 2);
    TIEBitmap original;
    original.Assign(b.get());
    proc->AttachBitmap(b.get());
    proc->ConvertToGray();
    TIEBitmap grey;
    grey.Assign(b.get());
    proc->UndoAt(0, true);
    EXPECT_TRUE(IEBitmapsEqual(b.get(), &original));
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(proc->GetRedoCount(), 1);
    EXPECT_EQ(proc->GetRedoSourceAt(0), ieuImage);
    proc->RedoAt(0);
    EXPECT_TRUE(IEBitmapsEqual(b.get(), &grey));
    EXPECT_EQ(proc->GetRedoCount(), 1);
    // Out of range: nothing.
    proc->UndoAt(1, true);
    proc->RedoAt(5);
    proc->ClearUndoAt(3);
    EXPECT_TRUE(IEBitmapsEqual(b.get(), &grey));
    EXPECT_EQ(proc->GetUndoCount(), 1);
    proc->Undo();
    EXPECT_TRUE(IEBitmapsEqual(b.get(), &original));
    EXPECT_EQ(proc->GetRedoCount(), 1);
    proc->ClearLastRedo();
    proc->ClearUndoAt(0);
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_EQ(proc->GetRedoCount(), 0);
}

// A component whose work area is a selection mask of its own.
class SelectingProc : public TVovozIdProc {
public:
    SelectingProc() : TVovozIdProc(nullptr) {}
    bool GetWorkArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, const cl::TPoint*& PolygonPoints,
                     int32_t& PolygonCount, TIEMask*& Mask) override {
        TVovozIdProc::GetWorkArea(X1, Y1, X2, Y2, PolygonPoints, PolygonCount, Mask);
        Mask = &Selection;
        return true;
    }
    TIEMask Selection;
};

TEST_F(Proc, OnlySelectedPixelsChangeAndEightBitMasksBlend) {
    for (const int bits : {1, 8}) {
        auto b = Random24(9, 7, 3);
        TIEBitmap before;
        before.Assign(b.get());
        SelectingProc proc;
        proc.AttachBitmap(b.get());
        proc.Selection.Allocate(9, 7, bits);
        const int32_t full = bits == 1 ? 1 : 255;
        proc.Selection.SetPixel(2, 1, full);
        proc.Selection.SetPixel(5, 4, full);
        proc.Selection.SetPixel(3, 3, bits == 1 ? 0 : 128);
        proc.ConvertToGray();
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 9; ++x) {
                const TRGB old = before.GetPixel24(x, y);
                const uint8_t g = Grey(old);
                TRGB want = old;
                if ((x == 2 && y == 1) || (x == 5 && y == 4)) want = CreateRGB(g, g, g);
                const TRGB got = b->GetPixel24(x, y);
                if (bits == 8 && x == 3 && y == 3) {
                    // Half-way between the old and the grey pixel.
                    EXPECT_NEAR(got.r, (old.r + g) / 2.0, 1.5);
                    EXPECT_NEAR(got.b, (old.b + g) / 2.0, 1.5);
                } else if (bits == 8 && !(want == old)) {
                    // The mask's blend weighs 255 as 255/256 of the new pixel.
                    EXPECT_NEAR(got.r, g, 1.0) << x << "," << y;
                    EXPECT_NEAR(got.g, g, 1.0) << x << "," << y;
                    EXPECT_NEAR(got.b, g, 1.0) << x << "," << y;
                } else {
                    ASSERT_EQ(got, want) << bits << "-bit mask at " << x << "," << y;
                }
            }
    }
}

TEST_F(Proc, WithoutWorkBitmapNothingHappens) {
    TVovozIdProc proc(nullptr);
    proc.AttachBitmap(nullptr);
    int calls = 0;
    proc.OnFinishWork = [&](cl::TObject*) { ++calls; };
    proc.ConvertToGray();
    proc.ConvertTo(2, 0);
    proc.SaveUndo(ieuImage);
    proc.Undo();
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(proc.MakeConsistentBitmap(0));
}

TEST_F(Proc, ATImageThatGoesAwayTakesItsBitmapWithIt) {
    auto* image = new cl::TImage(nullptr);
    cl::TBitmap* vcl = image->GetPicture()->GetBitmap();
    vcl->SetPixelFormat(cl::pf24bit);
    vcl->SetSize(3, 2);
    auto* first = static_cast<uint8_t*>(vcl->ScanLine(0));
    first[0] = first[1] = 0;
    first[2] = 255;  // pixel (0, 0) pure red
    TVovozIdProc proc(nullptr);
    proc.SetAttachedTImage(image);
    proc.ConvertToGray();
    EXPECT_EQ(static_cast<uint8_t*>(vcl->ScanLine(0))[0], 53);
    EXPECT_TRUE(vcl->GetModified());
    delete image;
    EXPECT_EQ(proc.GetAttachedTImage(), nullptr);
    EXPECT_EQ(proc.GetWrappedBitmap(), nullptr);
    ASSERT_NE(proc.GetWorkBitmap(), nullptr);
    EXPECT_EQ(proc.GetWorkBitmap()->GetWidth(), 0);
    proc.ConvertToGray();  // on the empty bitmap of its own
    // Detaching forgets the TImage's bitmap as well.
    cl::TImage other(nullptr);
    other.GetPicture()->GetBitmap()->SetSize(2, 2);
    proc.SetAttachedTImage(&other);
    EXPECT_EQ(proc.GetWorkBitmap()->GetWidth(), 2);
    proc.SetAttachedTImage(nullptr);
    EXPECT_EQ(proc.GetWrappedBitmap(), nullptr);
    EXPECT_EQ(proc.GetWorkBitmap()->GetWidth(), 0);
}

// The mask road: a picture becomes grey, and the palette writer's quantizer gives it the
// 256-step grey ramp with each pixel's grey level as its index.
TEST_F(Proc, MaskPictureBecomesAGreyEightBitPalettePicture) {
    cl::TComponent owner(nullptr);
    auto* proc = new TVovozIdProc(&owner);
    auto b = Random24(40, 30, 9);
    TIEBitmap before;
    before.Assign(b.get());
    proc->AttachBitmap(b.get());
    proc->ConvertToGray();
    TRGB palette[256];
    TIEQuantizer q(b.get(), palette, 256);
    EXPECT_TRUE(q.GrayScale);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(palette[i], CreateRGB(uint8_t(i), uint8_t(i), uint8_t(i)));
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(q.RGBIndex(b->GetPixel24(x, y)), Grey(before.GetPixel24(x, y)));
    // And the 8-bit palette picture itself.
    ASSERT_TRUE(b->SetPixelFormat(ie8p));
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const uint8_t g = Grey(before.GetPixel24(x, y));
            ASSERT_EQ(b->GetPixel8(x, y), g);
            TRGB c;
            b->GetPaletteEntry(g, c);
            ASSERT_EQ(c, CreateRGB(g, g, g));
        }
}

// ---------------------------------------------------------------------------------------
// Colour reduction

TEST_F(Proc, ConvertToTwoColoursByDitherOrThreshold) {
    auto b = Random24(19, 11, 4);
    b->SetPixel24(0, 0, CreateRGB(255, 255, 255));
    b->SetPixel24(1, 0, CreateRGB(0, 0, 0));
    TIEBitmap before;
    before.Assign(b.get());
    TVovozIdProc proc(nullptr);
    proc.AttachBitmap(b.get());
    proc.ConvertTo(2, 0);
    ASSERT_EQ(b->GetPixelFormat(), ie1g);
    for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 19; ++x) {
            const TRGB c = before.GetPixel24(x, y);
            const int level = (c.r > 250 && c.g > 250 && c.b > 250) ? 64 : Grey(c) >> 2;
            ASSERT_EQ(IEGetBit(b->GetScanline(y), x), level > IEDitherMatrix[x % 8][y % 8]) << x << "," << y;
        }
    EXPECT_TRUE(IEGetBit(b->GetScanline(0), 0));
    EXPECT_FALSE(IEGetBit(b->GetScanline(0), 1));
    // By the average threshold.
    auto t = std::make_unique<TIEBitmap>();
    t->Assign(&before);
    proc.AttachBitmap(t.get());
    proc.ConvertTo(1, 1);
    ASSERT_EQ(t->GetPixelFormat(), ie1g);
    int64_t sum[3] = {};
    for (int32_t y = 0; y < 11; ++y) {
        int64_t row[3] = {};
        for (int32_t x = 0; x < 19; ++x) {
            const TRGB c = before.GetPixel24(x, y);
            row[0] += c.r;
            row[1] += c.g;
            row[2] += c.b;
        }
        for (int i = 0; i < 3; ++i) sum[i] += row[i] / 19;
    }
    const int threshold = Grey(CreateRGB(uint8_t(sum[0] / 11), uint8_t(sum[1] / 11), uint8_t(sum[2] / 11)));
    for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 19; ++x)
            ASSERT_EQ(IEGetBit(t->GetScanline(y), x), Grey(before.GetPixel24(x, y)) >= threshold) << x << "," << y;
}

TEST_F(Proc, ConvertToManyColoursKeeps24BitsWithPaletteColours) {
    struct Case {
        int32_t colours;
        int32_t algorithm;
    };
    const Case cases[] = {{3, -1}, {16, -1}, {200, -1}, {300, 1}, {1024, -1}};
    const int32_t savedAlgorithm = IEQuantizerAlgorithm;
    for (const Case& c : cases) {
        IEQuantizerAlgorithm = c.algorithm;
        auto b = Random24(40, 40, 7);
        TVovozIdProc proc(nullptr);
        proc.AttachBitmap(b.get());
        std::vector<TRGB> palette(static_cast<size_t>(c.colours));
        ASSERT_TRUE(proc.ConvertToPalette(c.colours, palette.data(), c.colours, 0));
        ASSERT_EQ(b->GetPixelFormat(), ie24RGB);
        for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const TRGB p = b->GetPixel24(x, y);
                ASSERT_NE(std::find(palette.begin(), palette.end(), p), palette.end()) << c.colours;
            }
    }
    IEQuantizerAlgorithm = savedAlgorithm;
}

TEST_F(Proc, ConvertToAboveTheLimitAndRefusedPalettes) {
    cl::TComponent owner(nullptr);
    auto* proc = new TVovozIdProc(&owner);
    auto b = Random24(5, 5, 8);
    TIEBitmap before;
    before.Assign(b.get());
    proc->AttachBitmap(b.get());
    proc->ConvertTo(2025, 0);
    EXPECT_TRUE(IEBitmapsEqual(b.get(), &before));
    ASSERT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(proc->GetUndoCaptionAt(0), "ConvertTo 2025");
    proc->ClearUndoAt(0);
    TRGB small[4] = {};
    EXPECT_FALSE(proc->ConvertToPalette(0, small, 4, 0));
    EXPECT_FALSE(proc->ConvertToPalette(8, small, 4, 0));  // too short for 8 colours
    EXPECT_FALSE(proc->ConvertToPalette(1, small, 1, 0));  // two entries are written
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_TRUE(IEBitmapsEqual(b.get(), &before));
    ASSERT_TRUE(proc->ConvertToPalette(2, small, 2, 1));
    EXPECT_EQ(small[0], CreateRGB(0, 0, 0));
    EXPECT_EQ(small[1], CreateRGB(255, 255, 255));
    EXPECT_EQ(proc->GetUndoCaptionAt(0), "ConvertToPalette");
}

TEST_F(Proc, TwoColoursBecomeOneBitWithTheDarkerAsColourZero) {
    struct Case {
        std::vector<std::string> rows;  // 'a' and 'b' the two colours of the case, 'c' a third
        TRGB a, b;
        bool found;
        TRGB colour0, colour1;
        std::vector<std::string> bits;  // '1' set
    };
    const TRGB white = CreateRGB(255, 255, 255), black = CreateRGB(0, 0, 0), red = CreateRGB(255, 0, 0);
    const TRGB blue = CreateRGB(0, 0, 255), third = CreateRGB(1, 2, 3);
    // clang-format off
    const std::vector<Case> cases = {
        {{"aaaa", "abaa"}, white, black, true, black, white, {"1111", "1011"}},   // white ground, black mark
        {{"bbab", "bbbb"}, white, black, true, black, white, {"0010", "0000"}},   // black first
        {{"ab", "ba"}, red, blue, true, blue, red, {"10", "01"}},                 // blue (20) is darker than red (53)
        {{"aaa", "aaa"}, white, black, false, {}, {}, {}},                        // one colour
        {{"abc", "aaa"}, white, black, false, {}, {}, {}},                        // three colours
        {{"ab", "ab", "ac"}, white, black, false, {}, {}, {}},                    // the third comes later
    };
    // clang-format on
    for (const Case& c : cases) {
        const auto h = static_cast<int32_t>(c.rows.size()), w = static_cast<int32_t>(c.rows[0].size());
        for (const TIEPixelFormat f : {ie24RGB, ie8p}) {
            TIEBitmap b(w, h, ie24RGB);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const char ch = c.rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
                    b.SetPixel24(x, y, ch == 'a' ? c.a : ch == 'b' ? c.b : third);
                }
            if (f != ie24RGB) {
                ASSERT_TRUE(b.SetPixelFormat(f));
            }
            TRGB c0, c1;
            std::unique_ptr<TIEBitmap> mono = IETwoColorsTo1Bit(&b, c0, c1);
            ASSERT_EQ(mono != nullptr, c.found) << c.rows[0];
            if (!mono) continue;
            EXPECT_EQ(mono->GetPixelFormat(), ie1g);
            EXPECT_EQ(c0, c.colour0) << c.rows[0];
            EXPECT_EQ(c1, c.colour1) << c.rows[0];
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    EXPECT_EQ(IEGetBit(mono->GetScanline(y), x),
                              c.bits[static_cast<size_t>(y)][static_cast<size_t>(x)] == '1')
                        << c.rows[0] << " " << x << "," << y;
        }
    }
}

TEST_F(Proc, ReductionWorkersReportRowsAndRefuseOtherFormats) {
    for (const int kind : {0, 1, 2}) {
        auto b = Random24(5, 4, 12);
        std::vector<int> seen;
        const TIEProgressEvent progress = [&](cl::TObject*, int p) { seen.push_back(p); };
        const bool done = kind == 0   ? IEConvertToBWOrdered(b.get(), progress, nullptr)
                          : kind == 1 ? IEConvertToBWThreshold(b.get(), 128, progress, nullptr)
                                      : IEQuantize24(b.get(), 3, nullptr, progress, nullptr);
        EXPECT_TRUE(done) << kind;
        // Trunc(r x 100 / 4.5) for rows 1 .. 4.
        EXPECT_EQ(seen, (std::vector<int>{22, 44, 66, 88})) << kind;
        EXPECT_EQ(b->GetPixelFormat(), kind == 2 ? ie24RGB : ie1g);
    }
    TIEBitmap grey(3, 3, ie8g);
    EXPECT_FALSE(IEConvertToBWOrdered(&grey));
    EXPECT_FALSE(IEConvertToBWThreshold(&grey, 3));
    EXPECT_FALSE(IEQuantize24(&grey, 4, nullptr));
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);
}

// ---------------------------------------------------------------------------------------
// Resampling and rotation through the component

TEST_F(Proc, ResampleSizesSnapshotsAndEvents) {
    struct Case {
        int32_t w, h;
        int32_t undo;  // snapshots taken
        int32_t width, height;
        int32_t finishes;
        const char* caption;
    };
    // clang-format off
    const Case cases[] = {
        {-1, 30, 1, 60, 30, 2, "Resample -1,30"},  // the aspect ratio from the height
        {10, -1, 1, 10, 5, 2, "Resample 10,-1"},
        {-25, 0, 1, 25, 20, 2, "Resample -25,0"},  // magnitude; 0 keeps the height
        {-1, -1, 0, 40, 20, 0, ""},                // both negative: nothing at all
        {-3, -7, 0, 40, 20, 0, ""},
        {40, 20, 0, 40, 20, 0, ""},                // the current size: nothing
    };
    // clang-format on
    for (const Case& c : cases) {
        cl::TComponent owner(nullptr);
        auto* proc = new TVovozIdProc(&owner);
        auto b = Random24(40, 20, 3);
        proc->AttachBitmap(b.get());
        int finishes = 0;
        proc->OnFinishWork = [&](cl::TObject*) { ++finishes; };
        proc->Resample(c.w, c.h, rfTriangle);
        EXPECT_EQ(b->GetWidth(), c.width) << c.w << "," << c.h;
        EXPECT_EQ(b->GetHeight(), c.height) << c.w << "," << c.h;
        EXPECT_EQ(proc->GetUndoCount(), c.undo) << c.w << "," << c.h;
        EXPECT_EQ(finishes, c.finishes) << c.w << "," << c.h;
        EXPECT_EQ(proc->GetUndoCaptionAt(0), c.caption) << c.w << "," << c.h;
    }
    // Into another bitmap: the work bitmap stays.
    auto b = Random24(8, 4, 4);
    TVovozIdProc proc(nullptr);
    proc.AttachBitmap(b.get());
    TIEBitmap dest;
    proc.ResampleTo(&dest, 16, -1, rfNone);
    EXPECT_EQ(dest.GetWidth(), 16);
    EXPECT_EQ(dest.GetHeight(), 8);
    EXPECT_EQ(dest.GetPixel24(3, 5), b->GetPixel24(1, 2));  // nearest neighbour doubles
    EXPECT_EQ(b->GetWidth(), 8);
}

TEST_F(Proc, RotateQuarterTurnsRefusedModesAndTheBackground) {
    cl::TComponent owner(nullptr);
    auto* proc = new TVovozIdProc(&owner);
    auto b = Random24(7, 4, 5);
    TIEBitmap before;
    before.Assign(b.get());
    proc->AttachBitmap(b.get());
    for (const double angle : {0.0, 30.0})
        for (const uint8_t mode : {uint8_t{3}, uint8_t{0}}) {
            if (angle != 0 && mode == 0) continue;
            proc->Rotate(angle, true, mode, -1);
            EXPECT_TRUE(IEBitmapsEqual(b.get(), &before)) << angle << " mode " << int(mode);
            EXPECT_EQ(proc->GetUndoCount(), 0);
        }
    proc->Rotate(90, true, 0, -1);
    ASSERT_EQ(b->GetWidth(), 4);
    ASSERT_EQ(b->GetHeight(), 7);
    EXPECT_EQ(proc->GetUndoCaptionAt(0), "Rotate 90");
    // Counter-clockwise: the top-right pixel becomes the top-left one.
    EXPECT_EQ(b->GetPixel24(0, 0), before.GetPixel24(6, 0));
    EXPECT_EQ(b->GetPixel24(3, 6), before.GetPixel24(0, 3));
    // Nearest-neighbour mapping: the uncovered corners take the Background, transparent.
    auto c = Random24(20, 20, 6);
    c->GetAlphaChannel();
    proc->AttachBitmap(c.get());
    proc->SetBackground(cl::clRed);
    proc->Rotate(30, false, 0, -1);
    EXPECT_GT(c->GetWidth(), 20);
    EXPECT_EQ(c->GetPixel24(0, 0), CreateRGB(255, 0, 0));
    EXPECT_EQ(c->GetAlpha(0, 0), 0);
    EXPECT_EQ(c->GetAlpha(c->GetWidth() / 2, c->GetHeight() / 2), 255);
}

// ---------------------------------------------------------------------------------------
// Canvas size, clear, fill and crop through the component

TEST_F(Proc, ImageResizeClearAndCropSnapshotsAndSizes) {
    struct Case {
        const char* what;
        std::function<void(TVovozIdProc&)> op;
        int32_t width, height;
        const char* caption;  // empty: no snapshot
        int finishes;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"resize", [](TVovozIdProc& p) { p.ImageResize(12, 5, 1, 1, 255); }, 12, 5, "ImageResize 12,5", 1},
        {"resize to the same size", [](TVovozIdProc& p) { p.ImageResize(8, 6); }, 8, 6, "", 0},
        {"resize to 0", [](TVovozIdProc& p) { p.ImageResize(0, 6); }, 8, 6, "", 0},
        {"clear", [](TVovozIdProc& p) { p.Clear(); }, 8, 6, "Clear", 1},
        {"crop", [](TVovozIdProc& p) { p.Crop(2, 1, 5, 3); }, 4, 3, "Crop", 1},
        {"crop to a rectangle", [](TVovozIdProc& p) { p.CropToRect(cl::TRect{0, 0, 1, 1}); }, 2, 2, "Crop", 1},
        {"crop of the whole", [](TVovozIdProc& p) { p.Crop(0, 0, 7, 5); }, 8, 6, "", 0},
        {"crop reaching outside", [](TVovozIdProc& p) { p.Crop(-1, 0, 3, 3); }, 8, 6, "", 0},
        {"crop past the right", [](TVovozIdProc& p) { p.Crop(2, 0, 8, 3); }, 8, 6, "", 0},
        {"crop of negative size", [](TVovozIdProc& p) { p.Crop(5, 0, 3, 3); }, 8, 6, "", 0},
        {"transparent crop without alpha", [](TVovozIdProc& p) { p.CropTransparent(); }, 8, 6, "", 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        cl::TComponent owner(nullptr);
        auto* proc = new TVovozIdProc(&owner);
        auto b = Random24(8, 6, 13);
        TIEBitmap before;
        before.Assign(b.get());
        proc->AttachBitmap(b.get());
        proc->SetBackground(cl::clBlue);
        int finishes = 0;
        proc->OnFinishWork = [&](cl::TObject*) { ++finishes; };
        c.op(*proc);
        EXPECT_EQ(b->GetWidth(), c.width) << c.what;
        EXPECT_EQ(b->GetHeight(), c.height) << c.what;
        EXPECT_EQ(proc->GetUndoCaptionAt(0), c.caption) << c.what;
        EXPECT_EQ(finishes, c.finishes) << c.what;
        if (std::string(c.what) == "crop") {
            EXPECT_EQ(b->GetPixel24(0, 0), before.GetPixel24(2, 1));
        }
        if (std::string(c.what) == "clear") {
            EXPECT_EQ(b->GetPixel24(7, 5), CreateRGB(0, 0, 255));
        }
        if (std::string(c.what) == "resize") {
            EXPECT_EQ(b->GetPixel24(0, 0), CreateRGB(0, 0, 255));     // new area in the background
            EXPECT_EQ(b->GetPixel24(2, 0), before.GetPixel24(0, 0));  // centred: 2 columns in
        }
    }
}

TEST_F(Proc, FillHonoursTheSelectionAndCropTransparentTakesNoSnapshot) {
    auto b = Random24(6, 5, 14);
    TIEBitmap before;
    before.Assign(b.get());
    SelectingProc proc;
    proc.AutoUndo = true;
    proc.AttachBitmap(b.get());
    proc.Selection.Allocate(6, 5, 1);
    proc.Selection.SetPixel(1, 1, 1);
    proc.Selection.SetPixel(4, 3, 1);
    proc.Fill(CreateRGB(9, 8, 7));
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const bool selected = (x == 1 && y == 1) || (x == 4 && y == 3);
            ASSERT_EQ(b->GetPixel24(x, y), selected ? CreateRGB(9, 8, 7) : before.GetPixel24(x, y)) << x << "," << y;
        }
    ASSERT_EQ(proc.GetUndoCount(), 1);
    EXPECT_EQ(proc.GetUndoCaptionAt(0), "Fill");
    // Alpha non-zero only in columns 2..3 of rows 1..2.
    TIEBitmap* alpha = b->GetAlphaChannel();
    alpha->Fill(0);
    alpha->SetPixel8(2, 1, 40);
    alpha->SetPixel8(3, 2, 90);
    alpha->Full = false;
    proc.CropTransparent();
    EXPECT_EQ(b->GetWidth(), 2);
    EXPECT_EQ(b->GetHeight(), 2);
    EXPECT_EQ(b->GetPixel24(0, 0), before.GetPixel24(2, 1));
    EXPECT_EQ(proc.GetUndoCount(), 1);
    EXPECT_TRUE(proc.AutoUndo);
    // Every alpha zero: nothing.
    b->GetAlphaChannel()->Fill(0);
    proc.CropTransparent();
    EXPECT_EQ(b->GetWidth(), 2);
}

}  // namespace
}  // namespace ie
