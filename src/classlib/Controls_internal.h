// Internal to the controls: the shared window procedure and the message handlers of the
// control classes, which reach their protected members.
#pragma once

#include "classlib/Controls.h"

namespace cl {

struct ControlsInternal {
    static win::LRESULT WndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
    static void RegisterControls();  // Controls_register.cpp
    static void RegisterForms();     // Controls_register.cpp
    static void RegisterStdCtrls();  // StdCtrls.cpp
    static void RegisterExtCtrls();  // ExtCtrls.cpp
    static void RegisterComCtrls();  // ComCtrls.cpp
    static void RegisterOleCtrls();  // OleCtrls.cpp
    static void RegisterDialogs();   // Dialogs.cpp
    // A window's client rectangle in its window's coordinates.
    static win::RECT ClientRectInWindow(win::HWND hwnd);
    // Sends CM_MOUSELEAVE / CM_MOUSEENTER when the control under the pointer has changed
    // (the application's idle processing).
    static void TrackMouseControl();
};

}  // namespace cl
