// The message queue: sent, posted and input messages, WM_QUIT, WM_PAINT and USER timers,
// and the waits of GetMessage/WaitMessage through the clock.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/signals.h"
#include "platform/user_state_internal.h"

namespace win::user {

namespace {

constexpr int64_t kPollTicks = 10 * kTicksPerMs;
std::atomic<bool> g_uiWaiting{false};

bool InRange(UINT msg, UINT lo, UINT hi) {
    if (lo == 0 && hi == 0) return true;
    return msg >= lo && msg <= hi;
}

bool HwndMatches(HWND filter, HWND target) {
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return target == nullptr;
    return target == filter || IsChild(filter, target);
}

void ProcessSentMessages() {
    State& s = S();
    for (;;) {
        std::shared_ptr<CrossSend> item;
        {
            std::lock_guard<std::mutex> lock(s.queueMutex);
            if (s.sent.empty()) return;
            item = s.sent.front();
            s.sent.pop_front();
        }
        LRESULT r = 0;
        if (Window* w = W(item->hwnd)) r = CallProc(w, item->msg, item->wParam, item->lParam);
        {
            std::lock_guard<std::mutex> lock(s.queueMutex);
            item->result = r;
            item->done = true;
        }
        s.sentDone.notify_all();
    }
}

void MarkDueTimers() {
    int64_t now = ClockNowTicks();
    for (Timer& t : S().timers)
        if (!t.pending && t.due <= now) t.pending = true;
}

// The first window needing WM_PAINT below `h` (itself first), depth first.
HWND FindPaint(HWND h, HWND filter) {
    Window* w = W(h);
    if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) return nullptr;
    if (NeedsPaint(w) && HwndMatches(filter, h)) return h;
    for (HWND c : w->children)
        if (HWND f = FindPaint(c, filter)) return f;
    return nullptr;
}

int64_t NextTimerTicks() {
    int64_t best = kNoDeadline;
    for (const Timer& t : S().timers)
        if (!t.pending) best = std::min(best, t.due);
    return best;
}

// Once a close was requested (a termination signal, the session's end), every window of
// the application that can be seen gets WM_CLOSE once: the visible top-level windows and
// the windows placed inside an adopted foreign window, also those shown later.
std::atomic<uint64_t> g_closeSeen{0};  // the request last acted on

void PostCloseRequests() {
    static std::vector<HWND> asked;
    g_closeSeen = CloseRequested();
    if (!g_closeSeen) return;
    State& s = S();
    std::erase_if(asked, [](HWND h) { return !W(h); });
    auto ask = [](HWND h) {
        if (std::find(asked.begin(), asked.end(), h) != asked.end()) return;
        asked.push_back(h);
        PostMessageA(h, WM_CLOSE, 0, 0);
    };
    const std::vector<HWND> tops = s.topLevels;
    for (HWND t : tops) {
        Window* w = W(t);
        if (!w) continue;
        if (w->foreign) {
            for (HWND c : w->children)
                if (Window* cw = W(c); cw && (cw->style & WS_VISIBLE)) ask(c);
        } else if (w->style & WS_VISIBLE) {
            ask(t);
        }
    }
}

bool PeekInternal(MSG* out, HWND hwnd, UINT lo, UINT hi, UINT flags) {
    State& s = S();
    bool remove = (flags & PM_REMOVE) != 0;
    display::PumpBackend();
    PostCloseRequests();
    ProcessSentMessages();
    DeliverDueInput();
    MarkDueTimers();
    {
        std::unique_lock<std::mutex> lock(s.queueMutex);
        for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
            if (!InRange(it->message, lo, hi)) continue;
            if (!HwndMatches(hwnd, it->hwnd)) continue;
            MSG m = *it;
            if (remove) s.posted.erase(it);
            lock.unlock();
            *out = m;
            s.lastMsg = m;
            if (remove) OnKeyMessageRetrieved(m);
            return true;
        }
        if (s.quitPosted && InRange(WM_QUIT, lo, hi)) {
            MSG m = QueuedMessage(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, s.cursorPos);
            if (remove) s.quitPosted = false;
            *out = m;
            return true;
        }
    }
    if (InRange(WM_PAINT, lo, hi)) {
        std::vector<HWND> tops = s.topLevels;
        for (HWND t : tops) {
            if (HWND p = FindPaint(t, hwnd)) {
                MSG m = QueuedMessage(p, WM_PAINT, 0, 0, s.cursorPos);
                *out = m;
                s.lastMsg = m;
                return true;
            }
        }
    }
    if (InRange(WM_TIMER, lo, hi)) {
        Timer* best = nullptr;
        for (Timer& t : s.timers) {
            if (!t.pending || !HwndMatches(hwnd, t.hwnd)) continue;
            if (!best || t.due < best->due || (t.due == best->due && t.seq < best->seq)) best = &t;
        }
        if (best) {
            MSG m = QueuedMessage(best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), s.cursorPos);
            if (remove) {
                best->pending = false;
                best->due = ClockNowTicks() + static_cast<int64_t>(best->elapse) * kTicksPerMs;
            }
            *out = m;
            s.lastMsg = m;
            return true;
        }
    }
    return false;
}

// Waits until something may be retrievable. False when the clock's horizon is reached.
// The queue's generation: read it before looking at the queue, so that a message
// posted between that look and the wait still ends the wait.
uint64_t QueueGeneration() {
    State& s = S();
    std::lock_guard<std::mutex> lock(s.queueMutex);
    return s.postGen;
}

bool WaitForWork(uint64_t gen) {
    State& s = S();
    int64_t deadline = std::min(NextTimerTicks(), NextScriptTicks());
    if (display::BackendNeedsPolling()) deadline = std::min(deadline, ClockNowTicks() + kPollTicks);
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        if (!s.sent.empty()) return true;
    }
    g_uiWaiting = true;
    ClockWaitResult r = ClockWaitUntil(deadline, [&s, gen] {
        if (CloseRequested() != g_closeSeen) return true;
        std::lock_guard<std::mutex> lock(s.queueMutex);
        return s.postGen != gen || !s.sent.empty();
    });
    g_uiWaiting = false;
    return r != ClockWaitResult::Horizon;
}

}  // namespace

LRESULT CallProc(Window* w, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto keep = WRef(w->hwnd);
    if (!keep) return 0;
    WNDPROC proc = w->proc;
    HWND h = w->hwnd;
    try {
        if (!proc) return DefWindowProcA(h, msg, wParam, lParam);
        return proc(h, msg, wParam, lParam);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window procedure raised an exception (message 0x%04X): %s\n", msg, e.what());
    } catch (...) {
        std::fprintf(stderr, "window procedure raised an exception (message 0x%04X)\n", msg);
    }
    return 0;
}

void PostInput(const MSG& msg) {
    State& s = S();
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        s.posted.push_back(msg);
        ++s.postGen;
    }
}

bool UiThreadWaitingForMessages() { return g_uiWaiting; }

void WakeQueue() {
    State& s = S();
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        ++s.postGen;
    }
    ClockNotify();
}

void RemoveWindowFromQueue(HWND hwnd) {
    State& s = S();
    std::lock_guard<std::mutex> lock(s.queueMutex);
    std::erase_if(s.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
}

int64_t NextScriptTicks() {
    const auto& sc = S().script;
    return sc.empty() ? kNoDeadline : sc.front().due;
}

void DeliverDueInput() {
    State& s = S();
    int64_t now = ClockNowTicks();
    while (!s.script.empty() && s.script.front().due <= now) {
        ScriptedInput in = s.script.front();
        s.script.erase(s.script.begin());
        ApplyInput(in);
    }
}

MSG QueuedMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT pt) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = pt;
    return m;
}

}  // namespace win::user

namespace win {

using namespace user;

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = W(hwnd);
    if (!w) return 0;
    if (OnUiThread()) return CallProc(w, msg, wParam, lParam);
    State& s = S();
    auto item = std::make_shared<CrossSend>(CrossSend{hwnd, msg, wParam, lParam});
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        s.sent.push_back(item);
        ++s.postGen;
    }
    ClockNotify();
    std::unique_lock<std::mutex> lock(s.queueMutex);
    while (!item->done) {
        s.sentDone.wait_for(lock, std::chrono::milliseconds(50));
        if (!item->done && !W(hwnd)) {
            std::erase(s.sent, item);
            return 0;
        }
    }
    return item->result;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !W(hwnd)) {
        SetError(1400);
        return FALSE;
    }
    State& s = S();
    MSG m = QueuedMessage(hwnd, msg, wParam, lParam, POINT{});
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        m.pt = s.cursorPos;
        s.posted.push_back(m);
        ++s.postGen;
    }
    ClockNotify();
    return TRUE;
}

BOOL PostThreadMessageA(DWORD, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(nullptr, msg, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    State& s = S();
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        s.quitPosted = true;
        s.quitCode = exitCode;
        ++s.postGen;
    }
    ClockNotify();
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    MSG m;
    if (!PeekInternal(&m, hwnd, filterMin, filterMax, removeFlags)) return FALSE;
    if (msg) *msg = m;
    return TRUE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    MSG m;
    for (;;) {
        uint64_t gen = QueueGeneration();
        if (PeekInternal(&m, hwnd, filterMin, filterMax, PM_REMOVE)) break;
        if (!WaitForWork(gen)) {
            m = MSG{};
            m.message = WM_QUIT;
            m.time = GetTickCount();
            break;
        }
    }
    if (msg) *msg = m;
    return m.message == WM_QUIT ? FALSE : TRUE;
}

BOOL WaitMessage() {
    MSG m;
    for (;;) {
        uint64_t gen = QueueGeneration();
        if (PeekInternal(&m, nullptr, 0, 0, PM_NOREMOVE)) break;
        if (!WaitForWork(gen)) return FALSE;
    }
    return TRUE;
}

namespace {

int CharForKey(int vk) {
    State& s = S();
    bool shift = (s.syncKeys[VK_SHIFT] & 0x80) != 0;
    bool ctrl = (s.syncKeys[VK_CONTROL] & 0x80) != 0;
    bool caps = (s.syncKeys[VK_CAPITAL] & 0x01) != 0;
    if (vk >= 'A' && vk <= 'Z') {
        if (ctrl) return vk - 'A' + 1;
        return (shift != caps) ? vk : vk - 'A' + 'a';
    }
    if (vk >= '0' && vk <= '9') {
        if (ctrl) return 0;
        static const char shifted[] = ")!@#$%^&*(";
        return shift ? shifted[vk - '0'] : vk;
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return '0' + (vk - VK_NUMPAD0);
    switch (vk) {
        case VK_SPACE: return ' ';
        case VK_RETURN: return '\r';
        case VK_BACK: return 8;
        case VK_TAB: return ctrl ? 0 : 9;
        case VK_ESCAPE: return 27;
        case VK_MULTIPLY: return '*';
        case VK_ADD: return '+';
        case VK_SUBTRACT: return '-';
        case VK_DECIMAL: return '.';
        case VK_DIVIDE: return '/';
        default: return 0;
    }
}

}  // namespace

BOOL TranslateMessage(const MSG* msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
        return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP ? TRUE : FALSE;
    }
    int ch = CharForKey(static_cast<int>(msg->wParam));
    if (ch) {
        MSG c = *msg;
        c.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
        c.wParam = static_cast<WPARAM>(ch);
        PostInput(c);
    }
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        for (const Timer& t : S().timers) {
            if (t.hwnd == msg->hwnd && t.id == msg->wParam && reinterpret_cast<LPARAM>(t.proc) == msg->lParam) {
                TIMERPROC proc = t.proc;
                try {
                    proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
                } catch (...) {
                    std::fprintf(stderr, "timer procedure raised an exception\n");
                }
                return 0;
            }
        }
        return 0;
    }
    Window* w = W(msg->hwnd);
    if (!w) return 0;
    return CallProc(w, msg->message, msg->wParam, msg->lParam);
}

DWORD GetMessagePos() {
    const MSG& m = S().lastMsg;
    return static_cast<DWORD>(MAKELONG(m.pt.x, m.pt.y));
}

LONG GetMessageTime() { return static_cast<LONG>(S().lastMsg.time); }

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    State& s = S();
    if (hwnd && !W(hwnd)) {
        SetError(1400);
        return 0;
    }
    elapse = std::clamp(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    int64_t due = ClockNowTicks() + static_cast<int64_t>(elapse) * kTicksPerMs;
    for (Timer& t : s.timers) {
        if (t.hwnd == hwnd && t.id == id && (hwnd || id)) {
            t.elapse = elapse;
            t.proc = proc;
            t.due = due;
            t.pending = false;
            t.seq = ++s.timerSeq;
            return hwnd ? (id ? id : 1) : id;
        }
    }
    Timer t;
    t.hwnd = hwnd;
    t.id = hwnd ? id : s.nextThreadTimerId++;
    t.elapse = elapse;
    t.proc = proc;
    t.due = due;
    t.seq = ++s.timerSeq;
    s.timers.push_back(t);
    return hwnd ? (id ? id : 1) : t.id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    State& s = S();
    auto it =
        std::find_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == s.timers.end()) return FALSE;
    s.timers.erase(it);
    return TRUE;
}

}  // namespace win
