// The XMP packet search on any APP1 payload: the packet found lies inside the payload, and
// a packet saved again is found again whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/hyieutils_xmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    const auto n = static_cast<int32_t>(size);
    const uint8_t* p = ie::IEFindXMPPacket(data, n);
    if (p && (p <= data || p >= data + size)) __builtin_trap();
    cl::String packet;
    if (ie::IELoadXMPFromAPP1(data, n, packet) != (p != nullptr)) __builtin_trap();
    if (!p) return 0;
    void* buffer = nullptr;
    int32_t length = 0;
    ie::IESaveXMPToAPP1(packet, buffer, length);
    cl::String again;
    if (!ie::IELoadXMPFromAPP1(buffer, length, again)) __builtin_trap();
    if (again != packet) __builtin_trap();
    std::free(buffer);
    return 0;
}
