// The blur effect: the old picture is blurred with a box filter of growing radius, the new
// picture takes over blurred just as much and sharpens back. Every position outside the
// picture counts as white, so the picture fades towards white near its edges as the radius
// grows. Box sums run along the rows and down the columns (a running sum each way), so each
// frame costs about the same whatever the radius. On palette displays a fuse of style 1 runs
// instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transitions/tePixelRows.h"
#include "transitions/teTimed.h"

namespace te {

// A 24-bit copy of a picture's area, rows from the top, no padding; no pixels stands for a
// picture that is white all over (a run without that picture).
struct TBlurPicture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;

    // Copies the Width x Height area at the top left of Picture (any format; converted to
    // 24 bits through the GDI when needed). A missing picture leaves no pixels.
    void Take(cl::TBitmap* Picture, int AWidth, int AHeight);
    // Row y (0 at the top), or nullptr when the picture has no pixels.
    const uint8_t* Row(int y) const {
        return Pixels.empty() ? nullptr : Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Width) * 3;
    }
};

// The run data of the blur: the old picture, in force up to the last frame of the first half,
// and the new picture from the first frame of the second half (Half) on. Both are copied by
// the constructor; a new picture missing then is taken at Half.
class TBlurData : public TTECustomData {
    CL_DECLARE_CLASS(TBlurData, TTECustomData)
public:
    // Half is Frames div 2 + 1.
    TBlurData(TTETransitionData* AData, int32_t Frames);
    // The picture that frame CurrentFrame draws from.
    const TBlurPicture& PictureFor(int32_t CurrentFrame);

    bool HoldsOld = true;  // the picture in force is the old one
    int32_t Half = 0;

private:
    TBlurPicture FPicture, FNext;
    bool FNextTaken = false;
};

class TBlurTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TBlurTransition, TTimedTransitionEffect)
public:
    explicit TBlurTransition(cl::TComponent* AOwner);

    uint8_t GetRadius() const { return FRadius; }
    // 1 to 50; other values are ignored.
    void SetRadius(uint8_t Value);

    void Assign(cl::TPersistent* Source) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Blur"; }
    cl::String EditorClassName() const override { return "TBlurTransitionEditor"; }
    TTransitionEffect* TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) override;

    // Draws Picture blurred with radius A (box side 2A + 1, A from 0 to 50) into the W x H
    // area of the 24-bit Bitmap: each byte is the box's sum, white outside the picture,
    // divided by the box's area and rounded down.
    static void DrawBlurred(const TBlurPicture& Picture, cl::TBitmap* Bitmap, int W, int H, int A);

private:
    uint8_t FRadius = 50;
    int FRunRadius = 0;
};

// The row steps of a blurred frame, on colour bytes (three per pixel, a box sums the bytes
// of one colour, three positions apart).
//
// BlurDiffPrefix: Q[j] := the sum, modulo 2^16, of Enter[k] - Leave[k] over k <= j, k = j
// (mod 3), for j < Count: the running sums along a row of the bytes that enter a column box
// minus those that leave it.
void BlurDiffPrefix_Pas(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave, int Count);
// BlurWindowRow: Acc[j] += Q[j + Span] - Q[j] (a difference that fits in 16 signed bits),
// then Out[j] := (Acc[j] + Bias) div Area, for j < Count; Acc[j] + Bias lies between 0 and
// 255 * Area, Area at most 101 * 101. The SSE2 form divides in single precision:
// floor((sum + 0.5) / Area) is exact for every such sum and area.
void BlurWindowRow_Pas(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count, int Span, int32_t Bias, uint32_t Area);
#if defined(TE_HAS_SSE2_FORMS)
void BlurDiffPrefix_SSE2(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave, int Count);
// Needs a processor with SSSE3 (BlurDiffPrefixForm asks).
void BlurDiffPrefix_SSSE3(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave, int Count);
void BlurWindowRow_SSE2(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count, int Span, int32_t Bias,
                        uint32_t Area);
// Needs a processor with AVX2 (BlurWindowRowForm asks).
void BlurWindowRow_AVX2(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count, int Span, int32_t Bias,
                        uint32_t Area);
#endif
// The fastest form of each step this processor runs.
using TBlurDiffPrefixProc = void (*)(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave, int Count);
using TBlurWindowRowProc = void (*)(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count, int Span, int32_t Bias,
                                    uint32_t Area);
TBlurDiffPrefixProc BlurDiffPrefixForm();
TBlurWindowRowProc BlurWindowRowForm();

void StartUpteBlur();

}  // namespace te
