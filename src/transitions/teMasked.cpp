#include "transitions/teMasked.h"

#include <algorithm>
#include <utility>

#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teRender.h"

namespace te {

namespace {

constexpr int kSmoothSteps[8] = {0, 31, 16, 8, 4, 3, 2, 1};

bool IsSmoothFormat(uint8_t pf) {
    return pf == cl::pf15bit || pf == cl::pf16bit || pf == cl::pf24bit || pf == cl::pf32bit;
}

const win::RECT kEmpty{0, 0, 0, 0};

cl::TBitmap* NewSmoothMask(int w, int h, int areaW, int areaH) {
    auto* b = new cl::TBitmap();
    b->GetCanvas()->Lock();
    win::HPALETTE gray = CreateGrayPalette();
    AdjustBitmapFormat(b, gray, w, h, cl::pf8bit);
    win::DeleteObject(gray);
    cl::TCanvas* c = b->GetCanvas();
    c->GetPen()->SetColor(0x02FFFFFF);
    c->GetBrush()->SetColor(0x02FFFFFF);
    c->FillRect(cl::Rect(0, 0, areaW, areaH));
    return b;
}

cl::TBitmap* NewBitMask(int w, int h, int areaW, int areaH) {
    auto* b = new cl::TBitmap();
    b->GetCanvas()->Lock();
    AdjustBitmapFormat(b, nullptr, w, h, cl::pf1bit);
    cl::TCanvas* c = b->GetCanvas();
    c->GetPen()->SetColor(cl::clBlack);
    c->GetBrush()->SetColor(cl::clBlack);
    const win::RECT r{0, 0, areaW, areaH};
    win::FillRect(c->GetHandle(), &r, static_cast<win::HBRUSH>(win::GetStockObject(win::WHITE_BRUSH)));
    return b;
}

void FreeLocked(cl::TBitmap*& b) {
    if (!b) return;
    b->GetCanvas()->Unlock();
    delete b;
    b = nullptr;
}

win::RECT Intersect(const win::RECT& a, const win::RECT& b) {
    win::RECT r;
    IntersectRects(r, a, b);
    return r;
}

}  // namespace

TMaskedTransition::TMaskedTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {}

TMaskedTransition::~TMaskedTransition() {
    FreeMasks();
    ReleaseMaskRoutine(FSmoothRoutine);
}

void TMaskedTransition::SmoothingParams(int Level, int& Step, int& BandFrames, int& Top, int& Bottom) {
    Level = std::clamp(Level, 1, 7);
    Step = kSmoothSteps[Level];
    BandFrames = 255 / Step;
    const int span = (BandFrames - 1) * Step + 1;
    Top = 254 - (255 - span) / 2;
    Bottom = Top - (BandFrames - 1) * Step;
}

void TMaskedTransition::SetStyle(uint16_t Value) {
    if (Value == FStyle || Value > FStyleCount) return;
    FStyle = Value;
    SetSubStyle(Value > 0 ? 1 : 0);
}

void TMaskedTransition::SetSubStyle(uint16_t Value) {
    if (Value == FSubStyle || Value > SubStyleCount(FStyle)) return;
    FSubStyle = Value;
}

void TMaskedTransition::SetSmoothingLevel(uint16_t Value) {
    if (Value <= 7) FSmoothingLevel = Value;
}

uint16_t TMaskedTransition::EffectiveStyle() {
    if (FStyle != 0) return FStyle;
    if (FRandomStyle == 0) FRandomStyle = static_cast<uint16_t>(cl::Random(FStyleCount) + 1);
    return FRandomStyle;
}

uint16_t TMaskedTransition::EffectiveSubStyle() {
    uint16_t result = FSubStyle;
    if (result == 0) {
        if (FRandomSubStyle == 0)
            FRandomSubStyle = static_cast<uint16_t>(cl::Random(SubStyleCount(EffectiveStyle())) + 1);
        result = FRandomSubStyle;
    }
    if (Reversed) result = ReversedSubStyle(EffectiveStyle(), result);
    return result;
}

bool TMaskedTransition::SmoothingActive(TTETransitionDevice* ADevice) {
    return ADevice && MMXAvailable && FSmoothingLevel > 0 && IsSmoothFormat(ADevice->GetPixelFormat());
}

void TMaskedTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TMaskedTransition>()) {
        auto* s = static_cast<TMaskedTransition*>(Source);
        SetStyle(s->FStyle);
        SetSubStyle(s->FSubStyle);
        SetSmoothingLevel(s->FSmoothingLevel);
    }
}

int TMaskedTransition::GetBitmapsWidth(TTETransitionData* Data) {
    const int a = SmoothingActive(Data->Device) ? 8 : 32;
    return (Data->Width + a - 1) / a * a;
}

uint8_t TMaskedTransition::GetPixelFormat(TTETransitionDevice* ADevice) {
    uint8_t pf = TTimedTransitionEffect::GetPixelFormat(ADevice);
    if (pf != cl::pf32bit && SmoothingActive(ADevice)) pf = cl::pf32bit;
    return pf;
}

uint16_t TMaskedTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | 0x35 | FExtraInfo);
}

void TMaskedTransition::FreeMasks() {
    FreeLocked(FMask);
    FreeLocked(FAccumMask);
    FreeLocked(FSmoothMask);
    FreeLocked(FSmoothMask2);
}

void TMaskedTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    FreeMasks();
    ReleaseMaskRoutine(FSmoothRoutine);
    FSmoothing = SmoothingActive(Data->Device);
    Frames = CalcFrameCount(Data);
    const int w = GetBitmapsWidth(Data), h = Data->Height;
    if (FSmoothing) {
        SmoothingParams(FSmoothingLevel, FStep, FBandFrames, FTop, FBottom);
        Frames += FBandFrames - 1;
        FSmoothMask = NewSmoothMask(w, h, Data->Width, Data->Height);
        if (AccumulatesSmoothMask()) FSmoothMask2 = NewSmoothMask(w, h, Data->Width, Data->Height);
        FSmoothRoutine = CreateSmoothBlendRoutine();
        if (!AccumulatesSmoothMask() && Data->DirtyRects) Data->DirtyRects->AutoClear = false;
    } else {
        FMask = NewBitMask(w, h, Data->Width, Data->Height);
        if (AccumulatesMask()) FAccumMask = NewBitMask(w, h, Data->Width, Data->Height);
    }
    if ((FExtraInfo & tetiUseDirtyRects) && Data->DirtyRects) {
        Data->DirtyRects->Clip = true;
        Data->DirtyRects->ClipRect = MakeRect(0, 0, Data->Width, Data->Height);
    }
}

void TMaskedTransition::Finalize(TTETransitionData* Data) {
    ReleaseMaskRoutine(FSmoothRoutine);
    FreeMasks();
    if (Data->PassCount == 1 || Data->Pass == 2) {
        FRandomStyle = 0;
        FRandomSubStyle = 0;
    }
    TTimedTransitionEffect::Finalize(Data);
}

void TMaskedTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step,
                                     int32_t LastExecutedFrame) {
    if (FSmoothing)
        SmoothFrame(Data, CurrentFrame, Step, LastExecutedFrame);
    else
        MaskFrame(Data, CurrentFrame, true, true, false, FAccumMask, FMask, LastExecutedFrame, Step);
}

template <class F>
void TMaskedTransition::ForEachArea(TTETransitionData* Data, const win::RECT& Inner, const win::RECT& Outer, F&& f) {
    if (Data->DirtyRects && Data->DirtyRects->Count() >= 2) {
        for (win::RECT& r : Data->DirtyRects->Rects) f(kEmpty, r);
    } else {
        win::RECT outer = Outer;
        f(Inner, outer);
    }
}

void TMaskedTransition::MaskFrame(TTETransitionData* Data, int32_t Frame, bool Report, bool Draw, bool DrawOnly,
                                  cl::TBitmap* Accum, cl::TBitmap* Mask, int32_t PrevFrame, int32_t Step) {
    if (!Mask) return;
    const win::RECT area{0, 0, Data->Width, Data->Height};
    if (Data->ShowFrames) {
        Data->UpdateRect = area;
        Data->UnUpdateRect = kEmpty;
        DrawMaskFrame(Mask, Frame, Report, Draw, Data, PrevFrame, Step);
        Data->UpdateRect = Intersect(Data->UpdateRect, area);
        Data->UnUpdateRect = Intersect(Data->UnUpdateRect, Data->UpdateRect);
        if (!DrawOnly) {
            if (InvertsMask()) InvertBitMaskBitmap(Mask);
            const auto pf = static_cast<cl::TPixelFormat>(Data->PixelFormat);
            if (AccumulatesMask() && Accum)
                ForEachArea(Data, Data->UnUpdateRect, Data->UpdateRect,
                            [&](const win::RECT& in, win::RECT& out) { MergeBitMasks(Mask, Accum, in, out); });
            if (Data->Bitmap && Data->DstImage) {
                if (Data->DirtyRects && Data->DirtyRects->Count() >= 2 && !AccumulatesMask()) {
                    // Copying a pixel through the mask twice changes nothing: the union of
                    // the rectangles (widened to whole mask bytes, as the plan widens each)
                    // is copied once.
                    FCover = Data->DirtyRects->Rects;
                    for (win::RECT& r : FCover) {
                        win::RECT inner = kEmpty;
                        PlanMaskArea(Mask->GetWidth(), 0, 8, true, inner, r);
                    }
                    DisjointRects(FCover.data(), static_cast<int>(FCover.size()), FCoverOut);
                    for (const win::RECT& r : FCoverOut)
                        CopyThroughBitMask(Data->Bitmap, Data->DstImage, Mask, kEmpty, r, pf);
                } else {
                    ForEachArea(Data, Data->UnUpdateRect, Data->UpdateRect, [&](const win::RECT& in, win::RECT& out) {
                        CopyThroughBitMask(Data->Bitmap, Data->DstImage, Mask, in, out, pf);
                    });
                }
            }
        }
    } else {
        DrawMaskFrame(Mask, Frame, Report, Draw, Data, PrevFrame, Step);
    }
    if (!DrawOnly && ClearsMaskAfterFrame(Data->Device)) {
        const win::RECT r = Data->UpdateRect;
        win::FillRect(Mask->GetCanvas()->GetHandle(), &r,
                      static_cast<win::HBRUSH>(win::GetStockObject(win::WHITE_BRUSH)));
    }
}

void TMaskedTransition::DrawGrey(TTETransitionData* Data, int32_t Frame, int Grey) {
    cl::TCanvas* c = FSmoothMask->GetCanvas();
    const cl::TColor color = static_cast<cl::TColor>(0x02000000 | (Grey * 0x010101));
    c->GetPen()->SetColor(color);
    c->GetBrush()->SetColor(color);
    MaskFrame(Data, Frame, false, true, true, nullptr, FSmoothMask, Frame - 1, 1);
}

void TMaskedTransition::SmoothFrame(TTETransitionData* Data, int32_t Cur, int32_t Step, int32_t Prev) {
    const int s = FStep, n = FBandFrames, T = FTop, B = FBottom, F = Data->Frames;
    const bool accum = AccumulatesSmoothMask();
    const bool inverts = InvertsMask();
    const int dec = Prev == 0 ? 0 : std::min(Step * s, T);
    int newest = T;
    if (Cur > F + 1) newest -= (Cur - (F + 1)) * s;
    int oldest = newest - (Step - 1) * s;
    int lost;
    if (oldest < B) {
        oldest = B;
        lost = Step - (newest - B) / s - 1;
    } else {
        lost = 0;
        oldest = std::min(oldest, newest);
    }
    int last = (newest - T) / s + Cur;
    if (last > F + 1) last = F;
    const int first = std::max(Prev - n, 0);
    auto frameOf = [&](int g) { return (g - T) / s + Cur; };

    // Age what earlier frames revealed.
    if (dec > 0 && !accum) {
        ForEachArea(Data, Data->PrevUnUpdateRect, Data->PrevUpdateRect,
                    [&](const win::RECT& in, win::RECT& out) { AgeSmoothMask(FSmoothMask, in, out, dec == n, dec); });
    }
    if (Data->DirtyRects) Data->DirtyRects->Clear();

    int dir = s;
    if (accum) {
        std::swap(FSmoothMask, FSmoothMask2);
        if (inverts) DrawGrey(Data, frameOf(newest) + 1, 255);
        std::swap(newest, oldest);
        dir = -s;
    } else if (lost > 0) {
        if (inverts) {
            cl::TCanvas* c = FSmoothMask->GetCanvas();
            c->GetBrush()->SetColor(0x02000000);
            c->FillRect(Data->PrevUpdateRect);
        } else {
            for (int f = first + 1; f <= first + lost; ++f) DrawGrey(Data, f, 0);
        }
    }
    if (dir > 0) {
        for (int g = oldest; g <= newest; g += dir) DrawGrey(Data, frameOf(g), g);
    } else {
        for (int g = oldest; g >= newest; g += dir) DrawGrey(Data, frameOf(g), g);
    }
    if (!accum && inverts && F > Cur)
        DrawGrey(Data, frameOf(newest) + 1, 255);
    else if (lost > 0 && !inverts)
        for (int f = Prev + 1; f <= Prev + lost; ++f) DrawGrey(Data, f, 0);

    // The update area: every area still changing.
    MaskFrame(Data, last, true, false, true, nullptr, FSmoothMask, first, last - first);

    if (accum && dec > 0) {
        ForEachArea(Data, Data->UnUpdateRect, Data->UpdateRect, [&](const win::RECT& in, win::RECT& out) {
            AgeSmoothMaskFrom(FSmoothMask, FSmoothMask2, in, out, dec == n, dec);
        });
    }
    if (!Data->Bitmap || !Data->DstImage || !Data->SrcImage) return;
    if (Data->DirtyRects && Data->DirtyRects->Count() >= 2) {
        // The plan's widened areas are what the frame changed; they go back into the list.
        for (win::RECT& r : Data->DirtyRects->Rects) {
            win::RECT inner = kEmpty;
            PlanMaskArea(FSmoothMask->GetWidth(), 0, 8, false, inner, r);
        }
        // A pixel's blend depends only on the two pictures and its mask value, so the union
        // of the rectangles, however much they overlap, is blended once.
        DisjointRects(Data->DirtyRects->Rects.data(), Data->DirtyRects->Count(), FCoverOut);
        for (const win::RECT& r : FCoverOut)
            RunSmoothBlend(FSmoothRoutine, Data->Bitmap, Data->DstImage, kEmpty, r, FSmoothMask, Data->SrcImage);
        return;
    }
    ForEachArea(Data, Data->UnUpdateRect, Data->UpdateRect, [&](const win::RECT& in, win::RECT& out) {
        // The plan's widened area is what the frame changed.
        win::RECT inner = in;
        PlanMaskArea(FSmoothMask->GetWidth(), 0, 8, false, inner, out);
        RunSmoothBlend(FSmoothRoutine, Data->Bitmap, Data->DstImage, in, out, FSmoothMask, Data->SrcImage);
    });
}

void TMaskedTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "Style");
    if (!v.empty()) SetStyle(static_cast<uint16_t>(cl::StrToInt(v)));
    v = Strings->Values(Prefix + "SubStyle");
    if (!v.empty()) SetSubStyle(static_cast<uint16_t>(cl::StrToInt(v)));
    v = Strings->Values(Prefix + "SmoothingLevel");
    if (!v.empty()) SetSmoothingLevel(static_cast<uint16_t>(cl::StrToInt(v)));
}

void TMaskedTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    const struct {
        const char* name;
        int value;
        int def;
    } keys[] = {{"Style", FStyle, 1}, {"SubStyle", FSubStyle, 1}, {"SmoothingLevel", FSmoothingLevel, 0}};
    for (const auto& k : keys) {
        if (!cl::IsPublishedProp(this, k.name)) continue;
        if (OmitDefaults && k.value == k.def) continue;
        Strings->SetValue(Prefix + k.name, cl::IntToStr(k.value));
    }
}

cl::TPropInfo MaskedStylePropInfo() {
    return cl::OrdProp("Style", cl::tkInteger, "Word", &TMaskedTransition::GetStyle, &TMaskedTransition::SetStyle, 1);
}
cl::TPropInfo MaskedSubStylePropInfo() {
    return cl::OrdProp("SubStyle", cl::tkInteger, "Word", &TMaskedTransition::GetSubStyle,
                       &TMaskedTransition::SetSubStyle, 1);
}
cl::TPropInfo MaskedSmoothingLevelPropInfo() {
    return cl::OrdProp("SmoothingLevel", cl::tkInteger, "Word", &TMaskedTransition::GetSmoothingLevel,
                       &TMaskedTransition::SetSmoothingLevel, 0);
}

void StartUpteMasked() {
    static bool declared = false;
    if (declared) return;
    declared = true;
    cl::DeclarePublished(TMaskedTransition::StaticClass(), {PassSettingPropInfo(), Pass2OptionsPropInfo()});
}

}  // namespace te
