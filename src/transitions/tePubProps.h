// Entries of the published properties that the moving and timed effects share: Direction,
// Reversed, PassSetting and Pass2Options, plus builders for an effect's own Boolean and
// integer properties.
#pragma once

#include "classlib/TypInfo.h"
#include "transitions/teCore.h"

namespace te::props {

inline cl::TPropInfo Direction(TTEEffectDirection Default) {
    cl::TPropInfo p = cl::OrdProp("Direction", cl::tkEnumeration, "TTEEffectDirection",
                                  &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection, Default);
    p.EnumNames = {"tedNone", "tedRight", "tedLeft",     "tedDown", "tedUp",  "tedDownRight",
                   "tedDownLeft", "tedUpRight", "tedUpLeft", "tedIn", "tedOut", "tedRandom"};
    return p;
}

inline cl::TPropInfo Reversed() {
    cl::TPropInfo p = cl::OrdField("Reversed", cl::tkEnumeration, "Boolean", &TTransitionEffect::Reversed, 0);
    p.EnumNames = {"False", "True"};
    return p;
}

inline cl::TPropInfo PassSetting() {
    cl::TPropInfo p =
        cl::OrdField("PassSetting", cl::tkEnumeration, "TTEPassSettingType", &TTransitionEffect::PassSetting, teOnePass);
    p.EnumNames = {"teOnePass", "teTwoPasses", "tePaletteDependent"};
    return p;
}

inline cl::TPropInfo Pass2Options() {
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

// A Boolean property over a getter and setter of the effect class C.
template <class C>
cl::TPropInfo Bool(const char* Name, bool (C::*Get)() const, void (C::*Set)(bool), bool Default) {
    cl::TPropInfo p = cl::OrdProp(Name, cl::tkEnumeration, "Boolean", Get, Set, Default ? 1 : 0);
    p.EnumNames = {"False", "True"};
    return p;
}

}  // namespace te::props
