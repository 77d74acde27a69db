#include "transitions/teBlock.h"

#include "classlib/TypInfo.h"
#include "transitions/teEffectProps.h"

#include <algorithm>
#include <cmath>

#include "classlib/SysUtils.h"
#include "platform/gdi.h"

namespace te {

namespace {

int32_t RoundEven(long double v) { return static_cast<int32_t>(std::nearbyint(v)); }

uint32_t Pack(int32_t Row, int32_t Col) { return static_cast<uint32_t>(Row) * 65536u + static_cast<uint32_t>(Col); }

}  // namespace

int BlockSubStyleCount(int Style) {
    switch (Style) {
        case 0: return 0;
        case 2: return 8;
        case 3:
        case 4: return 4;
        default: return 1;
    }
}

int BlockReversedSubStyle(int Style, int SubStyle) {
    const int count = (Style >= 2 && Style <= 4) ? BlockSubStyleCount(Style) : 0;
    if (SubStyle < 1 || SubStyle > count) return SubStyle;
    return (SubStyle & 1) ? SubStyle + 1 : SubStyle - 1;
}

int32_t BlockGridCount(int32_t Size, int32_t Count, int32_t BlockSize, bool Puzzle) {
    if (Size < 1) return 1;
    int32_t n = Count;
    if (n == 0) n = BlockSize > 0 ? RoundEven(static_cast<long double>(Size) / BlockSize) : 1;
    n = std::max(n, 1);
    // Jigsaw blocks need room for their knobs: at least 15 pixels, and at least one block
    // even on a run narrower than that.
    if (Puzzle && Size / n < 15) n = std::max(Size / 15, 1);
    return std::min(n, Size);
}

void TBlockData::Setup(const TBlockSettings& S, int32_t AWidth, int32_t AHeight) {
    Settings = S;
    Width = AWidth;
    Height = AHeight;
    CC = BlockGridCount(Width, S.Cols, S.BlockWidth, S.Puzzle);
    RR = BlockGridCount(Height, S.Rows, S.BlockHeight, S.Puzzle);
    OnePixel = CC == Width && RR == Height;
    const int32_t N = BlockCount();
    Order.clear();
    if (S.Style == 1) {
        cl::Randomize();
        Order.reserve(static_cast<size_t>(N));
        for (int32_t r = 1; r <= RR; ++r)
            for (int32_t c = 1; c <= CC; ++c) Order.push_back(Pack(r, c));
        for (int32_t i = 0; i < N; ++i)
            std::swap(Order[static_cast<size_t>(i)], Order[static_cast<size_t>(cl::Random(N))]);
    } else if (S.Style == 4) {
        const bool clockwise = S.SubStyle <= 2;
        int32_t left = 0, top = 1, right = CC + 1, bottom = RR + 1;
        int32_t row = 1, col = clockwise ? 1 : CC;
        enum { Right, Down, Left, Up } heading = clockwise ? Right : Left;
        Order.reserve(static_cast<size_t>(N));
        Order.push_back(Pack(row, col));
        while (static_cast<int32_t>(Order.size()) < N) {
            if (clockwise) {
                if (heading == Right && col + 1 == right) {
                    right = col;
                    heading = Down;
                } else if (heading == Down && row + 1 == bottom) {
                    bottom = row;
                    heading = Left;
                } else if (heading == Left && col == left + 1) {
                    left = col;
                    heading = Up;
                } else if (heading == Up && row == top + 1) {
                    top = row;
                    heading = Right;
                }
            } else {
                if (heading == Left && col == left + 1) {
                    left = col;
                    heading = Down;
                } else if (heading == Down && row + 1 == bottom) {
                    bottom = row;
                    heading = Right;
                } else if (heading == Right && col + 1 == right) {
                    right = col;
                    heading = Up;
                } else if (heading == Up && row == top + 1) {
                    top = row;
                    heading = Left;
                }
            }
            switch (heading) {
                case Right: ++col; break;
                case Down: ++row; break;
                case Left: --col; break;
                case Up: --row; break;
            }
            Order.push_back(Pack(row, col));
        }
    }
    K = 0;
    for (auto& p : FPieces) p.reset();
    if (S.Puzzle && !OnePixel) {
        K = RoundEven(static_cast<long double>(std::min(Height / RR, Width / CC)) / 3.5L);
        BuildPieces();
    }
}

void TBlockData::BuildPieces() {
    const int32_t d = Width / CC, e = Height / RR;
    for (int v = 0; v < 4; ++v) {
        const int32_t w = d + (v & 1), h = e + (v >> 1 & 1);
        for (int shape = 0; shape < 2; ++shape) {
            auto bmp = std::make_unique<cl::TBitmap>();
            bmp->SetPixelFormat(cl::pf1bit);
            cl::TCanvas* c = bmp->GetCanvas();
            // Shape 0: knobs at the top and bottom, sockets left and right; shape 1 the same
            // with the axes exchanged. R maps a rectangle of shape 0's layout.
            const bool lr = shape == 1;
            const int32_t bw = lr ? w + 2 * K : w, bh = lr ? h : h + 2 * K;
            bmp->SetSize(bw, bh);
            auto R = [lr](int32_t l, int32_t t, int32_t r, int32_t b) {
                return lr ? cl::Rect(t, l, b, r) : cl::Rect(l, t, r, b);
            };
            c->GetBrush()->SetColor(cl::clWhite);
            c->FillRect(cl::Rect(0, 0, bw, bh));
            // In shape 0's terms: the piece is w wide and Ht high.
            const int32_t pw = lr ? h : w, ph = lr ? bw : bh;
            const int32_t kx = (pw - K) / 2, ky = (ph - K) / 2;
            c->GetPen()->SetColor(cl::clBlack);
            c->GetBrush()->SetColor(cl::clBlack);
            c->Ellipse(R(kx, 0, kx + K, K));
            c->Rectangle(R(kx, K / 2, kx + K, K));
            c->Rectangle(R(0, K, pw, ph - K));
            c->Ellipse(R(kx, ph - K, kx + K, ph));
            c->Rectangle(R(kx, ph - K, kx + K, ph - K / 2));
            c->GetPen()->SetColor(cl::clWhite);
            c->GetBrush()->SetColor(cl::clWhite);
            c->Ellipse(R(0, ky, K, ky + K));
            c->Rectangle(R(0, ky, K / 2, ky + K));
            c->Ellipse(R(pw - K, ky, pw, ky + K));
            c->Rectangle(R(pw - K / 2, ky, pw, ky + K));
            FPieces[static_cast<size_t>(shape * 4 + v)] = std::move(bmp);
        }
    }
}

int32_t TBlockData::FrameCount() const {
    const int32_t N = BlockCount();
    if (Settings.Dual && Settings.Style != 1) return (N + 1) / 2 - 1;
    return N - 1;
}

std::pair<int32_t, int32_t> TBlockData::BlockAt(int32_t i) const {
    const int32_t N = BlockCount();
    if (Settings.Dual) i = (i & 1) ? i / 2 + 1 : N - i / 2 + 1;
    auto entry = [&](int32_t n) -> std::pair<int32_t, int32_t> {
        if (n < 1 || n > static_cast<int32_t>(Order.size())) return {0, 0};
        const uint32_t p = Order[static_cast<size_t>(n - 1)];
        return {static_cast<int32_t>(p >> 16), static_cast<int32_t>(p & 0xFFFF)};
    };
    int sub = Settings.SubStyle;
    switch (Settings.Style) {
        case 1: return entry(i);
        case 2:
        case 3:
            if (sub % 2 == 0) {
                --sub;
                if (!Settings.Dual) i = N - i + 1;
            }
            break;
        case 4: return sub == 2 || sub == 4 ? entry(N - i + 1) : entry(i);
        default: return {0, 0};
    }
    const int32_t v = i - 1;
    if (Settings.Style == 2) {
        switch (sub) {
            case 1: return {v / CC + 1, v % CC + 1};
            case 3: return {RR - v / CC, v % CC + 1};
            case 5: return {v % RR + 1, v / RR + 1};
            case 7: return {v % RR + 1, CC - v / RR};
            default: return {0, 0};
        }
    }
    if (sub == 1) {
        const int32_t row = v / CC + 1;
        return {row, (row & 1) ? v % CC + 1 : CC - v % CC};
    }
    if (sub == 3) {
        const int32_t col = v / RR + 1;
        return {(col & 1) ? v % RR + 1 : RR - v % RR, col};
    }
    return {0, 0};
}

win::RECT TBlockData::BlockRect(int32_t r, int32_t c) const {
    const long double bw = static_cast<long double>(Width) / CC;
    const long double bh = static_cast<long double>(Height) / RR;
    return MakeRect(c == 1 ? 0 : RoundEven(bw * (c - 1)), r == 1 ? 0 : RoundEven(bh * (r - 1)),
                    c == CC ? Width : RoundEven(bw * c), r == RR ? Height : RoundEven(bh * r));
}

win::RECT TBlockData::ChangedRect(int32_t r, int32_t c) const {
    win::RECT b = BlockRect(r, c);
    if (!Settings.Puzzle || OnePixel) return b;
    if ((r + c) & 1) {
        if (c > 1) b.left -= K;
        if (c < CC) b.right += K;
    } else {
        if (r > 1) b.top -= K;
        if (r < RR) b.bottom += K;
    }
    return b;
}

void TBlockData::RevealBlock(cl::TBitmap* Mask, int32_t r, int32_t c, bool Draw, bool Report, win::RECT& Update) {
    TTETransitionData* d = Data;
    const bool show = d->ShowFrames;
    if (OnePixel) {
        const int32_t x = c - 1, y = r - 1;
        if (x < 0 || y < 0 || x >= Width || y >= Height) return;
        if (Mask && (Draw || !show)) {
            auto* row = static_cast<uint8_t*>(Mask->ScanLine(y));
            row[x >> 3] = static_cast<uint8_t>(row[x >> 3] & ~(0x80u >> (x & 7)));
        }
        if (!show) {
            if (d->Canvas && d->DstImage) {
                if (d->PixelFormat >= cl::pf15bit && d->PixelFormat <= cl::pf32bit) {
                    d->Canvas->SetPixels(x, y, d->DstImage->GetCanvas()->Pixels(x, y));
                } else {
                    const cl::TRect px = cl::Rect(x, y, x + 1, y + 1);
                    d->Canvas->CopyRect(px, d->DstImage->GetCanvas(), px);
                }
            }
            return;
        }
        const win::RECT px = MakeRect(x, y, x + 1, y + 1);
        if (Settings.Style != 1) UniteRect(Update, px);
        if (Report && d->DirtyRects) d->DirtyRects->AddRect(px);
        return;
    }
    if (r < 1 || c < 1 || r > RR || c > CC) return;
    const win::RECT plain = BlockRect(r, c);
    if (!show) {
        if (Mask) {
            Mask->GetCanvas()->GetBrush()->SetColor(cl::clBlack);
            Mask->GetCanvas()->FillRect(plain);
        }
        if (d->Canvas && d->DstImage) d->Canvas->CopyRect(plain, d->DstImage->GetCanvas(), plain);
        return;
    }
    if (Draw && Mask) {
        cl::TCanvas* mc = Mask->GetCanvas();
        mc->GetBrush()->SetColor(cl::clBlack);
        if (Settings.Puzzle) {
            const bool lr = (r + c) & 1;
            const int32_t bw = plain.right - plain.left, bh = plain.bottom - plain.top;
            const int v = (bw > Width / CC ? 1 : 0) + (bh > Height / RR ? 2 : 0);
            cl::TBitmap* piece = Piece((lr ? 4 : 0) + v);
            const int32_t px = lr ? plain.left - K : plain.left;
            const int32_t py = lr ? plain.top : plain.top - K;
            win::BitBlt(mc->GetHandle(), px, py, piece->GetWidth(), piece->GetHeight(), piece->GetCanvas()->GetHandle(),
                        0, 0, win::SRCAND);
            // A socket on the picture's border has no neighbour to fill it.
            if (lr) {
                if (r == 1) mc->FillRect(cl::Rect(plain.left, plain.top, plain.right, plain.top + K));
                if (r == RR) mc->FillRect(cl::Rect(plain.left, plain.bottom - K, plain.right, plain.bottom));
            } else {
                if (c == 1) mc->FillRect(cl::Rect(plain.left, plain.top, plain.left + K, plain.bottom));
                if (c == CC) mc->FillRect(cl::Rect(plain.right - K, plain.top, plain.right, plain.bottom));
            }
        } else {
            mc->FillRect(plain);
        }
    }
    const win::RECT changed = ChangedRect(r, c);
    if (Settings.Style != 1) UniteRect(Update, changed);
    if (Report && d->DirtyRects) d->DirtyRects->AddRect(changed);
}

void TBlockData::DrawFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, int32_t Step) {
    TTETransitionData* d = Data;
    if (Settings.Style == 1) {
        d->UpdateRect = MakeRect(0, 0, d->Width, d->Height);
    } else {
        d->UpdateRect = MakeRect(0, 0, 0, 0);
        if (Settings.Dual) {
            Frame *= 2;
            Step *= 2;
        }
    }
    const bool report = Report && Step <= 650;
    const int32_t N = BlockCount();
    win::RECT update = d->UpdateRect;
    for (int32_t i = std::max(1, Frame - Step + 1); i <= std::min(Frame, N); ++i) {
        auto [r, c] = BlockAt(i);
        RevealBlock(Mask, r, c, Draw, report, update);
    }
    d->UpdateRect = update;
}

TBlockTransition::TBlockTransition(cl::TComponent* AOwner) : TMaskedTransition(AOwner) {
    FStyleCount = 4;
    FExtraInfo = tetiUseDirtyRects | tetiThreadSafe;
}

void TBlockTransition::SetBlockWidth(int32_t Value) {
    if (Value == FBlockWidth) return;
    FBlockWidth = std::max(Value, 1);
    FCols = 0;
}

void TBlockTransition::SetBlockHeight(int32_t Value) {
    if (Value == FBlockHeight) return;
    FBlockHeight = std::max(Value, 1);
    FRows = 0;
}

void TBlockTransition::SetCols(int32_t Value) {
    if (Value == FCols) return;
    FCols = std::max(Value, 1);
    FBlockWidth = 0;
}

void TBlockTransition::SetRows(int32_t Value) {
    if (Value == FRows) return;
    FRows = std::max(Value, 1);
    FBlockHeight = 0;
}

void TBlockTransition::Assign(cl::TPersistent* Source) {
    TMaskedTransition::Assign(Source);
    if (!Source || !Source->Is<TBlockTransition>()) return;
    auto* s = static_cast<TBlockTransition*>(Source);
    FPuzzle = s->FPuzzle;
    FDual = s->FDual;
    if (s->FRows != 0)
        SetRows(s->FRows);
    else
        SetBlockHeight(s->FBlockHeight);
    if (s->FCols != 0)
        SetCols(s->FCols);
    else
        SetBlockWidth(s->FBlockWidth);
}

void TBlockTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TBlockSettings s;
    s.Style = EffectiveStyle();
    s.SubStyle = EffectiveSubStyle();
    s.BlockWidth = FBlockWidth;
    s.BlockHeight = FBlockHeight;
    s.Cols = FCols;
    s.Rows = FRows;
    s.Puzzle = FPuzzle;
    s.Dual = FDual;
    auto block = std::make_unique<TBlockData>(Data);
    block->Setup(s, Data->Width, Data->Height);
    Data->Custom = std::move(block);
    TMaskedTransition::Initialize(Data, Frames);
}

void TBlockTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step,
                                    int32_t LastExecutedFrame) {
    Data->ShowFrames = FPuzzle || Step > 100 || (Data->Device && Data->Device->Threaded);
    TMaskedTransition::ExecuteFrame(Data, CurrentFrame, Step, LastExecutedFrame);
    cl::TBitmap* mask = MaskBitmap();
    if (!Data->ShowFrames || !mask) return;
    // No block is copied twice: the frame's areas of the mask become white again.
    const win::HDC dc = mask->GetCanvas()->GetHandle();
    const auto white = static_cast<win::HBRUSH>(win::GetStockObject(win::WHITE_BRUSH));
    if (Data->DirtyRects && Data->DirtyRects->Count() >= 2)
        for (const win::RECT& r : Data->DirtyRects->Rects) win::FillRect(dc, &r, white);
    else
        win::FillRect(dc, &Data->UpdateRect, white);
}

uint16_t TBlockTransition::ReversedSubStyle(uint16_t AStyle, uint16_t ASubStyle) {
    return static_cast<uint16_t>(BlockReversedSubStyle(AStyle, ASubStyle));
}

int32_t TBlockTransition::CalcFrameCount(TTETransitionData* Data) {
    auto* block = dynamic_cast<TBlockData*>(Data->Custom.get());
    return block ? block->FrameCount() : 0;
}

void TBlockTransition::DrawMaskFrame(cl::TBitmap* Mask, int32_t Frame, bool Report, bool Draw, TTETransitionData* Data,
                                     int32_t, int32_t Step) {
    if (auto* block = dynamic_cast<TBlockData*>(Data->Custom.get())) block->DrawFrame(Mask, Frame, Report, Draw, Step);
}

void TBlockTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TMaskedTransition::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "BlockHeight");
    if (!v.empty()) SetBlockHeight(cl::StrToInt(v));
    v = Strings->Values(Prefix + "BlockWidth");
    if (!v.empty()) SetBlockWidth(cl::StrToInt(v));
    v = Strings->Values(Prefix + "Cols");
    if (!v.empty()) SetCols(cl::StrToInt(v));
    v = Strings->Values(Prefix + "Dual");
    if (!v.empty()) FDual = cl::SameText(v, "True");
    v = Strings->Values(Prefix + "Puzzle");
    if (!v.empty()) FPuzzle = cl::SameText(v, "True");
    v = Strings->Values(Prefix + "Rows");
    if (!v.empty()) SetRows(cl::StrToInt(v));
}

void TBlockTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TMaskedTransition::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || !(FBlockHeight == 50 || FRows != 0))
        Strings->SetValue(Prefix + "BlockHeight", cl::IntToStr(FBlockHeight));
    if (!OmitDefaults || !(FBlockWidth == 50 || FCols != 0))
        Strings->SetValue(Prefix + "BlockWidth", cl::IntToStr(FBlockWidth));
    if (!OmitDefaults || !(FCols == 0 || FBlockWidth != 0)) Strings->SetValue(Prefix + "Cols", cl::IntToStr(FCols));
    if (!OmitDefaults || !(FRows == 0 || FBlockHeight != 0)) Strings->SetValue(Prefix + "Rows", cl::IntToStr(FRows));
    if (!OmitDefaults || FDual) Strings->SetValue(Prefix + "Dual", FDual ? "True" : "False");
    if (!OmitDefaults || FPuzzle) Strings->SetValue(Prefix + "Puzzle", FPuzzle ? "True" : "False");
}

void StartUpteBlock() {
    static bool done = false;
    if (done) return;
    done = true;
    StartUpteMasked();
    cl::DeclarePublished(
        TBlockTransition::StaticClass(),
        {MaskedStylePropInfo(), MaskedSubStylePropInfo(), MaskedSmoothingLevelPropInfo(), ReversedPropInfo(),
         cl::OrdProp("BlockWidth", cl::tkInteger, "Integer", &TBlockTransition::GetBlockWidth,
                     &TBlockTransition::SetBlockWidth, 50),
         cl::OrdProp("BlockHeight", cl::tkInteger, "Integer", &TBlockTransition::GetBlockHeight,
                     &TBlockTransition::SetBlockHeight, 50),
         cl::OrdProp("Cols", cl::tkInteger, "Integer", &TBlockTransition::GetCols, &TBlockTransition::SetCols, 0),
         cl::OrdProp("Rows", cl::tkInteger, "Integer", &TBlockTransition::GetRows, &TBlockTransition::SetRows, 0),
         cl::BoolProp("Puzzle", &TBlockTransition::GetPuzzle, &TBlockTransition::SetPuzzle),
         cl::BoolProp("Dual", &TBlockTransition::GetDual, &TBlockTransition::SetDual)});
    RegisterTransitionClass(TBlockTransition::StaticClass());
}

}  // namespace te
