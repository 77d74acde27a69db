// Encoding image data: files written by the class pass pngcheck and decode in ImageMagick
// to the pixels, palette, transparency and text they came from; filters and IDAT sizes.
#include <gtest/gtest.h>

#include <cstring>

#include "png_testutil.h"

using namespace pngtest;
using png::TPNGObject;

namespace {

// The image data of a file, inflated.
std::string RawImageData(const std::string& file) {
    std::string packed;
    for (const ChunkInfo& c : SplitChunks(file))
        if (c.name == "IDAT") packed += c.data;
    return Inflate(packed);
}

std::vector<size_t> IdatSizes(const std::string& file) {
    std::vector<size_t> sizes;
    for (const ChunkInfo& c : SplitChunks(file))
        if (c.name == "IDAT") sizes.push_back(c.data.size());
    return sizes;
}

// pngcheck -v on a file: its verdict and its report.
bool PngcheckPasses(const std::string& path, std::string* report) {
    *report = RunOutput("pngcheck -v '" + path + "' 2>&1; echo \"rc=$?\"");
    return report->find("No errors detected") != std::string::npos && report->find("rc=0") != std::string::npos;
}

// Filter type of every row of a sequential picture's raw data.
std::vector<int> RowFilterTypes(const std::string& raw, size_t rowBytes) {
    std::vector<int> types;
    for (size_t p = 0; p < raw.size(); p += rowBytes + 1) types.push_back(static_cast<uint8_t>(raw[p]));
    return types;
}

// A w x h RGB picture of noise (incompressible), or of identical rows.
std::string RgbRows(int w, int h, bool noise) {
    std::string rows;
    uint32_t seed = 7;
    for (int y = 0; y < h; ++y) {
        rows += '\0';
        for (int i = 0; i < 3 * w; ++i) {
            seed = seed * 1103515245u + 12345u;
            rows += static_cast<char>(noise ? seed >> 16 : i * 7);
        }
    }
    return rows;
}

}  // namespace

TEST(PngEncode, SavedFilesPassPngcheckAndDecodeInImageMagickAsTheirSource) {
    if (!HaveTool("pngcheck")) GTEST_SKIP() << "pngcheck is not installed";
    const char* names[] = {"g1",    "g2",     "g4",     "g8",     "g16",     "rgb8",     "rgb16", "p1",    "p2",
                           "p4",    "p8",     "ga8",    "ga16",   "rgba8",   "rgba16",   "i_g1",  "i_g2",  "i_g4",
                           "i_g16", "i_rgb8", "i_p2",   "i_ga16", "i_rgba8", "i_rgba16", "gt8",   "rgbt8", "rgbt16",
                           "pt8",   "pa2",    "gam045", "chrm",   "txt",     "ztxt",     "itxt"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string source = kData + name + ".png";
        auto picture = Load(ReadFile(source));
        const int depth = picture->HeaderChunk()->BitDepth;
        const std::string saved = TempName(".png");
        WriteFile(saved, Save(*picture));
        std::string report;
        EXPECT_TRUE(PngcheckPasses(saved, &report)) << report;
        Truth want, got;
        ASSERT_TRUE(MagickDecode(source, want));
        ASSERT_TRUE(MagickDecode(saved, got));
        ASSERT_EQ(got.width, want.width);
        ASSERT_EQ(got.height, want.height);
        int wrong = 0;
        for (int y = 0; y < want.height; ++y)
            for (int x = 0; x < want.width; ++x)
                for (int ch = 0; ch < 4; ++ch)
                    if (Level(got.At(x, y, ch), depth == 2 ? 4 : depth) != Level(want.At(x, y, ch), depth) &&
                        ++wrong < 4)
                        ADD_FAILURE() << "pixel " << x << "," << y << " channel " << ch << ": " << got.At(x, y, ch)
                                      << " for " << want.At(x, y, ch);
        EXPECT_EQ(wrong, 0);
        std::remove(saved.c_str());
    }
}

TEST(PngEncode, RoundTripKeepsPaletteTransparencyAndText) {
    struct Case {
        const char* file;
        std::vector<std::string> chunks;  // ancillary chunks that must come back byte for byte
    };
    const Case cases[] = {{"pt8.png", {"PLTE", "tRNS"}}, {"pa2.png", {"PLTE", "tRNS"}}, {"rgbt8.png", {"tRNS"}},
                          {"gt8.png", {"tRNS"}},         {"txt.png", {"PLTE", "tEXt"}}, {"itxt.png", {"iTXt"}},
                          {"gam10.png", {"gAMA"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string original = ReadFile(kData + c.file);
        auto picture = Load(original);
        const std::string saved = Save(*picture);
        for (const std::string& name : c.chunks) {
            std::vector<std::string> a, b;
            for (const ChunkInfo& i : SplitChunks(original))
                if (i.name == name) a.push_back(i.data);
            for (const ChunkInfo& i : SplitChunks(saved))
                if (i.name == name) b.push_back(i.data);
            EXPECT_EQ(a, b) << name;
        }
        auto again = Load(saved);
        for (int y = 0; y < picture->GetHeight(); ++y)
            for (int x = 0; x < picture->GetWidth(); ++x) ASSERT_EQ(again->GetPixels(x, y), picture->GetPixels(x, y));
        EXPECT_EQ(again->TransparencyKind(), picture->TransparencyKind());
    }

    // A 16-bit picture is written from its high bytes, and so is its colour key: the
    // pixels that had the key keep it.
    auto deep = Load(ReadFile(kData + "rgbt16.png"));
    const std::string deepSaved = Save(*deep);
    for (const ChunkInfo& i : SplitChunks(deepSaved)) {
        if (i.name == "tRNS") {
            EXPECT_EQ(i.data, std::string("\xFF\0\xFF\0\xFF\0", 6));
        }
    }

    // Texts read back by exiftool from the saved file; the zTXt text is deflated again.
    if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    for (const char* name : {"txt.png", "ztxt.png"}) {
        SCOPED_TRACE(name);
        auto picture = Load(ReadFile(kData + name));
        const std::string saved = TempName(".png");
        WriteFile(saved, Save(*picture));
        const std::string want = RunOutput("exiftool -s -s -PNG:all '" + kData + name + "' | grep -v Palette");
        const std::string got = RunOutput("exiftool -s -s -PNG:all '" + saved + "' | grep -v Palette");
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(got, want);
        std::remove(saved.c_str());
    }
}

TEST(PngEncode, DefaultSettingsFilterEveryRowWithSub) {
    auto picture = Load(MakePng(100, 100, 8, 2, RgbRows(100, 100, false)));
    EXPECT_EQ(picture->GetRowFilters(), png::RowFilterBit(png::prfSub));
    EXPECT_EQ(picture->GetDeflateLevel(), 7);
    EXPECT_EQ(picture->GetIdatSizeLimit(), 65535u);
    const std::vector<int> types = RowFilterTypes(RawImageData(Save(*picture)), 300);
    ASSERT_EQ(types.size(), 100u);
    for (int t : types) EXPECT_EQ(t, 1);
}

TEST(PngEncode, RowFilterSetsChooseAsScored) {
    using png::RowFilterBit;
    struct Case {
        const char* what;
        png::TPNGRowFilters filters;
        int width;
        int firstRow, otherRows;  // expected filter types
    };
    const Case cases[] = {
        {"None alone", RowFilterBit(png::prfNone), 20, 0, 0},
        {"no filter at all", 0, 20, 0, 0},
        {"Up alone", RowFilterBit(png::prfUp), 20, 2, 2},
        {"Paeth alone", RowFilterBit(png::prfPaeth), 20, 4, 4},
        // Alike rows: Up and Paeth both give zeros after the first row; the tie goes to Up.
        {"Up and Paeth", static_cast<png::TPNGRowFilters>(RowFilterBit(png::prfUp) | RowFilterBit(png::prfPaeth)), 20,
         -1, 2},
        // Rows of two bytes cannot score: None, though None is not in the set.
        {"Sub and Up on 2-byte rows",
         static_cast<png::TPNGRowFilters>(RowFilterBit(png::prfSub) | RowFilterBit(png::prfUp)), 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string rows;
        for (int y = 0; y < 5; ++y) {
            rows += '\0';
            for (int x = 0; x < c.width; ++x) rows += static_cast<char>(x * 37 + 11);
        }
        auto picture = Load(MakePng(static_cast<uint32_t>(c.width), 5, 8, 0, rows));
        picture->SetRowFilters(c.filters);
        const std::string saved = Save(*picture);
        const std::vector<int> types = RowFilterTypes(RawImageData(saved), static_cast<size_t>(c.width));
        ASSERT_EQ(types.size(), 5u);
        if (c.firstRow >= 0) {
            EXPECT_EQ(types[0], c.firstRow);
        }
        for (size_t i = 1; i < types.size(); ++i) EXPECT_EQ(types[i], c.otherRows) << "row " << i;
        auto again = Load(saved);
        for (int x = 0; x < c.width; ++x) EXPECT_EQ(again->GetPixels(x, 4), picture->GetPixels(x, 4));
    }
}

TEST(PngEncode, ImageDataIsCutIntoChunksOfTheSizeLimit) {
    auto picture = Load(MakePng(300, 200, 8, 2, RgbRows(300, 200, true)));
    picture->SetDeflateLevel(0);
    for (uint32_t limit : {65535u, 100000u}) {
        SCOPED_TRACE(limit);
        picture->SetIdatSizeLimit(limit);
        const std::string saved = Save(*picture);
        const std::vector<size_t> sizes = IdatSizes(saved);
        size_t total = 0;
        for (size_t s : sizes) total += s;
        ASSERT_GT(total, 150000u);
        ASSERT_EQ(sizes.size(), (total + limit - 1) / limit);
        for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], limit);
        EXPECT_GT(sizes.back(), 0u);
        auto again = Load(saved);
        EXPECT_EQ(again->GetPixels(299, 199), picture->GetPixels(299, 199));
    }
    picture->SetIdatSizeLimit(4096);
    EXPECT_EQ(picture->GetIdatSizeLimit(), 65535u);
}

TEST(PngEncode, InterlacedOneByOnePictureWritesPassZeroOnly) {
    auto picture = Load(MakePng(1, 1, 8, 2, std::string("\0\x01\x02\x03", 4), "", 1));
    const std::string saved = Save(*picture);
    const std::string raw = RawImageData(saved);
    ASSERT_EQ(raw.size(), 4u);
    EXPECT_EQ(raw.substr(1), std::string("\x01\x02\x03", 3));
    auto again = Load(saved);
    EXPECT_EQ(again->GetInterlacing(), 1);
    EXPECT_EQ(static_cast<uint32_t>(again->GetPixels(0, 0)), 0x030201u);
}

TEST(PngEncode, InterlacingSettingChoosesTheLayoutWritten) {
    auto picture = Load(ReadFile(kData + "rgba8.png"));
    for (uint8_t setting : {1, 0, 7}) {
        SCOPED_TRACE(setting);
        picture->SetInterlacing(setting);
        const std::string saved = Save(*picture);
        EXPECT_EQ(SplitChunks(saved)[0].data[12], setting ? 1 : 0);
        auto again = Load(saved);
        EXPECT_EQ(again->GetInterlacing(), setting ? 1 : 0);
        for (int y = 0; y < picture->GetHeight(); ++y)
            for (int x = 0; x < picture->GetWidth(); ++x) ASSERT_EQ(again->GetPixels(x, y), picture->GetPixels(x, y));
        EXPECT_EQ(std::memcmp(again->HeaderChunk()->GetImageAlpha(), picture->HeaderChunk()->GetImageAlpha(),
                              static_cast<size_t>(picture->GetWidth() * picture->GetHeight())),
                  0);
    }
}

TEST(PngEncode, SixteenBitSamplesAreWrittenWithLowBytesZero) {
    auto picture = Load(ReadFile(kData + "rgb16.png"));
    picture->SetRowFilters(png::RowFilterBit(png::prfNone));
    const std::string raw = RawImageData(Save(*picture));
    const size_t rowBytes = static_cast<size_t>(picture->GetWidth()) * 6;
    ASSERT_EQ(raw.size(), (rowBytes + 1) * static_cast<size_t>(picture->GetHeight()));
    for (size_t y = 0; y < static_cast<size_t>(picture->GetHeight()); ++y)
        for (size_t i = 1; i < rowBytes; i += 2) ASSERT_EQ(raw[y * (rowBytes + 1) + 1 + i], 0) << y << "," << i;
}

TEST(PngEncode, TwoBitPicturesAreWrittenAsFourBitPictures) {
    for (const char* name : {"g2.png", "p2.png"}) {
        auto picture = Load(ReadFile(kData + name));
        const std::string saved = Save(*picture);
        const std::string ihdr = SplitChunks(saved)[0].data;
        EXPECT_EQ(ihdr[8], 4) << name;
        auto again = Load(saved);
        for (int y = 0; y < picture->GetHeight(); ++y)
            for (int x = 0; x < picture->GetWidth(); ++x) ASSERT_EQ(again->GetPixels(x, y), picture->GetPixels(x, y));
    }
}

TEST(PngEncode, GammaRoundTripReturnsFileSamplesWhereTheMappingIsOneToOne) {
    for (const char* name : {"gam10.png", "i_rgba16.png"}) {
        SCOPED_TRACE(name);
        std::string file = ReadFile(kData + name);
        if (std::string(name) == "i_rgba16.png") {
            // The same picture with a gAMA chunk of 1.0 before its image data.
            std::string withGamma = kSignature;
            for (const ChunkInfo& c : SplitChunks(file)) {
                if (c.name == "IDAT" && withGamma.find("gAMA") == std::string::npos)
                    withGamma += Chunk("gAMA", Be32(100000));
                withGamma += Chunk(c.name, c.data);
            }
            file = withGamma;
        }
        auto picture = Load(file);
        const std::string saved = Save(*picture);
        auto stripGamma = [](const std::string& f) {
            std::string out = kSignature;
            for (const ChunkInfo& c : SplitChunks(f))
                if (c.name != "gAMA") out += Chunk(c.name, c.data);
            return out;
        };
        std::vector<std::string> gammaBefore, gammaAfter;
        for (const ChunkInfo& c : SplitChunks(file))
            if (c.name == "gAMA") gammaBefore.push_back(c.data);
        for (const ChunkInfo& c : SplitChunks(saved))
            if (c.name == "gAMA") gammaAfter.push_back(c.data);
        EXPECT_EQ(gammaAfter, gammaBefore);
        auto before = Load(stripGamma(file));
        auto after = Load(stripGamma(saved));
        std::array<int, 256> uses{};
        for (int i = 0; i < 256; ++i) ++uses[picture->GammaTable[static_cast<size_t>(i)]];
        int compared = 0;
        for (int y = 0; y < before->GetHeight(); ++y)
            for (int x = 0; x < before->GetWidth(); ++x) {
                const auto b = static_cast<uint32_t>(before->GetPixels(x, y));
                const auto a = static_cast<uint32_t>(after->GetPixels(x, y));
                for (int ch = 0; ch < 3; ++ch) {
                    const int v = static_cast<int>((b >> (8 * ch)) & 0xFF);
                    if (uses[picture->GammaTable[static_cast<size_t>(v)]] != 1) continue;
                    ++compared;
                    ASSERT_EQ(static_cast<int>((a >> (8 * ch)) & 0xFF), v) << x << "," << y;
                }
            }
        EXPECT_GT(compared, 100);
    }
}

TEST(PngEncode, OutOfRangeDeflateLevelStillWritesAValidFile) {
    if (!HaveTool("pngcheck")) GTEST_SKIP() << "pngcheck is not installed";
    auto picture = Load(ReadFile(kData + "rgb8.png"));
    picture->SetDeflateLevel(200);
    const std::string saved = TempName(".png");
    WriteFile(saved, Save(*picture));
    std::string report;
    EXPECT_TRUE(PngcheckPasses(saved, &report)) << report;
    auto again = Load(ReadFile(saved));
    EXPECT_EQ(again->GetPixels(20, 10), picture->GetPixels(20, 10));
    std::remove(saved.c_str());
}
