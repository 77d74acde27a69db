// Shared helpers of the imaging tests: a private temporary folder per test, a guard for
// the library-wide storage settings, and pixel patterns.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/vovozidio_colors.h"
#include "platform/kernel.h"

namespace ie::test {

// Sets the CMYK-through-ICC switch for a test and puts it back. The input/output start-up
// turns the switch on until the unit's shutdown, and many tests start the unit and leave it
// started; a test of the CMYK formulas pins it off.
class CMYKSwitch {
public:
    explicit CMYKSwitch(bool On) : saved_(IECMYKProfileEnabled) { IECMYKProfileEnabled = On; }
    ~CMYKSwitch() { IECMYKProfileEnabled = saved_; }
    CMYKSwitch(const CMYKSwitch&) = delete;
    CMYKSwitch& operator=(const CMYKSwitch&) = delete;

private:
    bool saved_;
};

// Points the library's temporary folder at a fresh folder of the test (mode 0700) and puts
// the storage settings back afterwards.
class ImagingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-ietest-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        savedTemp_ = IETempFolder;
        IETempFolder = folder_;
        savedMin_ = IEDefaultMinFileSize;
        savedFallback_ = IEMemoryToFileFallback;
        savedSegmented_ = IESegmentedMemory;
    }
    void TearDown() override {
        IESetAllocationLimitForTesting(0);
        win::SetMemoryStatusForTesting(0, 0);
        IETempFolder = savedTemp_;
        IEDefaultMinFileSize = savedMin_;
        IEMemoryToFileFallback = savedFallback_;
        IESegmentedMemory = savedSegmented_;
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    // The temporary files of the library under the test's folder.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(folder_, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file()) out.push_back(it->path().string());
        return out;
    }
    std::string folder_;

private:
    std::string savedTemp_;
    int64_t savedMin_ = -1;
    bool savedFallback_ = true, savedSegmented_ = true;
};

// A byte pattern that differs from row to row and byte to byte.
inline uint8_t PatternByte(int32_t row, int32_t i, uint8_t seed = 0) {
    return static_cast<uint8_t>(row * 31 + i * 7 + seed * 13 + 1);
}

// Writes the pattern into the meaningful bytes of every row (and zeroes the padding).
inline void FillPattern(TIEBitmap& b, uint8_t seed = 0) {
    const int32_t h = b.GetHeight();
    const int32_t len = b.GetRowLen();
    const int64_t used = (static_cast<int64_t>(b.GetWidth()) * b.GetBitCount() + 7) / 8;
    for (int32_t r = 0; r < h; ++r) {
        auto* p = static_cast<uint8_t*>(b.GetScanline(r));
        ASSERT_NE(p, nullptr) << "row " << r;
        for (int32_t i = 0; i < len; ++i) p[i] = i < used ? PatternByte(r, i, seed) : 0;
    }
    b.GetScanline(0);
}

// Compares the meaningful bytes of every row with the pattern.
inline ::testing::AssertionResult HasPattern(TIEBitmap& b, uint8_t seed = 0) {
    const int32_t h = b.GetHeight();
    const int64_t used = (static_cast<int64_t>(b.GetWidth()) * b.GetBitCount() + 7) / 8;
    for (int32_t r = 0; r < h; ++r) {
        auto* p = static_cast<const uint8_t*>(b.GetScanline(r));
        if (!p) return ::testing::AssertionFailure() << "row " << r << " missing";
        for (int64_t i = 0; i < used; ++i)
            if (p[i] != PatternByte(r, static_cast<int32_t>(i), seed))
                return ::testing::AssertionFailure() << "row " << r << " byte " << i << " is " << int(p[i]);
    }
    return ::testing::AssertionSuccess();
}

// Sends a bitmap to a place: the threshold makes the storage rules keep it there.
inline void PlaceAt(TIEBitmap& b, TIELocation where) {
    b.MinFileSize = where == ieFile ? 0 : int64_t{1} << 40;
    b.SetLocation(where);
}

// A bitmap of that shape in that place.
inline ::testing::AssertionResult MakeAt(TIEBitmap& b, TIELocation where, int32_t w, int32_t h, TIEPixelFormat f) {
    PlaceAt(b, where);
    if (!b.Allocate(w, h, f)) return ::testing::AssertionFailure() << "no storage";
    if (b.GetLocation() != where) return ::testing::AssertionFailure() << "placed at " << int(b.GetLocation());
    return ::testing::AssertionSuccess();
}

// The formats a class-library TBitmap can hold.
inline bool TBitmapHolds(TIEPixelFormat f) {
    return f == ie1g || f == ie8p || f == ie8g || f == ie24RGB || f == ie32RGB;
}

// One value of a bitmap's alpha channel (created opaque when missing).
inline uint8_t AlphaAt(TIEBitmap& b, int32_t x, int32_t y) {
    TIEBitmap* a = b.GetAlphaChannel();
    return a ? static_cast<const uint8_t*>(a->GetScanline(y))[x] : 0;
}
inline void SetAlphaAt(TIEBitmap& b, int32_t x, int32_t y, uint8_t v) {
    TIEBitmap* a = b.GetAlphaChannel();
    static_cast<uint8_t*>(a->GetScanline(y))[x] = v;
    a->GetScanline(0);
    if (v != 255) a->Full = false;
}

}  // namespace ie::test
