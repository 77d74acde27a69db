// The audio library on the program's virtual clock: the null output plays in step with
// the clock, and an end falls due exactly when the track's length has passed.

#include <atomic>

#include "bass_fixture.h"
#include "platform/clock.h"

using namespace audio_test;
using bass::DWORD;
using bass::HSTREAM;
using bass::HSYNC;
using bass::QWORD;

namespace {

constexpr int64_t kMs = win::kTicksPerMs;

class BassVirtualClock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(api.module, nullptr);
        win::SetClockMode(win::ClockMode::Virtual);
        // The library looks the clock up in this executable.
        ASSERT_NE(dlsym(RTLD_DEFAULT, "lumetra_clock_schedule"), nullptr);
        setenv("LUMETRA_AUDIO", "sdl", 1);  // would fail without a device: virtual time needs none
        ASSERT_TRUE(api.Init(-1, 44100, 0, nullptr, nullptr));
        wav = DataFile("tone880.wav");
    }
    void TearDown() override {
        api.Free();
        unsetenv("LUMETRA_AUDIO");
        win::SetClockMode(win::ClockMode::Real);
    }

    BassApi& api = BassApi::Get();
    std::string wav;
};

TEST_F(BassVirtualClock, EndFallsDueAfterTheTracksLength) {
    HSTREAM s = api.StreamCreateFile(0, wav.c_str(), 0, 0, 0);
    ASSERT_NE(s, 0u);
    QWORD len = api.ChannelGetLength(s, bass::BASS_POS_BYTE);
    ASSERT_EQ(len, 22050u * 8);  // 0.5 s at 22050 Hz, resampled to 44100 Hz
    EndCounter ends;
    ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(api.ChannelPlay(s, 0));

    win::ClockAdvance(200 * kMs);
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), 8820u * 8);
    win::ClockAdvance(299 * kMs);
    EXPECT_EQ(ends.Count(), 0);
    // Advancing runs the end and waits for its callback.
    win::ClockAdvance(1 * kMs);
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_NE(ends.threads[0], std::this_thread::get_id());
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), len);
    win::ClockAdvance(2000 * kMs);
    EXPECT_EQ(ends.Count(), 1);
}

TEST_F(BassVirtualClock, PauseHoldsThePositionAndStopCancelsTheEnd) {
    HSTREAM s = api.StreamCreateFile(0, wav.c_str(), 0, 0, 0);
    EndCounter ends;
    ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    win::ClockAdvance(100 * kMs);
    ASSERT_TRUE(api.ChannelPause(s));
    win::ClockAdvance(1000 * kMs);
    EXPECT_EQ(ends.Count(), 0);
    EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), 4410u * 8);
    ASSERT_TRUE(api.ChannelPlay(s, 0));
    win::ClockAdvance(399 * kMs);
    EXPECT_EQ(ends.Count(), 0);
    win::ClockAdvance(1 * kMs);
    EXPECT_EQ(ends.Count(), 1);

    ASSERT_TRUE(api.ChannelPlay(s, 1));
    win::ClockAdvance(250 * kMs);
    ASSERT_TRUE(api.ChannelStop(s));
    win::ClockAdvance(1000 * kMs);
    EXPECT_EQ(ends.Count(), 1);
}

TEST_F(BassVirtualClock, CompressedTrackEndsWhenItsCountedLengthHasPassed) {
    // No length in the file's header: the stream is counted when it is created, so the
    // end is an event at a known time.
    for (const char* name : {"tone440.mp3", "tone660.ogg"}) {
        HSTREAM s = api.StreamCreateFile(0, DataFile(name).c_str(), 0, 0, 0);
        ASSERT_NE(s, 0u) << name;
        QWORD len = api.ChannelGetLength(s, bass::BASS_POS_BYTE);
        uint64_t frames = len / 8;
        EXPECT_NEAR(frames / 44100.0, 0.5, 0.06) << name;
        int64_t due = static_cast<int64_t>((frames * 10'000'000 + 44099) / 44100);  // 100 ns ticks, rounded up
        EndCounter ends;
        ASSERT_NE(api.ChannelSetSync(s, bass::BASS_SYNC_END, 0, &CountEnd, &ends), 0u);
        ASSERT_TRUE(api.ChannelPlay(s, 0));
        win::ClockAdvance(due - 1);
        EXPECT_EQ(ends.Count(), 0) << name;
        EXPECT_LT(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), len);
        win::ClockAdvance(1);
        EXPECT_EQ(ends.Count(), 1) << name;
        EXPECT_EQ(api.ChannelGetPosition(s, bass::BASS_POS_BYTE), len);
        EXPECT_TRUE(api.StreamFree(s));
    }
}

struct VirtualChain {
    BassApi* api;
    std::string next;
    HSTREAM first = 0;
    HSTREAM second = 0;
    std::atomic<int> firstEnds{0};
    std::atomic<int> secondEnds{0};
    int64_t firstEndAt = 0;
    int64_t secondEndAt = 0;
};

void VirtualChainEnd(HSYNC sync, DWORD channel, DWORD, void* user) {
    auto* c = static_cast<VirtualChain*>(user);
    if (channel == c->first) {
        c->firstEnds++;
        c->firstEndAt = win::ClockNowTicks();
        c->api->ChannelRemoveSync(channel, sync);
        c->api->StreamFree(channel);
        c->second = c->api->StreamCreateFile(0, c->next.c_str(), 0, 0, 0);
        c->api->ChannelSetSync(c->second, bass::BASS_SYNC_END, 0, &VirtualChainEnd, c);
        c->api->ChannelPlay(c->second, 0);
    } else if (channel == c->second) {
        c->secondEnds++;
        c->secondEndAt = win::ClockNowTicks();
    }
}

TEST_F(BassVirtualClock, TracksChainBackToBack) {
    VirtualChain chain{&api, wav};
    chain.first = api.StreamCreateFile(0, wav.c_str(), 0, 0, 0);
    ASSERT_NE(api.ChannelSetSync(chain.first, bass::BASS_SYNC_END, 0, &VirtualChainEnd, &chain), 0u);
    int64_t start = win::ClockNowTicks();
    ASSERT_TRUE(api.ChannelPlay(chain.first, 0));
    win::Sleep(5000);
    EXPECT_EQ(chain.firstEnds, 1);
    EXPECT_EQ(chain.secondEnds, 1);
    EXPECT_EQ(chain.firstEndAt - start, 500 * kMs);
    EXPECT_EQ(chain.secondEndAt - start, 1000 * kMs);
}

}  // namespace
