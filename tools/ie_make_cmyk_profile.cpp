// ie-make-cmyk-profile: makes the imaging library's built-in CMYK profile.
//
// The profile is an ICC version 2.2 output (printer) profile of colour space CMYK with a
// CIE Lab connection space and the relative colorimetric intent by default. Its device
// model is a plain four-ink press: the inks darken the paper white multiplicatively,
// cyan taking red, magenta green and yellow blue, and black all three; the colours so
// made are sRGB colours. The device-to-Lab tables evaluate that model; the Lab-to-device
// tables invert it with full grey replacement (black carries the darkness the three
// colour inks share); the gamut tag flags Lab colours that come back from a round trip
// through the two more than 5 delta E away. Eleven tags, in this order: description,
// rights notice, media white point, media black point, device-to-Lab for the intents 1, 0
// and 2, Lab-to-device for the intents 1, 0 and 2, gamut. The three intents share one
// table each way.
//
// Usage: ie-make-cmyk-profile [--profile FILE.icc] [--source FILE.cpp] [--srgb FILE.icc]
//   --profile  the profile's bytes
//   --source   a C++ source holding the profile zlib-compressed (IECMYKProfileZData) for
//              the imaging library
//   --srgb     the colour engine's own sRGB profile, saved as a version 2 profile (for test
//              fixtures that carry an RGB profile)
#include <lcms2.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr cmsUInt32Number kDeviceGrid = 9;  // device-to-Lab points per ink
constexpr cmsUInt32Number kLabGrid = 17;    // Lab-to-device points per axis
constexpr cmsUInt32Number kGamutGrid = 17;
constexpr double kGamutDeltaE = 5.0;

struct Engine {
    cmsHTRANSFORM rgbToLab = nullptr;
    cmsHTRANSFORM labToRgb = nullptr;
};
Engine gEngine;

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// The press: CMYK ink amounts (0..1) to a Lab colour.
cmsCIELab DeviceToLab(const double ink[4]) {
    const double k = 1.0 - ink[3];
    const double rgb[3] = {(1.0 - ink[0]) * k, (1.0 - ink[1]) * k, (1.0 - ink[2]) * k};
    cmsCIELab lab;
    cmsDoTransform(gEngine.rgbToLab, rgb, &lab, 1);
    return lab;
}

// Its inverse with full grey replacement: the ink amounts of a Lab colour.
void LabToDevice(const cmsCIELab& Lab, double ink[4]) {
    double rgb[3];
    cmsDoTransform(gEngine.labToRgb, &Lab, rgb, 1);
    for (double& v : rgb) v = Clamp01(v);
    const double mx = std::max({rgb[0], rgb[1], rgb[2]});
    ink[3] = 1.0 - mx;
    for (int i = 0; i < 3; ++i) ink[i] = mx > 0 ? Clamp01((mx - rgb[i]) / mx) : 0.0;
}

int SampleDevice(const cmsUInt16Number In[], cmsUInt16Number Out[], void*) {
    const double ink[4] = {In[0] / 65535.0, In[1] / 65535.0, In[2] / 65535.0, In[3] / 65535.0};
    const cmsCIELab lab = DeviceToLab(ink);
    cmsFloat2LabEncodedV2(Out, &lab);
    return 1;
}

int SampleLab(const cmsUInt16Number In[], cmsUInt16Number Out[], void*) {
    cmsCIELab lab;
    cmsLabEncoded2FloatV2(&lab, In);
    double ink[4];
    LabToDevice(lab, ink);
    for (int i = 0; i < 4; ++i) Out[i] = static_cast<cmsUInt16Number>(std::lround(ink[i] * 65535.0));
    return 1;
}

int SampleGamut(const cmsUInt16Number In[], cmsUInt16Number Out[], void*) {
    cmsCIELab lab;
    cmsLabEncoded2FloatV2(&lab, In);
    double ink[4];
    LabToDevice(lab, ink);
    const cmsCIELab back = DeviceToLab(ink);
    Out[0] = cmsDeltaE(&lab, &back) > kGamutDeltaE ? 0xFFFF : 0;
    return 1;
}

cmsPipeline* Table(cmsUInt32Number Grid, cmsUInt32Number In, cmsUInt32Number Out, cmsSAMPLER16 Sampler) {
    cmsPipeline* p = cmsPipelineAlloc(nullptr, In, Out);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, Grid, In, Out, nullptr);
    if (!p || !clut || !cmsStageSampleCLut16bit(clut, Sampler, nullptr, 0) ||
        !cmsPipelineInsertStage(p, cmsAT_END, clut))
        return nullptr;
    return p;
}

bool WriteText(cmsHPROFILE h, cmsTagSignature Sig, const char* Text) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    const bool ok = mlu && cmsMLUsetASCII(mlu, "en", "US", Text) && cmsWriteTag(h, Sig, mlu);
    if (mlu) cmsMLUfree(mlu);
    return ok;
}

std::vector<uint8_t> Save(cmsHPROFILE h) {
    cmsUInt32Number n = 0;
    std::vector<uint8_t> out;
    if (!cmsSaveProfileToMem(h, nullptr, &n) || n == 0) return out;
    out.resize(n);
    if (!cmsSaveProfileToMem(h, out.data(), &n)) out.clear();
    // A fixed creation date, so that every build makes the same bytes.
    if (out.size() >= 36) {
        const uint8_t date[12] = {0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2024-01-01 00:00:00
        std::memcpy(out.data() + 24, date, 12);
    }
    return out;
}

std::vector<uint8_t> MakeCMYKProfile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    gEngine.rgbToLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    gEngine.labToRgb = cmsCreateTransform(lab, TYPE_Lab_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    std::vector<uint8_t> out;
    if (!gEngine.rgbToLab || !gEngine.labToRgb) return out;

    cmsHPROFILE h = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(h, 2.2);
    cmsSetDeviceClass(h, cmsSigOutputClass);
    cmsSetColorSpace(h, cmsSigCmykData);
    cmsSetPCS(h, cmsSigLabData);
    cmsSetHeaderRenderingIntent(h, INTENT_RELATIVE_COLORIMETRIC);
    const double black[4] = {1, 1, 1, 1};
    const cmsCIELab blackLab = DeviceToLab(black);
    cmsCIEXYZ blackXYZ;
    cmsLab2XYZ(cmsD50_XYZ(), &blackXYZ, &blackLab);
    cmsPipeline* toLab = Table(kDeviceGrid, 4, 3, SampleDevice);
    cmsPipeline* toDevice = Table(kLabGrid, 3, 4, SampleLab);
    cmsPipeline* gamut = Table(kGamutGrid, 3, 1, SampleGamut);
    const bool ok = toLab && toDevice && gamut && WriteText(h, cmsSigProfileDescriptionTag, "Lumetra CMYK") &&
                    WriteText(h, cmsSigCopyrightTag, "No copyright, use freely") &&
                    cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ()) &&
                    cmsWriteTag(h, cmsSigMediaBlackPointTag, &blackXYZ) && cmsWriteTag(h, cmsSigAToB1Tag, toLab) &&
                    cmsLinkTag(h, cmsSigAToB0Tag, cmsSigAToB1Tag) && cmsLinkTag(h, cmsSigAToB2Tag, cmsSigAToB1Tag) &&
                    cmsWriteTag(h, cmsSigBToA1Tag, toDevice) && cmsLinkTag(h, cmsSigBToA0Tag, cmsSigBToA1Tag) &&
                    cmsLinkTag(h, cmsSigBToA2Tag, cmsSigBToA1Tag) && cmsWriteTag(h, cmsSigGamutTag, gamut);
    if (ok) out = Save(h);
    if (toLab) cmsPipelineFree(toLab);
    if (toDevice) cmsPipelineFree(toDevice);
    if (gamut) cmsPipelineFree(gamut);
    cmsCloseProfile(h);
    cmsDeleteTransform(gEngine.rgbToLab);
    cmsDeleteTransform(gEngine.labToRgb);
    return out;
}

std::vector<uint8_t> MakeSRGBProfile() {
    cmsHPROFILE h = cmsCreate_sRGBProfile();
    cmsSetProfileVersion(h, 2.1);
    std::vector<uint8_t> out = Save(h);
    cmsCloseProfile(h);
    return out;
}

bool WriteFile(const std::string& Name, const std::string& Bytes) {
    FILE* f = std::fopen(Name.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(Bytes.data(), 1, Bytes.size(), f) == Bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string Source(const std::vector<uint8_t>& Profile) {
    uLongf n = compressBound(static_cast<uLong>(Profile.size()));
    std::vector<uint8_t> z(n);
    if (compress2(z.data(), &n, Profile.data(), static_cast<uLong>(Profile.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    z.resize(n);
    std::string s =
        "// Made by ie-make-cmyk-profile: the imaging library's built-in CMYK output profile,\n"
        "// zlib-compressed. Do not edit.\n"
        "#include <cstdint>\n\nnamespace ie {\n\n"
        "extern const uint8_t IECMYKProfileZData[];\n"
        "extern const int32_t IECMYKProfileZSize;\n"
        "extern const int32_t IECMYKProfileSize;\n\n"
        "const uint8_t IECMYKProfileZData[] = {";
    for (size_t i = 0; i < z.size(); ++i) {
        if (i % 20 == 0) s += "\n   ";
        s += " " + std::to_string(z[i]) + ",";
    }
    s += "\n};\nconst int32_t IECMYKProfileZSize = " + std::to_string(z.size()) +
         ";\nconst int32_t IECMYKProfileSize = " + std::to_string(Profile.size()) + ";\n\n}  // namespace ie\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::string profileFile, sourceFile, srgbFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--profile")
            profileFile = argv[i + 1];
        else if (a == "--source")
            sourceFile = argv[i + 1];
        else if (a == "--srgb")
            srgbFile = argv[i + 1];
        else {
            std::fprintf(stderr, "ie-make-cmyk-profile: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if ((argc - 1) % 2 != 0 || argc < 3) {
        std::fprintf(stderr,
                     "usage: ie-make-cmyk-profile [--profile FILE.icc] [--source FILE.cpp] [--srgb FILE.icc]\n");
        return 2;
    }
    if (!profileFile.empty() || !sourceFile.empty()) {
        const std::vector<uint8_t> p = MakeCMYKProfile();
        if (p.empty()) {
            std::fprintf(stderr, "ie-make-cmyk-profile: the colour engine could not make the profile\n");
            return 1;
        }
        if (!profileFile.empty() && !WriteFile(profileFile, std::string(p.begin(), p.end()))) return 1;
        if (!sourceFile.empty()) {
            const std::string s = Source(p);
            if (s.empty() || !WriteFile(sourceFile, s)) return 1;
        }
    }
    if (!srgbFile.empty()) {
        const std::vector<uint8_t> p = MakeSRGBProfile();
        if (p.empty() || !WriteFile(srgbFile, std::string(p.begin(), p.end()))) return 1;
    }
    return 0;
}
