// Releasing the acquisition state of a component, and the acquisition log.
#include "imaging/io/ietwain.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "imaging/io/vovozidio_startup.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace ie {

namespace {

std::mutex gTWLogLock;
std::FILE* gTWLogFile = nullptr;

}  // namespace

TIETWReleaseRec IETWMakeReleaseRec(TIETWainShared& Shared, win::HWND ParentWindow) {
    TIETWReleaseRec rec;
    rec.Shared = &Shared;
    rec.State = Shared.DSMLibrary ? 2 : 1;
    rec.ParentWindow = ParentWindow ? ParentWindow : win::GetActiveWindow();
    return rec;
}

void IETWDestroyProxyWindow(TIETWReleaseRec& Rec, bool Force) {
    IETWLog("DestroyProxyWindow");
    if (!Force) {
        IETWLog("  DestroyProxyWindow : not destroyed, for future uses");
        return;
    }
    // A window that no longer exists is simply forgotten.
    if (Rec.Shared->ProxyWindow && win::IsWindow(Rec.Shared->ProxyWindow)) win::DestroyWindow(Rec.Shared->ProxyWindow);
    Rec.Shared->ProxyWindow = nullptr;
    IETWLog("  DestroyProxyWindow : destroyed");
}

bool IETWUnloadSourceManager(TIETWReleaseRec& Rec, bool Force) {
    IETWLog("IETW_UnloadSourceManager");
    TIETWainShared& shared = *Rec.Shared;
    if (Force && shared.DSMLibrary) {
        win::FreeLibrary(static_cast<win::HMODULE>(shared.DSMLibrary));
        shared.DSMLibrary = nullptr;
        shared.DSMEntry = nullptr;
        Rec.State = 1;
        IETWLog("  IETW_UnloadSourceManager : Unload OK");
    } else if (Rec.State == 2) {
        // Kept loaded for the next session: only this release forgets it.
        Rec.State = 1;
        IETWLog("  IETW_UnloadSourceManager not Unloaded, for future uses");
    }
    return Rec.State == 1;
}

void IETWReleaseAllOf(TIETWainShared& Shared, win::HWND ParentWindow) {
    TIETWReleaseRec rec = IETWMakeReleaseRec(Shared, ParentWindow);
    if (Shared.ProxyWindow) IETWDestroyProxyWindow(rec, true);
    if (Shared.DSMLibrary) IETWUnloadSourceManager(rec, true);
}

void IETWLog(const cl::String& Message) {
    std::lock_guard<std::mutex> lock(gTWLogLock);
    if (IETWainLogName.empty()) return;
    if (gTWLogFile) {
        std::fclose(gTWLogFile);
        gTWLogFile = nullptr;
    }
    gTWLogFile = std::fopen(IETWainLogName.c_str(), "ab");
    if (!gTWLogFile) return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32], time[32];
    std::strftime(date, sizeof date, "%x", &local);
    std::strftime(time, sizeof time, "%X", &local);
    std::fprintf(gTWLogFile, "%s %s : %s\r\n", date, time, Message.c_str());
    std::fflush(gTWLogFile);
}

void IETWCloseLog() {
    std::lock_guard<std::mutex> lock(gTWLogLock);
    if (gTWLogFile) std::fclose(gTWLogFile);
    gTWLogFile = nullptr;
}

}  // namespace ie
