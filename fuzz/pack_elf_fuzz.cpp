// The packer's look for debug sections in the player it carries, on any bytes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "lumetra_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    lumetra_pack::HasDebugSections(in);
    return 0;
}
