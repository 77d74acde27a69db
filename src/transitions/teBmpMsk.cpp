#include "transitions/teBmpMsk.h"

#include <cstdio>

#include "classlib/Graphics.h"
#include "classlib/SysUtils.h"
#include "classlib/TypInfo.h"
#include "platform/gdi.h"
#include "transitions/teEffectProps.h"
#include "transitions/teRender.h"

namespace te {

namespace {

const char* const kMaskFormatError = "Transition mask should have 8 bits per pixel";

bool IsEightBit(cl::TBitmap* b) { return b->GetPixelFormat() == cl::pf8bit; }

}  // namespace

TBmpMaskData::~TBmpMaskData() {
    ReleaseMaskRoutine(SmoothRoutine);
    ReleaseMaskRoutine(SmoothRoutineBack);
    if (WorkMask) WorkMask->GetCanvas()->Unlock();
}

TBmpMaskTransition::TBmpMaskTransition(cl::TComponent* AOwner)
    : TTimedTransitionEffect(AOwner), FMask(std::make_unique<cl::TBitmap>()) {}

TBmpMaskTransition::~TBmpMaskTransition() = default;

void TBmpMaskTransition::SetMask(cl::TBitmap* Value) {
    if (!Value || Value->GetEmpty()) {
        FMask = std::make_unique<cl::TBitmap>();
        return;
    }
    if (!IsEightBit(Value)) throw ETransitionEffectError(kMaskFormatError);
    if (Value != FMask.get()) FMask->Assign(Value);
}

void TBmpMaskTransition::SetMaskMode(TFCPictureMode Value) {
    if (Value == fcpmStretch || Value == fcpmTile || Value == fcpmZoom) FMaskMode = Value;
}

void TBmpMaskTransition::SetSmoothingLevel(uint16_t Value) {
    if (Value <= 5) FSmoothingLevel = Value;
}

int TBmpMaskTransition::SmoothingBand(int Level) { return Level >= 1 && Level <= 5 ? 4 << Level : 0; }

bool TBmpMaskTransition::SmoothingActive(TTETransitionDevice* ADevice) const {
    if (!MMXAvailable || FSmoothingLevel == 0 || !ADevice) return false;
    uint8_t pf = ADevice->GetPixelFormat();
    return pf >= cl::pf15bit && pf <= cl::pf32bit;
}

void TBmpMaskTransition::Assign(cl::TPersistent* Source) {
    TTimedTransitionEffect::Assign(Source);
    if (Source && Source->Is<TBmpMaskTransition>()) {
        auto* s = static_cast<TBmpMaskTransition*>(Source);
        SetMask(s->FMask.get());
        SetMaskMode(s->FMaskMode);
        SetSmoothingLevel(s->FSmoothingLevel);
    }
}

int TBmpMaskTransition::GetBitmapsWidth(TTETransitionData* Data) {
    const bool eight = SmoothingActive(Data->Device) || Data->PixelFormat == cl::pf4bit;
    const int a = eight ? 8 : 4;
    return (Data->Width + a - 1) / a * a;
}

uint8_t TBmpMaskTransition::GetPixelFormat(TTETransitionDevice* ADevice) {
    return SmoothingActive(ADevice) ? static_cast<uint8_t>(cl::pf32bit) : ADevice->GetPixelFormat();
}

void TBmpMaskTransition::Initialize(TTETransitionData* Data, int32_t& Frames) {
    TTimedTransitionEffect::Initialize(Data, Frames);
    if (!FMask->GetEmpty() && !IsEightBit(FMask.get())) throw ETransitionEffectError(kMaskFormatError);
    Frames = 254;
    auto md = std::make_unique<TBmpMaskData>(Data);
    md->Smooth = SmoothingActive(Data->Device);
    if (md->Smooth) {
        const int band = SmoothingBand(FSmoothingLevel);
        Frames += band - 1;
        md->SmoothRoutine = CreateBmpMaskRoutine(band, false);
        md->SmoothRoutineBack = CreateBmpMaskRoutine(band, true);
    }
    md->WorkMask = std::make_unique<cl::TBitmap>();
    md->WorkMask->GetCanvas()->Lock();
    md->WorkMask->SetPixelFormat(cl::pf8bit);
    if (!FMask->GetColorTable().empty()) md->WorkMask->SetColorTable(FMask->GetColorTable());
    md->WorkMask->SetSize(GetBitmapsWidth(Data), Data->Height);
    if (!FMask->GetColorTable().empty()) md->WorkMask->SetColorTable(FMask->GetColorTable());
    cl::TCanvas* canvas = md->WorkMask->GetCanvas();
    const cl::TCopyMode oldMode = canvas->GetCopyMode();
    canvas->SetCopyMode(Reversed ? cl::cmNotSrcCopy : cl::cmSrcCopy);
    const win::RECT area = MakeRect(0, 0, Data->Width, Data->Height);
    DrawPicture(FMask.get(), FMaskMode, static_cast<cl::TColor>(0x1FFFFFFF), canvas, area, area, area, false);
    canvas->SetCopyMode(oldMode);
    Data->Custom = std::move(md);
}

void TBmpMaskTransition::ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t,
                                      int32_t LastExecutedFrame) {
    auto* md = static_cast<TBmpMaskData*>(Data->Custom.get());
    Data->UpdateRect = MakeRect(0, 0, Data->Width, Data->Height);
    Data->UnUpdateRect = win::RECT{};
    if (!md || !Data->Bitmap || !Data->DstImage) return;
    if (md->Smooth) {
        RunBmpMaskBlend(md->SmoothRoutine, md->SmoothRoutineBack, Data->Bitmap, Data->UnUpdateRect, Data->UpdateRect,
                        255 - CurrentFrame, md->WorkMask.get(), Data->SrcImage, Data->DstImage);
    } else {
        const int count = md->WorkMask->GetWidth() * Data->Height;
        CopyByMaskRange(Data->Bitmap, Data->DstImage, md->WorkMask.get(),
                        static_cast<cl::TPixelFormat>(Data->PixelFormat), 255 - CurrentFrame, 255 - LastExecutedFrame,
                        count);
    }
}

uint16_t TBmpMaskTransition::GetInfo(TTETransitionDevice* ADevice) {
    return static_cast<uint16_t>(TTimedTransitionEffect::GetInfo(ADevice) | 0x535);
}

TTransitionEffect* TBmpMaskTransition::TransitionForDevice(TTETransitionDevice* ADevice, bool MakeCopy) {
    if (!FMask->GetEmpty()) return TTimedTransitionEffect::TransitionForDevice(ADevice, MakeCopy);
    auto* cut = new TFlickerFreeTransition(nullptr);
    try {
        cut->Assign(this);
    } catch (...) {
        delete cut;
        throw;
    }
    return cut;
}

void TBmpMaskTransition::LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) {
    TTimedTransitionEffect::LoadFromStrings(Strings, Prefix);
    cl::String v = Strings->Values(Prefix + "MaskMode");
    if (!v.empty()) SetMaskMode(PictureModeFromName(v));
    v = Strings->Values(Prefix + "SmoothingLevel");
    if (!v.empty()) {
        int level = cl::StrToInt(v);
        if (level >= 0 && level <= 5) SetSmoothingLevel(static_cast<uint16_t>(level));
    }
    v = Strings->Values(Prefix + "Mask");
    if (!v.empty()) {
        cl::TMemoryStream stream;
        const size_t n = (v.size() - 1) / 2;
        std::vector<uint8_t> bytes(n);
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            throw cl::EConvertError(cl::Format("'%c' is not a valid hexadecimal digit", c));
        };
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(hex(v[1 + 2 * i]) * 16 + hex(v[2 + 2 * i]));
        stream.Write(bytes.data(), static_cast<int64_t>(n));
        stream.SetPosition(0);
        cl::TBitmap loaded;
        loaded.LoadFromStream(&stream);
        SetMask(&loaded);
    }
}

void TBmpMaskTransition::SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) {
    TTimedTransitionEffect::SaveToStrings(Strings, OmitDefaults, Prefix);
    if (!OmitDefaults || FMaskMode != fcpmStretch) Strings->SetValue(Prefix + "MaskMode", PictureModeName(FMaskMode));
    if (!OmitDefaults || FSmoothingLevel != 0)
        Strings->SetValue(Prefix + "SmoothingLevel", cl::IntToStr(FSmoothingLevel));
    if (!OmitDefaults || !FMask->GetEmpty()) {
        cl::TMemoryStream stream;
        if (!FMask->GetEmpty()) FMask->SaveToStream(&stream);
        const auto* p = static_cast<const uint8_t*>(stream.GetMemory());
        std::string text = "0";
        text.reserve(1 + static_cast<size_t>(stream.GetSize()) * 2);
        static const char digits[] = "0123456789ABCDEF";
        for (int64_t i = 0; i < stream.GetSize(); ++i) {
            text.push_back(digits[p[i] >> 4]);
            text.push_back(digits[p[i] & 15]);
        }
        Strings->SetValue(Prefix + "Mask", text);
    }
}

void StartUpteBmpMsk() {
    static bool declared = false;
    if (!declared) {
        declared = true;
        cl::TPropInfo mask;
        mask.Name = "Mask";
        mask.Kind = cl::tkClass;
        mask.TypeName = "TBitmap";
        mask.GetObject = [](const cl::TObject* o) -> cl::TObject* {
            return static_cast<const TBmpMaskTransition*>(o)->GetMask();
        };
        mask.SetObject = [](cl::TObject* o, cl::TObject* v) {
            static_cast<TBmpMaskTransition*>(o)->SetMask(v && v->Is<cl::TBitmap>() ? static_cast<cl::TBitmap*>(v)
                                                                                   : nullptr);
        };
        cl::TPropInfo mode =
            cl::OrdProp("MaskMode", cl::tkEnumeration, "TFCPictureMode", &TBmpMaskTransition::GetMaskMode,
                        &TBmpMaskTransition::SetMaskMode, fcpmStretch);
        mode.EnumNames = {"fcpmCenter", "fcpmCenterStretch", "fcpmStretch", "fcpmTile", "fcpmZoom", "fcpmTopLeft"};
        cl::DeclarePublished(
            TBmpMaskTransition::StaticClass(),
            {mask, mode,
             cl::OrdProp("SmoothingLevel", cl::tkInteger, "Word", &TBmpMaskTransition::GetSmoothingLevel,
                         &TBmpMaskTransition::SetSmoothingLevel, 0),
             ReversedPropInfo(), PassSettingPropInfo(), Pass2OptionsPropInfo()});
    }
    RegisterTransitionClass(TBmpMaskTransition::StaticClass());
}

}  // namespace te
