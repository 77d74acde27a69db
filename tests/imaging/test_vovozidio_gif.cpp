// GIF loads through the input/output component: animation frames composed on the logical
// screen as ImageMagick's -coalesce composes them (every disposal, transparency, frames
// smaller than the screen), single frames as decoded, progress, failed frames, and the
// component's entry points and lumetra-image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "formats_testutil.h"
#include "imaging/formats/giffilter.h"
#include "imaging/io/vovozidio_gif.h"
#include "lumetra_image.h"
#include "platform/codepage.h"

namespace ie::test {
namespace {

// A PAM of RGB_ALPHA samples as ImageMagick writes it.
struct Pam {
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;  // red, green, blue, alpha
    const uint8_t* At(int32_t X, int32_t Y) const { return Pixels.data() + (static_cast<size_t>(Y) * Width + X) * 4; }
};

Pam LoadPam(const std::string& Path) {
    const auto b = ReadBytes(Path);
    const std::string text(b.begin(), b.end());
    Pam p;
    const size_t end = text.find("ENDHDR\n");
    if (end == std::string::npos) return p;
    std::istringstream head(text.substr(0, end));
    std::string key;
    int32_t depth = 0;
    while (head >> key) {
        if (key == "WIDTH")
            head >> p.Width;
        else if (key == "HEIGHT")
            head >> p.Height;
        else if (key == "DEPTH")
            head >> depth;
    }
    EXPECT_EQ(depth, 4) << Path;
    p.Pixels.assign(b.begin() + static_cast<std::ptrdiff_t>(end + 7), b.end());
    EXPECT_EQ(p.Pixels.size(), static_cast<size_t>(p.Width) * p.Height * 4);
    return p;
}

class GIFFrames : public CodecIOTest {
protected:
    // ImageMagick's composed frames of a fixture.
    std::vector<Pam> Coalesced(const std::string& Name) {
        int st = -1;
        const std::string stem = Temp(Name + "-c");
        RunCommand(
            "/usr/bin/convert '" + FixturePath("gif", Name) + "' -coalesce -alpha on +adjoin '" + stem + "-%d.pam'",
            &st);
        EXPECT_EQ(st, 0);
        std::vector<Pam> frames;
        for (int i = 0;; ++i) {
            const std::string f = stem + "-" + std::to_string(i) + ".pam";
            if (::access(f.c_str(), R_OK) != 0) break;
            frames.push_back(LoadPam(f));
        }
        return frames;
    }

    // The component's picture against a composed frame: the same alpha everywhere, the
    // same colour wherever it is opaque.
    static void ExpectComposed(TIEBitmap& B, const Pam& Ref) {
        ASSERT_EQ(B.GetWidth(), Ref.Width);
        ASSERT_EQ(B.GetHeight(), Ref.Height);
        ASSERT_TRUE(B.HasAlphaChannel());
        int reported = 0;
        for (int32_t y = 0; y < Ref.Height; ++y)
            for (int32_t x = 0; x < Ref.Width; ++x) {
                const uint8_t* r = Ref.At(x, y);
                const TRGB c = B.GetPixelRGB(x, y);
                const uint8_t a = B.GetAlpha(x, y);
                const bool same = a == r[3] && (a == 0 || (c.r == r[0] && c.g == r[1] && c.b == r[2]));
                if (!same && reported++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << int(c.r) << " " << int(c.g) << " " << int(c.b)
                                  << " alpha " << int(a) << " want " << int(r[0]) << " " << int(r[1]) << " "
                                  << int(r[2]) << " alpha " << int(r[3]);
            }
    }
};

TEST_F(GIFFrames, ComposedAsImageMagickComposes) {
    for (const std::string name : {"anim.gif", "anim_bg.gif"}) {
        const auto ref = Coalesced(name);
        ASSERT_GE(ref.size(), 4u) << name;
        for (size_t i = 0; i < ref.size(); ++i) {
            SCOPED_TRACE(name + " frame " + std::to_string(i));
            TVovozIdIO io(nullptr);
            io.Params().GIFImageIndex = static_cast<int32_t>(i);
            EXPECT_EQ(io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", name))), static_cast<int32_t>(ref.size()));
            ASSERT_FALSE(io.Aborting);
            EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie24RGB);
            ExpectComposed(*io.GetIEBitmap(), ref[i]);
            // The parameters describe the composed picture.
            EXPECT_EQ(io.Params().GIFXPos, 0);
            EXPECT_EQ(io.Params().GIFYPos, 0);
            EXPECT_EQ(io.Params().GIFAction, 2);
            EXPECT_EQ(io.Params().GIFImageIndex, static_cast<int32_t>(i));
            EXPECT_EQ(io.Params().GIFImageCount, static_cast<int32_t>(ref.size()));
            EXPECT_EQ(io.Params().FileType, ioGIF);
        }
        // A frame past the last gives the last one composed.
        TVovozIdIO io(nullptr);
        io.Params().GIFImageIndex = 40;
        io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", name)));
        ExpectComposed(*io.GetIEBitmap(), ref.back());
        EXPECT_EQ(io.Params().GIFImageIndex, 40);
    }
}

TEST_F(GIFFrames, SingleFramesAsDecoded) {
    TVovozIdIO io(nullptr);
    EXPECT_EQ(io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", "bw.gif"))), 1);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie1g);
    EXPECT_FALSE(io.GetIEBitmap()->HasAlphaChannel());
    ExpectSameRGB(*io.GetIEBitmap(), DecodeWithImageMagick(FixturePath("gif", "bw.gif")));
    // The native format keeps the palette.
    io.SetNativePixelFormat(true);
    io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", "global.gif")));
    EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie8p);
    ExpectSameRGB(*io.GetIEBitmap(), DecodeWithImageMagick(FixturePath("gif", "global.gif")));
    io.SetNativePixelFormat(false);
    // The transparent pixels come as the alpha channel; the component's background is the
    // transparent colour.
    io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", "transparent.gif")));
    ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
    EXPECT_EQ(io.GetIEBitmap()->GetAlpha(3, 3), 0);
    EXPECT_EQ(io.GetIEBitmap()->GetAlpha(0, 0), 255);
    EXPECT_EQ(io.GetBackground(), 0);
    // A file with a transparent index no pixel uses has no alpha channel.
    io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", "unusedtransparent.gif")));
    EXPECT_FALSE(io.GetIEBitmap()->HasAlphaChannel());
}

TEST_F(GIFFrames, ProgressCountsFrames) {
    TVovozIdIO io(nullptr);
    std::vector<int32_t> reports;
    io.ProgressHookData = &reports;
    io.ProgressHookFnc = [](void* Data, cl::TObject*, int32_t Percent) {
        static_cast<std::vector<int32_t>*>(Data)->push_back(Percent);
    };
    io.Params().GIFImageIndex = 4;
    EXPECT_EQ(io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", "anim10.gif"))), 10);
    // The finish of the work adds 100.
    EXPECT_EQ(reports, (std::vector<int32_t>{0, 10, 20, 30, 40, 100}));
    // Frame 4 of red 25 x i.
    EXPECT_EQ(io.GetIEBitmap()->GetPixelRGB(2, 2), (TRGB{0, 0, 100}));
    // Loading frame 0 lets the reader report its own progress.
    reports.clear();
    io.Params().GIFImageIndex = 0;
    io.LoadFromFileGIF(win::Utf8ToUtf16(FixturePath("gif", "anim10.gif")));
    EXPECT_EQ(reports, (std::vector<int32_t>{0, 30, 70, 100, 0, 100}));
}

// The offset of the code-size byte of frame N.
size_t CodeSizeOffset(const std::vector<uint8_t>& F, int32_t N) {
    size_t i = 13;
    if (F[10] & 0x80) i += 3 * (size_t{1} << ((F[10] & 7) + 1));
    auto skipBlocks = [&] {
        while (i < F.size() && F[i] != 0) i += F[i] + 1u;
        ++i;
    };
    for (int32_t frame = 0; i < F.size();) {
        if (F[i] == 0x21) {
            i += 2;
            skipBlocks();
        } else if (F[i] == 0x2C) {
            const uint8_t packed = F[i + 9];
            i += 10;
            if (packed & 0x80) i += 3 * (size_t{1} << ((packed & 7) + 1));
            if (frame++ == N) return i;
            ++i;
            skipBlocks();
        } else {
            break;
        }
    }
    return 0;
}

TEST_F(GIFFrames, AFailedFrameKeepsTheLastOneComposed) {
    auto file = ReadBytes(FixturePath("gif", "anim.gif"));
    const size_t at = CodeSizeOffset(file, 2);
    ASSERT_GT(at, 0u);
    file[at] = 12;  // a code size no decoder takes
    WriteBytes(Temp("bad2.gif"), file);
    const auto ref = Coalesced("anim.gif");
    TVovozIdIO io(nullptr);
    io.Params().GIFImageIndex = 3;
    // The reader stops at the damaged frame: three frames counted.
    EXPECT_EQ(io.LoadFromFileGIF(win::Utf8ToUtf16(Temp("bad2.gif"))), 3);
    EXPECT_TRUE(io.Aborting);
    ExpectComposed(*io.GetIEBitmap(), ref[1]);

    // The first frame failing leaves the bitmap as it was.
    file = ReadBytes(FixturePath("gif", "anim.gif"));
    file[CodeSizeOffset(file, 0)] = 1;
    WriteBytes(Temp("bad0.gif"), file);
    TVovozIdIO io2(nullptr);
    io2.GetIEBitmap()->Allocate(3, 2, ie24RGB);
    io2.GetIEBitmap()->Fill(0x00FF00);
    io2.LoadFromFileGIF(win::Utf8ToUtf16(Temp("bad0.gif")));
    EXPECT_TRUE(io2.Aborting);
    EXPECT_EQ(io2.GetIEBitmap()->GetWidth(), 3);
    EXPECT_EQ(io2.GetIEBitmap()->GetPixelRGB(1, 1), (TRGB{0, 255, 0}));

    // Not a GIF, and a GIF without any frame.
    for (const std::vector<uint8_t>& bad :
         {std::vector<uint8_t>{'J', 'U', 'N', 'K', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
          std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B, 0x3B}}) {
        auto s = MemStream(bad);
        io2.LoadFromStreamGIF(s.get());
        EXPECT_TRUE(io2.Aborting);
        EXPECT_EQ(io2.GetIEBitmap()->GetWidth(), 3);
    }
}

TEST_F(GIFFrames, EveryEntryPointGivesTheSamePicture) {
    const std::string path = FixturePath("gif", "anim.gif");
    const auto ref = Coalesced("anim.gif");
    const auto bytes = ReadBytes(path);
    TVovozIdIO io(nullptr);
    io.Params().GIFImageIndex = 2;
    io.LoadFromFile(win::Utf8ToUtf16(path));
    ASSERT_FALSE(io.Aborting);
    ExpectComposed(*io.GetIEBitmap(), ref[2]);
    io.Params().GIFImageIndex = 2;
    auto s = MemStream(bytes);
    io.LoadFromStream(s.get());
    ASSERT_FALSE(io.Aborting);
    ExpectComposed(*io.GetIEBitmap(), ref[2]);
    io.Params().GIFImageIndex = 2;
    io.LoadFromBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_FALSE(io.Aborting);
    ExpectComposed(*io.GetIEBitmap(), ref[2]);
    // The parameters alone.
    io.ReadParamsFromFile(win::Utf8ToUtf16(path));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().GIFImageCount, 5);
    EXPECT_EQ(io.Params().GIFWinWidth, 40);

    // Saved by extension and read back by ImageMagick.
    io.Params().GIFImageIndex = 0;
    io.Params().BitsPerSample = 8;
    io.LoadFromFile(win::Utf8ToUtf16(FixturePath("gif", "global.gif")));
    io.SaveToFile(win::Utf8ToUtf16(Temp("saved.gif")));
    ASSERT_FALSE(io.Aborting);
    ExpectSameRGB(*io.GetIEBitmap(), DecodeWithImageMagick(Temp("saved.gif")));
    cl::TMemoryStream out;
    io.SaveToStream(&out, ioGIF);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(StreamBytes(out), ReadBytes(Temp("saved.gif")));
}

TEST_F(GIFFrames, LumetraImageConvertsBothWays) {
    std::ostringstream out, err;
    const std::string png = Temp("g.png"), gif = Temp("g.gif");
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("gif", "interlaced.gif"), png}, out, err), 0) << err.str();
    ExpectSameRGB(
        *[&] {
            TVovozIdIO io(nullptr);
            auto b = std::make_unique<TIEBitmap>();
            io.LoadFromFile(win::Utf8ToUtf16(png));
            b->Assign(io.GetIEBitmap());
            return b;
        }(),
        DecodeWithImageMagick(FixturePath("gif", "interlaced.gif")));
    ASSERT_EQ(lumetra_image::Run({"convert", png, gif}, out, err), 0) << err.str();
    // The picture's 32 colours fit the palette: ImageMagick reads them back exactly.
    const auto a = DecodeWithImageMagick(gif);
    const auto b = DecodeWithImageMagick(FixturePath("gif", "interlaced.gif"));
    EXPECT_EQ(a.Pixels, b.Pixels);
    ASSERT_EQ(lumetra_image::Run({"info", gif}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("format: CompuServe Bitmap"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace ie::test
