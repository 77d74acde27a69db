// The TIFF codec: files made by libtiff's tools and ImageMagick read as ImageMagick decodes
// them (every compression, depth, photometric interpretation, tiles, planes, both byte
// orders, pages), the tag access in both byte orders, damaged files, our files checked by
// tiffinfo and read back by tiff2rgba, page inserts, the probes and the engine's round trip.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiflzw.h"
#include "imaging/formats/tifprobes.h"

namespace ie::test {
namespace {

struct TiffRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    std::unique_ptr<TIEMask> Mask;
    int32_t Count = -1;
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

TiffRead ReadTiff(const std::vector<uint8_t>& File, bool Native = false, int32_t Page = 0, bool ParamsOnly = false,
                  int32_t Tile = -1) {
    TiffRead r;
    r.Params->NativePixelFormat = Native;
    r.Params->TIFFImageIndex = Page;
    r.Params->TIFFGetTile = Tile;
    r.Params->TIFFLZWDecompress = &IETIFFLZWDecompress;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadTIFFStream(r.Bitmap.get(), s.get(), r.Count, *r.Params, p.Rec, ParamsOnly, r.Mask, false, false, false);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

TiffRead ReadFixture(const std::string& Name, bool Native = false, int32_t Page = 0) {
    return ReadTiff(ReadBytes(FixturePath("tiff", Name)), Native, Page);
}

std::vector<uint8_t> WriteTiff(TIEBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    P.TIFFLZWCompress = &IETIFFLZWCompress;
    IEWriteTIFFStream(&s, false, &B, p.Rec, P);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

std::string Base(const std::string& Name) { return Name.substr(0, Name.size() - 4); }

class TIFFTest : public CodecIOTest {};

TEST_F(TIFFTest, IndependentFilesReadAsImageMagickDecodesThem) {
    struct Case {
        const char* Name;
        int32_t Bits, Samples, Compression, Photometric;
        TIEPixelFormat Format, NativeFormat;
        int Tolerance;
    } cases[] = {
        {"rgb_none.tif", 8, 3, 0, 2, ie24RGB, ie24RGB, 0},
        {"rgb_lzw.tif", 8, 3, 5, 2, ie24RGB, ie24RGB, 0},
        {"rgb_lzw_2.tif", 8, 3, 5, 2, ie24RGB, ie24RGB, 0},
        {"rgb_zip.tif", 8, 3, 10, 2, ie24RGB, ie24RGB, 0},
        {"rgb_zip_2.tif", 8, 3, 10, 2, ie24RGB, ie24RGB, 0},
        {"rgb_packbits.tif", 8, 3, 8, 2, ie24RGB, ie24RGB, 0},
        {"rgb_be_none.tif", 8, 3, 0, 2, ie24RGB, ie24RGB, 0},
        {"rgb_be_lzw2.tif", 8, 3, 5, 2, ie24RGB, ie24RGB, 0},
        {"rgb_tiled.tif", 8, 3, 0, 2, ie24RGB, ie24RGB, 0},
        {"rgb_tiled_zip2.tif", 8, 3, 10, 2, ie24RGB, ie24RGB, 0},
        {"rgb_planar.tif", 8, 3, 0, 2, ie24RGB, ie24RGB, 0},
        {"rgb_planar_lzw2.tif", 8, 3, 5, 2, ie24RGB, ie24RGB, 0},
        {"rgb_strips4_packbits.tif", 8, 3, 8, 2, ie24RGB, ie24RGB, 0},
        {"rgb_jpeg.tif", 8, 3, 7, 6, ie24RGB, ie24RGB, 3},
        {"rgb16.tif", 16, 3, 0, 2, ie24RGB, ieRGB48, 1},
        {"rgb16_be_zip2.tif", 16, 3, 10, 2, ie24RGB, ieRGB48, 1},
        {"grey8.tif", 8, 1, 0, 1, ie24RGB, ie8g, 0},
        {"grey8_lzw2.tif", 8, 1, 5, 1, ie24RGB, ie8g, 0},
        {"grey8_be_packbits.tif", 8, 1, 8, 1, ie24RGB, ie8g, 0},
        {"grey4.tif", 4, 1, 0, 1, ie24RGB, ie24RGB, 0},
        {"grey2.tif", 2, 1, 0, 1, ie24RGB, ie24RGB, 0},
        {"grey16.tif", 16, 1, 0, 1, ie24RGB, ie16g, 1},
        {"grey16_be_lzw2.tif", 16, 1, 5, 1, ie24RGB, ie16g, 1},
        {"bw.tif", 1, 1, 0, 1, ie1g, ie1g, 0},
        {"bw_g3.tif", 1, 1, 2, 1, ie1g, ie1g, 0},
        {"bw_g32d.tif", 1, 1, 3, 1, ie1g, ie1g, 0},
        {"bw_g4.tif", 1, 1, 4, 1, ie1g, ie1g, 0},
        {"bw_be_packbits.tif", 1, 1, 8, 1, ie1g, ie1g, 0},
        {"pal8.tif", 8, 1, 0, 3, ie24RGB, ie8p, 0},
        {"pal8_lzw.tif", 8, 1, 5, 3, ie24RGB, ie8p, 0},
        {"pal4.tif", 4, 1, 0, 3, ie24RGB, ie24RGB, 0},
        {"rgba_unassoc.tif", 8, 4, 0, 2, ie24RGB, ie24RGB, 0},
        {"rgba_assoc.tif", 8, 4, 0, 2, ie24RGB, ie24RGB, 2},
        {"cmyk.tif", 8, 4, 0, 5, ie24RGB, ieCMYK, 24},
        {"lab.tif", 8, 3, 0, 7, ie24RGB, ie24RGB, 20},
    };
    for (const Case& c : cases) {
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (native ? " native" : ""));
            const auto file = ReadBytes(FixturePath("tiff", c.Name));
            const TiffRead r = ReadTiff(file, native);
            ASSERT_FALSE(r.Aborted);
            EXPECT_EQ(r.Count, 1);
            EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
            EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
            EXPECT_EQ(r.Params->TIFFCompression, c.Compression);
            EXPECT_EQ(r.Params->TIFFPhotometric, c.Photometric);
            EXPECT_EQ(r.Bitmap->GetPixelFormat(), native ? c.NativeFormat : c.Format);
            ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("tiff", Base(c.Name) + ".ref.ppm")), c.Tolerance);
            EXPECT_FALSE(r.Reports.empty());
            if (!r.Reports.empty()) {
                EXPECT_EQ(r.Reports.back(), 100);
            }
        }
    }
}

TEST_F(TIFFTest, JPEGCompressedPagesOfEveryPhotometricReadAsLibtiffDecodesThem) {
    // RGB kept as RGB inside the JPEG data must not have its red and blue exchanged; YCbCr,
    // grey and CMYK go through the JPEG library's own conversions.
    struct Case {
        const char* Name;
        uint8_t Photometric;
        int32_t Samples;
        int Tolerance;  // CMYK: our colour conversion against libtiff's plain formula
    } cases[] = {
        {"jpeg_rgb", 2, 3, 2},  {"jpeg_im", 2, 3, 2},    {"jpeg_ycbcr", 6, 3, 3},
        {"jpeg_grey", 1, 1, 2}, {"jpeg_cmyk", 5, 4, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TiffRead r = ReadFixture(std::string(c.Name) + ".tif");
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->TIFFCompression, 7);
        EXPECT_EQ(r.Params->TIFFPhotometric, c.Photometric);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("tiff", std::string(c.Name) + ".tiff2rgba.ppm")), c.Tolerance);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("tiff", std::string(c.Name) + ".ref.ppm")), c.Tolerance);
    }
}

TEST_F(TIFFTest, AlphaOfBothKindsLandsInTheMask) {
    for (const char* name : {"rgba_unassoc", "rgba_assoc"}) {
        SCOPED_TRACE(name);
        const TiffRead r = ReadFixture(std::string(name) + ".tif");
        ASSERT_FALSE(r.Aborted);
        ASSERT_TRUE(r.Mask);
        const RefImage a = LoadRef(FixturePath("tiff", std::string(name) + ".alpha.pgm"));
        for (int32_t y = 0; y < a.Height; ++y)
            for (int32_t x = 0; x < a.Width; ++x) EXPECT_EQ(r.Mask->GetPixel(x, y), a.At(x, y)[0]) << x << "," << y;
        EXPECT_FALSE(r.Mask->Full);
    }
}

TEST_F(TIFFTest, PagesOfAMultiPageFile) {
    for (int32_t page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        const TiffRead r = ReadFixture("multi.tif", false, page);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Count, 3);
        EXPECT_EQ(r.Params->TIFFImageCount, 3);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("tiff", "multi_" + std::to_string(page) + ".ref.ppm")));
    }
    // A page past the end ends the read quietly, with the page count.
    const TiffRead r = ReadFixture("multi.tif", false, 5);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Count, 3);
    EXPECT_TRUE(r.Bitmap->IsEmpty());
}

TEST_F(TIFFTest, SingleTileIsReadAlone) {
    const auto file = ReadBytes(FixturePath("tiff", "rgb_tiled.tif"));
    const RefImage ref = LoadRef(FixturePath("tiff", "rgb_tiled.ref.ppm"));
    const TiffRead r = ReadTiff(file, false, 0, false, 1);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->GetWidth(), 16);
    ASSERT_EQ(r.Bitmap->GetHeight(), 16);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const TRGB p = r.Bitmap->GetPixelRGB(x, y);
            const uint8_t* q = ref.At(16 + x, y);
            EXPECT_EQ(p.r, q[0]);
            EXPECT_EQ(p.b, q[2]);
        }
    // A tile index beyond the file's tiles is refused.
    EXPECT_TRUE(ReadTiff(file, false, 0, false, 99).Aborted);
}

// ---------------------------------------------------------------------------------------
// Files built byte by byte

// Builds a one-page TIFF in either byte order: entries (tag, type, count, values) whose
// values go inline or after the directory, and pixel data stored behind the header.
class TiffBuilder {
public:
    explicit TiffBuilder(bool Little) : little_(Little) {}
    struct Entry {
        uint16_t Tag, Type;
        uint32_t Count;
        std::vector<uint32_t> Values;  // items of the type (rationals as pairs)
        std::vector<uint8_t> Bytes;    // raw values for BYTE, ASCII, UNDEFINED
    };
    TiffBuilder& Add(uint16_t Tag, uint16_t Type, std::vector<uint32_t> Values) {
        const uint32_t count = static_cast<uint32_t>(Type == 5 ? Values.size() / 2 : Values.size());
        entries_.push_back({Tag, Type, count, std::move(Values), {}});
        return *this;
    }
    TiffBuilder& AddBytes(uint16_t Tag, uint16_t Type, std::vector<uint8_t> Bytes) {
        entries_.push_back({Tag, Type, static_cast<uint32_t>(Bytes.size()), {}, std::move(Bytes)});
        return *this;
    }
    // Data placed right after the header; its offset is 8.
    TiffBuilder& Data(std::vector<uint8_t> D) {
        data_ = std::move(D);
        return *this;
    }
    // The next-directory offset written after the directory (0 by default); -1: its own.
    TiffBuilder& Next(int64_t N) {
        next_ = N;
        return *this;
    }
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> out;
        out.push_back(little_ ? 'I' : 'M');
        out.push_back(little_ ? 'I' : 'M');
        Put16(out, 42);
        const uint32_t dataEnd = static_cast<uint32_t>(8 + data_.size() + (data_.size() & 1));
        Put32(out, dataEnd);
        out.insert(out.end(), data_.begin(), data_.end());
        if (data_.size() & 1) out.push_back(0);
        std::vector<uint8_t> extra;
        const uint32_t extraAt = dataEnd + 2 + 12 * static_cast<uint32_t>(entries_.size()) + 4;
        Put16(out, static_cast<uint32_t>(entries_.size()));
        for (const Entry& e : entries_) {
            Put16(out, e.Tag);
            Put16(out, e.Type);
            Put32(out, e.Count);
            std::vector<uint8_t> v;
            if (!e.Bytes.empty() || e.Type == 1 || e.Type == 2 || e.Type == 7) {
                v = e.Bytes;
            } else {
                for (uint32_t x : e.Values) {
                    if (e.Type == 3)
                        Put16(v, x);
                    else
                        Put32(v, x);
                }
            }
            if (v.size() <= 4) {
                v.resize(4, 0);
                out.insert(out.end(), v.begin(), v.end());
            } else {
                Put32(out, extraAt + static_cast<uint32_t>(extra.size()));
                extra.insert(extra.end(), v.begin(), v.end());
            }
        }
        Put32(out, next_ == -1 ? dataEnd : static_cast<uint32_t>(next_));
        out.insert(out.end(), extra.begin(), extra.end());
        return out;
    }

private:
    void Put16(std::vector<uint8_t>& O, uint32_t V) const {
        if (little_) {
            O.push_back(static_cast<uint8_t>(V));
            O.push_back(static_cast<uint8_t>(V >> 8));
        } else {
            O.push_back(static_cast<uint8_t>(V >> 8));
            O.push_back(static_cast<uint8_t>(V));
        }
    }
    void Put32(std::vector<uint8_t>& O, uint32_t V) const {
        for (int i = 0; i < 4; ++i) O.push_back(static_cast<uint8_t>(V >> (little_ ? 8 * i : 24 - 8 * i)));
    }
    bool little_;
    std::vector<Entry> entries_;
    std::vector<uint8_t> data_;
    int64_t next_ = 0;
};

// A grey 8-bit W x H image with the given data and extra entries.
TiffBuilder Grey(bool Little, uint32_t W, uint32_t H, std::vector<uint8_t> Data) {
    TiffBuilder b(Little);
    const uint32_t n = static_cast<uint32_t>(Data.size());
    b.Data(std::move(Data))
        .Add(256, 4, {W})
        .Add(257, 4, {H})
        .Add(258, 3, {8})
        .Add(262, 3, {1})
        .Add(273, 4, {8})
        .Add(277, 3, {1})
        .Add(278, 4, {H})
        .Add(279, 4, {n});
    return b;
}

TEST_F(TIFFTest, TagsReadTheSameInBothByteOrders) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        auto b = Grey(little, 2, 1, {10, 20});
        b.Add(297, 3, {3, 7})      // page number and count in one value field
            .Add(282, 5, {72, 1})  // 72 per centimetre
            .Add(283, 5, {1, 2})   // half a dot per centimetre
            .Add(296, 3, {3})
            .AddBytes(269, 2, {'d', 'o', 'c', 0})
            .AddBytes(285, 2, {'p', 'a', 'g', 'e', ' ', '1', 0})
            .Add(274, 3, {6});
        const TiffRead r = ReadTiff(b.Build());
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Params->TIFFByteOrder, little);
        EXPECT_EQ(r.Params->TIFFPageNumber, 3);
        EXPECT_EQ(r.Params->TIFFPageCount, 7);
        EXPECT_EQ(r.Params->DpiX, 182);
        EXPECT_DOUBLE_EQ(r.Params->EXIFXResolution, 72 * 2.54);
        EXPECT_EQ(r.Params->DpiY, 1);
        EXPECT_EQ(r.Params->TIFFDocumentName, "doc");
        EXPECT_EQ(r.Params->TIFFPageName, "page 1");
        EXPECT_EQ(r.Params->TIFFOrientation, 6);
        EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0).g, 20);
    }
}

TEST_F(TIFFTest, ResolutionBelowOneGivesTheDefault) {
    auto b = Grey(true, 1, 1, {0});
    b.Add(282, 5, {1, 2}).Add(283, 5, {1, 2});
    const TiffRead r = ReadTiff(b.Build());
    EXPECT_EQ(r.Params->DpiX, IEDefaultDpiX);
    EXPECT_EQ(r.Params->DpiY, IEDefaultDpiY);
}

TEST_F(TIFFTest, BilevelWithoutPhotometricIsWhiteIsZero) {
    TiffBuilder b(true);
    b.Data({0xF0, 0x0F}).Add(256, 4, {8}).Add(257, 4, {2}).Add(273, 4, {8}).Add(279, 4, {2});
    const TiffRead r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->GetPixelFormat(), ie1g);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(0))[0], 0x0F);
    EXPECT_EQ(static_cast<uint8_t*>(r.Bitmap->GetScanline(1))[0], 0xF0);
}

TEST_F(TIFFTest, SubByteGreyLevelsAreScaled) {
    struct Case {
        uint32_t Bits;
        uint8_t Byte;
        uint8_t First, Second;
    } cases[] = {{4, 0xF0, 255, 0}, {2, 0xD0, 255, 85}, {4, 0x18, 17, 136}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bits);
        TiffBuilder b(true);
        b.Data({c.Byte})
            .Add(256, 4, {2})
            .Add(257, 4, {1})
            .Add(258, 3, {c.Bits})
            .Add(262, 3, {1})
            .Add(273, 4, {8})
            .Add(279, 4, {1});
        const TiffRead r = ReadTiff(b.Build());
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0).g, c.First);
        EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0).g, c.Second);
    }
}

TEST_F(TIFFTest, PackBitsRunCrossingTheRowEndIsCut) {
    // Rows of 3 bytes; a run of 5 bytes of 9, then a literal of three bytes for row 2.
    TiffBuilder b(true);
    b.Data({0xFC, 9, 2, 1, 2, 3})
        .Add(256, 4, {3})
        .Add(257, 4, {2})
        .Add(258, 3, {8})
        .Add(259, 3, {32773})
        .Add(262, 3, {1})
        .Add(273, 4, {8})
        .Add(279, 4, {6});
    const TiffRead r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, 0).g, 9);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(r.Bitmap->GetPixelRGB(x, 1).g, x + 1);
}

TEST_F(TIFFTest, AssociatedAlphaAmongFiveSamplesIsUndone) {
    // Red 100 with alpha 128 (associated), then a sample of no meaning.
    TiffBuilder b(true);
    b.Data({100, 50, 200, 128, 7})
        .Add(256, 4, {1})
        .Add(257, 4, {1})
        .Add(258, 3, {8, 8, 8, 8, 8})
        .Add(262, 3, {2})
        .Add(273, 4, {8})
        .Add(277, 3, {5})
        .Add(279, 4, {5})
        .Add(338, 3, {1, 0});
    const TiffRead r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    const TRGB p = r.Bitmap->GetPixelRGB(0, 0);
    EXPECT_EQ(p.r, 199);
    EXPECT_EQ(p.g, 99);
    EXPECT_EQ(p.b, 255);  // 398 clamped
    ASSERT_TRUE(r.Mask);
    EXPECT_EQ(r.Mask->GetPixel(0, 0), 128);
}

TEST_F(TIFFTest, PaletteWithAlphaKeepsTheAlphaAsStored) {
    TiffBuilder b(true);
    std::vector<uint32_t> map(3 * 256, 0);
    map[1] = 0xFFFF;  // entry 1 red
    b.Data({1, 200})
        .Add(256, 4, {1})
        .Add(257, 4, {1})
        .Add(258, 3, {8, 8})
        .Add(262, 3, {3})
        .Add(273, 4, {8})
        .Add(277, 3, {2})
        .Add(279, 4, {2})
        .Add(320, 3, map);
    const TiffRead r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0).r, 255);
    ASSERT_TRUE(r.Mask);
    EXPECT_EQ(r.Mask->GetPixel(0, 0), 200);
}

TEST_F(TIFFTest, ShortColourMapIsPaddedWithBlack) {
    // A 4-bit palette whose map has only two entries: indexes beyond read black.
    TiffBuilder b(true);
    b.Data({0x12})
        .Add(256, 4, {2})
        .Add(257, 4, {1})
        .Add(258, 3, {4})
        .Add(262, 3, {3})
        .Add(273, 4, {8})
        .Add(279, 4, {1})
        .Add(320, 3, {0, 65535, 0, 65535, 0, 0});
    const TiffRead r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->ColorMapCount, 16);
    const TRGB a = r.Bitmap->GetPixelRGB(0, 0), c = r.Bitmap->GetPixelRGB(1, 0);
    EXPECT_EQ(a.r, 255);
    EXPECT_EQ(a.g, 255);
    EXPECT_EQ(c.r, 0);
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 0);
}

TEST_F(TIFFTest, DamagedFilesAbortWithoutHarm) {
    struct Case {
        const char* What;
        std::vector<uint8_t> File;
        bool Aborts;
    };
    std::vector<Case> cases;
    cases.push_back({"unknown byte order", {'X', 'X', 42, 0, 8, 0, 0, 0}, true});
    cases.push_back({"first directory 0", {'I', 'I', 42, 0, 0, 0, 0, 0}, false});
    cases.push_back({"no width", TiffBuilder(true).Data({1}).Add(257, 4, {1}).Add(273, 4, {8}).Build(), true});
    cases.push_back({"no strip offsets", TiffBuilder(true).Add(256, 4, {1}).Add(257, 4, {1}).Build(), true});
    cases.push_back(
        {"bits differ between samples",
         TiffBuilder(true).Add(256, 4, {1}).Add(257, 4, {1}).Add(258, 3, {8, 8, 16}).Add(277, 3, {3}).Build(), true});
    cases.push_back({"strip offset past the end",
                     TiffBuilder(true)
                         .Add(256, 4, {4})
                         .Add(257, 4, {4})
                         .Add(258, 3, {8})
                         .Add(262, 3, {1})
                         .Add(273, 4, {100000})
                         .Add(279, 4, {16})
                         .Build(),
                     true});
    cases.push_back({"palette without colour map",
                     TiffBuilder(true)
                         .Data({1})
                         .Add(256, 4, {1})
                         .Add(257, 4, {1})
                         .Add(258, 3, {8})
                         .Add(262, 3, {3})
                         .Add(273, 4, {8})
                         .Add(279, 4, {1})
                         .Build(),
                     true});
    cases.push_back({"tile width without tile length", Grey(true, 4, 4, {1, 2, 3, 4}).Add(322, 4, {16}).Build(), true});
    cases.push_back({"too many planes",
                     TiffBuilder(true)
                         .Data(std::vector<uint8_t>(12, 1))
                         .Add(256, 4, {1})
                         .Add(257, 4, {1})
                         .Add(258, 3, {8})
                         .Add(277, 3, {12})
                         .Add(284, 3, {2})
                         .Add(273, 4, {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19})
                         .Add(279, 4, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1})
                         .Build(),
                     true});
    cases.push_back({"planes without byte counts",
                     TiffBuilder(true)
                         .Data({1, 2, 3})
                         .Add(256, 4, {1})
                         .Add(257, 4, {1})
                         .Add(258, 3, {8, 8, 8})
                         .Add(277, 3, {3})
                         .Add(284, 3, {2})
                         .Add(273, 4, {8, 9, 10})
                         .Build(),
                     true});
    cases.push_back({"huge size from a tiny file", Grey(true, 1000000, 1000000, {1}).Build(), true});
    // Lying counts: an XMP, ICC and colour map far larger than the file are ignored; the
    // image still reads.
    cases.push_back({"lying metadata counts", Grey(true, 1, 1, {7}).Add(700, 1, {}).Add(34675, 7, {}).Build(), false});
    for (Case& c : cases) {
        SCOPED_TRACE(c.What);
        const TiffRead r = ReadTiff(c.File);
        EXPECT_EQ(r.Aborted, c.Aborts);
    }
    // A strip cut by the end of the file: the rows it lacks are zero.
    TiffBuilder cut(true);
    cut.Add(256, 4, {2}).Add(257, 4, {3}).Add(258, 3, {8}).Add(262, 3, {1}).Add(273, 4, {0}).Add(279, 4, {6});
    auto file = cut.Build();
    file.push_back(5);
    file.push_back(6);
    // The directory stands at 8 (no data before it); point the strip at the two bytes.
    const uint32_t at = static_cast<uint32_t>(file.size() - 2);
    for (uint16_t e = 0; e < IEGetLE16(file.data() + 8); ++e) {
        uint8_t* entry = file.data() + 10 + 12 * e;
        if (IEGetLE16(entry) == 273)
            for (int k = 0; k < 4; ++k) entry[8 + k] = static_cast<uint8_t>(at >> (8 * k));
    }
    const TiffRead r = ReadTiff(file);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0).g, 6);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 2).g, 0);
}

TEST_F(TIFFTest, DirectoryCyclesEndTheChain) {
    // A directory pointing at itself.
    auto self = Grey(true, 1, 1, {9}).Next(-1).Build();
    TiffRead r = ReadTiff(self);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Count, 1);
    // Two directories pointing at each other.
    auto one = Grey(true, 1, 1, {9}).Build();
    const uint32_t first = IEGetLE32(one.data() + 4);
    const uint32_t second = static_cast<uint32_t>(one.size());
    std::vector<uint8_t> file = one;
    // The second directory: a copy of the first (its entries' offsets stay valid).
    const uint16_t n = IEGetLE16(one.data() + first);
    file.insert(file.end(), one.begin() + first, one.begin() + first + 2 + 12 * n + 4);
    auto put32 = [&](size_t At, uint32_t V) {
        for (int i = 0; i < 4; ++i) file[At + i] = static_cast<uint8_t>(V >> (8 * i));
    };
    put32(first + 2 + 12 * n, second);
    put32(second + 2 + 12 * n, first);
    r = ReadTiff(file);
    EXPECT_FALSE(r.Aborted);
    EXPECT_EQ(r.Count, 2);
}

TEST_F(TIFFTest, ParamsOnlyLeavesTheBitmap) {
    const TiffRead r = ReadTiff(ReadBytes(FixturePath("tiff", "rgb_lzw.tif")), false, 0, true);
    EXPECT_FALSE(r.Aborted);
    EXPECT_TRUE(r.Bitmap->IsEmpty());
    EXPECT_EQ(r.Params->Width, 37);
    EXPECT_EQ(r.Params->Height, 21);
}

TEST_F(TIFFTest, TagAccessOfTheDirectory) {
    auto file = Grey(false, 3, 1, {1, 2, 3}).Add(300, 3, {11, 22, 33}).Add(301, 4, {5, 6}).Add(302, 1, {}).Build();
    auto s = MemStream(file);
    TTIFFDirectory d;
    d.Stream = s.get();
    d.LittleEndian = false;
    int32_t pages = 0;
    ASSERT_TRUE(IETIFFReadIFD(
        0, IEGetLE32(file.data() + 4) == 0 ? 0 : (file[4] << 24 | file[5] << 16 | file[6] << 8 | file[7]), d, pages));
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(IETIFFGetTagItem(d, 300, 2, -1), 33);
    EXPECT_EQ(IETIFFGetTagItem(d, 300, 3, -1), -1);
    EXPECT_EQ(IETIFFGetTagItem(d, 301, 1, -1), 6);
    EXPECT_EQ(IETIFFGetTagValue(d, 256, 0), 3);
    EXPECT_EQ(IETIFFGetTagValue(d, 999, 77), 77);
    EXPECT_EQ(IETIFFReadTagArray(d, 300), (std::vector<int64_t>{11, 22, 33}));
    EXPECT_EQ(IETIFFFindTag(d, 999), -1);
}

// ---------------------------------------------------------------------------------------
// Writer

TEST_F(TIFFTest, OurFilesPassTiffinfoAndReadBackThroughTiff2rgba) {
    auto src = Make24(37, 21, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 11), static_cast<uint8_t>((x * y) & 255)};
    });
    auto grey = Make24(37, 21, [](int32_t x, int32_t y) {
        const uint8_t g = static_cast<uint8_t>(x * 7 + y);
        return TRGB{g, g, g};
    });
    auto smooth = Make24(37, 21, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 11), 100};
    });
    // Colours well inside what inks can print, so that both CMYK conversions agree.
    auto pastel = Make24(37, 21, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(120 + x * 2), static_cast<uint8_t>(110 + y * 3), 150};
    });
    auto few = Make24(37, 21, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>((x / 5) * 30), static_cast<uint8_t>((y / 4) * 40), 90};
    });
    auto two = Make24(37, 21, [](int32_t x, int32_t y) { return (x + y) % 3 ? TRGB{255, 255, 255} : TRGB{0, 0, 0}; });
    struct Case {
        const char* What;
        TIEBitmap* Source;
        int32_t Bits, Samples;
        uint8_t Compression;
        int Tolerance;       // of the source against libtiff's decoding
        const char* Expect;  // in tiffinfo's output
    } cases[] = {
        {"rgb none", src.get(), 8, 3, 0, 0, "Compression Scheme: None"},
        {"rgb lzw", src.get(), 8, 3, 5, 0, "Compression Scheme: LZW"},
        {"rgb packbits", src.get(), 8, 3, 8, 0, "PackBits"},
        {"rgb deflate", src.get(), 8, 3, 9, 0, "Deflate"},
        {"rgb jpeg", smooth.get(), 8, 3, 7, 12, "JPEG"},
        {"grey 8 lzw", grey.get(), 8, 1, 5, 0, "min-is-black"},
        {"grey 4", grey.get(), 4, 1, 0, 9, "Bits/Sample: 4"},
        {"palette 8", few.get(), 8, 1, 9, 0, "palette"},
        {"bilevel g4", two.get(), 1, 1, 4, 0, "CCITT Group 4"},
        {"bilevel g3 2d", two.get(), 1, 1, 3, 0, "CCITT Group 3"},
        {"bilevel g3", two.get(), 1, 1, 2, 0, "CCITT Group 3"},
        {"bilevel huffman", two.get(), 1, 1, 1, 0, "CCITT RLE"},
        {"bilevel packbits", two.get(), 1, 1, 8, 0, "PackBits"},
        {"cmyk", pastel.get(), 8, 4, 0, 12, "separated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.Bits;
        p.SamplesPerPixel = c.Samples;
        p.TIFFCompression = c.Compression;
        if (std::string(c.What) == "cmyk") p.TIFFPhotometric = 5;
        bool aborted = true;
        const auto bytes = WriteTiff(*c.Source, p, &aborted);
        ASSERT_FALSE(aborted);
        const std::string f = Temp("out.tif");
        WriteBytes(f, bytes);
        int st = -1;
        const std::string info = RunCommand("tiffinfo -D '" + f + "' 2>&1", &st);
        EXPECT_EQ(st, 0) << info;
        EXPECT_EQ(info.find("rror"), std::string::npos) << info;
        EXPECT_NE(info.find(c.Expect), std::string::npos) << info;
        RunCommand("tiff2rgba '" + f + "' '" + Temp("rgba.tif") + "'", &st);
        ASSERT_EQ(st, 0);
        ExpectSameRGB(*c.Source, DecodeWithImageMagick(Temp("rgba.tif")), c.Tolerance);
        // And our reader takes it back.
        const TiffRead r = ReadTiff(bytes);
        ASSERT_FALSE(r.Aborted);
        // Lossy data decodes alike in both; CMYK goes through the colour profile here and
        // through plain formulas in libtiff.
        const int readTolerance = p.TIFFPhotometric == 5 ? 16 : c.Tolerance ? 3 : 0;
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(Temp("rgba.tif")), readTolerance);
    }
}

TEST_F(TIFFTest, OldStyleJPEGReadsBack) {
    auto src = Make24(40, 24, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 9), 120};
    });
    TIOParamsVals p(nullptr);
    p.TIFFCompression = 6;
    p.TIFFJPEGQuality = 95;
    bool aborted = true;
    const auto bytes = WriteTiff(*src, p, &aborted);
    ASSERT_FALSE(aborted);
    const TiffRead r = ReadTiff(bytes);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->TIFFCompression, 6);
    ExpectSameRGB(
        *r.Bitmap,
        [&] {
            RefImage ref;
            ref.Width = 40;
            ref.Height = 24;
            ref.Channels = 3;
            for (int32_t y = 0; y < 24; ++y)
                for (int32_t x = 0; x < 40; ++x) {
                    const TRGB c = src->GetPixelRGB(x, y);
                    ref.Pixels.insert(ref.Pixels.end(), {c.r, c.g, c.b});
                }
            return ref;
        }(),
        8);
}

TEST_F(TIFFTest, AlphaIsWrittenAsUnassociatedExtraSample) {
    auto src = Make24(9, 5, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 40), 77};
    });
    TIEBitmap* a = src->GetAlphaChannel();
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 9; ++x) a->SetPixel8(x, y, static_cast<uint8_t>(x * 25 + y));
    for (uint8_t compression : {0, 5, 8}) {
        SCOPED_TRACE(int(compression));
        TIOParamsVals p(nullptr);
        p.TIFFCompression = compression;
        const auto bytes = WriteTiff(*src, p);
        const std::string f = Temp("a.tif");
        WriteBytes(f, bytes);
        const std::string info = RunCommand("tiffinfo '" + f + "' 2>&1");
        EXPECT_NE(info.find("Extra Samples: 1<unassoc-alpha>"), std::string::npos) << info;
        // libtiff's RGBA decoding multiplies the colours by the alpha (an associated-alpha
        // file); ImageMagick divides them again. Colours tagged as already multiplied would
        // come out of that far too bright; the true ones come back within the rounding of
        // the multiplication.
        int st = -1;
        RunCommand("tiff2rgba '" + f + "' '" + Temp("rgba.tif") + "'", &st);
        ASSERT_EQ(st, 0);
        const RefImage lib = DecodeWithImageMagick(Temp("rgba.tif"));
        ASSERT_EQ(lib.Width, 9);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 9; ++x) {
                const TRGB c = src->GetPixelRGB(x, y);
                const int32_t alpha = x * 25 + y;
                if (alpha == 0) continue;
                const uint8_t* got = lib.At(x, y);
                const int32_t want[3] = {c.r, c.g, c.b};
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(got[k], want[k], 255 / alpha + 1) << x << "," << y << " channel " << k;
            }
        // ImageMagick keeps unassociated colours as they are and divides associated ones.
        ExpectSameRGB(*src, DecodeWithImageMagick(f));
        const TiffRead r = ReadTiff(bytes);
        ASSERT_FALSE(r.Aborted);
        ASSERT_TRUE(r.Mask);
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(f));
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(r.Mask->GetPixel(x, y), x * 25 + y);
    }
}

TEST_F(TIFFTest, BigEndianFilesWhenTheByteOrderAsksForThem) {
    auto rgb = Make24(37, 21, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 11), static_cast<uint8_t>((x * y) & 255)};
    });
    auto alpha = Make24(9, 5, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 40), 77};
    });
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 9; ++x) alpha->GetAlphaChannel()->SetPixel8(x, y, static_cast<uint8_t>(x * 25 + y));
    TIEBitmap grey16(13, 7, ie16g), rgb48(13, 7, ieRGB48);
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x) {
            // High and low bytes that differ, so that a word in the wrong order shows.
            static_cast<uint16_t*>(grey16.GetScanline(y))[x] = static_cast<uint16_t>(x * 5000 + y * 300 + 17);
            uint16_t* w = static_cast<uint16_t*>(rgb48.GetScanline(y)) + 3 * x;
            w[0] = static_cast<uint16_t>(x * 5000 + 100);
            w[1] = static_cast<uint16_t>(y * 9000 + 7);
            w[2] = static_cast<uint16_t>(60000 - x * 3000);
        }
    auto two = Make24(37, 21, [](int32_t x, int32_t y) { return (x + y) % 3 ? TRGB{255, 255, 255} : TRGB{0, 0, 0}; });
    struct Case {
        const char* What;
        TIEBitmap* Source;
        int32_t Bits, Samples;
        uint8_t Compression;
        bool Exif;
    } cases[] = {
        {"rgb lzw with exif", rgb.get(), 8, 3, 5, true},
        {"rgb with alpha", alpha.get(), 8, 3, 0, false},
        {"grey 16", &grey16, 16, 1, 0, false},
        {"rgb 48 deflate", &rgb48, 16, 3, 9, false},
        {"grey 4", rgb.get(), 4, 1, 0, false},
        {"bilevel g4", two.get(), 1, 1, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.Bits;
        p.SamplesPerPixel = c.Samples;
        p.TIFFCompression = c.Compression;
        p.TIFFByteOrder = false;
        p.TIFFPageName = "first page";
        if (c.Exif) {
            p.HasEXIFData = true;
            p.EXIFXResolution = 72.5;
            p.EXIFYResolution = 96;
            p.EXIFArtist = "Someone";
            p.EXIFUserComment = u"z\u00e9ro";
        }
        bool aborted = true;
        const auto bytes = WriteTiff(*c.Source, p, &aborted);
        ASSERT_FALSE(aborted);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), std::string("MM\0*", 4));
        const std::string f = Temp("be.tif");
        WriteBytes(f, bytes);
        int st = -1;
        const std::string info = RunCommand("tiffinfo -D '" + f + "' 2>&1", &st);
        EXPECT_EQ(st, 0) << info;
        EXPECT_EQ(info.find("rror"), std::string::npos) << info;
        EXPECT_EQ(info.find("arning"), std::string::npos) << info;
        EXPECT_NE(info.find("PageName: first page"), std::string::npos) << info;
        EXPECT_EQ(RunCommand("/usr/bin/identify -format '%[tiff:endian]' '" + f + "' 2>/dev/null"), "msb");
        if (c.Exif) {
            const std::string exif = RunCommand("exiftool -s -s -s -Artist -UserComment -XResolution '" + f + "'");
            EXPECT_EQ(exif, "Someone\nz\xc3\xa9ro\n72.5\n");
        }
        // libtiff, ImageMagick and our reader decode the same pixels.
        RunCommand("tiff2rgba '" + f + "' '" + Temp("rgba.tif") + "'", &st);
        ASSERT_EQ(st, 0);
        const RefImage im = DecodeWithImageMagick(f);
        const TiffRead r = ReadTiff(bytes, true);
        ASSERT_FALSE(r.Aborted);
        EXPECT_FALSE(r.Params->TIFFByteOrder);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), c.Source->GetPixelFormat() == ie24RGB && c.Bits == 1
                                                  ? ie1g
                                                  : c.Bits == 4 ? ie24RGB : c.Source->GetPixelFormat());
        ExpectSameRGB(*r.Bitmap, im, 1);
        if (c.Source->GetPixelFormat() == ie16g || c.Source->GetPixelFormat() == ieRGB48) {
            const int32_t words = c.Source->GetPixelFormat() == ie16g ? 13 : 39;
            for (int32_t y = 0; y < 7; ++y)
                EXPECT_EQ(std::memcmp(r.Bitmap->GetScanline(y), c.Source->GetScanline(y), 2 * words), 0) << y;
        }
        if (c.Source == alpha.get()) {
            ASSERT_TRUE(r.Mask);
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(r.Mask->GetPixel(x, y), x * 25 + y);
        } else {
            ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(Temp("rgba.tif")), 1);
        }
    }
}

TEST_F(TIFFTest, GreyAndPaletteBitmapsAreOneSamplePerPixel) {
    TIEBitmap g(5, 3, ie8g), pal(5, 3, ie8p);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            g.SetPixel8(x, y, static_cast<uint8_t>(x * 50 + y));
            pal.SetPixel8(x, y, static_cast<uint8_t>(x));
        }
    for (int i = 0; i < 5; ++i) pal.SetPaletteEntry(i, TRGB{static_cast<uint8_t>(i * 60), 10, 200});
    for (TIEBitmap* b : {&g, &pal}) {
        TIOParamsVals p(nullptr);  // asks for 3 samples of 8 bits
        const auto bytes = WriteTiff(*b, p);
        const std::string f = Temp("g.tif");
        WriteBytes(f, bytes);
        const std::string info = RunCommand("tiffinfo '" + f + "' 2>&1");
        EXPECT_NE(info.find("Samples/Pixel: 1"), std::string::npos) << info;
        ExpectSameRGB(*b, DecodeWithImageMagick(f));
    }
}

TEST_F(TIFFTest, StripsHoldAboutHalfAMegabyte) {
    TIEBitmap b(1024, 2000, ie8g);
    TIOParamsVals p(nullptr);
    const auto bytes = WriteTiff(b, p);
    const std::string f = Temp("s.tif");
    WriteBytes(f, bytes);
    const std::string info = RunCommand("tiffinfo '" + f + "' 2>&1");
    EXPECT_NE(info.find("Rows/Strip: 666"), std::string::npos) << info;
    const std::string dump = RunCommand("tiffdump '" + f + "' 2>&1");
    EXPECT_NE(dump.find("StripOffsets (273) LONG (4) 4<"), std::string::npos) << dump;
}

TEST_F(TIFFTest, ShortTextsSitInsideTheEntry) {
    auto src = Make24(2, 2, [](int32_t, int32_t) { return TRGB{1, 2, 3}; });
    TIOParamsVals p(nullptr);
    p.TIFFDocumentName = "abc";
    p.TIFFPageName = "a longer page name";
    const auto bytes = WriteTiff(*src, p);
    const TiffRead r = ReadTiff(bytes);
    EXPECT_EQ(r.Params->TIFFDocumentName, "abc");
    EXPECT_EQ(r.Params->TIFFPageName, "a longer page name");
    const std::string f = Temp("t.tif");
    WriteBytes(f, bytes);
    const std::string dump = RunCommand("tiffdump '" + f + "' 2>&1");
    EXPECT_NE(dump.find("DocumentName (269) ASCII (2) 3<abc>"), std::string::npos) << dump;
}

TEST_F(TIFFTest, InsertAndDeleteKeepTheOtherPages) {
    auto a = Make24(7, 5, [](int32_t x, int32_t) { return TRGB{static_cast<uint8_t>(x * 30), 0, 0}; });
    auto b = Make24(6, 4, [](int32_t, int32_t y) { return TRGB{0, static_cast<uint8_t>(y * 60), 0}; });
    auto c = Make24(5, 3, [](int32_t, int32_t) { return TRGB{0, 0, 200}; });
    cl::TMemoryStream s;
    Progress pr;
    TIOParamsVals p(nullptr);
    ASSERT_EQ(IEWriteTIFFStream(&s, false, a.get(), pr.Rec, p), 1);
    s.Seek(0, cl::soBeginning);
    p.TIFFImageIndex = 5;  // behind the last page
    ASSERT_EQ(IEWriteTIFFStream(&s, true, b.get(), pr.Rec, p), 2);
    const auto twoPages = StreamBytes(s);
    s.Seek(0, cl::soBeginning);
    p.TIFFImageIndex = 0;
    ASSERT_EQ(IEWriteTIFFStream(&s, true, c.get(), pr.Rec, p), 3);
    ASSERT_FALSE(pr.Aborting);
    const auto bytes = StreamBytes(s);
    // Only the first-directory pointer changed in the old part of the file.
    for (size_t i = 8; i < twoPages.size(); ++i) ASSERT_EQ(bytes[i], twoPages[i]) << i;
    const std::string f = Temp("m.tif");
    WriteBytes(f, bytes);
    int st = -1;
    const std::string info = RunCommand("tiffinfo '" + f + "' 2>&1", &st);
    EXPECT_EQ(st, 0) << info;
    TIEBitmap* order[] = {c.get(), a.get(), b.get()};
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TiffRead r = ReadTiff(bytes, false, i);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Count, 3);
        ExpectSameRGB(*order[i], DecodeWithImageMagick(f + "[" + std::to_string(i) + "]"));
        ExpectSameRGB(*r.Bitmap, DecodeWithImageMagick(f + "[" + std::to_string(i) + "]"));
    }
    // Taking page 1 out with libtiff's tools leaves the others as they were.
    RunCommand("tiffcp '" + f + ",0,2' '" + Temp("d.tif") + "'", &st);
    ASSERT_EQ(st, 0);
    const TiffRead d1 = ReadTiff(ReadBytes(Temp("d.tif")), false, 1);
    EXPECT_EQ(d1.Count, 2);
    ExpectSameRGB(*b, DecodeWithImageMagick(Temp("d.tif") + "[1]"));
    ExpectSameRGB(*d1.Bitmap, DecodeWithImageMagick(Temp("d.tif") + "[1]"));
    // An insert into a big-endian file is refused.
    auto be = MemStream(ReadBytes(FixturePath("tiff", "rgb_be_none.tif")));
    Progress bad;
    EXPECT_EQ(IEWriteTIFFStream(be.get(), true, a.get(), bad.Rec, p), 0);
    EXPECT_TRUE(bad.Aborting);
}

TEST_F(TIFFTest, InsertIntoACycleEnds) {
    auto a = Make24(2, 2, [](int32_t, int32_t) { return TRGB{1, 2, 3}; });
    auto file = Grey(true, 1, 1, {9}).Next(-1).Build();
    auto s = MemStream(file);
    Progress pr;
    TIOParamsVals p(nullptr);
    p.TIFFImageIndex = 100;
    EXPECT_EQ(IEWriteTIFFStream(s.get(), true, a.get(), pr.Rec, p), 2);
}

TEST_F(TIFFTest, ExifIsWrittenAndReadBackByExiftool) {
    auto src = Make24(4, 4, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 9};
    });
    TIOParamsVals p(nullptr);
    p.HasEXIFData = true;
    p.EXIFMake = "Maker";
    p.EXIFModel = "Model Nine";
    p.SetEXIFExposureTime(0.125);
    p.SetEXIFFNumber(2.8);
    p.EXIFISOSpeedRatings[0] = 200;
    p.EXIFDateTimeOriginal = "2020:01:02 03:04:05";
    p.EXIFUserComment = u"hello";
    p.GPSVersionID = "2.2.0.0";
    p.GPSLatitudeRef = "N";
    p.GPSLatitude[0] = 45;
    p.GPSLatitude[1] = 30;
    const auto bytes = WriteTiff(*src, p);
    const std::string f = Temp("e.tif");
    WriteBytes(f, bytes);
    const std::string out = RunCommand(
        "exiftool -s -s -s -Make -Model -ExposureTime -FNumber -ISO "
        "-DateTimeOriginal -UserComment -GPSLatitudeRef '" +
        f + "' 2>&1");
    EXPECT_EQ(out, "Maker\nModel Nine\n1/8\n2.8\n200\n2020:01:02 03:04:05\nhello\nNorth\n");
    const TiffRead r = ReadTiff(bytes);
    EXPECT_TRUE(r.Params->HasEXIFData);
    EXPECT_EQ(r.Params->EXIFModel, "Model Nine");
    EXPECT_DOUBLE_EQ(r.Params->EXIFExposureTime, 0.125);
    EXPECT_EQ(r.Params->EXIFUserComment, u"hello");
    EXPECT_EQ(r.Params->GPSVersionID, "2.2.0.0");
    EXPECT_DOUBLE_EQ(r.Params->GPSLatitude[1], 30);
}

// Every GPS field goes out under its own tag and comes back into the same field.
TEST_F(TIFFTest, EveryGPSFieldIsWrittenUnderItsTagAndReadBack) {
    auto src = Make24(2, 2, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 1};
    });
    TIOParamsVals p(nullptr);
    p.HasEXIFData = true;  // the GPS directory goes out with the EXIF fields
    p.GPSVersionID = "2.2.0.0";
    p.GPSLatitudeRef = "S";
    p.GPSLongitudeRef = "W";
    p.GPSStatus = "A";
    p.GPSMeasureMode = "3";
    p.GPSSpeedRef = "K";
    p.GPSTrackRef = "T";
    p.GPSImgDirectionRef = "M";
    p.GPSDestLatitudeRef = "N";
    p.GPSDestLongitudeRef = "E";
    p.GPSDestBearingRef = "T";
    p.GPSDestDistanceRef = "N";
    p.GPSSatellites = "12";
    p.GPSMapDatum = "WGS-84";
    p.GPSDateStamp = "2021:06:07";
    p.GPSAltitudeRef = "1";
    p.GPSAltitude = 120.5;
    p.GPSDOP = 2.5;
    p.GPSSpeed = 40;
    p.GPSTrack = 90.25;
    p.GPSImgDirection = 180;
    p.GPSDestBearing = 45.5;
    p.GPSDestDistance = 7;
    const double lat[3] = {10, 20, 30}, lon[3] = {11, 21, 31}, time[3] = {12, 13, 14}, dlat[3] = {1, 2, 3},
                 dlon[3] = {4, 5, 6};
    for (int i = 0; i < 3; ++i) {
        p.GPSLatitude[i] = lat[i];
        p.GPSLongitude[i] = lon[i];
        p.GPSTimeStamp[i] = time[i];
        p.GPSDestLatitude[i] = dlat[i];
        p.GPSDestLongitude[i] = dlon[i];
    }
    const auto bytes = WriteTiff(*src, p);
    const std::string f = Temp("gps.tif");
    WriteBytes(f, bytes);
    // exiftool names the tags by number, so a field under the wrong tag shows here (it gives
    // the altitude below sea level, reference 1, as negative).
    const std::string out = RunCommand(
        "exiftool -n -s -s -s -GPSLatitudeRef -GPSLongitudeRef -GPSStatus -GPSMeasureMode -GPSSpeedRef "
        "-GPSTrackRef -GPSImgDirectionRef -GPSDestLatitudeRef -GPSDestLongitudeRef -GPSDestBearingRef "
        "-GPSDestDistanceRef -GPSSatellites -GPSMapDatum -GPSDateStamp -GPSAltitudeRef -GPSAltitude -GPSDOP "
        "-GPSSpeed -GPSTrack -GPSImgDirection -GPSDestBearing -GPSDestDistance -GPSTimeStamp '" +
        f + "' 2>&1");
    EXPECT_EQ(out,
              "S\nW\nA\n3\nK\nT\nM\nN\nE\nT\nN\n12\nWGS-84\n2021:06:07\n1\n-120.5\n2.5\n40\n90.25\n180\n"
              "45.5\n7\n12:13:14\n");
    const TiffRead r = ReadTiff(bytes);
    const TIOParamsVals& q = *r.Params;
    EXPECT_EQ(q.GPSVersionID, "2.2.0.0");
    const std::vector<std::pair<cl::String, cl::String>> texts = {
        {q.GPSLatitudeRef, "S"},     {q.GPSLongitudeRef, "W"},       {q.GPSStatus, "A"},
        {q.GPSMeasureMode, "3"},     {q.GPSSpeedRef, "K"},           {q.GPSTrackRef, "T"},
        {q.GPSImgDirectionRef, "M"}, {q.GPSDestLatitudeRef, "N"},    {q.GPSDestLongitudeRef, "E"},
        {q.GPSDestBearingRef, "T"},  {q.GPSDestDistanceRef, "N"},    {q.GPSSatellites, "12"},
        {q.GPSMapDatum, "WGS-84"},   {q.GPSDateStamp, "2021:06:07"}, {q.GPSAltitudeRef, "1"},
    };
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i].first, texts[i].second) << "text " << i;
    const std::vector<std::pair<double, double>> values = {
        {q.GPSAltitude, 120.5},   {q.GPSDOP, 2.5},          {q.GPSSpeed, 40},       {q.GPSTrack, 90.25},
        {q.GPSImgDirection, 180}, {q.GPSDestBearing, 45.5}, {q.GPSDestDistance, 7},
    };
    for (size_t i = 0; i < values.size(); ++i) EXPECT_DOUBLE_EQ(values[i].first, values[i].second) << "value " << i;
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(q.GPSLatitude[i], lat[i]);
        EXPECT_DOUBLE_EQ(q.GPSLongitude[i], lon[i]);
        EXPECT_DOUBLE_EQ(q.GPSTimeStamp[i], time[i]);
        EXPECT_DOUBLE_EQ(q.GPSDestLatitude[i], dlat[i]);
        EXPECT_DOUBLE_EQ(q.GPSDestLongitude[i], dlon[i]);
    }
}

TEST_F(TIFFTest, ExifTagsCopiedIntoAWrittenFile) {
    auto src = Make24(6, 4, [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y), 3};
    });
    TIOParamsVals plain(nullptr);
    const auto bytes = WriteTiff(*src, plain);
    auto s = MemStream(bytes);
    TIOParamsVals p(nullptr);
    p.HasEXIFData = true;
    p.EXIFMake = "Copied Maker";
    p.EXIFArtist = "Someone";
    p.SetEXIFExposureTime(0.5);
    ASSERT_TRUE(IECopyEXIFTagsToTIFF(s.get(), s.get(), "", p, 0, ""));
    const std::string f = Temp("c.tif");
    WriteBytes(f, StreamBytes(*s));
    const std::string out = RunCommand("exiftool -s -s -s -Make -Artist -ExposureTime '" + f + "' 2>&1");
    EXPECT_EQ(out, "Copied Maker\nSomeone\n0.5\n");
    int st = -1;
    RunCommand("tiffinfo -D '" + f + "' >/dev/null 2>&1", &st);
    EXPECT_EQ(st, 0);
    ExpectSameRGB(*src, DecodeWithImageMagick(f));
    // A target that is no TIFF, and a page it does not have, are refused.
    auto notTiff = MemStream({'P', '6', ' ', '1'});
    EXPECT_FALSE(IECopyEXIFTagsToTIFF(notTiff.get(), notTiff.get(), "", p, 0, ""));
    auto again = MemStream(bytes);
    EXPECT_FALSE(IECopyEXIFTagsToTIFF(again.get(), again.get(), "", p, 3, ""));
}

// ---------------------------------------------------------------------------------------
// Probes and the engine

TEST_F(TIFFTest, Probes) {
    struct Case {
        const char* What;
        std::vector<uint8_t> File;
        bool Tiff, Raw;
    };
    auto be = ReadBytes(FixturePath("tiff", "rgb_be_none.tif"));
    auto baBytes = be;
    baBytes[8] = 0xBA;
    std::vector<Case> cases = {
        {"little-endian", ReadBytes(FixturePath("tiff", "rgb_lzw.tif")), true, false},
        {"big-endian", be, true, false},
        {"big-endian with 0xBA", baBytes, false, false},
        {"no width", TiffBuilder(true).Add(257, 4, {1}).Add(273, 4, {8}).Build(), false, false},
        {"colour filter array",
         TiffBuilder(true).Add(256, 4, {4}).Add(257, 4, {4}).Add(262, 3, {32803}).Add(273, 4, {8}).Build(), true, true},
        {"version tag", Grey(true, 4, 4, std::vector<uint8_t>(16)).AddBytes(50706, 1, {1, 4, 0, 0}).Build(), true,
         true},
        {"png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        // The probes work from the stream's position and restore it.
        std::vector<uint8_t> shifted(3, 0);
        shifted.insert(shifted.end(), c.File.begin(), c.File.end());
        auto s = MemStream(shifted);
        s->Seek(3, cl::soBeginning);
        EXPECT_EQ(IEIsTIFFStream(s.get()), c.Tiff);
        EXPECT_EQ(s->GetPosition(), 3);
        EXPECT_EQ(IEIsTIFFCameraRaw(s.get()), c.Raw);
        EXPECT_EQ(s->GetPosition(), 3);
    }
}

TEST_F(TIFFTest, StreamHeadersFrameSeveralPicturesOfEveryCodecInOneStream) {
    // TIFF (both byte orders), JPEG and PCX saved one after another with stream headers, then
    // loaded back in the same order, each leaving the stream right behind its frame.
    struct Picture {
        int32_t Type;
        bool LittleEndian;
        int Tolerance;  // JPEG is lossy
        std::unique_ptr<TIEBitmap> Bitmap;
        int64_t End = 0;
    };
    std::vector<Picture> pictures;
    auto add = [&](int32_t Type, bool Little, int Tolerance, int32_t W, int32_t H, int Seed) {
        pictures.push_back({Type, Little, Tolerance, Make24(W, H, [Seed](int32_t x, int32_t y) {
                                return TRGB{static_cast<uint8_t>(x * 4 + Seed), static_cast<uint8_t>(y * 5 + Seed * 2),
                                            static_cast<uint8_t>(200 - Seed)};
                            })});
    };
    add(ioTIFF, true, 0, 23, 11, 1);
    add(ioJPEG, true, 6, 32, 16, 2);
    add(ioTIFF, false, 0, 17, 9, 3);
    add(ioPCX, true, 0, 15, 7, 4);
    add(ioTIFF, true, 0, 40, 3, 5);
    add(ioJPEG, true, 6, 16, 24, 6);
    cl::TMemoryStream ms;
    for (Picture& pic : pictures) {
        TVovozIdIO writer(nullptr);
        writer.StreamHeaders = true;
        writer.GetIEBitmap()->Assign(pic.Bitmap.get());
        writer.Params().TIFFCompression = 5;
        writer.Params().TIFFByteOrder = pic.LittleEndian;
        writer.Params().JPEGQuality = 100;
        const int64_t at = ms.GetPosition();
        writer.SaveToStreamOf(&ms, pic.Type);
        ASSERT_FALSE(writer.Aborting);
        pic.End = ms.GetPosition();
        const auto* head = static_cast<const uint8_t*>(ms.GetMemory()) + at;
        const char* tag = pic.Type == ioTIFF ? "TIFF" : pic.Type == ioJPEG ? "JFIF" : "PCX2";
        EXPECT_EQ(std::memcmp(head, tag, 4), 0);
        EXPECT_EQ(IEGetLE32(head + 8), pic.End - at - 12);
    }
    ms.Seek(0, cl::soBeginning);
    TVovozIdIO reader(nullptr);
    reader.StreamHeaders = true;
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(i);
        const Picture& pic = pictures[i];
        reader.LoadFromStreamOf(&ms, pic.Type);
        ASSERT_FALSE(reader.Aborting);
        EXPECT_EQ(ms.GetPosition(), pic.End);
        EXPECT_EQ(reader.Params().FileType, pic.Type);
        if (pic.Type == ioTIFF) {
            EXPECT_EQ(reader.Params().TIFFByteOrder, pic.LittleEndian);
        }
        TIEBitmap* got = reader.GetIEBitmap();
        ASSERT_EQ(got->GetWidth(), pic.Bitmap->GetWidth());
        ASSERT_EQ(got->GetHeight(), pic.Bitmap->GetHeight());
        for (int32_t y = 0; y < got->GetHeight(); ++y)
            for (int32_t x = 0; x < got->GetWidth(); ++x) {
                const TRGB a = got->GetPixelRGB(x, y), b = pic.Bitmap->GetPixelRGB(x, y);
                ASSERT_NEAR(a.r, b.r, pic.Tolerance) << x << "," << y;
                ASSERT_NEAR(a.g, b.g, pic.Tolerance) << x << "," << y;
                ASSERT_NEAR(a.b, b.b, pic.Tolerance) << x << "," << y;
            }
    }
    EXPECT_EQ(ms.GetPosition(), ms.GetSize());
}

TEST_F(TIFFTest, EngineLoadsAndSavesTiff) {
    TVovozIdIO io(nullptr);
    auto s = MemStream(ReadBytes(FixturePath("tiff", "multi.tif")));
    EXPECT_EQ(IEFindStreamFormat(s.get()), ioTIFF);
    EXPECT_EQ(io.LoadFromStreamTIFF(s.get()), 3);
    ASSERT_FALSE(io.Aborting);
    ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("tiff", "multi_0.ref.ppm")));
    cl::TMemoryStream out;
    io.SaveToStreamTIFF(&out);
    ASSERT_FALSE(io.Aborting);
    const std::string f = Temp("saved.tif");
    const auto bytes = StreamBytes(out);
    WriteBytes(f, bytes);
    ExpectSameRGB(*io.GetIEBitmap(), DecodeWithImageMagick(f));
    // From a file, by its content.
    const std::string name = FixturePath("tiff", "rgb_lzw_2.tif");
    const cl::WideString wide(name.begin(), name.end());
    EXPECT_EQ(IEFindFileFormat(wide, false), ioTIFF);
    io.LoadFromFileFormat(wide, ioTIFF);
    ASSERT_FALSE(io.Aborting);
    ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("tiff", "rgb_lzw_2.ref.ppm")));
}

}  // namespace
}  // namespace ie::test
