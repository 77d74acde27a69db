#include "imaging/core/hyieutils_startup.h"

#include <cmath>
#include <mutex>
#include <numbers>

#include "classlib/SysUtils.h"
#include "imaging/core/hyiedefs.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/iewords.h"

namespace ie {

int64_t IEDefaultMinFileSize = -1;
bool IEMemoryToFileFallback = true;
bool IESegmentedMemory = true;
int32_t IECosineRamp[256] = {};

namespace {

struct Hooks {
    TIEStaticHook init = nullptr;
    TIEStaticHook final = nullptr;
};

// The state of the start-up. The lock exists before any code runs (it needs no
// initialisation at run time), so concurrent first calls are safe.
std::recursive_mutex gLock;
Hooks gUnits[iesuCount];
Hooks gUtilsParts[ieupCount];
bool gStarted = false;
int32_t gUseCount = 0;

}  // namespace

void IERegisterStaticHooks(TIEStaticUnit Unit, TIEStaticHook Init, TIEStaticHook Final) {
    if (Unit >= iesuCount || Unit == iesuHyieDefs || Unit == iesuHyieUtils) return;
    std::lock_guard<std::recursive_mutex> guard(gLock);
    gUnits[Unit] = Hooks{Init, Final};
}

void IERegisterUtilsPart(TIEUtilsPart Part, TIEStaticHook Init, TIEStaticHook Final) {
    if (Part >= ieupCount) return;
    std::lock_guard<std::recursive_mutex> guard(gLock);
    gUtilsParts[Part] = Hooks{Init, Final};
}

void IEBuildCosineRamp() {
    for (int i = 0; i < 256; ++i)
        IECosineRamp[i] = static_cast<int32_t>(cl::Round(64.0 - std::cos(i * std::numbers::pi / 255.0) * 64.0));
}

void HyieUtilsStaticInit() {
    if (gUtilsParts[ieupCoreCount].init) gUtilsParts[ieupCoreCount].init();
    IEWindowsVersion = IEGetWindowsVersion();
    IEIsWinNT = IEWindowsVersion > 2;
    // The word tables are the core's own: a program that starts only the core has them too.
    IEFillWordTables();
    IEDefaultMinFileSize = -1;
    IEMemoryToFileFallback = true;
    IESegmentedMemory = true;
    if (gUtilsParts[ieupColorManagement].init) gUtilsParts[ieupColorManagement].init();
    IEBuildCosineRamp();
}

void HyieUtilsStaticFinal() {
    if (gUtilsParts[ieupColorManagement].final) gUtilsParts[ieupColorManagement].final();
    IEFreeWordTables();
    if (gUtilsParts[ieupCoreCount].final) gUtilsParts[ieupCoreCount].final();
}

void IELibraryStaticInit() {
    std::lock_guard<std::recursive_mutex> guard(gLock);
    if (!gStarted) {
        gStarted = true;
        gUseCount = 0;
    }
    if (gUseCount == 0) {
        // A hook that raises still counts the user, so the shutdown stays paired.
        struct Count {
            ~Count() { ++gUseCount; }
        } count;
        for (int u = 0; u < iesuCount; ++u) {
            if (u == iesuHyieDefs)
                HyieDefsStaticInit();
            else if (u == iesuHyieUtils)
                HyieUtilsStaticInit();
            else if (gUnits[u].init)
                gUnits[u].init();
        }
        return;
    }
    ++gUseCount;
}

void IELibraryStaticFinal() {
    std::lock_guard<std::recursive_mutex> guard(gLock);
    if (!gStarted) return;
    if (gUseCount > 0) --gUseCount;
    if (gUseCount > 0) return;
    gStarted = false;
    for (int u = iesuCount - 1; u >= 0; --u) {
        try {
            if (u == iesuHyieDefs)
                HyieDefsStaticFinal();
            else if (u == iesuHyieUtils)
                HyieUtilsStaticFinal();
            else if (gUnits[u].final)
                gUnits[u].final();
        } catch (...) {
            // A unit that fails to release its state does not keep the others from it.
        }
    }
}

bool IELibraryStarted() {
    std::lock_guard<std::recursive_mutex> guard(gLock);
    return gStarted;
}

}  // namespace ie
