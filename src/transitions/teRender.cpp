// Rendering a window tree into an off-screen bitmap as an unobscured screen would show it,
// and the housekeeping walks around a transition (palettes, refresh afterwards).
#include <memory>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "classlib/OleCtrls.h"
#include "classlib/TypInfo.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"
#include "transitions/teRender_internal.h"

namespace te {

namespace {

// Saves a DC's clip region and puts it back (also when painting raises).
class ClipSaver {
public:
    explicit ClipSaver(win::HDC dc) : dc_(dc), rgn_(win::CreateRectRgn(0, 0, 0, 0)) {
        had_ = win::GetClipRgn(dc_, rgn_) == 1;
    }
    ~ClipSaver() {
        win::SelectClipRgn(dc_, had_ ? rgn_ : nullptr);
        win::DeleteObject(rgn_);
    }
    ClipSaver(const ClipSaver&) = delete;
    ClipSaver& operator=(const ClipSaver&) = delete;
    bool HadClip() const { return had_; }

private:
    win::HDC dc_;
    win::HRGN rgn_;
    bool had_ = false;
};

// Moves a DC's window origin and puts it back.
class OriginSaver {
public:
    OriginSaver(win::HDC dc, int dx, int dy) : dc_(dc) { win::OffsetWindowOrgEx(dc_, dx, dy, &old_); }
    ~OriginSaver() { win::SetWindowOrgEx(dc_, old_.x, old_.y, nullptr); }
    OriginSaver(const OriginSaver&) = delete;
    OriginSaver& operator=(const OriginSaver&) = delete;

private:
    win::HDC dc_;
    win::POINT old_;
};

// SaveDC / RestoreDC around a step.
class DCState {
public:
    explicit DCState(win::HDC dc) : dc_(dc), level_(win::SaveDC(dc)) {}
    ~DCState() { win::RestoreDC(dc_, level_); }
    DCState(const DCState&) = delete;
    DCState& operator=(const DCState&) = delete;

private:
    win::HDC dc_;
    int level_;
};

// Aligns the DC's brush origin with the window's real one, so that patterned backgrounds
// continue seamlessly into the bitmap; undone at the end of the scope.
class BrushOriginAlign {
public:
    BrushOriginAlign(win::HDC dc, win::HWND wnd) : dc_(dc) {
        win::POINT real;
        {
            win::DCRedirectSuspend suspend;
            win::HDC wdc = win::GetDC(wnd);
            if (wdc) {
                win::GetBrushOrgEx(wdc, &real);
                win::ReleaseDC(wnd, wdc);
            }
        }
        win::POINT zero;
        win::LPtoDP(dc_, &zero, 1);
        win::SetBrushOrgEx(dc_, real.x + zero.x, real.y + zero.y, &old_);
    }
    ~BrushOriginAlign() { win::SetBrushOrgEx(dc_, old_.x, old_.y, nullptr); }
    BrushOriginAlign(const BrushOriginAlign&) = delete;
    BrushOriginAlign& operator=(const BrushOriginAlign&) = delete;

private:
    win::HDC dc_;
    win::POINT old_;
};

// The redirection of a window's own DC requests for the time of its painting.
class Redirection {
public:
    Redirection(win::HDC dc, win::HWND wnd, bool allModules) : all_(allModules) { BeginDCRedirection(dc, wnd, all_); }
    ~Redirection() { EndDCRedirection(all_); }
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;

private:
    bool all_;
};

struct WindowKind {
    bool RenderWindow = false;
    bool MaximizedMDIChild = false;
    bool MDIClientWithMaxChild = false;
    bool MDIClient = false;
};

cl::TCustomForm* MainForm() { return cl::Application ? cl::Application->GetMainForm() : nullptr; }

bool InheritsFromName(const cl::TClass* cls, const char* name) {
    for (const cl::TClass* c = cls; c; c = c->Parent)
        if (cl::SameText(c->Name, name)) return true;
    return false;
}

win::RECT WindowRectOf(win::HWND wnd) {
    win::RECT r;
    win::GetWindowRect(wnd, &r);
    return r;
}

// A temporary device-format bitmap that a painting step draws into before it is copied.
template <class Paint>
void PaintThroughBitmap(win::HDC dc, int width, int height, Paint paint) {
    if (width <= 0 || height <= 0) return;
    cl::TBitmap tmp;
    tmp.SetPixelFormat(cl::pfDevice);
    tmp.SetSize(width, height);
    win::HDC tdc = tmp.GetCanvas()->GetHandle();
    paint(tdc);
    win::BitBlt(dc, 0, 0, width, height, tdc, 0, 0, win::SRCCOPY);
}

WindowKind ClassifyWindow(win::HWND wnd, cl::TControl* control) {
    WindowKind k;
    cl::String name;
    if (control) {
        name = control->ClassName();
    } else {
        char buf[64] = {};
        int n = win::GetClassNameA(wnd, buf, sizeof(buf));
        name.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
    }
    k.RenderWindow = cl::SameText(name, "TTERenderWindow");
    k.MaximizedMDIChild = control && IsMaximizedMDIChild(control);
    k.MDIClientWithMaxChild = !control && IsMDIClientWithMaximizedChild(name);
    k.MDIClient = cl::SameText(name, "MDICLIENT");
    cl::TCustomForm* main = MainForm();
    if (control && control == main && IsMDIFormWithMaximizedChild(control) && main->GetClientHandle()) {
        win::HWND client = main->GetClientHandle();
        win::LONG ex = win::GetWindowLongA(client, win::GWL_EXSTYLE);
        if (ex & static_cast<win::LONG>(win::WS_EX_CLIENTEDGE)) {
            win::SetWindowLongA(client, win::GWL_EXSTYLE, ex & ~static_cast<win::LONG>(win::WS_EX_CLIENTEDGE));
            win::SetWindowPos(
                client, nullptr, 0, 0, 0, 0,
                win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_FRAMECHANGED);
        }
    }
    return k;
}

void FillWithControlBrush(win::HDC dc, cl::TControl* control, const win::RECT& r) {
    win::HBRUSH brush = win::CreateSolidBrush(static_cast<win::COLORREF>(cl::ColorToRGB(control->GetColor())));
    win::FillRect(dc, &r, brush);
    win::DeleteObject(brush);
}

// The border of a client-edge window as the edit-text element draws it: without visual
// themes, the classic sunken edge over the window rectangle.
void DrawThemedBorder(win::HDC dc, cl::TControl*, win::HWND wnd) {
    if (!(static_cast<win::DWORD>(win::GetWindowLongA(wnd, win::GWL_EXSTYLE)) & win::WS_EX_CLIENTEDGE)) return;
    DCState state(dc);
    win::RECT wr = WindowRectOf(wnd);
    win::RECT r = MakeRect(0, 0, wr.right - wr.left, wr.bottom - wr.top);
    win::ExcludeClipRect(dc, r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
    win::DrawEdge(dc, &r, win::EDGE_SUNKEN, win::BF_RECT);
}

// The client rectangle of a window in its window's coordinates.
win::RECT ClientRectInWindow(cl::TControl* control, win::HWND wnd) {
    win::POINT off;
    GetWindowClientOffset(wnd, off);
    return MakeRect(off.x, off.y, off.x + control->GetClientWidth(), off.y + control->GetClientHeight());
}

// The class library's border and bevels of a windowed control, its window's own frame over
// them, then the border a control paints itself.
void DrawBevelFrame(cl::TControl* control, win::HDC dc, win::HWND wnd, bool themed) {
    auto* wc = control->Is<cl::TWinControl>() ? static_cast<cl::TWinControl*>(control) : nullptr;
    {
        DCState state(dc);
        const int border = wc ? wc->GetBorderWidth() : 0;
        const cl::TBevelKind kind = wc ? wc->GetBevelKind() : cl::bkNone;
        if (kind != cl::bkNone || border > 0) {
            const win::RECT client = ClientRectInWindow(control, wnd);
            win::ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
            win::RECT bevel =
                MakeRect(client.left - border, client.top - border, client.right + border, client.bottom + border);
            if (kind != cl::bkNone) {
                static const win::UINT inner[] = {0, win::BDR_SUNKENINNER, win::BDR_RAISEDINNER, 0};
                static const win::UINT outer[] = {0, win::BDR_SUNKENOUTER, win::BDR_RAISEDOUTER, 0};
                static const win::UINT kinds[] = {0, 0, win::BF_SOFT, win::BF_FLAT};
                const cl::TBevelCut in = wc->GetBevelInner(), out = wc->GetBevelOuter();
                const int edge =
                    (in != cl::bvNone ? wc->GetBevelWidth() : 0) + (out != cl::bvNone ? wc->GetBevelWidth() : 0);
                const cl::TBevelEdges edges = wc->GetBevelEdges();
                const win::DWORD style = static_cast<win::DWORD>(win::GetWindowLongA(wnd, win::GWL_STYLE));
                if (edges & (1u << cl::beLeft)) bevel.left -= edge;
                if (edges & (1u << cl::beTop)) bevel.top -= edge;
                if (edges & (1u << cl::beRight)) bevel.right += edge;
                if (style & win::WS_VSCROLL) bevel.right += win::GetSystemMetrics(win::SM_CYVSCROLL);
                if (edges & (1u << cl::beBottom)) bevel.bottom += edge;
                if (style & win::WS_HSCROLL) bevel.bottom += win::GetSystemMetrics(win::SM_CXHSCROLL);
                win::DrawEdge(dc, &bevel, inner[in] | outer[out],
                              edges | kinds[kind] | (wc->Ctl3D ? 0u : win::BF_MONO) | win::BF_ADJUST);
            }
            win::IntersectClipRect(dc, bevel.left, bevel.top, bevel.right, bevel.bottom);
            win::RECT wr = WindowRectOf(wnd);
            FillWithControlBrush(dc, control, MakeRect(0, 0, wr.right - wr.left, wr.bottom - wr.top));
        }
    }
    {
        DCState state(dc);
        PrintNonClient(dc, control, wnd);
    }
    if (themed || (control->ControlStyle & cl::csNeedsBorderPaint)) DrawThemedBorder(dc, control, wnd);
}

// An ordinal published property of another library's control, 0 when it has none.
int64_t PublishedOrd(cl::TControl* control, const char* name) {
    return cl::GetPropInfo(control, name) ? cl::GetOrdProp(control, name) : 0;
}

// Tool windows carry their edges as published properties; inside the edges the frame is
// filled with the control's brush.
void DrawToolWindowFrame(win::HDC dc, cl::TControl* control, win::HWND wnd) {
    const win::RECT client = ClientRectInWindow(control, wnd);
    win::ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    static const win::UINT inner[] = {0, win::BDR_RAISEDINNER, win::BDR_SUNKENINNER};
    static const win::UINT outer[] = {0, win::BDR_RAISEDOUTER, win::BDR_SUNKENOUTER};
    auto style = [&](const char* name) {
        const int64_t v = PublishedOrd(control, name);
        return v >= 0 && v <= 2 ? static_cast<size_t>(v) : 0;
    };
    const auto borders = static_cast<win::UINT>(PublishedOrd(control, "EdgeBorders")) & win::BF_RECT;
    const bool ctl3D = !control->Is<cl::TWinControl>() || static_cast<cl::TWinControl*>(control)->Ctl3D;
    win::RECT wr = WindowRectOf(wnd);
    win::RECT r = MakeRect(0, 0, wr.right - wr.left, wr.bottom - wr.top);
    win::DrawEdge(dc, &r, inner[style("EdgeInner")] | outer[style("EdgeOuter")],
                  borders | (ctl3D ? 0u : win::BF_MONO) | win::BF_ADJUST);
    win::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    FillWithControlBrush(dc, control, r);
}

void DrawControlFrame(win::HDC dc, cl::TControl* control, win::HWND wnd, bool themed) {
    if (control && InheritsFromName(&control->ClassType(), "TToolWindow"))
        DrawToolWindowFrame(dc, control, wnd);
    else if (control)
        DrawBevelFrame(control, dc, wnd, themed && WinVersionCode >= 8);
}

void PaintClientByMessages(win::HDC dc, cl::TControl* control, win::HWND wnd) {
    cl::TWinControl* wc = control && control->Is<cl::TWinControl>() ? static_cast<cl::TWinControl*>(control) : nullptr;
    bool wasDouble = wc && wc->DoubleBuffered;
    if (wasDouble) wc->DoubleBuffered = false;
    try {
        {
            DCState state(dc);
            win::SendMessageA(wnd, win::WM_ERASEBKGND, reinterpret_cast<win::WPARAM>(dc), 0);
        }
        win::SendMessageA(wnd, win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
    } catch (...) {
        if (wasDouble) wc->DoubleBuffered = true;
        throw;
    }
    if (wasDouble) wc->DoubleBuffered = true;
}

// An OLE control's object draws its content over the control's client rectangle.
void OleDrawControl(win::HDC dc, cl::TControl* control) {
    if (!control || !control->Is<cl::TOleControl>()) return;
    auto* ole = static_cast<cl::TOleControl*>(control);
    ole->HandleNeeded();
    cl::OleDraw(ole->GetOleObject(), cl::DVASPECT_CONTENT, dc, ole->GetClientRect());
}

// A scrolling window whose visible bars are all regular ones gets them back from the flat
// scroll bar layer, which leaves its bars out of a printed frame.
void RegularScrollBarsForPrinting(cl::TControl* control, win::HWND wnd) {
    if (!control || !control->Is<cl::TScrollingWinControl>()) return;
    auto* sc = static_cast<cl::TScrollingWinControl*>(control);
    bool any = false;
    for (cl::TControlScrollBar* bar : {sc->GetHorzScrollBar(), sc->GetVertScrollBar()}) {
        if (!bar->IsScrollBarVisible()) continue;
        if (bar->GetStyle() != cl::ssRegular) return;
        any = true;
    }
    if (any) win::UninitializeFlatSB(wnd);
}

void PaintNonClientArea(win::HDC dc, cl::TControl* control, win::HWND wnd, const TTERegControl& entry) {
    uint32_t f = entry.Flags;
    RegularScrollBarsForPrinting(control, wnd);
    if (f & 0x200) {
        DCState state(dc);
        win::SendMessageA(wnd, CM_TEPAINTFRAME, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
    }
    {
        DCState state(dc);
        if (control && control->Is<cl::TWinControl>() && static_cast<cl::TWinControl*>(control)->GetBorderWidth() > 0) {
            DCState inner(dc);
            DrawControlFrame(dc, control, wnd, (f & 0x80) != 0);
        }
        if (f & 0x8) {
            PrintNonClient(dc, control, wnd);
        } else if (f & 0x10) {
            PrintNonClient(dc, control, wnd);
            win::SendMessageA(wnd, win::WM_NCPAINT, 0, reinterpret_cast<win::LPARAM>(dc));
        } else if (f & 0x40) {
            if (control && entry.FrameCallback && control->Is<cl::TWinControl>())
                entry.FrameCallback(static_cast<cl::TWinControl*>(control), dc);
        } else if (f & (0x8000000 | 0x100)) {
            PaintCopyByMessage(dc, control);
        } else if (f & 0x400) {
            win::SendMessageA(wnd, CM_TEPAINTFRAME, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
        } else if (f & 0x80000) {
            win::SendMessageA(wnd, CM_TEPAINTWHOLE, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
        } else {
            DrawControlFrame(dc, control, wnd, (f & 0x80) != 0);
        }
    }
    if (f & 0x800) {
        DCState state(dc);
        win::SendMessageA(wnd, CM_TEPAINTFRAME, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
    }
}

void PaintClientArea(win::HDC dc, cl::TControl* control, win::HWND wnd, const TTERegControl& entry) {
    uint32_t f = entry.Flags;
    if (f & 0x10000000) {
        DCState state(dc);
        win::SendMessageA(wnd, CM_TEPAINTCLIENT, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
    }
    {
        DCState state(dc);
        if (f & 0x800000)
            win::SendMessageA(wnd, win::WM_PRINT, reinterpret_cast<win::WPARAM>(dc),
                              win::PRF_CLIENT | win::PRF_ERASEBKGND);
        else if (f & 0x1000000)
            PaintClientByMessages(dc, control, wnd);
        else if (f & 0x4000000) {
            if (entry.ClientCallback && control && control->Is<cl::TWinControl>())
                entry.ClientCallback(static_cast<cl::TWinControl*>(control), dc);
        } else if (f & 0x20000000)
            win::SendMessageA(wnd, CM_TEPAINTCLIENT, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
        else
            OleDrawControl(dc, control);
    }
    if (f & 0x40000000) {
        DCState state(dc);
        win::SendMessageA(wnd, CM_TEPAINTCLIENT, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
    }
}

void GetClientOffsetAndSize(win::HWND wnd, cl::TControl* control, bool maxMDIChild, win::POINT& offset, int& width,
                            int& height) {
    win::RECT cr;
    win::GetClientRect(wnd, &cr);
    width = cr.right - cr.left;
    height = cr.bottom - cr.top;
    if (maxMDIChild && control && control->Is<cl::TWinControl>()) {
        int b = static_cast<cl::TWinControl*>(control)->GetBorderWidth();
        offset = win::POINT{b, b};
        return;
    }
    GetWindowClientOffset(wnd, offset);
}

struct RenderOptions {
    bool OwnModuleOnly = false;
    bool UseWindowRegion = false;
    bool SkipInvisible = true;
};

void RenderWindowClipped(win::HWND wnd, win::HWND exclude, TTERegControl& entry, const RenderOptions& opt,
                         const win::RECT& r, win::HDC dc, cl::TControl* control);

void PaintChildWindows(win::HDC dc, win::HWND wnd, win::HWND exclude, TTERegControl& entry, const win::RECT& r,
                       const win::POINT& clientOffset, bool ownModuleOnly, bool maxChildOfMDIClient, bool isMDIClient) {
    win::HWND child = win::GetWindow(wnd, win::GW_CHILD);
    if (!child) return;
    child = win::GetWindow(child, maxChildOfMDIClient ? win::GW_HWNDFIRST : win::GW_HWNDLAST);
    while (child) {
        if (child == exclude) {
            if (!(isMDIClient && !maxChildOfMDIClient)) break;
            child = win::GetWindow(child, win::GW_HWNDPREV);
            continue;
        }
        if (win::IsWindowVisible(child)) {
            win::RECT cr = WindowRectOf(child);
            win::POINT tl{cr.left, cr.top};
            win::ScreenToClient(wnd, &tl);
            int w = cr.right - cr.left, h = cr.bottom - cr.top;
            win::RECT place = MakeRect(tl.x + clientOffset.x, tl.y + clientOffset.y, tl.x + clientOffset.x + w,
                                       tl.y + clientOffset.y + h);
            win::RECT part;
            bool any;
            if (maxChildOfMDIClient) {
                part = r;
                place.left = 0;
                place.top = 0;
                any = !RectEmpty(part);
            } else {
                any = IntersectRects(part, place, r);
                part = MakeRect(part.left - place.left, part.top - place.top, part.right - place.left,
                                part.bottom - place.top);
            }
            if (any) {
                OriginSaver origin(dc, -place.left, -place.top);
                RenderOptions childOpt;
                childOpt.OwnModuleOnly = ownModuleOnly;
                childOpt.UseWindowRegion = true;
                childOpt.SkipInvisible = true;
                RenderWindowClipped(child, exclude, entry, childOpt, part, dc, nullptr);
            }
        }
        if (maxChildOfMDIClient) break;
        child = win::GetWindow(child, win::GW_HWNDPREV);
    }
}

void PaintWindow(win::HDC dc, cl::TControl* control, win::HWND wnd, TTERegControl& entry, const win::RECT& r, int width,
                 int height, bool ownModuleOnly, const WindowKind& kind, win::HWND exclude) {
    Redirection redirect(dc, wnd, !ownModuleOnly);
    uint32_t f = entry.Flags;
    win::POINT offset;
    int cw = 0, ch = 0;
    GetClientOffsetAndSize(wnd, control, kind.MaximizedMDIChild, offset, cw, ch);
    bool whole =
        (f & 0x1) && (f & 0x100000) &&
        ((entry.FrameCallback && entry.FrameCallback == entry.ClientCallback) || (f & (0x8000000 | 0x100 | 0x80000)));
    if (whole) {
        std::unique_ptr<OriginSaver> mdiOrigin;
        if (kind.MaximizedMDIChild)
            mdiOrigin = std::make_unique<OriginSaver>(dc, -control->GetLeft(), -control->GetTop());
        if (f & (0x1000 | 0x80000000u)) {
            PaintThroughBitmap(dc, width, height, [&](win::HDC tdc) { PaintNonClientArea(tdc, control, wnd, entry); });
        } else {
            BrushOriginAlign align(dc, wnd);
            PaintNonClientArea(dc, control, wnd, entry);
        }
    } else {
        if (f & 0x100000) {
            ClipSaver clip(dc);
            OriginSaver origin(dc, -offset.x, -offset.y);
            win::IntersectClipRect(dc, 0, 0, cw, ch);
            if (f & 0x80000000u) {
                PaintThroughBitmap(dc, cw, ch, [&](win::HDC tdc) { PaintClientArea(tdc, control, wnd, entry); });
            } else {
                BrushOriginAlign align(dc, wnd);
                PaintClientArea(dc, control, wnd, entry);
            }
        }
        if ((f & 0x1) && (cw != width || ch != height)) {
            ClipSaver clip(dc);
            win::ExcludeClipRect(dc, offset.x, offset.y, offset.x + cw, offset.y + ch);
            std::unique_ptr<OriginSaver> mdiOrigin;
            if (kind.MaximizedMDIChild)
                mdiOrigin = std::make_unique<OriginSaver>(dc, -control->GetLeft(), -control->GetTop());
            if (f & 0x1000) {
                PaintThroughBitmap(dc, width, height,
                                   [&](win::HDC tdc) { PaintNonClientArea(tdc, control, wnd, entry); });
            } else {
                BrushOriginAlign align(dc, wnd);
                PaintNonClientArea(dc, control, wnd, entry);
            }
        }
    }
    if (!(control && control->Is<cl::TOleControl>())) {
        ClipSaver clip(dc);
        win::IntersectClipRect(dc, offset.x, offset.y, offset.x + cw, offset.y + ch);
        PaintChildWindows(dc, wnd, exclude, entry, r, offset, ownModuleOnly, kind.MDIClientWithMaxChild,
                          kind.MDIClient);
    }
}

void RenderWindowClipped(win::HWND wnd, win::HWND exclude, TTERegControl& entry, const RenderOptions& opt,
                         const win::RECT& r, win::HDC dc, cl::TControl* control) {
    if (!control) control = cl::FindControl(wnd);
    WindowKind kind = ClassifyWindow(wnd, control);
    if (kind.RenderWindow) return;
    if (opt.SkipInvisible && !win::IsWindowVisible(wnd)) return;
    ClipSaver clip(dc);
    int width, height;
    if (kind.MaximizedMDIChild && control->GetParent()) {
        width = control->GetParent()->GetClientWidth();
        height = control->GetParent()->GetClientHeight();
    } else {
        win::RECT wr = WindowRectOf(wnd);
        width = wr.right - wr.left;
        height = wr.bottom - wr.top;
    }
    win::HRGN area = win::CreateRectRgn(0, 0, width, height);
    if (opt.UseWindowRegion && !kind.MaximizedMDIChild) win::GetWindowRgn(wnd, area);
    win::POINT zero;
    win::LPtoDP(dc, &zero, 1);
    win::OffsetRgn(area, zero.x, zero.y);
    if (clip.HadClip())
        win::ExtSelectClipRgn(dc, area, win::RGN_AND);
    else
        win::SelectClipRgn(dc, area);
    win::DeleteObject(area);
    if (!RectEmpty(r)) {
        ResolveControlPaint(wnd, control, entry);
        PaintWindow(dc, control, wnd, entry, r, width, height, opt.OwnModuleOnly, kind, exclude);
    }
}

void RenderWindow(win::HWND wnd, win::HWND exclude, win::HDC dc, win::RECT r, cl::TControl* control,
                  const RenderOptions& opt, bool rectInClientCoords) {
    if (wnd == exclude) return;
    if (opt.SkipInvisible && !win::IsWindowVisible(wnd)) return;
    if (exclude && !win::IsChild(wnd, exclude)) exclude = nullptr;
    std::unique_ptr<OriginSaver> origin;
    if (rectInClientCoords && !(control && IsMaximizedMDIChild(control))) {
        win::POINT off;
        GetWindowClientOffset(wnd, off);
        r = MakeRect(r.left + off.x, r.top + off.y, r.right + off.x, r.bottom + off.y);
        origin = std::make_unique<OriginSaver>(dc, off.x, off.y);
    }
    TTERegControl entry;
    RenderOptions top = opt;
    top.SkipInvisible = false;
    RenderWindowClipped(wnd, exclude, entry, top, r, dc, control);
}

void RefreshWindowTree(win::HWND wnd) {
    if (win::IsWindowVisible(wnd)) {
        if (cl::TWinControl* c = cl::FindControl(wnd)) {
            TTERegControl entry;
            if (RegControls()) RegControls()->Lookup(&c->ClassType(), entry);
            uint32_t f = AdjustPaintFlags(c, entry.Flags);
            bool focused = c->Focused();
            if ((f & 0x2) || (focused && (f & 0x4))) win::SendMessageA(wnd, win::WM_NCPAINT, 0, 0);
            if ((f & 0x200000) || (focused && (f & 0x400000)))
                win::RedrawWindow(wnd, nullptr, nullptr,
                                  c->GetControlCount() > 0
                                      ? (win::RDW_INVALIDATE | win::RDW_ERASE | win::RDW_NOCHILDREN)
                                      : (win::RDW_INVALIDATE | win::RDW_ERASE | win::RDW_ALLCHILDREN));
        }
    }
    for (win::HWND child = win::GetWindow(wnd, win::GW_CHILD); child; child = win::GetWindow(child, win::GW_HWNDNEXT))
        RefreshWindowTree(child);
}

bool RealizePalette(cl::TControl* control, bool& background) {
    bool result = false;
    cl::TWinControl* wc =
        control->Is<cl::TWinControl>() ? static_cast<cl::TWinControl*>(control) : control->GetParent();
    win::HPALETTE pal = control->Is<cl::TWinControl>() ? static_cast<cl::TWinControl*>(control)->GetPalette() : nullptr;
    if (pal && wc && wc->HandleAllocated()) {
        win::HWND wnd = wc->GetHandle();
        win::HDC dc = win::GetDC(wnd);
        win::HPALETTE old = win::SelectPalette(dc, pal, background ? win::TRUE : win::FALSE);
        win::RealizePalette(dc);
        win::SelectPalette(dc, old, win::TRUE);
        win::ReleaseDC(wnd, dc);
        result = true;
        background = true;
    }
    if (control->Is<cl::TWinControl>()) {
        auto* w = static_cast<cl::TWinControl*>(control);
        for (int i = w->GetControlCount() - 1; i >= 0; --i) {
            cl::TControl* child = w->Controls(i);
            if (child->GetVisible() && RealizePalette(child, background)) result = true;
        }
    }
    return result;
}

}  // namespace

// ---- paint methods shared with the registry ---------------------------------------------------------

void PaintCopyByMessage(win::HDC dc, cl::TControl* control) {
    if (!control || !control->Is<cl::TWinControl>()) return;
    auto* wc = static_cast<cl::TWinControl*>(control);
    wc->ControlState |= cl::csPaintCopy;
    try {
        win::SendMessageA(wc->GetHandle(), win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc), TEPaintRequest);
    } catch (...) {
        wc->ControlState &= ~static_cast<uint32_t>(cl::csPaintCopy);
        throw;
    }
    wc->ControlState &= ~static_cast<uint32_t>(cl::csPaintCopy);
}

void PrintNonClient(win::HDC dc, cl::TControl* control, win::HWND wnd) {
    bool mdiChild = control && control->Is<cl::TCustomForm>() &&
                    static_cast<cl::TCustomForm*>(control)->GetFormStyle() == cl::fsMDIChild;
    if (mdiChild && WinVersionCode > 7 && HasWindowRegion(wnd)) {
        PaintThroughBitmap(dc, control->GetWidth(), control->GetHeight(), [&](win::HDC tdc) {
            win::SendMessageA(wnd, win::WM_PRINT, reinterpret_cast<win::WPARAM>(tdc), win::PRF_NONCLIENT);
        });
        return;
    }
    win::SendMessageA(wnd, win::WM_PRINT, reinterpret_cast<win::WPARAM>(dc), win::PRF_NONCLIENT);
}

// ---- control geometry ----------------------------------------------------------------------------------

void GetControlClientOffset(cl::TControl* Control, win::POINT& Offset) {
    Offset = win::POINT{};
    if (Control && Control->Is<cl::TWinControl>())
        GetWindowClientOffset(static_cast<cl::TWinControl*>(Control)->GetHandle(), Offset);
}

int ControlClientWidth(cl::TControl* Control) { return Control->GetClientWidth(); }
int ControlClientHeight(cl::TControl* Control) { return Control->GetClientHeight(); }

win::POINT ControlClientToScreen(cl::TControl* Control, const win::POINT& P) {
    win::POINT o = Control->GetClientOrigin();
    return win::POINT{P.x + o.x, P.y + o.y};
}

win::POINT ControlScreenToClient(cl::TControl* Control, const win::POINT& P) {
    win::POINT o = Control->GetClientOrigin();
    return win::POINT{P.x - o.x, P.y - o.y};
}

// ---- MDI tests ---------------------------------------------------------------------------------------------

bool IsMaximizedMDIChild(cl::TControl* Control) {
    if (!Control || !Control->Is<cl::TCustomForm>()) return false;
    auto* form = static_cast<cl::TCustomForm*>(Control);
    cl::TCustomForm* main = MainForm();
    if (form->GetFormStyle() != cl::fsMDIChild || !main || main->GetFormStyle() != cl::fsMDIForm) return false;
    return form->GetWindowState() == cl::wsMaximized;
}

bool IsMDIClientWithMaximizedChild(const cl::String& ClassName) {
    if (!cl::SameText(ClassName, "MDICLIENT")) return false;
    cl::TCustomForm* main = MainForm();
    if (!main || main->GetMDIChildCount() == 0) return false;
    // The class library keeps no MDI children, so none can be maximized.
    return false;
}

bool IsMDIFormWithMaximizedChild(cl::TControl* Form) {
    return Form && Form->Is<cl::TCustomForm>() &&
           static_cast<cl::TCustomForm*>(Form)->GetFormStyle() == cl::fsMDIForm &&
           IsMDIClientWithMaximizedChild("MDICLIENT");
}

// ---- the renderer --------------------------------------------------------------------------------------------

cl::TBitmap* RenderWindowToBitmap(cl::TBitmap* Bitmap, win::HWND Wnd, win::HWND ExcludeWnd,
                                  cl::TPixelFormat PixelFormat, bool OwnModuleOnly, bool UseWindowRegion,
                                  bool SkipInvisible, bool RectInClientCoords, const win::RECT& R,
                                  cl::TControl* Control) {
    std::unique_ptr<cl::TBitmap> made;
    int w = R.right - R.left, h = R.bottom - R.top;
    if (!Bitmap) {
        made = std::make_unique<cl::TBitmap>();
        AdjustBitmapFormat(made.get(), nullptr, w, h, PixelFormat);
        Bitmap = made.get();
    }
    cl::TCanvas* canvas = Bitmap->GetCanvas();
    canvas->Lock();
    try {
        win::HDC dc = canvas->GetHandle();
        ClipSaver clip(dc);
        win::POINT oldOrg;
        win::GetWindowOrgEx(dc, &oldOrg);
        win::HRGN area;
        if (made) {
            win::SetWindowOrgEx(dc, R.left, R.top, nullptr);
            area = win::CreateRectRgn(0, 0, w, h);
        } else {
            win::OffsetWindowOrgEx(dc, -R.left, -R.top, nullptr);
            area = win::CreateRectRgn(R.left, R.top, R.right, R.bottom);
        }
        win::SelectClipRgn(dc, area);
        win::DeleteObject(area);
        try {
            RenderOptions opt;
            opt.OwnModuleOnly = OwnModuleOnly;
            opt.UseWindowRegion = UseWindowRegion;
            opt.SkipInvisible = SkipInvisible;
            RenderWindow(Wnd, ExcludeWnd, dc, R, Control, opt, RectInClientCoords);
        } catch (...) {
            win::SetWindowOrgEx(dc, oldOrg.x, oldOrg.y, nullptr);
            throw;
        }
        win::SetWindowOrgEx(dc, oldOrg.x, oldOrg.y, nullptr);
    } catch (...) {
        canvas->Unlock();
        throw;
    }
    canvas->Unlock();
    made.release();
    return Bitmap;
}

cl::TBitmap* RenderControlToBitmap(cl::TControl* Control, win::HWND ExcludeWnd, const win::RECT& R,
                                   cl::TPixelFormat PixelFormat, bool OwnModuleOnly, bool UseWindowRegion,
                                   bool RectInClientCoords) {
    if (!Control || !Control->Is<cl::TWinControl>()) return nullptr;
    return RenderWindowToBitmap(nullptr, static_cast<cl::TWinControl*>(Control)->GetHandle(), ExcludeWnd, PixelFormat,
                                OwnModuleOnly, UseWindowRegion, true, RectInClientCoords, R, Control);
}

bool RealizeControlPalettes(cl::TControl* Control, bool Background) {
    if (!Control || !IsPaletteDisplay(false)) return false;
    return RealizePalette(Control, Background);
}

void RefreshAfterTransition(win::HWND Wnd) {
    if (Wnd) RefreshWindowTree(Wnd);
}

}  // namespace te
