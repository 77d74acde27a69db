// ICC profiles: profiles carried by real JPEGs (one chunk and two) with the texts exiftool
// prints, damaged tag tables, the cached transform, every layout converted, failed
// transforms writing nothing, and whole bitmaps converted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/ieicc.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

// The ICC profile of a JPEG, its APP2 chunks joined in sequence order.
Bytes ProfileOf(const std::string& File, int* Chunks = nullptr) {
    TIEMarkerList m;
    Bytes rest;
    LoadJpegMarkers(File, m, rest);
    m.SortMarkers();
    Bytes out;
    int n = 0;
    for (int32_t i = 0; i < m.GetCount(); ++i) {
        if (m.GetMarkerType(i) != IEJPEG_APP2 || m.GetMarkerLength(i) <= 14) continue;
        const uint8_t* d = m.GetMarkerData(i);
        if (std::memcmp(d, "ICC_PROFILE", 12) != 0) continue;
        out.insert(out.end(), d + 14, d + m.GetMarkerLength(i));
        ++n;
    }
    if (Chunks) *Chunks = n;
    return out;
}

void Load(TIEICC& P, const Bytes& B) {
    P.LoadFromBuffer(B.empty() ? nullptr : B.data(), static_cast<int32_t>(B.size()));
}

TEST(ICCProfile, ProfilesOfRealFilesOpenWithTheTextsExiftoolPrints) {
    for (const char* name : {"rgb_meta.jpg", "cmyk_profile.jpg"}) {
        const std::string file = MetadataFixture(name);
        int chunks = 0;
        const Bytes raw = ProfileOf(file, &chunks);
        ASSERT_FALSE(raw.empty()) << name;
        EXPECT_EQ(chunks, std::string(name) == "cmyk_profile.jpg" ? 2 : 1);
        TIEICC p;
        Load(p, raw);
        EXPECT_TRUE(p.IsValid()) << name;
        EXPECT_EQ(p.GetRawLength(), static_cast<int32_t>(raw.size()));
        EXPECT_EQ(p.GetDescription(), ExifTool("-ICC_Profile:ProfileDescription", file)) << name;
        EXPECT_EQ(p.GetRightsNotice(), ExifTool("-ICC_Profile:ProfileCopyright", file)) << name;
        EXPECT_FALSE(p.GetDescription().empty());
        cl::TMemoryStream s;
        p.SaveToStream(&s, false);
        ASSERT_EQ(s.GetSize(), 4 + p.GetRawLength());
        const auto* w = static_cast<const uint8_t*>(s.GetMemory());
        EXPECT_EQ(IEGetU32LE(w), raw.size());
        EXPECT_EQ(std::memcmp(w + 4, raw.data(), raw.size()), 0);
        TIEICC copy;
        copy.Assign(&p);
        EXPECT_TRUE(copy.IsValid());
        EXPECT_EQ(copy.GetDescription(), p.GetDescription());
    }
}

TEST(ICCProfile, ShortAndDamagedProfilesKeepTheirBytesWithoutTexts) {
    const Bytes good = ProfileOf(MetadataFixture("rgb_meta.jpg"));
    ASSERT_GT(good.size(), 400u);
    struct Case {
        const char* name;
        Bytes bytes;
    };
    auto patched = [&](size_t At, uint32_t V) {
        Bytes b = good;
        IEPutU32BE(b.data() + At, V);
        return b;
    };
    // The first tag entry is at 132: signature, offset, size.
    const uint32_t count = IEGetU32BE(good.data() + 128);
    Bytes noTerminator = good;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = good.data() + 132 + i * 12;
        if (std::memcmp(e, "desc", 4) == 0 || std::memcmp(e, "cprt", 4) == 0) {
            const uint32_t off = IEGetU32BE(e + 4), size = IEGetU32BE(e + 8);
            std::memset(noTerminator.data() + off + 8, 'x', size - 8);
        }
    }
    const Case cases[] = {
        {"128 bytes", Bytes(good.begin(), good.begin() + 128)},
        {"20 bytes", Bytes(good.begin(), good.begin() + 20)},
        {"tag count above 1000", patched(128, 1001)},
        {"negative tag count", patched(128, 0x80000000)},
        {"tag table beyond the end", patched(128, 999)},
        {"first tag offset beyond the end", patched(136, 0x7FFFFFF0)},
        {"first tag size beyond the end", patched(140, 0x7FFFFFF0)},
        {"texts without their terminator", noTerminator},
    };
    for (const auto& c : cases) {
        TIEICC p;
        Load(p, c.bytes);
        EXPECT_EQ(p.GetRawLength(), static_cast<int32_t>(c.bytes.size())) << c.name;
        EXPECT_TRUE(p.GetDescription().empty() || c.bytes.size() > 128) << c.name;
        if (std::string(c.name) == "texts without their terminator") {
            // The engine may still open it; the texts are what the reader could see.
            EXPECT_LT(p.GetDescription().size(), 1000u);
        }
        cl::TMemoryStream s;
        p.SaveToStream(&s, true);
        EXPECT_EQ(s.GetSize(), static_cast<int64_t>(c.bytes.size())) << c.name;
    }
    for (size_t cut = 0; cut < good.size(); cut += 61) {
        TIEICC p;
        Load(p, Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_LE(p.GetDescription().size(), 1000u);
    }
    TIEICC short128;
    Load(short128, Bytes(good.begin(), good.begin() + 128));
    EXPECT_FALSE(short128.IsValid());
    EXPECT_TRUE(short128.GetDescription().empty());
    EXPECT_TRUE(short128.GetRightsNotice().empty());
}

TEST(ICCProfile, TransformIsCachedPerFormatsIntentAndFlags) {
    TIEICC a, b;
    a.LoadSRGBProfile();
    b.LoadSRGBProfile();
    ASSERT_TRUE(a.IsValid());
    const uint8_t src[6] = {10, 20, 30, 200, 100, 50};
    uint8_t dst[6] = {};
    ASSERT_TRUE(a.TransformPixels(&b, IEICC_BGR, 2, dst, src, 0, 0, IEICC_BGR));
    const void* first = a.GetTransformHandle();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(a.TransformPixels(&b, IEICC_BGR, 2, dst, src, 0, 0, IEICC_BGR));
    EXPECT_EQ(a.GetTransformHandle(), first);
    EXPECT_FALSE(a.Applied);
    uint8_t rgb[6];
    ASSERT_TRUE(a.TransformPixels(&b, IEICC_BGR, 2, rgb, src, 0, 0, IEICC_RGB));
    EXPECT_EQ(a.GetOutputFormat(), IEICC_RGB);
    EXPECT_TRUE(a.Applied);  // the first transform was released
    // sRGB to sRGB: the same values, in the order asked for.
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(dst[i], src[i], 1) << i;
    for (int p = 0; p < 2; ++p)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(rgb[p * 3 + c], src[p * 3 + 2 - c], 1);
    a.Clear();
    EXPECT_FALSE(a.Applied);
    EXPECT_FALSE(a.HasTransform());
    EXPECT_FALSE(a.IsValid());
}

TEST(ICCProfile, FailedTransformsWriteNothing) {
    TIEICC rgb, other;
    rgb.LoadSRGBProfile();
    other.LoadSRGBProfile();
    TIEICC closed;
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        const char* name;
        TIEICC* from;
        TIEICC* to;
        int32_t in, out;
    } cases[] = {
        {"CMYK pixels for an RGB profile", &rgb, &other, IEICC_CMYK, IEICC_BGR},
        {"unknown input layout", &rgb, &other, 42, IEICC_BGR},
        {"unknown output layout", &rgb, &other, IEICC_BGR, -1},
        {"closed source profile", &closed, &other, IEICC_BGR, IEICC_BGR},
        {"closed target profile", &rgb, &closed, IEICC_BGR, IEICC_BGR},
        {"no target", &rgb, nullptr, IEICC_BGR, IEICC_BGR},
    };
    for (const auto& c : cases) {
        uint8_t dst[8];
        std::memset(dst, 0xEE, sizeof(dst));
        EXPECT_FALSE(c.from->TransformPixels(c.to, c.in, 1, dst, src, 0, 0, c.out)) << c.name;
        for (uint8_t v : dst) EXPECT_EQ(v, 0xEE) << c.name;
    }
}

TEST(ICCProfile, EveryLayoutConvertsAndTheSourceStaysAsItWas) {
    TIEICC srgb, dest;
    srgb.LoadSRGBProfile();
    dest.LoadSRGBProfile();
    // White in every RGB-like layout, to each output layout an sRGB profile can give.
    const uint8_t whiteBytes[6] = {255, 255, 255, 255, 255, 255};
    const struct { int32_t in; } inputs[] = {{IEICC_RGB}, {IEICC_BGR}, {IEICC_RGB48}, {IEICC_RGB48BE}};
    for (const auto& in : inputs) {
        uint8_t src[6];
        std::memcpy(src, whiteBytes, 6);
        uint8_t bgr[3] = {};
        ASSERT_TRUE(srgb.TransformPixels(&dest, in.in, 1, bgr, src, 0, 0, IEICC_BGR)) << in.in;
        EXPECT_EQ(std::memcmp(src, whiteBytes, 6), 0) << "source changed, layout " << in.in;
        for (uint8_t v : bgr) EXPECT_GE(v, 254) << in.in;
        uint16_t words[3] = {};
        ASSERT_TRUE(srgb.TransformPixels(&dest, in.in, 1, words, src, 0, 0, IEICC_RGB48)) << in.in;
        for (uint16_t v : words) EXPECT_GE(v, 65000) << in.in;
    }
    // A red, green, blue row as B G R: the source row stays, Lab and grey are written.
    const uint8_t row[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};
    uint8_t copy[9];
    std::memcpy(copy, row, 9);
    int8_t lab[9];
    ASSERT_TRUE(srgb.TransformPixels(&dest, IEICC_BGR, 3, lab, copy, 0, 0, IEICC_Lab));
    EXPECT_EQ(std::memcmp(copy, row, 9), 0);
    // Red: L about 54, a strongly positive; green: a negative; blue: b negative.
    EXPECT_NEAR(static_cast<uint8_t>(lab[0]) * 100.0 / 255, 54, 3);
    EXPECT_GT(lab[1], 60);
    EXPECT_LT(lab[4], -60);
    EXPECT_LT(lab[8], -80);
    // Lab back to B G R, for colours well inside the gamut of 8-bit L*a*b*.
    const uint8_t mid[9] = {160, 90, 40, 60, 140, 100, 128, 128, 128};
    int8_t midLab[9];
    ASSERT_TRUE(srgb.TransformPixels(&dest, IEICC_BGR, 3, midLab, mid, 0, 0, IEICC_Lab));
    EXPECT_NEAR(midLab[7], 0, 1);  // grey: a and b zero
    EXPECT_NEAR(midLab[8], 0, 1);
    uint8_t back[9];
    ASSERT_TRUE(srgb.TransformPixels(&dest, IEICC_Lab, 3, back, midLab, 0, 0, IEICC_BGR));
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(back[i], mid[i], 4) << i;
    // Grey bytes are greys of the sRGB curve: 128 stays 128 in every channel.
    const uint8_t grey[2] = {128, 255};
    uint8_t fromGrey[6];
    ASSERT_TRUE(srgb.TransformPixels(&dest, IEICC_Gray, 2, fromGrey, grey, 0, 0, IEICC_BGR));
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(fromGrey[i], 128, 1);
        EXPECT_GE(fromGrey[3 + i], 254);
    }
}

TEST(ICCProfile, OtherLayoutsMustMatchTheirProfilesColourSpace) {
    TIEICC srgb, cmyk;
    srgb.LoadSRGBProfile();
    Load(cmyk, ProfileOf(MetadataFixture("cmyk_profile.jpg")));
    ASSERT_TRUE(cmyk.IsValid());
    // RGB pixels for a CMYK profile: refused, nothing written.
    const uint8_t rgb[3] = {1, 2, 3};
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_FALSE(cmyk.TransformPixels(&srgb, IEICC_BGR, 1, out, rgb, 0, 0, IEICC_BGR));
    EXPECT_EQ(out[0], 0xEE);
    // CMYK pixels to grey: the paper white is white.
    const uint8_t paper[4] = {255, 255, 255, 255};  // no ink, stored inverted
    ASSERT_TRUE(cmyk.TransformPixels(&srgb, IEICC_CMYKInv, 1, out, paper, 0, 0, IEICC_Gray));
    EXPECT_GE(out[0], 250);
}

class ICCBitmaps : public ImagingTest {};

TEST_F(ICCBitmaps, ConvertBitmapWritesEveryTargetFormat) {
    const struct {
        TIEPixelFormat to;
        int bytes;
    } targets[] = {{ie8g, 1}, {ie24RGB, 3}, {ieCMYK, 4}, {ieRGB48, 6}, {ieCIELab, 3}};
    TIEICC cmykProfile;
    Load(cmykProfile, ProfileOf(MetadataFixture("cmyk_profile.jpg")));
    for (const auto& t : targets) {
        TIEICC from, to;
        from.LoadSRGBProfile();
        if (t.to == ieCMYK)
            to.Assign(&cmykProfile);
        else
            to.LoadSRGBProfile();
        TIEBitmap b;
        ASSERT_TRUE(b.Allocate(4, 2, ie24RGB));
        for (int y = 0; y < 2; ++y) std::memset(b.GetScanline(y), y == 0 ? 255 : 0, 12);
        ASSERT_TRUE(from.ConvertBitmap(&b, t.to, &to)) << int(t.to);
        EXPECT_TRUE(from.Applied);
        ASSERT_EQ(b.GetPixelFormat(), t.to);
        ASSERT_EQ(b.GetWidth(), 4);
        const auto* white = static_cast<const uint8_t*>(b.GetScanline(0));
        const auto* black = static_cast<const uint8_t*>(b.GetScanline(1));
        switch (t.to) {
            case ie8g:
            case ie24RGB:
                for (int i = 0; i < 4 * t.bytes; ++i) {
                    EXPECT_GE(white[i], 254);
                    EXPECT_LE(black[i], 1);
                }
                break;
            case ieRGB48:
                for (int i = 0; i < 12; ++i) {
                    EXPECT_GE(reinterpret_cast<const uint16_t*>(white)[i], 65000);
                    EXPECT_LE(reinterpret_cast<const uint16_t*>(black)[i], 300);
                }
                break;
            case ieCIELab:
                EXPECT_GE(white[0], 253);
                EXPECT_NEAR(static_cast<int8_t>(white[1]), 0, 2);
                EXPECT_NEAR(static_cast<int8_t>(white[2]), 0, 2);
                EXPECT_LE(black[0], 2);
                break;
            case ieCMYK:
                // Stored inverted: white is no ink (all 255); black has much black ink.
                for (int i = 0; i < 4; ++i) EXPECT_GE(white[i], 250);
                EXPECT_LT(black[3], 60);
                break;
            default: break;
        }
    }
    // Formats without a layout are refused and leave the bitmap.
    TIEICC from, to;
    from.LoadSRGBProfile();
    to.LoadSRGBProfile();
    TIEBitmap p;
    ASSERT_TRUE(p.Allocate(2, 2, ie8p));
    EXPECT_FALSE(from.ConvertBitmap(&p, ie24RGB, &to));
    EXPECT_EQ(p.GetPixelFormat(), ie8p);
    TIEBitmap rgb;
    ASSERT_TRUE(rgb.Allocate(2, 2, ie24RGB));
    EXPECT_FALSE(from.ConvertBitmap(&rgb, ie1g, &to));
    EXPECT_FALSE(from.Applied);
}

}  // namespace
}  // namespace ie::test
