#include "audio/auClasses.h"

namespace audio {

win::CRITICAL_SECTION* auSuiteLock = nullptr;
int32_t auSuiteCounter = 0;

void auClasses_Initialization() {
    if (!auSuiteLock) {
        auSuiteLock = new win::CRITICAL_SECTION;
        win::InitializeCriticalSection(auSuiteLock);
    }
    auSuiteCounter = 0;
}

void auClasses_Finalization() {
    if (!auSuiteLock) return;
    win::DeleteCriticalSection(auSuiteLock);
    delete auSuiteLock;
    auSuiteLock = nullptr;
}

}  // namespace audio
