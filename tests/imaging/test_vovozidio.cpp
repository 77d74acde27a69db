// The input/output component: loading and saving through files, streams and memory, the
// per-format family, failures, stream headers, finishing steps and attachments.
#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "classlib/ExtCtrls.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging_fixture.h"
#include "vovozidio_fakeview.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

class IOTest : public IOUnitTest {
protected:
    void SetUp() override {
        IOUnitTest::SetUp();
        dir_ = folder_;
        RegisterTestFormat();
        io_ = std::make_unique<TVovozIdIO>(nullptr);
        io_->OnFinishWork = [this](cl::TObject*) { ++finished_; };
        io_->OnProgress = [this](cl::TObject*, int p) { progress_.push_back(p); };
    }
    void TearDown() override {
        io_.reset();
        IOUnitTest::TearDown();
    }
    void Put(const std::string& name, const std::vector<uint8_t>& data) {
        std::ofstream(dir_ + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    std::vector<uint8_t> Get(const std::string& name) {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    TIEBitmap& Bmp() { return *io_->GetIEBitmap(); }

    std::string dir_;
    std::unique_ptr<TVovozIdIO> io_;
    int finished_ = 0;
    std::vector<int> progress_;
};

// The pixels of the test image's bytes.
std::vector<uint8_t> PixelsOf(const std::vector<uint8_t>& bytes) { return {bytes.begin() + 13, bytes.end()}; }

TEST_F(IOTest, FileStreamAndMemoryGiveTheSamePixels) {
    const auto bytes = TestImageBytes(7, 5);
    Put("a.ltst", bytes);
    const auto expected = PixelsOf(bytes);

    io_->LoadFromFile(Path("a.ltst"));
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(PixelBytes(Bmp()), expected);
    EXPECT_EQ(io_->Params().FileType, ioTestFormat);
    EXPECT_EQ(io_->Params().FileName, Path("a.ltst"));

    TVovozIdIO viaStream(nullptr);
    TIEMemStream s(bytes.data(), static_cast<int64_t>(bytes.size()));
    viaStream.LoadFromStream(&s);
    ASSERT_FALSE(viaStream.Aborting);
    EXPECT_EQ(PixelBytes(*viaStream.GetIEBitmap()), expected);
    EXPECT_EQ(viaStream.Params().FileType, ioTestFormat);
    EXPECT_TRUE(viaStream.Params().FileName.empty());

    TVovozIdIO viaBuffer(nullptr);
    viaBuffer.LoadFromBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_FALSE(viaBuffer.Aborting);
    EXPECT_EQ(PixelBytes(*viaBuffer.GetIEBitmap()), expected);

    TVovozIdIO auto_(nullptr);
    Put("a.bmp", bytes);  // content decides over the name
    auto_.LoadFromFileAuto(Path("a.bmp"));
    ASSERT_FALSE(auto_.Aborting);
    EXPECT_EQ(PixelBytes(*auto_.GetIEBitmap()), expected);
}

TEST_F(IOTest, SaveAndLoadBackThroughEveryPath) {
    FillPattern(Bmp(), 9, 4);
    const auto expected = PixelBytes(Bmp());
    io_->SaveToFile(Path("b.ltst"));
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(io_->Params().FileType, ioTestFormat);
    cl::TMemoryStream ms;
    io_->SaveToStream(&ms, ioTestFormat);
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(Get("b.ltst"), std::vector<uint8_t>(static_cast<uint8_t*>(ms.GetMemory()),
                                                  static_cast<uint8_t*>(ms.GetMemory()) + ms.GetSize()));
    TVovozIdIO back(nullptr);
    back.LoadFromFile(Path("b.ltst"));
    EXPECT_EQ(PixelBytes(*back.GetIEBitmap()), expected);
}

TEST_F(IOTest, ProgressAndFinishWork) {
    const auto bytes = TestImageBytes(3, 4);
    io_->LoadFromBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(finished_, 1);
    EXPECT_EQ(progress_, (std::vector<int>{25, 50, 75, 100, 100}));  // rows, then the finish
}

// Every failure leaves the abort flag set, the bitmap as it was, and finishes the work once.
TEST_F(IOTest, FailuresSetAbortingAndKeepTheBitmap) {
    const auto good = TestImageBytes(4, 4);
    auto truncated = good;
    truncated.resize(good.size() - 5);
    std::vector<uint8_t> random(300);
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<uint8_t>(i * 37 + 101);
    Put("random.ltst", random);
    Put("short.ltst", truncated);
    Put("good.xyz", good);
    const struct {
        const char* name;
        std::function<void(TVovozIdIO&)> run;
    } cases[] = {
        {"unrecognised content",
         [&](TVovozIdIO& io) {
             TIEMemStream s(random.data(), 300);
             io.LoadFromStream(&s);
         }},
        {"truncated data",
         [&](TVovozIdIO& io) { io.LoadFromBuffer(truncated.data(), static_cast<int64_t>(truncated.size())); }},
        {"unregistered type",
         [&](TVovozIdIO& io) {
             TIEMemStream s(good.data(), static_cast<int64_t>(good.size()));
             io.LoadFromStreamFormat(&s, 77);
         }},
        {"built-in type without its codec",
         [&](TVovozIdIO& io) {
             TIEMemStream s(good.data(), static_cast<int64_t>(good.size()));
             io.LoadFromStreamFormat(&s, ioPNG);
         }},
        {"null buffer", [&](TVovozIdIO& io) { io.LoadFromBuffer(nullptr, 10); }},
        {"empty buffer", [&](TVovozIdIO& io) { io.LoadFromBuffer(good.data(), 0); }},
        {"negative size", [&](TVovozIdIO& io) { io.LoadFromBuffer(good.data(), -5); }},
        {"unknown extension", [&](TVovozIdIO& io) { io.LoadFromFile(Path("good.xyz")); }},
        {"empty file name", [&](TVovozIdIO& io) { io.LoadFromFile(cl::WideString()); }},
        {"random file", [&](TVovozIdIO& io) { io.LoadFromFile(Path("random.ltst")); }},
        {"short file", [&](TVovozIdIO& io) { io.LoadFromFile(Path("short.ltst")); }},
        {"unregistered type by file", [&](TVovozIdIO& io) { io.LoadFromFileFormat(Path("good.xyz"), 55); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TVovozIdIO io(nullptr);
        FillPattern(*io.GetIEBitmap(), 2, 3);
        const auto before = PixelBytes(*io.GetIEBitmap());
        int finished = 0;
        io.OnFinishWork = [&](cl::TObject*) { ++finished; };
        c.run(io);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 2);
        EXPECT_EQ(PixelBytes(*io.GetIEBitmap()), before);
    }
}

TEST_F(IOTest, MissingFileRaisesAfterFinishingWithAborting) {
    EXPECT_THROW(io_->LoadFromFile(Path("missing.ltst")), std::exception);
    EXPECT_TRUE(io_->Aborting);
    EXPECT_EQ(finished_, 1);
    IESetFormatOps(ioBMP, TestOps());
    EXPECT_THROW(io_->LoadFromFileBMP(Path("missing.bmp")), std::exception);
    EXPECT_TRUE(io_->Aborting);
    EXPECT_EQ(finished_, 2);
}

TEST_F(IOTest, NoBitmapSetsAborting) {
    io_->SetIEBitmap(nullptr);
    const auto bytes = TestImageBytes(2, 2);
    TIEMemStream s(bytes.data(), static_cast<int64_t>(bytes.size()));
    io_->LoadFromStream(&s);
    EXPECT_TRUE(io_->Aborting);
    IESetFormatOps(ioBMP, TestOps());
    io_->Aborting = false;
    io_->LoadFromStreamBMP(&s);
    EXPECT_TRUE(io_->Aborting);
    cl::TMemoryStream out;
    io_->Aborting = false;
    io_->SaveToStreamBMP(&out);
    EXPECT_TRUE(io_->Aborting);
    EXPECT_EQ(out.GetSize(), 0);
}

TEST_F(IOTest, SavesThatWriteNothingFail) {
    FillPattern(Bmp(), 2, 2);
    for (int32_t type : {0, 7, 9, 10, 15, 20, 21, 22, 25, 26, 27, 28, 300}) {
        SCOPED_TRACE(type);
        cl::TMemoryStream out;
        const int before = finished_;
        io_->SaveToStream(&out, type);
        EXPECT_TRUE(io_->Aborting);
        EXPECT_EQ(out.GetSize(), 0);
        EXPECT_EQ(finished_, before + 1);
    }
    for (const char* name : {"x.iev", "x.lyr", "x.all", "x.cur", "x.dcm", "x.wmf", "x.emf", "x.zzz"}) {
        SCOPED_TRACE(name);
        io_->SaveToFile(Path(name));
        EXPECT_TRUE(io_->Aborting);
        EXPECT_FALSE(std::filesystem::exists(dir_ + "/" + name));
    }
}

TEST_F(IOTest, SaveNamesChooseTheBuiltInWriter) {
    // Each built-in type writes through its codec's entry; the test codec stands in.
    FillPattern(Bmp(), 3, 2);
    const struct {
        const char* name;
        int32_t type;
    } cases[] = {{"a.JPG", ioJPEG}, {"a.xif", ioTIFF}, {"a.pix", ioTGA}, {"a.win", ioTGA},
                 {"a.g3n", ioTIFF}, {"a.dib", ioBMP},  {"a.pgm", ioPXM}, {"a.wbmp", ioWBMP}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IEBuildFormatRegistry();
        ASSERT_TRUE(IESetFormatOps(c.type, TestOps()));
        io_->SaveToFile(Path(c.name));
        EXPECT_FALSE(io_->Aborting);
        EXPECT_EQ(io_->Params().FileType, c.type);
        const auto data = Get(c.name);
        ASSERT_GE(data.size(), 4u);
        EXPECT_EQ(std::memcmp(data.data(), "LTST", 4), 0);
    }
}

TEST_F(IOTest, SaveConvertsWhereTheFormatAsks) {
    IESetFormatOps(ioJPEG, TestOps());
    IESetFormatOps(ioBMP, TestOps());
    FillPattern(Bmp(), 3, 2, ie8g);
    cl::TMemoryStream bmp;
    io_->SaveToStreamBMP(&bmp);  // no conversion before the BMP writer
    EXPECT_EQ(Bmp().GetPixelFormat(), ie8g);
    cl::TMemoryStream jpeg;
    io_->SaveToStreamJPEG(&jpeg);
    EXPECT_EQ(Bmp().GetPixelFormat(), ie24RGB);
    EXPECT_FALSE(io_->Aborting);
}

TEST_F(IOTest, StreamHeadersFrameImagesOneAfterAnother) {
    for (int32_t type : {ioJPEG, ioTIFF, ioPCX}) {
        SCOPED_TRACE(type);
        IEBuildFormatRegistry();
        ASSERT_TRUE(IESetFormatOps(type, TestOps()));
        cl::TMemoryStream ms;
        TVovozIdIO writer(nullptr);
        writer.StreamHeaders = true;
        FillPattern(*writer.GetIEBitmap(), 3, 2);
        const auto first = PixelBytes(*writer.GetIEBitmap());
        writer.SaveToStreamOf(&ms, type);
        FillPattern(*writer.GetIEBitmap(), 5, 1);
        const auto second = PixelBytes(*writer.GetIEBitmap());
        writer.SaveToStreamOf(&ms, type);
        ASSERT_FALSE(writer.Aborting);
        const auto* mem = static_cast<const uint8_t*>(ms.GetMemory());
        const char* tag = type == ioJPEG ? "JFIF" : type == ioTIFF ? "TIFF" : "PCX2";
        EXPECT_EQ(std::memcmp(mem, tag, 4), 0);
        EXPECT_EQ(mem[8] | (mem[9] << 8), 13 + 18);  // the payload's length

        // Detected and read one after another; JPEG probes for its header always.
        ms.Seek(0, cl::soBeginning);
        TVovozIdIO reader(nullptr);
        reader.StreamHeaders = type != ioJPEG;
        reader.LoadFromStream(&ms);
        ASSERT_FALSE(reader.Aborting);
        EXPECT_EQ(PixelBytes(*reader.GetIEBitmap()), first);
        EXPECT_EQ(ms.GetPosition(), 12 + 13 + 18);
        reader.LoadFromStream(&ms);
        ASSERT_FALSE(reader.Aborting);
        EXPECT_EQ(PixelBytes(*reader.GetIEBitmap()), second);
        EXPECT_EQ(ms.GetPosition(), ms.GetSize());
    }
}

TEST_F(IOTest, HeaderExpectedButMissingOrLying) {
    IESetFormatOps(ioTIFF, TestOps());
    IESetFormatOps(ioPCX, TestOps());
    const auto bare = TestImageBytes(2, 2);
    io_->StreamHeaders = true;
    FillPattern(Bmp(), 1, 1);
    const auto before = PixelBytes(Bmp());
    for (int32_t type : {ioTIFF, ioPCX}) {
        TIEMemStream s(bare.data(), static_cast<int64_t>(bare.size()));
        io_->LoadFromStreamOf(&s, type);
        EXPECT_TRUE(io_->Aborting) << type;
        EXPECT_EQ(PixelBytes(Bmp()), before);
    }
    // A header whose length runs past the end of the stream.
    std::vector<uint8_t> lying = {'T', 'I', 'F', 'F', 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    lying.insert(lying.end(), bare.begin(), bare.end());
    TIEMemStream s(lying.data(), static_cast<int64_t>(lying.size()));
    io_->LoadFromStreamTIFF(&s);
    EXPECT_TRUE(io_->Aborting);
    EXPECT_EQ(PixelBytes(Bmp()), before);
}

TEST_F(IOTest, LoadFromStreamAtAnOffset) {
    auto data = std::vector<uint8_t>(100, 0x42);
    const auto image = TestImageBytes(2, 3);
    data.insert(data.end(), image.begin(), image.end());
    TIEMemStream s(data.data(), static_cast<int64_t>(data.size()));
    s.Seek(100, cl::soBeginning);
    io_->LoadFromStream(&s);
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(PixelBytes(Bmp()), PixelsOf(image));
}

TEST_F(IOTest, ReadParamsWithoutPixels) {
    const auto image = TestImageBytes(6, 2);
    FillPattern(Bmp(), 1, 1);
    io_->ReadParamsFromBuffer(image.data(), static_cast<int64_t>(image.size()));
    EXPECT_FALSE(io_->Aborting);
    EXPECT_EQ(io_->Params().Width, 6);
    EXPECT_EQ(io_->Params().Height, 2);
    EXPECT_EQ(io_->Params().FileType, ioTestFormat);
    EXPECT_EQ(Bmp().GetWidth(), 1);
    std::vector<uint8_t> junk(64, 0x99);
    io_->ReadParamsFromBuffer(junk.data(), 64);
    EXPECT_EQ(io_->Params().FileType, 0);
    Put("p.ltst", image);
    io_->ReadParamsFromFile(Path("p.ltst"));
    EXPECT_EQ(io_->Params().FileType, ioTestFormat);
    EXPECT_EQ(io_->Params().FileName, Path("p.ltst"));
    io_->ReadParamsFromFile(Path("nothing.ltst"));
    EXPECT_EQ(io_->Params().FileType, 0);
}

TEST_F(IOTest, MissingResolutionBecomesTheDefault) {
    const auto image = TestImageBytes(2, 2);
    IESetFormatOps(ioBMP, TestOps());
    for (int32_t dpi : {0, 1, -5}) {
        io_->Params().SetDpiX(dpi);
        io_->Params().SetDpiY(dpi);
        TIEMemStream s(image.data(), static_cast<int64_t>(image.size()));
        io_->LoadFromStreamBMP(&s);
        EXPECT_EQ(io_->Params().DpiX, 300);
        EXPECT_EQ(io_->Params().DpiY, 300);
    }
    io_->Params().SetDpiX(72);
    TIEMemStream s(image.data(), static_cast<int64_t>(image.size()));
    io_->LoadFromStreamBMP(&s);
    EXPECT_EQ(io_->Params().DpiX, 72);
}

TEST_F(IOTest, AdjustDPIResamplesToSquarePixels) {
    for (bool filtered : {false, true}) {
        FillPattern(Bmp(), 100, 200);
        io_->FilteredAdjustDPI = filtered;
        io_->Params().Width = 100;
        io_->Params().Height = 200;
        io_->Params().DpiX = 72;
        io_->Params().DpiY = 144;
        io_->AdjustDPI();
        EXPECT_EQ(Bmp().GetWidth(), 200);
        EXPECT_EQ(Bmp().GetHeight(), 200);
        EXPECT_EQ(io_->Params().Width, 200);
        EXPECT_EQ(io_->Params().DpiX, 144);
        // Column 2x and 2x+1 come from source column x.
        auto* row = static_cast<uint8_t*>(Bmp().GetScanline(0));
        if (!filtered) {
            EXPECT_EQ(std::memcmp(row + 0, row + 3, 3), 0);
        }
    }
    // Equal resolutions change nothing.
    FillPattern(Bmp(), 10, 20);
    io_->Params().DpiX = io_->Params().DpiY = 96;
    io_->AdjustDPI();
    EXPECT_EQ(Bmp().GetWidth(), 10);
}

// The Photoshop resolution record inside an APP13 marker.
TEST_F(IOTest, PhotoshopResolutionUpdate) {
    auto record = [](std::vector<uint8_t> name, uint32_t size, size_t extra) {
        std::vector<uint8_t> b = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p',  ' ',
                                  '3', '.', '0', 0,   '8', 'B', 'I', 'M', 0x03, 0xED};
        for (uint8_t c : name) b.push_back(c);
        b.push_back(static_cast<uint8_t>(size >> 24));
        b.push_back(static_cast<uint8_t>(size >> 16));
        b.push_back(static_cast<uint8_t>(size >> 8));
        b.push_back(static_cast<uint8_t>(size));
        b.insert(b.end(), extra, 0xAA);
        return b;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> data;
        bool changes;
        size_t at;  // where the 16 bytes start
    } cases[] = {
        {"empty name", record({0, 0}, 16, 16), true, 26},
        {"odd name padded", record({3, 'a', 'b', 'c'}, 16, 16), true, 28},
        {"even name padded", record({2, 'a', 'b', 0}, 16, 16), true, 28},
        {"small resource", record({0, 0}, 8, 16), false, 0},
        {"record cut short", record({0, 0}, 16, 10), false, 0},
        {"name past the end", record({250}, 16, 0), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIEMarkerList* markers = io_->Params().JPEGMarkers();
        markers->Clear();
        markers->AddMarker(0xED, c.data.data(), static_cast<int32_t>(c.data.size()));
        io_->Params().DpiX = 300;
        io_->Params().DpiY = 72;
        io_->UpdatePhotoshopResolution();
        const uint8_t* d = markers->GetMarkerData(0);
        ASSERT_EQ(markers->GetMarkerLength(0), static_cast<int32_t>(c.data.size()));
        if (!c.changes) {
            EXPECT_EQ(std::memcmp(d, c.data.data(), c.data.size()), 0);
            continue;
        }
        const uint8_t want[16] = {0x01, 0x2C, 0, 0, 0, 1, 0, 1, 0x00, 0x48, 0, 0, 0, 1, 0, 1};
        EXPECT_EQ(std::memcmp(d + c.at, want, 16), 0);
    }
}

TEST_F(IOTest, PrepareJPEGMarkersPutsIPTCIntoAPP13AndDropsXMP) {
    TIOParamsVals& p = io_->Params();
    p.JPEGMarkers()->AddMarker(0xE0, "JFIF", 5);
    p.IPTC()->AddBufferItem(2, 5, 5, "Title");
    io_->PrepareJPEGMarkers();
    const int32_t app13 = p.JPEGMarkers()->IndexOf(0xED);
    ASSERT_GE(app13, 0);
    TIEIPTCInfoList back;
    ASSERT_TRUE(back.LoadFromBuffer(p.JPEGMarkers()->GetMarkerData(app13), p.JPEGMarkers()->GetMarkerLength(app13)));
    EXPECT_EQ(back.GetCount(), 1);
    // An XMP packet replaces the old one, behind the other markers.
    p.XMPInfo = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>";
    io_->PrepareJPEGMarkers();
    io_->PrepareJPEGMarkers();
    int xmp = 0;
    for (int32_t i = 0; i < p.JPEGMarkers()->GetCount(); ++i)
        if (p.JPEGMarkers()->GetMarkerType(i) == 0xE1) ++xmp;
    EXPECT_EQ(xmp, 1);
    EXPECT_EQ(p.JPEGMarkers()->GetMarkerType(p.JPEGMarkers()->GetCount() - 1), 0xE1);
}

TEST_F(IOTest, AttachedViewLendsItsBitmap) {
    FakeView view;
    io_->SetAttachedVovozId(&view);
    EXPECT_EQ(io_->GetIEBitmap(), &view.Bitmap);
    EXPECT_FALSE(io_->GetOwnsBitmap());
    EXPECT_EQ(view.Registered, 1);
    // Background reads the view's; writing changes nothing.
    EXPECT_EQ(io_->GetBackground(), 0x123456);
    io_->SetBackground(7);
    EXPECT_EQ(io_->GetBackground(), 0x123456);
    // Nil keeps the view's bitmap in use.
    io_->SetAttachedIEBitmap(nullptr);
    EXPECT_EQ(io_->GetIEBitmap(), &view.Bitmap);
    // A load updates the view.
    io_->SetAttachedVovozId(&view);
    EXPECT_EQ(view.Registered, 1);
    const auto image = TestImageBytes(3, 3);
    io_->LoadFromBuffer(image.data(), static_cast<int64_t>(image.size()));
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(PixelBytes(view.Bitmap), PixelsOf(image));
    EXPECT_EQ(view.Updates, 1);
    EXPECT_EQ(view.Changes, 1);
    // The bitmap-change event takes the view's resolution.
    view.Event(&view.Component, false);
    EXPECT_EQ(io_->Params().DpiX, 96);
    EXPECT_EQ(io_->Params().DpiY, 120);
    // Detaching gives an owned, empty bitmap again and unregisters.
    io_->SetAttachedVovozId(nullptr);
    EXPECT_TRUE(io_->GetOwnsBitmap());
    EXPECT_NE(io_->GetIEBitmap(), &view.Bitmap);
    EXPECT_EQ(view.Registered, 0);
    io_->SetBackground(7);
    EXPECT_EQ(io_->GetBackground(), 7);
}

TEST_F(IOTest, AttachedBitmapIsNotOwned) {
    auto external = std::make_unique<TIEBitmap>();
    {
        auto io = TVovozIdIO::CreateFromBitmap(external.get());
        EXPECT_FALSE(io->GetOwnsBitmap());
        const auto image = TestImageBytes(2, 5);
        io->LoadFromBuffer(image.data(), static_cast<int64_t>(image.size()));
        EXPECT_FALSE(io->Aborting);
    }
    EXPECT_EQ(external->GetHeight(), 5);  // still alive after the component
}

TEST_F(IOTest, AcquiredBitmapArrives) {
    TIEBitmap acquired;
    FillPattern(acquired, 4, 4);
    TIOParamsVals* params = nullptr;
    io_->ReceiveAcquiredBitmap(&acquired, params);
    EXPECT_EQ(params, &io_->Params());
    EXPECT_EQ(PixelBytes(Bmp()), PixelBytes(acquired));
    bool handled = false;
    io_->OnAcquireBitmap = [&](cl::TObject*, TIEBitmap*, bool& h) { h = handled = true; };
    FillPattern(acquired, 2, 2);
    io_->ReceiveAcquiredBitmap(&acquired, params);
    EXPECT_TRUE(handled);
    EXPECT_EQ(params, nullptr);
    EXPECT_EQ(Bmp().GetWidth(), 4);
}

TEST_F(IOTest, BackgroundLoadsWithAnAttachedBitmap) {
    const auto first = TestImageBytes(3, 3), second = TestImageBytes(5, 2);
    Put("1.ltst", first);
    Put("2.ltst", second);
    TIEBitmap external;
    auto io = TVovozIdIO::CreateFromBitmap(&external);
    io->AsyncMode = true;
    std::atomic<int> finished{0};
    io->OnFinishWork = [&](cl::TObject*) { ++finished; };
    io->LoadFromFile(Path("1.ltst"));
    io->LoadFromFile(Path("2.ltst"));  // runs after the first
    io->WaitThreads(false);
    EXPECT_EQ(finished.load(), 2);
    EXPECT_FALSE(io->Aborting);
    EXPECT_EQ(PixelBytes(external), PixelsOf(second));
    EXPECT_EQ(io->RunningThreadCount(), 0);
    // A failure on the thread shows in the abort flag.
    io->LoadFromFile(Path("none.ltst"));
    io->WaitThreads(false);
    EXPECT_TRUE(io->Aborting);
}

TEST_F(IOTest, OwnedBitmapLoadsOnTheCallersThread) {
    io_->AsyncMode = true;
    const auto image = TestImageBytes(2, 2);
    io_->LoadFromBuffer(image.data(), static_cast<int64_t>(image.size()));
    EXPECT_EQ(io_->RunningThreadCount(), 0);
    EXPECT_EQ(PixelBytes(Bmp()), PixelsOf(image));
    EXPECT_FALSE(io_->IsIOThread());
}

// A view with a parent: a background load posts to it and makes its window on the
// component's own thread while that thread waits.
class WindowedView : public FakeView {
public:
    std::mutex Lock;
    std::vector<std::thread::id> HandleThreads;
    bool HasParentControl() override { return true; }
    void MakeViewHandle() override {
        std::lock_guard<std::mutex> l(Lock);
        HandleThreads.push_back(std::this_thread::get_id());
    }
    // No such window: nothing is posted.
    win::HWND ViewHandle() override { return reinterpret_cast<win::HWND>(uintptr_t{0x7777}); }
};

TEST_F(IOTest, BackgroundNotificationsDoNotDeadlockTheWaitingOwner) {
    WindowedView view;
    TVovozIdIO io(nullptr);
    io.SetAttachedVovozId(&view);
    io.AsyncMode = true;
    int finished = 0;
    io.OnFinishWork = [&](cl::TObject*) { ++finished; };
    io.OnProgress = [](cl::TObject*, int) {};
    const auto image = TestImageBytes(4, 4);
    io.LoadFromBuffer(image.data(), static_cast<int64_t>(image.size()));
    io.WaitThreads(false);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(PixelBytes(view.Bitmap), PixelsOf(image));
    EXPECT_EQ(finished, 0);  // posted to the view instead
    EXPECT_EQ(view.Updates, 0);
    ASSERT_FALSE(view.HandleThreads.empty());
    for (auto id : view.HandleThreads) EXPECT_EQ(id, std::this_thread::get_id());
    io.SetAttachedVovozId(nullptr);
}

// A reader that gives an alpha mask, and a writer that records the one it gets.
int gMaskSeen = -1;
void MaskRead(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEReadContext& Context) {
    TestReadEx(Stream, Bitmap, Params, Progress, Context);
    if (Progress.IsAborting()) return;
    Context.AlphaMask = std::make_unique<TIEMask>();
    Context.AlphaMask->Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), 8);
    Context.AlphaMask->SetPixel(1, 0, 77);
}
void MaskWrite(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
               TIEWriteContext& Context) {
    gMaskSeen = Context.AlphaMask ? Context.AlphaMask->GetPixel(1, 0) : -1;
    TestWriteEx(Stream, Bitmap, Params, Progress, Context);
}

TEST_F(IOTest, AlphaMasksGoIntoTheAlphaChannelAndToTheWriters) {
    TIEFormatOps ops = TestOps();
    ops.Read = &MaskRead;
    ops.Write = &MaskWrite;
    for (int32_t type : {ioBMP, ioPNG, ioTGA, ioJPEG}) ASSERT_TRUE(IESetFormatOps(type, ops));
    const auto image = TestImageBytes(3, 2);
    TIEMemStream s(image.data(), static_cast<int64_t>(image.size()));
    io_->LoadFromStreamBMP(&s);
    ASSERT_FALSE(io_->Aborting);
    ASSERT_TRUE(Bmp().HasAlphaChannel());
    EXPECT_EQ(Bmp().GetAlpha(1, 0), 77);
    for (int32_t type : {ioPNG, ioTGA, ioJPEG}) {
        SCOPED_TRACE(type);
        gMaskSeen = -1;
        cl::TMemoryStream out;
        io_->SaveToStreamOf(&out, type);
        EXPECT_EQ(gMaskSeen, type == ioJPEG ? -1 : 77);
    }
    // A JPEG load has no mask step: the reader's mask is dropped.
    s.Seek(0, cl::soBeginning);
    io_->LoadFromStreamJPEG(&s);
    EXPECT_FALSE(Bmp().HasAlphaChannel());
}

TEST_F(IOTest, MultiPagePCXSaveReplacesTheStream) {
    ASSERT_TRUE(IESetFormatOps(ioDCX, TestOps()));
    cl::TMemoryStream out;
    std::vector<uint8_t> old(500, 0xAB);
    out.Write(old.data(), 500);
    FillPattern(Bmp(), 2, 2);
    io_->SaveToStreamDCX(&out);
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(out.GetSize(), 13 + 12);
    EXPECT_EQ(std::memcmp(out.GetMemory(), "LTST", 4), 0);
}

TEST_F(IOTest, BuiltInFormatsByFileAndByParameters) {
    ASSERT_TRUE(IESetFormatOps(ioTGA, TestOps()));
    const auto image = TestImageBytes(4, 3);
    Put("t.tga", image);
    io_->LoadFromFile(Path("t.tga"));
    ASSERT_FALSE(io_->Aborting);
    EXPECT_EQ(PixelBytes(Bmp()), PixelsOf(image));
    EXPECT_EQ(io_->Params().FileType, ioTGA);
    EXPECT_EQ(io_->Params().FileName, Path("t.tga"));
    TVovozIdIO other(nullptr);
    other.ReadParamsFromFileFormat(Path("t.tga"), ioTGA);
    EXPECT_FALSE(other.Aborting);
    EXPECT_EQ(other.Params().Width, 4);
    EXPECT_EQ(other.Params().FileType, ioTGA);
    EXPECT_EQ(other.GetIEBitmap()->GetWidth(), 0);
    // The extension names a format without a reader here: the load fails.
    Put("t.pcx", image);
    other.LoadFromFile(Path("t.pcx"));
    EXPECT_TRUE(other.Aborting);
}

TEST_F(IOTest, AttachedPictureControlShowsTheLoadedImage) {
    auto* image = new cl::TImage(nullptr);
    image->GetPicture()->GetBitmap()->SetPixelFormat(cl::pf24bit);
    image->GetPicture()->GetBitmap()->SetSize(2, 2);
    io_->SetAttachedTImage(image);
    ASSERT_NE(io_->GetVclBitmap(), nullptr);
    const auto bytes = TestImageBytes(5, 3);
    io_->LoadFromBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_FALSE(io_->Aborting);
    cl::TBitmap* shown = image->GetPicture()->GetBitmap();
    EXPECT_EQ(shown->GetWidth(), 5);
    EXPECT_EQ(shown->GetHeight(), 3);
    EXPECT_EQ(PixelBytes(Bmp()), PixelsOf(bytes));
    // The control going away leaves the component with an empty bitmap of its own.
    image->Free();
    EXPECT_EQ(io_->GetAttachedTImage(), nullptr);
    EXPECT_EQ(io_->GetVclBitmap(), nullptr);
    io_->LoadFromBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    EXPECT_FALSE(io_->Aborting);
    EXPECT_EQ(Bmp().GetWidth(), 5);
}

}  // namespace
}  // namespace ie::test
