// The built-in frame pictures: the PNG files of presets/ (drawn by presets/make.sh) are
// assembled into the library's read-only data.
#include "imaging/io/iepresetim.h"

#include "imaging/core/hyieutils_startup.h"
#include "imaging/io/vovozidio_registry.h"

#ifndef IE_PRESET_DIR
#error "IE_PRESET_DIR names the folder of the preset pictures"
#endif

#define IE_PRESET_BLOB(Sym, File)                                               \
    asm(".section .rodata.ie_presets,\"a\"\n"                                   \
        ".balign 16\n"                                                          \
        ".globl " #Sym "\n.hidden " #Sym "\n" #Sym                              \
        ":\n"                                                                   \
        ".incbin \"" IE_PRESET_DIR "/" File                                     \
        "\"\n"                                                                  \
        ".globl " #Sym "_end\n.hidden " #Sym "_end\n" #Sym                      \
        "_end:\n"                                                               \
        ".previous\n");                                                         \
    extern "C" __attribute__((visibility("hidden"))) const unsigned char Sym[]; \
    extern "C" __attribute__((visibility("hidden"))) const unsigned char Sym##_end[];

IE_PRESET_BLOB(ie_preset_slide, "slide.png")
IE_PRESET_BLOB(ie_preset_film, "film.png")
IE_PRESET_BLOB(ie_preset_notebook, "notebook.png")
IE_PRESET_BLOB(ie_preset_metal, "metal.png")

namespace ie {

std::vector<std::unique_ptr<TIEPresetImage>>& IEPresetImages() {
    static std::vector<std::unique_ptr<TIEPresetImage>> list;
    return list;
}

void IEPresetImStaticInit() {
    struct Entry {
        const unsigned char* Begin;
        const unsigned char* End;
        win::RECT Area;
    };
    const Entry entries[4] = {
        {ie_preset_slide, ie_preset_slide_end, {18, 29, 140, 119}},
        {ie_preset_film, ie_preset_film_end, {13, 1, 95, 98}},
        {ie_preset_notebook, ie_preset_notebook_end, {30, 14, 147, 92}},
        {ie_preset_metal, ie_preset_metal_end, {17, 17, 131, 131}},
    };
    auto& list = IEPresetImages();
    list.clear();
    for (const Entry& e : entries)
        list.push_back(std::make_unique<TIEPresetImage>(e.Begin, static_cast<int32_t>(e.End - e.Begin), ioPNG, e.Area));
}

void IEPresetImStaticFinal() { IEPresetImages().clear(); }

void IEPresetImRegisterHooks() { IERegisterStaticHooks(iesuPresetIm, &IEPresetImStaticInit, &IEPresetImStaticFinal); }

}  // namespace ie
