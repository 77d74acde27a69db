// Basic types of the Windows-shaped platform layer: integer types, handles, points,
// rectangles and colours, with Windows' names and layouts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = unsigned int;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using ATOM = uint16_t;
using COLORREF = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Handles are opaque, non-zero, at least 0x10000 and never reused within a run.
#define LUMETRA_DECLARE_HANDLE(name) \
    struct name##__ {                \
        int unused;                  \
    };                               \
    using name = name##__*
LUMETRA_DECLARE_HANDLE(HWND);
LUMETRA_DECLARE_HANDLE(HDC);
LUMETRA_DECLARE_HANDLE(HGDIOBJ_);
LUMETRA_DECLARE_HANDLE(HBITMAP);
LUMETRA_DECLARE_HANDLE(HRGN);
LUMETRA_DECLARE_HANDLE(HPEN);
LUMETRA_DECLARE_HANDLE(HBRUSH);
LUMETRA_DECLARE_HANDLE(HFONT);
LUMETRA_DECLARE_HANDLE(HPALETTE);
LUMETRA_DECLARE_HANDLE(HICON);
LUMETRA_DECLARE_HANDLE(HMENU);
LUMETRA_DECLARE_HANDLE(HINSTANCE);
LUMETRA_DECLARE_HANDLE(HRSRC);
LUMETRA_DECLARE_HANDLE(HKEY);
LUMETRA_DECLARE_HANDLE(HMONITOR);
#undef LUMETRA_DECLARE_HANDLE
using HGDIOBJ = void*;
using HANDLE = void*;
using HMODULE = HINSTANCE;
using HCURSOR = HICON;
using HGLOBAL = HANDLE;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

struct POINTS {
    SHORT x = 0;
    SHORT y = 0;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>(c >> 8); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>(c >> 16); }

constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr BYTE LOBYTE(uintptr_t v) { return static_cast<BYTE>(v & 0xFF); }
constexpr BYTE HIBYTE(uintptr_t v) { return static_cast<BYTE>((v >> 8) & 0xFF); }
constexpr LPARAM MAKELPARAM(int lo, int hi) {
    return static_cast<LPARAM>(
        static_cast<DWORD>((static_cast<WORD>(lo)) | (static_cast<DWORD>(static_cast<WORD>(hi)) << 16)));
}
constexpr WPARAM MAKEWPARAM(int lo, int hi) { return static_cast<WPARAM>(static_cast<DWORD>(MAKELPARAM(lo, hi))); }
constexpr LONG MAKELONG(int lo, int hi) { return static_cast<LONG>(MAKELPARAM(lo, hi)); }
constexpr int GET_X_LPARAM(LPARAM lp) { return static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lp))); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lp))); }

}  // namespace win
