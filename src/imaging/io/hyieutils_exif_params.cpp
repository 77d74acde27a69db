// The EXIF and GPS fields of the per-image parameters read from and written to EXIF
// blocks (a TIFF structure: the main directory, the EXIF and GPS directories, the maker
// note and the thumbnail directory), and copied between two parameter records.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "classlib/Jpeg.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_numbers.h"
#include "imaging/core/hyieutils_tiff.h"
#include "imaging/core/hyieutils_xmp.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_params.h"

namespace ie {

namespace {

constexpr uint16_t kExifIFD = 34665;
constexpr uint16_t kGPSIFD = 34853;
constexpr uint16_t kOrientation = 274;
constexpr uint16_t kJPEGInterchangeFormat = 513;
constexpr uint16_t kUserComment = 37510;

enum Dir : uint8_t { dMain, dExif, dGPS };

// A number of a file (FLOAT and DOUBLE fields may hold any value) as a whole number:
// truncated toward zero, limited to the 64-bit range, not-a-number as 0. The entries
// written back take its low bits (a negative number in a LONG entry is its two's complement).
int64_t WholeNumber(double X) {
    if (std::isnan(X)) return 0;
    if (X >= 9223372036854775807.0) return INT64_MAX;
    if (X <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(X);
}
// A number read into a 32-bit field: clamped to the field's range.
int32_t Int32Of(double X) { return IETruncToInt32(X); }

// One value as read from an entry or to be written: numbers, a text, or raw bytes.
struct Value {
    std::vector<double> Nums;
    std::string Text;
    std::vector<uint8_t> Raw;
    double Num(size_t I, double Default = 0) const { return I < Nums.size() ? Nums[I] : Default; }
};

using Params = TIOParamsVals;

// A field of the parameters: where its tag lives, the type it is written with, and how it
// is read, written (False when absent) and copied.
struct Row {
    uint16_t Tag;
    Dir Where;
    uint16_t Type;
    std::function<void(Params&, const Value&)> Read;
    std::function<bool(const Params&, Value&)> Write;
    std::function<void(const Params&, Params&)> Copy;
};

cl::WideString Utf16(const uint8_t* P, size_t Bytes, bool Big) {
    cl::WideString w;
    for (size_t i = 0; i + 1 < Bytes; i += 2) {
        const char16_t c = static_cast<char16_t>(Big ? IEGetU16BE(P + i) : IEGetU16LE(P + i));
        if (c == 0) break;
        w.push_back(c);
    }
    return w;
}

std::vector<uint8_t> Utf16LE(const cl::WideString& W, bool Terminated) {
    std::vector<uint8_t> b;
    for (char16_t c : W) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (Terminated) b.insert(b.end(), {0, 0});
    return b;
}

// The text of an ASCII or UNDEFINED value, up to its first zero.
std::string TextOf(const Value& V) { return V.Text; }

#define IE_TEXT(TAG, DIR, FIELD)                                                        \
    Row {                                                                               \
        TAG, DIR, IETIFF_ASCII, [](Params& P, const Value& V) { P.FIELD = TextOf(V); }, \
            [](const Params& P, Value& V) {                                             \
                V.Text = P.FIELD;                                                       \
                return !P.FIELD.empty();                                                \
            },                                                                          \
            [](const Params& S, Params& D) { D.FIELD = S.FIELD; }                       \
    }
// Four characters stored as UNDEFINED bytes (the version tags).
#define IE_VERSION(TAG, FIELD)                                                                \
    Row {                                                                                     \
        TAG, dExif, IETIFF_UNDEFINED, [](Params& P, const Value& V) { P.FIELD = TextOf(V); }, \
            [](const Params& P, Value& V) {                                                   \
                V.Raw.assign(P.FIELD.begin(), P.FIELD.end());                                 \
                return !P.FIELD.empty();                                                      \
            },                                                                                \
            [](const Params& S, Params& D) { D.FIELD = S.FIELD; }                             \
    }
#define IE_INT(TAG, DIR, TYPE, FIELD, ABSENT)                                                   \
    Row {                                                                                       \
        TAG, DIR, TYPE, [](Params& P, const Value& V) { P.FIELD = Int32Of(V.Num(0, ABSENT)); }, \
            [](const Params& P, Value& V) {                                                     \
                V.Nums = {static_cast<double>(P.FIELD)};                                        \
                return P.FIELD != (ABSENT);                                                     \
            },                                                                                  \
            [](const Params& S, Params& D) { D.FIELD = S.FIELD; }                               \
    }
#define IE_INT_SET(TAG, DIR, TYPE, FIELD, ABSENT)                                                   \
    Row {                                                                                           \
        TAG, DIR, TYPE, [](Params& P, const Value& V) { P.Set##FIELD(Int32Of(V.Num(0, ABSENT))); }, \
            [](const Params& P, Value& V) {                                                         \
                V.Nums = {static_cast<double>(P.FIELD)};                                            \
                return P.FIELD != (ABSENT);                                                         \
            },                                                                                      \
            [](const Params& S, Params& D) { D.Set##FIELD(S.FIELD); }                               \
    }
#define IE_DBL(TAG, DIR, TYPE, FIELD, ABSENT)                                          \
    Row {                                                                              \
        TAG, DIR, TYPE, [](Params& P, const Value& V) { P.FIELD = V.Num(0, ABSENT); }, \
            [](const Params& P, Value& V) {                                            \
                V.Nums = {P.FIELD};                                                    \
                return P.FIELD != (ABSENT);                                            \
            },                                                                         \
            [](const Params& S, Params& D) { D.FIELD = S.FIELD; }                      \
    }
#define IE_DBL_SET(TAG, DIR, TYPE, FIELD, ABSENT)                                          \
    Row {                                                                                  \
        TAG, DIR, TYPE, [](Params& P, const Value& V) { P.Set##FIELD(V.Num(0, ABSENT)); }, \
            [](const Params& P, Value& V) {                                                \
                V.Nums = {P.FIELD};                                                        \
                return P.FIELD != (ABSENT);                                                \
            },                                                                             \
            [](const Params& S, Params& D) { D.Set##FIELD(S.FIELD); }                      \
    }
// An array of N numbers, present when one of them is not the absent value.
#define IE_ARRAY(TAG, DIR, TYPE, FIELD, N, ABSENT)                                                \
    Row {                                                                                         \
        TAG, DIR, TYPE,                                                                           \
            [](Params& P, const Value& V) {                                                       \
                for (size_t i = 0; i < (N); ++i) P.FIELD[i] = V.Num(i, ABSENT);                   \
            },                                                                                    \
            [](const Params& P, Value& V) {                                                       \
                V.Nums.assign(P.FIELD, P.FIELD + (N));                                            \
                return std::any_of(P.FIELD, P.FIELD + (N), [](auto x) { return x != (ABSENT); }); \
            },                                                                                    \
            [](const Params& S, Params& D) { std::copy(S.FIELD, S.FIELD + (N), D.FIELD); }        \
    }
// The XP texts of Windows: UTF-16 little-endian in BYTE values.
#define IE_XP(TAG, FIELD)                                                                          \
    Row {                                                                                          \
        TAG, dMain, IETIFF_BYTE,                                                                   \
            [](Params& P, const Value& V) { P.FIELD = Utf16(V.Raw.data(), V.Raw.size(), false); }, \
            [](const Params& P, Value& V) {                                                        \
                V.Raw = Utf16LE(P.FIELD, true);                                                    \
                return !P.FIELD.empty();                                                           \
            },                                                                                     \
            [](const Params& S, Params& D) { D.FIELD = S.FIELD; }                                  \
    }

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        IE_TEXT(270, dMain, EXIFImageDescription),
        IE_TEXT(271, dMain, EXIFMake),
        IE_TEXT(272, dMain, EXIFModel),
        Row{kOrientation, dMain, IETIFF_SHORT,
            [](Params& P, const Value& V) { P.SetEXIFOrientation(Int32Of(V.Num(0, 0))); },
            [](const Params& P, Value& V) {
                V.Nums = {static_cast<double>(P.EXIFOrientation)};
                return P.EXIFOrientation != 0;
            },
            [](const Params& S, Params& D) { D.SetEXIFOrientation(S.EXIFOrientation); }},
        Row{282, dMain, IETIFF_RATIONAL, [](Params& P, const Value& V) { P.SetEXIFXResolution(V.Num(0)); },
            [](const Params& P, Value& V) {
                V.Nums = {P.EXIFXResolution};
                return P.EXIFXResolution != 0;
            },
            [](const Params& S, Params& D) { D.SetEXIFXResolution(S.EXIFXResolution); }},
        Row{283, dMain, IETIFF_RATIONAL, [](Params& P, const Value& V) { P.SetEXIFYResolution(V.Num(0)); },
            [](const Params& P, Value& V) {
                V.Nums = {P.EXIFYResolution};
                return P.EXIFYResolution != 0;
            },
            [](const Params& S, Params& D) { D.SetEXIFYResolution(S.EXIFYResolution); }},
        IE_INT(296, dMain, IETIFF_SHORT, EXIFResolutionUnit, 0),
        IE_TEXT(305, dMain, EXIFSoftware),
        IE_TEXT(306, dMain, EXIFDateTime),
        IE_TEXT(315, dMain, EXIFArtist),
        IE_ARRAY(318, dMain, IETIFF_RATIONAL, EXIFWhitePoint, 2, -1.0),
        IE_ARRAY(319, dMain, IETIFF_RATIONAL, EXIFPrimaryChromaticities, 6, -1.0),
        IE_ARRAY(529, dMain, IETIFF_RATIONAL, EXIFYCbCrCoefficients, 3, -1.0),
        IE_INT(531, dMain, IETIFF_SHORT, EXIFYCbCrPositioning, -1),
        IE_ARRAY(532, dMain, IETIFF_RATIONAL, EXIFReferenceBlackWhite, 6, -1.0),
        IE_INT(18246, dMain, IETIFF_SHORT, EXIFRating, -1),
        IE_TEXT(33432, dMain, EXIFRightsNotice),
        IE_XP(40091, EXIFXPTitle),
        IE_XP(40092, EXIFXPComment),
        IE_XP(40093, EXIFXPAuthor),
        IE_XP(40094, EXIFXPKeywords),
        IE_XP(40095, EXIFXPSubject),

        IE_DBL_SET(33434, dExif, IETIFF_RATIONAL, EXIFExposureTime, -1.0),
        IE_DBL_SET(33437, dExif, IETIFF_RATIONAL, EXIFFNumber, -1.0),
        IE_INT_SET(34850, dExif, IETIFF_SHORT, EXIFExposureProgram, -1),
        Row{34855, dExif, IETIFF_SHORT,
            [](Params& P, const Value& V) {
                for (int32_t i = 0; i < 2; ++i) P.SetEXIFISOSpeedRatings(i, Int32Of(V.Num(i, 0)));
            },
            [](const Params& P, Value& V) {
                V.Nums = {static_cast<double>(P.EXIFISOSpeedRatings[0])};
                if (P.EXIFISOSpeedRatings[1]) V.Nums.push_back(P.EXIFISOSpeedRatings[1]);
                return P.EXIFISOSpeedRatings[0] != 0 || P.EXIFISOSpeedRatings[1] != 0;
            },
            [](const Params& S, Params& D) {
                for (int32_t i = 0; i < 2; ++i) D.SetEXIFISOSpeedRatings(i, S.EXIFISOSpeedRatings[i]);
            }},
        IE_VERSION(36864, EXIFExifVersion),
        IE_TEXT(36867, dExif, EXIFDateTimeOriginal),
        IE_TEXT(36868, dExif, EXIFDateTimeDigitized),
        IE_DBL_SET(37122, dExif, IETIFF_RATIONAL, EXIFCompressedBitsPerPixel, 0.0),
        IE_DBL_SET(37377, dExif, IETIFF_SRATIONAL, EXIFShutterSpeedValue, -1.0),
        IE_DBL_SET(37378, dExif, IETIFF_RATIONAL, EXIFApertureValue, -1.0),
        IE_DBL_SET(37379, dExif, IETIFF_SRATIONAL, EXIFBrightnessValue, -1000.0),
        IE_DBL_SET(37380, dExif, IETIFF_SRATIONAL, EXIFExposureBiasValue, -1000.0),
        IE_DBL_SET(37381, dExif, IETIFF_RATIONAL, EXIFMaxApertureValue, -1000.0),
        IE_DBL_SET(37382, dExif, IETIFF_RATIONAL, EXIFSubjectDistance, -1.0),
        IE_INT_SET(37383, dExif, IETIFF_SHORT, EXIFMeteringMode, -1),
        IE_INT_SET(37384, dExif, IETIFF_SHORT, EXIFLightSource, -1),
        IE_INT_SET(37385, dExif, IETIFF_SHORT, EXIFFlash, -1),
        IE_DBL_SET(37386, dExif, IETIFF_RATIONAL, EXIFFocalLength, -1.0),
        Row{kUserComment, dExif, IETIFF_UNDEFINED,
            [](Params& P, const Value& V) {
                P.EXIFUserCommentCode.clear();
                P.EXIFUserComment.clear();
                if (V.Raw.size() < 8) return;
                P.EXIFUserCommentCode.assign(reinterpret_cast<const char*>(V.Raw.data()), 8);
                const uint8_t* t = V.Raw.data() + 8;
                const size_t n = V.Raw.size() - 8;
                if (std::memcmp(V.Raw.data(), "UNICODE", 8) == 0) {
                    // The byte order of the text is the block's (given in Nums[0]).
                    P.EXIFUserComment = Utf16(t, n, V.Num(0) != 0);
                } else {
                    for (size_t i = 0; i < n && t[i]; ++i) P.EXIFUserComment.push_back(t[i]);
                }
                while (!P.EXIFUserComment.empty() && P.EXIFUserComment.back() == u' ') P.EXIFUserComment.pop_back();
            },
            [](const Params& P, Value& V) {
                if (P.EXIFUserComment.empty()) return false;
                const bool ascii = std::all_of(P.EXIFUserComment.begin(), P.EXIFUserComment.end(),
                                               [](char16_t c) { return c < 0x80; });
                if (ascii && std::memcmp(P.EXIFUserCommentCode.c_str(), "UNICODE", 7) != 0) {
                    V.Raw.assign({'A', 'S', 'C', 'I', 'I', 0, 0, 0});
                    for (char16_t c : P.EXIFUserComment) V.Raw.push_back(static_cast<uint8_t>(c));
                } else {
                    V.Raw.assign({'U', 'N', 'I', 'C', 'O', 'D', 'E', 0});
                    const auto text = Utf16LE(P.EXIFUserComment, false);
                    V.Raw.insert(V.Raw.end(), text.begin(), text.end());
                }
                return true;
            },
            [](const Params& S, Params& D) {
                D.EXIFUserComment = S.EXIFUserComment;
                D.EXIFUserCommentCode = S.EXIFUserCommentCode;
            }},
        IE_TEXT(37520, dExif, EXIFSubsecTime),
        IE_TEXT(37521, dExif, EXIFSubsecTimeOriginal),
        IE_TEXT(37522, dExif, EXIFSubsecTimeDigitized),
        IE_VERSION(40960, EXIFFlashPixVersion),
        IE_INT_SET(40961, dExif, IETIFF_SHORT, EXIFColorSpace, -1),
        IE_INT_SET(40962, dExif, IETIFF_LONG, EXIFPixelXDimension, 0),
        IE_INT_SET(40963, dExif, IETIFF_LONG, EXIFPixelYDimension, 0),
        IE_TEXT(40964, dExif, EXIFRelatedSoundFile),
        IE_DBL_SET(41486, dExif, IETIFF_RATIONAL, EXIFFocalPlaneXResolution, -1.0),
        IE_DBL_SET(41487, dExif, IETIFF_RATIONAL, EXIFFocalPlaneYResolution, -1.0),
        IE_INT_SET(41488, dExif, IETIFF_SHORT, EXIFFocalPlaneResolutionUnit, -1),
        IE_DBL_SET(41493, dExif, IETIFF_RATIONAL, EXIFExposureIndex, -1.0),
        IE_INT_SET(41495, dExif, IETIFF_SHORT, EXIFSensingMethod, -1),
        IE_INT_SET(41728, dExif, IETIFF_UNDEFINED, EXIFFileSource, -1),
        IE_INT_SET(41729, dExif, IETIFF_UNDEFINED, EXIFSceneType, -1),
        IE_INT(41986, dExif, IETIFF_SHORT, EXIFExposureMode, -1),
        IE_INT(41987, dExif, IETIFF_SHORT, EXIFWhiteBalance, -1),
        IE_DBL(41988, dExif, IETIFF_RATIONAL, EXIFDigitalZoomRatio, -1.0),
        IE_INT(41989, dExif, IETIFF_SHORT, EXIFFocalLengthIn35mmFilm, -1),
        IE_INT(41990, dExif, IETIFF_SHORT, EXIFSceneCaptureType, -1),
        IE_INT(41991, dExif, IETIFF_SHORT, EXIFGainControl, -1),
        IE_INT(41992, dExif, IETIFF_SHORT, EXIFContrast, -1),
        IE_INT(41993, dExif, IETIFF_SHORT, EXIFSaturation, -1),
        IE_INT(41994, dExif, IETIFF_SHORT, EXIFSharpness, -1),
        IE_INT(41996, dExif, IETIFF_SHORT, EXIFSubjectDistanceRange, -1),
        IE_TEXT(42016, dExif, EXIFImageUniqueID),

        Row{0, dGPS, IETIFF_BYTE,
            [](Params& P, const Value& V) {
                P.GPSVersionID.clear();
                for (size_t i = 0; i < V.Nums.size() && i < 4; ++i)
                    P.GPSVersionID += (i ? "." : "") + std::to_string(Int32Of(V.Nums[i]));
            },
            [](const Params& P, Value& V) {
                if (P.GPSVersionID.empty()) return false;
                size_t at = 0;
                for (int i = 0; i < 4; ++i) {
                    V.Nums.push_back(std::atoi(P.GPSVersionID.c_str() + std::min(at, P.GPSVersionID.size())));
                    const size_t dot = P.GPSVersionID.find('.', at);
                    at = dot == cl::String::npos ? P.GPSVersionID.size() : dot + 1;
                }
                return true;
            },
            [](const Params& S, Params& D) { D.GPSVersionID = S.GPSVersionID; }},
        IE_TEXT(1, dGPS, GPSLatitudeRef),
        IE_ARRAY(2, dGPS, IETIFF_RATIONAL, GPSLatitude, 3, 0.0),
        IE_TEXT(3, dGPS, GPSLongitudeRef),
        IE_ARRAY(4, dGPS, IETIFF_RATIONAL, GPSLongitude, 3, 0.0),
        Row{5, dGPS, IETIFF_BYTE,
            [](Params& P, const Value& V) {
                P.GPSAltitudeRef = V.Nums.empty() ? cl::String() : std::to_string(Int32Of(V.Nums[0]));
            },
            [](const Params& P, Value& V) {
                V.Nums = {static_cast<double>(std::atoi(P.GPSAltitudeRef.c_str()))};
                return !P.GPSAltitudeRef.empty();
            },
            [](const Params& S, Params& D) { D.GPSAltitudeRef = S.GPSAltitudeRef; }},
        IE_DBL(6, dGPS, IETIFF_RATIONAL, GPSAltitude, 0.0),
        IE_ARRAY(7, dGPS, IETIFF_RATIONAL, GPSTimeStamp, 3, 0.0),
        IE_TEXT(8, dGPS, GPSSatellites),
        IE_TEXT(9, dGPS, GPSStatus),
        IE_TEXT(10, dGPS, GPSMeasureMode),
        IE_DBL(11, dGPS, IETIFF_RATIONAL, GPSDOP, 0.0),
        IE_TEXT(12, dGPS, GPSSpeedRef),
        IE_DBL(13, dGPS, IETIFF_RATIONAL, GPSSpeed, 0.0),
        IE_TEXT(14, dGPS, GPSTrackRef),
        IE_DBL(15, dGPS, IETIFF_RATIONAL, GPSTrack, 0.0),
        IE_TEXT(16, dGPS, GPSImgDirectionRef),
        IE_DBL(17, dGPS, IETIFF_RATIONAL, GPSImgDirection, 0.0),
        IE_TEXT(18, dGPS, GPSMapDatum),
        IE_TEXT(19, dGPS, GPSDestLatitudeRef),
        IE_ARRAY(20, dGPS, IETIFF_RATIONAL, GPSDestLatitude, 3, 0.0),
        IE_TEXT(21, dGPS, GPSDestLongitudeRef),
        IE_ARRAY(22, dGPS, IETIFF_RATIONAL, GPSDestLongitude, 3, 0.0),
        IE_TEXT(23, dGPS, GPSDestBearingRef),
        IE_DBL(24, dGPS, IETIFF_RATIONAL, GPSDestBearing, 0.0),
        IE_TEXT(25, dGPS, GPSDestDistanceRef),
        IE_DBL(26, dGPS, IETIFF_RATIONAL, GPSDestDistance, 0.0),
        IE_TEXT(29, dGPS, GPSDateStamp),
    };
    return rows;
}

#undef IE_TEXT
#undef IE_VERSION
#undef IE_INT
#undef IE_INT_SET
#undef IE_DBL
#undef IE_DBL_SET
#undef IE_ARRAY
#undef IE_XP

// The values of an entry, by its type, in the structure's byte order.
Value Decode(const TIETIFFEntry& E, bool Big) {
    Value v;
    if (E.HasBlocks || E.SubIFD) return v;
    const int64_t length = E.ValueLength();
    const uint8_t* p = length <= 4 ? E.Inline : E.Data.data();
    if (length > 4 && static_cast<int64_t>(E.Data.size()) < length) return v;
    const int32_t size = IETIFFTypeSize(E.Type);
    // No more numbers than a field takes: a file cannot make the decoding costly.
    const int64_t count = std::min<int64_t>(E.Count, 16);
    switch (E.Type) {
        case IETIFF_ASCII:
        case IETIFF_UNDEFINED: {
            v.Raw.assign(p, p + length);
            const auto* t = reinterpret_cast<const char*>(p);
            v.Text.assign(t, strnlen(t, static_cast<size_t>(length)));
            if (E.Type == IETIFF_UNDEFINED && length > 0 && length <= 4 && E.Count == 1) v.Nums = {double(p[0])};
            break;
        }
        default:
            if (E.Type == IETIFF_BYTE || E.Type == IETIFF_SBYTE) v.Raw.assign(p, p + length);
            for (int64_t i = 0; i < count; ++i) {
                const uint8_t* q = p + i * size;
                switch (E.Type) {
                    case IETIFF_BYTE: v.Nums.push_back(q[0]); break;
                    case IETIFF_SBYTE: v.Nums.push_back(static_cast<int8_t>(q[0])); break;
                    case IETIFF_SHORT: v.Nums.push_back(IEGetU16(q, Big)); break;
                    case IETIFF_SSHORT: v.Nums.push_back(static_cast<int16_t>(IEGetU16(q, Big))); break;
                    case IETIFF_LONG: v.Nums.push_back(IEGetU32(q, Big)); break;
                    case IETIFF_SLONG: v.Nums.push_back(static_cast<int32_t>(IEGetU32(q, Big))); break;
                    case IETIFF_RATIONAL:
                    case IETIFF_SRATIONAL: {
                        const bool s = E.Type == IETIFF_SRATIONAL;
                        const uint32_t n = IEGetU32(q, Big), d = IEGetU32(q + 4, Big);
                        const double num = s ? static_cast<int32_t>(n) : static_cast<double>(n);
                        const double den = s ? static_cast<int32_t>(d) : static_cast<double>(d);
                        v.Nums.push_back(den == 0 ? 0 : num / den);
                        break;
                    }
                    case IETIFF_FLOAT: {
                        const uint32_t u = IEGetU32(q, Big);
                        float f;
                        std::memcpy(&f, &u, 4);
                        v.Nums.push_back(f);
                        break;
                    }
                    case IETIFF_DOUBLE: {
                        const uint64_t u = Big ? (uint64_t{IEGetU32(q, true)} << 32) | IEGetU32(q + 4, true)
                                               : (uint64_t{IEGetU32(q + 4, false)} << 32) | IEGetU32(q, false);
                        double d;
                        std::memcpy(&d, &u, 8);
                        v.Nums.push_back(d);
                        break;
                    }
                    default: break;
                }
            }
            break;
    }
    return v;
}

// The entry of a value written little-endian with the row's type.
std::unique_ptr<TIETIFFEntry> Encode(uint16_t Tag, uint16_t Type, const Value& V) {
    std::vector<uint8_t> b;
    uint32_t count = 0;
    auto put32 = [&b](uint32_t x) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    switch (Type) {
        case IETIFF_ASCII:
            b.assign(V.Text.begin(), V.Text.end());
            b.push_back(0);
            count = static_cast<uint32_t>(b.size());
            break;
        case IETIFF_UNDEFINED:
        case IETIFF_BYTE:
            if (!V.Raw.empty()) {
                b = V.Raw;
            } else {
                for (double x : V.Nums) b.push_back(static_cast<uint8_t>(WholeNumber(x)));
            }
            count = static_cast<uint32_t>(b.size());
            break;
        case IETIFF_SHORT:
            for (double x : V.Nums) {
                const auto s = static_cast<uint16_t>(WholeNumber(x));
                b.push_back(static_cast<uint8_t>(s));
                b.push_back(static_cast<uint8_t>(s >> 8));
            }
            count = static_cast<uint32_t>(V.Nums.size());
            break;
        case IETIFF_LONG:
            for (double x : V.Nums) put32(static_cast<uint32_t>(WholeNumber(x)));
            count = static_cast<uint32_t>(V.Nums.size());
            break;
        default: {  // RATIONAL, SRATIONAL
            for (double x : V.Nums) {
                int32_t n = 0, d = 1;
                if (std::isfinite(x)) IEFloatToRational(x, 5e-9, n, d);
                if (Type == IETIFF_RATIONAL && n < 0) n = 0;
                put32(static_cast<uint32_t>(n));
                put32(static_cast<uint32_t>(d));
            }
            count = static_cast<uint32_t>(V.Nums.size());
            break;
        }
    }
    return TIETIFFHandler::MakeEntry(Tag, Type, count, b);
}

const TIETIFFTagList* SubList(const TIETIFFTagList& Page, uint16_t Tag) {
    const int32_t i = TIETIFFHandler::FindTagInList(Page, Tag);
    return i >= 0 && Page[i]->SubIFD ? Page[i]->SubIFD.get() : nullptr;
}

// The EXIF fields of the first page of a structure into P; the maker note from the
// stream the structure was read from (its offsets count in that stream).
void ReadFields(const TIETIFFHandler& H, cl::TStream* Stream, Params& P) {
    if (H.GetPagesCount() < 1) return;
    const TIETIFFTagList& page = *const_cast<TIETIFFHandler&>(H).GetPage(0);
    const TIETIFFTagList* lists[3] = {&page, SubList(page, kExifIFD), SubList(page, kGPSIFD)};
    const bool big = H.GetBigEndian();
    for (const Row& r : Rows()) {
        const TIETIFFTagList* l = lists[r.Where];
        if (!l) continue;
        const int32_t i = TIETIFFHandler::FindTagInList(*l, r.Tag);
        if (i < 0) continue;
        Value v = Decode(*(*l)[i], big);
        if (r.Tag == kUserComment) v.Nums = {big ? 1.0 : 0.0};
        r.Read(P, v);
    }
    // The maker note, read where it stands in the stream.
    if (lists[dExif] && Stream) {
        const int32_t i = TIETIFFHandler::FindTagInList(*lists[dExif], IEEXIFMakerNoteTag);
        if (i >= 0) {
            const TIETIFFEntry& e = *(*lists[dExif])[i];
            if (e.Offset >= 0 && e.ValueLength() <= 0x7FFFFFFF) {
                Stream->SetPosition(e.Offset);
                P.EXIFMakerNote()->ReadFromStream(Stream, static_cast<int32_t>(e.ValueLength()), !big);
            }
        }
    }
}

// The JPEG thumbnail of the second page, decoded; null when there is none or it does not
// decode.
std::unique_ptr<TIEBitmap> JPEGThumbnail(const TIETIFFHandler& H, int32_t Page) {
    if (H.GetPagesCount() <= Page) return nullptr;
    const TIETIFFTagList& page = *const_cast<TIETIFFHandler&>(H).GetPage(Page);
    const int32_t i = TIETIFFHandler::FindTagInList(page, kJPEGInterchangeFormat);
    if (i < 0 || !page[i]->HasBlocks || page[i]->Blocks.empty() || page[i]->Blocks[0].size() < 4) return nullptr;
    const auto& jpeg = page[i]->Blocks[0];
    try {
        cl::TMemoryStream s;
        s.WriteBuffer(jpeg.data(), static_cast<int64_t>(jpeg.size()));
        s.SetPosition(0);
        cl::TJPEGImage image;
        image.LoadFromStream(&s);
        cl::TBitmap* b = image.GetBitmap();
        if (!b || b->GetWidth() <= 0 || b->GetHeight() <= 0) return nullptr;
        auto out = std::make_unique<TIEBitmap>();
        out->CopyFromTBitmap(b);
        return out;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The thumbnail as a baseline JPEG stream (empty when it cannot be made).
std::vector<uint8_t> JPEGOf(TIEBitmap* Thumb) {
    std::vector<uint8_t> out;
    if (!Thumb || Thumb->GetWidth() <= 0 || Thumb->GetHeight() <= 0) return out;
    try {
        TIEBitmap rgb;
        TIEBitmap* src = Thumb;
        if (Thumb->GetPixelFormat() != ie24RGB) {
            if (!rgb.Allocate(Thumb->GetWidth(), Thumb->GetHeight(), ie24RGB)) return out;
            rgb.CopyAndConvertFormat(Thumb);
            src = &rgb;
        }
        cl::TBitmap b;
        b.SetPixelFormat(cl::pf24bit);
        b.SetSize(src->GetWidth(), src->GetHeight());
        for (int32_t y = 0; y < src->GetHeight(); ++y) {
            const void* row = src->GetScanline(y);
            if (row) std::memcpy(b.ScanLine(y), row, static_cast<size_t>(src->GetWidth()) * 3);
        }
        cl::TJPEGImage jpeg;
        jpeg.Assign(&b);
        cl::TMemoryStream m;
        jpeg.SaveToStream(&m);
        const auto* p = static_cast<const uint8_t*>(m.GetMemory());
        out.assign(p, p + m.GetSize());
    } catch (const std::exception&) {
        out.clear();
    }
    return out;
}

std::unique_ptr<TIETIFFHandler> ReadStructure(cl::TStream* Stream) {
    auto h = std::make_unique<TIETIFFHandler>();
    if (!h->ReadStream(Stream)) return nullptr;
    return h;
}

// Writes a structure at position 0 of a new memory stream.
bool WriteStructure(TIETIFFHandler& H, cl::TMemoryStream& Out) {
    Out.Clear();
    return H.WriteStream(&Out, -1);
}

}  // namespace

void IECopyEXIF(const TIOParamsVals& Source, TIOParamsVals& Dest) {
    if (&Source == &Dest) return;
    for (const Row& r : Rows()) r.Copy(Source, Dest);
    // The present-tag list follows the source's.
    const std::vector<int32_t> destTags = Dest.EXIFTags();
    for (int32_t t : destTags)
        if (!Source.HasEXIFTag(t)) Dest.RemoveEXIFTag(t);
    for (int32_t t : Source.EXIFTags()) Dest.AddEXIFTag(t);
    Dest.EXIFMakerNote()->Assign(Source.EXIFMakerNote());
}

bool IEMakeEXIFBlock(const TIOParamsVals& Params, void*& Buffer, int32_t& Length, bool WithHeader) {
    Buffer = nullptr;
    Length = 0;
    TIETIFFHandler h;
    h.SetBigEndian(false);
    TIETIFFTagList& page = h.AddPage();
    TIETIFFTagList exif, gps;
    TIETIFFTagList* lists[3] = {&page, &exif, &gps};
    for (const Row& r : Rows()) {
        Value v;
        if (!r.Write(Params, v)) continue;
        lists[r.Where]->push_back(Encode(r.Tag, r.Type, v));
    }
    // The maker note in its maker's layout; its offsets are fixed once its place is known.
    TIETagsHandler* note = Params.EXIFMakerNote();
    const bool hasNote = note && note->GetEntryCount() > 0;
    if (hasNote) {
        cl::TMemoryStream m;
        if (note->WriteToStream(&m) > 0) {
            std::vector<uint8_t> bytes(static_cast<const uint8_t*>(m.GetMemory()),
                                       static_cast<const uint8_t*>(m.GetMemory()) + m.GetSize());
            exif.push_back(TIETIFFHandler::MakeEntry(IEEXIFMakerNoteTag, IETIFF_UNDEFINED,
                                                     static_cast<uint32_t>(bytes.size()), bytes));
        }
    }
    if (!exif.empty()) {
        auto e = TIETIFFHandler::MakeEntry(kExifIFD, IETIFF_LONG, 1, {0, 0, 0, 0});
        e->SubIFD = std::make_unique<TIETIFFTagList>(std::move(exif));
        page.push_back(std::move(e));
    }
    if (!gps.empty()) {
        auto e = TIETIFFHandler::MakeEntry(kGPSIFD, IETIFF_LONG, 1, {0, 0, 0, 0});
        e->SubIFD = std::make_unique<TIETIFFTagList>(std::move(gps));
        page.push_back(std::move(e));
    }
    // The thumbnail as the second image: an old-style JPEG stream.
    const std::vector<uint8_t> thumb = JPEGOf(Params.GetEXIFThumbnail());
    if (!thumb.empty()) {
        TIETIFFTagList& second = h.AddPage();
        second.push_back(TIETIFFHandler::MakeEntry(259, IETIFF_SHORT, 1, {6, 0}));
        for (uint16_t tag : {uint16_t{282}, uint16_t{283}}) {
            Value v;
            v.Nums = {72};
            second.push_back(Encode(tag, IETIFF_RATIONAL, v));
        }
        second.push_back(TIETIFFHandler::MakeEntry(296, IETIFF_SHORT, 1, {2, 0}));
        auto stream = TIETIFFHandler::MakeEntry(kJPEGInterchangeFormat, IETIFF_LONG, 1, {0, 0, 0, 0});
        stream->HasBlocks = true;
        stream->Blocks.push_back(thumb);
        second.push_back(std::move(stream));
        Value length;
        length.Nums = {static_cast<double>(thumb.size())};
        second.push_back(Encode(kJPEGInterchangeFormat + 1, IETIFF_LONG, length));
    }
    cl::TMemoryStream out;
    if (!WriteStructure(h, out)) return false;
    if (hasNote) {
        // Where the note landed; written again there, its length stays the same.
        out.SetPosition(0);
        auto back = ReadStructure(&out);
        const TIETIFFTagList* ex = back ? SubList(*back->GetPage(0), kExifIFD) : nullptr;
        const int32_t i = ex ? TIETIFFHandler::FindTagInList(*ex, IEEXIFMakerNoteTag) : -1;
        if (i >= 0 && (*ex)[i]->Offset >= 0) {
            const int64_t at = (*ex)[i]->Offset;
            cl::TMemoryStream m;
            m.SetSize(at);
            m.SetPosition(at);
            const int32_t n = note->WriteToStream(&m);
            if (n == static_cast<int32_t>((*ex)[i]->ValueLength()) && IEInside(out.GetSize(), at, n))
                std::memcpy(static_cast<uint8_t*>(out.GetMemory()) + at,
                            static_cast<const uint8_t*>(m.GetMemory()) + at, static_cast<size_t>(n));
        }
    }
    const int64_t size = out.GetSize() + (WithHeader ? 6 : 0);
    if (size > 0x7FFFFFFF) return false;
    auto* b = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (!b) return false;
    if (WithHeader) std::memcpy(b, "Exif\0\0", 6);
    std::memcpy(b + (WithHeader ? 6 : 0), out.GetMemory(), static_cast<size_t>(out.GetSize()));
    Buffer = b;
    Length = static_cast<int32_t>(size);
    return true;
}

bool IEBuildEXIFBlockForJPEG(TIOParamsVals& Params, void*& Buffer, int32_t& Length) {
    return IEMakeEXIFBlock(Params, Buffer, Length, true);
}

void IEInstallEXIFBlockBuilder() { IEBuildEXIFBlock = &IEBuildEXIFBlockForJPEG; }

bool IELoadEXIFFromAPP1(const void* Data, int32_t Length, TIOParamsVals& Params) {
    if (!IEIsEXIFBlock(Data, Length)) return false;
    const auto* p = static_cast<const uint8_t*>(Data);
    cl::TStringStream s(std::string(reinterpret_cast<const char*>(p + 6), static_cast<size_t>(Length - 6)));
    TIOParamsVals temp(Params.GetOwner());
    TIEBitmap* thumb = Params.GetOrCreateEXIFThumbnail();
    thumb->FreeImage(true);
    auto h = ReadStructure(&s);
    if (h) ReadFields(*h, &s, temp);
    IECopyEXIF(temp, Params);
    Params.HasEXIFData = true;
    if (h) {
        if (auto t = JPEGThumbnail(*h, 1)) {
            thumb->Assign(t.get());
            IEApplyEXIFOrientation(thumb, Params.TIFFOrientation);
        }
    }
    return true;
}

bool IELoadEXIFFromTIFF(cl::TStream* Stream, TIOParamsVals& Params) {
    const int64_t at = Stream->GetPosition();
    Params.GetOrCreateEXIFThumbnail()->FreeImage(true);
    // The structure from the stream's position on.
    const int64_t size = std::max<int64_t>(0, Stream->GetSize() - at);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) bytes.resize(static_cast<size_t>(std::max<int64_t>(0, Stream->Read(bytes.data(), size))));
    cl::TStringStream s(bytes);
    if (auto h = ReadStructure(&s)) ReadFields(*h, &s, Params);
    Stream->SetPosition(at);
    return true;
}

bool IELoadEXIFFromRAW(cl::TStream* Stream, TIOParamsVals& Params) {
    const int64_t at = Stream->GetPosition();
    const int64_t size = std::max<int64_t>(0, Stream->GetSize() - at);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) bytes.resize(static_cast<size_t>(std::max<int64_t>(0, Stream->Read(bytes.data(), size))));
    cl::TStringStream s(bytes);
    TIOParamsVals temp(Params.GetOwner());
    TIEBitmap* thumb = Params.GetOrCreateEXIFThumbnail();
    thumb->FreeImage(true);
    auto h = ReadStructure(&s);
    if (h) ReadFields(*h, &s, temp);
    IECopyEXIF(temp, Params);
    Params.HasEXIFData = true;
    if (h) {
        // The narrower of the first two images that decode and are not all zero.
        std::unique_ptr<TIEBitmap> a = JPEGThumbnail(*h, 0), b = JPEGThumbnail(*h, 1);
        auto usable = [](const std::unique_ptr<TIEBitmap>& x) { return x && x->GetWidth() > 0 && !x->IsAllZero(); };
        TIEBitmap* pick = nullptr;
        if (usable(a) && (!usable(b) || a->GetWidth() < b->GetWidth()))
            pick = a.get();
        else if (usable(b) && (!usable(a) || b->GetWidth() < a->GetWidth()))
            pick = b.get();
        if (pick) thumb->Assign(pick);
    }
    Stream->SetPosition(at);
    return true;
}

// The XMP packet of the parameters in and out of an APP1 block.
bool IELoadXMPFromAPP1(const void* Data, int32_t Length, TIOParamsVals& Params) {
    return IELoadXMPFromAPP1(Data, Length, Params.XMPInfo);
}

void IESaveXMPToAPP1(const TIOParamsVals& Params, void*& Buffer, int32_t& Length) {
    IESaveXMPToAPP1(Params.XMPInfo, Buffer, Length);
}

}  // namespace ie
