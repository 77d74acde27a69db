// The DICOM reader: uncompressed data sets in every byte order and VR kind, JPEG lossless,
// baseline, RLE and JPEG 2000 pixel data made by dcmtk (dcmcjpeg, dcmcrle) and OpenJPEG,
// compared with their sources or with dcmj2pnm's decoding; windowing, rescale, inversion,
// frames, palettes, the tag list, the preview, damaged files, the engine and the tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_dicomtags.h"
#include "imaging/formats/iedicom.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_registry.h"
#include "lumetra_image.h"
#include "samples_testutil.h"

namespace ie::test {
namespace {

struct DcmRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

DcmRead ReadData(const std::vector<uint8_t>& File, int32_t Index = 0, bool Preview = false) {
    DcmRead r;
    r.Params->ImageIndex = Index;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadDICOMStream(s.get(), *r.Params, r.Bitmap.get(), Preview, p.Rec);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("dicom", Name)); }
DcmRead Read(const std::string& Name, int32_t Index = 0, bool Preview = false) {
    return ReadData(Fixture(Name), Index, Preview);
}

// Every sample of the bitmap, channels in red, green, blue order.
std::vector<uint32_t> BitmapSamples(TIEBitmap& B) {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        const void* row = B.GetScanline(y);
        for (int32_t x = 0; x < B.GetWidth(); ++x) switch (B.GetPixelFormat()) {
                case ie8g: out.push_back(static_cast<const uint8_t*>(row)[x]); break;
                case ie16g: out.push_back(static_cast<const uint16_t*>(row)[x]); break;
                case ie24RGB: {
                    const auto* p = static_cast<const uint8_t*>(row) + 3 * x;
                    out.insert(out.end(), {p[2], p[1], p[0]});
                    break;
                }
                case ieRGB48: {
                    const auto* p = static_cast<const uint16_t*>(row) + 3 * x;
                    out.insert(out.end(), {p[0], p[1], p[2]});
                    break;
                }
                default: break;
            }
    }
    return out;
}

// The stretch of grey samples to 0 .. Full.
std::vector<uint32_t> Stretch(std::vector<uint32_t> V, uint32_t Full) {
    const auto [lo, hi] = std::minmax_element(V.begin(), V.end());
    const uint64_t a = *lo, b = *hi;
    for (uint32_t& v : V) v = static_cast<uint32_t>((v - a) * Full / (b - a));
    return V;
}

std::vector<uint32_t> Each(std::vector<uint32_t> V, uint32_t (*F)(uint32_t)) {
    for (uint32_t& v : V) v = F(v);
    return V;
}

// Grey samples repeated into red, green and blue.
std::vector<uint32_t> AsRGB(const std::vector<uint32_t>& V) {
    std::vector<uint32_t> out;
    for (uint32_t v : V) out.insert(out.end(), {v, v, v});
    return out;
}

void ExpectSamples(TIEBitmap& B, const std::vector<uint32_t>& Want, uint32_t Tolerance = 0) {
    const std::vector<uint32_t> got = BitmapSamples(B);
    ASSERT_EQ(got.size(), Want.size());
    int reported = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const uint32_t d = got[i] > Want[i] ? got[i] - Want[i] : Want[i] - got[i];
        if (d > Tolerance && reported++ < 5) ADD_FAILURE() << "sample " << i << ": " << got[i] << " want " << Want[i];
    }
}

std::vector<uint32_t> Source(const std::string& Name) { return LoadSamples(FixturePath("dicom", Name)).Values; }

TEST(DICOMRead, EveryKindOfPixelDataAsItsSourceOrDcmtkDecodesIt) {
    const std::vector<uint32_t> grey8 = Source("grey8.pgm"), grey12 = Source("grey12.pgm"),
                                grey16 = Source("grey16.pgm"), rgb8 = Source("rgb8.ppm");
    struct Case {
        const char* File;
        TIEPixelFormat Format;
        std::vector<uint32_t> Want;
        int32_t Bits, Samples;
        uint32_t Tolerance;
    } cases[] = {
        // Uncompressed 8-bit grey is taken as it is (no stretch).
        {"grey8.dcm", ie8g, grey8, 8, 1, 0},
        {"noprm.dcm", ie8g, grey8, 8, 1, 0},
        {"mono1.dcm", ie8g, Each(grey8, [](uint32_t v) { return 255 - v; }), 8, 1, 0},
        {"rgb8.dcm", ie24RGB, rgb8, 8, 3, 0},
        {"rgb8_planar.dcm", ie24RGB, rgb8, 8, 3, 0},
        {"grey16.dcm", ie16g, Stretch(grey16, 65535), 16, 1, 0},
        {"grey16_imp.dcm", ie16g, Stretch(grey16, 65535), 16, 1, 0},
        {"grey16_be.dcm", ie16g, Stretch(grey16, 65535), 16, 1, 0},
        {"grey12.dcm", ie16g, Stretch(grey12, 65535), 12, 1, 0},
        // An icon sequence's own attributes and pixel data change nothing.
        {"icon.dcm", ie8g, grey8, 8, 1, 0},
        // Intercept -1024 on 0..2000: the whole image lifted by its smallest value, then
        // stretched; a window centre of 0 means no window.
        {"ct_nowin.dcm", ie16g, Stretch(Source("ct_raw.pgm"), 65535), 16, 1, 0},
        {"ct_c0.dcm", ie16g, Stretch(Source("ct_raw.pgm"), 65535), 16, 1, 0},
        // JPEG lossless, every selection value.
        {"l_grey8_sv1.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_sv2.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_sv3.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_sv4.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_sv5.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_sv6.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_sv7.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"l_grey8_pt2.dcm", ie8g, Stretch(Source("grey8_pt2.pgm"), 255), 8, 1, 0},
        {"l_grey12.dcm", ie16g, Stretch(grey12, 65535), 12, 1, 0},
        {"l_grey16.dcm", ie16g, Stretch(grey16, 65535), 16, 1, 0},
        {"l_rgb8.dcm", ie24RGB, rgb8, 8, 3, 0},
        // RLE: grey stretched, colour as it is.
        {"r_grey8.dcm", ie8g, Stretch(grey8, 255), 8, 1, 0},
        {"r_grey16.dcm", ie16g, Stretch(grey16, 65535), 16, 1, 0},
        {"r_rgb8.dcm", ie24RGB, rgb8, 8, 3, 0},
        // JPEG baseline: the same library as dcmtk's, maybe another inverse DCT.
        {"b_grey8.dcm", ie8g, Stretch(Source("b_grey8.ref.pgm"), 255), 8, 1, 1},
        {"b_rgb8.dcm", ie24RGB, Source("b_rgb8.ref.ppm"), 8, 3, 3},
        // JPEG 2000 (grey through the 24-bit reader, every channel stretched).
        {"j2k_grey.dcm", ie24RGB, AsRGB(Stretch(LoadSamples(FixturePath("j2k", "grey.ref.pgm")).Values, 255)), 8, 1, 0},
        {"pal8.dcm", ie24RGB, Source("pal8.ref.ppm"), 8, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File);
        const DcmRead r = Read(c.File);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), c.Format);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->Width, r.Bitmap->GetWidth());
        EXPECT_EQ(r.Params->OriginalHeight, r.Bitmap->GetHeight());
        EXPECT_EQ(r.Params->ImageCount, 1);
        ExpectSamples(*r.Bitmap, c.Want, c.Tolerance);
        ASSERT_FALSE(r.Reports.empty());
    }
}

TEST(DICOMRead, WindowAndRescaleAsDcmtkAppliesThem) {
    // Raw 0..2000, intercept -1024, window 40/400: up to -160 black, from 239 white.
    const DcmRead r = Read("ct.dcm");
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->GetPixelFormat(), ie16g);
    const Samples ref = LoadSamples(FixturePath("dicom", "ct.ref.pgm"));
    ASSERT_EQ(ref.MaxVal, 65535);
    ExpectSamples(*r.Bitmap, ref.Values, 2);
    const std::vector<uint32_t> got = BitmapSamples(*r.Bitmap);
    EXPECT_EQ(*std::min_element(got.begin(), got.end()), 0u);
    EXPECT_EQ(*std::max_element(got.begin(), got.end()), 65535u);
}

TEST(DICOMRead, FramesOfNativeAndEncapsulatedData) {
    const std::vector<uint32_t> frames[3] = {Source("multi3_f0.pgm"), Source("multi3_f1.pgm"), Source("multi3_f2.pgm")};
    struct Case {
        const char* File;
        bool Stretched;
    } cases[] = {{"multi3.dcm", false}, {"l_multi3.dcm", true}, {"l_multi3_empty.dcm", true}};
    for (const Case& c : cases)
        for (int32_t index : {0, 1, 2, 5}) {
            SCOPED_TRACE(::testing::Message() << c.File << " frame " << index);
            const DcmRead r = Read(c.File, index);
            ASSERT_FALSE(r.Aborted);
            const int32_t f = std::min(index, 2);
            EXPECT_EQ(r.Params->ImageCount, 3);
            EXPECT_EQ(r.Params->ImageIndex, f);
            ExpectSamples(*r.Bitmap, c.Stretched ? Stretch(frames[f], 255) : frames[f]);
        }
}

TEST(DICOMRead, PreviewTagsAndDataSetsWithoutPixels) {
    for (const char* name : {"grey16_be.dcm", "l_multi3.dcm", "nopixel.dcm"}) {
        SCOPED_TRACE(name);
        const bool preview = std::string(name) != "nopixel.dcm";
        const DcmRead r = Read(name, 0, preview);
        EXPECT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetWidth(), 0);
        EXPECT_EQ(r.Params->Width, 17);
        EXPECT_EQ(r.Params->Height, 11);
        EXPECT_EQ(r.Params->ImageCount, std::string(name) == "l_multi3.dcm" ? 3 : 1);
        TIEDICOMTags* tags = r.Params->DICOMTags();
        const int32_t i = tags->IndexOf(0x0010, 0x0010);
        ASSERT_GE(i, 0);
        const TIEDICOMTag& t = tags->GetTag(i);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Data.get()), 12), "Test^Fixture");
        const int32_t rows = tags->IndexOf(0x0028, 0x0010);
        ASSERT_GE(rows, 0);
        EXPECT_EQ(std::string(tags->GetTag(rows).VR, 2), "US");
    }
}

TEST(DICOMRead, ProbeAndDictionary) {
    struct Probe {
        const char* File;
        bool Dicom;
    } probes[] = {{"grey8.dcm", true}, {"l_rgb8.dcm", true}, {"noprm.dcm", false}, {"grey8.pgm", false}};
    for (const Probe& p : probes) {
        auto s = MemStream(Fixture(p.File));
        EXPECT_EQ(IEIsDICOMStream(s.get()), p.Dicom) << p.File;
        EXPECT_EQ(s->GetPosition(), 0);
    }
    struct Entry {
        uint16_t Group, Element;
        const char* VR;
    } entries[] = {{0x0028, 0x0010, "US"}, {0x0002, 0x0010, "UI"}, {0x7FE0, 0x0010, "xs"},
                   {0x0028, 0x1101, "xs"}, {0xFFFE, 0xE000, "!!"}, {0xFFFE, 0xE0DD, "!!"},
                   {0x0009, 0x0010, "xs"}, {0x0010, 0x0010, "PN"}, {0x0028, 0x1050, "DS"}};
    for (const Entry& e : entries) EXPECT_STREQ(IEDICOMLookupVR(e.Group, e.Element), e.VR);
    for (int32_t i = 1; i < IEDICOMDictionaryCount; ++i) {
        const auto key = [](const TIEDICOMDictEntry& E) { return (uint32_t{E.Group} << 16) | E.Element; };
        ASSERT_LT(key(IEDICOMDictionary[i - 1]), key(IEDICOMDictionary[i])) << i;
    }
}

TEST(DICOMRead, PackBitsAndDecimals) {
    struct Case {
        std::vector<uint8_t> In;
        int64_t Count;
        std::vector<uint8_t> Out;
        int64_t Read;
    } cases[] = {
        {{2, 'a', 'b', 'c'}, 3, {'a', 'b', 'c'}, 4},
        {{0xFE, 'x'}, 3, {'x', 'x', 'x'}, 2},
        {{0x80, 0xFF, 'y'}, 2, {'y', 'y'}, 3},         // -128 does nothing
        {{0xFD, 'z', 1, 'a', 'b'}, 2, {'z', 'z'}, 2},  // the run is cut at Count
        {{4, 'a', 'b'}, 5, {'a', 'b', 0, 0, 0}, 3},    // the stream ends first
        {{}, 4, {0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        auto s = MemStream(c.In);
        std::vector<uint8_t> out(static_cast<size_t>(c.Count), 0);
        EXPECT_EQ(IEDecodePackBits(s.get(), out.data(), c.Count), c.Read);
        EXPECT_EQ(out, c.Out);
    }
    struct Dec {
        const char* Text;
        double Want;
    } decs[] = {{"40\\50", 40}, {" -1024 ", -1024}, {"1,5", 1.5}, {"abc", -7}, {"", -7}, {"2.5e1", 25}};
    for (const Dec& d : decs) EXPECT_DOUBLE_EQ(DICOMParseDecimal(d.Text, -7), d.Want) << d.Text;
}

// Replaces the first occurrence of From (same length) in Bytes.
std::vector<uint8_t> Patched(std::vector<uint8_t> Bytes, const std::string& From, const std::string& To) {
    const std::string s(Bytes.begin(), Bytes.end());
    const size_t at = s.find(From);
    EXPECT_NE(at, std::string::npos) << From;
    if (at != std::string::npos) std::copy(To.begin(), To.end(), Bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return Bytes;
}

// Rows and columns made 65535.
std::vector<uint8_t> Huge(const std::vector<uint8_t>& File) {
    std::vector<uint8_t> f = Patched(File, std::string("\x28\x00\x10\x00US\x02\x00\x0b\x00", 10),
                                     std::string("\x28\x00\x10\x00US\x02\x00\xff\xff", 10));
    return Patched(f, std::string("\x28\x00\x11\x00US\x02\x00\x11\x00", 10),
                   std::string("\x28\x00\x11\x00US\x02\x00\xff\xff", 10));
}

// The file without its last Bytes bytes.
std::vector<uint8_t> Cut(const std::string& Name, size_t Bytes) {
    const std::vector<uint8_t> f = Fixture(Name);
    return std::vector<uint8_t>(f.begin(),
                                f.begin() + static_cast<std::ptrdiff_t>(f.size() > Bytes ? f.size() - Bytes : 0));
}

TEST(DICOMRead, DamagedAndUndecodableFilesSetTheAbortFlag) {
    const std::vector<uint8_t> lossless = Fixture("l_grey8_sv1.dcm");
    std::vector<uint8_t> noItem = lossless;
    {
        // The item tag of the frame's fragment broken.
        const std::string s(noItem.begin(), noItem.end());
        const size_t table = s.find(std::string("\xfe\xff\x00\xe0", 4));
        const size_t fragment = s.find(std::string("\xfe\xff\x00\xe0", 4), table + 4);
        noItem[fragment] = 0;
    }
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
    } cases[] = {
        {"JPEG-LS, not decoded", Patched(lossless, "1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.80")},
        {"encapsulated under an uncompressed syntax",
         Patched(lossless, "1.2.840.10008.1.2.4.57", std::string("1.2.840.10008.1.2.1\0\0\0", 22))},
        {"fragment without its item tag", noItem},
        {"lossless frame of another size", Patched(lossless, std::string("\x28\x00\x11\x00US\x02\x00\x11\x00", 10),
                                                   std::string("\x28\x00\x11\x00US\x02\x00\x12\x00", 10))},
        {"lossless frame of 65535 x 65535", Huge(lossless)},
        {"RLE frame of 65535 x 65535", Huge(Fixture("r_grey8.dcm"))},
        {"native data cut", Cut("grey16.dcm", 3)},
        {"RLE data cut", Cut("r_rgb8.dcm", 150)},
        {"value longer than the file",
         Patched(Fixture("grey8.dcm"), std::string("PN\x0c\x00", 4), std::string("PN\xff\x7f", 4))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_TRUE(ReadData(c.Data).Aborted);
    }
    // Every cut and many flipped bytes of several files: no crash, nothing out of bounds.
    for (const char* name : {"l_rgb8.dcm", "r_grey16.dcm", "pal8.dcm", "grey16_be.dcm", "l_multi3.dcm"}) {
        const std::vector<uint8_t> f = Fixture(name);
        for (size_t cut = 0; cut < f.size(); cut += 13)
            (void)ReadData(std::vector<uint8_t>(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(cut)));
        for (size_t at = 128; at < f.size(); at += 5) {
            std::vector<uint8_t> bad = f;
            bad[at] ^= 0xFF;
            (void)ReadData(bad, 1);
        }
    }
}

// A data set that starts inside the stream: after a prefix, and as the second of two
// pictures. The probe answers for the position and restores it; the reader reads from it,
// with relative positions or without.
TEST(DICOMRead, DataSetAtAStreamOffset) {
    const std::vector<uint8_t> prefix(37, 0x5A);
    for (const char* name : {"rgb8.dcm", "grey8.dcm", "noprm.dcm"}) {
        SCOPED_TRACE(name);
        const auto dcm = Fixture(name);
        const DcmRead plain = ReadData(dcm);
        ASSERT_FALSE(plain.Aborted);
        std::vector<uint8_t> stream = prefix;
        stream.insert(stream.end(), dcm.begin(), dcm.end());
        auto s = MemStream(stream);
        EXPECT_FALSE(IEIsDICOMStream(s.get()));
        s->Seek(static_cast<int64_t>(prefix.size()), cl::soBeginning);
        EXPECT_EQ(IEIsDICOMStream(s.get()), std::string(name) != "noprm.dcm");
        EXPECT_EQ(s->GetPosition(), static_cast<int64_t>(prefix.size()));
        for (const bool relative : {false, true}) {
            SCOPED_TRACE(relative);
            IERelativeStreamPositions = relative;
            DcmRead r;
            s->Seek(static_cast<int64_t>(prefix.size()), cl::soBeginning);
            Progress p;
            IEReadDICOMStream(s.get(), *r.Params, r.Bitmap.get(), false, p.Rec);
            EXPECT_FALSE(p.Aborting);
            EXPECT_EQ(r.Params->Width, plain.Params->Width);
            EXPECT_EQ(r.Bitmap->GetPixelFormat(), plain.Bitmap->GetPixelFormat());
            EXPECT_EQ(BitmapSamples(*r.Bitmap), BitmapSamples(*plain.Bitmap));
        }
        IERelativeStreamPositions = false;
    }
}

class DICOMEngine : public CodecIOTest {};

TEST_F(DICOMEngine, DetectsAndLoadsAtTheStreamPosition) {
    // A PCX picture, then a DICOM data set: each loads from its own start.
    const auto pcx = ReadBytes(FixturePath("pcx", "im_rgb24.pcx"));
    const auto dcm = Fixture("rgb8.dcm");
    std::vector<uint8_t> both = pcx;
    both.insert(both.end(), dcm.begin(), dcm.end());
    auto s = MemStream(both);
    s->Seek(static_cast<int64_t>(pcx.size()), cl::soBeginning);
    EXPECT_EQ(IEFindStreamFormat(s.get()), ioDICOM);
    EXPECT_EQ(s->GetPosition(), static_cast<int64_t>(pcx.size()));
    TVovozIdIO io(nullptr);
    io.LoadFromStream(s.get());
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioDICOM);
    ExpectSamples(*io.GetIEBitmap(), Source("rgb8.ppm"));
    s->Seek(static_cast<int64_t>(pcx.size()), cl::soBeginning);
    TVovozIdIO byType(nullptr);
    byType.LoadFromStreamDICOM(s.get());
    ASSERT_FALSE(byType.Aborting);
    ExpectSamples(*byType.GetIEBitmap(), Source("rgb8.ppm"));
}

TEST_F(DICOMEngine, LoadsThroughTheComponentAndTheTool) {
    TVovozIdIO io(nullptr);
    io.LoadFromFile(cl::String(FixturePath("dicom", "l_rgb8.dcm")));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioDICOM);
    ExpectSamples(*io.GetIEBitmap(), Source("rgb8.ppm"));
    EXPECT_GT(io.Params().DICOMTags()->GetCount(), 10);

    std::ostringstream out, err;
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("dicom", "r_rgb8.dcm"), Temp("a.ppm")}, out, err), 0)
        << err.str();
    EXPECT_EQ(LoadSamples(Temp("a.ppm")).Values, Source("rgb8.ppm"));
    // A format the engine only reads.
    EXPECT_NE(lumetra_image::Run({"convert", Temp("a.ppm"), Temp("b.dcm")}, out, err), 0);
}

}  // namespace
}  // namespace ie::test
