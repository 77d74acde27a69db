// The view's layers stream reader on any bytes: the content test, then a load into a view
// without a window, whose layers are then composed and written out again. The seeds in
// corpus/layers_stream were written by fuzz/corpus/make_layers_stream.py.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/view/vovozidview.h"
#include "imaging/view/vovozidview_stream.h"
#include "view_stream_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::StartEngineOnce();
    cl::TMemoryStream stream;
    iefuzz::FillStream(stream, data, size);
    (void)ie::IEIsLayersStream(&stream);
    if (stream.GetPosition() != 0) __builtin_trap();
    auto view = std::make_unique<ie::TVovozIdView>(nullptr);
    const int32_t layersBefore = view->GetLayerCount();
    bool loaded = false;
    try {
        loaded = view->LoadLayersFromStream(&stream);
    } catch (const std::exception&) {
        // A damaged stream leaves the view as it was.
        if (view->GetLayerCount() != layersBefore) __builtin_trap();
    }
    if (!loaded) return 0;
    // What was loaded can be composed and stored again.
    ie::TIEBitmap merged;
    try {
        if (ie::IELayersMergeIsReasonable(view.get())) view->RenderLayersTo(&merged);
        cl::TMemoryStream out;
        view->SaveLayersToStream(&out, -2);
    } catch (const std::exception&) {
    }
    return 0;
}
