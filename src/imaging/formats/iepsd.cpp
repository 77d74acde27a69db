// Photoshop documents.
#include "imaging/formats/iepsd.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio.h"
#include "imaging/processing/ieresample.h"
#include "imaging/processing/vovozidproc_utils.h"

namespace ie {

bool (*IEPSDReadThumbnailJPEG)(cl::TStream* Stream, TIEBitmap* Bitmap) = nullptr;
bool (*IEPSDWriteThumbnailJPEG)(cl::TStream* Stream, TIEBitmap* Bitmap) = nullptr;

TIEPSDViewHooks& IEPSDViewHooks() {
    static TIEPSDViewHooks hooks;
    return hooks;
}

int32_t TIEPSDLayer::GetShownWidth() const { return ShownWidth ? ShownWidth : Bitmap ? Bitmap->GetWidth() : 0; }
int32_t TIEPSDLayer::GetShownHeight() const { return ShownHeight ? ShownHeight : Bitmap ? Bitmap->GetHeight() : 0; }

namespace {

enum : int32_t { kBitmap = 0, kGrey = 1, kIndexed = 2, kRGB = 3, kCMYK = 4, kMultichannel = 7, kDuotone = 8, kLab = 9 };

uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t BE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
void PutBE16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}
void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
    PutBE16(v, x >> 16);
    PutBE16(v, x);
}

struct Header {
    uint16_t Channels = 0;
    uint32_t Height = 0, Width = 0;
    uint16_t Depth = 0, Mode = 0;
};

bool ParseHeader(const uint8_t* h, Header& r) {
    if (std::memcmp(h, "8BPS", 4) != 0 || BE16(h + 4) != 1) return false;
    r.Channels = BE16(h + 12);
    r.Height = BE32(h + 14);
    r.Width = BE32(h + 18);
    r.Depth = BE16(h + 22);
    r.Mode = BE16(h + 24);
    return r.Channels >= 1 && r.Channels <= 24 && r.Depth >= 1 && r.Depth <= 16 && r.Mode < 10;
}

bool GreyLike(int32_t Mode) { return Mode == kGrey || Mode == kMultichannel || Mode == kDuotone; }

// The pixel format of a colour mode and depth; ieNone when this reader has no placement for it.
TIEPixelFormat FormatOf(int32_t Mode, int32_t Depth) {
    if (Depth == 1) return Mode == kBitmap ? ie1g : ieNone;
    if (Depth != 8 && Depth != 16) return ieNone;
    if (GreyLike(Mode)) return Depth == 8 ? ie8g : ie16g;
    switch (Mode) {
        case kIndexed: return Depth == 8 ? ie8p : ieNone;
        case kRGB: return Depth == 8 ? ie24RGB : ieRGB48;
        case kCMYK: return ieCMYK;
        case kLab: return ieCIELab;
        default: return ieNone;
    }
}

// The colour channels of a mode: the first channel after them is the transparency.
int32_t ColourChannels(int32_t Mode) {
    switch (Mode) {
        case kRGB:
        case kLab: return 3;
        case kCMYK: return 4;
        default: return 1;
    }
}

int64_t RowBytes(int64_t Width, int32_t Depth) { return (Width * Depth + 7) / 8; }

// The least number of bytes a plane of Rows x RowLength needs in the file (as a double: no
// overflow for any header): raw rows, PackBits rows (with their counts), or zip data, which
// deflate keeps above a thousandth of what it holds.
double MinPlaneBytes(int64_t Rows, int64_t RowLength, int32_t Compression, bool WithCounts) {
    const double rows = static_cast<double>(Rows), length = static_cast<double>(RowLength);
    switch (Compression) {
        case 0: return rows * length;
        case 1: return (WithCounts ? rows * 2 : 0) + rows * std::ceil(length / 128) * 2;
        default: return rows * length / 1032;
    }
}

// A zip-compressed plane (compression 2, or 3 with each row's samples stored as differences
// from the sample before) into Plane of Rows x RowLength bytes. False when the data does not
// inflate to exactly that size.
bool InflatePlane(const uint8_t* Data, int64_t Count, std::vector<uint8_t>& Plane, int64_t Rows, int64_t RowLength,
                  bool Predicted, int32_t Depth) {
    Plane.assign(static_cast<size_t>(Rows * RowLength), 0);
    uLongf size = static_cast<uLongf>(Plane.size());
    if (uncompress(Plane.data(), &size, Data, static_cast<uLong>(Count)) != Z_OK || size != Plane.size()) return false;
    if (!Predicted) return true;
    for (int64_t y = 0; y < Rows; ++y) {
        uint8_t* r = Plane.data() + y * RowLength;
        if (Depth == 16) {
            for (int64_t i = 2; i + 1 < RowLength; i += 2) {
                const uint16_t v = static_cast<uint16_t>(((r[i] << 8) | r[i + 1]) + ((r[i - 2] << 8) | r[i - 1]));
                r[i] = static_cast<uint8_t>(v >> 8);
                r[i + 1] = static_cast<uint8_t>(v);
            }
        } else if (Depth == 8) {
            for (int64_t i = 1; i < RowLength; ++i) r[i] = static_cast<uint8_t>(r[i] + r[i - 1]);
        }
    }
    return true;
}

// A bitmap the reader fills; on success the component's bitmap takes its storage.
class TIEPSDLoadBitmap : public TIEBitmap {
public:
    void MoveInto(TIEBitmap* Dest) {
        if (Dest->GetLocation() == ieTBitmap || Dest->Encapsulated)
            Dest->Assign(this);
        else
            MoveStorageTo(Dest);
    }
};

// ---------------------------------------------------------------------------------------
// Reading

class Reader {
public:
    Reader(cl::TStream* S, TIOParamsVals& P, TProgressRec& Pr) : Stream(S), Params(P), Progress(Pr) {}

    bool Bytes(void* Dest, int64_t Count) { return IEReadChecked(Stream, Progress, Dest, Count); }
    bool U8(uint8_t& V) { return Bytes(&V, 1); }
    bool U16(uint16_t& V) {
        uint8_t b[2];
        if (!Bytes(b, 2)) return false;
        V = BE16(b);
        return true;
    }
    bool U32(uint32_t& V) {
        uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        V = BE32(b);
        return true;
    }
    bool Fail() {
        Progress.Abort();
        return false;
    }
    // Puts the stream at Position; False (abort flag) when that lies beyond its end.
    bool SeekTo(int64_t Position) {
        if (Position < 0 || Position > Stream->GetSize()) return Fail();
        Stream->Seek(Position, cl::soBeginning);
        return true;
    }

    // Decodes a plane of W x H (Rows of RowLength bytes) from the stream's position into
    // Target as channel Channel: raw rows, or PackBits rows of the byte counts given.
    bool ReadPlane(TIEBitmap* Target, int32_t W, int32_t H, int32_t Channel, bool Rle, const uint16_t* Counts,
                   const uint8_t* Inflated = nullptr) {
        const int64_t rowLength = RowBytes(W, Hd.Depth);
        std::vector<uint8_t> row(static_cast<size_t>(rowLength)), packed;
        for (int32_t y = 0; y < H; ++y) {
            if (Progress.IsAborting()) return false;
            if (Inflated) {
                std::memcpy(row.data(), Inflated + y * rowLength, row.size());
            } else if (Rle) {
                packed.resize(Counts[y]);
                if (!Bytes(packed.data(), Counts[y])) return false;
                IEPSDUnpackBits(packed.data(), Counts[y], row.data(), rowLength);
            } else if (!Bytes(row.data(), rowLength)) {
                return false;
            }
            Place(Target, y, W, Channel, row.data());
        }
        return true;
    }

    // One row of channel Channel into row Y of Target.
    void Place(TIEBitmap* Target, int32_t Y, int32_t W, int32_t Channel, const uint8_t* Row) {
        const bool wide = Hd.Depth == 16;
        auto high = [&](int32_t x) { return wide ? Row[2 * x] : Row[x]; };
        const int32_t colours = ColourChannels(Hd.Mode);
        if (Channel == -3) {  // a user mask's grey plane
            auto* p = static_cast<uint8_t*>(Target->GetScanline(Y));
            for (int32_t x = 0; x < W; ++x)
                p[x] = Hd.Depth == 1 ? (Row[x >> 3] & (0x80 >> (x & 7)) ? 0 : 255) : high(x);
            return;
        }
        if (Channel == -1 || Channel == colours) {
            if (Hd.Depth == 1) return;
            auto* a = static_cast<uint8_t*>(Target->GetAlphaChannel()->GetScanline(Y));
            for (int32_t x = 0; x < W; ++x) a[x] = high(x);
            return;
        }
        if (Channel < 0 || Channel >= colours) return;
        void* line = Target->GetScanline(Y);
        auto* p = static_cast<uint8_t*>(line);
        auto* p16 = static_cast<uint16_t*>(line);
        switch (Target->GetPixelFormat()) {
            case ie1g:
            case ie8p:
            case ie8g: std::memcpy(p, Row, static_cast<size_t>(RowBytes(W, Hd.Depth))); break;
            case ie16g:
                for (int32_t x = 0; x < W; ++x) p16[x] = BE16(Row + 2 * x);
                break;
            case ie24RGB:
                for (int32_t x = 0; x < W; ++x) p[3 * x + 2 - Channel] = Row[x];
                break;
            case ieRGB48:
                for (int32_t x = 0; x < W; ++x) p16[3 * x + Channel] = BE16(Row + 2 * x);
                break;
            case ieCMYK:
                for (int32_t x = 0; x < W; ++x) p[4 * x + Channel] = high(x);
                break;
            case ieCIELab:
                for (int32_t x = 0; x < W; ++x)
                    p[3 * x + Channel] = static_cast<uint8_t>(Channel ? high(x) ^ 0x80 : high(x));
                break;
            default: break;
        }
    }

    // Allocates Target for the document's mode and depth (palette included).
    bool Prepare(TIEBitmap* Target, int32_t W, int32_t H) {
        const TIEPixelFormat f = FormatOf(Hd.Mode, Hd.Depth);
        if (f == ieNone || !Target->Allocate(W, H, f)) return Fail();
        Target->Fill(0);
        if (f == ie8p) {
            for (int i = 0; i < 256; ++i) Target->SetPaletteEntry(i, Palette[i]);
            Target->PaletteUsed = 256;
        }
        return true;
    }

    // After the planes: bitmap rows inverted (1 is black in the file), the transparent index,
    // and the alpha channel marked opaque only when every sample read into it is.
    void Finish(TIEBitmap* Target) {
        const int32_t w = Target->GetWidth(), h = Target->GetHeight();
        if (Target->GetPixelFormat() == ie1g) IEInvertBitmap(Target);
        if (Target->GetPixelFormat() == ie8p && TransparentIndex >= 0) {
            TIEBitmap* a = Target->GetAlphaChannel();
            for (int32_t y = 0; y < h; ++y) {
                const auto* p = static_cast<const uint8_t*>(Target->GetScanline(y));
                std::vector<uint8_t> v(static_cast<size_t>(w));
                for (int32_t x = 0; x < w; ++x) v[static_cast<size_t>(x)] = p[x] == TransparentIndex ? 0 : 255;
                std::memcpy(a->GetScanline(y), v.data(), v.size());
            }
        }
        if (Target->HasAlphaChannel()) Target->GetAlphaChannel()->SyncFull();
    }

    cl::TStream* Stream;
    TIOParamsVals& Params;
    TProgressRec& Progress;
    Header Hd;
    TRGB Palette[256] = {};
    int32_t TransparentIndex = -1;
    bool ProfileCame = false;
    bool ThumbnailTaken = false;
};

struct ChannelInfo {
    int16_t Id = 0;
    uint32_t Length = 0;
};
struct Record {
    int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
    std::vector<ChannelInfo> Channels;
    int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
    TIEPSDLayer* Layer = nullptr;
};

bool ReadResources(Reader& R, TIEBitmap* Bitmap) {
    uint32_t length;
    if (!R.U32(length)) return false;
    const int64_t end = R.Stream->GetPosition() + length;
    if (end > R.Stream->GetSize()) return R.Fail();
    const int64_t base = R.Stream->GetPosition() - 4;  // block offsets count from an even place
    while (R.Stream->GetPosition() < end) {
        if ((R.Stream->GetPosition() - base) & 1) R.Stream->Seek(1, cl::soCurrent);
        if (end - R.Stream->GetPosition() < 12) break;
        uint8_t sig[4];
        uint16_t id;
        uint8_t nameLength;
        if (!R.Bytes(sig, 4) || std::memcmp(sig, "8BIM", 4) != 0) break;
        if (!R.U16(id) || !R.U8(nameLength)) break;
        // The name with its length byte takes an even number of bytes.
        R.Stream->Seek(nameLength + ((nameLength + 1) & 1), cl::soCurrent);
        uint32_t size;
        if (R.Stream->GetPosition() + 4 > end || !R.U32(size)) break;
        if (size == 0 || size > end - R.Stream->GetPosition()) break;
        std::vector<uint8_t> data(size);
        if (!R.Bytes(data.data(), size)) return false;
        switch (id) {
            case 1005:
                if (size >= 16) {
                    R.Params.SetDpiX(static_cast<int32_t>(BE32(data.data()) / 65536));
                    R.Params.SetDpiY(static_cast<int32_t>(BE32(data.data() + 8) / 65536));
                }
                break;
            case 1028: R.Params.IPTC()->LoadFromBuffer(data.data(), static_cast<int32_t>(size)); break;
            case 1036:
                if (size > 28 && BE32(data.data()) == 1 && IEPSDReadThumbnailJPEG) {
                    cl::TMemoryStream jpeg;
                    jpeg.Write(data.data() + 28, size - 28);
                    jpeg.Seek(0, cl::soBeginning);
                    TIEBitmap* thumb = R.Params.GetOrCreateEXIFThumbnail();
                    if (IEPSDReadThumbnailJPEG(&jpeg, thumb) && R.Params.GetThumbnail && Bitmap) {
                        Bitmap->Assign(thumb);
                        R.ThumbnailTaken = true;
                    }
                }
                break;
            case 1039:
                R.Params.GetInputICCProfile()->LoadFromBuffer(data.data(), static_cast<int32_t>(size));
                R.ProfileCame = true;
                break;
            case 1047:
                if (size >= 2) R.TransparentIndex = BE16(data.data());
                if (R.TransparentIndex > 255) R.TransparentIndex = -1;
                break;
            case 1060: R.Params.XMPInfo.assign(reinterpret_cast<const char*>(data.data()), size); break;
            default: break;
        }
    }
    R.Stream->Seek(end, cl::soBeginning);
    return true;
}

// The layer records and their channel data, into Layers.
bool ReadLayers(Reader& R, TIEPSDLayers* Layers, bool LoadLayers) {
    uint32_t sectionLength;
    if (!R.U32(sectionLength)) return false;
    const int64_t sectionEnd = R.Stream->GetPosition() + sectionLength;
    if (sectionEnd > R.Stream->GetSize()) return R.Fail();
    if (sectionLength == 0) return true;
    uint32_t infoLength;
    uint16_t rawCount = 0;
    if (!R.U32(infoLength)) return false;
    const int64_t infoEnd = R.Stream->GetPosition() + infoLength;
    if (infoEnd > sectionEnd) return R.Fail();
    if (infoLength >= 2 && !R.U16(rawCount)) return false;
    const int32_t count = std::abs(static_cast<int16_t>(rawCount));
    if (infoLength < 2 || count == 0 || (count > 1 && !LoadLayers) || !Layers || R.ThumbnailTaken)
        return R.SeekTo(sectionEnd);

    std::vector<Record> records;
    for (int32_t i = 0; i < count; ++i) {
        uint8_t b[18];
        if (R.Stream->GetPosition() + 18 > infoEnd || !R.Bytes(b, 18)) return R.Fail();
        Record rec;
        rec.Top = static_cast<int32_t>(BE32(b));
        rec.Left = static_cast<int32_t>(BE32(b + 4));
        rec.Bottom = static_cast<int32_t>(BE32(b + 8));
        rec.Right = static_cast<int32_t>(BE32(b + 12));
        const uint16_t channels = BE16(b + 16);
        if (R.Stream->GetPosition() + int64_t{channels} * 6 + 16 > infoEnd) return R.Fail();
        for (uint16_t c = 0; c < channels; ++c) {
            uint8_t cb[6];
            if (!R.Bytes(cb, 6)) return false;
            rec.Channels.push_back(ChannelInfo{static_cast<int16_t>(BE16(cb)), BE32(cb + 2)});
        }
        uint8_t blend[16];
        if (!R.Bytes(blend, 16)) return false;
        const int64_t extraEnd = R.Stream->GetPosition() + BE32(blend + 12);
        if (extraEnd > infoEnd) return R.Fail();
        auto layer = std::make_unique<TIEPSDLayer>();
        std::memcpy(layer->BlendMode, blend + 4, 4);
        layer->Opacity = blend[8];
        layer->ClipToImage = blend[9] == 0;
        layer->Visible = (blend[10] & 2) == 0;
        layer->PositionX = rec.Left;
        layer->PositionY = rec.Top;
        // Layer mask data: its rectangle, then skipped to its end whatever its length.
        uint32_t maskLength;
        if (R.Stream->GetPosition() + 4 > extraEnd || !R.U32(maskLength)) return R.Fail();
        const int64_t maskEnd = R.Stream->GetPosition() + maskLength;
        if (maskEnd > extraEnd) return R.Fail();
        if (maskLength >= 16) {
            uint8_t m[16];
            if (!R.Bytes(m, 16)) return false;
            rec.MaskTop = static_cast<int32_t>(BE32(m));
            rec.MaskLeft = static_cast<int32_t>(BE32(m + 4));
            rec.MaskBottom = static_cast<int32_t>(BE32(m + 8));
            rec.MaskRight = static_cast<int32_t>(BE32(m + 12));
        }
        R.Stream->Seek(maskEnd, cl::soBeginning);
        uint32_t rangesLength;
        if (R.Stream->GetPosition() + 4 > extraEnd || !R.U32(rangesLength)) return R.Fail();
        if (R.Stream->GetPosition() + rangesLength > extraEnd) return R.Fail();
        R.Stream->Seek(rangesLength, cl::soCurrent);
        uint8_t nameLength = 0;
        if (R.Stream->GetPosition() < extraEnd) {
            if (!R.U8(nameLength)) return false;
            if (R.Stream->GetPosition() + nameLength > extraEnd) return R.Fail();
            std::vector<char> name(nameLength);
            if (!R.Bytes(name.data(), nameLength)) return false;
            layer->Name.assign(name.data(), name.size());
        }
        // The additional information blocks after the padded name are not used.
        R.Stream->Seek(extraEnd, cl::soBeginning);
        rec.Layer = layer.get();
        Layers->push_back(std::move(layer));
        records.push_back(std::move(rec));
    }

    // The channel data, layer by layer in record order.
    for (size_t i = 0; i < records.size(); ++i) {
        Record& rec = records[i];
        const int64_t w = int64_t{rec.Right} - rec.Left, h = int64_t{rec.Bottom} - rec.Top;
        const int64_t mw = int64_t{rec.MaskRight} - rec.MaskLeft, mh = int64_t{rec.MaskBottom} - rec.MaskTop;
        for (const ChannelInfo& c : rec.Channels) {
            const int64_t start = R.Stream->GetPosition();
            const int64_t end = start + c.Length;
            if (end > infoEnd) return R.Fail();
            const bool isMask = c.Id == -2;
            const int64_t cw = isMask ? mw : w, ch = isMask ? mh : h;
            if (c.Length >= 2 && cw > 0 && ch > 0 && cw <= INT32_MAX && ch <= INT32_MAX) {
                uint16_t compression;
                if (!R.U16(compression)) return false;
                if (compression > 3) return R.Fail();
                const bool rle = compression == 1;
                const int64_t rowLength = RowBytes(cw, R.Hd.Depth);
                if (MinPlaneBytes(ch, rowLength, compression, true) > static_cast<double>(c.Length) - 2 ||
                    !IEReaderPixelsAllowed(cw, ch))
                    return R.Fail();
                std::vector<uint16_t> counts;
                std::vector<uint8_t> inflated;
                if (compression >= 2) {
                    std::vector<uint8_t> zipped(c.Length - 2);
                    if (!R.Bytes(zipped.data(), static_cast<int64_t>(zipped.size()))) return false;
                    if (!InflatePlane(zipped.data(), static_cast<int64_t>(zipped.size()), inflated, ch, rowLength,
                                      compression == 3, R.Hd.Depth))
                        return R.Fail();
                }
                if (rle) {
                    std::vector<uint8_t> raw(static_cast<size_t>(ch) * 2);
                    if (!R.Bytes(raw.data(), static_cast<int64_t>(raw.size()))) return false;
                    int64_t sum = 0;
                    for (int64_t y = 0; y < ch; ++y) sum += counts.emplace_back(BE16(raw.data() + 2 * y));
                    if (sum > end - R.Stream->GetPosition()) return R.Fail();
                }
                TIEBitmap* target = nullptr;
                if (isMask) {
                    // The user mask becomes a layer of its own right after its layer.
                    auto mask = std::make_unique<TIEPSDLayer>();
                    mask->MaskForBelow = true;
                    mask->Visible = false;
                    mask->PositionX = rec.MaskLeft;
                    mask->PositionY = rec.MaskTop;
                    mask->Bitmap = std::make_unique<TIEBitmap>();
                    if (!mask->Bitmap->Allocate(static_cast<int32_t>(cw), static_cast<int32_t>(ch), ie8g))
                        return R.Fail();
                    target = mask->Bitmap.get();
                    auto at =
                        std::find_if(Layers->begin(), Layers->end(), [&](auto& l) { return l.get() == rec.Layer; });
                    Layers->insert(at + 1, std::move(mask));
                } else {
                    if (!rec.Layer->Bitmap) {
                        rec.Layer->Bitmap = std::make_unique<TIEBitmap>();
                        if (!R.Prepare(rec.Layer->Bitmap.get(), static_cast<int32_t>(cw), static_cast<int32_t>(ch)))
                            return false;
                    }
                    target = rec.Layer->Bitmap.get();
                }
                if (!R.ReadPlane(target, static_cast<int32_t>(cw), static_cast<int32_t>(ch), isMask ? -3 : c.Id, rle,
                                 counts.data(), inflated.empty() ? nullptr : inflated.data()))
                    return false;
            }
            if (!R.SeekTo(end)) return false;
        }
        if (rec.Layer->Bitmap) R.Finish(rec.Layer->Bitmap.get());
        R.Progress.Report(static_cast<int32_t>((i + 1) * 100 / records.size()));
    }
    // The global mask information is not used.
    if (!R.SeekTo(sectionEnd)) return false;
    // Layers without pixels go, with a mask right after them.
    for (size_t i = 0; i < Layers->size();) {
        TIEPSDLayer* l = (*Layers)[i].get();
        if (!l->MaskForBelow && (!l->Bitmap || l->Bitmap->GetWidth() == 0 || l->Bitmap->GetHeight() == 0)) {
            const bool maskAfter = i + 1 < Layers->size() && (*Layers)[i + 1]->MaskForBelow;
            Layers->erase(Layers->begin() + static_cast<std::ptrdiff_t>(i),
                          Layers->begin() + static_cast<std::ptrdiff_t>(i + (maskAfter ? 2 : 1)));
        } else {
            ++i;
        }
    }
    return true;
}

bool ReadMerged(Reader& R, TIEBitmap* Bitmap) {
    const Header& hd = R.Hd;
    uint16_t compression;
    if (!R.U16(compression)) return false;
    if (compression > 1) return R.Fail();
    const bool rle = compression == 1;
    const int32_t w = static_cast<int32_t>(hd.Width), h = static_cast<int32_t>(hd.Height);
    const int64_t rowLength = RowBytes(w, hd.Depth);
    const int32_t planes = std::min<int32_t>(hd.Channels, ColourChannels(hd.Mode) + 1);
    std::vector<uint16_t> counts;
    if (rle) {
        const int64_t tableBytes = int64_t{hd.Channels} * h * 2;
        if (tableBytes > IEBytesLeft(R.Stream)) return R.Fail();
        std::vector<uint8_t> raw(static_cast<size_t>(tableBytes));
        if (!R.Bytes(raw.data(), tableBytes)) return false;
        counts.resize(static_cast<size_t>(int64_t{hd.Channels} * h));
        for (size_t i = 0; i < counts.size(); ++i) counts[i] = BE16(raw.data() + 2 * i);
    }
    int64_t need = 0;
    if (rle)
        for (int32_t c = 0; c < planes; ++c)
            for (int32_t y = 0; y < h; ++y) need += counts[static_cast<size_t>(c) * h + y];
    if (need > IEBytesLeft(R.Stream) ||
        MinPlaneBytes(h, rowLength, compression, false) * planes > static_cast<double>(IEBytesLeft(R.Stream)))
        return R.Fail();
    if (!R.Prepare(Bitmap, w, h)) return false;
    for (int32_t c = 0; c < planes; ++c) {
        if (!R.ReadPlane(Bitmap, w, h, c, rle, rle ? counts.data() + static_cast<size_t>(c) * h : nullptr))
            return false;
        R.Progress.Report((c + 1) * 100 / planes);
    }
    R.Finish(Bitmap);
    return true;
}

}  // namespace

bool IEIsPSDStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    uint8_t h[26];
    const bool whole = IEReadUpTo(Stream, h, 26) == 26;
    Stream->Seek(p, cl::soBeginning);
    Header hd;
    return whole && ParseHeader(h, hd);
}

void IEReadPSDStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEPSDLayers* Layers,
                     bool LoadLayers, TProgressRec& Progress) {
    Progress.Report(0);
    Reader r(Stream, Params, Progress);
    uint8_t head[26];
    if (!r.Bytes(head, 26)) return;
    if (!ParseHeader(head, r.Hd) || r.Hd.Width == 0 || r.Hd.Height == 0 || r.Hd.Width > INT32_MAX ||
        r.Hd.Height > INT32_MAX) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> temporary;
    TIEBitmap* target = Bitmap;
    if (Bitmap && Bitmap->Encapsulated) {
        temporary = std::make_unique<TIEBitmap>();
        target = temporary.get();
    }

    Params.SetImageCount(1);
    Params.Width = Params.OriginalWidth = static_cast<int32_t>(r.Hd.Width);
    Params.Height = Params.OriginalHeight = static_cast<int32_t>(r.Hd.Height);
    Params.BitsPerSample = r.Hd.Depth;
    Params.SamplesPerPixel = r.Hd.Channels;
    Params.SetDpiX(96);
    Params.SetDpiY(96);

    // Colour-mode data: the palette of an indexed picture.
    uint32_t modeLength;
    if (!r.U32(modeLength)) return;
    if (modeLength > IEBytesLeft(Stream)) {
        Progress.Abort();
        return;
    }
    if (modeLength == 768) {
        uint8_t p[768];
        if (!r.Bytes(p, 768)) return;
        for (int i = 0; i < 256; ++i) r.Palette[i] = IECreateRGB(p[i], p[256 + i], p[512 + i]);
    } else {
        Stream->Seek(modeLength, cl::soCurrent);
    }
    if (!ReadResources(r, target)) return;
    if (!Bitmap) {
        // Parameters only.
        return;
    }
    if (!ReadLayers(r, Layers, LoadLayers)) return;
    const bool layersTaken = LoadLayers && Layers && !Layers->empty();
    if (!layersTaken && !r.ThumbnailTaken && !ReadMerged(r, target)) return;

    if (!Params.NativePixelFormat) {
        // Everything but black-and-white pictures and masks to ie24RGB, through the file's
        // profile when colour management is on (the same way for every bitmap).
        TIEICC* input = r.ProfileCame ? Params.GetInputICCProfile() : nullptr;
        const bool icc = IEICCConversionEnabled && input && input->IsValid() && !input->Applied &&
                         Params.GetDefaultICCProfile()->IsValid();
        auto convert = [&](TIEBitmap* b) {
            if (!b || b->GetPixelFormat() == ie1g || b->GetPixelFormat() == ie24RGB || b->GetWidth() == 0) return;
            if (icc && input->ConvertBitmap(b, ie24RGB, Params.GetDefaultICCProfile())) return;
            b->SetPixelFormat(ie24RGB);
        };
        if (Layers)
            for (auto& l : *Layers)
                if (!l->MaskForBelow) convert(l->Bitmap.get());
        if (!layersTaken && !r.ThumbnailTaken) convert(target);
    }
    if (temporary) Bitmap->Assign(temporary.get());
}

// ---------------------------------------------------------------------------------------
// PackBits

void IEPSDUnpackBits(const uint8_t* Data, int64_t Count, uint8_t* Row, int64_t RowLength) {
    int64_t i = 0, o = 0;
    while (i < Count && o < RowLength) {
        const int8_t n = static_cast<int8_t>(Data[i++]);
        if (n >= 0) {
            const int64_t take = std::min<int64_t>({int64_t{n} + 1, Count - i, RowLength - o});
            std::memcpy(Row + o, Data + i, static_cast<size_t>(take));
            o += take;
            i += n + 1;
        } else if (n != -128) {
            if (i >= Count) break;
            const int64_t take = std::min<int64_t>(1 - int64_t{n}, RowLength - o);
            std::memset(Row + o, Data[i++], static_cast<size_t>(take));
            o += take;
        }
    }
    if (o < RowLength) std::memset(Row + o, 0, static_cast<size_t>(RowLength - o));
}

void IEPSDPackBits(const uint8_t* Row, int64_t RowLength, std::vector<uint8_t>& Out) {
    std::vector<uint8_t> literal;
    auto flush = [&] {
        if (literal.empty()) return;
        Out.push_back(static_cast<uint8_t>(literal.size() - 1));
        Out.insert(Out.end(), literal.begin(), literal.end());
        literal.clear();
    };
    int64_t p = 0;
    while (p < RowLength) {
        int64_t run = 1;
        while (p + run < RowLength && run < 128 && Row[p + run] == Row[p]) ++run;
        if (run >= 4) {
            flush();
            Out.push_back(static_cast<uint8_t>(1 - run));
            Out.push_back(Row[p]);
        } else {
            for (int64_t k = 0; k < run; ++k) {
                literal.push_back(Row[p]);
                if (literal.size() == 128) flush();
            }
        }
        p += run;
    }
    flush();
}

// ---------------------------------------------------------------------------------------
// Writing

namespace {

struct Mode {
    int32_t Code = -1;
    int32_t Depth = 0;
    TIEPixelFormat Format = ieNone;
};

Mode ModeOf(TIEPixelFormat f) {
    switch (f) {
        case ie1g: return {kBitmap, 1, ie1g};
        case ie8p: return {kIndexed, 8, ie8p};
        case ie8g: return {kGrey, 8, ie8g};
        case ie16g: return {kGrey, 16, ie16g};
        case ie24RGB:
        case ie32RGB: return {kRGB, 8, ie24RGB};
        case ieRGB48: return {kRGB, 16, ieRGB48};
        case ieCMYK: return {kCMYK, 8, ieCMYK};
        case ieCIELab: return {kLab, 8, ieCIELab};
        default: return {};
    }
}

class Writer {
public:
    Writer(cl::TStream* S, TProgressRec& P, const Mode& M) : Stream(S), Progress(P), Md(M) {}

    void Put(const std::vector<uint8_t>& Bytes) {
        IEWriteChecked(Stream, Progress, Bytes.data(), static_cast<int64_t>(Bytes.size()));
    }
    void PatchBE32(int64_t At, uint32_t Value) {
        if (Progress.IsAborting()) return;
        const int64_t here = Stream->GetPosition();
        std::vector<uint8_t> b;
        PutBE32(b, Value);
        Stream->Seek(At, cl::soBeginning);
        Put(b);
        Stream->Seek(here, cl::soBeginning);
    }

    // Row Y of channel Channel of B (-1 the alpha channel, -3 a grey mask) as file bytes.
    void PlaneRow(TIEBitmap* B, int32_t Y, int32_t Channel, std::vector<uint8_t>& Row) {
        const int32_t w = B->GetWidth();
        const bool wide = Md.Depth == 16;
        Row.assign(static_cast<size_t>(RowBytes(w, Md.Depth)), 0);
        auto put = [&](int32_t x, uint32_t v8) {
            if (wide) {
                Row[static_cast<size_t>(2 * x)] = static_cast<uint8_t>(v8);
                Row[static_cast<size_t>(2 * x + 1)] = static_cast<uint8_t>(v8);
            } else {
                Row[static_cast<size_t>(x)] = static_cast<uint8_t>(v8);
            }
        };
        if (Channel == -1 || Channel == -3) {
            const auto* a =
                static_cast<const uint8_t*>(Channel == -1 ? B->GetAlphaChannel()->GetScanline(Y) : B->GetScanline(Y));
            for (int32_t x = 0; x < w; ++x) put(x, a[x]);
            return;
        }
        const void* line = B->GetScanline(Y);
        const auto* p = static_cast<const uint8_t*>(line);
        const auto* p16 = static_cast<const uint16_t*>(line);
        auto word = [&](int32_t x, uint16_t v) {
            Row[static_cast<size_t>(2 * x)] = static_cast<uint8_t>(v >> 8);
            Row[static_cast<size_t>(2 * x + 1)] = static_cast<uint8_t>(v);
        };
        switch (B->GetPixelFormat()) {
            case ie1g:
                for (size_t i = 0; i < Row.size(); ++i) Row[i] = static_cast<uint8_t>(~p[i]);
                break;
            case ie8p:
                std::memcpy(Row.data(), p, static_cast<size_t>(w));
                if (TransparentIndex && B->HasAlphaChannel()) {
                    const auto* a = static_cast<const uint8_t*>(B->GetAlphaChannel()->GetScanline(Y));
                    for (int32_t x = 0; x < w; ++x)
                        if (a[x] == 0) Row[static_cast<size_t>(x)] = 255;
                }
                break;
            case ie8g: std::memcpy(Row.data(), p, static_cast<size_t>(w)); break;
            case ie16g:
                for (int32_t x = 0; x < w; ++x) word(x, p16[x]);
                break;
            case ie24RGB:
                for (int32_t x = 0; x < w; ++x) Row[static_cast<size_t>(x)] = p[3 * x + 2 - Channel];
                break;
            case ieRGB48:
                for (int32_t x = 0; x < w; ++x) word(x, p16[3 * x + Channel]);
                break;
            case ieCMYK:
                for (int32_t x = 0; x < w; ++x) Row[static_cast<size_t>(x)] = p[4 * x + Channel];
                break;
            case ieCIELab:
                for (int32_t x = 0; x < w; ++x)
                    Row[static_cast<size_t>(x)] = static_cast<uint8_t>(Channel ? p[3 * x + Channel] ^ 0x80 : p[3 * x]);
                break;
            default: break;
        }
    }

    // Channel data of one plane of a layer: compression 1, the row counts, the rows.
    // Returns the bytes written.
    int64_t LayerPlane(TIEBitmap* B, int32_t Channel) {
        const int64_t start = Stream->GetPosition();
        const int32_t h = B->GetHeight();
        std::vector<uint8_t> head;
        PutBE16(head, 1);
        head.resize(2 + static_cast<size_t>(h) * 2, 0);
        Put(head);
        std::vector<uint16_t> counts;
        WriteRows(B, Channel, counts);
        PatchCounts(start + 2, counts);
        return Stream->GetPosition() - start;
    }

    void WriteRows(TIEBitmap* B, int32_t Channel, std::vector<uint16_t>& Counts) {
        std::vector<uint8_t> row, packed;
        for (int32_t y = 0; y < B->GetHeight() && !Progress.IsAborting(); ++y) {
            PlaneRow(B, y, Channel, row);
            packed.clear();
            IEPSDPackBits(row.data(), static_cast<int64_t>(row.size()), packed);
            Counts.push_back(static_cast<uint16_t>(std::min<size_t>(packed.size(), 65535)));
            Put(packed);
        }
    }

    void PatchCounts(int64_t At, const std::vector<uint16_t>& Counts) {
        if (Progress.IsAborting()) return;
        const int64_t here = Stream->GetPosition();
        std::vector<uint8_t> b;
        for (uint16_t c : Counts) PutBE16(b, c);
        Stream->Seek(At, cl::soBeginning);
        Put(b);
        Stream->Seek(here, cl::soBeginning);
    }

    cl::TStream* Stream;
    TProgressRec& Progress;
    Mode Md;
    bool TransparentIndex = false;  // ie8p: fully transparent pixels written as index 255
};

// A copy of B in the document's pixel format (indexed layers mapped onto the document's
// palette), resampled to Width x Height, with an alpha channel.
std::unique_ptr<TIEBitmap> LayerCopy(TIEBitmap* B, const Mode& M, TIEBitmap* Merged, int32_t Width, int32_t Height,
                                     TResampleFilter Filter) {
    auto copy = std::make_unique<TIEBitmap>();
    copy->Assign(B);
    if (copy->GetWidth() != Width || copy->GetHeight() != Height) {
        auto sized = std::make_unique<TIEBitmap>();
        if (!IEResampleTo(copy.get(), sized.get(), Width, Height, Filter, nullptr, nullptr)) return nullptr;
        copy = std::move(sized);
    }
    const bool hadAlpha = copy->HasAlphaChannel();
    std::unique_ptr<TIEBitmap> alpha;
    if (hadAlpha) {
        alpha = std::make_unique<TIEBitmap>();
        alpha->Assign(copy->GetAlphaChannel());
    }
    if (M.Format == ie8p) {
        // Indexes of the document's palette.
        auto rgb = std::make_unique<TIEBitmap>();
        rgb->Assign(copy.get());
        if (!rgb->SetPixelFormat(ie24RGB)) return nullptr;
        const int32_t w = rgb->GetWidth(), h = rgb->GetHeight();
        auto indexed = std::make_unique<TIEBitmap>();
        if (!indexed->Allocate(w, h, ie8p)) return nullptr;
        TRGB pal[256];
        for (int i = 0; i < 256; ++i) Merged->GetPaletteEntry(i, pal[i]);
        for (int i = 0; i < 256; ++i) indexed->SetPaletteEntry(i, pal[i]);
        std::vector<uint8_t> line(static_cast<size_t>(w));
        for (int32_t y = 0; y < h; ++y) {
            const auto* p = static_cast<const TRGB*>(rgb->GetScanline(y));
            for (int32_t x = 0; x < w; ++x)
                line[static_cast<size_t>(x)] = static_cast<uint8_t>(IEFindClosestColor(pal, 256, p[x]));
            std::memcpy(indexed->GetScanline(y), line.data(), line.size());
        }
        copy = std::move(indexed);
    } else if (copy->GetPixelFormat() != M.Format && !copy->SetPixelFormat(M.Format)) {
        return nullptr;
    }
    if (alpha && copy->GetWidth() == alpha->GetWidth() && copy->GetHeight() == alpha->GetHeight()) {
        copy->AttachAlphaChannel(alpha);
    }
    copy->GetAlphaChannel();  // fully opaque when the layer had none
    return copy;
}

void PutResource(std::vector<uint8_t>& Out, uint16_t Id, const void* Data, size_t Size) {
    if (Out.size() & 1) Out.push_back(0);
    Out.insert(Out.end(), {'8', 'B', 'I', 'M'});
    PutBE16(Out, Id);
    PutBE16(Out, 0);  // empty name
    PutBE32(Out, static_cast<uint32_t>(Size));
    const auto* p = static_cast<const uint8_t*>(Data);
    Out.insert(Out.end(), p, p + Size);
}

}  // namespace

void IEWritePSDStream(cl::TStream* Stream, TIOParamsVals& Params, TProgressRec& Progress, const TIEPSDLayers& Layers,
                      TIEBitmap* Bitmap) {
    const Mode m = Bitmap ? ModeOf(Bitmap->GetPixelFormat()) : Mode{};
    if (!Bitmap || m.Code < 0 || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
        Progress.Abort();
        return;
    }
    // The merged picture in the mode's own format (four-byte RGB pixels as three bytes).
    std::unique_ptr<TIEBitmap> mergedHolder;
    TIEBitmap* merged = Bitmap;
    if (Bitmap->GetPixelFormat() != m.Format) {
        mergedHolder = std::make_unique<TIEBitmap>();
        mergedHolder->Assign(Bitmap);
        if (!mergedHolder->SetPixelFormat(m.Format)) {
            Progress.Abort();
            return;
        }
        merged = mergedHolder.get();
    }
    const int32_t w = merged->GetWidth(), h = merged->GetHeight();
    const int32_t planes = IEPixelFormat2ChannelCount[m.Format];
    Writer wr(Stream, Progress, m);

    // Index 255 stands for transparency only when the picture has fully transparent pixels
    // and no visible pixel uses that entry.
    if (m.Format == ie8p && merged->HasAlphaChannel()) {
        bool clear = false, taken = false;
        for (int32_t y = 0; y < h && !taken; ++y) {
            const std::vector<uint8_t> a(static_cast<const uint8_t*>(merged->GetAlphaChannel()->GetScanline(y)),
                                         static_cast<const uint8_t*>(merged->GetAlphaChannel()->GetScanline(y)) + w);
            const auto* p = static_cast<const uint8_t*>(merged->GetScanline(y));
            for (int32_t x = 0; x < w; ++x) {
                if (a[static_cast<size_t>(x)] == 0)
                    clear = true;
                else if (p[x] == 255)
                    taken = true;
            }
        }
        wr.TransparentIndex = clear && !taken;
    }

    // Header and colour-mode data.
    std::vector<uint8_t> out = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    PutBE16(out, static_cast<uint32_t>(planes));
    PutBE32(out, static_cast<uint32_t>(h));
    PutBE32(out, static_cast<uint32_t>(w));
    PutBE16(out, static_cast<uint32_t>(m.Depth));
    PutBE16(out, static_cast<uint32_t>(m.Code));
    if (m.Format == ie8p) {
        PutBE32(out, 768);
        TRGB pal[256];
        for (int i = 0; i < 256; ++i) merged->GetPaletteEntry(i, pal[i]);
        for (int i = 0; i < 256; ++i) out.push_back(pal[i].r);
        for (int i = 0; i < 256; ++i) out.push_back(pal[i].g);
        for (int i = 0; i < 256; ++i) out.push_back(pal[i].b);
    } else {
        PutBE32(out, 0);
    }
    wr.Put(out);

    // Image resources.
    std::vector<uint8_t> res;
    {
        std::vector<uint8_t> r;
        PutBE32(r, static_cast<uint32_t>(std::clamp(Params.DpiX, 0, 32767)) << 16);
        PutBE16(r, 1);
        PutBE16(r, 1);
        PutBE32(r, static_cast<uint32_t>(std::clamp(Params.DpiY, 0, 32767)) << 16);
        PutBE16(r, 1);
        PutBE16(r, 1);
        PutResource(res, 1005, r.data(), r.size());
    }
    if (wr.TransparentIndex) {
        const uint8_t index[2] = {0, 255};
        PutResource(res, 1047, index, 2);
    }
    if (Params.IPTC()->GetCount() > 0) {
        void* block = nullptr;
        int32_t length = 0;
        Params.IPTC()->SaveToBuffer(block, length, false);
        if (block && length > 0) PutResource(res, 1028, block, static_cast<size_t>(length));
        std::free(block);
    }
    if (TIEICC* icc = Params.InputICCProfile(); icc && icc->GetRawLength() > 0 && !icc->Applied)
        PutResource(res, 1039, icc->GetRaw(), static_cast<size_t>(icc->GetRawLength()));
    if (TIEBitmap* thumb = Params.GetEXIFThumbnail();
        thumb && thumb->GetWidth() > 0 && thumb->GetHeight() > 0 && IEPSDWriteThumbnailJPEG) {
        cl::TMemoryStream jpeg;
        if (IEPSDWriteThumbnailJPEG(&jpeg, thumb)) {
            std::vector<uint8_t> t;
            const uint32_t tw = static_cast<uint32_t>(thumb->GetWidth()),
                           th = static_cast<uint32_t>(thumb->GetHeight());
            PutBE32(t, 1);
            PutBE32(t, tw);
            PutBE32(t, th);
            PutBE32(t, tw * 3);
            PutBE32(t, tw * th * 3);
            PutBE32(t, static_cast<uint32_t>(jpeg.GetSize()));
            PutBE16(t, 24);
            PutBE16(t, 1);
            const auto* p = static_cast<const uint8_t*>(jpeg.GetMemory());
            t.insert(t.end(), p, p + jpeg.GetSize());
            PutResource(res, 1036, t.data(), t.size());
        }
    }
    if (!Params.XMPInfo.empty()) PutResource(res, 1060, Params.XMPInfo.data(), Params.XMPInfo.size());
    if (res.size() & 1) res.push_back(0);
    std::vector<uint8_t> len;
    PutBE32(len, static_cast<uint32_t>(res.size()));
    wr.Put(len);
    wr.Put(res);

    // Layer and mask information.
    const int64_t sectionAt = Stream->GetPosition();
    std::vector<uint8_t> zero4(4, 0);
    wr.Put(zero4);
    struct Out {
        std::unique_ptr<TIEBitmap> Pixels, Mask;
        const TIEPSDLayer* Layer = nullptr;
        const TIEPSDLayer* MaskLayer = nullptr;
        std::vector<int32_t> Channels;
        std::vector<int64_t> LengthAt;
    };
    std::vector<Out> outs;
    for (size_t i = 0; i < Layers.size(); ++i) {
        const TIEPSDLayer* l = Layers[i].get();
        if (l->MaskForBelow || !l->Bitmap || l->Bitmap->GetWidth() <= 0 || l->Bitmap->GetHeight() <= 0) continue;
        Out o;
        o.Layer = l;
        o.Pixels = LayerCopy(l->Bitmap.get(), m, merged, std::max(1, l->GetShownWidth()),
                             std::max(1, l->GetShownHeight()), l->UseOwnFilter ? l->OwnFilter : rfNone);
        if (!o.Pixels) {
            Progress.Abort();
            return;
        }
        if (i + 1 < Layers.size() && Layers[i + 1]->MaskForBelow && Layers[i + 1]->Bitmap &&
            Layers[i + 1]->Bitmap->GetWidth() > 0 && Layers[i + 1]->Bitmap->GetHeight() > 0) {
            o.MaskLayer = Layers[i + 1].get();
            std::unique_ptr<TIEBitmap> holder;
            TIEBitmap* grey = IEWorkingCopy(o.MaskLayer->Bitmap.get(), ie8g, holder);
            if (!grey) {
                Progress.Abort();
                return;
            }
            o.Mask = std::make_unique<TIEBitmap>();
            o.Mask->Assign(grey);
            o.Mask->RemoveAlphaChannel(false, 0);
        }
        outs.push_back(std::move(o));
    }
    if (!outs.empty()) {
        const int64_t infoAt = Stream->GetPosition();
        wr.Put(zero4);
        std::vector<uint8_t> rec;
        PutBE16(rec, static_cast<uint32_t>(outs.size()));
        wr.Put(rec);
        for (Out& o : outs) {
            const TIEPSDLayer* l = o.Layer;
            rec.clear();
            const int32_t top = l->PositionY, left = l->PositionX;
            PutBE32(rec, static_cast<uint32_t>(top));
            PutBE32(rec, static_cast<uint32_t>(left));
            PutBE32(rec, static_cast<uint32_t>(top + o.Pixels->GetHeight()));
            PutBE32(rec, static_cast<uint32_t>(left + o.Pixels->GetWidth()));
            // Black-and-white documents have no transparency or mask planes.
            if (m.Depth > 1) o.Channels.push_back(-1);
            for (int32_t c = 0; c < planes; ++c) o.Channels.push_back(c);
            if (o.Mask && m.Depth > 1) o.Channels.push_back(-2);
            PutBE16(rec, static_cast<uint32_t>(o.Channels.size()));
            wr.Put(rec);
            for (int32_t c : o.Channels) {
                rec.clear();
                PutBE16(rec, static_cast<uint16_t>(static_cast<int16_t>(c)));
                o.LengthAt.push_back(Stream->GetPosition() + 2);
                PutBE32(rec, 0);
                wr.Put(rec);
            }
            rec = {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm'};
            rec.push_back(static_cast<uint8_t>(std::clamp(l->Opacity, 0, 255)));
            rec.push_back(0);
            rec.push_back(l->Visible ? 0 : 2);
            rec.push_back(0);
            std::vector<uint8_t> extra;
            if (o.Mask && m.Depth > 1) {
                PutBE32(extra, 20);
                const int32_t mt = o.MaskLayer->PositionY, ml = o.MaskLayer->PositionX;
                PutBE32(extra, static_cast<uint32_t>(mt));
                PutBE32(extra, static_cast<uint32_t>(ml));
                PutBE32(extra, static_cast<uint32_t>(mt + o.Mask->GetHeight()));
                PutBE32(extra, static_cast<uint32_t>(ml + o.Mask->GetWidth()));
                extra.insert(extra.end(), {0, 0, 0, 0});
            } else {
                PutBE32(extra, 0);
            }
            PutBE32(extra, 0);  // blending ranges
            const cl::String name = l->Name.substr(0, 255);
            extra.push_back(static_cast<uint8_t>(name.size()));
            extra.insert(extra.end(), name.begin(), name.end());
            for (size_t k = name.size() + 1; k % 4 != 0; ++k) extra.push_back(1);
            PutBE32(rec, static_cast<uint32_t>(extra.size()));
            wr.Put(rec);
            wr.Put(extra);
        }
        // The channel data.
        for (size_t i = 0; i < outs.size(); ++i) {
            Out& o = outs[i];
            for (size_t c = 0; c < o.Channels.size(); ++c) {
                const int32_t id = o.Channels[c];
                const int64_t n = id == -2 ? wr.LayerPlane(o.Mask.get(), -3) : wr.LayerPlane(o.Pixels.get(), id);
                wr.PatchBE32(o.LengthAt[c], static_cast<uint32_t>(n));
            }
            Progress.Report(static_cast<int32_t>((i + 1) * 100 / outs.size()));
        }
        // The layer information is kept at an even length.
        if ((Stream->GetPosition() - infoAt) & 1) wr.Put({0});
        wr.PatchBE32(infoAt, static_cast<uint32_t>(Stream->GetPosition() - infoAt - 4));
        wr.Put(zero4);  // global mask information
        wr.PatchBE32(sectionAt, static_cast<uint32_t>(Stream->GetPosition() - sectionAt - 4));
    }

    // The merged picture: colour planes only, one compression word and all row counts first.
    std::vector<uint8_t> head;
    PutBE16(head, 1);
    const int64_t countsAt = Stream->GetPosition() + 2;
    head.resize(2 + static_cast<size_t>(planes) * h * 2, 0);
    wr.Put(head);
    std::vector<uint16_t> counts;
    for (int32_t c = 0; c < planes && !Progress.IsAborting(); ++c) {
        wr.WriteRows(merged, c, counts);
        Progress.Report((c + 1) * 100 / planes);
    }
    wr.PatchCounts(countsAt, counts);
}

// ---------------------------------------------------------------------------------------
// The engine's entry and the component's layered load and save

namespace {

template <class F>
struct AtEnd {
    F Fn;
    ~AtEnd() { Fn(); }
};
template <class F>
AtEnd(F) -> AtEnd<F>;

// The single layer's transparency at its place in the picture.
void AlphaFromLayer(TIEBitmap* Bitmap, const TIEPSDLayer& Layer) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0 || !Layer.Bitmap) return;
    TIEBitmap* src = Layer.Bitmap.get();
    TIEBitmap* srcAlpha = src->HasAlphaChannel() ? src->GetAlphaChannel() : nullptr;
    // An opaque layer over the whole picture leaves it without transparency.
    if (!srcAlpha && Layer.PositionX <= 0 && Layer.PositionY <= 0 && Layer.PositionX + src->GetWidth() >= w &&
        Layer.PositionY + src->GetHeight() >= h)
        return;
    TIEBitmap* a = Bitmap->GetAlphaChannel();
    a->Fill(0);
    const int32_t lw = src->GetWidth(), lh = src->GetHeight();
    std::vector<uint8_t> row;
    for (int32_t y = 0; y < lh; ++y) {
        const int32_t dy = y + Layer.PositionY;
        if (dy < 0 || dy >= h) continue;
        row.assign(static_cast<size_t>(lw), 255);
        if (srcAlpha) std::memcpy(row.data(), srcAlpha->GetScanline(y), row.size());
        auto* d = static_cast<uint8_t*>(a->GetScanline(dy));
        for (int32_t x = 0; x < lw; ++x) {
            const int32_t dx = x + Layer.PositionX;
            if (dx >= 0 && dx < w) d[dx] = row[static_cast<size_t>(x)];
        }
    }
    a->SyncFull();
}

void LoadPSD(TVovozIdIO* IO, cl::TStream* Stream) {
    IO->Aborting = false;
    AtEnd finish{[IO] { IO->DoFinishWork(); }};
    if (!IO->MakeConsistentBitmap()) {
        IO->Aborting = true;
        return;
    }
    TIOParamsVals& params = IO->Params();
    params.ResetInfo();
    TProgressRec progress = IO->MakeProgressRec();
    TIEPSDViewHooks& view = IEPSDViewHooks();
    // Without a view that holds layers, the merged picture is what the component keeps.
    const bool toView = params.PSDLoadLayers && view.HoldsLayers && view.TakeLayers && view.HoldsLayers(IO);
    TIEPSDLayers layers;
    TIEPSDLoadBitmap target;
    IEReadPSDStream(Stream, &target, params, &layers, toView, progress);
    TIEBitmap* bitmap = IO->GetIEBitmap();
    if (!IO->Aborting && target.GetWidth() > 0) {
        bitmap->RemoveAlphaChannel(false, 0);
        target.MoveInto(bitmap);
    }
    if (toView && !layers.empty()) {
        view.TakeLayers(IO, layers);
    } else if (layers.size() == 1 && !params.GetThumbnail && !IO->Aborting) {
        AlphaFromLayer(bitmap, *layers.front());
    }
    layers.clear();
    IO->FixMissingDPI();
    if (IO->AutoAdjustDPI) IO->AdjustDPI();
    params.FileName.clear();
    params.FileType = ioPSD;
    IO->SyncViewDPI();
    IO->Update();
}

void SavePSD(TVovozIdIO* IO, cl::TStream* Stream) {
    IO->Aborting = false;
    AtEnd finish{[IO] { IO->DoFinishWork(); }};
    if (!IO->MakeConsistentBitmap()) {
        IO->Aborting = true;
        return;
    }
    TProgressRec progress = IO->MakeProgressRec();
    TIEPSDViewHooks& view = IEPSDViewHooks();
    TIEPSDLayers layers;
    if (view.HoldsLayers && view.GiveLayers && view.HoldsLayers(IO)) {
        TIEBitmap merged;
        view.GiveLayers(IO, layers, merged);
        IEWritePSDStream(Stream, IO->Params(), progress, layers, &merged);
    } else {
        IEWritePSDStream(Stream, IO->Params(), progress, layers, IO->GetIEBitmap());
    }
}

void ReadPSD(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadPSDStream(Stream, Context.PreviewOnly ? nullptr : Bitmap, Params, nullptr, false, Progress);
    Context.ImageCount = 1;
}

void WritePSD(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWritePSDStream(Stream, Params, Progress, TIEPSDLayers(), Bitmap);
}

}  // namespace

void IEPSDRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsPSDStream;
    ops.Read = &ReadPSD;
    ops.Write = &WritePSD;
    IESetFormatOps(ioPSD, ops);
    IEIOExtensionHooks().LoadPSDStream = &LoadPSD;
    IEIOExtensionHooks().SavePSDStream = &SavePSD;
}

}  // namespace ie
