// ICC colour profiles and colour transforms (TIEICC), over LittleCMS.
//
// A TIEICC keeps one profile's bytes as they were embedded in an image file (JPEG APP2
// chunks, a TIFF tag, a PSD resource), the profile opened by the colour engine, and one
// cached transform from this profile to another. Readers keep the file's profile in the
// per-image parameters and convert decoded pixels to the default (sRGB) profile; writers
// embed the bytes again unless the profile has already been applied to the pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

class TIEBitmap;

// Pixel layouts of TIEICC::TransformPixels.
enum : int32_t {
    IEICC_RGB = 0,       // 3 bytes R, G, B
    IEICC_BGR = 1,       // 3 bytes B, G, R (ie24RGB)
    IEICC_CMYKInv = 2,   // 4 bytes C, M, Y, K stored inverted (255 minus the ink; ieCMYK)
    IEICC_CMYK = 3,      // 4 bytes C, M, Y, K
    IEICC_Lab = 4,       // 3 bytes L (0..255 for 0..100), a, b as signed bytes (ieCIELab)
    IEICC_Gray = 5,      // 1 byte grey (ie8g)
    IEICC_RGB48 = 6,     // 3 native-order words R, G, B (ieRGB48)
    IEICC_RGB48BE = 7,   // 3 big-endian words R, G, B
    IEICC_3Channel = 8,  // 3 bytes of any three-channel colour space
    IEICC_FormatCount = 9
};

// Bytes per pixel of a layout; 0 for an unknown code.
int32_t IEICCPixelSize(int32_t Format);
// The layout of a bitmap's pixel format for whole-bitmap conversion, -1 when there is none.
int32_t IEICCFormatOf(TIEPixelFormat PixelFormat);

class TIEICC : public cl::TObject {
    CL_DECLARE_CLASS(TIEICC, cl::TObject)
public:
    TIEICC() = default;
    ~TIEICC() override;

    // Clear, keep a copy of the bytes, then OpenProfile.
    void LoadFromBuffer(const void* Data, int32_t Length);
    // Opens the kept bytes with the colour engine (a profile it cannot read stays closed,
    // IsValid False), then ParseTags. True when the profile is open.
    bool OpenProfile();
    // RightsNotice and Description from the profile's "cprt" and "desc" tags, read only
    // where the tag table and the texts lie inside the profile.
    void ParseTags();
    // True while a profile is open.
    bool IsValid() const { return FProfileHandle != nullptr; }
    // The bytes, preceded by their count as a 4-byte little-endian integer unless NoLength.
    void SaveToStream(cl::TStream* Stream, bool NoLength) const;
    // Clear, a copy of Source's bytes, OpenProfile (Clear only for null).
    void Assign(const TIEICC* Source);
    // FreeTransform, then the profile is closed; the cached formats, intent and flags 0.
    void CloseProfile();
    bool HasTransform() const { return FTransformHandle != nullptr; }
    // Drops a cached transform and marks the profile applied.
    void FreeTransform();
    // CloseProfile, no bytes, Applied False.
    void Clear();
    // Clear, then the colour engine's built-in sRGB profile (no bytes are kept).
    void LoadSRGBProfile();

    // Converts Count pixels of layout InputFormat at SourcePixels, from this profile to
    // Dest's, into DestPixels in layout OutputFormat. The transform is cached and reused
    // while the two layouts, Intent and Flags stay the same (the transform itself always
    // uses the perceptual intent and the engine's best precision). The source is never
    // changed. Grey and L*a*b* pixels may go with a profile of another colour space: they
    // are then grey of the sRGB curve and CIE L*a*b* (D50), converted to or from that
    // profile's colours. False, with nothing written, when the transform cannot be made (a
    // profile missing or closed, other layouts that the profile's colour space does not
    // take).
    bool TransformPixels(TIEICC* Dest, int32_t InputFormat, int32_t Count, void* DestPixels, const void* SourcePixels,
                         int32_t Flags, int32_t Intent, int32_t OutputFormat);
    // Converts the whole bitmap from this profile and its own format to Dest's profile and
    // NewFormat (ie8g, ie24RGB, ieCMYK, ieRGB48 or ieCIELab on both sides), row by row,
    // then frees the transform (so Applied becomes True). False, with the bitmap as it was,
    // for other formats or when a row cannot be converted.
    bool ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat NewFormat, TIEICC* Dest);

    const uint8_t* GetRaw() const { return FRaw.empty() ? nullptr : FRaw.data(); }
    int32_t GetRawLength() const { return static_cast<int32_t>(FRaw.size()); }
    const cl::String& GetRightsNotice() const { return FRightsNotice; }
    const cl::String& GetDescription() const { return FDescription; }
    // The cached transform and what it was made for (null and 0 when none).
    const void* GetTransformHandle() const { return FTransformHandle; }
    int32_t GetInputFormat() const { return FInputFormat; }
    int32_t GetOutputFormat() const { return FOutputFormat; }

    // True once a transform made from this profile has been used and released: readers do
    // not convert again and writers do not embed the profile.
    bool Applied = false;

private:
    std::vector<uint8_t> FRaw;
    cl::String FRightsNotice;
    cl::String FDescription;
    void* FProfileHandle = nullptr;    // cmsHPROFILE
    void* FTransformHandle = nullptr;  // cmsHTRANSFORM
    int32_t FInputFormat = 0;
    int32_t FOutputFormat = 0;
    int32_t FIntent = 0;
    int32_t FFlags = 0;
};

}  // namespace ie
