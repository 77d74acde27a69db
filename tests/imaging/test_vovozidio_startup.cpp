// Start-up and shutdown of the input/output unit, the colour hook and the debug log.
#include <fstream>

#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/iej2000.h"
#include "imaging/formats/tifccitt.h"
#include "imaging_fixture.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

TEST(IOStartup, SettingsAfterStartAndShutdown) {
    IEQuantizerAlgorithm = 1;
    IEQuantizerQuality = 50;
    IERelativeStreamPositions = true;
    IEICCConversionEnabled = true;
    IEMetafileRasterLimit = 5;
    VovozIdIOStaticInit();
    // The built-in formats, HD Photo included: the platform provides the imaging component.
    EXPECT_EQ(IEFormatCount(), 26);
    EXPECT_NE(IEFindFormatInfo(ioHDP), nullptr);
    EXPECT_EQ(IEMetafileRasterLimit, 8000);
    EXPECT_TRUE(IECMYKProfileEnabled);
    EXPECT_FALSE(IEICCConversionEnabled);
    EXPECT_FALSE(IERelativeStreamPositions);
    EXPECT_EQ(IEQuantizerAlgorithm, -1);
    EXPECT_EQ(IEQuantizerQuality, -1);
    EXPECT_EQ(IEConvertColorFunction, &IEConvertColorScanline);
    // A plug-in's format leaves with the shutdown and its library is released.
    static int released = 0;
    RegisterTestFormat();
    IEIOPlugins.push_back(TIEIOPlugin{nullptr, ioTestFormat, [](TIEIOPlugin&) { ++released; }, "test"});
    VovozIdIOStaticFinal();
    EXPECT_EQ(IEFormatCount(), 0);
    EXPECT_EQ(released, 1);
    EXPECT_TRUE(IEIOPlugins.empty());
}

// The start-up turns CMYK conversion through profiles on; the shutdown puts back what the
// first start-up found, however often the unit was started in between.
TEST(IOStartup, ShutdownRestoresTheCMYKSwitch) {
    const CMYKSwitch restored(false);
    const bool wasStarted = IEFormatCount() > 0;
    VovozIdIOStaticFinal();  // a unit left started by an earlier test
    for (bool before : {false, true}) {
        SCOPED_TRACE(before);
        IECMYKProfileEnabled = before;
        VovozIdIOStaticInit();
        EXPECT_TRUE(IECMYKProfileEnabled);
        VovozIdIOStaticInit();
        VovozIdIOStaticFinal();
        EXPECT_EQ(IECMYKProfileEnabled, before);
        VovozIdIOStaticFinal();
        EXPECT_EQ(IECMYKProfileEnabled, before);
    }
    if (wasStarted) VovozIdIOStaticInit();
}

TEST(IOStartup, TheLibraryStartRunsTheUnitAtItsPlace) {
    if (IELibraryStarted()) GTEST_SKIP() << "the library was left started";
    VovozIdIORegisterHooks();
    IELibraryStaticInit();
    EXPECT_EQ(IEFormatCount(), 26);
    IELibraryStaticFinal();
    EXPECT_EQ(IEFormatCount(), 0);
    IERegisterStaticHooks(iesuVovozIdIO, nullptr, nullptr);
}

// The library's shutdown frees the JPEG 2000 colour tables and the fax decode trees, its
// start-up builds them; a coder after the shutdown builds what it needs again.
TEST(IOStartup, TheLibraryShutdownFreesTheCodecTables) {
    if (IELibraryStarted()) GTEST_SKIP() << "the library was left started";
    VovozIdIORegisterHooks();
    IELibraryStaticInit();
    EXPECT_TRUE(IEJ2000TablesBuilt());
    EXPECT_TRUE(TifCcittTreesBuilt());
    IELibraryStaticFinal();
    EXPECT_FALSE(IEJ2000TablesBuilt());
    EXPECT_FALSE(TifCcittTreesBuilt());
    // One all-white row of 8 pixels: the white run 8 (10011).
    const uint8_t data[] = {0x98, 0x00, 0x00, 0x00};
    uint8_t row[1] = {0};
    EXPECT_EQ(IECCITTDecode1DRow(row, data, sizeof data, 1, 0, 8), 5);
    EXPECT_EQ(row[0], 0xFF);
    EXPECT_TRUE(TifCcittTreesBuilt());
    TifCcittStaticFinal();
    EXPECT_FALSE(TifCcittTreesBuilt());
    for (const TIEStaticUnit u : {iesuVovozIdIO, iesuPresetIm, iesuJ2000, iesuTifCcitt})
        IERegisterStaticHooks(u, nullptr, nullptr);
}

TEST(IOStartup, ColourHookSwapsAndCopiesWithoutProfiles) {
    VovozIdIOStaticInit();
    TIOParamsVals params(nullptr);
    uint8_t rgb[6] = {10, 20, 30, 40, 50, 60}, out[6] = {};
    IEConvertColorFunction(rgb, iecsRGB, out, &params, 2, iecdBGR);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{30, 20, 10, 60, 50, 40}));
    IEConvertColorFunction(rgb, iecsBGR, out, nullptr, 2, iecdBGR);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(rgb, rgb + 6));
    VovozIdIOStaticFinal();
}

class DebugLogTest : public ImagingTest {};

TEST_F(DebugLogTest, AppendsLinesOnlyWhenNamedAndPresent) {
    IEDebugLogName.clear();
    EXPECT_NO_THROW(IEDebugLog("nothing"));
    const std::string name = folder_ + "/debug.log";
    IEDebugLogName = name;
    EXPECT_THROW(IEDebugLog("no file yet"), cl::EInOutError);
    std::ofstream(name).close();
    IEDebugLog("first");
    IEDebugLog("second");
    std::ifstream in(name);
    std::string a, b, c;
    std::getline(in, a);
    std::getline(in, b);
    EXPECT_FALSE(std::getline(in, c));
    EXPECT_NE(a.find(" : first"), std::string::npos) << a;
    EXPECT_NE(b.find(" : second"), std::string::npos) << b;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(a[0])));
    VovozIdIOStaticFinal();  // closes the log
    IEDebugLogName.clear();
}

}  // namespace
}  // namespace ie::test
