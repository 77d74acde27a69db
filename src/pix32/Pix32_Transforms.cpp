#include "pix32/Pix32_Transforms.h"

#include "pix32/Pix32_Math.h"

namespace pix32 {

void TTransformation::Changed() {
    FTransformValid = false;
    TNotifiablePersistent::Changed();
}

void TTransformation::ReverseTransformInt(int32_t DstX, int32_t DstY, int32_t& SrcX, int32_t& SrcY) {
    TFixed x = 0, y = 0;
    ReverseTransformFixed(FixedFromInt(DstX), FixedFromInt(DstY), x, y);
    SrcX = FixedRound(x);
    SrcY = FixedRound(y);
}

void TTransformation::ReverseTransformFixed(TFixed DstX, TFixed DstY, TFixed& SrcX, TFixed& SrcY) {
    float x = 0, y = 0;
    ReverseTransformFloat(static_cast<float>(DstX / 65536.0), static_cast<float>(DstY / 65536.0), x, y);
    SrcX = FixedFromFloat(x);
    SrcY = FixedFromFloat(y);
}

void TTransformation::ReverseTransformFloat(float, float, float&, float&) {
    throw ETransformNotImplemented(cl::Format("Reverse transformation is not implemented in %s.", ClassName()));
}

void TTransformation::TransformInt(int32_t SrcX, int32_t SrcY, int32_t& DstX, int32_t& DstY) {
    TFixed x = 0, y = 0;
    TransformFixed(FixedFromInt(SrcX), FixedFromInt(SrcY), x, y);
    DstX = FixedRound(x);
    DstY = FixedRound(y);
}

void TTransformation::TransformFixed(TFixed SrcX, TFixed SrcY, TFixed& DstX, TFixed& DstY) {
    float x = 0, y = 0;
    TransformFloat(static_cast<float>(SrcX / 65536.0), static_cast<float>(SrcY / 65536.0), x, y);
    DstX = FixedFromFloat(x);
    DstY = FixedFromFloat(y);
}

void TTransformation::TransformFloat(float, float, float&, float&) {
    throw ETransformNotImplemented(cl::Format("Forward transformation is not implemented in %s.", ClassName()));
}

TRect TTransformation::GetTransformedBounds(const TFloatRect& SrcRect) { return MakeRectFromFloat(SrcRect, rrNearest); }

TPoint TTransformation::ReverseTransformPoint(const TPoint& P) {
    PrepareWhenInvalid();
    TPoint r{};
    int32_t x = 0, y = 0;
    ReverseTransformInt(P.x, P.y, x, y);
    r.x = x;
    r.y = y;
    return r;
}

TFixedPoint TTransformation::ReverseTransformPoint(const TFixedPoint& P) {
    PrepareWhenInvalid();
    TFixedPoint r;
    ReverseTransformFixed(P.X, P.Y, r.X, r.Y);
    return r;
}

TFloatPoint TTransformation::ReverseTransformPoint(const TFloatPoint& P) {
    PrepareWhenInvalid();
    TFloatPoint r;
    ReverseTransformFloat(P.X, P.Y, r.X, r.Y);
    return r;
}

TPoint TTransformation::TransformPoint(const TPoint& P) {
    PrepareWhenInvalid();
    TPoint r{};
    int32_t x = 0, y = 0;
    TransformInt(P.x, P.y, x, y);
    r.x = x;
    r.y = y;
    return r;
}

TFixedPoint TTransformation::TransformPoint(const TFixedPoint& P) {
    PrepareWhenInvalid();
    TFixedPoint r;
    TransformFixed(P.X, P.Y, r.X, r.Y);
    return r;
}

TFloatPoint TTransformation::TransformPoint(const TFloatPoint& P) {
    PrepareWhenInvalid();
    TFloatPoint r;
    TransformFloat(P.X, P.Y, r.X, r.Y);
    return r;
}

}  // namespace pix32
