// Shared pieces of the codec tests: fixtures and streams in memory, a small reader of the
// binary PPM/PGM files that the independent tools write as references, pixel
// comparisons, and running the independent tools on files our writers made.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/view/ielibrary.h"

namespace ie::test {

inline std::string FixturePath(const std::string& Area, const std::string& Name) {
    return std::string(LUMETRA_TEST_DATA) + "/" + Area + "/" + Name;
}

inline std::vector<uint8_t> ReadBytes(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    EXPECT_TRUE(f.good()) << Path;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteBytes(const std::string& Path, const std::vector<uint8_t>& Bytes) {
    std::ofstream f(Path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

// A memory stream holding Bytes, positioned at 0.
inline std::unique_ptr<cl::TMemoryStream> MemStream(const std::vector<uint8_t>& Bytes) {
    auto s = std::make_unique<cl::TMemoryStream>();
    if (!Bytes.empty()) s->Write(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    s->Seek(0, cl::soBeginning);
    return s;
}

inline std::vector<uint8_t> StreamBytes(cl::TMemoryStream& S) {
    const auto* p = static_cast<const uint8_t*>(S.GetMemory());
    return p ? std::vector<uint8_t>(p, p + S.GetSize()) : std::vector<uint8_t>();
}

// A binary PPM (P6) or PGM (P5) with maxval 255 as written by the tools: Channels is 3 or 1,
// Pixels in file order (red, green, blue).
struct RefImage {
    int32_t Width = 0, Height = 0, Channels = 0;
    std::vector<uint8_t> Pixels;
    const uint8_t* At(int32_t X, int32_t Y) const {
        return Pixels.data() + (static_cast<size_t>(Y) * Width + X) * Channels;
    }
};

inline RefImage ParseRef(const std::vector<uint8_t>& B) {
    RefImage r;
    size_t i = 0;
    auto token = [&]() {
        std::string t;
        while (i < B.size()) {
            if (B[i] == '#') {
                while (i < B.size() && B[i] != '\n') ++i;
            } else if (isspace(B[i])) {
                ++i;
            } else {
                break;
            }
        }
        while (i < B.size() && !isspace(B[i])) t += static_cast<char>(B[i++]);
        return t;
    };
    const std::string magic = token();
    r.Channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    r.Width = std::stoi(token());
    r.Height = std::stoi(token());
    EXPECT_EQ(token(), "255");
    ++i;  // the one whitespace byte before the samples
    r.Pixels.assign(B.begin() + static_cast<std::ptrdiff_t>(i), B.end());
    EXPECT_EQ(r.Pixels.size(), static_cast<size_t>(r.Width) * r.Height * r.Channels);
    return r;
}

inline RefImage LoadRef(const std::string& Path) { return ParseRef(ReadBytes(Path)); }

// Every pixel of the bitmap (any format, as TRGB) against the reference, within Tolerance
// per channel. Reports the first few differences.
inline void ExpectSameRGB(TIEBitmap& Bitmap, const RefImage& Ref, int Tolerance = 0) {
    ASSERT_EQ(Bitmap.GetWidth(), Ref.Width);
    ASSERT_EQ(Bitmap.GetHeight(), Ref.Height);
    int reported = 0;
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x) {
            const TRGB p = Bitmap.GetPixelRGB(x, y);
            const uint8_t* r = Ref.At(x, y);
            const uint8_t want[3] = {r[0], Ref.Channels == 3 ? r[1] : r[0], Ref.Channels == 3 ? r[2] : r[0]};
            if (std::abs(p.r - want[0]) > Tolerance || std::abs(p.g - want[1]) > Tolerance ||
                std::abs(p.b - want[2]) > Tolerance) {
                if (reported++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << int(p.r) << " " << int(p.g) << " " << int(p.b)
                                  << " want " << int(want[0]) << " " << int(want[1]) << " " << int(want[2]);
            }
        }
}

// Runs a shell command; its standard output, and the exit status in Status.
inline std::string RunCommand(const std::string& Command, int* Status = nullptr) {
    std::string out;
    FILE* p = ::popen(Command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = ::pclose(p);
    if (Status) *Status = st;
    return out;
}

// What ImageMagick decodes from File: its colour as PPM.
inline RefImage DecodeWithImageMagick(const std::string& File) {
    int st = -1;
    const std::string out = RunCommand("/usr/bin/convert '" + File + "' -alpha off -depth 8 ppm:- 2>/dev/null", &st);
    EXPECT_EQ(st, 0) << File;
    if (st != 0 || out.empty()) return {};
    return ParseRef(std::vector<uint8_t>(out.begin(), out.end()));
}

// A progress record with its own abort flag.
struct Progress {
    std::atomic<bool> Aborting{false};
    TProgressRec Rec;
    std::vector<int32_t> Reports;
    Progress() { Rec.Aborting = &Aborting; }
    // Records every percentage reported.
    void Record() {
        Rec.Data = this;
        Rec.Fnc = [](void* Data, cl::TObject*, int32_t Percent) {
            static_cast<Progress*>(Data)->Reports.push_back(Percent);
        };
    }
};

// A 24-bit bitmap of the given size filled by Pixel(x, y).
template <class F>
std::unique_ptr<TIEBitmap> Make24(int32_t W, int32_t H, F Pixel) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) b->SetPixel24(x, y, Pixel(x, y));
    return b;
}

// The engine started with every codec of the formats folder in its registry.
class CodecIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        VovozIdIOStaticInit();
        IERegisterFormatsCodecs();
        IEViewRegisterFormats();
        char pattern[] = "/tmp/lumetra-codec-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        VovozIdIOStaticFinal();
        RunCommand("rm -rf '" + folder_ + "'");
    }
    std::string Temp(const std::string& Name) const { return folder_ + "/" + Name; }
    std::string folder_;
};

}  // namespace ie::test
