// The image buffer: storage places, rows, palette, alpha channel and assignment.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/hyieutils.h"

namespace ie {
namespace {

TEST(TIEBitmapMemory, CreateWithSizeStoresRowsBottomUpIn64AlignedBlock) {
    auto b = TIEBitmap::CreateWithSize(100, 10, ie24RGB);
    ASSERT_EQ(b->GetWidth(), 100);
    EXPECT_EQ(b->GetRowLen(), 300);
    EXPECT_EQ(b->GetLocation(), ieMemory);
    auto* top = static_cast<uint8_t*>(b->GetScanline(0));
    auto* bottom = static_cast<uint8_t*>(b->GetScanline(9));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bottom) % 64, 0u);
    EXPECT_EQ(top - bottom, 300 * 9);
    b->FreeImage(true);
    EXPECT_TRUE(b->IsEmpty());
    EXPECT_EQ(b->GetScanline(0), nullptr);
}

}  // namespace
}  // namespace ie
