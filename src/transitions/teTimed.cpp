#include "transitions/teTimed.h"

#include "classlib/TypInfo.h"

namespace te {

void TTimedTransitionEffect::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String value = Strings->Values(Prefix + "Milliseconds");
    if (!value.empty()) Milliseconds = cl::StrToInt(value);
}

void TTimedTransitionEffect::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || Milliseconds != 0) Strings->SetValue(Prefix + "Milliseconds", cl::IntToStr(Milliseconds));
}

void TimedStartUp() {
    cl::DeclarePublished(TTimedTransitionEffect::StaticClass(),
                         {cl::OrdField("Milliseconds", cl::tkInteger, "Integer", &TTransitionEffect::Milliseconds, 0)});
}

}  // namespace te
