// The GIF codec: files made by ImageMagick and gifsicle read as ImageMagick decodes them
// (global and local tables, interlace, transparency, frames, comments), our files read back
// by gifsicle and ImageMagick, the writer's palettes and transparency, and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "formats_testutil.h"
#include "imaging/formats/giffilter.h"
#include "imaging/formats/giflzw.h"

namespace ie::test {
namespace {

struct GifRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    std::unique_ptr<TIEMask> Mask;
    int32_t Count = -1;
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

GifRead Read(const std::vector<uint8_t>& File, int32_t Frame = 0, bool Native = false, bool Preview = false) {
    GifRead r;
    r.Params->NativePixelFormat = Native;
    r.Params->GIFImageIndex = Frame;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadGIFStream(s.get(), r.Bitmap.get(), r.Count, Preview, r.Mask, Preview, p.Rec, *r.Params);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

GifRead ReadFixture(const std::string& Name, int32_t Frame = 0, bool Native = false) {
    return Read(ReadBytes(FixturePath("gif", Name)), Frame, Native);
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWriteGIFStream(&s, &B, P, p.Rec);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

// The coders are the library defaults once the format is registered.
class GIFCodec : public CodecIOTest {};

TEST_F(GIFCodec, ReadsFilesAsImageMagickDoes) {
    const struct {
        const char* Name;
        TIEPixelFormat Format;
        bool Interlaced;
        int32_t Bits;
    } cases[] = {
        {"bw.gif", ie1g, false, 1},
        {"wb.gif", ie24RGB, false, 1},
        {"global.gif", ie24RGB, false, 5},
        {"interlaced.gif", ie24RGB, true, 5},
        {"interlaced3.gif", ie24RGB, true, 2},
        {"interlaced11.gif", ie24RGB, true, 4},
        {"transparent.gif", ie24RGB, false, 1},
        {"comment300.gif", ie24RGB, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = ReadFixture(c.Name);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Count, 1);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), c.Format);
        EXPECT_EQ(r.Params->GIFInterlaced, c.Interlaced);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->ColorMapCount, 1 << c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, 1);
        EXPECT_EQ(r.Params->Width, r.Bitmap->GetWidth());
        EXPECT_EQ(r.Params->GIFWinWidth, r.Bitmap->GetWidth());
        EXPECT_EQ(r.Params->DpiX, IEDefaultDpiX);
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(FixturePath("gif", c.Name)));
        EXPECT_EQ(r.Reports.front(), 0);
        EXPECT_EQ(r.Reports.back(), 100);
    }
}

TEST_F(GIFCodec, BlackAndWhiteAndPaletteFormats) {
    // Black, white: 1 bit, 13 pixels of a row in two bytes, the first pixel in the high bit.
    const auto bw = ReadFixture("bw.gif");
    ASSERT_EQ(bw.Bitmap->GetPixelFormat(), ie1g);
    const auto ref = DecodeWithImageMagick(FixturePath("gif", "bw.gif"));
    for (int32_t y = 0; y < 5; ++y) {
        const auto* row = static_cast<const uint8_t*>(bw.Bitmap->GetScanline(y));
        for (int32_t x = 0; x < 13; ++x) EXPECT_EQ((row[x >> 3] >> (7 - (x & 7))) & 1, ref.At(x, y)[0] == 255 ? 1 : 0);
    }
    // White, black is a palette picture: 24 bits, or ie8p with the native formats.
    const auto wb = ReadFixture("wb.gif", 0, true);
    ASSERT_EQ(wb.Bitmap->GetPixelFormat(), ie8p);
    EXPECT_EQ(wb.Bitmap->PaletteUsed, 2);
    ExpectSameRGB(*wb.Bitmap, DecodeWithImageMagick(FixturePath("gif", "wb.gif")));
    const auto g = ReadFixture("global.gif", 0, true);
    ASSERT_EQ(g.Bitmap->GetPixelFormat(), ie8p);
    ExpectSameRGB(*g.Bitmap, DecodeWithImageMagick(FixturePath("gif", "global.gif")));
}

TEST_F(GIFCodec, TransparentIndexBecomesTheMask) {
    const auto r = ReadFixture("transparent.gif");
    ASSERT_TRUE(r.Mask);
    EXPECT_TRUE(r.Params->GIFTransparent);
    int st = -1;
    const std::string alpha = RunCommand(
        "/usr/bin/convert '" + FixturePath("gif", "transparent.gif") + "' -alpha extract -depth 8 pgm:-", &st);
    ASSERT_EQ(st, 0);
    const auto ref = ParseRef(std::vector<uint8_t>(alpha.begin(), alpha.end()));
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(r.Mask->GetPixel(x, y), ref.At(x, y)[0]) << x << "," << y;
    // The transparent colour is the table's entry (ImageMagick stores black there).
    const auto f = ReadBytes(FixturePath("gif", "transparent.gif"));
    ASSERT_EQ(f[20], 0xF9);
    const size_t entry = 13 + 3 * size_t{f[25]};
    EXPECT_EQ(r.Params->GIFTranspColor, (TRGB{f[entry + 2], f[entry + 1], f[entry]}));
    // A transparent index that no pixel uses gives no mask.
    const auto u = ReadFixture("unusedtransparent.gif");
    EXPECT_TRUE(u.Params->GIFTransparent);
    EXPECT_FALSE(u.Mask);
}

TEST_F(GIFCodec, FramesAreReadOnTheirOwn) {
    // anim.gif: see make.sh; frame by frame as ImageMagick reads 'anim.gif[N]'.
    const struct {
        int32_t X, Y, W, H, Delay, Action;
        bool Transparent;
    } frames[] = {{0, 0, 40, 30, 10, 0, false},
                  {5, 4, 16, 12, 20, 2, true},
                  {18, 15, 20, 10, 30, 3, false},
                  {25, 3, 12, 14, 40, 1, true},
                  {10, 18, 9, 9, 50, 2, false}};
    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const auto r = ReadFixture("anim.gif", i);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Count, 5);
        EXPECT_EQ(r.Params->GIFImageCount, 5);
        EXPECT_EQ(r.Params->GIFXPos, frames[i].X);
        EXPECT_EQ(r.Params->GIFYPos, frames[i].Y);
        EXPECT_EQ(r.Bitmap->GetWidth(), frames[i].W);
        EXPECT_EQ(r.Bitmap->GetHeight(), frames[i].H);
        EXPECT_EQ(r.Params->GIFDelayTime, frames[i].Delay);
        EXPECT_EQ(r.Params->GIFAction, frames[i].Action);
        EXPECT_EQ(r.Params->GIFTransparent, frames[i].Transparent);
        EXPECT_EQ(r.Params->GIFWinWidth, 40);
        EXPECT_EQ(r.Params->GIFWinHeight, 30);
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(FixturePath("gif", "anim.gif") + "[" + std::to_string(i) + "]"));
    }
    // Local tables: frame 1 has two colours of its own.
    EXPECT_EQ(ReadFixture("anim.gif", 1).Params->ColorMapCount, 2);
    // Past the last frame: nothing taken, the count given, no abort.
    const auto past = ReadFixture("anim.gif", 7);
    EXPECT_FALSE(past.Aborted);
    EXPECT_EQ(past.Count, 5);
    EXPECT_EQ(past.Bitmap->GetWidth(), 0);
    // Interlaced frames with a global table and a background colour (index 5).
    const auto bg = ReadBytes(FixturePath("gif", "anim_bg.gif"));
    ASSERT_EQ(bg[11], 5);
    for (int32_t i = 0; i < 4; ++i) {
        const auto r = ReadFixture("anim_bg.gif", i);
        EXPECT_TRUE(r.Params->GIFInterlaced);
        EXPECT_EQ(r.Params->GIFBackground, (TRGB{bg[13 + 17], bg[13 + 16], bg[13 + 15]}));
        ExpectSameRGB(*r.Bitmap,
                      DecodeWithImageMagick(FixturePath("gif", "anim_bg.gif") + "[" + std::to_string(i) + "]"));
    }
}

TEST_F(GIFCodec, CommentsOfEveryFrame) {
    const auto r = ReadFixture("comments.gif");
    ASSERT_EQ(r.Params->GIFComments()->GetCount(), 2);
    EXPECT_EQ(r.Params->GIFComments()->Strings(0), "first");
    EXPECT_EQ(r.Params->GIFComments()->Strings(1), "second");
    // A comment longer than one sub-block is one text.
    const auto c = ReadFixture("comment300.gif");
    ASSERT_EQ(c.Params->GIFComments()->GetCount(), 1);
    EXPECT_EQ(c.Params->GIFComments()->Strings(0), std::string(300, 'x'));
}

TEST_F(GIFCodec, PreviewFillsTheParametersOnly) {
    const auto r = Read(ReadBytes(FixturePath("gif", "anim.gif")), 3, false, true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
    EXPECT_FALSE(r.Mask);
    EXPECT_EQ(r.Params->Width, 12);
    EXPECT_EQ(r.Params->GIFXPos, 25);
    EXPECT_EQ(r.Count, 5);
    EXPECT_EQ(r.Params->ColorMapCount, 8);
}

// ---------------------------------------------------------------------------------------
// Writing

// Our file as gifsicle describes it; empty when gifsicle refuses it.
std::string GifsicleInfo(const std::string& File) {
    int st = -1;
    const std::string out = RunCommand("gifsicle --xinfo '" + File + "' 2>&1", &st);
    return st == 0 ? out : std::string();
}

TEST_F(GIFCodec, OurFilesReadBackByTheTools) {
    // Pictures of few colours at every depth come back exactly.
    const auto colours = [](int32_t n) {
        return Make24(29, 17, [n](int32_t x, int32_t y) {
            const int32_t i = (x / 3 + y / 2 * 7) % n;
            return TRGB{static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11), static_cast<uint8_t>(i * 53)};
        });
    };
    for (int32_t bits = 2; bits <= 8; ++bits)
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (interlaced ? " interlaced" : ""));
            const auto b = colours(1 << bits);
            TIOParamsVals p(nullptr);
            p.BitsPerSample = bits;
            p.GIFInterlaced = interlaced;
            p.GIFDelayTime = 25;
            p.GIFComments()->Add("made by the tests");
            bool aborted = true;
            const std::string file = Temp("w" + std::to_string(bits) + ".gif");
            WriteBytes(file, Write(*b, p, &aborted));
            ASSERT_FALSE(aborted);
            const std::string info = GifsicleInfo(file);
            ASSERT_FALSE(info.empty());
            EXPECT_NE(info.find("color table [" + std::to_string(1 << bits) + "]"), std::string::npos) << info;
            EXPECT_EQ(info.find("interlaced") != std::string::npos, interlaced) << info;
            EXPECT_NE(info.find("delay 0.25s"), std::string::npos) << info;
            EXPECT_NE(info.find("made by the tests"), std::string::npos) << info;
            const auto ref = DecodeWithImageMagick(file);
            ExpectSameRGB(*b, ref);
            // And our reader agrees.
            const auto r = Read(ReadBytes(file));
            ASSERT_FALSE(r.Aborted);
            ExpectSameRGB(*r.Bitmap, ref);
            EXPECT_EQ(r.Params->GIFComments()->Strings(0), "made by the tests");
        }
}

TEST_F(GIFCodec, PhotoThroughTheQuantizer) {
    const auto b = Make24(64, 48, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 5), static_cast<uint8_t>((x * y) & 255)};
    });
    TIOParamsVals p(nullptr);
    const std::string file = Temp("photo.gif");
    bool aborted = true;
    WriteBytes(file, Write(*b, p, &aborted));
    ASSERT_FALSE(aborted);
    ASSERT_FALSE(GifsicleInfo(file).empty());
    // ImageMagick decodes our palette colours, which stay close to the picture's.
    const auto ref = DecodeWithImageMagick(file);
    const auto r = Read(ReadBytes(file));
    ExpectSameRGB(*r.Bitmap, ref);
    double error = 0;
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const TRGB c = b->GetPixel24(x, y);
            const uint8_t* q = ref.At(x, y);
            error += std::abs(c.r - q[0]) + std::abs(c.g - q[1]) + std::abs(c.b - q[2]);
        }
    EXPECT_LT(error / (64 * 48 * 3), 20.0);
}

TEST_F(GIFCodec, OneBitPictures) {
    // Red and blue at one bit: the table holds the two colours, the darker (blue) first.
    const auto rb = Make24(13, 3, [](int32_t x, int32_t) { return x % 3 ? TRGB{0, 0, 255} : TRGB{255, 0, 0}; });
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 1;
    const auto file = Write(*rb, p);
    EXPECT_EQ(file[10], 0x80);  // a global table of two entries
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 13, file.begin() + 19), (std::vector<uint8_t>{0, 0, 255, 255, 0, 0}));
    WriteBytes(Temp("rb.gif"), file);
    ExpectSameRGB(*rb, DecodeWithImageMagick(Temp("rb.gif")));
    // A 1-bit bitmap keeps black and white.
    TIEBitmap bw(13, 5, ie1g);
    bw.Fill(0);
    for (int32_t x = 0; x < 13; x += 2) static_cast<uint8_t*>(bw.GetScanline(1))[x >> 3] |= 0x80 >> (x & 7);
    const auto bwFile = Write(bw, p);
    EXPECT_EQ(std::vector<uint8_t>(bwFile.begin() + 13, bwFile.begin() + 19),
              (std::vector<uint8_t>{0, 0, 0, 255, 255, 255}));
    const auto back = Read(bwFile);
    ASSERT_EQ(back.Bitmap->GetPixelFormat(), ie1g);
    for (int32_t y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(back.Bitmap->GetScanline(y), bw.GetScanline(y), 2), 0) << y;
}

TEST_F(GIFCodec, AlphaBecomesTheTransparentIndex) {
    auto b = Make24(20, 10, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 12), static_cast<uint8_t>(y * 20), 7};
    });
    TIEBitmap* alpha = b->GetAlphaChannel();
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 20; ++x) alpha->SetPixel8(x, y, x < 5 ? 0 : x < 7 ? 100 : 255);
    for (int32_t bits : {8, 4, 1}) {
        SCOPED_TRACE(bits);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = bits;
        const auto file = Write(*b, p);
        // One bit leaves no room for the transparent index: two bits are written.
        const int32_t depth = bits == 1 ? 2 : bits;
        EXPECT_EQ(file[10], 0x80 + (depth - 1) * 17);
        EXPECT_TRUE(p.GIFTransparent);
        const size_t gce = 13 + 3 * (size_t{1} << depth);
        ASSERT_EQ(file[gce], 0x21);
        ASSERT_EQ(file[gce + 1], 0xF9);
        EXPECT_EQ(file[gce + 3] & 1, 1);
        EXPECT_EQ(file[gce + 6], (1 << depth) - 1);  // the last entry is the transparent one
        const std::string path = Temp("a" + std::to_string(bits) + ".gif");
        WriteBytes(path, file);
        int st = -1;
        const std::string a = RunCommand("/usr/bin/convert '" + path + "' -alpha extract -depth 8 pgm:-", &st);
        ASSERT_EQ(st, 0);
        const auto ref = ParseRef(std::vector<uint8_t>(a.begin(), a.end()));
        for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(ref.At(x, 3)[0], x < 7 ? 0 : 255) << x;
        const auto r = Read(file);
        ASSERT_TRUE(r.Mask);
        EXPECT_EQ(r.Mask->GetPixel(6, 3), 0);
        EXPECT_EQ(r.Mask->GetPixel(7, 3), 255);
    }
}

TEST_F(GIFCodec, HeaderFieldsAndComments) {
    TIEBitmap b(1, 1, ie24RGB);
    b.SetPixel24(0, 0, TRGB{10, 20, 30});
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 2;
    p.GIFVersion = "GIF87a";
    p.GIFXPos = 3;
    p.GIFYPos = 4;
    p.GIFAction = 1;
    p.GIFDelayTime = 300;
    // A background colour the palette lacks takes the closest entry.
    p.GIFBackground = TRGB{12, 22, 29};
    p.GIFComments()->Add(std::string(300, 'c'));
    p.GIFComments()->Add("");
    p.GIFComments()->Add("two");
    const auto f = Write(b, p);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
    EXPECT_EQ(f[11], 0);  // the one colour
    const size_t gce = 13 + 12;
    EXPECT_EQ(f[gce + 3], 1 << 2);
    EXPECT_EQ(f[gce + 4] | f[gce + 5] << 8, 300);
    EXPECT_EQ(f[gce + 8], 0x2C);
    EXPECT_EQ(f[gce + 9], 3);
    EXPECT_EQ(f[gce + 11], 4);
    // Comment sub-blocks of at most 255 bytes; the empty string is not written.
    const auto r = Read(f);
    ASSERT_EQ(r.Params->GIFComments()->GetCount(), 2);
    EXPECT_EQ(r.Params->GIFComments()->Strings(0), std::string(300, 'c'));
    EXPECT_EQ(r.Params->GIFComments()->Strings(1), "two");
    EXPECT_EQ(f.back(), 0x3B);
    // The one-pixel picture's data at two bits: code size 2, clear, 0, end.
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + gce + 18, f.begin() + gce + 23),
              (std::vector<uint8_t>{0x02, 0x02, 0x44, 0x01, 0x00}));
}

TEST_F(GIFCodec, PaletteBitmapsAndOtherFormats) {
    // ie8p whose indexes fit the depth: written as they are.
    TIEBitmap pal(6, 4, ie8p);
    for (int32_t i = 0; i < 4; ++i) pal.SetPaletteEntry(i, TRGB{static_cast<uint8_t>(i * 60), 0, 200});
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) pal.SetPixel8(x, y, static_cast<uint8_t>((x + y) % 4));
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 2;
    auto r = Read(Write(pal, p));
    ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick([&] {
        WriteBytes(Temp("p.gif"), Write(pal, p));
        return Temp("p.gif");
    }()));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, y), pal.GetPixelRGB(x, y));
    // Indexes beyond the depth: the picture goes through 24 bits and the quantizer.
    p.BitsPerSample = 3;
    pal.SetPixel8(0, 0, 9);
    pal.SetPaletteEntry(9, TRGB{1, 2, 3});
    r = Read(Write(pal, p));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0), (TRGB{1, 2, 3}));
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0), pal.GetPixelRGB(1, 0));
    // A grey picture.
    TIEBitmap grey(8, 2, ie8g);
    for (int32_t x = 0; x < 8; ++x) {
        grey.SetPixel8(x, 0, static_cast<uint8_t>(x * 32));
        grey.SetPixel8(x, 1, 255);
    }
    p.BitsPerSample = 8;
    r = Read(Write(grey, p));
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, 0), grey.GetPixelRGB(x, 0));
}

// A stream that takes only Limit bytes.
class ShortStream : public cl::TMemoryStream {
public:
    explicit ShortStream(int64_t Limit) : FLimit(Limit) {}
    int64_t Write(const void* Buffer, int64_t Count) override {
        const int64_t n = std::min(Count, std::max<int64_t>(FLimit - GetPosition(), 0));
        return n > 0 ? cl::TMemoryStream::Write(Buffer, n) : 0;
    }

private:
    int64_t FLimit;
};

TEST_F(GIFCodec, WriterFailures) {
    const auto b = Make24(40, 40, [](int32_t x, int32_t y) { return TRGB{static_cast<uint8_t>(x * y), 9, 9}; });
    for (int64_t limit : {5, 800, 900}) {
        SCOPED_TRACE(limit);
        ShortStream s(limit);
        TIOParamsVals p(nullptr);
        Progress pr;
        IEWriteGIFStream(&s, b.get(), p, pr.Rec);
        EXPECT_TRUE(pr.Aborting);
    }
    // Without a compressor nothing is written past the image descriptor.
    TIOParamsVals p(nullptr);
    p.GIFLZWCompress = nullptr;
    const TIEGIFLZWCompressor saved = IEDefGIFLZWCompress;
    IEDefGIFLZWCompress = nullptr;
    bool aborted = false;
    const auto f = Write(*b, p, &aborted);
    IEDefGIFLZWCompress = saved;
    EXPECT_TRUE(aborted);
    EXPECT_EQ(f.size(), 13u + 768 + 8 + 10);
    EXPECT_EQ(f.back(), 0);
    // An empty bitmap.
    TIEBitmap empty;
    Write(empty, p, &aborted);
    EXPECT_TRUE(aborted);
}

// ---------------------------------------------------------------------------------------
// Damaged files

std::vector<uint8_t> Patched(std::vector<uint8_t> F, size_t At, std::initializer_list<uint8_t> Bytes) {
    std::copy(Bytes.begin(), Bytes.end(), F.begin() + static_cast<std::ptrdiff_t>(At));
    return F;
}

TEST_F(GIFCodec, DamagedFiles) {
    const auto good = ReadBytes(FixturePath("gif", "global.gif"));  // a 32-entry table, a graphic control
    const size_t desc = 13 + 96 + 8;
    ASSERT_EQ(good[desc], 0x2C);
    const auto cut = [&](size_t n) {
        return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    };
    std::vector<uint8_t> noTrailer = good;
    noTrailer.back() = 0x00;
    const struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        bool Aborted;
        int32_t Width;  // of the bitmap after the read
    } cases[] = {
        {"empty", {}, true, 0},
        {"not a GIF", Patched(good, 0, {'J', 'I', 'F'}), true, 0},
        {"header only", cut(13), true, 0},
        {"ends in the colour table", cut(50), true, 0},
        {"ends in the descriptor", cut(desc + 5), true, 0},
        {"ends after the descriptor", cut(desc + 10), true, 0},
        {"zero width", Patched(good, desc + 5, {0, 0}), true, 0},
        {"zero height", Patched(good, desc + 7, {0, 0}), true, 0},
        {"huge frame, little data", Patched(good, desc + 5, {0xFF, 0xFF, 0xFF, 0xFF}), true, 0},
        {"code size 12", Patched(good, desc + 10, {12}), true, 0},
        {"sub-block longer than the file", Patched(good, desc + 11, {255}), false, 31},
        {"data cut short", cut(good.size() - 40), false, 31},
        {"no trailer", noTrailer, false, 31},
        {"local table past the end", Patched(cut(desc + 10), desc + 9, {0x87}), true, 0},
        {"extension cut short", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, '!', 0xF9, 4, 1}, false, 0},
        {"comment running past the end",
         {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, '!', 0xFE, 200, 'a', 'b'},
         false,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File);
        EXPECT_EQ(r.Aborted, c.Aborted);
        EXPECT_EQ(r.Bitmap->GetWidth(), c.Width);
    }
    // A transparent index beyond the table: no colour of its own, the pixels still masked.
    auto t = ReadBytes(FixturePath("gif", "transparent.gif"));
    for (size_t i = 13; i + 7 < t.size(); ++i)
        if (t[i] == 0x21 && t[i + 1] == 0xF9) t[i + 6] = 200;
    const auto r = Read(t);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->GIFTranspColor, TRGB{});
    EXPECT_FALSE(r.Mask);
}

TEST_F(GIFCodec, NoDecompressorAborts) {
    TIOParamsVals p(nullptr);
    const TIEGIFLZWDecompressor saved = IEDefGIFLZWDecompress;
    IEDefGIFLZWDecompress = nullptr;
    auto r = GifRead();
    r.Params->GIFLZWDecompress = nullptr;
    auto s = MemStream(ReadBytes(FixturePath("gif", "bw.gif")));
    Progress pr;
    IEReadGIFStream(s.get(), r.Bitmap.get(), r.Count, false, r.Mask, false, pr.Rec, *r.Params);
    IEDefGIFLZWDecompress = saved;
    EXPECT_TRUE(pr.Aborting);
    EXPECT_EQ(r.Bitmap->GetWidth(), 0);
}

}  // namespace
}  // namespace ie::test
