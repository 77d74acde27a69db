#include "transitions/tePage.h"

#include <algorithm>
#include <cmath>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/tePixelRows.h"
#include "transitions/teRender.h"

namespace te {

namespace {

using cl::BoolProp;

}  // namespace

namespace {

TTEEffectDirection Opposite(TTEEffectDirection d) {
    switch (d) {
        case tedRight: return tedLeft;
        case tedLeft: return tedRight;
        case tedDown: return tedUp;
        case tedUp: return tedDown;
        default: return d;
    }
}

win::RECT RealOf(TTEEffectDirection d, int W, int H, int l, int t, int r, int b) {
    win::RECT x;
    switch (d) {
        case tedRight: x = MakeRect(t, H - r, b, H - l); break;
        case tedLeft: x = MakeRect(W - b, H - r, W - t, H - l); break;
        case tedUp: x = MakeRect(W - r, H - b, W - l, H - t); break;
        default: x = MakeRect(l, t, r, b); break;
    }
    if (x.left > x.right) std::swap(x.left, x.right);
    if (x.top > x.bottom) std::swap(x.top, x.bottom);
    return x;
}

// The lines consumed up to the curl position reaching c: (page lines, curl lines).
void CurlAt(const std::vector<uint16_t>& cum, int lines, int sourceLines, int c, int& s, int& n) {
    if (c <= 0) {
        s = n = 0;
    } else if (c >= sourceLines) {
        s = sourceLines;
        n = lines;
    } else {
        n = static_cast<int>(std::lower_bound(cum.begin(), cum.begin() + lines + 1, c) - cum.begin());
        s = cum[static_cast<size_t>(n)];
    }
}

}  // namespace

win::RECT TTERect::Real() const { return RealOf(Owner->Direction, W, H, Left, Top, Right, Bottom); }

TTERect* TTERects::Add(int W, int H, int Left, int Top, int Right, int Bottom) {
    Rects.push_back(std::make_unique<TTERect>(this, W, H, Left, Top, Right, Bottom));
    return Rects.back().get();
}

TPageCurl BuildPageCurl(int R) {
    TPageCurl curl;
    if (R <= 0) return curl;
    const size_t size = static_cast<size_t>(2 * R);
    curl.Compress.assign(size, 0);
    curl.Shade.assign(size, 0);
    const int n = R - 1;
    std::vector<int> ramp(static_cast<size_t>(R));
    for (int k = 0; k <= n; ++k) ramp[static_cast<size_t>(k)] = static_cast<int>(std::nearbyint(200.0 / R * (k + 1)));
    auto plot = [&](int X, int Y) {
        auto& shade = curl.Shade[static_cast<size_t>(X)];
        if (shade == 0) {
            ++curl.Lines;
        } else {
            ++curl.Compress[static_cast<size_t>(X)];
        }
        shade = static_cast<uint8_t>(ramp[static_cast<size_t>(Y)]);
        ++curl.SourceLines;
    };
    auto step = [&](int x, int y) {
        plot(x, n - y);
        if (x != y) plot(y, n - x);
    };
    int x = 0, y = n, d = 3 - 2 * n;
    while (x < y) {
        step(x, y);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
    if (x == y) step(x, y);
    // Smoothing of the flat start: runs of at least three flat lines of slowly rising shade
    // become a ramp of two lines per shade step.
    int b = 0, pos = 0;
    while (pos < curl.Lines) {
        if (curl.Shade[static_cast<size_t>(pos)] > 253) break;
        int len = 0;
        while (pos + len < curl.Lines && curl.Compress[static_cast<size_t>(pos + len)] == 0 &&
               curl.Shade[static_cast<size_t>(pos + len)] <= b + 1)
            ++len;
        if (len < 3) break;
        ++b;
        pos += len;
    }
    if (b > 0) {
        int j = 0;
        while (j < curl.Lines && curl.Compress[static_cast<size_t>(j)] == 0 && curl.Shade[static_cast<size_t>(j)] <= b)
            ++j;
        if (j > 0) {
            std::vector<uint8_t> comp, shade;
            for (int i = 1; i <= b; ++i) {
                comp.insert(comp.end(), 2, 0);
                shade.insert(shade.end(), 2, static_cast<uint8_t>(i));
            }
            for (int i = j; i < curl.Lines; ++i) {
                comp.push_back(curl.Compress[static_cast<size_t>(i)]);
                shade.push_back(curl.Shade[static_cast<size_t>(i)]);
            }
            curl.Lines += 2 * b - j;
            curl.SourceLines += 2 * b - j;
            comp.resize(std::max(size, comp.size()), 0);
            shade.resize(std::max(size, shade.size()), 0);
            curl.Compress = std::move(comp);
            curl.Shade = std::move(shade);
        }
    }
    return curl;
}

TPageData::~TPageData() {
    for (auto* b : {Mirror.get(), FrontBand.get(), BackBand.get()})
        if (b) b->GetCanvas()->Unlock();
}

TPageTransition::TPageTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {
    AllowedDirections = DirectionBit(tedRight) | DirectionBit(tedLeft) | DirectionBit(tedDown) | DirectionBit(tedUp) |
                        DirectionBit(tedRandom);
    FDirection = tedLeft;
}

bool TPageTransition::Use3DActive(TTETransitionDevice* ADevice) const {
    if (!MMXAvailable || !Use3D || !ADevice) return false;
    uint8_t pf = ADevice->GetPixelFormat();
    return pf >= cl::pf15bit && pf <= cl::pf32bit;
}

void TPageTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TPageTransition>()) {
        auto* s = static_cast<TPageTransition*>(Source);
        Use3D = s->Use3D;
        Size = s->Size;
        Uncover = s->Uncover;
    }
}

uint8_t TPageTransition::GetPixelFormat(TTETransitionDevice* ADevice) {
    if (Size != 0 && Use3DActive(ADevice)) return cl::pf32bit;
    return ADevice->GetPixelFormat();
}

void TPageTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    const int W = Data->Width, H = Data->Height;
    auto pd = std::make_unique<TPageData>(Data);
    const bool uncover = IsUncovering();
    pd->MapDirection = uncover ? EffectiveDirection() : Opposite(EffectiveDirection());
    const bool horizontal = pd->MapDirection == tedRight || pd->MapDirection == tedLeft;
    pd->L = horizontal ? W : H;
    pd->A = horizontal ? H : W;
    pd->R = Use3DActive(Data->Device) ? std::min<int>(pd->L / 3, Size) : 0;
    pd->Curl = BuildPageCurl(pd->R);
    const int lines = pd->Curl.Lines;
    pd->RevCompress.assign(static_cast<size_t>(lines), 0);
    pd->RevShade.assign(static_cast<size_t>(lines), 0);
    pd->Cum.assign(static_cast<size_t>(lines + 1), 0);
    pd->RevCum.assign(static_cast<size_t>(lines + 1), 0);
    for (int k = 0; k < lines; ++k) {
        pd->RevCompress[static_cast<size_t>(k)] = pd->Curl.Compress[static_cast<size_t>(lines - 1 - k)];
        pd->RevShade[static_cast<size_t>(k)] = pd->Curl.Shade[static_cast<size_t>(lines - 1 - k)];
        pd->Cum[static_cast<size_t>(k + 1)] =
            static_cast<uint16_t>(pd->Cum[static_cast<size_t>(k)] + pd->Curl.Compress[static_cast<size_t>(k)] + 1);
        pd->RevCum[static_cast<size_t>(k + 1)] =
            static_cast<uint16_t>(pd->RevCum[static_cast<size_t>(k)] + pd->RevCompress[static_cast<size_t>(k)] + 1);
    }
    pd->Page = uncover ? Data->SrcImage : Data->DstImage;
    if (!pd->Page || !Data->DstImage) throw ETransitionEffectError("Page: the pictures of the pass are missing");
    pd->Mirror = std::make_unique<cl::TBitmap>();
    pd->Mirror->GetCanvas()->Lock();
    AdjustBitmapFormat(pd->Mirror.get(), nullptr, W, H, cl::pf32bit);
    win::HDC mdc = pd->Mirror->GetCanvas()->GetHandle();
    int oldMode = win::SetStretchBltMode(mdc, win::COLORONCOLOR);
    if (horizontal)
        win::StretchBlt(mdc, W, 0, -W, H, pd->Page->GetCanvas()->GetHandle(), 0, 0, W, H, win::SRCCOPY);
    else
        win::StretchBlt(mdc, 0, H, W, -H, pd->Page->GetCanvas()->GetHandle(), 0, 0, W, H, win::SRCCOPY);
    win::SetStretchBltMode(mdc, oldMode);
    if (lines > 0) {
        for (auto* band : {&pd->FrontBand, &pd->BackBand}) {
            *band = std::make_unique<cl::TBitmap>();
            (*band)->GetCanvas()->Lock();
            AdjustBitmapFormat(band->get(), nullptr, horizontal ? lines : W, horizontal ? H : lines, cl::pf32bit);
        }
    }
    if (Data->Bitmap)
        pd->CanScroll = true;
    else
        pd->CanScroll = !(Data->Device && (Data->Device->NoDirectPaint() || Data->Device->IsObscured()));
    pd->Rects = std::make_unique<TTERects>(pd->MapDirection);
    pd->PrevStrip = uncover ? 0 : pd->L;
    Frames = lines > 0 ? pd->L + lines - 1 : pd->L - 1;
    Data->Custom = std::move(pd);
}

void TPageTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    auto* pd = static_cast<TPageData*>(Data->Custom.get());
    if (!pd) return;
    const int W = Data->Width, H = Data->Height, L = pd->L, A = pd->A;
    const int lines = pd->Curl.Lines, SL = pd->Curl.SourceLines;
    const bool uncover = IsUncovering();
    const TTEEffectDirection md = pd->MapDirection;
    const bool horizontal = md == tedRight || md == tedLeft;
    cl::TCanvas* canvas = Data->Bitmap ? Data->Bitmap->GetCanvas() : Data->Canvas;
    if (!canvas) return;
    win::HDC dc = canvas->GetHandle();
    win::HDC mirror = pd->Mirror->GetCanvas()->GetHandle();
    const win::RECT area = MakeRect(0, 0, W, H);
    // The rectangles of this frame, kept in the direction-free frame with their real places.
    pd->Rects->Clear();
    auto real = [&](int s, int e) { return pd->Rects->Add(W, H, 0, s, A, e)->Real(); };
    auto unite = [&](const win::RECT& r) {
        win::RECT c;
        if (IntersectRects(c, r, area)) UniteRect(Data->UpdateRect, c);
    };
    auto clipSpan = [&](int& s, int& e) {
        s = std::max(s, 0);
        e = std::min(e, L);
        return s < e;
    };

    // 1-4: fold, curls, bands and the flat turned part.
    const int c = uncover ? CurrentFrame : Data->Frames - CurrentFrame + 1;
    int sf, nf, sb, nb;
    CurlAt(pd->Cum, lines, SL, c, sf, nf);
    CurlAt(pd->RevCum, lines, SL, c - SL, sb, nb);
    const int backStart = c - nf, backEnd = c - nf + nb;
    const int frontStart = backEnd, frontEnd = c;
    const bool hasFlat = backEnd == c;
    const int flatStart = c, flatEnd = hasFlat ? c + c - 2 * SL : c;
    const int flatLen = flatEnd - flatStart;

    // 5 and 7: the flat turned part, scrolled on from the previous frame where possible.
    // Position Y shows page line 2c - sf - sb - 1 - Y, which the mirrored page holds at
    // position Y + L - 2c + sf + sb.
    const int mirrorShift = L - 2 * c + sf + sb;
    auto drawFlat = [&](int s, int e) {
        if (!clipSpan(s, e)) return;
        win::RECT to = real(s, e), from = real(s + mirrorShift, e + mirrorShift);
        win::BitBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, mirror, from.left, from.top,
                    win::SRCCOPY);
    };
    if (flatLen > 0) {
        int cs = flatStart, ce = flatEnd, ps = pd->PrevFlatStart, pe = pd->PrevFlatEnd;
        bool nowVisible = clipSpan(cs, ce);
        bool prevVisible = pd->HadFlat && clipSpan(ps, pe);
        if (pd->CanScroll && nowVisible && prevVisible) {
            const int d = flatEnd - pd->PrevFlatEnd;
            int dx = 0, dy = 0;
            switch (md) {
                case tedRight: dx = d; break;
                case tedLeft: dx = -d; break;
                case tedDown: dy = d; break;
                default: dy = -d; break;
            }
            win::RECT scroll = real(ps, pe);
            // Scrolled lines may only land on the new flat part: never behind the fold.
            win::RECT clip;
            IntersectRects(clip, real(cs, ce), area);
            if (dx || dy) win::ScrollDC(dc, dx, dy, &scroll, &clip, nullptr, nullptr);
            if (d >= 0) {
                drawFlat(flatStart, flatStart + std::min(d, flatLen));
            } else {
                // Lines the scroll could not bring: their old place lay beyond the area.
                drawFlat(std::max(flatStart, pe + d), flatEnd);
            }
        } else {
            drawFlat(flatStart, flatEnd);
        }
        unite(real(flatStart, flatEnd));
    }
    pd->HadFlat = flatLen > 0;
    pd->PrevFlatStart = flatStart;
    pd->PrevFlatEnd = flatEnd;

    // 8: the strip uncovered or laid down since the previous frame, from the new picture.
    win::HDC dst = Data->DstImage->GetCanvas()->GetHandle();
    auto copyNew = [&](int s, int e) {
        if (!clipSpan(s, e)) return;
        win::RECT r = real(s, e);
        win::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, dst, r.left, r.top, win::SRCCOPY);
        unite(r);
    };
    if (uncover) {
        copyNew(pd->PrevStrip, c - nf);
        pd->PrevStrip = std::max(pd->PrevStrip, c - nf);
    } else {
        const int end = hasFlat ? flatEnd : frontEnd;
        copyNew(end, pd->PrevStrip);
        pd->PrevStrip = std::min(pd->PrevStrip, end);
    }

    // 6: the bands, page lines with their shade.
    auto drawBand = [&](cl::TBitmap* band, int s, int e, bool front) {
        int cs = s, ce = e;
        if (!band || !clipSpan(cs, ce)) return;
        win::RECT r = real(cs, ce);
        const TTERowView mirrorRows(pd->Mirror.get()), bandRows(band);
        for (int p = cs; p < ce; ++p) {
            int line, shade;
            if (front) {
                const int k = c - 1 - p;
                line = c - 1 - pd->Cum[static_cast<size_t>(k)];
                shade = std::min<int>(pd->Curl.Shade[static_cast<size_t>(k)], 50);
            } else {
                const int j = p - s;
                line = sb + flatLen - 1 - pd->RevCum[static_cast<size_t>(j)];
                shade = pd->Curl.Shade[static_cast<size_t>(lines - 1 - j)];
            }
            if (line < 0 || line >= L) continue;
            // Page line `line` lies at mirrored position L - 1 - line.
            const int m = L - 1 - line;
            const int mreal = md == tedRight || md == tedDown ? m : (horizontal ? W : H) - 1 - m;
            const int preal = md == tedRight || md == tedDown ? p : (horizontal ? W : H) - 1 - p;
            for (int a = 0; a < A; ++a) {
                const uint8_t* sp;
                uint8_t* dp;
                if (horizontal) {
                    sp = mirrorRows[a] + mreal * 4;
                    dp = bandRows[a] + (preal - r.left) * 4;
                } else {
                    sp = mirrorRows[mreal] + a * 4;
                    dp = bandRows[preal - r.top] + a * 4;
                }
                for (int i = 0; i < 3; ++i)
                    dp[i] = static_cast<uint8_t>(front ? std::min(sp[i] + shade, 255) : std::max(sp[i] - shade, 0));
            }
        }
        win::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, band->GetCanvas()->GetHandle(), 0, 0,
                    win::SRCCOPY);
        unite(r);
    };
    if (frontEnd > frontStart) drawBand(pd->FrontBand.get(), frontStart, frontEnd, true);
    if (backEnd > backStart) drawBand(pd->BackBand.get(), backStart, backEnd, false);
}

uint16_t TPageTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | tetiMillisecondsCapable |
                                 tetiOffScreenBmpCapable | tetiThreadSafe);
}

void TPageTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "Size");
    if (!v.empty()) Size = static_cast<uint8_t>(cl::StrToInt(v));
    v = Strings->Values(Prefix + "Uncover");
    if (!v.empty()) Uncover = cl::SameText(v, "True");
    v = Strings->Values(Prefix + "Use3D");
    if (!v.empty()) Use3D = cl::SameText(v, "True");
}

void TPageTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || Size != 150) Strings->SetValue(Prefix + "Size", cl::IntToStr(Size));
    if (!OmitDefaults || !Uncover) Strings->SetValue(Prefix + "Uncover", Uncover ? "True" : "False");
    if (!OmitDefaults || !Use3D) Strings->SetValue(Prefix + "Use3D", Use3D ? "True" : "False");
}

void StartUptePage() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(
            TPageTransition::StaticClass(),
            {DirectionPropInfo(tedLeft), PassSettingPropInfo(), Pass2OptionsPropInfo(), ReversedPropInfo(),
             cl::OrdProp("Size", cl::tkInteger, "Byte", &TPageTransition::GetSize, &TPageTransition::SetSize, 150),
             BoolProp("Uncover", &TPageTransition::GetUncover, &TPageTransition::SetUncover, true),
             BoolProp("Use3D", &TPageTransition::GetUse3D, &TPageTransition::SetUse3D, true)});
    }
    RegisterTransitionClass(TPageTransition::StaticClass());
}

}  // namespace te
