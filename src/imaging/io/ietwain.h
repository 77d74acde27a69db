// Releasing what a scanner acquisition left open (the proxy window and the source-manager
// library) when a component's acquisition settings go, with an optional log.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "imaging/io/vovozidio_twainparams.h"
#include "platform/windef.h"

namespace ie {

// The application identity an acquisition session announces (the acquisition standard's
// identity layout: strings of 34 bytes, a space then zero bytes).
struct TIETWIdentity {
    uint32_t Id = 0;
    uint16_t MajorNum = 1, MinorNum = 0, Language = 0xFFFF, Country = 1;
    char Info[34] = {' '};
    uint16_t ProtocolMajor = 1, ProtocolMinor = 9;
    uint32_t SupportedGroups = 3;  // control and image
    char Manufacturer[34] = {' '};
    char ProductFamily[34] = {' '};
    char ProductName[34] = {' '};
};

// One release: the session state (1 source manager closed, 2 loaded but kept), the parent
// window, the shared state and the identity.
struct TIETWReleaseRec {
    int32_t State = 1;
    win::HWND ParentWindow = nullptr;
    TIETWainShared* Shared = nullptr;
    TIETWIdentity Identity;
};

// Builds the release record for Shared and ParentWindow.
TIETWReleaseRec IETWMakeReleaseRec(TIETWainShared& Shared, win::HWND ParentWindow);
// Destroys the proxy window and unloads the source manager, forced (the routine that
// TIETWainParams calls when it is destroyed).
void IETWReleaseAllOf(TIETWainShared& Shared, win::HWND ParentWindow);
// With Force: destroys the proxy window (when it still is one) and forgets it.
void IETWDestroyProxyWindow(TIETWReleaseRec& Rec, bool Force);
// With Force and a loaded library: frees it. Otherwise, loaded but kept: the record
// forgets it. Answers State = 1.
bool IETWUnloadSourceManager(TIETWReleaseRec& Rec, bool Force);
// Appends "date time : Message" to the acquisition log when its name is set (errors ignored).
void IETWLog(const cl::String& Message);
// Closes the acquisition log.
void IETWCloseLog();

}  // namespace ie
