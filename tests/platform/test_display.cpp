// The headless display: captures of the screen composite named by clock time, and the
// start-up from the environment.
#include <gtest/gtest.h>
#include <png.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

COLORREF g_colour = RGB(255, 0, 0);

LRESULT Paint(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        g_colour = RGB(0, 0, 255);
        InvalidateRect(hwnd, nullptr, FALSE);
        KillTimer(hwnd, wParam);
        return 0;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH b = CreateSolidBrush(g_colour);
        HGDIOBJ old = SelectObject(dc, b);
        PatBlt(dc, 0, 0, 1000, 1000, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(b);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Reads a PNG into 0xRRGGBB pixels.
bool ReadPng(const std::string& path, int* w, int* h, std::vector<uint32_t>* px) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, rgb.data(), 0, nullptr)) return false;
    *w = static_cast<int>(img.width);
    *h = static_cast<int>(img.height);
    px->resize(static_cast<size_t>(*w) * *h);
    for (size_t i = 0; i < px->size(); ++i)
        (*px)[i] = (uint32_t{rgb[i * 3]} << 16) | (uint32_t{rgb[i * 3 + 1]} << 8) | rgb[i * 3 + 2];
    return true;
}

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockMode(ClockMode::Virtual);
        test::ResetUser(64, 48);
        dir_ =
            std::filesystem::temp_directory_path() / ("lumetra-capture-" + std::to_string(getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        g_colour = RGB(255, 0, 0);
        WNDCLASSA wc;
        wc.lpfnWndProc = Paint;
        wc.lpszClassName = "Painted";
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        display::StopCaptures();
        for (const char* v : {"LUMETRA_DISPLAY", "LUMETRA_SCREEN", "LUMETRA_CAPTURE_DIR", "LUMETRA_CAPTURE_EVERY_MS",
                              "LUMETRA_INPUT", "LUMETRA_CLOCK", "LUMETRA_FIRST_LIGHT"})
            unsetenv(v);
        test::ResetUser();
        SetClockMode(ClockMode::Real);
        std::filesystem::remove_all(dir_);
    }
    std::set<std::string> Files() const {
        std::set<std::string> out;
        if (std::filesystem::exists(dir_))
            for (const auto& e : std::filesystem::directory_iterator(dir_)) out.insert(e.path().filename().string());
        return out;
    }
    static void RunUntil(int64_t ms) {
        ClockSetHorizon(ms * kTicksPerMs);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0)) DispatchMessageA(&m);
    }
    std::filesystem::path dir_;
};

TEST_F(Display, CapturesAreNamedByClockTimeAndShowTheScreenThen) {
    HWND w = CreateWindowExA(0, "Painted", "", WS_POPUP | WS_VISIBLE, 8, 8, 32, 24, nullptr, nullptr, nullptr, nullptr);
    SetTimer(w, 1, 50, nullptr);  // turns the window blue at 50 ms
    display::StartCaptures(dir_.string(), 40);
    RunUntil(130);
    EXPECT_EQ(Files(), (std::set<std::string>{"00000000.png", "00000040.png", "00000080.png", "00000120.png"}));
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    ASSERT_TRUE(ReadPng((dir_ / "00000040.png").string(), &width, &height, &px));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    EXPECT_EQ(px[10 * 64 + 10], 0xFF0000u);
    EXPECT_EQ(px[2 * 64 + 2], 0u);  // the desktop around the window
    ASSERT_TRUE(ReadPng((dir_ / "00000080.png").string(), &width, &height, &px));
    EXPECT_EQ(px[10 * 64 + 10], 0x0000FFu);
    if (std::system("command -v pngcheck >/dev/null 2>&1") == 0) {  // an independent reader agrees
        std::string cmd = "pngcheck -q " + (dir_ / "00000080.png").string() + " >/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    display::StopCaptures();
    RunUntil(300);
    EXPECT_EQ(Files().size(), 4u);
}

TEST_F(Display, StartUpReadsTheEnvironment) {
    setenv("LUMETRA_DISPLAY", "headless", 1);
    setenv("LUMETRA_CLOCK", "virtual", 1);
    setenv("LUMETRA_SCREEN", "200x100", 1);
    setenv("LUMETRA_CAPTURE_DIR", dir_.c_str(), 1);
    setenv("LUMETRA_CAPTURE_EVERY_MS", "25", 1);
    setenv("LUMETRA_INPUT", "30 key 65", 1);
    PlatformStartUp();
    EXPECT_STREQ(test::BackendName(), "headless");
    EXPECT_EQ(GetClockMode(), ClockMode::Virtual);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 200);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 100);
    EXPECT_EQ(GetScreenSize().cx, 200);
    WNDCLASSA wc;
    wc.lpfnWndProc = Paint;
    wc.lpszClassName = "Painted";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND w = CreateWindowExA(0, "Painted", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ClockSetHorizon(60 * kTicksPerMs);
    MSG m;
    std::vector<std::pair<int64_t, UINT>> keys;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        if (m.message == WM_KEYDOWN) keys.emplace_back(ClockElapsedMs(), static_cast<UINT>(m.wParam));
        DispatchMessageA(&m);
    }
    EXPECT_EQ(keys, (std::vector<std::pair<int64_t, UINT>>{{30, 'A'}}));
    EXPECT_EQ(Files(), (std::set<std::string>{"00000000.png", "00000025.png", "00000050.png"}));
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    ASSERT_TRUE(ReadPng((dir_ / "00000050.png").string(), &width, &height, &px));
    EXPECT_EQ(width, 200);
    EXPECT_EQ(px[5 * 200 + 5], 0xFF0000u);
    (void)w;
    PlatformShutDown();
}

TEST_F(Display, BadEnvironmentFallsBackToDefaults) {
    setenv("LUMETRA_DISPLAY", "headless", 1);
    setenv("LUMETRA_CLOCK", "virtual", 1);
    setenv("LUMETRA_SCREEN", "wide", 1);
    setenv("LUMETRA_CAPTURE_DIR", dir_.c_str(), 1);
    setenv("LUMETRA_CAPTURE_EVERY_MS", "-3", 1);
    setenv("LUMETRA_INPUT", "10 jump", 1);
    PlatformStartUp();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    RunUntil(100);
    EXPECT_TRUE(Files().empty());
    PlatformShutDown();
}

// The first-light watch of the start-up benchmark: the time a screen point first shows a
// colour other than black is written once, after the present that showed it; a point that
// stays black writes nothing.
TEST_F(Display, FirstLightIsTheFirstPresentThatLightsThePoint) {
    struct Case {
        int x, y;
        bool lit;
    } cases[] = {{20, 20, true}, {2, 2, false}};
    for (const Case& c : cases) {
        std::filesystem::create_directories(dir_);
        const std::string file = (dir_ / "light").string();
        std::filesystem::remove(file);
        setenv("LUMETRA_DISPLAY", "headless", 1);
        setenv("LUMETRA_CLOCK", "virtual", 1);
        setenv("LUMETRA_SCREEN", "64x48", 1);
        setenv("LUMETRA_FIRST_LIGHT", (std::to_string(c.x) + "," + std::to_string(c.y) + "," + file).c_str(), 1);
        PlatformStartUp();
        WNDCLASSA wc;
        wc.lpfnWndProc = Paint;
        wc.lpszClassName = "Painted";
        RegisterClassA(&wc);
        timespec before{};
        clock_gettime(CLOCK_MONOTONIC, &before);
        RunUntil(10);
        EXPECT_FALSE(std::filesystem::exists(file)) << "black screen, point " << c.x << "," << c.y;
        HWND w =
            CreateWindowExA(0, "Painted", "", WS_POPUP | WS_VISIBLE, 8, 8, 32, 24, nullptr, nullptr, nullptr, nullptr);
        RunUntil(20);
        long long ns = 0;
        std::ifstream(file) >> ns;
        if (c.lit) {
            EXPECT_GE(ns, static_cast<long long>(before.tv_sec) * 1000000000LL + before.tv_nsec);
            // Written once: a later present leaves the file alone.
            std::filesystem::remove(file);
            InvalidateRect(w, nullptr, FALSE);
            RunUntil(30);
            EXPECT_FALSE(std::filesystem::exists(file));
        } else {
            EXPECT_FALSE(std::filesystem::exists(file)) << "point " << c.x << "," << c.y;
        }
        PlatformShutDown();
        unsetenv("LUMETRA_FIRST_LIGHT");
    }
}

}  // namespace
