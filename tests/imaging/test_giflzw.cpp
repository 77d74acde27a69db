// The GIF LZW coder: round trips at every code size, plain and interlaced, the exact bytes
// of small pictures, the width growth of the codes, and hand-made code streams (early end,
// codes past the data, bad codes, a full dictionary with and without a clear code).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats_testutil.h"
#include "imaging/formats/giflzw.h"

namespace ie::test {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& Pixels, int32_t W, int32_t H, int32_t Bits, bool Interlaced) {
    cl::TMemoryStream s;
    IEGIFLZWCompress(&s, H, W, Bits, Pixels.data(), Interlaced);
    return StreamBytes(s);
}

// Decodes Data into a W x H buffer first filled with Fill; Position receives where the
// stream was left.
std::vector<uint8_t> Decompress(const std::vector<uint8_t>& Data, int32_t W, int32_t H, bool Interlaced,
                                int64_t* Position = nullptr, uint8_t Fill = 0xEE) {
    std::vector<uint8_t> out(static_cast<size_t>(W) * H, Fill);
    auto s = MemStream(Data);
    IEGIFLZWDecompress(s.get(), H, W, out.data(), Interlaced);
    if (Position) *Position = s->GetPosition();
    return out;
}

// The data bytes of the sub-blocks after the code size byte, joined.
std::vector<uint8_t> JoinedData(const std::vector<uint8_t>& Stream) {
    std::vector<uint8_t> d;
    size_t i = 1;
    while (i < Stream.size() && Stream[i] != 0) {
        const size_t n = Stream[i];
        d.insert(d.end(), Stream.begin() + static_cast<std::ptrdiff_t>(i + 1),
                 Stream.begin() + static_cast<std::ptrdiff_t>(i + 1 + n));
        i += n + 1;
    }
    return d;
}

int32_t CodeAt(const std::vector<uint8_t>& Data, int64_t Bit, int32_t Width) {
    int32_t v = 0;
    for (int32_t k = 0; k < Width; ++k, ++Bit)
        if (Data[static_cast<size_t>(Bit / 8)] >> (Bit % 8) & 1) v |= 1 << k;
    return v;
}

// Packs codes least significant bit first into sub-blocks after MinCodeSize; Widths gives
// each code's width. Terminated by a zero-length block unless told otherwise.
std::vector<uint8_t> Pack(int32_t MinCodeSize, const std::vector<std::pair<int32_t, int32_t>>& Codes,
                          bool Terminate = true, int32_t DropLastBytes = 0) {
    std::vector<uint8_t> data;
    uint32_t acc = 0;
    int32_t held = 0;
    for (const auto& [code, width] : Codes) {
        acc |= static_cast<uint32_t>(code) << held;
        held += width;
        while (held >= 8) {
            data.push_back(static_cast<uint8_t>(acc));
            acc >>= 8;
            held -= 8;
        }
    }
    if (held > 0) data.push_back(static_cast<uint8_t>(acc));
    if (DropLastBytes > 0 && static_cast<size_t>(DropLastBytes) <= data.size())
        data.erase(data.end() - DropLastBytes, data.end());
    std::vector<uint8_t> out{static_cast<uint8_t>(MinCodeSize)};
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    if (Terminate) out.push_back(0);
    return out;
}

// Codes of literal indexes after a clear code, with the widths a decoder reads them at
// (the table grows by one entry for every code after the first).
std::vector<std::pair<int32_t, int32_t>> Literals(int32_t MinCodeSize, const std::vector<int32_t>& Indexes,
                                                  bool WithEnd = true) {
    const int32_t clear = 1 << MinCodeSize;
    int32_t width = MinCodeSize + 1, slot = clear + 2;
    std::vector<std::pair<int32_t, int32_t>> codes{{clear, width}};
    for (size_t i = 0; i < Indexes.size(); ++i) {
        codes.emplace_back(Indexes[i], width);
        if (i > 0 && slot < 4096) {
            ++slot;
            if (slot >= (1 << width) && width < 12) ++width;
        }
    }
    if (WithEnd) codes.emplace_back(clear + 1, width);
    return codes;
}

TEST(GIFLZW, OnePixelGivesTheKnownBytes) {
    EXPECT_EQ(Compress({0}, 1, 1, 1, false), (std::vector<uint8_t>{0x02, 0x02, 0x44, 0x01, 0x00}));
    int64_t pos = 0;
    EXPECT_EQ(Decompress({0x02, 0x02, 0x44, 0x01, 0x00, 0x3B}, 1, 1, false, &pos), std::vector<uint8_t>{0});
    EXPECT_EQ(pos, 5);
}

TEST(GIFLZW, RoundTripsAtEveryCodeSize) {
    std::mt19937 rng(7);
    const struct { int32_t W, H; } sizes[] = {{1, 1}, {13, 5}, {300, 7}, {64, 64}, {3, 200}};
    for (int32_t bits = 1; bits <= 8; ++bits)
        for (const auto& sz : sizes)
            for (bool interlaced : {false, true})
                for (bool runs : {false, true}) {
                    SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(sz.W) + "x" + std::to_string(sz.H) +
                                 (interlaced ? " interlaced" : "") + (runs ? " runs" : " noise"));
                    std::vector<uint8_t> px(static_cast<size_t>(sz.W) * sz.H);
                    for (size_t i = 0; i < px.size(); ++i)
                        px[i] = static_cast<uint8_t>((runs ? (i / 37) : rng()) & ((1u << bits) - 1));
                    auto data = Compress(px, sz.W, sz.H, bits, interlaced);
                    // Sub-blocks of 254 bytes at most, a zero-length block at the end.
                    for (size_t i = 1; i < data.size() - 1; i += data[i] + 1u) EXPECT_LE(data[i], 254);
                    EXPECT_EQ(data.back(), 0);
                    data.push_back(0x3B);
                    int64_t pos = 0;
                    EXPECT_EQ(Decompress(data, sz.W, sz.H, interlaced, &pos), px);
                    EXPECT_EQ(pos, static_cast<int64_t>(data.size()) - 1);
                }
}

TEST(GIFLZW, InterlacedRowOrder) {
    // Three rows written interlaced are stored in the order 0, 2, 1.
    const std::vector<uint8_t> px = {0, 0, 1, 1, 2, 2};
    const auto data = Compress(px, 2, 3, 2, true);
    EXPECT_EQ(Decompress(data, 2, 3, false), (std::vector<uint8_t>{0, 0, 2, 2, 1, 1}));
    EXPECT_EQ(Decompress(data, 2, 3, true), px);
    // Eleven rows: 0, 8; 4; 2, 6, 10; 1, 3, 5, 7, 9.
    std::vector<uint8_t> rows(11);
    for (int i = 0; i < 11; ++i) rows[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    const auto stored = Decompress(Compress(rows, 1, 11, 4, true), 1, 11, false);
    EXPECT_EQ(stored, (std::vector<uint8_t>{0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9}));
}

TEST(GIFLZW, CodesWidenAfterCode511) {
    std::vector<uint8_t> px(256);
    for (int i = 0; i < 256; ++i) px[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    const auto stream = Compress(px, 256, 1, 8, false);
    EXPECT_EQ(stream[0], 8);
    const auto data = JoinedData(stream);
    // Clear and 255 codes of 9 bits; the last pixel and the end code in 10 bits.
    ASSERT_EQ(data.size(), 291u);
    EXPECT_EQ(CodeAt(data, 0, 9), 256);
    for (int i = 0; i < 255; ++i) EXPECT_EQ(CodeAt(data, 9 + 9 * i, 9), i);
    EXPECT_EQ(CodeAt(data, 9 + 9 * 255, 10), 255);
    EXPECT_EQ(CodeAt(data, 9 + 9 * 255 + 10, 10), 257);
    EXPECT_EQ(Decompress(stream, 256, 1, false), px);
}

TEST(GIFLZW, FullDictionary) {
    // A table that fills at 4,096 codes: our encoder sends a clear code and starts over.
    std::mt19937 rng(3);
    std::vector<uint8_t> noise(200 * 150);
    for (auto& v : noise) v = static_cast<uint8_t>(rng());
    EXPECT_EQ(Decompress(Compress(noise, 200, 150, 8, false), 200, 150, false), noise);

    // Another encoder may go on with the full table until a later clear code (a deferred
    // clear): the codes are decoded with the table as it stands.
    std::vector<int32_t> indexes(5000);
    for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<int32_t>(i % 4);
    const auto stream = Pack(2, Literals(2, indexes));
    int64_t pos = 0;
    const auto out = Decompress(stream, 100, 50, false, &pos);
    EXPECT_EQ(pos, static_cast<int64_t>(stream.size()));
    for (size_t i = 0; i < indexes.size(); ++i) ASSERT_EQ(out[i], indexes[i]) << i;
}

TEST(GIFLZW, HandMadeStreams) {
    const std::vector<int32_t> six = {1, 2, 3, 0, 1, 2};
    const struct Case {
        const char* Name;
        std::vector<uint8_t> Stream;
        bool Restored;                  // the position goes back to the start
        std::vector<uint8_t> Expected;  // 3 x 2 picture, 0xEE where nothing was decoded
    } cases[] = {
        {"well formed", Pack(2, Literals(2, six)), false, {1, 2, 3, 0, 1, 2}},
        {"no clear code first", Pack(2, {{1, 3}, {2, 3}, {5, 3}}), false, {1, 2, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"end code before the picture is complete",
         Pack(2, Literals(2, {1, 2, 3})),
         false,
         {1, 2, 3, 0xEE, 0xEE, 0xEE}},
        {"data ends without end code", Pack(2, Literals(2, {3, 3, 3, 3}, false)), false, {3, 3, 3, 3, 0xEE, 0xEE}},
        {"no terminator", Pack(2, Literals(2, six), false), false, {1, 2, 3, 0, 1, 2}},
        // Clear (100), 1 (001) and 1 (001) in 9 bits: the last code's top bit lies past the
        // one data byte and reads as 0.
        {"last code past the data", Pack(2, {{4, 3}, {1, 3}, {1, 3}}, true, 1), false, {1, 1, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"no data at all", {2, 0}, false, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"code size 1", {1, 2, 0x44, 0x01, 0}, true, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"code size 10", {10, 2, 0x44, 0x01, 0}, true, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"code above the next free one",
         Pack(2, {{4, 3}, {0, 3}, {7, 3}, {5, 3}}),
         true,
         {0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"end code after a clear with data left",
         Pack(2, {{4, 3}, {5, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}}),
         true,
         {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        // The first code after a clear that is not yet in the table reads as index 0.
        {"unknown first code", Pack(2, {{4, 3}, {6, 3}, {5, 3}}), false, {0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        // Clear, 0, and the two low bits of the end code (101) that read as 1.
        {"truncated in a sub-block", {2, 200, 0x44}, false, {0, 1, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"code size only", {2}, false, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"empty stream", {}, true, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        int64_t pos = -1;
        EXPECT_EQ(Decompress(c.Stream, 3, 2, false, &pos), c.Expected);
        if (c.Restored)
            EXPECT_EQ(pos, 0);
        else
            EXPECT_NE(pos, 0);
    }
}

TEST(GIFLZW, SurplusDataDoesNotOverwrite) {
    // Twelve pixels of data for a 2 x 3 interlaced picture: the first six fill it, the
    // rest is not used.
    const std::vector<int32_t> twelve = {1, 1, 2, 2, 3, 3, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Decompress(Pack(2, Literals(2, twelve)), 2, 3, true), (std::vector<uint8_t>{1, 1, 3, 3, 2, 2}));
    EXPECT_EQ(Decompress(Pack(2, Literals(2, twelve)), 2, 3, false), (std::vector<uint8_t>{1, 1, 2, 2, 3, 3}));
}

TEST(GIFLZW, IndexesAboveTheCodeSizeAreMasked) {
    // The coder never sends a clear or end code for a pixel: indexes beyond 2^bits wrap.
    const auto data = Compress({4, 5, 1}, 3, 1, 2, false);
    EXPECT_EQ(Decompress(data, 3, 1, false), (std::vector<uint8_t>{0, 1, 1}));
}

}  // namespace
}  // namespace ie::test
