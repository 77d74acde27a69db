// The image buffer of the imaging library and the two small pixel holders beside it.
//
// TIEBitmap holds a rectangle of pixels in one of the formats of hyiedefs.h, an optional
// palette and an optional alpha channel, and keeps its rows in memory, in a temporary file
// or in a class-library TBitmap, chosen by size. Its operations live in several files:
//   hyieutils_bitmap.cpp      storage, rows, palette, alpha channel, assignment
//   hyieutils_convert.cpp     conversion between pixel formats (CopyAndConvertFormat)
//   hyieutils_edit.cpp        size changes, fills, pixel accessors, rectangle copies
//   hyieutils_render.cpp      drawing into a 24-bit bitmap (RenderToTIEBitmap and friends)
//   hyieutils_raw.cpp         the raw stream format
//   hyieutils_dib.cpp         TIEDibbitmap and TIEWorkBitmap
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEMask;
class TIEFileBuffer;
class TIEDibbitmap;
class TIEBitmap;

// ---------------------------------------------------------------------------------------
// The common interface of the library's pixel holders.

class TIEBaseBitmap : public cl::TObject {
    CL_DECLARE_CLASS(TIEBaseBitmap, cl::TObject)
public:
    TIEBaseBitmap() = default;
    ~TIEBaseBitmap() override = default;

    // ieaRead | ieaWrite by default. Callers that only read (or only write whole rows) for a
    // while narrow it and restore it afterwards.
    TIEBitmapAccess Access = ieaRead | ieaWrite;

    virtual void* GetScanline(int32_t Row) = 0;
    virtual int32_t GetBitCount() = 0;
    virtual int32_t GetHeight() = 0;
    virtual int32_t GetWidth() = 0;
    virtual TIEPixelFormat GetPixelFormat() = 0;
    virtual int32_t GetRowLen() = 0;
    virtual TRGB* GetPalette() = 0;
    // Color is left as it was when Index is outside the palette.
    virtual void GetPaletteEntry(int32_t Index, TRGB& Color) = 0;
    virtual void SetPaletteEntry(int32_t Index, const TRGB& Color) = 0;
    virtual int32_t GetPaletteLength() = 0;
    virtual bool Allocate(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat) = 0;
    virtual void Assign(cl::TObject* Source) = 0;
    virtual void CopyPaletteTo(cl::TObject* Dest) = 0;
};

// ---------------------------------------------------------------------------------------
// Drawing into a 24-bit bitmap: the row tables and the work that the dispatcher of
// RenderToTIEBitmap hands to the row renderer of the source's pixel format.

using TIERowCache = std::vector<uint8_t*>;   // destination row addresses, one per row
using TIECoordTable = std::vector<int32_t>;  // source column (or row) of each destination one

struct TIERenderRowsParams {
    TIEBitmap* Dest = nullptr;
    uint8_t* const* RowCache = nullptr;  // destination rows, indexed by destination row
    TIEBlendOperation Operation = boCopy;
    bool RowReuse = false;
    int32_t XStep = 16384, YStep = 16384;  // 14-bit fixed point, 16384 = 1:1
    int32_t FirstRow = 0, LastRow = -1;    // destination rows of the span (inclusive)
    int32_t FirstCol = 0, LastCol = -1;    // destination columns of the span (inclusive)
    int32_t DstX = 0, DstY = 0;            // destination origin
    int32_t SrcX = 0, SrcY = 0;            // source origin
    const int32_t* XTable = nullptr;       // source column of FirstCol, FirstCol + 1, ...
    const int32_t* YTable = nullptr;       // source row of FirstRow, FirstRow + 1, ...
    // Alpha variants only: the constant opacity, and whether the source's alpha channel
    // limits it pixel by pixel.
    bool UseAlphaChannel = false;
    int32_t Opacity = 255;
};

// ---------------------------------------------------------------------------------------
// The image buffer.

class TIEBitmap : public TIEBaseBitmap {
    CL_DECLARE_CLASS(TIEBitmap, TIEBaseBitmap)
public:
    // An empty bitmap (location ieFile, format ieNone). MinFileSize comes from
    // IEDefaultMinFileSize, or from the physical memory when that is -1.
    TIEBitmap();
    // An empty bitmap, then Allocate(Width, Height, PixelFormat).
    TIEBitmap(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat);
    ~TIEBitmap() override;

    static std::unique_ptr<TIEBitmap> Create() { return std::make_unique<TIEBitmap>(); }
    static std::unique_ptr<TIEBitmap> CreateWithSize(int32_t ImageWidth, int32_t ImageHeight,
                                                     TIEPixelFormat ImagePixelFormat) {
        return std::make_unique<TIEBitmap>(ImageWidth, ImageHeight, ImagePixelFormat);
    }
    // An ie8g alpha channel of the given size, fully opaque (255). ieTBitmap becomes
    // ieMemory.
    static std::unique_ptr<TIEBitmap> CreateAsAlphaChannel(int32_t ImageWidth, int32_t ImageHeight,
                                                           TIELocation ImageLocation);

    // ----- the base operations
    // Row Row (0 = top). In the ieFile location the buffer of the previous call is released
    // (written back when Access has ieaWrite): only the row of the latest call is valid.
    void* GetScanline(int32_t Row) override;
    int32_t GetBitCount() override;
    int32_t GetHeight() override;
    int32_t GetWidth() override;
    TIEPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override;
    TRGB* GetPalette() override { return FPalette.get(); }
    void GetPaletteEntry(int32_t Index, TRGB& Color) override;
    void SetPaletteEntry(int32_t Index, const TRGB& Color) override;
    int32_t GetPaletteLength() override { return FPaletteLength; }
    // Gives the bitmap that size and format. False (Width and Height 0) when the storage
    // cannot be had; the same size and format again keep the pixels.
    bool Allocate(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat) override;
    // A TIEBitmap (pixels, format, palette, alpha channel) or a class-library TBitmap;
    // other classes are ignored.
    void Assign(cl::TObject* Source) override;
    void CopyPaletteTo(cl::TObject* Dest) override;

    // ----- size, format and storage
    int32_t GetChannelCount();
    bool IsEmpty();
    // Releases the pixels (and the alpha channel when FreeAlpha); the size becomes 0 and
    // the pixel format stays.
    void FreeImage(bool FreeAlpha);
    // A row pointer that stays valid until UnmapRow (several rows at once, in any location).
    void* MapRow(int32_t Row);
    void UnmapRow(void* Row);
    TIELocation GetLocation() const { return FLocation; }
    // Moves the pixels, palette and alpha channel to another storage place (the storage
    // rules may still choose another one for the size).
    void SetLocation(TIELocation Value);
    // Converts the pixels when the format differs. False, with the image as it was, when
    // the conversion cannot be made (no storage for the new format, a format that a
    // TBitmap cannot hold).
    bool SetPixelFormat(TIEPixelFormat Value);
    // Fills this bitmap, already allocated in its target format with Source's size and not
    // in the ieTBitmap location, from Source, converting every pixel; copies Source's alpha
    // channel.
    void CopyAndConvertFormat(TIEBitmap* Source);
    // Pixels and palette of Source, keeping this bitmap's location and alpha channel.
    void AssignImage(TIEBitmap* Source);
    // Makes an existing TBitmap the storage without copying; it is not freed here.
    void EncapsulateTBitmap(cl::TBitmap* Bitmap, bool FreeFirst);
    // Moves the storage to ieTBitmap and returns the TBitmap / its canvas.
    cl::TBitmap* GetVclBitmap();
    cl::TCanvas* GetCanvas();
    // Re-reads size and format from VclBitmap (ieTBitmap location).
    void SyncWithVclBitmap();
    // Copies the palette into VclBitmap's colour table (ieTBitmap location).
    void SyncVclPalette();

    // ----- the alpha channel
    // Created fully opaque on first use; nil for a bitmap that is itself an alpha channel.
    TIEBitmap* GetAlphaChannel();
    bool HasAlphaChannel() const { return FAlphaChannel != nullptr; }
    // Alpha becomes the alpha channel (owned from now on) and the previous one is freed.
    // Anything but an ie8g bitmap of this size is refused: False, and Alpha stays with the
    // caller. Refused as well for a bitmap that is itself an alpha channel.
    bool AttachAlphaChannel(std::unique_ptr<TIEBitmap>& Alpha);
    // Frees the alpha channel; with Merge an ie24RGB image is first laid over Background.
    void RemoveAlphaChannel(bool Merge, cl::TColor Background);

    // ----- size and layout (editing)
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    int32_t GetRowAlign() const { return FRowAlign; }
    void SetRowAlign(int32_t Bits);
    void Resize(int32_t NewWidth, int32_t NewHeight, double Background, int32_t Alpha, uint8_t HorizAlign,
                uint8_t VertAlign);
    void MoveRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY, double FillValue,
                    bool Fill);

    // ----- filling
    void Fill(double Value);
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value);

    // ----- single pixels (no range check; Y is a row index, 0 = top)
    uint8_t GetPixel8(int32_t X, int32_t Y);
    void SetPixel8(int32_t X, int32_t Y, uint8_t Value);
    uint16_t GetPixel16(int32_t X, int32_t Y);
    void SetPixel16(int32_t X, int32_t Y, uint16_t Value);
    float GetPixel32f(int32_t X, int32_t Y);
    void SetPixel32f(int32_t X, int32_t Y, float Value);
    TCMYK GetPixelCMYK(int32_t X, int32_t Y);
    void SetPixelCMYK(int32_t X, int32_t Y, const TCMYK& Value);
    TRGB GetPixel24(int32_t X, int32_t Y);
    void SetPixel24(int32_t X, int32_t Y, const TRGB& Value);
    TRGB48 GetPixel48(int32_t X, int32_t Y);
    void SetPixel48(int32_t X, int32_t Y, const TRGB48& Value);
    TRGB* GetPixel24Ptr(int32_t X, int32_t Y);
    // The pixel of any format as a 24-bit colour.
    TRGB GetPixelRGB(int32_t X, int32_t Y);
    uint8_t GetAlpha(int32_t X, int32_t Y);
    void SetAlpha(int32_t X, int32_t Y, uint8_t Value);

    // ----- copying
    void CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t RectWidth,
                    int32_t RectHeight);
    void MergeAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t RectWidth,
                          int32_t RectHeight);
    void CopyFromTBitmap(cl::TBitmap* Bitmap);
    void CopyFromTIEMask(TIEMask* Mask);
    void CopyFromTIEDibbitmap(TIEDibbitmap* Dib);
    void CopyToTIEMask(TIEMask* Mask);

    // ----- tests over the pixels
    void SyncFull();
    bool IsAllZero();
    bool IsGrayScale();

    // ----- drawing into a 24-bit bitmap
    // With FreeBuffers False the row cache and the tables built here (when the caller
    // passed empty ones) are handed back for the next call with the same geometry.
    void RenderToTIEBitmap(TIEBitmap* Dest, TIERowCache& RowCache, TIECoordTable& XTable, TIECoordTable& YTable,
                           const cl::TRect* Clip, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                           int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, bool UseAlpha,
                           bool RowReuse, int32_t Opacity, TResampleFilter Filter, bool FreeBuffers,
                           TIEBlendOperation Operation);
    void RenderToTBitmap(cl::TBitmap* Dest, TIERowCache& RowCache, TIECoordTable& XTable, TIECoordTable& YTable,
                         const cl::TRect* Clip, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                         int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, bool UseAlpha, bool RowReuse,
                         int32_t Opacity, TResampleFilter Filter, bool FreeBuffers, TIEBlendOperation Operation);
    void DrawToTIEBitmap(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                         int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity, TResampleFilter Filter,
                         TIEBlendOperation Operation);
    void DrawToTBitmap(cl::TBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                       int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity, TResampleFilter Filter,
                       TIEBlendOperation Operation);
    void StretchRectTo(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                       int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, TResampleFilter Filter, int32_t MaxAlpha);

    // The row renderers, one plain and one alpha variant per source format.
    virtual void RenderRows24RGB(const TIERenderRowsParams& P);
    virtual void RenderRows24RGBAlpha(const TIERenderRowsParams& P);
    virtual void RenderRows32RGB(const TIERenderRowsParams& P);
    virtual void RenderRows32RGBAlpha(const TIERenderRowsParams& P);
    virtual void RenderRows1g(const TIERenderRowsParams& P);
    virtual void RenderRows1gAlpha(const TIERenderRowsParams& P);
    virtual void RenderRows8g(const TIERenderRowsParams& P);
    virtual void RenderRows8gAlpha(const TIERenderRowsParams& P);
    virtual void RenderRows8p(const TIERenderRowsParams& P);
    virtual void RenderRows8pAlpha(const TIERenderRowsParams& P);
    virtual void RenderRows16g(const TIERenderRowsParams& P);
    virtual void RenderRows16gAlpha(const TIERenderRowsParams& P);
    virtual void RenderRows32f(const TIERenderRowsParams& P);
    virtual void RenderRows32fAlpha(const TIERenderRowsParams& P);
    virtual void RenderRowsCMYK(const TIERenderRowsParams& P);
    virtual void RenderRowsCMYKAlpha(const TIERenderRowsParams& P);
    virtual void RenderRowsCIELab(const TIERenderRowsParams& P);
    virtual void RenderRowsCIELabAlpha(const TIERenderRowsParams& P);
    virtual void RenderRowsRGB48(const TIERenderRowsParams& P);
    virtual void RenderRowsRGB48Alpha(const TIERenderRowsParams& P);

    // ----- the raw stream format
    // Writes the bitmap to Stream, or, when Buffer is not null, into Buffer (BufferLength
    // bytes; nothing is written and False returned when the layout does not fit).
    bool SaveRawToStream(void* Buffer, int64_t BufferLength, cl::TStream* Stream);
    // Reads the layout from Buffer (BufferLength bytes) or from Stream. False on a wrong
    // magic, a negative version, a field out of range or a short read.
    bool LoadRawFromStream(const void* Buffer, int64_t BufferLength, cl::TStream* Stream);
    // Bytes SaveRawToStream writes for this bitmap.
    int64_t RawStreamSize();

    // ----- plain settings
    bool Full = false;            // every sample at its maximum (an opaque alpha channel)
    bool IsAlphaChannel = false;  // this bitmap is the alpha channel of another one
    bool Encapsulated = false;    // VclBitmap belongs to someone else (EncapsulateTBitmap)
    int64_t MinFileSize = 0;      // storage threshold between memory and file
    uint8_t MonoConversion = 1;   // colour to ie1g: 0 ordered dither, 1 threshold
    int32_t PaletteUsed = 256;    // colours a conversion to ie8p asks for
    double DisplayMin = 0;        // display range of grey and float formats (0, 0: none)
    double DisplayMax = 0;
    int32_t ChannelOffset[4] = {0, 0, 0, 0};  // red, green, blue, unused
    uint8_t ChannelOffsetEnabled = 0;
    int32_t Contrast = 0;
    int32_t LayerIndex = -1;

    cl::TBitmap* VclBitmap() const { return FVclBitmap; }
    TIEFileBuffer* FileBuffer() const { return FFileBuffer.get(); }
    int32_t SegmentCount() const { return FSegmentCount; }
    int32_t RowsPerSegment() const { return FRowsPerSegment; }
    bool NeedsAllocate() const { return FNeedsAllocate; }

protected:
    // Hands size, format, palette, alpha channel and storage to Dest (whose own image is
    // freed first); this bitmap is left empty.
    void MoveStorageTo(TIEBitmap* Dest);
    // Converts in place; run by SetPixelFormat when the format differs.
    bool ConvertPixelFormat(TIEPixelFormat Value);

private:
    friend class TIEBitmapTestAccess;

    bool AllocateStorage();
    bool AllocateMemoryBlock(uint64_t Size);
    bool AllocateSegments();
    bool AllocateFileStorage(uint64_t Size);
    bool AllocateVclStorage(uint64_t Size);
    void FreeStorage();
    void ReleaseMappedRows();
    void ReleaseScanlineRow();
    void* MapFileRow(int32_t Row);
    void BuildVclRows();
    void SetFormatFields(TIEPixelFormat Format);
    void CopyRowsFrom(TIEBitmap* Source);
    void CopyGray16RowsFrom(TIEBitmap* Source);
    void ResizeAlphaChannel();
    bool KeepsStorageFor(int32_t w, int32_t h, TIEPixelFormat f, int32_t rowAlign);
    bool AllocateLike(TIEBitmap* Source, bool FreeAlpha);
    // Width, height, bit count, channel count and row length become 0.
    void ClearShape();
    bool VclChanged();
    void CopyPaletteEntriesFrom(TIEBitmap* Source);
    void ResetCanvasTransform();
    bool ConvertVclPixelFormat(TIEPixelFormat Value);
    // Re-lays out memory or file storage for a new size, keeping the top-left pixels.
    void ResizeStorage(int32_t NewWidth, int32_t NewHeight);
    // Address of pixel (X, Y) of Bytes bytes, or null outside the image.
    uint8_t* PixelAddress(int32_t X, int32_t Y, int32_t Bytes);

    // Storage
    std::unique_ptr<TIEFileBuffer> FFileBuffer;
    void* FMappedRow = nullptr;  // the buffer of the latest GetScanline (ieFile)
    std::unique_ptr<TRGB[]> FPalette;
    int32_t FPaletteLength = 0;
    std::unique_ptr<TIEBitmap> FAlphaChannel;
    uint8_t* FMemoryBase = nullptr;  // 64-aligned address of the first row in memory
    void* FMemoryBlock = nullptr;    // the block as allocated (IEAutoAlloc)
    cl::TBitmap* FVclBitmap = nullptr;
    std::vector<uint8_t*> FVclRows;       // cached scan-line addresses of FVclBitmap
    std::vector<void*> FMappedBuffers;    // buffers handed out by MapRow (ieFile)
    std::vector<int32_t> FMappedIndexes;  // and their row indexes
    std::vector<void*> FSegments;         // SegmentCount blocks of RowsPerSegment rows

    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    int32_t FChannelCount = 0;
    int32_t FRowLen = 0;
    TIEPixelFormat FPixelFormat = ieNone;
    TIELocation FLocation = ieFile;
    int32_t FRowAlign = 32;
    bool FNeedsAllocate = true;
    int32_t FSegmentCount = 0;
    int32_t FRowsPerSegment = 0;
};

// ---------------------------------------------------------------------------------------
// A GDI DIB section with its own memory device context (1 or 24 bits per pixel, rows
// bottom-up), so that platform drawing can paint into pixels the library reads by row.

class TIEDibbitmap : public TIEBaseBitmap {
    CL_DECLARE_CLASS(TIEDibbitmap, TIEBaseBitmap)
public:
    TIEDibbitmap() = default;
    ~TIEDibbitmap() override;

    void* GetScanline(int32_t Row) override;
    int32_t GetBitCount() override { return BitCount; }
    int32_t GetHeight() override { return Height; }
    int32_t GetWidth() override { return Width; }
    TIEPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override { return RowLen; }
    TRGB* GetPalette() override { return nullptr; }
    void GetPaletteEntry(int32_t Index, TRGB& Color) override;
    void SetPaletteEntry(int32_t, const TRGB&) override {}
    int32_t GetPaletteLength() override { return 0; }
    // ie1g and ie24RGB only.
    bool Allocate(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat) override;
    void Assign(cl::TObject* Source) override;
    void CopyPaletteTo(cl::TObject*) override {}

    bool AllocateBits(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount);
    void FreeBits();

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    int32_t RowLen = 0;
    win::HDC DC = nullptr;
    win::HBITMAP Dib = nullptr;
    void* Bits = nullptr;  // owned by the DIB section

private:
    struct Info {
        win::BITMAPINFOHEADER Header;
        win::RGBQUAD Colors[2];
    } FInfo{};
};

// ---------------------------------------------------------------------------------------
// A bare row buffer (rows bottom-up, 32-bit aligned) used as scratch memory.

class TIEWorkBitmap : public cl::TObject {
    CL_DECLARE_CLASS(TIEWorkBitmap, cl::TObject)
public:
    // Allocates when both sizes are positive; check Bits (or Allocate's result).
    TIEWorkBitmap(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount);
    ~TIEWorkBitmap() override;

    // True when the rows exist; the same arguments again keep the buffer.
    bool Allocate(int32_t BmpWidth, int32_t BmpHeight, int32_t BmpBitCount);
    void* GetScanline(int32_t Row);
    void FreeBits();

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    int32_t RowLen = 0;
    void* Bits = nullptr;
};

}  // namespace ie
