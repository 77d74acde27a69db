// Helpers shared by the GDI tests: DIB sections with chosen formats and pixel access.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "platform/gdi.h"

namespace gditest {

using namespace win;

// A BITMAPINFO with room for a full colour table.
struct Info {
    BITMAPINFOHEADER h;
    RGBQUAD colors[256];
    BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(this); }
};

inline Info MakeInfo(int w, int h, int bpp, const std::vector<COLORREF>& table = {}, bool bitfields565 = false) {
    Info info{};
    info.h.biSize = sizeof(BITMAPINFOHEADER);
    info.h.biWidth = w;
    info.h.biHeight = h;
    info.h.biPlanes = 1;
    info.h.biBitCount = static_cast<WORD>(bpp);
    info.h.biCompression = bitfields565 ? BI_BITFIELDS : BI_RGB;
    if (bitfields565) {
        DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(info.colors, masks, sizeof masks);
    }
    for (size_t i = 0; i < table.size() && i < 256; ++i) {
        info.colors[i].rgbRed = GetRValue(table[i]);
        info.colors[i].rgbGreen = GetGValue(table[i]);
        info.colors[i].rgbBlue = GetBValue(table[i]);
    }
    if (!table.empty()) info.h.biClrUsed = static_cast<DWORD>(table.size());
    return info;
}

inline std::vector<COLORREF> GreyTable(int n = 256) {
    std::vector<COLORREF> t;
    for (int i = 0; i < n; ++i) {
        int v = n == 1 ? 0 : i * 255 / (n - 1);
        t.push_back(RGB(v, v, v));
    }
    return t;
}

// A memory DC holding a new DIB section; both are freed at the end of the scope.
class Canvas {
public:
    Canvas(int w, int h, int bpp, const std::vector<COLORREF>& table = {}, bool topDown = true, bool b565 = false) {
        Info info = MakeInfo(w, h, bpp, table, b565);
        if (topDown) info.h.biHeight = -h;
        bitmap = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
        width = w;
        height = h;
        stride = ((w * bpp + 31) / 32) * 4;
        this->topDown = topDown;
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    uint8_t* Row(int y) const { return static_cast<uint8_t*>(bits) + (topDown ? y : height - 1 - y) * stride; }
    uint32_t Px32(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, Row(y) + 4 * x, 4);
        return v;
    }
    void SetPx32(int x, int y, uint32_t v) { std::memcpy(Row(y) + 4 * x, &v, 4); }
    uint8_t Px8(int x, int y) const { return Row(y)[x]; }
    void Fill32(uint32_t v) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) SetPx32(x, y, v);
    }
    // One character per pixel: '#' where the 32-bit pixel's colour equals `ink`.
    std::vector<std::string> Picture(COLORREF ink) const {
        std::vector<std::string> rows;
        for (int y = 0; y < height; ++y) {
            std::string r;
            for (int x = 0; x < width; ++x) r += GetPixel(dc, x, y) == ink ? '#' : '.';
            rows.push_back(r);
        }
        return rows;
    }

    HBITMAP bitmap = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    void* bits = nullptr;
    int width = 0, height = 0, stride = 0;
    bool topDown = true;
};

}  // namespace gditest
