// Small helpers: memory blocks by size, base64 text, the checked write, the quicksort,
// grey palettes, YCbCr, and turning images upright from their EXIF orientation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_numbers.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

// ---------------------------------------------------------------------------------------
// Memory

TEST(AutoAlloc, SmallBlocksFromTheManagerLargeOnesZeroedFromTheSystem) {
    void* small = IEAutoAlloc(1048575);
    void* large = IEAutoAlloc(1048576);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(large) % 16, 0u);
    const auto* p = static_cast<const uint8_t*>(large);
    EXPECT_TRUE(std::all_of(p, p + 1048576, [](uint8_t b) { return b == 0; }));
    std::memset(small, 1, 1048575);
    std::memset(large, 2, 1048576);
    IEAutoFree(small);
    IEAutoFree(large);
    EXPECT_EQ(small, nullptr);
    EXPECT_EQ(large, nullptr);
    IEAutoFree(small);  // null: nothing
}

TEST(AutoAlloc, PictureSizedBlocksStartOnHugePages) {
    // From 8 MiB (header included) on, a block's mapping starts on a 2 MiB boundary; below,
    // it is a plain mapping. Either way the bytes are zero and all of them can be written.
    constexpr uint64_t kHuge = uint64_t{2} << 20;
    const struct {
        uint64_t Size;
        bool Aligned;
    } cases[] = {{8 * 1048576 - 17, false}, {8 * 1048576 - 16, true}, {37 * 1048576 + 5, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size);
        void* block = IEAutoAlloc(c.Size);
        ASSERT_NE(block, nullptr);
        const auto start = reinterpret_cast<uintptr_t>(block) - 16;  // where the mapping begins
        if (c.Aligned) {
            EXPECT_EQ(start % kHuge, 0u);
        }
        auto* p = static_cast<uint8_t*>(block);
        EXPECT_TRUE(std::all_of(p, p + c.Size, [](uint8_t b) { return b == 0; }));
        std::memset(p, 7, c.Size);
        EXPECT_EQ(p[c.Size - 1], 7);
        IEAutoFree(block);
        EXPECT_EQ(block, nullptr);
    }
}

TEST(AutoAlloc, RefusedBlocksAreNull) {
    IESetAllocationLimitForTesting(100);
    EXPECT_EQ(IEAutoAlloc(101), nullptr);
    EXPECT_EQ(IEGlobalAllocZeroed(101), nullptr);
    void* p = nullptr;
    IEGetMemOrNil(p, 101);
    EXPECT_EQ(p, nullptr);
    void* ok = IEAutoAlloc(100);
    EXPECT_NE(ok, nullptr);
    IEAutoFree(ok);
    IESetAllocationLimitForTesting(0);
    EXPECT_EQ(IEAutoAlloc(UINT64_MAX), nullptr);
    EXPECT_EQ(IEGlobalAllocZeroed(UINT64_MAX / 2), nullptr);
    void* g = IEGlobalAllocZeroed(64);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(g)[63], 0);
    IEGlobalFreeAndNil(g);
    EXPECT_EQ(g, nullptr);
    IEGetMemOrNil(p, 16);
    ASSERT_NE(p, nullptr);
    std::free(p);
}

// ---------------------------------------------------------------------------------------
// Text

std::string Base64(const std::string& bytes, int32_t lineLength, int64_t startAt = 0) {
    cl::TStringStream in(bytes);
    in.SetPosition(startAt);
    cl::TStringStream out;
    IEWriteBase64Text(&in, &out, lineLength);
    return out.GetDataString();
}

TEST(Base64Text, GroupsPaddingAndLines) {
    EXPECT_EQ(Base64("abc", 76), "YWJj\r\n");
    EXPECT_EQ(Base64("a", 76), "YQ==\r\n");
    EXPECT_EQ(Base64("ab", 76), "YWI=\r\n");
    EXPECT_EQ(Base64("", 76), "");
    EXPECT_EQ(Base64("xxabc", 76, 2), "YWJj\r\n");  // from the stream's position
    const std::string sixty(60, '\xFB');
    const std::string text = Base64(sixty, 76);
    const size_t first = text.find("\r\n");
    EXPECT_EQ(first, 76u);
    EXPECT_EQ(text.substr(first + 2), "+/v7\r\n");
    // A line holds the smallest whole number of groups not below LineLength / 4.
    EXPECT_EQ(Base64("abcabc", 5), "YWJjYWJj\r\n");
    EXPECT_EQ(Base64("abcabc", 4), "YWJj\r\nYWJj\r\n");
    EXPECT_EQ(Base64("abcabc", 0), "YWJj\r\nYWJj\r\n");
    EXPECT_EQ(Base64(std::string("\x00\x10\x83\x10\x51\x87", 6), 76), "ABCDEFGH\r\n");
}

// A stream that takes at most `room` bytes.
class ShortStream : public cl::TStream {
public:
    explicit ShortStream(int64_t room, bool raise = false) : room_(room), raise_(raise) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        if (raise_) throw cl::EWriteError("Stream write error");
        const int64_t n = std::min(count, room_);
        room_ -= n;
        return n;
    }
    int64_t Seek(int64_t, cl::TSeekOrigin) override { return 0; }

private:
    int64_t room_;
    bool raise_;
};

TEST(WriteChecked, SetsTheFlagOnShortWritesAndNeverClearsIt) {
    ShortStream s(6);
    bool error = false;
    const char data[8] = {};
    WriteStreamChecked(&s, error, data, 4);
    EXPECT_FALSE(error);
    WriteStreamChecked(&s, error, data, 4);
    EXPECT_TRUE(error);
    ShortStream roomy(100);
    WriteStreamChecked(&roomy, error, data, 4);
    EXPECT_TRUE(error);
    bool e2 = false;
    ShortStream raising(100, true);
    WriteStreamChecked(&raising, e2, data, 4);
    EXPECT_TRUE(e2);
    bool e3 = false;
    WriteStreamChecked(&roomy, e3, data, 0);
    EXPECT_FALSE(e3);
}

TEST(QuickSort, SortsThroughTheTwoCallbacks) {
    std::mt19937 rng(5);
    for (int n : {0, 1, 2, 3, 10, 100, 1000}) {
        std::vector<int> v(static_cast<size_t>(n));
        for (int& x : v) x = static_cast<int>(rng() % 50);
        std::vector<int> expected = v;
        std::sort(expected.begin(), expected.end());
        int swaps = 0;
        IEQuickSort(
            n,
            [&](int32_t i, int32_t j) {
                std::swap(v[static_cast<size_t>(i)], v[static_cast<size_t>(j)]);
                ++swaps;
            },
            [&](int32_t i, int32_t j) { return v[static_cast<size_t>(i)] - v[static_cast<size_t>(j)]; });
        EXPECT_EQ(v, expected) << n;
    }
}

// ---------------------------------------------------------------------------------------
// Pixels

// Truncation toward zero inside the 32-bit range, its ends beyond it, 0 for not-a-number.
TEST(TruncToInt32, TruncatesAndClamps) {
    const struct {
        double In;
        int32_t Out;
    } cases[] = {
        {0.0, 0},
        {-0.0, 0},
        {1.99, 1},
        {-1.99, -1},
        {300.7, 300},
        {2147483646.99, 2147483646},
        {2147483647.0, INT32_MAX},
        {2147483647.5, INT32_MAX},
        {4294967302.0, INT32_MAX},
        {1e300, INT32_MAX},
        {HUGE_VAL, INT32_MAX},
        {-2147483647.99, -2147483647},
        {-2147483648.0, INT32_MIN},
        {-2147483648.99, INT32_MIN},
        {-4294967302.0, INT32_MIN},
        {-HUGE_VAL, INT32_MIN},
        {NAN, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(IETruncToInt32(c.In), c.Out) << c.In;
}

TEST(Palettes, GreyRampOfClassLibraryBitmaps) {
    cl::TBitmap b;
    b.SetPixelFormat(cl::pf8bit);
    b.SetSize(2, 2);
    EXPECT_FALSE(IEIsGrayPalette(&b));
    IESetGrayPalette(&b);
    EXPECT_TRUE(IEIsGrayPalette(&b));
    EXPECT_EQ(b.GetColorTable()[200].rgbGreen, 200);
    cl::TBitmap rgb;
    rgb.SetPixelFormat(cl::pf24bit);
    IESetGrayPalette(&rgb);  // no table: nothing
    EXPECT_FALSE(IEIsGrayPalette(&rgb));

    std::vector<win::RGBQUAD> table(256);
    table[9] = win::RGBQUAD{1, 2, 3, 0};
    b.SetColorTable(table);
    TIEBitmap d(2, 2, ie8p);
    IECopyVclPalette(&b, &d);
    EXPECT_EQ(d.GetPalette()[9], (TRGB{1, 2, 3}));
}

TEST(YCbCr, Examples) {
    TRGB c;
    IEYCbCrToRGB(c, 255, 128, 128);
    EXPECT_EQ(c, CreateRGB(255, 255, 255));
    IEYCbCrToRGB(c, 0, 128, 255);
    EXPECT_EQ(c.r, 178);
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 0);
    IEYCbCrToRGB(c, 100, 0, 0);
    EXPECT_EQ(c.r, 0);
    EXPECT_EQ(c.b, 0);
    EXPECT_EQ(c.g, 235);
}

// ---------------------------------------------------------------------------------------
// EXIF orientation: a 3 x 2 picture whose pixels are their own coordinates.

// The pixel at (x, y) of the picture after an orientation, for a source of width w and
// height h (the mapping each orientation stands for).
std::pair<int, int> SourceOf(int orientation, int x, int y, int w, int h) {
    switch (orientation) {
        case 2: return {w - 1 - x, y};
        case 3: return {w - 1 - x, h - 1 - y};
        case 4: return {x, h - 1 - y};
        case 5: return {y, x};                  // transpose
        case 6: return {y, h - 1 - x};          // quarter turn clockwise
        case 7: return {w - 1 - y, h - 1 - x};  // transverse
        case 8: return {w - 1 - y, x};          // quarter turn counter-clockwise
        default: return {x, y};
    }
}

class Orientation : public test::ImagingTest, public ::testing::WithParamInterface<std::tuple<int, TIEPixelFormat>> {};

uint32_t Tag(int x, int y) { return static_cast<uint32_t>(10 * y + x + 1); }

void PutTag(TIEBitmap& b, int x, int y, uint32_t t) {
    auto* row = static_cast<uint8_t*>(b.GetScanline(y));
    const int bits = b.GetBitCount();
    if (bits == 1) {
        IESetBit(row, x, (t & 1) != 0);
        return;
    }
    const int n = bits / 8;
    for (int i = 0; i < n; ++i) row[x * n + i] = static_cast<uint8_t>(t >> (8 * (i % 4)));
}

uint32_t GetTag(TIEBitmap& b, int x, int y) {
    auto* row = static_cast<const uint8_t*>(b.GetScanline(y));
    const int bits = b.GetBitCount();
    if (bits == 1) return IEGetBit(row, x) ? 1 : 0;
    return row[x * (bits / 8)];
}

TEST_P(Orientation, PixelsLandWhereTheOrientationSays) {
    const auto [o, f] = GetParam();
    const int w = 3, h = 2;
    for (TIELocation where : {ieMemory, ieFile}) {
        TIEBitmap b;
        ASSERT_TRUE(test::MakeAt(b, where, w, h, f));
        TIEBitmap* alpha = b.GetAlphaChannel();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                PutTag(b, x, y, f == ie1g ? static_cast<uint32_t>((x + 2 * y) % 3 == 0) : Tag(x, y));
                PutTag(*alpha, x, y, Tag(x, y) + 100);
            }
        b.GetScanline(0);
        alpha->GetScanline(0);
        IEApplyEXIFOrientation(&b, o);
        const bool turned = o >= 5 && o <= 8;
        ASSERT_EQ(b.GetWidth(), turned ? h : w);
        ASSERT_EQ(b.GetHeight(), turned ? w : h);
        ASSERT_EQ(b.GetAlphaChannel()->GetWidth(), b.GetWidth());
        EXPECT_EQ(b.GetLocation(), where);
        for (int y = 0; y < b.GetHeight(); ++y)
            for (int x = 0; x < b.GetWidth(); ++x) {
                const auto [sx, sy] = SourceOf(o, x, y, w, h);
                const uint32_t expected = f == ie1g ? static_cast<uint32_t>((sx + 2 * sy) % 3 == 0) : Tag(sx, sy);
                EXPECT_EQ(GetTag(b, x, y), expected) << "orientation " << o << " at " << x << "," << y;
                EXPECT_EQ(GetTag(*b.GetAlphaChannel(), x, y), Tag(sx, sy) + 100) << "alpha, orientation " << o;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(AllOrientations, Orientation,
                         ::testing::Combine(::testing::Range(0, 10),
                                            ::testing::Values(ie1g, ie8g, ie24RGB, ieRGB48, ie32f)));

TEST_F(Orientation, SixTurnsA20By10ImageInto10By20) {
    TIEBitmap b(20, 10, ie24RGB);
    IEApplyEXIFOrientation(&b, 6);
    EXPECT_EQ(b.GetWidth(), 10);
    EXPECT_EQ(b.GetHeight(), 20);
    IEApplyEXIFOrientation(nullptr, 6);
    TIEBitmap empty;
    IEApplyEXIFOrientation(&empty, 8);
    EXPECT_TRUE(empty.IsEmpty());
}

// ---------------------------------------------------------------------------------------
// Scroll bars, plain and flat

class ScrollHelpers : public cl::testing_controls::ControlsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ScrollHelpers, SetRangePagePositionArrowsAndVisibility) {
    const bool flat = GetParam();
    win::WNDCLASSA wc;
    wc.lpfnWndProc = win::DefWindowProcA;
    wc.lpszClassName = "IEScrollHelperWindow";
    ASSERT_NE(win::RegisterClassA(&wc), 0);
    win::HWND h = win::CreateWindowExA(0, wc.lpszClassName, "", win::WS_POPUP | win::WS_VISIBLE, 0, 0, 200, 100,
                                       nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    if (flat) {
        ASSERT_TRUE(win::InitializeFlatSB(h));
    }
    auto info = [&] {
        win::SCROLLINFO si;
        si.fMask = win::SIF_ALL;
        EXPECT_TRUE(win::GetScrollInfo(h, win::SB_VERT, &si));
        return si;
    };
    IESetScrollInfo(h, win::SB_VERT, 0, 999, 100, 950, true, flat);
    win::SCROLLINFO si = info();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 999);
    EXPECT_EQ(si.nPage, 100u);
    EXPECT_EQ(si.nPos, 900);  // the last page
    EXPECT_TRUE(win::GetWindowLongA(h, win::GWL_STYLE) & win::WS_VSCROLL);
    IESetScrollRange(h, win::SB_VERT, 0, 499, true, flat);
    si = info();
    EXPECT_EQ(si.nMax, 499);
    EXPECT_EQ(si.nPage, 100u);  // kept
    EXPECT_EQ(si.nPos, 400);
    IESetScrollPos(h, win::SB_VERT, 10, true, flat);
    si = info();
    EXPECT_EQ(si.nPos, 10);
    EXPECT_EQ(si.nMax, 499);
    IEEnableScrollBar(h, win::SB_VERT, win::ESB_DISABLE_BOTH, flat);
    EXPECT_FALSE(win::EnableScrollBar(h, win::SB_VERT, win::ESB_DISABLE_BOTH));  // already disabled
    win::RECT r;
    win::GetClientRect(h, &r);
    EXPECT_EQ(r.bottom, 100);
    IEShowScrollBar(h, win::SB_HORZ, true, flat);
    win::GetClientRect(h, &r);
    EXPECT_EQ(r.bottom, 83);
    EXPECT_EQ(r.right, 183);
    IEShowScrollBar(h, win::SB_VERT, false, flat);
    win::GetClientRect(h, &r);
    EXPECT_EQ(r.right, 200);
    win::DestroyWindow(h);
}

INSTANTIATE_TEST_SUITE_P(PlainAndFlat, ScrollHelpers, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Flat" : "Plain"; });

}  // namespace
}  // namespace ie
