#include "pix32/Pix32_RangeBars.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "classlib/TypInfo.h"
#include "pix32/Pix32_System.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace pix32 {

using namespace win;

namespace {

COLORREF Rgb(cl::TColor C) { return cl::ControlColorToRGB(C); }

void Fill(HDC DC, const RECT& R, COLORREF C) {
    if (R.right <= R.left || R.bottom <= R.top) return;
    HBRUSH b = CreateSolidBrush(C);
    FillRect(DC, &R, b);
    DeleteObject(b);
}

COLORREF Sys(int Index) { return static_cast<COLORREF>(GetSysColor(Index)); }

// One-pixel lines along the top and left (TL) and the bottom and right (BR) of R.
void Frame(HDC DC, RECT& R, COLORREF TL, COLORREF BR, unsigned Sides) {
    if (Sides & BF_TOP) Fill(DC, RECT{R.left, R.top, R.right, R.top + 1}, TL);
    if (Sides & BF_LEFT) Fill(DC, RECT{R.left, R.top, R.left + 1, R.bottom}, TL);
    if (Sides & BF_BOTTOM) Fill(DC, RECT{R.left, R.bottom - 1, R.right, R.bottom}, BR);
    if (Sides & BF_RIGHT) Fill(DC, RECT{R.right - 1, R.top, R.right, R.bottom}, BR);
    if (Sides & BF_TOP) ++R.top;
    if (Sides & BF_LEFT) ++R.left;
    if (Sides & BF_BOTTOM) --R.bottom;
    if (Sides & BF_RIGHT) --R.right;
}

// A filled triangle pointing in Direction, centred in R, of N rows.
void Arrow(HDC DC, const RECT& R, TRBDirection Direction, int N, COLORREF C) {
    const int cx = (R.left + R.right) / 2, cy = (R.top + R.bottom) / 2;
    for (int i = 0; i < N; ++i) {
        switch (Direction) {
            case drUp: Fill(DC, RECT{cx - i, cy - N / 2 + i, cx + i + 1, cy - N / 2 + i + 1}, C); break;
            case drDown: Fill(DC, RECT{cx - i, cy + (N - 1) / 2 - i, cx + i + 1, cy + (N - 1) / 2 - i + 1}, C); break;
            case drLeft: Fill(DC, RECT{cx - N / 2 + i, cy - i, cx - N / 2 + i + 1, cy + i + 1}, C); break;
            case drRight: Fill(DC, RECT{cx + (N - 1) / 2 - i, cy - i, cx + (N - 1) / 2 - i + 1, cy + i + 1}, C); break;
        }
    }
}

int ArrowRows(const RECT& R) {
    const int s = std::min(R.right - R.left, R.bottom - R.top);
    return std::max(1, (s - 4) / 4 + 1);
}

TRBDirection DirectionOfFlag(unsigned State) {
    switch (State & 0xF) {
        case DFCS_SCROLLUP: return drUp;
        case DFCS_SCROLLDOWN: return drDown;
        case DFCS_SCROLLLEFT: return drLeft;
        default: return drRight;
    }
}

COLORREF Lighten(COLORREF C, int Amount) {
    auto ch = [&](int shift) {
        return static_cast<COLORREF>(std::clamp(static_cast<int>((C >> shift) & 0xFF) + Amount, 0, 255)) << shift;
    };
    return ch(0) | ch(8) | ch(16);
}

COLORREF Mix(COLORREF A, COLORREF B, int WeightA) {
    auto ch = [&](int shift) {
        const int a = (A >> shift) & 0xFF, b = (B >> shift) & 0xFF;
        return static_cast<COLORREF>((a * WeightA + b * (255 - WeightA)) / 255) << shift;
    };
    return ch(0) | ch(8) | ch(16);
}

}  // namespace

void ClassicDrawEdge(HDC DC, RECT& R, unsigned Edge, unsigned Flags) {
    const unsigned sides = Flags & BF_RECT;
    if (Edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER)) {
        if (Edge & BDR_RAISEDOUTER)
            Frame(DC, R, Sys(COLOR_3DLIGHT), Sys(COLOR_3DDKSHADOW), sides);
        else
            Frame(DC, R, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT), sides);
    }
    if (Edge & (BDR_RAISEDINNER | BDR_SUNKENINNER)) {
        if (Edge & BDR_RAISEDINNER)
            Frame(DC, R, Sys(COLOR_BTNHIGHLIGHT), Sys(COLOR_BTNSHADOW), sides);
        else
            Frame(DC, R, Sys(COLOR_3DDKSHADOW), Sys(COLOR_3DLIGHT), sides);
    }
    if (Flags & BF_MIDDLE) Fill(DC, R, Sys(COLOR_BTNFACE));
}

void ClassicDrawFrameControl(HDC DC, RECT R, unsigned Type, unsigned State) {
    if (Type != DFC_SCROLL) return;
    if (State & DFCS_SCROLLSIZEGRIP) {
        Fill(DC, R, Sys(COLOR_BTNFACE));
        // Three groups of diagonal lines in the lower right corner: a light one and two dark.
        const int s = std::min(R.right - R.left, R.bottom - R.top);
        for (int g = 0; g < 3; ++g)
            for (int d = 0; d < 3; ++d) {
                const int o = 2 + 4 * g + d;
                if (o > s) continue;
                const COLORREF c = d == 0 ? Sys(COLOR_BTNHIGHLIGHT) : Sys(COLOR_BTNSHADOW);
                for (int i = 0; i < o; ++i)
                    Fill(DC, RECT{R.right - o + i, R.bottom - 1 - i, R.right - o + i + 1, R.bottom - i}, c);
            }
        return;
    }
    const TRBDirection dir = DirectionOfFlag(State);
    RECT in = R;
    int shift = 0;
    if ((State & DFCS_PUSHED) && (State & DFCS_FLAT)) {
        Frame(DC, in, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNSHADOW), BF_RECT);
        Fill(DC, in, Sys(COLOR_BTNFACE));
        shift = 1;
    } else if (State & DFCS_PUSHED) {
        ClassicDrawEdge(DC, in, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
        shift = 1;
    } else {
        ClassicDrawEdge(DC, in, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
    RECT g{R.left + shift, R.top + shift, R.right + shift, R.bottom + shift};
    const int n = ArrowRows(R);
    if (State & DFCS_INACTIVE) {
        Arrow(DC, RECT{g.left + 1, g.top + 1, g.right + 1, g.bottom + 1}, dir, n, Sys(COLOR_BTNHIGHLIGHT));
        Arrow(DC, g, dir, n, Sys(COLOR_BTNSHADOW));
    } else {
        Arrow(DC, g, dir, n, Sys(COLOR_BTNTEXT));
    }
}

void ClassicDrawFocusRect(HDC DC, const RECT& R) {
    if (R.right <= R.left || R.bottom <= R.top) return;
    auto dot = [&](int x, int y) {
        RECT p{x, y, x + 1, y + 1};
        InvertRect(DC, &p);
    };
    int i = 0;
    for (int x = R.left; x < R.right; ++x, ++i)
        if (!(i & 1)) dot(x, R.top);
    for (int y = R.top + 1; y < R.bottom; ++y, ++i)
        if (!(i & 1)) dot(R.right - 1, y);
    if (R.bottom - R.top > 1)
        for (int x = R.right - 2; x >= R.left; --x, ++i)
            if (!(i & 1)) dot(x, R.bottom - 1);
    if (R.right - R.left > 1)
        for (int y = R.bottom - 2; y > R.top; --y, ++i)
            if (!(i & 1)) dot(R.left, y);
}

void FillPatternRect(HDC DC, const RECT& R, cl::TColor C1, cl::TColor C2) {
    const COLORREF a = Rgb(C1), b = Rgb(C2);
    if (a == b) {
        Fill(DC, R, a);
        return;
    }
    auto bgr = [](COLORREF c) -> uint32_t { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); };
    uint32_t bits[64];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) bits[y * 8 + x] = ((x + y) & 1) ? bgr(b) : bgr(a);
    HBITMAP bmp = CreateBitmap(8, 8, 1, 32, bits);
    HBRUSH brush = CreatePatternBrush(bmp);
    FillRect(DC, &R, brush);
    DeleteObject(brush);
    DeleteObject(bmp);
}

// ---------------------------------------------------------------------------------------------
// TArrowBar

TArrowBar::TArrowBar(cl::TComponent* AOwner) : cl::TCustomControl(AOwner) {
    StartupPix32RangeBars();
    ControlStyle = (ControlStyle & ~(cl::csAcceptsControls | cl::csDoubleClicks)) | cl::csOpaque;
    SetBounds(FLeft, FTop, 100, 16);
    FParentColor = false;
    FColor = cl::clScrollBar;
    FTimer = new cl::TTimer(this);
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](cl::TObject* Sender) { TimerHandler(Sender); });
}

TArrowBar::~TArrowBar() = default;

void TArrowBar::SetBackgnd(TRBBackgnd Value) {
    if (Value == FBackgnd) return;
    FBackgnd = Value;
    Invalidate();
}

void TArrowBar::SetBorderStyle(TBorderStyle Value) {
    if (Value == FBorderStyle) return;
    FBorderStyle = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TArrowBar::SetButtonSize(int32_t Value) {
    if (Value == FButtonSize) return;
    FButtonSize = Value;
    Invalidate();
}

#define PIX32_COLOR_SETTER(Name)                  \
    void TArrowBar::Set##Name(cl::TColor Value) { \
        if (Value == F##Name) return;             \
        F##Name = Value;                          \
        Invalidate();                             \
    }
PIX32_COLOR_SETTER(HandleColor)
PIX32_COLOR_SETTER(ButtonColor)
PIX32_COLOR_SETTER(HighLightColor)
PIX32_COLOR_SETTER(ShadowColor)
PIX32_COLOR_SETTER(BorderColor)
#undef PIX32_COLOR_SETTER

void TArrowBar::SetKind(TScrollBarKind Value) {
    if (Value == FKind) return;
    FKind = Value;
    if (HasState(cl::csDesigning) && !HasState(cl::csLoading)) SetBounds(FLeft, FTop, FHeight, FWidth);
    Invalidate();
}

void TArrowBar::SetShowArrows(bool Value) {
    if (Value == FShowArrows) return;
    FShowArrows = Value;
    Invalidate();
}

void TArrowBar::SetShowHandleGrip(bool Value) {
    if (Value == FShowHandleGrip) return;
    FShowHandleGrip = Value;
    Invalidate();
}

void TArrowBar::SetStyle(TRBStyle Value) {
    FStyle = Value;
    if (HandleAllocated()) RecreateWnd();
}

win::RECT TArrowBar::CalcClientRect(int w, int h) const {
    const int b = FBorderStyle == cl::bsSingle ? 1 : 0;
    return RECT{0, 0, std::max(0, w - 2 * b), std::max(0, h - 2 * b)};
}

int32_t TArrowBar::ClientLength() const {
    const RECT r = GetClientRect();
    return FKind == sbHorizontal ? r.right - r.left : r.bottom - r.top;
}

int32_t TArrowBar::ClientThickness() const {
    const RECT r = GetClientRect();
    return FKind == sbHorizontal ? r.bottom - r.top : r.right - r.left;
}

int32_t TArrowBar::GetButtonSize() {
    if (!FShowArrows) return 0;
    const int32_t L = ClientLength(), T = ClientThickness();
    int32_t S = FButtonSize != 0 ? FButtonSize : std::min(T, 32);
    int32_t result = 2 * S < L ? S : L / 2;
    if (FStyle == rbsMac) --result;
    return result <= 1 ? 0 : result;
}

TRBZone TArrowBar::GetZone(int32_t X, int32_t Y) {
    const RECT r = GetClientRect();
    if (X < r.left || X >= r.right || Y < r.top || Y >= r.bottom) return rzNone;
    const int32_t B = GetButtonSize(), L = ClientLength();
    const int32_t P = FKind == sbHorizontal ? X : Y;
    if (P < B) return rzPrevButton;
    if (P >= L - B) return rzNextButton;
    const RECT h = GetHandleRect();
    if (X >= h.left && X < h.right && Y >= h.top && Y < h.bottom) return rzHandle;
    const int32_t hs = FKind == sbHorizontal ? h.left : h.top;
    const int32_t he = FKind == sbHorizontal ? h.right : h.bottom;
    if (P > 0 && P < hs) return rzPrevTrack;
    if (P >= he && P < L - 1) return rzNextTrack;
    return rzNone;
}

bool TArrowBar::DrawEnabled() { return GetEnabled(); }

win::RECT TArrowBar::GetHandleRect() { return RECT{0, 0, 0, 0}; }

void TArrowBar::DoChange() {
    if (OnChange) OnChange(this);
    if (FGenChange && OnUserChange) OnUserChange(this);
}

void TArrowBar::Paint() {
    const RECT client = GetClientRect();
    const int32_t B = GetButtonSize();
    const bool E = DrawEnabled();
    const bool horz = FKind == sbHorizontal;
    RECT track = client;
    if (FShowArrows) {
        RECT first = client, last = client;
        if (horz) {
            first.right = first.left + B;
            last.left = last.right - B;
            track.left += B;
            track.right -= B;
        } else {
            first.bottom = first.top + B;
            last.top = last.bottom - B;
            track.top += B;
            track.bottom -= B;
        }
        if (B > 0) {
            DoDrawButton(first, horz ? drLeft : drUp, FDragZone == rzPrevButton, E, FHotZone == rzPrevButton);
            DoDrawButton(last, horz ? drRight : drDown, FDragZone == rzNextButton, E, FHotZone == rzNextButton);
        }
    }
    RECT handle = E ? GetHandleRect() : RECT{0, 0, 0, 0};
    const bool hasHandle = handle.right > handle.left && handle.bottom > handle.top;
    RECT before = track, after = track;
    if (hasHandle) {
        if (horz) {
            before.right = handle.left;
            after.left = handle.right;
        } else {
            before.bottom = handle.top;
            after.top = handle.bottom;
        }
    } else {
        if (horz)
            after.left = after.right;
        else
            after.top = after.bottom;
    }
    if (before.right > before.left && before.bottom > before.top)
        DoDrawTrack(before, horz ? drLeft : drUp, FDragZone == rzPrevTrack, E, FHotZone == rzPrevTrack);
    if (after.right > after.left && after.bottom > after.top)
        DoDrawTrack(after, horz ? drRight : drDown, FDragZone == rzNextTrack, E, FHotZone == rzNextTrack);
    if (hasHandle) DoDrawHandle(handle, horz, FDragZone == rzHandle, FHotZone == rzHandle);
}

void TArrowBar::DoDrawButton(RECT R, TRBDirection Direction, bool Pushed, bool Enabled, bool Hot) {
    HDC dc = GetCanvas()->GetHandle();
    if (FStyle == rbsDefault) {
        if (UseThemes && DrawThemeBackground) {
            static const int base[4] = {9, 1, 13, 5};
            const int offset = !Enabled ? 3 : Pushed ? 2 : Hot ? 1 : 0;
            DrawThemeBackground(ScrollBarTheme, dc, SBP_ARROWBTN, base[Direction] + offset, &R, nullptr);
            return;
        }
        static const unsigned flags[4] = {DFCS_SCROLLLEFT, DFCS_SCROLLUP, DFCS_SCROLLRIGHT, DFCS_SCROLLDOWN};
        unsigned state = flags[Direction];
        if (!Enabled) state |= DFCS_INACTIVE;
        if (Pushed) state |= DFCS_PUSHED | DFCS_FLAT;
        ClassicDrawFrameControl(dc, R, DFC_SCROLL, state);
        return;
    }
    // The flat style: edges on the outer sides, a framed face and a triangle.
    const COLORREF edge = Rgb(Enabled ? FBorderColor : FShadowColor);
    unsigned outer = FKind == sbHorizontal ? (BF_TOP | BF_BOTTOM | (Direction == drLeft ? BF_LEFT : BF_RIGHT))
                                           : (BF_LEFT | BF_RIGHT | (Direction == drUp ? BF_TOP : BF_BOTTOM));
    Frame(dc, R, edge, edge, outer);
    const int n = ArrowRows(R);
    if (Enabled) {
        if (!Pushed) Frame(dc, R, Rgb(FHighLightColor), Rgb(FShadowColor), BF_RECT);
        Fill(dc, R, Rgb(FButtonColor));
        Arrow(dc, R, Direction, n, Rgb(FBorderColor));
    } else {
        Fill(dc, R, Rgb(FButtonColor));
        Arrow(dc, RECT{R.left + 1, R.top + 1, R.right + 1, R.bottom + 1}, Direction, n, Rgb(FHighLightColor));
        Arrow(dc, R, Direction, n, Rgb(FShadowColor));
    }
}

void TArrowBar::DoDrawHandle(RECT R, bool Horizontal, bool Pushed, bool Hot) {
    HDC dc = GetCanvas()->GetHandle();
    if (FStyle == rbsDefault) {
        if (UseThemes && DrawThemeBackground) {
            const int state = !GetEnabled() ? 4 : Pushed ? 3 : Hot ? 2 : 1;
            DrawThemeBackground(ScrollBarTheme, dc, Horizontal ? SBP_THUMBBTNHORZ : SBP_THUMBBTNVERT, state, &R,
                                nullptr);
            if (FShowHandleGrip)
                DrawThemeBackground(ScrollBarTheme, dc, Horizontal ? SBP_GRIPPERHORZ : SBP_GRIPPERVERT, 0, &R, nullptr);
            return;
        }
        ClassicDrawEdge(dc, R, EDGE_RAISED, BF_RECT | BF_MIDDLE);
        return;
    }
    const COLORREF hc = Rgb(FHandleColor);
    Frame(dc, R, Rgb(FBorderColor), Rgb(FBorderColor), BF_RECT);
    Frame(dc, R, Lighten(hc, 24), Lighten(hc, -24), BF_RECT);
    Fill(dc, R, hc);
    if (FShowHandleGrip) {
        const int len = Horizontal ? R.right - R.left : R.bottom - R.top;
        const int lines = len > 10 ? 4 : 3;
        const int mid = Horizontal ? (R.left + R.right) / 2 : (R.top + R.bottom) / 2;
        for (int i = 0; i < lines; ++i) {
            const int at = mid - lines + 2 * i;
            if (Horizontal)
                Fill(dc, RECT{at, R.top + 2, at + 1, R.bottom - 2}, Lighten(hc, -48));
            else
                Fill(dc, RECT{R.left + 2, at, R.right - 2, at + 1}, Lighten(hc, -48));
        }
    }
}

void TArrowBar::DoDrawTrack(RECT R, TRBDirection Direction, bool Pushed, bool Enabled, bool /*Hot*/) {
    HDC dc = GetCanvas()->GetHandle();
    if (FStyle == rbsDefault) {
        if (UseThemes && DrawThemeBackground) {
            static const int parts[4] = {SBP_LOWERTRACKHORZ, SBP_LOWERTRACKVERT, SBP_UPPERTRACKHORZ,
                                         SBP_UPPERTRACKVERT};
            DrawThemeBackground(ScrollBarTheme, dc, parts[Direction], Pushed ? 3 : 1, &R, nullptr);
            return;
        }
        if (Pushed)
            Fill(dc, R, Sys(COLOR_WINDOWFRAME));
        else
            FillPatternRect(dc, R, cl::clBtnHighlight, GetColor());
        return;
    }
    const COLORREF edge = Rgb(Enabled ? FBorderColor : FShadowColor);
    const unsigned sides = FKind == sbHorizontal ? (BF_TOP | BF_BOTTOM) : (BF_LEFT | BF_RIGHT);
    Frame(dc, R, edge, edge, sides);
    if (Enabled && !Pushed) {
        const COLORREF line = Mix(Mix(Rgb(FHighLightColor), Rgb(GetColor()), 128), Rgb(FBorderColor), 255 - 32);
        // The line runs along the side of the part that faces the bar's start.
        if (FKind == sbHorizontal)
            Fill(dc, RECT{R.left, R.top, R.left + 1, R.bottom}, line);
        else
            Fill(dc, RECT{R.left, R.top, R.right, R.top + 1}, line);
        if (FBackgnd == bgSolid)
            Fill(dc, R, Rgb(GetColor()));
        else
            FillPatternRect(dc, R, FHighLightColor, GetColor());
    } else if (Pushed) {
        Fill(dc, R, Rgb(FBorderColor));
    } else {
        Fill(dc, R, Rgb(FButtonColor));
    }
}

void TArrowBar::StartDragTracking() {
    FTimer->SetInterval(600);
    FTimerMode = 2;
    TimerHandler(this);
    FTimerMode = 1;
    FTimer->SetEnabled(true);
}

void TArrowBar::StartHotTracking() {
    FTimer->SetInterval(150);
    FTimerMode = 3;
    FTimer->SetEnabled(true);
}

void TArrowBar::StopHotTracking() {
    FTimer->SetEnabled(false);
    FHotZone = rzNone;
    Invalidate();
}

void TArrowBar::MouseLeft() { StopHotTracking(); }

void TArrowBar::TimerHandler(cl::TObject*) {
    if (FTimerMode == 1) {
        FTimerMode = 2;
        FTimer->SetInterval(100);
    } else if (FTimerMode == 3) {
        POINT p;
        GetCursorPos(&p);
        p = ScreenToClient(p);
        const RECT r = GetClientRect();
        if (p.x < r.left || p.x >= r.right || p.y < r.top || p.y >= r.bottom) {
            StopHotTracking();
            Invalidate();
        }
    }
}

void TArrowBar::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    cl::TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button != cl::mbLeft) return;
    FDragZone = GetZone(X, Y);
    Invalidate();
    FStoredX = X;
    FStoredY = Y;
    StartDragTracking();
}

void TArrowBar::MouseMove(cl::TShiftState Shift, int X, int Y) {
    cl::TCustomControl::MouseMove(Shift, X, Y);
    if (FDragZone == rzNone && DrawEnabled()) {
        const TRBZone z = GetZone(X, Y);
        if (z != FHotZone) {
            FHotZone = z;
            if (z != rzNone) StartHotTracking();
            Invalidate();
        }
    }
}

void TArrowBar::MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    cl::TCustomControl::MouseUp(Button, Shift, X, Y);
    FDragZone = rzNone;
    Invalidate();
    StartHotTracking();
}

void TArrowBar::NCCalcSize(cl::TMessage& Message) {
    DefaultHandler(Message);
    if (FBorderStyle != cl::bsSingle || !Message.LParam) return;
    RECT* r = Message.WParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(Message.LParam)->rgrc[0]
                             : reinterpret_cast<RECT*>(Message.LParam);
    InflateRect(r, -1, -1);
}

void TArrowBar::NCPaint(cl::TMessage& Message) {
    if (FBorderStyle != cl::bsSingle || !HandleAllocated()) return;
    HDC given = reinterpret_cast<HDC>(Message.LParam);
    HDC dc = given ? given : GetWindowDC(GetHandle());
    if (!dc) return;
    RECT wr;
    GetWindowRect(GetHandle(), &wr);
    RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    ClassicDrawEdge(dc, r, BDR_SUNKENOUTER, BF_RECT);
    if (!given) ReleaseDC(GetHandle(), dc);
}

// ---------------------------------------------------------------------------------------------
// TCustomRangeBar

TCustomRangeBar::TCustomRangeBar(cl::TComponent* AOwner) : TArrowBar(AOwner) { UpdateEffectiveWindow(); }

bool TCustomRangeBar::DrawEnabled() { return GetEnabled() && FEffectiveWindow < FRange; }

void TCustomRangeBar::UpdateEffectiveWindow() {
    if (FWindow > 0)
        FEffectiveWindow = FWindow;
    else
        FEffectiveWindow = FKind == sbHorizontal ? GetWidth() : GetHeight();
}

void TCustomRangeBar::AdjustPosition() {
    FPosition = std::min(FPosition, static_cast<float>(FRange - FEffectiveWindow));
    FPosition = std::max(FPosition, 0.0f);
}

void TCustomRangeBar::SetPosition(float Value) {
    if (Value == FPosition) return;
    const float old = FPosition;
    FPosition = Value;
    AdjustPosition();
    if (FPosition != old) {
        Invalidate();
        DoChange();
    }
}

void TCustomRangeBar::SetParams(int32_t NewRange, int32_t NewWindow) {
    NewRange = std::max(NewRange, 0);
    NewWindow = std::max(NewWindow, 0);
    if (NewRange == FRange && NewWindow == FEffectiveWindow) return;
    const int32_t oldRange = FRange, oldWindow = FEffectiveWindow;
    FRange = NewRange;
    FWindow = NewWindow;
    UpdateEffectiveWindow();
    if (FCentered && FEffectiveWindow < FRange) {
        float c = 0.5f;
        if (oldWindow < oldRange && oldRange != 0)
            c = (static_cast<float>(oldWindow) * 0.5f + FPosition) / static_cast<float>(oldRange);
        FPosition = static_cast<float>(FRange) * c - static_cast<float>(FEffectiveWindow) * 0.5f;
    }
    AdjustPosition();
    Invalidate();
}

void TCustomRangeBar::Resize() {
    if (FCentered) {
        const int32_t oldWindow = FEffectiveWindow;
        UpdateEffectiveWindow();
        if (FEffectiveWindow < FRange) {
            float c = 0.5f;
            if (oldWindow < FRange) c = (static_cast<float>(oldWindow) * 0.5f + FPosition) / static_cast<float>(FRange);
            FPosition = static_cast<float>(FRange) * c - static_cast<float>(FEffectiveWindow) * 0.5f;
        }
    }
    AdjustPosition();
    TArrowBar::Resize();
}

win::RECT TCustomRangeBar::GetHandleRect() {
    RECT r = GetClientRect();
    const int32_t B = GetButtonSize();
    if (FKind == sbHorizontal) {
        r.left += B;
        r.right -= B;
    } else {
        r.top += B;
        r.bottom -= B;
    }
    const int32_t L = FKind == sbHorizontal ? r.right - r.left : r.bottom - r.top;
    if (L <= 17) return RECT{0, 0, 0, 0};
    if (FEffectiveWindow >= FRange) return r;
    int32_t size = static_cast<int32_t>(cl::Round(static_cast<double>(L) * FEffectiveWindow / FRange));
    int32_t start;
    if (size <= 16) {
        size = 17;
        start = static_cast<int32_t>(cl::Round(static_cast<double>(L - 17) * FPosition / (FRange - FEffectiveWindow)));
    } else {
        start = static_cast<int32_t>(cl::Round(static_cast<double>(FPosition) * L / FRange));
    }
    if (FKind == sbHorizontal) {
        r.left += start;
        r.right = r.left + size;
    } else {
        r.top += start;
        r.bottom = r.top + size;
    }
    return r;
}

void TCustomRangeBar::TimerHandler(cl::TObject* Sender) {
    TArrowBar::TimerHandler(Sender);
    FGenChange = true;
    try {
        auto cursorZone = [this] {
            POINT p;
            GetCursorPos(&p);
            p = ScreenToClient(p);
            const RECT r = GetClientRect();
            p.x = std::clamp<int>(p.x, r.left, std::max(r.left, r.right - 1));
            p.y = std::clamp<int>(p.y, r.top, std::max(r.top, r.bottom - 1));
            return GetZone(p.x, p.y);
        };
        switch (FDragZone) {
            case rzPrevButton: {
                const float old = FPosition;
                SetPosition(FPosition - FIncrement);
                if (FPosition == old) StartHotTracking();
                break;
            }
            case rzNextButton: {
                const float old = FPosition;
                SetPosition(FPosition + FIncrement);
                if (FPosition == old) StartHotTracking();
                break;
            }
            case rzPrevTrack: {
                const TRBZone z = cursorZone();
                if (z == rzPrevButton || z == rzPrevTrack) SetPosition(FPosition - FEffectiveWindow);
                break;
            }
            case rzNextTrack: {
                const TRBZone z = cursorZone();
                if (z == rzNextTrack || z == rzNextButton) SetPosition(FPosition + FEffectiveWindow);
                break;
            }
            default: break;
        }
    } catch (...) {
        FGenChange = false;
        throw;
    }
    FGenChange = false;
}

void TCustomRangeBar::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) {
    if (FRange <= FEffectiveWindow) {
        FDragZone = rzNone;
        return;
    }
    TArrowBar::MouseDown(Button, Shift, X, Y);
    if (FDragZone == rzHandle) {
        StartHotTracking();
        FPosBeforeDrag = FPosition;
    }
}

void TCustomRangeBar::MouseMove(cl::TShiftState Shift, int X, int Y) {
    TArrowBar::MouseMove(Shift, X, Y);
    if (FDragZone != rzHandle || FRange <= FEffectiveWindow) return;
    const int32_t delta = FKind == sbHorizontal ? X - FStoredX : Y - FStoredY;
    int32_t L = ClientLength() - 2 * GetButtonSize();
    if (FBorderStyle == cl::bsSingle) L -= 2;
    float d;
    if (L > 0 && cl::Round(static_cast<double>(FEffectiveWindow) * L / FRange) > 16)
        d = static_cast<float>(static_cast<double>(FRange) * delta / L);
    else if (L - 17 > 0)
        d = static_cast<float>(cl::Round(static_cast<double>(delta) * (FRange - FEffectiveWindow) / (L - 17)));
    else
        return;  // no room to drag a handle in
    FGenChange = true;
    try {
        SetPosition(FPosBeforeDrag + d);
    } catch (...) {
        FGenChange = false;
        throw;
    }
    FGenChange = false;
}

bool TCustomRangeBar::DoMouseWheel(cl::TShiftState Shift, int WheelDelta, win::POINT MousePos) {
    if (TArrowBar::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
    SetPosition(FPosition + static_cast<float>(WheelDelta) * FIncrement / 120.0f);
    return true;
}

// ---------------------------------------------------------------------------------------------
// TArrowBarAccess

#define PIX32_ACCESS_SETTER(Name, Type)           \
    void TArrowBarAccess::Set##Name(Type Value) { \
        Master->Set##Name(Value);                 \
        if (Slave) Slave->Set##Name(Value);       \
    }
PIX32_ACCESS_SETTER(Color, cl::TColor)
PIX32_ACCESS_SETTER(Backgnd, TRBBackgnd)
PIX32_ACCESS_SETTER(ButtonSize, int32_t)
PIX32_ACCESS_SETTER(HandleColor, cl::TColor)
PIX32_ACCESS_SETTER(ButtonColor, cl::TColor)
PIX32_ACCESS_SETTER(HighLightColor, cl::TColor)
PIX32_ACCESS_SETTER(ShadowColor, cl::TColor)
PIX32_ACCESS_SETTER(BorderColor, cl::TColor)
PIX32_ACCESS_SETTER(ShowArrows, bool)
PIX32_ACCESS_SETTER(ShowHandleGrip, bool)
PIX32_ACCESS_SETTER(Style, TRBStyle)
#undef PIX32_ACCESS_SETTER

// ---------------------------------------------------------------------------------------------
// Start-up

namespace {

using cl::BoolProp;
using cl::ColorProp;
using cl::EnumProp;

template <class C>
std::vector<cl::TPropInfo> LookProps() {
    return {EnumProp<C, TRBBackgnd>("Backgnd", "TRBBackgnd", &C::Backgnd, &C::SetBackgnd, bgPattern,
                                    {"bgPattern", "bgSolid"}),
            cl::OrdProp<C, int32_t>("ButtonSize", cl::tkInteger, "Integer", &C::ButtonSize, &C::SetButtonSize, 0),
            ColorProp<C>("HandleColor", &C::HandleColor, &C::SetHandleColor, cl::clBtnShadow),
            ColorProp<C>("ButtonColor", &C::ButtonColor, &C::SetButtonColor, cl::clBtnFace),
            ColorProp<C>("HighLightColor", &C::HighLightColor, &C::SetHighLightColor, cl::clBtnHighlight),
            ColorProp<C>("ShadowColor", &C::ShadowColor, &C::SetShadowColor, cl::clBtnShadow),
            ColorProp<C>("BorderColor", &C::BorderColor, &C::SetBorderColor, cl::clWindowFrame),
            BoolProp<C>("ShowArrows", &C::ShowArrows, &C::SetShowArrows, true),
            BoolProp<C>("ShowHandleGrip", &C::ShowHandleGrip, &C::SetShowHandleGrip, true),
            EnumProp<C, TRBStyle>("Style", "TRBStyle", &C::Style, &C::SetStyle, rbsDefault, {"rbsDefault", "rbsMac"})};
}

}  // namespace

void StartupPix32RangeBars() {
    static std::once_flag once;
    std::call_once(once, [] {
        cl::RegisterControlClasses();
        const cl::TClass& A = TArrowBar::StaticClass();
        cl::RegisterMessageHandler(
            A, WM_NCCALCSIZE, [](cl::TObject* self, cl::TMessage& m) { static_cast<TArrowBar*>(self)->NCCalcSize(m); });
        cl::RegisterMessageHandler(
            A, WM_NCPAINT, [](cl::TObject* self, cl::TMessage& m) { static_cast<TArrowBar*>(self)->NCPaint(m); });
        cl::RegisterMessageHandler(A, WM_ERASEBKGND, [](cl::TObject*, cl::TMessage& m) { m.Result = -1; });
        cl::RegisterMessageHandler(A, cl::CM_ENABLEDCHANGED, [](cl::TObject* self, cl::TMessage&) {
            static_cast<TArrowBar*>(self)->EnabledChanged();
        });
        cl::RegisterMessageHandler(A, cl::CM_MOUSELEAVE, [](cl::TObject* self, cl::TMessage& m) {
            static_cast<TArrowBar*>(self)->MouseLeft();
            cl::InheritedDispatch(TArrowBar::StaticClass(), self, m);
        });

        std::vector<cl::TPropInfo> bar = LookProps<TArrowBar>();
        bar.push_back(EnumProp<TArrowBar, TBorderStyle>("BorderStyle", "TBorderStyle", &TArrowBar::BorderStyle,
                                                        &TArrowBar::SetBorderStyle, cl::bsSingle,
                                                        {"bsNone", "bsSingle"}));
        bar.push_back(EnumProp<TArrowBar, TScrollBarKind>("Kind", "TScrollBarKind", &TArrowBar::Kind,
                                                          &TArrowBar::SetKind, sbHorizontal,
                                                          {"sbHorizontal", "sbVertical"}));
        cl::DeclarePublished(A, std::move(bar));
        const cl::TClass& R = TCustomRangeBar::StaticClass();
        cl::DeclarePublished(
            R, {BoolProp<TCustomRangeBar>("Centered", &TCustomRangeBar::Centered, &TCustomRangeBar::SetCentered, false),
                cl::OrdProp<TCustomRangeBar, uint16_t>("Increment", cl::tkInteger, "Word", &TCustomRangeBar::Increment,
                                                       &TCustomRangeBar::SetIncrement, 8),
                cl::OrdProp<TCustomRangeBar, int32_t>("Range", cl::tkInteger, "Integer", &TCustomRangeBar::Range,
                                                      &TCustomRangeBar::SetRange, 0),
                cl::OrdProp<TCustomRangeBar, int32_t>("Window", cl::tkInteger, "Integer", &TCustomRangeBar::Window,
                                                      &TCustomRangeBar::SetWindow, 0)});
        std::vector<cl::TPropInfo> access = LookProps<TArrowBarAccess>();
        access.insert(access.begin(), ColorProp<TArrowBarAccess>("Color", &TArrowBarAccess::Color,
                                                                 &TArrowBarAccess::SetColor, cl::clScrollBar));
        cl::DeclarePublished(TArrowBarAccess::StaticClass(), std::move(access));
        cl::RegisterClasses({&TArrowBar::StaticClass(), &TCustomRangeBar::StaticClass(), &TRangeBar::StaticClass()});
    });
}

}  // namespace pix32
