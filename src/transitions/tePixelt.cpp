#include "transitions/tePixelt.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teFuse.h"
#include "transitions/teRender.h"

namespace te {

// ---- summed-area table -------------------------------------------------------------------------

void TSummedAreaTable::Build(cl::TBitmap* Picture, int AWidth, int AHeight, int AMargin) {
    Width = std::max(AWidth, 0);
    Height = std::max(AHeight, 0);
    Margin = std::max(AMargin, 0);
    const int tw = TableWidth(), th = TableHeight();
    FStride = tw * 3;
    FSums.assign(static_cast<size_t>(tw) * static_cast<size_t>(th) * 3, 0);
    if (tw == 0 || th == 0) return;
    // A 24-bit view of the picture.
    std::unique_ptr<cl::TBitmap> copy;
    cl::TBitmap* pic = Picture;
    if (pic && (pic->PixelFormat() != cl::pf24bit || pic->Width() < Width || pic->Height() < Height)) {
        copy = std::make_unique<cl::TBitmap>();
        AdjustBitmapFormat(copy.get(), nullptr, std::max(Width, 1), std::max(Height, 1), cl::pf24bit);
        win::BitBlt(copy->Canvas()->Handle(), 0, 0, Width, Height, pic->Canvas()->Handle(), 0, 0, win::SRCCOPY);
        pic = copy.get();
    }
    for (int j = 0; j < th; ++j) {
        const int y = j - Margin;  // picture row counted from the bottom
        const uint8_t* row =
            pic && y >= 0 && y < Height ? static_cast<const uint8_t*>(pic->ScanLine(Height - 1 - y)) : nullptr;
        uint32_t* cur = FSums.data() + static_cast<size_t>(j) * static_cast<size_t>(FStride);
        const uint32_t* below = j > 0 ? cur - FStride : nullptr;
        for (int i = 0; i < tw; ++i) {
            const int x = i - Margin;
            for (int c = 0; c < 3; ++c) {
                uint32_t v = row && x >= 0 && x < Width ? row[x * 3 + c] : 255u;
                uint32_t left = i > 0 ? cur[(i - 1) * 3 + c] : 0u;
                uint32_t b = below ? below[i * 3 + c] : 0u;
                uint32_t bl = below && i > 0 ? below[(i - 1) * 3 + c] : 0u;
                cur[i * 3 + c] = v + left + b - bl;
            }
        }
    }
}

const uint32_t* TSummedAreaTable::Entry(int i, int j) const {
    static const uint32_t zero[3] = {0, 0, 0};
    if (i < 0 || j < 0) return zero;
    return FSums.data() + static_cast<size_t>(j) * static_cast<size_t>(FStride) + static_cast<size_t>(i) * 3;
}

void TSummedAreaTable::BoxSum(int x0, int y0, int x1, int y1, uint32_t Sums[3]) const {
    const int tw = TableWidth(), th = TableHeight();
    // Table indexes of the last column and row inside the box and of the ones before it.
    int i1 = std::min(x1 + Margin, tw) - 1, j1 = std::min(y1 + Margin, th) - 1;
    int i0 = std::max(x0 + Margin, 0) - 1, j0 = std::max(y0 + Margin, 0) - 1;
    if (i1 <= i0 || j1 <= j0) {
        Sums[0] = Sums[1] = Sums[2] = 0;
        return;
    }
    const uint32_t* a = Entry(i1, j1);
    const uint32_t* b = Entry(i0, j1);
    const uint32_t* c = Entry(i1, j0);
    const uint32_t* d = Entry(i0, j0);
    for (int k = 0; k < 3; ++k) Sums[k] = a[k] - b[k] - c[k] + d[k];
}

// ---- the effect ------------------------------------------------------------------------------------

TPixelateTransition::TPixelateTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {}

void TPixelateTransition::SetBoxSize(uint16_t Value) {
    if (Value != 0) FBoxSize = Value;
}

void TPixelateTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TPixelateTransition>()) SetBoxSize(static_cast<TPixelateTransition*>(Source)->FBoxSize);
}

uint8_t TPixelateTransition::GetPixelFormat(TTETransitionDevice*) { return cl::pf24bit; }

void TPixelateTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    FBlock = std::max(0, std::min({static_cast<int>(FBoxSize), Data->Width, Data->Height}));
    Frames = 2 * FBlock - 1;
    auto pd = std::make_unique<TPixelateData>(Data);
    pd->Table.Build(Data->SrcImage, Data->Width, Data->Height, 0);
    pd->HoldsOld = true;
    pd->Half = Frames / 2 + 1;
    Data->Custom = std::move(pd);
}

void TPixelateTransition::DrawBlocks(const TSummedAreaTable& Table, cl::TBitmap* Bitmap, int W, int H, int S) {
    if (W <= 0 || H <= 0 || S <= 0 || !Bitmap) return;
    // Sides 1 and 2 take 2 x 2 blocks. A run only one pixel wide or high has no such block:
    // its blocks are the pixels that exist (1 x 2, 2 x 1 or 1 x 1), never pixels beyond it.
    const bool pairs = S <= 2;
    const int s = pairs ? 2 : S;
    const int bw = pairs && W < 2 ? 1 : s, bh = pairs && H < 2 ? 1 : s;
    const int fullCols = W / bw, fullRows = H / bh;
    const int rows = fullRows + (H % bh ? 1 : 0);
    std::vector<uint8_t> line(static_cast<size_t>(W) * 3);
    for (int br = 0; br < rows; ++br) {
        // Rows of the block row counted from the bottom, and the rows its averages cover.
        const int top = br < fullRows ? br * bh : fullRows * bh;
        const int lines = br < fullRows ? bh : H % bh;
        // Without a 2 x 2 block above, the top line repeats the line below it.
        int ay0 = br < fullRows ? top : (pairs ? (fullRows - 1) * bh : H - bh);
        int ay1 = ay0 + bh;
        for (int bc = 0; bc * bw < W; ++bc) {
            int ax0 = bc < fullCols ? bc * bw : (pairs ? (fullCols - 1) * bw : W - bw);
            int ax1 = ax0 + bw;
            uint32_t sums[3];
            Table.BoxSum(ax0, ay0, ax1, ay1, sums);
            const uint32_t n = static_cast<uint32_t>(bw) * static_cast<uint32_t>(bh);
            uint8_t px[3];
            for (int c = 0; c < 3; ++c)
                px[c] = static_cast<uint8_t>(pairs && n == 4 ? sums[c] >> 2 : sums[c] / n);
            const int x1 = std::min(bc * bw + bw, W);
            for (int x = bc * bw; x < x1; ++x) std::memcpy(&line[static_cast<size_t>(x) * 3], px, 3);
        }
        for (int l = 0; l < lines; ++l) {
            const int y = top + l;  // counted from the bottom
            std::memcpy(Bitmap->ScanLine(H - 1 - y), line.data(), line.size());
        }
    }
}

void TPixelateTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    auto* pd = static_cast<TPixelateData*>(Data->Custom.get());
    if (!pd || !Data->Bitmap) return;
    int side;
    if (CurrentFrame < pd->Half) {
        side = CurrentFrame + 1;
    } else {
        if (pd->HoldsOld) {
            pd->Table.Build(Data->DstImage, Data->Width, Data->Height, 0);
            pd->HoldsOld = false;
        }
        side = Data->Frames - CurrentFrame + 1;
    }
    DrawThrough24Bit(Data, [&](cl::TBitmap* Target) {
        DrawBlocks(pd->Table, Target, Data->Width, Data->Height, std::max(side, 1));
    });
}

uint16_t TPixelateTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | 0x115);
}

TTransitionEffect* TPixelateTransition::TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) {
    if (TTransitionEffect* fuse = PaletteDisplayFuse(this, ADevice)) return fuse;
    return TTimedTransitionEffect::TransitionForDevice(ADevice, MakeCopy);
}

void TPixelateTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "BoxSize");
    if (!v.empty()) SetBoxSize(static_cast<uint16_t>(cl::StrToInt(v)));
}

void TPixelateTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    Strings->SetValue(Prefix + "BoxSize", cl::IntToStr(FBoxSize));
}

void DrawThrough24Bit(TTETransitionData* Data, const std::function<void(cl::TBitmap* Target)>& draw) {
    cl::TBitmap* target = Data->Bitmap;
    std::unique_ptr<cl::TBitmap> temp;
    if (target->PixelFormat() != cl::pf24bit) {
        temp = std::make_unique<cl::TBitmap>();
        AdjustBitmapFormat(temp.get(), nullptr, Data->Width, Data->Height, cl::pf24bit);
        target = temp.get();
    }
    draw(target);
    if (temp)
        win::BitBlt(Data->Bitmap->Canvas()->Handle(), 0, 0, Data->Width, Data->Height, temp->Canvas()->Handle(), 0, 0,
                    win::SRCCOPY);
    Data->UpdateRect = MakeRect(0, 0, Data->Width, Data->Height);
}

void StartUptePixelt() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(TPixelateTransition::StaticClass(),
                             {cl::OrdProp("BoxSize", cl::tkInteger, "Word", &TPixelateTransition::GetBoxSize,
                                          &TPixelateTransition::SetBoxSize, 50),
                              ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TPixelateTransition::StaticClass());
}

}  // namespace te
