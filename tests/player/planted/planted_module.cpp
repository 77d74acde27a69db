// A shared object that leaves a mark wherever it is loaded: the player's tests put it where
// the player must never load anything from (a shared temporary folder), under the names of
// the audio library, with the audio library's first entry point.
#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void MarkLoaded() {
    const char* marker = std::getenv("LUMETRA_TEST_PLANT_MARKER");
    if (!marker || !*marker) return;
    if (FILE* f = std::fopen(marker, "a")) {
        std::fputs("loaded\n", f);
        std::fclose(f);
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int BASS_Init(int, unsigned, unsigned, void*, void*) { return 1; }
