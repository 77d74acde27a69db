// Operations of TIEBitmap that belong to the conversion, editing and rendering parts of
// the class but that the storage part needs before those parts are in: the conversion
// between the formats whose rules need no other unit, the copy from a class-library
// bitmap, and the row renderers (the class cannot be built without them). A part that
// defines one of these operations removes it from here.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"

namespace ie {

namespace {

inline uint8_t G8(int r, int g, int b) {
    return static_cast<uint8_t>((r * IEGrayWeightRed + g * IEGrayWeightGreen + b * IEGrayWeightBlue) / 100);
}
inline uint16_t Y16(int r, int g, int b) {
    return static_cast<uint16_t>((static_cast<int64_t>(r) * 54484 + static_cast<int64_t>(g) * 183241 +
                                  static_cast<int64_t>(b) * 19275) /
                                 1000);
}
inline float Yf(int r, int g, int b) {
    return static_cast<float>((r * 0.2126 + g * 0.7152 + b * 0.0722) / 255.0);
}
template <class T>
inline T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
inline void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}
inline void StoreRGB(uint8_t* d, uint8_t r, uint8_t g, uint8_t b) {
    d[0] = b;
    d[1] = g;
    d[2] = r;
}
inline void StoreRGB48(uint8_t* d, uint16_t r, uint16_t g, uint16_t b) {
    Store<uint16_t>(d, r);
    Store<uint16_t>(d + 2, g);
    Store<uint16_t>(d + 4, b);
}
inline int64_t TruncF(double v) { return static_cast<int64_t>(std::trunc(std::isfinite(v) ? v : 0.0)); }

}  // namespace

// Drawing needs the rendering part of the class; without it a renderer draws nothing.
void TIEBitmap::RenderRows24RGB(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows24RGBAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32RGB(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32RGBAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows1g(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows1gAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8g(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8gAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8p(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows8pAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows16g(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows16gAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32f(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRows32fAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCMYK(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCMYKAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCIELab(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsCIELabAlpha(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsRGB48(const TIERenderRowsParams&) {}
void TIEBitmap::RenderRowsRGB48Alpha(const TIERenderRowsParams&) {}

}  // namespace ie
