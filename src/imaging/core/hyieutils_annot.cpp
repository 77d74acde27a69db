#include "imaging/core/hyieutils_annot.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace ie {

namespace {

// Record types of the block.
constexpr uint32_t kPageBlock = 2;
constexpr uint32_t kMarkAttributes = 5;
constexpr uint32_t kMarkBlock = 6;
constexpr int32_t kFontHeightOffset = 48;
constexpr int32_t kImageRecordSize = 56;
constexpr int32_t kDefaultScale = 7500;
constexpr int32_t kDIBResolution = 200;

bool IsLineMark(int32_t Type) { return Type == IEAnnotStraightLine || Type == IEAnnotFreehandLine; }
bool IsTextMark(int32_t Type) { return Type >= IEAnnotTypedText && Type <= IEAnnotAttachANote; }

using Blocks = std::map<std::string, std::vector<uint8_t>>;

// ----- packed DIBs of embedded-image marks

// A packed DIB (info header, colour table, bits; uncompressed 1, 4, 8, 24 or 32 bits per
// pixel) as a bitmap: ie1g for two-colour pictures, else ie24RGB. Null when the DIB is not
// whole.
std::unique_ptr<TIEBitmap> DIBToBitmap(const uint8_t* P, int64_t Size) {
    if (Size < 40) return nullptr;
    const int64_t headerSize = IEGetU32LE(P);
    const int64_t width = static_cast<int32_t>(IEGetU32LE(P + 4));
    const int64_t rawHeight = static_cast<int32_t>(IEGetU32LE(P + 8));
    const int32_t bits = IEGetU16LE(P + 14);
    const uint32_t compression = IEGetU32LE(P + 16);
    const int64_t used = IEGetU32LE(P + 32);
    if (headerSize < 40 || headerSize > Size || compression != 0) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -rawHeight : rawHeight;
    if (width <= 0 || height <= 0 || width > 0x7FFFFFF || height > 0x7FFFFFF) return nullptr;
    const int64_t colours = bits <= 8 ? (used > 0 && used < (int64_t{1} << bits) ? used : int64_t{1} << bits) : 0;
    const int64_t paletteAt = headerSize;
    if (!IEInside(Size, paletteAt, colours * 4)) return nullptr;
    const int64_t rowLen = (width * bits + 31) / 32 * 4;
    const int64_t bitsAt = paletteAt + colours * 4;
    if (rowLen > (Size - bitsAt) / height || !IEInside(Size, bitsAt, rowLen * height)) return nullptr;
    auto colour = [&](int64_t i) {
        if (i >= colours) return TRGB{};
        const uint8_t* q = P + paletteAt + i * 4;
        return TRGB{q[0], q[1], q[2]};
    };
    auto image = std::make_unique<TIEBitmap>();
    if (!image->Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), bits == 1 ? ie1g : ie24RGB))
        return nullptr;
    // Two-colour pictures keep 1 as the brighter colour.
    const TRGB c0 = colour(0), c1 = colour(1);
    const bool invert = bits == 1 && (c0.r + c0.g + c0.b) > (c1.r + c1.g + c1.b);
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* s = P + bitsAt + (topDown ? y : height - 1 - y) * rowLen;
        auto* d = static_cast<uint8_t*>(image->GetScanline(static_cast<int32_t>(y)));
        if (!d) return nullptr;
        if (bits == 1) {
            const int64_t n = (width + 7) / 8;
            for (int64_t i = 0; i < n; ++i) d[i] = invert ? static_cast<uint8_t>(~s[i]) : s[i];
            continue;
        }
        for (int64_t x = 0; x < width; ++x) {
            TRGB c;
            switch (bits) {
                case 4: c = colour((s[x / 2] >> (x & 1 ? 0 : 4)) & 15); break;
                case 8: c = colour(s[x]); break;
                case 24: c = TRGB{s[x * 3], s[x * 3 + 1], s[x * 3 + 2]}; break;
                default: c = TRGB{s[x * 4], s[x * 4 + 1], s[x * 4 + 2]}; break;
            }
            std::memcpy(d + x * 3, &c, 3);
        }
    }
    image->GetScanline(0);
    return image;
}

// The whole image as a packed DIB at 200 x 200 DPI: 1 bit with a black and white table for
// ie1g, else 24 bits.
std::vector<uint8_t> BitmapToDIB(TIEBitmap* Image) {
    std::vector<uint8_t> out;
    if (!Image || Image->GetWidth() <= 0 || Image->GetHeight() <= 0) return out;
    TIEBitmap converted;
    TIEBitmap* src = Image;
    const bool mono = Image->GetPixelFormat() == ie1g;
    if (!mono && Image->GetPixelFormat() != ie24RGB) {
        if (!converted.Allocate(Image->GetWidth(), Image->GetHeight(), ie24RGB)) return out;
        converted.CopyAndConvertFormat(Image);
        src = &converted;
    }
    const int64_t w = src->GetWidth(), h = src->GetHeight();
    const int32_t bits = mono ? 1 : 24;
    const int64_t rowLen = (w * bits + 31) / 32 * 4;
    const int64_t palette = mono ? 8 : 0;
    out.assign(static_cast<size_t>(40 + palette + rowLen * h), 0);
    uint8_t* p = out.data();
    const auto ppm = static_cast<uint32_t>(std::lround(kDIBResolution / 0.0254));
    IEPutU32LE(p, 40);
    IEPutU32LE(p + 4, static_cast<uint32_t>(w));
    IEPutU32LE(p + 8, static_cast<uint32_t>(h));
    IEPutU16LE(p + 12, 1);
    IEPutU16LE(p + 14, static_cast<uint16_t>(bits));
    IEPutU32LE(p + 20, static_cast<uint32_t>(rowLen * h));
    IEPutU32LE(p + 24, ppm);
    IEPutU32LE(p + 28, ppm);
    if (mono) {
        IEPutU32LE(p + 32, 2);
        std::memset(p + 44, 255, 3);  // entry 1 white, entry 0 black
    }
    const int64_t used = (w * bits + 7) / 8;
    for (int64_t y = 0; y < h; ++y) {
        const void* s = src->GetScanline(static_cast<int32_t>(y));
        if (s) std::memcpy(p + 40 + palette + (h - 1 - y) * rowLen, s, static_cast<size_t>(used));
    }
    return out;
}

// ----- writing

class Writer {
public:
    void Int(uint32_t V) {
        uint8_t b[4];
        IEPutU32LE(b, V);
        Bytes(b, 4);
    }
    void Bytes(const void* P, size_t N) {
        const auto* b = static_cast<const uint8_t*>(P);
        out.insert(out.end(), b, b + N);
    }
    // A named block record: type, 12, the name in 8 bytes, the data length, the data.
    void Named(uint32_t Type, const char* Name, const std::vector<uint8_t>& Data) {
        Int(Type);
        Int(12);
        char name[8] = {};
        std::memcpy(name, Name, strnlen(Name, 8));
        Bytes(name, 8);
        Int(static_cast<uint32_t>(Data.size()));
        Bytes(Data.data(), Data.size());
    }
    std::vector<uint8_t> out;
};

std::vector<uint8_t> Text(const cl::String& S) {
    std::vector<uint8_t> v(S.begin(), S.end());
    v.push_back(0);
    return v;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TIEImagingObject

TIEImagingObject::TIEImagingObject() = default;
TIEImagingObject::~TIEImagingObject() = default;

int32_t TIEImagingObject::GetMarkType() const { return static_cast<int32_t>(IEGetU32LE(Attributes)); }
void TIEImagingObject::SetMarkType(int32_t Value) { IEPutU32LE(Attributes, static_cast<uint32_t>(Value)); }
int32_t TIEImagingObject::GetFontHeight() const {
    return static_cast<int32_t>(IEGetU32LE(Attributes + kFontHeightOffset));
}
void TIEImagingObject::SetFontHeight(int32_t Value) {
    IEPutU32LE(Attributes + kFontHeightOffset, static_cast<uint32_t>(Value));
}

void TIEImagingObject::Assign(const TIEImagingObject* Source) {
    if (!Source || Source == this) return;
    std::memcpy(Attributes, Source->Attributes, sizeof(Attributes));
    Points = Source->Points;
    Text = Source->Text;
    Image.reset();
    if (Source->Image) {
        Image = std::make_unique<TIEBitmap>();
        Image->Assign(Source->Image.get());
    }
}

// ---------------------------------------------------------------------------------------
// TIEImagingAnnot

TIEImagingAnnot::TIEImagingAnnot(TIOParamsVals* AParent) : Parent(AParent) {}
TIEImagingAnnot::~TIEImagingAnnot() = default;

void TIEImagingAnnot::Clear() { Objects.clear(); }

void TIEImagingAnnot::Assign(const TIEImagingAnnot* Source) {
    if (Source == this) return;
    Clear();
    if (!Source) return;
    for (const auto& o : Source->Objects) {
        auto copy = std::make_unique<TIEImagingObject>();
        copy->Assign(o.get());
        Objects.push_back(std::move(copy));
    }
}

TIEImagingObject* TIEImagingAnnot::GetObject(int32_t Index) const {
    if (Index < 0 || Index >= GetObjectsCount())
        throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    return Objects[Index].get();
}

void TIEImagingAnnot::LoadFromBuffer(const void* Data, int32_t Length) {
    if (!Data || Length <= 0) return;
    const auto* b = static_cast<const uint8_t*>(Data);
    const int64_t len = Length;
    Blocks page, mark;
    uint8_t attributes[IEAnnotAttributesSize] = {};

    auto finish = [&]() {
        const auto type = static_cast<int32_t>(IEGetU32LE(attributes));
        if (type < 1) return;
        auto o = std::make_unique<TIEImagingObject>();
        std::memcpy(o->Attributes, attributes, sizeof(attributes));
        if (type == IEAnnotImageEmbedded) {
            auto dib = mark.find("OiDIB");
            if (dib != mark.end()) o->Image = DIBToBitmap(dib->second.data(), static_cast<int64_t>(dib->second.size()));
        } else if (IsLineMark(type)) {
            auto pts = mark.find("OiAnoDat");
            if (pts != mark.end() && pts->second.size() >= 8) {
                const auto& v = pts->second;
                const int64_t count = static_cast<int32_t>(IEGetU32LE(v.data() + 4));
                if (count >= 0 && count <= (static_cast<int64_t>(v.size()) - 8) / 8) {
                    o->Points.resize(static_cast<size_t>(count));
                    for (int64_t i = 0; i < count; ++i)
                        o->Points[i] = cl::TPoint{static_cast<int32_t>(IEGetU32LE(v.data() + 8 + i * 8)),
                                                  static_cast<int32_t>(IEGetU32LE(v.data() + 12 + i * 8))};
                }
            }
        } else if (IsTextMark(type)) {
            auto txt = mark.find("OiAnText");
            if (txt != mark.end() && txt->second.size() >= 16) {
                const auto& v = txt->second;
                int64_t scale = static_cast<int32_t>(IEGetU32LE(v.data() + 8));
                if (scale == 0) scale = kDefaultScale;
                const int64_t textLength = IEGetU32LE(v.data() + 12);
                const int64_t room = std::min<int64_t>(textLength + 1, static_cast<int64_t>(v.size()) - 16);
                const auto* s = reinterpret_cast<const char*>(v.data() + 16);
                o->Text.assign(s, strnlen(s, static_cast<size_t>(std::max<int64_t>(room, 0))));
                const int64_t height = o->GetFontHeight();
                const int64_t t = height * 1000 / scale;
                o->SetFontHeight(static_cast<int32_t>(-((-t * kDefaultScale) / 1000)));
            }
        }
        Objects.push_back(std::move(o));
    };

    if (len >= 8) {
        const bool layout32 = IEGetU32LE(b + 4) == 1;
        int64_t pos = 8;
        while (pos < len) {
            if (!IEInside(len, pos, 8)) break;
            const uint32_t type = IEGetU32LE(b + pos);
            pos += 8;
            if (type == kPageBlock || type == kMarkBlock) {
                const int64_t lengthField = layout32 ? 4 : 8;
                if (!IEInside(len, pos, 8 + lengthField)) break;
                const auto* n = reinterpret_cast<const char*>(b + pos);
                std::string name(n, strnlen(n, 8));
                const int64_t size = IEGetU32LE(b + pos + 8);
                pos += 8 + lengthField;
                if (!IEInside(len, pos, size)) break;
                (type == kPageBlock ? page : mark)[name].assign(b + pos, b + pos + size);
                pos += size;
            } else if (type == kMarkAttributes) {
                if (!IEInside(len, pos, IEAnnotAttributesSize)) break;
                finish();
                mark.clear();
                std::memcpy(attributes, b + pos, IEAnnotAttributesSize);
                pos += IEAnnotAttributesSize;
            }
        }
        finish();
    }
    Changed = false;
}

void TIEImagingAnnot::SaveToBuffer(void*& Buffer, int32_t& Length) const {
    Buffer = nullptr;
    Length = 0;
    if (Objects.empty()) return;
    Writer w;
    w.Int(0);
    w.Int(1);
    w.Named(kPageBlock, "OiGroup", Text("0"));
    w.Named(kPageBlock, "OiIndex", Text("1"));
    win::HDC dc = win::GetDC(nullptr);
    const auto dpiX = static_cast<uint32_t>(win::GetDeviceCaps(dc, win::LOGPIXELSX));
    const auto dpiY = static_cast<uint32_t>(win::GetDeviceCaps(dc, win::LOGPIXELSY));
    win::ReleaseDC(nullptr, dc);
    for (size_t k = 0; k < Objects.size(); ++k) {
        const TIEImagingObject& o = *Objects[k];
        w.Int(kMarkAttributes);
        w.Int(IEAnnotAttributesSize);
        w.Bytes(o.Attributes, IEAnnotAttributesSize);
        const int32_t type = o.GetMarkType();
        if (type == IEAnnotImageEmbedded) {
            std::vector<uint8_t> rec(kImageRecordSize, 0);
            const uint32_t fields[6] = {1, 1000, dpiX, dpiY, dpiX, dpiY};
            for (int i = 0; i < 6; ++i) IEPutU32LE(rec.data() + i * 4, fields[i]);
            w.Named(kMarkBlock, "OiAnoDat", rec);
            if (o.Image) w.Named(kMarkBlock, "OiDIB", BitmapToDIB(o.Image.get()));
        } else if (IsLineMark(type)) {
            std::vector<uint8_t> pts(8 + o.Points.size() * 8);
            IEPutU32LE(pts.data(), static_cast<uint32_t>(o.Points.size()));
            IEPutU32LE(pts.data() + 4, static_cast<uint32_t>(o.Points.size()));
            for (size_t i = 0; i < o.Points.size(); ++i) {
                IEPutU32LE(pts.data() + 8 + i * 8, static_cast<uint32_t>(o.Points[i].x));
                IEPutU32LE(pts.data() + 12 + i * 8, static_cast<uint32_t>(o.Points[i].y));
            }
            w.Named(kMarkBlock, "OiAnoDat", pts);
        } else if (IsTextMark(type)) {
            const size_t textLength = strnlen(o.Text.c_str(), o.Text.size());
            std::vector<uint8_t> txt(16 + textLength + 1, 0);
            IEPutU32LE(txt.data() + 4, 1000);
            IEPutU32LE(txt.data() + 8, kDefaultScale);
            IEPutU32LE(txt.data() + 12, static_cast<uint32_t>(textLength));
            std::memcpy(txt.data() + 16, o.Text.data(), textLength);
            w.Named(kMarkBlock, "OiAnText", txt);
        }
        w.Named(kMarkBlock, "OiGroup", Text("0"));
        w.Named(kMarkBlock, "OiIndex", Text(std::to_string(k)));
    }
    if (w.out.size() > 0x7FFFFFFF) return;
    void* block = std::malloc(w.out.size());
    if (!block) return;
    std::memcpy(block, w.out.data(), w.out.size());
    Buffer = block;
    Length = static_cast<int32_t>(w.out.size());
}

}  // namespace ie
