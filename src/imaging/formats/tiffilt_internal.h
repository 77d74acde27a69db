// The reading state that the TIFF reader's tag pass hands to its image data decoding.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/formats/tiffilt.h"

namespace ie {

class TIEMask;

// Most planes of a planar (separate) image the reader converts.
constexpr int32_t IETIFFMaxPlanes = 9;
// Most ExtraSamples values kept.
constexpr int32_t IETIFFMaxExtraSamples = 10;

struct TTIFFVars {
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    int32_t SamplesPerPixel = 1;
    int32_t BitsPerSample = 1;
    int32_t RowsPerStrip = 0;
    int32_t TileWidth = -1;
    int32_t TileLength = -1;
    int32_t Photometric = 2;
    int32_t PlanarConfig = 1;
    int32_t Orientation = 1;
    int32_t Compression = 1;
    std::vector<int64_t> StripOffsets, StripByteCounts;
    std::vector<int64_t> TileOffsets, TileByteCounts;
    std::vector<TRGB> ColorMap;  // empty when the file has none
    int32_t ResolutionUnit = 2;
    double XResolution = 0, YResolution = 0;
    int32_t Predictor = 1;
    std::vector<uint8_t> JPEGTables;
    int64_t T4Options = 0, T6Options = 0;
    int32_t FillOrder = 1;
    double XPosition = 0, YPosition = 0;
    cl::String Software;
    int32_t SubsamplingH = 2, SubsamplingV = 2;
    int64_t JPEGIFOffset = 0, JPEGIFLength = 0;
    int32_t JPEGProc = 0;
    TIETIFFLZWDecompressor LZWDecompress = nullptr;
    bool LittleEndian = true;
    TIOParamsVals* Params = nullptr;
    TIEMask* AlphaMask = nullptr;
    bool IgnoreAlpha = false;
    int32_t ExtraSample0 = 0;
    std::vector<int32_t> ExtraSamples;  // at most IETIFFMaxExtraSamples
};

// The strip and tile walks and the old-style JPEG path over an allocated bitmap; failures set
// the abort flag of Progress.
void IETIFFReadStrips(const TTIFFDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap, TProgressRec& Progress);
void IETIFFReadTiles(const TTIFFDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap, TProgressRec& Progress);
void IETIFFReadOldJPEG(const TTIFFDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap, TProgressRec& Progress);

}  // namespace ie
