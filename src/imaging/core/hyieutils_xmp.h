// XMP packets in JPEG APP1 markers.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"

namespace ie {

class TIOParamsVals;

// The XMP namespace identifier that opens an XMP APP1 payload: 28 characters and a zero
// byte.
extern const char IEXMPNamespace[29];
constexpr int32_t IEXMPNamespaceLength = 29;

// The packet inside an APP1 payload that opens with the identifier (its first 24 bytes
// are compared): the address behind the identifier's terminating zero. Null when the
// payload is shorter than 30 bytes, does not open with the identifier, or has no zero
// byte before its end.
const uint8_t* IEFindXMPPacket(const void* Data, int32_t Length);
// The packet of an APP1 payload into Packet (from its start to the payload's end); False,
// with Packet untouched, when the payload holds none.
bool IELoadXMPFromAPP1(const void* Data, int32_t Length, cl::String& Packet);
// A new APP1 payload (free it with std::free): the identifier, then the packet text.
void IESaveXMPToAPP1(const cl::String& Packet, void*& Buffer, int32_t& Length);
// The same with the packet of the per-image parameters (XMPInfo).
bool IELoadXMPFromAPP1(const void* Data, int32_t Length, TIOParamsVals& Params);
void IESaveXMPToAPP1(const TIOParamsVals& Params, void*& Buffer, int32_t& Length);

}  // namespace ie
