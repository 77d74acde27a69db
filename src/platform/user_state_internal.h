// Private state of the window manager, shared by the user_*.cpp units and the display.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles_internal.h"
#include "platform/user.h"
#include "platform/user_region_internal.h"
#include "platform/user_testhooks.h"

namespace win::user {

constexpr int USER_ERROR_REGION = 0;  // the GDI's ERROR region type

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    bool builtin = false;
};

struct Window : HandleObject {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string text;
    HWND parent = nullptr;       // children only
    HWND owner = nullptr;        // top-level only
    std::vector<HWND> children;  // z-order, topmost first
    RECT window;                 // in the parent's client coordinates (screen for top-level windows)
    RECT client;                 // the same coordinates
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<uint8_t> extra;

    RectSet update;  // client coordinates
    bool erasePending = false;
    bool ncPaintPending = false;
    bool internalPaint = false;

    HRGN windowRgn = nullptr;  // owned; window coordinates
    RectSet windowRgnRects;
    bool hasWindowRgn = false;

    // The scroll bars belong to the flat scroll bar layer (InitializeFlatSB), with the
    // mode of the horizontal and the vertical bar.
    bool flatScrollBars = false;
    int flatModeH = 0;
    int flatModeV = 0;

    // The horizontal and vertical scroll bars and a scroll bar control's own bar, indexed by
    // SB_HORZ, SB_VERT, SB_CTL (user_scroll.cpp).
    struct ScrollBar {
        int min = 0;
        int max = 100;
        UINT page = 0;
        int pos = 0;
        int trackPos = 0;
        bool tracking = false;
        UINT disabled = 0;  // ESB_DISABLE_LTUP | ESB_DISABLE_RTDN
    };
    ScrollBar scrollBars[3];

    bool foreign = false;
    uint64_t nativeId = 0;  // foreign windows adopted by a backend
    bool destroying = false;
    bool created = false;
    bool maximized = false;
    RECT restoreRect;

    // Top-level windows: the surface (a 32-bpp top-down DIB section of the window's size).
    HBITMAP surface = nullptr;
    int surfaceW = 0;
    int surfaceH = 0;
};

struct DcEntry {
    HDC hdc = nullptr;
    HWND hwnd = nullptr;
    bool windowDc = false;  // frame included
    bool paintDc = false;   // from BeginPaint: clipped to the update region taken
    RectSet paintRegion;    // surface coordinates
    bool hasExtraClip = false;
    RectSet extraClip;  // GetDCEx(DCX_INTERSECTRGN/EXCLUDERGN), surface coordinates
    bool excludeExtra = false;
    HBITMAP surface = nullptr;  // the surface it was made for
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    int64_t due = 0;  // ticks
    bool pending = false;
    uint64_t seq = 0;
};

enum class InputKind { Move, Button, Wheel, Key, Click, DblClick, Custom };
struct ScriptedInput {
    int64_t due = 0;  // ticks
    uint64_t seq = 0;
    InputKind kind = InputKind::Move;
    int a = 0, b = 0;
    std::function<void()> custom;
};

struct CrossSend {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct State {
    HandleTable windows;
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    std::vector<HWND> topLevels;  // z-order, topmost first
    std::thread::id uiThread;

    // Posted messages and cross-thread sends: guarded by queueMutex.
    std::mutex queueMutex;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<CrossSend>> sent;
    std::condition_variable sentDone;
    uint64_t postGen = 0;
    bool quitPosted = false;
    int quitCode = 0;

    std::vector<Timer> timers;
    uint64_t timerSeq = 0;
    UINT_PTR nextThreadTimerId = 1;
    std::vector<ScriptedInput> script;
    uint64_t scriptSeq = 0;

    MSG lastMsg;
    std::vector<DcEntry> dcs;
    std::vector<std::pair<HWND, HDC>> redirects;
    int redirectSuspend = 0;

    HWND focus = nullptr;
    HWND capture = nullptr;
    HWND active = nullptr;
    POINT cursorPos;
    uint8_t asyncKeys[256] = {};
    uint8_t syncKeys[256] = {};
    // Double-click tracking.
    HWND lastClickHwnd = nullptr;
    UINT lastClickMsg = 0;
    int64_t lastClickMs = 0;
    POINT lastClickPt;
    bool lastClickWasDouble = false;

    HCURSOR cursor = nullptr;
    int showCursorCount = 0;
    std::map<uintptr_t, HCURSOR> systemCursors;

    struct Caret {
        HWND hwnd = nullptr;
        int width = 0, height = 0;
        POINT pos;
        int hideCount = 1;
    } caret;
    bool hasCaret = false;

    HWND clipboardOwner = nullptr;
    bool clipboardOpen = false;
    std::map<UINT, HANDLE> clipboard;

    std::vector<test::MessageBoxRecord> boxes;
    std::deque<int> boxAnswers;
};

State& S();

// Window lookup: null for 0, stale or foreign-kind handles.
Window* W(HWND hwnd);
std::shared_ptr<Window> WRef(HWND hwnd);
bool OnUiThread();

// Geometry helpers.
HWND RootOf(HWND hwnd);  // the top-level ancestor (itself when top-level)
POINT ClientOriginOnScreen(const Window* w);
POINT WindowOriginOnScreen(const Window* w);
POINT WindowOriginOnSurface(const Window* w);  // relative to the top-level's window rect
POINT ClientOriginOnSurface(const Window* w);
bool IsVisibleDeep(const Window* w);
// Visible part of the window's client (or whole window) in surface coordinates.
RectSet VisibleRegion(const Window* w, bool wholeWindow, bool clipChildren);
RECT FrameInsets(DWORD style, DWORD exStyle);
std::vector<HWND>& SiblingList(const Window* w);

// Painting (user_paint.cpp).
void InvalidateInternal(Window* w, const RectSet* clientRgn, UINT flags);
void RefreshDcClips();
void ReleaseWindowDcs(HWND hwnd);
void DefNcPaint(Window* w, HDC hdc);
LRESULT DefPrint(Window* w, HDC hdc, LPARAM flags);
LRESULT DefEraseBackground(Window* w, HDC hdc);
bool NeedsPaint(const Window* w);

// Queue (user_queue.cpp).
void RemoveWindowFromQueue(HWND hwnd);
void ResetQueue();
LRESULT CallProc(Window* w, UINT msg, WPARAM wParam, LPARAM lParam);
void PostInput(const MSG& msg);
// A message as the queue hands it out: stamped with the tick count and the cursor position.
MSG QueuedMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT pt);
void WakeQueue();                   // any thread: makes a waiting GetMessage look again
bool UiThreadWaitingForMessages();  // any thread: the UI thread is inside GetMessage/WaitMessage's wait
int64_t NextScriptTicks();
void DeliverDueInput();

// Input (user_input.cpp).
void ApplyInput(const ScriptedInput& in);
void ForgetWindowInput(HWND hwnd);
void OnKeyMessageRetrieved(const MSG& msg);
void ResetInput();

// The clipboard (user_clipboard.cpp): frees every handle it holds and empties it.
void FreeClipboardData();

// Windows (user_window.cpp).
void DestroyAllWindows();
void ResetWindowing();
HWND CreateForeign(int x, int y, int width, int height, uint64_t nativeId);

// Surfaces and the display (display_composite.cpp).
void SurfaceForWindow(Window* w);  // allocates or resizes a top-level's surface
void SurfaceRelease(Window* w);
void SurfaceShown(Window* w);             // newly visible: start from the composite under it
void BurnIntoBelow(Window* w);            // leave its pixels where it stands (SWP_NOREDRAW)
void SurfaceChanged(HWND root);           // mark for presentation
void SurfaceDcReleased(HBITMAP surface);  // frees a retired surface once no DC draws into it
void TopLevelsChanged();                  // z-order, visibility or geometry of top-levels changed

// Standard scroll bars (user_scroll.cpp): the parts of a shown bar drawn into a window DC
// (r in window coordinates), and the mouse loop of a press on a bar (screen point).
void PaintScrollBarParts(HDC hdc, const Window* w, int bar, const RECT& r);
void TrackScrollBar(HWND hwnd, int bar, POINT screen);

// Last-error glue and GDI glue (user_gdi.cpp).
void SetError(DWORD code);
HBITMAP GdiCreateSurface(int width, int height);
void GdiDeleteObject(void* obj);
HRGN GdiRegionFrom(const RectSet& rs);
bool GdiReadRegion(HRGN rgn, RectSet* out);
int GdiCopyRegion(HRGN dest, const RectSet& rs);
void GdiFill(HDC hdc, const RECT& r, COLORREF color);
void GdiFillBrush(HDC hdc, const RECT& r, HBRUSH brush);
HBRUSH GdiSolidBrush(COLORREF color);
int GdiSaveDC(HDC hdc);
void GdiRestoreDC(HDC hdc, int level);
void GdiOffsetViewport(HDC hdc, int dx, int dy);
void GdiIntersectClip(HDC hdc, const RECT& r);
void GdiFreeGlobal(HANDLE h);

}  // namespace win::user
