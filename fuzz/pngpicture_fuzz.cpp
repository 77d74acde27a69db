// The PNG picture class on any bytes: loading, and using what a load leaves behind
// (drawing, pixels, saving), whether the load succeeded or not.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classlib/Graphics.h"
#include "png/pngpicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        png::StartupPngPicture();
        return true;
    }();
    (void)started;
    cl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
    png::TPNGObject picture;
    try {
        picture.LoadFromStream(&stream);
    } catch (const cl::Exception&) {
    }
    try {
        if (picture.HasHeader()) {
            cl::TBitmap target;
            target.SetPixelFormat(cl::pf32bit);
            target.SetSize(16, 16);
            picture.Draw(target.GetCanvas(), cl::Rect(0, 0, 16, 16));
            (void)picture.GetPixels(picture.GetWidth() - 1, picture.GetHeight() - 1);
            cl::TStringStream out;
            picture.SaveToStream(&out);
        }
    } catch (const cl::Exception&) {
    }
    return 0;
}
