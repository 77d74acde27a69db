// Paint callbacks for rich-edit controls, the theme and version facts they depend on, and
// the start-up and shutdown of the rendering unit.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "classlib/Controls.h"
#include "classlib/TypInfo.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"
#include "transitions/teRender_internal.h"

namespace te {

namespace {

// Rich-edit messages and their records (the control's own protocol).
constexpr unsigned int EM_GETRECT = 0x00B2;
constexpr unsigned int EM_POSFROMCHAR = 0x00D6;
constexpr unsigned int EM_CHARFROMPOS = 0x00D7;
constexpr unsigned int EM_FORMATRANGE = 0x0439;

struct CHARRANGE {
    int32_t cpMin = 0;
    int32_t cpMax = 0;
};

struct FORMATRANGE {
    win::HDC hdc = nullptr;
    win::HDC hdcTarget = nullptr;
    win::RECT rc;
    win::RECT rcPage;
    CHARRANGE chrg;
};

int gStartCount = 0;
int gRichEditMajor = -1;

using GetFileVersionInfoSizeProc = win::DWORD (*)(const char*, win::DWORD*);
using GetFileVersionInfoProc = win::BOOL (*)(const char*, win::DWORD, win::DWORD, void*);
using VerQueryValueProc = win::BOOL (*)(const void*, const char*, void**, win::UINT*);

struct VS_FIXEDFILEINFO {
    win::DWORD dwSignature;
    win::DWORD dwStrucVersion;
    win::DWORD dwFileVersionMS;
    win::DWORD dwFileVersionLS;
};

int ReadRichEditMajorVersion() {
    win::HMODULE version = win::LoadLibraryA("version.dll");
    if (!version) return 0;
    int major = 0;
    auto size = reinterpret_cast<GetFileVersionInfoSizeProc>(win::GetProcAddress(version, "GetFileVersionInfoSizeA"));
    auto info = reinterpret_cast<GetFileVersionInfoProc>(win::GetProcAddress(version, "GetFileVersionInfoA"));
    auto query = reinterpret_cast<VerQueryValueProc>(win::GetProcAddress(version, "VerQueryValueA"));
    if (size && info && query) {
        win::DWORD handle = 0;
        win::DWORD n = size("RICHED32.DLL", &handle);
        if (n > 0 && n < (1u << 24)) {
            std::vector<uint8_t> block(n);
            void* p = nullptr;
            win::UINT len = 0;
            if (info("RICHED32.DLL", handle, n, block.data()) && query(block.data(), "\\", &p, &len) && p &&
                len >= sizeof(VS_FIXEDFILEINFO))
                major = static_cast<int>(static_cast<const VS_FIXEDFILEINFO*>(p)->dwFileVersionMS >> 16);
        }
    }
    win::FreeLibrary(version);
    return major;
}

win::LRESULT Send(cl::TWinControl* c, unsigned int msg, win::WPARAM w, win::LPARAM l) {
    return win::SendMessageA(c->GetHandle(), msg, w, l);
}

}  // namespace

bool ThemesActive() {
    win::HMODULE ux = win::LoadLibraryA("uxtheme.dll");
    if (!ux) return false;
    using IsThemeActiveProc = win::BOOL (*)();
    auto active = reinterpret_cast<IsThemeActiveProc>(win::GetProcAddress(ux, "IsThemeActive"));
    bool on = active && active();
    win::FreeLibrary(ux);
    return on;
}

int RichEditMajorVersion() {
    if (gRichEditMajor < 0) gRichEditMajor = ReadRichEditMajorVersion();
    return gRichEditMajor;
}

int32_t PixelsToTwips(int64_t Pixels, int PixelsPerInch) {
    if (PixelsPerInch <= 0) PixelsPerInch = 96;
    int64_t t = Pixels * 1440 / PixelsPerInch;
    return static_cast<int32_t>(
        std::clamp<int64_t>(t, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void PaintRichEditFormatted(cl::TWinControl* Control, win::HDC DC, bool Erase) {
    if (!Control) return;
    if (Erase) {
        int level = win::SaveDC(DC);
        Send(Control, win::WM_ERASEBKGND, reinterpret_cast<win::WPARAM>(DC), 0);
        win::RestoreDC(DC, level);
    }
    FORMATRANGE range;
    range.hdc = DC;
    range.hdcTarget = DC;
    win::LRESULT first = Send(Control, EM_CHARFROMPOS, 0, win::MAKELPARAM(1, 1));
    range.chrg.cpMin = static_cast<int32_t>(first & 0xFFFF);
    range.chrg.cpMax = -1;
    win::LRESULT pos = Send(Control, EM_POSFROMCHAR, static_cast<win::WPARAM>(range.chrg.cpMin), 0);
    int charY = static_cast<int16_t>(win::HIWORD(static_cast<uintptr_t>(pos)));
    win::RECT fr;
    Send(Control, EM_GETRECT, 0, reinterpret_cast<win::LPARAM>(&fr));
    int dpiX = win::GetDeviceCaps(DC, win::LOGPIXELSX);
    int dpiY = win::GetDeviceCaps(DC, win::LOGPIXELSY);
    win::DWORD style = static_cast<win::DWORD>(win::GetWindowLongA(Control->GetHandle(), win::GWL_STYLE));
    bool noWrap = (style & win::ES_AUTOHSCROLL) || (style & win::WS_HSCROLL);
    int64_t right = noWrap ? 9999999 : fr.right;
    range.rcPage = MakeRect(PixelsToTwips(fr.left, dpiX), PixelsToTwips(fr.top, dpiY),
                            PixelsToTwips(fr.right - 1, dpiX), PixelsToTwips(fr.bottom, dpiY));
    range.rc = MakeRect(PixelsToTwips(fr.left, dpiX), PixelsToTwips(fr.top, dpiY), PixelsToTwips(right, dpiX),
                        PixelsToTwips(static_cast<int64_t>(fr.bottom) + 100, dpiY));
    int cw = Control->GetClientWidth();
    win::ExcludeClipRect(DC, cw - 1, 0, cw, Control->GetClientHeight());
    Send(Control, EM_FORMATRANGE, 0, 0);
    win::POINT old;
    win::OffsetViewportOrgEx(DC, 0, charY - 1, &old);
    Send(Control, EM_FORMATRANGE, 1, reinterpret_cast<win::LPARAM>(&range));
    win::SetViewportOrgEx(DC, old.x, old.y, nullptr);
    Send(Control, EM_FORMATRANGE, 0, 0);
}

void PaintRichEditFormattedErase(cl::TWinControl* Control, win::HDC DC) { PaintRichEditFormatted(Control, DC, true); }

void PaintRichEditOld(cl::TWinControl* Control, win::HDC DC) {
    if (!Control) return;
    Send(Control, win::WM_PAINT, 0, 0);
    Send(Control, win::WM_PRINT, reinterpret_cast<win::WPARAM>(DC), win::PRF_CLIENT | win::PRF_ERASEBKGND);
}

void PaintFramedRichEdit(cl::TWinControl* Control, win::HDC DC) {
    if (!Control) return;
    bool frameEnabled = false, frameTransparent = false, hasFrame = false;
    cl::PPropInfo frameInfo = cl::GetPropInfo(Control, "Frame");
    if (frameInfo && frameInfo->Kind == cl::tkClass && frameInfo->TypeName == "TwwEditFrame") {
        if (cl::TObject* frame = cl::GetObjectProp(Control, "Frame")) {
            hasFrame = true;
            if (cl::GetPropInfo(frame, "Enabled")) frameEnabled = cl::GetOrdProp(frame, "Enabled") != 0;
            if (cl::GetPropInfo(frame, "Transparent")) frameTransparent = cl::GetOrdProp(frame, "Transparent") != 0;
        }
    }
    if (hasFrame) {
        if (frameEnabled && frameTransparent)
            PaintCopyByMessage(DC, Control);
        else
            PrintNonClient(DC, Control, Control->GetHandle());
    } else {
        cl::TWinControl* parent = Control->GetParent();
        bool inGrid = false;
        for (const cl::TClass* c = parent ? &parent->ClassType() : nullptr; c; c = c->Parent)
            if (cl::SameText(c->Name, "TCustomGrid") || cl::SameText(c->Name, "TwwRecordViewPanel")) inGrid = true;
        if (!Control->Focused() && inGrid) PaintCopyByMessage(DC, Control);
    }
    win::POINT off;
    GetWindowClientOffset(Control->GetHandle(), off);
    win::POINT old;
    win::OffsetWindowOrgEx(DC, -off.x, -off.y, &old);
    int level = win::SaveDC(DC);
    win::IntersectClipRect(DC, 0, 0, Control->GetClientWidth(), Control->GetClientHeight());
    PaintRichEditFormatted(Control, DC, !(frameEnabled && frameTransparent));
    win::RestoreDC(DC, level);
    win::SetWindowOrgEx(DC, old.x, old.y, nullptr);
}

// ---- start-up ---------------------------------------------------------------------------------------------

void RenderStartUp() {
    if (gStartCount++ > 0) return;
    GetDisplayPixelFormat(true);
    DetectProcessorFeatures();
    WinVersionCode = GetOSVersionCode();
    RunningInPackage = DetectRunningInPackage();
    MiddleEastLocale = DetectMiddleEastLocale();
    CreatePaintRegistry();
}

void RenderShutDown() {
    if (gStartCount == 0 || --gStartCount > 0) return;
    FreePaintRegistry();
    ReleaseDwm();
}

}  // namespace te
