// Start-up and shutdown of the imaging library.
//
// The library keeps process-wide state in several units. Each such unit has a pair of
// hooks (UnitStaticInit / UnitStaticFinal); IELibraryStaticInit runs the start hooks in a
// fixed order the first time the library starts, IELibraryStaticFinal runs the final hooks
// in reverse order when the last user stops. The core's own hooks are always there (they
// set the core's globals and fill the word tables); the other units register theirs with
// IERegisterStaticHooks before the library starts (a unit that is not part of the program
// has none).
//
// A program calls IEStartLibrary and IEStopLibrary (imaging/view/ielibrary.h), which
// register every unit's hooks and then run this pair. IELibraryStaticInit alone starts only
// what was registered: without the input/output unit no file format is registered, and a
// load then raises an exception that says so.
#pragma once

#include <cstdint>

namespace ie {

// The places of the hooks in the start-up order (the shutdown runs them backwards).
enum TIEStaticUnit : uint8_t {
    iesuGDIPlus,      // IEGDIPlusStaticInit
    iesuHyieDefs,     // HyieDefsStaticInit (core, always present)
    iesuHyieUtils,    // HyieUtilsStaticInit (core, always present)
    iesuJ2000,        // IEJ2000StaticInit
    iesuVect,         // IEVectStaticInit
    iesuVovozIdIO,    // VovozIdIOStaticInit
    iesuVovozIdProc,  // VovozIdProcStaticInit
    iesuVovozIdView,  // VovozIdViewStaticInit
    iesuTifCcitt,     // TifCcittStaticInit
    iesuTextC,        // IETextCStaticInit
    iesuPresetIm,     // IEPresetImStaticInit
    iesuCount
};

// Parts of HyieUtilsStaticInit that belong to other parts of the core, run at their
// places inside it: the core-count cache and the colour-management handle.
// clang-format off
enum TIEUtilsPart : uint8_t {
    ieupCoreCount,
    ieupColorManagement,
    ieupCount
};
// clang-format on

using TIEStaticHook = void (*)();

// Registers the hooks of a unit (null: none). The core's two units cannot be replaced.
void IERegisterStaticHooks(TIEStaticUnit Unit, TIEStaticHook Init, TIEStaticHook Final);
void IERegisterUtilsPart(TIEUtilsPart Part, TIEStaticHook Init, TIEStaticHook Final);

// First call: runs the start hooks in order. Every call counts a user.
void IELibraryStaticInit();
// Drops a user; the last one runs the final hooks backwards. Nothing when not started.
void IELibraryStaticFinal();
// True between the first IELibraryStaticInit and the last IELibraryStaticFinal.
bool IELibraryStarted();

// The core's own hooks.
void HyieUtilsStaticInit();
void HyieUtilsStaticFinal();

// Storage defaults of TIEBitmap, set by the start-up.
extern int64_t IEDefaultMinFileSize;  // -1: worked out from the physical memory
extern bool IEMemoryToFileFallback;   // memory that cannot be had goes to a file
extern bool IESegmentedMemory;        // a memory image may be split into row segments

// IECosineRamp[i] = Round(64 - cos(i x pi / 255) x 64), built by the start-up.
extern int32_t IECosineRamp[256];
void IEBuildCosineRamp();

}  // namespace ie
