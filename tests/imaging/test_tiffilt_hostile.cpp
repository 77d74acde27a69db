// The TIFF reader against hostile headers: sizes, counts and offsets that the file's data
// cannot back (the fixtures come from data/tiff/hostile/make.py). Each file must end in a
// clear failure with the abort flag set, before the bitmap or the alpha mask exists and
// without any large allocation on the way.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "formats_testutil.h"
#include "heap_peak.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiflzw.h"

namespace ie::test {
namespace {

struct Outcome {
    bool Aborted = false;
    int32_t Pages = -1;
    bool BitmapEmpty = false;
    bool MaskAllocated = false;
    // The most heap the read held at once (-1: not measurable).
    int64_t HeapPeak = -1;
};

Outcome ReadHostile(const std::string& Name) {
    const auto file = ReadBytes(FixturePath("tiff", "hostile/" + Name));
    EXPECT_FALSE(file.empty()) << Name;
    auto stream = MemStream(file);
    TIEBitmap bitmap;
    TIOParamsVals params(nullptr);
    params.TIFFLZWDecompress = &IETIFFLZWDecompress;
    std::unique_ptr<TIEMask> mask;
    Progress progress;
    Outcome o;
    o.HeapPeak = lumetra::test::HeapPeakOf([&] {
        IEReadTIFFStream(&bitmap, stream.get(), o.Pages, params, progress.Rec, false, mask, true, false, false);
    });
    o.Aborted = progress.Aborting;
    o.BitmapEmpty = bitmap.IsEmpty();
    o.MaskAllocated = mask && mask->Width > 0;
    return o;
}

TEST(TIFFHostile, ClaimedSizesTheDataCannotBackAreRefusedBeforeAllocating) {
    struct Case {
        const char* File;
        const char* What;
    } cases[] = {
        {"rgba_40000.tif", "12.5 KB of RGBA claiming 40,000 x 40,000"},
        {"rgba_100000.tif", "12.5 KB of RGBA claiming 100,000 x 100,000"},
        {"max_int_sizes.tif", "width and height 2^31 - 1"},
        {"max_long_sizes.tif", "width and height 2^32 - 1"},
        {"wide_bilevel.tif", "one bilevel row of 2^29 pixels"},
        {"huge_tile.tif", "a tile of 2^31 - 1 x 2^31 - 1"},
        {"huge_jpeg_tile.tif", "JPEG tiles of 65,536 x 65,536"},
        {"old_jpeg_huge.tif", "old-style JPEG claiming 100,000 x 100,000"},
        {"first_ifd_past_end.tif", "the first directory past the end of a cut file"},
        {"entry_count_past_end.tif", "65,535 entries claimed in 30 bytes"},
        {"strip_count_past_end.tif", "a billion strip offsets claimed"},
        {"tile_count_past_end.tif", "a billion tile offsets claimed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.File) + ": " + c.What);
        const Outcome o = ReadHostile(c.File);
        EXPECT_TRUE(o.Aborted);
        EXPECT_TRUE(o.BitmapEmpty);
        EXPECT_FALSE(o.MaskAllocated);
        EXPECT_GE(o.HeapPeak, 0);
        EXPECT_LT(o.HeapPeak, int64_t{16} << 20);
    }
}

TEST(TIFFHostile, CutFileReportsNoPages) {
    // A file cut before its first directory is a failure, not an empty success.
    const Outcome o = ReadHostile("first_ifd_past_end.tif");
    EXPECT_TRUE(o.Aborted);
    EXPECT_EQ(o.Pages, 0);
}

}  // namespace
}  // namespace ie::test
