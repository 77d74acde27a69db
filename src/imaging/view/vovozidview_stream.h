// The layers file of the view: its content test and its entry in the input/output engine.
#pragma once

#include "classlib/Classes.h"

namespace ie {

// True when the stream holds a layers header (the signature and a version above 0) at its
// position, which is restored in every case.
bool IEIsLayersStream(cl::TStream* Stream);
// Registers the layers file (file type 26) with the input/output engine: its content test,
// and loading into an attached view (or, without one, the merged layers into the
// component's bitmap).
void IELayersRegisterFormat();

}  // namespace ie
