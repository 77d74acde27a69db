// The COM core (reference counts, per-thread initialisation, the class table) and the
// imaging component's objects: decoders, format converters, encoders and option bags.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/com.h"
#include "platform/wic.h"

namespace win {
namespace {

const IID IID_ITestThing = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, 8}};

class ITestThing : public IUnknown {
public:
    virtual int Value() = 0;
};

class TTestThing final : public TComObject<ITestThing> {
public:
    explicit TTestThing(int* Destroyed) : FDestroyed(Destroyed) {}
    ~TTestThing() override { ++*FDestroyed; }
    int Value() override { return 42; }

protected:
    void* FindInterface(const IID& Iid) override {
        return Iid == IID_IUnknown || Iid == IID_ITestThing ? static_cast<ITestThing*>(this) : nullptr;
    }

private:
    int* FDestroyed;
};

// A growable in-memory stream.
class TMemStream final : public TComObject<IStream> {
public:
    std::vector<uint8_t> Data;
    size_t Pos = 0;
    HRESULT Read(void* B, ULONG N, ULONG* Done) override {
        const size_t n = Pos < Data.size() ? std::min<size_t>(N, Data.size() - Pos) : 0;
        if (n) std::memcpy(B, Data.data() + Pos, n);
        Pos += n;
        if (Done) *Done = static_cast<ULONG>(n);
        return n == N ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* B, ULONG N, ULONG* Done) override {
        if (Pos + N > Data.size()) Data.resize(Pos + N);
        std::memcpy(Data.data() + Pos, B, N);
        Pos += N;
        if (Done) *Done = N;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER Move, DWORD Origin, ULARGE_INTEGER* New) override {
        const int64_t base = Origin == STREAM_SEEK_SET   ? 0
                             : Origin == STREAM_SEEK_CUR ? static_cast<int64_t>(Pos)
                                                         : static_cast<int64_t>(Data.size());
        Pos = static_cast<size_t>(std::max<int64_t>(0, base + Move.QuadPart));
        if (New) New->QuadPart = Pos;
        return S_OK;
    }
    HRESULT Stat(STATSTG* S, DWORD) override {
        S->cbSize.QuadPart = Data.size();
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        return Iid == IID_IUnknown || Iid == IID_IStream ? static_cast<IStream*>(this) : nullptr;
    }
};

// A bitmap source of given bytes in a given pixel format.
class TFakeSource final : public TComObject<IWICBitmapSource> {
public:
    TFakeSource(GUID Format, UINT W, UINT H, UINT Bpp, std::vector<uint8_t> Bytes)
        : FFormat(Format), FW(W), FH(H), FBpp(Bpp), FBytes(std::move(Bytes)) {}
    HRESULT GetSize(UINT* W, UINT* H) override {
        *W = FW;
        *H = FH;
        return S_OK;
    }
    HRESULT GetPixelFormat(WICPixelFormatGUID* F) override {
        *F = FFormat;
        return S_OK;
    }
    HRESULT GetResolution(double* X, double* Y) override {
        *X = *Y = 72;
        return S_OK;
    }
    HRESULT CopyPixels(const WICRect* R, UINT Stride, UINT, BYTE* B) override {
        const size_t row = FW * FBpp / 8;
        for (int32_t y = 0; y < R->Height; ++y)
            std::memcpy(B + Stride * y, FBytes.data() + row * (R->Y + y) + R->X * FBpp / 8, R->Width * FBpp / 8);
        return S_OK;
    }

protected:
    void* FindInterface(const IID& Iid) override {
        return Iid == IID_IUnknown || Iid == IID_IWICBitmapSource ? static_cast<IWICBitmapSource*>(this) : nullptr;
    }

private:
    GUID FFormat;
    UINT FW, FH, FBpp;
    std::vector<uint8_t> FBytes;
};

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override {
        CoUninitialize();
        CoResetClassTable();
    }
    ComPtr<IWICImagingFactory> Factory() {
        ComPtr<IWICImagingFactory> f;
        EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(f.ReleaseAndGetAddressOf())),
                  S_OK);
        return f;
    }
};

TEST(ComCore, ReferenceCountsAndInterfaces) {
    int destroyed = 0;
    auto* t = new TTestThing(&destroyed);
    EXPECT_EQ(t->AddRef(), 2u);
    void* p = nullptr;
    EXPECT_EQ(t->QueryInterface(IID_ITestThing, &p), S_OK);
    EXPECT_EQ(p, static_cast<ITestThing*>(t));
    EXPECT_EQ(t->Release(), 2u);  // the reference QueryInterface added
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(t->QueryInterface(IID_IStream, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(t->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(t->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    {
        auto a = ComPtr<TTestThing>::Attach(t);
        ComPtr<TTestThing> b = a;  // 2
        ComPtr<TTestThing> c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(c->Value(), 42);
        c.Reset();
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ComCore, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitializeCount(), 0);
    EXPECT_EQ(OleInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    std::thread([] {
        EXPECT_EQ(CoInitializeCount(), 0);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    }).join();
    EXPECT_EQ(CoInitializeCount(), 2);
    CoUninitialize();
    OleUninitialize();
    OleUninitialize();  // one more than initialised: nothing
    EXPECT_EQ(CoInitializeCount(), 0);
    // Objects are made only on initialised threads.
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, &p),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(p, nullptr);
}

TEST_F(ComTest, ClassTable) {
    const CLSID unknown = {0xDEAD, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    void* p = nullptr;
    struct {
        CLSID Clsid;
        DWORD Context;
        IUnknown* Outer;
        HRESULT Result;
    } cases[] = {
        {unknown, CLSCTX_INPROC_SERVER, nullptr, REGDB_E_CLASSNOTREG},
        {CLSID_WICImagingFactory, CLSCTX_LOCAL_SERVER, nullptr, REGDB_E_CLASSNOTREG},
        {CLSID_WICImagingFactory, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, nullptr, S_OK},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CoCreateInstance(c.Clsid, c.Outer, c.Context, IID_IUnknown, &p), c.Result);
        EXPECT_EQ(p != nullptr, c.Result == S_OK);
        if (p) static_cast<IUnknown*>(p)->Release();
    }
    EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IStream, &p), E_NOINTERFACE);
    EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);

    // A registered class is created through its creator; an outer object is refused.
    int destroyed = 0, created = 0;
    CoRegisterClass(unknown, CLSCTX_LOCAL_SERVER, [&](const IID& Iid, void** Out) {
        ++created;
        auto t = ComPtr<TTestThing>::Attach(new TTestThing(&destroyed));
        return t->QueryInterface(Iid, Out);
    });
    ASSERT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_LOCAL_SERVER, IID_ITestThing, &p), S_OK);
    EXPECT_EQ(static_cast<ITestThing*>(p)->Value(), 42);
    EXPECT_EQ(static_cast<ITestThing*>(p)->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_LOCAL_SERVER, IID_IStream, &p), E_NOINTERFACE);
    EXPECT_EQ(destroyed, 2);
    int outerDestroyed = 0;
    auto outer = ComPtr<TTestThing>::Attach(new TTestThing(&outerDestroyed));
    EXPECT_EQ(CoCreateInstance(unknown, outer.Get(), CLSCTX_LOCAL_SERVER, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(created, 2);

    EXPECT_TRUE(CoUnregisterClass(unknown));
    EXPECT_FALSE(CoUnregisterClass(unknown));
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    // The imaging factory can be taken away and comes back with the reset.
    EXPECT_TRUE(CoUnregisterClass(CLSID_WICImagingFactory));
    EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
              REGDB_E_CLASSNOTREG);
    CoResetClassTable();
    ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
}

TEST_F(ComTest, FormatConversions) {
    auto f = Factory();
    ASSERT_TRUE(f);
    struct Case {
        const GUID* From;
        UINT Bpp;
        std::vector<uint8_t> Bytes;  // two pixels
        const GUID* To;
        HRESULT Init;
        std::vector<uint8_t> Want;
        // clang-format off
    } cases[] = {
        {&GUID_WICPixelFormat8bppGray, 8, {10, 200}, &GUID_WICPixelFormat24bppBGR, S_OK, {10, 10, 10, 200, 200, 200}},
        {&GUID_WICPixelFormat16bppGray, 16, {0x34, 0x12, 0xFF, 0xAB}, &GUID_WICPixelFormat24bppBGR, S_OK,
         {0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}},
        {&GUID_WICPixelFormat16bppGray, 16, {0x34, 0x12, 0xFF, 0xAB}, &GUID_WICPixelFormat16bppGray, S_OK,
         {0x34, 0x12, 0xFF, 0xAB}},
        {&GUID_WICPixelFormat24bppRGB, 24, {1, 2, 3, 4, 5, 6}, &GUID_WICPixelFormat24bppBGR, S_OK, {3, 2, 1, 6, 5, 4}},
        {&GUID_WICPixelFormat32bppBGRA, 32, {1, 2, 3, 9, 4, 5, 6, 9}, &GUID_WICPixelFormat24bppBGR, S_OK,
         {1, 2, 3, 4, 5, 6}},
        {&GUID_WICPixelFormat48bppRGB, 48, {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}, &GUID_WICPixelFormat24bppBGR, S_OK,
         {3, 2, 1, 6, 5, 4}},
        // Inks to colours: white paper, full black, half cyan.
        {&GUID_WICPixelFormat32bppCMYK, 32, {0, 0, 0, 0, 0, 0, 0, 255}, &GUID_WICPixelFormat24bppBGR, S_OK,
         {255, 255, 255, 0, 0, 0}},
        {&GUID_WICPixelFormat32bppCMYK, 32, {128, 0, 0, 0, 0, 0, 0, 0}, &GUID_WICPixelFormat32bppCMYK, S_OK,
         {128, 0, 0, 0, 0, 0, 0, 0}},
        {&GUID_WICPixelFormatBlackWhite, 8, {0xC0}, &GUID_WICPixelFormat24bppBGR, WINCODEC_ERR_UNSUPPORTEDOPERATION, {}},
        {&GUID_WICPixelFormat24bppBGR, 24, {1, 2, 3, 4, 5, 6}, &GUID_WICPixelFormat8bppGray,
         WINCODEC_ERR_UNSUPPORTEDOPERATION, {}},
        {&GUID_WICPixelFormat8bppIndexed, 8, {1, 2}, &GUID_WICPixelFormat24bppBGR, WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        const UINT w = c.From == &GUID_WICPixelFormatBlackWhite ? 2 : 2;
        auto src = ComPtr<TFakeSource>::Attach(new TFakeSource(*c.From, w, 1, c.Bpp, c.Bytes));
        ComPtr<IWICFormatConverter> conv;
        ASSERT_EQ(f->CreateFormatConverter(conv.ReleaseAndGetAddressOf()), S_OK);
        UINT cw = 0, ch = 0;
        EXPECT_EQ(conv->GetSize(&cw, &ch), WINCODEC_ERR_NOTINITIALIZED);
        ASSERT_EQ(conv->Initialize(src.Get(), *c.To, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom),
                  c.Init);
        if (c.Init != S_OK) continue;
        EXPECT_EQ(conv->Initialize(src.Get(), *c.To, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom),
                  WINCODEC_ERR_WRONGSTATE);
        std::vector<uint8_t> out(c.Want.size() + 4, 0xEE);
        const WICRect all{0, 0, 2, 1};
        ASSERT_EQ(
            conv->CopyPixels(&all, static_cast<UINT>(c.Want.size()), static_cast<UINT>(c.Want.size()), out.data()),
            S_OK);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.Want.size())), c.Want);
        EXPECT_EQ(out[c.Want.size()], 0xEE);  // nothing beyond
        // Rectangles outside and buffers too small are refused.
        const WICRect outside{1, 0, 2, 1};
        EXPECT_EQ(conv->CopyPixels(&outside, 64, 64, out.data()), E_INVALIDARG);
        EXPECT_EQ(
            conv->CopyPixels(&all, static_cast<UINT>(c.Want.size()), static_cast<UINT>(c.Want.size()) - 1, out.data()),
            E_INVALIDARG);
    }
}

// Encodes W x H pixels of Format (bytes per row Row) through the factory; the file.
std::vector<uint8_t> EncodeWith(IWICImagingFactory* F, const GUID& Format, UINT W, UINT H, UINT Row,
                                std::vector<uint8_t> Pixels) {
    ComPtr<IWICBitmapEncoder> enc;
    EXPECT_EQ(F->CreateEncoder(GUID_ContainerFormatWmp, &GUID_VendorMicrosoft, enc.ReleaseAndGetAddressOf()), S_OK);
    auto stream = ComPtr<TMemStream>::Attach(new TMemStream());
    EXPECT_EQ(enc->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> bag;
    EXPECT_EQ(enc->CreateNewFrame(frame.ReleaseAndGetAddressOf(), bag.ReleaseAndGetAddressOf()), S_OK);
    PROPBAG2 p;
    p.dwType = PROPBAG2_TYPE_DATA;
    p.pstrName = u"Lossless";
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    EXPECT_EQ(bag->Write(1, &p, &v), S_OK);
    EXPECT_EQ(frame->Initialize(bag.Get()), S_OK);
    EXPECT_EQ(frame->SetSize(W, H), S_OK);
    EXPECT_EQ(frame->SetResolution(300, 150), S_OK);
    GUID fmt = Format;
    EXPECT_EQ(frame->SetPixelFormat(&fmt), S_OK);
    EXPECT_EQ(fmt, Format);
    EXPECT_EQ(frame->WritePixels(H, Row, Row * H, Pixels.data()), S_OK);
    EXPECT_EQ(frame->Commit(), S_OK);
    EXPECT_EQ(enc->Commit(), S_OK);
    return stream->Data;
}

TEST_F(ComTest, EncodeAndDecodeEveryLayout) {
    auto f = Factory();
    struct Case {
        const GUID* Format;
        UINT Bpp;
    } cases[] = {{&GUID_WICPixelFormatBlackWhite, 1}, {&GUID_WICPixelFormat8bppGray, 8},
                 {&GUID_WICPixelFormat16bppGray, 16}, {&GUID_WICPixelFormat24bppBGR, 24},
                 {&GUID_WICPixelFormat48bppRGB, 48},  {&GUID_WICPixelFormat32bppCMYK, 32}};
    const UINT w = 21, h = 18;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bpp);
        const UINT row = (w * c.Bpp + 7) / 8;
        std::vector<uint8_t> px(row * h);
        for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 37 + i / row * 11);
        if (c.Bpp == 1)
            for (UINT y = 0; y < h; ++y) px[y * row + row - 1] &= 0xF8;  // the unused bits of the last byte
        const std::vector<uint8_t> file = EncodeWith(f.Get(), *c.Format, w, h, row, px);
        ASSERT_GT(file.size(), 16u);
        auto in = ComPtr<TMemStream>::Attach(new TMemStream());
        in->Data = file;
        ComPtr<IWICBitmapDecoder> dec;
        ASSERT_EQ(f->CreateDecoderFromStream(in.Get(), &CLSID_WICWmpDecoder, WICDecodeMetadataCacheOnLoad,
                                             dec.ReleaseAndGetAddressOf()),
                  S_OK);
        ComPtr<IWICBitmapFrameDecode> frame;
        EXPECT_EQ(dec->GetFrame(1, frame.ReleaseAndGetAddressOf()), E_INVALIDARG);
        ASSERT_EQ(dec->GetFrame(0, frame.ReleaseAndGetAddressOf()), S_OK);
        GUID fmt;
        ASSERT_EQ(frame->GetPixelFormat(&fmt), S_OK);
        EXPECT_EQ(fmt, *c.Format);
        double dx = 0, dy = 0;
        EXPECT_EQ(frame->GetResolution(&dx, &dy), S_OK);
        EXPECT_NEAR(dx, 300, 0.01);
        EXPECT_NEAR(dy, 150, 0.01);
        ComPtr<IWICBitmapSource> thumb;
        EXPECT_EQ(frame->GetThumbnail(thumb.ReleaseAndGetAddressOf()), WINCODEC_ERR_CODECNOTHUMBNAIL);
        std::vector<uint8_t> back(px.size());
        ASSERT_EQ(frame->CopyPixels(nullptr, row, row * h, back.data()), S_OK);
        EXPECT_EQ(back, px);
        // A part of the picture, at an odd column for one-bit pixels too.
        const WICRect part{3, 5, 9, 2};
        const UINT prow = (9 * c.Bpp + 7) / 8;
        std::vector<uint8_t> got(prow * 2);
        ASSERT_EQ(frame->CopyPixels(&part, prow, prow * 2, got.data()), S_OK);
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 9; ++x) {
                if (c.Bpp == 1) {
                    const UINT sx = 3 + x;
                    EXPECT_EQ((got[y * prow + x / 8] >> (7 - x % 8)) & 1,
                              (px[(5 + y) * row + sx / 8] >> (7 - sx % 8)) & 1);
                } else {
                    const UINT b = c.Bpp / 8;
                    EXPECT_EQ(std::memcmp(&got[y * prow + x * b], &px[(5 + y) * row + (3 + x) * b], b), 0);
                }
            }
    }
}

TEST_F(ComTest, EncoderStatesAndOptions) {
    auto f = Factory();
    ComPtr<IWICBitmapEncoder> enc;
    EXPECT_EQ(f->CreateEncoder(GUID_ContainerFormatPng, &GUID_VendorMicrosoft, enc.ReleaseAndGetAddressOf()),
              WINCODEC_ERR_COMPONENTNOTFOUND);
    ASSERT_EQ(f->CreateEncoder(GUID_ContainerFormatWmp, nullptr, enc.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> bag;
    EXPECT_EQ(enc->CreateNewFrame(frame.ReleaseAndGetAddressOf(), bag.ReleaseAndGetAddressOf()),
              WINCODEC_ERR_NOTINITIALIZED);
    EXPECT_EQ(enc->Commit(), WINCODEC_ERR_WRONGSTATE);
    auto stream = ComPtr<TMemStream>::Attach(new TMemStream());
    ASSERT_EQ(enc->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
    EXPECT_EQ(enc->Initialize(stream.Get(), WICBitmapEncoderNoCache), WINCODEC_ERR_WRONGSTATE);
    EXPECT_EQ(enc->Commit(), WINCODEC_ERR_FRAMEMISSING);
    ASSERT_EQ(enc->CreateNewFrame(frame.ReleaseAndGetAddressOf(), bag.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IWICBitmapFrameEncode> second;
    EXPECT_EQ(enc->CreateNewFrame(second.ReleaseAndGetAddressOf(), nullptr), WINCODEC_ERR_UNSUPPORTEDOPERATION);

    // Options: known names with their types and ranges.
    struct Option {
        const char16_t* Name;
        VARTYPE Type;
        double Value;
        HRESULT Result;
        // clang-format off
    } options[] = {
        {u"ImageQuality", VT_R4, 0.5, S_OK},        {u"ImageQuality", VT_R4, 1.5, E_INVALIDARG},
        {u"ImageQuality", VT_UI1, 1, E_INVALIDARG}, {u"CompressionQuality", VT_R4, 0.2, S_OK},
        {u"Quality", VT_UI1, 0, E_INVALIDARG},     {u"Quality", VT_UI1, 200, S_OK},
        {u"Overlap", VT_UI1, 3, E_INVALIDARG},     {u"Subsampling", VT_UI1, 4, E_INVALIDARG},
        {u"VerticalTileSlices", VT_UI2, 4096, E_INVALIDARG}, {u"FrequencyOrder", VT_BOOL, 0, S_OK},
        {u"TiffCompressionMethod", VT_UI1, 5, S_OK}, {u"NoSuchOption", VT_BOOL, 1, E_INVALIDARG},
    };
    // clang-format on
    for (const Option& o : options) {
        PROPBAG2 p;
        p.dwType = PROPBAG2_TYPE_DATA;
        p.pstrName = o.Name;
        VARIANT v;
        v.vt = o.Type;
        if (o.Type == VT_R4)
            v.fltVal = static_cast<float>(o.Value);
        else if (o.Type == VT_BOOL)
            v.boolVal = o.Value ? VARIANT_TRUE : VARIANT_FALSE;
        else if (o.Type == VT_UI1)
            v.bVal = static_cast<BYTE>(o.Value);
        else
            v.uiVal = static_cast<USHORT>(o.Value);
        EXPECT_EQ(bag->Write(1, &p, &v), o.Result);
    }
    // Pixels before the size, a foreign bag, then the frame's own.
    BYTE px[12] = {};
    EXPECT_EQ(frame->WritePixels(1, 12, 12, px), WINCODEC_ERR_WRONGSTATE);
    auto foreign = ComPtr<TMemStream>::Attach(new TMemStream());
    ASSERT_EQ(frame->Initialize(bag.Get()), S_OK);
    EXPECT_EQ(frame->Initialize(bag.Get()), WINCODEC_ERR_WRONGSTATE);
    PROPBAG2 late;
    late.pstrName = u"Lossless";
    VARIANT lv;
    lv.vt = VT_BOOL;
    lv.boolVal = VARIANT_TRUE;
    EXPECT_EQ(bag->Write(1, &late, &lv), WINCODEC_ERR_WRONGSTATE);
    EXPECT_EQ(frame->SetSize(0, 4), E_INVALIDARG);
    ASSERT_EQ(frame->SetSize(4, 2), S_OK);
    EXPECT_EQ(frame->SetResolution(-1, 72), E_INVALIDARG);
    GUID fmt = GUID_WICPixelFormat32bppBGRA;
    ASSERT_EQ(frame->SetPixelFormat(&fmt), S_OK);
    EXPECT_EQ(fmt, GUID_WICPixelFormat24bppBGR);  // the nearest the encoder takes
    EXPECT_EQ(frame->WritePixels(1, 12, 11, px), E_INVALIDARG);
    EXPECT_EQ(frame->WritePixels(3, 12, 36, px), E_INVALIDARG);  // more rows than the picture
    ASSERT_EQ(frame->WritePixels(1, 12, 12, px), S_OK);
    EXPECT_EQ(frame->Commit(), WINCODEC_ERR_WRONGSTATE);  // a row is missing
    ASSERT_EQ(frame->WritePixels(1, 12, 12, px), S_OK);
    ASSERT_EQ(frame->Commit(), S_OK);
    ASSERT_EQ(enc->Commit(), S_OK);
    EXPECT_EQ(stream->Data[0], 'I');
    EXPECT_EQ(stream->Data[2], 0xBC);

    // A frame refuses a bag that is not an option bag of this encoder.
    ComPtr<IWICBitmapEncoder> enc2;
    ASSERT_EQ(f->CreateEncoder(GUID_ContainerFormatWmp, nullptr, enc2.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(enc2->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
    ComPtr<IWICBitmapFrameEncode> frame2;
    ASSERT_EQ(enc2->CreateNewFrame(frame2.ReleaseAndGetAddressOf(), nullptr), S_OK);
    EXPECT_EQ(frame2->Initialize(bag.Get()), E_INVALIDARG);
}

TEST_F(ComTest, DecoderRefusesOtherData) {
    auto f = Factory();
    auto s = ComPtr<TMemStream>::Attach(new TMemStream());
    ComPtr<IWICBitmapDecoder> dec;
    EXPECT_EQ(f->CreateDecoderFromStream(s.Get(), nullptr, WICDecodeMetadataCacheOnLoad, dec.ReleaseAndGetAddressOf()),
              WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
    s->Data = {0x89, 'P', 'N', 'G', 0, 0, 0, 0};
    EXPECT_EQ(f->CreateDecoderFromStream(s.Get(), nullptr, WICDecodeMetadataCacheOnLoad, dec.ReleaseAndGetAddressOf()),
              WINCODEC_ERR_COMPONENTNOTFOUND);
    EXPECT_EQ(f->CreateDecoderFromStream(s.Get(), &CLSID_WICPngDecoder, WICDecodeMetadataCacheOnLoad,
                                         dec.ReleaseAndGetAddressOf()),
              WINCODEC_ERR_COMPONENTNOTFOUND);
    s->Data.assign(64, 0);
    s->Data[0] = s->Data[1] = 'I';
    s->Data[2] = 0xBC;
    EXPECT_EQ(f->CreateDecoderFromStream(s.Get(), nullptr, WICDecodeMetadataCacheOnLoad, dec.ReleaseAndGetAddressOf()),
              WINCODEC_ERR_BADIMAGE);
    EXPECT_FALSE(dec);
    // The stream stands where it stood.
    EXPECT_EQ(s->Pos, 0u);
}

}  // namespace
}  // namespace win
