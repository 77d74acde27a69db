// The reading state that the TIFF reader's tag pass hands to its image data decoding, and the
// EXIF and GPS tag tables the reader and the writer share.
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

// ---------------------------------------------------------------------------------------
// EXIF and GPS fields by tag, the same for reading and writing

struct TIETIFFTextField {
    uint16_t Tag;
    cl::String TIOParamsData::*Field;
};
struct TIETIFFIntField {
    uint16_t Tag;
    int32_t TIOParamsData::*Field;
};
struct TIETIFFRationalField {
    uint16_t Tag;
    double TIOParamsData::*Field;
};
struct TIETIFFRationalTripleField {
    uint16_t Tag;
    double (TIOParamsData::*Field)[3];
};

// EXIF text fields.
inline constexpr TIETIFFTextField IETIFFExifTexts[] = {
    {36867, &TIOParamsData::EXIFDateTimeOriginal},    {36868, &TIOParamsData::EXIFDateTimeDigitized},
    {37520, &TIOParamsData::EXIFSubsecTime},          {37521, &TIOParamsData::EXIFSubsecTimeOriginal},
    {37522, &TIOParamsData::EXIFSubsecTimeDigitized}, {40964, &TIOParamsData::EXIFRelatedSoundFile},
    {42016, &TIOParamsData::EXIFImageUniqueID},
};
// Plain integer fields of the EXIF directory (no presence list; -1 when absent).
inline constexpr TIETIFFIntField IETIFFExifPlainShorts[] = {
    {41986, &TIOParamsData::EXIFExposureMode},
    {41987, &TIOParamsData::EXIFWhiteBalance},
    {41989, &TIOParamsData::EXIFFocalLengthIn35mmFilm},
    {41990, &TIOParamsData::EXIFSceneCaptureType},
    {41991, &TIOParamsData::EXIFGainControl},
    {41992, &TIOParamsData::EXIFContrast},
    {41993, &TIOParamsData::EXIFSaturation},
    {41994, &TIOParamsData::EXIFSharpness},
    {41996, &TIOParamsData::EXIFSubjectDistanceRange},
};
// The GPS directory's one-letter references (stored as ASCII of count 2, read from the entry
// itself).
inline constexpr TIETIFFTextField IETIFFGPSRefs[] = {
    {1, &TIOParamsData::GPSLatitudeRef},
    {3, &TIOParamsData::GPSLongitudeRef},
    {9, &TIOParamsData::GPSStatus},
    {10, &TIOParamsData::GPSMeasureMode},
    {12, &TIOParamsData::GPSSpeedRef},
    {14, &TIOParamsData::GPSTrackRef},
    {16, &TIOParamsData::GPSImgDirectionRef},
    {19, &TIOParamsData::GPSDestLatitudeRef},
    {21, &TIOParamsData::GPSDestLongitudeRef},
    {23, &TIOParamsData::GPSDestBearingRef},
    {25, &TIOParamsData::GPSDestDistanceRef},
};
// The GPS directory's longer texts.
inline constexpr TIETIFFTextField IETIFFGPSTexts[] = {
    {8, &TIOParamsData::GPSSatellites},
    {18, &TIOParamsData::GPSMapDatum},
    {29, &TIOParamsData::GPSDateStamp},
};
// The GPS directory's single rationals.
inline constexpr TIETIFFRationalField IETIFFGPSRationals[] = {
    {6, &TIOParamsData::GPSAltitude},      {11, &TIOParamsData::GPSDOP},          {13, &TIOParamsData::GPSSpeed},
    {15, &TIOParamsData::GPSTrack},        {17, &TIOParamsData::GPSImgDirection}, {24, &TIOParamsData::GPSDestBearing},
    {26, &TIOParamsData::GPSDestDistance},
};
// The GPS directory's rational triples (degrees, minutes, seconds; hours, minutes, seconds).
inline constexpr TIETIFFRationalTripleField IETIFFGPSTriples[] = {
    {2, &TIOParamsData::GPSLatitude},      {4, &TIOParamsData::GPSLongitude},      {7, &TIOParamsData::GPSTimeStamp},
    {20, &TIOParamsData::GPSDestLatitude}, {22, &TIOParamsData::GPSDestLongitude},
};

}  // namespace ie
