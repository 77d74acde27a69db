// Device-context redirection. The window layer offers one process-wide redirect point for a
// window's own GetDC, GetDCEx, GetWindowDC and BeginPaint (with their releases); this code
// installs it for the window being rendered and removes it again, counting nested renderings.
#include "platform/user.h"
#include "transitions/teRender.h"

namespace te {

namespace {

int gCount = 0;
win::HDC gTargetDC = nullptr;
win::HWND gTargetWnd = nullptr;

}  // namespace

void BeginDCRedirection(win::HDC DC, win::HWND Wnd, bool) {
    ++gCount;
    gTargetDC = DC;
    gTargetWnd = Wnd;
    win::PushDCRedirect(Wnd, DC);
}

void EndDCRedirection(bool) {
    if (gCount <= 0) return;
    win::PopDCRedirect();
    if (--gCount == 0) {
        gTargetDC = nullptr;
        gTargetWnd = nullptr;
    }
}

int DCRedirectionCount() { return gCount; }
win::HDC DCRedirectionTargetDC() { return gTargetDC; }
win::HWND DCRedirectionTargetWnd() { return gTargetWnd; }

}  // namespace te
