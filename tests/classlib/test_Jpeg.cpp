// TJPEGImage: decoding exactly as libjpeg's own djpeg does, bad data, settings, saving.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "classlib/Jpeg.h"

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

using namespace cl;

namespace {

const std::string kData = std::string(LUMETRA_TEST_DATA) + "/graphics/";

struct Pnm {
    int w = 0, h = 0, channels = 0;
    std::vector<uint8_t> px;
};

bool ReadPnm(const std::string& name, Pnm& p) {
    std::ifstream f(name, std::ios::binary);
    std::string magic;
    f >> magic;
    int maxval = 0;
    f >> p.w >> p.h >> maxval;
    f.get();
    p.channels = magic == "P6" ? 3 : 1;
    p.px.resize(static_cast<size_t>(p.w) * p.h * p.channels);
    f.read(reinterpret_cast<char*>(p.px.data()), static_cast<std::streamsize>(p.px.size()));
    return f && maxval == 255 && (magic == "P6" || magic == "P5");
}

std::vector<uint8_t> ReadFileBytes(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string TempName(const std::string& suffix) {
    static int n = 0;
    return std::string(LUMETRA_BINARY_DIR) + "/jpeg_test_" + std::to_string(getpid()) + "_" + std::to_string(++n) +
           suffix;
}

void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool HaveDjpeg() { return std::system("djpeg -version >/dev/null 2>&1") == 0; }

// djpeg's output for `bytes` with extra options (PPM, or PGM for grey output).
Pnm Djpeg(const std::vector<uint8_t>& bytes, const std::string& options = "") {
    std::string in = TempName(".jpg"), out = TempName(".pnm");
    WriteFileBytes(in, bytes);
    std::string cmd = "djpeg " + options + " -outfile " + out + " " + in + " 2>/dev/null";
    int rc = std::system(cmd.c_str());
    Pnm p;
    if (!ReadPnm(out, p)) ADD_FAILURE() << "djpeg failed (" << rc << "): " << cmd;
    std::remove(in.c_str());
    std::remove(out.c_str());
    return p;
}

void Load(TJPEGImage& j, const std::vector<uint8_t>& bytes) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    j.LoadFromStream(&s);
}

// The decoded bitmap equals djpeg's pixels (24-bit BGR rows, or 8-bit grey indices).
void ExpectSamePixels(TBitmap* b, const Pnm& p) {
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->GetWidth(), p.w);
    ASSERT_EQ(b->GetHeight(), p.h);
    for (int y = 0; y < p.h; ++y) {
        auto* row = static_cast<const uint8_t*>(b->ScanLine(y));
        for (int x = 0; x < p.w; ++x) {
            const uint8_t* e = &p.px[(static_cast<size_t>(y) * p.w + x) * p.channels];
            if (p.channels == 1) {
                ASSERT_EQ(b->GetPixelFormat(), pf8bit);
                ASSERT_EQ(row[x], e[0]) << x << "," << y;
            } else if (b->GetPixelFormat() == pf8bit) {
                const auto& q = b->GetColorTable()[row[x]];
                ASSERT_EQ(q.rgbRed, e[0]) << x << "," << y;
                ASSERT_EQ(q.rgbGreen, e[1]) << x << "," << y;
                ASSERT_EQ(q.rgbBlue, e[2]) << x << "," << y;
            } else {
                ASSERT_EQ(b->GetPixelFormat(), pf24bit);
                ASSERT_EQ(row[3 * x + 2], e[0]) << x << "," << y;
                ASSERT_EQ(row[3 * x + 1], e[1]) << x << "," << y;
                ASSERT_EQ(row[3 * x], e[2]) << x << "," << y;
            }
        }
    }
}

}  // namespace

TEST(Jpeg, HeaderGivesSizeWithoutDecoding) {
    TJPEGImage j;
    EXPECT_TRUE(j.GetEmpty());
    j.LoadFromFile(kData + "base420.jpg");
    EXPECT_FALSE(j.GetEmpty());
    EXPECT_EQ(j.GetWidth(), 37);
    EXPECT_EQ(j.GetHeight(), 23);
    EXPECT_EQ(j.Data().size(), ReadFileBytes(kData + "base420.jpg").size());
    // Reading starts at the stream's position.
    auto bytes = ReadFileBytes(kData + "grey.jpg");
    TMemoryStream s;
    s.WriteBuffer("junk", 4);
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(4);
    j.LoadFromStream(&s);
    EXPECT_EQ(j.Data().size(), bytes.size());
    EXPECT_EQ(s.GetPosition(), s.GetSize());
    EXPECT_THROW(j.SetWidth(10), EInvalidGraphicOperation);
}

TEST(Jpeg, DecodesExactlyAsDjpeg) {
    if (!HaveDjpeg()) GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
    for (const char* name : {"base420.jpg", "base422.jpg", "base444.jpg", "prog.jpg", "grey.jpg", "cmyk.jpg"}) {
        SCOPED_TRACE(name);
        auto bytes = ReadFileBytes(kData + name);
        TJPEGImage j;
        Load(j, bytes);
        ExpectSamePixels(j.GetBitmap(), Djpeg(bytes));
        EXPECT_EQ(j.GetWarnings(), 0);
    }
}

TEST(Jpeg, SettingsDecodeAsTheMatchingDjpegOptions) {
    if (!HaveDjpeg()) GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
    struct Case {
        const char* file;
        TJPEGScale scale;
        TJPEGPerformance performance;
        bool grayscale;
        TJPEGPixelFormat format;
        const char* options;
    };
    // clang-format off
    const Case cases[] = {
        {"base420.jpg", jsHalf, jpBestQuality, false, jf24Bit, "-scale 1/2"},
        {"prog.jpg", jsQuarter, jpBestQuality, false, jf24Bit, "-scale 1/4"},
        {"base444.jpg", jsEighth, jpBestQuality, false, jf24Bit, "-scale 1/8"},
        {"base420.jpg", jsFullSize, jpBestSpeed, false, jf24Bit, "-dct fast -nosmooth"},
        {"base420.jpg", jsFullSize, jpBestQuality, true, jf24Bit, "-grayscale"},
        {"base444.jpg", jsFullSize, jpBestQuality, false, jf8Bit, "-colors 256"},
        {"base444.jpg", jsFullSize, jpBestSpeed, false, jf8Bit, "-colors 256 -onepass -dither ordered -dct fast -nosmooth"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        auto bytes = ReadFileBytes(kData + c.file);
        TJPEGImage j;
        Load(j, bytes);
        j.SetScale(c.scale);
        j.SetPerformance(c.performance);
        j.SetGrayscale(c.grayscale);
        j.SetPixelFormat(c.format);
        int d = 1 << c.scale;
        EXPECT_EQ(j.GetWidth(), (37 + d - 1) / d);
        EXPECT_EQ(j.GetHeight(), (23 + d - 1) / d);
        ExpectSamePixels(j.GetBitmap(), Djpeg(bytes, c.options));
    }
}

TEST(Jpeg, TruncatedDataDecodesLikeDjpegOrRaises) {
    bool djpeg = HaveDjpeg();
    for (const char* name : {"base420.jpg", "prog.jpg", "grey.jpg", "base422.jpg"}) {
        SCOPED_TRACE(name);
        auto bytes = ReadFileBytes(kData + name);
        // Cut inside the headers: EJPEG. Cut inside the scan data: a picture with warnings,
        // the missing part filled as libjpeg fills it.
        for (size_t n : {size_t{1}, size_t{2}, size_t{3}, size_t{20}, size_t{100}}) {
            TJPEGImage j;
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(n));
            EXPECT_THROW(Load(j, part), EJPEG) << n;
            EXPECT_TRUE(j.GetEmpty());
        }
        // Cut in the middle of each scan's entropy-coded data, and just before EOI.
        std::vector<size_t> ends = {bytes.size() - 2};
        for (size_t i = 2; i + 3 < bytes.size(); ++i) {
            if (bytes[i] != 0xFF || bytes[i + 1] != 0xDA) continue;
            size_t start = i + 2 + ((bytes[i + 2] << 8) | bytes[i + 3]), end = start;
            while (end + 1 < bytes.size() &&
                   !(bytes[end] == 0xFF && bytes[end + 1] != 0 && (bytes[end + 1] < 0xD0 || bytes[end + 1] > 0xD7)))
                ++end;
            if (end - start > 8) ends.push_back((start + end) / 2);
            i = end;
        }
        ASSERT_GE(ends.size(), 2u);
        for (size_t end : ends) {
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(end));
            TJPEGImage j;
            TBitmap* b = nullptr;
            try {
                Load(j, part);
                b = j.GetBitmap();
            } catch (const EJPEG& e) {
                FAIL() << "cut at " << end << ": " << e.what();
            }
            ASSERT_NE(b, nullptr);
            EXPECT_GT(j.GetWarnings(), 0) << end;
            if (djpeg) ExpectSamePixels(b, Djpeg(part));
        }
        // Every prefix either raises EJPEG or decodes: never a crash or a hang.
        for (size_t n = 0; n < bytes.size(); ++n) {
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(n));
            TJPEGImage j;
            try {
                Load(j, part);
                j.DIBNeeded();
            } catch (const EJPEG&) {
            }
        }
    }
}

TEST(Jpeg, GarbageRaisesEJPEGWithItsCode) {
    TJPEGImage j;
    j.LoadFromFile(kData + "base420.jpg");
    std::vector<uint8_t> garbage(500);
    uint32_t seed = 99;
    for (auto& c : garbage) {
        seed = seed * 1664525 + 1013904223;
        c = static_cast<uint8_t>(seed >> 24);
    }
    garbage[0] = 0x12;
    try {
        Load(j, garbage);
        ADD_FAILURE() << "no exception";
    } catch (const EJPEG& e) {
        EXPECT_EQ(std::string(e.what()), Format("JPEG error #%d", int(JERR_NO_SOI)));
    }
    EXPECT_EQ(j.GetWidth(), 37);  // the old picture stays
    EXPECT_THROW(Load(j, {}), EJPEG);
    EXPECT_THROW(Load(j, {0xFF, 0xD8, 0xFF, 0xD9}), EJPEG);
    // A valid start followed by garbage.
    std::vector<uint8_t> soi = {0xFF, 0xD8};
    soi.insert(soi.end(), garbage.begin(), garbage.end());
    EXPECT_THROW(Load(j, soi), EJPEG);
    static_assert(std::is_base_of_v<EInvalidGraphic, EJPEG>);
}

// One file per case, so that the sweeps run side by side.
class JpegCorruptedBytes : public ::testing::TestWithParam<const char*> {};

TEST_P(JpegCorruptedBytes, NeverCrash) {
    const char* name = GetParam();
    auto bytes = ReadFileBytes(kData + name);
    for (size_t i = 2; i < bytes.size(); i += 3) {
        for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(bytes[i] ^ 0x55)}) {
            auto bad = bytes;
            bad[i] = v;
            TJPEGImage j;
            try {
                Load(j, bad);
                j.DIBNeeded();
                if (TBitmap* b = j.GetBitmap()) {
                    EXPECT_GT(b->GetWidth(), 0);
                }
            } catch (const EJPEG&) {
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegCorruptedBytes, ::testing::Values("base420.jpg", "prog.jpg", "cmyk.jpg"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             std::string n = i.param;
                             return n.substr(0, n.find('.'));
                         });

TEST(Jpeg, HugeDimensionsRaiseInsteadOfAllocating) {
    auto bytes = ReadFileBytes(kData + "base420.jpg");
    // The baseline frame header: FF C0, length, precision, height, width.
    size_t sof = 0;
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    ASSERT_NE(sof, 0u);
    bytes[sof + 5] = 0xFF;
    bytes[sof + 6] = 0xD0;
    bytes[sof + 7] = 0xFF;
    bytes[sof + 8] = 0xD0;
    TJPEGImage j;
    Load(j, bytes);
    EXPECT_EQ(j.GetWidth(), 0xFFD0);
    try {
        j.DIBNeeded();
        ADD_FAILURE() << "no exception";
    } catch (const EJPEG& e) {
        EXPECT_EQ(std::string(e.what()), Format("JPEG error #%d", int(JERR_IMAGE_TOO_BIG)));
    }
}

TEST(Jpeg, EndlessProgressiveScansAreCut) {
    // Repeating the last scan of a progressive file: a few repeats still decode (with
    // warnings), thousands are treated as corrupt data instead of costing a pass each.
    auto bytes = ReadFileBytes(kData + "prog.jpg");
    size_t last = 0;
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) last = i;
    ASSERT_GT(last, 0u);
    ASSERT_EQ(bytes[bytes.size() - 2], 0xFF);
    ASSERT_EQ(bytes[bytes.size() - 1], 0xD9);
    std::vector<uint8_t> scan(bytes.begin() + static_cast<long>(last), bytes.end() - 2);
    auto repeated = [&](int n) {
        std::vector<uint8_t> v(bytes.begin(), bytes.end() - 2);
        for (int i = 0; i < n; ++i) v.insert(v.end(), scan.begin(), scan.end());
        v.push_back(0xFF);
        v.push_back(0xD9);
        return v;
    };
    TJPEGImage few;
    Load(few, repeated(5));
    ASSERT_NE(few.GetBitmap(), nullptr);
    EXPECT_EQ(few.GetBitmap()->GetWidth(), 37);
    TJPEGImage many;
    Load(many, repeated(1200));
    EXPECT_THROW(many.DIBNeeded(), EJPEG);
}

TEST(Jpeg, AssignIntoBitmapAndDrawing) {
    TJPEGImage colour, grey;
    colour.LoadFromFile(kData + "base444.jpg");
    grey.LoadFromFile(kData + "grey.jpg");
    TBitmap b;
    b.Assign(&colour);
    EXPECT_EQ(b.GetPixelFormat(), pf24bit);
    EXPECT_EQ(b.GetWidth(), 37);
    TBitmap* decoded = colour.GetBitmap();
    for (int y = 0; y < 23; ++y) ASSERT_EQ(std::memcmp(b.ScanLine(y), decoded->ScanLine(y), 37 * 3), 0);

    TBitmap g;
    g.Assign(&grey);
    EXPECT_EQ(g.GetPixelFormat(), pf8bit);
    ASSERT_EQ(g.GetColorTable().size(), 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(g.GetColorTable()[static_cast<size_t>(i)].rgbGreen, i);
    win::PALETTEENTRY e[256];
    ASSERT_EQ(win::GetPaletteEntries(g.GetPalette(), 0, 256, e), 256u);
    EXPECT_EQ(e[200].peRed, 200);

    // Drawing into a 32-bit canvas gives the decoded colours; a stretch draws it scaled.
    TBitmap dst;
    dst.SetPixelFormat(pf32bit);
    dst.SetSize(37, 23);
    dst.GetCanvas()->Draw(0, 0, &colour);
    for (int y = 0; y < 23; ++y) {
        auto* d = static_cast<uint8_t*>(dst.ScanLine(y));
        auto* s = static_cast<uint8_t*>(decoded->ScanLine(y));
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(d[4 * x], s[3 * x]);
            ASSERT_EQ(d[4 * x + 2], s[3 * x + 2]);
        }
    }
    dst.SetSize(74, 46);
    dst.GetCanvas()->StretchDraw(Rect(0, 0, 74, 46), &grey);
    uint8_t level = static_cast<uint8_t*>(grey.GetBitmap()->ScanLine(5))[7];
    EXPECT_EQ(static_cast<uint32_t>(dst.GetCanvas()->Pixels(15, 11)), win::RGB(level, level, level));

    // A picture can be copied; the empty one assigns an empty bitmap.
    TJPEGImage copy;
    copy.Assign(&colour);
    EXPECT_EQ(copy.Data(), colour.Data());
    TJPEGImage none;
    TBitmap e2;
    e2.SetSize(3, 3);
    e2.Assign(&none);
    EXPECT_TRUE(e2.GetEmpty());
}

TEST(Jpeg, SavingCompressesWithTheQuality) {
    TBitmap src;
    src.LoadFromFile(kData + "rgb24.bmp");
    auto save = [](TJPEGImage& j) {
        TMemoryStream s;
        j.SaveToStream(&s);
        auto* p = static_cast<const uint8_t*>(s.GetMemory());
        return std::vector<uint8_t>(p, p + s.GetSize());
    };
    TJPEGImage j;
    j.Assign(&src);
    EXPECT_EQ(j.GetWidth(), 37);
    j.SetCompressionQuality(95);
    auto high = save(j);
    j.SetCompressionQuality(10);
    auto low = save(j);
    ASSERT_GT(high.size(), 2u);
    EXPECT_EQ(high[0], 0xFF);
    EXPECT_EQ(high[1], 0xD8);
    EXPECT_LT(low.size(), high.size());
    // The saved file decodes close to the source.
    TJPEGImage back;
    Load(back, high);
    TBitmap* b = back.GetBitmap();
    ASSERT_EQ(b->GetWidth(), 37);
    auto meanDiff = [&](TBitmap* d) {
        long diff = 0;
        for (int y = 0; y < 23; ++y) {
            auto* p = static_cast<uint8_t*>(d->ScanLine(y));
            auto* q = static_cast<uint8_t*>(src.ScanLine(y));
            for (int i = 0; i < 37 * 3; ++i) diff += std::abs(int(p[i]) - int(q[i]));
        }
        return diff / (37.0 * 23 * 3);
    };
    TJPEGImage lowBack;
    Load(lowBack, low);
    EXPECT_LT(meanDiff(b), 8.0);
    EXPECT_LT(meanDiff(b), meanDiff(lowBack.GetBitmap()));
    // Grey compression gives a one-component file; progressive encoding decodes the same.
    j.SetGrayscale(true);
    auto g = save(j);
    TJPEGImage gj;
    Load(gj, g);
    EXPECT_EQ(gj.GetBitmap()->GetPixelFormat(), pf8bit);
    j.SetGrayscale(false);
    j.SetCompressionQuality(95);
    j.SetProgressiveEncoding(true);
    auto prog = save(j);
    TJPEGImage pj;
    Load(pj, prog);
    EXPECT_EQ(pj.GetBitmap()->GetWidth(), 37);
    // A loaded picture saves its data unchanged.
    TJPEGImage loaded;
    loaded.LoadFromFile(kData + "prog.jpg");
    EXPECT_EQ(save(loaded), ReadFileBytes(kData + "prog.jpg"));
}
