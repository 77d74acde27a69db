// The view's layers stream reader on any bytes: the content test, then a load into a view
// without a window, whose layers are then composed and written out again. The seeds in
// corpus/layers_stream were written by fuzz/corpus/make_layers_stream.py.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/view/vovozidview.h"
#include "imaging/view/vovozidview_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        ie::VovozIdIOStaticInit();
        ie::IERegisterFormatsCodecs();
        return true;
    }();
    (void)started;
    cl::TMemoryStream stream;
    if (size > 0) stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
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
