// TIETIFFHandler: the whole tag structure of a TIFF (or HD Photo) file in memory, page by
// page, without decoding any image: every IFD entry with its values, the EXIF, GPS and
// Interoperability sub-IFDs as nested tag lists, and the bytes of every strip, tile or
// embedded JPEG stream. Tags can be found, read, set, deleted and copied between two
// structures, and the whole can be written back. The codecs use it to put EXIF metadata
// into an existing TIFF file.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

// TIFF field types.
enum : uint16_t {
    IETIFF_BYTE = 1,
    IETIFF_ASCII = 2,
    IETIFF_SHORT = 3,
    IETIFF_LONG = 4,
    IETIFF_RATIONAL = 5,
    IETIFF_SBYTE = 6,
    IETIFF_UNDEFINED = 7,
    IETIFF_SSHORT = 8,
    IETIFF_SLONG = 9,
    IETIFF_SRATIONAL = 10,
    IETIFF_FLOAT = 11,
    IETIFF_DOUBLE = 12,
};

// Bytes per value of a TIFF field type; any other type counts 1.
int32_t IETIFFTypeSize(uint16_t Type);

struct TIETIFFEntry;
// The entries of one IFD: a page or a sub-IFD.
using TIETIFFTagList = std::vector<std::unique_ptr<TIETIFFEntry>>;

// One IFD entry. Values of 4 bytes or less stand in Inline, longer ones in Data, both in
// the structure's byte order. A sub-IFD tag (EXIF 34665, GPS 34853, Interoperability
// 40965) holds its entries in SubIFD; the offset tag of an offset/length pair (strips,
// tiles, the embedded JPEG stream) holds one block of bytes per value in Blocks.
struct TIETIFFEntry {
    uint16_t Tag = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint8_t Inline[4] = {};
    std::vector<uint8_t> Data;
    std::unique_ptr<TIETIFFTagList> SubIFD;
    bool HasBlocks = false;
    std::vector<std::vector<uint8_t>> Blocks;
    // Where the out-of-line values stood in the stream read (-1 for inline values and for
    // entries made in memory); the maker note's offsets count from there.
    int64_t Offset = -1;

    // Count x bytes per value, in 64 bits.
    int64_t ValueLength() const { return static_cast<int64_t>(Count) * IETIFFTypeSize(Type); }
    std::unique_ptr<TIETIFFEntry> Clone() const;
};

// A value for SetTagValue: an integer, a number or a text.
using TIETIFFValue = std::variant<int64_t, double, cl::String>;

class TIETIFFHandler : public cl::TObject {
    CL_DECLARE_CLASS(TIETIFFHandler, cl::TObject)
public:
    // An empty structure: no pages, little-endian, version 42.
    TIETIFFHandler() = default;
    ~TIETIFFHandler() override = default;
    // An empty structure, then ReadFile / ReadStream.
    static std::unique_ptr<TIETIFFHandler> CreateFromFile(const cl::String& FileName);
    static std::unique_ptr<TIETIFFHandler> CreateFromStream(cl::TStream* Stream);

    // False when the file does not exist or cannot be opened; else ReadStream.
    bool ReadFile(const cl::String& FileName);
    // Clear, ReadHeader, then the chain of pages from the first IFD. False when the stream
    // does not begin with a TIFF header. Entries whose data do not lie inside the stream
    // are dropped; a chain or a sub-IFD that comes back to an IFD already read, or that
    // goes too deep, ends there.
    bool ReadStream(cl::TStream* Stream);
    // Reads the 8-byte header; True for "II" or "MM" (not the 64-bit variant), and then the
    // stream stands at the first IFD.
    bool ReadHeader(cl::TStream* Stream);

    void Clear();
    // Nothing for an index outside the pages.
    void DeletePage(int32_t PageIndex);

    int32_t GetPagesCount() const { return static_cast<int32_t>(FPages.size()); }
    // Appends an empty page (for structures built in memory) and returns it.
    TIETIFFTagList& AddPage();
    // An entry of Count values of Type whose bytes (in the structure's byte order) are
    // Bytes: inline when they take 4 bytes or less.
    static std::unique_ptr<TIETIFFEntry> MakeEntry(uint16_t Tag, uint16_t Type, uint32_t Count,
                                                   const std::vector<uint8_t>& Bytes);
    // Null for an index outside the pages.
    TIETIFFTagList* GetPage(int32_t PageIndex);
    bool GetBigEndian() const { return FBigEndian; }
    // The byte order of a structure built in memory (before any entry is made).
    void SetBigEndian(bool Value) { FBigEndian = Value; }
    uint16_t GetVersion() const { return FVersion; }

    // The entry index, -1 when absent or when PageIndex is outside the pages.
    int32_t FindTag(int32_t PageIndex, uint16_t TagId) const;
    static int32_t FindTagInList(const TIETIFFTagList& List, uint16_t TagId);
    // The address of value ValueIndex (inline or in the data), null beyond the values or
    // for an entry whose values are blocks.
    static const uint8_t* GetValuePtr(const TIETIFFEntry& Entry, int64_t ValueIndex);
    // Value ValueIndex by type: BYTE, ASCII, UNDEFINED as an unsigned byte; SHORT and
    // SSHORT as an unsigned 16-bit value; LONG and SLONG as a 32-bit value; SBYTE as a
    // signed byte; 0 for other types, for indexes beyond the values and for the offset tag
    // of a loaded pair (its blocks are in Blocks).
    int32_t GetTagValue(const TIETIFFTagList& List, int32_t EntryIndex, int64_t ValueIndex) const;
    // 0 when the tag is absent.
    int32_t GetTagValueByID(const TIETIFFTagList& List, uint16_t TagId, int64_t ValueIndex) const;
    // Replaces the tag by one value of Type: BYTE, SBYTE, SHORT, SSHORT, LONG, SLONG; ASCII
    // (the value as text with its terminating zero); RATIONAL, SRATIONAL (Round(Value x
    // 10,000) / 10,000); FLOAT, DOUBLE. All in the structure's byte order. False, with the
    // list unchanged, for other types.
    bool SetTagValue(TIETIFFTagList& List, uint16_t TagId, const TIETIFFValue& Value, uint16_t Type);
    // Delete one entry with its data, blocks and sub-IFD (nothing for an index outside).
    void DeleteTag(int32_t PageIndex, int32_t EntryIndex);
    static void DeleteTagFromList(TIETIFFTagList& List, int32_t EntryIndex);
    // Copies entry SrcEntryIndex of Source's page SrcPage, deep, to this structure's page
    // DstPage, replacing an entry of the same tag. Nothing when a page or the entry does
    // not exist or the two byte orders differ.
    void CopyTag(int32_t SrcPage, int32_t SrcEntryIndex, int32_t DstPage, const TIETIFFHandler* Source);
    // Ascending by tag number.
    void SortPage(int32_t PageIndex);
    static void SortTags(TIETIFFTagList& List);

    // Creates the file and WriteStream. False when it cannot be created or written.
    bool WriteFile(const cl::String& FileName, int32_t PageIndex);
    // Writes the header and the pages (all of them for a PageIndex outside the pages, else
    // that one) with every value, block and sub-IFD; offsets are stream positions (callers
    // write a structure at position 0). Each page is sorted by tag first. An old-style JPEG
    // page that has an embedded JPEG stream and no strips gets a StripOffsets entry at the
    // stream's start of scan. False when an offset would not fit in 32 bits.
    bool WriteStream(cl::TStream* Stream, int32_t PageIndex);

    // Limits of the reader.
    static constexpr int32_t MaxPages = 65536;
    static constexpr int32_t MaxDepth = 8;

private:
    struct Reader;
    bool FBigEndian = false;
    uint16_t FVersion = 42;
    std::vector<TIETIFFTagList> FPages;
};

// When the position is odd, writes one zero byte; returns the (even) position.
int64_t IEWordAlignStream(cl::TStream* Stream);

}  // namespace ie
