#include "imaging/core/hyieutils_tiff.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_helpers.h"

namespace ie {

int32_t IETIFFTypeSize(uint16_t Type) {
    static constexpr int32_t sizes[13] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return Type <= 12 ? sizes[Type] : 1;
}

namespace {

constexpr uint16_t kCompression = 259;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kTileOffsets = 324;
constexpr uint16_t kTileByteCounts = 325;
constexpr uint16_t kJPEGInterchangeFormat = 513;
constexpr uint16_t kJPEGInterchangeFormatLength = 514;
constexpr uint16_t kJPEGQTables = 519;
constexpr uint16_t kJPEGDCTables = 520;
constexpr uint16_t kJPEGACTables = 521;
constexpr uint16_t kHDPImageOffset = 48320;
constexpr uint16_t kHDPImageByteCount = 48321;
constexpr uint16_t kHDPAlphaOffset = 48322;
constexpr uint16_t kHDPAlphaByteCount = 48323;
constexpr uint16_t kHDPhotoVersion = 444;
constexpr uint16_t kBigTIFFVersion = 43;

bool IsSubIFDTag(uint16_t Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }

// The length tag of an offset tag, 0 when the tag is not the offset tag of a pair.
uint16_t LengthTagOf(uint16_t Tag, uint16_t Version) {
    switch (Tag) {
        case kStripOffsets: return kStripByteCounts;
        case kTileOffsets: return kTileByteCounts;
        case kJPEGInterchangeFormat: return kJPEGInterchangeFormatLength;
        case kHDPImageOffset: return Version == kHDPhotoVersion ? kHDPImageByteCount : 0;
        case kHDPAlphaOffset: return Version == kHDPhotoVersion ? kHDPAlphaByteCount : 0;
        default: return 0;
    }
}

// Value k of an entry as an unsigned number (BYTE, SHORT and LONG kinds); 0 beyond.
uint32_t UnsignedValue(const TIETIFFEntry& E, int64_t K, bool Big) {
    const uint8_t* p = TIETIFFHandler::GetValuePtr(E, K);
    if (!p) return 0;
    switch (E.Type) {
        case IETIFF_BYTE:
        case IETIFF_ASCII:
        case IETIFF_UNDEFINED:
        case IETIFF_SBYTE: return p[0];
        case IETIFF_SHORT:
        case IETIFF_SSHORT: return IEGetU16(p, Big);
        case IETIFF_LONG:
        case IETIFF_SLONG:
        case 13: return IEGetU32(p, Big);
        default: return 0;
    }
}

void DeleteByTag(TIETIFFTagList& List, uint16_t Tag) {
    const int32_t i = TIETIFFHandler::FindTagInList(List, Tag);
    if (i >= 0) TIETIFFHandler::DeleteTagFromList(List, i);
}

constexpr int64_t kMaxOffset = 0xFFFFFFFFll;

void Put16(uint8_t* P, uint16_t V, bool Big) { IEPutU16(P, V, Big); }
void Put32(uint8_t* P, uint32_t V, bool Big) { IEPutU32(P, V, Big); }

}  // namespace

std::unique_ptr<TIETIFFEntry> TIETIFFEntry::Clone() const {
    auto e = std::make_unique<TIETIFFEntry>();
    e->Tag = Tag;
    e->Type = Type;
    e->Count = Count;
    std::memcpy(e->Inline, Inline, 4);
    e->Data = Data;
    e->HasBlocks = HasBlocks;
    e->Blocks = Blocks;
    e->Offset = Offset;
    if (SubIFD) {
        e->SubIFD = std::make_unique<TIETIFFTagList>();
        for (const auto& s : *SubIFD) e->SubIFD->push_back(s->Clone());
    }
    return e;
}

// ---------------------------------------------------------------------------------------
// Reading

struct TIETIFFHandler::Reader {
    cl::TStream* S;
    int64_t Size;
    bool Big;
    uint16_t Version;
    std::set<int64_t> Visited;
    // Bytes of values and blocks the stream can justify: a structure's data never fill the
    // file more than twice over (strips shared between pages included).
    int64_t Budget;

    bool ReadAt(int64_t Pos, void* Buffer, int64_t Count) {
        if (!IEInside(Size, Pos, Count)) return false;
        if (Count == 0) return true;
        if (S->Seek(Pos, cl::soBeginning) != Pos) return false;
        return S->Read(Buffer, Count) == Count;
    }
    bool ReadBlock(int64_t Pos, int64_t Count, std::vector<uint8_t>& Out) {
        if (!IEInside(Size, Pos, Count) || Count > Budget) return false;
        Out.resize(static_cast<size_t>(Count));
        if (!ReadAt(Pos, Out.data(), Count)) return false;
        Budget -= Count;
        return true;
    }

    // Reads the IFD at Offset (already marked visited) into List; returns its link.
    uint32_t ReadIFD(int64_t Offset, TIETIFFTagList& List, int32_t Depth) {
        uint8_t c[2];
        if (!ReadAt(Offset, c, 2)) return 0;
        const int64_t count = IEGetU16(c, Big);
        bool whole = true;
        for (int64_t i = 0; i < count; ++i) {
            uint8_t raw[12];
            if (!ReadAt(Offset + 2 + i * 12, raw, 12)) {
                whole = false;
                break;
            }
            auto e = std::make_unique<TIETIFFEntry>();
            e->Tag = IEGetU16(raw, Big);
            e->Type = IEGetU16(raw + 2, Big);
            e->Count = IEGetU32(raw + 4, Big);
            std::memcpy(e->Inline, raw + 8, 4);
            const int64_t length = e->ValueLength();
            const int64_t offset = IEGetU32(raw + 8, Big);
            if (length > 4) {
                if (!ReadBlock(offset, length, e->Data)) continue;  // dropped
                std::memset(e->Inline, 0, 4);
                e->Offset = offset;
            } else if (IsSubIFDTag(e->Tag)) {
                if (Depth + 1 > MaxDepth || offset >= Size || Visited.count(offset)) continue;
                Visited.insert(offset);
                e->SubIFD = std::make_unique<TIETIFFTagList>();
                ReadIFD(offset, *e->SubIFD, Depth + 1);
            }
            List.push_back(std::move(e));
        }
        uint32_t link = 0;
        if (whole) {
            uint8_t l[4];
            if (ReadAt(Offset + 2 + count * 12, l, 4)) link = IEGetU32(l, Big);
        }
        LoadBlocks(List);
        if (TIETIFFHandler::FindTagInList(List, kCompression) >= 0 &&
            UnsignedValue(*List[FindTagInList(List, kCompression)], 0, Big) == 6 &&
            FindTagInList(List, kStripOffsets) >= 0 && FindTagInList(List, kJPEGInterchangeFormat) >= 0) {
            for (uint16_t t : {kStripOffsets, kJPEGQTables, kJPEGDCTables, kJPEGACTables}) DeleteByTag(List, t);
        }
        SortTags(List);
        return link;
    }

    // The bytes of every offset/length pair's blocks; an offset tag without a length tag of
    // enough values, or with a block outside the stream, is dropped.
    void LoadBlocks(TIETIFFTagList& List) {
        for (size_t i = 0; i < List.size();) {
            TIETIFFEntry& e = *List[i];
            const uint16_t lengthTag = LengthTagOf(e.Tag, Version);
            if (!lengthTag || e.SubIFD) {
                ++i;
                continue;
            }
            const int32_t li = FindTagInList(List, lengthTag);
            bool ok = li >= 0 && List[li]->Count >= e.Count;
            std::vector<std::vector<uint8_t>> blocks;
            for (uint32_t k = 0; ok && k < e.Count; ++k) {
                blocks.emplace_back();
                ok = ReadBlock(UnsignedValue(e, k, Big), UnsignedValue(*List[li], k, Big), blocks.back());
            }
            if (!ok) {
                List.erase(List.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            e.Blocks = std::move(blocks);
            e.HasBlocks = true;
            e.Type = IETIFF_LONG;
            e.Data.clear();
            std::memset(e.Inline, 0, 4);
            ++i;
        }
    }
};

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromFile(const cl::String& FileName) {
    auto h = std::make_unique<TIETIFFHandler>();
    h->ReadFile(FileName);
    return h;
}

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromStream(cl::TStream* Stream) {
    auto h = std::make_unique<TIETIFFHandler>();
    h->ReadStream(Stream);
    return h;
}

bool TIETIFFHandler::ReadFile(const cl::String& FileName) {
    Clear();
    if (!cl::FileExists(FileName)) return false;
    try {
        cl::TFileStream f(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
        return ReadStream(&f);
    } catch (const cl::Exception&) {
        return false;
    }
}

bool TIETIFFHandler::ReadHeader(cl::TStream* Stream) {
    uint8_t h[8];
    if (Stream->Read(h, 8) != 8) return false;
    const bool ii = h[0] == 'I' && h[1] == 'I';
    const bool mm = h[0] == 'M' && h[1] == 'M';
    if (!ii && !mm) return false;
    FBigEndian = mm;
    FVersion = IEGetU16(h + 2, mm);
    if (FVersion == kBigTIFFVersion) return false;
    Stream->Seek(IEGetU32(h + 4, mm), cl::soBeginning);
    return true;
}

bool TIETIFFHandler::ReadStream(cl::TStream* Stream) {
    Clear();
    Stream->Seek(0, cl::soBeginning);
    if (!ReadHeader(Stream)) return false;
    const int64_t size = Stream->GetSize();
    Reader r{Stream, size, FBigEndian, FVersion, {}, 2 * size};
    int64_t pos = Stream->GetPosition();
    while (pos != 0 && pos < size && !r.Visited.count(pos) && GetPagesCount() < MaxPages) {
        r.Visited.insert(pos);
        TIETIFFTagList page;
        const uint32_t link = r.ReadIFD(pos, page, 0);
        FPages.push_back(std::move(page));
        pos = link;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Editing

void TIETIFFHandler::Clear() { FPages.clear(); }

void TIETIFFHandler::DeletePage(int32_t PageIndex) {
    if (PageIndex < 0 || PageIndex >= GetPagesCount()) return;
    FPages.erase(FPages.begin() + PageIndex);
}

TIETIFFTagList& TIETIFFHandler::AddPage() {
    FPages.emplace_back();
    return FPages.back();
}

std::unique_ptr<TIETIFFEntry> TIETIFFHandler::MakeEntry(uint16_t Tag, uint16_t Type, uint32_t Count,
                                                        const std::vector<uint8_t>& Bytes) {
    auto e = std::make_unique<TIETIFFEntry>();
    e->Tag = Tag;
    e->Type = Type;
    e->Count = Count;
    std::vector<uint8_t> b = Bytes;
    b.resize(static_cast<size_t>(e->ValueLength()), 0);
    if (b.size() <= 4)
        std::memcpy(e->Inline, b.data(), b.size());
    else
        e->Data = std::move(b);
    return e;
}

TIETIFFTagList* TIETIFFHandler::GetPage(int32_t PageIndex) {
    if (PageIndex < 0 || PageIndex >= GetPagesCount()) return nullptr;
    return &FPages[PageIndex];
}

int32_t TIETIFFHandler::FindTag(int32_t PageIndex, uint16_t TagId) const {
    if (PageIndex < 0 || PageIndex >= GetPagesCount()) return -1;
    return FindTagInList(FPages[PageIndex], TagId);
}

int32_t TIETIFFHandler::FindTagInList(const TIETIFFTagList& List, uint16_t TagId) {
    for (size_t i = 0; i < List.size(); ++i)
        if (List[i]->Tag == TagId) return static_cast<int32_t>(i);
    return -1;
}

const uint8_t* TIETIFFHandler::GetValuePtr(const TIETIFFEntry& Entry, int64_t ValueIndex) {
    if (Entry.HasBlocks || ValueIndex < 0 || ValueIndex >= Entry.Count) return nullptr;
    const int64_t size = IETIFFTypeSize(Entry.Type);
    const int64_t at = ValueIndex * size;
    if (Entry.ValueLength() <= 4) return Entry.Inline + at;
    if (!IEInside(static_cast<int64_t>(Entry.Data.size()), at, size)) return nullptr;
    return Entry.Data.data() + at;
}

int32_t TIETIFFHandler::GetTagValue(const TIETIFFTagList& List, int32_t EntryIndex, int64_t ValueIndex) const {
    if (EntryIndex < 0 || EntryIndex >= static_cast<int32_t>(List.size())) return 0;
    const TIETIFFEntry& e = *List[EntryIndex];
    const uint8_t* p = GetValuePtr(e, ValueIndex);
    if (!p) return 0;
    switch (e.Type) {
        case IETIFF_BYTE:
        case IETIFF_ASCII:
        case IETIFF_UNDEFINED: return p[0];
        case IETIFF_SBYTE: return static_cast<int8_t>(p[0]);
        case IETIFF_SHORT:
        case IETIFF_SSHORT: return IEGetU16(p, FBigEndian);
        case IETIFF_LONG:
        case IETIFF_SLONG: return static_cast<int32_t>(IEGetU32(p, FBigEndian));
        default: return 0;
    }
}

int32_t TIETIFFHandler::GetTagValueByID(const TIETIFFTagList& List, uint16_t TagId, int64_t ValueIndex) const {
    const int32_t i = FindTagInList(List, TagId);
    return i < 0 ? 0 : GetTagValue(List, i, ValueIndex);
}

namespace {

int64_t AsInteger(const TIETIFFValue& V) {
    if (auto* i = std::get_if<int64_t>(&V)) return *i;
    double d = 0;
    if (auto* f = std::get_if<double>(&V))
        d = *f;
    else
        d = IEStrToFloatDef(std::get<cl::String>(V), 0);
    if (!std::isfinite(d)) return 0;
    d = std::clamp(d, -9.0e18, 9.0e18);
    return cl::Round(d);
}

double AsFloat(const TIETIFFValue& V) {
    if (auto* i = std::get_if<int64_t>(&V)) return static_cast<double>(*i);
    if (auto* f = std::get_if<double>(&V)) return *f;
    return IEStrToFloatDef(std::get<cl::String>(V), 0);
}

cl::String AsText(const TIETIFFValue& V) {
    if (auto* i = std::get_if<int64_t>(&V)) return IEIntToStr(*i);
    if (auto* f = std::get_if<double>(&V)) return IEFloatToStrDot(*f);
    return std::get<cl::String>(V);
}

// Value as a fraction over 10,000, or over a smaller power of ten when the numerator
// would not fit in 32 bits.
void Rational(double Value, bool Signed, int64_t& Num, int64_t& Den) {
    const double lo = Signed ? -2147483648.0 : 0.0;
    const double hi = Signed ? 2147483647.0 : 4294967295.0;
    if (!std::isfinite(Value)) Value = 0;
    for (Den = 10000; Den > 1; Den /= 10)
        if (Value * static_cast<double>(Den) >= lo && Value * static_cast<double>(Den) <= hi) break;
    Num = static_cast<int64_t>(
        std::clamp(static_cast<double>(cl::Round(std::clamp(Value * Den, -9.0e18, 9.0e18))), lo, hi));
}

}  // namespace

bool TIETIFFHandler::SetTagValue(TIETIFFTagList& List, uint16_t TagId, const TIETIFFValue& Value, uint16_t Type) {
    auto e = std::make_unique<TIETIFFEntry>();
    e->Tag = TagId;
    e->Type = Type;
    e->Count = 1;
    std::vector<uint8_t> bytes;
    const bool big = FBigEndian;
    switch (Type) {
        case IETIFF_BYTE:
        case IETIFF_SBYTE: bytes.push_back(static_cast<uint8_t>(AsInteger(Value))); break;
        case IETIFF_SHORT:
        case IETIFF_SSHORT:
            bytes.resize(2);
            Put16(bytes.data(), static_cast<uint16_t>(AsInteger(Value)), big);
            break;
        case IETIFF_LONG:
        case IETIFF_SLONG:
            bytes.resize(4);
            Put32(bytes.data(), static_cast<uint32_t>(AsInteger(Value)), big);
            break;
        case IETIFF_ASCII: {
            const cl::String s = AsText(Value);
            const size_t n = strnlen(s.c_str(), s.size());
            if (n >= 0xFFFFFFFFu) return false;
            bytes.assign(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
            bytes.push_back(0);
            e->Count = static_cast<uint32_t>(bytes.size());
            break;
        }
        case IETIFF_RATIONAL:
        case IETIFF_SRATIONAL: {
            int64_t num, den;
            Rational(AsFloat(Value), Type == IETIFF_SRATIONAL, num, den);
            bytes.resize(8);
            Put32(bytes.data(), static_cast<uint32_t>(num), big);
            Put32(bytes.data() + 4, static_cast<uint32_t>(den), big);
            break;
        }
        case IETIFF_FLOAT: {
            const float f = static_cast<float>(AsFloat(Value));
            uint32_t u;
            std::memcpy(&u, &f, 4);
            bytes.resize(4);
            Put32(bytes.data(), u, big);
            break;
        }
        case IETIFF_DOUBLE: {
            const double d = AsFloat(Value);
            uint64_t u;
            std::memcpy(&u, &d, 8);
            bytes.resize(8);
            Put32(bytes.data() + (big ? 0 : 4), static_cast<uint32_t>(u >> 32), big);
            Put32(bytes.data() + (big ? 4 : 0), static_cast<uint32_t>(u), big);
            break;
        }
        default: return false;
    }
    if (bytes.size() <= 4)
        std::memcpy(e->Inline, bytes.data(), bytes.size());
    else
        e->Data = std::move(bytes);
    DeleteByTag(List, TagId);
    List.push_back(std::move(e));
    return true;
}

void TIETIFFHandler::DeleteTag(int32_t PageIndex, int32_t EntryIndex) {
    if (PageIndex < 0 || PageIndex >= GetPagesCount()) return;
    DeleteTagFromList(FPages[PageIndex], EntryIndex);
}

void TIETIFFHandler::DeleteTagFromList(TIETIFFTagList& List, int32_t EntryIndex) {
    if (EntryIndex < 0 || EntryIndex >= static_cast<int32_t>(List.size())) return;
    List.erase(List.begin() + EntryIndex);
}

void TIETIFFHandler::CopyTag(int32_t SrcPage, int32_t SrcEntryIndex, int32_t DstPage, const TIETIFFHandler* Source) {
    if (!Source || SrcPage < 0 || SrcPage >= Source->GetPagesCount() || DstPage < 0 || DstPage >= GetPagesCount() ||
        SrcEntryIndex < 0 || Source->FBigEndian != FBigEndian)
        return;
    const TIETIFFTagList& src = Source->FPages[SrcPage];
    if (SrcEntryIndex >= static_cast<int32_t>(src.size())) return;
    auto copy = src[SrcEntryIndex]->Clone();
    TIETIFFTagList& dst = FPages[DstPage];
    DeleteByTag(dst, copy->Tag);
    dst.push_back(std::move(copy));
}

void TIETIFFHandler::SortPage(int32_t PageIndex) {
    if (PageIndex < 0 || PageIndex >= GetPagesCount()) return;
    SortTags(FPages[PageIndex]);
}

void TIETIFFHandler::SortTags(TIETIFFTagList& List) {
    std::stable_sort(List.begin(), List.end(), [](const auto& a, const auto& b) { return a->Tag < b->Tag; });
}

// ---------------------------------------------------------------------------------------
// Writing

int64_t IEWordAlignStream(cl::TStream* Stream) {
    int64_t p = Stream->GetPosition();
    if (p & 1) {
        const uint8_t zero = 0;
        Stream->WriteBuffer(&zero, 1);
        ++p;
    }
    return p;
}

namespace {

class IFDWriter {
public:
    IFDWriter(cl::TStream* S, bool Big) : S(S), Big(Big) {}

    // Writes the table of List at the stream's position and its data behind it; returns
    // the end of the data (the stream stands there) and where the table's link is. The
    // link stays 0. The table is in ascending tag order whatever the list's order.
    int64_t WriteIFD(const TIETIFFTagList& List, int64_t* LinkAt = nullptr) {
        const int64_t start = S->GetPosition();
        // An embedded JPEG stream without strips gets a StripOffsets entry at its start of
        // scan, written in its place in the table and not kept in the structure.
        const int32_t jpeg = TIETIFFHandler::FindTagInList(List, kJPEGInterchangeFormat);
        int64_t sos = -1;
        if (jpeg >= 0 && TIETIFFHandler::FindTagInList(List, kStripOffsets) < 0 && List[jpeg]->HasBlocks &&
            !List[jpeg]->Blocks.empty()) {
            const auto& b = List[jpeg]->Blocks[0];
            for (size_t i = 0; i + 1 < b.size(); ++i)
                if (b[i] == 0xFF && b[i + 1] == 0xDA) {
                    sos = static_cast<int64_t>(i);
                    break;
                }
        }
        const int64_t n = static_cast<int64_t>(List.size()) + (sos >= 0 ? 1 : 0);
        if (n > 0xFFFF) throw cl::EWriteError("Too many TIFF entries");
        std::vector<uint8_t> table(static_cast<size_t>(2 + n * 12 + 4), 0);
        Put16(table.data(), static_cast<uint16_t>(n), Big);
        S->WriteBuffer(table.data(), static_cast<int64_t>(table.size()));
        int64_t dataEnd = S->GetPosition();
        std::vector<std::pair<uint16_t, std::array<uint8_t, 12>>> out;
        int64_t jpegAt = -1;
        for (const auto& e : List) {
            S->Seek(dataEnd, cl::soBeginning);
            out.emplace_back(e->Tag, WriteEntry(*e, e->Tag == kJPEGInterchangeFormat ? &jpegAt : nullptr));
            dataEnd = S->GetPosition();
        }
        if (sos >= 0) out.emplace_back(kStripOffsets, Entry(kStripOffsets, IETIFF_LONG, 1, Offset(jpegAt + sos)));
        std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < out.size(); ++i) std::memcpy(table.data() + 2 + i * 12, out[i].second.data(), 12);
        S->Seek(start, cl::soBeginning);
        S->WriteBuffer(table.data(), static_cast<int64_t>(table.size()) - 4);
        S->Seek(dataEnd, cl::soBeginning);
        if (LinkAt) *LinkAt = start + 2 + n * 12;
        return dataEnd;
    }

private:
    static void Place(std::vector<uint8_t>& Table, size_t Slot, const std::array<uint8_t, 12>& E) {
        std::memcpy(Table.data() + 2 + Slot * 12, E.data(), 12);
    }
    std::array<uint8_t, 12> Entry(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) const {
        std::array<uint8_t, 12> e{};
        Put16(e.data(), Tag, Big);
        Put16(e.data() + 2, Type, Big);
        Put32(e.data() + 4, Count, Big);
        Put32(e.data() + 8, Value, Big);
        return e;
    }
    static uint32_t Offset(int64_t Position) {
        if (Position < 0 || Position > kMaxOffset) throw cl::EWriteError("TIFF offset beyond 4 GiB");
        return static_cast<uint32_t>(Position);
    }

    std::array<uint8_t, 12> WriteEntry(const TIETIFFEntry& E, int64_t* BlockStart) {
        std::array<uint8_t, 12> out = Entry(E.Tag, E.Type, E.Count, 0);
        if (E.HasBlocks) {
            std::vector<uint8_t> positions(E.Blocks.size() * 4);
            for (size_t k = 0; k < E.Blocks.size(); ++k) {
                const int64_t at = S->GetPosition();
                if (k == 0 && BlockStart) *BlockStart = at;
                Put32(positions.data() + k * 4, Offset(at), Big);
                if (!E.Blocks[k].empty()) S->WriteBuffer(E.Blocks[k].data(), static_cast<int64_t>(E.Blocks[k].size()));
            }
            out = Entry(E.Tag, IETIFF_LONG, static_cast<uint32_t>(E.Blocks.size()), 0);
            if (positions.size() <= 4) {
                if (!positions.empty()) std::memcpy(out.data() + 8, positions.data(), positions.size());
            } else {
                Put32(out.data() + 8, Offset(IEWordAlignStream(S)), Big);
                S->WriteBuffer(positions.data(), static_cast<int64_t>(positions.size()));
            }
        } else if (E.SubIFD) {
            Put32(out.data() + 8, Offset(IEWordAlignStream(S)), Big);
            WriteIFD(*E.SubIFD);
        } else if (E.ValueLength() > 4) {
            Put32(out.data() + 8, Offset(IEWordAlignStream(S)), Big);
            std::vector<uint8_t> bytes = E.Data;
            bytes.resize(static_cast<size_t>(E.ValueLength()), 0);
            S->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        } else {
            std::memcpy(out.data() + 8, E.Inline, 4);
        }
        return out;
    }

    cl::TStream* S;
    bool Big;
};

}  // namespace

bool TIETIFFHandler::WriteFile(const cl::String& FileName, int32_t PageIndex) {
    try {
        cl::TFileStream f(FileName, cl::fmCreate);
        return WriteStream(&f, PageIndex);
    } catch (const cl::Exception&) {
        return false;
    }
}

bool TIETIFFHandler::WriteStream(cl::TStream* Stream, int32_t PageIndex) {
    try {
        const bool big = FBigEndian;
        const int64_t start = Stream->GetPosition();
        uint8_t h[8] = {static_cast<uint8_t>(big ? 'M' : 'I'), static_cast<uint8_t>(big ? 'M' : 'I')};
        Put16(h + 2, FVersion, big);
        if (start + 8 > kMaxOffset) return false;
        Put32(h + 4, static_cast<uint32_t>(start + 8), big);
        Stream->WriteBuffer(h, 8);
        std::vector<int32_t> pages;
        if (PageIndex < 0 || PageIndex >= GetPagesCount())
            for (int32_t i = 0; i < GetPagesCount(); ++i) pages.push_back(i);
        else
            pages.push_back(PageIndex);
        IFDWriter w(Stream, big);
        int64_t linkAt = start + 4;  // the header's first-IFD field when there are no pages
        int64_t end = start + 8;
        for (size_t i = 0; i < pages.size(); ++i) {
            TIETIFFTagList& page = FPages[pages[i]];
            SortTags(page);
            const int64_t at = Stream->GetPosition();
            if (at > kMaxOffset) return false;
            if (i > 0) {
                uint8_t l[4];
                Put32(l, static_cast<uint32_t>(at), big);
                Stream->Seek(linkAt, cl::soBeginning);
                Stream->WriteBuffer(l, 4);
                Stream->Seek(at, cl::soBeginning);
            }
            end = w.WriteIFD(page, &linkAt);
            if (i + 1 < pages.size()) IEWordAlignStream(Stream);
        }
        if (!pages.empty()) {
            const uint8_t zero[4] = {};
            Stream->Seek(linkAt, cl::soBeginning);
            Stream->WriteBuffer(zero, 4);
        } else {
            // No pages: an empty first IFD, so the file stays a valid structure.
            const uint8_t empty[6] = {};
            Stream->Seek(end, cl::soBeginning);
            Stream->WriteBuffer(empty, 6);
            end += 6;
        }
        Stream->Seek(end, cl::soBeginning);
        return true;
    } catch (const cl::Exception&) {
        return false;
    }
}

}  // namespace ie
