// The audio suite's shared state: a suite-wide lock and counter, made at start-up.
#pragma once

#include <cstdint>

#include "platform/kernel.h"

namespace audio {

// Created by auClasses_Initialization, freed by auClasses_Finalization (null otherwise).
extern win::CRITICAL_SECTION* auSuiteLock;
extern int32_t auSuiteCounter;

void auClasses_Initialization();
void auClasses_Finalization();

}  // namespace audio
