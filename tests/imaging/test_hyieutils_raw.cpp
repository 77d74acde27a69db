// The raw stream format: layout, round trips of every format and place, and streams that
// are cut short or corrupted at every field.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::FillPattern;
using test::HasPattern;

class RawStream : public test::ImagingTest {
protected:
    static std::vector<uint8_t> Save(TIEBitmap& b) {
        cl::TMemoryStream m;
        EXPECT_TRUE(b.SaveRawToStream(nullptr, 0, &m));
        const auto* p = static_cast<const uint8_t*>(m.GetMemory());
        return std::vector<uint8_t>(p, p + m.GetSize());
    }
    static bool Load(TIEBitmap& b, const std::vector<uint8_t>& bytes) {
        return b.LoadRawFromStream(bytes.data(), static_cast<int64_t>(bytes.size()), nullptr);
    }
    // A 5 x 3 ie8p image with a palette, an alpha channel and every setting changed.
    static std::unique_ptr<TIEBitmap> Sample() {
        auto b = std::make_unique<TIEBitmap>(5, 3, ie8p);
        FillPattern(*b, 1);
        for (int i = 0; i < 256; ++i) b->SetPaletteEntry(i, CreateRGB(i, i ^ 0x55, 255 - i));
        FillPattern(*b->GetAlphaChannel(), 2);
        b->GetAlphaChannel()->Full = false;
        b->PaletteUsed = 17;
        b->DisplayMin = 1.5;
        b->DisplayMax = 1000.25;
        b->ChannelOffset[0] = -3;
        b->ChannelOffset[1] = 4;
        b->ChannelOffset[2] = 5;
        b->ChannelOffset[3] = 6;
        b->ChannelOffsetEnabled = 1;
        b->Contrast = -40;
        return b;
    }
    // Offsets of the fields of a stream without palette.
    static constexpr size_t kVersion = 12, kCount = 16, kWidth = 20, kHeight = 24, kFormat = 28, kFull = 29,
                            kAlign = 71, kRows = 75;
};

TEST_F(RawStream, LayoutOfSmallBitmaps) {
    TIEBitmap empty;
    ASSERT_TRUE(empty.SetPixelFormat(ie24RGB));
    auto bytes = Save(empty);
    ASSERT_EQ(bytes.size(), 76u);
    EXPECT_EQ(std::memcmp(bytes.data(), "TIEBITMAPRAW", 12), 0);
    EXPECT_EQ(bytes[kFormat], ie24RGB);
    EXPECT_EQ(bytes[75], 0);  // no alpha channel

    TIEBitmap g(2, 2, ie8g);
    g.GetAlphaChannel();
    bytes = Save(g);
    ASSERT_EQ(bytes.size(), 93u);
    EXPECT_EQ(bytes[kRows + 8], 1);
    EXPECT_EQ(bytes[92], 1);  // the alpha channel is full
    EXPECT_EQ(g.RawStreamSize(), 93);

    int32_t align = 0, width = 0;
    std::memcpy(&align, &bytes[kAlign], 4);
    std::memcpy(&width, &bytes[kWidth], 4);
    EXPECT_EQ(align, 32);
    EXPECT_EQ(width, 2);
}

TEST_F(RawStream, SampleRoundTripsWithEverySetting) {
    auto s = Sample();
    const auto bytes = Save(*s);
    EXPECT_EQ(static_cast<int64_t>(bytes.size()), s->RawStreamSize());
    TIEBitmap d(1, 1, ie24RGB);
    ASSERT_TRUE(Load(d, bytes));
    EXPECT_EQ(d.GetWidth(), 5);
    EXPECT_EQ(d.GetHeight(), 3);
    EXPECT_EQ(d.GetPixelFormat(), ie8p);
    EXPECT_TRUE(HasPattern(d, 1));
    ASSERT_EQ(d.GetPaletteLength(), 256);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(d.GetPalette()[i], CreateRGB(i, i ^ 0x55, 255 - i));
    ASSERT_TRUE(d.HasAlphaChannel());
    EXPECT_TRUE(HasPattern(*d.GetAlphaChannel(), 2));
    EXPECT_FALSE(d.GetAlphaChannel()->Full);
    EXPECT_EQ(d.PaletteUsed, 17);
    EXPECT_EQ(d.DisplayMin, 1.5);
    EXPECT_EQ(d.DisplayMax, 1000.25);
    EXPECT_EQ(d.ChannelOffset[0], -3);
    EXPECT_EQ(d.ChannelOffset[3], 6);
    EXPECT_EQ(d.ChannelOffsetEnabled, 1);
    EXPECT_EQ(d.Contrast, -40);
    // The bytes written again are the same.
    EXPECT_EQ(Save(d), bytes);
}

TEST_F(RawStream, EveryFormatInEveryPlaceRoundTrips) {
    for (int f = ie1g; f <= ie32RGB; ++f)
        for (TIELocation from : {ieMemory, ieFile, ieTBitmap})
            for (TIELocation to : {ieMemory, ieFile, ieTBitmap}) {
                const auto pf = static_cast<TIEPixelFormat>(f);
                if ((from == ieTBitmap || to == ieTBitmap) && !test::TBitmapHolds(pf)) continue;
                TIEBitmap s;
                ASSERT_TRUE(test::MakeAt(s, from, 11, 4, pf));
                FillPattern(s, 3);
                const auto bytes = Save(s);
                TIEBitmap d;
                test::PlaceAt(d, to);
                ASSERT_TRUE(Load(d, bytes)) << f << " " << int(from) << "->" << int(to);
                EXPECT_EQ(d.GetLocation(), to);
                EXPECT_EQ(d.GetPixelFormat(), pf);
                EXPECT_TRUE(HasPattern(d, 3)) << f << " " << int(from) << "->" << int(to);
                EXPECT_FALSE(d.HasAlphaChannel());
            }
}

TEST_F(RawStream, RowsAreReadAtTheirStoredLength) {
    // A 5 x 3 ie24RGB image stored with rows packed to bytes (alignment 8, 15-byte rows).
    TIEBitmap s(5, 3, ie24RGB);
    FillPattern(s, 4);
    const auto aligned = Save(s);
    ASSERT_EQ(aligned.size(), 75u + 3 * 16 + 1);
    std::vector<uint8_t> bytes(aligned.begin(), aligned.begin() + kRows);
    const int32_t eight = 8;
    std::memcpy(&bytes[kAlign], &eight, 4);
    for (int r = 0; r < 3; ++r)
        bytes.insert(bytes.end(), aligned.begin() + kRows + 16 * r, aligned.begin() + kRows + 16 * r + 15);
    bytes.push_back(0);

    TIEBitmap d;
    d.MinFileSize = 0;
    ASSERT_TRUE(Load(d, bytes));
    EXPECT_EQ(d.GetLocation(), ieFile);
    EXPECT_EQ(d.GetRowLen(), 16);
    EXPECT_TRUE(HasPattern(d, 4));
    // In memory the stored alignment is taken over, and written back the same way.
    TIEBitmap m(1, 1, ie8g);
    ASSERT_TRUE(Load(m, bytes));
    EXPECT_EQ(m.GetRowAlign(), 8);
    EXPECT_EQ(m.GetRowLen(), 15);
    EXPECT_TRUE(HasPattern(m, 4));
    EXPECT_EQ(Save(m), bytes);
}

TEST_F(RawStream, Gray16LoadedIntoATBitmapKeepsTheHighBytes) {
    TIEBitmap s(3, 1, ie16g);
    auto* p = static_cast<uint16_t*>(s.GetScanline(0));
    p[0] = 0x1200;
    p[1] = 0x34FF;
    p[2] = 0xFE01;
    TIEBitmap d;
    d.SetLocation(ieTBitmap);
    ASSERT_TRUE(Load(d, Save(s)));
    ASSERT_EQ(d.GetPixelFormat(), ie8g);
    auto* q = static_cast<uint8_t*>(d.GetScanline(0));
    EXPECT_EQ(q[0], 0x12);
    EXPECT_EQ(q[1], 0x34);
    EXPECT_EQ(q[2], 0xFE);
}

TEST_F(RawStream, BufferPathMatchesTheStreamPath) {
    auto s = Sample();
    const auto bytes = Save(*s);
    std::vector<uint8_t> buffer(bytes.size() + 7, 0xCC);
    EXPECT_FALSE(s->SaveRawToStream(buffer.data(), static_cast<int64_t>(bytes.size()) - 1, nullptr));
    EXPECT_EQ(buffer[0], 0xCC);  // nothing written when it does not fit
    ASSERT_TRUE(s->SaveRawToStream(buffer.data(), static_cast<int64_t>(buffer.size()), nullptr));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.begin()));
    EXPECT_EQ(buffer[bytes.size()], 0xCC);
    EXPECT_FALSE(s->SaveRawToStream(nullptr, 0, nullptr));
    TIEBitmap d;
    ASSERT_TRUE(d.LoadRawFromStream(buffer.data(), static_cast<int64_t>(buffer.size()), nullptr));
    EXPECT_TRUE(HasPattern(d, 1));
}

TEST_F(RawStream, StreamWrittenAtItsEndGrowsToExactlyTheLayout) {
    TIEBitmap s(64, 64, ie24RGB);
    FillPattern(s, 5);
    cl::TMemoryStream m;
    m.Write("abc", 3);
    ASSERT_TRUE(s.SaveRawToStream(nullptr, 0, &m));
    EXPECT_EQ(m.GetSize(), 3 + s.RawStreamSize());
    EXPECT_EQ(m.GetPosition(), m.GetSize());
    m.SetPosition(3);
    TIEBitmap d;
    ASSERT_TRUE(d.LoadRawFromStream(nullptr, 0, &m));
    EXPECT_TRUE(HasPattern(d, 5));
    EXPECT_EQ(m.GetPosition(), m.GetSize());
}

TEST_F(RawStream, WrongMagicConsumesTwelveBytes) {
    auto bytes = Save(*Sample());
    bytes[11] = 'V';
    cl::TMemoryStream m;
    m.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    m.SetPosition(0);
    TIEBitmap d(2, 2, ie8g);
    FillPattern(d, 9);
    EXPECT_FALSE(d.LoadRawFromStream(nullptr, 0, &m));
    EXPECT_EQ(m.GetPosition(), 12);
    EXPECT_TRUE(HasPattern(d, 9));  // nothing changed
}

TEST_F(RawStream, LoadWithoutAlphaRemovesTheChannel) {
    TIEBitmap s(3, 3, ie24RGB);
    const auto bytes = Save(s);
    TIEBitmap d(3, 3, ie24RGB);
    d.GetAlphaChannel();
    ASSERT_TRUE(Load(d, bytes));
    EXPECT_FALSE(d.HasAlphaChannel());
}

TEST_F(RawStream, CorruptedFieldsFailTheLoad) {
    const auto good = Save(*Sample());
    const size_t pal = 3 * 256;
    auto put32 = [](std::vector<uint8_t>& b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); };
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> corrupt;
    };
    const Case cases[] = {
        {"negative version", [&](auto& b) { put32(b, kVersion, -1); }},
        {"palette count 257", [&](auto& b) { put32(b, kCount, 257); }},
        {"negative palette count", [&](auto& b) { put32(b, kCount, -5); }},
        {"negative width", [&](auto& b) { put32(b, kWidth + pal, -5); }},
        {"negative height", [&](auto& b) { put32(b, kHeight + pal, -1); }},
        {"unknown format", [&](auto& b) { b[kFormat + pal] = 11; }},
        {"format 255", [&](auto& b) { b[kFormat + pal] = 255; }},
        {"row alignment 0", [&](auto& b) { put32(b, kAlign + pal, 0); }},
        {"row alignment 12", [&](auto& b) { put32(b, kAlign + pal, 12); }},
        {"row alignment huge", [&](auto& b) { put32(b, kAlign + pal, 1 << 30); }},
        {"width beyond the data", [&](auto& b) { put32(b, kWidth + pal, 50000); }},
        {"huge image",
         [&](auto& b) {
             put32(b, kWidth + pal, 2000000000);
             put32(b, kHeight + pal, 2000000000);
         }},
        {"alpha flag 2", [&](auto& b) { b[kRows + pal + 3 * 8] = 2; }},
    };
    for (const Case& c : cases) {
        auto bytes = good;
        c.corrupt(bytes);
        TIEBitmap d;
        d.MinFileSize = 0;
        EXPECT_FALSE(Load(d, bytes)) << c.name;
        EXPECT_TRUE(TempFiles().empty()) << c.name;
    }
}

// The most memory the process has held, in KiB.
long PeakKiB() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

TEST_F(RawStream, WideImageWithoutRowsAllocatesNothingForItsAlpha) {
    // A width of 1.3 billion, no rows, and an alpha flag: nothing to read, nothing to make.
    std::vector<uint8_t> bytes(kRows, 0);
    std::memcpy(bytes.data(), "TIEBITMAPRAW", 12);
    const int32_t w = 1325400064, align = 32;
    std::memcpy(&bytes[kWidth], &w, 4);
    bytes[kFormat] = ie24RGB;
    std::memcpy(&bytes[kAlign], &align, 4);
    bytes.push_back(1);
    bytes.push_back(1);
    const long peakBefore = PeakKiB();
    TIEBitmap d;
    EXPECT_TRUE(Load(d, bytes));
    EXPECT_TRUE(d.IsEmpty());
    EXPECT_LT(PeakKiB() - peakBefore, 256 * 1024) << "KiB more at the peak";
    bytes.pop_back();
    EXPECT_FALSE(Load(d, bytes));  // the alpha channel's full flag is missing
}

TEST_F(RawStream, EveryShortStreamFailsCleanly) {
    const auto good = Save(*Sample());
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        TIEBitmap d;
        EXPECT_FALSE(Load(d, cut)) << "cut at " << n;
        // Through a stream as well.
        cl::TMemoryStream m;
        if (n) m.Write(cut.data(), static_cast<int64_t>(n));
        m.SetPosition(0);
        TIEBitmap e;
        EXPECT_FALSE(e.LoadRawFromStream(nullptr, 0, &m)) << "cut at " << n;
    }
    TIEBitmap d;
    EXPECT_TRUE(Load(d, good));
}

TEST_F(RawStream, FileLocatedBitmapCutShortLeavesNoFile) {
    TIEBitmap s(40, 30, ie24RGB);
    FillPattern(s, 6);
    auto bytes = Save(s);
    bytes.resize(bytes.size() - 2);  // the alpha flag and one row byte are missing
    {
        TIEBitmap d;
        d.MinFileSize = 0;
        EXPECT_FALSE(Load(d, bytes));
        EXPECT_TRUE(d.IsEmpty());
    }
    EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
}  // namespace ie
