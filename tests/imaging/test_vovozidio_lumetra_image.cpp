// The command-line tool lumetra-image: in process with the test codec registered, and the
// built program for its error paths.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "formats_testutil.h"
#include "imaging_fixture.h"
#include "lumetra_image.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

class ToolTest : public IOUnitTest {
protected:
    void SetUp() override {
        IOUnitTest::SetUp();
        RegisterTestFormat("LTST;LTS2");
        dir_ = folder_;
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return lumetra_image::Run(args, out_, err_);
    }
    std::string P(const std::string& n) { return dir_ + "/" + n; }
    void Put(const std::string& n, const std::vector<uint8_t>& d) {
        std::ofstream(P(n), std::ios::binary)
            .write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
    }
    std::vector<uint8_t> Get(const std::string& n) {
        std::ifstream in(P(n), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Files in the folder other than the named ones.
    std::vector<std::string> Others(std::initializer_list<std::string> known) {
        std::vector<std::string> r;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            const std::string n = e.path().filename().string();
            if (std::find(known.begin(), known.end(), n) == known.end()) r.push_back(n);
        }
        return r;
    }
    std::string dir_;
    std::ostringstream out_, err_;
};

TEST_F(ToolTest, InfoPrintsOneKeyALine) {
    Put("a.bin", TestImageBytes(6, 4, ie8g));
    ASSERT_EQ(Run({"info", P("a.bin")}), 0) << err_.str();
    const std::string o = out_.str();
    for (const char* line :
         {"format: Test format\n", "width: 6\n", "height: 4\n", "pixel format: ie8g\n", "bits per sample: 8\n",
          "samples per pixel: 1\n", "dpi: 300 x 300\n", "pages: 1\n", "metadata: none\n"})
        EXPECT_NE(o.find(line), std::string::npos) << line << o;
}

TEST_F(ToolTest, ConvertWritesTheNamedFormat) {
    const auto image = TestImageBytes(5, 3);
    Put("in.bin", image);
    ASSERT_EQ(Run({"convert", P("in.bin"), P("out.ltst")}), 0) << err_.str();
    EXPECT_EQ(Get("out.ltst"), image);
    ASSERT_EQ(Run({"convert", P("in.bin"), P("out.other"), "--type", "lts2", "--quality", "50"}), 0) << err_.str();
    EXPECT_EQ(Get("out.other"), image);
    EXPECT_EQ(Others({"in.bin", "out.ltst", "out.other"}), std::vector<std::string>{});
}

TEST_F(ToolTest, ErrorsNameTheFileAndLeaveNoOutput) {
    Put("in.bin", TestImageBytes(5, 3));
    auto broken = TestImageBytes(5, 3);
    broken.resize(20);
    Put("broken.ltst", broken);
    Put("junk.bin", std::vector<uint8_t>(100, 0x33));
    const struct {
        std::vector<std::string> args;
        int status;
        std::string names;
    } cases[] = {
        {{"info", P("missing.ltst")}, 1, P("missing.ltst") + ": no such file"},
        {{"info", P("junk.bin")}, 1, P("junk.bin") + ": unrecognised image format"},
        {{"convert", P("broken.ltst"), P("o.ltst")}, 1, P("broken.ltst") + ": the image data"},
        {{"convert", P("in.bin"), P("o.cur")}, 2, P("o.cur") + ": no writer for \"cur\""},
        {{"convert", P("in.bin"), P("o")}, 2, P("o") + ": no writer for a name without extension"},
        {{"convert", P("in.bin"), P("nodir/o.ltst")}, 1, P("nodir/o.ltst") + ": cannot write"},
        {{"convert", P("in.bin"), P("o.ltst"), "--page"}, 2, "option --page needs a value"},
        {{"convert", P("in.bin"), P("o.ltst"), "--quality", "101"}, 2, "bad value for --quality: \"101\""},
        {{"convert", P("in.bin"), P("o.ltst"), "--page", "1"}, 1, P("in.bin") + " has 1 page"},
        {{"info"}, 2, "usage:"},
        {{"frobnicate", "x"}, 2, "usage:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        EXPECT_EQ(Run(c.args), c.status);
        EXPECT_NE(err_.str().find(c.names), std::string::npos) << err_.str();
    }
    EXPECT_EQ(Others({"in.bin", "broken.ltst", "junk.bin"}), std::vector<std::string>{});
}

TEST_F(ToolTest, ConvertFromALoopbackURLIsTestedWithTheURLLoader) {
    // The tool hands addresses to the component's URL loader (tested against a loopback
    // server in test_vovozidio_url.cpp); a refused address is an error naming it.
    EXPECT_EQ(Run({"convert", "http://127.0.0.1", P("o.ltst")}), 1);
    EXPECT_NE(err_.str().find("http://127.0.0.1: cannot download"), std::string::npos) << err_.str();
}

// A palette file keeps its colours through a writer that reads the layout from the parameters
// (one sample of palette indexes would otherwise make a grey map).
TEST_F(ToolTest, PaletteFilesConvertInColour) {
    for (const char* name : {"pal8", "pal4", "pal8_lzw"}) {
        const std::string in = std::string(LUMETRA_TEST_DATA) + "/tiff/" + name + ".tif";
        ASSERT_EQ(Run({"convert", in, P("out.ppm")}), 0) << name << err_.str();
        const RefImage ours = ParseRef(Get("out.ppm"));
        const RefImage ref = LoadRef(std::string(LUMETRA_TEST_DATA) + "/tiff/" + name + ".ref.ppm");
        EXPECT_EQ(ours.Channels, 3) << name;
        EXPECT_EQ(ours.Width, ref.Width) << name;
        EXPECT_EQ(ours.Height, ref.Height) << name;
        EXPECT_EQ(ours.Pixels, ref.Pixels) << name;
    }
}

TEST(ToolProgram, ExitStatusAndMessages) {
    const std::string tool = std::string(LUMETRA_BINARY_DIR) + "/tools/lumetra-image";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "the tool is not built";
    auto run = [&](const std::string& args, std::string& err) {
        const std::string cmd = tool + " " + args + " 2>&1";
        FILE* f = ::popen(cmd.c_str(), "r");
        std::array<char, 256> buf{};
        err.clear();
        while (f && std::fgets(buf.data(), buf.size(), f)) err += buf.data();
        const int status = f ? ::pclose(f) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string err;
    EXPECT_EQ(run("info /nonexistent/x.png", err), 1);
    EXPECT_NE(err.find("/nonexistent/x.png: no such file"), std::string::npos) << err;
    EXPECT_EQ(run("", err), 2);
    EXPECT_NE(err.find("usage:"), std::string::npos);
    // Video frames are read through the component's video part.
    EXPECT_EQ(run(std::string("info ") + LUMETRA_TEST_DATA + "/io/tiny.avi", err), 0);
    EXPECT_NE(err.find("format: AVI video"), std::string::npos) << err;
    EXPECT_EQ(run(std::string("info ") + LUMETRA_TEST_DATA + "/io/tiny.pcx", err), 0);
    EXPECT_NE(err.find("format: PaintBrush"), std::string::npos) << err;
}

}  // namespace
}  // namespace ie::test
