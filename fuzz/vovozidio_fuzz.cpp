// The input/output engine on any bytes: content detection from two positions, the loads
// it dispatches to (stream headers included, through a small reader standing in for the
// framed formats), the parameter reads, and the Photoshop resolution record of an APP13
// marker.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"

namespace {

// Reads "FZ", a width and a height byte, then width x height grey bytes.
void SmallRead(cl::TStream* Stream, ie::TIEBitmap* Bitmap, ie::TIOParamsVals& Params, ie::TProgressRec& Progress,
               ie::TIEReadContext& Context) {
    uint8_t h[4];
    if (Stream->Read(h, 4) != 4 || h[0] != 'F' || h[1] != 'Z' || !h[2] || !h[3]) {
        Progress.Abort();
        return;
    }
    Params.Width = h[2];
    Params.Height = h[3];
    if (Context.PreviewOnly) return;
    if (!Bitmap->Allocate(h[2], h[3], ie::ie8g)) {
        Progress.Abort();
        return;
    }
    for (int y = 0; y < h[3]; ++y)
        if (Stream->Read(Bitmap->GetScanline(y), h[2]) != h[2]) {
            Progress.Abort();
            return;
        }
}

void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    ie::VovozIdIOStaticInit();
    ie::TIEFormatOps ops;
    ops.Read = &SmallRead;
    for (int32_t type : {ie::ioJPEG, ie::ioTIFF, ie::ioPCX, ie::ioBMP, ie::ioGIF}) ie::IESetFormatOps(type, ops);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Start();
    const auto n = static_cast<int64_t>(size);
    {
        ie::TIEMemStream s(data, n);
        ie::IEFindStreamFormat(&s);
        if (s.GetPosition() != 0) __builtin_trap();
        if (n > 0) {
            const int64_t at = data[0] % n;
            s.Seek(at, cl::soBeginning);
            ie::IEFindStreamFormat(&s);
            if (s.GetPosition() != at) __builtin_trap();
        }
    }
    for (bool headers : {false, true}) {
        ie::TVovozIdIO io(nullptr);
        io.StreamHeaders = headers;
        io.LoadFromBuffer(data, n);
        if (!io.Aborting) {
            ie::TIEBitmap* b = io.GetIEBitmap();
            for (int32_t y = 0; y < b->GetHeight(); ++y) (void)static_cast<volatile uint8_t*>(b->GetScanline(y))[0];
        }
        io.ReadParamsFromBuffer(data, n);
    }
    {
        ie::TVovozIdIO io(nullptr);
        ie::TIEMarkerList* markers = io.Params().JPEGMarkers();
        if (markers->AddMarker(0xED, data, static_cast<int32_t>(std::min<size_t>(size, 60000))) >= 0) {
            io.UpdatePhotoshopResolution();
            if (markers->GetMarkerLength(0) != static_cast<int32_t>(std::min<size_t>(size, 60000))) __builtin_trap();
        }
    }
    return 0;
}
