// The mask-picture loader: pictures of every kind a mask may be become 8-bit grey bitmaps
// whose indexes are the grey levels of ImageMagick's own decoding of the same file, and
// nothing that fails changes the mask the transition already had.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "../common/private_dir.h"
#include "FileProbes.h"
#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "player/zb_ExeConverter.h"
#include "player/zb_ImageUtils.h"

using player::LoadMaskFromStream;
using player_test::ReadFile;

namespace {

std::string MaskFixture(const std::string& name) { return std::string(LUMETRA_TEST_DATA) + "/mask/" + name; }

// ImageMagick's decoding of a picture: width x height pixels of red, green, blue, 8 bits
// each. Of 16-bit samples the high byte, which is what the imaging library's readers keep
// when they make an 8-bit picture of them.
struct Decoded {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;
};

Decoded DecodeWithImageMagick(const std::string& file) {
    Decoded d;
    int depth = 0;
    FILE* p = popen(("/usr/bin/identify -format '%w %h %z' '" + file + "[0]'").c_str(), "r");
    if (!p) return d;
    if (std::fscanf(p, "%d %d %d", &d.Width, &d.Height, &depth) != 3) d.Width = d.Height = 0;
    pclose(p);
    if (d.Width <= 0 || d.Height <= 0) return d;
    const size_t bytes = depth == 16 ? 2 : 1;
    p = popen(("/usr/bin/convert '" + file + "[0]' -endian MSB -depth " + std::to_string(8 * bytes) + " rgb:-").c_str(),
              "r");
    if (!p) return d;
    std::vector<uint8_t> raw(static_cast<size_t>(d.Width) * d.Height * 3 * bytes);
    const bool whole = std::fread(raw.data(), 1, raw.size(), p) == raw.size();
    pclose(p);
    if (!whole) return d;
    for (size_t i = 0; i < raw.size(); i += bytes) d.Rgb.push_back(raw[i]);
    return d;
}

// Everything of a bitmap a mask is made of: size, format, colour table and every row.
struct Snapshot {
    int Width = 0, Height = 0;
    cl::TPixelFormat Format = cl::pfDevice;
    std::vector<win::RGBQUAD> Table;
    std::vector<uint8_t> Rows;
};

Snapshot Take(cl::TBitmap& b) {
    Snapshot s;
    s.Width = b.GetWidth();
    s.Height = b.GetHeight();
    s.Format = b.GetPixelFormat();
    s.Table = b.GetColorTable();
    for (int y = 0; y < s.Height; ++y) {
        const auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
        s.Rows.insert(s.Rows.end(), row, row + b.RowBytes());
    }
    return s;
}

void ExpectSame(const Snapshot& a, const Snapshot& b) {
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_EQ(a.Format, b.Format);
    ASSERT_EQ(a.Table.size(), b.Table.size());
    for (size_t i = 0; i < a.Table.size(); ++i) {
        EXPECT_EQ(a.Table[i].rgbRed, b.Table[i].rgbRed) << "entry " << i;
        EXPECT_EQ(a.Table[i].rgbGreen, b.Table[i].rgbGreen) << "entry " << i;
        EXPECT_EQ(a.Table[i].rgbBlue, b.Table[i].rgbBlue) << "entry " << i;
    }
    EXPECT_TRUE(a.Rows == b.Rows) << "the pixels changed";
}

// A program file on disk: some bytes standing for the player, the pieces, the rest.
class ProgramFile {
public:
    explicit ProgramFile(const lumetra_test::PrivateDir& dir) : path_(dir / "show.scr") {}
    std::pair<int64_t, int64_t> Add(const std::string& data) {
        const auto start = static_cast<int64_t>(bytes_.size());
        bytes_ += data;
        return {start, static_cast<int64_t>(bytes_.size())};
    }
    // The file, opened read-only as the show window opens it.
    std::unique_ptr<cl::TFileStream> Open() {
        std::ofstream(path_, std::ios::binary) << bytes_;
        return std::make_unique<cl::TFileStream>(path_, cl::fmOpenRead | cl::fmShareDenyNone);
    }
    int64_t Size() const { return static_cast<int64_t>(bytes_.size()); }

private:
    std::string path_;
    std::string bytes_ =
        "\x7F"
        "ELF player image stand-in";
};

class MaskLoader : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static bool started = false;
        if (!started) {
            started = true;
            player::StartUpImagingLibrary();
        }
    }
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
        ASSERT_TRUE(dir_.Ok());
    }

    // A mask that no picture could give: 5 x 3, 8 bits, a colour table that is no grey ramp.
    static void MakeOddMask(cl::TBitmap& b) {
        b.SetPixelFormat(cl::pf8bit);
        std::vector<win::RGBQUAD> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = win::RGBQUAD{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 77, 0};
        b.SetColorTable(table);
        b.SetSize(5, 3);
        for (int y = 0; y < 3; ++y) {
            auto* row = static_cast<uint8_t*>(b.ScanLine(y));
            for (int x = 0; x < 5; ++x) row[x] = static_cast<uint8_t>(40 * y + 7 * x + 1);
        }
    }

    lumetra_test::PrivateDir dir_{"lumetra_mask"};
};

class MaskPictures : public MaskLoader, public ::testing::WithParamInterface<const char*> {};

}  // namespace

// A colour picture of each format becomes an 8-bit bitmap of its size whose colour table is
// the grey ramp and whose indexes are (R x 21 + G x 71 + B x 8) div 100 of ImageMagick's
// decoding; read from the middle of a program file, between other bytes.
TEST_P(MaskPictures, ColourPictureBecomesItsGreyLevels) {
    const std::string file = MaskFixture(GetParam());
    const Decoded ref = DecodeWithImageMagick(file);
    ASSERT_FALSE(ref.Rgb.empty()) << "ImageMagick could not read " << file;
    ProgramFile program(dir_);
    program.Add(std::string(1000, '\xAB'));
    const auto range = program.Add(ReadFile(file));
    program.Add(std::string(333, '\x00'));
    auto stream = program.Open();

    cl::TBitmap mask;
    MakeOddMask(mask);
    LoadMaskFromStream(stream.get(), &mask, range.first, range.second);
    ASSERT_EQ(mask.GetWidth(), ref.Width);
    ASSERT_EQ(mask.GetHeight(), ref.Height);
    EXPECT_EQ(mask.GetPixelFormat(), cl::pf8bit);
    const auto& table = mask.GetColorTable();
    ASSERT_EQ(table.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(table[i].rgbRed, i);
        EXPECT_EQ(table[i].rgbGreen, i);
        EXPECT_EQ(table[i].rgbBlue, i);
    }
    int wrong = 0;
    for (int y = 0; y < ref.Height; ++y) {
        const auto* row = static_cast<const uint8_t*>(mask.ScanLine(y));
        for (int x = 0; x < ref.Width; ++x) {
            const uint8_t* p = &ref.Rgb[(static_cast<size_t>(y) * ref.Width + x) * 3];
            const int grey = (p[0] * 21 + p[1] * 71 + p[2] * 8) / 100;
            if (row[x] != grey && ++wrong <= 5)
                ADD_FAILURE() << "(" << x << ", " << y << "): " << int(row[x]) << " instead of " << grey;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, MaskPictures,
                         ::testing::Values("colour444.jpg", "colour420.jpg", "colour.png", "colour.bmp", "colour.gif",
                                           "mono.png", "grey16.png", "colour.tif"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// Whatever keeps a range from giving a picture leaves the mask exactly as it was, and
// nothing is raised.
TEST_F(MaskLoader, FailuresLeaveThePreviousMaskByteForByte) {
    const std::string png = ReadFile(MaskFixture("colour.png"));
    const std::string jpeg = ReadFile(MaskFixture("colour444.jpg"));
    ProgramFile program(dir_);
    const auto junk = program.Add("these bytes are text, not a picture of any kind; " + std::string(4000, 'x'));
    const auto pngRange = program.Add(png);
    const auto jpegRange = program.Add(jpeg);
    const auto zeros = program.Add(std::string(2048, '\0'));
    auto stream = program.Open();
    const int64_t size = program.Size();

    struct Case {
        const char* what;
        int64_t start, end;
    };
    // clang-format off
    const Case cases[] = {
        {"bytes that are no picture",           junk.first, junk.second},
        {"zero bytes",                          zeros.first, zeros.second},
        {"an empty range",                      pngRange.first, pngRange.first},
        {"an end before the start",             pngRange.second, pngRange.first},
        {"a start past the end of the file",    size + 10, size + 5000},
        {"a start at the end of the file",      size, std::numeric_limits<int64_t>::max()},
        {"a PNG cut after its header",          pngRange.first, pngRange.first + 33},
        {"a PNG cut in its image data",         pngRange.first, pngRange.first + 120},
        {"a JPEG cut in its tables",            jpegRange.first, jpegRange.first + 200},
        {"a PNG without its last bytes",        pngRange.first, pngRange.second - 12},
        {"a range that starts inside a PNG",    pngRange.first + 8, pngRange.second},
        {"a negative range",                    -500, -10},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cl::TBitmap mask;
        MakeOddMask(mask);
        const Snapshot before = Take(mask);
        EXPECT_NO_THROW(LoadMaskFromStream(stream.get(), &mask, c.start, c.end));
        ExpectSame(Take(mask), before);
    }
    // A mask that a picture gave stays too when the next range fails.
    cl::TBitmap mask;
    LoadMaskFromStream(stream.get(), &mask, pngRange.first, pngRange.second);
    ASSERT_EQ(mask.GetWidth(), 37);
    const Snapshot loaded = Take(mask);
    LoadMaskFromStream(stream.get(), &mask, junk.first, junk.second);
    ExpectSame(Take(mask), loaded);
    // Without a stream or a bitmap nothing happens.
    EXPECT_NO_THROW(LoadMaskFromStream(nullptr, &mask, pngRange.first, pngRange.second));
    ExpectSame(Take(mask), loaded);
    EXPECT_NO_THROW(LoadMaskFromStream(stream.get(), nullptr, pngRange.first, pngRange.second));
}

// The range is cut to the stream before anything is copied: an end far past the stream (or a
// start before it) still gives the picture the stream holds, and never a copy of that size.
TEST_F(MaskLoader, RangesAreCutToTheStream) {
    const std::string gif = ReadFile(MaskFixture("colour.gif"));
    auto memory = std::make_unique<cl::TMemoryStream>();
    memory->WriteBuffer(gif.data(), static_cast<int64_t>(gif.size()));
    for (auto [start, end] : {std::pair<int64_t, int64_t>{0, std::numeric_limits<int64_t>::max()},
                              std::pair<int64_t, int64_t>{std::numeric_limits<int64_t>::min(), 1 << 30}}) {
        cl::TBitmap mask;
        LoadMaskFromStream(memory.get(), &mask, start, end);
        EXPECT_EQ(mask.GetWidth(), 37);
        EXPECT_EQ(mask.GetHeight(), 23);
        EXPECT_EQ(mask.GetPixelFormat(), cl::pf8bit);
    }
    // The helper itself copies exactly the part of the range that lies in the stream.
    auto out = std::make_unique<cl::TMemoryStream>();
    EXPECT_EQ(player::CopyShowRange(memory.get(), 10, 1 << 30, out.get()), static_cast<int64_t>(gif.size()) - 10);
    ASSERT_EQ(out->GetSize(), static_cast<int64_t>(gif.size()) - 10);
    EXPECT_EQ(std::string(static_cast<const char*>(out->GetMemory()), gif.size() - 10), gif.substr(10));
    EXPECT_EQ(player::CopyShowRange(memory.get(), 30, 20, out.get()), 0);
}

namespace {

// The hostile pictures of the imaging tests (claimed sizes, chunks past the end, zip bombs):
// every file there but the script that writes them.
std::vector<std::filesystem::path> HostilePictures() {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(LUMETRA_HOSTILE_DATA))
        if (e.path().extension() != ".py") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// A grey PNG of 1 bit a pixel, all black: small in the file whatever its size.
std::string BlackPng(uint32_t width, uint32_t height) {
    auto be32 = [](std::string& s, uint32_t v) {
        for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto chunk = [&](std::string& out, const char* type, const std::string& data) {
        be32(out, static_cast<uint32_t>(data.size()));
        const std::string body = type + data;
        out += body;
        be32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
    };
    std::string ihdr;
    be32(ihdr, width);
    be32(ihdr, height);
    ihdr += std::string("\x01\x00\x00\x00\x00", 5);
    const std::string raw(static_cast<size_t>((width + 7) / 8 + 1) * height, '\0');
    uLongf packedSize = compressBound(raw.size());
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              raw.size(), 9);
    packed.resize(packedSize);
    std::string out = "\x89PNG\r\n\x1a\n";
    chunk(out, "IHDR", ihdr);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", "");
    return out;
}

}  // namespace

// Every hostile picture as a mask is refused like any picture that cannot be had (the mask
// stays as it was), or, for the few whose header claims a picture of at most 64 pixels a
// side, gives at most that; nothing is raised, and no temporary file is left.
TEST_F(MaskLoader, HostilePicturesLeaveThePreviousMask) {
    const std::vector<std::filesystem::path> files = HostilePictures();
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        ProgramFile program(dir_);
        program.Add(std::string(100, '\xAB'));
        const auto range = program.Add(ReadFile(file.string()));
        auto stream = program.Open();
        cl::TBitmap mask;
        MakeOddMask(mask);
        const Snapshot before = Take(mask);
        EXPECT_NO_THROW(LoadMaskFromStream(stream.get(), &mask, range.first, range.second));
        if (mask.GetWidth() == before.Width && mask.GetHeight() == before.Height) {
            ExpectSame(Take(mask), before);
        } else {
            EXPECT_LE(mask.GetWidth(), 64);
            EXPECT_LE(mask.GetHeight(), 64);
            EXPECT_EQ(mask.GetPixelFormat(), cl::pf8bit);
        }
    }
    // Only the program file is in the test's folder.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.Path())) ++entries;
    EXPECT_EQ(entries, 1);
}

// The masks' pixel budget: a picture just within it is a mask, one just beyond it (which the
// imaging library would read elsewhere) is no mask, and the previous one stays.
TEST_F(MaskLoader, PicturesBeyondTheMaskBudgetAreNoMask) {
    const uint32_t width = 8192;
    const auto within = static_cast<uint32_t>(player::kMaskPixelBudget / width);
    ProgramFile program(dir_);
    const auto fits = program.Add(BlackPng(width, within));
    const auto over = program.Add(BlackPng(width, within + 1));
    auto stream = program.Open();

    cl::TBitmap mask;
    MakeOddMask(mask);
    const Snapshot before = Take(mask);
    LoadMaskFromStream(stream.get(), &mask, over.first, over.second);
    ExpectSame(Take(mask), before);
    LoadMaskFromStream(stream.get(), &mask, fits.first, fits.second);
    EXPECT_EQ(mask.GetWidth(), static_cast<int>(width));
    EXPECT_EQ(mask.GetHeight(), static_cast<int>(within));
    EXPECT_EQ(mask.GetPixelFormat(), cl::pf8bit);
}
