// The built lumetra-image as a person uses it from a shell: every format it writes, checked
// with independent tools in both directions, the modes of what it writes, its pages, its
// layouts and compressions, and its error messages and exit statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../common/private_dir.h"

#if defined(LUMETRA_IMAGE_PATH) && defined(LUMETRA_IMAGING_DATA)

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// True when Text holds one of the alternatives of Wanted, which "|" separates.
bool HoldsOneOf(const std::string& text, const std::string& wanted) {
    size_t from = 0;
    while (true) {
        const size_t bar = wanted.find('|', from);
        if (text.find(wanted.substr(from, bar - from)) != std::string::npos) return true;
        if (bar == std::string::npos) return false;
        from = bar + 1;
    }
}

// Text with every run of spaces made one space.
std::string OneSpace(const std::string& text) {
    std::string r;
    for (char c : text)
        if (c != ' ' || r.empty() || r.back() != ' ') r += c;
    return r;
}

std::string Data(const std::string& name) { return std::string(LUMETRA_IMAGING_DATA) + "/" + name; }

// A picture read from a binary anymap (P5 or P6, maxval 255 or 65535), as RGB samples.
struct Picture {
    int Width = 0, Height = 0, MaxVal = 0;
    std::vector<int> Samples;  // three a pixel
};

bool ParsePNM(const std::string& bytes, Picture& p) {
    std::istringstream in(bytes);
    std::string magic;
    in >> magic;
    auto number = [&](int& v) {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string skip;
            std::getline(in, skip);
            in >> std::ws;
        }
        return bool(in >> v);
    };
    if ((magic != "P5" && magic != "P6") || !number(p.Width) || !number(p.Height) || !number(p.MaxVal)) return false;
    in.get();
    const int channels = magic == "P6" ? 3 : 1, bytesPer = p.MaxVal > 255 ? 2 : 1;
    const size_t n = static_cast<size_t>(p.Width) * p.Height * channels;
    std::string raster(n * bytesPer, '\0');
    if (!in.read(raster.data(), static_cast<std::streamsize>(raster.size()))) return false;
    p.Samples.clear();
    for (size_t i = 0; i < n; ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(raster.data() + i * bytesPer);
        const int v = bytesPer == 2 ? (b[0] << 8 | b[1]) : b[0];
        for (int c = 0; c < (channels == 1 ? 3 : 1); ++c) p.Samples.push_back(v);
    }
    return true;
}

struct Result {
    int Status = -1;
    std::string Out, Err;
};

class ImageToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(private_.Ok());
        // A 13 x 7 picture of six colours: every format below holds it, palettes included.
        static const unsigned char colours[6][3] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200},
                                                    {240, 240, 20}, {0, 0, 0},   {255, 255, 255}};
        std::string ppm = "P6\n13 7\n255\n";
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                for (int c = 0; c < 3; ++c) ppm += static_cast<char>(colours[(x / 3 + y / 2) % 6][c]);
        Write("src.ppm", ppm);
    }

    std::string Path(const std::string& name) const { return private_ / name; }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }

    // The tool with Args under the umask Mask; Prefix runs it through another program (a
    // change of user).
    Result Tool(const std::vector<std::string>& args, mode_t mask = 022, const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> words = prefix;
        words.push_back(LUMETRA_IMAGE_PATH);
        words.insert(words.end(), args.begin(), args.end());
        const std::string out = Path(".out"), err = Path(".err");
        const pid_t pid = fork();
        if (pid == 0) {
            ::umask(mask);
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0) _exit(126);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::vector<char*> argv;
            for (std::string& w : words) argv.push_back(w.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            _exit(127);
        }
        Result r;
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.Status = WEXITSTATUS(status);
        r.Out = ReadFile(out);
        r.Err = ReadFile(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    // An independent tool's output (stdout and stderr) and whether it succeeded.
    static std::string Shell(const std::string& command, bool* ok = nullptr) {
        FILE* f = ::popen((command + " 2>&1").c_str(), "r");
        std::string text;
        char buf[512];
        while (f && std::fgets(buf, sizeof buf, f)) text += buf;
        const int status = f ? ::pclose(f) : -1;
        if (ok) *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return text;
    }

    // The tool's reading of File as an anymap.
    Picture ReadBack(const std::string& file) {
        Picture p;
        const std::string back = Path("back.ppm");
        const Result r = Tool({"convert", file, back});
        EXPECT_EQ(r.Status, 0) << file << ": " << r.Err;
        EXPECT_TRUE(ParsePNM(ReadFile(back), p)) << file;
        fs::remove(back);
        return p;
    }

    mode_t Mode(const std::string& name) {
        struct stat st {};
        EXPECT_EQ(::stat(Path(name).c_str(), &st), 0) << name;
        return st.st_mode & 07777;
    }

    // Files in the folder other than the named ones.
    std::vector<std::string> Others(std::initializer_list<std::string> known) {
        std::vector<std::string> r;
        for (const auto& e : fs::directory_iterator(private_.Path())) {
            const std::string n = e.path().filename().string();
            if (std::find(known.begin(), known.end(), n) == known.end()) r.push_back(n);
        }
        return r;
    }

    lumetra_test::PrivateDir private_{"lumetra_image"};
};

// How closely a format keeps the six-colour picture: exactly, as a lossy format does (its
// colours blur at their edges), as two decoders of one lossy file agree, or only its size.
enum class Keeps { Exactly, Closely, Decoded, Size };

void ExpectSame(const Picture& got, const Picture& want, Keeps keeps, const std::string& what) {
    ASSERT_EQ(got.Width, want.Width) << what;
    ASSERT_EQ(got.Height, want.Height) << what;
    if (keeps == Keeps::Size) return;
    ASSERT_EQ(got.Samples.size(), want.Samples.size()) << what;
    long diff = 0;
    for (size_t i = 0; i < got.Samples.size(); ++i) diff += std::abs(got.Samples[i] - want.Samples[i]);
    const long mean = diff / static_cast<long>(got.Samples.size());
    if (keeps == Keeps::Exactly)
        EXPECT_EQ(diff, 0) << what;
    else if (keeps == Keeps::Decoded)
        EXPECT_LE(mean, 3) << what;
    else
        EXPECT_LT(mean, 48) << what;
}

// Every format the tool writes: the file it makes is what an independent tool says it is,
// has the umask's mode, and reads back; the same format written by another program reads
// too. Lossy formats are read back as the other program's decoder reads them.
struct WrittenFormat {
    const char* ext;
    const char* check;     // the checking command, FILE standing for the file
    const char* expected;  // what its output holds (alternatives separated by "|")
    Keeps keeps;           // what reading our file back keeps
    bool readable;         // the tool reads the format
    const char* theirs;    // another program writing SRC to OUT in the format, or ""
};

#define IM "/usr/bin/convert SRC "
const WrittenFormat kWrittenFormats[] = {
    {"tif", "tiffinfo FILE", "Image Width: 13 Image Length: 7", Keeps::Exactly, true, IM "TIFF:OUT"},
    {"gif", "gifsicle --info FILE", "logical screen 13x7", Keeps::Exactly, true, IM "GIF:OUT"},
    {"jpg", "identify FILE", "JPEG 13x7", Keeps::Closely, true, IM "JPEG:OUT"},
    {"pcx", "identify FILE", "PCX 13x7", Keeps::Exactly, true, IM "PCX:OUT"},
    {"bmp", "identify FILE", "BMP 13x7|BMP3 13x7", Keeps::Exactly, true, IM "BMP3:OUT"},
    {"ico", "icotool -l FILE", "--width=13 --height=7 --bit-depth=24", Keeps::Exactly, true, IM "ICO:OUT"},
    {"png", "pngcheck FILE", "OK: FILE (13x7,", Keeps::Exactly, true, IM "PNG:OUT"},
    // ImageMagick's Targa rows run the other way than netpbm's and ours.
    {"tga", "identify FILE", "TGA 13x7", Keeps::Exactly, true, "(ppmtotga SRC > OUT)"},
    {"ppm", "pnmfile FILE", "PPM raw, 13 by 7  maxval 255", Keeps::Exactly, true, IM "PPM:OUT"},
    {"pgm", "pnmfile FILE", "PGM raw, 13 by 7  maxval 255", Keeps::Size, true, IM "PGM:OUT"},
    {"pbm", "pnmfile FILE", "PBM raw, 13 by 7", Keeps::Size, true, IM "PBM:OUT"},
    {"jp2", "opj_dump -i FILE", "x1=13, y1=7", Keeps::Closely, true, IM "JP2:OUT"},
    {"j2k", "opj_dump -i FILE", "x1=13, y1=7", Keeps::Closely, true, IM "J2K:OUT"},
    {"wbmp", "identify FILE", "WBMP 13x7", Keeps::Size, true, IM "WBMP:OUT"},
    {"dcx", "identify FILE", "DCX 13x7", Keeps::Exactly, true, IM "DCX:OUT"},
    {"psd", "identify FILE", "PSD 13x7", Keeps::Exactly, true, IM "PSD:OUT"},
    // Nothing else here writes HD Photo; exiftool reads its header.
    {"hdp", "exiftool -s3 -FileType -ImageWidth -ImageHeight FILE", "HDP\n13\n7\n", Keeps::Closely, true, ""},
    // Ghostscript measures what the page draws (rounding its fraction of a point up).
    {"eps", "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=bbox FILE", "%%BoundingBox: 0 0 13 7|%%BoundingBox: 0 0 13 8",
     Keeps::Size, false, ""},
    {"ps", "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=bbox FILE", "%%HiResBoundingBox: 0", Keeps::Size, false, ""},
    {"pdf", "qpdf --check FILE", "No syntax or stream encoding errors", Keeps::Size, false, ""},
};
#undef IM

class WrittenFormatTest : public ImageToolTest, public ::testing::WithParamInterface<WrittenFormat> {};

TEST_P(WrittenFormatTest, BothWaysWithTheUmasksMode) {
    const WrittenFormat& c = GetParam();
    Picture source;
    ASSERT_TRUE(ParsePNM(ReadFile(Path("src.ppm")), source));
    auto fill = [](std::string text, const std::string& key, const std::string& value) {
        for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return text;
    };
    const std::string ours = std::string("ours.") + c.ext;
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        fs::remove(Path(ours));
        const Result r = Tool({"convert", Path("src.ppm"), Path(ours)}, mask);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(Mode(ours), 0666 & ~mask);
    }
    const std::string said = Shell(fill(c.check, "FILE", Path(ours)));
    EXPECT_TRUE(HoldsOneOf(said, fill(c.expected, "FILE", Path(ours)))) << said;
    if (c.readable) {
        const Picture back = ReadBack(Path(ours));
        ExpectSame(back, source, c.keeps, "ours");
        if (c.keeps == Keeps::Closely && *c.theirs) {
            // Another decoder of the same file sees the same pixels.
            bool ok = false;
            Shell("/usr/bin/convert " + Path(ours) + " -depth 8 PPM:" + Path("decoded.ppm"), &ok);
            ASSERT_TRUE(ok);
            Picture decoded;
            ASSERT_TRUE(ParsePNM(ReadFile(Path("decoded.ppm")), decoded));
            ExpectSame(back, decoded, Keeps::Decoded, "decoders");
        }
    }
    if (*c.theirs) {
        const std::string theirs = Path(std::string("theirs.") + c.ext);
        bool ok = false;
        const std::string made = Shell(fill(fill(c.theirs, "SRC", Path("src.ppm")), "OUT", theirs), &ok);
        ASSERT_TRUE(ok) << made;
        ExpectSame(ReadBack(theirs), source, c.keeps, "theirs");
    }
    for (const std::string& n : Others({}))
        EXPECT_NE(n.rfind(".lumetra-image-", 0), 0u) << "a temporary file stayed: " << n;
}

INSTANTIATE_TEST_SUITE_P(Formats, WrittenFormatTest, ::testing::ValuesIn(kWrittenFormats),
                         [](const ::testing::TestParamInfo<WrittenFormat>& info) { return std::string(info.param.ext); });

// Converting over an existing file keeps that file's mode, whatever the umask.
TEST_F(ImageToolTest, AnExistingOutputKeepsItsMode) {
    for (const char* name : {"kept.png", "kept.tif", "kept.eps"}) {
        Write(name, "old");
        ASSERT_EQ(::chmod(Path(name).c_str(), 0640), 0);
        for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
            const Result r = Tool({"convert", Path("src.ppm"), Path(name)}, mask);
            ASSERT_EQ(r.Status, 0) << name << r.Err;
            EXPECT_EQ(Mode(name), 0640u) << name;
            EXPECT_NE(ReadFile(Path(name)), "old") << name;
        }
    }
}

// The anymap and PostScript layouts the extension names.
TEST_F(ImageToolTest, LayoutsFollowTheExtension) {
    for (const char* ext : {"pgm", "pbm", "ppm", "pxm", "eps"})
        ASSERT_EQ(Tool({"convert", Path("src.ppm"), Path(std::string("o.") + ext)}).Status, 0) << ext;
    EXPECT_EQ(ReadFile(Path("o.pgm")).substr(0, 2), "P5");
    EXPECT_EQ(ReadFile(Path("o.pbm")).substr(0, 2), "P4");
    EXPECT_EQ(ReadFile(Path("o.ppm")).substr(0, 2), "P6");
    EXPECT_EQ(ReadFile(Path("o.pxm")).substr(0, 2), "P6");  // a colour picture
    // A grey picture as .pxm is a grey map, a black-and-white one a bitmap.
    ASSERT_EQ(Tool({"convert", Data("pnm/pgm255.pgm"), Path("g.pxm")}).Status, 0);
    EXPECT_EQ(ReadFile(Path("g.pxm")).substr(0, 2), "P5");
    ASSERT_EQ(Tool({"convert", Data("pnm/pbm.pbm"), Path("b.pxm")}).Status, 0);
    EXPECT_EQ(ReadFile(Path("b.pxm")).substr(0, 2), "P4");
    // The grey map holds the grey of each colour, as ImageMagick makes it.
    bool ok = false;
    Shell("/usr/bin/convert " + Path("src.ppm") + " -colorspace Gray -depth 8 " + Path("im.pgm"), &ok);
    ASSERT_TRUE(ok);
    Picture ours, theirs;
    ASSERT_TRUE(ParsePNM(ReadFile(Path("o.pgm")), ours));
    ASSERT_TRUE(ParsePNM(ReadFile(Path("im.pgm")), theirs));
    ExpectSame(ours, theirs, Keeps::Closely, "grey");
    // Encapsulated PostScript: its own header and the picture's box, one pixel a point.
    const std::string eps = ReadFile(Path("o.eps"));
    EXPECT_EQ(eps.rfind("%!PS-Adobe-3.0 EPSF-3.0\r\n", 0), 0u) << eps.substr(0, 40);
    EXPECT_NE(eps.find("%%BoundingBox: 0 0 13 7\r\n"), std::string::npos);
    EXPECT_NE(Shell("exiftool -BoundingBox " + Path("o.eps")).find(": 0 0 13 7"), std::string::npos);
}

// 16-bit samples stay 16 bits where the writer keeps them; palettes and grey stay in TIFF.
TEST_F(ImageToolTest, NativeSamplesAreKept) {
    const struct {
        const char* in;
        const char* out;
        const char* check;
        const char* expected;
    } cases[] = {
        {"tiff/grey16.tif", "g16.tif", "tiffinfo", "Bits/Sample: 16"},
        {"tiff/rgb16.tif", "c16.tif", "tiffinfo", "Bits/Sample: 16"},
        {"png/grey16.png", "p16.tif", "tiffinfo", "Bits/Sample: 16"},
        {"tiff/rgb16.tif", "c16.ppm", "pnmfile", "maxval 65535"},
        {"tiff/pal8.tif", "pal.tif", "tiffinfo", "Photometric Interpretation: palette"},
        {"tiff/grey8.tif", "grey.tif", "tiffinfo", "Photometric Interpretation: min-is-black"},
        {"tiff/cmyk.tif", "cmyk.tif", "tiffinfo", "Photometric Interpretation: separated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in) + " -> " + c.out);
        const Result r = Tool({"convert", Data(c.in), Path(c.out)});
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string said = Shell(std::string(c.check) + " " + Path(c.out));
        EXPECT_NE(said.find(c.expected), std::string::npos) << said;
    }
    // The 16-bit samples themselves, against ImageMagick's reading of the same file.
    bool ok = false;
    Shell("/usr/bin/convert " + Data("tiff/rgb16.tif") + " -depth 16 " + Path("im16.ppm"), &ok);
    ASSERT_TRUE(ok);
    Picture ours, theirs;
    ASSERT_TRUE(ParsePNM(ReadFile(Path("c16.ppm")), ours));
    ASSERT_TRUE(ParsePNM(ReadFile(Path("im16.ppm")), theirs));
    EXPECT_EQ(ours.MaxVal, 65535);
    ExpectSame(ours, theirs, Keeps::Exactly, "16-bit colour");
    Picture back;
    Shell("/usr/bin/convert " + Path("g16.tif") + " -depth 16 " + Path("g16.pgm"), &ok);
    ASSERT_TRUE(ok);
    Shell("/usr/bin/convert " + Data("tiff/grey16.tif") + " -depth 16 " + Path("ref16.pgm"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(ParsePNM(ReadFile(Path("g16.pgm")), ours));
    ASSERT_TRUE(ParsePNM(ReadFile(Path("ref16.pgm")), theirs));
    ExpectSame(ours, theirs, Keeps::Exactly, "16-bit grey");
}

// --compression through the per-image parameters: what tiffinfo and the file sizes say, and
// the pixels are still the picture's.
TEST_F(ImageToolTest, CompressionOption) {
    const struct {
        const char* in;
        const char* name;
        const char* scheme;
    } tiff[] = {
        {"src.ppm", "none", "Compression Scheme: None"},
        {"src.ppm", "lzw", "Compression Scheme: LZW"},
        {"src.ppm", "deflate", "Compression Scheme: Deflate|Compression Scheme: AdobeDeflate"},
        {"src.ppm", "packbits", "Compression Scheme: PackBits"},
        {"src.ppm", "jpeg", "Compression Scheme: JPEG"},
        {"bw.pbm", "g3", "Compression Scheme: CCITT Group 3"},
        {"bw.pbm", "g4", "Compression Scheme: CCITT Group 4"},
    };
    bool ok = false;
    Shell("/usr/bin/convert " + Path("src.ppm") + " -threshold 50% " + Path("bw.pbm"), &ok);
    ASSERT_TRUE(ok);
    for (const auto& c : tiff) {
        SCOPED_TRACE(c.name);
        const std::string out = Path(std::string("c_") + c.name + ".tif");
        const Result r = Tool({"--compression", c.name, "convert", Path(c.in), out});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(HoldsOneOf(Shell("tiffinfo " + out), c.scheme));
        // ImageMagick reads the same pixels as the source.
        Shell("/usr/bin/convert " + out + " -depth 8 " + Path("c.ppm"), &ok);
        ASSERT_TRUE(ok);
        Shell("/usr/bin/convert " + Path(c.in) + " -depth 8 " + Path("s.ppm"), &ok);
        Picture got, want;
        ASSERT_TRUE(ParsePNM(ReadFile(Path("c.ppm")), got));
        ASSERT_TRUE(ParsePNM(ReadFile(Path("s.ppm")), want));
        ExpectSame(got, want, std::string(c.name) == "jpeg" ? Keeps::Closely : Keeps::Exactly, c.name);
    }
    // PNG levels: level 0 stores the data, level 9 compresses it; both are the picture.
    const std::string big = Path("big.ppm");
    Shell("/usr/bin/convert -size 200x200 gradient:red-blue -depth 8 " + big, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(Tool({"convert", big, Path("l0.png"), "--compression=0"}).Status, 0);
    ASSERT_EQ(Tool({"convert", big, Path("l9.png"), "--compression", "9"}).Status, 0);
    EXPECT_GT(fs::file_size(Path("l0.png")), 2 * fs::file_size(Path("l9.png")));
    for (const char* n : {"l0.png", "l9.png"}) {
        Shell("pngcheck " + Path(n), &ok);
        EXPECT_TRUE(ok) << n;
        Picture got, want;
        ASSERT_TRUE(ParsePNM(ReadFile(big), want));
        Shell("/usr/bin/convert " + Path(n) + " -depth 8 " + Path("png.ppm"), &ok);
        ASSERT_TRUE(ParsePNM(ReadFile(Path("png.ppm")), got));
        ExpectSame(got, want, Keeps::Exactly, n);
    }
}

// Files of several pages: info lists each, --page picks one, and past the last one the
// tool says how many there are.
TEST_F(ImageToolTest, PagesAreListedAndCounted) {
    const struct {
        const char* file;
        int pages;
        const char* line;  // one page line info must print
    } cases[] = {
        {"tiff/multi.tif", 3, "page 2: "},
        {"gif/anim.gif", 0, "page 1: "},
        {"pcx/pages.dcx", 3, "page 2: "},
        {"ico/three.ico", 3, "page 1: 32 x 32, RGB, 8 bits, with alpha"},
        {"avi/raw.avi", 12, "pages 0-11: 40 x 30, RGB, 8 bits"},
        {"dicom/multi3.dcm", 3, "page 2: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Result r = Tool({"info", Data(c.file)});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_NE(r.Out.find(c.line), std::string::npos) << r.Out;
        const size_t at = r.Out.find("\npages: ");
        ASSERT_NE(at, std::string::npos) << r.Out;
        const int pages = std::atoi(r.Out.c_str() + at + 8);
        if (c.pages) {
            EXPECT_EQ(pages, c.pages);
        }
        for (int i = 0; i < pages && std::string(c.file).find(".avi") == std::string::npos; ++i)
            EXPECT_NE(r.Out.find("page " + std::to_string(i) + ": "), std::string::npos) << i;
        // The last page reads; the next one is refused with the count.
        r = Tool({"convert", Data(c.file), Path("p.png"), "--page", std::to_string(pages - 1)});
        EXPECT_EQ(r.Status, 0) << r.Err;
        r = Tool({"convert", Data(c.file), Path("q.png"), "--page", std::to_string(pages)});
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find(Data(c.file) + " has " + std::to_string(pages) + " pages"), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(Path("q.png")));
    }
    // A page of a multi-page file is that page: DCX pages against their references.
    for (int i = 0; i < 3; ++i) {
        const Result r = Tool({"convert", "--page", std::to_string(i), Data("pcx/pages.dcx"), Path("page.ppm")});
        ASSERT_EQ(r.Status, 0) << r.Err;
        Picture got, want;
        ASSERT_TRUE(ParsePNM(ReadFile(Path("page.ppm")), got));
        ASSERT_TRUE(ParsePNM(ReadFile(Data("pcx/pages" + std::to_string(i) + ".ref.ppm")), want));
        ExpectSame(got, want, Keeps::Exactly, "page " + std::to_string(i));
    }
    // A single picture has one page.
    const Result r = Tool({"info", "--page", "1", Path("src.ppm")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(Path("src.ppm") + " has 1 page\n"), std::string::npos) << r.Err;
}

// What info says of the pixels, in words.
TEST_F(ImageToolTest, InfoDescribesThePixels) {
    const struct {
        const char* file;
        const char* pixels;
    } cases[] = {
        {"tiff/rgb.tif", "pixels: RGB, 8 bits\n"},
        {"tiff/grey16.tif", "pixels: grey, 16 bits\n"},
        {"tiff/grey8.tif", "pixels: grey, 8 bits\n"},
        {"png/grey16.png", "pixels: grey, 16 bits\n"},
        {"tiff/bw.tif", "pixels: black and white, 1 bit\n"},
        {"png/pal8.png", "pixels: palette, 256 colours\n"},
        {"png/rgba8.png", "pixels: RGB, 8 bits, with alpha\n"},
        {"tiff/cmyk.tif", "pixels: CMYK, 8 bits\n"},
    };
    for (const auto& c : cases) {
        const Result r = Tool({"info", Data(c.file)});
        EXPECT_EQ(r.Status, 0) << c.file << r.Err;
        EXPECT_NE(r.Out.find(c.pixels), std::string::npos) << c.file << "\n" << r.Out;
    }
}

// Formats without a content test go by the extension, and video files are read.
TEST_F(ImageToolTest, ExtensionFallbackAndVideo) {
    bool ok = false;
    Shell("/usr/bin/convert " + Path("src.ppm") + " WBMP:" + Path("w.wbmp"), &ok);
    ASSERT_TRUE(ok);
    Result r = Tool({"info", Path("w.wbmp")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("format: Wireless Bitmap\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("width: 13\n"), std::string::npos) << r.Out;
    // Frame 5 of the uncompressed video is ffmpeg's frame 5.
    r = Tool({"convert", Data("avi/raw.avi"), Path("f5.ppm"), "--page", "5"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string ff = Shell("ffmpeg -v error -y -i " + Data("avi/raw.avi") +
                                     " -vf 'select=eq(n\\,5)' -frames:v 1 -pix_fmt rgb24 " + Path("ff5.ppm"),
                                 &ok);
    if (!ok) GTEST_SKIP() << "no ffmpeg: " << ff;
    Picture got, want;
    ASSERT_TRUE(ParsePNM(ReadFile(Path("f5.ppm")), got));
    ASSERT_TRUE(ParsePNM(ReadFile(Path("ff5.ppm")), want));
    ExpectSame(got, want, Keeps::Exactly, "frame 5");
}

// The list of formats: each with its extensions and what the tool does with it.
TEST_F(ImageToolTest, FormatsListsEveryFormat) {
    const Result r = Tool({"formats"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string table = OneSpace(r.Out);
    EXPECT_EQ(table.rfind("format extensions read write pages\n", 0), 0u) << r.Out;
    for (const char* row : {
             "TIFF Bitmap tif tiff fax g3n g3f xif yes yes many",
             "CompuServe Bitmap gif yes yes many",
             "JPEG Bitmap jpg jpeg jpe jif yes yes one",
             "Windows Cursor cur yes no many",
             "Portable Network Graphics png yes yes one",
             "Portable Pixmap, GrayMap, BitMap pxm ppm pgm pbm yes yes one",
             "Wireless Bitmap wbmp yes yes one",
             "PostScript Level 2 ps eps no yes one",
             "Adobe PDF pdf no yes one",
             "Multipage PCX dcx yes yes many",
             "DICOM Bitmap dcm dic dicom yes no many",
             "Raw Bitmap - yes no one",
             "AVI video avi yes no many",
         })
        EXPECT_NE(table.find(std::string("\n") + row + "\n"), std::string::npos) << row << "\n" << r.Out;
}

// Options stand anywhere; --help names every command and option.
TEST_F(ImageToolTest, OptionsAnywhereAndHelp) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--page", "1", "convert", Data("tiff/multi.tif"), Path("a.ppm")},
          std::vector<std::string>{"convert", "--page=1", Data("tiff/multi.tif"), Path("b.ppm")},
          std::vector<std::string>{"convert", Data("tiff/multi.tif"), "--page", "1", Path("c.ppm")}}) {
        const Result r = Tool(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
    }
    EXPECT_EQ(ReadFile(Path("a.ppm")), ReadFile(Path("b.ppm")));
    EXPECT_EQ(ReadFile(Path("a.ppm")), ReadFile(Path("c.ppm")));
    Picture got, want;
    ASSERT_TRUE(ParsePNM(ReadFile(Path("a.ppm")), got));
    ASSERT_TRUE(ParsePNM(ReadFile(Data("tiff/multi_1.ref.ppm")), want));
    ExpectSame(got, want, Keeps::Exactly, "page 1");
    // --type writes the named format whatever the name.
    ASSERT_EQ(Tool({"--type", "png", "convert", Path("src.ppm"), Path("pic.data")}).Status, 0);
    EXPECT_NE(Shell("pngcheck " + Path("pic.data")).find("OK"), std::string::npos);

    for (const char* help : {"--help", "-h"}) {
        const Result r = Tool({help});
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Err, "");
        for (const char* word : {"info FILE", "convert IN OUT", "formats", "--page N", "--quality Q", "--compression C",
                                 "--type EXT", "--help", "lzw", "deflate", "packbits", "jpeg", "g3", "g4", "umask"})
            EXPECT_NE(r.Out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(Tool({"convert", Path("src.ppm"), Path("x.png"), "--help"}).Status, 0);
    EXPECT_FALSE(fs::exists(Path("x.png")));
}

// Every error: its message names the file and the system's reason, and its exit status.
TEST_F(ImageToolTest, ErrorsAndExitStatus) {
    Write("junk.bin", std::string(100, '\x33'));
    fs::create_directory(Path("folder"));
    auto broken = ReadFile(Data("io/tiny.png"));
    Write("broken.png", broken.substr(0, broken.size() / 2));
    const std::string src = Path("src.ppm");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"info", Path("missing.png")}, 1, Path("missing.png") + ": no such file or directory\n"},
        {{"info", Path("folder")}, 1, Path("folder") + ": is a directory\n"},
        {{"info", Path("junk.bin")}, 1, Path("junk.bin") + ": unrecognised image format\n"},
        {{"convert", Path("broken.png"), Path("o.png")}, 1, Path("broken.png") + ": the image data is damaged"},
        {{"convert", Path("folder"), Path("o.png")}, 1, Path("folder") + ": is a directory\n"},
        {{"convert", src, Path("folder")}, 1, Path("folder") + ": is a directory\n"},
        {{"convert", src, Path("nodir/o.png")}, 1,
         Path("nodir/o.png") + ": cannot write in " + Path("nodir") + ": no such file or directory\n"},
        {{"convert", src, Path("o.cur")}, 2, Path("o.cur") + ": no writer for \"cur\" in this program\n"},
        {{"convert", src, Path("o")}, 2, Path("o") + ": no writer for a name without extension"},
        {{"convert", src, Path("o.tif"), "--compression", "zip"}, 2, "bad value for --compression: \"zip\""},
        {{"convert", src, Path("o.png"), "--compression", "10"}, 2, "bad value for --compression: \"10\""},
        {{"convert", src, Path("o.jpg"), "--compression", "5"}, 2, "only TIFF and PNG output take one"},
        {{"convert", src, Path("o.tif"), "--compression", "g4"}, 1,
         src + ": g3 and g4 compression are for black-and-white pictures; this one is RGB, 8 bits\n"},
        {{"convert", src, Path("o.png"), "--page"}, 2, "option --page needs a value\n"},
        {{"convert", src, Path("o.png"), "--page", "x"}, 2, "bad value for --page: \"x\"\n"},
        {{"convert", src, Path("o.jpg"), "--quality", "101"}, 2, "bad value for --quality: \"101\"\n"},
        {{"convert", src, Path("o.png"), "--bogus"}, 2, "unknown option \"--bogus\"\n"},
        {{"info", src, "--quality", "5"}, 2, "info takes no --quality option\n"},
        {{"info", src, Path("o.png")}, 2, "info takes one file\n"},
        {{"convert", src}, 2, "convert takes IN and OUT\n"},
        {{"formats", src}, 2, "formats takes no file\n"},
        {{"frobnicate", "x"}, 2, "unknown command \"frobnicate\"\n"},
        {{}, 2, "usage:"},
        {{"convert", "http://127.0.0.1:9/x.png", Path("o.png")}, 1, "http://127.0.0.1:9/x.png: cannot download the image: Connection refused by 127.0.0.1"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const Result r = Tool(c.args);
        EXPECT_EQ(r.Status, c.status);
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
    EXPECT_EQ(Others({"src.ppm", "junk.bin", "folder", "broken.png"}), std::vector<std::string>{});
}

// What this user may not read or write gives the system's reason. Run as root, the tool is
// run as an unprivileged user, to whom the test's private folder is closed.
TEST_F(ImageToolTest, PermissionDenied) {
    std::vector<std::string> prefix;
    std::string unreadable, unwritable;
    if (::geteuid() == 0) {
        bool ok = false;
        Shell("setpriv --version", &ok);
        if (!ok) GTEST_SKIP() << "no setpriv to run the tool as another user";
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
        unreadable = Path("src.ppm");
        unwritable = Path("o.png");
    } else {
        Write("closed.ppm", ReadFile(Path("src.ppm")));
        ASSERT_EQ(::chmod(Path("closed.ppm").c_str(), 0), 0);
        fs::create_directory(Path("ro"));
        ASSERT_EQ(::chmod(Path("ro").c_str(), 0555), 0);
        unreadable = Path("closed.ppm");
        unwritable = Path("ro/o.png");
    }
    Result r = Tool({"info", unreadable}, 022, prefix);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(unreadable + ": permission denied\n"), std::string::npos) << r.Err;
    r = Tool({"convert", Data("io/tiny.png"), unwritable}, 022, prefix);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(unwritable + ": cannot write in " + fs::path(unwritable).parent_path().string() +
                         ": permission denied\n"),
              std::string::npos)
        << r.Err;
    if (::geteuid() != 0) ::chmod(Path("ro").c_str(), 0755);
}

}  // namespace

#endif
