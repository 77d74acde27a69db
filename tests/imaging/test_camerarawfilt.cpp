// Camera raw files: a synthetic DNG decoded through the output stage and compared with what
// LibRaw's own dcraw_emu decodes linearly, the output stage's pieces, the embedded preview,
// 45-degree sensors turned upright, CIFF heaps (both byte orders, nesting, damaged heaps)
// and streams that are no raw file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/formats/camerarawfilt.h"

namespace ie::test {
namespace {

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("raw", Name)); }

struct RawRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

template <class Setup>
RawRead Read(const std::vector<uint8_t>& File, Setup&& Configure, bool Preview = false) {
    RawRead r;
    Configure(*r.Params);
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadCameraRAWStream(s.get(), r.Bitmap.get(), *r.Params, Preview, p.Rec);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}
RawRead Read(const std::vector<uint8_t>& File, bool Preview = false) {
    return Read(
        File, [](TIOParamsVals&) {}, Preview);
}

// A 16-bit binary PPM as dcraw_emu writes it: samples R, G, B, big-endian.
struct Linear {
    int32_t Width = 0, Height = 0;
    std::vector<uint16_t> Samples;
    const uint16_t* At(int32_t X, int32_t Y) const { return &Samples[(static_cast<size_t>(Y) * Width + X) * 3]; }
};

Linear DecodeWithDcrawEmu(const std::string& Folder, const std::string& Options) {
    const std::string file = Folder + "/bench.dng";
    WriteBytes(file, Fixture("bench.dng"));
    int st = -1;
    RunCommand("dcraw_emu -4 " + Options + " '" + file + "' 2>&1", &st);
    EXPECT_EQ(st, 0) << "dcraw_emu (Debian libraw-bin) is needed";
    const auto b = ReadBytes(file + ".ppm");
    Linear l;
    size_t i = 0;
    auto token = [&]() {
        std::string t;
        while (i < b.size() && isspace(b[i])) ++i;
        while (i < b.size() && !isspace(b[i])) t += static_cast<char>(b[i++]);
        return t;
    };
    if (token() != "P6") return l;
    l.Width = std::stoi(token());
    l.Height = std::stoi(token());
    EXPECT_EQ(token(), "65535");
    ++i;
    for (; i + 1 < b.size(); i += 2) l.Samples.push_back(static_cast<uint16_t>(b[i] << 8 | b[i + 1]));
    EXPECT_EQ(l.Samples.size(), static_cast<size_t>(l.Width) * l.Height * 3);
    return l;
}

// The output stage over a linear decoding: white point from the brightness histogram of the
// whole image, the gamma curve, each sample times the curve at its pixel's index.
std::vector<double> ExpectedCurve(const Linear& L, double Gamma, double Brightness, bool Native) {
    std::vector<int64_t> histogram(8192, 0);
    for (size_t i = 0; i + 2 < L.Samples.size(); i += 3)
        ++histogram[static_cast<size_t>(IERawBrightnessIndex(L.Samples[i], L.Samples[i + 1], L.Samples[i + 2]) >> 3)];
    const double white = IERawWhitePoint(histogram.data(), static_cast<int64_t>(0.01 * L.Width * L.Height));
    std::vector<double> curve(65536, 0);
    for (int i = 1; i < 65536; ++i)
        curve[static_cast<size_t>(i)] =
            std::pow(2.0 * i / white, Gamma - 1) * Brightness * 442 / white * (Native ? 65535.0 / 255 : 1.0);
    return curve;
}

TEST(CameraRaw, SyntheticDNGThroughTheOutputStage) {
    char pattern[] = "/tmp/lumetra-raw-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    struct Case {
        const char* What;
        bool Native, Half;
        double Gamma, Brightness;
        const char* Options;
        int32_t Border;
    } cases[] = {
        {"8-bit", false, false, 0.6, 1.0, "-a", 1},
        {"16-bit", true, false, 0.6, 1.0, "-a", 1},
        {"8-bit, gamma 0.45, brighter", false, false, 0.45, 1.5, "-a", 1},
        {"half size", false, true, 0.6, 1.0, "-a -h", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const Linear lin = DecodeWithDcrawEmu(folder, c.Options);
        ASSERT_GT(lin.Width, 0);
        const auto r = Read(Fixture("bench.dng"), [&](TIOParamsVals& P) {
            P.NativePixelFormat = c.Native;
            P.RAWDecoderFlag = c.Half;
            P.RAWGamma = c.Gamma;
            P.RAWBrightness = c.Brightness;
        });
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->Width, 62);  // the decoder's width less 2, whatever the output
        EXPECT_EQ(r.Params->Height, 46);
        EXPECT_EQ(r.Params->RAWCamera, "Lumetra Bench 1 ");
        EXPECT_EQ(r.Params->BitsPerSample, c.Native ? 16 : 8);
        EXPECT_EQ(r.Params->SamplesPerPixel, 3);
        EXPECT_EQ(r.Params->DpiX, IEDefaultDpiX);
        EXPECT_EQ(r.Params->EXIFMake, "Lumetra");
        ASSERT_EQ(r.Bitmap->GetPixelFormat(), c.Native ? ieRGB48 : ie24RGB);
        ASSERT_EQ(r.Bitmap->GetWidth(), lin.Width - 2 * c.Border);
        ASSERT_EQ(r.Bitmap->GetHeight(), lin.Height - 2 * c.Border);
        const std::vector<double> curve = ExpectedCurve(lin, c.Gamma, c.Brightness, c.Native);
        const double cap = c.Native ? 65535 : 255;
        int bad = 0;
        for (int32_t y = 0; y < r.Bitmap->GetHeight(); ++y)
            for (int32_t x = 0; x < r.Bitmap->GetWidth(); ++x) {
                const uint16_t* s = lin.At(x + c.Border, y + c.Border);
                const double f = curve[static_cast<size_t>(IERawBrightnessIndex(s[0], s[1], s[2]))];
                int32_t want[3], got[3];
                for (int ch = 0; ch < 3; ++ch) want[ch] = static_cast<int32_t>(std::min(std::trunc(s[ch] * f), cap));
                if (c.Native) {
                    const auto* p = static_cast<const uint16_t*>(r.Bitmap->GetScanline(y)) + 3 * x;
                    got[0] = p[0], got[1] = p[1], got[2] = p[2];
                } else {
                    const TRGB p = r.Bitmap->GetPixelRGB(x, y);
                    got[0] = p.r, got[1] = p.g, got[2] = p.b;
                }
                for (int ch = 0; ch < 3; ++ch)
                    if (std::abs(got[ch] - want[ch]) > 1 && bad++ < 5)
                        ADD_FAILURE() << x << "," << y << " channel " << ch << ": " << got[ch] << " want " << want[ch];
            }
        EXPECT_EQ(r.Reports.front(), 70);
        EXPECT_EQ(r.Reports.back(), 100);
    }
    RunCommand("rm -rf '" + folder + "'");
}

TEST(CameraRaw, RedAndBlueMultipliers) {
    auto mean = [](TIEBitmap& B, int Channel) {
        double sum = 0;
        for (int32_t y = 0; y < B.GetHeight(); ++y)
            for (int32_t x = 0; x < B.GetWidth(); ++x) {
                const TRGB p = B.GetPixelRGB(x, y);
                sum += Channel == 0 ? p.r : Channel == 1 ? p.g : p.b;
            }
        return sum / (B.GetWidth() * B.GetHeight());
    };
    const auto plain = Read(Fixture("bench.dng"));
    const auto redder = Read(Fixture("bench.dng"), [](TIOParamsVals& P) {
        P.RAWRedScale = 1.6;
        P.RAWBlueScale = 0.5;
    });
    ASSERT_FALSE(redder.Aborted);
    EXPECT_GT(mean(*redder.Bitmap, 0) / mean(*redder.Bitmap, 1), 1.2 * mean(*plain.Bitmap, 0) / mean(*plain.Bitmap, 1));
    EXPECT_LT(mean(*redder.Bitmap, 2) / mean(*redder.Bitmap, 1), 0.8 * mean(*plain.Bitmap, 2) / mean(*plain.Bitmap, 1));
}

TEST(CameraRaw, ParametersOnlyPreviewAndProbe) {
    const auto preview = Read(Fixture("bench.dng"), true);
    ASSERT_FALSE(preview.Aborted);
    EXPECT_EQ(preview.Params->Width, 62);
    EXPECT_EQ(preview.Bitmap->GetWidth(), 0);

    // The embedded preview instead of the decoding.
    const auto thumb = Read(Fixture("bench_thumb.dng"), [](TIOParamsVals& P) { P.RAWGetExifThumbnail = true; });
    ASSERT_FALSE(thumb.Aborted);
    EXPECT_TRUE(thumb.Params->RAWGetExifThumbnail);
    EXPECT_EQ(thumb.Bitmap->GetWidth(), 16);
    EXPECT_EQ(thumb.Bitmap->GetHeight(), 12);
    // Without a preview in the file the option decodes the raw data.
    const auto none = Read(Fixture("bench.dng"), [](TIOParamsVals& P) { P.RAWGetExifThumbnail = true; });
    ASSERT_FALSE(none.Aborted);
    EXPECT_EQ(none.Bitmap->GetWidth(), 62);
    // The preview as the reference of the colours: still a full decoding.
    const auto matched = Read(Fixture("bench_thumb.dng"), [](TIOParamsVals& P) { P.RAWReaderFlag = true; });
    ASSERT_FALSE(matched.Aborted);
    EXPECT_EQ(matched.Bitmap->GetWidth(), 62);

    struct Case {
        const char* What;
        std::vector<uint8_t> File;
        bool Raw;
    } cases[] = {
        {"DNG", Fixture("bench.dng"), true},
        {"a JPEG", Fixture("thumb.jpg"), false},
        {"a CIFF heap without image data", Fixture("sample_le.crw"), false},
        {"nothing", {}, false},
        {"a TIFF header only", {'I', 'I', 42, 0, 8, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        auto s = MemStream(c.File);
        if (!c.File.empty()) s->Seek(3, cl::soBeginning);
        EXPECT_EQ(IEIsCameraRAWStream(s.get()), c.Raw);
        EXPECT_EQ(s->GetPosition(), c.File.empty() ? 0 : 3);
        EXPECT_EQ(Read(c.File).Aborted, !c.Raw);
    }
    // A DNG cut short of its image data.
    auto cut = Fixture("bench.dng");
    cut.resize(cut.size() / 2);
    EXPECT_TRUE(Read(cut).Aborted);
}

TEST(CameraRaw, BrightnessIndexAndWhitePoint) {
    struct IndexCase {
        uint16_t R, G, B;
        int32_t Want;
    } indexes[] = {{0, 0, 0, 0}, {3, 4, 0, 2}, {1000, 1000, 1000, 866}, {65535, 65535, 65535, 56754}};
    for (const auto& c : indexes) EXPECT_EQ(IERawBrightnessIndex(c.R, c.G, c.B), c.Want) << c.R;

    std::vector<int64_t> h(8192, 0);
    EXPECT_EQ(IERawWhitePoint(h.data(), 0), 1.0);  // never exceeds the percentile
    h[1000] = 50;
    h[2000] = 10;
    EXPECT_EQ(IERawWhitePoint(h.data(), 5), (2000 - 1) * 16.0);
    EXPECT_EQ(IERawWhitePoint(h.data(), 10), (1000 - 1) * 16.0);
    EXPECT_EQ(IERawWhitePoint(h.data(), 60), 1.0);
    std::vector<int64_t> low(8192, 0);
    low[1] = 10;
    EXPECT_EQ(IERawWhitePoint(low.data(), 1), 1.0);  // bin 1 gives 0
}

TEST(CameraRaw, RotatedSensorTurnedUpright) {
    // 10 x 10, row 0 lit from column 2 to 7: half-width 7, height 2 x 10 - 4 - 4 = 12.
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "48-bit" : "24-bit");
        TIEBitmap b(10, 10, wide ? ieRGB48 : ie24RGB);
        for (int32_t y = 0; y < 10; ++y) std::memset(b.GetScanline(y), 0, static_cast<size_t>(b.GetRowLen()));
        auto put = [&](int32_t x, int32_t y, uint16_t v) {
            if (wide) {
                auto* p = static_cast<uint16_t*>(b.GetScanline(y)) + 3 * x;
                p[0] = p[1] = p[2] = v;
            } else {
                auto* p = static_cast<uint8_t*>(b.GetScanline(y)) + 3 * x;
                p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
            }
        };
        auto get = [&](TIEBitmap& B, int32_t x, int32_t y) -> int {
            return wide ? static_cast<uint16_t*>(B.GetScanline(y))[3 * x]
                        : static_cast<uint8_t*>(B.GetScanline(y))[3 * x];
        };
        for (int32_t x = 2; x <= 7; ++x) put(x, 0, 9);
        // Source (row 1, column 5) lands in buffer row 1 + 5 - 8 + 6 = 4, column (5 + 7 - 1 - 1) / 2 = 5,
        // which is output row 3, column 10.
        put(5, 1, 200);
        wide ? IEFujiUnrotate48(&b) : IEFujiUnrotate24(&b);
        ASSERT_EQ(b.GetWidth(), 14);
        ASSERT_EQ(b.GetHeight(), 12);
        EXPECT_EQ(get(b, 10, 3), 200);
        // Its horizontal neighbours are the means of the four around them: on the right two
        // of them are lit pixels of row 0 (columns 5 and 6 land in buffer (3, 5) and (4, 6)).
        EXPECT_EQ(get(b, 9, 3), 200 / 4);
        EXPECT_EQ(get(b, 11, 3), (200 + 9 + 9) / 4);
        for (int32_t x = 0; x < 14; ++x) EXPECT_EQ(get(b, x, 11), 0);  // the last row stays black
        for (int32_t y = 0; y < 12; ++y) EXPECT_EQ(get(b, 0, y), 0);   // and the first column
    }
    // A first row without light: nothing to turn.
    TIEBitmap dark(6, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y) std::memset(dark.GetScanline(y), 0, static_cast<size_t>(dark.GetRowLen()));
    IEFujiUnrotate24(&dark);
    EXPECT_EQ(dark.GetWidth(), 6);
}

class CIFF : public CodecIOTest {};

TEST_F(CIFF, HeapsOfBothByteOrders) {
    for (const char* name : {"sample_le.crw", "sample_be.crw"}) {
        SCOPED_TRACE(name);
        TIOParamsVals p(nullptr);
        auto s = MemStream(Fixture(name));
        IEReadCIFFInfo(s.get(), p);
        EXPECT_EQ(p.EXIFMake, "Lumetra");
        EXPECT_EQ(p.EXIFModel, "Bench CIFF");
        EXPECT_EQ(p.EXIFImageDescription, "a test heap");
        EXPECT_EQ(p.EXIFSoftware, "Firmware 1.0.2");
        EXPECT_EQ(p.EXIFPixelXDimension, 3000);
        EXPECT_EQ(p.EXIFPixelYDimension, 2000);
        // The smaller preview is the thumbnail.
        ASSERT_NE(p.GetEXIFThumbnail(), nullptr);
        EXPECT_EQ(p.GetEXIFThumbnail()->GetWidth(), 8);
        EXPECT_EQ(p.GetEXIFThumbnail()->GetHeight(), 6);
        // Maker entries 1 and 4, 16-bit values.
        TIETagsHandler* note = p.EXIFMakerNote();
        ASSERT_NE(note, nullptr);
        ASSERT_EQ(note->GetEntryCount(), 2);
        EXPECT_EQ(note->GetEntry(0).Tag, 1);
        EXPECT_EQ(note->GetEntry(1).Tag, 4);
        EXPECT_EQ(note->GetEntry(1).Type, 3);
        EXPECT_EQ(note->GetEntry(1).Count, 3u);
        EXPECT_EQ(note->GetEntryData(1), (std::vector<uint8_t>{10, 0, 20, 0, 30, 0}));
        EXPECT_EQ(note->GetEntryData(0), (std::vector<uint8_t>{7, 0}));
    }
}

TEST_F(CIFF, NestingLimitsAndDamagedHeaps) {
    struct Case {
        const char* What;
        std::vector<uint8_t> File;
        const char* Description;
        const char* Make;
    } cases[] = {
        {"20 nested heaps: read to depth 16", Fixture("deep.crw"), "level 16", ""},
        {"entries pointing at the parent, past it or past the end", Fixture("looped.crw"), "looped", ""},
        {"a directory past its heap", Fixture("dir_outside.crw"), "", ""},
        {"neither a byte order nor the signature", Fixture("thumb.jpg"), "", ""},
        {"too short", {'I', 'I', 0}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TIOParamsVals p(nullptr);
        auto s = MemStream(c.File);
        IEReadCIFFInfo(s.get(), p);
        EXPECT_EQ(p.EXIFImageDescription, c.Description);
        EXPECT_EQ(p.EXIFMake, c.Make);
    }
    // Cut anywhere, the sample never reads outside the stream.
    const auto full = Fixture("sample_le.crw");
    for (size_t n = 0; n < full.size(); n += 7) {
        TIOParamsVals p(nullptr);
        auto s = MemStream(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
        IEReadCIFFInfo(s.get(), p);
    }
}

class CameraRawEngine : public CodecIOTest {};

TEST_F(CameraRawEngine, LoadsThroughTheComponent) {
    const std::string path = Temp("bench.nef");  // an extension of the format's list
    WriteBytes(path, Fixture("bench.dng"));
    TVovozIdIO io(nullptr);
    io.LoadFromFile(cl::String(path));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioRAW);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 62);
    // Detection by content: a TIFF structure whose image is a colour filter array is camera raw.
    auto s = MemStream(Fixture("bench.dng"));
    EXPECT_EQ(IEFindStreamFormat(s.get()), ioRAW);
}

}  // namespace
}  // namespace ie::test
