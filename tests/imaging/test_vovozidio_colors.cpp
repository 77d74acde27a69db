// Scanline colour conversion and the built-in CMYK profile: every source layout by the
// formulas, conversions through profiles, the built-in profile's make-up, and a CMYK JPEG
// made by ImageMagick converted here and by LittleCMS's transicc to nearly the same colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

bool Same(const TRGB& A, const TRGB& B) { return A.r == B.r && A.g == B.g && A.b == B.b; }

TEST(ColorFormulas, SingleColoursByFormula) {
    CMYKSwitch off(false);
    const struct {
        uint32_t rgb;
        TCMYK cmyk;
    } toCMYK[] = {
        {0x000000, {0, 0, 0, 1}},
        {0xFFFFFF, {255, 255, 255, 255}},
        {0xFF0000, {255, 0, 0, 255}},
        {0x804020, {255, 127, 63, 128}},
    };
    for (const auto& c : toCMYK) {
        const TCMYK k = IERGBToCMYK(c.rgb);
        EXPECT_EQ(k.c, c.cmyk.c) << std::hex << c.rgb;
        EXPECT_EQ(k.m, c.cmyk.m) << std::hex << c.rgb;
        EXPECT_EQ(k.y, c.cmyk.y) << std::hex << c.rgb;
        EXPECT_EQ(k.k, c.cmyk.k) << std::hex << c.rgb;
    }
    const struct {
        TCMYK cmyk;
        TRGB rgb;
    } toRGB[] = {
        {{255, 255, 255, 255}, {255, 255, 255}},
        {{0, 0, 0, 255}, {0, 0, 0}},
        {{255, 255, 255, 0}, {0, 0, 0}},
        {{255, 128, 0, 128}, {0, 64, 128}},  // B, G, R
    };
    for (const auto& c : toRGB) EXPECT_TRUE(Same(IECMYKToRGB(c.cmyk), c.rgb));
}

// Runs the scanline conversion without profiles.
Bytes Convert(Bytes Src, uint8_t Format, int32_t Count, uint8_t Kind, size_t DstBytes, Bytes* SrcAfter = nullptr) {
    Bytes dst(DstBytes, 0xEE);
    IEConvertColorScanlineWith(Src.data(), Format, dst.data(), nullptr, nullptr, Count, Kind);
    if (SrcAfter) *SrcAfter = Src;
    return dst;
}

TEST(ColorFormulas, EverySourceLayoutToTRGB) {
    CMYKSwitch off(false);
    TRGB ycc;
    IEYCbCrToRGB(ycc, 100, 90, 200);
    TCIELab lab{180, 20, -30};
    TRGB fromLab;
    IECIELabToRGB(fromLab, lab);
    const struct {
        const char* name;
        uint8_t format;
        Bytes src;
        Bytes expected;
        // clang-format off
    } cases[] = {
        {"R G B", iecsRGB, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
        {"B G R", iecsBGR, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {"inverted CMYK", iecsCMYKInv, {255, 128, 0, 128, 255, 255, 255, 0}, {0, 64, 128, 0, 0, 0}},
        {"RGB48 little-endian", iecsRGB48LE, {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 1, 2, 3, 4, 5, 6}, {0x9A, 0x56, 0x12, 6, 4, 2}},
        {"RGB48 big-endian", iecsRGB48BE, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 1, 2, 3, 4, 5, 6}, {0x9A, 0x56, 0x12, 5, 3, 1}},
        {"YCbCr", iecsYCbCr, {100, 90, 200, 100, 90, 200}, {ycc.b, ycc.g, ycc.r, ycc.b, ycc.g, ycc.r}},
        {"L*a*b*", iecsCIELab, {180, 20, static_cast<uint8_t>(-30), 180, 20, static_cast<uint8_t>(-30)},
         {fromLab.b, fromLab.g, fromLab.r, fromLab.b, fromLab.g, fromLab.r}},
        {"profile-only layout", iecsICCOnly, {1, 2}, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"unknown layout", 42, {1, 2, 3, 4, 5, 6}, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(Convert(c.src, c.format, 2, iecdBGR, 6), c.expected) << c.name;
}

TEST(ColorFormulas, SixByteCMYKInvertsItsSource) {
    CMYKSwitch off(false);
    Bytes after;
    const Bytes out = Convert({0, 127, 255, 127, 9, 9, 0, 0, 0, 0, 7, 7}, iecsCMYK6, 2, iecdBGR, 6, &after);
    EXPECT_EQ(after, (Bytes{255, 128, 0, 128, 9, 9, 255, 255, 255, 255, 7, 7}));
    EXPECT_EQ(out, (Bytes{0, 64, 128, 255, 255, 255}));
}

TEST(ColorFormulas, TRGBToTheOtherKinds) {
    CMYKSwitch off(false);
    const Bytes src = {0x20, 0x40, 0x80, 0, 0, 0xFF};  // B G R
    const Bytes grey = Convert(src, iecsBGR, 2, iecdGray, 2);
    EXPECT_EQ(grey[0], (0x80 * IEGrayWeightRed + 0x40 * IEGrayWeightGreen + 0x20 * IEGrayWeightBlue) / 100);
    EXPECT_EQ(grey[1], 0xFF * IEGrayWeightRed / 100);
    const Bytes cmyk = Convert(src, iecsBGR, 2, iecdCMYKInv, 8);
    const TCMYK k0 = IERGBToCMYK(0x804020);
    EXPECT_EQ(Bytes(cmyk.begin(), cmyk.begin() + 4), (Bytes{k0.c, k0.m, k0.y, k0.k}));
    const Bytes lab = Convert(src, iecsBGR, 2, iecdCIELab, 6);
    TCIELab l0;
    IERGBToCIELab(l0, 0x804020);
    EXPECT_EQ(Bytes(lab.begin(), lab.begin() + 3),
              (Bytes{l0.l, static_cast<uint8_t>(l0.a), static_cast<uint8_t>(l0.b)}));
    // Kinds without a formula for that layout leave the destination.
    EXPECT_EQ(Convert(src, iecsRGB, 2, iecdGray, 2), (Bytes{0xEE, 0xEE}));
    EXPECT_EQ(Convert(src, iecsCMYKInv, 1, iecdCIELab, 3), (Bytes{0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(Convert(src, iecsBGR, 0, iecdBGR, 3), (Bytes{0xEE, 0xEE, 0xEE}));
}

TEST(ColorProfiles, ScanlinesGoThroughProfilesWhenGiven) {
    CMYKSwitch off(false);
    TIEICC cmyk, srgb;
    TIEICC* builtIn = IEGetCMYKProfile();
    ASSERT_NE(builtIn, nullptr);
    cmyk.Assign(builtIn);
    srgb.LoadSRGBProfile();
    // The built-in profile's press darkens the paper as the formula does: the two agree
    // within the rounding of the profile's tables, and the profile was used.
    Bytes px = {128, 255, 255, 200};
    Bytes managed(3, 0xEE), formula(3, 0xEE);
    IEConvertColorScanlineWith(px.data(), iecsCMYKInv, managed.data(), &cmyk, &srgb, 1, iecdBGR);
    IEConvertColorScanlineWith(px.data(), iecsCMYKInv, formula.data(), nullptr, nullptr, 1, iecdBGR);
    EXPECT_EQ(formula, (Bytes{200, 200, 100}));
    EXPECT_TRUE(cmyk.HasTransform());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(managed[i], formula[i], 4) << i;
    // The six-byte layout gathers its ink bytes for the profile and leaves the source.
    Bytes six = {127, 0, 0, 55, 1, 2};
    Bytes viaSix(3, 0xEE);
    IEConvertColorScanlineWith(six.data(), iecsCMYK6, viaSix.data(), &cmyk, &srgb, 1, iecdBGR);
    EXPECT_EQ(six, (Bytes{127, 0, 0, 55, 1, 2}));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(viaSix[i], managed[i], 2);
    // A profile that cannot take the layout falls back to the formula.
    Bytes rgb = {1, 2, 3};
    Bytes out(3, 0xEE);
    IEConvertColorScanlineWith(rgb.data(), iecsRGB, out.data(), &cmyk, &srgb, 1, iecdBGR);
    EXPECT_EQ(out, (Bytes{3, 2, 1}));
}

// Sets the colour-management switch for a test and puts it back.
class ManagementSwitch {
public:
    explicit ManagementSwitch(bool On) : saved_(IEICCConversionEnabled) { IEICCConversionEnabled = On; }
    ~ManagementSwitch() { IEICCConversionEnabled = saved_; }

private:
    bool saved_;
};

TEST(ColorProfiles, TheHookChoosesTheParametersProfile) {
    CMYKSwitch off(false);
    // A CMYK pixel with the built-in profile as the parameters' input (or fallback)
    // profile: whether the hook used it shows in the profile's cached transform.
    TIEICC* builtIn = IEGetCMYKProfile();
    ASSERT_NE(builtIn, nullptr);
    const Bytes px = {128, 255, 255, 200};
    Bytes formula(3, 0xEE);
    IEConvertColorScanlineWith(Bytes(px).data(), iecsCMYKInv, formula.data(), nullptr, nullptr, 1, iecdBGR);
    struct Case {
        const char* name;
        bool managementOn, withParams, inputValid, fallback, applied;
        bool managed;
    };
    const Case cases[] = {
        {"switch off", false, true, true, false, false, false},
        {"no parameters", true, false, true, false, false, false},
        {"input profile", true, true, true, false, false, true},
        {"input profile already applied", true, true, true, false, true, false},
        {"invalid input, fallback profile", true, true, false, true, false, true},
        {"invalid input, no fallback", true, true, false, false, false, false},
    };
    for (const auto& c : cases) {
        ManagementSwitch m(c.managementOn);
        TIOParamsVals p(nullptr);
        if (c.inputValid) {
            p.GetInputICCProfile()->Assign(builtIn);
        } else {
            const uint8_t junk[200] = {};
            p.GetInputICCProfile()->LoadFromBuffer(junk, sizeof(junk));
        }
        if (c.fallback) p.GetFallbackICCProfile()->Assign(builtIn);
        if (c.applied) p.GetInputICCProfile()->Applied = true;
        Bytes src = px, out(3, 0xEE);
        IEConvertColorScanline(src.data(), iecsCMYKInv, out.data(), c.withParams ? &p : nullptr, 1, iecdBGR);
        // The profile and the formula agree within the tables' rounding; which path ran
        // shows in the cached transform.
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], formula[i], 4) << c.name;
        const bool used = (p.InputICCProfile() && p.InputICCProfile()->HasTransform()) ||
                          (p.FallbackICCProfile() && p.FallbackICCProfile()->HasTransform());
        EXPECT_EQ(used, c.managed) << c.name;
    }
}

TEST(ColorProfiles, BuiltInProfileIsAVersion2CMYKOutputProfile) {
    ASSERT_TRUE(IELoadCMYKProfiles());
    TIEICC* p = IEGetCMYKProfile();
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->IsValid());
    const uint8_t* raw = p->GetRaw();
    ASSERT_NE(raw, nullptr);
    ASSERT_GT(p->GetRawLength(), 132);
    EXPECT_EQ(IEGetU32BE(raw), static_cast<uint32_t>(p->GetRawLength()));
    EXPECT_EQ(raw[8], 2);
    EXPECT_EQ(raw[9], 0x20);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 12), 4), "prtr");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 16), 4), "CMYK");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 20), 4), "Lab ");
    EXPECT_EQ(IEGetU32BE(raw + 64), 1u);
    const char* order[] = {"desc", "cprt", "wtpt", "bkpt", "A2B1", "A2B0", "A2B2", "B2A1", "B2A0", "B2A2", "gamt"};
    ASSERT_EQ(IEGetU32BE(raw + 128), 11u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 132 + i * 12), 4), order[i]) << i;
    EXPECT_FALSE(p->GetDescription().empty());
}

TEST(ColorProfiles, SingleColoursThroughTheBuiltInProfile) {
    CMYKSwitch on(true);
    const TRGB paper = IECMYKToRGB(TCMYK{255, 255, 255, 255});
    EXPECT_GE(paper.r, 250);
    EXPECT_GE(paper.g, 250);
    EXPECT_GE(paper.b, 250);
    const TRGB ink = IECMYKToRGB(TCMYK{255, 255, 255, 0});
    EXPECT_LE(ink.r + ink.g + ink.b, 30);
    // RGB to CMYK and back lands near the colour it started from.
    for (uint32_t c : {0x804020u, 0x2060A0u, 0xC0C0C0u, 0xFF0000u}) {
        const TRGB back = IECMYKToRGB(IERGBToCMYK(c));
        TCIELab a, b;
        IERGBToCIELab(a, c);
        IERGBToCIELab(b, (uint32_t{back.r} << 16) | (uint32_t{back.g} << 8) | back.b);
        const double de = std::hypot((a.l - b.l) * 100.0 / 255, a.a - b.a, a.b - b.b);
        EXPECT_LT(de, 6.0) << std::hex << c;
    }
    // Switched off, the formulas.
    CMYKSwitch off(false);
    EXPECT_TRUE(Same(IECMYKToRGB(TCMYK{255, 128, 0, 128}), TRGB{0, 64, 128}));
}

TEST(ColorProfiles, FirstUseFromManyThreadsMakesOneProfile) {
    CMYKSwitch on(true);
    IEFreeCMYKProfiles();
    std::vector<TRGB> seen(6);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = IECMYKToRGB(TCMYK{100, 150, 200, 250}); });
    for (auto& t : threads) t.join();
    for (const TRGB& c : seen) EXPECT_TRUE(Same(c, seen[0]));
    EXPECT_TRUE(IELoadCMYKProfiles());
}

class CMYKFiles : public ImagingTest {};

TEST_F(CMYKFiles, CMYKJpegLandsNearWhatTransiccGives) {
    CMYKSwitch on(true);
    const std::string file = MetadataFixture("cmyk_profile.jpg");
    std::string inks;
    ASSERT_EQ(RunTool("convert " + Quote(file) + " -depth 8 cmyk:- 2>/dev/null", inks), 0);
    ASSERT_EQ(inks.size(), 16u * 16 * 4);
    // The built-in profile as a file for transicc, and the inks in percent.
    const std::string icc = folder_ + "/builtin.icc";
    {
        cl::TFileStream f(icc, cl::fmCreate);
        IEGetCMYKProfile()->SaveToStream(&f, true);
    }
    std::string input;
    const size_t n = inks.size() / 4;
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 4; ++c)
            input += std::to_string(static_cast<uint8_t>(inks[i * 4 + c]) * 100.0 / 255) + (c < 3 ? " " : "\n");
    }
    const std::string in = folder_ + "/inks.txt";
    WriteBytes(in, Bytes(input.begin(), input.end()));
    std::string out;
    ASSERT_EQ(RunTool("transicc -n -t 0 -i " + Quote(icc) + " -o '*sRGB' < " + Quote(in) + " 2>/dev/null", out), 0);
    std::istringstream values(out);
    double worst = 0;
    size_t checked = 0;
    for (size_t i = 0; i < n; ++i) {
        double r, g, b;
        if (!(values >> r >> g >> b)) break;
        const auto* k = reinterpret_cast<const uint8_t*>(inks.data() + i * 4);
        const TRGB ours = IECMYKToRGB(TCMYK{static_cast<uint8_t>(255 - k[0]), static_cast<uint8_t>(255 - k[1]),
                                            static_cast<uint8_t>(255 - k[2]), static_cast<uint8_t>(255 - k[3])});
        auto u8 = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 255.0))); };
        TCIELab a, bb;
        IERGBToCIELab(a, (u8(r) << 16) | (u8(g) << 8) | u8(b));
        IERGBToCIELab(bb, (uint32_t{ours.r} << 16) | (uint32_t{ours.g} << 8) | ours.b);
        worst = std::max(worst, std::hypot((a.l - bb.l) * 100.0 / 255, a.a - bb.a, a.b - bb.b));
        ++checked;
    }
    EXPECT_EQ(checked, n);
    EXPECT_LT(worst, 3.0);
}

}  // namespace
}  // namespace ie::test
