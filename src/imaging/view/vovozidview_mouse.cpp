// The interactive side of the view: what a press, a move and a release do in each mouse
// mode (zooming by click, drag scrolling, drawing and moving selections, moving layers),
// scrolling at the edges while dragging, the gliding scroll, the interaction hint, the
// view's screen cursors and the keyboard events.
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "classlib/Forms.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_geometry.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/hyieutils_numbers.h"
#include "imaging/view/vovozidview.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace ie {

namespace {

int32_t Trunc(double Value) { return IETruncToInt32(Value); }

// ---------------------------------------------------------------------------------------
// The view's cursors. Shapes the platform has come from it; the others are drawn here as
// 32 x 32 monochrome pictures (black lines with a white edge over a transparent ground).

class TCursorPicture {
public:
    void Set(int x, int y) {
        if (x >= 0 && y >= 0 && x < 32 && y < 32) FInk[static_cast<size_t>(y * 32 + x)] = true;
    }
    void Line(int x0, int y0, int x1, int y1) {
        const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= n; ++i) Set(x0 + (n ? (x1 - x0) * i / n : 0), y0 + (n ? (y1 - y0) * i / n : 0));
    }
    void Circle(int cx, int cy, int r) {
        for (int a = 0; a < 64; ++a) {
            const double t = a * 6.283185307179586 / 64;
            Set(cx + static_cast<int>(std::lround(r * std::cos(t))),
                cy + static_cast<int>(std::lround(r * std::sin(t))));
        }
    }
    void Box(int x0, int y0, int x1, int y1) {
        Line(x0, y0, x1, y0);
        Line(x1, y0, x1, y1);
        Line(x1, y1, x0, y1);
        Line(x0, y1, x0, y0);
    }
    void Plus(int cx, int cy) {
        Line(cx - 3, cy, cx + 3, cy);
        Line(cx, cy - 3, cx, cy + 3);
    }
    void Minus(int cx, int cy) { Line(cx - 3, cy, cx + 3, cy); }
    // The AND and XOR planes: ink black, a white rim around it, the rest transparent.
    win::HCURSOR Make(int HotX, int HotY) const {
        std::array<uint8_t, 128> andPlane{}, xorPlane{};
        andPlane.fill(0xFF);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const bool ink = At(x, y);
                bool rim = false;
                for (int dy = -1; dy <= 1 && !ink && !rim; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (At(x + dx, y + dy)) rim = true;
                if (!ink && !rim) continue;
                const size_t byte = static_cast<size_t>(y * 4 + x / 8);
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                andPlane[byte] &= static_cast<uint8_t>(~bit);
                if (rim) xorPlane[byte] |= bit;
            }
        return win::CreateCursor(nullptr, HotX, HotY, 32, 32, andPlane.data(), xorPlane.data());
    }

private:
    bool At(int x, int y) const {
        return x >= 0 && y >= 0 && x < 32 && y < 32 && FInk[static_cast<size_t>(y * 32 + x)];
    }
    std::array<bool, 32 * 32> FInk{};
};

enum class TShape {
    ZoomOut,
    ZoomIn,
    Cross,
    Eraser,
    Pen,
    Cross1,
    Cross3,
    Cross3Plus,
    Cross3Minus,
    Cross2,
    Cross2Plus,
    Cross2Minus,
    Rot1,
    Rot2,
    Rot3,
    Rot4,
    VectorTool
};

win::HCURSOR DrawCursor(TShape Shape, int Variant) {
    TCursorPicture p;
    int hx = 15, hy = 15;
    auto cross = [&](int gap) {
        p.Line(15, 2, 15, 15 - gap);
        p.Line(15, 15 + gap, 15, 28);
        p.Line(2, 15, 15 - gap, 15);
        p.Line(15 + gap, 15, 28, 15);
    };
    switch (Shape) {
        case TShape::ZoomOut:
        case TShape::ZoomIn:
            p.Circle(12, 12, 8);
            p.Line(18, 18, 28, 28);
            p.Line(19, 18, 28, 27);
            if (Shape == TShape::ZoomIn)
                p.Plus(12, 12);
            else
                p.Minus(12, 12);
            hx = hy = 12;
            break;
        case TShape::Cross: cross(0); break;
        case TShape::Eraser:
            p.Box(6, 14, 26, 24);
            p.Line(6, 14, 12, 6);
            p.Line(26, 14, 30, 8);
            p.Line(12, 6, 30, 8);
            hx = 6;
            hy = 24;
            break;
        case TShape::Pen:
            p.Line(2, 29, 24, 7);
            p.Line(5, 29, 27, 7);
            p.Line(24, 7, 27, 4);
            p.Line(27, 7, 29, 5);
            hx = 2;
            hy = 29;
            break;
        case TShape::Cross1:
            cross(3);
            p.Set(15, 15);
            break;
        case TShape::Cross3:
        case TShape::Cross3Plus:
        case TShape::Cross3Minus:
            cross(2);
            if (Shape == TShape::Cross3Plus) p.Plus(24, 24);
            if (Shape == TShape::Cross3Minus) p.Minus(24, 24);
            break;
        case TShape::Cross2:
        case TShape::Cross2Plus:
        case TShape::Cross2Minus:
            cross(4);
            p.Box(13, 13, 17, 17);
            if (Shape == TShape::Cross2Plus) p.Plus(24, 24);
            if (Shape == TShape::Cross2Minus) p.Minus(24, 24);
            break;
        case TShape::Rot1:
        case TShape::Rot2:
        case TShape::Rot3:
        case TShape::Rot4: {
            // A quarter arc with an arrow head, turned to the quadrant.
            const int q = static_cast<int>(Shape) - static_cast<int>(TShape::Rot1);
            for (int a = 0; a <= 16; ++a) {
                const double t = (q * 90 + a * 90 / 16.0) * 3.141592653589793 / 180;
                p.Set(15 + static_cast<int>(std::lround(10 * std::cos(t))),
                      15 + static_cast<int>(std::lround(10 * std::sin(t))));
            }
            const double e = (q * 90 + 90) * 3.141592653589793 / 180;
            const int ex = 15 + static_cast<int>(std::lround(10 * std::cos(e)));
            const int ey = 15 + static_cast<int>(std::lround(10 * std::sin(e)));
            p.Line(ex, ey, ex + (q % 2 ? 4 : -4), ey);
            p.Line(ex, ey, ex, ey + (q < 2 ? -4 : 4));
            break;
        }
        case TShape::VectorTool:
            // The vector view's tools: a cross with a mark that tells them apart.
            cross(2);
            for (int b = 0; b < 5; ++b)
                if (Variant & (1 << b)) p.Box(20 + 2 * b, 24, 21 + 2 * b, 27);
            break;
    }
    return p.Make(hx, hy);
}

struct TViewCursors {
    std::array<win::HCURSOR, 37> Handles{};
};

// Made once for the program, registered by every view.
const TViewCursors& ViewCursors() {
    static TViewCursors c;
    static std::once_flag once;
    std::call_once(once, [] {
        auto sys = [](win::WORD id) { return win::LoadCursorA(nullptr, win::MAKEINTRESOURCEA(id)); };
        auto& h = c.Handles;
        h[0] = DrawCursor(TShape::ZoomOut, 0);       // 1778 ZOOMMENO
        h[1] = DrawCursor(TShape::ZoomIn, 0);        // 1779 ZOOMPIU
        h[2] = DrawCursor(TShape::Cross, 0);         // 1780 CROCE
        h[3] = DrawCursor(TShape::Eraser, 0);        // 1781 GOMMA
        h[4] = sys(win::IDC_HAND);                   // 1782 MANO
        h[5] = DrawCursor(TShape::Pen, 0);           // 1783 PENNA
        h[6] = DrawCursor(TShape::Cross1, 0);        // 1784 CROCE1
        h[7] = DrawCursor(TShape::Cross3, 0);        // 1785 CROCE3
        h[8] = sys(win::IDC_SIZENWSE);               // 1786 MOVE2
        h[9] = sys(win::IDC_SIZENS);                 // 1787 MOVEY
        h[10] = sys(win::IDC_SIZENESW);              // 1788 MOVE1
        h[11] = sys(win::IDC_SIZEWE);                // 1789 MOVEX
        h[12] = sys(win::IDC_SIZEALL);               // 1790 MOVE
        h[13] = DrawCursor(TShape::Cross3Plus, 0);   // 1791 CROCE3+
        h[14] = DrawCursor(TShape::Cross3Minus, 0);  // 1792 CROCE3-
        h[15] = DrawCursor(TShape::Cross2, 0);       // 1793 CROCE2
        h[16] = DrawCursor(TShape::Cross2Plus, 0);   // 1794 CROCE2+
        h[17] = DrawCursor(TShape::Cross2Minus, 0);  // 1795 CROCE2-
        h[18] = h[17];                               // 1796 CROCE2- again
        // 1797 to 1810: the resources named "1795" to "1808" ("1802" twice, "1803" twice).
        static const int named[] = {1795, 1796, 1797, 1798, 1799, 1800, 1801, 1802, 1802, 1803, 1803, 1805, 1806, 1807};
        static_assert(std::size(named) == 14);
        std::array<win::HCURSOR, 32> byName{};
        for (size_t i = 0; i < std::size(named); ++i) {
            const int k = named[i] - 1795;
            if (!byName[static_cast<size_t>(k)]) byName[static_cast<size_t>(k)] = DrawCursor(TShape::VectorTool, k + 1);
            h[19 + i] = byName[static_cast<size_t>(k)];
        }
        h[33] = DrawCursor(TShape::Rot1, 0);  // 1811 ROT1
        h[34] = DrawCursor(TShape::Rot2, 0);  // 1812 ROT2
        h[35] = DrawCursor(TShape::Rot3, 0);  // 1813 ROT3
        h[36] = DrawCursor(TShape::Rot4, 0);  // 1814 ROT4
    });
    return c;
}

// The application's SelectionBase is put aside for the mouse work and back at the end.
class TClientBase {
public:
    TClientBase(TIESelectionBase& Base, TIESelectionBase& Saved, bool& Swapped)
        : FBase(Base), FSaved(Saved), FSwapped(Swapped), FOuter(Swapped) {
        if (FOuter) return;
        FSaved = FBase;
        FBase = iesbClientArea;
        FSwapped = true;
    }
    ~TClientBase() {
        if (FOuter) return;
        FBase = FSaved;
        FSwapped = false;
    }
    TClientBase(const TClientBase&) = delete;
    TClientBase& operator=(const TClientBase&) = delete;

private:
    TIESelectionBase& FBase;
    TIESelectionBase& FSaved;
    bool& FSwapped;
    bool FOuter;
};

constexpr double kZoomSteps[] = {2, 5, 10, 25, 33, 50, 75, 100};

}  // namespace

// ---------------------------------------------------------------------------------------
// Start values and cursors

void TVovozIdView::InitInteraction() {
    if (cl::Screen) {
        const TViewCursors& c = ViewCursors();
        for (size_t i = 0; i < c.Handles.size(); ++i)
            cl::Screen->SetCursors(IEFirstViewCursor + static_cast<int>(i), c.Handles[i]);
    }
    // The ants timer also draws the ants.
    if (FAntsTimer)
        FAntsTimer->SetOnTimer([this](cl::TObject*) {
            DrawSelectionOutline(FAntsTimer.get(), true);
            AntsTimerTick();
        });
    static std::once_flag once;
    std::call_once(once, [] {
        const cl::TClass& C = TVovozIdView::StaticClass();
        cl::RegisterMessageHandler(C, win::WM_LBUTTONDBLCLK, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->WMLButtonDblClk(m);
        });
        cl::RegisterMessageHandler(C, cl::CM_WANTSPECIALKEY, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->CMWantSpecialKey(m);
        });
        cl::RegisterMessageHandler(C, cl::CN_KEYDOWN, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->CNKeyMessage(m, true);
        });
        cl::RegisterMessageHandler(C, win::WM_SYSKEYDOWN, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->CNKeyMessage(m, true);
        });
        cl::RegisterMessageHandler(C, cl::CN_KEYUP, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->CNKeyMessage(m, false);
        });
        cl::RegisterMessageHandler(C, win::WM_SYSKEYUP, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->CNKeyMessage(m, false);
        });
    });
    ControlStyle |= cl::csCaptureMouse | cl::csDoubleClicks;
    FShownCursor = FViewCursor;
    if (GetOwner()) cl::TControl::SetCursor(FViewCursor);
}

void TVovozIdView::SetViewCursor(cl::TCursor Value) {
    FViewCursor = Value;
    FShownCursor = Value;
    cl::TControl::SetCursor(Value);
    if (cl::Screen) win::SetCursor(cl::Screen->Cursors(Value));
}

void TVovozIdView::ShowViewCursor(cl::TCursor Value) {
    if (!GetOwner()) return;
    FShownCursor = Value;
    cl::TControl::SetCursor(Value);
    if (cl::Screen) win::SetCursor(cl::Screen->Cursors(Value));
}

void TVovozIdView::SetInteractionHint(const cl::String& Text, int32_t X, int32_t Y, const cl::String& Sample) {
    FHintText = Text;
    FHintPos = {X, Y};
    FHintSample = Sample;
}

// ---------------------------------------------------------------------------------------
// Modes

void TVovozIdView::SetMouseInteract(TIEMouseInteract Value) {
    if (Value == FMouseInteract) return;
    if (FPolySelecting && (FMouseInteract & IEMouseOpt(miSelectPolygon))) {
        // The polygon being drawn is finished.
        TIESelectionRecord* rec = GetSelectionRecord();
        if (!rec->Points.empty()) rec->Points.pop_back();
        FSelectionMask->Clear();
        EndSelect();
        FPolySelecting = false;
        Invalidate();
    }
    const TIEMouseInteract added = Value & static_cast<TIEMouseInteract>(~FMouseInteract);
    const TIEMouseInteract high = Value & 0xF800;
    auto has = [&](TIEMouseInteractItem i) { return (added & IEMouseOpt(i)) != 0; };
    auto keep = [&](TIEMouseInteractItem i, TIEMouseInteract others) {
        Value = static_cast<TIEMouseInteract>((Value & (IEMouseOpt(i) | others)) | high);
    };
    const TIEMouseInteract zoom = IEMouseOpt(miZoom);
    if (has(miScroll))
        keep(miScroll, zoom);
    else if (has(miSelect))
        keep(miSelect, zoom);
    else if (has(miSelectPolygon))
        keep(miSelectPolygon, 0);
    else if (has(miSelectCircle))
        keep(miSelectCircle, zoom);
    else if (has(miSelectLasso))
        keep(miSelectLasso, zoom);
    else if (has(miSelectZoom))
        keep(miSelectZoom, zoom);
    else if (has(miZoom))
        keep(miZoom, IEMouseOpt(miScroll) | IEMouseOpt(miSelect) | IEMouseOpt(miSelectCircle) |
                         IEMouseOpt(miSelectZoom) | IEMouseOpt(miSelectLasso));
    else if (has(miSelectMagicWand))
        keep(miSelectMagicWand, 0);
    else if (Value & IEMouseOpt(miRotateLayers))
        keep(miRotateLayers, IEMouseOpt(miMoveLayers));
    else if (Value & IEMouseOpt(miResizeLayers))
        keep(miResizeLayers, IEMouseOpt(miMoveLayers));
    else if (Value & IEMouseOpt(miMoveLayers))
        keep(miMoveLayers, 0);
    FMouseInteract = Value;
}

// ---------------------------------------------------------------------------------------
// Geometry helpers

void TVovozIdView::SyncGeometry() {
    if (!HandleAllocated()) return;
    UpdateExtent();
    UpdateVisibleArea();
    UpdateCoordTables();
}

cl::TRect TVovozIdView::CurrentLayerClientRect() {
    TIELayer* layer = GetCurrentLayerObject();
    if (layer->ClientRect.right > layer->ClientRect.left && layer->ClientRect.bottom > layer->ClientRect.top)
        return layer->ClientRect;
    SyncGeometry();
    const int32_t w = SelWidth(), h = SelHeight();
    return cl::TRect{layer->LayerToClientX(0), layer->LayerToClientY(0), layer->LayerToClientX(w),
                     layer->LayerToClientY(h)};
}

void TVovozIdView::ClampToLayer(int32_t& X, int32_t& Y) {
    const cl::TRect r = CurrentLayerClientRect();
    X = std::clamp(X, static_cast<int32_t>(r.left),
                   std::max(static_cast<int32_t>(r.right), static_cast<int32_t>(r.left)));
    Y = std::clamp(Y, static_cast<int32_t>(r.top),
                   std::max(static_cast<int32_t>(r.bottom), static_cast<int32_t>(r.top)));
}

void TVovozIdView::OffsetSelectionPoints(int32_t DX, int32_t DY) {
    FPrevPoint.x -= DX;
    FPrevPoint.y -= DY;
    FPressClamped.x -= DX;
    FPressClamped.y -= DY;
    FMoveAnchor.x -= DX;
    FMoveAnchor.y -= DY;
}

bool TVovozIdView::EdgeScroll() {
    if (!HandleAllocated()) return false;
    bool scrolled = false;
    FEdgeScrolling = true;
    try {
        for (int guard = 0; guard < 10000; ++guard) {
            win::POINT sp{};
            win::GetCursorPos(&sp);
            const win::POINT p = ScreenToClient(sp);
            int32_t dx = 0, dy = 0;
            if (p.x < FOffsetX) dx = p.x - FOffsetX;
            if (p.x > FOffsetX + FDisplayWidth - 1) dx = p.x - (FOffsetX + FDisplayWidth - 1);
            if (p.y < FOffsetY) dy = p.y - FOffsetY;
            if (p.y > FOffsetY + FDisplayHeight - 1) dy = p.y - (FOffsetY + FDisplayHeight - 1);
            if (dx == 0 && dy == 0) break;
            const int32_t ox = FOriginX, oy = FOriginY;
            SetViewXY(FOriginX + dx, FOriginY + dy);
            const int32_t mx = FOriginX - ox, my = FOriginY - oy;
            if (mx == 0 && my == 0) break;
            scrolled = true;
            FPressPoint.x -= mx;
            FPressPoint.y -= my;
            OffsetSelectionPoints(mx, my);
        }
    } catch (...) {
        FEdgeScrolling = false;
        throw;
    }
    FEdgeScrolling = false;
    return scrolled;
}

void TVovozIdView::StartGlide(int32_t X, int32_t Y) {
    FGlideTarget = {X, Y};
    if (FGlideTimer && FGlideTimer->GetEnabled()) return;
    if (!FGlideTimer) {
        FGlideTimer = std::make_unique<cl::TTimer>(nullptr);
        FGlideTimer->SetInterval(30);
        FGlideTimer->SetOnTimer([this](cl::TObject*) { GlideStep(); });
    }
    FGlideTimer->SetEnabled(true);
    GlideStep();
}

void TVovozIdView::GlideStep() {
    const int32_t ox = FOriginX, oy = FOriginY;
    const int32_t nx = static_cast<int32_t>(std::lround(ox - (ox - FGlideTarget.x) / 8.0));
    const int32_t ny = static_cast<int32_t>(std::lround(oy - (oy - FGlideTarget.y) / 8.0));
    SetViewXY(nx, ny);
    // The timer stops (it is not freed inside its own tick) at the target or on a press.
    if ((FOriginX == ox && FOriginY == oy) || (win::GetAsyncKeyState(win::VK_LBUTTON) & 0x8000))
        FGlideTimer->SetEnabled(false);
}

// ---------------------------------------------------------------------------------------
// Press

void TVovozIdView::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    TIEView::MouseDown(Button, Shift, X, Y);
    if (FGlideTimer) FGlideTimer->SetEnabled(false);
    if (cl::TCustomForm* form = cl::GetParentForm(this); form && form->GetVisible() && CanFocus() && !Focused())
        SetFocus();
    FPressZoomFilter = FZoomFilter;
    if (Button == cl::mbRight && (Shift & cl::ssLeft)) return;
    const bool layersRight = Button == cl::mbRight && (FSelectionOptions & IESelOpt(iesoRightButtonSelectLayers));
    if (Button != cl::mbLeft && !(FMouseInteract & IEMouseOpt(miZoom)) && !layersRight) return;
    TClientBase base(FSelectionBase, FAppSelectionBase, FSelectionBaseSwapped);
    if (!(FMouseInteract & IEMouseOpt(miScroll)) && FDelayZoomFilter) FZoomFilter = rfNone;
    SyncGeometry();
    int32_t cx = X, cy = Y;
    ClampToLayer(cx, cy);
    FPressPoint = {X, Y};
    FPressClamped = {cx, cy};
    FPrevPoint = {cx, cy};
    FMoveAnchor = {cx, cy};
    FPressOrigin = {FOriginX, FOriginY};
    FPressPointCount = static_cast<int32_t>(GetSelectionRecord()->Points.size());
    FMoved = false;
    FMouseCaptured = true;
    FPressButton = Button;
    FDragAdded = false;
    FSelectionChanged = false;
    const TIEMouseInteract mi = FMouseInteract;
    const bool shiftAdds = (Shift & cl::ssShift) && ShiftAddsSelection;
    if (Button == cl::mbLeft) {
        if (mi & (IEMouseOpt(miSelectPolygon) | IEMouseOpt(miSelectLasso))) {
            DoBeforeSelectionChange();
            if (InSelectionAt(X, Y, Shift) != 0) {
                const auto& pts = GetSelectionRecord()->Points;
                if ((Shift & cl::ssAlt) && FPolySelecting && !pts.empty() && pts.back().x != IEPolygonSeparator) {
                    TIELayer* layer = GetCurrentLayerObject();
                    IESnapLine45(layer->LayerToClientX(pts.back().x), layer->LayerToClientY(pts.back().y), cx, cy);
                }
                if (!FPolySelecting) {
                    if (shiftAdds)
                        StartNewSubPolygon();
                    else
                        Deselect();
                }
                AddSelectionPoint(cx, cy);
                FPolySelecting = true;
                FLassoSelecting = (mi & IEMouseOpt(miSelectLasso)) != 0;
                FSelectionChanged = true;
                DoSelectionChanging();
            } else {
                FHoverSel = 0;
            }
        } else if (mi & IEMouseOpt(miSelect)) {
            DoBeforeSelectionChange();
            FGripHeld = (Shift & cl::ssShift) ? 0 : SelectionGripAt(X, Y);
            if (!FGripHeld) FHoverSel = InSelectionAt(X, Y, Shift);
            if (FGripHeld) {
                const TIESelectionRecord* rec = GetSelectionRecord();
                FGripBox = cl::TRect{rec->X1, rec->Y1, rec->X2, rec->Y2};
                FGripRatio = rec->X2 > rec->X1 ? static_cast<double>(rec->Y2 - rec->Y1) / (rec->X2 - rec->X1) : 0;
            } else if (FHoverSel == -1) {
                FRectSelecting = true;
                if (FSelectionRatio == 0) {
                    // A fixed-size selection is placed at once, centred on the mouse.
                    TIELayer* layer = GetCurrentLayerObject();
                    const int32_t bx = layer->ClientToLayerX(cx) - FixedSelectionWidth / 2;
                    const int32_t by = layer->ClientToLayerY(cy) - FixedSelectionHeight / 2;
                    const TIESelectionBase b = FSelectionBase;
                    FSelectionBase = iesbBitmap;
                    AddSelectRect(bx, by, bx + FixedSelectionWidth, by + FixedSelectionHeight, shiftAdds ? 1 : 0, true,
                                  false);
                    FSelectionBase = b;
                    FDragAdded = true;
                    FSelectionChanged = true;
                }
                DoSelectionChanging();
            }
        } else if (mi & IEMouseOpt(miSelectZoom)) {
            FRectSelecting = true;
            FZoomSelecting = true;
            DoSelectionChanging();
            PushSelection();
        } else if (mi & IEMouseOpt(miSelectCircle)) {
            DoBeforeSelectionChange();
            FHoverSel = InSelectionAt(X, Y, Shift);
            if (FHoverSel == -1) {
                FCircleSelecting = true;
                GetSelectionRecord()->OutlineShown = false;
                DoSelectionChanging();
            }
        } else if (mi & IEMouseOpt(miSelectMagicWand)) {
            DoBeforeSelectionChange();
            FHoverSel = InSelectionAt(X, Y, Shift);
        }
    }
    if (((mi & IEMouseOpt(miMoveLayers)) && Button == cl::mbLeft) || layersRight) {
        SyncGeometry();
        TIELayer* cur = GetCurrentLayerObject();
        const TIEGrip grip = (mi & (IEMouseOpt(miResizeLayers) | IEMouseOpt(miRotateLayers))) && !cur->Immovable
                                 ? LayerGripAt(X, Y)
                                 : TIEGrip::ieNone;
        FLayerDragged = false;
        FLayerPrev = {X, Y};
        if ((mi & IEMouseOpt(miResizeLayers)) && grip != TIEGrip::ieNone && grip != TIEGrip::ieRotationCenter) {
            // A resize works on the upright layer: its rotation is applied to the pixels first.
            BakeLayerRotations(FCurrentLayer);
            cur = GetCurrentLayerObject();
            FResizingLayer = FCurrentLayer;
            FLayerGrip = grip;
            FLayerRatio = 0;
            FLayerPressRect = cl::TRect{cur->PositionX, cur->PositionY, cur->PositionX + cur->GetShownWidth(),
                                        cur->PositionY + cur->GetShownHeight()};
        } else if ((mi & IEMouseOpt(miRotateLayers)) && grip == TIEGrip::ieRotationCenter) {
            FPivotLayer = FCurrentLayer;
        } else if ((mi & IEMouseOpt(miRotateLayers)) && !PointInLayer(X, Y, FCurrentLayer)) {
            FRotatingLayer = FCurrentLayer;
            FRotateAngle = cur->Angle;
        } else {
            // The topmost pickable layer under the mouse becomes current and moves.
            for (int32_t i = GetLayerCount() - 1; i >= 0; --i) {
                TIELayer* l = GetLayer(i);
                if (!l->Visible || !l->Pickable || !l->GetBitmap()) continue;
                SyncGeometry();
                const int32_t lx = l->ClientToLayerX(X), ly = l->ClientToLayerY(Y);
                if (lx < 0 || ly < 0 || lx >= l->GetBitmap()->GetWidth() || ly >= l->GetBitmap()->GetHeight()) continue;
                if (i != FCurrentLayer) SetCurrentLayer(i);
                DoLayerNotify(FCurrentLayer, ielSelected);
                FMovingLayer = FCurrentLayer;
                FLayerMoved = false;
                FLayerPressPos = {GetCurrentLayerObject()->PositionX, GetCurrentLayerObject()->PositionY};
                if (!GetCurrentLayerObject()->Immovable) ShowViewCursor(1790);
                break;
            }
        }
    }
    if (mi & IEMouseOpt(miScroll)) {
        int32_t mx = 0, my = 0;
        GetMaxOrigin(mx, my);
        FScrolling = true;
        if (mx > 0 || my > 0) ShowViewCursor(1782);
    }
}

// ---------------------------------------------------------------------------------------
// Move

// The edges that the grip drags follow the mouse (in image pixels); the opposite edges stay.
// The layer keeps at least one pixel each way. With KeepRatio the height follows the width at
// the ratio of the first move (the width follows the height for the top and bottom grips).
void TVovozIdView::ResizeLayerByGrip(TIELayer* Layer, int32_t X, int32_t Y, bool KeepRatio) {
    const int32_t bx = ClientToBitmapX(X), by = ClientToBitmapY(Y);
    int32_t l = FLayerPressRect.left, t = FLayerPressRect.top, r = FLayerPressRect.right, b = FLayerPressRect.bottom;
    const TIEGrip g = FLayerGrip;
    const bool left = g == TIEGrip::ieTopLeft || g == TIEGrip::ieBottomLeft || g == TIEGrip::ieLeftSide;
    const bool right = g == TIEGrip::ieTopRight || g == TIEGrip::ieBottomRight || g == TIEGrip::ieRightSide;
    const bool top = g == TIEGrip::ieTopLeft || g == TIEGrip::ieTopRight || g == TIEGrip::ieTopSide;
    const bool bottom = g == TIEGrip::ieBottomLeft || g == TIEGrip::ieBottomRight || g == TIEGrip::ieBottomSide;
    if (left) l = std::min(bx, r - 1);
    if (right) r = std::max(bx, l + 1);
    if (top) t = std::min(by, b - 1);
    if (bottom) b = std::max(by, t + 1);
    if (KeepRatio && FLayerRatio > 0) {
        if (left || right) {
            const int32_t h = std::max(1, static_cast<int32_t>(std::lround((r - l) * FLayerRatio)));
            if (top)
                t = b - h;
            else
                b = t + h;
        } else {
            const int32_t w = std::max(1, static_cast<int32_t>(std::lround((b - t) / FLayerRatio)));
            r = l + w;
        }
    }
    Layer->PositionX = l;
    Layer->PositionY = t;
    Layer->ShownWidth = r - l;
    Layer->ShownHeight = b - t;
}

// The cursor over layers while no button is held. True when a layer mode chose it.
bool TVovozIdView::UpdateLayerCursor(int32_t X, int32_t Y) {
    const TIEMouseInteract mi = FMouseInteract;
    if (!(mi & (IEMouseOpt(miMoveLayers) | IEMouseOpt(miResizeLayers) | IEMouseOpt(miRotateLayers)))) return false;
    SyncGeometry();
    TIELayer* cur = GetCurrentLayerObject();
    if ((mi & IEMouseOpt(miResizeLayers)) && !cur->Immovable) {
        const TIEGrip grip = LayerGripAt(X, Y);
        if (grip != TIEGrip::ieNone && grip != TIEGrip::ieRotationCenter) {
            static const cl::TCursor gripCursor[] = {0, 1786, 1788, 1786, 1788, 1789, 1789, 1787, 1787};
            ShowViewCursor(gripCursor[static_cast<int32_t>(grip)]);
            return true;
        }
    }
    if (mi & IEMouseOpt(miRotateLayers)) {
        if (PointInLayer(X, Y, FCurrentLayer)) {
            RestoreCursor();
        } else {
            const cl::TRect c = GetLayerGripRect(FCurrentLayer, TIEGrip::ieRotationCenter);
            const bool leftOf = X < (c.left + c.right) / 2, above = Y < (c.top + c.bottom) / 2;
            ShowViewCursor(leftOf ? (above ? 1814 : 1811) : (above ? 1812 : 1813));
        }
        return true;
    }
    const int32_t over = LayerAtPoint(X, Y, true);
    if ((mi & IEMouseOpt(miMoveLayers)) && over >= 0 && !GetLayer(over)->Immovable)
        ShowViewCursor(1790);
    else
        RestoreCursor();
    return true;
}

void TVovozIdView::UpdateHoverCursor(cl::TShiftState Shift, int32_t X, int32_t Y) {
    if (UpdateLayerCursor(X, Y)) return;
    const TIEMouseInteract selModes = IEMouseOpt(miSelect) | IEMouseOpt(miSelectPolygon) | IEMouseOpt(miSelectCircle) |
                                      IEMouseOpt(miSelectZoom) | IEMouseOpt(miSelectMagicWand) |
                                      IEMouseOpt(miSelectLasso);
    if (!(FMouseInteract & selModes)) return;
    const int32_t grip = SelectionGripAt(X, Y);
    FHoveredGrip = grip;
    if (grip) {
        if (OnMouseInResizingGrip)
            WithAppSelectionBase([&] { OnMouseInResizingGrip(this, static_cast<TIEGrip>(grip)); });
        static const cl::TCursor gripCursor[] = {0, 1786, 1788, 1786, 1788, 1789, 1789, 1787, 1787};
        ShowViewCursor(gripCursor[grip]);
    } else if (InSelectionAt(X, Y, Shift) == 0) {
        ShowViewCursor(1790);
    } else if ((Shift & cl::ssShift) && ShiftAddsSelection && FViewCursor == 1785) {
        ShowViewCursor(1791);
    } else if ((Shift & cl::ssShift) && ShiftAddsSelection && FViewCursor == 1793) {
        ShowViewCursor(1794);
    } else {
        RestoreCursor();
    }
}

// The rubber band is drawn inverted: drawing it a second time restores the pixels under it.
void TVovozIdView::InvertRubberBand() {
    if (!HandleAllocated()) return;
    cl::TCanvas* c = GetCanvas();
    c->GetPen()->SetMode(cl::pmNot);
    c->GetPen()->SetStyle(cl::psSolid);
    c->GetPen()->SetWidth(1);
    c->MoveTo(FRubberFrom.x, FRubberFrom.y);
    c->LineTo(FRubberTo.x, FRubberTo.y);
    c->GetPen()->SetMode(cl::pmCopy);
    win::GdiFlush();
}

void TVovozIdView::MouseMove(cl::TShiftState Shift, int X, int Y) {
    TIEView::MouseMove(Shift, X, Y);
    TClientBase base(FSelectionBase, FAppSelectionBase, FSelectionBaseSwapped);
    SyncGeometry();
    int32_t cx = X, cy = Y;
    ClampToLayer(cx, cy);
    const bool held = FMouseCaptured && (Shift & (cl::ssLeft | cl::ssRight | cl::ssMiddle));
    const bool shiftAdds = (Shift & cl::ssShift) && ShiftAddsSelection;
    TIELayer* layer = GetCurrentLayerObject();
    if (held && !FLassoSelecting && FPolySelecting && !(Shift & cl::ssLeft)) {
        // Nothing: a polygon is drawn by clicks.
    } else if (held) {
        if (X != FPressPoint.x || Y != FPressPoint.y) FMoved = true;
        if (FScrolling && (FMouseInteract & IEMouseOpt(miScroll))) {
            SetViewXY(FPressOrigin.x - Trunc((X - FPressPoint.x) * DragScrollSpeed),
                      FPressOrigin.y - Trunc((Y - FPressPoint.y) * DragScrollSpeed));
        } else if (FGripHeld) {
            EdgeScroll();
            FGripHeld = ResizeSelectionByGrip(FGripHeld, cx, cy, (Shift & cl::ssAlt) || FSelectionRatio > 0);
            FSelectionChanged = true;
            RepaintSelection();
            DoSelectionChanging();
        } else if (FHoverSel != 0) {
            if (FRectSelecting && FMoved) {
                int32_t x1 = FPressClamped.x, y1 = FPressClamped.y, x2 = cx, y2 = cy;
                int32_t op = 0;
                if (shiftAdds) {
                    // The rectangle of this drag replaces its previous state.
                    if (FDragAdded) RemoveLastSubPolygon();
                    op = 1;
                }
                if (FSelectionRatio == 0) {
                    const int32_t bx = layer->ClientToLayerX(cx) - FixedSelectionWidth / 2;
                    const int32_t by = layer->ClientToLayerY(cy) - FixedSelectionHeight / 2;
                    FSelectionBase = iesbBitmap;
                    AddSelectRect(bx, by, bx + FixedSelectionWidth, by + FixedSelectionHeight, op, true, false);
                    FSelectionBase = iesbClientArea;
                } else {
                    AddSelectRect(x1, y1, x2, y2, op, (FSelectionOptions & IESelOpt(iesoSizeable)) == 0,
                                  (Shift & cl::ssAlt) || FSelectionRatio > 0);
                }
                FDragAdded = true;
                FSelectionChanged = true;
                RepaintSelection();
                DoSelectionChanging();
            } else if (FPolySelecting && (Shift & cl::ssLeft)) {
                EdgeScroll();
                AddSelectionPoint(cx, cy);
                FSelectionChanged = true;
            } else if (FCircleSelecting && FMoved) {
                if (shiftAdds && FDragAdded) RemoveLastSubPolygon();
                AddSelectEllipse(FPressClamped.x, FPressClamped.y, cx, cy, shiftAdds ? 1 : 0, (Shift & cl::ssAlt) != 0);
                FDragAdded = true;
                FSelectionChanged = true;
                RepaintSelection();
                DoSelectionChanging();
            } else if (FResizingLayer >= 0 && FResizingLayer == FCurrentLayer && !layer->Immovable) {
                if (!FLayerDragged) {
                    const int32_t w = layer->GetShownWidth(), h = layer->GetShownHeight();
                    FLayerRatio = w > 0 ? static_cast<double>(h) / w : 0;
                }
                FLayerDragged = true;
                EdgeScroll();
                ResizeLayerByGrip(layer, X, Y, (Shift & cl::ssAlt) != 0);
                SetInteractionHint(
                    std::to_string(layer->GetShownWidth()) + " x " + std::to_string(layer->GetShownHeight()), X, Y,
                    "0000 x 0000");
                Update();
                DoLayerNotify(FCurrentLayer, ielResizing);
            } else if (FRotatingLayer >= 0 && FRotatingLayer == FCurrentLayer && !layer->Immovable) {
                // A quarter of a degree per bitmap pixel of movement; moving right above the
                // centre turns the other way than below it.
                const int32_t dx = ClientToBitmapX(X) - ClientToBitmapX(FLayerPrev.x);
                const int32_t dy = ClientToBitmapY(Y) - ClientToBitmapY(FLayerPrev.y);
                const cl::TRect centre = GetLayerGripRect(FCurrentLayer, TIEGrip::ieRotationCenter);
                const bool above = Y < (centre.top + centre.bottom) / 2;
                FRotateAngle += (above ? -dx : dx) / 4.0 + dy / 4.0;
                if (dx || dy) FLayerDragged = true;
                const double angle = (Shift & cl::ssShift) ? std::trunc(FRotateAngle / 45.0) * 45.0 : FRotateAngle;
                layer->SetRotate(angle);
                SetInteractionHint(IEFloatToStrDot2(layer->Angle) + "\u00b0", X, Y, "0000\u00b0");
                layer->FreeDisplayCache();
                Update();
                DoLayerNotify(FCurrentLayer, ielRotating);
            } else if (FPivotLayer >= 0 && FPivotLayer == FCurrentLayer && layer->GetBitmap()) {
                const int32_t bw = std::max(layer->GetBitmap()->GetWidth(), 1);
                const int32_t bh = std::max(layer->GetBitmap()->GetHeight(), 1);
                const int32_t lx = layer->ClientToLayerX(X), ly = layer->ClientToLayerY(Y);
                layer->PivotX = static_cast<double>(lx) / bw;
                layer->PivotY = static_cast<double>(ly) / bh;
                SetInteractionHint("X=" + std::to_string(lx) + " Y=" + std::to_string(ly), X, Y, "X=000 Y=000");
                Update();
            } else if (FMovingLayer >= 0 && FMovingLayer == FCurrentLayer && !layer->Immovable) {
                EdgeScroll();
                const int32_t nx = FLayerPressPos.x + ClientToBitmapX(X) - ClientToBitmapX(FPressPoint.x);
                const int32_t ny = FLayerPressPos.y + ClientToBitmapY(Y) - ClientToBitmapY(FPressPoint.y);
                if (nx != layer->PositionX || ny != layer->PositionY) FLayerMoved = true;
                layer->PositionX = nx;
                layer->PositionY = ny;
                SetInteractionHint("X=" + std::to_string(nx) + " Y=" + std::to_string(ny), X, Y, "X=000 Y=000");
                Update();
                DoLayerNotify(FCurrentLayer, ielMoving);
            }
        } else if (FHoverSel == 0 &&
                   (FMouseInteract & (IEMouseOpt(miSelect) | IEMouseOpt(miSelectCircle) | IEMouseOpt(miSelectPolygon) |
                                      IEMouseOpt(miSelectLasso) | IEMouseOpt(miSelectMagicWand)))) {
            // Dragging the selection itself.
            if (FSelectionOptions & IESelOpt(iesoCanScroll)) EdgeScroll();
            const int32_t dx = layer->ClientToLayerX(cx) - layer->ClientToLayerX(FPrevPoint.x);
            const int32_t dy = layer->ClientToLayerY(cy) - layer->ClientToLayerY(FPrevPoint.y);
            if (dx || dy) {
                MoveSelection(dx, dy);
                FSelectionChanged = true;
                DoSelectionChanging();
            }
        }
        FPrevPoint = {cx, cy};
        FLayerPrev = {X, Y};
    } else {
        UpdateHoverCursor(Shift, X, Y);
        if (FPolySelecting && !FLassoSelecting) {
            // The rubber band from the last point to the mouse, drawn inverted so that the
            // next one erases it.
            const auto& pts = GetSelectionRecord()->Points;
            if (!pts.empty() && pts.back().x != IEPolygonSeparator && HandleAllocated()) {
                if (Shift & cl::ssAlt)
                    IESnapLine45(layer->LayerToClientX(pts.back().x), layer->LayerToClientY(pts.back().y), cx, cy);
                if (FRubberShown) InvertRubberBand();
                FRubberFrom = {layer->LayerToClientX(pts.back().x), layer->LayerToClientY(pts.back().y)};
                FRubberTo = {cx, cy};
                InvertRubberBand();
                FRubberShown = true;
            }
        }
        if ((FMouseInteract & IEMouseOpt(miMovingScroll)) && (X != FPrevPoint.x || Y != FPrevPoint.y)) {
            int32_t mx = 0, my = 0;
            GetMaxOrigin(mx, my);
            const int32_t vw = std::max(GetViewWidth(), 1), vh = std::max(GetViewHeight(), 1);
            const int32_t gx = Trunc((std::clamp(X, 0, vw) / static_cast<double>(vw) - 0.02) * 1.05 * mx);
            const int32_t gy = Trunc((std::clamp(Y, 0, vh) / static_cast<double>(vh) - 0.02) * 1.05 * my);
            StartGlide(gx, gy);
            FPrevPoint = {X, Y};
        }
    }
    if (!FSelectionMask->IsEmpty() && FSelectionMask->IsPointInside(layer->ClientToLayerX(X), layer->ClientToLayerY(Y)))
        DoMouseInSel();
}

// ---------------------------------------------------------------------------------------
// Release

void TVovozIdView::FinishPolygon(bool KeepMask) {
    TIESelectionRecord* rec = GetSelectionRecord();
    if (!KeepMask) FSelectionMask->Clear();
    if (rec->Points.size() > 0) EndSelect();
    FPolySelecting = false;
    FLassoSelecting = false;
    FRubberShown = false;
    FUpdateReason = 3;
    Update();
    RepaintSelection();
}

void TVovozIdView::EndInteraction() {
    FRectSelecting = false;
    FCircleSelecting = false;
    FZoomSelecting = false;
    FScrolling = false;
    FGripHeld = 0;
    FHoverSel = -1;
    FMovingLayer = -1;
    FResizingLayer = -1;
    FLayerGrip = TIEGrip::ieNone;
    FRotatingLayer = -1;
    FPivotLayer = -1;
    FLayerDragged = false;
    FMouseCaptured = false;
    FDragAdded = false;
    GetSelectionRecord()->OutlineShown = FSelected;
    UpdateAntsTimer();
}

void TVovozIdView::MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    TIEView::MouseUp(Button, Shift, X, Y);
    FHintText.clear();
    if (!FMouseCaptured) return;
    TClientBase base(FSelectionBase, FAppSelectionBase, FSelectionBaseSwapped);
    SyncGeometry();
    int32_t cx = X, cy = Y;
    ClampToLayer(cx, cy);
    const TIEMouseInteract mi = FMouseInteract;
    const bool shiftAdds = (Shift & cl::ssShift) && ShiftAddsSelection;
    const bool wasHover = FHoverSel == 0;
    if ((mi & IEMouseOpt(miZoom)) && !FMoved && !IsEmpty() && (Button == cl::mbLeft || Button == cl::mbRight)) {
        if (mi & IEMouseOpt(miScroll)) RestoreCursor();
        const double z = FZoomPercentX;
        double next = z;
        if (Button == cl::mbLeft) {
            if (z >= 100) {
                next = z + 100;
            } else {
                next = 100;
                for (double s : kZoomSteps)
                    if (s > z) {
                        next = s;
                        break;
                    }
            }
            if (OnZoomIn) OnZoomIn(this, next);
        } else {
            if (z >= 200) {
                next = z - 100;
            } else {
                next = 2;
                for (double s : kZoomSteps)
                    if (s < z) next = s;
            }
            if (OnZoomOut) OnZoomOut(this, next);
        }
        if (next != FZoomPercentX || next != FZoomPercentY) ZoomAtPoint(X, Y, false, next);
    }
    if ((mi & IEMouseOpt(miScroll)) && FScrolling) {
        SetViewXY(FPressOrigin.x - Trunc((X - FPressPoint.x) * DragScrollSpeed),
                  FPressOrigin.y - Trunc((Y - FPressPoint.y) * DragScrollSpeed));
        RestoreCursor();
    }
    if (Button == cl::mbLeft) {
        if ((mi & IEMouseOpt(miSelectZoom)) && FZoomSelecting) {
            if (FMoved) {
                EndSelect();
                ZoomToSelection(true, true);
            }
            FRectSelecting = false;
            PopSelection(true, 1);
        } else if (mi & (IEMouseOpt(miSelect) | IEMouseOpt(miSelectCircle))) {
            const bool circle = (mi & IEMouseOpt(miSelectCircle)) && !(mi & IEMouseOpt(miSelect));
            const bool dragged = (FMoved && (FRectSelecting || FCircleSelecting)) || FGripHeld || wasHover ||
                                 (FRectSelecting && FSelectionRatio == 0);
            if (dragged && (FMoved || FSelectionRatio == 0 || !wasHover)) {
                if (!shiftAdds) FSelectionMask->Clear();
                EndSelect();
                FHoverSel = -1;
                FGripHeld = 0;
                if (FIsOverview)
                    Invalidate();
                else
                    Update();
                FSelectionChanged = true;
            } else if (!FMoved && (FSelected || (circle && FSelectionRatio != 0))) {
                // A plain click removes the selection.
                Deselect();
                FSelectionChanged = true;
            }
        } else if (mi & IEMouseOpt(miSelectPolygon)) {
            FHoverSel = -1;
            Update();
        } else if (mi & IEMouseOpt(miSelectMagicWand)) {
            if (!wasHover) {
                ShowViewCursor(cl::crHourGlass);
                SelectMagicWand(cx, cy, shiftAdds ? 1 : 0);
                RestoreCursor();
                FSelectionChanged = true;
            }
        } else if (mi & IEMouseOpt(miSelectLasso)) {
            if (!FMoved) {
                FPolySelecting = false;
                FLassoSelecting = false;
                Deselect();
            } else if (FPolySelecting) {
                FinishPolygon(shiftAdds);
            }
            FSelectionChanged = true;
        }
        if (FMovingLayer >= 0) {
            RestoreCursor();
            if (FLayerMoved) DoLayerNotify(FMovingLayer, ielMoved);
        }
        if (FRotatingLayer >= 0) {
            if (FLayerDragged) {
                DoLayerNotify(FRotatingLayer, ielRotated);
            } else {
                // A click outside the current layer picks the layer under the mouse.
                const int32_t picked = LayerAtPoint(X, Y, true);
                if (picked >= 0) {
                    SetCurrentLayer(picked);
                    DoLayerNotify(FCurrentLayer, ielSelected);
                }
            }
        }
        if (FResizingLayer >= 0 && FLayerDragged) {
            DoLayerNotify(FResizingLayer, ielResized);
            Update();
        }
    } else if (Button == cl::mbRight && FPolySelecting &&
               (FSelectionOptions & IESelOpt(iesoRightButtonTerminatePolySelect))) {
        FinishPolygon(shiftAdds);
        FSelectionChanged = true;
    }
    FZoomFilter = FPressZoomFilter;
    const bool changed = FSelectionChanged;
    EndInteraction();
    if (FSelected || changed) DrawSelectionOutline(this, false);
    if (changed) DoSelectionChange();
}

void TVovozIdView::WMLButtonDblClk(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    if (!FPolySelecting || FLassoSelecting) return;
    // The point of the double click's first press goes; the polygon is finished.
    auto& pts = GetSelectionRecord()->Points;
    if (!pts.empty()) pts.pop_back();
    const bool shiftAdds = (win::GetKeyState(win::VK_SHIFT) & 0x8000) && ShiftAddsSelection;
    if (!shiftAdds) FSelectionMask->Clear();
    EndSelect();
    FUpdateReason = 3;
    Update();
    FPolySelecting = false;
    FRubberShown = false;
    GetSelectionRecord()->OutlineShown = FSelected;
    UpdateAntsTimer();
    RepaintSelection();
    DoSelectionChange();
}

// ---------------------------------------------------------------------------------------
// Keyboard

void TVovozIdView::KeyDown(uint16_t& Key, cl::TShiftState Shift) {
    TIEView::KeyDown(Key, Shift);
    if ((Shift & cl::ssShift) && ShiftAddsSelection) {
        if (FShownCursor == 1785) ShowViewCursor(1791);
        if (FShownCursor == 1793) ShowViewCursor(1794);
    }
}

void TVovozIdView::KeyUp(uint16_t& Key, cl::TShiftState Shift) {
    TIEView::KeyUp(Key, Shift);
    if (Key == win::VK_SHIFT) RestoreCursor();
}

void TVovozIdView::CMWantSpecialKey(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    if (!OnSpecialKey) return;
    bool handled = false;
    // The shift state of the key data: Alt from the context bit, Shift and Ctrl from the keyboard.
    cl::TShiftState shift = 0;
    if (win::GetKeyState(win::VK_SHIFT) & 0x8000) shift |= cl::ssShift;
    if (win::GetKeyState(win::VK_CONTROL) & 0x8000) shift |= cl::ssCtrl;
    if (static_cast<uint32_t>(Message.LParam) & 0x20000000u) shift |= cl::ssAlt;
    OnSpecialKey(this, static_cast<uint16_t>(Message.WParam), shift, handled);
    if (handled) Message.Result = 1;
}

void TVovozIdView::CNKeyMessage(cl::TMessage& Message, bool Down) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    if (OnVirtualKey)
        OnVirtualKey(this, static_cast<uint32_t>(Message.WParam), static_cast<uint32_t>(Message.LParam), Down);
}

}  // namespace ie
