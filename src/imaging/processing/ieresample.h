// Resampling of TIEBitmap: the dispatcher that picks a resampler by filter and pixel
// format (and resamples the alpha channel with the same filter), the filtered resampler
// (kernels of ieresample_kernel.h, horizontal pass on worker threads), and the special
// resamplers it dispatches to: nearest neighbour, fixed-point linear, projection to 1 bit,
// area averaging of 1-bit images and area-integrating bilinear and bicubic.
//
// Every routine resamples Source into Dest, which already has the target size; none
// changes Source. Progress handlers run on the calling thread only.
#pragma once

#include <cstdint>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/processing/ieresample_kernel.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// The dispatcher and the filtered resampler

// Same size: Dest is assigned from Source. Otherwise by filter: rfNone nearest neighbour;
// ie1g sources IEResample1Bit (Dest becomes ie1g for the projections, ie24RGB otherwise);
// every other source IEResampleFiltered. An alpha channel of Source is resampled into
// Dest's (nearest for rfNone, IEResampleGray8 otherwise) and its Full flag copied.
void IEResampleBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                      cl::TObject* Sender);
// Any format but ie1g. Sources other than ie24RGB and ie8g are resampled through a 24-bit
// copy and Dest becomes ie24RGB. rfBilinear and rfBicubic use the area-integrating
// resamplers for ie24RGB, ie8g, ieRGB48 and ie16g and rfTriangle for the rest. A 1 x 1
// source fills Dest with its pixel. Nothing for rfNone or an empty source.
void IEResampleFiltered(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                        cl::TObject* Sender);
// One 8-bit channel (ie8g images and alpha channels) on the calling thread.
void IEResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
// 1-bit sources: linear, projection or kernel filters; kernel and linear results are grey
// ie24RGB.
void IEResample1Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);

// The worker threads of the filtered resampler for Source: 1 when its pixels live in a
// temporary file (its rows are mapped one at a time), else the physical core count.
int32_t IEResampleThreadCount(TIEBitmap* Source);

// The size ResampleTo gives a W x H picture for NewWidth x NewHeight: -1 keeps the aspect
// ratio from the other size, other negative values count by magnitude, 0 keeps the size;
// each at least 1. False (sizes untouched) for an empty picture or both sizes negative.
bool IEResampleNewSize(int32_t Width, int32_t Height, int32_t NewWidth, int32_t NewHeight, int32_t& OutWidth,
                       int32_t& OutHeight);
// Dest := Source resampled to the size IEResampleNewSize gives (allocated in Source's
// format, which the resampler may change). False, Dest untouched, when there is no size.
bool IEResampleTo(TIEBitmap* Source, TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter,
                  const TIEProgressEvent& OnProgress, cl::TObject* Sender);

// ---------------------------------------------------------------------------------------
// Nearest, fixed-point, projection and area resamplers

// Every pixel format; Dest is given Source's format when it has another one.
void IEResampleNearest(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender, const TIEProgressEvent& OnProgress);
// 17-bit fixed-point interpolation on enlarged axes, box averages on reduced ones.
void IEResampleFastLinear24(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender,
                            const TIEProgressEvent& OnProgress);
void IEResampleGray8Linear(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender, const TIEProgressEvent& OnProgress);
// ie1g source, grey ie24RGB Dest.
void IEResample1BitLinear(TIEBitmap* Source, TIEBitmap* Dest, cl::TObject* Sender, const TIEProgressEvent& OnProgress);
// The region X1..X2 x Y1..Y2 (inclusive) of an ie1g source averaged into a grey ie24RGB Dest.
void IEBoxResample1BitTo24(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest);
// To ie1g keeping thin lines: black wins (WhiteWins False) or white wins (True).
void IEProject1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress,
                   cl::TObject* Sender);
void IEProject24To1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress,
                       cl::TObject* Sender);
// Area integration, Mode 0 bilinear, 1 bicubic: ie24RGB and ie8g (the 24 form), ieRGB48 and
// ie16g (the 48 form); other formats are left alone.
void IEResampleInterpolated24(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, const TIEProgressEvent& OnProgress,
                              cl::TObject* Sender);
void IEResampleInterpolated48(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, const TIEProgressEvent& OnProgress,
                              cl::TObject* Sender);
// Cubic convolution (a = -1) of P0..P3 at X (0 at P1, 1 at P2), limited to Min..Max.
double IECubicInterpolate(int32_t P0, int32_t P1, int32_t P2, double X, int32_t P3, double Min, double Max);

}  // namespace ie
