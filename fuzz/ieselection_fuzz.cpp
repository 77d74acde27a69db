// The view's selection stream on any bytes (the first picks the load mode): a stream that
// loads leaves a mask of the picture's size whose box lies inside it, and what is saved then
// loads again; a refused stream changes nothing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/vovozidview.h"

namespace {

std::vector<uint8_t> Save(ie::TVovozIdView& View) {
    cl::TMemoryStream s;
    View.SaveSelectionToStream(&s);
    std::vector<uint8_t> out(static_cast<size_t>(s.GetSize()));
    s.SetPosition(0);
    if (!out.empty()) s.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
    return out;
}

bool Load(ie::TVovozIdView& View, const uint8_t* Data, size_t Size, int32_t Mode) {
    cl::TMemoryStream s;
    if (Size) s.WriteBuffer(Data, static_cast<int64_t>(Size));
    s.SetPosition(0);
    return View.LoadSelectionFromStream(&s, Mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 24)) return 0;
    ie::TVovozIdView view(nullptr);
    view.GetIEBitmap()->Allocate(40, 30, ie::ie24RGB);
    view.Update();
    view.GetCurrentLayerObject()->PositionX = 3;
    view.GetCurrentLayerObject()->PositionY = -2;
    view.SetSelectionBase(ie::iesbBitmap);
    view.Select(5, 5, 15, 12, 0);
    const std::vector<uint8_t> before = Save(view);
    const int32_t mode = data[0] % 3;
    if (!Load(view, data + 1, size - 1, mode)) {
        if (Save(view) != before) __builtin_trap();
        return 0;
    }
    ie::TIEMask* m = view.GetSelectionMask();
    if (m->Width != 40 || m->Height != 30) __builtin_trap();
    if (!m->IsEmpty() && (m->X1 < 0 || m->Y1 < 0 || m->X2 >= 40 || m->Y2 >= 30 || m->X1 > m->X2)) __builtin_trap();
    if (view.GetSelected() == m->IsEmpty()) __builtin_trap();
    const std::vector<uint8_t> again = Save(view);
    if (!Load(view, again.data(), again.size(), 0)) __builtin_trap();
    if (Save(view) != again) __builtin_trap();
    return 0;
}
