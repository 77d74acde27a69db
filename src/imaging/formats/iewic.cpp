// HD Photo through the platform's imaging component.
#include "imaging/formats/iewic.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/core/hyieutils_exif.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/tifprobes.h"

namespace ie {

using namespace win;

namespace {

// The component's factory, or null when it cannot be created.
ComPtr<IWICImagingFactory> CreateFactory() {
    ComPtr<IWICImagingFactory> f;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(f.ReleaseAndGetAddressOf()))))
        f.Reset();
    return f;
}

struct TFileTypeIds {
    int32_t FileType;
    const CLSID* Decoder;
    const GUID* Container;  // null: not written
};
// clang-format off
const TFileTypeIds kFileTypes[] = {
    {ioTIFF, &CLSID_WICTiffDecoder, &GUID_ContainerFormatTiff}, {ioGIF, &CLSID_WICGifDecoder, &GUID_ContainerFormatGif},
    {ioJPEG, &CLSID_WICJpegDecoder, &GUID_ContainerFormatJpeg}, {ioBMP, &CLSID_WICBmpDecoder, &GUID_ContainerFormatBmp},
    {ioICO, &CLSID_WICIcoDecoder, nullptr},                     {ioPNG, &CLSID_WICPngDecoder, &GUID_ContainerFormatPng},
    {ioHDP, &CLSID_WICWmpDecoder, &GUID_ContainerFormatWmp},
};
// clang-format on
const TFileTypeIds* IdsOf(int32_t FileType) {
    for (const TFileTypeIds& t : kFileTypes)
        if (t.FileType == FileType) return &t;
    return nullptr;
}

// The TIFF compression table of the writer's option: each index is its own value.
constexpr uint8_t kTiffCompression[] = {0, 1, 2, 3, 4, 5, 6};

}  // namespace

bool IEWICAvailableOnce() {
    static std::once_flag once;
    static bool available = false;
    std::call_once(once, [] {
        const bool ole = SUCCEEDED(OleInitialize(nullptr));
        available = static_cast<bool>(CreateFactory());
        if (ole) OleUninitialize();
    });
    return available;
}

// ---------------------------------------------------------------------------------------
// Reader

TIEWICReader::TIEWICReader() : DpiX(IEDefaultDpiX), DpiY(IEDefaultDpiY) {
    FOleInitialized = SUCCEEDED(OleInitialize(nullptr));
    FFactory = CreateFactory();
}

TIEWICReader::~TIEWICReader() {
    Close();
    FFactory.Reset();
    if (FOleInitialized) OleUninitialize();
}

bool TIEWICReader::IsAvailable() const { return FFactory && IEWICAvailable && IEWICAvailable(); }

bool TIEWICReader::Open(cl::TStream* Stream, int32_t FileType) {
    if (!IsAvailable() || !Stream) return false;
    FStream = Stream;
    FStartPosition = Stream->GetPosition();
    const TFileTypeIds* ids = IdsOf(FileType);
    if (!ids) return false;
    Close();
    auto adapter = cl::TStreamAdapter::Create(Stream);
    if (FAILED(FFactory->CreateDecoderFromStream(adapter.Get(), ids->Decoder, WICDecodeMetadataCacheOnLoad,
                                                 FDecoder.ReleaseAndGetAddressOf())))
        FDecoder.Reset();
    return static_cast<bool>(FDecoder);
}

void TIEWICReader::ReadFrame(int32_t Index, TIEBitmap* Bitmap, std::atomic<bool>* Aborting, TIOParamsVals* Params) {
    auto fail = [&] {
        if (Aborting) Aborting->store(true);
    };
    if (!IsAvailable() || !FDecoder || !Bitmap || Index < 0) return fail();
    if (FAILED(FDecoder->GetFrame(static_cast<UINT>(Index), FFrame.ReleaseAndGetAddressOf())) || !FFrame) {
        FFrame.Reset();
        return fail();
    }
    double dx = 0, dy = 0;
    if (FAILED(FFrame->GetResolution(&dx, &dy))) return fail();
    DpiX = dx;
    DpiY = dy;
    const bool native = !Params || Params->NativePixelFormat;
    bool copied = false;
    if (Params && Params->GetThumbnail) {
        ComPtr<IWICBitmapSource> thumb;
        if (SUCCEEDED(FFrame->GetThumbnail(thumb.ReleaseAndGetAddressOf())) && thumb) {
            if (!CopyFrameToBitmap(thumb.Get(), Bitmap, native)) return fail();
            copied = true;
        }
    }
    if (!copied && !CopyFrameToBitmap(FFrame.Get(), Bitmap, native)) return fail();
    if (!Params) return;
    if (FStream) {
        const int64_t at = FStream->GetPosition();
        FStream->SetPosition(FStartPosition);
        IELoadEXIFFromTIFF(FStream, *Params);
        FStream->SetPosition(at);
    }
    const int32_t channels = std::max<int32_t>(1, Bitmap->GetChannelCount());
    Params->BitsPerSample = Bitmap->GetBitCount() / channels;
    Params->SamplesPerPixel = channels;
    Params->OriginalWidth = GetFrameWidth();
    Params->OriginalHeight = GetFrameHeight();
    Params->Width = Bitmap->GetWidth();
    Params->Height = Bitmap->GetHeight();
    // Truncated: 299.9 dots per inch are 299.
    auto dpi = [](double V, int32_t Default) {
        return std::isfinite(V) && V >= 1 && V < 2147483647.0 ? static_cast<int32_t>(V) : Default;
    };
    Params->SetDpiX(dpi(DpiX, IEDefaultDpiX));
    Params->SetDpiY(dpi(DpiY, IEDefaultDpiY));
    Params->FreeColorMap();
}

bool TIEWICReader::CopyFrameToBitmap(IWICBitmapSource* Source, TIEBitmap* Bitmap, bool NativeFormat) {
    if (!Source || !Bitmap || !FFactory) return false;
    WICPixelFormatGUID from;
    if (FAILED(Source->GetPixelFormat(&from))) return false;
    struct Choice {
        const GUID* From;
        const GUID* Native;
        TIEPixelFormat NativeFormat;
        bool AlwaysNative;  // the same target without NativeFormat
    };
    static const Choice kChoices[] = {
        {&GUID_WICPixelFormatBlackWhite, &GUID_WICPixelFormatBlackWhite, ie1g, true},
        {&GUID_WICPixelFormat1bppIndexed, &GUID_WICPixelFormat8bppIndexed, ie8p, false},
        {&GUID_WICPixelFormat8bppGray, &GUID_WICPixelFormat8bppGray, ie8g, false},
        {&GUID_WICPixelFormat16bppGray, &GUID_WICPixelFormat16bppGray, ie16g, false},
        {&GUID_WICPixelFormat48bppRGB, &GUID_WICPixelFormat48bppRGB, ieRGB48, false},
        {&GUID_WICPixelFormat32bppCMYK, &GUID_WICPixelFormat32bppCMYK, ieCMYK, false},
    };
    const GUID* target = &GUID_WICPixelFormat24bppBGR;
    TIEPixelFormat format = ie24RGB;
    for (const Choice& c : kChoices)
        if (*c.From == from && (NativeFormat || c.AlwaysNative)) {
            target = c.Native;
            format = c.NativeFormat;
        }
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(FFactory->CreateFormatConverter(converter.ReleaseAndGetAddressOf())) || !converter) return false;
    if (FAILED(
            converter->Initialize(Source, *target, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return false;
    UINT w = 0, h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
    if (!Bitmap->Allocate(static_cast<int32_t>(w), static_cast<int32_t>(h), format) ||
        Bitmap->GetWidth() != static_cast<int32_t>(w) || Bitmap->GetHeight() != static_cast<int32_t>(h))
        return false;
    const int32_t rowLen = Bitmap->GetRowLen();
    for (int32_t r = 0; r < static_cast<int32_t>(h); ++r) {
        const WICRect rect{0, r, static_cast<int32_t>(w), 1};
        auto* row = static_cast<BYTE*>(Bitmap->GetScanline(r));
        if (FAILED(converter->CopyPixels(&rect, static_cast<UINT>(rowLen), static_cast<UINT>(rowLen), row)))
            return false;
        // The bitmap keeps CMYK inverted.
        if (format == ieCMYK)
            for (int32_t i = 0; i < 4 * static_cast<int32_t>(w); ++i) row[i] = static_cast<BYTE>(255 - row[i]);
    }
    return true;
}

int32_t TIEWICReader::GetFrameWidth() {
    UINT w = 0, h = 0;
    if (!FFrame || FAILED(FFrame->GetSize(&w, &h))) return 0;
    return static_cast<int32_t>(w);
}

int32_t TIEWICReader::GetFrameHeight() {
    UINT w = 0, h = 0;
    if (!FFrame || FAILED(FFrame->GetSize(&w, &h))) return 0;
    return static_cast<int32_t>(h);
}

void TIEWICReader::Close() {
    FFrame.Reset();
    FDecoder.Reset();
}

// ---------------------------------------------------------------------------------------
// Writer

TIEWICWriter::TIEWICWriter() : DpiX(IEDefaultDpiX), DpiY(IEDefaultDpiY) {
    FOleInitialized = SUCCEEDED(OleInitialize(nullptr));
    FFactory = CreateFactory();
}

TIEWICWriter::~TIEWICWriter() {
    Close();
    FFactory.Reset();
    if (FOleInitialized) OleUninitialize();
}

bool TIEWICWriter::Open(cl::TStream* Stream, int32_t FileType) {
    if (!IsAvailable() || !Stream) return false;
    FStream = Stream;
    FStartPosition = Stream->GetPosition();
    const TFileTypeIds* ids = IdsOf(FileType);
    if (!ids || !ids->Container) return false;
    FEncoder.Reset();
    if (FAILED(FFactory->CreateEncoder(*ids->Container, &GUID_VendorMicrosoft, FEncoder.ReleaseAndGetAddressOf())) ||
        !FEncoder) {
        FEncoder.Reset();
        return false;
    }
    auto adapter = cl::TStreamAdapter::Create(Stream);
    if (FAILED(FEncoder->Initialize(adapter.Get(), WICBitmapEncoderNoCache))) {
        FEncoder.Reset();
        return false;
    }
    return true;
}

bool TIEWICWriter::WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* Params) {
    if (!FEncoder || !Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return false;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> bag;
    if (FAILED(FEncoder->CreateNewFrame(frame.ReleaseAndGetAddressOf(), bag.ReleaseAndGetAddressOf())) || !frame ||
        !bag)
        return false;
    if (Params) {
        DpiX = Params->DpiX > 0 ? Params->DpiX : IEDefaultDpiX;
        DpiY = Params->DpiY > 0 ? Params->DpiY : IEDefaultDpiY;
        ImageQuality = Params->HDPhotoQuality;
        Lossless = Params->HDPhotoLossless;
    }
    IPropertyBag2* b = bag.Get();
    bool ok = true;
    auto option = [&](const char16_t* Name, double Value, VARTYPE Type) {
        if (ok) ok = SUCCEEDED(IEWICWriteOption(b, Name, Value, Type));
    };
    if (ImageQuality >= 0) option(u"ImageQuality", ImageQuality, VT_R4);
    if (CompressionQuality >= 0) option(u"CompressionQuality", CompressionQuality, VT_R4);
    option(u"Lossless", Lossless, VT_BOOL);
    if (UseCodecOptions) {
        option(u"UseCodecOptions", 1, VT_BOOL);
        option(u"Quality", Quality, VT_UI1);
        option(u"Overlap", Overlap, VT_UI1);
        option(u"Subsampling", Subsampling, VT_UI1);
    }
    option(u"HorizontalTileSlices", HorizontalTileSlices, VT_UI2);
    option(u"VerticalTileSlices", VerticalTileSlices, VT_UI2);
    option(u"FrequencyOrder", FrequencyOrder, VT_BOOL);
    option(u"TiffCompressionMethod", kTiffCompression[TiffCompressionMethod < 7 ? TiffCompressionMethod : 1], VT_UI1);
    if (!ok) return false;

    // Pixel formats the component takes as they are; any other is written as 24-bit.
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* source = Bitmap;
    const GUID* format = nullptr;
    switch (Bitmap->GetPixelFormat()) {
        case ie1g: format = &GUID_WICPixelFormatBlackWhite; break;
        case ie8g: format = &GUID_WICPixelFormat8bppGray; break;
        case ie16g: format = &GUID_WICPixelFormat16bppGray; break;
        case ie24RGB: format = &GUID_WICPixelFormat24bppBGR; break;
        case ieCMYK: format = &GUID_WICPixelFormat32bppCMYK; break;
        case ieRGB48: format = &GUID_WICPixelFormat48bppRGB; break;
        default:
            source = IEWorkingCopy(Bitmap, ie24RGB, holder);
            format = &GUID_WICPixelFormat24bppBGR;
            break;
    }
    if (!source) return false;
    const UINT w = static_cast<UINT>(source->GetWidth()), h = static_cast<UINT>(source->GetHeight());
    WICPixelFormatGUID asked = *format;
    if (FAILED(frame->Initialize(b)) || FAILED(frame->SetSize(w, h)) || FAILED(frame->SetResolution(DpiX, DpiY)) ||
        FAILED(frame->SetPixelFormat(&asked)) || asked != *format)
        return false;
    const int32_t rowLen = source->GetRowLen();
    const bool cmyk = source->GetPixelFormat() == ieCMYK;
    std::vector<BYTE> row(cmyk ? static_cast<size_t>(rowLen) : 0);
    for (int32_t y = 0; y < static_cast<int32_t>(h); ++y) {
        auto* p = static_cast<BYTE*>(source->GetScanline(y));
        if (cmyk) {
            // The bitmap keeps CMYK inverted; the component takes ink amounts.
            for (int32_t i = 0; i < rowLen; ++i) row[static_cast<size_t>(i)] = static_cast<BYTE>(255 - p[i]);
            p = row.data();
        }
        if (FAILED(frame->WritePixels(1, static_cast<UINT>(rowLen), static_cast<UINT>(rowLen), p))) return false;
    }
    return SUCCEEDED(frame->Commit());
}

bool TIEWICWriter::Close() {
    if (!FEncoder) return true;
    const bool ok = SUCCEEDED(FEncoder->Commit());
    FEncoder.Reset();
    return ok;
}

HRESULT IEWICWriteOption(IPropertyBag2* Options, const char16_t* Name, double Value, VARTYPE VarType) {
    if (!Options) return E_POINTER;
    PROPBAG2 entry;
    entry.dwType = PROPBAG2_TYPE_DATA;
    entry.vt = VarType;
    entry.pstrName = Name;
    VARIANT v;
    v.vt = VarType;
    switch (VarType) {
        case VT_R4: v.fltVal = static_cast<float>(Value); break;
        case VT_BOOL: v.boolVal = Value != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_UI1: v.bVal = static_cast<BYTE>(std::clamp(Value, 0.0, 255.0)); break;
        case VT_UI2: v.uiVal = static_cast<USHORT>(std::clamp(Value, 0.0, 65535.0)); break;
        default: return E_INVALIDARG;
    }
    return Options->Write(1, &entry, &v);
}

// ---------------------------------------------------------------------------------------
// Stream functions

void IEReadHDPhotoStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                         bool /*PreviewOnly*/) {
    Progress.Report(0);
    try {
        TIEWICReader reader;
        if (!reader.Open(Stream, ioHDP))
            Progress.Abort();
        else
            reader.ReadFrame(Params.ImageIndex, Bitmap, Progress.Aborting, &Params);
    } catch (const std::exception&) {
        Progress.Abort();
    }
    Progress.Report(100);
}

void IEWriteHDPhotoStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    if (!(IEWICAvailable && IEWICAvailable())) {
        Progress.Abort();
        return;
    }
    Progress.Report(0);
    const int64_t at = Stream->GetPosition();
    bool ok = false;
    try {
        TIEWICWriter writer;
        ok = writer.Open(Stream, ioHDP) && writer.WriteFrame(Bitmap, &Params);
        // The file is complete only once committed.
        ok = writer.Close() && ok;
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) Progress.Abort();
    try {
        Stream->SetPosition(at);
        // The EXIF tags go into a file that was written completely, never over a failed one.
        if (ok && !IECopyEXIFTagsToTIFF(Stream, Stream, "", Params, 0, "")) Progress.Abort();
    } catch (const std::exception&) {
        Progress.Abort();
    }
    Progress.Report(100);
}

namespace {

void ReadHDP(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadHDPhotoStream(Stream, Bitmap, Params, Progress, Context.PreviewOnly);
    Context.ImageCount = 1;
}

void WriteHDP(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWriteHDPhotoStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEHDPRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsHDPhotoStream;
    ops.Read = &ReadHDP;
    ops.Write = &WriteHDP;
    IESetFormatOps(ioHDP, ops);
}

}  // namespace ie
