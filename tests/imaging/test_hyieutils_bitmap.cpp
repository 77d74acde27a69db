// The image buffer: where its rows live, row access in every place, moving between
// places, pixel formats, the palette, the alpha channel and assignment.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"
#include "temp_file_probes.h"
#include "platform/kernel.h"

namespace ie {
namespace {

using test::FillPattern;
using test::HasPattern;
using test::AllTempFiles;
using test::ImagingTest;
using test::UnnamedTempFiles;

constexpr int64_t kMiB = 1048576;

// ---------------------------------------------------------------------------------------
// Construction and the storage threshold

class TIEBitmapCreate : public ImagingTest {};

TEST_F(TIEBitmapCreate, ThresholdComesFromTheDefaultOrThePhysicalMemory) {
    IEDefaultMinFileSize = -1;
    win::SetMemoryStatusForTesting(13 * kMiB * 10, 5 * kMiB);
    EXPECT_EQ(TIEBitmap().MinFileSize, static_cast<int64_t>(13.0 * kMiB * 10 / 1.3));
    win::SetMemoryStatusForTesting(0, 0);
    IEDefaultMinFileSize = 12345;
    EXPECT_EQ(TIEBitmap().MinFileSize, 12345);
}

TEST_F(TIEBitmapCreate, NewBitmapIsEmptyWithTheDefaults) {
    TIEBitmap b;
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.GetLocation(), ieFile);
    EXPECT_EQ(b.GetPixelFormat(), ieNone);
    EXPECT_EQ(b.Access, ieaRead | ieaWrite);
    EXPECT_EQ(b.GetRowAlign(), 32);
    EXPECT_EQ(b.MonoConversion, 1);
    EXPECT_EQ(b.PaletteUsed, 256);
    EXPECT_EQ(b.LayerIndex, -1);
    EXPECT_TRUE(b.NeedsAllocate());
    EXPECT_FALSE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetPalette(), nullptr);
}

TEST_F(TIEBitmapCreate, RowLengthsFollowFormatAndWidth) {
    struct Case {
        int32_t width;
        TIEPixelFormat format;
        int32_t rowLen, bits, channels;
    };
    // clang-format off
    const Case cases[] = {
        {1, ie1g, 4, 1, 1},       {33, ie1g, 8, 1, 1},       {3, ie8p, 4, 8, 1},      {5, ie8g, 8, 8, 1},
        {3, ie16g, 8, 16, 1},     {100, ie24RGB, 300, 24, 3}, {1, ie24RGB, 4, 24, 3},  {3, ie32f, 12, 32, 1},
        {2, ieCMYK, 8, 32, 4},    {3, ieRGB48, 20, 48, 3},   {5, ieCIELab, 16, 24, 3}, {7, ie32RGB, 28, 32, 4},
    };
    // clang-format on
    for (const Case& c : cases) {
        TIEBitmap b(c.width, 2, c.format);
        EXPECT_EQ(b.GetRowLen(), c.rowLen) << int(c.format) << " x " << c.width;
        EXPECT_EQ(b.GetBitCount(), c.bits);
        EXPECT_EQ(b.GetChannelCount(), c.channels);
    }
}

TEST_F(TIEBitmapCreate, AllocateRefusesEmptySizesAndFormats) {
    const std::tuple<int32_t, int32_t, TIEPixelFormat> cases[] = {
        {0, 10, ie24RGB}, {10, 0, ie24RGB}, {-3, 10, ie8g}, {10, 10, ieNone}, {10, 10, static_cast<TIEPixelFormat>(11)},
    };
    for (auto [w, h, f] : cases) {
        TIEBitmap b(4, 4, ie8g);
        EXPECT_FALSE(b.Allocate(w, h, f));
        EXPECT_EQ(b.GetWidth(), 0);
        EXPECT_EQ(b.GetHeight(), 0);
        EXPECT_TRUE(b.IsEmpty());
    }
}

TEST_F(TIEBitmapCreate, SecondAllocateOfTheSameShapeKeepsThePixels) {
    TIEBitmap b(6, 5, ie24RGB);
    FillPattern(b);
    void* row = b.GetScanline(2);
    EXPECT_TRUE(b.Allocate(6, 5, ie24RGB));
    EXPECT_EQ(b.GetScanline(2), row);
    EXPECT_TRUE(HasPattern(b));
}

TEST_F(TIEBitmapCreate, Palette8pHas256EntriesAndGuardsItsIndexes) {
    TIEBitmap b(4, 4, ie8p);
    ASSERT_NE(b.GetPalette(), nullptr);
    EXPECT_EQ(b.GetPaletteLength(), 256);
    b.SetPaletteEntry(7, CreateRGB(1, 2, 3));
    b.SetPaletteEntry(256, CreateRGB(9, 9, 9));
    b.SetPaletteEntry(-1, CreateRGB(9, 9, 9));
    TRGB c = CreateRGB(4, 5, 6);
    b.GetPaletteEntry(7, c);
    EXPECT_EQ(c, CreateRGB(1, 2, 3));
    b.GetPaletteEntry(256, c);
    EXPECT_EQ(c, CreateRGB(1, 2, 3));
    b.GetPaletteEntry(-5, c);
    EXPECT_EQ(c, CreateRGB(1, 2, 3));

    TIEBitmap d(2, 2, ie8g);
    b.PaletteUsed = 16;
    b.CopyPaletteTo(&d);
    EXPECT_EQ(d.GetPaletteLength(), 256);
    EXPECT_EQ(d.PaletteUsed, 16);
    EXPECT_EQ(d.GetPalette()[7], CreateRGB(1, 2, 3));
    TIEBitmap none(2, 2, ie8g);
    none.CopyPaletteTo(&d);
    EXPECT_EQ(d.GetPalette(), nullptr);
    EXPECT_EQ(d.GetPaletteLength(), 0);
    EXPECT_EQ(d.PaletteUsed, 256);
}

// ---------------------------------------------------------------------------------------
// Where the rows go: threshold, requested place, size, and the fallbacks when memory is
// short (an allocator that refuses large blocks).

struct Placement {
    const char* name;
    int64_t minFileSize;
    TIELocation requested;
    int32_t width, height;
    TIEPixelFormat format;
    uint64_t allocationLimit;  // 0: none
    bool fileFallback;
    bool segmented;
    bool expectOk;
    TIELocation expected;
    int32_t expectedSegments;
};

class TIEBitmapPlacement : public ImagingTest, public ::testing::WithParamInterface<Placement> {};

TEST_P(TIEBitmapPlacement, RowsLandWhereTheRulesSay) {
    const Placement& p = GetParam();
    IEMemoryToFileFallback = p.fileFallback;
    IESegmentedMemory = p.segmented;
    IESetAllocationLimitForTesting(p.allocationLimit);
    TIEBitmap b;
    b.MinFileSize = p.minFileSize;
    b.SetLocation(p.requested);
    ASSERT_EQ(b.Allocate(p.width, p.height, p.format), p.expectOk);
    if (!p.expectOk) {
        EXPECT_TRUE(b.IsEmpty());
        EXPECT_TRUE(AllTempFiles(folder_).empty());
        return;
    }
    EXPECT_EQ(b.GetLocation(), p.expected);
    EXPECT_EQ(b.SegmentCount(), p.expectedSegments);
    EXPECT_EQ(AllTempFiles(folder_).size(), p.expected == ieFile ? 1u : 0u);
    FillPattern(b);
    EXPECT_TRUE(HasPattern(b));
}

// 1000 x 1000 ie8g is 1,000,000 bytes.
INSTANTIATE_TEST_SUITE_P(
    Table, TIEBitmapPlacement,
    ::testing::Values(
        Placement{"SmallMemoryStays", 2000000, ieMemory, 1000, 1000, ie8g, 0, true, true, true, ieMemory, 0},
        Placement{"EqualSizeStaysInMemory", 1000000, ieMemory, 1000, 1000, ie8g, 0, true, true, true, ieMemory, 0},
        Placement{"EqualSizeStaysInFile", 1000000, ieFile, 1000, 1000, ie8g, 0, true, true, true, ieFile, 0},
        Placement{"LargeMemoryGoesToFile", 999999, ieMemory, 1000, 1000, ie8g, 0, true, true, true, ieFile, 0},
        Placement{"ZeroThresholdSendsAnyMemoryToFile", 0, ieMemory, 3, 2, ie24RGB, 0, true, true, true, ieFile, 0},
        Placement{"SmallFileComesToMemory", 1000001, ieFile, 1000, 1000, ie8g, 0, true, true, true, ieMemory, 0},
        Placement{"LargeFileStays", 10, ieFile, 1000, 1000, ie8g, 0, true, true, true, ieFile, 0},
        Placement{"TBitmapIsNeverMoved", 10, ieTBitmap, 1000, 1000, ie8g, 0, true, true, true, ieTBitmap, 0},
        Placement{"NoBlockGivesFourSegments", 2000000, ieMemory, 1000, 1000, ie8g, 400000, true, true, true, ieMemory,
                  4},
        Placement{"NoSegmentsGoesToFile", 2000000, ieMemory, 1000, 1000, ie8g, 400000, true, false, true, ieFile, 0},
        Placement{"NothingInMemoryGoesToFile", 2000000, ieMemory, 1000, 1000, ie8g, 1000, true, true, true, ieFile, 0},
        Placement{"NothingInMemoryWithoutFallbackFails", 2000000, ieMemory, 1000, 1000, ie8g, 1000, false, true, false,
                  ieMemory, 0},
        Placement{"FileWithMemoryShortStaysAFile", 10, ieFile, 1000, 1000, ie8g, 1000, true, true, true, ieFile, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TIEBitmapPlacement, LargeImagesSplitIntoSegmentsOfAtLeastTenMiB) {
    // 80 rows of 1.25 MiB: four segments of 25 MiB are refused, eight of 12.5 MiB fit.
    IESetAllocationLimitForTesting(15 * kMiB);
    TIEBitmap b;
    b.MinFileSize = 1LL << 40;
    b.SetLocation(ieMemory);
    ASSERT_TRUE(b.Allocate(1310720 / 3, 80, ie24RGB));
    ASSERT_EQ(b.GetRowLen(), 1310720);
    EXPECT_EQ(b.GetLocation(), ieMemory);
    EXPECT_EQ(b.SegmentCount(), 8);
    EXPECT_EQ(b.RowsPerSegment(), 10);
    auto* r9 = static_cast<uint8_t*>(b.GetScanline(9));
    auto* r8 = static_cast<uint8_t*>(b.GetScanline(8));
    EXPECT_EQ(r9 - r8, 1310720);  // top-down inside a segment
    FillPattern(b);
    EXPECT_TRUE(HasPattern(b));
}

TEST_F(TIEBitmapPlacement, SmallSegmentsBeyondFourAreNotTried) {
    // Eight segments would be smaller than 10 MiB: the image goes to a file instead.
    IESetAllocationLimitForTesting(200000);
    TIEBitmap b;
    b.MinFileSize = 1LL << 40;
    b.SetLocation(ieMemory);
    ASSERT_TRUE(b.Allocate(1000, 1000, ie8g));
    EXPECT_EQ(b.GetLocation(), ieFile);
    EXPECT_EQ(b.SegmentCount(), 0);
}

// ---------------------------------------------------------------------------------------
// Row access in every place

class TIEBitmapRows : public ImagingTest, public ::testing::WithParamInterface<TIELocation> {
protected:
    std::unique_ptr<TIEBitmap> Make(int32_t w, int32_t h, TIEPixelFormat f) {
        auto b = std::make_unique<TIEBitmap>();
        EXPECT_TRUE(test::MakeAt(*b, GetParam(), w, h, f));
        return b;
    }
};

TEST_P(TIEBitmapRows, PatternWrittenByScanlineReadsBackAfterRelease) {
    auto b = Make(37, 23, ie24RGB);
    FillPattern(*b);
    // Released and mapped again in another order.
    for (int32_t r = b->GetHeight() - 1; r >= 0; --r) {
        auto* p = static_cast<uint8_t*>(b->GetScanline(r));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p[0], test::PatternByte(r, 0));
        EXPECT_EQ(p[110], test::PatternByte(r, 110));
    }
    EXPECT_TRUE(HasPattern(*b));
    EXPECT_EQ(b->GetScanline(-1), nullptr);
    EXPECT_EQ(b->GetScanline(23), nullptr);
}

TEST_P(TIEBitmapRows, TwoMappedRowsStayValidTogether) {
    auto b = Make(16, 8, ie8g);
    FillPattern(*b);
    auto* a = static_cast<uint8_t*>(b->MapRow(2));
    auto* c = static_cast<uint8_t*>(b->MapRow(5));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(c, nullptr);
    // A scan line in between does not disturb them.
    b->GetScanline(7);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(a[i], test::PatternByte(2, i));
        EXPECT_EQ(c[i], test::PatternByte(5, i));
        std::swap(a[i], c[i]);
    }
    b->UnmapRow(c);
    b->UnmapRow(a);
    b->UnmapRow(a);        // twice: ignored
    b->UnmapRow(nullptr);  // not mapped: ignored
    auto* r2 = static_cast<uint8_t*>(b->GetScanline(2));
    EXPECT_EQ(r2[3], test::PatternByte(5, 3));
    auto* r5 = static_cast<uint8_t*>(b->GetScanline(5));
    EXPECT_EQ(r5[3], test::PatternByte(2, 3));
}

TEST_P(TIEBitmapRows, ReadOnlyAccessWritesNothingBack) {
    auto b = Make(8, 4, ie8g);
    FillPattern(*b);
    b->Access = ieaRead;
    auto* p = static_cast<uint8_t*>(b->GetScanline(1));
    p[0] = 0xEE;
    b->GetScanline(2);
    b->Access = ieaRead | ieaWrite;
    const uint8_t expected = GetParam() == ieFile ? test::PatternByte(1, 0) : 0xEE;
    EXPECT_EQ(static_cast<uint8_t*>(b->GetScanline(1))[0], expected);
}

std::string LocationName(const ::testing::TestParamInfo<TIELocation>& info) {
    static const char* const kPlaces[] = {"Memory", "File", "TBitmap"};
    return kPlaces[info.param];
}

INSTANTIATE_TEST_SUITE_P(Locations, TIEBitmapRows, ::testing::Values(ieMemory, ieFile, ieTBitmap), LocationName);

TEST_F(TIEBitmapRows, FileRowsReuseOneBufferAndOnlyTheLatestIsCurrent) {
    TIEBitmap b;
    b.MinFileSize = 0;
    ASSERT_TRUE(b.Allocate(4, 3, ie8g));
    ASSERT_EQ(b.GetLocation(), ieFile);
    auto* r0 = static_cast<uint8_t*>(b.GetScanline(0));
    std::memset(r0, 11, 4);
    auto* r1 = static_cast<uint8_t*>(b.GetScanline(1));  // row 0 goes back to the file
    std::memset(r1, 22, 4);
    EXPECT_EQ(b.FileBuffer()->MappedCount(), 1);
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(0))[0], 11);
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(1))[0], 22);
}

TEST_F(TIEBitmapRows, WriteOnlyAccessDoesNotReadTheFile) {
    TIEBitmap b;
    b.MinFileSize = 0;
    ASSERT_TRUE(b.Allocate(4, 2, ie8g));
    std::memset(b.GetScanline(0), 77, 4);
    b.GetScanline(1);
    b.Access = ieaWrite;
    auto* p = static_cast<uint8_t*>(b.GetScanline(0));
    EXPECT_NE(p[0], 77);  // not read: the caller writes the whole row
    std::memset(p, 88, 4);
    b.Access = ieaRead | ieaWrite;
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(0))[3], 88);
}

TEST_F(TIEBitmapRows, TemporaryFileExistsWhileAllocatedAndGoesAfter) {
    {
        TIEBitmap a, b;
        a.MinFileSize = b.MinFileSize = 0;
        ASSERT_TRUE(a.Allocate(10, 10, ie24RGB));
        ASSERT_TRUE(b.Allocate(10, 10, ie24RGB));
        // Open, without a name on disk: nothing of them can outlive the process.
        const auto files = UnnamedTempFiles(folder_);
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(AllTempFiles(folder_).size(), 2u);
        EXPECT_NE(files[0].first, files[1].first);
        for (const auto& [f, fd] : files) {
            const std::string name = std::filesystem::path(f).filename().string();
            EXPECT_EQ(name.size(), 16u) << name;
            EXPECT_EQ(name.substr(0, 4), "IMG-");
            EXPECT_EQ(name.substr(12), ".tmp");
            EXPECT_EQ(name.substr(4, 8).find_first_not_of("0123456789ABCDEF"), std::string::npos) << name;
            // Inside a folder of the run that only its owner can enter.
            struct stat st {};
            ASSERT_EQ(::stat(std::filesystem::path(f).parent_path().c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u);
            EXPECT_FALSE(std::filesystem::exists(f));
            EXPECT_EQ(std::filesystem::file_size(fd), 320u);  // ten rows of 32 bytes
        }
        a.FreeImage(true);
        EXPECT_EQ(AllTempFiles(folder_).size(), 1u);
    }
    EXPECT_TRUE(AllTempFiles(folder_).empty());
}

TEST_F(TIEBitmapRows, MemoryImageKeepsRowsInOneBlockWhenItCan) {
    auto b = TIEBitmap::CreateWithSize(100, 10, ie24RGB);
    EXPECT_EQ(b->GetLocation(), ieMemory);
    auto* top = static_cast<uint8_t*>(b->GetScanline(0));
    auto* bottom = static_cast<uint8_t*>(b->GetScanline(9));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bottom) % 64, 0u);
    EXPECT_EQ(top - bottom, 300 * 9);
}

// ---------------------------------------------------------------------------------------
// Moving between places: every format each place can hold, with palette and alpha.

struct Move {
    TIELocation from, to;
    TIEPixelFormat format;
};

class TIEBitmapMove : public ImagingTest, public ::testing::WithParamInterface<Move> {};

TEST_P(TIEBitmapMove, PixelsPaletteAndAlphaSurviveTheMove) {
    const Move& m = GetParam();
    TIEBitmap b;
    ASSERT_TRUE(test::MakeAt(b, m.from, 13, 7, m.format));
    FillPattern(b, 3);
    if (m.format == ie8p)
        for (int i = 0; i < 256; ++i) b.SetPaletteEntry(i, CreateRGB(i, 255 - i, i / 2));
    TIEBitmap* alpha = b.GetAlphaChannel();
    ASSERT_NE(alpha, nullptr);
    FillPattern(*alpha, 9);

    test::PlaceAt(b, m.to);
    EXPECT_EQ(b.GetLocation(), m.to);
    EXPECT_EQ(b.GetWidth(), 13);
    EXPECT_EQ(b.GetHeight(), 7);
    EXPECT_EQ(b.GetPixelFormat(), m.format);
    EXPECT_TRUE(HasPattern(b, 3));
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_TRUE(HasPattern(*b.GetAlphaChannel(), 9));
    if (m.format == ie8p) {
        TRGB c;
        b.GetPaletteEntry(200, c);
        EXPECT_EQ(c, CreateRGB(200, 55, 100));
    }
    b.FreeImage(true);
    EXPECT_TRUE(AllTempFiles(folder_).empty() || m.from == ieFile || m.to == ieFile);
}

std::vector<Move> AllMoves() {
    std::vector<Move> out;
    const TIELocation places[] = {ieMemory, ieFile, ieTBitmap};
    for (TIELocation from : places)
        for (TIELocation to : places) {
            if (from == to) continue;
            for (int f = ie1g; f <= ie32RGB; ++f) {
                const auto pf = static_cast<TIEPixelFormat>(f);
                if ((from == ieTBitmap || to == ieTBitmap) && !test::TBitmapHolds(pf)) continue;
                out.push_back(Move{from, to, pf});
            }
        }
    return out;
}

std::string MoveName(const ::testing::TestParamInfo<Move>& info) {
    static const char* const kPlaces[] = {"Memory", "File", "TBitmap"};
    return std::string(kPlaces[info.param.from]) + "To" + kPlaces[info.param.to] + "Format" +
           std::to_string(int(info.param.format));
}

INSTANTIATE_TEST_SUITE_P(EveryPair, TIEBitmapMove, ::testing::ValuesIn(AllMoves()), MoveName);

TEST_F(TIEBitmapMove, Gray16MovedIntoATBitmapKeepsTheHighBytes) {
    TIEBitmap b(3, 2, ie16g);
    for (int r = 0; r < 2; ++r) {
        auto* p = static_cast<uint16_t*>(b.GetScanline(r));
        for (int x = 0; x < 3; ++x) p[x] = static_cast<uint16_t>(0x1234 + r * 0x1000 + x * 0x0100);
    }
    b.SetLocation(ieTBitmap);
    ASSERT_EQ(b.GetLocation(), ieTBitmap);
    ASSERT_EQ(b.GetPixelFormat(), ie8g);
    for (int r = 0; r < 2; ++r) {
        auto* p = static_cast<uint8_t*>(b.GetScanline(r));
        for (int x = 0; x < 3; ++x) EXPECT_EQ(p[x], 0x12 + r * 0x10 + x) << r << "," << x;
    }
}

TEST_F(TIEBitmapMove, FormatsATBitmapCannotHoldStayWhereTheyAre) {
    for (TIEPixelFormat f : {ie32f, ieCMYK, ieRGB48, ieCIELab}) {
        TIEBitmap b(5, 4, f);
        FillPattern(b, 1);
        b.SetLocation(ieTBitmap);
        EXPECT_EQ(b.GetLocation(), ieMemory) << int(f);
        EXPECT_EQ(b.GetPixelFormat(), f);
        EXPECT_TRUE(HasPattern(b, 1));
        EXPECT_EQ(b.GetVclBitmap(), nullptr);
    }
}

TEST_F(TIEBitmapMove, FailedMoveKeepsTheImage) {
    TIEBitmap b(50, 40, ie24RGB);
    FillPattern(b, 2);
    // Neither a file (its folder cannot be made) nor memory can be had.
    IETempFolder = folder_ + "/missing/deeper";
    IESetAllocationLimitForTesting(1);
    IEMemoryToFileFallback = false;
    b.MinFileSize = 0;
    b.SetLocation(ieFile);
    IESetAllocationLimitForTesting(0);
    EXPECT_EQ(b.GetLocation(), ieMemory);
    EXPECT_EQ(b.GetWidth(), 50);
    EXPECT_TRUE(HasPattern(b, 2));
}

// ---------------------------------------------------------------------------------------
// The TBitmap place

class TIEBitmapVcl : public ImagingTest {};

TEST_F(TIEBitmapVcl, FormatsAndRefusals) {
    struct Case {
        TIEPixelFormat requested;
        bool ok;
        TIEPixelFormat result;
        cl::TPixelFormat vcl;
    };
    // clang-format off
    const Case cases[] = {
        {ie1g, true, ie1g, cl::pf1bit},       {ie8p, true, ie8p, cl::pf8bit},     {ie8g, true, ie8g, cl::pf8bit},
        {ie16g, true, ie8g, cl::pf8bit},      {ie24RGB, true, ie24RGB, cl::pf24bit},
        {ie32RGB, true, ie32RGB, cl::pf32bit}, {ie32f, false, ieNone, cl::pfDevice},
        {ieCMYK, false, ieNone, cl::pfDevice}, {ieRGB48, false, ieNone, cl::pfDevice},
        {ieCIELab, false, ieNone, cl::pfDevice},
    };
    // clang-format on
    for (const Case& c : cases) {
        TIEBitmap b;
        b.SetLocation(ieTBitmap);
        ASSERT_EQ(b.Allocate(8, 3, c.requested), c.ok) << int(c.requested);
        if (!c.ok) {
            EXPECT_EQ(b.GetWidth(), 0);
            continue;
        }
        EXPECT_EQ(b.GetPixelFormat(), c.result);
        ASSERT_NE(b.VclBitmap(), nullptr);
        EXPECT_EQ(b.VclBitmap()->GetPixelFormat(), c.vcl);
        EXPECT_EQ(b.VclBitmap()->GetWidth(), 8);
        EXPECT_EQ(b.VclBitmap()->GetHeight(), 3);
        EXPECT_EQ(b.GetScanline(0), b.VclBitmap()->ScanLine(0));
    }
}

TEST_F(TIEBitmapVcl, ImagesLargerThanThePhysicalMemoryAreRefused) {
    win::SetMemoryStatusForTesting(1000, 1000);
    TIEBitmap b;
    b.SetLocation(ieTBitmap);
    EXPECT_FALSE(b.Allocate(100, 100, ie8g));
    EXPECT_TRUE(b.Allocate(10, 10, ie8g));
}

TEST_F(TIEBitmapVcl, FieldsFollowTheTBitmapWhenItChanges) {
    TIEBitmap b;
    b.SetLocation(ieTBitmap);
    ASSERT_TRUE(b.Allocate(4, 4, ie24RGB));
    b.GetAlphaChannel();
    cl::TBitmap* v = b.VclBitmap();
    v->SetSize(9, 6);
    EXPECT_EQ(b.GetWidth(), 9);
    EXPECT_EQ(b.GetHeight(), 6);
    EXPECT_EQ(b.GetAlphaChannel()->GetWidth(), 9);
    EXPECT_EQ(test::AlphaAt(b, 8, 5), 255);
    EXPECT_EQ(b.GetScanline(5), v->ScanLine(5));
    v->SetPixelFormat(cl::pf32bit);
    EXPECT_EQ(b.GetPixelFormat(), ie32RGB);
    EXPECT_EQ(b.GetRowLen(), 36);
    v->SetPixelFormat(cl::pf8bit);
    IESetGrayPalette(v);
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    std::vector<win::RGBQUAD> table(256);
    table[3] = win::RGBQUAD{10, 20, 30, 0};
    v->SetColorTable(table);
    EXPECT_EQ(b.GetPixelFormat(), ie8p);
    TRGB c;
    b.GetPaletteEntry(3, c);
    EXPECT_EQ(c, (TRGB{10, 20, 30}));
    // A format that is not read row by row is widened to 24 bits.
    v->SetPixelFormat(cl::pf16bit);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(v->GetPixelFormat(), cl::pf24bit);
    EXPECT_EQ(b.GetRowLen(), v->RowBytes());
}

TEST_F(TIEBitmapVcl, RowsFollowTheTBitmapWithoutAskingForTheSize) {
    cl::TBitmap vcl;
    vcl.SetPixelFormat(cl::pf24bit);
    vcl.SetSize(4, 4);
    TIEBitmap b;
    b.EncapsulateTBitmap(&vcl, true);
    ASSERT_EQ(b.GetScanline(3), vcl.ScanLine(3));
    // Its owner makes it larger and of another format: the rows handed out are the new ones.
    vcl.SetSize(50, 40);
    EXPECT_EQ(b.GetScanline(39), vcl.ScanLine(39));
    vcl.SetPixelFormat(cl::pf32bit);
    EXPECT_EQ(b.GetScanline(39), vcl.ScanLine(39));
    EXPECT_EQ(b.GetRowLen(), 200);
    vcl.SetSize(0, 0);
    EXPECT_EQ(b.GetScanline(0), nullptr);
}

TEST_F(TIEBitmapVcl, EncapsulatedBitmapIsUsedAndNeverFreed) {
    cl::TBitmap vcl;
    vcl.SetPixelFormat(cl::pf24bit);
    vcl.SetSize(5, 3);
    static_cast<uint8_t*>(vcl.ScanLine(1))[4] = 99;
    {
        TIEBitmap b(20, 20, ie8g);
        b.EncapsulateTBitmap(&vcl, true);
        EXPECT_EQ(b.GetLocation(), ieTBitmap);
        EXPECT_TRUE(b.Encapsulated);
        EXPECT_EQ(b.GetWidth(), 5);
        EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(1))[4], 99);
        static_cast<uint8_t*>(b.GetScanline(2))[0] = 42;
        b.EncapsulateTBitmap(&vcl, false);  // the same bitmap: nothing happens
        EXPECT_EQ(b.VclBitmap(), &vcl);
        // Allocating keeps using the shared bitmap.
        ASSERT_TRUE(b.Allocate(7, 2, ie24RGB));
        EXPECT_EQ(b.VclBitmap(), &vcl);
    }
    EXPECT_EQ(vcl.GetWidth(), 7);
    EXPECT_EQ(vcl.GetHeight(), 2);
}

TEST_F(TIEBitmapVcl, GetVclBitmapMovesTheImageThere) {
    TIEBitmap b(6, 4, ie24RGB);
    FillPattern(b, 5);
    cl::TBitmap* v = b.GetVclBitmap();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(b.GetLocation(), ieTBitmap);
    EXPECT_EQ(v->GetPixelFormat(), cl::pf24bit);
    EXPECT_TRUE(HasPattern(b, 5));
    EXPECT_NE(b.GetCanvas(), nullptr);
}

// ---------------------------------------------------------------------------------------
// Pixel formats

class TIEBitmapFormat : public ImagingTest, public ::testing::WithParamInterface<TIELocation> {};

TEST_P(TIEBitmapFormat, ConversionKeepsSizeAndAlpha) {
    TIEBitmap b;
    ASSERT_TRUE(test::MakeAt(b, GetParam(), 3, 2, ie24RGB));
    for (int r = 0; r < 2; ++r) {
        auto* p = static_cast<uint8_t*>(b.GetScanline(r));
        for (int x = 0; x < 3; ++x) {
            p[3 * x] = 0;                                        // blue
            p[3 * x + 1] = 0;                                    // green
            p[3 * x + 2] = static_cast<uint8_t>(255 - 100 * r);  // red
        }
    }
    test::SetAlphaAt(b, 1, 1, 77);
    ASSERT_TRUE(b.SetPixelFormat(ie8g));
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(b.GetLocation(), GetParam());
    EXPECT_EQ(b.GetWidth(), 3);
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(0))[2], 53);  // pure red is grey 53
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(1))[0], 32);  // (155 x 21) div 100
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(test::AlphaAt(b, 1, 1), 77);
    ASSERT_TRUE(b.SetPixelFormat(ie24RGB));
    EXPECT_EQ(static_cast<uint8_t*>(b.GetScanline(0))[5], 53);
    EXPECT_TRUE(b.SetPixelFormat(ie24RGB));  // the same format: nothing to do
}

INSTANTIATE_TEST_SUITE_P(Locations, TIEBitmapFormat, ::testing::Values(ieMemory, ieFile, ieTBitmap), LocationName);

TEST_F(TIEBitmapFormat, TBitmapRefusesFormatsItCannotHoldAndKeepsTheImage) {
    TIEBitmap b;
    b.SetLocation(ieTBitmap);
    ASSERT_TRUE(b.Allocate(4, 4, ie24RGB));
    FillPattern(b, 7);
    for (TIEPixelFormat f : {ie32f, ieCMYK, ieRGB48, ieCIELab}) {
        EXPECT_FALSE(b.SetPixelFormat(f)) << int(f);
        EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
        EXPECT_TRUE(HasPattern(b, 7));
    }
    // ie16g is held as ie8g.
    EXPECT_TRUE(b.SetPixelFormat(ie16g));
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
}

TEST_F(TIEBitmapFormat, FailedStorageKeepsTheOldImage) {
    TIEBitmap b(200, 100, ie8g);
    b.MinFileSize = 1LL << 40;
    FillPattern(b, 4);
    IESetAllocationLimitForTesting(1000);
    IEMemoryToFileFallback = false;
    EXPECT_FALSE(b.SetPixelFormat(ie24RGB));
    IESetAllocationLimitForTesting(0);
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(b.GetWidth(), 200);
    EXPECT_TRUE(HasPattern(b, 4));
}

// ---------------------------------------------------------------------------------------
// The alpha channel

class TIEBitmapAlpha : public ImagingTest {};

TEST_F(TIEBitmapAlpha, CreatedOpaqueOnFirstUseAndNeverForAnAlphaChannel) {
    TIEBitmap b(5, 4, ie24RGB);
    EXPECT_FALSE(b.HasAlphaChannel());
    TIEBitmap* a = b.GetAlphaChannel();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsAlphaChannel);
    EXPECT_TRUE(a->Full);
    EXPECT_EQ(a->GetPixelFormat(), ie8g);
    EXPECT_EQ(a->GetWidth(), 5);
    EXPECT_EQ(static_cast<uint8_t*>(a->GetScanline(3))[4], 255);
    EXPECT_EQ(a->GetAlphaChannel(), nullptr);
    EXPECT_EQ(b.GetAlphaChannel(), a);
    auto tb = TIEBitmap::CreateAsAlphaChannel(3, 3, ieTBitmap);
    EXPECT_EQ(tb->GetLocation(), ieMemory);
}

TEST_F(TIEBitmapAlpha, AttachReplacesTheOldChannelAndChecksItsShape) {
    TIEBitmap b(5, 4, ie24RGB);
    b.GetAlphaChannel();
    auto wrongSize = std::make_unique<TIEBitmap>(4, 4, ie8g);
    EXPECT_FALSE(b.AttachAlphaChannel(wrongSize));
    EXPECT_NE(wrongSize, nullptr);  // refused: the caller keeps it
    auto wrongFormat = std::make_unique<TIEBitmap>(5, 4, ie24RGB);
    EXPECT_FALSE(b.AttachAlphaChannel(wrongFormat));
    auto good = std::make_unique<TIEBitmap>(5, 4, ie8g);
    std::memset(good->GetScanline(2), 9, 5);
    TIEBitmap* raw = good.get();
    ASSERT_TRUE(b.AttachAlphaChannel(good));
    EXPECT_EQ(good, nullptr);
    EXPECT_EQ(b.GetAlphaChannel(), raw);
    EXPECT_TRUE(raw->IsAlphaChannel);
    EXPECT_EQ(test::AlphaAt(b, 3, 2), 9);
    // The channel that was there before is freed (ASan reports it otherwise).
}

TEST_F(TIEBitmapAlpha, RemoveWithMergeLaysThePixelsOverTheBackground) {
    struct Case {
        TRGB pixel;
        uint8_t alpha;
        cl::TColor background;
        TRGB expected;
    };
    const Case cases[] = {
        {CreateRGB(0, 0, 0), 0, cl::clWhite, CreateRGB(255, 255, 255)},
        {CreateRGB(0, 0, 0), 128, cl::clWhite, CreateRGB(127, 127, 127)},
        {CreateRGB(0, 0, 0), 255, cl::clWhite, CreateRGB(0, 0, 0)},
        {CreateRGB(255, 255, 255), 255, cl::clBlack, CreateRGB(254, 254, 254)},
        {CreateRGB(200, 100, 50), 64, cl::clRed, CreateRGB(241, 25, 12)},
    };
    for (const Case& c : cases) {
        TIEBitmap b(1, 1, ie24RGB);
        std::memcpy(b.GetScanline(0), &c.pixel, 3);
        test::SetAlphaAt(b, 0, 0, c.alpha);
        b.RemoveAlphaChannel(true, c.background);
        EXPECT_FALSE(b.HasAlphaChannel());
        TRGB got;
        std::memcpy(&got, b.GetScanline(0), 3);
        EXPECT_EQ(got, c.expected) << int(c.alpha);
    }
    TIEBitmap g(1, 1, ie8g);
    static_cast<uint8_t*>(g.GetScanline(0))[0] = 10;
    test::SetAlphaAt(g, 0, 0, 0);
    g.RemoveAlphaChannel(true, cl::clWhite);  // only ie24RGB merges
    EXPECT_EQ(static_cast<uint8_t*>(g.GetScanline(0))[0], 10);
}

// ---------------------------------------------------------------------------------------
// Assignment

class TIEBitmapAssign : public ImagingTest {};

TEST_F(TIEBitmapAssign, CopiesPixelsPaletteAlphaAndSettings) {
    for (TIELocation from : {ieMemory, ieFile, ieTBitmap})
        for (TIELocation to : {ieMemory, ieFile, ieTBitmap}) {
            TIEBitmap s;
            ASSERT_TRUE(test::MakeAt(s, from, 9, 5, ie8p));
            FillPattern(s, 6);
            s.SetPaletteEntry(5, CreateRGB(5, 6, 7));
            test::SetAlphaAt(s, 2, 3, 100);
            s.MonoConversion = 0;
            TIEBitmap d;
            test::PlaceAt(d, to);
            d.Assign(&s);
            EXPECT_EQ(d.GetLocation(), to) << int(from) << "->" << int(to);
            EXPECT_EQ(d.GetPixelFormat(), ie8p);
            EXPECT_TRUE(HasPattern(d, 6));
            TRGB c;
            d.GetPaletteEntry(5, c);
            EXPECT_EQ(c, CreateRGB(5, 6, 7));
            EXPECT_EQ(test::AlphaAt(d, 2, 3), 100);
            EXPECT_EQ(d.MonoConversion, 0);
        }
}

TEST_F(TIEBitmapAssign, RepeatedCopiesIntoTheSameShapeCopyAgain) {
    for (TIELocation where : {ieMemory, ieFile}) {
        TIEBitmap s(20, 10, ie24RGB);
        TIEBitmap d;
        test::PlaceAt(d, where);
        FillPattern(s, 1);
        d.Assign(&s);
        ASSERT_TRUE(HasPattern(d, 1));
        // A row still mapped from before does not come back over the new pixels.
        auto* stale = static_cast<uint8_t*>(d.MapRow(4));
        std::memset(stale, 0, 60);
        FillPattern(s, 2);
        d.Assign(&s);
        EXPECT_EQ(d.GetLocation(), where);
        EXPECT_TRUE(HasPattern(d, 2));
        d.UnmapRow(stale);
        EXPECT_TRUE(HasPattern(d, 2));
    }
}

TEST_F(TIEBitmapAssign, SourceWithoutAlphaRemovesTheDestinationChannel) {
    TIEBitmap s(3, 3, ie24RGB);
    TIEBitmap d(3, 3, ie24RGB);
    d.GetAlphaChannel();
    d.Assign(&s);
    EXPECT_FALSE(d.HasAlphaChannel());
}

TEST_F(TIEBitmapAssign, TBitmapDestinationTakesFormatsItCannotHoldInMemory) {
    TIEBitmap s(4, 2, ieRGB48);
    FillPattern(s, 8);
    TIEBitmap d;
    d.SetLocation(ieTBitmap);
    d.Assign(&s);
    EXPECT_EQ(d.GetPixelFormat(), ieRGB48);
    EXPECT_EQ(d.GetLocation(), ieMemory);
    EXPECT_TRUE(HasPattern(d, 8));
}

TEST_F(TIEBitmapAssign, AssignImageKeepsPlaceAndAlphaChannel) {
    TIEBitmap s(6, 3, ie24RGB);
    FillPattern(s, 2);
    test::SetAlphaAt(s, 0, 0, 1);
    TIEBitmap d;
    d.MinFileSize = 0;
    ASSERT_TRUE(d.Allocate(6, 3, ie8g));
    test::SetAlphaAt(d, 1, 1, 50);
    d.AssignImage(&s);
    EXPECT_EQ(d.GetLocation(), ieFile);
    EXPECT_EQ(d.GetPixelFormat(), ie24RGB);
    EXPECT_TRUE(HasPattern(d, 2));
    EXPECT_EQ(test::AlphaAt(d, 1, 1), 50);
    EXPECT_EQ(test::AlphaAt(d, 0, 0), 255);
    TIEBitmap empty;
    d.AssignImage(&empty);  // nothing at all
    EXPECT_EQ(d.GetWidth(), 6);
}

TEST_F(TIEBitmapAssign, ClassLibraryBitmapIsCopied) {
    cl::TBitmap vcl;
    vcl.SetPixelFormat(cl::pf16bit);
    vcl.SetSize(2, 1);
    static_cast<uint16_t*>(vcl.ScanLine(0))[0] = 0xFFFF;
    TIEBitmap d;
    d.Assign(&vcl);
    ASSERT_EQ(d.GetPixelFormat(), ie24RGB);
    auto* p = static_cast<uint8_t*>(d.GetScanline(0));
    EXPECT_EQ(p[0], 248);
    EXPECT_EQ(p[1], 252);
    EXPECT_EQ(p[2], 248);
}

}  // namespace
}  // namespace ie
