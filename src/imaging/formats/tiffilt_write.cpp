// TIFF writer: one bitmap as a TIFF page, a new file in either byte order or a page inserted
// into an existing little-endian file, with its tags, EXIF and GPS directories and metadata blocks.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <set>

#include "imaging/core/hyieutils_annot.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/iezlib.h"
#include "imaging/formats/jpegfilt.h"
#include "imaging/formats/tifccitt.h"
#include "imaging/formats/tiffilt.h"
#include "imaging/formats/tiffilt_internal.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/processing/vovozidproc_utils.h"

namespace ie {

namespace {

// 16 and 32-bit numbers in the file's byte order: little-endian ("II") or big-endian ("MM").
void Put16(uint8_t* P, uint32_t V, bool LittleEndian) {
    P[LittleEndian ? 0 : 1] = static_cast<uint8_t>(V);
    P[LittleEndian ? 1 : 0] = static_cast<uint8_t>(V >> 8);
}
void Put32(uint8_t* P, uint32_t V, bool LittleEndian) {
    for (int i = 0; i < 4; ++i) P[LittleEndian ? i : 3 - i] = static_cast<uint8_t>(V >> (8 * i));
}

struct TagEntry {
    uint16_t Tag = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint8_t Value[4] = {};
};

// The entries of one directory, collected while their out-of-line values are written.
class EntryList {
public:
    EntryList(cl::TStream* S, TProgressRec& P, bool LittleEndian)
        : FStream(S), FProgress(P), FLittleEndian(LittleEndian) {}

    bool LittleEndian() const { return FLittleEndian; }
    void Put16(uint8_t* P, uint32_t V) const { ie::Put16(P, V, FLittleEndian); }
    void Put32(uint8_t* P, uint32_t V) const { ie::Put32(P, V, FLittleEndian); }

    // The next even position (a 0 byte first when the position is odd).
    int64_t AlignEven() {
        if (FStream->GetPosition() & 1) {
            const uint8_t z = 0;
            IEWriteChecked(FStream, FProgress, &z, 1);
        }
        return FStream->GetPosition();
    }
    // Count bytes at the next even position; that position.
    uint32_t WriteBlock(const void* Data, int64_t Count) {
        const int64_t at = AlignEven();
        IEWriteChecked(FStream, FProgress, Data, Count);
        return static_cast<uint32_t>(at);
    }
    void Add(uint16_t Tag, uint16_t Type, uint32_t Count, const uint8_t* Inline) {
        for (TagEntry& e : FEntries)
            if (e.Tag == Tag) {
                e.Type = Type;
                e.Count = Count;
                std::memcpy(e.Value, Inline, 4);
                return;
            }
        TagEntry e;
        e.Tag = Tag;
        e.Type = Type;
        e.Count = Count;
        std::memcpy(e.Value, Inline, 4);
        FEntries.push_back(e);
    }
    // Values of Count items of Size bytes: inside the entry when they fit, else at an offset.
    void AddBytes(uint16_t Tag, uint16_t Type, uint32_t Count, const uint8_t* Data, int64_t Size) {
        uint8_t v[4] = {};
        if (Size <= 4)
            std::memcpy(v, Data, static_cast<size_t>(Size));
        else
            Put32(v, WriteBlock(Data, Size));
        Add(Tag, Type, Count, v);
    }
    void AddLong(uint16_t Tag, uint32_t Value) {
        uint8_t v[4];
        Put32(v, Value);
        Add(Tag, 4, 1, v);
    }
    void AddShort(uint16_t Tag, uint32_t Value) {
        uint8_t v[4] = {};
        Put16(v, Value);
        Add(Tag, 3, 1, v);
    }
    void AddByte(uint16_t Tag, uint8_t Value) {
        uint8_t v[4] = {Value, 0, 0, 0};
        Add(Tag, 1, 1, v);
    }
    void AddShortArray(uint16_t Tag, const std::vector<uint32_t>& Values) {
        std::vector<uint8_t> b(Values.size() * 2);
        for (size_t i = 0; i < Values.size(); ++i) Put16(b.data() + 2 * i, Values[i]);
        AddBytes(Tag, 3, static_cast<uint32_t>(Values.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    void AddLongArray(uint16_t Tag, const std::vector<uint32_t>& Values) {
        if (Values.size() == 1) {
            AddLong(Tag, Values[0]);
            return;
        }
        std::vector<uint8_t> b(Values.size() * 4);
        for (size_t i = 0; i < Values.size(); ++i) Put32(b.data() + 4 * i, Values[i]);
        uint8_t v[4];
        Put32(v, WriteBlock(b.data(), static_cast<int64_t>(b.size())));
        Add(Tag, 4, static_cast<uint32_t>(Values.size()), v);
    }
    void AddRationals(uint16_t Tag, const double* Values, int32_t Count) {
        std::vector<uint8_t> b(static_cast<size_t>(Count) * 8);
        for (int32_t i = 0; i < Count; ++i) {
            int32_t num = 0, den = 1;
            IEFloatToRational(Values[i], 5e-9, num, den);
            Put32(b.data() + 8 * i, static_cast<uint32_t>(num));
            Put32(b.data() + 8 * i + 4, static_cast<uint32_t>(den));
        }
        uint8_t v[4];
        Put32(v, WriteBlock(b.data(), static_cast<int64_t>(b.size())));
        Add(Tag, 5, static_cast<uint32_t>(Count), v);
    }
    void AddRational(uint16_t Tag, double Value) { AddRationals(Tag, &Value, 1); }
    // ASCII: up to 4 characters inside the entry without a NUL, longer ones with their NUL.
    void AddText(uint16_t Tag, const cl::String& Text) {
        if (Text.empty()) return;
        if (Text.size() <= 4) {
            AddBytes(Tag, 2, static_cast<uint32_t>(Text.size()), reinterpret_cast<const uint8_t*>(Text.data()),
                     static_cast<int64_t>(Text.size()));
            return;
        }
        std::vector<uint8_t> b(Text.begin(), Text.end());
        b.push_back(0);
        AddBytes(Tag, 2, static_cast<uint32_t>(b.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    // The UTF-16 text and a 16-bit 0 as BYTE values.
    void AddWideText(uint16_t Tag, const cl::WideString& Text) {
        if (Text.empty()) return;
        std::vector<uint8_t> b;
        for (char16_t c : Text) {
            b.push_back(static_cast<uint8_t>(c));
            b.push_back(static_cast<uint8_t>(c >> 8));
        }
        b.push_back(0);
        b.push_back(0);
        AddBytes(Tag, 1, static_cast<uint32_t>(b.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    // Writes the directory at the next even position: count, entries sorted by tag, the next
    // offset. Its position.
    uint32_t WriteIFD(uint32_t Next) {
        std::sort(FEntries.begin(), FEntries.end(), [](const TagEntry& a, const TagEntry& b) { return a.Tag < b.Tag; });
        std::vector<uint8_t> b(2 + FEntries.size() * 12 + 4);
        Put16(b.data(), static_cast<uint32_t>(FEntries.size()));
        for (size_t i = 0; i < FEntries.size(); ++i) {
            uint8_t* e = b.data() + 2 + 12 * i;
            Put16(e, FEntries[i].Tag);
            Put16(e + 2, FEntries[i].Type);
            Put32(e + 4, FEntries[i].Count);
            std::memcpy(e + 8, FEntries[i].Value, 4);
        }
        Put32(b.data() + b.size() - 4, Next);
        return WriteBlock(b.data(), static_cast<int64_t>(b.size()));
    }
    bool Empty() const { return FEntries.empty(); }

private:
    cl::TStream* FStream;
    TProgressRec& FProgress;
    bool FLittleEndian;
    std::vector<TagEntry> FEntries;
};

// ---------------------------------------------------------------------------------------
// EXIF and GPS

struct WRational {
    uint16_t Tag;
    double TIOParamsData::*Field;
};
struct WValue {
    uint16_t Tag;
    int32_t TIOParamsData::*Field;
};

const WRational kExifRationals[] = {
    {33434, &TIOParamsData::EXIFExposureTime},           {33437, &TIOParamsData::EXIFFNumber},
    {37122, &TIOParamsData::EXIFCompressedBitsPerPixel}, {37377, &TIOParamsData::EXIFShutterSpeedValue},
    {37378, &TIOParamsData::EXIFApertureValue},          {37379, &TIOParamsData::EXIFBrightnessValue},
    {37380, &TIOParamsData::EXIFExposureBiasValue},      {37381, &TIOParamsData::EXIFMaxApertureValue},
    {37382, &TIOParamsData::EXIFSubjectDistance},        {37386, &TIOParamsData::EXIFFocalLength},
    {41486, &TIOParamsData::EXIFFocalPlaneXResolution},  {41487, &TIOParamsData::EXIFFocalPlaneYResolution},
    {41493, &TIOParamsData::EXIFExposureIndex},
};
const WValue kExifShorts[] = {
    {34850, &TIOParamsData::EXIFExposureProgram}, {37383, &TIOParamsData::EXIFMeteringMode},
    {37384, &TIOParamsData::EXIFLightSource},     {37385, &TIOParamsData::EXIFFlash},
    {40961, &TIOParamsData::EXIFColorSpace},      {40962, &TIOParamsData::EXIFPixelXDimension},
    {40963, &TIOParamsData::EXIFPixelYDimension}, {41488, &TIOParamsData::EXIFFocalPlaneResolutionUnit},
    {41495, &TIOParamsData::EXIFSensingMethod},
};
bool AnyNotAbsent(const double* V, int N) {
    for (int i = 0; i < N; ++i)
        if (V[i] != -1) return true;
    return false;
}

// The EXIF fields of the image directory, the EXIF directory and the GPS directory.
void WriteEXIF(cl::TStream* S, TProgressRec& Progress, TIOParamsVals& P, EntryList& Image) {
    Image.AddText(270, P.EXIFImageDescription);
    if (P.EXIFXResolution != 0) Image.AddRational(282, P.EXIFXResolution);
    if (P.EXIFYResolution != 0) Image.AddRational(283, P.EXIFYResolution);
    Image.AddShort(274, static_cast<uint32_t>(P.TIFFOrientation));
    Image.AddShort(296, 2);
    Image.AddText(305, P.EXIFSoftware);
    if (P.EXIFRating >= 0) Image.AddShort(18246, static_cast<uint32_t>(P.EXIFRating));
    Image.AddWideText(40091, P.EXIFXPTitle);
    Image.AddWideText(40092, P.EXIFXPComment);
    Image.AddWideText(40093, P.EXIFXPAuthor);
    Image.AddWideText(40094, P.EXIFXPKeywords);
    Image.AddWideText(40095, P.EXIFXPSubject);
    Image.AddText(315, P.EXIFArtist);
    Image.AddText(271, P.EXIFMake);
    Image.AddText(272, P.EXIFModel);
    Image.AddText(306, P.EXIFDateTime);
    if (AnyNotAbsent(P.EXIFWhitePoint, 2)) Image.AddRationals(318, P.EXIFWhitePoint, 2);
    if (P.EXIFYCbCrPositioning != 0 && P.EXIFYCbCrPositioning != -1)
        Image.AddShort(531, static_cast<uint32_t>(P.EXIFYCbCrPositioning));
    if (AnyNotAbsent(P.EXIFPrimaryChromaticities, 6)) Image.AddRationals(319, P.EXIFPrimaryChromaticities, 6);
    if (AnyNotAbsent(P.EXIFYCbCrCoefficients, 3)) Image.AddRationals(529, P.EXIFYCbCrCoefficients, 3);
    if (AnyNotAbsent(P.EXIFReferenceBlackWhite, 6)) Image.AddRationals(532, P.EXIFReferenceBlackWhite, 6);
    Image.AddText(33432, P.EXIFRightsNotice);

    EntryList exif(S, Progress, Image.LittleEndian());
    for (const WRational& t : kExifRationals)
        if (P.HasEXIFTag(t.Tag)) exif.AddRational(t.Tag, P.*t.Field);
    for (const WValue& t : kExifShorts)
        if (P.HasEXIFTag(t.Tag)) exif.AddShort(t.Tag, static_cast<uint32_t>(P.*t.Field));
    if (P.EXIFISOSpeedRatings[1] != 0)
        exif.AddShortArray(
            34855, {static_cast<uint32_t>(P.EXIFISOSpeedRatings[0]), static_cast<uint32_t>(P.EXIFISOSpeedRatings[1])});
    else if (P.EXIFISOSpeedRatings[0] != 0)
        exif.AddShort(34855, static_cast<uint32_t>(P.EXIFISOSpeedRatings[0]));
    {
        const cl::String version = P.EXIFExifVersion.empty() ? cl::String("0220") : P.EXIFExifVersion;
        exif.AddBytes(36864, 7, static_cast<uint32_t>(std::min<size_t>(version.size(), 4)),
                      reinterpret_cast<const uint8_t*>(version.data()),
                      std::min<int64_t>(static_cast<int64_t>(version.size()), 4));
    }
    if (!P.EXIFFlashPixVersion.empty())
        exif.AddBytes(40960, 7, static_cast<uint32_t>(std::min<size_t>(P.EXIFFlashPixVersion.size(), 4)),
                      reinterpret_cast<const uint8_t*>(P.EXIFFlashPixVersion.data()),
                      std::min<int64_t>(static_cast<int64_t>(P.EXIFFlashPixVersion.size()), 4));
    for (const TIETIFFTextField& t : IETIFFExifTexts) exif.AddText(t.Tag, P.*t.Field);
    if (P.HasEXIFTag(41728)) {
        const uint8_t v[4] = {static_cast<uint8_t>(P.EXIFFileSource), 0, 0, 0};
        exif.Add(41728, 7, 1, v);
    }
    if (P.HasEXIFTag(41729)) {
        const uint8_t v[4] = {static_cast<uint8_t>(P.EXIFSceneType), 0, 0, 0};
        exif.Add(41729, 7, 1, v);
    }
    for (const TIETIFFIntField& t : IETIFFExifPlainShorts)
        if (P.*t.Field != -1) exif.AddShort(t.Tag, static_cast<uint32_t>(P.*t.Field));
    if (P.EXIFDigitalZoomRatio != -1) exif.AddRational(41988, P.EXIFDigitalZoomRatio);
    if (!P.EXIFUserComment.empty()) {
        // The 8-byte code, then the text: UTF-16 for "UNICODE", else 8-bit.
        cl::String code = P.EXIFUserCommentCode;
        if (code.size() != 8) code.assign(IEEXIFUserCommentUnicode, 8);
        std::vector<uint8_t> b(code.begin(), code.end());
        if (std::memcmp(code.data(), IEEXIFUserCommentUnicode, 8) == 0) {
            // UTF-16 in the file's byte order.
            for (char16_t c : P.EXIFUserComment) {
                uint8_t u[2];
                Put16(u, c, exif.LittleEndian());
                b.insert(b.end(), u, u + 2);
            }
            b.push_back(0);
            b.push_back(0);
        } else {
            for (char16_t c : P.EXIFUserComment) b.push_back(static_cast<uint8_t>(c));
            b.push_back(0);
        }
        exif.AddBytes(37510, 7, static_cast<uint32_t>(b.size()), b.data(), static_cast<int64_t>(b.size()));
    }
    // The maker note handler writes little-endian data, which a big-endian file cannot carry.
    if (TIETagsHandler* mn = P.EXIFMakerNote();
        mn && exif.LittleEndian() && mn->GetIFD() && mn->GetIFD()->GetSize() > 12) {
        const int64_t at = exif.AlignEven();
        const int32_t n = mn->WriteToStream(S);
        if (n > 0) {
            uint8_t v[4];
            exif.Put32(v, static_cast<uint32_t>(at));
            exif.Add(37500, 7, static_cast<uint32_t>(n), v);
        }
    }
    Image.AddLong(34665, exif.WriteIFD(0));

    if (P.GPSVersionID.empty()) return;
    EntryList gps(S, Progress, Image.LittleEndian());
    {
        uint8_t v[4] = {};
        size_t i = 0, start = 0;
        const cl::String& id = P.GPSVersionID;
        while (i < 4 && start <= id.size()) {
            size_t dot = id.find('.', start);
            if (dot == cl::String::npos) dot = id.size();
            v[i++] = static_cast<uint8_t>(std::atoi(id.substr(start, dot - start).c_str()));
            start = dot + 1;
        }
        gps.Add(0, 1, 4, v);
    }
    for (const TIETIFFTextField& t : IETIFFGPSRefs) gps.AddText(t.Tag, P.*t.Field);
    for (const TIETIFFTextField& t : IETIFFGPSTexts) gps.AddText(t.Tag, P.*t.Field);
    if (!P.GPSAltitudeRef.empty()) gps.AddByte(5, static_cast<uint8_t>(std::atoi(P.GPSAltitudeRef.c_str())));
    for (const TIETIFFRationalTripleField& t : IETIFFGPSTriples) gps.AddRationals(t.Tag, P.*t.Field, 3);
    for (const TIETIFFRationalField& t : IETIFFGPSRationals) gps.AddRational(t.Tag, P.*t.Field);
    Image.AddLong(34853, gps.WriteIFD(0));
}

// ---------------------------------------------------------------------------------------
// Image data

enum class Kind {
    Bilevel,
    Gray,
    Palette,
    RGB,
    CMYK,
    CIELab,
    Gray8Native,
    Gray16Native,
    Palette8Native,
    CMYKNative,
    RGB48
};

// The compressor of one strip, fed row by row.
class StripWriter {
public:
    StripWriter(cl::TStream* S, TProgressRec& P, int32_t Compression, int32_t Width, bool TwoD,
                TIETIFFLZWCompressor LZW, TZCompressionLevel Level)
        : FStream(S), FProgress(P), FCompression(Compression), FWidth(Width), FTwoD(TwoD), FLZW(LZW) {
        if (FCompression == 32946) FZip = std::make_unique<TZCompressionStream>(S, Level);
    }
    ~StripWriter() {
        if (FLZWState && FLZW) {
            try {
                FLZW(nullptr, 0, FStream, FLZWState);
            } catch (const std::exception&) {
            }
        }
    }
    StripWriter(const StripWriter&) = delete;
    StripWriter& operator=(const StripWriter&) = delete;

    void Row(const uint8_t* Data, int32_t Count) {
        if (FProgress.IsAborting()) return;
        bool err = false;
        try {
            switch (FCompression) {
                case 2: IECCITTEncodeMHRow(Data, FWidth, FStream, 1, err); break;
                case 3:
                    if (FTwoD) {
                        IECCITTEncodeG3Row(Data, FWidth, FStream, 1, err, FRef, FBits, FByte);
                    } else {
                        // Every one-dimensional row of a Group 3 strip opens with an EOL.
                        PutEOL();
                        IECCITTEncode1DRow(Data, FWidth, FStream, 1, err, FBits, FByte);
                    }
                    break;
                case 4: IECCITTEncodeG4Row(Data, FWidth, FStream, 1, err, FRef, FBits, FByte); break;
                case 5: FLZW(Data, Count, FStream, FLZWState); break;
                case 32773:
                    FPack.clear();
                    IETIFFPackBits(Data, Count, FPack);
                    IEWriteChecked(FStream, FProgress, FPack.data(), static_cast<int64_t>(FPack.size()));
                    break;
                case 32946: FZip->Write(Data, Count); break;
                default: IEWriteChecked(FStream, FProgress, Data, Count); break;
            }
        } catch (const std::exception&) {
            err = true;
        }
        if (err) FProgress.Abort();
    }
    // Ends the strip's code stream.
    void Finish() {
        bool err = false;
        try {
            switch (FCompression) {
                case 2: break;
                case 3:
                    if (FTwoD)
                        IECCITTEncodeG3Row(nullptr, FWidth, FStream, 1, err, FRef, FBits, FByte);
                    else
                        IECCITTEncode1DRow(nullptr, FWidth, FStream, 1, err, FBits, FByte);
                    break;
                case 4: IECCITTEncodeG4Row(nullptr, FWidth, FStream, 1, err, FRef, FBits, FByte); break;
                case 5:
                    if (FLZWState) FLZW(nullptr, 0, FStream, FLZWState);
                    break;
                case 32946: FZip->Finish(); break;
                default: break;
            }
        } catch (const std::exception&) {
            err = true;
        }
        if (err) FProgress.Abort();
    }

private:
    // The 12-bit end-of-line code 000000000001 after the pending bits.
    void PutEOL() {
        for (int32_t b = 11; b >= 0; --b) {
            if (b == 0) FByte = static_cast<uint8_t>(FByte | (0x80 >> FBits));
            if (++FBits == 8) {
                IEWriteChecked(FStream, FProgress, &FByte, 1);
                FBits = 0;
                FByte = 0;
            }
        }
    }

    cl::TStream* FStream;
    TProgressRec& FProgress;
    int32_t FCompression;
    int32_t FWidth;
    bool FTwoD;
    TIETIFFLZWCompressor FLZW;
    void* FLZWState = nullptr;
    std::unique_ptr<TZCompressionStream> FZip;
    std::vector<uint8_t> FRef;
    int32_t FBits = 0;
    uint8_t FByte = 0;
    std::vector<uint8_t> FPack;
};

// Packs Count samples of Bits bits (each in its own byte) most significant bit first.
void PackSamples(const uint8_t* In, int32_t Count, int32_t Bits, uint8_t* Out) {
    const int32_t bytes = (Count * Bits + 7) / 8;
    std::memset(Out, 0, static_cast<size_t>(bytes));
    int64_t bit = 0;
    for (int32_t i = 0; i < Count; ++i)
        for (int32_t k = Bits - 1; k >= 0; --k, ++bit)
            if ((In[i] >> k) & 1) Out[bit >> 3] = static_cast<uint8_t>(Out[bit >> 3] | (0x80 >> (bit & 7)));
}

bool AlphaNotOpaque(TIEBitmap* B) {
    if (!B->HasAlphaChannel()) return false;
    TIEBitmap* a = B->GetAlphaChannel();
    for (int32_t y = 0; y < a->GetHeight(); ++y) {
        const auto* r = static_cast<const uint8_t*>(a->GetScanline(y));
        for (int32_t x = 0; x < a->GetWidth(); ++x)
            if (r[x] != 255) return true;
    }
    return false;
}

}  // namespace

void IETIFFPackBits(const uint8_t* Row, int32_t Count, std::vector<uint8_t>& Output) {
    int32_t i = 0;
    std::vector<uint8_t> lit;
    auto flush = [&] {
        if (lit.empty()) return;
        Output.push_back(static_cast<uint8_t>(lit.size() - 1));
        Output.insert(Output.end(), lit.begin(), lit.end());
        lit.clear();
    };
    while (i < Count) {
        int32_t run = 1;
        while (i + run < Count && run < 128 && Row[i + run] == Row[i]) ++run;
        if (run >= 4) {
            flush();
            Output.push_back(static_cast<uint8_t>(1 - run));
            Output.push_back(Row[i]);
            i += run;
        } else {
            lit.push_back(Row[i++]);
            if (lit.size() == 128) flush();
        }
    }
    flush();
}

int32_t IEWriteTIFFStream(cl::TStream* Stream, bool Insert, TIEBitmap* Bitmap, TProgressRec& Progress,
                          TIOParamsVals& Params) {
    TIOParamsVals& P = Params;
    const int64_t start = Stream->GetPosition();
    int32_t pages = 0;
    int64_t linkAt = -1;   // the pointer field the new page is linked into
    uint32_t linkOld = 0;  // its old value: the page that follows the new one
    if (Insert) {
        uint8_t h[8];
        if (IEReadUpTo(Stream, h, 8) < 8 || h[0] != 'I' || h[1] != 'I') {
            Progress.Abort();
            return 0;
        }
        int64_t field = start + 4;
        uint32_t value = IEGetLE32(h + 4);
        std::set<uint32_t> visited;
        const int64_t size = Stream->GetSize();
        while (true) {
            if (linkAt < 0 && (pages == P.TIFFImageIndex || value == 0)) {
                linkAt = field;
                linkOld = value;
            }
            if (value == 0 || value >= size || !visited.insert(value).second || pages >= IETIFFMaxPages) break;
            Stream->Seek(value, cl::soBeginning);
            uint8_t c[2];
            if (IEReadUpTo(Stream, c, 2) < 2) break;
            const int64_t n = IEGetLE16(c);
            field = static_cast<int64_t>(value) + 2 + n * 12;
            ++pages;
            Stream->Seek(field, cl::soBeginning);
            uint8_t nx[4];
            if (IEReadUpTo(Stream, nx, 4) < 4) {
                value = 0;
                if (linkAt < 0) {
                    linkAt = field;
                    linkOld = 0;
                }
                break;
            }
            value = IEGetLE32(nx);
        }
        if (linkAt < 0) {
            // A chain cut short: the page goes behind the last one read.
            linkAt = field;
            linkOld = 0;
        }
        Stream->Seek(0, cl::soEnd);
    } else {
        const uint8_t zero[8] = {};
        IEWriteChecked(Stream, Progress, zero, 8);
    }
    if (Progress.IsAborting()) return 0;
    // A new file takes the byte order of the params; an inserted page that of the file,
    // which is always little-endian.
    const bool littleEndian = Insert || P.TIFFByteOrder;

    // The bitmap to write, converted as the parameters ask (the caller's stays untouched).
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* bmp = Bitmap;
    TIEPixelFormat fmt = bmp->GetPixelFormat();
    if (fmt != ie1g && fmt != ie8g && fmt != ie8p && fmt != ie16g && fmt != ie24RGB && fmt != ieCMYK &&
        fmt != ieRGB48) {
        bmp = IEWorkingCopy(Bitmap, ie24RGB, holder);
        if (!bmp) {
            Progress.Abort();
            return 0;
        }
        fmt = ie24RGB;
    }
    const bool wants1 = P.BitsPerSample == 1 && P.SamplesPerPixel == 1;
    if (fmt == ie1g && !wants1) {
        bmp = IEWorkingCopy(bmp, ie24RGB, holder);
        fmt = ie24RGB;
    } else if (fmt != ie1g && wants1) {
        auto bw = std::make_unique<TIEBitmap>();
        TRGB dark{}, light{};
        if (!IETwoColorsTo1Bit(bmp, bw.get(), dark, light)) {
            std::unique_ptr<TIEBitmap> h2;
            TIEBitmap* c = IEBlackAndWhiteCopy(bmp, h2);
            if (c == bmp || !c) {
                bw.reset();
            } else {
                bw = std::move(h2);
            }
        }
        if (bw) {
            holder = std::move(bw);
            bmp = holder.get();
            fmt = ie1g;
        }
    }
    if (!bmp) {
        Progress.Abort();
        return 0;
    }
    const int32_t width = bmp->GetWidth(), height = bmp->GetHeight();
    if (width <= 0 || height <= 0) {
        Progress.Abort();
        return 0;
    }

    // The layout of the data.
    Kind kind;
    int32_t bits = 8, samples = 1, photometric = 1;
    std::vector<TRGB> palette;
    std::unique_ptr<TIEQuantizer> quant;
    uint8_t comp = P.TIFFCompression;
    switch (fmt) {
        case ie1g:
            kind = Kind::Bilevel;
            bits = 1;
            break;
        case ie8g: kind = Kind::Gray8Native; break;
        case ie16g:
            kind = Kind::Gray16Native;
            bits = 16;
            break;
        case ie8p:
            kind = Kind::Palette8Native;
            photometric = 3;
            palette.assign(256, TRGB{0, 0, 0});
            for (int32_t i = 0; i < std::min(256, bmp->GetPaletteLength()); ++i)
                bmp->GetPaletteEntry(i, palette[static_cast<size_t>(i)]);
            break;
        case ieCMYK:
            kind = Kind::CMYKNative;
            samples = 4;
            photometric = 5;
            break;
        case ieRGB48:
            kind = Kind::RGB48;
            samples = 3;
            bits = 16;
            photometric = 2;
            break;
        default: {
            bits = P.BitsPerSample;
            samples = P.SamplesPerPixel;
            photometric = P.TIFFPhotometric;
            if (samples == 1 && ((bits >= 2 && bits <= 8) || bits == 16)) {
                const int32_t n = std::min(1 << std::min(bits, 8), 256);
                palette.assign(static_cast<size_t>(n), TRGB{0, 0, 0});
                quant = std::make_unique<TIEQuantizer>(bmp, palette.data(), n);
                if (comp != 5 && comp != 8 && comp != 9) comp = 0;
                if (quant->GrayScale) {
                    photometric = 1;
                } else {
                    photometric = 3;
                    if (bits == 16) bits = 8;
                }
            } else if (samples == 1 && bits == 1) {
                // Handled as a bilevel bitmap above; reaching here means the copy failed.
                samples = 3;
                bits = 8;
            }
            if (photometric == 3 && samples > 1) photometric = 2;
            if (bits > 8 && samples > 1) {
                samples = 3;
                bits = 8;
                photometric = 2;
            }
            if ((photometric == 0 || photometric == 1) && samples == 3) photometric = 2;
            if (photometric == 6 && comp != 7) photometric = 2;
            if (samples != 1 && bits != 8) bits = 8;
            switch (photometric) {
                case 0:
                case 1:
                    kind = Kind::Gray;
                    photometric = 1;
                    break;
                case 3: kind = Kind::Palette; break;
                case 5:
                    kind = Kind::CMYK;
                    samples = 4;
                    break;
                case 7:
                    kind = Kind::CIELab;
                    samples = 3;
                    photometric = 8;
                    break;
                case 6:
                    kind = Kind::RGB;
                    samples = 3;
                    break;
                default:
                    kind = Kind::RGB;
                    samples = 3;
                    photometric = 2;
                    break;
            }
            if ((kind == Kind::Gray || kind == Kind::Palette) && !quant) {
                // One sample of a depth the quantizer does not serve.
                kind = Kind::RGB;
                samples = 3;
                bits = 8;
                photometric = 2;
            }
            break;
        }
    }
    P.BitsPerSample = bits;
    P.SamplesPerPixel = samples;

    // The compression.
    int32_t compression = 1;
    bool twoD = false, predictor = false;
    TIETIFFLZWCompressor lzw = P.TIFFLZWCompress ? P.TIFFLZWCompress : IEDefTIFFLZWCompress;
    switch (comp) {
        case 1: compression = 2; break;
        case 2: compression = 3; break;
        case 3:
            compression = 3;
            twoD = true;
            break;
        case 4: compression = 4; break;
        case 5: compression = lzw ? 5 : 1; break;
        case 6: compression = 6; break;
        case 7: compression = 7; break;
        case 8: compression = 32773; break;
        case 9:
        case 10: compression = 32946; break;
        default: compression = 1; break;
    }
    const bool ccitt = compression >= 2 && compression <= 4;
    if (ccitt && kind != Kind::Bilevel) compression = 1;
    if ((compression == 6 || compression == 7) && fmt != ie24RGB) compression = 1;
    if (kind == Kind::Bilevel) photometric = (compression >= 2 && compression <= 4) ? 0 : 1;
    const bool alpha =
        kind == Kind::RGB && (compression == 1 || compression == 5 || compression == 32773) && AlphaNotOpaque(bmp);
    if (alpha) samples = 4;
    predictor = compression == 5 && kind == Kind::RGB && !alpha && bits == 8;

    EntryList tags(Stream, Progress, littleEndian);
    if (P.HasEXIFData) {
        WriteEXIF(Stream, Progress, P, tags);
    } else {
        tags.AddText(270, P.TIFFImageDescription);
        tags.AddRational(282, P.DpiX > 0 ? P.DpiX : IEDefaultDpiX);
        tags.AddRational(283, P.DpiY > 0 ? P.DpiY : IEDefaultDpiY);
        tags.AddShort(296, 2);
    }
    tags.AddLong(256, static_cast<uint32_t>(width));
    tags.AddLong(257, static_cast<uint32_t>(height));
    tags.AddShortArray(258, std::vector<uint32_t>(static_cast<size_t>(samples), static_cast<uint32_t>(bits)));
    tags.AddShort(259, static_cast<uint32_t>(compression));
    tags.AddShort(262, static_cast<uint32_t>(photometric));
    tags.AddText(269, P.TIFFDocumentName);
    if (compression >= 2 && compression <= 4) {
        tags.AddShort(266, 1);  // the coders write most significant bit first
        tags.AddShort(284, 1);
        tags.AddShort(327, 0);
    }

    // The rows.
    const int32_t rowBytes = (width * samples * bits + 7) / 8;
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes) + 16), samplesRow(static_cast<size_t>(width) * 4 + 16),
        scratch(static_cast<size_t>(width) * 4 + 16);
    auto makeRow = [&](int32_t y) -> const uint8_t* {
        const auto* src = static_cast<const uint8_t*>(bmp->GetScanline(y));
        switch (kind) {
            case Kind::Bilevel:
                if (photometric == 0)
                    for (int32_t i = 0; i < rowBytes; ++i) row[static_cast<size_t>(i)] = static_cast<uint8_t>(~src[i]);
                else
                    std::memcpy(row.data(), src, static_cast<size_t>(rowBytes));
                break;
            case Kind::Gray8Native:
            case Kind::Palette8Native: std::memcpy(row.data(), src, static_cast<size_t>(width)); break;
            case Kind::Gray16Native:
            case Kind::RGB48: {
                // Native 16-bit words, in the file's byte order.
                const int32_t words = width * (kind == Kind::RGB48 ? 3 : 1);
                std::memcpy(row.data(), src, static_cast<size_t>(words) * 2);
                if (!littleEndian)
                    for (int32_t i = 0; i < words; ++i) std::swap(row[2 * static_cast<size_t>(i)], row[2 * static_cast<size_t>(i) + 1]);
                break;
            }
            case Kind::CMYKNative:
                for (int32_t i = 0; i < width * 4; ++i)
                    row[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - src[i]);
                break;
            case Kind::CMYK: {
                IEConvertColorScanline(const_cast<uint8_t*>(src), iecsBGR, row.data(), &P, width, iecdCMYKInv);
                for (int32_t i = 0; i < width * 4; ++i)
                    row[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - row[static_cast<size_t>(i)]);
                break;
            }
            case Kind::CIELab:
                IEConvertColorScanline(const_cast<uint8_t*>(src), iecsBGR, row.data(), &P, width, iecdCIELab);
                break;
            case Kind::Gray:
            case Kind::Palette: {
                const auto* px = reinterpret_cast<const TRGB*>(src);
                const int32_t top = (1 << std::min(bits, 8)) - 1;
                for (int32_t x = 0; x < width; ++x) {
                    int32_t v;
                    if (kind == Kind::Gray)
                        v = (px[x].r * top + 127) / 255;
                    else
                        v = std::clamp(quant->RGBIndex(px[x]), 0, static_cast<int32_t>(palette.size()) - 1);
                    samplesRow[static_cast<size_t>(x)] = static_cast<uint8_t>(v);
                }
                if (bits == 16) {
                    for (int32_t x = 0; x < width; ++x) {
                        const uint32_t w = samplesRow[static_cast<size_t>(x)] * 257u;
                        Put16(row.data() + 2 * x, w, littleEndian);
                    }
                } else if (bits == 8) {
                    std::memcpy(row.data(), samplesRow.data(), static_cast<size_t>(width));
                } else {
                    PackSamples(samplesRow.data(), width, bits, row.data());
                }
                break;
            }
            case Kind::RGB: {
                const auto* px = reinterpret_cast<const TRGB*>(src);
                const uint8_t* a =
                    alpha ? static_cast<const uint8_t*>(bmp->GetAlphaChannel()->GetScanline(y)) : nullptr;
                for (int32_t x = 0; x < width; ++x) {
                    uint8_t* d = row.data() + static_cast<int64_t>(x) * samples;
                    d[0] = px[x].r;
                    d[1] = px[x].g;
                    d[2] = px[x].b;
                    if (alpha) d[3] = a[x];
                }
                if (predictor)
                    for (int32_t i = rowBytes - 1; i >= 3; --i)
                        row[static_cast<size_t>(i)] =
                            static_cast<uint8_t>(row[static_cast<size_t>(i)] - row[static_cast<size_t>(i - 3)]);
                break;
            }
        }
        return row.data();
    };

    std::vector<uint32_t> offsets, counts;
    int32_t rowsPerStrip = height;
    if (compression == 7 || compression == 6) {
        // The whole image as one JPEG stream.
        TIOParamsVals jp(nullptr);
        jp.JPEGQuality = P.TIFFJPEGQuality;
        jp.JPEGColorSpace = P.TIFFJPEGColorSpace == 4 ? 0 : P.TIFFJPEGColorSpace;
        switch (jp.JPEGColorSpace) {
            case 0: photometric = 2; break;
            case 1: photometric = 1; break;
            case 3: photometric = 5; break;
            default: photometric = 6; break;
        }
        tags.AddShort(262, static_cast<uint32_t>(photometric));
        const uint32_t spp = photometric == 1 ? 1 : photometric == 5 ? 4 : 3;
        tags.AddShortArray(258, std::vector<uint32_t>(spp, 8));
        samples = static_cast<int32_t>(spp);
        const int64_t at = tags.AlignEven();
        cl::TMemoryStream js;
        try {
            IEWriteJPEGStream(&js, bmp, jp, Progress);
        } catch (const std::exception&) {
            Progress.Abort();
        }
        if (Progress.IsAborting()) return 0;
        IEWriteChecked(Stream, Progress, js.GetMemory(), js.GetSize());
        if (compression == 7) {
            offsets.push_back(static_cast<uint32_t>(at));
            counts.push_back(static_cast<uint32_t>(js.GetSize()));
        } else {
            const auto* j = static_cast<const uint8_t*>(js.GetMemory());
            int64_t sos = 0;
            for (int64_t i = 0; i + 1 < js.GetSize(); ++i)
                if (j[i] == 0xFF && j[i + 1] == 0xDA) {
                    sos = i;
                    break;
                }
            tags.AddLong(513, static_cast<uint32_t>(at));
            tags.AddLong(514, static_cast<uint32_t>(js.GetSize()));
            tags.AddShort(512, 1);
            tags.AddShortArray(530, {2, 2});
            offsets.push_back(static_cast<uint32_t>(at + sos));
            counts.push_back(static_cast<uint32_t>(js.GetSize() - sos));
        }
        Progress.Report(100);
    } else {
        int32_t strips = 1;
        if (compression != 32946) {
            const int64_t total = static_cast<int64_t>(height) * bmp->GetRowLen() / 524288;
            strips = static_cast<int32_t>(std::max<int64_t>(total, 1));
        }
        rowsPerStrip = std::max(1, height / strips);
        const TZCompressionLevel level = P.TIFFZIPCompression == 0   ? zlevFastest
                                         : P.TIFFZIPCompression == 2 ? zlevBest
                                                                     : zlevDefault;
        for (int32_t y0 = 0; y0 < height && !Progress.IsAborting(); y0 += rowsPerStrip) {
            const int64_t at = tags.AlignEven();
            {
                StripWriter w(Stream, Progress, compression, width, twoD, lzw, level);
                const int32_t rows = std::min(rowsPerStrip, height - y0);
                for (int32_t r = 0; r < rows && !Progress.IsAborting(); ++r) {
                    w.Row(makeRow(y0 + r), rowBytes);
                    Progress.Report(static_cast<int32_t>(static_cast<int64_t>(y0 + r) * 100 / height));
                }
                if (!Progress.IsAborting()) w.Finish();
            }
            offsets.push_back(static_cast<uint32_t>(at));
            counts.push_back(static_cast<uint32_t>(Stream->GetPosition() - at));
        }
    }
    if (Progress.IsAborting()) return 0;
    tags.AddLong(278, static_cast<uint32_t>(rowsPerStrip));
    tags.AddLongArray(273, offsets);
    tags.AddLongArray(279, counts);
    tags.AddShort(277, static_cast<uint32_t>(samples));
    // The colours are stored as they are, not multiplied by the alpha: unassociated alpha.
    if (alpha) tags.AddShort(338, 2);
    if (predictor) tags.AddShort(317, 2);
    tags.AddText(285, P.TIFFPageName);
    if (P.TIFFXPos != 0) tags.AddRational(286, P.TIFFXPos);
    if (P.TIFFYPos != 0) tags.AddRational(287, P.TIFFYPos);
    if (compression == 3) tags.AddLong(292, twoD ? 1 : 0);
    if (compression == 4) tags.AddLong(293, 0);
    tags.AddLong(254, 0);
    if (P.TIFFPageNumber >= 0 || P.TIFFPageCount >= 0)
        tags.AddShortArray(297, {static_cast<uint32_t>(std::max(P.TIFFPageNumber, 0)),
                                 static_cast<uint32_t>(std::max(P.TIFFPageCount, 0))});
    if (TIEIPTCInfoList* iptc = P.IPTC(); iptc && iptc->GetCount() > 0) {
        void* buf = nullptr;
        int32_t len = 0;
        iptc->SaveToBuffer(buf, len, false);
        if (buf && len > 0) {
            // Stored as LONG values, the block padded with zeros to whole values.
            std::vector<uint8_t> b(static_cast<const uint8_t*>(buf), static_cast<const uint8_t*>(buf) + len);
            b.resize((b.size() + 3) / 4 * 4, 0);
            uint8_t v[4];
            tags.Put32(v, tags.WriteBlock(b.data(), static_cast<int64_t>(b.size())));
            tags.Add(33723, 4, static_cast<uint32_t>(b.size() / 4), v);
        }
        std::free(buf);
    }
    if (!P.XMPInfo.empty())
        tags.AddBytes(700, 1, static_cast<uint32_t>(P.XMPInfo.size()),
                      reinterpret_cast<const uint8_t*>(P.XMPInfo.data()), static_cast<int64_t>(P.XMPInfo.size()));
    if (TIEImagingAnnot* an = P.ImagingAnnot()) {
        void* buf = nullptr;
        int32_t len = 0;
        an->SaveToBuffer(buf, len);
        if (buf && len > 0) tags.AddBytes(32932, 1, static_cast<uint32_t>(len), static_cast<const uint8_t*>(buf), len);
        std::free(buf);
    }
    if (TIEICC* icc = P.InputICCProfile(); icc && icc->IsValid() && !icc->Applied && icc->GetRawLength() > 0)
        tags.AddBytes(34675, 7, static_cast<uint32_t>(icc->GetRawLength()), icc->GetRaw(), icc->GetRawLength());
    if (kind == Kind::Palette || kind == Kind::Palette8Native) {
        // Every index the samples can hold has an entry; the unused ones are black.
        const size_t n = size_t{1} << std::min(bits, 8);
        std::vector<uint32_t> map(3 * n, 0);
        for (size_t i = 0; i < n && i < palette.size(); ++i) {
            map[i] = palette[i].r * 257u;
            map[n + i] = palette[i].g * 257u;
            map[2 * n + i] = palette[i].b * 257u;
        }
        tags.AddShortArray(320, map);
        P.FreeColorMap();
        TRGB* cm = P.AllocColorMap(static_cast<int32_t>(palette.size()));
        std::copy(palette.begin(), palette.end(), cm);
    }
    if (Progress.IsAborting()) return 0;

    const uint32_t ifd = static_cast<uint32_t>(tags.AlignEven());
    if (Insert) {
        tags.WriteIFD(linkOld);
        Stream->Seek(linkAt, cl::soBeginning);
        uint8_t v[4];
        tags.Put32(v, ifd);
        IEWriteChecked(Stream, Progress, v, 4);
        Stream->Seek(0, cl::soEnd);
        return Progress.IsAborting() ? 0 : pages + 1;
    }
    tags.WriteIFD(0);
    const int64_t end = Stream->GetPosition();
    uint8_t h[8] = {'I', 'I', 0, 0, 0, 0, 0, 0};
    if (!littleEndian) h[0] = h[1] = 'M';
    Put16(h + 2, 42, littleEndian);
    Put32(h + 4, ifd, littleEndian);
    Stream->Seek(start, cl::soBeginning);
    IEWriteChecked(Stream, Progress, h, 8);
    Stream->Seek(end, cl::soBeginning);
    return Progress.IsAborting() ? 0 : 1;
}

}  // namespace ie
