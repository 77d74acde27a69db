// The DIB-section bitmap and the scratch row buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/hyieutils.h"
#include "imaging_fixture.h"
#include "platform/gdi.h"

namespace ie {
namespace {

TEST(Dibbitmap, FormatsRowsAndDrawing) {
    TIEDibbitmap d;
    EXPECT_FALSE(d.Allocate(10, 10, ie8g));
    EXPECT_EQ(d.Bits, nullptr);
    EXPECT_EQ(d.DC, nullptr);
    EXPECT_FALSE(d.AllocateBits(0, 5, 24));
    EXPECT_FALSE(d.AllocateBits(5, 5, 8));
    ASSERT_TRUE(d.Allocate(33, 4, ie1g));
    EXPECT_EQ(d.GetPixelFormat(), ie1g);
    EXPECT_EQ(d.GetRowLen(), 8);
    EXPECT_EQ(d.GetScanline(0), static_cast<uint8_t*>(d.Bits) + 8 * 3);  // row 0 is the last in memory
    EXPECT_EQ(d.GetScanline(4), nullptr);
    ASSERT_TRUE(d.Allocate(3, 2, ie24RGB));
    EXPECT_EQ(d.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(d.GetRowLen(), 12);
    EXPECT_EQ(d.GetPalette(), nullptr);
    EXPECT_EQ(d.GetPaletteLength(), 0);
    TRGB c = CreateRGB(1, 2, 3);
    d.GetPaletteEntry(0, c);
    EXPECT_EQ(c, CreateRGB(0, 0, 0));
    // Platform drawing reaches the pixels through the device context.
    ASSERT_NE(d.DC, nullptr);
    win::SetPixel(d.DC, 1, 0, win::RGB(10, 20, 30));
    auto* row = static_cast<uint8_t*>(d.GetScanline(0));
    EXPECT_EQ(row[3], 30);
    EXPECT_EQ(row[4], 20);
    EXPECT_EQ(row[5], 10);

    TIEDibbitmap copy;
    copy.Assign(&d);
    EXPECT_EQ(copy.Width, 3);
    EXPECT_EQ(static_cast<uint8_t*>(copy.GetScanline(0))[5], 10);
    TIEBitmap other(2, 2, ie8g);
    copy.Assign(&other);  // another class: ignored
    EXPECT_EQ(copy.Width, 3);
    copy.FreeBits();
    EXPECT_EQ(copy.Width, 0);
    EXPECT_EQ(copy.GetScanline(0), nullptr);
}

class WorkBitmap : public test::ImagingTest {};

TEST_F(WorkBitmap, RowsBottomUpAndFailuresReported) {
    TIEWorkBitmap w(5, 3, 24);
    ASSERT_NE(w.Bits, nullptr);
    EXPECT_EQ(w.RowLen, 16);
    EXPECT_EQ(w.GetScanline(0), static_cast<uint8_t*>(w.Bits) + 32);
    EXPECT_EQ(w.GetScanline(3), nullptr);
    void* before = w.Bits;
    EXPECT_TRUE(w.Allocate(5, 3, 24));  // the same: kept
    EXPECT_EQ(w.Bits, before);
    IESetAllocationLimitForTesting(100);
    EXPECT_FALSE(w.Allocate(100, 100, 24));
    EXPECT_EQ(w.Bits, nullptr);
    EXPECT_EQ(w.GetScanline(0), nullptr);
    EXPECT_EQ(w.Width, 0);
    TIEWorkBitmap refused(100, 100, 8);
    EXPECT_EQ(refused.Bits, nullptr);
    IESetAllocationLimitForTesting(0);
    TIEWorkBitmap empty(0, 5, 8);
    EXPECT_EQ(empty.Bits, nullptr);
}

}  // namespace
}  // namespace ie
