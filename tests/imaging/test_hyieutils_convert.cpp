// Conversion between pixel formats: every pair of formats against values worked out here
// from the conversion rules (grey weights, luminance formulas, dither matrix, threshold at
// the average grey, palettes), in memory and in temporary files; then the rules' own
// examples and the faults mended (float samples limited to 0..1, the palette of a 1-bit
// image).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/neurquant.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;
using test::MakeAt;

constexpr TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};
constexpr int kSide = 8;  // an 8 x 8 image covers the whole dither matrix

const char* Name(TIEPixelFormat f) {
    static const char* names[] = {"ieNone", "ie1g",   "ie8p",    "ie8g",     "ie16g",  "ie24RGB",
                                  "ie32f",  "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"};
    return names[f];
}

// The matrix as the rules print it.
// clang-format off
constexpr int kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};
// clang-format on

struct RGB {
    int r = 0, g = 0, b = 0;
    bool operator==(const RGB&) const = default;
};

int G8(RGB c) { return (c.r * 21 + c.g * 71 + c.b * 8) / 100; }

// ---------------------------------------------------------------------------------------
// Raw pixels

using Bytes = std::vector<uint8_t>;

int PixelBytes(TIEPixelFormat f) { return f == ie1g ? 0 : IEPixelFormat2BitCount[f] / 8; }

Bytes ReadPixel(TIEBitmap& b, int x, int y) {
    const auto* row = static_cast<const uint8_t*>(b.GetScanline(y));
    const TIEPixelFormat f = b.GetPixelFormat();
    if (f == ie1g) return Bytes{static_cast<uint8_t>((row[x / 8] >> (7 - x % 8)) & 1)};
    const int n = PixelBytes(f);
    return Bytes(row + x * n, row + x * n + n);
}

void WritePixel(TIEBitmap& b, int x, int y, const Bytes& v) {
    auto* row = static_cast<uint8_t*>(b.GetScanline(y));
    const TIEPixelFormat f = b.GetPixelFormat();
    if (f == ie1g) {
        if (v[0])
            row[x / 8] |= static_cast<uint8_t>(128 >> (x % 8));
        else
            row[x / 8] &= static_cast<uint8_t>(~(128 >> (x % 8)));
        return;
    }
    std::memcpy(row + x * PixelBytes(f), v.data(), v.size());
}

Bytes U16(int v) { return Bytes{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
Bytes F32(float v) {
    Bytes b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}
int ReadU16(const Bytes& b, int at) { return b[at] | (b[at + 1] << 8); }
float ReadF32(const Bytes& b) {
    float v;
    std::memcpy(&v, b.data(), 4);
    return v;
}

// ---------------------------------------------------------------------------------------
// Sources: 64 pixels of each format, edge values first, then random ones. Floats include
// values outside 0..1 and a value that is not a number.

struct Source {
    TIEPixelFormat format;
    std::vector<Bytes> pixels;  // row by row
    std::vector<RGB> palette;   // ie8p
};

Source MakeSource(TIEPixelFormat f, unsigned seed) {
    std::mt19937 rnd(seed);
    auto byte = [&] { return static_cast<uint8_t>(rnd() & 255); };
    Source s{f, {}, {}};
    if (f == ie8p)
        for (int i = 0; i < 256; ++i) s.palette.push_back(RGB{byte(), byte(), byte()});
    for (int i = 0; i < kSide * kSide; ++i) {
        Bytes p;
        switch (f) {
            case ie1g: p = Bytes{static_cast<uint8_t>(i < 2 ? i : rnd() & 1)}; break;
            case ie8p:
            case ie8g: p = Bytes{i == 0 ? uint8_t{0} : i == 1 ? uint8_t{255} : byte()}; break;
            case ie16g: p = U16(i == 0 ? 0 : i == 1 ? 65535 : static_cast<int>(rnd() & 0xFFFF)); break;
            case ie32f: {
                const float special[] = {0.0f, 1.0f, -0.5f, 1.5f, std::numeric_limits<float>::quiet_NaN(), 0.5f};
                p = F32(i < 6 ? special[i] : static_cast<float>((rnd() % 10001) / 10000.0));
                break;
            }
            case ieRGB48: {
                p.clear();
                for (int c = 0; c < 3; ++c) {
                    const Bytes w = U16(i == 0 ? 0 : i == 1 ? 65535 : static_cast<int>(rnd() & 0xFFFF));
                    p.insert(p.end(), w.begin(), w.end());
                }
                break;
            }
            default: {
                p.resize(static_cast<size_t>(PixelBytes(f)));
                for (auto& c : p) c = i == 0 ? 0 : i == 1 ? 255 : byte();
                break;
            }
        }
        s.pixels.push_back(p);
    }
    return s;
}

void Fill(TIEBitmap& b, const Source& s) {
    if (s.format == ie8p)
        for (int i = 0; i < 256; ++i)
            b.SetPaletteEntry(i, CreateRGB(static_cast<uint8_t>(s.palette[i].r), static_cast<uint8_t>(s.palette[i].g),
                                           static_cast<uint8_t>(s.palette[i].b)));
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) WritePixel(b, x, y, s.pixels[static_cast<size_t>(y * kSide + x)]);
    b.GetScanline(0);
}

// ---------------------------------------------------------------------------------------
// The rules

double Unit(const Bytes& p) {
    const float v = ReadF32(p);
    return std::isfinite(v) ? std::min(std::max<double>(v, 0.0), 1.0) : 0.0;
}

// A pixel as 24-bit colour, by the rules "to ie24RGB".
RGB ToRGB(const Source& s, const Bytes& p) {
    switch (s.format) {
        case ie1g: return p[0] ? RGB{255, 255, 255} : RGB{};
        case ie8p: return s.palette[p[0]];
        case ie8g: return RGB{p[0], p[0], p[0]};
        case ie16g: return RGB{p[1], p[1], p[1]};
        case ie24RGB: return RGB{p[2], p[1], p[0]};
        case ie32f: {
            const int g = static_cast<int>(std::trunc(Unit(p) * 255));
            return RGB{g, g, g};
        }
        case ieCMYK: return RGB{p[0] * p[3] / 255, p[1] * p[3] / 255, p[2] * p[3] / 255};
        case ieRGB48: return RGB{p[1], p[3], p[5]};
        case ieCIELab: {
            TCIELab lab;
            std::memcpy(&lab, p.data(), 3);
            TRGB c;
            IECIELabToRGB(c, lab);
            return RGB{c.r, c.g, c.b};
        }
        case ie32RGB: return RGB{p[2], p[1], p[0]};
        default: return RGB{};
    }
}

// Whether the pair goes through 24-bit colour (the source is converted first).
bool Via24(TIEPixelFormat sf, TIEPixelFormat df, int mono) {
    if (sf == df || sf == ie24RGB) return false;
    const bool colourOnly = sf == ieCMYK || sf == ieCIELab || sf == ie32RGB;
    if (df == ieCMYK || df == ieCIELab) return true;
    if (colourOnly) return !(df == ie24RGB || df == ie32RGB);
    if (sf == ieRGB48) return df == ie8p || (df == ie1g && mono == 1);
    return false;
}

Bytes FromRGB(RGB c, TIEPixelFormat df) {
    switch (df) {
        case ie8g: return Bytes{static_cast<uint8_t>(G8(c))};
        case ie16g: return U16((c.r * 54484 + c.g * 183241 + c.b * 19275) / 1000);
        case ie32f: return F32(static_cast<float>((c.r * 0.2126 + c.g * 0.7152 + c.b * 0.0722) / 255));
        case ie24RGB: return Bytes{static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.r)};
        case ie32RGB:
            return Bytes{static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.r), 255};
        case ieRGB48: {
            Bytes out;
            for (int v : {c.r, c.g, c.b}) {
                const Bytes w = U16(v * 257);
                out.insert(out.end(), w.begin(), w.end());
            }
            return out;
        }
        case ieCMYK: {
            int k = std::max({c.r, c.g, c.b});
            if (k == 0) k = 1;
            return Bytes{static_cast<uint8_t>(c.r * 255 / k), static_cast<uint8_t>(c.g * 255 / k),
                         static_cast<uint8_t>(c.b * 255 / k), static_cast<uint8_t>(k)};
        }
        case ieCIELab: {
            TCIELab lab;
            IERGBToCIELab(lab, static_cast<uint32_t>((c.r << 16) | (c.g << 8) | c.b));
            return Bytes{lab.l, static_cast<uint8_t>(lab.a), static_cast<uint8_t>(lab.b)};
        }
        default: return {};
    }
}

// The dither level (0..63) of a pixel by its own format's rule.
int DitherLevel(const Source& s, const Bytes& p) {
    switch (s.format) {
        case ie8g: return p[0] >> 2;
        case ie16g: return ReadU16(p, 0) >> 10;
        case ie32f: return static_cast<int>(std::trunc(Unit(p) * 255)) >> 2;
        case ieRGB48: return ((p[1] * 21 + p[3] * 71 + p[5] * 8) / 100) >> 2;
        default: return G8(ToRGB(s, p)) >> 2;
    }
}

// What a target pixel must hold, for a source that does not go through 24-bit colour.
Bytes Direct(const Source& s, const Bytes& p, TIEPixelFormat df) {
    const TIEPixelFormat sf = s.format;
    if (sf == df) return p;
    switch (sf) {
        case ie1g:
            if (df == ie8p) return Bytes{p[0]};
            if (df == ie16g) return U16(p[0] ? 65535 : 0);
            if (df == ie32f) return F32(p[0] ? 1.0f : 0.0f);
            return FromRGB(ToRGB(s, p), df);
        case ie8p: return FromRGB(ToRGB(s, p), df);
        case ie8g:
            if (df == ie8p) return p;
            if (df == ie16g) return U16(p[0] * 257);
            if (df == ie32f) return F32(static_cast<float>(p[0] / 255.0));
            return FromRGB(ToRGB(s, p), df);
        case ie16g: {
            const int v = ReadU16(p, 0);
            if (df == ie8p || df == ie8g) return Bytes{static_cast<uint8_t>(v >> 8)};
            if (df == ie32f) return F32(static_cast<float>(v / 65535.0));
            if (df == ieRGB48) return Bytes{p[0], p[1], p[0], p[1], p[0], p[1]};
            return FromRGB(ToRGB(s, p), df);
        }
        case ie24RGB: return FromRGB(ToRGB(s, p), df);
        case ie32f: {
            const int g8 = static_cast<int>(std::trunc(Unit(p) * 255));
            const int g16 = static_cast<int>(std::trunc(Unit(p) * 65535));
            if (df == ie8p || df == ie8g) return Bytes{static_cast<uint8_t>(g8)};
            if (df == ie16g) return U16(g16);
            if (df == ieRGB48) {
                const Bytes w = U16(g16);
                return Bytes{w[0], w[1], w[0], w[1], w[0], w[1]};
            }
            return FromRGB(ToRGB(s, p), df);
        }
        case ieRGB48: {
            const int r = ReadU16(p, 0), g = ReadU16(p, 2), b = ReadU16(p, 4);
            if (df == ie8g) return Bytes{static_cast<uint8_t>(((r / 256) * 21 + (g / 256) * 71 + (b / 256) * 8) / 100)};
            if (df == ie16g)
                return U16(static_cast<int>((int64_t{r} * 212 + int64_t{g} * 713 + int64_t{b} * 75) / 1000));
            if (df == ie32f)
                return F32(static_cast<float>((r * 0.2126 / 256 + g * 0.7152 / 256 + b * 0.0722 / 256) / 255));
            return FromRGB(ToRGB(s, p), df);
        }
        default: return FromRGB(ToRGB(s, p), df);
    }
}

// The 24-bit source a pair that goes through 24-bit colour starts from.
Source As24(const Source& s) {
    Source out{ie24RGB, {}, {}};
    for (const Bytes& p : s.pixels) out.pixels.push_back(FromRGB(ToRGB(s, p), ie24RGB));
    return out;
}

struct Expected {
    std::vector<Bytes> pixels;
    std::vector<RGB> palette;  // ie8p targets: the entries that matter
};

Expected Work(const Source& src, TIEPixelFormat df, int mono) {
    const Source s = Via24(src.format, df, mono) ? As24(src) : src;
    Expected e;
    if (df == ie1g && s.format != ie1g) {
        int threshold = 0;
        if (mono != 0) {
            int64_t r = 0, g = 0, b = 0;
            for (int y = 0; y < kSide; ++y) {
                int64_t rr = 0, gg = 0, bb = 0;
                for (int x = 0; x < kSide; ++x) {
                    const RGB c = ToRGB(s, s.pixels[static_cast<size_t>(y * kSide + x)]);
                    rr += c.r;
                    gg += c.g;
                    bb += c.b;
                }
                r += rr / kSide;
                g += gg / kSide;
                b += bb / kSide;
            }
            threshold = G8(RGB{static_cast<int>(r / kSide), static_cast<int>(g / kSide), static_cast<int>(b / kSide)});
        }
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const Bytes& p = s.pixels[static_cast<size_t>(y * kSide + x)];
                const bool white = mono == 0 ? kBayer[x][y] < DitherLevel(s, p) : G8(ToRGB(s, p)) >= threshold;
                e.pixels.push_back(Bytes{static_cast<uint8_t>(white)});
            }
        return e;
    }
    if (df == ie8p && s.format == ie24RGB) {
        // The image's exact colours in order of first appearance (64 pixels < 256 colours),
        // or the grey ramp for a grey image.
        bool grey = true;
        for (const Bytes& p : s.pixels) grey = grey && p[0] == p[1] && p[1] == p[2];
        for (const Bytes& p : s.pixels) {
            const RGB c = ToRGB(s, p);
            if (grey) {
                e.pixels.push_back(Bytes{static_cast<uint8_t>(c.r)});
                continue;
            }
            size_t i = 0;
            while (i < e.palette.size() && !(e.palette[i] == c)) ++i;
            if (i == e.palette.size()) e.palette.push_back(c);
            e.pixels.push_back(Bytes{static_cast<uint8_t>(i)});
        }
        if (grey)
            for (int i = 0; i < 256; ++i) e.palette.push_back(RGB{i, i, i});
        return e;
    }
    if (df == ie8p) {
        if (s.format == ie8p) {
            e.palette = s.palette;
        } else if (s.format == ie1g) {
            e.palette.assign(256, RGB{});
            e.palette[1] = RGB{255, 255, 255};
        } else {
            for (int i = 0; i < 256; ++i) e.palette.push_back(RGB{i, i, i});
        }
    }
    for (const Bytes& p : s.pixels) e.pixels.push_back(Direct(s, p, df));
    return e;
}

// ---------------------------------------------------------------------------------------
// Every pair, in memory and in temporary files, with both ways to one bit.

struct Pair {
    TIEPixelFormat from, to;
    int mono;
    TIELocation where;
};

std::string PairName(const ::testing::TestParamInfo<Pair>& info) {
    return std::string(Name(info.param.from)) + "_to_" + Name(info.param.to) + "_mono" +
           std::to_string(info.param.mono) + (info.param.where == ieFile ? "_file" : "_memory");
}

std::vector<Pair> AllPairs() {
    std::vector<Pair> out;
    for (TIELocation where : {ieMemory, ieFile})
        for (TIEPixelFormat from : kFormats)
            for (TIEPixelFormat to : kFormats)
                for (int mono : {0, 1})
                    if (mono == 0 || to == ie1g) out.push_back(Pair{from, to, mono, where});
    return out;
}

class ConvertPair : public ImagingTest, public ::testing::WithParamInterface<Pair> {};

TEST_P(ConvertPair, PixelsFollowTheRules) {
    const test::CMYKSwitch formulas(false);  // the expected values follow the CMYK formulas
    const Pair& c = GetParam();
    const Source src = MakeSource(c.from, 7u + c.from);
    TIEBitmap source, target;
    ASSERT_TRUE(MakeAt(source, c.where, kSide, kSide, c.from));
    ASSERT_TRUE(MakeAt(target, c.where, kSide, kSide, c.to));
    Fill(source, src);
    target.MonoConversion = static_cast<uint8_t>(c.mono);
    target.CopyAndConvertFormat(&source);
    const Expected e = Work(src, c.to, c.mono);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const Bytes got = ReadPixel(target, x, y);
            const Bytes& want = e.pixels[static_cast<size_t>(y * kSide + x)];
            if (c.to == ie32f && c.from == ie32f) {
                // Copied as they are, not-a-number included.
                ASSERT_EQ(std::memcmp(got.data(), want.data(), 4), 0) << x << "," << y;
            } else {
                ASSERT_EQ(got, want) << "pixel " << x << "," << y;
            }
        }
    if (c.to == ie8p) {
        ASSERT_EQ(target.GetPaletteLength(), 256);
        for (size_t i = 0; i < e.palette.size(); ++i) {
            const TRGB p = target.GetPalette()[i];
            ASSERT_EQ((RGB{p.r, p.g, p.b}), e.palette[i]) << "entry " << i;
        }
    }
    // Pairs through 24-bit colour leave the source in 24-bit colour.
    EXPECT_EQ(source.GetPixelFormat(), Via24(c.from, c.to, c.mono) ? ie24RGB : c.from);
}

INSTANTIATE_TEST_SUITE_P(AllPairs, ConvertPair, ::testing::ValuesIn(AllPairs()), PairName);

// ---------------------------------------------------------------------------------------
// The rules' own examples and the faults mended

class Convert : public ImagingTest {};

TEST_F(Convert, GreyLevelsOfPrimaryColours) {
    const std::pair<TRGB, uint8_t> cases[] = {{CreateRGB(255, 0, 0), 53},
                                              {CreateRGB(0, 255, 0), 181},
                                              {CreateRGB(0, 0, 255), 20},
                                              {CreateRGB(255, 255, 255), 255}};
    for (const auto& [colour, grey] : cases) {
        TIEBitmap b(1, 1, ie24RGB);
        b.SetPixel24(0, 0, colour);
        ASSERT_TRUE(b.SetPixelFormat(ie8g));
        EXPECT_EQ(b.GetPixel8(0, 0), grey);
    }
}

TEST_F(Convert, GreyWeightsAreReadAtEveryConversion) {
    const int32_t r = IEGrayWeightRed, g = IEGrayWeightGreen, bl = IEGrayWeightBlue;
    IEGrayWeightRed = 100;
    IEGrayWeightGreen = 0;
    IEGrayWeightBlue = 0;
    TIEBitmap b(1, 1, ie24RGB);
    b.SetPixel24(0, 0, CreateRGB(77, 200, 10));
    ASSERT_TRUE(b.SetPixelFormat(ie8g));
    EXPECT_EQ(b.GetPixel8(0, 0), 77);
    IEGrayWeightRed = r;
    IEGrayWeightGreen = g;
    IEGrayWeightBlue = bl;
}

TEST_F(Convert, WiderGreyAndWhite) {
    TIEBitmap w(1, 1, ie24RGB);
    w.SetPixel24(0, 0, CreateRGB(255, 255, 255));
    ASSERT_TRUE(w.SetPixelFormat(ie16g));
    EXPECT_EQ(w.GetPixel16(0, 0), 65535);
    TIEBitmap g(1, 1, ie8g);
    g.SetPixel8(0, 0, 128);
    ASSERT_TRUE(g.SetPixelFormat(ie16g));
    EXPECT_EQ(g.GetPixel16(0, 0), 32896);
}

TEST_F(Convert, DitherOfGrey200WhitensFiftyOfSixtyFour) {
    TIEBitmap b(16, 16, ie8g);
    b.Fill(200);
    b.MonoConversion = 0;
    ASSERT_TRUE(b.SetPixelFormat(ie1g));
    for (int by = 0; by < 16; by += 8)
        for (int bx = 0; bx < 16; bx += 8) {
            int white = 0;
            for (int y = by; y < by + 8; ++y)
                for (int x = bx; x < bx + 8; ++x) white += IEGetBit(b.GetScanline(y), x);
            EXPECT_EQ(white, 50);
        }
}

TEST_F(Convert, Gray16ToColourUsesTheTargetsDisplayRange) {
    for (const auto& [lo, hi, grey] : {std::tuple{0.0, 0.0, 0x12}, std::tuple{0.0, 4660.0, 255},
                                       std::tuple{4000.0, 5000.0, 168}, std::tuple{5000.0, 6000.0, 0}}) {
        TIEBitmap b(1, 1, ie16g);
        b.SetPixel16(0, 0, 0x1234);
        b.DisplayMin = lo;
        b.DisplayMax = hi;
        ASSERT_TRUE(b.SetPixelFormat(ie24RGB));
        EXPECT_EQ(b.GetPixel24(0, 0), CreateRGB(uint8_t(grey), uint8_t(grey), uint8_t(grey))) << lo << ".." << hi;
    }
}

TEST_F(Convert, FloatSamplesAreLimitedBeforeScaling) {
    const std::pair<float, int> cases[] = {{1.5f, 255}, {-0.25f, 0}, {2.0f, 255}, {0.5f, 127}};
    for (const auto& [v, grey] : cases)
        for (TIEPixelFormat to : {ie8g, ie24RGB, ie16g}) {
            TIEBitmap b(1, 1, ie32f);
            b.SetPixel32f(0, 0, v);
            ASSERT_TRUE(b.SetPixelFormat(to));
            const TRGB c = b.GetPixelRGB(0, 0);
            EXPECT_EQ(c.r, grey) << v << " to " << Name(to);
        }
}

TEST_F(Convert, OneBitToPaletteClearsTheUnusedEntries) {
    TIEBitmap target(2, 1, ie8p);
    for (int i = 0; i < 256; ++i) target.SetPaletteEntry(i, CreateRGB(9, 9, 9));
    TIEBitmap source(2, 1, ie1g);
    static_cast<uint8_t*>(source.GetScanline(0))[0] = 0x40;
    target.CopyAndConvertFormat(&source);
    EXPECT_EQ(target.GetPixel8(0, 0), 0);
    EXPECT_EQ(target.GetPixel8(1, 0), 1);
    EXPECT_EQ(target.GetPalette()[0], CreateRGB(0, 0, 0));
    EXPECT_EQ(target.GetPalette()[1], CreateRGB(255, 255, 255));
    for (int i = 2; i < 256; ++i) ASSERT_EQ(target.GetPalette()[i], TRGB{}) << i;
}

TEST_F(Convert, PaletteTargetGetsAWholePaletteOfWhichTheQuantizerFillsWhatItNeeds) {
    // 20 colours asked as 16: the box splitting fills 16 entries, the rest stays black.
    TIEBitmap b(20, 1, ie24RGB);
    for (int x = 0; x < 20; ++x) b.SetPixel24(x, 0, CreateRGB(uint8_t(x * 12), uint8_t(255 - x * 12), uint8_t(x * 5)));
    b.PaletteUsed = 16;
    ASSERT_TRUE(b.SetPixelFormat(ie8p));
    EXPECT_EQ(b.GetPaletteLength(), 256);
    int used = 0;
    for (int x = 0; x < 20; ++x) used = std::max(used, int(b.GetPixel8(x, 0)) + 1);
    EXPECT_LE(used, 16);
    for (int i = 16; i < 256; ++i) ASSERT_EQ(b.GetPalette()[i], TRGB{});
}

TEST_F(Convert, AlphaChannelGoesWithThePixels) {
    TIEBitmap source(3, 2, ie24RGB);
    source.GetAlphaChannel()->SetPixel8(1, 1, 77);
    TIEBitmap target(3, 2, ie8g);
    target.CopyAndConvertFormat(&source);
    ASSERT_TRUE(target.HasAlphaChannel());
    EXPECT_EQ(target.GetAlpha(1, 1), 77);
    EXPECT_EQ(target.GetAlpha(0, 0), 255);
    // In place too.
    ASSERT_TRUE(source.SetPixelFormat(ieRGB48));
    EXPECT_EQ(source.GetAlpha(1, 1), 77);
}

TEST_F(Convert, MismatchedSizesAndTBitmapTargetsAreLeftAlone) {
    TIEBitmap source(4, 4, ie8g);
    source.Fill(200);
    TIEBitmap other(4, 3, ie24RGB);
    other.Fill(0);
    other.CopyAndConvertFormat(&source);
    EXPECT_EQ(other.GetPixel24(0, 0), CreateRGB(0, 0, 0));
    TIEBitmap vcl;
    vcl.SetLocation(ieTBitmap);
    ASSERT_TRUE(vcl.Allocate(4, 4, ie24RGB));
    vcl.Fill(0);
    vcl.CopyAndConvertFormat(&source);
    EXPECT_EQ(vcl.GetPixel24(0, 0), CreateRGB(0, 0, 0));
}

}  // namespace
}  // namespace ie
