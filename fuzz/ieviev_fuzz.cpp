// The vector view's object file reader on any bytes: the content tests, a load of the bytes as
// an object block and as a layers-with-objects container into a view without a window, and
// a save of what was loaded. The seeds in corpus/ieviev were written by
// fuzz/corpus/make_ieviev.py.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/view/vovozidvect.h"
#include "view_stream_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    iefuzz::StartEngineOnce();
    cl::TMemoryStream stream;
    iefuzz::FillStream(stream, data, size);
    (void)ie::IEIsIEVStream(&stream);
    if (stream.GetPosition() != 0) __builtin_trap();
    (void)ie::IEIsLayersAndObjectsStream(&stream);
    if (stream.GetPosition() != 0) __builtin_trap();
    auto view = std::make_unique<ie::TVovozIdVect>(nullptr);
    bool loaded = false;
    try {
        loaded = view->LoadObjectsFromStream(&stream);
    } catch (const std::exception&) {
    }
    stream.SetPosition(0);
    try {
        loaded = view->LoadLayersAndObjectsFromStream(&stream) || loaded;
    } catch (const std::exception&) {
    }
    if (!loaded) return 0;
    try {
        cl::TMemoryStream out;
        view->SaveObjectsToStream(&out);
    } catch (const std::exception&) {
    }
    return 0;
}
