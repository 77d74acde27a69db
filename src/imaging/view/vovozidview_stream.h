// The layers file of the view: its content test and its entry in the input/output engine.
#pragma once

#include "classlib/Classes.h"

namespace ie {

class TVovozIdView;

// True when the stream holds a layers header (the signature and a version above 0) at its
// position, which is restored in every case.
bool IEIsLayersStream(cl::TStream* Stream);
// Registers the layers file (file type 26) with the input/output engine: its content test,
// and loading into an attached view (or, without one, the merged layers into the
// component's bitmap).
void IELayersRegisterFormat();
// False when the merged picture of the view's layers (RenderLayersTo) would be far larger
// than their pixels: positions or displayed sizes from a file that no picture justifies.
bool IELayersMergeIsReasonable(TVovozIdView* View);
// Lets the input/output component put the layers of a Photoshop document into an attached
// view and save a view's layers (made by IELayersRegisterFormat).
void IELayersRegisterPSDHooks();

}  // namespace ie
