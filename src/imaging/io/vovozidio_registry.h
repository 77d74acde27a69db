// File types, the progress record and calling convention of the codecs, the format
// registry and content detection of the input/output unit.
//
// Every image format has a small integer id, its file type, and an entry in one
// process-wide list, the format registry. A codec joins the library as ONE table entry:
// its probe, reader and writer (and the per-format options the component's own
// operations need) registered by file type. The built-in formats' entries are made by the
// unit's start-up with empty per-format operations, which the codecs fill through
// IESetFormatOps; a format the library does not know is added whole through
// IERegisterFormat and served through its three function pointers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;
class TIEMask;
class TIOParamsVals;

// ---------------------------------------------------------------------------------------
// File types.

enum : int32_t {
    ioUnknown = 0,
    ioTIFF = 1,
    ioGIF = 2,
    ioJPEG = 3,
    ioPCX = 4,
    ioBMP = 5,
    ioICO = 6,
    ioCUR = 7,
    ioPNG = 8,
    ioWMF = 9,
    ioEMF = 10,
    ioTGA = 11,
    ioPXM = 12,
    ioJP2 = 13,
    ioJ2K = 14,
    ioAVI = 15,
    ioWBMP = 16,
    ioPS = 17,
    ioPDF = 18,
    ioDCX = 19,
    ioRAW = 20,
    ioBMPRAW = 21,
    ioPSD = 24,
    ioIEV = 25,
    ioLYR = 26,
    ioALL = 27,
    ioDICOM = 28,
    ioHDP = 29,
};

// Pages of the parameters preview dialog, as bits of TIEFileFormatInfo::DialogPage.
enum : uint16_t {
    ppAll = 1,
    ppAuto = 2,
    ppJPEG = 4,
    ppTIFF = 8,
    ppGIF = 16,
    ppBMP = 32,
    ppPCX = 64,
    ppPNG = 128,
    ppTGA = 256,
    ppJ2000 = 512,
};

// ---------------------------------------------------------------------------------------
// The progress record every codec receives.

// The progress method: Fnc(Data, Sender, Percent).
using TIEProgressFnc = void (*)(void* Data, cl::TObject* Sender, int32_t Percent);

struct TProgressRec {
    TIEProgressFnc Fnc = nullptr;  // with Data the progress method; null: no progress is reported
    void* Data = nullptr;
    cl::TObject* Sender = nullptr;  // the TVovozIdIO running the operation
    int32_t Val = 0;                // work values of the codec (Val: rows done so far)
    int32_t Tot = 0;
    int32_t Work = 0;
    double Per = 0;                         // percent per unit of work, set by the codec
    int64_t WorkSpace = 0;                  // further work space of the codec
    std::atomic<bool>* Aborting = nullptr;  // the abort flag; a codec sets it on bad data and stops

    // Reports Percent when a progress method is set.
    void Report(int32_t Percent) const {
        if (Fnc) Fnc(Data, Sender, Percent);
    }
    // Reports Trunc(Rows x Per).
    void ReportRows(int32_t Rows) const { Report(static_cast<int32_t>(Rows * Per)); }
    bool IsAborting() const { return Aborting && Aborting->load(std::memory_order_relaxed); }
    void Abort() const {
        if (Aborting) Aborting->store(true);
    }
};

// ---------------------------------------------------------------------------------------
// The codec calling convention.

// A reader: the stream positioned at the image data, the target bitmap, the parameters,
// PreviewOnly (True: fill the parameters only) and the progress record. On bad data it sets
// the abort flag and returns without raising.
using TIEReadFunction = void (*)(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                                 TProgressRec& Progress);
// A writer: the stream, the source bitmap, the parameters and the progress record; it
// sets the abort flag when it cannot write.
using TIEWriteFunction = void (*)(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                  TProgressRec& Progress);
// A content test: True when the stream holds this file type at its position, which it
// restores.
using TIETryFunction = bool (*)(cl::TStream* Stream, int32_t FileType);

// What the component's own per-format operations hand a built-in format's reader beside
// the calling convention, and what it gives back.
struct TIEReadContext {
    bool PreviewOnly = false;
    int64_t DataSize = 0;         // bytes of the image (PCX page size, BMP data size); 0: to the end
    bool IgnoreAlpha = false;     // BMP: not BMPHandleTransparency
    bool RelativeOffsets = true;  // TIFF: offsets count from the position the reading began at
    bool IsResource = false;      // ICO, CUR: no directory
    // Out: the number of images in the file (TIFF, GIF, DCX), -1 when not told.
    int32_t ImageCount = -1;
    // Out: an alpha mask the reader made; the component copies it into the alpha channel.
    std::unique_ptr<TIEMask> AlphaMask;
};
struct TIEWriteContext {
    TIEMask* AlphaMask = nullptr;  // PNG, TGA: the bitmap's alpha channel as a mask, or null
    bool SaveAlpha = false;        // BMP: BMPHandleTransparency
    int32_t Variant = 0;           // JPEG 2000: 0 JP2 file, 1 code stream
};
using TIEReadExFunction = void (*)(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                   TProgressRec& Progress, TIEReadContext& Context);
using TIEWriteExFunction = void (*)(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                    TProgressRec& Progress, TIEWriteContext& Context);
// The content test of a built-in format at its place in IEFindStreamFormat.
using TIEProbeFunction = bool (*)(cl::TStream* Stream);

// The per-format operations of a built-in format: the codec's probe, reader and writer as
// the component's own LoadFrom/SaveTo members of that format call them. Empty members mean
// that the codec is not part of the program yet: its loads and saves set the abort flag.
struct TIEFormatOps {
    TIEProbeFunction Probe = nullptr;
    TIEReadExFunction Read = nullptr;
    TIEWriteExFunction Write = nullptr;
    // Camera formats stored in TIFF structure: True when a stream that the TIFF probe
    // accepted is one of this format (it is then not taken for TIFF).
    TIEProbeFunction TIFFBasedProbe = nullptr;
};

// ---------------------------------------------------------------------------------------
// The format registry.

class TIEFileFormatInfo : public cl::TObject {
    CL_DECLARE_CLASS(TIEFileFormatInfo, cl::TObject)
public:
    int32_t FileType = ioUnknown;
    cl::String FullName;
    cl::String Extensions;        // upper-case, without dots, separated by ";"
    bool InternalFormat = false;  // served by the component's own per-format operations
    uint16_t DialogPage = 0;
    TIEReadFunction ReadFunction = nullptr;
    TIEWriteFunction WriteFunction = nullptr;
    TIETryFunction TryFunction = nullptr;
    // The per-format operations of a built-in format.
    TIEFormatOps Ops;
};

// Builds the registry with the built-in entries (the HD Photo one only when
// IEWICAvailable). Run by the unit's start-up.
void IEBuildFormatRegistry();
// Frees every entry and the list.
void IEFreeFormatRegistry();
// Appends the entry; the registry owns it from then on.
void IERegisterFormat(std::unique_ptr<TIEFileFormatInfo> Info);
// Removes and frees the first entry of that type; nothing when there is none.
void IEUnregisterFormat(int32_t FileType);
// Fills the per-format operations of a built-in format (the codec's one entry). False when
// the type has no built-in entry.
bool IESetFormatOps(int32_t FileType, const TIEFormatOps& Ops);
// The number of entries, and entry Index in registry order (null outside).
int32_t IEFormatCount();
TIEFileFormatInfo* IEFormatAt(int32_t Index);

TIEFileFormatInfo* IEFindFormatInfo(int32_t FileType);
// Item Index (from 0) of the entry's extension list; '' when there is none.
void IEGetFormatExtension(int32_t FileType, int32_t Index, cl::String& Ext);
cl::String IEGetFormatExtension(int32_t FileType, int32_t Index);
int32_t IEGetFormatExtensionCount(int32_t FileType);
// Exact match of a whole extension, letter case ignored, one leading "." removed.
TIEFileFormatInfo* IEFindFormatInfoByExtension(const cl::String& Ext);
int32_t IEFileTypeOfExtension(const cl::String& Ext);

// Content detection from the stream's position, which it restores. Never raises: a test
// that raises ends the detection with 0.
int32_t IEFindStreamFormat(cl::TStream* Stream);
// Content detection of a file, corrected by its extension; 0 when the file cannot be read.
int32_t IEFindFileFormat(const cl::WideString& FileName, bool CheckExtension);
int32_t IEFindFileFormat(const cl::String& FileName, bool CheckExtension);
// Reads up to Count bytes from the stream's position into Buffer; the number read (fewer
// only at the end of the data).
int64_t IEReadUpTo(cl::TStream* Stream, void* Buffer, int64_t Count);

// "RIFF" at bytes 0-3 and "AVI " at bytes 8-11 of the data; restores the position.
bool IEIsAVIStream(cl::TStream* Stream);

// The HD Photo entry exists only when this answers True: by default whether the platform's
// imaging component can be created (IEWICAvailableOnce); tests may point it elsewhere.
extern bool (*IEWICAvailable)();

}  // namespace ie
