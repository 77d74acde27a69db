// The Photoshop codec: merged pictures of every mode and depth and layered documents made
// by ImageMagick read as it decodes them, our documents (with layers and masks) read back by
// ImageMagick and by us, PackBits, damaged files, and the component's layered loads and
// saves through the view's hooks.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/iepsd.h"
#include "lumetra_image.h"
#include "platform/codepage.h"

namespace ie::test {
namespace {

struct PsdRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    TIEPSDLayers Layers;
    bool Aborted = false;
};

PsdRead Read(const std::vector<uint8_t>& File, bool LoadLayers = false, bool Native = false, bool WithList = true,
             bool ParamsOnly = false) {
    PsdRead r;
    r.Params->NativePixelFormat = Native;
    auto s = MemStream(File);
    Progress p;
    IEReadPSDStream(s.get(), ParamsOnly ? nullptr : r.Bitmap.get(), *r.Params, WithList ? &r.Layers : nullptr,
                    LoadLayers, p.Rec);
    r.Aborted = p.Aborting;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap* Merged, TIOParamsVals& P, const TIEPSDLayers& Layers = {},
                           bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWritePSDStream(&s, P, p.Rec, Layers, Merged);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("psd", Name)); }

// CMYK pixels by the formulas (ImageMagick's way) while it lives, whatever an earlier
// start-up of the engine switched on.
class CMYKByFormulas {
public:
    CMYKByFormulas() : saved_(IECMYKProfileEnabled) { IECMYKProfileEnabled = false; }
    ~CMYKByFormulas() { IECMYKProfileEnabled = saved_; }

private:
    bool saved_;
};

// The alpha channel as the reference has it, and marked opaque only when every sample is 255
// (the writers leave out an alpha channel marked opaque).
void ExpectAlpha(TIEBitmap& B, const RefImage& A, int Tolerance = 0) {
    ASSERT_TRUE(B.HasAlphaChannel());
    ASSERT_EQ(B.GetWidth(), A.Width);
    bool opaque = true;
    for (int32_t y = 0; y < A.Height; ++y)
        for (int32_t x = 0; x < A.Width; ++x) {
            EXPECT_NEAR(B.GetAlpha(x, y), A.At(x, y)[0], Tolerance) << x << "," << y;
            opaque = opaque && B.GetAlpha(x, y) == 255;
        }
    EXPECT_EQ(B.GetAlphaChannel()->Full, opaque) << "the alpha channel's opaque mark";
}

TEST(PSDRead, MergedPicturesAsImageMagickDecodesThem) {
    CMYKByFormulas formulas;
    struct Case {
        const char* Name;
        TIEPixelFormat Native;
        int32_t Bits, Samples;
        int Tolerance;
        bool Alpha;
    } cases[] = {
        {"rgb8", ie24RGB, 8, 3, 0, false},   {"rgb8_raw", ie24RGB, 8, 3, 0, false}, {"rgb16", ieRGB48, 16, 3, 0, false},
        {"grey8", ie8g, 8, 1, 0, false},     {"grey16", ie16g, 16, 1, 1, false},    {"cmyk8", ieCMYK, 8, 4, 1, false},
        {"rgba8", ie24RGB, 8, 4, 0, true},   {"bitmap", ie1g, 1, 1, 0, false},      {"indexed", ie8p, 8, 1, 0, true},
        {"layers", ie24RGB, 8, 4, 0, false},
    };
    for (const Case& c : cases) {
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (native ? " native" : ""));
            const auto file = Fixture(std::string(c.Name) + ".psd");
            auto s = MemStream(file);
            EXPECT_TRUE(IEIsPSDStream(s.get()));
            EXPECT_EQ(s->GetPosition(), 0);
            const auto r = Read(file, false, native);
            ASSERT_FALSE(r.Aborted);
            EXPECT_EQ(r.Bitmap->GetPixelFormat(), native ? c.Native : c.Native == ie1g ? ie1g : ie24RGB);
            EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
            EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
            ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("psd", std::string(c.Name) + ".ref.ppm")), c.Tolerance);
            if (c.Alpha) ExpectAlpha(*r.Bitmap, LoadRef(FixturePath("psd", std::string(c.Name) + ".alpha.pgm")));
            // A document of several layers read without them: no layer in the list.
            if (std::string(c.Name) == "layers") {
                EXPECT_TRUE(r.Layers.empty());
            }
        }
    }
}

TEST(PSDRead, ResourcesAndParameters) {
    auto r = Read(Fixture("indexed.psd"));
    EXPECT_EQ(r.Params->DpiX, 72);
    EXPECT_EQ(r.Params->DpiY, 72);
    // The alpha channel is 0 exactly where the index is 3 (resource 1047).
    r = Read(Fixture("indexed.psd"), false, true);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(r.Bitmap->GetAlpha(x, y) == 0, r.Bitmap->GetPixel8(x, y) == 3);
    // No resolution resource: 96.
    r = Read(Fixture("bitmap.psd"));
    EXPECT_EQ(r.Params->DpiX, 96);
    // Parameters only.
    r = Read(Fixture("rgb16.psd"), false, false, true, true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->Width, 13);
    EXPECT_EQ(r.Params->Height, 7);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
}

TEST(PSDRead, LayersAsImageMagickDecodesThem) {
    // 8 bits a sample (raw, run-length and zip planes) and 16 bits, and zip planes with
    // prediction (hand-made); 16-bit samples come to 8 bits by ImageMagick's rounding and by
    // our high bytes.
    for (const auto& [name, count, tolerance] : {std::tuple{"layers", 3, 0}, std::tuple{"layers16", 2, 1},
                                                 std::tuple{"zip8", 1, 0}, std::tuple{"zip16", 1, 1}}) {
        SCOPED_TRACE(name);
        const std::string base = name;
        const auto file = Fixture(base + ".psd");
        // identify's "X Y W H label" lines: the merged picture first.
        std::ifstream txt(FixturePath("psd", base + ".txt"));
        std::vector<std::array<std::string, 5>> lines;
        for (std::string line; std::getline(txt, line);) {
            std::istringstream in(line);
            std::array<std::string, 5> f;
            in >> f[0] >> f[1] >> f[2] >> f[3];
            std::getline(in >> std::ws, f[4]);
            lines.push_back(f);
        }
        ASSERT_EQ(lines.size(), static_cast<size_t>(count) + 1);
        auto r = Read(file, true);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetWidth(), 0);  // the layers went into the list: no merged picture
        ASSERT_EQ(r.Layers.size(), static_cast<size_t>(count));
        for (size_t i = 0; i < r.Layers.size(); ++i) {
            SCOPED_TRACE(i);
            const TIEPSDLayer& l = *r.Layers[i];
            const auto& f = lines[i + 1];
            EXPECT_EQ(l.PositionX, std::stoi(f[0]));
            EXPECT_EQ(l.PositionY, std::stoi(f[1]));
            EXPECT_EQ(l.Name, f[4]);
            EXPECT_TRUE(l.Visible);
            EXPECT_FALSE(l.MaskForBelow);
            // The key as stored (ImageMagick writes its 16-bit documents' keys byte-reversed).
            EXPECT_EQ(std::string(l.BlendMode, 4), base == "layers" || i == 0 ? "norm" : "mron");
            ASSERT_TRUE(l.Bitmap);
            EXPECT_EQ(l.Bitmap->GetPixelFormat(), ie24RGB);
            const std::string n = base + ".layer" + std::to_string(i + 1);
            ExpectSameRGB(*l.Bitmap, LoadRef(FixturePath("psd", n + ".ref.ppm")), tolerance);
            const RefImage a = LoadRef(FixturePath("psd", n + ".alpha.pgm"));
            if (l.Bitmap->HasAlphaChannel() || a.Pixels != std::vector<uint8_t>(a.Pixels.size(), 255))
                ExpectAlpha(*l.Bitmap, a, tolerance);
        }
    }
    const auto file = Fixture("layers.psd");
    auto r = Read(file, true);
    // Without LoadLayers the merged picture, and no layers; without a list likewise.
    r = Read(file, false);
    EXPECT_TRUE(r.Layers.empty());
    ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("psd", "layers.ref.ppm")));
    r = Read(file, true, false, false);
    EXPECT_FALSE(r.Aborted);
    ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("psd", "layers.ref.ppm")));
    // A single-layer document read with a list but without LoadLayers: the layer and the
    // merged picture.
    r = Read(Fixture("rgba8.psd"), false);
    ASSERT_EQ(r.Layers.size(), 1u);
    EXPECT_GT(r.Bitmap->GetWidth(), 0);
}

TEST(PSDPackBits, DecodesAndEncodes) {
    uint8_t row[8];
    // -128 is no operation; a run; literals; data past the row is dropped.
    const uint8_t data[] = {0x80, 0xFE, 7, 0x01, 1, 2, 0xFD, 9};
    IEPSDUnpackBits(data, sizeof data, row, 8);
    const uint8_t want[8] = {7, 7, 7, 1, 2, 9, 9, 9};
    EXPECT_EQ(std::vector<uint8_t>(row, row + 8), std::vector<uint8_t>(want, want + 8));
    // Short data: the rest of the row is zero.
    IEPSDUnpackBits(data, 3, row, 8);
    EXPECT_EQ(row[3], 0);
    EXPECT_EQ(row[7], 0);
    // Encoding: runs of four and more, literals of at most 128 bytes; decoding gives the row.
    std::vector<uint8_t> src;
    for (int i = 0; i < 300; ++i) src.push_back(static_cast<uint8_t>(i < 140 ? i * 7 : i < 200 ? 5 : i % 3 ? 1 : 2));
    std::vector<uint8_t> packed;
    IEPSDPackBits(src.data(), static_cast<int64_t>(src.size()), packed);
    EXPECT_EQ(packed[0], 127);  // a full literal first
    std::vector<uint8_t> back(src.size());
    IEPSDUnpackBits(packed.data(), static_cast<int64_t>(packed.size()), back.data(), static_cast<int64_t>(back.size()));
    EXPECT_EQ(back, src);
    packed.clear();
    const uint8_t three[3] = {4, 4, 4};
    IEPSDPackBits(three, 3, packed);
    EXPECT_EQ(packed, (std::vector<uint8_t>{2, 4, 4, 4}));
}

// ImageMagick's decoding of image Index of a document.
RefImage DecodeImage(const std::string& Path, int Index, bool Alpha = false) {
    const std::string out = RunCommand("/usr/bin/convert '" + Path + "[" + std::to_string(Index) + "]' " +
                                       (Alpha ? "-alpha extract" : "-alpha off -colorspace sRGB") + " -depth 8 " +
                                       (Alpha ? "pgm" : "ppm") + ":- 2>/dev/null");
    if (out.empty()) return {};
    return ParseRef(std::vector<uint8_t>(out.begin(), out.end()));
}

TEST(PSDWrite, MergedPicturesReadByImageMagickAndUs) {
    CMYKByFormulas formulas;
    auto colour = Make24(23, 9, [](int x, int y) {
        return y == 4 ? TRGB{1, 2, 3}
                      : TRGB{static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 28),
                             static_cast<uint8_t>((x ^ y) * 9)};
    });
    const std::string path = ::testing::TempDir() + "/lumetra_psd_" + std::to_string(::getpid()) + ".psd";
    for (TIEPixelFormat f : {ie24RGB, ie8g, ie16g, ieRGB48, ieCMYK, ie1g, ie32RGB}) {
        SCOPED_TRACE(int(f));
        TIEBitmap b;
        b.Assign(colour.get());
        ASSERT_TRUE(b.SetPixelFormat(f));
        TIOParamsVals p(nullptr);
        p.DpiX = 150;
        p.DpiY = 75;
        p.XMPInfo = "<x:xmpmeta/>";
        p.IPTC()->AddBufferItem(2, 120, 5, "hello");
        bool aborted = true;
        const auto file = Write(&b, p, {}, &aborted);
        ASSERT_FALSE(aborted);
        WriteBytes(path, file);
        const RefImage im = DecodeImage(path, 0);
        ExpectSameRGB(b, im, f == ieCMYK || f == ie16g ? 1 : 0);  // their own 16-to-8 and CMYK roundings
        const auto r = Read(file, false, true);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), f == ie32RGB ? ie24RGB : f);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 23; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y), b.GetPixelRGB(x, y));
        EXPECT_EQ(r.Params->DpiX, 150);
        EXPECT_EQ(r.Params->DpiY, 75);
        EXPECT_EQ(r.Params->XMPInfo, "<x:xmpmeta/>");
        const TIEIPTCInfoList& iptc = *r.Params->IPTC();
        bool found = false;
        for (int32_t i = 0; i < iptc.GetCount(); ++i)
            found |= iptc.GetRecordNumber(i) == 2 && iptc.GetDataSet(i) == 120 && iptc.GetItemLength(i) == 5;
        EXPECT_TRUE(found);
    }
    // Lab is read back by us (ImageMagick's Lab documents differ in their a and b offsets).
    TIEBitmap lab;
    lab.Assign(colour.get());
    ASSERT_TRUE(lab.SetPixelFormat(ieCIELab));
    TIOParamsVals p(nullptr);
    const auto r = Read(Write(&lab, p), false, true);
    ASSERT_EQ(r.Bitmap->GetPixelFormat(), ieCIELab);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 23; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y), lab.GetPixelRGB(x, y));
    // Nothing for pictures of no colour mode.
    TIEBitmap fl(3, 3, ie32f);
    bool aborted = false;
    EXPECT_TRUE(Write(&fl, p, {}, &aborted).empty());
    EXPECT_TRUE(aborted);
    std::remove(path.c_str());
}

TEST(PSDWrite, TransparentIndexOnlyWhenThereIsTransparencyAndAFreeEntry) {
    auto make = [](bool Transparent, bool Use255) {
        auto b = std::make_unique<TIEBitmap>(4, 2, ie8p);
        for (int i = 0; i < 256; ++i) b->SetPaletteEntry(i, TRGB{static_cast<uint8_t>(i), 0, 0});
        for (int32_t x = 0; x < 4; ++x) {
            b->SetPixel8(x, 0, static_cast<uint8_t>(x));
            b->SetPixel8(x, 1, Use255 && x == 3 ? 255 : 7);
        }
        TIEBitmap* a = b->GetAlphaChannel();
        a->Fill(255);
        if (Transparent) a->SetPixel8(1, 0, 0);
        return b;
    };
    struct Case {
        bool Transparent, Use255, Expect;
    } cases[] = {{true, false, true}, {false, false, false}, {true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Transparent) + std::to_string(c.Use255));
        auto b = make(c.Transparent, c.Use255);
        TIOParamsVals p(nullptr);
        const auto r = Read(Write(b.get(), p), false, true);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->HasAlphaChannel(), c.Expect);
        if (c.Expect) {
            EXPECT_EQ(r.Bitmap->GetAlpha(1, 0), 0);
            EXPECT_EQ(r.Bitmap->GetPixel8(1, 0), 255);
            EXPECT_EQ(r.Bitmap->GetAlpha(2, 0), 255);
        }
        EXPECT_EQ(r.Bitmap->GetPixel8(2, 0), 2);
    }
}

TEST(PSDRead, ThumbnailResourceGoesThroughTheJPEGCoder) {
    // A stand-in coder: width, height, then the pixels.
    IEPSDWriteThumbnailJPEG = [](cl::TStream* S, TIEBitmap* B) {
        const uint8_t size[2] = {static_cast<uint8_t>(B->GetWidth()), static_cast<uint8_t>(B->GetHeight())};
        S->Write(size, 2);
        for (int32_t y = 0; y < B->GetHeight(); ++y) S->Write(B->GetScanline(y), int64_t{B->GetWidth()} * 3);
        return true;
    };
    IEPSDReadThumbnailJPEG = [](cl::TStream* S, TIEBitmap* B) {
        uint8_t size[2];
        if (S->Read(size, 2) != 2 || !B->Allocate(size[0], size[1], ie24RGB)) return false;
        for (int32_t y = 0; y < size[1]; ++y) S->Read(B->GetScanline(y), int64_t{size[0]} * 3);
        return true;
    };
    auto merged = Make24(6, 5, [](int, int) { return TRGB{1, 1, 1}; });
    TIOParamsVals p(nullptr);
    p.GetOrCreateEXIFThumbnail()->Assign(Make24(3, 2, [](int x, int) {
                                             return TRGB{static_cast<uint8_t>(x), 9, 9};
                                         }).get());
    const auto file = Write(merged.get(), p);
    auto r = Read(file);
    ASSERT_FALSE(r.Aborted);
    ASSERT_NE(r.Params->GetEXIFThumbnail(), nullptr);
    EXPECT_EQ(r.Params->GetEXIFThumbnail()->GetWidth(), 3);
    EXPECT_EQ(r.Params->GetEXIFThumbnail()->GetPixelRGB(2, 1), (TRGB{2, 9, 9}));
    EXPECT_EQ(r.Bitmap->GetWidth(), 6);
    // Asked for the thumbnail: it is the picture, and the merged picture is not read.
    PsdRead t;
    t.Params->GetThumbnail = true;
    auto st = MemStream(file);
    Progress pr;
    IEReadPSDStream(st.get(), t.Bitmap.get(), *t.Params, &t.Layers, true, pr.Rec);
    EXPECT_FALSE(pr.Aborting);
    EXPECT_EQ(t.Bitmap->GetWidth(), 3);
    IEPSDReadThumbnailJPEG = nullptr;
    IEPSDWriteThumbnailJPEG = nullptr;
    // Without a coder the resource is passed over.
    r = Read(file);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->GetEXIFThumbnail(), nullptr);
}

// Three layers as a view would hand them: a background, a named translucent layer with a
// user mask, a hidden one resized on saving.
TIEPSDLayers SampleLayers() {
    TIEPSDLayers layers;
    auto add = [&](std::unique_ptr<TIEBitmap> B, int X, int Y) {
        auto l = std::make_unique<TIEPSDLayer>();
        l->Bitmap = std::move(B);
        l->PositionX = X;
        l->PositionY = Y;
        layers.push_back(std::move(l));
        return layers.back().get();
    };
    add(Make24(16, 10,
               [](int x, int y) {
                   return TRGB{static_cast<uint8_t>(x * 15), static_cast<uint8_t>(y * 25), 90};
               }),
        0, 0)
        ->Name = "ground";
    TIEPSDLayer* sq = add(Make24(5, 4, [](int x, int) { return TRGB{200, static_cast<uint8_t>(x * 40), 10}; }), 2, 3);
    sq->Name = std::string(300, 'n');
    sq->Opacity = 128;
    TIEBitmap* a = sq->Bitmap->GetAlphaChannel();
    a->Fill(255);
    a->SetPixel8(0, 0, 0);
    a->SetPixel8(4, 3, 100);
    TIEPSDLayer* mask = add(std::make_unique<TIEBitmap>(3, 2, ie8g), 3, 4);
    mask->MaskForBelow = true;
    mask->Visible = false;
    mask->Bitmap->Fill(77);
    TIEPSDLayer* hidden = add(Make24(2, 2, [](int, int) { return TRGB{0, 0, 255}; }), 9, 1);
    hidden->Visible = false;
    hidden->ShownWidth = 4;
    hidden->ShownHeight = 6;
    return layers;
}

TEST(PSDWrite, LayersAndMasksReadByImageMagickAndUs) {
    TIEPSDLayers layers = SampleLayers();
    auto merged = Make24(16, 10, [](int, int) { return TRGB{50, 60, 70}; });
    TIOParamsVals p(nullptr);
    bool aborted = true;
    const auto file = Write(merged.get(), p, layers, &aborted);
    ASSERT_FALSE(aborted);
    // The writer worked on copies.
    EXPECT_EQ(layers[3]->Bitmap->GetWidth(), 2);
    const std::string path = ::testing::TempDir() + "/lumetra_psdl_" + std::to_string(::getpid()) + ".psd";
    WriteBytes(path, file);
    int st = -1;
    const std::string info = RunCommand("/usr/bin/identify -format '%X %Y %w %h|' '" + path + "' 2>&1", &st);
    EXPECT_EQ(st, 0) << info;
    EXPECT_EQ(info, "+0 +0 16 10|+0 +0 16 10|+2 +3 5 4|+9 +1 4 6|");
    ExpectSameRGB(*merged, DecodeImage(path, 0));
    ExpectSameRGB(*layers[0]->Bitmap, DecodeImage(path, 1));
    ExpectSameRGB(*layers[1]->Bitmap, DecodeImage(path, 2));
    // ImageMagick applies the opacity (128) and the user mask (77 over 3 x 2 at +3+4, 0
    // outside) to the layer's alpha.
    const RefImage a = DecodeImage(path, 2, true);
    ASSERT_EQ(a.Width, 5);
    EXPECT_EQ(a.At(0, 0)[0], 0);
    EXPECT_NEAR(a.At(1, 1)[0], 255 * 77 / 255 * 128 / 255, 1);
    EXPECT_NEAR(a.At(3, 2)[0], 255 * 77 / 255 * 128 / 255, 1);
    EXPECT_EQ(a.At(4, 3)[0], 0);
    EXPECT_EQ(a.At(1, 0)[0], 0);

    // Our reader: the mask comes back as its own entry after its layer, the name cut to 255
    // bytes, the hidden layer at its displayed size.
    auto r = Read(file, true);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Layers.size(), 4u);
    EXPECT_EQ(r.Layers[0]->Name, "ground");
    EXPECT_EQ(r.Layers[1]->Name, std::string(255, 'n'));
    EXPECT_EQ(r.Layers[1]->Opacity, 128);
    EXPECT_EQ(r.Layers[1]->PositionX, 2);
    EXPECT_EQ(r.Layers[1]->Bitmap->GetAlpha(4, 3), 100);
    const TIEPSDLayer& m = *r.Layers[2];
    EXPECT_TRUE(m.MaskForBelow);
    EXPECT_FALSE(m.Visible);
    EXPECT_EQ(m.PositionX, 3);
    EXPECT_EQ(m.PositionY, 4);
    ASSERT_EQ(m.Bitmap->GetPixelFormat(), ie8g);
    EXPECT_EQ(m.Bitmap->GetWidth(), 3);
    EXPECT_EQ(m.Bitmap->GetPixel8(2, 1), 77);
    EXPECT_FALSE(r.Layers[3]->Visible);
    EXPECT_EQ(r.Layers[3]->Bitmap->GetWidth(), 4);
    EXPECT_EQ(r.Layers[3]->Bitmap->GetHeight(), 6);
    EXPECT_EQ(r.Layers[3]->Bitmap->GetPixelRGB(3, 5), (TRGB{0, 0, 255}));
    // Written back, the mask is again one record with a user-mask channel.
    const auto again = Write(merged.get(), p, r.Layers);
    const auto r2 = Read(again, true);
    ASSERT_EQ(r2.Layers.size(), 4u);
    EXPECT_TRUE(r2.Layers[2]->MaskForBelow);
    std::remove(path.c_str());
}

TEST(PSDRead, DamagedFilesAbortWithoutReadingOrAllocatingBeyondTheData) {
    const auto good = Fixture("rgb8.psd");
    const auto layered = Fixture("layers.psd");
    auto patched = [](std::vector<uint8_t> f, size_t At, std::initializer_list<uint8_t> Bytes) {
        std::copy(Bytes.begin(), Bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(At));
        return f;
    };
    auto cut = [](const std::vector<uint8_t>& f, size_t n) {
        return std::vector<uint8_t>(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(std::min(n, f.size())));
    };
    // Where the sections start: after the header, the colour-mode data, the resources and
    // the layers.
    auto be32 = [](const std::vector<uint8_t>& f, size_t At) {
        return static_cast<size_t>(f[At]) << 24 | static_cast<size_t>(f[At + 1]) << 16 |
               static_cast<size_t>(f[At + 2]) << 8 | f[At + 3];
    };
    auto sections = [&](const std::vector<uint8_t>& f, size_t& Layers, size_t& Merged) {
        const size_t resources = 26 + 4 + be32(f, 26);
        Layers = resources + 4 + be32(f, resources);
        Merged = Layers + 4 + be32(f, Layers);
    };
    size_t layerSection, merged, goodLayers, goodMerged;
    sections(layered, layerSection, merged);
    sections(good, goodLayers, goodMerged);
    const struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        bool LoadLayers;
    } cases[] = {
        {"empty", {}, false},
        {"cut in the header", cut(good, 20), false},
        {"bad signature", patched(good, 0, {'8', 'B', 'P', 'B'}), false},
        {"version 2", patched(good, 5, {2}), false},
        {"no channels", patched(good, 12, {0, 0}), false},
        {"depth 4", patched(good, 23, {4}), false},
        {"mode 5", patched(good, 25, {5}), false},
        {"zero height", patched(good, 14, {0, 0, 0, 0}), false},
        {"huge size", patched(good, 14, {0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}), false},
        {"cut in the merged picture", cut(good, good.size() - 10), false},
        {"merged picture of compression 2", patched(good, goodMerged, {0, 2}), false},
        {"merged row counts longer than the data", patched(good, goodMerged, {0, 1, 0x7F, 0xFF}), false},
        {"colour-mode data longer than the file", patched(good, 26, {0x7F, 0, 0, 0}), false},
        {"resources longer than the file", patched(good, 30, {0x7F, 0, 0, 0}), false},
        {"layer section longer than the file", patched(layered, layerSection, {0x7F, 0, 0, 0}), true},
        {"layer records cut", cut(layered, layerSection + 40), true},
        {"layer channels cut", cut(layered, layered.size() / 2 + 200), true},
        {"layer larger than its data", patched(layered, layerSection + 10 + 8, {0x00, 0xFF, 0xFF, 0xFF}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File, c.LoadLayers);
        EXPECT_TRUE(r.Aborted);
        EXPECT_LE(r.Bitmap->GetWidth(), 13);
        for (auto& l : r.Layers)
            if (l->Bitmap) {
                EXPECT_LE(l->Bitmap->GetWidth(), 13);
            }
    }
    auto s = MemStream({'8', 'B', 'P', 'S'});
    EXPECT_FALSE(IEIsPSDStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
}

// A view that holds layers, standing in through the hooks.
class PSDEngine : public CodecIOTest {
protected:
    void TearDown() override {
        IEPSDViewHooks() = TIEPSDViewHooks();
        CodecIOTest::TearDown();
    }
    TIEPSDLayers Taken;
};

TEST_F(PSDEngine, LayeredLoadsGoToTheViewElseTheMergedPicture) {
    const cl::String file = FixturePath("psd", "layers.psd");
    {
        // No view: the merged picture, whatever PSDLoadLayers says.
        TVovozIdIO io(nullptr);
        io.Params().PSDLoadLayers = true;
        io.LoadFromFile(file);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioPSD);
        ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("psd", "layers.ref.ppm")));
    }
    IEPSDViewHooks().HoldsLayers = [](TVovozIdIO*) { return true; };
    IEPSDViewHooks().TakeLayers = [this](TVovozIdIO*, TIEPSDLayers& L) { Taken = std::move(L); };
    {
        TVovozIdIO io(nullptr);
        io.Params().PSDLoadLayers = true;
        io.LoadFromFile(file);
        ASSERT_FALSE(io.Aborting);
        ASSERT_EQ(Taken.size(), 3u);
        EXPECT_EQ(Taken[1]->Name, "square");
        ExpectSameRGB(*Taken[1]->Bitmap, LoadRef(FixturePath("psd", "layers.layer2.ref.ppm")));
        Taken.clear();
        io.Params().PSDLoadLayers = false;
        io.LoadFromFile(file);
        EXPECT_TRUE(Taken.empty());
        ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("psd", "layers.ref.ppm")));
    }
}

TEST_F(PSDEngine, ASingleLayerGivesTheMergedPictureItsTransparency) {
    // One layer of 4 x 3 at +2+1 in a 7 x 5 document.
    TIEPSDLayers one;
    one.push_back(std::make_unique<TIEPSDLayer>());
    one[0]->Bitmap = Make24(4, 3, [](int, int) { return TRGB{1, 2, 3}; });
    one[0]->Bitmap->GetAlphaChannel()->Fill(200);
    one[0]->PositionX = 2;
    one[0]->PositionY = 1;
    auto merged = Make24(7, 5, [](int, int) { return TRGB{9, 9, 9}; });
    TIOParamsVals p(nullptr);
    const auto bytes = Write(merged.get(), p, one);
    TVovozIdIO io(nullptr);
    auto s = MemStream(bytes);
    io.LoadFromStreamPSD(s.get());
    ASSERT_FALSE(io.Aborting);
    TIEBitmap* b = io.GetIEBitmap();
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_EQ(b->GetAlpha(0, 0), 0);
    EXPECT_EQ(b->GetAlpha(2, 1), 200);
    EXPECT_EQ(b->GetAlpha(5, 3), 200);
    EXPECT_EQ(b->GetAlpha(6, 4), 0);
    EXPECT_EQ(b->GetPixelRGB(0, 0), (TRGB{9, 9, 9}));
    // A damaged document leaves the picture as it was.
    auto cutBytes = std::vector<uint8_t>(bytes.begin(), bytes.end() - 20);
    auto s2 = MemStream(cutBytes);
    io.LoadFromStreamPSD(s2.get());
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 7);
}

TEST_F(PSDEngine, SavesTheViewsLayersOrThePicture) {
    TVovozIdIO io(nullptr);
    io.LoadFromFile(cl::String(FixturePath("psd", "rgb8.psd")));
    ASSERT_FALSE(io.Aborting);
    io.SaveToFile(cl::String(Temp("plain.psd")));
    ASSERT_FALSE(io.Aborting);
    ExpectSameRGB(*io.GetIEBitmap(), DecodeImage(Temp("plain.psd"), 0));
    // With a view: its layers and merged picture.
    IEPSDViewHooks().HoldsLayers = [](TVovozIdIO*) { return true; };
    IEPSDViewHooks().GiveLayers = [](TVovozIdIO*, TIEPSDLayers& L, TIEBitmap& Merged) {
        L = SampleLayers();
        Merged.Assign(L[0]->Bitmap.get());
    };
    io.SaveToFile(cl::String(Temp("layered.psd")));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%X %Y|' '" + Temp("layered.psd") + "'"),
              "+0 +0|+0 +0|+2 +3|+9 +1|");
}

TEST_F(PSDEngine, ReadsTheParametersOnly) {
    TVovozIdIO io(nullptr);
    io.ReadParamsFromFile(win::Utf8ToUtf16(FixturePath("psd", "indexed.psd")));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioPSD);
    EXPECT_EQ(io.Params().Width, 6);
    EXPECT_EQ(io.Params().Height, 4);
    EXPECT_EQ(io.Params().DpiX, 72);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 0);
}

TEST_F(PSDEngine, TheToolConvertsBothWays) {
    std::ostringstream out, err;
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("psd", "rgb8.psd"), Temp("a.ppm")}, out, err), 0) << err.str();
    const RefImage ref = LoadRef(FixturePath("psd", "rgb8.ref.ppm"));
    EXPECT_EQ(LoadRef(Temp("a.ppm")).Pixels, ref.Pixels);
    ASSERT_EQ(lumetra_image::Run({"convert", Temp("a.ppm"), Temp("b.psd")}, out, err), 0) << err.str();
    EXPECT_EQ(DecodeImage(Temp("b.psd"), 0).Pixels, ref.Pixels);
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("psd", "layers.psd"), Temp("c.png")}, out, err), 0)
        << err.str();
    EXPECT_EQ(DecodeWithImageMagick(Temp("c.png")).Pixels, LoadRef(FixturePath("psd", "layers.ref.ppm")).Pixels);
}

}  // namespace
}  // namespace ie::test
