// A recording test effect, the test device that shows frames in a memory bitmap, and the
// fixture that runs on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "classlib/Graphics.h"
#include "classlib/TypInfo.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"
#include "transitions/teTimed.h"

namespace tetest {

struct FrameCall {
    int pass;
    int frame;
    int step;
    int last;
    int64_t atMs;  // virtual time when the frame was asked for
    bool operator==(const FrameCall& o) const {
        return pass == o.pass && frame == o.frame && step == o.step && last == o.last && atMs == o.atMs;
    }
};

inline std::ostream& operator<<(std::ostream& os, const FrameCall& c) {
    return os << "{pass " << c.pass << ", frame " << c.frame << ", step " << c.step << ", last " << c.last << ", at "
              << c.atMs << "}";
}

// What the test effect records, shared by the effect and its working copies.
struct EffectLog {
    std::vector<FrameCall> frames;
    int initializes = 0;
    int finalizes = 0;
    std::vector<te::TTEEffectDirection> directions;  // effective direction at each Initialize
    std::vector<uint32_t> srcAtInitialize;           // pixel (SampleX, SampleY) of the pass's old look
    std::vector<uint32_t> dstAtInitialize;           // the same pixel of the pass's new look
    std::vector<uint32_t> canvasAtFrame;             // pixel (0, 0) of the canvas before each frame
    std::vector<std::string> effectClasses;          // class of the instance that ran
};

inline int64_t NowMs() { return win::ClockElapsedMs(); }

// An effect whose frames cost a given virtual time; it paints frame k as grey level k.
class TTestEffect : public te::TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TTestEffect, te::TTimedTransitionEffect)
public:
    explicit TTestEffect(cl::TComponent* AOwner) : te::TTimedTransitionEffect(AOwner) {
        AllowedDirections = te::DirectionBit(te::tedNone) | te::DirectionBit(te::tedRight) |
                            te::DirectionBit(te::tedLeft) | te::DirectionBit(te::tedDown) |
                            te::DirectionBit(te::tedRandom);
        FDirection = te::tedRight;
    }
    // Test effects carry their allowed directions along (a real effect class fixes them).
    void Assign(cl::TPersistent* Source) override {
        if (Source && Source->Is<TTestEffect>())
            AllowedDirections = static_cast<TTestEffect*>(Source)->AllowedDirections;
        te::TTimedTransitionEffect::Assign(Source);
        if (Source && Source->Is<TTestEffect>()) {
            auto* s = static_cast<TTestEffect*>(Source);
            Info = s->Info;
            FrameCount = s->FrameCount;
            CostMs = s->CostMs;
            Log = s->Log;
            ThrowInInitialize = s->ThrowInInitialize;
            ThrowAtFrame = s->ThrowAtFrame;
            SampleX = s->SampleX;
            SampleY = s->SampleY;
        }
    }
    uint16_t GetInfo(te::TTETransitionDevice*) override { return Info; }
    uint8_t GetPixelFormat(te::TTETransitionDevice*) override { return cl::pf32bit; }
    void Initialize(te::TTETransitionData* Data, int32_t& Frames) override {
        te::TTimedTransitionEffect::Initialize(Data, Frames);
        if (Log) {
            ++Log->initializes;
            Log->directions.push_back(EffectiveDirection());
        }
        if (Log && Data->SrcImage)
            Log->srcAtInitialize.push_back(
                static_cast<uint32_t>(Data->SrcImage->GetCanvas()->Pixels(SampleX, SampleY)));
        if (Log && Data->DstImage)
            Log->dstAtInitialize.push_back(
                static_cast<uint32_t>(Data->DstImage->GetCanvas()->Pixels(SampleX, SampleY)));
        if (ThrowInInitialize) throw std::runtime_error("initialize failed");
        Frames = FrameCount;
    }
    void Finalize(te::TTETransitionData* Data) override {
        if (Log) ++Log->finalizes;
        te::TTimedTransitionEffect::Finalize(Data);
    }
    void ExecuteFrame(te::TTETransitionData* Data, int32_t Frame, int32_t Step, int32_t Last) override {
        if (Log) {
            Log->frames.push_back({Data->Pass, Frame, Step, Last, NowMs()});
            if (Data->Canvas) Log->canvasAtFrame.push_back(static_cast<uint32_t>(Data->Canvas->Pixels(0, 0)));
        }
        if (ThrowAtFrame == Frame) throw std::runtime_error("frame failed");
        if (Data->Bitmap) {
            cl::TCanvas* c = Data->Bitmap->GetCanvas();
            c->GetBrush()->SetColor(static_cast<cl::TColor>(0x010101 * (Frame & 0xFF)));
            c->FillRect(cl::Rect(0, 0, Data->Width, Data->Height));
            Data->UpdateRect = cl::Rect(0, 0, Data->Width, Data->Height);
        }
        if (CostMs > 0) win::ClockAdvance(CostMs * win::kTicksPerMs);
    }

    uint16_t Info = te::tetiMillisecondsCapable;
    int FrameCount = 9;
    int CostMs = 0;
    std::shared_ptr<EffectLog> Log = std::make_shared<EffectLog>();
    bool ThrowInInitialize = false;
    int ThrowAtFrame = -1;
    int SampleX = 0;
    int SampleY = 0;
};

// Declares TTestEffect's published Direction (default tedRight) once.
inline void DeclareTestEffect() {
    static bool done = false;
    if (done) return;
    done = true;
    cl::TPropInfo p =
        cl::OrdProp("Direction", cl::tkEnumeration, "TTEEffectDirection", &te::TTransitionEffect::GetDirection,
                    &te::TTransitionEffect::SetDirection, te::tedRight);
    cl::DeclarePublished(TTestEffect::StaticClass(), {p});
}

inline std::unique_ptr<cl::TBitmap> SolidBitmap(int w, int h, cl::TColor color) {
    auto b = std::make_unique<cl::TBitmap>();
    te::InitSolidBitmap(b.get(), w, h, nullptr, cl::pf32bit, color);
    return b;
}

inline uint32_t Pixel(cl::TBitmap* b, int x, int y) { return static_cast<uint32_t>(b->GetCanvas()->Pixels(x, y)); }

// A copy of a bitmap: format, palette, size and every row byte.
inline std::unique_ptr<cl::TBitmap> CopyOf(cl::TBitmap* src) {
    auto b = std::make_unique<cl::TBitmap>();
    te::AdjustBitmapFormat(b.get(), src->GetPalette(), src->GetWidth(), src->GetHeight(), src->GetPixelFormat());
    for (int y = 0; y < src->GetHeight(); ++y)
        std::memcpy(b->ScanLine(y), src->ScanLine(y), static_cast<size_t>(src->RowBytes()));
    return b;
}

// The test device: shows frames in a memory bitmap (the screen) on a display whose pixel
// format the test chooses. The old and new looks are solid colours over the screen, or given
// pictures (the screen then starts as a copy of the old one).
class TTestDevice : public te::TTETransitionDevice {
    CL_DECLARE_CLASS(TTestDevice, te::TTETransitionDevice)
public:
    TTestDevice() : Screen(SolidBitmap(16, 8, cl::clBlack)) {}
    ~TTestDevice() override { FreeRunData(); }

    // Run data over the screen, with a solid old look in OldImage and a solid new look.
    void PrepareRun(cl::TColor OldColor, cl::TColor NewColor) {
        CreateRunData();
        Data->Width = Screen->GetWidth();
        Data->Height = Screen->GetHeight();
        Data->Canvas = Screen->GetCanvas();
        delete OldImage;
        OldImage = SolidBitmap(Screen->GetWidth(), Screen->GetHeight(), OldColor).release();
        NewColor_ = NewColor;
        NewPicture_ = nullptr;
    }
    // Run data over a w x h area of a screen that starts as OldPicture; NewPicture is the new
    // look (the test keeps it).
    void PrepareRun(cl::TBitmap* OldPicture, cl::TBitmap* NewPicture, int w, int h) {
        CreateRunData();
        Data->Width = w;
        Data->Height = h;
        Screen = CopyOf(OldPicture);
        Data->Canvas = Screen->GetCanvas();
        delete OldImage;
        OldImage = CopyOf(OldPicture).release();
        NewPicture_ = NewPicture;
    }
    void DoExecute() override {
        ++Runs;
        try {
            RunPasses();
        } catch (...) {
            FreeRunData();
            FreeImages();
            throw;
        }
        FreeRunData();
        FreeImages();
    }
    bool IsPaletteDisplay() override { return PaletteDisplay || Format <= cl::pf8bit; }
    uint8_t GetPixelFormat() override { return Format; }
    bool SupportsTwoPasses() override { return TwoPasses; }
    bool IsThreadSafe() const override { return ThreadSafe; }
    win::HWND GetThreadWindow() override { return ThreadWindow; }
    bool IsObscured() override { return Obscured; }
    bool NeedsWorkBitmap() override { return WorkBitmap; }

    std::unique_ptr<cl::TBitmap> Screen;
    cl::TPixelFormat Format = cl::pf32bit;
    bool PaletteDisplay = false;
    bool Obscured = false;
    bool WorkBitmap = false;  // the device asks effects that can use a work bitmap to take one
    bool TwoPasses = true;
    bool ThreadSafe = false;
    bool CutWhenDisabled = false;
    win::HWND ThreadWindow = nullptr;
    int Runs = 0;
    int NewLookCaptures = 0;

protected:
    void CaptureNewLook() override {
        ++NewLookCaptures;
        if (NewImage) return;
        NewImage = NewPicture_ ? CopyOf(NewPicture_).release()
                               : SolidBitmap(Screen->GetWidth(), Screen->GetHeight(), NewColor_).release();
    }
    int32_t BackgroundColor() override { return cl::clBlue; }
    bool IsTransitionDisabled(te::TTransitionEffect* Transition, bool ForRun) const override {
        if (!CutWhenDisabled) return te::TTETransitionDevice::IsTransitionDisabled(Transition, ForRun);
        return !Transition->GetEnabled() && (ForRun || !Transition->FlickerFreeWhenDisabled);
    }

private:
    cl::TColor NewColor_ = cl::clWhite;
    cl::TBitmap* NewPicture_ = nullptr;
};

// Virtual clock for every test of the fixture.
class VirtualClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        DeclareTestEffect();
    }
};

}  // namespace tetest
