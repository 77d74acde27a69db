// The drawing wrapper: the vector backend's loader, the pens and brushes kept in step with
// the class library's, and the canvas that draws through either path.
#include "imaging/view/iegdiplus.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_geometry.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "platform/gdi.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// The loader

bool IEGDIPlusEnabled = false;
TIEGDIPlusStartup IEGDIPlusStartupProbe = &IEGDIPlusDefaultStartup;

namespace {

bool GStarted = false;
int32_t GUseCount = 0;

}  // namespace

bool IEGDIPlusDefaultStartup() {
    // One pixel drawn through a context proves the library's image backend works here.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgba(cr, 1, 1, 1, 1);
    cairo_paint(cr);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const bool drawn = ok && cairo_image_surface_get_data(surface) &&
                       *reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface)) == 0xFFFFFFFFu;
    cairo_surface_destroy(surface);
    return drawn;
}

void IEGDIPlusLoad() {
    ++GUseCount;
    if (IEGDIPlusEnabled && !GStarted) {
        const TIEGDIPlusStartup probe = IEGDIPlusStartupProbe;
        GStarted = probe != nullptr && probe();
    }
}

void IEGDIPlusUnload() {
    --GUseCount;
    if (GStarted && GUseCount == 0) GStarted = false;
}

bool IEGDIPlusUsable() { return IEGDIPlusEnabled && GStarted; }
bool IEGDIPlusLoaded() { return GStarted; }
int32_t IEGDIPlusUseCount() { return GUseCount; }

void IEGDIPlusStaticInit() {
    IEGDIPlusEnabled = true;
    GStarted = false;
    GUseCount = 0;
}

void IEGDIPlusStaticFinal() {}

void IEGDIPlusRegisterStaticHooks() { IERegisterStaticHooks(iesuGDIPlus, IEGDIPlusStaticInit, IEGDIPlusStaticFinal); }

// ---------------------------------------------------------------------------------------
// Pens

TIEPen::TIEPen(cl::TPen* Pen)
    : FPen(Pen), FColor(Pen->GetColor()), FWidth(static_cast<float>(Pen->GetWidth())), FStyle(Pen->GetStyle()),
      FMode(Pen->GetMode()) {
    if (IEGDIPlusUsable()) BuildGPPen();
}

uint32_t TIEPen::GPColor() const {
    return IEColorToARGB(FColor, FStyle == cl::psClear ? 0 : static_cast<uint8_t>(std::clamp(FTransparency, 0, 255)));
}

void TIEPen::BuildGPPen() {
    FGPPen = std::make_unique<TIEGPPen>();
    FGPPen->ARGB = GPColor();
    FGPPen->Width = FWidth;
    FGPPen->DashStyle = FStyle <= cl::psDashDotDot ? static_cast<uint8_t>(FStyle) : 0;
    FGPPen->LineJoin = FLineJoin;
}

void TIEPen::SetColor(cl::TColor Value) {
    FColor = Value;
    if (IEGDIPlusUsable() && FGPPen) FGPPen->ARGB = GPColor();
    FPen->SetColor(Value);
}

void TIEPen::SetTransparency(int32_t Value) {
    FTransparency = Value;
    if (IEGDIPlusUsable() && FGPPen) FGPPen->ARGB = GPColor();
}

void TIEPen::SetWidth(float Value) {
    FWidth = Value;
    if (IEGDIPlusUsable() && FGPPen) FGPPen->Width = Value;
    FPen->SetWidth(std::isfinite(Value) ? static_cast<int>(std::clamp(Value, 0.0f, 65536.0f)) : 1);
}

void TIEPen::SetStyle(cl::TPenStyle Value) {
    FStyle = Value;
    if (IEGDIPlusUsable() && FGPPen) {
        FGPPen->ARGB = GPColor();
        FGPPen->DashStyle = Value <= cl::psDashDotDot ? static_cast<uint8_t>(Value) : 0;
    }
    FPen->SetStyle(Value);
}

void TIEPen::SetMode(cl::TPenMode Value) {
    FMode = Value;
    FPen->SetMode(Value);
}

void TIEPen::SetLineJoin(uint8_t Value) {
    FLineJoin = Value;
    if (IEGDIPlusUsable() && FGPPen) FGPPen->LineJoin = Value;
}

void TIEPen::SetHandle(win::HPEN Value) {
    win::LOGPEN lp{};
    if (!Value || win::GetObjectA(Value, static_cast<int>(sizeof(lp)), &lp) != static_cast<int>(sizeof(lp))) return;
    FPen->SetColor(static_cast<cl::TColor>(lp.lopnColor));
    FPen->SetWidth(std::max<int>(1, static_cast<int>(lp.lopnWidth.x)));
    const win::UINT style = lp.lopnStyle & win::PS_STYLE_MASK;
    FPen->SetStyle(style <= win::PS_INSIDEFRAME ? static_cast<cl::TPenStyle>(style) : cl::psSolid);
}

// ---------------------------------------------------------------------------------------
// Brushes

TIEBrush::TIEBrush(cl::TBrush* Brush) : FBrush(Brush), FColor(Brush->GetColor()), FStyle(Brush->GetStyle()) {
    if (IEGDIPlusUsable()) BuildGPBrush();
}

void TIEBrush::BuildGPBrush() {
    FGPBrush = std::make_unique<TIEGPBrush>();
    const uint8_t alpha = FStyle == cl::bsClear ? 0 : static_cast<uint8_t>(std::clamp(FTransparency, 0, 255));
    FGPBrush->ForeARGB = IEColorToARGB(FColor, alpha);
    if (FStyle >= cl::bsHorizontal && FStyle <= cl::bsDiagCross) {
        FGPBrush->Hatched = true;
        FGPBrush->Hatch = static_cast<uint8_t>(FStyle - 2);
        FGPBrush->BackARGB = IEColorToARGB(BackColor, static_cast<uint8_t>(std::clamp(BackTransparency, 0, 255)));
    }
}

void TIEBrush::SetColor(cl::TColor Value) {
    FColor = Value;
    if (IEGDIPlusUsable()) BuildGPBrush();
    FBrush->SetColor(Value);
}

void TIEBrush::SetTransparency(int32_t Value) {
    FTransparency = Value;
    if (IEGDIPlusUsable()) BuildGPBrush();
}

void TIEBrush::SetStyle(cl::TBrushStyle Value) {
    FStyle = Value;
    if (IEGDIPlusUsable()) BuildGPBrush();
    FBrush->SetStyle(Value);
}

// ---------------------------------------------------------------------------------------
// The vector path's drawing

namespace {

constexpr double kDegrees = 57.29577951308232;

void SetSource(cairo_t* cr, uint32_t argb) {
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
}

// The 8 x 8 hatch cells: bit x of row y set where the fore colour goes.
bool HatchOn(uint8_t hatch, int x, int y) {
    switch (hatch) {
        case 0: return y == 0;                 // horizontal
        case 1: return x == 0;                 // vertical
        case 2: return x == y;                 // forward diagonal (top left to bottom right)
        case 3: return x == 7 - y;             // backward diagonal
        case 4: return x == 0 || y == 0;       // cross
        default: return x == y || x == 7 - y;  // diagonal cross
    }
}

uint32_t Premultiplied(uint32_t argb) {
    const uint32_t a = argb >> 24;
    auto m = [a](uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (m((argb >> 16) & 0xFF) << 16) | (m((argb >> 8) & 0xFF) << 8) | m(argb & 0xFF);
}

// Sets the brush as the source; false when it paints nothing.
bool SetBrushSource(cairo_t* cr, const TIEGPBrush& brush) {
    if (!brush.Hatched) {
        if ((brush.ForeARGB >> 24) == 0) return false;
        SetSource(cr, brush.ForeARGB);
        return true;
    }
    if ((brush.ForeARGB >> 24) == 0 && (brush.BackARGB >> 24) == 0) return false;
    cairo_surface_t* cell = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    if (cairo_surface_status(cell) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(cell);
        return false;
    }
    cairo_surface_flush(cell);
    uint8_t* data = cairo_image_surface_get_data(cell);
    const int stride = cairo_image_surface_get_stride(cell);
    const uint32_t fore = Premultiplied(brush.ForeARGB), back = Premultiplied(brush.BackARGB);
    for (int y = 0; y < 8; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < 8; ++x) row[x] = HatchOn(brush.Hatch, x, y) ? fore : back;
    }
    cairo_surface_mark_dirty(cell);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(cell);
    cairo_surface_destroy(cell);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    // User coordinates name pixel centres: the cell's texel X lies at X .. X + 1 of the
    // pattern, sampled at its middle, so the cells line up with logical (0, 0).
    cairo_matrix_t m;
    cairo_matrix_init_translate(&m, 0.5, 0.5);
    cairo_pattern_set_matrix(pattern, &m);
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
    return true;
}

// Sets the pen as the source and stroke style; false when it draws nothing.
bool SetPenStyle(cairo_t* cr, const TIEGPPen& pen) {
    if ((pen.ARGB >> 24) == 0) return false;
    SetSource(cr, pen.ARGB);
    // A pen of no width (or none that makes sense) draws one pixel wide.
    const double w = std::isfinite(pen.Width) && pen.Width > 0 ? std::min<double>(pen.Width, 65536.0) : 1.0;
    cairo_set_line_width(cr, w);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    switch (pen.LineJoin) {
        case ieljBevel: cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL); break;
        case ieljRound: cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND); break;
        default: cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER); break;
    }
    cairo_set_miter_limit(cr, 10.0);
    // Dash and gap lengths are in units of the pen's width.
    static const std::vector<double> dashes[5] = {{}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
    const std::vector<double>& d = dashes[std::min<int>(pen.DashStyle, 4)];
    if (d.empty()) {
        cairo_set_dash(cr, nullptr, 0, 0);
    } else {
        std::vector<double> scaled(d);
        for (double& v : scaled) v *= w;
        cairo_set_dash(cr, scaled.data(), static_cast<int>(scaled.size()), 0);
    }
    return true;
}

// Adds the part of the ellipse in the box (X, Y, W, H) from StartDeg sweeping SweepDeg
// (clockwise on the screen for positive values). Angles are true directions from the
// centre, as the vector backend's arcs take them. Continues the current path with a line
// when there is one.
void AddEllipseArc(cairo_t* cr, double x, double y, double w, double h, double startDeg, double sweepDeg) {
    const double a = w / 2, b = h / 2, cx = x + a, cy = y + b;
    const double perimeter = M_PI * (std::fabs(a) + std::fabs(b));
    const int steps = std::clamp(static_cast<int>(std::ceil(perimeter * std::fabs(sweepDeg) / 360.0 / 1.5)), 4, 4096);
    for (int i = 0; i <= steps; ++i) {
        const double theta = (startDeg + sweepDeg * i / steps) / kDegrees;
        // The point of the ellipse in direction theta.
        const double t = std::atan2(std::fabs(a) * std::sin(theta), std::fabs(b) * std::cos(theta));
        const double px = cx + std::fabs(a) * std::cos(t), py = cy + std::fabs(b) * std::sin(t);
        if (i == 0 && !cairo_has_current_point(cr))
            cairo_move_to(cr, px, py);
        else
            cairo_line_to(cr, px, py);
    }
}

struct Box {
    double l, t, r, b;
};

// Draws through a 32-bit scratch copy of the device area the shape may touch (Bounds,
// logical coordinates, pixel centres), then puts it back through the DC's clipping.
void DrawVector(const TIEGraphics& g, Box bounds, double pad, const std::function<void(cairo_t*)>& draw) {
    win::HDC dc = g.DC;
    win::RECT clip{};
    const int clipKind = win::GetClipBox(dc, &clip);
    if (clipKind == win::ERROR || clipKind == win::NULLREGION) return;
    const double big = 1 << 28;
    auto lim = [big](double v) { return std::clamp(v, -big, big); };
    const long left = std::max<long>(clip.left, static_cast<long>(std::floor(lim(bounds.l - pad))));
    const long top = std::max<long>(clip.top, static_cast<long>(std::floor(lim(bounds.t - pad))));
    const long right = std::min<long>(clip.right, static_cast<long>(std::ceil(lim(bounds.r + pad))) + 1);
    const long bottom = std::min<long>(clip.bottom, static_cast<long>(std::ceil(lim(bounds.b + pad))) + 1);
    if (right <= left || bottom <= top) return;
    const int w = static_cast<int>(right - left), h = static_cast<int>(bottom - top);

    win::BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = win::BI_RGB;
    void* bits = nullptr;
    win::HBITMAP scratch = win::CreateDIBSection(nullptr, &bmi, win::DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!scratch || !bits) {
        if (scratch) win::DeleteObject(scratch);
        return;
    }
    win::HDC mem = win::CreateCompatibleDC(nullptr);
    if (!mem) {
        win::DeleteObject(scratch);
        return;
    }
    win::HGDIOBJ old = win::SelectObject(mem, scratch);
    win::BitBlt(mem, 0, 0, w, h, dc, static_cast<int>(left), static_cast<int>(top), win::SRCCOPY);

    // The fourth byte of every pixel is kept as it was (the target's alpha, if it has one).
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    auto* px = static_cast<uint32_t*>(bits);
    std::vector<uint8_t> fourth(count);
    for (size_t i = 0; i < count; ++i) fourth[i] = static_cast<uint8_t>(px[i] >> 24);

    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(static_cast<unsigned char*>(bits), CAIRO_FORMAT_RGB24, w, h, w * 4);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* cr = cairo_create(surface);
        cairo_set_antialias(cr, g.AntiAlias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
        cairo_translate(cr, 0.5 - static_cast<double>(left), 0.5 - static_cast<double>(top));
        draw(cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
    }
    cairo_surface_destroy(surface);

    for (size_t i = 0; i < count; ++i) px[i] = (px[i] & 0x00FFFFFFu) | (uint32_t{fourth[i]} << 24);
    win::BitBlt(dc, static_cast<int>(left), static_cast<int>(top), w, h, mem, 0, 0, win::SRCCOPY);
    win::SelectObject(mem, old);
    win::DeleteDC(mem);
    win::DeleteObject(scratch);
}

double PenPad(const TIEGPPen* pen) {
    // Miter joins reach up to half the miter limit times the width.
    const double w = pen && std::isfinite(pen->Width) ? std::fabs(static_cast<double>(pen->Width)) : 1.0;
    return std::min(w, 65536.0) * 5.0 + 2.0;
}

Box PointsBox(const std::vector<cl::TPoint>& pts) {
    Box b{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
          -std::numeric_limits<double>::max()};
    for (const cl::TPoint& p : pts) {
        b.l = std::min<double>(b.l, p.x);
        b.t = std::min<double>(b.t, p.y);
        b.r = std::max<double>(b.r, p.x);
        b.b = std::max<double>(b.b, p.y);
    }
    return b;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The canvas

TIECanvas::TIECanvas(cl::TCanvas* Canvas, bool AntiAlias, bool UseGDIPlus) : FCanvas(Canvas) {
    FPen = std::make_unique<TIEPen>(Canvas->GetPen());
    FBrush = std::make_unique<TIEBrush>(Canvas->GetBrush());
    FUseGDIPlus = UseGDIPlus && IEGDIPlusUsable();
    if (FUseGDIPlus) {
        win::HDC dc = nullptr;
        try {
            dc = Canvas->GetHandle();
        } catch (const std::exception&) {
            dc = nullptr;
        }
        win::RECT probe{};
        if (!dc || win::GetClipBox(dc, &probe) == win::ERROR /* not a device context */) {
            FPen.reset();
            FBrush.reset();
            throw cl::Exception("Cannot create TIECanvas. GdipCreateFromHDC failed.");
        }
        FGraphics = std::make_unique<TIEGraphics>();
        FGraphics->DC = dc;
        FGraphics->AntiAlias = AntiAlias;
    }
}

TIECanvas::~TIECanvas() = default;

win::HDC TIECanvas::GetHandle() const { return FCanvas->GetHandle(); }

void TIECanvas::SetPenPos(const cl::TPoint& Value) {
    FPenPos = Value;
    if (!FUseGDIPlus) FCanvas->SetPenPos(Value);
}

void TIECanvas::MoveTo(int32_t X, int32_t Y) {
    FPenPos = cl::TPoint{X, Y};
    if (!FUseGDIPlus) FCanvas->MoveTo(X, Y);
}

void TIECanvas::LineTo(int32_t X, int32_t Y) {
    if (FUseGDIPlus) {
        DrawLine(FPenPos.x, FPenPos.y, X, Y);
        FPenPos = cl::TPoint{X, Y};
    } else {
        FCanvas->LineTo(X, Y);
        FPenPos = cl::TPoint{X, Y};
    }
}

void TIECanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!FUseGDIPlus) {
        FCanvas->Polygon({cl::TPoint{X1, Y1}, cl::TPoint{X2, Y2}});
        return;
    }
    const TIEGPPen* pen = FPen->GetGPPen();
    if (!pen) return;
    DrawVector(
        *FGraphics,
        Box{double(std::min(X1, X2)), double(std::min(Y1, Y2)), double(std::max(X1, X2)), double(std::max(Y1, Y2))},
        PenPad(pen), [&](cairo_t* cr) {
            if (!SetPenStyle(cr, *pen)) return;
            cairo_move_to(cr, X1, Y1);
            cairo_line_to(cr, X2, Y2);
            cairo_stroke(cr);
        });
}

void TIECanvas::FillRect(const cl::TRect& Rect) {
    if (!FUseGDIPlus) {
        FCanvas->FillRect(Rect);
        return;
    }
    int32_t x1 = Rect.left, y1 = Rect.top, x2 = Rect.right, y2 = Rect.bottom;
    IEOrderCorners(x1, y1, x2, y2);
    const TIEGPBrush* brush = FBrush->GetGPBrush();
    if (!brush) return;
    DrawVector(*FGraphics, Box{double(x1), double(y1), double(x2), double(y2)}, 2.0, [&](cairo_t* cr) {
        if (!SetBrushSource(cr, *brush)) return;
        cairo_rectangle(cr, x1, y1, x2 - x1 - 1, y2 - y1 - 1);
        cairo_fill(cr);
    });
}

void TIECanvas::Rectangle(const cl::TRect& Rect) { Rectangle(Rect.left, Rect.top, Rect.right, Rect.bottom); }

void TIECanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!FUseGDIPlus) {
        FCanvas->Rectangle(X1, Y1, X2, Y2);
        return;
    }
    IEOrderCorners(X1, Y1, X2, Y2);
    const TIEGPBrush* brush = FBrush->GetGPBrush();
    const TIEGPPen* pen = FPen->GetGPPen();
    DrawVector(*FGraphics, Box{double(X1), double(Y1), double(X2), double(Y2)}, PenPad(pen), [&](cairo_t* cr) {
        const double w = X2 - X1 - 1, h = Y2 - Y1 - 1;
        if (brush && SetBrushSource(cr, *brush)) {
            cairo_rectangle(cr, X1, Y1, w, h);
            cairo_fill(cr);
        }
        if (pen && SetPenStyle(cr, *pen)) {
            cairo_rectangle(cr, X1, Y1, w, h);
            cairo_stroke(cr);
        }
    });
}

void TIECanvas::Ellipse(const cl::TRect& Rect) { Ellipse(Rect.left, Rect.top, Rect.right, Rect.bottom); }

void TIECanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!FUseGDIPlus) {
        FCanvas->Ellipse(X1, Y1, X2, Y2);
        return;
    }
    const TIEGPBrush* brush = FBrush->GetGPBrush();
    const TIEGPPen* pen = FPen->GetGPPen();
    if (FPen->GetWidth() != 1.0f) {
        // Keeps a wide outline from swallowing a small ellipse.
        const auto e = static_cast<int32_t>(std::nearbyint(FPen->GetWidth() / 2.0));
        auto adjust = [e](int32_t& a1, int32_t& a2) {
            if (a1 > a2) a1 += e;
            if (a1 <= a2 && e >= a2 - a1 - 1) a2 = a1 + e;
            if (a1 > a2 && e >= a1 - a2 - 1) a2 = a1 - e;
        };
        adjust(X1, X2);
        adjust(Y1, Y2);
        if (X1 == X2 - e) X1 -= e;
        if (Y1 == Y2 - e) Y1 -= e;
        if (X1 == X2) {
            X1 -= e + 1;
            Y2 -= e + 1;
        }
        if (Y1 == Y2) {
            Y1 -= e + 1;
            Y2 -= e + 1;
        }
        if (X1 > X2) {
            X1 -= e;
            X2 -= e - 1;
        }
    }
    const Box box{double(std::min(X1, X2)), double(std::min(Y1, Y2)), double(std::max(X1, X2)),
                  double(std::max(Y1, Y2))};
    DrawVector(*FGraphics, box, PenPad(pen), [&](cairo_t* cr) {
        const double w = X2 - X1 - 1, h = Y2 - Y1 - 1;
        if (brush && SetBrushSource(cr, *brush)) {
            AddEllipseArc(cr, X1, Y1, w, h, 0, 360);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
        if (pen && SetPenStyle(cr, *pen)) {
            AddEllipseArc(cr, X1, Y1, w, h, 0, 360);
            cairo_close_path(cr);
            cairo_stroke(cr);
        }
    });
}

void TIECanvas::Polygon(const std::vector<cl::TPoint>& Points) {
    if (!FUseGDIPlus) {
        FCanvas->Polygon(Points);
        return;
    }
    if (Points.empty()) return;
    const TIEGPBrush* brush = FBrush->GetGPBrush();
    const TIEGPPen* pen = FPen->GetGPPen();
    DrawVector(*FGraphics, PointsBox(Points), PenPad(pen), [&](cairo_t* cr) {
        auto path = [&] {
            cairo_move_to(cr, Points[0].x, Points[0].y);
            for (size_t i = 1; i < Points.size(); ++i) cairo_line_to(cr, Points[i].x, Points[i].y);
            cairo_close_path(cr);
        };
        if (pen && SetPenStyle(cr, *pen)) {
            path();
            cairo_stroke(cr);
        }
        if (brush && SetBrushSource(cr, *brush)) {
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            path();
            cairo_fill(cr);
        }
    });
}

void TIECanvas::Polyline(const std::vector<cl::TPoint>& Points) {
    if (!FUseGDIPlus) {
        FCanvas->Polyline(Points);
        return;
    }
    const TIEGPPen* pen = FPen->GetGPPen();
    if (Points.size() < 2 || !pen) return;
    DrawVector(*FGraphics, PointsBox(Points), PenPad(pen), [&](cairo_t* cr) {
        if (!SetPenStyle(cr, *pen)) return;
        cairo_move_to(cr, Points[0].x, Points[0].y);
        for (size_t i = 1; i < Points.size(); ++i) cairo_line_to(cr, Points[i].x, Points[i].y);
        cairo_stroke(cr);
    });
}

void TIECanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
    if (!FUseGDIPlus) {
        FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
        return;
    }
    const TIEGPPen* pen = FPen->GetGPPen();
    if (!pen) return;
    const int32_t cx = static_cast<int32_t>((int64_t{X1} + X2) / 2), cy = static_cast<int32_t>((int64_t{Y1} + Y2) / 2);
    const double start = -IELineAngle(cx, cy, X4, Y4) * kDegrees;
    const double sweep = IEAngleAtVertex(X3, Y3, cx, cy, X4, Y4) * kDegrees;
    const Box box{double(std::min(X1, X2)), double(std::min(Y1, Y2)), double(std::max(X1, X2)) + 1,
                  double(std::max(Y1, Y2)) + 1};
    DrawVector(*FGraphics, box, PenPad(pen), [&](cairo_t* cr) {
        if (!SetPenStyle(cr, *pen)) return;
        AddEllipseArc(cr, X1, Y1, double(X2) - X1 + 1, double(Y2) - Y1 + 1, start, sweep);
        cairo_stroke(cr);
    });
}

void TIECanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    if (!FUseGDIPlus) {
        FCanvas->RoundRect(X1, Y1, X2, Y2, X3, Y3);
        return;
    }
    IEOrderCorners(X1, Y1, X2, Y2);
    const double W = double(X2) - X1, H = double(Y2) - Y1;
    const double cw = std::min<double>(X3, W), ch = std::min<double>(Y3, H);
    const TIEGPBrush* brush = FBrush->GetGPBrush();
    const TIEGPPen* pen = FPen->GetGPPen();
    DrawVector(*FGraphics, Box{double(X1), double(Y1), double(X2), double(Y2)}, PenPad(pen), [&](cairo_t* cr) {
        auto path = [&] {
            cairo_new_path(cr);
            AddEllipseArc(cr, X1, Y1, cw, ch, 180, 90);
            AddEllipseArc(cr, X1 + W - cw, Y1, cw, ch, 270, 90);
            AddEllipseArc(cr, X1 + W - cw, Y1 + H - ch, cw, ch, 0, 90);
            AddEllipseArc(cr, X1, Y1 + H - ch, cw, ch, 90, 90);
            cairo_line_to(cr, X1, Y1 + H - ch);
            cairo_line_to(cr, X1, Y1 + ch / 2);
        };
        if (brush && SetBrushSource(cr, *brush)) {
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            path();
            cairo_fill(cr);
        }
        if (pen && SetPenStyle(cr, *pen)) {
            path();
            cairo_stroke(cr);
        }
    });
}

void TIECanvas::TextRectEx(const cl::TRect& Rect, int32_t X, int32_t Y, const cl::String& Text) {
    win::UINT flags = static_cast<win::UINT>(FCanvas->TextFlags) | win::ETO_CLIPPED;
    if ((flags & win::ETO_RTLREADING) && FCanvas->GetCanvasOrientation() == cl::coRightToLeft)
        X += FCanvas->TextWidth(Text) + 1;
    win::HDC dc = FCanvas->GetHandle();
    // The device context holds whatever the canvas's last text or shape left in it (the vector
    // path draws past it): the text takes the canvas's font, its colour and, through the
    // background mode, its brush of the moment, and the context gets its own back afterwards.
    cl::TFont* font = FCanvas->GetFont();
    cl::TBrush* brush = FCanvas->GetBrush();
    const win::HGDIOBJ oldFont = win::SelectObject(dc, font->GetHandle());
    const win::COLORREF oldText = win::SetTextColor(dc, static_cast<win::COLORREF>(cl::ColorToRGB(font->GetColor())));
    const win::COLORREF oldBack = win::SetBkColor(dc, static_cast<win::COLORREF>(cl::ColorToRGB(brush->GetColor())));
    const int oldMode = win::SetBkMode(dc, brush->GetStyle() == cl::bsClear ? win::TRANSPARENT : win::OPAQUE);
    win::ExtTextOutA(dc, X, Y, flags, &Rect, Text.data(), static_cast<win::UINT>(Text.size()), nullptr);
    win::SetBkMode(dc, oldMode);
    win::SetBkColor(dc, oldBack);
    win::SetTextColor(dc, oldText);
    win::SelectObject(dc, oldFont);
}

// ---------------------------------------------------------------------------------------

void IEDrawBevelIE(TIECanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor LightColor,
                   cl::TColor DarkColor) {
    IEDrawBevelOn(Canvas, X1, Y1, X2, Y2, LightColor, DarkColor);
}

}  // namespace ie
