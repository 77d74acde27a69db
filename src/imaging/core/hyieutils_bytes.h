// Byte-order reads and writes of unaligned integers in memory, shared by the metadata
// parsers and builders of the imaging core (IPTC, EXIF, maker notes, TIFF structures,
// annotations, ICC tag tables). Callers check the bounds before they read.
#pragma once

#include <cstdint>
#include <cstring>

namespace ie {

inline uint16_t IEGetU16LE(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
inline uint16_t IEGetU16BE(const uint8_t* P) { return static_cast<uint16_t>((P[0] << 8) | P[1]); }
inline uint32_t IEGetU32LE(const uint8_t* P) {
    return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
           (static_cast<uint32_t>(P[3]) << 24);
}
inline uint32_t IEGetU32BE(const uint8_t* P) {
    return (static_cast<uint32_t>(P[0]) << 24) | (static_cast<uint32_t>(P[1]) << 16) |
           (static_cast<uint32_t>(P[2]) << 8) | static_cast<uint32_t>(P[3]);
}
inline uint16_t IEGetU16(const uint8_t* P, bool BigEndian) { return BigEndian ? IEGetU16BE(P) : IEGetU16LE(P); }
inline uint32_t IEGetU32(const uint8_t* P, bool BigEndian) { return BigEndian ? IEGetU32BE(P) : IEGetU32LE(P); }

inline void IEPutU16LE(uint8_t* P, uint16_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
}
inline void IEPutU16BE(uint8_t* P, uint16_t V) {
    P[0] = static_cast<uint8_t>(V >> 8);
    P[1] = static_cast<uint8_t>(V);
}
inline void IEPutU32LE(uint8_t* P, uint32_t V) {
    P[0] = static_cast<uint8_t>(V);
    P[1] = static_cast<uint8_t>(V >> 8);
    P[2] = static_cast<uint8_t>(V >> 16);
    P[3] = static_cast<uint8_t>(V >> 24);
}
inline void IEPutU32BE(uint8_t* P, uint32_t V) {
    P[0] = static_cast<uint8_t>(V >> 24);
    P[1] = static_cast<uint8_t>(V >> 16);
    P[2] = static_cast<uint8_t>(V >> 8);
    P[3] = static_cast<uint8_t>(V);
}
inline void IEPutU16(uint8_t* P, uint16_t V, bool BigEndian) { BigEndian ? IEPutU16BE(P, V) : IEPutU16LE(P, V); }
inline void IEPutU32(uint8_t* P, uint32_t V, bool BigEndian) { BigEndian ? IEPutU32BE(P, V) : IEPutU32LE(P, V); }

// True when the Length bytes at P hold Count bytes from Offset on (all in 64 bits, so no
// sum can wrap).
inline bool IEInside(int64_t Length, int64_t Offset, int64_t Count) {
    return Offset >= 0 && Count >= 0 && Offset <= Length && Count <= Length - Offset;
}

}  // namespace ie
