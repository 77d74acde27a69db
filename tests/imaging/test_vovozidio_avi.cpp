// Frames of AVI videos: the frame count and delay, single frames decoded from uncompressed,
// palette and inter-coded videos compared pixel by pixel with ffmpeg's own decoding, the
// load by file name, and the failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/vovozidio.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

const std::string kData = std::string(LUMETRA_TEST_DATA) + "/avi/";

// Frame Index of File as ffmpeg decodes it, as 24-bit rows (blue, green, red).
std::vector<uint8_t> FfmpegFrame(const std::string& File, int Index) {
    const std::string cmd = "ffmpeg -v error -i " + File + " -vf 'select=eq(n\\," + std::to_string(Index) +
                            ")' -vsync 0 -frames:v 1 -sws_flags bicubic+accurate_rnd+full_chroma_int"
                            " -f rawvideo -pix_fmt bgr24 - 2>/dev/null";
    std::vector<uint8_t> out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        uint8_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
        pclose(p);
    }
    return out;
}

class AVITest : public IOUnitTest {};

TEST(AVIDelay, FromRateAndScale) {
    struct Case {
        uint32_t Rate, Scale;
        int32_t Delay;
    };
    for (const Case& c : {Case{25, 1, 40}, Case{10, 1, 100}, Case{30000, 1001, 33}, Case{1, 2, 2000}, Case{0, 1, 0},
                          Case{25, 0, 0}, Case{0, 0, 0}}) {
        SCOPED_TRACE(std::to_string(c.Rate) + "/" + std::to_string(c.Scale));
        EXPECT_EQ(IEAVIFrameDelay(c.Rate, c.Scale), c.Delay);
    }
}

TEST_F(AVITest, CountAndDelay) {
    struct Case {
        const char* File;
        int32_t Count, Delay;
    };
    for (const Case& c :
         {Case{"long.avi", 250, 40}, Case{"mpeg4.avi", 20, 100}, Case{"raw.avi", 12, 40}, Case{"pal8.avi", 5, 200}}) {
        SCOPED_TRACE(c.File);
        TVovozIdIO io(nullptr);
        const cl::WideString name = win::Utf8ToUtf16(kData + c.File);
        EXPECT_EQ(io.OpenAVIFile(name), c.Count);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().MediaFrameCount, c.Count);
        EXPECT_EQ(io.Params().MediaFrameDelay, c.Delay);
        EXPECT_EQ(io.Params().FileName, name);
        io.CloseAVIFile();
        EXPECT_FALSE(io.IsAVIOpen());
    }
}

// Frames compared with ffmpeg's decoding of the same frame: exact for uncompressed
// frames, within rounding of the colour conversion for the coded ones.
TEST_F(AVITest, FramesMatchFfmpeg) {
    struct Case {
        const char* File;
        int Frames[4];
        int Tolerance;
        int32_t Bits, Samples;
    };
    const Case cases[] = {{"raw.avi", {0, 5, 11, 3}, 0, 8, 3},
                          {"pal8.avi", {0, 4, 2, 1}, 0, 8, 1},
                          {"mpeg4.avi", {0, 7, 19, 6}, 2, 8, 3}};  // 7 and 19 sit after key frames
    for (const Case& c : cases) {
        TVovozIdIO io(nullptr);
        int finished = 0;
        io.OnFinishWork = [&](cl::TObject*) { ++finished; };
        ASSERT_GT(io.OpenAVIFile(win::Utf8ToUtf16(kData + c.File)), 0);
        for (int k = 0; k < 4; ++k) {
            const int index = c.Frames[k];
            SCOPED_TRACE(std::string(c.File) + " frame " + std::to_string(index));
            io.LoadAVIFrame(index);
            ASSERT_FALSE(io.Aborting);
            EXPECT_EQ(finished, k + 1);
            TIEBitmap& b = *io.GetIEBitmap();
            ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
            EXPECT_EQ(io.Params().BitsPerSample, c.Bits);
            EXPECT_EQ(io.Params().SamplesPerPixel, c.Samples);
            EXPECT_EQ(io.Params().Width, b.GetWidth());
            EXPECT_EQ(io.Params().DpiX, IEDefaultDpiX);
            const std::vector<uint8_t> expected = FfmpegFrame(kData + c.File, index);
            const std::vector<uint8_t> ours = PixelBytes(b);
            ASSERT_EQ(ours.size(), expected.size());
            int worst = 0;
            for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - expected[i]));
            EXPECT_LE(worst, c.Tolerance);
        }
    }
}

TEST_F(AVITest, AFrameAtOrPastTheCountDecodesNothing) {
    TVovozIdIO io(nullptr);
    FillPattern(*io.GetIEBitmap(), 3, 2);
    const auto before = PixelBytes(*io.GetIEBitmap());
    int finished = 0;
    io.OnFinishWork = [&](cl::TObject*) { ++finished; };
    ASSERT_EQ(io.OpenAVIFile(win::Utf8ToUtf16(kData + "raw.avi")), 12);
    for (int32_t index : {12, 100, -1}) {
        io.LoadAVIFrame(index);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(PixelBytes(*io.GetIEBitmap()), before);
    }
    EXPECT_EQ(finished, 3);
    // Without an open file nothing is decoded either.
    io.CloseAVIFile();
    io.LoadAVIFrame(0);
    EXPECT_EQ(PixelBytes(*io.GetIEBitmap()), before);
}

TEST_F(AVITest, LoadByFileNameTakesTheImageIndex) {
    TVovozIdIO io(nullptr);
    io.Params().ImageIndex = 9;
    const cl::WideString name = win::Utf8ToUtf16(kData + "raw.avi");
    io.LoadFromFile(name);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ioAVI);
    EXPECT_EQ(io.Params().FileName, name);
    EXPECT_EQ(PixelBytes(*io.GetIEBitmap()), FfmpegFrame(kData + "raw.avi", 9));
    EXPECT_FALSE(io.IsAVIOpen());  // closed after the frame
}

TEST_F(AVITest, FilesThatAreNoVideoFail) {
    const std::string junk = folder_ + "/junk.avi";
    std::ofstream(junk, std::ios::binary) << "RIFF\x10\0\0\0AVI LIST this is not a video";
    const std::string text = folder_ + "/text.avi";
    std::ofstream(text) << "hello";
    for (const std::string& f : {junk, text, folder_ + "/missing.avi"}) {
        SCOPED_TRACE(f);
        TVovozIdIO io(nullptr);
        FillPattern(*io.GetIEBitmap(), 3, 2);
        const auto before = PixelBytes(*io.GetIEBitmap());
        EXPECT_EQ(io.OpenAVIFile(win::Utf8ToUtf16(f)), 0);
        EXPECT_TRUE(io.Aborting);
        EXPECT_FALSE(io.IsAVIOpen());
        EXPECT_EQ(io.Params().MediaFrameCount, 0);
        io.LoadFromFile(win::Utf8ToUtf16(f));
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(PixelBytes(*io.GetIEBitmap()), before);
    }
}

}  // namespace
}  // namespace ie::test
