#include "imaging/core/hyieutils_xmp.h"

#include <cstdlib>
#include <cstring>

namespace ie {

const char IEXMPNamespace[29] = "http://ns.adobe.com/xap/1.0/";

namespace {
constexpr int32_t kComparedBytes = 24;
}

const uint8_t* IEFindXMPPacket(const void* Data, int32_t Length) {
    if (!Data || Length < IEXMPNamespaceLength + 1) return nullptr;
    const auto* p = static_cast<const uint8_t*>(Data);
    if (std::memcmp(p, IEXMPNamespace, kComparedBytes) != 0) return nullptr;
    const void* zero = std::memchr(p, 0, static_cast<size_t>(Length));
    if (!zero) return nullptr;
    const uint8_t* start = static_cast<const uint8_t*>(zero) + 1;
    return start < p + Length ? start : nullptr;
}

bool IELoadXMPFromAPP1(const void* Data, int32_t Length, cl::String& Packet) {
    const uint8_t* start = IEFindXMPPacket(Data, Length);
    if (!start) return false;
    const auto* end = static_cast<const uint8_t*>(Data) + Length;
    Packet.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
    return true;
}

void IESaveXMPToAPP1(const cl::String& Packet, void*& Buffer, int32_t& Length) {
    Buffer = nullptr;
    Length = 0;
    const size_t total = Packet.size() + IEXMPNamespaceLength;
    if (total > 0x7FFFFFFF) return;
    auto* b = static_cast<uint8_t*>(std::malloc(total));
    if (!b) return;
    std::memcpy(b, IEXMPNamespace, IEXMPNamespaceLength);
    if (!Packet.empty()) std::memcpy(b + IEXMPNamespaceLength, Packet.data(), Packet.size());
    Buffer = b;
    Length = static_cast<int32_t>(total);
}

}  // namespace ie
