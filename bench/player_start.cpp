// The player as a user meets it, as whole processes: a show of one 4000 x 3000 slide (the
// photograph of bench_photo.h, about 3 MB) with a music track, packed by lumetra-pack and
// started as the screensaver ("/s") on a 1920 x 1080 screen, headless and on the SDL backend
// under an Xvfb of its own.
//
// BM_FirstPicture: from exec to the first present that shows the slide (the display's
// LUMETRA_FIRST_LIGHT watch on a point of the slide beside the loading window), in turns
// with a whole djpeg process decoding the same JPEG file; counters first_ms, djpeg_ms and
// x_djpeg (medians). BM_StandingSlide: the processor time of every thread of the player
// (from /proc) over 10 s of the slide standing with the music playing, once the volume fade
// is over; counter cpu_percent (of one core).
// Run: bench_player_start
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_folder.h"
#include "bench_photo.h"
#include "bench_show.h"
#include "xvfb_desktop.h"

extern char** environ;

namespace {

constexpr int kSrcW = 4000, kSrcH = 3000;
// A point of the fitted slide (1440 x 1080 from x = 240) left and right of the loading
// window, which stands in the middle of the screen.
constexpr int kProbeX = 300, kProbeY = 540;

double MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// 16-bit stereo PCM at 44100 Hz: a soft tone of `seconds`.
void WriteWav(const std::string& path, int seconds) {
    const uint32_t rate = 44100, frames = rate * static_cast<uint32_t>(seconds);
    const uint32_t data = frames * 4;
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + data);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    f.write("data", 4);
    u32(data);
    std::vector<int16_t> buf(static_cast<size_t>(rate) * 2);
    for (uint32_t done = 0; done < frames; done += rate) {
        for (uint32_t i = 0; i < rate; ++i) {
            const double t = static_cast<double>(done + i) / rate;
            const auto v = static_cast<int16_t>(3000 * std::sin(2 * 3.14159265358979 * 440 * t));
            buf[2 * i] = buf[2 * i + 1] = v;
        }
        f.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(buf.size() * 2));
    }
}

// The processor time of every thread of a process so far, in seconds.
double ProcessCpuSeconds(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    double ns = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream s(dir + "/" + e->d_name + "/schedstat");
            double run = 0;
            if (s >> run) ns += run;
        }
        closedir(d);
    }
    return ns * 1e-9;
}

class Shows {
public:
    static Shows& Get() {
        static Shows s;
        return s;
    }

    bool ok = false;
    bool haveDjpeg = false;
    std::string why;

    // The environment of a show on the headless screen, or on the SDL backend of `display`.
    std::map<std::string, std::string> Env(const std::string& display) const {
        std::map<std::string, std::string> env = {
            {"LUMETRA_CLOCK", "real"}, {"LUMETRA_INPUT", ""},       {"LUMETRA_AUDIO", "null"},
            {"SDL_AUDIODRIVER", "dummy"}, {"WAYLAND_DISPLAY", ""}, {"TMPDIR", dir_},
            {"LUMETRA_FIRST_LIGHT", std::to_string(kProbeX) + "," + std::to_string(kProbeY) + "," + light_}};
        if (display.empty()) {
            env["LUMETRA_DISPLAY"] = "headless";
            env["LUMETRA_SCREEN"] = std::to_string(bench::kScreenW) + "x" + std::to_string(bench::kScreenH);
            env["DISPLAY"] = "";
        } else {
            env["LUMETRA_DISPLAY"] = "sdl";
            env["DISPLAY"] = display;
        }
        return env;
    }

    // Starts the show; the time of the start (monotonic ns) in *Started.
    pid_t Start(const std::map<std::string, std::string>& env, double* Started) const {
        std::remove(light_.c_str());
        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            const std::string key = v.substr(0, v.find('='));
            if (!env.count(key)) vars.push_back(v);
        }
        for (const auto& [k, v] : env)
            if (!v.empty()) vars.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (auto& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string prog = show_, mode = "/s";
        char* argv[] = {prog.data(), mode.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        *Started = MonotonicNs();
        if (posix_spawn(&pid, show_.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // The monotonic time (ns) of the show's first picture; 0 when it did not come within 30 s
    // or the show ended.
    double WaitFirstLight(pid_t pid) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream f(light_);
            double ns = 0;
            if (f >> ns) return ns;
            if (waitpid(pid, nullptr, WNOHANG) == pid) return 0;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return 0;
    }

    // Asks the show to end as the session's end would, and waits for it.
    static void Stop(pid_t pid) {
        kill(pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    bool Djpeg() const { return bench::RunQuiet("djpeg -outfile /dev/null " + slide_); }

private:
    Shows() : dir_(bench::PrivateFolder::Path()) {
        slide_ = dir_ + "/slide.jpg";
        show_ = dir_ + "/show";
        light_ = dir_ + "/first-light";
        bench::StartPlayerLibraries("bench_player_start");
        const std::vector<uint8_t> jpeg = bench::PhotographJpeg(kSrcW, kSrcH);
        std::ofstream(slide_, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        const std::string track = dir_ + "/track.wav";
        WriteWav(track, 40);
        // One slide standing for ten minutes, the music repeated, the volume fading in.
        const std::string pack = std::string("'") + LUMETRA_PACK + "' --player '" + LUMETRA_PLAYER + "' -o '" + show_ +
                                 "' --interval 600000 --repeat-music --fader-in 1000 --music '" + track + "' '" +
                                 slide_ + "'";
        if (!bench::RunQuiet(pack)) {
            why = "lumetra-pack failed: " + pack;
            return;
        }
        haveDjpeg = bench::RunQuiet("command -v djpeg");
        ok = true;
    }

    std::string dir_, slide_, show_, light_;
};

// The X server of the SDL runs, started once.
const std::string& XDisplay() {
    static lumetra_test::XServer server;
    static const std::string display = server.Start(bench::kScreenW, bench::kScreenH) ? server.Display() : "";
    return display;
}

std::string DisplayOf(benchmark::State& state) {
    if (state.range(0) == 0) return "";
    if (!lumetra_test::ToolInstalled("Xvfb")) return "?";
    const std::string& d = XDisplay();
    return d.empty() ? "?" : d;
}

void BM_FirstPicture(benchmark::State& state) {
    Shows& s = Shows::Get();
    const std::string display = DisplayOf(state);
    if (!s.ok || display == "?") {
        state.SkipWithError(!s.ok ? s.why.c_str() : "no Xvfb");
        return;
    }
    const auto env = s.Env(display);
    std::vector<double> ours, djpeg;
    for (auto _ : state) {
        double started = 0;
        const pid_t pid = s.Start(env, &started);
        if (pid < 0) {
            state.SkipWithError("the show did not start");
            return;
        }
        const double light = s.WaitFirstLight(pid);
        Shows::Stop(pid);
        if (light == 0) {
            state.SkipWithError("the show showed no picture");
            return;
        }
        ours.push_back((light - started) * 1e-9);
        state.SetIterationTime(ours.back());
        if (s.haveDjpeg) {
            const auto t0 = std::chrono::steady_clock::now();
            if (s.Djpeg()) djpeg.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
    }
    state.counters["first_ms"] = Median(ours) * 1000;
    state.counters["djpeg_ms"] = Median(djpeg) * 1000;
    state.counters["x_djpeg"] = djpeg.empty() ? 0.0 : Median(ours) / Median(djpeg);
}
BENCHMARK(BM_FirstPicture)
    ->ArgName("sdl")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

void BM_StandingSlide(benchmark::State& state) {
    Shows& s = Shows::Get();
    const std::string display = DisplayOf(state);
    if (!s.ok || display == "?") {
        state.SkipWithError(!s.ok ? s.why.c_str() : "no Xvfb");
        return;
    }
    constexpr double kSeconds = 10;
    double percent = 0;
    for (auto _ : state) {
        double started = 0;
        const pid_t pid = s.Start(s.Env(display), &started);
        if (pid < 0 || s.WaitFirstLight(pid) == 0) {
            if (pid > 0) Shows::Stop(pid);
            state.SkipWithError("the show showed no picture");
            return;
        }
        // The fade of the volume is over after a second.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double c0 = ProcessCpuSeconds(pid), w0 = MonotonicNs();
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        const double cpu = ProcessCpuSeconds(pid) - c0, wall = (MonotonicNs() - w0) * 1e-9;
        Shows::Stop(pid);
        percent = cpu / wall * 100;
        state.SetIterationTime(cpu);
    }
    state.counters["cpu_percent"] = percent;
}
BENCHMARK(BM_StandingSlide)->ArgName("sdl")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
