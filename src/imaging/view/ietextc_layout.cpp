// The rich-text control's layout and painting: lines wrapped at spaces, aligned left, right,
// centred or justified, characters on a common baseline per line, the selection in inverted
// colours, everything scaled by TextZoom, and the caret and every character's position for
// the caret movement.
//
// Each line is walked twice: first measuring (the widths decide where the line breaks and the
// tallest character its height), then drawing from the line's start with the alignment offset.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/view/iegdiplus.h"
#include "imaging/view/ietextc.h"
#include "platform/gdi.h"

namespace ie {

namespace {

int32_t TruncD(double v) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return v > 0 ? INT32_MAX : INT32_MIN;
    return static_cast<int32_t>(std::trunc(v));
}

int16_t Clamp16(int32_t v) { return static_cast<int16_t>(std::clamp(v, 0, 32767)); }
uint8_t Clamp8(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

cl::TColor Complement(cl::TColor c) { return static_cast<cl::TColor>(~cl::ColorToRGB(c) & 0xFFFFFF); }

// Selects the canvas's font and brush into its device context (an empty rectangle draws
// nothing): the drawing wrapper's text output takes the context as it is.
void SelectTextObjects(cl::TCanvas* Canvas) { Canvas->TextRect(cl::TRect{0, 0, 0, 0}, 0, 0, cl::String()); }

// The largest height a grown control takes.
constexpr int32_t kMaxGrownHeight = 32767;

}  // namespace

struct TIETextControl::TLayoutState {
    TIECanvas* Canvas = nullptr;
    cl::TCanvas* Plain = nullptr;
    int32_t Left = 0, Top = 0;
    double Z = 1.0;
    bool Zoomed = false;
    int32_t W = 0, H = 0, Li = 0, Ti = 0;
    cl::TRect TextRect{0, 0, 0, 0};
    bool Measuring = true;
    int32_t Pos = 0;        // the current character
    int32_t LineStart = 0;  // the first character of the line
    int32_t Wrap = -1;      // where the line breaks (-1: at a line feed or the end)
    int32_t X = 0;          // pen position in the line (justified)
    int32_t UX = 0;         // sum of the widths (from the alignment offset)
    int32_t LastEnd = 0;    // end of the last character drawn
    int32_t LineTop = 0;
    int32_t MaxH = 0, MaxIL = 0, MaxD = 0;
    int32_t LastH = 0, LastIL = 0, LastD = 0;
    double Justify = 1.0;
    int32_t GlyphEnd = 0;  // bytes before this index belong to the last glyph
    bool Resized = false;  // AutoGrow changed the height: the call ends
    struct Glyph {
        int32_t X, Y;
        std::string Text;
        int32_t Index;
    };
    std::vector<Glyph> Glyphs;
};

// The text drawn for the character at Index: a space for control characters, the whole
// UTF-8 sequence for a multi-byte one, '?' for a broken byte.
static std::string GlyphAt(const std::string& Text, int32_t Index, int32_t Length, int32_t& Span) {
    Span = 1;
    const auto c = static_cast<uint8_t>(Text[static_cast<size_t>(Index)]);
    if (c <= 30 || c == 127) return " ";
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    const size_t len = IEUtf8SequenceLength(reinterpret_cast<const uint8_t*>(Text.data()) + Index,
                                            static_cast<size_t>(Length - Index));
    if (len == 0) return "?";
    Span = static_cast<int32_t>(len);
    return Text.substr(static_cast<size_t>(Index), len);
}

void TIETextControl::ApplyCharStyle(TIECanvas* Canvas, int32_t Index) {
    cl::TCanvas* cv = Canvas->GetCanvas();
    cl::TFont* f = cv->GetFont();
    cl::TBrush* b = cv->GetBrush();
    cl::String name;
    int32_t height;
    cl::TFontStyles styles;
    cl::TColor color, back;
    cl::TBrushStyle backStyle;
    if (FSingleStyle) {
        name = FDefaultFont->GetName();
        height = FDefaultFont->GetHeight();
        styles = FDefaultFont->GetStyle();
        color = FDefaultFont->GetColor();
        back = FCharBackBrush->GetColor();
        backStyle = FCharBackBrush->GetStyle();
    } else {
        const TIECharStyle* rec = RecordOf(Index);
        if (!rec) rec = FCurrentStyle.get();
        name = rec->GetFontName();
        height = rec->FontHeight;
        styles = static_cast<cl::TFontStyles>(rec->FontStyle & 0x0F);
        color = rec->FontColor;
        back = rec->BackColor;
        backStyle = rec->BackStyle <= cl::bsDiagCross ? static_cast<cl::TBrushStyle>(rec->BackStyle) : cl::bsSolid;
    }
    if (f->GetName() != name) f->SetName(name);
    if (f->GetHeight() != height) f->SetHeight(height);
    if (f->GetStyle() != styles) f->SetStyle(styles);
    if (!KeepCanvasColors && f->GetColor() != color) f->SetColor(color);
    if (!KeepCanvasColors && b->GetColor() != back) Canvas->GetBrush()->SetColor(back);
    if (b->GetStyle() != backStyle) Canvas->GetBrush()->SetStyle(backStyle);
}

void TIETextControl::MeasureChar(TLayoutState& S, int32_t Index) {
    ApplyCharStyle(S.Canvas, Index);
    int32_t span;
    const std::string glyph = GlyphAt(TextBuffer, Index, FTextLength, span);
    if (FCharWidths[Index] == 0) FCharWidths[Index] = Clamp16(S.Plain->TextWidth(glyph));
    if (FCharHeights[Index] == 0) {
        if (FixedLineHeight != 0) {
            FCharHeights[Index] = Clamp16(FixedLineHeight);
            FCharLeadings[Index] = 0;
            FCharDescents[Index] = 0;
        } else {
            (void)S.Plain->TextExtent(cl::String());  // the character's font in the context
            win::TEXTMETRICA tm{};
            win::GetTextMetricsA(S.Plain->GetHandle(), &tm);
            FCharHeights[Index] = Clamp16(tm.tmHeight);
            FCharLeadings[Index] = Clamp8(std::abs(tm.tmInternalLeading));
            FCharDescents[Index] = Clamp8(std::abs(tm.tmDescent));
        }
    }
    if (S.Measuring) {
        S.LastH = FCharHeights[Index];
        S.LastIL = FCharLeadings[Index];
        S.LastD = FCharDescents[Index];
        S.MaxH = std::max(S.MaxH, S.LastH);
        S.MaxIL = std::max(S.MaxIL, S.LastIL);
        S.MaxD = std::max(S.MaxD, S.LastD);
    }
}

int32_t TIETextControl::AlignOffset(TLayoutState& S, int32_t Pos) {
    S.Justify = 1.0;
    uint8_t align;
    if (FSingleStyle) {
        align = DefaultAlignment;
    } else {
        const TIECharStyle* rec = Pos - 1 >= 0 && Pos - 1 < FTextLength ? RecordOf(Pos - 1) : nullptr;
        align = rec ? rec->Alignment : FCurrentStyle->Alignment;
    }
    if (align == 0 || align > 3) return 0;
    // The line's last character, without a line feed or a space that ends it.
    int32_t k = Pos - 1;
    if (k >= FTextLength) k = FTextLength - 1;
    if (k >= 0 && TextBuffer[static_cast<size_t>(k)] == '\n') --k;
    if (k >= 0 && TextBuffer[static_cast<size_t>(k)] == ' ') --k;
    if (k < 0) return 0;
    const int32_t e = FCharX[k] + FCharWidths[k];
    switch (align) {
        case 1: return S.W - e - 1;
        case 2: return (S.W - e) / 2;
        default: {
            const bool lastOfParagraph =
                k + 1 >= FTextLength || TextBuffer[static_cast<size_t>(k + 1)] == '\n' || k + 2 >= FTextLength;
            if (!lastOfParagraph && e + 1 > 0) S.Justify = static_cast<double>(S.W) / (e + 1);
            return 0;
        }
    }
}

void TIETextControl::WrapLine(TLayoutState& S) {
    // The nearest space at or before the current character, after the line's start.
    int32_t k = S.Pos;
    while (k > S.LineStart && TextBuffer[static_cast<size_t>(k)] != ' ') --k;
    S.Wrap = k > S.LineStart ? k + 1 : S.Pos;
    S.Measuring = false;
    S.Pos = S.LineStart;
    S.GlyphEnd = S.LineStart;
    S.X = S.UX = S.LastEnd = AlignOffset(S, S.Wrap);
}

void TIETextControl::EndLine(TLayoutState& S) {
    if (S.Measuring) {
        S.Measuring = false;
        S.X = S.UX = S.LastEnd = AlignOffset(S, S.Pos);
        S.Pos = S.LineStart;
        S.GlyphEnd = S.LineStart;
        return;
    }
    if (CaptureText) CapturedText.push_back('\n');
    S.LineTop += S.MaxH + LineSpacing;
    S.LineStart = S.Pos;
    S.Measuring = true;
    S.MaxH = S.LastH;
    S.MaxIL = S.LastIL;
    S.MaxD = S.LastD;
    S.X = S.UX = S.LastEnd = 0;
    S.Wrap = -1;
    S.Justify = 1.0;
}

void TIETextControl::DrawChar(TLayoutState& S, int32_t X, int32_t Y, const std::string& Glyph) {
    SelectTextObjects(S.Plain);
    S.Canvas->TextRectEx(S.TextRect, X, Y, Glyph);
}

bool TIETextControl::DrawCharacter(TLayoutState& S, int32_t Index) {
    int32_t span;
    const std::string glyph = GlyphAt(TextBuffer, Index, FTextLength, span);
    const int32_t X = S.Left + S.Li + S.X;
    const int32_t Y = S.Top + S.Ti + S.LineTop + (S.MaxH - S.MaxIL);
    if (SelectionStart <= Index && Index < SelectionEnd) {
        S.Canvas->GetBrush()->SetColor(Complement(S.Plain->GetBrush()->GetColor()));
        S.Plain->GetFont()->SetColor(Complement(S.Plain->GetFont()->GetColor()));
        S.Canvas->GetBrush()->SetStyle(cl::bsSolid);
    }
    // The gap a justified line opens before this character is filled with spaces.
    if (S.UX != S.X && S.LastEnd < S.X) {
        for (int32_t px = S.Left + S.Li + S.LastEnd; px <= S.Left + S.Li + S.X - 1; ++px) {
            if (S.Zoomed)
                S.Glyphs.push_back({px, Y, " ", Index});
            else
                DrawChar(S, px, Y, " ");
        }
    }
    if (S.Zoomed)
        S.Glyphs.push_back({X, Y, glyph, Index});
    else
        DrawChar(S, X, Y, glyph);
    if (CaptureText) {
        if (S.Top + S.Ti + S.H < Y) return false;
        CapturedText += TextBuffer.substr(static_cast<size_t>(Index), static_cast<size_t>(span));
    }
    if (AutoGrow && GetVisible() && GetParent() && S.Top + S.Ti + S.H < Y + S.MaxD) {
        const int32_t grown = std::min(TruncD((Y + S.MaxD + S.MaxH) * S.Z), kMaxGrownHeight);
        // Margins that leave no room can never be satisfied: the control then keeps its size.
        if (S.H > 0 && grown > GetHeight()) {
            SetHeight(grown);
            S.Resized = true;
            return false;
        }
    }
    if (Index == FCaretIndex) {
        FCaretX = S.Li + S.X;
        FCaretY = S.Ti + S.LineTop;
        FCaretHeight = S.MaxH;
    } else if (Index < FCaretIndex) {
        FCaretX = S.Li + S.X + FCharWidths[Index];
        FCaretY = S.Ti + S.LineTop;
        FCaretHeight = S.MaxH;
    }
    return true;
}

void TIETextControl::LayoutAndDraw(TIECanvas* Canvas, int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    if (!Canvas || Width <= 1 || Height <= 1) return;
    ResizeMetrics();
    TLayoutState S;
    S.Canvas = Canvas;
    S.Plain = Canvas->GetCanvas();
    S.Left = Left;
    S.Top = Top;
    S.Z = TextZoom;
    S.Zoomed = TextZoom != 1.0;
    CapturedText.clear();

    // The frame and the fill.
    TIEPen* pen = Canvas->GetPen();
    pen->SetWidth(1.0f);
    S.Plain->GetFont()->SetColor(FDefaultFont->GetColor());
    pen->SetColor(FDefaultFont->GetColor());
    pen->SetStyle(FFramePen->GetStyle());
    if (!KeepCanvasColors) pen->SetColor(FFramePen->GetColor());
    pen->SetMode(cl::pmCopy);
    Canvas->GetBrush()->SetColor(FFillBrush->GetColor());
    Canvas->GetBrush()->SetStyle(FFillBrush->GetStyle());
    Canvas->Rectangle(Left, Top, Left + static_cast<int32_t>(cl::Round(Width * S.Z)),
                      Top + static_cast<int32_t>(cl::Round(Height * S.Z)));
    pen->SetStyle(cl::psSolid);

    // The inner box.
    const double mL = TextMargins[0], mT = TextMargins[1], mR = TextMargins[2], mB = TextMargins[3];
    S.W = TruncD(Width - Width * mR / 100 - Width * mL / 100) - 2;
    S.H = TruncD(Height - Height * mB / 100 - Height * mT / 100) - 2;
    S.Li = TruncD(Width * mL / 100) + 1;
    S.Ti = TruncD(Height * mT / 100) + 1;
    S.TextRect = cl::TRect{Left + S.Li, Top + S.Ti, TruncD(S.W * S.Z + Left + S.Li), TruncD(S.H * S.Z + Top + S.Ti)};

    const win::HDC dc = S.Plain->GetHandle();
    const win::UINT oldAlign = win::SetTextAlign(dc, win::TA_BASELINE);

    bool walked = false;
    if (FTextLength > 0) {
        const int32_t len = FTextLength;
        for (;;) {
            const int32_t i = S.Pos;
            FCharX[i] = S.X + S.Li;
            FCharY[i] = S.Ti + S.LineTop;
            walked = true;
            if (i < len && TextBuffer[static_cast<size_t>(i)] == '\n') {
                MeasureChar(S, i);
                ++S.Pos;
                S.GlyphEnd = S.Pos;
                if (i == 0 && FCaretIndex == 0) {
                    FCaretX = S.Li;
                    FCaretY = S.Ti;
                    FCaretHeight = S.MaxH;
                } else if (i < FCaretIndex) {
                    FCaretX = S.Li;
                    FCaretY = S.Ti + S.LineTop + S.MaxH;
                    FCaretHeight = S.MaxH;
                }
                if (!S.Measuring && S.Pos >= len) break;
                EndLine(S);
                continue;
            }
            if (i >= len) {
                if (!S.Measuring) break;
                EndLine(S);
                S.Wrap = -1;
                continue;
            }
            if (!S.Measuring && i == S.Wrap) {
                EndLine(S);
                continue;
            }
            if (i < S.GlyphEnd) {
                // A later byte of a multi-byte character: drawn with its first byte.
                if (!S.Measuring && i < FCaretIndex) {
                    FCaretX = S.Li + S.X;
                    FCaretY = S.Ti + S.LineTop;
                    FCaretHeight = S.MaxH;
                }
                ++S.Pos;
                continue;
            }
            MeasureChar(S, i);
            const int32_t w = FCharWidths[i];
            if (S.Measuring && S.X + w + 2 >= S.W) {
                WrapLine(S);
                if (S.Wrap == S.LineStart) break;  // not even one character fits
                continue;
            }
            int32_t span;
            (void)GlyphAt(TextBuffer, i, len, span);
            if (!S.Measuring && !DrawCharacter(S, i)) break;
            S.UX += w;
            S.LastEnd = S.X + w;
            S.X = TruncD(S.UX * S.Justify);
            S.GlyphEnd = i + span;
            ++S.Pos;
        }
    }
    if (S.Resized) {
        win::SetTextAlign(dc, oldAlign);
        return;
    }
    if (!walked) {
        FCaretX = S.Li;
        FCaretY = S.Ti;
        FCaretHeight = S.Plain->TextHeight("Wg");
    }

    if (S.Zoomed) {
        for (size_t k = 0; k < S.Glyphs.size(); ++k) {
            const TLayoutState::Glyph& g = S.Glyphs[k];
            ApplyCharStyle(Canvas, g.Index);
            S.Plain->GetFont()->SetHeight(TruncD(S.Plain->GetFont()->GetHeight() * S.Z));
            const int32_t x = TruncD((g.X - Left) * S.Z);
            const int32_t y = TruncD((g.Y - Top) * S.Z);
            if (SelectionStart <= g.Index && g.Index < SelectionEnd) {
                Canvas->GetBrush()->SetColor(Complement(S.Plain->GetBrush()->GetColor()));
                S.Plain->GetFont()->SetColor(Complement(S.Plain->GetFont()->GetColor()));
                Canvas->GetBrush()->SetStyle(cl::bsSolid);
            }
            if (k + 1 < S.Glyphs.size() && S.Glyphs[k + 1].Y == g.Y) {
                const int32_t space = S.Plain->TextWidth(" ");
                const int32_t until = Left + TruncD((S.Glyphs[k + 1].X - Left) * S.Z);
                if (space > 0)
                    for (int32_t px = Left + x; px < until; px += space) DrawChar(S, px, Top + y, " ");
            }
            DrawChar(S, Left + x, Top + y, g.Text);
        }
        for (size_t i = 0; i < FCharX.size(); ++i) {
            if (FCharX[i] >= 0) FCharX[i] = TruncD(FCharX[i] * S.Z);
            if (FCharY[i] >= 0) FCharY[i] = TruncD(FCharY[i] * S.Z);
        }
        FCaretX = TruncD(FCaretX * S.Z);
        FCaretY = TruncD(FCaretY * S.Z);
        FCaretHeight = TruncD(FCaretHeight * S.Z);
    }

    if (AutoGrow && GetVisible() && GetParent() && FCaretY + FCaretHeight > TruncD(S.H * S.Z)) {
        const int32_t grown = std::min(FCaretY + FCaretHeight + S.MaxD, kMaxGrownHeight);
        if (S.H > 0 && grown > GetHeight()) SetHeight(grown);
    }
    const auto c = static_cast<size_t>(std::clamp(FCaretIndex, 0, FTextLength));
    FCharX[c] = FCaretX;
    FCharY[c] = FCaretY;
    win::SetTextAlign(dc, oldAlign);
}

// ---------------------------------------------------------------------------------------
// The control's own painting

void TIETextControl::PaintBackground() {
    cl::TBitmap* bb = FBackBuffer.get();
    if (bb->GetWidth() <= 0 || bb->GetHeight() <= 0) return;
    cl::TCanvas* cv = bb->GetCanvas();
    if (FFillBrush->GetStyle() != cl::bsSolid && BackgroundBitmap) {
        const cl::TRect dst{0, 0, bb->GetWidth(), bb->GetHeight()};
        const cl::TRect src{GetLeft(), GetTop(), GetLeft() + bb->GetWidth(), GetTop() + bb->GetHeight()};
        cv->CopyRect(dst, BackgroundBitmap->GetCanvas(), src);
    }
    if (FFillBrush->GetStyle() != cl::bsClear) {
        cv->GetBrush()->SetStyle(FFillBrush->GetStyle());
        cv->GetBrush()->SetColor(FFillBrush->GetColor());
        cv->FillRect(cl::TRect{0, 0, GetClientWidth(), GetClientHeight()});
    }
}

void TIETextControl::Paint() {
    if (!GetVisible() || !GetParent()) return;
    win::DestroyCaret();
    const int32_t cw = GetClientWidth(), ch = GetClientHeight();
    if (FBackBuffer->GetWidth() != cw || FBackBuffer->GetHeight() != ch) FBackBuffer->SetSize(cw, ch);
    PaintBackground();
    if (TextZoom > 0) {
        TIECanvas canvas(FBackBuffer->GetCanvas(), false, true);
        LayoutAndDraw(&canvas, 0, 0, TruncD(cw / TextZoom), TruncD(ch / TextZoom));
    }
    GetCanvas()->Draw(0, 0, FBackBuffer.get());
    if (HandleAllocated()) {
        win::CreateCaret(GetHandle(), nullptr, 0, FCaretHeight);
        win::SetCaretPos(FCaretX, FCaretY);
        win::ShowCaret(GetHandle());
    }
}

}  // namespace ie
