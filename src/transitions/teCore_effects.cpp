// The effect component, the list, directions, settings strings, the plain cut and the
// registry of effect classes.
#include <algorithm>

#include "classlib/Controls.h"
#include "classlib/TypInfo.h"
#include "transitions/teCore.h"

namespace te {

const char* const TEVersionText = "Version 4.3 beta 2";

namespace {

const char* const kDirectionNames[12] = {
    "",   "Right", "Left",  "Down", "Up", "Down and right", "Down and left", "Up and right", "Up and left",
    "In", "Out",   "Random"};

// The message a list sends its design-time editor when an effect is renamed.
constexpr unsigned int CM_TENAMECHANGED = 0xB215;

std::vector<const cl::TClass*>& ClassList() {
    static std::vector<const cl::TClass*> list;
    return list;
}

}  // namespace

cl::String DirectionName(uint8_t value) {
    value &= 0x7F;
    if (value > tedRandom) return cl::String();
    return kDirectionNames[value];
}

TTEEffectDirection DirectionFromName(const cl::String& name) {
    for (int i = 0; i <= tedRandom; ++i)
        if (name == kDirectionNames[i]) return static_cast<TTEEffectDirection>(i);
    return tedNone;
}

bool IntersectRects(win::RECT& dest, const win::RECT& a, const win::RECT& b) {
    win::RECT r = MakeRect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                           std::min(a.bottom, b.bottom));
    if (RectEmpty(r)) {
        dest = win::RECT{};
        return false;
    }
    dest = r;
    return true;
}

void UniteRect(win::RECT& Dest, const win::RECT& R) {
    if (RectEmpty(R)) return;
    if (RectEmpty(Dest)) {
        Dest = R;
        return;
    }
    Dest.left = std::min(Dest.left, R.left);
    Dest.top = std::min(Dest.top, R.top);
    Dest.right = std::max(Dest.right, R.right);
    Dest.bottom = std::max(Dest.bottom, R.bottom);
}

// ---- options of two-pass runs ---------------------------------------------------------------

void TTEPass2OptionsType::Assign(cl::TPersistent* Source) {
    if (Source && Source->Is<TTEPass2OptionsType>()) {
        auto* s = static_cast<TTEPass2OptionsType*>(Source);
        DistributedTime = s->DistributedTime;
        Reversed = s->Reversed;
        UseSolidColor = s->UseSolidColor;
        SolidColor = s->SolidColor;
        return;
    }
    cl::TPersistent::Assign(Source);
}

// ---- dirty rectangles ---------------------------------------------------------------------------

void TTEDirtyRects::AddRect(const win::RECT& R) {
    win::RECT r = R;
    if (Clip && !IntersectRects(r, R, ClipRect)) return;
    Rects.push_back(r);
}

// ---- the effect component --------------------------------------------------------------------

TTransitionEffect::TTransitionEffect(cl::TComponent* AOwner)
    : cl::TComponent(AOwner), FPass2Options(std::make_unique<TTEPass2OptionsType>()) {}

TTEEffectDirection TTransitionEffect::EffectiveDirection() const { return Reversed ? ReversedDirection() : FDirection; }

void TTransitionEffect::SetDirection(TTEEffectDirection Value) {
    if (Value > 15) return;
    if ((AllowedDirections & DirectionBit(Value)) == 0) return;
    FDirection = Value;
}

TTEEffectDirection TTransitionEffect::ReversedDirection() const {
    switch (FDirection) {
        case tedRight: return tedLeft;
        case tedLeft: return tedRight;
        case tedDown: return tedUp;
        case tedUp: return tedDown;
        case tedDownRight: return tedUpLeft;
        case tedUpLeft: return tedDownRight;
        case tedDownLeft: return tedUpRight;
        case tedUpRight: return tedDownLeft;
        case tedIn: return tedOut;
        case tedOut: return tedIn;
        default: return FDirection;
    }
}

void TTransitionEffect::SetTransitionList(TTransitionList* List) {
    if (FTransitionList == List) return;
    if (FTransitionList) FTransitionList->RemoveTransition(this);
    if (List) List->AddTransition(this);
}

cl::TComponent* TTransitionEffect::GetParentComponent() const {
    if (FTransitionList) return FTransitionList;
    return cl::TComponent::GetParentComponent();
}

void TTransitionEffect::SetParentComponent(cl::TComponent* Value) {
    // The form builder hands an effect its list here (there is no reader to attach it).
    if (Value && Value->Is<TTransitionList>()) SetTransitionList(static_cast<TTransitionList*>(Value));
}

void TTransitionEffect::Assign(cl::TPersistent* Source) {
    if (Source && Source->Is<TTransitionEffect>()) {
        auto* s = static_cast<TTransitionEffect*>(Source);
        Milliseconds = s->Milliseconds;
        AbortCheckInterval = s->AbortCheckInterval;
        FPass2Options->Assign(s->FPass2Options.get());
        PassSetting = s->PassSetting;
        InternalFlag1 = s->InternalFlag1;
        InternalFlag2 = s->InternalFlag2;
        SetEnabled(s->FEnabled);
        FlickerFreeWhenDisabled = s->FlickerFreeWhenDisabled;
        SetDirection(s->FDirection);
        Reversed = s->Reversed;
        AbortOnClick = s->AbortOnClick;
        AbortOnEscape = s->AbortOnEscape;
        RectInClientCoords = s->RectInClientCoords;
        return;
    }
    cl::TComponent::Assign(Source);
}

void TTransitionEffect::SetName(const cl::String& NewName) {
    cl::TComponent::SetName(NewName);
    if (FTransitionList && FTransitionList->Editor) {
        cl::TMessage m;
        m.Msg = CM_TENAMECHANGED;
        m.WParam = reinterpret_cast<uintptr_t>(this);
        FTransitionList->Editor->Dispatch(m);
    }
}

int TTransitionEffect::GetBitmapsWidth(TTETransitionData* Data) { return Data->Width; }

void TTransitionEffect::Initialize(TTETransitionData*, int32_t&) {}

void TTransitionEffect::Finalize(TTETransitionData* Data) { Data->Custom.reset(); }

uint16_t TTransitionEffect::GetInfo(TTETransitionDevice*) {
    return tetiTwoPassesCapable | tetiNeedSrcBmp | tetiNeedDstBmp;
}

void TTransitionEffect::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    Strings->SetValue(Prefix + "Transition", ClassName());
    cl::PPropInfo info = cl::GetPropInfo(this, "Direction");
    if (info && (!OmitDefaults || info->Default != static_cast<int64_t>(FDirection)))
        Strings->SetValue(Prefix + "Direction", DirectionName(FDirection));
}

void TTransitionEffect::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    cl::String name = Strings->Values(Prefix + "Direction");
    if (!name.empty()) SetDirection(DirectionFromName(name));
}

TTransitionEffect* TTransitionEffect::TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) {
    return ADevice->TransitionToRun(this, MakeCopy);
}

// ---- the list --------------------------------------------------------------------------------------

TTransitionList::TTransitionList(cl::TComponent* AOwner) : cl::TComponent(AOwner) {}

TTransitionList::~TTransitionList() { Clear(); }

void TTransitionList::Clear() {
    // Each effect removes itself from the list while it is destroyed.
    while (!FTransitions.empty()) {
        TTransitionEffect* e = FTransitions.back();
        FTransitions.pop_back();
        e->FTransitionList = nullptr;
        delete e;
    }
}

void TTransitionList::AddTransition(TTransitionEffect* Effect) {
    if (!Effect) return;
    if (IndexOfTransition(Effect) < 0) FTransitions.push_back(Effect);
    Effect->FTransitionList = this;
}

void TTransitionList::RemoveTransition(TTransitionEffect* Effect) {
    auto it = std::find(FTransitions.begin(), FTransitions.end(), Effect);
    if (it == FTransitions.end()) return;
    FTransitions.erase(it);
    Effect->FTransitionList = nullptr;
}

TTransitionEffect* TTransitionList::GetTransition(int Index) const {
    if (Index < 0 || Index >= GetTransitionCount())
        throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    return FTransitions[static_cast<size_t>(Index)];
}

int TTransitionList::IndexOfTransition(const TTransitionEffect* Effect) const {
    auto it = std::find(FTransitions.begin(), FTransitions.end(), Effect);
    return it == FTransitions.end() ? -1 : static_cast<int>(it - FTransitions.begin());
}

void TTransitionList::Assign(cl::TPersistent* Source) {
    if (Source && Source->Is<TTransitionList>()) {
        auto* s = static_cast<TTransitionList*>(Source);
        Clear();
        for (TTransitionEffect* e : s->FTransitions) {
            const cl::TClass& cls = e->ClassType();
            if (!cls.Create) continue;
            auto* copy = static_cast<TTransitionEffect*>(cls.Create(this));
            copy->Assign(e);
            AddTransition(copy);
        }
        return;
    }
    cl::TComponent::Assign(Source);
}

void TTransitionList::GetChildren(const std::function<void(cl::TComponent*)>& proc, cl::TComponent*) {
    for (TTransitionEffect* e : FTransitions) proc(e);
}

void TTransitionList::Notification(cl::TComponent* AComponent, cl::TOperation Operation) {
    cl::TComponent::Notification(AComponent, Operation);
    if (Operation == cl::opRemove && AComponent && AComponent->Is<TTransitionEffect>())
        RemoveTransition(static_cast<TTransitionEffect*>(AComponent));
}

// ---- the plain cut ---------------------------------------------------------------------------------

TFlickerFreeTransition::TFlickerFreeTransition(cl::TComponent* AOwner) : TTransitionEffect(AOwner) {}

void TFlickerFreeTransition::Assign(cl::TPersistent* Source) {
    TTransitionEffect::Assign(Source);
    if (Source && Source->Is<TFlickerFreeTransition>())
        InternalCutFlag = static_cast<TFlickerFreeTransition*>(Source)->InternalCutFlag;
}

uint8_t TFlickerFreeTransition::GetPixelFormat(TTETransitionDevice* ADevice) { return ADevice->GetPixelFormat(); }

void TFlickerFreeTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTransitionEffect::Initialize(Data, Frames);
    Frames = 1;
}

uint16_t TFlickerFreeTransition::GetInfo(TTETransitionDevice* ADevice) {
    uint16_t flags = TTransitionEffect::GetInfo(ADevice);
    flags &=
        static_cast<uint16_t>(~(tetiMillisecondsCapable | tetiNeedSrcBmp | tetiStaticSrcPixels | tetiTwoPassesCapable));
    return static_cast<uint16_t>(flags | tetiThreadSafe);
}

// ---- registration ------------------------------------------------------------------------------------

void RegisterTransitionClass(const cl::TClass& EffectClass) {
    auto& list = ClassList();
    if (std::find(list.begin(), list.end(), &EffectClass) != list.end()) return;
    list.push_back(&EffectClass);
    cl::GroupDescendentsWith(EffectClass, cl::TControl::StaticClass());
    cl::RegisterClass(EffectClass);
}

const std::vector<const cl::TClass*>& TransitionClasses() { return ClassList(); }

void ClearTransitionClasses() { ClassList().clear(); }

}  // namespace te
