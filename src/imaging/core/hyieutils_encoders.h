// Encoders and small helpers of the imaging library: ASCII85 and run-length encoding for
// the PostScript and PDF writers, rationals for TIFF, bit and byte-order helpers, row
// lengths, CIE L*a*b*, system probes, file and text helpers.
#pragma once

#include <cstdint>
#include <cstring>

#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// Encoders

// Count (1..4) bytes at Src as a big-endian value: "z" for four zero bytes, else Count + 1
// base-85 digits ("!" .. "u"). Src and Dst advance; returns the characters written.
int32_t IEEncodeASCII85Group(const uint8_t*& Src, int32_t Count, uint8_t*& Dst);
// Count bytes in groups of four, CR LF after a group that takes the line past 74
// characters, then "~>" CR LF. An empty input writes only "~>" CR LF. Src and Dst advance;
// Total grows by the characters of the groups; returns every byte written. Dst needs room
// for IEASCII85MaxLength(Count) bytes.
int32_t IEEncodeASCII85(const uint8_t*& Src, int32_t Count, uint8_t*& Dst, int32_t& Total);
int64_t IEASCII85MaxLength(int64_t Count);
// PackBits with the end-of-data byte 128; Dst needs room for Length + Length div 128 + 2
// bytes. Returns the bytes written.
int32_t IEEncodeRunLength(const uint8_t* Src, int32_t Length, uint8_t* Dst);
// Value as Numerator / Denominator within Tolerance; values beyond what a 32-bit numerator
// holds become the largest fraction of that sign.
void IEFloatToRational(double Value, double Tolerance, int32_t& Numerator, int32_t& Denominator);

// ---------------------------------------------------------------------------------------
// Bits and bytes

// A value of type T read from / written to unaligned bytes, in the machine's order.
template <class T>
inline T IELoad(const uint8_t* P) {
    T v;
    std::memcpy(&v, P, sizeof v);
    return v;
}
template <class T>
inline void IEStore(uint8_t* P, T V) {
    std::memcpy(P, &V, sizeof V);
}

// Byte masks of the bit positions 0 .. 7 of a most-significant-bit-first row.
constexpr uint8_t IEBitMask8[8] = {128, 64, 32, 16, 8, 4, 2, 1};

inline bool IEGetBit(const void* Row, int64_t Index) {
    return (static_cast<const uint8_t*>(Row)[Index >> 3] & IEBitMask8[Index & 7]) != 0;
}
inline void IESetBit(void* Row, int64_t Index, bool Value) {
    uint8_t& b = static_cast<uint8_t*>(Row)[Index >> 3];
    if (Value)
        b |= IEBitMask8[Index & 7];
    else
        b &= static_cast<uint8_t>(~IEBitMask8[Index & 7]);
}
void IEReverseByteBits(uint8_t& B);
void IEReverseDWordBits(uint32_t& V);
// The two low bytes exchanged, the upper 16 bits kept.
inline uint32_t IESwapWord(uint32_t V) { return (V & 0xFFFF0000u) | ((V & 0xFF) << 8) | ((V >> 8) & 0xFF); }
inline uint32_t IESwapDWord(uint32_t V) { return __builtin_bswap32(V); }
// Swaps the bytes of Count 16-bit words in place; returns the address behind the last.
void* IESwapWords(void* P, int64_t Count);
// Consecutive set bits from the lowest set bit among bits 0 .. 30; 0 for 0.
int32_t IEMaskRunLength(uint32_t Mask);
// -1 for 0; the exponent of a power of two; else the highest set bit + 1.
int32_t IECeilLog2(uint32_t V);
// Bytes of one row of Width pixels of BitsPerPixel bits padded to Align bits (64-bit).
int64_t IEBitmapRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Align);
int64_t IETBitmapRowLen(int32_t Width, cl::TPixelFormat PixelFormat);
int32_t IEPixelFormatBits(cl::TPixelFormat PixelFormat);
TIEPixelFormat IEVclPixelFormatToIE(cl::TPixelFormat PixelFormat);
// (2^BitsPerSample)^SamplesPerPixel in 64 bits, saturated at INT64_MAX.
int64_t IEColorCountFromBits(int32_t BitsPerSample, int32_t SamplesPerPixel);

// ---------------------------------------------------------------------------------------
// Numbers

double IEIntPower(int32_t Exponent, double Base);
double IEPower(double Base, double Exponent);
double IEPowerD(double Base, double Exponent);
// Text to number, trying again with "," and "." exchanged; Default when both fail.
double IEStrToFloatDef(const cl::String& S, double Default);
// 8-bit sRGB (Color as 0x00RRGGBB) to 8-bit L*a*b* and back.
void IERGBToCIELab(TCIELab& Lab, uint32_t Color);
void IECIELabToRGB(TRGB& Color, const TCIELab& Lab);

// ---------------------------------------------------------------------------------------
// System

// The library's Windows-version code (0 .. 9) and the two values the start-up derives.
uint8_t IEGetWindowsVersion();
extern uint8_t IEWindowsVersion;
extern bool IEIsWinNT;
bool IEHasMMX();
bool IEIsPrimaryButtonDown();
// OpenClipboard tried up to ten times, 20 ms apart.
bool IEOpenClipboard();

// ---------------------------------------------------------------------------------------
// Files and text

// The file-existence switch of the library (owned by the input/output unit): True makes
// IEFileExists use the class library's FileExists.
extern bool IEUseVclFileExists;
bool IEDirectoryExists(const cl::String& Name);
// Creates the folder and its missing parents. Exception "Cannot Create Directory" for an
// empty name.
void IECreateDirectoryPath(const cl::String& Name);
bool IEFileExists(const cl::String& Name);
bool IEFileExistsW(const cl::WideString& Name);
// 1 http://, 2 https://, 3 ftp://, else 0 (letter case ignored).
int32_t IEGetURLType(const cl::WideString& Name);
int32_t IEGetURLTypeA(const cl::String& Name);
bool IEIsEqualGUID(const void* A, const void* B);
void IEFitToBox(int32_t Width, int32_t Height, int32_t MaxWidth, int32_t MaxHeight, int32_t& NewWidth,
                int32_t& NewHeight);
// A copy in a new block the receiver frees with std::free; null for null.
char* IEStrDup(const char* P);

cl::String IETrim(const cl::String& S);
cl::String IEUpperCase(const cl::String& S);
cl::String IELowerCase(const cl::String& S);
cl::String IEIntToStr(int64_t Value);
int32_t IEStrToIntDef(const cl::String& S, int32_t Default);
cl::String IECopy(const cl::String& S, int64_t Index, int64_t Count);
// ffGeneral 0, ffExponent 1, ffFixed 2, ffNumber 3.
cl::String IEFloatToStrF(double Value, int32_t Format, int32_t Precision, int32_t Digits);
cl::String IEIntToHex(uint64_t Value, int32_t Digits);
int64_t IEPos(const cl::String& Sub, const cl::String& S);
// The extension of the lower-cased name, with its dot when WithDot.
void IEExtractFileExtLower(const cl::String& Name, bool WithDot, cl::String& Ext);
cl::String IEExtractFileExt(const cl::String& Name, bool WithDot = false);
cl::WideString IEExtractFileExtW(const cl::WideString& Name, bool WithDot = false);

}  // namespace ie
