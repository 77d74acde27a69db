// HD Photo through the platform's imaging component: files made by JxrEncApp read as
// JxrDecApp decodes them, our files decoded by JxrDecApp, the encoder options written,
// the EXIF copy, the probe, damaged files, and the component missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "formats_testutil.h"
#include "imaging/formats/iewic.h"
#include "imaging/formats/tifprobes.h"
#include "lumetra_image.h"
#include "platform/com.h"
#include "platform/wic.h"

namespace ie::test {
namespace {

std::string Fixture(const std::string& Name) { return FixturePath("hdphoto", Name); }

struct HdpRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    std::vector<int32_t> Reports;
};

HdpRead Read(const std::vector<uint8_t>& File, bool Native = false, int32_t Index = 0, bool Thumbnail = false) {
    HdpRead r;
    r.Params->NativePixelFormat = Native;
    r.Params->ImageIndex = Index;
    r.Params->GetThumbnail = Thumbnail;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadHDPhotoStream(s.get(), r.Bitmap.get(), *r.Params, p.Rec, false);
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWriteHDPhotoStream(&s, &B, P, p.Rec);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

// A binary PNM of any maxval (16-bit samples big-endian), samples as numbers.
struct Pnm {
    int32_t Width = 0, Height = 0, Channels = 0, MaxVal = 0;
    std::vector<uint32_t> Samples;
    uint32_t At(int32_t X, int32_t Y, int32_t C) const {
        return Samples[(static_cast<size_t>(Y) * Width + X) * Channels + C];
    }
};

Pnm ParsePnm(const std::vector<uint8_t>& B) {
    Pnm r;
    size_t i = 0;
    auto token = [&]() {
        std::string t;
        while (i < B.size() && isspace(B[i])) ++i;
        while (i < B.size() && !isspace(B[i])) t += static_cast<char>(B[i++]);
        return t;
    };
    const std::string magic = token();
    r.Channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    r.Width = std::stoi(token());
    r.Height = std::stoi(token());
    r.MaxVal = std::stoi(token());
    ++i;
    const int bytes = r.MaxVal > 255 ? 2 : 1;
    const size_t n = static_cast<size_t>(r.Width) * r.Height * r.Channels;
    EXPECT_EQ(B.size() - i, n * bytes);
    r.Samples.resize(n);
    for (size_t k = 0; k < n && i + bytes <= B.size(); ++k, i += bytes)
        r.Samples[k] = bytes == 2 ? (B[i] << 8 | B[i + 1]) : B[i];
    return r;
}

// What JxrDecApp decodes from Bytes in the file's own pixel format: its TIFF output as
// ImageMagick reads it, in PNM samples of 8 or 16 bits. (JxrDecApp's own conversions to RGB
// and its PNM output of 16-bit grey are not usable as references.)
Pnm DecodeWithJxrDecApp(const std::vector<uint8_t>& Bytes, const std::string& Folder, bool Deep = false) {
    const std::string in = Folder + "/t.jxr", tif = Folder + "/t.tif", out = Folder + "/t.pnm";
    WriteBytes(in, Bytes);
    std::remove(tif.c_str());
    std::remove(out.c_str());
    int st = -1;
    RunCommand("JxrDecApp -i '" + in + "' -o '" + tif + "' >/dev/null 2>&1 && /usr/bin/convert '" + tif + "' -depth " +
                   (Deep ? "16" : "8") + " 'ppm:" + out + "'",
               &st);
    EXPECT_EQ(st, 0);
    return ParsePnm(ReadBytes(out));
}

class HDPhotoTest : public CodecIOTest {};

TEST_F(HDPhotoTest, ToolFilesReadAsJxrDecAppDecodesThem) {
    struct Case {
        const char* File;
        bool Native;
        TIEPixelFormat Format;
        int32_t Bits, Samples;
        const char* Ref;
        // clang-format off
    } cases[] = {
        {"rgb24.jxr", false, ie24RGB, 8, 3, "rgb24_ref.ppm"},    {"rgb24.jxr", true, ie24RGB, 8, 3, "rgb24_ref.ppm"},
        {"bgr24.jxr", false, ie24RGB, 8, 3, "bgr24_ref.ppm"},    {"gray8.jxr", true, ie8g, 8, 1, "gray8_ref.pgm"},
        {"gray8.jxr", false, ie24RGB, 8, 3, "gray8_ref.pgm"},    {"gray16.jxr", true, ie16g, 16, 1, "gray16_ref.pgm"},
        {"gray16.jxr", false, ie24RGB, 8, 3, "gray16_ref.pgm"},  {"rgb48.jxr", true, ieRGB48, 16, 3, "rgb48_ref.ppm"},
        {"rgb48.jxr", false, ie24RGB, 8, 3, "rgb48_ref.ppm"},    {"lossy.jxr", false, ie24RGB, 8, 3, "lossy_ref.ppm"},
        {"tiled.jxr", false, ie24RGB, 8, 3, "tiled_ref.ppm"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.File) + (c.Native ? " native" : ""));
        HdpRead r = Read(ReadBytes(Fixture(c.File)), c.Native);
        ASSERT_FALSE(r.Aborted);
        const Pnm ref = ParsePnm(ReadBytes(Fixture(c.Ref)));
        TIEBitmap& b = *r.Bitmap;
        ASSERT_EQ(b.GetPixelFormat(), c.Format);
        ASSERT_EQ(b.GetWidth(), ref.Width);
        ASSERT_EQ(b.GetHeight(), ref.Height);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->Width, ref.Width);
        EXPECT_EQ(r.Params->OriginalHeight, ref.Height);
        int bad = 0;
        for (int32_t y = 0; y < ref.Height; ++y)
            for (int32_t x = 0; x < ref.Width; ++x)
                for (int32_t ch = 0; ch < (c.Format == ie24RGB ? 3 : ref.Channels); ++ch) {
                    // The reference's sample (a grey one for every colour), scaled to the bitmap's depth.
                    uint32_t want = ref.At(x, y, ref.Channels == 3 ? ch : 0);
                    if (ref.MaxVal > 255 && c.Bits == 8) want >>= 8;
                    uint32_t got = 0;
                    const auto* row = static_cast<const uint8_t*>(b.GetScanline(y));
                    switch (c.Format) {
                        case ie24RGB: got = row[x * 3 + 2 - ch]; break;
                        case ie8g: got = row[x]; break;
                        case ie16g: got = row[2 * x] | row[2 * x + 1] << 8; break;
                        case ieRGB48: got = row[6 * x + 2 * ch] | row[6 * x + 2 * ch + 1] << 8; break;
                        default: break;
                    }
                    if (got != want && bad++ < 5)
                        ADD_FAILURE() << x << "," << y << "/" << ch << ": " << got << " want " << want;
                }
        EXPECT_EQ(r.Reports.front(), 0);
        EXPECT_EQ(r.Reports.back(), 100);
    }
}

TEST_F(HDPhotoTest, ResolutionIsTruncatedAndFoundByTheEngine) {
    HdpRead r = Read(ReadBytes(Fixture("dpi.jxr")));
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->DpiX, 299);
    EXPECT_EQ(r.Params->DpiY, 299);
    // Content detection takes the file for HD Photo, also after other bytes.
    std::vector<uint8_t> bytes = ReadBytes(Fixture("rgb24.jxr"));
    EXPECT_EQ(IEFindStreamFormat(MemStream(bytes).get()), ioHDP);
    EXPECT_TRUE(IEIsHDPhotoStream(MemStream(bytes).get()));
    std::vector<uint8_t> tiff = ReadBytes(Fixture("rgb24.jxr"));
    tiff[2] = 42;  // a plain TIFF header: the HD Photo tags are still there
    EXPECT_TRUE(IEIsHDPhotoStream(MemStream(tiff).get()));
    std::vector<uint8_t> big = bytes;
    big[0] = big[1] = 'M';
    EXPECT_FALSE(IEIsHDPhotoStream(MemStream(big).get()));
    auto s = MemStream(bytes);
    s->SetPosition(3);
    EXPECT_FALSE(IEIsHDPhotoStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 3);
}

TEST_F(HDPhotoTest, FramesAndThumbnails) {
    const std::vector<uint8_t> file = ReadBytes(Fixture("rgb24.jxr"));
    // One frame only.
    EXPECT_TRUE(Read(file, false, 1).Aborted);
    EXPECT_TRUE(Read(file, false, -1).Aborted);
    // No thumbnail in the file: the full frame is read.
    HdpRead t = Read(file, false, 0, true);
    ASSERT_FALSE(t.Aborted);
    EXPECT_EQ(t.Bitmap->GetWidth(), 37);
    EXPECT_EQ(t.Params->Width, 37);
}

TEST_F(HDPhotoTest, OurFilesDecodeInJxrDecApp) {
    auto rgb = [](int32_t x, int32_t y) {
        return TRGB{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 11), static_cast<uint8_t>((x * y) & 255)};
    };
    const TIEPixelFormat formats[] = {ie24RGB, ie8g, ie16g, ieRGB48, ie1g, ieCMYK, ie8p};
    for (TIEPixelFormat f : formats) {
        SCOPED_TRACE(static_cast<int>(f));
        auto src = Make24(35, 19, rgb);
        if (f != ie24RGB) {
            ASSERT_TRUE(src->SetPixelFormat(f));
        }
        TIOParamsVals p(nullptr);
        p.HDPhotoLossless = true;
        bool aborted = true;
        const std::vector<uint8_t> file = Write(*src, p, &aborted);
        ASSERT_FALSE(aborted);
        ASSERT_FALSE(file.empty());
        if (f == ieCMYK) {
            // The tool's CMYK decoding: ink amounts, which the bitmap keeps inverted.
            WriteBytes(Temp("c.jxr"), file);
            int st = -1;
            RunCommand("JxrDecApp -i '" + Temp("c.jxr") + "' -o '" + Temp("c.tif") +
                           "' >/dev/null 2>&1 && /usr/bin/convert '" + Temp("c.tif") +
                           "' -depth 8 'cmyk:" + Temp("c.cmyk") + "'",
                       &st);
            ASSERT_EQ(st, 0);
            const std::vector<uint8_t> ink = ReadBytes(Temp("c.cmyk"));
            ASSERT_EQ(ink.size(), 35u * 19 * 4);
            int bad = 0;
            for (int32_t y = 0; y < 19; ++y) {
                const auto* row = static_cast<const uint8_t*>(src->GetScanline(y));
                for (int32_t i = 0; i < 35 * 4; ++i)
                    if (ink[static_cast<size_t>(y) * 140 + i] != 255 - row[i] && bad++ < 5)
                        ADD_FAILURE() << "byte " << i << " of row " << y;
            }
            // Read natively, the bytes come back as they were.
            HdpRead back = Read(file, true);
            ASSERT_FALSE(back.Aborted);
            ASSERT_EQ(back.Bitmap->GetPixelFormat(), ieCMYK);
            for (int32_t y = 0; y < 19; ++y)
                EXPECT_EQ(std::memcmp(back.Bitmap->GetScanline(y), src->GetScanline(y), 140), 0) << y;
            continue;
        }
        const bool deep = f == ie16g || f == ieRGB48;
        const Pnm ref = DecodeWithJxrDecApp(file, folder_, deep);
        ASSERT_EQ(ref.Width, 35);
        ASSERT_EQ(ref.Height, 19);
        int bad = 0;
        for (int32_t y = 0; y < 19; ++y)
            for (int32_t x = 0; x < 35; ++x) {
                const auto* row = static_cast<const uint8_t*>(src->GetScanline(y));
                uint32_t want[3];
                if (f == ie16g) {
                    want[0] = want[1] = want[2] = row[2 * x] | row[2 * x + 1] << 8;
                } else if (f == ieRGB48) {
                    for (int c = 0; c < 3; ++c) want[c] = row[6 * x + 2 * c] | row[6 * x + 2 * c + 1] << 8;
                } else {
                    const TRGB p = src->GetPixelRGB(x, y);
                    want[0] = p.r, want[1] = p.g, want[2] = p.b;
                }
                for (int c = 0; c < ref.Channels; ++c)
                    if (ref.At(x, y, c) != want[c] && bad++ < 5)
                        ADD_FAILURE() << x << "," << y << "/" << c << ": " << ref.At(x, y, c) << " want " << want[c];
            }
        // And our reader gives the tool's pixels back.
        HdpRead back = Read(file, true);
        ASSERT_FALSE(back.Aborted);
        const TIEPixelFormat expected = f == ie8p ? ie24RGB : f;
        EXPECT_EQ(back.Bitmap->GetPixelFormat(), expected);
        for (int32_t y = 0; y < 19; ++y)
            for (int32_t x = 0; x < 35; ++x)
                ASSERT_EQ(back.Bitmap->GetPixelRGB(x, y), src->GetPixelRGB(x, y)) << x << "," << y;
    }
}

TEST_F(HDPhotoTest, LossyFilesWithTheDefaultQuality) {
    const std::vector<uint8_t> plasma = ReadBytes(Fixture("lossy_ref.ppm"));
    TIEBitmap src;
    const RefImage ref = ParseRef(plasma);
    ASSERT_TRUE(src.Allocate(ref.Width, ref.Height, ie24RGB));
    for (int32_t y = 0; y < ref.Height; ++y)
        for (int32_t x = 0; x < ref.Width; ++x)
            src.SetPixel24(x, y, TRGB{ref.At(x, y)[2], ref.At(x, y)[1], ref.At(x, y)[0]});
    TIOParamsVals p(nullptr);
    bool aborted = true;
    const std::vector<uint8_t> file = Write(src, p, &aborted);
    ASSERT_FALSE(aborted);
    const Pnm tool = DecodeWithJxrDecApp(file, folder_);
    HdpRead back = Read(file);
    ASSERT_FALSE(back.Aborted);
    int far = 0;
    for (int32_t y = 0; y < ref.Height; ++y)
        for (int32_t x = 0; x < ref.Width; ++x) {
            const TRGB got = back.Bitmap->GetPixelRGB(x, y);
            // Our reading is the tool's reading, and close to the source.
            ASSERT_EQ(got.r, tool.At(x, y, 0));
            ASSERT_EQ(got.g, tool.At(x, y, 1));
            ASSERT_EQ(got.b, tool.At(x, y, 2));
            if (std::abs(got.r - ref.At(x, y)[0]) > 24) ++far;
        }
    EXPECT_LT(far, ref.Width * ref.Height / 50);
    // Lossy is smaller than lossless.
    p.HDPhotoLossless = true;
    EXPECT_LT(file.size(), Write(src, p).size());
}

// A factory that hands out the real one's objects but records every option written into
// the encoder's option bag.
struct Recorded {
    std::vector<std::u16string> Names;
    std::vector<win::VARIANT> Values;
};

class RecordingBag final : public win::TComObject<win::IPropertyBag2> {
public:
    RecordingBag(win::ComPtr<win::IPropertyBag2> Inner, Recorded* Log) : FInner(std::move(Inner)), FLog(Log) {}
    win::HRESULT Write(win::ULONG Count, win::PROPBAG2* Bag, win::VARIANT* Values) override {
        for (win::ULONG i = 0; i < Count; ++i) {
            FLog->Names.emplace_back(Bag[i].pstrName);
            FLog->Values.push_back(Values[i]);
        }
        return FInner->Write(Count, Bag, Values);
    }

    // Other interfaces are the inner bag's (the encoder finds its own options there).
    win::HRESULT QueryInterface(const win::IID& Iid, void** Object) override {
        if (Iid == win::IID_IUnknown || Iid == win::IID_IPropertyBag2)
            return win::TComObject<win::IPropertyBag2>::QueryInterface(Iid, Object);
        return FInner->QueryInterface(Iid, Object);
    }

protected:
    void* FindInterface(const win::IID& Iid) override {
        return Iid == win::IID_IUnknown || Iid == win::IID_IPropertyBag2 ? static_cast<win::IPropertyBag2*>(this)
                                                                         : nullptr;
    }

private:
    win::ComPtr<win::IPropertyBag2> FInner;
    Recorded* FLog;
};

class RecordingEncoder final : public win::TComObject<win::IWICBitmapEncoder> {
public:
    RecordingEncoder(win::ComPtr<win::IWICBitmapEncoder> Inner, Recorded* Log) : FInner(std::move(Inner)), FLog(Log) {}
    win::HRESULT Initialize(win::IStream* S, win::WICBitmapEncoderCacheOption C) override {
        return FInner->Initialize(S, C);
    }
    win::HRESULT CreateNewFrame(win::IWICBitmapFrameEncode** Frame, win::IPropertyBag2** Options) override {
        win::ComPtr<win::IPropertyBag2> inner;
        const win::HRESULT hr = FInner->CreateNewFrame(Frame, inner.ReleaseAndGetAddressOf());
        if (win::SUCCEEDED(hr) && Options) *Options = new RecordingBag(inner, FLog);
        return hr;
    }
    win::HRESULT Commit() override { return FInner->Commit(); }

protected:
    void* FindInterface(const win::IID& Iid) override {
        return Iid == win::IID_IUnknown || Iid == win::IID_IWICBitmapEncoder
                   ? static_cast<win::IWICBitmapEncoder*>(this)
                   : nullptr;
    }

private:
    win::ComPtr<win::IWICBitmapEncoder> FInner;
    Recorded* FLog;
};

class RecordingFactory final : public win::TComObject<win::IWICImagingFactory> {
public:
    RecordingFactory(win::ComPtr<win::IWICImagingFactory> Inner, Recorded* Log) : FInner(std::move(Inner)), FLog(Log) {}
    win::HRESULT CreateDecoderFromStream(win::IStream* S, const win::GUID* V, win::WICDecodeOptions O,
                                         win::IWICBitmapDecoder** D) override {
        return FInner->CreateDecoderFromStream(S, V, O, D);
    }
    win::HRESULT CreateEncoder(const win::GUID& C, const win::GUID* V, win::IWICBitmapEncoder** E) override {
        win::ComPtr<win::IWICBitmapEncoder> inner;
        const win::HRESULT hr = FInner->CreateEncoder(C, V, inner.ReleaseAndGetAddressOf());
        if (win::SUCCEEDED(hr)) *E = new RecordingEncoder(inner, FLog);
        return hr;
    }
    win::HRESULT CreateFormatConverter(win::IWICFormatConverter** C) override {
        return FInner->CreateFormatConverter(C);
    }

protected:
    void* FindInterface(const win::IID& Iid) override {
        return Iid == win::IID_IUnknown || Iid == win::IID_IWICImagingFactory
                   ? static_cast<win::IWICImagingFactory*>(this)
                   : nullptr;
    }

private:
    win::ComPtr<win::IWICImagingFactory> FInner;
    Recorded* FLog;
};

TEST_F(HDPhotoTest, EncoderOptionsWritten) {
    Recorded log;
    win::CoRegisterClass(win::CLSID_WICImagingFactory, win::CLSCTX_INPROC_SERVER, [&](const win::IID& Iid, void** Out) {
        win::ComPtr<win::IWICImagingFactory> real;
        win::HRESULT hr = win::WICCreateImagingFactory(win::IID_IWICImagingFactory,
                                                       reinterpret_cast<void**>(real.ReleaseAndGetAddressOf()));
        if (win::FAILED(hr)) return hr;
        auto f = win::ComPtr<RecordingFactory>::Attach(new RecordingFactory(real, &log));
        return f->QueryInterface(Iid, Out);
    });
    auto src = Make24(20, 20, [](int32_t x, int32_t y) { return TRGB{9, uint8_t(y), uint8_t(x)}; });
    TIOParamsVals p(nullptr);
    bool aborted = true;
    Write(*src, p, &aborted);
    EXPECT_FALSE(aborted);
    const std::vector<std::u16string> names = {u"ImageQuality",       u"Lossless",       u"HorizontalTileSlices",
                                               u"VerticalTileSlices", u"FrequencyOrder", u"TiffCompressionMethod"};
    EXPECT_EQ(log.Names, names);
    if (log.Values.size() == names.size()) {
        EXPECT_EQ(log.Values[0].vt, win::VT_R4);
        EXPECT_FLOAT_EQ(log.Values[0].fltVal, 0.9f);
        EXPECT_EQ(log.Values[1].vt, win::VT_BOOL);
        EXPECT_EQ(log.Values[1].boolVal, win::VARIANT_FALSE);
        EXPECT_EQ(log.Values[2].vt, win::VT_UI2);
        EXPECT_EQ(log.Values[2].uiVal, 0);
        EXPECT_EQ(log.Values[4].boolVal, win::VARIANT_TRUE);
        EXPECT_EQ(log.Values[5].vt, win::VT_UI1);
        EXPECT_EQ(log.Values[5].bVal, 1);
    }
    // The codec options and tiles through the writer object: the tool still decodes the file.
    log = {};
    {
        cl::TMemoryStream s;
        TIEWICWriter w;
        ASSERT_TRUE(w.Open(&s, ioHDP));
        w.UseCodecOptions = true;
        w.Quality = 1;
        w.Overlap = 2;
        w.Subsampling = 3;
        w.HorizontalTileSlices = 1;
        w.VerticalTileSlices = 1;
        w.FrequencyOrder = false;
        w.CompressionQuality = 0.5;
        ASSERT_TRUE(w.WriteFrame(src.get(), nullptr));
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(log.Names.size(), 10u);  // no image quality without parameters
        const Pnm tool = DecodeWithJxrDecApp(StreamBytes(s), folder_);
        ASSERT_EQ(tool.Width, 20);
        for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(tool.At(x, 7, 0), static_cast<uint32_t>(x));
    }
    win::CoResetClassTable();
}

TEST_F(HDPhotoTest, ExifTagsTravelWithTheFile) {
    auto src = Make24(16, 16, [](int32_t x, int32_t y) { return TRGB{0, uint8_t(y * 9), uint8_t(x * 9)}; });
    TIOParamsVals p(nullptr);
    p.HDPhotoLossless = true;
    p.EXIFMake = "Lumetra Test";
    p.EXIFModel = "Model 7";
    p.SetDpiX(150);
    p.SetDpiY(150);
    p.HasEXIFData = true;
    bool aborted = true;
    const std::vector<uint8_t> file = Write(*src, p, &aborted);
    ASSERT_FALSE(aborted);
    // exiftool sees the tags; JxrDecApp still decodes the pixels.
    WriteBytes(Temp("e.jxr"), file);
    int st = -1;
    const std::string tags = RunCommand("exiftool -s -Make -Model '" + Temp("e.jxr") + "' 2>&1", &st);
    EXPECT_NE(tags.find("Lumetra Test"), std::string::npos) << tags;
    EXPECT_NE(tags.find("Model 7"), std::string::npos) << tags;
    const Pnm tool = DecodeWithJxrDecApp(file, folder_);
    EXPECT_EQ(tool.At(3, 2, 0), 27u);
    HdpRead back = Read(file);
    ASSERT_FALSE(back.Aborted);
    EXPECT_EQ(back.Params->EXIFMake, "Lumetra Test");
    EXPECT_EQ(back.Params->EXIFModel, "Model 7");
    EXPECT_EQ(back.Params->DpiX, 150);
}

TEST_F(HDPhotoTest, DamagedFilesSetTheAbortFlag) {
    const std::vector<uint8_t> good = ReadBytes(Fixture("tiled.jxr"));
    auto put32 = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        return b;
    };
    // The offset of the directory entry of Tag.
    auto entry = [&](uint16_t Tag) -> size_t {
        const uint32_t ifd = IEGetLE32(good.data() + 4);
        const uint16_t n = IEGetLE16(good.data() + ifd);
        for (uint16_t i = 0; i < n; ++i)
            if (IEGetLE16(good.data() + ifd + 2 + 12 * i) == Tag) return ifd + 2 + 12 * i;
        ADD_FAILURE() << "no tag " << Tag;
        return 0;
    };
    const size_t image = IEGetLE32(good.data() + entry(0xBCC0) + 8);
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
    } cases[] = {
        {"empty", {}},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 8)},
        {"cut in the directory", std::vector<uint8_t>(good.begin(), good.begin() + 60)},
        {"cut in the image",
         std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(image + 40))},
        {"cut near the end", std::vector<uint8_t>(good.begin(), good.end() - 30)},
        {"directory beyond the file", put32(good, 4, 0x7FFFFFF0)},
        {"image beyond the file", put32(good, entry(0xBCC0) + 8, 0x7FFFFFF0)},
        {"image longer than the file", put32(good, entry(0xBCC1) + 8, 0x7FFFFFF0)},
        {"huge width", put32(good, entry(0xBC80) + 8, 0x40000000)},
        {"zero height", put32(good, entry(0xBC81) + 8, 0)},
        {"width unlike the image's", put32(good, entry(0xBC80) + 8, 65)},
        {"big-endian",
         [&] {
             auto b = good;
             b[0] = b[1] = 'M';
             return b;
         }()},
        {"image signature",
         [&] {
             auto b = good;
             b[image] = 'X';
             return b;
         }()},
        {"coded size huge",
         [&] {
             auto b = good;
             b[image + 12] = 0xFF;
             b[image + 13] = 0xFF;
             return b;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_TRUE(Read(c.Bytes).Aborted);
    }
    // Bytes of the coded image flipped one after another: a clean failure or a picture.
    for (size_t i = image + 8; i < std::min(good.size(), image + 200); i += 3) {
        auto b = good;
        b[i] ^= 0xA5;
        HdpRead r = Read(b);
        if (!r.Aborted) {
            EXPECT_EQ(r.Bitmap->GetWidth(), 64);
        }
    }
}

TEST_F(HDPhotoTest, WithoutTheImagingComponent) {
    const std::vector<uint8_t> file = ReadBytes(Fixture("rgb24.jxr"));
    ASSERT_TRUE(win::CoUnregisterClass(win::CLSID_WICImagingFactory));
    {
        TIEWICReader r;
        EXPECT_FALSE(r.IsAvailable());
        auto s = MemStream(file);
        EXPECT_FALSE(r.Open(s.get(), ioHDP));
        std::atomic<bool> abort{false};
        TIEBitmap b;
        r.ReadFrame(0, &b, &abort, nullptr);
        EXPECT_TRUE(abort);
        EXPECT_TRUE(Read(file).Aborted);
        TIEWICWriter w;
        EXPECT_FALSE(w.IsAvailable());
    }
    win::CoResetClassTable();
    // The engine's availability answer: no entry, and a direct write leaves the stream alone.
    auto saved = IEWICAvailable;
    IEWICAvailable = [] { return false; };
    IEBuildFormatRegistry();
    EXPECT_EQ(IEFindFormatInfo(ioHDP), nullptr);
    auto src = Make24(4, 4, [](int32_t, int32_t) { return TRGB{1, 2, 3}; });
    TIOParamsVals p(nullptr);
    cl::TMemoryStream s;
    s.Write("abc", 3);
    Progress pr;
    IEWriteHDPhotoStream(&s, src.get(), p, pr.Rec);
    EXPECT_TRUE(pr.Aborting);
    EXPECT_EQ(s.GetSize(), 3);
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_TRUE(Read(file).Aborted);
    IEWICAvailable = saved;
    EXPECT_TRUE(IEWICAvailable());
}

TEST_F(HDPhotoTest, OtherFileTypesAndTheReaderObject) {
    const std::vector<uint8_t> file = ReadBytes(Fixture("gray8.jxr"));
    TIEWICReader r;
    ASSERT_TRUE(r.IsAvailable());
    auto s = MemStream(file);
    // Containers the component does not decode, and types it does not know.
    EXPECT_FALSE(r.Open(s.get(), ioPNG));
    EXPECT_FALSE(r.Open(s.get(), ioPCX));
    EXPECT_EQ(r.GetFrameWidth(), 0);
    ASSERT_TRUE(r.Open(s.get(), ioHDP));
    TIEBitmap b;
    std::atomic<bool> abort{false};
    r.ReadFrame(0, &b, &abort, nullptr);
    EXPECT_FALSE(abort);
    // Without parameters the native format is kept.
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(r.GetFrameWidth(), 37);
    EXPECT_EQ(r.GetFrameHeight(), 21);
    TIEWICWriter w;
    cl::TMemoryStream out;
    EXPECT_FALSE(w.Open(&out, ioICO));
    EXPECT_FALSE(w.Open(&out, ioPCX));
    EXPECT_FALSE(w.WriteFrame(&b, nullptr));
}

TEST_F(HDPhotoTest, TheCommandLineToolConvertsBothWays) {
    std::ostringstream out, err;
    ASSERT_EQ(lumetra_image::Run({"convert", Fixture("rgb24.jxr"), Temp("a.png")}, out, err), 0) << err.str();
    const RefImage png = DecodeWithImageMagick(Temp("a.png"));
    const Pnm ref = ParsePnm(ReadBytes(Fixture("rgb24_ref.ppm")));
    ASSERT_EQ(png.Width, ref.Width);
    ASSERT_EQ(png.Pixels.size(), ref.Samples.size());
    for (size_t i = 0; i < png.Pixels.size(); ++i) ASSERT_EQ(png.Pixels[i], ref.Samples[i]) << i;
    // And back, with the default quality: close to the picture.
    ASSERT_EQ(lumetra_image::Run({"convert", Temp("a.png"), Temp("b.jxr")}, out, err), 0) << err.str();
    const Pnm back = DecodeWithJxrDecApp(ReadBytes(Temp("b.jxr")), folder_);
    ASSERT_EQ(back.Width, ref.Width);
    ASSERT_EQ(back.Height, ref.Height);
    double diff = 0;
    for (size_t i = 0; i < ref.Samples.size(); ++i)
        diff += std::abs(static_cast<int>(back.Samples[i]) - static_cast<int>(ref.Samples[i]));
    EXPECT_LT(diff / static_cast<double>(ref.Samples.size()), 4.0);
}

}  // namespace
}  // namespace ie::test
