// Whole shows on the headless screen and the virtual clock: a container built by the test,
// scripted input, and checks on the screen, the model's state and the temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

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
#include "transitions/teCore.h"
#include "transitions/teVclScr.h"

#include "FileProbes.h"

namespace fs = std::filesystem;
using namespace player;
using player_test::ModeOf;
using player_test::Names;
using player_test::ReadFile;

namespace {

std::string Fixture(const std::string& name) { return ReadFile(std::string(LUMETRA_TEST_DATA) + "/" + name); }

// A program file: a stand-in image, the data files, the document and the trailer.
class Container {
public:
    Container()
        : bytes_(
              "\x7F"
              "ELF player image stand-in") {}
    // Appends data and returns its range.
    std::pair<int64_t, int64_t> Add(const std::string& data) {
        int64_t start = static_cast<int64_t>(bytes_.size());
        bytes_ += data;
        return {start, static_cast<int64_t>(bytes_.size())};
    }
    void Slide(const std::string& jpeg, const std::string& extra) {
        auto r = Add(jpeg);
        doc_ += "<Slide><StartPos>" + std::to_string(r.first) + "</StartPos><EndPos>" + std::to_string(r.second) +
                "</EndPos>" + extra + "</Slide>";
    }
    void Track(const std::string& data, const std::string& name) {
        auto r = Add(data);
        doc_ += "<MusicTrack><Type>3</Type><StartPos>" + std::to_string(r.first) + "</StartPos><EndPos>" +
                std::to_string(r.second) + "</EndPos><FileName>" + name + "</FileName></MusicTrack>";
    }
    void Settings(const std::string& s) { doc_ += "<Settings>" + s + "</Settings>"; }
    void Raw(const std::string& s) { doc_ += s; }
    void Write(const std::string& path, const std::string& document = {}) const {
        std::string text = document.empty() ? "<LumetraProject>" + doc_ + "</LumetraProject>" : document;
        std::string out = bytes_ + win::Utf8ToCodePage(1251, text);
        int64_t offset = static_cast<int64_t>(bytes_.size());
        for (int i = 0; i < 8; ++i) out += static_cast<char>((static_cast<uint64_t>(offset) >> (8 * i)) & 0xFF);
        std::ofstream(path, std::ios::binary) << out;
    }

private:
    std::string bytes_;
    std::string doc_;
};

class Show : public ::testing::Test {
protected:
    static constexpr int kW = 320;
    static constexpr int kH = 240;

    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("lumetra_show_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "tmp");
        oldTmp_ = getenv("TMPDIR") ? getenv("TMPDIR") : "";
        setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
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
        }
        cl::Application->Initialize();
        cl::Application->SetTitle("Lumetra");
        TOstrelForm::ShowFile() = (dir_ / "show.scr").string();
    }

    void TearDown() override {
        cl::ControlsShutDown();
        win::test::ResetUser(kW, kH);
        win::SetClockMode(win::ClockMode::Real);
        TOstrelForm::ShowFile().clear();
        if (oldTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        fs::remove_all(dir_);
    }

    // Creates the show window and runs the application until `ms` of clock time.
    TOstrelForm* Run(int64_t ms) {
        TOstrelForm* form = nullptr;
        try {
            cl::Application->CreateForm(form);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the show window was not built: " << e.what();
            throw;
        }
        win::ClockSetHorizon(win::ClockNowTicks() + ms * win::kTicksPerMs);
        cl::Application->Run();
        win::ClockSetHorizon(win::kNoDeadline);
        return form;
    }

    // Runs `check` on the main thread when the clock reaches `ms`.
    static void At(int64_t ms, std::function<void()> check) { win::test::ScheduleInput(ms, std::move(check)); }

    static uint32_t Centre() { return win::test::ScreenComposite().At(kW / 2, kH / 2) & 0xFFFFFF; }
    // 'r', 'g', 'b' for the dominant channel of a nearly pure colour, 'k' for black, '?' else.
    static char Colour(uint32_t rgb) {
        int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        if (r < 16 && g < 16 && b < 16) return 'k';
        if (r > 230 && g < 30 && b < 30) return 'r';
        if (g > 230 && r < 30 && b < 30) return 'g';
        if (b > 230 && r < 30 && g < 30) return 'b';
        return '?';
    }
    std::string Tmp(const std::string& name) const { return (dir_ / "tmp" / name).string(); }

    fs::path dir_;
    std::string oldTmp_;
};

}  // namespace

TEST_F(Show, SlidesChangeOnTheShowClockAndTheShowLoops) {
    Container c;
    c.Settings(
        "<DefaultInterval>1000</DefaultInterval><DefaultEffectInterval>500</DefaultEffectInterval>"
        "<FaderEnabled>0</FaderEnabled>");
    // The cut (second to last of the list): each slide stands 1000 + 1.2 x 500 ms.
    c.Slide(Fixture("red.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>-1</EffectInterval>");
    c.Slide(Fixture("green.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>-1</EffectInterval>");
    c.Slide(Fixture("blue.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>-1</EffectInterval>");
    c.Write((dir_ / "show.scr").string());

    // The window opens its file at once and waits 500 ms; the first slide then stands 1600 ms.
    std::string seen;
    // Changes fall at 2100, 3700, 5300 and 6900 ms.
    for (int64_t t : {1000, 2000, 2200, 3600, 3800, 5200, 5400, 6800, 7000})
        At(t, [&seen] { seen += Colour(Centre()); });
    At(7300, [] { win::test::Key('A', true); });
    TOstrelForm* form = Run(8000);
    EXPECT_EQ(seen, "rrggbbrrg");
    EXPECT_TRUE(cl::Application->GetTerminated());
    EXPECT_TRUE(form->Activated());
    EXPECT_FALSE(win::test::CursorVisible());
    EXPECT_EQ(form->Show()->EventEndShow, 1);
    EXPECT_EQ(form->SlideDuration(), 1600);
    // The whole screen is the show's: borderless and maximised.
    EXPECT_EQ(form->GetWidth(), kW);
    EXPECT_EQ(form->GetHeight(), kH);
    // The audio library was written to the run's own folder and goes with the window.
    const std::string run = form->RunFolder();
    EXPECT_TRUE(fs::exists(run + "Bass.dll"));
    EXPECT_TRUE(fs::exists(run + "BassWma.dll"));
    cl::ControlsShutDown();
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(Show, TransitionTimeIsNotCountedAndRandomEffectsNeverPickTheMask) {
    Container c;
    c.Settings("<DefaultInterval>300</DefaultInterval><FaderEnabled>0</FaderEnabled>");
    c.Slide(Fixture("red.jpg"),
            "<Effect>-1</Effect><TimeInterval>-1</TimeInterval><EffectInterval>200</EffectInterval>");
    c.Slide(Fixture("green.jpg"),
            "<Effect>0</Effect><TimeInterval>60</TimeInterval><EffectInterval>200</EffectInterval>");
    c.Write((dir_ / "show.scr").string());
    std::vector<int> effects;
    std::vector<int64_t> clocks;
    TOstrelForm* form = nullptr;
    for (int64_t t = 600; t < 6000; t += 150)
        At(t, [&] {
            TOstrelForm* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
            effects.push_back(f->EffectIndex());
            clocks.push_back(f->ShowClock());
        });
    form = Run(6000);
    ASSERT_FALSE(effects.empty());
    for (int e : effects) {
        EXPECT_GE(e, 0);
        EXPECT_LE(e, 45);
    }
    // The show clock only moves in 50 ms ticks, and a slide of 60 ms changes after two ticks.
    for (int64_t t : clocks) EXPECT_EQ(t % 50, 0);
    EXPECT_LT(form->ShowClock(), 6000 - 500);
}

TEST_F(Show, MouseMovementOfMoreThanTwoPixelsEndsTheShow) {
    Container c;
    c.Slide(Fixture("red.jpg"), "<Effect>45</Effect>");
    c.Write((dir_ / "show.scr").string());
    At(1000, [] { win::test::MouseMove(100, 100); });
    At(1100, [] { win::test::MouseMove(102, 98); });
    At(1200, [] { EXPECT_FALSE(cl::Application->GetTerminated()); });
    At(1300, [] { win::test::MouseMove(103, 100); });
    Run(3000);
    EXPECT_TRUE(cl::Application->GetTerminated());
    EXPECT_LT(win::ClockElapsedMs(), 2000);
}

TEST_F(Show, AClickEndsTheShow) {
    Container c;
    c.Slide(Fixture("red.jpg"), "<Effect>45</Effect>");
    c.Write((dir_ / "show.scr").string());
    At(900, [] {
        win::test::MouseButton(win::test::Button::Left, true);
        win::test::MouseButton(win::test::Button::Left, false);
    });
    Run(3000);
    EXPECT_TRUE(cl::Application->GetTerminated());
    EXPECT_LT(win::ClockElapsedMs(), 2000);
}

TEST_F(Show, BrokenDocumentIsReportedAndTheScreenIsCleared) {
    Container c;
    c.Add(Fixture("red.jpg"));
    c.Write((dir_ / "show.scr").string(), "<Other><Slide/></Other>");
    char colour = '?';
    At(1500, [&] { colour = Colour(Centre()); });
    At(2000, [] { win::test::Key(win::VK_SPACE, true); });
    TOstrelForm* form = Run(4000);
    auto boxes = win::test::MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].text, "Файл проекта имеет неверный формат!");
    EXPECT_EQ(colour, 'k');
    EXPECT_EQ(form->Show()->SlideCount(), 0);
    EXPECT_TRUE(cl::Application->GetTerminated());
}

TEST_F(Show, AnUnreadableFileEndsTheProgramAfterTwentyAttempts) {
    TOstrelForm::ShowFile() = (dir_ / "missing.scr").string();
    Run(30000);
    auto boxes = win::test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kCannotOpenShow);
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_NE(boxes[0].type & win::MB_ICONINFORMATION, 0u);
    EXPECT_EQ(win::ClockElapsedMs(), 20 * 500);
    EXPECT_TRUE(cl::Application->GetTerminated());
    // The run's folder was made first and is gone already, before the window is.
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(Show, MusicPlaysFromTheProgramFileWithTheFadeIn) {
    Container c;
    c.Settings("<FaderIn>1000</FaderIn><RepeatMusic>-1</RepeatMusic>");
    c.Slide(Fixture("red.jpg"), "<Effect>45</Effect>");
    c.Track(Fixture("tone.wav"), "../escape/Мелодия.wav");
    c.Write((dir_ / "show.scr").string());
    bool playing = false;
    double volumeEarly = -1, volumeLate = -1;
    At(700, [&] {
        auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
        playing = f->BassPlayer->State() == audio::bsPlaying;
        volumeEarly = f->Volume();
    });
    At(2500, [&] { volumeLate = static_cast<TOstrelForm*>(cl::Application->GetMainForm())->Volume(); });
    bool trackWritten = false;
    std::string folder;
    At(2600, [&] {
        folder = static_cast<TOstrelForm*>(cl::Application->GetMainForm())->TempFolder();
        trackWritten = fs::exists(folder + "Мелодия.wav");
    });
    At(3000, [] { win::test::Key('Q', true); });
    TOstrelForm* form = Run(4000);
    EXPECT_TRUE(playing);
    EXPECT_GT(volumeEarly, 0);
    EXPECT_LT(volumeEarly, 50);
    EXPECT_GE(volumeLate, 100);
    EXPECT_EQ(form->BassPlayer->Volume(), 100);
    // The track name's folders are not followed: the track lies in the run's own folder.
    EXPECT_TRUE(trackWritten);
    EXPECT_EQ(folder.rfind(Tmp("lumetra-"), 0), 0u) << folder;
    EXPECT_EQ(folder.rfind(form->RunFolder(), 0), 0u) << folder;
    EXPECT_FALSE(fs::exists(dir_ / "escape"));
    // The half-second track repeats: its index wrapped to 0 again at least once.
    EXPECT_EQ(form->MusicIndex(), 0);
    // Closing stopped the music and deleted the track file; destroying the window leaves
    // the temporary folder empty.
    EXPECT_FALSE(fs::exists(folder + "Мелодия.wav"));
    cl::ControlsShutDown();
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(Show, BadSlidesAndEffectsDoNotStopTheShow) {
    Container c;
    c.Settings("<DefaultInterval>500</DefaultInterval><FaderEnabled>0</FaderEnabled>");
    c.Slide(Fixture("red.jpg"),
            "<Effect>99</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Slide("this is no picture",
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Raw(
        "<Slide><StartPos>40</StartPos><EndPos>5000000000</EndPos><Effect>-7</Effect><TimeInterval>-1</"
        "TimeInterval><EffectInterval>100</EffectInterval></Slide>");
    c.Raw(
        "<Slide><StartPos>90</StartPos><EndPos>30</EndPos><Effect>45</Effect><TimeInterval>-1</"
        "TimeInterval><EffectInterval>100</EffectInterval></Slide>");
    c.Slide(Fixture("blue.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Write((dir_ / "show.scr").string());
    std::string seen;
    std::vector<int> effects;
    for (int64_t t = 700; t < 5000; t += 100)
        At(t, [&] {
            auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
            seen += Colour(Centre());
            effects.push_back(f->EffectIndex());
        });
    Run(5000);
    // Red stays through the slides that cannot be shown, then blue comes, and the show goes on.
    EXPECT_NE(seen.find("rb"), std::string::npos) << seen;
    EXPECT_EQ(seen.find('?'), std::string::npos) << seen;
    EXPECT_EQ(seen.find('k'), std::string::npos) << seen;
    for (int e : effects) {
        EXPECT_GE(e, 0);
        EXPECT_LE(e, 46);
    }
    EXPECT_FALSE(te::TransitionPrepared());
    EXPECT_TRUE(win::test::MessageBoxes().empty());
}

TEST_F(Show, DisabledSlidesWidenTheirTransitionsAndTheRectangleMapsToTheControl) {
    Container c;
    c.Settings(
        "<DefaultInterval>500</DefaultInterval><FaderEnabled>0</FaderEnabled>"
        "<EffectL>8</EffectL><EffectT>8</EffectT><EffectR>32</EffectR><EffectB>24</EffectB>");
    c.Slide(Fixture("red.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Slide(Fixture("green.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Slide(
        Fixture("blue.jpg"),
        "<Effect>45</Effect><Enabled>0</Enabled><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Slide(Fixture("red.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Write((dir_ / "show.scr").string());
    std::vector<std::pair<int, bool>> areas;
    for (int64_t t = 600; t < 6000; t += 50)
        At(t, [&] {
            auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
            if (areas.empty() || areas.back().first != f->SlideIndex())
                areas.push_back({f->SlideIndex(), f->FullArea()});
        });
    TOstrelForm* form = Run(6000);
    // The 64x48 pictures fill the 320x240 control five times enlarged.
    win::RECT r = form->EffectRect();
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right, 160);
    EXPECT_EQ(r.bottom, 120);
    ASSERT_GE(areas.size(), 4u);
    EXPECT_EQ(areas[0], std::make_pair(0, false));
    EXPECT_EQ(areas[1], std::make_pair(1, true));  // into the disabled slide
    EXPECT_EQ(areas[2], std::make_pair(2, true));  // out of it
    EXPECT_EQ(areas[3], std::make_pair(3, false));
}

TEST_F(Show, ADoubleClickEndsTheShowAndTheSameShowRunsTheSameWay) {
    auto once = [this](std::vector<int>* effects) {
        Container c;
        c.Settings(
            "<DefaultInterval>200</DefaultInterval><DefaultEffectInterval>100</DefaultEffectInterval>"
            "<RandomSlides>-1</RandomSlides><FaderEnabled>0</FaderEnabled>");
        for (const char* p : {"red.jpg", "green.jpg", "blue.jpg", "gradient.jpg"})
            c.Slide(Fixture(p), "<Effect>-1</Effect>");
        c.Write((dir_ / "show.scr").string());
        for (int64_t t = 600; t < 3000; t += 100)
            At(t, [effects] {
                effects->push_back(static_cast<TOstrelForm*>(cl::Application->GetMainForm())->EffectIndex());
            });
        At(3000, [] {
            win::test::MouseButton(win::test::Button::Left, true);
            win::test::MouseButton(win::test::Button::Left, false);
            win::test::MouseButton(win::test::Button::Left, true);
            win::test::MouseButton(win::test::Button::Left, false);
        });
        TOstrelForm* form = Run(5000);
        EXPECT_TRUE(cl::Application->GetTerminated());
        return form->SlideOrder();
    };
    std::vector<int> first, second;
    auto order1 = once(&first);
    TearDown();
    SetUp();
    auto order2 = once(&second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(order1, order2);
}

TEST_F(Show, EveryEntryOfTheTransitionListRuns) {
    Container c;
    c.Settings(
        "<DefaultInterval>50</DefaultInterval><DefaultEffectInterval>150</DefaultEffectInterval>"
        "<FaderEnabled>0</FaderEnabled>");
    const char* pictures[] = {"red.jpg", "green.jpg", "blue.jpg"};
    for (int i = 0; i < 47; ++i)
        c.Slide(Fixture(pictures[i % 3]), "<Effect>" + std::to_string(i) +
                                              "</Effect><TimeInterval>-1</TimeInterval>"
                                              "<EffectInterval>-1</EffectInterval><EffectMask>-1</EffectMask>");
    c.Write((dir_ / "show.scr").string());
    std::vector<int> indexes;
    std::string colours;
    // Sample once per slide, while it stands (scripted input also arrives while a
    // transition runs, when the transition looks for the show's exit inputs).
    std::function<void()> sample = [&] {
        auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
        if (!f || te::TransitionPrepared()) return;
        if (f->SlideIndex() >= 47 || static_cast<int>(indexes.size()) > f->SlideIndex()) return;
        if (static_cast<int>(indexes.size()) == f->SlideIndex()) {
            indexes.push_back(f->EffectIndex());
            colours += Colour(Centre());
        }
    };
    for (int64_t t = 520; t < 15000; t += 20) At(t, sample);
    TOstrelForm* form = Run(15000);
    ASSERT_EQ(form->TransitionList1->GetTransitionCount(), 47);
    // The list holds the real effect classes, in the order the project document relies on.
    const char* classes[] = {
        "Blend",     "Block",    "Block",  "Blur",   "Circle",   "Circle",      "Circle",     "Circle",
        "Diagonal",  "Diagonal", "Drip",   "Fuse",   "Fuse",     "Fuse",        "Interlaced", "Interlaced",
        "Page",      "Page",     "Page",   "Page",   "Pixelate", "Push",        "Push",       "Push",
        "Push",      "Radial",   "Radial", "Radial", "Radial",   "Roll",        "Roll",       "Roll",
        "Roll",      "Slide",    "Slide",  "Slide",  "Slide",    "Waterfall",   "Waterfall",  "Waterfall",
        "Waterfall", "Wipe",     "Wipe",   "Wipe",   "Wipe",     "FlickerFree", "BmpMask"};
    for (int i = 0; i < 47; ++i) {
        EXPECT_EQ(std::string(form->TransitionList1->GetTransition(i)->ClassName()),
                  "T" + std::string(classes[i]) + "Transition")
            << "entry " << i;
        EXPECT_EQ(form->TransitionList1->GetTransition(i)->Milliseconds, 150) << "entry " << i;
    }
    ASSERT_EQ(indexes.size(), 47u);
    for (int i = 0; i < 47; ++i) EXPECT_EQ(indexes[i], i);
    // Each slide stood on the screen as its own picture once its transition had ended.
    std::string expected;
    for (int i = 0; i < 47; ++i) expected += "rgb"[i % 3];
    EXPECT_EQ(colours, expected);
}

// ---------------------------------------------------------------------------------------
// The run's private folder

TEST_F(Show, TheRunsFilesLiveInItsPrivateFolderAndNeverInTheSharedOne) {
    // Files of someone else at the names the libraries had in the shared folder: a plain
    // file and a link to a file of the user's. The show must neither load, write nor
    // delete them.
    const std::string planted = "not a library of ours";
    std::ofstream(Tmp("Bass.dll"), std::ios::binary) << planted;
    std::ofstream(dir_ / "victim.txt", std::ios::binary) << "precious";
    fs::create_symlink(dir_ / "victim.txt", Tmp("BassWma.dll"));

    Container c;
    c.Settings("<FaderEnabled>0</FaderEnabled><RepeatMusic>-1</RepeatMusic>");
    c.Slide(Fixture("red.jpg"), "<Effect>45</Effect>");
    // A track named like a library cannot replace the library that plays it.
    c.Track(Fixture("tone.wav"), "Bass.dll");
    c.Write((dir_ / "show.scr").string());
    std::string runMode, musicMode, library, trackFolder;
    bool playing = false, trackThere = false;
    uintmax_t librarySize = 0, librarySizeLater = 0;
    At(1000, [&] {
        auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
        runMode = ModeOf(f->RunFolder());
        musicMode = ModeOf(f->TempFolder());
        library = f->BassPlayer->BassLibrary;
        trackFolder = f->TempFolder();
        playing = f->BassPlayer->State() == audio::bsPlaying;
        trackThere = fs::exists(f->TempFolder() + "Bass.dll");
        librarySize = fs::file_size(f->RunFolder() + "Bass.dll");
    });
    At(1900, [&] {
        auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
        librarySizeLater = fs::file_size(f->RunFolder() + "Bass.dll");
    });
    At(2000, [] { win::test::Key(win::VK_SPACE, true); });
    TOstrelForm* form = Run(3000);
    const std::string run = form->RunFolder();
    ASSERT_FALSE(run.empty());
    EXPECT_EQ(run.rfind(Tmp("lumetra-"), 0), 0u) << run;
    EXPECT_EQ(runMode, "700");
    EXPECT_EQ(musicMode, "700");
    EXPECT_EQ(library, run + "Bass.dll");
    EXPECT_EQ(form->BassPlayer->BassWMALibrary, run + "BassWma.dll");
    EXPECT_EQ(trackFolder, run + "music/");
    EXPECT_TRUE(playing);
    EXPECT_TRUE(trackThere);
    EXPECT_GT(librarySize, 1000u);
    EXPECT_EQ(librarySizeLater, librarySize);
    cl::ControlsShutDown();
    EXPECT_FALSE(fs::exists(run));
    EXPECT_EQ(ReadFile(Tmp("Bass.dll")), planted);
    EXPECT_TRUE(fs::is_symlink(Tmp("BassWma.dll")));
    EXPECT_EQ(ReadFile((dir_ / "victim.txt").string()), "precious");
    EXPECT_EQ(Names(dir_ / "tmp"), (std::vector<std::string>{"Bass.dll", "BassWma.dll"}));
}

TEST_F(Show, TheRunsFolderGoesWithTheExitCleanupsAndIsNotMadeAgain) {
    // The way out when the main block ends by an exception or a signal ends the program.
    Container c;
    c.Settings("<FaderEnabled>0</FaderEnabled><RepeatMusic>-1</RepeatMusic>");
    c.Slide(Fixture("red.jpg"), "<Effect>45</Effect>");
    c.Track(Fixture("tone.wav"), "tone.wav");
    c.Write((dir_ / "show.scr").string());
    std::string folder;
    bool existed = false, goneAtOnce = false, stillGone = false;
    At(1000, [&] {
        folder = static_cast<TOstrelForm*>(cl::Application->GetMainForm())->RunFolder();
        existed = fs::exists(folder + "Bass.dll") && fs::exists(folder + "music/tone.wav");
        win::RunExitCleanups();
        goneAtOnce = fs::is_empty(dir_ / "tmp");
    });
    // The half-second track has been written out again meanwhile, or tried to.
    At(3000, [&] { stillGone = fs::is_empty(dir_ / "tmp"); });
    At(3100, [] { win::test::Key(win::VK_SPACE, true); });
    Run(4000);
    EXPECT_TRUE(existed);
    EXPECT_TRUE(goneAtOnce);
    EXPECT_TRUE(stillGone);
    cl::ControlsShutDown();
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(Show, ADocumentThatCannotBeReadLeavesNothingBehind) {
    struct Case {
        const char* name;
        std::string document;  // empty: a file without a usable trailer
    };
    const Case cases[] = {
        {"wrong root", "<Other><Slide/></Other>"},
        {"empty root", "<LumetraProject></LumetraProject>"},
        {"no trailer", ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        if (k.document.empty()) {
            std::ofstream(dir_ / "show.scr", std::ios::binary) << "\x7F"
                                                                  "ELF and nothing else";
        } else {
            Container c;
            c.Track(Fixture("tone.wav"), "tone.wav");
            c.Write((dir_ / "show.scr").string(), k.document);
        }
        bool emptyWhileShown = false, activated = false;
        At(1500, [&] {
            emptyWhileShown = fs::is_empty(dir_ / "tmp");
            activated = static_cast<TOstrelForm*>(cl::Application->GetMainForm())->Activated();
        });
        At(2000, [] { win::test::Key(win::VK_SPACE, true); });
        TOstrelForm* form = Run(3000);
        EXPECT_TRUE(cl::Application->GetTerminated());
        // The window still came up, without music: nothing of the run stays on disk.
        EXPECT_TRUE(activated);
        EXPECT_TRUE(emptyWhileShown);
        EXPECT_FALSE(form->BassPlayer->Loaded());
        cl::ControlsShutDown();
        EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
        TearDown();
        SetUp();
    }
}

TEST_F(Show, ATemporaryPathTooLongMeansNoMusicAndNoFileAnywhere) {
    // A temporary folder that exists, but whose path is longer than the platform's buffer.
    fs::path longTmp = dir_;
    while (longTmp.string().size() < 1200) longTmp /= std::string(200, 'd');
    fs::create_directories(longTmp);
    setenv("TMPDIR", longTmp.c_str(), 1);
    Container c;
    c.Settings("<DefaultInterval>500</DefaultInterval><FaderEnabled>0</FaderEnabled>");
    c.Slide(Fixture("red.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Slide(Fixture("green.jpg"),
            "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>100</EffectInterval>");
    c.Track(Fixture("tone.wav"), "tone.wav");
    c.Write((dir_ / "show.scr").string());
    std::string seen;
    for (int64_t t : {800, 1500}) At(t, [&seen] { seen += Colour(Centre()); });
    At(2000, [] { win::test::Key(win::VK_SPACE, true); });
    TOstrelForm* form = Run(3000);
    // The show plays, silently.
    EXPECT_EQ(seen, "rg");
    EXPECT_TRUE(form->RunFolder().empty());
    EXPECT_TRUE(form->TempFolder().empty());
    EXPECT_FALSE(form->BassPlayer->Loaded());
    EXPECT_EQ(form->BassPlayer->BassLibrary, "bass");
    // Nothing was written: not in the long folder, not beside the program file, not in
    // the usual temporary folder.
    std::vector<std::string> written;
    for (const auto& e : fs::recursive_directory_iterator(dir_))
        if (!e.is_directory()) written.push_back(e.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{"show.scr"});
    cl::ControlsShutDown();
}

// ---------------------------------------------------------------------------------------
// Exits while a transition runs

namespace {

// A show whose first transition (red to green) starts at 1500 ms of clock and lasts
// `effectMs` (60 s or far longer).
void LongTransitionShow(const fs::path& file, const std::string& effectMs, const std::string& extra = {}) {
    Container c;
    c.Settings("<DefaultInterval>1000</DefaultInterval><FaderEnabled>0</FaderEnabled>");
    c.Slide(Fixture("red.jpg"), "<Effect>0</Effect><TimeInterval>-1</TimeInterval><EffectInterval>" + effectMs +
                                    "</EffectInterval>" + extra);
    c.Slide(Fixture("green.jpg"),
            "<Effect>0</Effect><TimeInterval>-1</TimeInterval><EffectInterval>" + effectMs + "</EffectInterval>");
    c.Write(file.string());
}

}  // namespace

TEST_F(Show, AnExitInputEndsTheShowWhileATransitionRuns) {
    struct Case {
        const char* name;
        std::string effectMs;
        std::string extra;
        std::function<void()> input;  // at 20 s
    };
    auto form = [] { return static_cast<TOstrelForm*>(cl::Application->GetMainForm()); };
    const Case cases[] = {
        {"key", "60000", "", [] { win::test::Key('A', true); }},
        {"key, longest transition", "2147483647", "", [] { win::test::Key(win::VK_SPACE, true); }},
        {"key, two passes", "60000", "<2Passes>-1</2Passes>", [] { win::test::Key('Q', true); }},
        {"alt key", "60000", "", [] { win::test::Key(win::VK_MENU, true); }},
        {"click", "60000", "",
         [] {
             win::test::MouseButton(win::test::Button::Left, true);
             win::test::MouseButton(win::test::Button::Left, false);
         }},
        {"double click", "2147483647", "",
         [] {
             for (int i = 0; i < 2; ++i) {
                 win::test::MouseButton(win::test::Button::Left, true);
                 win::test::MouseButton(win::test::Button::Left, false);
             }
         }},
        // The first movement (at 10 s, inside the transition) sets the position.
        {"mouse movement", "60000", "", [] { win::test::MouseMove(103, 100); }},
        {"close message", "2147483647", "", [form] { win::PostMessageA(form()->GetHandle(), win::WM_CLOSE, 0, 0); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        LongTransitionShow(dir_ / "show.scr", k.effectMs, k.extra);
        bool inTransition = false;
        At(10000, [] { win::test::MouseMove(100, 100); });
        At(19900, [&] { inTransition = te::TransitionPrepared() && !cl::Application->GetTerminated(); });
        At(20000, k.input);
        Run(70000);
        EXPECT_TRUE(inTransition);
        EXPECT_TRUE(cl::Application->GetTerminated());
        EXPECT_LT(win::ClockElapsedMs(), 20500);
        EXPECT_FALSE(te::TransitionPrepared());
        TearDown();
        SetUp();
    }
}

TEST_F(Show, InputThatDoesNotEndTheShowLetsTheTransitionRun) {
    LongTransitionShow(dir_ / "show.scr", "60000");
    bool runningAfterMoves = false, runningAfterRightClick = false;
    // Movements within two pixels of the first one, and a right click, end nothing.
    At(10000, [] { win::test::MouseMove(100, 100); });
    At(10100, [] { win::test::MouseMove(102, 98); });
    At(10200, [] { win::test::MouseMove(98, 102); });
    At(11000, [&] { runningAfterMoves = te::TransitionPrepared() && !cl::Application->GetTerminated(); });
    At(12000, [] {
        win::test::MouseButton(win::test::Button::Right, true);
        win::test::MouseButton(win::test::Button::Right, false);
    });
    At(13000, [&] { runningAfterRightClick = te::TransitionPrepared() && !cl::Application->GetTerminated(); });
    // One pixel more ends it.
    At(30000, [] { win::test::MouseMove(97, 102); });
    Run(70000);
    EXPECT_TRUE(runningAfterMoves);
    EXPECT_TRUE(runningAfterRightClick);
    EXPECT_TRUE(cl::Application->GetTerminated());
    EXPECT_GE(win::ClockElapsedMs(), 30000);
    EXPECT_LT(win::ClockElapsedMs(), 30500);
}

// ---------------------------------------------------------------------------------------
// Extreme numbers in the document

TEST_F(Show, ExtremeNumbersPlayWithoutOverflowAndTheEffectRectangleStaysOnTheControl) {
    struct Case {
        const char* name;
        std::string settings;
        std::string slide;  // elements of both slides
    };
    const std::string max = "2147483647", min = "-2147483648";
    const Case cases[] = {
        {"longest slide left by a cut", "", "<Effect>45</Effect><TimeInterval>" + max + "</TimeInterval>"},
        {"longest cut", "", "<Effect>45</Effect><EffectInterval>" + max + "</EffectInterval>"},
        {"most negative slide and cut", "",
         "<Effect>45</Effect><TimeInterval>" + min + "</TimeInterval><EffectInterval>" + min + "</EffectInterval>"},
        {"longest slide and transition", "",
         "<Effect>0</Effect><TimeInterval>" + max + "</TimeInterval><EffectInterval>" + max + "</EffectInterval>"},
        {"most negative transition", "",
         "<Effect>3</Effect><TimeInterval>300</TimeInterval><EffectInterval>" + min + "</EffectInterval>"},
        {"extreme defaults",
         "<DefaultInterval>" + min + "</DefaultInterval><DefaultEffectInterval>" + max + "</DefaultEffectInterval>",
         "<Effect>45</Effect><TimeInterval>-1</TimeInterval><EffectInterval>-1</EffectInterval>"},
        {"widest rectangle",
         "<EffectL>" + min + "</EffectL><EffectT>" + min + "</EffectT><EffectR>" + max + "</EffectR><EffectB>" + max +
             "</EffectB>",
         "<Effect>0</Effect><TimeInterval>300</TimeInterval><EffectInterval>200</EffectInterval>"},
        {"rectangle far beyond the picture",
         "<EffectL>10</EffectL><EffectT>10</EffectT><EffectR>100000</EffectR><EffectB>100000</EffectB>",
         "<Effect>11</Effect><TimeInterval>300</TimeInterval><EffectInterval>200</EffectInterval>"},
        {"rectangle before the picture",
         "<EffectL>-5000</EffectL><EffectT>-5000</EffectT><EffectR>-4000</EffectR><EffectB>-4000</EffectB>",
         "<Effect>0</Effect><TimeInterval>300</TimeInterval><EffectInterval>200</EffectInterval>"},
        {"extreme fades", "<FaderEnabled>-1</FaderEnabled><FaderIn>" + max + "</FaderIn>",
         "<Effect>45</Effect><TimeInterval>300</TimeInterval>"},
        {"negative fade", "<FaderEnabled>-1</FaderEnabled><FaderIn>" + min + "</FaderIn>",
         "<Effect>45</Effect><TimeInterval>300</TimeInterval>"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Container c;
        c.Settings(k.settings);
        c.Slide(Fixture("red.jpg"), k.slide);
        c.Slide(Fixture("green.jpg"), k.slide);
        c.Track(Fixture("tone.wav"), "tone.wav");
        c.Write((dir_ / "show.scr").string());
        At(4000, [] { win::test::Key(win::VK_SPACE, true); });
        TOstrelForm* form = Run(10000);
        EXPECT_TRUE(cl::Application->GetTerminated());
        EXPECT_LT(win::ClockElapsedMs(), 4500);
        const win::RECT r = form->EffectRect();
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, kW);
        EXPECT_LE(r.bottom, kH);
        EXPECT_FALSE(te::TransitionPrepared());
        TearDown();
        SetUp();
    }
}

TEST_F(Show, SumsOfTheDocumentsNumbersSaturate) {
    struct Case {
        std::string timeInterval, effectInterval;
        int32_t duration, cutExtra;
    };
    const Case cases[] = {
        {"2147483647", "1000", 2147483647, 0},
        {"1000", "2147483647", 2147483647, 0},
        {"-2147483648", "-2147483648", -2147483647 - 1, 0},
        {"-2147483648", "1000", -2147483648 + 1200, 0},
        {"4000", "1500", 5800, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.timeInterval + " / " + k.effectInterval);
        Container c;
        c.Settings("<FaderEnabled>0</FaderEnabled>");
        c.Slide(Fixture("red.jpg"), "<Effect>45</Effect><TimeInterval>" + k.timeInterval +
                                        "</TimeInterval><EffectInterval>" + k.effectInterval + "</EffectInterval>");
        c.Write((dir_ / "show.scr").string());
        int32_t duration = 0, cutExtra = -1;
        At(520, [&] {
            auto* f = static_cast<TOstrelForm*>(cl::Application->GetMainForm());
            duration = f->SlideDuration();
            cutExtra = f->CutExtra();
        });
        At(600, [] { win::test::Key(win::VK_SPACE, true); });
        Run(2000);
        EXPECT_EQ(duration, k.duration);
        EXPECT_EQ(cutExtra, k.cutExtra);
        TearDown();
        SetUp();
    }
}
