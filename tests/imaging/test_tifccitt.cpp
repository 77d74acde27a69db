// The fax coder: Group 3 one- and two-dimensional and Group 4 strips written by tiffcp
// decoded and compared with the source bits, our encodings decoded again on odd widths,
// the code choices of plain rows, fill order 2, and damaged data, which ends rows without
// reading past the data.
#include <gtest/gtest.h>

#include <random>

#include "formats_testutil.h"
#include "imaging/formats/tifccitt.h"

namespace ie::test {
namespace {

enum class Kind { MH, G3, G32D, G4 };

// Decodes Height rows of Width pixels (1 white).
std::vector<uint8_t> Decode(const std::vector<uint8_t>& Data, Kind K, int32_t Width, int32_t Height,
                            int32_t FillOrder = 1) {
    const size_t rb = size_t((Width + 7) / 8);
    std::vector<uint8_t> out, row(rb), ref(rb, 0xFF);
    int64_t pos = 0, bytePos = 0;
    for (int32_t y = 0; y < Height; ++y) {
        switch (K) {
            case Kind::MH: {
                const int64_t left = int64_t(Data.size()) - bytePos;
                bytePos +=
                    IECCITTDecodeMHRow(row.data(), Data.data() + std::min<int64_t>(bytePos, int64_t(Data.size())),
                                       std::max<int64_t>(left, 0), FillOrder, Width);
                break;
            }
            case Kind::G3:
                pos = IECCITTDecode1DRow(row.data(), Data.data(), int64_t(Data.size()), FillOrder, pos, Width);
                break;
            case Kind::G32D:
            case Kind::G4:
                pos = IECCITTDecode2DRow(row.data(), Data.data(), int64_t(Data.size()), K == Kind::G32D, FillOrder, pos,
                                         ref.data(), Width);
                break;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// Encodes rows (1 black) with our encoders.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& Rows, Kind K, int32_t Width, int32_t Height,
                            int32_t FillOrder = 1) {
    const size_t rb = size_t((Width + 7) / 8);
    cl::TMemoryStream s;
    bool error = false;
    int32_t pendingBits = 0;
    uint8_t pendingByte = 0;
    std::vector<uint8_t> ref;
    for (int32_t y = 0; y <= Height; ++y) {
        const uint8_t* row = y < Height ? Rows.data() + size_t(y) * rb : nullptr;
        switch (K) {
            case Kind::MH: IECCITTEncodeMHRow(row, Width, &s, FillOrder, error); break;
            case Kind::G3: IECCITTEncode1DRow(row, Width, &s, FillOrder, error, pendingBits, pendingByte); break;
            case Kind::G32D: IECCITTEncodeG3Row(row, Width, &s, FillOrder, error, ref, pendingBits, pendingByte); break;
            case Kind::G4: IECCITTEncodeG4Row(row, Width, &s, FillOrder, error, ref, pendingBits, pendingByte); break;
        }
    }
    EXPECT_FALSE(error);
    EXPECT_EQ(pendingBits, 0);
    EXPECT_TRUE(ref.empty());
    return StreamBytes(s);
}

// Clears the bits beyond Width in each row.
std::vector<uint8_t> Masked(std::vector<uint8_t> Rows, int32_t Width) {
    const size_t rb = size_t((Width + 7) / 8);
    if (Width % 8)
        for (size_t i = rb - 1; i < Rows.size(); i += rb) Rows[i] = uint8_t(Rows[i] & (0xFF00 >> (Width % 8)));
    return Rows;
}

std::vector<uint8_t> Inverted(std::vector<uint8_t> Rows) {
    for (auto& b : Rows) b = uint8_t(~b);
    return Rows;
}

std::vector<uint8_t> Reversed(std::vector<uint8_t> Bytes) {
    for (auto& b : Bytes) {
        uint8_t r = 0;
        for (int k = 0; k < 8; ++k) r = uint8_t(r | (((b >> k) & 1) << (7 - k)));
        b = r;
    }
    return Bytes;
}

TEST(TifCcitt, TiffcpStripsDecodeToTheSourceBits) {
    // The source is a P4 PBM (1 black); the TIFF that tiffcp coded is min-is-black, so its
    // white codes stand for the PBM's 1 bits and our decoded rows equal the PBM's rows.
    const auto pbm = ReadBytes(FixturePath("tiffcoders", "page.pbm"));
    ASSERT_GT(pbm.size(), 11u);
    const int32_t w = 203, h = 57;
    const std::vector<uint8_t> bits(pbm.end() - (w + 7) / 8 * h, pbm.end());
    const std::vector<std::pair<const char*, Kind>> cases = {
        {"page.g3", Kind::G3}, {"page.g32d", Kind::G32D}, {"page.g4", Kind::G4}};
    for (const auto& [name, kind] : cases) {
        SCOPED_TRACE(name);
        const auto strip = ReadBytes(FixturePath("tiffcoders", name));
        EXPECT_EQ(Masked(Decode(strip, kind, w, h), w), Masked(bits, w));
        EXPECT_EQ(Masked(Decode(Reversed(strip), kind, w, h, 2), w), Masked(bits, w)) << "fill order 2";
    }
}

TEST(TifCcitt, OurEncodingsDecodeBack) {
    std::mt19937 rng(3);
    for (int32_t width : {1, 2, 3, 5, 7, 8, 9, 17, 64, 203, 3000}) {
        for (Kind kind : {Kind::MH, Kind::G3, Kind::G32D, Kind::G4}) {
            for (int32_t fill : {1, 2}) {
                SCOPED_TRACE(testing::Message() << "width " << width << " kind " << int(kind) << " fill " << fill);
                const int32_t h = 12;
                const size_t rb = size_t((width + 7) / 8);
                std::vector<uint8_t> rows(rb * h);
                // Rows of random bits, of long runs, all white and all black.
                for (int32_t y = 0; y < h; ++y) {
                    for (size_t i = 0; i < rb; ++i) {
                        uint8_t v = 0;
                        if (y % 4 == 0)
                            v = uint8_t(rng());
                        else if (y % 4 == 1)
                            v = (i / 3) % 2 ? 0xFF : 0x00;
                        else if (y % 4 == 2)
                            v = y & 8 ? 0xFF : 0x00;
                        else
                            v = uint8_t(rows[(y - 1) * rb + i] ^ (rng() % 7 == 0 ? 0x10 : 0));
                        rows[size_t(y) * rb + i] = v;
                    }
                }
                const auto z = Encode(rows, kind, width, h, fill);
                EXPECT_EQ(Masked(Decode(z, kind, width, h, fill), width), Masked(Inverted(rows), width));
            }
        }
    }
}

TEST(TifCcitt, CodesOfPlainRows) {
    // A white row: one white run in 1-D coding; V0 against a white reference in Group 4.
    std::vector<uint8_t> white(2, 0);
    EXPECT_EQ(Encode(white, Kind::MH, 16, 1), (std::vector<uint8_t>{0b10101000}));  // white 16: 101010
    // Group 4: V0 (1), then EOFB (two EOLs), padded.
    const auto g4 = Encode(white, Kind::G4, 16, 1);
    EXPECT_EQ(g4, (std::vector<uint8_t>{0x80, 0x08, 0x00, 0x80}));
    // 3000 white pixels: the 2560 make-up, the 384 make-up and the terminating 56.
    std::vector<uint8_t> wide(375, 0);
    const auto z = Encode(wide, Kind::MH, 3000, 1);
    // 000000011111 00110111 01011001 -> 28 bits.
    EXPECT_EQ(z, (std::vector<uint8_t>{0x01, 0xF3, 0x75, 0x90}));
    EXPECT_EQ(Decode(z, Kind::MH, 3000, 1), std::vector<uint8_t>(375, 0xFF));
}

TEST(TifCcitt, EOLsInOneDimensionalRows) {
    // EOL, white 8 (10011); then white 3 (1000) and an EOL in the middle of the row.
    const std::vector<uint8_t> d = {0b00000000, 0b00011001, 0b11000000, 0b00000000, 0b11001100};
    std::vector<uint8_t> row(1);
    int64_t pos = IECCITTDecode1DRow(row.data(), d.data(), int64_t(d.size()), 1, 0, 8);
    EXPECT_EQ(row[0], 0xFF);
    EXPECT_EQ(pos, 17);
    pos = IECCITTDecode1DRow(row.data(), d.data(), int64_t(d.size()), 1, pos, 8);
    EXPECT_EQ(row[0], 0xE0) << "white 3, then the black run in progress reaches the row end";
    EXPECT_EQ(pos, 21) << "the EOL ending a row is left for the next row";
    pos = IECCITTDecode1DRow(row.data(), d.data(), int64_t(d.size()), 1, pos, 8);
    EXPECT_EQ(pos, 21 + 12 + 5) << "which skips it as its first code";
}

TEST(TifCcitt, DamagedDataEndsRows) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
        Kind K;
        int32_t Width;
        std::vector<uint8_t> Expect;  // the first row
    };
    const std::vector<Case> cases = {
        // white 2 (0111), the black make-up 1728, then the data ends.
        {"data ends in a black run", {0x70, 0x32, 0x80}, Kind::G3, 12, {0xC0, 0x00}},
        // white 64 (11011) and white 0 (00110101) on a row of 10.
        {"runs beyond the width are cut", {0xD9, 0xA8}, Kind::G3, 10, {0xFF, 0xFF}},
        {"empty data: a white row", {}, Kind::G3, 9, {0xFF, 0x80}},
        // Horizontal white 6 (1110) black 1 (010), so a0 = 7; then VL3 from b1 = 8 gives a1 = 5.
        {"a1 before a0", {0x3C, 0x82}, Kind::G4, 8, {0xFD}},
        {"cut inside a horizontal mode", {0x20}, Kind::G4, 8, {0xFF}},
        {"uncompressed-mode codes", {0b00000011, 0b11000000, 0b10000000}, Kind::G4, 16, {0xFF, 0xFF}},
        {"twelve zero bits in Group 4", {0x00, 0x08}, Kind::G4, 8, {0xFF}},
        {"noise bits", {0x00, 0x00, 0x00, 0x00, 0x00}, Kind::G3, 8, {0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<uint8_t> data = c.Data;
        data.shrink_to_fit();
        const auto rows = Decode(data, c.K, c.Width, 3);
        const std::vector<uint8_t> first(rows.begin(), rows.begin() + long(c.Expect.size()));
        EXPECT_EQ(Masked(first, c.Width), Masked(c.Expect, c.Width));
    }
}

}  // namespace
}  // namespace ie::test
