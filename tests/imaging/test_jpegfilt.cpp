// The JPEG codec over libjpeg: files made by cjpeg, ImageMagick, vips and exiftool read as
// djpeg and ImageMagick decode them (every chroma sampling, progressive, grey, RGB, CMYK and
// YCCK, restart intervals, scaled loads, DCT methods, EXIF orientations), the header and
// metadata fields, our files read back by djpeg, identify and exiftool, the marker
// scanners, damaged files, and the class library's JPEG picture giving the same pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "classlib/Jpeg.h"
#include "formats_testutil.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/jpegfilt.h"
#include "lumetra_image.h"

// After the project's headers: it defines TRUE and FALSE as macros.
#include <lcms2.h>

namespace ie::test {
namespace {

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("jpeg", Name)); }

struct ReadOptions {
    bool Native = false;
    int32_t MaxRows = -1;
    bool ReadICC = true, DropAppliedICC = true, InvertCMYK = false, ReadMetadata = true, KeepYCbCr = false;
    bool ParamsOnly = false;
};

struct JpegRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    int32_t Rows = 0;
    std::vector<int32_t> Reports;
    int64_t EndPosition = 0;
};

// Reads File; Setup may change the parameters first.
template <class F>
JpegRead Read(const std::vector<uint8_t>& File, const ReadOptions& O, F Setup) {
    JpegRead r;
    Setup(*r.Params);
    auto s = MemStream(File);
    Progress p;
    p.Record();
    r.Rows = IEReadJPEGStream(s.get(), nullptr, r.Bitmap.get(), O.Native, O.MaxRows, O.ReadICC, O.DropAppliedICC,
                              O.InvertCMYK, O.ReadMetadata, O.KeepYCbCr, O.ParamsOnly, p.Rec, *r.Params);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    r.EndPosition = s->GetPosition();
    return r;
}
JpegRead Read(const std::vector<uint8_t>& File, const ReadOptions& O = {}) {
    return Read(File, O, [](TIOParamsVals&) {});
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWriteJPEGStream(&s, &B, P, p.Rec);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

// The ink bytes ImageMagick decoded (C, M, Y, K with 255 full ink).
std::vector<uint8_t> Ink(const std::string& Name) { return Fixture(Name + ".ink"); }

// A 24-bit picture with detail in every channel.
std::unique_ptr<TIEBitmap> Photo(int32_t W, int32_t H) {
    return Make24(W, H, [](int x, int y) {
        return TRGB{static_cast<uint8_t>((x * 5 + y) % 256), static_cast<uint8_t>((y * 3 + 40) % 256),
                    static_cast<uint8_t>(128 + 100 * std::sin(x * 0.2) * std::cos(y * 0.15))};
    });
}

// Mean absolute difference per channel between the bitmap and a reference.
double MeanError(TIEBitmap& B, const RefImage& Ref) {
    double sum = 0;
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x) {
            const TRGB p = B.GetPixelRGB(x, y);
            const uint8_t* r = Ref.At(x, y);
            sum += std::abs(p.r - r[0]) + std::abs(p.g - r[Ref.Channels == 3 ? 1 : 0]) +
                   std::abs(p.b - r[Ref.Channels == 3 ? 2 : 0]);
        }
    return sum / (3.0 * Ref.Width * Ref.Height);
}

TEST(JPEGRead, IndependentFilesAsDjpegAndImageMagickDecodeThem) {
    struct Case {
        const char* Name;
        uint8_t ColorSpace;
        int32_t Samples;
        bool Progressive;
        // clang-format off
    } cases[] = {
        {"s444", 2, 3, false}, {"s422", 2, 3, false},  {"s440", 2, 3, false},     {"s420", 2, 3, false},
        {"s411", 2, 3, false}, {"s410", 2, 3, false},  {"prog", 2, 3, true},      {"rgb", 0, 3, false},
        {"grey", 1, 1, false}, {"arith", 2, 3, false}, {"restart", 2, 3, false}, {"restartb", 2, 3, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = FixturePath("jpeg", std::string(c.Name) + ".jpg");
        const auto r = Read(ReadBytes(file));
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Rows, 45);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), ie24RGB);
        EXPECT_EQ(r.Params->JPEGColorSpace, c.ColorSpace);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->BitsPerSample, 8);
        EXPECT_EQ(r.Params->JPEGProgressive, c.Progressive);
        EXPECT_EQ(r.Params->Width, 61);
        EXPECT_EQ(r.Params->OriginalHeight, 45);
        EXPECT_EQ(r.Params->JPEGWarningCount, 0);
        const std::string ref = std::string(c.Name) + (c.Samples == 1 ? ".ref.pgm" : ".ref.ppm");
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("jpeg", ref)));
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(file));
        EXPECT_EQ(r.Reports.back(), 100);
    }
}

TEST(JPEGRead, GreyNativeKeepsOneByte) {
    const auto r = Read(Fixture("grey.jpg"), ReadOptions{.Native = true});
    ASSERT_EQ(r.Bitmap->GetPixelFormat(), ie8g);
    const RefImage ref = LoadRef(FixturePath("jpeg", "grey.ref.pgm"));
    for (int32_t y = 0; y < ref.Height; ++y)
        for (int32_t x = 0; x < ref.Width; ++x) ASSERT_EQ(r.Bitmap->GetPixel8(x, y), ref.At(x, y)[0]);
    // Colour files are ie24RGB with or without the flag.
    EXPECT_EQ(Read(Fixture("s420.jpg"), ReadOptions{.Native = true}).Bitmap->GetPixelFormat(), ie24RGB);
}

TEST(JPEGRead, CMYKAndYCCKKeepTheStoredSamples) {
    for (const char* name : {"cmyk", "ycck"}) {
        SCOPED_TRACE(name);
        const auto native = Read(Fixture(std::string(name) + ".jpg"), ReadOptions{.Native = true});
        ASSERT_FALSE(native.Aborted);
        ASSERT_EQ(native.Bitmap->GetPixelFormat(), ieCMYK);
        EXPECT_EQ(native.Params->JPEGColorSpace, std::string(name) == "cmyk" ? 3 : 4);
        EXPECT_EQ(native.Params->SamplesPerPixel, 4);
        // The stored samples are 255 minus the ink that ImageMagick decodes, and djpeg's
        // rendering is each inverted ink times the inverted black.
        const auto ink = Ink(name);
        const RefImage djpeg = LoadRef(FixturePath("jpeg", std::string(name) + ".ref.ppm"));
        ASSERT_EQ(ink.size(), size_t{61} * 45 * 4);
        for (int32_t y = 0; y < 45; ++y)
            for (int32_t x = 0; x < 61; ++x) {
                const TCMYK p = native.Bitmap->GetPixelCMYK(x, y);
                const uint8_t* k = &ink[(static_cast<size_t>(y) * 61 + x) * 4];
                ASSERT_EQ(p.c, 255 - k[0]) << x << "," << y;
                ASSERT_EQ(p.m, 255 - k[1]);
                ASSERT_EQ(p.y, 255 - k[2]);
                ASSERT_EQ(p.k, 255 - k[3]);
                const uint8_t* d = djpeg.At(x, y);
                ASSERT_EQ(d[0], static_cast<int>(p.c * p.k / 255.0 + 0.5));
                ASSERT_EQ(d[1], static_cast<int>(p.m * p.k / 255.0 + 0.5));
                ASSERT_EQ(d[2], static_cast<int>(p.y * p.k / 255.0 + 0.5));
            }
        // Without the flag each pixel is the library's CMYK conversion of those samples,
        // and with InvertCMYK the conversion of their inverses.
        const auto rgb = Read(Fixture(std::string(name) + ".jpg"));
        const auto inverted = Read(Fixture(std::string(name) + ".jpg"), ReadOptions{.InvertCMYK = true});
        ASSERT_EQ(rgb.Bitmap->GetPixelFormat(), ie24RGB);
        for (int32_t y = 0; y < 45; y += 4)
            for (int32_t x = 0; x < 61; x += 3) {
                TCMYK p = native.Bitmap->GetPixelCMYK(x, y);
                EXPECT_EQ(rgb.Bitmap->GetPixel24(x, y), IECMYKToRGB(p));
                p = TCMYK{static_cast<uint8_t>(255 - p.c), static_cast<uint8_t>(255 - p.m),
                          static_cast<uint8_t>(255 - p.y), static_cast<uint8_t>(255 - p.k)};
                EXPECT_EQ(inverted.Bitmap->GetPixel24(x, y), IECMYKToRGB(p));
            }
    }
}

TEST(JPEGRead, ScaledLoadsAsDjpegScales) {
    struct Case {
        const char* File;
        uint8_t Scale;
        int32_t WantW, WantH;  // for the automatic choice
        const char* Ref;
        int32_t Used;
        // clang-format off
    } cases[] = {
        {"s420", 2, 0, 0, "s420.half.ppm", 2},     {"s420", 3, 0, 0, "s420.quarter.ppm", 4},
        {"s420", 4, 0, 0, "s420.eighth.ppm", 8},   {"prog", 3, 0, 0, "prog.quarter.ppm", 4},
        {"s420", 0, 30, 20, "s420.half.ppm", 2},   {"s420", 0, 15, 11, "s420.quarter.ppm", 4},
        {"s420", 0, 7, 5, "s420.eighth.ppm", 8},   {"s420", 0, 0, 20, "s420.ref.ppm", 1},
        {"s420", 0, 31, 20, "s420.ref.ppm", 1},    {"s420", 1, 7, 5, "s420.ref.ppm", 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + c.Ref + " " + std::to_string(c.Scale));
        const auto r = Read(Fixture(std::string(c.File) + ".jpg"), ReadOptions{}, [&](TIOParamsVals& P) {
            P.JPEGScale = c.Scale;
            P.Width = c.WantW;
            P.Height = c.WantH;
        });
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->JPEGScaleUsed, c.Used);
        EXPECT_EQ(r.Params->OriginalWidth, 61);
        const RefImage ref = LoadRef(FixturePath("jpeg", c.Ref));
        EXPECT_EQ(r.Params->Width, ref.Width);
        ExpectSameRGB(*r.Bitmap, ref);
    }
}

TEST(JPEGRead, AutomaticScaleOfALargePicture) {
    // 2,592 x 1,944 wanted at 300 x 200 decodes at 1/8, at 400 x 300 at 1/4.
    auto big = Photo(2592, 1944);
    TIOParamsVals w(nullptr);
    w.JPEGQuality = 30;
    const auto file = Write(*big, w);
    for (auto [ww, wh, used] : {std::tuple{300, 200, 8}, std::tuple{400, 300, 4}}) {
        const auto r = Read(file, ReadOptions{}, [&](TIOParamsVals& P) {
            P.JPEGScale = 0;
            P.Width = ww;
            P.Height = wh;
        });
        EXPECT_EQ(r.Params->JPEGScaleUsed, used);
        EXPECT_EQ(r.Bitmap->GetWidth(), 2592 / used);
        EXPECT_EQ(r.Bitmap->GetHeight(), 1944 / used);
    }
}

TEST(JPEGRead, DCTMethodsAsDjpeg) {
    for (auto [method, ref] : {std::pair{1, "s420.fast.ppm"}, std::pair{2, "s420.float.ppm"}}) {
        SCOPED_TRACE(ref);
        const auto r = Read(Fixture("s420.jpg"), ReadOptions{},
                            [&](TIOParamsVals& P) { P.JPEGDCTMethod = static_cast<uint8_t>(method); });
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("jpeg", ref)));
    }
}

TEST(JPEGRead, EXIFOrientationTurnsThePictureUprightOnRequest) {
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        const auto file = Fixture("orient" + std::to_string(o) + ".jpg");
        const auto asStored = Read(file);
        EXPECT_EQ(asStored.Params->EXIFOrientation, o);
        ExpectSameRGB(*asStored.Bitmap, LoadRef(FixturePath("jpeg", "s420.ref.ppm")));
        const auto upright = Read(file, ReadOptions{}, [](TIOParamsVals& P) { P.JPEGApplyOrientation = true; });
        EXPECT_EQ(upright.Params->EXIFOrientation, 1);
        ExpectSameRGB(*upright.Bitmap, LoadRef(FixturePath("jpeg", "orient" + std::to_string(o) + ".ref.ppm")));
    }
}

TEST(JPEGRead, ResolutionFromJFIFAndEXIF) {
    struct Case {
        const char* File;
        int32_t Dpi;
    } cases[] = {
        {"s420.jpg", 1},      // JFIF without unit, 1 by 1, no EXIF
        {"exif72.jpg", 72},   // the same with an EXIF block of 72 dots per inch
        {"exifcm.jpg", 254},  // EXIF 100 dots per centimetre
        {"meta.jpg", 299},    // JFIF 118 dots per centimetre (299.72 truncated) wins over EXIF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        const auto r = Read(Fixture(c.File));
        EXPECT_EQ(r.Params->DpiX, c.Dpi);
        EXPECT_EQ(r.Params->DpiY, c.Dpi);
    }
    // Without metadata parsing the EXIF resolution plays no part.
    EXPECT_EQ(Read(Fixture("exif72.jpg"), ReadOptions{.ReadMetadata = false}).Params->DpiX, 1);
}

TEST(JPEGRead, MetadataAndMarkers) {
    const auto r = Read(Fixture("meta.jpg"));
    ASSERT_FALSE(r.Aborted);
    TIOParamsVals& p = *r.Params;
    EXPECT_TRUE(p.HasEXIFData);
    EXPECT_EQ(p.EXIFMake, "Tester");
    EXPECT_NE(p.XMPInfo.find("A test picture"), std::string::npos);
    bool keyword = false;
    for (int32_t i = 0; i < p.IPTC()->GetCount(); ++i)
        if (p.IPTC()->GetRecordNumber(i) == 2 && p.IPTC()->GetDataSet(i) == 25)
            keyword = std::string(reinterpret_cast<const char*>(p.IPTC()->GetItemData(i)),
                                  p.IPTC()->GetItemLength(i)) == "lumetra";
    EXPECT_TRUE(keyword);
    // The JFIF APP0 is left out; EXIF, XMP, IPTC and the comment are kept in file order.
    TIEMarkerList* m = p.JPEGMarkers();
    std::string codes;
    for (int32_t i = 0; i < m->GetCount(); ++i) codes += std::to_string(m->GetMarkerType(i)) + " ";
    EXPECT_EQ(m->IndexOf(IEJPEG_APP0), -1) << codes;
    EXPECT_GE(m->IndexOf(IEJPEG_APP13), 0) << codes;
    const int32_t com = m->IndexOf(IEJPEG_COM);
    ASSERT_GE(com, 0) << codes;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->GetMarkerData(com)), m->GetMarkerLength(com)),
              "made for the tests");
    // Without metadata parsing the markers stay but the fields do not fill.
    const auto bare = Read(Fixture("meta.jpg"), ReadOptions{.ReadMetadata = false});
    EXPECT_FALSE(bare.Params->HasEXIFData);
    EXPECT_EQ(bare.Params->JPEGMarkers()->GetCount(), m->GetCount());
}

TEST(JPEGRead, EXIFThumbnailInPlaceOfThePicture) {
    std::vector<uint8_t> file(17, 0x55);  // the thumbnail pass goes back to where it began
    const auto meta = Fixture("meta.jpg");
    file.insert(file.end(), meta.begin(), meta.end());
    const auto r = Read(file, ReadOptions{}, [](TIOParamsVals& P) { P.JPEGGetExifThumbnail = true; });
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Rows, 0);
    EXPECT_EQ(r.Bitmap->GetWidth(), 16);
    EXPECT_EQ(r.Bitmap->GetHeight(), 12);
    EXPECT_EQ(r.Params->Width, 61);
    EXPECT_EQ(r.Params->Height, 45);
    EXPECT_TRUE(r.Params->JPEGGetExifThumbnail);
    // A file without a thumbnail gives the picture itself.
    std::vector<uint8_t> plain(17, 0x55);
    const auto s420 = Fixture("s420.jpg");
    plain.insert(plain.end(), s420.begin(), s420.end());
    const auto p = Read(plain, ReadOptions{}, [](TIOParamsVals& P) { P.JPEGGetExifThumbnail = true; });
    EXPECT_FALSE(p.Aborted);
    EXPECT_EQ(p.Rows, 45);
    ExpectSameRGB(*p.Bitmap, LoadRef(FixturePath("jpeg", "s420.ref.ppm")));
}

TEST(JPEGRead, ParamsOnlyMaxRowsAndGarbageBeforeTheStart) {
    const auto file = Fixture("prog.jpg");
    auto r = Read(file, ReadOptions{.ParamsOnly = true});
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Rows, 0);
    EXPECT_EQ(r.Params->Width, 61);
    EXPECT_EQ(r.Params->Height, 45);
    EXPECT_TRUE(r.Params->JPEGProgressive);
    EXPECT_TRUE(r.Bitmap->IsEmpty());

    r = Read(file, ReadOptions{.MaxRows = 16});
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Rows, 16);
    const RefImage ref = LoadRef(FixturePath("jpeg", "prog.ref.ppm"));
    for (int32_t x = 0; x < 61; ++x) EXPECT_EQ(r.Bitmap->GetPixel24(x, 15).r, ref.At(x, 15)[0]);

    for (auto [garbage, found] : {std::pair{37, true}, std::pair{149, true}, std::pair{150, false}}) {
        SCOPED_TRACE(garbage);
        std::vector<uint8_t> g(static_cast<size_t>(garbage), 0x11);
        g.insert(g.end(), file.begin(), file.end());
        auto s = MemStream(g);
        EXPECT_EQ(IEFindJPEGStart(s.get(), true), found ? garbage : -1);
        EXPECT_EQ(IEFindJPEGStart(s.get(), false), -1);
        EXPECT_EQ(s->GetPosition(), 0);
        r = Read(g);
        EXPECT_EQ(r.Aborted, !found);
        EXPECT_EQ(r.Rows, found ? 45 : 0);
    }
}

TEST(JPEGRead, ICCChunksJoinedInSequenceOrder) {
    // Chunks stored 2, 1, 3, with damaged ones among them: number 0, beyond the count,
    // and a segment too short for its header.
    const auto base = Fixture("s420.jpg");
    auto chunk = [](int Seq, int Count, const std::string& Payload) {
        std::vector<uint8_t> seg = {0xFF, 0xE2, 0, 0};
        const std::string tag("ICC_PROFILE\0", 12);
        seg.insert(seg.end(), tag.begin(), tag.end());
        seg.push_back(static_cast<uint8_t>(Seq));
        seg.push_back(static_cast<uint8_t>(Count));
        seg.insert(seg.end(), Payload.begin(), Payload.end());
        const size_t len = seg.size() - 2;
        seg[2] = static_cast<uint8_t>(len >> 8);
        seg[3] = static_cast<uint8_t>(len);
        return seg;
    };
    std::vector<uint8_t> file(base.begin(), base.begin() + 2);
    for (const auto& seg : {chunk(0, 3, "zero"), chunk(2, 3, "BBB"), chunk(7, 3, "beyond"), chunk(1, 3, "AAAA"),
                            std::vector<uint8_t>{0xFF, 0xE2, 0, 6, 'I', 'C', 'C', '_'}, chunk(3, 3, "CC")})
        file.insert(file.end(), seg.begin(), seg.end());
    file.insert(file.end(), base.begin() + 2, base.end());
    auto s = MemStream(file);
    TIOParamsVals p(nullptr);
    IEReadJPEGICCProfile(s.get(), p);
    EXPECT_EQ(s->GetPosition(), 0);
    ASSERT_NE(p.InputICCProfile(), nullptr);
    const TIEICC* icc = p.InputICCProfile();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(icc->GetRaw()), icc->GetRawLength()), "AAAABBBCC");
    // The whole file still decodes, and the chunks stay among its markers.
    const auto r = Read(file);
    EXPECT_FALSE(r.Aborted);
    ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("jpeg", "s420.ref.ppm")));
    EXPECT_GE(r.Params->JPEGMarkers()->IndexOf(IEJPEG_APP2), 0);
}

TEST(JPEGRead, AnAppliedProfileDropsItsChunks) {
    // An sRGB profile in two chunks; with colour management on the reader converts
    // through it, marks it applied and drops the APP2 markers.
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    ASSERT_TRUE(cmsSaveProfileToMem(srgb, nullptr, &size));
    std::vector<uint8_t> profile(size);
    ASSERT_TRUE(cmsSaveProfileToMem(srgb, profile.data(), &size));
    cmsCloseProfile(srgb);
    const auto base = Fixture("s420.jpg");
    std::vector<uint8_t> file(base.begin(), base.begin() + 2);
    const size_t half = profile.size() / 2;
    for (int seq = 1; seq <= 2; ++seq) {
        const size_t from = seq == 1 ? 0 : half, to = seq == 1 ? half : profile.size();
        const size_t len = 2 + 14 + (to - from);
        const std::vector<uint8_t> head = {0xFF, 0xE2, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
        file.insert(file.end(), head.begin(), head.end());
        const std::string tag("ICC_PROFILE\0", 12);
        file.insert(file.end(), tag.begin(), tag.end());
        file.push_back(static_cast<uint8_t>(seq));
        file.push_back(2);
        file.insert(file.end(), profile.begin() + static_cast<std::ptrdiff_t>(from),
                    profile.begin() + static_cast<std::ptrdiff_t>(to));
    }
    file.insert(file.end(), base.begin() + 2, base.end());
    const bool was = IEICCConversionEnabled;
    IEICCConversionEnabled = true;
    const auto r = Read(file);
    const auto kept = Read(file, ReadOptions{.DropAppliedICC = false});
    IEICCConversionEnabled = was;
    ASSERT_FALSE(r.Aborted);
    ASSERT_NE(r.Params->InputICCProfile(), nullptr);
    EXPECT_EQ(r.Params->InputICCProfile()->GetRawLength(), static_cast<int32_t>(profile.size()));
    EXPECT_TRUE(r.Params->InputICCProfile()->Applied);
    EXPECT_EQ(r.Params->JPEGMarkers()->IndexOf(IEJPEG_APP2), -1);
    EXPECT_GE(kept.Params->JPEGMarkers()->IndexOf(IEJPEG_APP2), 0);
    // sRGB to sRGB leaves the colours as they were, within the engine's rounding.
    ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("jpeg", "s420.ref.ppm")), 2);
}

TEST(JPEGRead, LengthScanner) {
    auto file = Fixture("restart.jpg");  // restart markers inside the data are passed over
    const size_t size = file.size();
    file.insert(file.end(), {1, 2, 3, 4, 5});
    auto s = MemStream(file);
    EXPECT_EQ(IEGetJPEGLength(s.get()), static_cast<int32_t>(size));
    EXPECT_EQ(s->GetPosition(), 0);
    file.resize(100);
    s = MemStream(file);
    EXPECT_EQ(IEGetJPEGLength(s.get()), 100);
}

TEST(JPEGRead, TheClassLibraryPictureGivesTheSamePixels) {
    for (const char* name : {"s444", "s420", "s411", "prog", "rgb", "arith", "restart"}) {
        SCOPED_TRACE(name);
        const auto file = Fixture(std::string(name) + ".jpg");
        const auto r = Read(file);
        cl::TJPEGImage picture;
        auto s = MemStream(file);
        picture.LoadFromStream(s.get());
        cl::TBitmap* b = picture.GetBitmap();
        ASSERT_EQ(b->GetWidth(), r.Bitmap->GetWidth());
        ASSERT_EQ(b->GetHeight(), r.Bitmap->GetHeight());
        for (int32_t y = 0; y < b->GetHeight(); ++y)
            ASSERT_EQ(std::memcmp(b->ScanLine(y), r.Bitmap->GetScanline(y), static_cast<size_t>(b->GetWidth()) * 3), 0)
                << "row " << y;
    }
    // Grey: the picture's 8-bit rows hold the grey levels.
    const auto file = Fixture("grey.jpg");
    const auto r = Read(file, ReadOptions{.Native = true});
    cl::TJPEGImage picture;
    auto s = MemStream(file);
    picture.LoadFromStream(s.get());
    cl::TBitmap* b = picture.GetBitmap();
    for (int32_t y = 0; y < b->GetHeight(); ++y)
        ASSERT_EQ(std::memcmp(b->ScanLine(y), r.Bitmap->GetScanline(y), static_cast<size_t>(b->GetWidth())), 0);
}

// ---------------------------------------------------------------------------------------
// Damaged files

TEST(JPEGRead, DamagedFilesAbortWithoutHarm) {
    const auto good = Fixture("s420.jpg");
    const auto prog = Fixture("prog.jpg");
    // Offset of the first SOF0 marker of the baseline file.
    size_t sof = 0;
    for (size_t i = 0; i + 1 < good.size(); ++i)
        if (good[i] == 0xFF && good[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    ASSERT_GT(sof, 0u);
    struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        bool Aborted;
        bool Warned;  // completes with a library warning instead
    };
    auto with = [](std::vector<uint8_t> F, size_t At, std::vector<uint8_t> Bytes) {
        std::copy(Bytes.begin(), Bytes.end(), F.begin() + static_cast<std::ptrdiff_t>(At));
        return F;
    };
    auto cut = [](std::vector<uint8_t> F, size_t N) {
        F.resize(N);
        return F;
    };
    std::vector<Case> cases = {
        {"empty", {}, true, false},
        {"only the start", {0xFF, 0xD8, 0xFF}, true, false},
        {"no frame", cut(good, sof), true, false},
        {"truncated data", cut(good, good.size() * 2 / 3), false, true},
        // Cut between two scans: the picture completes without the later scans.
        {"truncated progressive", cut(prog, prog.size() * 2 / 3), false, false},
        {"huge size in a small file", with(good, sof + 5, {0xFF, 0xF0, 0xFF, 0xF0}), true, false},
        {"zero width", with(good, sof + 7, {0, 0}), true, false},
        {"bad precision", with(good, sof + 4, {12}), true, false},
        {"five components", with(good, sof + 9, {5}), true, false},
        {"bad sampling", with(good, sof + 11, {0x55}), true, false},
        // An APP0 of length 1 is passed over as stray bytes before the next marker.
        {"bad marker length", with(good, 4, {0, 1}), false, true},
        {"bad frame length", with(good, sof + 2, {0, 3}), true, false},
        {"data overwritten", with(good, good.size() / 2, std::vector<uint8_t>(40, 0xA5)), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(c.File);
        EXPECT_EQ(r.Aborted, c.Aborted);
        if (c.Warned) {
            EXPECT_GT(r.Params->JPEGWarningCount, 0);
            EXPECT_NE(r.Params->JPEGWarningCode, 0);
        }
        if (!c.Aborted) {
            EXPECT_EQ(r.Rows, r.Bitmap->GetHeight());
        }
        // A damaged size never makes a bitmap larger than the file justifies.
        EXPECT_LE(static_cast<int64_t>(r.Bitmap->GetWidth()) * r.Bitmap->GetHeight(), 61 * 45);
    }
    // A premature end inside the coded data reports the end of the file, then the library's
    // warning for the segment it cut.
    const auto r = Read(cut(good, good.size() * 2 / 3));
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->JPEGWarningCount, 2);
    EXPECT_STREQ(IEJpegMessageText(r.Params->JPEGWarningCode), "Corrupt JPEG data: premature end of data segment");
    // A progressive file cut between two scans (djpeg: "Premature end of JPEG file") keeps
    // the picture of the scans it has, and says that the file ended early.
    const auto p = Read(cut(prog, prog.size() * 2 / 3));
    EXPECT_FALSE(p.Aborted);
    EXPECT_EQ(p.Rows, p.Bitmap->GetHeight());
    EXPECT_EQ(p.Params->JPEGWarningCount, 1);
    EXPECT_STREQ(IEJpegMessageText(p.Params->JPEGWarningCode), "Premature end of JPEG file");
    // A whole file reads without a warning.
    EXPECT_EQ(Read(prog).Params->JPEGWarningCount, 0);
    EXPECT_STREQ(IEJpegMessageText(124), "Corrupted");
    EXPECT_STREQ(IEJpegMessageText(67), "Application transferred too few scanlines");
}

// The size fields of the first frame header (SOF0 to SOF15) of File set to W x H.
std::vector<uint8_t> ClaimSize(std::vector<uint8_t> File, uint16_t W, uint16_t H) {
    for (size_t i = 0; i + 9 < File.size(); ++i)
        if (File[i] == 0xFF && File[i + 1] >= 0xC0 && File[i + 1] <= 0xCF && File[i + 1] != 0xC4 &&
            File[i + 1] != 0xC8 && File[i + 1] != 0xCC) {
            File[i + 5] = static_cast<uint8_t>(H >> 8);
            File[i + 6] = static_cast<uint8_t>(H);
            File[i + 7] = static_cast<uint8_t>(W >> 8);
            File[i + 8] = static_cast<uint8_t>(W);
            return File;
        }
    ADD_FAILURE() << "no frame header";
    return File;
}

TEST(JPEGRead, FlatArithmeticPagesReadAsDjpegDecodesThem) {
    // A few hundred bytes of arithmetic-coded data hold millions of flat pixels.
    for (const char* name : {"flat_arith.jpg", "flat_arith_grey.jpg"}) {
        SCOPED_TRACE(name);
        const auto file = Fixture(name);
        ASSERT_LT(file.size(), 256u);
        const auto r = Read(file);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetWidth(), 2048);
        EXPECT_EQ(r.Bitmap->GetHeight(), 1536);
        int st = -1;
        const std::string ref = RunCommand("djpeg -pnm '" + FixturePath("jpeg", name) + "'", &st);
        ASSERT_EQ(st, 0);
        ExpectSameRGB(*r.Bitmap, ParseRef(std::vector<uint8_t>(ref.begin(), ref.end())));
    }
}

TEST(JPEGRead, SmallFilesClaimingHugePicturesAreRefusedBeforeAllocating) {
    struct Case {
        const char* What;
        std::vector<uint8_t> File;
    } cases[] = {
        {"Huffman-coded, 2 KB", ClaimSize(Fixture("s420.jpg"), 60000, 60000)},
        // Even arithmetic coding needs a little data for each block: the few coded bytes of
        // the flat pages cannot hold 65,000 x 65,000 pixels.
        {"flat arithmetic page", ClaimSize(Fixture("flat_arith.jpg"), 65000, 65000)},
        {"flat grey arithmetic page", ClaimSize(Fixture("flat_arith_grey.jpg"), 65000, 65000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        for (bool native : {false, true}) {
            ReadOptions o;
            o.Native = native;
            const auto r = Read(c.File, o);
            EXPECT_TRUE(r.Aborted);
            EXPECT_TRUE(r.Bitmap->IsEmpty());
            EXPECT_EQ(r.Rows, 0);
        }
    }
}

TEST(JPEGRead, ATablesStreamThatFailsRaises) {
    const auto file = Fixture("s420.jpg");
    auto s = MemStream(file);
    const std::vector<uint8_t> junk = {0x00, 0x01, 0x02, 0x03};
    auto tables = MemStream(junk);
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    Progress pr;
    EXPECT_THROW(
        IEReadJPEGStream(s.get(), tables.get(), &b, false, -1, false, false, false, false, false, false, pr.Rec, p),
        EIEJpegException);
    EXPECT_TRUE(pr.Aborting);
}

// ---------------------------------------------------------------------------------------
// Writer

TEST(JPEGWrite, OurFilesReadByDjpegAndIdentify) {
    struct Case {
        const char* Name;
        uint8_t ColorSpace, Subsampling;
        bool Progressive, Optimal;
        int32_t Quality;
        const char* Colorspace;  // what identify reports
        const char* Sampling;
        const char* Density;  // a JFIF header holds it; RGB and YCCK files have none
        double MaxError;
    } cases[] = {
        {"ycbcr 2x2", 2, 1, false, false, 90, "sRGB", "2x2,1x1,1x1", "150 75", 3},
        {"ycbcr 2x1", 2, 0, false, true, 90, "sRGB", "2x1,1x1,1x1", "150 75", 3},
        {"ycbcr 1x1", 2, 2, true, false, 95, "sRGB", "1x1,1x1,1x1", "150 75", 2},
        {"rgb", 0, 1, false, false, 95, "sRGB", "1x1,1x1,1x1", "72 72", 2},
        {"grey", 1, 1, false, false, 90, "Gray", "1x1", "150 75", 0},
        {"cmyk", 3, 1, false, false, 95, "CMYK", "1x1,1x1,1x1,1x1", "150 75", 0},
        {"ycck", 4, 1, true, false, 95, "CMYK", "2x2,1x1,1x1,2x2", "72 72", 0},
    };
    auto photo = Photo(67, 41);
    char pattern[] = "/tmp/lumetra-jpeg-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TIOParamsVals p(nullptr);
        p.JPEGColorSpace = c.ColorSpace;
        p.JPEGChromaSubsampling = c.Subsampling;
        p.JPEGProgressive = c.Progressive;
        p.JPEGOptimalHuffman = c.Optimal;
        p.JPEGQuality = c.Quality;
        p.SetDpiX(150);
        p.SetDpiY(75);
        bool aborted = true;
        const auto bytes = Write(*photo, p, &aborted);
        ASSERT_FALSE(aborted);
        const std::string file = dir + "/out.jpg";
        WriteBytes(file, bytes);
        int st = -1;
        const std::string id = RunCommand(
            "/usr/bin/identify -format '%w %h %[colorspace] %[jpeg:sampling-factor] "
            "%[interlace] %x %y' '" +
                file + "' 2>&1",
            &st);
        EXPECT_EQ(st, 0) << id;
        EXPECT_EQ(id, std::string("67 41 ") + c.Colorspace + " " + c.Sampling + " " +
                          (c.Progressive ? "JPEG" : "None") + " " + c.Density);
        // djpeg reads it without a warning; our reading of our file equals djpeg's.
        const std::string djpeg = RunCommand("djpeg -ppm '" + file + "' 2>&1 > '" + dir + "/out.ppm'", &st);
        EXPECT_EQ(st, 0);
        EXPECT_EQ(djpeg, "");
        const auto back = Read(bytes);
        ASSERT_FALSE(back.Aborted);
        EXPECT_EQ(back.Params->JPEGColorSpace, c.ColorSpace);
        EXPECT_EQ(back.Params->JPEGProgressive, c.Progressive);
        const RefImage ref = LoadRef(dir + "/out.ppm");
        if (c.ColorSpace < 3) ExpectSameRGB(*back.Bitmap, ref);
        if (c.ColorSpace == 1) {
            // Grey: each level is the grey of the source's pixel, within the coding loss.
            double sum = 0;
            for (int32_t y = 0; y < 41; ++y)
                for (int32_t x = 0; x < 67; ++x) {
                    const TRGB s = photo->GetPixel24(x, y);
                    sum += std::abs(0.299 * s.r + 0.587 * s.g + 0.114 * s.b - ref.At(x, y)[0]);
                }
            EXPECT_LT(sum / (67 * 41), 3.0);
        } else if (c.ColorSpace < 3) {
            EXPECT_LT(MeanError(*photo, ref), c.MaxError);
        } else {
            // CMYK comes back through the library's CMYK conversion.
            EXPECT_LT(MeanError(*back.Bitmap, DecodeWithImageMagick(file)), 8.0);
        }
    }
    RunCommand("rm -rf '" + dir + "'");
}

TEST(JPEGWrite, MarkersKeptAndReadBackByExiftool) {
    // A file with a second APP0 and an Adobe APP14 besides the JFIF header: the second
    // APP0 is kept and written back, the APP14 is left to the library.
    const auto meta = Fixture("meta.jpg");
    auto r = Read(meta);
    TIEMarkerList* m = r.Params->JPEGMarkers();
    const std::string app0 = "LUMETRA\0extra";
    m->AddMarker(IEJPEG_APP0, app0.data(), static_cast<int32_t>(app0.size()));
    const std::string adobe = "Adobe\0\x64\0\0\0\0\1";
    m->AddMarker(0xEE, adobe.data(), static_cast<int32_t>(adobe.size()));
    const auto bytes = Write(*r.Bitmap, *r.Params);
    char pattern[] = "/tmp/lumetra-jpeg-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string file = std::string(pattern) + "/m.jpg";
    WriteBytes(file, bytes);
    int st = -1;
    const std::string tags = RunCommand(
        "exiftool -s -s -s -Comment -IPTC:Keywords -XMP-dc:Title -EXIF:Make "
        "-EXIF:ResolutionUnit -ThumbnailLength '" +
            file + "'",
        &st);
    EXPECT_EQ(st, 0);
    EXPECT_NE(tags.find("made for the tests"), std::string::npos) << tags;
    EXPECT_NE(tags.find("lumetra"), std::string::npos) << tags;
    EXPECT_NE(tags.find("A test picture"), std::string::npos) << tags;
    EXPECT_NE(tags.find("Tester"), std::string::npos) << tags;
    const auto back = Read(bytes);
    TIEMarkerList* bm = back.Params->JPEGMarkers();
    int app0s = 0, app14s = 0;
    for (int32_t i = 0; i < bm->GetCount(); ++i) {
        app0s += bm->GetMarkerType(i) == IEJPEG_APP0;
        app14s += bm->GetMarkerType(i) == 0xEE;
    }
    EXPECT_EQ(app0s, 1);
    EXPECT_EQ(app14s, 0);
    RunCommand("rm -rf '" + std::string(pattern) + "'");
}

TEST(JPEGWrite, SourcesOtherThan24BitAndEmptyOnes) {
    TIEBitmap grey(20, 10, ie8g);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 20; ++x) grey.SetPixel8(x, y, static_cast<uint8_t>(x * 12));
    TIOParamsVals p(nullptr);
    p.JPEGColorSpace = 1;
    p.JPEGQuality = 100;
    bool aborted = true;
    const auto bytes = Write(grey, p, &aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);  // the caller's bitmap stays as it was
    const auto back = Read(bytes, ReadOptions{.Native = true});
    EXPECT_EQ(back.Params->SamplesPerPixel, 1);
    ASSERT_EQ(back.Bitmap->GetPixelFormat(), ie8g);
    for (int32_t x = 0; x < 20; ++x) EXPECT_NEAR(back.Bitmap->GetPixel8(x, 5), x * 12, 2);

    TIEBitmap empty;
    const auto none = Write(empty, p, &aborted);
    EXPECT_TRUE(aborted);
    EXPECT_TRUE(none.empty());
}

TEST(JPEGWrite, AShortWriteSetsTheAbortFlag) {
    // A stream that takes only 1000 bytes.
    class Small : public cl::TMemoryStream {
    public:
        int64_t Write(const void* Buffer, int64_t Count) override {
            const int64_t room = std::max<int64_t>(0, 1000 - GetSize());
            return cl::TMemoryStream::Write(Buffer, std::min(Count, room));
        }
    };
    auto photo = Photo(400, 300);
    TIOParamsVals p(nullptr);
    p.JPEGQuality = 100;
    Small s;
    Progress pr;
    IEWriteJPEGStream(&s, photo.get(), p, pr.Rec);
    EXPECT_TRUE(pr.Aborting);
    EXPECT_LE(s.GetSize(), 1000);
}

// ---------------------------------------------------------------------------------------
// The engine

class JPEGIOTest : public CodecIOTest {};

TEST_F(JPEGIOTest, TheEngineDetectsReadsAndWritesJPEG) {
    const std::string in = FixturePath("jpeg", "meta.jpg");
    EXPECT_EQ(IEFindFileFormat(cl::String(in), false), ioJPEG);
    TVovozIdIO io(nullptr);
    io.LoadFromFile(cl::String(in));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioJPEG);
    ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("jpeg", "s420.ref.ppm")));
    io.Params().JPEGQuality = 95;
    io.Params().EXIFMake = "Other maker";
    const std::string out = Temp("out.jpg");
    io.SaveToFile(cl::String(out));
    ASSERT_FALSE(io.Aborting);
    int st = -1;
    const std::string make = RunCommand("exiftool -s -s -s -EXIF:Make -IPTC:City '" + out + "'", &st);
    EXPECT_EQ(make, "Other maker\nNowhere\n");
    // Read back through the engine: ImageMagick's decoding of our file, and close to
    // what was saved.
    TVovozIdIO back(nullptr);
    back.LoadFromFile(cl::String(out));
    ASSERT_FALSE(back.Aborting);
    ExpectSameRGB(*back.GetIEBitmap(), DecodeWithImageMagick(out));
    EXPECT_LT(MeanError(*back.GetIEBitmap(), LoadRef(FixturePath("jpeg", "s420.ref.ppm"))), 6.0);
}

TEST_F(JPEGIOTest, TheToolConvertsToAndFromJPEG) {
    // To PPM: the pixels djpeg decodes; back to JPEG at quality 95: a file djpeg reads
    // without a word whose pixels are close to those.
    std::ostringstream out, err;
    const std::string ppm = Temp("s420.ppm"), jpg = Temp("back.jpg");
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("jpeg", "s420.jpg"), ppm}, out, err), 0) << err.str();
    const RefImage ref = LoadRef(FixturePath("jpeg", "s420.ref.ppm"));
    const RefImage got = LoadRef(ppm);
    EXPECT_EQ(got.Pixels, ref.Pixels);
    ASSERT_EQ(lumetra_image::Run({"convert", ppm, jpg, "--quality", "95"}, out, err), 0) << err.str();
    int st = -1;
    EXPECT_EQ(RunCommand("djpeg -ppm -outfile '" + Temp("back.ppm") + "' '" + jpg + "' 2>&1", &st), "");
    EXPECT_EQ(st, 0);
    const auto back = Read(ReadBytes(jpg));
    ASSERT_FALSE(back.Aborted);
    ExpectSameRGB(*back.Bitmap, LoadRef(Temp("back.ppm")));
    // The default 2x2 chroma sampling loses some of the fixture's saturated colour edges.
    EXPECT_LT(MeanError(*back.Bitmap, ref), 6.0);
}

}  // namespace
}  // namespace ie::test
