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
    {"Blend", "TBlendTransition", {}, 0xd8bb59f54713d59full},
    {"BlockRandom", "TBlockTransition", {}, 0x7e8df5de87f0f049ull},
    {"BlockPuzzle", "TBlockTransition", {{"Puzzle", "True"}}, 0xd411544d6a85c47bull},
    {"BlockStyle2", "TBlockTransition", {{"Style", "2"}, {"SubStyle", "3"}, {"BlockWidth", "7"}, {"BlockHeight", "5"}},
     0xaa1c361b5aa6230bull},
    {"BlockStyle3", "TBlockTransition", {{"Style", "3"}, {"SubStyle", "2"}, {"Cols", "9"}, {"Rows", "4"}},
     0xfbed998042761eecull},
    {"BlockStyle4Dual", "TBlockTransition", {{"Style", "4"}, {"Dual", "True"}, {"BlockWidth", "6"}},
     0x9d8726fe91062810ull},
    {"BlockRandomSmall", "TBlockTransition", {{"BlockWidth", "4"}, {"BlockHeight", "3"}}, 0x45114cc46fb14984ull},
    {"Blur", "TBlurTransition", {{"Radius", "50"}}, 0x8703ec84064a5f88ull},
    {"BlurRadius3", "TBlurTransition", {{"Radius", "3"}}, 0x07651ad7950b4e99ull},
    {"Circle", "TCircleTransition", {}, 0xc42deb114ccb4a87ull},
    {"CircleSmooth", "TCircleTransition", {{"SmoothingLevel", "5"}}, 0x3ee179afc9e07b28ull},
    {"CircleStyle2Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x9a1dd6af4fea6e06ull},
    {"CircleStyle3Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0x717bddd2be0ae9f9ull},
    {"CircleShrinking", "TCircleTransition", {{"SubStyle", "2"}}, 0x7f20891d5c2266a1ull},
    {"CircleShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "3"}, {"SubStyle", "2"}}, 0x37aa65ee30c652c8ull},
    {"CircleStyle2ShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "2"}, {"Style", "2"}, {"SubStyle", "6"}},
     0x6797766c48f8b200ull},
    {"DiagonalSmooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}}, 0x63a3c96414d152c5ull},
    {"DiagonalStyle2Smooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x73aca053f103dc30ull},
    {"DiagonalHard", "TDiagonalTransition", {{"Style", "2"}, {"SubStyle", "3"}}, 0x35b840f61e1af797ull},
    {"DripRandom", "TDripTransition", {{"Direction", "tedRandom"}}, 0x5d8bbc9b77d7667eull},
    {"DripLeft", "TDripTransition", {{"Direction", "tedLeft"}}, 0x95fa6700d1be7ec7ull},
    {"DripRight", "TDripTransition", {{"Direction", "tedRight"}}, 0x5d8bbc9b77d7667eull},
    {"DripDown", "TDripTransition", {{"Direction", "tedDown"}}, 0x3ad6df2fc9ed251dull},
    {"DripUp", "TDripTransition", {{"Direction", "tedUp"}}, 0x7c04debc9e7b2636ull},
    {"Fuse", "TFuseTransition", {}, 0x49ba90db72f2b3b2ull},
    {"FuseStyle2", "TFuseTransition", {{"Style", "2"}}, 0xb718abe5f4f6031dull},
    {"FuseStyle6", "TFuseTransition", {{"Style", "6"}}, 0x00f1d2ce5f1c4778ull},
    {"FuseStyle9", "TFuseTransition", {{"Style", "9"}}, 0x7e6afd77b72055f2ull},
    {"FuseStyle12", "TFuseTransition", {{"Style", "12"}}, 0x06280d859a546b46ull},
    {"Interlaced", "TInterlacedTransition", {}, 0x4c33a10471df6a86ull},
    {"InterlacedStyle2Smooth", "TInterlacedTransition", {{"SmoothingLevel", "2"}, {"Style", "2"}},
     0x250fb9f385293af4ull},
    {"InterlacedStyle2Hard", "TInterlacedTransition", {{"Style", "2"}, {"SubStyle", "2"}}, 0x253c7440ac2790baull},
    {"PageRight", "TPageTransition", {{"Direction", "tedRight"}}, 0x383400f6c2783968ull},
    {"Page", "TPageTransition", {}, 0x93f10ac48a4c8d6aull},
    {"PageUp", "TPageTransition", {{"Direction", "tedUp"}}, 0x5ee2af52edb34c71ull},
    {"PageDown", "TPageTransition", {{"Direction", "tedDown"}}, 0x1adf0c77cbfbc768ull},
    {"PageUncoverFlat", "TPageTransition", {{"Uncover", "True"}, {"Use3D", "False"}}, 0x775c1396c51c7776ull},
    {"Pixelate", "TPixelateTransition", {{"BoxSize", "50"}}, 0xa949895c9349a59dull},
    {"PixelateBox7", "TPixelateTransition", {{"BoxSize", "7"}}, 0x5515efaa4ab4a03bull},
    {"Push", "TPushTransition", {}, 0x245aa90ae82a9ee4ull},
    {"PushUp", "TPushTransition", {{"Direction", "tedUp"}}, 0xe2ba918c44f3c925ull},
    {"PushLeft", "TPushTransition", {{"Direction", "tedLeft"}}, 0xe796b1b5f2eb00a5ull},
    {"PushRight", "TPushTransition", {{"Direction", "tedRight"}}, 0x81a85c21f1853566ull},
    {"Radial", "TRadialTransition", {{"SmoothingLevel", "5"}}, 0x65a027092a958785ull},
    {"RadialStyle2", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0xbe7e67a2768b4890ull},
    {"RadialStyle3", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0x3d052e7ce0b63ba3ull},
    {"RadialStyle4", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "4"}}, 0x418b5e5545f6758aull},
    {"RadialHard", "TRadialTransition", {}, 0x2bb13ca94753331cull},
    {"RadialStyle7Hard", "TRadialTransition", {{"Style", "7"}, {"SubStyle", "9"}}, 0x3ceb91c30364c91eull},
    {"Roll", "TRollTransition", {}, 0xe091e28a3730916cull},
    {"RollLeft", "TRollTransition", {{"Direction", "tedLeft"}}, 0xd68f0a2e938735eaull},
    {"RollUp", "TRollTransition", {{"Direction", "tedUp"}}, 0x8a98b96553464b08ull},
    {"RollRight", "TRollTransition", {{"Direction", "tedRight"}}, 0x07af061c19667573ull},
    {"RollFlat", "TRollTransition", {{"Unroll", "False"}, {"Use3D", "False"}}, 0xe5274e1f8a627d5full},
    {"Slide", "TSlideTransition", {{"ElasticSrc", "True"}}, 0x4978132ea1a952c7ull},
    {"SlideUp", "TSlideTransition", {{"Direction", "tedUp"}, {"ElasticSrc", "True"}}, 0x9506796de57feeb7ull},
    {"SlideLeft", "TSlideTransition", {{"Direction", "tedLeft"}, {"ElasticSrc", "True"}}, 0x1f4241215931a547ull},
    {"SlideRight", "TSlideTransition", {{"Direction", "tedRight"}, {"ElasticSrc", "True"}}, 0x11de15be3aecdafaull},
    {"SlideIn", "TSlideTransition", {{"Direction", "tedIn"}}, 0x9a049094e4c4e1cdull},
    {"SlideOutElastic", "TSlideTransition", {{"Direction", "tedDownLeft"}, {"SlideOut", "True"}, {"ElasticDst", "True"}},
     0x71a2287d5ced51eeull},
    {"Waterfall", "TWaterfallTransition", {}, 0xe8a21a649ee8e1aeull},
    {"WaterfallLeft", "TWaterfallTransition", {{"Direction", "tedLeft"}}, 0x50abd204ab1a2a80ull},
    {"WaterfallRight", "TWaterfallTransition", {{"Direction", "tedRight"}}, 0x36b8748b13a9dcbfull},
    {"WaterfallUp", "TWaterfallTransition", {{"Direction", "tedUp"}}, 0xce2f7573c883519cull},
    {"WipeDown", "TWipeTransition", {{"Direction", "tedDown"}}, 0xa2d73ad96cf48340ull},
    {"WipeUp", "TWipeTransition", {{"Direction", "tedUp"}}, 0x48955cfc037d6ebbull},
    {"WipeLeft", "TWipeTransition", {{"Direction", "tedLeft"}}, 0x4d795d0a7e44e6ffull},
    {"Wipe", "TWipeTransition", {}, 0x0906e829aff5f77cull},
    {"WipeSmoothBand", "TWipeTransition", {{"SmoothBand", "True"}}, 0x3778651d3b4bea7cull},
    {"WipeSmoothBandUp", "TWipeTransition", {{"SmoothBand", "True"}, {"Direction", "tedUp"}}, 0x8759af5c341da3a2ull},
    {"WipeOut", "TWipeTransition", {{"Direction", "tedOut"}}, 0x705203c7b021f0a1ull},
    {"WipeIn", "TWipeTransition", {{"Direction", "tedIn"}}, 0x838894b287727794ull},
    {"WipeUpLeft", "TWipeTransition", {{"Direction", "tedUpLeft"}}, 0xd72976b9f5f32181ull},
    {"Cut", "TFlickerFreeTransition", {}, 0x2913639739018b0dull},
    {"BmpMaskSmooth", "TBmpMaskTransition", {{"SmoothingLevel", "5"}}, 0x94255b29d2c4f369ull},
    {"BmpMaskSmooth2Tile", "TBmpMaskTransition", {{"SmoothingLevel", "2"}, {"MaskMode", "fcpmTile"}},
     0x0bd47b0771e621a2ull},
    {"BmpMaskHard", "TBmpMaskTransition", {}, 0x86b0f49899d5fbdaull},
    {"BmpMaskHardReversedZoom", "TBmpMaskTransition", {{"Reversed", "True"}, {"MaskMode", "fcpmZoom"}},
     0xa832b1e17d68054cull},
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
    void Add(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
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
    m->SetPixelFormat(cl::pf8bit);
    std::vector<win::RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        table[static_cast<size_t>(i)] = win::RGBQUAD{v, v, v, 0};
    }
    m->SetColorTable(table);
    m->SetSize(23, 17);
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

// One pass at W x H on a display of Format; Skipping draws frames 3, 4, 11, 13, ... (steps
// 3, 1, 7, 2 in turn), always ending on the last frame.
void HashPass(const Config& c, int W, int H, uint8_t Format, bool Skipping, Hash& hash) {
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
    static const int kSteps[] = {3, 1, 7, 2};
    int prev = 0, turn = 0;
    while (prev < d->LastFrame) {
        const int k = Skipping ? std::min(prev + kSteps[turn++ % 4], d->LastFrame) : prev + 1;
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
        bool skipping;
    } cases[] = {
        {61, 37, cl::pf32bit, false}, {61, 37, cl::pf32bit, true}, {128, 72, cl::pf32bit, false},
        {203, 97, cl::pf32bit, true}, {45, 50, cl::pf24bit, false}, {45, 50, cl::pf16bit, true},
        {1, 9, cl::pf32bit, false},   {9, 1, cl::pf32bit, true},
    };
    Hash all;
    std::string each;
    for (const Case& k : cases) {
        Hash one;
        HashPass(c, k.w, k.h, k.format, k.skipping, one);
        all.Add(&one.h, sizeof one.h);
        char buf[96];
        std::snprintf(buf, sizeof buf, "  %dx%d pf%d%s: %016llx\n", k.w, k.h, k.format, k.skipping ? " skipping" : "",
                      static_cast<unsigned long long>(one.h));
        each += buf;
    }
    char got[40];
    std::snprintf(got, sizeof got, "0x%016llxull", static_cast<unsigned long long>(all.h));
    EXPECT_EQ(all.h, c.hash) << c.name << " hashes to " << got << "\n" << each;
}

INSTANTIATE_TEST_SUITE_P(Effects, FrameHashes, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<Config>& i) { return std::string(i.param.name); });

}  // namespace
