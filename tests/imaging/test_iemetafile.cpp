// Metafile import: enhanced and older metafiles built here record by record, read, sized,
// drawn over the background and made transparent where they do not paint; bad and empty
// metafiles set the abort flag.
#include <gtest/gtest.h>

#include <fstream>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/iemetafile.h"
#include "imaging/io/vovozidio.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

void Put16(std::vector<uint8_t>& B, int V) {
    B.push_back(static_cast<uint8_t>(V));
    B.push_back(static_cast<uint8_t>(V >> 8));
}
void Put32(std::vector<uint8_t>& B, int64_t V) {
    for (int i = 0; i < 4; ++i) B.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

// An enhanced metafile of the given bounds with Records (type, 32-bit parameters).
std::vector<uint8_t> MakeEMF(int L, int T, int R, int B,
                             const std::vector<std::pair<int, std::vector<int64_t>>>& Records) {
    std::vector<uint8_t> d;
    Put32(d, 1);
    Put32(d, 88);
    for (int v : {L, T, R, B}) Put32(d, v);
    for (int v : {0, 0, 2540, 2540}) Put32(d, v);  // frame (0.01 mm)
    d.insert(d.end(), {' ', 'E', 'M', 'F'});
    Put32(d, 0x10000);
    Put32(d, 0);  // bytes (filled below)
    Put32(d, static_cast<int64_t>(Records.size()) + 2);
    Put16(d, 8);
    Put16(d, 0);
    while (d.size() < 88) d.push_back(0);
    for (const auto& [type, params] : Records) {
        Put32(d, type);
        Put32(d, 8 + 4 * static_cast<int64_t>(params.size()));
        for (int64_t p : params) Put32(d, p);
    }
    Put32(d, 14);  // EOF
    Put32(d, 20);
    Put32(d, 0);
    Put32(d, 16);
    Put32(d, 20);
    const uint32_t n = static_cast<uint32_t>(d.size());
    std::memcpy(d.data() + 48, &n, 4);
    return d;
}

// A placeable metafile of the frame (0, 0) - (W, H) at Inch units an inch with Records
// (function, 16-bit parameters).
std::vector<uint8_t> MakeWMF(int W, int H, int Inch, const std::vector<std::pair<int, std::vector<int>>>& Records) {
    std::vector<uint8_t> d;
    Put32(d, 0x9AC6CDD7);
    Put16(d, 0);
    for (int v : {0, 0, W, H, Inch}) Put16(d, v);
    Put32(d, 0);
    Put16(d, 0);  // checksum (not checked)
    Put16(d, 1);
    Put16(d, 9);
    Put16(d, 0x300);
    Put32(d, 0);
    Put16(d, 4);
    Put32(d, 0);
    Put16(d, 0);
    for (const auto& [fn, params] : Records) {
        Put32(d, 3 + static_cast<int64_t>(params.size()));
        Put16(d, fn);
        for (int p : params) Put16(d, p);
    }
    Put32(d, 3);
    Put16(d, 0);
    return d;
}

class MetafileTest : public IOUnitTest {
protected:
    void Load(TVovozIdIO& Io, const std::vector<uint8_t>& Bytes, int32_t W, bool Alpha, int32_t H) {
        cl::TMemoryStream s;
        s.Write(Bytes.data(), static_cast<int64_t>(Bytes.size()));
        s.SetPosition(0);
        Io.LoadFromStreamMetafile(&s, W, Alpha, H);
    }
    static const uint8_t* Px(TIEBitmap& B, int X, int Y) {
        return static_cast<const uint8_t*>(B.GetScanline(Y)) + X * 3;
    }
    static uint8_t Alpha(TIEBitmap& B, int X, int Y) {
        return static_cast<const uint8_t*>(B.GetAlphaChannel()->GetScanline(Y))[X];
    }
};

// A red filled rectangle over the left half of a 100 x 50 picture, no outline.
std::vector<uint8_t> HalfRed() {
    return MakeEMF(0, 0, 99, 49,
                   {{39, {1, 0, 0x0000FF, 0}},  // solid red brush in slot 1
                    {37, {1}},
                    {37, {0x80000008}},  // stock NULL_PEN
                    {43, {0, 0, 50, 50}}});
}

TEST_F(MetafileTest, SizesFollowTheRules) {
    struct Case {
        int32_t W, H, ExpectW, ExpectH;
    };
    const Case cases[] = {{-1, -1, 100, 50}, {200, -1, 200, 100}, {-1, 25, 50, 25}, {30, 40, 30, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        TVovozIdIO io(nullptr);
        Load(io, HalfRed(), c.W, false, c.H);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), c.ExpectW);
        EXPECT_EQ(io.GetIEBitmap()->GetHeight(), c.ExpectH);
        EXPECT_EQ(io.Params().Width, c.ExpectW);
        EXPECT_EQ(io.Params().FileType, ioEMF);
    }
}

TEST_F(MetafileTest, TheLongerSideIsLimited) {
    TVovozIdIO io(nullptr);
    Load(io, MakeEMF(0, 0, 15999, 3999, {}), -1, false, -1);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 8000);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 2000);
}

TEST_F(MetafileTest, DrawnOverTheBackgroundTransparentWhereNotPainted) {
    TVovozIdIO io(nullptr);
    io.SetBackground(0x00FF00);  // green
    Load(io, HalfRed(), 200, true, -1);
    ASSERT_FALSE(io.Aborting);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    const uint8_t* left = Px(b, 20, 50);
    EXPECT_EQ(left[2], 255);  // red
    EXPECT_EQ(left[1], 0);
    const uint8_t* right = Px(b, 180, 50);
    EXPECT_EQ(right[1], 255);  // the background
    EXPECT_EQ(right[2], 0);
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(Alpha(b, 20, 50), 255);
    EXPECT_EQ(Alpha(b, 180, 50), 0);
    // Without alpha there is no alpha channel.
    Load(io, HalfRed(), 200, false, -1);
    EXPECT_FALSE(io.GetIEBitmap()->HasAlphaChannel());
}

TEST_F(MetafileTest, OlderMetafileThroughDetection) {
    // A blue triangle with a black outline on a 96-unit-per-inch frame of 60 x 40.
    const auto wmf = MakeWMF(60, 40, 96,
                             {{0x02FC, {0, 0x0000, 0x00FF, 0}},  // brush: blue (COLORREF 0x00FF0000)
                              {0x012D, {0}},
                              {0x0324, {3, 0, 0, 59, 0, 0, 39}}});
    cl::TMemoryStream s;
    s.Write(wmf.data(), static_cast<int64_t>(wmf.size()));
    s.SetPosition(0);
    TVovozIdIO io(nullptr);
    io.LoadFromStream(&s);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioWMF);
    EXPECT_TRUE(io.Params().FileName.empty());
    EXPECT_EQ(io.Params().DpiX, 300);
    EXPECT_EQ(io.Params().DpiY, 300);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_EQ(b.GetWidth(), 60);
    ASSERT_EQ(b.GetHeight(), 40);
    EXPECT_EQ(Px(b, 10, 10)[0], 255);  // inside: blue
    EXPECT_EQ(Px(b, 10, 10)[2], 0);
    EXPECT_EQ(Alpha(b, 55, 35), 0);  // outside the triangle: transparent
    EXPECT_EQ(Alpha(b, 10, 10), 255);
}

TEST_F(MetafileTest, ParamsWithoutDrawing) {
    TVovozIdIO io(nullptr);
    const auto emf = HalfRed();
    cl::TMemoryStream s;
    s.Write(emf.data(), static_cast<int64_t>(emf.size()));
    s.SetPosition(0);
    io.ReadMetafileParams(&s);
    EXPECT_EQ(io.Params().FileType, ioEMF);
    EXPECT_EQ(io.Params().Width, 100);
    EXPECT_EQ(io.Params().Height, 50);
    EXPECT_EQ(io.Params().SamplesPerPixel, 3);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 0);
}

// Empty pictures, sizes of 0 and data that is no metafile: the abort flag, the bitmap
// unchanged, the work finished.
TEST_F(MetafileTest, FailuresSetAborting) {
    std::vector<uint8_t> truncated = HalfRed();
    truncated.resize(truncated.size() - 6);
    std::vector<uint8_t> lying = HalfRed();
    lying[88 + 4] = 0xF0;  // a record longer than the data
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        int32_t W, H;
    };
    const Case cases[] = {{"zero-size", MakeWMF(0, 40, 96, {}), -1, -1},
                          {"width 0", HalfRed(), 0, -1},
                          {"height 0", HalfRed(), 10, 0},
                          {"junk", {1, 2, 3, 4, 5, 6, 7, 8, 9}, -1, -1},
                          {"truncated", truncated, -1, -1},
                          {"lying record", lying, -1, -1},
                          {"inch 0", MakeWMF(60, 40, 0, {}), -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TVovozIdIO io(nullptr);
        int finished = 0;
        io.OnFinishWork = [&](cl::TObject*) { ++finished; };
        FillPattern(*io.GetIEBitmap(), 3, 2);
        const auto before = PixelBytes(*io.GetIEBitmap());
        Load(io, c.Bytes, c.W, true, c.H);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(PixelBytes(*io.GetIEBitmap()), before);
    }
}

// Metafiles written by other programs (see data/metafile/make.sh): a diagonal line each.
// The line of stroke.emf lies outside the bounds its writer declares (its records map
// logical units to a tenth of the bounds' scale), so only its size is checked.
TEST_F(MetafileTest, MetafilesOfOtherProgramsDrawTheirLines) {
    struct Case {
        const char* File;
        int32_t Type;
        int32_t Width, Height;
        bool Draws;
    };
    for (const Case& c : {Case{"line.emf", ioEMF, 2021, 1521, true}, Case{"stroke.emf", ioEMF, 1801, 1801, false},
                          Case{"plain.wmf", ioWMF, 100, 100, true}, Case{"placeable.wmf", ioWMF, 6, 6, true}}) {
        SCOPED_TRACE(c.File);
        TVovozIdIO io(nullptr);
        io.SetBackground(0xFFFFFF);
        io.LoadFromFileFormat(win::Utf8ToUtf16(std::string(LUMETRA_TEST_DATA) + "/metafile/" + c.File), c.Type);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, c.Type);
        TIEBitmap& b = *io.GetIEBitmap();
        EXPECT_EQ(b.GetWidth(), c.Width);
        EXPECT_EQ(b.GetHeight(), c.Height);
        if (!c.Draws) continue;
        // Some pixels are drawn (not white, opaque), the rest is transparent background.
        int drawn = 0, clear = 0;
        for (int y = 0; y < b.GetHeight(); ++y)
            for (int x = 0; x < b.GetWidth(); ++x) {
                const uint8_t* p = Px(b, x, y);
                if (p[0] < 128 && p[1] < 128 && p[2] < 128) {
                    ++drawn;
                    EXPECT_EQ(Alpha(b, x, y), 255);
                } else if (Alpha(b, x, y) == 0) {
                    ++clear;
                }
            }
        EXPECT_GT(drawn, 0);
        EXPECT_GT(clear, drawn);
    }
}

TEST_F(MetafileTest, PlainMetafileFollowsItsWindow) {
    TVovozIdIO io(nullptr);
    io.SetBackground(0xFFFFFF);
    io.LoadFromFileFormat(win::Utf8ToUtf16(std::string(LUMETRA_TEST_DATA) + "/metafile/plain.wmf"), ioWMF);
    ASSERT_FALSE(io.Aborting);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_EQ(b.GetWidth(), 100);
    ASSERT_EQ(b.GetHeight(), 100);
    EXPECT_LT(Px(b, 50, 50)[0], 128);  // on the line from (10, 10) to (90, 90)
    EXPECT_EQ(Px(b, 80, 20)[0], 255);
    EXPECT_EQ(Px(b, 5, 5)[0], 255);  // before its start
}

TEST_F(MetafileTest, FromAFile) {
    const auto emf = HalfRed();
    const std::string file = folder_ + "/pic.emf";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(emf.data()), emf.size());
    TVovozIdIO io(nullptr);
    io.LoadFromFile(Path("pic.emf"));
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileName, Path("pic.emf"));
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 100);
    io.LoadFromFileMetafile(Path("pic.emf"), 50, false, -1);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 25);
    EXPECT_EQ(io.Params().FileName, Path("pic.emf"));
}

}  // namespace
}  // namespace ie::test
namespace ie::test {
namespace {

// An ellipse a hundred million units wide and 20 high, with a wide red pen, on a 64 x 64
// picture: only the few pieces of its outline near the picture are stroked, and those cover
// every column of its top and bottom edges with the pen, the brush between them.
TEST_F(MetafileTest, WidePenOnAHugeEllipseStrokesItsVisiblePart) {
    for (int style : {0, 2}) {  // solid, and dotted (3 on, 3 off)
        SCOPED_TRACE(style);
        const auto bytes = MakeEMF(0, 0, 63, 63,
                                   {{38, {1, style, 5, 0, 0x0000FF}},
                                    {37, {1}},
                                    {42, {-100000000, 20, 100000000, 40}}});
        TVovozIdIO io(nullptr);
        Load(io, bytes, 64, false, 64);
        ASSERT_FALSE(io.Aborting);
        TIEBitmap& b = *io.GetIEBitmap();
        ASSERT_EQ(b.GetWidth(), 64);
        int redTop = 0, redBottom = 0;
        for (int x = 0; x < 64; ++x) {
            auto red = [&](int y) {
                const uint8_t* p = Px(b, x, y);
                return p[2] == 255 && p[1] == 0 && p[0] == 0;
            };
            redTop += red(20);
            redBottom += red(39);
            const uint8_t* inside = Px(b, x, 30);
            EXPECT_EQ(inside[0] + inside[1] + inside[2], 3 * 255) << x;  // the white brush
        }
        // On the centre line even the dots meet: the round ends of a 5-pixel pen close the
        // 3-pixel gaps.
        EXPECT_EQ(redTop, 64);
        EXPECT_EQ(redBottom, 64);
    }
}

}  // namespace
}  // namespace ie::test
