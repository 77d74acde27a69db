#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "classlib/Classes.h"
#include "lumetra_pack.h"
#include "platform/codepage.h"
#include "player/zb_ExeConverter.h"

namespace fs = std::filesystem;
using namespace player;

namespace {

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("lumetra_pack_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        Write("player", std::string("\x7F" "ELF fake player image\0\x01\x02", 25));
        fs::permissions(Path("player"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes) {
        fs::create_directories(fs::path(Path(name)).parent_path());
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    int Run(std::vector<std::string> args, std::string* errText = nullptr) {
        args.insert(args.begin(), "lumetra-pack");
        std::ostringstream out, err;
        int rc = lumetra_pack::Main(args, out, err);
        if (errText) *errText = err.str();
        return rc;
    }
    // Loads OUT the way the player does.
    void LoadShow(TSlideShow& show, const std::string& path) {
        cl::TFileStream f(path, cl::fmOpenRead);
        std::string error;
        ReadShowFromExe(&show, &f, error);
        EXPECT_EQ(error, "");
    }
    std::string Slice(const std::string& file, int64_t start, int64_t end) {
        return Read(file).substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    }

    fs::path dir_;
};

}  // namespace

TEST_F(PackTest, SimpleModeRoundTrip) {
    Write("a.jpg", std::string("\xFF\xD8 picture one \0 bytes", 21));
    Write("b.jpg", "picture two");
    Write("Песня.mp3", "ID3 music bytes");
    Write("Мелодия.ogg", "OggS more music");
    const std::string out = Path("show.scr");
    ASSERT_EQ(Run({"--player", Path("player"), "-o", out, "--title", "Отпуск <2026>", "--interval", "5000",
                   "--effect-interval", "1500", "--effect", "12", "--random-slides", "--repeat-music", "--fader-in",
                   "2000", "--music", Path("Песня.mp3"), "--music", Path("Мелодия.ogg"), Path("a.jpg"),
                   Path("b.jpg")}),
              0);
    const std::string bytes = Read(out);
    EXPECT_EQ(bytes.substr(0, 25), Read(Path("player")));
    struct stat st;
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);

    TSlideShow show;
    LoadShow(show, out);
    ASSERT_EQ(show.SlideCount(), 2);
    ASSERT_EQ(show.MusicCount(), 2);
    EXPECT_EQ(Slice(out, show.GetSlide(0)->StartPos, show.GetSlide(0)->EndPos), Read(Path("a.jpg")));
    EXPECT_EQ(Slice(out, show.GetSlide(1)->StartPos, show.GetSlide(1)->EndPos), Read(Path("b.jpg")));
    EXPECT_EQ(show.GetSlide(0)->StartPos, 25);  // right after the player
    EXPECT_EQ(Slice(out, show.GetMusic(0)->StartPos, show.GetMusic(0)->EndPos), Read(Path("Песня.mp3")));
    EXPECT_EQ(Slice(out, show.GetMusic(1)->StartPos, show.GetMusic(1)->EndPos), Read(Path("Мелодия.ogg")));
    EXPECT_EQ(show.GetMusic(0)->FileName, "Песня.mp3");
    EXPECT_EQ(show.WindowTitle, "Отпуск <2026>");
    EXPECT_EQ(show.DefaultInterval, 5000);
    EXPECT_EQ(show.DefaultEffectInterval, 1500);
    EXPECT_TRUE(show.RandomSlides);
    EXPECT_FALSE(show.RandomMusic);
    EXPECT_TRUE(show.RepeatMusic);
    EXPECT_TRUE(show.FaderEnabled);
    EXPECT_EQ(show.FaderIn, 2000);
    EXPECT_EQ(show.GetSlide(1)->Effect, 12);
    EXPECT_EQ(show.GetSlide(1)->TimeInterval, -1);
    EXPECT_EQ(show.GetSlide(1)->EffectInterval, -1);
    EXPECT_EQ(show.GetSlide(1)->EffectMask, -1);
    // The document itself is Windows-1251 text.
    EXPECT_NE(bytes.find(win::Utf8ToCodePage(1251, "Песня.mp3")), std::string::npos);
    EXPECT_EQ(bytes.find("Песня.mp3</FileName>"), std::string::npos);
}

TEST_F(PackTest, DefaultsAndNoFader) {
    Write("a.jpg", "x");
    ASSERT_EQ(Run({"--player", Path("player"), "-o", Path("o.scr"), "--no-fader", Path("a.jpg")}), 0);
    TSlideShow show;
    LoadShow(show, Path("o.scr"));
    EXPECT_FALSE(show.FaderEnabled);
    EXPECT_EQ(show.FaderMode(), 0);
    EXPECT_EQ(show.GetSlide(0)->Effect, -1);
    EXPECT_EQ(show.DefaultInterval, 4000);
    EXPECT_EQ(show.MusicCount(), 0);
}

TEST_F(PackTest, ProjectModeFillsPositionsAndKeepsTheRest) {
    Write("pics/one.jpg", "first picture");
    Write("pics/mask.pgm", "P5 mask bytes");
    Write("snd/Трек.wav", "RIFF wav bytes");
    Write("show.xml",
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<LumetraProject>\n"
          "  <!-- made by hand -->\n"
          "  <Settings><WindowTitle>Праздник</WindowTitle><FillColor1>123</FillColor1></Settings>\n"
          "  <Slide>\n    <File> pics/one.jpg </File>\n    <StartPos>1</StartPos>\n    <MaskFile>pics/mask.pgm</MaskFile>\n"
          "    <Effect>46</Effect><Name>keep me</Name>\n  </Slide>\n"
          "  <Slide><File>pics/one.jpg</File><EffectMask>5</EffectMask></Slide>\n"
          "  <Slide><Name>no picture</Name><StartPos/></Slide><Slide/>\n"
          "  <MusicTrack><Type>3</Type><File>snd/Трек.wav</File></MusicTrack>\n"
          "  <MusicTrack><Type>3</Type><File>snd/Трек.wav</File><FileName>named.wav</FileName></MusicTrack>\n"
          "</LumetraProject>\n");
    const std::string out = Path("p.scr");
    std::string err;
    ASSERT_EQ(Run({"--player", Path("player"), "-o", out, "--project", Path("show.xml")}, &err), 0) << err;
    TSlideShow show;
    LoadShow(show, out);
    EXPECT_EQ(show.WindowTitle, "Праздник");
    ASSERT_EQ(show.SlideCount(), 4);
    TSlide* s0 = show.GetSlide(0);
    EXPECT_EQ(Slice(out, s0->StartPos, s0->EndPos), "first picture");
    EXPECT_EQ(Slice(out, s0->MaskStartPos, s0->MaskEndPos), "P5 mask bytes");
    EXPECT_EQ(s0->EffectMask, 0);
    EXPECT_EQ(s0->Effect, 46);
    EXPECT_EQ(s0->Name, "keep me");
    TSlide* s1 = show.GetSlide(1);
    EXPECT_EQ(s1->StartPos, s0->StartPos);  // the same file is stored once
    EXPECT_EQ(s1->EffectMask, 5);
    EXPECT_EQ(show.GetSlide(2)->StartPos, -1);
    ASSERT_EQ(show.MusicCount(), 2);
    EXPECT_EQ(show.GetMusic(0)->FileName, "Трек.wav");
    EXPECT_EQ(show.GetMusic(1)->FileName, "named.wav");
    EXPECT_EQ(Slice(out, show.GetMusic(0)->StartPos, show.GetMusic(0)->EndPos), "RIFF wav bytes");
    // Elements the player does not read are kept as written, in code page 1251.
    const std::string bytes = Read(out);
    EXPECT_NE(bytes.find("<FillColor1>123</FillColor1>"), std::string::npos);
    // Comments would read as elements in the player: they are dropped.
    EXPECT_EQ(bytes.find("made by hand"), std::string::npos);
    EXPECT_EQ(bytes.find("<File>"), std::string::npos);
}

TEST_F(PackTest, ErrorsNameThePathAndLeaveNoOutput) {
    Write("a.jpg", "x");
    Write("bad.xml", "<LumetraProject><Slide><File>a.jpg</File></LumetraProject>");
    Write("cjk.xml", "<LumetraProject><Settings><WindowTitle>\xE4\xB8\xAD</WindowTitle></Settings></LumetraProject>");
    Write("missing.xml", "<LumetraProject><Slide><File>nowhere.jpg</File></Slide></LumetraProject>");
    Write("other.xml", "<Project><Slide/></Project>");
    Write("attr.xml", "<LumetraProject><Slide id=\"1\"></Slide></LumetraProject>");
    struct Case {
        std::vector<std::string> args;
        std::string mention;
    } cases[] = {
        {{"--player", Path("player"), "-o", Path("o.scr"), Path("none.jpg")}, Path("none.jpg")},
        {{"--player", Path("noplayer"), "-o", Path("o.scr"), Path("a.jpg")}, Path("noplayer")},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--music", Path("none.mp3"), Path("a.jpg")}, Path("none.mp3")},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--title", "\xE4\xB8\xAD", Path("a.jpg")}, "--title"},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("bad.xml")}, Path("bad.xml")},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("cjk.xml")}, Path("cjk.xml")},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("missing.xml")}, "nowhere.jpg"},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("other.xml")}, Path("other.xml")},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("absent.xml")}, Path("absent.xml")},
        {{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("attr.xml")}, "attributes"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_NE(Run(c.args, &err), 0) << c.mention;
        EXPECT_NE(err.find(c.mention), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(Path("o.scr"))) << c.mention;
    }
    // Nothing but the inputs is left in the folder.
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(dir_)) files += e.is_regular_file();
    EXPECT_EQ(files, 7u);
}

TEST_F(PackTest, FailedPackLeavesAnExistingOutputUntouched) {
    Write("o.scr", "previous show");
    EXPECT_NE(Run({"--player", Path("player"), "-o", Path("o.scr"), Path("none.jpg")}), 0);
    EXPECT_EQ(Read(Path("o.scr")), "previous show");
}

TEST_F(PackTest, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"-o", "x", "a.jpg"},
        {"--player", "p", "a.jpg"},
        {"--player", "p", "-o", "x"},
        {"--player", "p", "-o", "x", "--effect", "47", "a.jpg"},
        {"--player", "p", "-o", "x", "--interval", "abc", "a.jpg"},
        {"--player", "p", "-o", "x", "--bogus", "a.jpg"},
        {"--player", "p", "-o", "x", "--project", "d.xml", "a.jpg"},
        {"--player", "p", "-o", "x", "--music"},
    };
    for (const auto& args : bad) EXPECT_EQ(Run(args), 2) << args.back();
}
