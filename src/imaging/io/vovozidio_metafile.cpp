// Metafiles into the component's bitmap: sized as asked (within the raster limit), drawn
// over the background colour, and with the areas the drawing leaves alone made
// transparent when asked.
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/io/iemetafile.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"
#include "platform/gdi.h"

namespace ie {

namespace {

// The colour the drawing is made over to find what it leaves alone: red 3, green 2, blue 1.
constexpr cl::TColor kKeyColor = 66051;

// A 24-bit DIB of W x H filled with Color, the metafile drawn onto it.
bool RenderOnto(TIEDibbitmap& Dib, const TIEMetafile& Meta, int32_t W, int32_t H, cl::TColor Color) {
    if (!Dib.AllocateBits(W, H, 24) || !Dib.DC) return false;
    win::HBRUSH brush = win::CreateSolidBrush(static_cast<win::COLORREF>(Color & 0xFFFFFF));
    const win::RECT all{0, 0, W, H};
    win::FillRect(Dib.DC, &all, brush);
    win::DeleteObject(brush);
    Meta.Draw(Dib.DC);
    win::GdiFlush();
    return true;
}

}  // namespace

void TVovozIdIO::ImportMetafile(TIEMetafile& Meta, int32_t Width, bool WithAlpha, int32_t Height) {
    Aborting = false;
    // An empty picture, a size of 0 or no bitmap: nothing to import, and the operation failed.
    if (Meta.GetWidth() <= 0 || Meta.GetHeight() <= 0 || Width == 0 || Height == 0 || !MakeConsistentBitmap()) {
        Aborting = true;
        return;
    }
    FParams->ResetInfo();
    int64_t w = Meta.GetWidth(), h = Meta.GetHeight();
    if (Width >= 1 && Height >= 1) {
        w = Width;
        h = Height;
    } else if (Width < 0 && Height >= 1) {
        w = int64_t{Height} * w / h;
        h = Height;
    } else if (Width >= 1 && Height < 0) {
        h = h * Width / w;
        w = Width;
    }
    const int64_t limit = IEMetafileRasterLimit;
    if (w > limit || h > limit) {
        if (w < h) {
            w = w * limit / h;
            h = limit;
        } else {
            h = h * limit / w;
            w = limit;
        }
    }
    w = std::max<int64_t>(w, 1);
    h = std::max<int64_t>(h, 1);
    Meta.SetWidth(static_cast<int32_t>(w));
    Meta.SetHeight(static_cast<int32_t>(h));
    const int32_t W = static_cast<int32_t>(w), H = static_cast<int32_t>(h);

    TIEDibbitmap dib;
    if (!RenderOnto(dib, Meta, W, H, GetBackground())) {
        Aborting = true;
        return;
    }
    FParams->FileName.clear();
    FParams->FileType = Meta.GetEnhanced() ? ioEMF : ioWMF;
    FParams->BitsPerSample = 8;
    FParams->SamplesPerPixel = 3;
    FParams->Width = FParams->OriginalWidth = W;
    FParams->Height = FParams->OriginalHeight = H;
    FParams->SetDpiX(IEDefaultDpiX);
    FParams->SetDpiY(IEDefaultDpiY);
    FParams->FreeColorMap();
    SyncViewDPI();
    FIEBitmap->CopyFromTIEDibbitmap(&dib);
    dib.FreeBits();
    FIEBitmap->RemoveAlphaChannel(false, 0);

    if (WithAlpha) {
        TIEDibbitmap keyed;
        if (RenderOnto(keyed, Meta, W, H, kKeyColor)) {
            TIEBitmap* alpha = FIEBitmap->GetAlphaChannel();
            for (int32_t y = 0; y < H; ++y) {
                const auto* src = static_cast<const uint8_t*>(keyed.GetScanline(y));
                auto* a = static_cast<uint8_t*>(alpha->GetScanline(y));
                for (int32_t x = 0; x < W; ++x) {
                    const uint8_t* px = src + x * 3;
                    a[x] = (px[0] == 1 && px[1] == 2 && px[2] == 3) ? 0 : 255;
                }
            }
            alpha->SyncFull();
        }
    }
    Update();
}

void TVovozIdIO::LoadFromStreamMetafile(cl::TStream* Stream, int32_t Width, bool WithAlpha, int32_t Height) {
    struct Finish {
        TVovozIdIO* IO;
        ~Finish() {
            try {
                IO->DoFinishWork();
            } catch (...) {
            }
        }
    } finish{this};
    TIEMetafile meta;
    if (!meta.LoadFromStream(Stream)) {
        Aborting = true;
        return;
    }
    ImportMetafile(meta, Width, WithAlpha, Height);
    FParams->FileName.clear();
}

void TVovozIdIO::LoadFromFileMetafile(const cl::WideString& FileName, int32_t Width, bool WithAlpha, int32_t Height) {
    std::unique_ptr<TIEWideFileStream> file = OpenFile(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
    LoadFromStreamMetafile(file.get(), Width, WithAlpha, Height);
    if (!Aborting) FParams->FileName = FileName;
}

void TVovozIdIO::ReadMetafileParams(cl::TStream* Stream) {
    TIEMetafile meta;
    if (!meta.LoadFromStream(Stream)) {
        Aborting = true;
        return;
    }
    FParams->FileName.clear();
    FParams->FileType = meta.GetEnhanced() ? ioEMF : ioWMF;
    FParams->BitsPerSample = 8;
    FParams->SamplesPerPixel = 3;
    FParams->Width = FParams->OriginalWidth = meta.GetWidth();
    FParams->Height = FParams->OriginalHeight = meta.GetHeight();
    FParams->SetDpiX(IEDefaultDpiX);
    FParams->SetDpiY(IEDefaultDpiY);
    FParams->FreeColorMap();
}

}  // namespace ie
