// System metrics and colours.
#include <map>
#include <mutex>

#include "platform/display.h"
#include "platform/user_state_internal.h"

namespace win::user {

namespace {

struct SysColorEntry {
    int index;
    BYTE r, g, b;
};
// clang-format off
constexpr SysColorEntry kSysColors[] = {
    {0, 212, 208, 200},  {1, 58, 110, 165},   {2, 10, 36, 106},    {3, 128, 128, 128},  {4, 212, 208, 200},
    {5, 255, 255, 255},  {6, 0, 0, 0},        {7, 0, 0, 0},        {8, 0, 0, 0},        {9, 255, 255, 255},
    {10, 212, 208, 200}, {11, 212, 208, 200}, {12, 128, 128, 128}, {13, 10, 36, 106},   {14, 255, 255, 255},
    {15, 212, 208, 200}, {16, 128, 128, 128}, {17, 128, 128, 128}, {18, 0, 0, 0},       {19, 212, 208, 200},
    {20, 255, 255, 255}, {21, 64, 64, 64},    {22, 212, 208, 200}, {23, 0, 0, 0},       {24, 255, 255, 225},
    {26, 0, 0, 128},     {27, 166, 202, 240}, {28, 192, 192, 192}, {29, 10, 36, 106},   {30, 212, 208, 200},
};
// clang-format on

}  // namespace

}  // namespace win::user

namespace win {

using namespace user;

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CXVIRTUALSCREEN: return display::ScreenWidth();
        case SM_CYSCREEN:
        case SM_CYVIRTUALSCREEN: return display::ScreenHeight();
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL: return 17;
        case SM_CYCAPTION: return 19;
        case SM_CXBORDER:
        case SM_CYBORDER: return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME: return 3;
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR: return 32;
        case SM_CXFRAME:
        case SM_CYFRAME:
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK: return 4;
        case SM_CXEDGE:
        case SM_CYEDGE: return 2;
        case SM_CMONITORS: return 1;
        default: return 0;
    }
}

DWORD GetSysColor(int index) {
    for (const auto& e : kSysColors)
        if (e.index == index) return RGB(e.r, e.g, e.b);
    return 0;
}

HBRUSH GetSysColorBrush(int index) {
    static std::mutex mutex;
    static std::map<int, HBRUSH> brushes;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = brushes.find(index);
    if (it != brushes.end()) return it->second;
    HBRUSH b = GdiSolidBrush(GetSysColor(index));
    if (b) brushes[index] = b;
    return b;
}

}  // namespace win
