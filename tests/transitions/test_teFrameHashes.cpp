// Every effect draws the same frames as recorded: each configuration runs whole passes, as
// the device sets them up, over pictures of several sizes and display formats, frame by
// frame and with skipped frames; the pixels of every frame (the work bitmap and the screen,
// where some effects draw) and the rectangles it reports are hashed together. The
// recorded hashes were taken from the straightforward pixel loops, so a faster loop
// (SIMD, rows split over threads, another algorithm) must give the same bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "te_frame_driver.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teCore.h"
#include "transitions/teMskWk.h"
#include "transitions/teRender.h"

using namespace te;

namespace {

struct Prop {
    const char* name;
    const char* value;
};

struct Config {
    const char* name;
    const char* cls;
    std::vector<Prop> props;
    uint64_t hash;  // recorded
};

void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

// The show window's transitions and other settings of the same effects.
const Config kConfigs[] = {
    {"Blend", "TBlendTransition", {}, 0x57cb46d9e5ac0d23ull},
    {"BlockRandom", "TBlockTransition", {}, 0x8a8ce820ae85d767ull},
    {"BlockPuzzle", "TBlockTransition", {{"Puzzle", "True"}}, 0xa75e7c2f22ebd6a4ull},
    {"BlockStyle2",
     "TBlockTransition",
     {{"Style", "2"}, {"SubStyle", "3"}, {"BlockWidth", "7"}, {"BlockHeight", "5"}},
     0xa579f5f77d3fd778ull},
    {"BlockStyle3",
     "TBlockTransition",
     {{"Style", "3"}, {"SubStyle", "2"}, {"Cols", "9"}, {"Rows", "4"}},
     0x2901040e492591a9ull},
    {"BlockStyle4Dual",
     "TBlockTransition",
     {{"Style", "4"}, {"Dual", "True"}, {"BlockWidth", "6"}},
     0xba340871aedd4fc9ull},
    {"BlockRandomSmall", "TBlockTransition", {{"BlockWidth", "4"}, {"BlockHeight", "3"}}, 0x6e877f6976cde968ull},
    {"Blur", "TBlurTransition", {{"Radius", "50"}}, 0x183989c63123fda1ull},
    {"BlurRadius3", "TBlurTransition", {{"Radius", "3"}}, 0xb46dcf31b9fa10aeull},
    {"Circle", "TCircleTransition", {}, 0x154118c1496054caull},
    {"CircleSmooth", "TCircleTransition", {{"SmoothingLevel", "5"}}, 0x5c037ad15667243cull},
    {"CircleStyle2Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x05b7fa9447088e48ull},
    {"CircleStyle3Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0xd7d0404e36e4a003ull},
    {"CircleShrinking", "TCircleTransition", {{"SubStyle", "2"}}, 0xe5a0530d70e171e8ull},
    {"CircleShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "3"}, {"SubStyle", "2"}}, 0x99dd12a63214e750ull},
    {"CircleStyle2ShrinkingSmooth",
     "TCircleTransition",
     {{"SmoothingLevel", "2"}, {"Style", "2"}, {"SubStyle", "6"}},
     0x2e6f286aed8c0193ull},
    {"DiagonalSmooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}}, 0x433eb159f7fbf1c7ull},
    {"DiagonalStyle2Smooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0xba522f8f663e1c5dull},
    {"DiagonalHard", "TDiagonalTransition", {{"Style", "2"}, {"SubStyle", "3"}}, 0xe2987fbf405f0fd7ull},
    {"DripRandom", "TDripTransition", {{"Direction", "tedRandom"}}, 0x2fb764efcbe3bbb8ull},
    {"DripLeft", "TDripTransition", {{"Direction", "tedLeft"}}, 0x646fbd0409db6c73ull},
    {"DripRight", "TDripTransition", {{"Direction", "tedRight"}}, 0x2fb764efcbe3bbb8ull},
    {"DripDown", "TDripTransition", {{"Direction", "tedDown"}}, 0xc268aae6fed78cb8ull},
    {"DripUp", "TDripTransition", {{"Direction", "tedUp"}}, 0x220a2324f06ba924ull},
    {"Fuse", "TFuseTransition", {}, 0x8259ff838a23faadull},
    {"FuseStyle2", "TFuseTransition", {{"Style", "2"}}, 0xb94701958d8c29c1ull},
    {"FuseStyle6", "TFuseTransition", {{"Style", "6"}}, 0xe785730070bfdf26ull},
    {"FuseStyle9", "TFuseTransition", {{"Style", "9"}}, 0xf65919e3e8674adbull},
    {"FuseStyle12", "TFuseTransition", {{"Style", "12"}}, 0x86462b2b0d768988ull},
    {"Interlaced", "TInterlacedTransition", {}, 0xea851f8207373559ull},
    {"InterlacedStyle2Smooth",
     "TInterlacedTransition",
     {{"SmoothingLevel", "2"}, {"Style", "2"}},
     0xee350156b77a2354ull},
    {"InterlacedStyle2Hard", "TInterlacedTransition", {{"Style", "2"}, {"SubStyle", "2"}}, 0x4db300299b8ef1ecull},
    {"PageRight", "TPageTransition", {{"Direction", "tedRight"}}, 0xb2a43ecc1c433ebbull},
    {"Page", "TPageTransition", {}, 0xfa23ae5366722f0aull},
    {"PageUp", "TPageTransition", {{"Direction", "tedUp"}}, 0x47d63c30ddfdd92full},
    {"PageDown", "TPageTransition", {{"Direction", "tedDown"}}, 0x503472d33507279dull},
    {"PageUncoverFlat", "TPageTransition", {{"Uncover", "True"}, {"Use3D", "False"}}, 0x3222531d3d9d9d89ull},
    {"Pixelate", "TPixelateTransition", {{"BoxSize", "50"}}, 0x7ab94aa2bf56d16eull},
    {"PixelateBox7", "TPixelateTransition", {{"BoxSize", "7"}}, 0x9cef487e5de2c78dull},
    {"Push", "TPushTransition", {}, 0xdbe40f6ce05e8dfeull},
    {"PushUp", "TPushTransition", {{"Direction", "tedUp"}}, 0xb0684c8e29fce8fdull},
    {"PushLeft", "TPushTransition", {{"Direction", "tedLeft"}}, 0xfe8a8dcd78b5c98aull},
    {"PushRight", "TPushTransition", {{"Direction", "tedRight"}}, 0x1deccb7f8419e192ull},
    {"Radial", "TRadialTransition", {{"SmoothingLevel", "5"}}, 0x4066080fb4d1239aull},
    {"RadialStyle2", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x44e93e0e22c84cbcull},
    {"RadialStyle3", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0xa32c0cc14a670c44ull},
    {"RadialStyle4", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "4"}}, 0x6a503eae012a8d2dull},
    {"RadialHard", "TRadialTransition", {}, 0x455e4edb078953bfull},
    {"RadialStyle7Hard", "TRadialTransition", {{"Style", "7"}, {"SubStyle", "9"}}, 0x6431bba64a48fcecull},
    {"Roll", "TRollTransition", {}, 0xec88901d5ae12982ull},
    {"RollLeft", "TRollTransition", {{"Direction", "tedLeft"}}, 0x82853d60305b5bbcull},
    {"RollUp", "TRollTransition", {{"Direction", "tedUp"}}, 0xe5780dd9112e06b1ull},
    {"RollRight", "TRollTransition", {{"Direction", "tedRight"}}, 0xd950f1e46468cb93ull},
    {"RollFlat", "TRollTransition", {{"Unroll", "False"}, {"Use3D", "False"}}, 0x33053331161ff10cull},
    {"Slide", "TSlideTransition", {{"ElasticSrc", "True"}}, 0xabf5c811407c5f77ull},
    {"SlideUp", "TSlideTransition", {{"Direction", "tedUp"}, {"ElasticSrc", "True"}}, 0x220ba22c30ce313dull},
    {"SlideLeft", "TSlideTransition", {{"Direction", "tedLeft"}, {"ElasticSrc", "True"}}, 0x1f26f38691fcadc4ull},
    {"SlideRight", "TSlideTransition", {{"Direction", "tedRight"}, {"ElasticSrc", "True"}}, 0x596d5585b4470d11ull},
    {"SlideIn", "TSlideTransition", {{"Direction", "tedIn"}}, 0x3ef92a997820d0f6ull},
    {"SlideOutElastic",
     "TSlideTransition",
     {{"Direction", "tedDownLeft"}, {"SlideOut", "True"}, {"ElasticDst", "True"}},
     0x61121d998823deafull},
    {"Waterfall", "TWaterfallTransition", {}, 0x953921a7f0f1d8cfull},
    {"WaterfallLeft", "TWaterfallTransition", {{"Direction", "tedLeft"}}, 0x93c3dc41bc77336bull},
    {"WaterfallRight", "TWaterfallTransition", {{"Direction", "tedRight"}}, 0x12d0e23e6c222a29ull},
    {"WaterfallUp", "TWaterfallTransition", {{"Direction", "tedUp"}}, 0x61921edfcf475110ull},
    {"WipeDown", "TWipeTransition", {{"Direction", "tedDown"}}, 0x0a7946d6c6fe43a3ull},
    {"WipeUp", "TWipeTransition", {{"Direction", "tedUp"}}, 0x4d89f52510a9c506ull},
    {"WipeLeft", "TWipeTransition", {{"Direction", "tedLeft"}}, 0x771fe7876cd6ad03ull},
    {"Wipe", "TWipeTransition", {}, 0x69c32a2ec0d987d6ull},
    {"WipeSmoothBand", "TWipeTransition", {{"SmoothBand", "True"}}, 0xd1c8cfe50a2b451dull},
    {"WipeSmoothBandUp", "TWipeTransition", {{"SmoothBand", "True"}, {"Direction", "tedUp"}}, 0xf1ae763541c7ee95ull},
    {"WipeOut", "TWipeTransition", {{"Direction", "tedOut"}}, 0x33cc7980bc12a146ull},
    {"WipeIn", "TWipeTransition", {{"Direction", "tedIn"}}, 0xed517c5c5d6457ecull},
    {"WipeUpLeft", "TWipeTransition", {{"Direction", "tedUpLeft"}}, 0xf138422c84427c65ull},
    {"Cut", "TFlickerFreeTransition", {}, 0xa229c08bd62bb1b4ull},
    {"BmpMaskSmooth", "TBmpMaskTransition", {{"SmoothingLevel", "5"}}, 0xb7336b71edfd9402ull},
    {"BmpMaskSmooth2Tile",
     "TBmpMaskTransition",
     {{"SmoothingLevel", "2"}, {"MaskMode", "fcpmTile"}},
     0x004490449fc8f152ull},
    {"BmpMaskHard", "TBmpMaskTransition", {}, 0xb939d2e9bef00825ull},
    {"BmpMaskHardReversedZoom",
     "TBmpMaskTransition",
     {{"Reversed", "True"}, {"MaskMode", "fcpmZoom"}},
     0xfeef10bcfdadaeaaull},
};

struct Hash {
    uint64_t h = 1469598103934665603ull;
    void Word(uint64_t w) {
        h ^= w;
        h *= 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    // Eight bytes at a time, then the rest one by one.
    void Add(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, b + i, 8);
            Word(w);
        }
        for (; i < n; ++i) Word(b[i]);
    }
    void Add(int32_t v) { Add(&v, sizeof v); }
    void Add(const win::RECT& r) {
        Add(r.left);
        Add(r.top);
        Add(r.right);
        Add(r.bottom);
    }
    // Every byte of every row of the bitmap.
    void Add(cl::TBitmap* b) {
        Add(b->GetWidth());
        Add(b->GetHeight());
        for (int y = 0; y < b->GetHeight(); ++y) Add(b->ScanLine(y), static_cast<size_t>(b->RowBytes()));
    }
};

uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    return x ^ (x >> 16);
}

// A picture of random bytes; with Other, about a third of its 32-bit words are Other's.
std::unique_ptr<cl::TBitmap> Noise(cl::TPixelFormat pf, int w, int h, uint32_t seed, cl::TBitmap* Other) {
    auto b = std::make_unique<cl::TBitmap>();
    AdjustBitmapFormat(b.get(), nullptr, w, h, pf);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(b->ScanLine(y));
        const auto* other = Other ? static_cast<const uint8_t*>(Other->ScanLine(y)) : nullptr;
        for (int i = 0; i + 4 <= b->RowBytes(); i += 4) {
            uint32_t v = Mix(seed * 0x9E3779B9u + static_cast<uint32_t>(y * 4099 + i));
            if (other && v % 3 == 0) std::memcpy(&v, other + i, 4);
            std::memcpy(row + i, &v, 4);
        }
    }
    return b;
}

// A grey mask picture (8 bits, grey palette) with smooth and sharp parts.
std::unique_ptr<cl::TBitmap> MaskPicture() {
    return tetest::GreyPicture(23, 17, [](int x, int y) {
        return static_cast<uint8_t>(x < 12 ? x * 11 + y * 3 : Mix(static_cast<uint32_t>(x * 31 + y)) & 0xFF);
    });
}

std::unique_ptr<TTransitionEffect> Make(const Config& c) {
    std::unique_ptr<TTransitionEffect> e(static_cast<TTransitionEffect*>(cl::FindClass(c.cls).Create(nullptr)));
    e->Milliseconds = 1000;
    for (const Prop& p : c.props) cl::SetPropertyText(e.get(), p.name, p.value);
    if (auto* m = dynamic_cast<TBmpMaskTransition*>(e.get())) m->SetMask(MaskPicture().get());
    return e;
}

// How a pass steps through its frames: every frame; steps of 3, 1, 7, 2 in turn; steps of
// 331, 97, 511, 203 in turn (few frames of a large picture). The last frame is always drawn.
enum class Steps { All, Small, Large };

// One pass at W x H on a display of Format.
void HashPass(const Config& c, int W, int H, uint8_t Format, Steps Stepping, Hash& hash) {
    win::SetClockMode(win::ClockMode::Virtual);
    cl::SetRandSeed(4242);
    std::unique_ptr<TTransitionEffect> effect = Make(c);
    tetest::TTestDevice dev;
    dev.Format = static_cast<cl::TPixelFormat>(Format);
    dev.TwoPasses = false;
    dev.SetTransition(effect.get());
    dev.CreateRunData();
    TTETransitionData* d = dev.Data.get();
    const auto pf = static_cast<cl::TPixelFormat>(d->PixelFormat);
    auto oldPic = Noise(pf, W, H, 1, nullptr);
    auto newPic = Noise(pf, W, H, 2, oldPic.get());
    auto screen = Noise(static_cast<cl::TPixelFormat>(Format), W, H, 3, nullptr);
    win::BitBlt(screen->GetCanvas()->GetHandle(), 0, 0, W, H, oldPic->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
    d->Width = W;
    d->Height = H;
    d->Canvas = screen->GetCanvas();
    d->SrcImage = oldPic.get();
    d->DstImage = newPic.get();
    d->LastImage = oldPic.get();
    win::HPALETTE oldPalette = nullptr;
    dev.PrepareWorkBitmap(oldPalette);
    TTransitionEffect* w = dev.GetTransition();
    w->Initialize(d, d->Frames);
    dev.CalcFrameCounts();
    hash.Add(d->Frames);
    static const int kSmall[] = {3, 1, 7, 2}, kLarge[] = {331, 97, 511, 203};
    int prev = 0, turn = 0;
    while (prev < d->LastFrame) {
        int step = 1;
        if (Stepping == Steps::Small) step = kSmall[turn++ % 4];
        if (Stepping == Steps::Large) step = kLarge[turn++ % 4];
        const int k = std::min(prev + step, d->LastFrame);
        w->ExecuteFrame(d, k, k - prev, prev);
        prev = k;
        if (d->Bitmap) hash.Add(d->Bitmap);
        hash.Add(screen.get());
        hash.Add(d->ShowFrames ? 1 : 0);
        hash.Add(d->UpdateRect);
        hash.Add(d->UnUpdateRect);
        if (d->DirtyRects)
            for (const win::RECT& r : d->DirtyRects->Rects) hash.Add(r);
        d->PrevUnUpdateRect = d->UnUpdateRect;
        d->PrevUpdateRect = d->UpdateRect;
        d->UnUpdateRect = win::RECT{};
        d->UpdateRect = win::RECT{};
        if (d->DirtyRects && d->DirtyRects->AutoClear) d->DirtyRects->Clear();
    }
    w->Finalize(d);
    dev.FreeRunData();
}

class FrameHashes : public ::testing::TestWithParam<Config> {
protected:
    void SetUp() override {
        StartUp();
        MMXAvailable = true;
        ExtMMXAvailable = true;
    }
    void TearDown() override { ShutDown(); }
};

TEST_P(FrameHashes, EveryFrameIsTheRecordedOne) {
    const Config& c = GetParam();
    struct Case {
        int w, h;
        uint8_t format;
        Steps steps;
        // clang-format off
    } cases[] = {
        {61, 37, cl::pf32bit, Steps::All},    {61, 37, cl::pf32bit, Steps::Small}, {128, 72, cl::pf32bit, Steps::All},
        {203, 97, cl::pf32bit, Steps::Small}, {45, 50, cl::pf24bit, Steps::All},   {45, 50, cl::pf16bit, Steps::Small},
        {1, 9, cl::pf32bit, Steps::All},      {9, 1, cl::pf32bit, Steps::Small},
        // Large enough for the pixel loops to split their rows over threads.
        {1280, 720, cl::pf32bit, Steps::Large}, {1024, 640, cl::pf24bit, Steps::Large},
    };
    // clang-format on
    Hash all;
    std::string each;
    for (const Case& k : cases) {
        Hash one;
        HashPass(c, k.w, k.h, k.format, k.steps, one);
        all.Add(&one.h, sizeof one.h);
        char buf[96];
        std::snprintf(buf, sizeof buf, "  %dx%d format %d steps %d: %016llx\n", k.w, k.h, k.format,
                      static_cast<int>(k.steps), static_cast<unsigned long long>(one.h));
        each += buf;
    }
    char got[40];
    std::snprintf(got, sizeof got, "0x%016llxull", static_cast<unsigned long long>(all.h));
    EXPECT_EQ(all.h, c.hash) << c.name << " hashes to " << got << "\n" << each;
}

INSTANTIATE_TEST_SUITE_P(Effects, FrameHashes, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<Config>& i) { return std::string(i.param.name); });

}  // namespace
