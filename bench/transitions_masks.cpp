// Frame cost of the effects that reveal the new picture through a mask: the masked family
// (radial, circle, diagonal, block, interlaced, waterfall) and the bitmap-mask transition
// (see transitions_frames.h for what is measured).
// Run: bench_transitions_masks --benchmark_repetitions=5
#include <algorithm>

#include "transitions/teBmpMsk.h"
#include "transitions/teMasked.h"
#include "transitions/teRadial.h"
#include "transitions_frames.h"

namespace {

// A masked effect that reveals a growing disc from the centre: the base's mask copy and
// smooth blend over an area that grows from nothing to the whole picture.
class BenchDisc : public te::TMaskedTransition {
    CL_DECLARE_COMPONENT(BenchDisc, te::TMaskedTransition)
public:
    explicit BenchDisc(cl::TComponent* AOwner) : te::TMaskedTransition(AOwner) {}
    int32_t CalcFrameCount(te::TTETransitionData*) override { return 200; }
    void DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, te::TTETransitionData* Data, int32_t,
                       int32_t) override {
        const int r = std::min(Frame, 200) * 1101 / 200, cx = Data->Width / 2, cy = Data->Height / 2;
        if (Draw) Mask->GetCanvas()->Ellipse(cx - r, cy - r, cx + r, cy + r);
        if (Report) Data->UpdateRect = win::RECT{cx - r, cy - r, cx + r, cy + r};
    }
};

const bool registered =
    tebench::RegisterShowEffects({"TBlockTransition", "TCircleTransition", "TDiagonalTransition",
                                  "TInterlacedTransition", "TRadialTransition", "TWaterfallTransition",
                                  "TBmpMaskTransition"}) &&
    tebench::RegisterEffect("MaskedDiscHardEdge", [] { return std::make_unique<BenchDisc>(nullptr); }) &&
    tebench::RegisterEffect("MaskedDiscSmooth3",
                            [] {
                                auto d = std::make_unique<BenchDisc>(nullptr);
                                d->SetSmoothingLevel(3);
                                return d;
                            }) &&
    tebench::RegisterEffect("RadialHardEdge",
                            [] {
                                auto r = std::make_unique<te::TRadialTransition>(nullptr);
                                r->Milliseconds = 1000;
                                return r;
                            }) &&
    tebench::RegisterEffect("BmpMaskHardEdge", [] {
        auto m = std::make_unique<te::TBmpMaskTransition>(nullptr);
        m->Milliseconds = 1000;
        m->SetMask(tebench::ShowMask().get());
        return m;
    });

}  // namespace
