// Shared definitions of the imaging library: pixel formats, storage places and access
// flags of the image buffer, the pixel records, the resampling filters, the blend
// operations, the progress event, the message languages and the grey weights.
#pragma once

#include <cstdint>
#include <functional>

#include "classlib/Classes.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Pixel formats of TIEBitmap (one byte).

enum TIEPixelFormat : uint8_t {
    ieNone = 0,    // no pixels
    ie1g = 1,      // 1 bit, eight pixels per byte, most significant bit first; 1 is white
    ie8p = 2,      // 8-bit index into the palette
    ie8g = 3,      // 8-bit grey, 0 black .. 255 white
    ie16g = 4,     // 16-bit grey, little-endian word
    ie24RGB = 5,   // bytes blue, green, red
    ie32f = 6,     // single-precision float grey, 0.0 black .. 1.0 white
    ieCMYK = 7,    // bytes cyan, magenta, yellow, black, stored inverted
    ieRGB48 = 8,   // three little-endian words red, green, blue
    ieCIELab = 9,  // L byte, then a and b as signed bytes
    ie32RGB = 10,  // bytes blue, green, red, then a fourth byte
};
constexpr int IEPixelFormatCount = 11;

// Bits per pixel and channels per pixel, indexed by the format code.
constexpr int32_t IEPixelFormat2BitCount[IEPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
constexpr int32_t IEPixelFormat2ChannelCount[IEPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

constexpr bool IEIsValidPixelFormat(int code) { return code >= 0 && code < IEPixelFormatCount; }

// Where the rows of a TIEBitmap live (one byte).
enum TIELocation : uint8_t {
    ieMemory = 0,   // one 64-aligned block (rows bottom-up) or row segments (top-down)
    ieFile = 1,     // a temporary file (rows top-down), reached through mapped row buffers
    ieTBitmap = 2,  // the scan lines of a class-library TBitmap
};

// Access flags of a bitmap (a set: bit 0 read, bit 1 write). Write-only access promises
// that every row handed out is written whole: a file-located bitmap then skips reading the
// row from the file, so bytes the caller leaves alone are undefined when written back.
using TIEBitmapAccess = uint8_t;
constexpr TIEBitmapAccess ieaRead = 1;
constexpr TIEBitmapAccess ieaWrite = 2;

// ---------------------------------------------------------------------------------------
// Pixel records, laid out as the pixels are stored.

#pragma pack(push, 1)
// A 24-bit pixel and a palette entry: blue, green, red.
struct TRGB {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
    bool operator==(const TRGB&) const = default;
};
// A 48-bit pixel: little-endian words red, green, blue.
struct TRGB48 {
    uint16_t r = 0;
    uint16_t g = 0;
    uint16_t b = 0;
    bool operator==(const TRGB48&) const = default;
};
// A 32-bit colour pixel: blue, green, red, then the fourth byte.
struct TRGBA {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
    uint8_t a = 0;
    bool operator==(const TRGBA&) const = default;
};
// A CMYK pixel as stored (inverted).
struct TCMYK {
    uint8_t c = 0;
    uint8_t m = 0;
    uint8_t y = 0;
    uint8_t k = 0;
    bool operator==(const TCMYK&) const = default;
};
// A CIE L*a*b* pixel: L 0..255 for 0..100, a and b signed.
struct TCIELab {
    uint8_t l = 0;
    int8_t a = 0;
    int8_t b = 0;
    bool operator==(const TCIELab&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TRGB) == 3 && sizeof(TRGB48) == 6 && sizeof(TRGBA) == 4);
static_assert(sizeof(TCMYK) == 4 && sizeof(TCIELab) == 3);

inline TRGB CreateRGB(uint8_t r, uint8_t g, uint8_t b) { return TRGB{b, g, r}; }

// ---------------------------------------------------------------------------------------
// Resampling filters (values 0 .. 13).

enum TResampleFilter : uint8_t {
    rfNone,
    rfTriangle,
    rfHermite,
    rfBell,
    rfBSpline,
    rfLanczos3,
    rfMitchell,
    rfNearest,
    rfLinear,
    rfFastLinear,
    rfBilinear,
    rfBicubic,
    rfProjectBW,
    rfProjectWB,
};

// ---------------------------------------------------------------------------------------
// Blend operations of a 24-bit pixel over another (values 0 .. 42; other values leave the
// destination alone).

enum TIEBlendOperation : uint8_t {
    boCopy,
    boAdd,
    boDifference,
    boDivide,
    boMultiply,
    boOr,
    boAnd,
    boXor,
    boLighten,
    boDarken,
    boAverage,
    boScreen,
    boNegation,
    boExclusion,
    boOverlay,
    boHardLight,
    boSoftLight,
    boSoftLightMix,
    boColorDodge,
    boColorBurn,
    boInverseColorDodge,
    boInverseColorBurn,
    boSoftDodge,
    boSoftBurn,
    boReflect,
    boGlow,
    boFreeze,
    boHeat,
    boSumMinus256,
    boCosineSum,
    boStamp,
    boRed,
    boGreen,
    boBlue,
    boHue,
    boSaturation,
    boColor,
    boHueLightness,
    boAnaglyphGray,
    boAnaglyphColor,
    boAnaglyphMatrix,
    boEvenRows,
    boOddRows,
};

// ---------------------------------------------------------------------------------------
// Progress of a long operation: the sender and the percentage done.

using TIEProgressEvent = std::function<void(cl::TObject* Sender, int per)>;

// ---------------------------------------------------------------------------------------
// Languages of the dialog word tables, and the font information of each.

enum TMsgLanguage : uint8_t {
    msSystem,
    msEnglish,
    msItalian,
    msGerman,
    msSpanish,
    msFrench,
    msPortuguese,
    msGreek,
    msRussian,
    msDutch,
    msSwedish,
    msPolish,
    msJapanese,
    msCzech,
    msFinnish,
    msFarsi,
    msChinese,
    msChineseTraditional,
    msDanish,
    msTurkish,
    msKorean,
    msHungarian,
    msUser,
};
constexpr int IEMsgLanguageCount = 23;

struct TIELANGUAGECHARINFO {
    uint8_t Charset = 1;
    const char* FontName = "";  // empty: the dialog keeps its own font
    int32_t CodePage = 0;
};

// ---------------------------------------------------------------------------------------
// Grey weights in per cent, read at every grey computation:
// grey = (R x IEGrayWeightRed + G x IEGrayWeightGreen + B x IEGrayWeightBlue) div 100.

extern int32_t IEGrayWeightRed;
extern int32_t IEGrayWeightGreen;
extern int32_t IEGrayWeightBlue;

// The background setting of the parameters preview dialog.
extern uint8_t IEPreviewBackground;

// Start-up and shutdown hooks of this unit (run by IELibraryStaticInit/Final).
void HyieDefsStaticInit();
void HyieDefsStaticFinal();

}  // namespace ie
