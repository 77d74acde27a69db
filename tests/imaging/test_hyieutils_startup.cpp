// Start-up and shutdown of the imaging library: the order of the units' hooks, the use
// count, and the state the core's own hooks set.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/core/iewords.h"

namespace ie {
namespace {

std::vector<std::string> gCalls;

#define HOOK(name) \
    void name() { gCalls.push_back(#name); }
HOOK(GDIPlusInit)
HOOK(GDIPlusFinal)
HOOK(J2000Init)
HOOK(J2000Final)
HOOK(IOInit)
HOOK(IOFinal)
HOOK(PresetInit)
HOOK(PresetFinal)
#undef HOOK

void DefsSaw() { gCalls.push_back("weights " + std::to_string(IEGrayWeightRed)); }
// The core fills the word tables between the core count and the colour management.
void CoreCountInit() { gCalls.push_back("CoreCountInit, words " + std::to_string(!IEGetLocalizedWord(0, msEnglish).empty())); }
void ICCFinal() { gCalls.push_back("ICCFinal, words " + std::to_string(!IEGetLocalizedWord(0, msEnglish).empty())); }
void DefsSawWords() {
    DefsSaw();
    gCalls.back() += ", words " + std::to_string(!IEGetLocalizedWord(0, msEnglish).empty());
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        IERegisterStaticHooks(iesuGDIPlus, GDIPlusInit, GDIPlusFinal);
        IERegisterStaticHooks(iesuJ2000, J2000Init, J2000Final);
        IERegisterStaticHooks(iesuVovozIdIO, IOInit, IOFinal);
        IERegisterStaticHooks(iesuPresetIm, PresetInit, PresetFinal);
        IERegisterUtilsPart(ieupCoreCount, CoreCountInit, nullptr);
        IERegisterUtilsPart(ieupColorManagement, DefsSawWords, ICCFinal);
        IEFreeWordTables();
    }
    void TearDown() override {
        while (IELibraryStarted()) IELibraryStaticFinal();
        for (int u = 0; u < iesuCount; ++u) IERegisterStaticHooks(static_cast<TIEStaticUnit>(u), nullptr, nullptr);
        for (int p = 0; p < ieupCount; ++p) IERegisterUtilsPart(static_cast<TIEUtilsPart>(p), nullptr, nullptr);
        // The shutdown emptied the word tables; other tests read them.
        IEFillWordTables();
    }
};

TEST_F(Startup, HooksRunOnceInOrderAndBackwardsAtTheLastRelease) {
    while (IELibraryStarted()) IELibraryStaticFinal();
    IELibraryStaticFinal();  // not started: nothing
    EXPECT_TRUE(gCalls.empty());
    IEGrayWeightRed = 50;
    IELibraryStaticInit();
    const std::vector<std::string> init = {"GDIPlusInit", "CoreCountInit, words 0", "weights 21, words 1",
                                           "J2000Init",   "IOInit",                 "PresetInit"};
    EXPECT_EQ(gCalls, init);
    IELibraryStaticInit();  // a second user: only counted
    EXPECT_EQ(gCalls.size(), init.size());
    gCalls.clear();
    IELibraryStaticFinal();
    EXPECT_TRUE(gCalls.empty());
    EXPECT_TRUE(IELibraryStarted());
    IELibraryStaticFinal();
    const std::vector<std::string> final = {"PresetFinal", "IOFinal", "J2000Final", "ICCFinal, words 1",
                                            "GDIPlusFinal"};
    EXPECT_EQ(gCalls, final);
    EXPECT_FALSE(IELibraryStarted());
    EXPECT_EQ(IEGetLocalizedWord(0, msEnglish), "");
    // It can start again.
    gCalls.clear();
    IELibraryStaticInit();
    EXPECT_EQ(gCalls, init);
}

TEST_F(Startup, CoreStateAfterStartUp) {
    IEDefaultMinFileSize = 5;
    IEMemoryToFileFallback = false;
    IESegmentedMemory = false;
    IEGrayWeightGreen = 1;
    IELibraryStaticInit();
    EXPECT_EQ(IEGrayWeightRed + IEGrayWeightGreen + IEGrayWeightBlue, 100);
    EXPECT_EQ(IEGrayWeightGreen, 71);
    EXPECT_EQ(IEDefaultMinFileSize, -1);
    EXPECT_TRUE(IEMemoryToFileFallback);
    EXPECT_TRUE(IESegmentedMemory);
    EXPECT_EQ(IEWindowsVersion, 8);
    EXPECT_TRUE(IEIsWinNT);
    EXPECT_EQ(IECosineRamp[0], 0);
    EXPECT_EQ(IECosineRamp[127], 64);
    EXPECT_EQ(IECosineRamp[128], 64);
    EXPECT_EQ(IECosineRamp[255], 128);
    for (int i = 1; i < 256; ++i) EXPECT_GE(IECosineRamp[i], IECosineRamp[i - 1]) << i;
}

TEST_F(Startup, CoreUnitsCannotBeReplaced) {
    IERegisterStaticHooks(iesuHyieDefs, IOInit, IOFinal);
    IERegisterStaticHooks(iesuHyieUtils, IOInit, IOFinal);
    IERegisterStaticHooks(static_cast<TIEStaticUnit>(99), IOInit, IOFinal);
    IELibraryStaticInit();
    EXPECT_EQ(std::count(gCalls.begin(), gCalls.end(), "IOInit"), 1);
}

}  // namespace
}  // namespace ie
