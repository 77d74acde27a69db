// Presenting what is drawn: drawing through a window DC marks the part of the top-level
// surface it touched, and GdiFlush has the backend present the changed surfaces at once.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/display.h"
#include "platform/gdi.h"
#include "platform/gdi_device_internal.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

namespace {

// A backend that only counts the presents asked of it.
class CountingBackend : public display::Backend {
public:
    explicit CountingBackend(int* flushes) : flushes_(flushes) {}
    const char* Name() const override { return "counting"; }
    int Width() const override { return 320; }
    int Height() const override { return 240; }
    void Flush() override { ++*flushes_; }

private:
    int* flushes_;
};

class Present : public ::testing::Test {
protected:
    void SetUp() override {
        test::ResetUser(320, 240);
        WNDCLASSA wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "PresentTest";
        RegisterClassA(&wc);
        // A borderless window: its client origin is its surface's origin.
        hwnd_ = CreateWindowExA(0, "PresentTest", "", WS_POPUP | WS_VISIBLE, 20, 10, 100, 80, nullptr, nullptr, nullptr,
                                nullptr);
        ASSERT_NE(hwnd_, nullptr);
        dc_ = GetDC(hwnd_);
        ASSERT_NE(dc_, nullptr);
        surface_ = gdi_device::DeviceSurface(dc_);
        ASSERT_NE(surface_, nullptr);
        gdi_device::TakeSurfaceChanges(surface_, nullptr);
    }
    void TearDown() override {
        if (dc_) ReleaseDC(hwnd_, dc_);
        test::ResetUser();
    }

    HWND hwnd_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP surface_ = nullptr;
};

struct DrawCase {
    const char* name;
    std::function<void(HDC)> draw;
    RECT changed;  // surface coordinates; empty: nothing changed
};

}  // namespace

TEST_F(Present, DrawingThroughAWindowDcMarksTheBoxItTouched) {
    HDC mem = CreateCompatibleDC(dc_);
    HBITMAP bmp = CreateCompatibleBitmap(dc_, 50, 50);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);
    const std::vector<DrawCase> cases = {
        {"PatBlt", [](HDC dc) { PatBlt(dc, 5, 6, 10, 4, BLACKNESS); }, RECT{5, 6, 15, 10}},
        {"BitBlt from memory", [mem](HDC dc) { BitBlt(dc, 30, 40, 20, 10, mem, 0, 0, SRCCOPY); }, RECT{30, 40, 50, 50}},
        {"SetPixel", [](HDC dc) { SetPixel(dc, 7, 8, RGB(1, 2, 3)); }, RECT{7, 8, 8, 9}},
        {"FillRect",
         [](HDC dc) {
             RECT r{60, 2, 70, 12};
             FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
         },
         RECT{60, 2, 70, 12}},
        {"moved origin",
         [](HDC dc) {
             SetViewportOrgEx(dc, 10, 10, nullptr);
             PatBlt(dc, 0, 0, 5, 5, WHITENESS);
             SetViewportOrgEx(dc, 0, 0, nullptr);
         },
         RECT{10, 10, 15, 15}},
        {"clipped to the window", [](HDC dc) { PatBlt(dc, 90, 70, 50, 50, WHITENESS); }, RECT{90, 70, 100, 80}},
        {"clipped by the DC",
         [](HDC dc) {
             IntersectClipRect(dc, 0, 0, 4, 4);
             PatBlt(dc, 0, 0, 20, 20, WHITENESS);
             SelectClipRgn(dc, nullptr);
         },
         RECT{0, 0, 4, 4}},
        {"outside the window", [](HDC dc) { PatBlt(dc, 200, 200, 10, 10, WHITENESS); }, RECT{}},
        {"two places: their box",
         [](HDC dc) {
             SetPixel(dc, 2, 3, 0);
             SetPixel(dc, 40, 50, 0);
         },
         RECT{2, 3, 41, 51}},
        {"into a memory DC only", [mem](HDC) { PatBlt(mem, 0, 0, 50, 50, WHITENESS); }, RECT{}},
        {"reading only",
         [mem](HDC dc) {
             GetPixel(dc, 5, 5);
             BitBlt(mem, 0, 0, 50, 50, dc, 0, 0, SRCCOPY);
         },
         RECT{}},
        {"text", [](HDC dc) { TextOutA(dc, 12, 20, "Lumetra", 7); }, RECT{-1, -1, -1, -1}},
    };
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.draw(dc_);
        RECT box{};
        bool changed = gdi_device::TakeSurfaceChanges(surface_, &box);
        if (c.changed.left == -1) {
            // Some box around the text's start.
            ASSERT_TRUE(changed);
            EXPECT_LE(box.left, 13);
            EXPECT_GT(box.right, 20);
            EXPECT_LE(box.top, 22);
            EXPECT_GT(box.bottom, 22);
        } else if (c.changed.right > c.changed.left) {
            ASSERT_TRUE(changed);
            EXPECT_EQ(box.left, c.changed.left);
            EXPECT_EQ(box.top, c.changed.top);
            EXPECT_EQ(box.right, c.changed.right);
            EXPECT_EQ(box.bottom, c.changed.bottom);
        } else {
            EXPECT_FALSE(changed) << box.left << "," << box.top << "," << box.right << "," << box.bottom;
        }
        // Taken: nothing is left for the next present.
        EXPECT_FALSE(gdi_device::TakeSurfaceChanges(surface_, nullptr));
    }
    SelectObject(mem, oldBmp);
    DeleteObject(bmp);
    DeleteDC(mem);
}

TEST_F(Present, AChildWindowDrawsIntoItsTopLevelsSurfaceAtItsPlace) {
    HWND child =
        CreateWindowExA(0, "PresentTest", "", WS_CHILD | WS_VISIBLE, 30, 20, 40, 30, hwnd_, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    HDC dc = GetDC(child);
    EXPECT_EQ(gdi_device::DeviceSurface(dc), surface_);
    gdi_device::TakeSurfaceChanges(surface_, nullptr);
    PatBlt(dc, 1, 2, 100, 100, BLACKNESS);  // clipped to the child
    RECT box{};
    ASSERT_TRUE(gdi_device::TakeSurfaceChanges(surface_, &box));
    EXPECT_EQ(box.left, 31);
    EXPECT_EQ(box.top, 22);
    EXPECT_EQ(box.right, 70);
    EXPECT_EQ(box.bottom, 50);
    ReleaseDC(child, dc);
}

TEST_F(Present, GdiFlushHasTheBackendPresentOnTheUiThreadOnly) {
    int flushes = 0;
    display::SetBackend(std::make_unique<CountingBackend>(&flushes));
    EXPECT_TRUE(GdiFlush());
    EXPECT_EQ(flushes, 1);
    // A worker thread's GdiFlush leaves presenting to the UI thread.
    std::thread([] { GdiFlush(); }).join();
    EXPECT_EQ(flushes, 1);
    // Headless, a flush costs nothing and the composite already shows the drawing.
    display::SetBackend(display::MakeHeadlessBackend(320, 240));
    PatBlt(dc_, 0, 0, 10, 10, BLACKNESS);
    PatBlt(dc_, 10, 0, 10, 10, WHITENESS);
    EXPECT_TRUE(GdiFlush());
    test::Screen s = test::ScreenComposite();
    EXPECT_EQ(s.At(25, 12), 0u);  // the window lies at (20, 10)
    EXPECT_EQ(s.At(35, 12), 0xFFFFFFu);
}
