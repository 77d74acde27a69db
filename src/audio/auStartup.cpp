#include "audio/auStartup.h"

#include "audio/BassPlayer.h"
#include "audio/auClasses.h"
#include "audio/auProcs.h"
#include "audio/auTimers.h"
#include "classlib/TypInfo.h"

namespace audio {

namespace {

cl::TPropInfo StringField(const char* name, cl::String TBassPlayer::*field) {
    cl::TPropInfo p;
    p.Name = name;
    p.Kind = cl::tkLString;
    p.TypeName = "string";
    p.GetStr = [field](const cl::TObject* o) { return static_cast<const TBassPlayer*>(o)->*field; };
    p.SetStr = [field](cl::TObject* o, const cl::String& v) { static_cast<TBassPlayer*>(o)->*field = v; };
    return p;
}

cl::TPropInfo Event(const char* name) {
    cl::TPropInfo p;
    p.Name = name;
    p.Kind = cl::tkMethod;
    p.TypeName = "TNotifyEvent";
    return p;
}

// The published properties of the suite's components, in declaration order.
void DeclareProperties() {
    static bool declared = false;
    if (declared) return;
    declared = true;

    cl::DeclarePublished(TBassPlayer::StaticClass(),
                         {cl::StrProp("FileName", &TBassPlayer::GetFileName, &TBassPlayer::SetFileName),
                          Event("OnEndPlaying"), StringField("BassLibrary", &TBassPlayer::BassLibrary),
                          StringField("BassWMALibrary", &TBassPlayer::BassWMALibrary)});

    cl::TPropInfo fireOnce = cl::OrdField("FireOnce", cl::tkEnumeration, "Boolean", &TAudioHiResTimer::FireOnce, 0);
    fireOnce.EnumNames = {"False", "True"};
    cl::DeclarePublished(
        TAudioHiResTimer::StaticClass(),
        {cl::OrdField("Resolution", cl::tkInteger, "Word", &TAudioHiResTimer::Resolution),
         cl::OrdField("Interval", cl::tkInteger, "Word", &TAudioHiResTimer::Interval), fireOnce, Event("OnTimer")});
}

}  // namespace

void StartupAudio() {
    auProcs_Initialization();
    auClasses_Initialization();
    DeclareProperties();
    // Forms create the components by their class names.
    cl::RegisterClasses({&TBassPlayer::StaticClass(), &TAudioHiResTimer::StaticClass()});
}

void ShutdownAudio() { auClasses_Finalization(); }

}  // namespace audio
