// Encoders and small helpers: ASCII85, run length, rationals, bits, row lengths, numbers,
// CIE L*a*b*, system probes, file and text helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"
#include "platform/codepage.h"
#include "platform/kernel.h"

namespace ie {
namespace {

// ---------------------------------------------------------------------------------------
// ASCII85

std::string A85(const std::vector<uint8_t>& in, int32_t* total = nullptr, int32_t* result = nullptr) {
    std::vector<uint8_t> out(static_cast<size_t>(IEASCII85MaxLength(static_cast<int64_t>(in.size()))));
    const uint8_t* src = in.data();
    uint8_t* dst = out.data();
    int32_t t = 0;
    const int32_t r = IEEncodeASCII85(src, static_cast<int32_t>(in.size()), dst, t);
    EXPECT_EQ(src, in.data() + in.size());
    EXPECT_EQ(dst - out.data(), r);
    if (total) *total = t;
    if (result) *result = r;
    return std::string(out.begin(), out.begin() + r);
}

// A plain ASCII85 decoder of what the encoder writes.
std::vector<uint8_t> DecodeA85(const std::string& text) {
    std::vector<uint8_t> out;
    std::string group;
    auto flush = [&](bool last) {
        if (group.empty()) return;
        const size_t n = group.size();
        std::string g = group;
        while (g.size() < 5) g += 'u';
        uint64_t v = 0;
        for (char c : g) v = v * 85 + static_cast<uint64_t>(c - '!');
        for (size_t i = 0; i < 4; ++i)
            if (!last || i < n - 1) out.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
        group.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '~') break;
        if (c == '\r' || c == '\n') continue;
        if (c == 'z') {
            out.insert(out.end(), 4, 0);
            continue;
        }
        group += c;
        if (group.size() == 5) flush(false);
    }
    flush(true);
    return out;
}

TEST(ASCII85, Examples) {
    int32_t total = 0, result = 0;
    EXPECT_EQ(A85({0, 0, 0, 0}, &total, &result), "z~>\r\n");
    EXPECT_EQ(result, 5);
    EXPECT_EQ(total, 1);
    EXPECT_EQ(A85({0}), "!!~>\r\n");
    EXPECT_EQ(A85({'M', 'a', 'n', ' '}), "9jqo^~>\r\n");
    EXPECT_EQ(A85({0xFF, 0xFF, 0xFF, 0xFF}), "s8W-!~>\r\n");
    // Nothing to encode: only the end marker.
    EXPECT_EQ(A85({}, &total, &result), "~>\r\n");
    EXPECT_EQ(total, 0);
    EXPECT_EQ(result, 4);
}

TEST(ASCII85, GroupsCountAndAdvance) {
    const uint8_t bytes[] = {1, 2, 3, 0, 0, 0, 0};
    uint8_t out[16];
    const uint8_t* src = bytes;
    uint8_t* dst = out;
    EXPECT_EQ(IEEncodeASCII85Group(src, 3, dst), 4);
    EXPECT_EQ(src, bytes + 3);
    EXPECT_EQ(IEEncodeASCII85Group(src, 4, dst), 1);  // four zero bytes: "z"
    EXPECT_EQ(out[4], 'z');
    EXPECT_EQ(dst, out + 5);
    EXPECT_EQ(src, bytes + 7);
    src = bytes + 3;
    EXPECT_EQ(IEEncodeASCII85Group(src, 3, dst), 4);  // zero, but not four bytes: digits
    EXPECT_EQ(std::string(out + 5, out + 9), "!!!!");
}

TEST(ASCII85, LongInputsBreakLinesAndDecodeBack) {
    std::mt19937 rng(7);
    for (size_t n : {1u, 3u, 4u, 59u, 60u, 61u, 300u, 1001u}) {
        std::vector<uint8_t> in(n);
        for (auto& b : in) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng());
        const std::string text = A85(in);
        EXPECT_EQ(DecodeA85(text), in) << n;
        // Every line but the last (which ends with the marker) passed 74 characters.
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            if (line.find('~') != std::string::npos) {
                EXPECT_EQ(end + 2, text.size());
                break;
            }
            EXPECT_GE(line.size(), 75u) << n;
            EXPECT_LE(line.size(), 79u) << n;
        }
        EXPECT_LE(static_cast<int64_t>(text.size()), IEASCII85MaxLength(static_cast<int64_t>(n)));
    }
}

// ---------------------------------------------------------------------------------------
// Run length

std::vector<uint8_t> RLE(const std::vector<uint8_t>& in) {
    const size_t bound = in.size() + in.size() / 128 + 2;
    std::vector<uint8_t> out(bound + 64, 0xEE);
    const int32_t n = IEEncodeRunLength(in.data(), static_cast<int32_t>(in.size()), out.data());
    EXPECT_LE(static_cast<size_t>(n), bound) << "longer than the documented worst case";
    EXPECT_EQ(out[static_cast<size_t>(n)], 0xEE);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::vector<uint8_t> UnRLE(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < in.size()) {
        const uint8_t c = in[i++];
        if (c == 128) break;
        if (c < 128) {
            out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i),
                       in.begin() + static_cast<std::ptrdiff_t>(i + c + 1));
            i += c + 1;
        } else {
            out.insert(out.end(), static_cast<size_t>(257 - c), in[i++]);
        }
    }
    EXPECT_EQ(i, in.size()) << "data after the end byte";
    return out;
}

TEST(RunLength, Examples) {
    std::vector<uint8_t> equal(130, 'x');
    EXPECT_EQ(RLE(equal), (std::vector<uint8_t>{129, 'x', 255, 'x', 128}));
    EXPECT_EQ(RLE({'A', 'B', 'C'}), (std::vector<uint8_t>{2, 'A', 'B', 'C', 128}));
    EXPECT_EQ(RLE({}), (std::vector<uint8_t>{128}));
    EXPECT_EQ(RLE({7}), (std::vector<uint8_t>{0, 7, 128}));
}

TEST(RunLength, AnyDataStaysWithinItsBoundAndDecodesBack) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const size_t n = rng() % 700;
        std::vector<uint8_t> in(n);
        const int alphabet = 1 + static_cast<int>(rng() % 4);  // few symbols: many short runs
        for (auto& b : in) b = static_cast<uint8_t>(rng() % alphabet);
        EXPECT_EQ(UnRLE(RLE(in)), in) << trial;
    }
    // Pairs between single bytes, the pattern that costs most.
    std::vector<uint8_t> pairs;
    for (int i = 0; i < 1200; ++i) {
        pairs.push_back(static_cast<uint8_t>(i));
        pairs.push_back(200);
        pairs.push_back(200);
    }
    EXPECT_EQ(UnRLE(RLE(pairs)), pairs);
}

// ---------------------------------------------------------------------------------------
// Rationals

TEST(FloatToRational, Table) {
    struct Case {
        double value;
        int32_t num, den;
    };
    // clang-format off
    const Case cases[] = {
        {0.5, 1, 2},           {3, 3, 1},
        {-0.25, -1, 4},        {0, 0, 1},
        {1.0 / 3, 1, 3},       {72.0, 72, 1},
        {0.1, 1, 10},          {-1e-20, -1, 999999999},
        {1e20, 999999999, 1},  {3e9, 2147483647, 1},
        {-3e9, -2147483647, 1}, {4e18, 2147483647, 1},
        {2147483646.5, 2147483647, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        int32_t n = 7, d = 7;
        IEFloatToRational(c.value, 5e-9, n, d);
        EXPECT_EQ(n, c.num) << c.value;
        EXPECT_EQ(d, c.den) << c.value;
    }
}

TEST(FloatToRational, CloseEnoughWithin32Bits) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < 2000; ++i) {
        const double v = dist(rng) / (1 + rng() % 1000);
        int32_t n = 0, d = 0;
        IEFloatToRational(v, 5e-9, n, d);
        ASSERT_GT(d, 0);
        EXPECT_NEAR(static_cast<double>(n) / d, v, std::max(1e-6, std::fabs(v) * 1e-9)) << v;
    }
    int32_t n = 0, d = 0;
    IEFloatToRational(M_PI, 0, n, d);  // never close enough: stops before leaving 32 bits
    EXPECT_NEAR(static_cast<double>(n) / d, M_PI, 1e-15);
    IEFloatToRational(std::nan(""), 5e-9, n, d);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(d, 1);
}

// ---------------------------------------------------------------------------------------
// Bits and bytes

TEST(Bits, GetSetAndReverse) {
    uint8_t row[2] = {0, 0};
    IESetBit(row, 1, true);
    IESetBit(row, 9, true);
    EXPECT_EQ(row[0], 0x40);
    EXPECT_EQ(row[1], 0x40);
    EXPECT_TRUE(IEGetBit(row, 9));
    EXPECT_FALSE(IEGetBit(row, 8));
    IESetBit(row, 1, false);
    EXPECT_EQ(row[0], 0);
    uint8_t b = 0x01;
    IEReverseByteBits(b);
    EXPECT_EQ(b, 0x80);
    b = 0xB4;
    IEReverseByteBits(b);
    EXPECT_EQ(b, 0x2D);
    uint32_t v = 0x00000001;
    IEReverseDWordBits(v);
    EXPECT_EQ(v, 0x80000000u);
    v = 0x12345678;
    IEReverseDWordBits(v);
    EXPECT_EQ(v, 0x1E6A2C48u);
    EXPECT_EQ(IESwapWord(0xAABB1234u), 0xAABB3412u);
    EXPECT_EQ(IESwapDWord(0x01020304u), 0x04030201u);
    EXPECT_EQ(IESwapDWordIf(0x01020304u, true), 0x04030201u);
    EXPECT_EQ(IESwapDWordIf(0x01020304u, false), 0x01020304u);
    EXPECT_EQ(IESwapWordIf(0x1234, true), 0x3412);
    uint8_t words[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(IESwapWords(words, 2), words + 4);
    EXPECT_EQ(words[0], 2);
    EXPECT_EQ(words[3], 3);
    EXPECT_EQ(words[4], 5);
}

TEST(Bits, RunLengthsAndLogarithms) {
    EXPECT_EQ(IEMaskRunLength(0xFF00), 8);
    EXPECT_EQ(IEMaskRunLength(0), 0);
    EXPECT_EQ(IEMaskRunLength(0x7C00), 5);
    EXPECT_EQ(IEMaskRunLength(0xFFFFFFFF), 32);
    EXPECT_EQ(IEMaskRunLength(0x80000000), 0);
    EXPECT_EQ(IECeilLog2(256), 8);
    EXPECT_EQ(IECeilLog2(255), 8);
    EXPECT_EQ(IECeilLog2(0), -1);
    EXPECT_EQ(IECeilLog2(1), 0);
    EXPECT_EQ(IECeilLog2(2), 1);
    EXPECT_EQ(IECeilLog2(3), 2);
    EXPECT_EQ(IECeilLog2(0x80000001u), 32);
}

TEST(Bits, RowLengths) {
    EXPECT_EQ(IEBitmapRowLen(1, 1, 32), 4);
    EXPECT_EQ(IEBitmapRowLen(100, 24, 32), 300);
    EXPECT_EQ(IEBitmapRowLen(5, 24, 8), 15);
    EXPECT_EQ(IEBitmapRowLen(5, 24, 16), 16);
    EXPECT_EQ(IEBitmapRowLen(5, 24, 64), 16);
    EXPECT_EQ(IEBitmapRowLen(9, 1, 8), 2);
    EXPECT_EQ(IEBitmapRowLen(2147483647, 48, 32), 12884901884LL);  // 64 bits
    EXPECT_EQ(IEBitmapRowLen(0, 24, 32), 0);
    EXPECT_EQ(IEBitmapRowLen(10, 24, 0), 0);
    EXPECT_EQ(IEBitmapRowLen(10, 24, -8), 0);
    EXPECT_EQ(IETBitmapRowLen(32, cl::pf15bit), 64);
    EXPECT_EQ(IETBitmapRowLen(3, cl::pf4bit), 4);
    EXPECT_EQ(IEPixelFormatBits(cl::pf15bit), 15);
    EXPECT_EQ(IEPixelFormatBits(cl::pfDevice), 0);
    EXPECT_EQ(IEVclPixelFormatToIE(cl::pf4bit), ie8p);
    EXPECT_EQ(IEVclPixelFormatToIE(cl::pf1bit), ie1g);
    EXPECT_EQ(IEVclPixelFormatToIE(cl::pf32bit), ie24RGB);
}

TEST(Bits, ColorCountsIn64Bits) {
    EXPECT_EQ(IEColorCountFromBits(8, 1), 256);
    EXPECT_EQ(IEColorCountFromBits(8, 3), 16777216);
    EXPECT_EQ(IEColorCountFromBits(8, 4), 4294967296LL);
    EXPECT_EQ(IEColorCountFromBits(16, 3), 281474976710656LL);
    EXPECT_EQ(IEColorCountFromBits(16, 4), INT64_MAX);
    EXPECT_EQ(IEColorCountFromBits(1, 1), 2);
}

// ---------------------------------------------------------------------------------------
// Numbers

TEST(Numbers, Powers) {
    EXPECT_EQ(IEIntPower(0, 5.0), 1.0);
    EXPECT_EQ(IEIntPower(10, 2.0), 1024.0);
    EXPECT_EQ(IEIntPower(-2, 2.0), 0.25);
    EXPECT_EQ(IEIntPower(INT32_MIN, 1.0), 1.0);
    EXPECT_EQ(IEPower(7, 0), 1.0);
    EXPECT_EQ(IEPower(0, 3), 0.0);
    EXPECT_EQ(IEPower(2, 3), 8.0);
    EXPECT_NEAR(IEPower(2, 0.5), std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(IEPowerD(0.5, 2.4), std::pow(0.5, 2.4), 1e-15);
}

TEST(Numbers, TextToFloatTriesBothSeparators) {
    EXPECT_EQ(IEStrToFloatDef("1,5", 0), 1.5);
    EXPECT_EQ(IEStrToFloatDef("1.5", 0), 1.5);
    EXPECT_EQ(IEStrToFloatDef("abc", -2), -2);
    EXPECT_EQ(IEStrToFloatDef("", 3), 3);
    EXPECT_EQ(IEFloatToStrDot(1.5), "1.5");
    EXPECT_EQ(IEFloatToStrDot2(-0.25), "-0.25");
}

TEST(CIELab, WhiteBlackAndRoundTrips) {
    TCIELab lab;
    IERGBToCIELab(lab, 0xFFFFFF);
    EXPECT_EQ(lab.l, 255);
    EXPECT_EQ(lab.a, 0);
    EXPECT_EQ(lab.b, 0);
    TRGB c;
    IECIELabToRGB(c, lab);
    EXPECT_EQ(c, CreateRGB(255, 255, 255));
    IERGBToCIELab(lab, 0);
    EXPECT_EQ(lab.l, 0);
    IECIELabToRGB(c, lab);
    EXPECT_EQ(c, CreateRGB(0, 0, 0));
    // Red has a large positive a.
    IERGBToCIELab(lab, 0xFF0000);
    EXPECT_GT(lab.a, 60);
    // L, a and b are truncated to whole steps: saturated colours come back a few steps off.
    for (uint32_t rgb : {0x808080u, 0x336699u, 0x10C020u, 0xF0E010u}) {
        IERGBToCIELab(lab, rgb);
        IECIELabToRGB(c, lab);
        EXPECT_NEAR(c.r, int(rgb >> 16), 12) << std::hex << rgb;
        EXPECT_NEAR(c.g, int((rgb >> 8) & 255), 12) << std::hex << rgb;
        EXPECT_NEAR(c.b, int(rgb & 255), 12) << std::hex << rgb;
    }
}

// ---------------------------------------------------------------------------------------
// System, files and text

TEST(System, ProbesOfThePlatform) {
    EXPECT_EQ(IEGetWindowsVersion(), 8);  // 6.1 of the NT family
    win::SetCpuidHook([](uint32_t leaf, uint32_t) {
        win::CpuidRegs r;
        if (leaf == 1) r.edx = 0;
        return r;
    });
    EXPECT_FALSE(IEHasMMX());
    win::SetCpuidHook([](uint32_t leaf, uint32_t) {
        win::CpuidRegs r;
        if (leaf == 1) r.edx = 1u << 23;
        return r;
    });
    EXPECT_TRUE(IEHasMMX());
    win::SetCpuidHook(nullptr);
    EXPECT_FALSE(IEIsPrimaryButtonDown());
}

TEST(Text, UrlTypesFitAndDuplicates) {
    EXPECT_EQ(IEGetURLTypeA("HTTPS://example.org/a.jpg"), 2);
    EXPECT_EQ(IEGetURLTypeA("http://x"), 1);
    EXPECT_EQ(IEGetURLTypeA("Ftp://x"), 3);
    EXPECT_EQ(IEGetURLTypeA("file://x"), 0);
    EXPECT_EQ(IEGetURLType(u"HTTP://x"), 1);
    int32_t w = -1, h = -1;
    IEFitToBox(0, 10, 100, 100, w, h);
    EXPECT_EQ(w, -1);  // nothing for an empty size
    IEFitToBox(400, 200, 100, 100, w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    IEFitToBox(1000, 1, 10, 10, w, h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 1);  // at least 1
    char* d = IEStrDup("abc");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d, "abc");
    std::free(d);
    EXPECT_EQ(IEStrDup(nullptr), nullptr);
    const uint8_t g1[16] = {1, 2, 3}, g2[16] = {1, 2, 3}, g3[16] = {1, 2, 4};
    EXPECT_TRUE(IEIsEqualGUID(g1, g2));
    EXPECT_FALSE(IEIsEqualGUID(g1, g3));
    EXPECT_EQ(IEExtractFileExt("/a/B.JPEG"), "jpeg");
    EXPECT_EQ(IEExtractFileExt("/a/B.JPEG", true), ".jpeg");
    EXPECT_EQ(IEExtractFileExt("/a.b/noext"), "");
    EXPECT_EQ(IEExtractFileExtW(u"x.TiF"), u"tif");
    EXPECT_EQ(IETrim("  a b \t"), "a b");
    EXPECT_EQ(IEStrToIntDef("12x", 5), 5);
    EXPECT_EQ(IEIntToHex(255, 4), "00FF");
    EXPECT_EQ(IEPos("b", "abc"), 2);
    EXPECT_EQ(IECopy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(IEFloatToStrF(1.25, 2, 15, 3), "1.250");
}

class Files : public test::ImagingTest {};

TEST_F(Files, DirectoriesAndExistence) {
    EXPECT_THROW(IECreateDirectoryPath(""), cl::Exception);
    const std::string deep = folder_ + "/one/two/three/";
    IECreateDirectoryPath(deep);
    EXPECT_TRUE(IEDirectoryExists(folder_ + "/one/two/three"));
    IECreateDirectoryPath(deep);                   // already there
    IECreateDirectoryPath("/");                    // a root is left alone
    EXPECT_FALSE(IEFileExists(folder_ + "/one"));  // a directory is no file
    { std::ofstream(folder_ + "/f.txt") << "x"; }
    EXPECT_TRUE(IEFileExists(folder_ + "/f.txt"));
    EXPECT_TRUE(IEFileExistsW(win::Utf8ToUtf16(folder_ + "/f.txt")));
    EXPECT_FALSE(IEDirectoryExists(folder_ + "/f.txt"));
    IEUseVclFileExists = true;
    EXPECT_TRUE(IEFileExists(folder_ + "/f.txt"));
    EXPECT_FALSE(IEFileExists(folder_ + "/one"));
    IEUseVclFileExists = false;
}

}  // namespace
}  // namespace ie
