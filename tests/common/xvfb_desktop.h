// Tests on a private X server: Xvfb on a display number it picks itself, screenshots taken
// with xwd and read here (no file is written), xdotool, and a plain X window of the test's
// own (the host of a preview). Header-only; every test program that needs a desktop uses it.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "private_dir.h"

// Xlib is reached through dlopen with these few types of its own (its header's macros,
// Status, Bool and the like, would clash with the tests' names).
struct _XDisplay;

namespace lumetra_test {

inline bool ToolInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Whether the tools of these tests are there (Xvfb, xwd, xdotool: scripts/setup installs them).
inline bool DesktopToolsInstalled() {
    return ToolInstalled("Xvfb") && ToolInstalled("xwd") && ToolInstalled("xdotool");
}

// An Xvfb of its own: started with -displayfd, so that servers started at the same time by
// other tests never fight over a number; stopped (and waited for) by the destructor.
class XServer {
public:
    XServer() = default;
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer() { Stop(); }

    bool Start(int width, int height) {
        Stop();
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 3);  // dup2 clears close-on-exec on the copy
            int devnull = open("/dev/null", O_WRONLY);
            if (devnull >= 0) dup2(devnull, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
                   nullptr);
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c;
            ssize_t n = read(fds[0], &c, 1);
            if (n <= 0) break;
            if (c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            Stop();
            return false;
        }
        display_ = ":" + number;
        return true;
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The environment of a program of the tests on the SDL backend of `display`: the real clock,
// no input script, no sound device, no Wayland, and its temporary files in `tmpDir`.
inline std::map<std::string, std::string> SdlProgramEnv(const std::string& display, const std::string& tmpDir) {
    return {{"DISPLAY", display},      {"LUMETRA_DISPLAY", "sdl"},   {"LUMETRA_CLOCK", "real"}, {"LUMETRA_INPUT", ""},
            {"LUMETRA_AUDIO", "null"}, {"SDL_AUDIODRIVER", "dummy"}, {"WAYLAND_DISPLAY", ""},   {"TMPDIR", tmpDir}};
}

// A screenshot in the XWD format that xwd writes.
struct XwdImage {
    int width = 0, height = 0;
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    int bpp = 0, bytesPerLine = 0;
    bool msbFirst = false;
    std::vector<uint8_t> data;
    size_t offset = 0;

    // The pixel as 0xRRGGBB (8 bits per channel).
    uint32_t At(int x, int y) const {
        const uint8_t* p =
            data.data() + offset + static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * (bpp / 8);
        uint32_t v = 0;
        int n = bpp / 8;
        for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(msbFirst ? p[n - 1 - i] : p[i]) << (8 * i);
        auto channel = [v](uint32_t mask) {
            if (!mask) return 0u;
            int shift = __builtin_ctz(mask);
            return (v & mask) >> shift;
        };
        return (channel(redMask) << 16) | (channel(greenMask) << 8) | channel(blueMask);
    }
};

// Reads the header and checks that the pixels are all there (24 or 32 bits per pixel).
inline bool ParseXwd(std::vector<uint8_t> bytes, XwdImage* img) {
    img->data = std::move(bytes);
    if (img->data.size() < 100) return false;
    auto field = [&](int i) {
        const uint8_t* p = img->data.data() + i * 4;
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    uint32_t headerSize = field(0);
    img->width = static_cast<int>(field(4));
    img->height = static_cast<int>(field(5));
    img->msbFirst = field(7) == 1;
    img->bpp = static_cast<int>(field(11));
    img->bytesPerLine = static_cast<int>(field(12));
    img->redMask = field(14);
    img->greenMask = field(15);
    img->blueMask = field(16);
    uint32_t ncolors = field(19);
    if (headerSize < 100 || headerSize > 4096 || ncolors > 65536) return false;
    if (img->width <= 0 || img->height <= 0 || (img->bpp != 24 && img->bpp != 32)) return false;
    if (img->bytesPerLine < img->width * (img->bpp / 8)) return false;
    img->offset = headerSize + static_cast<size_t>(ncolors) * 12;
    return img->offset + static_cast<size_t>(img->height) * img->bytesPerLine <= img->data.size();
}

// The whole screen of `display`, read from xwd's output.
inline bool Screenshot(const std::string& display, XwdImage* img) {
    std::string cmd = "xwd -root -silent -display " + display + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    int status = pclose(p);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    return ParseXwd(std::move(bytes), img);
}

// Screenshots of `display` every 100 ms until `seen` accepts one (true) or `ms` have passed
// (false).
template <class Seen>
bool WaitForScreen(const std::string& display, int ms, Seen seen) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        XwdImage img;
        if (Screenshot(display, &img) && seen(img)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Runs xdotool on `display` with the arguments given (a shell word list); its exit status.
inline int XdoTool(const std::string& display, const std::string& args) {
    int status = std::system(("DISPLAY=" + display + " xdotool " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A plain mapped X window made on a connection of the test's own (the host of a preview),
// filled with the background colour given.
class ForeignXWindow {
public:
    ForeignXWindow(const std::string& display, int x, int y, unsigned width, unsigned height,
                   unsigned long background = 0) {
        lib_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!lib_) return;
        auto open = reinterpret_cast<_XDisplay* (*)(const char*)>(dlsym(lib_, "XOpenDisplay"));
        auto root = reinterpret_cast<unsigned long (*)(_XDisplay*)>(dlsym(lib_, "XDefaultRootWindow"));
        auto create =
            reinterpret_cast<unsigned long (*)(_XDisplay*, unsigned long, int, int, unsigned, unsigned, unsigned,
                                               unsigned long, unsigned long)>(dlsym(lib_, "XCreateSimpleWindow"));
        auto map = reinterpret_cast<int (*)(_XDisplay*, unsigned long)>(dlsym(lib_, "XMapWindow"));
        sync_ = reinterpret_cast<int (*)(_XDisplay*, int)>(dlsym(lib_, "XSync"));
        close_ = reinterpret_cast<int (*)(_XDisplay*)>(dlsym(lib_, "XCloseDisplay"));
        destroy_ = reinterpret_cast<int (*)(_XDisplay*, unsigned long)>(dlsym(lib_, "XDestroyWindow"));
        if (!open || !root || !create || !map || !sync_ || !close_ || !destroy_) return;
        display_ = open(display.c_str());
        if (!display_) return;
        id_ = create(display_, root(display_), x, y, width, height, 0, 0, background);
        map(display_, id_);
        sync_(display_, 0);
    }
    ForeignXWindow(const ForeignXWindow&) = delete;
    ForeignXWindow& operator=(const ForeignXWindow&) = delete;
    ~ForeignXWindow() {
        if (display_) close_(display_);
    }
    uint64_t Id() const { return id_; }
    // Destroys the window now (the host going away).
    void Destroy() {
        if (!display_ || !id_) return;
        destroy_(display_, id_);
        sync_(display_, 0);
        id_ = 0;
    }

private:
    void* lib_ = nullptr;
    _XDisplay* display_ = nullptr;
    unsigned long id_ = 0;
    int (*sync_)(_XDisplay*, int) = nullptr;
    int (*close_)(_XDisplay*) = nullptr;
    int (*destroy_)(_XDisplay*, unsigned long) = nullptr;
};

// A program of the tests on a private X server of its own, on the SDL backend: its temporary
// files and its standard output in a private folder. The program is killed, then the server
// stopped, when the object ends.
class DesktopProgram {
public:
    explicit DesktopProgram(const std::string& dirPrefix) : dir_(dirPrefix) {}
    // Starts the server (width x height) and the program; false when either cannot start.
    bool Start(const std::vector<std::string>& args, int width, int height) {
        if (!dir_.Ok() || !x_.Start(width, height)) return false;
        program_ =
            std::make_unique<Program>(args, SdlProgramEnv(x_.Display(), dir_.Path().string()), "", dir_ / "stdout.txt");
        return program_->Pid() > 0;
    }
    const std::string& Display() const { return x_.Display(); }
    Program& Process() { return *program_; }
    // What the program has written to its standard output so far.
    std::string Output() const {
        std::ifstream f(dir_ / "stdout.txt");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

private:
    PrivateDir dir_;
    XServer x_;
    std::unique_ptr<Program> program_;
};

}  // namespace lumetra_test
