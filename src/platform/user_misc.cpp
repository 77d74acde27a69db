// System metrics and colours, message boxes, the clipboard, input scripts, start-up and
// the test seams.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/user_state.h"

namespace win::user {

namespace {

struct SysColorEntry {
    int index;
    BYTE r, g, b;
};
constexpr SysColorEntry kSysColors[] = {
    {0, 212, 208, 200},  {1, 58, 110, 165},   {2, 10, 36, 106},    {3, 128, 128, 128},  {4, 212, 208, 200},
    {5, 255, 255, 255},  {6, 0, 0, 0},        {7, 0, 0, 0},        {8, 0, 0, 0},        {9, 255, 255, 255},
    {10, 212, 208, 200}, {11, 212, 208, 200}, {12, 128, 128, 128}, {13, 10, 36, 106},   {14, 255, 255, 255},
    {15, 212, 208, 200}, {16, 128, 128, 128}, {17, 128, 128, 128}, {18, 0, 0, 0},       {19, 212, 208, 200},
    {20, 255, 255, 255}, {21, 64, 64, 64},    {22, 212, 208, 200}, {23, 0, 0, 0},       {24, 255, 255, 225},
    {26, 0, 0, 128},     {27, 166, 202, 240}, {28, 192, 192, 192}, {29, 10, 36, 106},   {30, 212, 208, 200},
};

std::vector<int> ButtonsFor(UINT type) {
    switch (type & 0x0F) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

struct FormatRegistry {
    std::mutex mutex;
    std::map<std::string, UINT> ids;
    UINT next = 0xC000;
};
FormatRegistry& Formats() {
    static FormatRegistry r;
    return r;
}

void FreeClipboardData() {
    State& s = S();
    for (auto& [fmt, h] : s.clipboard) GdiFreeGlobal(h);
    s.clipboard.clear();
}

constexpr long long kMaxScriptMs = 100'000'000'000LL;  // about three years of clock time

bool ParseScript(const std::string& script, std::vector<ScriptedInput>* out) {
    std::stringstream all(script);
    std::string item;
    while (std::getline(all, item, ';')) {
        std::istringstream in(item);
        std::string kind;
        long long ms;
        if (!(in >> ms)) {
            bool blank = std::all_of(item.begin(), item.end(), [](unsigned char c) { return std::isspace(c); });
            if (blank) continue;
            return false;
        }
        if (!(in >> kind) || ms < 0 || ms > kMaxScriptMs) return false;
        for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ScriptedInput ev;
        ev.due = display::TicksAtMs(ms);
        std::string a, b;
        if (kind == "key") {
            if (!(in >> a)) return false;
            char* end = nullptr;
            long vk = std::strtol(a.c_str(), &end, 0);
            if (*end || vk <= 0 || vk > 255) return false;
            ev.kind = InputKind::Key;
            ev.a = static_cast<int>(vk);
        } else if (kind == "move" || kind == "click" || kind == "dblclick") {
            long long x, y;
            if (!(in >> x >> y) || x < -32768 || x > 32767 || y < -32768 || y > 32767) return false;
            ev.kind = kind == "move" ? InputKind::Move : kind == "click" ? InputKind::Click : InputKind::DblClick;
            ev.a = static_cast<int>(x);
            ev.b = static_cast<int>(y);
        } else {
            return false;
        }
        std::string rest;
        if (in >> rest) return false;
        out->push_back(ev);
    }
    return true;
}

}  // namespace

}  // namespace win::user

namespace win {

using namespace user;

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN: return display::ScreenWidth();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return display::ScreenHeight();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL: return 17;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXFRAME:
    case SM_CYFRAME:
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CMONITORS: return 1;
    default: return 0;
    }
}

DWORD GetSysColor(int index) {
    for (const auto& e : kSysColors)
        if (e.index == index) return RGB(e.r, e.g, e.b);
    return 0;
}

HBRUSH GetSysColorBrush(int index) {
    static std::mutex mutex;
    static std::map<int, HBRUSH> brushes;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = brushes.find(index);
    if (it != brushes.end()) return it->second;
    HBRUSH b = GdiSolidBrush(GetSysColor(index));
    if (b) brushes[index] = b;
    return b;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    State& s = S();
    test::MessageBoxRecord rec;
    rec.owner = owner;
    rec.text = text ? text : "";
    rec.caption = caption ? caption : "";
    rec.type = type;
    rec.time = GetTickCount();
    std::vector<int> buttons = ButtonsFor(type);
    int answer = 0;
    if (!s.boxAnswers.empty()) {
        answer = s.boxAnswers.front();
        s.boxAnswers.pop_front();
    } else if (auto* b = display::CurrentBackend()) {
        answer = b->ShowMessageBox(owner, rec.text, rec.caption, type);
    }
    if (answer == 0) {
        size_t def = (type >> 8) & 0x0F;
        answer = buttons[std::min(def, buttons.size() - 1)];
    }
    rec.answer = answer;
    s.boxes.push_back(rec);
    return answer;
}

UINT RegisterClipboardFormatA(LPCSTR name) {
    if (!name || !*name) {
        SetError(87);
        return 0;
    }
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto& r = Formats();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.ids.find(key);
    if (it != r.ids.end()) return it->second;
    if (r.next > 0xFFFF) return 0;
    UINT id = r.next++;
    r.ids[key] = id;
    return id;
}

BOOL OpenClipboard(HWND owner) {
    State& s = S();
    if (s.clipboardOpen && s.clipboardOwner != owner) return FALSE;
    s.clipboardOpen = true;
    s.clipboardOwner = owner;
    return TRUE;
}

BOOL CloseClipboard() {
    State& s = S();
    if (!s.clipboardOpen) return FALSE;
    s.clipboardOpen = false;
    s.clipboardOwner = nullptr;
    return TRUE;
}

BOOL EmptyClipboard() {
    State& s = S();
    if (!s.clipboardOpen) return FALSE;
    FreeClipboardData();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    State& s = S();
    if (!s.clipboardOpen || format == 0) return nullptr;
    auto it = s.clipboard.find(format);
    if (it != s.clipboard.end() && it->second != data) GdiFreeGlobal(it->second);
    s.clipboard[format] = data;
    return data;
}

HANDLE GetClipboardData(UINT format) {
    State& s = S();
    if (!s.clipboardOpen) return nullptr;
    auto it = s.clipboard.find(format);
    return it == s.clipboard.end() ? nullptr : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format) { return S().clipboard.count(format) ? TRUE : FALSE; }

HWND GetOpenClipboardWindow() { return S().clipboardOpen ? S().clipboardOwner : nullptr; }

void PlatformStartUp() {
    ClockModeFromEnvironment();
    FreeClipboardData();
    ResetWindowing();
    display::StartFromEnvironment();
    if (const char* script = std::getenv("LUMETRA_INPUT"); script && *script) {
        if (!test::SetInputScript(script))
            std::fprintf(stderr, "LUMETRA_INPUT: not a valid input script, ignored\n");
    }
}

void PlatformShutDown() {
    FreeClipboardData();
    DestroyAllWindows();
    display::ShutDown();
}

namespace test {

Screen ScreenComposite() {
    Screen s;
    s.width = display::ScreenWidth();
    s.height = display::ScreenHeight();
    s.pixels = display::ComposeRect(RECT{0, 0, s.width, s.height}, nullptr);
    return s;
}

void ResetUser(int width, int height) {
    display::StopCaptures();
    FreeClipboardData();
    ResetWindowing();
    display::SetBackend(display::MakeHeadlessBackend(width, height));
}

void ScheduleInput(int64_t ms, std::function<void()> inject) {
    ScriptedInput ev;
    ev.due = display::TicksAtMs(ms);
    ev.kind = InputKind::Custom;
    ev.custom = std::move(inject);
    State& s = S();
    ev.seq = ++s.scriptSeq;
    auto at = std::upper_bound(s.script.begin(), s.script.end(), ev, [](const ScriptedInput& a, const ScriptedInput& b) {
        return a.due < b.due || (a.due == b.due && a.seq < b.seq);
    });
    s.script.insert(at, std::move(ev));
}

bool SetInputScript(const std::string& script) {
    std::vector<ScriptedInput> events;
    if (!ParseScript(script, &events)) return false;
    State& s = S();
    for (ScriptedInput& e : events) {
        e.seq = ++s.scriptSeq;
        s.script.push_back(e);
    }
    std::stable_sort(s.script.begin(), s.script.end(), [](const ScriptedInput& a, const ScriptedInput& b) {
        return a.due < b.due || (a.due == b.due && a.seq < b.seq);
    });
    ClockNotify();
    return true;
}

HWND CreateForeignWindow(int width, int height) { return CreateForeign(0, 0, width, height, 0); }

std::vector<MessageBoxRecord> MessageBoxes() { return S().boxes; }

void QueueMessageBoxAnswer(int answer) { S().boxAnswers.push_back(answer); }

uint64_t NativeWindowId(HWND hwnd) {
    auto* b = display::CurrentBackend();
    return b ? b->NativeId(hwnd) : 0;
}

const char* BackendName() {
    auto* b = display::CurrentBackend();
    return b ? b->Name() : "none";
}

}  // namespace test

}  // namespace win
