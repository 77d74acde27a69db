// The imaging factory and its objects over the HD Photo coder (wic_jxr.cpp).
#include "platform/wic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "platform/wic_jxr_internal.h"

namespace win {

namespace {

constexpr GUID PixelFormat(uint8_t Last) {
    return {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, Last}};
}
constexpr GUID ImagingIID(uint16_t Id) {
    return {Id, 0xA8F2, 0x4877, {0xBA, 0x0A, 0xFD, 0x2B, 0x66, 0x45, 0xFB, 0x94}};
}

}  // namespace

const CLSID CLSID_WICImagingFactory = {0xCACAF262, 0x9370, 0x4615, {0xA1, 0x3B, 0x9F, 0x55, 0x39, 0xDA, 0x4C, 0x0A}};
const CLSID CLSID_WICBmpDecoder = {0x6B462062, 0x7CBF, 0x400D, {0x9F, 0xDB, 0x81, 0x3D, 0xD1, 0x0F, 0x27, 0x78}};
const CLSID CLSID_WICPngDecoder = {0x389EA17B, 0x5078, 0x4CDE, {0xB6, 0xEF, 0x25, 0xC1, 0x51, 0x75, 0xC7, 0x51}};
const CLSID CLSID_WICIcoDecoder = {0xC61BFCDF, 0x2E0F, 0x4AAD, {0xA8, 0xD7, 0xE0, 0x6B, 0xAF, 0xEB, 0xCD, 0xFE}};
const CLSID CLSID_WICJpegDecoder = {0x9456A480, 0xE88B, 0x43EA, {0x9E, 0x73, 0x0B, 0x2D, 0x9B, 0x71, 0xB1, 0xCA}};
const CLSID CLSID_WICGifDecoder = {0x381DDA3C, 0x9CE9, 0x4834, {0xA2, 0x3E, 0x1F, 0x98, 0xF8, 0xFC, 0x52, 0xBE}};
const CLSID CLSID_WICTiffDecoder = {0xB54E85D9, 0xFE23, 0x499F, {0x8B, 0x88, 0x6A, 0xCE, 0xA7, 0x13, 0x75, 0x2B}};
const CLSID CLSID_WICWmpDecoder = {0xA26CEC36, 0x234C, 0x4950, {0xAE, 0x16, 0xE3, 0x4A, 0xAC, 0xE7, 0x1D, 0x0D}};

const GUID GUID_ContainerFormatBmp = {0x0AF1D87E, 0xFCFE, 0x4188, {0xBD, 0xEB, 0xA7, 0x90, 0x64, 0x71, 0xCB, 0xE3}};
const GUID GUID_ContainerFormatPng = {0x1B7CFAF4, 0x713F, 0x473C, {0xBB, 0xCD, 0x61, 0x37, 0x42, 0x5F, 0xAE, 0xAF}};
const GUID GUID_ContainerFormatIco = {0xA3A860C4, 0x338F, 0x4C17, {0x91, 0x9A, 0xFB, 0xA4, 0xB5, 0x62, 0x8F, 0x21}};
const GUID GUID_ContainerFormatJpeg = {0x19E4A5AA, 0x5662, 0x4FC5, {0xA0, 0xC0, 0x17, 0x58, 0x02, 0x8E, 0x10, 0x57}};
const GUID GUID_ContainerFormatTiff = {0x163BCC30, 0xE2E9, 0x4F0B, {0x96, 0x1D, 0xA3, 0xE9, 0xFD, 0xB7, 0x88, 0xA3}};
const GUID GUID_ContainerFormatGif = {0x1F8A5601, 0x7D4D, 0x4CBD, {0x9C, 0x82, 0x1B, 0xC8, 0xD4, 0xEE, 0xB9, 0xA5}};
const GUID GUID_ContainerFormatWmp = {0x57A37CAA, 0x367A, 0x4540, {0x91, 0x6B, 0xF1, 0x83, 0xC5, 0x09, 0x3A, 0x4B}};
const GUID GUID_VendorMicrosoft = {0xF0E749CA, 0xEDEF, 0x4589, {0xA7, 0x3A, 0xEE, 0x0E, 0x62, 0x6A, 0x2A, 0x2B}};

const GUID GUID_WICPixelFormatDontCare = PixelFormat(0x00);
const GUID GUID_WICPixelFormat1bppIndexed = PixelFormat(0x01);
const GUID GUID_WICPixelFormat8bppIndexed = PixelFormat(0x04);
const GUID GUID_WICPixelFormatBlackWhite = PixelFormat(0x05);
const GUID GUID_WICPixelFormat8bppGray = PixelFormat(0x08);
const GUID GUID_WICPixelFormat16bppGray = PixelFormat(0x0B);
const GUID GUID_WICPixelFormat24bppBGR = PixelFormat(0x0C);
const GUID GUID_WICPixelFormat24bppRGB = PixelFormat(0x0D);
const GUID GUID_WICPixelFormat32bppBGR = PixelFormat(0x0E);
const GUID GUID_WICPixelFormat32bppBGRA = PixelFormat(0x0F);
const GUID GUID_WICPixelFormat48bppRGB = PixelFormat(0x15);
const GUID GUID_WICPixelFormat32bppCMYK = PixelFormat(0x1C);

const IID IID_IWICImagingFactory = {0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};
const IID IID_IWICBitmapSource = ImagingIID(0x0120);
const IID IID_IWICBitmapDecoder = {0x9EDDE9E7, 0x8DEE, 0x47EA, {0x99, 0xDF, 0xE6, 0xFA, 0xF2, 0xED, 0x44, 0xBF}};
const IID IID_IWICBitmapFrameDecode = {0x3B16811B, 0x6A43, 0x4EC9, {0xA8, 0x13, 0x3D, 0x93, 0x0C, 0x13, 0xB9, 0x40}};
const IID IID_IWICFormatConverter = ImagingIID(0x0301);
const IID IID_IWICBitmapEncoder = ImagingIID(0x0103);
const IID IID_IWICBitmapFrameEncode = ImagingIID(0x0105);
const IID IID_IWICPalette = ImagingIID(0x0040);

namespace {

using jxr::TPixelKind;

// The option bag's own interface id: a frame encoder finds its options behind any bag
// that answers it (a bag that records and forwards included).
const IID IID_HDPhotoOptions = {0x6C1F0A3E, 0x52B4, 0x4C1D, {0x9E, 0x27, 0x41, 0x0B, 0x8D, 0x63, 0xF2, 0x15}};

struct TKindGuid {
    TPixelKind Kind;
    const GUID* Guid;
};
const TKindGuid kKinds[] = {
    {TPixelKind::BlackWhite, &GUID_WICPixelFormatBlackWhite}, {TPixelKind::Gray8, &GUID_WICPixelFormat8bppGray},
    {TPixelKind::Gray16, &GUID_WICPixelFormat16bppGray},      {TPixelKind::BGR24, &GUID_WICPixelFormat24bppBGR},
    {TPixelKind::RGB24, &GUID_WICPixelFormat24bppRGB},        {TPixelKind::BGR32, &GUID_WICPixelFormat32bppBGR},
    {TPixelKind::BGRA32, &GUID_WICPixelFormat32bppBGRA},      {TPixelKind::RGB48, &GUID_WICPixelFormat48bppRGB},
    {TPixelKind::CMYK32, &GUID_WICPixelFormat32bppCMYK},
};

TPixelKind KindOf(const GUID& G) {
    for (const TKindGuid& k : kKinds)
        if (*k.Guid == G) return k.Kind;
    return TPixelKind::Unsupported;
}
const GUID& GuidOf(TPixelKind Kind) {
    for (const TKindGuid& k : kKinds)
        if (k.Kind == Kind) return *k.Guid;
    return GUID_WICPixelFormatDontCare;
}

// Checks a CopyPixels call on a source of Width x Height pixels in Kind; fills the
// rectangle to copy.
HRESULT CheckCopy(const WICRect* Rect, UINT Width, UINT Height, TPixelKind Kind, UINT Stride, UINT BufferSize,
                  const BYTE* Buffer, WICRect& R) {
    if (!Buffer) return E_INVALIDARG;
    R = Rect ? *Rect : WICRect{0, 0, static_cast<int32_t>(Width), static_cast<int32_t>(Height)};
    if (R.X < 0 || R.Y < 0 || R.Width <= 0 || R.Height <= 0 || static_cast<int64_t>(R.X) + R.Width > Width ||
        static_cast<int64_t>(R.Y) + R.Height > Height)
        return E_INVALIDARG;
    const size_t row = jxr::RowBytes(Kind, static_cast<uint32_t>(R.Width));
    if (Stride < row || static_cast<uint64_t>(Stride) * (R.Height - 1) + row > BufferSize) return E_INVALIDARG;
    return S_OK;
}

// Copies Width pixels from pixel X of Src (layout Kind) to the start of Dst.
void CopyRowPart(const uint8_t* Src, uint8_t* Dst, TPixelKind Kind, int32_t X, int32_t Width) {
    const uint32_t bits = jxr::BitsPerPixel(Kind);
    if (bits >= 8) {
        std::memcpy(Dst, Src + static_cast<size_t>(X) * (bits / 8), static_cast<size_t>(Width) * (bits / 8));
        return;
    }
    std::memset(Dst, 0, static_cast<size_t>((Width + 7) / 8));
    for (int32_t i = 0; i < Width; ++i) {
        const int32_t s = X + i;
        if (Src[s >> 3] & (0x80 >> (s & 7))) Dst[i >> 3] |= static_cast<uint8_t>(0x80 >> (i & 7));
    }
}

// ---------------------------------------------------------------------------------------
// Decoding

// The file's bytes and what they hold, shared by the decoder and its frame.
struct TDecodedFile {
    std::vector<uint8_t> Data;
    jxr::TImageInfo Info;
    std::vector<uint8_t> Pixels;  // filled on the first copy
    bool Decoded = false;
    bool Broken = false;
};

class TFrameDecode final : public TComObject<IWICBitmapFrameDecode> {
public:
    explicit TFrameDecode(std::shared_ptr<TDecodedFile> File) : FFile(std::move(File)) {}

    HRESULT GetSize(UINT* Width, UINT* Height) override {
        if (!Width || !Height) return E_INVALIDARG;
        *Width = FFile->Info.Width;
        *Height = FFile->Info.Height;
        return S_OK;
    }
    HRESULT GetPixelFormat(WICPixelFormatGUID* Format) override {
        if (!Format) return E_INVALIDARG;
        *Format = GuidOf(FFile->Info.Kind);
        return S_OK;
    }
    HRESULT GetResolution(double* DpiX, double* DpiY) override {
        if (!DpiX || !DpiY) return E_INVALIDARG;
        *DpiX = FFile->Info.DpiX;
        *DpiY = FFile->Info.DpiY;
        return S_OK;
    }
    HRESULT CopyPixels(const WICRect* Rect, UINT Stride, UINT BufferSize, BYTE* Buffer) override {
        const jxr::TImageInfo& info = FFile->Info;
        if (info.Kind == TPixelKind::Unsupported) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
        WICRect r;
        if (HRESULT hr = CheckCopy(Rect, info.Width, info.Height, info.Kind, Stride, BufferSize, Buffer, r); FAILED(hr))
            return hr;
        if (!FFile->Decoded && !FFile->Broken) {
            FFile->Decoded = jxr::Decode(FFile->Data.data(), FFile->Data.size(), info, FFile->Pixels);
            FFile->Broken = !FFile->Decoded;
        }
        if (FFile->Broken) return WINCODEC_ERR_BADIMAGE;
        const size_t row = jxr::RowBytes(info.Kind, info.Width);
        for (int32_t y = 0; y < r.Height; ++y)
            CopyRowPart(FFile->Pixels.data() + row * static_cast<size_t>(r.Y + y),
                        Buffer + static_cast<size_t>(Stride) * y, info.Kind, r.X, r.Width);
        return S_OK;
    }
    HRESULT GetThumbnail(IWICBitmapSource** Thumbnail) override {
        if (!Thumbnail) return E_INVALIDARG;
        *Thumbnail = nullptr;
        return WINCODEC_ERR_CODECNOTHUMBNAIL;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IWICBitmapSource || Iid == IID_IWICBitmapFrameDecode)
            return static_cast<IWICBitmapFrameDecode*>(this);
        return nullptr;
    }

private:
    std::shared_ptr<TDecodedFile> FFile;
};

class TBitmapDecoder final : public TComObject<IWICBitmapDecoder> {
public:
    explicit TBitmapDecoder(std::shared_ptr<TDecodedFile> File) : FFile(std::move(File)) {}
    HRESULT GetFrame(UINT Index, IWICBitmapFrameDecode** Frame) override {
        if (!Frame) return E_INVALIDARG;
        *Frame = nullptr;
        if (Index != 0) return E_INVALIDARG;
        *Frame = new TFrameDecode(FFile);
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IWICBitmapDecoder) return static_cast<IWICBitmapDecoder*>(this);
        return nullptr;
    }

private:
    std::shared_ptr<TDecodedFile> FFile;
};

// ---------------------------------------------------------------------------------------
// Format conversion

using TConvertRow = void (*)(const uint8_t* Src, uint8_t* Dst, int32_t Width);

void ConvIdentity(const uint8_t*, uint8_t*, int32_t) {}
void GrayToBGR(const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[3 * x] = D[3 * x + 1] = D[3 * x + 2] = S[x];
}
void Gray16ToBGR(const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[3 * x] = D[3 * x + 1] = D[3 * x + 2] = S[2 * x + 1];
}
void RGBToBGR(const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) {
        D[3 * x] = S[3 * x + 2];
        D[3 * x + 1] = S[3 * x + 1];
        D[3 * x + 2] = S[3 * x];
    }
}
void BGR32ToBGR(const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) std::memcpy(D + 3 * x, S + 4 * x, 3);
}
void RGB48ToBGR(const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) {
        D[3 * x] = S[6 * x + 5];
        D[3 * x + 1] = S[6 * x + 3];
        D[3 * x + 2] = S[6 * x + 1];
    }
}
// Each colour is (255 - ink) x (255 - black) / 255, rounded.
void CMYKToBGR(const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) {
        const int k = 255 - S[4 * x + 3];
        for (int c = 0; c < 3; ++c) D[3 * x + 2 - c] = static_cast<uint8_t>(((255 - S[4 * x + c]) * k + 127) / 255);
    }
}

struct TConversion {
    TPixelKind From, To;
    TConvertRow Row;
};
// clang-format off
const TConversion kConversions[] = {
    {TPixelKind::Gray8, TPixelKind::BGR24, &GrayToBGR},    {TPixelKind::Gray16, TPixelKind::BGR24, &Gray16ToBGR},
    {TPixelKind::RGB24, TPixelKind::BGR24, &RGBToBGR},     {TPixelKind::BGR32, TPixelKind::BGR24, &BGR32ToBGR},
    {TPixelKind::BGRA32, TPixelKind::BGR24, &BGR32ToBGR},  {TPixelKind::RGB48, TPixelKind::BGR24, &RGB48ToBGR},
    {TPixelKind::CMYK32, TPixelKind::BGR24, &CMYKToBGR},
};
// clang-format on

class TFormatConverter final : public TComObject<IWICFormatConverter> {
public:
    HRESULT Initialize(IWICBitmapSource* Source, const WICPixelFormatGUID& DestFormat, WICBitmapDitherType,
                       IWICPalette*, double, WICBitmapPaletteType) override {
        if (FSource) return WINCODEC_ERR_WRONGSTATE;
        if (!Source) return E_INVALIDARG;
        WICPixelFormatGUID from;
        if (HRESULT hr = Source->GetPixelFormat(&from); FAILED(hr)) return hr;
        const TPixelKind f = KindOf(from), t = KindOf(DestFormat);
        if (f == TPixelKind::Unsupported || t == TPixelKind::Unsupported) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
        TConvertRow row = nullptr;
        if (f == t) row = &ConvIdentity;
        for (const TConversion& c : kConversions)
            if (c.From == f && c.To == t) row = c.Row;
        if (!row) return WINCODEC_ERR_UNSUPPORTEDOPERATION;
        Source->AddRef();
        FSource = ComPtr<IWICBitmapSource>::Attach(Source);
        FFrom = f;
        FTo = t;
        FRow = row;
        return S_OK;
    }
    HRESULT GetSize(UINT* Width, UINT* Height) override {
        if (!FSource) return WINCODEC_ERR_NOTINITIALIZED;
        return FSource->GetSize(Width, Height);
    }
    HRESULT GetPixelFormat(WICPixelFormatGUID* Format) override {
        if (!Format) return E_INVALIDARG;
        *Format = FSource ? GuidOf(FTo) : GUID_WICPixelFormatDontCare;
        return S_OK;
    }
    HRESULT GetResolution(double* DpiX, double* DpiY) override {
        if (!FSource) return WINCODEC_ERR_NOTINITIALIZED;
        return FSource->GetResolution(DpiX, DpiY);
    }
    HRESULT CopyPixels(const WICRect* Rect, UINT Stride, UINT BufferSize, BYTE* Buffer) override {
        if (!FSource) return WINCODEC_ERR_NOTINITIALIZED;
        UINT w = 0, h = 0;
        if (HRESULT hr = FSource->GetSize(&w, &h); FAILED(hr)) return hr;
        WICRect r;
        if (HRESULT hr = CheckCopy(Rect, w, h, FTo, Stride, BufferSize, Buffer, r); FAILED(hr)) return hr;
        if (FFrom == FTo) return FSource->CopyPixels(&r, Stride, BufferSize, Buffer);
        // Row by row through a row of the source's layout.
        std::vector<uint8_t> src;
        try {
            src.resize(jxr::RowBytes(FFrom, static_cast<uint32_t>(r.Width)));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (int32_t y = 0; y < r.Height; ++y) {
            WICRect line{r.X, r.Y + y, r.Width, 1};
            if (HRESULT hr = FSource->CopyPixels(&line, static_cast<UINT>(src.size()), static_cast<UINT>(src.size()),
                                                 src.data());
                FAILED(hr))
                return hr;
            FRow(src.data(), Buffer + static_cast<size_t>(Stride) * y, r.Width);
        }
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IWICBitmapSource || Iid == IID_IWICFormatConverter)
            return static_cast<IWICFormatConverter*>(this);
        return nullptr;
    }

private:
    ComPtr<IWICBitmapSource> FSource;
    TPixelKind FFrom = TPixelKind::Unsupported, FTo = TPixelKind::Unsupported;
    TConvertRow FRow = nullptr;
};

// ---------------------------------------------------------------------------------------
// Encoding

class TOptionBag final : public TComObject<IPropertyBag2> {
public:
    jxr::TEncodeOptions Options;
    bool Frozen = false;  // the frame has taken its options

    HRESULT Write(ULONG Count, PROPBAG2* Bag, VARIANT* Values) override {
        if (Count && (!Bag || !Values)) return E_INVALIDARG;
        if (Frozen) return WINCODEC_ERR_WRONGSTATE;
        for (ULONG i = 0; i < Count; ++i)
            if (HRESULT hr = WriteOne(Bag[i], Values[i]); FAILED(hr)) return hr;
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IPropertyBag2 || Iid == IID_HDPhotoOptions)
            return static_cast<IPropertyBag2*>(this);
        return nullptr;
    }

private:
    HRESULT WriteOne(const PROPBAG2& P, const VARIANT& V) {
        if (!P.pstrName) return E_INVALIDARG;
        const std::u16string_view name(P.pstrName);
        auto is = [&](std::u16string_view n, VARTYPE t) { return name == n && V.vt == t; };
        if (is(u"ImageQuality", VT_R4) || is(u"CompressionQuality", VT_R4)) {
            if (!(V.fltVal >= 0.0f && V.fltVal <= 1.0f)) return E_INVALIDARG;
            // The compression quality has no meaning for this coder.
            if (name == u"ImageQuality") Options.ImageQuality = V.fltVal;
        } else if (is(u"Lossless", VT_BOOL)) {
            Options.Lossless = V.boolVal != VARIANT_FALSE;
        } else if (is(u"UseCodecOptions", VT_BOOL)) {
            Options.UseCodecOptions = V.boolVal != VARIANT_FALSE;
        } else if (is(u"Quality", VT_UI1)) {
            if (V.bVal < 1) return E_INVALIDARG;
            Options.Quality = V.bVal;
        } else if (is(u"Overlap", VT_UI1)) {
            if (V.bVal > 2) return E_INVALIDARG;
            Options.Overlap = V.bVal;
        } else if (is(u"Subsampling", VT_UI1)) {
            if (V.bVal > 3) return E_INVALIDARG;
            Options.Subsampling = V.bVal;
        } else if (is(u"HorizontalTileSlices", VT_UI2) || is(u"VerticalTileSlices", VT_UI2)) {
            if (V.uiVal > 4095) return E_INVALIDARG;
            (name == u"HorizontalTileSlices" ? Options.HorizontalTileSlices : Options.VerticalTileSlices) = V.uiVal;
        } else if (is(u"FrequencyOrder", VT_BOOL)) {
            Options.FrequencyOrder = V.boolVal != VARIANT_FALSE;
        } else if (is(u"TiffCompressionMethod", VT_UI1)) {
            // Taken and ignored: it belongs to another container.
        } else {
            return E_INVALIDARG;
        }
        return S_OK;
    }
};

// What a committed frame leaves for the encoder's Commit.
struct TEncodedFile {
    std::vector<uint8_t> Bytes;
    bool Committed = false;
};

class TFrameEncode final : public TComObject<IWICBitmapFrameEncode> {
public:
    TFrameEncode(ComPtr<TOptionBag> Bag, std::shared_ptr<TEncodedFile> Out)
        : FBag(std::move(Bag)), FOut(std::move(Out)) {}

    HRESULT Initialize(IPropertyBag2* Options) override {
        if (FInitialized) return WINCODEC_ERR_WRONGSTATE;
        if (Options) {
            void* own = nullptr;
            if (FAILED(Options->QueryInterface(IID_HDPhotoOptions, &own)) ||
                own != static_cast<IPropertyBag2*>(FBag.Get())) {
                if (own) static_cast<IUnknown*>(own)->Release();
                return E_INVALIDARG;
            }
            static_cast<IUnknown*>(own)->Release();
            FOptions = FBag->Options;
        }
        FBag->Frozen = true;
        FInitialized = true;
        return S_OK;
    }
    HRESULT SetSize(UINT Width, UINT Height) override {
        if (!FInitialized || !FRows.empty()) return WINCODEC_ERR_WRONGSTATE;
        if (Width == 0 || Height == 0 || static_cast<uint64_t>(Width) * Height > jxr::MaxPixels) return E_INVALIDARG;
        FWidth = Width;
        FHeight = Height;
        return S_OK;
    }
    HRESULT SetResolution(double DpiX, double DpiY) override {
        if (!FInitialized) return WINCODEC_ERR_WRONGSTATE;
        if (!(DpiX > 0) || !(DpiY > 0) || !std::isfinite(DpiX) || !std::isfinite(DpiY)) return E_INVALIDARG;
        FDpiX = DpiX;
        FDpiY = DpiY;
        return S_OK;
    }
    HRESULT SetPixelFormat(WICPixelFormatGUID* Format) override {
        if (!FInitialized || !FRows.empty()) return WINCODEC_ERR_WRONGSTATE;
        if (!Format) return E_INVALIDARG;
        switch (KindOf(*Format)) {
            case TPixelKind::BlackWhite:
            case TPixelKind::Gray8:
            case TPixelKind::Gray16:
            case TPixelKind::BGR24:
            case TPixelKind::RGB48:
            case TPixelKind::CMYK32: FKind = KindOf(*Format); break;
            default: FKind = TPixelKind::BGR24; break;
        }
        *Format = GuidOf(FKind);
        return S_OK;
    }
    HRESULT WritePixels(UINT LineCount, UINT Stride, UINT BufferSize, BYTE* Pixels) override {
        if (!FInitialized || FWidth == 0 || FKind == TPixelKind::Unsupported || FCommitted)
            return WINCODEC_ERR_WRONGSTATE;
        const size_t row = jxr::RowBytes(FKind, FWidth);
        if (!Pixels || LineCount == 0 || Stride < row ||
            static_cast<uint64_t>(Stride) * (LineCount - 1) + row > BufferSize || FLines + LineCount > FHeight)
            return E_INVALIDARG;
        try {
            if (FRows.empty()) FRows.reserve(row * FHeight);
            for (UINT y = 0; y < LineCount; ++y) {
                const BYTE* p = Pixels + static_cast<size_t>(Stride) * y;
                FRows.insert(FRows.end(), p, p + row);
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        FLines += LineCount;
        return S_OK;
    }
    HRESULT Commit() override {
        if (FCommitted || FLines != FHeight || FHeight == 0) return WINCODEC_ERR_WRONGSTATE;
        const size_t row = jxr::RowBytes(FKind, FWidth);
        if (!jxr::Encode(FOptions, FKind, FWidth, FHeight, static_cast<float>(FDpiX), static_cast<float>(FDpiY),
                         FRows.data(), row, FOut->Bytes))
            return E_FAIL;
        FRows = {};
        FCommitted = true;
        FOut->Committed = true;
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IWICBitmapFrameEncode) return static_cast<IWICBitmapFrameEncode*>(this);
        return nullptr;
    }

private:
    ComPtr<TOptionBag> FBag;
    std::shared_ptr<TEncodedFile> FOut;
    jxr::TEncodeOptions FOptions;
    bool FInitialized = false, FCommitted = false;
    UINT FWidth = 0, FHeight = 0, FLines = 0;
    double FDpiX = 96, FDpiY = 96;
    TPixelKind FKind = TPixelKind::Unsupported;
    std::vector<uint8_t> FRows;
};

class TBitmapEncoder final : public TComObject<IWICBitmapEncoder> {
public:
    HRESULT Initialize(IStream* Stream, WICBitmapEncoderCacheOption) override {
        if (FStream) return WINCODEC_ERR_WRONGSTATE;
        if (!Stream) return E_INVALIDARG;
        Stream->AddRef();
        FStream = ComPtr<IStream>::Attach(Stream);
        return S_OK;
    }
    HRESULT CreateNewFrame(IWICBitmapFrameEncode** Frame, IPropertyBag2** Options) override {
        if (!Frame) return E_INVALIDARG;
        *Frame = nullptr;
        if (Options) *Options = nullptr;
        if (!FStream || FCommitted) return WINCODEC_ERR_NOTINITIALIZED;
        // One picture a file.
        if (FFile) return WINCODEC_ERR_UNSUPPORTEDOPERATION;
        FFile = std::make_shared<TEncodedFile>();
        auto bag = ComPtr<TOptionBag>::Attach(new TOptionBag());
        *Frame = new TFrameEncode(bag, FFile);
        if (Options) *Options = bag.Detach();
        return S_OK;
    }
    HRESULT Commit() override {
        if (!FStream || FCommitted) return WINCODEC_ERR_WRONGSTATE;
        if (!FFile || !FFile->Committed) return WINCODEC_ERR_FRAMEMISSING;
        FCommitted = true;
        const std::vector<uint8_t>& b = FFile->Bytes;
        size_t done = 0;
        while (done < b.size()) {
            const ULONG part = static_cast<ULONG>(std::min<size_t>(b.size() - done, 1u << 30));
            ULONG n = 0;
            if (FAILED(FStream->Write(b.data() + done, part, &n)) || n != part) return STG_E_WRITEFAULT;
            done += part;
        }
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IWICBitmapEncoder) return static_cast<IWICBitmapEncoder*>(this);
        return nullptr;
    }

private:
    ComPtr<IStream> FStream;
    std::shared_ptr<TEncodedFile> FFile;
    bool FCommitted = false;
};

// ---------------------------------------------------------------------------------------
// The factory

// Reads the stream from its position to its end, then puts the position back.
HRESULT ReadRest(IStream* Stream, std::vector<uint8_t>& Data) {
    STATSTG st;
    ULARGE_INTEGER pos{};
    LARGE_INTEGER zero{};
    zero.QuadPart = 0;
    if (FAILED(Stream->Stat(&st, STATFLAG_NONAME)) || FAILED(Stream->Seek(zero, STREAM_SEEK_CUR, &pos)))
        return STG_E_READFAULT;
    if (pos.QuadPart >= st.cbSize.QuadPart) return WINCODEC_ERR_UNKNOWNIMAGEFORMAT;
    const uint64_t left = st.cbSize.QuadPart - pos.QuadPart;
    if (left > (1ull << 31)) return E_OUTOFMEMORY;
    try {
        Data.resize(static_cast<size_t>(left));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    ULONG n = 0;
    const HRESULT hr = Stream->Read(Data.data(), static_cast<ULONG>(left), &n);
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<LONGLONG>(pos.QuadPart);
    Stream->Seek(back, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return STG_E_READFAULT;
    Data.resize(n);
    return S_OK;
}

class TImagingFactory final : public TComObject<IWICImagingFactory> {
public:
    HRESULT CreateDecoderFromStream(IStream* Stream, const GUID* Vendor, WICDecodeOptions,
                                    IWICBitmapDecoder** Decoder) override {
        if (!Decoder) return E_INVALIDARG;
        *Decoder = nullptr;
        if (!Stream) return E_INVALIDARG;
        if (Vendor && *Vendor != CLSID_WICWmpDecoder && *Vendor != GUID_VendorMicrosoft)
            return WINCODEC_ERR_COMPONENTNOTFOUND;
        auto file = std::make_shared<TDecodedFile>();
        if (HRESULT hr = ReadRest(Stream, file->Data); FAILED(hr)) return hr;
        const std::vector<uint8_t>& d = file->Data;
        if (d.size() < 4 || d[0] != 'I' || d[1] != 'I' || d[2] != 0xBC) return WINCODEC_ERR_COMPONENTNOTFOUND;
        if (!jxr::ReadInfo(d.data(), d.size(), file->Info)) return WINCODEC_ERR_BADIMAGE;
        *Decoder = new TBitmapDecoder(std::move(file));
        return S_OK;
    }
    HRESULT CreateEncoder(const GUID& ContainerFormat, const GUID* Vendor, IWICBitmapEncoder** Encoder) override {
        if (!Encoder) return E_INVALIDARG;
        *Encoder = nullptr;
        if (ContainerFormat != GUID_ContainerFormatWmp || (Vendor && *Vendor != GUID_VendorMicrosoft))
            return WINCODEC_ERR_COMPONENTNOTFOUND;
        *Encoder = new TBitmapEncoder();
        return S_OK;
    }
    HRESULT CreateFormatConverter(IWICFormatConverter** Converter) override {
        if (!Converter) return E_INVALIDARG;
        *Converter = new TFormatConverter();
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        if (Iid == IID_IUnknown || Iid == IID_IWICImagingFactory) return static_cast<IWICImagingFactory*>(this);
        return nullptr;
    }
};

}  // namespace

HRESULT WICCreateImagingFactory(const IID& Iid, void** Object) {
    if (!Object) return E_POINTER;
    *Object = nullptr;
    auto factory = ComPtr<TImagingFactory>::Attach(new TImagingFactory());
    return factory->QueryInterface(Iid, Object);
}

}  // namespace win
