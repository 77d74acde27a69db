// The lossless JPEG decoder: streams that dcmtk compressed (every selection value, 8, 12 and
// 16 bits, three components, point transform) decode to their sources exactly; streams made
// here by a small encoder pin the predictions, the restart intervals, long codes and the
// largest difference; refusals and damaged data return False without reading out of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats_testutil.h"
#include "imaging/formats/ljpegdec.h"
#include "samples_testutil.h"

namespace ie::test {
namespace {

struct Decoded {
    bool Ok = false;
    std::vector<uint8_t> Out8;
    std::vector<uint16_t> Out16;
    std::vector<int32_t> Reports;
};

Decoded Decode(const std::vector<uint8_t>& Data, int32_t W, int32_t H, int32_t C, bool Wide) {
    Decoded d;
    auto s = MemStream(Data);
    const size_t n = static_cast<size_t>(W > 0 ? W : 0) * (H > 0 ? H : 0) * (C > 0 ? C : 0);
    d.Out8.assign(Wide ? 0 : n, 0xEE);
    d.Out16.assign(Wide ? n : 0, 0xEEEE);
    Progress p;
    p.Record();
    d.Ok = IEDecodeLosslessJPEG(s.get(), Wide ? d.Out16.data() : nullptr, Wide ? nullptr : d.Out8.data(), &p.Rec,
                                static_cast<int64_t>(Data.size()), W, H, C);
    d.Reports = p.Reports;
    return d;
}

TEST(LosslessJPEG, StreamsOfDcmtkDecodeToTheirSources) {
    struct Case {
        const char* Stream;
        const char* Source;
    } cases[] = {
        {"grey8_sv1.ljpg", "grey8.pgm"}, {"grey8_sv2.ljpg", "grey8.pgm"},     {"grey8_sv3.ljpg", "grey8.pgm"},
        {"grey8_sv4.ljpg", "grey8.pgm"}, {"grey8_sv5.ljpg", "grey8.pgm"},     {"grey8_sv6.ljpg", "grey8.pgm"},
        {"grey8_sv7.ljpg", "grey8.pgm"}, {"grey12_sv6.ljpg", "grey12.pgm"},   {"grey16_sv7.ljpg", "grey16.pgm"},
        {"rgb8_sv1.ljpg", "rgb8.ppm"},   {"grey8_pt2.ljpg", "grey8_pt2.pgm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Stream);
        const Samples ref = LoadSamples(FixturePath("dicom", c.Source));
        ASSERT_GT(ref.Width, 0);
        const bool wide = ref.MaxVal > 255;
        const Decoded d = Decode(ReadBytes(FixturePath("dicom", c.Stream)), ref.Width, ref.Height, ref.Channels, wide);
        ASSERT_TRUE(d.Ok);
        for (size_t i = 0; i < ref.Values.size(); ++i) {
            const uint32_t got = wide ? d.Out16[i] : d.Out8[i];
            ASSERT_EQ(got, ref.Values[i]) << "sample " << i;
        }
        ASSERT_FALSE(d.Reports.empty());
        EXPECT_EQ(d.Reports.back(), 100);
    }
}

// ---------------------------------------------------------------------------------------
// A small encoder of the lossless process, for streams the tools do not make.

struct Table {
    std::vector<uint8_t> Counts;  // 16 counts
    std::vector<uint8_t> Symbols;
};
// Category 0..13 in 4 bits, 14..16 in 5 bits.
Table ShortCodes() {
    Table t{std::vector<uint8_t>(16, 0), {}};
    t.Counts[3] = 14;
    t.Counts[4] = 3;
    for (int i = 0; i <= 16; ++i) t.Symbols.push_back(static_cast<uint8_t>(i));
    return t;
}
// Category 0 in 1 bit, every other in 10 bits (beyond the 8-bit look-up).
Table LongCodes() {
    Table t{std::vector<uint8_t>(16, 0), {}};
    t.Counts[0] = 1;
    t.Counts[9] = 16;
    for (int i = 0; i <= 16; ++i) t.Symbols.push_back(static_cast<uint8_t>(i));
    return t;
}

struct Code {
    uint32_t Bits;
    int Length;
};
std::vector<Code> Codes(const Table& T) {
    std::vector<Code> codes(17, Code{0, 0});
    uint32_t code = 0;
    size_t k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < T.Counts[len - 1]; ++i) codes[T.Symbols[k++]] = Code{code++, len};
        code <<= 1;
    }
    return codes;
}

struct BitWriter {
    std::vector<uint8_t> Out;
    uint32_t Acc = 0;
    int N = 0;
    void Put(uint32_t V, int Len) {
        for (int i = Len - 1; i >= 0; --i) {
            Acc = (Acc << 1) | ((V >> i) & 1);
            if (++N == 8) Flush8();
        }
    }
    void Flush8() {
        Out.push_back(static_cast<uint8_t>(Acc));
        if (Acc == 0xFF) Out.push_back(0);
        Acc = 0;
        N = 0;
    }
    void Align() {
        while (N != 0) Put(1, 1);
    }
};

struct EncodeOptions {
    int Precision = 8;
    int Components = 1;
    int Predictor = 1;
    int Restart = 0;  // in pixels; a multiple of the width
    std::vector<Table> Tables{ShortCodes()};
    std::vector<int> Selectors{0, 0, 0};
    uint8_t SofCode = 0xC3;
};

void Put16(std::vector<uint8_t>& V, int X) {
    V.push_back(static_cast<uint8_t>(X >> 8));
    V.push_back(static_cast<uint8_t>(X));
}

// Encodes Samples (lines from the top, components interleaved) so that the decoder must
// reproduce them; Diffs, when given, are written instead of the computed differences.
std::vector<uint8_t> Encode(const std::vector<int32_t>& Samples, int W, int H, const EncodeOptions& O,
                            const std::vector<int32_t>* Diffs = nullptr) {
    std::vector<uint8_t> s = {0xFF, 0xD8, 0xFF, O.SofCode};
    Put16(s, 8 + 3 * O.Components);
    s.push_back(static_cast<uint8_t>(O.Precision));
    Put16(s, H);
    Put16(s, W);
    s.push_back(static_cast<uint8_t>(O.Components));
    for (int c = 0; c < O.Components; ++c) {
        s.push_back(static_cast<uint8_t>(c + 1));
        s.push_back(0x11);
        s.push_back(0);
    }
    for (size_t t = 0; t < O.Tables.size(); ++t) {
        s.push_back(0xFF);
        s.push_back(0xC4);
        Put16(s, 2 + 17 + static_cast<int>(O.Tables[t].Symbols.size()));
        s.push_back(static_cast<uint8_t>(t));
        s.insert(s.end(), O.Tables[t].Counts.begin(), O.Tables[t].Counts.end());
        s.insert(s.end(), O.Tables[t].Symbols.begin(), O.Tables[t].Symbols.end());
    }
    if (O.Restart) {
        s.insert(s.end(), {0xFF, 0xDD, 0, 4});
        Put16(s, O.Restart);
    }
    s.push_back(0xFF);
    s.push_back(0xDA);
    Put16(s, 6 + 2 * O.Components);
    s.push_back(static_cast<uint8_t>(O.Components));
    for (int c = 0; c < O.Components; ++c) {
        s.push_back(static_cast<uint8_t>(c + 1));
        s.push_back(static_cast<uint8_t>(O.Selectors[c] << 4));
    }
    s.push_back(static_cast<uint8_t>(O.Predictor));
    s.push_back(0);
    s.push_back(0);

    std::vector<std::vector<Code>> codes;
    for (const Table& t : O.Tables) codes.push_back(Codes(t));
    if (codes.empty()) codes.push_back(Codes(ShortCodes()));  // the data of a stream without tables
    const int nc = O.Components;
    const int32_t modulo = O.Precision > 8 ? 65536 : 256;
    BitWriter bw;
    int rst = 0;
    int lineOfInterval = 0;
    size_t k = 0;
    for (int y = 0; y < H; ++y) {
        if (O.Restart && y > 0 && (y * W) % O.Restart == 0) {
            bw.Align();
            bw.Out.push_back(0xFF);
            bw.Out.push_back(static_cast<uint8_t>(0xD0 + (rst++ & 7)));
            lineOfInterval = 0;
        }
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < nc; ++c) {
                auto at = [&](int X, int Y) { return Samples[(static_cast<size_t>(Y) * W + X) * nc + c]; };
                int32_t pred = 0;
                if (Diffs) {
                    // the differences are given
                } else if (lineOfInterval == 0)
                    pred = x == 0 ? 1 << (O.Precision - 1) : at(x - 1, y);
                else if (x == 0)
                    pred = at(0, y - 1);
                else {
                    const int32_t ra = at(x - 1, y), rb = at(x, y - 1), rc = at(x - 1, y - 1);
                    switch (O.Predictor) {
                        case 1: pred = ra; break;
                        case 2: pred = rb; break;
                        case 3: pred = rc; break;
                        case 4: pred = ra + rb - rc; break;
                        case 5: pred = ra + ((rb - rc) >> 1); break;
                        case 6: pred = rb + ((ra - rc) >> 1); break;
                        default: pred = (ra + rb) >> 1; break;
                    }
                }
                int32_t d = Diffs ? (*Diffs)[k] : ((at(x, y) - pred) % modulo + modulo) % modulo;
                ++k;
                if (!Diffs && d >= modulo / 2) d -= modulo;
                int cat = 0;
                if (d == 32768 || d == -32768)
                    cat = 16;
                else
                    for (int32_t a = d < 0 ? -d : d; a; a >>= 1) ++cat;
                const Code& cd = codes[static_cast<size_t>(O.Selectors[c])][static_cast<size_t>(cat)];
                bw.Put(cd.Bits, cd.Length);
                if (cat > 0 && cat < 16) bw.Put(static_cast<uint32_t>(d > 0 ? d : d + (1 << cat) - 1), cat);
            }
        ++lineOfInterval;
    }
    bw.Align();
    s.insert(s.end(), bw.Out.begin(), bw.Out.end());
    s.push_back(0xFF);
    s.push_back(0xD9);
    return s;
}

std::vector<int32_t> Pattern(int W, int H, int C, int32_t Max) {
    std::vector<int32_t> v;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < C; ++c) v.push_back((x * 37 + y * 101 + c * 59 + (x * y * 13) % 17) % (Max + 1));
    return v;
}

TEST(LosslessJPEG, EverySelectionValueWithShortAndLongCodesAndRestarts) {
    struct Case {
        int Precision, Components, Predictor, Restart;
        bool Long;
    } cases[] = {
        {8, 1, 1, 0, false},   {8, 1, 4, 0, true},  {8, 1, 5, 0, false}, {8, 1, 6, 0, true},
        {8, 3, 7, 0, false},   {8, 3, 2, 18, true}, {8, 1, 3, 6, false}, {12, 1, 4, 0, true},
        {16, 1, 6, 12, false}, {16, 1, 7, 0, true}, {5, 1, 5, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Precision << " bits, " << c.Components << " components, Ss "
                                          << c.Predictor << ", restart " << c.Restart);
        const int W = 6, H = 7;
        EncodeOptions o;
        o.Precision = c.Precision;
        o.Components = c.Components;
        o.Predictor = c.Predictor;
        o.Restart = c.Restart;
        if (c.Long) o.Tables = {LongCodes()};
        const std::vector<int32_t> px = Pattern(W, H, c.Components, (1 << c.Precision) - 1);
        const Decoded d = Decode(Encode(px, W, H, o), W, H, c.Components, c.Precision > 8);
        ASSERT_TRUE(d.Ok);
        for (size_t i = 0; i < px.size(); ++i)
            ASSERT_EQ(c.Precision > 8 ? d.Out16[i] : d.Out8[i], px[i]) << "sample " << i;
    }
}

TEST(LosslessJPEG, InitialPredictionAndLargestDifference) {
    const int W = 3, H = 2;
    EncodeOptions o;
    // Every difference 0: the initial prediction everywhere.
    std::vector<int32_t> zeros(W * H, 0);
    Decoded d = Decode(Encode({}, W, H, o, &zeros), W, H, 1, false);
    ASSERT_TRUE(d.Ok);
    EXPECT_EQ(d.Out8, std::vector<uint8_t>(W * H, 128));
    // 16 bits: the first difference 1000 on 2^15; category 16 adds 32768 (modulo 65536).
    o.Precision = 16;
    std::vector<int32_t> diffs = {1000, 32768, 0, 0, 0, 0};
    d = Decode(Encode({}, W, H, o, &diffs), W, H, 1, true);
    ASSERT_TRUE(d.Ok);
    EXPECT_EQ(d.Out16[0], 32768 + 1000);
    EXPECT_EQ(d.Out16[1], (32768 + 1000 + 32768) % 65536);
    EXPECT_EQ(d.Out16[3], 32768 + 1000);  // the next line starts from the sample above
}

TEST(LosslessJPEG, ComponentsUseTheirSelectedTablesOrTheFirstThereIs) {
    const int W = 5, H = 4;
    const std::vector<int32_t> px = Pattern(W, H, 3, 255);
    EncodeOptions o;
    o.Components = 3;
    // Two tables: the first component on table 0, the others on table 1.
    o.Tables = {ShortCodes(), LongCodes()};
    o.Selectors = {0, 1, 1};
    Decoded d = Decode(Encode(px, W, H, o), W, H, 3, false);
    ASSERT_TRUE(d.Ok);
    for (size_t i = 0; i < px.size(); ++i) ASSERT_EQ(d.Out8[i], px[i]);
    // One table, selectors naming tables that are not there: all three use it.
    std::vector<uint8_t> s = Encode(px, W, H, {.Components = 3, .Tables = {LongCodes()}, .Selectors = {0, 0, 0}});
    // Point the second and third selectors at table 2, which is not defined.
    const size_t sos = [&] {
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (s[i] == 0xFF && s[i + 1] == 0xDA) return i;
        return size_t{0};
    }();
    s[sos + 8] = 0x20;
    s[sos + 10] = 0x20;
    d = Decode(s, W, H, 3, false);
    ASSERT_TRUE(d.Ok);
    for (size_t i = 0; i < px.size(); ++i) ASSERT_EQ(d.Out8[i], px[i]);
}

TEST(LosslessJPEG, Refusals) {
    const int W = 4, H = 3;
    const std::vector<int32_t> px = Pattern(W, H, 1, 255);
    const std::vector<uint8_t> good = Encode(px, W, H, {});
    ASSERT_TRUE(Decode(good, W, H, 1, false).Ok);

    auto withByte = [&](size_t At, uint8_t V) {
        std::vector<uint8_t> s = good;
        s[At] = V;
        return s;
    };
    // The scan header with selection value 0.
    std::vector<uint8_t> predictor0 = good;
    for (size_t i = 0; i + 1 < predictor0.size(); ++i)
        if (predictor0[i] == 0xFF && predictor0[i + 1] == 0xDA) {
            predictor0[i + 7] = 0;
            break;
        }
    // The stream made with a restart interval, without its first restart marker.
    std::vector<uint8_t> noRestart = Encode(px, W, H, {.Restart = 4});
    for (size_t i = 0; i + 1 < noRestart.size(); ++i)
        if (noRestart[i] == 0xFF && noRestart[i + 1] == 0xD0) {
            noRestart.erase(noRestart.begin() + static_cast<std::ptrdiff_t>(i),
                            noRestart.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            break;
        }
    // Three codes of length 1.
    Table three{std::vector<uint8_t>(16, 0), {0, 1, 2}};
    three.Counts[0] = 3;
    const std::vector<uint8_t> overfull = Encode(px, W, H, {.Tables = {three}});
    // Offsets in the stream: SOF3 at 2, DHT at 15 (counts from 20, symbols from 36).
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
        int32_t W, H, C;
        bool Wide;
    } cases[] = {
        {"31 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 31), W, H, 1, false},
        {"baseline frame", Encode(px, W, H, {.SofCode = 0xC0}), W, H, 1, false},
        {"no marker where one is due", withByte(15, 0x00), W, H, 1, false},
        {"more than 17 codes", withByte(23, 15), W, H, 1, false},
        {"a category above 16", withByte(40, 17), W, H, 1, false},
        {"more codes of one length than it has room for", overfull, W, H, 1, false},
        {"no table at all", Encode(px, W, H, {.Tables = {}}), W, H, 1, false},
        {"other width", good, W + 1, H, 1, false},
        {"other height", good, W, H - 1, 1, false},
        {"other component count", good, W, H, 3, false},
        {"16-bit output for 8-bit samples", good, W, H, 1, true},
        {"cut in the data", std::vector<uint8_t>(good.begin(), good.end() - 6), W, H, 1, false},
        {"restart marker missing", noRestart, W, H, 1, false},
        {"selection value 0", predictor0, W, H, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(Decode(c.Data, c.W, c.H, c.C, c.Wide).Ok);
    }
    // A stream with fewer bytes than Size asks for.
    auto s = MemStream(good);
    std::vector<uint8_t> out(W * H);
    EXPECT_FALSE(
        IEDecodeLosslessJPEG(s.get(), nullptr, out.data(), nullptr, static_cast<int64_t>(good.size()) + 1, W, H, 1));
}

TEST(LosslessJPEG, DamagedStreamsNeverReadOutOfBounds) {
    const std::vector<uint8_t> file = ReadBytes(FixturePath("dicom", "rgb8_sv1.ljpg"));
    std::vector<uint8_t> out(17 * 11 * 3);
    for (size_t cut = 0; cut < file.size(); cut += 7) {
        std::vector<uint8_t> part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        auto s = MemStream(part);
        EXPECT_FALSE(IEDecodeLosslessJPEG(s.get(), nullptr, out.data(), nullptr, static_cast<int64_t>(cut), 17, 11, 3));
    }
    for (size_t at = 2; at < file.size(); at += 3) {
        std::vector<uint8_t> bad = file;
        bad[at] ^= 0x5A;
        auto s = MemStream(bad);
        (void)IEDecodeLosslessJPEG(s.get(), nullptr, out.data(), nullptr, static_cast<int64_t>(bad.size()), 17, 11, 3);
    }
}

}  // namespace
}  // namespace ie::test
