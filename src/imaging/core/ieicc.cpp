#include "imaging/core/ieicc.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"

// Last: the engine's header defines TRUE and FALSE as macros.
#include <lcms2.h>

namespace ie {

namespace {

// The colour engine's pixel type of a layout (0 for an unknown code). Lab goes through
// the engine's 8-bit encoding, whose a and b are offset by 128.
cmsUInt32Number EngineType(int32_t Format) {
    switch (Format) {
        case IEICC_RGB: return TYPE_RGB_8;
        case IEICC_BGR: return TYPE_BGR_8;
        case IEICC_CMYKInv: return TYPE_CMYK_8_REV;
        case IEICC_CMYK: return TYPE_CMYK_8;
        case IEICC_Lab: return TYPE_Lab_8;
        case IEICC_Gray: return TYPE_GRAY_8;
        case IEICC_RGB48: return TYPE_RGB_16;
        case IEICC_RGB48BE: return TYPE_RGB_16_SE;
        case IEICC_3Channel: return CHANNELS_SH(3) | BYTES_SH(1);
        default: return 0;
    }
}

// The colour space of a layout's samples (0 for the three-channel layout, which takes any
// space of three channels). Signatures are held as plain numbers: a profile's header may
// name any value, and an enumeration variable may not hold one its type does not list.
uint32_t LayoutSpace(int32_t Format) {
    switch (Format) {
        case IEICC_RGB:
        case IEICC_BGR:
        case IEICC_RGB48:
        case IEICC_RGB48BE: return cmsSigRgbData;
        case IEICC_CMYKInv:
        case IEICC_CMYK: return cmsSigCmykData;
        case IEICC_Lab: return cmsSigLabData;
        case IEICC_Gray: return cmsSigGrayData;
        default: return 0;
    }
}

bool Takes(cmsHPROFILE Profile, int32_t Format) {
    const auto space = static_cast<uint32_t>(cmsGetColorSpace(Profile));
    if (Format == IEICC_3Channel) {
        switch (space) {
            case cmsSigXYZData:
            case cmsSigLabData:
            case cmsSigLuvData:
            case cmsSigYCbCrData:
            case cmsSigYxyData:
            case cmsSigRgbData:
            case cmsSigHsvData:
            case cmsSigHlsData:
            case cmsSigCmyData:
            case cmsSig3colorData:
            case cmsSigMCH3Data: return true;
            default: return false;
        }
    }
    return space == LayoutSpace(Format);
}

// A profile of a layout's own space, for pixels whose layout is not the space of the
// profile they go with: CIE L*a*b* (D50) for Lab pixels, and for grey pixels a grey of the
// sRGB curve (a grey byte is then the value of the sRGB grey that looks the same). Null
// for the other layouts.
cmsHPROFILE StandardProfile(int32_t Format) {
    if (Format == IEICC_Lab) return cmsCreateLab4Profile(nullptr);
    if (Format == IEICC_Gray) {
        const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
        cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
        if (!curve) return nullptr;
        cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), curve);
        cmsFreeToneCurve(curve);
        return grey;
    }
    return nullptr;
}

// The transform from Source's layout InFormat to Dest's layout OutFormat. A layout that is
// not its profile's space goes through the standard profile of the layout next to it
// (pixels to the profile's colours, or the profile's colours to the pixels). Null when a
// layout cannot be served.
cmsHTRANSFORM MakeTransform(cmsHPROFILE Source, int32_t InFormat, cmsHPROFILE Dest, int32_t OutFormat) {
    // The engine takes the profiles of a chain alternately from and to the connection
    // space: a profile whose colours stand between two others appears twice.
    cmsHPROFILE chain[6];
    cmsHPROFILE owned[2] = {nullptr, nullptr};
    int n = 0;
    bool ok = true;
    if (!Takes(Source, InFormat)) {
        owned[0] = StandardProfile(InFormat);
        ok = owned[0] != nullptr;
        chain[n++] = owned[0];
        chain[n++] = Source;
    }
    chain[n++] = Source;
    chain[n++] = Dest;
    if (ok && !Takes(Dest, OutFormat)) {
        owned[1] = StandardProfile(OutFormat);
        ok = owned[1] != nullptr;
        chain[n++] = Dest;
        chain[n++] = owned[1];
    }
    cmsHTRANSFORM t = nullptr;
    if (ok)
        t = cmsCreateMultiprofileTransform(chain, static_cast<cmsUInt32Number>(n), EngineType(InFormat),
                                           EngineType(OutFormat), INTENT_PERCEPTUAL, cmsFLAGS_HIGHRESPRECALC);
    for (cmsHPROFILE p : owned)
        if (p) cmsCloseProfile(p);
    return t;
}

// Signed a and b bytes to the engine's offset encoding and back (the same operation).
void FlipLabAB(uint8_t* P, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        P[i * 3 + 1] ^= 0x80;
        P[i * 3 + 2] ^= 0x80;
    }
}

constexpr int64_t kTagTable = 128;
constexpr int64_t kMaxTags = 1000;
constexpr int64_t kMaxTagSize = 1000;
constexpr int64_t kMaxText = 1000;

// The zero-terminated text at Offset, read no further than End; empty when it has no
// terminator there or is kMaxText characters or longer.
cl::String TextAt(const uint8_t* P, int64_t Offset, int64_t End) {
    if (Offset >= End) return {};
    const auto* s = P + Offset;
    const void* zero = std::memchr(s, 0, static_cast<size_t>(End - Offset));
    if (!zero) return {};
    const int64_t n = static_cast<const uint8_t*>(zero) - s;
    if (n >= kMaxText) return {};
    return cl::String(reinterpret_cast<const char*>(s), static_cast<size_t>(n));
}

// The first record of a multi-localized text (UTF-16 big-endian) as UTF-8, inside
// [Tag, Tag + Size).
cl::String MlucText(const uint8_t* P, int64_t Tag, int64_t Size) {
    if (Size < 28) return {};
    const uint8_t* t = P + Tag;
    const uint32_t records = IEGetU32BE(t + 8);
    const uint32_t recordSize = IEGetU32BE(t + 12);
    if (records < 1 || recordSize < 12) return {};
    const int64_t length = IEGetU32BE(t + 20);
    const int64_t offset = IEGetU32BE(t + 24);
    if (!IEInside(Size, offset, length) || length / 2 >= kMaxText) return {};
    cl::String out;
    for (int64_t i = 0; i + 1 < length; i += 2) {
        uint32_t c = IEGetU16BE(t + offset + i);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDFFF) c = '?';  // surrogates are not expected in names
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

int32_t IEICCPixelSize(int32_t Format) {
    switch (Format) {
        case IEICC_RGB:
        case IEICC_BGR:
        case IEICC_Lab:
        case IEICC_3Channel: return 3;
        case IEICC_CMYKInv:
        case IEICC_CMYK: return 4;
        case IEICC_Gray: return 1;
        case IEICC_RGB48:
        case IEICC_RGB48BE: return 6;
        default: return 0;
    }
}

int32_t IEICCFormatOf(TIEPixelFormat PixelFormat) {
    switch (PixelFormat) {
        case ie8g: return IEICC_Gray;
        case ie24RGB: return IEICC_BGR;
        case ieCMYK: return IEICC_CMYKInv;
        case ieRGB48: return IEICC_RGB48;
        case ieCIELab: return IEICC_Lab;
        default: return -1;
    }
}

TIEICC::~TIEICC() { Clear(); }

void TIEICC::LoadFromBuffer(const void* Data, int32_t Length) {
    Clear();
    if (Data && Length > 0) {
        const auto* p = static_cast<const uint8_t*>(Data);
        FRaw.assign(p, p + Length);
    }
    OpenProfile();
}

bool TIEICC::OpenProfile() {
    if (!FRaw.empty() && !FProfileHandle)
        FProfileHandle = cmsOpenProfileFromMem(FRaw.data(), static_cast<cmsUInt32Number>(FRaw.size()));
    ParseTags();
    return FProfileHandle != nullptr;
}

void TIEICC::ParseTags() {
    FRightsNotice.clear();
    FDescription.clear();
    const int64_t len = static_cast<int64_t>(FRaw.size());
    if (len <= kTagTable + 4) return;
    const uint8_t* p = FRaw.data();
    const int64_t count = static_cast<int32_t>(IEGetU32BE(p + kTagTable));
    if (count < 0 || count > kMaxTags) return;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t entry = kTagTable + 4 + i * 12;
        if (!IEInside(len, entry, 12)) return;  // the table runs past the profile
        const uint8_t* e = p + entry;
        const int64_t offset = static_cast<int32_t>(IEGetU32BE(e + 4));
        const int64_t size = static_cast<int32_t>(IEGetU32BE(e + 8));
        if (!IEInside(len, offset, size)) return;
        if (size >= kMaxTagSize || size < 8) continue;
        const bool mluc = std::memcmp(p + offset, "mluc", 4) == 0;
        if (std::memcmp(e, "cprt", 4) == 0)
            FRightsNotice = mluc ? MlucText(p, offset, size) : TextAt(p, offset + 8, offset + size);
        else if (std::memcmp(e, "desc", 4) == 0)
            FDescription = mluc ? MlucText(p, offset, size) : TextAt(p, offset + 12, offset + size);
    }
}

void TIEICC::SaveToStream(cl::TStream* Stream, bool NoLength) const {
    if (!NoLength) {
        uint8_t n[4];
        IEPutU32LE(n, static_cast<uint32_t>(FRaw.size()));
        Stream->WriteBuffer(n, 4);
    }
    if (!FRaw.empty()) Stream->WriteBuffer(FRaw.data(), static_cast<int64_t>(FRaw.size()));
}

void TIEICC::Assign(const TIEICC* Source) {
    if (Source == this) return;
    Clear();
    if (!Source) return;
    FRaw = Source->FRaw;
    OpenProfile();
}

void TIEICC::CloseProfile() {
    FreeTransform();
    if (FProfileHandle) cmsCloseProfile(static_cast<cmsHPROFILE>(FProfileHandle));
    FProfileHandle = nullptr;
    FInputFormat = FOutputFormat = FIntent = FFlags = 0;
}

void TIEICC::FreeTransform() {
    if (!FTransformHandle) return;
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransformHandle));
    FTransformHandle = nullptr;
    Applied = true;
}

void TIEICC::Clear() {
    CloseProfile();
    FRaw.clear();
    FRightsNotice.clear();
    FDescription.clear();
    Applied = false;
}

void TIEICC::LoadSRGBProfile() {
    Clear();
    FProfileHandle = cmsCreate_sRGBProfile();
}

bool TIEICC::TransformPixels(TIEICC* Dest, int32_t InputFormat, int32_t Count, void* DestPixels,
                             const void* SourcePixels, int32_t Flags, int32_t Intent, int32_t OutputFormat) {
    const cmsUInt32Number inType = EngineType(InputFormat);
    const cmsUInt32Number outType = EngineType(OutputFormat);
    if (!Dest || !inType || !outType || Count < 0) return false;
    if (Count > 0 && (!DestPixels || !SourcePixels)) return false;
    const bool reuse = FTransformHandle && FInputFormat == InputFormat && FOutputFormat == OutputFormat &&
                       FIntent == Intent && FFlags == Flags;
    if (!reuse) {
        FreeTransform();
        if (FProfileHandle && Dest->FProfileHandle)
            FTransformHandle = MakeTransform(static_cast<cmsHPROFILE>(FProfileHandle), InputFormat,
                                             static_cast<cmsHPROFILE>(Dest->FProfileHandle), OutputFormat);
        FInputFormat = InputFormat;
        FOutputFormat = OutputFormat;
        FIntent = Intent;
        FFlags = Flags;
    }
    if (!FTransformHandle) return false;
    if (Count == 0) return true;
    const void* src = SourcePixels;
    std::vector<uint8_t> lab;
    if (InputFormat == IEICC_Lab) {
        const auto* s = static_cast<const uint8_t*>(SourcePixels);
        lab.assign(s, s + static_cast<size_t>(Count) * 3);
        FlipLabAB(lab.data(), Count);
        src = lab.data();
    }
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransformHandle), src, DestPixels, static_cast<cmsUInt32Number>(Count));
    if (OutputFormat == IEICC_Lab) FlipLabAB(static_cast<uint8_t*>(DestPixels), Count);
    return true;
}

bool TIEICC::ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat NewFormat, TIEICC* Dest) {
    if (!Bitmap || !Dest) return false;
    const int32_t inFormat = IEICCFormatOf(Bitmap->GetPixelFormat());
    const int32_t outFormat = IEICCFormatOf(NewFormat);
    if (inFormat < 0 || outFormat < 0) return false;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    TIEBitmap converted;
    converted.MinFileSize = Bitmap->MinFileSize;
    if (!converted.Allocate(w, h, NewFormat)) return false;
    // The source row is copied out first: a bitmap kept in a temporary file hands out one
    // row buffer at a time.
    std::vector<uint8_t> row(static_cast<size_t>(w) * IEICCPixelSize(inFormat));
    for (int32_t y = 0; y < h; ++y) {
        const void* s = Bitmap->GetScanline(y);
        if (!s) return false;
        std::memcpy(row.data(), s, row.size());
        void* d = converted.GetScanline(y);
        if (!d || !TransformPixels(Dest, inFormat, w, d, row.data(), 0, 0, outFormat)) return false;
    }
    FreeTransform();
    Bitmap->AssignImage(&converted);
    return true;
}

}  // namespace ie
