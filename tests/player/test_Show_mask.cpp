// Shows whose slides change through a mask picture: which slides load their mask into the
// mask transition, a whole show on the headless screen revealing the new picture in the
// mask's order, and the real program on the SDL backend under a virtual X server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "../common/child_process.h"
#include "../common/private_dir.h"
#include "../common/xvfb_desktop.h"
#include "FileProbes.h"
#include "audio/auStartup.h"
#include "classlib/Forms.h"
#include "pix32/Pix32_Image.h"
#include "pix32/Pix32_RangeBars.h"
#include "pix32/Pix32_Startup.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "player/OstrelMain.h"
#include "player/zb_ImageUtils.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teCore.h"
#include "transitions/teVclScr.h"

namespace fs = std::filesystem;
using namespace player;
using player_test::ReadFile;

namespace {

constexpr int kMaskEffect = 46;
constexpr int kCut = 45;

std::string Fixture(const std::string& name) { return ReadFile(std::string(LUMETRA_TEST_DATA) + "/" + name); }

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A program file: a stand-in image, the data files, the document and the trailer.
class Container {
public:
    std::pair<int64_t, int64_t> Add(const std::string& data) {
        const auto start = static_cast<int64_t>(bytes_.size());
        bytes_ += data;
        return {start, static_cast<int64_t>(bytes_.size())};
    }
    // A slide of the picture given, leaving with `effect`; with a mask picture at `mask`
    // (-1, -1: none) and the EffectMask value given.
    void Slide(const std::string& jpeg, int effect, std::pair<int64_t, int64_t> mask, int effectMask) {
        const auto r = Add(jpeg);
        doc_ += "<Slide><StartPos>" + std::to_string(r.first) + "</StartPos><EndPos>" + std::to_string(r.second) +
                "</EndPos><Effect>" + std::to_string(effect) +
                "</Effect><TimeInterval>-1</TimeInterval><EffectInterval>-1</EffectInterval><EffectMask>" +
                std::to_string(effectMask) + "</EffectMask><MaskStartPos>" + std::to_string(mask.first) +
                "</MaskStartPos><MaskEndPos>" + std::to_string(mask.second) + "</MaskEndPos></Slide>";
    }
    void Settings(const std::string& s) { doc_ += "<Settings>" + s + "</Settings>"; }
    void Write(const std::string& path) const {
        std::string out = bytes_ + win::Utf8ToCodePage(1251, "<LumetraProject>" + doc_ + "</LumetraProject>");
        const auto offset = static_cast<uint64_t>(bytes_.size());
        for (int i = 0; i < 8; ++i) out += static_cast<char>((offset >> (8 * i)) & 0xFF);
        std::ofstream(path, std::ios::binary) << out;
    }

private:
    std::string bytes_ =
        "\x7F"
        "ELF player image stand-in";
    std::string doc_;
};

class ShowMask : public ::testing::Test {
protected:
    static constexpr int kW = 320;
    static constexpr int kH = 240;

    void SetUp() override {
        if (!fs::exists("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
        ASSERT_TRUE(dir_.Ok());
        fs::create_directories(dir_.Path() / "tmp");
        oldTmp_ = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", (dir_.Path() / "tmp").c_str(), 1);
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(kW, kH);
        cl::ControlsStartUp();
        static bool libraries = false;
        if (!libraries) {
            libraries = true;
            pix32::StartupPix32();
            pix32::StartupPix32RangeBars();
            pix32::StartupPix32Image();
            audio::StartupAudio();
            te::StartUp();
            StartUpImagingLibrary();
        }
        cl::Application->Initialize();
        cl::Application->SetTitle("Lumetra");
        TOstrelForm::ShowFile() = dir_ / "show.scr";
    }

    void TearDown() override {
        if (!dir_.Ok() || !fs::exists("/usr/bin/convert")) return;
        cl::ControlsShutDown();
        win::test::ResetUser(kW, kH);
        win::SetClockMode(win::ClockMode::Real);
        TOstrelForm::ShowFile().clear();
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
    }

    // Creates the show window and runs the application until `ms` of clock time.
    TOstrelForm* Run(int64_t ms) {
        TOstrelForm* form = nullptr;
        cl::Application->CreateForm(form);
        win::ClockSetHorizon(win::ClockNowTicks() + ms * win::kTicksPerMs);
        cl::Application->Run();
        win::ClockSetHorizon(win::kNoDeadline);
        return form;
    }
    static void At(int64_t ms, std::function<void()> check) { win::test::ScheduleInput(ms, std::move(check)); }
    static TOstrelForm* Form() { return static_cast<TOstrelForm*>(cl::Application->GetMainForm()); }
    static cl::TBitmap* MaskOf(TOstrelForm* form) {
        return static_cast<te::TBmpMaskTransition*>(form->TransitionList1->GetTransition(kMaskEffect))->GetMask();
    }

    // A picture made by ImageMagick with the arguments given.
    std::string Made(const std::string& name, const std::string& args) const {
        const std::string path = dir_ / name;
        EXPECT_EQ(Shell("/usr/bin/convert " + args + " '" + path + "'"), 0) << args;
        return ReadFile(path);
    }

    lumetra_test::PrivateDir dir_{"lumetra_showmask"};
    std::string oldTmp_;
};

}  // namespace

// A slide loads its mask picture into the mask transition only when it leaves through the
// mask transition and its EffectMask is not -1; otherwise the transition keeps the mask it
// had (none at first). Seen while each slide stands.
TEST_F(ShowMask, OnlyASlideLeavingThroughTheMaskWithAMaskOfItsOwnLoadsIt) {
    Container c;
    c.Settings(
        "<DefaultInterval>1000</DefaultInterval><DefaultEffectInterval>200</DefaultEffectInterval>"
        "<FaderEnabled>0</FaderEnabled>");
    const auto wide = c.Add(Made("wide.png", "-size 40x10 gradient:white-black"));
    const auto tall = c.Add(Made("tall.gif", "-size 12x30 gradient:black-white"));
    const std::string red = Fixture("red.jpg"), green = Fixture("green.jpg"), blue = Fixture("blue.jpg");
    c.Slide(red, kMaskEffect, wide, -1);       // valid positions, but EffectMask -1: never loaded
    c.Slide(green, 0, wide, 0);                // a mask of its own, but another transition
    c.Slide(blue, kMaskEffect, tall, 0);       // loaded
    c.Slide(red, kMaskEffect, wide, -1);       // keeps the mask of the slide before
    c.Slide(green, kMaskEffect, {-1, 50}, 0);  // a negative position: no mask of its own
    c.Write(dir_ / "show.scr");

    // Slide n (from 0) stands from 500 + n x 1200 ms (1000 ms and a transition of 200).
    std::vector<std::pair<int, int>> sizes;
    for (int n = 0; n < 5; ++n)
        At(500 + n * 1200 + 500, [&sizes] {
            cl::TBitmap* mask = MaskOf(Form());
            sizes.push_back({mask->GetWidth(), mask->GetHeight()});
            if (!mask->GetEmpty()) {
                EXPECT_EQ(mask->GetPixelFormat(), cl::pf8bit);
            }
        });
    At(500 + 5 * 1200 + 100, [] { win::test::Key('A', true); });
    TOstrelForm* form = Run(8000);
    EXPECT_EQ(form->Show()->SlideCount(), 5);
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 0}, {12, 30}, {12, 30}, {12, 30}};
    EXPECT_EQ(sizes, expected);
}

// A show whose every slide leaves through the mask transition with a hostile mask picture
// (claimed sizes, chunks past the end, zip bombs): no picture beyond the few of 64 pixels a
// side that some of them claim (and may give) becomes a mask, so the other changes are cuts;
// the show goes through all its slides, and the imaging library leaves no temporary file.
TEST_F(ShowMask, HostileMaskPicturesMakeCutsAndTheShowGoesOn) {
    Container c;
    c.Settings(
        "<DefaultInterval>1000</DefaultInterval><DefaultEffectInterval>200</DefaultEffectInterval>"
        "<FaderEnabled>0</FaderEnabled>");
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(LUMETRA_HOSTILE_DATA))
        if (e.path().extension() != ".py") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    const std::string pictures[] = {Fixture("red.jpg"), Fixture("green.jpg"), Fixture("blue.jpg")};
    for (size_t i = 0; i < files.size(); ++i) {
        const auto mask = c.Add(ReadFile(files[i].string()));
        c.Slide(pictures[i % 3], kMaskEffect, mask, 0);
    }
    c.Slide(pictures[0], kCut, {-1, -1}, -1);
    c.Write(dir_ / "show.scr");

    const auto slides = static_cast<int32_t>(files.size()) + 1;
    const int64_t end = 500 + int64_t{slides} * 1200;
    int32_t lastSeen = -1;
    int largest = 0;
    for (int64_t t = 700; t < end; t += 300)
        At(t, [&] {
            largest = std::max({largest, MaskOf(Form())->GetWidth(), MaskOf(Form())->GetHeight()});
            lastSeen = std::max(lastSeen, Form()->SlideIndex());
        });
    At(end + 100, [] { win::test::Key('A', true); });
    TOstrelForm* form = Run(end + 2000);
    EXPECT_EQ(form->Show()->SlideCount(), slides);
    EXPECT_LE(largest, 64);
    EXPECT_EQ(lastSeen, slides - 1);
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(dir_.Path() / "tmp"))
        if (e.is_regular_file() && e.path().parent_path().filename().string().rfind("lumetra-ie-", 0) == 0)
            left.push_back(e.path().string());
    EXPECT_TRUE(left.empty()) << left.front();
}

// Red to blue through a mask that is white at the left and black at the right, then blue
// to red through the mirror mask: the side where the mask is white changes first; every
// frame has the columns in the mask's order. The second slide's mask is loaded while the
// first transition is prepared, yet that transition keeps the first slide's mask. The show
// starts red, is blue between the transitions and ends red.
TEST_F(ShowMask, RevealsTheNewPictureInTheMasksOrder) {
    Container c;
    c.Settings(
        "<DefaultInterval>1000</DefaultInterval><DefaultEffectInterval>2000</DefaultEffectInterval>"
        "<FaderEnabled>0</FaderEnabled>");
    // A vertical gradient turned a quarter to the left: white at the left edge; and mirrored.
    const auto leftFirst = c.Add(Made("leftright.png", "-size 48x64 gradient:white-black -rotate -90"));
    const auto rightFirst = c.Add(Made("rightleft.png", "-size 48x64 gradient:white-black -rotate 90"));
    c.Slide(Fixture("red.jpg"), kMaskEffect, leftFirst, 0);
    c.Slide(Fixture("blue.jpg"), kMaskEffect, rightFirst, 0);
    c.Slide(Fixture("red.jpg"), kCut, {-1, -1}, -1);
    c.Write(dir_ / "show.scr");

    struct Sample {
        bool during;
        int32_t slide;
        uint32_t left, middle, right;
    };
    std::vector<Sample> samples;
    auto at = [](int x) { return win::test::ScreenComposite().At(x, kH / 2) & 0xFFFFFF; };
    // Scripted input also arrives while a transition runs, when it looks for exit inputs.
    // The transitions run from 1500 to 3500 ms and from 4500 to 6500 ms.
    for (int64_t t = 1000; t < 7200; t += 25)
        At(t, [&] {
            samples.push_back(
                {te::TransitionPrepared(), Form()->SlideIndex(), at(kW / 10), at(kW / 2), at(kW - kW / 10)});
        });
    At(7300, [] { win::test::Key('A', true); });
    Run(7600);

    auto blueness = [](uint32_t rgb) { return static_cast<int>(rgb & 0xFF) - static_cast<int>(rgb >> 16 & 0xFF); };
    auto isRed = [](uint32_t rgb) { return (rgb >> 16 & 0xFF) > 230 && (rgb & 0xFF) < 30; };
    auto isBlue = [](uint32_t rgb) { return (rgb & 0xFF) > 230 && (rgb >> 16 & 0xFF) < 30; };
    ASSERT_FALSE(samples.empty());
    EXPECT_FALSE(samples.front().during);
    EXPECT_TRUE(isRed(samples.front().left) && isRed(samples.front().right)) << "the show did not start red";
    EXPECT_TRUE(isRed(samples.back().left) && isRed(samples.back().right)) << "the show did not end red";
    bool blueBetween = false;
    for (const Sample& s : samples)
        if (!s.during && s.slide == 1 && isBlue(s.left) && isBlue(s.right)) blueBetween = true;
    EXPECT_TRUE(blueBetween) << "the second slide never stood blue";
    constexpr int kNoise = 4;  // the few levels by which the JPEG pictures are not quite pure
    // While slide 1 comes in, the first slide's mask: the left is ahead; while slide 2 comes
    // in, the second slide's: the right is ahead.
    for (int32_t slide : {1, 2}) {
        SCOPED_TRACE("the transition into slide " + std::to_string(slide));
        const int sign = slide == 1 ? 1 : -1;  // how far on towards the new picture
        int during = 0, aheadOnly = 0, partial = 0;
        for (const Sample& s : samples) {
            if (!s.during || s.slide != slide) continue;
            ++during;
            const int l = sign * blueness(s.left), m = sign * blueness(s.middle), r = sign * blueness(s.right);
            const uint32_t first = slide == 1 ? s.left : s.right, last = slide == 1 ? s.right : s.left;
            if (slide == 1) {
                EXPECT_GE(l + kNoise, m);
                EXPECT_GE(m + kNoise, r);
            } else {
                EXPECT_GE(r + kNoise, m);
                EXPECT_GE(m + kNoise, l);
            }
            const bool firstNew = slide == 1 ? isBlue(first) : isRed(first);
            const bool lastOld = slide == 1 ? isRed(last) : isBlue(last);
            if (firstNew && lastOld) ++aheadOnly;
            if (!isRed(s.middle) && !isBlue(s.middle)) ++partial;
        }
        EXPECT_GE(during, 10) << "too few frames seen during the transition";
        EXPECT_GE(aheadOnly, 3) << "no frame showed the new picture on the mask's white side and the old on the other";
        EXPECT_GE(partial, 1) << "the middle never showed a frame between the two pictures";
    }
}

// The real program on the SDL backend under a virtual X server: a show packed by the packer
// from a project document whose first slide changes through a mask picture (a white disc on
// black) shows, between the old and the new picture, frames that are neither: the new
// picture inside the disc and the old one outside.
TEST_F(ShowMask, DesktopShowsTheMaskPatternBetweenThePictures) {
    if (!lumetra_test::DesktopToolsInstalled()) GTEST_SKIP() << "Xvfb, xwd or xdotool is missing";
#if defined(LUMETRA_SCR_PATH) && defined(LUMETRA_PACK_PATH)
    const std::string data = LUMETRA_TEST_DATA;
    Made("disc.png", "-size 80x60 xc:black -fill white -draw 'circle 40,30 40,12'");
    std::ofstream(dir_ / "show.xml")
        << "<LumetraProject><Settings><DefaultInterval>1500</DefaultInterval><FaderEnabled>0</FaderEnabled>"
           "</Settings><Slide><File>"
        << data << "/red.jpg</File><MaskFile>disc.png</MaskFile><Effect>46</Effect>"
        << "<TimeInterval>-1</TimeInterval><EffectInterval>3000</EffectInterval></Slide><Slide><File>" << data
        << "/blue.jpg</File><Effect>45</Effect><TimeInterval>60000</TimeInterval></Slide></LumetraProject>";
    const std::string packed = dir_ / "packed.scr";
    ASSERT_EQ(Shell(std::string(LUMETRA_PACK_PATH) + " --player " + LUMETRA_SCR_PATH + " -o '" + packed +
                    "' --project '" + (dir_ / "show.xml") + "' >/dev/null"),
              0);

    lumetra_test::XServer x;
    ASSERT_TRUE(x.Start(400, 300)) << "no virtual X server could start";
    lumetra_test::Program p({packed, "/s"}, lumetra_test::SdlProgramEnv(x.Display(), dir_ / "tmp"));
    // The disc's centre, a point inside it near its edge, and a corner far outside it.
    struct Look {
        char centre, inside, corner;
    };
    auto classify = [](uint32_t rgb) {
        const int r = static_cast<int>(rgb >> 16 & 255), g = static_cast<int>(rgb >> 8 & 255),
                  b = static_cast<int>(rgb & 255);
        if (r > 230 && g < 30 && b < 30) return 'r';
        if (b > 230 && r < 30 && g < 30) return 'b';
        return '?';
    };
    std::vector<Look> looks;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end && p.Running()) {
        const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        lumetra_test::XwdImage img;
        if (lumetra_test::Screenshot(x.Display(), &img) && img.width == 400 && img.height == 300) {
            looks.push_back({classify(img.At(200, 150)), classify(img.At(200, 90)), classify(img.At(20, 20))});
            // Done once the new picture has filled the screen for a while.
            int blue = 0;
            for (auto it = looks.rbegin(); it != looks.rend() && it->centre == 'b' && it->corner == 'b'; ++it) ++blue;
            if (blue >= 10) break;
        }
        std::this_thread::sleep_until(next);
    }
    p.Signal(SIGTERM);
    ASSERT_TRUE(p.WaitEnd(30000));
    EXPECT_TRUE(p.ExitedWith(0));

    // Old picture, then frames with the disc new and the rest old, then the new picture.
    size_t firstRed = looks.size(), firstMask = looks.size(), firstBlue = looks.size();
    for (size_t i = 0; i < looks.size(); ++i) {
        const Look& l = looks[i];
        if (firstRed == looks.size() && l.centre == 'r' && l.corner == 'r') firstRed = i;
        if (firstMask == looks.size() && firstRed < i && l.centre == 'b' && l.inside == 'b' && l.corner == 'r')
            firstMask = i;
        if (firstBlue == looks.size() && firstMask < i && l.corner == 'b') firstBlue = i;
    }
    ASSERT_LT(firstRed, looks.size()) << "the old picture never filled the screen";
    ASSERT_LT(firstMask, looks.size()) << "no frame showed the new picture in the disc and the old around it";
    ASSERT_LT(firstBlue, looks.size()) << "the new picture never reached the corner";
    int maskFrames = 0;
    for (size_t i = firstMask; i < firstBlue; ++i)
        if (looks[i].centre == 'b' && looks[i].corner == 'r') ++maskFrames;
    // The disc stands new against the old picture for about a third of the 3 s transition.
    EXPECT_GE(maskFrames, 5);
    EXPECT_EQ(looks.back().centre, 'b');
#else
    GTEST_SKIP() << "the program and the packer are not built with these tests";
#endif
}
