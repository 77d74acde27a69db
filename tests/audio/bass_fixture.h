// Shared helpers of the audio tests: the audio library loaded with dlopen, SDL's disk
// output redirected into a temporary folder, and the analysis of what was played.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../common/private_dir.h"
#include "platform/bass/bass.h"

namespace audio_test {

namespace fs = std::filesystem;

inline std::string DataFile(const std::string& name) { return std::string(LUMETRA_TEST_DATA) + "/" + name; }

// Writes a 16-bit PCM WAV file of interleaved samples.
inline void WriteWav(const fs::path& path, uint32_t rate, uint16_t channels, const std::vector<int16_t>& samples) {
    auto le = [](std::string& b, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    std::string h = "RIFF";
    le(h, 36 + data, 4);
    h += "WAVEfmt ";
    le(h, 16, 4);
    le(h, 1, 2);
    le(h, channels, 2);
    le(h, rate, 4);
    le(h, rate * channels * 2u, 4);
    le(h, channels * 2u, 2);
    le(h, 16, 2);
    h += "data";
    le(h, data, 4);
    std::ofstream out(path, std::ios::binary);
    out.write(h.data(), static_cast<std::streamsize>(h.size()));
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(data));
}

// Stereo 16-bit sine tones, one after another, each `seconds` long, at amplitude 1/8.
inline std::vector<int16_t> Tones(const std::vector<double>& freqs, double seconds, uint32_t rate = 44100) {
    std::vector<int16_t> s;
    size_t per = static_cast<size_t>(seconds * rate);
    for (double f : freqs)
        for (size_t i = 0; i < per; ++i) {
            auto v = static_cast<int16_t>(4096.0 * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate));
            s.push_back(v);
            s.push_back(v);
        }
    return s;
}

// Runs ffmpeg quietly with the given arguments; true when it succeeded.
inline bool Ffmpeg(const std::string& args) {
    return std::system(("ffmpeg -nostdin -loglevel error -y " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// The 18 entry points, resolved by name from a loaded library.
struct BassApi {
    void* module = nullptr;
    bass::BASS_Init_PROC* Init = nullptr;
    bass::BASS_Free_PROC* Free = nullptr;
    bass::BASS_PluginLoad_PROC* PluginLoad = nullptr;
    bass::BASS_PluginFree_PROC* PluginFree = nullptr;
    bass::BASS_StreamCreateFile_PROC* StreamCreateFile = nullptr;
    bass::BASS_StreamFree_PROC* StreamFree = nullptr;
    bass::BASS_ChannelPlay_PROC* ChannelPlay = nullptr;
    bass::BASS_ChannelPause_PROC* ChannelPause = nullptr;
    bass::BASS_ChannelStop_PROC* ChannelStop = nullptr;
    bass::BASS_ChannelSetSync_PROC* ChannelSetSync = nullptr;
    bass::BASS_ChannelRemoveSync_PROC* ChannelRemoveSync = nullptr;
    bass::BASS_ChannelGetPosition_PROC* ChannelGetPosition = nullptr;
    bass::BASS_ChannelSetPosition_PROC* ChannelSetPosition = nullptr;
    bass::BASS_ChannelGetLength_PROC* ChannelGetLength = nullptr;
    bass::BASS_ChannelBytes2Seconds_PROC* ChannelBytes2Seconds = nullptr;
    bass::BASS_ChannelSeconds2Bytes_PROC* ChannelSeconds2Bytes = nullptr;
    bass::BASS_ChannelGetAttribute_PROC* ChannelGetAttribute = nullptr;
    bass::BASS_ChannelSetAttribute_PROC* ChannelSetAttribute = nullptr;

    // Loaded once per process: the library keeps its state between tests, as it would
    // in the player between shows.
    static BassApi& Get() {
        static BassApi api = Load();
        return api;
    }

private:
    template <typename T>
    static void Resolve(void* module, T*& fn, const char* name) {
        fn = reinterpret_cast<T*>(dlsym(module, name));
    }

    static BassApi Load() {
        BassApi a;
        a.module = dlopen(LUMETRA_BASS_SO, RTLD_NOW | RTLD_LOCAL);
        if (!a.module) return a;
        Resolve(a.module, a.Init, "BASS_Init");
        Resolve(a.module, a.Free, "BASS_Free");
        Resolve(a.module, a.PluginLoad, "BASS_PluginLoad");
        Resolve(a.module, a.PluginFree, "BASS_PluginFree");
        Resolve(a.module, a.StreamCreateFile, "BASS_StreamCreateFile");
        Resolve(a.module, a.StreamFree, "BASS_StreamFree");
        Resolve(a.module, a.ChannelPlay, "BASS_ChannelPlay");
        Resolve(a.module, a.ChannelPause, "BASS_ChannelPause");
        Resolve(a.module, a.ChannelStop, "BASS_ChannelStop");
        Resolve(a.module, a.ChannelSetSync, "BASS_ChannelSetSync");
        Resolve(a.module, a.ChannelRemoveSync, "BASS_ChannelRemoveSync");
        Resolve(a.module, a.ChannelGetPosition, "BASS_ChannelGetPosition");
        Resolve(a.module, a.ChannelSetPosition, "BASS_ChannelSetPosition");
        Resolve(a.module, a.ChannelGetLength, "BASS_ChannelGetLength");
        Resolve(a.module, a.ChannelBytes2Seconds, "BASS_ChannelBytes2Seconds");
        Resolve(a.module, a.ChannelSeconds2Bytes, "BASS_ChannelSeconds2Bytes");
        Resolve(a.module, a.ChannelGetAttribute, "BASS_ChannelGetAttribute");
        Resolve(a.module, a.ChannelSetAttribute, "BASS_ChannelSetAttribute");
        return a;
    }
};

// A private temporary folder (SDL's disk output writes into it).
class TempDir : public lumetra_test::PrivateDir {
public:
    TempDir() : PrivateDir("lumetra_audio") {}
};

// Counts end callbacks and lets a test wait for them (the wait is a guard against a hang,
// not a measure of speed).
struct EndCounter {
    std::mutex m;
    std::condition_variable cv;
    int count = 0;
    std::vector<std::thread::id> threads;

    void Hit() {
        std::lock_guard lk(m);
        ++count;
        threads.push_back(std::this_thread::get_id());
        cv.notify_all();
    }
    bool WaitFor(int n, std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::unique_lock lk(m);
        return cv.wait_for(lk, limit, [&] { return count >= n; });
    }
    int Count() {
        std::lock_guard lk(m);
        return count;
    }
};

inline void CountEnd(bass::HSYNC, bass::DWORD, bass::DWORD, void* user) { static_cast<EndCounter*>(user)->Hit(); }

// Interleaved stereo float samples as SDL's disk output wrote them.
inline std::vector<float> ReadRaw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

// One channel of a frame range.
inline std::vector<float> Channel(const std::vector<float>& stereo, size_t first, size_t last, int channel) {
    std::vector<float> out;
    for (size_t f = first; f < last && f * 2 + 1 < stereo.size(); ++f) out.push_back(stereo[f * 2 + channel]);
    return out;
}

// Frames [first, last) between the first and the last sample above the threshold.
struct Span {
    size_t first = 0;
    size_t last = 0;
    size_t Frames() const { return last - first; }
};
inline Span Audible(const std::vector<float>& stereo, float threshold = 0.01f) {
    Span s;
    size_t frames = stereo.size() / 2;
    bool found = false;
    for (size_t f = 0; f < frames; ++f) {
        if (std::fabs(stereo[f * 2]) > threshold || std::fabs(stereo[f * 2 + 1]) > threshold) {
            if (!found) s.first = f;
            found = true;
            s.last = f + 1;
        }
    }
    return s;
}

// Signal power at one frequency (Goertzel filter), normalised by the length.
inline double Goertzel(const std::vector<float>& x, double freq, double rate = 44100.0) {
    double w = 2.0 * M_PI * freq / rate;
    double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return x.empty() ? 0.0 : power / (static_cast<double>(x.size()) * x.size());
}

// The frequency among `candidates` with the most power.
inline double Dominant(const std::vector<float>& x, const std::vector<double>& candidates) {
    double best = 0, bestPower = -1;
    for (double f : candidates) {
        double p = Goertzel(x, f);
        if (p > bestPower) {
            bestPower = p;
            best = f;
        }
    }
    return best;
}

inline double Rms(const std::vector<float>& x) {
    double sum = 0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return x.empty() ? 0.0 : std::sqrt(sum / x.size());
}

// Per-channel RMS of the fixtures: lavfi's sine has amplitude 1/8; the stereo files were
// made from it at -3 dB per side, mono ones play at full level on both sides.
inline constexpr double kMonoToneRms = 0.125 / 1.41421356;
inline constexpr double kStereoToneRms = kMonoToneRms / 1.41421356;

// Candidate frequencies: the fixtures' tones and neighbours that a wrong rate would give.
inline const std::vector<double>& ToneCandidates() {
    static const std::vector<double> c{220, 330, 400, 440, 480, 550, 600, 660, 720, 800, 880, 960, 1100, 1320, 1760};
    return c;
}

// The tones heard in a stretch of output, in order: the dominant frequency of each 50 ms
// block that is not silent, runs of one frequency taken once. Silence in between (an
// output that ran ahead of the decoder) does not change the sequence.
inline std::vector<double> ToneRuns(const std::vector<float>& out, const std::vector<double>& candidates) {
    constexpr size_t kBlock = 2205;
    std::vector<double> runs;
    double last = 0;
    int length = 0;
    for (size_t f = 0; f + kBlock <= out.size() / 2; f += kBlock) {
        std::vector<float> left = Channel(out, f, f + kBlock, 0);
        if (Rms(left) < 0.02) continue;
        double tone = Dominant(left, candidates);
        if (tone == last) {
            if (++length == 2) runs.push_back(tone);  // a single block may straddle two tones
        } else {
            last = tone;
            length = 1;
        }
    }
    return runs;
}

// Frames of the output that carry sound, counted in 10 ms blocks.
inline size_t AudibleFrames(const std::vector<float>& out) {
    constexpr size_t kBlock = 441;
    size_t n = 0;
    for (size_t f = 0; f + kBlock <= out.size() / 2; f += kBlock)
        if (Rms(Channel(out, f, f + kBlock, 0)) > 0.02) n += kBlock;
    return n;
}

// Points SDL's disk output at a file in `dir` and paces it a few times faster than real
// time (SDL_DISKAUDIODELAY in ms per 1024-frame buffer).
inline fs::path UseDiskOutput(const fs::path& dir, const char* name = "out.raw") {
    fs::path out = dir / name;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "4", 1);
    unsetenv("LUMETRA_AUDIO");
    return out;
}

}  // namespace audio_test
