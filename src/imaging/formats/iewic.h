// HD Photo through the platform's imaging component: a reader that decodes one frame of a
// stream and copies it into a bitmap through a format converter, a writer that encodes
// one frame with a fixed set of encoder options, and the format's stream functions. EXIF
// data travel outside the component: read from the file's TIFF structure, and copied
// into the written file afterwards.
#pragma once

#include <atomic>
#include <cstdint>

#include "classlib/Classes.h"
#include "classlib/StreamAdapter.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"
#include "platform/wic.h"

namespace ie {

// True when the imaging component can be created. Computed once per process.
bool IEWICAvailableOnce();

class TIEWICReader {
public:
    // Initialises COM on this thread and creates the imaging factory (none when the
    // component is missing).
    TIEWICReader();
    virtual ~TIEWICReader();
    TIEWICReader(const TIEWICReader&) = delete;
    TIEWICReader& operator=(const TIEWICReader&) = delete;

    bool IsAvailable() const;
    // A decoder for the stream's data from its position: TIFF, GIF, JPEG, BMP, ICO, PNG
    // or HD Photo by file type. False for other types and when no decoder is made.
    bool Open(cl::TStream* Stream, int32_t FileType);
    // Frame Index into Bitmap (the embedded thumbnail instead with Params' GetThumbnail,
    // when there is one), and the frame's description into Params. Any failure sets the
    // abort flag (when given) and stops.
    void ReadFrame(int32_t Index, TIEBitmap* Bitmap, std::atomic<bool>* Aborting, TIOParamsVals* Params);
    // Source's pixels into Bitmap in the pixel format chosen for its format. False when
    // the conversion, the allocation or a copy fails.
    bool CopyFrameToBitmap(win::IWICBitmapSource* Source, TIEBitmap* Bitmap, bool NativeFormat);
    // The current frame's size; 0 without one.
    int32_t GetFrameWidth();
    int32_t GetFrameHeight();
    // Releases the frame and the decoder.
    void Close();

    double DpiX, DpiY;

private:
    bool FOleInitialized = false;
    win::ComPtr<win::IWICImagingFactory> FFactory;
    win::ComPtr<win::IWICBitmapDecoder> FDecoder;
    win::ComPtr<win::IWICBitmapFrameDecode> FFrame;
    cl::TStream* FStream = nullptr;
    int64_t FStartPosition = 0;
};

class TIEWICWriter {
public:
    TIEWICWriter();
    // Close, then releases the factory and undoes the COM initialisation.
    virtual ~TIEWICWriter();
    TIEWICWriter(const TIEWICWriter&) = delete;
    TIEWICWriter& operator=(const TIEWICWriter&) = delete;

    bool IsAvailable() const { return static_cast<bool>(FFactory); }
    // An encoder of the file type's container (TIFF, GIF, JPEG, BMP, PNG, HD Photo) on the
    // stream. False for other types and when the encoder cannot be made or started.
    bool Open(cl::TStream* Stream, int32_t FileType);
    // Encodes Bitmap as one frame with the options below (resolution, quality and
    // lossless from Params when given). False when the component refuses any step.
    bool WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* Params);
    // Commits and releases the encoder. False when the commit fails.
    bool Close();

    double DpiX, DpiY;
    double ImageQuality = -1.0;        // written when not negative
    double CompressionQuality = -1.0;  // written when not negative
    bool Lossless = false;
    bool UseCodecOptions = false;  // then Quality, Overlap and Subsampling are written
    int32_t Quality = 1;
    int32_t Overlap = 1;
    int32_t Subsampling = 3;
    int32_t HorizontalTileSlices = 0;
    int32_t VerticalTileSlices = 0;
    bool FrequencyOrder = true;
    uint8_t TiffCompressionMethod = 1;  // 0 don't care, 1 none, 2 CCITT3, 3 CCITT4, 4 LZW, 5 RLE, 6 ZIP

private:
    bool FOleInitialized = false;
    win::ComPtr<win::IWICImagingFactory> FFactory;
    win::ComPtr<win::IWICBitmapEncoder> FEncoder;
    cl::TStream* FStream = nullptr;
    int64_t FStartPosition = 0;
};

// Writes one option into the bag: Value converted to VarType (VT_R4, VT_BOOL, VT_UI1 or
// VT_UI2). The bag's answer.
win::HRESULT IEWICWriteOption(win::IPropertyBag2* Options, const char16_t* Name, double Value, win::VARTYPE VarType);

// The HD Photo reader: frame Params.ImageIndex into Bitmap (always the pixels, also with
// PreviewOnly). Failures set the abort flag.
void IEReadHDPhotoStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                         bool PreviewOnly);
// The HD Photo writer; the EXIF fields of Params are then copied into the file. Without
// the imaging component, and when any step fails, the abort flag is set.
void IEWriteHDPhotoStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The engine's entry of the format (ioHDP), present when the component is available.
void IEHDPRegisterFormat();

}  // namespace ie
