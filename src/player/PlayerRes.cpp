#include "player/PlayerRes.h"

#include <memory>

#include "classlib/Jpeg.h"
#include "platform/kernel.h"
#include "player/PlayerConfig.h"

namespace player {

bool LoadPictureResource(cl::TPicture* picture, const char* name) {
    try {
        cl::TResourceStream stream(win::HInstance(), name, win::RT_RCDATA);
        uint8_t magic[2] = {};
        if (stream.Read(magic, 2) != 2) return false;
        stream.SetPosition(0);
        std::unique_ptr<cl::TGraphic> graphic;
        if (magic[0] == 0xFF && magic[1] == 0xD8)
            graphic = std::make_unique<cl::TJPEGImage>();
        else if (magic[0] == 'B' && magic[1] == 'M')
            graphic = std::make_unique<cl::TBitmap>();
        else
            return false;
        graphic->LoadFromStream(&stream);
        picture->Assign(graphic.get());
        return true;
    } catch (const cl::Exception&) {
        return false;
    }
}

bool LoadMainIcon(cl::TIcon* icon) {
    try {
        icon->LoadFromResourceName(win::HInstance(), kResMainIcon);
        return true;
    } catch (const cl::Exception&) {
        return false;
    }
}

}  // namespace player
