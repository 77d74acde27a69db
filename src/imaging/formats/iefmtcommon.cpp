// Helpers shared by the codecs of this folder.
#include "imaging/formats/iefmtcommon.h"

#include <cmath>
#include <cstring>

#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/bmpfilt.h"
#include "imaging/formats/camerarawfilt.h"
#include "imaging/formats/giffilter.h"
#include "imaging/formats/icofilt.h"
#include "imaging/formats/iebmpraw.h"
#include "imaging/formats/iedicom.h"
#include "imaging/formats/iej2000.h"
#include "imaging/formats/iepsd.h"
#include "imaging/formats/ietgafil.h"
#include "imaging/formats/iewic.h"
#include "imaging/formats/jpegfilt.h"
#include "imaging/formats/metafilt.h"
#include "imaging/formats/pcxfilter.h"
#include "imaging/formats/pdffilt.h"
#include "imaging/formats/pngfilt.h"
#include "imaging/formats/psfilt.h"
#include "imaging/formats/pxmfilt.h"
#include "imaging/formats/tifccitt.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiflzw.h"
#include "imaging/formats/wbmpfilt.h"
#include "imaging/io/vovozidio_gif.h"
#include "imaging/io/vovozidio_startup.h"

namespace ie {

bool IEReadChecked(cl::TStream* Stream, TProgressRec& Progress, void* Buffer, int64_t Count) {
    if (Count <= 0) return true;
    auto* p = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        const int64_t n = Stream->Read(p + done, Count - done);
        if (n <= 0) break;
        done += n;
    }
    if (done == Count) return true;
    Progress.Abort();
    return false;
}

void IEWriteChecked(cl::TStream* Stream, TProgressRec& Progress, const void* Buffer, int64_t Count) {
    if (Count <= 0 || Progress.IsAborting()) return;
    if (Stream->Write(Buffer, Count) != Count) Progress.Abort();
}

int64_t IEBytesLeft(cl::TStream* Stream) {
    const int64_t left = Stream->GetSize() - Stream->GetPosition();
    return left > 0 ? left : 0;
}

int64_t TIEByteReader::Left() { return IEBytesLeft(FStream) + (FLen - FPos); }

int32_t IEPpmToDpi(int64_t PixelsPerMetre, int32_t Default) {
    const double dpi = std::nearbyint(static_cast<double>(PixelsPerMetre) / 100.0 * 2.54);
    if (!(dpi >= 1) || dpi > 2147483647.0) return Default;
    return static_cast<int32_t>(dpi);
}

uint32_t IEDpiToPpm(int32_t Dpi) {
    if (Dpi < 1 || Dpi > 1000000) return 0;
    return static_cast<uint32_t>(std::nearbyint(Dpi / 2.54 * 100.0));
}

bool IETwoColorsTo1Bit(TIEBitmap* Source, TIEBitmap* Dest, TRGB& Dark, TRGB& Light) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    if (w <= 0 || h <= 0) return false;
    TRGB c[2];
    int32_t n = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const TRGB p = Source->GetPixelRGB(x, y);
            if (n > 0 && p == c[0]) continue;
            if (n > 1 && p == c[1]) continue;
            if (n == 2) return false;
            c[n++] = p;
        }
    if (n != 2) return false;
    const bool firstDark = IERGBToGray(c[0]) <= IERGBToGray(c[1]);
    Dark = firstDark ? c[0] : c[1];
    Light = firstDark ? c[1] : c[0];
    if (!Dest->Allocate(w, h, ie1g)) return false;
    for (int32_t y = 0; y < h; ++y) {
        // GetPixelRGB may map another row of a file-held source: build the row first.
        std::vector<uint8_t> row(static_cast<size_t>((w + 7) / 8), 0);
        for (int32_t x = 0; x < w; ++x)
            if (Source->GetPixelRGB(x, y) == Light)
                row[static_cast<size_t>(x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
        std::memcpy(Dest->GetScanline(y), row.data(), row.size());
    }
    return true;
}

TIEBitmap* IEWorkingCopy(TIEBitmap* Source, TIEPixelFormat Format, std::unique_ptr<TIEBitmap>& Holder) {
    if (Source->GetPixelFormat() == Format) return Source;
    // A whole copy converted in place: the caller's bitmap is never touched.
    Holder = std::make_unique<TIEBitmap>();
    Holder->Assign(Source);
    Holder->RemoveAlphaChannel(false, 0);
    if (Holder->GetWidth() != Source->GetWidth() || Holder->GetHeight() != Source->GetHeight() ||
        !Holder->SetPixelFormat(Format) || Holder->GetPixelFormat() != Format) {
        Holder.reset();
        return nullptr;
    }
    return Holder.get();
}

TIEBitmap* IEBlackAndWhiteCopy(TIEBitmap* Source, std::unique_ptr<TIEBitmap>& Holder) {
    if (Source->GetPixelFormat() == ie1g) return Source;
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    Holder = std::make_unique<TIEBitmap>();
    if (!Holder->Allocate(w, h, ie1g)) {
        Holder.reset();
        return nullptr;
    }
    std::vector<uint8_t> row(static_cast<size_t>((w + 7) / 8));
    for (int32_t y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int32_t x = 0; x < w; ++x)
            if (IERGBToGray(Source->GetPixelRGB(x, y)) >= 128)
                row[static_cast<size_t>(x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
        std::memcpy(Holder->GetScanline(y), row.data(), row.size());
    }
    return Holder.get();
}

void IEReportRows(TProgressRec& Progress, int32_t Rows, int32_t& Last) {
    const int32_t percent = static_cast<int32_t>(Rows * Progress.Per);
    if (percent == Last) return;
    Last = percent;
    Progress.Report(percent);
}

TIEFaxEncoders IEFaxEncoders;

namespace {

// The fax coder keeps its reference row in a vector; the writers carry an untyped state,
// which owns that vector from the first row until the closing call (null Row) frees it.
template <void (*Encode)(const uint8_t*, int32_t, cl::TStream*, int32_t, bool&, std::vector<uint8_t>&, int32_t&,
                         uint8_t&)>
void FaxRowAdapter(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                   void*& ReferenceRow, int32_t& PendingBits, uint8_t& PendingByte) {
    std::unique_ptr<std::vector<uint8_t>> reference(static_cast<std::vector<uint8_t>*>(ReferenceRow));
    ReferenceRow = nullptr;
    if (!reference) reference = std::make_unique<std::vector<uint8_t>>();
    Encode(Row, Width, Stream, FillOrder, Error, *reference, PendingBits, PendingByte);
    if (Row) ReferenceRow = reference.release();
}

// The fax and TIFF LZW coders become the writers' and the parameters' defaults.
void BindDocumentCoders() {
    IEFaxEncoders.G3Row = &FaxRowAdapter<&IECCITTEncodeG3Row>;
    IEFaxEncoders.G4Row = &FaxRowAdapter<&IECCITTEncodeG4Row>;
    // The engine's start-up copied the coder table before the codecs register: bound here too.
    IEBuiltInLZWCoders.TIFFDecompress = &IETIFFLZWDecompress;
    IEBuiltInLZWCoders.TIFFCompress = &IETIFFLZWCompress;
    IEDefTIFFLZWDecompress = &IETIFFLZWDecompress;
    IEDefTIFFLZWCompress = &IETIFFLZWCompress;
}

}  // namespace

bool IEFaxEncodeBitmap(TIEBitmap* Bitmap, bool Group4, std::vector<uint8_t>& Out, TProgressRec& Progress) {
    Out.clear();
    const TIEFaxRowEncoder encode = Group4 ? IEFaxEncoders.G4Row : IEFaxEncoders.G3Row;
    if (!encode) return false;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    cl::TMemoryStream coded;
    bool error = false;
    void* reference = nullptr;
    int32_t pendingBits = 0;
    uint8_t pendingByte = 0;
    int32_t last = -1;
    for (int32_t y = 0; y < h && !error && !Progress.IsAborting(); ++y) {
        encode(static_cast<const uint8_t*>(Bitmap->GetScanline(y)), w, &coded, 1, error, reference, pendingBits,
               pendingByte);
        IEReportRows(Progress, y + 1, last);
    }
    // The closing call also frees the reference row of an interrupted run.
    encode(nullptr, w, &coded, 1, error, reference, pendingBits, pendingByte);
    if (error || Progress.IsAborting()) {
        Progress.Abort();
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(coded.GetMemory());
    Out.assign(p, p + coded.GetSize());
    Out.resize((Out.size() + 3) / 4 * 4, 0);
    return true;
}

bool IEParseJPEGFrame(const uint8_t* Data, int64_t Size, TIEJPEGFrameInfo& Info) {
    Info = TIEJPEGFrameInfo();
    if (Size < 4 || Data[0] != 0xFF || Data[1] != 0xD8) return false;
    int64_t i = 2;
    while (i + 4 <= Size) {
        if (Data[i] != 0xFF) return false;
        const uint8_t marker = Data[i + 1];
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA) return false;  // no frame before the scan
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        const int64_t len = (Data[i + 2] << 8) | Data[i + 3];
        if (len < 2 || i + 2 + len > Size) return false;
        const uint8_t* seg = Data + i + 4;
        const int64_t segLen = len - 2;
        if (marker == 0xEE && segLen >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
            Info.Adobe = true;
            Info.Transform = seg[11];
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (segLen < 6) return false;
            Info.Precision = seg[0];
            Info.Height = (seg[1] << 8) | seg[2];
            Info.Width = (seg[3] << 8) | seg[4];
            Info.Components = seg[5];
            return Info.Width > 0 && Info.Height > 0 &&
                   (Info.Components == 1 || Info.Components == 3 || Info.Components == 4) &&
                   segLen >= 6 + 3 * Info.Components;
        }
        i += 2 + len;
    }
    return false;
}

bool IEJPEGWriterAvailable() {
    TIEFileFormatInfo* e = IEFindFormatInfo(ioJPEG);
    return e && e->Ops.Write;
}

bool IEEncodeJPEGPage(TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, std::vector<uint8_t>& Out,
                      TIEJPEGFrameInfo& Info) {
    Out.clear();
    TIEFileFormatInfo* e = IEFindFormatInfo(ioJPEG);
    if (!e || !e->Ops.Write) return false;
    cl::TMemoryStream jpeg;
    TIEWriteContext context;
    e->Ops.Write(&jpeg, Bitmap, Params, Progress, context);
    const auto* p = static_cast<const uint8_t*>(jpeg.GetMemory());
    if (Progress.IsAborting() || !p || !IEParseJPEGFrame(p, jpeg.GetSize(), Info) || Info.Precision != 8) {
        Progress.Abort();
        return false;
    }
    Out.assign(p, p + jpeg.GetSize());
    return true;
}

TIEBitmap* IEDocumentPageSource(TIEBitmap* Source, std::unique_ptr<TIEBitmap>& Holder, TProgressRec& Progress) {
    if (!Source || Source->GetWidth() < 1 || Source->GetHeight() < 1) {
        Progress.Abort();
        return nullptr;
    }
    if (Source->GetPixelFormat() == ie1g || Source->GetPixelFormat() == ie24RGB) return Source;
    TIEBitmap* page = IEWorkingCopy(Source, ie24RGB, Holder);
    if (!page) Progress.Abort();
    return page;
}

void IERegisterFormatsCodecs() {
    BindDocumentCoders();
    IEBMPRegisterFormat();
    IEPXMRegisterFormat();
    IEWBMPRegisterFormat();
    IEBMPRAWRegisterFormat();
    IEPNGRegisterFormat();
    IEICORegisterFormat();
    IEMetafileRegisterFormats();
    IEPSRegisterFormat();
    IEPDFRegisterFormat();
    IEJPEGRegisterFormat();
    IEGIFRegisterFormat();
    // GIF loads go through the engine's frame loader, which composes animation frames.
    IEGIFRegisterFrameLoader();
    IETGARegisterFormat();
    IEPSDRegisterFormat();
    IEHDPRegisterFormat();
    IETIFFRegisterFormat();
    IEJ2000RegisterFormat();
    IEDICOMRegisterFormat();
    IEPCXRegisterFormat();
    IERAWRegisterFormat();
}

}  // namespace ie
