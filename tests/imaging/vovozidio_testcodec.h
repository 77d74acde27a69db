// A small image format of the input/output tests, with a real reader, writer and probe,
// so that the engine's dispatch is tested against a codec that does its work: "LTST", the
// width and height as 32-bit little-endian numbers, a pixel-format byte (ie8g or ie24RGB),
// then the rows top-down without padding. Registered either as an added format or as the
// per-format operations of a built-in type.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging_fixture.h"
#include "platform/codepage.h"

namespace ie::test {

constexpr int32_t ioTestFormat = 100;

inline bool TestProbe(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    char magic[4] = {};
    const bool ok = Stream->Read(magic, 4) == 4 && std::memcmp(magic, "LTST", 4) == 0;
    Stream->Seek(p, cl::soBeginning);
    return ok;
}

inline bool TestTry(cl::TStream* Stream, int32_t) { return TestProbe(Stream); }

inline void TestReadEx(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                       TIEReadContext& Context) {
    uint8_t head[13];
    if (Stream->Read(head, 13) != 13 || std::memcmp(head, "LTST", 4) != 0) {
        Progress.Abort();
        return;
    }
    int32_t w, h;
    std::memcpy(&w, head + 4, 4);
    std::memcpy(&h, head + 8, 4);
    const auto fmt = static_cast<TIEPixelFormat>(head[12]);
    const int64_t bpp = fmt == ie8g ? 1 : fmt == ie24RGB ? 3 : 0;
    const int64_t left = Stream->GetSize() - Stream->GetPosition();
    if (w <= 0 || h <= 0 || bpp == 0 || int64_t{w} * h * bpp > left) {
        Progress.Abort();
        return;
    }
    Params.Width = Params.OriginalWidth = w;
    Params.Height = Params.OriginalHeight = h;
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = static_cast<int32_t>(bpp);
    Context.ImageCount = 1;
    if (Context.PreviewOnly) return;
    if (!Bitmap->Allocate(w, h, fmt)) {
        Progress.Abort();
        return;
    }
    Progress.Per = 100.0 / h;
    for (int32_t y = 0; y < h; ++y) {
        if (Stream->Read(Bitmap->GetScanline(y), w * bpp) != w * bpp) {
            Progress.Abort();
            return;
        }
        Progress.ReportRows(y + 1);
        if (Progress.IsAborting()) return;
    }
}

inline void TestRead(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress) {
    TIEReadContext ctx;
    ctx.PreviewOnly = PreviewOnly;
    TestReadEx(Stream, Bitmap, Params, Progress, ctx);
}

inline void TestWriteEx(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TProgressRec& Progress,
                        TIEWriteContext&) {
    const TIEPixelFormat fmt = Bitmap->GetPixelFormat();
    if (fmt != ie8g && fmt != ie24RGB) {
        Progress.Abort();
        return;
    }
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const int64_t bpp = fmt == ie8g ? 1 : 3;
    uint8_t head[13];
    std::memcpy(head, "LTST", 4);
    std::memcpy(head + 4, &w, 4);
    std::memcpy(head + 8, &h, 4);
    head[12] = fmt;
    if (Stream->Write(head, 13) != 13) {
        Progress.Abort();
        return;
    }
    for (int32_t y = 0; y < h; ++y)
        if (Stream->Write(Bitmap->GetScanline(y), w * bpp) != w * bpp) {
            Progress.Abort();
            return;
        }
}

inline void TestWrite(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    TIEWriteContext ctx;
    TestWriteEx(Stream, Bitmap, Params, Progress, ctx);
}

inline TIEFormatOps TestOps() {
    TIEFormatOps ops;
    ops.Probe = &TestProbe;
    ops.Read = &TestReadEx;
    ops.Write = &TestWriteEx;
    return ops;
}

inline void RegisterTestFormat(const char* Extensions = "LTST") {
    auto e = std::make_unique<TIEFileFormatInfo>();
    e->FileType = ioTestFormat;
    e->FullName = "Test format";
    e->Extensions = Extensions;
    e->ReadFunction = &TestRead;
    e->WriteFunction = &TestWrite;
    e->TryFunction = &TestTry;
    IERegisterFormat(std::move(e));
}

// The bytes of a test image of W x H with a pattern.
inline std::vector<uint8_t> TestImageBytes(int32_t W, int32_t H, TIEPixelFormat Format = ie24RGB) {
    const int bpp = Format == ie8g ? 1 : 3;
    std::vector<uint8_t> b(13 + static_cast<size_t>(W) * H * bpp);
    std::memcpy(b.data(), "LTST", 4);
    std::memcpy(b.data() + 4, &W, 4);
    std::memcpy(b.data() + 8, &H, 4);
    b[12] = Format;
    for (size_t i = 13; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

// A bitmap filled with a pattern.
inline void FillPattern(TIEBitmap& B, int32_t W, int32_t H, TIEPixelFormat Format = ie24RGB) {
    ASSERT_TRUE(B.Allocate(W, H, Format));
    const int bpp = Format == ie8g ? 1 : 3;
    for (int32_t y = 0; y < H; ++y) {
        auto* row = static_cast<uint8_t*>(B.GetScanline(y));
        for (int32_t x = 0; x < W * bpp; ++x) row[x] = static_cast<uint8_t>(x * 5 + y * 11 + 1);
    }
}

// The rows of a bitmap as bytes (without padding).
inline std::vector<uint8_t> PixelBytes(TIEBitmap& B) {
    std::vector<uint8_t> out;
    const int bpp = B.GetBitCount() / 8;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        auto* row = static_cast<uint8_t*>(B.GetScanline(y));
        out.insert(out.end(), row, row + static_cast<size_t>(B.GetWidth()) * bpp);
    }
    return out;
}

// Starts the input/output unit for a test and stops it afterwards; files of the test go
// into the fixture's private folder.
class IOUnitTest : public ImagingTest {
protected:
    void SetUp() override {
        ImagingTest::SetUp();
        VovozIdIOStaticInit();
    }
    void TearDown() override {
        VovozIdIOStaticFinal();
        ImagingTest::TearDown();
    }
    cl::WideString Path(const std::string& name) { return win::Utf8ToUtf16(folder_ + "/" + name); }
};

}  // namespace ie::test
