// The audio suite's support units (the memory copy bound from the processor's features,
// the tag tables, the suite-wide lock) and what the suite's start-up declares of its
// components.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio/BassPlayer.h"
#include "audio/auClasses.h"
#include "audio/auProcs.h"
#include "audio/auStartup.h"
#include "audio/auTags.h"
#include "audio/auTimers.h"
#include "classlib/TypInfo.h"
#include "platform/kernel.h"

namespace {

TEST(auProcs, SseCopyEqualsThePlainCopy) {
    std::vector<uint8_t> src(300), plain(300), sse(300);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
    // Every pairing of alignments within 16 bytes, with sizes around the block size.
    for (size_t dOff = 0; dOff < 16; ++dOff) {
        for (size_t sOff = 0; sOff < 16; sOff += 3) {
            for (size_t n : {0, 1, 2, 3, 5, 15, 16, 17, 31, 33, 64, 100, 250}) {
                std::fill(plain.begin(), plain.end(), 0xEE);
                std::fill(sse.begin(), sse.end(), 0xEE);
                audio::auMemoryCopyPlain(plain.data() + dOff, src.data() + sOff, n);
                audio::auMemoryCopySSE(sse.data() + dOff, src.data() + sOff, n);
                ASSERT_EQ(plain, sse) << "dest+" << dOff << " src+" << sOff << " n=" << n;
            }
        }
    }
}

TEST(auProcs, BindsTheCopyFromTheSseFlag) {
    struct {
        uint32_t edx;
        audio::TMemoryCopyProc expect;
    } cases[] = {
        {1u << 25, &audio::auMemoryCopySSE}, {0, &audio::auMemoryCopyPlain}, {~(1u << 25), &audio::auMemoryCopyPlain}};
    for (auto c : cases) {
        win::SetCpuidHook([&](uint32_t leaf, uint32_t) {
            win::CpuidRegs r;
            if (leaf == 1) r.edx = c.edx;
            return r;
        });
        audio::auProcs_Initialization();
        EXPECT_EQ(audio::auMemoryCopy, c.expect) << std::hex << c.edx;
    }
    win::SetCpuidHook(nullptr);
    audio::auProcs_Initialization();
}

TEST(auTags, Tables) {
    EXPECT_STREQ(audio::ID3Genres[0], "Blues");
    EXPECT_STREQ(audio::ID3Genres[79], "Hard Rock");
    EXPECT_STREQ(audio::ID3Genres[80], "Folk");
    EXPECT_STREQ(audio::ID3Genres[147], "Synthpop");
    std::set<std::string> genres(audio::ID3Genres.begin(), audio::ID3Genres.end());
    EXPECT_EQ(genres.size(), 148u) << "no name twice";
    for (int i = 0; i < audio::kID3v2FrameCount; ++i) {
        // Each 2.3 id is a four-letter form of the 2.2 id at the same place.
        EXPECT_EQ(std::strlen(audio::ID3v2Frames[0][i]), 3u);
        EXPECT_EQ(std::strlen(audio::ID3v2Frames[1][i]), 4u);
        EXPECT_EQ(audio::ID3v2Frames[0][i][0], audio::ID3v2Frames[1][i][0]);
    }
    EXPECT_STREQ(audio::ID3v2Frames[0][3], "TT2");
    EXPECT_STREQ(audio::ID3v2Frames[1][3], "TIT2");
    EXPECT_STREQ(audio::CommentKeys[0], "album");
    EXPECT_STREQ(audio::CommentKeys[11], "replaygain_album_peak");
}

TEST(auClasses, StartupMakesTheLockAndShutdownFreesIt) {
    audio::auSuiteCounter = 5;
    audio::StartupAudio();
    ASSERT_NE(audio::auSuiteLock, nullptr);
    EXPECT_EQ(audio::auSuiteCounter, 0);
    win::EnterCriticalSection(audio::auSuiteLock);
    win::EnterCriticalSection(audio::auSuiteLock);  // re-entrant
    win::LeaveCriticalSection(audio::auSuiteLock);
    win::LeaveCriticalSection(audio::auSuiteLock);
    audio::ShutdownAudio();
    EXPECT_EQ(audio::auSuiteLock, nullptr);
    audio::ShutdownAudio();  // twice is harmless
}

}  // namespace

namespace {

TEST(AudioComponents, PublishedPropertiesAndVirtualConstructors) {
    audio::StartupAudio();
    audio::StartupAudio();  // declares once
    std::unique_ptr<cl::TComponent> player(audio::TBassPlayer::StaticClass().Create(nullptr));
    std::unique_ptr<cl::TComponent> timer(audio::TAudioHiResTimer::StaticClass().Create(nullptr));
    ASSERT_STREQ(player->ClassName(), "TBassPlayer");
    ASSERT_STREQ(timer->ClassName(), "TAudioHiResTimer");

    cl::SetStrProp(player.get(), "filename", "/tmp/track.mp3");
    EXPECT_EQ(static_cast<audio::TBassPlayer*>(player.get())->GetFileName(), "/tmp/track.mp3");
    EXPECT_EQ(cl::GetStrProp(player.get(), "BassLibrary"), "bass.dll");
    cl::SetStrProp(player.get(), "BassWMALibrary", "/tmp/BassWma.dll");
    EXPECT_EQ(static_cast<audio::TBassPlayer*>(player.get())->BassWMALibrary, "/tmp/BassWma.dll");
    EXPECT_TRUE(cl::IsPublishedProp(player.get(), "OnEndPlaying"));
    EXPECT_FALSE(cl::IsPublishedProp(player.get(), "Stream"));

    cl::SetOrdProp(timer.get(), "Interval", 50);
    cl::SetOrdProp(timer.get(), "Resolution", 5);
    cl::SetEnumProp(timer.get(), "FireOnce", "True");
    auto* t = static_cast<audio::TAudioHiResTimer*>(timer.get());
    EXPECT_EQ(t->Interval, 50);
    EXPECT_EQ(t->Resolution, 5);
    EXPECT_TRUE(t->FireOnce);
    EXPECT_TRUE(cl::IsPublishedProp(timer.get(), "OnTimer"));
    audio::ShutdownAudio();
}

}  // namespace
