// Processor, system and display probes, and the small bitmap and window helpers built on them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "transitions/teRender.h"

namespace te {

bool MMXAvailable = false;
bool ExtMMXAvailable = false;
uint8_t WinVersionCode = 0;
bool RunningInPackage = false;
bool MiddleEastLocale = false;

namespace {

int gDisplayBitCount = 0;
cl::TPixelFormat gDisplayPixelFormat = cl::pf32bit;

using DwmIsCompositionEnabledProc = long (*)(int* enabled);
win::HMODULE gDwmModule = nullptr;
bool gDwmTried = false;
DwmIsCompositionEnabledProc gDwmIsCompositionEnabled = nullptr;

}  // namespace

// ---- processor ---------------------------------------------------------------------------------------

uint32_t GetProcessorFeatures() {
    if (!win::CpuidPresent()) return 0;
    uint32_t word = 0x1;
    char vendor[13] = "UnknownVendr";
    win::CpuidRegs l0 = win::Cpuid(0);
    uint32_t signature = 0;
    if (l0.eax != 0) {
        word |= 0x2;
        std::memcpy(vendor, &l0.ebx, 4);
        std::memcpy(vendor + 4, &l0.edx, 4);
        std::memcpy(vendor + 8, &l0.ecx, 4);
        win::CpuidRegs l1 = win::Cpuid(1);
        signature = l1.eax;
        if (l1.edx & (1u << 4)) word |= 0x10;
        if (l1.edx & (1u << 23)) word |= 0x20;
        if (l1.edx & (1u << 15)) word |= 0x40;
        if (l1.edx & (1u << 12)) word |= 0x1000;
        if (l1.edx & (1u << 25)) word |= 0x600;
    }
    win::CpuidRegs e0 = win::Cpuid(0x80000000u);
    if (e0.eax > 0x80000000u) {
        word |= 0x4;
        win::CpuidRegs e1 = win::Cpuid(0x80000001u);
        if (e1.edx & (1u << 31)) word |= 0x80;
        if (std::strcmp(vendor, "AuthenticAMD") == 0) {
            if (e1.edx & (1u << 30)) word |= 0x100;
            if (!(word & 0x200) && (e1.edx & (1u << 22))) word |= 0x200;
        }
    }
    uint32_t low = signature & 0xFFF;
    if (low >= 0x588 && low <= 0x5FF) word |= 0x800;
    return word;
}

void DetectProcessorFeatures() {
    uint32_t f = GetProcessorFeatures();
    MMXAvailable = (f & 0x20) != 0;
    ExtMMXAvailable = (f & 0x200) != 0;
}

// ---- system ----------------------------------------------------------------------------------------------

uint8_t OSVersionCodeOf(uint32_t Platform, uint32_t Major, uint32_t Minor, const std::string& ServicePack) {
    constexpr uint32_t kWin32s = 0, kWindows = 1, kNT = 2;
    if (Platform == kWin32s) return 1;
    if (Platform == kWindows) {
        if (Major != 4) return 0;
        if (Minor == 0) return 2;
        if (Minor == 10) return (!ServicePack.empty() && ServicePack[0] == 'A') ? 4 : 3;
        if (Minor == 90) return 5;
        return 0;
    }
    if (Platform == kNT) {
        switch (Major) {
            case 4: return 6;
            case 5: return Minor <= 2 ? static_cast<uint8_t>(7 + Minor) : 0;
            case 6: return Minor <= 1 ? static_cast<uint8_t>(10 + Minor) : 0;
            default: return 12;
        }
    }
    return 0;
}

uint8_t GetOSVersionCode() {
    win::OSVERSIONINFOA info;
    if (!win::GetVersionExA(&info)) return 0;
    return OSVersionCodeOf(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion);
}

// ---- display --------------------------------------------------------------------------------------------

int GetDisplayBitCount(bool Refresh) {
    if (Refresh || gDisplayBitCount == 0) {
        win::HDC dc = win::GetDC(nullptr);
        gDisplayBitCount = win::GetDeviceCaps(dc, win::PLANES) * win::GetDeviceCaps(dc, win::BITSPIXEL);
        win::ReleaseDC(nullptr, dc);
    }
    return gDisplayBitCount;
}

cl::TPixelFormat PixelFormatFromBitCount(int Bits) {
    switch (Bits) {
        case 1: return cl::pf1bit;
        case 4: return cl::pf4bit;
        case 8: return cl::pf8bit;
        case 15: return cl::pf15bit;
        case 16: return DetectHighColorFormat();
        case 32: return cl::pf32bit;
        default: return cl::pf24bit;
    }
}

cl::TPixelFormat GetDisplayPixelFormat(bool Refresh) {
    if (Refresh) gDisplayPixelFormat = PixelFormatFromBitCount(GetDisplayBitCount(true));
    return gDisplayPixelFormat;
}

cl::TPixelFormat HighColorFormatOfDC(win::HDC DC) {
    int changes = 0;
    int last = 255;
    for (int g = 0; g <= 255; ++g) {
        win::SetPixel(DC, 1, 1, win::RGB(0, static_cast<win::BYTE>(g), 0));
        int read = win::GetGValue(win::GetPixel(DC, 1, 1));
        if (read != last) {
            ++changes;
            last = read;
        }
    }
    return changes > 32 ? cl::pf16bit : cl::pf15bit;
}

cl::TPixelFormat DetectHighColorFormat() {
    win::HDC screen = win::GetDC(nullptr);
    win::HDC dc = win::CreateCompatibleDC(screen);
    win::HBITMAP bmp = win::CreateCompatibleBitmap(screen, 10, 10);
    win::ReleaseDC(nullptr, screen);
    win::HGDIOBJ old = win::SelectObject(dc, bmp);
    cl::TPixelFormat result = HighColorFormatOfDC(dc);
    win::SelectObject(dc, old);
    win::DeleteObject(bmp);
    win::DeleteDC(dc);
    return result;
}

bool IsPaletteDisplay(bool Refresh) { return GetDisplayBitCount(Refresh) == 8; }

win::HPALETTE CreateSystemPalette() {
    win::HDC dc = win::GetDC(nullptr);
    int count = std::clamp(win::GetDeviceCaps(dc, win::SIZEPALETTE), 0, 256);
    std::vector<uint8_t> buf(sizeof(win::LOGPALETTE) + sizeof(win::PALETTEENTRY) * 256);
    auto* lp = reinterpret_cast<win::LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<win::WORD>(count);
    if (count > 0) win::GetSystemPaletteEntries(dc, 0, static_cast<win::UINT>(count), lp->palPalEntry);
    win::ReleaseDC(nullptr, dc);
    return win::CreatePalette(lp);
}

int GetPixelFormatBitCount(cl::TPixelFormat PixelFormat) {
    switch (PixelFormat) {
        case cl::pfDevice: return 0;
        case cl::pf1bit: return 1;
        case cl::pf4bit: return 4;
        case cl::pf8bit: return 8;
        case cl::pf15bit: return 16;
        case cl::pf16bit: return 16;
        case cl::pf24bit: return 24;
        case cl::pf32bit: return 32;
        case cl::pfCustom: {
            cl::TPixelFormat d = GetDisplayPixelFormat(false);
            return d == cl::pfCustom ? 0 : GetPixelFormatBitCount(d);
        }
    }
    return 0;
}

// ---- bitmaps --------------------------------------------------------------------------------------------

void AdjustBitmapFormat(cl::TBitmap* Bitmap, win::HPALETTE Palette, int Width, int Height,
                        cl::TPixelFormat PixelFormat) {
    Bitmap->SetPixelFormat(PixelFormat);
    if (PixelFormat == cl::pf1bit) Bitmap->SetMonochrome(true);
    if (PixelFormat == cl::pf8bit) Bitmap->SetPalette(Palette ? Palette : CreateSystemPalette());
    // Both at once: a bitmap with no rows keeps no width of its own.
    Bitmap->SetSize(Width, Height);
}

void InitSolidBitmap(cl::TBitmap* Bitmap, int Width, int Height, win::HPALETTE Palette, cl::TPixelFormat PixelFormat,
                     cl::TColor Color) {
    cl::TCanvas* canvas = Bitmap->GetCanvas();
    canvas->Lock();
    try {
        AdjustBitmapFormat(Bitmap, Palette, Width, Height, PixelFormat);
        canvas->GetBrush()->SetColor(Color);
        canvas->FillRect(cl::Rect(0, 0, Width + 1, Height + 1));
    } catch (...) {
        canvas->Unlock();
        throw;
    }
    canvas->Unlock();
}

int GetBytesPerScanline(cl::TBitmap* Bitmap, cl::TPixelFormat PixelFormat, int Alignment) {
    if (PixelFormat == cl::pfDevice || PixelFormat == cl::pfCustom || Alignment <= 0) return 0;
    int64_t bits = static_cast<int64_t>(Bitmap->GetWidth()) * GetPixelFormatBitCount(PixelFormat);
    int64_t aligned = (bits + Alignment - 1) & ~static_cast<int64_t>(Alignment - 1);
    return static_cast<int>(aligned / 8);
}

cl::TBitmap* CaptureScreenRect(const win::RECT& R, cl::TPixelFormat PixelFormat, bool IncludeLayered) {
    auto bmp = std::make_unique<cl::TBitmap>();
    int w = R.right - R.left, h = R.bottom - R.top;
    AdjustBitmapFormat(bmp.get(), nullptr, w, h, PixelFormat);
    win::DWORD rop = win::SRCCOPY;
    if (IncludeLayered && WinVersionCode >= 7) rop |= win::CAPTUREBLT;
    win::HDC screen = win::GetDC(nullptr);
    win::BitBlt(bmp->GetCanvas()->GetHandle(), 0, 0, w, h, screen, R.left, R.top, rop);
    win::ReleaseDC(nullptr, screen);
    return bmp.release();
}

// ---- windows ---------------------------------------------------------------------------------------------

namespace {

bool RectInside(const win::RECT& inner, const win::RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool RectsIntersect(const win::RECT& a, const win::RECT& b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

}  // namespace

bool IsWindowAreaObscured(win::HWND Wnd, win::HWND ExcludeWnd, const win::RECT& R) {
    if (!Wnd) return false;
    win::RECT wr;
    if (!win::GetWindowRect(Wnd, &wr)) return false;
    if (!RectInside(R, wr)) return true;
    win::RECT vs;
    vs.left = win::GetSystemMetrics(win::SM_XVIRTUALSCREEN);
    vs.top = win::GetSystemMetrics(win::SM_YVIRTUALSCREEN);
    vs.right = vs.left + win::GetSystemMetrics(win::SM_CXVIRTUALSCREEN);
    vs.bottom = vs.top + win::GetSystemMetrics(win::SM_CYVIRTUALSCREEN);
    if (!RectInside(R, vs)) return true;
    auto isChild = [](win::HWND h) {
        return (static_cast<win::DWORD>(win::GetWindowLongA(h, win::GWL_STYLE)) & win::WS_CHILD) != 0;
    };
    // The climb ends at the first top-level ancestor: windows above it are not examined.
    // Bounded: a window tree is finite, but a corrupt one must not hang the caller.
    win::HWND w = Wnd;
    for (int depth = 0; w && isChild(w) && depth < 4096; ++depth) {
        for (win::HWND s = win::GetWindow(w, win::GW_HWNDPREV); s; s = win::GetWindow(s, win::GW_HWNDPREV)) {
            if (s == ExcludeWnd || !win::IsWindowVisible(s)) continue;
            win::RECT sr;
            if (win::GetWindowRect(s, &sr) && RectsIntersect(sr, R)) return true;
        }
        win::HWND parent = win::GetParent(w);
        if (!parent) break;
        if (parent != ExcludeWnd && isChild(parent)) {
            win::RECT pr;
            if (win::GetWindowRect(parent, &pr) && !RectInside(R, pr)) return true;
        }
        w = parent;
    }
    return false;
}

bool HasWindowRegion(win::HWND Wnd) {
    win::HRGN rgn = win::CreateRectRgn(0, 0, 0, 0);
    bool has = win::GetWindowRgn(Wnd, rgn) != 0;
    win::DeleteObject(rgn);
    return has;
}

void GetWindowClientOffset(win::HWND Wnd, win::POINT& Offset) {
    win::RECT wr;
    win::POINT origin;
    Offset = win::POINT{};
    if (!win::GetWindowRect(Wnd, &wr)) return;
    win::ClientToScreen(Wnd, &origin);
    Offset.x = origin.x - wr.left;
    Offset.y = origin.y - wr.top;
}

bool IsDwmCompositionEnabled() {
    if (!gDwmTried && WinVersionCode >= 10) {
        gDwmTried = true;
        gDwmModule = win::LoadLibraryA("DWMAPI.DLL");
        if (gDwmModule)
            gDwmIsCompositionEnabled = reinterpret_cast<DwmIsCompositionEnabledProc>(
                win::GetProcAddress(gDwmModule, "DwmIsCompositionEnabled"));
    }
    if (!gDwmIsCompositionEnabled) return false;
    int enabled = 0;
    return gDwmIsCompositionEnabled(&enabled) == 0 && enabled != 0;
}

cl::String GetVersionText() { return "Version 4.3 beta 2"; }

// ---- start-up --------------------------------------------------------------------------------------------

void ReleaseDwm() {
    if (gDwmModule) win::FreeLibrary(gDwmModule);
    gDwmModule = nullptr;
    gDwmIsCompositionEnabled = nullptr;
    gDwmTried = false;
}

bool DetectMiddleEastLocale() {
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (!v || !*v) continue;
        std::string lang(v, std::min<size_t>(2, std::strlen(v)));
        return lang == "ar" || lang == "he" || lang == "iw" || lang == "fa" || lang == "ur" || lang == "yi";
    }
    return false;
}

bool DetectRunningInPackage() {
    char path[1024] = {};
    win::DWORD n = win::GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string name(path, n);
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    return name.substr(dot) == ".bpl";
}

}  // namespace te
