// Starting a music track in the audio library: time to first sound and peak memory, for a
// 10 s and a 10 min MP3 track made on the spot with ffmpeg, against a plain memory copy
// of the same track's bytes in the same run.
//
// Each measurement runs in a child process of its own, so that its peak memory is its
// own: the child loads the library, opens SDL's disk output into the run's folder, resets
// its resident high-water mark, then opens and plays the track and watches the output
// file for the first sample that is not silence. It plays on for a moment and reports the
// rise of the high-water mark over what it held before the track. The peer reads the
// track file into memory and copies it once.
//
// Run: bench_audio_streaming. LUMETRA_BENCH_BASS_SO names another build of the library to
// measure instead (for comparing two builds). Counters: peak_MiB (rise of the resident
// high-water mark), create_ms (BASS_StreamCreateFile alone), create_cpu_ms (the processor
// time it took on the calling thread, which a busy machine changes less), track_MiB (the
// file's size).
// The iteration time is the time to first sound (manual time).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/bass/bass.h"

namespace {

using Clock = std::chrono::steady_clock;

// The run's private folder and the files in it, removed at every exit; fixed buffers, so
// that the signal handler needs no allocation.
char gDir[256];
char gFiles[8][320];
int gFileCount = 0;
volatile pid_t gChild = 0;

void RemoveRunFiles() {
    if (gChild > 0) ::kill(gChild, SIGKILL);
    for (int i = 0; i < gFileCount; ++i) ::unlink(gFiles[i]);
    if (gDir[0]) ::rmdir(gDir);
}

void OnSignal(int sig) {
    RemoveRunFiles();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

const char* RunFile(const char* name) {
    char* slot = gFiles[gFileCount++];
    std::snprintf(slot, sizeof gFiles[0], "%s/%s", gDir, name);
    return slot;
}

bool MakeRunFolder() {
    std::snprintf(gDir, sizeof gDir, "%s/lumetra-bench-audio-XXXXXX",
                  std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    if (!::mkdtemp(gDir)) {
        gDir[0] = 0;
        return false;
    }
    std::atexit(RemoveRunFiles);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, OnSignal);
    return true;
}

struct Track {
    const char* path = nullptr;
    double seconds = 0;
    double mib = 0;
};

// Two tones a fifth apart, stereo, 44100 Hz, 192 kbit/s.
Track MakeTrack(const char* name, int seconds) {
    Track t;
    t.path = RunFile(name);
    t.seconds = seconds;
    std::string d = std::to_string(seconds);
    std::string cmd = "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + d +
                      " -f lavfi -i sine=frequency=660:sample_rate=44100:duration=" + d +
                      " -filter_complex amerge=inputs=2 -ac 2 -c:a libmp3lame -b:a 192k '" + t.path + "'";
    if (std::system(cmd.c_str()) != 0) return Track{};
    struct stat st;
    if (::stat(t.path, &st) != 0) return Track{};
    t.mib = static_cast<double>(st.st_size) / (1 << 20);
    return t;
}

struct Tracks {
    bool ok = false;
    Track shortTrack, longTrack;
    const char* raw = nullptr;
    Tracks() {
        if (!MakeRunFolder()) return;
        raw = RunFile("out.raw");
        shortTrack = MakeTrack("short.mp3", 10);
        longTrack = MakeTrack("long.mp3", 600);
        ok = shortTrack.path && longTrack.path;
    }
};

Tracks& Run() {
    static Tracks t;
    return t;
}

long StatusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Resets the resident high-water mark to what is resident now.
bool ResetPeak() {
    int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return false;
    bool ok = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return ok;
}

struct Result {
    double firstSound = -1;  // seconds
    double create = -1;      // seconds
    double createCpu = -1;   // seconds of the calling thread's processor time
    double peakMiB = -1;
};

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <class T>
T* Entry(void* module, const char* name) {
    return reinterpret_cast<T*>(dlsym(module, name));
}

// In the child: opens and plays the track through the library, as the player does.
Result PlayInChild(const char* lib, const char* track, const char* raw) {
    Result r;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw, 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
    unsetenv("LUMETRA_AUDIO");
    void* m = dlopen(lib, RTLD_NOW | RTLD_LOCAL);
    if (!m) return r;
    auto* init = Entry<bass::BASS_Init_PROC>(m, "BASS_Init");
    auto* create = Entry<bass::BASS_StreamCreateFile_PROC>(m, "BASS_StreamCreateFile");
    auto* play = Entry<bass::BASS_ChannelPlay_PROC>(m, "BASS_ChannelPlay");
    auto* release = Entry<bass::BASS_StreamFree_PROC>(m, "BASS_StreamFree");
    auto* shut = Entry<bass::BASS_Free_PROC>(m, "BASS_Free");
    if (!init || !create || !play || !release || !shut || !init(-1, 44100, 0, nullptr, nullptr)) return r;
    int out = ::open(raw, O_RDONLY);
    if (out < 0) return r;

    long before = StatusKiB("VmRSS:");
    if (!ResetPeak()) return r;
    off_t scanned = ::lseek(out, 0, SEEK_END);
    double cpu0 = ThreadCpuSeconds();
    auto t0 = Clock::now();
    bass::HSTREAM h = create(0, track, 0, 0, 0);
    auto t1 = Clock::now();
    double cpu1 = ThreadCpuSeconds();
    if (!h || !play(h, 0)) return r;
    std::vector<float> buf(4096);
    bool heard = false;
    while (!heard && Clock::now() - t0 < std::chrono::seconds(60)) {
        ssize_t got = ::pread(out, buf.data(), buf.size() * sizeof(float), scanned);
        if (got <= 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        size_t floats = static_cast<size_t>(got) / sizeof(float);
        scanned += static_cast<off_t>(floats * sizeof(float));
        for (size_t i = 0; i < floats && !heard; ++i) heard = buf[i] != 0.0f;
    }
    auto t2 = Clock::now();
    // A moment of steady playing: the decoder's buffers are all in use.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long peak = StatusKiB("VmHWM:");
    release(h);
    shut();
    ::close(out);
    if (!heard) return r;
    r.create = std::chrono::duration<double>(t1 - t0).count();
    r.createCpu = cpu1 - cpu0;
    r.firstSound = std::chrono::duration<double>(t2 - t0).count();
    r.peakMiB = static_cast<double>(peak - before) / 1024.0;
    return r;
}

// In the child: the track's bytes read into memory and copied once.
Result CopyInChild(const char* track) {
    Result r;
    long before = StatusKiB("VmRSS:");
    if (!ResetPeak()) return r;
    auto t0 = Clock::now();
    int fd = ::open(track, O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) return r;
    std::vector<char> bytes(static_cast<size_t>(st.st_size));
    bool whole = ::read(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!whole) return r;
    std::vector<char> copy(bytes.size());
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    auto t1 = Clock::now();
    long peak = StatusKiB("VmHWM:");
    r.create = r.firstSound = std::chrono::duration<double>(t1 - t0).count();
    r.createCpu = 0;
    r.peakMiB = static_cast<double>(peak - before) / 1024.0;
    return r;
}

template <class Fn>
Result InChild(Fn fn) {
    int fds[2];
    if (::pipe(fds) != 0) return Result{};
    pid_t pid = ::fork();
    if (pid == 0) {
        // The run's folder is the parent's to remove.
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
        ::close(fds[0]);
        Result r = fn();
        ssize_t w = ::write(fds[1], &r, sizeof r);
        _exit(w == sizeof r ? 0 : 1);
    }
    ::close(fds[1]);
    gChild = pid;
    Result r;
    ssize_t got = pid > 0 ? ::read(fds[0], &r, sizeof r) : -1;
    ::close(fds[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    gChild = 0;
    return got == sizeof r ? r : Result{};
}

const char* Library() {
    const char* other = std::getenv("LUMETRA_BENCH_BASS_SO");
    return other && *other ? other : LUMETRA_BASS_SO;
}

Result MeasurePlay(const Track& t) {
    Result r = InChild([&] { return PlayInChild(Library(), t.path, Run().raw); });
    ::unlink(Run().raw);
    return r;
}

Result MeasureCopy(const Track& t) {
    return InChild([&] { return CopyInChild(t.path); });
}

void Report(benchmark::State& state, const Track& t, Result (*measure)(const Track&)) {
    if (!Run().ok || !t.path) {
        state.SkipWithError("cannot make the tracks (is ffmpeg installed?)");
        return;
    }
    double peak = 0, create = 0, createCpu = 0;
    for (auto _ : state) {
        Result r = measure(t);
        if (r.firstSound < 0) {
            state.SkipWithError("the measurement failed");
            return;
        }
        state.SetIterationTime(r.firstSound);
        peak += r.peakMiB;
        create += r.create * 1000;
        createCpu += r.createCpu * 1000;
    }
    state.counters["peak_MiB"] = benchmark::Counter(peak, benchmark::Counter::kAvgIterations);
    state.counters["create_ms"] = benchmark::Counter(create, benchmark::Counter::kAvgIterations);
    state.counters["create_cpu_ms"] = benchmark::Counter(createCpu, benchmark::Counter::kAvgIterations);
    state.counters["track_MiB"] = t.mib;
}

void BM_FirstSound_10s(benchmark::State& s) { Report(s, Run().shortTrack, MeasurePlay); }
void BM_FirstSound_10min(benchmark::State& s) { Report(s, Run().longTrack, MeasurePlay); }
void BM_MemoryCopy_10s(benchmark::State& s) { Report(s, Run().shortTrack, MeasureCopy); }
void BM_MemoryCopy_10min(benchmark::State& s) { Report(s, Run().longTrack, MeasureCopy); }

BENCHMARK(BM_FirstSound_10s)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryCopy_10s)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstSound_10min)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryCopy_10min)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
