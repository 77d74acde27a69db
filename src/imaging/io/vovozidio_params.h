// The per-image parameters TIOParamsVals: the record of file-format parameters that
// travels with every load and save. Readers fill it from the file, writers take their
// settings from it. It owns the metadata carriers (markers, IPTC, maker-note tags, DICOM
// tags, annotations, ICC profiles, the EXIF thumbnail and the colour map).
//
// The plain values live in TIOParamsData, so that copying them all is one assignment;
// TIOParamsVals adds the owned objects and the setters with side effects.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TVovozIdIO;
class TIEBitmap;
class TIEMarkerList;
class TIEIPTCInfoList;
class TIETagsHandler;
class TIEImagingAnnot;
class TIEICC;
class TIEDICOMTags;

using TDateTime = double;  // days since 30 December 1899, the fraction the time of day

// The LZW coders of the TIFF and GIF codecs.
using TIETIFFLZWDecompressor = uint8_t* (*)(uint8_t* Data, int32_t DataBytes, int32_t RowLength, void*& State,
                                            int32_t FillOrder);
using TIETIFFLZWCompressor = void (*)(const uint8_t* Data, int32_t Count, cl::TStream* Stream, void*& State);
using TIEGIFLZWDecompressor = void (*)(cl::TStream* Stream, int32_t Height, int32_t Width, uint8_t* Buffer,
                                       bool Interlaced);
using TIEGIFLZWCompressor = void (*)(cl::TStream* Stream, int32_t Height, int32_t Width, int32_t Bits,
                                     const uint8_t* Buffer, bool Interlaced);
// The library-wide coders, bound by the unit's start-up; every new TIOParamsVals copies them.
extern TIETIFFLZWDecompressor IEDefTIFFLZWDecompress;
extern TIETIFFLZWCompressor IEDefTIFFLZWCompress;
extern TIEGIFLZWDecompressor IEDefGIFLZWDecompress;
extern TIEGIFLZWCompressor IEDefGIFLZWCompress;

// The library-wide default resolution (dots per inch) for images without one.
extern int32_t IEDefaultDpiX;
extern int32_t IEDefaultDpiY;

// TDateTime of the current day (time 0).
TDateTime IEToday();

// The plain values of the parameters, with their values after ResetParams.
struct TIOParamsData {
    // Common.
    int32_t BitsPerSample = 8;
    cl::WideString FileName;
    int32_t SamplesPerPixel = 3;
    int32_t Width = 0, Height = 0;  // not reset without an owner
    int32_t DpiX = 0, DpiY = 0;     // written through SetDpiX, SetDpiY
    int32_t FileType = 0;
    int32_t ImageIndex = 0;
    int32_t ImageCount = 0;
    bool GetThumbnail = false;
    bool IsResource = false;  // the stream holds a resource image without file header or directory
    bool SpareFlag = false;   // copied by Assign only
    int32_t OriginalWidth = 0, OriginalHeight = 0;

    // TIFF.
    uint8_t TIFFCompression = 0;
    int32_t TIFFImageIndex = 0;
    int32_t TIFFSubIndex = -1;
    uint8_t TIFFPhotometric = 2;
    int32_t TIFFPlanarConfig = 1;
    int32_t TIFFXPos = 0, TIFFYPos = 0;
    int32_t TIFFGetTile = -1;
    cl::String TIFFDocumentName, TIFFImageDescription, TIFFPageName;
    int32_t TIFFPageNumber = -1, TIFFPageCount = -1;
    int32_t TIFFOrientation = 1;
    TIETIFFLZWDecompressor TIFFLZWDecompress = nullptr;
    TIETIFFLZWCompressor TIFFLZWCompress = nullptr;
    bool TIFFApplyOrientation = false;
    int32_t TIFFJPEGQuality = 80;
    uint8_t TIFFJPEGColorSpace = 2;
    int32_t TIFFZIPCompression = 1;
    int32_t TIFFImageCount = 0;
    int32_t TIFFFillOrder = 1;
    bool TIFFByteOrder = true;  // True "II", False "MM"

    // DCX and GIF.
    int32_t DCXImageIndex = 0;
    cl::String GIFVersion = "GIF89a";
    int32_t GIFImageIndex = 0;
    int32_t GIFXPos = 0, GIFYPos = 0;
    int32_t GIFDelayTime = 0;
    bool GIFTransparent = false;
    TRGB GIFTranspColor{};
    bool GIFInterlaced = false;
    int32_t GIFWinWidth = 0, GIFWinHeight = 0;
    TRGB GIFBackground{};
    int32_t GIFRatio = 0;
    int32_t GIFAction = 2;
    TIEGIFLZWDecompressor GIFLZWDecompress = nullptr;
    TIEGIFLZWCompressor GIFLZWCompress = nullptr;
    int32_t GIFImageCount = 0;

    // JPEG, JPEG 2000, PCX, BMP.
    uint8_t JPEGColorSpace = 2;
    int32_t JPEGQuality = 80;
    uint8_t JPEGDCTMethod = 0;
    uint8_t JPEGChromaSubsampling = 1;
    bool JPEGOptimalHuffman = false;
    int32_t JPEGSmooth = 0;
    bool JPEGProgressive = false;
    uint8_t JPEGScale = 1;
    int32_t JPEGScaleUsed = 1;
    int32_t JPEGWarningCount = 0, JPEGWarningCode = 0;
    bool JPEGApplyOrientation = false;
    bool JPEGGetExifThumbnail = false;
    uint8_t J2000ColorSpace = 1;
    double J2000Rate = 1.0;
    uint8_t J2000ScalableBy = 0;
    int32_t PCXVersion = 5;
    bool PCXCompression = true;
    uint8_t BMPVersion = 1;
    uint8_t BMPCompression = 0;
    bool BMPHandleTransparency = false;

    // ICO, CUR, PNG, TGA.
    int32_t ICOImageIndex = 0;
    TRGB ICOBackground{255, 255, 255};
    int32_t CURImageIndex = 0;
    int32_t CURXHotSpot = 0, CURYHotSpot = 0;  // CURYHotSpot is not reset
    TRGB CURBackground{255, 255, 255};
    bool PNGInterlaced = false;
    TRGB PNGBackground{};
    uint8_t PNGFilter = 0;
    int32_t PNGCompression = 5;
    int32_t TGAXPos = 0, TGAYPos = 0;
    bool TGACompressed = true;
    cl::String TGADescriptor, TGAAuthor;
    TDateTime TGADate = 0;
    cl::String TGAImageName;
    TRGB TGABackground{};
    double TGAAspectRatio = 1.0;
    double TGAGamma = 2.2;
    bool TGAExtensionFlag = false;
    bool TGAGrayScale = false;

    // Metadata.
    bool HasEXIFData = false;
    int32_t EXIFOrientation = 0;

    // EXIF fields (tag number in brackets); each at its absent value after ResetEXIF.
    cl::String EXIFImageDescription;                                 // 270
    cl::String EXIFMake;                                             // 271
    cl::String EXIFModel;                                            // 272
    double EXIFXResolution = 0;                                      // 282
    double EXIFYResolution = 0;                                      // 283
    int32_t EXIFResolutionUnit = 0;                                  // 296
    cl::String EXIFSoftware;                                         // 305
    cl::String EXIFArtist;                                           // 315
    cl::String EXIFDateTime;                                         // 306
    double EXIFWhitePoint[2] = {-1, -1};                             // 318
    double EXIFPrimaryChromaticities[6] = {-1, -1, -1, -1, -1, -1};  // 319
    double EXIFYCbCrCoefficients[3] = {-1, -1, -1};                  // 529
    int32_t EXIFYCbCrPositioning = -1;                               // 531
    double EXIFReferenceBlackWhite[6] = {-1, -1, -1, -1, -1, -1};    // 532
    cl::String EXIFRightsNotice;                                     // 33432
    double EXIFExposureTime = -1;                                    // 33434
    double EXIFFNumber = -1;                                         // 33437
    int32_t EXIFExposureProgram = -1;                                // 34850
    int32_t EXIFISOSpeedRatings[2] = {0, 0};                         // 34855
    cl::String EXIFExifVersion;                                      // 36864
    cl::String EXIFDateTimeOriginal;                                 // 36867
    cl::String EXIFDateTimeDigitized;                                // 36868
    double EXIFCompressedBitsPerPixel = 0;                           // 37122
    double EXIFShutterSpeedValue = -1;                               // 37377
    double EXIFApertureValue = -1;                                   // 37378
    double EXIFBrightnessValue = -1000;                              // 37379
    double EXIFExposureBiasValue = -1000;                            // 37380
    double EXIFMaxApertureValue = -1000;                             // 37381
    double EXIFSubjectDistance = -1;                                 // 37382
    int32_t EXIFMeteringMode = -1;                                   // 37383
    int32_t EXIFLightSource = -1;                                    // 37384
    int32_t EXIFFlash = -1;                                          // 37385
    double EXIFFocalLength = -1;                                     // 37386
    cl::String EXIFSubsecTime;                                       // 37520
    cl::String EXIFSubsecTimeOriginal;                               // 37521
    cl::String EXIFSubsecTimeDigitized;                              // 37522
    cl::String EXIFFlashPixVersion;                                  // 40960
    int32_t EXIFColorSpace = -1;                                     // 40961
    int32_t EXIFPixelXDimension = 0;                                 // 40962
    int32_t EXIFPixelYDimension = 0;                                 // 40963
    cl::String EXIFRelatedSoundFile;                                 // 40964
    double EXIFFocalPlaneXResolution = -1;                           // 41486
    double EXIFFocalPlaneYResolution = -1;                           // 41487
    int32_t EXIFFocalPlaneResolutionUnit = -1;                       // 41488
    double EXIFExposureIndex = -1;                                   // 41493
    int32_t EXIFSensingMethod = -1;                                  // 41495
    int32_t EXIFFileSource = -1;                                     // 41728
    int32_t EXIFSceneType = -1;                                      // 41729
    cl::WideString EXIFUserComment;                                  // 37510
    cl::String EXIFUserCommentCode;                                  // its 8-byte character-code prefix
    int32_t EXIFRating = -1;                                         // 18246
    cl::WideString EXIFXPTitle, EXIFXPComment, EXIFXPAuthor, EXIFXPKeywords, EXIFXPSubject;  // 40091..40095
    int32_t EXIFExposureMode = -1;                                                           // 41986
    int32_t EXIFWhiteBalance = -1;                                                           // 41987
    double EXIFDigitalZoomRatio = -1;                                                        // 41988
    int32_t EXIFFocalLengthIn35mmFilm = -1;                                                  // 41989
    int32_t EXIFSceneCaptureType = -1;                                                       // 41990
    int32_t EXIFGainControl = -1;                                                            // 41991
    int32_t EXIFContrast = -1;                                                               // 41992
    int32_t EXIFSaturation = -1;                                                             // 41993
    int32_t EXIFSharpness = -1;                                                              // 41994
    int32_t EXIFSubjectDistanceRange = -1;                                                   // 41996
    cl::String EXIFImageUniqueID;                                                            // 42016

    // GPS fields (all absent when empty or 0).
    cl::String GPSVersionID;  // the four bytes as dotted text
    cl::String GPSLatitudeRef;
    double GPSLatitude[3] = {0, 0, 0};  // degrees, minutes, seconds
    cl::String GPSLongitudeRef;
    double GPSLongitude[3] = {0, 0, 0};
    cl::String GPSAltitudeRef;
    double GPSAltitude = 0;
    double GPSTimeStamp[3] = {0, 0, 0};  // hours, minutes, seconds
    cl::String GPSSatellites, GPSStatus, GPSMeasureMode;
    double GPSDOP = 0;
    cl::String GPSSpeedRef;
    double GPSSpeed = 0;
    cl::String GPSTrackRef;
    double GPSTrack = 0;
    cl::String GPSImgDirectionRef;
    double GPSImgDirection = 0;
    cl::String GPSMapDatum;
    cl::String GPSDestLatitudeRef;
    double GPSDestLatitude[3] = {0, 0, 0};
    cl::String GPSDestLongitudeRef;
    double GPSDestLongitude[3] = {0, 0, 0};
    cl::String GPSDestBearingRef;
    double GPSDestBearing = 0;
    cl::String GPSDestDistanceRef;
    double GPSDestDistance = 0;
    cl::String GPSDateStamp;

    // Media, PostScript, PDF, camera raw.
    int32_t MediaFrameCount = 0;
    int32_t MediaFrameDelay = 0;
    int32_t ExtraImageCount = 0;  // not reset, not copied; set only by SetImageCount
    int32_t PSPaperWidth = 595, PSPaperHeight = 842;
    uint8_t PSCompression = 1;
    cl::String PSTitle = "No Title";
    int32_t PDFPaperWidth = 595, PDFPaperHeight = 842;
    uint8_t PDFCompression = 2;
    cl::String PDFTitle, PDFAuthor, PDFSubject, PDFKeywords, PDFCreator, PDFProducer;
    bool RAWDecoderFlag = false;
    double RAWGamma = 0.6;
    double RAWBrightness = 1.0;
    double RAWRedScale = 1.0, RAWBlueScale = 1.0;
    bool RAWAutoWB = true;
    bool RAWExtraFlags[3] = {false, false, false};
    cl::String RAWSpareString1;
    bool RAWGetExifThumbnail = false;
    bool RAWReaderFlag = false;
    cl::String RAWCamera;
    cl::String RAWSpareString2;

    // Raw bitmap, PSD, HD Photo.
    uint8_t BMPRAWChannelOrder = 0;
    uint8_t BMPRAWPlanes = 0;
    int32_t BMPRAWRowAlign = 8;
    int32_t BMPRAWHeaderSize = 0;
    uint8_t BMPRAWDataFormat = 0;
    bool PSDLoadLayers = false;
    bool PSDReplaceLayers = true;
    bool PSDSpareFlag = false;
    double HDPhotoQuality = 0.9;
    bool HDPhotoLossless = false;
    cl::String XMPInfo;
    bool NativePixelFormat = false;
    int32_t ColorMapCount = 0;
    std::array<std::array<int32_t, 2>, 16> ICOSizes{{{64, 64}}};  // width, height
    std::array<int32_t, 16> ICOBitCount{8};
};

class TIOParamsVals : public cl::TObject, public TIOParamsData {
    CL_DECLARE_CLASS(TIOParamsVals, cl::TObject)
public:
    explicit TIOParamsVals(TVovozIdIO* AOwner);
    ~TIOParamsVals() override;

    TVovozIdIO* GetOwner() const { return FOwner; }

    // Every parameter to its default; only the constructor runs it.
    void ResetParams();
    // The metadata cleared before a load (the write settings are kept).
    void ResetInfo();
    // Every EXIF and GPS field to its absent value, the thumbnail freed, the first EXIF
    // APP1 marker deleted.
    void ResetEXIF();
    void Assign(const TIOParamsVals* Source);

    // The palette of the last file read or written, owned.
    TRGB* GetColorMap() { return FColorMap.empty() ? nullptr : FColorMap.data(); }
    // A new palette of Count entries (zeroed) owned by the params; null for Count <= 0.
    TRGB* AllocColorMap(int32_t Count);
    void FreeColorMap();

    void SetDpiX(int32_t Value);
    void SetDpiY(int32_t Value);
    void SetEXIFXResolution(double Value);
    void SetEXIFYResolution(double Value);
    void SetImageIndex(int32_t Value);
    void SetImageCount(int32_t Value);
    void SetGetThumbnail(bool Value);
    void SetRAWGetExifThumbnail(bool Value) { RAWGetExifThumbnail = Value; }
    void SetTIFFOrientation(int32_t Value);
    void SetEXIFOrientation(int32_t Value);

    // Array accessors; an index out of range is ignored by the setter and gives the absent
    // value from the getter.
    void SetEXIFISOSpeedRatings(int32_t Index, int32_t Value);
    int32_t GetEXIFISOSpeedRatings(int32_t Index) const;
    void SetEXIFWhitePoint(int32_t Index, double Value);
    double GetEXIFWhitePoint(int32_t Index) const;
    void SetEXIFPrimaryChromaticities(int32_t Index, double Value);
    double GetEXIFPrimaryChromaticities(int32_t Index) const;
    void SetEXIFYCbCrCoefficients(int32_t Index, double Value);
    double GetEXIFYCbCrCoefficients(int32_t Index) const;
    void SetEXIFReferenceBlackWhite(int32_t Index, double Value);
    double GetEXIFReferenceBlackWhite(int32_t Index) const;

    // The present-tag list of the optional EXIF fields.
    void AddEXIFTag(int32_t Tag);
    void RemoveEXIFTag(int32_t Tag);
    bool HasEXIFTag(int32_t Tag) const;
    const std::vector<int32_t>& EXIFTags() const { return FEXIFTags; }

    // EXIF setters with presence: the value is stored and its tag added to the present-tag
    // list when it differs from the absent value, else removed.
    void SetEXIFExposureTime(double Value);
    void SetEXIFFNumber(double Value);
    void SetEXIFExposureProgram(int32_t Value);
    void SetEXIFCompressedBitsPerPixel(double Value);
    void SetEXIFShutterSpeedValue(double Value);
    void SetEXIFApertureValue(double Value);
    void SetEXIFBrightnessValue(double Value);
    void SetEXIFExposureBiasValue(double Value);
    void SetEXIFMaxApertureValue(double Value);
    void SetEXIFSubjectDistance(double Value);
    void SetEXIFMeteringMode(int32_t Value);
    void SetEXIFLightSource(int32_t Value);
    void SetEXIFFlash(int32_t Value);
    void SetEXIFFocalLength(double Value);
    void SetEXIFColorSpace(int32_t Value);
    void SetEXIFPixelXDimension(int32_t Value);
    void SetEXIFPixelYDimension(int32_t Value);
    void SetEXIFFocalPlaneXResolution(double Value);
    void SetEXIFFocalPlaneYResolution(double Value);
    void SetEXIFFocalPlaneResolutionUnit(int32_t Value);
    void SetEXIFExposureIndex(double Value);
    void SetEXIFSensingMethod(int32_t Value);
    void SetEXIFFileSource(int32_t Value);
    void SetEXIFSceneType(int32_t Value);

    // Owned carriers, made by the constructor.
    TIEMarkerList* JPEGMarkers() const { return FJPEGMarkers.get(); }
    TIEIPTCInfoList* IPTC() const { return FIPTC.get(); }
    TIETagsHandler* EXIFMakerNote() const { return FEXIFMakerNote.get(); }
    TIEDICOMTags* DICOMTags() const { return FDICOMTags.get(); }
    cl::TStringList* PXMComments() const { return FPXMComments.get(); }
    cl::TStringList* GIFComments() const { return FGIFComments.get(); }
    cl::TStringList* PNGTextKeys() const { return FPNGTextKeys.get(); }
    cl::TStringList* PNGTextValues() const { return FPNGTextValues.get(); }

    // Objects made on demand.
    TIEBitmap* GetEXIFThumbnail() const { return FEXIFThumbnail.get(); }
    TIEBitmap* GetOrCreateEXIFThumbnail();
    void FreeEXIFThumbnail();
    TIEImagingAnnot* GetImagingAnnot();
    TIEImagingAnnot* ImagingAnnot() const { return FImagingAnnot.get(); }
    TIEICC* GetInputICCProfile();
    TIEICC* GetFallbackICCProfile();
    TIEICC* GetDefaultICCProfile();  // loaded with the sRGB profile when made
    TIEICC* InputICCProfile() const { return FInputICCProfile.get(); }
    TIEICC* FallbackICCProfile() const { return FFallbackICCProfile.get(); }
    TIEICC* DefaultICCProfile() const { return FDefaultICCProfile.get(); }
    void FreeInputICCProfile();

private:
    void SetPresence(int32_t Tag, bool Present);
    void ResetMetadataCarriers();

    TVovozIdIO* FOwner = nullptr;
    std::vector<TRGB> FColorMap;
    std::vector<int32_t> FEXIFTags;
    std::unique_ptr<TIEMarkerList> FJPEGMarkers;
    std::unique_ptr<TIEIPTCInfoList> FIPTC;
    std::unique_ptr<TIETagsHandler> FEXIFMakerNote;
    std::unique_ptr<TIEDICOMTags> FDICOMTags;
    std::unique_ptr<cl::TStringList> FPXMComments, FGIFComments, FPNGTextKeys, FPNGTextValues;
    std::unique_ptr<TIEBitmap> FEXIFThumbnail;
    std::unique_ptr<TIEImagingAnnot> FImagingAnnot;
    std::unique_ptr<TIEICC> FInputICCProfile, FFallbackICCProfile, FDefaultICCProfile;
};

}  // namespace ie
