#include "imaging/core/hyieutils_encoders.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "classlib/SysUtils.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace ie {

uint8_t IEWindowsVersion = 0;
bool IEIsWinNT = false;
bool IEUseVclFileExists = false;

// ---------------------------------------------------------------------------------------
// ASCII85

int32_t IEEncodeASCII85Group(const uint8_t*& Src, int32_t Count, uint8_t*& Dst) {
    Count = std::clamp(Count, 0, 4);
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | (i < Count ? Src[i] : 0u);
    Src += Count;
    if (value == 0 && Count == 4) {
        *Dst++ = 'z';
        return 1;
    }
    static constexpr uint32_t kDivisors[5] = {52200625u, 614125u, 7225u, 85u, 1u};
    for (int i = 0; i <= Count; ++i) {
        *Dst++ = static_cast<uint8_t>('!' + (value / kDivisors[i]) % 85);
    }
    return Count + 1;
}

int32_t IEEncodeASCII85(const uint8_t*& Src, int32_t Count, uint8_t*& Dst, int32_t& Total) {
    int32_t result = 0;
    int32_t line = 0;
    int32_t left = std::max(Count, 0);
    while (left > 0) {
        const int32_t n = std::min(left, 4);
        const int32_t chars = IEEncodeASCII85Group(Src, n, Dst);
        left -= n;
        Total += chars;
        line += chars;
        result += chars;
        if (line > 74) {
            *Dst++ = '\r';
            *Dst++ = '\n';
            line = 0;
            result += 2;
        }
    }
    static constexpr uint8_t kEnd[4] = {'~', '>', '\r', '\n'};
    std::memcpy(Dst, kEnd, 4);
    Dst += 4;
    return result + 4;
}

int64_t IEASCII85MaxLength(int64_t Count) {
    if (Count <= 0) return 4;
    const int64_t chars = (Count + 3) / 4 * 5;
    return chars + 2 * (chars / 75 + 1) + 4;
}

// ---------------------------------------------------------------------------------------
// Run length

int32_t IEEncodeRunLength(const uint8_t* Src, int32_t Length, uint8_t* Dst) {
    int32_t out = 0;
    int32_t j = 0;
    while (j < Length) {
        int32_t run = 1;
        while (j + run < Length && run < 128 && Src[j + run] == Src[j]) ++run;
        if (run >= 2) {
            Dst[out++] = static_cast<uint8_t>(257 - run);
            Dst[out++] = Src[j];
            j += run;
            continue;
        }
        // A literal stretch ends before three equal bytes (or at 128 bytes): shorter runs
        // inside it cost nothing, so the output never outgrows the bound of the header.
        int32_t len = 1;
        while (j + len < Length && len < 128 &&
               !(j + len + 2 < Length && Src[j + len] == Src[j + len + 1] && Src[j + len] == Src[j + len + 2]))
            ++len;
        Dst[out++] = static_cast<uint8_t>(len - 1);
        std::memcpy(Dst + out, Src + j, static_cast<size_t>(len));
        out += len;
        j += len;
    }
    Dst[out++] = 128;
    return out;
}

// ---------------------------------------------------------------------------------------
// Rationals

void IEFloatToRational(double Value, double Tolerance, int32_t& Numerator, int32_t& Denominator) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (std::isnan(Value)) {
        Numerator = 0;
        Denominator = 1;
        return;
    }
    const int32_t sign = Value < 0 ? -1 : 1;
    const double x = std::fabs(Value);
    if (x > 1e19) {
        Numerator = sign * 999999999;
        Denominator = 1;
        return;
    }
    if (x == std::floor(x)) {
        // Whole numbers beyond the 32-bit numerator become the largest one.
        Numerator = static_cast<int32_t>(sign * std::min<int64_t>(static_cast<int64_t>(x), kMax));
        Denominator = 1;
        return;
    }
    if (x < 1e-19) {
        Numerator = sign;
        Denominator = 999999999;
        return;
    }
    if (x >= static_cast<double>(kMax)) {
        Numerator = static_cast<int32_t>(sign * kMax);
        Denominator = 1;
        return;
    }
    // Continued fractions, stopping before a term would leave 32 bits.
    int64_t den = 1, prev = 0;
    int64_t num = static_cast<int64_t>(x + 0.5);
    double y = x;
    for (;;) {
        const double f = y - std::trunc(y);
        if (!(f > 0)) break;
        y = 1.0 / f;
        if (!(y < static_cast<double>(kMax))) break;
        const int64_t a = static_cast<int64_t>(std::trunc(y));
        const int64_t newDen = prev + a * den;
        if (newDen > kMax) break;
        const double n = std::trunc(x * static_cast<double>(newDen) + 0.5);
        if (n > static_cast<double>(kMax)) break;
        prev = den;
        den = newDen;
        num = static_cast<int64_t>(n);
        if (std::fabs(x - static_cast<double>(num) / static_cast<double>(den)) < Tolerance || y == std::floor(y)) break;
    }
    Numerator = static_cast<int32_t>(sign * num);
    Denominator = static_cast<int32_t>(den);
}

// ---------------------------------------------------------------------------------------
// Bits and bytes

namespace {

constexpr uint8_t ReverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i)) r = static_cast<uint8_t>(r | (0x80 >> i));
    return r;
}

struct ReverseTable {
    uint8_t v[256];
    constexpr ReverseTable() : v() {
        for (int i = 0; i < 256; ++i) v[i] = ReverseBits(static_cast<uint8_t>(i));
    }
};
constexpr ReverseTable kReverse;

}  // namespace

void IEReverseByteBits(uint8_t& B) { B = kReverse.v[B]; }

void IEReverseDWordBits(uint32_t& V) {
    uint32_t s = __builtin_bswap32(V);
    V = static_cast<uint32_t>(kReverse.v[s & 0xFF]) | (static_cast<uint32_t>(kReverse.v[(s >> 8) & 0xFF]) << 8) |
        (static_cast<uint32_t>(kReverse.v[(s >> 16) & 0xFF]) << 16) |
        (static_cast<uint32_t>(kReverse.v[s >> 24]) << 24);
}

void* IESwapWords(void* P, int64_t Count) {
    auto* b = static_cast<uint8_t*>(P);
    for (int64_t i = 0; i < Count; ++i, b += 2) std::swap(b[0], b[1]);
    return b;
}

int32_t IEMaskRunLength(uint32_t Mask) {
    for (int i = 0; i <= 30; ++i) {
        if (Mask & (1u << i)) {
            int32_t n = 0;
            for (int j = i; j < 32 && (Mask & (1u << j)); ++j) ++n;
            return n;
        }
    }
    return 0;
}

int32_t IECeilLog2(uint32_t V) {
    if (V == 0) return -1;
    const int32_t high = 31 - __builtin_clz(V);
    return (V & (V - 1)) == 0 ? high : high + 1;
}

int64_t IEBitmapRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Align) {
    if (Width <= 0 || BitsPerPixel <= 0 || Align < 8) return 0;
    const int64_t bits = static_cast<int64_t>(Width) * BitsPerPixel;
    if (Align == 32) return (bits + 31) / 32 * 4;
    return (bits + Align - 1) / Align * (Align / 8);
}

int64_t IETBitmapRowLen(int32_t Width, cl::TPixelFormat PixelFormat) {
    // A 15-bit pixel takes a whole 16-bit word in a bitmap's rows.
    const int32_t bits = PixelFormat == cl::pf15bit ? 16 : IEPixelFormatBits(PixelFormat);
    return IEBitmapRowLen(Width, bits, 32);
}

int32_t IEPixelFormatBits(cl::TPixelFormat PixelFormat) {
    switch (PixelFormat) {
        case cl::pf1bit: return 1;
        case cl::pf4bit: return 4;
        case cl::pf8bit: return 8;
        case cl::pf15bit: return 15;
        case cl::pf16bit: return 16;
        case cl::pf24bit: return 24;
        case cl::pf32bit: return 32;
        default: return 0;
    }
}

TIEPixelFormat IEVclPixelFormatToIE(cl::TPixelFormat PixelFormat) {
    switch (PixelFormat) {
        case cl::pf1bit: return ie1g;
        case cl::pf4bit:
        case cl::pf8bit: return ie8p;
        default: return ie24RGB;
    }
}

int64_t IEColorCountFromBits(int32_t BitsPerSample, int32_t SamplesPerPixel) {
    if (BitsPerSample <= 0 || SamplesPerPixel <= 0) return 1;
    const int64_t bits = static_cast<int64_t>(BitsPerSample) * SamplesPerPixel;
    if (bits >= 63) return std::numeric_limits<int64_t>::max();
    return int64_t{1} << bits;
}

// ---------------------------------------------------------------------------------------
// Numbers

double IEIntPower(int32_t Exponent, double Base) {
    int64_t e = Exponent;
    const bool negative = e < 0;
    if (negative) e = -e;
    double result = 1.0;
    double b = Base;
    while (e > 0) {
        if (e & 1) result *= b;
        b *= b;
        e >>= 1;
    }
    return negative ? 1.0 / result : result;
}

double IEPower(double Base, double Exponent) {
    if (Exponent == 0) return 1.0;
    if (Base == 0 && Exponent > 0) return 0.0;
    if (Exponent == std::floor(Exponent) && std::fabs(Exponent) <= std::numeric_limits<int32_t>::max())
        return IEIntPower(static_cast<int32_t>(Exponent), Base);
    return std::exp(Exponent * std::log(Base));
}

double IEPowerD(double Base, double Exponent) { return IEPower(Base, Exponent); }

double IEStrToFloatDef(const cl::String& S, double Default) {
    double v = 0;
    if (cl::TryStrToFloat(S, v)) return v;
    cl::String t = S;
    const size_t comma = t.find(',');
    if (comma != cl::String::npos) {
        t[comma] = '.';
    } else {
        const size_t dot = t.find('.');
        if (dot == cl::String::npos) return Default;
        t[dot] = ',';
    }
    if (cl::TryStrToFloat(t, v)) return v;
    return Default;
}

// ---------------------------------------------------------------------------------------
// CIE L*a*b*

namespace {

double Linear(uint8_t c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

double LabInv(double t) {
    const double t3 = t * t * t;
    return t3 > 0.008856 ? t3 : (t - 16.0 / 116.0) / 7.787;
}

uint8_t Gamma(double v) {
    v = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::clamp<int64_t>(cl::Round(v * 255), 0, 255));
}

// The low 8 bits of a truncated value, as a signed byte.
int8_t LowByte(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int8_t>(static_cast<uint8_t>(static_cast<int64_t>(std::trunc(v)) & 0xFF));
}

}  // namespace

void IERGBToCIELab(TCIELab& Lab, uint32_t Color) {
    const double r = Linear(static_cast<uint8_t>(Color >> 16));
    const double g = Linear(static_cast<uint8_t>(Color >> 8));
    const double b = Linear(static_cast<uint8_t>(Color));
    const double X = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
    const double Y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
    const double Z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
    const double L = Y > 0.008856 ? 116.0 * std::cbrt(Y) - 16.0 : 903.3 * Y;
    Lab.l = static_cast<uint8_t>(std::clamp<int64_t>(cl::Trunc(L * 255.0 / 100.0), 0, 255));
    Lab.a = LowByte(500.0 * (LabF(X) - LabF(Y)));
    Lab.b = LowByte(200.0 * (LabF(Y) - LabF(Z)));
}

void IECIELabToRGB(TRGB& Color, const TCIELab& Lab) {
    const double L = Lab.l * 100.0 / 255.0;
    const double fy = (L + 16.0) / 116.0;
    const double fx = fy + Lab.a / 500.0;
    const double fz = fy - Lab.b / 200.0;
    const double X = 0.95047 * LabInv(fx);
    const double Y = LabInv(fy);
    const double Z = 1.08883 * LabInv(fz);
    const double R = 3.2406 * X - 1.5372 * Y - 0.4986 * Z;
    const double G = -0.9689 * X + 1.8758 * Y + 0.0415 * Z;
    const double B = 0.0557 * X - 0.204 * Y + 1.057 * Z;
    Color.r = Gamma(R);
    Color.g = Gamma(G);
    Color.b = Gamma(B);
}

// ---------------------------------------------------------------------------------------
// System

uint8_t IEGetWindowsVersion() {
    win::OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof(info);
    if (!win::GetVersionExA(&info)) return 9;
    const auto major = info.dwMajorVersion, minor = info.dwMinorVersion;
    if (info.dwPlatformId == 1 && major == 4) {
        if (minor == 0) return 0;
        if (minor == 10) return 1;
        if (minor == 90) return 2;
        return 9;
    }
    if (info.dwPlatformId == win::VER_PLATFORM_WIN32_NT) {
        if (major == 4 && minor == 0) return 3;
        if (major == 5 && minor == 0) return 4;
        if (major == 5 && minor == 1) return 5;
        if (major == 5 && minor == 2) return 6;
        if (major == 6 && minor == 0) return 7;
        if (major == 6 && minor == 1) return 8;
    }
    return 9;
}

bool IEHasMMX() { return win::CpuidPresent() && (win::Cpuid(1).edx & (1u << 23)) != 0; }

bool IEIsPrimaryButtonDown() {
    const bool swapped = win::GetSystemMetrics(win::SM_SWAPBUTTON) != 0;
    const bool left = (win::GetAsyncKeyState(win::VK_LBUTTON) & 0x8000) != 0;
    const bool right = (win::GetAsyncKeyState(win::VK_RBUTTON) & 0x8000) != 0;
    return swapped ? right : left;
}

bool IEOpenClipboard() {
    for (int i = 0; i < 10; ++i) {
        if (win::OpenClipboard(nullptr)) return true;
        if (i < 9) win::Sleep(20);
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// Files and text

bool IEDirectoryExists(const cl::String& Name) {
    const win::DWORD a = win::GetFileAttributesA(Name.c_str());
    return a != win::INVALID_FILE_ATTRIBUTES && (a & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void IECreateDirectoryPath(const cl::String& Name) {
    if (Name.empty()) throw cl::Exception("Cannot Create Directory");
    cl::String dir = Name;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    if (dir.size() <= 2 || IEDirectoryExists(dir)) return;
    cl::String parent = cl::ExtractFilePath(dir);
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    if (!parent.empty() && parent != dir) IECreateDirectoryPath(parent);
    cl::CreateDir(dir);
}

bool IEFileExists(const cl::String& Name) {
    if (IEUseVclFileExists) return cl::FileExists(Name);
    const win::DWORD a = win::GetFileAttributesA(Name.c_str());
    return a != win::INVALID_FILE_ATTRIBUTES && (a & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IEFileExistsW(const cl::WideString& Name) { return IEFileExists(win::Utf16ToUtf8(Name)); }

int32_t IEGetURLTypeA(const cl::String& Name) {
    const cl::String s = cl::LowerCase(Name);
    if (s.rfind("http://", 0) == 0) return 1;
    if (s.rfind("https://", 0) == 0) return 2;
    if (s.rfind("ftp://", 0) == 0) return 3;
    return 0;
}

int32_t IEGetURLType(const cl::WideString& Name) { return IEGetURLTypeA(win::Utf16ToUtf8(Name)); }

bool IEIsEqualGUID(const void* A, const void* B) { return A && B && std::memcmp(A, B, 16) == 0; }

void IEFitToBox(int32_t Width, int32_t Height, int32_t MaxWidth, int32_t MaxHeight, int32_t& NewWidth,
                int32_t& NewHeight) {
    if (Width == 0 || Height == 0) return;
    const double f = std::min(static_cast<double>(MaxWidth) / Width, static_cast<double>(MaxHeight) / Height);
    auto fit = [f](int32_t v) {
        const double t = std::trunc(v * f);
        if (!(t >= 1)) return int32_t{1};
        return static_cast<int32_t>(std::min<double>(t, std::numeric_limits<int32_t>::max()));
    };
    NewWidth = fit(Width);
    NewHeight = fit(Height);
}

char* IEStrDup(const char* P) {
    if (!P) return nullptr;
    const size_t n = std::strlen(P) + 1;
    char* r = static_cast<char*>(std::malloc(n));
    if (r) std::memcpy(r, P, n);
    return r;
}

cl::String IETrim(const cl::String& S) { return cl::Trim(S); }
cl::String IEUpperCase(const cl::String& S) { return cl::UpperCase(S); }
cl::String IELowerCase(const cl::String& S) { return cl::LowerCase(S); }
cl::String IEIntToStr(int64_t Value) { return cl::IntToStr(Value); }
int32_t IEStrToIntDef(const cl::String& S, int32_t Default) { return cl::StrToIntDef(S, Default); }
cl::String IECopy(const cl::String& S, int64_t Index, int64_t Count) { return cl::Copy(S, Index, Count); }
cl::String IEIntToHex(uint64_t Value, int32_t Digits) { return cl::IntToHex(Value, Digits); }
int64_t IEPos(const cl::String& Sub, const cl::String& S) { return cl::Pos(Sub, S); }

cl::String IEFloatToStrF(double Value, int32_t Format, int32_t Precision, int32_t Digits) {
    Precision = std::clamp(Precision, 1, 18);
    Digits = std::clamp(Digits, 0, 18);
    char buf[512];
    switch (Format) {
        case 1: std::snprintf(buf, sizeof buf, "%.*E", Precision - 1, Value); break;
        case 2:
        case 3: std::snprintf(buf, sizeof buf, "%.*f", Digits, Value); break;
        default: return cl::FloatToStr(Value);
    }
    return buf;
}

void IEExtractFileExtLower(const cl::String& Name, bool WithDot, cl::String& Ext) {
    Ext = cl::ExtractFileExt(cl::LowerCase(Name));
    if (!WithDot && !Ext.empty() && Ext[0] == '.') Ext.erase(0, 1);
}

cl::String IEExtractFileExt(const cl::String& Name, bool WithDot) {
    cl::String e;
    IEExtractFileExtLower(Name, WithDot, e);
    return e;
}

cl::WideString IEExtractFileExtW(const cl::WideString& Name, bool WithDot) {
    return win::Utf8ToUtf16(IEExtractFileExt(win::Utf16ToUtf8(Name), WithDot));
}

}  // namespace ie
