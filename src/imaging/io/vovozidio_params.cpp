// The per-image parameters: defaults, reset, copy, and the setters that keep linked
// fields together.
#include <chrono>
#include <cmath>
#include <ctime>

#include "imaging/core/hyieutils_annot.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_dicomtags.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/ieicc.h"
#include "imaging/io/vovozidio.h"

namespace ie {

TIETIFFLZWDecompressor IEDefTIFFLZWDecompress = nullptr;
TIETIFFLZWCompressor IEDefTIFFLZWCompress = nullptr;
TIEGIFLZWDecompressor IEDefGIFLZWDecompress = nullptr;
TIEGIFLZWCompressor IEDefGIFLZWCompress = nullptr;
int32_t IEDefaultDpiX = 300;
int32_t IEDefaultDpiY = 300;

TDateTime IEToday() {
    // Days from 30 December 1899 to the local date.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Days since 1970-01-01 of the local calendar date (civil-from-days inverse).
    int y = local.tm_year + 1900;
    unsigned m = static_cast<unsigned>(local.tm_mon + 1), d = static_cast<unsigned>(local.tm_mday);
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days1970 = int64_t{era} * 146097 + static_cast<int64_t>(doe) - 719468;
    return static_cast<double>(days1970 + 25569);
}

namespace {

// The absent values of the optional EXIF fields that have setters with presence.
constexpr double kAbsentMinus1 = -1, kAbsentZero = 0, kAbsentMinus1000 = -1000;

}  // namespace

TIOParamsVals::TIOParamsVals(TVovozIdIO* AOwner)
    : FOwner(AOwner), FJPEGMarkers(std::make_unique<TIEMarkerList>()), FIPTC(std::make_unique<TIEIPTCInfoList>()),
      FEXIFMakerNote(std::make_unique<TIETagsHandler>()), FDICOMTags(std::make_unique<TIEDICOMTags>()),
      FPXMComments(std::make_unique<cl::TStringList>()), FGIFComments(std::make_unique<cl::TStringList>()),
      FPNGTextKeys(std::make_unique<cl::TStringList>()), FPNGTextValues(std::make_unique<cl::TStringList>()) {
    ResetParams();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::ResetParams() {
    FreeColorMap();
    // The values that ResetParams leaves alone.
    const int32_t width = Width, height = Height, dpiX = DpiX, dpiY = DpiY;
    const int32_t curY = CURYHotSpot, extra = ExtraImageCount;
    static_cast<TIOParamsData&>(*this) = TIOParamsData{};
    Width = width;
    Height = height;
    DpiX = dpiX;
    DpiY = dpiY;
    CURYHotSpot = curY;
    ExtraImageCount = extra;
    if (FOwner) {
        if (cl::TBitmap* picture = FOwner->GetVclBitmap()) {
            Width = picture->GetWidth();
            Height = picture->GetHeight();
        }
        SetDpiX(IEDefaultDpiX);
        SetDpiY(IEDefaultDpiY);
    }
    SetImageIndex(0);
    SetTIFFOrientation(1);
    TIFFLZWDecompress = IEDefTIFFLZWDecompress;
    TIFFLZWCompress = IEDefTIFFLZWCompress;
    GIFLZWDecompress = IEDefGIFLZWDecompress;
    GIFLZWCompress = IEDefGIFLZWCompress;
    TGADate = IEToday();
    ResetMetadataCarriers();
    // ResetEXIF leaves EXIFOrientation 0 and the EXIF resolutions 0 while TIFFOrientation
    // is 1 and the DPI keep their default.
    ResetEXIF();
    FImagingAnnot.reset();
    FInputICCProfile.reset();
    FFallbackICCProfile.reset();
    FDefaultICCProfile.reset();
}

void TIOParamsVals::ResetMetadataCarriers() {
    FJPEGMarkers->Clear();
    FIPTC->Clear();
    FIPTC->Changed = false;
    FDICOMTags->Clear();
    FPXMComments->Clear();
    FGIFComments->Clear();
    FPNGTextKeys->Clear();
    FPNGTextValues->Clear();
}

void TIOParamsVals::ResetInfo() {
    FIPTC->Clear();
    FIPTC->Changed = false;
    FImagingAnnot.reset();
    FJPEGMarkers->Clear();
    ResetEXIF();
    FGIFComments->Clear();
    FDICOMTags->Clear();
    FPNGTextKeys->Clear();
    FPNGTextValues->Clear();
    TIFFDocumentName.clear();
    TIFFImageDescription.clear();
    TIFFPageName.clear();
    TGADescriptor.clear();
    TGAAuthor.clear();
    TGAImageName.clear();
    FPXMComments->Clear();
    XMPInfo.clear();
    FInputICCProfile.reset();
}

void TIOParamsVals::ResetEXIF() {
    FEXIFTags.clear();
    HasEXIFData = false;
    FEXIFThumbnail.reset();
    // Every EXIF and GPS field to its absent value: copy them from a fresh record.
    const TIOParamsData fresh;
#define IE_RESET(f) f = fresh.f
    IE_RESET(EXIFOrientation);
    IE_RESET(EXIFImageDescription);
    IE_RESET(EXIFMake);
    IE_RESET(EXIFModel);
    IE_RESET(EXIFXResolution);
    IE_RESET(EXIFYResolution);
    IE_RESET(EXIFResolutionUnit);
    IE_RESET(EXIFSoftware);
    IE_RESET(EXIFArtist);
    IE_RESET(EXIFDateTime);
    std::copy(std::begin(fresh.EXIFWhitePoint), std::end(fresh.EXIFWhitePoint), EXIFWhitePoint);
    std::copy(std::begin(fresh.EXIFPrimaryChromaticities), std::end(fresh.EXIFPrimaryChromaticities),
              EXIFPrimaryChromaticities);
    std::copy(std::begin(fresh.EXIFYCbCrCoefficients), std::end(fresh.EXIFYCbCrCoefficients), EXIFYCbCrCoefficients);
    IE_RESET(EXIFYCbCrPositioning);
    std::copy(std::begin(fresh.EXIFReferenceBlackWhite), std::end(fresh.EXIFReferenceBlackWhite),
              EXIFReferenceBlackWhite);
    IE_RESET(EXIFRightsNotice);
    IE_RESET(EXIFExposureTime);
    IE_RESET(EXIFFNumber);
    IE_RESET(EXIFExposureProgram);
    EXIFISOSpeedRatings[0] = EXIFISOSpeedRatings[1] = 0;
    IE_RESET(EXIFExifVersion);
    IE_RESET(EXIFDateTimeOriginal);
    IE_RESET(EXIFDateTimeDigitized);
    IE_RESET(EXIFCompressedBitsPerPixel);
    IE_RESET(EXIFShutterSpeedValue);
    IE_RESET(EXIFApertureValue);
    IE_RESET(EXIFBrightnessValue);
    IE_RESET(EXIFExposureBiasValue);
    IE_RESET(EXIFMaxApertureValue);
    IE_RESET(EXIFSubjectDistance);
    IE_RESET(EXIFMeteringMode);
    IE_RESET(EXIFLightSource);
    IE_RESET(EXIFFlash);
    IE_RESET(EXIFFocalLength);
    IE_RESET(EXIFSubsecTime);
    IE_RESET(EXIFSubsecTimeOriginal);
    IE_RESET(EXIFSubsecTimeDigitized);
    IE_RESET(EXIFFlashPixVersion);
    IE_RESET(EXIFColorSpace);
    IE_RESET(EXIFPixelXDimension);
    IE_RESET(EXIFPixelYDimension);
    IE_RESET(EXIFRelatedSoundFile);
    IE_RESET(EXIFFocalPlaneXResolution);
    IE_RESET(EXIFFocalPlaneYResolution);
    IE_RESET(EXIFFocalPlaneResolutionUnit);
    IE_RESET(EXIFExposureIndex);
    IE_RESET(EXIFSensingMethod);
    IE_RESET(EXIFFileSource);
    IE_RESET(EXIFSceneType);
    IE_RESET(EXIFUserComment);
    IE_RESET(EXIFUserCommentCode);
    IE_RESET(EXIFRating);
    IE_RESET(EXIFXPTitle);
    IE_RESET(EXIFXPComment);
    IE_RESET(EXIFXPAuthor);
    IE_RESET(EXIFXPKeywords);
    IE_RESET(EXIFXPSubject);
    IE_RESET(EXIFExposureMode);
    IE_RESET(EXIFWhiteBalance);
    IE_RESET(EXIFDigitalZoomRatio);
    IE_RESET(EXIFFocalLengthIn35mmFilm);
    IE_RESET(EXIFSceneCaptureType);
    IE_RESET(EXIFGainControl);
    IE_RESET(EXIFContrast);
    IE_RESET(EXIFSaturation);
    IE_RESET(EXIFSharpness);
    IE_RESET(EXIFSubjectDistanceRange);
    IE_RESET(EXIFImageUniqueID);
    IE_RESET(GPSVersionID);
    IE_RESET(GPSLatitudeRef);
    IE_RESET(GPSLongitudeRef);
    IE_RESET(GPSAltitudeRef);
    IE_RESET(GPSAltitude);
    IE_RESET(GPSSatellites);
    IE_RESET(GPSStatus);
    IE_RESET(GPSMeasureMode);
    IE_RESET(GPSDOP);
    IE_RESET(GPSSpeedRef);
    IE_RESET(GPSSpeed);
    IE_RESET(GPSTrackRef);
    IE_RESET(GPSTrack);
    IE_RESET(GPSImgDirectionRef);
    IE_RESET(GPSImgDirection);
    IE_RESET(GPSMapDatum);
    IE_RESET(GPSDestLatitudeRef);
    IE_RESET(GPSDestLongitudeRef);
    IE_RESET(GPSDestBearingRef);
    IE_RESET(GPSDestBearing);
    IE_RESET(GPSDestDistanceRef);
    IE_RESET(GPSDestDistance);
    IE_RESET(GPSDateStamp);
#undef IE_RESET
    for (int i = 0; i < 3; ++i)
        GPSLatitude[i] = GPSLongitude[i] = GPSTimeStamp[i] = GPSDestLatitude[i] = GPSDestLongitude[i] = 0;
    FEXIFMakerNote->Clear();
    // Only the first EXIF APP1 marker goes.
    for (int32_t i = 0; i < FJPEGMarkers->GetCount(); ++i) {
        if (FJPEGMarkers->GetMarkerType(i) == 0xE1 &&
            IEIsEXIFBlock(FJPEGMarkers->GetMarkerData(i), FJPEGMarkers->GetMarkerLength(i))) {
            FJPEGMarkers->DeleteMarker(i);
            break;
        }
    }
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
    if (!Source || Source == this) return;
    const int32_t extra = ExtraImageCount;
    // The DPI go through the setters.
    static_cast<TIOParamsData&>(*this) = static_cast<const TIOParamsData&>(*Source);
    ExtraImageCount = extra;
    SetDpiX(Source->DpiX);
    SetDpiY(Source->DpiY);
    EXIFXResolution = Source->EXIFXResolution;
    EXIFYResolution = Source->EXIFYResolution;
    // The colour map: a copy of the source's count of entries.
    FColorMap = Source->FColorMap;
    ColorMapCount = Source->ColorMapCount;
    if (static_cast<int32_t>(FColorMap.size()) < ColorMapCount) ColorMapCount = static_cast<int32_t>(FColorMap.size());
    // The image indexes go through SetImageIndex, once with each of the TIFF, GIF, DCX, ICO
    // and CUR indexes: all end at the CUR index.
    for (int32_t index : {Source->TIFFImageIndex, Source->GIFImageIndex, Source->DCXImageIndex, Source->ICOImageIndex,
                          Source->CURImageIndex})
        SetImageIndex(index);
    SetTIFFOrientation(Source->TIFFOrientation);
    EXIFOrientation = Source->EXIFOrientation;
    FGIFComments->Assign(Source->FGIFComments.get());
    FPNGTextKeys->Assign(Source->FPNGTextKeys.get());
    FPNGTextValues->Assign(Source->FPNGTextValues.get());
    FPXMComments->Assign(Source->FPXMComments.get());
    FJPEGMarkers->Assign(Source->FJPEGMarkers.get());
    FIPTC->Assign(Source->FIPTC.get());
    FIPTC->Changed = Source->FIPTC->Changed;
    FDICOMTags->Assign(Source->FDICOMTags.get());
    FEXIFMakerNote->Assign(Source->FEXIFMakerNote.get());
    if (Source->FImagingAnnot)
        GetImagingAnnot()->Assign(Source->FImagingAnnot.get());
    else
        FImagingAnnot.reset();
    auto copyProfile = [](std::unique_ptr<TIEICC>& mine, const std::unique_ptr<TIEICC>& theirs) {
        if (theirs) {
            if (!mine) mine = std::make_unique<TIEICC>();
            mine->Assign(theirs.get());
        } else {
            mine.reset();
        }
    };
    copyProfile(FInputICCProfile, Source->FInputICCProfile);
    copyProfile(FDefaultICCProfile, Source->FDefaultICCProfile);
    copyProfile(FFallbackICCProfile, Source->FFallbackICCProfile);
    FEXIFTags = Source->FEXIFTags;
    // A thumbnail the source does not have would describe another image: it goes.
    if (Source->FEXIFThumbnail)
        GetOrCreateEXIFThumbnail()->Assign(Source->FEXIFThumbnail.get());
    else
        FEXIFThumbnail.reset();
}

TRGB* TIOParamsVals::AllocColorMap(int32_t Count) {
    FreeColorMap();
    if (Count <= 0 || Count > 65536) return nullptr;
    FColorMap.assign(static_cast<size_t>(Count), TRGB{});
    ColorMapCount = Count;
    return FColorMap.data();
}

void TIOParamsVals::FreeColorMap() {
    FColorMap.clear();
    FColorMap.shrink_to_fit();
    ColorMapCount = 0;
}

void TIOParamsVals::SetDpiX(int32_t Value) {
    DpiX = Value;
    EXIFXResolution = Value;
    if (FOwner) {
        if (TIEIOViewLink* view = FOwner->GetAttachedVovozId(); view && view->IsFullView()) {
            view->HoldUpdate();
            view->SetDpiX(Value);
            view->ReleaseUpdateHold();
        }
    }
}

void TIOParamsVals::SetDpiY(int32_t Value) {
    DpiY = Value;
    EXIFYResolution = Value;
    if (FOwner) {
        if (TIEIOViewLink* view = FOwner->GetAttachedVovozId(); view && view->IsFullView()) {
            view->HoldUpdate();
            view->SetDpiY(Value);
            view->ReleaseUpdateHold();
        }
    }
}

namespace {
// Round with halves to even, clamped to the 32-bit range.
int32_t RoundToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(std::nearbyint(v));
}
}  // namespace

void TIOParamsVals::SetEXIFXResolution(double Value) {
    SetDpiX(RoundToInt(Value));
    EXIFXResolution = Value;
}

void TIOParamsVals::SetEXIFYResolution(double Value) {
    SetDpiY(RoundToInt(Value));
    EXIFYResolution = Value;
}

void TIOParamsVals::SetImageIndex(int32_t Value) {
    ImageIndex = TIFFImageIndex = DCXImageIndex = GIFImageIndex = ICOImageIndex = CURImageIndex = Value;
}

void TIOParamsVals::SetImageCount(int32_t Value) {
    ImageCount = TIFFImageCount = GIFImageCount = MediaFrameCount = ExtraImageCount = Value;
}

void TIOParamsVals::SetGetThumbnail(bool Value) {
    GetThumbnail = Value;
    JPEGGetExifThumbnail = Value;
}

void TIOParamsVals::SetTIFFOrientation(int32_t Value) { TIFFOrientation = EXIFOrientation = Value; }

void TIOParamsVals::SetEXIFOrientation(int32_t Value) { TIFFOrientation = EXIFOrientation = Value; }

#define IE_ARRAY_ACCESSORS(Name, Type, Size, Absent)                    \
    void TIOParamsVals::Set##Name(int32_t Index, Type Value) {          \
        if (Index >= 0 && Index < (Size)) Name[Index] = Value;          \
    }                                                                   \
    Type TIOParamsVals::Get##Name(int32_t Index) const {                \
        return (Index >= 0 && Index < (Size)) ? Name[Index] : (Absent); \
    }
IE_ARRAY_ACCESSORS(EXIFISOSpeedRatings, int32_t, 2, 0)
IE_ARRAY_ACCESSORS(EXIFWhitePoint, double, 2, -1.0)
IE_ARRAY_ACCESSORS(EXIFPrimaryChromaticities, double, 6, -1.0)
IE_ARRAY_ACCESSORS(EXIFYCbCrCoefficients, double, 3, -1.0)
IE_ARRAY_ACCESSORS(EXIFReferenceBlackWhite, double, 6, -1.0)
#undef IE_ARRAY_ACCESSORS

void TIOParamsVals::AddEXIFTag(int32_t Tag) {
    if (!HasEXIFTag(Tag)) FEXIFTags.push_back(Tag);
}

void TIOParamsVals::RemoveEXIFTag(int32_t Tag) {
    for (auto it = FEXIFTags.begin(); it != FEXIFTags.end(); ++it)
        if (*it == Tag) {
            FEXIFTags.erase(it);
            return;
        }
}

bool TIOParamsVals::HasEXIFTag(int32_t Tag) const {
    for (int32_t t : FEXIFTags)
        if (t == Tag) return true;
    return false;
}

void TIOParamsVals::SetPresence(int32_t Tag, bool Present) {
    if (Present)
        AddEXIFTag(Tag);
    else
        RemoveEXIFTag(Tag);
}

#define IE_EXIF_SETTER(Name, Type, Tag, Absent) \
    void TIOParamsVals::Set##Name(Type Value) { \
        Name = Value;                           \
        SetPresence(Tag, Value != (Absent));    \
    }
IE_EXIF_SETTER(EXIFExposureTime, double, 33434, kAbsentMinus1)
IE_EXIF_SETTER(EXIFFNumber, double, 33437, kAbsentMinus1)
IE_EXIF_SETTER(EXIFExposureProgram, int32_t, 34850, -1)
IE_EXIF_SETTER(EXIFCompressedBitsPerPixel, double, 37122, kAbsentZero)
IE_EXIF_SETTER(EXIFShutterSpeedValue, double, 37377, kAbsentMinus1)
IE_EXIF_SETTER(EXIFApertureValue, double, 37378, kAbsentMinus1)
IE_EXIF_SETTER(EXIFBrightnessValue, double, 37379, kAbsentMinus1000)
IE_EXIF_SETTER(EXIFExposureBiasValue, double, 37380, kAbsentMinus1000)
IE_EXIF_SETTER(EXIFMaxApertureValue, double, 37381, kAbsentMinus1000)
IE_EXIF_SETTER(EXIFSubjectDistance, double, 37382, kAbsentMinus1)
IE_EXIF_SETTER(EXIFMeteringMode, int32_t, 37383, -1)
IE_EXIF_SETTER(EXIFLightSource, int32_t, 37384, -1)
IE_EXIF_SETTER(EXIFFlash, int32_t, 37385, -1)
IE_EXIF_SETTER(EXIFFocalLength, double, 37386, kAbsentMinus1)
IE_EXIF_SETTER(EXIFColorSpace, int32_t, 40961, -1)
IE_EXIF_SETTER(EXIFPixelXDimension, int32_t, 40962, 0)
IE_EXIF_SETTER(EXIFPixelYDimension, int32_t, 40963, 0)
IE_EXIF_SETTER(EXIFFocalPlaneXResolution, double, 41486, kAbsentMinus1)
IE_EXIF_SETTER(EXIFFocalPlaneYResolution, double, 41487, kAbsentMinus1)
IE_EXIF_SETTER(EXIFFocalPlaneResolutionUnit, int32_t, 41488, -1)
IE_EXIF_SETTER(EXIFExposureIndex, double, 41493, kAbsentMinus1)
IE_EXIF_SETTER(EXIFSensingMethod, int32_t, 41495, -1)
IE_EXIF_SETTER(EXIFFileSource, int32_t, 41728, -1)
IE_EXIF_SETTER(EXIFSceneType, int32_t, 41729, -1)
#undef IE_EXIF_SETTER

TIEBitmap* TIOParamsVals::GetOrCreateEXIFThumbnail() {
    if (!FEXIFThumbnail) FEXIFThumbnail = std::make_unique<TIEBitmap>();
    return FEXIFThumbnail.get();
}

void TIOParamsVals::FreeEXIFThumbnail() { FEXIFThumbnail.reset(); }

TIEImagingAnnot* TIOParamsVals::GetImagingAnnot() {
    if (!FImagingAnnot) FImagingAnnot = std::make_unique<TIEImagingAnnot>(this);
    return FImagingAnnot.get();
}

TIEICC* TIOParamsVals::GetInputICCProfile() {
    if (!FInputICCProfile) FInputICCProfile = std::make_unique<TIEICC>();
    return FInputICCProfile.get();
}

TIEICC* TIOParamsVals::GetFallbackICCProfile() {
    if (!FFallbackICCProfile) FFallbackICCProfile = std::make_unique<TIEICC>();
    return FFallbackICCProfile.get();
}

TIEICC* TIOParamsVals::GetDefaultICCProfile() {
    if (!FDefaultICCProfile) {
        FDefaultICCProfile = std::make_unique<TIEICC>();
        FDefaultICCProfile->LoadSRGBProfile();
    }
    return FDefaultICCProfile.get();
}

void TIOParamsVals::FreeInputICCProfile() { FInputICCProfile.reset(); }

}  // namespace ie
