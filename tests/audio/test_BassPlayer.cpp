// TBassPlayer over the audio library loaded through the platform's module loader: real
// tones through SDL's disk output, and a fake library (a built-in module) for the rules
// of loading and unloading.

#include "audio/BassPlayer.h"

#include <atomic>
#include <thread>

#include "audio/auTimers.h"
#include "bass_fixture.h"
#include "platform/clock.h"
#include "platform/kernel.h"

using namespace audio_test;
using audio::TBassPlayer;

namespace {

// Loads a player from the built library into SDL's disk output.
class BassPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(tmp.Path().empty());
        rawPath = UseDiskOutput(tmp.Path());
    }

    std::unique_ptr<TBassPlayer> LoadedPlayer(bool withAddOn = true) {
        auto p = std::make_unique<TBassPlayer>(nullptr);
        p->BassLibrary = LUMETRA_BASS_SO;
        p->BassWMALibrary = withAddOn ? LUMETRA_BASSWMA_SO : (tmp.Path() / "none.so").string();
        EXPECT_TRUE(p->LoadBass());
        EXPECT_TRUE(p->Loaded());
        return p;
    }

    TempDir tmp;
    fs::path rawPath;
};

// Waits for OnEndPlaying.
struct EndWatch {
    EndCounter counter;
    std::vector<cl::TObject*> senders;
    void Attach(TBassPlayer& p) {
        p.OnEndPlaying = [this](cl::TObject* sender) {
            senders.push_back(sender);
            counter.Hit();
        };
    }
};

TEST_F(BassPlayerTest, StartsClosedWithItsDefaults) {
    TBassPlayer p(nullptr);
    EXPECT_EQ(p.State(), audio::bsClosed);
    EXPECT_EQ(p.Volume(), 100);
    EXPECT_EQ(p.Stream(), 0u);
    EXPECT_EQ(p.Sync(), 0u);
    EXPECT_EQ(p.GetFileName(), "");
    EXPECT_EQ(p.BassLibrary, "bass.dll");
    EXPECT_EQ(p.BassWMALibrary, "basswma.dll");
    EXPECT_FALSE(p.Loaded());
    EXPECT_EQ(p.LibraryHandle(), nullptr);
    EXPECT_STREQ(p.ClassName(), "TBassPlayer");
}

TEST_F(BassPlayerTest, OperationsBeforeLoadingRaise) {
    TBassPlayer p(nullptr);
    p.BassLibrary = (tmp.Path() / "missing.so").string();
    EXPECT_FALSE(p.LoadBass());
    EXPECT_FALSE(p.Loaded());
    auto expectRaises = [](const std::function<void()>& f) {
        try {
            f();
            ADD_FAILURE() << "no exception";
        } catch (const cl::Exception& e) {
            EXPECT_EQ(e.Message, "Не найден компонент для воспроизведения аудио.");
        }
    };
    expectRaises([&] { p.Open(); });
    expectRaises([&] { p.Play(); });
    expectRaises([&] { p.SetVolume(50); });
    expectRaises([&] { p.CheckLoaded(); });
    // Closing a closed player needs no library.
    EXPECT_FALSE(p.Close());
    EXPECT_FALSE(p.UnloadBass());
}

// No sound device and an output asked for by name: BASS_Init fails, the component is
// still loaded, and a track simply does not open.
TEST_F(BassPlayerTest, LoadedEvenWhenTheLibraryFindsNoDevice) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    setenv("LUMETRA_AUDIO", "sdl", 1);
    TBassPlayer p(nullptr);
    p.BassLibrary = LUMETRA_BASS_SO;
    p.BassWMALibrary = LUMETRA_BASSWMA_SO;
    EXPECT_FALSE(p.LoadBass());
    unsetenv("LUMETRA_AUDIO");
    EXPECT_TRUE(p.Loaded());
    p.SetFileName(DataFile("tone880.wav"));
    EXPECT_EQ(p.Open(), 0u);
    EXPECT_FALSE(p.Play());
}

TEST_F(BassPlayerTest, PlaysATrackAndReportsItsEndOnTheLibrarysThread) {
    auto p = LoadedPlayer();
    EXPECT_NE(p->PluginHandle(), 0u);
    EndWatch watch;
    std::thread::id endThread;
    p->OnEndPlaying = [&](cl::TObject* sender) {
        endThread = std::this_thread::get_id();
        watch.senders.push_back(sender);
        // The component has closed the stream before it tells.
        EXPECT_EQ(p->State(), audio::bsClosed);
        EXPECT_EQ(p->Stream(), 0u);
        watch.counter.Hit();
    };
    p->SetFileName(DataFile("tone550.wma"));  // needs the add-on
    bass::HSTREAM s = p->Open();
    ASSERT_NE(s, 0u);
    EXPECT_EQ(p->Stream(), s);
    EXPECT_NE(p->Sync(), 0u);
    EXPECT_EQ(p->State(), audio::bsOpened);
    ASSERT_TRUE(p->Play());
    EXPECT_TRUE(p->State() == audio::bsPlaying || watch.counter.Count() > 0);
    ASSERT_TRUE(watch.counter.WaitFor(1));
    EXPECT_EQ(watch.senders, std::vector<cl::TObject*>{p.get()});
    EXPECT_NE(endThread, std::this_thread::get_id());
    EXPECT_FALSE(p->Close()) << "already closed by the end";
    EXPECT_TRUE(p->UnloadBass());
    EXPECT_FALSE(p->Loaded());
    EXPECT_EQ(p->PluginHandle(), 0u);

    std::vector<float> out = ReadRaw(rawPath);
    Span tone = Audible(out);
    EXPECT_EQ(Dominant(Channel(out, tone.first, tone.last, 0), ToneCandidates()), 550);
}

TEST_F(BassPlayerTest, WithoutTheAddOnOnlyWmaFails) {
    auto p = LoadedPlayer(false);
    EXPECT_EQ(p->PluginHandle(), 0u);
    p->SetFileName(DataFile("tone550.wma"));
    EXPECT_EQ(p->Open(), 0u);
    EXPECT_EQ(p->State(), audio::bsClosed);
    EXPECT_FALSE(p->Play());
    p->SetFileName(DataFile("tone440.mp3"));
    EXPECT_NE(p->Open(), 0u);
}

TEST_F(BassPlayerTest, UndecodableFileLeavesThePlayerClosed) {
    auto p = LoadedPlayer();
    EndWatch watch;
    watch.Attach(*p);
    fs::path bad = tmp.Path() / "bad.mp3";
    std::ofstream(bad) << "no music here";
    p->SetFileName(bad.string());
    EXPECT_EQ(p->Open(), 0u);
    EXPECT_EQ(p->State(), audio::bsClosed);
    EXPECT_EQ(p->Sync(), 0u);
    EXPECT_FALSE(p->Play());
    EXPECT_FALSE(p->Close());
    p.reset();
    EXPECT_EQ(watch.counter.Count(), 0);
}

TEST_F(BassPlayerTest, VolumeIsStoredAndLimitedForTheStream) {
    auto p = LoadedPlayer();
    p->SetFileName(DataFile("tone880.wav"));
    bass::HSTREAM s = p->Open();
    ASSERT_NE(s, 0u);
    // The same module instance the component loaded.
    auto* getAttr = reinterpret_cast<bass::BASS_ChannelGetAttribute_PROC*>(
        win::GetProcAddress(p->LibraryHandle(), "BASS_ChannelGetAttribute"));
    ASSERT_NE(getAttr, nullptr);
    struct {
        int set;
        float stream;
    } cases[] = {{150, 1.0f}, {-5, 0.0f}, {40, 0.4f}, {100, 1.0f}, {0, 0.0f}};
    for (auto c : cases) {
        p->SetVolume(c.set);
        EXPECT_EQ(p->Volume(), c.set);
        float v = -1;
        ASSERT_TRUE(getAttr(s, bass::BASS_ATTRIB_VOL, &v));
        EXPECT_FLOAT_EQ(v, c.stream) << c.set;
    }
    // A new stream gets the stored volume.
    p->SetVolume(25);
    bass::HSTREAM t = p->Open();
    float v = -1;
    ASSERT_TRUE(getAttr(t, bass::BASS_ATTRIB_VOL, &v));
    EXPECT_FLOAT_EQ(v, 0.25f);
    EXPECT_NE(t, s);
    EXPECT_FALSE(getAttr(s, bass::BASS_ATTRIB_VOL, &v)) << "the old stream was freed by Open";
}

TEST_F(BassPlayerTest, CloseWhilePlayingStopsWithoutAnEnd) {
    auto p = LoadedPlayer();
    EndWatch watch;
    watch.Attach(*p);
    p->SetFileName(DataFile("tone660.ogg"));
    ASSERT_NE(p->Open(), 0u);
    ASSERT_TRUE(p->Play());
    EXPECT_TRUE(p->Close());
    EXPECT_EQ(p->State(), audio::bsClosed);
    EXPECT_EQ(p->Stream(), 0u);
    EXPECT_TRUE(p->UnloadBass());  // stops the library: any end would have come by now
    EXPECT_EQ(watch.counter.Count(), 0);
}

// The player's chaining: the end handler opens and plays the next track on the
// library's thread.
TEST_F(BassPlayerTest, EndHandlerChainsTheNextTrack) {
    auto p = LoadedPlayer();
    std::vector<std::string> queue{DataFile("tone660.ogg"), DataFile("tone880.wav")};
    EndCounter ends;
    std::atomic<bool> failed{false};
    p->OnEndPlaying = [&](cl::TObject*) {
        int n = ends.Count();
        if (n < static_cast<int>(queue.size())) {
            p->SetFileName(queue[n]);
            if (!p->Open() || !p->Play()) failed = true;
        }
        ends.Hit();
    };
    p->SetFileName(DataFile("tone440.mp3"));
    ASSERT_NE(p->Open(), 0u);
    ASSERT_TRUE(p->Play());
    ASSERT_TRUE(ends.WaitFor(3));
    EXPECT_FALSE(failed);
    p.reset();  // Close, then UnloadBass
    EXPECT_EQ(ends.Count(), 3);

    // Each track whole, in order (the output plays silence while the next one opens).
    std::vector<float> out = ReadRaw(rawPath);
    EXPECT_NEAR(AudibleFrames(out) / 44100.0, 1.5, 0.1);  // each tone 0.5 s, give or take a codec frame
    EXPECT_EQ(ToneRuns(out, ToneCandidates()), (std::vector<double>{440, 660, 880}));
}

// A fade-in stepped by the multimedia timer, as the player does it: the loudness of the
// track rises window by window to full volume.
TEST_F(BassPlayerTest, TimerSteppedFadeRisesToFullVolume) {
    setenv("SDL_DISKAUDIODELAY", "23", 1);  // real-time pace, in step with the timer
    auto p = LoadedPlayer();
    EndCounter ends;
    p->OnEndPlaying = [&](cl::TObject*) { ends.Hit(); };
    audio::TAudioHiResTimer timer(nullptr);
    timer.Interval = 50;
    timer.Resolution = 5;
    std::atomic<int> volume{0};
    timer.OnTimer = [&](cl::TObject*) {
        if (volume >= 100) return;
        volume += 25;
        p->SetVolume(volume);
        timer.Start();  // the player restarts its timer on every step
    };
    p->SetVolume(0);
    p->SetFileName(DataFile("tone880.wav"));
    ASSERT_NE(p->Open(), 0u);
    ASSERT_TRUE(p->Play());
    timer.Start();
    ASSERT_TRUE(ends.WaitFor(1));
    timer.Stop();
    p.reset();

    std::vector<float> out = ReadRaw(rawPath);
    Span all = Audible(out, 1e-4f);
    const size_t window = 2205;  // 50 ms
    std::vector<double> rms;
    for (size_t f = all.first; f + window <= all.last; f += window) rms.push_back(Rms(Channel(out, f, f + window, 0)));
    ASSERT_GE(rms.size(), 6u);
    for (size_t i = 1; i < rms.size(); ++i) EXPECT_GE(rms[i], rms[i - 1] * 0.999) << "window " << i;
    EXPECT_LT(rms.front(), rms.back() * 0.8);
    EXPECT_NEAR(rms.back(), kMonoToneRms, 0.005) << "full volume at the end";
}

// ---------------------------------------------------------------------------------------
// A fake library as a built-in module, for the rules of loading and unloading.

struct FakeCalls {
    std::atomic<int> init{0}, free{0}, pluginLoad{0}, pluginFree{0};
};
FakeCalls gFake;

bass::BOOL FakeInit(int, bass::DWORD, bass::DWORD, void*, const void*) {
    gFake.init++;
    return 1;
}
bass::BOOL FakeFree() {
    gFake.free++;
    return 1;
}
bass::HPLUGIN FakePluginLoad(const char*, bass::DWORD) {
    gFake.pluginLoad++;
    return 77;
}
bass::BOOL FakePluginFree(bass::HPLUGIN) {
    gFake.pluginFree++;
    return 1;
}
bass::HSTREAM FakeCreate(bass::BOOL, const void*, bass::QWORD, bass::QWORD, bass::DWORD) { return 0; }
bass::BOOL FakeHandle(bass::DWORD) { return 0; }
bass::BOOL FakePlay(bass::DWORD, bass::BOOL) { return 0; }
bass::HSYNC FakeSetSync(bass::DWORD, bass::DWORD, bass::QWORD, bass::SYNCPROC*, void*) { return 0; }
bass::BOOL FakeRemoveSync(bass::DWORD, bass::HSYNC) { return 0; }
bass::QWORD FakeGetPos(bass::DWORD, bass::DWORD) { return 0; }
bass::BOOL FakeSetPos(bass::DWORD, bass::QWORD, bass::DWORD) { return 0; }
double FakeB2S(bass::DWORD, bass::QWORD) { return 0; }
bass::QWORD FakeS2B(bass::DWORD, double) { return 0; }
bass::BOOL FakeGetAttr(bass::DWORD, bass::DWORD, float*) { return 0; }
bass::BOOL FakeSetAttr(bass::DWORD, bass::DWORD, float) { return 0; }

void RegisterFake() {
    win::RegisterBuiltinModule("fakebass", {{"BASS_Init", reinterpret_cast<void*>(&FakeInit)},
                                            {"BASS_Free", reinterpret_cast<void*>(&FakeFree)},
                                            {"BASS_PluginLoad", reinterpret_cast<void*>(&FakePluginLoad)},
                                            {"BASS_PluginFree", reinterpret_cast<void*>(&FakePluginFree)},
                                            {"BASS_StreamCreateFile", reinterpret_cast<void*>(&FakeCreate)},
                                            {"BASS_StreamFree", reinterpret_cast<void*>(&FakeHandle)},
                                            {"BASS_ChannelPlay", reinterpret_cast<void*>(&FakePlay)},
                                            {"BASS_ChannelPause", reinterpret_cast<void*>(&FakeHandle)},
                                            {"BASS_ChannelStop", reinterpret_cast<void*>(&FakeHandle)},
                                            {"BASS_ChannelSetSync", reinterpret_cast<void*>(&FakeSetSync)},
                                            {"BASS_ChannelRemoveSync", reinterpret_cast<void*>(&FakeRemoveSync)},
                                            {"BASS_ChannelGetPosition", reinterpret_cast<void*>(&FakeGetPos)},
                                            {"BASS_ChannelSetPosition", reinterpret_cast<void*>(&FakeSetPos)},
                                            {"BASS_ChannelGetLength", reinterpret_cast<void*>(&FakeGetPos)},
                                            {"BASS_ChannelBytes2Seconds", reinterpret_cast<void*>(&FakeB2S)},
                                            {"BASS_ChannelSeconds2Bytes", reinterpret_cast<void*>(&FakeS2B)},
                                            {"BASS_ChannelGetAttribute", reinterpret_cast<void*>(&FakeGetAttr)},
                                            {"BASS_ChannelSetAttribute", reinterpret_cast<void*>(&FakeSetAttr)}});
}

struct MissingCase {
    const char* entry;  // removed from the fake library ("" : none)
    int initCalls;      // BASS_Init calls by LoadBass
    bool loadResult;    // LoadBass's result
    int pluginLoads;    // BASS_PluginLoad calls
    int freeCalls;      // BASS_Free calls by UnloadBass
    int pluginFrees;    // BASS_PluginFree calls by UnloadBass
};

class BassPlayerFake : public ::testing::TestWithParam<MissingCase> {
protected:
    void SetUp() override {
        RegisterFake();
        gFake.init = gFake.free = gFake.pluginLoad = gFake.pluginFree = 0;
        marker = tmp.Path() / "Bass.dll";
        std::ofstream out(marker, std::ios::binary);
        out.write(win::kBuiltinModuleMarker, 8);
        out << "fakebass";
        addOn = tmp.Path() / "BassWma.dll";
        std::ofstream(addOn) << "add-on";
    }
    void TearDown() override { win::RestoreBuiltinModules(); }

    TempDir tmp;
    fs::path marker, addOn;
};

TEST_P(BassPlayerFake, LoadedNeedsEveryEntryPointAndUnloadCallsOnlyFoundOnes) {
    const MissingCase& c = GetParam();
    if (*c.entry) win::RemoveBuiltinExport("fakebass", c.entry);
    TBassPlayer p(nullptr);
    p.BassLibrary = marker.string();
    p.BassWMALibrary = addOn.string();
    EXPECT_EQ(p.LoadBass(), c.loadResult);
    EXPECT_EQ(p.Loaded(), *c.entry == '\0') << c.entry;
    EXPECT_EQ(gFake.init, c.initCalls);
    EXPECT_EQ(gFake.pluginLoad, c.pluginLoads);
    EXPECT_EQ(p.PluginHandle(), c.pluginLoads ? 77u : 0u);
    EXPECT_NE(p.LibraryHandle(), nullptr);
    EXPECT_EQ(p.UnloadBass(), c.freeCalls == 1);
    EXPECT_EQ(gFake.free, c.freeCalls);
    EXPECT_EQ(gFake.pluginFree, c.pluginFrees);
    EXPECT_EQ(p.LibraryHandle(), nullptr);
    EXPECT_FALSE(p.Loaded());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, BassPlayerFake,
    ::testing::Values(MissingCase{"", 1, true, 1, 1, 1}, MissingCase{"BASS_ChannelGetLength", 1, true, 1, 1, 1},
                      MissingCase{"BASS_ChannelPause", 1, true, 1, 1, 1}, MissingCase{"BASS_Init", 0, false, 1, 1, 1},
                      MissingCase{"BASS_Free", 1, true, 1, 0, 1}, MissingCase{"BASS_PluginFree", 1, true, 0, 1, 0},
                      MissingCase{"BASS_PluginLoad", 1, true, 0, 1, 1}),
    [](const auto& info) { return std::string(*info.param.entry ? info.param.entry : "none"); });

TEST(BassPlayerReload, LoadingAgainUnloadsFirst) {
    RegisterFake();
    gFake.init = gFake.free = gFake.pluginLoad = gFake.pluginFree = 0;
    TempDir tmp;
    fs::path marker = tmp.Path() / "Bass.dll";
    {
        std::ofstream out(marker, std::ios::binary);
        out.write(win::kBuiltinModuleMarker, 8);
        out << "fakebass";
    }
    {
        TBassPlayer p(nullptr);
        p.BassLibrary = marker.string();
        p.BassWMALibrary = (tmp.Path() / "missing.dll").string();
        EXPECT_TRUE(p.LoadBass());
        EXPECT_TRUE(p.LoadBass());
        EXPECT_EQ(gFake.init, 2);
        EXPECT_EQ(gFake.free, 1);
        EXPECT_EQ(gFake.pluginLoad, 0) << "no add-on file";
        EXPECT_EQ(gFake.pluginFree, 1) << "known, so called at unloading (with handle 0)";
    }
    EXPECT_EQ(gFake.free, 2) << "destruction unloads";
    win::RestoreBuiltinModules();
}

// ---------------------------------------------------------------------------------------
// Three threads at once, on the virtual clock: tracks chain on the library's thread while
// a timer thread sets the volume and the main thread finally closes.

TEST(BassPlayerThreads, ChainingWhileTheTimerSetsTheVolume) {
    win::SetClockMode(win::ClockMode::Virtual);
    {
        TBassPlayer p(nullptr);
        p.BassLibrary = LUMETRA_BASS_SO;
        p.BassWMALibrary = LUMETRA_BASSWMA_SO;
        ASSERT_TRUE(p.LoadBass());
        std::atomic<int> ends{0};
        p.OnEndPlaying = [&](cl::TObject*) {
            ends++;
            p.SetFileName(DataFile(ends % 2 ? "tone880.wav" : "tone660.ogg"));
            p.Open();
            p.Play();
        };
        audio::TAudioHiResTimer timer(nullptr);
        timer.Interval = 7;
        std::atomic<int> ticks{0};
        timer.OnTimer = [&](cl::TObject*) {
            ticks++;
            p.SetVolume(ticks % 101);
        };
        p.SetFileName(DataFile("tone880.wav"));
        ASSERT_NE(p.Open(), 0u);
        ASSERT_TRUE(p.Play());
        timer.Start();
        win::ClockAdvance(2600 * win::kTicksPerMs);  // five tracks of 0.5 s
        timer.Stop();
        EXPECT_EQ(ends, 5);
        EXPECT_GT(ticks, 300);
        EXPECT_EQ(p.State(), audio::bsPlaying);
        EXPECT_TRUE(p.Close());
        EXPECT_FALSE(p.Close());
    }
    win::SetClockMode(win::ClockMode::Real);
}

}  // namespace
