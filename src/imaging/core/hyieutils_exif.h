// EXIF metadata around the TIFF codec: recognising EXIF blocks, finding a TIFF header
// inside a camera file, and TIETagsHandler, the keeper of a camera maker's note (EXIF tag
// 37500), which holds the maker's private IFD in one normal layout while it is in memory
// and restores the maker's layout when it is written.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

class TIOParamsVals;

// EXIF tag of the maker note.
constexpr uint16_t IEEXIFMakerNoteTag = 37500;

// True when Data starts with "Exif" and a zero byte; a block of fewer than 6 bytes (the
// EXIF header) is never one.
bool IEIsEXIFBlock(const void* Data, int32_t Length);

// The position of the first TIFF header ("II" or "MM", then 42, 0x4F52 or 0x5352, then a
// first IFD offset below the stream's size) within the first 131,072 bytes from the
// stream's position, relative to that position; -1 when there is none. The position is
// restored.
int64_t IEFindTIFFHeader(cl::TStream* Stream);

// ---------------------------------------------------------------------------------------
// The EXIF fields of the per-image parameters

// A new EXIF block (free it with std::free) of the EXIF and GPS fields, the maker note and
// the EXIF thumbnail (as a JPEG stream in the second directory) of Params: a little-endian
// TIFF structure, preceded by "Exif" and two zero bytes with WithHeader. False, with
// Buffer null, when it cannot be made.
bool IEMakeEXIFBlock(const TIOParamsVals& Params, void*& Buffer, int32_t& Length, bool WithHeader);
// The JPEG writer's EXIF builder (with the header), and its installation into the
// input/output engine's builder hook.
bool IEBuildEXIFBlockForJPEG(TIOParamsVals& Params, void*& Buffer, int32_t& Length);
void IEInstallEXIFBlockBuilder();
// An "Exif" APP1 payload into the EXIF fields of Params (HasEXIFData set) and its JPEG
// thumbnail, turned upright, into the EXIF thumbnail. False, with Params untouched, when
// the payload is not EXIF; a damaged structure leaves the fields it could not read absent.
bool IELoadEXIFFromAPP1(const void* Data, int32_t Length, TIOParamsVals& Params);
// The EXIF fields of the TIFF structure at the stream's position (the thumbnail emptied);
// the position is restored. Always True.
bool IELoadEXIFFromTIFF(cl::TStream* Stream, TIOParamsVals& Params);
// The same for a TIFF-structured camera file, with the narrower of its first two images
// that are JPEG streams as the thumbnail. Always True.
bool IELoadEXIFFromRAW(cl::TStream* Stream, TIOParamsVals& Params);
// Every EXIF and GPS field, the present-tag list, the user comment and the maker note of
// Source onto Dest (the orientation and resolutions through Dest's setters).
void IECopyEXIF(const TIOParamsVals& Source, TIOParamsVals& Dest);

// ---------------------------------------------------------------------------------------
// Maker notes

// How one maker lays out its note.
struct TIEEXIFMakerNoteDeviceInfo {
    std::vector<uint8_t> Signature;  // the bytes that open the note (empty: unknown maker)
    // 0: value offsets are positions in the enclosing TIFF data; 1: relative to a base
    // inside the note (behind the signature with header kind 1, else the note's start).
    uint8_t OffsetMode = 0;
    // 0: the IFD follows the signature; 1: an 8-byte TIFF-like header follows it; 2: a
    // 4-byte little-endian offset to the IFD follows it.
    uint8_t HeaderKind = 0;
    uint8_t Header[8] = {};  // the header of kind 1 as read
    // 0: the enclosing file's order; 1: as the Header says ("II" little-endian, else big);
    // 2: little-endian; 3: big-endian.
    uint8_t ByteOrder = 0;
};

// The known makers, in search order (the unknown maker's row is not among them).
const std::vector<TIEEXIFMakerNoteDeviceInfo>& IEMakerNoteDevices();

// One entry of the note's IFD, in native form. Values of more than 4 bytes stand in the
// IFD stream at the position Value.
struct TIEMakerNoteEntry {
    uint16_t Tag = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint32_t Value = 0;
};

class TIETagsHandler : public cl::TObject {
    CL_DECLARE_CLASS(TIETagsHandler, cl::TObject)
public:
    TIETagsHandler();
    ~TIETagsHandler() override;

    // No raw data, the unknown maker, an empty IFD stream, no entries.
    void Clear();
    // A copy of Source's IFD, raw bytes and maker row (Clear for null).
    void Assign(const TIETagsHandler* Source);
    // DeviceInfo := the first known maker whose whole signature opens the raw data, else the
    // unknown maker.
    void IdentifyMaker();
    // Reads the Size bytes of a maker note at the stream's position (fewer when the stream
    // ends first) and normalises its IFD. LittleEndian is the enclosing file's order. A
    // note that cannot be understood leaves the handler cleared; an entry whose data lie
    // outside the note keeps its tag with no value.
    void ReadFromStream(cl::TStream* Stream, int32_t Size, bool LittleEndian);
    // Writes the note at the stream's position in the maker's layout and returns its
    // length; a note of 65,001 bytes or more is not written (result 0, the stream back
    // where it was). An empty handler writes its signature and an empty IFD.
    int32_t WriteToStream(cl::TStream* Stream);
    // Takes the note's bytes as found in the file (copied); null or 0 leaves none.
    void SetRawData(const void* Data, int32_t Size);
    // Copies the IFD stream's entry table into the entries (none when the stream is empty
    // or its table is cut).
    void LoadEntries();

    const uint8_t* GetRawData() const { return FRawData.empty() ? nullptr : FRawData.data(); }
    int32_t GetRawSize() const { return static_cast<int32_t>(FRawData.size()); }
    // The note's IFD in native (little-endian) order: entry count (2 bytes), the entries of
    // 12 bytes (tag, type, count, value; values of more than 4 bytes stand elsewhere in the
    // stream and the value is their position), then those value bytes. The camera-raw
    // reader builds it directly in this layout through CurrentStream.
    cl::TMemoryStream* GetIFD() const { return FIFD.get(); }
    int32_t GetEntryCount() const { return static_cast<int32_t>(FEntries.size()); }
    // Index outside 0 .. EntryCount - 1 raises cl::EListError.
    const TIEMakerNoteEntry& GetEntry(int32_t Index) const;
    // The entry with that tag, -1 when none.
    int32_t IndexOfTag(uint16_t Tag) const;
    // The value bytes of an entry (inline or in the IFD stream), in native order; empty
    // when they are missing.
    std::vector<uint8_t> GetEntryData(int32_t Index) const;

    TIEEXIFMakerNoteDeviceInfo DeviceInfo;
    // The stream that builders write to: the IFD stream.
    cl::TStream* CurrentStream = nullptr;
    // 1 after creation and after Clear.
    uint8_t Flag = 1;

private:
    std::vector<uint8_t> FRawData;
    std::unique_ptr<cl::TMemoryStream> FIFD;
    std::vector<TIEMakerNoteEntry> FEntries;
};

}  // namespace ie
