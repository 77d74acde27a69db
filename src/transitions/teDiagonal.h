// The diagonal effect: fronts of one-pixel 45-degree diagonals sweep from one corner to the
// opposite one (style 1), or from two opposite corners to the middle diagonal (style 2).
#pragma once

#include <cstdint>

#include "classlib/Graphics.h"
#include "transitions/teCore.h"
#include "transitions/teMasked.h"

namespace te {

struct TDiagonalGeometry {
    int Style = 1;
    int SubStyle = 1;

    // W + H - 1 diagonals, one per frame, for every style.
    static int32_t FrameCount(int32_t Width, int32_t Height) { return Width + Height - 1; }

    // Empties Data.UpdateRect, then draws (with Draw, with Canvas's pen) the band of
    // diagonals of frames Frame - Step + 1 .. Frame, uniting its bounds into
    // Data.UpdateRect and, with Report, adding tiles along it to Data.DirtyRects.
    void DrawFrame(cl::TCanvas* Canvas, int32_t Frame, int32_t Step, bool Report, bool Draw,
                   TTETransitionData* Data) const;

private:
    struct Ctx;
    void Band(const Ctx& ctx, bool Rising, int32_t N, int32_t D) const;
    void Front(const Ctx& ctx, int Sub, int32_t K, int32_t C) const;
};

int DiagonalSubStyleCount(int Style);
int DiagonalReversedSubStyle(int Style, int SubStyle);

class TDiagonalTransition : public TMaskedTransition {
    CL_DECLARE_COMPONENT(TDiagonalTransition, TMaskedTransition)
public:
    explicit TDiagonalTransition(cl::TComponent* AOwner);

    cl::String Description() const override { return "Diagonal"; }
    uint16_t ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) override;
    int32_t CalcFrameCount(TTETransitionData* Data) override;
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                       int32_t PrevFrame, int32_t Step) override;
    bool ClearsMaskAfterFrame(TTETransitionDevice*) override { return !SmoothingOn(); }
    // Style 2 never smooths.
    bool SmoothingActive(TTETransitionDevice* ADevice) override;
    uint16_t SubStyleCount(uint16_t AStyle) override { return static_cast<uint16_t>(DiagonalSubStyleCount(AStyle)); }
};

// Registers the diagonal effect and declares its published properties.
void StartUpteDiagonal();

}  // namespace te
