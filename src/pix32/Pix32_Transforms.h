// Geometric transformations between destination and source coordinates, in integer,
// 16.16 fixed-point and single-precision forms. The base class maps nothing itself: derived
// classes provide at least the floating-point mappings, which the other forms reach.
#pragma once

#include <cstdint>

#include "classlib/SysUtils.h"
#include "pix32/Pix32.h"

namespace pix32 {

struct TFixedPoint {
    TFixed X = 0;
    TFixed Y = 0;
};

struct TFloatPoint {
    float X = 0;
    float Y = 0;
};

// Raised by a mapping a transformation does not provide.
CL_DECLARE_EXCEPTION(ETransformNotImplemented, Exception);

class TTransformation : public TNotifiablePersistent {
    CL_DECLARE_CLASS(TTransformation, TNotifiablePersistent)
public:
    // Marks the transformation invalid, then notifies.
    void Changed() override;
    bool TransformValid() const { return FTransformValid; }

    // Derived classes compute their coefficients here and set TransformValid.
    virtual void PrepareTransform() {}
    // ReverseTransformFixed of the 16.16 coordinates, then FixedRound of both results.
    virtual void ReverseTransformInt(int32_t DstX, int32_t DstY, int32_t& SrcX, int32_t& SrcY);
    // ReverseTransformFloat of the coordinates / 65536, then FixedFromFloat of both results.
    virtual void ReverseTransformFixed(TFixed DstX, TFixed DstY, TFixed& SrcX, TFixed& SrcY);
    // Raises ETransformNotImplemented "Reverse transformation is not implemented in <class>.".
    virtual void ReverseTransformFloat(float DstX, float DstY, float& SrcX, float& SrcY);
    virtual void TransformInt(int32_t SrcX, int32_t SrcY, int32_t& DstX, int32_t& DstY);
    virtual void TransformFixed(TFixed SrcX, TFixed SrcY, TFixed& DstX, TFixed& DstY);
    // Raises ETransformNotImplemented "Forward transformation is not implemented in <class>.".
    virtual void TransformFloat(float SrcX, float SrcY, float& DstX, float& DstY);
    virtual bool HasTransformedBounds() const { return true; }
    // The base class maps nothing: the rectangle rounded to the nearest integers.
    virtual TRect GetTransformedBounds(const TFloatRect& SrcRect);

    // PrepareTransform when the transformation is not valid, then the mapping.
    TPoint ReverseTransformPoint(const TPoint& P);
    TFixedPoint ReverseTransformPoint(const TFixedPoint& P);
    TFloatPoint ReverseTransformPoint(const TFloatPoint& P);
    TPoint TransformPoint(const TPoint& P);
    TFixedPoint TransformPoint(const TFixedPoint& P);
    TFloatPoint TransformPoint(const TFloatPoint& P);

protected:
    bool FTransformValid = false;

private:
    void PrepareWhenInvalid() {
        if (!FTransformValid) PrepareTransform();
    }
};

}  // namespace pix32
