// Colours, pens, brushes, fonts and canvases.
#include "classlib/Graphics.h"

#include <cstring>

#include "classlib/TypInfo.h"
#include "platform/user.h"

namespace cl {

namespace {

// a * b / c rounded half away from zero.
int MulDivRound(int a, int b, int c) {
    int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
    return static_cast<int>(q);
}

win::COLORREF ToColorRef(TColor c) { return static_cast<win::COLORREF>(ColorToRGB(c)); }

}  // namespace

TColor ColorToRGB(TColor color) {
    if (color < 0) return static_cast<TColor>(win::GetSysColor(color & 0xFF));
    return color;
}

// ---------------------------------------------------------------------------------------

TGraphicsObject::~TGraphicsObject() { FreeHandle(); }

win::HGDIOBJ TGraphicsObject::HandleObject() {
    if (!handle_) handle_ = CreateHandle();
    return handle_;
}

void TGraphicsObject::FreeHandle() {
    if (handle_) win::DeleteObject(handle_);
    handle_ = nullptr;
}

void TGraphicsObject::Changed() {
    // The canvas that selected the old handle deselects it from OnChange before it is
    // deleted, so tell first and free afterwards.
    win::HGDIOBJ old = handle_;
    handle_ = nullptr;
    if (OnChange) OnChange(this);
    if (old) win::DeleteObject(old);
}

// ---------------------------------------------------------------------------------------

TFont::TFont() = default;

void TFont::SetName(const String& v) {
    if (v.empty() || v == name_) return;
    name_ = v;
    Changed();
}
void TFont::SetHeight(int v) {
    if (v == height_) return;
    height_ = v;
    Changed();
}
int TFont::Size() const { return -MulDivRound(height_, 72, 96); }
void TFont::SetSize(int v) { SetHeight(-MulDivRound(v, 96, 72)); }
void TFont::SetStyle(TFontStyles v) {
    if (v == style_) return;
    style_ = v;
    Changed();
}
void TFont::SetColor(TColor v) {
    if (v == color_) return;
    color_ = v;
    // The colour is not part of the GDI font: no new handle is needed.
    if (OnChange) OnChange(this);
}
void TFont::SetCharset(TFontCharset v) {
    if (v == charset_) return;
    charset_ = v;
    Changed();
}
void TFont::SetPitch(TFontPitch v) {
    if (v == pitch_) return;
    pitch_ = v;
    Changed();
}

win::LOGFONTA TFont::LogFont() const {
    win::LOGFONTA lf;
    lf.lfHeight = height_;
    lf.lfWeight = (style_ & FontStyleBit(fsBold)) ? win::FW_BOLD : win::FW_NORMAL;
    lf.lfItalic = (style_ & FontStyleBit(fsItalic)) ? 1 : 0;
    lf.lfUnderline = (style_ & FontStyleBit(fsUnderline)) ? 1 : 0;
    lf.lfStrikeOut = (style_ & FontStyleBit(fsStrikeOut)) ? 1 : 0;
    lf.lfCharSet = charset_;
    lf.lfQuality = win::DEFAULT_QUALITY;
    lf.lfPitchAndFamily = pitch_ == fpFixed ? win::FIXED_PITCH : pitch_ == fpVariable ? win::VARIABLE_PITCH
                                                                                        : win::DEFAULT_PITCH;
    std::strncpy(lf.lfFaceName, name_.c_str(), win::LF_FACESIZE - 1);
    return lf;
}

void TFont::SetLogFont(const win::LOGFONTA& lf) {
    char face[win::LF_FACESIZE + 1] = {};
    std::memcpy(face, lf.lfFaceName, win::LF_FACESIZE);
    if (face[0]) name_ = face;
    height_ = lf.lfHeight;
    style_ = 0;
    if (lf.lfWeight >= win::FW_BOLD) style_ |= FontStyleBit(fsBold);
    if (lf.lfItalic) style_ |= FontStyleBit(fsItalic);
    if (lf.lfUnderline) style_ |= FontStyleBit(fsUnderline);
    if (lf.lfStrikeOut) style_ |= FontStyleBit(fsStrikeOut);
    charset_ = lf.lfCharSet;
    int pitch = lf.lfPitchAndFamily & 3;
    pitch_ = pitch == win::FIXED_PITCH ? fpFixed : pitch == win::VARIABLE_PITCH ? fpVariable : fpDefault;
    Changed();
}

win::HGDIOBJ TFont::CreateHandle() {
    win::LOGFONTA lf = LogFont();
    return win::CreateFontIndirectA(&lf);
}

void TFont::Assign(TPersistent* Source) {
    if (auto* f = dynamic_cast<TFont*>(Source)) {
        if (f == this) return;
        name_ = f->name_;
        height_ = f->height_;
        style_ = f->style_;
        color_ = f->color_;
        charset_ = f->charset_;
        pitch_ = f->pitch_;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------

int PenModeToROP2(TPenMode mode) {
    static constexpr int kRop2[] = {win::R2_BLACK,      win::R2_WHITE,       win::R2_NOP,          win::R2_NOT,
                                    win::R2_COPYPEN,    win::R2_NOTCOPYPEN,  win::R2_MERGEPENNOT,  win::R2_MASKPENNOT,
                                    win::R2_MERGENOTPEN, win::R2_MASKNOTPEN, win::R2_MERGEPEN,     win::R2_NOTMERGEPEN,
                                    win::R2_MASKPEN,    win::R2_NOTMASKPEN,  win::R2_XORPEN,       win::R2_NOTXORPEN};
    int i = static_cast<int>(mode);
    return (i >= 0 && i < 16) ? kRop2[i] : win::R2_COPYPEN;
}

void TPen::SetColor(TColor v) {
    if (v == color_) return;
    color_ = v;
    Changed();
}
void TPen::SetWidth(int v) {
    if (v < 0 || v == width_) return;
    width_ = v;
    Changed();
}
void TPen::SetStyle(TPenStyle v) {
    if (v == style_) return;
    style_ = v;
    Changed();
}
void TPen::SetMode(TPenMode v) {
    if (v == mode_) return;
    mode_ = v;
    // The mode belongs to the DC, not to the GDI pen.
    if (OnChange) OnChange(this);
}

win::HGDIOBJ TPen::CreateHandle() {
    return win::CreatePen(static_cast<int>(style_), width_, ToColorRef(color_));
}

void TPen::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TPen*>(Source)) {
        if (p == this) return;
        color_ = p->color_;
        width_ = p->width_;
        style_ = p->style_;
        mode_ = p->mode_;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------

void TBrush::SetColor(TColor v) {
    if (v == color_ && bitmap_ == nullptr) return;
    color_ = v;
    bitmap_ = nullptr;
    if (style_ == bsClear) style_ = bsSolid;
    Changed();
}
void TBrush::SetStyle(TBrushStyle v) {
    if (v == style_ && bitmap_ == nullptr) return;
    style_ = v;
    bitmap_ = nullptr;
    Changed();
}
void TBrush::SetBitmap(TBitmap* v) {
    bitmap_ = v;
    Changed();
}

win::HGDIOBJ TBrush::CreateHandle() {
    if (bitmap_ && !bitmap_->Empty()) return win::CreatePatternBrush(bitmap_->Handle());
    switch (style_) {
        case bsSolid: return win::CreateSolidBrush(ToColorRef(color_));
        case bsClear: return win::GetStockObject(win::NULL_BRUSH);
        default: return win::CreateHatchBrush(static_cast<int>(style_) - 2, ToColorRef(color_));
    }
}

void TBrush::Assign(TPersistent* Source) {
    if (auto* b = dynamic_cast<TBrush*>(Source)) {
        if (b == this) return;
        color_ = b->color_;
        style_ = b->style_;
        bitmap_ = b->bitmap_;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------

TCanvas::TCanvas()
    : pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()), font_(std::make_unique<TFont>()) {
    pen_->OnChange = [this](TObject* s) { ObjectChanged(s); };
    brush_->OnChange = [this](TObject* s) { ObjectChanged(s); };
    font_->OnChange = [this](TObject* s) { ObjectChanged(s); };
    pen_->OwnerCriticalSection = &lock_;
    brush_->OwnerCriticalSection = &lock_;
    font_->OwnerCriticalSection = &lock_;
}

TCanvas::~TCanvas() {
    // Derived canvases free their DCs in their own destructors; a borrowed DC keeps
    // nothing of ours selected.
    if (handle_) DeselectHandles();
}

void TCanvas::ObjectChanged(TObject* sender) {
    if (handle_) {
        if (sender == font_.get() && (state_ & csFontValid)) {
            win::SelectObject(handle_, oldFont_);
            oldFont_ = nullptr;
            state_ &= ~csFontValid;
        } else if (sender == pen_.get() && (state_ & csPenValid)) {
            win::SelectObject(handle_, oldPen_);
            oldPen_ = nullptr;
            state_ &= ~csPenValid;
        } else if (sender == brush_.get() && (state_ & csBrushValid)) {
            win::SelectObject(handle_, oldBrush_);
            oldBrush_ = nullptr;
            state_ &= ~csBrushValid;
        }
    }
}

void TCanvas::DeselectHandles() {
    if (handle_) {
        if (state_ & csPenValid) win::SelectObject(handle_, oldPen_);
        if (state_ & csBrushValid) win::SelectObject(handle_, oldBrush_);
        if (state_ & csFontValid) win::SelectObject(handle_, oldFont_);
    }
    oldPen_ = oldBrush_ = oldFont_ = nullptr;
    state_ &= ~(csPenValid | csBrushValid | csFontValid);
}

win::HDC TCanvas::Handle() {
    RequiredState(csHandleValid);
    return handle_;
}

void TCanvas::SetHandle(win::HDC dc) {
    if (dc == handle_) return;
    DeselectHandles();
    handle_ = dc;
    state_ = dc ? csHandleValid : 0;
}

void TCanvas::Lock() {
    lock_.lock();
    ++lockCount_;
}

void TCanvas::Unlock() {
    --lockCount_;
    lock_.unlock();
}

bool TCanvas::TryLock() {
    if (!lock_.try_lock()) return false;
    ++lockCount_;
    return true;
}

void TCanvas::SetCopyMode(TCopyMode v) { copyMode_ = v; }

void TCanvas::RequiredState(uint8_t state) {
    if (!handle_) {
        CreateHandle();
        if (!handle_) throw EInvalidOperation("Canvas does not allow drawing");
    }
    if ((state & csFontValid) && !(state_ & csFontValid)) {
        win::HGDIOBJ old = win::SelectObject(handle_, font_->Handle());
        oldFont_ = old;
        win::SetTextColor(handle_, ToColorRef(font_->Color()));
        state_ |= csFontValid;
    }
    if ((state & csPenValid) && !(state_ & csPenValid)) {
        oldPen_ = win::SelectObject(handle_, pen_->Handle());
        win::SetROP2(handle_, PenModeToROP2(pen_->Mode()));
        state_ |= csPenValid;
    }
    if ((state & csBrushValid) && !(state_ & csBrushValid)) {
        oldBrush_ = win::SelectObject(handle_, brush_->Handle());
        win::SetBkColor(handle_, ToColorRef(brush_->Color()));
        win::SetBkMode(handle_, brush_->Style() == bsClear ? win::TRANSPARENT : win::OPAQUE);
        state_ |= csBrushValid;
    }
}

// Protected friend-like helper: canvases set their DC from CreateHandle through SetHandle.
void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

void TCanvas::Refresh() { DeselectHandles(); }

TPoint TCanvas::PenPos() {
    RequiredState(csHandleValid);
    TPoint p;
    win::GetCurrentPositionEx(handle_, &p);
    return p;
}

void TCanvas::SetPenPos(TPoint p) { MoveTo(p.x, p.y); }

void TCanvas::MoveTo(int x, int y) {
    RequiredState(csHandleValid);
    win::MoveToEx(handle_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::LineTo(handle_, x, y);
    Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Polyline(handle_, points.data(), static_cast<int>(points.size()));
    Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Polygon(handle_, points.data(), static_cast<int>(points.size()));
    Changed();
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Rectangle(handle_, l, t, r, b);
    Changed();
}

void TCanvas::Ellipse(int l, int t, int r, int b) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Ellipse(handle_, l, t, r, b);
    Changed();
}

void TCanvas::RoundRect(int l, int t, int r, int b, int w, int h) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::RoundRect(handle_, l, t, r, b, w, h);
    Changed();
}

void TCanvas::Arc(int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Arc(handle_, l, t, r, b, xs, ys, xe, ye);
    Changed();
}

void TCanvas::FillRect(const TRect& r) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    win::FillRect(handle_, &r, brush_->Handle());
    Changed();
}

void TCanvas::FrameRect(const TRect& r) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    win::FrameRect(handle_, &r, brush_->Handle());
    Changed();
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    RequiredState(csHandleValid);
    graphic->Draw(this, Bounds(x, y, graphic->Width(), graphic->Height()));
    Changed();
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    RequiredState(csHandleValid);
    graphic->Draw(this, r);
    Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* source, const TRect& src) {
    if (!source) return;
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    win::HDC sdc = source->Handle();
    win::StretchBlt(handle_, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, sdc, src.left,
                    src.top, src.right - src.left, src.bottom - src.top, copyMode_);
    Changed();
}

void TCanvas::TextOut(int x, int y, const String& text) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    win::ExtTextOutA(handle_, x, y, static_cast<win::UINT>(TextFlags), nullptr, text.data(),
                     static_cast<win::UINT>(text.size()), nullptr);
    win::MoveToEx(handle_, x + TextWidth(text), y, nullptr);
    Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, const String& text) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    win::UINT options = win::ETO_CLIPPED | static_cast<win::UINT>(TextFlags);
    if (brush_->Style() != bsClear) options |= win::ETO_OPAQUE;
    win::ExtTextOutA(handle_, x, y, options, &r, text.data(), static_cast<win::UINT>(text.size()), nullptr);
    Changed();
}

TSize TCanvas::TextExtent(const String& text) {
    RequiredState(csHandleValid | csFontValid);
    TSize s;
    win::GetTextExtentPoint32A(handle_, text.data(), static_cast<int>(text.size()), &s);
    return s;
}

int TCanvas::TextHeight(const String& text) {
    RequiredState(csHandleValid | csFontValid);
    win::TEXTMETRICA tm;
    if (text.empty() || !win::GetTextMetricsA(handle_, &tm)) return TextExtent(text).cy;
    return tm.tmHeight;
}

TColor TCanvas::Pixels(int x, int y) {
    RequiredState(csHandleValid);
    return static_cast<TColor>(win::GetPixel(handle_, x, y));
}

void TCanvas::SetPixels(int x, int y, TColor c) {
    Changing();
    RequiredState(csHandleValid | csPenValid);
    win::SetPixel(handle_, x, y, ToColorRef(c));
    Changed();
}

TRect TCanvas::ClipRect() {
    RequiredState(csHandleValid);
    TRect r;
    win::GetClipBox(handle_, &r);
    return r;
}

// ---------------------------------------------------------------------------------------
// Published properties of the graphics objects (forms copy fonts and colours by name).

namespace {

struct GraphicsPublished {
    GraphicsPublished() {
        auto font = OrdProp<TFont, int>("Height", tkInteger, "Integer", &TFont::Height, &TFont::SetHeight);
        auto size = OrdProp<TFont, int>("Size", tkInteger, "Integer", &TFont::Size, &TFont::SetSize, NoDefault);
        size.Stored = false;
        auto fcolor = OrdProp<TFont, TColor>("Color", tkInteger, "TColor", &TFont::Color, &TFont::SetColor);
        auto charset = OrdProp<TFont, TFontCharset>("Charset", tkInteger, "TFontCharset", &TFont::Charset,
                                                    &TFont::SetCharset, win::DEFAULT_CHARSET);
        auto pitch = OrdProp<TFont, TFontPitch>("Pitch", tkEnumeration, "TFontPitch", &TFont::Pitch, &TFont::SetPitch,
                                                fpDefault);
        pitch.EnumNames = {"fpDefault", "fpVariable", "fpFixed"};
        auto style = OrdProp<TFont, TFontStyles>("Style", tkSet, "TFontStyles", &TFont::Style, &TFont::SetStyle, 0);
        DeclarePublished(TFont::StaticClass(), {charset, fcolor, font, StrProp<TFont>("Name", &TFont::Name,
                                                                                        &TFont::SetName),
                                                pitch, size, style});

        auto pcolor = OrdProp<TPen, TColor>("Color", tkInteger, "TColor", &TPen::Color, &TPen::SetColor, clBlack);
        auto mode = OrdProp<TPen, TPenMode>("Mode", tkEnumeration, "TPenMode", &TPen::Mode, &TPen::SetMode, pmCopy);
        mode.EnumNames = {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot",
                          "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask",
                          "pmNotMask", "pmXor", "pmNotXor"};
        auto pstyle = OrdProp<TPen, TPenStyle>("Style", tkEnumeration, "TPenStyle", &TPen::Style, &TPen::SetStyle,
                                               psSolid);
        pstyle.EnumNames = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"};
        auto width = OrdProp<TPen, int>("Width", tkInteger, "Integer", &TPen::Width, &TPen::SetWidth, 1);
        DeclarePublished(TPen::StaticClass(), {pcolor, mode, pstyle, width});

        auto bcolor =
            OrdProp<TBrush, TColor>("Color", tkInteger, "TColor", &TBrush::Color, &TBrush::SetColor, clWhite);
        auto bstyle = OrdProp<TBrush, TBrushStyle>("Style", tkEnumeration, "TBrushStyle", &TBrush::Style,
                                                   &TBrush::SetStyle, bsSolid);
        bstyle.EnumNames = {"bsSolid", "bsClear", "bsHorizontal", "bsVertical",
                            "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"};
        DeclarePublished(TBrush::StaticClass(), {bcolor, bstyle});
    }
};
const GraphicsPublished graphicsPublished;

}  // namespace

}  // namespace cl
