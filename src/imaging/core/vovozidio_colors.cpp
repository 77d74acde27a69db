#include "imaging/core/vovozidio_colors.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/ieicc.h"

namespace ie {

// The built-in profile, zlib-compressed (made at build time by ie-make-cmyk-profile).
extern const uint8_t IECMYKProfileZData[];
extern const int32_t IECMYKProfileZSize;
extern const int32_t IECMYKProfileSize;

TIEConvertColorFunction IEConvertColorFunction = nullptr;
bool IEICCConversionEnabled = false;
bool IECMYKProfileEnabled = false;  // the unit's start-up switches it on

namespace {

// The two profiles of the single-colour conversions, made once under the once flag. A
// transform of the colour engine keeps a one-colour cache, so conversions through them
// hold the lock.
struct CMYKProfiles {
    std::once_flag once;
    bool ok = false;
    std::unique_ptr<TIEICC> cmyk;
    std::unique_ptr<TIEICC> srgb;
    std::mutex use;
};

std::mutex gHolderLock;
std::shared_ptr<CMYKProfiles> gProfiles;

std::shared_ptr<CMYKProfiles> Profiles() {
    std::lock_guard<std::mutex> g(gHolderLock);
    if (!gProfiles) gProfiles = std::make_shared<CMYKProfiles>();
    return gProfiles;
}

void Load(CMYKProfiles& P) {
    std::vector<uint8_t> raw(static_cast<size_t>(IECMYKProfileSize));
    uLongf n = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &n, IECMYKProfileZData, static_cast<uLong>(IECMYKProfileZSize)) != Z_OK ||
        n != raw.size())
        return;
    P.cmyk = std::make_unique<TIEICC>();
    P.cmyk->LoadFromBuffer(raw.data(), static_cast<int32_t>(raw.size()));
    if (!P.cmyk->IsValid()) return;
    P.srgb = std::make_unique<TIEICC>();
    P.srgb->LoadSRGBProfile();
    const TCMYK white{255, 255, 255, 255};
    TRGB rgb;
    const TRGB black{};
    TCMYK cmyk;
    P.ok = P.cmyk->TransformPixels(P.srgb.get(), IEICC_CMYKInv, 1, &rgb, &white, 0, 0, IEICC_BGR) &&
           P.srgb->TransformPixels(P.cmyk.get(), IEICC_BGR, 1, &cmyk, &black, 0, 0, IEICC_CMYKInv);
}

// The profiles when they can be made, else null.
std::shared_ptr<CMYKProfiles> LoadedProfiles() {
    auto p = Profiles();
    std::call_once(p->once, [&] { Load(*p); });
    return p->ok ? p : nullptr;
}

// The profiles when the switch is on and they can be made, else null.
std::shared_ptr<CMYKProfiles> ReadyProfiles() { return IECMYKProfileEnabled ? LoadedProfiles() : nullptr; }

inline TRGB FormulaCMYKToRGB(const TCMYK& c) {
    return TRGB{static_cast<uint8_t>(c.y * c.k / 255), static_cast<uint8_t>(c.m * c.k / 255),
                static_cast<uint8_t>(c.c * c.k / 255)};
}

inline TCMYK FormulaRGBToCMYK(uint32_t Color) {
    const int r = (Color >> 16) & 255, g = (Color >> 8) & 255, b = Color & 255;
    int k = std::max({r, g, b});
    if (k == 0) k = 1;
    return TCMYK{static_cast<uint8_t>(r * 255 / k), static_cast<uint8_t>(g * 255 / k),
                 static_cast<uint8_t>(b * 255 / k), static_cast<uint8_t>(k)};
}

// Count stored CMYK pixels to colours, through the built-in profile or the formula.
void CMYKRowToRGB(const TCMYK* Src, TRGB* Dst, int32_t Count) {
    if (auto p = ReadyProfiles()) {
        std::lock_guard<std::mutex> g(p->use);
        if (p->cmyk->TransformPixels(p->srgb.get(), IEICC_CMYKInv, Count, Dst, Src, 0, 0, IEICC_BGR)) return;
    }
    for (int32_t i = 0; i < Count; ++i) Dst[i] = FormulaCMYKToRGB(Src[i]);
}

void RGBRowToCMYK(const TRGB* Src, TCMYK* Dst, int32_t Count) {
    if (auto p = ReadyProfiles()) {
        std::lock_guard<std::mutex> g(p->use);
        if (p->srgb->TransformPixels(p->cmyk.get(), IEICC_BGR, Count, Dst, Src, 0, 0, IEICC_CMYKInv)) return;
    }
    for (int32_t i = 0; i < Count; ++i)
        Dst[i] = FormulaRGBToCMYK((static_cast<uint32_t>(Src[i].r) << 16) | (Src[i].g << 8) | Src[i].b);
}

// Through the profiles; False when they cannot convert (nothing written then).
bool ManagedScanline(void* Src, uint8_t SrcFormat, void* Dst, TIEICC* Input, TIEICC* Default, int32_t Count,
                     uint8_t DstKind) {
    if (SrcFormat == iecsCMYK6) {
        // The profile engine takes four-byte pixels: the ink bytes are gathered first.
        std::vector<uint8_t> packed(static_cast<size_t>(Count) * 4);
        const auto* s = static_cast<const uint8_t*>(Src);
        for (int32_t i = 0; i < Count; ++i) std::memcpy(packed.data() + i * 4, s + i * 6, 4);
        return Input->TransformPixels(Default, IEICC_CMYK, Count, Dst, packed.data(), 0, 0, DstKind);
    }
    return Input->TransformPixels(Default, SrcFormat, Count, Dst, Src, 0, 0, DstKind);
}

}  // namespace

bool IELoadCMYKProfiles() { return LoadedProfiles() != nullptr; }

void IEFreeCMYKProfiles() {
    std::lock_guard<std::mutex> g(gHolderLock);
    gProfiles.reset();
}

TIEICC* IEGetCMYKProfile() {
    auto p = LoadedProfiles();
    return p ? p->cmyk.get() : nullptr;
}

void IECMYKToRGB(const TCMYK& CMYK, TRGB& RGB) { CMYKRowToRGB(&CMYK, &RGB, 1); }

TCMYK IERGBToCMYK(uint32_t Color) {
    if (IECMYKProfileEnabled) {
        const TRGB c{static_cast<uint8_t>(Color), static_cast<uint8_t>(Color >> 8), static_cast<uint8_t>(Color >> 16)};
        TCMYK out;
        RGBRowToCMYK(&c, &out, 1);
        return out;
    }
    return FormulaRGBToCMYK(Color);
}

void IEConvertColorScanlineWith(void* Src, uint8_t SrcFormat, void* Dst, TIEICC* Input, TIEICC* Default, int32_t Count,
                                uint8_t DstKind) {
    if (Count <= 0 || !Src || !Dst) return;
    if (Input && Default && ManagedScanline(Src, SrcFormat, Dst, Input, Default, Count, DstKind)) return;
    auto* s = static_cast<uint8_t*>(Src);
    auto* d = static_cast<uint8_t*>(Dst);
    switch (SrcFormat) {
        case iecsRGB:
            if (DstKind != iecdBGR) return;
            for (int32_t i = 0; i < Count; ++i) {
                d[i * 3] = s[i * 3 + 2];
                d[i * 3 + 1] = s[i * 3 + 1];
                d[i * 3 + 2] = s[i * 3];
            }
            return;
        case iecsBGR:
            switch (DstKind) {
                case iecdBGR: std::memmove(d, s, static_cast<size_t>(Count) * 3); return;
                case iecdCMYKInv:
                    RGBRowToCMYK(reinterpret_cast<const TRGB*>(s), reinterpret_cast<TCMYK*>(d), Count);
                    return;
                case iecdCIELab:
                    for (int32_t i = 0; i < Count; ++i) {
                        TCIELab lab;
                        IERGBToCIELab(lab,
                                      (static_cast<uint32_t>(s[i * 3 + 2]) << 16) | (s[i * 3 + 1] << 8) | s[i * 3]);
                        std::memcpy(d + i * 3, &lab, 3);
                    }
                    return;
                case iecdGray:
                    for (int32_t i = 0; i < Count; ++i)
                        d[i] = static_cast<uint8_t>((s[i * 3 + 2] * IEGrayWeightRed + s[i * 3 + 1] * IEGrayWeightGreen +
                                                     s[i * 3] * IEGrayWeightBlue) /
                                                    100);
                    return;
                default: return;
            }
        case iecsCMYKInv:
            if (DstKind == iecdBGR) CMYKRowToRGB(reinterpret_cast<const TCMYK*>(s), reinterpret_cast<TRGB*>(d), Count);
            return;
        case iecsCMYK6:
            if (DstKind != iecdBGR) return;
            for (int32_t i = 0; i < Count; ++i) {
                uint8_t* p = s + i * 6;
                for (int j = 0; j < 4; ++j) p[j] = static_cast<uint8_t>(255 - p[j]);
                TCMYK c;
                std::memcpy(&c, p, 4);
                IECMYKToRGB(c, *reinterpret_cast<TRGB*>(d + i * 3));
            }
            return;
        case iecsCIELab:
            if (DstKind != iecdBGR) return;
            for (int32_t i = 0; i < Count; ++i) {
                TCIELab lab;
                std::memcpy(&lab, s + i * 3, 3);
                IECIELabToRGB(*reinterpret_cast<TRGB*>(d + i * 3), lab);
            }
            return;
        case iecsRGB48LE:
            if (DstKind != iecdBGR) return;
            for (int32_t i = 0; i < Count; ++i) {
                d[i * 3 + 2] = s[i * 6 + 1];
                d[i * 3 + 1] = s[i * 6 + 3];
                d[i * 3] = s[i * 6 + 5];
            }
            return;
        case iecsRGB48BE:
            if (DstKind != iecdBGR) return;
            for (int32_t i = 0; i < Count; ++i) {
                d[i * 3 + 2] = s[i * 6];
                d[i * 3 + 1] = s[i * 6 + 2];
                d[i * 3] = s[i * 6 + 4];
            }
            return;
        case iecsYCbCr:
            if (DstKind != iecdBGR) return;
            for (int32_t i = 0; i < Count; ++i)
                IEYCbCrToRGB(*reinterpret_cast<TRGB*>(d + i * 3), s[i * 3], s[i * 3 + 1], s[i * 3 + 2]);
            return;
        default: return;
    }
}

}  // namespace ie
