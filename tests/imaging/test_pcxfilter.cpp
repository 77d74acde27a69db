// The PCX and DCX codec: files of ImageMagick and netpbm read as ImageMagick decodes them,
// our files read back by both tools, the line coders, DCX pages read, inserted and
// probed, and damaged files.
#include <gtest/gtest.h>

#include <string>

#include "formats_testutil.h"
#include "imaging/formats/pcxfilter.h"
#include "lumetra_image.h"
#include "platform/codepage.h"

namespace ie::test {
namespace {

struct PcxRead {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
    bool Aborted = false;
    int32_t Pages = 0;
    std::vector<int32_t> Reports;
};

PcxRead Read(const std::vector<uint8_t>& File, bool Preview = false) {
    PcxRead r;
    auto s = MemStream(File);
    Progress p;
    p.Record();
    IEReadPCXStream(s.get(), r.Bitmap.get(), *r.Params, Preview, p.Rec, static_cast<int64_t>(File.size()));
    r.Aborted = p.Aborting;
    r.Reports = p.Reports;
    return r;
}

PcxRead ReadPage(const std::vector<uint8_t>& File, int32_t Index) {
    PcxRead r;
    auto s = MemStream(File);
    Progress p;
    r.Params->DCXImageIndex = Index;
    r.Pages = IEReadDCXStream(s.get(), r.Bitmap.get(), *r.Params, false, p.Rec);
    r.Aborted = p.Aborting;
    return r;
}

std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
    cl::TMemoryStream s;
    Progress p;
    IEWritePCXStream(&s, &B, P, p.Rec);
    if (Aborted) *Aborted = p.Aborting;
    return StreamBytes(s);
}

std::vector<uint8_t> Fixture(const std::string& Name) { return ReadBytes(FixturePath("pcx", Name)); }

// What netpbm's pcxtoppm decodes from File.
RefImage DecodeWithNetpbm(const std::string& File) {
    int st = -1;
    const std::string out = RunCommand("pcxtoppm '" + File + "' 2>/dev/null", &st);
    EXPECT_EQ(st, 0) << File;
    if (st != 0 || out.empty()) return {};
    return ParseRef(std::vector<uint8_t>(out.begin(), out.end()));
}

// The pixels of a bitmap as a reference image.
RefImage ToRef(TIEBitmap& B) {
    RefImage r;
    r.Width = B.GetWidth();
    r.Height = B.GetHeight();
    r.Channels = 3;
    for (int32_t y = 0; y < r.Height; ++y)
        for (int32_t x = 0; x < r.Width; ++x) {
            const TRGB px = B.GetPixelRGB(x, y);
            r.Pixels.insert(r.Pixels.end(), {px.r, px.g, px.b});
        }
    return r;
}

// A picture of 13 x 7 (odd width) with Colours distinct colours (the first, at 0,0, the
// darkest), or with many.
std::unique_ptr<TIEBitmap> Picture(int Colours) {
    return Make24(13, 7, [&](int32_t x, int32_t y) {
        if (Colours > 0) {
            const int i = (x + 3 * y) % Colours;
            return TRGB{static_cast<uint8_t>(i * 15), static_cast<uint8_t>(i * 13 + 30), static_cast<uint8_t>(i * 40)};
        }
        if (y == 2) return TRGB{90, 40, 200};
        return TRGB{static_cast<uint8_t>(x * y * 7 + 50), static_cast<uint8_t>(y * 43 + x),
                    static_cast<uint8_t>(x * 29)};
    });
}

TEST(PCXRead, FilesOfBothToolsAsImageMagickDecodesThem) {
    struct Case {
        const char* Name;
        int32_t Bits, Samples;
        TIEPixelFormat Format;
        int32_t MapCount;
    } cases[] = {
        {"im_rgb24", 8, 3, ie24RGB, 0},     {"im_rgb24_raw", 8, 3, ie24RGB, 0}, {"im_pal8", 8, 1, ie24RGB, 256},
        {"nb_rgb24", 8, 3, ie24RGB, 0},     {"nb_pal8", 8, 1, ie24RGB, 256},    {"nb_planes16", 4, 1, ie24RGB, 16},
        {"nb_packed16", 4, 1, ie24RGB, 16}, {"nb_mono", 1, 1, ie1g, 2},         {"span", 8, 1, ie24RGB, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto r = Read(Fixture(std::string(c.Name) + ".pcx"));
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Bitmap->GetPixelFormat(), c.Format);
        EXPECT_EQ(r.Params->BitsPerSample, c.Bits);
        EXPECT_EQ(r.Params->SamplesPerPixel, c.Samples);
        EXPECT_EQ(r.Params->ColorMapCount, c.MapCount);
        EXPECT_EQ(r.Params->ImageCount, 1);
        EXPECT_EQ(r.Params->PCXVersion, 5);
        const RefImage ref = LoadRef(FixturePath("pcx", std::string(c.Name) + ".ref.ppm"));
        EXPECT_EQ(r.Params->Width, ref.Width);
        EXPECT_EQ(r.Params->OriginalHeight, ref.Height);
        ExpectSameRGB(*r.Bitmap, ref);
        ASSERT_FALSE(r.Reports.empty());
        EXPECT_EQ(r.Reports.back(), 100);
    }
}

TEST(PCXRead, ResolutionAndParametersOnly) {
    const auto dpi = Read(Fixture("im_dpi.pcx"));
    EXPECT_EQ(dpi.Params->DpiX, 150);
    EXPECT_EQ(dpi.Params->DpiY, 75);
    // A zero in either field gives the default resolution in both directions.
    auto file = Fixture("im_dpi.pcx");
    file[12] = file[13] = 0;
    const auto zero = Read(file);
    ASSERT_FALSE(zero.Aborted);
    EXPECT_EQ(zero.Params->DpiX, IEDefaultDpiX);
    EXPECT_EQ(zero.Params->DpiY, IEDefaultDpiY);

    const auto preview = Read(Fixture("nb_pal8.pcx"), true);
    ASSERT_FALSE(preview.Aborted);
    EXPECT_EQ(preview.Params->Width, 13);
    EXPECT_EQ(preview.Params->ColorMapCount, 256);
    EXPECT_EQ(preview.Bitmap->GetWidth(), 0);
}

TEST(PCXRead, DamagedAndUnsupportedFilesAbort) {
    const auto good = Fixture("im_rgb24.pcx");
    struct Case {
        const char* What;
        std::vector<uint8_t> File;
    };
    auto patched = [&](std::vector<uint8_t> F, size_t At, uint8_t V) {
        F[At] = V;
        return F;
    };
    std::vector<uint8_t> shortLines = good;
    shortLines[66] = 12;  // 12 bytes per line for 13 pixels
    std::vector<uint8_t> flipped = good;
    flipped[4] = 20;  // Xmin beyond Xmax
    std::vector<uint8_t> cut(good.begin(), good.begin() + 200);
    std::vector<uint8_t> huge = good;
    huge[10] = huge[11] = 0xFF;  // 65,536 rows from a few hundred bytes
    const auto pal8 = Fixture("nb_pal8.pcx");
    std::vector<uint8_t> noPalette(pal8.begin(), pal8.begin() + 128 + 400);
    const Case cases[] = {
        {"manufacturer", patched(good, 0, 11)},
        {"encoding", patched(good, 2, 2)},
        {"bits above 8", patched(good, 3, 16)},
        {"two planes", patched(good, 65, 2)},
        {"two bits in one plane", Fixture("nb_packed4.pcx")},
        {"bytes per line short of the width", shortLines},
        {"empty window", flipped},
        {"data cut short", cut},
        {"rows the data cannot fill", huge},
        {"no room for the palette", noPalette},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 128)},
        {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 60)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_TRUE(Read(c.File).Aborted);
    }
    // Rows after the end of the data stay black.
    const auto r = Read(cut);
    ASSERT_EQ(r.Bitmap->GetHeight(), 7);
    EXPECT_EQ(r.Bitmap->GetPixelRGB(12, 6), (TRGB{0, 0, 0}));
}

TEST(PCXLines, EncodeTable) {
    struct Case {
        const char* What;
        std::vector<uint8_t> Source;
        int32_t Count, Stride, Start;
        std::vector<uint8_t> Want;
    } cases[] = {
        {"literals and an odd count padded", {1, 2, 3}, 3, 1, 0, {1, 2, 3, 0}},
        {"a run", {7, 7, 7, 7}, 4, 1, 0, {0xC4, 7}},
        {"a single high byte", {0xC0, 5}, 2, 1, 0, {0xC1, 0xC0, 5}},
        {"a run of 64 splits at 63", std::vector<uint8_t>(64, 9), 64, 1, 0, {0xFF, 9, 9}},
        {"every third byte from 2", {1, 2, 9, 4, 5, 9, 7, 8, 6}, 3, 3, 2, {0xC2, 9, 6, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<uint8_t> out(static_cast<size_t>(c.Count) * 2 + 1);
        const int32_t n = IEPCXEncodeLine(c.Source.data(), c.Count, c.Stride, c.Start, out.data());
        out.resize(static_cast<size_t>(n));
        EXPECT_EQ(out, c.Want);
        // Decoding gives the bytes back, padded to the even length.
        TIEPCXLineReader reader;
        reader.Data = out.data();
        reader.Size = n;
        const int32_t even = (c.Count + 1) & ~1;
        std::vector<uint8_t> back(static_cast<size_t>(even), 0xAA);
        EXPECT_TRUE(IEPCXDecodeLine(reader, back.data(), even));
        for (int32_t i = 0; i < c.Count; ++i) EXPECT_EQ(back[i], c.Source[static_cast<size_t>(c.Start + i * c.Stride)]);
        EXPECT_EQ(reader.Pos, n);
    }
}

TEST(PCXLines, DecodeCarriesRunsAndStopsAtTheEnd) {
    const uint8_t data[] = {0xC5, 3, 8, 0xC3};  // a run of 5 over a line of 4, a literal, then a cut pair
    TIEPCXLineReader reader;
    reader.Data = data;
    reader.Size = sizeof data;
    uint8_t line[4];
    ASSERT_TRUE(IEPCXDecodeLine(reader, line, 4));
    EXPECT_EQ(std::vector<uint8_t>(line, line + 4), (std::vector<uint8_t>{3, 3, 3, 3}));
    EXPECT_FALSE(IEPCXDecodeLine(reader, line, 4));
    EXPECT_EQ(std::vector<uint8_t>(line, line + 4), (std::vector<uint8_t>{3, 8, 0, 0}));
    // Raw lines take the bytes as they are.
    TIEPCXLineReader raw;
    raw.Data = data;
    raw.Size = 3;
    raw.RLE = false;
    EXPECT_TRUE(IEPCXDecodeLine(raw, line, 2));
    EXPECT_FALSE(IEPCXDecodeLine(raw, line, 2));
    EXPECT_EQ(line[0], 8);
    EXPECT_EQ(line[1], 0);
}

class PCXWrite : public CodecIOTest {};

TEST_F(PCXWrite, EveryDepthReadBackByBothTools) {
    struct Case {
        const char* What;
        int Colours;  // of the source picture, 0 for many
        bool OneBitSource;
        int32_t Bits, Samples;
        bool Compressed;
        int FileBits, FilePlanes;
    } cases[] = {
        {"24-bit run-length", 0, false, 8, 3, true, 8, 3},
        {"24-bit raw", 0, false, 8, 3, false, 8, 3},
        {"four samples cut to three", 0, false, 8, 4, true, 8, 3},
        {"8-bit palette", 90, false, 8, 1, true, 8, 1},
        {"8-bit raw", 90, false, 8, 1, false, 8, 1},
        {"4-bit palette", 16, false, 4, 1, true, 4, 1},
        {"4-bit raw", 11, false, 4, 1, false, 4, 1},
        {"1-bit from two colours", 2, false, 1, 1, true, 1, 1},
        {"1-bit from a 1-bit bitmap", 0, true, 1, 1, true, 1, 1},
        {"1-bit raw", 2, false, 1, 1, false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::unique_ptr<TIEBitmap> src = Picture(c.Colours);
        if (c.OneBitSource) {
            auto one = std::make_unique<TIEBitmap>(13, 7, ie1g);
            for (int32_t y = 0; y < 7; ++y)
                for (int32_t x = 0; x < 13; ++x) one->SetPixel24(x, y, (x * y) % 3 ? TRGB{255, 255, 255} : TRGB{});
            src = std::move(one);
        }
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.Bits;
        p.SamplesPerPixel = c.Samples;
        p.PCXCompression = c.Compressed;
        p.SetDpiX(96);
        p.SetDpiY(120);
        bool aborted = true;
        const auto file = Write(*src, p, &aborted);
        ASSERT_FALSE(aborted);
        EXPECT_LE(p.SamplesPerPixel, 3);
        ASSERT_GT(file.size(), 128u);
        EXPECT_EQ(file[2], c.Compressed ? 1 : 0);
        EXPECT_EQ(file[3], c.FileBits);
        EXPECT_EQ(file[65], c.FilePlanes);
        EXPECT_EQ(IEGetLE16(&file[66]) % 2, 0);  // bytes per line are even
        EXPECT_EQ(IEGetLE16(&file[12]), 96);
        const std::string path = Temp("out.pcx");
        WriteBytes(path, file);
        // The source's colours exactly: every case has few enough colours for its depth.
        const RefImage want = ToRef(*src);
        // (pcxtoppm reads run-length files only.)
        if (c.Compressed) {
            EXPECT_EQ(DecodeWithNetpbm(path).Pixels, want.Pixels);
        }
        const auto back = Read(file);
        ASSERT_FALSE(back.Aborted);
        if (c.Bits != 1) {
            EXPECT_EQ(DecodeWithImageMagick(path).Pixels, want.Pixels);
            ExpectSameRGB(*back.Bitmap, want);
            continue;
        }
        // One bit: our reader gives the lighter colour as white, the darker as black
        // (ImageMagick 6.9 ignores the palette of one-bit files: not a judge here).
        EXPECT_EQ(back.Bitmap->GetPixelFormat(), ie1g);
        const TRGB first = src->GetPixelRGB(0, 0);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 13; ++x) {
                const TRGB px = src->GetPixelRGB(x, y);
                const bool lighter = c.OneBitSource ? px.r == 255 : !(px == first);
                EXPECT_EQ(back.Bitmap->GetPixelRGB(x, y).r, lighter ? 255 : 0) << x << "," << y;
            }
    }
}

TEST_F(PCXWrite, ManyColoursAtFewerBitsAndRefusedDepths) {
    // A photo-like picture at 8 and 4 bits: the tools read what our reader reads.
    for (int bits : {8, 4}) {
        SCOPED_TRACE(bits);
        auto src = Make24(40, 9, [](int32_t x, int32_t y) {
            return TRGB{static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 28), static_cast<uint8_t>(x * y)};
        });
        TIOParamsVals p(nullptr);
        p.BitsPerSample = bits;
        p.SamplesPerPixel = 1;
        bool aborted = true;
        const auto file = Write(*src, p, &aborted);
        ASSERT_FALSE(aborted);
        WriteBytes(Temp("q.pcx"), file);
        const auto ours = Read(file);
        ASSERT_FALSE(ours.Aborted);
        ExpectSameRGB(*ours.Bitmap, DecodeWithImageMagick(Temp("q.pcx")));
        ExpectSameRGB(*ours.Bitmap, DecodeWithNetpbm(Temp("q.pcx")));
    }
    auto src = Picture(0);
    for (auto [bits, samples] : {std::pair{16, 3}, std::pair{2, 1}, std::pair{8, 2}}) {
        SCOPED_TRACE(bits * samples);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = bits;
        p.SamplesPerPixel = samples;
        bool aborted = false;
        Write(*src, p, &aborted);
        EXPECT_TRUE(aborted);
    }
    TIEBitmap empty;
    TIOParamsVals p(nullptr);
    bool aborted = false;
    Write(empty, p, &aborted);
    EXPECT_TRUE(aborted);
}

TEST(DCX, PagesOfImageMagicksContainer) {
    const auto file = Fixture("pages.dcx");
    auto s = MemStream(file);
    EXPECT_TRUE(IEIsDCXStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto r = ReadPage(file, i);
        ASSERT_FALSE(r.Aborted);
        EXPECT_EQ(r.Pages, 3);
        ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("pcx", "pages" + std::to_string(i) + ".ref.ppm")));
    }
    // An index beyond the last page reads the last page and says so.
    const auto last = ReadPage(file, 7);
    ASSERT_FALSE(last.Aborted);
    EXPECT_EQ(last.Params->DCXImageIndex, 2);
    EXPECT_EQ(last.Params->ImageIndex, 2);
    ExpectSameRGB(*last.Bitmap, LoadRef(FixturePath("pcx", "pages2.ref.ppm")));
}

// A container that starts inside the stream (after a prefix): its offsets count from its
// start, and every page reads as ImageMagick decodes it.
TEST(DCX, ContainerAtAStreamOffset) {
    const auto file = Fixture("pages.dcx");
    for (const size_t skip : {size_t{1}, size_t{37}, size_t{4096}}) {
        SCOPED_TRACE(skip);
        std::vector<uint8_t> stream(skip, 0x3A);
        stream.insert(stream.end(), file.begin(), file.end());
        auto s = MemStream(stream);
        EXPECT_FALSE(IEIsDCXStream(s.get()));
        s->Seek(static_cast<int64_t>(skip), cl::soBeginning);
        EXPECT_TRUE(IEIsDCXStream(s.get()));
        EXPECT_EQ(s->GetPosition(), static_cast<int64_t>(skip));
        for (int32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            TIOParamsVals params(nullptr);
            TIEBitmap bitmap;
            params.DCXImageIndex = i;
            Progress p;
            s->Seek(static_cast<int64_t>(skip), cl::soBeginning);
            EXPECT_EQ(IEReadDCXStream(s.get(), &bitmap, params, false, p.Rec), 3);
            ASSERT_FALSE(p.Aborting);
            ExpectSameRGB(bitmap, LoadRef(FixturePath("pcx", "pages" + std::to_string(i) + ".ref.ppm")));
        }
    }
}

TEST(DCX, ProbeAndDamagedContainers) {
    auto make = [](std::vector<uint32_t> Words) {
        std::vector<uint8_t> b;
        for (uint32_t w : Words) b.insert(b.end(), {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)});
        return b;
    };
    const auto pcx = Fixture("im_rgb24.pcx");
    auto withPage = make({IEDCXMagic, 12, 0});
    withPage.insert(withPage.end(), pcx.begin(), pcx.end());
    auto pastEnd = make({IEDCXMagic, 12, 99999, 0});
    pastEnd.insert(pastEnd.end(), pcx.begin(), pcx.end());
    struct Case {
        const char* What;
        std::vector<uint8_t> File;
        bool IsDCX, Reads;
    } cases[] = {
        {"one page", withPage, true, true},
        {"an offset past the end", pastEnd, false, false},
        {"no page", make({IEDCXMagic, 0}), true, false},
        {"a table that runs to the end", make({IEDCXMagic, 4, 4}), true, false},
        {"a PCX file", pcx, false, false},
        {"three bytes", {0xB1, 0x68, 0xDE}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        auto s = MemStream(c.File);
        EXPECT_EQ(IEIsDCXStream(s.get()), c.IsDCX);
        EXPECT_EQ(s->GetPosition(), 0);
        const auto r = ReadPage(c.File, 0);
        EXPECT_EQ(r.Aborted, !c.Reads);
        if (c.Reads) ExpectSameRGB(*r.Bitmap, LoadRef(FixturePath("pcx", "im_rgb24.ref.ppm")));
    }
    const std::vector<uint32_t> offsets = {300, 100, 200, 100};
    EXPECT_EQ(IEDCXPageSizes(offsets, 350), (std::vector<int64_t>{50, 100, 100, 100}));
}

class DCXWrite : public CodecIOTest {};

TEST_F(DCXWrite, NewContainersAndInsertedPages) {
    auto src = Picture(0);
    TIOParamsVals p(nullptr);
    p.DCXImageIndex = 0;
    cl::TMemoryStream s;
    Progress pr;
    IEWriteDCXStream(&s, src.get(), p, pr.Rec);
    ASSERT_FALSE(pr.Aborting);
    const auto one = StreamBytes(s);
    EXPECT_EQ(IEGetLE32(&one[0]), IEDCXMagic);
    EXPECT_EQ(IEGetLE32(&one[4]), 12u);
    EXPECT_EQ(IEGetLE32(&one[8]), 0u);
    EXPECT_EQ(ReadPage(one, 0).Pages, 1);

    // Page 1 of four into ImageMagick's three pages: the old pages keep their bytes.
    const auto old = Fixture("pages.dcx");
    auto target = MemStream(old);
    p.DCXImageIndex = 1;
    IEWriteDCXStream(target.get(), src.get(), p, pr.Rec);
    ASSERT_FALSE(pr.Aborting);
    const auto four = StreamBytes(*target);
    auto oldStream = MemStream(old);
    oldStream->Seek(4, cl::soBeginning);
    const auto oldOffsets = IEDCXReadOffsets(oldStream.get());
    const auto oldSizes = IEDCXPageSizes(oldOffsets, static_cast<int64_t>(old.size()));
    auto newStream = MemStream(four);
    newStream->Seek(4, cl::soBeginning);
    const auto newOffsets = IEDCXReadOffsets(newStream.get());
    ASSERT_EQ(newOffsets.size(), 4u);
    for (int i : {0, 1, 2}) {
        const size_t at = newOffsets[i == 0 ? 0 : static_cast<size_t>(i) + 1];
        EXPECT_TRUE(std::equal(old.begin() + oldOffsets[static_cast<size_t>(i)],
                               old.begin() + oldOffsets[static_cast<size_t>(i)] + oldSizes[static_cast<size_t>(i)],
                               four.begin() + static_cast<std::ptrdiff_t>(at)))
            << "old page " << i;
    }
    const std::string path = Temp("four.dcx");
    WriteBytes(path, four);
    EXPECT_EQ(RunCommand("/usr/bin/identify '" + path + "' 2>/dev/null | wc -l"), "4\n");
    const RefImage want = ToRef(*src);
    EXPECT_EQ(DecodeWithImageMagick(path + "[1]").Pixels, want.Pixels);
    EXPECT_EQ(DecodeWithImageMagick(path + "[3]").Pixels, LoadRef(FixturePath("pcx", "pages2.ref.ppm")).Pixels);
    ExpectSameRGB(*ReadPage(four, 1).Bitmap, want);

    // Refused: an index two beyond the last page, a stream that is no container.
    for (int32_t index : {-1}) {
        Progress bad;
        p.DCXImageIndex = index;
        auto again = MemStream(four);
        IEWriteDCXStream(again.get(), src.get(), p, bad.Rec);
        EXPECT_TRUE(bad.Aborting);
        EXPECT_EQ(StreamBytes(*again), four);
    }
    Progress bad;
    p.DCXImageIndex = 0;
    auto notDcx = MemStream(Fixture("im_rgb24.pcx"));
    IEWriteDCXStream(notDcx.get(), src.get(), p, bad.Rec);
    EXPECT_TRUE(bad.Aborting);
    EXPECT_EQ(StreamBytes(*notDcx), Fixture("im_rgb24.pcx"));
}

class PCXEngine : public CodecIOTest {};

TEST_F(PCXEngine, LoadsAndSavesThroughTheComponentAndTheTool) {
    {
        TVovozIdIO io(nullptr);
        io.LoadFromFile(cl::String(FixturePath("pcx", "nb_pal8.pcx")));
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioPCX);
        ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("pcx", "nb_pal8.ref.ppm")));
        io.SaveToFile(cl::String(Temp("back.pcx")));
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(DecodeWithNetpbm(Temp("back.pcx")).Pixels, LoadRef(FixturePath("pcx", "nb_pal8.ref.ppm")).Pixels);
    }
    {
        TVovozIdIO io(nullptr);
        auto file = MemStream(Fixture("pages.dcx"));
        EXPECT_EQ(IEFindStreamFormat(file.get()), ioDCX);
        io.Params().DCXImageIndex = 1;
        io.LoadFromFile(cl::String(FixturePath("pcx", "pages.dcx")));
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioDCX);
        EXPECT_EQ(io.Params().ImageCount, 3);
        ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("pcx", "pages1.ref.ppm")));
        io.SaveToFile(cl::String(Temp("one.dcx")));
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(DecodeWithImageMagick(Temp("one.dcx")).Pixels, LoadRef(FixturePath("pcx", "pages1.ref.ppm")).Pixels);
    }
    {
        // Two pictures in one stream: a PCX file, then the container, loaded from its start.
        const auto pcx = Fixture("nb_pal8.pcx"), dcx = Fixture("pages.dcx");
        std::vector<uint8_t> both = pcx;
        both.insert(both.end(), dcx.begin(), dcx.end());
        auto s = MemStream(both);
        s->Seek(static_cast<int64_t>(pcx.size()), cl::soBeginning);
        EXPECT_EQ(IEFindStreamFormat(s.get()), ioDCX);
        TVovozIdIO io(nullptr);
        io.Params().DCXImageIndex = 2;
        io.LoadFromStream(s.get());
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().FileType, ioDCX);
        ExpectSameRGB(*io.GetIEBitmap(), LoadRef(FixturePath("pcx", "pages2.ref.ppm")));
    }
    // The tool: an independent file to PPM equals ImageMagick's decoding, and back to PCX.
    std::ostringstream out, err;
    ASSERT_EQ(lumetra_image::Run({"convert", FixturePath("pcx", "im_rgb24.pcx"), Temp("a.ppm")}, out, err), 0)
        << err.str();
    const RefImage ours = LoadRef(Temp("a.ppm")), ref = LoadRef(FixturePath("pcx", "im_rgb24.ref.ppm"));
    EXPECT_EQ(ours.Pixels, ref.Pixels);
    ASSERT_EQ(lumetra_image::Run({"convert", Temp("a.ppm"), Temp("b.pcx")}, out, err), 0) << err.str();
    EXPECT_EQ(DecodeWithImageMagick(Temp("b.pcx")).Pixels, ref.Pixels);
    EXPECT_EQ(DecodeWithNetpbm(Temp("b.pcx")).Pixels, ref.Pixels);
}

}  // namespace
}  // namespace ie::test
