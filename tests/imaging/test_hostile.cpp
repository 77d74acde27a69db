// Hostile pictures (data/hostile, written by make.py there) through the input/output engine:
// each ends with the abort flag set, leaving the component's bitmap and the temporary folder
// as they were (a few TIFF files whose header claims a small picture may instead give that
// picture from what data there is), and costs at most 64 MB of heap at its peak. Also the readers' pixel budget
// itself: refused before allocation, raised by the caller, narrowed by a scope.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "formats_testutil.h"
#include "heap_peak.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::FixturePath;
using test::MemStream;
using test::ReadBytes;

constexpr int64_t kPeakLimit = int64_t{64} << 20;

class HostileTest : public test::ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        // Bitmaps stay in memory, where the heap measure sees them.
        IEDefaultMinFileSize = std::numeric_limits<int64_t>::max() / 4;
        VovozIdIOStaticInit();
        IERegisterFormatsCodecs();
    }
    void TearDown() override {
        IEReaderPixelBudget = IEDefaultReaderPixelBudget;
        VovozIdIOStaticFinal();
        ImagingTest::TearDown();
    }
};

struct HostileCase {
    const char* File;
    int32_t Type;
    // 0: the load must fail; otherwise the picture the header claims is this small and may
    // be read (from what data there is), or the load fails.
    int32_t SmallSide = 0;
};

// Every file make.py writes, with the format the engine is asked to read it as.
const HostileCase kCases[] = {
    {"png_65535.png", ioPNG},          {"png_2g.png", ioPNG},
    {"png_zipbomb.png", ioPNG},        {"png_huge_iTXt.png", ioPNG},
    {"png_huge_sCAL.png", ioPNG},      {"png_huge_tEXt.png", ioPNG},
    {"png_ztxt_bomb.png", ioPNG},      {"png_chunk_past_end.png", ioPNG},
    {"bmp_65535.bmp", ioBMP},          {"bmp_2g.bmp", ioBMP},
    {"bmp_2g_topdown.bmp", ioBMP},     {"bmp_rle_2g.bmp", ioBMP},
    {"bmp_palette_past_end.bmp", ioBMP}, {"pnm_65535.ppm", ioPXM},
    {"pnm_2g.ppm", ioPXM},             {"pnm_2g.pbm", ioPXM},
    {"pnm_2g_text.pgm", ioPXM},        {"gif_65535.gif", ioGIF},
    {"gif_palette_past_end.gif", ioGIF}, {"gif_lzw_bomb.gif", ioGIF},
    {"pcx_65535.pcx", ioPCX},          {"pcx_palette_past_end.pcx", ioPCX},
    {"tga_65535.tga", ioTGA},          {"tga_65535_raw.tga", ioTGA},
    {"tga_palette_past_end.tga", ioTGA}, {"psd_65535.psd", ioPSD},
    {"psd_2g.psd", ioPSD},             {"psd_layer_zip.psd", ioPSD},
    {"dicom_65535.dcm", ioDICOM},      {"dicom_2g.dcm", ioDICOM},
    {"dicom_2g_frames.dcm", ioDICOM},  {"dicom_bits_2g.dcm", ioDICOM},
    {"j2k_65535.j2k", ioJ2K},          {"j2k_2g.j2k", ioJ2K},
    {"wbmp_2g.wbmp", ioWBMP},
};

// The TIFF files of the folder (the TIFF reader has guards of its own).
const HostileCase kTiffCases[] = {
    {"tiff_65535.tif", ioTIFF},          {"tiff_strip_past_end.tif", ioTIFF, 64},
    {"tiff_zipbomb.tif", ioTIFF, 16},    {"tiff_ifd_loop.tif", ioTIFF, 16},
    {"tiff_tag_past_end.tif", ioTIFF, 16}, {"tiff_2g.tif", ioTIFF},
};

template <size_t N>
void ExpectCleanFailures(const HostileCase (&Cases)[N]) {
    for (const HostileCase& c : Cases) {
        SCOPED_TRACE(c.File);
        const std::vector<uint8_t> bytes = ReadBytes(FixturePath("hostile", c.File));
        ASSERT_FALSE(bytes.empty());
        TIEBitmap bitmap(3, 2, ie24RGB);
        bitmap.Fill(0);
        bool aborted = false;
        const int64_t peak = lumetra::test::HeapPeakOf([&] {
            auto io = TVovozIdIO::CreateFromBitmap(&bitmap);
            auto s = MemStream(bytes);
            io->LoadFromStreamFormat(s.get(), c.Type);
            aborted = io->Aborting;
        });
        EXPECT_GE(peak, 0) << "the heap could not be followed";
        EXPECT_LE(peak, kPeakLimit);
        if (c.SmallSide && !aborted) {
            EXPECT_EQ(bitmap.GetWidth(), c.SmallSide);
            EXPECT_EQ(bitmap.GetHeight(), c.SmallSide);
            continue;
        }
        EXPECT_TRUE(aborted);
        // The component's bitmap is the one it had.
        EXPECT_EQ(bitmap.GetWidth(), 3);
        EXPECT_EQ(bitmap.GetHeight(), 2);
        EXPECT_EQ(bitmap.GetPixelFormat(), ie24RGB);
    }
}

TEST_F(HostileTest, EveryFileFailsCleanlyWithinItsBudget) {
    ExpectCleanFailures(kCases);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(HostileTest, TiffFilesFailCleanlyWithinTheirBudget) {
    ExpectCleanFailures(kTiffCases);
    EXPECT_TRUE(TempFiles().empty());
}

// A small valid picture read with the budget just below and at its pixels, switched off and
// at its default.
TEST_F(HostileTest, BudgetRefusesLargerPicturesAndTheCallerRaisesIt) {
    const std::vector<uint8_t> bytes = ReadBytes(FixturePath("png", "grey8.png"));
    TIEBitmap whole;
    auto probe = TVovozIdIO::CreateFromBitmap(&whole);
    auto s = MemStream(bytes);
    probe->LoadFromStreamFormat(s.get(), ioPNG);
    ASSERT_FALSE(probe->Aborting);
    const int64_t pixels = int64_t{whole.GetWidth()} * whole.GetHeight();
    ASSERT_GT(pixels, 1);
    const struct {
        int64_t Budget;
        bool Loads;
    } budgets[] = {{pixels - 1, false}, {pixels, true}, {0, true}, {IEDefaultReaderPixelBudget, true}};
    for (const auto& b : budgets) {
        SCOPED_TRACE(b.Budget);
        IEReaderPixelBudget = b.Budget;
        TIEBitmap bitmap;
        auto io = TVovozIdIO::CreateFromBitmap(&bitmap);
        auto in = MemStream(bytes);
        io->LoadFromStreamFormat(in.get(), ioPNG);
        EXPECT_EQ(io->Aborting, !b.Loads);
        EXPECT_EQ(int64_t{bitmap.GetWidth()} * bitmap.GetHeight(), b.Loads ? pixels : 0);
    }
}

TEST(ReaderPixelBudget, AppliesOnlyWhileReadingAndScopesNarrowIt) {
    const int64_t saved = IEReaderPixelBudget;
    IEReaderPixelBudget = 1000;
    // Outside a read any size may be allocated (processing is not bounded by it).
    EXPECT_EQ(IEReaderPixelBudgetNow(), 0);
    EXPECT_TRUE(IEReaderPixelsAllowed(100000, 100000));
    {
        TIEReaderBudgetScope read;
        EXPECT_EQ(IEReaderPixelBudgetNow(), 1000);
        EXPECT_TRUE(IEReaderPixelsAllowed(10, 100));
        EXPECT_FALSE(IEReaderPixelsAllowed(11, 100));
        // Products past the 64-bit range and negative sides are refused, not wrapped.
        EXPECT_FALSE(IEReaderPixelsAllowed(std::numeric_limits<int64_t>::max(), 2));
        EXPECT_FALSE(IEReaderPixelsAllowed(-10, -10));
        TIEBitmap b;
        EXPECT_FALSE(b.Allocate(11, 100, ie8g));
        EXPECT_EQ(b.GetWidth(), 0);
        EXPECT_TRUE(b.Allocate(10, 100, ie8g));
        {
            TIEReaderBudgetScope mask(100);
            EXPECT_EQ(IEReaderPixelBudgetNow(), 100);
            TIEReaderBudgetScope wider(5000);  // a nested scope never widens
            EXPECT_EQ(IEReaderPixelBudgetNow(), 100);
        }
        EXPECT_EQ(IEReaderPixelBudgetNow(), 1000);
        IEReaderPixelBudget = 0;  // switched off: only a scope's own limit holds
        EXPECT_EQ(IEReaderPixelBudgetNow(), 0);
        TIEReaderBudgetScope mask(100);
        EXPECT_EQ(IEReaderPixelBudgetNow(), 100);
    }
    EXPECT_EQ(IEReaderPixelBudgetNow(), 0);
    IEReaderPixelBudget = saved;
}

}  // namespace
}  // namespace ie
