// The layer undo record reader on any bytes: a record that loads is written again and reads
// back to the same record; one that does not leaves the layer and the stream as they were.
// The seeds in corpus/ielayer were written by fuzz/corpus/make_ielayer.py.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/ielayer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    ie::TIEBitmap shape(2, 2, ie::ie24RGB);
    ie::TIELayer layer(nullptr, false, &shape);
    layer.GetBitmap()->MinFileSize = int64_t{1} << 40;
    layer.Name = "before";
    try {
        if (!layer.LoadUndoRecord(&stream)) {
            if (stream.GetPosition() != 0 || layer.Name != "before") __builtin_trap();
            return 0;
        }
    } catch (const cl::Exception&) {
        return 0;
    }
    cl::TMemoryStream again;
    layer.SaveUndoRecord(&again, true);
    again.SetPosition(0);
    ie::TIELayer copy(nullptr, false, &shape);
    if (!copy.LoadUndoRecord(&again) || copy.Name != layer.Name || copy.PositionX != layer.PositionX ||
        copy.GetBitmap()->GetWidth() != layer.GetBitmap()->GetWidth())
        __builtin_trap();
    return 0;
}
