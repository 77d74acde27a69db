#include "transitions/teEffectProps.h"

namespace te {

cl::TPropInfo DirectionPropInfo(TTEEffectDirection Default) {
    cl::TPropInfo p = cl::OrdProp("Direction", cl::tkEnumeration, "TTEEffectDirection",
                                  &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection, Default);
    p.EnumNames = {"tedNone",     "tedRight",   "tedLeft",   "tedDown", "tedUp",  "tedDownRight",
                   "tedDownLeft", "tedUpRight", "tedUpLeft", "tedIn",   "tedOut", "tedRandom"};
    return p;
}

cl::TPropInfo ReversedPropInfo() {
    cl::TPropInfo p = cl::OrdField("Reversed", cl::tkEnumeration, "Boolean", &TTransitionEffect::Reversed, 0);
    p.EnumNames = {"False", "True"};
    return p;
}

cl::TPropInfo PassSettingPropInfo() {
    cl::TPropInfo p = cl::OrdField("PassSetting", cl::tkEnumeration, "TTEPassSettingType",
                                   &TTransitionEffect::PassSetting, teOnePass);
    p.EnumNames = {"teOnePass", "teTwoPasses", "tePaletteDependent"};
    return p;
}

cl::TPropInfo Pass2OptionsPropInfo() {
    cl::TPropInfo p;
    p.Name = "Pass2Options";
    p.Kind = cl::tkClass;
    p.TypeName = "TTEPass2OptionsType";
    p.GetObject = [](const cl::TObject* o) -> cl::TObject* {
        return static_cast<const TTransitionEffect*>(o)->GetPass2Options();
    };
    p.SetObject = [](cl::TObject* o, cl::TObject* v) {
        if (v && v->Is<TTEPass2OptionsType>())
            static_cast<TTransitionEffect*>(o)->SetPass2Options(static_cast<TTEPass2OptionsType*>(v));
    };
    return p;
}

}  // namespace te
