// The project document reader: any bytes, read as the player reads its document.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Classes.h"
#include "player/SimploXML.h"
#include "player/zb_SlideShow.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    player::TSimploXML xml(nullptr);
    xml.LoadFromString(text);
    if (player::TElementDocXML* doc = xml.DocumentElement()) {
        player::TBlockDocXML list;
        player::FindElements(doc, "Slide", list);
    }
    cl::TStringStream stream(text);
    player::TSlideShow show;
    try {
        show.LoadFromStream(&stream, true);
    } catch (const cl::Exception&) {
    }
    return 0;
}
