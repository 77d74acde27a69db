// Test seams of the window manager (ours): the screen composite, a restart on the headless
// backend, injected and scripted input, foreign windows, message box records and answers, the
// cursor and caret as the window manager holds them, and the backend's names and ids. Only tests,
// benchmarks, fuzz targets and the platform's own sources include this header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/user.h"

namespace win {

namespace test {

// The screen composite as 0x00RRGGBB pixels, top row first.
struct Screen {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Screen ScreenComposite();

// Restarts the window manager on the headless backend with a screen of w x h: destroys
// every window, empties the queue, timers, classes, clipboard and records.
void ResetUser(int width = 1024, int height = 768);

// Input in screen coordinates, routed now (the messages are queued in FIFO order).
enum class Button { Left, Right, Middle };
void MouseMove(int x, int y);
void MouseButton(Button button, bool down);
void Wheel(int delta);
void Key(int vk, bool down);
void Activate(HWND hwnd);
void Deactivate();
// Schedules a script of input events (`;`-separated `MS key VK`, `MS keydown VK`,
// `MS keyup VK`, `MS move X Y`, `MS click X Y`, `MS dblclick X Y`, `MS down X Y`, `MS up X Y`,
// `MS rdown X Y`, `MS rup X Y`, `MS wheel DELTA`; MS = clock milliseconds since start) that the
// message loop delivers at those times. False (and nothing scheduled) on a syntax error.
bool SetInputScript(const std::string& script);

// Any injection (MouseMove, MouseButton, Wheel, Key, Activate, Deactivate...) run by the
// message loop when the clock reaches `ms` milliseconds since start, in order with the
// scripted input.
void ScheduleInput(int64_t ms, std::function<void()> inject);

// A foreign window (the host of a preview) of w x h at the screen origin.
HWND CreateForeignWindow(int width, int height);

struct MessageBoxRecord {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
    DWORD time = 0;
    int answer = 0;
};
std::vector<MessageBoxRecord> MessageBoxes();
// Answers for the next message boxes (in order); without one, the default button answers.
void QueueMessageBoxAnswer(int answer);

HCURSOR CurrentCursor();
bool CursorVisible();
struct CaretState {
    HWND hwnd = nullptr;
    int width = 0;
    int height = 0;
    POINT pos;
    int hideCount = 0;
};
bool GetCaretState(CaretState* state);

// The backend's own id of the window presenting a top-level window (SDL: the X11 window
// id); 0 headless or when the window is not presented.
uint64_t NativeWindowId(HWND hwnd);
const char* BackendName();

}  // namespace test

}  // namespace win
