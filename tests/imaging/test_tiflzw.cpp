// The TIFF LZW coder: round trips of random and patterned data through the code-width
// changes and the full-table Clear, hand-made code streams (early end, codes beyond the
// table, data ending inside a code), fill order 2, and strips written by tiffcp decoded
// and compared with the source pixels.
#include <gtest/gtest.h>

#include <random>

#include "formats_testutil.h"
#include "imaging/formats/tiflzw.h"

namespace ie::test {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& In, size_t Piece = 0) {
    cl::TMemoryStream s;
    void* state = nullptr;
    if (Piece == 0) Piece = In.size() ? In.size() : 1;
    size_t i = 0;
    do {
        const size_t n = std::min(Piece, In.size() - i);
        IETIFFLZWCompress(In.data() + i, int32_t(n), &s, state);
        i += n;
    } while (i < In.size());
    IETIFFLZWCompress(nullptr, 0, &s, state);
    EXPECT_EQ(state, nullptr);
    return StreamBytes(s);
}

// Decodes Rows rows of RowLength bytes; an empty result when a row fails.
std::vector<uint8_t> Decompress(std::vector<uint8_t> Data, int32_t RowLength, int32_t Rows, int32_t FillOrder = 1) {
    std::vector<uint8_t> out;
    void* state = nullptr;
    uint8_t none = 0;  // empty data still needs a pointer: null frees the state
    uint8_t* base = Data.empty() ? &none : Data.data();
    for (int32_t r = 0; r < Rows; ++r) {
        uint8_t* row = IETIFFLZWDecompress(base, int32_t(Data.size()), RowLength, state, FillOrder);
        if (!row) {
            out.clear();
            break;
        }
        out.insert(out.end(), row, row + RowLength);
    }
    EXPECT_EQ(IETIFFLZWDecompress(nullptr, 0, 0, state, 1), nullptr);
    EXPECT_EQ(state, nullptr);
    return out;
}

// Writes codes of the given widths, most significant bit first, padded with zero bits.
std::vector<uint8_t> Codes(const std::vector<std::pair<int32_t, int32_t>>& CodeWidth) {
    std::vector<uint8_t> out;
    uint64_t acc = 0;
    int32_t bits = 0;
    for (auto [code, width] : CodeWidth) {
        acc = (acc << width) | uint64_t(code);
        bits += width;
        while (bits >= 8) {
            out.push_back(uint8_t(acc >> (bits - 8)));
            bits -= 8;
        }
    }
    if (bits > 0) out.push_back(uint8_t(acc << (8 - bits)));
    return out;
}

std::vector<uint8_t> RandomBytes(size_t N, int32_t Alphabet, uint32_t Seed) {
    std::mt19937 rng(Seed);
    std::vector<uint8_t> v(N);
    for (auto& b : v) b = uint8_t(rng() % uint32_t(Alphabet));
    return v;
}

TEST(TifLzw, RoundTripsRowByRow) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
        int32_t RowLength;
    };
    std::vector<uint8_t> ramp(30000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t((i * 7) ^ (i >> 5));
    const std::vector<Case> cases = {
        {"random bytes (many Clears)", RandomBytes(100000, 256, 1), 333},
        {"few symbols (long strings, every width)", RandomBytes(200000, 3, 2), 1000},
        {"one byte value (the special case)", std::vector<uint8_t>(50000, 0x5A), 77},
        {"patterned", ramp, 250},
        {"one byte", {42}, 1},
        {"rows shorter than a code's string", std::vector<uint8_t>(4000, 9), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const int32_t rows = int32_t(c.Data.size() / size_t(c.RowLength));
        std::vector<uint8_t> whole(c.Data.begin(), c.Data.begin() + rows * c.RowLength);
        for (size_t piece : {size_t(0), size_t(c.RowLength), size_t(1)}) {
            if (piece == 1 && whole.size() > 5000) continue;
            const auto z = Compress(whole, piece);
            EXPECT_EQ(Decompress(z, c.RowLength, rows), whole) << "piece " << piece;
        }
    }
}

TEST(TifLzw, EncoderWidensOneCodeEarlyAndClearsAFullTable) {
    // Distinct pairs make one new string per code: code 258 + i is added by the i-th code.
    const auto data = RandomBytes(20000, 256, 5);
    const auto z = Compress(data);
    // Reading the codes back with the decoder's own width rule must meet Clear codes
    // again after the first, and then 9-bit codes.
    int32_t width = 9, next = 258, clears = 0;
    int64_t pos = 0;
    const int64_t bits = int64_t(z.size()) * 8;
    bool first = true;
    while (pos + width <= bits) {
        uint32_t w = 0;
        for (int k = 0; k < 3; ++k) {
            const int64_t b = (pos >> 3) + k;
            w = (w << 8) | (b < int64_t(z.size()) ? z[size_t(b)] : 0);
        }
        const int32_t code = int32_t(((w << 8) << (pos & 7)) >> (32 - width));
        pos += width;
        if (code == 256) {
            ++clears;
            width = 9;
            next = 258;
            first = true;
            continue;
        }
        if (code == 257) break;
        ASSERT_LE(code, next) << "at bit " << pos;
        if (!first) ++next;
        first = false;
        if (next == 511) width = 10;
        if (next == 1023) width = 11;
        if (next == 2047) width = 12;
        ASSERT_LE(next, 4094);
    }
    EXPECT_GE(clears, 2);
    EXPECT_EQ(Decompress(z, 100, 200), data);
}

TEST(TifLzw, HandMadeCodeStreams) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
        int32_t RowLength;
        std::vector<uint8_t> Expect;  // empty: the row fails
    };
    const std::vector<Case> cases = {
        {"Clear, codes, End", Codes({{256, 9}, {65, 9}, {66, 9}, {258, 9}, {257, 9}}), 4, {65, 66, 65, 66}},
        {"special case KwKwK", Codes({{256, 9}, {7, 9}, {258, 9}, {257, 9}}), 3, {7, 7, 7}},
        {"early End zero-fills the row", Codes({{256, 9}, {1, 9}, {2, 9}, {257, 9}}), 5, {1, 2, 0, 0, 0}},
        {"code beyond the table ends the row", Codes({{256, 9}, {1, 9}, {300, 9}, {2, 9}}), 3, {1, 0, 0}},
        {"undefined first code after Clear", Codes({{256, 9}, {300, 9}}), 2, {}},
        {"Clear then End", Codes({{256, 9}, {257, 9}}), 2, {0, 0}},
        {"Clear, End, then codes",
         Codes({{256, 9}, {1, 9}, {2, 9}, {258, 9}, {256, 9}, {257, 9}, {3, 9}, {259, 9}}),
         6,
         {1, 2, 1, 2, 0, 0}},
        {"repeated Clear", Codes({{256, 9}, {256, 9}, {5, 9}, {6, 9}, {257, 9}}), 2, {5, 6}},
        {"no Clear at the start", Codes({{3, 9}, {258, 9}, {257, 9}}), 3, {3, 3, 3}},
        {"data ends inside a code", {0x80, 0x00, 0x80}, 2, {2, 0}},  // Clear, 2, six bits
        {"empty data", {}, 4, {0, 0, 0, 0}},
        {"one byte of data", {0x80}, 1, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // The data sits at the end of its own allocation, so that ASan sees any read past it.
        std::vector<uint8_t> data = c.Data;
        data.shrink_to_fit();
        EXPECT_EQ(Decompress(data, c.RowLength, 1), c.Expect);
    }
}

TEST(TifLzw, FillOrder2DecodesLikeItsReversedTwin) {
    const auto data = RandomBytes(5000, 4, 9);
    auto z = Compress(data);
    for (auto& b : z) {
        uint8_t r = 0;
        for (int k = 0; k < 8; ++k) r = uint8_t(r | (((b >> k) & 1) << (7 - k)));
        b = r;
    }
    EXPECT_EQ(Decompress(z, 50, 100, 2), data);
}

TEST(TifLzw, TiffcpStripsDecodeToTheSourcePixels) {
    for (const char* name : {"gray", "pattern"}) {
        SCOPED_TRACE(name);
        const bool rgb = std::string(name) == "pattern";
        const RefImage ref =
            ParseRef(ReadBytes(FixturePath("tiffcoders", std::string(name) + (rgb ? ".ppm" : ".pgm"))));
        ASSERT_GT(ref.Width, 0);
        const auto strip = ReadBytes(FixturePath("tiffcoders", std::string(name) + ".lzw"));
        const auto rows = Decompress(strip, ref.Width * ref.Channels, ref.Height);
        EXPECT_EQ(rows, ref.Pixels);
    }
}

TEST(TifLzw, OurStripsReadBackThroughTiffcp) {
    const auto data = RandomBytes(64 * 48, 16, 11);
    const auto z = Compress(data);
    // A minimal one-strip 8-bit grey TIFF around our strip, converted by tiffcp to an
    // uncompressed file whose pixels are compared with ours.
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const uint32_t stripOffset = 8 + 2 + 9 * 12 + 4;
    auto put16 = [&](uint16_t v) {
        f.push_back(uint8_t(v));
        f.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(uint16_t(v));
        put16(uint16_t(v >> 16));
    };
    auto tag = [&](uint16_t t, uint16_t type, uint32_t v) {
        put16(t);
        put16(type);
        put32(1);
        put32(v);
    };
    put16(9);
    tag(256, 4, 64);
    tag(257, 4, 48);
    tag(258, 3, 8);
    tag(259, 3, 5);
    tag(262, 3, 1);
    tag(273, 4, stripOffset);
    tag(277, 3, 1);
    tag(278, 4, 48);
    tag(279, 4, uint32_t(z.size()));
    put32(0);
    ASSERT_EQ(f.size(), stripOffset);
    f.insert(f.end(), z.begin(), z.end());
    const std::string dir = ::testing::TempDir();
    WriteBytes(dir + "/ours_lzw.tif", f);
    const std::string cmd = "tiffcp -c none '" + dir + "/ours_lzw.tif' '" + dir +
                            "/ours_none.tif' 2>&1 && "
                            "/usr/bin/convert '" +
                            dir + "/ours_none.tif' -depth 8 gray:'" + dir + "/ours.gray'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadBytes(dir + "/ours.gray"), data);
}

}  // namespace
}  // namespace ie::test
