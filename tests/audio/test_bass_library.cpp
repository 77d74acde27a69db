// The audio library stand-in, loaded as the music component loads it, played through
// SDL's disk output, and checked on what it wrote.

#include <atomic>
#include <functional>
#include <thread>

#include "bass_fixture.h"

using namespace audio_test;
using bass::BOOL;
using bass::DWORD;
using bass::HSTREAM;
using bass::HSYNC;
using bass::QWORD;

namespace {

class BassLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(api.module, nullptr) << dlerror();
        ASSERT_NE(api.ChannelSetAttribute, nullptr);
        ASSERT_FALSE(tmp.Path().empty());
        rawPath = UseDiskOutput(tmp.Path());
    }
    void TearDown() override {
        api.Free();
        api.PluginFree(0);
    }

    // Plays one file to its end at the given volume; returns what was written.
    std::vector<float> PlayToEnd(const std::string& file, float volume = 1.0f) {
        EXPECT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
        HSTREAM s = api.StreamCreateFile(0, file.c_str(), 0, 0, 0);
        EXPECT_NE(s, 0u) << file;
        EndCounter ends;
        EXPECT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
        EXPECT_TRUE(api.ChannelSetAttribute(s, bass::BASS_ATTRIB_VOL, volume));
        EXPECT_TRUE(api.ChannelPlay(s, 0));
        EXPECT_TRUE(ends.WaitFor(1));
        EXPECT_TRUE(api.StreamFree(s));
        EXPECT_TRUE(api.Free());
        EXPECT_EQ(ends.Count(), 1);
        return ReadRaw(rawPath);
    }

    BassApi& api = BassApi::Get();
    TempDir tmp;
    fs::path rawPath;
};

struct ToneCase {
    const char* file;
    double freq;
    bool needsAddOn;
    double rms;  // of each channel
};

class BassFormats : public BassLibrary, public ::testing::WithParamInterface<ToneCase> {};

TEST_P(BassFormats, PlaysTheToneForItsLength) {
    const ToneCase& c = GetParam();
    if (c.needsAddOn) {
        ASSERT_NE(api.PluginLoad(LUMETRA_BASSWMA_SO, 0), 0u);
    }
    std::vector<float> out = PlayToEnd(DataFile(c.file));
    Span tone = Audible(out);
    // 0.5 s of tone, give or take a codec frame of padding or delay (WMA: 2048 samples).
    EXPECT_NEAR(tone.Frames() / 44100.0, 0.5, 0.05) << c.file;
    for (int ch = 0; ch < 2; ++ch) {
        std::vector<float> x = Channel(out, tone.first, tone.last, ch);
        EXPECT_EQ(Dominant(x, ToneCandidates()), c.freq) << c.file << " channel " << ch;
        EXPECT_NEAR(Rms(x), c.rms, 0.008) << c.file;
    }
}

INSTANTIATE_TEST_SUITE_P(Tones, BassFormats,
                         ::testing::Values(ToneCase{"tone440.mp3", 440, false, kMonoToneRms},
                                           ToneCase{"tone660.ogg", 660, false, kStereoToneRms},
                                           ToneCase{"tone880.wav", 880, false, kMonoToneRms},
                                           ToneCase{"tone550.wma", 550, true, kStereoToneRms}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             return n.substr(n.find('.') + 1);
                         });

TEST_F(BassLibrary, VolumeScalesTheSignal) {
    std::vector<float> full = PlayToEnd(DataFile("tone880.wav"), 1.0f);
    Span fs = Audible(full);
    double fullRms = Rms(Channel(full, fs.first, fs.last, 0));

    TempDir second;
    rawPath = UseDiskOutput(second.Path());
    std::vector<float> quarter = PlayToEnd(DataFile("tone880.wav"), 0.25f);
    Span qs = Audible(quarter, 0.0025f);
    double quarterRms = Rms(Channel(quarter, qs.first, qs.last, 0));
    ASSERT_GT(fullRms, 0.05);
    EXPECT_NEAR(quarterRms / fullRms, 0.25, 0.01);
}

TEST_F(BassLibrary, VolumeAttributeIsClampedAndReadBack) {
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    struct {
        float set, expect;
    } cases[] = {{0.5f, 0.5f}, {1.5f, 1.0f}, {-0.25f, 0.0f}, {0.0f, 0.0f}, {1.0f, 1.0f}, {NAN, 0.0f}};
    for (auto c : cases) {
        EXPECT_TRUE(api.ChannelSetAttribute(s, bass::BASS_ATTRIB_VOL, c.set));
        float got = -1;
        EXPECT_TRUE(api.ChannelGetAttribute(s, bass::BASS_ATTRIB_VOL, &got));
        EXPECT_EQ(got, c.expect) << c.set;
    }
    float v;
    EXPECT_FALSE(api.ChannelSetAttribute(s, 99, 0.5f));
    EXPECT_FALSE(api.ChannelGetAttribute(s, 99, &v));
}

// The player's way of chaining: inside the end callback the ended stream's sync is
// removed and the stream freed, and the next track is created and played.
struct Chain {
    BassApi* api;
    std::string next;
    HSTREAM first = 0;
    HSYNC firstSync = 0;
    HSTREAM second = 0;
    EndCounter ends;
    std::atomic<int> firstEnds{0};
    std::atomic<bool> chainedOk{false};
    std::thread::id callbackThread;
};

void ChainEnd(HSYNC sync, DWORD channel, DWORD, void* user) {
    auto* c = static_cast<Chain*>(user);
    if (channel == c->first) {
        c->firstEnds++;
        c->callbackThread = std::this_thread::get_id();
        bool ok = c->api->ChannelRemoveSync(channel, sync) && c->api->StreamFree(channel);
        c->second = c->api->StreamCreateFile(0, c->next.c_str(), 0, 0, 0);
        ok = ok && c->second != 0 && c->api->ChannelSetSync(c->second, bass::BASS_SYNC_END, 0, &ChainEnd, c) != 0 &&
             c->api->ChannelPlay(c->second, 0);
        c->chainedOk = ok;
    }
    c->ends.Hit();
}

TEST_F(BassLibrary, EndCallbackChainsTheNextTrack) {
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    Chain chain;
    chain.api = &api;
    chain.next = DataFile("tone660.ogg");
    chain.first = api.StreamCreateFile(0, DataFile("tone440.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(chain.first, 0u);
    chain.firstSync = api.ChannelSetSync(chain.first, bass::BASS_SYNC_END, 0, &ChainEnd, &chain);
    ASSERT_NE(chain.firstSync, 0u);
    ASSERT_TRUE(api.ChannelPlay(chain.first, 0));
    ASSERT_TRUE(chain.ends.WaitFor(2));
    EXPECT_TRUE(chain.chainedOk);
    EXPECT_EQ(chain.firstEnds, 1);
    EXPECT_NE(chain.callbackThread, std::this_thread::get_id());
    // The first stream is gone; the second ended and stays until freed.
    EXPECT_FALSE(api.ChannelPlay(chain.first, 0));
    EXPECT_TRUE(api.StreamFree(chain.second));
    ASSERT_TRUE(api.Free());
    EXPECT_EQ(chain.ends.Count(), 2);

    std::vector<float> out = ReadRaw(rawPath);
    Span all = Audible(out);
    ASSERT_GT(all.Frames(), 44100u * 9 / 10);
    // The first 0.4 s carry the first tone, the last 0.4 s the second.
    auto head = Channel(out, all.first, all.first + 17640, 0);
    auto tail = Channel(out, all.last - 17640, all.last, 0);
    EXPECT_EQ(Dominant(head, ToneCandidates()), 440);
    EXPECT_EQ(Dominant(tail, ToneCandidates()), 660);
}

TEST_F(BassLibrary, WmaNeedsTheAddOn) {
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    std::string wma = DataFile("tone550.wma");
    EXPECT_EQ(api.StreamCreateFile(0, wma.c_str(), 0, 0, 0), 0u);
    // Files that are not the add-on are refused.
    EXPECT_EQ(api.PluginLoad(DataFile("tone880.wav").c_str(), 0), 0u);
    EXPECT_EQ(api.PluginLoad(LUMETRA_BASS_SO, 0), 0u);
    EXPECT_EQ(api.PluginLoad((tmp.Path() / "missing.so").c_str(), 0), 0u);

    bass::HPLUGIN plugin = api.PluginLoad(LUMETRA_BASSWMA_SO, 0);
    ASSERT_NE(plugin, 0u);
    EXPECT_EQ(api.PluginLoad(LUMETRA_BASSWMA_SO, 0), plugin);
    HSTREAM s = api.StreamCreateFile(0, wma.c_str(), 0, 0, 0);
    EXPECT_NE(s, 0u);
    EXPECT_TRUE(api.StreamFree(s));

    EXPECT_TRUE(api.PluginFree(plugin));
    EXPECT_FALSE(api.PluginFree(plugin));
    EXPECT_EQ(api.StreamCreateFile(0, wma.c_str(), 0, 0, 0), 0u);
}

TEST_F(BassLibrary, UndecodableFilesGiveNoStreamAndNoCallback) {
    fs::path empty = tmp.Path() / "empty.mp3";
    std::ofstream(empty).close();
    fs::path text = tmp.Path() / "text.mp3";
    std::ofstream(text) << "not music at all, only a few words of text\n";
    fs::path noise = tmp.Path() / "noise.ogg";
    {
        std::ofstream out(noise, std::ios::binary);
        uint32_t x = 12345;
        for (int i = 0; i < 4096; ++i) {
            x = x * 1103515245u + 12345u;
            out.put(static_cast<char>(x >> 24));
        }
    }
    fs::path truncated = tmp.Path() / "cut.ogg";
    {
        std::ifstream in(DataFile("tone660.ogg"), std::ios::binary);
        std::vector<char> head(200);
        in.read(head.data(), head.size());
        std::ofstream(truncated, std::ios::binary).write(head.data(), head.size());
    }

    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    EndCounter ends;
    for (const fs::path& p : {tmp.Path() / "missing.wav", empty, text, noise, truncated}) {
        HSTREAM s = api.StreamCreateFile(0, p.c_str(), 0, 0, 0);
        EXPECT_EQ(s, 0u) << p;
        EXPECT_EQ(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
        EXPECT_FALSE(api.ChannelPlay(s, 0));
        EXPECT_FALSE(api.StreamFree(s));
    }
    // A real track played to its end in the meantime reports only its own end.
    HSTREAM good = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_NE(api.ChannelSetSync(good, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(api.ChannelPlay(good, 0));
    ASSERT_TRUE(ends.WaitFor(1));
    ASSERT_TRUE(api.Free());
    EXPECT_EQ(ends.Count(), 1);
}

TEST_F(BassLibrary, InitFreeAndStaleHandles) {
    EXPECT_EQ(api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0), 0u) << "not initialised";
    EXPECT_FALSE(api.Free());
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(api.Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(api.Init(5, 44100, 0, nullptr, nullptr));

    HSTREAM s = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    HSYNC sync = api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, nullptr);
    ASSERT_NE(sync, 0u);
    EXPECT_NE(sync, s);
    EXPECT_TRUE(api.ChannelRemoveSync(s, sync));
    EXPECT_FALSE(api.ChannelRemoveSync(s, sync));
    EXPECT_TRUE(api.StreamFree(s));

    // Every call on the freed handle fails harmlessly.
    float v;
    EXPECT_FALSE(api.StreamFree(s));
    EXPECT_FALSE(api.ChannelPlay(s, 0));
    EXPECT_FALSE(api.ChannelPause(s));
    EXPECT_FALSE(api.ChannelStop(s));
    EXPECT_FALSE(api.ChannelSetAttribute(s, bass::BASS_ATTRIB_VOL, 0.5f));
    EXPECT_FALSE(api.ChannelGetAttribute(s, bass::BASS_ATTRIB_VOL, &v));
    EXPECT_EQ(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, nullptr), 0u);
    EXPECT_EQ(api.ChannelGetLength(s, bass::BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_FALSE(api.ChannelSetPosition(s, 0, bass::BASS_POS_BYTE));
    EXPECT_LT(api.ChannelBytes2Seconds(s, 352800), 0.0);
    EXPECT_EQ(api.ChannelSeconds2Bytes(s, 1.0), static_cast<QWORD>(-1));

    // A new stream never gets an old handle back.
    HSTREAM t = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    EXPECT_NE(t, 0u);
    EXPECT_NE(t, s);
    EXPECT_TRUE(api.Free());
    EXPECT_FALSE(api.ChannelPlay(t, 0)) << "streams go with the library";
}

TEST_F(BassLibrary, LengthPositionAndConversions) {
    ASSERT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));  // device 0: no sound, the null output
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    QWORD len = api.ChannelGetLength(s, bass::BASS_POS_BYTE);
    EXPECT_NEAR(static_cast<double>(len), 0.5 * 352800, 8 * 64);
    EXPECT_EQ(len % 8, 0u);
    EXPECT_DOUBLE_EQ(api.ChannelBytes2Seconds(s, 352800), 1.0);
    EXPECT_EQ(api.ChannelSeconds2Bytes(s, 0.25), 88200u);
    EXPECT_EQ(api.ChannelGetLength(s, 1), static_cast<QWORD>(-1)) << "only byte positions";

    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), 0u);
    EXPECT_TRUE(api.ChannelSetPosition(s, 80000, bass::BASS_POS_BYTE));
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), 80000u);
    EXPECT_FALSE(api.ChannelSetPosition(s, len + 8, bass::BASS_POS_BYTE));
    EXPECT_FALSE(api.ChannelPause(s)) << "not playing";
}

TEST_F(BassLibrary, NullOutputPlaysInStepWithTime) {
    ASSERT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    QWORD len = api.ChannelGetLength(s, bass::BASS_POS_BYTE);
    EndCounter ends;
    ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    ASSERT_TRUE(ends.WaitFor(1));
    // The end cannot come before the track's length has passed.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(490));
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), len);
    EXPECT_NE(ends.threads[0], std::this_thread::get_id());

    // Played again from the start, it ends once more.
    ASSERT_TRUE(api.ChannelPlay(s, 1));
    ASSERT_TRUE(ends.WaitFor(2));
    EXPECT_EQ(ends.Count(), 2);
}

TEST_F(BassLibrary, StoppedOrPausedStreamsDoNotEnd) {
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    EndCounter ends;
    HSTREAM stopped = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    HSTREAM paused = api.StreamCreateFile(0, DataFile("tone660.ogg").c_str(), 0, 0, 0);
    HSTREAM marker = api.StreamCreateFile(0, DataFile("tone440.mp3").c_str(), 0, 0, 0);
    for (HSTREAM s : {stopped, paused, marker}) {
        ASSERT_NE(s, 0u);
        ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    }
    // The two that get stopped have a tenth of a second left, the marker its whole length:
    // had they gone on, they would have ended first.
    for (HSTREAM s : {stopped, paused})
        ASSERT_TRUE(api.ChannelSetPosition(s, api.ChannelGetLength(s, 0) - 35280, bass::BASS_POS_BYTE));
    for (HSTREAM s : {stopped, paused, marker}) ASSERT_TRUE(api.ChannelPlay(s, 0));
    EXPECT_TRUE(api.ChannelStop(stopped));
    EXPECT_TRUE(api.ChannelPause(paused));
    QWORD at = api.ChannelGetPosition(paused, bass::BASS_POS_BYTE);
    EXPECT_LT(at, api.ChannelGetLength(paused, bass::BASS_POS_BYTE));
    ASSERT_TRUE(ends.WaitFor(1));
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_EQ(api.ChannelGetPosition(paused, bass::BASS_POS_BYTE), at);
    // Resumed, the paused one plays its rest and ends.
    ASSERT_TRUE(api.ChannelPlay(paused, 0));
    ASSERT_TRUE(ends.WaitFor(2));
    EXPECT_EQ(api.ChannelGetPosition(paused, bass::BASS_POS_BYTE), api.ChannelGetLength(paused, bass::BASS_POS_BYTE));
    EXPECT_NE(api.ChannelGetPosition(stopped, bass::BASS_POS_BYTE), api.ChannelGetLength(stopped, bass::BASS_POS_BYTE));
}

// An end callback that holds on until the test lets it go.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool entered = false;
    bool open = false;
    std::atomic<int> order{0};
    int callbackLeft = 0;

    void Enter() {
        std::unique_lock lk(m);
        entered = true;
        cv.notify_all();
        cv.wait(lk, [&] { return open; });
        callbackLeft = ++order;
    }
    void WaitEntered() {
        std::unique_lock lk(m);
        cv.wait_for(lk, std::chrono::seconds(30), [&] { return entered; });
    }
    void Open() {
        std::lock_guard lk(m);
        open = true;
        cv.notify_all();
    }
};

void GateEnd(HSYNC, DWORD, DWORD, void* user) { static_cast<Gate*>(user)->Enter(); }

struct WaiterCase {
    const char* name;
    int which;  // 0 StreamFree, 1 ChannelRemoveSync, 2 BASS_Free
};

class BassWaits : public BassLibrary, public ::testing::WithParamInterface<WaiterCase> {};

TEST_P(BassWaits, CallFromAnotherThreadWaitsForTheCallbackInFlight) {
    ASSERT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    QWORD len = api.ChannelGetLength(s, bass::BASS_POS_BYTE);
    ASSERT_TRUE(api.ChannelSetPosition(s, len - 800, bass::BASS_POS_BYTE));  // a moment before the end
    Gate gate;
    HSYNC sync = api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &GateEnd, &gate);
    ASSERT_NE(sync, 0u);
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    gate.WaitEntered();
    ASSERT_TRUE(gate.entered);

    int callReturned = 0;
    BOOL result = 0;
    std::thread caller([&] {
        switch (GetParam().which) {
            case 0: result = api.StreamFree(s); break;
            case 1: result = api.ChannelRemoveSync(s, sync); break;
            default: result = api.Free(); break;
        }
        callReturned = ++gate.order;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.Open();
    caller.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(gate.callbackLeft, 1);
    EXPECT_EQ(callReturned, 2) << "the call returned before the callback did";
}

INSTANTIATE_TEST_SUITE_P(Calls, BassWaits,
                         ::testing::Values(WaiterCase{"StreamFree", 0}, WaiterCase{"RemoveSync", 1},
                                           WaiterCase{"Free", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FreeInside {
    BassApi* api;
    std::atomic<int> calls{0};
    std::atomic<BOOL> freed{0};
    std::atomic<bool> returned{false};
};

void FreeLibraryInside(HSYNC, DWORD, DWORD, void* user) {
    auto* f = static_cast<FreeInside*>(user);
    f->calls++;
    f->freed = f->api->Free();
    f->returned = true;
}

TEST_F(BassLibrary, FreeStopsEverythingWithoutCallbacksAndWorksFromInsideOne) {
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    EndCounter ends;
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone660.ogg").c_str(), 0, 0, 0);
    ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    ASSERT_TRUE(api.Free());
    EXPECT_EQ(ends.Count(), 0);

    // Unloading from inside an end callback: the library stops, and can start again.
    ASSERT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));
    FreeInside inside{&api};
    HSTREAM t = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    ASSERT_TRUE(api.ChannelSetPosition(t, api.ChannelGetLength(t, bass::BASS_POS_BYTE) - 80, bass::BASS_POS_BYTE));
    ASSERT_NE(api.ChannelSetSync(t, bass::BASS_SYNC_END, 0, &FreeLibraryInside, &inside), 0u);
    ASSERT_TRUE(api.ChannelPlay(t, 0));
    for (int i = 0; i < 3000 && !inside.returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(inside.calls, 1);
    EXPECT_TRUE(inside.freed);
    EXPECT_FALSE(api.ChannelPlay(t, 0));
    EXPECT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(api.Free());
}

TEST_F(BassLibrary, StreamsFromMemoryAndFileWindows) {
    ASSERT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));
    std::ifstream in(DataFile("tone880.wav"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    HSTREAM fromFile = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    HSTREAM fromMemory = api.StreamCreateFile(1, bytes.data(), 0, bytes.size(), 0);
    ASSERT_NE(fromFile, 0u);
    ASSERT_NE(fromMemory, 0u);
    EXPECT_EQ(api.ChannelGetLength(fromMemory, 0), api.ChannelGetLength(fromFile, 0));

    // The same file inside a bigger one, found by offset and length.
    fs::path wrapped = tmp.Path() / "wrapped.bin";
    {
        std::ofstream out(wrapped, std::ios::binary);
        std::string junk(1000, 'x');
        out << junk;
        out.write(bytes.data(), bytes.size());
        out << junk;
    }
    HSTREAM window = api.StreamCreateFile(0, wrapped.c_str(), 1000, bytes.size(), 0);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(api.ChannelGetLength(window, 0), api.ChannelGetLength(fromFile, 0));
    EXPECT_EQ(api.StreamCreateFile(1, bytes.data(), 0, 0, 0), 0u) << "memory needs a length";
    EXPECT_EQ(api.StreamCreateFile(0, wrapped.c_str(), 1u << 20, 0, 0), 0u) << "offset past the end";
}

// Streaming: tracks are decoded as they play, from files that stay open.

const std::vector<double> kEight{220, 330, 440, 550, 660, 880, 1100, 1320};

class BassStreaming : public BassLibrary {
protected:
    // Eight seconds, a tone of kEight each, as an MP3.
    fs::path EightTones() {
        fs::path wav = tmp.Path() / "eight.wav", mp3 = tmp.Path() / "eight.mp3";
        WriteWav(wav, 44100, 2, Tones(kEight, 1.0));
        EXPECT_TRUE(Ffmpeg("-i '" + wav.string() + "' -c:a libmp3lame -b:a 192k '" + mp3.string() + "'"));
        return mp3;
    }

    // Plays a stream to its end (and `more` ends after it, for streams played again).
    std::vector<float> PlayStream(HSTREAM s, int ends = 1, const std::function<void(EndCounter&)>& between = {}) {
        EndCounter counter;
        EXPECT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &counter), 0u);
        EXPECT_TRUE(api.ChannelPlay(s, 0));
        for (int i = 1; i <= ends; ++i) {
            EXPECT_TRUE(counter.WaitFor(i));
            if (between && i < ends) between(counter);
        }
        EXPECT_TRUE(api.StreamFree(s));
        EXPECT_TRUE(api.Free());
        return ReadRaw(rawPath);
    }
};

TEST_F(BassStreaming, ReadsTheFileAsItPlaysAndKeepsItOpen) {
    // Four seconds of 440 Hz; once the stream is open, the file's last 1.5 s become 880 Hz
    // and the file is deleted. A stream that decoded its file when it was opened would
    // play 440 Hz to the end.
    fs::path wav = tmp.Path() / "changing.wav";
    WriteWav(wav, 44100, 2, Tones({440, 440, 440, 440}, 1.0));
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, wav.c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    {
        std::vector<int16_t> tail = Tones({880}, 1.5);
        std::fstream f(wav, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(44 + static_cast<std::streamoff>(2.5 * 44100) * 4);
        f.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size() * 2));
    }
    fs::remove(wav);
    std::vector<float> out = PlayStream(s);
    EXPECT_NEAR(AudibleFrames(out) / 44100.0, 4.0, 0.01);
    EXPECT_EQ(ToneRuns(out, ToneCandidates()), (std::vector<double>{440, 880}));
}

TEST_F(BassStreaming, LongTrackPlaysWholeAndInOrder) {
    fs::path mp3 = EightTones();
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, mp3.c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    std::vector<float> out = PlayStream(s);
    EXPECT_NEAR(AudibleFrames(out) / 44100.0, 8.0, 0.05);
    EXPECT_EQ(ToneRuns(out, kEight), kEight);
}

TEST_F(BassStreaming, PlaysFromWhereItWasSentAndAgainFromTheStart) {
    fs::path mp3 = EightTones();
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, mp3.c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    ASSERT_TRUE(api.ChannelSetPosition(s, api.ChannelSeconds2Bytes(s, 5.0), bass::BASS_POS_BYTE));
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), api.ChannelSeconds2Bytes(s, 5.0));
    // Played from 5 s to the end, then from the start to the end.
    std::vector<float> out = PlayStream(s, 2, [&](EndCounter&) { ASSERT_TRUE(api.ChannelPlay(s, 1)); });
    EXPECT_NEAR(AudibleFrames(out) / 44100.0, 11.0, 0.1);
    EXPECT_EQ(ToneRuns(out, kEight), (std::vector<double>{880, 1100, 1320, 220, 330, 440, 550, 660, 880, 1100, 1320}));
}

TEST_F(BassStreaming, CompressedTrackLengthIsWhatPlays) {
    // The null output at real speed: the position at the end is the frames it took.
    ASSERT_TRUE(api.Init(0, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone440.mp3").c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    QWORD len = api.ChannelGetLength(s, bass::BASS_POS_BYTE);
    EXPECT_NEAR(api.ChannelBytes2Seconds(s, len), 0.5, 0.06);
    EXPECT_EQ(len % 8, 0u);
    // Beyond the end is refused; a tenth of a second before it plays that tenth.
    EXPECT_FALSE(api.ChannelSetPosition(s, len + 8, bass::BASS_POS_BYTE));
    ASSERT_TRUE(api.ChannelSetPosition(s, len - 35280, bass::BASS_POS_BYTE));
    EndCounter ends;
    ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    ASSERT_TRUE(ends.WaitFor(1));
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), len);
    // From the start, the whole track.
    ASSERT_TRUE(api.ChannelPlay(s, 1));
    ASSERT_TRUE(ends.WaitFor(2));
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), len);
    EXPECT_EQ(api.ChannelGetLength(s, bass::BASS_POS_BYTE), len);
}

TEST_F(BassStreaming, MemoryStreamKeepsItsOwnCopy) {
    std::ifstream in(DataFile("tone880.wav"), std::ios::binary);
    auto block =
        std::make_unique<std::vector<char>>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
    HSTREAM s = api.StreamCreateFile(1, block->data(), 0, block->size(), 0);
    ASSERT_NE(s, 0u);
    std::fill(block->begin(), block->end(), 0);
    block.reset();
    std::vector<float> out = PlayStream(s);
    Span tone = Audible(out);
    EXPECT_NEAR(tone.Frames() / 44100.0, 0.5, 0.01);
    EXPECT_EQ(Dominant(Channel(out, tone.first, tone.last, 0), ToneCandidates()), 880);
}

}  // namespace

namespace {

// Without a sound device: by default the null output takes over; an output asked for by
// name fails BASS_Init.
struct NoDeviceCase {
    const char* name;
    const char* lumetraAudio;  // nullptr: unset
    bool initOk;
};

class BassNoDevice : public BassLibrary, public ::testing::WithParamInterface<NoDeviceCase> {};

TEST_P(BassNoDevice, InitFollowsTheChosenOutput) {
    const NoDeviceCase& c = GetParam();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    if (c.lumetraAudio)
        setenv("LUMETRA_AUDIO", c.lumetraAudio, 1);
    else
        unsetenv("LUMETRA_AUDIO");
    BOOL ok = api.Init(-1, 44100, 0, nullptr, nullptr);
    unsetenv("LUMETRA_AUDIO");
    ASSERT_EQ(ok != 0, c.initOk);
    HSTREAM s = api.StreamCreateFile(0, DataFile("tone880.wav").c_str(), 0, 0, 0);
    if (!c.initOk) {
        EXPECT_EQ(s, 0u) << "nothing opens without the library initialised";
        return;
    }
    // The null output plays in real time: the last 20 ms end by themselves.
    ASSERT_NE(s, 0u);
    EndCounter ends;
    ASSERT_TRUE(api.ChannelSetPosition(s, api.ChannelGetLength(s, 0) - 7056, bass::BASS_POS_BYTE));
    ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    EXPECT_TRUE(ends.WaitFor(1));
}

INSTANTIATE_TEST_SUITE_P(Outputs, BassNoDevice,
                         ::testing::Values(NoDeviceCase{"Default", nullptr, true}, NoDeviceCase{"Null", "null", true},
                                           NoDeviceCase{"Sdl", "sdl", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
