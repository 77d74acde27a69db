// Helpers shared by the codecs of this folder.
#include "imaging/formats/iefmtcommon.h"

#include <cmath>
#include <cstring>

#include "imaging/formats/bmpfilt.h"
#include "imaging/formats/iebmpraw.h"
#include "imaging/formats/icofilt.h"
#include "imaging/formats/pngfilt.h"
#include "imaging/formats/pxmfilt.h"
#include "imaging/formats/wbmpfilt.h"
#include "imaging/processing/vovozidproc_helpers.h"

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
            if (Source->GetPixelRGB(x, y) == Light) row[static_cast<size_t>(x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
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
            if (IERGBToGray(Source->GetPixelRGB(x, y)) >= 128) row[static_cast<size_t>(x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
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

void IERegisterFormatsCodecs() {
    IEBMPRegisterFormat();
    IEPXMRegisterFormat();
    IEWBMPRegisterFormat();
    IEBMPRAWRegisterFormat();
    IEPNGRegisterFormat();
    IEICORegisterFormat();
}

}  // namespace ie
