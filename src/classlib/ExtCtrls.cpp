// TPanel, TImage, TShape, TTimer.
#include "classlib/ExtCtrls.h"

#include <algorithm>

#include "classlib/Controls_internal.h"
#include "classlib/Forms.h"
#include "classlib/TypInfo.h"

namespace cl {

using namespace win;

// ---- TPanel -----------------------------------------------------------------------------------

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    ControlStyle =
        csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks | csReplicatable;
    FWidth = 185;
    FHeight = 41;
    FParentColor = false;
    FColor = clBtnFace;
}

void TPanel::SetBevelOuter(TBevelCut v) {
    if (FBevelOuter == v) return;
    FBevelOuter = v;
    Realign();
    Invalidate();
}

void TPanel::SetBevelInner(TBevelCut v) {
    if (FBevelInner == v) return;
    FBevelInner = v;
    Realign();
    Invalidate();
}

void TPanel::SetBevelWidth(int v) {
    if (v < 1) v = 1;
    if (FBevelWidth == v) return;
    FBevelWidth = v;
    Realign();
    Invalidate();
}

void TPanel::SetBorderStyle(int v) {
    v = v ? 1 : 0;
    if (FBorderStyle == v) return;
    FBorderStyle = v;
    Realign();
    Invalidate();
}

void TPanel::SetAlignment(TAlignment v) {
    if (FAlignment == v) return;
    FAlignment = v;
    Invalidate();
}

void TPanel::AdjustClientRect(RECT& Rect) const {
    TWinControl::AdjustClientRect(Rect);
    int inset = FBorderStyle;
    if (FBevelOuter != bvNone) inset += FBevelWidth;
    if (FBevelInner != bvNone) inset += FBevelWidth;
    Rect.left += inset;
    Rect.top += inset;
    Rect.right -= inset;
    Rect.bottom -= inset;
}

namespace {

// Draws a bevel of width w inside r and shrinks r by it.
void Bevel(TCanvas* c, RECT& r, TBevelCut cut, int w) {
    if (cut == bvNone) return;
    TColor tl = clBtnHighlight, br = clBtnShadow;
    if (cut == bvLowered) std::swap(tl, br);
    if (cut == bvSpace) tl = br = clBtnFace;
    for (int i = 0; i < w && r.right - r.left > 1 && r.bottom - r.top > 1; ++i) {
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(tl);
        c->FillRect(RECT{r.left, r.top, r.right - 1, r.top + 1});
        c->FillRect(RECT{r.left, r.top, r.left + 1, r.bottom - 1});
        c->GetBrush()->SetColor(br);
        c->FillRect(RECT{r.left, r.bottom - 1, r.right, r.bottom});
        c->FillRect(RECT{r.right - 1, r.top, r.right, r.bottom});
        r.left++;
        r.top++;
        r.right--;
        r.bottom--;
    }
}

}  // namespace

void TPanel::Paint() {
    TCanvas* c = GetCanvas();
    RECT r = GetClientRect();
    if (FBorderStyle) {
        c->GetBrush()->SetStyle(bsSolid);
        c->GetBrush()->SetColor(clWindowFrame);
        c->FrameRect(r);
        r.left++;
        r.top++;
        r.right--;
        r.bottom--;
    }
    Bevel(c, r, FBevelOuter, FBevelWidth);
    RECT fill = r;
    Bevel(c, fill, FBevelInner, FBevelInner != bvNone ? FBevelWidth : 0);
    c->GetBrush()->SetStyle(bsSolid);
    c->GetBrush()->SetColor(FColor);
    c->FillRect(fill);
    if (!FText.empty()) {
        HDC dc = c->GetHandle();
        HGDIOBJ old = SelectObject(dc, FFont->GetHandle());
        COLORREF oldColor = SetTextColor(dc, ControlColorToRGB(FFont->GetColor()));
        int oldMode = SetBkMode(dc, TRANSPARENT);
        UINT flags = DT_VCENTER | DT_SINGLELINE | DT_EXPANDTABS;
        if (FAlignment == taCenter) flags |= DT_CENTER;
        if (FAlignment == taRightJustify) flags |= DT_RIGHT;
        DrawTextA(dc, FText.c_str(), static_cast<int>(FText.size()), &fill, flags);
        SetBkMode(dc, oldMode);
        SetTextColor(dc, oldColor);
        SelectObject(dc, old);
    }
}

// ---- TImage -----------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
    ControlStyle |= csReplicatable;
    FWidth = 105;
    FHeight = 105;
    FPicture->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() {
    FPicture->OnChange = nullptr;
    FPicture.reset();
}

TCanvas* TImage::GetCanvas() {
    TGraphic* g = FPicture->GetGraphic();
    if (!g) {
        TBitmap* b = FPicture->GetBitmap();
        b->SetSize(FWidth, FHeight);
        return b->GetCanvas();
    }
    if (!g->Is<TBitmap>()) throw EInvalidOperation("Can only modify an image if it contains a bitmap");
    return static_cast<TBitmap*>(g)->GetCanvas();
}

RECT TImage::DestRect() const {
    int w = FPicture->GetWidth(), h = FPicture->GetHeight();
    int cw = FWidth, ch = FHeight;
    if (FStretch || (FProportional && (w > cw || h > ch))) {
        if (FProportional && w > 0 && h > 0) {
            double xy = static_cast<double>(w) / h;
            if (cw / xy <= ch) {
                h = static_cast<int>(cw / xy);
                w = cw;
            } else {
                w = static_cast<int>(ch * xy);
                h = ch;
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    RECT r{0, 0, w, h};
    if (FCenter) {
        int dx = (cw - w) / 2, dy = (ch - h) / 2;
        r = RECT{dx, dy, dx + w, dy + h};
    }
    return r;
}

void TImage::Paint() {
    TGraphic* g = FPicture->GetGraphic();
    if (!g || g->GetEmpty()) return;
    FDrawing = true;
    try {
        TGraphicControl::GetCanvas()->StretchDraw(DestRect(), g);
    } catch (...) {
        FDrawing = false;
        throw;
    }
    FDrawing = false;
}

bool TImage::CanAutoSize(int& NewWidth, int& NewHeight) {
    if (FPicture->GetWidth() > 0 && FPicture->GetHeight() > 0) {
        NewWidth = FPicture->GetWidth();
        NewHeight = FPicture->GetHeight();
    }
    return true;
}

void TImage::PictureChanged() {
    if (FAutoSize && FPicture->GetWidth() > 0 && FPicture->GetHeight() > 0 && !HasState(csLoading))
        SetBounds(FLeft, FTop, FPicture->GetWidth(), FPicture->GetHeight());
    TGraphic* g = FPicture->GetGraphic();
    bool opaque = g && !g->GetEmpty() && !(FTransparent && g->GetTransparent());
    if (opaque) {
        RECT d = DestRect();
        opaque = d.left <= 0 && d.top <= 0 && d.right >= FWidth && d.bottom >= FHeight;
    }
    if (opaque)
        ControlStyle |= csOpaque;
    else
        ControlStyle &= ~csOpaque;
    if (!FDrawing) Invalidate();
}

void TImage::SetStretch(bool v) {
    if (FStretch == v) return;
    FStretch = v;
    PictureChanged();
}

void TImage::SetCenter(bool v) {
    if (FCenter == v) return;
    FCenter = v;
    PictureChanged();
}

void TImage::SetProportional(bool v) {
    if (FProportional == v) return;
    FProportional = v;
    PictureChanged();
}

void TImage::SetTransparent(bool v) {
    if (FTransparent == v) return;
    FTransparent = v;
    if (TGraphic* g = FPicture->GetGraphic()) g->SetTransparent(v);
    PictureChanged();
}

// ---- TShape -----------------------------------------------------------------------------------

TShape::TShape(TComponent* AOwner)
    : TGraphicControl(AOwner), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
    ControlStyle |= csReplicatable;
    FWidth = 65;
    FHeight = 65;
    FPen->OnChange = [this](TObject*) { Invalidate(); };
    FBrush->OnChange = [this](TObject*) { Invalidate(); };
}

TShape::~TShape() {
    FPen.reset();
    FBrush.reset();
}

void TShape::SetShape(TShapeType v) {
    if (FShape == v) return;
    FShape = v;
    Invalidate();
}

void TShape::Paint() {
    TCanvas* c = GetCanvas();
    c->SetPen(FPen.get());
    c->SetBrush(FBrush.get());
    int pw = FPen->GetWidth();
    int x = pw / 2, y = x;
    int w = FWidth - pw + 1, h = FHeight - pw + 1;
    if (pw == 0) {
        --w;
        --h;
    }
    int s = std::min(w, h);
    if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) {
        x += (w - s) / 2;
        y += (h - s) / 2;
        w = h = s;
    }
    switch (FShape) {
        case stRectangle:
        case stSquare: c->Rectangle(x, y, x + w, y + h); break;
        case stRoundRect:
        case stRoundSquare: c->RoundRect(x, y, x + w, y + h, s / 4, s / 4); break;
        case stEllipse:
        case stCircle: c->Ellipse(x, y, x + w, y + h); break;
    }
}

// ---- TTimer -----------------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
    RegisterControlClasses();
    FWindow = AllocateHWnd([this](TMessage& m) {
        if (m.Msg == WM_TIMER) {
            try {
                Timer();
            } catch (...) {
                if (Application) Application->HandleException(this);
            }
        } else {
            m.Result = DefWindowProcA(FWindow, m.Msg, m.WParam, m.LParam);
        }
    });
}

TTimer::~TTimer() {
    FEnabled = false;
    if (FWindow) {
        KillTimer(FWindow, 1);
        DeallocateHWnd(FWindow);
        FWindow = nullptr;
    }
}

void TTimer::UpdateTimer() {
    if (!FWindow) return;
    KillTimer(FWindow, 1);
    if (FEnabled && FInterval > 0 && FOnTimer) SetTimer(FWindow, 1, FInterval, nullptr);
}

void TTimer::SetEnabled(bool v) {
    if (FEnabled == v) return;
    FEnabled = v;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
    if (FInterval == v) return;
    FInterval = v;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent v) {
    FOnTimer = std::move(v);
    UpdateTimer();
}

void TTimer::Timer() {
    if (FEnabled && FOnTimer) {
        TNotifyEvent handler = FOnTimer;  // the handler may replace itself
        handler(this);
    }
}

// ---- registration -------------------------------------------------------------------------------

void ControlsInternal::RegisterExtCtrls() {
    auto boolProp = [](const String& name, auto get, auto set, bool def) {
        TPropInfo p;
        p.Name = name;
        p.Kind = tkEnumeration;
        p.TypeName = "Boolean";
        p.Default = def ? 1 : 0;
        p.EnumNames = {"False", "True"};
        p.GetOrd = [get](const TObject* o) -> int64_t { return get(o) ? 1 : 0; };
        p.SetOrd = [set](TObject* o, int64_t v) { set(o, v != 0); };
        return p;
    };
    auto bevel = [](const String& name, TBevelCut (TPanel::*get)() const, void (TPanel::*set)(TBevelCut),
                    TBevelCut def) {
        TPropInfo p = OrdProp<TPanel, TBevelCut>(name, tkEnumeration, "TBevelCut", get, set, def);
        p.EnumNames = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
        return p;
    };
    auto caption = StrProp<TControl>("Caption", &TControl::GetCaption, &TControl::SetCaption);
    auto borderStyle = OrdProp<TPanel, int>("BorderStyle", tkEnumeration, "TBorderStyle", &TPanel::GetBorderStyle,
                                            &TPanel::SetBorderStyle, 0);
    borderStyle.EnumNames = {"bsNone", "bsSingle"};
    auto alignment = OrdProp<TPanel, TAlignment>("Alignment", tkEnumeration, "TAlignment", &TPanel::GetAlignment,
                                                 &TPanel::SetAlignment, taCenter);
    alignment.EnumNames = {"taLeftJustify", "taRightJustify", "taCenter"};
    DeclarePublished(TPanel::StaticClass(),
                     {alignment, bevel("BevelInner", &TPanel::GetBevelInner, &TPanel::SetBevelInner, bvNone),
                      bevel("BevelOuter", &TPanel::GetBevelOuter, &TPanel::SetBevelOuter, bvRaised),
                      OrdProp<TPanel, int>("BevelWidth", tkInteger, "TBevelWidth", &TPanel::GetBevelWidth,
                                           &TPanel::SetBevelWidth, 1),
                      OrdProp<TWinControl, int>("BorderWidth", tkInteger, "TBorderWidth", &TWinControl::GetBorderWidth,
                                                &TWinControl::SetBorderWidth, 0),
                      borderStyle, caption});

    TPropInfo picture;
    picture.Name = "Picture";
    picture.Kind = tkClass;
    picture.TypeName = "TPicture";
    picture.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TImage*>(o)->GetPicture(); };
    picture.SetObject = [](TObject* o, TObject* v) {
        static_cast<TImage*>(o)->SetPicture(v && v->Is<TPicture>() ? static_cast<TPicture*>(v) : nullptr);
    };
    auto ib = [&](const String& name, bool (TImage::*get)() const, void (TImage::*set)(bool)) {
        return boolProp(
            name, [get](const TObject* o) { return (static_cast<const TImage*>(o)->*get)(); },
            [set](TObject* o, bool v) { (static_cast<TImage*>(o)->*set)(v); }, false);
    };
    auto autoSize = boolProp(
        "AutoSize", [](const TObject* o) { return static_cast<const TControl*>(o)->GetAutoSize(); },
        [](TObject* o, bool v) { static_cast<TControl*>(o)->SetAutoSize(v); }, false);
    DeclarePublished(TImage::StaticClass(), {autoSize, ib("Center", &TImage::GetCenter, &TImage::SetCenter), picture,
                                             ib("Proportional", &TImage::GetProportional, &TImage::SetProportional),
                                             ib("Stretch", &TImage::GetStretch, &TImage::SetStretch),
                                             ib("Transparent", &TImage::GetTransparent, &TImage::SetTransparent)});

    TPropInfo pen;
    pen.Name = "Pen";
    pen.Kind = tkClass;
    pen.TypeName = "TPen";
    pen.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TShape*>(o)->GetPen(); };
    pen.SetObject = [](TObject* o, TObject* v) {
        if (v && v->Is<TPen>()) static_cast<TShape*>(o)->SetPen(static_cast<TPen*>(v));
    };
    TPropInfo brush;
    brush.Name = "Brush";
    brush.Kind = tkClass;
    brush.TypeName = "TBrush";
    brush.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TShape*>(o)->GetBrush(); };
    brush.SetObject = [](TObject* o, TObject* v) {
        if (v && v->Is<TBrush>()) static_cast<TShape*>(o)->SetBrush(static_cast<TBrush*>(v));
    };
    auto shape = OrdProp<TShape, TShapeType>("Shape", tkEnumeration, "TShapeType", &TShape::GetShape, &TShape::SetShape,
                                             stRectangle);
    shape.EnumNames = {"stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse", "stCircle"};
    DeclarePublished(TShape::StaticClass(), {brush, pen, shape});

    auto enabled = boolProp(
        "Enabled", [](const TObject* o) { return static_cast<const TTimer*>(o)->GetEnabled(); },
        [](TObject* o, bool v) { static_cast<TTimer*>(o)->SetEnabled(v); }, true);
    DeclarePublished(TTimer::StaticClass(),
                     {enabled, OrdProp<TTimer, unsigned>("Interval", tkInteger, "Cardinal", &TTimer::GetInterval,
                                                         &TTimer::SetInterval, 1000)});
    RegisterClasses({&TPanel::StaticClass(), &TImage::StaticClass(), &TShape::StaticClass(), &TTimer::StaticClass(),
                     &TXPManifest::StaticClass()});
}

}  // namespace cl
