// A small module for the module-loading tests: loaded with dlopen by the platform tests,
// and embedded into them as a resource. It calls back into the executable's clock.
#include <cstdint>

extern "C" {
int64_t lumetra_clock_now_ticks(void);

__attribute__((visibility("default"))) int test_module_add(int a, int b) { return a + b; }

__attribute__((visibility("default"))) int64_t test_module_clock(void) { return lumetra_clock_now_ticks(); }

static int calls = 0;
__attribute__((visibility("default"))) int test_module_calls(void) { return ++calls; }
}
