#include <gtest/gtest.h>

#include <vector>

#include "classlib/SysUtils.h"
#include "pix32/Pix32.h"
#include "pix32/Pix32_OrdinalMaps.h"

using namespace pix32;

namespace {

TEST(NotifiablePersistent, UpdateCountingFiresOnlyAtZero) {
    TNotifiablePersistent obj;
    int fired = 0;
    obj.OnChange = [&](cl::TObject* sender) {
        EXPECT_EQ(sender, &obj);
        ++fired;
    };
    obj.Changed();
    EXPECT_EQ(fired, 1);
    obj.BeginUpdate();
    obj.BeginUpdate();
    obj.Changed();
    obj.EndUpdate();
    obj.Changed();
    EXPECT_EQ(fired, 1);
    obj.EndUpdate();  // fires nothing by itself
    EXPECT_EQ(fired, 1);
    obj.Changed();
    EXPECT_EQ(fired, 2);
}

TEST(NotifiablePersistent, UnpairedEndUpdateFailsAndKeepsTheCount) {
    TNotifiablePersistent obj;
    try {
        obj.EndUpdate();
        FAIL() << "no assertion";
    } catch (const cl::EAssertionFailed& e) {
        EXPECT_EQ(e.Message, "Unpaired TThreadPersistent.EndUpdate");
    }
    EXPECT_EQ(obj.UpdateCount(), 0);
}

TEST(ThreadPersistent, LockIsReentrantAndCounted) {
    TThreadPersistent obj;
    obj.Lock();
    obj.Lock();
    EXPECT_EQ(obj.LockCount(), 2);
    obj.Unlock();
    obj.Unlock();
    EXPECT_EQ(obj.LockCount(), 0);
}

TEST(IntegerMap, SetSizeNotifiesAndResizes) {
    TIntegerMap map;
    int changes = 0, resizes = 0;
    map.OnChange = [&](cl::TObject*) { ++changes; };
    map.OnResize = [&](cl::TObject*) {
        EXPECT_EQ(changes, resizes + 1);  // Changed comes before Resized
        ++resizes;
    };
    EXPECT_TRUE(map.Empty());
    EXPECT_TRUE(map.SetSize(3, 2));
    EXPECT_FALSE(map.Empty());
    EXPECT_EQ(map.Width(), 3);
    EXPECT_EQ(map.Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            ASSERT_NE(map.ValPtr(x, y), nullptr);
            EXPECT_EQ(*map.ValPtr(x, y), 0);
            *map.ValPtr(x, y) = 10 * y + x;
        }
    EXPECT_EQ(map.Bits()[4], 11);  // row-major
    EXPECT_FALSE(map.SetSize(3, 2));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(map.ValPtr(3, 0), nullptr);
    EXPECT_EQ(map.ValPtr(0, 2), nullptr);
    EXPECT_EQ(map.ValPtr(-1, 0), nullptr);
    // Growing keeps the leading entries and zeroes the new ones.
    EXPECT_TRUE(map.SetSize(4, 2));
    EXPECT_EQ(map.Bits()[0], 0);
    EXPECT_EQ(map.Bits()[5], 12);
    EXPECT_EQ(map.Bits()[6], 0);
    EXPECT_EQ(map.Bits()[7], 0);
    EXPECT_TRUE(map.SetSize(-5, 10));
    EXPECT_EQ(map.Width(), 0);
    EXPECT_EQ(map.Height(), 10);
    EXPECT_TRUE(map.Empty());
    EXPECT_EQ(map.Bits(), nullptr);
}

TEST(IntegerMap, ImpossibleSizeRaisesAndKeepsTheMap) {
    TIntegerMap map;
    map.SetSize(2, 2);
    EXPECT_THROW(map.SetSize(INT32_MAX, INT32_MAX), cl::EOutOfMemory);
    EXPECT_EQ(map.Width(), 2);
    EXPECT_EQ(map.Height(), 2);
    EXPECT_NE(map.ValPtr(1, 1), nullptr);
}

// A sampler that overrides only the floating-point reader records what it receives.
class TFloatProbe : public TCustomSampler {
public:
    TColor32 GetSampleFloat(float X, float Y) override {
        lastX = X;
        lastY = Y;
        return 0x01020304;
    }
    float lastX = -1, lastY = -1;
};

// One that overrides only the fixed-point reader.
class TFixedProbe : public TCustomSampler {
public:
    TColor32 GetSampleFixed(TFixed X, TFixed Y) override {
        lastX = X;
        lastY = Y;
        return 0;
    }
    TFixed lastX = 0, lastY = 0;
};

TEST(CustomSampler, ReadersReachTheOverriddenOne) {
    TFloatProbe f;
    EXPECT_EQ(f.GetSampleInt(2, 3), 0x01020304u);
    EXPECT_EQ(f.lastX, 2.0f);
    EXPECT_EQ(f.lastY, 3.0f);
    f.GetSampleFixed(0x18000, -0x8000);
    EXPECT_EQ(f.lastX, 1.5f);
    EXPECT_EQ(f.lastY, -0.5f);

    TFixedProbe x;
    x.GetSampleFloat(1.5f, -2.25f);
    EXPECT_EQ(x.lastX, 0x18000);
    EXPECT_EQ(x.lastY, -0x24000);
    x.GetSampleFloat(1.0f / 131072.0f, 3.0f / 131072.0f);  // half units: to even
    EXPECT_EQ(x.lastX, 0);
    EXPECT_EQ(x.lastY, 2);
    x.GetSampleFloat(1e9f, -1e9f);  // beyond 16.16: clamped
    EXPECT_EQ(x.lastX, INT32_MAX);
    EXPECT_EQ(x.lastY, INT32_MIN);
    x.GetSampleInt(40000, -3);
    EXPECT_EQ(x.lastX, INT32_MAX);
    EXPECT_EQ(x.lastY, -3 * 65536);

    EXPECT_FALSE(x.HasBounds());
    const TRect b = x.GetSampleBounds();
    EXPECT_EQ(b.left, INT32_MIN);
    EXPECT_EQ(b.top, INT32_MIN);
    EXPECT_EQ(b.right, INT32_MAX);
    EXPECT_EQ(b.bottom, INT32_MAX);
}

}  // namespace
