// The preset frame pictures: four PNG pictures built into the library, each decoding to its
// size and kind, read by ImageMagick too, with the area a placed picture goes to.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/iepresetim.h"
#include "imaging/io/vovozidio.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

using PresetTest = IOUnitTest;

std::string Output(const std::string& Command) {
    std::string out;
    if (FILE* p = popen(Command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

TEST_F(PresetTest, FourPicturesWithTheirAreas) {
    IEPresetImStaticInit();
    auto& list = IEPresetImages();
    ASSERT_EQ(list.size(), 4u);
    struct Expected {
        int32_t Width, Height;
        win::RECT Area;
        bool Alpha;
    };
    const Expected expected[4] = {{162, 159, {18, 29, 140, 119}, true},
                                  {112, 100, {13, 1, 95, 98}, false},
                                  {163, 108, {30, 14, 147, 92}, false},
                                  {150, 150, {17, 17, 131, 131}, false}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const TIEPresetImage& p = *list[i];
        EXPECT_EQ(p.FileType, ioPNG);
        EXPECT_EQ(p.Area.left, expected[i].Area.left);
        EXPECT_EQ(p.Area.top, expected[i].Area.top);
        EXPECT_EQ(p.Area.right, expected[i].Area.right);
        EXPECT_EQ(p.Area.bottom, expected[i].Area.bottom);
        ASSERT_GT(p.Size, 8);
        EXPECT_EQ(std::memcmp(p.Data, "\x89PNG\r\n\x1a\n", 8), 0);

        TVovozIdIO io(nullptr);
        io.LoadFromBuffer(p.Data, p.Size);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioPNG);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), expected[i].Width);
        EXPECT_EQ(io.GetIEBitmap()->GetHeight(), expected[i].Height);
        EXPECT_EQ(io.GetIEBitmap()->HasAlphaChannel(), expected[i].Alpha);

        // The same bytes as ImageMagick sees them.
        const std::string file = folder_ + "/preset.png";
        std::ofstream(file, std::ios::binary).write(static_cast<const char*>(p.Data), p.Size);
        EXPECT_EQ(Output("/usr/bin/identify -format '%w %h' " + file),
                  std::to_string(expected[i].Width) + " " + std::to_string(expected[i].Height));
    }
    // The slide mount's window is transparent, its card opaque.
    TVovozIdIO io(nullptr);
    io.LoadFromBuffer(list[0]->Data, list[0]->Size);
    TIEBitmap* alpha = io.GetIEBitmap()->GetAlphaChannel();
    EXPECT_EQ(static_cast<uint8_t*>(alpha->GetScanline(74))[79], 0);
    EXPECT_EQ(static_cast<uint8_t*>(alpha->GetScanline(74))[8], 255);
    IEPresetImStaticFinal();
    EXPECT_TRUE(IEPresetImages().empty());
}

}  // namespace
}  // namespace ie::test
