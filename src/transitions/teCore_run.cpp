// What a caller does with an effect (prepare, execute, unprepare) over the screen device, and
// the library's start-up.
#include "classlib/TypInfo.h"
#include "transitions/teCore.h"
#include "transitions/teEffects.h"
#include "transitions/teRender.h"
#include "transitions/teTimed.h"
#include "transitions/teVclScr.h"

namespace te {

TTransitionEffect::~TTransitionEffect() {
    SetTransitionList(nullptr);
    try {
        UnPrepare();
    } catch (...) {
    }
    FreeDevice();
}

uint8_t TTransitionEffect::GetPixelFormat(TTETransitionDevice* ADevice) { return ADevice->GetPixelFormat(); }

void TTransitionEffect::SetEnabled(bool Value) {
    if (FEnabled == Value) return;
    FEnabled = Value;
    if (!Value && FDevice) FDevice->UnPrepare();
}

void TTransitionEffect::CreateDevice() {
    if (FDevice) return;
    auto* dev = new TTEVCLScreenTrDevice();
    try {
        dev->SetTransition(this);
        dev->RectInClientCoords = RectInClientCoords;
    } catch (...) {
        delete dev;
        throw;
    }
    FDevice = dev;
}

void TTransitionEffect::FreeDevice() {
    TTEVCLScreenTrDevice* dev = FDevice;
    FDevice = nullptr;
    delete dev;
}

bool TTransitionEffect::Prepare(cl::TControl* Control, const win::RECT& R) {
    if (!FDevice) CreateDevice();
    FDevice->RectInClientCoords = RectInClientCoords;
    return FDevice->Prepare(Control, R);
}

void TTransitionEffect::Execute() {
    bool made = !FDevice;
    if (made) CreateDevice();
    try {
        FDevice->Execute(true);
    } catch (...) {
        if (made) FreeDevice();
        throw;
    }
    if (made) FreeDevice();
}

void TTransitionEffect::UnPrepare() {
    if (FDevice) FDevice->UnPrepare();
}

int TTransitionEffect::GetPassCount(TTETransitionDevice* ADevice) {
    bool made = false;
    if (!ADevice) {
        made = !FDevice;
        if (made) CreateDevice();
        ADevice = FDevice;
    }
    int count = 1;
    if (ADevice->SupportsTwoPasses() && (GetInfo(ADevice) & tetiTwoPassesCapable)) {
        switch (PassSetting) {
            case teOnePass: count = 1; break;
            case teTwoPasses: count = 2; break;
            case tePaletteDependent: count = ADevice->IsPaletteDisplay() ? 2 : 1; break;
        }
    }
    if (made) FreeDevice();
    return count;
}

// ---- start-up ---------------------------------------------------------------------------------------

namespace {

int gStartCount = 0;

cl::TPropInfo MethodProp(const char* name) {
    cl::TPropInfo p;
    p.Name = name;
    p.Kind = cl::tkMethod;
    p.TypeName = name[2] == 'A' && name[3] == 'b' ? "TTEAbortQueryEvent" : "TNotifyEvent";
    return p;
}

}  // namespace

void StartUp() {
    if (gStartCount++ > 0) return;
    RenderStartUp();
    cl::Randomize();
    static bool declared = false;
    if (declared) {
        cl::RegisterClass(TTransitionList::StaticClass());
        RegisterTransitionClass(TFlickerFreeTransition::StaticClass());
        StartUpEffectUnits();
        return;
    }
    declared = true;
    cl::TPropInfo enabled = cl::OrdProp("Enabled", cl::tkEnumeration, "Boolean", &TTransitionEffect::GetEnabled,
                                        &TTransitionEffect::SetEnabled, 1);
    enabled.EnumNames = {"False", "True"};
    cl::DeclarePublished(TTransitionEffect::StaticClass(),
                         {cl::BoolField("AbortOnClick", &TTransitionEffect::AbortOnClick),
                          cl::BoolField("AbortOnEscape", &TTransitionEffect::AbortOnEscape), enabled,
                          cl::BoolField("FlickerFreeWhenDisabled", &TTransitionEffect::FlickerFreeWhenDisabled),
                          cl::StrProp("Version", &TTransitionEffect::GetVersion, &TTransitionEffect::SetVersion),
                          MethodProp("OnAbortQuery"), MethodProp("OnAfterTransition"), MethodProp("OnBeforeTransition"),
                          MethodProp("OnEndTransition"), MethodProp("OnStartTransition")});
    cl::DeclarePublished(TTransitionList::StaticClass(),
                         {cl::StrProp("Version", &TTransitionList::GetVersion, &TTransitionList::SetVersion)});
    TimedStartUp();
    cl::RegisterClass(TTransitionList::StaticClass());
    RegisterTransitionClass(TFlickerFreeTransition::StaticClass());
    StartUpEffectUnits();
}

void ShutDown() {
    if (gStartCount == 0 || --gStartCount > 0) return;
    ClearTransitionClasses();
    RenderShutDown();
}

}  // namespace te
