#include "transitions/teEffects.h"

#include "transitions/teBlend.h"
#include "transitions/teBlock.h"
#include "transitions/teBlur.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teCircle.h"
#include "transitions/teDiagonal.h"
#include "transitions/teDrip.h"
#include "transitions/teFuse.h"
#include "transitions/teInterlaced.h"
#include "transitions/teMasked.h"
#include "transitions/tePage.h"
#include "transitions/tePixelt.h"
#include "transitions/tePush.h"
#include "transitions/teRadial.h"
#include "transitions/teRoll.h"
#include "transitions/teSlide.h"
#include "transitions/teWaterfall.h"
#include "transitions/teWipe.h"

namespace te {

void StartUpEffectUnits() {
    StartUpteMasked();
    StartUpteWipe();
    StartUpteWaterfall();
    StartUpteSlide();
    StartUpteRoll();
    StartUpteRadial();
    StartUptePush();
    StartUpteFuse();
    StartUptePixelt();
    StartUptePage();
    StartUpteInterlaced();
    StartUpteDrip();
    StartUpteDiagonal();
    StartUpteCircle();
    StartUpteBlur();
    StartUpteBlock();
    StartUpteBlend();
    StartUpteBmpMsk();
}

}  // namespace te
