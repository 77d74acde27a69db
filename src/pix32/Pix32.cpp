#include "pix32/Pix32.h"

#include <cmath>

#include "classlib/SysUtils.h"

namespace pix32 {

// ---------------------------------------------------------------------------------------------
// TNotifiablePersistent

void TNotifiablePersistent::Changed() {
    if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TNotifiablePersistent::BeginUpdate() { ++FUpdateCount; }

void TNotifiablePersistent::EndUpdate() {
    cl::Assert(FUpdateCount > 0, "Unpaired TThreadPersistent.EndUpdate");
    --FUpdateCount;
}

// ---------------------------------------------------------------------------------------------
// TThreadPersistent

void TThreadPersistent::Lock() {
    FLockCount.fetch_add(1);
    FLock.lock();
}

void TThreadPersistent::Unlock() {
    FLock.unlock();
    FLockCount.fetch_sub(1);
}

// ---------------------------------------------------------------------------------------------
// TCustomMap

bool TCustomMap::SetSize(int32_t NewWidth, int32_t NewHeight) {
    if (NewWidth < 0) NewWidth = 0;
    if (NewHeight < 0) NewHeight = 0;
    if (NewWidth == FWidth && NewHeight == FHeight) return false;
    ChangeSize(FWidth, FHeight, NewWidth, NewHeight);
    Changed();
    Resized();
    return true;
}

void TCustomMap::ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) {
    Width = NewWidth;
    Height = NewHeight;
}

void TCustomMap::Resized() {
    if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------------------------------
// TCustomSampler

namespace {
TFixed ClampToFixed(double v) {
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<TFixed>(v);
}
}  // namespace

TColor32 TCustomSampler::GetSampleInt(int32_t X, int32_t Y) {
    return GetSampleFixed(ClampToFixed(static_cast<double>(X) * 65536.0), ClampToFixed(static_cast<double>(Y) * 65536.0));
}

TColor32 TCustomSampler::GetSampleFixed(TFixed X, TFixed Y) {
    return GetSampleFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0));
}

TColor32 TCustomSampler::GetSampleFloat(float X, float Y) {
    const double fx = std::nearbyint(static_cast<double>(X) * 65536.0);
    const double fy = std::nearbyint(static_cast<double>(Y) * 65536.0);
    return GetSampleFixed(ClampToFixed(std::isnan(fx) ? 0.0 : fx), ClampToFixed(std::isnan(fy) ? 0.0 : fy));
}

TRect TCustomSampler::GetSampleBounds() const { return TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}; }

}  // namespace pix32
