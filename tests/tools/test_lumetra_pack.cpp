#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#include "../common/private_dir.h"
#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "lumetra_pack.h"
#include "platform/codepage.h"
#include "player/zb_ExeConverter.h"

namespace fs = std::filesystem;
using namespace player;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string AudioData(const std::string& name) { return ReadFile(std::string(LUMETRA_AUDIO_DATA) + "/" + name); }

// A small JPEG picture of one colour, made with the class library.
std::string Jpeg(int w, int h, uint8_t shade) {
    cl::TBitmap bmp;
    bmp.SetPixelFormat(cl::pf24bit);
    bmp.SetSize(w, h);
    for (int y = 0; y < h; ++y) std::memset(bmp.ScanLine(y), shade, static_cast<size_t>(w) * 3);
    cl::TJPEGImage jpeg;
    jpeg.Assign(&bmp);
    cl::TMemoryStream m;
    jpeg.SaveToStream(&m);
    return std::string(static_cast<const char*>(m.GetMemory()), static_cast<size_t>(m.GetSize()));
}

// A mono 16-bit WAV of a quarter second of a tone.
std::string Wav() {
    std::string samples;
    for (int i = 0; i < 11025; ++i) {
        auto v = static_cast<int16_t>(3000 * std::sin(i * 0.1));
        samples.push_back(static_cast<char>(v & 0xFF));
        samples.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    auto le = [](uint32_t v, int n) {
        std::string b;
        for (int i = 0; i < n; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return b;
    };
    return "RIFF" + le(36 + static_cast<uint32_t>(samples.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
           le(44100, 4) + le(88200, 4) + le(2, 2) + le(16, 2) + "data" + le(static_cast<uint32_t>(samples.size()), 4) +
           samples;
}

class PackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(private_.Ok());
        Write("player", std::string("\x7F"
                                    "ELF fake player image\0\x01\x02",
                                    25));
        fs::permissions(Path("player"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes) {
        fs::create_directories(fs::path(Path(name)).parent_path());
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& path) const { return ReadFile(path); }
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

    lumetra_test::PrivateDir private_{"lumetra_pack"};
    const fs::path& dir_ = private_.Path();
};

}  // namespace

TEST_F(PackTest, SimpleModeRoundTrip) {
    Write("a.jpg", Jpeg(16, 8, 0x40));
    Write("b.jpg", Jpeg(8, 8, 0xC0));
    Write("Песня.mp3", AudioData("tone440.mp3"));
    Write("Мелодия.ogg", AudioData("tone660.ogg"));
    const std::string out = Path("show.scr");
    ASSERT_EQ(Run({"--player",
                   Path("player"),
                   "-o",
                   out,
                   "--title",
                   "Отпуск <2026>",
                   "--interval",
                   "5000",
                   "--effect-interval",
                   "1500",
                   "--effect",
                   "12",
                   "--random-slides",
                   "--repeat-music",
                   "--fader-in",
                   "2000",
                   "--music",
                   Path("Песня.mp3"),
                   "--music",
                   Path("Мелодия.ogg"),
                   Path("a.jpg"),
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
    Write("a.jpg", Jpeg(8, 8, 0));
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
    Write("pics/one.jpg", Jpeg(8, 8, 0x80));
    Write("pics/mask.pgm", "P5 mask bytes");  // masks may be any picture: not checked
    Write("snd/Трек.wav", Wav());
    Write("show.xml",
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<LumetraProject>\n"
          "  <!-- made by hand -->\n"
          "  <Settings><WindowTitle>Праздник</WindowTitle><FillColor1>123</FillColor1></Settings>\n"
          "  <Slide>\n    <File> pics/one.jpg </File>\n    <StartPos>1</StartPos>\n    "
          "<MaskFile>pics/mask.pgm</MaskFile>\n"
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
    EXPECT_EQ(Slice(out, s0->StartPos, s0->EndPos), Read(Path("pics/one.jpg")));
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
    EXPECT_EQ(Slice(out, show.GetMusic(0)->StartPos, show.GetMusic(0)->EndPos), Read(Path("snd/Трек.wav")));
    // Elements the player does not read are kept as written, in code page 1251.
    const std::string bytes = Read(out);
    EXPECT_NE(bytes.find("<FillColor1>123</FillColor1>"), std::string::npos);
    // Comments would read as elements in the player: they are dropped.
    EXPECT_EQ(bytes.find("made by hand"), std::string::npos);
    EXPECT_EQ(bytes.find("<File>"), std::string::npos);
}

TEST_F(PackTest, ErrorsNameThePathAndLeaveNoOutput) {
    Write("a.jpg", Jpeg(8, 8, 0x20));
    Write("song.mp3", AudioData("tone440.mp3"));
    Write("bad.xml", "<LumetraProject><Slide><File>a.jpg</File></LumetraProject>");
    Write("cjk.xml", "<LumetraProject><Settings><WindowTitle>\xE4\xB8\xAD</WindowTitle></Settings></LumetraProject>");
    Write("missing.xml", "<LumetraProject><Slide><File>nowhere.jpg</File></Slide></LumetraProject>");
    Write("other.xml", "<Project><Slide/></Project>");
    Write("attr.xml", "<LumetraProject><Slide id=\"1\"></Slide></LumetraProject>");
    // Slide pictures the player cannot decode as JPEG, music its audio library cannot play.
    Write("photo.png", "\x89PNG\r\n\x1a\n not a JPEG");
    Write("text.jpg", "just words");
    Write("head.jpg", Jpeg(8, 8, 0x20).substr(0, 20));  // a start-of-image marker, then nothing
    Write("noise.mp3", "ID3 this is no music");
    Write("empty.ogg", "");
    Write("pictureslide.xml", "<LumetraProject><Slide><File>photo.png</File></Slide></LumetraProject>");
    Write("textmusic.xml",
          "<LumetraProject><Slide><File>a.jpg</File></Slide>"
          "<MusicTrack><Type>3</Type><File>noise.mp3</File></MusicTrack></LumetraProject>");
    Write("self.xml", "<LumetraProject><Slide><File>a.jpg</File></Slide></LumetraProject>");
    Write("into.xml", "<LumetraProject><Slide><File>a.jpg</File></Slide></LumetraProject>");
    ASSERT_EQ(::link(Path("a.jpg").c_str(), Path("alias.jpg").c_str()), 0);
    const std::string player = Path("player"), o = Path("o.scr");
    struct Case {
        std::vector<std::string> args;
        std::string mention;
        // clang-format off
    } cases[] = {
        {{"--player", player, "-o", o, Path("none.jpg")}, Path("none.jpg")},
        {{"--player", Path("noplayer"), "-o", o, Path("a.jpg")}, Path("noplayer")},
        {{"--player", player, "-o", o, "--music", Path("none.mp3"), Path("a.jpg")}, Path("none.mp3")},
        {{"--player", player, "-o", o, "--title", "\xE4\xB8\xAD", Path("a.jpg")}, "--title"},
        {{"--player", player, "-o", o, "--project", Path("bad.xml")}, Path("bad.xml")},
        {{"--player", player, "-o", o, "--project", Path("cjk.xml")}, Path("cjk.xml")},
        {{"--player", player, "-o", o, "--project", Path("missing.xml")}, "nowhere.jpg"},
        {{"--player", player, "-o", o, "--project", Path("other.xml")}, Path("other.xml")},
        {{"--player", player, "-o", o, "--project", Path("absent.xml")}, Path("absent.xml")},
        {{"--player", player, "-o", o, "--project", Path("attr.xml")}, "attributes"},
        {{"--player", player, "-o", o, Path("a.jpg"), Path("photo.png")}, Path("photo.png") + ": not a JPEG"},
        {{"--player", player, "-o", o, Path("text.jpg")}, Path("text.jpg") + ": not a JPEG"},
        {{"--player", player, "-o", o, Path("head.jpg")}, Path("head.jpg") + ": not a JPEG"},
        {{"--player", player, "-o", o, "--music", Path("noise.mp3"), Path("a.jpg")}, Path("noise.mp3") + ": not music"},
        {{"--player", player, "-o", o, "--music", Path("empty.ogg"), Path("a.jpg")}, Path("empty.ogg") + ": not music"},
        {{"--player", player, "-o", o, "--music", Path("a.jpg"), Path("a.jpg")}, Path("a.jpg") + ": not music"},
        {{"--player", player, "-o", o, "--project", Path("pictureslide.xml")}, "photo.png: not a JPEG"},
        {{"--player", player, "-o", o, "--project", Path("textmusic.xml")}, "noise.mp3: not music"},
        // The output may not be one of the inputs: the rename at the end would destroy it.
        {{"--player", player, "-o", Path("a.jpg"), Path("a.jpg")}, "is one of the inputs"},
        {{"--player", player, "-o", Path("./a.jpg"), Path("a.jpg")}, "is one of the inputs"},
        {{"--player", player, "-o", Path("alias.jpg"), Path("a.jpg")}, "is one of the inputs"},
        {{"--player", player, "-o", Path("song.mp3"), "--music", Path("song.mp3"), Path("a.jpg")}, "is one of the inputs"},
        {{"--player", player, "-o", player, Path("a.jpg")}, "is one of the inputs"},
        {{"--player", player, "-o", Path("self.xml"), "--project", Path("self.xml")}, "is one of the inputs"},
        {{"--player", player, "-o", Path("a.jpg"), "--project", Path("into.xml")}, "is one of the inputs"},
    };
    // clang-format on
    // What the folder holds before: it must hold exactly that afterwards.
    auto snapshot = [&] {
        std::map<std::string, std::string> files;
        for (auto& e : fs::recursive_directory_iterator(dir_))
            files[e.path().string()] = e.is_regular_file() ? Read(e.path()) : "";
        return files;
    };
    const auto before = snapshot();
    for (const auto& c : cases) {
        std::string err;
        EXPECT_NE(Run(c.args, &err), 0) << c.mention;
        EXPECT_NE(err.find(c.mention), std::string::npos) << err;
        EXPECT_TRUE(snapshot() == before) << c.mention << ": inputs changed or files left behind";
    }
}

TEST_F(PackTest, AcceptsWhatThePlayerPlays) {
    // Every kind of music the audio library decodes, Windows Media audio through the
    // add-on the player carries; the same picture under another name is stored once.
    Write("a.jpg", Jpeg(8, 8, 0x10));
    const char* tracks[] = {"tone440.mp3", "tone660.ogg", "tone880.wav", "tone550.wma"};
    std::vector<std::string> args = {"--player", Path("player"), "-o", Path("o.scr")};
    for (const char* t : tracks) {
        Write(t, AudioData(t));
        args.insert(args.end(), {"--music", Path(t)});
    }
    args.push_back(Path("a.jpg"));
    std::string err;
    ASSERT_EQ(Run(args, &err), 0) << err;
    TSlideShow show;
    LoadShow(show, Path("o.scr"));
    ASSERT_EQ(show.MusicCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Slice(Path("o.scr"), show.GetMusic(i)->StartPos, show.GetMusic(i)->EndPos), Read(Path(tracks[i])));
}

TEST_F(PackTest, FailedPackLeavesAnExistingOutputUntouched) {
    Write("o.scr", "previous show");
    Write("a.jpg", Jpeg(8, 8, 0x10));
    // Failing before the output is begun, and halfway through it (the second slide).
    Write("half.xml",
          "<LumetraProject><Slide><File>a.jpg</File></Slide><Slide><File>gone.jpg</File></Slide></LumetraProject>");
    for (auto args :
         {std::vector<std::string>{"--player", Path("player"), "-o", Path("o.scr"), Path("none.jpg")},
          std::vector<std::string>{"--player", Path("player"), "-o", Path("o.scr"), "--project", Path("half.xml")}}) {
        EXPECT_NE(Run(args), 0);
        EXPECT_EQ(Read(Path("o.scr")), "previous show");
    }
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir_)) ++entries;
    EXPECT_EQ(entries, 4u) << "the run's folder is gone";
}

// An ELF object of the given class and byte order whose section names are Names (a null
// section and the name table come first); Damage edits the header fields afterwards.
static std::string Elf(bool wide, bool little, const std::vector<std::string>& names,
                       const std::function<void(std::string&)>& damage = {}) {
    std::string strings(1, '\0');
    std::vector<size_t> at;
    std::vector<std::string> all = {".shstrtab"};
    all.insert(all.end(), names.begin(), names.end());
    for (const auto& n : all) {
        at.push_back(strings.size());
        strings += n + '\0';
    }
    const size_t header = wide ? 64 : 52, entry = wide ? 64 : 40;
    std::string f(header, '\0');
    f += strings;
    const size_t shoff = f.size();
    auto put = [&](std::string& b, size_t pos, uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[pos + static_cast<size_t>(little ? i : n - 1 - i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    f.replace(0, 4, "\x7F" "ELF");
    f[4] = wide ? 2 : 1;
    f[5] = little ? 1 : 2;
    f[6] = 1;
    put(f, wide ? 0x28 : 0x20, shoff, wide ? 8 : 4);
    put(f, wide ? 0x3A : 0x2E, entry, 2);
    put(f, wide ? 0x3C : 0x30, all.size() + 1, 2);
    put(f, wide ? 0x3E : 0x32, 1, 2);
    f += std::string(entry, '\0');  // the null section
    for (size_t i = 0; i < all.size(); ++i) {
        std::string s(entry, '\0');
        put(s, 0, at[i], 4);
        if (i == 0) {
            put(s, wide ? 0x18 : 0x10, header, wide ? 8 : 4);
            put(s, wide ? 0x20 : 0x14, strings.size(), wide ? 8 : 4);
        }
        f += s;
    }
    if (damage) damage(f);
    return f;
}

TEST_F(PackTest, DebugSectionsAreFoundInEveryELFLayoutAndNothingElse) {
    const struct {
        const char* what;
        std::string bytes;
        bool debug;
    } cases[] = {
        {"64-bit little-endian with .debug_info", Elf(true, true, {".text", ".debug_info"}), true},
        {"32-bit big-endian with .zdebug_line", Elf(false, false, {".zdebug_line"}), true},
        {"64-bit big-endian without", Elf(true, false, {".text", ".data", ".symtab"}), false},
        {"32-bit little-endian without", Elf(false, true, {".text"}), false},
        {"section table cut off", Elf(true, true, {".debug_info"}, [](std::string& f) { f.resize(f.size() - 10); }),
         false},
        {"name table past the end",
         Elf(true, true, {".debug_info"}, [](std::string& f) { f[0x3E] = 9; }), false},
        {"huge section count", Elf(true, true, {".debug_info"}, [](std::string& f) { f[0x3C] = f[0x3D] = '\xFF'; }),
         false},
        {"name offsets past the names",
         Elf(true, true, {".debug_info"}, [](std::string& f) { f.replace(f.size() - 64, 4, "\xFF\xFF\xFF\x7F"); }),
         false},
        {"no ELF class", Elf(true, true, {".debug_info"}, [](std::string& f) { f[4] = 3; }), false},
        {"only the magic", std::string("\x7F" "ELF"), false},
        {"not ELF", std::string(200, 'x'), false},
    };
    for (const auto& c : cases) {
        Write("elf", c.bytes);
        EXPECT_EQ(lumetra_pack::HasDebugSections(Path("elf")), c.debug) << c.what;
    }
    EXPECT_FALSE(lumetra_pack::HasDebugSections(Path("absent")));
    // The real players: the one built for the tests has debug information, the stripped one none.
#if defined(LUMETRA_SCR_PATH) && defined(LUMETRA_SCR_STRIPPED_PATH)
    EXPECT_TRUE(lumetra_pack::HasDebugSections(LUMETRA_SCR_PATH));
    EXPECT_FALSE(lumetra_pack::HasDebugSections(LUMETRA_SCR_STRIPPED_PATH));
#endif
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

#if defined(LUMETRA_PACK_PATH)

// The real packer, stopped by a signal while it writes: its folder goes with it.
TEST_F(PackTest, SignalWhileWritingLeavesNothingBehind) {
    Write("a.jpg", Jpeg(8, 8, 0x10));
    // A player large enough that copying it takes a while.
    const std::string player = Path("big-player");
    Write("big-player",
          "\x7F"
          "ELF");
    fs::resize_file(player, 256u << 20);
    const std::string out = Path("o.scr");
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, dir_.c_str(), IN_CREATE), 0);
        pid_t pid = fork();
        if (pid == 0) {
            execl(LUMETRA_PACK_PATH, LUMETRA_PACK_PATH, "--player", player.c_str(), "-o", out.c_str(),
                  Path("a.jpg").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // The run's folder appears: stop the packer at once.
        alignas(inotify_event) char buf[4096];
        bool seen = false;
        while (!seen) {
            pollfd pfd{watch, POLLIN, 0};
            if (poll(&pfd, 1, 20000) <= 0) break;  // no run folder: the check below fails
            ssize_t n = read(watch, buf, sizeof buf);
            if (n <= 0) break;
            for (char* p = buf; p < buf + n;) {
                auto* ev = reinterpret_cast<inotify_event*>(p);
                if (ev->len && std::string(ev->name).rfind(".lumetra-pack-", 0) == 0) seen = true;
                p += sizeof(inotify_event) + ev->len;
            }
        }
        kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(watch);
        ASSERT_TRUE(seen);
        caught = WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
        if (!caught) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);  // it was faster: again
            fs::remove(out);
            continue;
        }
        EXPECT_FALSE(fs::exists(out));
        for (auto& e : fs::directory_iterator(dir_))
            EXPECT_NE(e.path().filename().string().rfind(".lumetra-pack-", 0), 0u) << e.path();
    }
    EXPECT_TRUE(caught) << "the packer always finished before the signal";
}

#endif

#if defined(LUMETRA_PACK_PATH) && defined(LUMETRA_SCR_STRIPPED_PATH)

// The player that shows carry: no debug information, its own or in the audio libraries it
// embeds, and it still plays a show.
TEST_F(PackTest, StrippedPlayerCarriesNoDebugInformationAndPlays) {
    const std::string stripped = Read(LUMETRA_SCR_STRIPPED_PATH);
    ASSERT_EQ(stripped.compare(0, 4,
                               "\x7F"
                               "ELF"),
              0);
    EXPECT_EQ(stripped.find(".debug_info"), std::string::npos);
    EXPECT_EQ(stripped.find(".debug_line"), std::string::npos);
    EXPECT_NE(Read(LUMETRA_SCR_PATH).find(".debug_info"), std::string::npos) << "the check would not see it";
    EXPECT_LT(stripped.size(), Read(LUMETRA_SCR_PATH).size());

    Write("a.jpg", Jpeg(64, 48, 0xF0));
    Write("tone.wav", Wav());
    const std::string show = Path("show.scr");
    std::string err;
    ASSERT_EQ(Run({"--player", LUMETRA_SCR_STRIPPED_PATH, "-o", show, "--no-fader", "--music", Path("tone.wav"),
                   Path("a.jpg")},
                  &err),
              0)
        << err;
    fs::create_directories(dir_ / "tmp");
    const std::string cmd = "TMPDIR=" + (dir_ / "tmp").string() +
                            " LUMETRA_DISPLAY=headless LUMETRA_CLOCK=virtual LUMETRA_SCREEN=320x240 LUMETRA_AUDIO=null"
                            " LUMETRA_INPUT='3000 key 32' timeout 120 " +
                            show + " /s";
    int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

// A player built with debug information is packed without it, whatever its name; the file
// named stays as it was, and the show still plays.
TEST_F(PackTest, DebugInformationIsStrippedWhilePacking) {
    const std::string player = Read(LUMETRA_SCR_PATH);
    ASSERT_NE(player.find(".debug_info"), std::string::npos) << "the check would not see it";
    Write("a.jpg", Jpeg(64, 48, 0x80));
    const std::string show = Path("show.scr");
    std::string err;
    ASSERT_EQ(Run({"--player", LUMETRA_SCR_PATH, "-o", show, "--no-fader", Path("a.jpg")}, &err), 0) << err;
    TSlideShow loaded;
    LoadShow(loaded, show);
    ASSERT_EQ(loaded.SlideCount(), 1);
    const std::string carried = Read(show).substr(0, static_cast<size_t>(loaded.GetSlide(0)->StartPos));
    EXPECT_EQ(carried.compare(0, 4,
                              "\x7F"
                              "ELF"),
              0);
    EXPECT_EQ(carried.find(".debug_info"), std::string::npos);
    EXPECT_EQ(carried.find(".debug_line"), std::string::npos);
    EXPECT_LT(carried.size(), player.size() / 2);
    EXPECT_EQ(Read(LUMETRA_SCR_PATH), player);
    for (auto& e : fs::directory_iterator(dir_))
        EXPECT_NE(e.path().filename().string().rfind(".lumetra-pack-", 0), 0u) << e.path();
    fs::create_directories(dir_ / "tmp");
    const std::string cmd = "TMPDIR=" + (dir_ / "tmp").string() +
                            " LUMETRA_DISPLAY=headless LUMETRA_CLOCK=virtual LUMETRA_SCREEN=320x240 LUMETRA_AUDIO=null"
                            " LUMETRA_INPUT='3000 key 32' timeout 120 " +
                            show + " /s";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Help says that the player is carried without its debug information.
TEST_F(PackTest, HelpTellsOfTheStripping) {
    std::ostringstream out, err;
    EXPECT_EQ(lumetra_pack::Main({"lumetra-pack", "--help"}, out, err), 0);
    EXPECT_NE(out.str().find("without its debug information"), std::string::npos) << out.str();
}

#endif
