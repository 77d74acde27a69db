// TIFF reader, file structure and metadata: the directory chain, tag access in both byte
// orders, the selection of the page, the parameters and metadata of that page, and the
// decision how its pixels are decoded (tiffilt_decode.cpp does the decoding).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

#include "imaging/core/hyieutils_annot.h"
#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/ieicc.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiffilt_internal.h"
#include "imaging/formats/tifprobes.h"
#include "imaging/io/vovozidio_startup.h"

namespace ie {

namespace {

// Bytes of one value of a field type (the sizes of the IPTC block; unknown types 1).
int64_t TypeBytes(uint16_t Type) {
    switch (Type) {
        case 3:
        case 8: return 2;
        case 4:
        case 9:
        case 11: return 4;
        case 5:
        case 10:
        case 12: return 8;
        default: return 1;
    }
}

const TTIFFEntry* FindEntry(const TTIFFDirectory& D, uint16_t Tag) {
    const int32_t i = IETIFFFindTag(D, Tag);
    return i < 0 ? nullptr : &D.Entries[static_cast<size_t>(i)];
}

cl::String TrimNul(const cl::String& S) {
    const size_t p = S.find('\0');
    return p == cl::String::npos ? S : S.substr(0, p);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Directory access

uint16_t TTIFFDirectory::Get16(const uint8_t* P) const {
    return LittleEndian ? static_cast<uint16_t>(P[0] | (P[1] << 8)) : static_cast<uint16_t>((P[0] << 8) | P[1]);
}

uint32_t TTIFFDirectory::Get32(const uint8_t* P) const {
    if (LittleEndian)
        return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
               (static_cast<uint32_t>(P[3]) << 24);
    return (static_cast<uint32_t>(P[0]) << 24) | (static_cast<uint32_t>(P[1]) << 16) |
           (static_cast<uint32_t>(P[2]) << 8) | static_cast<uint32_t>(P[3]);
}

int64_t TTIFFDirectory::ReadAt(int64_t Offset, void* Buffer, int64_t Count) const {
    if (Count <= 0) return 0;
    std::memset(Buffer, 0, static_cast<size_t>(Count));
    const int64_t pos = Base + Offset;
    if (Offset < 0 || pos < 0 || pos >= Stream->GetSize()) return 0;
    Stream->Seek(pos, cl::soBeginning);
    return IEReadUpTo(Stream, Buffer, Count);
}

std::vector<uint8_t> TTIFFDirectory::ReadBlock(int64_t Offset, int64_t Count) const {
    std::vector<uint8_t> r;
    // A block that runs past the end of the stream is not there: its count is a lie.
    const auto end = IECheckedAdd(IECheckedAdd(Base, Offset).value_or(-1), Count);
    if (Count <= 0 || !end || *end > Stream->GetSize()) return r;
    r.resize(static_cast<size_t>(Count));
    ReadAt(Offset, r.data(), Count);
    return r;
}

bool IETIFFReadIFD(int32_t PageIndex, int64_t IFDOffset, TTIFFDirectory& Directory, int32_t& PageCount) {
    cl::TStream* s = Directory.Stream;
    const int64_t size = s->GetSize();
    int32_t page = 0;
    bool found = false;
    Directory.Entries.clear();
    std::set<int64_t> visited;
    int64_t current = IFDOffset;
    while (current != 0 && page < IETIFFMaxPages) {
        // A directory met a second time would start the chain over again.
        if (!visited.insert(current).second) break;
        const int64_t at = Directory.Base + current;
        if (at < 0 || at >= size) break;
        s->Seek(at, cl::soBeginning);
        uint8_t b[4];
        if (IEReadUpTo(s, b, 2) < 2) break;
        // A directory cut short by the end of the stream keeps the entries it holds.
        const int64_t held = (size - at - 2) / 12;
        const uint16_t count = static_cast<uint16_t>(std::min<int64_t>(Directory.Get16(b), held));
        if (count == 0) break;
        if (page == PageIndex) {
            std::vector<uint8_t> raw(static_cast<size_t>(count) * 12, 0);
            IEReadUpTo(s, raw.data(), static_cast<int64_t>(raw.size()));
            Directory.Entries.resize(count);
            for (uint16_t i = 0; i < count; ++i) {
                const uint8_t* e = raw.data() + i * 12;
                TTIFFEntry& en = Directory.Entries[i];
                en.Tag = Directory.Get16(e);
                en.Type = Directory.Get16(e + 2);
                en.Count = Directory.Get32(e + 4);
                en.Value = Directory.Get32(e + 8);
                std::memcpy(en.Raw, e + 8, 4);
            }
            found = true;
        } else {
            s->Seek(static_cast<int64_t>(count) * 12, cl::soCurrent);
        }
        if (s->GetPosition() >= size) break;
        if (IEReadUpTo(s, b, 4) < 4) break;
        int64_t next = Directory.Get32(b);
        if (next == current || next < 8 || Directory.Base + next >= size) next = 0;
        ++page;
        current = next;
    }
    PageCount = page;
    if (!found) Directory.Entries.clear();
    return found;
}

int32_t IETIFFFindTag(const TTIFFDirectory& Directory, uint16_t Tag) {
    for (size_t i = 0; i < Directory.Entries.size(); ++i)
        if (Directory.Entries[i].Tag == Tag) return static_cast<int32_t>(i);
    return -1;
}

int64_t IETIFFGetTagValue(const TTIFFDirectory& Directory, uint16_t Tag, int64_t Default) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e) return Default;
    if (e->Type == 1) return e->Raw[0];
    if (e->Type == 3) return Directory.Get16(e->Raw);
    return e->Value;
}

int64_t IETIFFGetArrayItem(const TTIFFDirectory& Directory, const TTIFFEntry& Entry, int32_t Index, int64_t Default) {
    if (Index < 0 || static_cast<uint32_t>(Index) >= Entry.Count) return Default;
    uint8_t b[4];
    if (Entry.Type == 4) {
        if (Entry.Count == 1) return Entry.Value;
        Directory.ReadAt(static_cast<int64_t>(Entry.Value) + 4 * static_cast<int64_t>(Index), b, 4);
        return Directory.Get32(b);
    }
    if (Entry.Type == 3) {
        if (Entry.Count <= 2) return Directory.Get16(Entry.Raw + 2 * Index);
        Directory.ReadAt(static_cast<int64_t>(Entry.Value) + 2 * static_cast<int64_t>(Index), b, 2);
        return Directory.Get16(b);
    }
    return Default;
}

int64_t IETIFFGetTagItem(const TTIFFDirectory& Directory, uint16_t Tag, int32_t Index, int64_t Default) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    return e ? IETIFFGetArrayItem(Directory, *e, Index, Default) : Default;
}

std::vector<int64_t> IETIFFReadTagArray(const TTIFFDirectory& Directory, uint16_t Tag) {
    std::vector<int64_t> r;
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e || e->Count == 0) return r;
    const int64_t bytes = static_cast<int64_t>(e->Count) * TypeBytes(e->Type);
    if (e->Count > Directory.Stream->GetSize() || bytes > Directory.Stream->GetSize()) return r;
    if (e->Count == 1) {
        r.push_back(IETIFFGetTagValue(Directory, Tag, 0));
        return r;
    }
    r.resize(e->Count, 0);
    if (bytes <= 4) {
        for (uint32_t i = 0; i < e->Count; ++i)
            r[i] = e->Type == 3 ? Directory.Get16(e->Raw + 2 * i) : e->Type == 1 ? e->Raw[i] : 0;
        return r;
    }
    const std::vector<uint8_t> block = Directory.ReadBlock(e->Value, bytes);
    if (static_cast<int64_t>(block.size()) < bytes) return {};
    for (uint32_t i = 0; i < e->Count; ++i) {
        switch (e->Type) {
            case 1: r[i] = block[i]; break;
            case 3: r[i] = Directory.Get16(block.data() + 2 * static_cast<size_t>(i)); break;
            case 4: r[i] = Directory.Get32(block.data() + 4 * static_cast<size_t>(i)); break;
            default: r[i] = 0; break;
        }
    }
    return r;
}

double IETIFFGetRationalItem(const TTIFFDirectory& Directory, uint16_t Tag, int32_t Index, double Default) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e || Index < 0 || static_cast<uint32_t>(Index) >= e->Count) return Default;
    uint8_t b[8];
    Directory.ReadAt(static_cast<int64_t>(e->Value) + 8 * static_cast<int64_t>(Index), b, 8);
    const int32_t num = static_cast<int32_t>(Directory.Get32(b));
    int32_t den = static_cast<int32_t>(Directory.Get32(b + 4));
    if (den == 0) den = 1;
    return static_cast<double>(num) / den;
}

double IETIFFGetRational(const TTIFFDirectory& Directory, uint16_t Tag, double Default) {
    return IETIFFGetRationalItem(Directory, Tag, 0, Default);
}

cl::String IETIFFReadInlineText(const TTIFFDirectory& Directory, uint16_t Tag) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e || e->Count == 0) return {};
    if (e->Count > 4) {
        // A longer text lies at the offset.
        if (e->Count > 1048575) return {};
        const std::vector<uint8_t> b = Directory.ReadBlock(e->Value, e->Count);
        return cl::String(b.begin(), b.end());
    }
    return cl::String(reinterpret_cast<const char*>(e->Raw), e->Count);
}

cl::String IETIFFReadTagText(const TTIFFDirectory& Directory, uint16_t Tag, bool TrimAtNul) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e) return {};
    cl::String r;
    if (e->Count <= 4) {
        r = IETIFFReadInlineText(Directory, Tag);
    } else if (e->Count <= 1048575) {
        const std::vector<uint8_t> b = Directory.ReadBlock(e->Value, e->Count);
        r.assign(b.begin(), b.end());
    }
    return TrimAtNul ? TrimNul(r) : r;
}

cl::WideString IETIFFReadTagWideText(const TTIFFDirectory& Directory, uint16_t Tag) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e) return {};
    cl::WideString r;
    if (e->Count > 4) {
        if (e->Count > 1048575) return r;
        const int64_t chars = (static_cast<int64_t>(e->Count) - 2) / 2;
        const std::vector<uint8_t> b = Directory.ReadBlock(e->Value, chars * 2);
        for (int64_t i = 0; i < chars && !b.empty(); ++i)
            r.push_back(static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8)));
    } else {
        r.push_back(static_cast<char16_t>(e->Raw[0] | (e->Raw[1] << 8)));
    }
    const size_t p = r.find(u'\0');
    return p == cl::WideString::npos ? r : r.substr(0, p);
}

std::vector<uint8_t> IETIFFReadTagData(const TTIFFDirectory& Directory, uint16_t Tag) {
    const TTIFFEntry* e = FindEntry(Directory, Tag);
    if (!e || e->Count == 0) return {};
    const int64_t bytes = static_cast<int64_t>(e->Count) * TypeBytes(e->Type);
    if (bytes <= 4) return std::vector<uint8_t>(e->Raw, e->Raw + bytes);
    return Directory.ReadBlock(e->Value, bytes);
}

// ---------------------------------------------------------------------------------------
// Metadata

namespace {

using RationalSetter = void (TIOParamsVals::*)(double);
using ValueSetter = void (TIOParamsVals::*)(int32_t);

struct RationalTag {
    uint16_t Tag;
    RationalSetter Set;
    double Absent;
};
struct ValueTag {
    uint16_t Tag;
    ValueSetter Set;
    int32_t Absent;
};

const RationalTag kExifRationals[] = {
    {33434, &TIOParamsVals::SetEXIFExposureTime, -1},
    {33437, &TIOParamsVals::SetEXIFFNumber, -1},
    {37122, &TIOParamsVals::SetEXIFCompressedBitsPerPixel, 0},
    {37377, &TIOParamsVals::SetEXIFShutterSpeedValue, -1},
    {37378, &TIOParamsVals::SetEXIFApertureValue, -1},
    {37379, &TIOParamsVals::SetEXIFBrightnessValue, -1000},
    {37380, &TIOParamsVals::SetEXIFExposureBiasValue, -1000},
    {37381, &TIOParamsVals::SetEXIFMaxApertureValue, -1000},
    {37382, &TIOParamsVals::SetEXIFSubjectDistance, -1},
    {37386, &TIOParamsVals::SetEXIFFocalLength, -1},
    {41486, &TIOParamsVals::SetEXIFFocalPlaneXResolution, -1},
    {41487, &TIOParamsVals::SetEXIFFocalPlaneYResolution, -1},
    {41493, &TIOParamsVals::SetEXIFExposureIndex, -1},
};

const ValueTag kExifValues[] = {
    {34850, &TIOParamsVals::SetEXIFExposureProgram, -1}, {37383, &TIOParamsVals::SetEXIFMeteringMode, -1},
    {37384, &TIOParamsVals::SetEXIFLightSource, -1},     {37385, &TIOParamsVals::SetEXIFFlash, -1},
    {40961, &TIOParamsVals::SetEXIFColorSpace, -1},      {40962, &TIOParamsVals::SetEXIFPixelXDimension, 0},
    {40963, &TIOParamsVals::SetEXIFPixelYDimension, 0},  {41488, &TIOParamsVals::SetEXIFFocalPlaneResolutionUnit, -1},
    {41495, &TIOParamsVals::SetEXIFSensingMethod, -1},   {41728, &TIOParamsVals::SetEXIFFileSource, -1},
    {41729, &TIOParamsVals::SetEXIFSceneType, -1},
};

void ReadEXIFDirectory(const TTIFFDirectory& E, TIOParamsVals& P) {
    for (const RationalTag& t : kExifRationals) (P.*t.Set)(IETIFFGetRational(E, t.Tag, t.Absent));
    for (const ValueTag& t : kExifValues) (P.*t.Set)(static_cast<int32_t>(IETIFFGetTagValue(E, t.Tag, t.Absent)));
    for (const TIETIFFIntField& t : IETIFFExifPlainShorts)
        P.*t.Field = static_cast<int32_t>(IETIFFGetTagValue(E, t.Tag, -1));
    for (const TIETIFFTextField& t : IETIFFExifTexts) P.*t.Field = IETIFFReadTagText(E, t.Tag, true);
    P.EXIFDigitalZoomRatio = IETIFFGetRational(E, 41988, -1);
    for (int i = 0; i < 2; ++i) P.SetEXIFISOSpeedRatings(i, static_cast<int32_t>(IETIFFGetTagItem(E, 34855, i, 0)));
    P.EXIFExifVersion = IETIFFReadInlineText(E, 36864);
    P.EXIFFlashPixVersion = IETIFFReadInlineText(E, 40960);

    // The user comment: an 8-byte character code, then the text.
    const cl::String uc = IETIFFReadTagText(E, 37510, false);
    if (uc.size() <= 8) {
        P.EXIFUserCommentCode.assign(IEEXIFUserCommentUnicode, 8);
        P.EXIFUserComment.clear();
    } else {
        P.EXIFUserCommentCode = uc.substr(0, 8);
        const cl::String rest = uc.substr(8);
        P.EXIFUserComment.clear();
        if (std::memcmp(uc.data(), IEEXIFUserCommentUnicode, 8) == 0) {
            const size_t chars = (rest.size() + 1) / 2;
            for (size_t i = 0; i < chars; ++i) {
                const uint8_t a = static_cast<uint8_t>(rest[2 * i]);
                const uint8_t b = 2 * i + 1 < rest.size() ? static_cast<uint8_t>(rest[2 * i + 1]) : 0;
                P.EXIFUserComment.push_back(E.LittleEndian ? static_cast<char16_t>(a | (b << 8))
                                                           : static_cast<char16_t>((a << 8) | b));
            }
        } else {
            for (char c : rest) P.EXIFUserComment.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
        }
        // The terminating zeros the writers add are not part of the comment.
        while (!P.EXIFUserComment.empty() && P.EXIFUserComment.back() == 0) P.EXIFUserComment.pop_back();
    }

    // The maker note, read in the file's byte order.
    if (TIETagsHandler* mn = P.EXIFMakerNote()) {
        mn->Clear();
        if (const TTIFFEntry* e = FindEntry(E, IEEXIFMakerNoteTag)) {
            const int64_t at = E.Base + e->Value;
            if (e->Count > 0 && at < E.Stream->GetSize()) {
                E.Stream->Seek(at, cl::soBeginning);
                const int64_t n = std::min<int64_t>(e->Count, E.Stream->GetSize() - at);
                mn->ReadFromStream(E.Stream, static_cast<int32_t>(n), E.LittleEndian);
            }
        }
    }
}

void ReadGPSDirectory(const TTIFFDirectory& G, TIOParamsVals& P) {
    // The version bytes as dotted decimals.
    P.GPSVersionID.clear();
    if (const TTIFFEntry* e = FindEntry(G, 0)) {
        const std::vector<uint8_t> b = IETIFFReadTagData(G, 0);
        for (size_t i = 0; i < b.size() && i < e->Count; ++i) {
            if (i) P.GPSVersionID += '.';
            P.GPSVersionID += std::to_string(b[i]);
        }
    }
    for (const TIETIFFTextField& t : IETIFFGPSRefs) P.*t.Field = TrimNul(IETIFFReadInlineText(G, t.Tag));
    for (const TIETIFFTextField& t : IETIFFGPSTexts) P.*t.Field = IETIFFReadTagText(G, t.Tag, true);
    for (const TIETIFFRationalField& t : IETIFFGPSRationals) P.*t.Field = IETIFFGetRational(G, t.Tag, 0);
    for (const TIETIFFRationalTripleField& t : IETIFFGPSTriples)
        for (int i = 0; i < 3; ++i) (P.*t.Field)[i] = IETIFFGetRationalItem(G, t.Tag, i, 0);
    P.GPSAltitudeRef = FindEntry(G, 5) ? std::to_string(IETIFFGetTagValue(G, 5, 0)) : cl::String();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The reader

namespace {

// The memory a page may ask for: 64 MiB always, beyond that 2,048 bytes per byte of file
// (more than the best compressions give), and never 2 GiB or more.
int64_t MemoryLimit(int64_t StreamSize) {
    const int64_t perFile = IECheckedMul(std::max<int64_t>(StreamSize, 0), 2048).value_or(INT64_MAX);
    return std::min<int64_t>((int64_t{1} << 31) - 1, std::max<int64_t>(int64_t{64} << 20, perFile));
}

// True when everything the decoding of the page allocates fits the memory the file can
// justify: the bitmap of BitCount bits per pixel, the 8-bit alpha mask when one is read, the
// work rows of the widest strip or tile and, for tiled pages, one decoded tile. Checked
// before anything is allocated, so that a header claiming a huge picture costs nothing.
bool PlausibleSize(const TTIFFVars& V, int32_t BitCount, bool Mask, int64_t StreamSize) {
    const int64_t w = V.ImageWidth, h = V.ImageHeight;
    const bool tiled = V.TileWidth > 0 && V.TileLength > 0;
    const int64_t pieceWidth = tiled ? std::max<int64_t>(w, V.TileWidth) : w;
    // A row as stored (at most 2 bytes a sample) and the decoder's and converter's work rows.
    const auto perPixel = IECheckedAdd(IECheckedMul(V.SamplesPerPixel, 4).value_or(-1), 32);
    const auto bitmap = IECheckedImageBytes(w, h, BitCount);
    const auto mask = Mask ? IECheckedImageBytes(w, h, 8) : std::optional<int64_t>(0);
    const auto rows = perPixel ? IECheckedMul(pieceWidth, *perPixel) : std::nullopt;
    const auto tile = tiled ? IECheckedImageBytes(V.TileWidth, V.TileLength, 24) : std::optional<int64_t>(0);
    if (!bitmap || !mask || !rows || !tile) return false;
    int64_t total = 0;
    for (int64_t part : {*bitmap, *mask, *rows, *tile}) {
        const auto sum = IECheckedAdd(total, part);
        if (!sum) return false;
        total = *sum;
    }
    return total <= MemoryLimit(StreamSize);
}

uint8_t CompressionCode(int32_t Compression, int64_t T4Options) {
    switch (Compression) {
        case 1: return 0;
        case 2: return 1;
        case 3: return (T4Options & 1) ? 3 : 2;
        case 4: return 4;
        case 5: return 5;
        case 6: return 6;
        case 7: return 7;
        case 32773: return 8;
        case 32946: return 9;
        case 8: return 10;
        default: return 11;
    }
}

TIEPixelFormat PixelFormatOf(const TTIFFVars& V, bool Native) {
    const int32_t b = V.BitsPerSample, s = V.SamplesPerPixel, p = V.Photometric;
    if (b == 1 && s == 1 && p != 3) return ie1g;
    if (!Native || V.Compression == 7) return ie24RGB;
    if (b == 8 && s == 1 && p == 3) return ie8p;
    if (b == 8 && s == 1 && (p == 0 || p == 1)) return ie8g;
    if (b == 16 && s == 1 && (p == 0 || p == 1)) return ie16g;
    if (b == 8 && s > 3 && p == 5) return ieCMYK;
    if (b == 16 && s == 4 && p == 5) return ieCMYK;
    if (b == 16 && s == 3 && p == 2) return ieRGB48;
    return ie24RGB;
}

void ReadColorMap(const TTIFFDirectory& D, TTIFFVars& V) {
    V.ColorMap.clear();
    const TTIFFEntry* e = FindEntry(D, 320);
    if (!e || V.BitsPerSample < 1 || V.BitsPerSample > 16) return;
    const int64_t full = int64_t{1} << V.BitsPerSample;
    const int64_t n = std::min<int64_t>(e->Count / 3, full);
    if (n <= 0) return;
    const std::vector<int64_t> values = IETIFFReadTagArray(D, 320);
    if (values.size() < static_cast<size_t>(3 * n)) return;
    int64_t maxv = 0;
    for (int64_t i = 0; i < 3 * n; ++i) maxv = std::max(maxv, values[static_cast<size_t>(i)]);
    const int shift = maxv < 256 ? 0 : 8;
    // The map covers every index the samples can hold; entries the file lacks are black.
    V.ColorMap.assign(static_cast<size_t>(std::min<int64_t>(full, 65536)), TRGB{0, 0, 0});
    for (int64_t i = 0; i < n; ++i) {
        TRGB& c = V.ColorMap[static_cast<size_t>(i)];
        c.r = static_cast<uint8_t>(values[static_cast<size_t>(i)] >> shift);
        c.g = static_cast<uint8_t>(values[static_cast<size_t>(n + i)] >> shift);
        c.b = static_cast<uint8_t>(values[static_cast<size_t>(2 * n + i)] >> shift);
    }
}

void FillParams(const TTIFFDirectory& D, const TTIFFVars& V, TIOParamsVals& P, int32_t PageCount) {
    P.BitsPerSample = V.BitsPerSample;
    P.SamplesPerPixel = V.SamplesPerPixel;
    P.Width = P.OriginalWidth = V.ImageWidth;
    P.Height = P.OriginalHeight = V.ImageHeight;
    P.TIFFByteOrder = V.LittleEndian;
    P.SetImageCount(PageCount);
    P.SetTIFFOrientation(V.Orientation);
    P.TIFFCompression = CompressionCode(V.Compression, V.T4Options);
    if (V.Photometric >= 0 && V.Photometric <= 6)
        P.TIFFPhotometric = static_cast<uint8_t>(V.Photometric);
    else if (V.Photometric == 8)
        P.TIFFPhotometric = 7;
    P.TIFFPlanarConfig = V.PlanarConfig;
    P.TIFFDocumentName = IETIFFReadTagText(D, 269, true);
    P.TIFFImageDescription = IETIFFReadTagText(D, 270, true);
    P.TIFFPageName = IETIFFReadTagText(D, 285, true);
    P.TIFFPageNumber = static_cast<int32_t>(IETIFFGetTagItem(D, 297, 0, 0));
    P.TIFFPageCount = static_cast<int32_t>(IETIFFGetTagItem(D, 297, 1, 0));
    P.TIFFFillOrder = V.FillOrder;

    const double factor = V.ResolutionUnit == 3 ? 2.54 : 1.0;
    // The resolution in whole dots per inch (truncated), the EXIF resolution exact.
    const double rx = std::clamp(V.XResolution * factor, 0.0, 2.0e9),
                 ry = std::clamp(V.YResolution * factor, 0.0, 2.0e9);
    P.SetDpiX(static_cast<int32_t>(rx));
    P.SetDpiY(static_cast<int32_t>(ry));
    P.EXIFXResolution = rx;
    P.EXIFYResolution = ry;
    if (P.DpiX == 0) P.SetDpiX(IEDefaultDpiX);
    if (P.DpiY == 0) P.SetDpiY(IEDefaultDpiY);
    P.TIFFXPos = static_cast<int32_t>(std::trunc(std::clamp(V.XPosition * factor, -2.0e9, 2.0e9)));
    P.TIFFYPos = static_cast<int32_t>(std::trunc(std::clamp(V.YPosition * factor, -2.0e9, 2.0e9)));

    P.FreeColorMap();
    if (!V.ColorMap.empty()) {
        TRGB* map = P.AllocColorMap(static_cast<int32_t>(V.ColorMap.size()));
        std::copy(V.ColorMap.begin(), V.ColorMap.end(), map);
    }

    // The EXIF fields the image directory itself carries.
    P.EXIFImageDescription = P.TIFFImageDescription;
    P.EXIFMake = IETIFFReadTagText(D, 271, true);
    P.EXIFModel = IETIFFReadTagText(D, 272, true);
    P.EXIFDateTime = IETIFFReadTagText(D, 306, true);
    P.SetEXIFOrientation(V.Orientation);
    P.EXIFResolutionUnit = V.ResolutionUnit;
    P.EXIFSoftware = V.Software;
    P.EXIFRating = static_cast<int32_t>(IETIFFGetTagValue(D, 18246, -1));
    P.EXIFXPTitle = IETIFFReadTagWideText(D, 40091);
    P.EXIFXPComment = IETIFFReadTagWideText(D, 40092);
    P.EXIFXPAuthor = IETIFFReadTagWideText(D, 40093);
    P.EXIFXPKeywords = IETIFFReadTagWideText(D, 40094);
    P.EXIFXPSubject = IETIFFReadTagWideText(D, 40095);
    P.EXIFArtist = IETIFFReadTagText(D, 315, true);
    for (int i = 0; i < 2; ++i) P.SetEXIFWhitePoint(i, IETIFFGetRationalItem(D, 318, i, -1));
    P.EXIFYCbCrPositioning = static_cast<int32_t>(IETIFFGetTagValue(D, 531, -1));
    for (int i = 0; i < 6; ++i) P.SetEXIFPrimaryChromaticities(i, IETIFFGetRationalItem(D, 319, i, -1));
    for (int i = 0; i < 3; ++i) P.SetEXIFYCbCrCoefficients(i, IETIFFGetRationalItem(D, 529, i, -1));
    for (int i = 0; i < 6; ++i) P.SetEXIFReferenceBlackWhite(i, IETIFFGetRationalItem(D, 532, i, -1));
    P.EXIFRightsNotice = IETIFFReadTagText(D, 33432, true);
}

}  // namespace

void IEReadTIFFStream(TIEBitmap* Bitmap, cl::TStream* Stream, int32_t& ImageCount, TIOParamsVals& Params,
                      TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask,
                      bool RelativeOffsets, bool IgnoreAlpha, bool EXIFThumbnail) {
    ImageCount = 0;
    TTIFFDirectory dir;
    dir.Stream = Stream;
    // The header is read where the stream stands; the offsets count from there or, when
    // they are absolute (a TIFF behind a stream header), from the stream's start.
    dir.Base = RelativeOffsets ? Stream->GetPosition() : 0;
    uint8_t head[8];
    if (IEReadUpTo(Stream, head, 8) < 8 ||
        !((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))) {
        Progress.Abort();
        return;
    }
    dir.LittleEndian = head[0] == 'I';
    const int64_t first = dir.Get32(head + 4);
    if (first == 0) return;
    int32_t pages = 0;
    if (!IETIFFReadIFD(Params.TIFFImageIndex, first, dir, pages)) {
        ImageCount = pages;
        // A first directory that the stream does not hold is a damaged file; a page past
        // the end of a readable chain only ends the read.
        if (pages == 0) Progress.Abort();
        return;
    }
    ImageCount = pages;

    if (Params.TIFFSubIndex >= 0) {
        const int64_t sub = IETIFFGetTagItem(dir, 330, Params.TIFFSubIndex, 0);
        if (sub != 0) {
            TTIFFDirectory subDir = dir;
            int32_t unused = 0;
            if (IETIFFReadIFD(0, sub, subDir, unused)) dir.Entries = std::move(subDir.Entries);
        }
    }

    // The EXIF and GPS directories use absolute offsets.
    TTIFFDirectory exif, gps;
    exif.Stream = gps.Stream = Stream;
    exif.LittleEndian = gps.LittleEndian = dir.LittleEndian;
    const int64_t exifAt = IETIFFGetTagValue(dir, 34665, 0);
    const int64_t gpsAt = IETIFFGetTagValue(dir, 34853, 0);
    int32_t unused = 0;
    if (exifAt != 0) {
        IETIFFReadIFD(0, exifAt, exif, unused);
        Params.HasEXIFData = true;
    }
    if (gpsAt != 0) IETIFFReadIFD(0, gpsAt, gps, unused);

    TTIFFVars v;
    v.LittleEndian = dir.LittleEndian;
    v.Params = &Params;
    auto value32 = [&](uint16_t Tag, int64_t Default) {
        return static_cast<int32_t>(std::clamp<int64_t>(IETIFFGetTagValue(dir, Tag, Default), INT32_MIN, INT32_MAX));
    };
    if (Params.TIFFGetTile != -1) {
        v.ImageWidth = value32(322, 0);
        v.ImageHeight = value32(323, 0);
    } else {
        v.ImageWidth = value32(256, 0);
        v.ImageHeight = value32(257, 0);
    }
    v.SamplesPerPixel = value32(277, 1);
    if (const TTIFFEntry* e = FindEntry(dir, 258)) {
        if (e->Count <= 1) {
            v.BitsPerSample = value32(258, 1);
        } else {
            const std::vector<int64_t> bps = IETIFFReadTagArray(dir, 258);
            if (bps.empty() || std::any_of(bps.begin(), bps.end(), [&](int64_t b) { return b != bps[0]; })) {
                Progress.Abort();
                return;
            }
            v.BitsPerSample = static_cast<int32_t>(bps[0]);
        }
    }
    v.RowsPerStrip = value32(278, v.ImageHeight);
    if (v.RowsPerStrip <= 0) v.RowsPerStrip = v.ImageHeight;
    v.TileWidth = value32(322, -1);
    v.TileLength = value32(323, -1);
    v.Photometric = value32(262, 2);
    v.PlanarConfig = value32(284, 1);
    v.Orientation = value32(274, 1);
    v.Compression = value32(259, 1);
    v.StripOffsets = IETIFFReadTagArray(dir, 273);
    v.StripByteCounts = IETIFFReadTagArray(dir, 279);
    v.TileOffsets = IETIFFReadTagArray(dir, 324);
    v.TileByteCounts = IETIFFReadTagArray(dir, 325);
    v.ResolutionUnit = value32(296, 2);
    v.XResolution = IETIFFGetRational(dir, 282, IEDefaultDpiX);
    v.YResolution = IETIFFGetRational(dir, 283, IEDefaultDpiY);
    v.Predictor = value32(317, 1);
    v.T4Options = IETIFFGetTagValue(dir, 292, 0);
    v.T6Options = IETIFFGetTagValue(dir, 293, 0);
    v.FillOrder = value32(266, 1);
    if (v.FillOrder != 1 && v.FillOrder != 2) v.FillOrder = 1;
    v.XPosition = IETIFFGetRational(dir, 286, 0);
    v.YPosition = IETIFFGetRational(dir, 287, 0);
    v.Software = IETIFFReadTagText(dir, 305, true);
    v.SubsamplingH = static_cast<int32_t>(IETIFFGetTagItem(dir, 530, 0, 2));
    v.SubsamplingV = static_cast<int32_t>(IETIFFGetTagItem(dir, 530, 1, 2));
    if (v.SubsamplingH == 0) v.SubsamplingH = 2;
    if (v.SubsamplingV == 0) v.SubsamplingV = 2;
    v.JPEGIFOffset = IETIFFGetTagValue(dir, 513, 0);
    v.JPEGIFLength = IETIFFGetTagValue(dir, 514, 0);
    v.JPEGProc = value32(512, 0);
    if (v.Compression == 5)
        v.LZWDecompress = Params.TIFFLZWDecompress ? Params.TIFFLZWDecompress : IEDefTIFFLZWDecompress;
    if (const TTIFFEntry* e = FindEntry(dir, 338)) {
        const std::vector<int64_t> es = IETIFFReadTagArray(dir, 338);
        for (size_t i = 0; i < es.size() && i < static_cast<size_t>(IETIFFMaxExtraSamples); ++i)
            v.ExtraSamples.push_back(static_cast<int32_t>(es[i]));
        if (!v.ExtraSamples.empty()) v.ExtraSample0 = v.ExtraSamples[0];
        (void)e;
    }
    if (v.SamplesPerPixel == 1 && v.BitsPerSample == 1 && v.Compression >= 1 && v.Compression <= 4 &&
        v.Photometric == 2)
        v.Photometric = 0;
    v.JPEGTables = IETIFFReadTagData(dir, 347);
    ReadColorMap(dir, v);

    // IPTC records: the block's size follows the entry's type.
    if (const TTIFFEntry* e = FindEntry(dir, 33723)) {
        const std::vector<uint8_t> b = IETIFFReadTagData(dir, 33723);
        if (!b.empty()) Params.IPTC()->LoadFromBuffer(b.data(), static_cast<int32_t>(b.size()));
        (void)e;
    } else {
        Params.IPTC()->Clear();
    }
    Params.XMPInfo.clear();
    if (const TTIFFEntry* e = FindEntry(dir, 700); e && (e->Type == 1 || e->Type == 7)) {
        const std::vector<uint8_t> b = IETIFFReadTagData(dir, 700);
        Params.XMPInfo.assign(b.begin(), b.end());
    }
    if (FindEntry(dir, 32932)) {
        const std::vector<uint8_t> b = IETIFFReadTagData(dir, 32932);
        if (!b.empty()) Params.GetImagingAnnot()->LoadFromBuffer(b.data(), static_cast<int32_t>(b.size()));
    }
    if (FindEntry(dir, 34675)) {
        const std::vector<uint8_t> b = IETIFFReadTagData(dir, 34675);
        if (!b.empty()) Params.GetInputICCProfile()->LoadFromBuffer(b.data(), static_cast<int32_t>(b.size()));
    }

    FillParams(dir, v, Params, pages);
    if (!exif.Entries.empty()) ReadEXIFDirectory(exif, Params);
    if (!gps.Entries.empty()) ReadGPSDirectory(gps, Params);
    if (ParamsOnly) return;

    // The image.
    if ((v.ImageWidth == 0 || v.ImageHeight == 0) && !EXIFThumbnail) {
        Progress.Abort();
        return;
    }
    if (v.ImageWidth < 0 || v.ImageHeight < 0 || v.SamplesPerPixel < 1 || v.BitsPerSample < 1 || v.BitsPerSample > 16 ||
        v.SamplesPerPixel > 256) {
        Progress.Abort();
        return;
    }
    if (v.Compression == 5 && !v.LZWDecompress) {
        Progress.Abort();
        return;
    }
    // Strip and tile arrays whose values run past the end of the file.
    const std::pair<uint16_t, const std::vector<int64_t>*> arrays[] = {
        {273, &v.StripOffsets}, {279, &v.StripByteCounts}, {324, &v.TileOffsets}, {325, &v.TileByteCounts}};
    for (const auto& [tag, values] : arrays) {
        const TTIFFEntry* e = FindEntry(dir, tag);
        if (e && e->Count > 0 && values->empty()) {
            Progress.Abort();
            return;
        }
    }
    if (EXIFThumbnail && (v.ImageWidth > 400 || v.ImageHeight > 400)) {
        Progress.Abort();
        return;
    }
    const bool wantAlpha =
        !IgnoreAlpha &&
        ((v.SamplesPerPixel == 4 && v.ExtraSample0 == 2) || (v.SamplesPerPixel >= 4 && !v.ExtraSamples.empty()) ||
         (v.SamplesPerPixel == 2 && v.BitsPerSample == 8) ||
         (v.SamplesPerPixel >= 2 && !v.ExtraSamples.empty() && v.ExtraSample0 == 1) ||
         (v.SamplesPerPixel == 4 && v.Photometric == 2));
    const bool oldJPEG = (v.Compression == 6 || (v.JPEGIFOffset != 0 && v.Compression != 5)) && v.JPEGProc < 2;
    if (v.TileWidth > 0 || v.TileLength > 0) {
        if (v.TileWidth <= 0 || v.TileLength <= 0) {
            Progress.Abort();
            return;
        }
    }
    // The claimed sizes against the data, before the mask or the bitmap exists.
    const TIEPixelFormat fmt = oldJPEG ? ie24RGB : PixelFormatOf(v, Params.NativePixelFormat);
    if (!PlausibleSize(v, IEPixelFormat2BitCount[fmt], wantAlpha || AlphaMask, Stream->GetSize())) {
        Progress.Abort();
        return;
    }
    if (wantAlpha && !AlphaMask) AlphaMask = std::make_unique<TIEMask>();
    if (AlphaMask) {
        AlphaMask->Allocate(v.ImageWidth, v.ImageHeight, 8);
        AlphaMask->Fill(255);
        v.AlphaMask = AlphaMask.get();
    } else {
        v.IgnoreAlpha = true;
    }
    const TIEBitmapAccess access = Bitmap->Access;
    Bitmap->Access = ieaRead | ieaWrite;
    struct RestoreAccess {
        TIEBitmap* B;
        TIEBitmapAccess A;
        ~RestoreAccess() { B->Access = A; }
    } restore{Bitmap, access};

    if (oldJPEG) {
        IETIFFReadOldJPEG(dir, v, Bitmap, Progress);
    } else {
        if (v.ImageWidth == 0 || v.ImageHeight == 0 || v.Compression == 6) {
            Progress.Abort();
            return;
        }
        if (v.Photometric == 3 && v.ColorMap.empty()) {
            // Palette indexes without a palette cannot be shown.
            Progress.Abort();
            return;
        }
        if (!Bitmap->Allocate(v.ImageWidth, v.ImageHeight, fmt)) {
            Progress.Abort();
            return;
        }
        if (fmt == ie8p) {
            for (int32_t i = 0; i < 256 && i < static_cast<int32_t>(v.ColorMap.size()); ++i)
                Bitmap->SetPaletteEntry(i, v.ColorMap[static_cast<size_t>(i)]);
        }
        if (EXIFThumbnail) Bitmap->Fill(0);
        if (v.TileWidth > 0 && v.TileLength > 0) {
            if (v.TileOffsets.empty() && !v.StripOffsets.empty()) {
                v.TileOffsets = v.StripOffsets;
                v.TileByteCounts = v.StripByteCounts;
            }
            IETIFFReadTiles(dir, v, Bitmap, Progress);
        } else {
            if (v.StripOffsets.empty()) {
                Progress.Abort();
                return;
            }
            IETIFFReadStrips(dir, v, Bitmap, Progress);
        }
    }
    if (v.AlphaMask) {
        v.AlphaMask->SyncFull();
        v.AlphaMask->SyncRect();
    }
    if (Params.TIFFApplyOrientation && !Progress.IsAborting()) {
        IEApplyEXIFOrientation(Bitmap, v.Orientation);
        Params.SetTIFFOrientation(1);
    }
    if (TIEICC* icc = Params.InputICCProfile(); icc && icc->HasTransform()) icc->FreeTransform();
}

// ---------------------------------------------------------------------------------------
// Registration

namespace {

void ReadTIFF(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEReadContext& Context) {
    int32_t count = 0;
    IEReadTIFFStream(Bitmap, Stream, count, Params, Progress, Context.PreviewOnly, Context.AlphaMask,
                     Context.RelativeOffsets, false, false);
    Context.ImageCount = count;
}

void WriteTIFF(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
               TIEWriteContext&) {
    IEWriteTIFFStream(Stream, false, Bitmap, Progress, Params);
}

}  // namespace

void IETIFFRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsTIFFStream;
    ops.Read = &ReadTIFF;
    ops.Write = &WriteTIFF;
    IESetFormatOps(ioTIFF, ops);
}

}  // namespace ie
