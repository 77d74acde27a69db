// The start-ups of the effect units, run by the library's start-up.
#pragma once

namespace te {

// Registers every effect class of the library and declares its published properties, in
// the order of the library's units.
void StartUpEffectUnits();

}  // namespace te
