// The neural-net and box-splitting quantizers on a real photograph: the mean error of the
// 256-colour picture against ImageMagick's on the same pixels, and the palette lookups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidproc_bw.h"
#include "imaging_fixture.h"

namespace ie {
namespace {

using test::ImagingTest;

// Mean errors measured on this photograph: ImageMagick 256 colours 2.18, the neural net
// 2.13, box splitting 3.82 (256 colours) and 5.23 (64); the bounds leave about 10 %.
constexpr double kNeuralBound = 2.35, kBoxBound = 4.2, kBox64Bound = 5.75;

class PhotoQuantizer : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        savedAlgorithm_ = IEQuantizerAlgorithm;
        savedQuality_ = IEQuantizerQuality;
        cl::TJPEGImage jpeg;
        jpeg.LoadFromFile(std::string(LUMETRA_TEST_DATA) + "/processing/chelsea.jpg");
        cl::TBitmap vcl;
        vcl.Assign(&jpeg);
        vcl.SetPixelFormat(cl::pf24bit);
        photo_ = std::make_unique<TIEBitmap>();
        photo_->CopyFromTBitmap(&vcl);
        ASSERT_EQ(photo_->GetWidth(), 451);
        ASSERT_EQ(photo_->GetPixelFormat(), ie24RGB);
    }
    void TearDown() override {
        IEQuantizerAlgorithm = savedAlgorithm_;
        IEQuantizerQuality = savedQuality_;
        ImagingTest::TearDown();
    }
    // Mean absolute difference per channel sample.
    static double MeanError(TIEBitmap& a, const std::vector<uint8_t>& rgb) {
        double sum = 0;
        size_t i = 0;
        for (int32_t y = 0; y < a.GetHeight(); ++y)
            for (int32_t x = 0; x < a.GetWidth(); ++x, i += 3) {
                const TRGB p = a.GetPixel24(x, y);
                sum += std::abs(p.r - rgb[i]) + std::abs(p.g - rgb[i + 1]) + std::abs(p.b - rgb[i + 2]);
            }
        return sum / static_cast<double>(i);
    }
    static std::vector<uint8_t> Pixels(TIEBitmap& b) {
        std::vector<uint8_t> rgb;
        for (int32_t y = 0; y < b.GetHeight(); ++y)
            for (int32_t x = 0; x < b.GetWidth(); ++x) {
                const TRGB p = b.GetPixel24(x, y);
                rgb.insert(rgb.end(), {p.r, p.g, p.b});
            }
        return rgb;
    }
    // The photograph reduced by ImageMagick to 256 colours without dithering, as RGB bytes.
    std::vector<uint8_t> ImageMagick256() {
        const std::string in = folder_ + "/in.ppm", out = folder_ + "/out.ppm";
        {
            std::ofstream f(in, std::ios::binary);
            f << "P6\n" << photo_->GetWidth() << " " << photo_->GetHeight() << "\n255\n";
            const std::vector<uint8_t> rgb = Pixels(*photo_);
            f.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
        }
        const std::string cmd = "convert '" + in + "' +dither -colors 256 -depth 8 'ppm:" + out + "'";
        if (std::system(cmd.c_str()) != 0) return {};
        std::ifstream f(out, std::ios::binary);
        std::string magic;
        int w = 0, h = 0, maxval = 0;
        f >> magic >> w >> h >> maxval;
        f.get();
        if (magic != "P6" || w != photo_->GetWidth() || h != photo_->GetHeight() || maxval != 255) return {};
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        f.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
        return f ? rgb : std::vector<uint8_t>{};
    }
    // Our 256-colour picture by the given engine; checks it uses only palette colours.
    double OurError(int32_t algorithm, int32_t colours) {
        IEQuantizerAlgorithm = algorithm;
        TIEBitmap reduced;
        reduced.Assign(photo_.get());
        std::vector<TRGB> palette(static_cast<size_t>(colours));
        EXPECT_TRUE(IEQuantize24(&reduced, colours, palette.data()));
        for (int32_t y = 0; y < reduced.GetHeight(); ++y)
            for (int32_t x = 0; x < reduced.GetWidth(); ++x) {
                const TRGB p = reduced.GetPixel24(x, y);
                if (std::find(palette.begin(), palette.end(), p) == palette.end()) {
                    ADD_FAILURE() << "colour outside the palette at " << x << "," << y;
                    return 1e9;
                }
            }
        return MeanError(reduced, Pixels(*photo_));
    }
    std::unique_ptr<TIEBitmap> photo_;
    int32_t savedAlgorithm_ = -1, savedQuality_ = -1;
};

TEST_F(PhotoQuantizer, ErrorsAgainstImageMagick) {
    const std::vector<uint8_t> reference = ImageMagick256();
    ASSERT_FALSE(reference.empty()) << "convert failed";
    const double theirs = MeanError(*photo_, reference);
    const double neural = OurError(0, 256);
    const double box = OurError(1, 256);
    const double box64 = OurError(1, 64);
    RecordProperty("imagemagick_256", std::to_string(theirs));
    RecordProperty("neural_256", std::to_string(neural));
    RecordProperty("box_256", std::to_string(box));
    std::printf("mean error per sample: ImageMagick 256 %.3f, neural net 256 %.3f, box split 256 %.3f, box 64 %.3f\n",
                theirs, neural, box, box64);
    EXPECT_LT(neural, kNeuralBound);
    EXPECT_LT(neural, theirs * 1.1);
    EXPECT_LT(box, kBoxBound);
    EXPECT_LT(box64, kBox64Bound);
    EXPECT_LT(box, box64);
}

}  // namespace
}  // namespace ie
