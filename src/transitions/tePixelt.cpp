#include "transitions/tePixelt.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teFuse.h"
#include "transitions/teRender.h"

namespace te {

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
    Data->Custom = std::make_unique<TPixelateData>(Data, 0, Frames);
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
    const uint32_t n = static_cast<uint32_t>(bw) * static_cast<uint32_t>(bh);
    const float reciprocal = 1.0f / static_cast<float>(n);
    // sum div n: from the single-precision quotient, which is within one of it while the sum
    // is below 2^24, then corrected.
    auto divide = [&](uint32_t sum) -> uint8_t {
        if (pairs && n == 4) return static_cast<uint8_t>(sum >> 2);
        if (sum >= (1u << 24)) return static_cast<uint8_t>(sum / n);
        auto q = static_cast<uint32_t>(static_cast<float>(sum) * reciprocal);
        if (q * n > sum)
            --q;
        else if ((q + 1) * n <= sum)
            ++q;
        return static_cast<uint8_t>(q);
    };
    // Blocks that lie inside the picture read the table rows directly; a block larger than
    // the picture takes the clamped box sum.
    const bool inside = pairs || (S <= W && S <= H);
    const TTERowView out(Bitmap);
    // Block rows in bands; each block row is computed once on its first line.
    ForRowBands(0, rows, static_cast<size_t>(W) * 3 * static_cast<size_t>(bh), [&](int a, int b) {
        std::vector<uint8_t> line(static_cast<size_t>(W) * 3);
        std::vector<uint32_t> columns(static_cast<size_t>(W) * 3);
        for (int br = a; br < b; ++br) {
            // Rows of the block row counted from the bottom, and the rows its averages cover.
            const int top = br < fullRows ? br * bh : fullRows * bh;
            const int lines = br < fullRows ? bh : H % bh;
            // Without a 2 x 2 block above, the top line repeats the line below it.
            const int ay0 = br < fullRows ? top : (pairs ? (fullRows - 1) * bh : H - bh);
            const int ay1 = ay0 + bh;
            if (inside) {
                // The sums of the rows ay0 .. ay1 - 1 over columns 0..x, for every x.
                const uint32_t* t1 = Table.Row(ay1 - 1);
                if (ay0 > 0) {
                    const uint32_t* t0 = Table.Row(ay0 - 1);
                    for (size_t k = 0; k < columns.size(); ++k) columns[k] = t1[k] - t0[k];
                } else {
                    std::copy(t1, t1 + columns.size(), columns.begin());
                }
            }
            if (inside && pairs && bw == 2 && bh == 2) {
                // 2 x 2 blocks: block c's sums are the column sums at its right column less
                // those at the column before it; an odd last column repeats the last block.
                const uint32_t* c1 = columns.data() + 3;
                uint8_t* q = line.data();
                for (int bc = 0; bc < fullCols; ++bc, c1 += 6, q += 6) {
                    const uint32_t* c0 = bc > 0 ? c1 - 6 : nullptr;
                    const auto p0 = static_cast<uint8_t>((c1[0] - (c0 ? c0[0] : 0u)) >> 2);
                    const auto p1 = static_cast<uint8_t>((c1[1] - (c0 ? c0[1] : 0u)) >> 2);
                    const auto p2 = static_cast<uint8_t>((c1[2] - (c0 ? c0[2] : 0u)) >> 2);
                    q[0] = q[3] = p0;
                    q[1] = q[4] = p1;
                    q[2] = q[5] = p2;
                }
                if (W % 2) std::memcpy(q, q - 3, 3);
                for (int l = 0; l < lines; ++l) std::memcpy(out[H - 1 - (top + l)], line.data(), line.size());
                continue;
            }
            for (int bc = 0; bc * bw < W; ++bc) {
                const int ax0 = bc < fullCols ? bc * bw : (pairs ? (fullCols - 1) * bw : W - bw);
                const int ax1 = ax0 + bw;
                uint32_t sums[3];
                if (inside) {
                    const uint32_t* c1 = &columns[static_cast<size_t>(ax1 - 1) * 3];
                    const uint32_t* c0 = ax0 > 0 ? &columns[static_cast<size_t>(ax0 - 1) * 3] : nullptr;
                    for (int c = 0; c < 3; ++c) sums[c] = c1[c] - (c0 ? c0[c] : 0u);
                } else {
                    Table.BoxSum(ax0, ay0, ax1, ay1, sums);
                }
                const uint8_t p0 = divide(sums[0]), p1 = divide(sums[1]), p2 = divide(sums[2]);
                const int x1 = std::min(bc * bw + bw, W);
                for (uint8_t* q = &line[static_cast<size_t>(bc * bw) * 3]; q < &line[0] + static_cast<size_t>(x1) * 3;
                     q += 3) {
                    q[0] = p0;
                    q[1] = p1;
                    q[2] = p2;
                }
            }
            for (int l = 0; l < lines; ++l) {
                const int y = top + l;  // counted from the bottom
                std::memcpy(out[H - 1 - y], line.data(), line.size());
            }
        }
    });
}

void TPixelateTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    auto* pd = static_cast<TPixelateData*>(Data->Custom.get());
    if (!pd || !Data->Bitmap) return;
    const TSummedAreaTable& table = pd->TableFor(CurrentFrame);
    const int side = CurrentFrame < pd->Half ? CurrentFrame + 1 : Data->Frames - CurrentFrame + 1;
    DrawThrough24Bit(
        Data, [&](cl::TBitmap* Target) { DrawBlocks(table, Target, Data->Width, Data->Height, std::max(side, 1)); });
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
