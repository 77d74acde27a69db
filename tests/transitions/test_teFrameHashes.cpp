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
#include <tuple>
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

// The passes of every configuration, in three parts that run as tests of their own: the
// small pictures, and each of the two large ones.
enum Part { kSmall, kLarge32, kLarge24, kParts };

struct Config {
    const char* name;
    const char* cls;
    std::vector<Prop> props;
    uint64_t hash[kParts];  // recorded, one per part
};

void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

// The show window's transitions and other settings of the same effects.
const Config kConfigs[] = {
    {"Blend", "TBlendTransition", {}, {0xa3d960eec40d3854ull, 0x2e1860d58d8074f8ull, 0x43bac47f88c3695cull}},
    {"BlockRandom", "TBlockTransition", {}, {0x61352a540a5295a4ull, 0x0f42f72901ffe6a9ull, 0x03e2090a3a85bf7full}},
    {"BlockPuzzle", "TBlockTransition", {{"Puzzle", "True"}}, {0xf8a8279fa20af039ull, 0x757ada6fd3f1705cull, 0x04566f4fbd50d200ull}},
    {"BlockStyle2",
     "TBlockTransition",
     {{"Style", "2"}, {"SubStyle", "3"}, {"BlockWidth", "7"}, {"BlockHeight", "5"}},
     {0x0e048663496880a0ull, 0x95ac62ecbc5b21d7ull, 0x2902de0731180de1ull}},
    {"BlockStyle3",
     "TBlockTransition",
     {{"Style", "3"}, {"SubStyle", "2"}, {"Cols", "9"}, {"Rows", "4"}},
     {0x37625299e2d6d34cull, 0xad5cb4d0fadc23bcull, 0xda2d1657c6cd937cull}},
    {"BlockStyle4Dual",
     "TBlockTransition",
     {{"Style", "4"}, {"Dual", "True"}, {"BlockWidth", "6"}},
     {0xc7ebac33a60c90f8ull, 0x4cc6c4c4a42e51b9ull, 0xeceeaf6f055a9706ull}},
    {"BlockRandomSmall", "TBlockTransition", {{"BlockWidth", "4"}, {"BlockHeight", "3"}}, {0x4e80a40b70107771ull, 0x5552df4f16b014a7ull, 0xada15f54bf550a35ull}},
    {"Blur", "TBlurTransition", {{"Radius", "50"}}, {0x364f3c7dceda39f6ull, 0x84b534e37bb797b6ull, 0x6527e34edcc306b3ull}},
    {"BlurRadius3", "TBlurTransition", {{"Radius", "3"}}, {0x14a788c9c07cc8d3ull, 0x32b04d9b43dfe0f3ull, 0xfcde2de1c606720aull}},
    {"Circle", "TCircleTransition", {}, {0x8b2bce20100a7af8ull, 0xe52c2364d1985324ull, 0x7fad818e3b16b7a6ull}},
    {"CircleSmooth", "TCircleTransition", {{"SmoothingLevel", "5"}}, {0x3c99fcdb91b59218ull, 0x050770f1c6784c9full, 0x824845ba1b2d5588ull}},
    {"CircleStyle2Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, {0x1cac1f2ce05b3aeeull, 0x975be509566f7b08ull, 0x120df75d2e2bb920ull}},
    {"CircleStyle3Smooth", "TCircleTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, {0x3ec76d1b71f2a01cull, 0xbd559db45fcc24f7ull, 0x00ea673cd10afe86ull}},
    {"CircleShrinking", "TCircleTransition", {{"SubStyle", "2"}}, {0x701ae8f5b0b5d91cull, 0xe52c2364d1985324ull, 0x7fad818e3b16b7a6ull}},
    {"CircleShrinkingSmooth", "TCircleTransition", {{"SmoothingLevel", "3"}, {"SubStyle", "2"}}, {0x0f5ec6de196faf68ull, 0xd23ae6ea45f2393cull, 0x7d4eb3225c247dc4ull}},
    {"CircleStyle2ShrinkingSmooth",
     "TCircleTransition",
     {{"SmoothingLevel", "2"}, {"Style", "2"}, {"SubStyle", "6"}},
     {0x348654c65403a199ull, 0xf69f4851c01a02e2ull, 0xd71bd8af63f529d3ull}},
    {"DiagonalSmooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}}, {0xbabd62365f7a68abull, 0xc72ce993f584df02ull, 0x4862fce0c1330c10ull}},
    {"DiagonalStyle2Smooth", "TDiagonalTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, {0xe74994948ce3997cull, 0x2927062de61cececull, 0x6204afa21f697a17ull}},
    {"DiagonalHard", "TDiagonalTransition", {{"Style", "2"}, {"SubStyle", "3"}}, {0xfd8d6c8e40435d5aull, 0x40dfecc4abff6410ull, 0xadcaf8fe5224cefeull}},
    {"DripRandom", "TDripTransition", {{"Direction", "tedRandom"}}, {0x1e6223e1f0839599ull, 0xcfd0b1574e8051f8ull, 0xcb87a74f2cd25fe6ull}},
    {"DripLeft", "TDripTransition", {{"Direction", "tedLeft"}}, {0x70f9b99a568e10abull, 0x89342008db3d9a5dull, 0x86d7b7589438ae35ull}},
    {"DripRight", "TDripTransition", {{"Direction", "tedRight"}}, {0x1e6223e1f0839599ull, 0xcfd0b1574e8051f8ull, 0xcb87a74f2cd25fe6ull}},
    {"DripDown", "TDripTransition", {{"Direction", "tedDown"}}, {0x71e77846a05dd7a0ull, 0x347195369613999dull, 0x31f6643794622e5dull}},
    {"DripUp", "TDripTransition", {{"Direction", "tedUp"}}, {0x32de5ddddf9b994bull, 0xd60191e256653effull, 0x371c0af8566e87bdull}},
    {"Fuse", "TFuseTransition", {}, {0xeae1612661cdd3a7ull, 0x712b579079f84d59ull, 0xe9bf72ad96fa92e7ull}},
    {"FuseStyle2", "TFuseTransition", {{"Style", "2"}}, {0x5838b9a5e60aedccull, 0xd41e08d2c14178a0ull, 0x73190690ebb83f0bull}},
    {"FuseStyle6", "TFuseTransition", {{"Style", "6"}}, {0xc95398b9a6a886b0ull, 0xea7e015464fd6a43ull, 0x3eb12b4b4163d83dull}},
    {"FuseStyle9", "TFuseTransition", {{"Style", "9"}}, {0x727369a0b19bdf5cull, 0x341215d67a0b9aedull, 0x40c710ceba5b0e40ull}},
    {"FuseStyle12", "TFuseTransition", {{"Style", "12"}}, {0x75745b5975a843fdull, 0x8504c39f0121f28bull, 0xdf12baabddddaa97ull}},
    {"Interlaced", "TInterlacedTransition", {}, {0x0445fa03549a7db7ull, 0x478fd8b8bf8e2b64ull, 0xfe1d8e137758a9e3ull}},
    {"InterlacedStyle2Smooth",
     "TInterlacedTransition",
     {{"SmoothingLevel", "2"}, {"Style", "2"}},
     {0x952642569f8b9dafull, 0x3fb1dfa86736c45cull, 0x6af96ccc23617488ull}},
    {"InterlacedStyle2Hard", "TInterlacedTransition", {{"Style", "2"}, {"SubStyle", "2"}}, {0x2fa002c5b478067dull, 0x7222407b477965f6ull, 0xaaba7556a18fac92ull}},
    {"PageRight", "TPageTransition", {{"Direction", "tedRight"}}, {0x05cdc67e7cad982eull, 0x6fc689c86b8e03b2ull, 0xfc4b0820fd02aa9cull}},
    {"Page", "TPageTransition", {}, {0x23cd6047c154a708ull, 0x4fe20e67a451220full, 0x1dbe5ef2193cebe9ull}},
    {"PageUp", "TPageTransition", {{"Direction", "tedUp"}}, {0xc109b3886db4f303ull, 0x3c19a38c37dae557ull, 0xde10fb079df2c662ull}},
    {"PageDown", "TPageTransition", {{"Direction", "tedDown"}}, {0x0a17dbdd57f1343bull, 0xc0c9c7f9f303f55full, 0xc322d82dee75dbaeull}},
    {"PageUncoverFlat", "TPageTransition", {{"Uncover", "True"}, {"Use3D", "False"}}, {0x11478550818aca80ull, 0x9f0875563161f456ull, 0x0bc606b0c35085a2ull}},
    {"Pixelate", "TPixelateTransition", {{"BoxSize", "50"}}, {0xe7ced1b7f2bdbb79ull, 0x5f9c11c1b5d49c80ull, 0xb5701550d1d5d1efull}},
    {"PixelateBox7", "TPixelateTransition", {{"BoxSize", "7"}}, {0x15a8590023e30839ull, 0xd92ccf7c8060563aull, 0x9f0e87bab7e05821ull}},
    {"Push", "TPushTransition", {}, {0x2f9f9153f4622613ull, 0xbb37439ee3028502ull, 0x564cb0915bd9f6f8ull}},
    {"PushUp", "TPushTransition", {{"Direction", "tedUp"}}, {0xe7e960bc52310619ull, 0xc692405217e4a26dull, 0x0abec7a2607c94d2ull}},
    {"PushLeft", "TPushTransition", {{"Direction", "tedLeft"}}, {0x3bf97e13c5482ff7ull, 0x2fa1ee2ba62ee623ull, 0x2c975eff8c3d5b37ull}},
    {"PushRight", "TPushTransition", {{"Direction", "tedRight"}}, {0x15c5cabfe80cfe2full, 0x3f66fd1311013424ull, 0x84a470746fd84542ull}},
    {"Radial", "TRadialTransition", {{"SmoothingLevel", "5"}}, {0xe9983c484d7edb23ull, 0x1dbc38e0b256f303ull, 0x76210eabc7929464ull}},
    {"RadialStyle2", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "2"}}, {0x4d1c7ee87b45cee7ull, 0xf84b7e57f81fa00full, 0xe9df31e9da91508cull}},
    {"RadialStyle3", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "3"}}, {0xfb1b59c1486af3aeull, 0x04a5d5725a9c2c6cull, 0x0fd33a2ddd436b4bull}},
    {"RadialStyle4", "TRadialTransition", {{"SmoothingLevel", "5"}, {"Style", "4"}}, {0xdb7b8b3a72b9fbb1ull, 0x94dc50f6d5e08b9aull, 0x6e10b1b8cfb9303full}},
    {"RadialHard", "TRadialTransition", {}, {0x4125f57cd49962c7ull, 0x016bf2c4ef70422aull, 0xc3d8dff646cf7c5eull}},
    {"RadialStyle7Hard", "TRadialTransition", {{"Style", "7"}, {"SubStyle", "9"}}, {0x6d930bb2ea3a1539ull, 0xb0d573522af091bbull, 0x4bd619621248b3c8ull}},
    {"Roll", "TRollTransition", {}, {0x55b8195b3b740cbaull, 0x9b04a7b0d6f3d822ull, 0x65ac10c092ed694full}},
    {"RollLeft", "TRollTransition", {{"Direction", "tedLeft"}}, {0x46e54f1e5476bee6ull, 0xa1f38af9dfc17488ull, 0x19618fdaf5bfc8f7ull}},
    {"RollUp", "TRollTransition", {{"Direction", "tedUp"}}, {0xd4412502729f51f4ull, 0xbe139de884f27319ull, 0xa3228c49d37518feull}},
    {"RollRight", "TRollTransition", {{"Direction", "tedRight"}}, {0xd10ea97fff4adf7dull, 0x891a7f09ba216f61ull, 0x8629ad5cd053c8e6ull}},
    {"RollFlat", "TRollTransition", {{"Unroll", "False"}, {"Use3D", "False"}}, {0x337b5901581bd0feull, 0xf569eab891778491ull, 0x10e06169a04055d0ull}},
    {"Slide", "TSlideTransition", {{"ElasticSrc", "True"}}, {0xa0453ad7baa0f877ull, 0x4ad330512c01a42dull, 0x4f0f87ade3c51a91ull}},
    {"SlideUp", "TSlideTransition", {{"Direction", "tedUp"}, {"ElasticSrc", "True"}}, {0xb35c7f4b1e5541e4ull, 0xb77105f2eacb4f8full, 0xd59aace0c6ad6bcfull}},
    {"SlideLeft", "TSlideTransition", {{"Direction", "tedLeft"}, {"ElasticSrc", "True"}}, {0xf68b74c2133afe84ull, 0xefffd97659a318a1ull, 0x287597e59215de9bull}},
    {"SlideRight", "TSlideTransition", {{"Direction", "tedRight"}, {"ElasticSrc", "True"}}, {0x51fc2b1b72988e9aull, 0x220ce99c32150567ull, 0x0a9488c6ebe81a8eull}},
    {"SlideIn", "TSlideTransition", {{"Direction", "tedIn"}}, {0x996ce394b9c0a89bull, 0x3dbc404f723338e5ull, 0x3a3661b4faa51d60ull}},
    {"SlideOutElastic",
     "TSlideTransition",
     {{"Direction", "tedDownLeft"}, {"SlideOut", "True"}, {"ElasticDst", "True"}},
     {0xb246664ce37c326cull, 0x4c3ee9a2d986f74eull, 0xfc411c04b9261a73ull}},
    {"Waterfall", "TWaterfallTransition", {}, {0x05bc3b850bbd19c9ull, 0x547c546ecc457ff6ull, 0xcf2ad5e52842c7a8ull}},
    {"WaterfallLeft", "TWaterfallTransition", {{"Direction", "tedLeft"}}, {0xbc7564cc479ba865ull, 0xc593ef6b8e916cf0ull, 0xd39220e397446624ull}},
    {"WaterfallRight", "TWaterfallTransition", {{"Direction", "tedRight"}}, {0xfda3b5e2b7f6c5daull, 0x4fa13ea3e984faccull, 0xc90c2d2783accf58ull}},
    {"WaterfallUp", "TWaterfallTransition", {{"Direction", "tedUp"}}, {0xc1f581998a8061c8ull, 0x68732d23d93c5cc3ull, 0x17ffccc82ef0846eull}},
    {"WipeDown", "TWipeTransition", {{"Direction", "tedDown"}}, {0xc8ecb2feed85547dull, 0xaee77ca461a84deaull, 0xe8a1b80ccb346c0cull}},
    {"WipeUp", "TWipeTransition", {{"Direction", "tedUp"}}, {0xf94e04c4e39462f5ull, 0xcb8b5e411fd56b75ull, 0xc9cbeaf59139396dull}},
    {"WipeLeft", "TWipeTransition", {{"Direction", "tedLeft"}}, {0xbd19d1f7b0945427ull, 0x66f9ab55fedc900eull, 0xb9e93d73f059f249ull}},
    {"Wipe", "TWipeTransition", {}, {0xb101370a4616e079ull, 0x1b88d933767a42e8ull, 0xbff0fb4c7d053c51ull}},
    {"WipeSmoothBand", "TWipeTransition", {{"SmoothBand", "True"}}, {0x9783b370d47a0062ull, 0x125cd5ebe24bd500ull, 0xad9bfbcf85fa3a7eull}},
    {"WipeSmoothBandUp", "TWipeTransition", {{"SmoothBand", "True"}, {"Direction", "tedUp"}}, {0x2a87fbcf8f863f7bull, 0xcb8b5e411fd56b75ull, 0xabe6e99b1480eb0bull}},
    {"WipeOut", "TWipeTransition", {{"Direction", "tedOut"}}, {0x935ed691e7fb8980ull, 0x6f469d3f6ba4727bull, 0xb1363736c9ebf8aaull}},
    {"WipeIn", "TWipeTransition", {{"Direction", "tedIn"}}, {0x8e34d978b5626f7cull, 0xef39bb846532b49full, 0x64bebef60fe1ba5aull}},
    {"WipeUpLeft", "TWipeTransition", {{"Direction", "tedUpLeft"}}, {0xb5c033100737ab1dull, 0xa74ff4d8bb213aa7ull, 0xa7528ca26a00e3deull}},
    {"Cut", "TFlickerFreeTransition", {}, {0x661dcd83684d9545ull, 0xc0488f0fbe6dad26ull, 0x35521d5d5f44419cull}},
    {"BmpMaskSmooth", "TBmpMaskTransition", {{"SmoothingLevel", "5"}}, {0xc05e497f85851b08ull, 0x09a05b087ac18b2aull, 0xd3389e7c79103333ull}},
    {"BmpMaskSmooth2Tile",
     "TBmpMaskTransition",
     {{"SmoothingLevel", "2"}, {"MaskMode", "fcpmTile"}},
     {0x3a04b15eec3649fdull, 0x4644ad95ebcaa8e8ull, 0x36276124e57a22bbull}},
    {"BmpMaskHard", "TBmpMaskTransition", {}, {0xd619354f947fe88full, 0x662dccbf4a78e389ull, 0x09f99d723220ab5bull}},
    {"BmpMaskHardReversedZoom",
     "TBmpMaskTransition",
     {{"Reversed", "True"}, {"MaskMode", "fcpmZoom"}},
     {0x24db1008caf5f90cull, 0xec5a5d6b4b55c808ull, 0x3c4a95b3645deae9ull}},
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
// 997, 331, 1499, 613 in turn (a few frames of a large picture: enough to run the split
// rows several times, few enough that the masked effects' many strokes per frame stay
// cheap under the sanitizers). The last frame is always drawn.
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
    static const int kSmall[] = {3, 1, 7, 2}, kLarge[] = {997, 331, 1499, 613};
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

class FrameHashes : public ::testing::TestWithParam<std::tuple<Config, Part>> {
protected:
    void SetUp() override {
        StartUp();
        MMXAvailable = true;
        ExtMMXAvailable = true;
    }
    void TearDown() override { ShutDown(); }
};

TEST_P(FrameHashes, EveryFrameIsTheRecordedOne) {
    const Config& c = std::get<0>(GetParam());
    const Part part = std::get<1>(GetParam());
    struct Case {
        int w, h;
        uint8_t format;
        Steps steps;
        Part part;
        // clang-format off
    } cases[] = {
        {61, 37, cl::pf32bit, Steps::All, kSmall},    {61, 37, cl::pf32bit, Steps::Small, kSmall},
        {128, 72, cl::pf32bit, Steps::All, kSmall},   {203, 97, cl::pf32bit, Steps::Small, kSmall},
        {45, 50, cl::pf24bit, Steps::All, kSmall},    {45, 50, cl::pf16bit, Steps::Small, kSmall},
        {1, 9, cl::pf32bit, Steps::All, kSmall},      {9, 1, cl::pf32bit, Steps::Small, kSmall},
        // Large enough for the pixel loops to split their rows over threads.
        {1280, 720, cl::pf32bit, Steps::Large, kLarge32}, {1024, 640, cl::pf24bit, Steps::Large, kLarge24},
    };
    // clang-format on
    Hash all;
    std::string each;
    for (const Case& k : cases) {
        if (k.part != part) continue;
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
    EXPECT_EQ(all.h, c.hash[part]) << c.name << " part " << part << " hashes to " << got << "\n" << each;
}

const char* const kPartNames[kParts] = {"Small", "Large32", "Large24"};

INSTANTIATE_TEST_SUITE_P(Effects, FrameHashes,
                         ::testing::Combine(::testing::ValuesIn(kConfigs),
                                            ::testing::Values(kSmall, kLarge32, kLarge24)),
                         [](const ::testing::TestParamInfo<std::tuple<Config, Part>>& i) {
                             return std::string(std::get<0>(i.param).name) + "_" +
                                    kPartNames[std::get<1>(i.param)];
                         });

}  // namespace
