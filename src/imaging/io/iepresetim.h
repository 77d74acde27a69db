// The built-in frame pictures a caller can place an image into: four PNG pictures built
// into the program, each with the rectangle where a placed picture goes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "platform/windef.h"

namespace ie {

class TIEPresetImage : public cl::TObject {
    CL_DECLARE_CLASS(TIEPresetImage, cl::TObject)
public:
    TIEPresetImage(const void* AData, int32_t ASize, int32_t AFileType, const win::RECT& AArea)
        : Size(ASize), Data(AData), FileType(AFileType), Area(AArea) {}

    int32_t Size;      // bytes of the picture data
    const void* Data;  // the picture's bytes, built into the program (not owned)
    int32_t FileType;  // the picture's file type (PNG)
    win::RECT Area;    // where a placed picture goes
};

// The preset list: the slide mount, the film strip, the notebook page, the metal frame.
// Empty before the library starts and after it stops.
std::vector<std::unique_ptr<TIEPresetImage>>& IEPresetImages();
void IEPresetImStaticInit();
void IEPresetImStaticFinal();
// Registers the two routines with the library's start-up.
void IEPresetImRegisterHooks();

}  // namespace ie
