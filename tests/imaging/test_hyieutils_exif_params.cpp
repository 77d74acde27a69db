// The EXIF fields of the per-image parameters: exiftool-made blocks read with the values
// exiftool prints (thumbnail included, turned upright), blocks built here put into a JPEG
// for exiftool to read back, round trips with the maker note, copies, damaged blocks, TIFF
// files, and the XMP packet of the parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_tiff.h"
#include "imaging/core/hyieutils_xmp.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

// The first EXIF APP1 marker of a list, -1 when none.
int32_t ExifMarker(const TIEMarkerList& M) {
    for (int32_t i = 0; i < M.GetCount(); ++i)
        if (M.GetMarkerType(i) == IEJPEG_APP1 && IEIsEXIFBlock(M.GetMarkerData(i), M.GetMarkerLength(i))) return i;
    return -1;
}

double Num(const std::string& S) { return S.empty() ? NAN : std::stod(S); }

class EXIFParams : public ImagingTest {};

TEST_F(EXIFParams, ExiftoolBlockReadsWithTheValuesExiftoolPrints) {
    const std::string file = MetadataFixture("rgb_thumb.jpg");
    TIEMarkerList m;
    Bytes rest;
    LoadJpegMarkers(file, m, rest);
    const int32_t i = ExifMarker(m);
    ASSERT_GE(i, 0);
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(IELoadEXIFFromAPP1(m.GetMarkerData(i), m.GetMarkerLength(i), p));
    EXPECT_TRUE(p.HasEXIFData);
    EXPECT_EQ(p.EXIFMake, ExifTool("-Make", file));
    EXPECT_EQ(p.EXIFModel, ExifTool("-Model", file));
    EXPECT_EQ(p.EXIFArtist, ExifTool("-Artist", file));
    EXPECT_EQ(p.EXIFDateTimeOriginal, ExifTool("-DateTimeOriginal", file));
    EXPECT_EQ(p.EXIFExifVersion, ExifTool("-ExifVersion", file));
    EXPECT_EQ(p.EXIFOrientation, std::stoi(ExifTool("-n -Orientation", file)));
    EXPECT_EQ(p.TIFFOrientation, p.EXIFOrientation);
    EXPECT_DOUBLE_EQ(p.EXIFExposureTime, Num(ExifTool("-n -ExposureTime", file)));
    EXPECT_DOUBLE_EQ(p.EXIFFNumber, Num(ExifTool("-n -FNumber", file)));
    EXPECT_EQ(p.EXIFISOSpeedRatings[0], std::stoi(ExifTool("-n -ISO", file)));
    EXPECT_EQ(p.EXIFColorSpace, std::stoi(ExifTool("-n -ColorSpace", file)));
    EXPECT_TRUE(p.HasEXIFTag(33434));
    EXPECT_TRUE(p.HasEXIFTag(34855) || p.EXIFISOSpeedRatings[0] == 200);
    std::string version = ExifTool("-n -GPSVersionID", file);  // "2 3 0 0"
    std::replace(version.begin(), version.end(), ' ', '.');
    EXPECT_EQ(p.GPSVersionID, version);
    EXPECT_EQ(p.GPSLatitudeRef, ExifTool("-n -GPSLatitudeRef", file));
    EXPECT_EQ(p.GPSLongitudeRef, ExifTool("-n -GPSLongitudeRef", file));
    const double lat = p.GPSLatitude[0] + p.GPSLatitude[1] / 60 + p.GPSLatitude[2] / 3600;
    const double lon = p.GPSLongitude[0] + p.GPSLongitude[1] / 60 + p.GPSLongitude[2] / 3600;
    EXPECT_NEAR(lat, Num(ExifTool("-n -GPS:GPSLatitude", file)), 1e-6);
    EXPECT_NEAR(lon, Num(ExifTool("-n -GPS:GPSLongitude", file)), 1e-6);
    EXPECT_DOUBLE_EQ(p.GPSAltitude, Num(ExifTool("-n -GPSAltitude", file)));
    EXPECT_EQ(p.GPSAltitudeRef, ExifTool("-n -GPSAltitudeRef", file));
    // The 8 x 6 thumbnail, turned upright by orientation 6 (90 degrees clockwise).
    TIEBitmap* t = p.GetEXIFThumbnail();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetWidth(), 6);
    EXPECT_EQ(t->GetHeight(), 8);
}

TEST_F(EXIFParams, BlockBuiltHereReadsBackInExiftool) {
    TIOParamsVals p(nullptr);
    p.EXIFMake = "Lumetra";
    p.EXIFModel = "Model 2";
    p.EXIFSoftware = "lumetra-image";
    p.SetEXIFOrientation(8);
    p.SetEXIFXResolution(300);
    p.SetEXIFYResolution(300);
    p.EXIFResolutionUnit = 2;
    p.EXIFDateTimeOriginal = "2024:05:06 07:08:09";
    p.SetEXIFExposureTime(0.008);
    p.SetEXIFFNumber(5.6);
    p.SetEXIFISOSpeedRatings(0, 400);
    p.SetEXIFExposureBiasValue(-0.7);
    p.SetEXIFFlash(16);
    p.SetEXIFColorSpace(1);
    p.EXIFExifVersion = "0230";
    p.EXIFUserComment = u"\u041F\u0440\u0438\u0432\u0435\u0442";  // Cyrillic: needs UNICODE
    p.EXIFXPTitle = u"\u0417\u0430\u0433\u043E\u043B\u043E\u0432\u043E\u043A";
    p.GPSVersionID = "2.2.0.0";
    p.GPSLatitudeRef = "S";
    p.GPSLatitude[0] = 33;
    p.GPSLatitude[1] = 52;
    p.GPSLatitude[2] = 4.5;
    p.GPSAltitudeRef = "1";
    p.GPSAltitude = 12.5;
    p.GPSDateStamp = "2024:05:06";
    // A 12 x 9 thumbnail, half white and half black.
    TIEBitmap* thumb = p.GetOrCreateEXIFThumbnail();
    ASSERT_TRUE(thumb->Allocate(12, 9, ie24RGB));
    for (int32_t y = 0; y < 9; ++y) std::memset(thumb->GetScanline(y), y < 4 ? 255 : 0, 36);
    void* b = nullptr;
    int32_t n = 0;
    ASSERT_TRUE(IEMakeEXIFBlock(p, b, n, true));
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(IEIsEXIFBlock(b, n));
    TIEMarkerList m;
    Bytes rest;
    LoadJpegMarkers(MetadataFixture("rgb_meta.jpg"), m, rest);
    const int32_t i = ExifMarker(m);
    ASSERT_GE(i, 0);
    ASSERT_TRUE(m.SetMarker(i, IEJPEG_APP1, n, b));
    const std::string file = folder_ + "/exif.jpg";
    WriteBytes(file, JoinJpeg(m, rest));
    const struct {
        const char* tag;
        std::string expected;
    } text[] = {
        {"-Make", "Lumetra"},
        {"-Model", "Model 2"},
        {"-Software", "lumetra-image"},
        {"-n -Orientation", "8"},
        {"-XResolution", "300"},
        {"-n -ResolutionUnit", "2"},
        {"-DateTimeOriginal", "2024:05:06 07:08:09"},
        {"-n -ExposureTime", "0.008"},
        {"-n -FNumber", "5.6"},
        {"-n -ISO", "400"},
        {"-n -ExposureCompensation", "-0.7"},
        {"-n -Flash", "16"},
        {"-n -ColorSpace", "1"},
        {"-ExifVersion", "0230"},
        {"-UserComment", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"-XPTitle", "\xD0\x97\xD0\xB0\xD0\xB3\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xBA"},
        {"-n -GPSVersionID", "2 2 0 0"},
        {"-n -GPSLatitudeRef", "S"},
        {"-n -GPSAltitudeRef", "1"},
        {"-n -GPSAltitude", "-12.5"},  // below sea level
        {"-GPSDateStamp", "2024:05:06"},
    };
    for (const auto& t : text) EXPECT_EQ(ExifTool(t.tag, file), t.expected) << t.tag;
    EXPECT_NEAR(Num(ExifTool("-n -GPS:GPSLatitude", file)), 33 + 52 / 60.0 + 4.5 / 3600, 1e-6);
    // The thumbnail is a JPEG that ImageMagick reads at its size.
    const std::string thumbFile = folder_ + "/thumb.jpg";
    std::string out;
    ASSERT_EQ(RunTool("exiftool -b -ThumbnailImage " + Quote(file) + " > " + Quote(thumbFile), out), 0);
    ASSERT_EQ(RunTool("identify -format '%w %h' " + Quote(thumbFile), out), 0);
    EXPECT_EQ(out, "12 9");
    // And ours reads the same fields back.
    TIOParamsVals back(nullptr);
    ASSERT_TRUE(IELoadEXIFFromAPP1(b, n, back));
    std::free(b);
    EXPECT_EQ(back.EXIFMake, p.EXIFMake);
    EXPECT_EQ(back.EXIFOrientation, 8);
    EXPECT_DOUBLE_EQ(back.EXIFExposureBiasValue, -0.7);
    EXPECT_EQ(back.EXIFUserComment, p.EXIFUserComment);
    EXPECT_EQ(back.EXIFXPTitle, p.EXIFXPTitle);
    EXPECT_EQ(back.GPSVersionID, "2.2.0.0");
    EXPECT_DOUBLE_EQ(back.GPSLatitude[2], 4.5);
    EXPECT_EQ(back.EXIFTags(), p.EXIFTags());
    // Our reader turns the thumbnail upright by orientation 8 (90 degrees the other way).
    TIEBitmap* t = back.GetEXIFThumbnail();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetWidth(), 9);
    EXPECT_EQ(t->GetHeight(), 12);
}

// The Nikon note of the maker-note tests.
Bytes NikonNote() {
    ByteWriter w(true);
    w.Text(std::string("Nikon\0\x02\x10\0\0", 10));
    w.Text("MM").U16(42).U32(8);
    w.U16(2);
    w.U16(0x0001).U16(7).U32(4).Text("0210");
    w.U16(0x0084).U16(5).U32(2).U32(8 + 2 + 24 + 4);
    w.U32(0);
    w.U32(180).U32(10).U32(550).U32(10);
    return w.B;
}

TEST_F(EXIFParams, MakerNoteAndCopiesTravelWithTheFields) {
    TIOParamsVals p(nullptr);
    p.EXIFMake = "NIKON";
    const Bytes note = NikonNote();
    cl::TStringStream s(std::string(note.begin(), note.end()));
    p.EXIFMakerNote()->ReadFromStream(&s, static_cast<int32_t>(note.size()), true);
    ASSERT_EQ(p.EXIFMakerNote()->GetEntryCount(), 2);
    p.SetEXIFFocalLength(50);
    void* b = nullptr;
    int32_t n = 0;
    ASSERT_TRUE(IEMakeEXIFBlock(p, b, n, false));
    ASSERT_FALSE(IEIsEXIFBlock(b, n));
    // Without the header the block is a TIFF structure: read it as one.
    cl::TStringStream tiff(std::string(static_cast<char*>(b), static_cast<size_t>(n)));
    std::free(b);
    TIOParamsVals back(nullptr);
    ASSERT_TRUE(IELoadEXIFFromTIFF(&tiff, back));
    EXPECT_EQ(tiff.GetPosition(), 0);
    EXPECT_EQ(back.EXIFMake, "NIKON");
    EXPECT_DOUBLE_EQ(back.EXIFFocalLength, 50);
    TIETagsHandler* h = back.EXIFMakerNote();
    ASSERT_EQ(h->GetEntryCount(), 2);
    EXPECT_EQ(h->DeviceInfo.HeaderKind, 1);
    EXPECT_EQ(h->GetEntryData(1), p.EXIFMakerNote()->GetEntryData(1));
    // Copies: fields, the present-tag list, the maker note; the resolution sets the DPI.
    TIOParamsVals copy(nullptr);
    copy.SetEXIFFlash(1);
    p.SetEXIFXResolution(96);
    IECopyEXIF(p, copy);
    EXPECT_EQ(copy.EXIFMake, "NIKON");
    EXPECT_EQ(copy.EXIFFlash, -1);
    EXPECT_FALSE(copy.HasEXIFTag(37385));
    EXPECT_EQ(copy.EXIFTags(), p.EXIFTags());
    EXPECT_EQ(copy.DpiX, 96);
    EXPECT_EQ(copy.EXIFMakerNote()->GetEntryCount(), 2);
}

TEST_F(EXIFParams, DamagedBlocksReadWhatTheyCan) {
    TIEMarkerList m;
    Bytes rest;
    LoadJpegMarkers(MetadataFixture("rgb_thumb.jpg"), m, rest);
    const int32_t i = ExifMarker(m);
    ASSERT_GE(i, 0);
    const Bytes whole(m.GetMarkerData(i), m.GetMarkerData(i) + m.GetMarkerLength(i));
    for (size_t cut = 0; cut <= whole.size(); cut += cut < 200 ? 1 : 13) {
        TIOParamsVals p(nullptr);
        const bool exif = IELoadEXIFFromAPP1(whole.data(), static_cast<int32_t>(cut), p);
        EXPECT_EQ(exif, cut >= 6) << cut;
        EXPECT_EQ(p.HasEXIFData, exif) << cut;
    }
    // Not EXIF: nothing touched.
    TIOParamsVals p(nullptr);
    p.EXIFMake = "kept";
    const std::string xmp = "http://ns.adobe.com/xap/1.0/";
    EXPECT_FALSE(IELoadEXIFFromAPP1(xmp.data(), static_cast<int32_t>(xmp.size()), p));
    EXPECT_EQ(p.EXIFMake, "kept");
    EXPECT_FALSE(p.HasEXIFData);
}

// Fields written with another type than their own: numbers of FLOAT and DOUBLE values
// that no 32-bit field holds (clamped to its range), and a BYTE field stored as a SHORT,
// read and built again.
TEST_F(EXIFParams, NumbersOfAnyTypeAndSizeReadAsIntegers) {
    const auto bytes = [](double D) {
        std::vector<uint8_t> b(8);
        std::memcpy(b.data(), &D, 8);
        return b;
    };
    const auto floatBytes = [](float F) {
        std::vector<uint8_t> b(4);
        std::memcpy(b.data(), &F, 4);
        return b;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> orientation, fileSource;
        int32_t wantOrientation, wantFileSource;
    } cases[] = {
        {"not a number", bytes(NAN), floatBytes(NAN), 0, 0},
        {"beyond 64 bits", bytes(1e300), floatBytes(-1e30f), INT32_MAX, INT32_MIN},
        {"beyond 32 bits", bytes(4294967302.0), floatBytes(-3.0e9f), INT32_MAX, INT32_MIN},
        {"within 32 bits", bytes(-2147483648.5), floatBytes(2147483520.0f), INT32_MIN, 2147483520},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIETIFFHandler h;
        TIETIFFTagList& page = h.AddPage();
        page.push_back(TIETIFFHandler::MakeEntry(274, IETIFF_DOUBLE, 1, c.orientation));
        auto exif = TIETIFFHandler::MakeEntry(34665, IETIFF_LONG, 1, {0, 0, 0, 0});
        exif->SubIFD = std::make_unique<TIETIFFTagList>();
        exif->SubIFD->push_back(TIETIFFHandler::MakeEntry(41728, IETIFF_FLOAT, 1, c.fileSource));
        page.push_back(std::move(exif));
        auto gps = TIETIFFHandler::MakeEntry(34853, IETIFF_LONG, 1, {0, 0, 0, 0});
        gps->SubIFD = std::make_unique<TIETIFFTagList>();
        gps->SubIFD->push_back(TIETIFFHandler::MakeEntry(5, IETIFF_SHORT, 1, {0x46, 0x01}));  // 326
        page.push_back(std::move(gps));
        cl::TMemoryStream tiff;
        ASSERT_TRUE(h.WriteStream(&tiff, -1));
        Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
        const auto* t = static_cast<const uint8_t*>(tiff.GetMemory());
        app1.insert(app1.end(), t, t + tiff.GetSize());
        TIOParamsVals p(nullptr);
        ASSERT_TRUE(IELoadEXIFFromAPP1(app1.data(), static_cast<int32_t>(app1.size()), p));
        EXPECT_EQ(p.EXIFOrientation, c.wantOrientation);
        EXPECT_EQ(p.EXIFFileSource, c.wantFileSource);
        EXPECT_EQ(p.GPSAltitudeRef, "326");
        // Built again, the BYTE field keeps the low byte of the number.
        void* b = nullptr;
        int32_t n = 0;
        ASSERT_TRUE(IEMakeEXIFBlock(p, b, n, true));
        TIOParamsVals back(nullptr);
        EXPECT_TRUE(IELoadEXIFFromAPP1(b, n, back));
        std::free(b);
        EXPECT_EQ(back.GPSAltitudeRef, "70");
    }
}

TEST_F(EXIFParams, TIFFFilesGiveTheirEXIFFields) {
    for (const char* name : {"pages_le.tif", "pages_be.tif"}) {
        const std::string file = MetadataFixture(name);
        cl::TFileStream f(file, cl::fmOpenRead);
        TIOParamsVals p(nullptr);
        ASSERT_TRUE(IELoadEXIFFromTIFF(&f, p));
        EXPECT_EQ(p.EXIFMake, ExifTool("-Make", file)) << name;
        EXPECT_EQ(p.EXIFISOSpeedRatings[0], std::stoi(ExifTool("-n -ISO", file))) << name;
        EXPECT_EQ(p.GPSLatitudeRef, "N") << name;
        EXPECT_NEAR(p.EXIFWhitePoint[0], Num(ExifTool("-n -WhitePoint", file)), 1e-9) << name;
    }
}

TEST(XMPParams, PacketOfTheParameters) {
    TIOParamsVals p(nullptr);
    p.XMPInfo = "<x:xmpmeta/>";
    void* b = nullptr;
    int32_t n = 0;
    IESaveXMPToAPP1(p, b, n);
    ASSERT_EQ(n, 29 + 12);
    TIOParamsVals q(nullptr);
    EXPECT_TRUE(IELoadXMPFromAPP1(b, n, q));
    EXPECT_EQ(q.XMPInfo, p.XMPInfo);
    std::free(b);
}

}  // namespace
}  // namespace ie::test
