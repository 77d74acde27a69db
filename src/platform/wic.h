// The imaging component: a COM-shaped imaging factory whose only real container and
// decoder are HD Photo. The factory makes decoders over an IStream (the whole frame is
// decoded once, in its own pixel format), format converters to the layouts the imaging
// library keeps, and encoders that write a complete file to an IStream on Commit. Every
// operation answers a failure HRESULT when it cannot do its work.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace win {

// ---------------------------------------------------------------------------------------
// Results

constexpr HRESULT WINCODEC_ERR_WRONGSTATE = static_cast<HRESULT>(0x88982F04u);
constexpr HRESULT WINCODEC_ERR_UNKNOWNIMAGEFORMAT = static_cast<HRESULT>(0x88982F07u);
constexpr HRESULT WINCODEC_ERR_NOTINITIALIZED = static_cast<HRESULT>(0x88982F0Cu);
constexpr HRESULT WINCODEC_ERR_CODECNOTHUMBNAIL = static_cast<HRESULT>(0x88982F44u);
constexpr HRESULT WINCODEC_ERR_COMPONENTNOTFOUND = static_cast<HRESULT>(0x88982F50u);
constexpr HRESULT WINCODEC_ERR_BADIMAGE = static_cast<HRESULT>(0x88982F60u);
constexpr HRESULT WINCODEC_ERR_FRAMEMISSING = static_cast<HRESULT>(0x88982F62u);
constexpr HRESULT WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT = static_cast<HRESULT>(0x88982F80u);
constexpr HRESULT WINCODEC_ERR_UNSUPPORTEDOPERATION = static_cast<HRESULT>(0x88982F81u);

// ---------------------------------------------------------------------------------------
// Class, container, vendor and pixel-format identifiers

extern const CLSID CLSID_WICImagingFactory;
extern const CLSID CLSID_WICBmpDecoder;
extern const CLSID CLSID_WICPngDecoder;
extern const CLSID CLSID_WICIcoDecoder;
extern const CLSID CLSID_WICJpegDecoder;
extern const CLSID CLSID_WICGifDecoder;
extern const CLSID CLSID_WICTiffDecoder;
extern const CLSID CLSID_WICWmpDecoder;

extern const GUID GUID_ContainerFormatBmp;
extern const GUID GUID_ContainerFormatPng;
extern const GUID GUID_ContainerFormatIco;
extern const GUID GUID_ContainerFormatJpeg;
extern const GUID GUID_ContainerFormatTiff;
extern const GUID GUID_ContainerFormatGif;
extern const GUID GUID_ContainerFormatWmp;
extern const GUID GUID_VendorMicrosoft;

using WICPixelFormatGUID = GUID;
extern const GUID GUID_WICPixelFormatDontCare;
extern const GUID GUID_WICPixelFormat1bppIndexed;
extern const GUID GUID_WICPixelFormat8bppIndexed;
extern const GUID GUID_WICPixelFormatBlackWhite;
extern const GUID GUID_WICPixelFormat8bppGray;
extern const GUID GUID_WICPixelFormat16bppGray;
extern const GUID GUID_WICPixelFormat24bppBGR;
extern const GUID GUID_WICPixelFormat24bppRGB;
extern const GUID GUID_WICPixelFormat32bppBGR;
extern const GUID GUID_WICPixelFormat32bppBGRA;
extern const GUID GUID_WICPixelFormat48bppRGB;
extern const GUID GUID_WICPixelFormat32bppCMYK;

extern const IID IID_IWICImagingFactory;
extern const IID IID_IWICBitmapSource;
extern const IID IID_IWICBitmapDecoder;
extern const IID IID_IWICBitmapFrameDecode;
extern const IID IID_IWICFormatConverter;
extern const IID IID_IWICBitmapEncoder;
extern const IID IID_IWICBitmapFrameEncode;
extern const IID IID_IWICPalette;

// ---------------------------------------------------------------------------------------
// Options

struct WICRect {
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

enum WICDecodeOptions : DWORD { WICDecodeMetadataCacheOnDemand = 0, WICDecodeMetadataCacheOnLoad = 1 };
enum WICBitmapEncoderCacheOption : DWORD {
    WICBitmapEncoderCacheInMemory = 0,
    WICBitmapEncoderCacheTempFile = 1,
    WICBitmapEncoderNoCache = 2
};
enum WICBitmapDitherType : DWORD { WICBitmapDitherTypeNone = 0 };
enum WICBitmapPaletteType : DWORD { WICBitmapPaletteTypeCustom = 0 };

// ---------------------------------------------------------------------------------------
// Interfaces

// A palette; the HD Photo coder has none (declared for the converter's signature).
class IWICPalette : public IUnknown {};

class IWICBitmapSource : public IUnknown {
public:
    virtual HRESULT GetSize(UINT* Width, UINT* Height) = 0;
    virtual HRESULT GetPixelFormat(WICPixelFormatGUID* Format) = 0;
    virtual HRESULT GetResolution(double* DpiX, double* DpiY) = 0;
    // Copies the rectangle (the whole source when null), rows Stride bytes apart, into
    // Buffer of BufferSize bytes. E_INVALIDARG for a rectangle outside the source or a
    // buffer too small.
    virtual HRESULT CopyPixels(const WICRect* Rect, UINT Stride, UINT BufferSize, BYTE* Buffer) = 0;
};

class IWICBitmapFrameDecode : public IWICBitmapSource {
public:
    virtual HRESULT GetThumbnail(IWICBitmapSource** Thumbnail) = 0;
};

class IWICBitmapDecoder : public IUnknown {
public:
    virtual HRESULT GetFrame(UINT Index, IWICBitmapFrameDecode** Frame) = 0;
};

class IWICFormatConverter : public IWICBitmapSource {
public:
    virtual HRESULT Initialize(IWICBitmapSource* Source, const WICPixelFormatGUID& DestFormat,
                               WICBitmapDitherType Dither, IWICPalette* Palette, double AlphaThreshold,
                               WICBitmapPaletteType PaletteType) = 0;
};

class IWICBitmapFrameEncode : public IUnknown {
public:
    virtual HRESULT Initialize(IPropertyBag2* Options) = 0;
    virtual HRESULT SetSize(UINT Width, UINT Height) = 0;
    virtual HRESULT SetResolution(double DpiX, double DpiY) = 0;
    // The format is changed to the nearest one the encoder takes.
    virtual HRESULT SetPixelFormat(WICPixelFormatGUID* Format) = 0;
    virtual HRESULT WritePixels(UINT LineCount, UINT Stride, UINT BufferSize, BYTE* Pixels) = 0;
    virtual HRESULT Commit() = 0;
};

class IWICBitmapEncoder : public IUnknown {
public:
    virtual HRESULT Initialize(IStream* Stream, WICBitmapEncoderCacheOption Cache) = 0;
    virtual HRESULT CreateNewFrame(IWICBitmapFrameEncode** Frame, IPropertyBag2** Options) = 0;
    virtual HRESULT Commit() = 0;
};

class IWICImagingFactory : public IUnknown {
public:
    virtual HRESULT CreateDecoderFromStream(IStream* Stream, const GUID* Vendor, WICDecodeOptions Options,
                                            IWICBitmapDecoder** Decoder) = 0;
    virtual HRESULT CreateEncoder(const GUID& ContainerFormat, const GUID* Vendor, IWICBitmapEncoder** Encoder) = 0;
    virtual HRESULT CreateFormatConverter(IWICFormatConverter** Converter) = 0;
};

// The creator the class table holds for CLSID_WICImagingFactory.
HRESULT WICCreateImagingFactory(const IID& Iid, void** Object);

}  // namespace win
