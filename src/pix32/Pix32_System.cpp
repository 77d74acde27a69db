#include "pix32/Pix32_System.h"

#include <cmath>

#include "platform/clock.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace pix32 {

namespace {
std::unique_ptr<TPerfTimer> g_PerfTimer;
// Freed by the unit's finalization only: a static destructor would run after the window
// manager it talks to has gone.
TThemeNexus* g_ThemeNexus = nullptr;
}  // namespace

bool IsCpuidSupported() { return win::CpuidPresent(); }
uint32_t ReadProcessorSignature() { return win::Cpuid(1).eax; }
uint32_t ReadFeatureFlags() { return win::Cpuid(1).edx; }
bool HasExtendedLeaves() { return win::Cpuid(0x80000000u).eax > 0x80000000u; }
uint32_t ReadExtendedFeatureFlags() { return win::Cpuid(0x80000001u).edx; }

bool ProcessorHasFeature(TCpuFeature F) {
    if (!IsCpuidSupported()) return false;
    if (((ReadProcessorSignature() >> 8) & 0xF) < 5) return false;
    const uint32_t features = ReadFeatureFlags();
    switch (F) {
        case cfMMX: return (features & 0x00800000u) != 0;
        case cfExtendedMMX:
            if (features & 0x02000000u) return true;
            return HasExtendedLeaves() && (ReadExtendedFeatureFlags() & 0x00400000u) != 0;
        case cfSSE: return (features & 0x02000000u) != 0;
        case cfSSE2: return (features & 0x04000000u) != 0;
        case cf3DNow: return HasExtendedLeaves() && (ReadExtendedFeatureFlags() & 0x80000000u) != 0;
        case cf3DNowExt: return HasExtendedLeaves() && (ReadExtendedFeatureFlags() & 0x40000000u) != 0;
    }
    return false;
}

bool HasMMX() { return ProcessorHasFeature(cfMMX); }
bool HasExtendedMMX() { return ProcessorHasFeature(cfExtendedMMX); }
bool Has3DNow() { return ProcessorHasFeature(cf3DNow); }

bool HasSSE2() { return ProcessorHasFeature(cfSSE2); }

int32_t ProcessorCount() {
    win::SYSTEM_INFO info;
    win::GetSystemInfo(&info);
    return static_cast<int32_t>(info.dwNumberOfProcessors);
}

uint32_t GetTickMilliseconds() { return win::GetTickCount(); }

int64_t CounterToMicroseconds(int64_t Ticks, int64_t Frequency) {
    if (Frequency <= 0) return 0;
    // The product in 64-bit integers, the division in floating point, rounded half to even.
    // A difference too large for the integer product (centuries at any real frequency) is
    // multiplied in floating point instead of overflowing.
    constexpr int64_t kLimit = INT64_MAX / 1000000;
    const double product =
        (Ticks > kLimit || Ticks < -kLimit) ? static_cast<double>(Ticks) * 1e6 : static_cast<double>(Ticks * 1000000);
    const double us = product / static_cast<double>(Frequency);
    return static_cast<int64_t>(std::nearbyint(us));
}

void TPerfTimer::Start() {
    win::LARGE_INTEGER c;
    win::QueryPerformanceCounter(&c);
    StartCount = c.QuadPart;
}

int64_t TPerfTimer::ReadMicroseconds() {
    win::LARGE_INTEGER c, f;
    win::QueryPerformanceCounter(&c);
    StopCount = c.QuadPart;
    win::QueryPerformanceFrequency(&f);
    Frequency = f.QuadPart;
    return CounterToMicroseconds(StopCount - StartCount, Frequency);
}

TPerfTimer* GlobalPerfTimer() { return g_PerfTimer.get(); }

// ---------------------------------------------------------------------------------------------
// Themes

TOpenThemeData OpenThemeData = nullptr;
TCloseThemeData CloseThemeData = nullptr;
TDrawThemeBackground DrawThemeBackground = nullptr;
TDrawThemeEdge DrawThemeEdge = nullptr;
TGetThemeColor GetThemeColor = nullptr;
TGetThemeMetric GetThemeMetric = nullptr;
TGetThemeMargins GetThemeMargins = nullptr;
TSetWindowTheme SetWindowTheme = nullptr;
TIsThemeActive IsThemeActive = nullptr;
TIsAppThemed IsAppThemed = nullptr;
TEnableTheming EnableTheming = nullptr;

bool UseThemes = false;
HTHEME ScrollBarTheme = nullptr;
HTHEME GlobalsTheme = nullptr;

namespace {

win::HMODULE g_ThemeLibrary = nullptr;

template <class F>
void Lookup(F& entry, const char* name) {
    entry = reinterpret_cast<F>(win::GetProcAddress(g_ThemeLibrary, name));
}

}  // namespace

bool LoadThemeLibrary() {
    if (g_ThemeLibrary) return true;
    g_ThemeLibrary = win::LoadLibraryA("uxtheme.dll");
    if (!g_ThemeLibrary) return false;
    Lookup(OpenThemeData, "OpenThemeData");
    Lookup(CloseThemeData, "CloseThemeData");
    Lookup(DrawThemeBackground, "DrawThemeBackground");
    Lookup(DrawThemeEdge, "DrawThemeEdge");
    Lookup(GetThemeColor, "GetThemeColor");
    Lookup(GetThemeMetric, "GetThemeMetric");
    Lookup(GetThemeMargins, "GetThemeMargins");
    Lookup(SetWindowTheme, "SetWindowTheme");
    Lookup(IsThemeActive, "IsThemeActive");
    Lookup(IsAppThemed, "IsAppThemed");
    Lookup(EnableTheming, "EnableTheming");
    if (!OpenThemeData || !CloseThemeData || !IsThemeActive || !IsAppThemed || !EnableTheming) UnloadThemeLibrary();
    return g_ThemeLibrary != nullptr;
}

void UnloadThemeLibrary() {
    if (!g_ThemeLibrary) return;
    // The program always runs as an executable, never as a library, so the library is freed.
    win::FreeLibrary(g_ThemeLibrary);
    g_ThemeLibrary = nullptr;
    OpenThemeData = nullptr;
    CloseThemeData = nullptr;
    DrawThemeBackground = nullptr;
    DrawThemeEdge = nullptr;
    GetThemeColor = nullptr;
    GetThemeMetric = nullptr;
    GetThemeMargins = nullptr;
    SetWindowTheme = nullptr;
    IsThemeActive = nullptr;
    IsAppThemed = nullptr;
    EnableTheming = nullptr;
}

bool ThemesUsable() { return g_ThemeLibrary && IsAppThemed() != 0 && IsThemeActive() != 0; }

void OpenVisuals(win::HWND Wnd) {
    UseThemes = false;
    if (!LoadThemeLibrary()) return;
    UseThemes = ThemesUsable();
    if (UseThemes) {
        ScrollBarTheme = OpenThemeData(Wnd, u"SCROLLBAR");
        GlobalsTheme = OpenThemeData(Wnd, u"GLOBALS");
    }
}

void CloseVisuals() {
    if (ThemesUsable()) {
        if (ScrollBarTheme) CloseThemeData(ScrollBarTheme);
        if (GlobalsTheme) CloseThemeData(GlobalsTheme);
    }
    // Handles that could not be closed (themes switched off meanwhile) are not kept either:
    // they would outlive the library that made them.
    ScrollBarTheme = nullptr;
    GlobalsTheme = nullptr;
    UnloadThemeLibrary();
}

// ---------------------------------------------------------------------------------------------
// TThemeNexus

namespace {

constexpr char kNexusWindowClass[] = "TPix32ThemeWindow";

win::LRESULT NexusWindowProc(win::HWND Wnd, win::UINT Msg, win::WPARAM WParam, win::LPARAM LParam) {
    auto* nexus = reinterpret_cast<TThemeNexus*>(win::GetWindowLongPtrA(Wnd, win::GWLP_USERDATA));
    if (!nexus) return win::DefWindowProcA(Wnd, Msg, WParam, LParam);
    cl::TMessage m;
    m.Msg = Msg;
    m.WParam = WParam;
    m.LParam = LParam;
    try {
        nexus->WindowProc(m);
    } catch (...) {
        // Nothing may leave a window procedure; a failed reopening leaves the classic look.
        UseThemes = false;
        return win::DefWindowProcA(Wnd, Msg, WParam, LParam);
    }
    return m.Result;
}

win::HWND CreateUtilityWindow() {
    const win::HINSTANCE instance = win::HInstance();
    win::WNDCLASSA wc;
    if (!win::GetClassInfoA(instance, kNexusWindowClass, &wc)) {
        wc = win::WNDCLASSA{};
        wc.lpfnWndProc = NexusWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kNexusWindowClass;
        if (!win::RegisterClassA(&wc)) return nullptr;
    }
    return win::CreateWindowExA(win::WS_EX_TOOLWINDOW, kNexusWindowClass, "", win::WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, instance, nullptr);
}

}  // namespace

TThemeNexus::TThemeNexus() {
    FWindowHandle = CreateUtilityWindow();
    if (FWindowHandle) win::SetWindowLongPtrA(FWindowHandle, win::GWLP_USERDATA, reinterpret_cast<win::LONG_PTR>(this));
    OpenVisuals(FWindowHandle);
}

TThemeNexus::~TThemeNexus() {
    CloseVisuals();
    if (FWindowHandle) {
        win::SetWindowLongPtrA(FWindowHandle, win::GWLP_USERDATA, 0);
        win::DestroyWindow(FWindowHandle);
        FWindowHandle = nullptr;
    }
}

void TThemeNexus::WindowProc(cl::TMessage& Message) {
    if (Message.Msg == win::WM_THEMECHANGED) {
        CloseVisuals();
        OpenVisuals(FWindowHandle);
    }
    Message.Result = win::DefWindowProcA(FWindowHandle, Message.Msg, Message.WParam, Message.LParam);
}

TThemeNexus* GlobalThemeNexus() { return g_ThemeNexus; }

void Pix32_System_Initialization() {
    if (!g_ThemeNexus) g_ThemeNexus = new TThemeNexus();
    if (!g_PerfTimer) g_PerfTimer = std::make_unique<TPerfTimer>();
}

void Pix32_System_Finalization() {
    g_PerfTimer.reset();
    delete g_ThemeNexus;
    g_ThemeNexus = nullptr;
}

}  // namespace pix32
