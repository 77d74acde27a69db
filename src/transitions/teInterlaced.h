// The interlaced effect: the new picture comes line by line, even and odd lines
// interleaved (style 1: rows or columns in ten orders; style 2: concentric rectangle
// outlines, outer and inner ones alternating).
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"
#include "transitions/teMasked.h"

namespace te {

struct TInterlacedGeometry {
    int Style = 1;
    int SubStyle = 1;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Last = 0;   // index of the pattern's last line
    int32_t Count = 0;  // lines of the first phase of sub-styles 3 to 10

    void Setup(int32_t AWidth, int32_t AHeight, int AStyle, int ASubStyle);
    static int32_t FrameCount(int Style, int SubStyle, int32_t Width, int32_t Height, bool Smooth);
    // Style 1: the row (or column) index of line I (from 1).
    int32_t LineIndex(int32_t I) const;
    bool Columns() const {
        return Style == 1 && (SubStyle == 2 || SubStyle == 5 || SubStyle == 6 || SubStyle == 9 || SubStyle == 10);
    }

    // Empties Data.UpdateRect and draws (with Draw, with Canvas's pen) the lines of frames
    // PrevFrame + 1 .. Frame (two lines per frame for the doubled sub-styles when Smooth).
    void DrawFrame(cl::TCanvas* Canvas, int32_t Frame, int32_t PrevFrame, bool Smooth, bool Draw,
                   TTETransitionData* Data) const;
};

int InterlacedSubStyleCount(int Style);
int InterlacedReversedSubStyle(int Style, int SubStyle);

class TInterlacedTransition : public TMaskedTransition {
    CL_DECLARE_COMPONENT(TInterlacedTransition, TMaskedTransition)
public:
    explicit TInterlacedTransition(cl::TComponent* AOwner);

    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    cl::String Description() const override { return "Interlaced"; }
    uint16_t ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) override;
    int32_t CalcFrameCount(TTETransitionData* Data) override;
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                       int32_t PrevFrame, int32_t Step) override;
    bool ClearsMaskAfterFrame(TTETransitionDevice*) override { return EffectiveStyle() == 2; }
    uint16_t SubStyleCount(uint16_t AStyle) override { return static_cast<uint16_t>(InterlacedSubStyleCount(AStyle)); }

    const TInterlacedGeometry& Geometry() const { return FGeometry; }

private:
    TInterlacedGeometry FGeometry;
};

// Registers the interlaced effect and declares its published properties.
void StartUpteInterlaced();

}  // namespace te
