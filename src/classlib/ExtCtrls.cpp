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
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks |
                   csReplicatable;
    width_ = 185;
    height_ = 41;
    parentColor_ = false;
    color_ = clBtnFace;
}

void TPanel::SetBevelOuter(TBevelCut v) {
    if (bevelOuter_ == v) return;
    bevelOuter_ = v;
    Realign();
    Invalidate();
}

void TPanel::SetBevelInner(TBevelCut v) {
    if (bevelInner_ == v) return;
    bevelInner_ = v;
    Realign();
    Invalidate();
}

void TPanel::SetBevelWidth(int v) {
    if (v < 1) v = 1;
    if (bevelWidth_ == v) return;
    bevelWidth_ = v;
    Realign();
    Invalidate();
}

void TPanel::SetBorderStyle(int v) {
    v = v ? 1 : 0;
    if (borderStyle_ == v) return;
    borderStyle_ = v;
    Realign();
    Invalidate();
}

void TPanel::SetAlignment(TAlignment v) {
    if (alignment_ == v) return;
    alignment_ = v;
    Invalidate();
}

void TPanel::AdjustClientRect(RECT& Rect) const {
    TWinControl::AdjustClientRect(Rect);
    int inset = borderStyle_;
    if (bevelOuter_ != bvNone) inset += bevelWidth_;
    if (bevelInner_ != bvNone) inset += bevelWidth_;
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
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(tl);
        c->FillRect(RECT{r.left, r.top, r.right - 1, r.top + 1});
        c->FillRect(RECT{r.left, r.top, r.left + 1, r.bottom - 1});
        c->Brush()->SetColor(br);
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
    TCanvas* c = Canvas();
    RECT r = ClientRect();
    if (borderStyle_) {
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(clWindowFrame);
        c->FrameRect(r);
        r.left++;
        r.top++;
        r.right--;
        r.bottom--;
    }
    Bevel(c, r, bevelOuter_, bevelWidth_);
    RECT fill = r;
    Bevel(c, fill, bevelInner_, bevelInner_ != bvNone ? bevelWidth_ : 0);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(color_);
    c->FillRect(fill);
    if (!text_.empty()) {
        HDC dc = c->Handle();
        HGDIOBJ old = SelectObject(dc, font_->Handle());
        COLORREF oldColor = SetTextColor(dc, ControlColorToRGB(font_->Color()));
        int oldMode = SetBkMode(dc, TRANSPARENT);
        UINT flags = DT_VCENTER | DT_SINGLELINE | DT_EXPANDTABS;
        if (alignment_ == taCenter) flags |= DT_CENTER;
        if (alignment_ == taRightJustify) flags |= DT_RIGHT;
        DrawTextA(dc, text_.c_str(), static_cast<int>(text_.size()), &fill, flags);
        SetBkMode(dc, oldMode);
        SetTextColor(dc, oldColor);
        SelectObject(dc, old);
    }
}

// ---- TImage -----------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), picture_(new TPicture()) {
    ControlStyle |= csReplicatable;
    width_ = 105;
    height_ = 105;
    picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() {
    picture_->OnChange = nullptr;
    delete picture_;
}

TCanvas* TImage::Canvas() {
    TGraphic* g = picture_->Graphic();
    if (!g) {
        TBitmap* b = picture_->Bitmap();
        b->SetSize(width_, height_);
        return b->Canvas();
    }
    if (!g->Is<TBitmap>()) throw EInvalidOperation("Can only modify an image if it contains a bitmap");
    return static_cast<TBitmap*>(g)->Canvas();
}

RECT TImage::DestRect() const {
    int w = picture_->Width(), h = picture_->Height();
    int cw = width_, ch = height_;
    if (stretch_ || (proportional_ && (w > cw || h > ch))) {
        if (proportional_ && w > 0 && h > 0) {
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
    if (center_) {
        int dx = (cw - w) / 2, dy = (ch - h) / 2;
        r = RECT{dx, dy, dx + w, dy + h};
    }
    return r;
}

void TImage::Paint() {
    TGraphic* g = picture_->Graphic();
    if (!g || g->Empty()) return;
    drawing_ = true;
    try {
        TGraphicControl::Canvas()->StretchDraw(DestRect(), g);
    } catch (...) {
        drawing_ = false;
        throw;
    }
    drawing_ = false;
}

bool TImage::CanAutoSize(int& NewWidth, int& NewHeight) {
    if (picture_->Width() > 0 && picture_->Height() > 0) {
        NewWidth = picture_->Width();
        NewHeight = picture_->Height();
    }
    return true;
}

void TImage::PictureChanged() {
    if (autoSize_ && picture_->Width() > 0 && picture_->Height() > 0 && !HasState(csLoading))
        SetBounds(left_, top_, picture_->Width(), picture_->Height());
    TGraphic* g = picture_->Graphic();
    bool opaque = g && !g->Empty() && !(transparent_ && g->Transparent());
    if (opaque) {
        RECT d = DestRect();
        opaque = d.left <= 0 && d.top <= 0 && d.right >= width_ && d.bottom >= height_;
    }
    if (opaque)
        ControlStyle |= csOpaque;
    else
        ControlStyle &= ~csOpaque;
    if (!drawing_) Invalidate();
}

void TImage::SetStretch(bool v) {
    if (stretch_ == v) return;
    stretch_ = v;
    PictureChanged();
}

void TImage::SetCenter(bool v) {
    if (center_ == v) return;
    center_ = v;
    PictureChanged();
}

void TImage::SetProportional(bool v) {
    if (proportional_ == v) return;
    proportional_ = v;
    PictureChanged();
}

void TImage::SetTransparent(bool v) {
    if (transparent_ == v) return;
    transparent_ = v;
    if (TGraphic* g = picture_->Graphic()) g->SetTransparent(v);
    PictureChanged();
}

// ---- TShape -----------------------------------------------------------------------------------

TShape::TShape(TComponent* AOwner) : TGraphicControl(AOwner), pen_(new TPen()), brush_(new TBrush()) {
    ControlStyle |= csReplicatable;
    width_ = 65;
    height_ = 65;
    pen_->OnChange = [this](TObject*) { Invalidate(); };
    brush_->OnChange = [this](TObject*) { Invalidate(); };
}

TShape::~TShape() {
    delete pen_;
    delete brush_;
}

void TShape::SetShape(TShapeType v) {
    if (shape_ == v) return;
    shape_ = v;
    Invalidate();
}

void TShape::Paint() {
    TCanvas* c = Canvas();
    c->SetPen(pen_);
    c->SetBrush(brush_);
    int pw = pen_->Width();
    int x = pw / 2, y = x;
    int w = width_ - pw + 1, h = height_ - pw + 1;
    if (pw == 0) {
        --w;
        --h;
    }
    int s = std::min(w, h);
    if (shape_ == stSquare || shape_ == stRoundSquare || shape_ == stCircle) {
        x += (w - s) / 2;
        y += (h - s) / 2;
        w = h = s;
    }
    switch (shape_) {
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
    window_ = AllocateHWnd([this](TMessage& m) {
        if (m.Msg == WM_TIMER) {
            try {
                Timer();
            } catch (...) {
                if (Application) Application->HandleException(this);
            }
        } else {
            m.Result = DefWindowProcA(window_, m.Msg, m.WParam, m.LParam);
        }
    });
}

TTimer::~TTimer() {
    enabled_ = false;
    if (window_) {
        KillTimer(window_, 1);
        DeallocateHWnd(window_);
        window_ = nullptr;
    }
}

void TTimer::UpdateTimer() {
    if (!window_) return;
    KillTimer(window_, 1);
    if (enabled_ && interval_ > 0 && onTimer_) SetTimer(window_, 1, interval_, nullptr);
}

void TTimer::SetEnabled(bool v) {
    if (enabled_ == v) return;
    enabled_ = v;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
    if (interval_ == v) return;
    interval_ = v;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent v) {
    onTimer_ = std::move(v);
    UpdateTimer();
}

void TTimer::Timer() {
    if (enabled_ && onTimer_) {
        TNotifyEvent handler = onTimer_;  // the handler may replace itself
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
    auto caption = StrProp<TControl>("Caption", &TControl::Caption, &TControl::SetCaption);
    auto borderStyle = OrdProp<TPanel, int>("BorderStyle", tkEnumeration, "TBorderStyle", &TPanel::BorderStyle,
                                            &TPanel::SetBorderStyle, 0);
    borderStyle.EnumNames = {"bsNone", "bsSingle"};
    auto alignment = OrdProp<TPanel, TAlignment>("Alignment", tkEnumeration, "TAlignment", &TPanel::Alignment,
                                                 &TPanel::SetAlignment, taCenter);
    alignment.EnumNames = {"taLeftJustify", "taRightJustify", "taCenter"};
    DeclarePublished(TPanel::StaticClass(),
                     {alignment, bevel("BevelInner", &TPanel::BevelInner, &TPanel::SetBevelInner, bvNone),
                      bevel("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter, bvRaised),
                      OrdProp<TPanel, int>("BevelWidth", tkInteger, "TBevelWidth", &TPanel::BevelWidth,
                                           &TPanel::SetBevelWidth, 1),
                      OrdProp<TWinControl, int>("BorderWidth", tkInteger, "TBorderWidth", &TWinControl::BorderWidth,
                                                &TWinControl::SetBorderWidth, 0),
                      borderStyle, caption});

    TPropInfo picture;
    picture.Name = "Picture";
    picture.Kind = tkClass;
    picture.TypeName = "TPicture";
    picture.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TImage*>(o)->Picture(); };
    picture.SetObject = [](TObject* o, TObject* v) {
        static_cast<TImage*>(o)->SetPicture(v && v->Is<TPicture>() ? static_cast<TPicture*>(v) : nullptr);
    };
    auto ib = [&](const String& name, bool (TImage::*get)() const, void (TImage::*set)(bool)) {
        return boolProp(
            name, [get](const TObject* o) { return (static_cast<const TImage*>(o)->*get)(); },
            [set](TObject* o, bool v) { (static_cast<TImage*>(o)->*set)(v); }, false);
    };
    auto autoSize = boolProp(
        "AutoSize", [](const TObject* o) { return static_cast<const TControl*>(o)->AutoSize(); },
        [](TObject* o, bool v) { static_cast<TControl*>(o)->SetAutoSize(v); }, false);
    DeclarePublished(TImage::StaticClass(),
                     {autoSize, ib("Center", &TImage::Center, &TImage::SetCenter), picture,
                      ib("Proportional", &TImage::Proportional, &TImage::SetProportional),
                      ib("Stretch", &TImage::Stretch, &TImage::SetStretch),
                      ib("Transparent", &TImage::Transparent, &TImage::SetTransparent)});

    TPropInfo pen;
    pen.Name = "Pen";
    pen.Kind = tkClass;
    pen.TypeName = "TPen";
    pen.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TShape*>(o)->Pen(); };
    pen.SetObject = [](TObject* o, TObject* v) {
        if (v && v->Is<TPen>()) static_cast<TShape*>(o)->SetPen(static_cast<TPen*>(v));
    };
    TPropInfo brush;
    brush.Name = "Brush";
    brush.Kind = tkClass;
    brush.TypeName = "TBrush";
    brush.GetObject = [](const TObject* o) -> TObject* { return static_cast<const TShape*>(o)->Brush(); };
    brush.SetObject = [](TObject* o, TObject* v) {
        if (v && v->Is<TBrush>()) static_cast<TShape*>(o)->SetBrush(static_cast<TBrush*>(v));
    };
    auto shape = OrdProp<TShape, TShapeType>("Shape", tkEnumeration, "TShapeType", &TShape::Shape, &TShape::SetShape,
                                             stRectangle);
    shape.EnumNames = {"stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse", "stCircle"};
    DeclarePublished(TShape::StaticClass(), {brush, pen, shape});

    auto enabled = boolProp(
        "Enabled", [](const TObject* o) { return static_cast<const TTimer*>(o)->Enabled(); },
        [](TObject* o, bool v) { static_cast<TTimer*>(o)->SetEnabled(v); }, true);
    DeclarePublished(TTimer::StaticClass(), {enabled, OrdProp<TTimer, unsigned>("Interval", tkInteger, "Cardinal",
                                                                                &TTimer::Interval,
                                                                                &TTimer::SetInterval, 1000)});
    RegisterClasses({&TPanel::StaticClass(), &TImage::StaticClass(), &TShape::StaticClass(), &TTimer::StaticClass(),
                     &TXPManifest::StaticClass()});
}

}  // namespace cl
