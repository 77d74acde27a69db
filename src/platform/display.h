// The screen: the composite of the visible top-level windows' surfaces in z-order, and
// the backend that presents it (headless: in memory, with PNG captures and scripted
// input; sdl: one SDL window per visible top-level window).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/windef.h"

namespace win::display {

// What a backend does for the window manager. Calls come from the UI thread.
class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;
    // Screen size in pixels.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Turns pending platform events into input (test::MouseMove, Key...). Never blocks.
    virtual void Pump() {}
    // Whether the message loop must come back every few milliseconds to pump.
    virtual bool NeedsPolling() const { return false; }
    // The set of visible top-level windows or their geometry changed.
    virtual void TopLevelsChanged() {}
    // A top-level window's surface may hold new pixels.
    virtual void SurfaceChanged(HWND) {}
    // Presents now every surface that changed (GdiFlush). UI thread; never pumps input.
    virtual void Flush() {}
    // Shows the pointer or hides it.
    virtual void SetCursorVisible(bool) {}
    // Shows a message box and returns the button chosen; 0 when it cannot show one.
    virtual int ShowMessageBox(HWND, const std::string&, const std::string&, unsigned) { return 0; }
    // Adopts a foreign native window (SDL: an X11 window id); 0 when it cannot.
    virtual HWND AdoptForeign(uint64_t) { return nullptr; }
    // The native id presenting a top-level window (0 when none).
    virtual uint64_t NativeId(HWND) const { return 0; }
};

std::unique_ptr<Backend> MakeHeadlessBackend(int width, int height);
// Null when SDL cannot open a display.
std::unique_ptr<Backend> MakeSdlBackend();

// Installs the backend (replacing the previous one) and sizes the screen from it.
void SetBackend(std::unique_ptr<Backend> backend);
Backend* CurrentBackend();
int ScreenWidth();
int ScreenHeight();

// The composite, recomposed now, as a 32-bpp top-down DIB section owned by the display
// (the surface of the screen DC).
HBITMAP ComposeScreen();
// The composite as 0x00RRGGBB pixels (the area given, clipped to the screen), skipping
// the window `except` (0: none).
std::vector<uint32_t> ComposeRect(const RECT& area, HWND except);

HWND AdoptForeignWindow(uint64_t nativeId);
void PumpBackend();
// GdiFlush: the backend presents what was drawn since its last present.
void PresentChangedSurfaces();
bool BackendNeedsPolling();

// Captures: every `everyMs` milliseconds of clock time the composite is written to
// DIR/NNNNNNNN.png (8-digit milliseconds since start). everyMs <= 0 stops.
void StartCaptures(const std::string& dir, int everyMs);
void StopCaptures();
// Writes the composite to a PNG file (RGB, 8 bits per channel). False on failure.
bool WriteCompositePng(const std::string& path);

// Clock ticks at `ms` milliseconds since the clock started.
int64_t TicksAtMs(int64_t ms);

// Chooses and installs the backend from LUMETRA_DISPLAY and LUMETRA_SCREEN: "headless",
// "sdl", or unset (SDL when DISPLAY or WAYLAND_DISPLAY names a display, else headless).
// For the start-up benchmark, LUMETRA_FIRST_LIGHT=X,Y,FILE watches the screen point (X, Y)
// after every present of the UI thread and writes the CLOCK_MONOTONIC time in nanoseconds
// to FILE when the point first shows a colour other than black.
void StartFromEnvironment();
// Why StartFromEnvironment runs headless although headless was not asked for (e.g.
// "cannot open X display ':99'", "DISPLAY is not set"); empty when a display is open or
// LUMETRA_DISPLAY=headless.
const std::string& MissingDisplay();
void ShutDown();

}  // namespace win::display
