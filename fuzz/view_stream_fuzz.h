// What the harnesses of the view's stream readers share: the input/output engine started
// once with its codecs (the layers' images go through them), and the input bytes in a memory
// stream standing at its start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/view/ielibrary.h"

namespace iefuzz {

inline void StartEngineOnce() {
    static const bool started = [] {
        ie::VovozIdIOStaticInit();
        ie::IERegisterFormatsCodecs();
        ie::IEViewRegisterFormats();
        return true;
    }();
    (void)started;
}

inline void FillStream(cl::TMemoryStream& Stream, const uint8_t* Data, size_t Size) {
    if (Size > 0) Stream.WriteBuffer(Data, static_cast<int64_t>(Size));
    Stream.SetPosition(0);
}

}  // namespace iefuzz
