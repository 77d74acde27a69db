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
    if (!FHandle) FHandle = CreateHandle();
    return FHandle;
}

void TGraphicsObject::FreeHandle() {
    if (FHandle) win::DeleteObject(FHandle);
    FHandle = nullptr;
}

void TGraphicsObject::Changed() {
    // The canvas that selected the old handle deselects it from OnChange before it is
    // deleted, so tell first and free afterwards.
    win::HGDIOBJ old = FHandle;
    FHandle = nullptr;
    if (OnChange) OnChange(this);
    if (old) win::DeleteObject(old);
}

// ---------------------------------------------------------------------------------------

TFont::TFont() = default;

void TFont::SetName(const String& v) {
    if (v.empty() || v == FName) return;
    FName = v;
    Changed();
}
void TFont::SetHeight(int v) {
    if (v == FHeight) return;
    FHeight = v;
    Changed();
}
int TFont::GetSize() const { return -MulDivRound(FHeight, 72, 96); }
void TFont::SetSize(int v) { SetHeight(-MulDivRound(v, 96, 72)); }
void TFont::SetStyle(TFontStyles v) {
    if (v == FStyle) return;
    FStyle = v;
    Changed();
}
void TFont::SetColor(TColor v) {
    if (v == FColor) return;
    FColor = v;
    // The colour is not part of the GDI font: no new handle is needed.
    if (OnChange) OnChange(this);
}
void TFont::SetCharset(TFontCharset v) {
    if (v == FCharset) return;
    FCharset = v;
    Changed();
}
void TFont::SetPitch(TFontPitch v) {
    if (v == FPitch) return;
    FPitch = v;
    Changed();
}

win::LOGFONTA TFont::GetLogFont() const {
    win::LOGFONTA lf;
    lf.lfHeight = FHeight;
    lf.lfWeight = (FStyle & FontStyleBit(fsBold)) ? win::FW_BOLD : win::FW_NORMAL;
    lf.lfItalic = (FStyle & FontStyleBit(fsItalic)) ? 1 : 0;
    lf.lfUnderline = (FStyle & FontStyleBit(fsUnderline)) ? 1 : 0;
    lf.lfStrikeOut = (FStyle & FontStyleBit(fsStrikeOut)) ? 1 : 0;
    lf.lfCharSet = FCharset;
    lf.lfQuality = win::DEFAULT_QUALITY;
    lf.lfPitchAndFamily = FPitch == fpFixed      ? win::FIXED_PITCH
                          : FPitch == fpVariable ? win::VARIABLE_PITCH
                                                 : win::DEFAULT_PITCH;
    std::strncpy(lf.lfFaceName, FName.c_str(), win::LF_FACESIZE - 1);
    return lf;
}

void TFont::SetLogFont(const win::LOGFONTA& lf) {
    char face[win::LF_FACESIZE + 1] = {};
    std::memcpy(face, lf.lfFaceName, win::LF_FACESIZE);
    if (face[0]) FName = face;
    FHeight = lf.lfHeight;
    FStyle = 0;
    if (lf.lfWeight >= win::FW_BOLD) FStyle |= FontStyleBit(fsBold);
    if (lf.lfItalic) FStyle |= FontStyleBit(fsItalic);
    if (lf.lfUnderline) FStyle |= FontStyleBit(fsUnderline);
    if (lf.lfStrikeOut) FStyle |= FontStyleBit(fsStrikeOut);
    FCharset = lf.lfCharSet;
    int pitch = lf.lfPitchAndFamily & 3;
    FPitch = pitch == win::FIXED_PITCH ? fpFixed : pitch == win::VARIABLE_PITCH ? fpVariable : fpDefault;
    Changed();
}

win::HGDIOBJ TFont::CreateHandle() {
    win::LOGFONTA lf = GetLogFont();
    return win::CreateFontIndirectA(&lf);
}

void TFont::Assign(TPersistent* Source) {
    if (auto* f = dynamic_cast<TFont*>(Source)) {
        if (f == this) return;
        FName = f->FName;
        FHeight = f->FHeight;
        FStyle = f->FStyle;
        FColor = f->FColor;
        FCharset = f->FCharset;
        FPitch = f->FPitch;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------

int PenModeToROP2(TPenMode mode) {
    static constexpr int kRop2[] = {win::R2_BLACK,       win::R2_WHITE,      win::R2_NOP,         win::R2_NOT,
                                    win::R2_COPYPEN,     win::R2_NOTCOPYPEN, win::R2_MERGEPENNOT, win::R2_MASKPENNOT,
                                    win::R2_MERGENOTPEN, win::R2_MASKNOTPEN, win::R2_MERGEPEN,    win::R2_NOTMERGEPEN,
                                    win::R2_MASKPEN,     win::R2_NOTMASKPEN, win::R2_XORPEN,      win::R2_NOTXORPEN};
    int i = static_cast<int>(mode);
    return (i >= 0 && i < 16) ? kRop2[i] : win::R2_COPYPEN;
}

void TPen::SetColor(TColor v) {
    if (v == FColor) return;
    FColor = v;
    Changed();
}
void TPen::SetWidth(int v) {
    if (v < 0 || v == FWidth) return;
    FWidth = v;
    Changed();
}
void TPen::SetStyle(TPenStyle v) {
    if (v == FStyle) return;
    FStyle = v;
    Changed();
}
void TPen::SetMode(TPenMode v) {
    if (v == FMode) return;
    FMode = v;
    // The mode belongs to the DC, not to the GDI pen.
    if (OnChange) OnChange(this);
}

win::HGDIOBJ TPen::CreateHandle() { return win::CreatePen(static_cast<int>(FStyle), FWidth, ToColorRef(FColor)); }

void TPen::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TPen*>(Source)) {
        if (p == this) return;
        FColor = p->FColor;
        FWidth = p->FWidth;
        FStyle = p->FStyle;
        FMode = p->FMode;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------

void TBrush::SetColor(TColor v) {
    if (v == FColor && FBitmap == nullptr) return;
    FColor = v;
    FBitmap = nullptr;
    if (FStyle == bsClear) FStyle = bsSolid;
    Changed();
}
void TBrush::SetStyle(TBrushStyle v) {
    if (v == FStyle && FBitmap == nullptr) return;
    FStyle = v;
    FBitmap = nullptr;
    Changed();
}
void TBrush::SetBitmap(TBitmap* v) {
    FBitmap = v;
    Changed();
}

win::HGDIOBJ TBrush::CreateHandle() {
    if (FBitmap && !FBitmap->GetEmpty()) return win::CreatePatternBrush(FBitmap->GetHandle());
    switch (FStyle) {
        case bsSolid: return win::CreateSolidBrush(ToColorRef(FColor));
        case bsClear: return win::GetStockObject(win::NULL_BRUSH);
        default: return win::CreateHatchBrush(static_cast<int>(FStyle) - 2, ToColorRef(FColor));
    }
}

void TBrush::Assign(TPersistent* Source) {
    if (auto* b = dynamic_cast<TBrush*>(Source)) {
        if (b == this) return;
        FColor = b->FColor;
        FStyle = b->FStyle;
        FBitmap = b->FBitmap;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------

TCanvas::TCanvas()
    : FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()), FFont(std::make_unique<TFont>()) {
    FPen->OnChange = [this](TObject* s) { ObjectChanged(s); };
    FBrush->OnChange = [this](TObject* s) { ObjectChanged(s); };
    FFont->OnChange = [this](TObject* s) { ObjectChanged(s); };
    FPen->OwnerCriticalSection = &FLock;
    FBrush->OwnerCriticalSection = &FLock;
    FFont->OwnerCriticalSection = &FLock;
}

TCanvas::~TCanvas() {
    // Derived canvases free their DCs in their own destructors; a borrowed DC keeps
    // nothing of ours selected.
    if (FHandle) DeselectHandles();
}

void TCanvas::ObjectChanged(TObject* sender) {
    if (FHandle) {
        if (sender == FFont.get() && (FState & csFontValid)) {
            win::SelectObject(FHandle, FOldFont);
            FOldFont = nullptr;
            FState &= ~csFontValid;
        } else if (sender == FPen.get() && (FState & csPenValid)) {
            win::SelectObject(FHandle, FOldPen);
            FOldPen = nullptr;
            FState &= ~csPenValid;
        } else if (sender == FBrush.get() && (FState & csBrushValid)) {
            win::SelectObject(FHandle, FOldBrush);
            FOldBrush = nullptr;
            FState &= ~csBrushValid;
        }
    }
}

void TCanvas::DeselectHandles() {
    if (FHandle) {
        if (FState & csPenValid) win::SelectObject(FHandle, FOldPen);
        if (FState & csBrushValid) win::SelectObject(FHandle, FOldBrush);
        if (FState & csFontValid) win::SelectObject(FHandle, FOldFont);
    }
    FOldPen = FOldBrush = FOldFont = nullptr;
    FState &= ~(csPenValid | csBrushValid | csFontValid);
}

win::HDC TCanvas::GetHandle() {
    RequiredState(csHandleValid);
    return FHandle;
}

void TCanvas::SetHandle(win::HDC dc) {
    if (dc == FHandle) return;
    DeselectHandles();
    FHandle = dc;
    FState = dc ? csHandleValid : 0;
}

void TCanvas::Lock() {
    FLock.lock();
    ++FLockCount;
}

void TCanvas::Unlock() {
    --FLockCount;
    FLock.unlock();
}

bool TCanvas::TryLock() {
    if (!FLock.try_lock()) return false;
    ++FLockCount;
    return true;
}

void TCanvas::SetCopyMode(TCopyMode v) { FCopyMode = v; }

void TCanvas::RequiredState(uint8_t state) {
    if (!FHandle) {
        CreateHandle();
        if (!FHandle) throw EInvalidOperation("Canvas does not allow drawing");
    }
    if ((state & csFontValid) && !(FState & csFontValid)) {
        win::HGDIOBJ old = win::SelectObject(FHandle, FFont->GetHandle());
        FOldFont = old;
        win::SetTextColor(FHandle, ToColorRef(FFont->GetColor()));
        FState |= csFontValid;
    }
    if ((state & csPenValid) && !(FState & csPenValid)) {
        FOldPen = win::SelectObject(FHandle, FPen->GetHandle());
        win::SetROP2(FHandle, PenModeToROP2(FPen->GetMode()));
        FState |= csPenValid;
    }
    if ((state & csBrushValid) && !(FState & csBrushValid)) {
        FOldBrush = win::SelectObject(FHandle, FBrush->GetHandle());
        win::SetBkColor(FHandle, ToColorRef(FBrush->GetColor()));
        win::SetBkMode(FHandle, FBrush->GetStyle() == bsClear ? win::TRANSPARENT : win::OPAQUE);
        FState |= csBrushValid;
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

TPoint TCanvas::GetPenPos() {
    RequiredState(csHandleValid);
    TPoint p;
    win::GetCurrentPositionEx(FHandle, &p);
    return p;
}

void TCanvas::SetPenPos(TPoint p) { MoveTo(p.x, p.y); }

void TCanvas::MoveTo(int x, int y) {
    RequiredState(csHandleValid);
    win::MoveToEx(FHandle, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::LineTo(FHandle, x, y);
    Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Polyline(FHandle, points.data(), static_cast<int>(points.size()));
    Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Polygon(FHandle, points.data(), static_cast<int>(points.size()));
    Changed();
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Rectangle(FHandle, l, t, r, b);
    Changed();
}

void TCanvas::Ellipse(int l, int t, int r, int b) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Ellipse(FHandle, l, t, r, b);
    Changed();
}

void TCanvas::RoundRect(int l, int t, int r, int b, int w, int h) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::RoundRect(FHandle, l, t, r, b, w, h);
    Changed();
}

void TCanvas::Arc(int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    Changing();
    RequiredState(csHandleValid | csPenValid | csBrushValid);
    win::Arc(FHandle, l, t, r, b, xs, ys, xe, ye);
    Changed();
}

void TCanvas::FillRect(const TRect& r) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    win::FillRect(FHandle, &r, FBrush->GetHandle());
    Changed();
}

void TCanvas::FrameRect(const TRect& r) {
    Changing();
    RequiredState(csHandleValid | csBrushValid);
    win::FrameRect(FHandle, &r, FBrush->GetHandle());
    Changed();
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || graphic->GetEmpty()) return;
    Changing();
    RequiredState(csHandleValid);
    graphic->Draw(this, Bounds(x, y, graphic->GetWidth(), graphic->GetHeight()));
    Changed();
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
    if (!graphic || graphic->GetEmpty()) return;
    Changing();
    RequiredState(csHandleValid);
    graphic->Draw(this, r);
    Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas* source, const TRect& src) {
    if (!source) return;
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    win::HDC sdc = source->GetHandle();
    win::StretchBlt(FHandle, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, sdc, src.left,
                    src.top, src.right - src.left, src.bottom - src.top, FCopyMode);
    Changed();
}

void TCanvas::TextOut(int x, int y, const String& text) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    win::ExtTextOutA(FHandle, x, y, static_cast<win::UINT>(TextFlags), nullptr, text.data(),
                     static_cast<win::UINT>(text.size()), nullptr);
    win::MoveToEx(FHandle, x + TextWidth(text), y, nullptr);
    Changed();
}

void TCanvas::TextRect(const TRect& r, int x, int y, const String& text) {
    Changing();
    RequiredState(csHandleValid | csFontValid | csBrushValid);
    win::UINT options = win::ETO_CLIPPED | static_cast<win::UINT>(TextFlags);
    if (FBrush->GetStyle() != bsClear) options |= win::ETO_OPAQUE;
    win::ExtTextOutA(FHandle, x, y, options, &r, text.data(), static_cast<win::UINT>(text.size()), nullptr);
    Changed();
}

TSize TCanvas::TextExtent(const String& text) {
    RequiredState(csHandleValid | csFontValid);
    TSize s;
    win::GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &s);
    return s;
}

int TCanvas::TextHeight(const String& text) {
    RequiredState(csHandleValid | csFontValid);
    win::TEXTMETRICA tm;
    if (text.empty() || !win::GetTextMetricsA(FHandle, &tm)) return TextExtent(text).cy;
    return tm.tmHeight;
}

TColor TCanvas::Pixels(int x, int y) {
    RequiredState(csHandleValid);
    return static_cast<TColor>(win::GetPixel(FHandle, x, y));
}

void TCanvas::SetPixels(int x, int y, TColor c) {
    Changing();
    RequiredState(csHandleValid | csPenValid);
    win::SetPixel(FHandle, x, y, ToColorRef(c));
    Changed();
}

TRect TCanvas::GetClipRect() {
    RequiredState(csHandleValid);
    TRect r;
    win::GetClipBox(FHandle, &r);
    return r;
}

// ---------------------------------------------------------------------------------------
// Published properties of the graphics objects (forms copy fonts and colours by name).

namespace {

struct GraphicsPublished {
    GraphicsPublished() {
        auto font = OrdProp<TFont, int>("Height", tkInteger, "Integer", &TFont::GetHeight, &TFont::SetHeight);
        auto size = OrdProp<TFont, int>("Size", tkInteger, "Integer", &TFont::GetSize, &TFont::SetSize, NoDefault);
        size.Stored = false;
        auto fcolor = OrdProp<TFont, TColor>("Color", tkInteger, "TColor", &TFont::GetColor, &TFont::SetColor);
        auto charset = OrdProp<TFont, TFontCharset>("Charset", tkInteger, "TFontCharset", &TFont::GetCharset,
                                                    &TFont::SetCharset, win::DEFAULT_CHARSET);
        auto pitch = OrdProp<TFont, TFontPitch>("Pitch", tkEnumeration, "TFontPitch", &TFont::GetPitch,
                                                &TFont::SetPitch, fpDefault);
        pitch.EnumNames = {"fpDefault", "fpVariable", "fpFixed"};
        auto style = OrdProp<TFont, TFontStyles>("Style", tkSet, "TFontStyles", &TFont::GetStyle, &TFont::SetStyle, 0);
        DeclarePublished(
            TFont::StaticClass(),
            {charset, fcolor, font, StrProp<TFont>("Name", &TFont::GetName, &TFont::SetName), pitch, size, style});

        auto pcolor = OrdProp<TPen, TColor>("Color", tkInteger, "TColor", &TPen::GetColor, &TPen::SetColor, clBlack);
        auto mode = OrdProp<TPen, TPenMode>("Mode", tkEnumeration, "TPenMode", &TPen::GetMode, &TPen::SetMode, pmCopy);
        mode.EnumNames = {"pmBlack",       "pmWhite",      "pmNop",         "pmNot",        "pmCopy",  "pmNotCopy",
                          "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge",
                          "pmMask",        "pmNotMask",    "pmXor",         "pmNotXor"};
        auto pstyle =
            OrdProp<TPen, TPenStyle>("Style", tkEnumeration, "TPenStyle", &TPen::GetStyle, &TPen::SetStyle, psSolid);
        pstyle.EnumNames = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"};
        auto width = OrdProp<TPen, int>("Width", tkInteger, "Integer", &TPen::GetWidth, &TPen::SetWidth, 1);
        DeclarePublished(TPen::StaticClass(), {pcolor, mode, pstyle, width});

        auto bcolor =
            OrdProp<TBrush, TColor>("Color", tkInteger, "TColor", &TBrush::GetColor, &TBrush::SetColor, clWhite);
        auto bstyle = OrdProp<TBrush, TBrushStyle>("Style", tkEnumeration, "TBrushStyle", &TBrush::GetStyle,
                                                   &TBrush::SetStyle, bsSolid);
        bstyle.EnumNames = {"bsSolid",     "bsClear",     "bsHorizontal", "bsVertical",
                            "bsFDiagonal", "bsBDiagonal", "bsCross",      "bsDiagCross"};
        DeclarePublished(TBrush::StaticClass(), {bcolor, bstyle});
    }
};
const GraphicsPublished graphicsPublished;

}  // namespace

}  // namespace cl
