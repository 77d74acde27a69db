// Published-property entries that several effect classes share: the direction with a class's
// declared default, the reversed flag, the pass setting and the two-pass options. Each
// effect unit's start-up declares the ones its class publishes.
#pragma once

#include "classlib/TypInfo.h"
#include "transitions/teCore.h"

namespace te {

cl::TPropInfo DirectionPropInfo(TTEEffectDirection Default);
cl::TPropInfo ReversedPropInfo();
cl::TPropInfo PassSettingPropInfo();
cl::TPropInfo Pass2OptionsPropInfo();

}  // namespace te
