// A virtual X server for tests of the SDL backend, and the X screen read through xwd and
// ImageMagick (no file is written): shared by the tests that look at the desktop.
#pragma once

#include <dlfcn.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/user.h"

// X libraries and SDL keep some allocations for the life of the process; naming them lets
// the leak checker skip them.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libX11\nleak:libxcb\nleak:libSDL2\nleak:libdbus\nleak:libXcursor\nleak:libXi\nleak:libXext\nleak:libXrandr\nleak:libXrender\nleak:libxkbcommon\nleak:libXfixes\n";
}

namespace xvfbtest {

inline bool Installed(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

// A virtual X server on a display number it picks itself; it dies with the test process.
class VirtualDisplay {
public:
    bool Start(const char* screen) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return false;
        }
        // The server writes its display number when it is ready.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) return false;
        display_ = ":" + number;
        return true;
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Name() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The X screen as ImageMagick turns xwd's dump into a PPM, read through a pipe (no file).
struct XScreen {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    // 0xRRGGBB; 0xFFFFFFFF outside the picture.
    uint32_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
    }
};

inline bool Grab(const std::string& display, XScreen& s) {
    const std::string cmd = "xwd -root -silent -display " + display + " | /usr/bin/convert xwd:- ppm:- 2>/dev/null";
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return false;
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    if (pclose(f) != 0) return false;
    // "P6", width, height, maximum (with "#" comments between them), one whitespace, then
    // the pixels.
    size_t pos = 2;
    int fields[3] = {0, 0, 0};
    if (data.size() < 2 || data[0] != 'P' || data[1] != '6') return false;
    for (int& field : fields) {
        while (pos < data.size() && (std::isspace(data[pos]) || data[pos] == '#')) {
            if (data[pos] == '#')
                while (pos < data.size() && data[pos] != '\n') ++pos;
            else
                ++pos;
        }
        while (pos < data.size() && std::isdigit(data[pos]) && field < 100000) field = field * 10 + (data[pos++] - '0');
    }
    ++pos;
    if (fields[2] != 255 || fields[0] <= 0 || fields[1] <= 0) return false;
    const size_t size = static_cast<size_t>(fields[0]) * fields[1] * 3;
    if (data.size() < pos + size) return false;
    s.width = fields[0];
    s.height = fields[1];
    s.rgb.assign(data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + size));
    return true;
}

// Calls pump until done() holds (true) or the time is up (false), on the real clock.
inline bool PumpUntil(const std::function<void()>& pump, const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        pump();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pump();
    return done();
}

// Loads the X libraries SDL opens at run time and keeps them mapped, so that the leak
// checker can name what they keep for good.
inline void KeepXLibrariesLoaded() {
    for (const char* lib : {"libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXi.so.6", "libXrandr.so.2",
                            "libXfixes.so.3", "libXss.so.1", "libXinerama.so.1", "libxkbcommon.so.0", "libXrender.so.1"})
        dlopen(lib, RTLD_NOW | RTLD_NODELETE);
}

// A class-library colour as the X screen shows it (0xRRGGBB).
inline uint32_t ScreenRgb(cl::TColor c) {
    const uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(c));
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

// The class library on the desktop of a virtual X server for the time of a test: the SDL
// backend on the real clock. Afterwards the headless screen and the virtual clock are back,
// and the class library is started again when it was started before.
class DesktopSession {
public:
    // False when the X server or the SDL backend does not start.
    bool Start() {
        if (!x_.Start("320x240x24")) return false;
        hadControls_ = cl::Application != nullptr;
        if (hadControls_) cl::ControlsShutDown();
        const char* old = std::getenv("DISPLAY");
        hadDisplay_ = old != nullptr;
        if (old) savedDisplay_ = old;
        setenv("DISPLAY", x_.Name().c_str(), 1);
        setenv("LUMETRA_DISPLAY", "sdl", 1);
        KeepXLibrariesLoaded();
        win::SetClockMode(win::ClockMode::Real);
        win::PlatformStartUp();
        started_ = true;
        if (std::string(win::test::BackendName()) != "sdl") return false;
        cl::ControlsStartUp();
        cl::Application->Initialize();
        return true;
    }
    ~DesktopSession() {
        if (!started_) return;
        cl::ControlsShutDown();
        win::PlatformShutDown();
        unsetenv("LUMETRA_DISPLAY");
        if (hadDisplay_)
            setenv("DISPLAY", savedDisplay_.c_str(), 1);
        else
            unsetenv("DISPLAY");
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(640, 480);
        if (hadControls_) cl::ControlsStartUp();
    }
    const std::string& Display() const { return x_.Name(); }
    // Dispatches what the desktop has sent.
    static void Pump() { cl::Application->ProcessMessages(); }

private:
    VirtualDisplay x_;
    std::string savedDisplay_;
    bool hadDisplay_ = false;
    bool hadControls_ = false;
    bool started_ = false;
};

// A borderless white form at (20, 20) holding a page control with a red page "Red" and a
// blue page "Blue", shown.
struct TwoPageForm {
    TwoPageForm() {
        form = cl::NewForm<cl::TForm>(nullptr);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(20, 20, 240, 170);
        form->SetColor(cl::clWhite);
        pages = new cl::TPageControl(form);
        pages->SetParent(form);
        pages->SetBounds(10, 10, 220, 150);
        red = Page("Red", cl::clRed);
        blue = Page("Blue", cl::clBlue);
        form->Show();
    }
    ~TwoPageForm() { delete form; }
    TwoPageForm(const TwoPageForm&) = delete;
    TwoPageForm& operator=(const TwoPageForm&) = delete;
    // Screen point of the middle of the page area.
    win::POINT PageMiddle() const {
        const win::RECT d = pages->DisplayRect();
        return pages->ClientToScreen(win::POINT{(d.left + d.right) / 2, (d.top + d.bottom) / 2});
    }

    cl::TForm* form = nullptr;
    cl::TPageControl* pages = nullptr;
    cl::TTabSheet* red = nullptr;
    cl::TTabSheet* blue = nullptr;

private:
    cl::TTabSheet* Page(const char* caption, cl::TColor colour) {
        auto* s = new cl::TTabSheet(form);
        s->SetCaption(caption);
        s->SetColor(colour);
        s->SetPageControl(pages);
        return s;
    }
};

}  // namespace xvfbtest
