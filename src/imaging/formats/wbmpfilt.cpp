// Wireless bitmaps.
#include "imaging/formats/wbmpfilt.h"

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/formats/iefmtcommon.h"

namespace ie {

int64_t IEReadWBMPInteger(cl::TStream* Stream) {
    int64_t v = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b;
        if (Stream->Read(&b, 1) != 1) return -1;
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) return v;
    }
    return -1;
}

void IEReadWBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                      TProgressRec& Progress) {
    const int64_t type = IEReadWBMPInteger(Stream);
    const int64_t fixed = IEReadWBMPInteger(Stream);
    const int64_t w = IEReadWBMPInteger(Stream);
    const int64_t h = IEReadWBMPInteger(Stream);
    if (type != 0 || fixed != 0 || w < 1 || h < 1 || w > IEWBMPMaxSide || h > IEWBMPMaxSide) {
        Progress.Abort();
        return;
    }
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
    Params.Width = Params.OriginalWidth = static_cast<int32_t>(w);
    Params.Height = Params.OriginalHeight = static_cast<int32_t>(h);
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.FreeColorMap();
    if (PreviewOnly) return;
    const int64_t rowBytes = (w + 7) / 8;
    if (rowBytes * h > IEBytesLeft(Stream)) {
        Progress.Abort();
        return;
    }
    Progress.Per = 100.0 / static_cast<double>(h);
    if (!Bitmap->Allocate(static_cast<int32_t>(w), static_cast<int32_t>(h), ie1g)) {
        Progress.Abort();
        return;
    }
    for (int32_t y = 0; y < h; ++y) {
        if (!IEReadChecked(Stream, Progress, Bitmap->GetScanline(y), rowBytes)) return;
        Progress.ReportRows(y);
        if (Progress.IsAborting()) return;
    }
}

namespace {

void WriteInteger(std::vector<uint8_t>& Out, uint32_t V) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(V & 0x7F);
        V >>= 7;
    } while (V);
    while (n > 1) Out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    Out.push_back(groups[0]);
}

}  // namespace

void IEWriteWBMPStream(cl::TStream* Stream, TIEBitmap* Bitmap, TProgressRec& Progress) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w < 1 || h < 1 || w > IEWBMPMaxSide || h > IEWBMPMaxSide) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* src = IEBlackAndWhiteCopy(Bitmap, holder);
    if (!src) {
        Progress.Abort();
        return;
    }
    std::vector<uint8_t> head = {0, 0};
    WriteInteger(head, static_cast<uint32_t>(w));
    WriteInteger(head, static_cast<uint32_t>(h));
    IEWriteChecked(Stream, Progress, head.data(), static_cast<int64_t>(head.size()));
    Progress.Per = 100.0 / h;
    const int32_t rowBytes = (w + 7) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
        std::memcpy(row.data(), src->GetScanline(y), row.size());
        if (w & 7) row.back() &= static_cast<uint8_t>(0xFF00 >> (w & 7));
        IEWriteChecked(Stream, Progress, row.data(), rowBytes);
        Progress.ReportRows(y);
    }
}

namespace {

void ReadWBMP(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEReadContext& Context) {
    IEReadWBMPStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress);
    Context.ImageCount = 1;
}

void WriteWBMP(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TProgressRec& Progress, TIEWriteContext&) {
    IEWriteWBMPStream(Stream, Bitmap, Progress);
}

}  // namespace

void IEWBMPRegisterFormat() {
    TIEFormatOps ops;
    ops.Read = &ReadWBMP;
    ops.Write = &WriteWBMP;
    IESetFormatOps(ioWBMP, ops);
}

}  // namespace ie
