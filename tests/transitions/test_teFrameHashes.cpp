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
    {"Blend", "TBlendTransition", {}, 0xef1b56f72a583b64ull},
    {"BlockRandom", "TBlockTransition", {}, 0x2ebc7b9af12ef448ull},
    {"BlockPuzzle", "TBlockTransition", {{"Puzzle", "True"}}, 0xd6d182ed6a1a8bcbull},
    {"BlockStyle2", "TBlockTransition", {{"Style", "2"}, {"SubStyle", "3"}, {"BlockWidth", "7"}, {"BlockHeight", "5"}},
     0x772a6fa97f3e60fcull},
    {"BlockStyle3", "TBlockTransition", {{"Style", "3"}, {"SubStyle", "2"}, {"Cols", "9"}, {"Rows", "4"}},
     0xa3c14740a432c400ull},
    {"BlockStyle4Dual", "TBlockTransition", {{"Style", "4"}, {"Dual", "True"}, {"BlockWidth", "6"}},
     0xc06565ad9d89e5a6ull},
    {"BlockRandomSmall", "TBlockTransition", {{"BlockWidth", "4"}, {"BlockHeight", "3"}}, 0x56aa19eba2dc7784ull},
    {"Blur", "TBlurTransition", {{"Radius", "50"}}, 0x99dc6f3b6dfda9eaull},
    {"BlurRadius3", "TBlurTransition", {{"Radius", "3"}}, 0xbd6ed5ea780b8886ull},
    {"Circle", "TCircleTransition", {}, 0x392747a19f70eda9ull},
    {"CircleSmooth", "TCircleTransition", {{"SmoothingLevel", "5"}}, 0x858f6dd97addb995ull},
    {"CircleStyle2Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x6b42cb561bdfcfa2ull},
    {"CircleStyle3Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0x5480501e2913e53aull},
    {"CircleShrinking", "TCircleTransition", {{"SubStyle", "2"}}, 0x86d0efcc03ef2f77ull},
    {"CircleShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "3"}, {"SubStyle", "2"}}, 0xa1e32197fb9c2b40ull},
    {"CircleStyle2ShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "2"}, {"Style", "2"}, {"SubStyle", "6"}},
     0x8f870e117c4398e6ull},
    {"DiagonalSmooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}}, 0xe373c4b660e16077ull},
    {"DiagonalStyle2Smooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x9a1837a9f4fee579ull},
    {"DiagonalHard", "TDiagonalTransition", {{"Style", "2"}, {"SubStyle", "3"}}, 0xc62ad3e94228ccf5ull},
    {"DripRandom", "TDripTransition", {{"Direction", "tedRandom"}}, 0x25a924f5c0d5a32dull},
    {"DripLeft", "TDripTransition", {{"Direction", "tedLeft"}}, 0xf9ba5a713dbdb175ull},
    {"DripRight", "TDripTransition", {{"Direction", "tedRight"}}, 0x25a924f5c0d5a32dull},
    {"DripDown", "TDripTransition", {{"Direction", "tedDown"}}, 0xfb54e158a715796eull},
    {"DripUp", "TDripTransition", {{"Direction", "tedUp"}}, 0xcc0071b8c45181b8ull},
    {"Fuse", "TFuseTransition", {}, 0x5ac9f40bce9bfb8aull},
    {"FuseStyle2", "TFuseTransition", {{"Style", "2"}}, 0xd7fbd9b4392b9b1cull},
    {"FuseStyle6", "TFuseTransition", {{"Style", "6"}}, 0x8d21d157a6d9ddb9ull},
    {"FuseStyle9", "TFuseTransition", {{"Style", "9"}}, 0x6afca31381a4bf5cull},
    {"FuseStyle12", "TFuseTransition", {{"Style", "12"}}, 0x26f4b71a71d55476ull},
    {"Interlaced", "TInterlacedTransition", {}, 0x58501069293b3e33ull},
    {"InterlacedStyle2Smooth", "TInterlacedTransition", {{"SmoothingLevel", "2"}, {"Style", "2"}},
     0xfe63192dae584275ull},
    {"InterlacedStyle2Hard", "TInterlacedTransition", {{"Style", "2"}, {"SubStyle", "2"}}, 0x1078bc2b4eb999ebull},
    {"PageRight", "TPageTransition", {{"Direction", "tedRight"}}, 0xaf14baf5c2695e3aull},
    {"Page", "TPageTransition", {}, 0xf5a69817fdc03fccull},
    {"PageUp", "TPageTransition", {{"Direction", "tedUp"}}, 0xb228fd194eedef9cull},
    {"PageDown", "TPageTransition", {{"Direction", "tedDown"}}, 0x52a6737c606d74a9ull},
    {"PageUncoverFlat", "TPageTransition", {{"Uncover", "True"}, {"Use3D", "False"}}, 0x9698bde3e342510aull},
    {"Pixelate", "TPixelateTransition", {{"BoxSize", "50"}}, 0xea9d47faa1235ffdull},
    {"PixelateBox7", "TPixelateTransition", {{"BoxSize", "7"}}, 0x3817a267a2b4f48cull},
    {"Push", "TPushTransition", {}, 0x03c2652cf226dcecull},
    {"PushUp", "TPushTransition", {{"Direction", "tedUp"}}, 0xfbc424c64112d22cull},
    {"PushLeft", "TPushTransition", {{"Direction", "tedLeft"}}, 0x51625b689c4610c3ull},
    {"PushRight", "TPushTransition", {{"Direction", "tedRight"}}, 0xd7cd2ce7b22c3d89ull},
    {"Radial", "TRadialTransition", {{"SmoothingLevel", "5"}}, 0x36f35287f8446de2ull},
    {"RadialStyle2", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x3a87483d4c0d05bbull},
    {"RadialStyle3", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0xfce7dc13d96720e7ull},
    {"RadialStyle4", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "4"}}, 0xc103ab30cd5d98e7ull},
    {"RadialHard", "TRadialTransition", {}, 0x01ec532914de9272ull},
    {"RadialStyle7Hard", "TRadialTransition", {{"Style", "7"}, {"SubStyle", "9"}}, 0x8554509c7110ffc7ull},
    {"Roll", "TRollTransition", {}, 0x990778aef54ff009ull},
    {"RollLeft", "TRollTransition", {{"Direction", "tedLeft"}}, 0x505f39eb509f1862ull},
    {"RollUp", "TRollTransition", {{"Direction", "tedUp"}}, 0xb38ef781d7f21b9cull},
    {"RollRight", "TRollTransition", {{"Direction", "tedRight"}}, 0xcac1840865231601ull},
    {"RollFlat", "TRollTransition", {{"Unroll", "False"}, {"Use3D", "False"}}, 0x7626148d4fd38135ull},
    {"Slide", "TSlideTransition", {{"ElasticSrc", "True"}}, 0x1c9ffb39e06d2ce6ull},
    {"SlideUp", "TSlideTransition", {{"Direction", "tedUp"}, {"ElasticSrc", "True"}}, 0xa14961f05fcc0db6ull},
    {"SlideLeft", "TSlideTransition", {{"Direction", "tedLeft"}, {"ElasticSrc", "True"}}, 0x6a7aebef5456a264ull},
    {"SlideRight", "TSlideTransition", {{"Direction", "tedRight"}, {"ElasticSrc", "True"}}, 0xe6f44819de15a9d3ull},
    {"SlideIn", "TSlideTransition", {{"Direction", "tedIn"}}, 0x877ef706d5bec36aull},
    {"SlideOutElastic", "TSlideTransition", {{"Direction", "tedDownLeft"}, {"SlideOut", "True"}, {"ElasticDst", "True"}},
     0x308b2bbcf7911310ull},
    {"Waterfall", "TWaterfallTransition", {}, 0x9f7bd2910f73028full},
    {"WaterfallLeft", "TWaterfallTransition", {{"Direction", "tedLeft"}}, 0x32885f11f24003f7ull},
    {"WaterfallRight", "TWaterfallTransition", {{"Direction", "tedRight"}}, 0x39a97354aa2ddcb1ull},
    {"WaterfallUp", "TWaterfallTransition", {{"Direction", "tedUp"}}, 0xb4fea9f935513d2dull},
    {"WipeDown", "TWipeTransition", {{"Direction", "tedDown"}}, 0x4a0aba56edec863dull},
    {"WipeUp", "TWipeTransition", {{"Direction", "tedUp"}}, 0xded85e1bd44f328cull},
    {"WipeLeft", "TWipeTransition", {{"Direction", "tedLeft"}}, 0xf5e9de4efa201ad3ull},
    {"Wipe", "TWipeTransition", {}, 0xb9909ffe9fb9ddaaull},
    {"WipeSmoothBand", "TWipeTransition", {{"SmoothBand", "True"}}, 0xc5f3b247a00cd76aull},
    {"WipeSmoothBandUp", "TWipeTransition", {{"SmoothBand", "True"}, {"Direction", "tedUp"}}, 0x212ee06e310407f4ull},
    {"WipeOut", "TWipeTransition", {{"Direction", "tedOut"}}, 0x334a9b7774c8d6e0ull},
    {"WipeIn", "TWipeTransition", {{"Direction", "tedIn"}}, 0xd45a92c1980e5595ull},
    {"WipeUpLeft", "TWipeTransition", {{"Direction", "tedUpLeft"}}, 0x018ea8ab41643f3dull},
    {"Cut", "TFlickerFreeTransition", {}, 0xa509db46816b181full},
    {"BmpMaskSmooth", "TBmpMaskTransition", {{"SmoothingLevel", "5"}}, 0x31a795ec81e31bfdull},
    {"BmpMaskSmooth2Tile", "TBmpMaskTransition", {{"SmoothingLevel", "2"}, {"MaskMode", "fcpmTile"}},
     0x2195b94c39052098ull},
    {"BmpMaskHard", "TBmpMaskTransition", {}, 0x9c7caeb5be9de469ull},
    {"BmpMaskHardReversedZoom", "TBmpMaskTransition", {{"Reversed", "True"}, {"MaskMode", "fcpmZoom"}},
     0xe141e0d17524cc7dull},
};

// A display of a given format, one pass.
class HashDevice : public TTETransitionDevice {
public:
    explicit HashDevice(uint8_t Format) : FFormat(Format) {}
    ~HashDevice() override { FreeRunData(); }
    void DoExecute() override {}
    bool IsPaletteDisplay() override { return FFormat <= cl::pf8bit; }
    uint8_t GetPixelFormat() override { return FFormat; }
    bool SupportsTwoPasses() override { return false; }

private:
    uint8_t FFormat;
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
        Add(b->Width());
        Add(b->Height());
        for (int y = 0; y < b->Height(); ++y) Add(b->ScanLine(y), static_cast<size_t>(b->RowBytes()));
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
    auto m = std::make_unique<cl::TBitmap>();
    const win::HPALETTE grey = CreateGrayPalette();
    AdjustBitmapFormat(m.get(), grey, 23, 17, cl::pf8bit);
    win::DeleteObject(grey);
    for (int y = 0; y < 17; ++y) {
        auto* row = static_cast<uint8_t*>(m->ScanLine(y));
        for (int x = 0; x < 23; ++x) row[x] = static_cast<uint8_t>(x < 12 ? x * 11 + y * 3 : Mix(x * 31 + y) & 0xFF);
    }
    return m;
}

std::unique_ptr<TTransitionEffect> Make(const Config& c) {
    std::unique_ptr<TTransitionEffect> e(static_cast<TTransitionEffect*>(cl::FindClass(c.cls).Create(nullptr)));
    e->Milliseconds = 1000;
    for (const Prop& p : c.props) cl::SetPropertyText(e.get(), p.name, p.value);
    if (auto* m = dynamic_cast<TBmpMaskTransition*>(e.get())) m->SetMask(MaskPicture().get());
    return e;
}

// How a pass steps through its frames: every frame; steps of 3, 1, 7, 2 in turn; steps of
// 97, 13, 201, 55 in turn; steps of 331, 97, 511, 203 in turn (few frames of a large
// picture). The last frame is always drawn.
enum class Steps { All, Small, Large, Huge };

// One pass at W x H on a display of Format.
void HashPass(const Config& c, int W, int H, uint8_t Format, Steps Stepping, Hash& hash) {
    win::SetClockMode(win::ClockMode::Virtual);
    cl::SetRandSeed(4242);
    std::unique_ptr<TTransitionEffect> effect = Make(c);
    HashDevice dev(Format);
    dev.SetTransition(effect.get());
    dev.CreateRunData();
    TTETransitionData* d = dev.Data.get();
    const auto pf = static_cast<cl::TPixelFormat>(d->PixelFormat);
    auto oldPic = Noise(pf, W, H, 1, nullptr);
    auto newPic = Noise(pf, W, H, 2, oldPic.get());
    auto screen = Noise(static_cast<cl::TPixelFormat>(Format), W, H, 3, nullptr);
    win::BitBlt(screen->Canvas()->Handle(), 0, 0, W, H, oldPic->Canvas()->Handle(), 0, 0, win::SRCCOPY);
    d->Width = W;
    d->Height = H;
    d->Canvas = screen->Canvas();
    d->SrcImage = oldPic.get();
    d->DstImage = newPic.get();
    d->LastImage = oldPic.get();
    win::HPALETTE oldPalette = nullptr;
    dev.PrepareWorkBitmap(oldPalette);
    TTransitionEffect* w = dev.GetTransition();
    w->Initialize(d, d->Frames);
    dev.CalcFrameCounts();
    hash.Add(d->Frames);
    static const int kSmall[] = {3, 1, 7, 2}, kLarge[] = {97, 13, 201, 55}, kHuge[] = {331, 97, 511, 203};
    int prev = 0, turn = 0;
    while (prev < d->LastFrame) {
        int step = 1;
        if (Stepping == Steps::Small) step = kSmall[turn++ % 4];
        if (Stepping == Steps::Large) step = kLarge[turn++ % 4];
        if (Stepping == Steps::Huge) step = kHuge[turn++ % 4];
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
    } cases[] = {
        {61, 37, cl::pf32bit, Steps::All},    {61, 37, cl::pf32bit, Steps::Small}, {128, 72, cl::pf32bit, Steps::All},
        {203, 97, cl::pf32bit, Steps::Small}, {45, 50, cl::pf24bit, Steps::All},   {45, 50, cl::pf16bit, Steps::Small},
        {1, 9, cl::pf32bit, Steps::All},      {9, 1, cl::pf32bit, Steps::Small},
        {640, 400, cl::pf32bit, Steps::Large}, {488, 330, cl::pf24bit, Steps::Large},
        // Large enough for the pixel loops to split their rows over threads.
        {1600, 900, cl::pf32bit, Steps::Huge}, {1280, 720, cl::pf24bit, Steps::Huge},
    };
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
