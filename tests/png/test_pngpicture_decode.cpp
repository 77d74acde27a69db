// Decoding image data: every colour type, depth and interlace of the test set against
// ImageMagick's decoding, and hand-built files for filters, chunk splits and damage.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "png_testutil.h"

using namespace pngtest;
using png::TPNGObject;

namespace {

struct Fixture {
    const char* file;
    int depth, type;
    bool interlaced;
};

const Fixture kSet[] = {
    {"g1.png", 1, 0, false},      {"g2.png", 2, 0, false},     {"g4.png", 4, 0, false},
    {"g8.png", 8, 0, false},      {"g16.png", 16, 0, false},   {"rgb8.png", 8, 2, false},
    {"rgb16.png", 16, 2, false},  {"p1.png", 1, 3, false},     {"p2.png", 2, 3, false},
    {"p4.png", 4, 3, false},      {"p8.png", 8, 3, false},     {"ga8.png", 8, 4, false},
    {"ga16.png", 16, 4, false},   {"rgba8.png", 8, 6, false},  {"rgba16.png", 16, 6, false},
    {"i_g1.png", 1, 0, true},     {"i_g2.png", 2, 0, true},    {"i_g4.png", 4, 0, true},
    {"i_g8.png", 8, 0, true},     {"i_g16.png", 16, 0, true},  {"i_rgb8.png", 8, 2, true},
    {"i_rgb16.png", 16, 2, true}, {"i_p1.png", 1, 3, true},    {"i_p2.png", 2, 3, true},
    {"i_p4.png", 4, 3, true},     {"i_p8.png", 8, 3, true},    {"i_ga8.png", 8, 4, true},
    {"i_ga16.png", 16, 4, true},  {"i_rgba8.png", 8, 6, true}, {"i_rgba16.png", 16, 6, true},
    {"gt8.png", 8, 0, false},     {"rgbt8.png", 8, 2, false},  {"rgbt16.png", 16, 2, false},
    {"pt8.png", 8, 3, false},     {"pa2.png", 2, 3, false},    {"gam045.png", 8, 2, false},
    {"chrm.png", 8, 2, false},    {"txt.png", 4, 3, false},    {"ztxt.png", 4, 3, false},
    {"itxt.png", 4, 3, false},
};

// Every pixel (and alpha value) of the picture equals ImageMagick's decoding of the file.
void ExpectSameAsMagick(TPNGObject& picture, const std::string& file, int depth, int type) {
    Truth t;
    ASSERT_TRUE(MagickDecode(file, t)) << file;
    ASSERT_EQ(picture.GetWidth(), t.width);
    ASSERT_EQ(picture.GetHeight(), t.height);
    png::TChunkIHDR* h = picture.HeaderChunk();
    int wrong = 0;
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x) {
            const auto c = static_cast<uint32_t>(picture.GetPixels(x, y));
            const int r = Level(t.At(x, y, 0), depth), g = Level(t.At(x, y, 1), depth), b = Level(t.At(x, y, 2), depth);
            if (static_cast<int>(c & 0xFF) != r || static_cast<int>((c >> 8) & 0xFF) != g ||
                static_cast<int>((c >> 16) & 0xFF) != b) {
                if (++wrong < 4) ADD_FAILURE() << file << " pixel " << x << "," << y << ": " << std::hex << c;
            }
            if (type == 4 || type == 6) {
                const int a = h->GetImageAlpha()[static_cast<size_t>(y) * t.width + x];
                if (a != Level(t.At(x, y, 3), depth) && ++wrong < 4)
                    ADD_FAILURE() << file << " alpha " << x << "," << y << ": " << a;
            }
        }
    EXPECT_EQ(wrong, 0) << file;
}

}  // namespace

TEST(PngDecode, EveryColourTypeDepthAndInterlaceEqualsImageMagick) {
    for (const Fixture& f : kSet) {
        SCOPED_TRACE(f.file);
        const std::string path = kData + f.file;
        auto picture = Load(ReadFile(path));
        png::TChunkIHDR* h = picture->HeaderChunk();
        EXPECT_EQ(h->BitDepth, f.depth);
        EXPECT_EQ(h->ColorType, f.type);
        EXPECT_EQ(picture->GetInterlacing(), f.interlaced ? 1 : 0);
        ExpectSameAsMagick(*picture, path, f.depth, f.type);
    }
}

TEST(PngDecode, GammaOfOneIsAppliedToColoursAndPalettes) {
    // gAMA 1.0: stored = 255 x (v / 255)^(1 / 2.2) to the nearest, v the file's sample
    // (read from the same file without its gAMA chunk).
    for (const char* name : {"gam10.png", "pgam.png"}) {
        SCOPED_TRACE(name);
        const std::string file = ReadFile(kData + name);
        std::string plain = kSignature;
        for (const ChunkInfo& c : SplitChunks(file))
            if (c.name != "gAMA") plain += Chunk(c.name, c.data);
        ASSERT_NE(plain.size(), file.size());
        auto picture = Load(file);
        auto samples = Load(plain);
        for (int y = 0; y < picture->GetHeight(); ++y)
            for (int x = 0; x < picture->GetWidth(); ++x) {
                const auto c = static_cast<uint32_t>(picture->GetPixels(x, y));
                const auto v = static_cast<uint32_t>(samples->GetPixels(x, y));
                for (int ch = 0; ch < 3; ++ch) {
                    const double expected = std::pow(((v >> (8 * ch)) & 0xFF) / 255.0, 1 / 2.2) * 255;
                    ASSERT_EQ(static_cast<int>((c >> (8 * ch)) & 0xFF), static_cast<int>(std::nearbyint(expected)))
                        << x << "," << y;
                }
            }
    }
    // About 1/2.2 (45455) leaves the samples as they are.
    auto near = Load(ReadFile(kData + "gam045.png"));
    auto plain = Load(ReadFile(kData + "rgb8.png"));
    for (int i = 0; i < 256; ++i) EXPECT_NEAR(near->GammaTable[static_cast<size_t>(i)], i, 0) << i;
    for (int y = 0; y < plain->GetHeight(); ++y)
        for (int x = 0; x < plain->GetWidth(); ++x) ASSERT_EQ(near->GetPixels(x, y), plain->GetPixels(x, y));
}

TEST(PngDecode, TwoBitGreyIsStoredOnTheFourBitScaleAndStaysWhite) {
    // Samples 3, 0, 1, 2 become 4-bit store values 15, 0, 5, 10 (drawn as 255, 0, 85, 170),
    // interlaced or not.
    for (int interlace : {0, 1}) {
        SCOPED_TRACE(interlace);
        // Interlaced, 4 x 1 has pixel 0 in pass 0, pixel 2 in pass 3, pixels 1 and 3 in pass 5.
        const std::string rows = interlace ? std::string("\0\xC0\0\x40\0\x20", 6) : std::string("\0\xC6", 2);
        auto picture = Load(MakePng(4, 1, 2, 0, rows, "", interlace));
        const uint8_t* store = picture->RowPointer(0);
        EXPECT_EQ(store[0], 0xF0);
        EXPECT_EQ(store[1], 0x5A);
        EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(0, 0)), 0xFFFFFFu);
        EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(1, 0)), 0u);
        EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(2, 0)), 0x555555u);
        EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(3, 0)), 0xAAAAAAu);
    }
}

TEST(PngDecode, TwoBitPaletteIndexesKeepTheirNumbers) {
    const std::string plte = Chunk("PLTE", std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12));
    auto picture = Load(MakePng(4, 1, 2, 3, std::string("\0\xC6", 2), plte));
    EXPECT_EQ(picture->RowPointer(0)[0], 0x30);
    EXPECT_EQ(picture->RowPointer(0)[1], 0x12);
    EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(0, 0)), 0xC0B0A0u);
}

TEST(PngDecode, SixteenBitSamplesKeepTheirHighByte) {
    auto grey = Load(MakePng(1, 1, 16, 0, std::string("\0\x12\x34", 3)));
    EXPECT_EQ(grey->RowPointer(0)[0], 0x12);
    auto rgba = Load(MakePng(1, 1, 8, 6, std::string("\0\x0A\x14\x1E\x28", 5)));
    EXPECT_EQ(rgba->RowPointer(0)[0], 30);
    EXPECT_EQ(rgba->RowPointer(0)[1], 20);
    EXPECT_EQ(rgba->RowPointer(0)[2], 10);
    EXPECT_EQ(rgba->HeaderChunk()->GetImageAlpha()[0], 40);
}

TEST(PngDecode, FiltersAreReversedAndUnknownFilterTypesLeaveTheRow) {
    // 3 x 3 RGB rows: None, Sub, Up, Average, Paeth, and a type 7 row kept as it is.
    const std::string pixels[3] = {std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90", 9),
                                   std::string("\x11\x22\x33\x44\x55\x66\x77\x88\x99", 9),
                                   std::string("\xF0\xE0\xD0\xC0\xB0\xA0\x90\x80\x70", 9)};
    auto filter = [](int type, const std::string& cur, const std::string& prev) {
        std::string out(1, static_cast<char>(type));
        for (size_t i = 0; i < cur.size(); ++i) {
            const int a = i >= 3 ? static_cast<uint8_t>(cur[i - 3]) : 0, b = static_cast<uint8_t>(prev[i]),
                      c = i >= 3 ? static_cast<uint8_t>(prev[i - 3]) : 0, x = static_cast<uint8_t>(cur[i]);
            int pred = 0;
            if (type == 1) pred = a;
            if (type == 2) pred = b;
            if (type == 3) pred = (a + b) / 2;
            if (type == 4)
                pred = png::PNGPaeth(static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(c));
            out += static_cast<char>(x - pred);
        }
        return out;
    };
    const std::string zero(9, '\0');
    for (int t0 = 0; t0 <= 4; ++t0)
        for (int t1 = 0; t1 <= 4; ++t1) {
            const std::string rows = filter(t0, pixels[0], zero) + filter(t1, pixels[1], pixels[0]) +
                                     filter((t0 + t1) % 5, pixels[2], pixels[1]);
            auto picture = Load(MakePng(3, 3, 8, 2, rows));
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 3; ++x) {
                    const auto c = static_cast<uint32_t>(picture->GetPixels(x, y));
                    const auto* p = reinterpret_cast<const uint8_t*>(pixels[y].data() + 3 * x);
                    ASSERT_EQ(c, uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16))
                        << "filters " << t0 << "," << t1 << " pixel " << x << "," << y;
                }
        }
    auto seven = Load(MakePng(3, 1, 8, 2, std::string("\x07", 1) + pixels[0]));
    EXPECT_EQ(std::memcmp(seven->RowPointer(0), "\x30\x20\x10", 3), 0);
}

TEST(PngDecode, InterlacedAndSequentialFormsGiveTheSamePixels) {
    for (const char* name :
         {"g1", "g2", "g4", "g8", "g16", "rgb8", "rgb16", "p1", "p2", "p4", "p8", "ga8", "ga16", "rgba8", "rgba16"}) {
        SCOPED_TRACE(name);
        auto a = Load(ReadFile(kData + name + ".png"));
        auto b = Load(ReadFile(kData + "i_" + name + ".png"));
        ASSERT_EQ(a->GetWidth(), b->GetWidth());
        for (int y = 0; y < a->GetHeight(); ++y)
            ASSERT_EQ(
                std::memcmp(a->RowPointer(y), b->RowPointer(y), static_cast<size_t>(a->HeaderChunk()->GetRowLength())),
                0)
                << "row " << y;
    }
}

TEST(PngDecode, ImageDataSplitIntoOneByteChunksDecodesAlike) {
    const std::string whole = ReadFile(kData + "rgba8.png");
    std::string split = kSignature;
    for (const ChunkInfo& c : SplitChunks(whole)) {
        if (c.name != "IDAT") {
            split += Chunk(c.name, c.data);
            continue;
        }
        for (char byte : c.data) split += Chunk("IDAT", std::string(1, byte));
    }
    auto a = Load(whole);
    auto b = Load(split);
    for (int y = 0; y < a->GetHeight(); ++y)
        ASSERT_EQ(
            std::memcmp(a->RowPointer(y), b->RowPointer(y), static_cast<size_t>(a->HeaderChunk()->GetRowLength())), 0);
    EXPECT_EQ(std::memcmp(a->HeaderChunk()->GetImageAlpha(), b->HeaderChunk()->GetImageAlpha(),
                          static_cast<size_t>(a->GetWidth() * a->GetHeight())),
              0);
    // One IDAT chunk in the list; the others were read by it.
    int idat = 0;
    for (int i = 0; i < b->Chunks().GetCount(); ++i) idat += b->Chunks().GetItem(i)->GetNameText() == "IDAT";
    EXPECT_EQ(idat, 1);
}

TEST(PngDecode, OneByOneInterlacedPictureComesFromPassZeroAlone) {
    auto picture = Load(MakePng(1, 1, 8, 2, std::string("\0\x01\x02\x03", 4), "", 1));
    EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(0, 0)), 0x030201u);
}

TEST(PngDecode, LastChunkLongerThanOneInputBlockIsCheckedOverAllItsData) {
    // 300 x 300 RGB noise in one IDAT chunk of more than 65535 bytes, with the zlib stream
    // followed by padding inside the chunk: the rows end before the last input block.
    std::string rows;
    uint32_t seed = 1;
    for (int y = 0; y < 300; ++y) {
        rows += '\0';
        for (int i = 0; i < 900; ++i) {
            seed = seed * 1103515245u + 12345u;
            rows += static_cast<char>(seed >> 16);
        }
    }
    const std::string packed = Deflate(rows, 0) + std::string(70000, '\0');
    ASSERT_GT(packed.size(), 65535u * 2);
    const std::string file =
        kSignature + Chunk("IHDR", IhdrData(300, 300, 8, 2)) + Chunk("IDAT", packed) + Chunk("IEND", "");
    auto picture = Load(file);
    EXPECT_EQ(picture->Chunks().GetCount(), 3);
    const auto* last = reinterpret_cast<const uint8_t*>(rows.data() + 299 * 901 + 1 + 299 * 3);
    EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(299, 299)),
              uint32_t{last[0]} | (uint32_t{last[1]} << 8) | (uint32_t{last[2]} << 16));
    // A wrong CRC of that chunk is still found.
    std::string bad = file;
    const size_t crcAt = 8 + 25 + 8 + packed.size();
    bad[crcAt] = static_cast<char>(bad[crcAt] ^ 1);
    EXPECT_THROW(Load(bad), png::EPngInvalidCRC);
}

TEST(PngDecode, DamagedImageDataFailsWithTheClassesErrors) {
    const std::string good = ReadFile(kData + "rgb8.png");
    std::vector<ChunkInfo> chunks = SplitChunks(good);
    // Every byte of the compressed data changed in turn: a zlib error when inflation
    // rejects it, a CRC error otherwise; never anything else.
    size_t idatAt = 0, length = 0;
    for (const ChunkInfo& c : chunks)
        if (c.name == "IDAT") {
            idatAt = c.offset;
            length = c.data.size();
        }
    ASSERT_GT(length, 0u);
    int zlibErrors = 0, crcErrors = 0;
    for (size_t i = 0; i < length; ++i) {
        std::string bad = good;
        bad[idatAt + 8 + i] = static_cast<char>(bad[idatAt + 8 + i] ^ 0x5A);
        try {
            Load(bad);
            ADD_FAILURE() << "byte " << i << " loaded";
        } catch (const png::EPNGZLIBError& e) {
            ++zlibErrors;
            EXPECT_NE(std::string(e.what()).find("\r\n Description: "), std::string::npos);
        } catch (const png::EPngInvalidCRC&) {
            ++crcErrors;
        } catch (const png::EPNGMissingMultipleIDAT&) {
            ++zlibErrors;  // the stream ended before the picture did
        }
    }
    EXPECT_GT(zlibErrors, 0);
    EXPECT_GT(crcErrors, 0);

    // Compressed data that is not zlib at all names zlib's message.
    try {
        Load(kSignature + Chunk("IHDR", IhdrData(2, 2, 8, 0)) + Chunk("IDAT", "garbage!") + Chunk("IEND", ""));
        ADD_FAILURE() << "loaded";
    } catch (const png::EPNGZLIBError& e) {
        EXPECT_EQ(std::string(e.what()), std::string(png::EPNGZLIBErrorText) + "\r\n Description: data error (-3)");
    }
    // Image data that runs on into another chunk.
    const std::string rows = Deflate(std::string(2 * 3, '\0'));
    EXPECT_THROW(Load(kSignature + Chunk("IHDR", IhdrData(2, 2, 8, 0)) + Chunk("IDAT", rows.substr(0, 3)) +
                      Chunk("tEXt", std::string("a\0b", 3)) + Chunk("IEND", "")),
                 png::EPNGMissingMultipleIDAT);
}
