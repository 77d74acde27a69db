// The JPEG 2000 glue: files OpenJPEG's opj_compress made (lossless, lossy, tiles, grey of 1,
// 8 and 12 bits, 4:2:0 YCbCr) read as opj_decompress decodes them; our files decoded by
// opj_decompress; the options text; the signatures; damaged files; the engine and the tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats_testutil.h"
#include "imaging/formats/iej2000.h"
#include "lumetra_image.h"
#include "platform/codepage.h"
#include "samples_testutil.h"

namespace ie::test {
namespace {

struct J2KRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

J2KRead Read(const std::vector<uint8_t>& File, bool Preview = false) {
    J2KRead r;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadJ2000Stream(s.get(), r.Bitmap.get(), *r.Params, Preview, p.Rec);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, int32_t Format, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWriteJ2000Stream(&s, &B, P, Format, p.Rec);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("j2k", Name)); }

// Every pixel of the bitmap against the top 8 bits of the reference samples (1-bit samples:
// 1 white, 0 black).
void ExpectPixels(TIEBitmap& B, const Samples& Ref, int Tolerance) {
    ASSERT_EQ(B.GetWidth(), Ref.Width);
    ASSERT_EQ(B.GetHeight(), Ref.Height);
    int reported = 0;
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x) {
            const TRGB p = B.GetPixelRGB(x, y);
            int want[3];
            for (int c = 0; c < 3; ++c) {
                const int32_t ch = Ref.Channels == 3 ? c : 0;
                want[c] =
                    Ref.MaxVal == 1 ? static_cast<int>(Ref.At(x, y, ch)) * 255 : static_cast<int>(Ref.Top8(x, y, ch));
            }
            if ((std::abs(p.r - want[0]) > Tolerance || std::abs(p.g - want[1]) > Tolerance ||
                 std::abs(p.b - want[2]) > Tolerance) &&
                reported++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << int(p.r) << " " << int(p.g) << " " << int(p.b)
                              << " want " << want[0] << " " << want[1] << " " << want[2];
        }
}

TEST(J2000Read, FilesOfOpenJPEGAsItDecodesThem) {
    struct Case {
        const char* File;
        const char* Ref;
        TIEPixelFormat Format;
        int32_t Bits, Samples, Tolerance;
    } cases[] = {
        {"rgb_lossless.j2k", "rgb_lossless.ref.ppm", ie24RGB, 8, 3, 0},
        {"rgb_lossless.jp2", "rgb_lossless.ref.ppm", ie24RGB, 8, 3, 0},
        {"rgb_lossy.jp2", "rgb_lossy.ref.ppm", ie24RGB, 8, 3, 0},
        {"rgb_tiles.j2k", "rgb_tiles.ref.ppm", ie24RGB, 8, 3, 0},
        {"rgb_rlcp.jp2", "rgb_rlcp.ref.ppm", ie24RGB, 8, 3, 0},
        {"grey.j2k", "grey.ref.pgm", ie24RGB, 8, 1, 0},
        {"grey12.j2k", "grey12.ref.pgm", ie24RGB, 12, 1, 0},
        {"bilevel.j2k", "bilevel.ref.pgm", ie1g, 1, 1, 0},
        // opj_decompress turns YCbCr into RGB with truncated products; ours are rounded.
        {"ycc420.jp2", "ycc420.ref.ppm", ie24RGB, 8, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        const J2KRead r = Read(Fixture(c.File));
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), c.Format);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->Width, 23);
        EXPECT_EQ(r.Params->OriginalHeight, 17);
        ExpectPixels(*r.Bitmap, LoadSamples(FixturePath("j2k", c.Ref)), c.Tolerance);
        ASSERT_FALSE(r.Reports.empty());
        EXPECT_EQ(r.Reports.back(), 100);
    }
}

TEST(J2000Read, PreviewFillsTheParametersOnly) {
    const J2KRead r = Read(Fixture("grey12.j2k"), true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->Width, 23);
    EXPECT_EQ(r.Params->Height, 17);
    EXPECT_EQ(r.Params->BitsPerSample, 12);
    EXPECT_EQ(r.Params->SamplesPerPixel, 1);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
}

TEST(J2000Read, SignaturesAndDamagedFiles) {
    struct Sig {
        std::vector<uint8_t> Bytes;
        bool JP2, J2K;
    } sigs[] = {
        {Fixture("rgb_lossless.jp2"), true, false},
        {Fixture("rgb_lossless.j2k"), false, true},
        {{0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87}, false, false},  // one byte short
        {{0xFF, 0x4F, 0xFF, 0x52}, false, false},
        {{0xFF, 0x4F, 0xFF}, false, false},
        {{}, false, false},
    };
    for (const Sig& s : sigs) {
        auto m = MemStream(s.Bytes);
        EXPECT_EQ(IEIsJP2Stream(m.get()), s.JP2);
        EXPECT_EQ(m->GetPosition(), 0);
        EXPECT_EQ(IEIsJ2KStream(m.get()), s.J2K);
        EXPECT_EQ(m->GetPosition(), 0);
    }
    // A header that claims far more samples than its few bytes could code.
    std::vector<uint8_t> huge = Fixture("grey.j2k");
    for (size_t at : {8, 12, 24, 28}) {
        huge[at] = 0;
        huge[at + 1] = 0;
        huge[at + 2] = 0x9C;  // 40000
        huge[at + 3] = 0x40;
    }
    const J2KRead h = Read(huge);
    EXPECT_TRUE(h.Aborted);
    EXPECT_EQ(h.Bitmap->GetWidth(), 0);
    // A grid of 8 x 8 tiles over 23 x 131072 pixels: far more tiles than the data hold.
    std::vector<uint8_t> tiles = Fixture("rgb_tiles.j2k");
    tiles[12] = 0;
    tiles[13] = 2;  // the height, 131072
    tiles[14] = 0;
    tiles[15] = 0;
    EXPECT_TRUE(Read(tiles).Aborted);
    // No signature, or a stream cut short: the abort flag and no exception.
    EXPECT_TRUE(Read({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}).Aborted);
    for (const char* name : {"rgb_lossless.jp2", "rgb_tiles.j2k", "ycc420.jp2"}) {
        const std::vector<uint8_t> f = Fixture(name);
        for (size_t cut : {size_t{12}, size_t{60}, f.size() / 2})
            EXPECT_TRUE(Read(std::vector<uint8_t>(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(cut))).Aborted)
                << name << " cut at " << cut;
        // Flipped bytes: decoded or refused, never a crash.
        for (size_t at = 0; at < f.size(); at += 11) {
            std::vector<uint8_t> bad = f;
            bad[at] ^= 0xA5;
            (void)Read(bad);
        }
    }
}

TEST(J2000Write, OptionsText) {
    struct Case {
        double Rate;
        uint8_t By;
        const char* Text;
    } cases[] = {{1.0, 0, "rate=1 prg=lrcp"}, {0.5, 1, "rate=0.5 prg=rlcp"}, {0.25, 2, "rate=0.25"}};
    for (const Case& c : cases) {
        TIOParamsVals p(nullptr);
        p.J2000Rate = c.Rate;
        p.J2000ScalableBy = c.By;
        EXPECT_EQ(std::string(IEJ2000Options(p).c_str()), c.Text);
    }
}

TEST(J2000Write, ScratchFileLivesAsLongAsItsStream) {
    std::string name;
    {
        TIETmpStream tmp;
        name = tmp.FileName().c_str();
        EXPECT_NE(name.find("/vovozid"), std::string::npos);
        EXPECT_EQ(tmp.Write("abc", 3), 3);
        EXPECT_TRUE(std::ifstream(name).good());
    }
    EXPECT_FALSE(std::ifstream(name).good());
}

class J2000Files : public CodecIOTest {
protected:
    // What opj_decompress makes of our file, as PNM samples.
    Samples Decode(const std::vector<uint8_t>& File, const std::string& Ext, bool Grey) {
        WriteBytes(Temp("ours." + Ext), File);
        const std::string out = Temp(Grey ? "ours.pgm" : "ours.ppm");
        int st = -1;
        RunCommand("opj_decompress -i '" + Temp("ours." + Ext) + "' -o '" + out + "' >/dev/null 2>&1", &st);
        EXPECT_EQ(st, 0);
        return LoadSamples(out);
    }
    std::string Dump(const std::vector<uint8_t>& File, const std::string& Ext) {
        WriteBytes(Temp("dump." + Ext), File);
        return RunCommand("opj_dump -i '" + Temp("dump." + Ext) + "' 2>/dev/null");
    }
};

std::unique_ptr<TIEBitmap> Picture() {
    return Make24(29, 19, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 13), static_cast<uint8_t>(x * y % 256)};
    });
}

TEST_F(J2000Files, OursDecodeWithOpenJPEG) {
    struct Case {
        int32_t Format;
        uint8_t Space;
        int32_t Bits;
    } cases[] = {{ioJP2, 1, 8}, {ioJ2K, 1, 8}, {ioJP2, 2, 8}, {ioJ2K, 0, 8}, {ioJP2, 0, 12}, {ioJ2K, 1, 5}};
    const auto src = Picture();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << (c.Format == ioJP2 ? "JP2" : "J2K") << " space " << int(c.Space) << " bits " << c.Bits);
        TIOParamsVals p(nullptr);
        p.J2000ColorSpace = c.Space;
        p.BitsPerSample = c.Bits;
        bool aborted = true;
        const std::vector<uint8_t> file = Write(*src, p, c.Format, &aborted);
        ASSERT_FALSE(aborted);
        auto m = MemStream(file);
        EXPECT_EQ(c.Format == ioJP2 ? IEIsJP2Stream(m.get()) : IEIsJ2KStream(m.get()), true);
        const bool grey = c.Space == 0;
        const Samples d = Decode(file, c.Format == ioJP2 ? "jp2" : "j2k", grey);
        ASSERT_EQ(d.Width, 29);
        ASSERT_EQ(d.Height, 19);
        ASSERT_EQ(d.Channels, grey ? 1 : 3);
        ASSERT_EQ(d.MaxVal, (1 << c.Bits) - 1);
        const double mx = (1 << c.Bits) - 1;
        for (int32_t y = 0; y < 19; ++y)
            for (int32_t x = 0; x < 29; ++x) {
                const TRGB s = src->GetPixelRGB(x, y);
                if (grey) {
                    const int g = (s.r * IEGrayWeightRed + s.g * IEGrayWeightGreen + s.b * IEGrayWeightBlue) / 100;
                    ASSERT_EQ(d.At(x, y), static_cast<uint32_t>(g / 255.0 * mx)) << x << "," << y;
                } else {
                    ASSERT_EQ(d.At(x, y, 0), static_cast<uint32_t>(s.r / 255.0 * mx)) << x << "," << y;
                    ASSERT_EQ(d.At(x, y, 1), static_cast<uint32_t>(s.g / 255.0 * mx));
                    ASSERT_EQ(d.At(x, y, 2), static_cast<uint32_t>(s.b / 255.0 * mx));
                }
            }
        // Our reader gives the 8 most significant bits back.
        const J2KRead r = Read(file);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        ExpectPixels(*r.Bitmap, d, 0);
    }
}

TEST_F(J2000Files, RateAndProgressionReachTheCoder) {
    const auto src = Picture();
    TIOParamsVals p(nullptr);
    const std::vector<uint8_t> lossless = Write(*src, p, ioJ2K);
    EXPECT_NE(Dump(lossless, "j2k").find("prg=0\n"), std::string::npos);  // layer-resolution first
    p.J2000Rate = 0.1;
    p.J2000ScalableBy = 1;
    const std::vector<uint8_t> lossy = Write(*src, p, ioJ2K);
    EXPECT_NE(Dump(lossy, "j2k").find("prg=0x1"), std::string::npos);  // resolution-layer first
    EXPECT_LT(lossy.size() * 2, lossless.size());
    const Samples d = Decode(lossy, "j2k", false);
    EXPECT_EQ(d.Width, 29);
}

TEST_F(J2000Files, AlphaBilevelAndOtherPixelFormats) {
    // An opaque alpha channel adds nothing; a partly transparent one adds an opacity component.
    auto src = Picture();
    src->GetAlphaChannel();
    TIOParamsVals p(nullptr);
    EXPECT_NE(Dump(Write(*src, p, ioJP2), "jp2").find("numcomps=3"), std::string::npos);
    src->SetAlpha(3, 2, 100);
    const std::vector<uint8_t> withAlpha = Write(*src, p, ioJP2);
    EXPECT_NE(Dump(withAlpha, "jp2").find("numcomps=4"), std::string::npos);
    WriteBytes(Temp("alpha.jp2"), withAlpha);
    int st = -1;
    RunCommand("opj_decompress -i '" + Temp("alpha.jp2") + "' -o '" + Temp("alpha.png") + "' >/dev/null 2>&1", &st);
    ASSERT_EQ(st, 0);
    const std::string a = RunCommand("/usr/bin/convert '" + Temp("alpha.png") + "' -alpha extract -depth 8 pgm:-");
    const Samples alpha = ParseSamples(std::vector<uint8_t>(a.begin(), a.end()));
    ASSERT_EQ(alpha.Width, 29);
    EXPECT_EQ(alpha.At(3, 2), 100u);
    EXPECT_EQ(alpha.At(4, 2), 255u);

    // ie1g: one bit of grey, whatever the parameters asked for.
    TIEBitmap bw(17, 9, ie1g);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 17; ++x) IESetBit(bw.GetScanline(y), x, (x + y) % 3 == 0);
    TIOParamsVals q(nullptr);
    q.J2000ColorSpace = 2;
    const std::vector<uint8_t> bilevel = Write(bw, q, ioJ2K);
    EXPECT_EQ(q.BitsPerSample, 1);
    EXPECT_EQ(q.J2000ColorSpace, 0);
    const Samples d = Decode(bilevel, "j2k", true);
    ASSERT_EQ(d.MaxVal, 1);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 17; ++x) ASSERT_EQ(d.At(x, y), (x + y) % 3 == 0 ? 1u : 0u);
    const J2KRead back = Read(bilevel);
    EXPECT_EQ(back.Bitmap->GetPixelFormat(), ie1g);

    // An 8-bit grey bitmap goes through a 24-bit copy.
    TIEBitmap g8(10, 6, ie8g);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 10; ++x) static_cast<uint8_t*>(g8.GetScanline(y))[x] = static_cast<uint8_t>(x * 25);
    TIOParamsVals r(nullptr);
    const Samples rgb = Decode(Write(g8, r, ioJP2), "jp2", false);
    ASSERT_EQ(rgb.Width, 10);
    EXPECT_EQ(rgb.At(4, 3, 0), 100u);
    EXPECT_EQ(rgb.At(4, 3, 2), 100u);
}

// A stream that takes no bytes.
class FullStream : public cl::TMemoryStream {
public:
    int64_t Write(const void*, int64_t) override { return 0; }
};

TEST_F(J2000Files, FailuresSetTheAbortFlag) {
    const auto src = Picture();
    TIOParamsVals p(nullptr);
    FullStream full;
    Progress pr;
    IEWriteJ2000Stream(&full, src.get(), p, ioJP2, pr.Rec);
    EXPECT_TRUE(pr.Aborting);
    TIEBitmap empty;
    bool aborted = false;
    EXPECT_TRUE(Write(empty, p, ioJ2K, &aborted).empty());
    EXPECT_TRUE(aborted);
}

TEST_F(J2000Files, LoadsAndSavesThroughTheComponentAndTheTool) {
    TVovozIdIO io(nullptr);
    io.LoadFromFile(cl::String(FixturePath("j2k", "rgb_lossless.jp2")));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioJP2);
    ExpectPixels(*io.GetIEBitmap(), LoadSamples(FixturePath("j2k", "rgb_lossless.ref.ppm")), 0);

    std::ostringstream out, err;
    for (const char* name : {"rgb_tiles.j2k", "ycc420.jp2"}) {
        ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("j2k", name), Temp("a.ppm")}, out, err), 0) << err.str();
        const std::string ref = std::string(name).substr(0, std::string(name).find('.')) + ".ref.ppm";
        const Samples ours = LoadSamples(Temp("a.ppm")), theirs = LoadSamples(FixturePath("j2k", ref));
        ASSERT_EQ(ours.Values.size(), theirs.Values.size());
        for (size_t i = 0; i < ours.Values.size(); ++i)
            ASSERT_LE(std::abs(static_cast<int>(ours.Values[i]) - static_cast<int>(theirs.Values[i])), 2) << i;
    }
    // Back to both kinds of file, decoded by OpenJPEG as the source.
    for (const char* ext : {"jp2", "j2k"}) {
        ASSERT_EQ(
            lumetra_image::Run({"convert", FixturePath("j2k", "rgb.ppm"), Temp(std::string("b.") + ext)}, out, err), 0)
            << err.str();
        const Samples d = Decode(ReadBytes(Temp(std::string("b.") + ext)), ext, false);
        EXPECT_EQ(d.Values, LoadSamples(FixturePath("j2k", "rgb.ppm")).Values) << ext;
    }
}

}  // namespace
}  // namespace ie::test
