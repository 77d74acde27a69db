// The palette quantizer of the imaging library: TIEQuantizer chooses a palette of at most
// N colours for an image (a copy of its own palette, an even grey ramp, its exact colours,
// the box-splitting quantizer or the neural-net quantizer) and maps colours to palette
// indexes. Also the neural-net quantizer itself (NeuQuant, a one-dimensional Kohonen
// network over RGB with a frequency-biased competition).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;
struct TIEBoxQuant;

// Library-wide settings read at every construction of a quantizer.
// -1: box splitting when fewer than 128 colours are asked for, the neural net from 128 up;
// 1: box splitting; 0 and any other value: the neural net.
extern int32_t IEQuantizerAlgorithm;
// The most colours a quantizer builds (the largest colour reduction asks for 1024).
constexpr int32_t IEQuantizerMaxColors = 1024;
// -1: the neural net takes its sampling factor from the pixel count; 0..100: its quality.
extern int32_t IEQuantizerQuality;

// ---------------------------------------------------------------------------------------
// The neural-net quantizer.

struct TIENeuQuant {
    int32_t NetSize = 0;
    int32_t MaxNetPos = 0;
    int32_t InitRadius = 0;
    int32_t InitRadiusFixed = 0;
    int32_t RadiusDec = 0;
    TIEBitmap* Bitmap = nullptr;
    int64_t ByteCount = 0;
    int32_t SamplingFactor = 1;
    std::vector<int32_t> Network;  // NetSize x {blue, green, red, index}
    int32_t GreenIndex[256] = {};
    std::vector<int32_t> Bias;
    std::vector<int32_t> Freq;
    std::vector<int32_t> RadPower;
    int32_t Width = 0;
    int32_t Height = 0;
};

// The sampling factor (1..30) for an image of PixelCount pixels.
int32_t IENeuQuantSampleFactor(int64_t PixelCount);
// Trains a network of ColorCount neurons on an ie24RGB Bitmap and writes ColorCount
// palette entries in the network's order. Quality -1: the factor from the pixel count;
// other values are limited to 0..100.
std::unique_ptr<TIENeuQuant> IENeuQuantCreate(TIEBitmap* Bitmap, TRGB* Palette, int32_t ColorCount, int32_t Quality);
int32_t IENeuQuantIndex(const TIENeuQuant& State, const TRGB& Color);

// ---------------------------------------------------------------------------------------
// The quantizer.

class TIEQuantizer {
public:
    // Builds at most ColorCount (limited to 1..IEQuantizerMaxColors) colours into Palette,
    // which has room for them, and prepares the mapping; box splitting serves at most 256
    // colours, larger palettes come from the neural net. Bitmap must outlive the quantizer.
    TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, int32_t ColorCount);
    ~TIEQuantizer();
    TIEQuantizer(const TIEQuantizer&) = delete;
    TIEQuantizer& operator=(const TIEQuantizer&) = delete;

    // The palette index of a colour: its place among the exact colours (-1 when it is
    // not one of them), the grey ramp inverted, the engine's answer, the first equal entry
    // of an ie8p image's palette (its length when none), else 0.
    int32_t RGBIndex(const TRGB& Color) const;

    int32_t Algorithm = 0;  // 0 neural net, 1 box splitting (while an engine exists)
    bool GrayScale = false;
    int32_t ColorCount = 0;
    TIEBitmap* Bitmap = nullptr;
    // The image's distinct colours in order of first appearance, when they fit.
    const std::vector<TRGB>& ExactColors() const { return FExact; }
    bool HasExactColors() const { return FHasExact; }
    bool HasEngine() const { return FNeu != nullptr || FBox != nullptr; }

private:
    bool CollectExactColors(TRGB* Palette);
    int32_t FindExact(const TRGB& Color) const;

    std::vector<TRGB> FExact;
    std::vector<int32_t> FExactTable;  // open addressing: colour + 1 -> index + 1
    bool FHasExact = false;
    std::unique_ptr<TIENeuQuant> FNeu;
    std::unique_ptr<TIEBoxQuant> FBox;
};

}  // namespace ie
