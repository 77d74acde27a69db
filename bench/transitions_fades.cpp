// Frame cost of the effects that change the whole picture at once: alpha blend, fuse,
// pixelate, blur and the plain cut (see transitions_frames.h for what is measured).
// Run: bench_transitions_fades --benchmark_repetitions=5
#include "transitions_frames.h"

namespace {

const bool registered = tebench::RegisterShowEffects(
    {"TBlendTransition", "TFuseTransition", "TPixelateTransition", "TBlurTransition", "TFlickerFreeTransition"});

}  // namespace
