// TTrackBar, TUpDown and TProgressBar.
#include <algorithm>

#include "classlib/ComCtrls.h"
#include "classlib/SysUtils.h"

namespace cl {

using namespace win;

namespace {

void Fill(HDC dc, const RECT& r, TColor c) {
    HBRUSH b = CreateSolidBrush(ControlColorToRGB(c));
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void Frame(HDC dc, const RECT& r, TColor c) {
    HBRUSH b = CreateSolidBrush(ControlColorToRGB(c));
    FrameRect(dc, &r, b);
    DeleteObject(b);
}

// The margin left and right of a track bar's channel: half a thumb.
constexpr int kThumbWidth = 11;

}  // namespace

// ---- TTrackBar --------------------------------------------------------------------------------

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FWidth = 150;
    FHeight = 45;
    TabStop = true;
}

void TTrackBar::WndProc(TMessage& Message) {
    if (Message.Msg == WM_GETDLGCODE) {
        Message.Result = DLGC_WANTARROWS;
        return;
    }
    TWinControl::WndProc(Message);
}

void TTrackBar::SetRange(int AMin, int AMax) {
    FMin = AMin;
    FMax = std::max(AMin, AMax);
    Invalidate();
    SetPosition(FPosition);
}

void TTrackBar::SetPosition(int v) {
    v = std::clamp(v, FMin, FMax);
    if (v == FPosition) return;
    FPosition = v;
    Invalidate();
    if (OnChange) OnChange(this);
}

void TTrackBar::SetThumbLength(int v) {
    FThumbLength = std::max(1, v);
    Invalidate();
}

int TTrackBar::PositionToX(int Position) const {
    const int left = kThumbWidth / 2 + 2, span = std::max(0, FWidth - 2 * left);
    const int64_t range = int64_t{FMax} - FMin;
    if (range <= 0) return left;
    return left + static_cast<int>((int64_t{std::clamp(Position, FMin, FMax)} - FMin) * span / range);
}

int TTrackBar::XToPosition(int X) const {
    const int left = kThumbWidth / 2 + 2, span = std::max(1, FWidth - 2 * left);
    const int64_t range = int64_t{FMax} - FMin;
    const int64_t x = std::clamp(X - left, 0, span);
    return static_cast<int>(FMin + (x * range + span / 2) / span);
}

void TTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    int to = FPosition;
    switch (Key) {
        case VK_LEFT:
        case VK_UP: to = FPosition - 1; break;
        case VK_RIGHT:
        case VK_DOWN: to = FPosition + 1; break;
        case VK_PRIOR: to = FPosition - PageSize; break;
        case VK_NEXT: to = FPosition + PageSize; break;
        case VK_HOME: to = FMin; break;
        case VK_END: to = FMax; break;
        default: return;
    }
    Key = 0;
    SetPosition(to);
}

void TTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        if (CanFocus() && HandleAllocated() && !Focused()) SetFocus();
        SetPosition(XToPosition(X));
    }
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TTrackBar::MouseMove(TShiftState Shift, int X, int Y) {
    if (ControlState & csLButtonDown) SetPosition(XToPosition(X));
    TWinControl::MouseMove(Shift, X, Y);
}

void TTrackBar::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    Fill(dc, r, FColor);
    const int left = kThumbWidth / 2 + 2, right = std::max(left, static_cast<int>(r.right) - left);
    const int thumbTop = 4, thumbH = std::min(FThumbLength, std::max(1, static_cast<int>(r.bottom) - 8));
    const int cy = thumbTop + thumbH / 2;
    RECT channel{left, cy - 2, right, cy + 2};
    Fill(dc, channel, clWindow);
    Frame(dc, channel, clBtnShadow);
    const int x = PositionToX(FPosition);
    RECT thumb{x - kThumbWidth / 2, thumbTop, x + kThumbWidth / 2 + 1, thumbTop + thumbH};
    Fill(dc, thumb, FEnabled ? clBtnFace : clBtnShadow);
    Frame(dc, thumb, Focused() ? cl3DDkShadow : clBtnShadow);
}

// ---- TUpDown ----------------------------------------------------------------------------------

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csCaptureMouse | csDoubleClicks;
    FWidth = 17;
    FHeight = 25;
}

void TUpDown::WndProc(TMessage& Message) {
    if (Message.Msg == WM_GETDLGCODE) {
        Message.Result = DLGC_WANTARROWS;
        return;
    }
    TWinControl::WndProc(Message);
}

void TUpDown::SetPosition(int v) {
    v = std::clamp(v, std::min(Min, Max), std::max(Min, Max));
    FPosition = v;
    Invalidate();
    ShowInAssociate();
}

void TUpDown::ShowInAssociate() {
    if (FAssociate && FAssociate->GetText() != IntToStr(FPosition)) FAssociate->SetText(IntToStr(FPosition));
}

void TUpDown::SetAssociate(TWinControl* v) {
    if (v == FAssociate) return;
    if (FAssociate) FAssociate->RemoveFreeNotification(this);
    FAssociate = v;
    if (!v) return;
    v->FreeNotification(this);
    if (v->GetParent() && v->GetParent() != FParent) SetParent(v->GetParent());
    SetBounds(v->GetLeft() + v->GetWidth(), v->GetTop(), FWidth, v->GetHeight());
    ShowInAssociate();
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FAssociate) FAssociate = nullptr;
}

void TUpDown::Step(TUDBtnType Button) {
    int at = FPosition;
    // A number typed into the associate is where the step starts.
    if (FAssociate) at = StrToIntDef(FAssociate->GetText(), FPosition);
    const int lo = std::min(Min, Max), hi = std::max(Min, Max);
    int64_t to = int64_t{at} + (Button == btNext ? Increment : -int64_t{Increment});
    if (to > hi) to = Wrap ? lo : hi;
    if (to < lo) to = Wrap ? hi : lo;
    SetPosition(static_cast<int>(to));
    if (OnClick) OnClick(this, Button);
}

void TUpDown::KeyDown(uint16_t& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    if (Key == VK_UP || Key == VK_DOWN) {
        Step(Key == VK_UP ? btNext : btPrev);
        Key = 0;
    }
}

void TUpDown::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) Step(Y < FHeight / 2 ? btNext : btPrev);
    TWinControl::MouseDown(Button, Shift, X, Y);
}

void TUpDown::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    const int mid = static_cast<int>(r.bottom) / 2;
    const RECT halves[2] = {{r.left, r.top, r.right, mid}, {r.left, mid, r.right, r.bottom}};
    const TColor ink = FEnabled ? clBtnText : clGrayText;
    HBRUSH ab = CreateSolidBrush(ControlColorToRGB(ink));
    HPEN ap = CreatePen(PS_SOLID, 1, ControlColorToRGB(ink));
    HGDIOBJ ob = SelectObject(dc, ab), op = SelectObject(dc, ap);
    for (int i = 0; i < 2; ++i) {
        const RECT& h = halves[i];
        Fill(dc, h, clBtnFace);
        Frame(dc, h, clBtnShadow);
        const int cx = (h.left + h.right) / 2, cy = (h.top + h.bottom) / 2;
        POINT up[3] = {{cx - 3, cy + 1}, {cx + 3, cy + 1}, {cx, cy - 2}};
        POINT down[3] = {{cx - 3, cy - 1}, {cx + 3, cy - 1}, {cx, cy + 2}};
        Polygon(dc, i == 0 ? up : down, 3);
    }
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(ab);
    DeleteObject(ap);
}

// ---- TProgressBar -----------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csCaptureMouse | csDoubleClicks;
    FWidth = 150;
    FHeight = 16;
}

void TProgressBar::SetPosition(int v) {
    v = std::clamp(v, std::min(Min, Max), std::max(Min, Max));
    if (v == FPosition) return;
    FPosition = v;
    Invalidate();
}

int TProgressBar::FilledWidth() const {
    const int inner = std::max(0, GetClientWidth() - 2);
    const int64_t range = int64_t{Max} - Min;
    if (range <= 0) return 0;
    return static_cast<int>((int64_t{FPosition} - Min) * inner / range);
}

void TProgressBar::PaintWindow(HDC dc) {
    RECT r = GetClientRect();
    Fill(dc, r, clBtnFace);
    Frame(dc, r, clBtnShadow);
    const int w = FilledWidth();
    if (w > 0) Fill(dc, RECT{r.left + 1, r.top + 1, r.left + 1 + w, r.bottom - 1}, clHighlight);
}

}  // namespace cl
