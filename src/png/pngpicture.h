// The PNG picture class of the picture registry: a PNG image kept as the ordered list of
// its chunks, read and written over zlib, drawn through the GDI with its transparency.
//
// The header chunk owns the decoded pixels: a bottom-up device-independent bitmap (1, 4,
// 8 or 24 bits per pixel, rows padded to 4 bytes) with a 256-entry colour table, and for
// the colour types with alpha a top-down plane of one alpha byte per pixel. Loading
// decodes the image data into that store; saving encodes the store again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"

namespace png {

using cl::Exception;
using cl::String;

// ---------------------------------------------------------------------------------------
// Errors: every failure of the class raises one of these.

CL_DECLARE_EXCEPTION(EPNGOutMemory, Exception);
CL_DECLARE_EXCEPTION(EPNGHeaderNotPresent, Exception);
CL_DECLARE_EXCEPTION(EPngInvalidCRC, Exception);
CL_DECLARE_EXCEPTION(EPngInvalidIHDR, Exception);
CL_DECLARE_EXCEPTION(EPNGMissingMultipleIDAT, Exception);
CL_DECLARE_EXCEPTION(EPNGZLIBError, Exception);
CL_DECLARE_EXCEPTION(EPNGInvalidPalette, Exception);
CL_DECLARE_EXCEPTION(EPNGInvalidFileHeader, Exception);
CL_DECLARE_EXCEPTION(EPNGIHDRNotFirst, Exception);
CL_DECLARE_EXCEPTION(EPNGSizeExceeds, Exception);
CL_DECLARE_EXCEPTION(EPngError, Exception);
CL_DECLARE_EXCEPTION(EPNGUnknownCriticalChunk, Exception);
CL_DECLARE_EXCEPTION(EPNGUnknownCompression, Exception);
CL_DECLARE_EXCEPTION(EPNGUnknownInterlace, Exception);
CL_DECLARE_EXCEPTION(EPngUnexpectedEnd, Exception);
CL_DECLARE_EXCEPTION(EPNGNoImageData, Exception);

// The messages of the errors.
inline constexpr const char* EPNGOutMemoryText =
    "Some operation could not be performed because the system is out of resources. Close some windows and try "
    "again.";
inline constexpr const char* EPNGHeaderNotPresentText =
    "This operation is not valid because the current image contains no valid header.";
inline constexpr const char* EPngInvalidCRCText =
    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc error)";
inline constexpr const char* EPngInvalidIHDRText =
    "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of data (ihdr) might "
    "be corrupted";
inline constexpr const char* EPNGMissingMultipleIDATText =
    "This \"Portable Network Graphics\" image is invalid because it has missing image parts.";
inline constexpr const char* EPNGZLIBErrorText =
    "Could not decompress the image because it contains invalid compressed data.";
inline constexpr const char* EPNGInvalidPaletteText =
    "The \"Portable Network Graphics\" image contains an invalid palette.";
inline constexpr const char* EPNGInvalidFileHeaderText =
    "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an invalid header. "
    "This file may be corruped, try obtaining it again.";
inline constexpr const char* EPNGIHDRNotFirstText =
    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is not the "
    "first)";
inline constexpr const char* EPNGSizeExceedsText =
    "This \"Portable Network Graphics\" image is not supported because either it's width or height exceeds the "
    "maximum size, which is 65535 pixels length.";
inline constexpr const char* EPNGUnknownPalEntryText = "There is no such palette entry.";
inline constexpr const char* EPNGUnknownCriticalChunkText =
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not be decoded.";
inline constexpr const char* EPNGUnknownCompressionText =
    "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which could not be "
    "decoded.";
inline constexpr const char* EPNGUnknownInterlaceText =
    "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be decoded.";
inline constexpr const char* EPNGCannotAssignChunkText = "The chunks must be compatible to be assigned.";
inline constexpr const char* EPngUnexpectedEndText =
    "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of the file.";
inline constexpr const char* EPNGNoImageDataText = "This \"Portable Network Graphics\" image contains no data.";
inline constexpr const char* EPNGCannotChangeSizeText =
    "The \"Portable Network Graphics\" image can not be resize by changing width and height properties. Try "
    "assigning the image from a bitmap.";

// ---------------------------------------------------------------------------------------
// CRC-32 of chunks (the table is built on first use and shared).

uint32_t PNGCrcUpdate(uint32_t crc, const uint8_t* buffer, size_t count);
// The complemented CRC of a whole chunk: name, then data.
uint32_t PNGChunkCrc(const uint8_t* name, const uint8_t* data, size_t count);

// The Paeth predictor of the row filters.
uint8_t PNGPaeth(uint8_t left, uint8_t above, uint8_t upperLeft);
// x to the power e (1 when e is 0, 0 when x is 0).
double PNGPower(double x, double e);
// Bytes of one unfiltered row of `width` pixels, without its filter byte (0 for unknown
// colour types).
int64_t PNGRowBytes(int64_t width, int colorType, int bitDepth);

// The most bytes the text of one compressed text chunk may inflate to: a few hundred bytes of
// deflate data can claim gigabytes, which no picture's text justifies.
inline constexpr size_t PNGMaxTextBytes = 8000000;

// Whole-buffer zlib coding of compressed text. False (with zlib's message) on failure,
// and when the text would grow past maxOutput bytes (then nothing beyond that is made).
bool PNGInflateText(const uint8_t* input, size_t count, std::vector<uint8_t>& output, String& errorText,
                    size_t maxOutput = PNGMaxTextBytes);
bool PNGDeflateText(const uint8_t* input, size_t count, int level, std::vector<uint8_t>& output, String& errorText);

class TPNGObject;
class TChunkIHDR;

using TChunkName = std::array<uint8_t, 4>;
// The four bytes of a name given as text ("IHDR").
TChunkName ChunkName(const char* text);
// The name as text, up to its first NUL byte.
String ChunkNameText(const TChunkName& name);

// ---------------------------------------------------------------------------------------
// Chunks.

// One chunk of the file: its name and data, framed on writing with length and CRC. A chunk
// of a name that no class is registered for stays a plain TChunk and is written back as read.
class TChunk : public cl::TObject {
    CL_DECLARE_CLASS(TChunk, cl::TObject)
public:
    explicit TChunk(TPNGObject* owner);
    ~TChunk() override = default;
    // A new chunk of this chunk's class for `owner` (the virtual constructor).
    virtual std::unique_ptr<TChunk> NewInstance(TPNGObject* owner) const;

    // The chunk name of a chunk class: its class name from the seventh character on
    // ("TChunkIHDR" gives "IHDR"; TChunk gives an empty name).
    static String NameFromClass(const cl::TClass& cls);

    // Name and data of `source`.
    virtual void CopyFrom(TChunk* source);
    // Reads `length` data bytes and the CRC that follows them (the name has been read);
    // EPngInvalidCRC when the CRC does not match. False ends the load loop.
    virtual bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length);
    // Writes the framed chunk.
    virtual bool WriteTo(cl::TStream* stream);

    TPNGObject* GetOwner() const { return FOwner; }
    const TChunkName& GetName() const { return FName; }
    void SetName(const TChunkName& name) { FName = name; }
    String GetNameText() const { return ChunkNameText(FName); }
    uint8_t* GetData() { return FData.data(); }
    const uint8_t* GetData() const { return FData.data(); }
    int32_t GetDataSize() const { return FDataSize; }
    // Sets the size; the buffer is always one byte larger (new bytes are zero).
    void SetDataSize(int32_t size);
    // Takes the name of the chunk's class when that has four characters ("IHDR" for a
    // TChunkIHDR); the virtual constructor does this.
    void TakeClassName();
    // The owner's header chunk; EInvalidCast when its first chunk is not one.
    TChunkIHDR* HeaderChunk() const;

protected:
    // Length, name, data and CRC.
    bool WriteFramed(cl::TStream* stream);

private:
    std::vector<uint8_t> FData;
    int32_t FDataSize = 0;
    TPNGObject* FOwner;
    TChunkName FName{};
};

// Declares the class metadata and the virtual constructor of a chunk class.
#define PNG_DECLARE_CHUNK(Name, ParentName)                                 \
    CL_DECLARE_CLASS(Name, ParentName)                                      \
public:                                                                     \
    std::unique_ptr<TChunk> NewInstance(TPNGObject* owner) const override { \
        auto chunk = std::make_unique<Name>(owner);                         \
        chunk->TakeClassName();                                             \
        return chunk;                                                       \
    }                                                                       \
                                                                            \
private:

// The end marker: nothing of its own.
class TChunkIEND : public TChunk {
    PNG_DECLARE_CHUNK(TChunkIEND, TChunk)
public:
    explicit TChunkIEND(TPNGObject* owner) : TChunk(owner) {}
};

// The colour table of the pixel store: a BITMAPINFOHEADER and 256 entries.
struct TPNGBitmapInfo {
    win::BITMAPINFOHEADER bmiHeader;
    win::RGBQUAD bmiColors[256];
};

// The header, and the decoded pixel store.
class TChunkIHDR : public TChunk {
    PNG_DECLARE_CHUNK(TChunkIHDR, TChunk)
public:
    explicit TChunkIHDR(TPNGObject* owner);
    ~TChunkIHDR() override;
    void CopyFrom(TChunk* source) override;
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    bool WriteTo(cl::TStream* stream) override;

    // (Re)creates the zeroed pixel store (and alpha plane) for the header fields;
    // EPNGOutMemory when the memory cannot be had.
    void AllocatePixels();
    void ReleasePixels();

    // The header fields.
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;

    // The store: bottom-up rows of GetRowLength() bytes, GetImageData() the bottom row.
    uint8_t* GetImageData() { return FPixels.empty() ? nullptr : FPixels.data(); }
    int64_t GetRowLength() const { return FRowLength; }
    int GetBitsPerPixel() const { return FBitmapInfo.bmiHeader.biBitCount; }
    bool GetHasPalette() const { return FHasPalette; }
    // Alpha plane: top-down, Width bytes per row (colour types 4 and 6; else null).
    uint8_t* GetImageAlpha() { return FAlpha.empty() ? nullptr : FAlpha.data(); }
    TPNGBitmapInfo& GetBitmapInfo() { return FBitmapInfo; }
    const win::BITMAPINFO* GetBitmapInfoPtr() const { return reinterpret_cast<const win::BITMAPINFO*>(&FBitmapInfo); }
    win::RGBQUAD* GetColorTable() { return FBitmapInfo.bmiColors; }

private:
    TPNGBitmapInfo FBitmapInfo{};
    bool FHasPalette = false;
    int64_t FRowLength = 0;
    std::vector<uint8_t> FPixels;
    std::vector<uint8_t> FAlpha;
};

// The image data: decoded into the header's store when read, encoded from it when written.
class TChunkIDAT : public TChunk {
    PNG_DECLARE_CHUNK(TChunkIDAT, TChunk)
public:
    explicit TChunkIDAT(TPNGObject* owner) : TChunk(owner) {}
    // Decodes the whole image: this chunk's data and that of the IDAT chunks that follow.
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    // Encodes the store into IDAT chunks of at most the owner's IdatSizeLimit bytes.
    bool WriteTo(cl::TStream* stream) override;
};

// The number of valid palette entries; the colours live in the header's colour table.
class TChunkPLTE : public TChunk {
    PNG_DECLARE_CHUNK(TChunkPLTE, TChunk)
public:
    explicit TChunkPLTE(TPNGObject* owner) : TChunk(owner) {}
    void CopyFrom(TChunk* source) override;
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    bool WriteTo(cl::TStream* stream) override;
    int32_t GetCount() const { return FCount; }
    void SetCount(int32_t count) { FCount = count; }
    // The colour-table entry (blue in bits 0-7, green 8-15, red 16-23); EPngError "There
    // is no such palette entry." at or beyond the count.
    uint32_t EntryColor(int32_t index) const;

private:
    int32_t FCount = 0;
};

// The gamma value (gamma x 100000); reading one fills the owner's gamma tables.
class TChunkgAMA : public TChunk {
    PNG_DECLARE_CHUNK(TChunkgAMA, TChunk)
public:
    explicit TChunkgAMA(TPNGObject* owner);
    void CopyFrom(TChunk* source) override;
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    uint32_t GetGammaValue();
    void SetGammaValue(uint32_t value);
};

// Transparency: an alpha per palette entry, or the one transparent grey or colour.
class TChunktRNS : public TChunk {
    PNG_DECLARE_CHUNK(TChunktRNS, TChunk)
public:
    explicit TChunktRNS(TPNGObject* owner) : TChunk(owner) { FAlphaValues.fill(255); }
    void CopyFrom(TChunk* source) override;
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    bool WriteTo(cl::TStream* stream) override;
    // The transparent colour as a class-library colour (0 when there is none).
    cl::TColor ColorKey() const;
    // Makes `color` the image's one transparent colour.
    void SetColorKey(cl::TColor color);
    bool GetSingleKey() const { return FSingleKey; }
    std::array<uint8_t, 256>& GetAlphaValues() { return FAlphaValues; }
    const std::array<uint8_t, 256>& GetAlphaValues() const { return FAlphaValues; }

private:
    bool FSingleKey = false;
    std::array<uint8_t, 256> FAlphaValues{};
};

// The modification time.
class TChunktIME : public TChunk {
    PNG_DECLARE_CHUNK(TChunktIME, TChunk)
public:
    explicit TChunktIME(TPNGObject* owner) : TChunk(owner) {}
    void CopyFrom(TChunk* source) override;
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    bool WriteTo(cl::TStream* stream) override;
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

// A keyword and its text.
class TChunktEXt : public TChunk {
    PNG_DECLARE_CHUNK(TChunktEXt, TChunk)
public:
    explicit TChunktEXt(TPNGObject* owner) : TChunk(owner) {}
    void CopyFrom(TChunk* source) override;
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    bool WriteTo(cl::TStream* stream) override;
    String Keyword;
    String Text;
};

// A keyword and its text, the text deflated in the file.
class TChunkzTXt : public TChunktEXt {
    PNG_DECLARE_CHUNK(TChunkzTXt, TChunktEXt)
public:
    explicit TChunkzTXt(TPNGObject* owner) : TChunktEXt(owner) {}
    bool ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) override;
    bool WriteTo(cl::TStream* stream) override;
};

// ---------------------------------------------------------------------------------------
// The chunk-class registry: a chunk name is read by the first registered class of that name.

struct TChunkClass {
    const cl::TClass* Class;
    std::unique_ptr<TChunk> (*Create)(TPNGObject* owner);
};

template <class T>
TChunkClass ChunkClassOf() {
    return TChunkClass{&T::StaticClass(), [](TPNGObject* owner) -> std::unique_ptr<TChunk> {
                           auto chunk = std::make_unique<T>(owner);
                           chunk->TakeClassName();
                           return chunk;
                       }};
}

void RegisterPNGChunkClass(const TChunkClass& chunkClass);
// IEND, IHDR, IDAT, PLTE, gAMA, tRNS, tIME, tEXt, zTXt, in this order.
void RegisterStandardPNGChunks();
void FreePNGChunkClasses();
// A new chunk of the class registered for `name` (a plain TChunk when there is none),
// carrying that name.
std::unique_ptr<TChunk> CreatePNGChunkByName(TPNGObject* owner, const TChunkName& name);

// The chunk list of a picture, in file order; it owns its chunks.
class TPNGList {
public:
    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    // Resizes the list: new slots are empty, chunks beyond the new count are freed.
    void SetCount(int32_t count);
    // The chunk at `index`, or null beyond the end.
    TChunk* GetItem(int32_t index) const;
    // Puts `chunk` at `index` (freeing what was there); ignored beyond the end.
    void SetItem(int32_t index, std::unique_ptr<TChunk> chunk);
    void Add(std::unique_ptr<TChunk> chunk);
    // Takes the last occurrence of `chunk` out of the list and gives it back (null when absent).
    std::unique_ptr<TChunk> Remove(TChunk* chunk);
    // The first chunk of the class or a class derived from it, or null.
    TChunk* FindByClass(const cl::TClass& cls) const;
    template <class T>
    T* Find() const {
        return static_cast<T*>(FindByClass(T::StaticClass()));
    }

private:
    std::vector<std::unique_ptr<TChunk>> FItems;
};

// ---------------------------------------------------------------------------------------
// The picture.

enum TPNGRowFilter { prfNone, prfSub, prfUp, prfAverage, prfPaeth };
using TPNGRowFilters = uint8_t;  // bit (1 << TPNGRowFilter)
constexpr TPNGRowFilters RowFilterBit(TPNGRowFilter f) { return static_cast<TPNGRowFilters>(1u << f); }

enum TPNGTransparencyKind { ptkNone, ptkColorKey, ptkAlpha };

class TPNGObject : public cl::TGraphic {
    CL_DECLARE_CLASS(TPNGObject, cl::TGraphic)
public:
    TPNGObject();
    ~TPNGObject() override;
    static cl::TGraphic* Create() { return new TPNGObject(); }
    cl::TGraphic* NewInstance() const override { return new TPNGObject(); }

    // Reads a PNG file from the stream's position: the picture holds its chunks in file
    // order (a failed load keeps what was read up to the failure).
    void LoadFromStream(cl::TStream* stream) override;
    // Writes the signature and every chunk in list order.
    void SaveToStream(cl::TStream* stream) override;
    // Opaque pictures are stretched to rect; one transparent colour is keyed out, stretched;
    // pictures with alpha are blended over the canvas at their own size at rect's top-left.
    void Draw(cl::TCanvas* canvas, const cl::TRect& rect) override;
    // From a TPNGObject: a copy; from a TBitmap: the bitmap's pixels (with its transparent
    // colour as the colour key when it is transparent).
    void Assign(cl::TPersistent* Source) override;

    // The clipboard goes through a packed DIB (CF_DIB).
    void SaveToClipboardFormat(win::UINT& format, win::HANDLE& data, win::HPALETTE& palette);
    void LoadFromClipboardFormat(win::UINT format, win::HANDLE data, win::HPALETTE palette);

    // Frees every chunk and resets both gamma tables.
    void DropChunks();
    void ResetGamma();
    bool HasHeader() const;
    // The header chunk; EPNGHeaderNotPresent without one.
    TChunkIHDR* HeaderChunk() const;
    TPNGTransparencyKind TransparencyKind() const;
    // The transparent colour of the first tRNS chunk (0 without one).
    cl::TColor ColorKey() const;
    // Address of image row y (0 = top) in the store.
    uint8_t* RowPointer(int y) const;
    // Bytes of one unfiltered row and the filters' byte distance between pixels.
    void RowGeometry(int64_t& rowBytes, int& pixelBytes) const;
    // Copies settings and chunks of `source` (the gamma tables stay at identity).
    void CopyPNG(TPNGObject* source);
    // Builds the picture from a bitmap handle: palette images for 1, 4 and 8 bits per
    // pixel, 8-bit RGB for the others; `transparent` adds `keyColor` as the colour key.
    void AssignBitmapHandle(win::HBITMAP handle, bool transparent, cl::TColor keyColor);

    // One pixel as a colour (0 outside the picture); setting outside changes nothing.
    cl::TColor GetPixels(int x, int y) const;
    void SetPixels(int x, int y, cl::TColor color);

    TPNGList& Chunks() { return FChunks; }
    const TPNGList& Chunks() const { return FChunks; }

    TPNGRowFilters GetRowFilters() const { return FRowFilters; }
    void SetRowFilters(TPNGRowFilters v) { FRowFilters = v; }
    uint8_t GetDeflateLevel() const { return FDeflateLevel; }
    void SetDeflateLevel(uint8_t v) { FDeflateLevel = v; }
    uint32_t GetIdatSizeLimit() const { return FIdatSizeLimit; }
    // Values below 65535 become 65535.
    void SetIdatSizeLimit(uint32_t v) { FIdatSizeLimit = v < 65535 ? 65535 : v; }
    uint8_t GetInterlacing() const { return FInterlacing; }
    // 0 none, 1 Adam7; larger values mean Adam7 (a file has no other interlace method).
    void SetInterlacing(uint8_t v) { FInterlacing = v > 1 ? 1 : v; }

    // File sample value to stored value, and back; identity unless a gAMA chunk was read.
    std::array<uint8_t, 256> GammaTable{};
    std::array<uint8_t, 256> InverseGammaTable{};

    // Forgets (and deletes) the cached palette handle.
    void FreePaletteHandle();

    int GetWidth() const override;
    int GetHeight() const override;
    // A PNG picture cannot be resized: both raise.
    void SetWidth(int) override;
    void SetHeight(int) override;
    bool GetEmpty() const override { return FChunks.GetCount() == 0; }
    bool GetTransparent() const override;
    win::HPALETTE GetPalette() override;
    void SetPalette(win::HPALETTE palette) override;

protected:
    void AssignTo(cl::TPersistent* Dest) override;

private:
    void DrawAlphaBlended(win::HDC dc, const cl::TRect& rect);
    TPNGList FChunks;
    win::HPALETTE FPalette = nullptr;
    TPNGRowFilters FRowFilters = RowFilterBit(prfSub);
    uint8_t FDeflateLevel = 7;
    uint32_t FIdatSizeLimit = 65535;
    uint8_t FInterlacing = 0;
};

// Raises an error of class E with `message` (every failure of the unit goes through here).
template <class E>
[[noreturn]] void RaisePNGError(const String& message) {
    throw E(message);
}

// Start-up of the unit: the chunk classes, then the picture class in the picture registry
// for "PNG" ("Portable Network Graphics"). Counted: only the first call registers and the
// matching last shutdown unregisters.
void StartupPngPicture();
void ShutdownPngPicture();

}  // namespace png
