// The reader of the slideshow appended to the program file, on any file contents.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "player/zb_ExeConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    player::TSlideShow show;
    std::string error;
    try {
        player::ReadShowFromExe(&show, &stream, error);
    } catch (const cl::Exception&) {
    }
    // Whatever loaded is usable.
    for (int i = 0; i < show.SlideCount(); ++i) (void)show.GetSlide(i)->Effect;
    return 0;
}
