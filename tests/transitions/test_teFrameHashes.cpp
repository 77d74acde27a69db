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
    {"Blend", "TBlendTransition", {}, 0x3ea7aee5c0993eb1ull},
    {"BlockRandom", "TBlockTransition", {}, 0x1444fa2151a26f33ull},
    {"BlockPuzzle", "TBlockTransition", {{"Puzzle", "True"}}, 0xbe677d3bcdfc20e5ull},
    {"BlockStyle2", "TBlockTransition", {{"Style", "2"}, {"SubStyle", "3"}, {"BlockWidth", "7"}, {"BlockHeight", "5"}},
     0xac2e6da8739ef62full},
    {"BlockStyle3", "TBlockTransition", {{"Style", "3"}, {"SubStyle", "2"}, {"Cols", "9"}, {"Rows", "4"}},
     0x7ecdda840e42f076ull},
    {"BlockStyle4Dual", "TBlockTransition", {{"Style", "4"}, {"Dual", "True"}, {"BlockWidth", "6"}},
     0x773db3b5526d38c5ull},
    {"BlockRandomSmall", "TBlockTransition", {{"BlockWidth", "4"}, {"BlockHeight", "3"}}, 0x96da5af5541d0b55ull},
    {"Blur", "TBlurTransition", {{"Radius", "50"}}, 0x67823f830792ed82ull},
    {"BlurRadius3", "TBlurTransition", {{"Radius", "3"}}, 0xadbb7173b90a9a9full},
    {"Circle", "TCircleTransition", {}, 0xdab4702714771a4aull},
    {"CircleSmooth", "TCircleTransition", {{"SmoothingLevel", "5"}}, 0x2548cd90adff5177ull},
    {"CircleStyle2Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x9fca3e8fde80958eull},
    {"CircleStyle3Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0x5061db60ddf4835eull},
    {"CircleShrinking", "TCircleTransition", {{"SubStyle", "2"}}, 0xe9b5d1dec229a282ull},
    {"CircleShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "3"}, {"SubStyle", "2"}}, 0x94a526a45a341e1full},
    {"CircleStyle2ShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "2"}, {"Style", "2"}, {"SubStyle", "6"}},
     0xec8755b60a717e15ull},
    {"DiagonalSmooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}}, 0xc9da1ff9c2746379ull},
    {"DiagonalStyle2Smooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0xf5e4a8414c3d9d74ull},
    {"DiagonalHard", "TDiagonalTransition", {{"Style", "2"}, {"SubStyle", "3"}}, 0x02dd095076589ac2ull},
    {"DripRandom", "TDripTransition", {{"Direction", "tedRandom"}}, 0x033040bd47e3ebfcull},
    {"DripLeft", "TDripTransition", {{"Direction", "tedLeft"}}, 0x887d72f1026a0be6ull},
    {"DripRight", "TDripTransition", {{"Direction", "tedRight"}}, 0x033040bd47e3ebfcull},
    {"DripDown", "TDripTransition", {{"Direction", "tedDown"}}, 0x3407bd3dd7ae7e37ull},
    {"DripUp", "TDripTransition", {{"Direction", "tedUp"}}, 0x5b9525dd7c5118a1ull},
    {"Fuse", "TFuseTransition", {}, 0xab54c20112028474ull},
    {"FuseStyle2", "TFuseTransition", {{"Style", "2"}}, 0x3bf12733304b0bf3ull},
    {"FuseStyle6", "TFuseTransition", {{"Style", "6"}}, 0xed7c5d8bd3fbe208ull},
    {"FuseStyle9", "TFuseTransition", {{"Style", "9"}}, 0xc39cf57d0a4cea31ull},
    {"FuseStyle12", "TFuseTransition", {{"Style", "12"}}, 0xe0f34ce1a5631b3cull},
    {"Interlaced", "TInterlacedTransition", {}, 0x880fbb00d0c06541ull},
    {"InterlacedStyle2Smooth", "TInterlacedTransition", {{"SmoothingLevel", "2"}, {"Style", "2"}},
     0x87c9ef1df0b94b8eull},
    {"InterlacedStyle2Hard", "TInterlacedTransition", {{"Style", "2"}, {"SubStyle", "2"}}, 0xe9f5f45701f56806ull},
    {"PageRight", "TPageTransition", {{"Direction", "tedRight"}}, 0x5025ae22f7df58d7ull},
    {"Page", "TPageTransition", {}, 0x46c4fa63c5a8e371ull},
    {"PageUp", "TPageTransition", {{"Direction", "tedUp"}}, 0x10df77d9ee512a4eull},
    {"PageDown", "TPageTransition", {{"Direction", "tedDown"}}, 0x2a8be077c630969dull},
    {"PageUncoverFlat", "TPageTransition", {{"Uncover", "True"}, {"Use3D", "False"}}, 0x46a46651159c4615ull},
    {"Pixelate", "TPixelateTransition", {{"BoxSize", "50"}}, 0x86eb1d70d9c0967full},
    {"PixelateBox7", "TPixelateTransition", {{"BoxSize", "7"}}, 0x9c68fa0b1ef53fa1ull},
    {"Push", "TPushTransition", {}, 0xc42a772413001c1full},
    {"PushUp", "TPushTransition", {{"Direction", "tedUp"}}, 0xd839f369d3634516ull},
    {"PushLeft", "TPushTransition", {{"Direction", "tedLeft"}}, 0xf49798118e072c86ull},
    {"PushRight", "TPushTransition", {{"Direction", "tedRight"}}, 0x47680e89dad565b8ull},
    {"Radial", "TRadialTransition", {{"SmoothingLevel", "5"}}, 0x2ad3cabaec595b9bull},
    {"RadialStyle2", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, 0x28bf15dbc34fe269ull},
    {"RadialStyle3", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, 0xd8b64f933dc82d73ull},
    {"RadialStyle4", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "4"}}, 0xd068fc531f7e8653ull},
    {"RadialHard", "TRadialTransition", {}, 0xc9cf683f928fd9c6ull},
    {"RadialStyle7Hard", "TRadialTransition", {{"Style", "7"}, {"SubStyle", "9"}}, 0x6b83f2694d7b0ddaull},
    {"Roll", "TRollTransition", {}, 0xcc3ed5041f7b3711ull},
    {"RollLeft", "TRollTransition", {{"Direction", "tedLeft"}}, 0x871a595a417bf6faull},
    {"RollUp", "TRollTransition", {{"Direction", "tedUp"}}, 0x10666f16879e8ff8ull},
    {"RollRight", "TRollTransition", {{"Direction", "tedRight"}}, 0x54adbda8f39fd42bull},
    {"RollFlat", "TRollTransition", {{"Unroll", "False"}, {"Use3D", "False"}}, 0xfbe972e176db5647ull},
    {"Slide", "TSlideTransition", {{"ElasticSrc", "True"}}, 0xdbc750ec2a725e4dull},
    {"SlideUp", "TSlideTransition", {{"Direction", "tedUp"}, {"ElasticSrc", "True"}}, 0xf7d7e2f156645c25ull},
    {"SlideLeft", "TSlideTransition", {{"Direction", "tedLeft"}, {"ElasticSrc", "True"}}, 0x760f18b07c378171ull},
    {"SlideRight", "TSlideTransition", {{"Direction", "tedRight"}, {"ElasticSrc", "True"}}, 0x235eabfd408df2cfull},
    {"SlideIn", "TSlideTransition", {{"Direction", "tedIn"}}, 0xedd5793d16e0a56aull},
    {"SlideOutElastic",
     "TSlideTransition",
     {{"Direction", "tedDownLeft"}, {"SlideOut", "True"}, {"ElasticDst", "True"}},
     0x65dda571b8075c3aull},
    {"Waterfall", "TWaterfallTransition", {}, 0x359d1493039cda92ull},
    {"WaterfallLeft", "TWaterfallTransition", {{"Direction", "tedLeft"}}, 0x3d5363c5771d991bull},
    {"WaterfallRight", "TWaterfallTransition", {{"Direction", "tedRight"}}, 0x7b47442ae0db247eull},
    {"WaterfallUp", "TWaterfallTransition", {{"Direction", "tedUp"}}, 0x80a1d5f05eab0a06ull},
    {"WipeDown", "TWipeTransition", {{"Direction", "tedDown"}}, 0xb525d425fe76c984ull},
    {"WipeUp", "TWipeTransition", {{"Direction", "tedUp"}}, 0xf7500be5cb04b5edull},
    {"WipeLeft", "TWipeTransition", {{"Direction", "tedLeft"}}, 0x22af0b1ae7c0e1a1ull},
    {"Wipe", "TWipeTransition", {}, 0x288293d430890daaull},
    {"WipeSmoothBand", "TWipeTransition", {{"SmoothBand", "True"}}, 0x9f6fcb7886d92c67ull},
    {"WipeSmoothBandUp", "TWipeTransition", {{"SmoothBand", "True"}, {"Direction", "tedUp"}}, 0xe807ed74860f7badull},
    {"WipeOut", "TWipeTransition", {{"Direction", "tedOut"}}, 0x8dbe52378e44c964ull},
    {"WipeIn", "TWipeTransition", {{"Direction", "tedIn"}}, 0xf01a9a706c96c4a4ull},
    {"WipeUpLeft", "TWipeTransition", {{"Direction", "tedUpLeft"}}, 0xc7995cb18b028a3aull},
    {"Cut", "TFlickerFreeTransition", {}, 0x690e11bfe5f4323bull},
    {"BmpMaskSmooth", "TBmpMaskTransition", {{"SmoothingLevel", "5"}}, 0x6978afa1845e3d3dull},
    {"BmpMaskSmooth2Tile", "TBmpMaskTransition", {{"SmoothingLevel", "2"}, {"MaskMode", "fcpmTile"}},
     0x73f0e38c2e90a6e1ull},
    {"BmpMaskHard", "TBmpMaskTransition", {}, 0x5937c987b6a5e5beull},
    {"BmpMaskHardReversedZoom", "TBmpMaskTransition", {{"Reversed", "True"}, {"MaskMode", "fcpmZoom"}},
     0x604f71ef947f3665ull},
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

// How a pass steps through its frames: every frame; steps of 3, 1, 7, 2 in turn; steps of
// 97, 13, 201, 55 in turn (few frames of a large picture). The last frame is always drawn.
enum class Steps { All, Small, Large };

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
    static const int kSmall[] = {3, 1, 7, 2}, kLarge[] = {97, 13, 201, 55};
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
    } cases[] = {
        {61, 37, cl::pf32bit, Steps::All},    {61, 37, cl::pf32bit, Steps::Small}, {128, 72, cl::pf32bit, Steps::All},
        {203, 97, cl::pf32bit, Steps::Small}, {45, 50, cl::pf24bit, Steps::All},   {45, 50, cl::pf16bit, Steps::Small},
        {1, 9, cl::pf32bit, Steps::All},      {9, 1, cl::pf32bit, Steps::Small},
        // Large enough for the pixel loops to split their rows over threads.
        {640, 400, cl::pf32bit, Steps::Large}, {488, 330, cl::pf24bit, Steps::Large},
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
