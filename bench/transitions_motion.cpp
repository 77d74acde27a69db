// Frame cost of the effects that move an edge or a picture: wipe, slide, roll, push, page
// and drip (see transitions_frames.h for what is measured).
// Run: bench_transitions_motion --benchmark_repetitions=5
#include "transitions/teDrip.h"
#include "transitions/teSlide.h"
#include "transitions/teWipe.h"
#include "transitions_frames.h"

namespace {

template <class T>
tebench::EffectMaker Directed(te::TTEEffectDirection d) {
    return [d] {
        auto e = std::make_unique<T>(nullptr);
        e->Milliseconds = 1000;
        e->SetDirection(d);
        return e;
    };
}

const bool registered = tebench::RegisterShowEffects({"TWipeTransition", "TSlideTransition", "TRollTransition",
                                                      "TPushTransition", "TPageTransition", "TDripTransition"}) &&
                        tebench::RegisterEffect("WipeSmoothBand",
                                                [] {
                                                    auto w = std::make_unique<te::TWipeTransition>(nullptr);
                                                    w->SmoothBand = true;
                                                    return w;
                                                }) &&
                        tebench::RegisterEffect("WipeOut", Directed<te::TWipeTransition>(te::tedOut)) &&
                        tebench::RegisterEffect("SlideIn", Directed<te::TSlideTransition>(te::tedIn)) &&
                        tebench::RegisterEffect("DripLeft", Directed<te::TDripTransition>(te::tedLeft)) &&
                        tebench::RegisterEffect("DripRight", Directed<te::TDripTransition>(te::tedRight)) &&
                        tebench::RegisterEffect("DripDown", Directed<te::TDripTransition>(te::tedDown)) &&
                        tebench::RegisterEffect("DripUp", Directed<te::TDripTransition>(te::tedUp));

}  // namespace
