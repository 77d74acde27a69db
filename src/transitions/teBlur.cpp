#include "transitions/teBlur.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teFuse.h"
#include "transitions/teRender.h"
#include "transitions/teSumTable.h"

#if defined(TE_HAS_SSE2_FORMS)
#include <immintrin.h>
#endif

namespace te {

// ---- the pictures and the run data ---------------------------------------------------------------

void TBlurPicture::Take(cl::TBitmap* Picture, int AWidth, int AHeight) {
    Width = std::max(AWidth, 0);
    Height = std::max(AHeight, 0);
    Pixels.clear();
    if (!Picture || Width == 0 || Height == 0) return;
    std::unique_ptr<cl::TBitmap> copy;
    cl::TBitmap* pic = Picture;
    if (pic->GetPixelFormat() != cl::pf24bit || pic->GetWidth() < Width || pic->GetHeight() < Height) {
        copy = std::make_unique<cl::TBitmap>();
        AdjustBitmapFormat(copy.get(), nullptr, Width, Height, cl::pf24bit);
        win::BitBlt(copy->GetCanvas()->GetHandle(), 0, 0, Width, Height, pic->GetCanvas()->GetHandle(), 0, 0,
                    win::SRCCOPY);
        pic = copy.get();
    }
    const TTERowView rows(pic);
    const size_t rowBytes = static_cast<size_t>(Width) * 3;
    Pixels.resize(rowBytes * static_cast<size_t>(Height));
    ForRowBands(0, Height, rowBytes * 2, [&](int a, int b) {
        for (int y = a; y < b; ++y) std::memcpy(Pixels.data() + rowBytes * static_cast<size_t>(y), rows[y], rowBytes);
    });
}

TBlurData::TBlurData(TTETransitionData* AData, int32_t Frames) : TTECustomData(AData), Half(Frames / 2 + 1) {
    FPicture.Take(AData->SrcImage, AData->Width, AData->Height);
    if (AData->DstImage) {
        FNext.Take(AData->DstImage, AData->Width, AData->Height);
        FNextTaken = true;
    }
}

const TBlurPicture& TBlurData::PictureFor(int32_t CurrentFrame) {
    if (CurrentFrame >= Half && HoldsOld) {
        if (FNextTaken)
            FPicture = std::move(FNext);
        else
            FPicture.Take(Data->DstImage, Data->Width, Data->Height);
        FNext = TBlurPicture();
        HoldsOld = false;
    }
    return FPicture;
}

// ---- the row steps ---------------------------------------------------------------------------------

void BlurDiffPrefix_Pas(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave, int Count) {
    uint16_t s[3] = {0, 0, 0};
    for (int j = 0; j < Count; ++j) {
        uint16_t& c = s[j % 3];
        c = static_cast<uint16_t>(c + Enter[j] - Leave[j]);
        Q[j] = c;
    }
}

void BlurWindowRow_Pas(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count, int Span, int32_t Bias,
                       uint32_t Area) {
    for (int j = 0; j < Count; ++j) {
        Acc[j] += static_cast<int16_t>(static_cast<uint16_t>(Q[j + Span] - Q[j]));
        Out[j] = static_cast<uint8_t>(static_cast<uint32_t>(Acc[j] + Bias) / Area);
    }
}

#if defined(TE_HAS_SSE2_FORMS)
void BlurDiffPrefix_SSE2(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave, int Count) {
    const __m128i zero = _mm_setzero_si128();
    // The running sums of the eight bytes before the current ones (lanes 5 to 7 are the
    // last sum of each colour).
    __m128i last = zero;
    // Running sums of eight differences: within the vector, then the last sum of each colour
    // before it added to the lanes of that colour.
    auto sums = [&](__m128i d) {
        d = _mm_add_epi16(d, _mm_slli_si128(d, 6));
        d = _mm_add_epi16(d, _mm_slli_si128(d, 12));
        const __m128i t = _mm_srli_si128(last, 10);  // lanes 0-2: the last sums
        const __m128i carry = _mm_or_si128(_mm_or_si128(t, _mm_slli_si128(t, 6)), _mm_slli_si128(t, 12));
        last = _mm_add_epi16(d, carry);
        return last;
    };
    int j = 0;
    for (; j + 16 <= Count; j += 16) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Enter + j));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Leave + j));
        const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(e, zero), _mm_unpacklo_epi8(l, zero));
        const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(e, zero), _mm_unpackhi_epi8(l, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Q + j), sums(lo));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Q + j + 8), sums(hi));
    }
    // The rest one by one, going on from the last sum of each colour.
    for (; j < Count; ++j) Q[j] = static_cast<uint16_t>((j >= 3 ? Q[j - 3] : 0) + Enter[j] - Leave[j]);
}

// The same with the last sums spread over the lanes of their colour by one byte shuffle:
// the running sums then wait on two instructions per eight bytes instead of five.
__attribute__((target("ssse3"))) void BlurDiffPrefix_SSSE3(uint16_t* Q, const uint8_t* Enter, const uint8_t* Leave,
                                                           int Count) {
    // Lanes 5, 6, 7, 5, 6, 7, 5, 6 (two bytes each).
    const __m128i spread = _mm_setr_epi8(10, 11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15, 10, 11, 12, 13);
    const __m128i plusMinus = _mm_set1_epi16(static_cast<int16_t>(0xFF01));
    __m128i last = _mm_setzero_si128();
    int j = 0;
    for (; j + 16 <= Count; j += 16) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Enter + j));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Leave + j));
        // Entering byte times 1 plus leaving byte times -1, in 16 bits.
        __m128i lo = _mm_maddubs_epi16(_mm_unpacklo_epi8(e, l), plusMinus);
        __m128i hi = _mm_maddubs_epi16(_mm_unpackhi_epi8(e, l), plusMinus);
        lo = _mm_add_epi16(lo, _mm_slli_si128(lo, 6));
        hi = _mm_add_epi16(hi, _mm_slli_si128(hi, 6));
        lo = _mm_add_epi16(lo, _mm_slli_si128(lo, 12));
        hi = _mm_add_epi16(hi, _mm_slli_si128(hi, 12));
        lo = _mm_add_epi16(lo, _mm_shuffle_epi8(last, spread));
        last = _mm_add_epi16(hi, _mm_shuffle_epi8(lo, spread));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Q + j), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Q + j + 8), last);
    }
    for (; j < Count; ++j) Q[j] = static_cast<uint16_t>((j >= 3 ? Q[j - 3] : 0) + Enter[j] - Leave[j]);
}

void BlurWindowRow_SSE2(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count, int Span, int32_t Bias,
                        uint32_t Area) {
    // Bias + 0.5 and Acc are exact as floats (below 2^23 in size), and so is their sum.
    const __m128 offset = _mm_set1_ps(static_cast<float>(Bias) + 0.5f);
    const __m128 reciprocal = _mm_set1_ps(1.0f / static_cast<float>(Area));
    auto load = [](const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); };
    // Four box sums updated and divided by the area.
    auto quotients = [&](int j, __m128i change) {
        const __m128i acc = _mm_add_epi32(load(Acc + j), change);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Acc + j), acc);
        return _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(acc), offset), reciprocal));
    };
    int j = 0;
    for (; j + 16 <= Count; j += 16) {
        const __m128i c0 = _mm_sub_epi16(load(Q + j + Span), load(Q + j));
        const __m128i c1 = _mm_sub_epi16(load(Q + j + 8 + Span), load(Q + j + 8));
        // The changes widened to 32 bits with their sign.
        const __m128i lo = _mm_packs_epi32(quotients(j, _mm_srai_epi32(_mm_unpacklo_epi16(c0, c0), 16)),
                                           quotients(j + 4, _mm_srai_epi32(_mm_unpackhi_epi16(c0, c0), 16)));
        const __m128i hi = _mm_packs_epi32(quotients(j + 8, _mm_srai_epi32(_mm_unpacklo_epi16(c1, c1), 16)),
                                           quotients(j + 12, _mm_srai_epi32(_mm_unpackhi_epi16(c1, c1), 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + j), _mm_packus_epi16(lo, hi));
    }
    BlurWindowRow_Pas(Out + j, Acc + j, Q + j, Count - j, Span, Bias, Area);
}
#endif

// Sixteen bytes a step in 256-bit registers.
__attribute__((target("avx2"))) void BlurWindowRow_AVX2(uint8_t* Out, int32_t* Acc, const uint16_t* Q, int Count,
                                                        int Span, int32_t Bias, uint32_t Area) {
    const __m256 offset = _mm256_set1_ps(static_cast<float>(Bias) + 0.5f);
    const __m256 reciprocal = _mm256_set1_ps(1.0f / static_cast<float>(Area));
    int j = 0;
    for (; j + 16 <= Count; j += 16) {
        const __m128i c0 = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Q + j + Span)),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(Q + j)));
        const __m128i c1 = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Q + j + 8 + Span)),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(Q + j + 8)));
        auto* a0 = reinterpret_cast<__m256i*>(Acc + j);
        auto* a1 = reinterpret_cast<__m256i*>(Acc + j + 8);
        const __m256i s0 = _mm256_add_epi32(_mm256_loadu_si256(a0), _mm256_cvtepi16_epi32(c0));
        const __m256i s1 = _mm256_add_epi32(_mm256_loadu_si256(a1), _mm256_cvtepi16_epi32(c1));
        _mm256_storeu_si256(a0, s0);
        _mm256_storeu_si256(a1, s1);
        const __m256i q0 =
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(s0), offset), reciprocal));
        const __m256i q1 =
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(s1), offset), reciprocal));
        // The packs work within 128-bit halves: bytes 0-3, 8-11, 4-7, 12-15 before the
        // permutation puts them in order.
        const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(q0, q1), 0xD8);
        const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + j), bytes);
    }
    BlurWindowRow_Pas(Out + j, Acc + j, Q + j, Count - j, Span, Bias, Area);
}

TBlurDiffPrefixProc BlurDiffPrefixForm() {
#if defined(TE_HAS_SSE2_FORMS)
    static const TBlurDiffPrefixProc proc =
        __builtin_cpu_supports("ssse3") ? BlurDiffPrefix_SSSE3 : BlurDiffPrefix_SSE2;
    return proc;
#else
    return BlurDiffPrefix_Pas;
#endif
}

TBlurWindowRowProc BlurWindowRowForm() {
#if defined(TE_HAS_SSE2_FORMS)
    static const TBlurWindowRowProc proc = __builtin_cpu_supports("avx2") ? BlurWindowRow_AVX2 : BlurWindowRow_SSE2;
    return proc;
#else
    return BlurWindowRow_Pas;
#endif
}

TBlurTransition::TBlurTransition(cl::TComponent* AOwner) : TTimedTransitionEffect(AOwner) {}

void TBlurTransition::SetRadius(uint8_t Value) {
    if (Value >= 1 && Value <= 50) FRadius = Value;
}

void TBlurTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TBlurTransition>()) SetRadius(static_cast<TBlurTransition*>(Source)->FRadius);
}

uint8_t TBlurTransition::GetPixelFormat(TTETransitionDevice*) { return cl::pf24bit; }

void TBlurTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    FRunRadius = FRadius;
    Frames = 2 * FRunRadius;
    Data->Custom = std::make_unique<TBlurData>(Data, Frames);
}

// How a frame is made. With p(x, y) the picture's byte (255 outside the picture) and
// d = p - 255 (0 outside), the frame's byte is (255 * f * f + box sum of d) div (f * f). A
// band of rows keeps the box sums of its current row in Acc. Going one row down, the column
// boxes gain the row A below and lose the row A + 1 above; the change of a pixel's box is
// the sum along the row, over 2A + 1 pixels, of (entering byte - leaving byte), read off the
// running sums of those differences (BlurDiffPrefix, then BlurWindowRow). That change lies
// within +-255 * f, so 16-bit running sums that wrap around give it exactly. A band starts
// from the box sums of the row above its first row, added up column by column over its
// 2A + 1 rows, then along the row.
void TBlurTransition::DrawBlurred(const TBlurPicture& Picture, cl::TBitmap* Bitmap, int W, int H, int A) {
    if (!Bitmap || W <= 0 || H <= 0) return;
    if (W > Picture.Width || H > Picture.Height) return;
    A = std::clamp(A, 0, 50);
    const int f = 2 * A + 1;
    const uint32_t area = static_cast<uint32_t>(f * f);
    const int32_t bias = static_cast<int32_t>(255 * area);
    const int n = W * 3;         // colour bytes of a row
    const int lead = 3 * A + 3;  // running sums before the row's first byte (all 0)
    const int span = 3 * f;      // Q[j + span] - Q[j]: the 2A + 1 pixels around j
    const std::vector<uint8_t> white(static_cast<size_t>(n), 255);
    // Row y of the picture, white outside it.
    auto row = [&](int y) -> const uint8_t* {
        const uint8_t* r = y >= 0 && y < H ? Picture.Row(y) : nullptr;
        return r ? r : white.data();
    };
    const TTERowView out(Bitmap);
    const TBlurDiffPrefixProc prefix = BlurDiffPrefixForm();
    const TBlurWindowRowProc window = BlurWindowRowForm();
    ForRowBands(0, H, static_cast<size_t>(n) * 4, [&](int a, int b) {
        std::vector<int32_t> acc(static_cast<size_t>(n));
        // The box sums of row a - 1: first down the columns (within 16 signed bits), then
        // along the row through 32-bit running sums.
        {
            std::vector<int16_t> column(static_cast<size_t>(n), 0);
            for (int y = std::max(a - 1 - A, 0); y <= std::min(a - 1 + A, H - 1); ++y) {
                const uint8_t* p = row(y);
                for (int j = 0; j < n; ++j) column[static_cast<size_t>(j)] += static_cast<int16_t>(p[j] - 255);
            }
            std::vector<int32_t> sums(static_cast<size_t>(lead + n + 3 * A), 0);
            int32_t* s = sums.data() + lead;
            for (int j = 0; j < n; ++j) s[j] = (j >= 3 ? s[j - 3] : 0) + column[static_cast<size_t>(j)];
            for (int j = n; j < n + 3 * A; ++j) s[j] = s[j - 3];
            for (int j = 0; j < n; ++j) acc[static_cast<size_t>(j)] = sums.data()[j + span] - sums.data()[j];
        }
        // The running sums of one row's differences, with the lead of zeros before and the
        // last sums repeated after (the white margin adds no difference).
        std::vector<uint16_t> q(static_cast<size_t>(lead + n + 3 * A), 0);
        uint16_t* qs = q.data() + lead;
        for (int y = a; y < b; ++y) {
            prefix(qs, row(y + A), row(y - A - 1), n);
            const uint16_t last[3] = {qs[n - 3], qs[n - 2], qs[n - 1]};
            for (int j = 0; j < 3 * A; ++j) qs[n + j] = last[j % 3];
            window(out[y], acc.data(), q.data(), n, span, bias, area);
        }
    });
}

void TBlurTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t, int32_t) {
    auto* bd = static_cast<TBlurData*>(Data->Custom.get());
    if (!bd || !Data->Bitmap) return;
    const TBlurPicture& picture = bd->PictureFor(CurrentFrame);
    const int a = CurrentFrame < bd->Half ? CurrentFrame : Data->Frames - CurrentFrame;
    DrawThrough24Bit(Data, [&](cl::TBitmap* Target) { DrawBlurred(picture, Target, Data->Width, Data->Height, a); });
}

uint16_t TBlurTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | 0x115);
}

TTransitionEffect* TBlurTransition::TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) {
    if (TTransitionEffect* fuse = PaletteDisplayFuse(this, ADevice)) return fuse;
    return TTimedTransitionEffect::TransitionForDevice(ADevice, MakeCopy);
}

void TBlurTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "Radius");
    if (!v.empty()) {
        int r = cl::StrToInt(v);
        if (r >= 1 && r <= 50) SetRadius(static_cast<uint8_t>(r));
    }
}

void TBlurTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    Strings->SetValue(Prefix + "Radius", cl::IntToStr(FRadius));
}

void StartUpteBlur() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::DeclarePublished(
            TBlurTransition::StaticClass(),
            {cl::OrdProp("Radius", cl::tkInteger, "Byte", &TBlurTransition::GetRadius, &TBlurTransition::SetRadius, 50),
             ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TBlurTransition::StaticClass());
}

}  // namespace te
